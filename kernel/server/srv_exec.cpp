// Running a linked table's query: the coordinate system sent to the
// server, prepare, bind and execute, rows turned into map objects by
// spatial kind with their styles and the search test, and editability.
#include "kernel/server/srv_exec.h"

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "geometry/encode/cvrecord.h"
#include "geometry/encode/sdo.h"
#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/server/srv_sdorel.h"
#include "kernel/server/srv_spatial.h"
#include "kernel/server/srv_spx.h"
#include "kernel/tables/clauses.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/stmt_readers.h"
#include "kernel/tables/tabdef.h"

static_assert(std::is_trivially_copyable_v<CoordXform>, "a remembered coordinate system is a byte copy");

namespace {

constexpr int16_t kKwPen = 1104;
constexpr int16_t kKwBrush = 1105;
constexpr int16_t kKwSymbol = 1282;

const SrvSearch* search_of(const SrvQuery* query) {
  return query != nullptr ? static_cast<const SrvSearch*>(query->search) : nullptr;
}

bool has_question_mark(const char* text) { return text != nullptr && std::strchr(text, '?') != nullptr; }

bool something_to_bind(const SrvQuery* query, const MapObject* search_object) {
  return search_object != nullptr || query->bound_values != nullptr || query->pending_search_values != 0;
}

MapObject* search_object_of(const SrvQuery* query) {
  const SrvSearch* s = search_of(query);
  return s != nullptr ? s->object : nullptr;
}

const SrvColumn* result_column(const SrvStatement* stmt, int32_t n) {
  if (stmt == nullptr || stmt->columns == nullptr || n < 1 || n > stmt->column_count) return nullptr;
  return &stmt->columns[n - 1];
}

bool is_null(const SrvColumn* c) { return c == nullptr || c->indicator == -1 || c->buffer == nullptr; }

double column_number(const SrvColumn* c) {
  double d = 0;
  std::memcpy(&d, c->buffer, sizeof d);
  return d;
}

void make_empty(MapObject* object) {
  mapobj_free(object);
  mapobj_init(object, 0);
}

}  // namespace

// ---- the coordinate system -----------------------------------------------------

void srv_forget_coordsys(SrvConnection* conn) {
  if (conn != nullptr) mem_free(&conn->last_coordsys);
}

int16_t srv_send_coordsys(SrvConnection* conn, SrvQuery* query, const CoordXform* coordsys) {
  if (conn == nullptr || query == nullptr || query->desc == nullptr || coordsys == nullptr) return 0;
  const int32_t kind = query->desc->kind;
  if (conn->last_coordsys != nullptr && kind != 12 &&
      xform_equal(static_cast<const CoordXform*>(conn->last_coordsys), coordsys)) {
    return 1;
  }
  std::string templ;
  switch (kind) {
    case 1:
    case 4: return 1;
    case 5: templ = kernel_string(kStrSrvCoordsysKind5); break;
    case 9:
    case 11: templ = kernel_string(kStrSrvCoordsysKind9); break;
    case 12: templ = kernel_string(kStrSrvCoordsysKind12); break;
    case 14: templ = "exec sp_spatial_query 'Select KT_SetProjection(''%s'') from corvane.corvane_mapcatalog'"; break;
    default: return 0;
  }
  const size_t at = templ.find("%s");
  if (templ.empty() || at == std::string::npos) return 0;
  char text[255] = "";
  coordsys_to_text(coordsys, text, sizeof text, 0);
  const char* clause = text;
  if (std::strncmp(clause, "CoordSys ", 9) == 0) clause += 9;
  templ.replace(at, 2, clause);
  SrvStatement* stmt = srv_execute(conn, templ.c_str());
  if (stmt == nullptr) {
    err_clear();
    return 0;
  }
  const int16_t ok = srv_fetch(conn, stmt, kSrvFetchNext);
  srv_close_statement(conn, stmt);
  if (conn->last_coordsys == nullptr &&
      !mem_alloc(static_cast<int64_t>(sizeof(CoordXform)), &conn->last_coordsys, static_cast<void**>(nullptr))) {
    return ok;
  }
  std::memcpy(conn->last_coordsys, coordsys, sizeof(CoordXform));
  return ok;
}

int16_t srv_set_session_coordsys(SrvConnection* conn, SrvQuery* query) {
  if (query == nullptr || query->desc == nullptr || !query->desc->has_spatial_column ||
      query->desc->coordsys == nullptr) {
    return 1;
  }
  return srv_send_coordsys(conn, query, query->desc->coordsys);
}

// ---- running the statement -------------------------------------------------------

