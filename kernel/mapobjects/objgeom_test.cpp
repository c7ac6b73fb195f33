// Point, segment and object tests. See objgeom_test.h.
#include "kernel/mapobjects/objgeom_test.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/runtime/num.h"

namespace {

MapObject* mut(const MapObject* obj) { return const_cast<MapObject*>(obj); }

bool is_area_type(int32_t type) { return type >= MAPOBJ_REGION && type <= MAPOBJ_ELLIPSE; }

bool between(int64_t v, int64_t lo, int64_t hi) { return lo <= v && v <= hi; }

// Rings of a region as polygons: a ring and its holes-following rings.
template <typename Fn>
void for_each_polygon(const MapSection* h, int32_t count, Fn fn) {
  for (int32_t k = 0; k < count;) {
    int32_t holes = std::clamp<int32_t>(h[k].holes, 0, count - k - 1);
    if (!fn(k, k + holes)) return;
    k += 1 + holes;
  }
}

int16_t walk_ring(const MapSection* h, int32_t s, RingCrossing* state) {
  if (h[s].node_count < 2) return 1;
  const IntPoint* p = mapobj_section_nodes(h, s);
  const int32_t y = state->point.y;
  for (int32_t i = 1; i < h[s].node_count && !state->boundary; ++i) {
    // Segments wholly above or below the ray cannot meet it.
    if ((p[i - 1].y < y && p[i].y < y) || (p[i - 1].y > y && p[i].y > y)) continue;
    mapobjx_ring_crossing_step(&p[i - 1], &p[i], state);
  }
  return state->boundary ? 0 : 1;
}

// The points of seg_intersect: -1 when the segments do not meet, else the
// number of points written.
int32_t intersect_points(const IntPoint* a, const IntPoint* b, const IntPoint* c, const IntPoint* d, IntPoint out[2],
                         int16_t* kind) {
  *kind = kSegCross;
  bool matched = false;
  if (point_equal(a, c) || point_equal(a, d)) {
    out[0] = *a;
    *kind = kSegSharedEnd;
    matched = true;
  }
  int32_t n = matched ? 1 : 0;
  if (point_equal(b, d) || point_equal(b, c)) {
    if (matched) {
      *kind = kSegSameEnds;
      out[1] = *b;
      n = 2;
    } else {
      out[0] = *b;
      *kind = kSegSharedEnd;
      n = 1;
    }
    matched = true;
  }
  if (matched && (*kind == kSegSameEnds || point_equal(a, b) || point_equal(c, d))) return n;
  auto lo = [](int32_t u, int32_t v) { return std::min(u, v); };
  auto hi = [](int32_t u, int32_t v) { return std::max(u, v); };
  if (hi(a->x, b->x) < lo(c->x, d->x) || hi(c->x, d->x) < lo(a->x, b->x)) return -1;
  if (hi(a->y, b->y) < lo(c->y, d->y) || hi(c->y, d->y) < lo(a->y, b->y)) return -1;
  double d1x = static_cast<double>(b->x) - a->x, d1y = static_cast<double>(b->y) - a->y;
  double d2x = static_cast<double>(d->x) - c->x, d2y = static_cast<double>(d->y) - c->y;
  double acx = static_cast<double>(c->x) - a->x, acy = static_cast<double>(c->y) - a->y;
  double den = d1x * d2y - d1y * d2x;
  if (std::fabs(den) > 0.5) {
    if (matched) return n;
    double t = (d2y * acx - d2x * acy) / den;
    double px = a->x + t * d1x, py = a->y + t * d1y;
    double xlo = std::max(lo(a->x, b->x), lo(c->x, d->x)) - 0.5, xhi = std::min(hi(a->x, b->x), hi(c->x, d->x)) + 0.5;
    double ylo = std::max(lo(a->y, b->y), lo(c->y, d->y)) - 0.5, yhi = std::min(hi(a->y, b->y), hi(c->y, d->y)) + 0.5;
    if (px < xlo || px > xhi || py < ylo || py > yhi) return -1;
    out[0] = IntPoint{num_round_int_sat(px), num_round_int_sat(py)};
    return 1;
  }
  // Collinear unless an end matched; a first segment that is one point is
  // measured against the second's line.
  double off = d1x == 0 && d1y == 0 ? d2x * acy - d2y * acx : d1x * acy - d1y * acx;
  if (!matched && std::fabs(off) > 0.5) return -1;
  bool along_x = std::fabs(d2x) >= std::fabs(d2y);
  double extent = along_x ? d2x : d2y;
  if (extent == 0) return matched ? n : -1;
  double base = along_x ? c->x : c->y;
  double ta = ((along_x ? a->x : a->y) - base) / extent;
  double tb = ((along_x ? b->x : b->y) - base) / extent;
  double tol = 0.5 / std::fabs(extent);
  if ((ta < -tol && tb < -tol) || (ta > 1 + tol && tb > 1 + tol)) return -1;
  double t1 = std::clamp(std::min(ta, tb), 0.0, 1.0), t2 = std::clamp(std::max(ta, tb), 0.0, 1.0);
  if (t2 - t1 <= tol) return matched ? n : 0;
  out[0] = IntPoint{num_round_int_sat(c->x + t1 * d2x), num_round_int_sat(c->y + t1 * d2y)};
  out[1] = IntPoint{num_round_int_sat(c->x + t2 * d2x), num_round_int_sat(c->y + t2 * d2y)};
  *kind = kSegOverlap;
  return 2;
}

}  // namespace

