// Query text analysis: a select text split into its select list, table
// list, condition and rest; the first table of a table list; counting a
// query's rows; existence and maximum probes; and the refusal to create
// server tables.
#include "kernel/server/srv_select.h"

#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/runtime/value.h"
#include "kernel/server/srv_exec.h"

namespace {

constexpr const char* kDelimiters = " \t\n\r;";

// The next token that is not empty (two delimiters in a row give none).
char* next_token(char** cursor) {
  char* token = srv_next_token(cursor, *cursor, kDelimiters, 1);
  while (token != nullptr && token[0] == '\0') token = srv_next_token(cursor, *cursor, kDelimiters, 1);
  return token;
}

bool keyword_is(const char* token, int32_t id) {
  const char* word = kernel_string(id);
  return word[0] != '\0' && mb_str_equal_nocase(token, word);
}

bool ends_table_list(const char* token) {
  for (const char* word : {"HAVING", "GROUP", "FOR", "UNION", "ORDER", "WHERE"}) {
    if (mb_str_equal_nocase(token, word)) return true;
  }
  return false;
}

bool ends_condition(const char* token) {
  for (int32_t id : {kStrSrvGroup, kStrSrvOrder, kStrSrvUnion, kStrSrvFor, kStrSrvHaving}) {
    if (keyword_is(token, id)) return true;
  }
  return false;
}

void trim_right(std::string* text) {
  while (!text->empty() && (text->back() == ' ' || text->back() == '\t' || text->back() == '\n' ||
                            text->back() == '\r')) {
    text->pop_back();
  }
}

std::string trimmed(const std::string& text) {
  size_t a = 0;
  while (a < text.size() && (text[a] == ' ' || text[a] == '\t' || text[a] == '\n' || text[a] == '\r')) ++a;
  std::string out = text.substr(a);
  trim_right(&out);
  return out;
}

bool informix_like(const SrvConnection* conn) {
  return srv_is_kind(conn, SRV_KIND_INFORMIX) || std::strcmp(conn->server_type, "IUS") == 0;
}

// A statement closed at once; answers whether it ran.
bool probe(SrvConnection* conn, const std::string& sql) {
  SrvStatement* stmt = srv_execute(conn, sql.c_str());
  if (stmt == nullptr) return false;
  srv_close_statement(conn, stmt);
  return true;
}

// The first column of the first row as a long integer; false when nothing
// was fetched or the value is NULL.
bool first_number(SrvConnection* conn, SrvStatement* stmt, long* out) {
  if (!srv_fetch(conn, stmt, kSrvFetchNext) || srv_statement_at_end(conn, stmt)) return false;
  if (srv_column_indicator(conn, stmt, 1) == -1) return false;
  Value v{};
  value_init(&v, VALUE_FLOAT, nullptr);
  const bool ok = srv_column_value(conn, stmt, &v, 1) != 0;
  if (ok) *out = static_cast<long>(value_to_double(&v));
  value_free(&v);
  return ok;
}

}  // namespace

int16_t srv_split_select(char* text, std::string* select_out, std::string* from_out, std::string* where_out,
                         std::string* rest_out) {
  std::string select, from, where, rest;
  for (std::string* out : {select_out, from_out, where_out, rest_out}) {
    if (out != nullptr) out->clear();
  }
  auto done = [&](int16_t answer) {
    if (select_out != nullptr) *select_out = select;
    if (from_out != nullptr) *from_out = from;
    if (where_out != nullptr) *where_out = where;
    if (rest_out != nullptr) *rest_out = rest;
    return answer;
  };
  if (text == nullptr) {
    err_push(4, kErrSrvNoTableList, nullptr, nullptr);
    return 0;
  }
  char* cursor = text;
  char* token = next_token(&cursor);
  while (token != nullptr && !keyword_is(token, kStrSrvFrom)) {
    select += token;
    select += ' ';
    token = next_token(&cursor);
  }
  if (token == nullptr) {
    err_push(4, kErrSrvNoTableList, nullptr, nullptr);
    return done(0);
  }
  token = next_token(&cursor);
  if (token == nullptr) {
    err_push(4, kErrSrvNothingAfterFrom, nullptr, nullptr);
    return done(0);
  }
  int16_t answer = 1;
  while (token != nullptr && !ends_table_list(token)) {
    from += token;
    from += ' ';
    token = next_token(&cursor);
  }
  if (from.empty()) {
    err_push(4, kErrSrvNoTableList, nullptr, nullptr);
    answer = 0;
  }
  if (token != nullptr && keyword_is(token, kStrSrvWhere)) {
    token = next_token(&cursor);
    while (token != nullptr && !ends_condition(token)) {
      where += token;
      where += ' ';
      token = next_token(&cursor);
    }
    trim_right(&where);
  }
  if (token != nullptr) {
    rest += token;
    rest += ' ';
    const std::string remaining = cursor != nullptr ? trimmed(cursor) : std::string();
    if (!remaining.empty()) rest += remaining + ' ';
  }
  return done(answer);
}

