// The ODBC-linked table type: link settings, the definition's Type clause
// and metadata, the driver entries and the key map.
#include "kernel/tables/odbctype.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "kernel/coordsys/xform.h"
#include "kernel/drivers/memtab.h"
#include "kernel/mapobjects/tablecache.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/server/srv.h"
#include "kernel/tables/storage/tabtype_ops.h"

namespace {

std::string meta_text(MetadataNode* m, const char* key) {
  const int32_t n = metadata_value_size(m, key);
  if (n <= 0) return "";
  std::string out(static_cast<size_t>(n) + 1, '\0');
  metadata_get(m, key, out.data(), n + 1);
  out.resize(std::strlen(out.c_str()));
  return out;
}

bool meta_is(MetadataNode* m, const char* key, const char* value) {
  return strcasecmp(meta_text(m, key).c_str(), value) == 0;
}

const char* on_off(int16_t v) { return v ? "ON" : "OFF"; }

bool has_key_map(const KeyMap* m) { return m->column >= 0 && m->key_file > 0; }

// Stores the key column's value of the fields into the key buffer and
// encodes it.
bool key_from_fields(KeyMap* m, const FieldDef* fields, int32_t count, KeyBuf* key) {
  if (fields == nullptr || m->column >= count) return false;
  const FieldDef* f = &fields[m->column];
  return key_set_value(&f->value, key, f->decimals, 0) && key_encode(key, nullptr);
}

void write_window_slot(KeyMap* m, int32_t row, const uint8_t* bytes) {
  if (row >= m->first_row && row < m->first_row + kKeyWindow)
    std::memcpy(m->window.data() + static_cast<size_t>(row - m->first_row) * static_cast<size_t>(m->key_width), bytes,
                static_cast<size_t>(m->key_width));
}

void free_local_cache(StorageDesc* s) {
  if (s->edit_overlay != nullptr && s->edit_overlay->owner != nullptr) storage_cache_free(s->edit_overlay->owner);
}

}  // namespace

LinkInfo* linktab_new() { return new (std::nothrow) LinkInfo{}; }

void linktab_free(LinkInfo* link) {
  if (link == nullptr) return;
  linktab_keymap_free(&link->keys);
  srv_close_connection(link->connection);
  delete link;
}

LinkInfo* linktab_of(const StorageDesc* s) {
  if (s == nullptr || s->type != TABTYPE_ODBC) return nullptr;
  const auto* o = std::get_if<OdbcOptions>(&s->options);
  return o != nullptr ? static_cast<LinkInfo*>(o->link) : nullptr;
}

int16_t linktab_read_settings(LinkInfo* link, MetadataNode* m) {
  if (link == nullptr || m == nullptr) return 0;
  link->data_source = meta_text(m, kLinkKeyQuery);
  link->connect = meta_text(m, kLinkKeyConnect);
  link->driver = meta_text(m, kLinkKeyToolkit);
  link->extra = meta_text(m, kLinkKeyExtra);
  link->cache = meta_is(m, "\\CACHE", "OFF") ? 0 : 1;
  if (meta_is(m, kLinkKeyReadOnlyFlag, "TRUE")) link->table_flags = 3;
  if (meta_is(m, kLinkKeyAutoKey, "TRUE")) link->table_flags |= 4;
  link->mbr_search = meta_is(m, "\\MBRSEARCH", "OFF") ? 0 : 1;
  link->option = meta_is(m, kLinkKeyOption, "ON") ? 1 : 0;
  link->versioning = meta_is(m, kLinkKeyVersioning, "ON") ? 1 : 0;
  link->workspace = meta_text(m, kLinkKeyWorkspace);
  link->parent_workspace = meta_text(m, kLinkKeyParentWorkspace);
  return 1;
}

int16_t odbctype_attach_link(TableDef* t) {
  if (t == nullptr || t->storage.type != TABTYPE_ODBC) return 0;
  auto* o = std::get_if<OdbcOptions>(&t->storage.options);
  if (o == nullptr) {
    typeopts_init(&t->storage.options, TABTYPE_ODBC);
    o = std::get_if<OdbcOptions>(&t->storage.options);
  }
  if (o->link == nullptr) o->link = linktab_new();
  if (o->link == nullptr) {
    err_push(4, 1, nullptr, nullptr);
    return 0;
  }
  return linktab_read_settings(static_cast<LinkInfo*>(o->link), t->metadata);
}

