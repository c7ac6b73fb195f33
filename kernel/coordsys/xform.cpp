// Transforms: construction, the integer space, accessors, comparisons,
// clamps, display precision, and the conversion stages with the chains
// built from them.
//
// Invariants: every constructor clears the record first (transforms are
// compared byte for byte); a stage that is not in force is a copy, and a
// copy onto the same array does nothing; values reaching the scale stage are
// held within +-1e50 (NaN becomes 0), and integers within +-1e9.
#include "kernel/coordsys/xform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/proj.h"
#include "kernel/coordsys/unit.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/num.h"

namespace {

constexpr int32_t kChunk = 256;  // points per pass of the chains that round

int16_t sign_x_of(int16_t code) { return code == 2 || code == 3 ? -1 : 1; }
int16_t sign_y_of(int16_t code) { return code == 3 || code == 4 ? -1 : 1; }

double axis_sign_x(const CoordXform* xf) {
  return sign_x_of(xform_int_orientation(xf)) * sign_x_of(xform_coord_orientation(xf));
}
double axis_sign_y(const CoordXform* xf) {
  return sign_y_of(xform_int_orientation(xf)) * sign_y_of(xform_coord_orientation(xf));
}

void copy_points(const DPoint* in, DPoint* out, int32_t count) {
  if (in != out && count > 0) std::memmove(out, in, sizeof(DPoint) * static_cast<size_t>(count));
}

void affine_points(const double* m, const DPoint* in, DPoint* out, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const double x = in[i].x, y = in[i].y;
    out[i] = DPoint{m[0] * x + m[1] * y + m[2], m[3] * x + m[4] * y + m[5]};
  }
}

// The four corners through the affine, their bounding box.
void affine_rect(const double* m, const DRect* in, DRect* out) {
  DPoint c[4];
  drect_corners(in, c);
  affine_points(m, c, c, 4);
  drect_set_empty(out);
  for (const DPoint& p : c) drect_add_point(out, &p);
}

void copy_rect(const DRect* in, DRect* out) {
  *out = *in;
  drect_normalise(out);
}

void int_rect_to_drect(const IntRect* in, DRect* out) {
  *out = DRect{double(in->x1), double(in->y1), double(in->x2), double(in->y2)};
}

bool is_latlong(const CoordXform* xf) { return xf->type == PROJ_LATLONG; }

}  // namespace

// ---- construction -------------------------------------------------------------

void xform_init(CoordXform* xform, int32_t type, const CoordSysDef* def) {
  CoordSysDef copy;
  std::memcpy(&copy, def, sizeof copy);  // def may live inside xform
  std::memset(xform, 0, sizeof *xform);
  xform->type = static_cast<int16_t>(type);
  std::memcpy(&xform->def, &copy, sizeof copy);
  if (type == 0 || copy.datum.ellipsoid == 29) {
    xform->flags |= XFORM_NO_DATUM;
    ellipsoid_params(29, &xform->ellipsoid);
  } else {
    ellipsoid_params(copy.datum.ellipsoid, &xform->ellipsoid);
  }
  xform_set_projection(xform);
}

void xform_init_scaled(CoordXform* xform, int32_t type, const CoordSysDef* def, double sx, double sy, double ox,
                       double oy) {
  xform_init(xform, type, def);
  xform_set_scale(xform, sx, sy, ox, oy);
}

void xform_init_bounds(CoordXform* xform, int32_t type, const CoordSysDef* def, const DRect* bounds) {
  const DRect b = *bounds;
  xform_init(xform, type, def);
  xform_set_bounds(xform, &b);
}

void xform_init_info(CoordXform* xform, const void* type_and_def, const DRect* bounds) {
  int16_t type;
  CoordSysDef def;
  std::memcpy(&type, type_and_def, sizeof type);
  std::memcpy(&def, static_cast<const unsigned char*>(type_and_def) + offsetof(CoordXform, def), sizeof def);
  if (type == PROJ_LATLONG) def.int_orientation = 2;
  DRect b;
  if (bounds != nullptr)
    b = *bounds;
  else
    coordsys_default_bounds(type, &def, &b);
  xform_init(xform, type, &def);
  xform_set_bounds(xform, &b);
}

void xform_init_like(CoordXform* xform, const CoordXform* source, const DRect* rect) {
  const CoordXform src = *source;
  CoordSysDef def = src.def;
  if (is_latlong(&src)) {
    double lat = 0;
    if (rect != nullptr) {
      DPoint c;
      drect_center(rect, &c);
      xform_plane_to_lonlat(&c, &c, &src, 1);
      lat = c.y;
    }
    def.params[0] = lat;
  }
  xform_init(xform, src.type, &def);
  if (src.flags & XFORM_INT_AFFINE) xform_set_int_affine(xform, src.int_affine, 1);
}

void xform_init_device(CoordXform* xform, int32_t type, const CoordSysDef* def, const IntRect* device,
                       const DRect* rect) {
  xform_init(xform, type, def);
  xform_fit_device(xform, device, rect);
}

void xform_init_device_zoom(CoordXform* xform, int32_t type, const CoordSysDef* def, const IntRect* device,
                            const DPoint* centre, double width, int16_t unit) {
  xform_init(xform, type, def);
  xform_fit_device_zoom(xform, device, centre, width, unit);
}