// ---- point tests -------------------------------------------------------------

int16_t isect_point_vs_segment(const IntPoint* p, const IntPoint* a, const IntPoint* b, int16_t* class_out,
                               int16_t half_open) {
  int32_t ylo = std::min(a->y, b->y), yhi = std::max(a->y, b->y);
  int32_t xlo = std::min(a->x, b->x), xhi = std::max(a->x, b->x);
  if (p->y < ylo || p->y > yhi) return 0;
  if (point_equal(p, a) || point_equal(p, b)) {
    *class_out = kPointOnSegment;
    return 1;
  }
  if (half_open && p->y == yhi) {
    if (a->y != b->y || !between(p->x, xlo, xhi)) return 0;
    *class_out = kPointOnSegment;
    return 1;
  }
  if (between(p->x, xlo, xhi)) {
    if (a->x == b->x || a->y == b->y) {
      *class_out = kPointOnSegment;
      return 1;
    }
    const IntPoint* lo = a->y < b->y ? a : b;
    const IntPoint* up = a->y < b->y ? b : a;
    double v = (static_cast<double>(p->y) - lo->y) * (static_cast<double>(up->x) - lo->x) -
               (static_cast<double>(p->x) - lo->x) * (static_cast<double>(up->y) - lo->y);
    *class_out = std::fabs(v) < 0.9 ? kPointOnSegment : v > 0 ? kPointRayCrosses : kPointSegmentLeft;
    return 1;
  }
  if (!half_open) return 0;
  *class_out = p->x < xlo ? kPointRayCrosses : kPointSegmentLeft;
  return 1;
}

int16_t isect_point_vs_segment_yx(const IntPoint* p, const IntPoint* a, const IntPoint* b, int16_t* class_out,
                                  int16_t half_open) {
  IntPoint q{p->y, p->x}, c{a->y, a->x}, d{b->y, b->x};
  return isect_point_vs_segment(&q, &c, &d, class_out, half_open);
}

int16_t mapobjx_ring_crossing_step(const IntPoint* a, const IntPoint* b, void* user) {
  auto* state = static_cast<RingCrossing*>(user);
  if (std::max(a->x, b->x) < state->point.x) return 1;
  int16_t cls = 0;
  if (!isect_point_vs_segment(&state->point, a, b, &cls, 1)) return 1;
  if (cls == kPointOnSegment) {
    state->boundary = 1;
    return 0;
  }
  if (cls == kPointRayCrosses) state->inside ^= 1;
  return 1;
}

int16_t mapobjx_point_in_ring(const IntPoint* point, const MapSection* headers, int32_t section) {
  if (!point_in_rect(point, &headers[section].mbr)) return 0;
  RingCrossing state{*point, 0, 0};
  walk_ring(headers, section, &state);
  return state.boundary || state.inside ? 1 : 0;
}

int16_t mapobjx_point_in_region(const IntPoint* point, const MapObject* obj) {
  if (obj->type != MAPOBJ_REGION) return mapobjx_point_in_object(point, obj);
  MapSection* h = mapobj_lock_sections(mut(obj), 0);
  if (!h) return 0;
  int16_t found = 0;
  for_each_polygon(h, obj->u.poly.sections, [&](int32_t first, int32_t last) {
    RingCrossing state{*point, 0, 0};
    for (int32_t s = first; s <= last; ++s)
      if (!walk_ring(h, s, &state)) break;
    if (state.boundary || state.inside) found = 1;
    return !found;
  });
  return found;
}

