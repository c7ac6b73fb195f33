// Kernel text routines: copying, trimming, quoting and number parsing.
#include "kernel/runtime/str.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <string>
#include <system_error>

#include "kernel/runtime/kshared.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/mb.h"

namespace {

bool is_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool is_trim_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// The span of one number in the text: where its digits start (after blanks
// and a '+'), where the value's text starts (with a '-'), and its end.
struct NumberSpan {
  const char* value = nullptr;  // first character handed to from_chars
  const char* end = nullptr;    // past the last character used
  bool negative = false;
  bool any_digit = false;
};

NumberSpan scan_number(const char* text, bool fraction) {
  NumberSpan span;
  const char* p = text;
  while (is_space(static_cast<unsigned char>(*p))) ++p;
  const char* sign = p;
  if (*p == '+' || *p == '-') {
    span.negative = *p == '-';
    ++p;
  }
  span.value = span.negative ? sign : p;
  const char* digits = p;
  while (is_digit(static_cast<unsigned char>(*p))) ++p;
  span.any_digit = p != digits;
  if (fraction) {
    if (*p == '.') {
      const char* q = p + 1;
      while (is_digit(static_cast<unsigned char>(*q))) ++q;
      if (span.any_digit || q != p + 1) {
        span.any_digit = true;
        p = q;
      }
    }
    if (span.any_digit && (*p == 'e' || *p == 'E')) {
      const char* q = p + 1;
      if (*q == '+' || *q == '-') ++q;
      const char* exp_digits = q;
      while (is_digit(static_cast<unsigned char>(*q))) ++q;
      if (q != exp_digits) p = q;
    }
  }
  span.end = p;
  return span;
}

template <class T>
const char* fail(T* out) {
  if (out) *out = 0;
  return nullptr;
}

// Integers: from_chars over the scanned span; a '-' before an unsigned type
// is not a number. Range checks beyond the type's own use lo and hi.
template <class T, class Wide = T>
const char* parse_integer(const char* text, T* out, Wide lo, Wide hi) {
  if (text == nullptr) return fail(out);
  NumberSpan span = scan_number(text, false);
  if (!span.any_digit) return fail(out);
  Wide value{};
  auto [ptr, ec] = std::from_chars(span.value, span.end, value);
  if (ec != std::errc() || ptr != span.end || value < lo || value > hi) return fail(out);
  if (out) *out = static_cast<T>(value);
  return span.end;
}

// Digits of a decimal text without a sign: from_chars refuses '-' for
// unsigned types, which is what a negative unsigned text deserves.
template <class T>
const char* parse_unsigned(const char* text, T* out) {
  if (text == nullptr) return fail(out);
  NumberSpan span = scan_number(text, false);
  if (!span.any_digit || span.negative) return fail(out);
  T value{};
  auto [ptr, ec] = std::from_chars(span.value, span.end, value);
  if (ec != std::errc() || ptr != span.end) return fail(out);
  if (out) *out = value;
  return span.end;
}

template <class Fn, class T>
const char* delocalised(char* text, T* out, int16_t locale, Fn parse) {
  if (text == nullptr) return fail(out);
  if (locale) number_delocalise(text);
  return parse(text, out);
}

}  // namespace

char* str_copy_n(char* dest, const char* src, int64_t n) {
  if (dest == nullptr || n <= 0) return dest;
  int64_t len = 0;
  if (src != nullptr) {
    while (len < n - 1 && src[len] != '\0') ++len;
    std::memmove(dest, src, static_cast<size_t>(len));
  }
  std::memset(dest + len, 0, static_cast<size_t>(n - len));
  return dest;
}

int32_t str_trim_left(char* text) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (text[n] != '\0') {
    auto c = static_cast<unsigned char>(text[n]);
    if (!is_trim_space(c) && mb_is_print(c)) break;
    ++n;
  }
  if (n > 0) std::memmove(text, text + n, std::strlen(text + n) + 1);
  return static_cast<int32_t>(n);
}

int32_t str_trim_left_blanks(char* text) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (text[n] == ' ') ++n;
  if (n > 0) std::memmove(text, text + n, std::strlen(text + n) + 1);
  return static_cast<int32_t>(n);
}

int32_t str_trim_right(char* text) {
  if (text == nullptr) return 0;
  if (g_kshared.charset_multibyte == 0) {
    // Every character is one byte: the trailing run is found from the end.
    char* end = text + std::strlen(text);
    while (end > text) {
      auto c = static_cast<unsigned char>(end[-1]);
      if (!is_trim_space(c) && mb_is_print(c)) break;
      --end;
    }
    *end = '\0';
    return static_cast<int32_t>(end - text);
  }
  // Walk forward by characters, remembering where the trailing run starts.
  char* keep_end = text;
  char* p = text;
  while (*p != '\0') {
    char* next = const_cast<char*>(mb_char_step(p));
    bool single = next == p + 1;
    auto c = static_cast<unsigned char>(*p);
    bool trimmable = single && (is_trim_space(c) || !mb_is_print(c));
    if (!trimmable) keep_end = next;
    p = next;
  }
  *keep_end = '\0';
  return static_cast<int32_t>(keep_end - text);
}

void str_reverse_bytes(void* buffer, int64_t n) {
  if (buffer == nullptr || n <= 1) return;
  auto* b = static_cast<unsigned char*>(buffer);
  for (int64_t i = 0, j = n - 1; i < j; ++i, --j) std::swap(b[i], b[j]);
}

