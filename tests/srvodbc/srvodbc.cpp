// A server driver module over the unixODBC driver manager, for tests: the
// 32 entry points of the server layer's driver interface. It names itself
// "ODBC". Connect strings go to SQLDriverConnect without prompting, less
// the options SCROLL (NO: forward-only cursors, else static ones), DLG and
// EXTVER. Failures leave the native error code (or, where there is none or
// it would read as "no row" or "break", the module's own code 1559) and the
// message and SQLSTATE in the connection.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/server/srv_abi.h"

#define SRV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int16_t kModuleCode = 1559;
constexpr SQLLEN kLongCap = 32767;  // bytes of text of a long column

struct ConnState {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool forward_only = false;
};

struct ColumnInfo {
  std::string name;
  SQLSMALLINT sql_type = 0;
  SQLULEN size = 0;
  SQLSMALLINT scale = 0;
  std::vector<unsigned char> buffer;
};

struct StmtState {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  std::vector<ColumnInfo> info;
  std::vector<SrvColumn> columns;
  std::vector<SQLLEN> param_lengths;
};

ConnState* conn_state(SrvConnection* c) { return static_cast<ConnState*>(c->driver_private); }
StmtState* stmt_state(SrvStatement* s) { return static_cast<StmtState*>(s->driver_private); }

void copy(char* dst, size_t size, const std::string& text) {
  std::snprintf(dst, size, "%s", text.c_str());
}

// The first diagnostic of a handle into the connection's error fields.
void take_error(SrvConnection* c, SQLSMALLINT type, SQLHANDLE h) {
  SQLCHAR state[6] = {0};
  SQLCHAR message[SQL_MAX_MESSAGE_LENGTH + 1] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (h == nullptr || !SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, message, sizeof message, &length))) {
    copy(c->error_text1, sizeof c->error_text1, "the ODBC call failed without a diagnostic");
    copy(c->error_text2, sizeof c->error_text2, "HY000");
    c->error_code = kModuleCode;
    return;
  }
  copy(c->error_text1, sizeof c->error_text1, reinterpret_cast<char*>(message));
  copy(c->error_text2, sizeof c->error_text2, reinterpret_cast<char*>(state));
  c->error_code = native != 0 && native != kSrvNoData && native != 1255 && native > -32768 && native < 32768
                      ? static_cast<int16_t>(native)
                      : kModuleCode;
}

std::string info_text(SQLHDBC dbc, SQLUSMALLINT item, const std::string& fallback) {
  char buf[512] = {0};
  SQLSMALLINT len = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(dbc, item, buf, sizeof buf, &len))) return fallback;
  return buf;
}

SQLUINTEGER info_u32(SQLHDBC dbc, SQLUSMALLINT item, SQLUINTEGER fallback) {
  SQLUINTEGER v = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(dbc, item, &v, sizeof v, nullptr))) return fallback;
  return v;
}

SQLUSMALLINT info_u16(SQLHDBC dbc, SQLUSMALLINT item, SQLUSMALLINT fallback) {
  SQLUSMALLINT v = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(dbc, item, &v, sizeof v, nullptr))) return fallback;
  return v;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The connect string without SCROLL, DLG and EXTVER; *forward_only when
// SCROLL=NO.
std::string driver_connect_string(const char* text, bool* forward_only) {
  std::string out;
  std::string in = text != nullptr ? text : "";
  size_t start = 0;
  *forward_only = false;
  while (start <= in.size()) {
    size_t end = in.find(';', start);
    if (end == std::string::npos) end = in.size();
    std::string option = in.substr(start, end - start);
    start = end + 1;
    const size_t eq = option.find('=');
    std::string key = upper(option.substr(0, eq));
    while (!key.empty() && key.front() == ' ') key.erase(0, 1);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    if (key.empty()) continue;
    if (key == "SCROLL") {
      std::string value = eq == std::string::npos ? "" : upper(option.substr(eq + 1));
      *forward_only = value.find("NO") != std::string::npos;
      continue;
    }
    if (key == "DLG" || key == "EXTVER") continue;
    if (!out.empty()) out += ';';
    out += option;
  }
  return out;
}

bool sqlserver(const SrvConnection* c) {
  return std::strcmp(c->server_type, "SQL Server QD") == 0 || std::strcmp(c->server_type, "Microsoft SQL Server") == 0;
}