int16_t odbctype_write_tab(TableDef* t, std::string* type_line) {
  if (t == nullptr || type_line == nullptr) return 0;
  *type_line = "  Type ODBC\n";
  LinkInfo* link = linktab_of(&t->storage);
  if (link == nullptr) return 1;  // the link metadata stand as read
  if (t->metadata == nullptr) t->metadata = metadata_new();
  MetadataNode* m = t->metadata;
  bool ok = metadata_set(m, "\\IsReadOnly", "FALSE") != 0;
  if (link->table_flags & 4) ok = ok && metadata_set(m, kLinkKeyAutoKey, "TRUE");
  if (link->table_flags & 2) ok = ok && metadata_set(m, kLinkKeyReadOnlyFlag, "TRUE");
  ok = ok && metadata_set(m, kLinkKeyRoot, "") && metadata_set(m, kLinkKeyQuery, link->data_source.c_str()) &&
       metadata_set(m, kLinkKeyConnect, srv_strip_connect_options(link->connect.c_str()).c_str());
  if (!link->driver.empty()) ok = ok && metadata_set(m, kLinkKeyToolkit, link->driver.c_str());
  if (!link->extra.empty()) {
    ok = ok && metadata_set(m, kLinkKeyExtra, link->extra.c_str());
    link->extra.clear();
  }
  if (link->oracle) ok = ok && metadata_set(m, kLinkKeyOption, on_off(link->option));
  ok = ok && metadata_set(m, "\\CACHE", on_off(link->cache)) && metadata_set(m, "\\MBRSEARCH", on_off(link->mbr_search));
  if (link->oracle && link->spatial_version == 9 && link->versioning) {
    ok = ok && metadata_set(m, kLinkKeyVersioning, on_off(link->versioning)) &&
         metadata_set(m, kLinkKeyWorkspace, link->workspace.c_str()) &&
         metadata_set(m, kLinkKeyParentWorkspace, link->parent_workspace.c_str());
  }
  return ok ? 1 : 0;
}

int32_t odbctype_set_version(TableDef* t) {
  if (t == nullptr) return 0;
  LinkInfo* link = linktab_of(&t->storage);
  int32_t v = 500;
  if (tabdef_has_field_type(t, VALUE_DATETIME) || tabdef_has_field_type(t, VALUE_TIME)) {
    v = 900;
  } else if (link != nullptr && !link->extra.empty()) {
    v = 650;
  } else if (link != nullptr && link->driver == kLinkToolkitOci) {
    v = 550;
  }
  t->version = t->read_entire = t->edit = v;
  return v;
}

int32_t odbctype_get_version(const TableDef* t) { return t != nullptr ? t->version : 0; }

// ---- driver entries ----------------------------------------------------------------

int16_t odbctype_open(StorageDesc*, FieldDef*) { return 0; }

int16_t odbctype_describe(StorageDesc* s, FieldDef**, int32_t*) {
  LinkInfo* link = linktab_of(s);
  if (link == nullptr) return 0;
  link->connection = srv_open_connection(link->driver.c_str(), link->connect.c_str());
  if (link->connection == nullptr) return 0;
  return linktab_filter_stub(link);
}

int16_t odbctype_begin_access(StorageDesc* s, int16_t, int16_t*) {
  linktab_detach(linktab_of(s));
  return 1;
}
int16_t odbctype_end_access(StorageDesc*) { return 1; }
int16_t odbctype_close(StorageDesc* s) {
  if (auto* o = std::get_if<OdbcOptions>(&s->options)) {
    linktab_free(static_cast<LinkInfo*>(o->link));
    o->link = nullptr;
  }
  return 1;
}

int16_t odbctype_read_row(StorageDesc* s, int32_t n, FieldDef*, int16_t*) {
  LinkInfo* link = linktab_of(s);
  if (link == nullptr) return 0;
  if (n > link->rows_seen && !link->end_of_rows) {
    // Fetch up to n + 50 rows: the stand-in fetch step ends at once.
    while (link->rows_seen < n + 50 && linktab_fetch_stub(link)) ++link->rows_seen;
    if (s->row_count < link->rows_seen) s->row_count = link->rows_seen;
  }
  return linktab_fetch_stub(link);
}

int16_t odbctype_insert_row(StorageDesc* s, int32_t* n, FieldDef* fields) {
  LinkInfo* link = linktab_of(s);
  if (link == nullptr || n == nullptr) return 0;
  KeyMap* m = &link->keys;
  if (has_key_map(m)) {
    if (!key_from_fields(m, fields, s->field_count, &m->key) || !linktab_key_add(m, &m->key)) return 0;
  }
  *n = s->row_count + 1;
  ++link->rows_seen;
  ++link->pending;
  return odbctype_cache_change(s, *n, fields, nullptr);
}

