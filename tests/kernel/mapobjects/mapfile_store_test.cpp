// Map storage, read cursor, style resources, round trips of every object
// kind, the refusals and damaged-file mends, and mapcheck --dump.
#include <functional>
#include <random>

#include "kernel/mapobjects/mapfile_fixture.h"
#include "kernel/mapobjects/objtrace.h"
#include "kernel/tables/tabdef.h"
#include "tools/mapcheck/check.h"

namespace {

class mapfile_store : public MapFileTest {
 protected:
  int Check(std::string* out = nullptr, bool dump = false, bool with_id = true) {
    std::string m = map_path(), i = id_path();
    std::vector<char*> argv = {const_cast<char*>("mapcheck")};
    if (dump) argv.push_back(const_cast<char*>("--dump"));
    argv.push_back(m.data());
    if (with_id) argv.push_back(i.data());
    char* buf = nullptr;
    size_t len = 0;
    FILE* o = open_memstream(&buf, &len);
    FILE* null = std::fopen("/dev/null", "w");
    const int rc = mapcheck_main(static_cast<int>(argv.size()), argv.data(), o, null);
    std::fclose(o);
    std::fclose(null);
    if (out) *out = std::string(buf, len);
    std::free(buf);
    // mapcheck ends the map-object runtime; start it again for the test.
    mapobj_runtime_start();
    return rc;
  }
};

TEST_F(mapfile_store, EmptyTextChangesOnlyTheChangeCountAndNoNodesIs894) {
  MapStore s;
  Create(&s);
  ObjPtr t = MapObjTest::New(MAPOBJ_TEXT);
  const uint32_t before = s.changes;
  ASSERT_EQ(Insert(&s, t.get(), 1), 1);
  EXPECT_EQ(s.changes, before + 1);
  EXPECT_EQ(mapstore_object_count(&s), 0);
  EXPECT_EQ(s.file.depth, 0);
  ObjPtr r = MapObjTest::New(MAPOBJ_REGION);
  err_clear();
  EXPECT_EQ(Insert(&s, r.get(), 2), 0);
  EXPECT_TRUE(err_has_code(kErrMapNoNodes));
  Finish(&s);
  EXPECT_EQ(Bytes(map_path()).size(), 1024u);
}

TEST_F(mapfile_store, EndingWriteAccessExtendsTheIdToTheLastRow) {
  TableDef owner;
  owner.storage.row_count = 10;
  MapStore s;
  ASSERT_EQ(mapstore_create(&s, MAPSTORE_FILE, &owner, -1, &plain_, 0, 1, tab().c_str()), 1);
  ASSERT_EQ(mapstore_begin_access(&s, 2), 1);
  ASSERT_EQ(mapstore_begin_write(&w_, &s), 1);
  for (int32_t r = 1; r <= 8; ++r) {
    ObjPtr p = Point(r, r);
    ASSERT_EQ(Insert(&s, p.get(), r), 1);
  }
  mapstore_end_write(&w_, &s);
  ASSERT_EQ(mapstore_end_access(&s), 1);
  mapstore_close(&s);
  EXPECT_EQ(Bytes(id_path()).size(), 40u);
}

TEST_F(mapfile_store, TemporaryCloseDeletesBothFiles) {
  // A temporary storage's map file keeps the name it is given.
  MapStore s;
  const std::string p = path("tmp.MAP");
  ASSERT_EQ(mapstore_create(&s, MAPSTORE_FILE, nullptr, -1, &plain_, 1, 1, p.c_str()), 1) << Errors();
  EXPECT_EQ(Bytes(p).size(), 1024u);
  EXPECT_TRUE(file_exists(path("tmp.ID").c_str(), 6));
  mapstore_close(&s);
  EXPECT_FALSE(file_exists(p.c_str(), 0));
  EXPECT_FALSE(file_exists(path("tmp.ID").c_str(), 6));
  // No temporary name is left behind either.
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + dir_ + "')\"").c_str()), 0);
}

