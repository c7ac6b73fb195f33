// Distances and intersection tests. See objgeom_dist.h.
#include "kernel/mapobjects/objgeom_dist.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/objgeom_test.h"
#include "kernel/runtime/num.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2 * kPi;

bool earth_sphere(const CoordXform* xform, int16_t mode) {
  int16_t type = xform_projection_type(xform);
  return type != 0 && (mode != 1 || type == 1);
}

double sq(double v) { return v * v; }

double dist2(const IntPoint& a, const IntPoint& b) {
  return sq(static_cast<double>(a.x) - b.x) + sq(static_cast<double>(a.y) - b.y);
}

// A double with its low 32 bits cleared: the precision the quadratic solver
// compares its coefficients at.
double high_word(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  bits &= 0xFFFFFFFF00000000ull;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
bool near_zero_hi(double v) { return std::fabs(high_word(v)) < 1e-12; }

}  // namespace

// ---- point distances -------------------------------------------------------

double point_distance(const DPoint* p, const DPoint* q) { return std::sqrt(sq(q->x - p->x) + sq(q->y - p->y)); }

double geodist_point_distance(const IntPoint* p, const IntPoint* q) { return std::sqrt(dist2(*p, *q)); }

double geo_haversine(const DPoint* p, const DPoint* q) {
  double a = std::sin((q->x - p->x) / 2);
  double b = std::sin((q->y - p->y) / 2);
  double h = a * a * std::cos(p->y) * std::cos(q->y) + b * b;
  return 2 * std::asin(std::min(std::sqrt(std::max(h, 0.0)), 1.0));
}

double geo_arc_degrees(int16_t* method_out, const DPoint* p, const DPoint* q, int16_t mode, int16_t flat) {
  DPoint a, b;
  proj_to_radians(p, &a);
  proj_to_radians(q, &b);
  constexpr double kHalfPi = kPi / 2;
  if ((a.x == b.x && a.y == b.y) || (a.y >= kHalfPi && b.y >= kHalfPi) || (a.y <= -kHalfPi && b.y <= -kHalfPi)) {
    if (method_out) *method_out = kDistGreatCircle;
    return 0;
  }
  if (mode != 0 && flat != 0) {
    if (method_out) *method_out = kDistFlat;
    double dlat = b.y - a.y;
    double dlon = (b.x - a.x) * std::cos((a.y + b.y) / 2);
    return std::sqrt(dlat * dlat + dlon * dlon) * 180 / kPi;
  }
  if (method_out) *method_out = kDistGreatCircle;
  return geo_haversine(&a, &b) * 180 / kPi;
}

double objops_distance(const DPoint* p, const DPoint* q, const CoordXform* xform, int16_t out_units,
                       int16_t in_units, int16_t mode, int16_t* method_out, int16_t flat) {
  double out = 0;
  if (earth_sphere(xform, mode)) {
    DPoint a, b;
    unit_convert_point(&a, kUnitDegree, p, in_units, xform);
    unit_convert_point(&b, kUnitDegree, q, in_units, xform);
    double arc = geo_arc_degrees(method_out, &a, &b, mode, flat);
    unit_convert(&out, out_units, arc, kUnitDegree);
    return out;
  }
  if (method_out) *method_out = kDistCartesian;
  unit_convert(&out, out_units, point_distance(p, q), in_units);
  return out;
}

double objops_distance_int(const IntPoint* p, const IntPoint* q, const CoordXform* xform, int16_t out_units,
                           int16_t mode, int16_t* method_out, int16_t flat) {
  IntPoint in[2] = {*p, *q};
  DPoint xy[2];
  xform_int_to_xy(in, xy, xform, 2);
  return objops_distance(&xy[0], &xy[1], xform, out_units, xform_units(xform), mode, method_out, flat);
}