int16_t mapobjx_point_in_object(const IntPoint* point, const MapObject* obj) {
  if (obj->type != MAPOBJ_COLLECTION && !point_in_rect(point, &obj->mbr)) return 0;
  switch (obj->type) {
    case MAPOBJ_LINE: return seg_contains_point(point, &obj->u.line.start, &obj->u.line.end);
    case MAPOBJ_ARC: return 0;
    case MAPOBJ_POLYLINE: {
      struct On {
        const IntPoint* p;
        int16_t hit;
      } on{point, 0};
      mapobj_for_each_segment(mut(obj), [](const IntPoint* a, const IntPoint* b, void* u) -> int16_t {
        auto* s = static_cast<On*>(u);
        s->hit = seg_contains_point(s->p, a, b);
        return s->hit ? 0 : 1;
      }, &on);
      return on.hit;
    }
    case MAPOBJ_REGION: return mapobjx_point_in_region(point, obj);
    case MAPOBJ_ELLIPSE: return mapobj_point_in_ellipse(point, obj);
    case MAPOBJ_MULTIPOINT: {
      const auto* p = static_cast<const IntPoint*>(obj->nodes);
      for (int32_t i = 0; p && i < obj->u.multipoint.count; ++i)
        if (point_equal(&p[i], point)) return 1;
      return 0;
    }
    case MAPOBJ_COLLECTION: {
      const MapObject* parts[3] = {obj->u.collection.region, obj->u.collection.polyline,
                                   obj->u.collection.multipoint};
      for (const MapObject* part : parts)
        if (part && !mapobj_is_empty(part) && mapobjx_point_in_object(point, part)) return 1;
      return 0;
    }
    default: return 1;
  }
}

int16_t mapobj_point_in_area(const IntPoint* point, const MapObject* obj) {
  switch (obj->type) {
    case MAPOBJ_REGION: return point_in_rect(point, &obj->mbr) ? mapobjx_point_in_region(point, obj) : 0;
    case MAPOBJ_ELLIPSE: return point_in_rect(point, &obj->mbr) ? mapobj_point_in_ellipse(point, obj) : 0;
    case MAPOBJ_TEXT:
    case MAPOBJ_RECT:
    case MAPOBJ_ROUNDRECT: return point_in_rect(point, &obj->mbr);
    case MAPOBJ_COLLECTION: {
      const MapObject* r = obj->u.collection.region;
      if (!r || mapobj_is_empty(r) || !point_in_rect(point, &r->mbr)) return 0;
      return mapobjx_point_in_region(point, r);
    }
    default: return 0;
  }
}

int16_t mapobj_point_in_ellipse(const IntPoint* point, const MapObject* obj) {
  const IntRect& r = obj->mbr;
  double e = (static_cast<double>(r.x2) - r.x1) / 2, f = (static_cast<double>(r.y2) - r.y1) / 2;
  if (e == 0 || f == 0) return 0;
  double cx = r.x1 + e, cy = r.y1 + f;
  double dx = point->x - cx, dy = point->y - cy;
  return dy * dy / (f * f) + dx * dx / (e * e) <= 1 ? 1 : 0;
}

int16_t mapobj_centroid_inside(const MapObject* obj, const MapObject* other) {
  IntPoint c;
  mapobj_get_centroid(obj, &c);
  return mapobj_point_in_area(&c, other);
}

int16_t objtext_point_in_corners(const MapObject* text, const IntPoint* point) {
  return quad_contains_point(point, text->u.text.corners, 4);
}

// ---- segment tests -------------------------------------------------------------

int16_t seg_contains_point(const IntPoint* p, const IntPoint* a, const IntPoint* b) {
  IntRect r;
  rect_from_points(&r, a, b);
  if (!point_in_rect(p, &r)) return 0;
  if (a->x == b->x || a->y == b->y || point_equal(p, a) || point_equal(p, b)) return 1;
  using Wide = __int128;
  Wide lhs = Wide(int64_t(b->y) - a->y) * p->x - Wide(b->y) * a->x + Wide(a->y) * b->x;
  Wide rhs = Wide(int64_t(b->x) - a->x) * p->y;
  return lhs == rhs ? 1 : 0;
}

int16_t seg_on_segment(const IntPoint* a, const IntPoint* b, const IntPoint* c, const IntPoint* d) {
  return seg_contains_point(a, c, d) && seg_contains_point(b, c, d) ? 1 : 0;
}

