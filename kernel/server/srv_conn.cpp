// Server connections (connect options, reuse, pairing, the driver
// connection), server kinds with their reserved column names, and the SQL
// text helpers: tokens, select items, table references, qualified names.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/server/ora_srid.h"
#include "kernel/server/srv.h"
#include "kernel/server/spcat.h"
#include "kernel/server/srv_exec.h"
#include "kernel/tables/odbctype.h"
#include "kernel/tables/tabdef.h"

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// A driver name as looked up: a null, empty or default-marked name reads as
// the default driver name; at most 31 characters.
void driver_key(char (&out)[32], const char* name) {
  if (name == nullptr || name[0] == '\0' || mb_str_equal_nocase(name, kernel_string(kStrSrvEmptyOwner))) {
    str_copy_n(out, kernel_string(kStrSrvDefaultName), sizeof out);
  } else {
    str_copy_n(out, name, sizeof out);
  }
}

bool stripped_key(const char* key) {
  return mb_str_equal_nocase(key, "PWD") || mb_str_equal_nocase(key, "UPWD") || mb_str_equal_nocase(key, "DLG") ||
         mb_str_equal_nocase(key, "SCROLL");
}

bool sqlserver(const SrvConnection* conn) {
  return srv_is_kind(conn, SRV_KIND_SQLSERVER_QD) || srv_is_kind(conn, SRV_KIND_SQLSERVER);
}

// The owner a table reference takes when it names none.
const char* default_owner(const SrvConnection* conn) {
  if (sqlserver(conn) && conn->major_version >= 9) return conn->default_schema;
  return conn->user;
}

}  // namespace

// ---- connect strings ------------------------------------------------------------------

void srv_strip_connect_options(char* text, int32_t size) {
  if (text == nullptr || size <= 0) return;
  char* copy = nullptr;
  const int64_t length = static_cast<int64_t>(strnlen(text, static_cast<size_t>(size)));
  if (!mem_alloc(length + 1, &copy, static_cast<char**>(nullptr))) return;
  std::memcpy(copy, text, static_cast<size_t>(length));
  // The kept options go back within size bytes (a key without "=" gains
  // one, so the text can grow): what does not fit is cut.
  int32_t used = 0;
  auto append = [&](const char* piece) {
    for (const char* p = piece; *p != '\0' && used < size - 1; ++p) text[used++] = *p;
  };
  char* rest = copy;
  bool first = true;
  while (char* option = srv_next_token(&rest, rest, ";", 0)) {
    char* value = std::strchr(option, '=');
    if (value != nullptr) *value++ = '\0';
    str_trim_right(option);
    str_trim_left(option);
    if (option[0] == '\0' || stripped_key(option)) continue;
    if (value != nullptr) {
      str_trim_left(value);
      str_trim_right(value);
    }
    if (!first) append(";");
    append(option);
    append("=");
    if (value != nullptr) append(value);
    first = false;
  }
  text[used] = '\0';
  mem_free(&copy);
}

std::string srv_strip_connect_options(const char* connect) {
  std::string text = connect != nullptr ? connect : "";
  // Each option grows by at most one character ("=").
  text.resize(2 * text.size() + 2, '\0');
  srv_strip_connect_options(text.data(), static_cast<int32_t>(text.size()));
  text.resize(std::strlen(text.c_str()));
  return text;
}

char* srv_options_stripped(const char* text) {
  char* out = nullptr;
  const int64_t length = static_cast<int64_t>(text != nullptr ? std::strlen(text) : 0);
  const int64_t size = 2 * length + 2;
  if (!mem_alloc(size, &out, static_cast<char**>(nullptr))) return nullptr;
  if (text != nullptr) std::memcpy(out, text, static_cast<size_t>(length));
  srv_strip_connect_options(out, static_cast<int32_t>(size));
  return out;
}

char* srv_connection_options_stripped(const SrvConnection* conn) {
  return conn != nullptr ? srv_options_stripped(conn->connect) : nullptr;
}

// ---- connections ------------------------------------------------------------------------

