// Queries over the ODBC test module and the test ODBC driver: the
// coordinate system sent once per connection, rows turned into map objects
// by spatial kind, the search test, counting, maximum and existence
// probes, downloads through srvq, and the kernel's catalogue statements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "geometry/encode/cvrecord.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/list.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"
#include "kernel/server/spcat.h"
#include "kernel/server/srv.h"
#include "kernel/server/srv_exec.h"
#include "kernel/server/srv_select.h"
#include "kernel/server/srv_test_util.h"
#include "kernel/tables/tabdef.h"
#include "odbc/support/testodbc.h"
#include "srvq_run.h"

namespace {

using srvtest::Arg;

class SrvQueryOdbc : public ::testing::Test {
 protected:
  void SetUp() override {
    srv_unload_all();
    err_clear();
    ASSERT_EQ(mapobj_runtime_start(), 1);
    trace = dir.File("trace.jsonl");
  }
  void TearDown() override {
    srv_unload_all();
    kernel_string_reset();
    err_clear();
    mapobj_runtime_end();
    value_set_object_ops(nullptr);
  }
  std::string Connect(const std::string& dbms, std::vector<std::pair<std::string, std::string>> more = {}) {
    std::vector<std::pair<std::string, std::string>> attrs = {
        {"DBMS", dbms}, {"DBMSVER", "09.00.1399"}, {"UID", "u"}, {"PWD", "p"}, {"DB", dir.Path()}, {"TRACE", trace}};
    for (auto& a : more) attrs.push_back(a);
    return testodbc::ConnectString(attrs);
  }
  SrvConnection* Open(const std::string& dbms, std::vector<std::pair<std::string, std::string>> more = {}) {
    EXPECT_EQ(srv_init(), 1);
    SrvConnection* c = srv_connect_driver("ODBC", Connect(dbms, std::move(more)).c_str());
    EXPECT_NE(c, nullptr) << Arg(0);
    return c;
  }
  void Run(SrvConnection* c, const std::string& sql) {
    SrvStatement* s = srv_execute(c, sql.c_str());
    ASSERT_NE(s, nullptr) << sql << ": " << Arg(0);
    ASSERT_EQ(srv_close_statement(c, s), 1);
  }
  std::vector<std::string> Traced() { return testodbc::Statements(testodbc::ReadTrace(trace)); }
  int CountTraced(const std::string& sql) {
    const auto all = Traced();
    return static_cast<int>(std::count(all.begin(), all.end(), sql));
  }
  std::string Rules(const std::string& text) {
    const std::string path = dir.File("rules.txt");
    std::ofstream(path) << text;
    return path;
  }
  testodbc::TempDir dir;
  std::string trace;
};

MapObject* Region(const std::vector<IntPoint>& ring) {
  MapObject* obj = nullptr;
  EXPECT_EQ(mapobj_new(nullptr, &obj, MAPOBJ_REGION, 0), 1);
  EXPECT_EQ(mapobjx_add_section(obj, 0, nullptr), 1);
  EXPECT_EQ(mapobjx_insert_nodes(obj, 0, 0, ring.data(), static_cast<int32_t>(ring.size()), nullptr, nullptr), 1);
  mapobj_update_mbr(obj);
  return obj;
}

// The object's record as an SQL hexadecimal literal.
std::string BlobLiteral(MapObject* obj, const CoordXform* xf) {
  int32_t size = 0;
  EXPECT_EQ(blob_object_size(obj, &size), 1);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  int32_t length = 0;
  EXPECT_EQ(object_to_blob(obj, xf, bytes.data(), &length, nullptr), 1);
  std::string hex(2 * static_cast<size_t>(length) + 1, '\0');
  srv_hex_encode(hex.data(), bytes.data(), length);
  return "X'" + std::string(hex.c_str()) + "'";
}

TEST_F(SrvQueryOdbc, ProjectionSentOncePerCoordinateSystem) {
  const std::string rules = Rules(
      "on exec sp_spatial_query 'Select KT_SetProjection\\(''Earth Projection 1, 33''\\).*'\n"
      "error 42000 unknown projection\n"
      "on exec sp_spatial_query 'Select KT_SetProjection.*'\n"
      "rows\ncols done\nrow 1\n");
  SrvConnection* c = Open("SQL Server QD", {{"RULES", rules}});
  ASSERT_NE(c, nullptr);
  CoordXform wgs{}, nad{}, refused{};
  ASSERT_EQ(coordsys_from_text(&wgs, "CoordSys Earth Projection 1, 104", 1), 1);
  ASSERT_EQ(coordsys_from_text(&nad, "CoordSys Earth Projection 1, 74", 1), 1);
  ASSERT_EQ(coordsys_from_text(&refused, "CoordSys Earth Projection 1, 33", 1), 1);
  SpatialColumnDesc desc{};
  desc.has_spatial_column = 1;
  desc.kind = 14;
  desc.coordsys = &wgs;
  char sql[] = "select 1";
  SrvQuery q{};
  q.sql = sql;
  q.desc = &desc;
  for (int i = 0; i < 2; ++i) {
    SrvStatement* s = srv_open_query(c, &q, 0);
    ASSERT_NE(s, nullptr) << Arg(0);
    srv_close_statement(c, s);
  }
  const std::string sent =
      "exec sp_spatial_query 'Select KT_SetProjection(''Earth Projection 1, 104'') from corvane.corvane_mapcatalog'";
  EXPECT_EQ(CountTraced(sent), 1);
  EXPECT_EQ(srv_send_coordsys(c, &q, &nad), 1);
  EXPECT_EQ(CountTraced(
                "exec sp_spatial_query 'Select KT_SetProjection(''Earth Projection 1, 74'') from "
                "corvane.corvane_mapcatalog'"),
            1);
  EXPECT_EQ(srv_send_coordsys(c, &q, &wgs), 1);
  EXPECT_EQ(CountTraced(sent), 2);
  err_clear();
  EXPECT_EQ(srv_send_coordsys(c, &q, &refused), 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(SrvQueryOdbc, KindTwelveSendsEveryTimeAndEmptyTemplatesNothing) {
  SrvConnection* c = Open("SQLite");
  ASSERT_NE(c, nullptr);
  CoordXform wgs{};
  ASSERT_EQ(coordsys_from_text(&wgs, "CoordSys Earth Projection 1, 104", 1), 1);
  SpatialColumnDesc desc{};
  desc.has_spatial_column = 1;
  desc.coordsys = &wgs;
  SrvQuery q{};
  q.desc = &desc;
  // Kinds 5, 9, 11 and 12 have no statement of their own: nothing is sent.
  for (int32_t kind : {5, 9, 11, 12}) {
    desc.kind = kind;
    EXPECT_EQ(srv_send_coordsys(c, &q, &wgs), 0) << kind;
  }
  for (const std::string& sent : Traced()) EXPECT_EQ(sent.find("Earth"), std::string::npos) << sent;
  ASSERT_EQ(kernel_string_override(kStrSrvCoordsysKind12, "select '%s'"), 1);
  desc.kind = 12;
  EXPECT_EQ(srv_send_coordsys(c, &q, &wgs), 1);
  EXPECT_EQ(srv_send_coordsys(c, &q, &wgs), 1);
  EXPECT_EQ(CountTraced("select 'Earth Projection 1, 104'"), 2);
}

TEST_F(SrvQueryOdbc, PointRowsAndTheSearch) {
  SrvConnection* c = Open("SQLite");
  ASSERT_NE(c, nullptr);
  Run(c, "create table P(ID INTEGER, X DOUBLE, Y DOUBLE)");
  Run(c, "insert into P values (1, 1.5, NULL)");
  Run(c, "insert into P values (2, 1, 1)");
  Run(c, "insert into P values (3, 50, 50)");
  Run(c, "insert into P values (4, 2, 3)");
  CoordXform xf{};
  xform_default_nonearth(&xf);
  SpatialColumnDesc desc{};
  desc.has_spatial_column = 1;
  desc.kind = 4;
  desc.coordsys = &xf;
  char sql[] = "select ID, X, Y from P order by ID";
  SrvQuery q{};
  q.sql = sql;
  q.desc = &desc;
  q.item_count = 3;
  q.hidden_items = 2;
  // Kind 4 without a search: the NULL Y gives an empty object.
  SrvStatement* s = srv_open_query(c, &q, 0);
  ASSERT_NE(s, nullptr);
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_REGION);
  ASSERT_EQ(srv_fetch(c, s, kSrvFetchNext), 1);
  EXPECT_EQ(srv_row_to_object(c, &q, s, &obj, 0, 0), 1);
  EXPECT_EQ(obj.type, 0);
  ASSERT_EQ(srv_fetch(c, s, kSrvFetchNext), 1);
  EXPECT_EQ(srv_row_to_object(c, &q, s, &obj, 0, 0), 1);
  ASSERT_EQ(obj.type, MAPOBJ_POINT);
  const DPoint one{1, 1};
  IntPoint want{};
  xform_xy_to_int(&one, &want, &xf, 1);
  EXPECT_EQ(obj.u.point.location.x, want.x);
  EXPECT_EQ(obj.u.point.location.y, want.y);
  srv_close_statement(c, s);
  // With the search flag: rows outside the window are skipped.
  const DPoint corners[2] = {{0, 0}, {10, 10}};
  IntPoint ic[2];
  xform_xy_to_int(corners, ic, &xf, 2);
  MapObject* window = nullptr;
  ASSERT_EQ(mapobj_new(nullptr, &window, MAPOBJ_RECT, 0), 1);
  window->mbr = {std::min(ic[0].x, ic[1].x), std::min(ic[0].y, ic[1].y), std::max(ic[0].x, ic[1].x),
                 std::max(ic[0].y, ic[1].y)};
  SrvSearch search{};
  search.flag = 1;
  search.object = window;
  q.search = &search;
  s = srv_open_query(c, &q, 0);
  ASSERT_NE(s, nullptr);
  FieldDef field{};
  value_init(&field.value, VALUE_INTEGER, nullptr);
  std::vector<long> ids;
  int16_t at_end = 0;
  while (srv_fetch_object_row(s, &q, 1, &field, &obj, &at_end) && !at_end) {
    ids.push_back(static_cast<long>(value_to_double(&field.value)));
  }
  // Row 1's NULL geometry is kept as an empty object; row 3 lies outside.
  EXPECT_EQ(ids, (std::vector<long>{1, 2, 4}));
  srv_close_statement(c, s);
  value_free(&field.value);
  mapobj_free(&obj);
  mapobj_destroy(&window);
}

TEST_F(SrvQueryOdbc, BlobRowsDecodeTruncateAndTakeTheirStyle) {
  SrvConnection* c = Open("IUS");
  ASSERT_NE(c, nullptr);
  CoordXform xf{};
  xform_default_nonearth(&xf);
  Run(c, "create table G(ID INTEGER, S VARCHAR(60), B BLOB(4000))");
  Run(c, "create table SMALL(ID INTEGER, B BLOB)");
  std::vector<MapObject*> stored;
  std::mt19937 rng(32);
  std::uniform_int_distribution<int32_t> coord(-1000000, 1000000);
  for (int i = 0; i < 5; ++i) {
    const int32_t x = coord(rng), y = coord(rng);
    stored.push_back(Region({{x, y}, {x + 1000, y}, {x + 1000, y + 500}, {x, y + 700}}));
    Run(c, "insert into G values (" + std::to_string(i) + ", " + (i == 2 ? "'Pen (2, 2, 255)'" : "NULL") + ", " +
               BlobLiteral(stored.back(), &xf) + ")");
  }
  std::vector<IntPoint> many;
  for (int i = 0; i < 200; ++i) many.push_back({i * 10, (i % 2) * 1000});
  MapObject* big = Region(many);
  Run(c, "insert into SMALL values (1, " + BlobLiteral(big, &xf) + ")");
  SpatialColumnDesc desc{};
  desc.has_spatial_column = 1;
  desc.kind = 11;
  desc.coordsys = &xf;
  desc.style_column = 1;
  char sql[] = "select ID, S, B from G order by ID";
  SrvQuery q{};
  q.sql = sql;
  q.desc = &desc;
  q.item_count = 3;
  q.hidden_items = 2;
  q.style_index = 1;
  SrvStatement* s = srv_open_query(c, &q, 0);
  ASSERT_NE(s, nullptr) << Arg(0);
  MapObject obj;
  mapobj_init(&obj, 0);
  for (size_t i = 0; i < stored.size(); ++i) {
    ASSERT_EQ(srv_fetch(c, s, kSrvFetchNext), 1);
    ASSERT_EQ(srv_row_to_object(c, &q, s, &obj, 0, 0), 1) << i;
    EXPECT_EQ(obj.type, MAPOBJ_REGION);
    EXPECT_EQ(std::memcmp(&obj.mbr, &stored[i]->mbr, sizeof obj.mbr), 0) << i;
    if (i == 2) {
      EXPECT_EQ(obj.pen.width, 2);
      EXPECT_EQ(obj.pen.pattern, 2);
      EXPECT_EQ(obj.pen.colour, 255u);
    }
  }
  srv_close_statement(c, s);
  // A blob longer than the module's buffer: empty object, truncated flag.
  char small_sql[] = "select ID, B from SMALL";
  q.sql = small_sql;
  q.item_count = 2;
  q.hidden_items = 1;
  desc.style_column = 0;
  s = srv_open_query(c, &q, 0);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(srv_fetch(c, s, kSrvFetchNext), 1);
  EXPECT_EQ(srv_row_to_object(c, &q, s, &obj, 0, 0), 1);
  EXPECT_EQ(obj.type, 0);
  EXPECT_EQ(s->truncated, 1);
  srv_close_statement(c, s);
  mapobj_free(&obj);
  for (MapObject* o : stored) mapobj_destroy(&o);
  mapobj_destroy(&big);
}

TEST_F(SrvQueryOdbc, RefusedBindingClosesTheStatement) {
  for (int mode : {0, 3}) {
    SrvConnection* c = Open("SQLite", mode == 0 ? std::vector<std::pair<std::string, std::string>>{{"FAIL", "bind"}}
                                                : std::vector<std::pair<std::string, std::string>>{});
    ASSERT_NE(c, nullptr);
    CoordXform xf{};
    xform_default_nonearth(&xf);
    SpatialColumnDesc desc{};
    desc.has_spatial_column = 1;
    desc.kind = 5;
    desc.coordsys = &xf;
    MapObject* window = Region({{0, 0}, {100, 0}, {100, 100}});
    SrvSearch search{};
    search.object = window;
    char sql[] = "select ? is not null";
    SrvQuery q{};
    q.sql = sql;
    q.desc = &desc;
    q.search = &search;
    q.bind_mode = static_cast<int16_t>(mode);
    if (mode == 3) {
      // The prepare-bind-execute path sets mode 2 for its call; refuse
      // through srv_bind_and_execute directly.
      SrvStatement* s = srv_prepare(c, sql);
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(srv_bind_and_execute(c, &q, s, window), 0);
      srv_close_statement(c, s);
    } else {
      const int32_t before = list_count(&srv_env()->statements);
      EXPECT_EQ(srv_open_query(c, &q, 0), nullptr);
      EXPECT_EQ(list_count(&srv_env()->statements), before);  // closed
      EXPECT_EQ(q.bind_mode, 0);                        // restored
    }
    mapobj_destroy(&window);
    srv_unload_all();
    err_clear();
  }
}

TEST_F(SrvQueryOdbc, CountsThroughSrvq) {
  const std::string setup[] = {"create table t(a INTEGER)", "insert into t values (1)", "insert into t values (1)",
                               "insert into t values (2)"};
  auto [out, rc] = Srvq({Connect("SQLite"), setup[0], setup[1], setup[2], setup[3], ":count SELECT * FROM t WHERE a=1",
                         ":count exec p"});
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out, "2\n100\n");
  EXPECT_EQ(CountTraced("SELECT COUNT(*)  FROM t  WHERE a=1"), 1);
  EXPECT_EQ(CountTraced("exec p"), 0);
  std::tie(out, rc) = Srvq({Connect("Helvoristan/ORACLE"), setup[0], setup[1], setup[2], setup[3],
                            ":count SELECT * FROM t WHERE a=1"});
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out, "2\n");
  EXPECT_EQ(CountTraced("SELECT COUNT(1)  FROM t  WHERE a=1"), 1);
}

