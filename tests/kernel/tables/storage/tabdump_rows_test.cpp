// tabdump's row commands: tables created from rows in the output form and
// dumped back, foreign dBASE files, the Register Table road, refused data
// files (codes on stderr, exit 1, no row) and a refused create.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "kernel/tables/storage/storage_fixture.h"

namespace {

struct DumpRun {
  int exit_code;
  std::string out;
  std::string err;
};

const char* kTenColumns =
    "a Char 10 0,b Decimal 8 2,c Integer 0 0,d Smallint 0 0,e Date 0 0,f Time 0 0,g DateTime 0 0,h Float 0 0,"
    "i LargeInt 0 0,j Logical 0 0";
const char* kTenHead =
    "a Char 10 0\nb Decimal 8 2\nc Integer 4 0\nd Smallint 2 0\ne Date 4 0\nf Time 4 0\ng DateTime 8 0\n"
    "h Float 8 0\ni LargeInt 8 0\nj Logical 1 0\n--\n";
const char* kTenRows =
    "ab|123.45|7|-3|2007-03-05|12:00:00.000|2007-03-05 12:00:00.000|1.5|9000000000|T\n"
    "x\\|y\\r\\nz\\\\|-0.5|-2147483648|32767||||-2.25|-9000000000|F\n"
    "|0.1|0|0|1999-12-31|23:59:59.999|2000-01-01 01:02:03.004|0.1|0|T\n";

class tabdump_rows : public StorageTest {
 protected:
  DumpRun tabdump(const std::string& args, const std::string& input = "") {
    put("stdin.txt", input);
    const std::string cmd = std::string("'") + TABDUMP_PATH + "' " + args + " <'" + path("stdin.txt") + "' >'" +
                            path("stdout.txt") + "' 2>'" + path("stderr.txt") + "'";
    const int status = std::system(cmd.c_str());
    DumpRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read("stdout.txt"), read("stderr.txt")};
    for (const char* f : {"stdin.txt", "stdout.txt", "stderr.txt"}) std::remove(path(f).c_str());
    return r;
  }
  std::string q(const std::string& name) const { return "'" + path(name) + "'"; }
  void set_mtime(const std::string& name, time_t seconds) const {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path(name).c_str(), times, 0), 0);
  }
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = d != nullptr ? readdir(d) : nullptr) {
      if (e->d_name[0] != '.') out.push_back(e->d_name);
    }
    if (d != nullptr) closedir(d);
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(tabdump_rows, CreatedTablesDumpTheirRows) {
  for (const char* type : {"native", "dbf"}) {
    SCOPED_TRACE(type);
    const DumpRun c = tabdump("--create " + q("t.TAB") + " --type " + type + " --columns '" + kTenColumns + "'", kTenRows);
    ASSERT_EQ(c.exit_code, 0) << c.err;
    const DumpRun d = tabdump(q("t.TAB"));
    EXPECT_EQ(d.exit_code, 0) << d.err;
    std::string head = kTenHead;
    if (std::string(type) == "dbf") {
      head = "a Char 10 0\nb Decimal 8 2\nc Integer 11 0\nd Smallint 6 0\ne Date 8 0\nf Time 9 0\n"
             "g DateTime 17 0\nh Float 19 9\ni LargeInt 20 0\nj Logical 1 0\n--\n";
    }
    EXPECT_EQ(d.out, head + kTenRows);
    for (const char* f : {"t.TAB", "t.DAT", "t.DBF"}) std::remove(path(f).c_str());
  }
}

TEST_F(tabdump_rows, ForeignDbaseFilesByTheirTextForms) {
  put("f.dbf", dbf_file({{"LOG", 'L', 1, 0}, {"DAY", 'D', 8, 0}, {"NAME", 'C', 4, 0}, {"NUM", 'N', 6, 2}},
                        {"y20070305ab|   1.50", "?        \xe9t   -0.25", "T2007x305      0.00"}));
  const DumpRun r = tabdump("--type dbf " + q("f.dbf"));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Log Logical 1 0\nDay Date 8 0\nName Char 4 0\nNum Decimal 6 2\n--\n"
            "T|2007-03-05|ab\\||1.5\nF||\xe9t|-0.25\nT|||0\n");
}

TEST_F(tabdump_rows, RegisteredDbaseTableDumpsAndIsRegisteredAgainWhenNewer) {
  put("t.dbf", dbf_file({{"CODE", 'C', 4, 0}, {"code", 'N', 5, 0}}, {"ab     12", "cd     -3"}));
  const std::string stmt = "Register Table \"" + path("t.dbf") + "\" Type DBF Charset \"WindowsLatin1\"";
  ASSERT_TRUE(stmt_exec_command(stmt.c_str(), 0)) << err_first_code();
  set_mtime("t.dbf", 1000000000);
  set_mtime("t.TAB", 1000000000);
  DumpRun r = tabdump(q("t.TAB"));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Code Char 4 0\nCode_2 Decimal 5 0\n--\nab|12\ncd|-3\n");
  // A data file a second newer than its definition is registered again.
  put("t.dbf", dbf_file({{"ID", 'N', 3, 0}}, {" 42"}));
  set_mtime("t.dbf", 1000000001);
  r = tabdump(q("t.TAB"));
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Id Decimal 3 0\n--\n42\n");
  EXPECT_NE(read("t.TAB").find("    Id Decimal (3, 0) ;"), std::string::npos);
}

