// The local cache of a linked table: an in-memory table and a kind-2 map
// storage on one shared row list, filled while a cursor reads the linked
// storage and read first afterwards.
#include "kernel/mapobjects/tablecache.h"

#include <cstring>
#include <new>

#include "kernel/drivers/memtab.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/rect.h"
#include "kernel/tables/viewcursor.h"
#include "kernel/tables/storage/tabtype_ops.h"

namespace {

// Closes the cache's map storage and in-memory table, freeing every cached
// object and row.
void close_parts(TableCache* c) {
  if (c->store.kind) mapstore_close(&c->store);
  memtab_close(&c->table);
  c->table.options = MemoryOptions{};
  c->table.row_count = 0;
}

// Makes the in-memory table (type 11, the owner's field count) and the
// kind-2 map storage on its row list.
int16_t open_parts(TableCache* c) {
  c->table = StorageDesc{};
  c->table.type = TABTYPE_MEMORY;
  c->table.field_count = c->owner->owner ? c->owner->owner->field_count : 0;
  c->table.options = MemoryOptions{};
  if (!memtab_create(&c->table, nullptr)) return 0;
  MemRowList* rows = memtab_rows(&c->table)->list;
  if (!mapstore_create(&c->store, MAPSTORE_MEMORY, nullptr, 0, &c->owner->header.xform, 1, 0, nullptr)) {
    close_parts(c);
    return 0;
  }
  // The storage shares the table's rows instead of a list of its own.
  memlist_release(&c->store.list);
  c->store.list = rows;
  ++rows->users;
  return 1;
}

OpenTable* owner_entry(const MapStore* s) { return s->owner ? s->owner->entry : nullptr; }

}  // namespace

int16_t storage_cache_create(MapStore* s) {
  auto* c = new (std::nothrow) TableCache{};
  if (!c) {
    err_push(4, 1, nullptr, nullptr);
    return 0;
  }
  c->owner = s;
  if (!open_parts(c)) {
    delete c;
    return 0;
  }
  s->cache = c;
  if (s->owner) s->owner->storage.edit_overlay = c;
  return 1;
}

int16_t storage_cache_covers(MapStore* s, const IntRect* r) {
  const TableCache* c = s->cache;
  return c && !rect_is_zero(&c->held) && rect_is_inside(r, &c->held);
}

int16_t storage_cache_fill(MapStore* s, const IntRect* r) {
  TableCache* c = s->cache;
  if (!c) return 0;
  c->filling = 1;
  c->held = *r;
  close_parts(c);
  if (OpenTable* entry = owner_entry(s)) {
    if (!c->reading && !open_table_lock(entry, 0)) return 0;
    c->reading = 1;
  }
  if (!open_parts(c)) return 0;
  return mapstore_begin_write(&c->writer, &c->store);
}

void storage_cache_release(MapStore* s) {
  TableCache* c = s->cache;
  if (!c) return;
  c->filling = 0;
  mapstore_end_write(&c->writer, &c->store);
  std::memset(&c->writer, 0, sizeof c->writer);
  if (c->reading) {
    if (OpenTable* entry = owner_entry(s)) open_table_unlock(entry);
    c->reading = 0;
  }
}

int16_t storage_cache_cursor_init(MapStore* s, MapCursor* cursor) {
  TableCache* c = s->cache;
  if (!c || !mapstore_cursor_open(cursor, &c->store)) return 0;
  cursor->read_through = 1;
  ++c->cursors;
  return 1;
}

void storage_cache_cursor_close(MapStore* s, MapCursor* cursor) {
  TableCache* c = s->cache;
  mapstore_cursor_close(cursor, &c->store);
  if (c->cursors > 0) --c->cursors;
}

int16_t storage_cache_filling(const MapStore* s) { return s->cache && s->cache->filling; }
int16_t storage_cache_in_use(const MapStore* s) { return s->cache && s->cache->cursors > 0; }

void storage_cache_free(MapStore* s) {
  TableCache* c = s->cache;
  if (!c) return;
  if (c->filling) storage_cache_release(s);
  close_parts(c);
  if (s->owner && s->owner->storage.edit_overlay == c) s->owner->storage.edit_overlay = nullptr;
  delete c;
  s->cache = nullptr;
}

int16_t storage_cache_fetch_next(MapStore* s, MapCursor* cursor, int16_t lend, MapObject* obj, int32_t* position) {
  TableCache* c = s->cache;
  if (!c) return 0;
  cursor->read_through = 0;
  const int16_t ok = mapstore_cursor_next(cursor, &c->store, lend, obj, position);
  cursor->read_through = 1;
  return ok;
}

int16_t storage_cache_fetch_by_id(MapStore* s, MapCursor* cursor, int32_t row, int16_t lend, MapObject* obj,
                                  int32_t* position) {
  TableCache* c = s->cache;
  if (!c) return 0;
  if (c->filling) c->held = IntRect{0, 0, 0, 0};
  if (rect_is_zero(&c->held)) return 0;
  // From the cache's list, with no filter.
  const MapFilterFn filter = cursor->filter;
  void* data = cursor->filter_data;
  const int16_t through = cursor->read_through;
  cursor->filter = nullptr;
  cursor->read_through = 0;
  const int16_t ok = mapstore_cursor_fetch(cursor, &c->store, row, lend, obj, position);
  cursor->filter = filter;
  cursor->filter_data = data;
  cursor->read_through = through;
  return ok;
}

int16_t storage_cache_add(MapStore* s, const MapObject* obj) {
  TableCache* c = s->cache;
  if (!c || !s->owner) return 1;
  TableDef* t = s->owner;
  int32_t row = obj->row_id;
  if (!cursor_move(t->entry, 5, row, nullptr, nullptr, nullptr)) return 1;  // an unreadable row is skipped
  // The row's values go into the in-memory table, its object into the
  // row's own node.
  if (!tabtype_insert_row(&c->table, t->fields, &row)) return 0;
  return mapstore_insert_object(&c->writer, &c->store, obj, row, -3);
}

void storage_cache_reset_area(MapStore* s) {
  if (s->cache) s->cache->held = IntRect{0, 0, 0, 0};
}

void mapstore_cache_reset_if_filling(MapStore* s) {
  if (storage_cache_filling(s)) storage_cache_reset_area(s);
}

int16_t storage_overlay_read_row(StorageDesc* s, FieldDef* fields, int32_t n) {
  const TableCache* c = s->edit_overlay;
  if (c == nullptr || c->filling || rect_is_zero(&c->held)) return 0;
  return tabtype_read_row(&s->edit_overlay->table, fields, n);
}
