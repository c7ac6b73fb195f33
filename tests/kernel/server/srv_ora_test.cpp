// Oracle Spatial through the server layer: detection of the spatial option
// (srvq and in process), the spatial index by version and row count, the
// layer metadata row in one transaction, layer metadata read through the
// scripted driver, window conditions, geometry-valued names and the
// Workspace Manager blocks. The test ODBC driver answers the server's probes
// from rule files; its trace is the record of the statements sent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/server/fake_driver.h"
#include "kernel/server/srv.h"
#include "kernel/server/srv_detect.h"
#include "kernel/server/srv_ora.h"
#include "kernel/tables/tabdef.h"
#include "kernel/server/srv_odbc_fixture.h"
#include "odbc/support/testodbc.h"
#include "srvq_run.h"

namespace {

using srvtest::Arg;

CoordXform Xform(const char* text) {
  CoordXform xf;
  EXPECT_EQ(coordsys_from_text(&xf, text, 0), 1) << text;
  return xf;
}

class OraOdbc : public srvtest::OdbcTest {
 protected:
  std::string Connect(const std::string& version, const std::string& rules) {
    return testodbc::ConnectString({{"DBMS", "Oracle"},
                                    {"DBMSVER", version},
                                    {"UID", "scott"},
                                    {"PWD", "p"},
                                    {"RULES", RuleFile(rules)},
                                    {"TRACE", trace}});
  }
  // A connection of the driver registered again as ORAINET.
  SrvConnection* Open(const std::string& version, const std::string& rules, const char* driver = "ORAINET") {
    EXPECT_EQ(srv_init(), 1);
    if (srv_find_driver("ORAINET") == nullptr) {
      EXPECT_EQ(srv_register_driver_for_test("ORAINET", srv_driver_functions("ODBC")), 1);
    }
    SrvConnection* c = srv_connect_driver(driver, Connect(version, rules).c_str());
    EXPECT_NE(c, nullptr);
    return c;
  }
  // The SQLEndTran operations of the trace, in order.
  std::vector<std::string> Ends() {
    std::vector<std::string> ops;
    for (const auto& e : testodbc::ReadTrace(trace)) {
      if (e.Get("fn") == "SQLEndTran") ops.push_back(e.Get("op"));
    }
    return ops;
  }
  void ClearTrace() { std::remove(trace.c_str()); }
};

const char* const kSpatialRules =
    "is select value from v$option where parameter='Spatial'\nrows\ncols VALUE\nrow FALSE\n"
    "is select sdo_admin.sdo_version() from dual\nrows\ncols V\nrow \"10.2.0.1.0\"\n";

TEST_F(OraOdbc, SrvqDetectsTheSpatialOptionOnlyOnTheToolkitDriver) {
  const std::string connect = Connect("10.02.0000", kSpatialRules);
  const std::string out = Srvq({"-a", "ORAINET", "-d", "ORAINET", connect, ":detect", ":info"}).first;
  const size_t line = out.find('\n');
  ASSERT_NE(line, std::string::npos) << out;
  // The detectors of every kind in order, Oracle's first.
  EXPECT_EQ(out.substr(0, line),
            "ora_detect_spatial=1|sdorel_detect=0|spx_is_oracle_extension=0|ifx_detect=0|sqs_detect=0|number=10")
      << out;
  EXPECT_EQ(out.find("\nerror"), std::string::npos) << out;
  EXPECT_NE(out.find("\nserver=Oracle_Spatial|version=10.2.0.1.0|user=SCOTT|"), std::string::npos) << out;
  const std::vector<std::string> sent = Sent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], "select value from v$option where parameter='Spatial'");
  EXPECT_EQ(sent[1], "select sdo_admin.sdo_version() from dual");

  ClearTrace();
  const std::string plain = Srvq({connect, ":detect", ":info"}).first;
  EXPECT_EQ(plain.rfind("ora_detect_spatial=0|sdorel_detect=0|", 0), 0u) << plain;
  EXPECT_NE(plain.find("\nserver=Oracle|version=10.02.0000|user=scott|"), std::string::npos) << plain;
  for (const std::string& s : Sent()) EXPECT_EQ(s.find("v$option"), std::string::npos) << s;
}

