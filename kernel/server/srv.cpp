// The server driver layer: loading and unloading driver modules, the
// environment with its connection and statement lists, the wrappers around
// the driver entry points, statements and row fetching.
#include "kernel/server/srv.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/osfind.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/server/srv_download.h"
#include "kernel/server/srv_exec.h"
#include "platform/module.h"

namespace {

struct SrvState {
  KernelList drivers{nullptr, nullptr};
  SrvEnv* env = nullptr;
  int16_t report_load_failures = 0;
  int16_t init_tried = 0;
};
SrvState g_srv;

constexpr int32_t kMaxHexBytes = 16383;

void free_driver(SrvDriver* d) {
  if (d == nullptr) return;
  if (d->module != nullptr) platform::ModuleClose(d->module);
  SrvFunctionTable* table = d->functions;
  mem_free(&table);
  mem_free(&d);
}

// Appends a driver whose table is filled, after its SrvInit; frees it on
// failure.
int16_t init_and_add(SrvDriver* d) {
  if (!d->functions->init(d)) {
    err_push(4, d->init_error, d->init_text1, d->init_text2);
    free_driver(d);
    return 0;
  }
  list_add(&g_srv.drivers, d, 1);
  return 1;
}

int16_t new_driver(SrvDriver** out) {
  SrvDriver* d = nullptr;
  SrvFunctionTable* table = nullptr;
  if (!mem_alloc(sizeof(SrvDriver), &d, static_cast<SrvDriver**>(nullptr))) return 0;
  if (!mem_alloc(sizeof(SrvFunctionTable), &table, static_cast<SrvFunctionTable**>(nullptr))) {
    mem_free(&d);
    return 0;
  }
  d->functions = table;
  *out = d;
  return 1;
}

// A connection bound to a driver.
bool usable(const SrvConnection* conn) { return conn != nullptr && conn->functions != nullptr; }

bool has_result(const SrvStatement* stmt) { return stmt != nullptr && stmt->columns != nullptr; }

SrvColumn* column(SrvStatement* stmt, int16_t n) {
  if (!has_result(stmt) || n < 1 || n > stmt->column_count) return nullptr;
  return &stmt->columns[n - 1];
}

// Error 959 with kernel string 3700 as the connection's message.
int16_t no_result(SrvConnection* conn) {
  str_copy_n(conn->error_text1, kernel_string(kStrSrvNoResult), sizeof conn->error_text1);
  err_push(4, kErrSrvDriverText, conn->error_text1, nullptr);
  return 0;
}

int16_t bad_column(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  char name[256];
  const SrvColumn* c = column(stmt, n);
  if (c != nullptr) {
    str_copy_n(name, srv_column_name(conn, stmt, n), sizeof name);
  } else {
    std::snprintf(name, sizeof name, "%d", n);
  }
  err_push(4, kErrSrvColumnType, name, nullptr);
  return 0;
}

// The bytes of a binary column as hexadecimal text in place: at most
// (buffer length - 1) / 2 bytes; a longer value sets the indicator to -2.
void binary_to_hex(SrvColumn* c) {
  if (c->indicator == -1 || c->buffer == nullptr) return;
  int32_t room = c->buffer_length > 0 ? (c->buffer_length - 1) / 2 : 0;
  if (room > kMaxHexBytes) room = kMaxHexBytes;
  int32_t n = c->indicator;
  if (n == -2 || n > room || n < 0) {
    n = room;
    c->indicator = -2;
  }
  srv_hex_encode(static_cast<char*>(c->buffer), c->buffer, n);
}

// A Char value of the text. A value that owns a text block large enough
// takes the text in place; otherwise its payload is released and the text
// read in full.
int16_t char_value(Value* v, const char* text) {
  const size_t n = std::strlen(text);
  if (v->type == VALUE_CHAR && v->u.text.offset == -1 && v->u.text.ptr != nullptr && mem_size(v->u.text.ptr) > n) {
    std::memcpy(v->u.text.ptr, text, n + 1);
    return 1;
  }
  value_free(v);
  return value_parse(text, VALUE_CHAR, static_cast<int32_t>(n), 0, 1, v);
}

int16_t record_value(Value* v, uint8_t type, const void* record) {
  value_free(v);
  return value_make(v, type, record);
}

double column_double(const SrvColumn* c) {
  double d = 0;
  if (c->buffer != nullptr) std::memcpy(&d, c->buffer, sizeof d);
  return d;
}

int16_t logical_value(Value* v, double d) {
  value_free(v);
  // The whole part decides (compared as a double: a driver's value can lie
  // beyond any integer); NaN reads as false.
  const double whole = std::trunc(d);
  return value_make(v, VALUE_LOGICAL, whole != 0 && whole == whole ? 1L : 0L);
}

// Connections and statements keep their number right after the link.
static_assert(offsetof(SrvConnection, number) == sizeof(void*));
static_assert(offsetof(SrvStatement, number) == sizeof(void*));

int32_t next_number(const KernelList* list) {
  for (int32_t n = 1;; ++n) {
    bool used = false;
    for (void* node = list->head; node != nullptr && !used; node = list_next(node)) {
      const int32_t number = *reinterpret_cast<const int32_t*>(static_cast<const char*>(node) + sizeof(void*));
      used = number == n;
    }
    if (!used) return n;
  }
}

bool listed(const KernelList* list, const void* node) {
  for (void* p = list->head; p != nullptr; p = list_next(p)) {
    if (p == node) return true;
  }
  return false;
}

// A '?' outside quoted literals and quoted names.
int16_t count_parameters(const char* sql) {
  int16_t n = 0;
  char quote = 0;
  for (const char* p = sql; p != nullptr && *p != '\0'; p = mb_char_next(p)) {
    if (quote != 0) {
      if (*p == quote) quote = 0;
    } else if (*p == '\'' || *p == '"') {
      quote = *p;
    } else if (*p == '?' && n < INT16_MAX) {
      ++n;
    }
  }
  return n;
}

SrvStatement* failed_statement(SrvConnection* conn, SrvStatement* stmt) {
  srv_report(conn);
  srv_statement_free(conn->env, stmt);
  return nullptr;
}

}  // namespace