SrvConnection* srv_connect_driver(const char* driver, const char* connect) {
  SrvEnv* env = srv_env();
  char name[32];
  driver_key(name, driver);
  SrvFunctionTable* functions = srv_driver_functions(name);
  if (env == nullptr || functions == nullptr) {
    err_push(4, kErrSrvNoDriver, name, nullptr);
    return nullptr;
  }
  SrvConnection* conn = nullptr;
  if (!srv_connection_alloc(env, &conn)) return nullptr;
  conn->number = srv_next_connection_number(env);
  str_copy_n(conn->driver_name, srv_find_driver(name)->name, sizeof conn->driver_name);
  conn->functions = functions;
  str_copy_n(conn->connect, connect != nullptr ? connect : "", sizeof conn->connect);
  if (!functions->connect(conn, conn->connect)) {
    srv_report(conn);
    list_unlink(&env->connections, conn);
    srv_forget_coordsys(conn);
    mem_free(&conn);
    return nullptr;
  }
  spcat_probe_flags(conn);
  return conn;
}

SrvConnection* srv_find_connection(const char* connect, const char* driver) {
  SrvEnv* env = srv_env();
  if (env == nullptr) return nullptr;
  char* wanted = srv_options_stripped(connect);
  if (wanted == nullptr) return nullptr;
  char want_driver[32];
  driver_key(want_driver, driver);
  SrvConnection* found = nullptr;
  for (void* p = env->connections.head; p != nullptr && found == nullptr; p = list_next(p)) {
    auto* conn = static_cast<SrvConnection*>(p);
    if (!conn->open) continue;
    char have_driver[32];
    driver_key(have_driver, conn->driver_name);
    if (!mb_str_equal_nocase(have_driver, want_driver)) continue;
    char* have = srv_connection_options_stripped(conn);
    if (have != nullptr && mb_str_equal_nocase(have, wanted)) found = conn;
    mem_free(&have);
  }
  mem_free(&wanted);
  return found;
}

SrvConnection* srv_open_connection(const char* driver, const char* connect, int16_t new_one) {
  if (srv_env() == nullptr && !srv_init()) return nullptr;
  // The caller's text, ";" unless it ends with one, then SCROLL=NO, within
  // the connection's 1025 bytes: a longer text is refused.
  const char* text = connect != nullptr ? connect : "";
  const size_t length = std::strlen(text);
  const bool semicolon = length > 0 && text[length - 1] == ';';
  if (length + (semicolon ? 0 : 1) + std::strlen("SCROLL=NO") + 1 > static_cast<size_t>(kSrvConnectSize)) {
    err_push(4, kErrSrvConnection, nullptr, nullptr);
    return nullptr;
  }
  char full[kSrvConnectSize];
  std::snprintf(full, sizeof full, "%s%sSCROLL=NO", text, semicolon || length == 0 ? "" : ";");
  char name[32];
  driver_key(name, driver);
  if (!new_one) {
    if (SrvConnection* reuse = srv_find_connection(full, name)) return reuse;
  }
  SrvConnection* conn = srv_connect_driver(name, full);
  if (conn != nullptr && std::strcmp(conn->server_type, "SQL Server QD") == 0) {
    if (SrvConnection* second = srv_connect_driver(name, conn->connect)) {
      conn->paired = second;
      second->paired_flag = 1;
    }
  }
  return conn;
}

SrvConnection* srv_open_connection(const char* driver, const char* connect) {
  return srv_open_connection(driver, connect, 0);
}

void srv_close_connection(SrvConnection*) {}

SrvConnection* srv_paired_secondary(SrvConnection* conn) {
  return conn != nullptr && conn->paired_flag && conn->paired == nullptr ? conn : nullptr;
}

void srv_connection_label(const SrvConnection* conn, char* buffer, int32_t size) {
  if (conn == nullptr || buffer == nullptr) return;
  std::snprintf(buffer, static_cast<size_t>(size), "%s:%ld", conn->source, static_cast<long>(conn->number));
}

