// Units, unit conversions and the coordinate-system list.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/hooks.h"

namespace {

double convert(double v, int from, int to) {
  double out;
  unit_convert(&out, to, v, from);
  return out;
}

class coordsys_units : public ::testing::Test {
 protected:
  void TearDown() override {
    g_kernel_workspace = nullptr;
    csys_reset();
  }
};

}  // namespace

TEST_F(coordsys_units, Conversions) {
  const struct {
    double v;
    int from, to;
    double expected;
  } cases[] = {
      {1, 0, 1, 1.609344},           // mi to km
      {1, 0, 14, 1},                 // mi to sq mi: kinds differ, unchanged
      {1, 28, 29, 0.40468564224},    // acre to hectare
      {1, 3, 7, 0.3048},             // ft to m
      {1, 8, 7, 1200.0 / 3937.0},    // survey ft to m
      {1, 9, 7, 1852},               // nmi to m
      {1, 13, 7, 111194.87428468118},  // the degree on the sphere of 6370997 m
      {5, 40, 7, 5},                 // invalid code: unchanged
      {5, 7, -1, 5},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(convert(c.v, c.from, c.to), c.expected, 1e-9 * std::fabs(c.expected)) << c.from << "->" << c.to;
}

TEST_F(coordsys_units, TableInvariants) {
  // Every linear unit's square is its paired area unit.
  for (int code = 0; code < kUnitCount; ++code) {
    if (unit_kind(code) != 1) continue;
    const int sq = unit_area_unit(code);
    EXPECT_EQ(unit_kind(sq), 0) << code;
    const double side = convert(1, code, 2);  // inches
    EXPECT_NEAR(convert(1, sq, 16), side * side, 1e-9 * side * side) << code;
    EXPECT_EQ(unit_area_unit(sq), sq) << code;
  }
  EXPECT_EQ(unit_area_unit(30), 33);
  EXPECT_EQ(unit_area_unit(36), 36);
  EXPECT_EQ(unit_area_unit(99), 14);
  EXPECT_EQ(unit_kind(99), 0);
  EXPECT_TRUE(unit_is_special(1001));
  EXPECT_FALSE(unit_valid(38));
}

TEST_F(coordsys_units, Names) {
  const struct {
    const char* name;
    int16_t ok, code;
  } cases[] = {{"SQ KM", 1, 15}, {"meter", 0, -1}, {"", 1, 1000}, {"Survey Ft", 1, 8}, {"rood", 1, 37}};
  for (const auto& c : cases) {
    int16_t code = -1;
    EXPECT_EQ(unit_from_name(c.name, &code), c.ok) << c.name;
    EXPECT_EQ(code, c.code) << c.name;
  }
  char name[40];
  EXPECT_EQ(unit_get_name(38, name, sizeof name), 0);
  EXPECT_STREQ(name, " ");
  EXPECT_EQ(unit_get_name(8, name, sizeof name), 1);
  EXPECT_STREQ(name, "survey ft");
  EXPECT_EQ(unit_get_special_name(1000, name, sizeof name), 1);
  EXPECT_STREQ(name, "");
}

TEST_F(coordsys_units, PointsThroughDegrees) {
  CoordXform xf;
  xform_default_latlong(&xf);
  DPoint p{400, 95};
  unit_convert_point(&p, 13, &p, 13, &xf);
  EXPECT_EQ(p.x, 360);
  EXPECT_EQ(p.y, 90);
  DRect r{-400, -95, 10, 20};
  unit_convert_bounds(&r, 13, &r, 13, &xf);
  EXPECT_EQ(r.x1, -360);
  EXPECT_EQ(r.y1, -90);
}

TEST_F(coordsys_units, CoordinateSystemList) {
  CoordXform a, b;
  xform_default_latlong(&a);
  xform_default_nonearth(&b);
  uint8_t i1 = 9, i2 = 9, i3 = 9;
  ASSERT_TRUE(csys_list_intern(&a, &i1));
  ASSERT_TRUE(csys_list_intern(&b, &i2));
  ASSERT_TRUE(csys_list_intern(&a, &i3));
  EXPECT_EQ(i1, 0);
  EXPECT_EQ(i2, 1);
  EXPECT_EQ(i3, 0);
  EXPECT_EQ(csys_list_count(), 2);
  EXPECT_FALSE(csys_set_current(2));
  ASSERT_TRUE(csys_set_current(1));
  CoordXform got;
  ASSERT_TRUE(csys_get_current_xform(&got));
  EXPECT_TRUE(xform_equal(&got, &b));
  for (int n = 2; n < 255; ++n) ASSERT_TRUE(csys_list_add(&a, &i1)) << n;
  EXPECT_EQ(csys_list_count(), 255);
  EXPECT_EQ(csys_list_add(&a, &i1), 0);  // the 256th entry
  EXPECT_EQ(csys_list_count(), 255);
}

TEST_F(coordsys_units, CurrentUnits) {
  EXPECT_EQ(csys_get_units(7, 3), 7);
  EXPECT_EQ(csys_get_units(7, 0), 2);
  EXPECT_EQ(csys_get_units(7, 1), 0);
  EXPECT_EQ(csys_get_units(7, 2), 14);
  csys_set_units(1, 7);
  EXPECT_EQ(csys_get_units(0, 1), 7);
  KernelWorkspace ws{3, 5, 6, 21};
  g_kernel_workspace = &ws;
  EXPECT_EQ(csys_get_units(0, 2), 21);
  csys_set_units(0, 4);
  EXPECT_EQ(ws.paper_unit, 4);
}
