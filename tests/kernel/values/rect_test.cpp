// Points and rectangles of the integer coordinate space.
#include <cmath>

#include "kernel/runtime/rect.h"
#include "values_fixture.h"

namespace {

TEST(RectTest, CentresAndInflationDoNotOverflow) {
  IntRect r{2147483647, 0, 2147483647, 0};
  IntPoint c;
  rect_center(&r, &c);
  EXPECT_EQ(c.x, 2147483647);
  r = IntRect{-2000000000, 0, 2000000000, 0};
  rect_center(&r, &c);
  EXPECT_EQ(c.x, 0);
  rect_center_fast(&r, &c);  // wraps, but defined

  r = IntRect{0, 0, 2147483600, 10};
  rect_inflate(&r, 100, 0);
  EXPECT_EQ(r.x2, 2147483647);
  r = IntRect{0, 0, 999999950, 10};
  rect_inflate_clamped(&r, 100, 0);
  EXPECT_EQ(r.x2, 1000000000);
}

TEST(RectTest, EmptyStartAndUnions) {
  IntRect r;
  rect_set_empty(&r);
  IntPoint p{5, 7};
  rect_add_point(&r, &p);
  EXPECT_EQ(r.x1, 5);
  EXPECT_EQ(r.x2, 5);
  EXPECT_TRUE(rect_is_empty(&r));
  EXPECT_TRUE(point_in_rect(&p, &r));
}

TEST(RectTest, Conversions) {
  DRect d{2.5, -2.5, 5e9, NAN};
  IntRect r;
  drect_to_rect(&d, &r);
  EXPECT_EQ(r.x1, 3);
  EXPECT_EQ(r.y1, -3);
  EXPECT_EQ(r.x2, 1000000000);

  DPoint dp{20000, 5};
  IntPoint ip;
  point_array_to_device(&dp, &ip, 1, 0);
  EXPECT_EQ(ip.x, 12000);
  point_array_to_device(&dp, &ip, 1, 1);
  EXPECT_EQ(ip.x, 20000);

  IntPoint in[3] = {{20000, 5}, {30000, 5}, {100, 5}}, out[3];
  int32_t count = 0;
  point_array_clamp_device(in, out, 3, &count, 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(out[0].x, 12000);
  EXPECT_EQ(out[1].x, 100);
}

TEST(RectTest, ApproximateEquality) {
  EXPECT_TRUE(point_coord_equal(1.0, std::nextafter(1.0, 2.0)));
  EXPECT_FALSE(point_coord_equal(1.0, std::nextafter(1.0, 0.0)));
  EXPECT_FALSE(point_coord_equal(1.0, 1.0 + 1e-14));
  EXPECT_TRUE(num_approx_equal(1.0, 1.05, 0));
  EXPECT_TRUE(num_approx_equal(1.0, 1.05, -5));  // clamped to step 0
}

TEST(RectTest, SegmentIntersection) {
  DPoint a{0, 0}, b{2, 0}, c{1, -1}, d{1, 1}, out;
  ASSERT_EQ(dseg_intersect(&a, &b, &c, &d, &out), 1);
  EXPECT_EQ(out.x, 1);
  DPoint e{2, 0}, f{3, 5};
  ASSERT_EQ(dseg_intersect(&a, &b, &e, &f, &out), 1);  // meet at an end
  EXPECT_EQ(out.x, 2);
  DPoint g{1, 0}, h{3, 0};
  EXPECT_EQ(dseg_intersect(&a, &b, &g, &h, &out), 0);  // collinear
}

}  // namespace