TEST_F(OraOdbc, DetectionSetsThe815FlagOnlyForTheExactVersion) {
  struct Case {
    const char* version;
    int16_t flag;
  } cases[] = {{"8.1.5.0.0", 1}, {"8.1.5.0.1", 0}, {"8.1.5", 0}};
  for (const Case& c : cases) {
    const std::string rules = std::string("is select value from v$option where parameter='Spatial'\nrows\ncols V\n"
                                          "row TRUE\nis select sdo_admin.sdo_version() from dual\nrows\ncols V\nrow ") +
                              c.version + "\n";
    SrvConnection* conn = Open("08.01.0000", rules);
    ASSERT_NE(conn, nullptr);
    EXPECT_EQ(ora_detect_spatial(conn), 1);
    EXPECT_STREQ(conn->version, c.version);
    EXPECT_EQ(conn->oracle_815, c.flag) << c.version;
    EXPECT_EQ(ora_is_spatial_server(conn), 1);
    EXPECT_EQ(ora_is_oracle_toolkit(conn), 1);
    srv_unload_all();
  }
}

TEST_F(OraOdbc, FailedProbesLeaveNoError) {
  // No v$option row: not spatial, the version probe is not sent.
  SrvConnection* conn = Open("10.02.0000", "is select value from v$option where parameter='Spatial'\nrows\ncols V\n");
  ASSERT_NE(conn, nullptr);
  EXPECT_EQ(ora_detect_spatial(conn), 0);
  EXPECT_EQ(err_count(), 0);
  EXPECT_STREQ(conn->server_type, "Oracle");
  EXPECT_EQ(Sent().size(), 1u);
  srv_unload_all();
  // Both probes refused by the server.
  conn = Open("10.02.0000", "on select .*\nerror 42000 no such view\n");
  ASSERT_NE(conn, nullptr);
  EXPECT_EQ(ora_detect_spatial(conn), 0);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(ora_is_spatial_table(conn, "O.T"), 0);
  EXPECT_EQ(err_count(), 0);
  SpatialColumnDesc desc;
  EXPECT_EQ(ora_read_dims_and_srid(conn, &desc), 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(OraOdbc, SpatialTableQuotesItsNames) {
  SrvConnection* conn =
      Open("10.02.0000", "on select column_name from all_tab_columns .*\nrows\ncols C\nrow G\n");
  ASSERT_NE(conn, nullptr);
  EXPECT_EQ(ora_is_spatial_table(conn, "O.T"), 1);
  EXPECT_EQ(Sent().back(),
            "select column_name from all_tab_columns where data_type = 'SDO_GEOMETRY' and owner = 'O' and "
            "table_name = 'T'");
}

TEST_F(OraOdbc, SpatialIndexByVersionAndRowCount) {
  const std::string quadtree =
      "create index O.T_SX on O.T (G) indextype is mdsys.spatial_index parameters ('SDO_LEVEL=%d, SDO_NUMTILES=4')";
  struct Case {
    const char* version;
    int rows;  // -1: no count sent
    const char* estimate;  // rule action for the estimate
    int level;             // 0: the R-tree form
  } cases[] = {
      {"8.1.6.0.0", 2499, "error 42000 no", 6}, {"8.1.6.0.0", 2500, "error 42000 no", 8},
      {"8.1.6.0.0", 7499, "error 42000 no", 8}, {"8.1.6.0.0", 7500, "error 42000 no", 4},
      {"8.1.6.0.0", 7500, "sql select 7", 7},   {"8.1.6.0.0", 7500, "sql select 0", 4},
      {"8.1.7.0.0", -1, "error 42000 no", 0},   {"10.2.0.1.0", -1, "error 42000 no", 0},
  };
  for (const Case& c : cases) {
    const std::string rules = "is Select count(*) from O.T\nsql select " + std::to_string(c.rows < 0 ? 1 : c.rows) +
                              "\non select mdsys\\.sdo_tune\\.estimate_tiling_level.*\n" + c.estimate +
                              "\non select SDO_INDEX_TABLE .*\nrows\ncols X\nrow T_SX_IDX\non (create index|ANALYZE) "
                              ".*\nok\n";
    ClearTrace();
    SrvConnection* conn = Open(c.version, rules);
    ASSERT_NE(conn, nullptr);
    EXPECT_EQ(ora_create_spatial_index("O", "T", "G", conn), 1) << c.version << " " << c.rows;
    EXPECT_EQ(err_count(), 0);
    const std::vector<std::string> sent = Sent();
    std::string create, analyze;
    bool counted = false;
    for (const std::string& s : sent) {
      if (s.rfind("create index", 0) == 0) create = s;
      if (s.rfind("ANALYZE", 0) == 0) analyze = s;
      counted = counted || s == "Select count(*) from O.T";
    }
    if (c.level == 0) {
      EXPECT_EQ(create, "create index O.T_SX on O.T (G) indextype is mdsys.spatial_index") << c.version;
      EXPECT_FALSE(counted);
      EXPECT_EQ(analyze, "");
    } else {
      char want[256];
      std::snprintf(want, sizeof want, quadtree.c_str(), c.level);
      EXPECT_EQ(create, want) << c.rows;
      EXPECT_EQ(analyze, "ANALYZE table T_SX_IDX compute statistics");
    }
    srv_unload_all();
  }
}

TEST_F(OraOdbc, LongNamesGoWhole) {
  const std::string o(128, 'O'), t(128, 'T'), g(128, 'G'), w = std::string(127, 'W') + "'";
  SrvConnection* conn = Open("10.2.0.1.0", "on (create index|BEGIN DBMS_WM).*\nok\n");
  ASSERT_NE(conn, nullptr);
  EXPECT_EQ(ora_create_spatial_index(o.c_str(), t.c_str(), g.c_str(), conn), 1);
  EXPECT_EQ(ora_merge_table(conn, w.c_str(), t.c_str(), (g + " = 'A'").c_str(), 1), 1);
  // A workspace name too long to keep is sent whole and remembered as
  // unknown: the next request goes to the server again.
  EXPECT_EQ(ora_refresh_table(conn, w.c_str(), t.c_str(), nullptr), 1);
  EXPECT_STREQ(conn->workspace, "");
  EXPECT_EQ(ora_refresh_table(conn, w.c_str(), t.c_str(), nullptr), 1);
  const std::string goto_w = "BEGIN DBMS_WM.GotoWorkspace('" + std::string(127, 'W') + "'''); END;";
  const std::string refresh =
      "BEGIN DBMS_WM.RefreshTable('" + std::string(127, 'W') + "''', '" + t + "', '', TRUE); END;";
  const std::vector<std::string> want = {
      "create index " + o + "." + t + "_SX on " + o + "." + t + " (" + g + ") indextype is mdsys.spatial_index",
      "BEGIN DBMS_WM.MergeTable('" + std::string(127, 'W') + "''', '" + t + "', '" + g +
          " = ''A''', FALSE, TRUE, TRUE); END;",
      goto_w, refresh, goto_w, refresh};
  EXPECT_EQ(Sent(), want);
}

// The insert of a metadata row, the ops that ended the transaction.
struct MetadataRun {
  int16_t answer = 0;
  std::string insert;
  std::vector<std::string> ends;
};

class OraMetadata : public OraOdbc {
 protected:
  MetadataRun Write(const char* version, const CoordXform& xf, const std::string& more_rules = "",
                    const char* table = "T", const char* column = "G") {
    ClearTrace();
    const std::string rules = more_rules +
                              "on select SRID from MDSYS\\.GEODETIC_SRIDS where SRID = (8307|8265)\nsql select $1\n"
                              "on (delete from|insert into) user_sdo_geom_metadata.*\nok\n";
    MetadataRun r;
    SrvConnection* conn = Open(version, rules);
    if (conn == nullptr) return r;
    r.answer = ora_write_geom_metadata(conn, table, column, &xf);
    const std::vector<std::string> sent = Sent();
    for (const std::string& s : sent) {
      if (s.rfind("insert into user_sdo_geom_metadata", 0) == 0) r.insert = s;
    }
    EXPECT_FALSE(sent.empty());
    if (!sent.empty()) {
      EXPECT_EQ(sent[0].rfind("delete from user_sdo_geom_metadata where table_name = ", 0), 0u);
    }
    r.ends = Ends();
    srv_unload_all();
    return r;
  }
};

std::string Fixed(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%21.10f", v);
  return buf;
}

TEST_F(OraMetadata, GeodeticLatLongOnNewerServers) {
  CoordXform ll = Xform("CoordSys Earth Projection 1, 104");
  xform_set_scale(&ll, 1e6, 1e6, 0, 0);
  // One tenth of one integer step along the equator, in metres, on the
  // 6370997 m sphere the distance routine uses for lat/long.
  const IntPoint p[2] = {{0, 0}, {1, 0}};
  DPoint q[2];
  xform_int_to_xy(&p[0], &q[0], &ll, 1);
  xform_int_to_xy(&p[1], &q[1], &ll, 1);
  const double step_deg = std::fabs(q[1].x - q[0].x);
  const double metres = 0.1 * step_deg * M_PI / 180.0 * 6370997.0;
  for (const char* version : {"9.2.0.1.0", "10.2.0.1.0"}) {
    const MetadataRun r = Write(version, ll);
    EXPECT_EQ(r.answer, 1) << version;
    const std::string want = "insert into user_sdo_geom_metadata values ('T', 'G', mdsys.sdo_dim_array \t"
                             "(mdsys.sdo_dim_element( 'X', -180, 180, " +
                             Fixed(metres) + "), mdsys.sdo_dim_element( 'Y', -90, 90, " + Fixed(metres) +
                             ") ), 8307)";
    EXPECT_EQ(r.insert, want) << version;
    EXPECT_EQ(r.ends, std::vector<std::string>{"commit"}) << version;
  }
  // 8.1.7: no geodetic rule, tolerances in degrees (the system's units).
  const MetadataRun old = Write("8.1.7.0.0", ll);
  EXPECT_EQ(old.answer, 1);
  EXPECT_NE(old.insert.find(Fixed(0.1 * step_deg) + ")"), std::string::npos) << old.insert;
  EXPECT_NE(old.insert.find(") ), 8307)"), std::string::npos) << old.insert;
}

TEST_F(OraMetadata, NonEarthToleranceSridAndNone) {
  CoordXform m = Xform("CoordSys NonEarth Units \"m\"");
  xform_set_scale(&m, 100, 100, 0, 0);
  const MetadataRun r = Write("9.2.0.1.0", m);
  EXPECT_EQ(r.answer, 1);
  EXPECT_NE(r.insert.find(",          0.0010000000), mdsys.sdo_dim_element( 'Y', "), std::string::npos) << r.insert;
  EXPECT_NE(r.insert.find(",          0.0010000000) ), 262148)"), std::string::npos) << r.insert;
  // A custom datum has no SRID.
  CoordXform custom = Xform("CoordSys Earth Projection 1, 999, 0, 1, 2, 3");
  xform_set_scale(&custom, 1e6, 1e6, 0, 0);
  const MetadataRun none = Write("9.2.0.1.0", custom);
  EXPECT_EQ(none.answer, 1);
  EXPECT_NE(none.insert.find(") ), NULL)"), std::string::npos) << none.insert;
}

TEST_F(OraMetadata, FailingInsertRollsBackAndQuotesAreDoubled) {
  CoordXform ll = Xform("CoordSys Earth Projection 1, 104");
  xform_set_scale(&ll, 1e6, 1e6, 0, 0);
  const MetadataRun r = Write("9.2.0.1.0", ll,
                              "on insert into user_sdo_geom_metadata.*\nerror 42000 refused\n");
  EXPECT_EQ(r.answer, 0);
  EXPECT_EQ(r.ends, std::vector<std::string>{"rollback"});
  // 128-character names with a quote inside.
  const std::string table = "O'" + std::string(126, 'T');
  const std::string column = std::string(127, 'G') + "'";
  const MetadataRun q =
      Write("9.2.0.1.0", ll, "", table.c_str(), column.c_str());
  EXPECT_EQ(q.answer, 1);
  EXPECT_EQ(q.insert.rfind("insert into user_sdo_geom_metadata values ('O''" + std::string(126, 'T') + "', '" +
                               std::string(127, 'G') + "''', mdsys",
                           0),
            0u)
      << q.insert;
}

TEST_F(OraOdbc, WorkspaceBlocks) {
  const std::string rules =
      "on BEGIN DBMS_WM\\..*\nok\nis select DBMS_WM.GetWorkspace from dual\nrows\ncols W\nrow W\n";
  SrvConnection* conn = Open("10.02.0000", rules);
  ASSERT_NE(conn, nullptr);
  EXPECT_STREQ(conn->workspace, "LIVE");
  EXPECT_EQ(ora_refresh_table(conn, "W", "T", nullptr), 1);
  EXPECT_EQ(ora_refresh_table(conn, "W", "T", "ID > 2"), 1);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"BEGIN DBMS_WM.GotoWorkspace('W'); END;",
                                              "BEGIN DBMS_WM.RefreshTable('W', 'T', '', TRUE); END;",
                                              "BEGIN DBMS_WM.RefreshTable('W', 'T', 'ID > 2', TRUE); END;"}));
  ClearTrace();
  EXPECT_EQ(ora_merge_table(conn, "W", "T", "NAME = 'A'", 0), 1);
  EXPECT_EQ(Sent(), std::vector<std::string>{"BEGIN DBMS_WM.MergeTable('W', 'T', 'NAME = ''A''', FALSE, FALSE, "
                                             "TRUE); END;"});
  // Removing another workspace stays; removing the current one goes to
  // LIVE first.
  ClearTrace();
  EXPECT_EQ(ora_remove_workspace(conn, "X"), 1);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"select DBMS_WM.GetWorkspace from dual",
                                              "BEGIN DBMS_WM.RemoveWorkspace('X', TRUE); END;"}));
  ClearTrace();
  EXPECT_EQ(ora_remove_workspace(conn, "W"), 1);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"select DBMS_WM.GetWorkspace from dual",
                                              "BEGIN DBMS_WM.GotoWorkspace('LIVE'); END;",
                                              "BEGIN DBMS_WM.RemoveWorkspace('W', TRUE); END;"}));
  EXPECT_STREQ(conn->workspace, "LIVE");
  ClearTrace();
  EXPECT_EQ(ora_create_workspace(conn, "N'1", nullptr, "W"), 1);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"select DBMS_WM.GetWorkspace from dual",
                                              "BEGIN DBMS_WM.CreateWorkspace('N''1', FALSE, '', TRUE); END;"}));
  EXPECT_EQ(ora_disable_versioning(conn, "T", 1), 1);
  EXPECT_EQ(ora_enable_versioning(conn, "T", "VIEW_WO_OVERWRITE"), 1);
  EXPECT_EQ(Sent().back(), "BEGIN DBMS_WM.EnableVersioning('T', 'VIEW_WO_OVERWRITE'); END;");
}

