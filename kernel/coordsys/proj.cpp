// The projection frame: the type table, the lat/long and non-earth
// operations, the shared helpers, default bounds and the rectangle
// transforms.
//
// Every projection has the same shape: an initialiser that fills the
// transform's constants, a scale factor, forward and inverse point
// operations and a rectangle family. The projection library in proj/
// supplies the operations of types 2 to 32.
#include "kernel/coordsys/proj.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernel/coordsys/proj/proj_lib.h"
#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"

namespace {

enum RectFamily { CORNERS2, CORNERS4, EQUATOR, CROSS, MERIDIAN, CENTRE, CONIC, AZIMUTHAL, SWISS };
enum BoundsClass { B_PLANE, B_LATLONG, B_MERCATOR, B_TM, B_CENTRED, B_SWISS, B_WORLD };

struct ProjRow {
  void (*init)(CoordXform*);
  ProjScaleFn scale;
  ProjPointsFn forward;
  ProjPointsFn inverse;
  RectFamily family;
  double lon_span;  // 0 where the step is 90/n of a conic, set by its initialiser
  BoundsClass bounds;
};

// Non-earth: the geographic side is a plane measured in degrees.
void nonearth_init(CoordXform*) {}

constexpr ProjRow kLatLongRow = {proj_latlong_init, proj_latlong_scale, proj_latlong_forward, proj_latlong_inverse,
                                 CORNERS2, 0, B_LATLONG};


const ProjRow kProjTable[33] = {
    {nonearth_init, proj_unit_scale, proj_nonearth_forward, proj_nonearth_inverse, CORNERS2, 0, B_PLANE},  // 0
    kLatLongRow,                          // 1
    {proj_cyleqa_init, proj_cyleqa_scale, proj_cyleqa_forward, proj_cyleqa_inverse, CORNERS2, 0, B_WORLD},  // 2 cylindrical equal-area
    {proj_lcc_init, proj_lcc_scale, proj_lcc_forward, proj_lcc_inverse, CONIC, 0, B_MERCATOR},  // 3 Lambert conformal conic
    {proj_lambert_azimuthal_init, proj_lambert_azimuthal_scale, proj_lambert_azimuthal_forward, proj_lambert_azimuthal_inverse, AZIMUTHAL, 5, B_WORLD},  // 4 Lambert azimuthal equal-area
    {proj_azimuthal_equidistant_init, proj_unit_scale, proj_azimuthal_equidistant_forward, proj_azimuthal_equidistant_inverse, AZIMUTHAL, 5, B_WORLD},  // 5 azimuthal equidistant
    {proj_equidistant_conic_init, proj_equidistant_conic_scale, proj_equidistant_conic_forward, proj_equidistant_conic_inverse, CONIC, 0, B_WORLD},  // 6 equidistant conic
    {proj_hotine_init, proj_hotine_scale, proj_hotine_forward, proj_hotine_inverse, CORNERS4, 0, B_WORLD},  // 7 Hotine oblique Mercator
    {proj_tm_init, proj_tm_scale, proj_tm_forward, proj_tm_inverse, CROSS, 0, B_TM},  // 8 transverse Mercator
    {proj_albers_init, proj_albers_scale, proj_albers_forward, proj_albers_inverse, CONIC, 0, B_WORLD},  // 9 Albers
    {proj_mercator_init, proj_mercator_scale, proj_mercator_forward, proj_mercator_inverse, CORNERS2, 0, B_MERCATOR},  // 10 Mercator
    {proj_miller_init, proj_latlong_scale, proj_miller_forward, proj_miller_inverse, CORNERS2, 0, B_WORLD},  // 11 Miller
    {proj_robinson_init, proj_robinson_scale, proj_robinson_forward, proj_robinson_inverse, EQUATOR, 0, B_WORLD},  // 12 Robinson
    {proj_mollweide_init, proj_mollweide_scale, proj_mollweide_forward, proj_mollweide_inverse, EQUATOR, 0, B_WORLD},  // 13 Mollweide
    {proj_eckert4_init, proj_eckert4_scale, proj_eckert4_forward, proj_eckert4_inverse, EQUATOR, 0, B_WORLD},  // 14 Eckert IV
    {proj_eckert6_init, proj_eckert6_scale, proj_eckert6_forward, proj_eckert6_inverse, EQUATOR, 0, B_WORLD},  // 15 Eckert VI
    {proj_sinusoidal_init, proj_unit_scale, proj_sinusoidal_forward, proj_sinusoidal_inverse, EQUATOR, 0, B_WORLD},  // 16 sinusoidal
    {proj_gall_init, proj_gall_scale, proj_gall_forward, proj_gall_inverse, CORNERS2, 0, B_WORLD},  // 17 Gall
    {proj_nzmg_init, proj_nzmg_scale, proj_nzmg_forward, proj_nzmg_inverse, MERIDIAN, 0, B_WORLD},  // 18 New Zealand map grid
    {proj_lcc_init, proj_lcc_scale, proj_lcc_forward, proj_lcc_inverse, CONIC, 0, B_MERCATOR},  // 19 Lambert conformal conic, turned grid
    {proj_stereographic_init, proj_stereographic_scale, proj_stereographic_forward, proj_stereographic_inverse, AZIMUTHAL, 90, B_CENTRED},  // 20 stereographic
    {proj_tm_init, proj_tm_scale, proj_tm_forward, proj_tm_inverse, CROSS, 0, B_TM},  // 21 transverse Mercator, local grid 1
    {proj_tm_init, proj_tm_scale, proj_tm_forward, proj_tm_inverse, CROSS, 0, B_TM},  // 22 local grid 2
    {proj_tm_init, proj_tm_scale, proj_tm_forward, proj_tm_inverse, CROSS, 0, B_TM},  // 23 local grid 3
    {proj_tm_init, proj_tm_scale, proj_tm_forward, proj_tm_inverse, CROSS, 0, B_TM},  // 24 transverse Mercator by the Krueger series
    {proj_swiss_init, proj_swiss_scale, proj_swiss_forward, proj_swiss_inverse, SWISS, 90, B_SWISS},  // 25 Swiss oblique Mercator
    {proj_mercator_init, proj_mercator_scale, proj_mercator_forward, proj_mercator_inverse, CORNERS2, 0, B_MERCATOR},  // 26 Mercator with a standard parallel
    {proj_polyconic_init, proj_unit_scale, proj_polyconic_forward, proj_polyconic_inverse, AZIMUTHAL, 90, B_WORLD},  // 27 polyconic
    {proj_azimuthal_equidistant_init, proj_unit_scale, proj_azimuthal_equidistant_forward, proj_azimuthal_equidistant_inverse, AZIMUTHAL, 5, B_WORLD},  // 28 azimuthal equidistant
    {proj_lambert_azimuthal_init, proj_lambert_azimuthal_scale, proj_lambert_azimuthal_forward, proj_lambert_azimuthal_inverse, AZIMUTHAL, 5, B_WORLD},  // 29 Lambert azimuthal equal-area
    {proj_cassini_init, proj_unit_scale, proj_cassini_forward, proj_cassini_inverse, CROSS, 90, B_WORLD},  // 30 Cassini-Soldner
    {proj_double_stereo_init, proj_double_stereo_scale, proj_double_stereo_forward, proj_double_stereo_inverse, AZIMUTHAL, 90, B_CENTRED},  // 31 double stereographic
    {proj_krovak_init, proj_krovak_scale, proj_krovak_forward, proj_krovak_inverse, CENTRE, 90, B_WORLD},  // 32 Krovak
};

const ProjRow& row_of(int32_t type) { return type >= 0 && type <= 32 ? kProjTable[type] : kProjTable[1]; }

struct RectFns {
  ProjRectFn fwd, inv;
};
const RectFns kRectFns[] = {
    {proj_rect_fwd_corners2, proj_rect_inv_corners2}, {proj_rect_fwd_corners4, proj_rect_inv_corners4},
    {proj_rect_fwd_equator, proj_rect_inv_equator},   {proj_rect_fwd_cross, proj_rect_inv_cross},
    {proj_rect_fwd_meridian, proj_rect_inv_meridian}, {proj_rect_fwd_centre, proj_rect_inv_centre},
    {proj_rect_fwd_conic, proj_rect_inv_conic},       {proj_rect_fwd_azimuthal, proj_rect_inv_azimuthal},
    {proj_rect_fwd_swiss, proj_rect_inv_swiss},
};

double held(double v, double limit) { return std::clamp(v, -limit, limit); }

int16_t ne_sign_x(const CoordXform* xf) {
  const int16_t o = xf->def.ne.ne_coord_orientation;
  return o == 1 || o == 4 ? 1 : -1;
}
int16_t ne_sign_y(const CoordXform* xf) {
  const int16_t o = xf->def.ne.ne_coord_orientation;
  return o == 1 || o == 2 ? 1 : -1;
}

}  // namespace

