// Per-server detection and spatial SQL over the ODBC test module and the
// test ODBC driver: srvq's :detect for Oracle with MDSYS, the extension on
// Oracle, Informix with the extension and SQS; a relational SDO layer kept
// in SQLite read feature by feature through a forward-only cursor; the
// Informix R-tree index.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"
#include "kernel/runtime/value.h"
#include "kernel/server/srv.h"
#include "kernel/server/srv_ifx.h"
#include "kernel/server/srv_sdorel.h"
#include "kernel/server/srv_spx.h"
#include "kernel/server/srv_sqs.h"
#include "kernel/runtime/kstr.h"
#include "kernel/server/srv_odbc_fixture.h"
#include "odbc/support/testodbc.h"
#include "srvq_run.h"

namespace {

const char* kMdsys =
    "is select 1 from all_users where username = 'MDSYS'\n"
    "rows\ncols X\nrow 1\n";

class SrvServerSqlOdbc : public srvtest::OdbcTest {
 protected:
  std::string Connect(const std::string& dbms, const std::string& version, const std::string& rules = "") {
    std::vector<std::pair<std::string, std::string>> attrs = {
        {"DBMS", dbms}, {"DBMSVER", version}, {"UID", "u"}, {"PWD", "p"}, {"DB", dir.Path()}, {"TRACE", trace}};
    if (!rules.empty()) attrs.push_back({"RULES", RuleFile(rules)});
    return testodbc::ConnectString(attrs);
  }
};

std::string FirstLine(const std::string& out) { return out.substr(0, out.find('\n')); }

TEST_F(SrvServerSqlOdbc, DetectPerServer) {
  const char* informix =
      "is SELECT 1 FROM sysinherits\nrows\ncols X\nrow 1\n"
      "on execute\\s+function\\s+kt_spatial_id\\(\\)\nrows\ncols id\nrow Helvoristan.4.5.1\n";
  const char* informix450 =
      "is SELECT 1 FROM sysinherits\nrows\ncols X\nrow 1\n"
      "on execute\\s+function\\s+kt_spatial_id\\(\\)\nrows\ncols id\nrow Helvoristan.4.5.0\n";
  const char* sqs = "is SELECT @@SQSVERSION\nrows\ncols V\nrow 2.1/3\nis set coordinate format ddeg\nok\n";
  const char* not_sqs = "is SELECT @@SQSVERSION\nerror 42000 Must declare the variable.\n";
  struct Case {
    const char* dbms;
    const char* version;
    const char* rules;
    const char* answers;  // sdorel_detect, spx_is_oracle_extension, ifx_detect, sqs_detect
    int number;           // the server version number after detection
    const char* errors;   // the error lines after the :detect line
    const char* server;   // the server type :info then shows
  } cases[] = {
      {"Oracle", "10.2.0.1.0", kMdsys, "1000", 10, "", "Oracle SDO Server"},
      {"Oracle", "10.2.0.1.0", "", "0000", 10, "", "Oracle"},
      {"Helvoristan/ORACLE", "04.05.1", "", "0100", 451, "", "Helvoristan/ORACLE"},
      {"Helvoristan/ORACLE", "04.05.5", "", "0100", 451, "", "Helvoristan/ORACLE"},
      {"Helvoristan/ORACLE", "04.05.0", "", "0100", 4, "", "Helvoristan/ORACLE"},
      {"Informix", "09.40", informix, "0010", 451, "", "IUS"},
      {"Informix", "09.40", informix450, "0010", 9, "", "IUS"},
      {"Informix", "2.8", informix, "0010", 451, "", "IUS"},
      {"Informix", "2.71", informix, "0000", 451, "error 1581: |\n", "Informix"},
      // The profile's kt_spatial_id() fails: not taken, nothing reported.
      {"Informix", "09.40", "is SELECT 1 FROM sysinherits\nrows\ncols X\nrow 1\n", "0000", 9, "", "Informix"},
      {"SQL Server", "08.00", sqs, "0001", 8, "", "Autometric SQS Server"},
      {"SQL Server", "08.00", not_sqs, "0000", 8, "", "SQL Server"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.dbms) + " " + c.version);
    const auto [out, rc] = Srvq({Connect(c.dbms, c.version, c.rules), ":detect", ":info"});
    EXPECT_EQ(rc, 0) << out;
    std::string detect = "ora_detect_spatial=0";
    const char* names[] = {"sdorel_detect", "spx_is_oracle_extension", "ifx_detect", "sqs_detect"};
    for (int i = 0; i < 4; ++i) detect += std::string("|") + names[i] + "=" + c.answers[i];
    detect += "|number=" + std::to_string(c.number) + "\n" + c.errors;
    EXPECT_EQ(out.substr(0, detect.size()), detect) << out;
    const std::string info = out.substr(std::min(out.size(), detect.size()));
    EXPECT_EQ(FirstLine(info).rfind(std::string("server=") + c.server + "|version=" + c.version + "|", 0), 0u) << out;
  }
}

