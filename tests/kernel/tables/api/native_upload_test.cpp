// Runs of the program over native and registered dBASE tables through the
// test ODBC driver: every live row value for value, deleted rows left out,
// damaged data files refused, and every source file left as it was.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "kernel/tables/api/tabapi_fixture.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "platform/resources.h"

namespace tabapi_test {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class NativeUpload : public TabApiTest {
 protected:
  void SetUp() override {
    TabApiTest::SetUp();
    std::filesystem::create_directory(Path("db"));
    Sql("CORVANE.sqlite",
        "CREATE TABLE CORVANE_MAPCATALOG(SPATIALTYPE FLOAT, TABLENAME VARCHAR(32), OWNERNAME VARCHAR(32), "
        "SPATIALCOLUMN VARCHAR(32), DB_X_LL FLOAT, DB_Y_LL FLOAT, DB_X_UR FLOAT, DB_Y_UR FLOAT, "
        "COORDINATESYSTEM VARCHAR(254), SYMBOL VARCHAR(254), XCOLUMNNAME VARCHAR(32), YCOLUMNNAME VARCHAR(32), "
        "RENDITIONTYPE INTEGER, RENDITIONCOLUMN VARCHAR(32), RENDITIONTABLE VARCHAR(32), NUMBER_ROWS INTEGER);");
  }
  // Rows of a query on a database file of the store, '|'-separated.
  std::string Sql(const std::string& db, const std::string& query) {
    const std::string cmd = "sqlite3 -nullvalue NULL '" + Path("db/" + db) + "' \"" + query + "\" 2>&1";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char buf[512];
      while (std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
      pclose(p);
    }
    return out;
  }
  int Run(const std::string& jobs) {
    std::ofstream(Path("jobs.txt")) << jobs;
    const std::string s = std::string("/SDRIVER=") + QL_DRIVER_PATH +
                          ";DBMS=Microsoft SQL Server;DBMSVER=09.00.1399;DATABASE=testdb;DEFSCHEMA=dbo;UID=u;PWD=p;DB=" +
                          Path("db");
    const std::string l = "/L" + Path("jobs.txt"), f = "/F" + Path("run.log");
    const pid_t pid = fork();
    if (pid == 0) {
      execl(QL_EXE_PATH, QL_EXE_PATH, "/Q", s.c_str(), l.c_str(), f.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Every file of the folder (not the store) with its bytes and mtime.
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      if (!e.is_regular_file() || e.path().filename() == "run.log" || e.path().filename() == "jobs.txt") continue;
      struct stat st {};
      stat(e.path().c_str(), &st);
      out[e.path().filename().string()] =
          ReadAll(e.path().string()) + "@" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }
    return out;
  }
  std::string MakeNative() {
    const std::string p =
        Make("T.TAB",
             {Col("ID", COLTYPE_INTEGER, 4), Col("NAME", COLTYPE_CHAR, 30), Col("AMOUNT", COLTYPE_DECIMAL, 12, 2),
              Col("DAY", COLTYPE_DATE, 4), Col("S", COLTYPE_SMALLINT, 2), Col("F", COLTYPE_FLOAT, 8),
              Col("OK", COLTYPE_LOGICAL, 1)},
             {"1\t\"Caf\xe9 \"\"quoted\"\"\"\t12.50\t\"20240131\"\t-32768\t1.5\t\"T\"",
              "2147483647\t\"\"\t-99999999.99\t\"\"\t32767\t-0.25\t\"F\"",
              "5\t\"gone\"\t1\t\"20000101\"\t1\t1\t\"T\"",
              "-2147483647\t\"x\"\t0\t\"19991231\"\t0\t0\t\"T\""});
    // Row 3 is deleted.
    const int32_t slot = TabApiOpenTableFile(p.c_str(), 2);
    EXPECT_NE(slot, 0);
    EXPECT_EQ(tabtype_delete_row(&api_slot(slot)->table->storage, 3), 1);
    EXPECT_EQ(TabApiCloseTableCommit(slot), 1);
    return p;
  }
};

TEST_F(NativeUpload, NativeAndDbaseTablesValueForValue) {
  const std::string native = MakeNative();
  const std::string dbf = Make("D.TAB", {Col("CODE", COLTYPE_CHAR, 8), Col("QTY", COLTYPE_INTEGER, 4)},
                               {"\"A-1\"\t10", "\"B\xf6\"\t-3"}, 1);
  const auto before = Snapshot();
  ASSERT_EQ(Run(native + "|TT\n" + dbf + "|DD\n"), 0) << ReadAll(Path("run.log"));
  EXPECT_EQ(Sql("dbo.sqlite", "select ID, NAME, AMOUNT, DAY, S, F, OK from TT order by CV_SQL_REC_NUM"),
            "1|Caf\xe9 \"quoted\"|12.5|2024-01-31 00:00:00|-32768|1.5|1\n"
            "2147483647||-99999999.99|NULL|32767|-0.25|0\n"
            "-2147483647|x|0|1999-12-31 00:00:00|0|0.0|1\n");
  EXPECT_EQ(Sql("dbo.sqlite", "select CODE, QTY from DD order by CV_SQL_REC_NUM"), "A-1|10\nB\xf6|-3\n");
  const std::string log = ReadAll(Path("run.log"));
  EXPECT_NE(log.find("create table dbo.TT( ID int,NAME varchar(30),AMOUNT decimal(11,2),DAY datetime,S smallint,"
                     "F float,OK smallint,"),
            std::string::npos)
      << log;
  // Nothing of the sources changed, not even a time.
  EXPECT_EQ(before, Snapshot());
}

TEST_F(NativeUpload, DataFileCutInsideItsLastRecordIsRefused) {
  const std::string native = MakeNative();
  const std::string dat = Path("T.DAT");
  std::filesystem::resize_file(dat, std::filesystem::file_size(dat) - 3);
  const auto before = Snapshot();
  EXPECT_EQ(Run(native + "|TT\n"), 255);
  const std::string log = ReadAll(Path("run.log"));
  EXPECT_NE(log.find(platform::ResString(104)), std::string::npos) << log;
  EXPECT_NE(log.find(native), std::string::npos) << log;
  EXPECT_NE(Sql("dbo.sqlite", "select count(*) from TT").find("no such table"), std::string::npos);
  EXPECT_EQ(before, Snapshot());
}

// A joined view of two native tables uploads the view's rows when the first
// member's join column has an index; without it the first read fails with
// 873 and the run ends with 255, nothing stored.
TEST_F(NativeUpload, JoinedViewUploadsItsRowsAndWithoutAnIndexFails) {
  for (const bool indexed : {true, false}) {
    SCOPED_TRACE(indexed ? "indexed" : "no index");
    const std::string a = indexed ? "a" : "c", b = indexed ? "b" : "d";
    Make(a + ".TAB", {Col("id", COLTYPE_INTEGER, 4), Col("name", COLTYPE_CHAR, 10)},
         {"1\t\"one\"", "2\t\"two\"", "3\t\"three\""}, 2, indexed ? 1 : 0);
    Make(b + ".TAB", {Col("id", COLTYPE_INTEGER, 4), Col("amount", COLTYPE_DECIMAL, 10, 2)}, {"3\t1.50", "1\t2.25"});
    const std::string view = Path(a + b + ".TAB");
    std::ofstream(view) << "!table\r\n!version 300\r\nOpen Table \"" << a << "\"\r\nOpen Table \"" << b
                        << "\"\r\nCreate View v As Select " << a << ".name, " << b << ".amount From " << a << ", " << b
                        << " where " << a << ".id = " << b << ".id\r\n";
    const std::string target = indexed ? "VI" : "VN";
    const auto before = Snapshot();
    const int status = Run(view + "|" + target + "\n");
    const std::string log = ReadAll(Path("run.log"));
    if (indexed) {
      EXPECT_EQ(status, 0) << log;
      EXPECT_EQ(Sql("dbo.sqlite", "select name, amount from VI order by CV_SQL_REC_NUM"), "three|1.5\none|2.25\n");
    } else {
      EXPECT_EQ(status, 255) << log;
      EXPECT_NE(log.find(" - VN\n873\n"), std::string::npos) << log;
      EXPECT_EQ(Sql("dbo.sqlite", "select count(*) from VN"), "0\n");
    }
    EXPECT_EQ(before, Snapshot());
  }
}

}  // namespace
}  // namespace tabapi_test
