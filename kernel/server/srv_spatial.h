// Spatial SQL of a linked server table: the column and value texts of the
// spatial part of an INSERT and an UPDATE for every spatial kind, which
// objects a column of a geometry class accepts (with in-place conversion),
// the binding of an object to a prepared statement, and the X/Y and
// quad-key code columns of point tables.
#pragma once

#include <cstdint>

#include "kernel/server/srv_query.h"

struct MapObject;
struct KernelList;

constexpr int16_t kErrSrvObjectRefused = 1575;
constexpr int16_t kErrSrvGeometryTooLarge = 1168;

// Texts are new kernel blocks owned by the caller (null when none).
int16_t srv_spatial_insert_parts(SrvConnection* conn, SrvQuery* query, MapObject* object, char** column_text,
                                 char** value_text);
int16_t srv_spatial_update_pair(SrvConnection* conn, SrvQuery* query, MapObject* object, char** pair_text);
int16_t spatial_param_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object,
                                   char** column_text, char** value_text);
int16_t spatial_param_update_pair(SpatialColumnDesc* desc, MapObject* object, const char* quote, char** pair_text);
int16_t ora_column_accepts_object(SpatialColumnDesc* desc, MapObject* object);
int16_t spx_column_accepts_object(SpatialColumnDesc* desc, MapObject* object);
int16_t sqs_column_accepts_object(SpatialColumnDesc* desc, MapObject* object);
int16_t ora_fit_object_to_column(MapObject* object, SpatialColumnDesc* desc, uint8_t* state_byte);
int16_t spatial_refuse_object(const MapObject* object);
int16_t srv_count_char(const char* text, char character);

// Binds the object to every parameter of the statement (kinds 5, 7, 11,
// 12, 14 as a geometry blob, kind 13 as SDO arrays; other kinds answer 1
// without binding). The blob buffer, the SDO holder and the parameter
// descriptor are kept by the caller for the next row (the blob buffer
// grows only for a larger object) and released with
// srv_spatial_bind_release. An encoder failure answers 0, nothing bound.
int16_t srv_spatial_bind_value(SrvQuery* query, SrvConnection* conn, SrvStatement* stmt, MapObject* object,
                               void** blob, void** sdo_holder, SrvColumn** param, int16_t reuse);
void srv_spatial_bind_release(void** blob, void** sdo_holder, SrvColumn** param);
// Blob buffers allocated by the binding so far (tests).
int64_t srv_spatial_blob_allocations();

// X/Y columns (kinds 4, 9, 10) and X/Y with the quad-key code (kind 1).
int16_t xy_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** column_text,
                        char** value_text);
int16_t xy_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text);
int16_t xy_code_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** column_text,
                             char** value_text);
int16_t xy_code_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text);
int16_t xy_is_access(const SrvConnection* conn);
// Window conditions, appended to text (room: the size of its buffer). Each
// answers 0 when it appended (or had nothing to append) and, when the
// condition does not fit, the buffer size it needs, appending nothing.
// Numbers are written in full ("%.17g"). The comparisons are strict.
int32_t xy_window_clause(const SpatialColumnDesc* desc, const char* alias, double x_min, double y_min, double x_max,
                         double y_max, const char* quote, char* text, int32_t room, int16_t parameterised);
int32_t xy_code_ranges_clause(const SpatialColumnDesc* desc, const KernelList* ranges, int32_t count,
                              const char* quote, char* text, int32_t room);
// Key ranges of the window object's rectangle within the coordinate
// system's whole extent, where the keys of the rows were computed.
int32_t xy_code_window_clause(const SpatialColumnDesc* desc, const MapObject* window, const char* quote, char* text,
                              int32_t room);
int32_t xy_code_and_xy_window_clause(const SpatialColumnDesc* desc, const char* alias, double x_min, double y_min,
                                     double x_max, double y_max, const char* quote, char* text, int32_t room,
                                     int16_t parameterised);
// The window's x min, x max, y min and y max into the first four "?" of
// the statement (a new kernel block in *out); -1 with fewer markers.
int16_t xy_bind_window_values(const MapObject* window, const char* statement, const CoordXform* xform, char** out);

// The encoded point of an Oracle relational layer (kind 2): kernel string
// 6087 with the point and the layer bounds; no object writes NULL; other
// objects, or an empty 6087, answer 0 without an error.
int16_t sdorel_point_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** column_text,
                                  char** value_text);
int16_t sdorel_point_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text);

// ---- select columns, column recognition and table statements per server -------------
// The spatial placeholder at position is taken out of the list and, with
// expand set, replaced by the server's items at the end (expand 0: the
// placeholder and its companions move to the end). items holds room for
// kSrvMaxSelectItems texts (kernel blocks); 0 when memory runs out.
int16_t ora_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char* alias,
                           int16_t expand, int16_t position);
int16_t spx_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char* alias,
                           int16_t expand, int16_t position);
int16_t ifx_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char* alias,
                           int16_t expand, int16_t position);
int16_t sqs_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char* alias,
                           int16_t expand, int16_t position);
int16_t xy_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char* alias,
                          int16_t expand, int16_t position);
int16_t sdorel_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count, const char* alias,
                              int16_t expand, int16_t position);
int16_t sdorel_point_select_columns(SrvConnection* conn, SrvQuery* query, char** items, int16_t* count,
                                    const char* alias, int16_t expand, int16_t position);

// Recognisers: both flags are cleared first.
void ora_column_type_is_spatial(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial);
void spx_column_is_geometry(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial);
void ifx_column_is_geometry(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial);
void sqs_column_is_geometry(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial);
void ifx_column_is_blob(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial);
void ifx_column_is_blob2(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial);
void sdorel_column_is_gid(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial);
void xy_column_is_code(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial);
void xy_column_is_x(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial, int16_t float_only);
void xy_column_is_y(uint8_t type, const char* name, int16_t* candidate, int16_t* spatial, int16_t float_only);

// Unique key indexes: 1 when the statement ran. The two-column form makes
// one index over both columns.
int16_t ora_create_unique_index(const char* table, const char* column, SrvConnection* conn);
int16_t ifx_create_unique_index(const char* table, const char* column, SrvConnection* conn);
int16_t xy_create_unique_index(const char* table, const char* column, SrvConnection* conn);
int16_t xy_create_unique_index2(const char* table, const char* column1, const char* column2, SrvConnection* conn);
// Drops answer 1 whether or not the statement ran.
int16_t ora_drop_table(const char* owner, const char* table, SrvConnection* conn);
int16_t ifx_drop_table(const char* owner, const char* table, SrvConnection* conn);
int16_t xy_drop_table(const char* table, SrvConnection* conn);
