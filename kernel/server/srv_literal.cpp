// SQL value literals in the dialect of a connection's server, the key
// condition of a linked row, key columns added to a select list, aggregate
// detection and re-reading one row by its key.
#include <cstdio>
#include <cstring>
#include <string>

#include "kernel/runtime/date.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/server/srv_query.h"
#include "kernel/server/srv_sdorel.h"
#include "kernel/tables/tabdef.h"

namespace {

bool ius(const SrvConnection* conn) { return srv_is_kind(conn, SRV_KIND_IUS); }
bool oracle(const SrvConnection* conn) { return srv_is_kind(conn, SRV_KIND_ORACLE); }
bool informix(const SrvConnection* conn) { return srv_is_kind(conn, SRV_KIND_INFORMIX); }

// The text into out within size bytes; 0 (out empty) when it does not fit.
int16_t put(char* out, int32_t size, const std::string& text) {
  if (static_cast<int64_t>(text.size()) + 1 > size) {
    out[0] = '\0';
    return 0;
  }
  std::memcpy(out, text.c_str(), text.size() + 1);
  return 1;
}

std::string date_text(const Date* date) {
  char d[11];
  date_format_ordered_text(d, sizeof d, date, 2, "-", "-");
  return d;
}

std::string date_literal(const SrvConnection* conn, const Date* date) {
  return oracle(conn) ? "TO_DATE('" + date_text(date) + "', 'YYYY-MM-DD')" : "{d '" + date_text(date) + "'}";
}

std::string time_literal(const SrvConnection* conn, const Time* time, const char* picture) {
  char t[16];
  time_format_picture(t, sizeof t, time, picture);
  return oracle(conn) ? std::string("TO_TIMESTAMP('") + t + "', 'HH24:MI:SS.FF')" : std::string("{t '") + t + "'}";
}

std::string timestamp_literal(const SrvConnection* conn, const DateTime* value, bool escape_only) {
  char dt[32];
  datetime_format_ordered(dt, sizeof dt, value, 2, "-", "-", "HH:mm:ss.fff");
  if (oracle(conn) && !escape_only) return std::string("TO_TIMESTAMP('") + dt + "', 'YYYY-MM-DD HH24:MI:SS.FF')";
  return std::string("{ts '") + dt + "'}";
}

}  // namespace

char* srv_text_block(const std::string& text) {
  char* block = nullptr;
  if (!mem_alloc(static_cast<int64_t>(text.size()) + 1, &block, static_cast<char**>(nullptr))) return nullptr;
  std::memcpy(block, text.c_str(), text.size() + 1);
  return block;
}

int16_t srv_value_literal(const SrvConnection* conn, char* out, Value* value, int32_t size, int16_t decimals) {
  if (out == nullptr || size <= 0) return 0;
  out[0] = '\0';
  if (value == nullptr) return 0;
  switch (value->type) {
    case 1: {
      const int32_t length = value_text_length(value);
      std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
      value_to_text_plain(value, text.data(), static_cast<int32_t>(text.size()), -1);
      text.resize(std::strlen(text.c_str()));
      while (!text.empty() && text.back() == ' ') text.pop_back();
      if (text.empty()) return put(out, size, "NULL");
      std::string quoted(2 * text.size() + 3, '\0');
      str_quote(quoted.data(), text.c_str(), "'", static_cast<int32_t>(quoted.size()));
      return put(out, size, quoted.c_str());
    }
    case 2:
    case 3:
    case 4:
    case 39: {
      char text[64];
      value_to_text_plain(value, text, sizeof text, value->type == 2 ? decimals : -1);
      if (text[0] == '\0') return put(out, size, "NULL");
      return put(out, size, text);
    }
    case 8: {
      // Room for every digit and the exponent of the widest double.
      char text[32];
      value_to_text_full(value, text, sizeof text, -1, 0);
      if (text[0] == '\0') return put(out, size, "NULL");
      return put(out, size, text);
    }
    case 5:
      if (date_is_empty(&value->u.date)) return put(out, size, "NULL");
      return put(out, size, date_literal(conn, &value->u.date));
    case 6: {
      const bool on = value_get_logical(value) != 0;
      if (mb_str_equal_nocase(conn != nullptr ? conn->server_type : "", "IUS")) return put(out, size, on ? "\"T\"" : "\"F\"");
      return put(out, size, on ? "1" : "0");
    }
    case 37:
      if (time_is_null(&value->u.time)) return put(out, size, "NULL");
      return put(out, size, time_literal(conn, &value->u.time,
                                         informix(conn) || ius(conn) ? "HH:mm:ss" : "HH:mm:ss.fff"));
    case 38: {
      DateTime* dt = &value->u.dt;
      const bool no_time = time_is_null(&dt->time) != 0;
      const bool no_date = date_is_empty(&dt->date) != 0;
      if (no_time && no_date) return put(out, size, "NULL");
      if (no_time) return put(out, size, date_literal(conn, &dt->date));
      if (!no_date) return put(out, size, timestamp_literal(conn, dt, false));
      if (informix(conn) || ius(conn) || srv_is_kind(conn, SRV_KIND_ACCESS)) {
        date_today(&dt->date);
        return put(out, size, timestamp_literal(conn, dt, true));
      }
      return put(out, size, time_literal(conn, &dt->time, "HH:mm:ss.fff"));
    }
    default:
      return 0;
  }
}

