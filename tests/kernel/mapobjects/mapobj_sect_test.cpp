// Sections and nodes: closing nodes of rings, wrapped ranges, group counts,
// limits and the reorder that leaves the object alone without room.
#include <cmath>
#include <cstring>

#include "kernel/mapobjects/mapobj_fixture.h"

namespace {

using mapobj_sections = MapObjTest;

const Ring kSquare = {{0, 0}, {0, 10}, {10, 10}, {10, 0}};

TEST_F(mapobj_sections, RingsStayClosedThroughInsertions) {
  ObjPtr region = New(MAPOBJ_REGION);
  ASSERT_EQ(mapobjx_add_section(region.get(), 0, nullptr), 1);
  IntPoint a = {5, 5};
  ASSERT_EQ(mapobjx_insert_nodes(region.get(), 0, 0, &a, 1, nullptr, nullptr), 1);
  EXPECT_EQ(Nodes(region.get(), 0), (Ring{{5, 5}, {5, 5}}));
  EXPECT_EQ(region->u.poly.size, 28 + 16);

  IntPoint b = {9, 9};
  ASSERT_EQ(mapobjx_insert_nodes(region.get(), 0, 2, &b, 1, nullptr, nullptr), 1);
  EXPECT_EQ(Nodes(region.get(), 0), (Ring{{5, 5}, {9, 9}, {5, 5}}));

  IntPoint c = {1, 1};
  ASSERT_EQ(mapobjx_insert_nodes(region.get(), 0, 0, &c, 1, nullptr, nullptr), 1);
  EXPECT_EQ(Nodes(region.get(), 0), (Ring{{1, 1}, {5, 5}, {9, 9}, {1, 1}}));
  EXPECT_EQ(region->u.poly.size, 28 + 32);
}

TEST_F(mapobj_sections, InsertionsIntoEarlierSectionsMoveLaterRuns) {
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{1, 1}, {2, 2}}, {{3, 3}, {4, 4}}});
  IntPoint p = {9, 9};
  ASSERT_EQ(mapobjx_insert_nodes(line.get(), 0, 1, &p, 1, nullptr, nullptr), 1);
  EXPECT_EQ(Nodes(line.get(), 0), (Ring{{1, 1}, {9, 9}, {2, 2}}));
  EXPECT_EQ(Nodes(line.get(), 1), (Ring{{3, 3}, {4, 4}}));
  ASSERT_EQ(mapobjx_delete_section(line.get(), 0), 1);
  EXPECT_EQ(line->u.poly.sections, 1);
  EXPECT_EQ(line->u.poly.size, 28 + 16);
  EXPECT_EQ(Nodes(line.get(), 0), (Ring{{3, 3}, {4, 4}}));
}

TEST_F(mapobj_sections, DeletingThroughTheClosingPositionDropsTheFirstNode) {
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare});
  MapSection* h = mapobj_lock_sections(region.get(), 0);
  ASSERT_EQ(mapobjx_delete_nodes(region.get(), &h, 0, 3, 2, 0), 1);
  EXPECT_EQ(Nodes(region.get(), 0), (Ring{{0, 10}, {10, 10}, {0, 10}}));
  EXPECT_EQ(region->u.poly.size, 28 + 24);

  ObjPtr small = Poly(MAPOBJ_REGION, {kSquare, {{50, 50}, {50, 60}, {60, 60}}});
  h = mapobj_lock_sections(small.get(), 0);
  ASSERT_EQ(mapobjx_delete_nodes(small.get(), &h, 0, 0, 2, 1), 1);
  EXPECT_EQ(small->u.poly.sections, 1);
  EXPECT_EQ(Nodes(small.get(), 0)[0], (IntPoint{50, 50}));

  h = mapobj_lock_sections(small.get(), 0);
  EXPECT_EQ(mapobjx_delete_nodes(small.get(), &h, 0, 4, 1, 0), -1);
  EXPECT_EQ(mapobjx_delete_nodes(small.get(), &h, 0, 0, 5, 0), -1);
  MapSection* none = nullptr;
  EXPECT_EQ(mapobjx_delete_nodes(small.get(), &none, 0, 0, 1, 0), -3);
}

