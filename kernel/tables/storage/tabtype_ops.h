// The table-type dispatch beyond the open and access entries of tabtype.h:
// the driver table (one set of operations per table type), create, rows,
// batches and the small queries. Only this layer calls drivers.
//
// An operation a type has no driver entry for acts as the type without the
// operation: create 497, open and begin access 386, insert and update 881,
// delete 882 (each pushed only on an empty error stack); read, describe and
// end access answer 0 with no error.
#pragma once
#include <cstdint>

#include "kernel/tables/tabtype.h"

constexpr int16_t kErrStorageCreate = 497;
constexpr int16_t kErrRowWrite = 881;
constexpr int16_t kErrRowDelete = 882;

struct TabTypeDriver {
  int16_t (*create)(StorageDesc* storage, FieldDef* fields) = nullptr;
  int16_t (*open)(StorageDesc* storage, FieldDef* fields) = nullptr;
  int16_t (*describe)(StorageDesc* storage, FieldDef** fields, int32_t* count) = nullptr;
  int16_t (*begin_access)(StorageDesc* storage, int16_t mode, int16_t* flag) = nullptr;
  int16_t (*end_access)(StorageDesc* storage) = nullptr;
  int16_t (*close)(StorageDesc* storage) = nullptr;
  int16_t (*read_row)(StorageDesc* storage, int32_t n, FieldDef* fields, int16_t* flag) = nullptr;
  // n is in-out: the in-memory type takes the row id given.
  int16_t (*insert_row)(StorageDesc* storage, int32_t* n, FieldDef* fields) = nullptr;
  int16_t (*update_row)(StorageDesc* storage, int32_t n, FieldDef* fields) = nullptr;
  int16_t (*delete_row)(StorageDesc* storage, int32_t n) = nullptr;
  int16_t (*batch_begin)(StorageDesc* storage) = nullptr;
  int16_t (*batch_end)(StorageDesc* storage) = nullptr;
};

constexpr int kTabTypeCount = 14;

// The driver of a type (never null: an empty table for types without one).
const TabTypeDriver* tabtype_driver(int32_t type);
// Fills a type's slot (foreign drivers, tests); null empties it. Answers the
// driver it replaced.
const TabTypeDriver* tabtype_set_driver(int32_t type, const TabTypeDriver* driver);
// The slots as they are when the process starts.
void tabtype_reset_drivers();

int16_t tabtype_create(const char* dir_or_path, const char* name, int32_t ext_id, int16_t temporary,
                       StorageDesc* storage, int32_t type, int32_t field_count, FieldDef* fields,
                       const TypeOptions* options, int32_t data_file);
int16_t tabtype_read_row(StorageDesc* storage, FieldDef* fields, int32_t n);
int16_t tabtype_read_row_ex(StorageDesc* storage, FieldDef* fields, int32_t n, int16_t* flag);
int16_t tabtype_insert_row(StorageDesc* storage, FieldDef* fields, int32_t* n);
int16_t tabtype_update_row(StorageDesc* storage, FieldDef* fields, int32_t n);
int16_t tabtype_delete_row(StorageDesc* storage, int32_t n);
// The process's edit stamp: it grows with every row inserted, updated or
// deleted, and the storage changed keeps the value it reached.
uint32_t tabtype_edit_stamp();
int16_t tabtype_batch_begin(StorageDesc* storage);
int16_t tabtype_batch_end(StorageDesc* storage);

// Type 1: whether the dBASE file has memo fields (access is begun and
// ended to look); type 8: bit 0 of the Access flags; else 0.
int16_t tabtype_can_hold_memo(StorageDesc* storage);
// Whether the counts agree and each pair of fields matches (Integer,
// SmallInt and Float also match Decimal (11, 0), (6, 0) and (19, 9)).
int16_t tabtype_fields_compatible(const TableDef* table, const FieldDef* other, int32_t count);
