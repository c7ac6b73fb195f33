// Oracle Spatial servers: detection of the spatial option, layer metadata
// (bounds, SRID, dimensions, index tiling), the metadata row and the spatial
// index, window conditions, geometry-valued function names, and the
// Workspace Manager package of versioned tables.
#include "kernel/server/srv_ora.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/value.h"
#include "kernel/server/ora_srid.h"
#include "kernel/tables/tabdef.h"

namespace {

const char* text_or_empty(const char* s) { return s != nullptr ? s : ""; }

// A quoted SQL text literal: 'O''Neil'.
std::string lit(const char* text) {
  const std::string t = text_or_empty(text);
  std::string out(2 * t.size() + 3, '\0');
  str_quote(out.data(), t.c_str(), "'", static_cast<int32_t>(out.size()));
  out.resize(std::strlen(out.c_str()));
  return out;
}
std::string lit(const std::string& text) { return lit(text.c_str()); }

std::string upper(const char* text) {
  std::string t = text_or_empty(text);
  mb_str_upper(t.data());
  return t;
}

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text_or_empty(text), prefix, std::strlen(prefix)) == 0;
}

// The value of one result column of the current row, read by its type:
// 1, 16 and 17 as text, 2, 3, 4, 6 and 8 as a number, other types (Oracle
// objects such as DIMINFO) as the doubles of their bytes.
struct Cell {
  uint8_t type = 0;
  bool null = true;
  bool is_text = false;
  bool is_number = false;
  std::string text;
  double number = 0;
  std::vector<double> doubles;
};

Cell read_cell(const SrvStatement* stmt, int32_t n) {
  Cell cell;
  if (stmt == nullptr || stmt->columns == nullptr || n < 1 || n > stmt->column_count) return cell;
  const SrvColumn& c = stmt->columns[n - 1];
  cell.type = c.type;
  if (c.indicator == -1 || c.buffer == nullptr || c.buffer_length <= 0) return cell;
  cell.null = false;
  const auto* bytes = static_cast<const char*>(c.buffer);
  const size_t room = static_cast<size_t>(c.buffer_length);
  switch (c.type) {
    case 1:
    case 16:
      cell.is_text = true;
      cell.text.assign(bytes, strnlen(bytes, room));
      break;
    case 17: {
      cell.is_text = true;
      const size_t n_bytes = c.indicator >= 0 ? static_cast<size_t>(c.indicator) : room;
      cell.text.assign(bytes, std::min(n_bytes, room));
      cell.text.resize(strnlen(cell.text.c_str(), cell.text.size()));
      break;
    }
    case 2:
    case 3:
    case 4:
    case 6:
    case 8:
      if (room >= sizeof(double)) {
        std::memcpy(&cell.number, bytes, sizeof(double));
        cell.is_number = true;
      }
      break;
    default: {
      const size_t n_bytes = c.indicator >= 0 ? std::min(static_cast<size_t>(c.indicator), room) : room;
      cell.doubles.resize(n_bytes / sizeof(double));
      if (!cell.doubles.empty()) std::memcpy(cell.doubles.data(), bytes, cell.doubles.size() * sizeof(double));
      break;
    }
  }
  return cell;
}

// A number read truncated to an integer, within int64.
int64_t whole(double v) {
  if (!(v == v)) return 0;
  if (v >= 9.0e18) return INT64_C(9000000000000000000);
  if (v <= -9.0e18) return -INT64_C(9000000000000000000);
  return static_cast<int64_t>(v);
}

// Executes sql and reads the first row's columns 1..n into cells; the
// statement is closed in every case. 1 when a row came, 0 without a row,
// -1 when the statement could not be executed or fetched.
int16_t first_row(SrvConnection* conn, const std::string& sql, std::vector<Cell>* cells, int32_t n = 1) {
  SrvStatement* stmt = srv_execute(conn, sql.c_str());
  if (stmt == nullptr) return -1;
  int16_t answer = 0;
  if (!srv_fetch(conn, stmt, kSrvFetchNext)) {
    answer = -1;
  } else if (!srv_statement_at_end(conn, stmt)) {
    answer = 1;
    if (cells != nullptr) {
      cells->clear();
      for (int32_t i = 1; i <= n; ++i) cells->push_back(read_cell(stmt, i));
    }
  }
  srv_close_statement(conn, stmt);
  return answer;
}

// Runs a statement without result and closes it; 1 when it ran.
int16_t run(SrvConnection* conn, const std::string& sql) {
  SrvStatement* stmt = srv_execute(conn, sql.c_str());
  if (stmt == nullptr) return 0;
  return srv_close_statement(conn, stmt);
}

std::string number_text(const char* format, double v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

bool newer_than_817(const SrvConnection* conn) { return srv_version_compare(conn->version, "8.1.7") > 0; }

}  // namespace

