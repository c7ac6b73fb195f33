// Downloads over the scripted driver (the statements the runner receives,
// and a round trip through real native tables), the splitting of select
// texts, style clauses, editability, and the kernel strings of the query
// and catalogue statements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/SqlDialect.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/rect.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/date.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/list.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"
#include "kernel/server/fake_driver.h"
#include "kernel/server/spcat.h"
#include "kernel/server/srv_download.h"
#include "kernel/server/srv_exec.h"
#include "kernel/server/srv_select.h"
#include "kernel/server/srv_test_util.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabstmt.h"
#include "kernel/tables/tabtype.h"
#include "odbc/support/testodbc.h"

namespace {

using srvtest::Arg;

std::vector<std::string> g_seen;
std::string g_reject;  // a statement the recording runner refuses

int16_t Record(const char* text, int16_t) {
  g_seen.emplace_back(text);
  return g_reject.empty() || g_seen.back() != g_reject ? 1 : 0;
}

template <class T>
fake::Cell Raw(const T& record) {
  return fake::Cell{false, std::string(reinterpret_cast<const char*>(&record), sizeof record), 0};
}

class SrvDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    srv_unload_all();
    fake::Reset();
    err_clear();
    g_seen.clear();
    g_reject.clear();
    tables_runtime_start();
    ASSERT_EQ(srv_register_driver_for_test(nullptr, &fake::Table()), 1);
    conn = srv_connect_driver("fake", "DSN=x");
    ASSERT_NE(conn, nullptr);
    srv_set_statement_runner(Record);
  }
  void TearDown() override {
    srv_set_statement_runner(nullptr);
    stmt_made_tables_reset();
    srv_unload_all();
    kernel_string_reset();
    err_clear();
  }
  // Downloads the script's result into table D; answers srv_fetch's flag.
  int16_t Download(const char* path = nullptr) {
    SrvStatement* s = srv_execute(conn, "select");
    EXPECT_NE(s, nullptr);
    EXPECT_EQ(srv_set_download(s, "D", path), 1);
    const int16_t ok = srv_fetch(conn, s, kSrvFetchNext);
    at_end = s->at_end;
    srv_close_statement(conn, s);
    return ok;
  }
  SrvConnection* conn = nullptr;
  int16_t at_end = 0;
};

TEST_F(SrvDownload, StatementsOfEveryColumnType) {
  fake::Current().columns = {{"C", 1, 5, 0, 16},       {"I", 3, 10, 0, 8}, {"F", 8, 15, 0, 8},
                             {"", 2, 10, 2, 8},        {"C", 4, 5, 0, 8},  {"L", 6, 1, 0, 8},
                             {"BIN", 17, 130, 0, 400}, {"W", 16, 300, 0, 400}};
  fake::Current().rows = {{fake::Text("a"), fake::Number(1), fake::Number(2.5), fake::Number(3.5), fake::Number(-7),
                           fake::Number(1), fake::Text(std::string(130, '\xab')), fake::Text("x  ")}};
  ASSERT_EQ(Download("/tmp/d.tab"), 1) << Arg(0);
  EXPECT_EQ(at_end, 1);
  ASSERT_EQ(g_seen.size(), 5u);
  EXPECT_EQ(g_seen[0],
            "CREATE TABLE \"D\" (C CHAR(5),I INTEGER,F FLOAT,_COL4 DECIMAL(12,2),C_2 SMALLINT,L LOGICAL,"
            "BIN CHAR(254),W CHAR(254)) File \"/tmp/d.tab\"");
  EXPECT_EQ(g_seen[1], "SET TABLE D FASTEDIT ON UNDO OFF");
  std::string hex;
  for (int i = 0; i < 127; ++i) hex += "AB";
  EXPECT_EQ(g_seen[2], "Insert Into D Values(\"a\",1,2.5,      3.50,-7,1,\"" + hex + "\",\"x\")");
  EXPECT_EQ(g_seen[3], "COMMIT TABLE D");
  EXPECT_EQ(g_seen[4], "SET TABLE D FASTEDIT OFF UNDO ON");
}

TEST_F(SrvDownload, CharIntegerFloatRow) {
  fake::Current().columns = {{"C", 1, 5, 0, 16}, {"I", 3, 10, 0, 8}, {"F", 8, 15, 0, 8}};
  fake::Current().rows = {{fake::Text("a"), fake::Number(1), fake::Number(2.5)},
                          {fake::Text("b\"q"), fake::Number(2), fake::Number(-0.5)}};
  ASSERT_EQ(Download(), 1);
  ASSERT_EQ(g_seen.size(), 6u);
  EXPECT_EQ(g_seen[0], "CREATE TABLE \"D\" (C CHAR(5),I INTEGER,F FLOAT)");
  EXPECT_EQ(g_seen[2], "Insert Into D Values(\"a\",1,2.5)");
  EXPECT_EQ(g_seen[3], "Insert Into D Values(\"b\"\"q\",2,-0.5)");
}

