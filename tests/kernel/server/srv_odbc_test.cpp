// The server layer over the ODBC test module, the unixODBC driver manager
// and the test ODBC driver: srvq's output for a table of every column kind,
// fetching past the end, a failing execute, a refused scroll direction on a
// forward-only cursor, and unloading with a connection and a statement
// still open.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"
#include "geometry/encode/cvrecord.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/runtime/value.h"
#include "kernel/server/srv.h"
#include "kernel/server/srv_query.h"
#include "kernel/server/srv_spatial.h"
#include "kernel/tables/tabdef.h"
#include "kernel/server/srv_odbc_fixture.h"
#include "odbc/support/testodbc.h"
#include "srvq_run.h"
#include "platform/module.h"

namespace {

using srvtest::Arg;

class SrvOdbc : public srvtest::OdbcTest {
 protected:
  void TearDown() override {
    if (objects) {
      mapobj_runtime_end();
      value_set_object_ops(nullptr);
    }
    OdbcTest::TearDown();
  }
  std::string Connect(const std::string& dbms, std::vector<std::pair<std::string, std::string>> more = {}) {
    std::vector<std::pair<std::string, std::string>> attrs = {
        {"DBMS", dbms}, {"DBMSVER", "09.00.1399"}, {"UID", "u"}, {"PWD", "p"}, {"DB", dir.Path()}, {"TRACE", trace}};
    for (auto& a : more) attrs.push_back(a);
    return testodbc::ConnectString(attrs);
  }
  // T with two rows, made and committed through the layer.
  void MakeTable() {
    ASSERT_EQ(srv_init(), 1);
    SrvConnection* c = srv_connect_driver("ODBC", Connect("SQLite").c_str());
    ASSERT_NE(c, nullptr) << Arg(0);
    for (const char* sql :
         {"create table T(ID INTEGER, NAME CHAR(10), AMOUNT DECIMAL(20,2), DAY DATE, PIC BLOB)",
          "insert into T values (1, 'ab  ', 12.5, {d '2004-01-27'}, X'00AB')",
          "insert into T values (2, 'x', NULL, NULL, NULL)"}) {
      SrvStatement* s = srv_execute(c, sql);
      ASSERT_NE(s, nullptr) << sql << ": " << Arg(0);
      ASSERT_EQ(srv_close_statement(c, s), 1);
    }
    ASSERT_EQ(srv_commit(c), 1);
    srv_unload_all();
  }
  // The object runtime (ended at teardown) and the layer started, a
  // connection to `dbms` open in *c, and `create` run on it.
  void StartObjects(const char* dbms, const char* create, SrvConnection** c) {
    ASSERT_EQ(mapobj_runtime_start(), 1);
    objects = true;
    ASSERT_EQ(srv_init(), 1);
    *c = srv_open_connection("ODBC", Connect(dbms).c_str());
    ASSERT_NE(*c, nullptr) << Arg(0);
    if (create == nullptr) return;
    SrvStatement* s = srv_execute(*c, create);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(srv_close_statement(*c, s), 1);
  }
  // desc: a spatial column of this kind over xf, the default non-earth system.
  void NonEarthColumn(int32_t kind) {
    xform_default_nonearth(&xf);
    desc.kind = kind;
    desc.coordsys = &xf;
  }
  bool objects = false;
  CoordXform xf{};
  SpatialColumnDesc desc{};
};

TEST_F(SrvOdbc, SrvqPrintsTypesRowsAndInfo) {
  MakeTable();
  const auto [out, rc] = Srvq({Connect("Microsoft SQL Server"), "select ID, NAME, AMOUNT, DAY, PIC from T", ":info"});
  EXPECT_EQ(rc, 0) << out;
  const std::string want =
      "ID:3\tNAME:1\tAMOUNT:8\tDAY:5\tPIC:17\n"
      "1\tab\t12.5\t20040127\t00AB\n"
      "2\tx\t\\N\t\\N\t\\N\n"
      "server=Microsoft SQL Server|version=09.00.1399|user=u|schema=dbo|source=|quote=\"|number=1\n";
  EXPECT_EQ(out, want);
  bool seen = false;
  for (const std::string& s : testodbc::Statements(testodbc::ReadTrace(trace))) {
    seen = seen || s == "select ID, NAME, AMOUNT, DAY, PIC from T";
  }
  EXPECT_TRUE(seen);
}

TEST_F(SrvOdbc, SrvqReportsErrorsAndAliases) {
  MakeTable();
  const auto [out, rc] = Srvq({Connect("SQLite"), "select nothing from nowhere"});
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(out.rfind("error ", 0), 0u) << out;
  EXPECT_NE(out.find("|HY000"), std::string::npos) << out;
  const auto [out2, rc2] = Srvq({"-a", "SECOND", "-d", "second", Connect("SQLite"), "select ID from T where ID = 2"});
  EXPECT_EQ(rc2, 0) << out2;
  EXPECT_EQ(out2, "ID:3\n2\n");
  const auto [out3, rc3] = Srvq({"-x"});
  EXPECT_EQ(rc3, 2);
}

TEST_F(SrvOdbc, FetchingPastTheEndAndAFailedExecute) {
  MakeTable();
  ASSERT_EQ(srv_init(), 1);
  SrvConnection* c = srv_connect_driver("ODBC", Connect("SQLite", {{"FAIL", "execdirect:select NAME.*"}}).c_str());
  ASSERT_NE(c, nullptr);
  SrvStatement* s = srv_execute(c, "select ID from T order by ID");
  ASSERT_NE(s, nullptr);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(srv_fetch(c, s, kSrvFetchNext), 1);
    EXPECT_FALSE(srv_statement_at_end(c, s));
  }
  EXPECT_EQ(srv_fetch(c, s, kSrvFetchNext), 1);
  EXPECT_TRUE(srv_statement_at_end(c, s));
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(srv_close_statement(c, s), 1);
  const int before = list_count(&srv_env()->statements);
  EXPECT_EQ(srv_execute(c, "select NAME from T"), nullptr);
  EXPECT_EQ(list_count(&srv_env()->statements), before);
  ASSERT_EQ(err_count(), 1);
  EXPECT_NE(Arg(0).find("injected failure: execdirect"), std::string::npos) << Arg(0);
}

