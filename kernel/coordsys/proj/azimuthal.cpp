// Azimuthal projections: Lambert azimuthal equal-area (types 4 and 29,
// ellipsoid or sphere), azimuthal equidistant (5 and 28, sphere),
// stereographic through the conformal latitude (20) and the oblique
// stereographic on the Gauss conformal sphere (31).
#include <algorithm>
#include <cmath>

#include "kernel/coordsys/proj/proj_lib.h"
#include "kernel/coordsys/xform.h"

namespace {

enum LaeaConst {
  LA_LAM0, LA_2A, LA_PHI0, LA_SIN0, LA_COS0, LA_QP, LA_SINB1, LA_COSB1, LA_RQ, LA_D, LA_RHOMAX, LA_PHIMIN, LA_PHIMAX,
  LA_AUTH, LA_UNIT = LA_AUTH + 3, LA_POLAR, LA_COUNT
};
static_assert(LA_COUNT <= kProjConstCount, "azimuthal constants fit proj_const");
// The equidistant projection uses the same slots: LA_2A holds R.

enum StConst { ST_LAM0, ST_E, ST_K0, ST_A1, ST_SINX1, ST_COSX1, ST_P, ST_CONF, ST_UNIT = ST_CONF + 4, ST_COUNT };
static_assert(ST_COUNT <= kProjConstCount, "stereographic constants fit proj_const");

enum DsConst { DS_LAM0, DS_E, DS_N, DS_SINX0, DS_COSX0, DS_K, DS_LAMS0, DS_R, DS_K0, DS_UNIT, DS_COUNT };
static_assert(DS_COUNT <= kProjConstCount, "double stereographic constants fit proj_const");

constexpr double kBig = 1e9;
constexpr double kTwoPi = 2 * kProjPi;

double held(double v, double limit) { return std::clamp(v, -limit, limit); }
double asin_held(double v) { return std::asin(held(v, 1.0)); }

// Polar flag: +1, -1 or 0.
double polar_of(double lat0_deg) { return lat0_deg == 90 ? 1.0 : lat0_deg == -90 ? -1.0 : 0.0; }

// Initialiser part shared by types 4/29 and 5/28.
void disc_init(CoordXform* xf, double rho_max) {
  double* c = xf->proj_const.c;
  const double lat0 = held(xf->def.params[1], 90.0);
  const double u = std::clamp(xf->def.params[2], 1.0, 180.0) * kProjDeg;  // maximum angular radius
  xf->lon_span = 5;
  c[LA_LAM0] = xf->origin_lon * kProjDeg;
  c[LA_PHI0] = lat0 * kProjDeg;
  c[LA_SIN0] = std::sin(c[LA_PHI0]);
  c[LA_COS0] = std::cos(c[LA_PHI0]);
  c[LA_POLAR] = polar_of(lat0);
  c[LA_PHIMIN] = held(c[LA_PHI0] - u, kProjHalfPi);
  c[LA_PHIMAX] = held(c[LA_PHI0] + u, kProjHalfPi);
  c[LA_RHOMAX] = rho_max < 0 ? 2 * xf->ellipsoid.a * std::sin(u / 2) : xf->ellipsoid.a * u;
  c[LA_UNIT] = proj_metre_factor(xf);
}

// Draws points beyond the disc on its rim, then to the definition's units.
DPoint disc_out(const double* c, double x, double y) {
  const double r = std::sqrt(x * x + y * y);
  if (r > c[LA_RHOMAX]) {
    x *= c[LA_RHOMAX] / r;
    y *= c[LA_RHOMAX] / r;
  }
  return DPoint{x * c[LA_UNIT], y * c[LA_UNIT]};
}

// The phi hold and the longitude wrap that end both disc inverses.
void disc_end(const double* c, double lam, double phi, DPoint* out) {
  phi = std::clamp(phi, c[LA_PHIMIN], c[LA_PHIMAX]);
  if (lam > kProjPi)
    lam -= kTwoPi;
  else if (lam < -kProjPi)
    lam += kTwoPi;
  const DPoint r{lam, phi};
  proj_from_radians(&r, out);
}

bool is_sphere(const CoordXform* xf) { return xf->ellipsoid.e2 == 0; }

}  // namespace

// ---- Lambert azimuthal equal-area -------------------------------------------------