void xform_default_nonearth(CoordXform* xform) {
  CoordSysDef def;
  coordsys_clear(&def);
  def.ne.ne_fixed_aspect = 1;
  def.ne.ne_int_orientation = 1;
  def.ne.ne_coord_orientation = 1;
  def.ne.ne_units = 0;
  xform_init(xform, PROJ_NONEARTH, &def);
  xform_set_scale(xform, 1, 1, 0, 0);
}

void xform_default_latlong(CoordXform* xform) {
  CoordSysDef def;
  coordsys_default_latlong(&def);
  xform_init(xform, PROJ_LATLONG, &def);
  xform_set_scale(xform, 1000000, 1000000, 0, 0);
}

// ---- integer space ------------------------------------------------------------

void xform_set_scale(CoordXform* xform, double sx, double sy, double ox, double oy) {
  xform->flags &= ~(XFORM_DEVICE | XFORM_INT_AFFINE);
  const double gx = axis_sign_x(xform), gy = axis_sign_y(xform);
  xform->scale_x = xform_clamp_magnitude(gx * sx);
  xform->scale_y = xform_clamp_magnitude(gy * sy);
  xform->offset_x = gx * ox;
  xform->offset_y = gy * oy;
}

void xform_set_bounds(CoordXform* xform, const DRect* bounds) {
  DPoint a{bounds->x1, bounds->y1}, b{bounds->x2, bounds->y2};
  xform_clamp_point(&a);
  xform_clamp_point(&b);
  const double ex = xform_clamp_magnitude(b.x - a.x);
  const double ey = xform_clamp_magnitude(b.y - a.y);
  const double sx = 2000000000.0 / ex, sy = 2000000000.0 / ey;
  const double ox = (a.x + b.x) * sx / -2.0, oy = (a.y + b.y) * sy / -2.0;
  xform_set_scale(xform, sx, sy, ox, oy);
}

namespace {
int32_t clamp_i32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, -2147483647, 2147483647));
}
}  // namespace

void xform_set_device_rect(const IntRect* device, CoordXform* xform) {
  xform->dev_x = device->x1;
  xform->dev_y = device->y2;
  int32_t w = clamp_i32(int64_t(device->x2) - device->x1);
  int32_t h = clamp_i32(int64_t(device->y1) - device->y2);
  if (w == 0) w = 1;
  if (h == 0) h = -1;
  xform->dev_w = w;
  xform->dev_h = h;
  xform->dev_guard_x = 1073741823 / std::abs(w);
  xform->dev_guard_y = 1073741823 / std::abs(h);
}

namespace {
// Scales and offsets of a device transform from its window.
void device_scales(CoordXform* xform) {
  xform->scale_x = xform_clamp_magnitude(xform->dev_w / xform->window_w);
  xform->scale_y = xform_clamp_magnitude(xform->dev_h / xform->window_h);
  xform->offset_x = xform->dev_x - xform->scale_x * xform->window_x;
  xform->offset_y = xform->dev_y - xform->scale_y * xform->window_y;
}
}  // namespace

void xform_fit_device(CoordXform* xform, const IntRect* device, const DRect* rect) {
  DPoint a{rect->x1, rect->y1}, b{rect->x2, rect->y2};
  xform_clamp_point(&a);
  xform_clamp_point(&b);
  double x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
  double ex = xform_clamp_magnitude(x2 - x1);
  double ey = xform_clamp_magnitude(y2 - y1);
  const int16_t c = xform_coord_orientation(xform);
  if (c == 2 || c == 3) {
    std::swap(x1, x2);
    ex = -ex;
  }
  if (c == 3 || c == 4) {
    std::swap(y1, y2);
    ey = -ey;
  }
  xform->flags |= XFORM_DEVICE;
  xform_set_device_rect(device, xform);
  const double W = xform->dev_w, H = xform->dev_h;
  if (xform->type == PROJ_NONEARTH && xform->def.ne.ne_fixed_aspect == 0) {
    xform->window_w = ex;
    xform->window_h = ey;
    xform->window_x = x1;
    xform->window_y = y1;
  } else {
    const double r = xform_device_aspect(xform);
    const double t1 = H * ex, t2 = W * ey / r;
    if (std::fabs(t1) > std::fabs(t2)) {
      xform->window_w = ex;
      xform->window_h = std::copysign(xform_clamp_magnitude(std::fabs(t1 * r / W)), ey);
    } else {
      xform->window_h = ey;
      xform->window_w = std::copysign(xform_clamp_magnitude(std::fabs(t2 / H)), ex);
    }
    xform->window_x = x1 - (xform->window_w - ex) / 2;
    xform->window_y = y1 - (xform->window_h - ey) / 2;
  }
  device_scales(xform);
}

void xform_fit_device_zoom(CoordXform* xform, const IntRect* device, const DPoint* centre, double width,
                           int16_t unit) {
  DPoint c = *centre;
  xform_clamp_point(&c);
  const int16_t o = xform_coord_orientation(xform);
  const double gx = sign_x_of(o), gy = sign_y_of(o);
  xform->flags |= XFORM_DEVICE;
  xform_set_device_rect(device, xform);
  const double k = xform_plane_point_scale(xform, &c);
  double w;
  unit_convert(&w, xform_coord_units(xform), gx * std::fabs(width) * k, unit);
  xform->window_w = xform_clamp_magnitude(w);
  const double r = xform_device_aspect(xform);
  xform->window_h = xform_clamp_magnitude(gy * std::fabs(xform->dev_h * r * xform->window_w / xform->dev_w));
  xform->window_x = c.x - xform->window_w / 2;
  xform->window_y = c.y - xform->window_h / 2;
  device_scales(xform);
}

