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

// lat0, lat1 and lat2 held within +-90 degrees, in radians.
void cone_lats(const CoordXform* xf, double* lat0, double* lat1, double* lat2) {
  *lat0 = held(xf->def.params[1], 90.0) * kProjDeg;
  *lat1 = held(xf->def.params[2], 90.0) * kProjDeg;
  *lat2 = held(xf->def.params[3], 90.0) * kProjDeg;
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
  double lat0, lat1, lat2;
  cone_lats(xf, &lat0, &lat1, &lat2);
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

// ---- shared by the cones ---------------------------------------------------------

namespace {

// theta and rho of the inverse of a cone with apex at (0, rho0): the signs
// turn for a southern cone (n < 0).
void cone_polar(double x, double y, double rho0, bool neg, double* theta, double* rho) {
  double dy = rho0 - y;
  *rho = std::sqrt(x * x + dy * dy);
  if (neg) {
    x = -x;
    dy = -dy;
    *rho = -*rho;
  }
  *theta = x == 0 && dy == 0 ? 0.0 : std::atan2(x, dy);
}

DPoint cone_xy(double rho, double theta, double rho0) { return DPoint{rho * std::sin(theta), rho0 - rho * std::cos(theta)}; }

// n from the standard parallels, sin(lat1) where the formula has no answer,
// and 1 where it gives 0.
double cone_n(double num, double den, double lat1) {
  const double n = den == 0 ? std::sin(lat1) : num / den;
  return n == 0 || !std::isfinite(n) ? 1.0 : n;
}

}  // namespace

// ---- equidistant conic ------------------------------------------------------------

namespace {
enum EqcConst { EQ_LAM0, EQ_MER, EQ_N = EQ_MER + 4, EQ_AG, EQ_RHO0, EQ_FOOT, EQ_UNIT = EQ_FOOT + 4, EQ_COUNT };
static_assert(EQ_COUNT <= kProjConstCount, "equidistant conic constants fit proj_const");
}  // namespace

void proj_equidistant_conic_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  double lat0, lat1, lat2;
  cone_lats(xf, &lat0, &lat1, &lat2);
  proj_meridian_coeffs(a, e2, c + EQ_MER);
  const double m0 = proj_meridian_dist(c + EQ_MER, lat0), mm1 = proj_meridian_dist(c + EQ_MER, lat1),
               mm2 = proj_meridian_dist(c + EQ_MER, lat2);
  const double m1 = proj_parallel_radius(e2, lat1), m2 = proj_parallel_radius(e2, lat2);
  const double n = cone_n(a * (m1 - m2), mm2 - mm1, lat1);
  c[EQ_LAM0] = xf->origin_lon * kProjDeg;
  c[EQ_N] = n;
  c[EQ_AG] = a * (m1 / n + mm1 / a);
  c[EQ_RHO0] = c[EQ_AG] - m0;
  proj_footpoint_coeffs(e2, c + EQ_FOOT);
  c[EQ_UNIT] = proj_metre_factor(xf);
  xf->proj_const.word = n < 0 ? 1 : 0;
  xf->lon_span = 90.0 / n;
}

void proj_equidistant_conic_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5];
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    proj_to_radians(&in[i], &r);
    const DPoint p = cone_xy(c[EQ_AG] - proj_meridian_dist(c + EQ_MER, r.y), c[EQ_N] * (r.x - c[EQ_LAM0]), c[EQ_RHO0]);
    out[i] = DPoint{p.x * c[EQ_UNIT] + fe, p.y * c[EQ_UNIT] + fn};
  }
}

void proj_equidistant_conic_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5];
  for (int32_t i = 0; i < count; ++i) {
    const double x = held((in[i].x - fe) / c[EQ_UNIT], kBig), y = held((in[i].y - fn) / c[EQ_UNIT], kBig);
    double theta, rho;
    cone_polar(x, y, c[EQ_RHO0], south(xf), &theta, &rho);
    const DPoint r{c[EQ_LAM0] + theta / c[EQ_N], proj_sin_series(c + EQ_FOOT, 4, (c[EQ_AG] - rho) / c[EQ_MER])};
    proj_from_radians(&r, &out[i]);
  }
}

