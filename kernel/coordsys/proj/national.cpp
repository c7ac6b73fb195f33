// National grids with formulas of their own: the New Zealand map grid
// (type 18), a complex-polynomial conformal projection with the small complex
// arithmetic it needs, and the Krovak oblique conformal conic (type 32).
#include <algorithm>
#include <cmath>

#include "kernel/coordsys/proj/proj_lib.h"
#include "kernel/runtime/rect.h"

// ---- complex numbers ----------------------------------------------------------------

GeoComplex geodist_complex_make(double re, double im) { return GeoComplex{re, im}; }
GeoComplex geodist_complex_scale(GeoComplex z, double k) { return GeoComplex{z.re * k, z.im * k}; }
GeoComplex geodist_complex_add(GeoComplex a, GeoComplex b) { return GeoComplex{a.re + b.re, a.im + b.im}; }
GeoComplex geodist_complex_mul(GeoComplex a, GeoComplex b) {
  return GeoComplex{a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
GeoComplex geodist_complex_div(GeoComplex n, GeoComplex d) {
  if (d.re == 0 && d.im == 0) return GeoComplex{0, 0};
  if (std::fabs(d.re) >= std::fabs(d.im)) {
    const double r = d.im / d.re, s = d.re + d.im * r;
    return GeoComplex{(n.re + n.im * r) / s, (n.im - n.re * r) / s};
  }
  const double r = d.re / d.im, s = d.im + d.re * r;
  return GeoComplex{(n.re * r + n.im) / s, (n.im * r - n.re) / s};
}
double geodist_complex_abs(GeoComplex z) { return std::sqrt(z.re * z.re + z.im * z.im); }

namespace {

double held(double v, double limit) { return std::clamp(v, -limit, limit); }

// ---- New Zealand map grid ------------------------------------------------------------

enum NzConst { NZ_LAM0, NZ_LAT0, NZ_RECT, NZ_XYRECT = NZ_RECT + 4, NZ_UNIT = NZ_XYRECT + 4, NZ_COUNT };
static_assert(NZ_COUNT <= kProjConstCount, "New Zealand grid constants fit proj_const");

constexpr double kNzA[11] = {0,         0.6399175073, -0.1358797613, 0.063294409, -0.02526853, 0.0117879,
                             -0.0055161, 0.0026906,   -0.001333,     0.00067,     -0.00034};
constexpr GeoComplex kNzB[7] = {{0, 0},
                                {0.7557853228, 0},
                                {0.249204646, 0.003371507},
                                {-0.001541739, 0.04105856},
                                {-0.10162907, 0.01727609},
                                {-0.26623489, -0.36249218},
                                {-0.6870983, -1.1651967}};
constexpr GeoComplex kNzC[7] = {{0, 0},
                                {1.3231270439, 0},
                                {-0.577245789, -0.007809598},
                                {0.508307513, -0.112208952},
                                {-0.15094762, 0.18200602},
                                {1.01418179, 1.64497696},
                                {1.9660549, 2.5127645}};
constexpr double kNzD[10] = {0,        1.5627014243, 0.5185406398, -0.03333098, -0.1052906,
                             -0.0368594, 0.007317,    0.0122,       0.00394,     -0.0013};
constexpr double kNzE[8] = {1.3230946238, -0.8680281742, 0.6629999306, -0.14371346,
                            0.05551665,   -0.00729966,   0.001708,     -0.00021};

double power_sum(const double* k, int last, double x) {
  double r = 0, p = 1;
  for (int n = 0; n <= last; ++n, p *= x) r += k[n] * p;
  return r;
}

// psi and zeta of a point held inside the validity rectangle.
GeoComplex nz_zeta(const double* c, const DPoint& in, double* psi) {
  DPoint p = in;
  const DRect r{c[NZ_RECT], c[NZ_RECT + 1], c[NZ_RECT + 2], c[NZ_RECT + 3]};
  point_clamp_to_drect(&p, &r);
  *psi = power_sum(kNzA, 10, (p.y - c[NZ_LAT0]) * 0.036);
  return GeoComplex{*psi, p.x * kProjDeg - c[NZ_LAM0]};
}

// Sum over n = 1..6 of B_n zeta^n, and of n B_n zeta^(n-1) in *derivative.
GeoComplex nz_b_series(GeoComplex zeta, GeoComplex* derivative) {
  GeoComplex sum{0, 0}, der{0, 0}, pw{1, 0};  // pw = zeta^(n-1)
  for (int n = 1; n <= 6; ++n) {
    der = geodist_complex_add(der, geodist_complex_scale(geodist_complex_mul(kNzB[n], pw), n));
    pw = geodist_complex_mul(pw, zeta);
    sum = geodist_complex_add(sum, geodist_complex_mul(kNzB[n], pw));
  }
  if (derivative != nullptr) *derivative = der;
  return sum;
}

}  // namespace

void proj_nzmg_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double lon0 = xf->origin_lon, lat0 = held(xf->def.params[1], 90.0);
  xf->lon_span = 0;
  c[NZ_LAM0] = lon0 * kProjDeg;
  c[NZ_LAT0] = lat0;
  c[NZ_RECT] = held(lon0 - 15, 360.0);
  c[NZ_RECT + 1] = held(lat0 - 15, 90.0);
  c[NZ_RECT + 2] = held(lon0 + 15, 360.0);
  c[NZ_RECT + 3] = held(lat0 + 15, 90.0);
  c[NZ_UNIT] = proj_metre_factor(xf);
  // The projected validity rectangle, through the operations already installed.
  const DRect r{c[NZ_RECT], c[NZ_RECT + 1], c[NZ_RECT + 2], c[NZ_RECT + 3]};
  DRect xy;
  xf->forward_rect_fn(&r, &xy, xf);
  c[NZ_XYRECT] = xy.x1;
  c[NZ_XYRECT + 1] = xy.y1;
  c[NZ_XYRECT + 2] = xy.x2;
  c[NZ_XYRECT + 3] = xy.y2;
}

void proj_nzmg_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, fe = xf->def.params[2], fn = xf->def.params[3];
  for (int32_t i = 0; i < count; ++i) {
    double psi;
    const GeoComplex z = nz_b_series(nz_zeta(c, in[i], &psi), nullptr);
    out[i] = DPoint{a * z.im * c[NZ_UNIT] + fe, a * z.re * c[NZ_UNIT] + fn};
  }
}

