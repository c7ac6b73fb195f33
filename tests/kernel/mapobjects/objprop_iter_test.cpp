// Properties, collection parts, node addressing, iteration, conversion and
// explosion into pieces.
#include <cstring>

#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/mapobjects/mapobj_fixture.h"

namespace {

using mapobj_props = MapObjTest;

const Ring kSquare = {{0, 0}, {0, 10}, {10, 10}, {10, 0}};

int32_t Int(MapObject* obj, int32_t id) {
  int32_t v = -99;
  EXPECT_EQ(mapobjx_get_property(obj, id, &v), 1) << id;
  return v;
}

TEST_F(mapobj_props, NodeCountsOfARing) {
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare});
  EXPECT_EQ(Int(region.get(), OBJPROP_SECTION_NODES + 0), 4);
  EXPECT_EQ(Int(region.get(), OBJPROP_OPEN_NODE_COUNT), 4);
  EXPECT_EQ(Int(region.get(), OBJPROP_NODE_COUNT), 5);
  EXPECT_EQ(Int(region.get(), OBJPROP_SECTION_COUNT), 1);
  int32_t v = 0;
  EXPECT_EQ(mapobjx_get_property(region.get(), OBJPROP_SECTION_NODES + 1, &v), 0);
  int16_t smooth = 1;
  EXPECT_EQ(mapobjx_set_property(region.get(), OBJPROP_SMOOTH, &smooth), 0);
}

TEST_F(mapobj_props, PropertiesByTypeAndId) {
  ObjPtr point = New(MAPOBJ_POINT);
  PenStyle pen;
  EXPECT_EQ(mapobjx_get_property(point.get(), OBJPROP_PEN, &pen), 0);
  ObjPtr mp = New(MAPOBJ_MULTIPOINT);
  EXPECT_EQ(mapobjx_get_property(mp.get(), OBJPROP_PEN, &pen), 1);
  BrushStyle brush;
  EXPECT_EQ(mapobjx_get_property(mp.get(), OBJPROP_BRUSH, &brush), 0);

  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {1, 1}}});
  int16_t smooth = 3;
  ASSERT_EQ(mapobjx_set_property(line.get(), OBJPROP_SMOOTH, &smooth), 1);
  EXPECT_EQ(line->u.poly.line_flags, 1u);

  ObjPtr text = New(MAPOBJ_TEXT);
  int16_t spacing = 5, justify = 7, got = 0;
  ASSERT_EQ(mapobjx_set_property(text.get(), OBJPROP_TEXT_SPACING, &spacing), 1);
  ASSERT_EQ(mapobjx_get_property(text.get(), OBJPROP_TEXT_SPACING, &got), 1);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(mapobjx_set_property(text.get(), OBJPROP_TEXT_JUSTIFY, &justify), 1);
  ASSERT_EQ(mapobjx_get_property(text.get(), OBJPROP_TEXT_JUSTIFY, &got), 1);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(mapobjx_get_property(text.get(), 9999, &got), 0);
  EXPECT_EQ(mapobjx_get_property(text.get(), OBJPROP_SECTION_COUNT, &got), 0);
}

TEST_F(mapobj_props, TextStringReadRefusesAShortBuffer) {
  ObjPtr text = New(MAPOBJ_TEXT);
  ASSERT_EQ(mapobjx_set_property(text.get(), OBJPROP_TEXT_STRING, "hello"), 1);
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(mapobjx_get_property_sized(text.get(), OBJPROP_TEXT_STRING, buffer, 5), 0);
  for (char c : buffer) EXPECT_EQ(c, '#');
  ASSERT_EQ(mapobjx_get_property_sized(text.get(), OBJPROP_TEXT_STRING, buffer, 6), 1);
  EXPECT_STREQ(buffer, "hello");
}