TEST_F(OraOdbc, SwitchOnlyOnVersionedNewerServers) {
  SrvConnection* conn = Open("10.02.0000", "on BEGIN DBMS_WM\\..*\nok\n");
  ASSERT_NE(conn, nullptr);
  struct Case {
    const char* type;
    double major;
    int32_t versioning;
    bool sends;
  } cases[] = {{"Oracle_Spatial", 8, 1, false},
               {"Oracle_Spatial", 10, 0, false},
               {"Oracle", 10, 1, false},
               {"Oracle_Spatial", 9, 1, true}};
  for (const Case& c : cases) {
    ClearTrace();
    str_copy_n(conn->server_type, c.type, sizeof conn->server_type);
    conn->major_version = c.major;
    conn->versioning_state = c.versioning;
    str_copy_n(conn->workspace, "LIVE", sizeof conn->workspace);
    EXPECT_EQ(ora_switch_workspace(conn, 1, "W"), 1);
    EXPECT_EQ(ora_switch_workspace(conn, 1, "W"), 1);
    EXPECT_EQ(ora_switch_workspace(conn, 0, nullptr), 1);
    const std::vector<std::string> want =
        c.sends ? std::vector<std::string>{"BEGIN DBMS_WM.GotoWorkspace('W'); END;",
                                           "BEGIN DBMS_WM.GotoWorkspace('LIVE'); END;"}
                : std::vector<std::string>{};
    EXPECT_EQ(Sent(), want) << c.type << " " << c.major << " " << c.versioning;
  }
}

