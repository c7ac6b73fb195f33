// Map storage handle: kind dispatch, the .ID file, class counts and bounds,
// write sessions, pack, the in-memory object list and the read cursor.
#include "kernel/mapobjects/mapstore.h"

#include <cstdint>
#include <cstring>

#include "kernel/drivers/memtab.h"
#include "kernel/mapobjects/mapbytes.h"
#include "kernel/mapobjects/tablecache.h"
#include "kernel/mapobjects/mapfile_internal.h"
#include "kernel/coordsys/conv.h"
#include "kernel/runtime/cache.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/rect.h"
#include "kernel/tables/tabdef.h"

namespace {

bool file_kind(const MapStore* s) { return s->kind == MAPSTORE_FILE || s->kind == MAPSTORE_FILE2; }
void* id_data(int32_t handle) { return reinterpret_cast<void*>(static_cast<intptr_t>(handle)); }
int32_t id_handle(void* data) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(data)); }

int32_t owner_def_file(const MapStore* s) { return s->owner ? s->owner->def_file : 0; }

// ---- in-memory object list ------------------------------------------------------

// The node of a row: a row node of the in-memory table by its row number,
// any other node by its object's row.
MemRowNode* mem_find(MemRowList* list, int32_t row, int32_t* index) {
  int32_t i = 0;
  for (MemRowNode* n = list ? list->head : nullptr; n; n = n->next, ++i) {
    if (n->values ? n->row != row : (n->object.row_id != row || n->object.type == MAPOBJ_NONE)) continue;
    if (index) *index = i;
    return n;
  }
  return nullptr;
}

int16_t mem_lookup(int32_t row, int32_t* position, void* data) {
  auto* s = static_cast<MapStore*>(data);
  MemRowNode* n = mem_find(s->list, row, nullptr);
  *position = n && n->object.type != MAPOBJ_NONE ? 1 : 0;
  return static_cast<int16_t>(*position);
}

int32_t part_mask(const MapObject* o) {
  int32_t mask = 0;
  if (o->type != MAPOBJ_COLLECTION) return 0;
  if (o->u.collection.region) mask |= 1;
  if (o->u.collection.polyline) mask |= 2;
  if (o->u.collection.multipoint) mask |= 4;
  return mask;
}

// Replaces a node's object by a copy of obj with the row field r.
int16_t mem_fill(MemRowNode* node, const MapObject* obj, int32_t row) {
  mapobj_free(&node->object);
  mapobj_init(&node->object, MAPOBJ_NONE);
  if (!mapobj_copy(obj, &node->object)) {
    mapobj_free(&node->object);
    mapobj_init(&node->object, MAPOBJ_NONE);
    return 0;
  }
  node->object.row_id = row;
  return 1;
}

int16_t mem_insert(MapStore* s, const MapObject* obj, int32_t row, int32_t hint) {
  MemRowList* list = s->list;
  if (!list) return 0;
  if (hint == -3 || hint == -4) {
    // Into a row node of the in-memory table sharing the list.
    MemRowNode* n = nullptr;
    if (!(hint == -3 ? memtab_find_row(list, row, &n) : memtab_nth_row(list, row, &n)) || !n) return 0;
    return mem_fill(n, obj, n->row);
  }
  auto* node = new (std::nothrow) MemRowNode{};
  if (!node) return 0;
  node->users = 1;
  mapobj_init(&node->object, MAPOBJ_NONE);
  if (!mem_fill(node, obj, row)) {
    delete node;
    return 0;
  }
  node->row = row;
  memlist_place(list, node, hint);
  return 1;
}

// Frees a node's object; a row node of the in-memory table stays with no
// object, any other node goes.
void mem_drop(MemRowList* list, MemRowNode* n) {
  mapobj_free(&n->object);
  mapobj_init(&n->object, MAPOBJ_NONE);
  if (!n->values) {
    mapobjx_list_unlink(list, n);
    memnode_release(list, n);
  }
}

int16_t mem_delete(MapStore* s, int32_t row, int32_t* type, int32_t* mask) {
  *type = 0;
  *mask = 0;
  MemRowNode* n = mem_find(s->list, row, nullptr);
  if (!n) return 1;
  *type = n->object.type;
  *mask = part_mask(&n->object);
  mem_drop(s->list, n);
  return 1;
}

int16_t mem_update(MapStore* s, const MapObject* obj, int32_t row, int32_t hint, int32_t* type, int32_t* mask) {
  *type = 0;
  *mask = 0;
  int32_t index = 0;
  MemRowNode* n = mem_find(s->list, row, &index);
  if (!n) return mem_insert(s, obj, row, hint < -2 ? -1 : hint);
  *type = n->object.type;
  *mask = part_mask(&n->object);
  if (!mem_fill(n, obj, row)) {
    mem_drop(s->list, n);
    if (s->store_pos) s->store_pos(row, 0, s->callback_data);
    return 0;
  }
  if (hint != -2 && hint >= -1 && hint != index && !n->values) {
    mapobjx_list_unlink(s->list, n);
    memlist_place(s->list, n, hint);
  }
  return 1;
}