// ---- key conditions and select lists ------------------------------------------------------

int16_t srv_key_condition(const SrvConnection* conn, SrvQuery* query, FieldDef* row, char** out) {
  *out = nullptr;
  std::string text;
  const SrvKeyList* keys = query != nullptr ? query->keys : nullptr;
  const int16_t count = keys != nullptr ? keys->count : 0;
  for (int16_t k = 0; k < count; ++k) {
    for (int16_t i = 0; i < query->item_count; ++i) {
      SrvSelectItem item;
      if (!srv_parse_select_item(conn, &item, query->items[i])) continue;
      if (!srv_identifiers_equal(conn, item.name, keys->names[k])) continue;
      // Long enough for any literal of a key column: its text quoted.
      const int32_t room = row != nullptr && row[i].value.type == 1 ? 2 * value_text_length(&row[i].value) + 64 : 512;
      std::string literal(static_cast<size_t>(room), '\0');
      if (row == nullptr || !srv_value_literal(conn, literal.data(), &row[i].value, room, row[i].decimals)) {
        err_push(4, kErrSrvColumnType, item.name, nullptr);
        return 0;
      }
      literal.resize(std::strlen(literal.c_str()));
      if (!text.empty()) text += " AND ";
      text += item.name;
      text += mb_str_equal_nocase(literal.c_str(), "NULL") ? " IS " : "=";
      text += literal;
      break;
    }
  }
  *out = srv_text_block(text);
  return *out != nullptr;
}

int16_t srv_query_has_aggregate(const SrvConnection* conn, SrvQuery* query, int16_t* count, char** items) {
  static const char* const kAggregates[] = {"AVG", "COUNT", "GUB", "LUB", "MAX", "MIN", "SUM", "STDEV", "VARIANCE"};
  int16_t found = 0;
  const int16_t n = count != nullptr ? *count : 0;
  for (int16_t i = 0; i < n; ++i) {
    SrvSelectItem item;
    if (items[i] == nullptr || !srv_parse_select_item(conn, &item, items[i])) continue;
    char* bracket = std::strchr(item.name, '(');
    if (bracket == nullptr) continue;
    *bracket = '\0';
    str_trim_right(item.name);
    for (const char* name : kAggregates) {
      if (mb_str_equal_nocase(item.name, name)) found = 1;
    }
  }
  if (found && query != nullptr) query->aggregate = 1;
  return found;
}

