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

TEST(coordsys_xform, RoundTripWithinHalfAStep) {
  const CoordXform cases[] = {nonearth_bounds(0, 0, 10, 10), nonearth_bounds(-5e6, 2e6, 7e6, 9e6),
                              latlong_bounds(-180, -90, 180, 90), latlong_bounds(10, 40, 11, 41)};
  for (const CoordXform& xf : cases) {
    const IntRect whole{-1000000000, -1000000000, 1000000000, 1000000000};
    DRect b;
    xform_int_rect_to_xy(&whole, &b, &xf);
    const double half_x = 0.5 / std::fabs(xf.scale_x), half_y = 0.5 / std::fabs(xf.scale_y);
    for (int i = 0; i <= 40; ++i) {
      for (int j = 0; j <= 40; ++j) {
        // An irrational-ish fraction keeps the points off the integer grid.
        const DPoint p{b.x1 + (b.x2 - b.x1) * (i * 0.0249731), b.y1 + (b.y2 - b.y1) * (j * 0.0248917)};
        IntPoint q;
        xform_xy_to_int(&p, &q, &xf, 1);
        DPoint back;
        xform_int_to_xy(&q, &back, &xf, 1);
        EXPECT_LE(std::fabs(back.x - p.x), half_x * (1 + 1e-9)) << p.x;
        EXPECT_LE(std::fabs(back.y - p.y), half_y * (1 + 1e-9)) << p.y;
      }
    }
  }
}

TEST(coordsys_xform, ChainsThroughBothAffines) {
  // Metres; the definition affine doubles and shifts by 1, the integer-space
  // affine shifts by (10, 20).
  CoordSysDef d = nonearth_def(7);
  d.flags |= COORDSYS_AFFINE;
  d.affine_units = 7;
  const double def_affine[6] = {2, 0, 1, 0, 2, 1};
  std::memcpy(d.affine, def_affine, sizeof def_affine);
  const double def_inverse[6] = {0.5, 0, -0.5, 0, 0.5, -0.5};
  std::memcpy(d.affine_inverse, def_inverse, sizeof def_inverse);
  CoordXform xf;
  xform_init_scaled(&xf, 0, &d, 1, 1, 0, 0);
  const double int_affine[12] = {1, 0, 10, 0, 1, 20, 1, 0, -10, 0, 1, -20};
  xform_set_int_affine(&xf, int_affine, 0);
  EXPECT_FALSE(xf.flags & XFORM_DEVICE);

  const IntPoint origin{0, 0};
  DPoint xy;
  xform_int_to_xy(&origin, &xy, &xf, 1);
  EXPECT_EQ(xy.x, 10);
  EXPECT_EQ(xy.y, 20);

  // Projected (4.5, 9.5) metres as the non-earth plane's degrees.
  const double metre_in_degrees = 39.37007874015748 / 4377750.956089806;
  DPoint ll;
  xform_int_to_lonlat(&origin, &ll, &xf, 1);
  EXPECT_DOUBLE_EQ(ll.x, 4.5 * metre_in_degrees);
  EXPECT_DOUBLE_EQ(ll.y, 9.5 * metre_in_degrees);
  IntPoint back;
  xform_own_lonlat_to_int(&ll, &back, &xf, 1);
  EXPECT_EQ(back.x, 0);
  EXPECT_EQ(back.y, 0);
  DatumDef datum;
  xform_int_to_lonlat_datum(&origin, &ll, &xf, 1, &datum);
  EXPECT_EQ(datum.ellipsoid, 29);
  EXPECT_EQ(datum.number, 0);
  xform_lonlat_to_int(&ll, &back, &xf, 1, &datum);
  EXPECT_EQ(back.x, 0);

  const IntRect r{0, 0, 10, 10};
  DRect out;
  xform_int_rect_to_xy(&r, &out, &xf);
  EXPECT_EQ(out.x1, 10);
  EXPECT_EQ(out.y1, 20);
  EXPECT_EQ(out.x2, 20);
  EXPECT_EQ(out.y2, 30);
  IntRect ir;
  xform_xy_rect_to_int(&out, &ir, &xf);
  EXPECT_EQ(std::memcmp(&ir, &r, sizeof r), 0);
}

TEST(coordsys_xform, RotatedAffineRectangleIsTheCornersBox) {
  CoordSysDef d = nonearth_def(7);
  CoordXform xf;
  xform_init_scaled(&xf, 0, &d, 1, 1, 0, 0);
  const double quarter_turn[12] = {0, -1, 0, 1, 0, 0, 0, 1, 0, -1, 0, 0};
  xform_set_int_affine(&xf, quarter_turn, 0);
  EXPECT_FALSE(xform_int_affine_axis_aligned(&xf));
  const IntRect r{0, 0, 10, 5};
  DRect out;
  xform_int_rect_to_xy(&r, &out, &xf);
  EXPECT_EQ(out.x1, -5);
  EXPECT_EQ(out.y1, 0);
  EXPECT_EQ(out.x2, 0);
  EXPECT_EQ(out.y2, 10);
}