int32_t objops_fit_distance(DPoint* p, DPoint* q, const CoordXform* xform, double target, int16_t out_units,
                            int16_t in_units, int16_t mode, int16_t* method_out, int16_t symmetric,
                            int16_t horizontal) {
  DRect area;
  xform_bounds_in_units(xform, &area, in_units);
  drect_normalise(&area);
  target = std::fabs(target);
  int32_t round = 0;
  while (round < 10) {
    ++round;
    double e = objops_distance(p, q, xform, out_units, in_units, mode, method_out, 1);
    if (e != 0) {
      double f = target / e - 1;
      if (std::fabs(f) < 1e-6) break;
      double sx = f * (q->x - p->x), sy = f * (q->y - p->y);
      if (symmetric) {
        sx /= 2;
        sy /= 2;
        p->x -= sx;
        p->y -= sy;
      }
      q->x += sx;
      q->y += sy;
      if (symmetric && !point_in_drect(p, &area)) {
        point_clamp_to_drect(p, &area);
        break;
      }
      if (!point_in_drect(q, &area)) {
        point_clamp_to_drect(q, &area);
        break;
      }
    } else {
      double base = horizontal ? p->x : p->y;
      double step = base != 0 ? base / 100 : 1;
      double* pv = horizontal ? &p->x : &p->y;
      double* qv = horizontal ? &q->x : &q->y;
      if (symmetric) *pv += step;
      *qv -= step;
    }
  }
  return round;
}

int16_t objops_distance_to_deltas(const IntPoint* point, double distance, double* dx_out, double* dy_out,
                                  const CoordXform* xform, int16_t mode, int16_t) {
  int16_t units = xform_units(xform);
  DPoint p;
  xform_int_to_xy(point, &p, xform, 1);
  double* outs[2] = {dy_out, dx_out};
  for (int axis = 0; axis < 2; ++axis) {
    DPoint a = p, q = p;
    objops_fit_distance(&a, &q, xform, distance, units, units, mode, nullptr, 0, static_cast<int16_t>(axis == 1));
    double off = std::fabs(axis == 1 ? q.x - a.x : q.y - a.y);
    if (outs[axis]) *outs[axis] = distance < 0 ? -off : off;
  }
  return distance >= 0 ? 1 : 0;
}

void objops_offset_point(IntPoint* out, const IntPoint* point, double direction, double distance, int16_t mode,
                         int16_t flat, const CoordXform* xform) {
  int16_t units = xform_units(xform);
  double t = direction * kPi / 180;
  double dx = 0, dy = 0, unused = 0;
  objops_distance_to_deltas(point, distance * std::cos(t), &dx, &unused, xform, mode, flat);
  objops_distance_to_deltas(point, distance * std::sin(t), &unused, &dy, xform, mode, flat);
  DPoint p;
  xform_int_to_xy(point, &p, xform, 1);
  DPoint target{p.x + dx, p.y + dy};
  if (distance != 0) objops_fit_distance(&p, &target, xform, distance, units, units, mode, nullptr, 0, 1);
  IntPoint moved;
  xform_xy_to_int(&target, &moved, xform, 1);
  out->x = num_round_int_sat(static_cast<double>(moved.x) - point->x);
  out->y = num_round_int_sat(static_cast<double>(moved.y) - point->y);
}

// ---- point to object ---------------------------------------------------------

double point_segment_distance(const IntPoint* p, const IntPoint* a, const IntPoint* b, IntPoint* nearest_out) {
  double e = dist2(*a, *b), h = dist2(*p, *a);
  double len = std::sqrt(e);
  double t = e == 0 ? -1 : (e + h - dist2(*p, *b)) / (2 * len);
  if (e == 0 || t < 0) {
    if (nearest_out) *nearest_out = *a;
    return std::sqrt(h);
  }
  if (t > len) {
    if (nearest_out) *nearest_out = *b;
    return std::sqrt(dist2(*p, *b));
  }
  if (nearest_out) {
    nearest_out->x = num_round_int_sat(a->x + t * (static_cast<double>(b->x) - a->x) / len);
    nearest_out->y = num_round_int_sat(a->y + t * (static_cast<double>(b->y) - a->y) / len);
  }
  return std::sqrt(std::fabs(h - t * t));
}

