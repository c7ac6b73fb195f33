// The records and entry points shared by the server layer and its driver
// modules. A driver module is a shared library exporting the 32 entry points
// of SrvFunctionTable under the names of kSrvEntryNames, with C linkage. The
// layer owns the records; a module fills the fields documented here and
// keeps its own state behind the driver_private pointers.
//
// Column buffers, by column type: 1 Char and 16 long text: NUL-terminated
// text; 17 binary: raw bytes, the indicator their count (the layer turns
// them into hexadecimal text in place, so the buffer holds 2 x count + 1);
// 2, 3, 4, 6, 8: a double; 5, 37, 38: the kernel's Date, Time, DateTime.
// Indicator: -1 NULL, -2 longer than the buffer, else the byte length.
#pragma once
#include <cstdint>

#include "kernel/runtime/date.h"
#include "kernel/runtime/list.h"
#include "kernel/runtime/value.h"

extern "C" {

struct SrvFunctionTable;

struct SrvColumn {
  int16_t bound;
  Value* targets;
  int16_t target_index;
  Value* indicators;
  int16_t indicator_index;
  int32_t indicator;
  uint8_t bound_type;
  uint8_t type;
  int32_t buffer_length;
  void* buffer;
  void* driver_private;
};

struct SrvDriver {
  SrvDriver* next;
  char name[36];
  SrvFunctionTable* functions;
  void* module;
  int16_t init_error;
  char init_text1[1024];
  char init_text2[1024];
  void* driver_private;
};

struct SrvEnv {
  void* reserved;
  KernelList connections;
  KernelList statements;
};

constexpr int32_t kSrvConnectSize = 1025;
constexpr int32_t kSrvTextSize = 1024;

struct SrvConnection {
  SrvConnection* next;
  int32_t number;
  char connect[kSrvConnectSize];
  char driver_name[35];
  SrvFunctionTable* functions;
  SrvEnv* env;
  int16_t error_code;
  char error_text1[kSrvTextSize];
  char error_text2[kSrvTextSize];
  int16_t qualifiers_used;
  int16_t qualifier_first;
  int16_t owners_used;
  char qualifier_separator[5];
  char quote[3];
  int16_t identifier_case;         // 3: unquoted identifiers compare with case
  int16_t quoted_identifier_case;  // 3: quoted identifiers compare with case
  char source[129];
  char user[129];
  char server_type[142];
  int16_t open;
  int16_t update;
  char version[36];
  void* last_coordsys;
  int16_t rendition_columns;
  int16_t number_rows;
  int32_t version_number;
  SrvConnection* paired;
  int16_t paired_flag;
  char workspace[36];  // Oracle workspace the connection is in ("LIVE" at first)
  double major_version;
  int32_t versioning_state;
  char default_schema[136];
  int32_t geometry_limit;  // ordinates of one bound geometry; 0: no limit
  int16_t oracle_815;      // 1: Oracle 8.1.5 spatial (metadata in the owner's own view)
  void* driver_private;
};

struct SrvStatement {
  SrvStatement* next;
  int32_t number;
  int16_t param_count;
  int32_t column_count;
  SrvColumn* columns;
  int16_t at_end;
  void* download_name;  // kernel block owned by the statement
  char* download_path;
  SrvConnection* connection;
  int16_t truncated;
  void* driver_private;
};

// Fetch directions of SrvFetch.
constexpr int32_t kSrvFetchNext = -1;
constexpr int32_t kSrvFetchPrevious = -2;
constexpr int32_t kSrvFetchFirst = -3;
constexpr int32_t kSrvFetchLast = -4;
// A driver's code for "no further row".
constexpr int16_t kSrvNoData = 100;

using SrvConnFn = int16_t (*)(SrvConnection*);
using SrvStmtColFn = int16_t (*)(SrvConnection*, SrvStatement*, SrvColumn*);
using SrvCloseFn = int16_t (*)(SrvConnection*, SrvStatement*, int16_t);
using SrvColTextFn = const char* (*)(SrvConnection*, SrvStatement*, int16_t);
using SrvColFlagFn = int16_t (*)(SrvConnection*, SrvStatement*, int16_t);
using SrvColIntFn = int32_t (*)(SrvConnection*, SrvStatement*, int16_t);
using SrvColTypeFn = uint8_t (*)(SrvConnection*, SrvStatement*, int16_t);
using SrvColValueFn = int16_t (*)(SrvConnection*, SrvStatement*, int16_t, Value*);
using SrvConnectFn = int16_t (*)(SrvConnection*, const char*);
using SrvOptionFn = int16_t (*)(SrvConnection*, int32_t);
using SrvSourcesFn = int16_t (*)(char*);
using SrvDbErrorFn = int16_t (*)(SrvConnection*, void*);
using SrvSqlFn = int16_t (*)(SrvConnection*, SrvStatement*, const char*);
using SrvBindParmFn = int16_t (*)(SrvConnection*, SrvStatement*, SrvColumn*, int16_t);
using SrvStmtFn = int16_t (*)(SrvConnection*, SrvStatement*);
using SrvFetchFn = int16_t (*)(SrvConnection*, SrvStatement*, SrvColumn*, int32_t);
using SrvInitFn = int16_t (*)(SrvDriver*);
using SrvIterate3Fn = int16_t (*)(SrvConnection*, void*, void*, void*);
using SrvIterate4Fn = int16_t (*)(SrvConnection*, void*, void*, void*, void*);
using SrvNumColumnsFn = int32_t (*)(SrvConnection*, SrvStatement*);
using SrvTableInfoFn = int16_t (*)(SrvConnection*, void*);
using SrvUnloadFn = void (*)();

// Slot order is the order of kSrvEntryNames.
struct SrvFunctionTable {
  SrvConnFn begin_transaction;      // SrvBeginTransaction
  SrvStmtColFn bind_column;         // SrvBindColumn
  SrvCloseFn close;                 // SrvClose(conn, stmt, free)
  SrvColTextFn column_alias;        // SrvColumnAlias
  SrvColFlagFn column_editable;     // SrvColumnEditable
  SrvColTextFn column_name;         // SrvColumnName
  SrvColIntFn column_precision;     // SrvColumnPrecision
  SrvColIntFn column_scale;         // SrvColumnScale
  SrvColTypeFn column_type;         // SrvColumnType
  SrvColValueFn column_value;       // SrvColumnValue
  SrvColIntFn column_width;         // SrvColumnWidth
  SrvConnFn commit;                 // SrvCommit
  SrvConnectFn connect;             // SrvConnect(conn, connect text)
  SrvOptionFn get_connect_option;   // SrvGetConnectOption
  SrvOptionFn set_connect_option;   // SrvSetConnectOption
  SrvSourcesFn sources;             // SrvSources(buffer of 1024 bytes)
  SrvDbErrorFn db_error;            // SrvDBError
  SrvConnFn disconnect;             // SrvDisconnect
  SrvSqlFn execute;                 // SrvExecute
  SrvSqlFn prepare;                 // SrvPrepare
  SrvBindParmFn bind_parm;          // SrvBindParm
  SrvStmtFn execute_prepared;       // SrvExecutePrep
  SrvFetchFn fetch;                 // SrvFetch
  SrvInitFn init;                   // SrvInit
  SrvIterate3Fn iterate_qualifiers; // SrvIterateQualifiers
  SrvIterate3Fn iterate_owners;     // SrvIterateOwners
  SrvIterate4Fn iterate_tables;     // SrvIterateTables
  SrvIterate4Fn iterate_columns;    // SrvIterateColumns
  SrvNumColumnsFn num_columns;      // SrvNumColumns
  SrvConnFn rollback;               // SrvRollback
  SrvTableInfoFn table_info;        // SrvTableInfo
  SrvUnloadFn unload;               // SrvUnloadDriver
};

}  // extern "C"

constexpr int kSrvEntryCount = 32;
static_assert(sizeof(SrvFunctionTable) == kSrvEntryCount * sizeof(void*));

inline constexpr const char* kSrvEntryNames[kSrvEntryCount] = {
    "SrvBeginTransaction", "SrvBindColumn", "SrvClose", "SrvColumnAlias", "SrvColumnEditable",
    "SrvColumnName", "SrvColumnPrecision", "SrvColumnScale", "SrvColumnType", "SrvColumnValue",
    "SrvColumnWidth", "SrvCommit", "SrvConnect", "SrvGetConnectOption", "SrvSetConnectOption",
    "SrvSources", "SrvDBError", "SrvDisconnect", "SrvExecute", "SrvPrepare",
    "SrvBindParm", "SrvExecutePrep", "SrvFetch", "SrvInit", "SrvIterateQualifiers",
    "SrvIterateOwners", "SrvIterateTables", "SrvIterateColumns", "SrvNumColumns", "SrvRollback",
    "SrvTableInfo", "SrvUnloadDriver"};
