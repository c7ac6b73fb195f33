// The kernel's own maintenance of the server's spatial catalogue: table
// and column probes, a table's bounds and row count, its removal, the
// bounds computed from the table's objects, and its style and rendition.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/server/srv_query.h"

struct DRect;
struct StyleSet;

constexpr int16_t kErrSpcatNoTable = 1583;
constexpr int16_t kErrSpcatNoColumn = 1594;
constexpr int16_t kErrSpcatNoRenditionColumns = 1589;
constexpr int16_t kErrSpcatMissingRendition = 321;
constexpr int32_t kStrSpcatProgress = 3962;
constexpr int32_t kStrSpcatTable = 6075;
constexpr int32_t kStrSpcatOwner = 6076;
constexpr int32_t kStrSpcatTableColumn = 6080;
constexpr int32_t kStrSpcatOwnerColumn = 6081;
constexpr int32_t kStrSpcatOwnerTemplate = 6947;
constexpr int32_t kStrSpcatStyleColumn = 6948;
constexpr int32_t kStrSpcatTemplate = 6958;
constexpr int32_t kStrSpcatRenditionOwnerTemplate = 7424;
constexpr int32_t kStrSpcatRenditionTemplate = 7425;

// The catalogue's qualified name in one process-wide buffer (each call
// overwrites it).
const char* spcat_name(SrvConnection* conn);
int16_t spcat_table_exists(SrvConnection* conn, const char* table, int16_t report);
int16_t spcat_column_exists(SrvConnection* conn, const char* table, const char* column, int16_t report);
int16_t spcat_update_extents(SrvConnection* conn, const SpatialColumnDesc* desc);
int16_t spcat_update_entry(SrvConnection* conn, const char* owner, const char* table, const double* bounds,
                           long rows);
// 1 when the statement ran (the owner defaults to the connection's user).
int16_t spcat_delete_entry(SrvConnection* conn, const char* table, const char* owner);
// Bounds (x1, y1, x2, y2) and row count of a server table from its OBJECT
// column, read with the catalogue's spatial kind of the server; 0 when the
// kind's objects cannot be read or a row fails.
int16_t spcat_table_extents(SrvConnection* conn, const char* owner, const char* table, CoordXform* coordsys,
                            double* bounds, long* rows);
int16_t spcat_bounds_grow(const DRect* rect, SpatialColumnDesc* desc);
int16_t spcat_bounds_valid(const CoordXform* coordsys, const double* bounds);
int32_t spcat_spatial_kind(const SrvConnection* conn);
void spcat_style_text(const StyleSet* style, std::string* out);
int16_t spcat_set_rendition(SrvConnection* conn, const char* table, const char* style_text,
                            const char* rendition_column, int16_t with_rendition);
// A template's "%s" filled with the arguments in order; false (out empty)
// when the counts differ or the template has another conversion.
bool spcat_fill_template(const char* templ, const std::vector<std::string>& args, std::string* out);
// Sets the connection's rendition-columns and number-rows flags from the
// catalogue's columns; the error stack is left as it was.
void spcat_probe_flags(SrvConnection* conn);
