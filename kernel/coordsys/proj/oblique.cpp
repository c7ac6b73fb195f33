// Oblique cylindrical conformal projections on the ellipsoid: Hotine oblique
// Mercator by centre point and azimuth (type 7) and the Swiss oblique
// Mercator on a conformal sphere (type 25).
#include <algorithm>
#include <cmath>

#include "kernel/coordsys/proj/proj_lib.h"

namespace {

enum HotineConst {
  HO_LAM0, HO_E, HO_B, HO_A, HO_E_, HO_SING0, HO_COSG0, HO_SINAC, HO_COSAC, HO_CONF, HO_UNIT = HO_CONF + 4, HO_COUNT
};
static_assert(HO_COUNT <= kProjConstCount, "Hotine constants fit proj_const");

enum SwissConst { SW_LAM0, SW_PHI0, SW_E, SW_R, SW_ALPHA, SW_SINB0, SW_COSB0, SW_K, SW_UNIT, SW_COUNT };
static_assert(SW_COUNT <= kProjConstCount, "Swiss constants fit proj_const");

constexpr double kBig = 1e9;
constexpr int kSwissSteps = 100;

double held(double v, double limit) { return std::clamp(v, -limit, limit); }
double asin_held(double v) { return std::asin(held(v, 1.0)); }

// u and v of the Hotine forward at (dl, phi), metres on the oblique cylinder.
void hotine_uv(const double* c, double dl, double phi, double* u, double* v) {
  const double sp = std::sin(phi), a = c[HO_A], b = c[HO_B], e = c[HO_E];
  if (sp == 1 || sp == -1) {
    *u = a * phi / b;
    const double t = std::tan(kProjPi / 4 + (sp == 1 ? -1 : 1) * std::asin(c[HO_SING0]) / 2);
    *v = t > 0 ? (a / b) * std::log(t) : -kBig;
    return;
  }
  const double t = std::sqrt(std::pow((1 + e * sp) / (1 - e * sp), e) * (1 - sp) / (1 + sp));
  const double q = c[HO_E_] / std::pow(t, b);
  const double s = q == 0 ? -kBig : (q - 1 / q) / 2, tt = q == 0 ? kBig : (q + 1 / q) / 2;
  const double vv = std::sin(b * dl), cb = std::cos(b * dl);
  const double uu = (s * c[HO_SING0] - vv * c[HO_COSG0]) / tt;
  *v = uu == 1 ? -kBig : uu == -1 ? kBig : a * std::log((1 - uu) / (1 + uu)) / (2 * b);
  *u = cb == 0 ? a * b * dl : a * std::atan2(s * c[HO_COSG0] + vv * c[HO_SING0], cb) / b;
}

}  // namespace

void proj_hotine_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2, e = std::sqrt(e2);
  const double phic = held(xf->def.params[1], 90.0) * kProjDeg;
  const double alpha = held(xf->def.params[2], 360.0) * kProjDeg;
  const double k0 = xf->def.params[3] == 0 ? 1.0 : xf->def.params[3];
  const double sp = std::sin(phic), cp = std::cos(phic);
  xf->lon_span = 0;
  const double b = std::sqrt(1 + e2 * cp * cp * cp * cp / (1 - e2));
  const double t0 = 1 + sp == 0 ? kBig : std::sqrt((1 - sp) / (1 + sp) * std::pow((1 + e * sp) / (1 - e * sp), e));
  const double div = cp * std::sqrt(1 - e2 * sp * sp);
  const double d = div == 0 ? kBig : b * std::sqrt(1 - e2) / div;
  const double root = d * d < 1 ? 0.0 : std::sqrt(d * d - 1);
  const double f = phic > 0 ? d + root : d - root;
  const double g = f == 0 ? -kBig : (f - 1 / f) / 2;
  const double g0 = asin_held(std::sin(alpha) / d);
  c[HO_E] = e;
  c[HO_B] = b;
  c[HO_A] = a * b * k0 * std::sqrt(1 - e2) / (1 - e2 * sp * sp);
  c[HO_E_] = f * std::pow(t0, b);
  c[HO_SING0] = std::sin(g0);
  c[HO_COSG0] = std::cos(g0);
  c[HO_LAM0] = xf->origin_lon * kProjDeg - asin_held(g * std::tan(g0)) / b;
  c[HO_SINAC] = std::sin(alpha);
  c[HO_COSAC] = std::cos(alpha);
  proj_conformal_coeffs(e2, c + HO_CONF);
  c[HO_UNIT] = proj_metre_factor(xf);
}

