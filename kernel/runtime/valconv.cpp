// Value conversions and text forms. See valconv.h.
#include "kernel/runtime/valconv.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/num.h"
#include "kernel/runtime/str.h"

namespace {

void push(int16_t code) { err_push(4, code, nullptr, nullptr); }

// The value's text, trimmed both sides, in buf (at most 511 characters);
// null when the value is no text type.
const char* trimmed_text(const Value* value, char (&buf)[512]) {
  if (!value_is_text_type(value->type)) return nullptr;
  value_text_copy(value, buf, sizeof buf);
  str_trim_right(buf);
  str_trim_left(buf);
  return buf;
}

bool fits_int32(double x) { return x >= -2147483648.5 && x < 2147483647.5; }
bool fits_int64(double x) { return x > -9223372036854775808.0 && x < 9223372036854775808.0; }

// Whether the type carries a number (a numeric reading never pushes for it).
bool has_number(uint8_t type) {
  switch (type) {
    case 0: case 2: case 3: case 4: case 5: case 6: case 8: case 37: case 38: case 39: return true;
    default: return value_is_text_type(type) != 0;
  }
}

// Reads a text as a 32-bit integer: 854 for no number, 471 out of range.
int16_t text_to_int(char* text, int32_t* out, int16_t locale) {
  *out = 0;
  if (text[0] == '\0') return 1;
  char copy[512];
  str_copy_n(copy, text, sizeof copy);
  if (str_to_long_ex(text, out, locale)) return 1;
  int64_t wide;
  if (str_to_int64_ex(copy, &wide, locale)) {
    push(kErrNumberRange);
    return 0;
  }
  push(kErrBadDateTime);
  return 0;
}

int16_t text_to_int64(char* text, int64_t* out, int16_t locale) {
  *out = 0;
  if (text[0] == '\0') return 1;
  char copy[512];
  str_copy_n(copy, text, sizeof copy);
  if (str_to_int64_ex(text, out, locale)) return 1;
  // A run of digits that does not fit is a range error, not a bad text.
  const char* p = copy;
  if (*p == '+' || *p == '-') ++p;
  push(*p >= '0' && *p <= '9' ? kErrNumberRange : kErrBadDateTime);
  return 0;
}

void write_text(char* buffer, int32_t size, const char* text) {
  if (size > 0) str_copy_n(buffer, text, size);
}

// "%.*g" of a normal value whose shortest round-trip form has at most
// `precision` (up to 15) significant digits: the value lies within half a
// unit of the last place of that form, far below half a unit of its
// precision-th digit, so the form is what the formatter's rounding of the
// value gives; it is laid out as "%g" lays it out. False for other values.
bool format_g_short(double x, int32_t precision, char* out, size_t cap) {
  // Subnormal values carry fewer digits than their shortest form shows.
  if (!std::isnormal(x) || precision < 1 || precision > 15) return false;
  char digits[20];
  int32_t n = 0;
  int32_t exp = 0;
  // Any decimal of at most `precision` digits whose nearest double is x
  // gives the same text as the shortest form; one scaled to `precision`
  // digits is tried first, as it needs no digit generation.
  const int32_t first = static_cast<int32_t>(std::floor(std::log10(std::fabs(x))));
  if (!fmt_scaled_digits(x, precision - 1 - first, precision, digits, &n, &exp)) {
    char sci[40];
    const auto res = std::to_chars(sci, sci + sizeof sci, std::fabs(x), std::chars_format::scientific);
    if (res.ec != std::errc()) return false;
    *res.ptr = '\0';
    n = 0;
    const char* p = sci;
    for (; *p != 'e'; ++p) {
      if (*p == '.') continue;
      if (n >= precision) return false;
      digits[n++] = *p;
    }
    exp = std::atoi(p + 1);
    while (n > 1 && digits[n - 1] == '0') --n;
  }
  char t[64];
  size_t k = 0;
  auto put = [&](char c) {
    if (k < sizeof t) t[k++] = c;
  };
  if (std::signbit(x)) put('-');
  if (exp >= -4 && exp < precision) {
    if (exp < 0) {
      put('0');
      put('.');
      for (int i = 0; i < -exp - 1; ++i) put('0');
      for (int i = 0; i < n; ++i) put(digits[i]);
    } else {
      for (int i = 0; i <= exp; ++i) put(i < n ? digits[i] : '0');
      if (n > exp + 1) put('.');
      for (int i = exp + 1; i < n; ++i) put(digits[i]);
    }
  } else {
    put(digits[0]);
    if (n > 1) put('.');
    for (int i = 1; i < n; ++i) put(digits[i]);
    put('e');
    put(exp < 0 ? '-' : '+');
    const int e = exp < 0 ? -exp : exp;
    if (e >= 100) put(static_cast<char>('0' + e / 100));
    put(static_cast<char>('0' + e / 10 % 10));
    put(static_cast<char>('0' + e % 10));
  }
  if (k + 1 > cap || k >= sizeof t) return false;
  std::memcpy(out, t, k);
  out[k] = '\0';
  return true;
}

char* format_g(double x, char* buffer, int32_t size, int16_t locale, int32_t precision) {
  if (size <= 0) return buffer;
  char tmp[400];
  if (!format_g_short(x, precision, tmp, sizeof tmp)) fmt_format(tmp, sizeof tmp, "%.*g", precision, x);
  if (locale) number_localise(tmp, sizeof tmp);
  write_text(buffer, size, tmp);
  return buffer;
}

}  // namespace