// The leading number of a version text ("09.00.1399" -> 9).
double leading_number(const char* text) {
  double v = 0;
  while (*text >= '0' && *text <= '9') v = v * 10 + (*text++ - '0');
  return v;
}

void read_default_schema(SrvConnection* c, ConnState* st) {
  copy(c->default_schema, sizeof c->default_schema, c->user);
  if (!sqlserver(c) || c->major_version < 9) return;
  std::string sql = "select default_schema_name from sys.database_principals where name ='";
  for (const char* p = c->user; *p; ++p) sql += *p == '\'' ? std::string("''") : std::string(1, *p);
  sql += "'";
  SQLHSTMT h = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, st->dbc, &h))) return;
  char name[136] = {0};
  SQLLEN ind = 0;
  if (SQL_SUCCEEDED(SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)) &&
      SQL_SUCCEEDED(SQLFetch(h)) && SQL_SUCCEEDED(SQLGetData(h, 1, SQL_C_CHAR, name, sizeof name, &ind)) &&
      ind != SQL_NULL_DATA) {
    copy(c->default_schema, sizeof c->default_schema, name);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
}

// The kernel's type of an ODBC type.
uint8_t kernel_type(SQLSMALLINT t) {
  switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR: return 1;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR: return 16;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return 17;
    case SQL_DECIMAL:
    case SQL_NUMERIC: return 2;
    case SQL_INTEGER: return 3;
    case SQL_SMALLINT:
    case SQL_TINYINT: return 4;
    case SQL_TYPE_DATE:
    case SQL_DATE: return 5;
    case SQL_BIT: return 6;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_BIGINT: return 8;
    case SQL_TYPE_TIME:
    case SQL_TIME: return 37;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return 38;
    default: return 1;
  }
}

// Buffer bytes of a column of the kernel type and declared size.
size_t buffer_size(uint8_t type, SQLULEN size) {
  switch (type) {
    case 1: return size > 0 && size < static_cast<SQLULEN>(kLongCap) ? size + 1 : kLongCap + 1;
    case 16: return kLongCap + 1;
    case 17: return size > 0 && size < 16383 ? 2 * size + 1 : 2 * 16383 + 1;
    case 5: return sizeof(Date);
    case 37: return sizeof(Time);
    case 38: return sizeof(DateTime);
    default: return sizeof(double);
  }
}

// Describes the result columns of an executed statement.
bool describe(SrvConnection* c, SrvStatement* s, StmtState* st) {
  SQLSMALLINT n = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(st->stmt, &n))) {
    take_error(c, SQL_HANDLE_STMT, st->stmt);
    return false;
  }
  st->info.assign(static_cast<size_t>(n), ColumnInfo{});
  st->columns.assign(static_cast<size_t>(n), SrvColumn{});
  for (SQLSMALLINT i = 0; i < n; ++i) {
    ColumnInfo& ci = st->info[static_cast<size_t>(i)];
    SQLCHAR name[256] = {0};
    SQLSMALLINT name_length = 0, nullable = 0;
    if (!SQL_SUCCEEDED(SQLDescribeCol(st->stmt, static_cast<SQLUSMALLINT>(i + 1), name, sizeof name, &name_length,
                                      &ci.sql_type, &ci.size, &ci.scale, &nullable))) {
      take_error(c, SQL_HANDLE_STMT, st->stmt);
      return false;
    }
    ci.name = reinterpret_cast<char*>(name);
    SrvColumn& col = st->columns[static_cast<size_t>(i)];
    col.type = kernel_type(ci.sql_type);
    ci.buffer.assign(buffer_size(col.type, ci.size), 0);
    col.buffer = ci.buffer.data();
    col.buffer_length = static_cast<int32_t>(ci.buffer.size());
  }
  s->column_count = n;
  s->columns = n > 0 ? st->columns.data() : nullptr;
  return true;
}

bool new_statement(SrvConnection* c, SrvStatement* s, StmtState** out) {
  ConnState* cs = conn_state(c);
  if (cs == nullptr) {
    c->error_code = kModuleCode;
    copy(c->error_text1, sizeof c->error_text1, "the connection is not open");
    copy(c->error_text2, sizeof c->error_text2, "08003");
    return false;
  }
  auto* st = new StmtState;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, cs->dbc, &st->stmt))) {
    take_error(c, SQL_HANDLE_DBC, cs->dbc);
    delete st;
    return false;
  }
  if (!cs->forward_only) {
    SQLSetStmtAttr(st->stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
  }
  s->driver_private = st;
  *out = st;
  return true;
}