void proj_hotine_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5];
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    proj_to_radians(&in[i], &r);
    double u, v;
    hotine_uv(c, r.x - c[HO_LAM0], r.y, &u, &v);
    const double x = v * c[HO_COSAC] + u * c[HO_SINAC], y = u * c[HO_COSAC] - v * c[HO_SINAC];
    out[i] = DPoint{x * c[HO_UNIT] + fe, y * c[HO_UNIT] + fn};
  }
}

void proj_hotine_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[4], fn = xf->def.params[5], a = c[HO_A], b = c[HO_B];
  for (int32_t i = 0; i < count; ++i) {
    const double x = held((in[i].x - fe) / c[HO_UNIT], kBig), y = held((in[i].y - fn) / c[HO_UNIT], kBig);
    const double v = x * c[HO_COSAC] - y * c[HO_SINAC], u = y * c[HO_COSAC] + x * c[HO_SINAC];
    const double r = -b * v / a;
    const double q = r < -307 ? 1e-9 : r > 308 ? kBig : std::exp(r);
    const double s = (q - 1 / q) / 2, t = (q + 1 / q) / 2, vv = std::sin(b * u / a);
    const double uu = (vv * c[HO_COSG0] + s * c[HO_SING0]) / t;
    DPoint p;
    if (!(std::fabs(uu) < 1)) {
      p = DPoint{c[HO_LAM0], uu > 0 ? kProjHalfPi : -kProjHalfPi};
    } else {
      const double tt = std::pow(c[HO_E_] / std::sqrt((1 + uu) / (1 - uu)), 1 / b);
      const double ny = s * c[HO_COSG0] - vv * c[HO_SING0], nx = std::cos(b * u / a);
      const double lam = c[HO_LAM0] - (ny == 0 && nx == 0 ? 0.0 : std::atan2(ny, nx) / b);
      p = DPoint{lam, proj_sin_series(c + HO_CONF, 4, kProjHalfPi - 2 * std::atan(tt))};
    }
    proj_from_radians(&p, &out[i]);
  }
}

double proj_hotine_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double* c = xf->proj_const.c;
  const double phi = held(lonlat->y, 90.0) * kProjDeg, dl = held(lonlat->x, 360.0) * kProjDeg - c[HO_LAM0];
  double u, v;
  hotine_uv(c, dl, phi, &u, &v);
  const double a = xf->ellipsoid.a, s = std::sin(phi);
  const double den = a * std::cos(phi) * std::cos(c[HO_B] * dl);
  if (den == 0) return kBig;
  return c[HO_A] * std::cos(c[HO_B] * u / c[HO_A]) * std::sqrt(1 - xf->ellipsoid.e2 * s * s) / den;
}

// ---- Swiss oblique Mercator ----------------------------------------------------------

namespace {

// Sphere latitude b of phi, and the turned latitude and longitude.
void swiss_sphere(const double* c, double dl_deg_rad, double phi, double* bbar, double* lbar) {
  const double s = std::sin(phi), e = c[SW_E], al = c[SW_ALPHA];
  const double b = s == 1 || s == -1
                       ? phi
                       : 2 * (std::atan(std::exp((std::log((1 + s) / (1 - s)) - e * std::log((1 + e * s) / (1 - e * s))) *
                                                     al / 2 +
                                                 c[SW_K])) -
                              kProjPi / 4);
  const double l = al * dl_deg_rad;
  *bbar = asin_held(c[SW_COSB0] * std::sin(b) - c[SW_SINB0] * std::cos(b) * std::cos(l));
  const double ny = std::cos(b) * std::sin(l), nx = c[SW_COSB0] * std::cos(b) * std::cos(l) + c[SW_SINB0] * std::sin(b);
  *lbar = ny == 0 && nx == 0 ? 0.0 : std::atan2(ny, nx);
}

}  // namespace