TEST_F(SrvServerSqlOdbc, ProbesSentByDetection) {
  // The SQS probe refused: the coordinate format is still set.
  const std::string refused = "is SELECT @@SQSVERSION\nerror 42000 no such variable\n";
  const auto [out, rc] = Srvq({Connect("SQL Server", "08.00", refused), ":detect"});
  EXPECT_EQ(rc, 0) << out;
  std::vector<std::string> sent = Sent();
  EXPECT_EQ(sent, (std::vector<std::string>{"SELECT @@SQSVERSION", "set coordinate format ddeg"}));
  // Informix: sysinherits, then kt_spatial_id().
  std::remove(trace.c_str());
  Srvq({Connect("Informix", "09.40"), ":detect"});
  EXPECT_EQ(Sent(), (std::vector<std::string>{"SELECT 1 FROM sysinherits"}));
  // Oracle: the MDSYS probe only.
  std::remove(trace.c_str());
  Srvq({Connect("Oracle", "10.2.0.1.0", kMdsys), ":detect"});
  EXPECT_EQ(Sent(), (std::vector<std::string>{"select 1 from all_users where username = 'MDSYS'"}));
}

TEST_F(SrvServerSqlOdbc, InformixRtreeIndex) {
  ASSERT_EQ(srv_init(), 1);
  const std::string rules = "on create index O\\.KTTIND on O\\.T\\(G Kt_Ops\\) using rtree\nok\n";
  SrvConnection* c = srv_open_connection("ODBC", Connect("Informix", "09.40", rules).c_str());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ifx_create_spatial_index("O", "T", "G", c), 1);
  EXPECT_EQ(Sent().back(), "create index O.KTTIND on O.T(G Kt_Ops) using rtree");
  err_clear();
  EXPECT_EQ(ifx_create_spatial_index("O", "U", "G", c), 0);  // the profile refuses other tables
}

// Table probes: the statement each sends, names in '...' with their quotes
// doubled, the synonym followed, the second form of the SQS call.
TEST_F(SrvServerSqlOdbc, TableProbes) {
  ASSERT_EQ(srv_init(), 1);
  const char* rules =
      "is SELECT TABLE_NAME FROM ALL_TABLES WHERE TABLE_NAME = 'RD' AND ROWNUM = 1\nrows\ncols TABLE_NAME\n"
      "is SELECT TABLE_NAME FROM ALL_SYNONYMS WHERE SYNONYM_NAME = 'RD'\nrows\ncols TABLE_NAME\nrow \"O'NEIL\"\n"
      "is SELECT TABLE_NAME FROM ALL_TABLES WHERE TABLE_NAME = 'O''NEIL' AND ROWNUM = 1\nrows\ncols T\nrow 1\n"
      "is SELECT 1 FROM ALL_TAB_COLUMNS WHERE OWNER = 'U' AND TABLE_NAME = 'ROADS' AND COLUMN_NAME = 'QD_GEOMETRY'\n"
      "rows\ncols X\nrow 1\n";
  SrvConnection* ora = srv_open_connection("ODBC", Connect("Helvoristan/ORACLE", "04.05.1", rules).c_str());
  ASSERT_NE(ora, nullptr);
  EXPECT_EQ(sdorel_resolve_synonym(ora, "U.RD"), 1);
  const std::vector<std::string> want = {
      "SELECT TABLE_NAME FROM ALL_TABLES WHERE TABLE_NAME = 'RD' AND ROWNUM = 1",
      "SELECT TABLE_NAME FROM ALL_SYNONYMS WHERE SYNONYM_NAME = 'RD'",
      "SELECT TABLE_NAME FROM ALL_TABLES WHERE TABLE_NAME = 'O''NEIL' AND ROWNUM = 1"};
  EXPECT_EQ(Sent(), want);
  EXPECT_EQ(sdorel_resolve_synonym(ora, "U.NOTHING"), 0);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(spx_is_spatial_table(ora, "U.ROADS"), 1);
  EXPECT_EQ(spx_is_spatial_table(ora, "U.STREETS"), 0);
  EXPECT_EQ(err_count(), 0);

  const char* sqs =
      "is SELECT @@SQSVERSION\nrows\ncols V\nrow 3.0/3\nis set coordinate format ddeg\nok\n"
      "is sp_is_spatial'dbo.ROADS'\nrows\ncols X\nrow 1\n"
      "on sp_is_spatial.*\nerror 42000 Could not find stored procedure.\n"
      "is exec sp_spatial_check @owner='dbo' ,@table='O''NEIL'\nrows\ncols X\nrow 1\n";
  SrvConnection* server = srv_open_connection("ODBC", Connect("SQL Server", "08.00", sqs).c_str());
  ASSERT_NE(server, nullptr);
  ASSERT_EQ(sqs_detect(server), 1);
  EXPECT_EQ(server->update, 1);
  server->owners_used = 1;
  EXPECT_EQ(sqs_is_spatial_table(server, "dbo.ROADS"), 1);
  EXPECT_EQ(sqs_is_spatial_table(server, "dbo.\"O'NEIL\""), 0);  // no second form chosen
  ASSERT_EQ(kernel_string_override(6960, "exec sp_spatial_check @owner="), 1);
  ASSERT_EQ(kernel_string_override(6961, ",@table="), 1);
  EXPECT_EQ(sqs_is_spatial_table(server, "dbo.O'NEIL"), 1);
  EXPECT_EQ(Sent().back(), "exec sp_spatial_check @owner='dbo' ,@table='O''NEIL' ");
  kernel_string_reset();
  EXPECT_EQ(err_count(), 0);
}

