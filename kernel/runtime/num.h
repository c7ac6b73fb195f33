// Kernel numeric utilities: rounding with and without saturation,
// saturated sums, scaled division.
#pragma once
#include <cstdint>

// Round half away from zero; the 64-bit integer of the rounded value (the
// smallest 64-bit value for NaN or outside the 64-bit range) is cut to the
// result's width, so 40000.0 as a 16-bit result wraps to -25536.
int32_t num_round_int(double x);
int16_t num_round_short(double x);
int64_t num_round_int64(double x);
// The same, clamped to the result's range (NaN gives the minimum).
int32_t num_round_int_sat(double x);
int16_t num_round_short_sat(double x);
int64_t num_round_int64_sat(double x);
// step * floor((x + step / 2) / step); a step of 0 answers x.
double num_round_to_step(double x, double step);
int32_t num_add_sat(int32_t a, int32_t b);
int16_t num_add_sat16(int16_t a, int16_t b);
// Sum clamped to the integer coordinate range -1e9..1e9.
int32_t num_add_coord(int32_t a, int32_t b);
// (a * b + c / 2) / c.
double num_muldiv(double a, double b, double c);
// In 64-bit integers, saturated to 32 bits; c of 0 answers a * b, saturated.
int32_t num_muldiv_int(int32_t a, int32_t b, int32_t c);
// (a * b + c / 2) * x / c rounded half away from zero to 16 bits.
int16_t num_muldiv_round(double a, double b, double c, double x);
// a / b rounded half away from zero; b of 0 answers a.
int32_t num_div_round(int32_t a, int32_t b);
