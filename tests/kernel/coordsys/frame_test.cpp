// The projection frame: the lat/long and non-earth operations, default
// bounds, the rectangle families, and the transform functions that lean on
// them (device fits, precision, comparisons).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/proj.h"
#include "kernel/coordsys/xform.h"

namespace {

CoordSysDef plane(int16_t units, uint8_t orientation = 1) {
  CoordSysDef d;
  coordsys_clear(&d);
  d.ne.ne_fixed_aspect = 1;
  d.ne.ne_int_orientation = 1;
  d.ne.ne_coord_orientation = orientation;
  d.ne.ne_units = units;
  return d;
}

void expect_rect(const DRect& r, double x1, double y1, double x2, double y2) {
  EXPECT_DOUBLE_EQ(r.x1, x1);
  EXPECT_DOUBLE_EQ(r.y1, y1);
  EXPECT_DOUBLE_EQ(r.x2, x2);
  EXPECT_DOUBLE_EQ(r.y2, y2);
}

}  // namespace

TEST(coordsys_frame, LatLongHoldsRangesAndOtherTypesActAsIt) {
  for (int type : {1, 33, -4}) {
    CoordSysDef d;
    coordsys_default_latlong(&d);
    CoordXform xf;
    xform_init(&xf, type, &d);
    DPoint p{400, 100}, q{-400, -100};
    xform_forward_points(&p, &p, &xf, 1);
    xform_inverse_points(&q, &q, &xf, 1);
    EXPECT_EQ(p.x, 360) << type;
    EXPECT_EQ(p.y, 90) << type;
    EXPECT_EQ(q.x, -360) << type;
    EXPECT_EQ(q.y, -90) << type;
  }
}

TEST(coordsys_frame, NonEarthOrientationAndUnits) {
  CoordSysDef d = plane(13, 3);
  CoordXform xf;
  xform_init(&xf, 0, &d);
  DPoint p{1, 2};
  xform_forward_points(&p, &p, &xf, 1);
  EXPECT_EQ(p.x, -1);
  EXPECT_EQ(p.y, -2);
  xform_inverse_points(&p, &p, &xf, 1);
  EXPECT_EQ(p.x, 1);
  EXPECT_EQ(p.y, 2);
}

TEST(coordsys_frame, DefaultBounds) {
  DRect r;
  CoordSysDef ne = plane(3);
  coordsys_default_bounds(0, &ne, &r);
  expect_rect(r, 0, 0, 10, 10);
  CoordSysDef ll;
  coordsys_default_latlong(&ll);
  coordsys_default_bounds(1, &ll, &r);
  expect_rect(r, -1000, -1000, 1000, 1000);
  CoordSysDef tm;
  coordsys_clear(&tm);
  datum_get(104, &tm.datum);
  tm.units = 7;
  tm.params[0] = 9;
  coordsys_default_bounds(8, &tm, &r);
  CoordXform xf;
  xform_init(&xf, 8, &tm);
  DRect expected;
  const DRect ll_rect{-51, -90, 69, 90};
  xform_own_lonlat_rect_to_xy(&ll_rect, &expected, &xf);
  expect_rect(r, expected.x1, expected.y1, expected.x2, expected.y2);
}

TEST(coordsys_frame, AzimuthalSamplingEndsOnEveryRectangle) {
  CoordSysDef d;
  coordsys_clear(&d);
  datum_get(104, &d.datum);
  d.units = 7;
  for (int type : {4, 5, 20, 27, 28, 29, 31, 3, 25, 32}) {
    // Type 31 keeps a k0 of 0 and type 32 needs a pseudo parallel: without
    // them neither is a projection at all.
    d.params[2] = type == 31 ? 1.0 : type == 32 ? 78.5 : 0.0;
    CoordXform xf;
    xform_init(&xf, type, &d);
    const DRect world{-360, -90, 360, 90};
    DRect fwd, inv;
    xform_forward_rect(&world, &fwd, &xf);
    xform_inverse_rect(&fwd, &inv, &xf);
    EXPECT_LE(inv.x1, inv.x2) << type;
  }
}

TEST(coordsys_frame, DeviceFitKeepsEqualScales) {
  CoordSysDef d = plane(7);
  CoordXform xf;
  const IntRect device{0, 0, 100, 100};
  const DRect shown{10, 20, 12, 21};
  xform_init_device(&xf, 0, &d, &device, &shown);
  EXPECT_TRUE(xf.flags & XFORM_DEVICE);
  EXPECT_DOUBLE_EQ(xf.window_w, 2);
  EXPECT_DOUBLE_EQ(xf.window_h, 2);
  EXPECT_DOUBLE_EQ(xf.window_x, 10);
  EXPECT_DOUBLE_EQ(xf.window_y, 19.5);
  EXPECT_EQ(xform_int_orientation(&xf), 4);
  const DPoint c{11, 20.5};
  IntPoint px;
  xform_xy_to_int(&c, &px, &xf, 1);
  EXPECT_EQ(px.x, 50);
  EXPECT_EQ(px.y, 50);
}

