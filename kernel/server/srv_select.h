// Query text analysis and small questions to the server: a select text
// split into its parts, the first table of a table list, a query's row
// count, whether a table exists and the largest value of a column.
#pragma once
#include <cstdint>
#include <string>

#include "kernel/server/srv_query.h"

constexpr int16_t kErrSrvNoTableList = 412;
constexpr int16_t kErrSrvNothingAfterFrom = 878;
constexpr int16_t kErrSrvTableExists = 1940;
constexpr int16_t kErrSrvNoServerCreate = 1944;
// Keywords of the splitter.
constexpr int32_t kStrSrvGroup = 6044;
constexpr int32_t kStrSrvOrder = 6045;
constexpr int32_t kStrSrvHaving = 6046;
constexpr int32_t kStrSrvFrom = 6051;
constexpr int32_t kStrSrvWhere = 6052;
constexpr int32_t kStrSrvUnion = 6053;
constexpr int32_t kStrSrvFor = 6054;

constexpr int32_t kSrvTableRefTextSize = 781;

// Splits a select text (cut in place) into select list, table list,
// condition and rest (each token followed by one blank; the condition's
// trailing blanks cut). Outputs may be null. 1, or 0 with 412 (no table
// list) or 878 (nothing after the table-list keyword).
int16_t srv_split_select(char* text, std::string* select_out, std::string* from_out, std::string* where_out,
                         std::string* rest_out);
// The first table of a table list into out (kSrvTableRefTextSize bytes);
// single is 1 for one table or a second table named like "..._SDOGEOM".
int16_t srv_first_from_table(const char* from_list, char* out, int16_t* single);
// The first table of a select text's table list in a new kernel block.
int16_t srv_from_first_table(const char* text, char** out);
// 1 when "select 1 from [owner.]table" runs (the owner is left out on
// Informix servers); the error stack is cleared whatever the outcome.
int16_t srv_table_exists(SrvConnection* conn, const char* owner, const char* table);
// The column's maximum for Integer, Smallint and Float results; else -1.
long srv_select_max(SrvConnection* conn, const char* column, const char* table);
// Always 0: 1940 when the table exists, else 1944.
int16_t srv_create_table(SrvConnection* conn, const char* name, int32_t count, void* fields);
// The rows of the query's select text, counted on the statement's
// connection; 100 for a text that is not a select; -1 on failure.
long srv_query_row_count(SrvStatement* stmt, SrvQuery* query);
