// Point, segment and object tests, with GEOS's answers for point-in-region
// and segment crossings.
#include <gtest/gtest.h>

#include <sstream>

#include "kernel/mapobjects/mapobj_fixture.h"
#include "kernel/mapobjects/objgeo_csv.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objgeom_test.h"

namespace {

TEST(objgeo_tests, SegIntersectKinds) {
  struct Case {
    IntPoint a, b, c, d;
    int16_t meets, kind;
    int outputs;
    IntPoint p0, p1;
  } cases[] = {
      {{0, 0}, {10, 0}, {5, 0}, {15, 0}, 1, kSegOverlap, 2, {5, 0}, {10, 0}},
      {{0, 0}, {10, 10}, {10, 10}, {20, 0}, 1, kSegSharedEnd, 1, {10, 10}, {}},
      {{0, 0}, {10, 10}, {0, 10}, {10, 0}, 1, kSegCross, 1, {5, 5}, {}},
      {{0, 0}, {10, 10}, {10, 10}, {0, 0}, 1, kSegSameEnds, 2, {0, 0}, {10, 10}},
      {{0, 0}, {10, 0}, {10, 0}, {20, 0}, 1, kSegSharedEnd, 1, {10, 0}, {}},  // collinear, touching at an end
      {{0, 0}, {10, 0}, {0, 5}, {10, 5}, 0, kSegCross, 0, {}, {}},           // parallel apart
      {{0, 0}, {10, 10}, {20, 0}, {30, 10}, 0, kSegCross, 0, {}, {}},         // apart
      {{0, 0}, {10, 0}, {5, 1}, {5, 10}, 0, kSegCross, 0, {}, {}},            // would meet beyond an end
      {{5, 5}, {5, 5}, {0, 0}, {10, 0}, 0, kSegCross, 0, {}, {}},             // a point off the line
  };
  for (const Case& c : cases) {
    IntPoint out[2] = {{-7, -7}, {-7, -7}};
    int16_t kind = -1;
    EXPECT_EQ(seg_intersect(&c.a, &c.b, &c.c, &c.d, out, &kind), c.meets) << c.a << c.b << c.c << c.d;
    if (!c.meets) continue;
    EXPECT_EQ(kind, c.kind) << c.a << c.b << c.c << c.d;
    if (c.outputs > 0) {
      EXPECT_EQ(out[0], c.p0);
    }
    if (c.outputs > 1) {
      EXPECT_EQ(out[1], c.p1);
    }
  }
}

TEST(objgeo_tests, SegmentCrossingsAgreeWithGeos) {
  auto rows = ReadCsv("geos/segx.csv");
  ASSERT_GE(rows.size(), 60u);
  for (const auto& r : rows) {
    int v[11];
    for (int i = 0; i < 11; ++i) v[i] = std::stoi(r[i]);
    IntPoint a{v[0], v[1]}, b{v[2], v[3]}, c{v[4], v[5]}, d{v[6], v[7]}, out[2];
    int16_t kind = 0;
    ASSERT_EQ(seg_intersect(&a, &b, &c, &d, out, &kind), v[8]) << a << b << c << d;
    EXPECT_EQ(seg_touch(&a, &b, &c, &d), v[8]) << a << b << c << d;
    if (!v[8]) continue;
    EXPECT_EQ(kind, kSegCross);
    EXPECT_EQ(out[0], (IntPoint{v[9], v[10]})) << a << b << c << d;
  }
}

TEST(objgeo_tests, ContainsPointExactly) {
  IntPoint a{0, 0}, b{999999999, 999999998};
  // n^2 - (n + 1)(n - 1) = 1: off the line by one unit of the cross
  // product, which doubles round away.
  IntPoint off{999999998, 999999997};
  EXPECT_EQ(seg_contains_point(&off, &a, &b), 0);
  IntPoint on{0, 0}, mid{3, 6}, s{0, 0}, e{10, 20};
  EXPECT_EQ(seg_contains_point(&on, &a, &b), 1);
  EXPECT_EQ(seg_contains_point(&mid, &s, &e), 1);
  IntPoint beyond{11, 22};
  EXPECT_EQ(seg_contains_point(&beyond, &s, &e), 0);
}

TEST(objgeo_tests, PointVersusSegmentClasses) {
  IntPoint a{0, 0}, b{10, 10};
  struct Case {
    IntPoint p;
    int16_t half_open, result, cls;
  } cases[] = {
      {{5, 5}, 1, 1, kPointOnSegment},
      {{0, 0}, 1, 1, kPointOnSegment},
      {{10, 10}, 1, 1, kPointOnSegment},    // an end counts as on before the half-open rule
      {{2, 8}, 1, 1, kPointRayCrosses},
      {{8, 2}, 1, 1, kPointSegmentLeft},
      {{-3, 4}, 1, 1, kPointRayCrosses},    // left of the x range
      {{-3, 4}, 0, 0, 0},
      {{12, 9}, 1, 1, kPointSegmentLeft},
      {{5, 11}, 1, 0, 0},                   // above the y range
      {{3, 10}, 1, 0, 0},                   // at the upper end's y
  };
  for (const Case& c : cases) {
    int16_t cls = -1;
    ASSERT_EQ(isect_point_vs_segment(&c.p, &a, &b, &cls, c.half_open), c.result) << c.p;
    if (c.result) {
      EXPECT_EQ(cls, c.cls) << c.p;
    }
  }
  // Within 0.9 cross units of a sloped segment: on it.
  IntPoint s{0, 0}, t{3, 1000}, near{0, 1};  // cross value 1*3 - 0 = 3 > 0.9
  int16_t cls = -1;
  ASSERT_EQ(isect_point_vs_segment(&near, &s, &t, &cls, 1), 1);
  EXPECT_EQ(cls, kPointRayCrosses);
  IntPoint t2{1, 1000}, n2{0, 0};
  EXPECT_EQ(isect_point_vs_segment_yx(&n2, &s, &t2, &cls, 1), 1);
}

TEST_F(MapObjTest, objgeo_tests_PointInRegion) {
  // Outer square, a hole, an island in the hole.
  ObjPtr r = Poly(MAPOBJ_REGION,
                  {{{0, 0}, {0, 100}, {100, 100}, {100, 0}}, {{20, 20}, {20, 80}, {80, 80}, {80, 20}},
                   {{40, 40}, {40, 60}, {60, 60}, {60, 40}}},
                  {1, 0, 0});
  mapobj_update_mbr(r.get());
  struct Case {
    IntPoint p;
    int16_t inside;
  } cases[] = {
      {{10, 10}, 1}, {{0, 50}, 1}, {{100, 100}, 1}, {{30, 30}, 0}, {{20, 50}, 1},  // hole border
      {{50, 50}, 1}, {{40, 50}, 1}, {{101, 50}, 0}, {{-1, -1}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(mapobjx_point_in_region(&c.p, r.get()), c.inside) << c.p;
  // A ray through a vertex counts it once: a diamond, points level with
  // its left and right vertices.
  ObjPtr d = Poly(MAPOBJ_REGION, {{{0, 10}, {10, 20}, {20, 10}, {10, 0}}});
  mapobj_update_mbr(d.get());
  IntPoint left{-5, 10}, mid{10, 10}, top{5, 20};
  EXPECT_EQ(mapobjx_point_in_region(&left, d.get()), 0);
  EXPECT_EQ(mapobjx_point_in_region(&mid, d.get()), 1);
  EXPECT_EQ(mapobjx_point_in_region(&top, d.get()), 0);
  MapSection* h = mapobj_lock_sections(d.get(), 0);
  EXPECT_EQ(mapobjx_point_in_ring(&mid, h, 0), 1);
  EXPECT_EQ(mapobjx_point_in_ring(&left, h, 0), 0);
}

TEST_F(MapObjTest, objgeo_tests_PointInRegionAgreesWithGeos) {
  auto rows = ReadCsv("geos/pip.csv");
  ASSERT_GE(rows.size(), 300u);
  for (const auto& row : rows) {
    std::vector<Ring> rings;
    std::stringstream rs(row[0]);
    std::string ring_text;
    while (std::getline(rs, ring_text, '|')) {
      Ring ring;
      std::stringstream ps(ring_text);
      std::string pt;
      while (std::getline(ps, pt, ';')) {
        std::stringstream xy(pt);
        IntPoint p;
        xy >> p.x >> p.y;
        ring.push_back(p);
      }
      rings.push_back(ring);
    }
    std::vector<int> holes;
    std::stringstream hs(row[1]);
    for (int h; hs >> h;) holes.push_back(h);
    ObjPtr r = Poly(MAPOBJ_REGION, rings, holes);
    mapobj_update_mbr(r.get());
    IntPoint p{std::stoi(row[2]), std::stoi(row[3])};
    EXPECT_EQ(mapobjx_point_in_region(&p, r.get()), std::stoi(row[4])) << row[0] << " " << p;
  }
}

TEST_F(MapObjTest, objgeo_tests_PointInObjects) {
  ObjPtr arc = New(MAPOBJ_ARC);
  rect_set(&arc->u.arc.rect, 0, 0, 10, 10);
  arc->u.arc.end = 3600;
  rect_set(&arc->mbr, 0, 0, 10, 10);
  ObjPtr flat = New(MAPOBJ_ELLIPSE);
  rect_set(&flat->mbr, 0, 0, 0, 10);
  ObjPtr ell = New(MAPOBJ_ELLIPSE);
  rect_set(&ell->mbr, 0, 0, 10, 10);
  ObjPtr rect = New(MAPOBJ_RECT);
  rect_set(&rect->mbr, 0, 0, 10, 10);
  ObjPtr line = New(MAPOBJ_LINE);
  line->u.line.start = {0, 0};
  line->u.line.end = {10, 10};
  rect_set(&line->mbr, 0, 0, 10, 10);
  IntPoint c{5, 5}, corner{1, 1}, edge{0, 5};
  EXPECT_EQ(mapobjx_point_in_object(&c, arc.get()), 0);
  EXPECT_EQ(mapobjx_point_in_object(&edge, flat.get()), 0);
  EXPECT_EQ(mapobjx_point_in_object(&c, ell.get()), 1);
  EXPECT_EQ(mapobjx_point_in_object(&corner, ell.get()), 0);
  EXPECT_EQ(mapobjx_point_in_object(&corner, rect.get()), 1);
  EXPECT_EQ(mapobjx_point_in_object(&c, line.get()), 1);
  EXPECT_EQ(mapobjx_point_in_object(&edge, line.get()), 0);
  EXPECT_EQ(mapobj_point_in_area(&c, line.get()), 0);
  EXPECT_EQ(mapobj_point_in_area(&corner, rect.get()), 1);
}

TEST_F(MapObjTest, objgeo_tests_SegmentsAndObjectsInRegions) {
  // A U: the segment across the notch leaves the region.
  ObjPtr u = Poly(MAPOBJ_REGION, {{{0, 0}, {0, 30}, {10, 30}, {10, 10}, {20, 10}, {20, 30}, {30, 30}, {30, 0}}});
  mapobj_update_mbr(u.get());
  IntPoint a{5, 20}, b{25, 20}, c{5, 5}, d{25, 5};
  EXPECT_EQ(mapobjx_segment_in_region(&a, &b, u.get()), 0);
  EXPECT_EQ(mapobjx_segment_in_region(&c, &d, u.get()), 1);
  IntPoint e0{0, 0}, e1{0, 30};
  EXPECT_EQ(mapobjx_segment_in_region(&e0, &e1, u.get()), 1);  // along an edge
  ObjPtr inner = Poly(MAPOBJ_POLYLINE, {{{2, 2}, {28, 2}, {28, 8}}});
  mapobj_update_mbr(inner.get());
  ObjPtr across = Poly(MAPOBJ_POLYLINE, {{{5, 20}, {25, 20}}});
  mapobj_update_mbr(across.get());
  EXPECT_EQ(mapobjx_within_region(inner.get(), u.get()), 1);
  EXPECT_EQ(mapobjx_within_region(across.get(), u.get()), 0);
  EXPECT_EQ(mapobjx_region_intersects(u.get(), across.get()), 1);
  EXPECT_EQ(mapobjx_objects_cross(across.get(), u.get()), 1);  // through both arms
  EXPECT_EQ(mapobjx_objects_cross(inner.get(), u.get()), 0);
  ObjPtr cut = Poly(MAPOBJ_POLYLINE, {{{15, 5}, {15, 40}}});
  mapobj_update_mbr(cut.get());
  EXPECT_EQ(mapobjx_objects_cross(cut.get(), u.get()), 1);
  ObjPtr piece = Poly(MAPOBJ_POLYLINE, {{{0, 5}, {0, 25}}});
  mapobj_update_mbr(piece.get());
  EXPECT_EQ(mapobjx_object_on_object(piece.get(), u.get()), 1);
  EXPECT_EQ(mapobjx_object_on_object(cut.get(), u.get()), 0);
}

TEST(objgeo_tests, QuadsAndMidpoints) {
  IntPoint p[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  IntPoint q[4] = {{5, 5}, {15, 5}, {15, 15}, {5, 15}};
  IntPoint far[4] = {{20, 20}, {30, 20}, {30, 30}, {20, 30}};
  IntPoint in[4] = {{2, 2}, {3, 2}, {3, 3}, {2, 3}};
  EXPECT_EQ(quads_overlap(p, q, 0), 1);
  EXPECT_EQ(quads_overlap(p, far, 0), 0);
  EXPECT_EQ(quads_overlap(p, in, 0), 1);
  EXPECT_EQ(quad_edges_intersect(p, in, 4), 0);
  IntPoint edge{10, 5};
  EXPECT_EQ(quad_contains_point(&edge, p, 4), 1);
  IntPoint m;
  IntPoint big{2000000000, 2000000000}, big2{2000000000, 2000000000};
  mapobjx_point_midpoint(&big, &big2, &m);
  EXPECT_EQ(m, big);
  IntPoint lo{-3, 4}, hi{4, -3};
  mapobjx_point_midpoint(&lo, &hi, &m);
  EXPECT_EQ(m, (IntPoint{0, 0}));
}

}  // namespace