void drop_statement(SrvStatement* s) {
  StmtState* st = stmt_state(s);
  if (st == nullptr) return;
  if (st->stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, st->stmt);
  delete st;
  s->driver_private = nullptr;
  s->columns = nullptr;
  s->column_count = 0;
}

// Reads one column of the current row into its buffer.
bool read_column(SrvConnection* c, StmtState* st, size_t i) {
  SrvColumn& col = st->columns[i];
  ColumnInfo& ci = st->info[i];
  SQLUSMALLINT n = static_cast<SQLUSMALLINT>(i + 1);
  SQLLEN ind = 0;
  SQLRETURN rc = SQL_SUCCESS;
  switch (col.type) {
    case 1:
    case 16: {
      rc = SQLGetData(st->stmt, n, SQL_C_CHAR, col.buffer, col.buffer_length, &ind);
      if (ind >= col.buffer_length || ind == SQL_NO_TOTAL) ind = -2;
      break;
    }
    case 17: {
      const SQLLEN room = (col.buffer_length - 1) / 2;
      rc = SQLGetData(st->stmt, n, SQL_C_BINARY, col.buffer, room, &ind);
      if (ind > room || ind == SQL_NO_TOTAL) ind = -2;
      break;
    }
    case 5: {
      SQL_DATE_STRUCT d{};
      rc = SQLGetData(st->stmt, n, SQL_C_TYPE_DATE, &d, sizeof d, &ind);
      Date out{static_cast<int16_t>(d.year), static_cast<uint8_t>(d.month), static_cast<uint8_t>(d.day)};
      std::memcpy(col.buffer, &out, sizeof out);
      break;
    }
    case 37: {
      SQL_TIME_STRUCT t{};
      rc = SQLGetData(st->stmt, n, SQL_C_TYPE_TIME, &t, sizeof t, &ind);
      Time out{};
      out.hour = static_cast<int8_t>(ind == SQL_NULL_DATA ? -1 : t.hour);
      out.minute = static_cast<uint8_t>(t.minute);
      out.second = static_cast<uint8_t>(t.second);
      std::memcpy(col.buffer, &out, sizeof out);
      break;
    }
    case 38: {
      SQL_TIMESTAMP_STRUCT t{};
      rc = SQLGetData(st->stmt, n, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &ind);
      DateTime out{};
      out.date = Date{static_cast<int16_t>(t.year), static_cast<uint8_t>(t.month), static_cast<uint8_t>(t.day)};
      out.time.hour = static_cast<int8_t>(ind == SQL_NULL_DATA ? -1 : t.hour);
      out.time.minute = static_cast<uint8_t>(t.minute);
      out.time.second = static_cast<uint8_t>(t.second);
      out.time.ms = static_cast<int16_t>(t.fraction / 1000000);
      std::memcpy(col.buffer, &out, sizeof out);
      break;
    }
    default: {
      double d = 0;
      rc = SQLGetData(st->stmt, n, SQL_C_DOUBLE, &d, sizeof d, &ind);
      std::memcpy(col.buffer, &d, sizeof d);
      break;
    }
  }
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    take_error(c, SQL_HANDLE_STMT, st->stmt);
    return false;
  }
  (void)ci;
  col.indicator = ind == SQL_NULL_DATA ? -1 : static_cast<int32_t>(ind);
  return true;
}

}  // namespace

SRV_EXPORT int16_t SrvInit(SrvDriver* driver) {
  copy(driver->name, sizeof driver->name, "ODBC");
  return 1;
}

SRV_EXPORT void SrvUnloadDriver() {}