// ---- readers -----------------------------------------------------------

int16_t value_get_double_ex(const Value* value, double* out, int16_t locale) {
  *out = 0;
  char buf[512];
  if (trimmed_text(value, buf)) {
    if (buf[0] == '\0' || !str_to_double_ex(buf, out, locale)) {
      *out = 0;
      push(kErrBadDateTime);
      return 0;
    }
    return 1;
  }
  switch (value->type) {
    case 0: return 1;
    case 2: case 8: *out = value->u.d; return 1;
    case 3: *out = value->u.i; return 1;
    case 4: *out = value->u.s; return 1;
    case 6: *out = value->u.b; return 1;
    case 5: *out = date_to_int(&value->u.date); return 1;
    case 37: *out = time_to_int(&value->u.time); return 1;
    case 38: *out = static_cast<double>(datetime_to_int64(&value->u.dt)); return 1;
    case 39: *out = static_cast<double>(value->u.ll); return 1;
    default: push(kErrBadDateTime); return 0;
  }
}

int16_t value_get_int_ex(const Value* value, int32_t* out, int16_t locale) {
  *out = 0;
  char buf[512];
  if (trimmed_text(value, buf)) return text_to_int(buf, out, locale);
  auto from_wide = [&](int64_t n) -> int16_t {
    if (n < INT32_MIN || n > INT32_MAX) {
      push(kErrNumberRange);
      return 0;
    }
    *out = static_cast<int32_t>(n);
    return 1;
  };
  switch (value->type) {
    case 0: return 1;
    case 2: case 8:
      if (!fits_int32(value->u.d)) {
        push(kErrNumberRange);
        return 0;
      }
      *out = num_round_int(value->u.d);
      return 1;
    case 3: *out = value->u.i; return 1;
    case 4: *out = value->u.s; return 1;
    case 5: *out = date_to_int(&value->u.date); return 1;
    case 6: *out = value->u.b; return 1;
    case 37: *out = time_to_int(&value->u.time); return 1;
    case 38: return from_wide(datetime_to_int64(&value->u.dt));
    case 39: return from_wide(value->u.ll);
    default: push(kErrBadDateTime); return 0;
  }
}