TEST_F(mapfile_store, CursorEndsAfterAWriteAndKeepsAGrownBuffer) {
  MapStore s;
  Create(&s);
  ObjPtr p = Point(1, 1);
  ASSERT_EQ(Insert(&s, p.get(), 1), 1);
  Ring big;
  for (int i = 0; i < 3000; ++i) big.push_back({i, (i * 37) % 1000});
  ObjPtr pl = Poly(MAPOBJ_POLYLINE, {big});
  ASSERT_EQ(Insert(&s, pl.get(), 2), 1);
  MapCursor c;
  ASSERT_EQ(mapstore_cursor_open(&c, &s), 1);
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_NONE);
  const int64_t before = c.capacity;
  ASSERT_EQ(mapstore_cursor_fetch(&c, &s, 2, 1, &obj, nullptr), 1);
  EXPECT_EQ(Trace(&obj), Trace(pl.get()));
  EXPECT_GT(c.capacity, before);
  EXPECT_EQ(c.nodes, obj.nodes);
  ASSERT_EQ(mapstore_cursor_next(&c, &s, 1, &obj, nullptr), 1);
  ObjPtr q = Point(2, 2);
  ASSERT_EQ(Insert(&s, q.get(), 3), 1);
  EXPECT_EQ(mapstore_cursor_next(&c, &s, 1, &obj, nullptr), 0);
  mapstore_cursor_close(&c, &s);
  Finish(&s);
}

TEST_F(mapfile_store, NoAllocationPerObjectAfterWarmUp) {
  MapStore s;
  Create(&s);
  for (int32_t r = 1; r <= 300; ++r) {
    ObjPtr o = r % 2 ? Point(r * 10, r) : Poly(MAPOBJ_REGION, {{{r, 0}, {r + 5, 0}, {r + 5, 5}}});
    ASSERT_EQ(Insert(&s, o.get(), r), 1);
  }
  MapCursor c;
  ASSERT_EQ(mapstore_cursor_open(&c, &s), 1);
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_NONE);
  // Warm-up: until a region (the largest object) has been read.
  int n = 0;
  do {
    ASSERT_EQ(mapstore_cursor_next(&c, &s, 1, &obj, nullptr), 1);
    ++n;
  } while (obj.type != MAPOBJ_REGION);
  mem_test_fail_nth(1);  // the next allocation fails
  while (mapstore_cursor_next(&c, &s, 1, &obj, nullptr)) ++n;
  mem_test_fail_nth(0);
  EXPECT_EQ(err_count(), 0) << Errors() << " after " << obj.row_id;
  EXPECT_EQ(n, 300);
  for (int32_t r = 1; r <= 300; r += 7) {
    mem_test_fail_nth(1);
    EXPECT_EQ(mapstore_cursor_fetch(&c, &s, r, 1, &obj, nullptr), 1) << r;
    mem_test_fail_nth(0);
  }
  mapstore_cursor_close(&c, &s);
  Finish(&s);
}

// 255 pens in use; pen 7's only user deleted; a new pen takes slot 7 with one
// use; with none free a new pen takes the closest pen, or 0 when the default
// is closer.
TEST_F(mapfile_store, PenResourcesReuseAndClosestMatch) {
  MapStore s;
  Create(&s);
  auto line_with = [&](const PenStyle& pen, int32_t row) {
    ObjPtr l = Line(row, 0, row + 1, 1);
    l->pen = pen;
    EXPECT_EQ(Insert(&s, l.get(), row), 1) << row;
  };
  for (int32_t i = 1; i <= 255; ++i) line_with(PenStyle{1, 2, 0, static_cast<uint32_t>(i * 0x010203)}, i);
  EXPECT_EQ(s.file.style_counts[MAPSTYLE_PEN], 255);
  ASSERT_EQ(mapstore_delete_object(&w_, &s, 7), 1);
  int32_t uses = -1;
  ASSERT_EQ(mapstore_delete_object(&w_, &s, 7), 1);  // already gone: no change
  const PenStyle fresh{3, 5, 0, 0x00FF00};
  line_with(fresh, 300);
  uint8_t form[8] = {};
  pen_pack(&fresh, form);
  EXPECT_EQ(std::memcmp(s.file.styles[MAPSTYLE_PEN][6].form, form, 6), 0);
  ASSERT_EQ(mapstyle_read_uses(&s.file, s.file.styles[MAPSTYLE_PEN][6].position, &uses), 1);
  EXPECT_EQ(uses, 1);
  // None free: a red pen of width 2 takes the closest pen (colour 0xFF... of
  // width 1, pattern 2 scores above the default's black).
  int index = -1;
  const PenStyle red{2, 2, 0, 0xFE0000};
  ASSERT_EQ(mapstyle_pen_index(&s.file, &red, &index, 1), 1);
  EXPECT_GT(index, 0);
  EXPECT_NE(index, 7);
  // A pen the default matches best (pattern 2, black, width 1 scores 3000
  // against itself) answers 0.
  const PenStyle near_default{1, 2, 0, 0x000001};
  ASSERT_EQ(mapstyle_pen_index(&s.file, &near_default, &index, 1), 1);
  EXPECT_EQ(index, 0);
  Finish(&s);
  EXPECT_EQ(Check(), 0);
}

