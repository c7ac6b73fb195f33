// Rounding families, saturated arithmetic and the utilities.
#include <cmath>
#include <cstring>
#include <limits>

#include "kernel/runtime/hooks.h"
#include "kernel/runtime/num.h"
#include "kernel/runtime/util.h"
#include "runtime_reset.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Num, RoundingFamilies) {
  struct Case {
    double x;
    int16_t s, s_sat;
    int32_t i, i_sat;
    int64_t l, l_sat;
  } cases[] = {
      {2.5, 3, 3, 3, 3, 3, 3},
      {-2.5, -3, -3, -3, -3, -3, -3},
      {0.0, 0, 0, 0, 0, 0, 0},
      {0.49, 0, 0, 0, 0, 0, 0},
      {-0.49, 0, 0, 0, 0, 0, 0},
      {40000.0, -25536, 32767, 40000, 40000, 40000, 40000},
      {-40000.0, 25536, -32768, -40000, -40000, -40000, -40000},
      {3e9, static_cast<int16_t>(3000000000LL & 0xFFFF), 32767, static_cast<int32_t>(3000000000LL - 4294967296LL),
       INT32_MAX, 3000000000LL, 3000000000LL},
      {1e30, 0, 32767, 0, INT32_MAX, INT64_MIN, INT64_MAX},
      {-1e30, 0, -32768, 0, INT32_MIN, INT64_MIN, INT64_MIN},
      {kNaN, 0, -32768, 0, INT32_MIN, INT64_MIN, INT64_MIN},
      {kInf, 0, 32767, 0, INT32_MAX, INT64_MIN, INT64_MAX},
      {-kInf, 0, -32768, 0, INT32_MIN, INT64_MIN, INT64_MIN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(num_round_short(c.x), c.s) << c.x;
    EXPECT_EQ(num_round_short_sat(c.x), c.s_sat) << c.x;
    EXPECT_EQ(num_round_int(c.x), c.i) << c.x;
    EXPECT_EQ(num_round_int_sat(c.x), c.i_sat) << c.x;
    EXPECT_EQ(num_round_int64(c.x), c.l) << c.x;
    EXPECT_EQ(num_round_int64_sat(c.x), c.l_sat) << c.x;
  }
}

TEST(Num, Arithmetic) {
  struct Div {
    int32_t a, b, q;
  } divs[] = {{7, 2, 4}, {-7, 2, -4}, {7, -2, -4}, {-7, -2, 4}, {6, 4, 2}, {5, 0, 5}, {INT32_MIN, -1, INT32_MAX},
              {INT32_MIN, 1, INT32_MIN}};
  for (const Div& d : divs) EXPECT_EQ(num_div_round(d.a, d.b), d.q) << d.a << "/" << d.b;

  EXPECT_EQ(num_add_sat(INT32_MAX, 1), INT32_MAX);
  EXPECT_EQ(num_add_sat(INT32_MIN, -1), INT32_MIN);
  EXPECT_EQ(num_add_sat(2, 3), 5);
  EXPECT_EQ(num_add_sat16(32000, 1000), 32767);
  EXPECT_EQ(num_add_sat16(-32000, -1000), -32768);
  EXPECT_EQ(num_add_coord(900000000, 200000000), 1000000000);
  EXPECT_EQ(num_add_coord(INT32_MAX, INT32_MAX), 1000000000);
  EXPECT_EQ(num_add_coord(-900000000, -900000000), -1000000000);

  EXPECT_EQ(num_muldiv_int(100000, 100000, 1000), 10000000);  // needs 64 bits in between
  EXPECT_EQ(num_muldiv_int(7, 3, 2), 11);
  EXPECT_EQ(num_muldiv_int(100000, 100000, 0), INT32_MAX);
  EXPECT_EQ(num_muldiv_int(-100000, 100000, 0), INT32_MIN);
  EXPECT_EQ(num_muldiv_int(3, 4, 0), 12);
  EXPECT_EQ(num_muldiv_int(INT32_MAX, INT32_MAX, 1), INT32_MAX);
  EXPECT_DOUBLE_EQ(num_muldiv(3, 4, 2), 6.5);
  EXPECT_EQ(num_muldiv_round(3, 4, 2, 1), 7);

  EXPECT_DOUBLE_EQ(num_round_to_step(7.4, 5), 5);
  EXPECT_DOUBLE_EQ(num_round_to_step(7.5, 5), 10);
  EXPECT_DOUBLE_EQ(num_round_to_step(7.3, 0), 7.3);
}

TEST(Util, Crc16) {
  EXPECT_EQ(util_crc16("123456789", 9), 0xBB3D);
  EXPECT_EQ(util_crc16("abc", 3), 0x9738);
  EXPECT_EQ(util_crc16("", 0), 0);
  EXPECT_EQ(util_crc16(nullptr, 5), 0);
  EXPECT_EQ(util_crc16("x", -1), 0);
}

int CompareInt(const void* key, const void* element) {
  int a = *static_cast<const int*>(key);
  int b = *static_cast<const int*>(element);
  return a < b ? -1 : (a > b ? 1 : 0);
}

TEST(Util, BinarySearch) {
  const int sorted[] = {2, 4, 6, 8};
  struct Case {
    int key;
    int index;
    int16_t found;
  } cases[] = {{2, 0, 1}, {8, 3, 1}, {5, 2, 0}, {1, 0, 0}, {9, 4, 0}, {6, 2, 1}};
  for (const Case& c : cases) {
    int16_t found = 7;
    auto* at = static_cast<const int*>(util_bsearch(&c.key, sorted, 4, sizeof(int), CompareInt, &found));
    EXPECT_EQ(at - sorted, c.index) << c.key;
    EXPECT_EQ(found, c.found) << c.key;
  }
  int16_t found = 7;
  EXPECT_EQ(util_bsearch(&cases[0].key, sorted, 0, sizeof(int), CompareInt, &found), sorted);
  EXPECT_EQ(found, 0);
}

TEST(Util, ColourRandomTicksHooks) {
  EXPECT_EQ(util_color_closeness(0x123456, 0x123456), 1000);
  EXPECT_EQ(util_color_closeness(0x000000, 0xFFFFFF), 0);
  EXPECT_EQ(util_random(0), 0);
  EXPECT_EQ(util_random(-5), 0);
  for (int i = 0; i < 100; ++i) {
    int32_t r = util_random(3);
    EXPECT_TRUE(r >= 0 && r < 3);
  }
  uint32_t t = util_ticks();
  EXPECT_GE(util_ticks(), t);
  EXPECT_EQ(util_double_click_time(), 50u);

  IntRect r{};
  EXPECT_EQ(util_rect_set(&r, 1, 2, 3, 4), &r);
  EXPECT_EQ(r.x1, 1);
  EXPECT_EQ(r.y2, 4);
  EXPECT_EQ(kernel_rect_in_clip(&r), 1);
  char name[4] = "xyz";
  EXPECT_STREQ(kernel_bitmap_name(1, 2, name), "");
  int16_t a = 5, b = 6;
  EXPECT_EQ(kernel_bitmap_ids("x", &a, &b), 0);
  EXPECT_EQ(a + b, 0);
  int32_t w, h, dx, dy;
  kernel_display_info(&w, &h, &dx, &dy);
  EXPECT_EQ(w * 1000 + h, 640480);
  EXPECT_EQ(dx + dy, 192);
  EXPECT_EQ(g_kernel_workspace, nullptr);
  EXPECT_EQ(kernel_hook_current_dir(name, sizeof name), 0);
  EXPECT_EQ(kernel_metafile_copy(&r), nullptr);
}

}  // namespace
