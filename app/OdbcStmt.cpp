// Statement handle helpers of the ODBC connection (see OdbcStmt.h).
#include "app/OdbcStmt.h"

#include <algorithm>
#include <cstring>

void OdbcCloseCursor(SQLHSTMT stmt) {
  SQLFreeStmt(stmt, SQL_CLOSE);
  SQLFreeStmt(stmt, SQL_UNBIND);
}

bool OdbcGetText(SQLHSTMT stmt, SQLUSMALLINT col, std::string* out, size_t limit) {
  out->clear();
  // A long value comes in pieces: each call returns what fits and
  // SQL_SUCCESS_WITH_INFO (01004) while more remains.
  for (;;) {
    char buf[257] = {0};
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(stmt, col, SQL_C_CHAR, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) return true;
    if (!SQL_SUCCEEDED(rc)) return false;
    if (ind == SQL_NULL_DATA) return true;
    const size_t piece = strnlen(buf, sizeof buf - 1);
    // A null byte inside the part the driver gave would end the text there:
    // such a value is refused, never read cut.
    if (ind != SQL_NO_TOTAL && ind >= 0 && piece < std::min(static_cast<size_t>(ind), sizeof buf - 1)) {
      out->clear();
      return false;
    }
    out->append(buf, piece);
    if (out->size() > limit) {
      // Never a cut text: past the limit the value is not read at all.
      out->clear();
      return false;
    }
    if (rc == SQL_SUCCESS) return true;
    if (ind != SQL_NO_TOTAL && ind >= 0 && static_cast<size_t>(ind) < sizeof buf) return true;
  }
}

COdbcOwnStmt::~COdbcOwnStmt() {
  if (m_Stmt == SQL_NULL_HSTMT) return;
  OdbcCloseCursor(m_Stmt);
  SQLFreeHandle(SQL_HANDLE_STMT, m_Stmt);
}
