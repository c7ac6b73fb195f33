// Value conversions of the test ODBC driver: bound parameters in, result
// cells out to the application's C buffers.
#include "values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace qltestodbc {

namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool ParseDouble(const std::string& text, double* out) {
  std::string t;
  for (char c : text)
    if (c != ' ') t += c;
  if (t.empty()) return false;
  const char* b = t.data();
  if (*b == '+') ++b;
  auto r = std::from_chars(b, t.data() + t.size(), *out);
  return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

bool AsNumber(const Value& v, double* out) {
  switch (v.type) {
    case Value::Int: *out = static_cast<double>(v.i); return true;
    case Value::Real: *out = v.d; return true;
    case Value::Text: return ParseDouble(v.s, out);
    default: return false;
  }
}

// Reads "YYYY-MM-DD[ HH:MM:SS[.fff…]]" or "HH:MM:SS".
bool ParseDateTime(const std::string& s, int* y, int* mo, int* d, int* h, int* mi, int* sec,
                   unsigned* frac) {
  *y = *mo = *d = *h = *mi = *sec = 0;
  *frac = 0;
  char fr[16] = {0};
  if (std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%9[0-9]", y, mo, d, h, mi, sec, fr) >= 3) {
    std::string f(fr);
    while (f.size() < 9) f += '0';
    *frac = static_cast<unsigned>(std::strtoul(f.c_str(), nullptr, 10));
    return true;
  }
  return std::sscanf(s.c_str(), "%2d:%2d:%2d", h, mi, sec) == 3;
}

// A text that does not read as the C type asked for (SQLSTATE 22018).
SQLRETURN CastFails(std::string* state, std::string* error) {
  *state = "22018";
  *error = "character value does not convert to the requested type";
  return SQL_ERROR;
}

}  // namespace

std::string ValueText(const Value& v) {
  switch (v.type) {
    case Value::Null: return "";
    case Value::Int: return std::to_string(v.i);
    case Value::Real: return v.s;
    case Value::Text: return v.s;
    case Value::Blob: return Hex(v.s);
  }
  return "";
}

std::string ValueJson(const Value& v) {
  switch (v.type) {
    case Value::Null: return "null";
    case Value::Int: return std::to_string(v.i);
    case Value::Real: return v.s.empty() ? "0" : v.s;
    case Value::Text: return JsonLine::Quote(v.s);
    case Value::Blob: return "{\"hex\":" + JsonLine::Quote(Hex(v.s)) + "}";
  }
  return "null";
}

