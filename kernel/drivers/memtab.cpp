// The in-memory table's services. Row nodes are found on the shared row
// list; the row values themselves wait for the table's driver, so no row
// reads yet.
#include "kernel/drivers/memtab.h"

#include "kernel/mapobjects/mapstore.h"

int16_t memtab_find_row(MemRowList* rows, int32_t n, MemRowNode** node) {
  if (node != nullptr) *node = nullptr;
  for (MemRowNode* r = rows != nullptr ? rows->head : nullptr; r != nullptr; r = r->next) {
    if (r->values == nullptr || r->row != n) continue;
    if (node != nullptr) *node = r;
    return 1;
  }
  return 0;
}

int16_t memtab_nth_row(MemRowList* rows, int32_t n, MemRowNode** node) {
  if (node != nullptr) *node = nullptr;
  int32_t i = 0;
  for (MemRowNode* r = rows != nullptr ? rows->head : nullptr; r != nullptr; r = r->next) {
    if (r->values == nullptr || ++i != n) continue;
    if (node != nullptr) *node = r;
    return 1;
  }
  return 0;
}

int16_t memtab_read_row(StorageDesc*, int32_t, FieldDef*) { return 0; }