int16_t srv_first_from_table(const char* from_list, char* out, int16_t* single) {
  if (single != nullptr) *single = 1;
  if (out != nullptr) out[0] = '\0';
  std::string list = from_list != nullptr ? from_list : "";
  std::vector<std::string> tables;
  char* cursor = list.data();
  while (char* token = srv_next_token(&cursor, cursor, ",", 1)) tables.push_back(trimmed(token));
  if (!tables.empty() && out != nullptr) str_copy_n(out, tables[0].c_str(), kSrvTableRefTextSize);
  if (single != nullptr && tables.size() > 1) {
    *single = tables[1].find("_SDOGEOM") != std::string::npos ? 1 : 0;
  }
  return srv_noop_ok();
}

int16_t srv_from_first_table(const char* text, char** out) {
  *out = nullptr;
  std::string copy = text != nullptr ? text : "";
  std::string from;
  const int16_t split = srv_split_select(copy.data(), nullptr, &from, nullptr, nullptr);
  char first[kSrvTableRefTextSize] = "";
  int16_t single = 0;
  const int16_t ok = srv_first_from_table(from.c_str(), first, &single);
  *out = srv_text_block(first);
  return split && ok && *out != nullptr ? 1 : 0;
}

int16_t srv_table_exists(SrvConnection* conn, const char* owner, const char* table) {
  if (conn == nullptr || table == nullptr) return 0;
  std::string sql = "select 1 from ";
  if (owner != nullptr && owner[0] != '\0' && !informix_like(conn)) sql += std::string(owner) + ".";
  sql += table;
  const bool ran = probe(conn, sql);
  err_clear();
  return ran ? 1 : 0;
}

long srv_select_max(SrvConnection* conn, const char* column, const char* table) {
  if (conn == nullptr || column == nullptr || table == nullptr) return -1;
  const std::string sql =
      std::string("SELECT max(") + conn->quote + column + conn->quote + ") from " + table + " ";
  SrvStatement* stmt = srv_execute(conn, sql.c_str());
  if (stmt == nullptr) return -1;
  long answer = -1;
  const uint8_t type = stmt->column_count >= 1 ? srv_column_type(conn, stmt, 1) : 0;
  if (type == VALUE_INTEGER || type == VALUE_SMALLINT || type == VALUE_FLOAT) {
    long value = 0;
    if (first_number(conn, stmt, &value)) answer = value;
  }
  srv_close_statement(conn, stmt);
  return answer;
}

int16_t srv_create_table(SrvConnection* conn, const char* name, int32_t, void*) {
  SrvTableRef ref{};
  if (conn != nullptr && name != nullptr && srv_parse_table_ref_default(conn, &ref, name) &&
      srv_table_exists(conn, ref.owner, ref.table)) {
    err_clear();
    err_push(4, kErrSrvTableExists, ref.table, nullptr);
    return 0;
  }
  err_push(4, kErrSrvNoServerCreate, nullptr, nullptr);
  return 0;
}

long srv_query_row_count(SrvStatement* stmt, SrvQuery* query) {
  if (stmt == nullptr || query == nullptr || query->sql == nullptr) return -1;
  SrvConnection* conn = stmt->connection != nullptr ? stmt->connection : query->conn;
  if (conn == nullptr) return -1;
  std::string text = query->sql;
  if (text.size() < 7 || !mb_str_equal_nocase(text.substr(0, 7).c_str(), "select ")) return 100;
  std::string from, where;
  if (!srv_split_select(text.data(), nullptr, &from, &where, nullptr)) return -1;
  std::string sql = mb_str_equal_nocase(conn->server_type, "HELVORISTAN/ORACLE") ? "SELECT COUNT(1) "
                                                                                  : "SELECT COUNT(*) ";
  sql += " FROM " + from;
  if (!where.empty()) sql += " WHERE " + where;
  SrvStatement* count = sql.find('?') != std::string::npos ? srv_prepare_bind_execute(conn, query, sql.c_str())
                                                           : srv_execute(conn, sql.c_str());
  if (count == nullptr) return -1;
  long answer = -1;
  long value = 0;
  if (first_number(conn, count, &value)) answer = value;
  srv_close_statement(conn, count);
  return answer;
}