char* str_replace_chars(char* text, const char* set, char ch) {
  if (text == nullptr || set == nullptr) return text;
  for (char* p = text; *p != '\0';) {
    char* next = const_cast<char*>(mb_char_step(p));
    if (mb_char_in_set(p, set)) std::memset(p, static_cast<unsigned char>(ch), static_cast<size_t>(next - p));
    p = next;
  }
  return text;
}

char* str_blank_unprintable(char* text) {
  if (text == nullptr) return text;
  for (char* p = text; *p != '\0';) {
    char* next = const_cast<char*>(mb_char_step(p));
    bool printable = true;
    for (char* q = p; q < next; ++q) printable = printable && mb_is_print(static_cast<unsigned char>(*q));
    if (!printable) std::memset(p, ' ', static_cast<size_t>(next - p));
    p = next;
  }
  return text;
}

char* str_quote_text(char* out, const char* text, const char* quote, int32_t size) {
  if (out == nullptr || size <= 0) return out;
  if (text == nullptr) text = "";
  if (quote != nullptr && quote[0] == '\0') return str_copy_n(out, text, size);
  if (size < 3) {
    out[0] = '\0';
    return out;
  }
  char q = quote ? quote[0] : '"';
  // Work from a copy so that quoting in place never reads what it wrote.
  std::string src(text);
  int32_t room = size - 3;
  int32_t n = 0;
  out[n++] = q;
  for (size_t i = 0; i < src.size();) {
    const char* p = src.c_str() + i;
    size_t step = static_cast<size_t>(mb_char_step(p) - p);
    if (step == 0) break;
    int32_t need = src[i] == q ? 2 : static_cast<int32_t>(step);
    if (n - 1 + need > room) break;
    if (src[i] == q) {
      out[n++] = q;
      out[n++] = q;
    } else {
      std::memcpy(out + n, p, step);
      n += static_cast<int32_t>(step);
    }
    i += step;
  }
  out[n++] = q;
  out[n] = '\0';
  return out;
}

char* str_unquote(char* out, const char* text, const char* quote, int32_t size) {
  if (out == nullptr || size <= 0) return out;
  if (text == nullptr) text = "";
  char q = quote ? quote[0] : '"';
  if (q == '\0' || text[0] != q) return str_copy_n(out, text, size);
  std::string src(text + 1);
  int32_t n = 0;
  for (size_t i = 0; i < src.size() && n < size - 1;) {
    if (src[i] == q) {
      if (i + 1 < src.size() && src[i + 1] == q) {
        out[n++] = q;
        i += 2;
        continue;
      }
      break;
    }
    const char* p = src.c_str() + i;
    size_t step = static_cast<size_t>(mb_char_step(p) - p);
    if (n + static_cast<int32_t>(step) > size - 1) break;
    std::memcpy(out + n, p, step);
    n += static_cast<int32_t>(step);
    i += step;
  }
  out[n] = '\0';
  return out;
}

const char* str_to_short(const char* text, int16_t* out) {
  return parse_integer<int16_t, int32_t>(text, out, INT16_MIN, INT16_MAX);
}
const char* str_to_int(const char* text, int32_t* out) {
  return parse_integer<int32_t>(text, out, INT32_MIN, INT32_MAX);
}
const char* str_to_long(const char* text, int32_t* out) { return str_to_int(text, out); }
const char* str_to_int64(const char* text, int64_t* out) {
  return parse_integer<int64_t>(text, out, INT64_MIN, INT64_MAX);
}
const char* str_to_uint(const char* text, uint32_t* out) { return parse_unsigned(text, out); }
const char* str_to_uint64(const char* text, uint64_t* out) { return parse_unsigned(text, out); }

const char* str_to_double(const char* text, double* out) {
  if (text == nullptr) return fail(out);
  if (std::strcmp(text, ".") == 0) {
    if (out) *out = 0;
    return text + 1;
  }
  NumberSpan span = scan_number(text, true);
  if (!span.any_digit) return fail(out);
  double value = 0;
  // from_chars refuses overflow and a non-zero text that underflows to 0;
  // subnormal results are kept.
  auto [ptr, ec] = std::from_chars(span.value, span.end, value, std::chars_format::general);
  if (ec != std::errc() || ptr != span.end) return fail(out);
  if (out) *out = value;
  return span.end;
}

const char* str_to_hex(const char* text, uint32_t* out) {
  if (text == nullptr) return fail(out);
  const char* p = text;
  while (is_space(static_cast<unsigned char>(*p))) ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && std::isxdigit(static_cast<unsigned char>(p[2]))) p += 2;
  uint32_t value = 0;
  auto [ptr, ec] = std::from_chars(p, p + std::strlen(p), value, 16);
  if (ec != std::errc()) return fail(out);
  if (out) *out = value;
  return ptr;
}

const char* str_to_short_ex(char* text, int16_t* out, int16_t locale) {
  return delocalised(text, out, locale, str_to_short);
}
const char* str_to_int_ex(char* text, int32_t* out, int16_t locale) {
  return delocalised(text, out, locale, str_to_int);
}
const char* str_to_long_ex(char* text, int32_t* out, int16_t locale) {
  return delocalised(text, out, locale, str_to_long);
}
const char* str_to_int64_ex(char* text, int64_t* out, int16_t locale) {
  return delocalised(text, out, locale, str_to_int64);
}
const char* str_to_uint_ex(char* text, uint32_t* out, int16_t locale) {
  return delocalised(text, out, locale, str_to_uint);
}
const char* str_to_uint64_ex(char* text, uint64_t* out, int16_t locale) {
  return delocalised(text, out, locale, str_to_uint64);
}
const char* str_to_double_ex(char* text, double* out, int16_t locale) {
  return delocalised(text, out, locale, str_to_double);
}