// ---- driver modules and the environment ----------------------------------------

void srv_program_dir(char* buffer) { str_copy_n(buffer, platform::ExecutableDirectory().c_str(), 260); }

void srv_set_report_load_failures(int16_t flag) { g_srv.report_load_failures = flag; }
void srv_reset_ensure_init() { g_srv.init_tried = 0; }

int16_t srv_load_driver(int32_t id) {
  char path[600];
  srv_program_dir(path);
  const size_t dir_length = std::strlen(path);
  str_copy_n(path + dir_length, kernel_string(id), static_cast<int64_t>(sizeof path - dir_length));
  FindRecord find{};
  if (!os_find_first(path, kFindNormal | kFindReadOnly, &find)) return 0;
  os_find_close(&find);
  void* module = platform::ModuleOpen(path);
  if (module == nullptr) {
    if (g_srv.report_load_failures) {
      const int16_t first = id == kStrSrvModule2 ? kErrSrvLoad2First : kErrSrvLoad1First;
      err_push(4, first, path + dir_length, nullptr);
      for (int16_t i = 1; i < 4; ++i) err_push(4, static_cast<int16_t>(first + i), nullptr, nullptr);
    }
    return 0;
  }
  SrvDriver* d = nullptr;
  if (!new_driver(&d)) {
    platform::ModuleClose(module);
    return 0;
  }
  d->module = module;
  void** slots = reinterpret_cast<void**>(d->functions);
  for (int i = 0; i < kSrvEntryCount; ++i) {
    slots[i] = platform::ModuleSymbol(module, kSrvEntryNames[i]);
    if (slots[i] == nullptr) {
      err_push(4, kErrSrvMissingEntry, path, nullptr);
      free_driver(d);
      return 0;
    }
  }
  return init_and_add(d);
}