// ---- detection -------------------------------------------------------------------------------

int16_t ora_is_spatial_server(const SrvConnection* conn) {
  return conn != nullptr && mb_str_equal_nocase(conn->server_type, "Oracle_Spatial") ? 1 : 0;
}

int16_t ora_detect_spatial(SrvConnection* conn) {
  if (conn == nullptr || !starts_with(conn->driver_name, "ORAINET")) return 0;
  mb_str_upper(conn->user);
  std::vector<Cell> cells;
  int16_t found = 0;
  if (first_row(conn, "select value from v$option where parameter='Spatial'", &cells) == 1) {
    found = 1;
    str_copy_n(conn->server_type, "Oracle_Spatial", sizeof conn->server_type);
    if (first_row(conn, "select sdo_admin.sdo_version() from dual", &cells) == 1 && cells[0].is_text) {
      str_copy_n(conn->version, cells[0].text.c_str(), 32);
      conn->oracle_815 = std::strcmp(conn->version, "8.1.5.0.0") == 0 ? 1 : 0;
    }
  }
  err_clear();
  return found;
}

int16_t ora_is_spatial_table(SrvConnection* conn, const char* name) {
  if (conn == nullptr) return 0;
  SrvTableRef parts{};
  srv_parse_table_ref_default(conn, &parts, text_or_empty(name));
  const std::string sql =
      "select column_name from all_tab_columns where data_type = 'SDO_GEOMETRY' and owner = " + lit(parts.owner) +
      " and table_name = " + lit(parts.table);
  const int16_t found = first_row(conn, sql, nullptr) == 1 ? 1 : 0;
  err_clear();
  return found;
}

int16_t ora_table_has_geometry(SrvConnection* conn, void*, const char* name) {
  return ora_is_spatial_table(conn, name);
}

// ---- layer metadata --------------------------------------------------------------------------

int16_t ora_read_geom_metadata(SrvConnection* conn, const char* owner, const char* table, const char* column,
                               DRect* bounds, int32_t* srid) {
  if (conn == nullptr) return 0;
  const std::string sql = "SELECT DIMINFO, SRID FROM MDSYS.ALL_SDO_GEOM_METADATA WHERE OWNER = " + lit(owner) +
                          " AND TABLE_NAME = " + lit(table) + " AND COLUMN_NAME = " + lit(column);
  std::vector<Cell> cells;
  const int16_t got = first_row(conn, sql, &cells, 2);
  if (got < 0) {
    err_clear();
    return 0;
  }
  // A row without two dimensions of bounds counts as none.
  if (got == 0 || cells[0].doubles.size() < 5) {
    const std::string where = std::string(text_or_empty(owner)) + "." + text_or_empty(table);
    err_push(4, kErrOraNoMetadata, text_or_empty(column), where.c_str());
    return 0;
  }
  const std::vector<double>& d = cells[0].doubles;
  if (bounds != nullptr) *bounds = DRect{d[0], d[3], d[1], d[4]};
  if (srid != nullptr) *srid = cells[1].is_number ? static_cast<int32_t>(whole(cells[1].number)) : 0;
  return 1;
}

int32_t ora_read_dims_and_srid(SrvConnection* conn, SpatialColumnDesc* desc) {
  if (conn == nullptr || desc == nullptr) return 0;
  std::string view, condition;
  if (conn->oracle_815) {
    view = std::string(conn->quote) + desc->owner + conn->quote + ".sdo_geom_metadata";
  } else {
    view = "all_sdo_geom_metadata";
    condition = " and owner = " + lit(desc->owner);
  }
  const std::string where =
      " where table_name = " + lit(desc->table) + " and column_name = " + lit(desc->column) + " " + condition;
  std::vector<Cell> cells;
  int32_t dims = 0;
  if (first_row(conn, "select count(1) from the(select diminfo from " + view + where + ")", &cells) == 1 &&
      cells[0].is_number) {
    dims = static_cast<int32_t>(whole(cells[0].number));
  }
  if (first_row(conn, "select SRID from " + view + where, &cells) == 1) {
    desc->srid_is_null = cells[0].null ? 1 : 0;
    desc->srid = cells[0].is_number ? static_cast<int32_t>(whole(cells[0].number)) : 0;
  }
  err_clear();
  return dims;
}

int32_t ora_load_column_metadata(SrvConnection* conn, SpatialColumnDesc* desc) {
  if (conn == nullptr || desc == nullptr) return 0;
  desc->dimensions = ora_read_dims_and_srid(conn, desc);
  if (conn->oracle_815) {
    if (desc->dimensions <= 1) return desc->dimensions;
    if (!ora_read_index_level(desc, conn)) return 0;
    return ora_read_tile_size(desc, conn);
  }
  if (desc->srid_is_null) return desc->dimensions;
  if (desc->coordsys == nullptr) return 0;
  return ora_srid_matches_coordsys(desc->coordsys, desc->srid);
}

