// Download of a statement's result into a native table: the table is made
// with the result's columns by the kernel's statement runner, every row is
// inserted with an Insert Into statement, and the table is committed.
#include "kernel/server/srv_download.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/date.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/lang/names.h"

namespace {

SrvStatementRunner g_runner = stmt_exec_text;

int16_t run(const std::string& text) { return g_runner(text.c_str(), 0); }

const char* table_name(const SrvStatement* stmt) { return static_cast<const char*>(stmt->download_name); }

// The type clause of a result column; empty for a type without one.
std::string type_clause(SrvConnection* conn, SrvStatement* stmt, int16_t n) {
  char text[64];
  switch (srv_column_type(conn, stmt, n)) {
    case 1:
    case 16: {
      const int32_t width = srv_column_width(conn, stmt, n);
      std::snprintf(text, sizeof text, "CHAR(%ld)", static_cast<long>(width > 254 ? 254 : width < 1 ? 1 : width));
      return text;
    }
    case 17: {
      const int64_t width = 2 * static_cast<int64_t>(srv_column_width(conn, stmt, n));
      std::snprintf(text, sizeof text, "CHAR(%ld)", static_cast<long>(width > 254 ? 254 : width < 1 ? 1 : width));
      return text;
    }
    case 2:
      std::snprintf(text, sizeof text, "DECIMAL(%ld,%ld)", static_cast<long>(srv_column_precision(conn, stmt, n) + 2),
                    static_cast<long>(srv_column_scale(conn, stmt, n)));
      return text;
    case 3: return "INTEGER";
    case 4: return "SMALLINT";
    case 5: return "DATE";
    case 6: return "LOGICAL";
    case 8: return "FLOAT";
    case 37: return "TIME";
    case 38: return "DATETIME";
    default: return "";
  }
}

double column_double(const SrvColumn* c) {
  double d = 0;
  std::memcpy(&d, c->buffer, sizeof d);
  return d;
}

// The text of a Date, Time or DateTime buffer as the runner reads it back.
std::string record_text(uint8_t type, const void* buffer) {
  Value v{};
  value_init(&v, type, nullptr);
  switch (type) {
    case 5: std::memcpy(&v.u.date, buffer, sizeof(Date)); break;
    case 37: std::memcpy(&v.u.time, buffer, sizeof(Time)); break;
    default: std::memcpy(&v.u.dt, buffer, sizeof(DateTime)); break;
  }
  char text[64] = "";
  value_to_text_plain(&v, text, sizeof text, -1);
  value_free(&v);
  return text;
}

// What the value texts need of a column, asked once per download.
struct ColumnShape {
  int32_t width;
  int32_t precision;
  int32_t scale;
};

// Appends a text in double quotes with inner quotes doubled.
void append_quoted(std::string* out, const char* text, size_t n) {
  *out += '"';
  for (size_t i = 0; i < n; ++i) {
    *out += text[i];
    if (text[i] == '"') *out += '"';
  }
  *out += '"';
}

void append_number(std::string* out, double d, std::chars_format format, int precision) {
  char text[400];
  const auto r = std::to_chars(text, text + sizeof text, d, format, precision);
  out->append(text, r.ec == std::errc() ? static_cast<size_t>(r.ptr - text) : 0);
}

// Appends the value text of column n of the current row.
void append_value(std::string* out, SrvStatement* stmt, int16_t n, const ColumnShape& shape) {
  SrvColumn* c = &stmt->columns[n - 1];
  switch (c->type) {
    case 1:
    case 16: {
      if (c->indicator == -1 || c->buffer == nullptr) {
        *out += "\"\"";
        return;
      }
      // The value cut to its column's width, control characters and
      // trailing blanks left out, then quoted whole.
      const char* text = static_cast<const char*>(c->buffer);
      const size_t length = strnlen(text, static_cast<size_t>(c->buffer_length));
      const size_t width = shape.width > 254 || shape.width < 1 ? 254 : static_cast<size_t>(shape.width);
      *out += '"';
      size_t kept = 0;
      size_t end = out->size();  // after the last character that is not a blank
      for (size_t i = 0; i < length && kept < width; ++i) {
        const char ch = text[i];
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) continue;
        ++kept;
        *out += ch;
        if (ch == '"') *out += '"';
        if (ch != ' ') end = out->size();
      }
      out->resize(end);
      *out += '"';
      return;
    }
    case 2: {
      const size_t at = out->size();
      append_number(out, column_double(c), std::chars_format::fixed, shape.scale);
      const size_t digits = out->size() - at;
      if (shape.precision > 0 && digits < static_cast<size_t>(shape.precision)) {
        out->insert(at, static_cast<size_t>(shape.precision) - digits, ' ');
      }
      return;
    }
    case 3:
    case 4:
    case 6: {
      char text[32];
      const auto r = std::to_chars(text, text + sizeof text, static_cast<long>(column_double(c)));
      out->append(text, static_cast<size_t>(r.ptr - text));
      return;
    }
    case 8: append_number(out, column_double(c), std::chars_format::general, 16); return;
    case 5:
    case 37:
    case 38: {
      const std::string text = c->indicator == -1 ? std::string() : record_text(c->type, c->buffer);
      append_quoted(out, text.data(), text.size());
      return;
    }
    case 17: {
      if (c->indicator == -1) {
        *out += "\"\"";
        return;
      }
      if (c->indicator > 127) c->indicator = -2;
      const int32_t count = c->indicator == -2 ? 127 : c->indicator;
      char hex[2 * 127 + 1];
      srv_hex_encode(hex, c->buffer, count);
      append_quoted(out, hex, 2 * static_cast<size_t>(count));
      return;
    }
    default: *out += "\"\""; return;
  }
}

}  // namespace