int16_t seg_touch(const IntPoint* a, const IntPoint* b, const IntPoint* c, const IntPoint* d) {
  IntRect r1, r2;
  rect_from_points(&r1, a, b);
  rect_from_points(&r2, c, d);
  if (!rect_overlaps(&r1, &r2)) return 0;
  if (point_equal(a, c) || point_equal(a, d) || point_equal(b, c) || point_equal(b, d)) return 1;
  if (seg_contains_point(a, c, d) || seg_contains_point(b, c, d) || seg_contains_point(c, a, b) ||
      seg_contains_point(d, a, b))
    return 1;
  bool v1 = a->x == b->x, v2 = c->x == d->x;
  if (v1 && v2) return a->x == c->x ? 1 : 0;
  auto y_at = [](const IntPoint* p, const IntPoint* q, double x) {
    return p->y + (static_cast<double>(q->y) - p->y) * (x - p->x) / (static_cast<double>(q->x) - p->x);
  };
  if (v1 || v2) {
    const IntPoint *va = v1 ? a : c, *vb = v1 ? b : d, *oa = v1 ? c : a, *ob = v1 ? d : b;
    double y = y_at(oa, ob, va->x);
    return y >= std::min(va->y, vb->y) && y <= std::max(va->y, vb->y) ? 1 : 0;
  }
  double m1 = (static_cast<double>(b->y) - a->y) / (static_cast<double>(b->x) - a->x);
  double m2 = (static_cast<double>(d->y) - c->y) / (static_cast<double>(d->x) - c->x);
  double cross = (static_cast<double>(b->x) - a->x) * (static_cast<double>(d->y) - c->y) -
                 (static_cast<double>(b->y) - a->y) * (static_cast<double>(d->x) - c->x);
  if (cross == 0) return 0;  // parallel: on one line only when an end lies on the other, seen above
  double x = (c->y - a->y + m1 * a->x - m2 * c->x) / (m1 - m2);
  return x >= std::max(std::min(a->x, b->x), std::min(c->x, d->x)) &&
                 x <= std::min(std::max(a->x, b->x), std::max(c->x, d->x))
             ? 1
             : 0;
}

int16_t seg_intersect(const IntPoint* a, const IntPoint* b, const IntPoint* c, const IntPoint* d, IntPoint out[2],
                      int16_t* kind_out) {
  int16_t kind = kSegCross;
  IntPoint pts[2] = {};
  int32_t n = intersect_points(a, b, c, d, pts, &kind);
  if (kind_out) *kind_out = kind;
  if (n < 0) return 0;
  for (int32_t i = 0; out && i < n; ++i) out[i] = pts[i];
  return 1;
}

void mapobjx_point_midpoint(const IntPoint* a, const IntPoint* b, IntPoint* out) {
  auto mid = [](int32_t u, int32_t v) {
    int64_t sum = int64_t(u) + v;
    if (sum > INT32_MAX || sum < INT32_MIN) return static_cast<int32_t>(u + (int64_t(v) - u) / 2);
    return static_cast<int32_t>(sum / 2);
  };
  *out = IntPoint{mid(a->x, b->x), mid(a->y, b->y)};
}

void mapobjx_points_bounds(IntRect* rect, const IntPoint* points, int32_t n) {
  rect_set_empty(rect);
  for (int32_t i = 0; i < n; ++i) {
    if (i == 0) rect_from_points(rect, &points[0], &points[0]);
    else rect_add_point(rect, &points[i]);
  }
}

int16_t quad_contains_point(const IntPoint* point, const IntPoint* polygon, int32_t n) {
  RingCrossing state{*point, 0, 0};
  for (int32_t i = 0; i < n && !state.boundary; ++i)
    mapobjx_ring_crossing_step(&polygon[i], &polygon[(i + 1) % n], &state);
  return state.boundary || state.inside ? 1 : 0;
}

int16_t quad_edges_intersect(const IntPoint* p, const IntPoint* q, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j)
      if (seg_intersect(&p[i], &p[(i + 1) % n], &q[j], &q[(j + 1) % n], nullptr, nullptr)) return 1;
  return 0;
}

int16_t quads_overlap(const IntPoint p[4], const IntPoint q[4], int16_t bounds_only) {
  IntRect rp, rq;
  mapobjx_points_bounds(&rp, p, 4);
  mapobjx_points_bounds(&rq, q, 4);
  if (!rect_overlaps(&rp, &rq)) return 0;
  if (bounds_only) return 1;
  if (quad_edges_intersect(p, q, 4)) return 1;
  for (int i = 0; i < 4; ++i)
    if (quad_contains_point(&p[i], q, 4) || quad_contains_point(&q[i], p, 4)) return 1;
  return 0;
}

// ---- object tests --------------------------------------------------------------

int16_t mapobjx_segment_hits_object(const IntPoint* a, const IntPoint* b, MapObject* obj) {
  return mapobj_any_segment(obj, [&](const IntPoint* c, const IntPoint* d) {
    return seg_intersect(a, b, c, d, nullptr, nullptr) != 0;
  });
}