void xform_set_projection(CoordXform* xform) {
  const ProjRow& row = row_of(xform->type);
  xform->scale_fn = row.scale;
  xform->forward_fn = row.forward;
  xform->inverse_fn = row.inverse;
  xform->forward_rect_fn = kRectFns[row.family].fwd;
  xform->inverse_rect_fn = kRectFns[row.family].inv;
  if (xform->type >= 2 && xform->type <= 32) {
    xform->origin_lon = held(xform->def.params[0], 360.0);
    xform->lon_span = row.lon_span;
  } else {
    xform->origin_lon = 0;
    xform->lon_span = 0;
  }
  row.init(xform);
  DPoint p[2] = {{xform->origin_lon, 0}, {xform->origin_lon + xform->lon_span, 0}};
  xform->forward_fn(p, p, xform, 2);
  xform->origin_x = p[0].x;
  xform->equator_y = p[1].y;
}

// ---- shared helpers -----------------------------------------------------------

double proj_parallel_radius(double e2, double phi) {
  const double s = std::sin(phi);
  return std::cos(phi) / std::sqrt(1.0 - e2 * s * s);
}

double proj_authalic_q(double e2, double phi) {
  const double s = std::sin(phi);
  if (e2 == 0) return 2.0 * s;
  const double e = std::sqrt(e2);
  return (1.0 - e2) * (s / (1.0 - e2 * s * s) - std::log((1.0 - e * s) / (1.0 + e * s)) / (2.0 * e));
}

