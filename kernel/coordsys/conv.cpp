// Conversions between two transforms.
//
// conv_setup looks at the pair once: which stages of the pipeline can be
// skipped, whether the mapping is a per-axis scale and offset, and, for a
// device pair, whether the device side maps by integer proportion. Each
// conversion is then one call through a slot. Slots accept in == out.
//
// A device pair skips its datum shift when the shift at the device centre,
// by either method, is below half a device pixel.
#include "kernel/coordsys/conv.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/runtime/num.h"

namespace {

constexpr int32_t kChunk = 256;
constexpr int32_t kIntLimit = 1000000000;

// ---- input and output of a slot ----------------------------------------------------

void load(const IntPoint* in_int, const DPoint* in, DPoint* buf, int32_t from, int32_t n) {
  if (in_int != nullptr)
    for (int32_t i = 0; i < n; ++i) buf[i] = DPoint{double(in_int[from + i].x), double(in_int[from + i].y)};
  else
    std::memcpy(buf, in + from, sizeof(DPoint) * static_cast<size_t>(n));
}

void store(const DPoint* buf, IntPoint* out_int, DPoint* out, int32_t from, int32_t n) {
  if (out_int != nullptr)
    point_array_to_int(buf, out_int + from, n);
  else
    std::memcpy(out + from, buf, sizeof(DPoint) * static_cast<size_t>(n));
}

DRect load_rect(const IntRect* in_int, const DRect* in) {
  return in_int != nullptr ? DRect{double(in_int->x1), double(in_int->y1), double(in_int->x2), double(in_int->y2)}
                           : *in;
}

void store_rect(DRect r, IntRect* out_int, DRect* out) {
  drect_normalise(&r);
  if (out_int != nullptr)
    drect_to_rect(&r, out_int);
  else
    *out = r;
}

// Runs a chunk-wise stage chain between the slot's input and output.
template <class Fn>
void through_chunks(const IntPoint* in_int, const DPoint* in, IntPoint* out_int, DPoint* out, int32_t count,
                    Fn fn) {
  DPoint buf[kChunk];
  for (int32_t done = 0; done < count; done += kChunk) {
    const int32_t n = std::min(kChunk, count - done);
    load(in_int, in, buf, done, n);
    fn(buf, n);
    store(buf, out_int, out, done, n);
  }
}

// ---- copies -----------------------------------------------------------------------

void copy_points(const IntPoint* in_int, const DPoint* in, IntPoint* out_int, DPoint* out, const CoordConv*,
                 int32_t count) {
  through_chunks(in_int, in, out_int, out, count, [](DPoint*, int32_t) {});
}

void copy_rect(const IntRect* in_int, const DRect* in, IntRect* out_int, DRect* out, const CoordConv*) {
  store_rect(load_rect(in_int, in), out_int, out);
}

// ---- the pipeline -----------------------------------------------------------------

void pipeline(DPoint* p, int32_t n, const CoordXform* s, const CoordXform* t, uint32_t flags) {
  xform_unscale_points(p, p, s, n);
  if (!(flags & CONV_SKIP_INT_AFFINE)) {
    xform_int_affine_points(p, p, s, n);
    if (!(flags & CONV_SKIP_DEF_AFFINE)) {
      xform_def_affine_inv_points(p, p, s, n);
      if (!(flags & CONV_SKIP_PROJECTION)) {
        xform_inverse_points(p, p, s, n);
        if (!(flags & CONV_SKIP_DATUM)) datum_shift_points(p, &s->def.datum, &s->ellipsoid, p, &t->def.datum,
                                                           &t->ellipsoid, n);
        xform_forward_points(p, p, t, n);
      }
      xform_def_affine_points(p, p, t, n);
    }
    xform_int_affine_inv_points(p, p, t, n);
  }
  xform_scale_points(p, p, t, n);
}

DRect pipeline_rect(DRect r, const CoordXform* s, const CoordXform* t, uint32_t flags) {
  xform_unscale_rect(&r, &r, s);
  if (!(flags & CONV_SKIP_INT_AFFINE)) {
    xform_int_affine_rect(&r, &r, s);
    if (!(flags & CONV_SKIP_DEF_AFFINE)) {
      xform_def_affine_inv_rect(&r, &r, s);
      if (!(flags & CONV_SKIP_PROJECTION)) {
        xform_inverse_rect(&r, &r, s);
        if (!(flags & CONV_SKIP_DATUM)) datum_shift_rect(&r, &s->def.datum, &s->ellipsoid, &r, &t->def.datum,
                                                         &t->ellipsoid);
        xform_forward_rect(&r, &r, t);
      }
      xform_def_affine_rect(&r, &r, t);
    }
    xform_int_affine_inv_rect(&r, &r, t);
  }
  xform_scale_rect(&r, &r, t);
  return r;
}

void pipe_ab_points(const IntPoint* ii, const DPoint* in, IntPoint* oi, DPoint* out, const CoordConv* c, int32_t n) {
  through_chunks(ii, in, oi, out, n, [c](DPoint* p, int32_t k) { pipeline(p, k, &c->side_a, &c->side_b, c->flags); });
}
void pipe_ba_points(const IntPoint* ii, const DPoint* in, IntPoint* oi, DPoint* out, const CoordConv* c, int32_t n) {
  through_chunks(ii, in, oi, out, n, [c](DPoint* p, int32_t k) { pipeline(p, k, &c->side_b, &c->side_a, c->flags); });
}
void pipe_ab_rect(const IntRect* ii, const DRect* in, IntRect* oi, DRect* out, const CoordConv* c) {
  store_rect(pipeline_rect(load_rect(ii, in), &c->side_a, &c->side_b, c->flags), oi, out);
}
void pipe_ba_rect(const IntRect* ii, const DRect* in, IntRect* oi, DRect* out, const CoordConv* c) {
  store_rect(pipeline_rect(load_rect(ii, in), &c->side_b, &c->side_a, c->flags), oi, out);
}

// ---- linear conversion between two rectangles ------------------------------------

void rects_fwd_points(const IntPoint* ii, const DPoint* in, IntPoint* oi, DPoint* out, const CoordConv* c,
                      int32_t n) {
  through_chunks(ii, in, oi, out, n, [c](DPoint* p, int32_t k) {
    for (int32_t i = 0; i < k; ++i)
      p[i] = DPoint{(p[i].x - c->lin_offset_x) / c->lin_scale_x, (p[i].y - c->lin_offset_y) / c->lin_scale_y};
  });
}
void rects_inv_points(const IntPoint* ii, const DPoint* in, IntPoint* oi, DPoint* out, const CoordConv* c,
                      int32_t n) {
  through_chunks(ii, in, oi, out, n, [c](DPoint* p, int32_t k) {
    for (int32_t i = 0; i < k; ++i)
      p[i] = DPoint{p[i].x * c->lin_scale_x + c->lin_offset_x, p[i].y * c->lin_scale_y + c->lin_offset_y};
  });
}
void rects_fwd_rect(const IntRect* ii, const DRect* in, IntRect* oi, DRect* out, const CoordConv* c) {
  DRect r = load_rect(ii, in);
  DPoint p[2] = {{r.x1, r.y1}, {r.x2, r.y2}};
  rects_fwd_points(nullptr, p, nullptr, p, c, 2);
  store_rect(DRect{p[0].x, p[0].y, p[1].x, p[1].y}, oi, out);
}
void rects_inv_rect(const IntRect* ii, const DRect* in, IntRect* oi, DRect* out, const CoordConv* c) {
  DRect r = load_rect(ii, in);
  DPoint p[2] = {{r.x1, r.y1}, {r.x2, r.y2}};
  rects_inv_points(nullptr, p, nullptr, p, c, 2);
  store_rect(DRect{p[0].x, p[0].y, p[1].x, p[1].y}, oi, out);
}

// ---- integer device mapping of a linear device pair ------------------------------

int32_t map_to_dev_axis(int32_t v, int32_t map_o, int32_t map_s, int32_t dev_o, int32_t dev_s, int32_t guard) {
  int64_t d = int64_t(v) - map_o;
  int64_t w = map_s;
  while (std::llabs(d) > guard) {
    d >>= 1;
    w >>= 1;
  }
  const int64_t r = int64_t(dev_o) + num_div_round(static_cast<int32_t>(d * dev_s), static_cast<int32_t>(w));
  return static_cast<int32_t>(std::clamp<int64_t>(r, INT32_MIN, INT32_MAX));
}

int32_t dev_to_map_axis(int32_t v, int32_t map_o, int32_t map_s, int32_t dev_o, int32_t dev_s, int32_t guard) {
  int64_t d = int64_t(v) - dev_o;
  int64_t w = map_s;
  int64_t k = 1;
  while (std::llabs(d) > guard) {
    d >>= 1;
    w >>= 1;
    k *= 2;
  }
  const int64_t r = num_div_round(static_cast<int32_t>(d * w), dev_s);
  const int64_t sum = std::clamp<int64_t>(r * k, INT32_MIN, INT32_MAX) + map_o;
  return static_cast<int32_t>(std::clamp<int64_t>(sum, -kIntLimit, kIntLimit));
}

void lin_map_to_dev_points(const IntPoint* ii, const DPoint* in, IntPoint* oi, DPoint* out, const CoordConv* c,
                           int32_t n) {
  const CoordXform& a = c->side_a;
  if (ii != nullptr && oi != nullptr) {
    for (int32_t i = 0; i < n; ++i) {
      const IntPoint p = ii[i];
      oi[i] = IntPoint{map_to_dev_axis(p.x, c->map_x, c->map_w, a.dev_x, a.dev_w, a.dev_guard_x),
                       map_to_dev_axis(p.y, c->map_y, c->map_h, a.dev_y, a.dev_h, a.dev_guard_y)};
    }
    return;
  }
  through_chunks(ii, in, oi, out, n, [c, &a](DPoint* p, int32_t k) {
    for (int32_t i = 0; i < k; ++i)
      p[i] = DPoint{(p[i].x - c->map_x) * a.dev_w / c->map_w + a.dev_x, (p[i].y - c->map_y) * a.dev_h / c->map_h + a.dev_y};
  });
}

void lin_dev_to_map_points(const IntPoint* ii, const DPoint* in, IntPoint* oi, DPoint* out, const CoordConv* c,
                           int32_t n) {
  const CoordXform& a = c->side_a;
  if (ii != nullptr && oi != nullptr) {
    for (int32_t i = 0; i < n; ++i) {
      const IntPoint p = ii[i];
      oi[i] = IntPoint{dev_to_map_axis(p.x, c->map_x, c->map_w, a.dev_x, a.dev_w, c->map_guard_x),
                       dev_to_map_axis(p.y, c->map_y, c->map_h, a.dev_y, a.dev_h, c->map_guard_y)};
    }
    return;
  }
  through_chunks(ii, in, oi, out, n, [c, &a](DPoint* p, int32_t k) {
    for (int32_t i = 0; i < k; ++i)
      p[i] = DPoint{(p[i].x - a.dev_x) * c->map_w / a.dev_w + c->map_x, (p[i].y - a.dev_y) * c->map_h / a.dev_h + c->map_y};
  });
}

template <ConvPointsFn Points>
void rect_by_corners(const IntRect* ii, const DRect* in, IntRect* oi, DRect* out, const CoordConv* c) {
  if (ii != nullptr && oi != nullptr) {
    IntPoint p[2] = {{ii->x1, ii->y1}, {ii->x2, ii->y2}};
    Points(p, nullptr, p, nullptr, c, 2);
    IntRect r{p[0].x, p[0].y, p[1].x, p[1].y};
    rect_normalise(&r);
    *oi = r;
    return;
  }
  const DRect r = load_rect(ii, in);
  DPoint p[2] = {{r.x1, r.y1}, {r.x2, r.y2}};
  Points(nullptr, p, nullptr, p, c, 2);
  store_rect(DRect{p[0].x, p[0].y, p[1].x, p[1].y}, oi, out);
}

int32_t nonzero(int64_t v) { return v == 0 ? 1 : static_cast<int32_t>(std::clamp<int64_t>(v, -2147483647, 2147483647)); }

// Step 7 of the set-up: the device window's corners in side b's integers,
// widened when they span fewer than 100 integers, and side a refitted.
void setup_linear_device(CoordConv* c) {
  CoordXform& a = c->side_a;
  const CoordXform& b = c->side_b;
  const bool skip_ia = c->flags & CONV_SKIP_INT_AFFINE;
  DPoint win[2] = {{a.window_x, a.window_y}, {a.window_x + a.window_w, a.window_y + a.window_h}};
  IntPoint q[2];
  if (skip_ia) {
    xform_plane_to_int(win, q, &b, 2);
  } else {
    DPoint xy[2];
    xform_int_affine_points(win, xy, &a, 2);
    xform_xy_to_int(xy, q, &b, 2);
  }
  bool at_limit = false;
  for (const IntPoint& p : q)
    at_limit = at_limit || std::abs(p.x) == kIntLimit || std::abs(p.y) == kIntLimit;
  bool widened = false;
  if (!at_limit) {
    if (std::llabs(int64_t(q[1].x) - q[0].x) < 100) {
      const int32_t step = b.scale_x * a.window_w < 0 ? -50 : 50;
      q[0].x -= step;
      q[1].x += step;
      widened = true;
    }
    if (std::llabs(int64_t(q[1].y) - q[0].y) < 100) {
      const int32_t step = b.scale_y * a.window_h < 0 ? -50 : 50;
      q[0].y -= step;
      q[1].y += step;
      widened = true;
    }
  }
  if (at_limit || widened) {
    DPoint plane[2];
    if (skip_ia) {
      xform_int_to_plane(q, plane, &b, 2);
    } else {
      DPoint xy[2];
      xform_int_to_xy(q, xy, &b, 2);
      xform_int_affine_inv_points(xy, plane, &a, 2);
    }
    IntPoint d[2];
    xform_plane_to_int(plane, d, &a, 2);
    IntRect dev{d[0].x, d[0].y, d[1].x, d[1].y};
    rect_normalise(&dev);
    xform_set_device_rect(&dev, &a);
    a.window_x = plane[0].x;
    a.window_y = plane[0].y;
    a.window_w = xform_clamp_magnitude(plane[1].x - plane[0].x);
    a.window_h = xform_clamp_magnitude(plane[1].y - plane[0].y);
    a.scale_x = xform_clamp_magnitude(a.dev_w / a.window_w);
    a.scale_y = xform_clamp_magnitude(a.dev_h / a.window_h);
    a.offset_x = a.dev_x - a.scale_x * a.window_x;
    a.offset_y = a.dev_y - a.scale_y * a.window_y;
  }
  c->map_x = q[0].x;
  c->map_y = q[0].y;
  c->map_w = nonzero(int64_t(q[1].x) - q[0].x);
  c->map_h = nonzero(int64_t(q[1].y) - q[0].y);
  c->map_guard_x = 1073741823 / std::abs(c->map_w);
  c->map_guard_y = 1073741823 / std::abs(c->map_h);
  c->map_to_dev_points = lin_map_to_dev_points;
  c->dev_to_map_points = lin_dev_to_map_points;
  c->map_to_dev_rect = rect_by_corners<lin_map_to_dev_points>;
  c->dev_to_map_rect = rect_by_corners<lin_dev_to_map_points>;
}

IntPoint device_centre(const CoordConv* c) {
  const CoordXform& a = c->side_a;
  return IntPoint{static_cast<int32_t>(int64_t(a.dev_x) + a.dev_w / 2),
                  static_cast<int32_t>(int64_t(a.dev_y) + a.dev_h / 2)};
}

// Step 3 of the set-up: whether the datum shift at the device centre is
// below half a pixel, through the datum shift (grids included) and through
// the 7-parameter form alike.
bool device_shift_below_half_pixel(const CoordConv* c) {
  const CoordXform& a = c->side_a;
  const CoordXform& b = c->side_b;
  const IntPoint centre = device_centre(c);
  const IntPoint next{num_add_sat(centre.x, 1), centre.y};
  const double threshold = objops_distance_int(&centre, &next, &a, kUnitMetre, 0, nullptr, 0) / 2;
  DPoint ll;
  xform_int_to_lonlat(&centre, &ll, &a, 1);
  DPoint shifted[2];
  datum_shift_points(&ll, &a.def.datum, &a.ellipsoid, &shifted[0], &b.def.datum, &b.ellipsoid, 1);
  datum_shift_7param(&ll, &a.def.datum, &a.ellipsoid, &shifted[1], &b.def.datum, &b.ellipsoid, 1);
  for (const DPoint& s : shifted) {
    const double metres = objops_distance(&ll, &s, &a, kUnitMetre, kUnitDegree, 0, nullptr, 0);
    if (!(metres < threshold)) return false;
  }
  return true;
}

void set_copies(CoordConv* c) {
  c->fwd_points = c->inv_points = c->dev_to_map_points = c->map_to_dev_points = copy_points;
  c->fwd_rect = c->inv_rect = c->dev_to_map_rect = c->map_to_dev_rect = copy_rect;
}

}  // namespace