TEST_F(SrvOdbc, ForwardOnlyCursorRefusesFetchFirst) {
  MakeTable();
  ASSERT_EQ(srv_init(), 1);
  SrvConnection* c = srv_connect_driver("ODBC", (Connect("Helvoristan/ORACLE") + ";SCROLL=NO").c_str());
  ASSERT_NE(c, nullptr) << Arg(0);
  SrvStatement* s = srv_execute(c, "select ID from T");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(srv_fetch(c, s, kSrvFetchFirst), 0);
  ASSERT_EQ(err_count(), 1);
  const std::string text = Arg(0);
  const std::string tail = std::string(":Fetch First. ") + kernel_string(kStrSrvFetchNote);
  EXPECT_NE(text.find("fetch type out of range"), std::string::npos) << text;
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  // A static cursor (no SCROLL=NO) goes back to the first row.
  SrvConnection* scrolling = srv_connect_driver("ODBC", Connect("Helvoristan/ORACLE").c_str());
  ASSERT_NE(scrolling, nullptr);
  SrvStatement* t = srv_execute(scrolling, "select ID from T order by ID");
  ASSERT_EQ(srv_fetch(scrolling, t, kSrvFetchLast), 1);
  ASSERT_EQ(srv_fetch(scrolling, t, kSrvFetchFirst), 1);
  Value v{};
  ASSERT_EQ(srv_column_value(scrolling, t, &v, 1), 1);
  EXPECT_EQ(v.u.i, 1);
}

