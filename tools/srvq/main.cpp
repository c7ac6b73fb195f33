// srvq: runs statements through the server layer.
//
//   srvq [-a ALIAS] [-d DRIVER] CONNECT [LINE...]
//
// Loads the driver modules, registers the table of the module's driver
// again under ALIAS (-a), connects with DRIVER (default "ODBC") and runs
// each LINE (stdin lines when none is given):
//   an SQL statement   "name:type" per result column, TAB-separated, then
//                      one line per row: each column's value as plain text
//                      (\N for NULL), TAB-separated
//   :info              server=...|version=...|user=...|schema=...|source=...
//                      |quote=...|number=...
//   :open CONNECT      opens or reuses a connection of the same driver:
//                      conn=<number>|paired=<number of its pair, or 0>
//   :literal TYPE TEXT the SQL literal of TEXT read as a value of TYPE
//   :count SQL         the rows the select text SQL counts (srv_query_row_count)
//   :download TABLE PATH SQL
//                      runs SQL and downloads its rows into the native
//                      table TABLE, file PATH: prints srv_fetch's answer
//   :detect            runs the server detectors in order on the connection:
//                      <name>=<answer> joined by "|", then number=<the
//                      server version number>; then the error stack's
//                      entries as "error" lines (the stack is cleared and
//                      the run goes on)
// A failure prints "error <code>: <text1>|<text2>" per error entry and
// exits 1; bad arguments exit 2.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/valconv.h"
#include "kernel/runtime/value.h"
#include "kernel/server/srv.h"
#include "kernel/server/srv_detect.h"
#include "kernel/server/srv_download.h"
#include "kernel/server/srv_query.h"
#include "kernel/server/srv_select.h"
#include "kernel/tables/tabread.h"

