// The in-memory table type (type 11): rows kept as nodes of the kernel's
// in-memory object list (kernel/mapobjects/mapstore.h), so that a row's
// values and its map object can share one node. Row ids are the caller's;
// rows stay in insertion order. Services other parts of the kernel use:
// row nodes by row number and by position, and a row's values.
#pragma once
#include <cstdint>

#include "kernel/tables/tabdef.h"

struct MemRowList;
struct MemRowNode;
struct TabTypeDriver;

// The driver's record behind MemoryOptions::rows.
struct MemTabIdIndex;
struct MemTabRows {
  MemRowList* list;       // shared with an in-memory object storage
  int32_t counter;        // the largest id filed so far, plus one
  MemRowNode* cursor;     // the cursor's node
  MemTabIdIndex* by_id;   // id -> first node with row values
};

// The row node of row number n: 0 when there is none.
int16_t memtab_find_row(MemRowList* rows, int32_t n, MemRowNode** node);
// The n-th row node, counting from 1: 0 when there are fewer rows.
int16_t memtab_nth_row(MemRowList* rows, int32_t n, MemRowNode** node);
// Copies row n's values into the fields: 0 when the row does not exist.
int16_t memtab_read_row(StorageDesc* storage, int32_t n, FieldDef* fields);

// ---- the driver ---------------------------------------------------------------
int16_t memtab_create(StorageDesc* storage, FieldDef* fields);
int16_t memtab_insert_row(StorageDesc* storage, int32_t id, FieldDef* fields);
int16_t memtab_update_row(StorageDesc* storage, int32_t id, FieldDef* fields);
int16_t memtab_delete_row(StorageDesc* storage, int32_t id);
int16_t memtab_close(StorageDesc* storage);
// The rows of a table's in-memory storage (null when it has none).
MemTabRows* memtab_rows(StorageDesc* storage);
// The first row whose column a reads as text a (ignoring case) and, when
// text b is given and not empty, column b as text b: its id, or its 0-based
// position in the list.
int16_t memtab_find_by_text(TableDef* table, const char* text_a, int32_t column_a, const char* text_b,
                            int32_t column_b, int32_t* id);
int16_t memtab_position_by_text(TableDef* table, const char* text_a, int32_t column_a, const char* text_b,
                                int32_t column_b, int32_t* position);
int16_t memtab_next_row_id(StorageDesc* storage, int32_t* id);
int16_t memtab_cursor_first(StorageDesc* storage);
int16_t memtab_cursor_next(StorageDesc* storage, int32_t* id, void* unused, int16_t* end);
int16_t memtab_cursor_prev(StorageDesc* storage, int32_t* id);
int16_t memtab_cursor_last(StorageDesc* storage, int32_t* id);

const TabTypeDriver* memtab_driver();