TEST_F(SrvOdbc, UnloadFreesOpenStatementsAndConnectionsFirst) {
  MakeTable();
  ASSERT_EQ(srv_init(), 1);
  SrvConnection* c = srv_connect_driver("ODBC", Connect("SQLite").c_str());
  ASSERT_NE(c, nullptr);
  ASSERT_NE(srv_execute(c, "select ID from T"), nullptr);
  std::remove(trace.c_str());
  srv_unload_all();
  ASSERT_EQ(srv_init(), 1);
  SrvConnection* again = srv_connect_driver("ODBC", Connect("SQLite").c_str());
  ASSERT_NE(again, nullptr);
  SrvStatement* s = srv_execute(again, "select count(*) from T");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(srv_fetch(again, s, kSrvFetchNext), 1);
  std::vector<std::string> fns;
  for (const auto& e : testodbc::ReadTrace(trace)) fns.push_back(e.Get("fn"));
  auto at = [&](const char* fn) {
    size_t i = 0;
    while (i < fns.size() && fns[i] != fn) ++i;
    return i;
  };
  // The old statement is freed and the old connection closed before the
  // new connection is made.
  ASSERT_FALSE(fns.empty());
  EXPECT_EQ(fns[0], "SQLFreeHandle");
  EXPECT_LT(at("SQLDisconnect"), at("SQLDriverConnect"));
  EXPECT_LT(at("SQLDriverConnect"), fns.size());
}

TEST_F(SrvOdbc, SrvqLiteralsPerServer) {
  MakeTable();
  struct Case {
    const char* line;
    const char* sqlserver;
    const char* oracle;
    const char* informix;
    const char* ius;
  };
  const Case cases[] = {
      {":literal 1 O'Neil", "'O''Neil'", "'O''Neil'", "'O''Neil'", "'O''Neil'"},
      {":literal 1", "NULL", "NULL", "NULL", "NULL"},
      {":literal 5 20040127", "{d '2004-01-27'}", "TO_DATE('2004-01-27', 'YYYY-MM-DD')", "{d '2004-01-27'}",
       "{d '2004-01-27'}"},
      {":literal 6 T", "1", "1", "1", "\"T\""},
      {":literal 8 -1.2345678901234e-300", "-1.2345678901234e-300", "-1.2345678901234e-300", "-1.2345678901234e-300",
       "-1.2345678901234e-300"},
      {":literal 39 9007199254740993", "9007199254740993", "9007199254740993", "9007199254740993",
       "9007199254740993"},
  };
  const char* servers[] = {"Microsoft SQL Server", "Oracle", "Informix", "IUS"};
  for (int s = 0; s < 4; ++s) {
    std::vector<std::string> args{Connect(servers[s])};
    std::string want;
    for (const Case& c : cases) {
      args.push_back(c.line);
      want += std::string(s == 0 ? c.sqlserver : s == 1 ? c.oracle : s == 2 ? c.informix : c.ius) + "\n";
    }
    const auto [out, rc] = Srvq(args);
    EXPECT_EQ(rc, 0) << servers[s] << ": " << out;
    EXPECT_EQ(out, want) << servers[s];
  }
}

TEST_F(SrvOdbc, SrvqOpenReusesAndPairs) {
  MakeTable();
  const std::string c = Connect("SQLite");
  const std::string c2 = testodbc::ConnectString({{"DBMS", "SQLite"}, {"DBMSVER", "09.00.1399"}, {"UID", "u"},
                                                  {"PWD", "other"}, {"DB", dir.Path()}, {"TRACE", trace},
                                                  {"SCROLL", "YES"}});
  const std::string c3 = testodbc::ConnectString(
      {{"DBMS", "SQLite"}, {"DBMSVER", "09.00.1399"}, {"UID", "v"}, {"PWD", "p"}, {"DB", dir.Path()}, {"TRACE", trace}});
  std::remove(trace.c_str());
  const auto [out, rc] = Srvq({c, ":open " + c2, ":open " + c3});
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out, "conn=1|paired=0\nconn=2|paired=0\n");
  int connects = 0;
  for (const auto& e : testodbc::ReadTrace(trace)) connects += e.Get("fn") == "SQLDriverConnect";
  EXPECT_EQ(connects, 2);
  const std::string qd = Connect("SQL Server QD");
  const auto [out2, rc2] = Srvq({qd, ":open " + qd});
  EXPECT_EQ(rc2, 0) << out2;
  EXPECT_EQ(out2, "conn=1|paired=2\n");
  const std::string ms = Connect("Microsoft SQL Server");
  const auto [out3, rc3] = Srvq({ms, ":open " + ms});
  EXPECT_EQ(out3, "conn=1|paired=0\n");
  // A connect string with no room for ";SCROLL=NO" is refused, never cut.
  ASSERT_EQ(srv_init(), 1);
  EXPECT_EQ(srv_open_connection("ODBC", (c + ";X=" + std::string(1000, 'a')).c_str()), nullptr);
  EXPECT_EQ(err_count(), 1);
}