void xform_set_int_affine(CoordXform* xform, const double affine[12], int16_t device) {
  std::memmove(xform->int_affine, affine, sizeof xform->int_affine);
  xform->flags |= XFORM_INT_AFFINE;
  if (device) {
    xform->flags |= XFORM_DEVICE;
    const IntRect unit_rect{0, 0, 1, 1};
    xform_set_device_rect(&unit_rect, xform);
    xform->window_x = xform->dev_x;
    xform->window_y = xform->dev_y;
    xform->window_w = xform->dev_w;
    xform->window_h = xform->dev_h;
  } else {
    xform->flags &= ~XFORM_DEVICE;
  }
  xform->scale_x = 1;
  xform->scale_y = 1;
  xform->offset_x = 0;
  xform->offset_y = 0;
}

void xform_pan(CoordXform* xform, double dx, double dy) {
  if (xform->flags & XFORM_DEVICE) {
    xform->dev_x = clamp_i32(int64_t(xform->dev_x) + int64_t(std::clamp(dx, -2e9, 2e9)));
    xform->dev_y = clamp_i32(int64_t(xform->dev_y) + int64_t(std::clamp(dy, -2e9, 2e9)));
    xform->offset_x = xform->dev_x - xform->window_x * xform->scale_x;
    xform->offset_y = xform->dev_y - xform->window_y * xform->scale_y;
  } else {
    xform->offset_x += dx;
    xform->offset_y += dy;
  }
}

// ---- accessors ----------------------------------------------------------------

int16_t xform_projection_type(const CoordXform* xform) { return xform->type; }

void xform_get_coordsys(const CoordXform* xform, CoordSysDef* out) { std::memmove(out, &xform->def, sizeof *out); }

int16_t xform_get_int_affine(const CoordXform* xform, double out[12]) {
  if (out != nullptr) std::memmove(out, xform->int_affine, sizeof xform->int_affine);
  return (xform->flags & XFORM_INT_AFFINE) ? 1 : 0;
}

void xform_get_params(const CoordXform* xform, int16_t* type, CoordSysDef* def, double* sx, double* sy, double* ox,
                      double* oy) {
  const double gx = axis_sign_x(xform), gy = axis_sign_y(xform);
  if (type) *type = xform->type;
  if (def) std::memmove(def, &xform->def, sizeof *def);
  if (sx) *sx = gx * xform->scale_x;
  if (sy) *sy = gy * xform->scale_y;
  if (ox) *ox = gx * xform->offset_x;
  if (oy) *oy = gy * xform->offset_y;
}

int16_t xform_projection_units(const CoordXform* xform) {
  if (xform->type == PROJ_NONEARTH) return xform->def.ne.ne_units;
  if (xform->type == PROJ_LATLONG) return kUnitDegree;
  return xform->def.units;
}

int16_t xform_units(const CoordXform* xform) {
  if (xform->def.flags & COORDSYS_AFFINE) return xform->def.affine_units;
  return xform_projection_units(xform);
}

int16_t xform_coord_units(const CoordXform* xform) { return xform_units(xform); }

int16_t xform_int_orientation(const CoordXform* xform) {
  if (xform->flags & XFORM_DEVICE) return 4;
  if (xform->type == PROJ_NONEARTH) return xform->def.ne.ne_int_orientation;
  if (xform->type == PROJ_LATLONG) return xform->def.int_orientation;
  return 1;
}

int16_t xform_coord_orientation(const CoordXform* xform) {
  if (xform->flags & XFORM_INT_AFFINE) return 4;
  if (xform->type == PROJ_NONEARTH) return xform->def.ne.ne_coord_orientation;
  return 1;
}

int16_t xform_is_layout(const CoordXform* xform) {
  return xform->type == PROJ_NONEARTH && xform->def.ne.ne_coord_orientation == 4 ? 1 : 0;
}

int16_t xform_get_mz_flag(const CoordXform* xform) { return xform->def.support_mz; }
void xform_set_mz_flag(CoordXform* xform, int16_t flag) { xform->def.support_mz = flag; }

void xform_bounds_in_units(const CoordXform* xform, DRect* out, int16_t unit) {
  const IntRect whole{-1000000000, -1000000000, 1000000000, 1000000000};
  DRect r;
  xform_int_rect_to_xy(&whole, &r, xform);
  unit_convert_bounds(out, unit, &r, xform_units(xform), xform);
}

// ---- comparisons --------------------------------------------------------------

int16_t xform_equal(const CoordXform* a, const CoordXform* b) {
  return std::memcmp(a, b, sizeof *a) == 0 ? 1 : 0;
}

namespace {
int16_t same_defs(int16_t type_a, const CoordSysDef* a, const CoordXform* xa, int16_t type_b, const CoordSysDef* b,
                  const CoordXform* xb, int16_t ignore_datum) {
  const bool no_datum = ignore_datum || (xa->flags & XFORM_NO_DATUM) || (xb->flags & XFORM_NO_DATUM);
  return coordsys_def_compare(type_a, a, type_b, b, no_datum ? 1 : 0, 1, 1);
}
}  // namespace