int16_t odbctype_update_row(StorageDesc* s, int32_t n, FieldDef* fields) {
  LinkInfo* link = linktab_of(s);
  if (link == nullptr) return 0;
  KeyMap* m = &link->keys;
  if (fields == nullptr || !has_key_map(m)) return 1;
  KeyBuf old_key, new_key;
  bool ok = keybuf_init(&old_key, m->key_type, m->key_width) && keybuf_init(&new_key, m->key_type, m->key_width) &&
            linktab_key_of_row(m, n, old_key.bytes) && key_decode(&old_key) &&
            key_from_fields(m, fields, s->field_count, &new_key);
  if (ok && std::memcmp(old_key.bytes, new_key.bytes, static_cast<size_t>(m->key_width)) != 0)
    ok = linktab_key_replace(m, n, &old_key, &new_key) != 0;
  keybuf_free(&old_key);
  keybuf_free(&new_key);
  return ok ? 1 : 0;
}

int16_t odbctype_delete_true(StorageDesc*, int32_t) { return 1; }

int16_t odbctype_begin_transaction(LinkInfo* link) {
  // A transaction needs a server connection, which this system never has.
  return link != nullptr && link->connection != nullptr ? 1 : 0;
}

int16_t odbctype_commit(LinkInfo* link) {
  if (link == nullptr) return 0;
  link->pending = 0;
  return 1;
}

int16_t odbctype_rollback(StorageDesc* s) {
  LinkInfo* link = linktab_of(s);
  if (link == nullptr) return 0;
  if (link->pending > 0) {
    free_local_cache(s);
    s->row_count -= link->pending;
    link->rows_seen -= link->pending;
    link->pending = 0;
  }
  return 1;
}

void odbctype_drop_cache(StorageDesc* s) {
  free_local_cache(s);
  if (LinkInfo* link = linktab_of(s)) linktab_keymap_free(&link->keys);
}

int16_t odbctype_cache_change(StorageDesc* s, int32_t row, FieldDef* fields, const MapObject* object) {
  TableCache* c = s != nullptr ? s->edit_overlay : nullptr;
  if (c == nullptr) return 1;
  bool ok = true;
  if (fields != nullptr) {
    MemTabRows* rows = memtab_rows(&c->table);
    MemRowNode* node = nullptr;
    const bool held = rows != nullptr && memtab_find_row(rows->list, row, &node) && node->values != nullptr;
    ok = (held ? memtab_update_row(&c->table, row, fields) : memtab_insert_row(&c->table, row, fields)) != 0;
  }
  if (ok && object != nullptr) {
    MapWriter w = {};
    ok = mapstore_begin_write(&w, &c->store) != 0;
    if (ok) {
      ok = mapstore_update_object(&w, &c->store, object, row, -3) != 0;
      mapstore_end_write(&w, &c->store);
    }
  }
  linktab_detach(linktab_of(s));
  return ok ? 1 : 0;
}

int16_t odbctype_cache_delete(StorageDesc* s, int32_t row) {
  TableCache* c = s != nullptr ? s->edit_overlay : nullptr;
  if (c == nullptr) return 1;
  MemTabRows* rows = memtab_rows(&c->table);
  MemRowNode* node = nullptr;
  bool ok = true;
  if (rows != nullptr && memtab_find_row(rows->list, row, &node) && node->values != nullptr) {
    ok = memtab_delete_row(&c->table, row) != 0;
  } else {
    MapWriter w = {};
    ok = mapstore_begin_write(&w, &c->store) != 0;
    if (ok) {
      ok = mapstore_delete_object(&w, &c->store, row) != 0;
      mapstore_end_write(&w, &c->store);
    }
  }
  linktab_detach(linktab_of(s));
  return ok ? 1 : 0;
}

int16_t odbctype_accepts_object(const LinkInfo* link, const MapObject*) {
  if (link == nullptr) return 0;
  switch (link->server.spatial_kind) {
    case 11:
    case 13:
    case 14: return 0;  // the server decides, and there is none
    default: return 1;
  }
}

int16_t dbmslink_set_bounds(LinkInfo* link, const CoordXform* xform) {
  if (link == nullptr || xform == nullptr) return 0;
  xform_bounds_in_units(xform, &link->server.bounds, xform_units(xform));
  return 1;
}

