// Oracle relational SDO layers (kind 8) and the encoded point column
// (kind 2).
#include "kernel/server/srv_sdorel.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/server/srv_probe.h"
#include "kernel/server/srv_spatial.h"

namespace {

constexpr int16_t kFixedItems = 4;  // id, SDO_ETYPE, SDO_ESEQ, SDO_SEQ

std::string text_of(const char* text) { return text != nullptr ? text : ""; }

// Replaces the kernel block *text by value.
int16_t replace(char** text, const std::string& value) {
  char* block = srv_text_block(value);
  if (block == nullptr) return 0;
  mem_free(text);
  *text = block;
  return 1;
}

// "name" -> "name_SDOGEOM": the closing quote dropped, the suffix and the
// quote appended, so that the suffix lies inside the quotes.
std::string geom_table(const SrvConnection* conn, const char* table) {
  std::string name = text_of(table);
  const std::string quote = conn != nullptr ? conn->quote : "";
  if (!quote.empty() && name.size() >= 2 && name.back() == quote[0]) {
    name.pop_back();
    return name + "_SDOGEOM" + quote;
  }
  return name + "_SDOGEOM";
}

const char* gid_column(const SrvQuery* query) {
  return query != nullptr && query->desc != nullptr ? query->desc->column : "";
}

std::string quoted_name(const SrvConnection* conn, const char* name) {
  const std::string quote = conn != nullptr ? conn->quote : "";
  return quote + name + quote;
}

// A number of a column of the current row: false for NULL or a text that
// is no number. Doubles (the numeric types) are read in place.
inline bool column_number(const SrvColumn& c, double* out) {
  if (c.indicator == -1 || c.buffer == nullptr) return false;
  switch (c.type) {
    case 2:
    case 3:
    case 4:
    case 6:
    case 8: {
      double v;
      std::memcpy(&v, c.buffer, sizeof v);
      *out = v;
      return true;
    }
    case 1:
    case 16: {
      // Through a local of its own, so that the caller's numbers can stay
      // in registers.
      double v = 0;
      if (str_to_double(static_cast<const char*>(c.buffer), &v) == nullptr) return false;
      *out = v;
      return true;
    }
    default: return false;
  }
}

bool number_at(SrvStatement* stmt, int32_t n, double* out) {
  return n >= 1 && n <= stmt->column_count && column_number(stmt->columns[n - 1], out);
}

const char* column_name_of(SrvConnection* conn, SrvStatement* stmt, int32_t n) {
  return n >= 1 && n <= stmt->column_count ? srv_column_name(conn, stmt, static_cast<int16_t>(n)) : "";
}

int16_t unreadable(SrvConnection* conn, SrvStatement* stmt, int32_t n) {
  err_push(4, kErrSrvColumnType, column_name_of(conn, stmt, n), nullptr);
  return 0;
}

bool same(bool has_a, double a, bool has_b, double b) { return has_a && has_b && a == b; }

// Pairs of the current row whose two ordinates are present.
// xy: the first X column; the caller has checked that all pairs exist.
inline void collect(const SrvColumn* xy, int32_t pairs, std::vector<DPoint>* points) {
  for (int32_t i = 0; i < pairs; ++i) {
    double x, y;
    if (column_number(xy[2 * i], &x) && column_number(xy[2 * i + 1], &y)) points->push_back(DPoint{x, y});
  }
}

// The collected points as the object's next section.
int16_t flush(MapObject* object, const CoordXform* xform, std::vector<DPoint>* points,
              std::vector<IntPoint>* ints) {
  ints->resize(points->size());
  if (!points->empty()) xform_xy_to_int(points->data(), ints->data(), xform, static_cast<int32_t>(points->size()));
  size_t n = ints->size();
  if (object->type == MAPOBJ_REGION && n > 1 && (*ints)[n - 1].x == (*ints)[0].x &&
      (*ints)[n - 1].y == (*ints)[0].y) {
    --n;
  }
  points->clear();
  if (n == 0) return 1;
  return mapobjx_insert_nodes(object, object->u.poly.sections, 0, ints->data(), static_cast<int32_t>(n), nullptr,
                              nullptr);
}

void make_none(MapObject* object) {
  mapobj_free(object);
  mapobj_init(object, MAPOBJ_NONE);
}

bool outside_window(SrvQuery* query, MapObject* object) {
  SrvSearch* search = query->search;
  if (search == nullptr || !search->flag || search->object == nullptr || object->type == MAPOBJ_NONE) return false;
  return !objops_within(object, search->object) && !objops_intersects(search->object, object);
}

bool parse_number(const char* text, double* out) {
  if (text == nullptr) return false;
  const char* end = str_to_double(text, out);
  if (end == nullptr || end == text) return false;
  while (*end == ' ') ++end;
  return *end == '\0' && std::isfinite(*out);
}

}  // namespace

