// Running a linked table's query on its server: the coordinate system sent
// first where the server needs it, the statement prepared and the search
// values bound, the rows turned into map objects with their styles, and
// whether the rows may be edited.
#pragma once
#include <cstdint>

#include "kernel/server/srv_query.h"

struct StyleSet;

constexpr int32_t kStrSrvCoordsysKind5 = 6977;
constexpr int32_t kStrSrvCoordsysKind9 = 6978;
constexpr int32_t kStrSrvCoordsysKind12 = 6993;

// Runs the query: coordinate system, transaction on "SQL Server QD" when
// begin is set and values are bound, prepare-bind-execute for a text with
// "?", else execute. Null on failure.
SrvStatement* srv_open_query(SrvConnection* conn, SrvQuery* query, int16_t begin);
int16_t srv_execute_query_text(SrvConnection* conn, SrvQuery* query, SrvStatement** stmt, int16_t flag);
// Prepares the text and binds the search object (bind mode 2 for the
// call); a failed binding closes the statement and answers null.
SrvStatement* srv_prepare_bind_execute(SrvConnection* conn, SrvQuery* query, const char* text);
int16_t srv_bind_and_execute(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt, MapObject* search_object);
// Kinds 9 and 10 write the search rectangle into *text from its first "?"
// (a new block replaces it); kinds 1, 4, 5, 11-14 go to the extension's
// binder; other kinds answer 0. No descriptor, search or object: 1.
int16_t srv_bind_search_values(SrvQuery* query, char** text);
int16_t srv_send_coordsys(SrvConnection* conn, SrvQuery* query, const CoordXform* coordsys);
int16_t srv_prepare_sdo_column(SrvQuery* query, SrvStatement* stmt);
int32_t srv_key_column_index(SrvConnection* conn, SrvStatement* stmt, SrvQuery* query);
int16_t srv_xy_to_object(SrvQuery* query, SpatialColumnDesc* desc, const StyleSet* style, MapObject* object,
                         const SrvColumn* x_column, const SrvColumn* y_column, int16_t search_test);
int16_t srv_object_in_search(const SrvSearch* search, MapObject* object);
// Fetches until a row's object passes the search, then reads the first
// count column values into the fields; at_end gets the end-of-data flag.
int16_t srv_fetch_object_row(SrvStatement* stmt, SrvQuery* query, int16_t count, FieldDef* fields,
                             MapObject* object, int16_t* at_end);
int16_t srv_query_editable(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt);
// Symbol, Pen and Brush clauses of a style text over the kernel's default
// styles; 1 when at least one clause was read.
int16_t srv_parse_style_clauses(StyleSet* style, const char* text);
MapObject* srv_new_object_with_property(const void* value);
int16_t srv_query_mark_bound(SrvQuery* query);
// Frees the coordinate system a connection remembers (connection teardown).
void srv_forget_coordsys(SrvConnection* conn);