int16_t ora_read_index_level(SpatialColumnDesc* desc, SrvConnection* conn) {
  if (conn == nullptr || desc == nullptr) return 0;
  const std::string sql = "select SDO_LEVEL from sdo_index_metadata A, all_indexes B where B.table_name = " +
                          lit(desc->table) + " and B.OWNER = " + lit(desc->owner) + " and (SDO_COLUMN_NAME = " +
                          lit(std::string("\"") + desc->column + "\"") + " or SDO_COLUMN_NAME = " +
                          lit(desc->column) + ") and SDO_INDEX_NAME = INDEX_NAME";
  std::vector<Cell> cells;
  if (first_row(conn, sql, &cells) != 1 || !cells[0].is_number) return 0;
  desc->tiling_level = static_cast<int32_t>(whole(cells[0].number));
  return 1;
}

int16_t ora_read_tile_size(SpatialColumnDesc* desc, SrvConnection* conn) {
  if (conn == nullptr || desc == nullptr) return 0;
  const std::string sql = "select DIMINFO  from " + std::string(conn->quote) + desc->owner + conn->quote +
                          ".sdo_geom_metadata where table_name = " + lit(desc->table) +
                          " AND column_name = " + lit(desc->column);
  std::vector<Cell> cells;
  if (first_row(conn, sql, &cells) != 1 || cells[0].doubles.size() < 5) return 0;
  const std::vector<double>& d = cells[0].doubles;
  const double tiles = std::ldexp(1.0, desc->tiling_level);
  desc->tile_width = std::fabs(d[0] - d[1]) / tiles;
  desc->tile_height = std::fabs(d[3] - d[4]) / tiles;
  return 1;
}

double ora_window_tile_count(const DRect* window, const SpatialColumnDesc* desc) {
  if (window == nullptr || desc == nullptr) return 0;
  const double w = std::fabs(window->x2 - window->x1);
  const double h = std::fabs(window->y2 - window->y1);
  const double nx = desc->tile_width > 0 ? std::ceil(w / desc->tile_width) : 0;
  const double ny = desc->tile_height > 0 ? std::ceil(h / desc->tile_height) : 0;
  return nx * ny;
}

int16_t ora_srid_is_geodetic(SrvConnection* conn, int32_t srid) {
  if (conn == nullptr || srid == 0) return 0;
  char sql[96];
  std::snprintf(sql, sizeof sql, "select SRID from MDSYS.GEODETIC_SRIDS where SRID = %d", srid);
  std::vector<Cell> cells;
  const int16_t got = first_row(conn, sql, &cells);
  if (got < 0) {
    err_clear();
    return 0;
  }
  return got == 1 && cells[0].is_number && whole(cells[0].number) == srid ? 1 : 0;
}

int16_t ora_write_geom_metadata(SrvConnection* conn, const char* table, const char* column, const CoordXform* xform) {
  if (conn == nullptr || xform == nullptr) return 0;
  if (!srv_begin_transaction(conn)) return 0;
  run(conn, "delete from user_sdo_geom_metadata where table_name = " + lit(table) + " and column_name = " +
                lit(column));
  err_clear();
  CoordXform xf = *xform;
  const bool newer = newer_than_817(conn);
  if (newer) ora_normalise_latlong(&xf);
  int32_t srid = 0;
  if (!coordsys_to_srid(&xf, &srid)) srid = 0;
  const std::string srid_text = srid != 0 ? std::to_string(srid) : std::string("NULL");
  DRect b{};
  xform_bounds_in_units(&xf, &b, xform_units(&xf));
  double tx = 0, ty = 0;
  coordsys_tolerance(&xf, 7, 0, &tx, &ty);
  if (newer && srid != 0 && ora_srid_is_geodetic(conn, srid)) {
    coordsys_tolerance(&xf, 7, 1, &tx, &ty);
    if (xf.type == PROJ_LATLONG) b = DRect{-180, -90, 180, 90};
  }
  const std::string sql = "insert into user_sdo_geom_metadata values (" + lit(table) + ", " + lit(column) +
                          ", mdsys.sdo_dim_array \t(mdsys.sdo_dim_element( 'X', " + number_text("%.12g", b.x1) +
                          ", " + number_text("%.12g", b.x2) + ", " + number_text("%21.10f", tx) +
                          "), mdsys.sdo_dim_element( 'Y', " + number_text("%.12g", b.y1) + ", " +
                          number_text("%.12g", b.y2) + ", " + number_text("%21.10f", ty) + ") ), " + srid_text +
                          ")";
  SrvStatement* stmt = srv_execute(conn, sql.c_str());
  if (stmt == nullptr) {
    srv_rollback(conn);
    return 0;
  }
  srv_close_statement(conn, stmt);
  return srv_commit(conn);
}

