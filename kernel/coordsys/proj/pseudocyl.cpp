// Pseudo-cylindrical world projections on the sphere of radius a: Robinson
// (type 12), Mollweide (13), Eckert IV (14), Eckert VI (15) and sinusoidal
// (16). Straight parallels, curved meridians, no false origin.
#include <algorithm>
#include <cmath>

#include "kernel/coordsys/proj/proj_lib.h"
#include "kernel/coordsys/xform.h"

namespace {

enum PcConst { PS_LAM0, PS_R, PS_FX, PS_FY, PS_UNIT, PS_COUNT };
static_assert(PS_COUNT <= kProjConstCount, "pseudo-cylindrical constants fit proj_const");

constexpr double kBig = 1e9;
constexpr int kNewtonSteps = 50;

double held(double v, double limit) { return std::clamp(v, -limit, limit); }
bool cos_zero(double c) { return std::fabs(c) < 1e-15; }

// The published Robinson table at 0, 5, ..., 90 degrees, then the 90-degree
// row again so that interpolation at 90 has a next row.
struct RobinsonRow {
  double plen, pdfe;
};
constexpr RobinsonRow kRobinson[20] = {
    {1.0000, 0.0000}, {0.9986, 0.0620}, {0.9954, 0.1240}, {0.9900, 0.1860}, {0.9822, 0.2480},
    {0.9730, 0.3100}, {0.9600, 0.3720}, {0.9427, 0.4340}, {0.9216, 0.4958}, {0.8962, 0.5571},
    {0.8679, 0.6176}, {0.8350, 0.6769}, {0.7986, 0.7346}, {0.7597, 0.7903}, {0.7186, 0.8435},
    {0.6732, 0.8936}, {0.6213, 0.9394}, {0.5722, 0.9761}, {0.5322, 1.0000}, {0.5322, 1.0000},
};

// PLEN and PDFE at |latitude| in degrees (0..90), interpolated linearly.
RobinsonRow robinson_at(double abs_lat) {
  const double a = std::clamp(abs_lat, 0.0, 90.0) / 5;
  const int i = std::clamp(static_cast<int>(a), 0, 18);
  const double t = a - i;
  return RobinsonRow{kRobinson[i].plen + (kRobinson[i + 1].plen - kRobinson[i].plen) * t,
                     kRobinson[i].pdfe + (kRobinson[i + 1].pdfe - kRobinson[i].pdfe) * t};
}

// Newton's method on f(theta) = rhs from start; ends on the first step
// strictly within 1e-7 (not applied), on a non-finite step, or after 50
// steps, keeping the last estimate.
template <class Step>
double newton(double theta, Step step) {
  for (int i = 0; i < kNewtonSteps; ++i) {
    const double d = step(theta);
    if (!std::isfinite(d) || (d > -1e-7 && d < 1e-7)) break;
    theta -= d;
  }
  return theta;
}

double mollweide_theta(double phi) {
  const double rhs = kProjPi * std::sin(phi);
  return newton(phi, [rhs](double t) { return (t + std::sin(t) - rhs) / (1 + std::cos(t)); }) / 2;
}

double eckert4_theta(double phi) {
  const double rhs = 3.5707963267948966 * std::sin(phi);
  return newton(phi / 2, [rhs](double t) {
    const double c = std::cos(t);
    return (t + std::sin(t) * (c + 2) - rhs) / (2 * c * (c + 1));
  });
}

double eckert6_theta(double phi) {
  const double rhs = 2.5707963267948966 * std::sin(phi);
  return newton(phi, [rhs](double t) { return (t + std::sin(t) - rhs) / (1 + std::cos(t)); });
}

void pc_init(CoordXform* xf, double fx, double fy) {
  double* c = xf->proj_const.c;
  xf->lon_span = 0;
  c[PS_LAM0] = xf->origin_lon * kProjDeg;
  c[PS_R] = xf->ellipsoid.a;
  c[PS_FX] = fx * xf->ellipsoid.a;
  c[PS_FY] = fy * xf->ellipsoid.a;
  c[PS_UNIT] = proj_metre_factor(xf);
}

template <class Fn>
void pc_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count, Fn fn) {
  proj_forward_each(in, out, count, xf->proj_const.c[PS_LAM0], xf->proj_const.c[PS_UNIT], fn);
}

// fn gives (lambda - lambda0, phi).
template <class Fn>
void pc_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count, Fn fn) {
  proj_inverse_each(in, out, count, xf->proj_const.c[PS_LAM0], xf->proj_const.c[PS_UNIT], fn);
}

double phi_of(const DPoint* lonlat) { return held(lonlat->y, 90.0) * kProjDeg; }

}  // namespace

// ---- Robinson --------------------------------------------------------------------------

void proj_robinson_init(CoordXform* xf) { pc_init(xf, 0.8487, 1.3523); }

double proj_robinson_scale(const CoordXform*, const DPoint* lonlat) {
  const double cp = std::cos(phi_of(lonlat));
  return cos_zero(cp) ? kBig : 0.8487 * robinson_at(std::fabs(held(lonlat->y, 90.0))).plen / cp;
}

void proj_robinson_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  for (int32_t i = 0; i < count; ++i) {
    const double lat = held(in[i].y, 90.0), lon = held(in[i].x, 360.0);
    const RobinsonRow r = robinson_at(std::fabs(lat));
    const double x = c[PS_FX] * r.plen * (lon * kProjDeg - c[PS_LAM0]);
    const double y = c[PS_FY] * (lat < 0 ? -r.pdfe : r.pdfe);
    out[i] = DPoint{x * c[PS_UNIT], y * c[PS_UNIT]};
  }
}

