// The kernel's printf-style formatter. Floating-point digits come from the
// value's shortest exact 17-significant-digit form (std::to_chars), rounded
// half away from zero to the precision asked, so results never depend on the
// C library's rounding or on the process locale.
#include "kernel/runtime/fmt.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

bool fmt_scaled_digits(double x, int32_t k, int32_t max_digits, char* digits, int32_t* count, int32_t* exp) {
  if (k < 0 || k > 22 || max_digits < 1 || max_digits > 15 || (x != 0 && !std::isnormal(x))) return false;
  const double scaled = std::fabs(x) * kPow10[k];
  if (!(scaled < 1e15)) return false;
  // m and 10^k are exact doubles, so the quotient is the decimal's nearest.
  const auto m = static_cast<uint64_t>(std::llround(scaled));
  if (static_cast<double>(m) / kPow10[k] != std::fabs(x)) return false;
  if (m == 0) {
    digits[0] = '0';
    *count = 1;
    *exp = 0;
    return true;
  }
  char text[24];
  const auto res = std::to_chars(text, text + sizeof text, m);
  int32_t len = static_cast<int32_t>(res.ptr - text);
  if (len > max_digits) return false;
  *exp = len - 1 - k;
  while (len > 1 && text[len - 1] == '0') --len;
  std::memcpy(digits, text, static_cast<size_t>(len));
  *count = len;
  return true;
}

namespace {

struct Out {
  char* buf;
  int32_t cap;  // bytes usable for text (size - 1)
  int32_t len = 0;
  void put(char c) {
    if (len < cap) buf[len++] = c;
  }
  void put(const char* s, size_t n) {
    size_t room = static_cast<size_t>(cap - len);
    if (n > room) n = room;
    std::memcpy(buf + len, s, n);
    len += static_cast<int32_t>(n);
  }
  void fill(char c, int32_t n) {
    for (int32_t i = 0; i < n && len < cap; ++i) buf[len++] = c;
  }
};

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int32_t width = 0;
  int32_t precision = -1;
  char conv = 0;
};

// Writes prefix (sign, 0x) and body into a field of the conversion's width.
void emit(Out& out, const Spec& spec, const char* prefix, size_t prefix_len, const char* body, size_t body_len,
          bool zero_pad_allowed) {
  int32_t total = static_cast<int32_t>(prefix_len + body_len);
  int32_t pad = spec.width > total ? spec.width - total : 0;
  if (spec.left) {
    out.put(prefix, prefix_len);
    out.put(body, body_len);
    out.fill(' ', pad);
  } else if (spec.zero && zero_pad_allowed) {
    out.put(prefix, prefix_len);
    out.fill('0', pad);
    out.put(body, body_len);
  } else {
    out.fill(' ', pad);
    out.put(prefix, prefix_len);
    out.put(body, body_len);
  }
}

void format_integer(Out& out, const Spec& spec, uint64_t magnitude, bool negative) {
  char digits[32];
  int base = spec.conv == 'o' ? 8 : (spec.conv == 'x' || spec.conv == 'X') ? 16 : 10;
  auto res = std::to_chars(digits, digits + sizeof digits, magnitude, base);
  size_t n = static_cast<size_t>(res.ptr - digits);
  if (spec.conv == 'X') {
    for (size_t i = 0; i < n; ++i) digits[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(digits[i])));
  }
  if (spec.precision == 0 && magnitude == 0) n = 0;
  char body[64];
  size_t body_len = 0;
  int32_t min_digits = spec.precision > 0 ? spec.precision : 0;
  if (min_digits > 40) min_digits = 40;
  if (spec.alt && base == 8 && (n == 0 || digits[0] != '0') && static_cast<int32_t>(n) >= min_digits) {
    min_digits = static_cast<int32_t>(n) + 1;
  }
  for (int32_t i = static_cast<int32_t>(n); i < min_digits; ++i) body[body_len++] = '0';
  std::memcpy(body + body_len, digits, n);
  body_len += n;
  char prefix[3];
  size_t prefix_len = 0;
  if (negative) {
    prefix[prefix_len++] = '-';
  } else if ((spec.conv == 'd' || spec.conv == 'i') && spec.plus) {
    prefix[prefix_len++] = '+';
  } else if ((spec.conv == 'd' || spec.conv == 'i') && spec.space) {
    prefix[prefix_len++] = ' ';
  }
  if (spec.alt && base == 16 && magnitude != 0) {
    prefix[prefix_len++] = '0';
    prefix[prefix_len++] = spec.conv;
  }
  emit(out, spec, prefix, prefix_len, body, body_len, spec.precision < 0);
}