double point_arc_distance(const IntPoint* p, const IntRect* rect, int16_t start, int16_t end, IntPoint ends_out[2]) {
  double w = static_cast<double>(rect->x2) - rect->x1, h = static_cast<double>(rect->y2) - rect->y1;
  if (w == 0 || h == 0) {
    IntPoint a{rect->x1, rect->y1}, b{rect->x2, rect->y2};
    return point_segment_distance(p, &a, &b, nullptr);
  }
  double big_a = w / 2, big_b = h / 2;
  double cx = rect->x1 + big_a, cy = rect->y1 + big_b;
  double s = (start < 0 ? start + 3600 : start) * kPi / 1800;
  double e = (end < 0 ? end + 3600 : end) * kPi / 1800;
  if (e > kTwoPi) e -= kTwoPi;
  if (s > kTwoPi) s -= kTwoPi;
  double dx = p->x - cx, dy = p->y - cy;
  auto in_arc = [&](double t) {
    constexpr double kTol = 1e-12;
    if (s <= e) return t >= s - kTol && t <= e + kTol;
    return t >= s - kTol || t <= e + kTol;
  };
  auto d2 = [&](double t) { return sq(big_a * std::cos(t) - dx) + sq(big_b * std::sin(t) - dy); };
  // End points, as integers.
  IntPoint ends[2];
  const double ts[2] = {s, e};
  for (int i = 0; i < 2; ++i) {
    ends[i].x = num_round_int_sat(cx + big_a * std::cos(ts[i]));
    ends[i].y = num_round_int_sat(cy + big_b * std::sin(ts[i]));
  }
  if (ends_out) {
    ends_out[0] = ends[0];
    ends_out[1] = ends[1];
  }
  double best = std::min(dist2(*p, ends[0]), dist2(*p, ends[1]));
  double t0 = std::atan2(dy / big_b, dx / big_a);
  if (t0 < -1e-12) t0 += kTwoPi;
  // Newton on the parameter from atan2's answer, which may sit on a maximum
  // of the distance, and from each axis parameter inside the arc.
  double starts[5] = {t0, 0, kPi / 2, kPi, 3 * kPi / 2};
  for (double t : starts) {
    if (!in_arc(t)) continue;
    double cur = d2(t);
    best = std::min(best, cur);
    for (int step = 0; step < 10; ++step) {
      double sn = std::sin(t), cs = std::cos(t);
      double g1 = (big_b * big_b - big_a * big_a) * sn * cs + big_a * dx * sn - big_b * dy * cs;
      double g2 = (big_b * big_b - big_a * big_a) * (cs * cs - sn * sn) + big_a * dx * cs + big_b * dy * sn;
      if (std::fabs(g2) <= 1e-12) break;
      double delta = g1 / g2;
      double next = std::fmod(t - delta, kTwoPi);
      if (next < 0) next += kTwoPi;
      double nd = d2(next);
      if (nd > cur) break;
      t = next;
      cur = nd;
      if (in_arc(t)) best = std::min(best, cur);
      if (std::fabs(delta) < 1e-7) break;
    }
  }
  return std::round(std::sqrt(best));
}

double point_text_distance(const MapObject* text, const IntPoint* p) {
  IntPoint c;
  rect_center(&text->u.text.box, &c);
  return point_segment_distance(p, &c, &text->u.text.label_end, nullptr);
}

double bezier2_point_distance(double t, const IntPoint* p, const IntPoint* start, const IntPoint* end,
                              const IntPoint* control) {
  double u = 1 - t;
  IntPoint at{num_round_int_sat(u * u * start->x + 2 * t * u * control->x + t * t * end->x),
              num_round_int_sat(u * u * start->y + 2 * t * u * control->y + t * t * end->y)};
  return std::sqrt(dist2(*p, at));
}

