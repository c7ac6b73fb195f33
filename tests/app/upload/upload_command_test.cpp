// The program itself, started from the command line as an unattended run:
// the roads fixture, made a native table with its map file by mktab,
// uploaded through the test ODBC driver, with its exit
// code, its rows and catalogue row in the database, its registration table
// and its run log.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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
    ServerProfile profile;
    for (const ServerProfile& p : TraceProfiles())
      if (p.name == c.profile) profile = p;
    TraceHarness h(profile);
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
