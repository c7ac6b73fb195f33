// The server layer: driver modules and the environment, the thin wrappers
// around the driver entry points, statements and row fetching, connections
// (options, reuse, pairing), server kinds and reserved column names, and the
// SQL text helpers (tokens, select items, table references, qualified
// names). Kernel functions answer 1 or 0 and push numbered errors; a driver
// failure is pushed under the driver's own code with the connection's two
// message texts as arguments.
#pragma once
#include <cstdint>
#include <string>

#include "kernel/server/srv_abi.h"

struct CoordXform;

// Error codes of the layer.
constexpr int16_t kErrSrvNoDriver = 958;
constexpr int16_t kErrSrvDriverText = 959;
constexpr int16_t kErrSrvColumnType = 960;
constexpr int16_t kErrSrvConnection = 961;
constexpr int16_t kErrSrvStatement = 962;
constexpr int16_t kErrSrvListEmpty = 418;
constexpr int16_t kErrSrvListTooLong = 422;
constexpr int16_t kErrSrvUserBreak = 1255;
constexpr int16_t kErrSrvLoad2First = 1550;  // 1550-1553: module of string 6996
constexpr int16_t kErrSrvLoad1First = 1555;  // 1555-1558: module of string 6992
constexpr int16_t kErrSrvInitFailed = 1560;
constexpr int16_t kErrSrvMissingEntry = 1561;
// Kernel strings of the layer.
constexpr int32_t kStrSrvFetchNote = 1580;
constexpr int32_t kStrSrvNoResult = 3700;
constexpr int32_t kStrSrvModule1 = 6992;
constexpr int32_t kStrSrvModule2 = 6996;
constexpr int32_t kStrSrvDefaultName = 6997;
constexpr int32_t kStrSrvEmptyOwner = 6998;

constexpr int32_t kSrvMaxSelectItems = 250;

// ---- driver modules and the environment ----------------------------------------
int16_t srv_init();
int16_t srv_ensure_init();
int16_t srv_load_driver(int32_t id);
// Closes every statement, disconnects and frees every connection, frees the
// environment, then unloads every driver.
void srv_unload_all();
SrvEnv* srv_env();
int16_t srv_env_alloc(SrvEnv** handle);
void srv_env_free(SrvEnv* env);
int16_t srv_connection_alloc(SrvEnv* env, SrvConnection** handle);
int16_t srv_statement_alloc(SrvConnection* conn, SrvStatement** handle);
int16_t srv_statement_free(SrvEnv* env, SrvStatement* stmt);
int16_t srv_check_connection(SrvEnv* env, const SrvConnection* conn);
int16_t srv_check_statement(SrvEnv* env, const SrvStatement* stmt);
SrvConnection* srv_find_connection_number(SrvEnv* env, int32_t n);
int32_t srv_next_connection_number(SrvEnv* env);
int32_t srv_next_statement_number(SrvEnv* env);
// The program's directory, ending in '/' (at most 260 bytes).
void srv_program_dir(char* buffer);
// Whether a module that does not load is reported (1550-1553, 1555-1558).
void srv_set_report_load_failures(int16_t flag);
// Forgets the one attempt of srv_ensure_init (for tests).
void srv_reset_ensure_init();
// Registers a driver whose entry points are the given table, without a
// module (for tests); SrvInit is called as for a module. 1 or 0.
int16_t srv_register_driver_for_test(const char* name, const SrvFunctionTable* table);

SrvDriver* srv_find_driver(const char* name);
SrvFunctionTable* srv_driver_functions(const char* name);
int16_t srv_driver_loaded(const char* name);
int32_t srv_driver_count();
int16_t srv_driver_name(int32_t n, char* buffer, int32_t size);
int16_t srv_sources(const char* driver_name, char* buffer);

int16_t srv_connection_driver_name(const SrvConnection* conn, char* buffer, int32_t size);
int16_t srv_connection_server_type(const SrvConnection* conn, char* buffer, int32_t size);
int16_t srv_connection_user(const SrvConnection* conn, char* buffer, int32_t size);
int16_t srv_connection_source(const SrvConnection* conn, char* buffer, int32_t size);
int16_t srv_connection_quote(const SrvConnection* conn, char* buffer, int32_t size);
char* srv_connection_driver_name_dup(const SrvConnection* conn);

