// Stand-in of the local cache of a linked table until the map storages
// land: the fields the row dispatch asks of a storage's edit overlay, and
// the overlay's row read. Nothing in the product makes a cache yet.
#pragma once
#include <cstdint>

#include "kernel/runtime/intrect.h"
#include "kernel/tables/tabdef.h"

struct TableCache {
  IntRect held = {0, 0, 0, 0};  // all zero: holds nothing
  StorageDesc table;            // the in-memory table (type 11) of the cached rows
  int16_t filling = 0;
};

// Reads row n from the storage's edit overlay into the fields: 0 when there
// is none, while it fills, when it holds nothing or lacks the row.
int16_t storage_overlay_read_row(StorageDesc* storage, FieldDef* fields, int32_t n);