TEST_F(SrvQueryOdbc, MaximumAndExistence) {
  SrvConnection* c = Open("SQLite");
  ASSERT_NE(c, nullptr);
  Run(c, "create table M(C CHAR(4), I INTEGER)");
  Run(c, "insert into M values ('x', 7)");
  Run(c, "insert into M values ('y', 42)");
  const int32_t open_before = list_count(&srv_env()->statements);
  auto frees = [&] {
    int n = 0;
    for (const auto& e : testodbc::ReadTrace(trace)) n += e.Get("fn") == "SQLFreeHandle";
    return n;
  };
  const int frees_before = frees();
  EXPECT_EQ(srv_select_max(c, "C", "M"), -1);
  EXPECT_GT(frees(), frees_before);  // the statement's handle freed
  EXPECT_EQ(srv_select_max(c, "I", "M"), 42);
  EXPECT_EQ(list_count(&srv_env()->statements), open_before);  // each closed
  EXPECT_EQ(CountTraced("SELECT max(\"C\") from M "), 1);
  err_push(4, 999, nullptr, nullptr);
  EXPECT_EQ(srv_table_exists(c, "", "NOPE"), 0);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(srv_table_exists(c, "", "M"), 1);
  srv_unload_all();
  SrvConnection* ifx = Open("Informix Dynamic Server");
  ASSERT_NE(ifx, nullptr);
  srv_table_exists(ifx, "O", "T");
  EXPECT_EQ(CountTraced("select 1 from T"), 1);
  EXPECT_EQ(CountTraced("select 1 from O.T"), 0);
}