TEST_F(SrvDownload, BinaryIndicatorBecomesTruncated) {
  fake::Current().columns = {{"B", 17, 130, 0, 400}};
  fake::Current().rows = {{fake::Text(std::string(130, '\x01'))}};
  SrvStatement* s = srv_execute(conn, "select");
  ASSERT_EQ(srv_set_download(s, "D", nullptr), 1);
  ASSERT_EQ(srv_fetch(conn, s, kSrvFetchNext), 1);
  EXPECT_EQ(s->columns[0].indicator, -2);
  srv_close_statement(conn, s);
  ASSERT_GE(g_seen.size(), 3u);
  EXPECT_EQ(g_seen[0], "CREATE TABLE \"D\" (B CHAR(254))");
  std::string digits;
  for (int i = 0; i < 127; ++i) digits += "01";
  EXPECT_EQ(g_seen[2], "Insert Into D Values(\"" + digits + "\")");
}

TEST_F(SrvDownload, LongTextWithQuotesIsQuotedWhole) {
  std::string text(254, 'q');
  text[0] = '"';
  text[253] = '"';
  fake::Current().columns = {{"T", 1, 254, 0, 600}};
  fake::Current().rows = {{fake::Text(text + "tail beyond the width")}};
  ASSERT_EQ(Download(), 1);
  std::string want = "Insert Into D Values(\"\"\"" + std::string(252, 'q') + "\"\"\")";
  EXPECT_EQ(g_seen[2], want);
}

TEST_F(SrvDownload, RefusalsAndFailures) {
  // A type without a clause: no table, 960 with the column's name.
  fake::Current().columns = {{"A", 3, 10, 0, 8}, {"ODD", 42, 10, 0, 8}};
  EXPECT_EQ(Download(), 0);
  EXPECT_TRUE(g_seen.empty());
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvColumnType);
  EXPECT_EQ(Arg(0), "ODD");
  err_clear();
  // A rejected row: the rows before it stay, the table is committed.
  fake::Current().columns = {{"A", 3, 10, 0, 8}};
  fake::Current().rows = {{fake::Number(1)}, {fake::Number(2)}, {fake::Number(3)}};
  g_reject = "Insert Into D Values(2)";
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(g_seen, (std::vector<std::string>{"CREATE TABLE \"D\" (A INTEGER)", "SET TABLE D FASTEDIT ON UNDO OFF",
                                              "Insert Into D Values(1)", "Insert Into D Values(2)", "COMMIT TABLE D",
                                              "SET TABLE D FASTEDIT OFF UNDO ON"}));
  // A failing fetch is the driver's error; the table is still committed.
  g_seen.clear();
  g_reject.clear();
  fake::Current().failures["SrvFetch"] = {4711, "driver says no", "S1000"};
  EXPECT_EQ(Download(), 0);
  EXPECT_EQ(g_seen.back(), "SET TABLE D FASTEDIT OFF UNDO ON");
  EXPECT_EQ(g_err_stack->entries[0].code, 4711);
}

// The rows of a native table as text, read back through its storage.
std::vector<std::vector<std::string>> ReadBack(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  const int32_t def = file_register(path.c_str(), 1);
  EXPECT_GT(def, 0);
  TableDef* t = table_open_file(def);
  EXPECT_NE(t, nullptr) << path;
  if (t == nullptr) return rows;
  EXPECT_EQ(tabtype_begin_access(t, &t->storage, 1), 1);
  for (int32_t n = 1; n <= t->storage.row_count; ++n) {
    EXPECT_EQ(tabtype_read_row(&t->storage, t->fields, n), 1);
    std::vector<std::string> row;
    for (int32_t i = 0; i < t->field_count; ++i) {
      char text[600];
      value_to_text_plain(&t->fields[i].value, text, sizeof text, t->fields[i].decimals);
      row.emplace_back(text);
    }
    rows.push_back(row);
  }
  tabtype_end_access(&t->storage);
  tabdef_free(t);
  return rows;
}