// Lets go of a storage's list: objects are freed, row nodes of a table
// sharing the list stay for the table, other nodes go with the list's last
// user.
void mem_close(MemRowList** list) {
  if (!*list) return;
  if ((*list)->users > 1) {
    for (MemRowNode* n = (*list)->head; n;) {
      MemRowNode* next = n->next;
      mem_drop(*list, n);
      n = next;
    }
  }
  memlist_release(list);
}

// Copies a list object into the caller's object, keeping the caller's
// buffers (grown as needed).
int16_t mem_copy_out(const MapObject* src, MapObject* dst, int16_t with_nodes) {
  void* nodes = dst->nodes;
  double* z = dst->z;
  double* m = dst->m;
  const uint32_t flags = dst->flags;
  MapHandle parts[3] = {dst->region_handle, dst->polyline_handle, dst->multipoint_handle};
  std::memcpy(dst, src, sizeof *dst);
  dst->nodes = nodes;
  dst->z = z;
  dst->m = m;
  dst->flags = flags;
  dst->region_handle = parts[0];
  dst->polyline_handle = parts[1];
  dst->multipoint_handle = parts[2];
  if (src->type == MAPOBJ_COLLECTION) {
    const MapObject* sp[3] = {src->u.collection.region, src->u.collection.polyline, src->u.collection.multipoint};
    MapObject** dp[3] = {&dst->u.collection.region, &dst->u.collection.polyline, &dst->u.collection.multipoint};
    for (int i = 0; i < 3; ++i) {
      *dp[i] = parts[i];
      if (!sp[i] || !parts[i]) {
        if (parts[i]) parts[i]->type = MAPOBJ_NONE;
        *dp[i] = sp[i] ? nullptr : parts[i];
        continue;
      }
      if (!mem_copy_out(sp[i], parts[i], with_nodes)) return 0;
    }
    return 1;
  }
  if (!with_nodes) return 1;
  int32_t nb = 0, zb = 0, mb = 0;
  mapobj_buffer_sizes(src, &nb, &zb, &mb);
  if (nb > 0 && src->nodes) {
    if (!mapobj_grow_buffer(nb, &dst->nodes, nullptr, 0)) return 0;
    std::memcpy(dst->nodes, src->nodes, static_cast<size_t>(nb));
  }
  if (zb > 0 && src->z) {
    void* b = dst->z;
    if (!mapobj_grow_buffer(zb, &b, nullptr, 0)) return 0;
    dst->z = static_cast<double*>(b);
    std::memcpy(dst->z, src->z, static_cast<size_t>(zb));
  }
  if (mb > 0 && src->m) {
    void* b = dst->m;
    if (!mapobj_grow_buffer(mb, &b, nullptr, 0)) return 0;
    dst->m = static_cast<double*>(b);
    std::memcpy(dst->m, src->m, static_cast<size_t>(mb));
  }
  return 1;
}

void zero(MapStore* s) { *s = MapStore{}; }

int16_t open_id(MapStore* s, const char* path, bool create) {
  int32_t h = s->owner && !path ? file_register_companion(s->owner->def_file, nullptr, 6)
                                : file_register(path, 6);
  if (h <= 0) return 0;
  s->id_file = h;
  if (create) {
    if (file_open_binary(h, 3, nullptr) <= 0) return 0;
    if (file_release(h) != 0) return 0;
  } else if (!file_exists(path ? path : "", 6) && path) {
    char full[kPathSize];
    file_get_path(h, full);
    err_push(4, 524, full, nullptr);
    return 0;
  }
  s->flags |= MAPSTORE_USES_ID;
  s->locate = mapid_read;
  s->store_pos = mapid_write;
  s->callback_data = id_data(h);
  return 1;
}

}  // namespace

void mapobjx_list_unlink(MemRowList* list, MemRowNode* node) {
  MemRowNode* prev = nullptr;
  for (MemRowNode* n = list->head; n; prev = n, n = n->next) {
    if (n != node) continue;
    (prev ? prev->next : list->head) = n->next;
    if (list->tail == n) list->tail = prev;
    --list->count;
    n->next = nullptr;
    return;
  }
}

void memlist_place(MemRowList* list, MemRowNode* node, int32_t hint) {
  int32_t at = hint == 0 ? 0 : (hint >= -3 && hint < 0) ? list->count : hint < 0 ? -hint : hint;
  if (at > list->count) at = list->count;
  MemRowNode* prev = nullptr;
  for (int32_t i = 0; i < at; ++i) prev = prev ? prev->next : list->head;
  node->next = prev ? prev->next : list->head;
  (prev ? prev->next : list->head) = node;
  if (!node->next) list->tail = node;
  ++list->count;
}

void memnode_release(MemRowList*, MemRowNode* node) {
  if (!node || --node->users > 0) return;
  mapobj_free(&node->object);
  delete node;
}

void memlist_release(MemRowList** list) {
  if (!*list || --(*list)->users > 0) {
    *list = nullptr;
    return;
  }
  for (MemRowNode* n = (*list)->head; n;) {
    MemRowNode* next = n->next;
    memnode_release(*list, n);
    n = next;
  }
  delete *list;
  *list = nullptr;
}