int16_t srv_connection_in_use(const SrvConnection* conn) {
  if (conn == nullptr) return 0;
  for (int which = 0; which < 2; ++which) {
    for (const OpenTable* e = open_table_list(which); e != nullptr; e = e->next) {
      for (const TableDef* base : e->bases) {
        const LinkInfo* link = base != nullptr ? linktab_of(&base->storage) : nullptr;
        if (link != nullptr && link->connection == conn) return 1;
      }
    }
  }
  return 0;
}

namespace {
bool g_iterating = false;
}

int16_t srv_iterate_connections(int16_t mode, void** cursor, SrvConnection** conn) {
  if (srv_env() == nullptr && !srv_init()) return 0;
  switch (mode) {
    case 1:
      g_iterating = true;
      *cursor = srv_env()->connections.head;
      return 1;
    case 2:
      if (!g_iterating || *cursor == nullptr) {
        *conn = nullptr;
        return 0;
      }
      *conn = static_cast<SrvConnection*>(*cursor);
      *cursor = list_next(*cursor);
      return 1;
    case 3:
      g_iterating = false;
      *cursor = nullptr;
      return 1;
    default: return 0;
  }
}

// ---- server kinds ----------------------------------------------------------------------

int16_t srv_is_kind(const SrvConnection* conn, SrvKind kind) {
  if (conn == nullptr) return 0;
  const char* t = conn->server_type;
  switch (kind) {
    case SRV_KIND_SQLSERVER_QD: return std::strcmp(t, "SQL Server QD") == 0;
    case SRV_KIND_SQLSERVER: return std::strcmp(t, "Microsoft SQL Server") == 0;
    case SRV_KIND_IUS: return std::strcmp(t, "IUS") == 0;
    case SRV_KIND_INFORMIX: return starts_with(t, "Informix");
    case SRV_KIND_ORA_SPATIAL: return std::strcmp(t, "Oracle_Spatial") == 0;
    case SRV_KIND_ORA_SDO: return std::strcmp(t, "Oracle SDO Server") == 0;
    case SRV_KIND_ORACLE: return starts_with(t, "Oracle");
    case SRV_KIND_HELVORISTAN: return mb_str_equal_nocase(t, "HELVORISTAN/ORACLE");
    case SRV_KIND_SQS: return std::strcmp(t, "Autometric SQS Server") == 0;
    case SRV_KIND_ACCESS: return starts_with(t, "ACCESS");
  }
  return 0;
}

int16_t ora_is_oracle_server(const SrvConnection* connection) { return srv_is_kind(connection, SRV_KIND_ORACLE); }