TEST_F(mapobj_sections, WrappedReadsSkipTheRepeatedFirstNode) {
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare});
  ASSERT_EQ(mapobjx_set_zm(region.get(), 1, 1), 1);
  for (int i = 0; i < 5; ++i) region->z[i] = 100 + i, region->m[i] = 200 + i;
  region->z[4] = 100, region->m[4] = 200;  // the closing node's values repeat node 0's
  IntPoint out[3];
  double z[3], m[3];
  ASSERT_EQ(mapobjx_get_nodes_any(region.get(), 0, 3, out, 3, z, m), 1);
  EXPECT_EQ(out[0], kSquare[3]);
  EXPECT_EQ(out[1], kSquare[1]);
  EXPECT_EQ(out[2], kSquare[2]);
  EXPECT_EQ(z[0], 103);
  EXPECT_EQ(z[1], 101);
  EXPECT_EQ(m[2], 202);
  EXPECT_EQ(mapobjx_get_nodes_any(region.get(), 0, 4, out, 1, z, m), 0);
  EXPECT_EQ(mapobjx_get_nodes_any(region.get(), 0, 0, out, 5, z, m), 0);

  IntPoint moved[2] = {{-1, -1}, {-2, -2}};
  ASSERT_EQ(mapobjx_replace_nodes_any(region.get(), 0, 3, moved, 2), 1);
  EXPECT_EQ(Nodes(region.get(), 0), (Ring{{0, 0}, {-2, -2}, {10, 10}, {-1, -1}, {0, 0}}));
  ASSERT_EQ(mapobjx_replace_nodes_any(region.get(), 0, 0, moved, 1), 1);
  EXPECT_EQ(Nodes(region.get(), 0).back(), (IntPoint{-1, -1}));
}

TEST_F(mapobj_sections, DeletingAHoleLowersOnlyItsPolygonsHead) {
  Ring ring = {{0, 0}, {0, 1}, {1, 1}};
  ObjPtr region = Poly(MAPOBJ_REGION, {ring, ring, ring, ring, ring}, {1, 0, 2, 0, 0});
  ASSERT_EQ(mapobjx_delete_section(region.get(), 3), 1);
  MapSection* h = mapobj_lock_sections(region.get(), 0);
  EXPECT_EQ(h[0].holes, 1);
  EXPECT_EQ(h[2].holes, 1);
  EXPECT_EQ(region->u.poly.sections, 4);
  EXPECT_EQ(region->u.poly.size, 28 * 4 + 8 * 16);
}

TEST_F(mapobj_sections, SectionLimitFailsBeforeAllocating) {
  for (int type : {MAPOBJ_POLYLINE, MAPOBJ_REGION}) {
    err_clear();
    ObjPtr obj = New(type);
    void* nodes = obj->nodes;
    size_t before = mem_size(nodes);
    // A request the allocator would refuse shows that nothing was asked for.
    mem_test_fail_nth(1);
    EXPECT_EQ(mapobjx_append_sections(obj.get(), 24403224, 0, 0, nullptr), 0);
    mem_test_fail_nth(0);
    EXPECT_EQ(err_first_code(), type == MAPOBJ_POLYLINE ? kErrPolylineTooLarge : kErrRegionTooLarge);
    EXPECT_EQ(err_count(), 1);
    EXPECT_EQ(obj->nodes, nodes);
    EXPECT_EQ(mem_size(obj->nodes), before);
    EXPECT_EQ(obj->u.poly.sections, 0);
  }
}