TEST_F(SrvDownload, RoundTripThroughNativeTables) {
  srv_set_statement_runner(nullptr);
  testodbc::TempDir dir;
  const Date day{2004, 1, 27};
  const Time time{250, 5, 4, 13};
  const DateTime stamp{day, time};
  std::string quoted(254, 'x');
  quoted[10] = '"';
  fake::Current().columns = {{"D", 5, 10, 0, 8},   {"T", 37, 10, 0, 8}, {"S", 38, 10, 0, 16},
                             {"N", 2, 10, 2, 8},   {"Q", 1, 254, 0, 600}};
  fake::Current().rows = {{Raw(day), Raw(time), Raw(stamp), fake::Number(3.5), fake::Text(quoted)},
                          {Raw(Date{1999, 12, 31}), Raw(time), Raw(stamp), fake::Number(-12.25), fake::Text("b\"q")}};
  const std::string path = dir.File("rt.tab");
  ASSERT_EQ(Download(path.c_str()), 1) << Arg(0);
  EXPECT_EQ(err_count(), 0) << Arg(0);
  EXPECT_EQ(stmt_open_made_tables(), 0);
  const auto rows = ReadBack(path);
  ASSERT_EQ(rows.size(), 2u);
  auto text_of = [](uint8_t type, const void* record) {
    Value v{};
    value_init(&v, type, nullptr);
    std::memcpy(type == 5 ? static_cast<void*>(&v.u.date) : type == 37 ? static_cast<void*>(&v.u.time)
                                                                       : static_cast<void*>(&v.u.dt),
                record, type == 5 ? sizeof(Date) : type == 37 ? sizeof(Time) : sizeof(DateTime));
    char out[64];
    value_to_text_plain(&v, out, sizeof out, -1);
    return std::string(out);
  };
  EXPECT_EQ(rows[0][0], "20040127");
  EXPECT_EQ(rows[0][1], text_of(37, &time));
  EXPECT_EQ(rows[0][2], text_of(38, &stamp));
  EXPECT_EQ(rows[0][3], "3.50");
  EXPECT_EQ(rows[0][4], quoted);
  EXPECT_EQ(rows[1][0], "19991231");
  EXPECT_EQ(rows[1][3], "-12.25");
  EXPECT_EQ(rows[1][4], "b\"q");
  // An empty result: the table is made and committed, the answer 1.
  fake::Current().rows.clear();
  const std::string empty = dir.File("empty.tab");
  fake::Current().columns = {{"A", 3, 10, 0, 8}};
  SrvStatement* s = srv_execute(conn, "select");
  ASSERT_EQ(srv_set_download(s, "E", empty.c_str()), 1);
  EXPECT_EQ(srv_fetch(conn, s, kSrvFetchNext), 1);
  EXPECT_EQ(s->at_end, 1);
  srv_close_statement(conn, s);
  EXPECT_TRUE(ReadBack(empty).empty());
  EXPECT_EQ(stmt_open_made_tables(), 0);
}

TEST(SrvSplit, SelectTextsAndTableLists) {
  struct Case {
    const char* text;
    int16_t answer;
    int16_t error;
    const char* select;
    const char* from;
    const char* where;
    const char* rest;
  } cases[] = {
      {"select a, b from t where a=1", 1, 0, "select a, b ", "t ", "a=1", ""},
      {"SELECT * FROM t, u WHERE x = 'a b' ORDER BY a", 1, 0, "SELECT * ", "t, u ", "x = 'a b'", "ORDER BY a "},
      {"select a from t group by a", 1, 0, "select a ", "t ", "", "group by a "},
      {"select f(a,  b) from (select 1 from x) q", 1, 0, "select f(a,  b) ", "(select 1 from x) q ", "", ""},
      {"select a", 0, kErrSrvNoTableList, "select a ", "", "", ""},
      {"select a from", 0, kErrSrvNothingAfterFrom, "select a ", "", "", ""},
      {"select a from where b", 0, kErrSrvNoTableList, "select a ", "", "b", ""},
  };
  for (const Case& c : cases) {
    err_clear();
    std::string text = c.text;
    std::string select, from, where, rest;
    EXPECT_EQ(srv_split_select(text.data(), &select, &from, &where, &rest), c.answer) << c.text;
    EXPECT_EQ(c.error == 0 ? 0 : g_err_stack->entries[0].code, c.error) << c.text;
    EXPECT_EQ(select, c.select) << c.text;
    EXPECT_EQ(from, c.from) << c.text;
    EXPECT_EQ(where, c.where) << c.text;
    EXPECT_EQ(rest, c.rest) << c.text;
  }
  err_clear();
  struct List {
    const char* list;
    const char* first;
    int16_t single;
  } lists[] = {{"roads_SDOLAYER, roads_SDOGEOM", "roads_SDOLAYER", 1},
               {"roads, rivers", "roads", 0},
               {"t", "t", 1},
               {"f(a, b) x, y", "f(a, b) x", 0}};
  for (const List& l : lists) {
    char first[kSrvTableRefTextSize];
    int16_t single = -1;
    EXPECT_EQ(srv_first_from_table(l.list, first, &single), 1);
    EXPECT_STREQ(first, l.first);
    EXPECT_EQ(single, l.single) << l.list;
  }
  char* out = nullptr;
  EXPECT_EQ(srv_from_first_table("select * from \"A\".\"B\" b, c where 1=1", &out), 1);
  EXPECT_STREQ(out, "\"A\".\"B\" b");
  mem_free(&out);
}

