// The in-memory table's services while its driver is not built: no row
// list holds a row.
#include "kernel/drivers/memtab.h"

int16_t memtab_find_row(MemRowList*, int32_t, MemRowNode** node) {
  if (node != nullptr) *node = nullptr;
  return 0;
}

int16_t memtab_nth_row(MemRowList*, int32_t, MemRowNode** node) {
  if (node != nullptr) *node = nullptr;
  return 0;
}

int16_t memtab_read_row(StorageDesc*, int32_t, FieldDef*) { return 0; }