// A layer of four features in SQLite: a line of two elements, a polygon
// whose rows repeat its first point, a point, and a line far away.
TEST_F(SrvServerSqlOdbc, SdoLayerReadFeatureByFeatureForwardOnly) {
  ASSERT_EQ(srv_init(), 1);
  ASSERT_EQ(mapobj_runtime_start(), 1);
  SrvConnection* c = srv_open_connection("ODBC", Connect("Oracle", "10.2.0.1.0", kMdsys).c_str());
  ASSERT_NE(c, nullptr);
  EXPECT_NE(std::strstr(c->connect, "SCROLL=NO"), nullptr);
  ASSERT_EQ(sdorel_detect(c), 1);
  EXPECT_STREQ(c->server_type, "Oracle SDO Server");
  for (const char* sql : {
           "create table ROADS(GID INTEGER, NAME VARCHAR(10))",
           "create table ROADS_SDOLAYER(SDO_ORDCNT INTEGER)",
           "create table ROADS_SDOGEOM(SDO_GID INTEGER, SDO_ESEQ INTEGER, SDO_ETYPE INTEGER, SDO_SEQ INTEGER, "
           "SDO_X1 FLOAT, SDO_Y1 FLOAT, SDO_X2 FLOAT, SDO_Y2 FLOAT)",
           "insert into ROADS_SDOLAYER values (5)",
           "insert into ROADS values (1, 'line')",
           "insert into ROADS values (2, 'polygon')",
           "insert into ROADS values (3, 'point')",
           "insert into ROADS values (4, 'far')",
           "insert into ROADS_SDOGEOM values (1, 1, 2, 1, 0, 0, 1, 1)",
           "insert into ROADS_SDOGEOM values (1, 1, 2, 2, 2, 2, NULL, NULL)",
           "insert into ROADS_SDOGEOM values (1, 2, 2, 1, 5, 5, 6, 6)",
           "insert into ROADS_SDOGEOM values (2, 1, 3, 1, 0, 0, 4, 0)",
           "insert into ROADS_SDOGEOM values (2, 1, 3, 2, 4, 4, 0, 0)",
           "insert into ROADS_SDOGEOM values (3, 1, 1, 1, 7, 8, NULL, NULL)",
           "insert into ROADS_SDOGEOM values (4, 1, 2, 1, 100, 100, 101, 101)",
       }) {
    SrvStatement* s = srv_execute(c, sql);
    ASSERT_NE(s, nullptr) << sql;
    srv_close_statement(c, s);
  }
  ASSERT_EQ(srv_commit(c), 1);

  CoordXform xf{};
  xform_default_nonearth(&xf);
  xform_set_scale(&xf, 1000, 1000, 0, 0);
  SpatialColumnDesc desc;
  std::strcpy(desc.column, "GID");
  desc.coordsys = &xf;
  SrvSearch search;
  SrvQuery query;
  query.desc = &desc;
  query.search = &search;
  ASSERT_EQ(sdorel_is_layer(c, &query, "u.ROADS"), 1);
  EXPECT_EQ(query.pairs_per_row, 2);  // SDO_ORDCNT 5
  EXPECT_EQ(sdorel_is_layer(c, &query, "u.STREETS"), 0);
  EXPECT_EQ(err_count(), 0);

  char* from = srv_text_block("\"ROADS\"");
  char* where = nullptr;
  char* tail = nullptr;
  ASSERT_EQ(sdorel_window_clause(&desc, &search, "-10", "-10", "50", "50", &where), 1);
  ASSERT_EQ(sdorel_add_geom_table(c, &from, "\"ROADS\""), 1);
  ASSERT_EQ(sdorel_add_join(c, &query, &where, "\"ROADS\""), 1);
  ASSERT_EQ(sdorel_add_order(c, &query, &tail, "\"ROADS\""), 1);
  const std::string sql = std::string("select \"ROADS\".NAME, \"ROADS\".\"GID\", \"SDO_ETYPE\", \"SDO_ESEQ\", "
                                      "\"SDO_SEQ\", \"SDO_X1\", \"SDO_Y1\", \"SDO_X2\", \"SDO_Y2\" from ") +
                          from + " where " + where + tail;
  mem_free(&from);
  mem_free(&where);
  mem_free(&tail);
  EXPECT_EQ(sql,
            "select \"ROADS\".NAME, \"ROADS\".\"GID\", \"SDO_ETYPE\", \"SDO_ESEQ\", \"SDO_SEQ\", \"SDO_X1\", "
            "\"SDO_Y1\", \"SDO_X2\", \"SDO_Y2\" from \"ROADS\",\"ROADS_SDOGEOM\" where 1=1 AND  "
            "\"ROADS\".\"GID\" = \"ROADS_SDOGEOM\".\"SDO_GID\" ORDER BY "
            "\"ROADS\".GID,\"ROADS_SDOGEOM\".SDO_ESEQ,\"ROADS_SDOGEOM\".SDO_SEQ");
  SrvStatement* stmt = srv_execute(c, sql.c_str());
  ASSERT_NE(stmt, nullptr);
  MapObject obj{};
  mapobj_init(&obj, 0);
  Value name{};
  std::vector<std::string> features;
  while (sdorel_fetch_next(c, &query, stmt) && !srv_statement_at_end(c, stmt)) {
    ASSERT_EQ(srv_column_value(c, stmt, &name, 1), 1);
    ASSERT_EQ(sdorel_rows_to_object(c, &query, stmt, &obj, sdorel_first_column(&query, stmt->column_count), 1), 1);
    char text[64];
    std::string f = std::string(value_to_text_plain(&name, text, sizeof text, -1)) + ":" + std::to_string(obj.type);
    if (obj.type == MAPOBJ_POLYLINE || obj.type == MAPOBJ_REGION) {
      MapSection* h = mapobj_lock_sections(&obj, 1);
      for (int32_t s = 0; s < obj.u.poly.sections; ++s) f += (s ? "," : ":") + std::to_string(h[s].node_count);
      mapobj_unlock_sections(&obj, h, 1);
    }
    if (obj.type == MAPOBJ_POINT) f += ":" + std::to_string(obj.u.point.location.x / 1000);
    features.push_back(f);
  }
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(features, (std::vector<std::string>{"line:4:3,2", "polygon:5:4", "point:1:7", "far:0"}));
  value_free(&name);
  mapobj_free(&obj);
  srv_search_release(&search);
  srv_close_statement(c, stmt);
  mapobj_runtime_end();
  value_set_object_ops(nullptr);
  // Every fetch went forward: nine rows and the end, nothing fetched back.
  int forward = 0;
  for (const testodbc::TraceEntry& e : testodbc::ReadTrace(trace)) {
    const std::string fn = e.Get("fn");
    if (fn == "SQLFetchScroll") {
      EXPECT_EQ(e.Get("dir"), "next") << e.line;
    }
    forward += fn == "SQLFetch" || fn == "SQLFetchScroll";
  }
  EXPECT_GE(forward, 10);
}

}  // namespace