// ---- the spatial index -----------------------------------------------------------------------

int64_t ora_count_rows(const char* table, const char* owner, SrvConnection* conn) {
  if (conn == nullptr) return 0;
  std::vector<Cell> cells;
  const std::string sql = "Select count(*) from " + std::string(text_or_empty(owner)) + "." + text_or_empty(table);
  if (first_row(conn, sql, &cells) != 1 || !cells[0].is_number) {
    err_clear();
    return 0;
  }
  return whole(cells[0].number);
}

int32_t ora_estimate_tiling_level(const char* column, const char* table, SrvConnection* conn, const char* owner) {
  if (conn == nullptr) return 0;
  const std::string layer = std::string(text_or_empty(owner)) + "." + text_or_empty(table);
  const std::string sql = "select mdsys.sdo_tune.estimate_tiling_level(" + lit(layer) + ", " + lit(column) +
                          ", 10000,'ALL_GID_EXTENT') from dual";
  std::vector<Cell> cells;
  if (first_row(conn, sql, &cells) != 1 || !cells[0].is_number) {
    err_clear();
    return 0;
  }
  const int64_t level = whole(cells[0].number);
  return level > 0 && level < 64 ? static_cast<int32_t>(level) : 0;
}

void ora_analyze_index_table(const char* table, const char* column, const char* owner, SrvConnection* conn) {
  if (conn == nullptr) return;
  const std::string sql = "select SDO_INDEX_TABLE from all_sdo_index_metadata A, all_indexes B where B.table_name = " +
                          lit(upper(table)) + "\t\t\t\t\t\t   and B.OWNER = " + lit(owner) +
                          " and A.SDO_INDEX_OWNER= " + lit(owner) + " and (SDO_COLUMN_NAME = " +
                          lit(std::string("\"") + text_or_empty(column) + "\"") +
                          " or SDO_COLUMN_NAME = " + lit(column) + ") and SDO_INDEX_NAME = INDEX_NAME";
  std::vector<Cell> cells;
  if (first_row(conn, sql, &cells) == 1 && cells[0].is_text && !cells[0].text.empty()) {
    run(conn, "ANALYZE table " + cells[0].text.substr(0, 32) + " compute statistics");
  }
  err_clear();
}

int16_t ora_create_spatial_index(const char* owner, const char* table, const char* column, SrvConnection* conn) {
  if (conn == nullptr) return 0;
  const std::string o = text_or_empty(owner), t = text_or_empty(table), c = text_or_empty(column);
  std::string sql = "create index " + o + "." + t + "_SX on " + o + "." + t + " (" + c +
                    ") indextype is mdsys.spatial_index";
  // Quadtree indexes before 8.1.7, with a tiling level by the row count;
  // R-tree indexes from 8.1.7 on.
  const bool quadtree = srv_version_compare(conn->version, "8.1.7") < 0;
  int64_t rows = 0;
  if (quadtree) {
    rows = ora_count_rows(table, owner, conn);
    int32_t level = 6;
    if (rows >= 7500) {
      level = ora_estimate_tiling_level(column, table, conn, owner);
      if (level <= 0) level = 4;
    } else if (rows >= 2500) {
      level = 8;
    }
    sql += " parameters ('SDO_LEVEL=" + std::to_string(level) + ", SDO_NUMTILES=4')";
  }
  if (!run(conn, sql)) return 0;
  if (quadtree && rows > 0) ora_analyze_index_table(table, column, owner, conn);
  return 1;
}

// ---- windows ----------------------------------------------------------------------------------

