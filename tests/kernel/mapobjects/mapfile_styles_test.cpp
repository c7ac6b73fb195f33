// Session style tables: a map file's styles gathered with their use counts,
// default entries for objects that name no resource, whether a storage
// needs style lists, and the table's lists, marks and samples.
#include "kernel/mapobjects/mapfile_fixture.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/mapobjects/styletable.h"

namespace {

class mapfile_styles : public MapFileTest {
 protected:
  void TearDown() override {
    style_table_free(&t_);
    MapFileTest::TearDown();
  }
  StyleTable t_{};
};

TEST_F(mapfile_styles, FileStylesGatherWithUseCountsAndDefaults) {
  const PenStyle red{2, 2, 0, 0xFF0000}, blue{3, 2, 0, 0x0000FF};
  const BrushStyle hatch{5, 0x00FF00, 0xFFFFFF, 0};
  MapStore s;
  ASSERT_EQ(mapstore_create(&s, MAPSTORE_FILE, nullptr, -1, &plain_, 0, 1, path("t.TAB").c_str()), 1);
  ASSERT_EQ(mapstore_begin_access(&s, 2), 1);
  ASSERT_EQ(mapstore_begin_write(&w_, &s), 1);
  int32_t row = 0;
  auto line = [&](const PenStyle& pen) {
    ObjPtr l = Line(row, 0, row + 5, 5);
    l->pen = pen;
    ASSERT_EQ(mapstore_insert_object(&w_, &s, l.get(), ++row, -1), 1);
  };
  for (int i = 0; i < 3; ++i) line(red);
  for (int i = 0; i < 2; ++i) line(blue);
  line(g_default_style_set.line_pen);  // names no pen resource
  for (int i = 0; i < 2; ++i) {
    ObjPtr p = Point(i, i);
    ASSERT_EQ(mapstore_insert_object(&w_, &s, p.get(), ++row, -1), 1);
  }
  ObjPtr r = Rect(0, 0, 9, 9);
  r->pen = g_default_style_set.area_pen;
  r->brush = hatch;
  ASSERT_EQ(mapstore_insert_object(&w_, &s, r.get(), ++row, -1), 1);
  // One red line goes: its pen's use count drops to 2.
  ASSERT_EQ(mapstore_delete_object(&w_, &s, 1), 1);
  mapstore_end_write(&w_, &s);

  ASSERT_EQ(style_table_init(&t_, nullptr, "styles"), 1);
  ASSERT_EQ(mapstore_list_styles(&s, &t_), 1);
  // Symbols (the default symbol is stored as a resource), then pens with
  // the default line for the one line without a resource, then brushes.
  std::vector<std::pair<int32_t, int32_t>> got;
  for (auto* e = static_cast<StyleEntry*>(t_.entries.head); e; e = e->next) got.emplace_back(e->kind, e->uses);
  EXPECT_EQ(got, (std::vector<std::pair<int32_t, int32_t>>{
                     {STYLE_SYMBOL, 2}, {STYLE_LINE, 2}, {STYLE_LINE, 2}, {STYLE_LINE, 1}, {STYLE_AREA, 1}}));
  StyleEntry probe, *found = nullptr;
  style_entry_init(&probe, STYLE_LINE);
  probe.line_pen = blue;
  ASSERT_EQ(style_table_find(&t_, &probe, &found), 1);
  EXPECT_EQ(found->uses, 2);
  probe.line_pen = g_default_style_set.line_pen;
  ASSERT_EQ(style_table_find(&t_, &probe, &found), 1);
  EXPECT_EQ(found->uses, 1);
  EXPECT_EQ(style_table_kind_uses(&t_, STYLE_LINE), 5);
  // Regions with lines need styles.
  EXPECT_EQ(mapstore_needs_styles(&s), 1);
  EXPECT_EQ(mapstore_end_access(&s), 1);
  EXPECT_EQ(mapstore_rebuild_index(&s, 0, 0), 1);
  mapstore_close(&s);
  EXPECT_EQ(mapstore_needs_styles(nullptr), 0);
}

TEST_F(mapfile_styles, NeedsStylesByClassesAndResources) {
  MapStore s;
  ASSERT_EQ(mapstore_create(&s, MAPSTORE_FILE, nullptr, -1, &plain_, 0, 1, path("p.TAB").c_str()), 1);
  ASSERT_EQ(mapstore_begin_access(&s, 2), 1);
  ASSERT_EQ(mapstore_begin_write(&w_, &s), 1);
  ObjPtr p = Point(1, 1);
  ASSERT_EQ(mapstore_insert_object(&w_, &s, p.get(), 1, -1), 1);
  // Points with symbol resources and no font names: no.
  EXPECT_EQ(mapstore_needs_styles(&s), 0);
  ObjPtr f = Point(2, 2);
  f->u.point.symbol.kind = 1;
  f->u.point.symbol.shape = 65;
  std::strcpy(f->u.point.symbol.font.name, "Arial");
  ASSERT_EQ(mapstore_insert_object(&w_, &s, f.get(), 2, -1), 1);
  EXPECT_EQ(mapstore_needs_styles(&s), 1);  // a font name resource
  mapstore_end_write(&w_, &s);
  EXPECT_EQ(mapstore_end_access(&s), 1);
  mapstore_close(&s);
  // A region storage without lines needs styles only with brush resources;
  // an object list of regions has none.
  MapStore m;
  ASSERT_EQ(mapstore_create(&m, MAPSTORE_MEMORY, nullptr, 0, &plain_, 0, 0, nullptr), 1);
  ObjPtr r = Rect(0, 0, 5, 5);
  ASSERT_EQ(mapstore_insert_object(&w_, &m, r.get(), 1, -1), 1);
  EXPECT_EQ(mapstore_needs_styles(&m), 0);
  mapstore_close(&m);
}

TEST_F(mapfile_styles, KindListsMarksAndSamples) {
  ASSERT_EQ(style_table_init(&t_, nullptr, nullptr), 1);
  EXPECT_STREQ(t_.name, "");
  StyleEntry line, area, mixed;
  style_entry_init(&line, STYLE_LINE);
  EXPECT_EQ(line.uses, -1);
  line.line_pen = PenStyle{2, 2, 0, 0xFF};
  style_entry_init(&area, STYLE_AREA);
  area.brush = BrushStyle{1, 0, 0, 0};
  area.border_pen = PenStyle{1, 1, 0, 0};
  style_entry_init(&mixed, STYLE_MIXED);
  mixed.part_mask = 3;
  ASSERT_EQ(style_table_add_by_kind(&t_, &mixed), 1);
  ASSERT_EQ(style_table_add_by_kind(&t_, &line), 1);
  ASSERT_EQ(style_table_add_by_kind(&t_, &line), 1);
  ASSERT_EQ(style_table_add_by_kind(&t_, &area), 1);
  ASSERT_EQ(style_table_merge_kinds(&t_), 1);
  std::vector<int32_t> kinds;
  for (auto* e = static_cast<StyleEntry*>(t_.entries.head); e; e = e->next) kinds.push_back(e->kind);
  EXPECT_EQ(kinds, (std::vector<int32_t>{STYLE_AREA, STYLE_LINE, STYLE_LINE, STYLE_MIXED}));
  EXPECT_EQ(list_is_empty(&t_.by_kind[1]), 1);
  // Each equal entry is taken once until the marks are cleared.
  StyleEntry *a = nullptr, *b = nullptr, *c = nullptr;
  ASSERT_EQ(style_table_find_unmarked(&t_, &line, &a), 1);
  ASSERT_EQ(style_table_find_unmarked(&t_, &line, &b), 1);
  EXPECT_NE(a, b);
  EXPECT_EQ(style_table_find_unmarked(&t_, &line, &c), 0);
  style_table_clear_marks(&t_);
  ASSERT_EQ(style_table_find_unmarked(&t_, &line, &c), 1);
  EXPECT_EQ(c, a);
  // Mixed entries also compare their part masks.
  StyleEntry other = mixed;
  other.part_mask = 1;
  EXPECT_EQ(style_entry_equal(&mixed, &other), 0);
  // Hollow: no brush and an invisible border; a line of width 0.
  EXPECT_EQ(style_entry_is_hollow(&area), 1);
  EXPECT_EQ(style_entry_is_hollow(&line), 0);
  line.line_pen.width = 0;
  EXPECT_EQ(style_entry_is_hollow(&line), 1);
  // A line sample spans the object's rectangle with the entry's pen.
  line.line_pen.width = 2;
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_NONE);
  obj.mbr = {0, 0, 100, 50};
  ASSERT_EQ(style_entry_sample_object(&line, &obj), 1);
  EXPECT_EQ(obj.type, MAPOBJ_LINE);
  EXPECT_EQ(obj.u.line.end.x, 100);
  EXPECT_EQ(pen_equal(&obj.pen, &line.line_pen), 1);
  // A mixed sample from styles: the point always, the line for a visible
  // pen, no rectangle for a hollow brush with an invisible border.
  obj.mbr = {0, 0, 100, 50};
  const PenStyle shown{2, 2, 0, 0xFF}, hidden{1, 1, 0, 0};
  const BrushStyle none{1, 0, 0, 0};
  ASSERT_EQ(style_sample_from_styles(STYLE_MIXED, &shown, &hidden, &none, &g_default_style_set.symbol, &obj), 1);
  ASSERT_EQ(obj.type, MAPOBJ_COLLECTION);
  EXPECT_EQ(obj.u.collection.region, nullptr);
  ASSERT_NE(obj.u.collection.polyline, nullptr);
  ASSERT_NE(obj.u.collection.multipoint, nullptr);
  EXPECT_EQ(pen_equal(&obj.u.collection.polyline->pen, &shown), 1);
  EXPECT_EQ(obj.mbr.x2, 100);
  EXPECT_EQ(obj.mbr.y2, 50);
  StyleEntry all;
  ASSERT_EQ(style_entry_from_object(&obj, &all), 1);
  EXPECT_EQ(all.kind, STYLE_MIXED);
  EXPECT_EQ(all.part_mask, 6);
  // An entry from an object: a point gives its symbol.
  ObjPtr p = Point(3, 3);
  StyleEntry from;
  ASSERT_EQ(style_entry_from_object(p.get(), &from), 1);
  EXPECT_EQ(from.kind, STYLE_SYMBOL);
  mapobj_free(&obj);
}

}  // namespace