bool ReadParam(const Param& p, Value* out, std::string* state, std::string* error) {
  *out = Value{};
  SQLLEN ind = p.ind ? *p.ind : (p.ctype == SQL_C_CHAR ? SQL_NTS : p.buflen);
  if (ind == SQL_NULL_DATA || p.ptr == nullptr) return true;
  if (ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET) {
    *state = "HYC00";
    *error = "data at execution is not supported";
    return false;
  }
  const char* b = static_cast<const char*>(p.ptr);
  char buf[64];
  switch (p.ctype) {
    case SQL_C_CHAR: {
      size_t len;
      if (ind == SQL_NTS)
        len = p.buflen > 0 ? strnlen(b, static_cast<size_t>(p.buflen)) : std::strlen(b);
      else if (ind >= 0)
        len = static_cast<size_t>(ind);
      else {
        *state = "HY090";
        *error = "invalid string or buffer length";
        return false;
      }
      out->type = Value::Text;
      out->s.assign(b, len);
      return true;
    }
    case SQL_C_BINARY: {
      if (ind < 0) {
        *state = "HY090";
        *error = "invalid string or buffer length";
        return false;
      }
      out->type = Value::Blob;
      out->s.assign(b, static_cast<size_t>(ind));
      return true;
    }
    case SQL_C_SLONG:
    case SQL_C_LONG: {
      SQLINTEGER v;
      std::memcpy(&v, b, sizeof v);
      out->type = Value::Int;
      out->i = v;
      return true;
    }
    case SQL_C_ULONG: {
      SQLUINTEGER v;
      std::memcpy(&v, b, sizeof v);
      out->type = Value::Int;
      out->i = v;
      return true;
    }
    case SQL_C_SSHORT:
    case SQL_C_SHORT: {
      SQLSMALLINT v;
      std::memcpy(&v, b, sizeof v);
      out->type = Value::Int;
      out->i = v;
      return true;
    }
    case SQL_C_USHORT: {
      SQLUSMALLINT v;
      std::memcpy(&v, b, sizeof v);
      out->type = Value::Int;
      out->i = v;
      return true;
    }
    case SQL_C_STINYINT:
    case SQL_C_TINYINT:
    case SQL_C_BIT: {
      signed char v;
      std::memcpy(&v, b, 1);
      out->type = Value::Int;
      out->i = p.ctype == SQL_C_BIT ? static_cast<unsigned char>(v) : v;
      return true;
    }
    case SQL_C_SBIGINT: {
      SQLBIGINT v;
      std::memcpy(&v, b, sizeof v);
      out->type = Value::Int;
      out->i = v;
      return true;
    }
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT: {
      double v;
      if (p.ctype == SQL_C_FLOAT) {
        float f;
        std::memcpy(&f, b, sizeof f);
        v = f;
      } else {
        std::memcpy(&v, b, sizeof v);
      }
      out->type = Value::Real;
      out->d = v;
      auto r = std::to_chars(buf, buf + sizeof buf, v);
      out->s.assign(buf, r.ptr);
      return true;
    }
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: {
      SQL_DATE_STRUCT v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", v.year, v.month, v.day);
      out->type = Value::Text;
      out->s = buf;
      return true;
    }
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: {
      SQL_TIME_STRUCT v;
      std::memcpy(&v, b, sizeof v);
      std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", v.hour, v.minute, v.second);
      out->type = Value::Text;
      out->s = buf;
      return true;
    }
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT v;
      std::memcpy(&v, b, sizeof v);
      int n = std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", v.year, v.month, v.day,
                            v.hour, v.minute, v.second);
      if (v.fraction != 0 && n > 0)
        std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), ".%03u", v.fraction / 1000000u);
      out->type = Value::Text;
      out->s = buf;
      return true;
    }
    default:
      *state = "HYC00";
      *error = "C type " + std::to_string(p.ctype) + " is not supported";
      return false;
  }
}