int32_t ora_window_clause(const SpatialColumnDesc* desc, SrvSearch* search, const char* alias, int16_t parameterised,
                          const DRect* window, const char* x_min, const char* y_min, const char* x_max,
                          const char* y_max, const char* quote, std::string* text, int16_t relation,
                          const char* version_text) {
  if (desc == nullptr || text == nullptr) return 0;
  if (ora_window_tile_count(window, desc) > static_cast<double>(desc->max_tiles)) {
    text->append(" 1=1");
    if (search != nullptr) search->flag = 1;
    return 5;
  }
  const std::string q = text_or_empty(quote);
  const std::string column = std::string(text_or_empty(alias)) + "." + q + desc->column + q;
  std::string clause;
  if (parameterised) {
    const char* mask = relation == 1   ? "ANYINTERACT"
                       : relation == 2 ? "(INSIDE+COVEREDBY)"
                       : relation == 3 ? "DISJOINT"
                                       : nullptr;
    if (mask != nullptr) {
      clause = "mdsys.sdo_relate(" + column + ", ?, 'mask=" + mask + " querytype=WINDOW') = 'TRUE'";
    }
  } else if (desc->dimensions == 2 || desc->dimensions == 3) {
    const std::string srid = desc->srid_is_null ? std::string("NULL") : std::to_string(desc->srid);
    const bool three = desc->dimensions == 3;
    const std::string xa = text_or_empty(x_min), ya = text_or_empty(y_min);
    const std::string xb = text_or_empty(x_max), yb = text_or_empty(y_max);
    const std::string ordinates = three ? xa + "," + ya + ",NULL," + xb + "," + yb + ",NULL"
                                        : xa + "," + ya + "," + xb + "," + yb;
    const char* gtype = three ? "3003" : "2003";
    // The viewport transform came with 8.2.
    if (!desc->srid_is_null && desc->srid > 0 && srv_version_compare(version_text, "8.2") >= 0) {
      clause = "mdsys.sdo_filter(" + column + ", SDO_CS.VIEWPORT_TRANSFORM(mdsys.sdo_geometry(" + gtype +
               ",0,NULL, mdsys.sdo_elem_info_array(1,1003,3),mdsys.sdo_ordinate_array(" + ordinates + "))," +
               srid + "), 'querytype=WINDOW') = 'TRUE'";
    } else {
      clause = "mdsys.sdo_filter(" + column + ", mdsys.sdo_geometry(" + gtype + "," + srid +
               ",NULL, mdsys.sdo_elem_info_array(1,3,3),mdsys.sdo_ordinate_array(" + ordinates +
               ")), 'querytype=WINDOW') = 'TRUE'";
    }
  }
  text->append(clause);
  return static_cast<int32_t>(clause.size()) + 1;
}

// ---- geometry-valued names -------------------------------------------------------------------

namespace {

const char* const kSdoFunctions[] = {
    "SDO_GEOM.SDO_BUFFER",        "SDO_GEOM.SDO_CENTROID",     "SDO_GEOM.SDO_CONVEXHULL",
    "SDO_GEOM.SDO_DIFFERENCE",    "SDO_GEOM.SDO_INTERSECTION", "SDO_GEOM.SDO_POINTONSURFACE",
    "SDO_GEOM.SDO_POLY_DIFFERENCE", "SDO_GEOM.SDO_POLY_INTERSECTION", "SDO_GEOM.SDO_POLY_UNION",
    "SDO_GEOM.SDO_POLY_XOR",      "SDO_GEOM.SDO_UNION",        "SDO_GEOM.SDO_XOR",
    "SDO_GEOM.POLY_DIFFERENCE",   "SDO_GEOM.POLY_INTERSECTION", "SDO_GEOM.POLY_UNION",
    "SDO_GEOM.POLY_XOR",          nullptr};

const char* const kExtKtFunctions[] = {
    "KT_ADJACENT",     "KT_AFFINE",          "KT_AGGCONVEX_HULL", "KT_AGGINTERSECTION", "KT_AGGSPATIAL",
    "KT_AGGUNION",     "KT_AS_CURVES",       "KT_AS_PATHS",       "KT_AS_POINTS",       "KT_AS_POLYLINES",
    "KT_ASSEMBLED",    "KT_BEGIN_POINT",     "KT_BOUNDARY",       "KT_BOUNDING_BOX",    "KT_BOX",
    "KT_BOX_POINTS",   "KT_BOX_WH",          "KT_BUFFER",         "KT_CENTER_IN",       "KT_CENTER_IN_3D",
    "KT_CENTER_OF_GRAV", "KT_CENTER_POINT",  "KT_CENTROID",       "KT_CIRCLE",          "KT_CIRCULARARC",
    "KT_CLEAN",        "KT_COMBINE",         "KT_CONNECT",        "KT_CONTAIN",         "KT_CONVEX_HULL",
    "KT_CORNER",       "KT_CSTRANSFORM",     "KT_CURVE",          "KT_DIFFERENCE",      "KT_DISSOLVE",
    "KT_END_OF",       "KT_END_POINT",       "KT_END_TANGENT_P",  "KT_ENVELOPE",        "KT_ERASE",
    "KT_ERASE_OUTSIDE", "KT_EXPANDED",       "KT_EXTENT",         "KT_EXTERIOR_PATH",   "KT_EXTRACT_AT",
    "KT_FILTER",       "KT_FILTER_CURVES",   "KT_FILTER_PATHS",   "KT_FILTER_POINTS",   "KT_FILTER_POLYGONS",
    "KT_INTERIOR_PATH", "KT_INTERSECT_IN",   "KT_INTERSECTION",   "KT_NODE_INTERSECT",  "KT_ORI_ROTATION",
    "KT_OVERLAP",      "KT_PATH",            "KT_POINT",          "KT_POINTN",          "KT_POLYGON",
    "KT_POLYLINE",     "KT_QUAD",            "KT_REPLACEPOINT",   "KT_SETSRID",         "KT_SP2PATHIN",
    "KT_SP2PNTIN",     "KT_SP2POLYIN",       "KT_SP2PSETIN",      "KT_SPATIAL",         "KT_SPLIT",
    "KT_START_OF",     "KT_START_TANGENT_P", "KT_SUBCURVE",       "KT_SYM_DIFFERENCE",  "KT_TRANSFORM",
    "KT_TRANSFORMFROM", "KT_TRIANGLE",       "KT_UNION",          nullptr};

const char* const kExtStFunctions[] = {"ST_ADJACENT", "ST_BUFFER",   "ST_CIRCULARARC", "ST_CONTAIN",   "ST_OVERLAP",
                                       "ST_PATH",     "ST_POINT",    "ST_POINT3D",     "ST_POLYGON",   "ST_POLYLINE",
                                       "ST_POLYLINE3D", "ST_SPATIAL", "ST_TRANSFORM",  nullptr};

bool begins_with_one_of(const std::string& item, const char* const* names) {
  for (const char* const* n = names; *n != nullptr; ++n) {
    if (item.compare(0, std::strlen(*n), *n) == 0) return true;
  }
  return false;
}

void mark_spatial_function(SrvQuery* query) {
  if (query == nullptr || query->desc == nullptr) return;
  query->desc->geometry_class = 3;
  query->desc->derived_kind += 0.3;
}

// The column part of a possibly qualified item: after the last dot outside
// quotes.
std::string column_part(const std::string& item, char quote) {
  size_t start = 0;
  bool in_quote = false;
  for (size_t i = 0; i < item.size(); ++i) {
    if (quote != '\0' && item[i] == quote) in_quote = !in_quote;
    else if (item[i] == '.' && !in_quote) start = i + 1;
  }
  return item.substr(start);
}

}  // namespace

