// The in-memory object list's placement and row nodes, the linked-table
// cache (fill, read-through, writes repeated on it, overlay) and the area
// filter's pixel tolerance.
#include "kernel/coordsys/conv.h"
#include "kernel/drivers/memtab.h"
#include "kernel/mapobjects/mapfile_fixture.h"
#include "kernel/mapobjects/tablecache.h"
#include "kernel/tables/tabdef.h"

namespace {

class mapfile_memlist : public MapFileTest {
 protected:
  void SetUp() override {
    MapFileTest::SetUp();
    ASSERT_EQ(mapstore_create(&m_, MAPSTORE_MEMORY, nullptr, 0, &plain_, 0, 0, nullptr), 1);
    mapobj_init(&obj_, MAPOBJ_NONE);
  }
  void TearDown() override {
    mapobj_free(&obj_);
    mapstore_close(&m_);
    MapFileTest::TearDown();
  }
  // The rows of the list's nodes in list order (0 for a node with no object).
  static std::vector<int32_t> Rows(const MemRowList* list) {
    std::vector<int32_t> out;
    for (const MemRowNode* n = list->head; n; n = n->next) out.push_back(n->object.type ? n->object.row_id : 0);
    return out;
  }
  // Appends a row node of an in-memory table (it carries row values).
  static MemRowNode* AddRowNode(MemRowList* list, int32_t row) {
    auto* n = new MemRowNode{};
    n->users = 1;
    mapobj_init(&n->object, MAPOBJ_NONE);
    n->values = &s_values;
    n->row = row;
    memlist_place(list, n, -1);
    return n;
  }
  int16_t Fetch(MapStore* s, int32_t row) {
    MapCursor c;
    EXPECT_EQ(mapstore_cursor_open(&c, s), 1);
    const int16_t ok = mapstore_cursor_fetch(&c, s, row, 1, &obj_, nullptr);
    mapstore_cursor_close(&c, s);
    return ok;
  }
  static inline int s_values = 0;
  MapStore m_;
  MapObject obj_;
};

TEST_F(mapfile_memlist, PositionHintsPlaceNodes) {
  ObjPtr p = Point(1, 1);
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, p.get(), 1, -1), 1);
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, p.get(), 2, 0), 1);   // head
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, p.get(), 3, -1), 1);  // tail
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, p.get(), 4, 1), 1);   // before index 1
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, p.get(), 5, 99), 1);  // past the end: tail
  EXPECT_EQ(Rows(m_.list), (std::vector<int32_t>{2, 4, 1, 3, 5}));
  EXPECT_EQ(m_.list->count, 5);
  // An update with a hint moves the node; -2 keeps it where it is.
  ObjPtr l = Line(0, 0, 5, 5);
  ASSERT_EQ(mapstore_update_object(&w_, &m_, l.get(), 3, 0), 1);
  EXPECT_EQ(Rows(m_.list), (std::vector<int32_t>{3, 2, 4, 1, 5}));
  ASSERT_EQ(mapstore_update_object(&w_, &m_, p.get(), 3, -2), 1);
  EXPECT_EQ(Rows(m_.list), (std::vector<int32_t>{3, 2, 4, 1, 5}));
  EXPECT_EQ(mapstore_point_count(&m_), 5);
  EXPECT_EQ(mapstore_line_count(&m_), 0);
}

TEST_F(mapfile_memlist, UpdatingARowWithoutANodeInsertsIt) {
  ObjPtr l = Line(0, 0, 5, 5);
  ASSERT_EQ(mapstore_update_object(&w_, &m_, l.get(), 8, -1), 1);
  EXPECT_EQ(Rows(m_.list), (std::vector<int32_t>{8}));
  EXPECT_EQ(mapstore_line_count(&m_), 1);
  ASSERT_EQ(Fetch(&m_, 8), 1);
  EXPECT_EQ(Trace(&obj_), Trace(l.get()));
}