double proj_unit_scale(const CoordXform*, const DPoint*) { return 1.0; }

// ---- lat/long -----------------------------------------------------------------

void proj_latlong_init(CoordXform* xform) {
  xform->proj_const.c[0] = std::cos(held(xform->def.params[0], 80.0) * (kProjPi / 180.0));
}

double proj_latlong_scale(const CoordXform*, const DPoint* lonlat) {
  const double c = std::cos(held(lonlat->y, 90.0) * (kProjPi / 180.0));
  // cos of 90 degrees in doubles is about 6e-17, never exactly 0.
  return std::fabs(c) < 1e-15 ? 1e9 : 1.0 / c;
}

void proj_latlong_forward(const DPoint* in, DPoint* out, const CoordXform*, int32_t count) {
  for (int32_t i = 0; i < count; ++i) out[i] = DPoint{held(in[i].x, 360.0), held(in[i].y, 90.0)};
}

void proj_latlong_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count) {
  proj_latlong_forward(in, out, xform, count);
}

// ---- non-earth ----------------------------------------------------------------

void proj_nonearth_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count) {
  const double gx = ne_sign_x(xform), gy = ne_sign_y(xform);
  const int16_t u = xform->def.ne.ne_units;
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    unit_convert(&r.x, kUnitDegree, gx * in[i].x, u);
    unit_convert(&r.y, kUnitDegree, gy * in[i].y, u);
    out[i] = r;
  }
}

void proj_nonearth_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count) {
  const double gx = ne_sign_x(xform), gy = ne_sign_y(xform);
  const int16_t u = xform->def.ne.ne_units;
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    unit_convert(&r.x, u, gx * in[i].x, kUnitDegree);
    unit_convert(&r.y, u, gy * in[i].y, kUnitDegree);
    out[i] = r;
  }
}

// ---- default bounds -----------------------------------------------------------

void coordsys_default_bounds(int32_t type, const CoordSysDef* def, DRect* out) {
  CoordXform xf;
  xform_init(&xf, type, def);
  const BoundsClass cls = row_of(type).bounds;
  switch (cls) {
    case B_PLANE:
      *out = DRect{0, 0, 10, 10};
      return;
    case B_LATLONG: {
      const DRect r{-1000, -1000, 1000, 1000};
      xform_def_affine_rect(&r, out, &xf);
      return;
    }
    case B_MERCATOR: {
      const DRect r{-360, -85, 360, 85};
      xform_own_lonlat_rect_to_xy(&r, out, &xf);
      return;
    }
    case B_TM: {
      const DRect r{xf.origin_lon - 60, -90, xf.origin_lon + 60, 90};
      xform_own_lonlat_rect_to_xy(&r, out, &xf);
      return;
    }
    case B_CENTRED:
    case B_SWISS: {
      const int k = cls == B_CENTRED ? 3 : 2;
      double half;
      unit_convert(&half, xf.def.units, 1e8, kUnitMetre);
      const double cx = xf.def.params[k], cy = xf.def.params[k + 1];
      const DRect r{cx - half, cy - half, cx + half, cy + half};
      xform_def_affine_rect(&r, out, &xf);
      return;
    }
    case B_WORLD: {
      const DRect r{-360, -90, 360, 90};
      xform_own_lonlat_rect_to_xy(&r, out, &xf);
      return;
    }
  }
}