void proj_lambert_azimuthal_init(CoordXform* xf) {
  disc_init(xf, -1);
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  c[LA_2A] = 2 * a;
  const double m1 = proj_parallel_radius(e2, c[LA_PHI0]);
  const double q1 = proj_authalic_q(e2, c[LA_PHI0]);
  c[LA_QP] = proj_authalic_q(e2, kProjHalfPi);
  const double b1 = asin_held(q1 / c[LA_QP]);
  c[LA_SINB1] = std::sin(b1);
  c[LA_COSB1] = std::cos(b1);
  c[LA_RQ] = a * std::sqrt(c[LA_QP] / 2);
  c[LA_D] = is_sphere(xf) || c[LA_COSB1] == 0 ? 1.0 : a * m1 / (c[LA_RQ] * c[LA_COSB1]);
  proj_authalic_coeffs(e2, c + LA_AUTH);
}

double proj_lambert_azimuthal_scale(const CoordXform*, const DPoint*) { return 0.9003163161571061; }

void proj_lambert_azimuthal_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    proj_to_radians(&in[i], &r);
    const double dl = r.x - c[LA_LAM0], q = proj_authalic_q(e2, r.y);
    double x, y;
    if (c[LA_POLAR] > 0) {
      const double s = c[LA_QP] - q, rho = s < 0 ? 0 : a * std::sqrt(s);
      x = rho * std::sin(dl);
      y = -rho * std::cos(dl);
    } else if (c[LA_POLAR] < 0) {
      const double s = c[LA_QP] + q, rho = s < 0 ? 0 : a * std::sqrt(s);
      x = rho * std::sin(dl);
      y = rho * std::cos(dl);
    } else {
      const double b = asin_held(q / c[LA_QP]), sb = std::sin(b), cb = std::cos(b);
      const double den = 1 + c[LA_SINB1] * sb + c[LA_COSB1] * cb * std::cos(dl);
      const double bb = c[LA_RQ] * std::sqrt(den > 0 ? 2 / den : kBig);
      x = bb * c[LA_D] * cb * std::sin(dl);
      y = (bb / c[LA_D]) * (c[LA_COSB1] * sb - c[LA_SINB1] * cb * std::cos(dl));
    }
    out[i] = disc_out(c, x, y);
  }
}

void proj_lambert_azimuthal_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a;
  const bool sphere = is_sphere(xf);
  const double polar = c[LA_POLAR];
  for (int32_t i = 0; i < count; ++i) {
    const double x = in[i].x / c[LA_UNIT], y = in[i].y / c[LA_UNIT];
    double lam = c[LA_LAM0], phi;
    if (sphere) {
      const double rho = std::sqrt(x * x + y * y);
      if (rho == 0) {
        phi = c[LA_PHI0];
      } else {
        const double cc = 2 * asin_held(rho / (2 * a)), sc = std::sin(cc), co = std::cos(cc);
        if (polar != 0) {
          lam += std::atan2(x, -polar * y);
          phi = asin_held(co * c[LA_SIN0]);
        } else {
          lam += std::atan2(x * sc, rho * c[LA_COS0] * co - y * c[LA_SIN0] * sc);
          phi = asin_held(co * c[LA_SIN0] + y * sc * c[LA_COS0] / rho);
        }
      }
    } else {
      const double d = c[LA_D];
      const double rho = std::sqrt((x / d) * (x / d) + (d * y) * (d * y));
      double beta;
      if (rho == 0) {
        beta = std::asin(c[LA_SINB1]);
      } else if (polar != 0) {
        beta = polar * asin_held(1 - (x * x + y * y) / (a * a * c[LA_QP]));
        lam += std::atan2(x, -polar * y);
      } else {
        const double ce = 2 * asin_held(rho / (2 * c[LA_RQ])), sc = std::sin(ce), co = std::cos(ce);
        beta = asin_held(co * c[LA_SINB1] + d * y * sc * c[LA_COSB1] / rho);
        lam += std::atan2(x * sc, d * rho * c[LA_COSB1] * co - d * d * y * c[LA_SINB1] * sc);
      }
      phi = proj_sin_series(c + LA_AUTH, 3, beta);
    }
    disc_end(c, lam, phi, &out[i]);
  }
}

// ---- azimuthal equidistant (sphere) ------------------------------------------------

void proj_azimuthal_equidistant_init(CoordXform* xf) {
  disc_init(xf, 1);
  xf->proj_const.c[LA_2A] = xf->ellipsoid.a;  // R
}

