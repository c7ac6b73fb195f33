// The program itself, started from the command line as an unattended run:
// the roads fixture, made a native table with its map file by mktab,
// uploaded through the test ODBC driver, with its exit
// code, its rows and catalogue row in the database, its registration table
// and its run log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/TestSupport.h"
#include "app/UploadRun.h"
#include "app/upload/native_table.h"
#include "app/upload/trace_harness.h"
#include "tools/geomconv/geomconv_run.h"

namespace upload {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the program with these arguments and environment settings; its exit
// status.
int RunProgram(const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& env = {}) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(QL_EXE_PATH));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QL_EXE_PATH, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The roads' nodes (start x y, end x y) as the fixture's records give them,
// and one integer step of their table's space (360 degrees over 2e9).
constexpr double kRoadNodes[3][4] = {{151.2093, -33.8688, 151.2193, -33.8588},
                                     {151.1, -33.9, 151.15, -33.85},
                                     {151.3, -33.7, 151.31, -33.69}};
constexpr double kStep = 360.0 / 2e9;

// The coordinates of the one LINESTRING in a geometry's text.
std::vector<double> LineNodes(const std::string& wkt) {
  std::vector<double> out;
  const size_t at = wkt.find("LINESTRING(");
  if (at == std::string::npos) return out;
  std::string list = wkt.substr(at + 11, wkt.find(')', at) - at - 11);
  for (char& c : list)
    if (c == ',') c = ' ';
  std::istringstream in(list);
  double v;
  while (in >> v) out.push_back(v);
  return out;
}

// The trace profile of this name.
ServerProfile Profile(const std::string& name) {
  for (const ServerProfile& p : TraceProfiles())
    if (p.name == name) return p;
  return {};
}

ServerProfile SqlServer2005() {
  return {"mssql",
          {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "09.00.1399"}, {"DEFSCHEMA", "dbo"},
           {"RULES", UploadRules("mssql_extension.txt")}},
          1};
}

class UploadCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(h.MakeCatalog());
    D = h.dir.Path();
    std::filesystem::create_directories(D + "/reg");
    std::filesystem::copy_file(std::string(QL_FIXTURES_DIR) + "/roads.fxt", D + "/roads.fxt");
    ASSERT_FALSE(NativeTable(D + "/roads.fxt").empty());
  }
  // The /S text: the test driver with its database in $D, without a trace.
  std::string Connect() const { return "/S" + h.ConnectString(false); }
  // The run log with dates, times, elapsed times and $D replaced.
  std::string NormalisedLog() const {
    std::string log = ReadAll(D + "/run.log");
    log = std::regex_replace(log, std::regex(D), "$D");
    log = std::regex_replace(log, std::regex("[0-9]{1,2}/[0-9]{1,2}/[0-9]{4}"), "<date>");
    log = std::regex_replace(log, std::regex("[0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2}"), "<time>");
    log = std::regex_replace(log, std::regex(testodbc::DriverPath()), "<driver>");
    log = std::regex_replace(log, std::regex(QL_UPLOAD_RULES_DIR), "<rules>");
    return log;
  }

  TraceHarness h{SqlServer2005()};
  std::string D;
};