// ---- rectangle transforms -----------------------------------------------------

namespace {

struct Samples {
  DPoint p[kProjSampleMax];
  int32_t n = 0;
  void add(double x, double y) {
    if (n < kProjSampleMax) p[n++] = DPoint{x, y};
  }
  void add_corners(const DRect* r) {
    add(r->x1, r->y1);
    add(r->x1, r->y2);
    add(r->x2, r->y2);
    add(r->x2, r->y1);
  }
  void bounds(DRect* out) const {
    drect_set_empty(out);
    for (int32_t i = 0; i < n; ++i) drect_add_point(out, &p[i]);
  }
};

bool inside(double v, double lo, double hi) { return lo < v && v < hi; }

// The meridian pair of the cross family: a vertical line at x.
void add_meridian(Samples& s, const DRect* r, double x) {
  if (inside(x, r->x1, r->x2)) {
    s.add(x, r->y1);
    s.add(x, r->y2);
  }
}
void add_parallel(Samples& s, const DRect* r, double y) {
  if (inside(y, r->y1, r->y2)) {
    s.add(r->x1, y);
    s.add(r->x2, y);
  }
}

void run(Samples& s, const CoordXform* xf, bool forward, DRect* out) {
  (forward ? xf->forward_fn : xf->inverse_fn)(s.p, s.p, xf, s.n);
  s.bounds(out);
}

// A pair that crossed the pole spans every longitude.
void pole_test(Samples& s, int32_t first, int32_t count, const CoordXform* xf) {
  for (int32_t i = first; i < first + count; ++i) {
    if (std::fabs(s.p[i].x - xf->origin_lon) > 90.0) {
      s.p[i].x = -360.0;
      s.add(360.0, s.p[i].y);
    }
  }
}

}  // namespace

void proj_rect_fwd_corners2(const DRect* in, DRect* out, const CoordXform* xf) {
  DPoint p[2] = {{in->x1, in->y1}, {in->x2, in->y2}};
  xf->forward_fn(p, p, xf, 2);
  *out = DRect{p[0].x, p[0].y, p[1].x, p[1].y};
  drect_normalise(out);
}

void proj_rect_inv_corners2(const DRect* in, DRect* out, const CoordXform* xf) {
  DPoint p[2] = {{in->x1, in->y1}, {in->x2, in->y2}};
  xf->inverse_fn(p, p, xf, 2);
  *out = DRect{p[0].x, p[0].y, p[1].x, p[1].y};
  drect_normalise(out);
}

void proj_rect_fwd_corners4(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  run(s, xf, true, out);
}

void proj_rect_inv_corners4(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  run(s, xf, false, out);
}

void proj_rect_fwd_equator(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  add_parallel(s, in, 0.0);
  run(s, xf, true, out);
}

void proj_rect_inv_equator(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  add_parallel(s, in, xf->equator_y);
  run(s, xf, false, out);
}

void proj_rect_fwd_cross(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  add_meridian(s, in, xf->origin_lon);
  add_parallel(s, in, 0.0);
  run(s, xf, true, out);
}

void proj_rect_inv_cross(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  add_meridian(s, in, xf->origin_x);
  add_parallel(s, in, xf->equator_y);
  run(s, xf, false, out);
}

void proj_rect_fwd_meridian(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  add_meridian(s, in, xf->origin_lon);
  run(s, xf, true, out);
}

void proj_rect_inv_meridian(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  add_meridian(s, in, xf->origin_x);
  run(s, xf, false, out);
}

void proj_rect_fwd_centre(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  s.add((in->x1 + in->x2) / 2, (in->y1 + in->y2) / 2);
  add_meridian(s, in, xf->origin_lon);
  add_parallel(s, in, 0.0);
  run(s, xf, true, out);
}

void proj_rect_inv_centre(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  s.add((in->x1 + in->x2) / 2, (in->y1 + in->y2) / 2);
  add_meridian(s, in, xf->origin_x);
  add_parallel(s, in, xf->equator_y);
  run(s, xf, false, out);
}