// ---- .ID file --------------------------------------------------------------------

int16_t mapid_read(int32_t row, int32_t* position, void* data) {
  *position = 0;
  const int32_t h = id_handle(data);
  if (row <= 0 || row >= kMapRowLimit) return 0;
  const int64_t off = (static_cast<int64_t>(row) - 1) * 4;
  const int32_t size = file_get_size(h);
  if (size < 0 || off + 4 > size) return 0;
  uint8_t b[4];
  if (file_seek(h, static_cast<int32_t>(off), SEEK_SET) != off || file_read(h, b, 4) != 4) return 0;
  *position = le_get32(b);
  return *position != 0;
}

int16_t mapid_write(int32_t row, int32_t position, void* data) {
  const int32_t h = id_handle(data);
  if (row <= 0 || row >= kMapRowLimit) return 0;
  const int32_t off = (row - 1) * 4;
  int32_t size = file_get_size(h);
  if (size < 0) return 0;
  static const uint8_t zeros[256] = {};
  while (size < off) {
    const int32_t n = std::min<int32_t>(256, off - size);
    if (file_seek(h, size, SEEK_SET) != size || file_write(h, zeros, n) != n) return 0;
    size += n;
  }
  uint8_t b[4];
  le_put32(b, position);
  return file_seek(h, off, SEEK_SET) == off && file_write(h, b, 4) == 4;
}

// ---- life cycle ------------------------------------------------------------------

int16_t mapstore_create(MapStore* s, int16_t kind, TableDef* owner, int ext_id, const CoordXform* xform,
                        int16_t temporary, int32_t flags, const char* path) {
  zero(s);
  s->kind = kind;
  s->owner = owner;
  if (temporary) s->flags |= MAPSTORE_TEMPORARY;
  if ((flags & 1) && !open_id(s, path, true)) {
    if (s->id_file) file_delete(s->id_file);
    mapstore_close(s);
    return 0;
  }
  bool ok = true;
  switch (kind) {
    case MAPSTORE_FILE:
    case MAPSTORE_FILE2:
      ok = mapfile_create(&s->file, &s->header, path ? 0 : owner_def_file(s), path, ext_id, xform, temporary, 0);
      break;
    case MAPSTORE_MEMORY:
      s->header.xform = *xform;
      s->list = new (std::nothrow) MemRowList{};
      ok = s->list != nullptr;
      if (ok) s->list->users = 1;
      if (ok && !(flags & 1)) mapstore_set_callbacks(s, mem_lookup, nullptr, s);
      break;
    case MAPSTORE_HEADER:
    case MAPSTORE_SERVER: s->header.xform = *xform; break;
    default: ok = false;
  }
  if (!ok) {
    if (s->id_file) file_delete(s->id_file);
    s->flags &= ~MAPSTORE_TEMPORARY;
    mapstore_close(s);
    return 0;
  }
  return 1;
}

int16_t mapstore_open(MapStore* s, int16_t kind, TableDef* owner, int32_t flags, int ext_id, const char* path) {
  zero(s);
  s->kind = kind;
  s->owner = owner;
  bool ok = !(flags & 1) || open_id(s, path, false);
  if (ok) {
    switch (kind) {
      case MAPSTORE_FILE: ok = mapfile_open(&s->file, &s->header, path ? 0 : owner_def_file(s), path, ext_id, 0); break;
      case MAPSTORE_FILE2: ok = mapfile_open(&s->file, &s->header, 0, path, ext_id, 0); break;
      case MAPSTORE_MEMORY:
        s->list = new (std::nothrow) MemRowList{};
        ok = s->list != nullptr;
        if (ok) s->list->users = 1;
        if (ok && !(flags & 1)) mapstore_set_callbacks(s, mem_lookup, nullptr, s);
        break;
      case MAPSTORE_HEADER:
      case MAPSTORE_SERVER: break;
      default: ok = false;
    }
  }
  if (!ok) {
    mapstore_close(s);
    return 0;
  }
  return 1;
}

int16_t mapstore_attach(MapStore* s, const char* path) {
  zero(s);
  const int32_t h = file_register(path, 5);
  if (h <= 0) return 0;
  s->kind = MAPSTORE_FILE;
  s->file.file = h;
  s->attached_only = 1;
  return 1;
}

void mapstore_close(MapStore* s) {
  if (!s) return;
  if (s->flags & MAPSTORE_TEMPORARY) {
    mapstore_commit_close(s);
    return;
  }
  if (s->id_file) file_unregister(s->id_file);
  if (s->cache) storage_cache_free(s);
  if (file_kind(s)) mapfile_close(&s->file);
  if (s->kind == MAPSTORE_MEMORY) mem_close(&s->list);
  zero(s);
}

