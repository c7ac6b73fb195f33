// The projection library: the operations of types 2 to 32, grouped by
// family, and the series and small helpers the families share.
//
// Each family keeps its constants in the transform's proj_const block under
// an index enum of its own; a static_assert per family checks that they fit.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/proj.h"
#include "kernel/coordsys/xform.h"

constexpr int kProjConstCount = 20;
constexpr double kProjHalfPi = 1.5707963267948966;
constexpr double kProjDeg = kProjPi / 180.0;

// ---- shared helpers ------------------------------------------------------------

// Metres to the definition's units (1 where the unit code is unusable).
double proj_metre_factor(const CoordXform* xform);

// Meridian distance M(phi) = m[0] phi - m[1] sin 2phi + m[2] sin 4phi - m[3] sin 6phi
// (four terms of the series in e2, m[0] = a c0).
void proj_meridian_coeffs(double a, double e2, double m[4]);
double proj_meridian_dist(const double m[4], double phi);
// The same with sin and cos of phi known.
double proj_meridian_dist_sc(const double m[4], double phi, double sp, double cp);
// Series of the form x + c[0] sin 2x + c[1] sin 4x + ... (count terms).
double proj_sin_series(const double* c, int count, double x);
// Footpoint latitude from the rectifying latitude mu: four terms in e1.
void proj_footpoint_coeffs(double e2, double c[4]);
// Latitude from conformal latitude: four terms.
void proj_conformal_coeffs(double e2, double c[4]);
// Latitude from authalic latitude: three terms.
void proj_authalic_coeffs(double e2, double c[3]);
// Forward of projections without a false origin: fn(lambda - lambda0, phi)
// gives metres, converted by unit to the definition's units.
template <class Fn>
void proj_forward_each(const DPoint* in, DPoint* out, int32_t count, double lam0, double unit, Fn fn) {
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    proj_to_radians(&in[i], &r);
    const DPoint m = fn(r.x - lam0, r.y);
    out[i] = DPoint{m.x * unit, m.y * unit};
  }
}

// Its inverse: fn(x, y in metres) gives (lambda - lambda0, phi).
template <class Fn>
void proj_inverse_each(const DPoint* in, DPoint* out, int32_t count, double lam0, double unit, Fn fn) {
  for (int32_t i = 0; i < count; ++i) {
    const DPoint m = fn(in[i].x / unit, in[i].y / unit);
    const DPoint r{m.x + lam0, m.y};
    proj_from_radians(&r, &out[i]);
  }
}

// Scale factor of a formula that divided by 0.
constexpr double kProjScaleInfinite = 1e9;

// ---- cylindrical: types 2, 10, 11, 17, 26 -----------------------------------------
void proj_cyleqa_init(CoordXform* xform);
double proj_cyleqa_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_cyleqa_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_cyleqa_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_mercator_init(CoordXform* xform);
double proj_mercator_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_mercator_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_mercator_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_miller_init(CoordXform* xform);
void proj_miller_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_miller_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_gall_init(CoordXform* xform);
double proj_gall_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_gall_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_gall_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);

// ---- transverse Mercator family: types 8, 21 to 24, 30 ---------------------------
void proj_tm_init(CoordXform* xform);
double proj_tm_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_tm_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_tm_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
// Evaluates the forward (selector 0) or inverse (1) table of a local-grid
// transform at *point and writes (Q, P) over it.
void proj_grid_poly_eval(const CoordXform* xform, DPoint* point, int selector);
void proj_cassini_init(CoordXform* xform);
void proj_cassini_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_cassini_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);

// ---- conic: types 3, 19, 6, 9, 27 -------------------------------------------------
void proj_lcc_init(CoordXform* xform);
double proj_lcc_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_lcc_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_lcc_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_equidistant_conic_init(CoordXform* xform);
double proj_equidistant_conic_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_equidistant_conic_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_equidistant_conic_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_albers_init(CoordXform* xform);
double proj_albers_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_albers_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_albers_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_polyconic_init(CoordXform* xform);
void proj_polyconic_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_polyconic_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);

// ---- azimuthal: types 4/29, 5/28, 20, 31 ----------------------------------------
void proj_lambert_azimuthal_init(CoordXform* xform);
double proj_lambert_azimuthal_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_lambert_azimuthal_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_lambert_azimuthal_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_azimuthal_equidistant_init(CoordXform* xform);
void proj_azimuthal_equidistant_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_azimuthal_equidistant_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_stereographic_init(CoordXform* xform);
double proj_stereographic_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_stereographic_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_stereographic_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_double_stereo_init(CoordXform* xform);
double proj_double_stereo_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_double_stereo_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_double_stereo_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);

// ---- pseudo-cylindrical: types 12 to 16 --------------------------------------------
void proj_robinson_init(CoordXform* xform);
double proj_robinson_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_robinson_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_robinson_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_mollweide_init(CoordXform* xform);
double proj_mollweide_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_mollweide_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_mollweide_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_eckert4_init(CoordXform* xform);
double proj_eckert4_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_eckert4_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_eckert4_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_eckert6_init(CoordXform* xform);
double proj_eckert6_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_eckert6_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_eckert6_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_sinusoidal_init(CoordXform* xform);
void proj_sinusoidal_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_sinusoidal_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);

// ---- oblique Mercator: types 7, 25 ----------------------------------------------------
void proj_hotine_init(CoordXform* xform);
double proj_hotine_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_hotine_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_hotine_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_swiss_init(CoordXform* xform);
double proj_swiss_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_swiss_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_swiss_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);

// ---- national grids: types 18, 32 -------------------------------------------------------
struct GeoComplex {
  double re, im;
};
GeoComplex geodist_complex_make(double re, double im);
GeoComplex geodist_complex_scale(GeoComplex z, double k);
GeoComplex geodist_complex_add(GeoComplex a, GeoComplex b);
GeoComplex geodist_complex_mul(GeoComplex a, GeoComplex b);
// Smith's division; a zero divisor gives 0.
GeoComplex geodist_complex_div(GeoComplex n, GeoComplex d);
double geodist_complex_abs(GeoComplex z);

void proj_nzmg_init(CoordXform* xform);
double proj_nzmg_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_nzmg_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_nzmg_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_krovak_init(CoordXform* xform);
double proj_krovak_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_krovak_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_krovak_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
// (U, V) on the conformal sphere of (lambda, phi) in radians, and back.
void proj_krovak_to_sphere(const CoordXform* xform, double lam, double phi, double* u, double* v);
void proj_krovak_from_sphere(const CoordXform* xform, double u, double v, double* lam, double* phi);
double proj_krovak_lat_step(const CoordXform* xform, double u, double phi);