int16_t srv_bind_search_values(SrvQuery* query, char** text) {
  const SrvSearch* s = search_of(query);
  if (query == nullptr || query->desc == nullptr || s == nullptr || s->object == nullptr) return 1;
  switch (query->desc->kind) {
    case 1:
    case 4:
    case 5:
    case 11:
    case 12:
    case 13:
    case 14: return spx_bind_search_values(query, nullptr, s->object);
    case 9:
    case 10: {
      if (text == nullptr || *text == nullptr) return 0;
      char* out = nullptr;
      const int16_t r = xy_bind_window_values(s->object, *text, query->desc->coordsys, &out);
      if (out == nullptr) return 0;
      mem_free(text);
      *text = out;
      return r == 1 ? 1 : 0;
    }
    default: return 0;
  }
}

int16_t srv_bind_and_execute(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt, MapObject* search_object) {
  if (conn == nullptr || query == nullptr || stmt == nullptr) return 0;
  if (stmt->param_count > 0 && something_to_bind(query, search_object) && query->bind_mode > 0) {
    if (query->bind_mode == 3) return 0;
    if (query->bind_mode <= 2) {
      void* blob = nullptr;
      void* holder = nullptr;
      SrvColumn* param = nullptr;
      int16_t ok = srv_spatial_bind_value(query, conn, stmt, search_object, &blob, &holder, &param, 0);
      if (ok) ok = srv_execute_prepared(conn, stmt);
      srv_spatial_bind_release(&blob, &holder, &param);
      return ok;
    }
  }
  return srv_execute_prepared(conn, stmt);
}

SrvStatement* srv_prepare_bind_execute(SrvConnection* conn, SrvQuery* query, const char* text) {
  SrvStatement* stmt = srv_prepare(conn, text);
  if (stmt == nullptr || query == nullptr) return stmt;
  const int16_t mode = query->bind_mode;
  query->bind_mode = 2;
  const int16_t ok = srv_bind_and_execute(conn, query, stmt, search_object_of(query));
  query->bind_mode = mode;
  if (!ok) {
    srv_close_statement(conn, stmt);
    return nullptr;
  }
  return stmt;
}

int16_t srv_execute_query_text(SrvConnection* conn, SrvQuery* query, SrvStatement** stmt, int16_t flag) {
  if (stmt != nullptr) *stmt = nullptr;
  if (query == nullptr || stmt == nullptr || flag != 0 || query->bound_values != nullptr ||
      query->pending_search_values != 0) {
    return 0;
  }
  *stmt = srv_execute(conn, query->sql);
  return *stmt != nullptr ? 1 : 0;
}

int16_t srv_prepare_sdo_column(SrvQuery* query, SrvStatement* stmt) {
  if (query == nullptr || query->desc == nullptr || stmt == nullptr || query->desc->kind != 13) return 1;
  const SrvColumn* last = result_column(stmt, stmt->column_count);
  if (last != nullptr && last->type == 90 && last->buffer != nullptr &&
      last->buffer_length >= static_cast<int32_t>(sizeof(int32_t))) {
    const int32_t dims = query->desc->dimensions;
    std::memcpy(last->buffer, &dims, sizeof dims);
  }
  return 1;
}

SrvStatement* srv_open_query(SrvConnection* conn, SrvQuery* query, int16_t begin) {
  if (conn == nullptr || query == nullptr || query->sql == nullptr) return nullptr;
  const SpatialColumnDesc* desc = query->desc;
  if (desc != nullptr && desc->has_spatial_column && desc->coordsys != nullptr) {
    srv_send_coordsys(conn, query, desc->coordsys);
  }
  if (begin && srv_is_kind(conn, SRV_KIND_SQLSERVER_QD) && query->bound_values != nullptr) {
    srv_begin_transaction(conn);
  }
  SrvStatement* stmt = has_question_mark(query->sql) ? srv_prepare_bind_execute(conn, query, query->sql)
                                                     : srv_execute(conn, query->sql);
  if (stmt == nullptr) return nullptr;
  srv_prepare_sdo_column(query, stmt);
  return stmt;
}

int16_t srv_query_mark_bound(SrvQuery* query) {
  if (query != nullptr) query->bind_mode = 1;
  return 0;
}

int32_t srv_key_column_index(SrvConnection* conn, SrvStatement* stmt, SrvQuery* query) {
  if (query == nullptr || query->keys == nullptr || query->keys->count != 1 || stmt == nullptr) return -1;
  for (int32_t i = 0; i < stmt->column_count; ++i) {
    const char* name = srv_column_name(conn, stmt, static_cast<int16_t>(i + 1));
    if (srv_identifiers_equal(conn, name, query->keys->names[0])) return i;
  }
  return -1;
}