SQLRETURN WriteValue(const Value& v, SQLSMALLINT ctype, SQLPOINTER target, SQLLEN buflen,
                     SQLLEN* ind, size_t* offset, std::string* state, std::string* error) {
  if (v.type == Value::Null) {
    if (!ind) {
      *state = "22002";
      *error = "indicator variable required but not supplied";
      return SQL_ERROR;
    }
    *ind = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }
  if (ctype == SQL_C_DEFAULT) ctype = v.type == Value::Blob ? SQL_C_BINARY : SQL_C_CHAR;
  auto putLen = [&](SQLLEN n) {
    if (ind) *ind = n;
  };
  if (ctype == SQL_C_CHAR || ctype == SQL_C_BINARY) {
    std::string text = ctype == SQL_C_BINARY && v.type == Value::Blob ? v.s : ValueText(v);
    if (ctype == SQL_C_BINARY && v.type != Value::Blob) text = ValueText(v);
    size_t off = offset ? *offset : 0;
    if (off > text.size()) off = text.size();
    size_t remaining = text.size() - off;
    size_t room = buflen > 0 ? static_cast<size_t>(buflen) : 0;
    if (ctype == SQL_C_CHAR && room > 0) --room;  // terminating null
    size_t n = remaining < room ? remaining : room;
    if (target && buflen > 0) {
      std::memcpy(target, text.data() + off, n);
      if (ctype == SQL_C_CHAR) static_cast<char*>(target)[n] = 0;
    }
    putLen(static_cast<SQLLEN>(remaining));
    if (offset) *offset = off + n;
    if (n < remaining) {
      *state = "01004";
      *error = "string data, right truncated";
      return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
  }
  if (ctype == SQL_C_TYPE_DATE || ctype == SQL_C_DATE || ctype == SQL_C_TYPE_TIMESTAMP ||
      ctype == SQL_C_TIMESTAMP || ctype == SQL_C_TYPE_TIME || ctype == SQL_C_TIME) {
    int y, mo, d, h, mi, s;
    unsigned frac;
    if (!ParseDateTime(ValueText(v), &y, &mo, &d, &h, &mi, &s, &frac)) {
      return CastFails(state, error);
    }
    if (ctype == SQL_C_TYPE_DATE || ctype == SQL_C_DATE) {
      SQL_DATE_STRUCT r{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                        static_cast<SQLUSMALLINT>(d)};
      if (target) std::memcpy(target, &r, sizeof r);
      putLen(sizeof r);
    } else if (ctype == SQL_C_TYPE_TIME || ctype == SQL_C_TIME) {
      SQL_TIME_STRUCT r{static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi),
                        static_cast<SQLUSMALLINT>(s)};
      if (target) std::memcpy(target, &r, sizeof r);
      putLen(sizeof r);
    } else {
      SQL_TIMESTAMP_STRUCT r{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                             static_cast<SQLUSMALLINT>(d), static_cast<SQLUSMALLINT>(h),
                             static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s), frac};
      if (target) std::memcpy(target, &r, sizeof r);
      putLen(sizeof r);
    }
    return SQL_SUCCESS;
  }
  double num;
  if (!AsNumber(v, &num) || std::isnan(num)) {
    return CastFails(state, error);
  }
  auto fits = [&](double lo, double hi) {
    if (num < lo || num > hi) {
      *state = "22003";
      *error = "numeric value out of range";
      return false;
    }
    return true;
  };
  switch (ctype) {
    case SQL_C_SLONG:
    case SQL_C_LONG: {
      if (!fits(-2147483648.0, 2147483647.0)) return SQL_ERROR;
      SQLINTEGER r = static_cast<SQLINTEGER>(num);
      if (target) std::memcpy(target, &r, sizeof r);
      putLen(sizeof r);
      return SQL_SUCCESS;
    }
    case SQL_C_ULONG: {
      // Negative values wrap as the 32-bit pattern, as drivers do.
      if (!fits(-2147483648.0, 4294967295.0)) return SQL_ERROR;
      SQLUINTEGER r = num < 0 ? static_cast<SQLUINTEGER>(static_cast<SQLINTEGER>(num))
                              : static_cast<SQLUINTEGER>(num);
      if (target) std::memcpy(target, &r, sizeof r);
      putLen(sizeof r);
      return SQL_SUCCESS;
    }
    case SQL_C_SSHORT:
    case SQL_C_SHORT: {
      if (!fits(-32768.0, 32767.0)) return SQL_ERROR;
      SQLSMALLINT r = static_cast<SQLSMALLINT>(num);
      if (target) std::memcpy(target, &r, sizeof r);
      putLen(sizeof r);
      return SQL_SUCCESS;
    }
    case SQL_C_USHORT: {
      if (!fits(0.0, 65535.0)) return SQL_ERROR;
      SQLUSMALLINT r = static_cast<SQLUSMALLINT>(num);
      if (target) std::memcpy(target, &r, sizeof r);
      putLen(sizeof r);
      return SQL_SUCCESS;
    }
    case SQL_C_SBIGINT: {
      if (!fits(-9.2e18, 9.2e18)) return SQL_ERROR;
      SQLBIGINT r = v.type == Value::Int ? v.i : static_cast<SQLBIGINT>(num);
      if (target) std::memcpy(target, &r, sizeof r);
      putLen(sizeof r);
      return SQL_SUCCESS;
    }
    case SQL_C_DOUBLE: {
      if (target) std::memcpy(target, &num, sizeof num);
      putLen(sizeof num);
      return SQL_SUCCESS;
    }
    case SQL_C_FLOAT: {
      float r = static_cast<float>(num);
      if (target) std::memcpy(target, &r, sizeof r);
      putLen(sizeof r);
      return SQL_SUCCESS;
    }
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: {
      if (!fits(-128.0, 255.0)) return SQL_ERROR;
      signed char r = static_cast<signed char>(num);
      if (target) std::memcpy(target, &r, 1);
      putLen(1);
      return SQL_SUCCESS;
    }
    default:
      *state = "HYC00";
      *error = "C type " + std::to_string(ctype) + " is not supported";
      return SQL_ERROR;
  }
}

}  // namespace qltestodbc