// The 17 significant digits of |x| and the decimal exponent of the first.
struct Digits {
  char d[18];
  int exp;
};

Digits digits17(double x) {
  Digits r{};
  if (x == 0) {
    std::memset(r.d, '0', 17);
    r.exp = 0;
    return r;
  }
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 16);
  *res.ptr = '\0';
  // buf: d.dddddddddddddddde[+-]XX
  r.d[0] = buf[0];
  std::memcpy(r.d + 1, buf + 2, 16);
  r.exp = std::atoi(buf + 19);
  return r;
}

// Keeps `keep` leading digits of the 17, rounding half away from zero;
// a carry out of the first digit raises the exponent. keep may be 0 or
// negative (all digits dropped).
void round_digits(Digits& g, int keep) {
  if (keep >= 17) return;
  if (keep < 0) {
    std::memset(g.d, '0', 17);
    return;
  }
  bool up = g.d[keep] >= '5';
  for (int i = keep; i < 17; ++i) g.d[i] = '0';
  if (!up) return;
  int i = keep - 1;
  while (i >= 0 && g.d[i] == '9') g.d[i--] = '0';
  if (i >= 0) {
    ++g.d[i];
  } else {
    // 999.. -> 1000..: the digit string becomes 1 followed by zeros.
    std::memmove(g.d + 1, g.d, 16);
    g.d[0] = '1';
    ++g.exp;
  }
}

char digit_at(const Digits& g, int i) { return i >= 0 && i < 17 ? g.d[i] : '0'; }

// The digits %f with precision p keeps of a value (zero or normal) that is
// the nearest double to a decimal with no digit past the p-th decimal and
// at most 15 significant digits: that decimal's digits, padded with zeros.
// The value lies within half a unit in its last place of the decimal, at
// most eleven units of the 17th digit, so the 17 digits differ from the
// padded decimal only by a carry or borrow below the 15th digit, and
// rounding them half away from zero at the p-th decimal gives the decimal
// back. False otherwise.
bool short_fixed_digits(double x, int p, Digits& g) {
  char d[16];
  int32_t n = 0;
  int32_t exp = 0;
  if (!fmt_scaled_digits(x, p, 15, d, &n, &exp)) return false;
  std::memset(g.d, '0', 17);
  g.d[17] = '\0';
  std::memcpy(g.d, d, static_cast<size_t>(n));
  g.exp = exp;
  return true;
}

// Body of %f with precision p from digits whose first has weight 10^exp.
size_t fixed_body(const Digits& g, int p, bool alt, char* body, size_t cap) {
  size_t n = 0;
  auto put = [&](char c) {
    if (n < cap) body[n++] = c;
  };
  if (g.exp < 0) {
    put('0');
  } else {
    for (int i = 0; i <= g.exp; ++i) put(digit_at(g, i));
  }
  if (p > 0 || alt) put('.');
  for (int k = 1; k <= p; ++k) put(digit_at(g, g.exp + k));
  return n;
}

size_t exp_body(const Digits& g, int p, bool alt, bool upper, char* body, size_t cap) {
  size_t n = 0;
  auto put = [&](char c) {
    if (n < cap) body[n++] = c;
  };
  put(g.d[0]);
  if (p > 0 || alt) put('.');
  for (int k = 1; k <= p; ++k) put(digit_at(g, k));
  put(upper ? 'E' : 'e');
  int e = g.exp;
  put(e < 0 ? '-' : '+');
  if (e < 0) e = -e;
  char ebuf[8];
  auto res = std::to_chars(ebuf, ebuf + sizeof ebuf, e);
  if (res.ptr - ebuf < 2) put('0');
  for (char* c = ebuf; c < res.ptr; ++c) put(*c);
  return n;
}

