// Conversions between transforms: the flags of the set-up, the pipeline
// against its stages, the integer device mapping, rectangle estimates and
// the affine helpers.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/coordsys/conv.h"
#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/xform.h"

namespace {

CoordXform latlong(int datum, DRect b) {
  CoordSysDef d;
  coordsys_default_latlong(&d);
  datum_get(datum, &d.datum);
  CoordXform xf;
  xform_init_bounds(&xf, 1, &d, &b);
  return xf;
}

CoordSysDef plane_def() {
  CoordSysDef d;
  coordsys_clear(&d);
  d.ne.ne_fixed_aspect = 1;
  d.ne.ne_int_orientation = 1;
  d.ne.ne_coord_orientation = 1;
  d.ne.ne_units = 7;
  return d;
}

constexpr uint32_t kBits1to5 =
    CONV_SKIP_DATUM | CONV_SKIP_PROJECTION | CONV_SKIP_DEF_AFFINE | CONV_SKIP_INT_AFFINE | CONV_LINEAR;

}  // namespace

TEST(coordsys_conv, SelfIsIdentical) {
  const CoordXform a = latlong(104, DRect{-180, -90, 180, 90});
  CoordConv c;
  conv_setup(&c, &a, &a);
  EXPECT_EQ(c.flags, CONV_IDENTICAL | kBits1to5);
  const IntPoint p[2] = {{123, -456}, {1000000000, -1000000000}};
  IntPoint q[2];
  conv_fwd_int(p, q, &c, 2);
  EXPECT_EQ(q[0].x, 123);
  EXPECT_EQ(q[1].y, -1000000000);
}

TEST(coordsys_conv, LatLongPairDifferingInBoundsScalesOnly) {
  const CoordXform a = latlong(104, DRect{-180, -90, 180, 90});
  const CoordXform b = latlong(104, DRect{0, 0, 10, 10});
  CoordConv c;
  conv_setup(&c, &a, &b);
  EXPECT_EQ(c.flags, kBits1to5);
  // lon 9, lat 4.5: in a at (-5e7, 5e7); in b (x runs against longitude)
  // at (-2e8 * 9 + 1e9, 2e8 * 4.5 - 1e9).
  const DPoint ll{9, 4.5};
  IntPoint pa;
  xform_xy_to_int(&ll, &pa, &a, 1);
  IntPoint pb;
  conv_fwd_int(&pa, &pb, &c, 1);
  EXPECT_EQ(pa.x, -50000000);
  EXPECT_EQ(pa.y, 50000000);
  EXPECT_EQ(pb.x, -800000000);
  EXPECT_EQ(pb.y, -100000000);
  conv_inv_int(&pb, &pb, &c, 1);
  EXPECT_EQ(pb.x, pa.x);
  EXPECT_EQ(pb.y, pa.y);
}

TEST(coordsys_conv, DifferentDatumsRunTheWholeChain) {
  const CoordXform a = latlong(62, DRect{-180, -90, 180, 90});
  const CoordXform b = latlong(74, DRect{-180, -90, 180, 90});
  CoordConv c;
  conv_setup(&c, &a, &b);
  EXPECT_EQ(c.flags, 0u);
  const DPoint ll{-96, 40};
  IntPoint pa;
  xform_xy_to_int(&ll, &pa, &a, 1);
  DPoint got;
  conv_fwd_int_to_double(&pa, &got, &c, 1);
  // Expected: the integer back to lon/lat, the shift, then b's scale.
  DPoint exp;
  xform_int_to_xy(&pa, &exp, &a, 1);
  EllipsoidParams ea, eb;
  ellipsoid_params(a.def.datum.ellipsoid, &ea);
  ellipsoid_params(b.def.datum.ellipsoid, &eb);
  datum_molodensky(&exp, &a.def.datum, &ea, &exp, &b.def.datum, &eb, 1);
  EXPECT_GT(std::fabs(exp.x - ll.x), 1e-5);  // the shift is real
  xform_scale_points(&exp, &exp, &b, 1);
  EXPECT_DOUBLE_EQ(got.x, exp.x);
  EXPECT_DOUBLE_EQ(got.y, exp.y);
}