void proj_azimuthal_equidistant_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double r = c[LA_2A];
  for (int32_t i = 0; i < count; ++i) {
    DPoint p;
    proj_to_radians(&in[i], &p);
    const double dl = p.x - c[LA_LAM0], phi = p.y;
    double x, y;
    if (c[LA_POLAR] > 0) {
      x = r * (kProjHalfPi - phi) * std::sin(dl);
      y = -r * (kProjHalfPi - phi) * std::cos(dl);
    } else if (c[LA_POLAR] < 0) {
      x = r * (kProjHalfPi + phi) * std::sin(dl);
      y = r * (kProjHalfPi + phi) * std::cos(dl);
    } else {
      const double sp = std::sin(phi), cp = std::cos(phi), cd = std::cos(dl);
      const double cosc = c[LA_SIN0] * sp + c[LA_COS0] * cp * cd;
      double k = 1;
      if (cosc < 1) {
        const double cc = std::acos(std::max(cosc, -1.0)), s = std::sin(cc);
        k = s == 0 ? kBig : cc / s;
      }
      x = r * k * cp * std::sin(dl);
      y = r * k * (c[LA_COS0] * sp - c[LA_SIN0] * cp * cd);
    }
    out[i] = disc_out(c, x, y);
  }
}

void proj_azimuthal_equidistant_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double r = c[LA_2A], polar = c[LA_POLAR];
  for (int32_t i = 0; i < count; ++i) {
    const double x = held(in[i].x / c[LA_UNIT], kBig), y = held(in[i].y / c[LA_UNIT], kBig);
    const double rho = std::sqrt(x * x + y * y);
    double lam = c[LA_LAM0], phi = c[LA_PHI0];
    if (rho != 0) {
      const double cc = rho / r, sc = std::sin(cc), co = std::cos(cc);
      if (polar != 0) {
        lam += std::atan2(x, -polar * y);
        phi = asin_held(co * c[LA_SIN0]);
      } else {
        lam += std::atan2(x * sc, rho * c[LA_COS0] * co - y * c[LA_SIN0] * sc);
        phi = asin_held(c[LA_SIN0] * co + y * sc * c[LA_COS0] / rho);
      }
    }
    disc_end(c, lam, phi, &out[i]);
  }
}

// ---- stereographic (conformal latitude) ------------------------------------------------

namespace {

bool st_polar(const CoordXform* xf) { return xf->proj_const.word & 1; }
bool st_south(const CoordXform* xf) { return xf->proj_const.word & 2; }

// (1 - e sin phi)/(1 + e sin phi) to the power e/2.
double e_factor(double e, double phi) {
  const double s = e * std::sin(phi);
  return std::pow((1 - s) / (1 + s), e / 2);
}

double conformal_lat(double e, double phi) {
  return 2 * std::atan(std::tan(kProjPi / 4 + phi / 2) * e_factor(e, phi)) - kProjHalfPi;
}

// A of the oblique forward (1e9 when B is 0) and chi at (dl, phi).
double st_big_a(const double* c, double dl, double phi, double* chi) {
  *chi = conformal_lat(c[ST_E], phi);
  const double b = c[ST_COSX1] * (1 + c[ST_SINX1] * std::sin(*chi) + c[ST_COSX1] * std::cos(*chi) * std::cos(dl));
  return b == 0 ? kBig : c[ST_A1] / b;
}

double st_polar_rho(const double* c, double phi) {
  return c[ST_P] * std::tan(kProjPi / 4 - phi / 2) / e_factor(c[ST_E], phi);
}

}  // namespace

void proj_stereographic_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2, e = std::sqrt(e2);
  const double lat0 = held(xf->def.params[1], 90.0);
  double phi0 = lat0 * kProjDeg, lam0 = xf->origin_lon * kProjDeg;
  const bool polar = lat0 == 90 || lat0 == -90 || std::cos(phi0) == 0;
  const bool south = polar && lat0 < 0;
  xf->proj_const.word = static_cast<int16_t>((polar ? 1 : 0) | (south ? 2 : 0));
  xf->lon_span = 90;
  if (south) {
    phi0 = -phi0;
    lam0 = -lam0;
  }
  const double k0 = xf->def.params[2] == 0 ? 1.0 : xf->def.params[2];
  const double s0 = std::sin(phi0);
  c[ST_LAM0] = lam0;
  c[ST_E] = e;
  c[ST_K0] = k0;
  c[ST_A1] = polar ? 0.0 : 2 * a * k0 * std::cos(phi0) / std::sqrt(1 - e2 * s0 * s0);
  const double x1 = conformal_lat(e, phi0);
  c[ST_SINX1] = std::sin(x1);
  c[ST_COSX1] = std::cos(x1);
  c[ST_P] = 2 * a * k0 / std::sqrt(std::pow(1 + e, 1 + e) * std::pow(1 - e, 1 - e));
  proj_conformal_coeffs(e2, c + ST_CONF);
  c[ST_UNIT] = proj_metre_factor(xf);
}

