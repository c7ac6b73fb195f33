// Oracle Spatial servers (SDO_GEOMETRY columns): detection of the spatial
// option, layer metadata and the spatial index, search windows and the names
// of geometry-valued functions, and the Workspace Manager of versioned
// tables.
//
// Every text literal that carries a name, a workspace or a where text is
// quoted with the quotes inside it doubled. Versions compare as dotted
// numbers (srv_version_compare). Probes clear the error stack when they end.
#pragma once

#include <cstdint>
#include <string>

#include "kernel/runtime/rect.h"
#include "kernel/server/srv_query.h"

struct CoordXform;
struct FieldDef;
struct MapObject;

constexpr int16_t kErrOraNoMetadata = 1592;
constexpr int32_t kStrOraToolkitDriver = 6999;

// ---- detection, metadata and the spatial index -----------------------------------------------
int16_t ora_is_spatial_server(const SrvConnection* conn);
// Only on a driver whose name begins with "ORAINET": 1 when the spatial
// option answered (server type "Oracle_Spatial", version text and number
// from sdo_version()). The user name is upper-cased.
int16_t ora_detect_spatial(SrvConnection* conn);
int16_t ora_is_spatial_table(SrvConnection* conn, const char* name);
int16_t ora_table_has_geometry(SrvConnection* conn, void* spare, const char* name);
// The layer's x and y range and SRID from DIMINFO (a column of doubles,
// three per dimension); no row pushes 1592 (column, "owner.table").
int16_t ora_read_geom_metadata(SrvConnection* conn, const char* owner, const char* table, const char* column,
                               DRect* bounds, int32_t* srid);
int32_t ora_load_column_metadata(SrvConnection* conn, SpatialColumnDesc* desc);
int32_t ora_read_dims_and_srid(SrvConnection* conn, SpatialColumnDesc* desc);
int16_t ora_read_index_level(SpatialColumnDesc* desc, SrvConnection* conn);
int16_t ora_read_tile_size(SpatialColumnDesc* desc, SrvConnection* conn);
// Tiles a window (x min, y min, x max, y max) covers, in double: tiny
// tiles give counts beyond any integer.
double ora_window_tile_count(const DRect* window, const SpatialColumnDesc* desc);
// Delete and insert of the layer's metadata row in one transaction: 1 after
// the commit; a failed insert rolls back (the old row stays).
int16_t ora_write_geom_metadata(SrvConnection* conn, const char* table, const char* column, const CoordXform* xform);
int16_t ora_srid_is_geodetic(SrvConnection* conn, int32_t srid);
int16_t ora_create_spatial_index(const char* owner, const char* table, const char* column, SrvConnection* conn);
int64_t ora_count_rows(const char* table, const char* owner, SrvConnection* conn);
int32_t ora_estimate_tiling_level(const char* column, const char* table, SrvConnection* conn, const char* owner);
void ora_analyze_index_table(const char* table, const char* column, const char* owner, SrvConnection* conn);

// ---- windows and geometry-valued names ----------------------------------------------------------
// Appends the window condition of relation 1 (any interaction), 2 (inside)
// or 3 (disjoint) to text, which grows as needed, and answers the appended
// length plus 1. Too many tiles append " 1=1" and set the search flag.
int32_t ora_window_clause(const SpatialColumnDesc* desc, SrvSearch* search, const char* alias, int16_t parameterised,
                          const DRect* window, const char* x_min, const char* y_min, const char* x_max,
                          const char* y_max, const char* quote, std::string* text, int16_t relation,
                          const char* version_text);
int16_t ora_name_is_spatial(SrvConnection* conn, SrvQuery* query, const char* name);
int16_t ora_ext_function_name(SrvConnection* conn, SrvQuery* query, const char* name);
// Column texts as new kernel blocks owned by the caller.
int16_t ora_pair_or_column_text(const SpatialColumnDesc* desc, const char* quote, const MapObject* object,
                                char** text);
int16_t ora_pair_or_column_text_strict(const SpatialColumnDesc* desc, const char* quote, const MapObject* object,
                                       char** text);

// ---- the Workspace Manager ------------------------------------------------------------------------
int16_t ora_enable_versioning(SrvConnection* conn, const char* table, const char* history);
int16_t ora_disable_versioning(SrvConnection* conn, const char* table, int16_t force);
int16_t ora_goto_workspace(SrvConnection* conn, const char* name);
// The server's current workspace into name (size bytes); 0 when it does
// not fit.
int16_t ora_get_workspace(SrvConnection* conn, char* name, int32_t size);
int16_t ora_merge_table(SrvConnection* conn, const char* workspace, const char* table, const char* where,
                        int16_t remove);
int16_t ora_refresh_table(SrvConnection* conn, const char* workspace, const char* table, const char* where);
int16_t ora_create_workspace(SrvConnection* conn, const char* name, const char* description, const char* enter);
int16_t ora_remove_workspace(SrvConnection* conn, const char* name);
int16_t ora_workspace_occupied(SrvConnection* conn, const char* name);
int16_t ora_table_conflicts(SrvConnection* conn, const char* workspace, const char* table, const char* where,
                            const char* column);
int16_t ora_conflict_view_readable(SrvConnection* conn, const char* workspace, const char* table);
// The count; -1 when the workspace cannot be entered or the query fails.
int64_t ora_count_distinct(SrvConnection* conn, const char* workspace, const char* table, const char* where,
                           const char* column);
SrvStatement* ora_select_ordered(SrvConnection* conn, const char* table, const char* where, const char* order);
// rows[i] holds one field per result column; SDO columns (type 90) get an
// Object value without payload.
int16_t ora_fetch_rows(SrvConnection* conn, SrvStatement* stmt, FieldDef** rows, int32_t count);
int16_t ora_close_statement(SrvConnection* conn, SrvStatement* stmt);
int16_t ora_switch_workspace(SrvConnection* conn, int16_t use_name, const char* name);
int16_t ora_is_oracle_toolkit(const SrvConnection* conn);
int16_t ora_is_spatial_v9(const SrvConnection* conn);
int16_t ora_is_spatial_v10(const SrvConnection* conn);
int32_t ora_get_versioning(const SrvConnection* conn);
