// The Access table driver (table type 8): tables of Access databases reached
// through the database engine layer of platform/dao. Every table it serves
// has a key column (an autoincrement Long with a unique one-column index);
// the row map beside the table's definition (rowmap.h) gives row n its key.
//
// Engine and databases: one process-wide engine shared by reference count;
// a failed engine call becomes error 1342 with the engine's descriptions,
// an engine that cannot be started 1343.
#pragma once
#include <cstdint>

#include "platform/dao/dao.h"

struct StorageDesc;
struct FieldDef;
struct TableDef;
struct TabTypeDriver;
struct AccessOptions;

constexpr int16_t kErrAccessEngine = 1342;
constexpr int16_t kErrAccessNoEngine = 1343;
constexpr int16_t kErrAccessRow = 1351;
constexpr int32_t kAccessErrorText = 2048;  // gathered descriptions stay below this

// Version codes of the database format.
constexpr int32_t kAccessVersionNone = 0;
constexpr int32_t kAccessVersion30 = 4;
constexpr int32_t kAccessVersion40 = 5;

// Access flag bits of the options.
constexpr uint8_t kAccessInexact = 1;
constexpr uint8_t kAccessDenyWrite = 8;

// The working state of one attached Access table.
struct DaoTable {
  char index_name[65];
  char key_name[65];
  DaoRecordset* recordset;
  int16_t own_key;  // the key is the driver's own column
  DaoDatabase* database;
  int16_t key_ordinal;
  int16_t column_count;
  int32_t row_count;    // row-map entries, deleted rows included
  int32_t highest_key;  // the largest key the row map has taken in
  int32_t rowmap_file;  // 0 while none is registered
  int32_t db_stamp;     // modification time of the database file, seconds
};

// ---- engine and databases
int16_t dao_engine_start();
void dao_engine_release();
// Holders of the engine and its default format (64, or 32 after the older
// engine class had to be used); a test seam puts the record back.
int32_t dao_engine_refs();
int16_t dao_default_format();
void dao_engine_reset();
DaoEngine* dao_engine();

// version: a version code, or -1 when the database must not be created.
HRESULT dao_open_database(int32_t version, int16_t read_only, const char* path, const char* password,
                          DaoDatabase** out);
HRESULT dao_create_database(const char* path, int32_t version, DaoDatabase** out);
int16_t dao_attach_database(StorageDesc* storage, DaoTable* state, int16_t create);
void dao_report_errors();
void dao_close_database(DaoDatabase** database);
void dao_close_recordset(DaoRecordset** recordset);
// Succeeds with opened 0 when the database wants another password.
int16_t dao_database_version(const char* path, const char* password, int32_t* version, int16_t* opened);
// The user tables (attributes 0) into a kernel name list.
int16_t dao_list_tables(const char* path, const char* password, char** names, int32_t* count);
int16_t dao_begin_transaction(StorageDesc* storage);
int16_t dao_commit_transaction(StorageDesc* storage);
int16_t dao_rollback_transaction(StorageDesc* storage);

// ---- table structure and field types
// Kernel field -> new column: the DAO type and the size (0: left out); a
// Decimal other than (20, 4) becomes Float, an Integer writable.
int16_t dao_field_type(FieldDef* field, int16_t* type, int32_t* size);
// Column -> kernel field when a table is described (carried types only).
void dao_describe_field(int16_t type, int32_t size, int16_t is_key, FieldDef* field);
// Whether a definition's field fits a carried column at open.
int16_t dao_check_field(int16_t type, int32_t size, const FieldDef* field);
// Whether a column of the type has a field (types 1 to 8 and 10).
int16_t dao_type_carried(int16_t type);
// Drops a leading "~" and the blanks and control characters after it.
void name_strip_tilde(char* text);

int16_t dao_create_tabledef(char* name, DaoDatabase* database, DaoTableDef** out);
int16_t dao_add_key_column(DaoTable* state, DaoTableDef* tabledef);
int16_t dao_add_key_field(DaoTableDef* tabledef, const char* column, int16_t* ordinal);
int16_t dao_create_key_index(const char* index, const char* column, DaoTableDef* tabledef, int16_t primary);
int16_t dao_add_fields(DaoTableDef* tabledef, FieldDef* fields, int32_t count);
int16_t dao_append_tabledef(DaoDatabase* database, DaoTableDef* tabledef);
int16_t dao_delete_tabledef(StorageDesc* storage);
int16_t dao_get_tabledef(DaoTable* state, const char* table, DaoTableDef** out);
int16_t dao_index_existing_key(StorageDesc* storage);
int16_t dao_add_own_key(StorageDesc* storage);
int16_t dao_rename_table(StorageDesc* storage, const char* new_name, const char* new_base_path);
int16_t dao_add_column(StorageDesc* storage, FieldDef* field);
int16_t dao_drop_column(const FieldDef* field, StorageDesc* storage);
int16_t dao_find_field(DaoTable* state, const char* name, DaoField** out);
int16_t dao_drop_column_indexes(DaoTableDef* tabledef, const char* column);

// ---- the table verbs
int16_t dao_describe(StorageDesc* storage, FieldDef** fields, int32_t* count);
int16_t dao_create(StorageDesc* storage, FieldDef* fields);
int16_t dao_open(StorageDesc* storage, FieldDef* fields);
int16_t dao_begin_access(StorageDesc* storage, int16_t mode, int16_t* changed);
int16_t dao_end_access(StorageDesc* storage);
int16_t dao_close(StorageDesc* storage);
int16_t dao_open_recordset(StorageDesc* storage);
int16_t dao_find_key(StorageDesc* storage);
int16_t dao_check_key_column(DaoTable* state, const char* name);
int16_t dao_refresh_fields(TableDef* table);
int16_t dao_take_row_map(StorageDesc* target, StorageDesc* source);
// The options and working state of an Access storage (null for others).
AccessOptions* dao_options(StorageDesc* storage);
DaoTable* dao_state(StorageDesc* storage);

// ---- rows
int16_t dao_seek_row(DaoTable* state, int32_t n, int16_t* no_match);
int16_t dao_read_row(StorageDesc* storage, int32_t n, FieldDef* fields, int16_t* no_match);
int16_t dao_insert_row(StorageDesc* storage, int32_t* n, FieldDef* fields);
int16_t dao_update_row(StorageDesc* storage, int32_t n, FieldDef* fields);
int16_t dao_delete_row(StorageDesc* storage, int32_t n);
// The VARIANT of a Date, Time or DateTime field (VT_DATE or VT_NULL).
void value_to_ole_date(const FieldDef* field, Variant* out);

// The driver's entries for the dispatcher's slot of type 8.
const TabTypeDriver* access_driver();