TEST_F(UploadCommand, QuietUploadOfOneTable) {
  ASSERT_EQ(0, RunProgram({Connect(), "/Q", "/T" + D + "/roads.TAB|RD", "/D" + D + "/reg", "/F" + D + "/run.log"}))
      << ReadAll(D + "/run.log");

  // The registration table, byte for byte.
  const std::string safe = std::regex_replace(h.ConnectString(false), std::regex("PWD=p;"), "");
  const std::string expected =
      "!table\n"
      "!version 500\n"
      "!charset WindowsLatin1\n"
      "\n"
      "Definition Table\n"
      "  Type ODBC\n"
      "begin_metadata\n"
      "\"\\IsReadOnly\" = \"FALSE\"\n"
      "\"\\DATALINK\" = \"\"\n"
      "\"\\DATALINK\\Query\" = \"select * from testdb.dbo.RD\"\n"
      "\"\\DATALINK\\ConnectionString\" = \"" + safe + "\"\n"
      "\"\\CACHE\" = \"ON\"\n"
      "\"\\MBRSEARCH\" = \"ON\"\n"
      "end_metadata";
  EXPECT_EQ(expected, ReadAll(D + "/reg/RD_srv.tab"));

  // Rows with their NULLs, and the catalogue row. A native Integer has no
  // empty value: Old Mill Lane's LANES reads as 0. The reader builds one
  // style clause per object class: every road's style equals the table's
  // default symbol (the first road's pen) and is stored as NULL. The bounds
  // are the union of the roads' rectangles.
  EXPECT_EQ((std::vector<std::string>{"Harbour Road|4|12.5|NULL|1", "Ridge Way|2|3.75|NULL|2",
                                      "Old Mill Lane|0|0.8|NULL|3"}),
            h.Query("select NAME, LANES, LENGTH, CV_STYLE, QD_MEMBER from RD order by QD_MEMBER"));
  EXPECT_EQ((std::vector<std::string>{"14.1|RD|dbo|QD_GEOMETRY|151.1|-33.9|151.31|-33.69|"
                                      "Earth Projection 1, 104 Bounds (-180, -90) (180, 90)|"
                                      "Pen (2, 2, 0) |NO_COLUMN|NO_COLUMN|1|CV_STYLE|"}),
            h.Query("select SPATIALTYPE, TABLENAME, OWNERNAME, SPATIALCOLUMN, DB_X_LL, DB_Y_LL, DB_X_UR, DB_Y_UR, "
                    "COORDINATESYSTEM, SYMBOL, XCOLUMNNAME, YCOLUMNNAME, RENDITIONTYPE, RENDITIONCOLUMN, "
                    "RENDITIONTABLE from CORVANE.CORVANE_MAPCATALOG"));

  // Each stored blob is its road's line: geomconv gives back the two nodes
  // of the fixture's record within one integer step.
  const geomconv_test::Output lines = geomconv_test::Geomconv("blob wkt", h.Query("select hex(QD_GEOMETRY) from RD order by QD_MEMBER"));
  EXPECT_EQ(0, lines.status);
  ASSERT_EQ(3u, lines.lines.size());
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(lines.lines[i]);
    const std::vector<double> got = LineNodes(lines.lines[i]);
    ASSERT_EQ(4u, got.size());
    for (size_t k = 0; k < 4; ++k) EXPECT_NEAR(kRoadNodes[i][k], got[k], kStep);
  }

  // The run log against its reviewed copy.
  const std::string golden = ReadAll(std::string(QL_UPLOAD_GOLDEN_DIR) + "/command_run.log");
  const std::string actual = NormalisedLog();
  if (actual != golden) std::ofstream("command_run.log.actual") << actual;
  EXPECT_EQ(golden, actual);
}

TEST_F(UploadCommand, QuietRunWithAMissingTableEndsWith255) {
  const std::string list = h.dir.Write("jobs.txt", D + "/roads.TAB|RD1\n" + D + "/missing.TAB|RD2\n" + D +
                                                        "/roads.TAB|RD3\n");
  ASSERT_EQ(255, RunProgram({Connect(), "/Q", "/L" + list, "/F" + D + "/run.log"}));
  const std::string log = ReadAll(D + "/run.log");
  EXPECT_NE(std::string::npos, log.find("\n\n2" + Res(kStrTablesUploaded) + " ")) << log;
  EXPECT_EQ(3u, h.Query("select NAME from RD3").size());
}

