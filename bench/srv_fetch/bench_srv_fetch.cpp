// 100,000 rows of five columns (integer, text, float, date, smallint) read
// through the server layer (srv_fetch and srv_column_value over the ODBC
// test module) against the same rows read directly with SQLFetch and
// SQLGetData into the same C types, in the same run; prints the ratio
// (target at most 1.5). The statements' execution is not timed.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include <chrono>

#include "../runtime/bench_util.h"
#include "kernel/runtime/err.h"
#include "kernel/server/srv.h"
#include "odbc/support/testodbc.h"

namespace {

constexpr int kRows = 100000;
const char* kQuery = "select ID, NAME, AMOUNT, DAY, SMALL from B";

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The rows of the query through the layer; *seconds: the fetching alone.
long layer_rows(SrvConnection* conn, double* seconds) {
  long rows = 0;
  SrvStatement* s = srv_execute(conn, kQuery);
  if (s == nullptr) return -1;
  Value v[5] = {};
  const auto start = std::chrono::steady_clock::now();
  while (srv_fetch(conn, s, kSrvFetchNext) && !srv_statement_at_end(conn, s)) {
    for (int16_t c = 1; c <= 5; ++c) srv_column_value(conn, s, &v[c - 1], c);
    ++rows;
  }
  *seconds = seconds_since(start);
  for (Value& x : v) value_free(&x);
  srv_close_statement(conn, s);
  return rows;
}

long direct_rows(SQLHDBC dbc, double* seconds) {
  SQLHSTMT h = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
  std::string q = kQuery;
  if (!SQL_SUCCEEDED(SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(q.data()), SQL_NTS))) return -1;
  long rows = 0;
  char text[64];
  double d = 0;
  SQL_DATE_STRUCT day{};
  SQLLEN ind = 0;
  const auto start = std::chrono::steady_clock::now();
  while (SQL_SUCCEEDED(SQLFetch(h))) {
    SQLGetData(h, 1, SQL_C_DOUBLE, &d, sizeof d, &ind);
    SQLGetData(h, 2, SQL_C_CHAR, text, sizeof text, &ind);
    SQLGetData(h, 3, SQL_C_DOUBLE, &d, sizeof d, &ind);
    SQLGetData(h, 4, SQL_C_TYPE_DATE, &day, sizeof day, &ind);
    SQLGetData(h, 5, SQL_C_DOUBLE, &d, sizeof d, &ind);
    ++rows;
  }
  *seconds = seconds_since(start);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  return rows;
}

}  // namespace

int main() {
  testodbc::TempDir dir;
  const std::string connect = testodbc::ConnectString({{"DBMS", "SQLite"}, {"UID", "u"}, {"DB", dir.Path()}});
  if (!srv_init()) return 1;
  SrvConnection* conn = srv_connect_driver("ODBC", connect.c_str());
  if (conn == nullptr) return 1;
  const std::string fill =
      "insert into B with recursive c(x) as (select 1 union all select x + 1 from c where x < " +
      std::to_string(kRows) + ") select x, 'name ' || x, x * 0.5, '2004-01-27', x % 7 from c";
  for (const std::string& sql : {std::string("create table B(ID INTEGER, NAME VARCHAR(20), AMOUNT FLOAT, DAY DATE, "
                                             "SMALL SMALLINT)"),
                                 fill}) {
    SrvStatement* s = srv_execute(conn, sql.c_str());
    if (s == nullptr) return 1;
    srv_close_statement(conn, s);
  }
  srv_commit(conn);

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string in = connect;
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), SQL_NTS, nullptr, 0,
                                      nullptr, SQL_DRIVER_NOPROMPT))) {
    return 1;
  }
  long a = 0, b = 0;
  // Only the fetching is timed (the test driver reads the whole result at
  // execute); rounds alternate, so that both readers meet the same heap.
  double ours = 1e30, base = 1e30;
  for (int round = 0; round < 9; ++round) {
    double t = 0;
    a = layer_rows(conn, &t);
    ours = std::min(ours, t);
    b = direct_rows(dbc, &t);
    base = std::min(base, t);
  }
  if (a != kRows || b != kRows) {
    std::fprintf(stderr, "rows: layer %ld, direct %ld\n", a, b);
    return 1;
  }
  report("srv_fetch + srv_column_value x5 per row", ours / kRows * 1e9, base / kRows * 1e9,
         "SQLFetch + SQLGetData x5");
  std::printf("target ratio <= 1.5\n");
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  srv_unload_all();
  return 0;
}
