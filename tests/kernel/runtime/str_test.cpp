// Text routines: bounded copy, trims, quoting, and the number parsers.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "kernel/runtime/fmt.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/str.h"
#include "platform/locale_provider.h"
#include "runtime_reset.h"

namespace {

class StrTest : public RuntimeTest {};

// Outcome of one parse: value, offset of the end (-1 for null).
template <class T>
struct Parsed {
  T value;
  long end;
};

template <class T>
Parsed<T> Parse(const char* (*fn)(const char*, T*), const char* text) {
  T v = static_cast<T>(99);
  const char* end = fn(text, &v);
  return {v, end ? static_cast<long>(end - text) : -1};
}

TEST_F(StrTest, IntegerParsers) {
  struct Case {
    const char* text;
    int32_t value;
    long end;
  } ints[] = {
      {"12x", 12, 2},     {" +7", 7, 3},          {"\t\n\v\f\r-8", -8, 7}, {"-2147483648", INT32_MIN, 11},
      {"2147483647", INT32_MAX, 10}, {"2147483648", 0, -1}, {"3000000000", 0, -1}, {"", 0, -1},
      {"x", 0, -1},       {"+", 0, -1},           {"- 5", 0, -1},          {"+-5", 0, -1},
      {"0x10", 0, 1},     {"12.9", 12, 2},        {"007", 7, 3},           {"1e3", 1, 1},
      {"99999999999999999999999", 0, -1},
  };
  for (const Case& c : ints) {
    auto r = Parse(str_to_int, c.text);
    EXPECT_EQ(r.value, c.value) << c.text;
    EXPECT_EQ(r.end, c.end) << c.text;
    auto l = Parse(str_to_long, c.text);
    EXPECT_EQ(l.value, c.value) << c.text;
  }
  struct ShortCase {
    const char* text;
    int16_t value;
    long end;
  } shorts[] = {{"40000", 0, -1}, {"32767", 32767, 5}, {"-32768", -32768, 6}, {"-32769", 0, -1}, {" 5 ", 5, 2}};
  for (const ShortCase& c : shorts) {
    auto r = Parse(str_to_short, c.text);
    EXPECT_EQ(r.value, c.value) << c.text;
    EXPECT_EQ(r.end, c.end) << c.text;
  }
  EXPECT_EQ(Parse(str_to_int64, "-9223372036854775808").value, INT64_MIN);
  EXPECT_EQ(Parse(str_to_int64, "9223372036854775808").end, -1);
  EXPECT_EQ(Parse(str_to_uint, "4294967295").value, 4294967295u);
  EXPECT_EQ(Parse(str_to_uint, "4294967296").end, -1);
  EXPECT_EQ(Parse(str_to_uint, "-1").end, -1);  // no wrap-around of negative texts
  EXPECT_EQ(Parse(str_to_uint64, "18446744073709551615").value, UINT64_MAX);
  EXPECT_EQ(Parse(str_to_uint64, "+18").value, 18u);
  EXPECT_EQ(Parse(str_to_hex, "ff").value, 255u);
  EXPECT_EQ(Parse(str_to_hex, " 0x1Fg").value, 31u);
  EXPECT_EQ(Parse(str_to_hex, " 0x1Fg").end, 5);
  EXPECT_EQ(Parse(str_to_hex, "100000000").end, -1);
  EXPECT_EQ(Parse(str_to_hex, "g").end, -1);
}

TEST_F(StrTest, DoubleParser) {
  struct Case {
    const char* text;
    double value;
    long end;
  } cases[] = {
      {"  -12.5x", -12.5, 7},  {"1e-400", 0, -1},   {"1e400", 0, -1},   {"-1e400", 0, -1},
      {"0x10", 0, 1},          {".", 0, 1},         {".5", 0.5, 2},     {"5.", 5, 2},
      {"1e", 1, 1},            {"1e+", 1, 1},       {"1E+2x", 100, 4},  {"-.e5", 0, -1},
      {"inf", 0, -1},          {"nan", 0, -1},      {"", 0, -1},        {" +", 0, -1},
      {"0e-400", 0, 6},        {"4.9e-324", 4.9e-324, 8},               {"+3.25", 3.25, 5},
      {"1.7976931348623157e308", 1.7976931348623157e308, 22},           {". 5", 0, -1},
  };
  for (const Case& c : cases) {
    auto r = Parse(str_to_double, c.text);
    EXPECT_EQ(r.value, c.value) << c.text;
    EXPECT_EQ(r.end, c.end) << c.text;
  }
}

TEST_F(StrTest, NullTextsAndOutputs) {
  int32_t i = 5;
  EXPECT_EQ(str_to_int(nullptr, &i), nullptr);
  EXPECT_EQ(i, 0);
  EXPECT_NE(str_to_int("5", nullptr), nullptr);
  double d = 1;
  EXPECT_EQ(str_to_double_ex(nullptr, &d, 1), nullptr);
  EXPECT_EQ(d, 0);
  EXPECT_EQ(str_copy_n(nullptr, "a", 4), nullptr);
  EXPECT_EQ(str_trim_left(nullptr), 0);
  EXPECT_EQ(str_trim_right(nullptr), 0);
  char out[4] = "zz";
  EXPECT_STREQ(str_quote_text(out, nullptr, nullptr, sizeof out), "\"\"");
  EXPECT_STREQ(str_unquote(out, nullptr, nullptr, sizeof out), "");
  str_reverse_bytes(nullptr, 5);
  str_reverse_bytes(out, -3);
}

TEST_F(StrTest, ParsePrintRoundTripOfEveryFiniteDouble) {
  std::mt19937_64 rng(7);
  std::vector<double> values = {0.0, -0.0, 4.9e-324, -4.9e-324, 2.2250738585072009e-308, 2.2250738585072014e-308,
                                std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), 0.1, 1.0 / 3};
  for (int i = 0; i < 100000; ++i) {
    uint64_t bits = rng();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (std::isfinite(x)) values.push_back(x);
  }
  for (int i = 0; i < 20000; ++i) {  // subnormals
    uint64_t bits = rng() & 0x800FFFFFFFFFFFFFULL;
    double x;
    std::memcpy(&x, &bits, sizeof x);
    values.push_back(x);
  }
  for (double x : values) {
    char buf[64];
    fmt_format(buf, sizeof buf, "%.17g", x);
    double back = 1;
    ASSERT_NE(str_to_double(buf, &back), nullptr) << buf;
    ASSERT_EQ(std::memcmp(&back, &x, sizeof x), 0) << buf;
  }
}