// Drops trailing zeros of the fraction (and a bare '.') before any exponent.
size_t strip_zeros(char* body, size_t n) {
  char* dot = static_cast<char*>(std::memchr(body, '.', n));
  if (dot == nullptr) return n;
  char* e = static_cast<char*>(std::memchr(body, 'e', n));
  if (e == nullptr) e = static_cast<char*>(std::memchr(body, 'E', n));
  size_t mant_end = e ? static_cast<size_t>(e - body) : n;
  size_t k = mant_end;
  while (k > static_cast<size_t>(dot - body) + 1 && body[k - 1] == '0') --k;
  if (k == static_cast<size_t>(dot - body) + 1) --k;
  std::memmove(body + k, body + mant_end, n - mant_end);
  return k + (n - mant_end);
}

void format_double(Out& out, const Spec& spec, double x) {
  char prefix[1];
  size_t prefix_len = 0;
  if (std::signbit(x)) {
    prefix[prefix_len++] = '-';
  } else if (spec.plus) {
    prefix[prefix_len++] = '+';
  } else if (spec.space) {
    prefix[prefix_len++] = ' ';
  }
  bool upper = spec.conv == 'F' || spec.conv == 'E' || spec.conv == 'G';
  if (!std::isfinite(x)) {
    const char* t = std::isnan(x) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
    emit(out, spec, prefix, prefix_len, t, 3, false);
    return;
  }
  int p = spec.precision < 0 ? 6 : spec.precision;
  if (p > 400) p = 400;
  static thread_local char body[800];
  size_t n = 0;
  char conv = static_cast<char>(std::tolower(static_cast<unsigned char>(spec.conv)));
  Digits g{};
  const bool short_fixed = conv == 'f' && short_fixed_digits(x, p, g);
  if (!short_fixed) g = digits17(x);
  if (conv == 'f') {
    if (!short_fixed) round_digits(g, g.exp + 1 + p);
    n = fixed_body(g, p, spec.alt, body, sizeof body);
  } else if (conv == 'e') {
    round_digits(g, p + 1);
    n = exp_body(g, p, spec.alt, upper, body, sizeof body);
  } else {
    int precision = p == 0 ? 1 : p;
    Digits r = g;
    round_digits(r, precision);
    int xexp = x == 0 ? 0 : r.exp;
    if (precision > xexp && xexp >= -4) {
      round_digits(g, g.exp + 1 + (precision - 1 - xexp));
      n = fixed_body(g, precision - 1 - xexp, spec.alt, body, sizeof body);
    } else {
      n = exp_body(r, precision - 1, spec.alt, upper, body, sizeof body);
    }
    if (!spec.alt) n = strip_zeros(body, n);
  }
  emit(out, spec, prefix, prefix_len, body, n, true);
}

}  // namespace