void point_bezier_distance(const IntPoint* start, const IntPoint* control, const IntPoint* end, DistSearch* search) {
  const IntPoint& q = search->point;
  double s[2] = {static_cast<double>(start->x) - q.x, static_cast<double>(start->y) - q.y};
  double c[2] = {static_cast<double>(control->x) - q.x, static_cast<double>(control->y) - q.y};
  double e[2] = {static_cast<double>(end->x) - q.x, static_cast<double>(end->y) - q.y};
  auto dot = [](const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1]; };
  double k[5] = {dot(s, s), dot(s, c), (dot(s, e) + 2 * dot(c, c)) / 3, dot(c, e), dot(e, e)};
  double smallest = *std::min_element(k, k + 5);
  if (std::sqrt(std::max(smallest, 0.0)) >= static_cast<double>(search->best)) return;
  double deriv[4] = {k[1] - k[0], k[2] - k[1], k[3] - k[2], k[4] - k[3]};
  double roots[3];
  int32_t n = bezier_derivative_roots(deriv, roots);
  double ts[5] = {0, 1, 0, 0, 0};
  for (int32_t i = 0; i < n; ++i) ts[2 + i] = roots[i];
  for (int32_t i = 0; i < 2 + n; ++i) {
    double d = bezier2_point_distance(std::clamp(ts[i], 0.0, 1.0), &q, start, end, control);
    int64_t r = num_round_int64_sat(d);
    if (r < search->best) {
      search->best = r;
      if (search->segment) {
        search->segment[0] = *start;
        search->segment[1] = *end;
      }
    }
  }
}

namespace {

void offer(DistSearch* search, double d, const IntPoint* a, const IntPoint* b) {
  int64_t r = num_round_int64_sat(d);
  if (r >= search->best) return;
  search->best = r;
  if (search->segment) {
    search->segment[0] = *a;
    search->segment[1] = *b;
  }
}

int16_t segment_step(const IntPoint* a, const IntPoint* b, void* user) {
  auto* search = static_cast<DistSearch*>(user);
  offer(search, point_segment_distance(&search->point, a, b, nullptr), a, b);
  return 1;
}

int16_t point_step(const IntPoint* a, void* user) {
  auto* search = static_cast<DistSearch*>(user);
  offer(search, geodist_point_distance(&search->point, a), a, a);
  return 1;
}

int16_t curve_step(const IntPoint* a, const IntPoint* control, const IntPoint* c, void* user) {
  point_bezier_distance(a, control, c, static_cast<DistSearch*>(user));
  return 1;
}

void search_object(MapObject* obj, DistSearch* search) {
  if (!obj || mapobj_is_empty(obj)) return;
  switch (obj->type) {
    case MAPOBJ_POINT: offer(search, geodist_point_distance(&search->point, &obj->u.point.location),
                             &obj->u.point.location, &obj->u.point.location); return;
    case MAPOBJ_ARC:
    case MAPOBJ_ELLIPSE: {
      IntPoint ends[2];
      bool arc = obj->type == MAPOBJ_ARC;
      const IntRect* r = arc ? &obj->u.arc.rect : &obj->mbr;
      double d = point_arc_distance(&search->point, r, arc ? obj->u.arc.start : int16_t{0},
                                    arc ? obj->u.arc.end : int16_t{3600}, ends);
      offer(search, d, &ends[0], &ends[1]);
      return;
    }
    case MAPOBJ_TEXT: {
      IntPoint c;
      rect_center(&obj->u.text.box, &c);
      offer(search, point_text_distance(obj, &search->point), &c, &obj->u.text.label_end);
      return;
    }
    case MAPOBJ_FRAME:
      obj->type = MAPOBJ_RECT;
      mapobj_for_each_segment(obj, segment_step, search);
      obj->type = MAPOBJ_FRAME;
      return;
    case MAPOBJ_MULTIPOINT: mapobj_for_each_point(obj, point_step, search); return;
    case MAPOBJ_COLLECTION:
      search_object(obj->u.collection.region, search);
      search_object(obj->u.collection.polyline, search);
      search_object(obj->u.collection.multipoint, search);
      return;
    case MAPOBJ_POLYLINE:
      if (obj->u.poly.line_flags & 1) {
        mapobj_for_each_curve_step(obj, curve_step, search);
        return;
      }
      mapobj_for_each_segment(obj, segment_step, search);
      return;
    default: mapobj_for_each_segment(obj, segment_step, search); return;
  }
}

}  // namespace

int64_t point_object_distance(MapObject* obj, const IntPoint* point, IntPoint* segment_out) {
  DistSearch search{*point, std::numeric_limits<int64_t>::max(), segment_out};
  search_object(obj, &search);
  return search.best;
}

// ---- root solvers ------------------------------------------------------------

