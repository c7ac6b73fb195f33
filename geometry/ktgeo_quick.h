// The quick check: reads the flags a full check left; warnings only.
#pragma once

#include "geometry/ktgeo_types.h"

int ktgeo_quick_check(const SpatialObject* object);
