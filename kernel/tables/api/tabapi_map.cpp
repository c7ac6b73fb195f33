// The table API's view of map storages and index files (see tabapi_map.h).
// Key searches seek the field's index and step along it; inserts and updates
// keep the indexes of the row's fields.
#include "kernel/tables/api/tabapi_map.h"

#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/objrec.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/valcmp.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/storage/tabtype_ops.h"

namespace {

// A key buffer of the field's type and width holding the value's key under
// the index's collation.
bool field_key(const TableDef* t, const FieldDef& f, const Value* value, KeyBuf* key) {
  if (!keybuf_init(key, f.value.type, f.width)) return false;
  if (!key_set_value(value, key, f.decimals, index_language_key(t->index))) {
    keybuf_free(key);
    return false;
  }
  return true;
}

// Adds (insert set) or removes the keys of the row's indexed fields, their
// values as the fields hold them.
int16_t row_keys(TableDef* t, int32_t row, bool insert) {
  if (t->index == nullptr) return 1;
  for (int32_t i = 0; i < t->field_count; ++i) {
    FieldDef& f = t->fields[i];
    if (f.index == nullptr) continue;
    KeyBuf k;
    if (!field_key(t, f, &f.value, &k)) return 0;
    k.row = row;
    const int16_t ok = insert ? field_index_insert(t->index, f.index, &k) : field_index_delete(t->index, f.index, &k);
    keybuf_free(&k);
    if (!ok && insert) return 0;
  }
  return 1;
}

}  // namespace

namespace {

bool def_path(const TableDef* t, char* out) {
  out[0] = '\0';
  if (t->def_file > 0) file_get_path(t->def_file, out);
  return out[0] != '\0';
}

}  // namespace

int16_t apimap_begin(TableDef* table, int32_t mode) {
  MapStore* s = &table->map;
  if (s->kind == 0) return 1;
  if (s->attached_only) {
    // The table's open only noted the map file: it is read now.
    char path[kPathSize];
    if (!def_path(table, path)) return 0;
    mapstore_close(s);
    if (!mapstore_open(s, MAPSTORE_FILE, table, 1, -1, path)) return 0;
  }
  return mapstore_begin_access(s, mode);
}

void apimap_end(TableDef* table) {
  if (table->map.kind != 0 && !table->map.attached_only) mapstore_end_access(&table->map);
}

int16_t apimap_is_file(const TableDef* table) { return mapstore_get_type(&table->map) == MAPSTORE_FILE ? 1 : 0; }

const CoordXform* apimap_xform(const TableDef* table) { return mapstore_get_xform(&table->map); }

int16_t apimap_cursor_open(ApiSlot* slot) {
  if (!apimap_is_file(slot->table)) return 1;
  slot->cursor = MapCursor{};
  return mapstore_cursor_open(&slot->cursor, &slot->table->map);
}

void apimap_cursor_close(ApiSlot* slot) {
  if (apimap_is_file(slot->table)) mapstore_cursor_close(&slot->cursor, &slot->table->map);
  slot->cursor_open = 0;
}

int16_t apimap_fetch(ApiSlot* slot, int32_t row, int16_t lend, MapObject* obj) {
  int32_t position = 0;
  if (!apimap_is_file(slot->table) ||
      !mapstore_cursor_fetch(&slot->cursor, &slot->table->map, row, lend, obj, &position)) {
    mapobj_set_type(obj, 0);
  }
  return 1;
}

void apimap_counts(const TableDef* table, int32_t* points, int32_t* lines, int32_t* regions) {
  const MapStore* s = &table->map;
  if (points != nullptr) *points = s->kind != 0 ? mapstore_point_count(s) : 0;
  if (lines != nullptr) *lines = s->kind != 0 ? mapstore_line_count(s) : 0;
  if (regions != nullptr) *regions = s->kind != 0 ? mapstore_region_count(s) : 0;
}

int16_t apimap_discard(TableDef* table) {
  if (table->map.kind == 0) return 1;
  if (!table->map.attached_only) mapstore_end_access(&table->map);
  return mapstore_commit_close(&table->map);
}

int16_t apimap_create(TableDef* table, const CoordXform* xform, int32_t mode) {
  char path[kPathSize];
  if (!def_path(table, path)) return 0;
  apimap_discard(table);
  if (!mapstore_create(&table->map, MAPSTORE_FILE, table, -1, xform, 0, 1, path)) return 0;
  return mapstore_begin_access(&table->map, mode);
}

int16_t apimap_write(TableDef* table, int32_t row, const MapObject* obj, int16_t insert) {
  if (!apimap_is_file(table)) {
    err_push(4, kApiErrNoMap, nullptr, nullptr);
    return 0;
  }
  MapWriter w{};
  if (!mapstore_begin_write(&w, &table->map)) return 0;
  int16_t ok = 0;
  if (obj == nullptr) {
    ok = mapstore_delete_object(&w, &table->map, row);
  } else if (insert) {
    ok = mapstore_insert_object(&w, &table->map, obj, row, 0);
  } else {
    ok = mapstore_update_object(&w, &table->map, obj, row, 0);
  }
  mapstore_end_write(&w, &table->map);
  return ok;
}

int32_t apiindex_find_first(ApiSlot* slot, int32_t field, const Value* key) {
  TableDef* t = slot->table;
  FieldDef& f = t->fields[field];
  if (t->index == nullptr || f.index == nullptr) return 0;
  KeyBuf k;
  if (!field_key(t, f, key, &k)) return 0;
  const int32_t row = field_index_seek(t->index, f.index, &k) ? k.row : 0;
  keybuf_free(&k);
  return row;
}

int32_t apiindex_find_next(ApiSlot* slot, int32_t field, const Value* key) {
  TableDef* t = slot->table;
  FieldDef& f = t->fields[field];
  if (t->index == nullptr || f.index == nullptr || !field_index_next(t->index, f.index, nullptr)) return 0;
  int16_t cmp = 1;
  if (!valcmp_collated(&f.index->key.value, key, &cmp, 0, index_language_key(t->index)) || cmp != 0) return 0;
  return f.index->key.row;
}

int16_t apiindex_add_row(TableDef* table, int32_t row) { return row_keys(table, row, true); }

int16_t apiindex_remove_row(TableDef* table, int32_t row) {
  if (table->index == nullptr) return 1;
  if (!tabtype_read_row(&table->storage, table->fields, row)) return 0;
  return row_keys(table, row, false);
}

int16_t apiindex_begin(TableDef* table, int32_t mode) {
  return table->index == nullptr || index_file_begin(table->index, static_cast<int16_t>(mode));
}
void apiindex_end(TableDef* table) {
  if (table->index != nullptr) index_file_end(table->index);
}


void apimap_user_extent(const MapObject* obj, const CoordXform* table, const CoordXform* target, DRect* bounds,
                        DPoint* centre) {
  if (bounds != nullptr) {
    DRect r{};
    objrec_rect_to_user(&obj->mbr, &r, table, target);
    if (bounds->x1 == 0.0 && bounds->y1 == 0.0 && bounds->x2 == 0.0 && bounds->y2 == 0.0) {
      *bounds = r;
    } else {
      if (r.x1 < bounds->x1) bounds->x1 = r.x1;
      if (r.y1 < bounds->y1) bounds->y1 = r.y1;
      if (r.x2 > bounds->x2) bounds->x2 = r.x2;
      if (r.y2 > bounds->y2) bounds->y2 = r.y2;
    }
  }
  if (centre != nullptr) {
    IntPoint c{};
    mapobj_get_centroid(obj, &c);
    objrec_point_to_user(&c, centre, table, target);
  }
}