TEST_F(OraOdbc, ConflictsOnVersionTen) {
  SrvConnection* conn = Open("10.02.0000",
                             "on BEGIN DBMS_WM\\..*\nok\non SELECT COUNT\\(DISTINCT\\(ID\\)\\) FROM T_CONF where "
                             "(.*)\nsql select 0\non select CONFLICT from .*\nrows\ncols C\nrow YES\n");
  ASSERT_NE(conn, nullptr);
  str_copy_n(conn->server_type, "Oracle_Spatial", sizeof conn->server_type);
  conn->major_version = 10;
  EXPECT_EQ(ora_table_conflicts(conn, "W", "T", "ID > 1", "ID"), 0);
  for (const std::string& s : Sent()) EXPECT_EQ(s.find("all_wm_versioned_tables"), std::string::npos);
  EXPECT_EQ(ora_table_conflicts(conn, "W", "T", nullptr, nullptr), 1);
  EXPECT_EQ(Sent().back(), "select CONFLICT from all_wm_versioned_tables where TABLE_NAME = 'T'");
}

// ---- the scripted driver: DIMINFO values ----------------------------------------------

class OraFake : public ::testing::Test {
 protected:
  void SetUp() override {
    conn = fake::FreshConnection();
    ASSERT_NE(conn, nullptr);
  }
  void TearDown() override {
    srv_unload_all();
    err_clear();
  }
  SrvConnection* conn = nullptr;
};