TEST_F(UploadCommand, AnsweringNoAfterAFailedTableStopsTheRun) {
  const std::string list = h.dir.Write("jobs.txt", D + "/roads.TAB|RD1\n" + D + "/missing.TAB|RD2\n" + D +
                                                        "/roads.TAB|RD3\n");
  // The user answers No to going on, then closes the summary and the dialog.
  const std::string script = h.dir.Write("script.txt", "box no\nbox ok\nclose\n");
  const std::string transcript = D + "/transcript.txt";
  ASSERT_EQ(255, RunProgram({Connect(), "/L" + list, "/F" + D + "/run.log"},
                            {{"QUENDALOUR_UI", "headless"},
                             {"QUENDALOUR_UI_SCRIPT", script},
                             {"QUENDALOUR_UI_TRANSCRIPT", transcript}}));
  const std::string boxes = ReadAll(transcript);
  EXPECT_NE(std::string::npos, boxes.find("box caption=186 icon=error buttons=yesno answer=no text=" +
                                          Res(kStrOpenFailed) + " - " + D + "/missing.TAB"))
      << boxes;
  EXPECT_NE(std::string::npos, boxes.find("box caption=196 icon=information buttons=ok answer=ok text=1" +
                                          Res(kStrTablesUploaded) + " "))
      << boxes;
  EXPECT_EQ(3u, h.Query("select NAME from RD1").size());
  EXPECT_NE(std::string::npos, ReadAll(D + "/run.log").find("\n\n1" + Res(kStrTablesUploaded) + " "));
}

// Flags that hold a table back or ask first, in a quiet run: /N with a time
// column skips the table with string 145; lines stored as X/Y (/MXY) log
// string 198 and upload all the same.
TEST_F(UploadCommand, TemporalTablesAndLinesAsXY) {
  FixtureTable timed;
  timed.columns = {FixtureColumn("NAME", 1, 10, 0), FixtureColumn("AT", 37, 9, 0)};
  timed.rows.push_back(FixtureRow());
  timed.rows.back().text = "dawn\t063000000";
  timed.mappable = false;
  const std::string timedPath = NativeTable(h.dir.Write("timed.fxt", FixtureFormat(timed)));
  ASSERT_FALSE(timedPath.empty());
  ASSERT_EQ(255, RunProgram({Connect(), "/Q", "/N", "/T" + timedPath + "|TM", "/F" + D + "/run.log"}));
  std::string text = Res(kStrTemporal);
  text.replace(text.find("%s"), 2, "timed");
  EXPECT_NE(std::string::npos, ReadAll(D + "/run.log").find("\n\n" + text + "\n"));
  EXPECT_EQ(std::string::npos, ReadAll(D + "/run.log").find("create table dbo.TM"));

  ASSERT_EQ(0, RunProgram({Connect(), "/Q", "/MXY", "/T" + D + "/roads.TAB|RX", "/F" + D + "/run.log"}));
  EXPECT_NE(std::string::npos, ReadAll(D + "/run.log").find("\n\nroads" + Res(kStrNotPoints) + "\n"));
  // Each road's X/Y is its line's centre, within one integer step.
  const std::vector<std::string> xy = h.Query("select NAME, CV_SQL_X, CV_SQL_Y from RX order by CV_SQL_REC_NUM");
  const char* const names[] = {"Harbour Road", "Ridge Way", "Old Mill Lane"};
  ASSERT_EQ(3u, xy.size());
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(xy[i]);
    const size_t bar = xy[i].find('|'), bar2 = xy[i].rfind('|');
    EXPECT_EQ(names[i], xy[i].substr(0, bar));
    EXPECT_NEAR((kRoadNodes[i][0] + kRoadNodes[i][2]) / 2, std::stod(xy[i].substr(bar + 1, bar2 - bar - 1)), kStep);
    EXPECT_NEAR((kRoadNodes[i][1] + kRoadNodes[i][3]) / 2, std::stod(xy[i].substr(bar2 + 1)), kStep);
  }
}

// A CSV file registered by tabdump --keep uploads as its .TAB, as a new
// user would run it: the kept table's rows reach the store with the names
// the dispatcher repaired.
TEST_F(UploadCommand, DelimitedTableKeptByTabdumpUploads) {
  const std::string csv = h.dir.Write("t1.csv", "1,007,\"12\",x\n40000,,2.5,\n");
  std::filesystem::create_directories(D + "/keep");
  ASSERT_EQ(0, qltest::RunProgram(QL_TABDUMP_PATH, {"--type", "csv", "--keep", D + "/keep", csv}, {}, D).status);
  ASSERT_EQ(0, RunProgram({Connect(), "/Q", "/T" + D + "/keep/t1.TAB|T1", "/F" + D + "/run.log"}))
      << ReadAll(D + "/run.log");
  EXPECT_EQ((std::vector<std::string>{"1|007|12|x|1", "40000||2.5||2"}),
            h.Query("select _COL1, _COL2, _COL3, _COL4, QD_MEMBER from T1 order by QD_MEMBER"));
}