void proj_nzmg_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, fe = xf->def.params[2], fn = xf->def.params[3];
  const DRect xy{c[NZ_XYRECT], c[NZ_XYRECT + 1], c[NZ_XYRECT + 2], c[NZ_XYRECT + 3]};
  for (int32_t i = 0; i < count; ++i) {
    DPoint p = in[i];
    point_clamp_to_drect(&p, &xy);
    const GeoComplex z{(p.y - fn) / c[NZ_UNIT] / a, (p.x - fe) / c[NZ_UNIT] / a};
    GeoComplex z0{0, 0}, pw{1, 0};
    for (int n = 1; n <= 6; ++n) {
      pw = geodist_complex_mul(pw, z);
      z0 = geodist_complex_add(z0, geodist_complex_mul(kNzC[n], pw));
    }
    // One Newton-Raphson step.
    GeoComplex num = z, pz = geodist_complex_mul(z0, z0);
    for (int n = 2; n <= 6; ++n) {
      num = geodist_complex_add(num, geodist_complex_scale(geodist_complex_mul(kNzB[n], pz), n - 1));
      pz = geodist_complex_mul(pz, z0);
    }
    GeoComplex den;
    nz_b_series(z0, &den);
    const GeoComplex zeta = geodist_complex_div(num, den);
    const double dphi = power_sum(kNzD, 9, zeta.re);
    out[i] = DPoint{(zeta.im + c[NZ_LAM0]) / kProjDeg, c[NZ_LAT0] + dphi / 0.036};
  }
}

double proj_nzmg_scale(const CoordXform* xf, const DPoint* lonlat) {
  double psi;
  GeoComplex der;
  nz_b_series(nz_zeta(xf->proj_const.c, *lonlat, &psi), &der);
  return geodist_complex_abs(der) * power_sum(kNzE, 7, psi);
}

// ---- Krovak ----------------------------------------------------------------------------

namespace {

enum KrConst { KV_LAM0, KV_PHIP, KV_SINAC, KV_COSAC, KV_AC, KV_N, KV_E, KV_ALPHA, KV_T0, KV_A, KV_RHO0, KV_UNIT, KV_COUNT };
static_assert(KV_COUNT <= kProjConstCount, "Krovak constants fit proj_const");

// T on the oblique cone of a longitude/latitude in degrees (prime meridian
// not yet added).
double krovak_t(const CoordXform* xf, const DPoint& lonlat, double* d) {
  const double* c = xf->proj_const.c;
  const DPoint g{lonlat.x + xf->def.datum.prime_meridian, lonlat.y};
  DPoint r;
  proj_to_radians(&g, &r);
  double u, v;
  proj_krovak_to_sphere(xf, r.x, r.y, &u, &v);
  u = std::min(u, kProjHalfPi - c[KV_AC]);
  const double t = std::asin(held(c[KV_COSAC] * std::sin(u) + c[KV_SINAC] * std::cos(u) * std::cos(v), 1.0));
  *d = std::asin(held(std::cos(u) * std::sin(v) / std::cos(t), 1.0));
  return t;
}

double krovak_rho(const double* c, double t) {
  return c[KV_RHO0] * std::pow(std::tan(c[KV_PHIP] / 2 + kProjPi / 4) / std::tan(t / 2 + kProjPi / 4), c[KV_N]);
}

}  // namespace

