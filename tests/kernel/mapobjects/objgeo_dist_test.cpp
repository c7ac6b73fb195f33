// Point distances, the sphere against geod's answers, point-to-object
// distances and the root solvers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/mapobj_fixture.h"
#include "kernel/mapobjects/objgeo_csv.h"

namespace {

constexpr double kPi = 3.141592653589793;

CoordXform LatLong() {
  CoordXform x;
  xform_default_latlong(&x);
  return x;
}

CoordXform NonEarth() {
  CoordSysDef def;
  coordsys_clear(&def);
  CoordXform x;
  xform_init_scaled(&x, 0, &def, 1, 1, 0, 0);
  return x;
}

TEST(objgeo_dist, HaversineAndArcDegrees) {
  DPoint o{0, 0}, q{kPi / 2, 0};
  EXPECT_DOUBLE_EQ(geo_haversine(&o, &q), kPi / 2);
  int16_t method = -1;
  DPoint n1{10, 90}, n2{-120, 90};
  EXPECT_EQ(geo_arc_degrees(&method, &n1, &n2, 0, 0), 0);
  EXPECT_EQ(method, kDistGreatCircle);
  DPoint a{0, 0}, b{0, 10};
  EXPECT_NEAR(geo_arc_degrees(&method, &a, &b, 0, 0), 10, 1e-12);
  // The flat approximation along a meridian is exact.
  EXPECT_NEAR(geo_arc_degrees(&method, &a, &b, 1, 1), 10, 1e-12);
  EXPECT_EQ(method, kDistFlat);
}

TEST(objgeo_dist, ModesPickSphereOrPlane) {
  CoordXform ll = LatLong();
  DPoint a{0, 0}, b{1, 0};
  int16_t method = -1;
  // One degree of the equator: 1/360 of a great circle of 6,370,997 m.
  double m = objops_distance(&a, &b, &ll, kUnitMetre, kUnitDegree, 1, &method, 0);
  EXPECT_NEAR(m, 2 * kPi * 6370997 / 360, 1e-6);
  EXPECT_EQ(method, kDistGreatCircle);
  // A projected system with mode 1 measures on its plane.
  CoordSysDef def;
  coordsys_default_latlong(&def);
  CoordXform proj;
  xform_init_scaled(&proj, 8, &def, 1, 1, 0, 0);
  DPoint p{0, 0}, q{3000, 4000};
  EXPECT_DOUBLE_EQ(objops_distance(&p, &q, &proj, kUnitMetre, kUnitMetre, 1, &method, 0), 5000);
  EXPECT_EQ(method, kDistCartesian);
  // Non-earth is always on the plane; units convert (5000 m = 5 km).
  CoordXform ne = NonEarth();
  EXPECT_DOUBLE_EQ(objops_distance(&p, &q, &ne, 1, kUnitMetre, 0, &method, 0), 5);
  EXPECT_EQ(method, kDistCartesian);
}

TEST(objgeo_dist, SphereAgreesWithGeod) {
  auto rows = ReadCsv("proj/sphere_dist.csv");
  ASSERT_GE(rows.size(), 40u);
  CoordXform ll = LatLong();
  for (const auto& r : rows) {
    DPoint a{std::stod(r[0]), std::stod(r[1])}, b{std::stod(r[2]), std::stod(r[3])};
    double expect = std::stod(r[4]);
    double got = objops_distance(&a, &b, &ll, kUnitMetre, kUnitDegree, 0, nullptr, 0);
    EXPECT_NEAR(got, expect, expect * 1e-9) << r[0] << " " << r[1] << " " << r[2] << " " << r[3];
  }
}

TEST(objgeo_dist, IntegerPointsGoThroughTheTransform) {
  CoordXform ll = LatLong();  // a million integer units a degree
  IntPoint a{0, 0}, b{0, 1000000};
  EXPECT_NEAR(objops_distance_int(&a, &b, &ll, kUnitMetre, 0, nullptr, 0), 2 * kPi * 6370997 / 360, 1e-6);
}

TEST(objgeo_dist, FitAndOffsetReachTheDistance) {
  CoordXform ne = NonEarth();
  DPoint p{0, 0}, q{3, 4};
  objops_fit_distance(&p, &q, &ne, 10, kUnitMetre, kUnitMetre, 0, nullptr, 0, 0);
  EXPECT_NEAR(point_distance(&p, &q), 10, 1e-5);
  EXPECT_NEAR(q.x, 6, 1e-5);
  double dx = 0, dy = 0;
  IntPoint at{100, 100};
  EXPECT_EQ(objops_distance_to_deltas(&at, 25, &dx, &dy, &ne, 0, 0), 1);
  EXPECT_NEAR(dx, 25, 1e-4);
  EXPECT_NEAR(dy, 25, 1e-4);
  IntPoint off;
  objops_offset_point(&off, &at, 90, 40, 0, 0, &ne);
  EXPECT_EQ(off.x, 0);
  EXPECT_EQ(off.y, 40);
}

TEST(objgeo_dist, PointSegment) {
  struct Case {
    IntPoint p, a, b;
    double d;
    IntPoint nearest;
  } cases[] = {
      {{5, 5}, {0, 0}, {10, 0}, 5, {5, 0}},
      {{15, 0}, {0, 0}, {10, 0}, 5, {10, 0}},  // beyond the end: to the end
      {{-3, 4}, {0, 0}, {10, 0}, 5, {0, 0}},
      {{3, 4}, {0, 0}, {0, 0}, 5, {0, 0}},     // degenerate segment
  };
  for (const Case& c : cases) {
    IntPoint n{-1, -1};
    EXPECT_NEAR(point_segment_distance(&c.p, &c.a, &c.b, &n), c.d, 1e-9);
    EXPECT_EQ(n, c.nearest);
  }
}

TEST(objgeo_dist, ArcsAndEllipses) {
  IntRect r{-100, -50, 100, 50};
  IntPoint centre{0, 0};
  EXPECT_EQ(point_arc_distance(&centre, &r, 0, 3600, nullptr), 50);
  IntPoint right{150, 0}, above{0, 80};
  EXPECT_EQ(point_arc_distance(&right, &r, 0, 3600, nullptr), 50);
  EXPECT_EQ(point_arc_distance(&above, &r, 0, 3600, nullptr), 30);
  // The arc 1800..2700 does not pass (0, 50): the nearest end is (-100, 0),
  // sqrt(100^2 + 80^2) = 128.06 away.
  IntPoint ends[2];
  EXPECT_EQ(point_arc_distance(&above, &r, 1800, 2700, ends), 128);
  EXPECT_EQ(ends[0], (IntPoint{-100, 0}));
  EXPECT_EQ(ends[1], (IntPoint{0, -50}));
}

TEST_F(MapObjTest, objgeo_dist_PointObject) {
  ObjPtr e = New(MAPOBJ_ELLIPSE);
  rect_set(&e->mbr, -100, -50, 100, 50);
  IntPoint c{0, 0};
  EXPECT_EQ(point_object_distance(e.get(), &c, nullptr), 50);
  ObjPtr region = Poly(MAPOBJ_REGION, {{{0, 0}, {0, 10}, {10, 10}, {10, 0}}});
  IntPoint p{13, 14}, seg[2];
  EXPECT_EQ(point_object_distance(region.get(), &p, seg), 5);
  EXPECT_EQ(seg[0], (IntPoint{0, 10}));  // the first of the two segments at (10, 10)
  EXPECT_EQ(seg[1], (IntPoint{10, 10}));
  ObjPtr mp = New(MAPOBJ_MULTIPOINT);
  IntPoint pts[2] = {{0, 0}, {6, 8}};
  ASSERT_EQ(mapobjx_multipoint_add_nodes(mp.get(), 2, pts, nullptr, nullptr), 1);
  EXPECT_EQ(point_object_distance(mp.get(), &c, nullptr), 0);
  // Corner to corner of the integer space: beyond 32 bits.
  ObjPtr pt = New(MAPOBJ_POINT);
  pt->u.point.location = {-1000000000, -1000000000};
  IntPoint far{1000000000, 1000000000};
  EXPECT_EQ(point_object_distance(pt.get(), &far, nullptr), 2828427125LL);
  // A smoothed polyline is measured over its curve: (0,0) (10,10) (20,0)
  // runs through (10, 5) at t = 1/2.
  ObjPtr pl = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {10, 10}, {20, 0}}});
  pl->u.poly.line_flags |= 1;
  IntPoint top{10, 20};
  EXPECT_EQ(point_object_distance(pl.get(), &top, nullptr), 15);
}

