// Spatial SQL of a linked server table: the column and value texts of the
// spatial part of an INSERT and an UPDATE for every spatial kind, which
// objects a column of a geometry class accepts (with in-place conversion),
// the binding of an object to a prepared statement, and the X/Y and
// quad-key code columns of point tables.
#pragma once

#include <cstdint>

#include "kernel/server/srv_query.h"

struct MapObject;

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

// Not yet built: binding answers 0 with nothing bound.
int16_t srv_spatial_bind_value(SrvQuery* query, SrvConnection* conn, SrvStatement* stmt, MapObject* object,
                               void** blob, void** sdo_holder, SrvColumn** param, int16_t reuse);

// X/Y columns (kinds 4, 9, 10) and X/Y with the quad-key code (kind 1).
int16_t xy_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** column_text,
                        char** value_text);
int16_t xy_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text);
int16_t xy_code_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** column_text,
                             char** value_text);
int16_t xy_code_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text);
int16_t xy_is_access(const SrvConnection* conn);

// The encoded point of an Oracle relational layer (kind 2): not yet built,
// both answer 0.
int16_t sdorel_point_insert_parts(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** column_text,
                                  char** value_text);
int16_t sdorel_point_update_pair(SpatialColumnDesc* desc, const char* quote, MapObject* object, char** pair_text);
