// Normalisation (ring order, holes, centres), bounds, and measures, with
// Planimeter's answers for rings on the sphere.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_fixture.h"
#include "kernel/mapobjects/objgeo_csv.h"
#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objgeom_test.h"
#include "kernel/mapobjects/objprop.h"

namespace {

Ring Square(int x, int y, int size) { return {{x, y}, {x, y + size}, {x + size, y + size}, {x + size, y}}; }

IntPoint Centre(MapObject* obj) {
  IntPoint c{-1, -1};
  mapobjx_get_property(obj, OBJPROP_CENTER, &c);
  return c;
}

using objgeo_norm = MapObjTest;

TEST_F(objgeo_norm, SmallRingThenLargeBecomesAHole) {
  ObjPtr r = Poly(MAPOBJ_REGION, {Square(40, 40, 10), Square(0, 0, 100)});
  EXPECT_EQ(mapobjx_normalize(r.get(), 0), 1);
  EXPECT_EQ(Nodes(r.get(), 0)[0], (IntPoint{0, 0}));
  MapSection* h = mapobj_lock_sections(r.get(), 0);
  EXPECT_EQ(h[0].holes, 1);
  EXPECT_EQ(h[1].holes, 0);
  // The centre stays out of the hole.
  IntPoint c = Centre(r.get());
  EXPECT_EQ(mapobjx_point_in_region(&c, r.get()), 1);
}

TEST_F(objgeo_norm, IslandIsAPolygonOfItsOwn) {
  ObjPtr r = Poly(MAPOBJ_REGION, {Square(45, 45, 10), Square(20, 20, 60), Square(0, 0, 100)});
  mapobjx_normalize(r.get(), 1);
  MapSection* h = mapobj_lock_sections(r.get(), 0);
  ASSERT_EQ(r->u.poly.sections, 3);
  EXPECT_EQ(Nodes(r.get(), 0)[0], (IntPoint{0, 0}));
  EXPECT_EQ(Nodes(r.get(), 1)[0], (IntPoint{20, 20}));
  EXPECT_EQ(Nodes(r.get(), 2)[0], (IntPoint{45, 45}));
  EXPECT_EQ(h[0].holes, 1);
  EXPECT_EQ(h[2].holes, 0);
  // Side by side rings: two polygons, largest first.
  ObjPtr two = Poly(MAPOBJ_REGION, {Square(0, 0, 10), Square(50, 0, 20)});
  mapobjx_normalize(two.get(), 1);
  h = mapobj_lock_sections(two.get(), 0);
  EXPECT_EQ(Nodes(two.get(), 0)[0], (IntPoint{50, 0}));
  EXPECT_EQ(h[0].holes, 0);
  EXPECT_EQ(h[1].holes, 0);
}

TEST_F(objgeo_norm, NormalisingTwiceChangesNothing) {
  ObjPtr r = Poly(MAPOBJ_REGION, {Square(2, 2, 3), Square(0, 0, 100), Square(200, 0, 40), Square(10, 10, 50),
                                  Square(20, 20, 5), Square(210, 10, 10)});
  mapobjx_normalize(r.get(), 1);
  std::vector<Ring> first;
  std::vector<int> holes;
  MapSection* h = mapobj_lock_sections(r.get(), 0);
  for (int s = 0; s < r->u.poly.sections; ++s) {
    first.push_back(Nodes(r.get(), s));
    holes.push_back(h[s].holes);
  }
  EXPECT_EQ(holes, (std::vector<int>{2, 0, 0, 1, 0, 0}));
  // Areas 10000, 2500, 1600, 100, 25, 9: the same rings and holes again.
  mapobjx_normalize(r.get(), 1);
  h = mapobj_lock_sections(r.get(), 0);
  for (int s = 0; s < r->u.poly.sections; ++s) {
    EXPECT_EQ(Nodes(r.get(), s), first[s]);
    EXPECT_EQ(h[s].holes, holes[s]);
  }
}

// Nesting as its steps read, ring by ring over all later rings: the
// reference the nesting of random regions is held to.
std::vector<std::pair<IntPoint, int>> NestByTheSteps(MapObject* obj) {
  MapSection* h = mapobj_lock_sections(obj, 0);
  int32_t count = obj->u.poly.sections;
  for (int32_t s = 0; s < count; ++s) h[s].holes = 0;
  for (int32_t k = 0; k < count - 1;) {
    for (int32_t j = k + 1; j < count; ++j) {
      if (!mapobjx_ring_inside_ring(h, j, k)) continue;
      bool island = false;
      for (int32_t hole = k + 1; hole <= k + h[k].holes; ++hole)
        island = island || mapobjx_ring_inside_ring(h, j, hole);
      if (island) continue;
      h[k].holes += 1;
      MapSection moved = h[j];
      for (int32_t i = j; i > k + h[k].holes; --i) h[i] = h[i - 1];
      h[k + h[k].holes] = moved;
    }
    k += 1 + h[k].holes;
  }
  std::vector<std::pair<IntPoint, int>> out;
  for (int32_t s = 0; s < count; ++s) out.push_back({mapobj_section_nodes(h, s)[0], h[s].holes});
  return out;
}

std::vector<std::pair<IntPoint, int>> Nested(MapObject* obj) {
  mapobjx_nest_rings(obj);
  MapSection* h = mapobj_lock_sections(obj, 0);
  std::vector<std::pair<IntPoint, int>> out;
  for (int32_t s = 0; s < obj->u.poly.sections; ++s) out.push_back({mapobj_section_nodes(h, s)[0], h[s].holes});
  return out;
}

TEST_F(objgeo_norm, NestingFollowsItsStepsWithAndWithoutItsIndex) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 60; ++round) {
    std::vector<Ring> rings;
    int n = 2 + static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i) {
      int x = static_cast<int>(rng() % 200), y = static_cast<int>(rng() % 200);
      int size = 1 + static_cast<int>(rng() % (round % 2 ? 200 : 40));
      if (rng() % 3) rings.push_back(Square(x, y, size));
      else rings.push_back({{x, y}, {x + size, y + size / 2}, {x, y + size}});  // a triangle
    }
    ObjPtr want = Poly(MAPOBJ_REGION, rings);
    ObjPtr got = Poly(MAPOBJ_REGION, rings);
    ObjPtr plain = Poly(MAPOBJ_REGION, rings);
    for (MapObject* o : {want.get(), got.get(), plain.get()}) mapobj_update_mbr(o);
    auto expect = NestByTheSteps(want.get());
    EXPECT_EQ(Nested(got.get()), expect) << "round " << round;
    mem_test_fail_nth(1);  // no room for the index: the plain scan
    auto fallback = Nested(plain.get());
    mem_test_fail_nth(0);
    EXPECT_EQ(fallback, expect) << "round " << round;
  }
}

