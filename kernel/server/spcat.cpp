// The kernel's statements on the server's spatial catalogue: probes of
// tables and columns, bounds and row counts, removal of a table's entry,
// the bounds scan over a table's objects, styles and rendition settings.
#include "kernel/server/spcat.h"

#include <cfloat>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapstyle.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/progress.h"
#include "kernel/runtime/rect.h"
#include "kernel/runtime/str.h"
#include "kernel/server/srv_exec.h"

namespace {

// Quotes inside a '...' literal doubled.
std::string inner(const char* text) {
  std::string out;
  for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
    out += *p;
    if (*p == '\'') out += '\'';
  }
  return out;
}

std::string number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.12g", v);
  return text;
}

// Runs a statement and closes it; answers whether it ran (and, through
// closed, the close flag).
bool run(SrvConnection* conn, const std::string& sql, int16_t* closed = nullptr) {
  SrvStatement* stmt = srv_execute(conn, sql.c_str());
  if (stmt == nullptr) return false;
  const int16_t c = srv_close_statement(conn, stmt);
  if (closed != nullptr) *closed = c;
  return true;
}

struct ExtentScan {
  SrvConnection* conn;
  SrvQuery* query;
  SrvStatement* stmt;
  MapObject* object;
  IntRect rect;
  long rows;
};

int16_t spcat_extents_step(ProgressRecord* record) {
  auto* scan = static_cast<ExtentScan*>(progress_context(record));
  if (record->first_call) {
    scan->rows = 0;
    rect_set_empty(&scan->rect);
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < until) {
    if (!srv_fetch(scan->conn, scan->stmt, kSrvFetchNext)) {
      progress_set_aborted(record, 1);
      return 0;
    }
    if (scan->stmt->at_end) {
      record->done = record->total + 1;
      return 0;
    }
    ++scan->rows;
    record->done += 100;
    if (record->done >= record->total) record->done = 0;
    if (!srv_row_to_object(scan->conn, scan->query, scan->stmt, scan->object, 0, 0)) {
      progress_set_aborted(record, 1);
      return 0;
    }
    if (scan->object->type != 0) rect_union(&scan->rect, &scan->object->mbr);
  }
  return 1;
}

}  // namespace

const char* spcat_name(SrvConnection* conn) {
  static char name[2 * 129 + 16];
  if (!srv_qualified_name(conn, name, sizeof name, "", kernel_string(kStrSpcatOwner),
                          kernel_string(kStrSpcatTable))) {
    name[0] = '\0';
  }
  return name;
}

int16_t spcat_table_exists(SrvConnection* conn, const char* table, int16_t report) {
  if (conn == nullptr || table == nullptr) return 0;
  const bool ran = run(conn, std::string("select 1 from ") + table);
  err_clear();
  if (!ran && report) err_push(4, kErrSpcatNoTable, table, nullptr);
  return ran ? 1 : 0;
}

int16_t spcat_column_exists(SrvConnection* conn, const char* table, const char* column, int16_t report) {
  if (!spcat_table_exists(conn, table, 1) || column == nullptr) return 0;
  const bool ran = run(conn, std::string("select ") + column + " from " + table);
  err_clear();
  if (!ran && report) err_push(4, kErrSpcatNoColumn, column, table);
  return ran ? 1 : 0;
}

int16_t spcat_update_extents(SrvConnection* conn, const SpatialColumnDesc* desc) {
  if (conn == nullptr || desc == nullptr) return 0;
  const std::string sql = std::string("update ") + spcat_name(conn) + " set DB_X_LL =  " + number(desc->bounds[0]) +
                          ", DB_Y_LL = " + number(desc->bounds[1]) + ", DB_X_UR = " + number(desc->bounds[2]) +
                          ", DB_Y_UR = " + number(desc->bounds[3]) + " where TABLENAME = '" + inner(desc->table) +
                          "'  and OWNERNAME = '" + inner(desc->owner) + "'";
  int16_t closed = 0;
  return run(conn, sql, &closed) ? closed : 0;
}

int16_t spcat_update_entry(SrvConnection* conn, const char* owner, const char* table, const double* bounds,
                           long rows) {
  if (conn == nullptr || table == nullptr || bounds == nullptr) return 0;
  std::string sql = std::string("UPDATE ") + spcat_name(conn) + " SET DB_X_LL=" + number(bounds[0]) +
                    ", DB_Y_LL=" + number(bounds[1]) + ", DB_X_UR=" + number(bounds[2]) +
                    ", DB_Y_UR=" + number(bounds[3]);
  if (conn->number_rows) sql += ", NUMBER_ROWS=" + std::to_string(rows);
  if (owner != nullptr && owner[0] != '\0') {
    sql += " WHERE OWNERNAME = '" + inner(owner) + "' AND  TABLENAME = '" + inner(table) + "'";
  } else {
    sql += " WHERE  TABLENAME = '" + inner(table) + "'";
  }
  return run(conn, sql) ? 1 : 0;
}

