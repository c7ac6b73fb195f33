// Series and helpers shared by the projection families.
#include <cmath>

#include "kernel/coordsys/proj/proj_lib.h"
#include "kernel/coordsys/unit.h"

double proj_metre_factor(const CoordXform* xform) {
  double f = 1.0;
  unit_convert(&f, xform->def.units, 1.0, kUnitMetre);
  return std::isfinite(f) && f > 0 ? f : 1.0;
}

void proj_meridian_coeffs(double a, double e2, double m[4]) {
  const double e4 = e2 * e2, e6 = e4 * e2;
  m[0] = a * (1 - e2 / 4 - 3 * e4 / 64 - 5 * e6 / 256);
  m[1] = a * (3 * e2 / 8 + 3 * e4 / 32 + 45 * e6 / 1024);
  m[2] = a * (15 * e4 / 256 + 45 * e6 / 1024);
  m[3] = a * (35 * e6 / 3072);
}

// sin 2kx for k = 1..count from sin 2x and cos 2x by the recurrence
// sin 2(k+1)x = 2 cos 2x sin 2kx - sin 2(k-1)x: one sine and one cosine
// instead of one sine per term.
namespace {
void sin_multiples(double x, int count, double* out) {
  const double s = std::sin(2 * x), c2 = 2 * std::cos(2 * x);
  double prev = 0, cur = s;
  for (int k = 0; k < count; ++k) {
    out[k] = cur;
    const double next = c2 * cur - prev;
    prev = cur;
    cur = next;
  }
}
}  // namespace

double proj_meridian_dist(const double m[4], double phi) {
  double s[3];
  sin_multiples(phi, 3, s);
  return m[0] * phi - m[1] * s[0] + m[2] * s[1] - m[3] * s[2];
}

double proj_meridian_dist_sc(const double m[4], double phi, double sp, double cp) {
  const double s2 = 2 * sp * cp, c2 = 2 * (cp * cp - sp * sp);
  const double s4 = c2 * s2, s6 = c2 * s4 - s2;
  return m[0] * phi - m[1] * s2 + m[2] * s4 - m[3] * s6;
}

double proj_sin_series(const double* c, int count, double x) {
  double s[8];
  if (count > 8) count = 8;
  sin_multiples(x, count, s);
  double r = x;
  for (int k = 0; k < count; ++k) r += c[k] * s[k];
  return r;
}

void proj_footpoint_coeffs(double e2, double c[4]) {
  const double s = std::sqrt(1 - e2);
  const double e1 = (1 - s) / (1 + s), e12 = e1 * e1, e13 = e12 * e1, e14 = e13 * e1;
  c[0] = 3 * e1 / 2 - 27 * e13 / 32;
  c[1] = 21 * e12 / 16 - 55 * e14 / 32;
  c[2] = 151 * e13 / 96;
  c[3] = 1097 * e14 / 512;
}

void proj_conformal_coeffs(double e2, double c[4]) {
  const double e4 = e2 * e2, e6 = e4 * e2, e8 = e6 * e2;
  c[0] = e2 / 2 + 5 * e4 / 24 + e6 / 12 + 13 * e8 / 360;
  c[1] = 7 * e4 / 48 + 29 * e6 / 240 + 811 * e8 / 11520;
  c[2] = 7 * e6 / 120 + 81 * e8 / 1120;
  c[3] = 4279 * e8 / 161280;
}

void proj_authalic_coeffs(double e2, double c[3]) {
  const double e4 = e2 * e2, e6 = e4 * e2;
  c[0] = e2 / 3 + 31 * e4 / 180 + 517 * e6 / 5040;
  c[1] = 23 * e4 / 360 + 251 * e6 / 3780;
  c[2] = 761 * e6 / 45360;
}
