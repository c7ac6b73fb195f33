// Fuzz target: the test ODBC driver, called directly. The first byte picks
// the server family; every further line is a statement. Each runs through
// SQLExecDirect (or, when it starts with "?", SQLPrepare and SQLExecute with
// one text parameter), and its rows are read back through SQLGetData into a
// small buffer, every other statement on a static cursor that SQLFetchScroll
// walks in every direction, the columns described; SQLColumns and SQLTables
// take the line as a table name. No
// input may crash the driver or make it report a failure without a message.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const char* const kFamilies[] = {"Informix", "DB2/LINUX", "Oracle", "ACCESS",
                                 "Microsoft SQL Server", "SQL Server", "SQLite"};

// Statements that would reach files: the driver works in memory only here.
bool ReachesFiles(const std::string& line) {
  std::string lower;
  for (char c : line) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("attach") != std::string::npos || lower.find("vacuum") != std::string::npos ||
         lower.find("pragma") != std::string::npos;
}

void FailWithoutMessageTraps(SQLSMALLINT type, SQLHANDLE h, SQLRETURN rc) {
  if (rc != SQL_ERROR) return;
  SQLCHAR state[6] = {0}, msg[256] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len))) __builtin_trap();
}

void ReadRows(SQLHSTMT stmt, bool scroll = false) {
  SQLSMALLINT ncol = 0;
  SQLNumResultCols(stmt, &ncol);
  for (SQLUSMALLINT c = 1; c <= ncol; ++c) {
    SQLCHAR name[64];
    SQLSMALLINT nameLen = 0, type = 0, decimals = 0, nullable = 0;
    SQLULEN colSize = 0;
    SQLDescribeCol(stmt, c, name, sizeof name, &nameLen, &type, &colSize, &decimals, &nullable);
  }
  if (scroll) {
    const SQLSMALLINT moves[] = {SQL_FETCH_LAST, SQL_FETCH_PRIOR, SQL_FETCH_FIRST, SQL_FETCH_ABSOLUTE,
                                 SQL_FETCH_RELATIVE, SQL_FETCH_NEXT};
    for (SQLSMALLINT m : moves) FailWithoutMessageTraps(SQL_HANDLE_STMT, stmt, SQLFetchScroll(stmt, m, ncol - 2));
  }
  for (int row = 0; row < 50 && SQL_SUCCEEDED(SQLFetch(stmt)); ++row) {
    for (SQLUSMALLINT c = 1; c <= ncol; ++c) {
      char buf[8];
      SQLLEN ind = 0;
      // Read in pieces until the cell is done.
      for (int piece = 0; piece < 64; ++piece) {
        SQLRETURN rc = SQLGetData(stmt, c, piece % 2 ? SQL_C_BINARY : SQL_C_CHAR, buf, sizeof buf, &ind);
        if (rc != SQL_SUCCESS_WITH_INFO) break;
      }
      long long n = 0;
      SQLGetData(stmt, c, SQL_C_SBIGINT, &n, sizeof n, &ind);
    }
  }
  SQLFreeStmt(stmt, SQL_CLOSE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string family = kFamilies[data[0] % (sizeof kFamilies / sizeof kFamilies[0])];
  std::vector<std::string> lines;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (ReachesFiles(lines.back())) return 0;
    start = end + 1;
  }

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) != SQL_SUCCESS) __builtin_trap();
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS) __builtin_trap();
  std::string cs = "DBMS=" + family + ";UID=u;PWD=p";
  SQLCHAR out[512];
  SQLSMALLINT outLen = 0;
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out, sizeof out, &outLen,
                                  SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) __builtin_trap();
  if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt) != SQL_SUCCESS) __builtin_trap();

  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& sql = lines[i];
    if (!sql.empty() && sql[0] == '?') {
      std::string body = sql.substr(1);
      rc = SQLPrepare(stmt, (SQLCHAR*)body.c_str(), static_cast<SQLINTEGER>(body.size()));
      FailWithoutMessageTraps(SQL_HANDLE_STMT, stmt, rc);
      if (SQL_SUCCEEDED(rc)) {
        char value[] = "v'1";
        SQLLEN ind = SQL_NTS;
        SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, i % 2 ? -98 : SQL_VARCHAR, 8, 0, value, sizeof value,
                         &ind);
        rc = SQLExecute(stmt);
        FailWithoutMessageTraps(SQL_HANDLE_STMT, stmt, rc);
      }
    } else {
      SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE,
                     reinterpret_cast<SQLPOINTER>(i % 2 ? SQL_CURSOR_STATIC : SQL_CURSOR_FORWARD_ONLY), 0);
      rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), static_cast<SQLINTEGER>(sql.size()));
      FailWithoutMessageTraps(SQL_HANDLE_STMT, stmt, rc);
    }
    if (SQL_SUCCEEDED(rc)) ReadRows(stmt, true);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    if (i % 3 == 2) {
      rc = SQLColumns(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)sql.c_str(), SQL_NTS, nullptr, 0);
      if (SQL_SUCCEEDED(rc)) ReadRows(stmt);
      rc = SQLTables(stmt, nullptr, 0, (SQLCHAR*)sql.c_str(), SQL_NTS, nullptr, 0, nullptr, 0);
      if (SQL_SUCCEEDED(rc)) ReadRows(stmt);
      SQLFreeStmt(stmt, SQL_CLOSE);
    }
  }
  SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return 0;
}
