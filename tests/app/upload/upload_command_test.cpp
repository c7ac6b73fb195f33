// The program itself, started from the command line as an unattended run:
// the roads fixture uploaded through the test ODBC driver, with its exit
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

#include "app/UploadRun.h"
#include "app/upload/native_table.h"
#include "app/upload/trace_harness.h"

namespace upload {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The program the runs start: quendalour, or the same program built with the
// fixture reader where a test's objects come from .fxt rows.
const char* g_program = QL_EXE_PATH;
struct FixtureProgram {
  FixtureProgram() { g_program = QL_FXT_EXE_PATH; }
  ~FixtureProgram() { g_program = QL_EXE_PATH; }
};

// Runs the program with these arguments and environment settings; its exit
// status.
int RunProgram(const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& env = {}) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(g_program));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(g_program, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    ASSERT_FALSE(NativeTable(D + "/roads.fxt", true).empty());
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
  // The roads' objects come as .fxt rows.
  const FixtureProgram fxt;
  ASSERT_EQ(0, RunProgram({Connect(), "/Q", "/T" + D + "/roads.fxt|RD", "/D" + D + "/reg", "/F" + D + "/run.log"}))
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

  // Rows with their NULLs and blobs, and the catalogue row.
  // The reader builds one style clause per object class: every road's
  // style equals the table's default symbol and is stored as NULL.
  EXPECT_EQ((std::vector<std::string>{"Harbour Road|4|12.5|NULL|1|090000004C494E4531",
                                      "Ridge Way|2|3.75|NULL|2|090000004C494E4532",
                                      "Old Mill Lane||0.8|NULL|3|090000004C494E4533"}),
            h.Query("select NAME, LANES, LENGTH, CV_STYLE, QD_MEMBER, hex(QD_GEOMETRY) from RD order by QD_MEMBER"));
  EXPECT_EQ((std::vector<std::string>{"14.1|RD|dbo|QD_GEOMETRY|151.1|-33.9|151.31|-33.69|Earth Projection 1, 104|"
                                      "Pen (2,2,0)|NO_COLUMN|NO_COLUMN|1|CV_STYLE|"}),
            h.Query("select SPATIALTYPE, TABLENAME, OWNERNAME, SPATIALCOLUMN, DB_X_LL, DB_Y_LL, DB_X_UR, DB_Y_UR, "
                    "COORDINATESYSTEM, SYMBOL, XCOLUMNNAME, YCOLUMNNAME, RENDITIONTYPE, RENDITIONCOLUMN, "
                    "RENDITIONTABLE from CORVANE.CORVANE_MAPCATALOG"));

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
  const std::string timedPath = NativeTable(h.dir.Write("timed.fxt", FixtureFormat(timed)), false);
  ASSERT_FALSE(timedPath.empty());
  ASSERT_EQ(255, RunProgram({Connect(), "/Q", "/N", "/T" + timedPath + "|TM", "/F" + D + "/run.log"}));
  std::string text = Res(kStrTemporal);
  text.replace(text.find("%s"), 2, "timed");
  EXPECT_NE(std::string::npos, ReadAll(D + "/run.log").find("\n\n" + text + "\n"));
  EXPECT_EQ(std::string::npos, ReadAll(D + "/run.log").find("create table dbo.TM"));

  // Lines as X/Y: the roads' objects come as .fxt rows.
  const FixtureProgram fxt;

  ASSERT_EQ(0, RunProgram({Connect(), "/Q", "/MXY", "/T" + D + "/roads.fxt|RX", "/F" + D + "/run.log"}));
  EXPECT_NE(std::string::npos, ReadAll(D + "/run.log").find("\n\nroads" + Res(kStrNotPoints) + "\n"));
  EXPECT_EQ((std::vector<std::string>{"Harbour Road|151.2143|-33.8638", "Ridge Way|151.125|-33.875",
                                      "Old Mill Lane|151.305|-33.695"}),
            h.Query("select NAME, CV_SQL_X, CV_SQL_Y from RX order by CV_SQL_REC_NUM"));
}

// The owner of the uploaded table: the connected user on Informix and DB2
// whatever /B says; on SQL Server 9.0 the /B owner, else the default schema.
TEST(UploadCommandOwner, OwnerPerServer) {
  // The roads' objects come as .fxt rows.
  const FixtureProgram fxt;
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
    std::vector<std::string> args = {"/S" + h.ConnectString(false), "/Q", "/T" + D + "/roads.fxt|RD",
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