int16_t mapobjx_segment_in_region(const IntPoint* a, const IntPoint* b, MapObject* region) {
  std::vector<IntPoint> list{*a, *b};
  bool same = mapobj_any_segment(region, [&](const IntPoint* c, const IntPoint* d) {
    IntPoint out[2];
    int16_t kind = 0;
    int32_t n = intersect_points(a, b, c, d, out, &kind);
    if (kind == kSegSameEnds) return true;
    for (int32_t i = 0; i < n; ++i) list.push_back(out[i]);
    return false;
  });
  if (same) return 1;
  bool vertical = a->x == b->x;
  bool forward = vertical ? a->y <= b->y : a->x <= b->x;
  std::sort(list.begin(), list.end(), [&](const IntPoint& p, const IntPoint& q) {
    int32_t u = vertical ? p.y : p.x, v = vertical ? q.y : q.x;
    return forward ? u < v : u > v;
  });
  list.erase(std::unique(list.begin(), list.end(), [](const IntPoint& p, const IntPoint& q) { return point_equal(&p, &q); }),
             list.end());
  for (size_t i = 1; i < list.size(); ++i) {
    IntPoint mid;
    mapobjx_point_midpoint(&list[i - 1], &list[i], &mid);
    if (!mapobjx_point_in_region(&mid, region)) return 0;
  }
  return 1;
}

int16_t mapobjx_segment_on_object(const IntPoint* a, const IntPoint* b, MapObject* obj) {
  return mapobj_any_segment(obj, [&](const IntPoint* c, const IntPoint* d) { return seg_on_segment(a, b, c, d) != 0; });
}

int16_t mapobjx_region_intersects(MapObject* region, MapObject* other) {
  if (region->type != MAPOBJ_REGION) std::swap(region, other);
  if (region->type != MAPOBJ_REGION) return 0;
  if (mapobj_any_point(other, [&](const IntPoint* p) { return mapobjx_point_in_region(p, region) != 0; })) return 1;
  if (mapobj_any_segment(other, [&](const IntPoint* a, const IntPoint* b) {
        return mapobjx_segment_hits_object(a, b, region) != 0;
      }))
    return 1;
  if (!is_area_type(other->type)) return 0;
  MapSection* h = mapobj_lock_sections(region, 0);
  for (int32_t s = 0; h && s < region->u.poly.sections; ++s) {
    if (h[s].node_count <= 0) continue;
    if (mapobj_point_in_area(mapobj_section_nodes(h, s), other)) return 1;
  }
  return 0;
}

int16_t mapobjx_within_region(MapObject* obj, MapObject* region) {
  if (mapobj_any_point(obj, [&](const IntPoint* p) { return !mapobjx_point_in_region(p, region); })) return 0;
  if (obj->type == MAPOBJ_POINT) return 1;
  if (mapobj_any_segment(obj, [&](const IntPoint* a, const IntPoint* b) { return !mapobjx_segment_in_region(a, b, region); }))
    return 0;
  if (!is_area_type(obj->type)) return 1;
  MapSection* h = mapobj_lock_sections(region, 0);
  bool hole_inside = false;
  for_each_polygon(h, h ? region->u.poly.sections : 0, [&](int32_t first, int32_t last) {
    for (int32_t s = first + 1; s <= last && !hole_inside; ++s) {
      const IntPoint* p = mapobj_section_nodes(h, s);
      for (int32_t i = 0; i < h[s].node_count && !hole_inside; ++i) hole_inside = mapobj_point_in_area(&p[i], obj);
    }
    return !hole_inside;
  });
  return hole_inside ? 0 : 1;
}

int16_t mapobjx_objects_cross(MapObject* obj, MapObject* other) {
  return mapobj_any_segment(other, [&](const IntPoint* a, const IntPoint* b) {
    return mapobj_any_segment(obj, [&](const IntPoint* c, const IntPoint* d) { return seg_touch(a, b, c, d) != 0; }) != 0;
  });
}

int16_t mapobjx_object_on_object(MapObject* obj, MapObject* other) {
  if (is_area_type(obj->type)) return 0;
  if (obj->type == MAPOBJ_POINT) {
    if (other->type == MAPOBJ_POINT) return 1;
    const IntPoint* p = &obj->u.point.location;
    return mapobj_any_segment(other, [&](const IntPoint* a, const IntPoint* b) { return seg_contains_point(p, a, b) != 0; });
  }
  return mapobj_any_segment(obj, [&](const IntPoint* a, const IntPoint* b) {
    return !mapobjx_segment_on_object(a, b, other);
  }) ? 0 : 1;
}
