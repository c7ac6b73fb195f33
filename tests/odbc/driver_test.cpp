// Tests of the test ODBC driver itself, through the unixODBC driver manager:
// rule files, statement rewrites, CREATE forms back through SQLColumns,
// parameters, transactions, injected failures and the trace.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <optional>

#include "odbc/support/testodbc.h"
#include "rules.h"
#include "sqltext.h"

namespace {

using testodbc::ConnectString;
using testodbc::TempDir;

// One environment, connection and statement through the driver manager.
class Session {
 public:
  Session() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  }
  ~Session() {
    if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  SQLRETURN Connect(const std::string& cs, std::string* completed = nullptr) {
    std::vector<SQLCHAR> out(cs.size() + 64);
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out.data(),
                                    static_cast<SQLSMALLINT>(out.size()), &outLen, SQL_DRIVER_NOPROMPT);
    if (SQL_SUCCEEDED(rc)) {
      connected_ = true;
      SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
      if (completed) *completed = reinterpret_cast<char*>(out.data());
    }
    return rc;
  }
  SQLRETURN Exec(const std::string& sql) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }
  // All rows of the open result as text ("NULL" for null).
  std::vector<std::vector<std::string>> Rows() {
    std::vector<std::vector<std::string>> rows;
    SQLSMALLINT ncol = 0;
    SQLNumResultCols(stmt_, &ncol);
    while (SQL_SUCCEEDED(SQLFetch(stmt_))) {
      std::vector<std::string> row;
      for (SQLUSMALLINT c = 1; c <= ncol; ++c) {
        char buf[512];
        SQLLEN ind = 0;
        SQLGetData(stmt_, c, SQL_C_CHAR, buf, sizeof buf, &ind);
        row.push_back(ind == SQL_NULL_DATA ? "NULL" : buf);
      }
      rows.push_back(row);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return rows;
  }
  std::vector<std::vector<std::string>> Query(const std::string& sql) {
    EXPECT_TRUE(SQL_SUCCEEDED(Exec(sql))) << sql << ": " << Error();
    return Rows();
  }
  std::string Error(SQLSMALLINT type = SQL_HANDLE_STMT) {
    SQLCHAR state[6] = {0}, msg[1024] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLHANDLE h = type == SQL_HANDLE_STMT ? stmt_ : dbc_;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len))) return "";
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(msg);
  }
  SQLHDBC Dbc() const { return dbc_; }
  SQLHSTMT Stmt() const { return stmt_; }

 private:
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
  bool connected_ = false;
};

TEST(TestDriver, ConnectsExecutesAndTraces) {
  TempDir dir;
  std::string trace = dir.File("t.jsonl");
  Session s;
  std::string completed;
  std::string cs = ConnectString({{"DBMS", "DB2"}, {"UID", "u"}, {"PWD", "secret"}, {"TRACE", trace}});
  ASSERT_EQ(SQL_SUCCESS, s.Connect(cs, &completed)) << s.Error(SQL_HANDLE_DBC);
  EXPECT_EQ(cs, completed);
  EXPECT_TRUE(SQL_SUCCEEDED(s.Exec("create table T(A integer, B varchar(10))")));
  EXPECT_TRUE(SQL_SUCCEEDED(s.Exec("insert into T values (1, 'x')")));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"1", "x"}}), s.Query("select A, B from u.T"));
  std::string error;
  auto lines = testodbc::ReadTrace(trace, &error);
  ASSERT_EQ("", error);
  EXPECT_EQ((std::vector<std::string>{"create table T(A integer, B varchar(10))", "insert into T values (1, 'x')",
                                      "select A, B from u.T"}),
            testodbc::Statements(lines));
}

}  // namespace