void proj_krovak_to_sphere(const CoordXform* xf, double lam, double phi, double* u, double* v) {
  const double* c = xf->proj_const.c;
  const double e = c[KV_E], s = e * std::sin(phi);
  const double w = std::tan(phi / 2 + kProjPi / 4) * std::pow((1 - s) / (1 + s), e / 2);
  *u = 2 * std::atan(c[KV_T0] * std::pow(w, c[KV_ALPHA])) - kProjHalfPi;
  *v = c[KV_ALPHA] * (c[KV_LAM0] - lam);
}

double proj_krovak_lat_step(const CoordXform* xf, double u, double phi) {
  const double* c = xf->proj_const.c;
  const double e = c[KV_E], s = e * std::sin(phi), al = c[KV_ALPHA];
  return 2 * std::atan(std::pow(c[KV_T0], -1 / al) * std::pow(std::tan(u / 2 + kProjPi / 4), 1 / al) *
                       std::pow((1 + s) / (1 - s), e / 2)) -
         kProjHalfPi;
}

void proj_krovak_from_sphere(const CoordXform* xf, double u, double v, double* lam, double* phi) {
  double p = u;
  for (int i = 0; i < 30; ++i) {
    const double next = proj_krovak_lat_step(xf, u, p);
    if (!std::isfinite(next)) break;
    const bool done = std::fabs(next - p) <= 1e-12;
    p = next;
    if (done) break;
  }
  *phi = p;
  *lam = xf->proj_const.c[KV_LAM0] - v / xf->proj_const.c[KV_ALPHA];
}

void proj_krovak_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2, e = std::sqrt(e2);
  xf->origin_lon = held(xf->def.params[0] + xf->def.datum.prime_meridian, 360.0);
  xf->lon_span = 90;
  const double phic = held(xf->def.params[1], 90.0) * kProjDeg;
  const double phip = held(xf->def.params[2], 90.0) * kProjDeg;
  const double ac = xf->def.params[3] * kProjDeg;
  const double sc = std::sin(phic), cc = std::cos(phic);
  c[KV_LAM0] = xf->origin_lon * kProjDeg;
  c[KV_PHIP] = phip;
  c[KV_AC] = ac;
  c[KV_SINAC] = std::sin(ac);
  c[KV_COSAC] = std::cos(ac);
  c[KV_N] = std::sin(phip);
  c[KV_E] = e;
  c[KV_ALPHA] = std::sqrt(1 + e2 * cc * cc * cc * cc / (1 - e2));
  const double u0 = std::asin(held(sc / c[KV_ALPHA], 1.0));
  c[KV_T0] = std::tan(u0 / 2 + kProjPi / 4) * std::pow((1 + e * sc) / (1 - e * sc), c[KV_ALPHA] * e / 2) /
             std::pow(std::tan(phic / 2 + kProjPi / 4), c[KV_ALPHA]);
  c[KV_A] = a * std::sqrt(1 - e2) / (1 - e2 * sc * sc);
  c[KV_RHO0] = 0.9999 * c[KV_A] / std::tan(phip);
  c[KV_UNIT] = proj_metre_factor(xf);
}

void proj_krovak_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5];
  for (int32_t i = 0; i < count; ++i) {
    double d;
    const double t = krovak_t(xf, in[i], &d);
    const double rho = krovak_rho(c, t), theta = c[KV_N] * d;
    out[i] = DPoint{-rho * std::sin(theta) * c[KV_UNIT] + fe, -rho * std::cos(theta) * c[KV_UNIT] + fn};
  }
}

void proj_krovak_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5];
  for (int32_t i = 0; i < count; ++i) {
    const double x = -(in[i].x - fe) / c[KV_UNIT], y = -(in[i].y - fn) / c[KV_UNIT];
    const double rho = std::sqrt(x * x + y * y), theta = std::atan2(x, y);
    const double t =
        2 * (std::atan(std::tan(c[KV_PHIP] / 2 + kProjPi / 4) * std::pow(c[KV_RHO0] / rho, 1 / c[KV_N])) - kProjPi / 4);
    const double d = theta / c[KV_N];
    const double u = std::asin(held(c[KV_COSAC] * std::sin(t) - c[KV_SINAC] * std::cos(d) * std::cos(t), 1.0));
    const double v = std::asin(held(std::cos(t) * std::sin(d) / std::cos(u), 1.0));
    DPoint r;
    proj_krovak_from_sphere(xf, u, v, &r.x, &r.y);
    proj_from_radians(&r, &out[i]);
    out[i].x -= xf->def.datum.prime_meridian;
  }
}

double proj_krovak_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double* c = xf->proj_const.c;
  double d;
  const double t = krovak_t(xf, *lonlat, &d);
  const double ct = std::cos(t);
  return ct == 0 ? 1.0 : krovak_rho(c, t) * c[KV_N] / (c[KV_A] * ct);
}