void conv_setup(CoordConv* conv, const CoordXform* from, const CoordXform* to) {
  const CoordXform f = *from, t = *to;  // either may live inside conv
  std::memset(conv, 0, sizeof *conv);
  const bool from_dev = f.flags & XFORM_DEVICE, to_dev = t.flags & XFORM_DEVICE;
  const bool swapped = to_dev && !from_dev;
  conv->side_a = swapped ? t : f;
  conv->side_b = swapped ? f : t;
  const bool device_pair = from_dev != to_dev;
  const CoordXform* a = &conv->side_a;
  const CoordXform* b = &conv->side_b;
  if ((a->flags & XFORM_NO_DATUM) || (b->flags & XFORM_NO_DATUM) || datum_equal(&a->def.datum, &b->def.datum))
    conv->flags |= CONV_SKIP_DATUM;
  else if (device_pair && device_shift_below_half_pixel(conv))
    conv->flags |= CONV_SKIP_DATUM;
  const int16_t ign = (conv->flags & CONV_SKIP_DATUM) ? 1 : 0;
  if (xform_same_projection(a, b, ign)) conv->flags |= CONV_SKIP_PROJECTION;
  if (xform_same_coordsys(a, b, ign)) conv->flags |= CONV_SKIP_DEF_AFFINE;
  const bool same_int = xform_same_int_space(a, b, ign);
  if (same_int) conv->flags |= CONV_SKIP_INT_AFFINE;
  if (xform_pair_is_linear(a, b, ign, same_int ? 1 : 0)) conv->flags |= CONV_LINEAR;
  set_copies(conv);
  if (!device_pair) {
    if (xform_equal(a, b)) {
      conv->flags |= CONV_IDENTICAL;
      return;
    }
    conv->fwd_points = pipe_ab_points;
    conv->fwd_rect = pipe_ab_rect;
    conv->inv_points = pipe_ba_points;
    conv->inv_rect = pipe_ba_rect;
    return;
  }
  if (conv->flags & CONV_LINEAR) {
    setup_linear_device(conv);
  } else {
    conv->dev_to_map_points = pipe_ab_points;
    conv->dev_to_map_rect = pipe_ab_rect;
    conv->map_to_dev_points = pipe_ba_points;
    conv->map_to_dev_rect = pipe_ba_rect;
  }
  conv->flags &= ~CONV_IDENTICAL;
  if (swapped) {
    conv->fwd_points = conv->map_to_dev_points;
    conv->fwd_rect = conv->map_to_dev_rect;
    conv->inv_points = conv->dev_to_map_points;
    conv->inv_rect = conv->dev_to_map_rect;
  } else {
    conv->fwd_points = conv->dev_to_map_points;
    conv->fwd_rect = conv->dev_to_map_rect;
    conv->inv_points = conv->map_to_dev_points;
    conv->inv_rect = conv->map_to_dev_rect;
  }
}

