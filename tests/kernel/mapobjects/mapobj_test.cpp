// Map object records: defaults, storage classes, curve resolution, copies,
// the work buffer, text strings and objects held in values.
#include <cstring>

#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/valconv.h"
#include "kernel/mapobjects/mapobj_fixture.h"

namespace {

using mapobj_model = MapObjTest;

TEST_F(mapobj_model, InitGivesDefaultPenAndBrushAndNoNodes) {
  MapObject obj;
  std::memset(&obj, 0xAB, sizeof obj);
  mapobj_init(&obj, MAPOBJ_RECT);
  EXPECT_EQ(obj.type, MAPOBJ_RECT);
  EXPECT_EQ(obj.pen.width, 1);
  EXPECT_EQ(obj.pen.pattern, 2);
  EXPECT_EQ(obj.pen.third, 0);
  EXPECT_EQ(obj.pen.colour, 0u);
  EXPECT_EQ(obj.brush.pattern, 2);
  EXPECT_EQ(obj.brush.fore, 0xFFFFFFu);
  EXPECT_EQ(obj.brush.back, 0xFFFFFFu);
  EXPECT_EQ(obj.brush.transparent, 0);
  EXPECT_EQ(obj.nodes, nullptr);
  EXPECT_EQ(obj.z, nullptr);
}

// A region of s sections whose node-data size less 4 bytes per section is
// `stored` bytes.
ObjPtr RegionOfSize(int32_t sections, int64_t stored) {
  ObjPtr obj = MapObjTest::New(MAPOBJ_REGION);
  EXPECT_EQ(mapobjx_append_sections(obj.get(), sections, 0, 0, nullptr), 1);
  int64_t nodes = (stored - 24LL * sections) / 8;
  std::vector<IntPoint> pts(static_cast<size_t>(nodes - 1), IntPoint{1, 1});
  EXPECT_EQ(mapobjx_insert_nodes(obj.get(), 0, 0, pts.data(), static_cast<int32_t>(pts.size()), nullptr, nullptr), 1);
  EXPECT_EQ(obj->u.poly.size - 4LL * sections, stored);
  return obj;
}

TEST_F(mapobj_model, StorageClassFollowsSizeSectionsAndZ) {
  int16_t cls = 0;
  ObjPtr classic = RegionOfSize(2730, 262136);
  EXPECT_EQ(mapobj_storage_class(classic.get(), &cls, 0), 262136);
  EXPECT_EQ(cls, MAPOBJ_CLASS_CLASSIC);

  ObjPtr large = RegionOfSize(2731, 262136);
  mapobj_storage_class(large.get(), &cls, 0);
  EXPECT_EQ(cls, MAPOBJ_CLASS_LARGE);

  ObjPtr extended = RegionOfSize(32768, 24LL * 32768 + 16);
  mapobj_storage_class(extended.get(), &cls, 0);
  EXPECT_EQ(cls, MAPOBJ_CLASS_EXTENDED);

  ASSERT_EQ(mapobjx_set_zm(classic.get(), 1, 0), 1);
  mapobj_storage_class(classic.get(), &cls, 0);
  EXPECT_EQ(cls, MAPOBJ_CLASS_EXTENDED);
  mapobj_storage_class(classic.get(), &cls, 1);
  EXPECT_EQ(cls, MAPOBJ_CLASS_CLASSIC);

  ObjPtr points = New(MAPOBJ_MULTIPOINT);
  std::vector<IntPoint> many(1048576, IntPoint{3, 4});
  ASSERT_EQ(mapobjx_multipoint_add_nodes(points.get(), 1048576, many.data(), nullptr, nullptr), 1);
  EXPECT_EQ(mapobj_storage_class(points.get(), &cls, 0), 0x800000);
  EXPECT_EQ(cls, MAPOBJ_CLASS_EXTENDED);
  ASSERT_EQ(mapobjx_multipoint_delete_nodes(points.get(), 0, 1), 1);
  mapobj_storage_class(points.get(), &cls, 0);
  EXPECT_EQ(cls, MAPOBJ_CLASS_LARGE);
}

TEST_F(mapobj_model, ResolutionOutsideItsRangeFailsWith869AndBothBounds) {
  const struct {
    int32_t n;
    int16_t ok;
  } cases[] = {{1, 0}, {134217723, 0}, {-5, 0}, {2, 1}, {134217722, 1}};
  for (const auto& c : cases) {
    err_clear();
    mapobj_state_reset();
    EXPECT_EQ(mapobj_set_resolution(c.n), c.ok) << c.n;
    if (c.ok) {
      EXPECT_EQ(mapobj_get_resolution(), c.n);
      continue;
    }
    EXPECT_EQ(mapobj_get_resolution(), 100);
    EXPECT_EQ(err_first_code(), kErrMapResolution);
    EXPECT_EQ(Arg(0, 1), "2");
    EXPECT_EQ(Arg(0, 2), "134217722");
  }
}

TEST_F(mapobj_model, CopiesOfShapesHaveNoBuffers) {
  for (int type : {MAPOBJ_POINT, MAPOBJ_LINE, MAPOBJ_ARC, MAPOBJ_RECT, MAPOBJ_ELLIPSE, MAPOBJ_FRAME}) {
    MapObject src;
    mapobj_init(&src, type);
    rect_set(&src.mbr, 1, 2, 3, 4);
    MapObject dst;
    EXPECT_EQ(mapobj_copy(&src, &dst), 1) << type;
    EXPECT_EQ(dst.nodes, nullptr);
    EXPECT_EQ(dst.mbr.x2, 3);
    mapobj_free(&dst);
  }
}

TEST_F(mapobj_model, CollectionCopyIsDeepAndOutlivesTheSource) {
  ObjPtr coll = New(MAPOBJ_COLLECTION);
  ObjPtr region = Poly(MAPOBJ_REGION, {{{0, 0}, {0, 10}, {10, 10}, {10, 0}}});
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {5, 5}}});
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), region.get(), 0), 1);
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), line.get(), 0), 1);
  ObjPtr copy(mapobj_dup(coll.get()));
  ASSERT_TRUE(copy);
  ASSERT_NE(copy->u.collection.region, nullptr);
  EXPECT_NE(copy->u.collection.region, coll->u.collection.region);
  EXPECT_NE(copy->u.collection.region->nodes, coll->u.collection.region->nodes);
  EXPECT_EQ(copy->u.collection.multipoint, nullptr);
  copy.reset();
  EXPECT_EQ(Nodes(coll->u.collection.region, 0).size(), 5u);
}