TEST(objgeo_dist, RootSolvers) {
  double r[3];
  ASSERT_EQ(solve_cubic(1, -6, 11, -6, r), 3);
  std::sort(r, r + 3);
  EXPECT_NEAR(r[0], 1, 1e-9);
  EXPECT_NEAR(r[1], 2, 1e-9);
  EXPECT_NEAR(r[2], 3, 1e-9);
  ASSERT_EQ(solve_quadratic(1, 0, -4, r), 2);
  EXPECT_DOUBLE_EQ(r[0], -2);
  EXPECT_DOUBLE_EQ(r[1], 2);
  EXPECT_EQ(solve_quadratic(1, 0, 4, r), 0);
  ASSERT_EQ(solve_quadratic(1, -2, 1, r), 1);
  EXPECT_DOUBLE_EQ(r[0], 1);
  EXPECT_EQ(solve_quadratic(0, 0, 0, r), 0);
  ASSERT_EQ(solve_cubic(1, 0, 0, -8, r), 1);  // x^3 = 8
  EXPECT_NEAR(r[0], 2, 1e-12);
  ASSERT_EQ(solve_cubic(0, 1, 0, -4, r), 2);  // falls to the quadratic
  ASSERT_EQ(solve_linear(2, -4, r), 1);
  EXPECT_EQ(r[0], 2);
  EXPECT_EQ(solve_linear(0, 1, r), 0);
  EXPECT_EQ(cbrt_real(-27), -3);
  EXPECT_EQ(cbrt_real(1e-15), 0);
}

}  // namespace