TEST_F(StrTest, LocaleFormsParseAfterRewriting) {
  auto fixed = std::make_shared<FixedLocaleProvider>();
  fixed->items = {{locinfo::kDecimal, ","}, {locinfo::kThousands, "."}, {locinfo::kGrouping, "3;0"}};
  locale_set_provider(fixed);
  ASSERT_EQ(locale_load_number_format(), 1);
  char text[] = "1.234.567,25";
  double d = 0;
  EXPECT_NE(str_to_double_ex(text, &d, 1), nullptr);
  EXPECT_EQ(d, 1234567.25);
  char plain[] = "1.5";
  EXPECT_NE(str_to_double_ex(plain, &d, 0), nullptr);
  EXPECT_EQ(d, 1.5);
  char num[] = "-12.345";
  int32_t i = 0;
  EXPECT_NE(str_to_int_ex(num, &i, 1), nullptr);
  EXPECT_EQ(i, -12345);
  locale_reset();
  locale_set_provider(nullptr);
}

TEST_F(StrTest, CopyAndTrim) {
  char buf[8];
  std::memset(buf, 'X', sizeof buf);
  str_copy_n(buf, "abcdef", 4);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(buf[3], 0);
  EXPECT_EQ(buf[4], 'X');  // n bytes written, no more
  str_copy_n(buf, "ab", 8);
  for (int i = 2; i < 8; ++i) EXPECT_EQ(buf[i], 0);
  str_copy_n(buf, "q", 0);
  EXPECT_EQ(buf[0], 'a');

  struct Case {
    const char* text;
    int32_t (*fn)(char*);
    const char* after;
    int32_t result;
  } cases[] = {
      {"   ", str_trim_left, "", 3},
      {" \t\x01x y ", str_trim_left, "x y ", 3},
      {"  \tx", str_trim_left_blanks, "\tx", 2},
      {"x y \t\r\n", str_trim_right, "x y", 3},
      {"x\x02 ", str_trim_right, "x", 1},
      {"\xE9 ", str_trim_right, "\xE9", 1},
      {"", str_trim_right, "", 0},
  };
  for (const Case& c : cases) {
    std::string t = c.text;
    EXPECT_EQ(c.fn(t.data()), c.result) << c.text;
    EXPECT_STREQ(t.c_str(), c.after) << c.text;
  }
}

