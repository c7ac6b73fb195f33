// Quiet runs of the program that must fail loudly: a row too long for the
// reader, names that cannot stand in a statement, passwords in the connect
// string, a registration folder or a log path that does not exist, a server
// of no known family. Each shows its exit code, its log and what reached
// the database.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/TestSupport.h"
#include "app/UploadRun.h"
#include "app/upload/native_table.h"
#include "app/upload/trace_harness.h"

namespace upload {
namespace {

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class UploadRefusal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(h.MakeCatalog());
    D = h.dir.Path();
    std::filesystem::create_directories(D + "/reg");
    std::filesystem::copy_file(std::string(QL_FIXTURES_DIR) + "/roads.fxt", D + "/roads.fxt");
    ASSERT_FALSE(NativeTable(D + "/roads.fxt").empty());
  }
  qltest::RunResult Run(const std::vector<std::string>& args) {
    return qltest::RunProgram(QL_EXE_PATH, args, {}, D);
  }
  std::string Log() const { return qltest::ReadFile(D + "/run.log"); }

  TraceHarness h{TraceProfiles().front()};  // Microsoft SQL Server 9.0 with the extension
  std::string D;
};

// Sixteen fields of 250 characters do not fit the reader's row text: the
// row's read fails with string 144 and the table ends; the row before it
// stays whole, and no value is stored cut.
TEST_F(UploadRefusal, RowTooLongForTheReaderFailsItsTableWithNothingCut) {
  FixtureTable t;
  std::string shortRow, longRow;
  for (int i = 0; i < 16; ++i) {
    t.columns.push_back(FixtureColumn("C" + std::to_string(i + 1), COLTYPE_CHAR, 250, 0));
    shortRow += (i ? "\t" : "") + std::string(1, static_cast<char>('a' + i));
    longRow += (i ? "\t" : "") + std::string(250, static_cast<char>('a' + i));
  }
  t.mappable = false;
  for (const std::string& text : {shortRow, longRow}) {
    t.rows.push_back(FixtureRow());
    t.rows.back().text = text;
  }
  const std::string path = NativeTable(h.dir.Write("wide.fxt", FixtureFormat(t)));
  ASSERT_FALSE(path.empty());
  const qltest::RunResult r = Run({"/S" + h.ConnectString(false), "/Q", "/T" + path + "|R1", "/F" + D + "/run.log"});
  EXPECT_EQ(r.status, 255) << Log();
  EXPECT_TRUE(Holds(Log(), Res(144) + " 2 - R1\n")) << Log();
  EXPECT_FALSE(Holds(Log(), "\n1" + Res(kStrTablesUploaded))) << Log();
  EXPECT_EQ(h.Query("select count(*), max(length(C16)), min(length(C16)) from R1"),
            std::vector<std::string>{"1|1|1"});
}

// A style column that cannot stand bare in CREATE TABLE and INSERT: string
// 320 naming it, exit 255, and no statement names it. (A native table's
// column names follow the kernel's column name rule, "A;B" is written as
// A_B: the source-column half is the uploader's test over the test driver.)
TEST_F(UploadRefusal, StyleColumnThatCannotStandInAStatementIsRefusedBeforeAnyStatement) {
  const std::string name = "S,EXTRA";
  const qltest::RunResult r = Run({"/S" + h.ConnectString(true), "/Q", "/F" + D + "/run.log",
                                   "/T" + D + "/roads.TAB|R9", "/Y" + name});
  EXPECT_EQ(r.status, 255);
  EXPECT_TRUE(Holds(Log(), Res(320) + " - ")) << Log();
  EXPECT_TRUE(Holds(Log(), "[" + name + "]")) << Log();
  const std::string trace = qltest::ReadFile(h.tracePath);
  EXPECT_FALSE(trace.empty());
  EXPECT_FALSE(Holds(trace, name)) << trace;
  EXPECT_FALSE(Holds(trace, "create table")) << trace;
  EXPECT_FALSE(Holds(trace, "insert into dbo.R")) << trace;
}