TEST(coordsys_frame, LatLongAspectFollowsTheCentreLatitude) {
  CoordXform base;
  xform_default_latlong(&base);
  CoordXform like;
  const DRect r{-10, 50, 10, 70};
  xform_init_like(&like, &base, &r);
  EXPECT_DOUBLE_EQ(like.def.params[0], 60);
  EXPECT_NEAR(xform_device_aspect(&like), 0.5, 1e-15);
}

TEST(coordsys_frame, PrecisionAtAPoint) {
  // One integer step measures `step` metres on a plane in metres. Distances
  // are half the two-step length in metres, areas its square in square
  // metres: 0.0003 m -> 4 decimals, 9e-8 sq m -> 8 decimals.
  const struct {
    double step;
    int16_t decimals, significant, dist_decimals, area_decimals, measure_significant;
  } cases[] = {{0.0003, 4, 10, 4, 8, 4}, {0.001, 3, 10, 3, 6, 4}, {20, -2, 10, -2, -3, 4}, {0, 50, 3, 50, 50, 3}};
  for (const auto& c : cases) {
    CoordSysDef d = plane(7);
    CoordXform xf;
    if (c.step == 0) {
      xform_init_scaled(&xf, 0, &d, 1, 1, 0, 0);
      const double flat[12] = {0, 0, 5, 0, 0, 5, 0, 0, 0, 0, 0, 0};
      xform_set_int_affine(&xf, flat, 0);
    } else {
      xform_init_scaled(&xf, 0, &d, 1 / c.step, 1 / c.step, 0, 0);
    }
    NumFormat f{7, 0, 0, 0}, dist{7, 0, 0, 0}, area{21, 0, 0, 0};
    const IntPoint p{100, 100};
    xform_precision_at(&xf, &p, &f, &dist, &area);
    EXPECT_EQ(f.decimals, c.decimals) << c.step;
    EXPECT_EQ(f.significant, c.significant) << c.step;
    EXPECT_EQ(dist.decimals, c.dist_decimals) << c.step;
    EXPECT_EQ(dist.significant, c.measure_significant) << c.step;
    EXPECT_EQ(area.decimals, c.area_decimals) << c.step;
    EXPECT_EQ(area.significant, c.measure_significant) << c.step;
  }
}

TEST(coordsys_frame, PrecisionMeasuresAlongTheSphereAndByMode) {
  // Lat/long with 1e6 integers per degree: one step at the equator is
  // 1e-6 degree of a great circle of radius 6 370 997 m, 0.11119 m
  // (1 decimal); its square 0.012364 sq m (2 decimals).
  CoordSysDef d;
  coordsys_default_latlong(&d);
  datum_get(104, &d.datum);
  CoordXform xf;
  xform_init_scaled(&xf, 1, &d, 1e6, 1e6, 0, 0);
  const IntPoint p{0, 0};
  NumFormat dist{7, 0, 0, 0}, area{21, 0, 0, 0}, coord{13, 0, 0, 0};
  xform_precision_at(&xf, &p, &coord, &dist, &area);
  EXPECT_EQ(coord.decimals, 6);
  EXPECT_EQ(dist.decimals, 1);
  EXPECT_EQ(area.decimals, 2);
  EXPECT_EQ(dist.significant, 4);
  // Mode 1 (Cartesian where the system allows) carries 8 significant digits;
  // the coordinates keep 10.
  xform_precision_at_mode(&xf, &p, &coord, &dist, &area, 1);
  EXPECT_EQ(dist.significant, 8);
  EXPECT_EQ(area.significant, 8);
  EXPECT_EQ(coord.significant, 10);
  EXPECT_EQ(dist.decimals, 1);
}

TEST(coordsys_frame, ParamsComeBackAsGiven) {
  CoordSysDef d;
  coordsys_default_latlong(&d);
  CoordXform xf;
  xform_init_scaled(&xf, 1, &d, 1000, 2000, 3, 4);
  EXPECT_EQ(xf.scale_x, -1000);
  double sx, sy, ox, oy;
  int16_t type;
  xform_get_params(&xf, &type, nullptr, &sx, &sy, &ox, &oy);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(sx, 1000);
  EXPECT_EQ(sy, 2000);
  EXPECT_EQ(ox, 3);
  EXPECT_EQ(oy, 4);
  EXPECT_EQ(xform_units(&xf), 13);
  EXPECT_EQ(xform_clamp_magnitude(0), 1e-20);
  EXPECT_EQ(xform_clamp_magnitude(-1e-30), -1e-20);
  EXPECT_EQ(xform_clamp_magnitude(-1e30), -1e20);
}

