// Transverse Mercator family: Snyder's series (type 8), the same carried
// into three fixed local grids by a two-dimensional polynomial (21, 22, 23),
// the Krueger series in the third flattening (24) and Cassini-Soldner (30).
#include <algorithm>
#include <cmath>

#include "kernel/coordsys/proj/proj_lib.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/rect.h"

namespace {

// Constants of types 8, 21 to 23 and 30.
enum TmConst {
  TM_LAM0,
  TM_EP2,      // second eccentricity squared
  TM_K0,
  TM_MER,      // four meridian-distance coefficients
  TM_M0 = TM_MER + 4,
  TM_FOOT,     // four footpoint coefficients
  TM_UNIT = TM_FOOT + 4,
  TM_COUNT
};
static_assert(TM_COUNT <= kProjConstCount, "transverse Mercator constants fit proj_const");

// Constants of type 24.
// Constants of type 24; the origin, k0 and unit sit where type 8 keeps them.
enum KrugerConst { KR_E = TM_EP2 + 0, KR_A = TM_MER + 0, KR_ALPHA, KR_BETA = KR_ALPHA + 4, KR_END = KR_BETA + 4 };
static_assert(static_cast<int>(KR_END) <= static_cast<int>(TM_UNIT), "Krueger constants fit proj_const beside the shared ones");

constexpr double kHeldNorthing = 1e9;

// ---- local-grid tables ----------------------------------------------------------
// Layout: degree c, the (c+1)(c+2)/2 coefficients of P block by block, y0, the
// coefficients of Q, x0.

constexpr int grid_terms(int c) { return (c + 1) * (c + 2) / 2; }

struct GridSpec {
  DRect tm_rect;    // transverse Mercator side, false origin included
  DRect grid_rect;  // local-grid side
  const double* forward;
  const double* inverse;
};

constexpr double kGrid23Fwd[2 * 15 + 3] = {
    4,
    52222.355954, 1.0003999918, -1.9543132669e-10, 1.9214004196e-15, -1.2249813217e-19, 0.0014741055574,
    7.9465429957e-10, -2.5561175816e-14, -1.5415582961e-20, 2.2187819566e-10, -2.2425885615e-14, 1.8415412e-18,
    -1.0926417356e-14, 6.5851285007e-19, -1.2766025333e-18,
    6109645.68068,
    47875.457674, -1.0004002847, -5.5739930409e-10, -3.7954137372e-15, -8.5294692035e-19, 0.0014721003307,
    3.703301941e-10, -4.377332458e-15, -4.8011997156e-18, 5.7044426679e-10, 9.4892208043e-15, 1.1706710507e-18,
    4.2324194994e-15, 1.6689060255e-18, -1.1260303216e-19,
    495134.215516};
constexpr double kGrid23Inv[2 * 15 + 3] = {
    4,
    6109645.6608, 0.99959800064, 1.9318586062e-10, -1.8870172378e-15, 1.2245658657e-19, 0.0014729233533,
    7.9546531725e-10, -2.5580188922e-14, -6.8693684196e-21, -2.1962553713e-10, 2.2369816885e-14, -1.8424778852e-18,
    -1.0881273228e-14, 6.3729275085e-19, 1.2762267341e-18,
    52222.336107,
    495134.23016, -0.99959770795, -5.575816853e-10, 3.7654916286e-15, -8.4235346472e-19, 0.0014709197601,
    -3.6540821608e-10, -4.380537147e-15, 4.8008973854e-18, 5.7059554739e-10, -9.4793524523e-15, 1.1370338222e-18,
    4.2365300238e-15, -1.6695314444e-18, -1.0981554453e-19,
    47875.442993};

// Degree-11 tables of which only the constant and the two linear
// coefficients of each polynomial are known; the rest stay 0, so these two
// grids are approximations of the published ones.
struct LinearGrid {
  double p0, pv, pu, y0, q0, qu, qv, x0;
};
constexpr int kDeg11 = 11;
constexpr int kDeg11Terms = grid_terms(kDeg11);
struct Deg11Table {
  double t[2 * kDeg11Terms + 3] = {};
  constexpr explicit Deg11Table(const LinearGrid& g) {
    const int m = kDeg11Terms;
    t[0] = kDeg11;
    t[1] = g.p0;
    t[2] = g.pv;
    t[kDeg11 + 2] = g.pu;
    t[m + 1] = g.y0;
    t[m + 2] = g.q0;
    t[m + 3] = g.qu;
    t[m + 2 + kDeg11 + 1] = g.qv;
    t[2 * m + 2] = g.x0;
  }
};
constexpr Deg11Table kGrid21Fwd({179608.42195, 1.0001331975, -0.019983146896, 6211357.565339, 259885.74773,
                                 -1.0001338073, -0.019981958478, 535887.734971});
constexpr Deg11Table kGrid21Inv({6211357.5431, 0.99946783805, -0.019969840572, 179608.367287, 535889.35583,
                                 -0.99946722875, -0.019968652797, 259884.1271});
constexpr Deg11Table kGrid22Fwd({108580.1864, 0.99979577051, -0.019606882974, 6143171.658806, 118032.75921,
                                 -0.99979562993, -0.019608396525, 679082.320128});
constexpr Deg11Table kGrid22Inv({6143169.5373, 0.99981973699, -0.019607346629, 108578.008582, 679085.21383,
                                 -0.99981987793, -0.019608860322, 118029.907698});

const GridSpec kGrids[3] = {
    {{300000, 5900000, 900000, 6500000}, {-100000, -100000, 500000, 500000}, kGrid21Fwd.t, kGrid21Inv.t},
    {{400000, 5900000, 1000000, 6400000}, {-100000, -100000, 400000, 400000}, kGrid22Fwd.t, kGrid22Inv.t},
    {{400000, 6000000, 600000, 6200000}, {-50000, -50000, 150000, 150000}, kGrid23Fwd, kGrid23Inv},
};

const GridSpec* grid_of(const CoordXform* xf) {
  return xf->proj_const.word != 0 ? static_cast<const GridSpec*>(xf->proj_const.table1) : nullptr;
}

// One polynomial: sum over j of outer^j * sum over k of coef(j, k) inner^k.
double poly_eval(const double* coef, int c, double outer, double inner) {
  // Start of block j: sum over i < j of (c + 1 - i).
  double r = 0;
  for (int j = c; j >= 0; --j) {
    const double* b = coef + j * (c + 1) - j * (j - 1) / 2;
    double s = 0;
    for (int k = c - j; k >= 0; --k) s = s * inner + b[k];
    r = r * outer + s;
  }
  return r;
}

// (Q, P) of table t at point p.
DPoint table_eval(const double* t, const DPoint& p) {
  const int c = static_cast<int>(t[0]);
  const int m = grid_terms(c);
  const double y0 = t[m + 1], x0 = t[2 * m + 2];
  const double u = p.x - x0, v = p.y - y0;
  return DPoint{poly_eval(t + m + 2, c, v, u), poly_eval(t + 1, c, u, v)};
}

double held(double v, double limit) { return std::clamp(v, -limit, limit); }

// Snyder's series forward in metres, false origin excluded.
DPoint tm_series_forward(const CoordXform* xf, double lam, double phi) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  const double k0 = c[TM_K0], ep2 = c[TM_EP2];
  const double cp = std::cos(phi), sp = std::sin(phi);
  const double mer = proj_meridian_dist_sc(c + TM_MER, phi, sp, cp);
  if (cp == 0) return DPoint{0, k0 * (mer - c[TM_M0])};
  const double tp = sp / cp;
  const double n = a / std::sqrt(1 - e2 * sp * sp);
  const double t = tp * tp, cc = ep2 * cp * cp, aa = (lam - c[TM_LAM0]) * cp;
  const double a2 = aa * aa, a3 = a2 * aa, a4 = a2 * a2, a5 = a4 * aa, a6 = a4 * a2;
  const double x = k0 * n * (aa + (1 - t + cc) * a3 / 6 + (5 - 18 * t + t * t + 72 * cc - 58 * ep2) * a5 / 120);
  const double y = k0 * (mer - c[TM_M0] +
                         n * tp * (a2 / 2 + (5 - t + 9 * cc + 4 * cc * cc) * a4 / 24 +
                                   (61 - 58 * t + t * t + 600 * cc - 330 * ep2) * a6 / 720));
  return DPoint{x, y};
}