int16_t value_get_int64_ex(const Value* value, int64_t* out, int16_t locale) {
  *out = 0;
  char buf[512];
  if (trimmed_text(value, buf)) return text_to_int64(buf, out, locale);
  switch (value->type) {
    case 2: case 8:
      if (!fits_int64(value->u.d)) {
        push(kErrNumberRange);
        return 0;
      }
      *out = num_round_int64(value->u.d);
      return 1;
    case 38: *out = datetime_to_int64(&value->u.dt); return 1;
    case 39: *out = value->u.ll; return 1;
    default: {
      int32_t n;
      int16_t r = value_get_int_ex(value, &n, locale);
      *out = n;
      return r;
    }
  }
}

int16_t value_get_short_ex(const Value* value, int16_t* out, int16_t locale) {
  *out = 0;
  int64_t n;
  if (!value_get_int64_ex(value, &n, locale)) return 0;
  if (n < -32768 || n > 32767) {
    push(kErrNumberRange);
    return 0;
  }
  *out = static_cast<int16_t>(n);
  return 1;
}

int16_t value_get_double(const Value* v, double* out) { return value_get_double_ex(v, out, 0); }
double value_to_double(const Value* v) {
  double d;
  value_get_double_ex(v, &d, 0);
  return d;
}
int16_t value_get_int(const Value* v, int32_t* out) { return value_get_int_ex(v, out, 0); }
int16_t value_get_int64(const Value* v, int64_t* out) { return value_get_int64_ex(v, out, 0); }
int16_t value_get_short(const Value* v, int16_t* out) { return value_get_short_ex(v, out, 0); }

// The shared part of reading a date, a time or a date-time: a text parses
// (an empty one gives the empty value), a number goes through its integer
// form. Answers -1 when the value is neither, for the caller's own types.
template <typename Rec, typename Int, typename Clear, typename Parse, typename GetInt, typename FromInt>
int16_t temporal_from_text_or_number(const Value* value, Rec* out, Clear clear, Parse parse, GetInt get_int,
                                     FromInt from_int) {
  clear(out);
  char buf[512];
  if (trimmed_text(value, buf)) {
    if (buf[0] == '\0') return 1;
    if (!parse(buf, out)) {
      clear(out);
      push(kErrBadDateTime);
      return 0;
    }
    return 1;
  }
  switch (value->type) {
    case 0: return 1;
    case 2: case 3: case 4: case 8: case 39: {
      Int n;
      if (!get_int(value, &n, 0)) return 0;
      if (!from_int(n, out)) {
        clear(out);
        return 0;
      }
      return 1;
    }
    default: return -1;
  }
}

int16_t value_get_date(const Value* value, Date* out) {
  int16_t done = temporal_from_text_or_number<Date, int32_t>(
      value, out, date_set_empty, [](const char* t, Date* d) { return date_from_text(t, d, nullptr) != nullptr; },
      value_get_int_ex, date_from_int);
  if (done >= 0) return done;
  switch (value->type) {
    case 5: *out = value->u.date; return 1;
    case 38: *out = value->u.dt.date; return 1;
    default: push(kErrBadDateTime); return 0;
  }
}

int16_t value_get_time(const Value* value, Time* out) {
  int16_t done = temporal_from_text_or_number<Time, int32_t>(
      value, out, time_set_null, [](const char* t, Time* d) { return time_from_text(t, d) != nullptr; },
      value_get_int_ex, time_from_int);
  if (done >= 0) return done;
  switch (value->type) {
    case 37: *out = value->u.time; return 1;
    case 38: *out = value->u.dt.time; return 1;
    default: push(kErrBadDateTime); return 0;
  }
}

int16_t value_get_datetime(const Value* value, DateTime* out) {
  int16_t done = temporal_from_text_or_number<DateTime, int64_t>(
      value, out, datetime_set_null, [](const char* t, DateTime* d) { return datetime_from_text(t, d) != nullptr; },
      value_get_int64_ex, datetime_from_int64);
  if (done >= 0) return done;
  switch (value->type) {
    case 5:
      if (!date_is_empty(&value->u.date)) {
        out->date = value->u.date;
        out->time = Time{0, 0, 0, 0};
      }
      return 1;
    case 37:
      if (!time_is_null(&value->u.time)) {
        date_today(&out->date);
        out->time = value->u.time;
      }
      return 1;
    case 38: *out = value->u.dt; return 1;
    default: push(kErrBadDateTime); return 0;
  }
}