int16_t mapstore_commit_close(MapStore* s) {
  int16_t ok = 1;
  char temp[kPathSize] = "";
  bool moved = false;
  if (s->id_file) {
    char dir[kPathSize];
    file_get_path(s->id_file, dir);
    if (file_temp_name(temp, dir) == 1) {
      // The reserved name is an empty file: it goes, and the .ID takes it.
      file_remove_path(temp);
      moved = file_rename(&s->id_file, temp, 0) != 0;
    }
  }
  if (file_kind(s)) ok = mapfile_close_delete(&s->file);
  else if (s->kind == MAPSTORE_MEMORY) mem_close(&s->list);
  if (s->id_file) {
    if (ok || !moved) file_delete(s->id_file);
    file_unregister(s->id_file);
    s->id_file = 0;
  } else if (temp[0]) {
    file_remove_path(temp);
  }
  s->flags &= ~MAPSTORE_TEMPORARY;
  mapstore_close(s);
  return ok;
}

int16_t mapstore_begin_access(MapStore* s, int mode) {
  if (s->id_file) {
    if (file_open_binary(s->id_file, mode, nullptr) <= 0) return 0;
    s->id_mode = static_cast<int16_t>(mode);
  }
  if (file_kind(s) && !s->attached_only) {
    int16_t changed = 0;
    if (!mapfile_acquire(&s->file, &s->header, mode, &changed)) {
      if (s->id_file) file_release(s->id_file);
      s->id_mode = 0;
      return 0;
    }
  }
  return 1;
}

int16_t mapstore_end_access(MapStore* s) {
  int16_t ok = 1;
  if (s->id_file) {
    if (s->id_mode == 2 && s->owner && s->owner->storage.row_count > 0) {
      const int32_t last = s->owner->storage.row_count;
      int32_t pos = 0;
      if (!mapid_read(last, &pos, id_data(s->id_file)) && !mapid_write(last, 0, id_data(s->id_file))) ok = 0;
    }
    if (file_release(s->id_file) != 0) ok = 0;
    s->id_mode = 0;
  }
  if (file_kind(s) && !s->attached_only && !mapfile_release(&s->file, &s->header)) ok = 0;
  return ok;
}

int16_t mapstore_rename(MapStore* s, const char* new_path, int ext_id, char* old_path) {
  char old_id[kPathSize] = "";
  if (s->id_file) {
    file_get_path(s->id_file, old_id);
    if (!file_rename(&s->id_file, new_path, 6)) return 0;
  }
  if (file_kind(s)) {
    if (!mapfile_rename(&s->file, new_path, ext_id, old_path)) {
      if (s->id_file) file_rename(&s->id_file, old_id, 6);
      return 0;
    }
    return 1;
  }
  if (old_path) old_path[0] = '\0';
  return s->kind == MAPSTORE_MEMORY;
}

int16_t mapstore_copy(MapStore* s, const char* path, int ext_id) {
  if (s->id_file) {
    const int32_t t = file_register(path, 6);
    if (t <= 0) return 0;
    const int16_t ok = file_copy(s->id_file, t, 0);
    file_unregister(t);
    if (!ok) return 0;
  }
  if (file_kind(s)) return mapfile_copy_to(&s->file, path, ext_id == -1 ? 5 : ext_id);
  return 0;
}

// ---- writes ----------------------------------------------------------------------

int16_t mapstore_begin_write(MapWriter* w, MapStore* s) {
  std::memset(w, 0, sizeof *w);
  if (file_kind(s)) return mapfile_write_begin(w, &s->file, s->header.init_node);
  return 1;
}

void mapstore_end_write(MapWriter* w, MapStore* s) {
  if (file_kind(s)) mapfile_write_end(w, &s->file);
}

static bool lacks_nodes(const MapObject* obj) {
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: return !obj->nodes || obj->u.poly.sections <= 0;
    case MAPOBJ_MULTIPOINT: return !obj->nodes || obj->u.multipoint.count <= 0;
    case MAPOBJ_TYPE11:
    case MAPOBJ_TYPE12: return !obj->nodes || obj->u.items.count == 0;
    case MAPOBJ_COLLECTION:
      return !obj->u.collection.region && !obj->u.collection.polyline && !obj->u.collection.multipoint;
    default: return false;
  }
}

static int16_t prepare(MapStore* s, const MapObject* obj, bool* skip) {
  *skip = false;
  ++s->changes;
  if (obj->type == MAPOBJ_TEXT && obj->u.text.length == 0) {
    *skip = true;
    return 1;
  }
  if (lacks_nodes(obj)) {
    err_push(4, kErrMapNoNodes, nullptr, nullptr);
    return 0;
  }
  return 1;
}

int16_t mapstore_insert_object(MapWriter* w, MapStore* s, const MapObject* obj, int32_t row, int32_t hint) {
  bool skip;
  if (!prepare(s, obj, &skip)) return 0;
  if (skip) return 1;
  int16_t ok = 0;
  if (file_kind(s)) ok = mapfile_insert_object(w, &s->file, &s->header, obj, row, s->store_pos, s->callback_data);
  else if (s->kind == MAPSTORE_MEMORY) ok = mem_insert(s, obj, row, hint);
  if (ok) mapstore_count_object(s, obj);
  return ok;
}

