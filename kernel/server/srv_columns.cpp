// The spatial column in a select list per server, recognising spatial and
// X/Y result columns, and the unique-index and drop statements per server.
#include <cstdio>
#include <cstring>
#include <string>

#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/server/srv_spatial.h"

namespace {

const char* quote_of(const SrvConnection* conn) { return conn != nullptr ? conn->quote : ""; }

std::string quoted(const char* quote, const char* name) {
  std::string text = quote;
  text.append(name != nullptr ? name : "");
  text.append(quote);
  return text;
}

// Takes n items out at position (kept in out) and closes the gap.
void take_out(char** items, int16_t* count, int16_t position, int16_t n, char** out) {
  if (position < 0 || position >= *count) return;
  if (position + n > *count) n = static_cast<int16_t>(*count - position);
  for (int16_t i = 0; i < n; ++i) out[i] = items[position + i];
  for (int16_t i = position; i + n < *count; ++i) items[i] = items[i + n];
  *count = static_cast<int16_t>(*count - n);
}

int16_t append(char** items, int16_t* count, const std::string& text) {
  if (*count >= kSrvMaxSelectItems) return 0;
  char* block = srv_text_block(text);
  if (block == nullptr) return 0;
  items[(*count)++] = block;
  return 1;
}

// The common frame: the placeholder goes; expand 0 puts the companions
// (n items from position) back at the end, else the new items follow.
template <class Items>
int16_t expand_items(char** items, int16_t* count, int16_t expand, int16_t position, int16_t n, Items make) {
  char* moved[3] = {};
  const int16_t before = *count;
  take_out(items, count, position, n, moved);
  const int16_t taken = static_cast<int16_t>(before - *count);
  if (!expand) {
    for (int16_t i = 0; i < taken; ++i) items[(*count)++] = moved[i];
    return 1;
  }
  for (int16_t i = 0; i < taken; ++i) mem_free(&moved[i]);
  return make();
}

bool has_text(const char* s) { return s != nullptr; }

bool contains_nocase(const char* name, const char* part) {
  const std::string n = name != nullptr ? name : "";
  const std::string p = part != nullptr ? part : "";
  if (p.empty()) return true;
  for (size_t i = 0; i + p.size() <= n.size(); ++i) {
    if (mb_str_equal_nocase(n.substr(i, p.size()).c_str(), p.c_str())) return true;
  }
  return false;
}

bool number_type(uint8_t type, int16_t float_only) {
  return float_only ? type == 8 : (type == 2 || type == 3 || type == 4 || type == 8);
}

// Runs one statement and closes it; 1 when it ran.
int16_t run(SrvConnection* conn, const std::string& sql) {
  SrvStatement* stmt = srv_execute(conn, sql.c_str());
  if (stmt == nullptr) return 0;
  return srv_close_statement(conn, stmt);
}

}  // namespace

// ---- select lists ----------------------------------------------------------------------------

int16_t ora_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char* alias,
                           int16_t expand, int16_t position) {
  const SpatialColumnDesc* desc = query != nullptr ? query->desc : nullptr;
  return expand_items(items, count, expand, position, 1, [&]() -> int16_t {
    if (desc == nullptr) {
      append(items, count, "");
      return 0;
    }
    return append(items, count, std::string(alias) + "." + quoted(quote_of(conn), desc->column));
  });
}

int16_t spx_select_columns(SrvConnection* conn, SrvQuery*, char** items, int16_t* count, const char* alias,
                           int16_t expand, int16_t position) {
  return expand_items(items, count, expand, position, 1, [&]() -> int16_t {
    return append(items, count, std::string(alias) + "." + quoted(quote_of(conn), "QD_GEOMETRY"));
  });
}

int16_t ifx_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char* alias,
                           int16_t expand, int16_t position) {
  if (query != nullptr && query->desc != nullptr) {
    return ora_select_columns(conn, query, items, count, alias, expand, position);
  }
  return spx_select_columns(conn, query, items, count, alias, expand, position);
}

int16_t sqs_select_columns(SrvConnection*, SrvQuery* query, char** items, int16_t* count, const char* alias,
                           int16_t expand, int16_t position) {
  const SpatialColumnDesc* desc = query != nullptr ? query->desc : nullptr;
  return expand_items(items, count, expand, position, 1, [&]() -> int16_t {
    if (desc == nullptr) return 0;
    return append(items, count, std::string(alias) + "." + desc->column);
  });
}

int16_t xy_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char*,
                          int16_t expand, int16_t position) {
  const SpatialColumnDesc* desc = query != nullptr ? query->desc : nullptr;
  const bool code = desc != nullptr && desc->kind == 1;
  return expand_items(items, count, expand, position, code ? 3 : 2, [&]() -> int16_t {
    if (desc == nullptr) return 0;
    const char* q = quote_of(conn);
    if (!append(items, count, quoted(q, desc->x_column)) || !append(items, count, quoted(q, desc->y_column))) return 0;
    return code ? append(items, count, quoted(q, desc->column)) : 1;
  });
}

int16_t sdorel_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char* alias,
                              int16_t, int16_t position) {
  const SpatialColumnDesc* desc = query != nullptr ? query->desc : nullptr;
  return expand_items(items, count, 1, position, 1, [&]() -> int16_t {
    const char* q = quote_of(conn);
    if (!append(items, count, std::string(alias) + "." + quoted(q, desc != nullptr ? desc->column : ""))) return 0;
    for (const char* name : {"SDO_ETYPE", "SDO_ESEQ", "SDO_SEQ"}) {
      if (!append(items, count, quoted(q, name))) return 0;
    }
    for (int i = 1; i <= query->pairs_per_row; ++i) {
      if (!append(items, count, quoted(q, ("SDO_X" + std::to_string(i)).c_str())) ||
          !append(items, count, quoted(q, ("SDO_Y" + std::to_string(i)).c_str()))) {
        return 0;
      }
    }
    return 1;
  });
}