// ---- detection and the layer test ------------------------------------------------------

int16_t sdorel_detect(SrvConnection* conn) {
  if (conn == nullptr || std::strncmp(conn->server_type, "Oracle", 6) != 0) return 0;
  const int16_t found = srv_probe_row(conn, "select 1 from all_users where username = 'MDSYS'");
  if (found) str_copy_n(conn->server_type, kSdorelServerType, sizeof conn->server_type);
  err_clear();
  return found;
}

int16_t sdorel_is_layer(SrvConnection* conn, SrvQuery* query, const char* name) {
  if (conn == nullptr || name == nullptr || std::strcmp(conn->server_type, kSdorelServerType) != 0) return 0;
  SrvTableRef parts{};
  if (!srv_parse_table_ref(conn, &parts, name)) {
    err_clear();
    return 0;
  }
  const std::string q = conn->quote;
  const std::string sql = std::string("Select SDO_ORDCNT from ") + q + parts.owner + q + "." + q + parts.table +
                          "_SDOLAYER" + q;
  std::string count;
  const int16_t found = srv_probe_row(conn, sql, &count);
  if (found && query != nullptr) {
    double n = 0;
    query->pairs_per_row = static_cast<int16_t>(parse_number(count.c_str(), &n) && n > 0 && n < 65536
                                                    ? static_cast<int32_t>(n) / 2
                                                    : 0);
  }
  err_clear();
  return found;
}

int16_t sdorel_is_spatial_table(SrvConnection* conn, const char* name) { return sdorel_is_layer(conn, nullptr, name); }

int16_t sdorel_resolve_synonym(SrvConnection* conn, const char* name) {
  if (conn == nullptr || name == nullptr) return 0;
  SrvTableRef parts{};
  if (!srv_parse_table_ref(conn, &parts, name)) {
    err_clear();
    return 0;
  }
  const auto lookup = [&](const char* table) {
    const std::string head = kernel_string(6088);
    if (head.empty()) return static_cast<int16_t>(0);
    return srv_probe_row(conn, head + " " + srv_sql_string(table) + " " + kernel_string(6089));
  };
  int16_t found = lookup(parts.table);
  if (!found) {
    std::string target;
    if (srv_probe_row(conn,
                      "SELECT TABLE_NAME FROM ALL_SYNONYMS WHERE SYNONYM_NAME = " + srv_sql_string(parts.table),
                      &target)) {
      if (target.size() > 128) target.resize(128);
      found = lookup(target.c_str());
    }
  }
  err_clear();
  return found;
}

// ---- query rewriting ---------------------------------------------------------------------

int16_t sdorel_add_geom_table(SrvConnection* conn, char** from_text, const char* table) {
  return replace(from_text, text_of(*from_text) + "," + geom_table(conn, table));
}

int16_t sdorel_add_join(SrvConnection* conn, SrvQuery* query, char** where_text, const char* table) {
  std::string text = text_of(*where_text);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (!text.empty()) text.append(" AND ");
  text.append(" ").append(text_of(table)).append(".").append(quoted_name(conn, gid_column(query)));
  text.append(" = ").append(geom_table(conn, table)).append(".").append(quoted_name(conn, "SDO_GID"));
  return replace(where_text, text);
}

int16_t sdorel_split_tail(const char* tail, char** before, char** after, int16_t* has_group, int16_t* has_order) {
  *before = *after = nullptr;
  *has_group = *has_order = 0;
  std::string work = text_of(tail);
  std::string b, a;
  bool in_after = false;
  char* rest = work.data();
  while (rest != nullptr && *rest != '\0') {
    char* token = srv_next_token(&rest, rest, " \t\n\r", 1);
    if (token == nullptr) break;
    if (*token == '\0') continue;
    if (!in_after && mb_str_equal_nocase(token, "FOR")) in_after = true;
    if (!in_after && mb_str_equal_nocase(token, "GROUP")) {
      *has_group = 1;
      return 0;
    }
    if (!in_after && mb_str_equal_nocase(token, "ORDER")) *has_order = 1;
    (in_after ? a : b).append(token).push_back(' ');
  }
  *before = srv_text_block(b);
  *after = srv_text_block(a);
  if (*before == nullptr || *after == nullptr) {
    mem_free(before);
    mem_free(after);
    return 0;
  }
  return 1;
}

int16_t sdorel_add_order(SrvConnection* conn, SrvQuery* query, char** tail_text, const char* table) {
  const std::string gtable = geom_table(conn, table);
  const std::string columns = text_of(table) + "." + gid_column(query) + "," + gtable + ".SDO_ESEQ," + gtable +
                              ".SDO_SEQ";
  const std::string tail = text_of(*tail_text);
  if (tail.find_first_not_of(" \t\r\n") == std::string::npos) return replace(tail_text, " ORDER BY " + columns);
  char* before = nullptr;
  char* after = nullptr;
  int16_t has_group = 0, has_order = 0;
  if (!sdorel_split_tail(tail.c_str(), &before, &after, &has_group, &has_order)) return 0;
  const std::string text =
      std::string(before) + " " + (has_order ? "," : "ORDER BY ") + columns + " " + after;
  mem_free(&before);
  mem_free(&after);
  return replace(tail_text, text);
}

