// OGC forms of geometry objects: typing (the members of an object and the
// OGC type they make) and the well-known binary that "OGC0" and "OGC1"
// blobs carry.
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

// Well-known binary of an object: a new block (qd_free), its length and the
// object's csid; 1, or 0 with a null block and length 0.
int ktgeo_ogc_cast_from_geometry(SpatialObject* object, uint8_t** wkb, uint32_t* length,
                                 uint32_t* csid);
// Resets the object (csid = the argument), reads the binary and completes
// the object; 1 or 0.
int ktgeo_ogc_cast_to_geometry(SpatialObject* object, const uint8_t* data, uint32_t length,
                               uint32_t csid);
// "OGC1" with the id when csid is not 0, else "OGC0": a new blob or null.
uint8_t* ktgeo_ogc_pack_blob(const uint8_t* wkb, uint32_t length, uint32_t csid);