int16_t mapstore_delete_object(MapWriter* w, MapStore* s, int32_t row) {
  ++s->changes;
  int16_t found = 0;
  int32_t type = 0, mask = 0;
  if (file_kind(s)) {
    if (!mapfile_delete_object(w, &s->file, row, s->locate, s->callback_data, &found, &type, &mask)) return 0;
  } else if (s->kind == MAPSTORE_MEMORY) {
    if (!mem_delete(s, row, &type, &mask)) return 0;
    found = type != 0;
  } else if (s->kind != MAPSTORE_SERVER) {
    return 0;
  }
  if (s->cache) mapstore_delete_object(&s->cache->writer, &s->cache->store, row);
  if (!found) return 1;
  if (s->store_pos && !s->store_pos(row, 0, s->callback_data)) return 0;
  mapstore_adjust_class_count(s, type, mask, -1);
  s->header.changed = 1;
  return 1;
}

int16_t mapstore_update_object(MapWriter* w, MapStore* s, const MapObject* obj, int32_t row, int32_t hint) {
  bool skip;
  if (!prepare(s, obj, &skip)) return 0;
  if (skip) return 1;
  int16_t ok = 1;
  int32_t type = 0, mask = 0;
  if (file_kind(s)) {
    // The old record goes, then the new one is written for the row.
    int16_t found = 0;
    ok = mapfile_delete_object(w, &s->file, row, s->locate, s->callback_data, &found, &type, &mask);
    if (ok && found && s->store_pos) ok = s->store_pos(row, 0, s->callback_data);
    if (!found) type = 0;
    if (ok) ok = mapfile_insert_object(w, &s->file, &s->header, obj, row, s->store_pos, s->callback_data);
  } else if (s->kind == MAPSTORE_MEMORY) {
    ok = mem_update(s, obj, row, hint, &type, &mask);
  } else if (s->kind != MAPSTORE_SERVER) {
    return 0;
  }
  if (s->kind != MAPSTORE_SERVER) {
    if (type != 0) mapstore_adjust_class_count(s, type, mask, -1);
    if (ok) mapstore_count_object(s, obj);
  }
  if (s->cache) mapstore_update_object(&s->cache->writer, &s->cache->store, obj, row, hint);
  return ok;
}

void mapstore_adjust_class_count(MapStore* s, int32_t type, int32_t mask, int32_t delta) {
  MapStoreHeader& h = s->header;
  auto bump = [&](int32_t& c) { c = std::max(0, c + delta); };
  switch (type) {
    case MAPOBJ_POINT: case MAPOBJ_MULTIPOINT: bump(h.points); break;
    case MAPOBJ_LINE: case MAPOBJ_ARC: case MAPOBJ_POLYLINE: bump(h.lines); break;
    case MAPOBJ_REGION: case MAPOBJ_RECT: case MAPOBJ_ROUNDRECT: case MAPOBJ_ELLIPSE: bump(h.regions); break;
    case MAPOBJ_COLLECTION:
      if (mask & 1) bump(h.regions);
      if (mask & 2) bump(h.lines);
      if (mask & 4) bump(h.points);
      break;
    case MAPOBJ_NONE: break;
    default: bump(h.others); break;
  }
}

void mapstore_count_object(MapStore* s, const MapObject* obj) {
  MapStoreHeader& h = s->header;
  int32_t nb = 0, zb = 0, mb = 0;
  mapobj_buffer_sizes(obj, &nb, &zb, &mb);
  const bool counts = s->kind == MAPSTORE_MEMORY ||
                      (mapobj_is_small_format(obj, 1) && obj->type != MAPOBJ_MULTIPOINT && obj->type != MAPOBJ_COLLECTION);
  if (counts && nb > h.max_node) h.max_node = nb;
  if (rect_is_zero(&h.bounds)) h.bounds = obj->mbr;
  else rect_union(&h.bounds, &obj->mbr);
  int32_t mask = 0;
  if (obj->type == MAPOBJ_COLLECTION) {
    if (obj->u.collection.region && obj->u.collection.region->u.poly.sections) mask |= 1;
    if (obj->u.collection.polyline && obj->u.collection.polyline->u.poly.sections) mask |= 2;
    if (obj->u.collection.multipoint && obj->u.collection.multipoint->u.multipoint.count) mask |= 4;
  }
  mapstore_adjust_class_count(s, obj->type, mask, 1);
  h.changed = 1;
}

// ---- facts -------------------------------------------------------------------------

int16_t mapstore_get_type(const MapStore* s) { return s ? s->kind : 0; }
int32_t mapstore_file_handle(const MapStore* s) { return s && file_kind(s) ? s->file.file : 0; }
const CoordXform* mapstore_get_xform(const MapStore* s) {
  // Unknown for no storage and for a map file the table road only recorded.
  if (!s || s->kind == 0 || s->attached_only) return nullptr;
  return &s->header.xform;
}
int16_t mapstore_set_xform(MapStore* s, const CoordXform* xform) {
  if (s->kind != MAPSTORE_HEADER) return 0;
  s->header.xform = *xform;
  s->header.changed = 1;
  return 1;
}
int32_t mapstore_point_count(const MapStore* s) { return s->header.points; }
int32_t mapstore_line_count(const MapStore* s) { return s->header.lines; }
int32_t mapstore_region_count(const MapStore* s) { return s->header.regions; }
int32_t mapstore_other_count(const MapStore* s) { return s->header.others; }
int32_t mapstore_object_count(const MapStore* s) {
  if (s->kind == MAPSTORE_SERVER) return 100;
  return s->header.points + s->header.lines + s->header.regions + s->header.others;
}
void mapstore_get_bounds(const MapStore* s, IntRect* out) { *out = s->header.bounds; }
int16_t mapstore_set_bounds(MapStore* s, const IntRect* r) {
  if (s->kind != MAPSTORE_HEADER) return 0;
  s->header.bounds = *r;
  s->header.changed = 1;
  return 1;
}
void mapstore_set_callbacks(MapStore* s, MapLocateFn locate, MapStorePosFn store, void* data) {
  s->locate = locate;
  s->store_pos = store;
  s->callback_data = data;
}