TEST(SrvStyle, ClausesOfAStyleText) {
  StyleSet s;
  ASSERT_EQ(srv_parse_style_clauses(&s, "Pen (2, 2, 255)"), 1);
  EXPECT_EQ(s.line_pen.width, 2);
  EXPECT_EQ(s.line_pen.pattern, 2);
  EXPECT_EQ(s.line_pen.colour, 255u);
  EXPECT_EQ(std::memcmp(&s.area_pen, &s.line_pen, sizeof s.area_pen), 0);
  EXPECT_EQ(std::memcmp(&s.brush, &g_default_style_set.brush, sizeof s.brush), 0);
  ASSERT_EQ(srv_parse_style_clauses(&s, "Pen (1, 3, 16711680) Brush (2, 255, 0) Pen (3, 2, 65280)"), 1);
  EXPECT_EQ(s.line_pen.colour, 16711680u);
  EXPECT_EQ(s.area_pen.colour, 65280u);
  EXPECT_EQ(s.area_pen.width, 3);
  EXPECT_EQ(s.brush.pattern, 2);
  EXPECT_EQ(s.brush.fore, 255u);
  // A clause that does not parse keeps its default and leaves no error.
  err_clear();
  ASSERT_EQ(srv_parse_style_clauses(&s, "Symbol (35, 255, 12) Pen (1, 2"), 1);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(std::memcmp(&s.line_pen, &g_default_style_set.line_pen, sizeof s.line_pen), 0);
  EXPECT_EQ(s.symbol.shape, 35);
  EXPECT_EQ(srv_parse_style_clauses(&s, "nothing here"), 0);
  EXPECT_EQ(srv_parse_style_clauses(&s, ""), 0);
}

TEST(SrvEditable, KindsAndFlags) {
  struct Case {
    int32_t kind;
    int32_t dimensions;
    int16_t update;
    int16_t edit;
    int16_t editable;
  } cases[] = {{13, 3, 0, 1, 0}, {13, 2, 0, 1, 1}, {7, 2, 0, 1, 0}, {7, 2, 1, 1, 1}, {5, 2, 0, 0, 0}};
  srv_unload_all();
  fake::Reset();
  fake::Current().server_type = "SQL Server QD";
  ASSERT_EQ(srv_register_driver_for_test(nullptr, &fake::Table()), 1);
  SrvConnection* c = srv_connect_driver("fake", "DSN=x");
  ASSERT_NE(c, nullptr);
  for (const Case& k : cases) {
    SpatialColumnDesc desc{};
    desc.kind = k.kind;
    desc.dimensions = k.dimensions;
    SrvSearch search{};
    search.edit = k.edit;
    SrvQuery q{};
    q.desc = &desc;
    q.search = &search;
    c->update = k.update;
    EXPECT_EQ(srv_query_editable(c, &q, nullptr), k.editable) << k.kind << " " << k.dimensions;
  }
  srv_unload_all();
}

TEST_F(SrvDownload, MaximumOnlyOverIntegerSmallintAndFloat) {
  const struct {
    uint8_t type;
    int32_t precision;
    long answer;
  } cases[] = {{2, 10, -1}, {1, 10, -1}, {3, 10, 42}, {4, 5, 42}, {8, 15, 42}, {2, 19, 42}};
  for (const auto& c : cases) {
    fake::Current().columns = {{"M", c.type, c.precision, 0, 16}};
    // Floats are truncated, not rounded.
    fake::Current().rows = {{c.type == 1 ? fake::Text("42") : fake::Number(c.type == 8 || c.precision > 18 ? 42.9 : 42)}};
    const int32_t open_before = list_count(&srv_env()->statements);
    EXPECT_EQ(srv_select_max(conn, "A", "T"), c.answer) << int(c.type) << " " << c.precision;
    EXPECT_EQ(list_count(&srv_env()->statements), open_before);
  }
  fake::Current().rows.clear();
  fake::Current().columns = {{"M", 3, 10, 0, 8}};
  EXPECT_EQ(srv_select_max(conn, "A", "T"), -1);  // no row
}