TEST(coordsys_frame, SameProjectionIgnoresTheDefinitionAffine) {
  CoordSysDef d = plane(7);
  CoordXform a, b;
  xform_init_scaled(&a, 0, &d, 1, 1, 0, 0);
  d.flags |= COORDSYS_AFFINE;
  d.affine_units = 3;
  d.affine[0] = 2;
  d.affine[4] = 2;
  xform_init_scaled(&b, 0, &d, 1, 1, 0, 0);
  EXPECT_FALSE(xform_same_coordsys(&a, &b, 0));
  EXPECT_TRUE(xform_same_projection(&a, &b, 0));
  CoordSysDef l;
  coordsys_default_latlong(&l);
  EXPECT_FALSE(coordsys_def_compare(0, &d, 1, &l, 1, 1, 1));
  int16_t mode = 0, not_ne = 0, not_ll = 0;
  EXPECT_FALSE(coordsys_check_distance_mode(&mode, 0, &not_ne, &not_ll, 1));
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(not_ne, 0);
  EXPECT_EQ(not_ll, 1);
}

namespace {

// Point operations that leave points alone and count what they were given.
int32_t g_converted = 0;
void counting_identity(const DPoint* in, DPoint* out, const CoordXform*, int32_t count) {
  g_converted += count;
  for (int32_t i = 0; i < count; ++i) out[i] = in[i];
}

// An inverse that sends the projected meridian x = 0.5 across the pole.
void pole_inverse(const DPoint* in, DPoint* out, const CoordXform*, int32_t count) {
  for (int32_t i = 0; i < count; ++i) out[i] = DPoint{in[i].x == 0.5 ? 180.0 : in[i].x, in[i].y};
}

CoordXform counting(int type) {
  CoordSysDef d;
  coordsys_clear(&d);
  datum_get(104, &d.datum);
  d.units = 7;
  CoordXform xf;
  xform_init(&xf, type, &d);
  xf.forward_fn = counting_identity;
  xf.inverse_fn = counting_identity;
  return xf;
}

}  // namespace

TEST(coordsys_frame, RectangleFamiliesSampleTheirPoints) {
  // Counts from the sampling rules: corners, then the family's pairs.
  const DRect world{-360, -90, 360, 90};
  const DRect small{-10, -10, 10, 10};
  const struct {
    int type;
    bool forward;
    DRect rect;
    int32_t points;
  } cases[] = {
      {10, true, world, 2},     // corners2: the two corners only
      {7, true, world, 4},      // corners4
      {12, true, world, 6},     // equator: the corners and the pair on latitude 0
      {8, true, world, 8},      // cross: the central meridian pair and the equator pair
      {18, true, world, 6},     // meridian
      {32, true, world, 9},     // centre: the centre point and both pairs
      {32, false, small, 9},    // origin_x 0 and equator_y 0 lie inside
      // azimuthal, step 5 about 0: 143 meridians inside, each with its two
      // ends and the special latitudes -0.1 and 0.1; those two at both sides.
      {5, true, world, 4 + 143 * 4 + 4},
      // step 90: 7 meridians inside, one special latitude (-lat0 = 0).
      {20, true, world, 4 + 7 * 3 + 2},
      // swiss: meridians at -180..180 by 90 (k -2..2); the parallels at
      // +-(90 - |lat0|) = +-90 lie on the edges, not strictly inside.
      {25, true, world, 4 + 5 * 2},
  };
  for (const auto& c : cases) {
    CoordXform xf = counting(c.type);
    if (!c.forward) xf.origin_x = xf.equator_y = 0;  // inside the small rectangle
    g_converted = 0;
    DRect out;
    if (c.forward)
      xf.forward_rect_fn(&c.rect, &out, &xf);
    else
      xf.inverse_rect_fn(&c.rect, &out, &xf);
    EXPECT_EQ(g_converted, c.points) << c.type << (c.forward ? " forward" : " inverse");
  }
}

TEST(coordsys_frame, ConicInverseAcrossThePoleSpansEveryLongitude) {
  CoordXform xf = counting(3);
  xf.inverse_fn = pole_inverse;
  xf.origin_lon = 0;
  xf.origin_x = 0.5;
  xf.equator_y = 0.5;
  const DRect r{0, 0, 1, 1};
  DRect out;
  proj_rect_inv_conic(&r, &out, &xf);
  expect_rect(out, -360, 0, 360, 1);
  // Without the projected meridian inside, no point crosses.
  xf.origin_x = 2;
  proj_rect_inv_conic(&r, &out, &xf);
  expect_rect(out, 0, 0, 1, 1);
}
