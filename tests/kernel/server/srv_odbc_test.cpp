// The server layer over the ODBC test module, the unixODBC driver manager
// and the test ODBC driver: srvq's output for a table of every column kind,
// fetching past the end, a failing execute, a refused scroll direction on a
// forward-only cursor, and unloading with a connection and a statement
// still open.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/server/srv.h"
#include "odbc/support/testodbc.h"
#include "platform/module.h"

namespace {

std::string Arg(int i) {
  const ErrorEntry& e = g_err_stack->entries[i];
  return e.arg1_length > 0 ? std::string(g_err_stack->pool + e.arg1_offset) : std::string();
}

// Output and exit status of srvq with these arguments.
std::pair<std::string, int> Srvq(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {"", -1};
  const std::string exe = platform::ExecutableDirectory() + "srvq";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

class SrvOdbc : public ::testing::Test {
 protected:
  void SetUp() override {
    srv_unload_all();
    err_clear();
    trace = dir.File("trace.jsonl");
  }
  void TearDown() override {
    srv_unload_all();
    err_clear();
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
  testodbc::TempDir dir;
  std::string trace;
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

}  // namespace