int16_t mapfile_sample_bounds(MapFile* mf, IntRect* out) {
  *out = mf->bounds;
  if (mf->depth >= 2) {
    MapBlock* b = nullptr;
    if (!mapblock_alloc(mf, &b)) return 0;
    int32_t pos = mf->root;
    for (int level = 0; level < mf->depth - 1; ++level) {
      if (!mapblock_read(mf, b, pos) || le_get16(b->data) != MAPBLOCK_INDEX) break;
      const int n = le_get16(b->data + 2);
      if (n <= 0 || n > (mf->block_size - 4) / 20) break;
      const uint8_t* e = b->data + 4 + 20 * (n / 2);
      *out = IntRect{le_get32(e), le_get32(e + 4), le_get32(e + 8), le_get32(e + 12)};
      pos = le_get32(e + 16);
    }
    mapblock_free(&b);
  }
  return !rect_is_zero(out);
}

int16_t mapstore_data_bounds(MapStore* s, IntRect* out) {
  bool found = false;
  if (file_kind(s) && !s->attached_only) found = mapfile_sample_bounds(&s->file, out);
  else if (!rect_is_zero(&s->header.bounds)) {
    *out = s->header.bounds;
    found = true;
  }
  if (!found) *out = IntRect{-1000000, -1000000, 1000000, 1000000};
  return 1;
}

// ---- pack --------------------------------------------------------------------------

// Copies every live object into a new file under a temporary name: by row
// through the .ID (the record each entry names), else in search order; the
// new file then takes the old one's place.
int16_t mapstore_pack(MapStore* s) {
  if (!file_kind(s) || s->attached_only) return 0;
  char dir[kPathSize], temp[kPathSize], temp_id[kPathSize] = "", old_path[kPathSize], old_id[kPathSize] = "";
  file_get_path(s->file.file, old_path);
  std::strcpy(dir, old_path);
  if (file_temp_name(temp, dir) != 1) return 0;
  MapStore fresh;
  int16_t ok = mapstore_create(&fresh, MAPSTORE_FILE2, nullptr, 0, &s->header.xform, 0, 0, temp);
  int32_t new_id = 0;
  if (ok && s->id_file) {
    file_get_path(s->id_file, old_id);
    ok = file_temp_name(temp_id, dir) == 1;
    if (ok) {
      new_id = file_register(temp_id, 0);
      ok = new_id > 0 && file_open_binary(new_id, 2, nullptr) > 0;
      if (ok) mapstore_set_callbacks(&fresh, nullptr, mapid_write, id_data(new_id));
    }
  }
  ok = ok && mapstore_begin_access(s, 1) && mapstore_begin_access(&fresh, 2);
  if (ok) {
    MapWriter w;
    MapCursor c;
    ok = mapstore_begin_write(&w, &fresh) && mapstore_cursor_open(&c, s);
    MapObject obj;
    mapobj_init(&obj, MAPOBJ_NONE);
    if (ok && s->id_file) {
      const int32_t rows = file_get_size(s->id_file) / 4;
      for (int32_t row = 1; ok && row <= rows; ++row) {
        err_clear();
        if (!mapstore_cursor_fetch(&c, s, row, 1, &obj, nullptr)) continue;
        ok = mapstore_insert_object(&w, &fresh, &obj, row, -1);
      }
      if (ok && rows > 0) ok = mapid_write(rows, [&] {
        int32_t p = 0;
        mapid_read(rows, &p, id_data(new_id));
        return p;
      }(), id_data(new_id));
    } else if (ok) {
      while (ok && mapstore_cursor_next(&c, s, 1, &obj, nullptr)) ok = mapstore_insert_object(&w, &fresh, &obj, obj.row_id, -1);
    }
    mapstore_cursor_close(&c, s);
    mapobj_free(&obj);
    mapstore_end_write(&w, &fresh);
    fresh.header.rect2 = s->header.rect2;
    std::memcpy(fresh.header.zm_block, s->header.zm_block, 32);
    fresh.header.changed = 1;
    if (!mapstore_end_access(&fresh)) ok = 0;
    if (!mapstore_end_access(s)) ok = 0;
  }
  if (new_id) file_release(new_id);
  if (!ok) {
    mapfile_close_delete(&fresh.file);
    if (new_id) {
      file_delete(new_id);
      file_unregister(new_id);
    }
    return 0;
  }
  // The new file takes the old one's place (and the new .ID the old .ID's);
  // every cached block reaches the disk first.
  mapfile_close(&fresh.file);
  mapfile_close(&s->file);
  if (new_id) {
    file_close(new_id);
    file_unregister(new_id);
    cache_flush_drop(s->id_file);
    file_close(s->id_file);
  }
  ok = file_rename_path(temp, old_path) == 0;
  if (ok && new_id) ok = file_rename_path(temp_id, old_id) == 0;
  MapStoreHeader keep = s->header;
  if (ok) ok = mapfile_open(&s->file, &s->header, 0, old_path, 0, 0);
  if (!ok) s->header = keep;
  return ok;
}

