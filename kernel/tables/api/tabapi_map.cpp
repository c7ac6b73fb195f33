// The table API's view of map storages and index files (see tabapi_map.h).
// Map storages that only record their map file give tables whose rows have
// no objects; key searches walk the rows of the data storage in order, so
// that they find the same rows as an index in the same order.
#include "kernel/tables/api/tabapi_map.h"

#include <map>
#include <utility>

#include "kernel/mapobjects/mapobj.h"
#include <cstdio>

#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/valcmp.h"
#include "kernel/tables/standin/indexfile.h"
#include "kernel/tables/storage/tabtype_ops.h"

namespace {

// The row of the last key search per table and field.
std::map<std::pair<const TableDef*, int32_t>, int32_t> g_search;

int32_t search_from(ApiSlot* slot, int32_t field, const Value* key, int32_t first) {
  TableDef* t = slot->table;
  for (int32_t n = first; n <= t->storage.row_count; ++n) {
    if (!tabtype_read_row(&t->storage, t->fields, n)) continue;
    int16_t cmp = 1;
    if (valcmp_collated(&t->fields[field].value, key, &cmp, 0, 0) && cmp == 0) {
      g_search[{t, field}] = n;
      return n;
    }
  }
  g_search[{t, field}] = t->storage.row_count + 1;
  return 0;
}

}  // namespace

int16_t apimap_begin(TableDef*, int32_t) { return 1; }
void apimap_end(TableDef* table) {
  for (auto it = g_search.begin(); it != g_search.end();) {
    it = it->first.first == table ? g_search.erase(it) : std::next(it);
  }
}
int16_t apimap_is_file(const TableDef* table) { return mapstore_get_type(&table->map) == 1 ? 1 : 0; }
const CoordXform* apimap_xform(const TableDef* table) { return mapstore_get_xform(&table->map); }
int16_t apimap_cursor_open(ApiSlot*) { return 1; }
void apimap_cursor_close(ApiSlot* slot) { slot->cursor_open = 0; }
int16_t apimap_fetch(ApiSlot*, int32_t, int16_t, MapObject* obj) {
  mapobj_set_type(obj, 0);
  return 1;
}
void apimap_counts(const TableDef*, int32_t* points, int32_t* lines, int32_t* regions) {
  if (points != nullptr) *points = 0;
  if (lines != nullptr) *lines = 0;
  if (regions != nullptr) *regions = 0;
}
int16_t apimap_create(TableDef*, const CoordXform*, int32_t) {
  err_push(4, kApiErrNoMap, nullptr, nullptr);
  return 0;
}
int16_t apimap_write(TableDef*, int32_t, const MapObject*, int16_t) {
  err_push(4, kApiErrNoMap, nullptr, nullptr);
  return 0;
}

int32_t apiindex_find_first(ApiSlot* slot, int32_t field, const Value* key) { return search_from(slot, field, key, 1); }
int32_t apiindex_find_next(ApiSlot* slot, int32_t field, const Value* key) {
  const auto it = g_search.find({slot->table, field});
  return search_from(slot, field, key, it == g_search.end() ? 1 : it->second + 1);
}
int16_t apiindex_add_row(TableDef*, int32_t) { return 1; }
int16_t apiindex_begin(TableDef* table, int32_t mode) {
  return table->index == nullptr || index_file_begin(table->index, static_cast<int16_t>(mode));
}
void apiindex_end(TableDef* table) {
  if (table->index != nullptr) index_file_end(table->index);
}

int16_t apiindex_create(TableDef* table, int32_t mode) {
  char def_path[kPathSize];
  char path[kPathSize];
  file_get_path(table->def_file, def_path);
  path_with_extension(path, def_path, 7);
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr || std::fclose(f) != 0) return 0;
  table->index = index_file_new();
  if (table->index == nullptr) return 0;
  if (!index_file_open(table->index, path) || !index_file_begin(table->index, static_cast<int16_t>(mode))) {
    index_file_close_free(table->index);
    table->index = nullptr;
    return 0;
  }
  return 1;
}
