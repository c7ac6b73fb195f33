// Normal-aspect cylindrical projections: cylindrical equal-area (type 2),
// Mercator (10, and 26 with a standard parallel), Miller (11) and Gall
// stereographic (17). Only Mercator uses the ellipsoid; the others take the
// sphere of radius a. None has a false origin.
#include <algorithm>
#include <cmath>

#include "kernel/coordsys/proj/proj_lib.h"
#include "kernel/coordsys/xform.h"

namespace {

enum CylConst { CY_LAM0, CY_A, CY_B, CY_C, CY_CONF, CY_UNIT = CY_CONF + 4, CY_COUNT };
static_assert(CY_COUNT <= kProjConstCount, "cylindrical constants fit proj_const");

constexpr double kBig = 1e9;

double held(double v, double limit) { return std::clamp(v, -limit, limit); }

// cos of 90 degrees in doubles is about 6e-17, never exactly 0.
bool cos_zero(double c) { return std::fabs(c) < 1e-15; }

void common_init(CoordXform* xf) {
  xf->lon_span = 0;
  xf->proj_const.c[CY_LAM0] = xf->origin_lon * kProjDeg;
  xf->proj_const.c[CY_UNIT] = proj_metre_factor(xf);
}

template <class Fn>
void forward_each(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count, Fn fn) {
  proj_forward_each(in, out, count, xf->proj_const.c[CY_LAM0], xf->proj_const.c[CY_UNIT], fn);
}

template <class Fn>
void inverse_each(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count, Fn fn) {
  proj_inverse_each(in, out, count, xf->proj_const.c[CY_LAM0], xf->proj_const.c[CY_UNIT], fn);
}

double phi_of(const DPoint* lonlat) { return held(lonlat->y, 90.0) * kProjDeg; }

}  // namespace

// ---- cylindrical equal-area -------------------------------------------------------

void proj_cyleqa_init(CoordXform* xf) {
  common_init(xf);
  double* c = xf->proj_const.c;
  double cs = std::cos(held(xf->def.params[1], 90.0) * kProjDeg);
  if (cos_zero(cs)) cs = 1;
  c[CY_A] = cs;
  c[CY_B] = xf->ellipsoid.a * cs;
  c[CY_C] = xf->ellipsoid.a / cs;
}

double proj_cyleqa_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double cp = std::cos(phi_of(lonlat));
  return cos_zero(cp) ? kBig : xf->proj_const.c[CY_A] / cp;
}

void proj_cyleqa_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  forward_each(in, out, xf, count, [c](double dl, double phi) { return DPoint{c[CY_B] * dl, c[CY_C] * std::sin(phi)}; });
}

void proj_cyleqa_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  inverse_each(in, out, xf, count,
               [c](double x, double y) { return DPoint{x / c[CY_B], std::asin(held(y / c[CY_C], 1.0))}; });
}

// ---- Mercator -----------------------------------------------------------------------

void proj_mercator_init(CoordXform* xf) {
  common_init(xf);
  double* c = xf->proj_const.c;
  const double e2 = xf->ellipsoid.e2;
  c[CY_A] = std::sqrt(e2);
  const double p1 = xf->def.params[1];
  c[CY_B] = p1 == 0 ? 1.0 : proj_parallel_radius(e2, held(p1, 90.0) * kProjDeg);
  c[CY_C] = xf->ellipsoid.a * c[CY_B];  // a k
  proj_conformal_coeffs(e2, c + CY_CONF);
}

double proj_mercator_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double phi = phi_of(lonlat), cp = std::cos(phi), s = std::sin(phi);
  return cos_zero(cp) ? kBig : xf->proj_const.c[CY_B] * std::sqrt(1 - xf->ellipsoid.e2 * s * s) / cp;
}

void proj_mercator_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  forward_each(in, out, xf, count, [c](double dl, double phi) {
    const double s = std::sin(phi), e = c[CY_A];
    double y;
    if (1 + s == 0 || phi == -kProjHalfPi)
      y = -kBig;
    else if (1 - s == 0 || phi == kProjHalfPi)
      y = kBig;
    else
      y = c[CY_C] / 2 * std::log(std::pow((1 - e * s) / (1 + e * s), e) * (1 + s) / (1 - s));
    return DPoint{c[CY_C] * dl, y};
  });
}

void proj_mercator_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  inverse_each(in, out, xf, count, [c](double x, double y) {
    const double t = -y / c[CY_C];
    double chi;
    if (t < -307)
      chi = kProjHalfPi;
    else if (t > 308)
      chi = -kProjHalfPi;
    else
      chi = kProjHalfPi - 2 * std::atan(std::exp(t));
    return DPoint{x / c[CY_C], proj_sin_series(c + CY_CONF, 4, chi)};
  });
}

// ---- Miller ---------------------------------------------------------------------------

void proj_miller_init(CoordXform* xf) {
  common_init(xf);
  xf->proj_const.c[CY_A] = xf->ellipsoid.a;
  xf->proj_const.c[CY_B] = xf->ellipsoid.a / 0.8;
}

void proj_miller_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  forward_each(in, out, xf, count, [c](double dl, double phi) {
    return DPoint{c[CY_A] * dl, c[CY_B] * std::log(std::tan(kProjPi / 4 + 0.4 * phi))};
  });
}

void proj_miller_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  inverse_each(in, out, xf, count, [c](double x, double y) {
    const double v = y / c[CY_B];
    double phi;
    if (v < -307)
      phi = -kProjHalfPi;
    else if (v > 308)
      phi = kProjHalfPi;
    else
      phi = 2.5 * std::atan(std::exp(v)) - 1.9634954084936207;
    return DPoint{x / c[CY_A], phi};
  });
}

// ---- Gall stereographic -----------------------------------------------------------------

void proj_gall_init(CoordXform* xf) {
  common_init(xf);
  const double r = xf->ellipsoid.a, s2 = std::sqrt(2.0);
  xf->proj_const.c[CY_A] = s2;
  xf->proj_const.c[CY_B] = r / s2;
  xf->proj_const.c[CY_C] = r * (1 + s2 / 2);
}

double proj_gall_scale(const CoordXform*, const DPoint* lonlat) {
  const double cp = std::cos(phi_of(lonlat));
  return cos_zero(cp) ? kBig : 1 / (std::sqrt(2.0) * cp);
}

void proj_gall_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  forward_each(in, out, xf, count,
               [c](double dl, double phi) { return DPoint{c[CY_B] * dl, c[CY_C] * std::tan(phi / 2)}; });
}

void proj_gall_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  inverse_each(in, out, xf, count, [c](double x, double y) { return DPoint{x / c[CY_B], 2 * std::atan(y / c[CY_C])}; });
}