int16_t srv_register_driver_for_test(const char* name, const SrvFunctionTable* table) {
  if (table == nullptr || table->init == nullptr) return 0;
  if (g_srv.env == nullptr && !srv_env_alloc(&g_srv.env)) return 0;
  SrvDriver* d = nullptr;
  if (!new_driver(&d)) return 0;
  *d->functions = *table;
  if (!d->functions->init(d)) {
    err_push(4, d->init_error, d->init_text1, d->init_text2);
    free_driver(d);
    return 0;
  }
  if (name != nullptr && name[0] != '\0') str_copy_n(d->name, name, sizeof d->name);
  list_add(&g_srv.drivers, d, 1);
  return 1;
}

int16_t srv_init() {
  if (g_srv.env != nullptr) return 1;
  if (!srv_env_alloc(&g_srv.env)) return 0;
  const int16_t first = srv_load_driver(kStrSrvModule1);
  const int16_t second = srv_load_driver(kStrSrvModule2);
  if ((!first || !second) && err_count() > 0) err_push(4, kErrSrvInitFailed, nullptr, nullptr);
  if (!first && !second && list_is_empty(&g_srv.drivers)) {
    srv_env_free(g_srv.env);
    g_srv.env = nullptr;
    return 0;
  }
  return 1;
}

int16_t srv_ensure_init() {
  if (g_srv.env == nullptr && !g_srv.init_tried) {
    g_srv.init_tried = 1;
    srv_init();
  }
  return g_srv.env != nullptr ? 1 : 0;
}

void srv_unload_all() {
  if (SrvEnv* env = g_srv.env) {
    // Statements first (their driver state needs the connection), then the
    // connections: nothing listed outlives the modules it calls into.
    void* node = nullptr;
    while (list_pop(&env->statements, &node, 0)) {
      auto* stmt = static_cast<SrvStatement*>(node);
      SrvConnection* conn = stmt->connection;
      if (conn != nullptr && listed(&env->connections, conn) && conn->functions != nullptr) {
        conn->functions->close(conn, stmt, 1);
      }
      mem_free(&stmt->download_name);
  mem_free(&stmt->download_path);
      mem_free(&stmt->download_path);
      mem_free(&stmt);
    }
    while (list_pop(&env->connections, &node, 0)) {
      auto* conn = static_cast<SrvConnection*>(node);
      if (conn->functions != nullptr && conn->driver_private != nullptr) conn->functions->disconnect(conn);
      srv_forget_coordsys(conn);
    mem_free(&conn);
    }
    srv_env_free(env);
    g_srv.env = nullptr;
  }
  // Every driver hears of the unload while every module is still mapped: a
  // driver registered for tests may run on another driver's entry points.
  for (void* p = g_srv.drivers.head; p != nullptr; p = list_next(p)) {
    auto* d = static_cast<SrvDriver*>(p);
    if (d->functions->unload != nullptr) d->functions->unload();
  }
  void* node = nullptr;
  while (list_pop(&g_srv.drivers, &node, 0)) free_driver(static_cast<SrvDriver*>(node));
}

SrvEnv* srv_env() { return g_srv.env; }

int16_t srv_env_alloc(SrvEnv** handle) {
  SrvEnv* env = nullptr;
  if (!mem_alloc(sizeof(SrvEnv), &env, static_cast<SrvEnv**>(nullptr))) return 0;
  list_init(&env->connections);
  list_init(&env->statements);
  *handle = env;
  return 1;
}

void srv_env_free(SrvEnv* env) { mem_free(&env); }

int16_t srv_connection_alloc(SrvEnv* env, SrvConnection** handle) {
  *handle = nullptr;
  if (env == nullptr) return 0;
  SrvConnection* conn = nullptr;
  if (!mem_alloc(sizeof(SrvConnection), &conn, static_cast<SrvConnection**>(nullptr))) return 0;
  conn->env = env;
  str_copy_n(conn->workspace, "LIVE", sizeof conn->workspace);
  list_add(&env->connections, conn, 1);
  *handle = conn;
  return 1;
}