int32_t srv_version_compare(const char* text, const char* literal) {
  const char* a = text != nullptr ? text : "";
  const char* b = literal != nullptr ? literal : "";
  // One dotted part as a number: its leading digits (none: 0).
  auto part = [](const char*& p) -> long long {
    long long v = 0;
    while (*p >= '0' && *p <= '9') {
      if (v < 1000000000000LL) v = v * 10 + (*p - '0');
      ++p;
    }
    while (*p != '\0' && *p != '.') ++p;
    if (*p == '.') ++p;
    return v;
  };
  while (*b != '\0') {
    const long long x = part(a), y = part(b);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

int16_t srv_server_is_spatial(const SrvConnection* conn) {
  if (srv_is_kind(conn, SRV_KIND_SQLSERVER_QD) || srv_is_kind(conn, SRV_KIND_IUS)) return 1;
  return srv_is_kind(conn, SRV_KIND_ORA_SPATIAL) && srv_version_compare(conn->version, "8.1.5") > 0 ? 1 : 0;
}

int16_t srv_server_is_known(const SrvConnection* conn) {
  return srv_is_kind(conn, SRV_KIND_SQLSERVER_QD) || srv_is_kind(conn, SRV_KIND_SQLSERVER) ||
                 srv_is_kind(conn, SRV_KIND_ORACLE) || srv_is_kind(conn, SRV_KIND_IUS) ||
                 srv_is_kind(conn, SRV_KIND_INFORMIX) || srv_is_kind(conn, SRV_KIND_ACCESS)
             ? 1
             : 0;
}

int16_t srv_normalise_coordsys(const SrvConnection* conn, CoordXform* coordsys) {
  if (!srv_is_kind(conn, SRV_KIND_ORA_SPATIAL)) return 0;
  if (srv_version_compare(conn->version, "9.0.0") < 0) return 1;
  return ora_normalise_latlong(coordsys);
}

const char* srv_row_num_column() { return "CV_SQL_REC_NUM"; }
const char* srv_style_column() { return "CV_STYLE"; }
const char* srv_x_column() { return "CV_SQL_X"; }
const char* srv_y_column() { return "CV_SQL_Y"; }
const char* srv_code_column() { return "CV_SQL_CVCODE"; }

const char* srv_geometry_column(const SrvConnection* conn) {
  return srv_is_kind(conn, SRV_KIND_ORA_SPATIAL) ? "GEOLOC" : "QD_GEOMETRY";
}

const char* srv_row_id_column(const SrvConnection* conn) {
  if (!srv_server_is_spatial(conn)) return "CV_SQL_REC_NUM";
  return srv_is_kind(conn, SRV_KIND_ORA_SPATIAL) ? "CV_PRINX" : "QD_MEMBER";
}

int16_t srv_check_linked_table(SrvConnection*, const char*, const char*, const char*, void*) { return 0; }

// ---- SQL text ----------------------------------------------------------------------------

char* srv_next_token(char** rest, char* text, const char* delimiters, int16_t brackets) {
  if (text == nullptr) {
    if (rest != nullptr) *rest = nullptr;
    return nullptr;
  }
  while (blank(*text)) ++text;
  str_trim_right(text);
  if (*text == '\0') {
    if (rest != nullptr) *rest = text;
    return nullptr;
  }
  int depth = 0;
  char quote = 0;
  char* p = text;
  while (*p != '\0') {
    const char c = *p;
    if (quote != 0) {
      if (c == quote) {
        if (p[1] == quote) {
          p += 2;
          continue;
        }
        quote = 0;
      }
    } else if (brackets && (c == '(' || c == '[')) {
      ++depth;
    } else if (brackets && (c == ')' || c == ']')) {
      if (depth > 0) --depth;
    } else if (c == '"' || c == '\'' || c == '`') {
      quote = c;
    } else if (depth == 0 && delimiters != nullptr && std::strchr(delimiters, c) != nullptr) {
      *p = '\0';
      if (rest != nullptr) *rest = p + 1;
      return text;
    }
    p = const_cast<char*>(mb_char_next(p));
  }
  if (rest != nullptr) *rest = p;
  return text;
}

namespace {

// The part before the last `sep` outside quotes and brackets, cut off in
// place; null when there is no such separator or nothing follows it.
char* cut_before_last(char* text, char sep, char** after) {
  char* last = nullptr;
  int depth = 0;
  char quote = 0;
  for (char* p = text; *p != '\0'; p = const_cast<char*>(mb_char_next(p))) {
    const char c = *p;
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '(' || c == '[') {
      ++depth;
    } else if ((c == ')' || c == ']') && depth > 0) {
      --depth;
    } else if (c == '"' || c == '\'' || c == '`') {
      quote = c;
    } else if (depth == 0 && c == sep) {
      last = p;
    }
  }
  if (last == nullptr || last[1] == '\0') return nullptr;
  *last = '\0';
  *after = last + 1;
  return text;
}

// Copies a part into a field of `size` bytes: false when it does not fit.
bool put_part(char* field, int32_t size, const char* part) {
  if (static_cast<int32_t>(std::strlen(part)) >= size) return false;
  str_copy_n(field, part, size);
  return true;
}

}  // namespace

int16_t srv_parse_select_item(const SrvConnection*, SrvSelectItem* parts, const char* text) {
  parts->owner[0] = parts->name[0] = parts->alias[0] = '\0';
  str_copy_n(parts->text, text != nullptr ? text : "", sizeof parts->text);
  char work[sizeof parts->text];
  str_copy_n(work, parts->text, sizeof work);
  char* rest = work;
  // "owner.name": the owner is the part right before the last dot.
  char* after = nullptr;
  if (char* before = cut_before_last(work, '.', &after)) {
    char* dummy = nullptr;
    char* owner = before;
    if (cut_before_last(before, '.', &dummy) != nullptr) owner = dummy;
    str_copy_n(parts->owner, owner, sizeof parts->owner);
    rest = after;
  }
  char* name = srv_next_token(&rest, rest, " \t\r\n", 1);
  if (name == nullptr) return 1;
  str_copy_n(parts->name, name, sizeof parts->name);
  char* alias = srv_next_token(&rest, rest, " \t\r\n", 1);
  if (alias != nullptr && mb_str_equal_nocase(alias, "AS")) alias = srv_next_token(&rest, rest, " \t\r\n", 1);
  if (alias != nullptr) str_copy_n(parts->alias, alias, sizeof parts->alias);
  return 1;
}

int16_t srv_parse_table_ref(const SrvConnection* conn, SrvTableRef* parts, const char* text) {
  std::memset(parts, 0, sizeof *parts);
  str_copy_n(parts->text, text != nullptr ? text : "", sizeof parts->text);
  char work[sizeof parts->text];
  str_copy_n(work, parts->text, sizeof work);
  str_trim_right(work);
  char* rest = work;
  char* ref = srv_next_token(&rest, rest, " ", 0);
  if (ref == nullptr) return 1;
  if (rest != nullptr && *rest != '\0') {
    char* alias = rest;
    while (blank(*alias)) ++alias;
    if (!put_part(parts->alias, sizeof parts->alias - 2, alias)) return 0;
  }
  const char* sep = conn->qualifier_separator[0] != '\0' ? conn->qualifier_separator : ".";
  char* body = ref;
  bool qualifier_taken = false;
  if (conn->qualifiers_used && conn->qualifier_first) {
    char* tail = nullptr;
    char* q = srv_next_token(&tail, body, sep, 0);
    if (q != nullptr && tail != nullptr && *tail != '\0') {
      if (!put_part(parts->qualifier, sizeof parts->qualifier, q)) return 0;
      qualifier_taken = true;
      body = tail;
    } else {
      body = q != nullptr ? q : body;
    }
  }
  if (conn->owners_used) {
    char* tail = nullptr;
    char* o = srv_next_token(&tail, body, ".", 0);
    if (o != nullptr && tail != nullptr && *tail != '\0') {
      if (!put_part(parts->owner, sizeof parts->owner, o)) return 0;
      body = tail;
    } else if (qualifier_taken) {
      if (!put_part(parts->owner, sizeof parts->owner, parts->qualifier)) return 0;
      parts->qualifier[0] = '\0';
      body = o != nullptr ? o : body;
    } else {
      body = o != nullptr ? o : body;
    }
  }
  if (conn->qualifiers_used && !conn->qualifier_first) {
    char* tail = nullptr;
    char* t = srv_next_token(&tail, body, sep, 0);
    if (t != nullptr) {
      if (!put_part(parts->table, sizeof parts->table, t)) return 0;
      if (tail != nullptr && !put_part(parts->qualifier, sizeof parts->qualifier, tail)) return 0;
    }
  }
  if (parts->table[0] == '\0' && !put_part(parts->table, sizeof parts->table, body)) return 0;
  if (conn->owners_used && parts->owner[0] == '\0' && !srv_is_kind(conn, SRV_KIND_IUS)) {
    str_copy_n(parts->owner, default_owner(conn), sizeof parts->owner);
  }
  str_trim_right(parts->qualifier);
  str_trim_right(parts->owner);
  str_trim_right(parts->table);
  str_trim_right(parts->alias);
  return 1;
}

int16_t srv_parse_table_ref_default(const SrvConnection* conn, SrvTableRef* parts, const char* text) {
  const int16_t ok = srv_parse_table_ref(conn, parts, text);
  if (parts->owner[0] == '\0' && !srv_is_kind(conn, SRV_KIND_ACCESS)) {
    str_copy_n(parts->owner, default_owner(conn), sizeof parts->owner);
  }
  if (std::strcmp(conn->quote, "\"") != 0) {
    str_unquote(parts->owner, parts->owner, "\"", sizeof parts->owner);
    str_unquote(parts->table, parts->table, "\"", sizeof parts->table);
    if (parts->owner[0] != '\0') {
      std::snprintf(parts->text, sizeof parts->text, "%s.%s", parts->owner, parts->table);
    } else {
      str_copy_n(parts->text, parts->table, sizeof parts->text);
    }
  }
  return ok;
}

int16_t srv_qualified_name(const SrvConnection* conn, char* out, int32_t size, const char* qualifier,
                           const char* owner, const char* table) {
  if (out == nullptr || size <= 0) return 0;
  out[0] = '\0';
  if (conn == nullptr || table == nullptr) return 0;
  const char* sep = conn->qualifier_separator;
  std::string text;
  // One name between the connection's quotes, a quote inside it doubled.
  auto quoted = [&](const char* name) {
    char buf[2 * 513 + 3];
    str_quote(buf, name, conn->quote, sizeof buf);
    text += buf;
  };
  const bool q = conn->qualifiers_used && qualifier != nullptr && qualifier[0] != '\0';
  if (q && conn->qualifier_first) {
    quoted(qualifier);
    text += sep;
  }
  if (conn->owners_used && owner != nullptr && owner[0] != '\0') {
    quoted(owner);
    text += ".";
  }
  quoted(table);
  if (q && !conn->qualifier_first) {
    text += sep;
    quoted(qualifier);
  }
  if (static_cast<int32_t>(text.size()) >= size) return 0;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return 1;
}

int16_t srv_identifiers_equal(const SrvConnection* conn, const char* a, const char* b) {
  if (a == nullptr || b == nullptr || conn == nullptr) return 0;
  const char q = conn->quote[0];
  if (q != '\0' && (a[0] == q || b[0] == q)) {
    char ua[132], ub[132];
    str_unquote(ua, a, conn->quote, sizeof ua);
    str_unquote(ub, b, conn->quote, sizeof ub);
    return conn->quoted_identifier_case == 3 ? (std::strcmp(ua, ub) == 0) : mb_str_equal_nocase(ua, ub);
  }
  return conn->identifier_case == 3 ? (std::strcmp(a, b) == 0) : mb_str_equal_nocase(a, b);
}

int16_t srv_names_equal_nocase(const char* a, const char* b) {
  return a != nullptr && b != nullptr && mb_str_equal_nocase(a, b) ? 1 : 0;
}

void srv_owner_or_default(char* dst, const char* src, int32_t size) {
  if (dst == nullptr) return;
  if (src == nullptr || src[0] == '\0' || mb_str_equal_nocase(src, kernel_string(kStrSrvEmptyOwner))) {
    str_copy_n(dst, kernel_string(kStrSrvDefaultName), size);
  } else {
    str_copy_n(dst, src, size);
  }
}

int16_t srv_same_owner(const char* a, const char* b) {
  char x[32], y[32];
  srv_owner_or_default(x, a, sizeof x);
  srv_owner_or_default(y, b, sizeof y);
  return mb_str_equal_nocase(x, y) ? 1 : 0;
}

int16_t srv_join_select_list(char* const* items, int32_t count, char** out) {
  *out = nullptr;
  if (count <= 0) {
    err_push(4, kErrSrvListEmpty, nullptr, nullptr);
    return 0;
  }
  if (count > kSrvMaxSelectItems) {
    err_push(4, kErrSrvListTooLong, nullptr, nullptr);
    return 0;
  }
  int64_t size = 1;
  for (int32_t i = 0; i < count; ++i) size += static_cast<int64_t>(std::strlen(items[i] ? items[i] : "")) + 2;
  char* text = nullptr;
  if (!mem_alloc(size, &text, static_cast<char**>(nullptr))) return 0;
  char* p = text;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) {
      std::memcpy(p, ", ", 2);
      p += 2;
    }
    const char* item = items[i] ? items[i] : "";
    const size_t n = std::strlen(item);
    std::memcpy(p, item, n);
    p += n;
  }
  *p = '\0';
  *out = text;
  return 1;
}
