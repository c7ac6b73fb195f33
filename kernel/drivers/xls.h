// Services of the Excel workbook table type (type 4) that the table-type
// dispatch uses.
#pragma once
#include <cstdint>

#include "kernel/tables/tabdef.h"

// The definition version a described workbook table needs: 450 for a
// BIFF8 workbook, else 300.
int32_t xls_table_version(const StorageDesc* storage);
