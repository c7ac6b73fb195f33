// ODBC 3 entry points of the test driver libqltestodbc.so. Every call on a
// connection or statement is written to the connection's TRACE file.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "exec.h"
#include "sqltext.h"
#include "values.h"

#define QL_EXPORT extern "C" __attribute__((visibility("default")))

using namespace qltestodbc;

namespace {

std::mutex gMutex;
std::unordered_map<const void*, HKind> gHandles;
long gEnvSeq = 0, gDbcSeq = 0;

void Register(Handle* h) {
  std::lock_guard<std::mutex> lock(gMutex);
  gHandles[h] = h->kind;
}
void Unregister(Handle* h) {
  std::lock_guard<std::mutex> lock(gMutex);
  gHandles.erase(h);
}
template <class T>
T* As(SQLHANDLE h, HKind kind) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gHandles.find(h);
  if (!h || it == gHandles.end() || it->second != kind) return nullptr;
  return static_cast<T*>(static_cast<Handle*>(h));
}
Handle* AnyHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV: return As<Env>(h, HKind::Env);
    case SQL_HANDLE_DBC: return As<Dbc>(h, HKind::Dbc);
    case SQL_HANDLE_STMT: return As<Stmt>(h, HKind::Stmt);
    default: return nullptr;
  }
}

std::optional<std::string> Text(SQLCHAR* p, SQLINTEGER len) {
  if (!p) return std::nullopt;
  if (len == SQL_NTS) return std::string(reinterpret_cast<char*>(p));
  if (len < 0) return std::string();
  return std::string(reinterpret_cast<char*>(p), static_cast<size_t>(len));
}

