// OGC forms of geometry objects: typing (the members of an object and the
// OGC type they make, casts and type names), well-known text, and the
// well-known binary that "OGC0" and "OGC1" blobs carry.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

// OGC type codes held in SpatialObject::ogc_state (2, 4, 8 and 10 are cast
// targets only).
enum : int32_t {
    KTGEO_OGC_NONE = 0,
    KTGEO_OGC_POINT = 1,
    KTGEO_OGC_CURVE = 2,
    KTGEO_OGC_LINESTRING = 3,
    KTGEO_OGC_SURFACE = 4,
    KTGEO_OGC_POLYGON = 5,
    KTGEO_OGC_COLLECTION = 6,
    KTGEO_OGC_MULTIPOINT = 7,
    KTGEO_OGC_MULTICURVE = 8,
    KTGEO_OGC_MULTILINESTRING = 9,
    KTGEO_OGC_MULTISURFACE = 10,
    KTGEO_OGC_MULTIPOLYGON = 11,
};

// Result of the scan: the size of the object's well-known binary, its
// members by kind and the working type (1, 3, 5, or 6 for all others).
struct OgcScan {
    int32_t bytes;
    int32_t points;
    int32_t lines;
    int32_t polygons;
    int32_t members;
    int32_t working_type;
};

// Nesting of collections that the readers accept.
inline constexpr int KTGEO_OGC_MAX_DEPTH = 256;

// Checks that the object fits its type and measures its binary: the byte
// count, or 0 (reported).
int32_t ktgeo_ogc_scan(OgcScan* scan, SpatialObject* object);
// Gives an untyped object its type (single: one member of one kind gives
// 1, 3 or 5). A typed object is left alone. 1, or 0 when the scan fails.
int ktgeo_ogc_derive_type(SpatialObject* object, int multiple);
int ktgeo_ogc_cast(SpatialObject* object, int32_t type);
int ktgeo_ogc_cast_apply(SpatialObject* object, int32_t type);
int ktgeo_ogc_type_name(int32_t type, char* buffer, int size);
int ktgeo_ogc_st_type_name(int32_t type, char* buffer, int size);
int ktgeo_ogc_quick_ok(const SpatialObject* object);

// Well-known text (2D). The reader resets the object, fills and completes
// it; 1 or 0. The writer returns a new text (qd_free) or null.
int ktgeo_ogc_input_wkt_v1(const char* text, SpatialObject* object);
char* ktgeo_ogc_output_wkt_v1(SpatialObject* object);

// Well-known binary of an object: a new block (qd_free), its length and the
// object's csid; 1, or 0 with a null block and length 0.
int ktgeo_ogc_cast_from_geometry(SpatialObject* object, uint8_t** wkb, uint32_t* length,
                                 uint32_t* csid);
// Resets the object (csid = the argument), reads the binary and completes
// the object; 1 or 0.
int ktgeo_ogc_cast_to_geometry(SpatialObject* object, const uint8_t* data, uint32_t length,
                               uint32_t csid);
// One geometry into the object; the position after it, or null.
const uint8_t* ktgeo_ogc_decode_wkb_v1_geometry(const uint8_t* data, SpatialObject* object,
                                                const uint8_t* end);
// "OGC1" with the id when csid is not 0, else "OGC0": a new blob or null.
uint8_t* ktgeo_ogc_pack_blob(const uint8_t* wkb, uint32_t length, uint32_t csid);
// The binary of any geometry blob; the csid out is set for "OGC1" and for
// unpacked objects. 1 or 0.
int ktgeo_ogc_cast_from_blob(const uint8_t* blob, uint8_t** wkb, uint32_t* length,
                             uint32_t* csid);

// Codecs: position, end (null: no bound), byte order (1 little-endian,
// anything else big-endian); the position after the value, or null.
const uint8_t* ktgeo_ogc_decode_uc1(const uint8_t* p, const uint8_t* end, uint8_t* value);
uint8_t* ktgeo_ogc_encode_uc1(uint8_t* p, const uint8_t* end, uint8_t value);
const uint8_t* ktgeo_ogc_port_decode(const uint8_t* p, const uint8_t* end, int order,
                                     void* value, int n);
uint8_t* ktgeo_ogc_port_encode(uint8_t* p, const uint8_t* end, int order, const void* value,
                               int n);
const uint8_t* ktgeo_ogc_decode_ui4(const uint8_t* p, const uint8_t* end, int order,
                                    uint32_t* value);
uint8_t* ktgeo_ogc_encode_ui4(uint8_t* p, const uint8_t* end, int order, uint32_t value);
const uint8_t* ktgeo_ogc_decode_f8(const uint8_t* p, const uint8_t* end, int order,
                                   double* value);
uint8_t* ktgeo_ogc_encode_f8(uint8_t* p, const uint8_t* end, int order, double value);
const uint8_t* ktgeo_ogc_decode_header(const uint8_t* p, const uint8_t* end, int* order,
                                       uint32_t* type);
uint8_t* ktgeo_ogc_encode_header(uint8_t* p, const uint8_t* end, int order, uint32_t type);
const uint8_t* ktgeo_ogc_decode_xy(const uint8_t* p, const uint8_t* end, int order, double* x,
                                   double* y);
uint8_t* ktgeo_ogc_encode_xy(uint8_t* p, const uint8_t* end, int order, double x, double y);
const uint8_t* ktgeo_ogc_decode_coord(const uint8_t* p, const uint8_t* end, int order,
                                      GeoCoord* coord);
// A count and that many points into a new coordinate list (*list).
const uint8_t* ktgeo_ogc_decode_point_list(const uint8_t* p, const uint8_t* end, int order,
                                           nlst** list);
uint8_t* ktgeo_ogc_encode_point_list(uint8_t* p, const uint8_t* end, int order,
                                     const nlst* list);
