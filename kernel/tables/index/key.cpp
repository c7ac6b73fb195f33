// Index keys: encoding, decoding and the key buffer.
#include "kernel/tables/index/key.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/collate.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/num.h"
#include "kernel/runtime/valcmp.h"
#include "kernel/runtime/valconv.h"

namespace {

bool is_text_key(int32_t type) { return type == VALUE_CHAR || type == VALUE_TYPE27; }

void put_be(uint8_t* p, uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}
uint64_t get_be(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}
// Big-endian with the sign bit flipped: signed order becomes byte order.
void put_signed(uint8_t* p, int64_t v, int n) {
  put_be(p, static_cast<uint64_t>(v), n);
  p[0] ^= 0x80;
}
int64_t get_signed(const uint8_t* p, int n) {
  uint64_t v = get_be(p, n) ^ (uint64_t{0x80} << (8 * (n - 1)));
  const int shift = 64 - 8 * n;  // sign-extend
  return shift == 0 ? static_cast<int64_t>(v) : static_cast<int64_t>(v << shift) >> shift;
}

int32_t time_ms(const Time& t) {
  if (t.hour < 0) return -1;
  return ((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.ms;
}
Time time_of_ms(int32_t ms) {
  Time t{};
  if (ms < 0) {
    t.hour = -1;
    return t;
  }
  t.ms = static_cast<int16_t>(ms % 1000);
  ms /= 1000;
  t.second = static_cast<uint8_t>(ms % 60);
  ms /= 60;
  t.minute = static_cast<uint8_t>(ms % 60);
  t.hour = static_cast<int8_t>(ms / 60);
  return t;
}

void put_date(uint8_t* p, const Date& d) {
  const auto y = static_cast<uint16_t>(d.year);
  p[0] = static_cast<uint8_t>(y >> 8);
  p[1] = static_cast<uint8_t>(y);
  p[2] = d.month;
  p[3] = d.day;
}
Date get_date(const uint8_t* p) {
  Date d{};
  d.year = static_cast<int16_t>((p[0] << 8) | p[1]);
  d.month = p[2];
  d.day = p[3];
  return d;
}

void put_double(uint8_t* p, double x) {
  uint64_t bits = 0;
  std::memcpy(&bits, &x, 8);
  if (bits >> 63) bits = ~bits;
  else bits ^= uint64_t{1} << 63;
  put_be(p, bits, 8);
}
double get_double(const uint8_t* p) {
  uint64_t bits = get_be(p, 8);
  if (bits >> 63) bits ^= uint64_t{1} << 63;
  else bits = ~bits;
  double x = 0;
  std::memcpy(&x, &bits, 8);
  return x;
}

char* text_of(KeyBuf* key) { return key->value.u.text.ptr; }

}  // namespace

int16_t key_type_has_key(int32_t type) {
  switch (type) {
    case VALUE_CHAR: case VALUE_TYPE27: case VALUE_DECIMAL: case VALUE_FLOAT: case VALUE_INTEGER:
    case VALUE_SMALLINT: case VALUE_LOGICAL: case VALUE_DATE: case VALUE_TIME: case VALUE_DATETIME:
    case VALUE_LARGEINT:
      return 1;
    default:
      return 0;
  }
}

int32_t key_type_size(int32_t type) {
  switch (type) {
    case VALUE_DECIMAL: case VALUE_FLOAT: case VALUE_DATETIME: case VALUE_LARGEINT: return 8;
    case VALUE_INTEGER: case VALUE_DATE: case VALUE_TIME: return 4;
    case VALUE_SMALLINT: case VALUE_LOGICAL: return 2;
    default: break;
  }
  char text[16];
  fmt_format(text, sizeof text, "%d", static_cast<int>(type));
  err_push(4, kErrKeyType, text, nullptr);
  return 0;
}

int16_t key_encode(KeyBuf* key, int16_t* shorter) {
  if (shorter != nullptr) *shorter = 0;
  if (key == nullptr || key->bytes == nullptr) return 0;
  uint8_t* p = key->bytes;
  const Value& v = key->value;
  switch (v.type) {
    case VALUE_CHAR:
    case VALUE_TYPE27: {
      const char* t = v.u.text.ptr != nullptr ? v.u.text.ptr : "";
      const size_t len = std::strlen(t);
      const size_t n = len < key->width ? len : key->width;
      std::memset(p, 0, key->width);
      std::memcpy(p, t, n);
      if (shorter != nullptr && v.type == VALUE_CHAR) *shorter = len < key->width ? 1 : 0;
      return 1;
    }
    case VALUE_DECIMAL: case VALUE_FLOAT: put_double(p, v.u.d); return 1;
    case VALUE_INTEGER: put_signed(p, v.u.i, 4); return 1;
    case VALUE_SMALLINT: put_signed(p, v.u.s, 2); return 1;
    case VALUE_LOGICAL: put_signed(p, v.u.b != 0 ? 1 : 0, 2); return 1;
    case VALUE_DATE: put_date(p, v.u.date); return 1;
    case VALUE_TIME: put_signed(p, time_ms(v.u.time), 4); return 1;
    case VALUE_DATETIME:
      put_date(p, v.u.dt.date);
      p[0] ^= 0x80;
      put_signed(p + 4, time_ms(v.u.dt.time), 4);
      return 1;
    case VALUE_LARGEINT: put_signed(p, v.u.ll, 8); return 1;
    default:
      key_type_size(v.type);
      return 0;
  }
}

int16_t key_decode(KeyBuf* key) {
  if (key == nullptr || key->bytes == nullptr) return 0;
  const uint8_t* p = key->bytes;
  Value& v = key->value;
  switch (v.type) {
    case VALUE_CHAR:
    case VALUE_TYPE27:
      if (v.u.text.ptr == nullptr) return 0;
      std::memcpy(v.u.text.ptr, p, key->width);
      v.u.text.ptr[key->width] = '\0';
      return 1;
    case VALUE_DECIMAL: case VALUE_FLOAT: v.u.d = get_double(p); return 1;
    case VALUE_INTEGER: v.u.i = static_cast<int32_t>(get_signed(p, 4)); return 1;
    case VALUE_SMALLINT: v.u.s = static_cast<int16_t>(get_signed(p, 2)); return 1;
    case VALUE_LOGICAL: v.u.b = (p[0] == 0x80 && p[1] == 0x00) ? 0 : 1; return 1;
    case VALUE_DATE: v.u.date = get_date(p); return 1;
    case VALUE_TIME: v.u.time = time_of_ms(static_cast<int32_t>(get_signed(p, 4))); return 1;
    case VALUE_DATETIME: {
      uint8_t d[4] = {static_cast<uint8_t>(p[0] ^ 0x80), p[1], p[2], p[3]};
      v.u.dt.date = get_date(d);
      v.u.dt.time = time_of_ms(static_cast<int32_t>(get_signed(p + 4, 4)));
      return 1;
    }
    case VALUE_LARGEINT: v.u.ll = get_signed(p, 8); return 1;
    default: return 0;
  }
}

int16_t key_set_value(const Value* source, KeyBuf* key, int32_t decimals, int16_t language_key) {
  if (source == nullptr || key == nullptr) return 0;
  Value& v = key->value;
  switch (v.type) {
    case VALUE_CHAR:
    case VALUE_TYPE27: {
      char* out = text_of(key);
      if (out == nullptr) return 0;
      // The plain text, cut to width + 1 bytes, trailing white space cut.
      value_to_text_plain(source, out, key->width + 2, -1);
      size_t n = std::strlen(out);
      while (n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\t' || out[n - 1] == '\r' || out[n - 1] == '\n')) --n;
      out[n] = '\0';
      collate_normalise(out, language_key);
      return 1;
    }
    case VALUE_DECIMAL: {
      double x = 0;
      if (!value_get_double(source, &x)) return 0;
      if (decimals != -1 && std::isfinite(x)) {
        const double scale = std::pow(10.0, decimals);
        x = std::floor(x * scale + 0.5) / scale;
      }
      v.u.d = x;
      return 1;
    }
    case VALUE_FLOAT: return value_get_double(source, &v.u.d);
    case VALUE_INTEGER: return value_get_int(source, &v.u.i);
    case VALUE_SMALLINT: {
      int32_t n = 0;
      if (!value_get_int(source, &n)) return 0;
      v.u.s = static_cast<int16_t>(n);
      return 1;
    }
    case VALUE_DATE: return value_get_date(source, &v.u.date);
    case VALUE_LOGICAL: v.u.b = static_cast<uint8_t>(value_get_logical(source) != 0); return 1;
    case VALUE_TIME: return value_get_time(source, &v.u.time);
    case VALUE_DATETIME: return value_get_datetime(source, &v.u.dt);
    case VALUE_LARGEINT: return value_get_int64(source, &v.u.ll);
    default:
      key_type_size(v.type);
      return 0;
  }
}

int16_t key_set_decimal_fixed(const Value* source, KeyBuf* key, int32_t width, int32_t decimals) {
  if (key == nullptr || key->value.type != VALUE_DECIMAL) return 0;
  double x = 0;
  if (!value_get_double(source, &x)) return 0;
  char text[64];
  if (width < 1) width = 1;
  if (width > 40) width = 40;
  number_format_fixed(text, width, decimals, x);
  key->value.u.d = std::strtod(text, nullptr);
  return 1;
}

int16_t keybuf_init(KeyBuf* key, int32_t type, int32_t width) {
  if (key == nullptr) return 0;
  keybuf_free(key);
  value_init(&key->value, type, nullptr);
  int32_t w = width;
  if (is_text_key(type)) {
    if (w < 1 || w > 255) return 0;
    if (!value_alloc_text(w + 1, &key->value, nullptr)) return 0;
  } else {
    w = key_type_size(type);
    if (w == 0) return 0;
  }
  key->width = static_cast<uint8_t>(w);
  if (!mem_alloc_zeroed(w, &key->bytes, static_cast<uint8_t**>(nullptr))) {
    keybuf_free(key);
    return 0;
  }
  return 1;
}

void keybuf_free(KeyBuf* key) {
  if (key == nullptr) return;
  mem_free(&key->bytes);
  value_free(&key->value);
  std::memset(&key->value, 0, sizeof key->value);
  key->width = 0;
  key->row = 0;
}

int16_t keybuf_assign(KeyBuf* dst, const KeyBuf* src, int16_t* too_long) {
  if (too_long != nullptr) *too_long = 0;
  if (dst == nullptr || src == nullptr) return 0;
  const Value* from = &src->value;
  Value temp{};
  bool have_temp = false;
  if (src->value.type != dst->value.type) {
    // Converted first into a value of the destination's type.
    if (is_text_key(dst->value.type)) {
      if (!value_init_text(&temp, VALUE_CHAR, dst->width + 256)) return 0;
      value_to_text_plain(&src->value, temp.u.text.ptr, dst->width + 256, -1);
    } else if (!value_make_converted(&temp, &src->value, dst->value.type, 0)) {
      return 0;
    }
    have_temp = true;
    from = &temp;
  }
  dst->row = src->row;
  if (is_text_key(dst->value.type)) {
    const char* t = from->u.text.ptr != nullptr ? from->u.text.ptr : "";
    const size_t len = std::strlen(t);
    std::memset(dst->value.u.text.ptr, 0, static_cast<size_t>(dst->width) + 1);
    std::memcpy(dst->value.u.text.ptr, t, len < dst->width ? len : dst->width);
    if (too_long != nullptr && len > dst->width) *too_long = 1;
  } else {
    std::memcpy(&dst->value.u, &from->u, sizeof dst->value.u);
  }
  if (have_temp) value_free(&temp);
  if (src->bytes != nullptr && dst->bytes != nullptr)
    std::memcpy(dst->bytes, src->bytes, src->width < dst->width ? src->width : dst->width);
  return 1;
}

int16_t key_get_double(const KeyBuf* key, double* out) { return key ? value_get_double(&key->value, out) : 0; }
int16_t key_get_int(const KeyBuf* key, int32_t* out) { return key ? value_get_int(&key->value, out) : 0; }
int16_t key_get_int64(const KeyBuf* key, int64_t* out) { return key ? value_get_int64(&key->value, out) : 0; }