void conv_setup_identity(CoordConv* conv) {
  CoordXform xf;
  xform_default_nonearth(&xf);
  conv_setup(conv, &xf, &xf);
}

void conv_setup_rects(CoordConv* conv, const IntRect* a, const IntRect* b) {
  const IntRect ra = *a, rb = *b;
  std::memset(conv, 0, sizeof *conv);
  conv->flags = CONV_SKIP_DATUM | CONV_SKIP_PROJECTION | CONV_SKIP_DEF_AFFINE | CONV_SKIP_INT_AFFINE;
  if (std::memcmp(&ra, &rb, sizeof ra) == 0) conv->flags |= CONV_IDENTICAL;
  auto span = [](int32_t lo, int32_t hi) {
    const double d = double(hi) - double(lo);
    return d == 0 ? 1.0 : d;
  };
  conv->lin_scale_x = span(ra.x1, ra.x2) / span(rb.x1, rb.x2);
  conv->lin_scale_y = span(ra.y1, ra.y2) / span(rb.y1, rb.y2);
  conv->lin_offset_x = ra.x1 - rb.x1 * conv->lin_scale_x;
  conv->lin_offset_y = ra.y1 - rb.y1 * conv->lin_scale_y;
  conv->fwd_points = conv->dev_to_map_points = rects_fwd_points;
  conv->inv_points = conv->map_to_dev_points = rects_inv_points;
  conv->fwd_rect = conv->dev_to_map_rect = rects_fwd_rect;
  conv->inv_rect = conv->map_to_dev_rect = rects_inv_rect;
}