// ---- connection-level wrappers ------------------------------------------------------
int16_t srv_begin_transaction(SrvConnection* conn);
int16_t srv_commit(SrvConnection* conn);
int16_t srv_rollback(SrvConnection* conn);
int16_t srv_get_connect_option(SrvConnection* conn, int32_t option);
int16_t srv_set_connect_option(SrvConnection* conn, int32_t option);
int16_t srv_iterate_qualifiers(SrvConnection* conn, void* a, void* b, void* c);
int16_t srv_iterate_owners(SrvConnection* conn, void* a, void* b, void* c);
int16_t srv_iterate_tables(SrvConnection* conn, void* a, void* b, void* c, void* d);
int16_t srv_db_error(SrvConnection* conn, void* arg);
// Pushes the connection's error (code, two texts).
void srv_report(const SrvConnection* conn);
int16_t srv_noop_ok();
int16_t srv_describe_query_columns();

// ---- statements and fetching ----------------------------------------------------------
SrvStatement* srv_statement_get(SrvEnv* env, SrvConnection* conn, int32_t number);
SrvStatement* srv_execute(SrvConnection* conn, const char* sql);
SrvStatement* srv_execute_statement(SrvConnection* conn, SrvStatement* stmt, const char* sql);
SrvStatement* srv_prepare(SrvConnection* conn, const char* sql);
SrvStatement* srv_prepare_statement(SrvConnection* conn, SrvStatement* stmt, const char* sql);
int16_t srv_bind_parm(SrvConnection* conn, SrvStatement* stmt, SrvColumn* descriptor, int16_t n);
int16_t srv_execute_prepared(SrvConnection* conn, SrvStatement* stmt);
int16_t srv_bind_column(SrvConnection* conn, SrvStatement* stmt, int16_t n, Value* values, int16_t value_index,
                        Value* indicators, int16_t indicator_index);
// One row (direction -1 next, -2 previous, -3 first, -4 last, else that
// row); 1 also at the end of the data, with the end flag set. A statement
// that carries a download table name answers 0: downloads are not built.
int16_t srv_fetch(SrvConnection* conn, SrvStatement* stmt, int32_t direction);
int16_t srv_statement_at_end(const SrvConnection* conn, const SrvStatement* stmt);
int16_t srv_column_value(SrvConnection* conn, SrvStatement* stmt, Value* value, int16_t n);
int32_t srv_num_columns(SrvConnection* conn, SrvStatement* stmt);
const char* srv_column_name(SrvConnection* conn, SrvStatement* stmt, int16_t n);
const char* srv_column_alias(SrvConnection* conn, SrvStatement* stmt, int16_t n);
int32_t srv_column_precision(SrvConnection* conn, SrvStatement* stmt, int16_t n);
int32_t srv_column_scale(SrvConnection* conn, SrvStatement* stmt, int16_t n);
int32_t srv_column_width(SrvConnection* conn, SrvStatement* stmt, int16_t n);
uint8_t srv_column_type(SrvConnection* conn, SrvStatement* stmt, int16_t n);
int32_t srv_column_indicator(SrvConnection* conn, SrvStatement* stmt, int16_t n);
int16_t srv_column_editable(SrvConnection* conn, SrvStatement* stmt, int16_t n);
int16_t srv_close_statement(SrvConnection* conn, SrvStatement* stmt);
int16_t srv_close_cursor(SrvConnection* conn, SrvStatement* stmt);
void srv_hex_encode(char* dst, const void* src, int32_t n);
// Answers the number of bytes written.
int32_t srv_hex_decode(void* dst, const char* text);