TEST_F(mapobj_props, CollectionParts) {
  ObjPtr coll = New(MAPOBJ_COLLECTION);
  ObjPtr rect = New(MAPOBJ_RECT);
  rect_set(&rect->mbr, 0, 0, 20, 10);
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), rect.get(), 0), 1);
  MapObject* part = coll->u.collection.region;
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->type, MAPOBJ_REGION);
  EXPECT_EQ(Nodes(part, 0), (Ring{{0, 0}, {0, 10}, {20, 10}, {20, 0}, {0, 0}}));
  EXPECT_EQ(coll->mbr.x2, 20);

  ObjPtr first = Poly(MAPOBJ_POLYLINE, {{{1, 1}, {2, 2}}});
  ObjPtr second = Poly(MAPOBJ_POLYLINE, {{{7, 7}, {8, 8}, {9, 9}}});
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), first.get(), 0), 1);
  EXPECT_EQ(mapobjx_collection_set_part(coll.get(), second.get(), 0), 0);
  EXPECT_EQ(Nodes(coll->u.collection.polyline, 0), (Ring{{1, 1}, {2, 2}}));
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), second.get(), 1), 1);
  EXPECT_EQ(Nodes(coll->u.collection.polyline, 0).size(), 3u);

  int16_t mask = 0;
  mapobjx_collection_part_mask(coll.get(), &mask);
  EXPECT_EQ(mask, 3);
  ObjPtr point = New(MAPOBJ_POINT);
  IntPoint at = {3, 4};
  mapobjx_point_set(point.get(), &at, nullptr);
  point->u.point.symbol.shape = 40;
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), point.get(), 0), 1);
  ASSERT_NE(coll->u.collection.multipoint, nullptr);
  EXPECT_EQ(coll->u.collection.multipoint->u.multipoint.count, 1);
  EXPECT_EQ(coll->u.collection.multipoint->u.multipoint.symbol.shape, 40);
  ObjPtr frame = New(MAPOBJ_FRAME);
  EXPECT_EQ(mapobjx_collection_set_part(coll.get(), frame.get(), 1), 0);

  ObjPtr copy(mapobjx_collection_new_part_object(coll.get(), MAPOBJ_POLYLINE));
  ASSERT_TRUE(copy);
  EXPECT_EQ(Nodes(copy.get(), 0), (Ring{{7, 7}, {8, 8}, {9, 9}}));
}

TEST_F(mapobj_props, CollectionCentreIsTheRegionParts) {
  ObjPtr coll = New(MAPOBJ_COLLECTION);
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare});
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{1, 1}, {2, 2}}});
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), line.get(), 0), 1);
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), region.get(), 0), 1);
  IntPoint c = {6, 4};
  ASSERT_EQ(mapobjx_set_property(coll->u.collection.region, OBJPROP_CENTER, &c), 1);
  IntPoint got = {};
  ASSERT_EQ(mapobjx_get_property(coll.get(), OBJPROP_CENTER, &got), 1);
  EXPECT_EQ(got, c);
}

TEST_F(mapobj_props, NodeAddressingWrapsRingsAndClampsLines) {
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare});
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{1, 1}, {2, 2}, {3, 3}}});
  MapSection* rh = mapobj_lock_sections(region.get(), 0);
  MapSection* lh = mapobj_lock_sections(line.get(), 0);
  IntPoint p;
  ASSERT_EQ(mapobj_get_node(region.get(), rh, &p, 0, -1), 1);
  EXPECT_EQ(p, kSquare[3]);
  ASSERT_EQ(mapobj_get_node(region.get(), rh, &p, 0, 5), 1);
  EXPECT_EQ(p, kSquare[1]);
  ASSERT_EQ(mapobj_get_node(line.get(), lh, &p, 0, -1), 1);
  EXPECT_EQ(p, (IntPoint{1, 1}));
  ASSERT_EQ(mapobj_get_node(line.get(), lh, &p, 0, 99), 1);
  EXPECT_EQ(p, (IntPoint{3, 3}));
  EXPECT_EQ(mapobj_get_node(line.get(), lh, &p, 1, 0), 0);

  IntPoint moved = {-5, -5};
  ASSERT_EQ(mapobj_set_node(region.get(), rh, &moved, 0, 0), 1);
  EXPECT_EQ(Nodes(region.get(), 0).back(), moved);

  ObjPtr rect = New(MAPOBJ_RECT);
  rect_set(&rect->mbr, 0, 0, 4, 2);
  std::vector<IntPoint> walked;
  mapobj_for_each_point(
      rect.get(),
      [](const IntPoint* q, void* user) -> int16_t {
        static_cast<std::vector<IntPoint>*>(user)->push_back(*q);
        return 1;
      },
      &walked);
  ASSERT_EQ(walked.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(mapobj_get_node(rect.get(), nullptr, &p, 0, i), 1);
    EXPECT_EQ(p, walked[static_cast<size_t>(i)]) << i;
  }
  EXPECT_EQ(walked[1], (IntPoint{0, 2}));
}