int16_t srv_statement_alloc(SrvConnection* conn, SrvStatement** handle) {
  *handle = nullptr;
  if (conn == nullptr || conn->env == nullptr) return 0;
  SrvStatement* stmt = nullptr;
  if (!mem_alloc(sizeof(SrvStatement), &stmt, static_cast<SrvStatement**>(nullptr))) return 0;
  list_add(&conn->env->statements, stmt, 1);
  *handle = stmt;
  return 1;
}

int16_t srv_statement_free(SrvEnv* env, SrvStatement* stmt) {
  if (stmt == nullptr) return 0;
  const int16_t was_listed = env != nullptr && list_unlink(&env->statements, stmt) ? 1 : 0;
  mem_free(&stmt->download_name);
  mem_free(&stmt->download_path);
  mem_free(&stmt);
  return was_listed;
}

int16_t srv_check_connection(SrvEnv* env, const SrvConnection* conn) {
  if (env != nullptr && conn != nullptr && listed(&env->connections, conn)) return 1;
  err_push(4, kErrSrvConnection, nullptr, nullptr);
  return 0;
}

int16_t srv_check_statement(SrvEnv* env, const SrvStatement* stmt) {
  if (env == nullptr || stmt == nullptr || !listed(&env->statements, stmt)) {
    err_push(4, kErrSrvStatement, nullptr, nullptr);
    return 0;
  }
  return srv_check_connection(env, stmt->connection);
}

SrvConnection* srv_find_connection_number(SrvEnv* env, int32_t n) {
  if (env == nullptr) return nullptr;
  for (void* p = env->connections.head; p != nullptr; p = list_next(p)) {
    if (static_cast<SrvConnection*>(p)->number == n) return static_cast<SrvConnection*>(p);
  }
  return nullptr;
}

int32_t srv_next_connection_number(SrvEnv* env) { return env != nullptr ? next_number(&env->connections) : 1; }
int32_t srv_next_statement_number(SrvEnv* env) { return env != nullptr ? next_number(&env->statements) : 1; }

// ---- driver look-up -----------------------------------------------------------------

SrvDriver* srv_find_driver(const char* name) {
  if (name == nullptr) return nullptr;
  for (void* p = g_srv.drivers.head; p != nullptr; p = list_next(p)) {
    if (mb_str_equal_nocase(static_cast<SrvDriver*>(p)->name, name)) return static_cast<SrvDriver*>(p);
  }
  return nullptr;
}

SrvFunctionTable* srv_driver_functions(const char* name) {
  SrvDriver* d = srv_find_driver(name);
  return d != nullptr ? d->functions : nullptr;
}

int16_t srv_driver_loaded(const char* name) { return srv_find_driver(name) != nullptr ? 1 : 0; }
int32_t srv_driver_count() { return list_count(&g_srv.drivers); }

int16_t srv_driver_name(int32_t n, char* buffer, int32_t size) {
  auto* d = static_cast<SrvDriver*>(list_nth(&g_srv.drivers, n));
  if (d == nullptr) return 0;
  str_copy_n(buffer, d->name, size);
  return 1;
}

int16_t srv_sources(const char* driver_name, char* buffer) {
  SrvFunctionTable* f = srv_driver_functions(driver_name);
  if (f == nullptr) {
    err_push(4, kErrSrvNoDriver, driver_name, nullptr);
    return 0;
  }
  const int16_t ok = f->sources(buffer);
  if (!ok) err_push(4, kErrSrvDriverText, buffer, nullptr);
  return ok;
}

// ---- connection texts ----------------------------------------------------------------

namespace {
int16_t copy_text(const SrvConnection* conn, const char* text, char* buffer, int32_t size) {
  if (conn == nullptr) return 0;
  str_copy_n(buffer, text, size);
  return 1;
}
}  // namespace