TEST(coordsys_conv, NarrowDeviceMapRectangleIsWidened) {
  const CoordSysDef d = plane_def();
  CoordXform map;
  xform_init_scaled(&map, 0, &d, 1, 1, 0, 0);  // integers are metres
  CoordXform dev;
  const IntRect device{0, 0, 100, 100};
  const DRect shown{0, 0, 40, 40};
  xform_init_device(&dev, 0, &d, &device, &shown);
  CoordConv c;
  conv_setup(&c, &map, &dev);
  EXPECT_TRUE(conv_is_linear(&c));
  EXPECT_EQ(c.map_x, -50);
  EXPECT_EQ(c.map_w, 140);
  EXPECT_EQ(c.map_h, 140);
  EXPECT_DOUBLE_EQ(c.side_a.window_w, 140);
  // The scale stays 2.5 pixels per metre: the map centre is the device centre.
  const IntPoint centre{20, 20};
  IntPoint px;
  conv_map_to_device(&centre, &px, &c, 1);
  EXPECT_EQ(px.x, 50);
  EXPECT_EQ(px.y, 50);
  conv_fwd_int(&centre, &px, &c, 1);  // map to device: the pair was swapped
  EXPECT_EQ(px.x, 50);
  IntPoint back;
  conv_device_to_map(&px, &back, &c, 1);
  EXPECT_EQ(back.x, 20);
  EXPECT_EQ(back.y, 20);
  EXPECT_EQ(conv_device_dx_to_map(25, &c), 10);
}

TEST(coordsys_conv, DeviceFormsRoundAndHoldTheDeviceRange) {
  const CoordSysDef d = plane_def();
  CoordXform map;
  xform_init_scaled(&map, 0, &d, 1, 1, 0, 0);
  CoordXform dev;
  const IntRect device{0, 0, 100, 100};
  const DRect shown{0, 0, 1000, 1000};  // 10 metres a pixel
  xform_init_device(&dev, 0, &d, &device, &shown);
  CoordConv c;
  conv_setup(&c, &dev, &map);
  ASSERT_TRUE(conv_is_linear(&c));
  // Device y runs down: map (500, 500) is the centre, map (1000, 1000) the
  // top right corner.
  const IntRect m{500, 500, 1000, 1000};
  IntRect px;
  conv_map_to_device_rect(&m, &px, &c);
  EXPECT_EQ(px.x1, 50);
  EXPECT_EQ(px.y1, 0);
  EXPECT_EQ(px.x2, 100);
  EXPECT_EQ(px.y2, 50);
  DRect dpx;
  conv_map_to_device_rect_int_to_double(&m, &dpx, &c);
  EXPECT_DOUBLE_EQ(dpx.x2, 100);
  const DPoint far[2] = {{1e7, -1e7}, {505, 505}};
  IntPoint held[2];
  conv_map_to_device_double_to_device(far, held, &c, 2);
  EXPECT_EQ(held[0].x, 12000);  // the drawable device range
  EXPECT_EQ(held[0].y, 12000);
  EXPECT_EQ(held[1].x, 51);  // 50.5 rounds away from zero
  const DRect far_rect{-1e7, -1e7, 1e7, 1e7};
  IntRect held_rect;
  conv_map_to_device_rect_double_to_device(&far_rect, &held_rect, &c);
  EXPECT_EQ(held_rect.x1, -4000);
  EXPECT_EQ(held_rect.x2, 12000);
  IntPoint p[1] = {{50, 50}};
  conv_device_to_map_copied(p, p, &c, 1);
  EXPECT_EQ(p[0].x, 500);
  EXPECT_EQ(p[0].y, 500);
  IntRect back;
  conv_device_to_map_rect(&px, &back, &c);
  EXPECT_EQ(back.x1, 500);
  EXPECT_EQ(back.y2, 1000);
  DRect fwd;
  conv_fwd_rect_int_to_double(&px, &fwd, &c);  // device to map: not swapped
  EXPECT_DOUBLE_EQ(fwd.x1, 500);
}