int32_t solve_linear(double a, double b, double* out) {
  if (std::fabs(a) <= 1e-12) return 0;
  *out = -b / a;
  return 1;
}

int32_t solve_quadratic(double a, double b, double c, double out[2]) {
  double s = std::fabs(a) + std::fabs(b) + std::fabs(c);
  if (!(s > 1e-12)) return 0;
  a /= s;
  b /= s;
  c /= s;
  bool a0 = near_zero_hi(a), b0 = near_zero_hi(b), c0 = near_zero_hi(c);
  if (a0) {
    if (b0) return 0;
    out[0] = -c / b;
    return 1;
  }
  if (b0) {
    if (c0) {
      out[0] = 0;
      return 1;
    }
    if ((a > 0) == (c > 0)) return 0;
    double r = std::sqrt(-c / a);
    out[0] = -r;
    out[1] = r;
    return 2;
  }
  double m = b / 2, d = m * m - a * c;
  if (std::fabs(d) < std::fabs(a) * 1e-12) {
    out[0] = -m / a;
    return 1;
  }
  if (d < 0) return 0;
  double r = std::sqrt(d);
  out[0] = (-m - r) / a;
  out[1] = (r - m) / a;
  return 2;
}

double cbrt_real(double x) {
  if (std::fabs(x) < 1e-14) return 0;
  return x < 0 ? -std::pow(-x, 1.0 / 3) : std::pow(x, 1.0 / 3);
}

int32_t solve_cubic(double a, double b, double c, double d, double out[3]) {
  if (std::fabs(a) <= 1e-12) return solve_quadratic(b, c, d, out);
  double f = c / a, g = b / (3 * a), e = d / a;
  double p = f / 3 - g * g;
  double q = g * (g * g - f / 2) + e / 2;
  double disc = p * p * p + q * q;
  if (std::fabs(disc) <= 1e-24) {
    if (std::fabs(p) <= 1e-12) {
      out[0] = -g;
      return 1;
    }
    double r = (f * g / 3 - e) / (2 * p);
    out[0] = r;
    out[1] = -2 * r - 3 * g;
    return 2;
  }
  if (disc < 0) {
    double r = 2 * std::sqrt(-p);
    double t = std::acos(std::clamp(2 * q / (p * r), -1.0, 1.0));
    double c3 = std::cos(t / 3), s3 = std::sin(t / 3), k = std::sqrt(3.0);
    out[0] = r * c3 - g;
    out[1] = r * (k * s3 - c3) / 2 - g;
    out[2] = r * (-c3 - k * s3) / 2 - g;
    return 3;
  }
  double sd = std::sqrt(disc);
  out[0] = cbrt_real(sd - q) + cbrt_real(-q - sd) - g;
  return 1;
}

int32_t bezier_derivative_roots(const double k_in[4], double out[3]) {
  double k[4] = {k_in[0], k_in[1], k_in[2], k_in[3]};
  bool all_pos = true, all_neg = true;
  double big = 0;
  for (double v : k) {
    all_pos = all_pos && v > 1e-12;
    all_neg = all_neg && v < -1e-12;
    big = std::max(big, std::fabs(v));
  }
  if (all_pos || all_neg) return 0;
  if (big > 1)
    for (double& v : k) v /= big;
  double roots[3];
  int32_t n = solve_cubic(k[3] - 3 * (k[2] - k[1]) - k[0], 3 * (k[2] - 2 * k[1] + k[0]), 3 * (k[1] - k[0]), k[0],
                          roots);
  int32_t kept = 0;
  for (int32_t i = 0; i < n; ++i)
    if (roots[i] >= -1e-5 && roots[i] < 1.00001) out[kept++] = roots[i];
  return kept;
}

// ---- object tests --------------------------------------------------------------

