// Feeds arbitrary text to the value parsers: every column type with and
// without the new flag and the locale flag, the date and time parsers, the
// type guess and the locale number rewriting with small buffers. A parse
// that succeeds for an integer, a date or a time must format and parse back
// equal.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/valconv.h"

namespace {

void check_round_trip(const Value& v) {
  char text[128];
  value_to_text(&v, text, sizeof text, -1, 0);
  Value back{};
  if (!value_from_text(text, v.type, -1, -1, 1, &back, 0)) __builtin_trap();
  bool same = true;
  switch (v.type) {
    case VALUE_INTEGER: same = back.u.i == v.u.i; break;
    case VALUE_SMALLINT: same = back.u.s == v.u.s; break;
    case VALUE_LARGEINT: same = back.u.ll == v.u.ll; break;
    case VALUE_DATE: same = date_compare(&back.u.date, &v.u.date) == 0; break;
    case VALUE_TIME: same = time_compare(&back.u.time, &v.u.time) == 0; break;
    default: break;
  }
  if (!same) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (charset_init_system(), true);
  (void)ready;
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, std::strlen(text.c_str()));
  static const uint8_t kTypes[] = {1, 2, 3, 4, 5, 6, 8, 10, 16, 21, 24, 37, 38, 39};
  for (uint8_t type : kTypes) {
    for (int16_t locale = 0; locale < 2; ++locale) {
      Value v{};
      int16_t ok = value_from_text(text.c_str(), type, 40, 2, 1, &v, locale);
      if (ok && locale == 0 && (type == 3 || type == 4 || type == 5 || type == 37 || type == 39))
        check_round_trip(v);
      char out[64];
      value_to_text(&v, out, sizeof out, 3, locale);
      value_free(&v);
    }
  }
  Date d;
  Time t;
  DateTime dt;
  const char* rest = nullptr;
  date_from_text(text.c_str(), &d, &rest);
  date_parse_us(text.c_str(), &d);
  time_from_text(text.c_str(), &t);
  datetime_from_text(text.c_str(), &dt);
  value_guess_type(text.c_str());
  for (int32_t n : {1, 4, 12, 64}) {
    std::string buf = text.substr(0, n > 1 ? n - 1 : 0);
    buf.resize(n, '\0');
    number_localise(buf.data(), n);
    number_delocalise(buf.data());
  }
  err_clear();
  return 0;
}
