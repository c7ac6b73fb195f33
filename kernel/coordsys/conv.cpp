// Conversions between two transforms.
#include "kernel/coordsys/conv.h"

#include <cstring>

#include "kernel/coordsys/xform.h"

namespace {
void copy_pts(const IntPoint* in_int, const DPoint* in, IntPoint* out_int, DPoint* out, const CoordConv*,
              int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const DPoint p = in_int ? DPoint{double(in_int[i].x), double(in_int[i].y)} : in[i];
    if (out_int)
      point_array_to_int(&p, &out_int[i], 1);
    else
      out[i] = p;
  }
}
void copy_rect(const IntRect* in_int, const DRect* in, IntRect* out_int, DRect* out, const CoordConv*) {
  DRect r = in_int ? DRect{double(in_int->x1), double(in_int->y1), double(in_int->x2), double(in_int->y2)} : *in;
  drect_normalise(&r);
  if (out_int)
    drect_to_rect(&r, out_int);
  else
    *out = r;
}
}  // namespace

void conv_setup(CoordConv* conv, const CoordXform* from, const CoordXform* to) {
  std::memset(conv, 0, sizeof *conv);
  conv->side_a = *from;
  conv->side_b = *to;
  conv->fwd_points = conv->inv_points = conv->dev_to_map_points = conv->map_to_dev_points = copy_pts;
  conv->fwd_rect = conv->inv_rect = conv->dev_to_map_rect = conv->map_to_dev_rect = copy_rect;
  conv->flags = xform_equal(from, to) ? CONV_IDENTICAL : 0;
}

void conv_setup_identity(CoordConv* conv) {
  CoordXform xf;
  xform_default_nonearth(&xf);
  conv_setup(conv, &xf, &xf);
}

void conv_map_to_device(const IntPoint* in, IntPoint* out, const CoordConv* conv, int32_t count) {
  conv->map_to_dev_points(in, nullptr, out, nullptr, conv, count);
}

int16_t util_affine_invert(double record[12]) {
  const double* f = record + 6;
  const double det = f[0] * f[4] - f[3] * f[1];
  if (det == 0) return 0;
  double* inv = record;
  const double a = f[0], b = f[1], c = f[2], d = f[3], e = f[4], ff = f[5];
  inv[0] = e / det;
  inv[1] = -b / det;
  inv[2] = (b * ff - e * c) / det;
  inv[3] = -d / det;
  inv[4] = a / det;
  inv[5] = (d * c - a * ff) / det;
  return 1;
}

void conv_map_to_device_clamped(const IntPoint* in, IntPoint* out, const CoordConv* conv, int32_t count) {
  conv_map_to_device(in, out, conv, count);
}
void conv_map_rect_to_device(const IntRect* map, DRect* out, const CoordConv* conv) {
  conv->map_to_dev_rect(map, nullptr, nullptr, out, conv);
}
void conv_device_rect_to_map(const DRect* device, IntRect* out, const CoordConv* conv) {
  conv->dev_to_map_rect(nullptr, device, out, nullptr, conv);
}
void conv_map_rect_to_device_clamped(const IntRect* map, IntRect* out, const CoordConv* conv) {
  conv->map_to_dev_rect(map, nullptr, out, nullptr, conv);
}
int32_t conv_device_dx_to_map(int32_t length, const CoordConv*) { return length; }
int32_t conv_device_dy_to_map(int32_t length, const CoordConv*) { return length; }
