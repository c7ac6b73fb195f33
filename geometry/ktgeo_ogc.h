// OGC typing of geometry objects: the members of an object and the OGC
// type they make.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

// OGC type codes held in SpatialObject::ogc_state.
enum : int32_t {
    KTGEO_OGC_NONE = 0,
    KTGEO_OGC_POINT = 1,
    KTGEO_OGC_LINESTRING = 3,
    KTGEO_OGC_POLYGON = 5,
    KTGEO_OGC_COLLECTION = 6,
    KTGEO_OGC_MULTIPOINT = 7,
    KTGEO_OGC_MULTILINESTRING = 9,
    KTGEO_OGC_MULTIPOLYGON = 11,
};

// Gives an untyped object its type (single: one member of one kind gives
// 1, 3 or 5). A typed object is left alone. 1, or 0 when the object fails
// its checks.
int ktgeo_ogc_derive_type(SpatialObject* object, int multiple);