int16_t xform_same_coordsys(const CoordXform* a, const CoordXform* b, int16_t ignore_datum) {
  return same_defs(a->type, &a->def, a, b->type, &b->def, b, ignore_datum);
}

int16_t xform_same_projection(const CoordXform* a, const CoordXform* b, int16_t ignore_datum) {
  CoordSysDef d;
  std::memcpy(&d, &a->def, sizeof d);
  d.flags = (d.flags & ~COORDSYS_AFFINE) | (b->def.flags & COORDSYS_AFFINE);
  std::memcpy(d.affine, b->def.affine, sizeof d.affine);
  std::memcpy(d.affine_inverse, b->def.affine_inverse, sizeof d.affine_inverse);
  d.affine_units = b->def.affine_units;
  return same_defs(a->type, &d, a, b->type, &b->def, b, ignore_datum);
}

int16_t xform_same_int_space(const CoordXform* a, const CoordXform* b, int16_t ignore_datum) {
  if (!xform_same_coordsys(a, b, ignore_datum)) return 0;
  const bool ia = a->flags & XFORM_INT_AFFINE, ib = b->flags & XFORM_INT_AFFINE;
  if (!ia && !ib) return 1;
  return ia && ib && std::memcmp(a->int_affine, b->int_affine, sizeof a->int_affine) == 0 ? 1 : 0;
}

int16_t affine_is_axis_aligned(const double* affine) { return affine[1] == 0 && affine[3] == 0 ? 1 : 0; }

int16_t xform_int_affine_axis_aligned(const CoordXform* xform) {
  return xform != nullptr && affine_is_axis_aligned(xform->int_affine) ? 1 : 0;
}

int16_t xform_pair_is_linear(const CoordXform* a, const CoordXform* b, int16_t ignore_datum, int16_t same_int_space) {
  if (same_int_space) return 1;
  if (!xform_same_coordsys(a, b, ignore_datum)) return 0;
  if ((a->flags & XFORM_INT_AFFINE) && !xform_int_affine_axis_aligned(a)) return 0;
  if ((b->flags & XFORM_INT_AFFINE) && !xform_int_affine_axis_aligned(b)) return 0;
  return 1;
}

// ---- clamps and small functions ----------------------------------------------

double xform_clamp_magnitude(double v) {
  if (std::isnan(v)) return 1e-20;
  if (v >= 0 && v < 1e-20) v = 1e-20;
  if (v < 0 && v > -1e-20) v = -1e-20;
  return std::clamp(v, -1e20, 1e20);
}

namespace {
double clamp_coord50(double v) {
  if (std::isnan(v) || std::fabs(v) < 1e-50) return 0;
  return std::clamp(v, -1e50, 1e50);
}
}  // namespace

void xform_clamp_point(DPoint* point) {
  point->x = clamp_coord50(point->x);
  point->y = clamp_coord50(point->y);
}

void xform_clamp_rect(DRect* rect) {
  rect->x1 = clamp_coord50(rect->x1);
  rect->y1 = clamp_coord50(rect->y1);
  rect->x2 = clamp_coord50(rect->x2);
  rect->y2 = clamp_coord50(rect->y2);
}

void proj_to_radians(const DPoint* in, DPoint* out) {
  *out = DPoint{std::clamp(in->x, -360.0, 360.0) * (kProjPi / 180.0),
                std::clamp(in->y, -90.0, 90.0) * (kProjPi / 180.0)};
}

void proj_from_radians(const DPoint* in, DPoint* out) {
  *out = DPoint{std::clamp(in->x * (180.0 / kProjPi), -360.0, 360.0),
                std::clamp(in->y * (180.0 / kProjPi), -90.0, 90.0)};
}

double xform_device_aspect(const CoordXform* xform) {
  int32_t dpi_x = 96, dpi_y = 96;
  kernel_display_info(nullptr, nullptr, &dpi_x, &dpi_y);
  if (dpi_x <= 0) dpi_x = 96;
  if (dpi_y <= 0) dpi_y = 96;
  double r = double(dpi_x) / double(dpi_y);
  if (is_latlong(xform) && !(xform->flags & XFORM_INT_AFFINE) && !(xform->def.flags & COORDSYS_AFFINE))
    r *= xform->proj_const.c[0];
  return r;
}

double xform_point_scale(const CoordXform* xform, const DPoint* point) {
  DPoint ll;
  xform_xy_to_own_lonlat(point, &ll, xform, 1);
  double k = xform->scale_fn != nullptr ? xform->scale_fn(xform, &ll) : 1.0;
  if (!(k >= 0.0001)) k = 0.0001;  // NaN too
  k = std::min(k, 10000.0);
  if (xform->def.flags & COORDSYS_AFFINE) {
    const double a = xform->def.affine[0], d = xform->def.affine[3];
    unit_convert(&k, xform_projection_units(xform), k * std::sqrt(a * a + d * d), xform_units(xform));
  }
  return k;
}

double xform_plane_point_scale(const CoordXform* xform, const DPoint* point) {
  DPoint p;
  xform_int_affine_points(point, &p, xform, 1);
  double k = xform_point_scale(xform, &p);
  if (xform->flags & XFORM_INT_AFFINE) {
    const double a = xform->int_affine[6], d = xform->int_affine[9];
    k *= std::sqrt(a * a + d * d);
  }
  return k;
}

void numfmt_init_coarse(NumFormat* format, int16_t unit) {
  format->kind = unit;
  format->decimals = 50;
  format->significant = 4;
}

