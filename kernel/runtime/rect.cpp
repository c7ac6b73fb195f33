// Points and rectangles of the integer coordinate space. See rect.h.
#include "kernel/runtime/rect.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "kernel/runtime/num.h"

namespace {

struct RectState {
  int32_t wide32 = 0;
  int16_t wide16 = 0;
};
RectState g_rect;

constexpr int32_t kDeviceLow = -4000, kDeviceHigh = 12000;
constexpr int32_t kWideLow = -16777217, kWideHigh = 16777216;

// Two's complement arithmetic without signed overflow.
int32_t wrap_add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t clamp_coord(double v) {
  if (std::isnan(v)) return 0;
  return num_round_int(std::clamp(v, -1e9, 1e9));
}

int32_t clamp_device(double v, int16_t wide) {
  int32_t lo, hi;
  device_range(wide, &lo, &hi);
  if (std::isnan(v)) return 0;
  return num_round_int(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
}

int32_t midpoint(int32_t a, int32_t b) {
  int32_t s = num_add_sat(a, b);
  if (s == INT32_MAX || s == INT32_MIN) {
    int64_t d = static_cast<int64_t>(b) - a;
    return static_cast<int32_t>(a + d / 2);
  }
  return s / 2;
}

}  // namespace

void rect_set(IntRect* rect, int32_t x1, int32_t y1, int32_t x2, int32_t y2) { *rect = IntRect{x1, y1, x2, y2}; }
void drect_set(DRect* rect, double x1, double y1, double x2, double y2) { *rect = DRect{x1, y1, x2, y2}; }
void rect_assign(IntRect* destination, const IntRect* source) { *destination = *source; }
void rect_copy(const IntRect* source, IntRect* destination) { *destination = *source; }

void rect_normalise(IntRect* rect) {
  if (rect->x2 < rect->x1) std::swap(rect->x1, rect->x2);
  if (rect->y2 < rect->y1) std::swap(rect->y1, rect->y2);
}

void drect_normalise(DRect* rect) {
  if (rect->x1 > rect->x2) std::swap(rect->x1, rect->x2);
  if (rect->y1 > rect->y2) std::swap(rect->y1, rect->y2);
}

void rect_from_points(IntRect* out, const IntPoint* a, const IntPoint* b) {
  *out = IntRect{a->x, a->y, b->x, b->y};
  rect_normalise(out);
}

void rect_from_corners(IntRect* out, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  *out = IntRect{x1, y1, x2, y2};
  rect_normalise(out);
}

void drect_from_points(DRect* out, const DPoint* a, const DPoint* b) {
  *out = DRect{a->x, a->y, b->x, b->y};
  drect_normalise(out);
}

void rect_set_empty(IntRect* rect) { *rect = IntRect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}; }
void rect_set_empty16(IntRect* rect) { *rect = IntRect{32767, 32767, -32768, -32768}; }
void drect_set_empty(DRect* rect) { *rect = DRect{DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX}; }

void point_array_copy(const IntPoint* source, IntPoint* destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) destination[i] = source[i];
}

void rect_union(IntRect* rect, const IntRect* other) {
  rect->x1 = std::min(rect->x1, other->x1);
  rect->y1 = std::min(rect->y1, other->y1);
  rect->x2 = std::max(rect->x2, other->x2);
  rect->y2 = std::max(rect->y2, other->y2);
}

void drect_union(DRect* rect, const DRect* other) {
  rect->x1 = std::min(rect->x1, other->x1);
  rect->y1 = std::min(rect->y1, other->y1);
  rect->x2 = std::max(rect->x2, other->x2);
  rect->y2 = std::max(rect->y2, other->y2);
}

void rect_add_point(IntRect* rect, const IntPoint* point) {
  IntRect r{point->x, point->y, point->x, point->y};
  rect_union(rect, &r);
}

void drect_add_point(DRect* rect, const DPoint* point) {
  DRect r{point->x, point->y, point->x, point->y};
  drect_union(rect, &r);
}

void rect_intersect(IntRect* rect, const IntRect* other) {
  rect->x1 = std::max(rect->x1, other->x1);
  rect->y1 = std::max(rect->y1, other->y1);
  rect->x2 = std::min(rect->x2, other->x2);
  rect->y2 = std::min(rect->y2, other->y2);
}

void drect_intersect(DRect* rect, const DRect* other) {
  rect->x1 = std::max(rect->x1, other->x1);
  rect->y1 = std::max(rect->y1, other->y1);
  rect->x2 = std::min(rect->x2, other->x2);
  rect->y2 = std::min(rect->y2, other->y2);
}