TEST_F(SrvOdbc, SelectRowByKey) {
  ASSERT_EQ(srv_init(), 1);
  SrvConnection* c = srv_open_connection("ODBC", Connect("SQLite").c_str());
  ASSERT_NE(c, nullptr) << Arg(0);
  for (const char* sql : {"create table T(ID INTEGER, NAME CHAR(10), V DOUBLE)",
                          "insert into T values (12, 'ab', 2.5)", "insert into T values (13, NULL, 3.5)"}) {
    SrvStatement* s = srv_execute(c, sql);
    ASSERT_NE(s, nullptr) << sql << ": " << Arg(0);
    ASSERT_EQ(srv_close_statement(c, s), 1);
  }
  char id[] = "ID", name[] = "NAME", v[] = "V";
  char* items[] = {id, name, v};
  char names[2][kSrvKeyNameSize] = {"ID", "NAME"};
  SrvKeyList keys{};
  keys.count = 1;
  keys.names = names;
  SrvTableRef ref{};
  ASSERT_EQ(srv_parse_table_ref(c, &ref, "T"), 1);
  SrvQuery q{};
  q.conn = c;
  q.table = &ref;
  q.items = items;
  q.item_count = 3;
  q.keys = &keys;
  FieldDef* key_row = fieldlist_new(3);
  FieldDef* fields = fieldlist_new(3);
  key_row[0].value.type = 3;
  key_row[0].value.u.i = 12;
  int16_t found = 0;
  ASSERT_EQ(srv_select_row_by_key(c, &q, 3, key_row, fields, nullptr, &found), 1) << Arg(0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(fields[0].value.u.i, 12);
  char text[32];
  EXPECT_STREQ(value_to_text_plain(&fields[1].value, text, sizeof text, -1), "ab");
  EXPECT_EQ(fields[2].value.u.d, 2.5);
  EXPECT_STREQ(keys.condition, "ID=12");
  // Two keys, NAME empty.
  keys.count = 2;
  key_row[0].value.u.i = 13;
  value_from_text("", 1, 10, -1, 1, &key_row[1].value, 0);
  ASSERT_EQ(srv_select_row_by_key(c, &q, 3, key_row, fields, nullptr, &found), 1) << Arg(0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(fields[0].value.u.i, 13);
  key_row[0].value.u.i = 99;
  ASSERT_EQ(srv_select_row_by_key(c, &q, 3, key_row, fields, nullptr, &found), 1);
  EXPECT_EQ(found, 0);
  std::vector<std::string> statements = testodbc::Statements(testodbc::ReadTrace(trace));
  auto seen = [&](const std::string& s) {
    for (const auto& t : statements) if (t == s) return true;
    return false;
  };
  EXPECT_TRUE(seen("SELECT ID, NAME, V FROM T WHERE ID=12"));
  EXPECT_TRUE(seen("SELECT ID, NAME, V FROM T WHERE ID=13 AND NAME IS NULL"));
  mem_free(&keys.condition);
  fieldlist_free(key_row, 3);
  fieldlist_free(fields, 3);
}

TEST_F(SrvOdbc, IndexAndDropStatements) {
  ASSERT_EQ(srv_init(), 1);
  SrvConnection* c = srv_open_connection("ODBC", Connect("SQLite").c_str());
  ASSERT_NE(c, nullptr) << Arg(0);
  SrvStatement* s = srv_execute(c, "create table T(X DOUBLE, Y DOUBLE)");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(srv_close_statement(c, s), 1);
  ASSERT_EQ(xy_create_unique_index2("T", "X", "Y", c), 1) << Arg(0);
  // One index over both columns: points may share an X.
  for (const char* sql : {"insert into T values (1, 2)", "insert into T values (1, 3)"}) {
    s = srv_execute(c, sql);
    ASSERT_NE(s, nullptr) << sql << ": " << Arg(0);
    ASSERT_EQ(srv_close_statement(c, s), 1);
  }
  EXPECT_EQ(srv_execute(c, "insert into T values (1, 3)"), nullptr);
  err_clear();
  EXPECT_EQ(xy_create_unique_index("NOPE", "X", c), 0);  // a failing statement answers 0
  err_clear();
  EXPECT_EQ(ora_drop_table("O", "T", c), 1);  // fails on this server: still 1
  err_clear();
  EXPECT_EQ(ifx_drop_table("O", "T", c), 1);
  err_clear();
  EXPECT_EQ(xy_drop_table("T", c), 1);
  err_clear();
  const std::vector<std::string> statements = testodbc::Statements(testodbc::ReadTrace(trace));
  for (const char* want : {"create unique index \"T_IDX\" on \"T\"(X, Y)", "drop table O.T",
                           "drop table \"O\".\"T\"", "drop table \"T\""}) {
    bool seen = false;
    for (const auto& t : statements) seen = seen || t == want;
    EXPECT_TRUE(seen) << want;
  }
  // The table is gone.
  EXPECT_EQ(srv_execute(c, "select X from T"), nullptr);
  err_clear();
  // Iterating the connections hands out this one, then ends.
  SrvConnection* d = srv_open_connection("ODBC", Connect("SQLite", {{"UID", "other"}}).c_str(), 1);
  ASSERT_NE(d, nullptr);
  void* cursor = nullptr;
  SrvConnection* got = nullptr;
  std::vector<SrvConnection*> seen;
  ASSERT_EQ(srv_iterate_connections(1, &cursor, &got), 1);
  while (srv_iterate_connections(2, &cursor, &got)) seen.push_back(got);
  EXPECT_EQ(srv_iterate_connections(3, &cursor, &got), 1);
  EXPECT_EQ(srv_iterate_connections(4, &cursor, &got), 0);
  EXPECT_EQ(seen, (std::vector<SrvConnection*>{c, d}));
}

// A region of n nodes on a circle-like ring (integer coordinates).
MapObject* Region(int n) {
  MapObject* obj = nullptr;
  EXPECT_EQ(mapobj_new(nullptr, &obj, MAPOBJ_REGION, 0), 1);
  std::vector<IntPoint> ring;
  for (int i = 0; i < n; ++i) ring.push_back({1000 + (i % 100) * 10 + i / 100, 2000 + (i / 100) * 10 + (i % 7)});
  EXPECT_EQ(mapobjx_add_section(obj, 0, nullptr), 1);
  EXPECT_EQ(mapobjx_insert_nodes(obj, 0, 0, ring.data(), n, nullptr, nullptr), 1);
  mapobj_update_mbr(obj);
  return obj;
}

TEST_F(SrvOdbc, GeometryBlobBoundToEveryParameter) {
  SrvConnection* c = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartObjects("Helvoristan/ORACLE", "create table T(ID INTEGER, \"QD_GEOMETRY\" BLOB)", &c));
  NonEarthColumn(5);
  desc.geometry_class = 2;
  std::strcpy(desc.column, "QD_GEOMETRY");
  SrvQuery q{};
  q.desc = &desc;
  MapObject* region = Region(8);  // within the fetch buffer of a binary column
  char *column = nullptr, *value = nullptr;
  ASSERT_EQ(srv_spatial_insert_parts(c, &q, region, &column, &value), 1);
  const std::string sql = std::string("insert into T (ID, ") + column + ") values (1, " + value + ")";
  mem_free(&column);
  mem_free(&value);
  EXPECT_EQ(sql, "insert into T (ID, \"QD_GEOMETRY\") values (1, ?)");
  void* blob = nullptr;
  void* holder = nullptr;
  SrvColumn* param = nullptr;
  SrvStatement* ins = srv_prepare(c, sql.c_str());
  ASSERT_NE(ins, nullptr);
  ASSERT_EQ(srv_spatial_bind_value(&q, c, ins, region, &blob, &holder, &param, 0), 1) << Arg(0);
  ASSERT_EQ(srv_execute_prepared(c, ins), 1) << Arg(0);
  ASSERT_EQ(srv_close_statement(c, ins), 1);
  // The stored bytes are the encoder's, and they decode to the region.
  int32_t size = 0;
  ASSERT_EQ(blob_object_size(region, &size), 1);
  std::vector<uint8_t> want(static_cast<size_t>(size));
  int32_t length = 0;
  ASSERT_EQ(object_to_blob(region, &xf, want.data(), &length, &desc), 1);
  SrvStatement* sel = srv_execute(c, "select QD_GEOMETRY from T");
  ASSERT_NE(sel, nullptr);
  ASSERT_EQ(srv_fetch(c, sel, kSrvFetchNext), 1);
  Value got{};
  ASSERT_EQ(srv_column_value(c, sel, &got, 1), 1);
  std::string hex(2 * static_cast<size_t>(length) + 1, '\0');
  srv_hex_encode(hex.data(), want.data(), length);
  std::vector<char> text(hex.size() + 16);
  value_to_text_plain(&got, text.data(), static_cast<int32_t>(text.size()), -1);
  EXPECT_EQ(std::string(text.data()), std::string(hex.c_str()));
  MapObject decoded;
  mapobj_init(&decoded, MAPOBJ_NONE);
  ASSERT_EQ(blob_to_object(want.data(), length, &g_default_style_set, &xf, &decoded, 1), 1);
  EXPECT_EQ(decoded.type, MAPOBJ_REGION);
  EXPECT_EQ(std::memcmp(&decoded.mbr, &region->mbr, sizeof region->mbr), 0);
  mapobj_free(&decoded);
  value_free(&got);
  srv_close_statement(c, sel);
  // A failing encoder: 0 and nothing executed.
  MapObject* frame = nullptr;
  ASSERT_EQ(mapobj_new(nullptr, &frame, MAPOBJ_NONE, 0), 1);
  SrvStatement* again = srv_prepare(c, sql.c_str());
  EXPECT_EQ(srv_spatial_bind_value(&q, c, again, frame, &blob, &holder, &param, 0), 0);
  srv_close_statement(c, again);
  int executes = 0;
  for (const auto& e : testodbc::ReadTrace(trace)) executes += e.Get("fn") == "SQLExecute";
  EXPECT_EQ(executes, 1);
  srv_spatial_bind_release(&blob, &holder, &param);
  mapobj_destroy(&frame);
  mapobj_destroy(&region);
  err_clear();
}

TEST_F(SrvOdbc, BlobBufferGrowsOnlyForALargerObject) {
  SrvConnection* c = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartObjects("Helvoristan/ORACLE", nullptr, &c));
  NonEarthColumn(5);
  desc.geometry_class = 2;
  SrvQuery q{};
  q.desc = &desc;
  MapObject* big = Region(10000);
  MapObject* small = Region(9000);
  MapObject* bigger = Region(10001);
  SrvStatement* ins = srv_prepare(c, "select ? , ?");
  ASSERT_NE(ins, nullptr);
  ASSERT_EQ(ins->param_count, 2);
  void* blob = nullptr;
  void* holder = nullptr;
  SrvColumn* param = nullptr;
  const int64_t before = srv_spatial_blob_allocations();
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(srv_spatial_bind_value(&q, c, ins, i % 2 ? small : big, &blob, &holder, &param, 0), 1) << Arg(0);
  }
  EXPECT_EQ(srv_spatial_blob_allocations() - before, 1);
  ASSERT_EQ(srv_spatial_bind_value(&q, c, ins, bigger, &blob, &holder, &param, 0), 1);
  EXPECT_EQ(srv_spatial_blob_allocations() - before, 2);
  int32_t size = 0;
  ASSERT_EQ(blob_object_size(bigger, &size), 1);
  EXPECT_GE(mem_size(blob), static_cast<size_t>(size));
  srv_close_statement(c, ins);
  srv_spatial_bind_release(&blob, &holder, &param);
  for (MapObject* o : {big, small, bigger}) mapobj_destroy(&o);
}