// Copies a text answer with truncation (01004) into a character buffer.
SQLRETURN PutText(Handle* h, const std::string& value, SQLPOINTER out, SQLLEN cap, SQLLEN* len) {
  if (len) *len = static_cast<SQLLEN>(value.size());
  if (!out || cap <= 0) return value.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
  size_t n = std::min(value.size(), static_cast<size_t>(cap - 1));
  std::memcpy(out, value.data(), n);
  static_cast<char*>(out)[n] = 0;
  if (n < value.size()) {
    AddDiag(h, "01004", "string data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}
SQLRETURN PutText16(Handle* h, const std::string& value, SQLPOINTER out, SQLSMALLINT cap, SQLSMALLINT* len) {
  SQLLEN l = 0;
  SQLRETURN rc = PutText(h, value, out, cap, &l);
  if (len) *len = static_cast<SQLSMALLINT>(std::min<SQLLEN>(l, 32767));
  return rc;
}

JsonLine Call(const char* fn, Handle* h) {
  JsonLine j;
  j.Str("fn", fn).Str("h", h->name);
  return j;
}

Dbc* DbcOf(Handle* h) {
  if (h->kind == HKind::Dbc) return static_cast<Dbc*>(h);
  if (h->kind == HKind::Stmt) return static_cast<Stmt*>(h)->dbc;
  return nullptr;
}

SQLRETURN Traced(Handle* h, JsonLine& j, SQLRETURN rc) {
  TraceCall(DbcOf(h), h, j, rc);
  return rc;
}

// Refuses a statement call: one diagnostic, the call traced as an error.
SQLRETURN Refuse(Stmt* s, JsonLine& j, const char* state, const std::string& text) {
  AddDiag(s, state, text);
  return Traced(s, j, SQL_ERROR);
}

// SQL_IDENTIFIER_CASE answers by name: upper, lower, sensitive, mixed.
SQLUSMALLINT CaseCode(const std::string& name) {
  if (name == "upper") return SQL_IC_UPPER;
  if (name == "lower") return SQL_IC_LOWER;
  if (name == "sensitive") return SQL_IC_SENSITIVE;
  return SQL_IC_MIXED;
}

const char* InfoName(SQLUSMALLINT t) {
  switch (t) {
    case SQL_DBMS_NAME: return "SQL_DBMS_NAME";
    case SQL_DBMS_VER: return "SQL_DBMS_VER";
    case SQL_DRIVER_VER: return "SQL_DRIVER_VER";
    case SQL_DATABASE_NAME: return "SQL_DATABASE_NAME";
    case SQL_USER_NAME: return "SQL_USER_NAME";
    case SQL_DRIVER_ODBC_VER: return "SQL_DRIVER_ODBC_VER";
    case SQL_CURSOR_COMMIT_BEHAVIOR: return "SQL_CURSOR_COMMIT_BEHAVIOR";
    case SQL_CURSOR_ROLLBACK_BEHAVIOR: return "SQL_CURSOR_ROLLBACK_BEHAVIOR";
    case SQL_IDENTIFIER_QUOTE_CHAR: return "SQL_IDENTIFIER_QUOTE_CHAR";
    case SQL_DRIVER_NAME: return "SQL_DRIVER_NAME";
    case SQL_DATA_SOURCE_NAME: return "SQL_DATA_SOURCE_NAME";
    case SQL_IDENTIFIER_CASE: return "SQL_IDENTIFIER_CASE";
    case SQL_QUOTED_IDENTIFIER_CASE: return "SQL_QUOTED_IDENTIFIER_CASE";
    case SQL_CATALOG_USAGE: return "SQL_CATALOG_USAGE";
    case SQL_CATALOG_LOCATION: return "SQL_CATALOG_LOCATION";
    case SQL_CATALOG_NAME_SEPARATOR: return "SQL_CATALOG_NAME_SEPARATOR";
    case SQL_SCHEMA_USAGE: return "SQL_SCHEMA_USAGE";
    default: return nullptr;
  }
}

const char* AttrName(SQLINTEGER a) {
  switch (a) {
    case SQL_ATTR_AUTOCOMMIT: return "SQL_ATTR_AUTOCOMMIT";
    case SQL_ATTR_ACCESS_MODE: return "SQL_ATTR_ACCESS_MODE";
    case SQL_ATTR_CONCURRENCY: return "SQL_ATTR_CONCURRENCY";
    case SQL_ATTR_LOGIN_TIMEOUT: return "SQL_ATTR_LOGIN_TIMEOUT";
    case SQL_ATTR_CURSOR_TYPE: return "SQL_ATTR_CURSOR_TYPE";
    case SQL_ATTR_QUERY_TIMEOUT: return "SQL_ATTR_QUERY_TIMEOUT";
    default: return nullptr;
  }
}

void AttrFields(JsonLine& j, SQLINTEGER a) {
  if (const char* n = AttrName(a))
    j.Str("attr", n);
  else
    j.Num("attr", a);
}

void FreeStmt(Stmt* s) {
  s->dbc->stmts.erase(s);
  for (Desc& d : s->descs) Unregister(&d);
  Unregister(s);
  delete s;
}

}  // namespace

// ---------------------------------------------------------------- handles

QL_EXPORT SQLRETURN SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (!output) return SQL_ERROR;
  switch (type) {
    case SQL_HANDLE_ENV: {
      Env* e = new Env;
      {
        std::lock_guard<std::mutex> lock(gMutex);
        e->name = "e" + std::to_string(++gEnvSeq);
      }
      Register(e);
      *output = e;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
      Env* e = As<Env>(input, HKind::Env);
      if (!e) return SQL_INVALID_HANDLE;
      e->diags.clear();
      Dbc* d = new Dbc;
      d->env = e;
      {
        std::lock_guard<std::mutex> lock(gMutex);
        d->name = "c" + std::to_string(++gDbcSeq);
      }
      e->dbcs.insert(d);
      Register(d);
      *output = d;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      Dbc* d = As<Dbc>(input, HKind::Dbc);
      if (!d) return SQL_INVALID_HANDLE;
      d->diags.clear();
      JsonLine j = Call("SQLAllocHandle", d);
      j.Str("type", "stmt");
      if (!d->connected) {
        AddDiag(d, "08003", "connection not open");
        *output = SQL_NULL_HSTMT;
        return Traced(d, j, SQL_ERROR);
      }
      if (FailFires(d, "alloc:stmt", "stmt")) {
        AddDiag(d, "HY001", "injected failure: alloc:stmt");
        *output = SQL_NULL_HSTMT;
        return Traced(d, j, SQL_ERROR);
      }
      Stmt* s = new Stmt;
      s->dbc = d;
      s->name = d->name + ".s" + std::to_string(++d->stmtSeq);
      for (Desc& desc : s->descs) Register(&desc);
      d->stmts.insert(s);
      Register(s);
      *output = s;
      j.Str("new", s->name);
      return Traced(d, j, SQL_SUCCESS);
    }
    default:
      return SQL_ERROR;
  }
}

QL_EXPORT SQLRETURN SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV: {
      Env* e = As<Env>(h, HKind::Env);
      if (!e) return SQL_INVALID_HANDLE;
      if (!e->dbcs.empty()) {
        AddDiag(e, "HY010", "connections still allocated");
        return SQL_ERROR;
      }
      Unregister(e);
      delete e;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
      Dbc* d = As<Dbc>(h, HKind::Dbc);
      if (!d) return SQL_INVALID_HANDLE;
      JsonLine j = Call("SQLFreeHandle", d);
      if (d->connected) {
        AddDiag(d, "HY010", "connection still open");
        return Traced(d, j, SQL_ERROR);
      }
      TraceCall(d, d, j, SQL_SUCCESS);
      d->env->dbcs.erase(d);
      Unregister(d);
      delete d;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      Stmt* s = As<Stmt>(h, HKind::Stmt);
      if (!s) return SQL_INVALID_HANDLE;
      JsonLine j = Call("SQLFreeHandle", s);
      TraceCall(s->dbc, s, j, SQL_SUCCESS);
      FreeStmt(s);
      return SQL_SUCCESS;
    }
    default:
      return SQL_ERROR;
  }
}

