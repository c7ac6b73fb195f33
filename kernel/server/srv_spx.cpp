// The spatial extension on Oracle.
#include "kernel/server/srv_spx.h"

#include <cstring>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "kernel/server/srv_probe.h"

namespace {

constexpr const char* kWholeNames[] = {"ADJACENT", "BUFFER",   "CONTAIN",       "CENTROID",     "GEOMETRY_UNION",
                                       "MER",      "OVERLAP",  "SKELETON",      "QD2_MORPH_OUT", "QD_GEOMETRY"};

constexpr const char* kKtNames[] = {
    "KT_ADJACENT",       "KT_AFFINE",          "KT_AFFINE3D",        "KT_AGGCONVEX_HULL", "KT_AGGINTERSECTION",
    "KT_AGGSPATIAL",     "KT_AGGUNION",        "KT_AS_CURVES",       "KT_AS_PATHS",       "KT_AS_POINTS",
    "KT_AS_POLYLINES",   "KT_ASSEMBLED",       "KT_BEGIN_POINT",     "KT_BOUNDARY",       "KT_BOUNDING_BOX",
    "KT_BOX",            "KT_BOX_WH",          "KT_BUFFER",          "KT_CENTER_IN",      "KT_CENTER_IN_3D",
    "KT_CENTER_OF_GRAV", "KT_CENTER_POINT",    "KT_CENTROID",        "KT_CIRCLE",         "KT_CIRCULARARC",
    "KT_CLEAN",          "KT_CLEAN_I",         "KT_CLEAN_S",         "KT_COMBINE",        "KT_CONNECT",
    "KT_CONTAIN",        "KT_CONVEX_HULL",     "KT_CORNER",          "KT_CURVE",          "KT_DIFFERENCE",
    "KT_DISSOLVE",       "KT_END_OF",          "KT_END_POINT",       "KT_END_TANGENT_P",  "KT_ENVELOPE",
    "KT_ERASE",          "KT_ERASE_OUTSIDE",   "KT_EXPANDED",        "KT_EXTENT",         "KT_EXTERIOR_PATH",
    "KT_EXTRACT_AT",     "KT_FILTER",          "KT_FILTER_CURVES",   "KT_FILTER_PATHS",   "KT_FILTER_POINTS",
    "KT_FILTER_POLYGONS", "KT_INTERIOR_PATH",  "KT_INTERSECT_IN",    "KT_INTERSECTION",   "KT_LL_CIRCLE",
    "KT_MORPH_OUT",      "KT_NODE_INTERSECT",  "KT_OVERLAP",         "KT_PATH",           "KT_POLYGON",
    "KT_POLYLINE",       "KT_QUAD",            "KT_SP2PATHIN",       "KT_SP2PNTIN",       "KT_SP2POLYIN",
    "KT_SP2PSETIN",      "KT_SPATIAL",         "KT_SPLIT",           "KT_START_OF",       "KT_START_TANGENT_P",
    "KT_SUBCURVE",       "KT_SYM_DIFFERENCE",  "KT_TRANSFORM",       "KT_TRANSFORMFROM",  "KT_TRANSFORMFROM3D",
    "KT_TRIANGLE",       "KT_UNION",           "KT_POINT"};
static_assert(sizeof kKtNames / sizeof kKtNames[0] == 78);

constexpr const char* kStNames[] = {"ST_ADJACENT", "ST_BUFFER",  "ST_CIRCULARARC", "ST_CONTAIN",
                                    "ST_OVERLAP",  "ST_PATH",    "ST_POINT",       "ST_POLYGON",
                                    "ST_POLYLINE", "ST_SPATIAL", "ST_TRANSFORM",   "ST_TRANSFORM3D"};

struct ClassRule {
  const char* name;
  bool whole;
  int32_t result;  // 2 areas, 1 lines, 0 points
};
constexpr ClassRule kClassRules[] = {
    {"BUFFER", true, 2},        {"MER", true, 2},          {"ST_BUFFER", false, 2},     {"KT_UNION", false, 2},
    {"ST_TRANSFORM", false, 2}, {"KT_ENVELOPE", false, 2}, {"KT_AS_PATHS", false, 1},   {"KT_CONNECT", false, 1},
    {"CENTROID", true, 0},      {"KT_AS_POINTS", false, 0}, {"KT_CENTER_IN", false, 0}, {"KT_CENTER_IN_3D", false, 0},
    {"KT_CENTROID", false, 0},  {"KT_END_OF", false, 0},   {"KT_START_OF", false, 0}};

bool begins(const std::string& text, const char* prefix) { return srv_begins_nocase(text.c_str(), prefix); }

// The item upper-cased with the connection's identifier quotes removed.
std::string normalised(const SrvConnection* conn, const char* name) {
  std::string text = name != nullptr ? name : "";
  const char q = conn != nullptr ? conn->quote[0] : '\0';
  std::string out;
  for (char ch : text) {
    if (q != '\0' && ch == q) continue;
    out.push_back(ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch);
  }
  return out;
}

bool matches(const std::string& item) {
  for (const char* n : kWholeNames) {
    if (item == n) return true;
  }
  if (begins(item, "KT_")) {
    for (const char* n : kKtNames) {
      if (!begins(item, n)) continue;
      if (std::strcmp(n, "KT_POINT") == 0 && begins(item, "KT_POINTDYN")) return false;
      return true;
    }
  }
  if (begins(item, "ST_")) {
    for (const char* n : kStNames) {
      if (begins(item, n)) return true;
    }
  }
  return false;
}

}  // namespace

