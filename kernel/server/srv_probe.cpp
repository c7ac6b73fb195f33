// Probes, SQL string literals and statements from kernel strings.
#include "kernel/server/srv_probe.h"

#include <cstdio>
#include <cstring>

#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"

std::string srv_sql_string(const char* text) {
  const size_t n = text != nullptr ? std::strlen(text) : 0;
  std::string quoted(2 * n + 3, '\0');
  str_quote(quoted.data(), text != nullptr ? text : "", "'", static_cast<int32_t>(quoted.size()));
  quoted.resize(std::strlen(quoted.c_str()));
  return quoted;
}

std::string srv_column_text(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  if (n < 1 || n > stmt->column_count || srv_column_indicator(conn, stmt, n) == -1) return "";
  Value v{};
  std::string text;
  if (srv_column_value(conn, stmt, &v, n)) {
    const int32_t length = value_text_length(&v);
    text.assign(static_cast<size_t>(length > 0 ? length : 0) + 64, '\0');
    value_to_text_plain(&v, text.data(), static_cast<int32_t>(text.size()), -1);
    text.resize(std::strlen(text.c_str()));
  }
  value_free(&v);
  return text;
}

int16_t srv_probe_row(SrvConnection* conn, const std::string& sql, std::string* first, bool* executed) {
  if (first != nullptr) first->clear();
  SrvStatement* stmt = srv_execute(conn, sql.c_str());
  if (executed != nullptr) *executed = stmt != nullptr;
  if (stmt == nullptr) return 0;
  int16_t found = 0;
  if (srv_fetch(conn, stmt, kSrvFetchNext) && !srv_statement_at_end(conn, stmt)) {
    found = 1;
    if (first != nullptr) *first = srv_column_text(conn, stmt, 1);
  }
  srv_close_statement(conn, stmt);
  return found;
}

std::string srv_kernel_statement(int32_t id, std::initializer_list<std::string> args) {
  const char* t = kernel_string(id);
  std::string out;
  for (; *t != '\0'; ++t) {
    if (t[0] == '^' && t[1] >= '0' && t[1] <= '9' && static_cast<size_t>(t[1] - '0') < args.size()) {
      out += *(args.begin() + (t[1] - '0'));
      ++t;
    } else {
      out.push_back(*t);
    }
  }
  return out;
}

bool srv_begins_nocase(const char* text, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return text != nullptr && std::strlen(text) >= n && mb_strn_equal_nocase(text, prefix, static_cast<int32_t>(n));
}

std::string srv_fixed8(double v) {
  char text[400];
  std::snprintf(text, sizeof text, "%.8f", v);
  return text;
}