// The sort's passes as they read: each pass swaps the first ring of the
// largest positive area among the rest into place. Equal areas and flat
// rings included; with and without room for the sort's helpers.
TEST_F(objgeo_norm, RingSortFollowsItsPasses) {
  std::mt19937 rng(777);
  for (int round = 0; round < 40; ++round) {
    int n = 2 + static_cast<int>(rng() % 60);
    std::vector<Ring> rings;
    std::vector<double> area;
    for (int i = 0; i < n; ++i) {
      int size = static_cast<int>(rng() % 6);  // 0: a flat ring
      int x = i * 10;
      rings.push_back(size ? Square(x, 0, size) : Ring{{x, 0}, {x + 3, 0}, {x + 5, 0}});
      area.push_back(static_cast<double>(size) * size);
    }
    std::vector<IntPoint> want;
    for (const Ring& r : rings) want.push_back(r[0]);
    for (int k = 0; k + 1 < n; ++k) {
      int best = -1;
      double top = 0;
      for (int s2 = k; s2 < n; ++s2)
        if (area[s2] > top) top = area[s2], best = s2;
      if (best > k) std::swap(area[k], area[best]), std::swap(want[k], want[best]);
    }
    for (int fail : {0, 1, 2}) {
      ObjPtr r = Poly(MAPOBJ_REGION, rings);
      mem_test_fail_nth(fail);
      mapobjx_sort_sections(r.get(), 0);
      mem_test_fail_nth(0);
      err_clear();
      MapSection* h = mapobj_lock_sections(r.get(), 0);
      std::vector<IntPoint> got;
      for (int s2 = 0; s2 < n; ++s2) got.push_back(mapobj_section_nodes(h, s2)[0]);
      EXPECT_EQ(got, want) << "round " << round << " failing allocation " << fail;
    }
  }
}

