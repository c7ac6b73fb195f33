// Services of the in-memory table type (type 11) that other parts of the
// kernel use: row nodes by row number and by position, and a row's values.
#pragma once
#include <cstdint>

#include "kernel/tables/tabdef.h"

struct MemRowList;
struct MemRowNode;

// The row node of row number n: 0 when there is none.
int16_t memtab_find_row(MemRowList* rows, int32_t n, MemRowNode** node);
// The n-th row node, counting from 1: 0 when there are fewer rows.
int16_t memtab_nth_row(MemRowList* rows, int32_t n, MemRowNode** node);
// Copies row n's values into the fields: 0 when the row does not exist.
int16_t memtab_read_row(StorageDesc* storage, int32_t n, FieldDef* fields);