QL_EXPORT SQLRETURN SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLFreeStmt", s);
  switch (option) {
    case SQL_CLOSE: j.Str("opt", "close"); CloseCursor(s); break;
    case SQL_UNBIND: j.Str("opt", "unbind"); s->cols.clear(); break;
    case SQL_RESET_PARAMS: j.Str("opt", "reset_params"); s->params.clear(); break;
    case SQL_DROP:
      j.Str("opt", "drop");
      TraceCall(s->dbc, s, j, SQL_SUCCESS);
      FreeStmt(s);
      return SQL_SUCCESS;
    default:
      return Refuse(s, j, "HY092", "invalid option");
  }
  return Traced(s, j, SQL_SUCCESS);
}

QL_EXPORT SQLRETURN SQLCloseCursor(SQLHSTMT h) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLCloseCursor", s);
  if (!s->open) {
    return Refuse(s, j, "24000", "invalid cursor state");
  }
  CloseCursor(s);
  return Traced(s, j, SQL_SUCCESS);
}

QL_EXPORT SQLRETURN SQLCancel(SQLHSTMT h) {
  return As<Stmt>(h, HKind::Stmt) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
}

// ---------------------------------------------------------------- attributes

QL_EXPORT SQLRETURN SQLSetEnvAttr(SQLHENV h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Env* e = As<Env>(h, HKind::Env);
  if (!e) return SQL_INVALID_HANDLE;
  e->diags.clear();
  if (attr == SQL_ATTR_ODBC_VERSION) e->odbcVersion = static_cast<SQLINTEGER>(reinterpret_cast<SQLLEN>(value));
  return SQL_SUCCESS;
}

QL_EXPORT SQLRETURN SQLGetEnvAttr(SQLHENV h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER* len) {
  Env* e = As<Env>(h, HKind::Env);
  if (!e) return SQL_INVALID_HANDLE;
  e->diags.clear();
  SQLINTEGER v = attr == SQL_ATTR_ODBC_VERSION ? e->odbcVersion : 0;
  if (value) std::memcpy(value, &v, sizeof v);
  if (len) *len = sizeof v;
  return SQL_SUCCESS;
}

QL_EXPORT SQLRETURN SQLSetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Dbc* d = As<Dbc>(h, HKind::Dbc);
  if (!d) return SQL_INVALID_HANDLE;
  d->diags.clear();
  JsonLine j = Call("SQLSetConnectAttr", d);
  AttrFields(j, attr);
  SQLULEN v = reinterpret_cast<SQLULEN>(value);
  SQLRETURN rc = SQL_SUCCESS;
  if (attr == SQL_ATTR_AUTOCOMMIT) {
    j.Num("value", static_cast<long long>(v));
    bool on = v == SQL_AUTOCOMMIT_ON;
    // Switching autocommit on commits the open transaction.
    if (on && d->connected) rc = EndTransaction(d, true);
    if (rc == SQL_SUCCESS) d->autocommit = on;
  } else if (AttrName(attr)) {
    j.Num("value", static_cast<long long>(v));
  }
  return Traced(d, j, rc);
}

QL_EXPORT SQLRETURN SQLGetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER* len) {
  Dbc* d = As<Dbc>(h, HKind::Dbc);
  if (!d) return SQL_INVALID_HANDLE;
  d->diags.clear();
  SQLUINTEGER v = 0;
  if (attr == SQL_ATTR_AUTOCOMMIT) v = d->autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  if (value) std::memcpy(value, &v, sizeof v);
  if (len) *len = sizeof v;
  return SQL_SUCCESS;
}

QL_EXPORT SQLRETURN SQLSetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLSetStmtAttr", s);
  AttrFields(j, attr);
  j.Num("value", static_cast<long long>(reinterpret_cast<SQLULEN>(value)));
  s->attrs[attr] = reinterpret_cast<SQLULEN>(value);
  return Traced(s, j, SQL_SUCCESS);
}

QL_EXPORT SQLRETURN SQLGetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER* len) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  if (attr == SQL_ATTR_APP_ROW_DESC || attr == SQL_ATTR_APP_PARAM_DESC || attr == SQL_ATTR_IMP_ROW_DESC ||
      attr == SQL_ATTR_IMP_PARAM_DESC) {
    SQLHANDLE d = &s->descs[attr - SQL_ATTR_APP_ROW_DESC];
    if (value) std::memcpy(value, &d, sizeof d);
    if (len) *len = sizeof d;
    return SQL_SUCCESS;
  }
  SQLULEN v = s->attrs.count(attr) ? s->attrs[attr] : 0;
  if (value) std::memcpy(value, &v, sizeof v);
  if (len) *len = sizeof v;
  return SQL_SUCCESS;
}

// ---------------------------------------------------------------- connection