int16_t odbctype_check_server(TableDef* t, const CoordXform* xform) {
  LinkInfo* link = t != nullptr ? linktab_of(&t->storage) : nullptr;
  if (link == nullptr || link->connection == nullptr) return 0;
  return dbmslink_set_bounds(link, xform);
}

// ---- link cursor ------------------------------------------------------------------

int16_t linktab_cursor_new(LinkInfo* link) {
  if (link == nullptr) return 0;
  linktab_cursor_release(link);
  if (link->connection == nullptr) return 0;
  link->cursor.open = srv_execute(link->connection, link->data_source.c_str()) != 0 ? 1 : 0;
  return link->cursor.open;
}

void linktab_cursor_release(LinkInfo* link) {
  if (link == nullptr) return;
  link->cursor = LinkCursor{};
}

void linktab_cursor_detach(LinkCursor* cursor) {
  if (cursor != nullptr) cursor->attached = 0;
}

void linktab_detach(LinkInfo* link) {
  if (link != nullptr) linktab_cursor_detach(&link->cursor);
}

int32_t linktab_fetch_loop(LinkInfo* link, StorageDesc* s) {
  if (link == nullptr) return -1;
  while (link->cursor.open && !link->end_of_rows && linktab_fetch_stub(link)) {
    ++link->rows_seen;
    link->cursor.row = link->rows_seen;
    link->cursor.attached = 1;
    return link->rows_seen;
  }
  link->end_of_rows = 1;
  if (s != nullptr) s->row_count = link->rows_seen;
  link->cursor.open = 0;
  return -1;
}

int16_t odbctype_refilter(LinkInfo* link) {
  if (link == nullptr) return 0;
  link->cursor.row = 0;
  const int16_t ok = linktab_filter_stub(link);
  linktab_detach(link);
  return ok;
}

int32_t odbctype_find_row(StorageDesc* s) { return linktab_fetch_loop(linktab_of(s), s); }

int32_t tabtype_link_flag(const StorageDesc* s, int32_t which) {
  const LinkInfo* link = linktab_of(s);
  return link != nullptr && which >= 0 && which < 2 ? link->cursor.flags[which] : 0;
}

int16_t tabtype_link_refilter(StorageDesc* s) {
  LinkInfo* link = linktab_of(s);
  return link != nullptr ? odbctype_refilter(link) : 0;
}

int32_t tabtype_link_find_row(StorageDesc* s) { return linktab_of(s) != nullptr ? odbctype_find_row(s) : 0; }

int16_t linktab_fetch_stub(LinkInfo*) { return 0; }
int16_t linktab_filter_stub(LinkInfo*) { return 0; }

const TabTypeDriver kOdbcDriver = {nullptr,          odbctype_open,      odbctype_describe,    odbctype_begin_access,
                                   odbctype_end_access, odbctype_close, odbctype_read_row,    odbctype_insert_row,
                                   odbctype_update_row, odbctype_delete_true, nullptr,        nullptr};

// ---- key map --------------------------------------------------------------------------

int16_t linktab_keymap_init(KeyMap* map, int32_t type, int32_t width) {
  if (map == nullptr) return 0;
  linktab_keymap_free(map);
  if (!keybuf_init(&map->key, type, width)) return 0;
  map->key_type = type;
  map->key_width = map->key.width;
  map->window.assign(static_cast<size_t>(kKeyWindow) * static_cast<size_t>(map->key_width), 0);
  map->first_row = 1;
  map->count = 0;
  map->key_file = file_register_temp(nullptr);
  bool ok = map->key_file > 0 && file_open_binary(map->key_file, 3, nullptr) >= 0;
  ok = ok && index_file_create(0, nullptr, -1, 1, &map->index) && index_file_begin(map->index, 2) &&
       field_index_create(map->index, &map->field, type, width, 0);
  if (!ok) linktab_keymap_free(map);
  return ok ? 1 : 0;
}

void linktab_keymap_free(KeyMap* map) {
  if (map == nullptr) return;
  keybuf_free(&map->key);
  field_index_free(&map->field);
  if (map->index != nullptr) {
    while (map->index->uses > 0) index_file_end(map->index);
    index_close(map->index);
    map->index = nullptr;
  }
  if (map->key_file > 0) {
    file_close_if_open(map->key_file);
    file_delete(map->key_file);
    file_unregister(map->key_file);
    map->key_file = 0;
  }
  map->window.clear();
  map->count = 0;
}