TEST_F(mapobj_props, SegmentsSkipRepeatedNodes) {
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {1, 1}, {1, 1}, {2, 0}}});
  int count = 0;
  EXPECT_EQ(mapobj_for_each_segment(
                line.get(),
                [](const IntPoint*, const IntPoint*, void* user) -> int16_t {
                  ++*static_cast<int*>(user);
                  return 1;
                },
                &count),
            1);
  EXPECT_EQ(count, 2);
  ObjPtr empty = New(MAPOBJ_REGION);
  EXPECT_EQ(mapobj_for_each_segment(empty.get(), nullptr, nullptr), 0);
}

TEST_F(mapobj_props, RegionsAndPolylinesConvertBothWays) {
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare});
  ObjPtr line(mapobj_to_polyline_or_region(region.get(), 0));
  ASSERT_TRUE(line);
  EXPECT_EQ(line->type, MAPOBJ_POLYLINE);
  EXPECT_EQ(Nodes(line.get(), 0).size(), 5u);
  ObjPtr back(mapobj_to_polyline_or_region(line.get(), 1));
  ASSERT_TRUE(back);
  EXPECT_EQ(Nodes(back.get(), 0).size(), 5u);

  ObjPtr open = Poly(MAPOBJ_POLYLINE, {kSquare});
  ObjPtr closed(mapobj_to_polyline_or_region(open.get(), 1));
  ASSERT_TRUE(closed);
  EXPECT_EQ(Nodes(closed.get(), 0), (Ring{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}));

  ObjPtr rounded = New(MAPOBJ_ROUNDRECT);
  rect_set(&rounded->mbr, 0, 0, 8, 8);
  ObjPtr ring(mapobj_to_polyline_or_region(rounded.get(), 1));
  ASSERT_TRUE(ring);
  EXPECT_EQ(Nodes(ring.get(), 0).size(), 5u);
  ObjPtr text = New(MAPOBJ_TEXT);
  EXPECT_EQ(mapobj_to_polyline_or_region(text.get(), 1), nullptr);
}

TEST_F(mapobj_props, TwoPolygonsExplodeIntoTwoRegionsWithTheirHoles) {
  ObjPtr region = Poly(MAPOBJ_REGION,
                       {kSquare, {{2, 2}, {2, 4}, {4, 4}}, {{50, 50}, {50, 60}, {60, 60}, {60, 50}},
                        {{52, 52}, {52, 54}, {54, 54}}, {{56, 56}, {56, 58}, {58, 58}}},
                       {1, 0, 2, 0, 0});
  region->brush.fore = 0x00FF00;
  std::vector<ObjPtr> pieces;
  ASSERT_EQ(mapobj_explode(
                region.get(), 0,
                [](MapHandle piece, void* user) -> int16_t {
                  static_cast<std::vector<ObjPtr>*>(user)->emplace_back(piece);
                  return 1;
                },
                &pieces),
            1);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0]->u.poly.sections, 2);
  EXPECT_EQ(pieces[1]->u.poly.sections, 3);
  EXPECT_EQ(mapobj_lock_sections(pieces[1].get(), 0)[0].holes, 2);
  EXPECT_EQ(Nodes(pieces[1].get(), 2), (Ring{{56, 56}, {56, 58}, {58, 58}, {56, 56}}));
  EXPECT_EQ(pieces[1]->brush.fore, 0x00FF00u);

  pieces.clear();
  ASSERT_EQ(mapobj_explode(
                region.get(), 1,
                [](MapHandle piece, void* user) -> int16_t {
                  static_cast<std::vector<ObjPtr>*>(user)->emplace_back(piece);
                  return 1;
                },
                &pieces),
            1);
  EXPECT_EQ(pieces.size(), 5u);
}

}  // namespace