int16_t sdorel_point_select_columns(SrvConnection*, SrvQuery* query, char** items, int16_t* count,
                                    const char* alias, int16_t expand, int16_t position) {
  const SpatialColumnDesc* desc = query != nullptr ? query->desc : nullptr;
  return expand_items(items, count, expand, position, 1, [&]() -> int16_t {
    if (desc == nullptr) return 0;
    const std::string function = kernel_string(6084);
    const std::string close_x = kernel_string(6085);
    const std::string close_y = kernel_string(6086);
    auto fixed = [](double v) {
      char text[64];
      std::snprintf(text, sizeof text, "%.8f", v);
      return std::string(text);
    };
    auto item = [&](int axis, double lo, double hi, const std::string& close) {
      std::string text = function;
      text.append(" ").append(alias).append(".").append(desc->column).append(" ,").append(std::to_string(axis));
      text.append(", ").append(fixed(lo)).append(", ").append(fixed(hi)).append(") ").append(close);
      return text;
    };
    return static_cast<int16_t>(append(items, count, item(1, desc->bounds[0], desc->bounds[2], close_x)) &&
                                append(items, count, item(2, desc->bounds[1], desc->bounds[3], close_y)));
  });
}

// ---- column recognition -------------------------------------------------------------------------

void ora_column_type_is_spatial(uint8_t type, const char*, int16_t* candidate, int16_t* spatial) {
  *candidate = *spatial = static_cast<int16_t>(type == 90 || type == 108);
}

void spx_column_is_geometry(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial) {
  *candidate = *spatial = 0;
  if (type != 17) return;
  *candidate = 1;
  char upper[36] = "";
  std::strncpy(upper, has_text(name) ? name : "", 35);
  for (char* p = upper; *p != '\0'; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  *spatial = std::strcmp(upper, "QD_GEOMETRY") == 0;
}

void ifx_column_is_geometry(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial) {
  spx_column_is_geometry(type, name, candidate, spatial);
}

void sqs_column_is_geometry(uint8_t type, const char*, int16_t* candidate, int16_t* spatial) {
  *candidate = *spatial = type == 17;
}

void ifx_column_is_blob(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial) {
  sqs_column_is_geometry(type, name, candidate, spatial);
}

void ifx_column_is_blob2(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial) {
  sqs_column_is_geometry(type, name, candidate, spatial);
}

void sdorel_column_is_gid(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial) {
  *candidate = number_type(type, 0);
  *spatial = *candidate && mb_str_equal_nocase(name != nullptr ? name : "", "SDO_GID");
}

void xy_column_is_code(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial) {
  *candidate = type == 1 || type == 16;
  *spatial = *candidate && contains_nocase(name, kernel_string(3923));
}

namespace {

void xy_axis(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial, int16_t float_only,
             std::initializer_list<int32_t> equal_ids, int32_t contains_id, const char* suffix, const char* letter) {
  *candidate = number_type(type, float_only);
  *spatial = 0;
  if (!*candidate) return;
  const char* n = name != nullptr ? name : "";
  bool hit = contains_nocase(n, kernel_string(contains_id)) || contains_nocase(n, suffix) ||
             mb_str_equal_nocase(n, letter);
  for (int32_t id : equal_ids) hit = hit || mb_str_equal_nocase(n, kernel_string(id));
  *spatial = hit;
}

}  // namespace

void xy_column_is_x(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial, int16_t float_only) {
  xy_axis(type, name, candidate, spatial, float_only, {3924, 3925, 3926}, 3927, "_X", "X");
}

void xy_column_is_y(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial, int16_t float_only) {
  xy_axis(type, name, candidate, spatial, float_only, {3928, 3929}, 3930, "_Y", "Y");
}

// ---- table statements -------------------------------------------------------------------------

int16_t ora_create_unique_index(const char* table, const char* column, SrvConnection* conn) {
  return run(conn, std::string("create unique index ") + table + "_IDX on " + table + "(" + column + ")");
}

int16_t ifx_create_unique_index(const char* table, const char* column, SrvConnection* conn) {
  return xy_create_unique_index(table, column, conn);
}

int16_t xy_create_unique_index(const char* table, const char* column, SrvConnection* conn) {
  const char* q = quote_of(conn);
  return run(conn, "create unique index " + quoted(q, (std::string(table) + "_IDX").c_str()) + " on " +
                       quoted(q, table) + "(" + column + ")");
}

int16_t xy_create_unique_index2(const char* table, const char* column1, const char* column2, SrvConnection* conn) {
  return xy_create_unique_index(table, (std::string(column1) + ", " + column2).c_str(), conn);
}

int16_t ora_drop_table(const char* owner, const char* table, SrvConnection* conn) {
  run(conn, std::string("drop table ") + owner + "." + table);
  return 1;
}

int16_t ifx_drop_table(const char* owner, const char* table, SrvConnection* conn) {
  const char* q = quote_of(conn);
  run(conn, "drop table " + quoted(q, owner) + "." + quoted(q, table));
  return 1;
}

int16_t xy_drop_table(const char* table, SrvConnection* conn) {
  run(conn, "drop table " + quoted(conn != nullptr ? conn->quote : "", table));
  return 1;
}