int16_t srv_connection_driver_name(const SrvConnection* conn, char* buffer, int32_t size) {
  return copy_text(conn, conn ? conn->driver_name : "", buffer, size);
}
int16_t srv_connection_server_type(const SrvConnection* conn, char* buffer, int32_t size) {
  return copy_text(conn, conn ? conn->server_type : "", buffer, size);
}
int16_t srv_connection_user(const SrvConnection* conn, char* buffer, int32_t size) {
  return copy_text(conn, conn ? conn->user : "", buffer, size);
}
int16_t srv_connection_source(const SrvConnection* conn, char* buffer, int32_t size) {
  return copy_text(conn, conn ? conn->source : "", buffer, size);
}
int16_t srv_connection_quote(const SrvConnection* conn, char* buffer, int32_t size) {
  return copy_text(conn, conn ? conn->quote : "", buffer, size);
}

char* srv_connection_driver_name_dup(const SrvConnection* conn) {
  char* out = nullptr;
  if (conn == nullptr || !mem_alloc(sizeof conn->driver_name, &out, static_cast<char**>(nullptr))) return nullptr;
  str_copy_n(out, conn->driver_name, sizeof conn->driver_name);
  return out;
}

// ---- wrappers ---------------------------------------------------------------------------

void srv_report(const SrvConnection* conn) {
  if (conn != nullptr) err_push(4, conn->error_code, conn->error_text1, conn->error_text2);
}

namespace {
// Calls a flag-answering entry point and reports a 0.
template <class Fn, class... Args>
int16_t call_flag(SrvConnection* conn, Fn fn, Args... args) {
  if (conn == nullptr || conn->functions == nullptr) {
    err_push(4, kErrSrvConnection, nullptr, nullptr);
    return 0;
  }
  const int16_t ok = (conn->functions->*fn)(conn, args...);
  if (!ok) srv_report(conn);
  return ok;
}
// Iterators fail only with a 0 and an error code set.
template <class Fn, class... Args>
int16_t call_iterate(SrvConnection* conn, Fn fn, Args... args) {
  if (conn == nullptr || conn->functions == nullptr) {
    err_push(4, kErrSrvConnection, nullptr, nullptr);
    return 0;
  }
  conn->error_code = 0;
  const int16_t ok = (conn->functions->*fn)(conn, args...);
  if (!ok && conn->error_code != 0) srv_report(conn);
  return ok;
}
}  // namespace

int16_t srv_begin_transaction(SrvConnection* conn) { return call_flag(conn, &SrvFunctionTable::begin_transaction); }
int16_t srv_commit(SrvConnection* conn) { return call_flag(conn, &SrvFunctionTable::commit); }
int16_t srv_rollback(SrvConnection* conn) { return call_flag(conn, &SrvFunctionTable::rollback); }
int16_t srv_get_connect_option(SrvConnection* conn, int32_t option) {
  return call_flag(conn, &SrvFunctionTable::get_connect_option, option);
}
int16_t srv_set_connect_option(SrvConnection* conn, int32_t option) {
  return call_flag(conn, &SrvFunctionTable::set_connect_option, option);
}
int16_t srv_iterate_qualifiers(SrvConnection* conn, void* a, void* b, void* c) {
  return call_iterate(conn, &SrvFunctionTable::iterate_qualifiers, a, b, c);
}
int16_t srv_iterate_owners(SrvConnection* conn, void* a, void* b, void* c) {
  return call_iterate(conn, &SrvFunctionTable::iterate_owners, a, b, c);
}
int16_t srv_iterate_tables(SrvConnection* conn, void* a, void* b, void* c, void* d) {
  return call_iterate(conn, &SrvFunctionTable::iterate_tables, a, b, c, d);
}
int16_t srv_db_error(SrvConnection* conn, void* arg) {
  if (conn == nullptr || conn->functions == nullptr) return 0;
  return conn->functions->db_error(conn, arg);
}
int16_t srv_noop_ok() { return 1; }
int16_t srv_describe_query_columns() { return 1; }

// ---- statements -----------------------------------------------------------------------