// ---- feature assembly --------------------------------------------------------------------

int16_t sdorel_first_column(const SrvQuery* query, int32_t column_count) {
  const int32_t items = kFixedItems + 2 * (query != nullptr ? query->pairs_per_row : 0);
  return static_cast<int16_t>(column_count - items + 1);
}

int16_t sdorel_fetch_next(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt) {
  if (query != nullptr && query->row_ahead) {
    query->row_ahead = 0;
    return 1;
  }
  return srv_fetch(conn, stmt, kSrvFetchNext);
}

int16_t sdorel_rows_to_object(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt, MapObject* object,
                              int16_t first_column, int16_t filter) {
  if (conn == nullptr || query == nullptr || stmt == nullptr || object == nullptr || query->desc == nullptr ||
      query->desc->coordsys == nullptr) {
    return 0;
  }
  const SpatialColumnDesc* desc = query->desc;
  query->row_ahead = 0;
  const int32_t c = first_column;
  const int32_t first_xy = c + kFixedItems;
  int32_t pairs = query->pairs_per_row;
  if (first_xy + 2 * pairs - 1 > stmt->column_count) pairs = (stmt->column_count - first_xy + 1) / 2;
  if (pairs < 0) pairs = 0;
  if (c < 1 || c + kFixedItems - 1 > stmt->column_count) return unreadable(conn, stmt, c);
  double etype = 0;
  if (!number_at(stmt, c + 1, &etype)) return unreadable(conn, stmt, c + 1);
  const StyleSet* styles = desc->styles != nullptr ? desc->styles : &g_default_style_set;
  make_none(object);
  if (etype == 1) {
    DPoint p{};
    if (pairs < 1 || !number_at(stmt, first_xy, &p.x) || !number_at(stmt, first_xy + 1, &p.y)) {
      return unreadable(conn, stmt, first_xy);
    }
    mapobj_init(object, MAPOBJ_POINT);
    xform_xy_to_int(&p, &object->u.point.location, desc->coordsys, 1);
    object->u.point.symbol = styles->symbol;
    object->u.point.z = object->u.point.m = mapobj_null_zm();
    const IntPoint& at = object->u.point.location;
    object->mbr = IntRect{at.x, at.y, at.x, at.y};
  } else if (etype == 2 || etype == 3) {
    const int32_t type = etype == 2 ? MAPOBJ_POLYLINE : MAPOBJ_REGION;
    if (!mapobj_reset_type(object, type, 0)) return 0;
    object->pen = etype == 2 ? styles->line_pen : styles->area_pen;
    if (etype == 3) object->brush = styles->brush;
    // Buffers kept from feature to feature.
    static std::vector<DPoint> point_buffer;
    static std::vector<IntPoint> int_buffer;
    std::vector<DPoint>& points = point_buffer;
    std::vector<IntPoint>& ints = int_buffer;
    points.clear();
    double gid = 0, eseq = 0;
    const SrvColumn* cols = stmt->columns + (c - 1);  // id, type, element, sequence, X1, Y1, ...
    bool has_gid = column_number(cols[0], &gid);
    bool has_eseq = column_number(cols[2], &eseq);
    collect(cols + kFixedItems, pairs, &points);
    while (true) {
      if (!srv_fetch(conn, stmt, kSrvFetchNext)) {
        make_none(object);
        return 0;
      }
      const bool ended = srv_statement_at_end(conn, stmt) != 0;
      double next_gid = 0, next_eseq = 0;
      const bool has_next_gid = !ended && column_number(cols[0], &next_gid);
      const bool has_next_eseq = !ended && column_number(cols[2], &next_eseq);
      const bool same_feature = !ended && same(has_gid, gid, has_next_gid, next_gid);
      if (same_feature && same(has_eseq, eseq, has_next_eseq, next_eseq)) {
        collect(cols + kFixedItems, pairs, &points);
        continue;
      }
      if (!flush(object, desc->coordsys, &points, &ints)) {
        make_none(object);
        return 0;
      }
      if (!same_feature) {
        if (ended) {
          stmt->at_end = 0;
        } else {
          query->row_ahead = 1;
        }
        break;
      }
      eseq = next_eseq;
      has_eseq = has_next_eseq;
      collect(cols + kFixedItems, pairs, &points);
    }
    if (object->u.poly.sections == 0) {
      make_none(object);
    } else {
      mapobjx_normalize(object, 1);
    }
  } else {
    return unreadable(conn, stmt, c + 1);
  }
  if (filter && outside_window(query, object)) make_none(object);
  return 1;
}