TEST_F(mapfile_store, MovedRecordsKeepUseCounts) {
  MapStore s;
  Create(&s);
  const PenStyle pen{2, 2, 0, 0x123456};
  for (int32_t r = 1; r <= 200; ++r) {
    ObjPtr l = Line(r * 100, 0, r * 100 + 5, 5);
    l->pen = pen;
    ASSERT_EQ(Insert(&s, l.get(), r), 1);
  }
  EXPECT_GE(s.file.depth, 2);  // splits happened
  int32_t uses = 0;
  ASSERT_EQ(mapstyle_read_uses(&s.file, s.file.styles[MAPSTYLE_PEN][0].position, &uses), 1);
  EXPECT_EQ(uses, 200);
  Finish(&s);
}

TEST_F(mapfile_store, StyleCountsClampAtZeroAndWidthScores) {
  EXPECT_EQ(mapstyle_width_score(0, 0), 1000);
  EXPECT_EQ(mapstyle_width_score(2, 4), 500);
  EXPECT_EQ(mapstyle_width_score(2, 20), 0);  // pixels against points
  SymbolStyle a = g_default_style_set.symbol, b = a;
  a.size = b.size = 0;
  EXPECT_EQ(mapstyle_symbol_score(&a, &b), 3000);
  MapStore s;
  Create(&s);
  ObjPtr l = Line(0, 0, 1, 1);
  l->pen = PenStyle{3, 2, 0, 0xFF};
  ASSERT_EQ(Insert(&s, l.get(), 1), 1);
  int32_t count = 0;
  ASSERT_EQ(mapstyle_add_uses(s.file.styles[MAPSTYLE_PEN][0].position, &count, &s.file, 2), 1);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(mapstyle_add_uses(s.file.styles[MAPSTYLE_PEN][0].position, &count, &s.file, -5), 1);
  EXPECT_EQ(count, 0);
  Finish(&s);
}