double num_round_up_away(double x) { return x > 0 ? std::trunc(x + 0.999) : std::trunc(x - 0.999); }

namespace {
int16_t decimals_for(double step) {
  if (step == 0 || !std::isfinite(step)) return 50;
  const double d = num_round_up_away(-std::log10(std::fabs(step)));
  return static_cast<int16_t>(std::clamp(d, -400.0, 400.0));
}
}  // namespace

namespace {
// Significant digits of a distance or area measured in a mode.
int16_t measure_significant(int16_t mode) { return mode == 1 ? 8 : 4; }

// Decimals and significant digits of a measure v in the format's unit.
void measure_format(NumFormat* format, double v, int16_t significant) {
  format->decimals = decimals_for(v);
  format->significant = v == 0 ? 3 : significant;
}
}  // namespace

void xform_precision_at_mode(const CoordXform* xform, const IntPoint* point, NumFormat* coord, NumFormat* distance,
                             NumFormat* area, int16_t mode) {
  const IntPoint ends[2] = {{point->x, num_add_sat(point->y, -1)}, {point->x, num_add_sat(point->y, 1)}};
  if (coord != nullptr) {
    DPoint xy[2];
    xform_int_to_xy(ends, xy, xform, 2);
    for (DPoint& p : xy) unit_convert_point(&p, coord->kind, &p, xform_units(xform), xform);
    const double h = std::hypot(xy[1].x - xy[0].x, xy[1].y - xy[0].y) / 2;
    int16_t decimals = decimals_for(h);
    if (coord->kind == kUnitDegree && decimals < -1) decimals = -1;
    coord->decimals = decimals;
    coord->significant = h == 0 ? 3 : 10;
  }
  if (distance == nullptr && area == nullptr) return;
  const double d = objops_distance_int(&ends[0], &ends[1], xform, kUnitMile, mode, nullptr, 0) / 2;
  const int16_t significant = measure_significant(mode);
  if (distance != nullptr) {
    double v;
    unit_convert(&v, distance->kind, d, kUnitMile);
    measure_format(distance, v, significant);
  }
  if (area != nullptr) {
    double v;
    unit_convert(&v, area->kind, d * d, kUnitSqMile);
    measure_format(area, v, significant);
  }
}

void xform_precision_at(const CoordXform* xform, const IntPoint* point, NumFormat* coord, NumFormat* distance,
                        NumFormat* area) {
  xform_precision_at_mode(xform, point, coord, distance, area, 0);
}

// ---- stages -------------------------------------------------------------------

void xform_unscale_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double sx = xf->scale_x, sy = xf->scale_y, ox = xf->offset_x, oy = xf->offset_y;
  for (int32_t i = 0; i < count; ++i) out[i] = DPoint{(in[i].x - ox) / sx, (in[i].y - oy) / sy};
}

void xform_unscale_rect(const DRect* in, DRect* out, const CoordXform* xf) {
  *out = DRect{(in->x1 - xf->offset_x) / xf->scale_x, (in->y1 - xf->offset_y) / xf->scale_y,
               (in->x2 - xf->offset_x) / xf->scale_x, (in->y2 - xf->offset_y) / xf->scale_y};
  drect_normalise(out);
}

void xform_int_affine_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  if (xf->flags & XFORM_INT_AFFINE)
    affine_points(xf->int_affine, in, out, count);
  else
    copy_points(in, out, count);
}

void xform_int_affine_rect(const DRect* in, DRect* out, const CoordXform* xf) {
  if (xf->flags & XFORM_INT_AFFINE)
    affine_rect(xf->int_affine, in, out);
  else
    copy_rect(in, out);
}

void xform_int_affine_inv_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  if (xf->flags & XFORM_INT_AFFINE)
    affine_points(xf->int_affine + 6, in, out, count);
  else
    copy_points(in, out, count);
}

void xform_int_affine_inv_rect(const DRect* in, DRect* out, const CoordXform* xf) {
  if (xf->flags & XFORM_INT_AFFINE)
    affine_rect(xf->int_affine + 6, in, out);
  else
    copy_rect(in, out);
}

void xform_def_affine_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  if (xf->def.flags & COORDSYS_AFFINE)
    affine_points(xf->def.affine, in, out, count);
  else
    copy_points(in, out, count);
}

void xform_def_affine_rect(const DRect* in, DRect* out, const CoordXform* xf) {
  if (xf->def.flags & COORDSYS_AFFINE)
    affine_rect(xf->def.affine, in, out);
  else
    copy_rect(in, out);
}

void xform_def_affine_inv_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  if (xf->def.flags & COORDSYS_AFFINE)
    affine_points(xf->def.affine_inverse, in, out, count);
  else
    copy_points(in, out, count);
}

void xform_def_affine_inv_rect(const DRect* in, DRect* out, const CoordXform* xf) {
  if (xf->def.flags & COORDSYS_AFFINE)
    affine_rect(xf->def.affine_inverse, in, out);
  else
    copy_rect(in, out);
}

void xform_forward_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  if (xf->forward_fn != nullptr)
    xf->forward_fn(in, out, xf, count);
  else
    copy_points(in, out, count);
}

void xform_forward_rect(const DRect* in, DRect* out, const CoordXform* xf) {
  if (xf->forward_rect_fn != nullptr)
    xf->forward_rect_fn(in, out, xf);
  else
    copy_rect(in, out);
}

