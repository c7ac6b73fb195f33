// Point, segment and object tests in integer coordinates.
//
// Still to come: until then the region test answers whether the point lies
// in the region's bounding rectangle (kObjGeomTestsStubbed).
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"

constexpr bool kObjGeomTestsStubbed = true;

int16_t mapobjx_point_in_region(const IntPoint* point, const MapObject* obj);
