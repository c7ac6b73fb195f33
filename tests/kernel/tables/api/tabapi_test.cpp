// The table API's entries: start and end, slots, the entry protocol with its
// fatal guard, character sets, row texts, key searches and geometry reads of
// tables without a map file.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/tables/api/tabapi_fixture.h"

namespace tabapi_test {
namespace {

class TabApi : public TabApiTest {
 protected:
  std::string Plain(const std::string& name) {
    return Make(name, {Col("ID", COLTYPE_INTEGER, 4), Col("NAME", COLTYPE_CHAR, 10)},
                {"1\t\"ABC\"", "2\t\"x\"\"y\"", "3\t\"ABC\""}, 2, 2);
  }
};

TEST(TabApiStart, RefusedVersionThenAccepted) {
  EXPECT_EQ(TabApiInit(6509), 0);
  EXPECT_EQ(TabApiLastError(), 1930);
  EXPECT_EQ(TabApiIsStarted(), 0);
  EXPECT_EQ(TabApiInit(6510), 1);
  EXPECT_EQ(TabApiLastError(), 0);
  EXPECT_EQ(TabApiTerminate(), 1);
  EXPECT_EQ(TabApiLastError(), 1929);
  // Fixed answers that need no start.
  int32_t a = -1, b = -1, c = -1;
  EXPECT_EQ(TabApiGetLimits(&a, &b, &c), 1);
  EXPECT_EQ((std::vector<int32_t>{a, b, c}), (std::vector<int32_t>{9, 0, 0}));
}

TEST_F(TabApi, TwoStartsOneEndLeaveTablesOpen) {
  const std::string p = Plain("t.TAB");
  ASSERT_EQ(TabApiInit(6510), 1);
  const int32_t slot = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_EQ(slot, 1);
  EXPECT_EQ(TabApiTerminate(), 1);
  int32_t rows = 0;
  EXPECT_EQ(TabApiGetRowCount(slot, &rows), 1);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(TabApiTerminate(), 1);
  EXPECT_EQ(TabApiIsStarted(), 0);
  // The last end closed it: a new start opens the same path again.
  ASSERT_EQ(TabApiInit(6510), 1);
  EXPECT_EQ(TabApiOpenTableFile(p.c_str(), 1), 1);
}

TEST_F(TabApi, SlotsGrowByTenAndAreReused) {
  std::vector<int32_t> slots;
  for (int i = 0; i < 11; ++i) {
    const std::string p = Plain("t" + std::to_string(i) + ".TAB");
    slots.push_back(TabApiOpenTableFile(p.c_str(), 1));
  }
  EXPECT_EQ(slots.back(), 11);
  EXPECT_EQ(tabapi_state().slot_count, 20);
  EXPECT_EQ(TabApiCloseTableCommit(3), 1);
  const std::string p = Plain("again.TAB");
  EXPECT_EQ(TabApiOpenTableFile(p.c_str(), 1), 3);
  // The same path twice; the same key registered twice.
  EXPECT_EQ(TabApiOpenTableFile(p.c_str(), 1), 0);
  EXPECT_EQ(TabApiLastError(), 362);
  err_clear();
  EXPECT_EQ(table_register(api_slot(3)->key, nullptr, nullptr, 1, 1, 0), 0);
  EXPECT_EQ(err_first_code(), 432);
}

TEST_F(TabApi, BadSlotsAndLongPaths) {
  const std::string p = Plain("t.TAB");
  ASSERT_EQ(TabApiOpenTableFile(p.c_str(), 1), 1);
  int32_t n = 0;
  for (int32_t slot : {0, -1, 11, 2}) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(TabApiGetRowCount(slot, &n), 0);
    EXPECT_EQ(TabApiLastError(), 644);
  }
  EXPECT_EQ(TabApiInsertRow(1, "4\t\"z\"", nullptr, &n), 0);
  EXPECT_EQ(TabApiLastError(), 891);
  // A path that does not fit 260 bytes is refused, never cut.
  const std::string longPath = dir + "/" + std::string(300, 'a') + ".TAB";
  EXPECT_EQ(TabApiOpenTableFile(longPath.c_str(), 1), 0);
  EXPECT_EQ(TabApiLastError(), 644);
}

void Fatal() { kernel_fatal("seam"); }

TEST_F(TabApi, FatalErrorInANestedEntryEndsTheOutermost) {
  const std::string p = Plain("t.TAB");
  ASSERT_EQ(TabApiOpenTableFile(p.c_str(), 1), 1);
  tabapi_set_row_seam(Fatal);
  char text[4000];
  EXPECT_EQ(TabApiReadRow(1, 1, text, nullptr, nullptr, nullptr), 0);
  tabapi_set_row_seam(nullptr);
  EXPECT_EQ(TabApiLastError(), 479);
  EXPECT_EQ(kernel_guard_depth(), 0);
  EXPECT_EQ(TabApiReadRow(1, 1, text, nullptr, nullptr, nullptr), 1);
}

TEST_F(TabApi, TrapFlagAndCharsets) {
  EXPECT_EQ(TabApiFatalTrapFlag(0), 0);
  EXPECT_EQ(TabApiFatalTrapFlag(1), 1);
  EXPECT_EQ(TabApiFatalTrapFlag(1), 0);
  char name[40] = "x";
  const int32_t current = TabApiGetCharsetName(57, name);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(TabApiSetCharset(-1), 0);
  EXPECT_EQ(TabApiLastError(), 1283);
  const std::string p = Plain("t.TAB");
  ASSERT_EQ(TabApiOpenTableFile(p.c_str(), 1), 1);
  EXPECT_EQ(TabApiSetCharset(current == 1 ? 2 : 1), 0);
  EXPECT_EQ(TabApiLastError(), 1924);
  EXPECT_EQ(TabApiGetCharsetName(-1, nullptr), current);
}

TEST_F(TabApi, RowTextsQuoteTextsUnlessRaw) {
  const std::string p = Plain("t.TAB");
  ASSERT_EQ(TabApiOpenTableFile(p.c_str(), 1), 1);
  char text[4000];
  ASSERT_EQ(TabApiReadRowText(1, 2, text, nullptr), 1);
  EXPECT_STREQ(text, "2\t\"x\"\"y\"");
  TabApiSetRawText(1);
  ASSERT_EQ(TabApiReadRowText(1, 2, text, nullptr), 1);
  EXPECT_STREQ(text, "2\tx\"y");
  TabApiSetRawText(0);
  EXPECT_EQ(TabApiReadRowText(1, 4, text, nullptr), 0);
  EXPECT_EQ(TabApiLastError(), 1925);
}

// A row needing 3,999 characters with its quotes fails with nothing
// pushed; one character less is read whole.
TEST_F(TabApi, RowTextsThatDoNotFitFail) {
  std::vector<ColumnInfo> cols;
  for (int i = 0; i < 16; ++i) cols.push_back(Col(("C" + std::to_string(i)).c_str(), COLTYPE_CHAR, 250));
  // 16 values of 248 quoted as 250 with 15 TABs: 4,015; trimming the last
  // to w characters gives 3,765 + w + 2.
  auto row = [](int last) {
    std::string r;
    for (int i = 0; i < 15; ++i) r += "\"" + std::string(248, 'a') + "\"\t";
    return r + "\"" + std::string(static_cast<size_t>(last), 'b') + "\"";
  };
  const std::string p = Make("w.TAB", cols, {row(230), row(231)});
  ASSERT_EQ(TabApiOpenTableFile(p.c_str(), 1), 1);
  char text[4000];
  ASSERT_EQ(TabApiReadRowText(1, 1, text, nullptr), 1);
  EXPECT_EQ(std::strlen(text), 3997u);
  EXPECT_EQ(TabApiReadRowText(1, 2, text, nullptr), 0);
  EXPECT_EQ(TabApiLastError(), 0);
  EXPECT_LT(std::strlen(text), 3999u);
}

TEST_F(TabApi, FindRowFirstAndNext) {
  const std::string p = Plain("t.TAB");
  ASSERT_EQ(TabApiOpenTableFile(p.c_str(), 1), 1);
  int32_t row = -1;
  char abc[] = "ABC", quoted[] = "\"ABC\"", none[] = "none";
  EXPECT_EQ(TabApiFindRow(1, 2, abc, 2, &row), 3);
  EXPECT_EQ(TabApiFindRow(1, 2, abc, 1, &row), 1);
  EXPECT_EQ(row, 1);
  EXPECT_EQ(TabApiFindRow(1, 2, abc, 2, &row), 1);
  EXPECT_EQ(row, 3);
  EXPECT_EQ(TabApiFindRow(1, 2, abc, 2, &row), 2);
  EXPECT_EQ(TabApiFindRow(1, 2, quoted, 1, &row), 1);
  EXPECT_EQ(row, 1);
  EXPECT_EQ(TabApiFindRow(1, 2, none, 1, &row), 2);
  EXPECT_EQ(row, 0);
  EXPECT_EQ(TabApiFindRow(1, 1, abc, 1, &row), 0);
  EXPECT_EQ(TabApiLastError(), 873);
  EXPECT_EQ(TabApiFindRow(1, 257, abc, 1, &row), 0);
  EXPECT_EQ(TabApiLastError(), 644);
}

// Rows inserted and updated after the index was built are found through
// it: an insert adds its keys, an update moves them; a key that differs
// only after the field's width is not found.
TEST_F(TabApi, FindRowSeesInsertsAndUpdatesAfterTheBuild) {
  const std::string p = Plain("t.TAB");
  const int32_t slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_EQ(slot, 1);
  int32_t row = 0;
  ASSERT_EQ(TabApiInsertRow(slot, "4\t\"ABC\"", nullptr, &row), 1);
  ASSERT_EQ(row, 4);
  ASSERT_EQ(TabApiUpdateRow(slot, 1, "1\t\"XYZ\"", nullptr), 1);
  char abc[] = "ABC", xyz[] = "XYZ", longer[] = "ABCDEFGHIJK";
  std::vector<int32_t> found;
  for (int32_t mode = 1; TabApiFindRow(slot, 2, abc, mode, &row) == 1; mode = 2) found.push_back(row);
  EXPECT_EQ(found, (std::vector<int32_t>{3, 4}));
  EXPECT_EQ(TabApiFindRow(slot, 2, xyz, 1, &row), 1);
  EXPECT_EQ(row, 1);
  EXPECT_EQ(TabApiFindRow(slot, 2, xyz, 2, &row), 2);
  EXPECT_EQ(TabApiFindRow(slot, 2, longer, 1, &row), 2);
  EXPECT_EQ(row, 0);
  // Committed and opened again, the index file keeps them.
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  ASSERT_EQ(TabApiOpenTableFile(p.c_str(), 1), 1);
  found.clear();
  for (int32_t mode = 1; TabApiFindRow(1, 2, abc, mode, &row) == 1; mode = 2) found.push_back(row);
  EXPECT_EQ(found, (std::vector<int32_t>{3, 4}));
}

// A dropped index: searches on the field fail with 873, the index file goes
// with the last index, and the definition no longer names one.
TEST_F(TabApi, DroppedIndexLeavesNoIndexFile) {
  const std::string p = Plain("t.TAB");
  int32_t slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_NE(slot, 0);
  EXPECT_GT(TabApiGetFieldIndexNumber(slot, 2), 0);
  EXPECT_EQ(TabApiDropFieldIndex(slot, 1), 0);
  EXPECT_EQ(TabApiLastError(), 873);
  ASSERT_EQ(TabApiDropFieldIndex(slot, 2), 1) << TabApiLastError();
  EXPECT_FALSE(std::filesystem::exists(Path("t.IND")));
  char abc[] = "ABC";
  int32_t row = 0;
  EXPECT_EQ(TabApiFindRow(slot, 2, abc, 1, &row), 0);
  EXPECT_EQ(TabApiLastError(), 873);
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  slot = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_NE(slot, 0) << TabApiLastError();
  EXPECT_EQ(TabApiGetFieldIndexNumber(slot, 2), 0);
  int32_t rows = 0;
  ASSERT_EQ(TabApiGetRowCount(slot, &rows), 1);
  EXPECT_EQ(rows, 3);
}

std::vector<std::string> g_seen;
void Seen(const char* key, const char* value) { g_seen.push_back(std::string(key) + "=" + value); }

// Metadata set through a writable slot, saved into the definition file and
// read back; the first key set also marks the table writable ("\IsReadOnly"
// "FALSE"); a table whose metadata marks it read-only takes no more keys.
TEST_F(TabApi, MetadataSetSavedAndReadBack) {
  const std::string p = Plain("t.TAB");
  int32_t slot = TabApiOpenTableFile(p.c_str(), 1);
  char out[64];
  EXPECT_EQ(TabApiSetMetadata(slot, "\\Owner", "survey"), 0);
  EXPECT_EQ(TabApiLastError(), 891);
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_EQ(TabApiSetMetadata(slot, "\\Owner", "survey"), 1) << TabApiLastError();
  ASSERT_EQ(TabApiSetMetadata(slot, "\\Source\\Year", "2024"), 1);
  EXPECT_EQ(TabApiSetMetadata(slot, "\\Bad\"Key", "x"), 0);
  ASSERT_EQ(TabApiSaveMetadata(slot), 1) << TabApiLastError();
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_EQ(TabApiGetMetadata(slot, "\\Owner", out, sizeof out), 1);
  EXPECT_STREQ(out, "survey");
  ASSERT_EQ(TabApiGetMetadata(slot, "\\IsReadOnly", out, sizeof out), 1);
  EXPECT_STREQ(out, "FALSE");
  EXPECT_EQ(TabApiGetMetadata(slot, "\\Missing", out, sizeof out), 0);
  EXPECT_STREQ(out, "");
  g_seen.clear();
  ASSERT_EQ(TabApiEnumMetadata(slot, "\\Source", Seen), 1);
  EXPECT_EQ(g_seen, std::vector<std::string>{"\\Source\\Year=2024"});
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  // Without "\IsReadOnly" = "FALSE" the metadata marks the table read-only:
  // no key is set, nothing is pushed.
  std::ifstream in(p, std::ios::binary);
  std::stringstream def;
  def << in.rdbuf();
  in.close();
  std::string text = def.str();
  const size_t line = text.find("\"\\IsReadOnly\"");
  ASSERT_NE(line, std::string::npos) << text;
  text.erase(line, text.find('\n', line) + 1 - line);
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
  slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_NE(slot, 0) << TabApiLastError();
  EXPECT_EQ(TabApiSetMetadata(slot, "\\Owner", "other"), 0);
  EXPECT_EQ(TabApiLastError(), 0);
  ASSERT_EQ(TabApiGetMetadata(slot, "\\Owner", out, sizeof out), 1);
  EXPECT_STREQ(out, "survey");
}

// A renamed table: every file under the new name, the old ones gone, the
// table open again in its slot under the new path; a registered new path
// is refused with 362.
TEST_F(TabApi, RenamedTableMovesAllItsFiles) {
  const std::string p = Plain("t.TAB");
  const std::string other = Plain("o.TAB");
  const int32_t slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_EQ(slot, 1);
  CoordSysInfo cs{};
  ASSERT_EQ(TabApiCoordSysFromText("CoordSys Earth Projection 1, 104", &cs), 1);
  ASSERT_EQ(TabApiMakeMappable(slot, &cs), 1);
  const int32_t open_other = TabApiOpenTableFile(other.c_str(), 1);
  EXPECT_EQ(TabApiRenameTable(slot, other.c_str()), 0);
  EXPECT_EQ(TabApiLastError(), 362);
  ASSERT_EQ(TabApiCloseTableCommit(open_other), 1);
  const std::string renamed = Path("n.TAB");
  ASSERT_EQ(TabApiRenameTable(slot, renamed.c_str()), 1) << TabApiLastError();
  for (const char* ext : {".TAB", ".DAT", ".IND", ".MAP", ".ID"}) {
    EXPECT_TRUE(std::filesystem::exists(Path("n") + ext)) << ext;
    EXPECT_FALSE(std::filesystem::exists(Path("t") + ext)) << ext;
  }
  char path[300];
  ASSERT_EQ(TabApiGetTablePath(slot, path), 1);
  EXPECT_EQ(std::string(path), renamed);
  int32_t rows = 0;
  ASSERT_EQ(TabApiGetRowCount(slot, &rows), 1);
  EXPECT_EQ(rows, 3);
  char abc[] = "ABC";
  int32_t row = 0;
  EXPECT_EQ(TabApiFindRow(slot, 2, abc, 1, &row), 1);
  EXPECT_EQ(row, 1);
}

// A definition written for an existing dBASE file: the table opens for
// writing with the file's columns and rows; a second definition for a
// registered file is refused with 362.
TEST_F(TabApi, DefinitionForAnExistingDataFile) {
  Make("d.TAB", {Col("CODE", COLTYPE_CHAR, 8), Col("QTY", COLTYPE_INTEGER, 4)}, {"\"A-1\"\t10", "\"B\"\t-3"}, 1);
  std::filesystem::remove(Path("d.TAB"));
  const std::string dbf = Path("d.DBF");
  const int32_t slot = TabApiCreateTable(nullptr, dbf.c_str(), 1);
  ASSERT_NE(slot, 0) << TabApiLastError();
  EXPECT_TRUE(std::filesystem::exists(Path("d.TAB")));
  int32_t rows = 0, fields = 0;
  ASSERT_EQ(TabApiGetRowCount(slot, &rows), 1);
  ASSERT_EQ(TabApiGetFieldCount(slot, &fields), 1);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(fields, 2);
  char text[4000];
  ASSERT_EQ(TabApiReadRowText(slot, 2, text, nullptr), 1);
  EXPECT_STREQ(text, "\"B\"\t-3");
  EXPECT_EQ(TabApiCreateTable(Path("e.TAB").c_str(), dbf.c_str(), 1), 0);
  EXPECT_EQ(TabApiLastError(), 362);
}

// Deleting a table takes its definition, data, index, map and .ID files.
TEST_F(TabApi, DeletedTableTakesAllItsFiles) {
  const std::string p = Plain("t.TAB");
  int32_t slot = TabApiOpenTableFile(p.c_str(), 1);
  EXPECT_EQ(TabApiDeleteTable(slot), 0);
  EXPECT_EQ(TabApiLastError(), 891);
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  slot = TabApiOpenTableFile(p.c_str(), 2);
  CoordSysInfo cs{};
  ASSERT_EQ(TabApiCoordSysFromText("CoordSys Earth Projection 1, 104", &cs), 1);
  ASSERT_EQ(TabApiMakeMappable(slot, &cs), 1) << TabApiLastError();
  for (const char* ext : {".TAB", ".DAT", ".IND", ".MAP", ".ID"}) EXPECT_TRUE(std::filesystem::exists(Path("t") + ext)) << ext;
  EXPECT_EQ(TabApiCanHoldMemo(slot), 0);
  ASSERT_EQ(TabApiDeleteTable(slot), 1) << TabApiLastError();
  for (const char* ext : {".TAB", ".DAT", ".IND", ".MAP", ".ID"}) EXPECT_FALSE(std::filesystem::exists(Path("t") + ext)) << ext;
  int32_t rows = 0;
  EXPECT_EQ(TabApiGetRowCount(slot, &rows), 0);
}

TEST_F(TabApi, TablesWithoutAMapFile) {
  const std::string p = Plain("t.TAB");
  ASSERT_EQ(TabApiOpenTableFile(p.c_str(), 1), 1);
  CoordSysInfo info{};
  int32_t srid = -1;
  EXPECT_EQ(TabApiGetCoordSys(1, &info, &srid, 1), 0);
  EXPECT_EQ(TabApiLastError(), 1920);
  // A row without an object: code 200 and no blob; a record of code 0.
  unsigned char* blob = nullptr;
  int32_t code = 0;
  char text[4000];
  EXPECT_EQ(TabApiReadRowGeometry(1, 1, text, &blob, &code, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(code, 200);
  EXPECT_EQ(blob, nullptr);
  ObjRecord rec;
  rec.code = 99;
  EXPECT_EQ(TabApiReadRow(1, 1, text, &rec, nullptr, nullptr), 1);
  EXPECT_EQ(rec.code, 0);
}

}  // namespace
}  // namespace tabapi_test