TEST_F(SrvQueryOdbc, DownloadThroughSrvq) {
  const std::string tab = dir.File("d.tab");
  auto [out, rc] = Srvq({Connect("SQLite"), "create table T(C CHAR(5), I INTEGER, F FLOAT)",
                         "insert into T values ('a', 1, 2.5)", "insert into T values ('b\"q', 2, -0.5)",
                         ":download D " + tab + " select C, I, F from T"});
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out, "1\n");
  std::ifstream def(tab);
  const std::string text((std::istreambuf_iterator<char>(def)), std::istreambuf_iterator<char>());
  for (const char* line : {"C Char (5)", "I Integer", "F Float"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
  }
  std::ifstream dat(dir.File("d.DAT"), std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(dat)), std::istreambuf_iterator<char>());
  EXPECT_NE(data.find("a"), std::string::npos);
  EXPECT_NE(data.find("b\"q"), std::string::npos);
}

// The catalogue in its own owner's file, with the number of rows and the
// rendition columns as asked.
void MakeCatalogue(SrvQueryOdbc* t, SrvConnection* c, bool rendition) {
  std::string cols = "TABLENAME VARCHAR(32), OWNERNAME VARCHAR(32), DB_X_LL FLOAT, DB_Y_LL FLOAT, DB_X_UR FLOAT, "
                     "DB_Y_UR FLOAT, NUMBER_ROWS INTEGER, SYMBOL VARCHAR(254)";
  if (rendition) cols += ", RENDITIONTYPE INTEGER, RENDITIONCOLUMN VARCHAR(32)";
  // The catalogue probes of the connection opened a transaction; a new
  // owner's file is attached outside one.
  ASSERT_EQ(srv_commit(c), 1);
  SrvStatement* s = srv_execute(c, ("create table \"CORVANE\".\"CORVANE_MAPCATALOG\"(" + cols + ")").c_str());
  ASSERT_NE(s, nullptr) << Arg(0) << Arg(0, 2);
  srv_close_statement(c, s);
  for (const char* row : {"('T', '', 0, 0, 0, 0, 0, '')", "('T', 'U', 0, 0, 0, 0, 0, '')",
                          "('O''Neil', 'u', 0, 0, 0, 0, 0, '')"}) {
    s = srv_execute(c, (std::string("insert into \"CORVANE\".\"CORVANE_MAPCATALOG\" (TABLENAME, OWNERNAME, DB_X_LL, "
                                    "DB_Y_LL, DB_X_UR, DB_Y_UR, NUMBER_ROWS, SYMBOL) values ") +
                        row)
                           .c_str());
    ASSERT_NE(s, nullptr) << Arg(0);
    srv_close_statement(c, s);
  }
  ASSERT_EQ(srv_commit(c), 1);
  (void)t;
}