void rect_inflate(IntRect* rect, int32_t dx, int32_t dy) {
  *rect = IntRect{num_add_sat(rect->x1, dx == INT32_MIN ? INT32_MAX : -dx),
                  num_add_sat(rect->y1, dy == INT32_MIN ? INT32_MAX : -dy), num_add_sat(rect->x2, dx),
                  num_add_sat(rect->y2, dy)};
  rect_normalise(rect);
}

void rect_inflate_clamped(IntRect* rect, int32_t dx, int32_t dy) {
  *rect = IntRect{num_add_coord(rect->x1, dx == INT32_MIN ? INT32_MAX : -dx),
                  num_add_coord(rect->y1, dy == INT32_MIN ? INT32_MAX : -dy), num_add_coord(rect->x2, dx),
                  num_add_coord(rect->y2, dy)};
  rect_normalise(rect);
}

void drect_inflate(DRect* rect, double dx, double dy) {
  *rect = DRect{rect->x1 - dx, rect->y1 - dy, rect->x2 + dx, rect->y2 + dy};
  drect_normalise(rect);
}

void rect_around_point_sat(const IntPoint* point, IntRect* out, int32_t dx, int32_t dy) {
  *out = IntRect{point->x, point->y, point->x, point->y};
  rect_inflate(out, dx, dy);
}

void rect_around_point(const IntPoint* point, IntRect* out, int32_t dx, int32_t dy) {
  *out = IntRect{point->x, point->y, point->x, point->y};
  rect_inflate_clamped(out, dx, dy);
}

void drect_around_point(const DPoint* point, DRect* out, double dx, double dy) {
  *out = DRect{point->x, point->y, point->x, point->y};
  drect_inflate(out, dx, dy);
}

void rect_offset(IntRect* rect, int32_t dx, int32_t dy) {
  *rect = IntRect{num_add_coord(rect->x1, dx), num_add_coord(rect->y1, dy), num_add_coord(rect->x2, dx),
                  num_add_coord(rect->y2, dy)};
}

void drect_offset(DRect* rect, double dx, double dy) {
  rect->x1 += dx;
  rect->x2 += dx;
  rect->y1 += dy;
  rect->y2 += dy;
}

void point_array_offset_sat(IntPoint* points, int32_t count, int32_t dx, int32_t dy) {
  for (int32_t i = 0; i < count; ++i) points[i] = IntPoint{num_add_sat(points[i].x, dx), num_add_sat(points[i].y, dy)};
}

void point_array_offset(IntPoint* points, int32_t count, int32_t dx, int32_t dy) {
  for (int32_t i = 0; i < count; ++i)
    points[i] = IntPoint{num_add_coord(points[i].x, dx), num_add_coord(points[i].y, dy)};
}