// ---- collections and item objects round trip ---------------------------------------

namespace {

class mapfile_roundtrip : public MapFileTest {
 protected:
  // Writes the objects as rows 1.. into a new storage, reopens it and
  // answers each row's record code and object.
  void WriteRead(bool zm, const std::vector<MapObject*>& objs, std::vector<int>* codes, std::vector<ObjPtr>* back) {
    MapStore s;
    ASSERT_EQ(mapstore_create(&s, MAPSTORE_FILE, nullptr, -1, zm ? &zm_ : &plain_, 0, 1, tab().c_str()), 1);
    ASSERT_EQ(mapstore_begin_access(&s, 2), 1);
    ASSERT_EQ(mapstore_begin_write(&w_, &s), 1);
    for (size_t i = 0; i < objs.size(); ++i)
      ASSERT_EQ(mapstore_insert_object(&w_, &s, objs[i], static_cast<int32_t>(i + 1), -1), 1) << i;
    mapstore_end_write(&w_, &s);
    ASSERT_EQ(mapstore_end_access(&s), 1);
    mapstore_close(&s);
    ASSERT_EQ(mapstore_open(&s, MAPSTORE_FILE, nullptr, 1, -1, tab().c_str()), 1);
    ASSERT_EQ(mapstore_begin_access(&s, 1), 1);
    MapCursor c;
    ASSERT_EQ(mapstore_cursor_open(&c, &s), 1);
    for (size_t i = 0; i < objs.size(); ++i) {
      ObjPtr o = MapObjTest::New(MAPOBJ_NONE);
      int code = 0;
      ASSERT_EQ(mapfile_read_object(&c.search, &s.file, static_cast<int32_t>(i + 1), 1, s.locate, s.callback_data,
                                    nullptr, nullptr, o.get(), &code),
                1)
          << i;
      codes->push_back(code);
      back->push_back(std::move(o));
    }
    mapstore_cursor_close(&c, &s);
    EXPECT_EQ(mapstore_end_access(&s), 1);
    mapstore_close(&s);
    std::remove(map_path().c_str());
    std::remove(id_path().c_str());
  }
  static ObjPtr Collection(int32_t at, int16_t zm) {
    ObjPtr coll = MapObjTest::New(MAPOBJ_COLLECTION);
    ObjPtr region = Poly(MAPOBJ_REGION, {{{at, at}, {at, at + 10}, {at + 10, at + 10}, {at + 10, at}}});
    ObjPtr line = Poly(MAPOBJ_POLYLINE, {{{at, at}, {at + 5, at + 5}, {at + 9, at}}});
    line->pen = PenStyle{2, 2, 0, 0xFF0000};
    if (zm) {
      // A part with Z takes the extended record in a Z/M file; the chain
      // keeps no Z of collection parts.
      void* zb = nullptr;
      EXPECT_EQ(mem_alloc_zeroed(24, &zb, nullptr), 1);
      line->z = static_cast<double*>(zb);
      line->has_z = 1;
    }
    region->brush = BrushStyle{5, 0x00FF00, 0x0000FF, 0};
    ObjPtr mp = MapObjTest::New(MAPOBJ_MULTIPOINT);
    EXPECT_EQ(mapobj_grow_buffer(16, &mp->nodes, nullptr, 0), 1);
    IntPoint pts[2] = {{at + 1, at + 1}, {at + 3, at + 8}};
    std::memcpy(mp->nodes, pts, sizeof pts);
    mp->u.multipoint.count = 2;
    mp->u.multipoint.symbol = g_default_style_set.symbol;
    mp->mbr = {at + 1, at + 1, at + 3, at + 8};
    EXPECT_EQ(mapobjx_collection_set_part(coll.get(), region.get(), 0), 1);
    EXPECT_EQ(mapobjx_collection_set_part(coll.get(), line.get(), 0), 1);
    EXPECT_EQ(mapobjx_collection_set_part(coll.get(), mp.get(), 0), 1);
    mapobjx_normalize(coll.get(), 1);
    return coll;
  }
};

TEST_F(mapfile_roundtrip, CollectionsReadBackInEveryCode) {
  for (bool zm : {false, true}) {
    // Near the origin the compressed record; a collection whose parts lie
    // more than 32767 apart needs the full one.
    ObjPtr near = Collection(100, zm), wide = Collection(0, zm);
    ObjPtr far = Collection(200000, zm);
    ASSERT_EQ(mapobjx_collection_set_part(wide.get(), far->u.collection.polyline, 1), 1);
    mapobjx_normalize(wide.get(), 1);
    std::vector<int> codes;
    std::vector<ObjPtr> back;
    WriteRead(zm, {near.get(), wide.get()}, &codes, &back);
    ASSERT_EQ(codes.size(), 2u);
    const int base = zm ? 70 : 55;
    EXPECT_EQ(codes[0], base) << zm;
    EXPECT_EQ(codes[1], base + 1) << zm;
    EXPECT_EQ(Trace(back[0].get()), Trace(near.get())) << zm;
    EXPECT_EQ(Trace(back[1].get()), Trace(wide.get())) << zm;
    ASSERT_NE(back[0]->u.collection.polyline, nullptr);
    EXPECT_EQ(pen_equal(&back[0]->u.collection.polyline->pen, &near->u.collection.polyline->pen), 1);
  }
}

TEST_F(mapfile_roundtrip, ItemObjectsKeepTheirFields) {
  ObjPtr a = MapObjTest::New(MAPOBJ_TYPE11);
  a->u.items = MapItemPart{3, 1, {70000, -5, 0}};
  ASSERT_EQ(mapobj_grow_buffer(36, &a->nodes, nullptr, 0), 1);
  for (int k = 0; k < 18; ++k) {
    const int16_t v = static_cast<int16_t>(k * 1000 - 9000);
    std::memcpy(static_cast<uint8_t*>(a->nodes) + 2 * k, &v, 2);
  }
  a->mbr = {0, 0, 50, 50};
  ObjPtr b = MapObjTest::New(MAPOBJ_TYPE12);
  b->u.items = MapItemPart{2, 0, {-1, 123456, 7}};
  ASSERT_EQ(mapobj_grow_buffer(48, &b->nodes, nullptr, 0), 1);
  for (int k = 0; k < 2; ++k) {
    uint8_t* item = static_cast<uint8_t*>(b->nodes) + 24 * k;
    const int32_t i = 40000 * (k + 1);
    const double d = 2.5 * (k + 1);
    const int16_t s = static_cast<int16_t>(-7 * (k + 1));
    std::memcpy(item, &i, 4);
    std::memcpy(item + 8, &d, 8);
    std::memcpy(item + 16, &s, 2);
  }
  b->mbr = {100000, 0, 200000, 10};  // a rectangle that needs the full record
  std::vector<int> codes;
  std::vector<ObjPtr> back;
  WriteRead(false, {a.get(), b.get()}, &codes, &back);
  ASSERT_EQ(codes.size(), 2u);
  EXPECT_EQ(codes[0], 31);
  EXPECT_EQ(codes[1], 35);
  const MapItemPart& ra = back[0]->u.items;
  EXPECT_EQ(ra.count, 3);
  EXPECT_EQ(ra.flag, 1);
  EXPECT_EQ(ra.values[0], 70000);
  EXPECT_EQ(ra.values[1], -5);
  EXPECT_EQ(std::memcmp(back[0]->nodes, a->nodes, 36), 0);
  EXPECT_EQ(back[0]->mbr.x2, 50);
  const MapItemPart& rb = back[1]->u.items;
  EXPECT_EQ(rb.count, 2);
  EXPECT_EQ(rb.values[0], -1);
  EXPECT_EQ(rb.values[1], 123456);
  EXPECT_EQ(rb.values[2], 7);
  EXPECT_EQ(back[1]->mbr.x1, 100000);
  for (int k = 0; k < 2; ++k) {
    const uint8_t* got = static_cast<const uint8_t*>(back[1]->nodes) + 24 * k;
    const uint8_t* want = static_cast<const uint8_t*>(b->nodes) + 24 * k;
    EXPECT_EQ(std::memcmp(got, want, 4), 0) << k;
    EXPECT_EQ(std::memcmp(got + 8, want + 8, 10), 0) << k;
  }
}

}  // namespace