void srv_set_statement_runner(SrvStatementRunner runner) { g_runner = runner != nullptr ? runner : stmt_exec_text; }

int16_t srv_set_download(SrvStatement* stmt, const char* table, const char* path) {
  if (stmt == nullptr || table == nullptr || table[0] == '\0') return 0;
  mem_free(&stmt->download_name);
  mem_free(&stmt->download_path);
  stmt->download_name = srv_text_block(table);
  if (stmt->download_name == nullptr) return 0;
  if (path != nullptr && path[0] != '\0') {
    stmt->download_path = srv_text_block(path);
    if (stmt->download_path == nullptr) return 0;
  }
  return 1;
}

int16_t srv_create_download_table(SrvConnection* conn, SrvStatement* stmt) {
  if (conn == nullptr || stmt == nullptr || stmt->download_name == nullptr) return 0;
  const std::string name = table_name(stmt);
  std::string text = "CREATE TABLE \"" + name + "\" (";
  char* used = nullptr;
  int16_t ok = 1;
  for (int16_t i = 1; ok; ++i) {
    const int32_t count = srv_num_columns(conn, stmt);
    if (count < 0) {
      ok = 0;
      break;
    }
    if (i > count) break;
    if (i > 1) text += ",";
    std::string column = srv_column_alias(conn, stmt, i);
    if (column.empty()) column = srv_column_name(conn, stmt, i);
    if (column.empty()) column = "_COL" + std::to_string(i);
    char repaired[kNameMaxChars + 1];
    str_copy_n(repaired, column.substr(0, 255).c_str(), sizeof repaired);
    column_name_make_unique(repaired, &used);
    const std::string clause = type_clause(conn, stmt, i);
    if (clause.empty()) {
      err_clear();
      err_push(4, kErrSrvColumnType, srv_column_name(conn, stmt, i), nullptr);
      ok = 0;
      break;
    }
    text += std::string(repaired) + " " + clause;
  }
  mem_free(&used);
  if (!ok) return 0;
  text += ")";
  if (stmt->download_path != nullptr) text += std::string(" File \"") + stmt->download_path + "\"";
  ok = run(text);
  if (!ok) return 0;
  return run("SET TABLE " + name + " FASTEDIT ON UNDO OFF");
}

int16_t srv_download(SrvConnection* conn, SrvStatement* stmt) {
  stmt->at_end = 0;
  if (!srv_create_download_table(conn, stmt)) return 0;
  const std::string name = table_name(stmt);
  const std::string head = "Insert Into " + name + " Values(";
  std::vector<ColumnShape> shapes;
  for (int16_t n = 1; n <= stmt->column_count; ++n) {
    shapes.push_back({srv_column_width(conn, stmt, n), srv_column_precision(conn, stmt, n),
                      srv_column_scale(conn, stmt, n)});
  }
  std::string text;
  text.reserve(16385);
  int16_t answer = 1;
  while (true) {
    if (!conn->functions->fetch(conn, stmt, stmt->columns, kSrvFetchNext)) {
      if (value_user_break()) {
        conn->error_code = kErrSrvUserBreak;
        err_push(4, kErrSrvUserBreak, nullptr, nullptr);
        answer = 0;
      } else if (conn->error_code == kSrvNoData) {
        stmt->at_end = 1;
      } else if (conn->error_code == kErrSrvUserBreak) {
        err_push(4, kErrSrvUserBreak, nullptr, nullptr);
        answer = 0;
      } else {
        srv_report(conn);
        answer = 0;
      }
      break;
    }
    text = head;
    for (int16_t n = 1; n <= stmt->column_count; ++n) {
      if (n > 1) text += ",";
      append_value(&text, stmt, n, shapes[static_cast<size_t>(n - 1)]);
    }
    text += ")";
    if (!run(text)) {
      answer = 0;
      break;
    }
  }
  run("COMMIT TABLE " + name);
  run("SET TABLE " + name + " FASTEDIT OFF UNDO ON");
  return answer;
}
