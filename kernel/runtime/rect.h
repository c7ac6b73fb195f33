// Points and rectangles of the integer coordinate space, their double
// counterparts, the device range, a few vector operations and the
// approximate equality of doubles that value comparison uses. Plain values;
// nothing here allocates. Integer sums saturate or clamp as each operation
// says; "fast" variants wrap as two's complement.
#pragma once
#include <cstdint>

#include "kernel/runtime/intrect.h"

// The table API's header defines the same two records for the application;
// whichever header comes first defines them.
#ifndef QL_DPOINT_DRECT_DEFINED
#define QL_DPOINT_DRECT_DEFINED
struct DPoint {
  double x;
  double y;
};

struct DRect {
  double x1;
  double y1;
  double x2;
  double y2;
};
#endif

constexpr int32_t kCoordLimit = 1000000000;

// ---- construction and ordering -----------------------------------------
void rect_set(IntRect* rect, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void drect_set(DRect* rect, double x1, double y1, double x2, double y2);
void rect_assign(IntRect* destination, const IntRect* source);
void rect_copy(const IntRect* source, IntRect* destination);
void rect_normalise(IntRect* rect);
void drect_normalise(DRect* rect);
void rect_from_points(IntRect* out, const IntPoint* a, const IntPoint* b);
void rect_from_corners(IntRect* out, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void drect_from_points(DRect* out, const DPoint* a, const DPoint* b);
void rect_set_empty(IntRect* rect);
void rect_set_empty16(IntRect* rect);
void drect_set_empty(DRect* rect);
void point_array_copy(const IntPoint* source, IntPoint* destination, int32_t count);

// ---- growing and combining ---------------------------------------------
void rect_union(IntRect* rect, const IntRect* other);
void drect_union(DRect* rect, const DRect* other);
void rect_add_point(IntRect* rect, const IntPoint* point);
void drect_add_point(DRect* rect, const DPoint* point);
void rect_intersect(IntRect* rect, const IntRect* other);
void drect_intersect(DRect* rect, const DRect* other);
void rect_inflate(IntRect* rect, int32_t dx, int32_t dy);
void rect_inflate_clamped(IntRect* rect, int32_t dx, int32_t dy);
void drect_inflate(DRect* rect, double dx, double dy);
void rect_around_point_sat(const IntPoint* point, IntRect* out, int32_t dx, int32_t dy);
void rect_around_point(const IntPoint* point, IntRect* out, int32_t dx, int32_t dy);
void drect_around_point(const DPoint* point, DRect* out, double dx, double dy);
void rect_offset(IntRect* rect, int32_t dx, int32_t dy);
void drect_offset(DRect* rect, double dx, double dy);
void point_array_offset_sat(IntPoint* points, int32_t count, int32_t dx, int32_t dy);
void point_array_offset(IntPoint* points, int32_t count, int32_t dx, int32_t dy);
void dpoint_array_offset(DPoint* points, int32_t count, double dx, double dy);

// ---- tests (16-bit flags) ----------------------------------------------
int16_t rect_is_empty(const IntRect* rect);
int16_t drect_is_empty(const DRect* rect);
int16_t rect_is_zero(const IntRect* rect);
int16_t drect_is_zero(const DRect* rect);
int16_t rect_overlaps(const IntRect* a, const IntRect* b);
int16_t drect_overlaps(const DRect* a, const DRect* b);
int16_t rect_is_inside(const IntRect* a, const IntRect* b);
int16_t drect_is_inside(const DRect* a, const DRect* b);
int16_t drect_within(const DRect* a, const DRect* b);
int16_t drect_meets_cell(const DRect* cell, const DRect* r);
int16_t point_in_rect(const IntPoint* point, const IntRect* rect);
int16_t point_in_drect(const DPoint* point, const DRect* rect);
int16_t point_equal(const IntPoint* a, const IntPoint* b);

// ---- measures ----------------------------------------------------------
void rect_center(const IntRect* rect, IntPoint* out);
void rect_center_fast(const IntRect* rect, IntPoint* out);
void drect_center(const DRect* rect, DPoint* out);
void point_midpoint(const IntPoint* a, const IntPoint* b, IntPoint* out);
void point_midpoint_fast(const IntPoint* a, const IntPoint* b, IntPoint* out);
void dpoint_midpoint(const DPoint* a, const DPoint* b, DPoint* out);
void rect_size(const IntRect* rect, int32_t* width, int32_t* height);
void drect_size(const DRect* rect, double* width, double* height);
void rect_corners(const IntRect* rect, IntPoint corners[4]);
void drect_corners(const DRect* rect, DPoint corners[4]);
void point_clamp_to_rect(IntPoint* point, const IntRect* rect);
void point_clamp_to_drect(DPoint* point, const DRect* rect);

// ---- conversions -------------------------------------------------------
void point_array_to_int(const DPoint* source, IntPoint* destination, int32_t count);
void drect_to_rect(const DRect* source, IntRect* destination);
const IntPoint* point_array_to_double(const IntPoint* source, DPoint* destination, int32_t count);
void point_array_copy_to_double(const IntPoint* source, DPoint* destination, int32_t count);
void rect_to_dpoints(const IntRect* rect, DPoint* lower_left, DPoint* upper_right);
void rect_to_drect(const IntRect* rect, DRect* out);
void device_range(int16_t wide, int32_t* low, int32_t* high);
void device_range_set_switches(int32_t wide32, int16_t wide16);
void point_array_to_device(const DPoint* source, IntPoint* destination, int32_t count, int16_t wide);
void drect_to_device_rect(const DRect* rect, IntRect* out, int16_t wide);
void point_array_clamp_device(const IntPoint* points, IntPoint* out, int32_t count, int32_t* count_var,
                              int16_t wide);
void rect_clamp_device(const IntRect* rect, IntRect* out, int16_t wide);

// ---- vectors and segments ----------------------------------------------
void point_delta(const IntPoint* a, const IntPoint* b, DPoint* out);
void dpoint_delta(const DPoint* a, const DPoint* b, DPoint* out);
double dpoint_dot(const DPoint* a, const DPoint* b);
double dpoint_cross(const DPoint* a, const DPoint* b);
double dpoint_l1_norm(const DPoint* v);
int16_t dseg_intersect(const DPoint* p0, const DPoint* p1, const DPoint* q0, const DPoint* q1, DPoint* out);

// ---- approximate equality of doubles -----------------------------------
// step 0..14 picks the tolerance 10^-(step+1); steps outside are clamped.
int16_t num_approx_equal(double a, double b, int16_t step);
int16_t point_coord_equal(double a, double b);