int16_t value_is_nonzero(const Value* value) {
  if (value_is_text_type(value->type)) return value_text_length(value) > 0 ? 1 : 0;
  switch (value->type) {
    case 0: case 7: return 0;
    case 2: case 8: return value->u.d != 0 ? 1 : 0;
    case 3: return value->u.i != 0 ? 1 : 0;
    case 4: return value->u.s != 0 ? 1 : 0;
    case 5: return date_is_empty(&value->u.date) ? 0 : 1;
    case 6: return value->u.b ? 1 : 0;
    case 13: return value->u.object.obj ? 1 : 0;
    case 37: return time_is_null(&value->u.time) ? 0 : 1;
    case 38: return datetime_is_null(&value->u.dt) ? 0 : 1;
    case 39: return value->u.ll != 0 ? 1 : 0;
    default: push(kErrBadDateTime); return 0;
  }
}

int16_t value_get_logical(const Value* value) {
  if (value_is_text_type(value->type)) {
    const char* p = value_text_ptr(value, nullptr);
    char c = p ? static_cast<char>(mb_char_upper(static_cast<unsigned char>(p[0]))) : '\0';
    return c == '1' || c == 'T' || c == 'Y' ? 1 : 0;
  }
  return value_is_nonzero(value);
}

// ---- conversion --------------------------------------------------------

namespace {

// Room of a text destination's buffer (characters, without the NUL).
int32_t text_room(const Value* value) {
  if (!value->u.text.ptr) return -1;
  int32_t size = static_cast<int32_t>(mem_size(value->u.text.ptr));
  if (value->type == 1 && value->u.text.offset >= 0) return -1;  // a caller's buffer: its size is unknown
  return size - 1;
}

int16_t convert_fail(Value* destination) {
  value_clear(destination);
  push(kErrBadDateTime);
  return 0;
}

}  // namespace

int16_t value_convert(Value* destination, const Value* source, int16_t locale) {
  switch (destination->type) {
    case 1: case 21: {
      char text[512];
      value_to_text(source, text, sizeof text, -1, 0);
      char* p = value_text_ptr(destination, nullptr);
      if (!p) return 1;
      int32_t room = text_room(destination);
      if (room < 0) room = static_cast<int32_t>(std::strlen(text));
      str_copy_n(p, text, static_cast<int64_t>(room) + 1);
      return 1;
    }
    case 2: case 8: return value_get_double_ex(source, &destination->u.d, locale);
    case 3: return value_get_int_ex(source, &destination->u.i, locale);
    case 4: return value_get_short_ex(source, &destination->u.s, locale);
    case 39: return value_get_int64_ex(source, &destination->u.ll, locale);
    case 5: return value_get_date(source, &destination->u.date);
    case 37: return value_get_time(source, &destination->u.time);
    case 38: return value_get_datetime(source, &destination->u.dt);
    case 6: destination->u.b = static_cast<uint8_t>(value_get_logical(source)); return 1;
    case 11: case 12: case 14: case 15: {
      if (source->type != destination->type) return convert_fail(destination);
      Value copy;
      if (!value_copy(&copy, source)) return convert_fail(destination);
      value_free(destination);
      *destination = copy;
      return 1;
    }
    case 13: {
      if (source->type == 7) return 0;
      if (source->type != 13) return convert_fail(destination);
      Value copy;
      if (!value_copy(&copy, source)) return convert_fail(destination);
      value_free(destination);
      *destination = copy;
      return 1;
    }
    case 16: {
      if (!destination->u.text.ptr) return convert_fail(destination);
      char text[512];
      value_to_text(source, text, sizeof text, -1, 0);
      int32_t w = destination->u.text.offset < 0 ? 0 : destination->u.text.offset;
      str_copy_n(destination->u.text.ptr, text, static_cast<int64_t>(w) + 1);
      value_pad_fixed(destination);
      return 1;
    }
    case 9: case 10: case 24: case 27: return convert_fail(destination);
    default:
      if (source->type != destination->type) return convert_fail(destination);
      *destination = *source;
      return 1;
  }
}