SrvStatement* srv_statement_get(SrvEnv* env, SrvConnection* conn, int32_t number) {
  if (number == -1) {
    if (conn == nullptr) return nullptr;
    SrvStatement* stmt = nullptr;
    if (!srv_statement_alloc(conn, &stmt)) {
      err_push(4, kErrSrvStatement, nullptr, nullptr);
      return nullptr;
    }
    stmt->number = srv_next_statement_number(env != nullptr ? env : conn->env);
    stmt->connection = conn;
    stmt->at_end = 0;
    return stmt;
  }
  if (env != nullptr) {
    for (void* p = env->statements.head; p != nullptr; p = list_next(p)) {
      if (static_cast<SrvStatement*>(p)->number == number) return static_cast<SrvStatement*>(p);
    }
  }
  err_push(4, kErrSrvStatement, nullptr, nullptr);
  return nullptr;
}

namespace {
// A new statement of a checked connection, or null.
SrvStatement* new_statement(SrvConnection* conn) {
  if (conn == nullptr || !srv_check_connection(conn->env, conn) || conn->functions == nullptr) return nullptr;
  SrvStatement* stmt = srv_statement_get(conn->env, conn, -1);
  if (stmt == nullptr) return nullptr;
  if (!srv_check_statement(conn->env, stmt)) {
    srv_statement_free(conn->env, stmt);
    return nullptr;
  }
  return stmt;
}
}  // namespace

SrvStatement* srv_execute(SrvConnection* conn, const char* sql) {
  SrvStatement* stmt = new_statement(conn);
  if (stmt == nullptr) return nullptr;
  return srv_execute_statement(conn, stmt, sql);
}

SrvStatement* srv_execute_statement(SrvConnection* conn, SrvStatement* stmt, const char* sql) {
  if (!usable(conn) || stmt == nullptr) return nullptr;
  stmt->at_end = 0;
  if (!conn->functions->execute(conn, stmt, sql != nullptr ? sql : "")) return failed_statement(conn, stmt);
  return stmt;
}

SrvStatement* srv_prepare(SrvConnection* conn, const char* sql) {
  SrvStatement* stmt = new_statement(conn);
  if (stmt == nullptr) return nullptr;
  return srv_prepare_statement(conn, stmt, sql);
}

SrvStatement* srv_prepare_statement(SrvConnection* conn, SrvStatement* stmt, const char* sql) {
  if (!usable(conn) || stmt == nullptr) return nullptr;
  stmt->at_end = 0;
  if (!conn->functions->prepare(conn, stmt, sql != nullptr ? sql : "")) return failed_statement(conn, stmt);
  stmt->param_count = count_parameters(sql);
  return stmt;
}

int16_t srv_bind_parm(SrvConnection* conn, SrvStatement* stmt, SrvColumn* descriptor, int16_t n) {
  if (conn == nullptr || stmt == nullptr || descriptor == nullptr) return 0;
  const int16_t ok = conn->functions->bind_parm(conn, stmt, descriptor, n);
  if (!ok) srv_report(conn);
  return ok ? 1 : 0;
}

int16_t srv_execute_prepared(SrvConnection* conn, SrvStatement* stmt) {
  if (!usable(conn) || stmt == nullptr) return 0;
  stmt->at_end = 0;
  const int16_t ok = conn->functions->execute_prepared(conn, stmt);
  if (!ok) srv_report(conn);
  return ok;
}

int16_t srv_bind_column(SrvConnection* conn, SrvStatement* stmt, int16_t n, Value* values, int16_t value_index,
                        Value* indicators, int16_t indicator_index) {
  if (!usable(conn) || stmt == nullptr) return 0;
  if (!has_result(stmt)) return no_result(conn);
  SrvColumn* c = column(stmt, n);
  if (c == nullptr) return bad_column(conn, stmt, n);
  c->targets = values;
  c->target_index = value_index;
  c->indicators = indicators;
  c->indicator_index = indicator_index;
  c->bound_type = values != nullptr ? values[value_index].type : 0;
  const int16_t ok = conn->functions->bind_column(conn, stmt, c);
  if (ok) c->bound = 1;
  else srv_report(conn);
  return ok;
}