int16_t ora_ext_function_name(SrvConnection*, SrvQuery* query, const char* name) {
  const std::string item = upper(name);
  bool match = false;
  if (item.compare(0, 3, "KT_") == 0) match = begins_with_one_of(item, kExtKtFunctions);
  else if (item.compare(0, 3, "ST_") == 0) match = begins_with_one_of(item, kExtStFunctions);
  if (!match) return 0;
  mark_spatial_function(query);
  return 1;
}

int16_t ora_name_is_spatial(SrvConnection* conn, SrvQuery* query, const char* name) {
  std::string item = upper(name);
  str_trim_left(item.data());
  item.resize(std::strlen(item.c_str()));
  bool match;
  if (item.compare(0, 4, "SDO_") == 0) {
    match = begins_with_one_of(item, kSdoFunctions);
  } else {
    match = item.compare(0, 8, "SKELETON") == 0 || item.compare(0, 18, "MDSYS.SDO_GEOMETRY") == 0;
  }
  if (!match && ora_ext_function_name(conn, query, item.c_str())) return 1;
  if (match) {
    mark_spatial_function(query);
    return 1;
  }
  if (query == nullptr || query->desc == nullptr) return 0;
  const char quote = conn != nullptr ? conn->quote[0] : '\0';
  std::string column = column_part(item, quote);
  str_trim_right(column.data());
  column.resize(std::strlen(column.c_str()));
  if (quote != '\0') column.erase(std::remove(column.begin(), column.end(), quote), column.end());
  return mb_str_equal_nocase(column.c_str(), query->desc->column) ? 1 : 0;
}

namespace {
// Type 0 "col"=NULL; listed types "col"; types answering an empty text; the
// rest refused.
int16_t column_text(const SpatialColumnDesc* desc, const char* quote, const MapObject* object, char** text,
                    bool strict) {
  if (text == nullptr) return 0;
  *text = nullptr;
  if (desc == nullptr) return 0;
  const int type = object != nullptr ? object->type : 0;
  const std::string q = text_or_empty(quote);
  const std::string name = q + desc->column + q;
  std::string out;
  if (type == 0) {
    out = name + "=NULL";
  } else if (type == 1 || type == 2 || type == 4 || type == 5 || type == 7 || (strict && type == 6)) {
    out = name;
  } else if (!strict && (type == 3 || type == 6 || type == 8 || type == 9)) {
    out.clear();
  } else {
    return 0;
  }
  *text = srv_text_block(out);
  return *text != nullptr ? 1 : 0;
}
}  // namespace

int16_t ora_pair_or_column_text(const SpatialColumnDesc* desc, const char* quote, const MapObject* object,
                                char** text) {
  return column_text(desc, quote, object, text, false);
}

int16_t ora_pair_or_column_text_strict(const SpatialColumnDesc* desc, const char* quote, const MapObject* object,
                                       char** text) {
  return column_text(desc, quote, object, text, true);
}

