// Conversions between two transforms: set up once (which stages can be
// skipped, whether the mapping is a per-axis scale and offset), then every
// conversion is one call through a slot. Also the affine helpers of
// definitions.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/intrect.h"
#include "kernel/runtime/rect.h"

struct CoordConv;
// (integer in or null, double in, integer out or null, double out,
// conversion, count): integer input wins when given; integer output rounds.
using ConvPointsFn = void (*)(const IntPoint* in_int, const DPoint* in, IntPoint* out_int, DPoint* out,
                              const CoordConv* conv, int32_t count);
using ConvRectFn = void (*)(const IntRect* in_int, const DRect* in, IntRect* out_int, DRect* out,
                            const CoordConv* conv);

constexpr uint32_t CONV_IDENTICAL = 1;
constexpr uint32_t CONV_SKIP_DATUM = 2;
constexpr uint32_t CONV_SKIP_PROJECTION = 4;
constexpr uint32_t CONV_SKIP_DEF_AFFINE = 8;
constexpr uint32_t CONV_SKIP_INT_AFFINE = 16;
constexpr uint32_t CONV_LINEAR = 32;

struct CoordConv {
  CoordXform side_a;
  CoordXform side_b;
  double lin_scale_x, lin_scale_y, lin_offset_x, lin_offset_y;
  int32_t map_x, map_y, map_w, map_h;
  int32_t map_guard_x, map_guard_y;
  ConvPointsFn fwd_points, inv_points, dev_to_map_points, map_to_dev_points;
  ConvRectFn fwd_rect, inv_rect, dev_to_map_rect, map_to_dev_rect;
  uint32_t flags;
};

void conv_setup(CoordConv* conv, const CoordXform* from, const CoordXform* to);
void conv_setup_identity(CoordConv* conv);
void conv_setup_rects(CoordConv* conv, const IntRect* a, const IntRect* b);
void conv_make_linear(CoordConv* conv, const IntRect* map_rect);
void conv_pan(CoordConv* conv, double dx, double dy);
int16_t conv_is_linear(const CoordConv* conv);
int16_t conv_is_identity(const CoordConv* conv);

// ---- wrappers -----------------------------------------------------------------
// One per slot and per form: int (integer arrays or rectangles), double,
// double to int (rounded), int to double (integers taken as doubles), device
// (rounded, then held within the drawable device range).
void conv_fwd_int(const IntPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_fwd_double(const DPoint* in, DPoint* out, const CoordConv* conv, int32_t count);
void conv_fwd_double_to_int(const DPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_fwd_int_to_double(const IntPoint* in, DPoint* out, const CoordConv* conv, int32_t count);
void conv_inv_int(const IntPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_inv_double(const DPoint* in, DPoint* out, const CoordConv* conv, int32_t count);
void conv_inv_double_to_int(const DPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_inv_int_to_double(const IntPoint* in, DPoint* out, const CoordConv* conv, int32_t count);
void conv_fwd_rect_int(const IntRect* in, IntRect* out, const CoordConv* conv);
void conv_fwd_rect_double(const DRect* in, DRect* out, const CoordConv* conv);
void conv_fwd_rect_double_to_int(const DRect* in, IntRect* out, const CoordConv* conv);
void conv_fwd_rect_int_to_double(const IntRect* in, DRect* out, const CoordConv* conv);
void conv_inv_rect_int(const IntRect* in, IntRect* out, const CoordConv* conv);
void conv_inv_rect_double(const DRect* in, DRect* out, const CoordConv* conv);
void conv_inv_rect_double_to_int(const DRect* in, IntRect* out, const CoordConv* conv);
void conv_inv_rect_int_to_double(const IntRect* in, DRect* out, const CoordConv* conv);
void conv_device_to_map(const IntPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_device_to_map_double(const DPoint* in, DPoint* out, const CoordConv* conv, int32_t count);
void conv_device_to_map_double_to_int(const DPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_device_to_map_int_to_double(const IntPoint* in, DPoint* out, const CoordConv* conv, int32_t count);
// The input copied to the output, then converted there in place.
void conv_device_to_map_copied(const IntPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_device_to_map_rect(const IntRect* in, IntRect* out, const CoordConv* conv);
void conv_device_to_map_rect_double(const DRect* in, DRect* out, const CoordConv* conv);
void conv_device_to_map_rect_double_to_int(const DRect* in, IntRect* out, const CoordConv* conv);
void conv_device_to_map_rect_int_to_double(const IntRect* in, DRect* out, const CoordConv* conv);
void conv_device_to_map_rect_copied(const IntRect* in, IntRect* out, const CoordConv* conv);
void conv_map_to_device(const IntPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_map_to_device_double(const DPoint* in, DPoint* out, const CoordConv* conv, int32_t count);
void conv_map_to_device_double_to_int(const DPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_map_to_device_double_to_device(const DPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_map_to_device_int_to_double(const IntPoint* in, DPoint* out, const CoordConv* conv, int32_t count);
void conv_map_to_device_clamped(const IntPoint* in, IntPoint* out, const CoordConv* conv, int32_t count);
void conv_map_to_device_rect(const IntRect* in, IntRect* out, const CoordConv* conv);
void conv_map_to_device_rect_double(const DRect* in, DRect* out, const CoordConv* conv);
void conv_map_to_device_rect_double_to_int(const DRect* in, IntRect* out, const CoordConv* conv);
void conv_map_to_device_rect_double_to_device(const DRect* in, IntRect* out, const CoordConv* conv);
void conv_map_to_device_rect_int_to_double(const IntRect* in, DRect* out, const CoordConv* conv);
void conv_int_rect_via(const IntRect* in, IntRect* out, const CoordConv* conv, ConvPointsFn points,
                       ConvRectFn rect);
void conv_drect_via(DRect* out, const CoordConv* conv, const DRect* in, ConvPointsFn points, ConvRectFn rect);
void conv_device_rect_to_map(const DRect* device, IntRect* out, const CoordConv* conv);
void conv_map_rect_to_device(const IntRect* map, DRect* out, const CoordConv* conv);
void conv_map_rect_to_device_clamped(const IntRect* map, IntRect* out, const CoordConv* conv);
int32_t conv_device_dx_to_map(int32_t length, const CoordConv* conv);
int32_t conv_device_dy_to_map(int32_t length, const CoordConv* conv);
int32_t conv_map_dx_to_device(int32_t length, const CoordConv* conv);
int32_t conv_map_dy_to_device(int32_t length, const CoordConv* conv);

// ---- affines (12 doubles: the inverse A'..F', then A..F) -------------------------
struct AffineControlPoint {
  DPoint source;
  IntPoint target;
};
int16_t util_affine_invert(double record[12]);
int16_t util_affine_fit(const AffineControlPoint* points, int32_t count, double record[12]);