int16_t value_convert_plain(Value* destination, const Value* source) {
  return value_convert(destination, source, 0);
}

int16_t value_assign(Value* destination, const Value* source, int16_t locale) {
  if (destination->type != 1 && destination->type != 21) return value_convert(destination, source, locale);
  char form[80];
  const char* text;
  if (value_is_text_type(source->type)) {
    text = value_text_ptr(source, nullptr);
    if (!text) text = "";
  } else {
    value_to_text(source, form, sizeof form, -1, 0);
    text = form;
  }
  int32_t len = static_cast<int32_t>(std::strlen(text));
  char* p = value_text_ptr(destination, nullptr);
  int32_t room = text_room(destination);
  if (p && (room < 0 || len < room + 1)) {
    std::memmove(p, text, static_cast<size_t>(len) + 1);
    return 1;
  }
  // The text does not fit: a buffer of its own (the source may be the
  // destination's own text, so copy before freeing).
  char* block = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(len) + 1, &block, static_cast<char**>(nullptr))) return 0;
  std::memcpy(block, text, static_cast<size_t>(len) + 1);
  uint8_t type = destination->type;
  value_free(destination);
  destination->type = type;
  destination->u.text.ptr = block;
  destination->u.text.offset = -1;
  return 1;
}

int16_t value_assign_plain(Value* destination, const Value* source) { return value_assign(destination, source, 0); }

int16_t value_make_converted(Value* destination, const Value* source, int32_t type, int32_t length) {
  value_init(destination, type, nullptr);
  if (!value_alloc_text(length, destination, nullptr)) return 0;
  if (!value_convert(destination, source, 0)) {
    value_free(destination);
    return 0;
  }
  return 1;
}

// ---- text forms --------------------------------------------------------

char* number_format_g(double x, char* buffer, int32_t size, int16_t locale) {
  int32_t precision = 6;
  if (x != 0 && std::isfinite(x)) {
    double p = std::trunc(std::log10(std::fabs(x))) + 3;
    if (p >= 6 && p <= 14) precision = static_cast<int32_t>(p);
  }
  return format_g(x, buffer, size, locale, precision);
}

char* number_format_g_plain(double x, char* buffer, int32_t size) { return number_format_g(x, buffer, size, 0); }

char* number_format_g14(double x, char* buffer, int32_t size, int16_t locale) {
  return format_g(x, buffer, size, locale, 14);
}

char* number_format_trim(double x, char* buffer, int32_t size) {
  if (size <= 0) return buffer;
  char tmp[400];
  fmt_format(tmp, sizeof tmp, "%.12f", x);
  if (std::strchr(tmp, '.')) {
    size_t n = std::strlen(tmp);
    while (n > 0 && tmp[n - 1] == '0') tmp[--n] = '\0';
    if (n > 0 && tmp[n - 1] == '.') tmp[--n] = '\0';
  }
  write_text(buffer, size, tmp);
  return buffer;
}

char* value_object_type_name(const MapObject* obj, char* buffer, int32_t size) {
  static const int32_t kIds[15] = {0, 6020, 6021, 6023, 6022, 6024, 6025, 6026, 6027, 6028, 6029, 0, 0, 6057, 6058};
  int16_t type = value_object_type(obj);
  int32_t id = type >= 0 && type < 15 ? kIds[type] : 0;
  write_text(buffer, size, id && kernel_string_exists(id) ? kernel_string(id) : "");
  return buffer;
}