// Snyder's series inverse from metres (false origin removed) to radians.
DPoint tm_series_inverse(const CoordXform* xf, double x, double y) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  const double k0 = c[TM_K0], ep2 = c[TM_EP2], lam0 = c[TM_LAM0];
  y = held(y, kHeldNorthing);
  const double mu = (y / k0 + c[TM_M0]) / c[TM_MER];
  const double p1 = proj_sin_series(c + TM_FOOT, 4, mu);
  const double cp = std::cos(p1);
  if (cp == 0) return DPoint{lam0, y > 0 ? kProjHalfPi : -kProjHalfPi};
  const double sp = std::sin(p1), tp = sp / cp;
  const double w = 1 - e2 * sp * sp;
  const double c1 = ep2 * cp * cp, t1 = tp * tp;
  const double n1 = a / std::sqrt(w), r1 = a * (1 - e2) / (w * std::sqrt(w));
  const double d = x / (n1 * k0), d2 = d * d, d3 = d2 * d, d4 = d2 * d2, d5 = d4 * d, d6 = d4 * d2;
  const double phi = p1 - (n1 * tp / r1) * (d2 / 2 - (5 + 3 * t1 + 10 * c1 - 4 * c1 * c1 - 9 * ep2) * d4 / 24 +
                                           (61 + 90 * t1 + 298 * c1 + 45 * t1 * t1 - 252 * ep2 - 3 * c1 * c1) * d6 / 720);
  const double lam =
      lam0 + (d - (1 + 2 * t1 + c1) * d3 / 6 + (5 - 2 * c1 + 28 * t1 - 3 * c1 * c1 + 8 * ep2 + 24 * t1 * t1) * d5 / 120) /
                 cp;
  return DPoint{lam, phi};
}