TEST_F(SrvQueryOdbc, CatalogueEntries) {
  SrvConnection* c = Open("Microsoft SQL Server");
  ASSERT_NE(c, nullptr);
  MakeCatalogue(this, c, false);
  EXPECT_STREQ(spcat_name(c), "\"CORVANE\".\"CORVANE_MAPCATALOG\"");
  c->number_rows = 0;
  const double b[4] = {1, 2, 3, 4};
  EXPECT_EQ(spcat_update_entry(c, "", "T", b, 10), 1) << Arg(0);
  EXPECT_EQ(CountTraced("UPDATE \"CORVANE\".\"CORVANE_MAPCATALOG\" SET DB_X_LL=1, DB_Y_LL=2, DB_X_UR=3, DB_Y_UR=4 "
                        "WHERE  TABLENAME = 'T'"),
            1);
  SrvStatement* s = srv_execute(c, "select DB_X_LL, DB_Y_UR from \"CORVANE\".\"CORVANE_MAPCATALOG\" where OWNERNAME = ''");
  ASSERT_NE(s, nullptr);
  Value v{};
  ASSERT_EQ(srv_fetch(c, s, kSrvFetchNext), 1);
  ASSERT_EQ(srv_column_value(c, s, &v, 1), 1);
  EXPECT_EQ(value_to_double(&v), 1);
  ASSERT_EQ(srv_column_value(c, s, &v, 2), 1);
  EXPECT_EQ(value_to_double(&v), 4);
  srv_close_statement(c, s);
  c->number_rows = 1;
  EXPECT_EQ(spcat_update_entry(c, "U", "T", b, 10), 1);
  EXPECT_EQ(CountTraced("UPDATE \"CORVANE\".\"CORVANE_MAPCATALOG\" SET DB_X_LL=1, DB_Y_LL=2, DB_X_UR=3, DB_Y_UR=4, "
                        "NUMBER_ROWS=10 WHERE OWNERNAME = 'U' AND  TABLENAME = 'T'"),
            1);
  SpatialColumnDesc desc{};
  std::strcpy(desc.table, "T");
  std::strcpy(desc.owner, "U");
  const double eb[4] = {1, 2, 3, 4};
  std::copy(eb, eb + 4, desc.bounds);
  EXPECT_EQ(spcat_update_extents(c, &desc), 1);
  EXPECT_EQ(CountTraced("update \"CORVANE\".\"CORVANE_MAPCATALOG\" set DB_X_LL =  1, DB_Y_LL = 2, DB_X_UR = 3, "
                        "DB_Y_UR = 4 where TABLENAME = 'T'  and OWNERNAME = 'U'"),
            1);
  EXPECT_EQ(spcat_delete_entry(c, "O'Neil", nullptr), 1);
  EXPECT_EQ(CountTraced("delete from \"CORVANE\".\"CORVANE_MAPCATALOG\" where TABLENAME = 'O''Neil'  and OWNERNAME "
                        "= 'u'"),
            1);
  s = srv_execute(c, "select count(*) from \"CORVANE\".\"CORVANE_MAPCATALOG\" where TABLENAME = 'O''Neil'");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(srv_fetch(c, s, kSrvFetchNext), 1);
  ASSERT_EQ(srv_column_value(c, s, &v, 1), 1);
  EXPECT_EQ(value_to_double(&v), 0);
  srv_close_statement(c, s);
  value_free(&v);
  srv_unload_all();
  SrvConnection* failing = Open("Microsoft SQL Server", {{"FAIL", "execdirect:delete .*"}});
  ASSERT_NE(failing, nullptr);
  EXPECT_EQ(spcat_delete_entry(failing, "T", "U"), 0);
}