int16_t linktab_key_window(KeyMap* map, int32_t row) {
  if (map == nullptr || map->key_width <= 0 || row < 1) return 0;
  if (row >= map->first_row && row < map->first_row + kKeyWindow) return 1;
  int32_t start = row;
  if (row > map->first_row) start = row < 5000 ? 1 : row - 5000;
  const int64_t offset = static_cast<int64_t>(start - 1) * map->key_width;
  std::fill(map->window.begin(), map->window.end(), 0);
  ++map->loads;
  map->first_row = start;
  if (offset > INT32_MAX || file_seek(map->key_file, static_cast<int32_t>(offset), 0) != offset) return 0;
  return file_read(map->key_file, map->window.data(), static_cast<int32_t>(map->window.size())) >= 0 ? 1 : 0;
}

int16_t linktab_key_add(KeyMap* map, KeyBuf* key) {
  if (map == nullptr || key == nullptr || map->key_file <= 0) return 0;
  if (!key_encode(key, nullptr)) return 0;
  const int32_t row = map->count + 1;
  const int64_t offset = static_cast<int64_t>(row - 1) * map->key_width;
  if (offset > INT32_MAX - map->key_width) return 0;
  if (file_seek(map->key_file, static_cast<int32_t>(offset), 0) != offset ||
      file_write(map->key_file, key->bytes, map->key_width) != map->key_width)
    return 0;
  map->count = row;
  write_window_slot(map, row, key->bytes);
  key->row = row;
  return field_index_insert(map->index, &map->field, key);
}

int16_t linktab_key_replace(KeyMap* map, int32_t row, KeyBuf* old_key, KeyBuf* new_key) {
  if (map == nullptr || old_key == nullptr || new_key == nullptr || row < 1 || row > map->count) return 0;
  old_key->row = row;
  new_key->row = row;
  field_index_delete(map->index, &map->field, old_key);
  if (!field_index_insert(map->index, &map->field, new_key)) return 0;
  const int64_t offset = static_cast<int64_t>(row - 1) * map->key_width;
  if (file_seek(map->key_file, static_cast<int32_t>(offset), 0) != offset ||
      file_write(map->key_file, new_key->bytes, map->key_width) != map->key_width)
    return 0;
  write_window_slot(map, row, new_key->bytes);
  return 1;
}

int16_t linktab_key_of_row(KeyMap* map, int32_t row, uint8_t* out) {
  if (map == nullptr || out == nullptr || row < 1 || row > map->count || !linktab_key_window(map, row)) return 0;
  std::memcpy(out, map->window.data() + static_cast<size_t>(row - map->first_row) * static_cast<size_t>(map->key_width),
              static_cast<size_t>(map->key_width));
  return 1;
}

int16_t linktab_set_key_column(LinkInfo* link, const FieldDef* fields, int32_t count, int32_t column) {
  if (link == nullptr || fields == nullptr || column < 0 || column >= count) return 0;
  const FieldDef* f = &fields[column];
  if (!key_type_has_key(f->value.type) || !linktab_keymap_init(&link->keys, f->value.type, f->width)) return 0;
  link->keys.column = column;
  link->keys.name = f->name;
  return 1;
}

int16_t linktab_key_add_count(KeyMap* map, const FieldDef* fields, int32_t count) {
  if (map == nullptr || !has_key_map(map) || !key_from_fields(map, fields, count, &map->key)) return 0;
  return linktab_key_add(map, &map->key);
}

std::string linktab_key_max_statement(const LinkInfo* link) {
  if (link == nullptr) return "";
  const std::string& q = link->server.quote;
  return "SELECT max(" + q + link->keys.name + q + ") from " + q + link->server.owner + q + "." + q +
         link->server.name + q + " ";
}

int16_t linktab_key_max(LinkInfo* link, Value* out) {
  if (link == nullptr || out == nullptr || link->keys.column < 0 || link->connection == nullptr) return 0;
  value_clear(out);
  // The first column of the first row is the value. The server layer runs
  // no statement here and offers no column reads, so no value comes.
  srv_execute(link->connection, linktab_key_max_statement(link).c_str());
  return 0;
}

int16_t linktab_bind_keys(LinkInfo* link) {
  if (link == nullptr || !has_key_map(&link->keys) || link->cursor.row < 1) return 0;
  KeyMap* m = &link->keys;
  std::vector<uint8_t> key(static_cast<size_t>(m->key_width));
  if (!linktab_key_of_row(m, link->cursor.row, key.data())) return 0;
  link->cursor.params.assign(1, std::move(key));
  return 1;
}
