// The SQS spatial server.
#include "kernel/server/srv_sqs.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "kernel/server/srv_probe.h"
#include "kernel/server/srv_spatial.h"

namespace {

// Appends clause when it fits: 0, else the room needed.
int32_t append_within(char* text, int32_t room, const std::string& clause) {
  const size_t used = std::strlen(text);
  const size_t need = used + clause.size() + 1;
  if (room < 0 || need > static_cast<size_t>(room)) return static_cast<int32_t>(need);
  std::memcpy(text + used, clause.c_str(), clause.size() + 1);
  return 0;
}

void run_and_close(SrvConnection* conn, const char* sql) {
  if (SrvStatement* stmt = srv_execute(conn, sql)) srv_close_statement(conn, stmt);
}

std::string text_of(const char* s) { return s != nullptr ? s : ""; }

}  // namespace

int16_t sqs_detect(SrvConnection* conn) {
  if (conn == nullptr || std::strncmp(conn->server_type, "SQL Server", 10) != 0) return 0;
  int16_t recognised = 0;
  const char* probe = kernel_string(6959);
  SrvStatement* stmt = probe[0] != '\0' ? srv_execute(conn, probe) : nullptr;
  if (stmt != nullptr) {
    recognised = 1;
    str_copy_n(conn->server_type, kSqsServerType, sizeof conn->server_type);
    srv_close_statement(conn, stmt);
    conn->update = 0;
    std::string version;
    if (srv_probe_row(conn, "SELECT @@SQSVERSION", &version)) {
      if (version.size() > 127) version.resize(127);
      const size_t slash = version.find('/');
      if (slash != std::string::npos && srv_version_compare(version.c_str() + slash + 1, "3") >= 0) {
        conn->update = 1;
      }
    }
  }
  run_and_close(conn, "set coordinate format ddeg");
  err_clear();
  return recognised;
}

int16_t sqs_is_spatial_table(SrvConnection* conn, const char* name) {
  if (conn == nullptr || name == nullptr || std::strcmp(conn->server_type, kSqsServerType) != 0) return 0;
  SrvTableRef parts{};
  if (!srv_parse_table_ref(conn, &parts, name)) {
    err_clear();
    return 0;
  }
  const std::string owner = parts.owner, table = parts.table;
  const std::string sql = conn->owners_used && !owner.empty()
                              ? "sp_is_spatial" + srv_sql_string((owner + "." + table).c_str())
                              : "sp_is_spatial " + table;
  bool executed = false;
  int16_t found = srv_probe_row(conn, sql, nullptr, &executed);
  if (!executed) {
    err_clear();
    const std::string head = kernel_string(6960);
    if (!head.empty() && kernel_string(6961)[0] != '\0') {
      found = srv_probe_row(conn, head + srv_sql_string(owner.c_str()) + " " + kernel_string(6961) +
                                      srv_sql_string(table.c_str()) + " " + kernel_string(6962));
    }
  }
  err_clear();
  return found;
}

int16_t sqs_name_is_spatial(const SrvConnection* conn, SrvQuery* query, const char* item) {
  if (query == nullptr || query->desc == nullptr || conn == nullptr) return 0;
  SrvSelectItem parts{};
  srv_parse_select_item(conn, &parts, item);
  std::string name;
  for (const char* p = parts.name; *p != '\0'; ++p) {
    if (conn->quote[0] != '\0' && *p == conn->quote[0]) continue;
    name.push_back(*p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 'a' + 'A') : *p);
  }
  return name == query->desc->column;
}

int16_t sqs_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text) {
  if (desc == nullptr) return 0;
  const bool none = object == nullptr || object->type == MAPOBJ_NONE;
  if (!none && !sqs_column_accepts_object(desc, object)) return spatial_refuse_object(object);
  const std::string q = text_of(quote);
  *pair_text = srv_text_block(q + "QD_GEOMETRY" + q + (none ? "=NULL" : "=?"));
  return *pair_text != nullptr;
}

int16_t sqs_polygon_points(const MapSection* section, const IntPoint* nodes, void* user) {
  auto* state = static_cast<SqsPolygonState*>(user);
  const int32_t n = section->node_count;
  if (n > kSqsMaxPolygonPoints || n < 1) {
    state->ok = 0;
    return 0;
  }
  thread_local std::vector<DPoint> points;
  points.resize(static_cast<size_t>(n));
  xform_int_to_xy(nodes, points.data(), state->xform, n);
  char one[128];
  for (int32_t i = 0; i + 1 < n || (n == 1 && i == 0); ++i) {
    std::snprintf(one, sizeof one, "%s(%.6f, %.6f)", i > 0 ? "," : "", points[static_cast<size_t>(i)].y,
                  points[static_cast<size_t>(i)].x);
    state->text += one;
  }
  state->text += ")";
  if (state->text.size() + 1 > static_cast<size_t>(state->room < 0 ? 0 : state->room)) {
    state->ok = 0;
    return 0;
  }
  return 1;
}

namespace {

// The polygon text of the object's sections, or empty when it fails.
std::string polygon_text(MapObject* object, const CoordXform* xform, int32_t room) {
  SqsPolygonState state;
  state.xform = xform;
  state.room = room;
  state.text = "polygon(";
  if (!mapobj_for_each_section(object, sqs_polygon_points, &state) || !state.ok) return "";
  return state.text;
}

}  // namespace

int16_t sqs_window_shape(MapObject* object, char* text, int32_t room, const CoordXform* xform) {
  if (object == nullptr || text == nullptr || xform == nullptr) return 0;
  const int32_t left = room - static_cast<int32_t>(std::strlen(text));
  std::string shape;
  if (object->type == MAPOBJ_RECT) {
    DRect r{};
    xform_int_rect_to_xy(&object->mbr, &r, xform);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "rectangle(%.8f,%.8f,%.8f,%.8f)", r.y1, r.x1, r.y2, r.x2);
    shape = buffer;
  } else {
    shape = polygon_text(object, xform, left);
    if (shape.empty()) return 0;
  }
  return append_within(text, room, shape) == 0;
}

int32_t sqs_window_clause(const SpatialColumnDesc* desc, const char* alias, MapObject* window, const char* x_min,
                          const char* y_min, const char* x_max, const char* y_max, char* text, int32_t room,
                          int16_t parameterised) {
  if (desc == nullptr || text == nullptr) return 0;
  const std::string head = text_of(alias) + "." + desc->column + " intersect ";
  if (parameterised) return append_within(text, room, head + "?");
  if (window != nullptr && window->type == MAPOBJ_REGION && window->u.poly.sections == 1 && desc->coordsys != nullptr) {
    const int32_t left = room - static_cast<int32_t>(std::strlen(text) + head.size());
    const std::string polygon = polygon_text(window, desc->coordsys, left);
    if (!polygon.empty()) return append_within(text, room, head + polygon);
  }
  return append_within(text, room,
                       head + "rectangle(" + text_of(y_min) + "," + text_of(x_min) + "," + text_of(y_max) + "," +
                           text_of(x_max) + ")");
}