TEST_F(SrvQueryOdbc, ExtentScanOverStoredObjects) {
  SrvConnection* c = Open("IUS");
  ASSERT_NE(c, nullptr);
  CoordXform xf{};
  xform_default_nonearth(&xf);
  Run(c, "create table T(OBJECT BLOB(2000))");
  std::mt19937 rng(500);
  std::uniform_int_distribution<int32_t> coord(-3000000, 3000000);
  IntRect all{};
  rect_set_empty(&all);
  for (int i = 0; i < 500; ++i) {
    const int32_t x = coord(rng), y = coord(rng);
    MapObject* r = Region({{x, y}, {x + 400, y + 10}, {x + 100, y + 900}});
    rect_union(&all, &r->mbr);
    Run(c, "insert into T values (" + BlobLiteral(r, &xf) + ")");
    mapobj_destroy(&r);
  }
  double bounds[4] = {};
  long rows = 0;
  ASSERT_EQ(spcat_table_extents(c, "", "T", &xf, bounds, &rows), 1) << Arg(0);
  EXPECT_EQ(rows, 500);
  const IntPoint corners[2] = {{all.x1, all.y1}, {all.x2, all.y2}};
  DPoint want[2];
  xform_int_to_xy(corners, want, &xf, 2);
  EXPECT_DOUBLE_EQ(bounds[0], want[0].x);
  EXPECT_DOUBLE_EQ(bounds[1], want[0].y);
  EXPECT_DOUBLE_EQ(bounds[2], want[1].x);
  EXPECT_DOUBLE_EQ(bounds[3], want[1].y);
  EXPECT_EQ(CountTraced("select OBJECT from \"T\""), 1);
  srv_unload_all();
  SrvConnection* ms = Open("Microsoft SQL Server");
  ASSERT_NE(ms, nullptr);
  EXPECT_EQ(spcat_table_extents(ms, "", "T", &xf, bounds, &rows), 0);
}