void proj_rect_fwd_conic(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  for (int k = -4; k <= 4; ++k) {
    if (k != 0 && xf->lon_span == 0) continue;  // one meridian when the step is not known
    add_meridian(s, in, xf->origin_lon + k * xf->lon_span);
  }
  run(s, xf, true, out);
}

void proj_rect_inv_conic(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  const int32_t first = s.n;
  add_meridian(s, in, xf->origin_x);
  const int32_t pair = s.n - first;
  const int32_t before = s.n;
  add_parallel(s, in, xf->equator_y);
  if (pair > 0 && s.n > before) s.add(xf->origin_x, xf->equator_y);
  xf->inverse_fn(s.p, s.p, xf, s.n);
  pole_test(s, first, pair, xf);
  s.bounds(out);
}

namespace {
int32_t special_latitudes(const CoordXform* xf, double out[3]) {
  const double lat0 = xf->def.params[1];
  switch (xf->type) {
    case 4: case 5: case 28: case 29:
      out[0] = -lat0 - 0.1;
      out[1] = 0.1 - lat0;
      return 2;
    case 20: case 31:
      out[0] = -lat0;
      return 1;
    case 27:
      out[0] = 0;
      out[1] = 40;
      out[2] = -40;
      return 3;
    default:
      return 0;
  }
}
}  // namespace

void proj_rect_fwd_azimuthal(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  double lats[3];
  const int32_t ns = special_latitudes(xf, lats);
  if (xf->lon_span > 0) {
    for (double m = xf->origin_lon - 360.0; m <= xf->origin_lon + 360.0; m += xf->lon_span) {
      if (!inside(m, in->x1, in->x2)) continue;
      s.add(m, in->y1);
      s.add(m, in->y2);
      for (int32_t i = 0; i < ns; ++i)
        if (in->y1 <= lats[i] && lats[i] <= in->y2) s.add(m, lats[i]);
    }
  }
  for (int32_t i = 0; i < ns; ++i) {
    if (in->y1 <= lats[i] && lats[i] <= in->y2) {
      s.add(in->x1, lats[i]);
      s.add(in->x2, lats[i]);
    }
  }
  run(s, xf, true, out);
}

void proj_rect_inv_azimuthal(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  const int32_t first = s.n;
  add_meridian(s, in, xf->origin_x);
  const int32_t pair = s.n - first;
  add_parallel(s, in, xf->equator_y);
  const int32_t t = xf->type;
  const double l = held(t == 4 || t == 5 || t == 20 || t == 31 ? -xf->def.params[1] : 0.0, 90.0);
  DPoint q[2] = {{in->x1, xf->ellipsoid.a * l * (kProjPi / 180.0)}, {in->x2, xf->ellipsoid.a * l * (kProjPi / 180.0)}};
  xf->inverse_fn(q, q, xf, 2);
  xf->forward_fn(q, q, xf, 2);
  for (const DPoint& p : q)
    if (inside(p.y, in->y1, in->y2)) s.add(in->x1, p.y);
  DPoint poles[2] = {{0, 90}, {0, -90}};
  xf->forward_fn(poles, poles, xf, 2);
  for (const DPoint& p : poles)
    if (point_in_drect(&p, in)) s.add(p.x, p.y);
  xf->inverse_fn(s.p, s.p, xf, s.n);
  pole_test(s, first, pair, xf);
  s.bounds(out);
}

void proj_rect_fwd_swiss(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  for (int k = -2; k <= 2; ++k) add_meridian(s, in, xf->origin_lon + k * xf->lon_span);
  const double l = 90.0 - std::fabs(xf->def.params[1]);
  add_parallel(s, in, l);
  add_parallel(s, in, -l);
  run(s, xf, true, out);
}

void proj_rect_inv_swiss(const DRect* in, DRect* out, const CoordXform* xf) {
  Samples s;
  s.add_corners(in);
  add_meridian(s, in, xf->origin_x);
  DPoint q[4] = {{xf->origin_lon - 90, 90}, {xf->origin_lon + 90, 90}, {xf->origin_lon - 90, -90},
                 {xf->origin_lon + 90, -90}};
  xf->forward_fn(q, q, xf, 4);
  for (const DPoint& p : q)
    if (point_in_drect(&p, in)) s.add(p.x, p.y);
  run(s, xf, false, out);
}
