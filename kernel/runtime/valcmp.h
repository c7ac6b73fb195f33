// Value comparison and number formatting: which type pairs compare and how,
// the between tests that yield logical values, the collation-aware and
// byte-wise comparisons of index keys, and the fixed-width and display forms
// of numbers.
//
// Results are -1, 0 or 1; -2 means the pair cannot be compared (a null or
// empty side, an unreadable value, an incomparable pair). Dates compare with
// dates and texts, never with numbers; texts never compare with numbers.
#pragma once
#include <cstdint>

#include "kernel/runtime/value.h"

constexpr int16_t kErrIncomparable = 906;

struct NumFormat {
  int16_t kind;         // 13 with display 1: degrees, minutes, seconds
  int16_t decimals;
  int16_t significant;  // significant digits
  int16_t display;
};

int16_t valcmp_values(const Value* a, const Value* b, int16_t* result, int32_t collation, int16_t report);
int16_t valcmp_equal(const Value* a, const Value* b);
int16_t valcmp_date(const Value* a, const Value* b, int16_t* result);
int16_t valcmp_time(const Value* a, const Value* b, int16_t* result);
int16_t valcmp_datetime(const Value* a, const Value* b, int16_t* result);
int16_t valcmp_double(const Value* a, const Value* b, int16_t* result);
int16_t valcmp_int64(const Value* a, const Value* b, int16_t* result);
int16_t valcmp_logical(const Value* a, const Value* b, int16_t* result);
int16_t valcmp_text(const Value* a, const Value* b, int16_t* result);
int16_t valcmp_sign(int64_t n);
int16_t valcmp_between(const Value* low, int16_t* result, int16_t report, const Value* x, const Value* high);
int16_t valcmp_between_value(Value* x, const Value* low, const Value* high, int16_t report);
int16_t valcmp_time_between(const Value* high, Value* x, const Value* low, int16_t report);
int16_t valcmp_is_time_pair(const Value* a, const Value* b);
int16_t valcmp_collated(const Value* value, const Value* key, int16_t* result, int16_t report, int16_t collation_key);
int16_t valcmp_bytes(const Value* a, const Value* b, int16_t* result, int16_t report);

// "%*.*f" in width characters after clamping x to what fits; buffer holds
// at least width + 1 bytes.
char* number_format_fixed(char* buffer, int32_t width, int32_t decimals, double x);
double numfmt_round(double x, const NumFormat* format);
char* numfmt_format(char* buffer, int32_t size, double x, const NumFormat* format);