namespace {

bool is_area(const MapObject* obj) { return obj->type >= MAPOBJ_REGION && obj->type <= MAPOBJ_ELLIPSE; }
bool is_rectlike(const MapObject* obj) { return obj->type >= MAPOBJ_TEXT && obj->type <= MAPOBJ_ROUNDRECT; }

struct Ellipse {
  double cx, cy, a, b;
};
Ellipse ellipse_of(const IntRect& r) {
  double a = (static_cast<double>(r.x2) - r.x1) / 2, b = (static_cast<double>(r.y2) - r.y1) / 2;
  return Ellipse{r.x1 + a, r.y1 + b, a, b};
}

bool in_ellipse(double x, double y, const IntRect& r) {
  Ellipse e = ellipse_of(r);
  if (e.a == 0 || e.b == 0) return false;
  double dx = x - e.cx, dy = y - e.cy;
  return dy * dy / (e.b * e.b) + dx * dx / (e.a * e.a) <= 1;
}


bool present(const MapObject* part) { return part && !mapobj_is_empty(part); }

}  // namespace

int16_t objtype_in_basic_set(int32_t type) { return (type >= 1 && type <= 7) || type == 9 ? 1 : 0; }

int16_t objops_mbr_overlap(const MapObject* a, const MapObject* b) { return rect_overlaps(&a->mbr, &b->mbr); }

int16_t objops_mbr_inside(const MapObject* a, const MapObject* b) { return rect_is_inside(&a->mbr, &b->mbr); }

int16_t objops_intersects(MapObject* a, MapObject* b) {
  if (!objops_mbr_overlap(a, b)) return 0;
  if (a->type == MAPOBJ_POINT) return mapobjx_point_in_object(&a->u.point.location, b);
  if (b->type == MAPOBJ_POINT) return mapobjx_point_in_object(&b->u.point.location, a);
  if (a->type == MAPOBJ_MULTIPOINT || b->type == MAPOBJ_MULTIPOINT) {
    MapObject* mp = a->type == MAPOBJ_MULTIPOINT ? a : b;
    MapObject* other = mp == a ? b : a;
    return mapobj_any_point(mp, [&](const IntPoint* p) { return mapobjx_point_in_object(p, other) != 0; }) ? 1 : 0;
  }
  if (a->type == MAPOBJ_COLLECTION || b->type == MAPOBJ_COLLECTION) {
    MapObject* c = a->type == MAPOBJ_COLLECTION ? a : b;
    MapObject* other = c == a ? b : a;
    const MapCollectionPart& parts = c->u.collection;
    if (present(parts.region) && mapobjx_region_intersects(parts.region, other)) return 1;
    if (present(parts.polyline) && objops_intersects(parts.polyline, other)) return 1;
    if (present(parts.multipoint) && objops_intersects(parts.multipoint, other)) return 1;
    return 0;
  }
  if (is_area(a) || is_area(b)) return objops_areas_intersect(a, b);
  return mapobjx_objects_cross(a, b);
}

int16_t objops_areas_intersect(MapObject* a, MapObject* b) {
  if (a->type == MAPOBJ_ELLIPSE) return ellipse_intersects(a, b);
  if (b->type == MAPOBJ_ELLIPSE) return ellipse_intersects(b, a);
  if (a->type == MAPOBJ_REGION || b->type == MAPOBJ_REGION) return mapobjx_region_intersects(a, b);
  return rectlike_intersects(a, b);
}

int16_t segment_meets_rect(const IntPoint* a, const IntPoint* b, const IntRect* rect) {
  IntRect r;
  rect_from_points(&r, a, b);
  if (!rect_overlaps(&r, rect)) return 0;
  if (point_in_rect(a, rect) || point_in_rect(b, rect)) return 1;
  const IntPoint c[4] = {{rect->x1, rect->y1}, {rect->x1, rect->y2}, {rect->x2, rect->y2}, {rect->x2, rect->y1}};
  for (int i = 0; i < 4; ++i)
    if (seg_touch(a, b, &c[i], &c[(i + 1) % 4])) return 1;
  return 0;
}

int16_t segment_in_rect(const IntPoint* a, const IntPoint* b, const IntRect* rect) {
  return point_in_rect(a, rect) && point_in_rect(b, rect) ? 1 : 0;
}

int16_t rectlike_intersects(MapObject* a, MapObject* b) {
  if (is_rectlike(a)) std::swap(a, b);
  if (is_rectlike(a)) return 1;
  const IntRect& r = b->mbr;
  if (mapobj_any_point(a, [&](const IntPoint* p) { return point_in_rect(p, &r) != 0; })) return 1;
  return mapobj_any_segment(a, [&](const IntPoint* p, const IntPoint* q) { return segment_meets_rect(p, q, &r) != 0; }) ? 1
                                                                                                               : 0;
}