// Every kind of object, Z/M or not, at the compression limits, written,
// reopened and read back in the same canonical form.
TEST_F(mapfile_store, RoundTripOfEveryKind) {
  for (bool zm : {false, true}) {
    std::vector<ObjPtr> objs;
    objs.push_back(Point(5, 5));
    ObjPtr fp = Point(32767, -32768);
    fp->u.point.symbol.kind = 1;
    fp->u.point.symbol.shape = 65;
    fp->u.point.symbol.size = 14;
    fp->u.point.symbol.rotation = 450;
    std::strcpy(fp->u.point.symbol.font.name, "Arial");
    objs.push_back(std::move(fp));
    ObjPtr bp = Point(32768, 0);
    bp->u.point.symbol.kind = 2;
    std::strcpy(bp->u.point.symbol.bitmap.name, "PIN1.BMP");
    objs.push_back(std::move(bp));
    ObjPtr zp = Point(7, 8);
    zp->has_z = 1;
    zp->u.point.z = 12.5;
    objs.push_back(std::move(zp));
    objs.push_back(Line(-32767, 0, 32767, 0));
    objs.push_back(Line(0, 0, 65535, 10));
    ObjPtr arc = MapObjTest::New(MAPOBJ_ARC);
    arc->u.arc.rect = {0, 0, 100, 50};
    arc->u.arc.start = 3000;
    arc->u.arc.end = 4200;
    arc->mbr = {0, 0, 100, 50};
    objs.push_back(std::move(arc));
    objs.push_back(Poly(MAPOBJ_REGION, {{{0, 0}, {65534, 0}, {65534, 10}}, {{1, 1}, {2, 1}, {2, 2}}}));
    objs.push_back(Poly(MAPOBJ_REGION, {{{0, 0}, {65535, 0}, {65535, 10}}}));
    objs.push_back(Poly(MAPOBJ_POLYLINE, {{{0, 0}, {10, 10}, {20, 0}}}));
    objs.push_back(Poly(MAPOBJ_POLYLINE, {{{0, 0}, {10, 10}}, {{100000, 0}, {100010, 5}}}));
    Ring many;
    for (int i = 0; i < 900; ++i) many.push_back({i * 3, (i % 17) * 5});
    objs.push_back(Poly(MAPOBJ_POLYLINE, {many}));
    ObjPtr zl = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {10, 10}, {20, 0}}});
    zl->has_z = zl->has_m = 1;
    void* zb = nullptr;
    void* mb = nullptr;
    ASSERT_EQ(mem_alloc_zeroed(24, &zb, nullptr), 1);
    ASSERT_EQ(mem_alloc_zeroed(24, &mb, nullptr), 1);
    zl->z = static_cast<double*>(zb);
    zl->m = static_cast<double*>(mb);
    for (int i = 0; i < 3; ++i) zl->z[i] = i + 0.5, zl->m[i] = 10 * i;
    objs.push_back(std::move(zl));
    ObjPtr text = MapObjTest::New(MAPOBJ_TEXT);
    ASSERT_EQ(objtext_set_string(text.get(), "Hello map"), 1);
    text->u.text.box = {0, 0, 400, 100};
    text->u.text.height = 100;
    text->u.text.angle = 300;
    text->u.text.label_end = {500, 500};
    text->u.text.flags = 0x20;
    std::strcpy(text->u.text.font.name, "Courier");
    text->mbr = {0, 0, 500, 500};
    objs.push_back(std::move(text));
    objs.push_back(Rect(-10, -10, 10, 10));
    ObjPtr rr = MapObjTest::New(MAPOBJ_ROUNDRECT);
    rr->mbr = {0, 0, 100, 100};
    rr->u.roundrect.corner_width = 70000;
    rr->u.roundrect.corner_height = 20;
    objs.push_back(std::move(rr));
    ObjPtr el = MapObjTest::New(MAPOBJ_ELLIPSE);
    el->mbr = {0, 0, 40000, 20};
    el->brush = BrushStyle{5, 0xFF0000, 0x00FF00, 0};
    objs.push_back(std::move(el));
    ObjPtr mp = MapObjTest::New(MAPOBJ_MULTIPOINT);
    {
      ASSERT_EQ(mapobj_grow_buffer(24, &mp->nodes, nullptr, 0), 1);
      void* nb = mp->nodes;
      IntPoint pts[3] = {{0, 0}, {50, 50}, {100, 0}};
      std::memcpy(nb, pts, 24);
      mp->u.multipoint.count = 3;
      mp->u.multipoint.symbol = g_default_style_set.symbol;
      mp->u.multipoint.center = {50, 50};
      mp->mbr = {0, 0, 100, 50};
    }
    objs.push_back(std::move(mp));

    MapStore s;
    Create(&s, zm);
    for (size_t i = 0; i < objs.size(); ++i) ASSERT_EQ(Insert(&s, objs[i].get(), static_cast<int32_t>(i + 1)), 1) << i;
    Finish(&s);
    ASSERT_EQ(Check(), 0) << zm;
    MapStore r;
    Open(&r, 1);
    MapCursor c;
    ASSERT_EQ(mapstore_cursor_open(&c, &r), 1);
    MapObject obj;
    mapobj_init(&obj, MAPOBJ_NONE);
    for (size_t i = 0; i < objs.size(); ++i) {
      ASSERT_EQ(mapstore_cursor_fetch(&c, &r, static_cast<int32_t>(i + 1), 1, &obj, nullptr), 1) << i;
      MapObject* o = objs[i].get();
      if (!zm && o->type != MAPOBJ_POINT) o->has_z = o->has_m = 0;
      if (!zm && o->type == MAPOBJ_POINT) o->has_z = o->has_m = 0, obj.u.point.z = o->u.point.z;
      EXPECT_EQ(Trace(&obj), Trace(o)) << i << " zm " << zm;
      EXPECT_EQ(obj.has_z, o->has_z) << i;
      if (o->type == MAPOBJ_POLYLINE && o->has_z) {
        for (int k = 0; k < 3; ++k) EXPECT_EQ(obj.z[k], o->z[k]);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(obj.m[k], o->m[k]);
      }
      if (o->type == MAPOBJ_POINT && o->has_z) {
        EXPECT_EQ(obj.u.point.z, 12.5);
      }
    }
    mapstore_cursor_close(&c, &r);
    Finish(&r, false);
    std::remove(map_path().c_str());
    std::remove(id_path().c_str());
  }
}