namespace {

TEST(objgeo_dist, Ellipses) {
  IntRect e{-100, -50, 100, 50};
  struct Case {
    IntRect f;
    int16_t outlines, meet;
  } cases[] = {
      {{20, -50, 220, 50}, 1, 1},     // centres 120 apart
      {{150, -50, 350, 50}, 0, 0},    // 250 apart
      {{-50, -20, 50, 20}, 0, 1},     // inside
      {{-300, -200, 300, 200}, 0, 1}, // around
      {{-100, 60, 100, 160}, 0, 0},   // above
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ellipse_outlines_cross(&e, &c.f), c.outlines) << c.f.x1 << "," << c.f.y1;
    EXPECT_EQ(ellipses_intersect(&e, &c.f), c.meet) << c.f.x1 << "," << c.f.y1;
    EXPECT_EQ(ellipses_intersect(&c.f, &e), c.meet) << c.f.x1 << "," << c.f.y1;
  }
  IntRect inner{-50, -20, 50, 20};
  EXPECT_EQ(ellipse_contains_ellipse(&e, &inner), 1);
  EXPECT_EQ(ellipse_contains_ellipse(&inner, &e), 0);
  IntPoint a{-200, 0}, b{200, 0}, c{-200, 60}, d{200, 60}, v1{0, -100}, v2{0, 100}, v3{120, -100}, v4{120, 100};
  EXPECT_EQ(segment_meets_ellipse(&a, &b, &e), 1);
  EXPECT_EQ(segment_meets_ellipse(&c, &d, &e), 0);
  EXPECT_EQ(segment_meets_ellipse(&v1, &v2, &e), 1);
  EXPECT_EQ(segment_meets_ellipse(&v3, &v4, &e), 0);
  double k[5] = {1, 1, 1, 1, 1}, s[5] = {1, -1, -1, -1, 1}, t[5] = {1, 0.5, 0.2, 0.5, 1};
  EXPECT_EQ(bernstein4_has_root(k, 0), 0);
  EXPECT_EQ(bernstein4_has_root(s, 0), 1);  // dips below zero inside
  EXPECT_EQ(bernstein4_has_root(t, 0), 0);
}

TEST_F(MapObjTest, objgeo_dist_ObjectTests) {
  ObjPtr sq = Poly(MAPOBJ_REGION, {{{0, 0}, {0, 100}, {100, 100}, {100, 0}}});
  mapobj_update_mbr(sq.get());
  ObjPtr ell = New(MAPOBJ_ELLIPSE);
  rect_set(&ell->mbr, 60, 60, 160, 160);  // holds the corner (100, 100)
  ObjPtr far_ell = New(MAPOBJ_ELLIPSE);
  rect_set(&far_ell->mbr, 98, 98, 198, 198);  // mbrs overlap, the ellipse misses the corner
  ObjPtr pt = New(MAPOBJ_POINT);
  pt->u.point.location = {50, 50};
  rect_set(&pt->mbr, 50, 50, 50, 50);
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{-10, 50}, {10, 50}}});
  mapobj_update_mbr(line.get());
  ObjPtr away = Poly(MAPOBJ_POLYLINE, {{{-10, -10}, {-1, 120}}});
  mapobj_update_mbr(away.get());
  ObjPtr rect = New(MAPOBJ_RECT);
  rect_set(&rect->mbr, 10, 10, 20, 20);
  EXPECT_EQ(objops_intersects(sq.get(), ell.get()), 1);
  EXPECT_EQ(objops_intersects(sq.get(), far_ell.get()), 0);
  EXPECT_EQ(objops_intersects(pt.get(), sq.get()), 1);
  EXPECT_EQ(objops_intersects(line.get(), sq.get()), 1);
  EXPECT_EQ(objops_intersects(away.get(), sq.get()), 0);
  EXPECT_EQ(objops_intersects(rect.get(), sq.get()), 1);
  EXPECT_EQ(objops_intersects(rect.get(), line.get()), 0);
  EXPECT_EQ(objops_within(pt.get(), sq.get()), 1);
  EXPECT_EQ(objops_within(rect.get(), sq.get()), 1);
  EXPECT_EQ(objops_within(line.get(), sq.get()), 0);
  EXPECT_EQ(objops_within(sq.get(), rect.get()), 0);
  ObjPtr small = New(MAPOBJ_ELLIPSE);
  rect_set(&small->mbr, 90, 90, 130, 130);
  EXPECT_EQ(objops_within(small.get(), ell.get()), 1);
  EXPECT_EQ(objops_within(rect.get(), ell.get()), 0);
  EXPECT_EQ(objtype_in_basic_set(8), 0);
  EXPECT_EQ(objtype_in_basic_set(9), 1);
}

}  // namespace
