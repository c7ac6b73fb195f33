// The ODBC connection: handles, connecting and disconnecting, the connect
// string and its password, and the two primitives every statement goes
// through (ExecSql, CheckSqlResult).
#include "app/OdbcConnection.h"

#include <cstring>
#include <exception>
#include <optional>
#include <ostream>
#include <utility>

#include "app/ResourceLibrary.h"
#include "app/Text.h"
#include "app/UploadUi.h"
#include "platform/odbc_prompt.h"

namespace {

// Resource strings of the connect failures.
constexpr int kStrDbmsNotSupported = 171;
constexpr int kStrUnexpectedFailure = 173;
constexpr int kStrErrorCaption = 186;
constexpr int kStrNoConnectionHandle = 189;
constexpr int kStrDriverConnectFailed = 190;
constexpr int kStrNoStatementHandle = 191;
constexpr int kStrNoEnvironment = 193;

// The error-message buffer of SQLError: at most 199 bytes of text.
constexpr SQLSMALLINT kErrorBuffer = 200;
// Output buffer of SQLDriverConnect: the largest length it can report.
constexpr SQLSMALLINT kCompletedBuffer = 32767;

COdbcConnection::AllocHandleFn& AllocHook() {
  static COdbcConnection::AllocHandleFn hook;
  return hook;
}

// A connect failure carrying the resource string that names its cause.
struct ConnectFailure {
  int stringId;
};

// Drops an incomplete UTF-8 sequence at the end of a cut text.
void CutToUtf8Boundary(std::string& s) {
  size_t i = s.size();
  size_t back = 0;
  while (i > 0 && back < 4 && (static_cast<unsigned char>(s[i - 1]) & 0xC0) == 0x80) {
    --i;
    ++back;
  }
  if (i == 0) return;
  unsigned char lead = static_cast<unsigned char>(s[i - 1]);
  size_t need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (lead >= 0xC0 && back < need) s.resize(i - 1);
}

// End of the attribute value starting at `i` (the byte after "="): a braced
// value ends after its closing brace ("}}" is a literal brace), then at the
// next ";" or the end of the text.
// Whether a connect-string key names a password: PWD, UPWD, PASSWORD or
// PASSWD in any case, blanks and one pair of braces around it allowed.
bool IsPasswordKey(const std::string& raw) {
  std::string key = AsciiLower(TrimWhite(raw));
  if (key.size() >= 2 && key.front() == '{' && key.back() == '}') key = TrimWhite(key.substr(1, key.size() - 2));
  return key == "pwd" || key == "upwd" || key == "password" || key == "passwd";
}

size_t ValueEnd(const std::string& text, size_t i) {
  size_t p = i;
  while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
  if (p < text.size() && text[p] == '{') {
    ++p;
    while (p < text.size()) {
      if (text[p] == '}') {
        if (p + 1 < text.size() && text[p + 1] == '}') {
          p += 2;
          continue;
        }
        ++p;
        break;
      }
      ++p;
    }
  }
  size_t semi = text.find(';', p);
  return semi == std::string::npos ? text.size() : semi;
}

}  // namespace

COdbcConnection::COdbcConnection() {
  // Initial type map: field type, SQL data type; row 8 is never matched.
  static const int rows[kTypeMapRows][2] = {
      {0, 0}, {1, SQL_VARCHAR}, {2, SQL_DECIMAL}, {3, SQL_INTEGER}, {4, SQL_SMALLINT}, {5, SQL_TYPE_DATE},
      {6, SQL_SMALLINT}, {-1, 0}, {8, SQL_DOUBLE}, {37, SQL_TYPE_TIMESTAMP}, {38, SQL_TYPE_TIMESTAMP}};
  for (int i = 0; i < kTypeMapRows; ++i) m_TypeMap[i] = TypeMapEntry{rows[i][0], rows[i][1], std::string()};
}

COdbcConnection::~COdbcConnection() {
  if (m_Stmt != SQL_NULL_HSTMT && m_Db2) {
    ExecSql("values(qd2_close_session())", m_Stmt);
    SQLFreeStmt(m_Stmt, SQL_CLOSE);
    SQLFreeStmt(m_Stmt, SQL_UNBIND);
  }
  if (m_Stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, m_Stmt);
  if (m_Dbc != SQL_NULL_HDBC) {
    SQLDisconnect(m_Dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_Dbc);
  }
  if (m_Env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, m_Env);
}

void COdbcConnection::SetAllocHandleHook(AllocHandleFn hook) { AllocHook() = std::move(hook); }

SQLRETURN COdbcConnection::AllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (AllocHook()) return AllocHook()(type, input, output);
  return SQLAllocHandle(type, input, output);
}