int16_t spx_is_oracle_extension(SrvConnection* conn) {
  if (conn == nullptr || !mb_str_equal_nocase(conn->server_type, "HELVORISTAN/ORACLE")) return 0;
  if (srv_version_compare(conn->version, "4.5.1") >= 0) conn->version_number = 451;
  return 1;
}

int16_t spx_is_spatial_table(SrvConnection* conn, const char* name) {
  if (conn == nullptr || name == nullptr || !srv_is_kind(conn, SRV_KIND_HELVORISTAN)) return 0;
  SrvTableRef parts{};
  int16_t found = 0;
  if (srv_parse_table_ref(conn, &parts, name)) {
    const std::string statement =
        srv_kernel_statement(6099, {srv_sql_string(parts.owner), srv_sql_string(parts.table)});
    if (!statement.empty()) found = srv_probe_row(conn, statement);
  }
  err_clear();
  return found;
}

int32_t spx_window_clause(const SpatialColumnDesc* desc, const char* alias, int16_t bind_flag, const char* x_min,
                          const char* y_min, const char* x_max, const char* y_max, char* text, int32_t room,
                          int16_t param_flag, int16_t relation) {
  if (desc == nullptr || text == nullptr) return 0;
  const std::string a = alias != nullptr ? alias : "";
  std::string clause;
  if (bind_flag && param_flag) {
    switch (relation) {
      case 1: clause = a + ".QD_GEOMETRY OVERLAPS ?"; break;
      case 2: clause = "ST_CONTAINED_BY(" + a + "." + desc->column + ", ?)"; break;
      case 3: clause = "ST_OUTSIDE(" + a + "." + desc->column + ", ?)"; break;
      default: break;
    }
  } else {
    const std::string x0 = x_min != nullptr ? x_min : "", y0 = y_min != nullptr ? y_min : "";
    const std::string x1 = x_max != nullptr ? x_max : "", y1 = y_max != nullptr ? y_max : "";
    auto point = [](const std::string& x, const std::string& y) { return "ST_POINT(" + x + "," + y + ")"; };
    clause = a + ".QD_GEOMETRY overlaps MER(ST_SpatialObject(ST_POLYGON(ST_POLYLINE(LIST{" + point(x0, y0) + "," +
             point(x1, y0) + "," + point(x1, y1) + "," + point(x0, y1) + "," + point(x0, y0) + "} ))))";
  }
  const size_t used = std::strlen(text);
  const size_t need = used + clause.size() + 1;
  if (room < 0 || need > static_cast<size_t>(room)) return static_cast<int32_t>(need);
  std::memcpy(text + used, clause.c_str(), clause.size() + 1);
  return 0;
}

int16_t spx_bind_search_values(SrvQuery*, SrvStatement*, MapObject*) { return 1; }

void spx_function_class_effect(SpatialColumnDesc* desc, const char* name) {
  if (desc == nullptr || desc->geometry_class == 3) return;
  const std::string item = normalised(nullptr, name);
  for (const ClassRule& rule : kClassRules) {
    if (rule.whole ? item != rule.name : !begins(item, rule.name)) continue;
    if (rule.result != desc->geometry_class) {
      desc->geometry_class = 3;
      desc->derived_kind = desc->kind + 0.3;
    }
    return;
  }
}

int16_t spx_name_is_spatial(const SrvConnection* conn, SrvQuery* query, const char* name) {
  const std::string item = normalised(conn, name);
  if (!matches(item)) return 0;
  if (query != nullptr) spx_function_class_effect(query->desc, item.c_str());
  return 1;
}