// ---- refusals and damaged files -------------------------------------------------

TEST_F(mapfile_store, RefusalsLeaveTheFileByteIdentical) {
  MapStore s;
  Create(&s);
  ObjPtr p = Point(1, 1);
  ASSERT_EQ(Insert(&s, p.get(), 1), 1);
  Finish(&s);
  const std::string before = Bytes(map_path()), id_before = Bytes(id_path());
  Open(&s);
  ObjPtr l = Line(0, 0, 5, 5);
  l->pen.width = 2110;
  EXPECT_EQ(Insert(&s, l.get(), 2), 0);
  ObjPtr q = Point(2, 2);
  EXPECT_EQ(Insert(&s, q.get(), 0x40000000), 0);
  EXPECT_EQ(Insert(&s, q.get(), 0), 0);
  Finish(&s);
  EXPECT_EQ(Bytes(map_path()), before);
  EXPECT_EQ(Bytes(id_path()), id_before);
}

// A file with its own record-size table: codes up to 80.
TEST_F(mapfile_store, FileRecordSizeTablesStayWithTheirFile) {
  MapStore s;
  Create(&s);
  ObjPtr p = Point(1, 1);
  ASSERT_EQ(Insert(&s, p.get(), 1), 1);
  Finish(&s);
  std::string b = Bytes(map_path());
  b[256 + 99] = 80;
  b[75] = 12;
  b[14] = static_cast<char>(45 | 0x80);
  // A 12-byte code-75 record ahead of the point: skipped by its length.
  const std::string point = b.substr(1044, 10);
  std::string rec75(12, '\0');
  rec75[0] = 75;
  b.replace(1044, 10, rec75 + point);
  b.erase(1044 + 22, 12);  // the block keeps its size
  Put16(b, 1026, 22);
  std::string id = Bytes(id_path());
  Put32(id, 0, 1024 + 20 + 12);
  PutBytes(id_path(), id);
  PutBytes(map_path(), b);
  MapStore r;
  ASSERT_EQ(mapstore_open(&r, MAPSTORE_FILE, nullptr, 1, -1, tab().c_str()), 1) << Errors();
  EXPECT_EQ(r.file.read_only, 1);
  err_clear();
  EXPECT_EQ(mapstore_begin_access(&r, 2), 0);
  EXPECT_TRUE(err_has_code(kErrMapReadOnly));
  ASSERT_EQ(mapstore_begin_access(&r, 1), 1);
  MapCursor c;
  ASSERT_EQ(mapstore_cursor_open(&c, &r), 1);
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_NONE);
  EXPECT_EQ(mapstore_cursor_fetch(&c, &r, 1, 1, &obj, nullptr), 1) << Errors();
  EXPECT_EQ(mapstore_cursor_next(&c, &r, 1, &obj, nullptr), 1) << Errors();
  EXPECT_EQ(obj.row_id, 1);
  EXPECT_EQ(mapstore_cursor_next(&c, &r, 1, &obj, nullptr), 0);
  mapstore_cursor_close(&c, &r);
  Finish(&r, false);
  // A new map still gets our table.
  std::remove(id_path().c_str());
  MapStore n;
  ASSERT_EQ(mapstore_create(&n, MAPSTORE_FILE, nullptr, -1, &plain_, 0, 0, path("n.TAB").c_str()), 1);
  mapstore_close(&n);
  const std::string nb = Bytes(path("n.MAP"));
  EXPECT_EQ(uint8_t(nb[14]), 41 + 0x80);
  for (int i = 73; i < 256; ++i) EXPECT_EQ(nb[i], 0) << i;
  // The same file claiming only our 72 codes: code 75 is damage.
  b[256 + 99] = 72;
  b[14] = static_cast<char>(41 | 0x80);
  PutBytes(map_path(), b);
  ASSERT_EQ(mapstore_open(&r, MAPSTORE_FILE, nullptr, 0, -1, tab().c_str()), 1) << Errors();
  ASSERT_EQ(mapstore_begin_access(&r, 1), 1);
  ASSERT_EQ(mapstore_cursor_open(&c, &r), 1);
  err_clear();
  EXPECT_EQ(mapstore_cursor_next(&c, &r, 1, &obj, nullptr), 0);
  EXPECT_TRUE(err_has_code(kErrMapDamaged));
  mapstore_cursor_close(&c, &r);
  Finish(&r, false);
  b[256 + 99] = 80;
  // A code-14 length below our layout is refused.
  b[14] = 20;
  PutBytes(map_path(), b);
  err_clear();
  EXPECT_EQ(mapstore_open(&r, MAPSTORE_FILE, nullptr, 0, -1, tab().c_str()), 0);
  EXPECT_TRUE(err_has_code(kErrMapDamaged));
}