TEST(coordsys_conv, DevicePairSkipsAShiftBelowHalfAPixel) {
  // NAD27 and NAD83 differ by some tens of metres in the middle of the US.
  CoordSysDef d27, d83;
  coordsys_default_latlong(&d27);
  datum_get(62, &d27.datum);
  coordsys_default_latlong(&d83);
  datum_get(74, &d83.datum);
  const CoordXform map = latlong(74, DRect{-180, -90, 180, 90});
  const IntRect device{0, 0, 100, 100};
  const struct {
    DRect shown;
    bool skip;
  } cases[] = {
      {DRect{-100, 35, -90, 45}, true},                // 0.1 degree a pixel: kilometres
      {DRect{-96.0001, 39.9999, -95.9999, 40.0001}, false},  // centimetres a pixel
  };
  for (const auto& k : cases) {
    CoordXform dev;
    xform_init_device(&dev, 1, &d27, &device, &k.shown);
    CoordConv c;
    conv_setup(&c, &map, &dev);
    EXPECT_EQ((c.flags & CONV_SKIP_DATUM) != 0, k.skip) << k.shown.x1;
    EXPECT_FALSE(conv_is_identity(&c));
  }
}

TEST(coordsys_conv, NonLinearRectangleIsCentredOnTheConvertedCentre) {
  const CoordXform a = latlong(62, DRect{-180, -90, 180, 90});
  const CoordXform b = latlong(74, DRect{-180, -90, 180, 90});
  CoordConv c;
  conv_setup(&c, &a, &b);
  const IntRect r{-100000000, -50000000, 100000000, 50000000};
  IntRect out;
  conv_int_rect_via(&r, &out, &c, c.fwd_points, c.fwd_rect);
  IntPoint centre{0, 0}, moved;
  conv_fwd_int(&centre, &moved, &c, 1);
  EXPECT_LE(std::abs((out.x1 + out.x2) / 2 - moved.x), 1);
  EXPECT_LE(std::abs((out.y1 + out.y2) / 2 - moved.y), 1);
}

TEST(coordsys_conv, RectanglesAndIdentity) {
  CoordConv c;
  conv_setup_identity(&c);
  EXPECT_TRUE(conv_is_identity(&c));
  const IntRect a{0, 0, 100, 50}, b{0, 0, 10, 5};
  conv_setup_rects(&c, &a, &b);
  EXPECT_FALSE(conv_is_identity(&c));
  const IntPoint p{50, 25};
  IntPoint q;
  conv_fwd_int(&p, &q, &c, 1);
  EXPECT_EQ(q.x, 5);
  EXPECT_EQ(q.y, 3);  // 2.5 rounds away from zero
}

TEST(coordsys_conv, AffineHelpers) {
  double r[12] = {0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 3, 0};
  ASSERT_EQ(util_affine_invert(r), 1);
  EXPECT_EQ(r[0], 0.5);
  EXPECT_EQ(r[4], 1.0 / 3.0);
  double z[12] = {7, 7, 7, 7, 7, 7, 1, 2, 0, 2, 4, 0};
  EXPECT_EQ(util_affine_invert(z), 0);
  EXPECT_EQ(z[0], 7);  // left unchanged

  const AffineControlPoint two[2] = {{{0, 0}, {0, 0}}, {{1, 0}, {2, 0}}};
  EXPECT_EQ(util_affine_fit(two, 2, r), 0);
  const AffineControlPoint line[3] = {{{0, 0}, {0, 0}}, {{1, 1}, {2, 2}}, {{2, 2}, {4, 4}}};
  EXPECT_EQ(util_affine_fit(line, 3, r), 0);
  // x' = 2x + 10, y' = 3y - 5 from four exact points.
  const AffineControlPoint pts[4] = {
      {{0, 0}, {10, -5}}, {{10, 0}, {30, -5}}, {{0, 10}, {10, 25}}, {{10, 10}, {30, 25}}};
  ASSERT_EQ(util_affine_fit(pts, 4, r), 1);
  EXPECT_NEAR(r[6], 2, 1e-12);
  EXPECT_NEAR(r[7], 0, 1e-12);
  EXPECT_NEAR(r[8], 10, 1e-12);
  EXPECT_NEAR(r[10], 3, 1e-12);
  EXPECT_NEAR(r[11], -5, 1e-12);
}