// ---- Krueger series -------------------------------------------------------------

DPoint kruger_forward(const double* c, double lam, double phi) {
  const double e = c[KR_E];
  const double psi = std::asinh(std::tan(phi)) - e * std::atanh(e * std::sin(phi));
  const double chi = std::atan(std::sinh(psi));
  const double dl = lam - c[TM_LAM0];
  const double etap = std::atanh(std::sin(dl) * std::cos(chi));
  const double xip = std::asin(held(std::sin(chi) * std::cosh(etap), 1.0));
  double xi = xip, eta = etap;
  for (int j = 1; j <= 4; ++j) {
    const double al = c[KR_ALPHA + j - 1];
    xi += al * std::sin(2 * j * xip) * std::cosh(2 * j * etap);
    eta += al * std::cos(2 * j * xip) * std::sinh(2 * j * etap);
  }
  return DPoint{c[KR_A] * eta, c[KR_A] * xi};
}

DPoint kruger_inverse(const double* c, double x, double y) {
  const double e = c[KR_E];
  const double xi = held(y, kHeldNorthing) / c[KR_A], eta = x / c[KR_A];
  double xip = xi, etap = eta;
  for (int j = 1; j <= 4; ++j) {
    const double be = c[KR_BETA + j - 1];
    xip -= be * std::sin(2 * j * xi) * std::cosh(2 * j * eta);
    etap -= be * std::cos(2 * j * xi) * std::sinh(2 * j * eta);
  }
  const double chi = std::asin(held(std::sin(xip) / std::cosh(etap), 1.0));
  const double dl = std::asin(held(std::tanh(etap) / std::cos(chi), 1.0));
  const double psi = std::asinh(std::tan(chi));
  double q = psi;
  for (int i = 0; i < 10; ++i) q = psi + e * std::atanh(e * std::tanh(q));
  return DPoint{c[TM_LAM0] + dl, std::atan(std::sinh(q))};
}

double k0_of(const CoordXform* xf) {
  const double k0 = xf->def.params[2];
  return k0 == 0 ? 1.0 : k0;
}

}  // namespace

void proj_grid_poly_eval(const CoordXform* xform, DPoint* point, int selector) {
  const GridSpec* g = grid_of(xform);
  if (g == nullptr) return;
  *point = table_eval(selector == 0 ? g->forward : g->inverse, *point);
}