TEST_F(mapobj_model, WorkBufferSurvivesFreeingAndFollowsGrowth) {
  void* before = mapobj_work_buffer;
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_NONE);
  ASSERT_EQ(mapobj_reset_type(&obj, MAPOBJ_REGION, 1), 1);
  EXPECT_EQ(obj.nodes, before);
  std::vector<IntPoint> ring(10000, IntPoint{7, 7});
  ASSERT_EQ(mapobjx_insert_nodes(&obj, 0, 0, ring.data(), 10000, nullptr, nullptr), 1);
  EXPECT_EQ(obj.nodes, mapobj_work_buffer);
  EXPECT_GE(mem_size(mapobj_work_buffer), 28u + 8u * 10001u);
  mapobj_free(&obj);
  ASSERT_NE(mapobj_work_buffer, nullptr);
  EXPECT_EQ(static_cast<const MapSection*>(mapobj_work_buffer)[0].node_count, 10001);
}

TEST_F(mapobj_model, TextStringsCountLinesAndRefuseOverlongTexts) {
  ObjPtr text = New(MAPOBJ_TEXT);
  ASSERT_EQ(objtext_set_string(text.get(), "a\nb"), 1);
  char* copy = nullptr;
  int16_t multi = 0;
  ASSERT_EQ(objtext_copy_string(text.get(), &copy, &multi), 1);
  EXPECT_STREQ(copy, "a\nb");
  EXPECT_EQ(multi, 1);
  mem_free(&copy);

  std::string longest(32767, 'q');
  EXPECT_EQ(objtext_set_string(text.get(), longest.c_str()), 1);
  EXPECT_EQ(text->u.text.length, 32767);
  err_clear();
  std::string over(32768, 'q');
  void* nodes = text->nodes;
  EXPECT_EQ(objtext_set_string(text.get(), over.c_str()), 0);
  EXPECT_EQ(err_first_code(), kErrStyleRange);
  EXPECT_EQ(text->nodes, nodes);
  EXPECT_EQ(text->u.text.length, 32767);

  text->flags |= MAPOBJ_LOCKED;
  EXPECT_EQ(objtext_set_string(text.get(), "x"), 0);
  text->flags &= ~MAPOBJ_LOCKED;
}