int16_t objops_within(MapObject* a, MapObject* b) {
  if (!objops_mbr_inside(a, b)) return 0;
  switch (a->type) {
    case MAPOBJ_POINT: return mapobjx_point_in_object(&a->u.point.location, b);
    case MAPOBJ_MULTIPOINT:
      return mapobj_any_point(a, [&](const IntPoint* p) { return !mapobjx_point_in_object(p, b); }) ? 0 : 1;
    case MAPOBJ_COLLECTION: {
      MapObject* parts[3] = {a->u.collection.region, a->u.collection.polyline, a->u.collection.multipoint};
      for (MapObject* part : parts)
        if (present(part) && !objops_within(part, b)) return 0;
      return 1;
    }
    default: break;
  }
  switch (b->type) {
    case MAPOBJ_REGION: return mapobjx_within_region(a, b);
    case MAPOBJ_TEXT:
    case MAPOBJ_RECT:
    case MAPOBJ_ROUNDRECT: return 1;
    case MAPOBJ_ELLIPSE: return objops_within_ellipse(a, b);
    case MAPOBJ_COLLECTION: {
      MapObject* region = present(b->u.collection.region) ? b->u.collection.region : nullptr;
      MapObject* line = present(b->u.collection.polyline) ? b->u.collection.polyline : nullptr;
      if (a->type == MAPOBJ_POLYLINE) {
        return mapobj_any_segment(a, [&](const IntPoint* p, const IntPoint* q) {
                 bool inside = region && mapobjx_segment_in_region(p, q, region);
                 bool on = line && mapobjx_segment_on_object(p, q, line);
                 return !inside && !on;
               })
                   ? 0
                   : 1;
      }
      if (region && mapobjx_within_region(a, region)) return 1;
      return line ? mapobjx_object_on_object(a, line) : 0;
    }
    case MAPOBJ_POINT:
    case MAPOBJ_MULTIPOINT: return 0;
    default: return mapobjx_object_on_object(a, b);
  }
}

int16_t objops_within_area(MapObject* a, MapObject* b) {
  if (b->type == MAPOBJ_ELLIPSE) return objops_mbr_inside(a, b) ? objops_within_ellipse(a, b) : 0;
  if (b->type == MAPOBJ_REGION) return objops_mbr_inside(a, b) ? mapobjx_within_region(a, b) : 0;
  return 1;
}

int16_t objops_within_ellipse(MapObject* a, MapObject* e) {
  if (a->type == MAPOBJ_ELLIPSE) return ellipse_contains_ellipse(&e->mbr, &a->mbr);
  return mapobj_any_point(a, [&](const IntPoint* p) { return !in_ellipse(p->x, p->y, e->mbr); }) ? 0 : 1;
}

int16_t ellipse_contains_ellipse(const IntRect* e, const IntRect* f) {
  if (e->x1 == f->x1 && e->y1 == f->y1 && e->x2 == f->x2 && e->y2 == f->y2) return 1;
  if (in_ellipse(f->x1, f->y1, *e) && in_ellipse(f->x1, f->y2, *e) && in_ellipse(f->x2, f->y2, *e) &&
      in_ellipse(f->x2, f->y1, *e))
    return 1;
  if (ellipse_outlines_cross(e, f)) return 0;
  return in_ellipse(f->x2, (static_cast<double>(f->y1) + f->y2) / 2, *e) ? 1 : 0;
}

int16_t ellipses_intersect(const IntRect* e, const IntRect* f) {
  return ellipse_outlines_cross(e, f) || ellipse_contains_ellipse(e, f) || ellipse_contains_ellipse(f, e) ? 1 : 0;
}