TEST_F(mapfile_memlist, DeletingATableRowsObjectKeepsTheRow) {
  MemRowNode* row7 = AddRowNode(m_.list, 7);
  AddRowNode(m_.list, 9);
  ObjPtr p = Point(3, 4);
  // Hint -3 puts the object into the row node of row 7, -4 into the second
  // row node (row 9); a row without a node is refused.
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, p.get(), 7, -3), 1);
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, p.get(), 2, -4), 1);
  EXPECT_EQ(mapstore_insert_object(&w_, &m_, p.get(), 8, -3), 0);
  EXPECT_EQ(Rows(m_.list), (std::vector<int32_t>{7, 9}));
  ASSERT_EQ(Fetch(&m_, 7), 1);
  EXPECT_EQ(obj_.row_id, 7);
  ASSERT_EQ(mapstore_delete_object(&w_, &m_, 7), 1);
  EXPECT_EQ(m_.list->head, row7);
  EXPECT_EQ(row7->object.type, MAPOBJ_NONE);
  EXPECT_EQ(Fetch(&m_, 7), 0);
  // The cursor passes over a row node with no object.
  MapCursor c;
  ASSERT_EQ(mapstore_cursor_open(&c, &m_), 1);
  ASSERT_EQ(mapstore_cursor_next(&c, &m_, 1, &obj_, nullptr), 1);
  EXPECT_EQ(obj_.row_id, 9);
  EXPECT_EQ(mapstore_cursor_next(&c, &m_, 1, &obj_, nullptr), 0);
  mapstore_cursor_close(&c, &m_);
  // Updating the row puts the object back into its row node.
  ASSERT_EQ(mapstore_update_object(&w_, &m_, p.get(), 7, -1), 1);
  EXPECT_EQ(row7->object.type, MAPOBJ_POINT);
  EXPECT_EQ(m_.list->count, 2);
}

// ---- the linked-table cache ------------------------------------------------------

class mapfile_cache : public mapfile_memlist {
 protected:
  void SetUp() override {
    mapfile_memlist::SetUp();
    table_.fields = fieldlist_new(1);
    table_.field_count = 1;
    value_set_int(0, VALUE_INTEGER, &table_.fields[0].value);
    m_.owner = &table_;
    for (int32_t row = 1; row <= 3; ++row) {
      ObjPtr p = Point(row * 10, row * 10);
      ASSERT_EQ(mapstore_insert_object(&w_, &m_, p.get(), row, -1), 1);
    }
    ASSERT_EQ(storage_cache_create(&m_), 1);
  }
  void TearDown() override {
    mapfile_memlist::TearDown();
    fieldlist_free(table_.fields, table_.field_count);
    table_.fields = nullptr;
  }
  // Rows that the cache can hold (as a fill with readable rows leaves them):
  // a row of the in-memory table per row with the object of the storage.
  void Cache(std::initializer_list<int32_t> rows, const IntRect& held) {
    TableCache* c = m_.cache;
    for (int32_t row : rows) {
      table_.fields[0].value.u.i = row * 100;
      ASSERT_EQ(memtab_insert_row(&c->table, row, table_.fields), 1);
      ObjPtr p = Point(row * 10, row * 10);
      ASSERT_EQ(mapstore_insert_object(&c->writer, &c->store, p.get(), row, -3), 1);
    }
    c->held = held;
  }
  std::vector<int32_t> ReadArea(const IntRect& area, int16_t* through) {
    MapCursor c;
    std::vector<int32_t> rows;
    EXPECT_EQ(mapcursor_open_area(&c, &m_, &area, nullptr, 0, nullptr), 1);
    *through = c.read_through;
    if (c.read_through) {
      EXPECT_EQ(storage_cache_in_use(&m_), 1);
    }
    while (mapstore_cursor_next(&c, &m_, 1, &obj_, nullptr)) rows.push_back(obj_.row_id);
    mapstore_cursor_close(&c, &m_);
    return rows;
  }
  TableDef table_;
};