// ---- rows to objects -------------------------------------------------------------

int16_t srv_object_in_search(const SrvSearch* search, MapObject* object) {
  if (search == nullptr || search->object == nullptr || object == nullptr) return 0;
  return objops_intersects(object, search->object) ? 1 : 0;
}

int16_t srv_xy_to_object(SrvQuery* query, SpatialColumnDesc* desc, const StyleSet* style, MapObject* object,
                         const SrvColumn* x_column, const SrvColumn* y_column, int16_t search_test) {
  if (desc == nullptr || object == nullptr || x_column == nullptr || y_column == nullptr) return 0;
  const DPoint xy{column_number(x_column), column_number(y_column)};
  IntPoint at{};
  xform_xy_to_int(&xy, &at, desc->coordsys, 1);
  mapobj_free(object);
  mapobj_init(object, MAPOBJ_POINT);
  if (!mapobjx_point_set(object, &at, &style->symbol)) return 0;
  const SrvSearch* s = search_of(query);
  if (s != nullptr && s->flag && search_test) return srv_object_in_search(s, object);
  return 1;
}

namespace {

// Columns of a blob-like kind: NULL empties the object (1); a blob longer
// than the buffer empties it and sets the statement's truncated flag (1).
// Answers -1 when there is a value to decode.
int16_t null_or_truncated(SrvStatement* stmt, const SrvColumn* c, MapObject* object) {
  if (is_null(c)) {
    make_empty(object);
    return 1;
  }
  if (c->indicator == -2) {
    stmt->truncated = 1;
    make_empty(object);
    return 1;
  }
  return -1;
}

int16_t searched(const SrvQuery* query, MapObject* object, int16_t search_test, int16_t decoded) {
  const SrvSearch* s = search_of(query);
  if (s != nullptr && s->flag && s->object != nullptr && search_test && decoded) {
    return srv_object_in_search(s, object);
  }
  return decoded;
}

}  // namespace

int16_t srv_row_to_object(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt, MapObject* object,
                          int16_t search_test, int16_t) {
  if (object == nullptr || query == nullptr || query->desc == nullptr || !query->desc->has_spatial_column ||
      stmt == nullptr) {
    return 1;
  }
  SpatialColumnDesc* desc = query->desc;
  const int32_t n = query->item_count;
  StyleSet style = desc->styles != nullptr ? *desc->styles : g_default_style_set;
  if (desc->style_column == 1 && query->style_index >= 0 && query->style_index < n) {
    const SrvColumn* c = result_column(stmt, query->style_index + 1);
    if (!is_null(c) && (c->type == 1 || c->type == 16)) {
      StyleSet parsed;
      if (srv_parse_style_clauses(&parsed, static_cast<const char*>(c->buffer))) style = parsed;
    }
  }
  switch (desc->kind) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 6:
    case 9:
    case 10: {
      const int32_t x = desc->kind == 1 ? n - 2 : n - 1;
      const SrvColumn* xc = result_column(stmt, x);
      const SrvColumn* yc = result_column(stmt, x + 1);
      if (is_null(xc) || is_null(yc)) {
        make_empty(object);
        return 1;
      }
      return srv_xy_to_object(query, desc, &style, object, xc, yc, search_test);
    }
    case 5:
    case 7:
    case 11:
    case 12: {
      const SrvColumn* c = result_column(stmt, n);
      const int16_t early = null_or_truncated(stmt, c, object);
      if (early >= 0) return early;
      make_empty(object);
      return blob_to_object(static_cast<const uint8_t*>(c->buffer), c->indicator, &style, desc->coordsys, object, 1);
    }
    case 8:
      return sdorel_rows_to_object(conn, query, stmt, object, sdorel_first_column(query, stmt->column_count),
                                   search_test);
    case 13: {
      const SrvColumn* c = result_column(stmt, n);
      const int16_t early = null_or_truncated(stmt, c, object);
      if (early >= 0) return early;
      // Only a driver's geometry object (type 90) holds an SDO record.
      if (c->type != 90 || c->buffer_length < static_cast<int32_t>(sizeof(SdoGeometry))) return 0;
      auto* geometry = static_cast<SdoGeometry*>(c->buffer);
      geometry->dimensions = desc->dimensions;
      int16_t short_codes = desc->sdo_option;
      make_empty(object);
      const int16_t ok = sdo_to_object(geometry, &style, desc->coordsys, object, &short_codes);
      return searched(query, object, search_test, ok);
    }
    case 14: {
      if (!srv_is_kind(conn, SRV_KIND_SQLSERVER_QD)) {
        make_empty(object);
        return 1;
      }
      const SrvColumn* c = result_column(stmt, n);
      const int16_t early = null_or_truncated(stmt, c, object);
      if (early >= 0) return early;
      make_empty(object);
      const int16_t ok = blob_ext_decode(static_cast<const uint8_t*>(c->buffer), c->indicator, object);
      if (!query->extension) return ok;
      return searched(query, object, search_test, ok);
    }
    default: return 1;
  }
}