TEST_F(mapobj_model, ValueHoldsADeepCopyOfACollection) {
  ObjPtr coll = New(MAPOBJ_COLLECTION);
  ObjPtr region = Poly(MAPOBJ_REGION, {{{0, 0}, {0, 10}, {10, 10}, {10, 0}}, {{20, 20}, {20, 30}, {30, 30}}});
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {5, 5}, {6, 9}}});
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), region.get(), 0), 1);
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), line.get(), 0), 1);
  Value v;
  ASSERT_EQ(value_set_object(coll.get(), 0, &v), 1);
  coll.reset();
  region.reset();
  // 2 + 1 sections, 9 + 3 nodes.
  EXPECT_EQ(value_alloc_size(&v), 240 + 28 * 3 + 8 * 12);
  MapObject* held = v.u.object.obj;
  EXPECT_EQ(Nodes(held->u.collection.region, 1).size(), 4u);
  EXPECT_EQ(Nodes(held->u.collection.polyline, 0)[2], (IntPoint{6, 9}));
  value_free(&v);

  ObjPtr plain = Poly(MAPOBJ_REGION, {{{0, 0}, {0, 10}, {10, 10}}});
  ASSERT_EQ(value_set_object(plain.get(), 0, &v), 1);
  char text[64];
  EXPECT_STREQ(value_to_text(&v, text, sizeof text, 0, 0), "Region");
  value_free(&v);
}

TEST_F(mapobj_model, ObjectValuesFailWithoutTheRuntime) {
  mapobj_runtime_end();
  value_set_object_ops(nullptr);
  ObjPtr region = Poly(MAPOBJ_REGION, {{{0, 0}, {0, 10}, {10, 10}}});
  Value v;
  EXPECT_EQ(value_set_object(region.get(), 0, &v), 0);
  EXPECT_EQ(err_first_code(), 854);
  ASSERT_EQ(mapobj_runtime_start(), 1);
}

}  // namespace

namespace {

TEST_F(mapobj_model, DebugBuildsCatchASecondObjectOnTheWorkBuffer) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  MapObject first, second;
  mapobj_init(&first, MAPOBJ_NONE);
  mapobj_init(&second, MAPOBJ_NONE);
  ASSERT_EQ(mapobj_reset_type(&first, MAPOBJ_TEXT, 1), 1);
  EXPECT_DEBUG_DEATH(mapobj_reset_type(&second, MAPOBJ_TEXT, 1), "second object on the work buffer");
  mapobj_init(&second, MAPOBJ_NONE);
  mapobj_free(&first);
  // Once the first is freed the buffer is free for another.
  EXPECT_EQ(mapobj_reset_type(&second, MAPOBJ_REGION, 1), 1);
  EXPECT_EQ(second.nodes, mapobj_work_buffer);
  mapobj_free(&second);
  EXPECT_NE(mapobj_work_buffer, nullptr);
}

}  // namespace