void proj_tm_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  xf->lon_span = 0;
  xf->proj_const.word = 0;
  xf->proj_const.table1 = nullptr;
  if (xf->type == PROJ_TRANSVERSE_MERCATOR_CONFORMAL) {
    const double n = xf->ellipsoid.f / (2 - xf->ellipsoid.f), n2 = n * n, n3 = n2 * n, n4 = n3 * n;
    c[TM_LAM0] = xf->origin_lon * kProjDeg;
    c[KR_E] = std::sqrt(e2);
    c[KR_A] = a / (1 + n) * (1 + n2 / 4 + n4 / 64);
    const double al[4] = {n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180, 13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440,
                          61 * n3 / 240 - 103 * n4 / 140, 49561 * n4 / 161280};
    const double be[4] = {n / 2 - 2 * n2 / 3 + 37 * n3 / 96 - n4 / 360, n2 / 48 + n3 / 15 - 437 * n4 / 1440,
                          17 * n3 / 480 - 37 * n4 / 840, 4397 * n4 / 161280};
    for (int j = 0; j < 4; ++j) {
      c[KR_ALPHA + j] = al[j];
      c[KR_BETA + j] = be[j];
    }
    c[TM_K0] = 1.0;  // the point operations ignore k0: the central meridian is true to scale
    c[TM_UNIT] = proj_metre_factor(xf);
    return;
  }
  c[TM_LAM0] = xf->origin_lon * kProjDeg;
  c[TM_EP2] = e2 / (1 - e2);
  c[TM_K0] = k0_of(xf);
  proj_meridian_coeffs(a, e2, c + TM_MER);
  c[TM_M0] = proj_meridian_dist(c + TM_MER, held(xf->def.params[1], 90.0) * kProjDeg);
  proj_footpoint_coeffs(e2, c + TM_FOOT);
  c[TM_UNIT] = proj_metre_factor(xf);
  if (xf->type >= PROJ_TM_LOCAL_GRID_1 && xf->type <= PROJ_TM_LOCAL_GRID_3) {
    xf->proj_const.word = 1;
    xf->proj_const.table1 = &kGrids[xf->type - PROJ_TM_LOCAL_GRID_1];
  }
}

void proj_tm_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[3], fn = xf->def.params[4];
  const bool kruger = xf->type == PROJ_TRANSVERSE_MERCATOR_CONFORMAL;
  const double unit = c[TM_UNIT];
  const GridSpec* g = grid_of(xf);
  for (int32_t i = 0; i < count; ++i) {
    DPoint r;
    proj_to_radians(&in[i], &r);
    const DPoint m = kruger ? kruger_forward(c, r.x, r.y) : tm_series_forward(xf, r.x, r.y);
    DPoint p{m.x * unit + fe, m.y * unit + fn};
    if (g != nullptr) {
      point_clamp_to_drect(&p, &g->tm_rect);
      const DPoint qp = table_eval(g->forward, p);
      p = DPoint{-qp.x, qp.y};
    }
    out[i] = p;
  }
}

void proj_tm_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double fe = xf->def.params[3], fn = xf->def.params[4];
  const bool kruger = xf->type == PROJ_TRANSVERSE_MERCATOR_CONFORMAL;
  const double unit = c[TM_UNIT];
  const GridSpec* g = grid_of(xf);
  for (int32_t i = 0; i < count; ++i) {
    DPoint p = in[i];
    if (g != nullptr) {
      p.x = -p.x;
      point_clamp_to_drect(&p, &g->grid_rect);
      p = table_eval(g->inverse, p);
    }
    const double x = (p.x - fe) / unit, y = (p.y - fn) / unit;
    const DPoint r = kruger ? kruger_inverse(c, x, y) : tm_series_inverse(xf, x, y);
    proj_from_radians(&r, &out[i]);
  }
}

double proj_tm_scale(const CoordXform* xf, const DPoint* lonlat) {
  const double* c = xf->proj_const.c;
  const double k0 = c[TM_K0];
  const double phi = held(lonlat->y, 90.0) * kProjDeg, lam = held(lonlat->x, 360.0) * kProjDeg;
  const double cp = std::cos(phi);
  if (cp == 0) return k0;
  switch (xf->type) {
    case PROJ_TM_LOCAL_GRID_1:
    case PROJ_TM_LOCAL_GRID_2: {
      DPoint p = *lonlat;
      xf->forward_fn(&p, &p, xf, 1);
      const bool one = xf->type == PROJ_TM_LOCAL_GRID_1;
      const double s = p.x / 100000 + (one ? 2.65 : 1.19);
      return (one ? 0.99995 + 0.00012259 * s * s : 0.999978 + 0.00012261 * s * s);
    }
    case PROJ_TM_LOCAL_GRID_3:
      return 1.0;
    default:
      break;
  }
  const double e2 = xf->ellipsoid.e2, ep2 = e2 / (1 - e2);
  const double tp = std::tan(phi), t = tp * tp, cc = ep2 * cp * cp;
  const double aa = (lam - c[TM_LAM0]) * cp, a2 = aa * aa, a4 = a2 * a2;
  return k0 * (1 + (1 + cc) * a2 / 2 + (5 - 4 * t + 42 * cc + 13 * cc * cc - 28 * ep2) * a4 / 24 +
               (61 - 148 * t + 16 * t * t) * a4 * a2 / 720);
}