void dpoint_array_offset(DPoint* points, int32_t count, double dx, double dy) {
  for (int32_t i = 0; i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
}

int16_t rect_is_empty(const IntRect* r) { return r->x1 >= r->x2 || r->y1 >= r->y2 ? 1 : 0; }
int16_t drect_is_empty(const DRect* r) { return r->x1 >= r->x2 || r->y1 >= r->y2 ? 1 : 0; }
int16_t rect_is_zero(const IntRect* r) { return !r->x1 && !r->y1 && !r->x2 && !r->y2 ? 1 : 0; }
int16_t drect_is_zero(const DRect* r) { return r->x1 == 0 && r->y1 == 0 && r->x2 == 0 && r->y2 == 0 ? 1 : 0; }

int16_t rect_overlaps(const IntRect* a, const IntRect* b) {
  return !(b->x2 < a->x1 || a->x2 < b->x1 || b->y2 < a->y1 || a->y2 < b->y1) ? 1 : 0;
}
int16_t drect_overlaps(const DRect* a, const DRect* b) {
  return !(b->x2 < a->x1 || a->x2 < b->x1 || b->y2 < a->y1 || a->y2 < b->y1) ? 1 : 0;
}
int16_t rect_is_inside(const IntRect* a, const IntRect* b) {
  return a->x1 >= b->x1 && a->x2 <= b->x2 && a->y1 >= b->y1 && a->y2 <= b->y2 ? 1 : 0;
}
int16_t drect_is_inside(const DRect* a, const DRect* b) {
  return a->x1 >= b->x1 && a->x2 <= b->x2 && a->y1 >= b->y1 && a->y2 <= b->y2 ? 1 : 0;
}
int16_t drect_within(const DRect* a, const DRect* b) { return drect_is_inside(a, b); }
int16_t drect_meets_cell(const DRect* cell, const DRect* r) {
  return r->x1 < cell->x2 && r->x2 >= cell->x1 && r->y1 < cell->y2 && r->y2 >= cell->y1 ? 1 : 0;
}
int16_t point_in_rect(const IntPoint* p, const IntRect* r) {
  return r->x1 <= p->x && p->x <= r->x2 && r->y1 <= p->y && p->y <= r->y2 ? 1 : 0;
}
int16_t point_in_drect(const DPoint* p, const DRect* r) {
  return r->x1 <= p->x && p->x <= r->x2 && r->y1 <= p->y && p->y <= r->y2 ? 1 : 0;
}
int16_t point_equal(const IntPoint* a, const IntPoint* b) { return a->x == b->x && a->y == b->y ? 1 : 0; }

void point_midpoint(const IntPoint* a, const IntPoint* b, IntPoint* out) {
  *out = IntPoint{midpoint(a->x, b->x), midpoint(a->y, b->y)};
}

void point_midpoint_fast(const IntPoint* a, const IntPoint* b, IntPoint* out) {
  *out = IntPoint{wrap_add(a->x, b->x) / 2, wrap_add(a->y, b->y) / 2};
}

void dpoint_midpoint(const DPoint* a, const DPoint* b, DPoint* out) {
  *out = DPoint{(a->x + b->x) * 0.5, (a->y + b->y) * 0.5};
}

void rect_center(const IntRect* rect, IntPoint* out) {
  IntPoint a{rect->x1, rect->y1}, b{rect->x2, rect->y2};
  point_midpoint(&a, &b, out);
}

void rect_center_fast(const IntRect* rect, IntPoint* out) {
  *out = IntPoint{wrap_add(rect->x1, rect->x2) / 2, wrap_add(rect->y1, rect->y2) / 2};
}

void drect_center(const DRect* rect, DPoint* out) {
  *out = DPoint{(rect->x1 + rect->x2) * 0.5, (rect->y1 + rect->y2) * 0.5};
}

void rect_size(const IntRect* rect, int32_t* width, int32_t* height) {
  *width = wrap_add(rect->x2, static_cast<int32_t>(0u - static_cast<uint32_t>(rect->x1)));
  *height = wrap_add(rect->y2, static_cast<int32_t>(0u - static_cast<uint32_t>(rect->y1)));
}

void drect_size(const DRect* rect, double* width, double* height) {
  *width = rect->x2 - rect->x1;
  *height = rect->y2 - rect->y1;
}

void rect_corners(const IntRect* r, IntPoint corners[4]) {
  corners[0] = IntPoint{r->x1, r->y1};
  corners[1] = IntPoint{r->x1, r->y2};
  corners[2] = IntPoint{r->x2, r->y2};
  corners[3] = IntPoint{r->x2, r->y1};
}

void drect_corners(const DRect* r, DPoint corners[4]) {
  corners[0] = DPoint{r->x1, r->y1};
  corners[1] = DPoint{r->x1, r->y2};
  corners[2] = DPoint{r->x2, r->y2};
  corners[3] = DPoint{r->x2, r->y1};
}

void point_clamp_to_rect(IntPoint* p, const IntRect* r) {
  p->x = std::max(r->x1, std::min(p->x, r->x2));
  p->y = std::max(r->y1, std::min(p->y, r->y2));
}

void point_clamp_to_drect(DPoint* p, const DRect* r) {
  p->x = std::max(r->x1, std::min(p->x, r->x2));
  p->y = std::max(r->y1, std::min(p->y, r->y2));
}

void point_array_to_int(const DPoint* source, IntPoint* destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) destination[i] = IntPoint{clamp_coord(source[i].x), clamp_coord(source[i].y)};
}

void drect_to_rect(const DRect* s, IntRect* d) {
  *d = IntRect{clamp_coord(s->x1), clamp_coord(s->y1), clamp_coord(s->x2), clamp_coord(s->y2)};
}

const IntPoint* point_array_to_double(const IntPoint* source, DPoint* destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) destination[i] = DPoint{double(source[i].x), double(source[i].y)};
  return source + (count > 0 ? count : 0);
}

void point_array_copy_to_double(const IntPoint* source, DPoint* destination, int32_t count) {
  point_array_to_double(source, destination, count);
}

void rect_to_dpoints(const IntRect* r, DPoint* lower_left, DPoint* upper_right) {
  *lower_left = DPoint{double(r->x1), double(r->y1)};
  *upper_right = DPoint{double(r->x2), double(r->y2)};
}

