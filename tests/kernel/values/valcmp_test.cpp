// Value comparison across types, between tests, collated and byte-wise
// comparison, fixed-width and display number forms.
#include <cstring>
#include <random>

#include "kernel/runtime/valcmp.h"
#include "kernel/runtime/valconv.h"
#include "values_fixture.h"

namespace {

using ValcmpTest = ValuesTest;

Value Num(uint8_t type, double x) {
  Value v{};
  if (type == VALUE_LARGEINT) value_set_int64(int64_t(x), type, &v);
  else value_set_double(x, type, &v);
  return v;
}

Value Int64(int64_t n) {
  Value v{};
  value_set_int64(n, VALUE_LARGEINT, &v);
  return v;
}

Value Ref(const char* s) {
  Value v;
  value_init(&v, VALUE_CHAR_REF, s);
  return v;
}

Value TimeV(int h, int m) {
  Value v{};
  v.type = VALUE_TIME;
  v.u.time = Time{0, 0, uint8_t(m), int8_t(h)};
  return v;
}

int16_t Cmp(const Value& a, const Value& b, int16_t report = 1) {
  int16_t r = 99;
  valcmp_values(&a, &b, &r, 0, report);
  return r;
}

TEST_F(ValcmpTest, TypeMatrix) {
  Value three = Num(VALUE_INTEGER, 3);
  EXPECT_EQ(Cmp(three, Num(VALUE_FLOAT, 3.0000000000000004)), 0);
  EXPECT_EQ(Cmp(three, Num(VALUE_FLOAT, 3.001)), -1);
  EXPECT_EQ(Cmp(Int64(9007199254740993LL), Int64(9007199254740992LL)), 1);

  Value date{};
  date.type = VALUE_DATE;
  date.u.date = Date{2007, 6, 15};
  EXPECT_EQ(Cmp(date, Ref("20070615")), 0);
  EXPECT_EQ(Cmp(Ref("20070616"), date), 1);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(Cmp(date, Num(VALUE_INTEGER, 20070615)), -2);
  EXPECT_EQ(err_first_code(), 906);
  err_clear();
  EXPECT_EQ(Cmp(Ref("1"), Num(VALUE_INTEGER, 1), 0), -2);
  EXPECT_EQ(err_count(), 0);

  Value empty{};
  empty.type = VALUE_DATE;
  EXPECT_EQ(Cmp(empty, empty), 0);
  EXPECT_EQ(Cmp(empty, date), -2);

  Value t{};
  t.type = VALUE_LOGICAL;
  t.u.b = 1;
  EXPECT_EQ(Cmp(t, Num(VALUE_INTEGER, 0)), 1);
  EXPECT_EQ(valcmp_values(&date, &three, nullptr, 0, 1), 0);  // only asks
  EXPECT_EQ(err_count(), 0);
}

TEST_F(ValcmpTest, TimeRangesMayPassMidnight) {
  Value low = TimeV(22, 0), high = TimeV(2, 0);
  const struct {
    int h, m;
    uint8_t inside;
  } cases[] = {{23, 30, 1}, {1, 0, 1}, {12, 0, 0}, {22, 0, 1}, {2, 0, 1}};
  for (const auto& c : cases) {
    Value x = TimeV(c.h, c.m);
    ASSERT_EQ(valcmp_between_value(&x, &low, &high, 1), 1);
    EXPECT_EQ(x.type, VALUE_LOGICAL);
    EXPECT_EQ(x.u.b, c.inside) << c.h << ":" << c.m;
  }
}

TEST_F(ValcmpTest, ByteAndCollatedComparison) {
  const struct {
    const char *a, *b;
    int16_t r;
  } bytes[] = {{"ab", "AB", 1}, {"AB", "ABC", -1}, {"ABD", "ABC", 1}, {"x", "x", 0}};
  for (const auto& c : bytes) {
    Value a = Ref(c.a), b = Ref(c.b);
    int16_t r;
    ASSERT_EQ(valcmp_bytes(&a, &b, &r, 1), 1);
    EXPECT_EQ(r, c.r) << c.a << " " << c.b;
  }
  Value bracket = Ref("["), caret = Ref("^");
  int16_t r;
  ASSERT_EQ(valcmp_collated(&bracket, &caret, &r, 1, int16_t(0xDCA5)), 1);
  EXPECT_EQ(r, 0);
  ASSERT_EQ(valcmp_collated(&bracket, &caret, &r, 1, int16_t(0x15E7)), 1);
  EXPECT_EQ(r, -1);
  // A text longer than the stack copy; the key is already normalised.
  std::string longer(1000, 'a');
  char key[2] = "a";
  collate_normalise(key, int16_t(0x15E7));
  Value big = Ref(longer.c_str()), a = Ref(key);
  ASSERT_EQ(valcmp_collated(&big, &a, &r, 1, int16_t(0x15E7)), 1);
  EXPECT_EQ(r, 1);
}

TEST_F(ValcmpTest, OrderingLawsWithinAFamily) {
  std::mt19937_64 rng(21);
  std::vector<Value> values;
  for (int i = 0; i < 60; ++i) {
    switch (i % 3) {
      case 0: values.push_back(Int64(int64_t(rng() % 2000) - 1000)); break;
      case 1: values.push_back(Num(VALUE_INTEGER, double(int(rng() % 2000) - 1000))); break;
      case 2: values.push_back(Num(VALUE_SMALLINT, double(int(rng() % 2000) - 1000))); break;
    }
  }
  for (const Value& a : values) {
    EXPECT_EQ(Cmp(a, a), 0);
    for (const Value& b : values) {
      int16_t ab = Cmp(a, b), ba = Cmp(b, a);
      ASSERT_EQ(ab, -ba);
      ASSERT_EQ(valcmp_equal(&a, &b), ab == 0 ? 1 : 0);
      for (const Value& c : values)
        if (ab <= 0 && Cmp(b, c) <= 0) {
          ASSERT_LE(Cmp(a, c), 0);
        }
    }
  }
}

TEST_F(ValcmpTest, FixedAndDisplayNumbers) {
  char buf[64];
  EXPECT_STREQ(number_format_fixed(buf, 5, 1, 12.34), " 12.3");
  EXPECT_STREQ(number_format_fixed(buf, 5, 1, 12345), "999.9");
  EXPECT_STREQ(number_format_fixed(buf, 5, 1, -12345), "-99.9");
  EXPECT_STREQ(number_format_fixed(buf, 4, 0, 123456), "9999");

  NumFormat f{0, 2, 6, 0};
  EXPECT_STREQ(numfmt_format(buf, sizeof buf, 1234.567, &f), "1234.57");
  EXPECT_STREQ(numfmt_format(buf, sizeof buf, 123456789, &f), "1.23457e+08");
  EXPECT_DOUBLE_EQ(numfmt_round(1234.567, &f), 1234.57);
  EXPECT_EQ(numfmt_round(0, &f), 0);
}

}  // namespace