QL_EXPORT SQLRETURN SQLDriverConnect(SQLHDBC h, SQLHWND, SQLCHAR* in, SQLSMALLINT inLen, SQLCHAR* out,
                                     SQLSMALLINT outCap, SQLSMALLINT* outLen, SQLUSMALLINT completion) {
  Dbc* d = As<Dbc>(h, HKind::Dbc);
  if (!d) return SQL_INVALID_HANDLE;
  d->diags.clear();
  if (d->connected) {
    AddDiag(d, "08002", "connection name in use");
    return SQL_ERROR;
  }
  std::string input = Text(in, inLen).value_or("");
  JsonLine j = Call("SQLDriverConnect", d);
  SQLRETURN rc = ConnectDbc(d, input, j);
  j.Num("completion", completion);
  if (rc == SQL_SUCCESS) {
    // The completed string echoes the input.
    SQLLEN full = 0;
    rc = PutText(d, input, out, outCap, &full);
    if (outLen) *outLen = static_cast<SQLSMALLINT>(std::min<SQLLEN>(full, 32767));
  } else if (rc != SQL_SUCCESS_WITH_INFO) {
    CloseDbc(d);
  }
  return Traced(d, j, rc);
}

QL_EXPORT SQLRETURN SQLConnect(SQLHDBC h, SQLCHAR* dsn, SQLSMALLINT dsnLen, SQLCHAR* uid, SQLSMALLINT uidLen,
                               SQLCHAR* pwd, SQLSMALLINT pwdLen) {
  Dbc* d = As<Dbc>(h, HKind::Dbc);
  if (!d) return SQL_INVALID_HANDLE;
  d->diags.clear();
  std::string s = "DSN=" + Text(dsn, dsnLen).value_or("") + ";UID=" + Text(uid, uidLen).value_or("") +
                  ";PWD=" + Text(pwd, pwdLen).value_or("");
  JsonLine j = Call("SQLConnect", d);
  SQLRETURN rc = ConnectDbc(d, s, j);
  if (rc != SQL_SUCCESS) CloseDbc(d);
  return Traced(d, j, rc);
}

QL_EXPORT SQLRETURN SQLDisconnect(SQLHDBC h) {
  Dbc* d = As<Dbc>(h, HKind::Dbc);
  if (!d) return SQL_INVALID_HANDLE;
  d->diags.clear();
  JsonLine j = Call("SQLDisconnect", d);
  std::string trace = d->trace;
  while (!d->stmts.empty()) FreeStmt(*d->stmts.begin());
  CloseDbc(d);
  if (!trace.empty()) {
    j.Num("rc", SQL_SUCCESS);
    AppendTrace(trace, j.Close());
  }
  return SQL_SUCCESS;
}

QL_EXPORT SQLRETURN SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT cap, SQLSMALLINT* len) {
  Dbc* d = As<Dbc>(h, HKind::Dbc);
  if (!d) return SQL_INVALID_HANDLE;
  d->diags.clear();
  JsonLine j = Call("SQLGetInfo", d);
  const char* name = InfoName(type);
  std::string subject = name ? name : "info" + std::to_string(type);
  j.Str("info", subject);
  if (FailFires(d, "getinfo", subject)) {
    AddDiag(d, "HY000", "injected failure: getinfo");
    return Traced(d, j, SQL_ERROR);
  }
  auto text = [&](const std::string& v) {
    j.Str("value", v);
    return Traced(d, j, PutText16(d, v, value, cap, len));
  };
  auto num16 = [&](SQLUSMALLINT v) {
    j.Num("value", v);
    if (value) std::memcpy(value, &v, sizeof v);
    if (len) *len = sizeof v;
    return Traced(d, j, SQL_SUCCESS);
  };
  auto num32 = [&](SQLUINTEGER v) {
    j.Num("value", v);
    if (value) std::memcpy(value, &v, sizeof v);
    if (len) *len = sizeof v;
    return Traced(d, j, SQL_SUCCESS);
  };
  switch (type) {
    case SQL_DBMS_NAME: return text(d->Attr("DBMS", "SQLite"));
    case SQL_DBMS_VER: return text(d->Attr("DBMSVER", "01.00.0000"));
    case SQL_DRIVER_VER: return text(d->Attr("DRIVERVER", "03.00.0000"));
    case SQL_DATABASE_NAME: return text(d->Attr("DATABASE", "testdb"));
    case SQL_USER_NAME: return text(d->Attr("DBUSER", d->Attr("UID")));
    case SQL_DRIVER_ODBC_VER: return text("03.00");
    case SQL_DRIVER_NAME: return text("libqltestodbc.so");
    case SQL_IDENTIFIER_QUOTE_CHAR: return text(d->Attr("QUOTE", "\""));
    case SQL_CURSOR_COMMIT_BEHAVIOR:
    case SQL_CURSOR_ROLLBACK_BEHAVIOR: return num16(SQL_CB_PRESERVE);
    case SQL_DATA_SOURCE_NAME: return text(d->Attr("DSN"));
    case SQL_IDENTIFIER_CASE: return num16(CaseCode(d->Attr("IDCASE", "mixed")));
    case SQL_QUOTED_IDENTIFIER_CASE: return num16(CaseCode(d->Attr("QIDCASE", "sensitive")));
    case SQL_CATALOG_LOCATION: return num16(d->Attr("CATLOC", "start") == "end" ? SQL_CL_END : SQL_CL_START);
    case SQL_CATALOG_NAME_SEPARATOR: return text(d->Attr("CATSEP", "."));
    case SQL_CATALOG_USAGE:
      return num32(d->Attr("CATUSE", "0") == "1" ? SQL_CU_DML_STATEMENTS | SQL_CU_TABLE_DEFINITION : 0);
    case SQL_SCHEMA_USAGE:
      return num32(d->Attr("SCHEMAUSE", "1") == "1" ? SQL_SU_DML_STATEMENTS | SQL_SU_TABLE_DEFINITION : 0);
    default:
      AddDiag(d, "HY096", "information type out of range");
      return Traced(d, j, SQL_ERROR);
  }
}