void rect_to_drect(const IntRect* r, DRect* out) { *out = DRect{double(r->x1), double(r->y1), double(r->x2), double(r->y2)}; }

void device_range_set_switches(int32_t wide32, int16_t wide16) {
  g_rect.wide32 = wide32;
  g_rect.wide16 = wide16;
}

void device_range(int16_t wide, int32_t* low, int32_t* high) {
  bool w = wide || g_rect.wide32 || g_rect.wide16;
  *low = w ? kWideLow : kDeviceLow;
  *high = w ? kWideHigh : kDeviceHigh;
}

void point_array_to_device(const DPoint* source, IntPoint* destination, int32_t count, int16_t wide) {
  for (int32_t i = 0; i < count; ++i)
    destination[i] = IntPoint{clamp_device(source[i].x, wide), clamp_device(source[i].y, wide)};
}

void drect_to_device_rect(const DRect* r, IntRect* out, int16_t wide) {
  *out = IntRect{clamp_device(r->x1, wide), clamp_device(r->y1, wide), clamp_device(r->x2, wide),
                 clamp_device(r->y2, wide)};
}

void point_array_clamp_device(const IntPoint* points, IntPoint* out, int32_t count, int32_t* count_var,
                              int16_t wide) {
  int32_t lo, hi;
  device_range(wide, &lo, &hi);
  if (count_var) *count_var = count;
  int32_t n = 0;
  for (int32_t i = 0; i < count; ++i) {
    IntPoint p{std::clamp(points[i].x, lo, hi), std::clamp(points[i].y, lo, hi)};
    if (count_var && n > 0 && point_equal(&p, &out[n - 1])) {
      --*count_var;
      continue;
    }
    out[n++] = p;
  }
}

void rect_clamp_device(const IntRect* r, IntRect* out, int16_t wide) {
  int32_t lo, hi;
  device_range(wide, &lo, &hi);
  *out = IntRect{std::clamp(r->x1, lo, hi), std::clamp(r->y1, lo, hi), std::clamp(r->x2, lo, hi),
                 std::clamp(r->y2, lo, hi)};
}

void point_delta(const IntPoint* a, const IntPoint* b, DPoint* out) {
  *out = DPoint{double(a->x) - double(b->x), double(a->y) - double(b->y)};
}
void dpoint_delta(const DPoint* a, const DPoint* b, DPoint* out) { *out = DPoint{a->x - b->x, a->y - b->y}; }
double dpoint_dot(const DPoint* a, const DPoint* b) { return a->x * b->x + a->y * b->y; }
double dpoint_cross(const DPoint* a, const DPoint* b) { return a->x * b->y - a->y * b->x; }
double dpoint_l1_norm(const DPoint* v) { return std::fabs(v->x) + std::fabs(v->y); }

int16_t dseg_intersect(const DPoint* p0, const DPoint* p1, const DPoint* q0, const DPoint* q1, DPoint* out) {
  DPoint d1{p1->x - p0->x, p1->y - p0->y}, d2{q1->x - q0->x, q1->y - q0->y}, w{q0->x - p0->x, q0->y - p0->y};
  double den = d2.y * d1.x - d2.x * d1.y;
  double l1 = std::fabs(d1.x) + std::fabs(d1.y);
  if (!(std::fabs(den) > 1e-10 * l1 * l1)) return 0;
  double t = (d2.y * w.x - w.y * d2.x) / den;
  double u = (w.x * d1.y - w.y * d1.x) / den;
  if (!(t >= 0 && t <= 1 && u >= 0 && u <= 1)) return 0;
  *out = DPoint{p0->x + t * d1.x, p0->y + t * d1.y};
  return 1;
}

int16_t num_approx_equal(double a, double b, int16_t step) {
  static const double kTolerance[15] = {1e-1, 1e-2, 1e-3,  1e-4,  1e-5,  1e-6,  1e-7, 1e-8,
                                        1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};
  if (a == b) return 1;
  int ea, eb;
  double ma = std::frexp(a, &ea), mb = std::frexp(b, &eb);
  if (ea != eb) return 0;
  double tol = kTolerance[std::clamp<int16_t>(step, 0, 14)];
  double d = std::fabs(ma - mb);
  if (ma == 0 && mb == 0) return 1;
  if (ma == 0 || mb == 0) return d < tol ? 1 : 0;
  return std::fabs(d / ma) < tol && std::fabs(d / mb) < tol ? 1 : 0;
}

int16_t point_coord_equal(double a, double b) { return num_approx_equal(a, b, 14); }
