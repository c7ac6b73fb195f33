// Index keys: the encoding table, value storing and the order property.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kernel/kernel_files_fixture.h"
#include "kernel/tables/index/key.h"

namespace {

class index_keys : public KernelFilesTest {};

std::vector<int> bytes_of(const KeyBuf& k) { return std::vector<int>(k.bytes, k.bytes + k.width); }

TEST_F(index_keys, EncodingTable) {
  struct Case {
    const char* what;
    int type;
    int width;
    void (*set)(Value*);
    std::vector<int> want;
  } cases[] = {
      {"Integer -1", VALUE_INTEGER, 0, [](Value* v) { v->u.i = -1; }, {0x7F, 0xFF, 0xFF, 0xFF}},
      {"Integer 0", VALUE_INTEGER, 0, [](Value* v) { v->u.i = 0; }, {0x80, 0, 0, 0}},
      {"Integer 1", VALUE_INTEGER, 0, [](Value* v) { v->u.i = 1; }, {0x80, 0, 0, 1}},
      {"SmallInt -2", VALUE_SMALLINT, 0, [](Value* v) { v->u.s = -2; }, {0x7F, 0xFE}},
      {"Logical false", VALUE_LOGICAL, 0, [](Value* v) { v->u.b = 0; }, {0x80, 0x00}},
      {"Logical true", VALUE_LOGICAL, 0, [](Value* v) { v->u.b = 1; }, {0x80, 0x01}},
      {"Date 2007-03-05", VALUE_DATE, 0, [](Value* v) { v->u.date = Date{2007, 3, 5}; }, {0x07, 0xD7, 0x03, 0x05}},
      {"Time null", VALUE_TIME, 0, [](Value* v) { v->u.time = Time{0, 0, 0, -1}; }, {0x7F, 0xFF, 0xFF, 0xFF}},
      {"Time 00:00:01.002", VALUE_TIME, 0, [](Value* v) { v->u.time = Time{2, 1, 0, 0}; }, {0x80, 0, 0x03, 0xEA}},
      {"Float 1.0", VALUE_FLOAT, 0, [](Value* v) { v->u.d = 1.0; }, {0xBF, 0xF0, 0, 0, 0, 0, 0, 0}},
      {"Float -1.0", VALUE_FLOAT, 0, [](Value* v) { v->u.d = -1.0; }, {0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"LargeInt 1", VALUE_LARGEINT, 0, [](Value* v) { v->u.ll = 1; }, {0x80, 0, 0, 0, 0, 0, 0, 1}},
      {"DateTime 2007-03-05 null time", VALUE_DATETIME, 0,
       [](Value* v) { v->u.dt = DateTime{Date{2007, 3, 5}, Time{0, 0, 0, -1}}; },
       {0x87, 0xD7, 0x03, 0x05, 0x7F, 0xFF, 0xFF, 0xFF}},
      {"Char (10) ab", VALUE_CHAR, 10, [](Value* v) { std::strcpy(v->u.text.ptr, "ab"); },
       {0x61, 0x62, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeyBuf k;
    ASSERT_EQ(keybuf_init(&k, c.type, c.width), 1);
    c.set(&k.value);
    int16_t shorter = -1;
    ASSERT_EQ(key_encode(&k, &shorter), 1);
    EXPECT_EQ(bytes_of(k), c.want);
    if (c.type == VALUE_CHAR) { EXPECT_EQ(shorter, 1); }
    // Decoding is the exact inverse: decoded over a spoilt value and
    // encoded again, the bytes come back.
    if (c.type == VALUE_CHAR) std::memset(k.value.u.text.ptr, 'x', 5);
    else std::memset(&k.value.u, 0x55, sizeof k.value.u);
    ASSERT_EQ(key_decode(&k), 1);
    std::memset(k.bytes, 0xEE, k.width);
    ASSERT_EQ(key_encode(&k, nullptr), 1);
    EXPECT_EQ(bytes_of(k), c.want);
    keybuf_free(&k);
  }
  // Null Time sorts before midnight; -2.0 before -1.0.
  KeyBuf a, b;
  keybuf_init(&a, VALUE_FLOAT, 0);
  keybuf_init(&b, VALUE_FLOAT, 0);
  a.value.u.d = -2.0;
  b.value.u.d = -1.0;
  key_encode(&a, nullptr);
  key_encode(&b, nullptr);
  EXPECT_LT(std::memcmp(a.bytes, b.bytes, 8), 0);
  keybuf_free(&a);
  keybuf_free(&b);
  // A type without a key: 508 with the type number.
  KeyBuf none;
  EXPECT_EQ(keybuf_init(&none, VALUE_OBJECT, 0), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, 508);
  EXPECT_STREQ(g_err_stack->pool + g_err_stack->entries[0].arg1_offset, "13");
}

TEST_F(index_keys, CharTwoHundredKeepsWidthTheFileCuts) {
  KeyBuf k;
  ASSERT_EQ(keybuf_init(&k, VALUE_CHAR, 200), 1);
  EXPECT_EQ(k.width, 200);
  EXPECT_EQ(kKeyMaxStored, 128);
  keybuf_free(&k);
}

TEST_F(index_keys, SetValueNormalisesTextAndRoundsDecimals) {
  ASSERT_EQ(charset_current(), kCharsetWindowsLatin1);
  KeyBuf k;
  ASSERT_EQ(keybuf_init(&k, VALUE_CHAR, 10), 1);
  Value src;
  ASSERT_EQ(value_make(&src, VALUE_CHAR, "ab  "), 1);
  ASSERT_EQ(key_set_value(&src, &k, -1, 0), 1);
  EXPECT_STREQ(k.value.u.text.ptr, "AB");
  value_free(&src);
  keybuf_free(&k);

  ASSERT_EQ(keybuf_init(&k, VALUE_DECIMAL, 0), 1);
  value_make(&src, VALUE_FLOAT, 2.125);
  ASSERT_EQ(key_set_value(&src, &k, 2, 0), 1);
  EXPECT_DOUBLE_EQ(k.value.u.d, 2.13);
  ASSERT_EQ(key_set_value(&src, &k, -1, 0), 1);
  EXPECT_DOUBLE_EQ(k.value.u.d, 2.125);
  keybuf_free(&k);

  // A text longer than the destination width is flagged.
  KeyBuf wide, narrow;
  keybuf_init(&wide, VALUE_CHAR, 20);
  keybuf_init(&narrow, VALUE_CHAR, 10);
  std::strcpy(wide.value.u.text.ptr, "abcdefghijk");
  int16_t too_long = 0;
  ASSERT_EQ(keybuf_assign(&narrow, &wide, &too_long), 1);
  EXPECT_EQ(too_long, 1);
  EXPECT_STREQ(narrow.value.u.text.ptr, "abcdefghij");
  keybuf_free(&wide);
  keybuf_free(&narrow);
}

// For random pairs of each type, byte order is value order and decoding
// round-trips.
TEST_F(index_keys, ByteOrderIsValueOrder) {
  std::mt19937_64 rng(21);
  const int types[] = {VALUE_INTEGER, VALUE_SMALLINT, VALUE_FLOAT, VALUE_DECIMAL, VALUE_LARGEINT,
                       VALUE_DATE,    VALUE_TIME,     VALUE_DATETIME, VALUE_LOGICAL, VALUE_CHAR};
  for (int type : types) {
    SCOPED_TRACE(type);
    for (int round = 0; round < 2000; ++round) {
      KeyBuf k[2];
      int64_t order[2][3] = {};
      for (int j = 0; j < 2; ++j) {
        ASSERT_EQ(keybuf_init(&k[j], type, 6), 1);
        Value& v = k[j].value;
        const uint64_t r = rng();
        switch (type) {
          case VALUE_INTEGER: v.u.i = static_cast<int32_t>(r); order[j][0] = v.u.i; break;
          case VALUE_SMALLINT: v.u.s = static_cast<int16_t>(r); order[j][0] = v.u.s; break;
          case VALUE_LARGEINT: v.u.ll = static_cast<int64_t>(r); order[j][0] = v.u.ll; break;
          case VALUE_LOGICAL: v.u.b = r & 1; order[j][0] = v.u.b; break;
          case VALUE_FLOAT: case VALUE_DECIMAL: {
            const double d = std::ldexp(static_cast<double>(static_cast<int32_t>(r)), static_cast<int>(r >> 40) % 80 - 40);
            v.u.d = d;
            break;
          }
          case VALUE_DATE:
            v.u.date = Date{static_cast<int16_t>(1 + r % 9999), static_cast<uint8_t>(1 + (r >> 16) % 12),
                            static_cast<uint8_t>(1 + (r >> 24) % 28)};
            order[j][0] = v.u.date.year, order[j][1] = v.u.date.month, order[j][2] = v.u.date.day;
            break;
          case VALUE_TIME: {
            const int ms = static_cast<int>(r % 86400000) - (r % 7 == 0 ? 86400000 : 0);
            v.u.time = ms < 0 ? Time{0, 0, 0, -1}
                              : Time{static_cast<int16_t>(ms % 1000), static_cast<uint8_t>(ms / 1000 % 60),
                                     static_cast<uint8_t>(ms / 60000 % 60), static_cast<int8_t>(ms / 3600000)};
            order[j][0] = ms < 0 ? -1 : ms;
            break;
          }
          case VALUE_DATETIME: {
            const int ms = static_cast<int>((r >> 20) % 86400000);
            v.u.dt = DateTime{Date{static_cast<int16_t>(1 + r % 9999), static_cast<uint8_t>(1 + (r >> 16) % 12), 1},
                              Time{static_cast<int16_t>(ms % 1000), static_cast<uint8_t>(ms / 1000 % 60),
                                   static_cast<uint8_t>(ms / 60000 % 60), static_cast<int8_t>(ms / 3600000)}};
            order[j][0] = v.u.dt.date.year, order[j][1] = v.u.dt.date.month, order[j][2] = ms;
            break;
          }
          case VALUE_CHAR: {
            const int len = static_cast<int>(r % 7);
            for (int i = 0; i < len; ++i) v.u.text.ptr[i] = static_cast<char>('a' + (r >> (8 + 4 * i)) % 4);
            v.u.text.ptr[len] = '\0';
            break;
          }
        }
        ASSERT_EQ(key_encode(&k[j], nullptr), 1);
      }
      const int bytes = std::memcmp(k[0].bytes, k[1].bytes, k[0].width);
      int value = 0;
      if (type == VALUE_FLOAT || type == VALUE_DECIMAL) {
        value = (k[0].value.u.d > k[1].value.u.d) - (k[0].value.u.d < k[1].value.u.d);
      } else if (type == VALUE_CHAR) {
        const std::string a = std::string(k[0].value.u.text.ptr).substr(0, 6);
        const std::string b = std::string(k[1].value.u.text.ptr).substr(0, 6);
        value = a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
      } else {
        for (int i = 0; i < 3 && value == 0; ++i) value = (order[0][i] > order[1][i]) - (order[0][i] < order[1][i]);
      }
      EXPECT_EQ((bytes > 0) - (bytes < 0), value);
      // Round trip.
      KeyBuf back;
      keybuf_init(&back, type, 6);
      std::memcpy(back.bytes, k[0].bytes, k[0].width);
      ASSERT_EQ(key_decode(&back), 1);
      ASSERT_EQ(key_encode(&back, nullptr), 1);
      EXPECT_EQ(std::memcmp(back.bytes, k[0].bytes, k[0].width), 0);
      keybuf_free(&back);
      keybuf_free(&k[0]);
      keybuf_free(&k[1]);
    }
  }
}

}  // namespace
