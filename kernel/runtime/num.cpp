// Rounding and saturated arithmetic of the kernel.
#include "kernel/runtime/num.h"

#include <cmath>
#include <limits>

namespace {

// The 64-bit integer of x rounded half away from zero; INT64_MIN for NaN
// and values outside the 64-bit range.
int64_t round64(double x) {
  double r = x > 0 ? x + 0.5 : x - 0.5;
  if (std::isnan(r) || r >= 9223372036854775808.0 || r < -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(r);
}

template <class T>
T round_sat(double x) {
  if (std::isnan(x)) return std::numeric_limits<T>::min();
  double r = x > 0 ? x + 0.5 : x - 0.5;
  r = std::trunc(r);
  if (r <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (r >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(r);
}

int32_t sat32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

int32_t num_round_int(double x) { return static_cast<int32_t>(static_cast<uint32_t>(round64(x))); }
int16_t num_round_short(double x) { return static_cast<int16_t>(static_cast<uint16_t>(round64(x))); }
int64_t num_round_int64(double x) { return round64(x); }
int32_t num_round_int_sat(double x) { return round_sat<int32_t>(x); }
int16_t num_round_short_sat(double x) { return round_sat<int16_t>(x); }

int64_t num_round_int64_sat(double x) {
  if (std::isnan(x)) return INT64_MIN;
  double r = std::trunc(x > 0 ? x + 0.5 : x - 0.5);
  if (r >= 9223372036854775808.0) return INT64_MAX;
  if (r < -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(r);
}

double num_round_to_step(double x, double step) {
  if (step == 0) return x;
  return step * std::floor((x + step / 2) / step);
}

int32_t num_add_sat(int32_t a, int32_t b) { return sat32(static_cast<int64_t>(a) + b); }

int16_t num_add_sat16(int16_t a, int16_t b) {
  int32_t s = static_cast<int32_t>(a) + b;
  if (s > INT16_MAX) return INT16_MAX;
  if (s < INT16_MIN) return INT16_MIN;
  return static_cast<int16_t>(s);
}

int32_t num_add_coord(int32_t a, int32_t b) {
  int64_t s = static_cast<int64_t>(a) + b;
  if (s > 1000000000) return 1000000000;
  if (s < -1000000000) return -1000000000;
  return static_cast<int32_t>(s);
}

double num_muldiv(double a, double b, double c) { return (a * b + c / 2) / c; }

int32_t num_muldiv_int(int32_t a, int32_t b, int32_t c) {
  int64_t product = static_cast<int64_t>(a) * b;
  if (c == 0) return sat32(product);
  int64_t q = (product + c / 2) / c;
  return sat32(q);
}

int16_t num_muldiv_round(double a, double b, double c, double x) {
  return num_round_short((a * b + c / 2) * x / c);
}

int32_t num_div_round(int32_t a, int32_t b) {
  if (b == 0) return a;
  int64_t ua = a < 0 ? -static_cast<int64_t>(a) : a;
  int64_t ub = b < 0 ? -static_cast<int64_t>(b) : b;
  int64_t q = (ua + ub / 2) / ub;
  if ((a < 0) != (b < 0)) q = -q;
  return sat32(q);
}
