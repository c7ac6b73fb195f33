// The local cache of a linked table: an in-memory table (type 11) and a
// kind-2 map storage that share one row list, so that a cached row's values
// and its object live in the same node. A cache is filled for a rectangle
// while a cursor reads the linked storage, and afterwards answers reads
// inside that rectangle from memory; the owning table's storage reads its
// rows from it first (the edit overlay).
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapstore.h"
#include "kernel/runtime/intrect.h"
#include "kernel/tables/tabdef.h"

struct TableCache {
  IntRect held = {0, 0, 0, 0};  // all zero: holds nothing
  StorageDesc table;            // the in-memory table (type 11) of the cached rows
  MapStore store;               // kind 2 on the table's row list
  int16_t filling = 0;
  int32_t cursors = 0;          // read cursors open on the cache
  MapWriter writer = {};        // the write session of the current fill
  MapStore* owner = nullptr;    // the storage the cache belongs to
  int16_t reading = 0;          // read access begun on the owner's base tables
};

// Makes the cache of a storage and installs it as the owning table's edit
// overlay: 0 when memory fails.
int16_t storage_cache_create(MapStore* s);
// Whether the cache holds a rectangle that contains r.
int16_t storage_cache_covers(MapStore* s, const IntRect* r);
// Starts filling the cache for r: empties it, begins read access on the
// owning open table's base tables and a write session on the cache.
int16_t storage_cache_fill(MapStore* s, const IntRect* r);
// Ends a fill.
void storage_cache_release(MapStore* s);
int16_t storage_cache_cursor_init(MapStore* s, MapCursor* c);
void storage_cache_cursor_close(MapStore* s, MapCursor* c);
int16_t storage_cache_filling(const MapStore* s);
int16_t storage_cache_in_use(const MapStore* s);
void storage_cache_free(MapStore* s);
int16_t storage_cache_fetch_next(MapStore* s, MapCursor* c, int16_t lend, MapObject* obj, int32_t* position);
int16_t storage_cache_fetch_by_id(MapStore* s, MapCursor* c, int32_t row, int16_t lend, MapObject* obj, int32_t* position);
// Copies an object a cursor read during a fill into the cache with its
// row's values; a row that cannot be read is skipped with success.
int16_t storage_cache_add(MapStore* s, const MapObject* obj);
void storage_cache_reset_area(MapStore* s);
void mapstore_cache_reset_if_filling(MapStore* s);
// Reads row n from the storage's edit overlay into the fields: 0 when there
// is none, while it fills, when it holds nothing or lacks the row.
int16_t storage_overlay_read_row(StorageDesc* storage, FieldDef* fields, int32_t n);