SRV_EXPORT int16_t SrvConnect(SrvConnection* c, const char* text) {
  auto* st = new ConnState;
  const std::string cs = driver_connect_string(text, &st->forward_only);
  auto fail = [&](SQLSMALLINT type, SQLHANDLE h) {
    take_error(c, type, h);
    if (st->dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, st->dbc);
    if (st->env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, st->env);
    delete st;
    return static_cast<int16_t>(0);
  };
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &st->env))) return fail(SQL_HANDLE_ENV, nullptr);
  SQLSetEnvAttr(st->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, st->env, &st->dbc))) return fail(SQL_HANDLE_ENV, st->env);
  std::string in = cs;
  SQLCHAR out[1024];
  SQLSMALLINT out_length = 0;
  const SQLRETURN rc = SQLDriverConnect(st->dbc, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), SQL_NTS, out,
                                        sizeof out, &out_length, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    const int16_t r = fail(SQL_HANDLE_DBC, st->dbc);
    if (rc == SQL_NO_DATA) copy(c->error_text1, sizeof c->error_text1, "the connection was cancelled");
    return r;
  }
  SQLSetConnectAttr(st->dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  c->driver_private = st;
  copy(c->server_type, sizeof c->server_type, info_text(st->dbc, SQL_DBMS_NAME, ""));
  copy(c->version, sizeof c->version, info_text(st->dbc, SQL_DBMS_VER, ""));
  c->major_version = leading_number(c->version);
  c->version_number = static_cast<int32_t>(c->major_version);
  std::string quote = info_text(st->dbc, SQL_IDENTIFIER_QUOTE_CHAR, "\"");
  if (quote == " ") quote.clear();
  copy(c->quote, sizeof c->quote, quote);
  c->identifier_case = info_u16(st->dbc, SQL_IDENTIFIER_CASE, SQL_IC_UPPER) == SQL_IC_SENSITIVE ? 3 : 0;
  c->quoted_identifier_case = info_u16(st->dbc, SQL_QUOTED_IDENTIFIER_CASE, SQL_IC_SENSITIVE) == SQL_IC_SENSITIVE ? 3 : 0;
  c->qualifiers_used = info_u32(st->dbc, SQL_CATALOG_USAGE, 0) & SQL_CU_DML_STATEMENTS ? 1 : 0;
  c->qualifier_first = info_u16(st->dbc, SQL_CATALOG_LOCATION, SQL_CL_START) == SQL_CL_END ? 0 : 1;
  copy(c->qualifier_separator, sizeof c->qualifier_separator, info_text(st->dbc, SQL_CATALOG_NAME_SEPARATOR, "."));
  c->owners_used = info_u32(st->dbc, SQL_SCHEMA_USAGE, 0) & SQL_SU_DML_STATEMENTS ? 1 : 0;
  copy(c->user, sizeof c->user, info_text(st->dbc, SQL_USER_NAME, ""));
  copy(c->source, sizeof c->source, info_text(st->dbc, SQL_DATA_SOURCE_NAME, ""));
  read_default_schema(c, st);
  c->open = 1;
  return 1;
}

SRV_EXPORT int16_t SrvDisconnect(SrvConnection* c) {
  ConnState* st = conn_state(c);
  if (st == nullptr) return 1;
  SQLEndTran(SQL_HANDLE_DBC, st->dbc, SQL_ROLLBACK);
  SQLDisconnect(st->dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, st->dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, st->env);
  delete st;
  c->driver_private = nullptr;
  c->open = 0;
  return 1;
}

namespace {
// A new ODBC statement that runs (execute) or prepares the text; the result
// columns are described after a run.
int16_t start_statement(SrvConnection* c, SrvStatement* s, const char* sql, bool execute) {
  drop_statement(s);
  StmtState* st = nullptr;
  if (!new_statement(c, s, &st)) return 0;
  std::string text = sql != nullptr ? sql : "";
  auto* p = reinterpret_cast<SQLCHAR*>(text.data());
  const SQLRETURN rc = execute ? SQLExecDirect(st->stmt, p, SQL_NTS) : SQLPrepare(st->stmt, p, SQL_NTS);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    take_error(c, SQL_HANDLE_STMT, st->stmt);
    drop_statement(s);
    return 0;
  }
  if (execute && !describe(c, s, st)) {
    drop_statement(s);
    return 0;
  }
  return 1;
}
}  // namespace

SRV_EXPORT int16_t SrvExecute(SrvConnection* c, SrvStatement* s, const char* sql) {
  return start_statement(c, s, sql, true);
}

SRV_EXPORT int16_t SrvPrepare(SrvConnection* c, SrvStatement* s, const char* sql) {
  return start_statement(c, s, sql, false);
}