int16_t srv_fetch_object_row(SrvStatement* stmt, SrvQuery* query, int16_t count, FieldDef* fields,
                             MapObject* object, int16_t* at_end) {
  if (at_end != nullptr) *at_end = 1;
  if (stmt == nullptr || query == nullptr) return 0;
  SrvConnection* conn = stmt->connection != nullptr ? stmt->connection : query->conn;
  bool accepted = false;
  // A relational SDO layer may have read the next feature's first row.
  const bool layer = query->desc != nullptr && query->desc->kind == 8;
  while (true) {
    if (!(layer ? sdorel_fetch_next(conn, query, stmt) : srv_fetch(conn, stmt, kSrvFetchNext))) {
      if (at_end != nullptr) *at_end = stmt->at_end;
      return 0;
    }
    if (stmt->at_end) break;
    if (srv_row_to_object(conn, query, stmt, object, 1, 1)) {
      accepted = true;
      break;
    }
  }
  int16_t ok = 1;
  if (accepted) {
    if (srv_num_columns(conn, stmt) != count + query->hidden_items) {
      stmt->at_end = 1;
      ok = 0;
    } else {
      for (int16_t c = 0; fields != nullptr && c < count && ok; ++c) {
        ok = srv_column_value(conn, stmt, &fields[c].value, static_cast<int16_t>(c + 1));
      }
    }
  }
  if (at_end != nullptr) *at_end = stmt->at_end;
  return ok;
}

int16_t srv_query_editable(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt) {
  const SrvSearch* s = search_of(query);
  if (s == nullptr || query->desc == nullptr || s->edit == 0) return 0;
  int16_t editable = 1;
  if (!srv_is_kind(conn, SRV_KIND_SQLSERVER_QD)) {
    const int32_t n = srv_num_columns(conn, stmt);
    for (int32_t c = n - query->hidden_items + 1; c <= n && c >= 1; ++c) {
      if (!srv_column_editable(conn, stmt, static_cast<int16_t>(c))) editable = 0;
    }
  }
  if (query->desc->kind == 7 && conn != nullptr && !conn->update) editable = 0;
  if (query->desc->kind == 13 && query->desc->dimensions != 2) editable = 0;
  return editable;
}

// ---- styles ------------------------------------------------------------------------

int16_t srv_parse_style_clauses(StyleSet* style, const char* text) {
  *style = g_default_style_set;
  if (text == nullptr) return 0;
  LexerState saved;
  stmt_save_lexer(&saved);
  // The clause parsers keep pointers into the text while reading it.
  const std::string copy = text;
  lex_begin_text(copy.c_str());
  lex_next();
  int16_t any = 0;
  bool line_done = false;
  bool border_pending = false;
  // A clause that does not parse keeps its default; its errors go.
  auto parse = [&](auto&& parser, auto* target) {
    const auto before = std::make_unique<ErrorStack>(*g_err_stack);
    auto value = *target;
    const bool ok = parser(&value) != 0;
    if (ok) {
      *target = value;
      any = 1;
    } else {
      *g_err_stack = *before;
    }
    return ok;
  };
  while (lex_has_token()) {
    if (stmt_at(kKwSymbol)) {
      parse(clause_parse_symbol, &style->symbol);
    } else if (stmt_at(kKwPen)) {
      if (!line_done) {
        line_done = true;
        parse(clause_parse_pen, &style->line_pen);
        if (style->line_pen.pattern == 0) style->line_pen.pattern = 2;
        if (stmt_at(kKwBrush)) border_pending = true;
        else style->area_pen = style->line_pen;
      } else if (border_pending) {
        border_pending = false;
        parse(clause_parse_pen, &style->area_pen);
        if (style->area_pen.pattern == 0) style->area_pen.pattern = 2;
      } else {
        lex_next();
      }
    } else if (stmt_at(kKwBrush)) {
      parse(clause_parse_brush, &style->brush);
    } else {
      lex_next();
    }
  }
  stmt_restore_lexer(&saved);
  return any;
}

MapObject* srv_new_object_with_property(const void* value) {
  MapObject* object = nullptr;
  if (!mapobj_new(nullptr, &object, MAPOBJ_RECT, 0)) return nullptr;
  if (!mapobjx_set_property(object, 6, value)) {
    mapobj_destroy(&object);
    return nullptr;
  }
  return object;
}