// Classic object records put together from their layout: the type byte,
// the rectangle (4 doubles) at 1, a point's location or a polyline's and
// region's centre at 37, a polyline's and region's section count at 69 and
// its sections (node count, holes, nodes) from 71, a final zero byte. All
// numbers little-endian.
struct XY {
  double x, y;
};
struct Record {
  std::vector<unsigned char> b;
  void f8(size_t at, double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<unsigned char>(u >> (8 * i));
  }
  void i16(size_t at, int v) {
    b[at] = static_cast<unsigned char>(v & 0xff);
    b[at + 1] = static_cast<unsigned char>((v >> 8) & 0xff);
  }
};
std::vector<unsigned char> PointRecord(XY p) {
  Record r{std::vector<unsigned char>(54, 0)};
  r.b[0] = 1;
  r.f8(1, p.x), r.f8(9, p.y), r.f8(17, p.x), r.f8(25, p.y), r.f8(37, p.x), r.f8(45, p.y);
  return r.b;
}
std::vector<unsigned char> PolyRecord(int type, const std::vector<XY>& nodes) {
  Record r{std::vector<unsigned char>(72 + 4 + 16 * nodes.size(), 0)};
  r.b[0] = static_cast<unsigned char>(type);
  XY lo = nodes[0], hi = nodes[0];
  for (const XY& p : nodes) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
  }
  r.f8(1, lo.x), r.f8(9, lo.y), r.f8(17, hi.x), r.f8(25, hi.y);
  r.f8(37, (lo.x + hi.x) / 2), r.f8(45, (lo.y + hi.y) / 2);
  r.i16(69, 1);
  r.i16(71, static_cast<int>(nodes.size()));
  size_t at = 75;
  for (const XY& p : nodes) r.f8(at, p.x), r.f8(at + 8, p.y), at += 16;
  return r.b;
}
// The nodes of a classic record (a point's location; a polyline's or
// region's nodes, all sections in a row).
std::vector<XY> RecordNodes(const std::vector<unsigned char>& b) {
  auto f8 = [&](size_t at) {
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = (u << 8) | b[at + i];
    double v;
    std::memcpy(&v, &u, 8);
    return v;
  };
  auto i16 = [&](size_t at) { return static_cast<int16_t>(b[at] | (b[at + 1] << 8)); };
  std::vector<XY> out;
  if (b.size() >= 54 && b[0] == 1) out.push_back({f8(37), f8(45)});
  if (b.size() < 72 || (b[0] != 4 && b[0] != 5)) return out;
  size_t at = 71;
  for (int s = i16(69); s > 0 && at + 4 <= b.size(); --s) {
    const int n = i16(at);
    at += 4;
    for (int k = 0; k < n && at + 16 <= b.size(); ++k, at += 16) out.push_back({f8(at), f8(at + 8)});
  }
  return out;
}
std::vector<unsigned char> FromHex(const std::string& hex) {
  std::vector<unsigned char> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// The bytes and modification time (ns) of each of the table's files.
std::map<std::string, std::pair<std::string, long long>> TableFiles(const std::string& tab) {
  std::map<std::string, std::pair<std::string, long long>> out;
  const std::string stem = tab.substr(0, tab.size() - 4);
  for (const char* ext : {".TAB", ".DAT", ".MAP", ".ID", ".IND"}) {
    struct stat st {};
    if (stat((stem + ext).c_str(), &st) != 0) continue;
    out[ext] = {ReadAll(stem + ext), st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
  }
  return out;
}

// A point, a polyline and a region in longitude/latitude, made a native
// table by mktab, upload with their nodes: as geometry blobs on SQL Server
// with the spatial extension, as object records on DB2. The stored values
// turn back (geomconv for blobs) into the source nodes within one integer
// step; the catalogue bounds are the union of the objects' rectangles. The
// table's files (.TAB, .DAT, .MAP, .ID, .IND) keep their bytes and times.
TEST(UploadCommandObjects, PointsPolylinesAndRegionsKeepTheirNodes) {
  const std::vector<std::vector<XY>> nodes = {
      {{151.2, -33.8}},
      {{151.0, -34.0}, {151.05, -33.95}, {151.1, -34.02}},
      {{150.9, -33.9}, {150.95, -33.7}, {151.15, -33.75}, {150.9, -33.9}}};
  FixtureTable t;
  t.columns = {FixtureColumn("NAME", COLTYPE_CHAR, 10, 0, true)};
  t.coordsys = "Earth Projection 1, 104";
  t.x1 = -180, t.y1 = -90, t.x2 = 180, t.y2 = 90;
  const char* const names[] = {"point", "polyline", "region"};
  for (int i = 0; i < 3; ++i) {
    FixtureRow r;
    r.text = names[i];
    r.code = 201 + (i == 0 ? 0 : i + 2);
    r.record = i == 0 ? PointRecord(nodes[0][0]) : PolyRecord(i + 3, nodes[i]);
    if (i == 2) r.style = "Pen (3, 2, 255) Brush (5, 65280, 16777215)";
    t.rows.push_back(r);
  }
  struct Case {
    const char* profile;
    const char* table;
    const char* catalogue;
    bool blobs;
  } cases[] = {
      {"mssql", "dbo.SH", "CORVANE.CORVANE_MAPCATALOG", true},
      {"db2", "u.SH", "\"CORVANE\".\"CORVANE_MAPCATALOG\"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    TraceHarness h(Profile(c.profile));
    ASSERT_TRUE(h.MakeCatalog());
    const std::string D = h.dir.Path();
    const std::string tab = NativeTable(h.dir.Write("shapes.fxt", FixtureFormat(t)));
    ASSERT_FALSE(tab.empty());
    const auto files = TableFiles(tab);
    ASSERT_EQ(5u, files.size());
    ASSERT_EQ(0, RunProgram({"/S" + h.ConnectString(false), "/Q", "/T" + tab + "|SH", "/F" + D + "/run.log"}))
        << ReadAll(D + "/run.log");
    EXPECT_TRUE(files == TableFiles(tab)) << "a source file changed";
    std::vector<std::string> values = h.Query(std::string("select hex(QD_GEOMETRY) from ") + c.table + " order by NAME");
    ASSERT_EQ(3u, values.size()) << ReadAll(D + "/run.log");
    if (c.blobs) {
      const geomconv_test::Output back =
          geomconv_test::Geomconv("blob record \"CoordSys Earth Projection 1, 104\"", values);
      EXPECT_EQ(0, back.status);
      values = back.lines;
      ASSERT_EQ(3u, values.size());
    }
    for (size_t i = 0; i < 3; ++i) {
      SCOPED_TRACE(names[i]);
      const std::vector<XY> got = RecordNodes(FromHex(values[i]));
      ASSERT_EQ(nodes[i].size(), got.size()) << values[i];
      for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_NEAR(nodes[i][k].x, got[k].x, kStep);
        EXPECT_NEAR(nodes[i][k].y, got[k].y, kStep);
      }
    }
    // The region's pen and brush, from the fixture's style clause, end its
    // stored style (in the reader's layout).
    const std::vector<std::string> styles = h.Query(std::string("select CV_STYLE from ") + c.table + " order by NAME");
    ASSERT_EQ(3u, styles.size());
    const std::string regionStyle = "Pen (3, 2, 255) Brush (5, 65280, 16777215) ";
    EXPECT_EQ(regionStyle, styles[2].substr(styles[2].size() - std::min(styles[2].size(), regionStyle.size())));
    EXPECT_EQ(std::vector<std::string>{"150.9|-34.02|151.2|-33.7"},
              h.Query(std::string("select DB_X_LL, DB_Y_LL, DB_X_UR, DB_Y_UR from ") + c.catalogue));
  }
}

// A table of points only, each with the symbol Symbol (35,0,12) (mktab
// reads the fixture's style clause): catalogue kind ".0" and that symbol as
// the table's default, in the table reader's layout; with /MXY each row's
// X/Y is its point.
TEST(UploadCommandObjects, PointsOnlyTableHasKindZeroAndTheDefaultSymbol) {
  FixtureTable t;
  t.columns = {FixtureColumn("NAME", COLTYPE_CHAR, 10, 0)};
  t.coordsys = "Earth Projection 1, 104";
  t.x1 = -180, t.y1 = -90, t.x2 = 180, t.y2 = 90;
  const XY points[] = {{151.2, -33.8}, {-0.125, 51.5}};
  for (const XY& p : points) {
    FixtureRow r;
    r.text = "p" + std::to_string(t.rows.size() + 1);
    r.code = 201;
    r.record = PointRecord(p);
    r.style = "Symbol (35,0,12)";
    t.rows.push_back(r);
  }
  TraceHarness h(SqlServer2005());
  ASSERT_TRUE(h.MakeCatalog());
  const std::string D = h.dir.Path();
  const std::string tab = NativeTable(h.dir.Write("points.fxt", FixtureFormat(t)));
  ASSERT_FALSE(tab.empty());
  ASSERT_EQ(0, RunProgram({"/S" + h.ConnectString(false), "/Q", "/T" + tab + "|PT", "/F" + D + "/run.log"}))
      << ReadAll(D + "/run.log");
  const std::vector<std::string> row = h.Query("select SPATIALTYPE, SYMBOL from CORVANE.CORVANE_MAPCATALOG");
  ASSERT_EQ(1u, row.size());
  EXPECT_EQ(".0|Symbol (35, 0, 12) ", row[0].substr(row[0].find('.')));

  ASSERT_EQ(0, RunProgram({"/S" + h.ConnectString(false), "/Q", "/MXY", "/T" + tab + "|PX", "/F" + D + "/run.log"}))
      << ReadAll(D + "/run.log");
  const std::vector<std::string> xy = h.Query("select CV_SQL_X, CV_SQL_Y from PX order by CV_SQL_REC_NUM");
  ASSERT_EQ(2u, xy.size());
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(points[i].x, std::stod(xy[i].substr(0, xy[i].find('|'))), kStep) << xy[i];
    EXPECT_NEAR(points[i].y, std::stod(xy[i].substr(xy[i].find('|') + 1)), kStep) << xy[i];
  }
}

// The owner of the uploaded table: the connected user on Informix and DB2
// whatever /B says; on SQL Server 9.0 the /B owner, else the default schema.
TEST(UploadCommandOwner, OwnerPerServer) {
  struct Case {
    const char* profile;
    const char* flag;
    const char* owner;
  } cases[] = {
      {"informix", "/Bother", "u"},
      {"db2", "/Bother", "u"},
      {"mssql", "/Bother", "other"},
      {"mssql", nullptr, "dbo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + " " + (c.flag ? c.flag : "no /B"));
    TraceHarness h(Profile(c.profile));
    ASSERT_TRUE(h.MakeCatalog());
    const std::string D = h.dir.Path();
    std::filesystem::copy_file(std::string(QL_FIXTURES_DIR) + "/roads.fxt", D + "/roads.fxt");
    ASSERT_FALSE(NativeTable(D + "/roads.fxt").empty());
    std::vector<std::string> args = {"/S" + h.ConnectString(false), "/Q", "/T" + D + "/roads.TAB|RD",
                                     "/F" + D + "/run.log"};
    if (c.flag) args.push_back(c.flag);
    ASSERT_EQ(0, RunProgram(args)) << ReadAll(D + "/run.log");
    const bool quoted = std::string(c.profile) == "db2";
    EXPECT_EQ(std::vector<std::string>{c.owner},
              h.Query(std::string("select OWNERNAME from ") + (quoted ? "\"CORVANE\".\"CORVANE_MAPCATALOG\""
                                                                     : "CORVANE.CORVANE_MAPCATALOG")));
    EXPECT_EQ(3u, h.Query(std::string("select NAME from ") + c.owner + ".RD").size());
  }
}

}  // namespace
}  // namespace upload
