// The query description of a linked server table and the descriptor of its
// spatial column, as the server layer reads and writes them; SQL value
// literals, key conditions, key columns of a select list and re-reading one
// row by its key.
#pragma once

#include <cstdint>
#include <string>

#include "kernel/runtime/value.h"
#include "kernel/server/srv.h"

struct CoordXform;
struct FieldDef;
struct MapObject;
struct StyleSet;

constexpr int16_t kErrSrvNoKeyList = 1573;
constexpr int32_t kSrvKeyNameSize = 132;

struct SpatialColumnDesc {
  int16_t has_spatial_column = 0;
  double derived_kind = 0;
  int32_t kind = 0;            // 1-14
  int32_t geometry_class = 0;  // 0 point, 1 line, 2 region, 3 any
  char table[129] = {};
  char owner[129] = {};
  char column[129] = {};
  char x_column[129] = {};
  char y_column[129] = {};
  double bounds[4] = {};
  CoordXform* coordsys = nullptr;
  int32_t style_column = 0;  // 1: a style column accompanies the geometry
  int32_t object_classes = 0;
  int32_t max_tiles = 0;
  int32_t dimensions = 2;
  int32_t tiling_level = 0;
  double tile_width = 0;
  double tile_height = 0;
  int16_t srid_is_null = 0;
  int32_t srid = 0;
  int16_t sdo_option = 0;
  int32_t server_version = 0;
  uint8_t conversion_mode = 0;
  uint8_t conversion_state[3] = {};
  const StyleSet* styles = nullptr;  // default styles of rows made into objects; null: the program's
};

// The search of a linked query: the window object (a kernel map object)
// with a copy of the column's transform (a kernel block), both owned here
// once the flag is set; released by srv_search_release.
struct SrvSearch {
  int16_t edit = 0;
  int32_t flag = 0;
  MapObject* object = nullptr;
  CoordXform* xform = nullptr;
};
void srv_search_release(SrvSearch* search);

struct SrvKeyList {
  int16_t count = 0;
  char (*names)[kSrvKeyNameSize] = nullptr;
  char* condition = nullptr;  // kernel block, or null
};

struct SrvQuery {
  SrvConnection* conn = nullptr;
  SrvTableRef* table = nullptr;
  char* sql = nullptr;
  void* bound_values = nullptr;
  int32_t bound_length = 0;
  void* sdo_arrays = nullptr;
  int32_t pending_search_values = 0;
  char** items = nullptr;
  int16_t item_count = 0;
  int16_t hidden_items = 0;
  int16_t added_keys = 0;
  int16_t style_index = 0;
  SrvKeyList* keys = nullptr;
  SpatialColumnDesc* desc = nullptr;
  SrvSearch* search = nullptr;
  int16_t pairs_per_row = 0;
  int16_t row_ahead = 0;  // relational SDO layer: the statement holds the next feature's first row
  int16_t bind_mode = 0;
  int16_t aggregate = 0;
  int16_t extension = 0;  // sent through "exec sp_spatial_query"
};

// A copy of the text in a new kernel block (freed with mem_free), or null
// when memory runs out.
char* srv_text_block(const std::string& text);

// The SQL literal of a value in the connection's dialect, within size
// bytes; out is cleared first. Answers 0 (out empty) for a type without a
// literal and when the literal does not fit. A DateTime without a date
// takes today's date on servers that need one (the value changes).
int16_t srv_value_literal(const SrvConnection* conn, char* out, Value* value, int32_t size, int16_t decimals);
// "ID=12 AND NAME IS NULL" from the row's values (a new kernel block). A
// key value without a literal fails naming its column (kErrSrvColumnType).
int16_t srv_key_condition(const SrvConnection* conn, SrvQuery* query, FieldDef* row, char** out);
int16_t srv_query_has_aggregate(const SrvConnection* conn, SrvQuery* query, int16_t* count, char** items);
int16_t srv_add_key_columns(const SrvConnection* conn, SrvQuery* query, int16_t* count, char** items);
int16_t srv_select_row_by_key(SrvConnection* conn, SrvQuery* query, int16_t count, FieldDef* key_row,
                              FieldDef* fields, MapObject* object, int16_t* found);
// The statement sent for a select on a query: "exec sp_spatial_query '...'"
// on "SQL Server QD" when the query goes through the extension, else the
// text itself (a new kernel block).
char* srv_query_statement_text(const SrvConnection* conn, const SrvQuery* query, const char* text);

// Sends the descriptor's coordinate system to the server when its kind
// needs it (srv_send_coordsys); 1 when there is nothing to send.
int16_t srv_set_session_coordsys(SrvConnection* conn, SrvQuery* query);
// The map object of the statement's current row from the query's hidden
// columns (by spatial kind), with the row's style when the query has a
// style column; with search_test set, 0 for an object outside the search.
int16_t srv_row_to_object(SrvConnection* conn, SrvQuery* query, SrvStatement* stmt, MapObject* object,
                          int16_t search_test, int16_t flag);