SRV_EXPORT int16_t SrvBindParm(SrvConnection* c, SrvStatement* s, SrvColumn* d, int16_t n) {
  StmtState* st = stmt_state(s);
  if (st == nullptr || d == nullptr || n < 1) return 0;
  if (st->param_lengths.size() < static_cast<size_t>(n)) st->param_lengths.resize(static_cast<size_t>(n));
  SQLLEN* length = &st->param_lengths[static_cast<size_t>(n - 1)];
  SQLSMALLINT ctype = SQL_C_DOUBLE, sqltype = SQL_DOUBLE;
  SQLULEN size = 15;
  if (d->type == 1 || d->type == 16) {
    ctype = SQL_C_CHAR;
    sqltype = SQL_VARCHAR;
    *length = d->buffer != nullptr ? SQL_NTS : SQL_NULL_DATA;
    size = d->buffer != nullptr ? std::strlen(static_cast<char*>(d->buffer)) + 1 : 1;
  } else if (d->type == 17) {
    ctype = SQL_C_BINARY;
    sqltype = SQL_LONGVARBINARY;
    *length = d->buffer != nullptr ? d->buffer_length : SQL_NULL_DATA;
    size = static_cast<SQLULEN>(d->buffer_length > 0 ? d->buffer_length : 1);
  } else {
    *length = d->buffer != nullptr ? static_cast<SQLLEN>(sizeof(double)) : SQL_NULL_DATA;
  }
  if (!SQL_SUCCEEDED(SQLBindParameter(st->stmt, static_cast<SQLUSMALLINT>(n), SQL_PARAM_INPUT, ctype, sqltype, size,
                                      0, d->buffer, d->buffer_length, length))) {
    take_error(c, SQL_HANDLE_STMT, st->stmt);
    return 0;
  }
  return 1;
}

SRV_EXPORT int16_t SrvExecutePrep(SrvConnection* c, SrvStatement* s) {
  StmtState* st = stmt_state(s);
  if (st == nullptr) return 0;
  SQLFreeStmt(st->stmt, SQL_CLOSE);
  const SQLRETURN rc = SQLExecute(st->stmt);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    take_error(c, SQL_HANDLE_STMT, st->stmt);
    return 0;
  }
  return describe(c, s, st) ? 1 : 0;
}

SRV_EXPORT int16_t SrvFetch(SrvConnection* c, SrvStatement* s, SrvColumn*, int32_t direction) {
  StmtState* st = stmt_state(s);
  if (st == nullptr) return 0;
  SQLSMALLINT orientation = SQL_FETCH_ABSOLUTE;
  SQLLEN offset = 0;
  switch (direction) {
    case kSrvFetchNext: orientation = SQL_FETCH_NEXT; break;
    case kSrvFetchPrevious: orientation = SQL_FETCH_PRIOR; break;
    case kSrvFetchFirst: orientation = SQL_FETCH_FIRST; break;
    case kSrvFetchLast: orientation = SQL_FETCH_LAST; break;
    default: offset = direction; break;
  }
  const SQLRETURN rc =
      orientation == SQL_FETCH_NEXT ? SQLFetch(st->stmt) : SQLFetchScroll(st->stmt, orientation, offset);
  if (rc == SQL_NO_DATA) {
    c->error_code = kSrvNoData;
    return 0;
  }
  if (!SQL_SUCCEEDED(rc)) {
    take_error(c, SQL_HANDLE_STMT, st->stmt);
    return 0;
  }
  for (size_t i = 0; i < st->columns.size(); ++i) {
    if (!read_column(c, st, i)) return 0;
  }
  return 1;
}

SRV_EXPORT int16_t SrvClose(SrvConnection*, SrvStatement* s, int16_t free_it) {
  if (free_it) {
    drop_statement(s);
    return 1;
  }
  if (StmtState* st = stmt_state(s)) SQLFreeStmt(st->stmt, SQL_CLOSE);
  return 1;
}

SRV_EXPORT int32_t SrvNumColumns(SrvConnection*, SrvStatement* s) { return s->column_count; }

namespace {
const ColumnInfo* info_of(SrvConnection* c, SrvStatement* s, int16_t n) {
  StmtState* st = stmt_state(s);
  if (st == nullptr || n < 1 || static_cast<size_t>(n) > st->info.size()) {
    c->error_code = kModuleCode;
    copy(c->error_text1, sizeof c->error_text1, "no such result column");
    copy(c->error_text2, sizeof c->error_text2, "07009");
    return nullptr;
  }
  return &st->info[static_cast<size_t>(n - 1)];
}
}  // namespace