TEST_F(objgeo_norm, Centres) {
  ObjPtr u = Poly(MAPOBJ_REGION, {{{0, 0}, {0, 30}, {10, 30}, {10, 10}, {20, 10}, {20, 30}, {30, 30}, {30, 0}}});
  mapobjx_normalize(u.get(), 1);
  // The box centre (15, 15) lies in the notch; crossings of y = 15 at 0, 10,
  // 20, 30: x = (0 + 10) / 2.
  EXPECT_EQ(Centre(u.get()), (IntPoint{5, 15}));
  ObjPtr four = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {10, 0}, {20, 10}, {30, 10}}});
  mapobjx_normalize(four.get(), 0);
  EXPECT_EQ(Centre(four.get()), (IntPoint{15, 5}));
  ObjPtr five = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {10, 0}, {20, 10}, {30, 10}, {40, 0}}});
  mapobjx_normalize(five.get(), 0);
  EXPECT_EQ(Centre(five.get()), (IntPoint{20, 10}));
  ObjPtr mp = New(MAPOBJ_MULTIPOINT);
  IntPoint pts[3] = {{0, 0}, {10, 0}, {4, 1}};
  ASSERT_EQ(mapobjx_multipoint_add_nodes(mp.get(), 3, pts, nullptr, nullptr), 1);
  EXPECT_EQ(mapobjx_normalize(mp.get(), 0), 1);
  EXPECT_EQ(Centre(mp.get()), (IntPoint{4, 1}));
  EXPECT_EQ(mp->mbr.x2, 10);
  EXPECT_EQ(mp->mbr.y2, 1);
  // The longest polyline section comes first.
  ObjPtr pl = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {1, 0}}, {{0, 5}, {100, 5}}, {{0, 9}, {50, 9}}});
  EXPECT_EQ(mapobjx_normalize(pl.get(), 0), 1);
  EXPECT_EQ(Nodes(pl.get(), 0)[1], (IntPoint{100, 5}));
}

TEST_F(objgeo_norm, EmptyCollectionBounds) {
  ObjPtr c = New(MAPOBJ_COLLECTION);
  rect_set(&c->mbr, 1, 2, 3, 4);
  EXPECT_EQ(mapobjx_normalize(c.get(), 0), 1);
  EXPECT_EQ(c->mbr.x1, 0);
  EXPECT_EQ(c->mbr.y1, 0);
  EXPECT_EQ(c->mbr.x2, 0);
  EXPECT_EQ(c->mbr.y2, 0);
}

TEST_F(objgeo_norm, ScanlineCrossings) {
  struct Case {
    int32_t y;
    IntPoint a, b;
    int16_t crosses;
    int32_t x;
  } cases[] = {
      {5, {0, 0}, {10, 10}, 1, 5}, {10, {0, 0}, {10, 10}, 1, 10}, {0, {0, 0}, {10, 10}, 0, 0},
      {5, {0, 5}, {10, 5}, 0, 0},  {3, {0, 0}, {10, 9}, 1, 3},    {5, {10, 10}, {0, 0}, 1, 5},
  };
  for (const Case& c : cases) {
    int32_t x = -1;
    EXPECT_EQ(mapobjx_scanline_crossing(c.y, &c.a, &c.b, &x), c.crosses) << c.a << c.b << c.y;
    if (c.crosses) {
      EXPECT_EQ(x, c.x);
    }
  }
}

TEST_F(objgeo_norm, PlanarMeasures) {
  const CoordXform* plain = mapobj_plain_xform();
  int16_t own = unit_area_unit(xform_units(plain));
  ObjPtr sq = Poly(MAPOBJ_REGION, {Square(0, 0, 1)});
  mapobjx_normalize(sq.get(), 0);
  int16_t planar = -1;
  EXPECT_DOUBLE_EQ(mapobj_region_area(sq.get(), plain, own, 1, &planar), 1);
  EXPECT_EQ(planar, 1);
  ObjPtr holed = Poly(MAPOBJ_REGION, {Square(0, 0, 10), Square(2, 2, 3)});
  mapobjx_normalize(holed.get(), 0);
  EXPECT_DOUBLE_EQ(mapobj_region_area(holed.get(), plain, own, 1, nullptr), 91);
  int16_t lin = xform_units(plain);
  EXPECT_DOUBLE_EQ(mapobj_perimeter(holed.get(), plain, lin, 1), 52);
  ObjPtr pl = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {3, 4}, {3, 4}, {3, 10}}});
  EXPECT_DOUBLE_EQ(mapobj_length(pl.get(), plain, lin, 1), 11);
  ObjPtr empty = New(MAPOBJ_REGION);
  EXPECT_EQ(mapobj_region_area(empty.get(), plain, own, 1, nullptr), 0);
}

