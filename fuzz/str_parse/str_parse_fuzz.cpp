// Fuzzes the kernel's text readers: every number parser, quoting and
// unquoting (which must round-trip), the locale number rewriting, and the
// formatter on the bytes taken as a double (whose "%.17g" must parse back).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/runtime/fmt.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/str.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

template <class T>
void parse_all(const std::string& text, const char* (*fn)(const char*, T*)) {
  T value{};
  const char* end = fn(text.c_str(), &value);
  if (end == nullptr) {
    check(value == T{});
  } else {
    check(end > text.c_str() && end <= text.c_str() + text.size());
  }
}

void fuzz_double_format(const uint8_t* data, size_t size) {
  if (size < 8) return;
  double x;
  std::memcpy(&x, data, sizeof x);
  char buf[512];
  static const char* formats[] = {"%f", "%.0f", "%.3f", "%.12f", "%e", "%.3e", "%g", "%.12g", "%.17g", "%#.5g",
                                  "%+12.4f", "%-20e|"};
  for (const char* f : formats) {
    int32_t n = fmt_format(buf, sizeof buf, f, x);
    check(n >= 0 && n < static_cast<int32_t>(sizeof buf) && buf[n] == '\0');
  }
  if (std::isfinite(x)) {
    fmt_format(buf, sizeof buf, "%.17g", x);
    double back = 0;
    check(str_to_double(buf, &back) != nullptr);
    check(std::memcmp(&back, &x, sizeof x) == 0 || (x == 0 && back == 0));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // up to the first NUL, as kernel texts are
  parse_all<int16_t>(text, str_to_short);
  parse_all<int32_t>(text, str_to_int);
  parse_all<int64_t>(text, str_to_int64);
  parse_all<uint32_t>(text, str_to_uint);
  parse_all<uint64_t>(text, str_to_uint64);
  parse_all<double>(text, str_to_double);
  parse_all<uint32_t>(text, str_to_hex);

  // Quoting round trip: whatever fits unquotes to the text itself.
  std::string quoted(text.size() * 2 + 3, '\0');
  str_quote_text(quoted.data(), text.c_str(), nullptr, static_cast<int32_t>(quoted.size()));
  std::string back(text.size() + 1, '\0');
  str_unquote(back.data(), quoted.c_str(), nullptr, static_cast<int32_t>(back.size()));
  check(std::strcmp(back.c_str(), text.c_str()) == 0);
  // A small buffer cuts but never overruns.
  char small[7];
  str_quote_text(small, text.c_str(), "'", sizeof small);
  check(std::strlen(small) < sizeof small);
  str_unquote(small, text.c_str(), "'", sizeof small);
  check(std::strlen(small) < sizeof small);

  std::string local = text;
  number_delocalise(local.data());
  check(local.size() >= std::strlen(local.c_str()));
  std::string grown = text;
  grown.resize(text.size() * 2 + 2);
  number_localise(grown.data(), static_cast<int32_t>(grown.size()));
  check(std::strlen(grown.c_str()) < grown.size());
  double d = 0;
  str_to_double_ex(local.data(), &d, 1);

  fuzz_double_format(data, size);
  return 0;
}
