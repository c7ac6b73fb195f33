// The Excel workbook table type (type 4): driver verbs, column inference
// and the definition version a described workbook needs.
#pragma once
#include <cstdint>

#include "kernel/tables/tabdef.h"

struct TabTypeDriver;
struct XlsReader;
struct XlsRect;

// The definition version a described workbook table needs: 450 for a
// BIFF8 workbook, else 300.
int32_t xls_table_version(const StorageDesc* storage);

int16_t xls_create(StorageDesc* storage, FieldDef* fields);  // always fails
int16_t xls_open(StorageDesc* storage, FieldDef* fields);
int16_t xls_describe(StorageDesc* storage, FieldDef** fields, int32_t* count);
int16_t xls_begin_access(StorageDesc* storage, int16_t mode, int16_t* flag);
int16_t xls_end_access(StorageDesc* storage);
int16_t xls_close(StorageDesc* storage);
int16_t xls_read_row(StorageDesc* storage, int32_t n, FieldDef* fields, int16_t* flag);
int16_t xls_batch_begin(StorageDesc* storage);
int16_t xls_batch_end(StorageDesc* storage);
const TabTypeDriver* xls_driver();

// One field per range column (default names, or with titles the row above
// the range), types and widths merged from the range's cells.
bool xls_infer_columns(FieldDef** out, StorageDesc* storage, XlsReader* reader, const XlsRect& range);
// The column type after a cell of the given type (0 empty, 10 text) meets
// a column of the given type (0 none yet).
int32_t xls_merge_column_type(int32_t column, int32_t cell);