// The registration table and the run log never carry a password, whatever
// key names it and however its value is braced.
TEST_F(UploadRefusal, PasswordsReachNeitherTheRegistrationTableNorTheLog) {
  for (const std::string& secret : {std::string(";Password=s3cret"), std::string(";{PWD}={s3;cret}"),
                                    std::string(";passwd=s3cret")}) {
    SCOPED_TRACE(secret);
    std::filesystem::remove(D + "/reg/RD_srv.tab");
    const qltest::RunResult r = Run({"/S" + h.ConnectString(false) + secret, "/Q", "/R", "/T" + D + "/roads.TAB|RD",
                                     "/D" + D + "/reg", "/F" + D + "/run.log"});
    EXPECT_EQ(r.status, 0) << Log();
    const std::string reg = qltest::ReadFile(D + "/reg/RD_srv.tab");
    EXPECT_TRUE(Holds(reg, "ConnectionString")) << reg;
    for (const std::string& text : {reg, Log()}) {
      EXPECT_FALSE(Holds(text, "s3cret")) << text;
      EXPECT_FALSE(Holds(text, "cret")) << text;
    }
  }
}

// A registration folder that does not exist: the table uploads, the file
// cannot be written, which is said with the system's reason, and the quiet
// run ends with 255; nothing claims the file was written.
TEST_F(UploadRefusal, RegistrationTableInAMissingFolderFailsTheRun) {
  const qltest::RunResult r = Run({"/S" + h.ConnectString(false), "/Q", "/T" + D + "/roads.TAB|RD",
                                   "/D" + D + "/nofolder", "/F" + D + "/run.log"});
  EXPECT_EQ(r.status, 255);
  EXPECT_FALSE(Holds(Log(), Res(kStrRegistered))) << Log();
  EXPECT_TRUE(Holds(Log(), Res(kStrNotRegistered) + D + "/nofolder/RD_srv.tab: No such file or directory\n")) << Log();
  EXPECT_EQ(h.Query("select count(*) from RD"), std::vector<std::string>{"3"});
}

// A log path in a missing folder: one line on stderr names it with the
// reason; the upload runs all the same.
TEST_F(UploadRefusal, LogThatCannotBeOpenedIsNamedOnStderrAndTheRunGoesOn) {
  const std::string log = D + "/nofolder/run.log";
  const qltest::RunResult r =
      Run({"/S" + h.ConnectString(false), "/Q", "/T" + D + "/roads.TAB|RD", "/F" + log});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "quendalour: the run log cannot be opened: " + log + ": No such file or directory\n");
  EXPECT_EQ(h.Query("select count(*) from RD"), std::vector<std::string>{"3"});
}

// A table that cannot be opened is logged with the reader's reason after
// its path: a missing file, a folder, a malformed fixture and its line.
TEST_F(UploadRefusal, TableThatCannotBeOpenedIsLoggedWithTheReadersReason) {
  const std::string bad = h.dir.Write("bad.TAB", "!table\n!version 300\nwhat 1\n");
  std::filesystem::create_directories(D + "/folder.TAB");
  const std::pair<std::string, std::string> cases[] = {
      {D + "/missing.TAB", "No such file or directory"},
      {D + "/folder.TAB", "Is a directory"},
      {bad, ""},  // the kernel's message, whatever its words
  };
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    const qltest::RunResult r = Run({"/S" + h.ConnectString(false), "/Q", "/T" + path + "|RX", "/F" + D + "/run.log"});
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(Holds(Log(), "\n\n" + Res(kStrOpenFailed) + " - " + path + ": " + reason)) << Log();
    if (reason.empty()) {
      EXPECT_FALSE(Holds(Log(), path + ": \n")) << Log();
    }
  }
}

// A server of no known family is refused with the name its driver gave.
TEST_F(UploadRefusal, UnsupportedServerIsNamedInTheRefusal) {
  const std::string cs = testodbc::ConnectString({{"DBMS", "PostgreSQL"}, {"DB", D}, {"UID", "u"}});
  const qltest::RunResult r = Run({"/S" + cs, "/Q", "/T" + D + "/roads.TAB|RD", "/F" + D + "/run.log"});
  EXPECT_EQ(r.status, 255);
  EXPECT_TRUE(Holds(Log(), Res(171) + ".\n\nThe driver names it \"PostgreSQL\"")) << Log();
}

}  // namespace
}  // namespace upload