TEST_F(SrvQueryOdbc, ColumnProbesAndRendition) {
  SrvConnection* c = Open("Microsoft SQL Server");
  ASSERT_NE(c, nullptr);
  MakeCatalogue(this, c, true);
  Run(c, "create table R(A INTEGER)");
  err_clear();
  EXPECT_EQ(spcat_column_exists(c, "R", "C", 1), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSpcatNoColumn);
  EXPECT_EQ(Arg(0), "C");
  EXPECT_EQ(Arg(0, 2), "R");
  err_clear();
  // The flags come from the catalogue's columns when the connection is made.
  srv_unload_all();
  c = Open("Microsoft SQL Server");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->rendition_columns, 1);
  EXPECT_EQ(c->number_rows, 1);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(spcat_set_rendition(c, "R", "Pen (1, 2, 0) ", "C", 1), 0);
  ASSERT_GE(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[err_count() - 1].code, kErrSpcatMissingRendition);
  EXPECT_EQ(Arg(err_count() - 1), "R named C");
  err_clear();
  c->rendition_columns = 0;
  EXPECT_EQ(spcat_set_rendition(c, "R", "Pen (1, 2, 0) ", "A", 1), 0);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSpcatNoRenditionColumns);
  err_clear();
  c->rendition_columns = 1;
  // The table reference takes the connection's default owner.
  EXPECT_EQ(spcat_set_rendition(c, "T", "Symbol (35, 0, 12) ", "", 1), 1) << Arg(0);
  EXPECT_EQ(CountTraced("UPDATE \"CORVANE\".\"CORVANE_MAPCATALOG\" SET SYMBOL = 'Symbol (35, 0, 12) ', "
                        "RENDITIONTYPE = 0, RENDITIONCOLUMN = '' WHERE TABLENAME = 'T' AND OWNERNAME = 'dbo'"),
            1);
  srv_unload_all();
  c = Open("Microsoft SQL Server", {{"FAIL", "execdirect:UPDATE .*"}});
  ASSERT_NE(c, nullptr);
  auto rollbacks = [&] {
    int n = 0;
    for (const auto& e : testodbc::ReadTrace(trace)) n += e.Get("fn") == "SQLEndTran" && e.Get("op") == "rollback";
    return n;
  };
  const int before = rollbacks();
  EXPECT_EQ(spcat_set_rendition(c, "T", "Pen (1, 2, 0) ", "", 1), 0);
  EXPECT_EQ(rollbacks() - before, 1);
}

}  // namespace