int16_t spcat_delete_entry(SrvConnection* conn, const char* table, const char* owner) {
  if (conn == nullptr || table == nullptr) return 0;
  const char* who = owner != nullptr && owner[0] != '\0' ? owner : conn->user;
  const std::string sql = std::string("delete from ") + spcat_name(conn) + " where TABLENAME = '" + inner(table) +
                          "'  and OWNERNAME = '" + inner(who) + "'";
  return run(conn, sql) ? 1 : 0;
}

int32_t spcat_spatial_kind(const SrvConnection* conn) {
  if (conn == nullptr) return 1;
  if (std::strcmp(conn->server_type, "SQL Server QD") == 0) return 14;
  if (std::strcmp(conn->server_type, "IUS") == 0) return 11;
  if (std::strcmp(conn->server_type, "Oracle_Spatial") == 0) return 13;
  return 1;
}

int16_t spcat_table_extents(SrvConnection* conn, const char* owner, const char* table, CoordXform* coordsys,
                            double* bounds, long* rows) {
  if (conn == nullptr || table == nullptr || coordsys == nullptr) return 0;
  // Kind 1 has no X and Y columns in "select OBJECT", and the extension's
  // decoder of kind 14 reads nothing: their bounds cannot be scanned.
  const int32_t kind = spcat_spatial_kind(conn);
  if (kind == 1 || kind == 14) return 0;
  char message[256];
  str_copy_n(message, kernel_string(kStrSpcatProgress), sizeof message);
  SpatialColumnDesc desc{};
  desc.has_spatial_column = 1;
  desc.kind = kind;
  desc.coordsys = coordsys;
  std::strcpy(desc.column, "OBJECT");
  const std::string q = conn->quote;
  std::string sql = "select OBJECT from ";
  if (owner != nullptr && owner[0] != '\0') sql += q + owner + q + ".";
  sql += q + table + q;
  auto text = std::unique_ptr<char, void (*)(char*)>(srv_text_block(sql), [](char* p) { mem_free(&p); });
  if (text == nullptr) return 0;
  SrvQuery query{};
  query.conn = conn;
  query.sql = text.get();
  query.item_count = 1;
  query.hidden_items = 1;
  query.desc = &desc;
  MapObject object;
  mapobj_init(&object, 0);
  ExtentScan scan{conn, &query, nullptr, &object, {}, 0};
  scan.stmt = srv_open_query(conn, &query, 0);
  if (scan.stmt == nullptr) return 0;
  ProgressRecord record;
  progress_init(&record, &scan, message, 0, 10000);
  record.step = spcat_extents_step;
  const int16_t finished = progress_run(&record);
  int16_t answer = 0;
  if (finished) {
    if (rect_is_empty(&scan.rect)) rect_set(&scan.rect, 0, 0, 0, 0);
    DRect r{};
    xform_int_rect_to_xy(&scan.rect, &r, coordsys);
    if (bounds != nullptr) {
      bounds[0] = r.x1;
      bounds[1] = r.y1;
      bounds[2] = r.x2;
      bounds[3] = r.y2;
    }
    if (rows != nullptr) *rows = scan.rows;
    answer = 1;
  }
  srv_close_statement(conn, scan.stmt);
  mapobj_free(&object);
  return answer;
}

int16_t spcat_bounds_grow(const DRect* rect, SpatialColumnDesc* desc) {
  if (rect == nullptr || desc == nullptr) return 0;
  double* b = desc->bounds;
  int16_t changed = 0;
  const DRect layer{b[0], b[1], b[2], b[3]};
  IntRect in{};
  xform_xy_rect_to_int(&layer, &in, desc->coordsys);
  if (in.x1 == 0 && in.y1 == 0 && in.x2 == 0 && in.y2 == 0) {
    b[0] = b[1] = DBL_MAX;
    b[2] = b[3] = -DBL_MAX;
    changed = 1;
  }
  const double wanted[4] = {rect->x1, rect->y1, rect->x2, rect->y2};
  for (int i = 0; i < 4; ++i) {
    const bool grows = i < 2 ? wanted[i] < b[i] : wanted[i] > b[i];
    if (grows) {
      b[i] = wanted[i];
      changed = 1;
    }
  }
  return changed;
}

