// Arcs, ellipses and text geometry: arc and ellipse nodes, arc end points,
// bounds and mirrored angles, rotated and unrotated text boxes.
//
// End points are complete. Arc nodes, arc bounds, angle mirroring and text
// box rotation are still to come (kObjGeomArcStubbed): arc nodes answer
// none, an arc's bounds are its ellipse rectangle, angles are left as they
// are and text boxes are not rotated.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"

struct CoordXform;

constexpr bool kObjGeomArcStubbed = true;

// Nodes of an arc or ellipse into a new kernel block; the count, 0 with a
// null output for other types, a resolution below 2 or no room.
int32_t mapobj_arc_points(const MapObject* obj, int32_t resolution, IntPoint** points_out, void** aux_out);
void mapobjx_arc_end_points(const IntRect* rect, int16_t start, int16_t end, IntPoint* start_out, IntPoint* end_out);
void mapobjx_arc_compute_mbr(MapObject* obj);
void mapobjx_arc_mirror_angles(int16_t* start, int16_t* end, int16_t flip_x, int16_t flip_y);
int16_t mapobjx_arc_set_points(MapObject* obj, const IntPoint* p, const IntPoint* q);
void objtext_rotate_box(IntRect* box, int16_t angle, const CoordXform* xform);
void objtext_unrotated_box(const MapObject* obj, const CoordXform* xform, IntRect* out);