// ---- read cursor -------------------------------------------------------------------

int32_t g_kernel_symbol_size = 0;

int16_t mapcursor_area_filter(const IntRect* rect, int16_t flag, void* context) {
  const auto* f = static_cast<const MapAreaFilter*>(context);
  if (!rect_overlaps(rect, &f->area)) return 0;
  if (flag == 1 || !f->clip) return 1;
  // The storage bounds meet the clip when their device rectangle, widened
  // by the tolerances, does.
  IntRect device = *rect;
  if (f->conv) conv_map_rect_to_device_clamped(rect, &device, f->conv);
  rect_inflate_clamped(&device, f->tol_x, f->tol_y);
  return kernel_rect_in_clip(&device);
}

void mapcursor_set_filter(MapCursor* c, MapFilterFn filter, void* data) {
  c->filter = filter;
  c->filter_data = data;
}

int16_t mapstore_cursor_open(MapCursor* c, MapStore* s) {
  std::memset(c, 0, sizeof *c);
  c->changes = s->changes;
  c->flags = 1;
  c->capacity = std::min<int64_t>(std::max(s->header.init_node, 4), 0x3fffffff);
  static const int kTypes[3] = {MAPOBJ_REGION, MAPOBJ_POLYLINE, MAPOBJ_MULTIPOINT};
  bool ok = mem_alloc_zeroed(c->capacity, &c->nodes, nullptr);
  for (int i = 0; ok && i < 3; ++i) ok = mapobj_new(nullptr, &c->parts[i], kTypes[i], 0);
  if (ok && file_kind(s)) ok = mapfile_search_begin(&c->search, &s->file);
  if (ok && s->kind == MAPSTORE_MEMORY) c->node = s->list ? s->list->head : nullptr;
  if (!ok) {
    mapstore_cursor_close(c, s);
    return 0;
  }
  c->open = 1;
  return 1;
}

namespace {

// The pixel tolerance of an area cursor: 7 times the symbol-size setting,
// or for point objects the default symbol's size in pixels when larger.
void pixel_tolerance(const MapStore* s, int32_t* tx, int32_t* ty) {
  int32_t base = g_kernel_symbol_size > 0 ? 7 * g_kernel_symbol_size : 7;
  *tx = *ty = base;
  if (s->header.points > 0) {
    const int32_t px = g_default_style_set.symbol.size * 240 / 144 + 1;
    *tx = std::max(*tx, px);
    *ty = std::max(*ty, px);
  }
}

int16_t open_area(MapCursor* c, MapStore* s, const IntRect* area, const void* clip, int16_t tolerance,
                  const CoordConv* conv, bool fill_always) {
  bool fill = false;
  int16_t ok;
  if (s->cache && storage_cache_covers(s, area)) {
    ok = storage_cache_cursor_init(s, c);
  } else {
    fill = s->cache && !storage_cache_in_use(s);
    ok = mapstore_cursor_open(c, s);
  }
  if (!ok) return 0;
  auto* f = static_cast<MapAreaFilter*>(nullptr);
  void* block = nullptr;
  if (!mem_alloc_zeroed(sizeof(MapAreaFilter), &block, nullptr)) {
    mapstore_cursor_close(c, s);
    return 0;
  }
  f = static_cast<MapAreaFilter*>(block);
  f->clip = clip;
  f->area = *area;
  f->conv = conv;
  if (tolerance && conv) {
    pixel_tolerance(s, &f->tol_x, &f->tol_y);
    rect_inflate_clamped(&f->area, conv_device_dx_to_map(f->tol_x, conv), conv_device_dy_to_map(f->tol_y, conv));
  }
  c->area = f;
  mapcursor_set_filter(c, mapcursor_area_filter, f);
  if ((fill || (fill_always && s->cache && !c->read_through && !storage_cache_in_use(s))) &&
      !storage_cache_fill(s, area)) {
    // The cache keeps its filling flag until released; the cursor reads the
    // storage itself all the same.
    err_clear();
  }
  return 1;
}

}  // namespace

int16_t mapcursor_open_area(MapCursor* c, MapStore* s, const IntRect* area, const void* clip, int16_t tolerance,
                            const CoordConv* conv) {
  return open_area(c, s, area, clip, tolerance, conv, false);
}

