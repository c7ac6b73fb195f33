// Transforms: the integer space, its rounding and clamps, orientations and
// comparisons.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/xform.h"

namespace {

CoordSysDef nonearth_def(int16_t units) {
  CoordSysDef d;
  coordsys_clear(&d);
  d.ne.ne_fixed_aspect = 1;
  d.ne.ne_int_orientation = 1;
  d.ne.ne_coord_orientation = 1;
  d.ne.ne_units = units;
  return d;
}

CoordXform nonearth_bounds(double x1, double y1, double x2, double y2) {
  CoordSysDef d = nonearth_def(7);
  CoordXform xf;
  const DRect b{x1, y1, x2, y2};
  xform_init_bounds(&xf, 0, &d, &b);
  return xf;
}

CoordXform latlong_bounds(double x1, double y1, double x2, double y2) {
  CoordSysDef d;
  coordsys_default_latlong(&d);
  CoordXform xf;
  const DRect b{x1, y1, x2, y2};
  xform_init_bounds(&xf, 1, &d, &b);
  return xf;
}

}  // namespace

TEST(coordsys_xform, NonEarthBoundsGiveScaleAndOffset) {
  CoordXform xf = nonearth_bounds(0, 0, 10, 10);
  EXPECT_EQ(xf.scale_x, 2e8);
  EXPECT_EQ(xf.scale_y, 2e8);
  EXPECT_EQ(xf.offset_x, -1e9);
  EXPECT_EQ(xf.offset_y, -1e9);
  const DPoint in[2] = {{5, 5}, {10, 10}};
  IntPoint out[2];
  xform_xy_to_int(in, out, &xf, 2);
  EXPECT_EQ(out[0].x, 0);
  EXPECT_EQ(out[0].y, 0);
  EXPECT_EQ(out[1].x, 1000000000);
  EXPECT_EQ(out[1].y, 1000000000);
}

TEST(coordsys_xform, LatLongIntegerXRunsAgainstLongitude) {
  CoordXform xf = latlong_bounds(0, 0, 10, 10);
  EXPECT_EQ(xf.scale_x, -2e8);
  const DPoint in{10, 0};
  IntPoint out;
  xform_xy_to_int(&in, &out, &xf, 1);
  EXPECT_EQ(out.x, -1000000000);
  DPoint back;
  xform_int_to_xy(&out, &back, &xf, 1);
  EXPECT_DOUBLE_EQ(back.x, 10);
}

TEST(coordsys_xform, RoundingHalfAwayFromZeroAndClamped) {
  CoordSysDef d = nonearth_def(7);
  CoordXform xf;
  xform_init_scaled(&xf, 0, &d, 1, 1, 0, 0);
  struct Case {
    double in;
    int32_t out;
  } cases[] = {{2.5, 3}, {-2.5, -3}, {1e12, 1000000000}, {1e60, 1000000000}, {-1e60, -1000000000},
               {NAN, 0}, {INFINITY, 1000000000}};
  for (const Case& c : cases) {
    const DPoint p{c.in, c.in};
    IntPoint q;
    xform_xy_to_int(&p, &q, &xf, 1);
    EXPECT_EQ(q.x, c.out) << c.in;
    EXPECT_EQ(q.y, c.out) << c.in;
  }
}

TEST(coordsys_xform, DegenerateAndReversedBounds) {
  CoordXform flat = nonearth_bounds(3, 0, 3, 10);
  EXPECT_EQ(flat.scale_x, 1e20);
  CoordXform reversed = nonearth_bounds(10, 0, 0, 10);
  EXPECT_EQ(reversed.scale_x, -2e8);
}

TEST(coordsys_xform, EqualityAndSameCoordSys) {
  CoordXform a = latlong_bounds(-180, -90, 180, 90);
  CoordXform b = latlong_bounds(-180, -90, 180, 90);
  EXPECT_TRUE(xform_equal(&a, &b));
  xform_set_mz_flag(&b, 1);
  EXPECT_FALSE(xform_equal(&a, &b));
  EXPECT_TRUE(xform_same_coordsys(&a, &b, 0));

  CoordSysDef d;
  coordsys_default_latlong(&d);
  datum_get(62, &d.datum);
  CoordXform c;
  const DRect bounds{-180, -90, 180, 90};
  xform_init_bounds(&c, 1, &d, &bounds);
  EXPECT_TRUE(xform_same_coordsys(&a, &c, 0));  // a has no datum
}

TEST(coordsys_xform, ParamCounts) {
  const struct {
    int type, count;
  } cases[] = {{24, 5}, {0, 0}, {1, 0}, {33, 0}, {2, 2}, {3, 6}, {4, 3}, {10, 1}, {18, 4}, {-1, 0}};
  for (auto c : cases) EXPECT_EQ(coordsys_param_count(c.type), c.count) << c.type;
}