double proj_equidistant_conic_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double* c = xf->proj_const.c;
  const double phi = held(lonlat->y, 89.9999) * kProjDeg;
  return (c[EQ_AG] - proj_meridian_dist(c + EQ_MER, phi)) * c[EQ_N] /
         (xf->ellipsoid.a * proj_parallel_radius(xf->ellipsoid.e2, phi));
}

// ---- Albers equal-area conic ----------------------------------------------------------

namespace {
enum AlbConst { AL_LAM0, AL_N, AL_A_N, AL_N2_A2, AL_C, AL_RHO0, AL_QP, AL_AUTH, AL_UNIT = AL_AUTH + 3, AL_COUNT };
static_assert(AL_COUNT <= kProjConstCount, "Albers constants fit proj_const");

double albers_rho(const double* c, double q) {
  const double s = c[AL_C] - c[AL_N] * q;
  return s > 0 ? c[AL_A_N] * std::sqrt(s) : 0.0;
}
}  // namespace

void proj_albers_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  double lat0, lat1, lat2;
  cone_lats(xf, &lat0, &lat1, &lat2);
  const double q0 = proj_authalic_q(e2, lat0), q1 = proj_authalic_q(e2, lat1), q2 = proj_authalic_q(e2, lat2);
  const double m1 = proj_parallel_radius(e2, lat1), m2 = proj_parallel_radius(e2, lat2);
  const double n = cone_n(m1 * m1 - m2 * m2, q2 - q1, lat1);
  c[AL_LAM0] = xf->origin_lon * kProjDeg;
  c[AL_N] = n;
  c[AL_A_N] = a / n;
  c[AL_N2_A2] = n * n / (a * a);
  c[AL_C] = m1 * m1 + n * q1;
  c[AL_RHO0] = albers_rho(c, q0);
  c[AL_QP] = proj_authalic_q(e2, kProjHalfPi);
  proj_authalic_coeffs(e2, c + AL_AUTH);
  c[AL_UNIT] = proj_metre_factor(xf);
  xf->proj_const.word = n < 0 ? 1 : 0;
  xf->lon_span = 90.0 / n;
}

void proj_albers_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5], e2 = xf->ellipsoid.e2;
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    proj_to_radians(&in[i], &r);
    const DPoint p = cone_xy(albers_rho(c, proj_authalic_q(e2, r.y)), c[AL_N] * (r.x - c[AL_LAM0]), c[AL_RHO0]);
    out[i] = DPoint{p.x * c[AL_UNIT] + fe, p.y * c[AL_UNIT] + fn};
  }
}

void proj_albers_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5];
  for (int32_t i = 0; i < count; ++i) {
    const double x = (in[i].x - fe) / c[AL_UNIT], y = (in[i].y - fn) / c[AL_UNIT];
    double theta, rho;
    cone_polar(x, y, c[AL_RHO0], south(xf), &theta, &rho);
    const double q = (c[AL_C] - rho * rho * c[AL_N2_A2]) / c[AL_N];
    const double beta = std::asin(held(q / c[AL_QP], 1.0));
    const DPoint r{c[AL_LAM0] + theta / c[AL_N], proj_sin_series(c + AL_AUTH, 3, beta)};
    proj_from_radians(&r, &out[i]);
  }
}

double proj_albers_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double* c = xf->proj_const.c;
  const double phi = held(lonlat->y, 89.9999) * kProjDeg;
  const double s = c[AL_C] - c[AL_N] * proj_authalic_q(xf->ellipsoid.e2, phi);
  return s > 0 ? std::sqrt(s) / proj_parallel_radius(xf->ellipsoid.e2, phi) : 0.0;
}

// ---- American polyconic ------------------------------------------------------------------