void xform_inverse_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  if (xf->inverse_fn != nullptr)
    xf->inverse_fn(in, out, xf, count);
  else
    copy_points(in, out, count);
}

void xform_inverse_rect(const DRect* in, DRect* out, const CoordXform* xf) {
  if (xf->inverse_rect_fn != nullptr)
    xf->inverse_rect_fn(in, out, xf);
  else
    copy_rect(in, out);
}

namespace {
// Whether lon/lat in the given datum must be shifted into the transform's.
bool datum_in_shifts(const CoordXform* xf, const DatumDef* datum) {
  return datum != nullptr && !(xf->flags & XFORM_NO_DATUM) && datum->ellipsoid != 29 &&
         !datum_equal(datum, &xf->def.datum);
}
}  // namespace

void xform_datum_in_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count,
                           const DatumDef* datum) {
  if (datum_in_shifts(xf, datum)) {
    EllipsoidParams e;
    ellipsoid_params(datum->ellipsoid, &e);
    datum_shift_points(in, datum, &e, out, &xf->def.datum, &xf->ellipsoid, count);
  } else {
    copy_points(in, out, count);
  }
}

void xform_datum_in_rect(const DRect* in, DRect* out, const CoordXform* xf, const DatumDef* datum) {
  DPoint c[2] = {{in->x1, in->y1}, {in->x2, in->y2}};
  xform_datum_in_points(c, c, xf, 2, datum);
  *out = DRect{c[0].x, c[0].y, c[1].x, c[1].y};
  drect_normalise(out);
}

namespace {
void datum_out(const CoordXform* xf, DatumDef* datum) {
  if (datum == nullptr) return;
  if (xf->flags & XFORM_NO_DATUM) {
    datum_clear(datum);
    datum->ellipsoid = 29;
  } else {
    std::memmove(datum, &xf->def.datum, sizeof *datum);
  }
}
}  // namespace

void xform_datum_out_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count, DatumDef* datum) {
  copy_points(in, out, count);
  datum_out(xf, datum);
}

void xform_datum_out_rect(const DRect* in, DRect* out, const CoordXform* xf, DatumDef* datum) {
  copy_rect(in, out);
  datum_out(xf, datum);
}

void xform_scale_points(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double sx = xf->scale_x, sy = xf->scale_y, ox = xf->offset_x, oy = xf->offset_y;
  for (int32_t i = 0; i < count; ++i) {
    DPoint p = in[i];
    xform_clamp_point(&p);
    out[i] = DPoint{p.x * sx + ox, p.y * sy + oy};
  }
}

void xform_scale_rect(const DRect* in, DRect* out, const CoordXform* xf) {
  DRect r = *in;
  xform_clamp_rect(&r);
  *out = DRect{r.x1 * xf->scale_x + xf->offset_x, r.y1 * xf->scale_y + xf->offset_y,
               r.x2 * xf->scale_x + xf->offset_x, r.y2 * xf->scale_y + xf->offset_y};
  drect_normalise(out);
}

// ---- chains -------------------------------------------------------------------

namespace {

void ints_to_doubles(const IntPoint* in, DPoint* out, int32_t count) {
  // Backwards: out may share its bytes with in (a DPoint is twice an IntPoint).
  for (int32_t i = count - 1; i >= 0; --i) out[i] = DPoint{double(in[i].x), double(in[i].y)};
}

// Stage R: held within the integer range, then v + 0.5 (v - 0.5 when
// v <= 0) truncated towards zero. NaN becomes 0.
inline int32_t round_int(double v) {
  if (!(v == v)) return 0;
  v = v < -kXformIntLimit ? -kXformIntLimit : (v > kXformIntLimit ? kXformIntLimit : v);
  const double r = v <= 0 ? v - 0.5 : v + 0.5;
  return static_cast<int32_t>(r);
}

void round_rect(const DRect& r, IntRect* out) {
  *out = IntRect{round_int(r.x1), round_int(r.y1), round_int(r.x2), round_int(r.y2)};
}

// Runs a double chain over chunks of a small buffer and rounds each chunk.
template <class Fn>
void chunked_to_int(const DPoint* in, IntPoint* out, int32_t count, Fn stages) {
  DPoint buf[kChunk];
  for (int32_t done = 0; done < count; done += kChunk) {
    const int32_t n = std::min(kChunk, count - done);
    std::memcpy(buf, in + done, sizeof(DPoint) * static_cast<size_t>(n));
    stages(buf, n);
    for (int32_t i = 0; i < n; ++i) out[done + i] = IntPoint{round_int(buf[i].x), round_int(buf[i].y)};
  }
}

// lon/lat (datum given) through Din, P, DA.
void lonlat_to_xy_run(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count, const DatumDef* datum) {
  xform_datum_in_points(in, out, xf, count, datum);
  xform_forward_points(out, out, xf, count);
  xform_def_affine_points(out, out, xf, count);
}

void lonlat_rect_to_xy_run(const DRect* in, DRect* out, const CoordXform* xf, const DatumDef* datum) {
  xform_datum_in_rect(in, out, xf, datum);
  xform_forward_rect(out, out, xf);
  xform_def_affine_rect(out, out, xf);
}

// xy through DA', P'.
void xy_to_lonlat_run(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  xform_def_affine_inv_points(in, out, xf, count);
  xform_inverse_points(out, out, xf, count);
}

void xy_rect_to_lonlat_run(const DRect* in, DRect* out, const CoordXform* xf) {
  xform_def_affine_inv_rect(in, out, xf);
  xform_inverse_rect(out, out, xf);
}

}  // namespace