// ---- Cassini-Soldner ------------------------------------------------------------

void proj_cassini_init(CoordXform* xf) {
  double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  xf->lon_span = 90;
  c[TM_LAM0] = xf->origin_lon * kProjDeg;
  c[TM_EP2] = e2 / (1 - e2);
  c[TM_K0] = 1;
  proj_meridian_coeffs(a, e2, c + TM_MER);
  c[TM_M0] = proj_meridian_dist(c + TM_MER, held(xf->def.params[1], 90.0) * kProjDeg);
  proj_footpoint_coeffs(e2, c + TM_FOOT);
  c[TM_UNIT] = proj_metre_factor(xf);
}

void proj_cassini_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  const double fe = xf->def.params[2], fn = xf->def.params[3], unit = c[TM_UNIT];
  for (int32_t i = 0; i < count; ++i) {
    const double dl = held(in[i].x - xf->origin_lon, 360.0) * kProjDeg;
    const double phi = held(in[i].y, 180.0) * kProjDeg;
    const double cp = std::cos(phi);
    double x, y;
    if (cp == 0 || std::fabs(phi) == kProjHalfPi) {
      x = 0;
      y = c[TM_MER] * phi - c[TM_M0];
    } else {
      const double sp = std::sin(phi), tp = sp / cp;
      const double n = a / std::sqrt(1 - e2 * sp * sp);
      const double aa = dl * cp, a2 = aa * aa, a3 = a2 * aa, a4 = a2 * a2, a5 = a4 * aa;
      const double t = tp * tp, cc = e2 * cp * cp / (1 - e2);
      x = n * (aa - t * a3 / 6 - (8 - t + 8 * cc) * t * a5 / 120);
      y = proj_meridian_dist(c + TM_MER, phi) - c[TM_M0] + n * tp * (a2 / 2 + (5 - t + 6 * cc) * a4 / 24);
    }
    out[i] = DPoint{x * unit + fe, y * unit + fn};
  }
}

void proj_cassini_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  const double a = xf->ellipsoid.a, e2 = xf->ellipsoid.e2;
  const double fe = xf->def.params[2], fn = xf->def.params[3], unit = c[TM_UNIT];
  const double lam0 = c[TM_LAM0];
  for (int32_t i = 0; i < count; ++i) {
    const double x = (in[i].x - fe) / unit, y = (in[i].y - fn) / unit;
    const double mu = (c[TM_M0] + y) / c[TM_MER];
    const double p1 = proj_sin_series(c + TM_FOOT, 4, mu);
    DPoint r;
    if (!(p1 > -kProjHalfPi && p1 < kProjHalfPi)) {
      r = DPoint{lam0, p1 >= kProjHalfPi ? kProjHalfPi : p1 <= -kProjHalfPi ? -kProjHalfPi : p1};
    } else {
      const double sp = std::sin(p1), cp = std::cos(p1), tp = sp / cp;
      const double w = 1 - e2 * sp * sp;
      const double t1 = tp * tp, n1 = a / std::sqrt(w), r1 = a * (1 - e2) / (w * std::sqrt(w));
      const double d = x / n1, d2 = d * d, d3 = d2 * d, d4 = d2 * d2, d5 = d4 * d;
      r.x = lam0 + (d - t1 * d3 / 3 + (1 + 3 * t1) * t1 * d5 / 15) / cp;
      r.y = p1 - (n1 * tp / r1) * (d2 / 2 - (1 + 3 * t1) * d4 / 24);
    }
    proj_from_radians(&r, &out[i]);
  }
}