// ---- the Workspace Manager -------------------------------------------------------------------

namespace {

const char* const kLive = "LIVE";

// A name too long to keep is remembered as unknown (empty), so that the
// next request goes to the server again instead of matching a cut name.
void remember_workspace(SrvConnection* conn, const char* name) {
  if (std::strlen(name) < sizeof conn->workspace) str_copy_n(conn->workspace, name, sizeof conn->workspace);
  else conn->workspace[0] = '\0';
}

// Moves the connection into the workspace unless it is there already.
int16_t enter_workspace(SrvConnection* conn, const char* name) {
  const char* wanted = name != nullptr && name[0] != '\0' ? name : kLive;
  if (std::strcmp(wanted, conn->workspace) == 0) return 1;
  if (!ora_goto_workspace(conn, wanted)) return 0;
  remember_workspace(conn, wanted);
  return 1;
}

// The text of the first column of the first row, or false.
bool first_text(SrvConnection* conn, const std::string& sql, std::string* out) {
  std::vector<Cell> cells;
  if (first_row(conn, sql, &cells) != 1 || !cells[0].is_text) return false;
  *out = cells[0].text;
  return true;
}

}  // namespace

int16_t ora_enable_versioning(SrvConnection* conn, const char* table, const char* history) {
  if (conn == nullptr) return 0;
  return run(conn, "BEGIN DBMS_WM.EnableVersioning(" + lit(table) + ", " + lit(history) + "); END;");
}

int16_t ora_disable_versioning(SrvConnection* conn, const char* table, int16_t force) {
  if (conn == nullptr) return 0;
  return run(conn, "BEGIN DBMS_WM.DisableVersioning(" + lit(table) + ", " + (force == 1 ? "TRUE" : "FALSE") +
                       "); END;");
}

int16_t ora_goto_workspace(SrvConnection* conn, const char* name) {
  if (conn == nullptr) return 0;
  return run(conn, "BEGIN DBMS_WM.GotoWorkspace(" + lit(name != nullptr && name[0] != '\0' ? name : kLive) +
                       "); END;");
}

int16_t ora_get_workspace(SrvConnection* conn, char* name, int32_t size) {
  if (conn == nullptr || name == nullptr || size <= 0) return 0;
  std::string text;
  if (!first_text(conn, "select DBMS_WM.GetWorkspace from dual", &text)) return 0;
  str_trim_right(text.data());
  text.resize(std::strlen(text.c_str()));
  if (text.size() >= static_cast<size_t>(size)) return 0;  // never a cut name
  str_copy_n(name, text.c_str(), size);
  return 1;
}

int16_t ora_merge_table(SrvConnection* conn, const char* workspace, const char* table, const char* where,
                        int16_t remove) {
  if (conn == nullptr) return 0;
  return run(conn, "BEGIN DBMS_WM.MergeTable(" + lit(workspace) + ", " + lit(table) + ", " + lit(where) +
                       ", FALSE, " + (remove == 1 ? "TRUE" : "FALSE") + ", TRUE); END;");
}

int16_t ora_refresh_table(SrvConnection* conn, const char* workspace, const char* table, const char* where) {
  if (conn == nullptr || !enter_workspace(conn, workspace)) return 0;
  return run(conn, "BEGIN DBMS_WM.RefreshTable(" + lit(workspace) + ", " + lit(table) + ", " + lit(where) +
                       ", TRUE); END;");
}

int16_t ora_create_workspace(SrvConnection* conn, const char* name, const char* description, const char* enter) {
  if (conn == nullptr) return 0;
  char current[kSrvTextSize];
  if (!ora_get_workspace(conn, current, sizeof current)) return 0;
  remember_workspace(conn, current);
  if (enter != nullptr && enter[0] != '\0') {
    if (!enter_workspace(conn, enter)) return 0;
  } else if (!enter_workspace(conn, kLive)) {
    return 0;
  }
  return run(conn, "BEGIN DBMS_WM.CreateWorkspace(" + lit(name) + ", FALSE, " + lit(description) + ", TRUE); END;");
}

int16_t ora_remove_workspace(SrvConnection* conn, const char* name) {
  if (conn == nullptr) return 0;
  char current[kSrvTextSize];
  if (!ora_get_workspace(conn, current, sizeof current)) return 0;
  remember_workspace(conn, current);
  if (std::strcmp(current, text_or_empty(name)) == 0 && !enter_workspace(conn, kLive)) return 0;
  return run(conn, "BEGIN DBMS_WM.RemoveWorkspace(" + lit(name) + ", TRUE); END;");
}

int16_t ora_workspace_occupied(SrvConnection* conn, const char* name) {
  if (conn == nullptr) return 0;
  std::string text;
  return first_text(conn, "select DBMS_WM.IsWorkspaceOccupied(" + lit(name) + ") from dual", &text) &&
                 text.compare(0, 3, "YES") == 0
             ? 1
             : 0;
}