int16_t srv_fetch(SrvConnection* conn, SrvStatement* stmt, int32_t direction) {
  if (!usable(conn) || stmt == nullptr) return 0;
  if (stmt->download_name != nullptr) return has_result(stmt) ? srv_download(conn, stmt) : 0;
  if (!has_result(stmt)) {
    stmt->at_end = 1;
    return 1;
  }
  stmt->at_end = 0;
  if (!conn->functions->fetch(conn, stmt, stmt->columns, direction)) {
    if (value_user_break()) {
      conn->error_code = kErrSrvUserBreak;
      err_push(4, kErrSrvUserBreak, nullptr, nullptr);
      return 0;
    }
    if (conn->error_code == kSrvNoData) {
      stmt->at_end = 1;
      return 1;
    }
    if (conn->error_code == kErrSrvUserBreak) {
      err_push(4, kErrSrvUserBreak, nullptr, nullptr);
      return 0;
    }
    if (direction != kSrvFetchNext && srv_is_kind(conn, SRV_KIND_HELVORISTAN)) {
      const char* note = direction == kSrvFetchLast       ? ":Fetch Last. "
                         : direction == kSrvFetchFirst    ? ":Fetch First. "
                         : direction == kSrvFetchPrevious ? ":Fetch Previous. "
                                                          : ":Fetch n. ";
      const size_t used = std::strlen(conn->error_text1);
      str_copy_n(conn->error_text1 + used, note, static_cast<int64_t>(sizeof conn->error_text1 - used));
      const size_t used2 = std::strlen(conn->error_text1);
      str_copy_n(conn->error_text1 + used2, kernel_string(kStrSrvFetchNote),
                 static_cast<int64_t>(sizeof conn->error_text1 - used2));
    }
    srv_report(conn);
    return 0;
  }
  int16_t result = 1;
  for (int16_t n = 1; n <= stmt->column_count; ++n) {
    SrvColumn* c = &stmt->columns[n - 1];
    if (c->targets == nullptr) continue;
    Value* target = &c->targets[c->target_index];
    switch (c->type) {
      case VALUE_CHAR:
      case VALUE_FIXED_CHAR:
        str_trim_right(static_cast<char*>(c->buffer));
        char_value(target, static_cast<char*>(c->buffer));
        break;
      case VALUE_DECIMAL:
      case VALUE_INTEGER:
      case VALUE_SMALLINT:
      case VALUE_FLOAT: value_set_double(column_double(c), target->type, target); break;
      case VALUE_DATE:
      case VALUE_TIME:
      case VALUE_DATETIME: record_value(target, c->type, c->buffer); break;
      case VALUE_LOGICAL: logical_value(target, column_double(c)); break;
      case 17:
        binary_to_hex(c);
        char_value(target, static_cast<char*>(c->buffer));
        break;
      default: result = bad_column(conn, stmt, n); break;
    }
    if (c->indicators != nullptr) c->indicators[c->indicator_index].u.i = c->indicator;
  }
  return result;
}

int16_t srv_statement_at_end(const SrvConnection*, const SrvStatement* stmt) {
  return stmt != nullptr ? stmt->at_end : 1;
}

int16_t srv_column_value(SrvConnection* conn, SrvStatement* stmt, Value* value, int16_t n) {
  if (!usable(conn) || stmt == nullptr) return 0;
  if (!has_result(stmt)) return no_result(conn);
  if (value == nullptr) return 1;
  SrvColumn* c = column(stmt, n);
  if (c == nullptr) return bad_column(conn, stmt, n);
  switch (c->type) {
    case VALUE_CHAR:
    case VALUE_FIXED_CHAR:
      str_trim_right(static_cast<char*>(c->buffer));
      return char_value(value, static_cast<char*>(c->buffer));
    case 17:
      binary_to_hex(c);
      return char_value(value, static_cast<char*>(c->buffer));
    case VALUE_DECIMAL: {
      const bool wide = value->type == VALUE_FLOAT && srv_column_precision(conn, stmt, n) > 18;
      value_free(value);
      value_set_double(column_double(c), wide ? VALUE_FLOAT : VALUE_DECIMAL, value);
      return 1;
    }
    case VALUE_INTEGER:
    case VALUE_SMALLINT:
    case VALUE_FLOAT:
      value_free(value);
      value_set_double(column_double(c), c->type, value);
      return 1;
    case VALUE_DATE:
    case VALUE_TIME:
    case VALUE_DATETIME: return record_value(value, c->type, c->buffer);
    case VALUE_LOGICAL: return logical_value(value, column_double(c));
    default: return bad_column(conn, stmt, n);
  }
}