TEST_F(objgeo_norm, SphereAreasAgreeWithPlanimeter) {
  auto rows = ReadCsv("proj/sphere_area.csv");
  ASSERT_GE(rows.size(), 20u);
  CoordSysDef def;
  coordsys_default_latlong(&def);
  CoordXform ll;
  xform_init_scaled(&ll, 1, &def, 10000, 10000, 0, 0);
  for (const auto& row : rows) {
    Ring ring;
    std::stringstream ps(row[0]);
    std::string pt;
    while (std::getline(ps, pt, ';')) {
      std::stringstream xy(pt);
      double lon, lat;
      xy >> lon >> lat;
      ring.push_back(IntPoint{static_cast<int32_t>(std::lround(lon * 10000)),
                              static_cast<int32_t>(std::lround(lat * 10000))});
    }
    ObjPtr r = Poly(MAPOBJ_REGION, {ring});
    mapobjx_normalize(r.get(), 0);
    double expect = std::stod(row[1]);
    int16_t planar = -1;
    double got = mapobj_region_area(r.get(), &ll, 21, 0, &planar);
    EXPECT_EQ(planar, 0);
    EXPECT_NEAR(got, expect, expect * 1e-9) << row[0];
  }
}

}  // namespace

namespace {

TEST_F(objgeo_norm, DegenerateAndEmptyInputs) {
  const CoordXform* plain = mapobj_plain_xform();
  // Empty objects: nothing to sort, measure or hold.
  ObjPtr empty = New(MAPOBJ_REGION);
  EXPECT_EQ(mapobjx_normalize(empty.get(), 1), 0);
  EXPECT_EQ(mapobj_region_area(empty.get(), plain, -1, 1, nullptr), 0);
  EXPECT_EQ(mapobj_perimeter(empty.get(), plain, -1, 1), 0);
  IntPoint o{0, 0};
  EXPECT_EQ(mapobjx_point_in_region(&o, empty.get()), 0);
  // A ring of one repeated point, a flat ring, and Z and M left null.
  ObjPtr flat = Poly(MAPOBJ_REGION, {{{5, 5}, {5, 5}, {5, 5}}, {{0, 0}, {10, 0}, {20, 0}}});
  ASSERT_EQ(mapobjx_set_zm(flat.get(), 1, 1), 1);
  mapobjx_normalize(flat.get(), 1);
  EXPECT_EQ(mapobj_region_area(flat.get(), plain, -1, 1, nullptr), 0);
  IntPoint on{10, 0};
  EXPECT_EQ(mapobjx_point_in_region(&on, flat.get()), 1);
  // A polyline of one node: its centre is that node.
  ObjPtr one = Poly(MAPOBJ_POLYLINE, {{{7, 8}}});
  mapobjx_normalize(one.get(), 1);
  IntPoint c = Centre(one.get());
  EXPECT_EQ(c, (IntPoint{7, 8}));
  // Extreme coordinates: the centre of the integer space's whole square.
  ObjPtr big = Poly(MAPOBJ_REGION, {{{-1000000000, -1000000000}, {-1000000000, 1000000000},
                                     {1000000000, 1000000000}, {1000000000, -1000000000}}});
  mapobjx_normalize(big.get(), 1);
  EXPECT_EQ(Centre(big.get()), (IntPoint{0, 0}));
  EXPECT_DOUBLE_EQ(mapobj_region_area(big.get(), plain, -1, 1, nullptr), 4e18);
}

TEST_F(objgeo_norm, ArcNodesWithoutRoomReport632) {
  ObjPtr e = New(MAPOBJ_ELLIPSE);
  rect_set(&e->mbr, 0, 0, 0, 100);  // zero width
  IntPoint* p = nullptr;
  mem_test_fail_nth(1);
  EXPECT_EQ(mapobj_arc_points(e.get(), 100, &p, nullptr), 0);
  mem_test_fail_nth(0);
  EXPECT_EQ(p, nullptr);
  ASSERT_GT(err_count(), 0);
  EXPECT_EQ(g_err_stack->entries[0].code, 632);
  err_clear();
  ASSERT_EQ(mapobj_arc_points(e.get(), 100, &p, nullptr), 102);
  for (int i = 0; i < 102; ++i) EXPECT_EQ(p[i].x, 0);
  mem_free(&p);
}

}  // namespace