QL_EXPORT SQLRETURN SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
  std::vector<Dbc*> targets;
  if (type == SQL_HANDLE_DBC) {
    Dbc* d = As<Dbc>(h, HKind::Dbc);
    if (!d) return SQL_INVALID_HANDLE;
    targets.push_back(d);
  } else if (type == SQL_HANDLE_ENV) {
    Env* e = As<Env>(h, HKind::Env);
    if (!e) return SQL_INVALID_HANDLE;
    targets.assign(e->dbcs.begin(), e->dbcs.end());
  } else {
    return SQL_ERROR;
  }
  SQLRETURN result = SQL_SUCCESS;
  for (Dbc* d : targets) {
    d->diags.clear();
    JsonLine j = Call("SQLEndTran", d);
    j.Str("op", completion == SQL_COMMIT ? "commit" : "rollback");
    SQLRETURN rc = d->connected ? EndTransaction(d, completion == SQL_COMMIT) : SQL_SUCCESS;
    if (rc != SQL_SUCCESS) result = rc;
    Traced(d, j, rc);
  }
  return result;
}

QL_EXPORT SQLRETURN SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
  if (dbc) return SQLEndTran(SQL_HANDLE_DBC, dbc, static_cast<SQLSMALLINT>(completion));
  return SQLEndTran(SQL_HANDLE_ENV, env, static_cast<SQLSMALLINT>(completion));
}

// ---------------------------------------------------------------- statements

QL_EXPORT SQLRETURN SQLExecDirect(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLExecDirect", s);
  s->isPrepared = false;
  if (!text) {
    return Refuse(s, j, "HY009", "invalid use of null pointer");
  }
  return Traced(s, j, RunStatement(s, *Text(text, len), j));
}

QL_EXPORT SQLRETURN SQLPrepare(SQLHSTMT h, SQLCHAR* text, SQLINTEGER len) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLPrepare", s);
  if (!text) {
    return Refuse(s, j, "HY009", "invalid use of null pointer");
  }
  CloseCursor(s);
  s->prepared = *Text(text, len);
  s->isPrepared = true;
  j.Str("sql", s->prepared);
  return Traced(s, j, SQL_SUCCESS);
}

QL_EXPORT SQLRETURN SQLExecute(SQLHSTMT h) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLExecute", s);
  if (!s->isPrepared) {
    return Refuse(s, j, "HY010", "function sequence error: no prepared statement");
  }
  return Traced(s, j, RunStatement(s, s->prepared, j));
}

QL_EXPORT SQLRETURN SQLBindParameter(SQLHSTMT h, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT ctype,
                                     SQLSMALLINT sqltype, SQLULEN size, SQLSMALLINT decimals, SQLPOINTER ptr,
                                     SQLLEN buflen, SQLLEN* ind) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLBindParameter", s);
  j.Num("n", n).Num("c", ctype).Num("t", sqltype).Num("size", static_cast<long long>(size)).Num("dec", decimals);
  if (n == 0) {
    return Refuse(s, j, "07009", "invalid descriptor index");
  }
  if (FailFires(s->dbc, "bind", std::to_string(n))) {
    return Refuse(s, j, "HY000", "injected failure: bind");
  }
  s->params[n] = Param{io, ctype, sqltype, size, decimals, ptr, buflen, ind};
  return Traced(s, j, SQL_SUCCESS);
}

QL_EXPORT SQLRETURN SQLNumParams(SQLHSTMT h, SQLSMALLINT* count) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  SQLSMALLINT n = 0;
  for (const Token& t : Tokenize(s->prepared))
    if (t.kind == TokKind::Param) ++n;
  if (count) *count = n;
  return SQL_SUCCESS;
}

QL_EXPORT SQLRETURN SQLMoreResults(SQLHSTMT h) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  CloseCursor(s);
  return SQL_NO_DATA;
}

QL_EXPORT SQLRETURN SQLRowCount(SQLHSTMT h, SQLLEN* count) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  if (count) *count = s->rowCount;
  return SQL_SUCCESS;
}