// Coordinate data of exactly the room left in a block stays there; one
// more value starts the next block of the chain.
TEST_F(mapfile_store, ChainDataFillingABlockStays) {
  for (int points : {126, 127}) {
    MapStore s;
    Create(&s);
    Ring ring;
    for (int i = 0; i < points; ++i) ring.push_back({i, (i * 7) % 50});
    ObjPtr pl = Poly(MAPOBJ_POLYLINE, {ring});
    ASSERT_EQ(Insert(&s, pl.get(), 1), 1);
    Finish(&s);
    const std::string b = Bytes(map_path());
    ASSERT_EQ(uint8_t(b[1024 + 20]), 7);
    int chain_blocks = 0;
    int32_t used = 0;
    for (size_t pos = 1024; pos + 512 <= b.size(); pos += 512) {
      if (Get16(b, pos) != 3) continue;
      ++chain_blocks;
      if (chain_blocks == 1) used = Get16(b, pos + 2);
    }
    EXPECT_EQ(chain_blocks, points == 126 ? 1 : 2) << points;
    EXPECT_EQ(used, 504) << points;
    EXPECT_EQ(Check(), 0);
    std::remove(map_path().c_str());
    std::remove(id_path().c_str());
  }
}

// Kind 2 keeps objects in a list, kind 3 only a header.
TEST_F(mapfile_store, MemoryAndHeaderKinds) {
  MapStore m;
  ASSERT_EQ(mapstore_create(&m, MAPSTORE_MEMORY, nullptr, 0, &plain_, 0, 0, nullptr), 1);
  ASSERT_EQ(mapstore_begin_write(&w_, &m), 1);
  ObjPtr a = Point(1, 1), b = Poly(MAPOBJ_REGION, {{{0, 0}, {5, 0}, {5, 5}}});
  ASSERT_EQ(Insert(&m, a.get(), 1), 1);
  ASSERT_EQ(Insert(&m, b.get(), 2), 1);
  EXPECT_EQ(mapstore_object_count(&m), 2);
  MapCursor c;
  ASSERT_EQ(mapstore_cursor_open(&c, &m), 1);
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_NONE);
  ASSERT_EQ(mapstore_cursor_fetch(&c, &m, 2, 1, &obj, nullptr), 1);
  EXPECT_EQ(Trace(&obj), Trace(b.get()));
  int n = 0;
  while (mapstore_cursor_next(&c, &m, 1, &obj, nullptr)) ++n;
  EXPECT_EQ(n, 2);
  mapstore_cursor_close(&c, &m);
  ASSERT_EQ(mapstore_delete_object(&w_, &m, 1), 1);
  EXPECT_EQ(mapstore_point_count(&m), 0);
  ASSERT_EQ(mapstore_cursor_open(&c, &m), 1);
  EXPECT_EQ(mapstore_cursor_fetch(&c, &m, 1, 1, &obj, nullptr), 0);
  mapstore_cursor_close(&c, &m);
  mapobj_free(&obj);
  mapstore_end_write(&w_, &m);
  mapstore_close(&m);

  MapStore h;
  ASSERT_EQ(mapstore_create(&h, MAPSTORE_HEADER, nullptr, 0, &plain_, 0, 0, nullptr), 1);
  IntRect r;
  ASSERT_EQ(mapstore_data_bounds(&h, &r), 1);
  EXPECT_EQ(r.x1, -1000000);
  EXPECT_EQ(r.y2, 1000000);
  const IntRect set{1, 2, 3, 4};
  ASSERT_EQ(mapstore_set_bounds(&h, &set), 1);
  ASSERT_EQ(mapstore_data_bounds(&h, &r), 1);
  EXPECT_EQ(r.x2, 3);
  mapstore_close(&h);
}

