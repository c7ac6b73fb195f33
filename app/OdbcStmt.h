// Small helpers around ODBC statement handles shared by the dialect and
// catalogue operations of the ODBC connection: closing a cursor, reading a
// whole text column, and a statement handle that frees itself.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

// Closes the cursor of the statement and unbinds its columns.
void OdbcCloseCursor(SQLHSTMT stmt);

// Longest text OdbcGetText reads.
constexpr size_t kOdbcTextLimit = size_t{1} << 20;

// The whole text of column `col` of the current row (a null value gives "");
// false, with `out` empty, when the driver cannot read it, the text holds a
// null byte or it is longer than `limit` bytes.
bool OdbcGetText(SQLHSTMT stmt, SQLUSMALLINT col, std::string* out, size_t limit = kOdbcTextLimit);

// A statement handle owned by one operation: closed and freed at scope end.
class COdbcOwnStmt {
 public:
  explicit COdbcOwnStmt(SQLHSTMT stmt) : m_Stmt(stmt) {}
  ~COdbcOwnStmt();
  COdbcOwnStmt(const COdbcOwnStmt&) = delete;
  COdbcOwnStmt& operator=(const COdbcOwnStmt&) = delete;
  SQLHSTMT Get() const { return m_Stmt; }
  explicit operator bool() const { return m_Stmt != SQL_NULL_HSTMT; }

 private:
  SQLHSTMT m_Stmt;
};
