// SDO arrays: a map object as the values of one spatial-database geometry
// (type code, SRID, point, element triples, ordinates) and back.
//
// Element offsets are 1-based positions in the ordinate array; triples are
// (offset, element type, interpretation). Rings are written closed,
// exterior rings counterclockwise and interior rings clockwise in user
// coordinates (in the integer space the other way round for
// longitude/latitude systems); with short type codes every ring is type 3
// and kept as stored.
#pragma once

#include <cstdint>

#include "geometry/encode/cvrecord.h"
#include "kernel/runtime/rect.h"

struct CoordXform;

// One geometry value; the arrays live in the holder's kernel blocks.
struct SdoGeometry {
    int32_t dimensions;  // ordinates per point; set by the caller
    int32_t gtype;
    int32_t srid;
    double point_x;
    double point_y;
    int32_t elem_count;
    int32_t* elem;
    int32_t ord_count;
    double* ords;
};

// The holder of one encoded value: the two array blocks and the record.
struct SdoArrays {
    void* elem_block;
    void* ord_block;
    void* geometry_block;  // set when the kernel allocator made the record
    SdoGeometry* geometry;
};

int16_t object_to_sdo(MapObject* object, const CoordXform* xform, SdoArrays* arrays,
                      int16_t short_codes, int16_t no_srid, int32_t srid);
void sdo_free_arrays(SdoArrays* arrays);
// The record the table reader resets before each row: dimensions 2, the rest 0.
void sdo_reset(SdoGeometry* geometry);

int16_t sdo_to_object(SdoGeometry* geometry, const ObjStyleSet* styles, const CoordXform* xform,
                      MapObject* object, int16_t* short_codes);

// Ring orientation helpers on integer points.
int16_t sdo_turn_left(const IntPoint* a, const IntPoint* b, const IntPoint* c);
int16_t sdo_point_in_triangle(const IntPoint* p, const IntPoint* a, const IntPoint* b,
                              const IntPoint* c);
// Crossing parity (1 inside); *classified tells whether any segment was
// classified, *on_ring whether the point lies on the ring.
int16_t sdo_point_in_ring(const IntPoint* p, const IntPoint* ring, int32_t n, int16_t* classified,
                          int16_t* on_ring);
int16_t sdo_ring_is_ccw(const IntPoint* ring, int32_t n);
void sdo_reverse_points(IntPoint* points, int32_t n);
// The turn test in user coordinates, 1 for clockwise, and the distance of
// two points; the encoder itself uses neither.
int16_t sdo_turn_right_xy(const DPoint* a, const DPoint* b, const DPoint* c);
double sdo_distance(const DPoint* a, const DPoint* b);
int16_t sdo_angle_tenths(double dy, double dx);
int16_t sdo_circle_3points(const DPoint* a, const DPoint* b, const DPoint* c, DRect* square,
                           int16_t* start, int16_t* end);