char* value_to_text(const Value* value, char* buffer, int32_t size, int16_t decimals, int16_t locale) {
  if (size <= 0) return buffer;
  buffer[0] = '\0';
  char tmp[512];
  tmp[0] = '\0';
  if (value_is_text_type(value->type)) {
    const char* p = value_text_ptr(value, nullptr);
    write_text(buffer, size, p ? p : "");
    return buffer;
  }
  if (has_number(value->type)) {
    // Only types that carry a number are read here, so nothing is pushed.
    double d;
    value_get_double_ex(value, &d, 0);
    if (d == kNullNumber) return buffer;
  }
  switch (value->type) {
    case 2:
      if (decimals < 0) return number_format_g(value->u.d, buffer, size, locale);
      fmt_fixed(tmp, sizeof tmp, value->u.d, decimals);
      if (locale) number_localise(tmp, sizeof tmp);
      break;
    case 3: case 4: case 39:
      {
        // Plain decimal digits, as "%ld", "%hd" and "%I64d" write them.
        const int64_t n = value->type == 3 ? int64_t{value->u.i} : value->type == 4 ? int64_t{value->u.s}
                                                                                      : int64_t{value->u.ll};
        *std::to_chars(tmp, tmp + sizeof tmp - 1, n).ptr = '\0';
      }
      if (locale) number_localise(tmp, sizeof tmp);
      break;
    case 5: date_to_text(&value->u.date, tmp, sizeof tmp, locale); break;
    case 37: time_to_text(&value->u.time, tmp, sizeof tmp, locale); break;
    case 38: datetime_to_text(&value->u.dt, tmp, sizeof tmp, locale); break;
    case 6: std::strcpy(tmp, value->u.b ? "T" : "F"); break;
    case 8: return number_format_g(value->u.d, buffer, size, locale);
    case 9: std::strcpy(tmp, "memo"); break;
    case 11:
      if (const PenStyle* pen = value->u.pen)
        fmt_format(tmp, sizeof tmp, "Pen (%d, %d, %ld)", static_cast<int>(pen->width), pen->pattern,
                   static_cast<int32_t>(pen->colour));
      break;
    case 12:
      if (const BrushStyle* b = value->u.brush) {
        if (b->transparent)
          fmt_format(tmp, sizeof tmp, "Brush (%d, %ld)", b->pattern, static_cast<int32_t>(b->fore));
        else
          fmt_format(tmp, sizeof tmp, "Brush (%d, %ld, %ld)", b->pattern, static_cast<int32_t>(b->fore),
                     static_cast<int32_t>(b->back));
      }
      break;
    case 13:
      if (value->u.object.obj) value_object_type_name(value->u.object.obj, tmp, sizeof tmp);
      break;
    case 15:
      if (value->u.font) font_to_clause(value->u.font, tmp, sizeof tmp);
      break;
    default: break;
  }
  write_text(buffer, size, tmp);
  return buffer;
}

char* value_to_text_plain(const Value* value, char* buffer, int32_t size, int16_t decimals) {
  return value_to_text(value, buffer, size, decimals, 0);
}

char* value_to_text_full(const Value* value, char* buffer, int32_t size, int16_t decimals, int16_t locale) {
  if (size <= 0) return buffer;
  switch (value->type) {
    case 8:
      if (value->u.d == kNullNumber) {
        buffer[0] = '\0';
        return buffer;
      }
      return number_format_g14(value->u.d, buffer, size, locale);
    case 37: return time_format_full(&value->u.time, buffer, size, locale);
    case 38: return datetime_to_text_full(&value->u.dt, buffer, size, locale);
    default: return value_to_text(value, buffer, size, decimals, locale);
  }
}

// ---- parsing -----------------------------------------------------------