void proj_swiss_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2, e = std::sqrt(e2);
  const double phi0 = held(xf->def.params[1], 90.0) * kProjDeg, s0 = std::sin(phi0), c0 = std::cos(phi0);
  xf->lon_span = 90;
  c[SW_LAM0] = xf->origin_lon * kProjDeg;
  c[SW_PHI0] = phi0;
  c[SW_E] = e;
  c[SW_R] = a * std::sqrt(1 - e2) / (1 - e2 * s0 * s0);
  c[SW_ALPHA] = std::sqrt(1 + e2 / (1 - e2) * c0 * c0 * c0 * c0);
  c[SW_SINB0] = held(s0 / c[SW_ALPHA], 1.0);
  c[SW_COSB0] = std::cos(std::asin(c[SW_SINB0]));
  const double sb = c[SW_SINB0], al = c[SW_ALPHA];
  c[SW_K] = s0 == 1 || s0 == -1 || sb == 1 || sb == -1
                ? 0.0
                : (al * e * std::log((1 + e * s0) / (1 - e * s0)) + std::log((1 + sb) / (1 - sb)) -
                   al * std::log((1 + s0) / (1 - s0))) /
                      2;
  c[SW_UNIT] = proj_metre_factor(xf);
}

void proj_swiss_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[2], fn = xf->def.params[3], r = c[SW_R];
  for (int32_t i = 0; i < count; ++i) {
    DPoint p;
    proj_to_radians(&in[i], &p);
    double bbar, lbar;
    swiss_sphere(c, p.x - c[SW_LAM0], p.y, &bbar, &lbar);
    const double sb = std::sin(bbar);
    const double y = sb == 1 ? kBig : sb == -1 ? -kBig : r / 2 * std::log((1 + sb) / (1 - sb));
    out[i] = DPoint{r * lbar * c[SW_UNIT] + fe, y * c[SW_UNIT] + fn};
  }
}

void proj_swiss_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[2], fn = xf->def.params[3], r = c[SW_R], e = c[SW_E];
  for (int32_t i = 0; i < count; ++i) {
    const double x = (in[i].x - fe) / c[SW_UNIT], y = (in[i].y - fn) / c[SW_UNIT];
    const double lbar = x / r, bbar = 2 * (std::atan(std::exp(y / r)) - kProjPi / 4);
    const double sb = held(c[SW_COSB0] * std::sin(bbar) + c[SW_SINB0] * std::cos(bbar) * std::cos(lbar), 1.0);
    const double b = std::asin(sb);
    const double ny = std::cos(bbar) * std::sin(lbar),
                 nx = c[SW_COSB0] * std::cos(bbar) * std::cos(lbar) - c[SW_SINB0] * std::sin(bbar);
    const double l = ny == 0 && nx == 0 ? 0.0 : std::atan2(ny, nx);
    double phi = b;
    if (sb != 1 && sb != -1) {
      // The latitude iteration: at most 100 steps, ending on a non-finite value.
      const double t = std::log((1 + sb) / (1 - sb));
      double w = c[SW_PHI0];
      for (int k = 0; k < kSwissSteps; ++k) {
        const double s = std::sin(w);
        const double next =
            2 * (std::atan(std::exp(e / 2 * std::log((1 + e * s) / (1 - e * s)) + (t / 2 - c[SW_K]) / c[SW_ALPHA])) -
                 kProjPi / 4);
        if (!std::isfinite(next)) break;
        const bool done = std::fabs(next - w) <= 1e-9;
        w = next;
        if (done) break;
      }
      phi = w;
    }
    const DPoint p{c[SW_LAM0] + l / c[SW_ALPHA], phi};
    proj_from_radians(&p, &out[i]);
  }
}

double proj_swiss_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double* c = xf->proj_const.c;
  const double phi = held(lonlat->y, 90.0) * kProjDeg, lam = held(lonlat->x, 360.0) * kProjDeg;
  double bbar, lbar;
  swiss_sphere(c, lam - c[SW_LAM0], phi, &bbar, &lbar);
  const double cb = std::cos(bbar);
  return cb == 0 ? kBig : 1 / cb;
}
