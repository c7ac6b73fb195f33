// The kernel's bounded printf-style formatter.
//
// One engine for every kernel format, independent of the process locale.
// Integer conversions: %d %i %u %x %X %o %c, with the kernel's widths: plain
// and %l read 32 bits, %h 16 bits, %I64 and %ll 64 bits. Doubles: %f %e %g
// (and upper-case forms) take their digits from the value rounded to 17
// significant digits; exponents have at least two digits. Also %s, %p, %%,
// flags "-+ #0", width and precision (with '*').
#pragma once
#include <cstdarg>
#include <cstdint>

// Formats into out (size bytes, always NUL-terminated when size > 0) and
// answers the length written. Output past size - 1 bytes is cut.
int32_t fmt_format(char* out, int32_t size, const char* format, ...);
int32_t fmt_vformat(char* out, int32_t size, const char* format, va_list args);
// fmt_format(out, size, "%.*f", precision, x) without reading a format.
int32_t fmt_fixed(char* out, int32_t size, double x, int32_t precision);
// The significant digits (no trailing zeros, at most max_digits of 15) and
// the exponent of the first of m * 10^-k, the decimal with no digit past
// the k-th decimal (k 0 to 22) whose nearest double is x (zero or normal);
// false when there is none or it has more digits.
bool fmt_scaled_digits(double x, int32_t k, int32_t max_digits, char* digits, int32_t* count, int32_t* exp);