void proj_robinson_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  for (int32_t i = 0; i < count; ++i) {
    const double x = in[i].x / c[PS_UNIT], y = in[i].y / c[PS_UNIT];
    const double v = std::fabs(y) / c[PS_FY];
    double lat = 90, plen = kRobinson[18].plen;
    if (v < 1) {
      int j = 0;
      while (j < 18 && !(v < kRobinson[j + 1].pdfe)) ++j;
      const double t = (v - kRobinson[j].pdfe) / (kRobinson[j + 1].pdfe - kRobinson[j].pdfe);
      lat = 5 * (j + t);
      plen = kRobinson[j].plen + (kRobinson[j + 1].plen - kRobinson[j].plen) * t;
    }
    const double lon = (c[PS_LAM0] + x / (c[PS_FX] * plen)) / kProjDeg;
    out[i] = DPoint{held(lon, 360.0), y < 0 ? -lat : lat};
  }
}

// ---- Mollweide ----------------------------------------------------------------------------

void proj_mollweide_init(CoordXform* xf) { pc_init(xf, std::sqrt(8.0) / kProjPi, std::sqrt(2.0)); }

double proj_mollweide_scale(const CoordXform*, const DPoint* lonlat) {
  const double phi = phi_of(lonlat), cp = std::cos(phi);
  return cos_zero(cp) ? kBig : std::sqrt(8.0) / kProjPi * std::cos(mollweide_theta(phi)) / cp;
}

void proj_mollweide_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  pc_forward(in, out, xf, count, [c](double dl, double phi) {
    const double th = mollweide_theta(phi);
    return DPoint{c[PS_FX] * dl * std::cos(th), c[PS_FY] * std::sin(th)};
  });
}

void proj_mollweide_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  pc_inverse(in, out, xf, count, [c](double x, double y) {
    const double th = std::asin(held(y / c[PS_FY], 1.0));
    const double phi = std::asin(held((2 * th + std::sin(2 * th)) / kProjPi, 1.0));
    const double d = c[PS_FX] * std::cos(th);
    return DPoint{d == 0 ? 0.0 : x / d, phi};
  });
}

// ---- Eckert IV ----------------------------------------------------------------------------

namespace {
const double kEck4X = 2 / std::sqrt(kProjPi * (4 + kProjPi));
const double kEck4Y = 2 * std::sqrt(kProjPi / (4 + kProjPi));
const double kEck6 = 1 / std::sqrt(2 + kProjPi);
}  // namespace

void proj_eckert4_init(CoordXform* xf) { pc_init(xf, kEck4X, kEck4Y); }

double proj_eckert4_scale(const CoordXform*, const DPoint* lonlat) {
  const double phi = phi_of(lonlat), cp = std::cos(phi);
  return cos_zero(cp) ? kBig : (1 + std::cos(eckert4_theta(phi))) * kEck4X / cp;
}

void proj_eckert4_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  pc_forward(in, out, xf, count, [c](double dl, double phi) {
    const double th = eckert4_theta(phi);
    return DPoint{c[PS_FX] * dl * (1 + std::cos(th)), c[PS_FY] * std::sin(th)};
  });
}

void proj_eckert4_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  pc_inverse(in, out, xf, count, [c](double x, double y) {
    const double th = std::asin(held(y / c[PS_FY], 1.0));
    const double phi = std::asin(held((th + std::sin(th) * (std::cos(th) + 2)) / 3.5707963267948966, 1.0));
    return DPoint{x / ((1 + std::cos(th)) * c[PS_FX]), phi};
  });
}

// ---- Eckert VI ----------------------------------------------------------------------------

void proj_eckert6_init(CoordXform* xf) { pc_init(xf, kEck6, 2 * kEck6); }

double proj_eckert6_scale(const CoordXform*, const DPoint* lonlat) {
  const double phi = phi_of(lonlat), cp = std::cos(phi);
  return cos_zero(cp) ? kBig : (1 + std::cos(eckert6_theta(phi))) * kEck6 / cp;
}

void proj_eckert6_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  pc_forward(in, out, xf, count, [c](double dl, double phi) {
    const double th = eckert6_theta(phi);
    return DPoint{c[PS_FX] * dl * (1 + std::cos(th)), c[PS_FY] * th};
  });
}

void proj_eckert6_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  pc_inverse(in, out, xf, count, [c](double x, double y) {
    const double th = held(y / c[PS_FY], kProjHalfPi);
    const double phi = std::asin(held((th + std::sin(th)) / 2.5707963267948966, 1.0));
    return DPoint{x / ((1 + std::cos(th)) * c[PS_FX]), phi};
  });
}

// ---- sinusoidal ----------------------------------------------------------------------------

void proj_sinusoidal_init(CoordXform* xf) { pc_init(xf, 1, 1); }

void proj_sinusoidal_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double r = xf->proj_const.c[PS_R];
  pc_forward(in, out, xf, count, [r](double dl, double phi) { return DPoint{r * dl * std::cos(phi), r * phi}; });
}

void proj_sinusoidal_inverse(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  const double* c = xf->proj_const.c;
  pc_inverse(in, out, xf, count, [c](double x, double y) {
    const double phi = held(y, kBig) / c[PS_R], d = c[PS_R] * std::cos(phi);
    return DPoint{d == 0 ? 0.0 : x / d, phi};
  });
}