TEST(SpcatBounds, GrowValidAndKind) {
  CoordXform xf{};
  xform_default_nonearth(&xf);
  SpatialColumnDesc desc{};
  desc.coordsys = &xf;
  // Bounds at the integer origin count as none: the rectangle replaces them.
  const IntPoint origin{0, 0};
  DPoint z{};
  xform_int_to_xy(&origin, &z, &xf, 1);
  const double at_origin[4] = {z.x, z.y, z.x, z.y};
  std::copy(at_origin, at_origin + 4, desc.bounds);
  const DRect r{5, 6, 20, 8};
  EXPECT_EQ(spcat_bounds_grow(&r, &desc), 1);
  EXPECT_EQ(std::vector<double>(desc.bounds, desc.bounds + 4), (std::vector<double>{5, 6, 20, 8}));
  const DRect inside{6, 6, 7, 7};
  EXPECT_EQ(spcat_bounds_grow(&inside, &desc), 0);
  const DRect wider{-1, 7, 7, 9};
  EXPECT_EQ(spcat_bounds_grow(&wider, &desc), 1);
  EXPECT_EQ(std::vector<double>(desc.bounds, desc.bounds + 4), (std::vector<double>{-1, 6, 20, 9}));
  // Beyond the integer range: the coordinates of two integer points well
  // outside it.
  const IntPoint far[2] = {{-2 * kCoordLimit, 0}, {0, 2 * kCoordLimit}};
  DPoint fx[2];
  xform_int_to_xy(far, fx, &xf, 2);
  const struct {
    double b[4];
    int16_t valid;
  } cases[] = {{{0, 0, 1, 1}, 1}, {{1, 0, 0, 1}, 0}, {{0, 1, 1, 0}, 0}, {{fx[0].x, fx[0].y, fx[1].x, fx[1].y}, 0}, {{0, 0, 1e15, 1}, 0}};
  for (const auto& c : cases) EXPECT_EQ(spcat_bounds_valid(&xf, c.b), c.valid) << c.b[0] << " " << c.b[2];
  const struct {
    const char* server;
    int32_t kind;
  } kinds[] = {{"SQL Server QD", 14}, {"IUS", 11}, {"Oracle_Spatial", 13}, {"Oracle SDO Server", 1}, {"ius", 1}};
  for (const auto& k : kinds) {
    SrvConnection conn{};
    std::strcpy(conn.server_type, k.server);
    EXPECT_EQ(spcat_spatial_kind(&conn), k.kind) << k.server;
  }
}

TEST(SrvStrings, KeywordsCatalogueAndTemplates) {
  EXPECT_EQ(std::string(kernel_string(kStrSpcatTable)), std::string(kCatalogTable));
  EXPECT_EQ(std::string(kernel_string(kStrSpcatOwner)), std::string(kCatalogOwner));
  EXPECT_STREQ(kernel_string(kStrSrvFrom), "FROM");
  EXPECT_STREQ(kernel_string(kStrSrvWhere), "WHERE");
  // Each template takes exactly the arguments the rendition writer passes.
  const struct {
    int32_t id;
    size_t args;
  } templates[] = {{kStrSpcatRenditionOwnerTemplate, 12},
                   {kStrSpcatRenditionTemplate, 10},
                   {kStrSpcatOwnerTemplate, 8},
                   {kStrSpcatTemplate, 6}};
  for (const auto& t : templates) {
    std::string out;
    EXPECT_TRUE(spcat_fill_template(kernel_string(t.id), std::vector<std::string>(t.args, "x"), &out)) << t.id;
    EXPECT_EQ(out.rfind("UPDATE ", 0), 0u) << t.id;
    EXPECT_FALSE(spcat_fill_template(kernel_string(t.id), std::vector<std::string>(t.args - 1, "x"), &out)) << t.id;
    EXPECT_FALSE(spcat_fill_template(kernel_string(t.id), std::vector<std::string>(t.args + 1, "x"), &out)) << t.id;
  }
  // The kinds that send no coordinate system statement yet.
  for (int32_t id : {kStrSrvCoordsysKind5, kStrSrvCoordsysKind9, kStrSrvCoordsysKind12}) {
    EXPECT_STREQ(kernel_string(id), "");
  }
}

}  // namespace