void conv_make_linear(CoordConv* conv, const IntRect* map_rect) {
  if (conv->flags & CONV_LINEAR) return;
  const IntRect map = *map_rect;
  IntRect device;
  conv_int_rect_via(&map, &device, conv, conv->map_to_dev_points, conv->map_to_dev_rect);
  conv_setup_rects(conv, &device, &map);
}

void conv_pan(CoordConv* conv, double dx, double dy) {
  CoordXform* target = (conv->side_a.flags & XFORM_DEVICE) ? &conv->side_a : &conv->side_b;
  xform_pan(target, dx, dy);
  if (conv->flags & CONV_IDENTICAL) {
    const CoordXform a = conv->side_a, b = conv->side_b;
    conv_setup(conv, &a, &b);
  }
}

int16_t conv_is_linear(const CoordConv* conv) { return (conv->flags & CONV_LINEAR) ? 1 : 0; }
int16_t conv_is_identity(const CoordConv* conv) { return (conv->flags & CONV_IDENTICAL) ? 1 : 0; }

// ---- wrappers -----------------------------------------------------------------

// One wrapper: the slot with the input and output forms of its name.
#define CONV_POINTS(name, slot, In, Out, in_int, in_d, out_int, out_d)   \
  void name(const In* in, Out* out, const CoordConv* c, int32_t n) {     \
    c->slot(in_int, in_d, out_int, out_d, c, n);                         \
  }