void COdbcConnection::Reserved1() {}
int COdbcConnection::GetKind() { return 1; }
std::string& COdbcConnection::GetConnectStringRef() { return m_ConnectString; }
bool COdbcConnection::HasSpatialExtension() { return m_Extension; }
std::string COdbcConnection::GetSafeConnectString() { return m_SafeConnectString; }
bool COdbcConnection::IsOracle() { return m_Oracle; }
bool COdbcConnection::WantsSrid() { return false; }
bool COdbcConnection::IsSqlServer() { return m_MsSql; }
bool COdbcConnection::IsInformix() { return m_Informix; }
bool COdbcConnection::IsAccess() { return m_Access; }
std::string& COdbcConnection::GetLastErrorRef() { return m_LastError; }
void COdbcConnection::ClearLastError() { m_LastError.clear(); }
bool COdbcConnection::ListOwnersInto(std::string*, int*) { return false; }
bool COdbcConnection::ListTablesInto(const std::string&, std::string*, int*) { return false; }
int COdbcConnection::Reserved2() { return 0; }
bool COdbcConnection::Reserved3(void*, void*) { return false; }

void COdbcConnection::SetConnectString(const std::string& text) {
  m_ConnectString = TrimWhite(text);
  m_SafeConnectString = StripPassword(m_ConnectString);
}

std::string COdbcConnection::StripPassword(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
      // A piece without a value: kept as it is.
      size_t end = semi == std::string::npos ? text.size() : semi + 1;
      out.append(text, i, end - i);
      i = end;
      continue;
    }
    size_t end = ValueEnd(text, eq + 1);
    size_t next = end < text.size() ? end + 1 : end;  // with the ";" after the value
    if (!IsPasswordKey(text.substr(i, eq - i))) out.append(text, i, next - i);
    i = next;
  }
  return out;
}

std::string COdbcConnection::ParseUid(const std::string& text) {
  size_t at = text.find("UID=");
  if (at == std::string::npos) return std::string();
  size_t start = at + 4;
  size_t semi = text.find(';', start);
  return text.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
}

void COdbcConnection::AddToLastError(const std::string& text, bool append) {
  if (append)
    m_LastError += " " + text;
  else
    m_LastError = text + ". " + m_LastError;
}

void COdbcConnection::SetBounds(double x1, double y1, double x2, double y2) {
  m_Bounds[0] = x1;
  m_Bounds[1] = y1;
  m_Bounds[2] = x2;
  m_Bounds[3] = y2;
}

void COdbcConnection::GetBounds(double& x1, double& y1, double& x2, double& y2) const {
  x1 = m_Bounds[0];
  y1 = m_Bounds[1];
  x2 = m_Bounds[2];
  y2 = m_Bounds[3];
}

void COdbcConnection::Log(const std::string& text) {
  if (LogStream == nullptr) return;
  *LogStream << text << std::flush;
}

bool COdbcConnection::ExecSql(const std::string& sql, SQLHSTMT stmt) {
  if (LogStream != nullptr) {
    *LogStream << sql << "\n" << std::flush;
    *LogStream << "\n" << std::flush;
  }
  SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  return CheckSqlResult(rc, SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
}

bool COdbcConnection::CheckSqlResult(SQLRETURN rc, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    m_LastError.clear();
    return true;
  }
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  SQLCHAR message[kErrorBuffer] = {0};
  SQLSMALLINT length = 0;
  SQLRETURN e = SQLError(env, dbc, stmt, state, &native, message, kErrorBuffer, &length);
  if (e == SQL_SUCCESS || e == SQL_SUCCESS_WITH_INFO) {
    m_LastError.assign(reinterpret_cast<char*>(message), strnlen(reinterpret_cast<char*>(message), kErrorBuffer - 1));
    if (length >= kErrorBuffer) CutToUtf8Boundary(m_LastError);
  } else {
    m_LastError.clear();
  }
  return false;
}