int16_t ellipse_intersects(MapObject* e, MapObject* o) {
  if (o->type == MAPOBJ_ELLIPSE) return ellipses_intersect(&e->mbr, &o->mbr);
  if (o->type == MAPOBJ_REGION) {
    IntPoint c;
    rect_center(&e->mbr, &c);
    if (mapobjx_point_in_region(&c, o)) return 1;
  }
  if (is_rectlike(o) && rect_is_inside(&e->mbr, &o->mbr)) return 1;
  if (mapobj_any_point(o, [&](const IntPoint* p) { return in_ellipse(p->x, p->y, e->mbr); })) return 1;
  return mapobj_any_segment(o, [&](const IntPoint* p, const IntPoint* q) { return segment_meets_ellipse(p, q, &e->mbr) != 0; })
             ? 1
             : 0;
}

int16_t segment_meets_ellipse(const IntPoint* p, const IntPoint* q, const IntRect* rect) {
  Ellipse e = ellipse_of(*rect);
  if (e.a == 0 || e.b == 0) return 0;
  double x1 = p->x - e.cx, y1 = p->y - e.cy, x2 = q->x - e.cx, y2 = q->y - e.cy;
  if (x1 == x2) {
    double t = 1 - x1 * x1 / (e.a * e.a);
    if (t < 0) return 0;
    double y = e.b * std::sqrt(t);
    double lo = std::min(y1, y2), hi = std::max(y1, y2);
    return (y >= lo && y <= hi) || (-y >= lo && -y <= hi) ? 1 : 0;
  }
  double m = (y2 - y1) / (x2 - x1), k = y1 - m * x1;
  double roots[2];
  int32_t n = solve_quadratic(1 / (e.a * e.a) + m * m / (e.b * e.b), 2 * m * k / (e.b * e.b), k * k / (e.b * e.b) - 1,
                              roots);
  double lo = std::min(x1, x2), hi = std::max(x1, x2);
  for (int32_t i = 0; i < n; ++i)
    if (roots[i] >= lo && roots[i] <= hi) return 1;
  return 0;
}

int16_t ellipse_outlines_cross(const IntRect* e_rect, const IntRect* f_rect) {
  Ellipse e = ellipse_of(*e_rect), f = ellipse_of(*f_rect);
  bool f_arcs = std::min(f.a, f.b) < std::min(e.a, e.b);
  const Ellipse& arcs = f_arcs ? f : e;
  const Ellipse& other = f_arcs ? e : f;
  double ex = other.cx - arcs.cx, ey = other.cy - arcs.cy;
  if (other.a == 0 || other.b == 0) return 0;
  for (int sx = -1; sx <= 1; sx += 2)
    for (int sy = -1; sy <= 1; sy += 2)
      if (quarter_arc_meets_ellipse(sx * arcs.a, sy * arcs.b, other.a, other.b, ex, ey)) return 1;
  return 0;
}

int16_t quarter_arc_meets_ellipse(double a, double b, double c, double d, double ex, double ey) {
  const double w = std::sqrt(0.5);
  double u = (a - ex) / c, v = (b - ey) / d, p = ex / c, q = ey / d;
  double k[5] = {q * q + u * u - 1, w * (u * u - q * v - 1), (u * u + v * v - u * p - q * v - 2) / 3,
                 w * (v * v - u * p - 1), v * v + p * p - 1};
  return bernstein4_has_root(k, 0);
}

int16_t bernstein4_has_root(const double k[5], int32_t depth) {
  constexpr double kEps = 1e-10;
  if (k[0] > kEps && k[4] > kEps && k[1] > 0 && k[2] > 0 && k[3] > 0) return 0;
  if (k[0] < -kEps && k[4] < -kEps && k[1] < 0 && k[2] < 0 && k[3] < 0) return 0;
  if (std::fabs(k[0]) <= kEps || std::fabs(k[4]) <= kEps || (k[0] > 0) != (k[4] > 0) || depth > 10) return 1;
  double left[5], right[5], work[5];
  std::copy(k, k + 5, work);
  for (int level = 0; level < 5; ++level) {
    left[level] = work[0];
    right[4 - level] = work[4 - level];
    for (int i = 0; i < 4 - level; ++i) work[i] = (work[i] + work[i + 1]) / 2;
  }
  return bernstein4_has_root(left, depth + 1) || bernstein4_has_root(right, depth + 1) ? 1 : 0;
}
