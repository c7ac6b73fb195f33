// Fuzzes the kernel's text readers: every number parser (checked against
// the C library on the span each one used), quoting and unquoting (which
// must round-trip), the locale number rewriting under a locale with a
// decimal comma, and the formatter on the bytes taken as a double (whose
// "%.17g" must parse back).
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "kernel/runtime/fmt.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/str.h"
#include "platform/locale_provider.h"

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

// Where the integer parser took a number, strtoll reads the same value and
// ends at the same place.
void check_int64(const std::string& text) {
  int64_t value = 0;
  const char* end = str_to_int64(text.c_str(), &value);
  if (end == nullptr) return;
  errno = 0;
  char* c_end = nullptr;
  long long c_value = std::strtoll(text.c_str(), &c_end, 10);
  check(errno == 0 && c_end == end && c_value == value);
}

// Where the double parser took a number, strtod of exactly that span (which
// holds no hex, inf or nan) gives the same bits.
void check_double(const std::string& text) {
  double value = 0;
  const char* end = str_to_double(text.c_str(), &value);
  if (end == nullptr) return;
  std::string span(text.c_str(), end);
  if (span.find_first_of("0123456789") == std::string::npos) return;  // the text "."
  double c_value = std::strtod(span.c_str(), nullptr);
  check(std::memcmp(&c_value, &value, sizeof value) == 0);
}

// A plain number given the locale form reads back as the same text.
void check_locale_round_trip(double x) {
  if (!std::isfinite(x)) return;
  for (const char* f : {"%.17g", "%.3f"}) {
    char plain[512];
    fmt_format(plain, sizeof plain, f, x);
    char local[700];
    str_copy_n(local, plain, sizeof local);
    number_localise(local, sizeof local);
    number_delocalise(local);
    check(std::strcmp(local, plain) == 0);
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
  check_locale_round_trip(x);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  auto fixed = std::make_shared<FixedLocaleProvider>();
  fixed->items = {{locinfo::kDecimal, ","}, {locinfo::kThousands, "."}, {locinfo::kGrouping, "3;0"}};
  locale_set_provider(fixed);
  if (locale_load_number_format() != 1) std::abort();
  return 0;
}

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
  check_int64(text);
  check_double(text);

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