namespace {

std::string arg_text(int16_t offset, int16_t length) {
  if (length <= 0 || offset < 0 || offset + length > kErrPoolSize) return "";
  return std::string(g_err_stack->pool + offset);
}

void print_errors() {
  for (int i = 0; i < g_err_stack->stored_count && i < kErrMaxEntries; ++i) {
    const ErrorEntry& e = g_err_stack->entries[i];
    if (e.code == 0 || e.code == -1) continue;
    std::printf("error %d: %s|%s\n", e.code, arg_text(e.arg1_offset, e.arg1_length).c_str(),
                arg_text(e.arg2_offset, e.arg2_length).c_str());
  }
}

int fail() {
  print_errors();
  if (err_count() == 0) std::printf("error 0: |\n");
  err_clear();
  srv_unload_all();
  return 1;
}

bool run_sql(SrvConnection* conn, const char* sql) {
  SrvStatement* stmt = srv_execute(conn, sql);
  if (stmt == nullptr) return false;
  const int32_t n = stmt->column_count;
  for (int16_t c = 1; c <= n; ++c) {
    std::printf("%s%s:%d", c > 1 ? "\t" : "", srv_column_name(conn, stmt, c), srv_column_type(conn, stmt, c));
  }
  if (n > 0) std::printf("\n");
  Value v{};
  bool ok = true;
  while (true) {
    if (!srv_fetch(conn, stmt, kSrvFetchNext)) {
      ok = false;
      break;
    }
    if (srv_statement_at_end(conn, stmt)) break;
    std::string line;
    for (int16_t c = 1; c <= n; ++c) {
      if (c > 1) line += '\t';
      if (!srv_column_value(conn, stmt, &v, c)) {
        ok = false;
        break;
      }
      if (srv_column_indicator(conn, stmt, c) == -1) {
        line += "\\N";
        continue;
      }
      char text[4 * 16384];
      value_to_text_plain(&v, text, sizeof text, -1);
      line += text;
    }
    if (!ok) break;
    std::printf("%s\n", line.c_str());
  }
  value_free(&v);
  if (!srv_close_statement(conn, stmt)) ok = false;
  return ok;
}

void info(const SrvConnection* conn) {
  std::printf("server=%s|version=%s|user=%s|schema=%s|source=%s|quote=%s|number=%d\n", conn->server_type,
              conn->version, conn->user, conn->default_schema, conn->source, conn->quote, conn->number);
}

void detect(SrvConnection* conn) {
  std::string line;
  for (const SrvDetector* d = g_srv_detectors; d->name != nullptr; ++d) {
    if (!line.empty()) line += '|';
    line += std::string(d->name) + "=" + std::to_string(d->detect(conn));
  }
  std::printf("%s|number=%d\n", line.c_str(), conn->version_number);
  print_errors();
  err_clear();
}

void open_line(const char* driver, const char* connect) {
  SrvConnection* conn = srv_open_connection(driver, connect);
  if (conn == nullptr) return;
  std::printf("conn=%d|paired=%d\n", conn->number, conn->paired != nullptr ? conn->paired->number : 0);
}

// ":literal TYPE TEXT" (TEXT may be missing: an empty text).
bool literal_line(const SrvConnection* conn, const std::string& rest) {
  const size_t blank = rest.find(' ');
  const std::string type_text = rest.substr(0, blank);
  const std::string text = blank == std::string::npos ? "" : rest.substr(blank + 1);
  char* end = nullptr;
  const long type = std::strtol(type_text.c_str(), &end, 10);
  if (type_text.empty() || *end != '\0' || type < 0 || type > 255) {
    err_push(4, kErrSrvColumnType, type_text.c_str(), nullptr);
    return false;
  }
  Value v{};
  value_init(&v, static_cast<int32_t>(type), nullptr);
  value_from_text(text.c_str(), static_cast<int32_t>(type), static_cast<int32_t>(text.size()) + 1, -1, 1, &v, 0);
  std::string out(2 * text.size() + 128, '\0');
  const int16_t ok = srv_value_literal(conn, out.data(), &v, static_cast<int32_t>(out.size()), -1);
  value_free(&v);
  if (!ok) {
    err_push(4, kErrSrvColumnType, type_text.c_str(), nullptr);
    return false;
  }
  std::printf("%s\n", out.c_str());
  return true;
}

void count_line(SrvConnection* conn, const std::string& sql) {
  std::string text = sql;
  SrvQuery query{};
  query.conn = conn;
  query.sql = text.data();
  SrvStatement stmt{};
  stmt.connection = conn;
  std::printf("%ld\n", srv_query_row_count(&stmt, &query));
}

// ":download TABLE PATH SQL"
bool download_line(SrvConnection* conn, const std::string& rest) {
  const size_t a = rest.find(' ');
  const size_t b = a == std::string::npos ? a : rest.find(' ', a + 1);
  if (b == std::string::npos) {
    err_push(4, kErrSrvStatement, nullptr, nullptr);
    return false;
  }
  SrvStatement* stmt = srv_execute(conn, rest.c_str() + b + 1);
  if (stmt == nullptr) return false;
  int16_t ok = srv_set_download(stmt, rest.substr(0, a).c_str(), rest.substr(a + 1, b - a - 1).c_str());
  if (ok) ok = srv_fetch(conn, stmt, kSrvFetchNext);
  std::printf("%d\n", ok);
  srv_close_statement(conn, stmt);
  return ok != 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* alias = nullptr;
  const char* driver = "ODBC";
  int arg = 1;
  while (arg + 1 < argc && argv[arg][0] == '-' && argv[arg][1] != '\0' && argv[arg][2] == '\0') {
    if (argv[arg][1] == 'a') alias = argv[arg + 1];
    else if (argv[arg][1] == 'd') driver = argv[arg + 1];
    else break;
    arg += 2;
  }
  if (arg >= argc || argv[arg][0] == '-') {
    std::fputs("usage: srvq [-a ALIAS] [-d DRIVER] CONNECT [LINE...]\n", stderr);
    return 2;
  }
  const char* connect = argv[arg++];
  err_clear();
  tables_runtime_start();
  if (!srv_init()) return fail();
  if (alias != nullptr) {
    SrvFunctionTable* table = srv_driver_functions("ODBC");
    if (table == nullptr || !srv_register_driver_for_test(alias, table)) return fail();
  }
  SrvConnection* conn = srv_open_connection(driver, connect);
  if (conn == nullptr) return fail();
  std::vector<std::string> lines;
  for (; arg < argc; ++arg) lines.emplace_back(argv[arg]);
  const bool from_stdin = lines.empty();
  std::string line;
  char chunk[4096];
  size_t next = 0;
  while (true) {
    if (from_stdin) {
      line.clear();
      bool got = false;
      while (std::fgets(chunk, sizeof chunk, stdin)) {
        got = true;
        line += chunk;
        if (!line.empty() && line.back() == '\n') break;
      }
      if (!got) break;
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      if (line.empty()) continue;
    } else {
      if (next >= lines.size()) break;
      line = lines[next++];
    }
    if (line == ":info") {
      info(conn);
    } else if (line == ":detect") {
      detect(conn);
    } else if (line.rfind(":open ", 0) == 0) {
      open_line(driver, line.c_str() + 6);
      if (err_count() > 0) return fail();
    } else if (line.rfind(":count ", 0) == 0) {
      count_line(conn, line.substr(7));
    } else if (line.rfind(":download ", 0) == 0) {
      if (!download_line(conn, line.substr(10))) return fail();
    } else if (line.rfind(":literal ", 0) == 0) {
      if (!literal_line(conn, line.substr(9))) return fail();
    } else if (!run_sql(conn, line.c_str())) {
      return fail();
    }
    std::fflush(stdout);
  }
  srv_unload_all();
  return 0;
}