int64_t ora_count_distinct(SrvConnection* conn, const char* workspace, const char* table, const char* where,
                           const char* column) {
  if (conn == nullptr || !enter_workspace(conn, workspace)) return -1;
  std::string sql = "SELECT COUNT(DISTINCT(" + std::string(text_or_empty(column)) + ")) FROM " + text_or_empty(table);
  if (where != nullptr && where[0] != '\0') sql += std::string(" where ") + where;
  std::vector<Cell> cells;
  if (first_row(conn, sql, &cells) != 1 || !cells[0].is_number) return -1;
  return whole(cells[0].number);
}

int16_t ora_table_conflicts(SrvConnection* conn, const char* workspace, const char* table, const char* where,
                            const char* column) {
  if (conn == nullptr || !enter_workspace(conn, workspace)) return 0;
  if (!run(conn, "BEGIN DBMS_WM.SetConflictWorkspace(" + lit(workspace) + "); END;")) return 0;
  if (where != nullptr && where[0] != '\0' && ora_is_spatial_v10(conn)) {
    const std::string view = std::string(text_or_empty(table)) + "_CONF";
    const int64_t n = ora_count_distinct(conn, workspace, view.c_str(), where, column);
    if (n > 0) return 1;
    if (n == 0) return 0;
  }
  std::string text;
  return first_text(conn, "select CONFLICT from all_wm_versioned_tables where TABLE_NAME = " + lit(table), &text) &&
                 text.compare(0, 3, "YES") == 0
             ? 1
             : 0;
}

int16_t ora_conflict_view_readable(SrvConnection* conn, const char* workspace, const char* table) {
  if (conn == nullptr) return 0;
  if (!ora_table_conflicts(conn, workspace, table, nullptr, nullptr)) return 1;
  return first_row(conn, "SELECT COUNT(1) FROM " + std::string(text_or_empty(table)) + "_CONF", nullptr) == 1 ? 1
                                                                                                                : 0;
}

SrvStatement* ora_select_ordered(SrvConnection* conn, const char* table, const char* where, const char* order) {
  if (conn == nullptr) return nullptr;
  std::string sql = "select * from " + std::string(text_or_empty(table));
  if (where != nullptr && where[0] != '\0') sql += std::string(" where ") + where;
  sql += std::string(" order by ") + text_or_empty(order);
  return srv_execute(conn, sql.c_str());
}

int16_t ora_fetch_rows(SrvConnection* conn, SrvStatement* stmt, FieldDef** rows, int32_t count) {
  if (stmt == nullptr) return 1;
  if (conn == nullptr || rows == nullptr) return 0;
  int16_t answer = 1;
  for (int32_t r = 0; r < count; ++r) {
    if (!srv_fetch(conn, stmt, kSrvFetchNext) || srv_statement_at_end(conn, stmt)) return 0;
    const int32_t columns = stmt->column_count;
    for (int32_t c = 0; c < columns && answer; ++c) {
      FieldDef& field = rows[r][c];
      if (stmt->columns[c].type == 90) {
        value_free(&field.value);
        field.value.type = VALUE_OBJECT;
        continue;
      }
      value_free(&field.value);
      if (!srv_column_value(conn, stmt, &field.value, static_cast<int16_t>(c + 1))) answer = 0;
    }
  }
  return answer;
}

int16_t ora_close_statement(SrvConnection* conn, SrvStatement* stmt) { return srv_close_statement(conn, stmt); }

int16_t ora_switch_workspace(SrvConnection* conn, int16_t use_name, const char* name) {
  if (conn == nullptr || !srv_is_kind(conn, SRV_KIND_ORA_SPATIAL) || conn->major_version < 9 ||
      !conn->versioning_state) {
    return 1;
  }
  if (use_name && name != nullptr && name[0] != '\0') return enter_workspace(conn, name);
  return enter_workspace(conn, kLive);
}

int16_t ora_is_oracle_toolkit(const SrvConnection* conn) {
  return ora_is_oracle_server(conn) && std::strcmp(conn->driver_name, kernel_string(kStrOraToolkitDriver)) == 0 ? 1
                                                                                                                 : 0;
}

int16_t ora_is_spatial_v9(const SrvConnection* conn) {
  return srv_is_kind(conn, SRV_KIND_ORA_SPATIAL) && conn->major_version >= 9 ? 1 : 0;
}

int16_t ora_is_spatial_v10(const SrvConnection* conn) {
  return srv_is_kind(conn, SRV_KIND_ORA_SPATIAL) && conn->major_version >= 10 ? 1 : 0;
}

int32_t ora_get_versioning(const SrvConnection* conn) { return conn != nullptr ? conn->versioning_state : 0; }