int16_t mapcursor_open_area_fill(MapCursor* c, MapStore* s, const IntRect* area, const void* clip,
                                 int16_t tolerance, const CoordConv* conv) {
  return open_area(c, s, area, clip, tolerance, conv, true);
}

void mapstore_cursor_close(MapCursor* c, MapStore* s) {
  if (c->read_through && s->cache) {
    c->read_through = 0;
    storage_cache_cursor_close(s, c);
    return;
  }
  if (file_kind(s)) mapfile_search_end(&c->search, &s->file);
  if (c->open && s->cache && storage_cache_filling(s)) storage_cache_release(s);
  mem_free(&c->nodes);
  void* z = c->z;
  void* m = c->m;
  void* area = c->area;
  mem_free(&z);
  mem_free(&m);
  mem_free(&area);
  for (auto& p : c->parts) mapobj_destroy(&p);
  std::memset(c, 0, sizeof *c);
}

namespace {

void lend(MapCursor* c, MapObject* obj, int16_t with_buffers) {
  if (obj->type == MAPOBJ_NONE && !(obj->flags & MAPOBJ_BORROWED) && (obj->nodes || obj->z || obj->m)) {
    mapobj_free(obj);
  }
  obj->flags = (obj->flags | MAPOBJ_BORROWED) & ~MAPOBJ_LOCKED;
  obj->nodes = with_buffers ? c->nodes : nullptr;
  obj->z = with_buffers ? c->z : nullptr;
  obj->m = with_buffers ? c->m : nullptr;
  obj->region_handle = c->parts[0];
  obj->polyline_handle = c->parts[1];
  obj->multipoint_handle = c->parts[2];
}

void adopt(MapCursor* c, MapObject* obj, int16_t with_buffers) {
  if (!with_buffers) return;
  if (obj->nodes != c->nodes) {
    c->nodes = obj->nodes;
    c->capacity = static_cast<int64_t>(mem_size(c->nodes));
  }
  c->z = obj->z;
  c->m = obj->m;
}

}  // namespace

int16_t mapstore_cursor_next(MapCursor* c, MapStore* s, int16_t with_buffers, MapObject* obj, int32_t* position) {
  if (c->read_through && s->cache) return storage_cache_fetch_next(s, c, with_buffers, obj, position);
  if (!c->open || s->changes > c->changes) return 0;
  if (c->flags & 1) {
    c->flags &= ~1u;
    IntRect b;
    mapstore_get_bounds(s, &b);
    if (c->filter && !c->filter(&b, 0, c->filter_data)) return 0;
  }
  lend(c, obj, with_buffers);
  int16_t ok = 0;
  if (file_kind(s)) {
    ok = mapfile_search_next(&c->search, &s->file, with_buffers, c->filter, c->filter_data, obj, position);
  } else if (s->kind == MAPSTORE_MEMORY) {
    for (; c->node; c->node = c->node->next, ++c->node_index) {
      const MapObject& o = c->node->object;
      if (o.type == MAPOBJ_NONE) continue;
      if (c->filter && !c->filter(&o.mbr, 1, c->filter_data)) continue;
      ok = mem_copy_out(&o, obj, with_buffers);
      if (position) *position = c->node_index;
      c->node = c->node->next;
      ++c->node_index;
      break;
    }
  }
  adopt(c, obj, with_buffers);
  if (ok && s->cache && storage_cache_filling(s)) {
    // An object read without its nodes cannot be cached: the cache then
    // claims no area.
    if (with_buffers) storage_cache_add(s, obj);
    else storage_cache_reset_area(s);
  }
  return ok;
}

int16_t mapstore_cursor_fetch(MapCursor* c, MapStore* s, int32_t row, int16_t with_buffers, MapObject* obj,
                              int32_t* position) {
  if (!c->open) return 0;
  if (s->cache && storage_cache_fetch_by_id(s, c, row, with_buffers, obj, position)) return 1;
  if (c->read_through) return 0;
  lend(c, obj, with_buffers);
  int16_t ok = 0;
  if (file_kind(s)) {
    int code = 0;
    ok = mapfile_read_object(&c->search, &s->file, row, with_buffers, s->locate, s->callback_data, c->filter,
                             c->filter_data, obj, &code);
    if (ok && position) s->locate(row, position, s->callback_data);
  } else if (s->kind == MAPSTORE_MEMORY) {
    int32_t index = 0;
    MemRowNode* n = mem_find(s->list, row, &index);
    if (n && n->object.type != MAPOBJ_NONE && !(c->filter && !c->filter(&n->object.mbr, 1, c->filter_data))) {
      ok = mem_copy_out(&n->object, obj, with_buffers);
      if (position) *position = index;
    }
  }
  adopt(c, obj, with_buffers);
  return ok;
}

int16_t mapstore_rebuild_index(MapStore* s, int32_t, int32_t) {
  if (!mapstore_begin_access(s, 1)) return 0;
  MapCursor c;
  const int16_t ok = mapstore_cursor_open(&c, s);
  // Map files and object lists keep their index as they write: the
  // rebuild step has nothing to do.
  if (ok) mapstore_cursor_close(&c, s);
  return static_cast<int16_t>(mapstore_end_access(s) && ok);
}
