// Typed values: making, copying, freeing, setting numbers, conversions and
// text forms, parsing, type guessing.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kernel/runtime/fmt.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "values_fixture.h"

namespace {

using ValueTest = ValuesTest;

std::string Text(const Value& v, int16_t decimals = -1, int16_t locale = 0) {
  char buf[256];
  return value_to_text(&v, buf, sizeof buf, decimals, locale);
}

Value Char(const char* s) {
  Value v;
  EXPECT_EQ(value_make(&v, VALUE_CHAR, s), 1);
  return v;
}

TEST_F(ValueTest, StylesCheckTheirRanges) {
  Value v;
  EXPECT_EQ(value_make(&v, VALUE_PEN, 3000, 2, 0u), 0);
  EXPECT_EQ(err_first_code(), 465);
  const ErrorEntry& e = g_err_stack->entries[0];
  ASSERT_GT(e.arg1_length, 0);
  EXPECT_STREQ(g_err_stack->pool + e.arg1_offset, "3000");
  EXPECT_EQ(v.u.pen, nullptr);
  err_clear();

  ASSERT_EQ(value_make(&v, VALUE_BRUSH, 2, 0xFF0000, -1), 1);
  EXPECT_EQ(v.u.brush->back, 16777215u);
  EXPECT_EQ(v.u.brush->transparent, 1);
  value_free(&v);

  ASSERT_EQ(value_make(&v, VALUE_PEN, 0, 5, 0u), 1);  // an invisible width 0 pen becomes 1 pixel solid
  EXPECT_EQ(v.u.pen->width, 1);
  EXPECT_EQ(v.u.pen->pattern, 2);
  EXPECT_EQ(Text(v), "Pen (1, 2, 0)");
  EXPECT_EQ(err_count(), 0);  // a style's text form pushes nothing
  value_free(&v);

  ASSERT_EQ(value_make(&v, VALUE_SYMBOL, 1, 65, 0xFF, 12, "Wingdings", 0x131, 450), 1);
  SymbolStyle sym;
  ASSERT_EQ(value_get_symbol(&v, &sym), 1);
  EXPECT_STREQ(sym.font.name, "Wingdings");
  EXPECT_EQ(font_get_style(&sym.font), 0x131);
  EXPECT_EQ(sym.rotation, 450);
  value_free(&v);

  ASSERT_EQ(value_make(&v, VALUE_FONT, "Arial", 0x101, 10, 0, 0xFF), 1);
  EXPECT_EQ(Text(v), "Font (\"Arial\",257,10,0,255)");
  value_free(&v);
}

TEST_F(ValueTest, SetDoubleSaturatesAndRefusesNaN) {
  Value v{};
  ASSERT_EQ(value_set_double(40000.0, VALUE_SMALLINT, &v), 1);
  EXPECT_EQ(v.u.s, 32767);
  ASSERT_EQ(value_set_double(-2.5, VALUE_INTEGER, &v), 1);
  EXPECT_EQ(v.u.i, -3);
  ASSERT_EQ(value_set_double(1e300, VALUE_LARGEINT, &v), 1);
  EXPECT_EQ(v.u.ll, std::numeric_limits<int64_t>::max());

  const double nan = std::nan("");
  EXPECT_EQ(value_set_double(nan, VALUE_INTEGER, &v), 0);
  EXPECT_EQ(v.u.i, 0);
  EXPECT_EQ(err_first_code(), 471);
  err_clear();
  EXPECT_EQ(value_set_double(nan, VALUE_TIME, &v), 0);
  EXPECT_TRUE(time_is_null(&v.u.time));
  EXPECT_EQ(err_first_code(), 854);
  err_clear();
  ASSERT_EQ(value_set_double(nan, VALUE_FLOAT, &v), 1);
  EXPECT_TRUE(std::isnan(v.u.d));
  EXPECT_EQ(value_set_int(40000, VALUE_SMALLINT, &v), 1);
  EXPECT_EQ(v.u.s, 32767);
  EXPECT_EQ(value_set_int(1, VALUE_PEN, &v), 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(ValueTest, CopyOwnsAndFreeKeepsWidths) {
  char caller[] = "borrowed";
  Value ref;
  value_init(&ref, VALUE_CHAR_REF, caller);
  Value copy;
  ASSERT_EQ(value_copy(&copy, &ref), 1);
  EXPECT_EQ(copy.type, VALUE_CHAR);
  EXPECT_EQ(copy.u.text.offset, -1);
  EXPECT_NE(copy.u.text.ptr, caller);
  EXPECT_STREQ(copy.u.text.ptr, "borrowed");
  value_free(&copy);
  EXPECT_EQ(copy.type, VALUE_CHAR);

  Value tref;
  value_init(&tref, VALUE_TEXT_REF, caller);
  ASSERT_EQ(value_copy(&copy, &tref), 1);
  EXPECT_EQ(copy.type, VALUE_TEXT);
  value_free(&copy);

  // A type 1 value pointing into a caller's buffer is never freed.
  Value into;
  value_init(&into, VALUE_CHAR, nullptr);
  value_set_text_ref(&into, caller, 3);
  EXPECT_STREQ(value_text_ptr(&into, nullptr), "rowed");
  value_free(&into);
  EXPECT_STREQ(caller, "borrowed");

  Value fixed;
  ASSERT_EQ(value_make(&fixed, VALUE_FIXED_CHAR, "abc"), 1);
  value_free(&fixed);
  EXPECT_EQ(fixed.u.text.offset, 3);
  ASSERT_EQ(value_alloc_text(fixed.u.text.offset, &fixed, nullptr), 1);
  EXPECT_STREQ(fixed.u.text.ptr, "   ");
  value_free(&fixed);

  Value time;
  value_init(&time, VALUE_TIME, nullptr);
  value_free(&time);
  EXPECT_TRUE(time_is_null(&time.u.time));
}

TEST_F(ValueTest, InitCopiesOnlyThePayloadOfTheType) {
  // A lone 4-byte date: reading 16 bytes would run past it (ASan).
  Date* d = new Date{2007, 3, 5};
  Value v;
  value_init(&v, VALUE_DATE, d);
  EXPECT_EQ(date_to_int(&v.u.date), 20070305);
  delete d;
}

TEST_F(ValueTest, ConvertingAPenIntoABrushFails) {
  Value pen, brush;
  ASSERT_EQ(value_make(&pen, VALUE_PEN, 1, 2, 0u), 1);
  ASSERT_EQ(value_make(&brush, VALUE_BRUSH, 2, 5, 6), 1);
  EXPECT_EQ(value_convert(&brush, &pen, 0), 0);
  EXPECT_EQ(err_first_code(), 854);
  EXPECT_EQ(brush.u.brush, nullptr);
  value_free(&pen);
  value_free(&brush);
}

TEST_F(ValueTest, TextForms) {
  const struct {
    uint8_t type;
    double x;
    int16_t decimals;
    const char* text;
  } cases[] = {
      {VALUE_FLOAT, 1234.5678, -1, "1234.57"}, {VALUE_FLOAT, 12345678.9, -1, "12345678.9"},
      {VALUE_FLOAT, 0.000125, -1, "0.000125"}, {VALUE_FLOAT, 1e12, -1, "1e+12"},
      {VALUE_FLOAT, kNullNumber, -1, ""},      {VALUE_DECIMAL, 3.14159, 2, "3.14"},
      {VALUE_DECIMAL, 3.14159, -1, "3.14159"}, {VALUE_DECIMAL, kNullNumber, 2, ""},
  };
  for (const auto& c : cases) {
    Value v{};
    v.type = c.type;
    v.u.d = c.x;
    EXPECT_EQ(Text(v, c.decimals), c.text) << c.x;
  }
  Value i{};
  value_set_int(-123456, VALUE_INTEGER, &i);
  EXPECT_EQ(Text(i), "-123456");
  value_set_int(-2147483647 - 1, VALUE_INTEGER, &i);
  EXPECT_EQ(Text(i), "-2147483648");
  Value sm{};
  value_set_int(-32768, VALUE_SMALLINT, &sm);
  EXPECT_EQ(Text(sm), "-32768");
  Value l{};
  value_set_int64(-9223372036854775807LL - 1, VALUE_LARGEINT, &l);
  EXPECT_EQ(Text(l), "-9223372036854775808");
  Value b{};
  b.type = VALUE_LOGICAL;
  b.u.b = 1;
  EXPECT_EQ(Text(b), "T");
  Value memo{};
  memo.type = VALUE_MEMO;
  EXPECT_EQ(Text(memo), "memo");

  char small[5];
  Value s = Char("abcdefgh");
  EXPECT_STREQ(value_to_text(&s, small, sizeof small, -1, 0), "abcd");
  value_free(&s);
}

// Float texts ("%.14g") come from a short path for values of at most 14
// significant digits: they equal the formatter's for every kind of value.
TEST_F(ValueTest, FloatTextsEqualTheFormatters) {
  std::mt19937_64 rng(20261211);
  std::vector<double> xs = {1e-5,   1e-4,   0.0001234, 9.9999999999999e13, 1e14, 1e15, 123456789012345.0,
                            -0.5,   0.1,    0.3,       2.5,                1e100, 1e-100, 5e-324,
                            1.7976931348623157e308,    -1e22, 99999999999999.0, 0.00001, -0.0, 0.0,
                            std::numeric_limits<double>::infinity(), std::nan("")};
  std::uniform_int_distribution<int> digits(1, 17), power(-30, 30);
  for (int i = 0; i < 200000; ++i) {
    switch (i % 4) {
      case 0: {
        uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        xs.push_back(d);
        break;
      }
      case 1: xs.push_back(static_cast<double>(static_cast<int64_t>(rng() % 2000000000000000ULL)) - 1e15); break;
      default: {
        const int n = digits(rng);
        const int64_t m = static_cast<int64_t>(rng() % static_cast<uint64_t>(std::pow(10.0, n)));
        xs.push_back((i % 8 < 4 ? 1 : -1) * static_cast<double>(m) * std::pow(10.0, power(rng)));
        break;
      }
    }
  }
  for (const double x : xs) {
    char fast[64], slow[64];
    number_format_g14(x, fast, sizeof fast, 0);
    fmt_format(slow, sizeof slow, "%.*g", 14, x);
    ASSERT_STREQ(fast, slow) << std::hexfloat << x;
  }
}

TEST_F(ValueTest, Readers) {
  Value t = Char("12.5");
  int32_t n;
  double d;
  ASSERT_EQ(value_get_int(&t, &n), 1);
  EXPECT_EQ(n, 12);
  ASSERT_EQ(value_get_double(&t, &d), 1);
  EXPECT_EQ(d, 12.5);
  value_free(&t);

  t = Char("abc");
  EXPECT_EQ(value_get_int(&t, &n), 0);
  EXPECT_EQ(err_first_code(), 854);
  err_clear();
  value_free(&t);

  t = Char("");
  ASSERT_EQ(value_get_int(&t, &n), 1);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(value_get_double(&t, &d), 0);
  EXPECT_EQ(err_first_code(), 854);
  err_clear();
  value_free(&t);

  Value f{};
  f.type = VALUE_FLOAT;
  f.u.d = 3e9;
  EXPECT_EQ(value_get_int(&f, &n), 0);
  EXPECT_EQ(err_first_code(), 471);
  err_clear();
  f.u.d = 2.5;
  value_get_int(&f, &n);
  EXPECT_EQ(n, 3);
  f.u.d = -2.5;
  value_get_int(&f, &n);
  EXPECT_EQ(n, -3);

  Value date = Char("20070305");
  Date out;
  ASSERT_EQ(value_get_date(&date, &out), 1);
  EXPECT_EQ(date_to_int(&out), 20070305);
  DateTime dt;
  ASSERT_EQ(value_get_datetime(&date, &dt), 1);
  EXPECT_EQ(datetime_to_int64(&dt), 20070305000000000LL);
  value_free(&date);
}

TEST_F(ValueTest, GuessType) {
  const struct {
    const char* text;
    int16_t type;
  } cases[] = {{"007", 1}, {"123", 4}, {"70000", 3}, {"1.5", 8},     {"12abc", 1},
               {"   ", 0}, {"0", 4},   {"-5", 4},     {"9999999999", 8}, {"1e5", 8}};
  for (const auto& c : cases) EXPECT_EQ(value_guess_type(c.text), c.type) << c.text;
}

TEST_F(ValueTest, PlainTextsParseBackEqual) {
  std::mt19937_64 rng(5);
  char buf[128];
  for (int i = 0; i < 5000; ++i) {
    Value in{}, out{};
    switch (i % 4) {
      case 0: value_set_int(int32_t(rng()), VALUE_INTEGER, &in); break;
      case 1: value_set_int(int16_t(rng()), VALUE_SMALLINT, &in); break;
      case 2: value_set_int64(int64_t(rng()), VALUE_LARGEINT, &in); break;
      case 3:
        in.type = VALUE_LOGICAL;
        in.u.b = rng() & 1;
        break;
    }
    value_to_text(&in, buf, sizeof buf, -1, 0);
    ASSERT_EQ(value_from_text(buf, in.type, -1, -1, 1, &out, 0), 1) << buf;
    int16_t r;
    ASSERT_EQ(std::memcmp(&in.u, &out.u, 8), 0) << buf;
    (void)r;
  }
}

TEST_F(ValueTest, NumberFormats) {
  char buf[64];
  const struct {
    double x;
    const char* text;
  } trims[] = {{6561666.667, "6561666.6670000004"},
               {1640416.667, "1640416.6669999999"},
               {0.9996, "0.9996"},
               {500000, "500000"},
               {-0.0, "-0"}};
  for (const auto& c : trims) EXPECT_STREQ(number_format_trim(c.x, buf, sizeof buf), c.text) << c.x;

  std::mt19937_64 rng(9);
  std::uniform_real_distribution<double> mag(4, 17);
  for (int i = 0; i < 3000; ++i) {
    double x = std::pow(10.0, mag(rng)) * (rng() & 1 ? 1 : -1);
    double back;
    ASSERT_NE(str_to_double(number_format_trim(x, buf, sizeof buf), &back), nullptr);
    ASSERT_EQ(back, x) << buf;
  }
}

TEST_F(ValueTest, LocaleNumberTextsUseTheSeparators) {
  provider_->items[locinfo::kDecimal] = ",";
  provider_->items[locinfo::kThousands] = ".";
  provider_->items[locinfo::kGrouping] = "3;0";
  ASSERT_EQ(locale_load_number_format(), 1);
  Value v{};
  v.type = VALUE_DECIMAL;
  v.u.d = 1234567.25;
  EXPECT_EQ(Text(v, 2, 1), "1.234.567,25");
  Value back{};
  ASSERT_EQ(value_from_text("1.234.567,25", VALUE_DECIMAL, -1, 2, 1, &back, 1), 1);
  EXPECT_EQ(back.u.d, 1234567.25);
}

}  // namespace