QL_EXPORT SQLRETURN SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  if (count) *count = static_cast<SQLSMALLINT>(s->open ? s->rs.names.size() : 0);
  return SQL_SUCCESS;
}

QL_EXPORT SQLRETURN SQLDescribeCol(SQLHSTMT h, SQLUSMALLINT col, SQLCHAR* name, SQLSMALLINT cap, SQLSMALLINT* nameLen,
                                   SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* decimals, SQLSMALLINT* nullable) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  if (!s->open || col == 0 || col > s->rs.names.size()) {
    AddDiag(s, "07009", "invalid descriptor index");
    return SQL_ERROR;
  }
  if (type) *type = s->rs.types[col - 1];
  if (size) *size = ColumnSize(s->rs, col - 1);
  if (decimals) *decimals = ColumnScale(s->rs, col - 1);
  if (nullable) *nullable = SQL_NULLABLE_UNKNOWN;
  return PutText16(s, s->rs.names[col - 1], name, cap, nameLen);
}

QL_EXPORT SQLRETURN SQLColAttribute(SQLHSTMT h, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER charAttr,
                                    SQLSMALLINT cap, SQLSMALLINT* len, SQLLEN* numAttr) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  if (field == SQL_DESC_COUNT) {
    if (numAttr) *numAttr = static_cast<SQLLEN>(s->open ? s->rs.names.size() : 0);
    return SQL_SUCCESS;
  }
  if (!s->open || col == 0 || col > s->rs.names.size()) {
    AddDiag(s, "07009", "invalid descriptor index");
    return SQL_ERROR;
  }
  switch (field) {
    case SQL_DESC_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME:
      return PutText16(s, s->rs.names[col - 1], charAttr, cap, len);
    case SQL_DESC_TYPE:
    case SQL_DESC_CONCISE_TYPE:
      if (numAttr) *numAttr = s->rs.types[col - 1];
      return SQL_SUCCESS;
    case SQL_DESC_LENGTH:
    case SQL_DESC_DISPLAY_SIZE:
    case SQL_DESC_OCTET_LENGTH:
    case SQL_DESC_PRECISION:
      if (numAttr) *numAttr = static_cast<SQLLEN>(ColumnSize(s->rs, col - 1));
      return SQL_SUCCESS;
    case SQL_DESC_SCALE:
      if (numAttr) *numAttr = ColumnScale(s->rs, col - 1);
      return SQL_SUCCESS;
    case SQL_DESC_NULLABLE:
      if (numAttr) *numAttr = SQL_NULLABLE_UNKNOWN;
      return SQL_SUCCESS;
    default:
      if (numAttr) *numAttr = 0;
      return PutText16(s, "", charAttr, cap, len);
  }
}

QL_EXPORT SQLRETURN SQLBindCol(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER ptr, SQLLEN buflen,
                               SQLLEN* ind) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLBindCol", s);
  j.Num("col", col).Num("c", ctype).Num("len", static_cast<long long>(buflen));
  if (col == 0) {
    return Refuse(s, j, "07009", "invalid descriptor index");
  }
  if (!ptr)
    s->cols.erase(col);
  else
    s->cols[col] = ColBind{ctype, ptr, buflen, ind};
  return Traced(s, j, SQL_SUCCESS);
}

namespace {

// Moves the cursor to row `target` (-1 before the first, the row count
// after the last) and fills the bound columns of that row.
SQLRETURN FetchRow(Stmt* s, JsonLine& j, long target) {
  const long count = static_cast<long>(s->rs.rows.size());
  if (target < 0 || target >= count) {
    s->cursor = target < 0 ? -1 : count;
    return Traced(s, j, SQL_NO_DATA);
  }
  s->cursor = target;
  s->getDataCol = 0;
  s->getDataOffset = 0;
  s->getDataDone = false;
  const std::vector<Value>& row = s->rs.rows[static_cast<size_t>(s->cursor)];
  std::string cells;
  for (const Value& v : row) {
    if (!cells.empty()) cells += ',';
    cells += ValueJson(v);
  }
  j.Raw("row", "[" + cells + "]");
  SQLRETURN rc = SQL_SUCCESS;
  for (auto& [col, b] : s->cols) {
    if (static_cast<size_t>(col) > row.size()) {
      return Refuse(s, j, "07009", "bound column " + std::to_string(col) + " is beyond the result");
    }
    std::string state, error;
    SQLRETURN r = WriteValue(row[col - 1], b.ctype, b.ptr, b.buflen, b.ind, nullptr, &state, &error);
    if (r == SQL_ERROR) {
      AddDiag(s, state, error);
      return Traced(s, j, SQL_ERROR);
    }
    if (r == SQL_SUCCESS_WITH_INFO) {
      AddDiag(s, state, error);
      rc = SQL_SUCCESS_WITH_INFO;
    }
  }
  return Traced(s, j, rc);
}

}  // namespace