// ---- connections ----------------------------------------------------------------------
// Binds a new connection to the named driver and connects it through the
// driver's SrvConnect; null (with the driver's error pushed) when it fails.
SrvConnection* srv_connect_driver(const char* driver, const char* connect);
SrvConnection* srv_open_connection(const char* driver, const char* connect, int16_t new_one);
SrvConnection* srv_open_connection(const char* driver, const char* connect);
// Connections stay open for reuse until srv_unload_all: nothing to do.
void srv_close_connection(SrvConnection* connection);
SrvConnection* srv_find_connection(const char* connect, const char* driver);
// In place, within size bytes: the connect string without its PWD, UPWD,
// DLG and SCROLL options (an option without "=" is written with one).
void srv_strip_connect_options(char* text, int32_t size);
std::string srv_strip_connect_options(const char* connect);
char* srv_options_stripped(const char* text);
char* srv_connection_options_stripped(const SrvConnection* conn);
SrvConnection* srv_paired_secondary(SrvConnection* conn);
void srv_connection_label(const SrvConnection* conn, char* buffer, int32_t size);

// ---- server kinds ----------------------------------------------------------------------
enum SrvKind : int16_t {
  SRV_KIND_SQLSERVER_QD,  // "SQL Server QD"
  SRV_KIND_SQLSERVER,     // "Microsoft SQL Server"
  SRV_KIND_IUS,           // "IUS"
  SRV_KIND_INFORMIX,      // begins with "Informix"
  SRV_KIND_ORA_SPATIAL,   // "Oracle_Spatial"
  SRV_KIND_ORA_SDO,       // "Oracle SDO Server"
  SRV_KIND_ORACLE,        // begins with "Oracle"
  SRV_KIND_HELVORISTAN,   // "HELVORISTAN/ORACLE", case ignored
  SRV_KIND_SQS,           // "Autometric SQS Server"
  SRV_KIND_ACCESS,        // begins with "ACCESS"
};
int16_t srv_is_kind(const SrvConnection* conn, SrvKind kind);
int16_t ora_is_oracle_server(const SrvConnection* connection);
// Dotted version texts compared part by part as numbers, over the literal's
// parts ("10.2.0.1.0" is after "8.1.5", "09.00.1399" equals "9.0.1399"):
// negative, 0 or positive.
int32_t srv_version_compare(const char* text, const char* literal);
int16_t srv_server_is_spatial(const SrvConnection* conn);
int16_t srv_server_is_known(const SrvConnection* conn);
int16_t srv_normalise_coordsys(const SrvConnection* conn, CoordXform* coordsys);
const char* srv_row_num_column();
const char* srv_style_column();
const char* srv_x_column();
const char* srv_y_column();
const char* srv_code_column();
const char* srv_geometry_column(const SrvConnection* conn);
const char* srv_row_id_column(const SrvConnection* conn);
int16_t srv_check_linked_table(SrvConnection* conn, const char* table, const char* owner, const char* qualifier,
                               void* descriptor);

// ---- SQL text ----------------------------------------------------------------------------
// The next token of a text cut in place at a delimiter outside quotes and
// (when counted) brackets; null when only white space is left.
char* srv_next_token(char** rest, char* text, const char* delimiters, int16_t brackets);

struct SrvSelectItem {
  char owner[129];
  char name[129];
  char alias[129];
  char text[781];
};
struct SrvTableRef {
  char qualifier[513];
  char owner[129];
  char table[129];
  char alias[131];
  char text[781];
};
int16_t srv_parse_select_item(const SrvConnection* conn, SrvSelectItem* parts, const char* text);
int16_t srv_parse_table_ref(const SrvConnection* conn, SrvTableRef* parts, const char* text);
int16_t srv_parse_table_ref_default(const SrvConnection* conn, SrvTableRef* parts, const char* text);
// The quoted, qualified name within size bytes; 0 (out empty) when it does
// not fit. A quote inside a name is doubled.
int16_t srv_qualified_name(const SrvConnection* conn, char* out, int32_t size, const char* qualifier,
                           const char* owner, const char* table);
int16_t srv_identifiers_equal(const SrvConnection* conn, const char* a, const char* b);
int16_t srv_names_equal_nocase(const char* a, const char* b);
void srv_owner_or_default(char* dst, const char* src, int32_t size);
int16_t srv_same_owner(const char* a, const char* b);
// Joins the items with ", " into a new kernel block (freed with mem_free).
int16_t srv_join_select_list(char* const* items, int32_t count, char** out);