TEST_F(tabdump_rows, RefusedDataFilesGiveCodesAndNoRow) {
  ASSERT_EQ(tabdump("--create " + q("t.TAB") + " --type native --columns 'a Char 3 0,b Integer 0 0'", "abc|1\nde|2\n")
                .exit_code,
            0);
  const std::string good = read("t.DAT");
  const size_t header = 32 * 2 + 33;
  ASSERT_EQ(good.size(), header + 2 * 8 + 1);
  auto with = [&](size_t at, std::string bytes) {
    std::string b = good;
    b.replace(at, bytes.size(), bytes);
    return b;
  };
  const struct {
    const char* what;
    std::string bytes;
  } kCases[] = {
      {"cut inside the last record", good.substr(0, header + 8 + 5)},
      {"header length inside the field records", with(8, std::string("\x41\x00", 2))},
      {"record length other than 1 + widths", with(10, std::string("\x09\x00", 2))},
  };
  for (const auto& c : kCases) {
    put("t.DAT", c.bytes);
    const DumpRun r = tabdump(q("t.TAB"));
    EXPECT_EQ(r.exit_code, 1) << c.what;
    EXPECT_EQ(r.err, "error 386\nerror 505\n") << c.what;
    EXPECT_EQ(r.out, "") << c.what;
  }
  // A native Logical byte of 2 reads as true.
  ASSERT_EQ(tabdump("--create " + q("l.TAB") + " --type native --columns 'l Logical 0 0'", "F\n").exit_code, 0);
  std::string b = read("l.DAT");
  b[b.size() - 2] = 2;
  put("l.DAT", b);
  EXPECT_EQ(tabdump(q("l.TAB")).out, "l Logical 1 0\n--\nT\n");
}

TEST_F(tabdump_rows, DeletedRowsPrintAsUnreadable) {
  ASSERT_EQ(tabdump("--create " + q("t.TAB") + " --type dbf --columns 'a Char 3 0'", "abc\nde\nf\n").exit_code, 0);
  std::string b = read("t.DBF");
  b[32 * 2 + 1 + 4] = '*';
  put("t.DBF", b);
  set_mtime("t.DBF", 1000000000);
  set_mtime("t.TAB", 1000000000);
  EXPECT_EQ(tabdump(q("t.TAB")).out, "a Char 3 0\n--\nabc\n!\nf\n");
}

TEST_F(tabdump_rows, TooManyColumnsLeaveNoFile) {
  std::string columns;
  for (int i = 0; i < 251; ++i) {
    if (i > 0) columns += ',';
    columns += 'c';
    columns += std::to_string(i);
    columns += " Integer 0 0";
  }
  for (const char* type : {"native", "dbf"}) {
    const DumpRun r = tabdump("--create " + q("t.TAB") + " --type " + type + " --columns '" + columns + "'");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "error 877\n");
    EXPECT_EQ(files(), std::vector<std::string>{});
  }
}

}  // namespace

namespace {

// Delimited text: described, dumped, passed through an in-memory table,
// registered, created.
TEST_F(tabdump_rows, DelimitedTextAndCsv) {
  const std::string kDump =
      "_COL1 Integer 5 0\n_COL2 Char 3 0\n_COL3 Char 3 0\n_COL4 Char 1 0\n--\n1|007|12|x\n40000||2.5|\n";
  put("t1.csv", "1,007,\"12\",x\n40000,,2.5,\n");
  put("t1.txt", "1\t007\t\"12\"\tx\n40000\t\t2.5\t\n");
  const struct {
    std::string args;
  } kRuns[] = {{"--type csv " + q("t1.csv")}, {q("t1.csv")}, {"--type txt " + q("t1.txt")},
               {"--type csv --memory " + q("t1.csv")}, {"--type txt --memory " + q("t1.txt")}};
  for (const auto& run : kRuns) {
    const DumpRun r = tabdump(run.args);
    EXPECT_EQ(r.exit_code, 0) << run.args << r.err;
    EXPECT_EQ(r.out, kDump) << run.args;
  }
  mkdir(path("D").c_str(), 0755);
  const DumpRun kept = tabdump("--keep " + q("D") + " " + q("t1.csv"));
  EXPECT_EQ(kept.exit_code, 0) << kept.err;
  EXPECT_NE(kept.out.find("--\n1|007|12|x\n40000||2.5|\n"), std::string::npos) << kept.out;
  EXPECT_FALSE(read("D/t1.TAB").empty());

  std::string wide;
  for (int i = 0; i < 251; ++i) wide += i ? ",1" : "1";
  put("w.csv", wide + "\n");
  const DumpRun w = tabdump(q("w.csv"));
  EXPECT_EQ(w.exit_code, 1);
  EXPECT_EQ(w.err, "error 877\n");
  EXPECT_EQ(w.out, "");
}

TEST_F(tabdump_rows, CreatesCsvWithTitlesAndReadsItBack) {
  const DumpRun c = tabdump("--type csv --create " + q("t.csv") + " --titles --columns \"NAME Char 20 0,COUNT Integer 11 0\"",
                            "He said \"hi\"|3\na\\r\\nb|4\n");
  ASSERT_EQ(c.exit_code, 0) << c.err;
  EXPECT_EQ(read("t.csv"), "\"NAME\",\"COUNT\"\n\"He said \"\"hi\"\"\",3\n\"a  b\",4\n");
  const DumpRun r = tabdump("--type csv --titles " + q("t.csv"));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("--\nHe said \"hi\"|3\na  b|4\n"), std::string::npos) << r.out;
}

}  // namespace