QL_EXPORT SQLRETURN SQLFetch(SQLHSTMT h) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLFetch", s);
  if (!s->open) {
    return Refuse(s, j, "24000", "invalid cursor state");
  }
  return FetchRow(s, j, s->cursor + 1);
}

// Static cursors move in every direction; forward-only ones (the default)
// only to the next row.
QL_EXPORT SQLRETURN SQLFetchScroll(SQLHSTMT h, SQLSMALLINT orientation, SQLLEN offset) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLFetchScroll", s);
  const char* dirs[] = {"", "next", "first", "last", "prior", "absolute", "relative", "", "bookmark"};
  j.Str("dir", orientation >= 1 && orientation <= 8 ? std::string(dirs[orientation]) : std::to_string(orientation));
  if (orientation != SQL_FETCH_NEXT) j.Num("offset", static_cast<long long>(offset));
  if (!s->open) {
    return Refuse(s, j, "24000", "invalid cursor state");
  }
  const auto type = s->attrs.count(SQL_ATTR_CURSOR_TYPE) ? s->attrs[SQL_ATTR_CURSOR_TYPE] : SQL_CURSOR_FORWARD_ONLY;
  if (orientation != SQL_FETCH_NEXT && type == SQL_CURSOR_FORWARD_ONLY) {
    return Refuse(s, j, "HY106", "fetch type out of range");
  }
  const long count = static_cast<long>(s->rs.rows.size());
  switch (orientation) {
    case SQL_FETCH_NEXT: return FetchRow(s, j, s->cursor + 1);
    case SQL_FETCH_PRIOR: return FetchRow(s, j, s->cursor - 1);
    case SQL_FETCH_FIRST: return FetchRow(s, j, 0);
    case SQL_FETCH_LAST: return FetchRow(s, j, count - 1);
    case SQL_FETCH_ABSOLUTE: return FetchRow(s, j, offset > 0 ? static_cast<long>(offset) - 1 : count + offset);
    case SQL_FETCH_RELATIVE: return FetchRow(s, j, s->cursor + static_cast<long>(offset));
    default: return Refuse(s, j, "HY106", "fetch type out of range");
  }
}

QL_EXPORT SQLRETURN SQLGetData(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER ptr, SQLLEN buflen,
                               SQLLEN* ind) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  if (!s->open || s->cursor < 0 || s->cursor >= static_cast<long>(s->rs.rows.size())) {
    AddDiag(s, "24000", "invalid cursor state");
    return SQL_ERROR;
  }
  const std::vector<Value>& row = s->rs.rows[static_cast<size_t>(s->cursor)];
  if (col == 0 || col > row.size()) {
    AddDiag(s, "07009", "invalid descriptor index");
    return SQL_ERROR;
  }
  if (s->getDataCol != col) {
    s->getDataCol = col;
    s->getDataOffset = 0;
    s->getDataDone = false;
  } else if (s->getDataDone) {
    return SQL_NO_DATA;
  }
  std::string state, error;
  SQLRETURN rc = WriteValue(row[col - 1], ctype, ptr, buflen, ind, &s->getDataOffset, &state, &error);
  if (rc != SQL_SUCCESS) AddDiag(s, state, error);
  if (rc == SQL_SUCCESS) s->getDataDone = true;
  return rc;
}

// ---------------------------------------------------------------- catalogue

namespace {

void CatalogArgs(JsonLine& j, const std::vector<std::optional<std::string>>& args) {
  std::string a;
  for (auto& v : args) {
    if (!a.empty()) a += ',';
    a += v ? JsonLine::Quote(*v) : std::string("null");
  }
  j.Raw("args", "[" + a + "]");
}

}  // namespace

QL_EXPORT SQLRETURN SQLTables(SQLHSTMT h, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* schema, SQLSMALLINT schemaLen,
                              SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* type, SQLSMALLINT typeLen) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLTables", s);
  auto c = Text(cat, catLen), sc = Text(schema, schemaLen), t = Text(table, tableLen), ty = Text(type, typeLen);
  CatalogArgs(j, {c, sc, t, ty});
  SQLRETURN rc = CatalogTables(s, c, sc, t, ty);
  j.Num("rows", static_cast<long long>(s->rs.rows.size()));
  return Traced(s, j, rc);
}

QL_EXPORT SQLRETURN SQLColumns(SQLHSTMT h, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* schema, SQLSMALLINT schemaLen,
                               SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* column, SQLSMALLINT columnLen) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLColumns", s);
  auto c = Text(cat, catLen), sc = Text(schema, schemaLen), t = Text(table, tableLen), co = Text(column, columnLen);
  CatalogArgs(j, {c, sc, t, co});
  SQLRETURN rc = CatalogColumns(s, sc, t, co);
  j.Num("rows", static_cast<long long>(s->rs.rows.size()));
  return Traced(s, j, rc);
}

