// Conic projections on the ellipsoid: Lambert conformal conic with two
// standard parallels (type 3) and its variant with a fixed turn of the grid
// (type 19).
#include <algorithm>
#include <cmath>

#include "kernel/coordsys/proj/proj_lib.h"
#include "kernel/coordsys/xform.h"

namespace {

enum LccConst { LCC_LAM0, LCC_E, LCC_N, LCC_INV_N, LCC_AF, LCC_RHO0, LCC_CONF, LCC_UNIT = LCC_CONF + 4, LCC_COUNT };
static_assert(LCC_COUNT <= kProjConstCount, "Lambert conformal conic constants fit proj_const");

// Turn of the type-19 grid: 29.2985 arc seconds.
constexpr double kBelgianTurn = 0.0001420431363598774;
constexpr double kBig = 1e9;

double held(double v, double limit) { return std::clamp(v, -limit, limit); }

// Snyder's t; 1e9 where 1 + sin(phi) is 0 (and, in the initialiser, where
// 1 - e sin(phi) is 0).
double lcc_t(double e, double phi, bool init) {
  const double s = std::sin(phi);
  if (1 + s == 0 || (init && 1 - e * s == 0)) return kBig;
  return std::sqrt((1 - s) / (1 + s) * std::pow((1 + e * s) / (1 - e * s), e));
}

bool south(const CoordXform* xf) { return xf->proj_const.word != 0; }

double lcc_rho(const CoordXform* xf, double phi) {
  const double* c = xf->proj_const.c;
  const double t = lcc_t(c[LCC_E], phi, false);
  if (south(xf) && t == 0) return c[LCC_AF] * kBig;
  return c[LCC_AF] * std::pow(t, c[LCC_N]);
}

}  // namespace

void proj_lcc_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2, e = std::sqrt(e2);
  const double lat0 = held(xf->def.params[1], 90.0) * kProjDeg;
  const double lat1 = held(xf->def.params[2], 90.0) * kProjDeg;
  const double lat2 = held(xf->def.params[3], 90.0) * kProjDeg;
  const double t0 = lcc_t(e, lat0, true), t1 = lcc_t(e, lat1, true), t2 = lcc_t(e, lat2, true);
  const double m1 = proj_parallel_radius(e2, lat1), m2 = proj_parallel_radius(e2, lat2);
  double n;
  const double dlt = std::log(t1) - std::log(t2);
  if (m1 == 0 || m2 == 0 || t1 == 0 || t2 == 0 || dlt == 0)
    n = std::sin(lat1);
  else
    n = (std::log(m1) - std::log(m2)) / dlt;
  if (n == 0 || !std::isfinite(n)) n = 1;
  const bool neg = n < 0;
  const double d = neg && t1 == 0 ? n * kBig : n * std::pow(t1, n);
  const double f = d == 0 ? 1.0 : m1 / d;
  c[LCC_LAM0] = xf->origin_lon * kProjDeg;
  c[LCC_E] = e;
  c[LCC_N] = n;
  c[LCC_INV_N] = 1 / n;
  c[LCC_AF] = a * f;
  c[LCC_RHO0] = neg && t0 == 0 ? a * f * kBig : a * f * std::pow(t0, n);
  proj_conformal_coeffs(e2, c + LCC_CONF);
  c[LCC_UNIT] = proj_metre_factor(xf);
  xf->proj_const.word = neg ? 1 : 0;
  xf->lon_span = 90.0 / n;
}

void proj_lcc_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5], unit = c[LCC_UNIT];
  const double turn = xf->type == PROJ_LAMBERT_CONFORMAL_CONIC_BELGIUM ? kBelgianTurn : 0.0;
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    proj_to_radians(&in[i], &r);
    const double rho = lcc_rho(xf, r.y);
    const double theta = c[LCC_N] * (r.x - c[LCC_LAM0]) - turn;
    out[i] = DPoint{rho * std::sin(theta) * unit + fe, (c[LCC_RHO0] - rho * std::cos(theta)) * unit + fn};
  }
}

void proj_lcc_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5], unit = c[LCC_UNIT];
  const double turn = xf->type == PROJ_LAMBERT_CONFORMAL_CONIC_BELGIUM ? kBelgianTurn : 0.0;
  const bool neg = south(xf);
  for (int32_t i = 0; i < count; ++i) {
    double x = (in[i].x - fe) / unit, dy = c[LCC_RHO0] - (in[i].y - fn) / unit;
    double rho = std::sqrt(x * x + dy * dy);
    if (neg) {
      x = -x;
      dy = -dy;
      rho = -rho;
    }
    const double theta = x == 0 && dy == 0 ? 0.0 : std::atan2(x, dy);
    const double ratio = rho / c[LCC_AF];
    const double chi = neg && ratio == 0 ? -kProjHalfPi : kProjHalfPi - 2 * std::atan(std::pow(ratio, c[LCC_INV_N]));
    const DPoint r{c[LCC_LAM0] + (theta + turn) / c[LCC_N], proj_sin_series(c + LCC_CONF, 4, chi)};
    proj_from_radians(&r, &out[i]);
  }
}

double proj_lcc_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double phi = held(lonlat->y, 89.9999) * kProjDeg;
  const double m = proj_parallel_radius(xf->ellipsoid.e2, phi);
  return lcc_rho(xf, phi) * xf->proj_const.c[LCC_N] / (xf->ellipsoid.a * m);
}
