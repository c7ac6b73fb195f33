// Value comparison and number formatting. See valcmp.h.
#include "kernel/runtime/valcmp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "kernel/runtime/collate.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/num.h"
#include "kernel/runtime/rect.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"

namespace {

bool is_text(const Value* v) { return value_is_text_type(v->type) != 0; }
bool is_int(const Value* v) { return v->type == 3 || v->type == 4 || v->type == 39; }
bool is_numeric(const Value* v) { return is_int(v) || v->type == 2 || v->type == 8; }

// With type t on one side and t or a text on the other.
bool pair_of(const Value* a, const Value* b, uint8_t t) {
  return (a->type == t && (b->type == t || is_text(b))) || (b->type == t && is_text(a));
}

int16_t answer(int16_t* result, int16_t r) {
  if (result) *result = r;
  return r == -2 ? 0 : 1;
}

int16_t sign_of(int32_t c) { return c < 0 ? -1 : c > 0 ? 1 : 0; }

const char* text_of(const Value* v) {
  const char* p = value_text_ptr(v, nullptr);
  return p ? p : "";
}

}  // namespace

int16_t valcmp_sign(int64_t n) { return n < 0 ? -1 : n > 0 ? 1 : 0; }

int16_t valcmp_date(const Value* a, const Value* b, int16_t* result) {
  Date x, y;
  if (!value_get_date(a, &x) || !value_get_date(b, &y)) return answer(result, -2);
  return answer(result, date_compare(&x, &y));
}

int16_t valcmp_time(const Value* a, const Value* b, int16_t* result) {
  Time x, y;
  if (!value_get_time(a, &x) || !value_get_time(b, &y)) return answer(result, -2);
  return answer(result, time_compare(&x, &y));
}

int16_t valcmp_datetime(const Value* a, const Value* b, int16_t* result) {
  DateTime x, y;
  if (!value_get_datetime(a, &x) || !value_get_datetime(b, &y)) return answer(result, -2);
  return answer(result, datetime_compare(&x, &y));
}

int16_t valcmp_double(const Value* a, const Value* b, int16_t* result) {
  double x, y;
  if (!value_get_double(a, &x) || !value_get_double(b, &y)) return answer(result, -2);
  if (point_coord_equal(x, y)) return answer(result, 0);
  return answer(result, x < y ? -1 : 1);
}

int16_t valcmp_int64(const Value* a, const Value* b, int16_t* result) {
  int64_t x, y;
  if (value_get_int64(a, &x) && value_get_int64(b, &y)) return answer(result, x < y ? -1 : x > y ? 1 : 0);
  double dx, dy;
  if (!value_get_double(a, &dx) || !value_get_double(b, &dy)) return answer(result, -2);
  return answer(result, dx < dy ? -1 : dx > dy ? 1 : 0);
}

int16_t valcmp_logical(const Value* a, const Value* b, int16_t* result) {
  int16_t x = value_is_nonzero(a), y = value_is_nonzero(b);
  return answer(result, x < y ? -1 : x > y ? 1 : 0);
}

int16_t valcmp_text(const Value* a, const Value* b, int16_t* result) {
  return answer(result, sign_of(collate_compare(text_of(a), text_of(b))));
}

int16_t valcmp_values(const Value* a, const Value* b, int16_t* result, int32_t collation, int16_t report) {
  (void)collation;
  int16_t (*compare)(const Value*, const Value*, int16_t*) = nullptr;
  if (pair_of(a, b, VALUE_DATE)) compare = valcmp_date;
  else if (pair_of(a, b, VALUE_TIME)) compare = valcmp_time;
  else if (pair_of(a, b, VALUE_DATETIME)) compare = valcmp_datetime;
  else if (is_int(a) && is_int(b)) compare = valcmp_int64;
  else if (is_numeric(a) && is_numeric(b)) compare = valcmp_double;
  else if (is_text(a) && is_text(b)) compare = valcmp_text;
  else if (a->type == VALUE_LOGICAL || b->type == VALUE_LOGICAL) compare = valcmp_logical;
  if (!compare) {
    if (result) *result = -2;
    if (report && result) err_push(4, kErrIncomparable, nullptr, nullptr);
    return 0;
  }
  if (!result) return 1;
  return compare(a, b, result);
}

int16_t valcmp_equal(const Value* a, const Value* b) {
  if (is_text(a) && is_text(b)) return mb_str_equal(text_of(a), text_of(b)) ? 1 : 0;
  int16_t r;
  return valcmp_values(a, b, &r, 0, 0) && r == 0 ? 1 : 0;
}

int16_t valcmp_between(const Value* low, int16_t* result, int16_t report, const Value* x, const Value* high) {
  int16_t r1, r2;
  *result = 0;
  if (!valcmp_values(low, x, &r1, 0, report) || !valcmp_values(x, high, &r2, 0, report)) return 0;
  *result = r1 <= 0 && r2 <= 0 ? 1 : 0;
  return 1;
}

namespace {

void set_logical(Value* x, int16_t truth) {
  value_free(x);
  std::memset(x, 0, sizeof *x);
  x->type = VALUE_LOGICAL;
  x->u.b = truth ? 1 : 0;
}

}  // namespace

int16_t valcmp_is_time_pair(const Value* a, const Value* b) { return pair_of(a, b, VALUE_TIME) ? 1 : 0; }