fake::Cell Doubles(const std::vector<double>& v) {
  fake::Cell c;
  c.bytes.assign(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(double));
  return c;
}

TEST_F(OraFake, DiminfoBoundsTilesAndMissingRow) {
  fake::Script& s = fake::Current();
  s.columns = {{"DIMINFO", 108, 0, 0, 64}, {"SRID", 8, 10, 0, 8}};
  s.rows = {{Doubles({0, 640, 0.5, 0, 320, 0.5}), fake::Number(8307)}};
  DRect b{};
  int32_t srid = 0;
  ASSERT_EQ(ora_read_geom_metadata(conn, "O", "T", "G", &b, &srid), 1);
  EXPECT_EQ(b.x1, 0);
  EXPECT_EQ(b.x2, 640);
  EXPECT_EQ(b.y1, 0);
  EXPECT_EQ(b.y2, 320);
  EXPECT_EQ(srid, 8307);

  SpatialColumnDesc desc;
  std::strcpy(desc.owner, "O");
  std::strcpy(desc.table, "T");
  std::strcpy(desc.column, "G");
  desc.tiling_level = 6;
  ASSERT_EQ(ora_read_tile_size(&desc, conn), 1);
  EXPECT_EQ(desc.tile_width, 10);
  EXPECT_EQ(desc.tile_height, 5);
  const DRect window{100, 100, 125, 125};
  EXPECT_EQ(ora_window_tile_count(&window, &desc), 15);

  s.rows.clear();
  EXPECT_EQ(ora_read_geom_metadata(conn, "O", "T", "G", &b, &srid), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrOraNoMetadata);
  EXPECT_EQ(Arg(0, 1), "G");
  EXPECT_EQ(Arg(0, 2), "O.T");
  err_clear();
  // A query that cannot run answers 0 without an error.
  s.failures["SrvExecute"] = {5, "down", ""};
  EXPECT_EQ(ora_read_geom_metadata(conn, "O", "T", "G", &b, &srid), 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(OraFake, TileCountsOfTinyTilesDoNotOverflow) {
  SpatialColumnDesc desc;
  desc.tile_width = 1e-6;
  desc.tile_height = 1e-6;
  const DRect window{0, 0, 1000, 1000};
  EXPECT_EQ(ora_window_tile_count(&window, &desc), 1e18);
  desc.tile_height = 0;
  EXPECT_EQ(ora_window_tile_count(&window, &desc), 0);
}

TEST_F(OraFake, FetchRowsMarksSdoColumnsAsObjects) {
  fake::Script& s = fake::Current();
  s.columns = {{"GEOLOC", 90, 0, 0, 48}, {"NAME", 1, 10, 0, 16}};
  s.rows = {{Doubles({1, 2}), fake::Text("a")}, {Doubles({3, 4}), fake::Text("b")}};
  SrvStatement* stmt = ora_select_ordered(conn, "T", nullptr, "NAME");
  ASSERT_NE(stmt, nullptr);
  FieldDef row1[2] = {}, row2[2] = {};
  FieldDef* rows[2] = {row1, row2};
  EXPECT_EQ(ora_fetch_rows(conn, stmt, rows, 2), 1);
  EXPECT_EQ(row1[0].value.type, VALUE_OBJECT);
  EXPECT_EQ(row2[1].value.type, VALUE_CHAR);
  EXPECT_EQ(ora_fetch_rows(conn, stmt, rows, 1), 0);  // no third row
  for (FieldDef& f : row1) value_free(&f.value);
  for (FieldDef& f : row2) value_free(&f.value);
  EXPECT_EQ(ora_close_statement(conn, stmt), 1);
}

TEST_F(OraFake, LogicalColumnsBeyondAnyInteger) {
  fake::Script& s = fake::Current();
  s.columns = {{"L", 6, 1, 0, 8}};
  s.rows = {{fake::Number(-2.06642e+39)}, {fake::Number(0.5)}, {fake::Number(std::nan(""))}, {fake::Number(-1)}};
  SrvStatement* stmt = ora_select_ordered(conn, "T", nullptr, "L");
  ASSERT_NE(stmt, nullptr);
  const uint8_t want[] = {1, 0, 0, 1};
  for (uint8_t w : want) {
    FieldDef field[1] = {};
    FieldDef* rows[1] = {field};
    EXPECT_EQ(ora_fetch_rows(conn, stmt, rows, 1), 1);
    EXPECT_EQ(field[0].value.type, VALUE_LOGICAL);
    EXPECT_EQ(field[0].value.u.b, w);
  }
  EXPECT_EQ(ora_close_statement(conn, stmt), 1);
}

// ---- windows and names --------------------------------------------------------------

struct WindowCase {
  int16_t parameterised;
  int16_t relation;
  int32_t dims;
  int32_t srid;
  int16_t srid_null;
  const char* version;
  const char* want;
};

TEST(OraWindow, ConditionsByRelationDimensionsAndVersion) {
  const WindowCase cases[] = {
      {1, 1, 2, 8307, 0, "9.2.0.1.0", "mdsys.sdo_relate(T.\"G\", ?, 'mask=ANYINTERACT querytype=WINDOW') = 'TRUE'"},
      {1, 2, 2, 8307, 0, "9.2.0.1.0",
       "mdsys.sdo_relate(T.\"G\", ?, 'mask=(INSIDE+COVEREDBY) querytype=WINDOW') = 'TRUE'"},
      {1, 3, 2, 8307, 0, "9.2.0.1.0", "mdsys.sdo_relate(T.\"G\", ?, 'mask=DISJOINT querytype=WINDOW') = 'TRUE'"},
      {1, 4, 2, 8307, 0, "9.2.0.1.0", ""},
      {0, 1, 2, 8307, 0, "9.2.0.1.0",
       "mdsys.sdo_filter(T.\"G\", SDO_CS.VIEWPORT_TRANSFORM(mdsys.sdo_geometry(2003,0,NULL, "
       "mdsys.sdo_elem_info_array(1,1003,3),mdsys.sdo_ordinate_array(1,2,3,4)),8307), 'querytype=WINDOW') = 'TRUE'"},
      {0, 1, 2, 8307, 0, "10.2.0.1.0",
       "mdsys.sdo_filter(T.\"G\", SDO_CS.VIEWPORT_TRANSFORM(mdsys.sdo_geometry(2003,0,NULL, "
       "mdsys.sdo_elem_info_array(1,1003,3),mdsys.sdo_ordinate_array(1,2,3,4)),8307), 'querytype=WINDOW') = 'TRUE'"},
      {0, 1, 3, 8307, 0, "8.2.0",
       "mdsys.sdo_filter(T.\"G\", SDO_CS.VIEWPORT_TRANSFORM(mdsys.sdo_geometry(3003,0,NULL, "
       "mdsys.sdo_elem_info_array(1,1003,3),mdsys.sdo_ordinate_array(1,2,NULL,3,4,NULL)),8307), "
       "'querytype=WINDOW') = 'TRUE'"},
      {0, 1, 2, 8307, 0, "8.1.7.0.0",
       "mdsys.sdo_filter(T.\"G\", mdsys.sdo_geometry(2003,8307,NULL, "
       "mdsys.sdo_elem_info_array(1,3,3),mdsys.sdo_ordinate_array(1,2,3,4)), 'querytype=WINDOW') = 'TRUE'"},
      {0, 1, 2, 0, 0, "9.2.0.1.0",
       "mdsys.sdo_filter(T.\"G\", mdsys.sdo_geometry(2003,0,NULL, "
       "mdsys.sdo_elem_info_array(1,3,3),mdsys.sdo_ordinate_array(1,2,3,4)), 'querytype=WINDOW') = 'TRUE'"},
      {0, 1, 3, 8307, 1, "9.2.0.1.0",
       "mdsys.sdo_filter(T.\"G\", mdsys.sdo_geometry(3003,NULL,NULL, "
       "mdsys.sdo_elem_info_array(1,3,3),mdsys.sdo_ordinate_array(1,2,NULL,3,4,NULL)), 'querytype=WINDOW') = 'TRUE'"},
      {0, 1, 4, 8307, 0, "9.2.0.1.0", ""},
  };
  for (const WindowCase& c : cases) {
    SpatialColumnDesc desc;
    std::strcpy(desc.column, "G");
    desc.dimensions = c.dims;
    desc.srid = c.srid;
    desc.srid_is_null = c.srid_null;
    SrvSearch search;
    const DRect window{1, 2, 3, 4};
    std::string text = "WHERE ";
    const int32_t n = ora_window_clause(&desc, &search, "T", c.parameterised, &window, "1", "2", "3", "4", "\"",
                                        &text, c.relation, c.version);
    EXPECT_EQ(text, std::string("WHERE ") + c.want) << c.version << " " << c.relation;
    EXPECT_EQ(n, static_cast<int32_t>(std::strlen(c.want)) + 1);
    EXPECT_EQ(search.flag, 0);
  }
}

TEST(OraWindow, TooManyTilesLeaveTheConditionOpen) {
  SpatialColumnDesc desc;
  std::strcpy(desc.column, "G");
  desc.tile_width = 10;
  desc.tile_height = 5;
  desc.max_tiles = 15;
  SrvSearch search;
  const DRect equal{0, 0, 25, 25};  // 3 x 5 = 15 tiles
  std::string text;
  ora_window_clause(&desc, &search, "T", 0, &equal, "0", "0", "25", "25", "\"", &text, 1, "9.2.0.1.0");
  EXPECT_EQ(text.rfind("mdsys.sdo_filter(", 0), 0u) << text;
  EXPECT_EQ(search.flag, 0);
  const DRect more{0, 0, 25, 26};  // 3 x 6 = 18 tiles
  text = "WHERE";
  EXPECT_EQ(ora_window_clause(&desc, &search, "T", 0, &more, "0", "0", "25", "26", "\"", &text, 1, "9.2.0.1.0"), 5);
  EXPECT_EQ(text, "WHERE 1=1");
  EXPECT_EQ(search.flag, 1);
}

TEST(OraNames, GeometryValuedItems) {
  struct Case {
    const char* item;
    int16_t spatial;
    bool marks;
  } cases[] = {
      {"sdo_geom.sdo_buffer(g, 1)", 1, true},
      {"SDO_GEOM.SDO_POLY_XOR(a, b, 0.5)", 1, true},
      {"sdo_geom.relate(a, 'ANYINTERACT', b, 0.5)", 0, false},
      {"mdsys.sdo_geometry(2001, NULL, NULL)", 1, true},
      {"Skeleton(g)", 1, true},
      {"KT_POINTN(g, 2)", 1, true},
      {"kt_buffer(g, 2)", 1, true},
      {"KT_LL_CIRCLE(g, 2)", 0, false},
      {"ST_POLYLINE3D(g)", 1, true},
      {"ST_LENGTH(g)", 0, false},
      {"\"O\".\"ROADS\".\"geoloc\"", 1, false},
      {"ROADS.GEOLOC2", 0, false},
      {"NAME", 0, false},
  };
  SrvConnection conn{};
  std::strcpy(conn.quote, "\"");
  for (const Case& c : cases) {
    SpatialColumnDesc desc;
    std::strcpy(desc.column, "GEOLOC");
    desc.derived_kind = 13;
    SrvQuery query;
    query.desc = &desc;
    EXPECT_EQ(ora_name_is_spatial(&conn, &query, c.item), c.spatial) << c.item;
    EXPECT_EQ(desc.geometry_class, c.marks ? 3 : 0) << c.item;
    EXPECT_DOUBLE_EQ(desc.derived_kind, c.marks ? 13.3 : 13) << c.item;
  }
  SrvQuery bare;
  EXPECT_EQ(ora_name_is_spatial(&conn, &bare, "GEOLOC"), 0);
  EXPECT_EQ(ora_ext_function_name(&conn, &bare, "KT_POINTN(g)"), 1);
}

TEST(OraNames, ColumnTexts) {
  SpatialColumnDesc desc;
  std::strcpy(desc.column, "G");
  struct Case {
    int type;
    int16_t answer;
    const char* text;  // null: no text
    int16_t strict_answer;
    const char* strict_text;
  } cases[] = {
      {0, 1, "\"G\"=NULL", 1, "\"G\"=NULL"}, {1, 1, "\"G\"", 1, "\"G\""}, {3, 1, "", 0, nullptr},
      {6, 1, "", 1, "\"G\""},                {7, 1, "\"G\"", 1, "\"G\""}, {9, 1, "", 0, nullptr},
      {10, 0, nullptr, 0, nullptr},
  };
  for (const Case& c : cases) {
    MapObject object{};
    object.type = static_cast<uint8_t>(c.type);
    char* text = nullptr;
    EXPECT_EQ(ora_pair_or_column_text(&desc, "\"", &object, &text), c.answer) << c.type;
    if (c.text != nullptr) EXPECT_STREQ(text, c.text) << c.type;
    else EXPECT_EQ(text, nullptr);
    mem_free(&text);
    EXPECT_EQ(ora_pair_or_column_text_strict(&desc, "\"", &object, &text), c.strict_answer) << c.type;
    if (c.strict_text != nullptr) EXPECT_STREQ(text, c.strict_text) << c.type;
    else EXPECT_EQ(text, nullptr);
    mem_free(&text);
  }
}

TEST(OraDetectors, TableInOrder) {
  std::string names;
  for (const SrvDetector* d = g_srv_detectors; d->name != nullptr; ++d) names += std::string(d->name) + " ";
  EXPECT_EQ(names, "ora_detect_spatial sdorel_detect spx_is_oracle_extension ifx_detect sqs_detect ");
  EXPECT_EQ(kernel_string(kStrOraToolkitDriver), std::string("ORAINET"));
}

}  // namespace