int32_t fmt_vformat(char* out_buf, int32_t size, const char* format, va_list args) {
  if (out_buf == nullptr || size <= 0) return 0;
  Out out{out_buf, size - 1};
  if (format == nullptr) format = "";
  va_list ap;
  va_copy(ap, args);
  const char* f = format;
  while (*f != '\0') {
    if (*f != '%') {
      const char* next = std::strchr(f, '%');
      size_t n = next ? static_cast<size_t>(next - f) : std::strlen(f);
      out.put(f, n);
      f += n;
      continue;
    }
    const char* start = f++;
    Spec spec;
    for (;; ++f) {
      if (*f == '-') spec.left = true;
      else if (*f == '+') spec.plus = true;
      else if (*f == ' ') spec.space = true;
      else if (*f == '#') spec.alt = true;
      else if (*f == '0') spec.zero = true;
      else break;
    }
    if (*f == '*') {
      spec.width = va_arg(ap, int);
      if (spec.width < 0) {
        spec.left = true;
        spec.width = spec.width == INT32_MIN ? 0 : -spec.width;
      }
      ++f;
    } else {
      while (*f >= '0' && *f <= '9') {
        if (spec.width < 100000) spec.width = spec.width * 10 + (*f - '0');
        ++f;
      }
    }
    if (*f == '.') {
      ++f;
      spec.precision = 0;
      if (*f == '*') {
        spec.precision = va_arg(ap, int);
        if (spec.precision < 0) spec.precision = -1;
        ++f;
      } else {
        while (*f >= '0' && *f <= '9') {
          if (spec.precision < 100000) spec.precision = spec.precision * 10 + (*f - '0');
          ++f;
        }
      }
    }
    if (spec.width > 4096) spec.width = 4096;
    int bits = 32;
    if (f[0] == 'h' && f[1] == 'h') {
      bits = 8;
      f += 2;
    } else if (*f == 'h') {
      bits = 16;
      ++f;
    } else if (f[0] == 'l' && f[1] == 'l') {
      bits = 64;
      f += 2;
    } else if (*f == 'l' || *f == 'L') {
      ++f;  // %ld reads 32 bits: the kernel's long is 32 bits wide
    } else if (f[0] == 'I' && f[1] == '6' && f[2] == '4') {
      bits = 64;
      f += 3;
    } else if (*f == 'z' || *f == 'j' || *f == 't') {
      bits = 64;
      ++f;
    }
    spec.conv = *f;
    switch (*f) {
      case 'd':
      case 'i': {
        int64_t v = bits == 64 ? va_arg(ap, long long) : va_arg(ap, int);
        if (bits == 16) v = static_cast<int16_t>(v);
        if (bits == 8) v = static_cast<int8_t>(v);
        uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        format_integer(out, spec, mag, v < 0);
        break;
      }
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        uint64_t v = bits == 64 ? va_arg(ap, unsigned long long) : va_arg(ap, unsigned int);
        if (bits == 32) v = static_cast<uint32_t>(v);
        if (bits == 16) v = static_cast<uint16_t>(v);
        if (bits == 8) v = static_cast<uint8_t>(v);
        format_integer(out, spec, v, false);
        break;
      }
      case 'c': {
        char c = static_cast<char>(va_arg(ap, int));
        emit(out, spec, "", 0, &c, 1, false);
        break;
      }
      case 's': {
        const char* s = va_arg(ap, const char*);
        if (s == nullptr) s = "(null)";
        size_t n = spec.precision >= 0 ? strnlen(s, static_cast<size_t>(spec.precision)) : std::strlen(s);
        emit(out, spec, "", 0, s, n, false);
        break;
      }
      case 'p': {
        auto v = reinterpret_cast<uintptr_t>(va_arg(ap, void*));
        Spec hex = spec;
        hex.conv = 'x';
        hex.alt = true;
        format_integer(out, hex, v, false);
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
        format_double(out, spec, va_arg(ap, double));
        break;
      case '%':
        out.put('%');
        break;
      default:
        // Unknown or cut directive: copied as it stands.
        if (*f == '\0') {
          out.put(start, static_cast<size_t>(f - start));
          continue;
        }
        out.put(start, static_cast<size_t>(f + 1 - start));
        break;
    }
    ++f;
  }
  va_end(ap);
  out.buf[out.len] = '\0';
  return out.len;
}

int32_t fmt_fixed(char* out_buf, int32_t size, double x, int32_t precision) {
  if (out_buf == nullptr || size <= 0) return 0;
  Out out{out_buf, size - 1};
  Spec spec;
  spec.conv = 'f';
  spec.precision = precision < 0 ? -1 : precision;
  format_double(out, spec, x);
  out.buf[out.len] = '\0';
  return out.len;
}

int32_t fmt_format(char* out, int32_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int32_t n = fmt_vformat(out, size, format, args);
  va_end(args);
  return n;
}