namespace {
enum PolyConst { PC_LAM0, PC_MER, PC_DMER = PC_MER + 4, PC_M0 = PC_DMER + 4, PC_UNIT, PC_COUNT };
static_assert(PC_COUNT <= kProjConstCount, "polyconic constants fit proj_const");

constexpr int kPolyRestarts = 10;
constexpr int kPolySteps = 100;
}  // namespace

void proj_polyconic_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a;
  xf->lon_span = 90;
  c[PC_LAM0] = xf->origin_lon * kProjDeg;
  proj_meridian_coeffs(a, xf->ellipsoid.e2, c + PC_MER);
  // M'(phi)/a = d0 - d1 cos 2phi + d2 cos 4phi - d3 cos 6phi
  for (int k = 0; k < 4; ++k) c[PC_DMER + k] = (k == 0 ? 1 : 2 * k) * c[PC_MER + k] / a;
  c[PC_M0] = proj_meridian_dist(c + PC_MER, held(xf->def.params[1], 90.0) * kProjDeg);
  c[PC_UNIT] = proj_metre_factor(xf);
}

void proj_polyconic_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  const double fe = xf->def.params[2], fn = xf->def.params[3];
  for (int32_t i = 0; i < count; ++i) {
    const double dl = held(in[i].x - xf->origin_lon, 180.0) * kProjDeg;
    const double phi = held(in[i].y, 90.0) * kProjDeg;
    double x, y;
    if (phi == 0) {
      x = a * dl;
      y = -c[PC_M0];
    } else {
      const double sp = std::sin(phi), ee = dl * sp, n = a / std::sqrt(1 - e2 * sp * sp);
      const double cot = std::cos(phi) / sp;
      x = n * cot * std::sin(ee);
      y = proj_meridian_dist(c + PC_MER, phi) - c[PC_M0] + n * cot * (1 - std::cos(ee));
    }
    out[i] = DPoint{x * c[PC_UNIT] + fe, y * c[PC_UNIT] + fn};
  }
}

void proj_polyconic_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  const double fe = xf->def.params[2], fn = xf->def.params[3];
  for (int32_t i = 0; i < count; ++i) {
    double x = (in[i].x - fe) / c[PC_UNIT];
    const double y = (in[i].y - fn) / c[PC_UNIT];
    DPoint r;
    if (y == -c[PC_M0]) {
      r = DPoint{c[PC_LAM0] + x / a, 0};
    } else {
      const double aa = (c[PC_M0] + y) / a;
      double phi = aa, cc = 0;
      // Newton's iteration; a point where it does not settle moves 100 m
      // toward the central meridian and starts again, at most 10 times.
      for (int restart = 0; restart <= kPolyRestarts; ++restart) {
        const double b = x * x / (a * a) + aa * aa;
        phi = aa;
        bool settled = false;
        for (int step = 0; step < kPolySteps; ++step) {
          const double s = std::sin(phi), s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
          cc = std::sqrt(1 - e2 * s * s) * std::tan(phi);
          const double ma = proj_meridian_dist(c + PC_MER, phi) / a;
          const double mp = c[PC_DMER] - c[PC_DMER + 1] * c2 + c[PC_DMER + 2] * std::cos(4 * phi) -
                            c[PC_DMER + 3] * std::cos(6 * phi);
          const double j = ma * ma + b;
          const double num = aa * (cc * ma + 1) - ma - j * cc / 2;
          const double den = e2 * s2 * (j - 2 * aa * ma) * cc / 4 + (aa - ma) * (cc * mp - 2 / s2) - mp;
          const double d = num / den;
          if (!std::isfinite(d)) {
            settled = true;  // nothing better comes from here: keep the estimate
            break;
          }
          phi -= d;
          if (d > -1e-7 && d < 1e-7) {
            settled = true;
            break;
          }
        }
        if (settled || restart == kPolyRestarts) break;
        x += x < 0 ? 100 : -100;
      }
      const double s = std::sin(phi);
      cc = std::sqrt(1 - e2 * s * s) * std::tan(phi);
      r = DPoint{c[PC_LAM0] + std::asin(held(cc * x / a, 1.0)) / s, phi};
    }
    proj_from_radians(&r, &out[i]);
  }
}