void proj_stereographic_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[3], fn = xf->def.params[4];
  const bool polar = st_polar(xf), south = st_south(xf);
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    proj_to_radians(&in[i], &r);
    if (south) r = DPoint{-r.x, -r.y};
    const double dl = r.x - c[ST_LAM0];
    double x, y;
    if (polar) {
      const double rho = st_polar_rho(c, r.y);
      x = rho * std::sin(dl);
      y = -rho * std::cos(dl);
      if (south) {
        x = -x;
        y = -y;
      }
    } else {
      double chi;
      const double aa = st_big_a(c, dl, r.y, &chi);
      x = aa * std::cos(chi) * std::sin(dl);
      y = aa * (c[ST_COSX1] * std::sin(chi) - c[ST_SINX1] * std::cos(chi) * std::cos(dl));
    }
    out[i] = DPoint{x * c[ST_UNIT] + fe, y * c[ST_UNIT] + fn};
  }
}

void proj_stereographic_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[3], fn = xf->def.params[4];
  const bool polar = st_polar(xf), south = st_south(xf);
  for (int32_t i = 0; i < count; ++i) {
    double x = (in[i].x - fe) / c[ST_UNIT], y = (in[i].y - fn) / c[ST_UNIT];
    if (south) {
      x = -x;
      y = -y;
    }
    const double rho = std::sqrt(x * x + y * y);
    double lam = c[ST_LAM0], chi;
    if (rho == 0) {
      chi = polar ? kProjHalfPi : std::asin(c[ST_SINX1]);
    } else if (polar) {
      chi = kProjHalfPi - 2 * std::atan(rho / c[ST_P]);
      lam += std::atan2(x, -y);
    } else {
      const double ce = 2 * std::atan2(rho * c[ST_COSX1], c[ST_A1]), sc = std::sin(ce), co = std::cos(ce);
      chi = asin_held(co * c[ST_SINX1] + y * sc * c[ST_COSX1] / rho);
      const double ny = x * sc, nx = rho * c[ST_COSX1] * co - y * c[ST_SINX1] * sc;
      lam += ny == 0 && nx == 0 ? 0.0 : std::atan2(ny, nx);
    }
    double phi = proj_sin_series(c + ST_CONF, 4, chi);
    if (south) {
      lam = -lam;
      phi = -phi;
    }
    const DPoint r{lam, phi};
    proj_from_radians(&r, &out[i]);
  }
}

double proj_stereographic_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double* c = xf->proj_const.c;
  const bool south = st_south(xf);
  double phi = held(lonlat->y, 89.9999) * kProjDeg, lam = held(lonlat->x, 360.0) * kProjDeg;
  if (south) {
    phi = -phi;
    lam = -lam;
  }
  const double am = xf->ellipsoid.a * proj_parallel_radius(xf->ellipsoid.e2, phi);
  if (st_polar(xf)) return st_polar_rho(c, phi) / am;
  double chi;
  const double aa = st_big_a(c, lam - c[ST_LAM0], phi, &chi);
  return aa * std::cos(chi) / am;
}

// ---- double stereographic ----------------------------------------------------------------

namespace {

// Gauss conformal sphere: (Lambda, chi) of (lam, phi).
DPoint ds_to_sphere(const double* c, double lam, double phi) {
  const double t = std::tan(kProjPi / 4 + phi / 2) * e_factor(c[DS_E], phi);
  return DPoint{c[DS_N] * lam, 2 * std::atan(c[DS_K] * std::pow(t, c[DS_N])) - kProjHalfPi};
}

// Latitude of conformal-sphere latitude chi by Newton's method (30 steps at most).
double ds_newton(const double* c, double e2, double chi) {
  const double e = c[DS_E], n = c[DS_N], k = c[DS_K];
  const double target = std::tan(kProjPi / 4 + chi / 2);
  double phi = chi;
  for (int i = 0; i < 30; ++i) {
    const double tq = std::tan(kProjPi / 4 + phi / 2), w = e_factor(e, phi), t = w * tq;
    const double f = k * std::pow(t, n) - target;
    const double sec = 1 / std::cos(kProjPi / 4 + phi / 2), s = std::sin(phi);
    const double df = k * n * w * std::pow(t, n - 1) * (sec * sec / 2 - e2 * tq * std::cos(phi) / (1 - e2 * s * s));
    const double step = df == 0 ? 0.0 : f / df;
    if (!std::isfinite(step)) break;
    phi -= step;
    if (std::fabs(step) <= 1e-12) break;
  }
  return phi;
}

}  // namespace