#define CONV_RECT(name, slot, In, Out, in_int, in_d, out_int, out_d) \
  void name(const In* in, Out* out, const CoordConv* c) { c->slot(in_int, in_d, out_int, out_d, c); }
#define CONV_FORMS(macro, base, slot, Int, Dbl)                                     \
  macro(base, slot, Int, Int, in, nullptr, out, nullptr)                            \
  macro(base##_double, slot, Dbl, Dbl, nullptr, in, nullptr, out)                   \
  macro(base##_double_to_int, slot, Dbl, Int, nullptr, in, out, nullptr)            \
  macro(base##_int_to_double, slot, Int, Dbl, in, nullptr, nullptr, out)

CONV_POINTS(conv_fwd_int, fwd_points, IntPoint, IntPoint, in, nullptr, out, nullptr)
CONV_POINTS(conv_fwd_double, fwd_points, DPoint, DPoint, nullptr, in, nullptr, out)
CONV_POINTS(conv_fwd_double_to_int, fwd_points, DPoint, IntPoint, nullptr, in, out, nullptr)
CONV_POINTS(conv_fwd_int_to_double, fwd_points, IntPoint, DPoint, in, nullptr, nullptr, out)
CONV_POINTS(conv_inv_int, inv_points, IntPoint, IntPoint, in, nullptr, out, nullptr)
CONV_POINTS(conv_inv_double, inv_points, DPoint, DPoint, nullptr, in, nullptr, out)
CONV_POINTS(conv_inv_double_to_int, inv_points, DPoint, IntPoint, nullptr, in, out, nullptr)
CONV_POINTS(conv_inv_int_to_double, inv_points, IntPoint, DPoint, in, nullptr, nullptr, out)
CONV_RECT(conv_fwd_rect_int, fwd_rect, IntRect, IntRect, in, nullptr, out, nullptr)
CONV_RECT(conv_fwd_rect_double, fwd_rect, DRect, DRect, nullptr, in, nullptr, out)
CONV_RECT(conv_fwd_rect_double_to_int, fwd_rect, DRect, IntRect, nullptr, in, out, nullptr)
CONV_RECT(conv_fwd_rect_int_to_double, fwd_rect, IntRect, DRect, in, nullptr, nullptr, out)
CONV_RECT(conv_inv_rect_int, inv_rect, IntRect, IntRect, in, nullptr, out, nullptr)
CONV_RECT(conv_inv_rect_double, inv_rect, DRect, DRect, nullptr, in, nullptr, out)
CONV_RECT(conv_inv_rect_double_to_int, inv_rect, DRect, IntRect, nullptr, in, out, nullptr)
CONV_RECT(conv_inv_rect_int_to_double, inv_rect, IntRect, DRect, in, nullptr, nullptr, out)
CONV_FORMS(CONV_POINTS, conv_device_to_map, dev_to_map_points, IntPoint, DPoint)
CONV_FORMS(CONV_RECT, conv_device_to_map_rect, dev_to_map_rect, IntRect, DRect)
CONV_FORMS(CONV_POINTS, conv_map_to_device, map_to_dev_points, IntPoint, DPoint)
CONV_FORMS(CONV_RECT, conv_map_to_device_rect, map_to_dev_rect, IntRect, DRect)
#undef CONV_FORMS
#undef CONV_RECT
#undef CONV_POINTS

void conv_device_to_map_copied(const IntPoint* in, IntPoint* out, const CoordConv* c, int32_t n) {
  if (in != out && n > 0) std::memmove(out, in, sizeof(IntPoint) * static_cast<size_t>(n));
  c->dev_to_map_points(out, nullptr, out, nullptr, c, n);
}

void conv_device_to_map_rect_copied(const IntRect* in, IntRect* out, const CoordConv* c) {
  *out = *in;
  c->dev_to_map_rect(out, nullptr, out, nullptr, c);
}

void conv_map_to_device_clamped(const IntPoint* in, IntPoint* out, const CoordConv* c, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    IntPoint p;
    c->map_to_dev_points(&in[i], nullptr, &p, nullptr, c, 1);
    point_array_clamp_device(&p, &out[i], 1, nullptr, 0);
  }
}

void conv_map_to_device_double_to_device(const DPoint* in, IntPoint* out, const CoordConv* c, int32_t n) {
  c->map_to_dev_points(nullptr, in, out, nullptr, c, n);
  point_array_clamp_device(out, out, n, nullptr, 0);
}

void conv_map_to_device_rect_double_to_device(const DRect* in, IntRect* out, const CoordConv* c) {
  IntRect r;
  c->map_to_dev_rect(nullptr, in, &r, nullptr, c);
  rect_clamp_device(&r, out, 0);
}
namespace {
double seg_len(const DPoint& a, const DPoint& b) { return std::hypot(b.x - a.x, b.y - a.y); }
}  // namespace

void conv_drect_via(DRect* out, const CoordConv* c, const DRect* in, ConvPointsFn points, ConvRectFn rect) {
  if (c->flags & CONV_LINEAR) {
    rect(nullptr, in, nullptr, out, c);
    return;
  }
  DPoint p[5];
  drect_corners(in, p);
  drect_center(in, &p[4]);
  points(nullptr, p, nullptr, p, c, 5);
  const double w = (p[0].x == p[1].x && p[2].x == p[3].x) ? std::fabs(p[3].x - p[0].x)
                                                          : (seg_len(p[1], p[2]) + seg_len(p[0], p[3])) / 2;
  const double h = (p[0].y == p[3].y && p[1].y == p[2].y) ? std::fabs(p[1].y - p[0].y)
                                                          : (seg_len(p[2], p[3]) + seg_len(p[0], p[1])) / 2;
  drect_around_point(&p[4], out, w / 2, h / 2);
}

void conv_int_rect_via(const IntRect* in, IntRect* out, const CoordConv* c, ConvPointsFn points, ConvRectFn rect) {
  if (c->flags & CONV_LINEAR) {
    rect(in, nullptr, out, nullptr, c);
    return;
  }
  IntPoint p[5];
  rect_corners(in, p);
  rect_center(in, &p[4]);
  points(p, nullptr, p, nullptr, c, 5);
  auto len = [](const IntPoint& a, const IntPoint& b) {
    const double d = std::hypot(double(b.x) - a.x, double(b.y) - a.y);
    return static_cast<int32_t>(std::min(d, 2147483647.0));
  };
  const int32_t w = (p[0].x == p[1].x && p[2].x == p[3].x)
                        ? len(p[0], IntPoint{p[3].x, p[0].y})
                        : num_add_sat(len(p[1], p[2]), len(p[0], p[3])) / 2;
  const int32_t h = (p[0].y == p[3].y && p[1].y == p[2].y)
                        ? len(p[0], IntPoint{p[0].x, p[1].y})
                        : num_add_sat(len(p[2], p[3]), len(p[0], p[1])) / 2;
  rect_around_point(&p[4], out, w / 2, h / 2);
}

void conv_device_rect_to_map(const DRect* device, IntRect* out, const CoordConv* c) {
  DRect r;
  conv_drect_via(&r, c, device, c->dev_to_map_points, c->dev_to_map_rect);
  drect_to_rect(&r, out);
}

void conv_map_rect_to_device(const IntRect* map, DRect* out, const CoordConv* c) {
  const DRect r{double(map->x1), double(map->y1), double(map->x2), double(map->y2)};
  conv_drect_via(out, c, &r, c->map_to_dev_points, c->map_to_dev_rect);
}

void conv_map_rect_to_device_clamped(const IntRect* map, IntRect* out, const CoordConv* c) {
  IntRect r;
  c->map_to_dev_rect(map, nullptr, &r, nullptr, c);
  rect_clamp_device(&r, out, 0);
}

namespace {
int32_t half_abs(int64_t v) { return static_cast<int32_t>(std::min<int64_t>(std::llabs(v) / 2, INT32_MAX)); }
}  // namespace

int32_t conv_device_dx_to_map(int32_t length, const CoordConv* c) {
  const IntPoint m = device_centre(c);
  const int64_t l = std::llabs(int64_t(length));
  const IntRect seg{static_cast<int32_t>(std::max<int64_t>(m.x - l, INT32_MIN)), m.y,
                    static_cast<int32_t>(std::min<int64_t>(m.x + l, INT32_MAX)), m.y};
  IntRect r;
  c->dev_to_map_rect(&seg, nullptr, &r, nullptr, c);
  return half_abs(int64_t(r.x2) - r.x1);
}

int32_t conv_device_dy_to_map(int32_t length, const CoordConv* c) {
  const IntPoint m = device_centre(c);
  const int64_t l = std::llabs(int64_t(length));
  const IntRect seg{m.x, static_cast<int32_t>(std::max<int64_t>(m.y - l, INT32_MIN)), m.x,
                    static_cast<int32_t>(std::min<int64_t>(m.y + l, INT32_MAX))};
  IntRect r;
  c->dev_to_map_rect(&seg, nullptr, &r, nullptr, c);
  return half_abs(int64_t(r.y2) - r.y1);
}

int32_t conv_map_dx_to_device(int32_t length, const CoordConv* c) {
  IntPoint m = device_centre(c);
  c->dev_to_map_points(&m, nullptr, &m, nullptr, c, 1);
  const int64_t l = std::llabs(int64_t(length));
  const IntRect seg{static_cast<int32_t>(std::max<int64_t>(m.x - l, INT32_MIN)), m.y,
                    static_cast<int32_t>(std::min<int64_t>(m.x + l, INT32_MAX)), m.y};
  IntRect r;
  c->map_to_dev_rect(&seg, nullptr, &r, nullptr, c);
  return std::max(1, half_abs(int64_t(r.x2) - r.x1));
}

int32_t conv_map_dy_to_device(int32_t length, const CoordConv* c) {
  IntPoint m = device_centre(c);
  c->dev_to_map_points(&m, nullptr, &m, nullptr, c, 1);
  const int64_t l = std::llabs(int64_t(length));
  const IntRect seg{m.x, static_cast<int32_t>(std::max<int64_t>(m.y - l, INT32_MIN)), m.x,
                    static_cast<int32_t>(std::min<int64_t>(m.y + l, INT32_MAX))};
  IntRect r;
  c->map_to_dev_rect(&seg, nullptr, &r, nullptr, c);
  return std::max(1, half_abs(int64_t(r.y2) - r.y1));
}

// ---- affines ------------------------------------------------------------------

int16_t util_affine_invert(double record[12]) {
  const double a = record[6], b = record[7], c = record[8], d = record[9], e = record[10], f = record[11];
  const double det = a * e - d * b;
  if (det == 0 || !std::isfinite(det)) return 0;
  record[0] = e / det;
  record[1] = -b / det;
  record[2] = (b * f - e * c) / det;
  record[3] = -d / det;
  record[4] = a / det;
  record[5] = (d * c - a * f) / det;
  return 1;
}

int16_t util_affine_fit(const AffineControlPoint* points, int32_t count, double record[12]) {
  if (count < 3) return 0;
  double mx = 0, my = 0;
  for (int32_t i = 0; i < count; ++i) {
    DPoint p = points[i].source;
    xform_clamp_point(&p);
    mx += p.x;
    my += p.y;
  }
  mx /= count;
  my /= count;
  double suv = 0, svv = 0, suu = 0, sux = 0, svx = 0, suy = 0, svy = 0, sx = 0, sy = 0;
  for (int32_t i = 0; i < count; ++i) {
    DPoint p = points[i].source;
    xform_clamp_point(&p);
    const double u = p.x - mx, v = p.y - my;
    const double rx = points[i].target.x - p.x, ry = points[i].target.y - p.y;
    suv += u * v;
    svv += v * v;
    suu += u * u;
    sux += rx * u;
    svx += rx * v;
    suy += ry * u;
    svy += ry * v;
    sx += rx;
    sy += ry;
  }
  if (svv == 0 || suu == 0) return 0;
  const double k1 = suv / svv, k2 = suv / suu;
  const double den_d = suu - k1 * suv, den_b = svv - k2 * suv;
  if (den_d == 0 || den_b == 0) return 0;
  const double dd = (suy - k1 * svy) / den_d;
  const double bb = (svx - k2 * sux) / den_b;
  const double ee = svy / svv + 1 - k1 * dd;
  const double aa = sux / suu + 1 - k2 * bb;
  const double cc = sx / count + mx - aa * mx - bb * my;
  const double ff = sy / count + my - ee * my - dd * mx;
  double* f = record + 6;
  f[0] = aa;
  f[1] = bb;
  f[2] = cc;
  f[3] = dd;
  f[4] = ee;
  f[5] = ff;
  return util_affine_invert(record);
}