namespace {

TEST_F(mapobj_props, ArcsAndEllipsesJoinCollectionsAsNodes) {
  ObjPtr coll = New(MAPOBJ_COLLECTION);
  ObjPtr ellipse = New(MAPOBJ_ELLIPSE);
  rect_set(&ellipse->mbr, 0, 0, 100, 50);
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), ellipse.get(), 0), 1);
  ASSERT_NE(coll->u.collection.region, nullptr);
  // At the default resolution of 100 nodes per circle, closed.
  EXPECT_GT(Nodes(coll->u.collection.region, 0).size(), 100u);
  EXPECT_EQ(Nodes(coll->u.collection.region, 0).front(), Nodes(coll->u.collection.region, 0).back());
}

TEST_F(mapobj_props, ConvertedRegionsGetACentreInside) {
  Ring u = {{0, 0}, {0, 10}, {3, 10}, {3, 3}, {7, 3}, {7, 10}, {10, 10}, {10, 0}};
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {u});
  ObjPtr region(mapobj_to_polyline_or_region(line.get(), 1));
  ASSERT_TRUE(region);
  IntPoint c;
  mapobj_get_centroid(region.get(), &c);
  EXPECT_FALSE(c.x > 3 && c.x < 7 && c.y > 3) << c;  // not in the notch
}

}  // namespace

namespace {

TEST_F(mapobj_props, EditingRangesAreCheckedAndSplit) {
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare, {{20, 20}, {20, 30}, {30, 30}}});
  MapRange r;
  int16_t past = 0;
  const struct {
    int32_t section, start, end, options;
    int16_t result;
  } cases[] = {
      {1, 1, 4, 0, 0}, {2, 3, 1, 0, 0}, {3, 1, 1, 0, 2}, {0, 1, 1, 0, 2}, {1, 5, 5, 0, 3},
      {1, 0, 1, 0, 3}, {1, 2, 5, 0, 4}, {1, 2, 0, kMapRangeNeedEnd, 4}, {1, 2, 0, 0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(mapobj_check_range(region.get(), c.section, c.start, c.end, c.options, &r, &past), c.result)
        << c.section << " " << c.start << " " << c.end;
  ASSERT_EQ(mapobj_check_range(region.get(), 2, 3, 1, 0, &r, &past), 0);
  EXPECT_EQ(r.section, 1);
  EXPECT_EQ(r.start, 2);
  EXPECT_EQ(r.end, 0);
  ASSERT_EQ(mapobj_check_range(region.get(), 3, 1, 1, kMapRangePastLast, &r, &past), 0);
  EXPECT_EQ(past, 1);
  EXPECT_EQ(r.section, 2);

  MapRange runs[2];
  ASSERT_EQ(mapobj_range_split(3, 1, 4, runs), 2);
  EXPECT_EQ(runs[0].start, 3);
  EXPECT_EQ(runs[0].end, 3);
  EXPECT_EQ(runs[1].start, 0);
  EXPECT_EQ(runs[1].end, 1);
  EXPECT_EQ(mapobj_range_end(3, 3, 4, 1), 1);
  EXPECT_EQ(mapobj_range_end(1, 3, 4, 0), 3);

  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {1, 1}, {2, 2}}});
  EXPECT_EQ(mapobj_check_range(line.get(), 1, 3, 2, 0, &r, &past), 4);
}

}  // namespace