int16_t srv_add_key_columns(const SrvConnection* conn, SrvQuery* query, int16_t* count, char** items) {
  if (query == nullptr || query->keys == nullptr) return 1;
  const char* q = conn != nullptr ? conn->quote : "";
  for (int16_t k = 0; k < query->keys->count; ++k) {
    const char* key = query->keys->names[k];
    bool present = false;
    for (int16_t i = 0; i < *count && !present; ++i) {
      SrvSelectItem item;
      if (items[i] == nullptr || !srv_parse_select_item(conn, &item, items[i])) continue;
      present = std::strcmp(item.name, "*") == 0 || srv_identifiers_equal(conn, item.name, key);
    }
    if (!present && srv_is_kind(conn, SRV_KIND_ORA_SDO)) {
      present = mb_str_equal_nocase(key, query->desc != nullptr ? query->desc->column : "SDO_GID");
    }
    if (present) continue;
    if (*count >= kSrvMaxSelectItems) {
      err_push(4, kErrSrvListTooLong, nullptr, nullptr);
      return 0;
    }
    std::string text;
    const SrvTableRef* ref = query->table;
    if (ref != nullptr && ref->alias[0] != '\0') text = std::string(q) + ref->alias + q;
    else if (ref != nullptr && conn != nullptr && std::strcmp(conn->server_type, "ACCESS") == 0) text = std::string(q) + ref->table + q;
    else if (ref != nullptr) text = ref->text;
    text += std::string(".") + q + key + q;
    char* block = srv_text_block(text);
    if (block == nullptr) return 0;
    const int16_t at = static_cast<int16_t>(*count - query->hidden_items);
    for (int16_t i = *count; i > at; --i) items[i] = items[i - 1];
    items[at] = block;
    ++*count;
    ++query->added_keys;
    if (query->desc != nullptr && query->desc->style_column) ++query->style_index;
  }
  return 1;
}

char* srv_query_statement_text(const SrvConnection* conn, const SrvQuery* query, const char* text) {
  std::string sql = text != nullptr ? text : "";
  if (query != nullptr && query->extension && srv_is_kind(conn, SRV_KIND_SQLSERVER_QD)) {
    std::string quoted(2 * sql.size() + 3, '\0');
    str_quote(quoted.data(), sql.c_str(), "'", static_cast<int32_t>(quoted.size()));
    sql = "exec sp_spatial_query " + std::string(quoted.c_str());
  }
  return srv_text_block(sql);
}

int16_t srv_select_row_by_key(SrvConnection* conn, SrvQuery* query, int16_t count, FieldDef* key_row,
                              FieldDef* fields, MapObject* object, int16_t* found) {
  *found = 0;
  if (query == nullptr || query->keys == nullptr) {
    err_push(4, kErrSrvNoKeyList, nullptr, nullptr);
    return 0;
  }
  char* condition = nullptr;
  if (!srv_key_condition(conn, query, key_row, &condition)) return 0;
  mem_free(&query->keys->condition);
  query->keys->condition = condition;
  char* list = nullptr;
  if (!srv_join_select_list(query->items, query->item_count, &list)) return 0;
  const std::string select = std::string("SELECT ") + list + " FROM " + (query->table ? query->table->text : "") +
                             " WHERE " + condition;
  mem_free(&list);
  char* sql = srv_query_statement_text(conn, query, select.c_str());
  if (sql == nullptr) return 0;
  int16_t ok = srv_set_session_coordsys(conn, query);
  SrvStatement* stmt = ok ? srv_execute(conn, sql) : nullptr;
  mem_free(&sql);
  if (stmt == nullptr) return 0;
  ok = srv_fetch(conn, stmt, kSrvFetchNext);
  if (ok && !srv_statement_at_end(conn, stmt)) {
    *found = 1;
    for (int16_t c = 0; fields != nullptr && c < count && ok; ++c) {
      ok = srv_column_value(conn, stmt, &fields[c].value, static_cast<int16_t>(c + 1));
    }
    if (ok && query->hidden_items > 0 && object != nullptr) ok = srv_row_to_object(conn, query, stmt, object, 0, 0);
  }
  if (!srv_close_statement(conn, stmt)) ok = 0;
  return ok;
}