int16_t value_from_text(const char* text, int32_t type, int32_t max_length, int16_t decimals, int16_t is_new,
                        Value* value, int16_t locale) {
  if (is_new) std::memset(value, 0, sizeof *value);
  value->type = static_cast<uint8_t>(type);
  if (!text) return 0;
  int32_t len = static_cast<int32_t>(std::strlen(text));
  if (max_length < 0) max_length = len;
  char buf[512];
  switch (type) {
    case 1: case 10: case 21: case 24: {
      if (is_new) {
        value->type = type == 10 ? 1 : type == 24 ? 21 : static_cast<uint8_t>(type);
        int32_t n = len < max_length ? len : max_length;
        value->u.text.offset = -1;
        char* block = nullptr;
        if (!mem_alloc_zeroed(static_cast<int64_t>(n) + 1, &block, static_cast<char**>(nullptr))) return 0;
        std::memcpy(block, text, static_cast<size_t>(n));
        value->u.text.ptr = block;
        return 1;
      }
      char* p = value_text_ptr(value, nullptr);
      if (!p) return 0;
      str_copy_n(p, text, static_cast<int64_t>(max_length) + 1);
      return 1;
    }
    case 16: {
      if (is_new) {
        char* block = nullptr;
        if (!mem_alloc_zeroed(static_cast<int64_t>(max_length) + 1, &block, static_cast<char**>(nullptr)))
          return 0;
        value->u.text.ptr = block;
        value->u.text.offset = max_length;
      }
      if (!value->u.text.ptr) return 0;
      str_copy_n(value->u.text.ptr, text, static_cast<int64_t>(value->u.text.offset) + 1);
      value_pad_fixed(value);
      return 1;
    }
    case 2: case 8: {
      str_copy_n(buf, text, sizeof buf);
      double d = 0;
      if (!str_to_double_ex(buf, &d, locale)) {
        value->u.d = 0;
        return 0;
      }
      if (type == 2 && decimals >= 0) d = num_round_to_step(d, std::pow(10.0, -decimals));
      value->u.d = d;
      return 1;
    }
    case 3:
      str_copy_n(buf, text, sizeof buf);
      return str_to_long_ex(buf, &value->u.i, locale) ? 1 : 0;
    case 4:
      str_copy_n(buf, text, sizeof buf);
      return str_to_short_ex(buf, &value->u.s, locale) ? 1 : 0;
    case 39:
      str_copy_n(buf, text, sizeof buf);
      return str_to_int64_ex(buf, &value->u.ll, locale) ? 1 : 0;
    case 5: return date_from_text(text, &value->u.date, nullptr) ? 1 : 0;
    case 37: return time_from_text(text, &value->u.time) ? 1 : 0;
    case 38: return datetime_from_text(text, &value->u.dt) ? 1 : 0;
    case 6: {
      char c = static_cast<char>(mb_char_upper(static_cast<unsigned char>(text[0])));
      value->u.b = c == 'T' || c == 'Y' || c == '1' ? 1 : 0;
      return 1;
    }
    default: return 1;
  }
}

int16_t value_parse(const char* text, int32_t type, int32_t max_length, int16_t decimals, int16_t is_new,
                    Value* value) {
  return value_from_text(text, type, max_length, decimals, is_new, value, 0);
}

int16_t value_guess_type(const char* text) {
  if (!text) return 0;
  char buf[256];
  str_copy_n(buf, text, sizeof buf);
  str_trim_right(buf);
  str_trim_left(buf);
  if (buf[0] == '\0') return 0;
  const char* p = buf;
  bool sign = *p == '+' || *p == '-';
  if (sign) ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  if (*p == '\0' && p > digits) {
    bool nonzero = std::strspn(digits, "0") != std::strlen(digits);
    if (digits[0] == '0' && nonzero) return 1;
    double magnitude = 0;
    for (const char* q = digits; *q; ++q) magnitude = magnitude * 10 + (*q - '0');
    if (magnitude < 32768) return 4;
    if (magnitude < 2147483647) return 3;
    return 8;
  }
  double d;
  const char* end = str_to_double(buf, &d);
  if (end && *end == '\0') return 8;
  return 1;
}