class mapfile_damaged : public mapfile_store {
 protected:
  // A file of two points and a region with chain data; the patch is applied
  // to its bytes; opening and reading it must fail with an error naming the
  // file, and mapcheck must exit 1.
  void Expect(const std::function<void(std::string&, std::string&)>& patch) {
    MapStore s;
    Create(&s);
    ObjPtr p = Point(1, 1);
    ASSERT_EQ(Insert(&s, p.get(), 1), 1);
    ObjPtr r = Poly(MAPOBJ_REGION, {{{0, 0}, {10, 0}, {10, 10}}});
    ASSERT_EQ(Insert(&s, r.get(), 2), 1);
    ObjPtr q = Point(3, 3);
    ASSERT_EQ(Insert(&s, q.get(), 3), 1);
    Finish(&s);
    ASSERT_EQ(Check(), 0);
    std::string b = Bytes(map_path()), id = Bytes(id_path());
    patch(b, id);
    PutBytes(map_path(), b);
    PutBytes(id_path(), id);
    EXPECT_EQ(Check(), 1);
    err_clear();
    MapStore t;
    if (!mapstore_open(&t, MAPSTORE_FILE, nullptr, 1, -1, tab().c_str())) {
      EXPECT_TRUE(err_has_code(kErrMapDamaged)) << Errors();
      return;
    }
    ASSERT_EQ(mapstore_begin_access(&t, 1), 1);
    MapCursor c;
    ASSERT_EQ(mapstore_cursor_open(&c, &t), 1);
    MapObject obj;
    mapobj_init(&obj, MAPOBJ_NONE);
    while (mapstore_cursor_next(&c, &t, 1, &obj, nullptr)) {
    }
    for (int32_t row = 1; row <= 3; ++row) mapstore_cursor_fetch(&c, &t, row, 1, &obj, nullptr);
    EXPECT_TRUE(err_has_code(kErrMapDamaged)) << Errors();
    mapstore_cursor_close(&c, &t);
    Finish(&t, false);
  }
};

