// Direction of "dynamic" points (points with a direction record).
#pragma once

#include "geometry/ktgeo_types.h"

int ktgeo_dynamic_rotation(const GeoPoint* point, float* angle);
int ktgeo_dynamic_orientation(GeoPoint* point, float angle);
int ktgeo_point_valid(const GeoPoint* point, int* valid);