QL_EXPORT SQLRETURN SQLPrimaryKeys(SQLHSTMT h, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* schema,
                                   SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLPrimaryKeys", s);
  auto c = Text(cat, catLen), sc = Text(schema, schemaLen), t = Text(table, tableLen);
  CatalogArgs(j, {c, sc, t});
  if (!t) {
    return Refuse(s, j, "HY009", "invalid use of null pointer");
  }
  SQLRETURN rc = CatalogPrimaryKeys(s, sc, t);
  j.Num("rows", static_cast<long long>(s->rs.rows.size()));
  return Traced(s, j, rc);
}

QL_EXPORT SQLRETURN SQLGetTypeInfo(SQLHSTMT h, SQLSMALLINT type) {
  Stmt* s = As<Stmt>(h, HKind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  JsonLine j = Call("SQLGetTypeInfo", s);
  j.Num("type", type);
  SQLRETURN rc = CatalogTypeInfo(s, type);
  j.Num("rows", static_cast<long long>(s->rs.rows.size()));
  return Traced(s, j, rc);
}

// ---------------------------------------------------------------- diagnostics

QL_EXPORT SQLRETURN SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLCHAR* state, SQLINTEGER* native,
                                  SQLCHAR* msg, SQLSMALLINT cap, SQLSMALLINT* len) {
  Handle* hd = AnyHandle(type, h);
  if (!hd) return SQL_INVALID_HANDLE;
  if (rec <= 0) return SQL_ERROR;
  if (static_cast<size_t>(rec) > hd->diags.size()) return SQL_NO_DATA;
  const DiagRec& d = hd->diags[static_cast<size_t>(rec - 1)];
  if (state) {
    std::memset(state, 0, 6);
    std::memcpy(state, d.state.data(), std::min<size_t>(5, d.state.size()));
  }
  if (native) *native = d.native;
  SQLLEN full = static_cast<SQLLEN>(d.message.size());
  if (len) *len = static_cast<SQLSMALLINT>(std::min<SQLLEN>(full, 32767));
  if (!msg || cap <= 0) return SQL_SUCCESS;
  size_t n = std::min(d.message.size(), static_cast<size_t>(cap - 1));
  std::memcpy(msg, d.message.data(), n);
  msg[n] = 0;
  return n < d.message.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

QL_EXPORT SQLRETURN SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER info,
                                    SQLSMALLINT cap, SQLSMALLINT* len) {
  Handle* hd = AnyHandle(type, h);
  if (!hd) return SQL_INVALID_HANDLE;
  auto putInt = [&](SQLINTEGER v) {
    if (info) std::memcpy(info, &v, sizeof v);
    return SQL_SUCCESS;
  };
  if (rec == 0) {
    switch (id) {
      case SQL_DIAG_NUMBER: return putInt(static_cast<SQLINTEGER>(hd->diags.size()));
      case SQL_DIAG_RETURNCODE: {
        SQLRETURN v = hd->diags.empty() ? SQL_SUCCESS : SQL_ERROR;
        if (info) std::memcpy(info, &v, sizeof v);
        return SQL_SUCCESS;
      }
      case SQL_DIAG_ROW_COUNT: {
        SQLLEN v = hd->kind == HKind::Stmt ? static_cast<Stmt*>(hd)->rowCount : 0;
        if (info) std::memcpy(info, &v, sizeof v);
        return SQL_SUCCESS;
      }
      default: return SQL_ERROR;
    }
  }
  if (rec < 0) return SQL_ERROR;
  if (static_cast<size_t>(rec) > hd->diags.size()) return SQL_NO_DATA;
  const DiagRec& d = hd->diags[static_cast<size_t>(rec - 1)];
  switch (id) {
    case SQL_DIAG_SQLSTATE: return PutText16(hd, d.state, info, cap, len);
    case SQL_DIAG_MESSAGE_TEXT: return PutText16(hd, d.message, info, cap, len);
    case SQL_DIAG_NATIVE: return putInt(d.native);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN: return PutText16(hd, "ISO 9075", info, cap, len);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME: return PutText16(hd, "", info, cap, len);
    case SQL_DIAG_COLUMN_NUMBER:
    case SQL_DIAG_ROW_NUMBER: return putInt(-1);
    default: return SQL_ERROR;
  }
}

QL_EXPORT SQLRETURN SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state, SQLINTEGER* native,
                             SQLCHAR* msg, SQLSMALLINT cap, SQLSMALLINT* len) {
  Handle* h = stmt ? AnyHandle(SQL_HANDLE_STMT, stmt)
              : dbc ? AnyHandle(SQL_HANDLE_DBC, dbc)
                    : AnyHandle(SQL_HANDLE_ENV, env);
  if (!h) return SQL_INVALID_HANDLE;
  if (h->diags.empty()) return SQL_NO_DATA;
  SQLSMALLINT type = stmt ? SQL_HANDLE_STMT : dbc ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
  SQLRETURN rc = SQLGetDiagRec(type, h, 1, state, native, msg, cap, len);
  h->diags.erase(h->diags.begin());
  return rc;
}