bool COdbcConnection::AllocEnvironment() {
  if (m_Env != SQL_NULL_HENV) {
    SQLFreeHandle(SQL_HANDLE_ENV, m_Env);
    m_Env = SQL_NULL_HENV;
  }
  SQLHANDLE env = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) || env == SQL_NULL_HANDLE) return false;
  m_Env = env;
  return SQL_SUCCEEDED(
      SQLSetEnvAttr(m_Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
}

bool COdbcConnection::ResetStatement() {
  if (m_Stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, m_Stmt);
  m_Stmt = SQL_NULL_HSTMT;
  SQLHANDLE stmt = SQL_NULL_HANDLE;
  if (m_Dbc == SQL_NULL_HDBC || !SQL_SUCCEEDED(AllocHandle(SQL_HANDLE_STMT, m_Dbc, &stmt)) ||
      stmt == SQL_NULL_HANDLE) {
    m_LastError = LoadResString(kStrNoStatementHandle);
    return false;
  }
  m_Stmt = stmt;
  return true;
}

bool COdbcConnection::Connect(const std::string&) {
  std::string input = m_ConnectString;
  if (input.empty()) {
    // No connect string: the user picks a data source; cancelling is the
    // same as cancelling the driver's prompt.
    std::optional<std::string> chosen = platform::PromptDataSource(ParentWindow);
    if (!chosen) return false;
    input = *chosen;
  }
  SQLHANDLE newDbc = SQL_NULL_HANDLE;
  SQLHANDLE newStmt = SQL_NULL_HANDLE;
  auto releaseNew = [&](bool connected) {
    if (newStmt != SQL_NULL_HANDLE) SQLFreeHandle(SQL_HANDLE_STMT, newStmt);
    if (newDbc != SQL_NULL_HANDLE) {
      if (connected) SQLDisconnect(newDbc);
      SQLFreeHandle(SQL_HANDLE_DBC, newDbc);
    }
    newStmt = newDbc = SQL_NULL_HANDLE;
  };
  DetectionState before;
  SaveDetection(before);
  bool connected = false;
  int failure = 0;
  std::string completed;
  try {
    if (m_Env == SQL_NULL_HENV && !AllocEnvironment()) throw ConnectFailure{kStrNoEnvironment};
    if (!SQL_SUCCEEDED(AllocHandle(SQL_HANDLE_DBC, m_Env, &newDbc)) || newDbc == SQL_NULL_HANDLE) {
      newDbc = SQL_NULL_HANDLE;
      CheckSqlResult(SQL_ERROR, m_Env, SQL_NULL_HDBC, SQL_NULL_HSTMT);
      throw ConnectFailure{kStrNoConnectionHandle};
    }
    // The whole connect string goes in; the completed one comes back in a
    // buffer as large as any length the driver can report.
    std::vector<SQLCHAR> out(static_cast<size_t>(kCompletedBuffer) + 1, 0);
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnect(newDbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(input.c_str())),
                                    SQL_NTS, out.data(), kCompletedBuffer, &outLength, SQL_DRIVER_NOPROMPT);
    if (rc == SQL_NO_DATA) {
      releaseNew(false);
      return false;
    }
    if (!CheckSqlResult(rc, m_Env, newDbc, SQL_NULL_HSTMT)) throw ConnectFailure{kStrDriverConnectFailed};
    connected = true;
    completed.assign(reinterpret_cast<char*>(out.data()),
                     strnlen(reinterpret_cast<char*>(out.data()), static_cast<size_t>(kCompletedBuffer)));
    SQLSetConnectAttr(newDbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_WRITE), 0);
    if (!SQL_SUCCEEDED(AllocHandle(SQL_HANDLE_STMT, newDbc, &newStmt)) || newStmt == SQL_NULL_HANDLE) {
      newStmt = SQL_NULL_HANDLE;
      CheckSqlResult(SQL_ERROR, SQL_NULL_HENV, newDbc, SQL_NULL_HSTMT);
      throw ConnectFailure{kStrNoStatementHandle};
    }
    if (!DetectDbms(newDbc, newStmt)) throw ConnectFailure{kStrNoStatementHandle};
    if (!m_Informix && !m_Db2 && !m_Oracle && !m_Access && !m_MsSql && !m_SqlServerOther) {
      const std::string named = "The driver names it \"" + m_DriverDbmsName + "\"";
      m_LastError = m_LastError.empty() ? named : named + ". " + m_LastError;
      throw ConnectFailure{kStrDbmsNotSupported};
    }
  } catch (const ConnectFailure& f) {
    failure = f.stringId;
  } catch (const std::exception&) {
    failure = kStrUnexpectedFailure;
  }
  if (failure != 0) {
    // A refused attempt leaves the earlier connection as it was.
    RestoreDetection(before);
    SetConnectString(std::string());
    releaseNew(connected);
    std::string text = LoadResString(failure) + ".\n\n" + m_LastError;
    if (!Quiet) upload::ShowBox(kStrErrorCaption, text, upload::BoxIcon::Error, false);
    Log("\n\n" + text + "\n");
    return false;
  }
  if (m_Dbc != SQL_NULL_HDBC) {
    if (m_Stmt != SQL_NULL_HSTMT) {
      if (before.db2) {
        ExecSql("values(qd2_close_session())", m_Stmt);
        SQLFreeStmt(m_Stmt, SQL_CLOSE);
        SQLFreeStmt(m_Stmt, SQL_UNBIND);
      }
      SQLFreeHandle(SQL_HANDLE_STMT, m_Stmt);
    }
    SQLDisconnect(m_Dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_Dbc);
  }
  m_Dbc = newDbc;
  m_Stmt = newStmt;
  if (m_Db2) {
    if (!ExecSql("set current function path sysibm, syscat, QD2SCH", m_Stmt)) Log(m_LastError + "\n");
    SQLFreeStmt(m_Stmt, SQL_CLOSE);
    SQLFreeStmt(m_Stmt, SQL_UNBIND);
  }
  ReadServerInfo();
  ApplyTypeNames();
  if (m_Informix) {
    std::string uid = ParseUid(completed);
    if (!uid.empty() && !EqualsNoCase(uid, UserName)) UserName = uid;
  }
  SetConnectString(std::string());
  m_SafeConnectString = StripPassword(completed);
  return true;
}