TEST_F(mapobj_sections, TheLargestSectionCountFitsInOneCall) {
  ObjPtr region = New(MAPOBJ_REGION);
  ASSERT_EQ(mapobjx_append_sections(region.get(), kMapMaxSections, 0, 0, nullptr), 1);
  EXPECT_EQ(region->u.poly.sections, kMapMaxSections);
  EXPECT_EQ(region->u.poly.size, 28 * kMapMaxSections);
  err_clear();
  EXPECT_EQ(mapobjx_add_section(region.get(), 0, nullptr), 0);
  EXPECT_EQ(err_first_code(), kErrRegionTooLarge);
}

TEST_F(mapobj_sections, ReorderWithoutRoomChangesNothing) {
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare, {{20, 20}, {20, 30}, {30, 30}}});
  IntPoint extra = {5, 1};
  ASSERT_EQ(mapobjx_insert_nodes(region.get(), 0, 1, &extra, 1, nullptr, nullptr), 1);
  ASSERT_EQ(mapobjx_delete_section(region.get(), 1), 1);
  ASSERT_EQ(mapobjx_add_section(region.get(), 0, nullptr), 1);
  IntPoint tri[3] = {{40, 40}, {40, 50}, {50, 50}};
  ASSERT_EQ(mapobjx_insert_nodes(region.get(), 1, 0, tri, 3, nullptr, nullptr), 1);
  // Move section 0's run behind section 1's by growing and shrinking.
  MapSection* h = mapobj_lock_sections(region.get(), 0);
  std::swap(h[0], h[1]);
  ASSERT_EQ(mapobjx_sections_in_order(region.get()), 0);

  int32_t size = region->u.poly.size;
  std::vector<char> before(static_cast<const char*>(region->nodes), static_cast<const char*>(region->nodes) + size);
  mem_test_fail_nth(1);
  EXPECT_EQ(mapobjx_reorder_section_nodes(region.get(), h), 0);
  mem_test_fail_nth(0);
  EXPECT_EQ(std::memcmp(before.data(), region->nodes, static_cast<size_t>(size)), 0);

  ASSERT_EQ(mapobjx_reorder_section_nodes(region.get(), h), 1);
  EXPECT_EQ(mapobjx_sections_in_order(region.get()), 1);
  EXPECT_EQ(Nodes(region.get(), 0), (Ring{{40, 40}, {40, 50}, {50, 50}, {40, 40}}));
  EXPECT_EQ(Nodes(region.get(), 1), (Ring{{0, 0}, {5, 1}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}));
}

TEST_F(mapobj_sections, LockedBuffersRefuseGrowth) {
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{1, 1}, {2, 2}}});
  line->flags |= MAPOBJ_LOCKED;
  int32_t size = line->u.poly.size;
  std::vector<IntPoint> more(100, IntPoint{3, 3});
  EXPECT_EQ(mapobjx_insert_nodes(line.get(), 0, 2, more.data(), 100, nullptr, nullptr), 0);
  EXPECT_EQ(line->u.poly.size, size);
  line->flags &= ~MAPOBJ_LOCKED;
}

TEST_F(mapobj_sections, MultipointDeletesKeepTheirValues) {
  ObjPtr mp = New(MAPOBJ_MULTIPOINT);
  ASSERT_EQ(mapobjx_set_zm(mp.get(), 0, 1), 1);
  IntPoint pts[4] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}};
  double m[4] = {10, 20, 30, 40};
  ASSERT_EQ(mapobjx_multipoint_add_nodes(mp.get(), 4, pts, nullptr, m), 1);
  ASSERT_EQ(mapobjx_multipoint_delete_nodes(mp.get(), 1, 2), 1);
  IntPoint out[2];
  double mo[2], zo[2];
  ASSERT_EQ(mapobjx_multipoint_get_nodes(mp.get(), 0, out, 2, zo, mo), 1);
  EXPECT_EQ(out[1], (IntPoint{4, 4}));
  EXPECT_EQ(mo[0], 10);
  EXPECT_EQ(mo[1], 40);
  EXPECT_TRUE(std::isnan(zo[0]));
  EXPECT_EQ(mapobjx_multipoint_delete_nodes(mp.get(), 1, 2), 0);
}

}  // namespace