void xform_int_to_plane(const IntPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  ints_to_doubles(in, out, count);
  xform_unscale_points(out, out, xf, count);
}

void xform_int_rect_unscale(const IntRect* in, DRect* out, const CoordXform* xf) {
  DRect r;
  int_rect_to_drect(in, &r);
  xform_unscale_rect(&r, out, xf);
}

void xform_int_to_xy(const IntPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  ints_to_doubles(in, out, count);
  xform_intd_to_xy(out, out, xf, count);
}

void xform_int_rect_to_xy(const IntRect* in, DRect* out, const CoordXform* xf) {
  DRect r;
  int_rect_to_drect(in, &r);
  xform_intd_rect_to_xy(&r, out, xf);
}

void xform_intd_to_xy(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  xform_unscale_points(in, out, xf, count);
  xform_int_affine_points(out, out, xf, count);
}

void xform_intd_rect_to_xy(const DRect* in, DRect* out, const CoordXform* xf) {
  xform_unscale_rect(in, out, xf);
  xform_int_affine_rect(out, out, xf);
}

void xform_xy_to_intd(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  xform_int_affine_inv_points(in, out, xf, count);
  xform_scale_points(out, out, xf, count);
}

void xform_xy_rect_to_intd(const DRect* in, DRect* out, const CoordXform* xf) {
  xform_int_affine_inv_rect(in, out, xf);
  xform_scale_rect(out, out, xf);
}

void xform_xy_to_int(const DPoint* in, IntPoint* out, const CoordXform* xf, int32_t count) {
  if (!(xf->flags & XFORM_INT_AFFINE)) {
    // The main road: stages S and R in one pass.
    const double sx = xf->scale_x, sy = xf->scale_y, ox = xf->offset_x, oy = xf->offset_y;
    for (int32_t i = 0; i < count; ++i) {
      const double x = clamp_coord50(in[i].x), y = clamp_coord50(in[i].y);
      out[i] = IntPoint{round_int(x * sx + ox), round_int(y * sy + oy)};
    }
    return;
  }
  chunked_to_int(in, out, count, [xf](DPoint* p, int32_t n) { xform_xy_to_intd(p, p, xf, n); });
}

void xform_xy_rect_to_int(const DRect* in, IntRect* out, const CoordXform* xf) {
  DRect r;
  xform_xy_rect_to_intd(in, &r, xf);
  round_rect(r, out);
}

void xform_plane_to_int(const DPoint* in, IntPoint* out, const CoordXform* xf, int32_t count) {
  chunked_to_int(in, out, count, [xf](DPoint* p, int32_t n) { xform_scale_points(p, p, xf, n); });
}

void xform_plane_rect_to_int(const DRect* in, IntRect* out, const CoordXform* xf) {
  DRect r;
  xform_scale_rect(in, &r, xf);
  round_rect(r, out);
}

void xform_own_lonlat_to_xy(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  xform_forward_points(in, out, xf, count);
  xform_def_affine_points(out, out, xf, count);
}

void xform_own_lonlat_rect_to_xy(const DRect* in, DRect* out, const CoordXform* xf) {
  xform_forward_rect(in, out, xf);
  xform_def_affine_rect(out, out, xf);
}

void xform_xy_to_own_lonlat(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  xy_to_lonlat_run(in, out, xf, count);
}

void xform_xy_rect_to_own_lonlat(const DRect* in, DRect* out, const CoordXform* xf) {
  xy_rect_to_lonlat_run(in, out, xf);
}

void xform_intd_to_lonlat(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  xform_intd_to_xy(in, out, xf, count);
  xy_to_lonlat_run(out, out, xf, count);
}

void xform_intd_rect_to_lonlat(const DRect* in, DRect* out, const CoordXform* xf) {
  xform_intd_rect_to_xy(in, out, xf);
  xy_rect_to_lonlat_run(out, out, xf);
}

void xform_intd_to_lonlat_datum(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count,
                                DatumDef* datum) {
  xform_intd_to_lonlat(in, out, xf, count);
  datum_out(xf, datum);
}

void xform_intd_rect_to_lonlat_datum(const DRect* in, DRect* out, const CoordXform* xf, DatumDef* datum) {
  xform_intd_rect_to_lonlat(in, out, xf);
  datum_out(xf, datum);
}

void xform_int_to_lonlat(const IntPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  ints_to_doubles(in, out, count);
  xform_intd_to_lonlat(out, out, xf, count);
}

void xform_int_rect_to_lonlat(const IntRect* in, DRect* out, const CoordXform* xf) {
  DRect r;
  int_rect_to_drect(in, &r);
  xform_intd_rect_to_lonlat(&r, out, xf);
}

void xform_int_to_lonlat_datum(const IntPoint* in, DPoint* out, const CoordXform* xf, int32_t count,
                               DatumDef* datum) {
  xform_int_to_lonlat(in, out, xf, count);
  datum_out(xf, datum);
}

void xform_int_rect_to_lonlat_datum(const IntRect* in, DRect* out, const CoordXform* xf, DatumDef* datum) {
  xform_int_rect_to_lonlat(in, out, xf);
  datum_out(xf, datum);
}