SRV_EXPORT const char* SrvColumnName(SrvConnection* c, SrvStatement* s, int16_t n) {
  const ColumnInfo* ci = info_of(c, s, n);
  return ci != nullptr ? ci->name.c_str() : "";
}
SRV_EXPORT const char* SrvColumnAlias(SrvConnection* c, SrvStatement* s, int16_t n) {
  info_of(c, s, n);
  return "";
}
SRV_EXPORT uint8_t SrvColumnType(SrvConnection* c, SrvStatement* s, int16_t n) {
  return info_of(c, s, n) != nullptr ? s->columns[n - 1].type : 0;
}
SRV_EXPORT int32_t SrvColumnPrecision(SrvConnection* c, SrvStatement* s, int16_t n) {
  const ColumnInfo* ci = info_of(c, s, n);
  return ci != nullptr ? static_cast<int32_t>(ci->size) : 0;
}
SRV_EXPORT int32_t SrvColumnScale(SrvConnection* c, SrvStatement* s, int16_t n) {
  const ColumnInfo* ci = info_of(c, s, n);
  return ci != nullptr ? ci->scale : 0;
}
SRV_EXPORT int32_t SrvColumnWidth(SrvConnection* c, SrvStatement* s, int16_t n) {
  const ColumnInfo* ci = info_of(c, s, n);
  return ci != nullptr ? static_cast<int32_t>(ci->size) : -1;
}
SRV_EXPORT int16_t SrvColumnEditable(SrvConnection*, SrvStatement*, int16_t) { return 0; }
SRV_EXPORT int16_t SrvColumnValue(SrvConnection*, SrvStatement*, int16_t, Value*) { return 0; }
SRV_EXPORT int16_t SrvBindColumn(SrvConnection*, SrvStatement*, SrvColumn*) { return 1; }

namespace {
int16_t end_transaction(SrvConnection* c, SQLSMALLINT how) {
  ConnState* st = conn_state(c);
  if (st == nullptr) return 0;
  if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, st->dbc, how))) {
    take_error(c, SQL_HANDLE_DBC, st->dbc);
    return 0;
  }
  return 1;
}
}  // namespace

SRV_EXPORT int16_t SrvBeginTransaction(SrvConnection* c) { return conn_state(c) != nullptr ? 1 : 0; }
SRV_EXPORT int16_t SrvCommit(SrvConnection* c) { return end_transaction(c, SQL_COMMIT); }
SRV_EXPORT int16_t SrvRollback(SrvConnection* c) { return end_transaction(c, SQL_ROLLBACK); }
SRV_EXPORT int16_t SrvGetConnectOption(SrvConnection*, int32_t) { return 1; }
SRV_EXPORT int16_t SrvSetConnectOption(SrvConnection*, int32_t) { return 1; }
SRV_EXPORT int16_t SrvDBError(SrvConnection*, void*) { return 1; }

SRV_EXPORT int16_t SrvSources(char* buffer) {
  buffer[0] = '\0';
  SQLHENV env = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    copy(buffer, kSrvTextSize, "no ODBC environment");
    return 0;
  }
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  std::string list;
  SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
  SQLCHAR description[256];
  SQLSMALLINT n1 = 0, n2 = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (SQL_SUCCEEDED(SQLDataSources(env, direction, name, sizeof name, &n1, description, sizeof description, &n2))) {
    if (!list.empty()) list += ';';
    list += reinterpret_cast<char*>(name);
    direction = SQL_FETCH_NEXT;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  copy(buffer, kSrvTextSize, list);
  return 1;
}

SRV_EXPORT int16_t SrvIterateQualifiers(SrvConnection*, void*, void*, void*) { return 1; }
SRV_EXPORT int16_t SrvIterateOwners(SrvConnection*, void*, void*, void*) { return 1; }
SRV_EXPORT int16_t SrvIterateTables(SrvConnection*, void*, void*, void*, void*) { return 1; }
SRV_EXPORT int16_t SrvIterateColumns(SrvConnection*, void*, void*, void*, void*) { return 1; }
SRV_EXPORT int16_t SrvTableInfo(SrvConnection*, void*) { return 1; }