int32_t srv_num_columns(SrvConnection* conn, SrvStatement* stmt) {
  if (!usable(conn) || stmt == nullptr) return -1;
  const int32_t n = conn->functions->num_columns(conn, stmt);
  if (n < 0) srv_report(conn);
  return n;
}

namespace {
const char* column_text(SrvConnection* conn, SrvStatement* stmt, int16_t n, SrvColTextFn fn) {
  if (!usable(conn) || stmt == nullptr) return "";
  conn->error_code = 0;
  const char* text = fn(conn, stmt, n);
  if (conn->error_code != 0) srv_report(conn);
  return text != nullptr ? text : "";
}
}  // namespace

const char* srv_column_name(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  return usable(conn) ? column_text(conn, stmt, n, conn->functions->column_name) : "";
}
const char* srv_column_alias(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  return usable(conn) ? column_text(conn, stmt, n, conn->functions->column_alias) : "";
}
int32_t srv_column_precision(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  return usable(conn) && stmt != nullptr ? conn->functions->column_precision(conn, stmt, n) : 0;
}
int32_t srv_column_scale(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  return usable(conn) && stmt != nullptr ? conn->functions->column_scale(conn, stmt, n) : 0;
}
int32_t srv_column_width(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  if (!usable(conn) || stmt == nullptr) return -1;
  const int32_t w = conn->functions->column_width(conn, stmt, n);
  if (w < 0) srv_report(conn);
  return w;
}

uint8_t srv_column_type(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  if (!usable(conn) || stmt == nullptr) return 0;
  const uint8_t type = conn->functions->column_type(conn, stmt, n);
  if (type == 0) {
    err_push(4, kErrSrvColumnType, srv_column_name(conn, stmt, n), nullptr);
    return 0;
  }
  if (type == VALUE_DECIMAL && srv_column_precision(conn, stmt, n) > 18) return VALUE_FLOAT;
  return type;
}

int32_t srv_column_indicator(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  if (!usable(conn) || stmt == nullptr) return 0;
  if (!has_result(stmt)) return no_result(conn);
  const SrvColumn* c = column(stmt, n);
  return c != nullptr ? c->indicator : 0;
}

int16_t srv_column_editable(SrvConnection*, SrvStatement*, int16_t) { return 0; }

int16_t srv_close_statement(SrvConnection* conn, SrvStatement* stmt) {
  if (!usable(conn) || stmt == nullptr) return 0;
  if (!conn->functions->close(conn, stmt, 1)) return 0;
  return srv_statement_free(conn->env, stmt);
}

int16_t srv_close_cursor(SrvConnection* conn, SrvStatement* stmt) {
  if (!usable(conn) || stmt == nullptr) return 0;
  return conn->functions->close(conn, stmt, 0);
}

void srv_hex_encode(char* dst, const void* src, int32_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(src);
  if (n < 0) n = 0;
  // From the end backwards, so that dst may equal src.
  dst[2 * n] = '\0';
  for (int32_t i = n - 1; i >= 0; --i) {
    const unsigned char b = bytes[i];
    dst[2 * i + 1] = kDigits[b & 15];
    dst[2 * i] = kDigits[b >> 4];
  }
}

int32_t srv_hex_decode(void* dst, const char* text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
  };
  auto* out = static_cast<unsigned char*>(dst);
  const int32_t n = static_cast<int32_t>(std::strlen(text) / 2);
  // Byte i needs only digits 2i and 2i+1: forwards is safe when dst == text.
  for (int32_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(digit(text[2 * i]) << 4 | digit(text[2 * i + 1]));
  return n;
}