TEST_F(mapfile_cache, CreateInstallsTheOverlayAndFreeRemovesIt) {
  TableCache* c = m_.cache;
  EXPECT_EQ(table_.storage.edit_overlay, c);
  EXPECT_EQ(c->table.type, TABTYPE_MEMORY);
  EXPECT_EQ(c->store.kind, MAPSTORE_MEMORY);
  // The table and the map storage share one row list.
  ASSERT_NE(memtab_rows(&c->table), nullptr);
  EXPECT_EQ(memtab_rows(&c->table)->list, c->store.list);
  const IntRect r{0, 0, 5, 5};
  EXPECT_EQ(storage_cache_covers(&m_, &r), 0);  // holds nothing
  mapstore_close(&m_);
  EXPECT_EQ(table_.storage.edit_overlay, nullptr);
  ASSERT_EQ(mapstore_create(&m_, MAPSTORE_MEMORY, nullptr, 0, &plain_, 0, 0, nullptr), 1);
}

TEST_F(mapfile_cache, AFillSkipsUnreadableRowsAndThenHoldsTheArea) {
  // No row of the owning table can be read here, so the fill caches no
  // object; the cursor still reads every object from the storage.
  int16_t through = 0;
  EXPECT_EQ(ReadArea({0, 0, 100, 100}, &through), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(through, 0);
  EXPECT_EQ(storage_cache_filling(&m_), 0);  // released at close
  const IntRect inner{5, 5, 50, 50}, outer{0, 0, 200, 200};
  EXPECT_EQ(storage_cache_covers(&m_, &inner), 1);
  EXPECT_EQ(storage_cache_covers(&m_, &outer), 0);
  EXPECT_EQ(m_.cache->store.list->count, 0);
  // An area inside the held one is read through the (empty) cache.
  EXPECT_EQ(ReadArea(inner, &through), (std::vector<int32_t>{}));
  EXPECT_EQ(through, 1);
  EXPECT_EQ(storage_cache_in_use(&m_), 0);
  EXPECT_EQ(err_count(), 0) << Errors();
}

TEST_F(mapfile_cache, CursorsReadThroughTheCacheInsideItsArea) {
  Cache({2, 3}, {0, 0, 100, 100});
  int16_t through = 0;
  EXPECT_EQ(ReadArea({15, 15, 100, 100}, &through), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(through, 1);
  EXPECT_EQ(ReadArea({25, 25, 35, 35}, &through), (std::vector<int32_t>{3}));
  // Fetch by row asks the cache first; a row it lacks comes from the storage.
  ObjPtr moved = Point(99, 99);
  m_.cache->store.list->head->object.u.point.location = {77, 77};  // only the cached copy of row 2
  EXPECT_EQ(Fetch(&m_, 2), 1);
  EXPECT_EQ(obj_.u.point.location.x, 77);
  EXPECT_EQ(Fetch(&m_, 1), 1);
  EXPECT_EQ(obj_.u.point.location.x, 10);
  // Outside the held area the storage is read and the cache refills.
  EXPECT_EQ(ReadArea({0, 0, 500, 500}, &through), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(through, 0);
  EXPECT_EQ(m_.cache->store.list->count, 0);
  EXPECT_EQ(m_.cache->held.x2, 500);
}

TEST_F(mapfile_cache, WritesAreRepeatedOnTheCache) {
  Cache({1, 2}, {0, 0, 100, 100});
  ObjPtr l = Line(0, 0, 4, 4);
  ASSERT_EQ(mapstore_update_object(&w_, &m_, l.get(), 1, -2), 1);
  MemRowNode* first = m_.cache->store.list->head;
  EXPECT_EQ(first->object.type, MAPOBJ_LINE);
  ASSERT_EQ(mapstore_delete_object(&w_, &m_, 2), 1);
  EXPECT_EQ(first->next->object.type, MAPOBJ_NONE);  // the row node stays
  EXPECT_EQ(m_.cache->store.list->count, 2);
  // A cursor reading through the cache ends with the write.
  MapCursor c;
  const IntRect area{0, 0, 50, 50};
  ASSERT_EQ(mapcursor_open_area(&c, &m_, &area, nullptr, 0, nullptr), 1);
  ASSERT_EQ(c.read_through, 1);
  ASSERT_EQ(mapstore_delete_object(&w_, &m_, 1), 1);
  EXPECT_EQ(mapstore_cursor_next(&c, &m_, 1, &obj_, nullptr), 0);
  mapstore_cursor_close(&c, &m_);
}

// A fill copies the values of a row the owning table can read into the
// cache's in-memory table, with the object in the row's node; the overlay
// then answers the row.
TEST_F(mapfile_cache, AFillCopiesReadableRowsIntoTheCache) {
  table_.storage.type = TABTYPE_MEMORY;
  table_.storage.options = MemoryOptions{};
  table_.storage.field_count = 1;
  ASSERT_EQ(memtab_create(&table_.storage, nullptr), 1);
  table_.fields[0].value.u.i = 222;
  ASSERT_EQ(memtab_insert_row(&table_.storage, 2, table_.fields), 1);
  table_.storage.row_count = 2;
  OpenTable entry;
  entry.bases.push_back(&table_);
  table_.entry = &entry;
  const IntRect r{0, 0, 100, 100};
  ASSERT_EQ(storage_cache_fill(&m_, &r), 1);
  ObjPtr p = Point(20, 20);
  p->row_id = 2;
  ASSERT_EQ(storage_cache_add(&m_, p.get()), 1);
  p->row_id = 5;  // a row the table lacks is skipped
  ASSERT_EQ(storage_cache_add(&m_, p.get()), 1);
  storage_cache_release(&m_);
  MemRowNode* node = nullptr;
  ASSERT_EQ(memtab_find_row(m_.cache->store.list, 2, &node), 1);
  EXPECT_EQ(node->object.type, MAPOBJ_POINT);
  EXPECT_EQ(m_.cache->store.list->count, 1);
  table_.fields[0].value.u.i = 0;
  ASSERT_EQ(storage_overlay_read_row(&table_.storage, table_.fields, 2), 1);
  EXPECT_EQ(table_.fields[0].value.u.i, 222);
  table_.entry = nullptr;
  table_.storage.edit_overlay = nullptr;
  memtab_close(&table_.storage);
  table_.storage.edit_overlay = m_.cache;
}

TEST_F(mapfile_cache, OverlayAnswersOnlyWhileHoldingAndNotFilling) {
  FieldDef f{};
  EXPECT_EQ(storage_overlay_read_row(&table_.storage, &f, 1), 0);  // holds nothing
  const IntRect r{0, 0, 10, 10};
  ASSERT_EQ(storage_cache_fill(&m_, &r), 1);
  EXPECT_EQ(storage_cache_filling(&m_), 1);
  mapstore_cache_reset_if_filling(&m_);
  EXPECT_EQ(m_.cache->held.x2, 0);
  m_.cache->held = r;
  EXPECT_EQ(storage_overlay_read_row(&table_.storage, &f, 1), 0);  // filling
  // A fetch during the fill clears the held area first.
  EXPECT_EQ(Fetch(&m_, 1), 1);
  EXPECT_EQ(storage_cache_covers(&m_, &r), 0);
  storage_cache_release(&m_);
  EXPECT_EQ(storage_cache_filling(&m_), 0);
}

// ---- the area filter -------------------------------------------------------------

TEST_F(mapfile_memlist, AreaWidensByThePixelTolerance) {
  // Ten map units per pixel.
  CoordConv conv;
  const IntRect device{0, 0, 100, 100}, map{0, 0, 1000, 1000};
  conv_setup_rects(&conv, &device, &map);
  ASSERT_EQ(conv_device_dx_to_map(7, &conv), 70);
  ObjPtr near = Line(1065, 0, 1068, 0), far = Line(1085, 0, 1090, 0);
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, near.get(), 1, -1), 1);
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, far.get(), 2, -1), 1);
  auto rows = [&](int16_t tolerance, const CoordConv* cv) {
    MapCursor c;
    const IntRect area{0, 0, 1000, 1000};
    std::vector<int32_t> out;
    EXPECT_EQ(mapcursor_open_area(&c, &m_, &area, nullptr, tolerance, cv), 1);
    while (mapstore_cursor_next(&c, &m_, 1, &obj_, nullptr)) out.push_back(obj_.row_id);
    mapstore_cursor_close(&c, &m_);
    return out;
  };
  EXPECT_EQ(rows(0, &conv), (std::vector<int32_t>{}));
  EXPECT_EQ(rows(1, nullptr), (std::vector<int32_t>{}));
  EXPECT_EQ(rows(1, &conv), (std::vector<int32_t>{1}));  // 7 pixels: 70 units
  g_kernel_symbol_size = 2;                              // 14 pixels
  EXPECT_EQ(rows(1, &conv), (std::vector<int32_t>{1, 2}));
  g_kernel_symbol_size = 0;
  // With point objects the default symbol's size in pixels counts when it
  // is larger than 7.
  ObjPtr p = Point(5000, 5000);
  ASSERT_EQ(mapstore_insert_object(&w_, &m_, p.get(), 3, -1), 1);
  const int32_t px = g_default_style_set.symbol.size * 240 / 144 + 1;
  ASSERT_GE(px * 10, 85);
  EXPECT_EQ(rows(1, &conv), (std::vector<int32_t>{1, 2}));
}