void xform_plane_to_lonlat(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  xform_int_affine_points(in, out, xf, count);
  xy_to_lonlat_run(out, out, xf, count);
}

void xform_plane_rect_to_lonlat(const DRect* in, DRect* out, const CoordXform* xf) {
  xform_int_affine_rect(in, out, xf);
  xy_rect_to_lonlat_run(out, out, xf);
}

void xform_plane_to_lonlat_datum(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count,
                                 DatumDef* datum) {
  xform_plane_to_lonlat(in, out, xf, count);
  datum_out(xf, datum);
}

void xform_plane_rect_to_lonlat_datum(const DRect* in, DRect* out, const CoordXform* xf, DatumDef* datum) {
  xform_plane_rect_to_lonlat(in, out, xf);
  datum_out(xf, datum);
}

void xform_xy_to_lonlat_datum(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count,
                              DatumDef* datum) {
  xy_to_lonlat_run(in, out, xf, count);
  datum_out(xf, datum);
}

void xform_xy_rect_to_lonlat_datum(const DRect* in, DRect* out, const CoordXform* xf, DatumDef* datum) {
  xy_rect_to_lonlat_run(in, out, xf);
  datum_out(xf, datum);
}

void xform_lonlat_to_xy(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count,
                        const DatumDef* datum) {
  lonlat_to_xy_run(in, out, xf, count, datum);
}

void xform_lonlat_rect_to_xy(const DRect* in, DRect* out, const CoordXform* xf, const DatumDef* datum) {
  lonlat_rect_to_xy_run(in, out, xf, datum);
}

void xform_lonlat_to_plane(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count,
                           const DatumDef* datum) {
  lonlat_to_xy_run(in, out, xf, count, datum);
  xform_int_affine_inv_points(out, out, xf, count);
}

void xform_lonlat_rect_to_plane(const DRect* in, DRect* out, const CoordXform* xf, const DatumDef* datum) {
  lonlat_rect_to_xy_run(in, out, xf, datum);
  xform_int_affine_inv_rect(out, out, xf);
}

void xform_lonlat_to_intd(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count,
                          const DatumDef* datum) {
  lonlat_to_xy_run(in, out, xf, count, datum);
  xform_xy_to_intd(out, out, xf, count);
}

void xform_lonlat_rect_to_intd(const DRect* in, DRect* out, const CoordXform* xf, const DatumDef* datum) {
  lonlat_rect_to_xy_run(in, out, xf, datum);
  xform_xy_rect_to_intd(out, out, xf);
}

void xform_lonlat_to_int(const DPoint* in, IntPoint* out, const CoordXform* xf, int32_t count,
                         const DatumDef* datum) {
  chunked_to_int(in, out, count, [xf, datum](DPoint* p, int32_t n) { xform_lonlat_to_intd(p, p, xf, n, datum); });
}

void xform_lonlat_rect_to_int(const DRect* in, IntRect* out, const CoordXform* xf, const DatumDef* datum) {
  DRect r;
  xform_lonlat_rect_to_intd(in, &r, xf, datum);
  round_rect(r, out);
}

void xform_lonlat_to_xy_snapped(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count,
                                const DatumDef* datum) {
  lonlat_to_xy_run(in, out, xf, count, datum);
  for (int32_t i = 0; i < count; ++i) {
    IntPoint q;
    xform_xy_to_int(&out[i], &q, xf, 1);
    xform_int_to_xy(&q, &out[i], xf, 1);
  }
}

void xform_lonlat_rect_to_xy_snapped(const DRect* in, DRect* out, const CoordXform* xf, const DatumDef* datum) {
  lonlat_rect_to_xy_run(in, out, xf, datum);
  DPoint c[2] = {{out->x1, out->y1}, {out->x2, out->y2}};
  for (DPoint& p : c) {
    IntPoint q;
    xform_xy_to_int(&p, &q, xf, 1);
    xform_int_to_xy(&q, &p, xf, 1);
  }
  *out = DRect{c[0].x, c[0].y, c[1].x, c[1].y};
  drect_normalise(out);
}

void xform_own_lonlat_to_plane(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  xform_own_lonlat_to_xy(in, out, xf, count);
  xform_int_affine_inv_points(out, out, xf, count);
}

void xform_own_lonlat_rect_to_plane(const DRect* in, DRect* out, const CoordXform* xf) {
  xform_own_lonlat_rect_to_xy(in, out, xf);
  xform_int_affine_inv_rect(out, out, xf);
}

void xform_own_lonlat_to_intd(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  xform_own_lonlat_to_xy(in, out, xf, count);
  xform_xy_to_intd(out, out, xf, count);
}

void xform_own_lonlat_rect_to_intd(const DRect* in, DRect* out, const CoordXform* xf) {
  xform_own_lonlat_rect_to_xy(in, out, xf);
  xform_xy_rect_to_intd(out, out, xf);
}

void xform_own_lonlat_to_int(const DPoint* in, IntPoint* out, const CoordXform* xf, int32_t count) {
  chunked_to_int(in, out, count, [xf](DPoint* p, int32_t n) { xform_own_lonlat_to_intd(p, p, xf, n); });
}

void xform_own_lonlat_rect_to_int(const DRect* in, IntRect* out, const CoordXform* xf) {
  DRect r;
  xform_own_lonlat_rect_to_intd(in, &r, xf);
  round_rect(r, out);
}