TEST_F(StrTest, ReplaceReverseBlank) {
  char t1[] = "a/b\\c";
  EXPECT_STREQ(str_replace_chars(t1, "/\\", '_'), "a_b_c");
  char t2[] = "ab\x01\x7F" "c";
  EXPECT_STREQ(str_blank_unprintable(t2), "ab  c");
  char t3[] = "abc";
  str_reverse_bytes(t3, 3);
  EXPECT_STREQ(t3, "cba");
}

TEST_F(StrTest, Quoting) {
  struct Case {
    const char* text;
    const char* quote;
    int32_t size;
    const char* quoted;
  } cases[] = {
      {"abc", nullptr, 16, "\"abc\""},
      {"a\"b", nullptr, 16, "\"a\"\"b\""},
      {"it's", "'", 16, "'it''s'"},
      {"abcdef", nullptr, 6, "\"abc\""},        // size - 3 characters of text
      {"ab\"cd", nullptr, 6, "\"ab\""},         // a quote that cannot be doubled ends the text
      {"abc", "", 3, "ab"},                     // empty quote text: bounded copy
      {"abc", nullptr, 2, ""},
  };
  for (const Case& c : cases) {
    char out[32];
    EXPECT_STREQ(str_quote_text(out, c.text, c.quote, c.size), c.quoted) << c.text << " " << c.size;
  }
  // In place: the text is read before anything is written.
  char inplace[32] = "a\"b\"c";
  EXPECT_STREQ(str_quote_text(inplace, inplace, nullptr, sizeof inplace), "\"a\"\"b\"\"c\"");
  EXPECT_STREQ(str_quote(inplace, "x", "'", sizeof inplace), "'x'");

  struct Unquote {
    const char* text;
    int32_t size;
    const char* plain;
  } unquotes[] = {
      {"\"a\"\"b\"", 16, "a\"b"}, {"\"abc\"tail", 16, "abc"}, {"\"abc", 16, "abc"},
      {"plain", 16, "plain"},     {"\"abcdef\"", 4, "abc"},   {"\"\"", 16, ""},
  };
  for (const Unquote& u : unquotes) {
    char out[32];
    EXPECT_STREQ(str_unquote(out, u.text, nullptr, u.size), u.plain) << u.text;
  }
  char back[64];
  char quoted[64];
  for (const char* t : {"", "x", "\"", "\"\"", "a\"b\"\"c", "'q'"}) {
    str_quote_text(quoted, t, nullptr, sizeof quoted);
    EXPECT_STREQ(str_unquote(back, quoted, nullptr, sizeof back), t);
  }
}

}  // namespace

namespace {

class StrDbcsTest : public RuntimeTest {};

TEST_F(StrDbcsTest, QuotingFollowsTheCurrentSet) {
  cp_set_ansi_page(932);
  char out[32], back[32];
  // Single-byte set: 0x95 is a character of its own, the quote after it is
  // doubled and the text round-trips.
  const char* text = "\x95\"";
  EXPECT_STREQ(str_quote_text(out, text, nullptr, sizeof out), "\"\x95\"\"\"");
  EXPECT_STREQ(str_unquote(back, out, nullptr, sizeof back), text);
  // Double-byte set: 0x95 0x5C is one character and is never split by a cut.
  g_kshared.charset_multibyte = 1;
  EXPECT_STREQ(str_quote_text(out, "a\x95\x5C", nullptr, 5), "\"a\"");
  EXPECT_STREQ(str_quote_text(out, "a\x95\x5C", nullptr, 6), "\"a\x95\x5C\"");
  char trim[] = "\x95\x20 ";  // trail byte 0x20 is part of the character
  EXPECT_EQ(str_trim_right(trim), 2);
}

TEST_F(StrDbcsTest, SingleByteSetTemplateKeepsEveryByte) {
  cp_set_ansi_page(932);
  err_push(4, 311, nullptr, nullptr);
  err_format_template(&g_err_stack->entries[0], "\x82x^^");
  EXPECT_STREQ(g_err_stack->line, "\x82x^");
}

}  // namespace