TEST_F(mapfile_memlist, AreaFilterTestsOverlapThenTheClip) {
  MapAreaFilter f{nullptr, {0, 0, 10, 10}, nullptr, 0, 0};
  const IntRect in{5, 5, 20, 20}, out{11, 0, 20, 5};
  EXPECT_EQ(mapcursor_area_filter(&in, 1, &f), 1);
  EXPECT_EQ(mapcursor_area_filter(&out, 1, &f), 0);
  EXPECT_EQ(mapcursor_area_filter(&out, 0, &f), 0);
  // The storage bounds with a clip handle go to the host's clip test, which
  // here accepts everything; an object rectangle never does.
  int clip = 1;
  f.clip = &clip;
  EXPECT_EQ(mapcursor_area_filter(&in, 0, &f), 1);
  EXPECT_EQ(mapcursor_area_filter(&out, 0, &f), 0);
}

}  // namespace

namespace {

TEST_F(mapfile_memlist, LinkedStorageFillsItsCacheAndReadsThroughIt) {
  // A linked storage holds no objects of its own here; its cache still
  // follows the life cycle: a first area cursor fills it, a second one
  // inside the area reads through it.
  MapStore link;
  ASSERT_EQ(mapstore_create(&link, MAPSTORE_SERVER, nullptr, 0, &plain_, 0, 0, nullptr), 1);
  ASSERT_EQ(storage_cache_create(&link), 1);
  EXPECT_EQ(mapstore_object_count(&link), 100);
  const IntRect area{0, 0, 1000, 1000}, inner{10, 10, 20, 20};
  MapCursor c;
  ASSERT_EQ(mapcursor_open_area_fill(&c, &link, &area, nullptr, 0, nullptr), 1);
  EXPECT_EQ(c.read_through, 0);
  EXPECT_EQ(storage_cache_filling(&link), 1);
  EXPECT_EQ(mapstore_cursor_next(&c, &link, 1, &obj_, nullptr), 0);
  mapstore_cursor_close(&c, &link);
  EXPECT_EQ(storage_cache_filling(&link), 0);
  ASSERT_EQ(mapcursor_open_area(&c, &link, &inner, nullptr, 0, nullptr), 1);
  EXPECT_EQ(c.read_through, 1);
  EXPECT_EQ(mapstore_cursor_next(&c, &link, 1, &obj_, nullptr), 0);
  mapstore_cursor_close(&c, &link);
  // Writes succeed without holding anything.
  ObjPtr p = Point(1, 1);
  EXPECT_EQ(mapstore_update_object(&w_, &link, p.get(), 1, -1), 1);
  EXPECT_EQ(mapstore_delete_object(&w_, &link, 1), 1);
  mapstore_close(&link);
}

}  // namespace