int16_t valcmp_time_between(const Value* high, Value* x, const Value* low, int16_t report) {
  int16_t lh, xl, xh;
  bool ok = valcmp_values(low, high, &lh, 0, report) && valcmp_values(x, low, &xl, 0, report) &&
            valcmp_values(x, high, &xh, 0, report);
  int16_t truth = 0;
  if (ok) truth = lh <= 0 ? (xl >= 0 && xh <= 0) : (xl >= 0 || xh <= 0);
  set_logical(x, truth);
  return ok ? 1 : 0;
}

int16_t valcmp_between_value(Value* x, const Value* low, const Value* high, int16_t report) {
  if (valcmp_is_time_pair(x, low) && valcmp_is_time_pair(x, high)) return valcmp_time_between(high, x, low, report);
  int16_t truth = 0;
  int16_t ok = valcmp_between(low, &truth, report, x, high);
  set_logical(x, truth);
  return ok;
}

int16_t valcmp_collated(const Value* value, const Value* key, int16_t* result, int16_t report,
                        int16_t collation_key) {
  if (!is_text(value) || !is_text(key)) return valcmp_values(value, key, result, 0, report);
  const char* text = text_of(value);
  size_t len = std::strlen(text);
  char local[257];
  char* copy = local;
  void* block = nullptr;
  if (len > 256) {
    if (!mem_alloc_zeroed(static_cast<int64_t>(len) + 1, &block, nullptr)) {
      *result = 1;
      return 0;
    }
    copy = static_cast<char*>(block);
  }
  std::memcpy(copy, text, len + 1);
  collate_normalise(copy, collation_key);
  *result = sign_of(std::strcmp(copy, text_of(key)));
  if (block) mem_free(&block);
  return 1;
}

int16_t valcmp_bytes(const Value* a, const Value* b, int16_t* result, int16_t report) {
  if (!is_text(a) || !is_text(b)) return valcmp_values(a, b, result, 0, report);
  const unsigned char* x = reinterpret_cast<const unsigned char*>(text_of(a));
  const unsigned char* y = reinterpret_cast<const unsigned char*>(text_of(b));
  while (*x && *x == *y) ++x, ++y;
  *result = *x < *y ? -1 : *x > *y ? 1 : 0;
  return 1;
}

// ---- number formatting -------------------------------------------------

char* number_format_fixed(char* buffer, int32_t width, int32_t decimals, double x) {
  if (width <= 0) {
    buffer[0] = '\0';
    return buffer;
  }
  int32_t w = width, d = decimals < 0 ? 0 : decimals;
  double limit, step;
  if (d > 0) {
    limit = std::pow(10.0, w - d - 1);
    step = std::pow(10.0, -std::min(d, 15 - (w - d - 1)));
  } else {
    limit = std::pow(10.0, w);
    step = std::pow(10.0, std::max(w - 15, 0));
  }
  if (std::isnan(x)) x = 0;
  if (x >= limit) x = limit - step;
  if (x <= -limit / 10) x = step - limit / 10;
  if (d > 0) x = num_round_to_step(x, std::pow(10.0, -d));
  fmt_format(buffer, w + 1, "%*.*f", w, d, x);
  return buffer;
}

namespace {

int32_t exponent_of(double x) { return x == 0 || !std::isfinite(x) ? 0 : static_cast<int32_t>(std::floor(std::log10(std::fabs(x)))); }

int32_t digits_for(double x, const NumFormat* f) {
  return std::min<int32_t>(f->decimals, f->significant - exponent_of(x) - 1);
}

double round_to_digits(double x, int32_t d) {
  if (x == 0 || !std::isfinite(x)) return x;
  return num_round_to_step(x, std::pow(10.0, -d));
}

}  // namespace

double numfmt_round(double x, const NumFormat* format) {
  if (x == 0) return 0;
  return round_to_digits(x, digits_for(x, format));
}

char* numfmt_format(char* buffer, int32_t size, double x, const NumFormat* format) {
  if (size <= 0) return buffer;
  char tmp[400];
  int32_t d = digits_for(x, format);
  x = round_to_digits(x, d);
  d = digits_for(x, format);
  int32_t e = exponent_of(x);
  if (format->kind == 13 && format->display == 1) {
    // Degrees, minutes and seconds.
    double ax = std::fabs(x);
    int32_t degrees = static_cast<int32_t>(std::floor(ax));
    double rest = (ax - degrees) * 60;
    int32_t minutes = static_cast<int32_t>(std::floor(rest));
    double seconds = (rest - minutes) * 60;
    int32_t sd = std::max(0, std::min<int32_t>(format->decimals, 15));
    seconds = num_round_to_step(seconds, std::pow(10.0, -sd));
    char deg[32], sec[64];
    if (x < 0 && degrees == 0)
      fmt_format(deg, sizeof deg, "%c%d", '-', 0);
    else
      fmt_format(deg, sizeof deg, "%d", x < 0 ? -degrees : degrees);
    fmt_format(sec, sizeof sec, "%.*g", sd + 2, seconds);
    std::string m1 = kernel_string(3199), m2 = kernel_string(7301), m3 = kernel_string(7302);
    fmt_format(tmp, sizeof tmp, "%s%s%s%d%s%s%s%s", deg, m1.c_str(), " ", minutes, m2.c_str(), " ", sec,
               m3.c_str());
  } else if (x != 0 && (std::fabs(x) <= 1e-6 || std::fabs(x) >= 1e8)) {
    fmt_format(tmp, sizeof tmp, "%.*e", std::max(0, e + d), x);
  } else if (d < 0 || d == 50) {
    fmt_format(tmp, sizeof tmp, "%.0f", x);
  } else {
    fmt_format(tmp, sizeof tmp, "%.*f", d, x);
  }
  str_copy_n(buffer, tmp, size);
  number_localise(buffer, size);
  return buffer;
}
