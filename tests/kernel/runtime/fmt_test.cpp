// The kernel formatter: doubles against the committed table of expected
// texts, integer widths, flags, bounds.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kernel/runtime/fmt.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/util.h"
#include "runtime_reset.h"

namespace {

std::string Fmt(const char* format, ...) {
  char buf[1024];
  va_list args;
  va_start(args, format);
  fmt_vformat(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

TEST(Fmt, DoublesMatchDecimalTable) {
  std::ifstream in(QL_RUNTIME_GOLDEN "/fmt_double_cases.csv");
  ASSERT_TRUE(in.good());
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    std::stringstream row(line);
    std::string format, bits, expected;
    std::getline(row, format, ',');
    std::getline(row, bits, ',');
    std::getline(row, expected);
    uint64_t pattern = std::stoull(bits, nullptr, 16);
    double x;
    std::memcpy(&x, &pattern, sizeof x);
    EXPECT_EQ(Fmt(format.c_str(), x), expected) << format << " of " << bits;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST(Fmt, RoundingRules) {
  EXPECT_EQ(Fmt("%.12f", 6561666.667), "6561666.667000000400");
  EXPECT_EQ(Fmt("%.2f", 0.125), "0.13");
  EXPECT_EQ(Fmt("%.0f", 2.5), "3");
  EXPECT_EQ(Fmt("%g", 1e12), "1e+12");
  EXPECT_EQ(Fmt("%.0f", -0.5), "-1");
  EXPECT_EQ(Fmt("%.3g", 9.9996), "10");
  EXPECT_EQ(Fmt("%e", 0.0), "0.000000e+00");
  EXPECT_EQ(Fmt("%g", 0.0), "0");
  EXPECT_EQ(Fmt("%G", 1e-20), "1E-20");
}

// %.Nf by the documented rule with the C library's exact digits as the
// oracle: the value's 17 significant digits ("%.16e"), rounded half away
// from zero at the precision, laid out without exponent.
std::string FixedBy17Digits(double x, int p) {
  char sci[64];
  std::snprintf(sci, sizeof sci, "%.16e", std::fabs(x));
  std::string d(1, sci[0]);
  d.append(sci + 2, 16);
  int exp = std::atoi(sci + 19);
  const int keep = exp + 1 + p;
  if (keep < 0) {
    d.assign(17, '0');
  } else if (keep < 17) {
    const bool up = d[static_cast<size_t>(keep)] >= '5';
    for (int i = keep; i < 17; ++i) d[static_cast<size_t>(i)] = '0';
    int i = keep - 1;
    while (up && i >= 0 && d[static_cast<size_t>(i)] == '9') d[static_cast<size_t>(i--)] = '0';
    if (up && i >= 0) ++d[static_cast<size_t>(i)];
    if (up && i < 0) {
      d = "1" + d.substr(0, 16);
      ++exp;
    }
  }
  auto at = [&](int i) { return i >= 0 && i < 17 ? d[static_cast<size_t>(i)] : '0'; };
  std::string out = std::signbit(x) ? "-" : "";
  if (exp < 0) out += '0';
  for (int i = 0; i <= exp; ++i) out += at(i);
  if (p > 0) out += '.';
  for (int k = 1; k <= p; ++k) out += at(exp + k);
  return out;
}

TEST(Fmt, FixedFormsFollowTheSeventeenDigitRule) {
  uint64_t seed = 0x9E3779B97F4A7C15u;
  auto next = [&] {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed;
  };
  auto check = [&](double x, int p) {
    char a[512];
    fmt_fixed(a, sizeof a, x, p);
    ASSERT_EQ(a, FixedBy17Digits(x, p)) << "%." << p << "f of " << std::hexfloat << x;
    ASSERT_EQ(a, Fmt("%.*f", p, x));
  };
  for (double x : {0.0, -0.0, 0.125, 2.5, -0.5, 1.15, 2.675, 0.3, 1e-5, 1e15, 999999999999999.9, 0.0049999999999999, 5e-324})
    for (int p = 0; p <= 20; ++p) check(x, p);
  const double tens[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
  for (int i = 0; i < 100000; ++i) {
    // Decimal values as a table stores them, written with other decimals.
    const double x = static_cast<double>(next() % 10000000000u) / tens[next() % 9];
    check(i % 2 ? -x : x, static_cast<int>(next() % 10));
    // Any normal value from about 1e-8 to 4e16, and halves of a binary step.
    double y;
    const uint64_t bits = (next() & 0x000FFFFFFFFFFFFFu) | ((0x3E4u + next() % 0x53u) << 52);
    std::memcpy(&y, &bits, sizeof y);
    check(y, static_cast<int>(next() % 22));
    check(std::ldexp(static_cast<double>(2 * (next() % 100000) + 1), -static_cast<int>(next() % 12 + 1)),
          static_cast<int>(next() % 12));
  }
}

TEST(Fmt, SpecialValuesAndFlags) {
  struct Case {
    std::string got;
    const char* want;
  } cases[] = {
      {Fmt("%f", INFINITY), "inf"},
      {Fmt("%F", -INFINITY), "-INF"},
      {Fmt("%g", NAN), "nan"},
      {Fmt("%+.1f", 2.25), "+2.3"},
      {Fmt("% .1f", 2.25), " 2.3"},
      {Fmt("%8.2f|", 3.14159), "    3.14|"},
      {Fmt("%-8.2f|", 3.14159), "3.14    |"},
      {Fmt("%08.2f", -3.14159), "-0003.14"},
      {Fmt("%#.0f", 3.0), "3."},
      {Fmt("%#g", 1.0), "1.00000"},
      {Fmt("%*.*f", 7, 1, 2.0), "    2.0"},
      {Fmt("%-*d|", 4, 7), "7   |"},
      {Fmt("%*d|", -4, 7), "7   |"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Fmt, IntegerWidths) {
  struct Case {
    std::string got;
    const char* want;
  } cases[] = {
      {Fmt("%d", -42), "-42"},
      {Fmt("%ld", int32_t{-2147483647 - 1}), "-2147483648"},
      {Fmt("%lu", uint32_t{4294967295u}), "4294967295"},
      {Fmt("%lx", uint32_t{0xDEADBEEF}), "deadbeef"},
      {Fmt("%hd", 40000), "-25536"},
      {Fmt("%hu", 70000), "4464"},
      {Fmt("%I64d", int64_t{-9223372036854775807LL - 1}), "-9223372036854775808"},
      {Fmt("%I64u", uint64_t{18446744073709551615ULL}), "18446744073709551615"},
      {Fmt("%lld", int64_t{1234567890123LL}), "1234567890123"},
      {Fmt("%05d", -12), "-0012"},
      {Fmt("%.4d", 7), "0007"},
      {Fmt("%8.4d|", 7), "    0007|"},
      {Fmt("%.0d|", 0), "|"},
      {Fmt("%#x %#X %#o", 255u, 255u, 8u), "0xff 0XFF 010"},
      {Fmt("%+d % d", 5, 5), "+5  5"},
      {Fmt("%c%c", 'o', 'k'), "ok"},
      {Fmt("%s|%.2s|%5s|%-5s|", "abc", "abc", "ab", "ab"), "abc|ab|   ab|ab   |"},
      {Fmt("%s", static_cast<const char*>(nullptr)), "(null)"},
      {Fmt("100%%"), "100%"},
      {Fmt("%q and %"), "%q and %"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Fmt, OutputIsCutAtTheBuffer) {
  char buf[8];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_EQ(fmt_format(buf, sizeof buf, "%s-%d", "abcdef", 12345), 7);
  EXPECT_STREQ(buf, "abcdef-");
  EXPECT_EQ(fmt_format(buf, 1, "%d", 5), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(fmt_format(nullptr, 10, "%d", 5), 0);
  EXPECT_EQ(fmt_format(buf, 0, "%d", 5), 0);
  EXPECT_EQ(fmt_format(buf, sizeof buf, nullptr), 0);
  // Widths beyond the buffer are cut too.
  char big[16];
  EXPECT_EQ(fmt_format(big, sizeof big, "%1000000d", 1), 15);
  EXPECT_EQ(fmt_format(big, sizeof big, "%.100000f", 1.0), 15);
  EXPECT_STREQ(big, "1.0000000000000");
}

// Switches LC_NUMERIC to a locale whose decimal point is ','. When none is
// installed, a locale of that one category is compiled with localedef into
// a temporary directory.
bool UseDecimalCommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) return true;
  }
  char tmpl[] = "/tmp/ql_locale_XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return false;
  std::string dir = tmpl;
  std::ofstream(dir + "/comma.src") << "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"<U002E>\"\n"
                                       "grouping 3;3\nEND LC_NUMERIC\n";
  // localedef warns of the missing categories (-c writes the locale anyway).
  std::string cmd = "localedef -c -i " + dir + "/comma.src -f ANSI_X3.4-1968 " + dir + "/xx_XX >/dev/null 2>&1";
  (void)std::system(cmd.c_str());
  setenv("LOCPATH", dir.c_str(), 1);
  bool ok = std::setlocale(LC_NUMERIC, "xx_XX") != nullptr;
  unsetenv("LOCPATH");
  std::filesystem::remove_all(dir);
  return ok;
}

TEST(Fmt, IndependentOfProcessLocale) {
  if (!UseDecimalCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma";
  // The C library now writes and reads a decimal comma; kernel texts do not.
  char c_text[16];
  std::snprintf(c_text, sizeof c_text, "%.1f", 1.5);
  EXPECT_STREQ(c_text, "1,5");
  EXPECT_EQ(Fmt("%.2f", 1.5), "1.50");
  EXPECT_EQ(Fmt("%g|%e", 0.25, 2.5), "0.25|2.500000e+00");
  double d = 0;
  EXPECT_NE(str_to_double("2.5", &d), nullptr);
  EXPECT_EQ(d, 2.5);
  const char* comma = "2,5";
  EXPECT_EQ(str_to_double(comma, &d), comma + 1);
  EXPECT_EQ(d, 2);
  std::setlocale(LC_NUMERIC, "C");
}

TEST(Util, CNumericLocale) {
  std::setlocale(LC_NUMERIC, "C.UTF-8");
  util_c_numeric_locale();
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

}  // namespace
