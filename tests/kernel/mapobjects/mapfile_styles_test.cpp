// Session style tables: a map file's styles gathered with their use counts,
// default entries for objects that name no resource, whether a storage
// needs style lists, and the table's lists, marks and samples.
#include "kernel/mapobjects/mapfile_fixture.h"
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
  // An entry from an object: a point gives its symbol.
  ObjPtr p = Point(3, 3);
  StyleEntry from;
  ASSERT_EQ(style_entry_from_object(p.get(), &from), 1);
  EXPECT_EQ(from.kind, STYLE_SYMBOL);
  mapobj_free(&obj);
}

}  // namespace