void proj_double_stereo_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2, e = std::sqrt(e2);
  const double phi0 = held(xf->def.params[1], 90.0) * kProjDeg;
  const double cp = std::cos(phi0), s0 = std::sin(phi0);
  xf->lon_span = 90;
  c[DS_LAM0] = xf->origin_lon * kProjDeg;
  c[DS_E] = e;
  c[DS_N] = std::sqrt(1 + e2 * cp * cp * cp * cp / (1 - e2));
  const double x0 = asin_held(s0 / c[DS_N]);
  c[DS_SINX0] = std::sin(x0);
  c[DS_COSX0] = std::cos(x0);
  c[DS_K] = std::tan(kProjPi / 4 + x0 / 2) * std::pow(std::tan(kProjPi / 4 + phi0 / 2) * e_factor(e, phi0), -c[DS_N]);
  c[DS_LAMS0] = c[DS_N] * c[DS_LAM0];
  const double w = 1 - e2 * s0 * s0;
  c[DS_R] = std::sqrt(a * (1 - e2) / (w * std::sqrt(w)) * a / std::sqrt(w));
  c[DS_K0] = xf->def.params[2];
  c[DS_UNIT] = proj_metre_factor(xf);
}

void proj_double_stereo_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[3], fn = xf->def.params[4];
  const double r2k = 2 * c[DS_R] * c[DS_K0];
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    proj_to_radians(&in[i], &r);
    const DPoint s = ds_to_sphere(c, r.x, r.y);
    const double dl = s.x - c[DS_LAMS0], sx = std::sin(s.y), cx = std::cos(s.y);
    double b = 1 + sx * c[DS_SINX0] + cx * c[DS_COSX0] * std::cos(dl);
    if (b == 0) b = 1;
    const double x = r2k * cx * std::sin(dl) / b;
    const double y = r2k * (sx * c[DS_COSX0] - cx * c[DS_SINX0] * std::cos(dl)) / b;
    out[i] = DPoint{x * c[DS_UNIT] + fe, y * c[DS_UNIT] + fn};
  }
}

void proj_double_stereo_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[3], fn = xf->def.params[4];
  for (int32_t i = 0; i < count; ++i) {
    const double xx = (in[i].x - fe) / c[DS_UNIT] / c[DS_K0], yy = (in[i].y - fn) / c[DS_UNIT] / c[DS_K0];
    const double rho = std::sqrt(xx * xx + yy * yy);
    const double cc = 2 * std::atan(rho / (2 * c[DS_R])), sc = std::sin(cc), co = std::cos(cc);
    const double sy = rho == 0 ? 0.0 : yy / rho, sx = rho == 0 ? 1.0 : xx / rho;
    const double chi = asin_held(c[DS_SINX0] * co + c[DS_COSX0] * sc * sy);
    const double cx = std::cos(chi);
    const double lams = cx != 0 ? c[DS_LAMS0] + asin_held(sc * sx / cx) : c[DS_LAMS0];
    const DPoint r{lams / c[DS_N], ds_newton(c, xf->ellipsoid.e2, chi)};
    proj_from_radians(&r, &out[i]);
  }
}

double proj_double_stereo_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double* c = xf->proj_const.c;
  DPoint r;
  proj_to_radians(lonlat, &r);
  const DPoint s = ds_to_sphere(c, r.x, r.y);
  const double b = 1 + c[DS_SINX0] * std::sin(s.y) + c[DS_COSX0] * std::cos(s.y) * std::cos(s.x - c[DS_LAMS0]);
  const double cp = std::cos(r.y);
  if (cp * b == 0) return 1.0;
  const double sp = std::sin(r.y), nu = xf->ellipsoid.a / std::sqrt(1 - xf->ellipsoid.e2 * sp * sp);
  return 2 * c[DS_R] * c[DS_K0] * c[DS_N] * std::cos(s.y) / (b * cp * nu);
}
