// The ODBC-linked table type: link settings, the definition's Type clause
// and metadata, the driver entries and the key map.
#include "kernel/tables/odbctype.h"

#include <algorithm>
#include <cstring>
#include <new>

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

int16_t odbctype_begin_access(StorageDesc*, int16_t, int16_t*) { return 1; }
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

int16_t odbctype_delete_true(StorageDesc*, int32_t) { return 1; }

int16_t odbctype_commit(LinkInfo* link) {
  if (link == nullptr) return 0;
  link->pending = 0;
  return 1;
}

int16_t odbctype_rollback(StorageDesc* s) {
  LinkInfo* link = linktab_of(s);
  if (link == nullptr) return 0;
  if (link->pending > 0) {
    s->row_count -= link->pending;
    link->rows_seen -= link->pending;
    link->pending = 0;
  }
  return 1;
}

int16_t linktab_fetch_stub(LinkInfo*) { return 0; }
int16_t linktab_filter_stub(LinkInfo*) { return 0; }

const TabTypeDriver kOdbcDriver = {nullptr,          odbctype_open,      odbctype_describe,    odbctype_begin_access,
                                   odbctype_end_access, odbctype_close, odbctype_read_row,    nullptr,
                                   nullptr,          odbctype_delete_true, nullptr,           nullptr};

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
  if (row >= map->first_row && row < map->first_row + kKeyWindow)
    std::memcpy(map->window.data() + static_cast<size_t>(row - map->first_row) * static_cast<size_t>(map->key_width),
                key->bytes, static_cast<size_t>(map->key_width));
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
  if (row >= map->first_row && row < map->first_row + kKeyWindow)
    std::memcpy(map->window.data() + static_cast<size_t>(row - map->first_row) * static_cast<size_t>(map->key_width),
                new_key->bytes, static_cast<size_t>(map->key_width));
  return 1;
}

int16_t linktab_key_of_row(KeyMap* map, int32_t row, uint8_t* out) {
  if (map == nullptr || out == nullptr || row < 1 || row > map->count || !linktab_key_window(map, row)) return 0;
  std::memcpy(out, map->window.data() + static_cast<size_t>(row - map->first_row) * static_cast<size_t>(map->key_width),
              static_cast<size_t>(map->key_width));
  return 1;
}
