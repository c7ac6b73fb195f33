// Oracle relational SDO layers (spatial kind 8): the layer table keeps one
// row per feature with a geometry id, the companion table <layer>_SDOGEOM
// keeps the ordinates as rows (SDO_GID, SDO_ESEQ, SDO_ETYPE, SDO_SEQ,
// SDO_X1, SDO_Y1, ...), <layer>_SDOLAYER the ordinates per row. Detection,
// the layer test, the query rewriting that joins and orders the geometry
// rows, the feature assembly and the client-side window; and the point
// encoded into one column by a server function (kind 2).
#pragma once

#include <cstdint>

#include "kernel/server/srv_query.h"

constexpr const char* kSdorelServerType = "Oracle SDO Server";

// 1 when an Oracle server answers the MDSYS probe; the server type then
// becomes "Oracle SDO Server". The error stack is cleared.
int16_t sdorel_detect(SrvConnection* conn);
// 1 when the connection is an SDO server and <name>_SDOLAYER answers its
// SDO_ORDCNT; the query (when given) takes SDO_ORDCNT / 2 pairs per row.
int16_t sdorel_is_layer(SrvConnection* conn, SrvQuery* query, const char* name);
int16_t sdorel_is_spatial_table(SrvConnection* conn, const char* name);
// 1 when the layer is found by name or through a synonym (kernel strings
// 6088 and 6089 around the quoted table name).
int16_t sdorel_resolve_synonym(SrvConnection* conn, const char* name);

// Query rewriting. table arrives quoted ("ROADS"); the geometry table is
// "ROADS_SDOGEOM". Texts are kernel blocks (null: empty) that grow as
// needed; 0 when memory runs out.
int16_t sdorel_add_geom_table(SrvConnection* conn, char** from_text, const char* table);
int16_t sdorel_add_join(SrvConnection* conn, SrvQuery* query, char** where_text, const char* table);
// 0 when the tail holds GROUP (the layer cannot be read in feature order).
int16_t sdorel_add_order(SrvConnection* conn, SrvQuery* query, char** tail_text, const char* table);
// before and after are new kernel blocks (each token followed by a blank);
// 0 (and both null) when the tail holds GROUP or memory runs out.
int16_t sdorel_split_tail(const char* tail, char** before, char** after, int16_t* has_group, int16_t* has_order);

// Assembles the feature whose first row the statement holds (rows ordered
// by id, element, sequence; the kind's select items from first_column on,
// 1-based) into object (an initialised record; its old contents are freed).
// Lines and regions read one row ahead: when the next feature's first row
// has been fetched, query->row_ahead is set and sdorel_fetch_next hands it
// out instead of fetching (a forward-only cursor never steps back). With
// filter and a set search flag, a feature outside the window becomes an
// object of type 0. An element type other than 1, 2 or 3, or a point
// without its ordinates, answers 0 with error 960 naming the column.
int16_t sdorel_rows_to_object(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt, MapObject* object,
                              int16_t first_column, int16_t filter);
// The first select item of the kind among count items with pairs_per_row.
int16_t sdorel_first_column(const SrvQuery* query, int32_t column_count);
// The next row of a kind-8 statement: the row read ahead by the assembly
// when there is one, else srv_fetch(next).
int16_t sdorel_fetch_next(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt);

// Kind 8 window: *text becomes "1=1"; the first call makes the rectangle
// window object and the transform copy and sets the search flag (a number
// that does not parse leaves it clear and answers 0).
int16_t sdorel_window_clause(const SpatialColumnDesc* desc, SrvSearch* search, const char* x_min,
                             const char* y_min, const char* x_max, const char* y_max, char** text);
// Kind 2 window: kernel string 6082, alias.column, the layer bounds and the
// window, kernel string 6083, appended to text. 0 when appended (or when a
// piece is empty: nothing is written), else the room it needs.
int32_t sdorel_point_window_clause(const SpatialColumnDesc* desc, const char* alias, const char* x_min,
                                   const char* y_min, const char* x_max, const char* y_max, char* text,
                                   int32_t room);