int16_t spcat_bounds_valid(const CoordXform* coordsys, const double* bounds) {
  if (coordsys == nullptr || bounds == nullptr) return 0;
  if (!(bounds[0] <= bounds[2]) || !(bounds[1] <= bounds[3])) return 0;
  // In the integer space before rounding: the rounding clamps to the
  // range, so bounds beyond it would always look valid.
  const DRect r{bounds[0], bounds[1], bounds[2], bounds[3]};
  DRect in{};
  xform_xy_rect_to_intd(&r, &in, coordsys);
  const DRect limit{-static_cast<double>(kCoordLimit), -static_cast<double>(kCoordLimit),
                    static_cast<double>(kCoordLimit), static_cast<double>(kCoordLimit)};
  return drect_is_inside(&in, &limit) ? 1 : 0;
}

void spcat_style_text(const StyleSet* style, std::string* out) {
  if (style == nullptr || out == nullptr) return;
  char clause[512];
  *out += symbol_to_clause(&style->symbol, clause, sizeof clause);
  const PenStyle* pens[2] = {&style->area_pen, &style->line_pen};
  for (const PenStyle* p : pens) *out += pen_to_clause(p->width, p->pattern, p->third, p->colour, clause, sizeof clause);
  *out += brush_to_clause(style->brush.pattern, style->brush.fore, style->brush.back, style->brush.transparent, clause,
                          sizeof clause);
}

bool spcat_fill_template(const char* templ, const std::vector<std::string>& args, std::string* out) {
  out->clear();
  std::string text;
  size_t used = 0;
  for (const char* p = templ != nullptr ? templ : ""; *p != '\0'; ++p) {
    if (*p != '%') {
      text += *p;
      continue;
    }
    if (p[1] == '%') {
      text += '%';
      ++p;
      continue;
    }
    if (p[1] != 's' || used >= args.size()) return false;
    text += args[used++];
    ++p;
  }
  if (used != args.size()) return false;
  *out = text;
  return true;
}

int16_t spcat_set_rendition(SrvConnection* conn, const char* table, const char* style_text,
                            const char* rendition_column, int16_t with_rendition) {
  if (conn == nullptr || table == nullptr) return 0;
  const bool has_column = rendition_column != nullptr && rendition_column[0] != '\0';
  if (has_column) {
    if (!conn->rendition_columns) {
      err_push(4, kErrSpcatNoRenditionColumns, nullptr, nullptr);
      return 0;
    }
    if (!spcat_column_exists(conn, table, rendition_column, 0)) {
      const std::string what = std::string(table) + " named " + rendition_column;
      err_push(4, kErrSpcatMissingRendition, what.c_str(), nullptr);
      return 0;
    }
  }
  SrvTableRef ref{};
  if (!srv_parse_table_ref(conn, &ref, table)) return 0;
  const bool owned = ref.owner[0] != '\0';
  std::vector<std::string> args = {"", spcat_name(conn), kernel_string(kStrSpcatStyleColumn), inner(style_text)};
  int32_t templ = owned ? kStrSpcatOwnerTemplate : kStrSpcatTemplate;
  if (conn->rendition_columns && with_rendition) {
    templ = owned ? kStrSpcatRenditionOwnerTemplate : kStrSpcatRenditionTemplate;
    args.insert(args.end(), {"RENDITIONTYPE", has_column ? "1" : "0", "RENDITIONCOLUMN",
                             has_column ? inner(rendition_column) : std::string()});
  }
  args.insert(args.end(), {kernel_string(kStrSpcatTableColumn), inner(ref.table)});
  if (owned) args.insert(args.end(), {kernel_string(kStrSpcatOwnerColumn), inner(ref.owner)});
  std::string sql;
  if (!spcat_fill_template(kernel_string(templ), args, &sql) || sql.empty()) return 0;
  if (!srv_begin_transaction(conn)) return 0;
  if (!run(conn, sql)) {
    srv_rollback(conn);
    return 0;
  }
  return srv_commit(conn);
}

void spcat_probe_flags(SrvConnection* conn) {
  if (conn == nullptr) return;
  const auto saved = std::make_unique<ErrorStack>(*g_err_stack);
  const std::string table = spcat_name(conn);
  int16_t rendition = 0;
  int16_t rows = 0;
  if (!table.empty() && spcat_table_exists(conn, table.c_str(), 0)) {
    rendition = spcat_column_exists(conn, table.c_str(), "RENDITIONTYPE", 0) &&
                spcat_column_exists(conn, table.c_str(), "RENDITIONCOLUMN", 0);
    rows = spcat_column_exists(conn, table.c_str(), "NUMBER_ROWS", 0);
  }
  conn->rendition_columns = rendition;
  conn->number_rows = rows;
  *g_err_stack = *saved;
}