namespace {

TEST_F(mapobj_props, SmoothedPolylinesStepThroughMidpoints) {
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {10, 0}, {10, 10}, {20, 10}}, {{5, 5}, {7, 9}}});
  std::vector<std::vector<IntPoint>> steps;
  auto record = [](const IntPoint* a, const IntPoint* b, const IntPoint* c, void* user) -> int16_t {
    static_cast<std::vector<std::vector<IntPoint>>*>(user)->push_back({*a, *b, *c});
    return 1;
  };
  EXPECT_EQ(mapobj_for_each_curve_step(line.get(), record, &steps), 1);
  EXPECT_TRUE(steps.empty());  // not smoothed: no call
  int16_t smooth = 1;
  ASSERT_EQ(mapobjx_set_property(line.get(), OBJPROP_SMOOTH, &smooth), 1);
  ASSERT_EQ(mapobj_for_each_curve_step(line.get(), record, &steps), 1);
  const std::vector<std::vector<IntPoint>> want = {
      {{0, 0}, {10, 0}, {10, 5}}, {{10, 5}, {10, 10}, {20, 10}}, {{5, 5}, {6, 7}, {7, 9}}};
  EXPECT_EQ(steps, want);
}

TEST_F(mapobj_props, RangesWrapRoundTheRing) {
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare});
  ObjPtr piece(mapobj_extract_range(region.get(), 0, 3, 1, 0));
  ASSERT_TRUE(piece);
  EXPECT_EQ(Nodes(piece.get(), 0), (Ring{{10, 0}, {0, 0}, {0, 10}}));
  EXPECT_EQ(mapobj_extract_range(region.get(), 0, 4, 1, 0), nullptr);
}

TEST_F(mapobj_props, StylesMoveBetweenObjects) {
  ObjPtr region = Poly(MAPOBJ_REGION, {kSquare});
  region->brush = {5, 0x112233, 0x445566, 0};
  region->pen = {3, 4, 0, 0x778899};
  ObjPtr rect = New(MAPOBJ_RECT);
  EXPECT_EQ(mapobj_copy_styles(rect.get(), region.get()), 1);
  EXPECT_EQ(rect->brush.fore, 0x112233u);
  EXPECT_EQ(rect->pen.width, 3);

  // A line's pen does not go onto an area; taking styles falls back to the
  // defaults.
  ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{1, 1}, {2, 2}}});
  line->pen = {5, 2, 0, 0xFF};
  EXPECT_EQ(mapobj_copy_styles(rect.get(), line.get()), 0);
  EXPECT_EQ(mapobj_take_styles(rect.get(), line.get()), 1);
  EXPECT_EQ(rect->brush.fore, 0xFFFFFFu);
  EXPECT_EQ(rect->pen.width, 1);

  ObjPtr coll = New(MAPOBJ_COLLECTION);
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), region.get(), 0), 1);
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), line.get(), 0), 1);
  ObjPtr other = Poly(MAPOBJ_POLYLINE, {{{3, 3}, {4, 4}}});
  other->pen = {9, 2, 0, 0x0000EE};
  EXPECT_EQ(mapobj_copy_styles(coll.get(), other.get()), 1);
  EXPECT_EQ(coll->u.collection.polyline->pen.colour, 0x0000EEu);
  EXPECT_EQ(coll->u.collection.region->pen.width, 3);

  ObjPtr text = New(MAPOBJ_TEXT);
  StyleSet set = g_default_style_set;
  set.font.size = 12;
  set.area_pen.colour = 0xABCDEF;
  ASSERT_EQ(mapobj_apply_style_set(text.get(), &set), 1);
  EXPECT_EQ(text->u.text.font.size, 12);
  EXPECT_EQ(text->pen.colour, 0xABCDEFu);
}

}  // namespace
