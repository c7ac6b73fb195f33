// The spatial index of map files: first block, fits and splits, root
// splits, deleted records, the free chain, and a model test against brute
// force.
#include <map>
#include <random>

#include "kernel/mapobjects/mapfile_fixture.h"
#include "tools/mapcheck/check.h"

namespace {

class mapfile_index : public MapFileTest {
 protected:
  int Check(bool with_id = true) {
    std::string m = map_path(), i = id_path();
    std::vector<char*> argv = {const_cast<char*>("mapcheck"), m.data()};
    if (with_id) argv.push_back(i.data());
    FILE* null = std::fopen("/dev/null", "w");
    const int rc = mapcheck_main(static_cast<int>(argv.size()), argv.data(), null, null);
    std::fclose(null);
    return rc;
  }
  // Rows found by a search over an area, sorted.
  std::vector<int32_t> Search(MapStore* s, const IntRect& area) {
    MapCursor c;
    EXPECT_EQ(mapcursor_open_area(&c, s, &area, nullptr, 0, nullptr), 1);
    MapObject obj;
    mapobj_init(&obj, MAPOBJ_NONE);
    std::vector<int32_t> rows;
    while (mapstore_cursor_next(&c, s, 1, &obj, nullptr)) rows.push_back(obj.row_id);
    mapstore_cursor_close(&c, s);
    std::sort(rows.begin(), rows.end());
    return rows;
  }
};

TEST_F(mapfile_index, FirstInsertMakesOneBlockAt1024) {
  MapStore s;
  Create(&s);
  ObjPtr p = Point(100, 200);
  ASSERT_EQ(Insert(&s, p.get(), 1), 1);
  EXPECT_EQ(s.file.root, 1024);
  EXPECT_EQ(s.file.depth, 1);
  EXPECT_EQ(s.file.bounds.x1, 100);
  EXPECT_EQ(s.file.bounds.y2, 200);
  Finish(&s);
  const std::string b = Bytes(map_path());
  // The leaf, then a style block for the point's symbol (only default pens
  // and brushes are written as index 0).
  EXPECT_EQ(b.size(), 2048u);
  EXPECT_EQ(Get16(b, 1536), 5);
  EXPECT_EQ(Get16(b, 1024), 2);
  EXPECT_EQ(Get16(b, 1026), 10);
  EXPECT_EQ(Get32(b, 1028), 100);
  EXPECT_EQ(Get32(b, 1032), 200);
  EXPECT_EQ(Get32(Bytes(id_path()), 0), 1024 + 20);
  EXPECT_EQ(Check(), 0);
}

// 44 points and 3 lines fill 482 bytes; a 10-byte point then fits exactly
// (20 + 482 + 10 = 512). With one byte more in use (a 15-byte rectangle for
// a line) the point splits the block.
TEST_F(mapfile_index, ExactFitFitsAndOneByteMoreSplits) {
  for (int extra = 0; extra < 2; ++extra) {
    MapStore s;
    Create(&s);
    int32_t row = 1;
    ObjPtr first = Point(0, 0);
    ASSERT_EQ(Insert(&s, first.get(), row++), 1);
    for (int i = 1; i < 44; ++i) {
      ObjPtr p = Point(i, i);
      ASSERT_EQ(Insert(&s, p.get(), row++), 1);
    }
    for (int i = 0; i < 3; ++i) {
      ObjPtr o = (extra && i == 0) ? Rect(0, 0, 5, 5) : Line(0, 0, i + 1, 9);
      ASSERT_EQ(Insert(&s, o.get(), row++), 1);
    }
    EXPECT_EQ(s.file.depth, 1);
    ObjPtr last = Point(3, 4);
    ASSERT_EQ(Insert(&s, last.get(), row++), 1);
    EXPECT_EQ(s.file.depth, extra ? 2 : 1) << extra;
    EXPECT_EQ(Search(&s, {-100, -100, 100, 100}).size(), 48u);
    Finish(&s);
    EXPECT_EQ(Check(), 0);
    std::remove(map_path().c_str());
    std::remove(id_path().c_str());
  }
}

TEST_F(mapfile_index, TwentySixthEntrySplitsTheRoot) {
  MapStore s;
  Create(&s);
  int max_entries = 0;
  int32_t row = 1;
  while (s.file.depth < 3 && row < 20000) {
    ObjPtr p = Point((row * 7919) % 100000, (row * 104729) % 100000);
    ASSERT_EQ(Insert(&s, p.get(), row), 1) << row;
    ++row;
    if (s.file.depth == 2) {
      MapBlock* b = nullptr;
      ASSERT_EQ(mapblock_alloc(&s.file, &b), 1);
      ASSERT_EQ(mapblock_read(&s.file, b, s.file.root), 1);
      max_entries = std::max<int>(max_entries, le_get16(b->data + 2));
      mapblock_free(&b);
    }
  }
  EXPECT_EQ(max_entries, 25);
  EXPECT_EQ(s.file.depth, 3);
  MapBlock* b = nullptr;
  ASSERT_EQ(mapblock_alloc(&s.file, &b), 1);
  ASSERT_EQ(mapblock_read(&s.file, b, s.file.root), 1);
  EXPECT_EQ(le_get16(b->data + 2), 2);
  mapblock_free(&b);
  EXPECT_EQ(Search(&s, {INT32_MIN + 1, INT32_MIN + 1, INT32_MAX, INT32_MAX}).size(), static_cast<size_t>(row - 1));
  Finish(&s);
  EXPECT_EQ(Check(), 0);
}

TEST_F(mapfile_index, DeletedRecordIsSkippedAndKeepsItsBytes) {
  MapStore s;
  Create(&s);
  for (int32_t r = 1; r <= 3; ++r) {
    ObjPtr p = Point(r, r);
    ASSERT_EQ(Insert(&s, p.get(), r), 1);
  }
  ASSERT_EQ(mapstore_delete_object(&w_, &s, 2), 1);
  EXPECT_EQ(Search(&s, {0, 0, 10, 10}), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(mapstore_point_count(&s), 2);
  Finish(&s);
  const std::string b = Bytes(map_path());
  EXPECT_EQ(Get16(b, 1026), 30);
  EXPECT_EQ(Get32(b, 1024 + 20 + 10 + 1), 2 | 0x40000000);
  EXPECT_EQ(Get32(Bytes(id_path()), 4), 0);
  EXPECT_EQ(Check(), 0);
}

TEST_F(mapfile_index, ReleasingTheLastBlockShortensOthersAreReused) {
  MapStore s;
  Create(&s);
  MapFile* mf = &s.file;
  int32_t a = 0, b = 0, c = 0;
  ASSERT_EQ(mapblock_new_position(mf, &a), 1);
  ASSERT_EQ(mapblock_new_position(mf, &b), 1);
  ASSERT_EQ(mapblock_new_position(mf, &c), 1);
  EXPECT_EQ(a, 1024);
  EXPECT_EQ(c, 2048);
  EXPECT_EQ(file_get_size(mf->file), 2560);
  ASSERT_EQ(mapblock_release_position(mf, c), 1);
  EXPECT_EQ(file_get_size(mf->file), 2048);
  EXPECT_EQ(mf->free_head, 0);
  ASSERT_EQ(mapblock_release_position(mf, a), 1);
  EXPECT_EQ(mf->free_head, 1024);
  int32_t d = 0;
  ASSERT_EQ(mapblock_new_position(mf, &d), 1);
  EXPECT_EQ(d, 1024);
  EXPECT_EQ(mf->free_head, 0);
  Finish(&s);
}

// Random inserts, updates and deletes, reopen and pack: searches agree with
// brute force, every row fetches its object, the counters agree, mapcheck
// passes.
TEST_F(mapfile_index, ModelAgreesWithBruteForce) {
  std::mt19937 rng(7);
  std::map<int32_t, IntRect> model;
  MapStore s;
  Create(&s);
  auto verify = [&](MapStore* st) {
    std::uniform_int_distribution<int32_t> u(-60000, 60000);
    for (int q = 0; q < 5; ++q) {
      IntRect area{u(rng), u(rng), 0, 0};
      area.x2 = area.x1 + 30000;
      area.y2 = area.y1 + 30000;
      std::vector<int32_t> expect;
      for (auto& [row, r] : model)
        if (rect_overlaps(&r, &area)) expect.push_back(row);
      EXPECT_EQ(Search(st, area), expect);
    }
    MapCursor c;
    ASSERT_EQ(mapstore_cursor_open(&c, st), 1);
    MapObject obj;
    mapobj_init(&obj, MAPOBJ_NONE);
    for (auto& [row, r] : model) {
      ASSERT_EQ(mapstore_cursor_fetch(&c, st, row, 1, &obj, nullptr), 1) << row;
      EXPECT_EQ(obj.mbr.x1, r.x1);
      EXPECT_EQ(obj.mbr.y2, r.y2);
    }
    mapstore_cursor_close(&c, st);
    EXPECT_EQ(mapstore_object_count(st), static_cast<int32_t>(model.size()));
  };
  std::uniform_int_distribution<int32_t> coord(-50000, 50000), size(0, 70000), kind(0, 9);
  for (int step = 0; step < 1500; ++step) {
    const int32_t row = 1 + static_cast<int32_t>(rng() % 600);
    const int k = kind(rng);
    if (k == 0 && model.count(row)) {
      ASSERT_EQ(mapstore_delete_object(&w_, &s, row), 1);
      model.erase(row);
      continue;
    }
    const int32_t x = coord(rng), y = coord(rng);
    ObjPtr o = k < 5 ? Point(x, y) : (k < 8 ? Line(x, y, x + size(rng) / 8, y + size(rng)) : Rect(x, y, x + size(rng), y + 10));
    if (model.count(row)) ASSERT_EQ(mapstore_update_object(&w_, &s, o.get(), row, -1), 1);
    else ASSERT_EQ(Insert(&s, o.get(), row), 1);
    model[row] = o->mbr;
  }
  verify(&s);
  Finish(&s);
  EXPECT_EQ(Check(), 0);
  MapStore r;
  Open(&r, 1);
  verify(&r);
  EXPECT_EQ(mapstore_end_access(&r), 1);
  ASSERT_EQ(mapstore_pack(&r), 1) << Errors();
  ASSERT_EQ(mapstore_begin_access(&r, 1), 1);
  verify(&r);
  Finish(&r, false);
  EXPECT_EQ(Check(), 0);
}

}  // namespace