// ---- windows -----------------------------------------------------------------------------

void srv_search_release(SrvSearch* search) {
  if (search == nullptr) return;
  if (search->object != nullptr) mapobj_destroy(&search->object);
  mem_free(&search->xform);
  search->flag = 0;
}

int16_t sdorel_window_clause(const SpatialColumnDesc* desc, SrvSearch* search, const char* x_min,
                             const char* y_min, const char* x_max, const char* y_max, char** text) {
  if (!replace(text, "1=1")) return 0;
  if (search == nullptr || search->flag) return 1;
  if (desc == nullptr || desc->coordsys == nullptr) return 0;
  DRect window{};
  if (!parse_number(x_min, &window.x1) || !parse_number(y_min, &window.y1) || !parse_number(x_max, &window.x2) ||
      !parse_number(y_max, &window.y2)) {
    return 0;
  }
  IntRect rect{};
  xform_xy_rect_to_int(&window, &rect, desc->coordsys);
  MapObject* object = nullptr;
  CoordXform* copy = nullptr;
  if (!mapobj_new(nullptr, &object, MAPOBJ_RECT, 0)) return 0;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(CoordXform)), &copy)) {
    mapobj_destroy(&object);
    return 0;
  }
  object->mbr = rect;
  std::memcpy(copy, desc->coordsys, sizeof *copy);
  srv_search_release(search);
  search->object = object;
  search->xform = copy;
  search->flag = 1;
  return 1;
}

// ---- encoded points (kind 2) -------------------------------------------------------------

namespace {

// The encoding call "<6087> x, x min, x max, 7, y, y min, y max, 7)";
// empty when the function is not known.
std::string encoded_point(const SpatialColumnDesc* desc, const MapObject* object) {
  const std::string function = kernel_string(6087);
  if (function.empty()) return "";
  DPoint p{};
  xform_int_to_xy(&object->u.point.location, &p, desc->coordsys, 1);
  return function + " " + srv_fixed8(p.x) + ", " + srv_fixed8(desc->bounds[0]) + ", " + srv_fixed8(desc->bounds[2]) +
         ", 7, " + srv_fixed8(p.y) + ", " + srv_fixed8(desc->bounds[1]) + ", " + srv_fixed8(desc->bounds[3]) +
         ", 7)";
}

// The value of the object: "NULL", the encoded point, or empty (refused).
std::string point_value(const SpatialColumnDesc* desc, const MapObject* object) {
  const int type = object != nullptr ? static_cast<int>(object->type) : static_cast<int>(MAPOBJ_NONE);
  if (type == MAPOBJ_NONE) return "NULL";
  if (type != MAPOBJ_POINT || desc->coordsys == nullptr) return "";
  return encoded_point(desc, object);
}

}  // namespace

int16_t sdorel_point_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** column_text,
                                  char** value_text) {
  if (desc == nullptr) return 0;
  const std::string value = point_value(desc, object);
  if (value.empty()) return 0;
  const std::string q = text_of(quote);
  *column_text = srv_text_block(q + desc->column + q);
  if (*column_text == nullptr) return 0;
  *value_text = srv_text_block(value);
  if (*value_text == nullptr) {
    mem_free(column_text);
    return 0;
  }
  return 1;
}

int16_t sdorel_point_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text) {
  if (desc == nullptr) return 0;
  const std::string value = point_value(desc, object);
  if (value.empty()) return 0;
  const std::string q = text_of(quote);
  *pair_text = srv_text_block(q + desc->column + q + "=" + value);
  return *pair_text != nullptr;
}

int32_t sdorel_point_window_clause(const SpatialColumnDesc* desc, const char* alias, const char* x_min,
                                   const char* y_min, const char* x_max, const char* y_max, char* text,
                                   int32_t room) {
  if (desc == nullptr || text == nullptr) return 0;
  const std::string head = kernel_string(6082);
  const std::string tail = kernel_string(6083);
  if (head.empty() || tail.empty()) return 0;
  std::string clause = head + text_of(alias) + "." + desc->column;
  for (const std::string& piece : {srv_fixed8(desc->bounds[0]), srv_fixed8(desc->bounds[2]),
                                   srv_fixed8(desc->bounds[1]), srv_fixed8(desc->bounds[3]), text_of(x_min),
                                   text_of(x_max), text_of(y_min), text_of(y_max)}) {
    clause += ", " + piece;
  }
  clause += tail;
  const size_t used = std::strlen(text);
  const size_t need = used + clause.size() + 1;
  if (room < 0 || need > static_cast<size_t>(room)) return static_cast<int32_t>(need);
  std::memcpy(text + used, clause.c_str(), clause.size() + 1);
  return 0;
}