// Rows of a two-column numeric select as (x, y) pairs.
std::set<std::pair<double, double>> Points(SrvConnection* c, const std::string& sql) {
  std::set<std::pair<double, double>> out;
  SrvStatement* s = srv_execute(c, sql.c_str());
  EXPECT_NE(s, nullptr) << sql;
  if (s == nullptr) return out;
  Value x{}, y{};
  while (srv_fetch(c, s, kSrvFetchNext) && !srv_statement_at_end(c, s)) {
    srv_column_value(c, s, &x, 1);
    srv_column_value(c, s, &y, 2);
    out.insert({x.u.d, y.u.d});
  }
  srv_close_statement(c, s);
  return out;
}

TEST_F(SrvOdbc, QuadKeyWindowsFindEveryPointInside) {
  SrvConnection* c = nullptr;
  ASSERT_NO_FATAL_FAILURE(StartObjects("SQLite", "create table T(X DOUBLE, Y DOUBLE, C VARCHAR(20))", &c));
  NonEarthColumn(1);
  xform_set_scale(&xf, 1000, 1000, 0, 0);
  std::strcpy(desc.column, "C");
  std::strcpy(desc.x_column, "X");
  std::strcpy(desc.y_column, "Y");
  std::mt19937 rng(31);
  std::uniform_int_distribution<int32_t> coord(-2000000, 2000000);
  MapObject* point = nullptr;
  ASSERT_EQ(mapobj_new(nullptr, &point, MAPOBJ_POINT, 0), 1);
  for (int i = 0; i < 400; ++i) {
    point->u.point.location = {coord(rng), coord(rng)};
    char *columns = nullptr, *values = nullptr;
    ASSERT_EQ(xy_code_insert_parts(&desc, "", point, &columns, &values), 1);
    const std::string sql = std::string("insert into T (") + columns + ") values (" + values + ")";
    mem_free(&columns);
    mem_free(&values);
    SrvStatement* s = srv_execute(c, sql.c_str());
    ASSERT_NE(s, nullptr) << sql << Arg(0);
    srv_close_statement(c, s);
  }
  const auto all = Points(c, "select X, Y from T");
  MapObject* window = nullptr;
  ASSERT_EQ(mapobj_new(nullptr, &window, MAPOBJ_RECT, 0), 1);
  int nonempty = 0, restricted = 0;
  for (int w = 0; w < 60; ++w) {
    const int32_t a = coord(rng), b = coord(rng), d = coord(rng), e = coord(rng);
    window->mbr = {std::min(a, b), std::min(d, e), std::max(a, b), std::max(d, e)};
    const IntPoint corners[2] = {{window->mbr.x1, window->mbr.y1}, {window->mbr.x2, window->mbr.y2}};
    DPoint r[2];
    xform_int_to_xy(corners, r, &xf, 2);
    std::set<std::pair<double, double>> inside, strictly;
    for (const auto& p : all) {
      if (p.first >= r[0].x && p.first <= r[1].x && p.second >= r[0].y && p.second <= r[1].y) inside.insert(p);
      if (p.first > r[0].x && p.first < r[1].x && p.second > r[0].y && p.second < r[1].y) strictly.insert(p);
    }
    nonempty += !strictly.empty();
    char text[65536] = "";
    ASSERT_EQ(xy_code_window_clause(&desc, window, "\"", text, sizeof text), 0);
    const auto coded = Points(c, std::string("select X, Y from T where ") + (text[0] ? text : "1=1"));
    for (const auto& p : inside) EXPECT_TRUE(coded.count(p)) << p.first << " " << p.second << " in " << text;
    restricted += coded.size() < all.size();
    text[0] = '\0';
    std::strcpy(text, "(");
    ASSERT_EQ(xy_code_and_xy_window_clause(&desc, "", r[0].x, r[0].y, r[1].x, r[1].y, "\"", text, sizeof text, 0),
              0);
    const auto exact = Points(c, std::string("select X, Y from T where ") + text + ")");
    EXPECT_EQ(exact, strictly) << text;
  }
  EXPECT_GT(nonempty, 10);
  EXPECT_GT(restricted, 10);  // the key ranges do narrow the rows
  // A clause that does not fit is not appended; the answer is the size needed.
  char small[16] = "";
  const int32_t need = xy_code_and_xy_window_clause(&desc, "", 0, 0, 1, 1, "", small, sizeof small, 1);
  EXPECT_GT(need, 16);
  EXPECT_STREQ(small, "");
  mapobj_destroy(&window);
  mapobj_destroy(&point);
}

}  // namespace