TEST_F(mapfile_damaged, BlockSizeZero) {
  Expect([](std::string& b, std::string&) { Put16(b, 262, 0); });
}
TEST_F(mapfile_damaged, TwentySixEntries) {
  // An index root above the leaf claiming 26 entries.
  Expect([](std::string& b, std::string&) {
    const size_t root = b.size();
    b.resize(root + 512, 0);
    Put16(b, root, 1);
    Put16(b, root + 2, 26);
    Put32(b, root + 4 + 16, 1024);
    Put32(b, 256 + 48, static_cast<int32_t>(root));
    b[256 + 95] = 2;
  });
}
TEST_F(mapfile_damaged, ZeroLengthCode) {
  Expect([](std::string& b, std::string&) { b[1024 + 20] = 0; });
}
TEST_F(mapfile_damaged, ChainCycle) {
  // The region's chain block points at itself with its data cut short.
  Expect([](std::string& b, std::string&) {
    for (size_t pos = 1024; pos + 512 <= b.size(); pos += 512) {
      if (Get16(b, pos) != 3) continue;
      Put32(b, pos + 4, static_cast<int32_t>(pos));
      Put16(b, pos + 2, 8);
    }
  });
}
TEST_F(mapfile_damaged, IdPositionInABlockHeader) {
  Expect([](std::string&, std::string& id) { Put32(id, 4, 1024 + 6); });
}

// A write fault at each write of a split: the insert fails, earlier objects
// still read, the new row's .ID entry is unchanged; once an existing block
// changed the next open reports the damaged index.
TEST_F(mapfile_store, WriteFaultDuringSplitLosesNothing) {
  bool saw_damage = false;
  for (int nth = 1; nth < 40; ++nth) {
    g_split_tie_toggle = 0;
    MapStore s;
    Create(&s);
    int32_t row = 1;
    for (; row <= 49; ++row) {
      ObjPtr p = Point(row, row);
      ASSERT_EQ(Insert(&s, p.get(), row), 1);
    }
    ASSERT_EQ(s.file.depth, 1);
    file_test_fail_write_nth(nth);
    ObjPtr p = Point(50, 50);
    const int16_t ok = Insert(&s, p.get(), 50);
    file_test_fail_write_nth(0);
    mapstore_end_write(&w_, &s);
    mapstore_end_access(&s);
    mapstore_close(&s);
    err_clear();
    if (ok) {
      ASSERT_GT(nth, 3);
      break;
    }
    MapStore r;
    ASSERT_EQ(mapstore_open(&r, MAPSTORE_FILE, nullptr, 1, -1, tab().c_str()), 1) << nth;
    const bool damaged = err_has_code(kErrMapIndexDamaged);
    saw_damage = saw_damage || damaged;
    ASSERT_EQ(mapstore_begin_access(&r, 1), 1);
    MapCursor c;
    ASSERT_EQ(mapstore_cursor_open(&c, &r), 1);
    MapObject obj;
    mapobj_init(&obj, MAPOBJ_NONE);
    for (int32_t k = 1; k <= 49; ++k) EXPECT_EQ(mapstore_cursor_fetch(&c, &r, k, 1, &obj, nullptr), 1) << nth << " " << k;
    EXPECT_EQ(mapstore_cursor_fetch(&c, &r, 50, 1, &obj, nullptr), 0) << nth;
    mapstore_cursor_close(&c, &r);
    Finish(&r, false);
    const std::string id = Bytes(id_path());
    EXPECT_TRUE(id.size() < 200 || Get32(id, 49 * 4) == 0) << nth;
    std::remove(map_path().c_str());
    std::remove(id_path().c_str());
  }
  EXPECT_TRUE(saw_damage);
}

TEST_F(mapfile_store, DumpPrintsRowsAndTraceText) {
  MapStore s;
  Create(&s);
  ObjPtr p = Point(1, 2);
  ObjPtr l = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {10, 10}, {20, 0}}});
  ObjPtr r = Poly(MAPOBJ_REGION, {{{0, 0}, {10, 0}, {10, 10}}});
  ASSERT_EQ(Insert(&s, p.get(), 1), 1);
  ASSERT_EQ(Insert(&s, l.get(), 2), 1);
  ASSERT_EQ(Insert(&s, r.get(), 3), 1);
  Finish(&s);
  const std::string expect = "row 1\n" + Trace(p.get()) + "row 2\n" + Trace(l.get()) + "row 3\n" + Trace(r.get());
  std::string out;
  ASSERT_EQ(Check(&out, true), 0);
  EXPECT_EQ(out, expect);
  EXPECT_EQ(out.find('\r'), std::string::npos);
  EXPECT_NE(out.find("Point 1 2\n"), std::string::npos) << out;
}

}  // namespace
