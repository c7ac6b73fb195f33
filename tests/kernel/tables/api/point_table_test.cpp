// Point tables through the table API: compressed-points tables and keyed
// native tables in longitude/latitude, metadata merged from text, and the
// projection list's name of a coordinate system.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "kernel/coordsys/projlist.h"
#include "kernel/runtime/err.h"
#include "kernel/tables/api/tabapi_fixture.h"

namespace tabapi_test {
namespace {

CPointsDesc KeyDesc(const char* name, int16_t width) {
  CPointsDesc d{};
  std::snprintf(d.key_name, sizeof d.key_name, "%s", name);
  d.key_width = width;
  return d;
}

class PointTable : public TabApiTest {};

TEST_F(PointTable, CompressedPointsWrittenFoundAndOpenedAgain) {
  CPointsDesc d{};
  d.origin_x = 100;
  d.origin_y = -50;
  d.scale_x = d.scale_y = 0.5;
  d.cell_size = 2;
  d.highest = 10;
  std::snprintf(d.key_name, sizeof d.key_name, "   ");  // blanks only: compressed points
  const std::string p = Path("pts.TAB");
  const int32_t slot = TabApiCreatePointTable(p.c_str(), &d);
  ASSERT_NE(slot, 0) << TabApiLastError();
  EXPECT_EQ(api_slot(slot)->kind, 2);
  // (101.5, -52) is cell (3, -4) of the grid.
  const DPoint at{101.5, -52.0};
  ASSERT_EQ(TabApiWritePoint(slot, "3", &at), 1) << TabApiLastError();
  DPoint got{};
  ASSERT_EQ(TabApiFindPoint(slot, "3", &got), 1) << TabApiLastError();
  EXPECT_EQ(got.x, 101.5);
  EXPECT_EQ(got.y, -52.0);
  EXPECT_EQ(TabApiFindPoint(slot, "4", &got), 0);
  EXPECT_EQ(TabApiLastError(), 589);
  int32_t count = 0;
  ASSERT_EQ(TabApiGetPointCount(slot, &count), 1);
  EXPECT_EQ(count, 11);
  CPointsDesc key{};
  ASSERT_EQ(TabApiGetPointTableKey(slot, &key), 1);
  EXPECT_EQ(key.origin_x, 100);
  EXPECT_EQ(key.origin_y, -50);
  EXPECT_EQ(key.scale_x, 0.5);
  EXPECT_EQ(key.cell_size, 2);
  EXPECT_EQ(key.highest, 10);
  EXPECT_STREQ(key.key_name, "");
  char path[kApiPathSize];
  ASSERT_EQ(TabApiGetTablePath(slot, path), 1);
  EXPECT_EQ(std::filesystem::path(path).extension(), ".cpf");
  // Row entries take no compressed-points slot; table-wide ones neither.
  EXPECT_EQ(TabApiGetRowCount(slot, &count), 0);
  EXPECT_EQ(TabApiLastError(), 683);
  EXPECT_EQ(TabApiCanHoldMemo(slot), 0);
  EXPECT_EQ(TabApiLastError(), 683);
  ASSERT_EQ(TabApiClosePointTable(slot), 1);
  EXPECT_EQ(api_slot_check(slot, 0, 0), 0);

  // Opened again by its metadata as a compressed-points table.
  const int32_t again = TabApiOpenAnyTable(p.c_str(), 1);
  ASSERT_NE(again, 0) << TabApiLastError();
  EXPECT_EQ(api_slot(again)->kind, 2);
  char text[32] = {};
  ASSERT_EQ(TabApiReadPoint(again, 3, text, &got), 1) << TabApiLastError();
  EXPECT_STREQ(text, "3");  // one digit: the decimal logarithm of 10
  EXPECT_EQ(got.x, 101.5);
  EXPECT_EQ(got.y, -52.0);
  EXPECT_EQ(TabApiReadPoint(again, 5, text, &got), 0);
  // Opened for reading, it takes no point.
  EXPECT_EQ(TabApiWritePoint(again, "5", &at), 0);
  EXPECT_EQ(TabApiLastError(), 891);
  // A second open of the same table is refused; the end frees it.
  EXPECT_EQ(TabApiOpenAnyTable(p.c_str(), 1), 0);
  EXPECT_EQ(TabApiLastError(), 362);
}

TEST_F(PointTable, KeyedNativeTableWritesUpdatesAndFinds) {
  const std::string p = Path("sites.TAB");
  const CPointsDesc d = KeyDesc("SITE", 8);
  const int32_t slot = TabApiCreatePointTable(p.c_str(), &d);
  ASSERT_NE(slot, 0) << TabApiLastError();
  EXPECT_EQ(api_slot(slot)->kind, 3);
  const DPoint a{10.25, 20.5}, b{-5.0, 7.75}, a2{11.0, -21.5};
  ASSERT_EQ(TabApiWritePoint(slot, "A1", &a), 1) << TabApiLastError();
  ASSERT_EQ(TabApiWritePoint(slot, "B2", &b), 1) << TabApiLastError();
  ASSERT_EQ(TabApiWritePoint(slot, "A1", &a2), 1) << TabApiLastError();  // the same key: its row moves
  int32_t count = 0;
  ASSERT_EQ(TabApiGetPointCount(slot, &count), 1);
  EXPECT_EQ(count, 2);
  DPoint got{};
  ASSERT_EQ(TabApiFindPoint(slot, "A1", &got), 1) << TabApiLastError();
  EXPECT_NEAR(got.x, 11.0, 1e-6);
  EXPECT_NEAR(got.y, -21.5, 1e-6);
  EXPECT_EQ(TabApiFindPoint(slot, "ZZ", &got), 0);
  EXPECT_EQ(TabApiLastError(), 589);
  char text[kApiRowTextSize];
  ASSERT_EQ(TabApiReadPoint(slot, 2, text, &got), 1) << TabApiLastError();
  EXPECT_STREQ(text, "\"B2\"");
  EXPECT_NEAR(got.x, -5.0, 1e-6);
  EXPECT_NEAR(got.y, 7.75, 1e-6);
  CPointsDesc key{};
  ASSERT_EQ(TabApiGetPointTableKey(slot, &key), 1);
  EXPECT_EQ(key.origin_x, 0);
  EXPECT_EQ(key.scale_x, 1.0);
  EXPECT_EQ(key.scale_y, 1.0);
  EXPECT_EQ(key.cell_size, 4);
  EXPECT_EQ(key.prefix_size, 8);
  EXPECT_EQ(key.highest, 0);
  EXPECT_STREQ(key.key_name, "SITE");
  // Row entries take the slot only as a plain table.
  EXPECT_EQ(TabApiGetRowCount(slot, &count), 0);
  EXPECT_EQ(TabApiLastError(), 683);
  ASSERT_EQ(TabApiClosePointTable(slot), 1) << TabApiLastError();

  // The rows hold point objects with the point table's symbol.
  const int32_t plain = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_NE(plain, 0);
  EXPECT_EQ(TabApiClosePointTable(plain), 0);
  EXPECT_EQ(TabApiLastError(), 683);
  ObjRecord r{};
  ASSERT_EQ(TabApiReadRowText(plain, 1, text, &r), 1);
  EXPECT_STREQ(text, "\"A1\"");
  EXPECT_EQ(r.code, 201);
  EXPECT_EQ(r.u.point.symbol.vector.shape, 33);
  EXPECT_EQ(r.u.point.symbol.vector.colour, 0u);
  EXPECT_EQ(r.u.point.symbol.vector.size, 12);
  CoordSysInfo cs{};
  ASSERT_EQ(TabApiGetCoordSysInfo(plain, &cs), 1);
  char clause[512];
  ASSERT_EQ(TabApiCoordSysText(&cs, clause), 1);
  EXPECT_NE(std::string(clause).find("Earth Projection 1, 104"), std::string::npos) << clause;
  ASSERT_EQ(TabApiCloseTableCommit(plain), 1);

  // A native table opened by any-table open becomes a point table.
  const int32_t again = TabApiOpenAnyTable(p.c_str(), 2);
  ASSERT_NE(again, 0) << TabApiLastError();
  EXPECT_EQ(api_slot(again)->kind, 3);
  ASSERT_EQ(TabApiFindPoint(again, "B2", &got), 1) << TabApiLastError();
  EXPECT_NEAR(got.y, 7.75, 1e-6);
}

TEST_F(PointTable, IntegerKeysAndRowsWithoutPoints) {
  const CPointsDesc d = KeyDesc("NUM", 0);
  const std::string p = Path("nums.TAB");
  const int32_t slot = TabApiCreatePointTable(p.c_str(), &d);
  ASSERT_NE(slot, 0) << TabApiLastError();
  CPointsDesc key{};
  ASSERT_EQ(TabApiGetPointTableKey(slot, &key), 1);
  EXPECT_EQ(key.prefix_size, 0);
  EXPECT_EQ(key.highest, 2147483647);
  const DPoint at{1, 2};
  ASSERT_EQ(TabApiWritePoint(slot, "7", &at), 1) << TabApiLastError();
  char text[kApiRowTextSize];
  DPoint got{};
  ASSERT_EQ(TabApiReadPoint(slot, 1, text, &got), 1);
  EXPECT_STREQ(text, "7");
  ASSERT_EQ(TabApiClosePointTable(slot), 1);

  // A table whose rows carry no object: its points are refused with 302.
  const std::string bare = Make("bare.TAB", {Col("K", COLTYPE_CHAR, 4)}, {"\"x\""}, 2, 1);
  const int32_t s = TabApiOpenAnyTable(bare.c_str(), 1);
  ASSERT_NE(s, 0) << TabApiLastError();
  EXPECT_EQ(TabApiReadPoint(s, 1, text, &got), 0);
  EXPECT_EQ(TabApiLastError(), 302);
  EXPECT_EQ(TabApiFindPoint(s, "x", &got), 0);
  EXPECT_EQ(TabApiLastError(), 302);
  EXPECT_EQ(TabApiFindPoint(s, "none", &got), 0);
  EXPECT_EQ(TabApiLastError(), 589);
  // Writing needs the table opened for writing.
  EXPECT_EQ(TabApiWritePoint(s, "y", &at), 0);
  EXPECT_EQ(TabApiLastError(), 891);
}

TEST_F(PointTable, LoadedMetadataMergesIntoTheTree) {
  const std::string p = Make("m.TAB", {Col("ID", COLTYPE_INTEGER, 4)}, {"1"});
  int32_t slot = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_NE(slot, 0);
  EXPECT_EQ(TabApiLoadMetadata(slot, "\"\\A\" = \"1\""), 0);
  EXPECT_EQ(TabApiLastError(), 891);
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_NE(slot, 0);
  TableDef* t = api_slot(slot)->table;
  // Without a tree there is nothing to merge into.
  metadata_free(t->metadata);
  t->metadata = nullptr;
  EXPECT_EQ(TabApiLoadMetadata(slot, "\"\\A\" = \"1\""), 0);
  EXPECT_EQ(TabApiLastError(), 1927);
  ASSERT_EQ(TabApiSetMetadata(slot, "\\A", "1"), 1);
  ASSERT_EQ(TabApiLoadMetadata(slot, "\"\\B\" = \"two\"\n  \"\\C\\D\" = \"x y\"\n"), 1) << TabApiLastError();
  char value[64];
  for (const auto& [k, v] : {std::pair<const char*, const char*>{"\\A", "1"}, {"\\B", "two"}, {"\\C\\D", "x y"}}) {
    ASSERT_EQ(TabApiGetMetadata(slot, k, value, sizeof value), 1) << k;
    EXPECT_STREQ(value, v);
  }
  // Text that is no entries is refused.
  EXPECT_EQ(TabApiLoadMetadata(slot, "\"\\B\" \"three\""), 0);
  EXPECT_EQ(TabApiLastError(), 1928);
  EXPECT_EQ(TabApiLoadMetadata(slot, (std::string("\"\\L\" = \"") + std::string(3000, 'v') + "\"").c_str()), 0);
  EXPECT_EQ(TabApiLastError(), 1928);
  // A table of version 290 whose tree stays empty goes back to 100.
  metadata_free(t->metadata);
  t->metadata = metadata_new();
  t->version = t->read_entire = t->edit = 290;
  ASSERT_EQ(TabApiLoadMetadata(slot, ""), 1);
  EXPECT_EQ(t->version, 100);
  EXPECT_EQ(t->read_entire, 100);
  EXPECT_EQ(t->edit, 100);
  t->version = t->read_entire = t->edit = 290;
  ASSERT_EQ(TabApiLoadMetadata(slot, "\"\\K\" = \"v\""), 1);
  EXPECT_EQ(t->edit, 290);
}

// An index built while the new table is still open takes the keys of the
// rows inserted after it, and keeps them over the close.
TEST_F(PointTable, IndexBuiltInTheCreatingOpenKeepsLaterKeys) {
  const std::string p = Path("k.TAB");
  const ColumnInfo c = Col("K", COLTYPE_CHAR, 8);
  int32_t slot = TabApiCreateTableFromColumns(p.c_str(), 2, &c, 1, nullptr);
  ASSERT_NE(slot, 0);
  ASSERT_EQ(TabApiBuildFieldIndex(slot, 1), 1);
  int32_t row = 0;
  ASSERT_EQ(TabApiInsertRow(slot, "\"Q\"", nullptr, &row), 1);
  ASSERT_EQ(TabApiInsertRow(slot, "\"A1\"", nullptr, &row), 1);
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  slot = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_NE(slot, 0);
  char k[] = "A1";
  row = 0;
  EXPECT_EQ(TabApiFindRow(slot, 1, k, 1, &row), 1);
  EXPECT_EQ(row, 2);
}

// The name comes from a projection list file found in the working folder.
TEST_F(PointTable, CoordSysNameFromAListFile) {
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  std::ofstream(Path("VEVIRORU.PRJ"), std::ios::binary)
      << "\"--- Headings ---\"\n\"Plain Degrees\\p4326\",1,104\n\"Mercator Here\",10,104,7,0\n";
  projlist_close_file();
  CoordSysInfo cs{};
  ASSERT_EQ(TabApiCoordSysFromText("CoordSys Earth Projection 1, 104", &cs), 1);
  char name[256] = "x";
  EXPECT_EQ(TabApiCoordSysName(&cs, name), 1);
  EXPECT_STREQ(name, "Plain Degrees");
  ASSERT_EQ(TabApiCoordSysFromText("CoordSys Earth Projection 1, 33", &cs), 1);
  EXPECT_EQ(TabApiCoordSysName(&cs, name), 0);
  EXPECT_STREQ(name, "");
  projlist_close_file();
  std::filesystem::current_path(old);
}

}  // namespace
}  // namespace tabapi_test
