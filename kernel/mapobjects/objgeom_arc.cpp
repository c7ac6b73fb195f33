// Arcs, ellipses and text geometry. See objgeom_arc.h.
#include "kernel/mapobjects/objgeom_arc.h"

#include <cmath>

#include "kernel/runtime/num.h"

int32_t mapobj_arc_points(const MapObject*, int32_t, IntPoint** points_out, void** aux_out) {
  if (points_out) *points_out = nullptr;
  if (aux_out) *aux_out = nullptr;
  return 0;
}

void mapobjx_arc_end_points(const IntRect* rect, int16_t start, int16_t end, IntPoint* start_out, IntPoint* end_out) {
  constexpr double kPi = 3.141592653589793;
  IntPoint c;
  rect_center(rect, &c);
  double rx = (static_cast<double>(rect->x2) - rect->x1) / 2;
  double ry = (static_cast<double>(rect->y2) - rect->y1) / 2;
  const int16_t angles[2] = {start, end};
  IntPoint* outs[2] = {start_out, end_out};
  for (int i = 0; i < 2; ++i) {
    if (!outs[i]) continue;
    double t = angles[i] * kPi / 1800.0;
    outs[i]->x = num_round_int_sat(c.x + static_cast<double>(num_round_int64(std::cos(t) * rx)));
    outs[i]->y = num_round_int_sat(c.y + static_cast<double>(num_round_int64(std::sin(t) * ry)));
  }
}

void mapobjx_arc_compute_mbr(MapObject* obj) {
  if (obj->type == MAPOBJ_ARC) obj->mbr = obj->u.arc.rect;
}

void mapobjx_arc_mirror_angles(int16_t*, int16_t*, int16_t, int16_t) {}

int16_t mapobjx_arc_set_points(MapObject*, const IntPoint*, const IntPoint*) { return 0; }

void objtext_rotate_box(IntRect*, int16_t, const CoordXform*) {}

void objtext_unrotated_box(const MapObject* obj, const CoordXform*, IntRect* out) { *out = obj->u.text.box; }
