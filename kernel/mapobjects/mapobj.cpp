// Map object records: life cycle, buffers, sizes, storage classes, type
// predicates, centres, text strings, curve resolution and the work buffer.
// See mapobj.h.
#include "kernel/mapobjects/mapobj.h"

#include <cassert>
#include <cmath>
#include <cstring>

#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/mapobjects/objrec.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/value.h"

void* mapobj_work_buffer = nullptr;

namespace {

struct MapObjState {
  int32_t resolution = 100;
  const MapObject* work_user = nullptr;  // the object last put on the work buffer
};
MapObjState g_state;

constexpr int64_t kBufferLimit = 0x3fffffff;

int16_t on_work_buffer(const MapObject* obj) {
  return obj->nodes != nullptr && obj->nodes == mapobj_work_buffer;
}

// Node bytes of the types whose node buffer is a plain array or a string.
int64_t own_node_bytes(const MapObject* obj) {
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: return obj->u.poly.size;
    case MAPOBJ_TEXT: return static_cast<int64_t>(obj->u.text.length) + 1;
    case MAPOBJ_TYPE11: return 12LL * obj->u.items.count;
    case MAPOBJ_TYPE12: return 24LL * obj->u.items.count;
    case MAPOBJ_MULTIPOINT: return 8LL * obj->u.multipoint.count;
    default: return 0;
  }
}

int64_t node_total(const MapObject* obj) {
  if (obj->type == MAPOBJ_MULTIPOINT) return obj->u.multipoint.count;
  if (obj->type == MAPOBJ_POLYLINE || obj->type == MAPOBJ_REGION)
    return (static_cast<int64_t>(obj->u.poly.size) - 28LL * obj->u.poly.sections) / 8;
  return 0;
}

int32_t clamp32(int64_t v) { return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v); }

MapObject* const* part_slot(const MapObject* obj, int i) {
  const MapObject* const* parts[3] = {&obj->u.collection.region, &obj->u.collection.polyline,
                                      &obj->u.collection.multipoint};
  return const_cast<MapObject* const*>(parts[i]);
}

MapHandle* handle_slot(MapObject* obj, int i) {
  MapHandle* handles[3] = {&obj->region_handle, &obj->polyline_handle, &obj->multipoint_handle};
  return handles[i];
}

const ValueObjectOps kValueOps = {
    sizeof(MapObject),
    mapobj_copy,
    mapobj_free,
    mapobj_buffer_sizes,
};

}  // namespace

const StyleSet g_default_style_set = [] {
  StyleSet s;
  std::memset(&s, 0, sizeof s);
  s.line_pen = {1, 2, 0, 0};
  s.area_pen = {1, 2, 0, 0};
  s.brush.pattern = 2;
  s.brush.fore = 0xFFFFFF;
  s.brush.back = 0xFFFFFF;
  s.brush.transparent = 0;
  s.symbol.shape = 32;
  s.symbol.colour = 0;
  s.symbol.size = 9;
  s.symbol.kind = 0;
  return s;
}();

double mapobj_null_zm() {
  uint64_t bits = 0x7FFFFFFFFFFFFFFFULL;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

int16_t mapobj_zm_is_null(double v) { return std::isnan(v) ? 1 : 0; }

// ---- runtime ---------------------------------------------------------------

int16_t mapobj_runtime_start() {
  if (!mapobj_work_buffer && !mem_alloc_zeroed(kMapWorkBufferSize, &mapobj_work_buffer)) return 0;
  value_set_object_ops(&kValueOps);
  return 1;
}

void mapobj_runtime_end() {
  g_state.work_user = nullptr;
  mem_free(&mapobj_work_buffer);
  objrec_free_buffers();
}

void mapobj_state_reset() {
  g_state = MapObjState{};
  mapobj_sections_state_reset();
}

// ---- life cycle ------------------------------------------------------------

void mapobj_init(MapObject* obj, int32_t type) {
  if (g_state.work_user == obj) g_state.work_user = nullptr;
  std::memset(obj, 0, sizeof *obj);
  obj->type = static_cast<uint8_t>(type);
  obj->pen = g_default_style_set.line_pen;
  obj->brush = g_default_style_set.brush;
}

void mapobj_set_type(MapObject* obj, int32_t type) {
  obj->type = static_cast<uint8_t>(type);
  obj->has_z = 0;
  obj->has_m = 0;
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION:
      obj->u.poly.sections = 0;
      obj->u.poly.size = 0;
      obj->u.poly.line_flags &= ~1u;
      break;
    case MAPOBJ_TEXT: obj->u.text.length = 0; break;
    case MAPOBJ_MULTIPOINT: obj->u.multipoint.count = 0; break;
    case MAPOBJ_COLLECTION:
      obj->u.collection.region = obj->u.collection.polyline = obj->u.collection.multipoint = nullptr;
      break;
    default: break;
  }
}

void mapobj_retype_keep_nodes(MapObject* obj) {
  void* nodes = obj->nodes;
  mapobj_set_type(obj, obj->type);
  obj->nodes = nodes;
}

int16_t mapobj_reset_type(MapObject* obj, int32_t type, int16_t use_work_buffer) {
  mapobj_set_type(obj, type);
  if (use_work_buffer) {
    if (mapobj_owns_nodes(obj)) mem_free(&obj->nodes);
    assert((!g_state.work_user || g_state.work_user == obj || !mapobj_work_buffer ||
            g_state.work_user->nodes != mapobj_work_buffer) &&
           "a second object on the work buffer");
    obj->nodes = mapobj_work_buffer;
    g_state.work_user = obj;
    return 1;
  }
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION:
    case MAPOBJ_TEXT:
    case MAPOBJ_TYPE11:
    case MAPOBJ_TYPE12:
    case MAPOBJ_MULTIPOINT:
    case MAPOBJ_COLLECTION:
      obj->flags &= ~(MAPOBJ_BORROWED | MAPOBJ_LOCKED);
      if (on_work_buffer(obj)) return 1;
      if (!obj->nodes) return mem_alloc_zeroed(1, &obj->nodes);
      return mem_realloc(1, &obj->nodes, nullptr);
    default: return 1;
  }
}

int16_t mapobj_new(MapHandle* handle_out, MapObject** pointer_out, int32_t type, int16_t use_work_buffer) {
  if (handle_out) *handle_out = nullptr;
  if (pointer_out) *pointer_out = nullptr;
  MapObject* obj = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(MapObject)), &obj)) return 0;
  if (!mapobj_reset_type(obj, type, use_work_buffer)) {
    mem_free(&obj);
    return 0;
  }
  mapobj_apply_style_set(obj, &g_default_style_set);
  if (handle_out) *handle_out = obj;
  if (pointer_out) *pointer_out = obj;
  return 1;
}

int16_t mapobj_copy(const MapObject* src, MapObject* dst) {
  std::memcpy(dst, src, sizeof *dst);
  int32_t node_bytes = 0, z_bytes = 0, m_bytes = 0;
  int32_t have = mapobj_buffer_sizes(src, &node_bytes, &z_bytes, &m_bytes);
  dst->flags &= ~(MAPOBJ_BORROWED | MAPOBJ_LOCKED);
  dst->nodes = nullptr;
  dst->z = dst->m = nullptr;
  dst->region_handle = dst->polyline_handle = dst->multipoint_handle = nullptr;
  if (src->type == MAPOBJ_COLLECTION) {
    dst->u.collection.region = dst->u.collection.polyline = dst->u.collection.multipoint = nullptr;
    for (int i = 0; i < 3; ++i) {
      const MapObject* part = *part_slot(src, i);
      if (!part || mapobj_is_empty(part)) continue;
      MapObject* copy = nullptr;
      if (!mapobj_new(nullptr, &copy, MAPOBJ_NONE, 0)) return 0;
      if (!mapobj_copy(part, copy)) {
        mapobj_destroy(&copy);
        return 0;
      }
      *handle_slot(dst, i) = copy;
      *const_cast<MapObject**>(part_slot(dst, i)) = copy;
    }
    return 1;
  }
  if (!have) return 1;
  if (!mem_alloc_zeroed(node_bytes, &dst->nodes)) return 0;
  if (!src->nodes) return 0;
  std::memcpy(dst->nodes, src->nodes, static_cast<size_t>(node_bytes));
  double** arrays[2] = {&dst->z, &dst->m};
  double* const sources[2] = {src->z, src->m};
  const int16_t carries[2] = {src->has_z, src->has_m};
  const int32_t bytes[2] = {z_bytes, m_bytes};
  for (int i = 0; i < 2; ++i) {
    if (!carries[i] || !sources[i] || bytes[i] <= 0) continue;
    if (!mem_alloc_zeroed(bytes[i], arrays[i])) return 0;
    std::memcpy(*arrays[i], sources[i], static_cast<size_t>(bytes[i]));
  }
  return 1;
}

MapObject* mapobj_dup_ex(const MapObject* src, int16_t use_work_buffer) {
  MapObject* obj = nullptr;
  if (!mapobj_new(nullptr, &obj, MAPOBJ_NONE, use_work_buffer)) return nullptr;
  void* work = obj->nodes == mapobj_work_buffer ? obj->nodes : nullptr;
  if (!work) mem_free(&obj->nodes);
  if (!mapobj_copy(src, obj)) {
    mapobj_destroy(&obj);
    return nullptr;
  }
  return obj;
}

MapObject* mapobj_dup(const MapObject* src) { return mapobj_dup_ex(src, 0); }

MapObject* mapobj_clone_shallow(const MapObject* src) {
  MapObject* obj = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(MapObject)), &obj)) return nullptr;
  std::memcpy(obj, src, sizeof *obj);
  return obj;
}

static void free_arrays(MapObject* obj) {
  if (obj->flags & MAPOBJ_BORROWED) {
    obj->z = obj->m = nullptr;
    return;
  }
  mem_free(&obj->z);
  mem_free(&obj->m);
  if (obj->type == MAPOBJ_COLLECTION) {
    for (int i = 0; i < 3; ++i) {
      MapHandle* h = handle_slot(obj, i);
      if (*h) {
        mapobj_unlock(*h);
        mapobj_destroy(h);
      }
      *const_cast<MapObject**>(part_slot(obj, i)) = nullptr;
    }
  }
}

// Parts before buffers, buffers before the record.
void mapobj_free(MapObject* obj) {
  if (!obj) return;
  if (g_state.work_user == obj) g_state.work_user = nullptr;
  bool owns = mapobj_owns_nodes(obj);
  free_arrays(obj);
  if (owns) mem_free(&obj->nodes);
}

int16_t mapobj_destroy(MapHandle* handle) {
  if (!handle || !*handle) return 0;
  MapObject* obj = *handle;
  mapobj_free(obj);
  mem_free(&obj);
  *handle = nullptr;
  return 1;
}

int16_t mapobj_destroy_shared(MapHandle* handle, MapObject* sharer) {
  if (!handle || !*handle) return 0;
  if (sharer) sharer->nodes = nullptr;
  return mapobj_destroy(handle);
}

MapObject* mapobj_lock(MapHandle handle) { return handle; }

int16_t mapobj_unlock(MapHandle handle) { return handle ? 1 : 0; }

void mapobj_save_buffers(const MapObject* obj, BufferState* state) {
  state->nodes = obj->nodes;
  state->flags = obj->flags & (MAPOBJ_BORROWED | MAPOBJ_LOCKED);
  state->region = obj->region_handle;
  state->polyline = obj->polyline_handle;
  state->multipoint = obj->multipoint_handle;
  state->z = obj->z;
  state->m = obj->m;
}

void mapobj_restore_buffers(MapObject* obj, const BufferState* state) {
  obj->nodes = state->nodes;
  obj->flags = (obj->flags & ~(MAPOBJ_BORROWED | MAPOBJ_LOCKED)) | (state->flags & (MAPOBJ_BORROWED | MAPOBJ_LOCKED));
  obj->region_handle = state->region;
  obj->polyline_handle = state->polyline;
  obj->multipoint_handle = state->multipoint;
  obj->z = state->z;
  obj->m = state->m;
}

// ---- buffers ---------------------------------------------------------------

int16_t mapobj_ensure_buffer(int64_t size, void** buffer_ref, void*) {
  if (size < 0) return 0;
  bool work = *buffer_ref != nullptr && *buffer_ref == mapobj_work_buffer;
  if (!mem_ensure(size, buffer_ref, nullptr, 1)) return 0;
  if (work) mapobj_work_buffer = *buffer_ref;
  return 1;
}

int16_t mapobj_grow_buffer(int64_t size, void** buffer_ref, void* aux, int16_t) {
  if (size > kBufferLimit) return 0;
  return mapobj_ensure_buffer(size, buffer_ref, aux);
}

int16_t mapobj_owns_nodes(const MapObject* obj) {
  return obj->nodes && !(obj->flags & MAPOBJ_BORROWED) && !on_work_buffer(obj);
}

int16_t mapobj_owns_buffers(const MapObject* obj) { return (obj->flags & MAPOBJ_BORROWED) ? 0 : 1; }

int16_t mapobj_nodes_writable(const MapObject* obj) {
  return obj->nodes && !(obj->flags & MAPOBJ_LOCKED);
}

void* mapobj_node_data(const MapObject* obj) { return obj->nodes; }

int16_t mapobj_has_node_data(const MapObject* obj) { return obj->nodes ? 1 : 0; }

int32_t mapobj_buffer_sizes(const MapObject* obj, int32_t* node_bytes, int32_t* z_bytes, int32_t* m_bytes) {
  int64_t node = 0, z = 0, m = 0;
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION:
    case MAPOBJ_MULTIPOINT:
      node = own_node_bytes(obj);
      if (obj->has_z) z = 8 * node_total(obj);
      if (obj->has_m) m = 8 * node_total(obj);
      break;
    case MAPOBJ_TEXT:
      if (node_bytes) *node_bytes = clamp32(own_node_bytes(obj));
      return 1;
    case MAPOBJ_TYPE11:
    case MAPOBJ_TYPE12: node = own_node_bytes(obj); break;
    case MAPOBJ_COLLECTION:
      for (int i = 0; i < 3; ++i) {
        const MapObject* part = *part_slot(obj, i);
        if (!part) continue;
        int32_t a = 0, b = 0, c = 0;
        mapobj_buffer_sizes(part, &a, &b, &c);
        node += a, z += b, m += c;
      }
      break;
    default:
      if (node_bytes) *node_bytes = 0;
      return 0;
  }
  if (node_bytes) *node_bytes = clamp32(node);
  if (z_bytes) *z_bytes = clamp32(z);
  if (m_bytes) *m_bytes = clamp32(m);
  return 1;
}

int64_t mapobj_storage_class(const MapObject* obj, int16_t* class_out, int16_t ignore_zm) {
  int16_t cls = MAPOBJ_CLASS_CLASSIC;
  int64_t size = own_node_bytes(obj);
  bool zm = !ignore_zm && (obj->has_z || obj->has_m);
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: {
      int64_t n = obj->u.poly.sections;
      int64_t subtract = 0;
      cls = MAPOBJ_CLASS_LARGE;
      if (static_cast<uint32_t>(size - 4 * n) <= 0x3fff8u && n <= 2730) {
        cls = MAPOBJ_CLASS_CLASSIC;
        subtract = 4 * n;
      }
      if (size - subtract > 0x7fffff || n > 0x7fff) {
        cls = MAPOBJ_CLASS_EXTENDED;
        subtract = 0;
      }
      if (zm) cls = MAPOBJ_CLASS_EXTENDED;
      size -= subtract;
      break;
    }
    case MAPOBJ_MULTIPOINT:
      cls = (size > 0x7fffff || zm) ? MAPOBJ_CLASS_EXTENDED : MAPOBJ_CLASS_LARGE;
      break;
    case MAPOBJ_COLLECTION:
      size = 0;
      cls = MAPOBJ_CLASS_LARGE;
      for (int i = 0; i < 3; ++i) {
        const MapObject* part = *part_slot(obj, i);
        if (!part) continue;
        int16_t part_class = 0;
        size += own_node_bytes(part);
        if (!mapobj_is_empty(part)) {
          mapobj_storage_class(part, &part_class, ignore_zm);
          if (part_class == MAPOBJ_CLASS_EXTENDED) cls = MAPOBJ_CLASS_EXTENDED;
        }
      }
      break;
    default: break;
  }
  if (class_out) *class_out = cls;
  return size;
}

int16_t mapobj_is_small_format(const MapObject* obj, int16_t ignore_zm) {
  int16_t c = 0;
  mapobj_storage_class(obj, &c, ignore_zm);
  return c == MAPOBJ_CLASS_CLASSIC;
}

int16_t mapobj_is_large_format(const MapObject* obj, int16_t ignore_zm) {
  int16_t c = 0;
  mapobj_storage_class(obj, &c, ignore_zm);
  return c == MAPOBJ_CLASS_LARGE;
}

// ---- type predicates -------------------------------------------------------

int16_t mapobj_is_multi(const MapObject* obj) { return obj->type == 13 || obj->type == 14; }
int16_t mapobj_is_area_kind(const MapObject* obj) { return obj->type >= 5 && obj->type <= 9; }
int16_t mapobj_is_linear_kind(const MapObject* obj) { return obj->type >= 2 && obj->type <= 4; }
int16_t mapobj_is_point_kind(const MapObject* obj) { return obj->type == 1 || obj->type == 13; }
int16_t mapobj_is_closed_kind(const MapObject* obj) { return obj->type >= 5 && obj->type <= 10; }
int16_t mapobj_has_coords_kind(const MapObject* obj) {
  return (obj->type >= 2 && obj->type <= 9) || obj->type == 13 || obj->type == 14;
}
int16_t mapobj_has_own_styles_kind(const MapObject* obj) {
  switch (obj->type) {
    case 1: case 6: case 10: case 13: case 14: return 0;
    default: return 1;
  }
}
int16_t mapobj_is_collectable(const MapObject* obj) {
  return (obj->type >= 1 && obj->type <= 9) || obj->type == 13;
}

int16_t mapobj_is_empty(const MapObject* obj) {
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: return obj->u.poly.sections == 0;
    case MAPOBJ_MULTIPOINT: return obj->u.multipoint.count == 0;
    case MAPOBJ_COLLECTION:
      for (int i = 0; i < 3; ++i) {
        const MapObject* part = *part_slot(obj, i);
        if (part && own_node_bytes(part) > 0) return 0;
      }
      return 1;
    default: return 0;
  }
}

static int16_t zm_flag(const MapObject* obj, bool z) {
  switch (obj->type) {
    case MAPOBJ_POINT:
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION:
    case MAPOBJ_MULTIPOINT: return (z ? obj->has_z : obj->has_m) ? 1 : 0;
    case MAPOBJ_COLLECTION:
      for (int i = 0; i < 3; ++i) {
        const MapObject* part = *part_slot(obj, i);
        if (part && zm_flag(part, z)) return 1;
      }
      return 0;
    default: return 0;
  }
}

int16_t mapobj_has_z(const MapObject* obj) { return zm_flag(obj, true); }
int16_t mapobj_has_m(const MapObject* obj) { return zm_flag(obj, false); }

int16_t mapobj_has_point_pen(const MapObject* obj) {
  switch (obj->type) {
    case 2: case 3: case 4: case 6:
    case 5: case 7: case 8: case 9: case 10: return obj->pen.width >= 10;
    case MAPOBJ_COLLECTION: {
      const MapObject* parts[2] = {obj->u.collection.polyline, obj->u.collection.region};
      for (const MapObject* part : parts)
        if (part && part->pen.width >= 10) return 1;
      return 0;
    }
    default: return 0;
  }
}

// ---- points of reference ---------------------------------------------------

void mapobj_get_centroid(const MapObject* obj, IntPoint* out) {
  switch (obj->type) {
    case MAPOBJ_POINT: *out = obj->u.point.location; break;
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION:
    case MAPOBJ_MULTIPOINT:
    case MAPOBJ_COLLECTION:
      out->x = out->y = 0;
      mapobjx_get_property(const_cast<MapObject*>(obj), OBJPROP_CENTER, out);
      break;
    case MAPOBJ_TEXT: rect_center(&obj->u.text.box, out); break;
    default: rect_center(&obj->mbr, out); break;
  }
}

void mapobj_get_centroid_mbr(const MapObject* obj, IntPoint* out) {
  if (obj->type == MAPOBJ_POLYLINE)
    rect_center(&obj->mbr, out);
  else
    mapobj_get_centroid(obj, out);
}

// ---- text strings ----------------------------------------------------------

int16_t objtext_set_string(MapObject* obj, const char* text) {
  if (obj->nodes && (obj->flags & MAPOBJ_LOCKED)) return 0;
  size_t n = text ? std::strlen(text) : 0;
  if (n > static_cast<size_t>(kMapTextMax)) {
    err_push(4, kErrStyleRange, nullptr, nullptr);
    return 0;
  }
  if (!mapobj_ensure_buffer(static_cast<int64_t>(n) + 1, &obj->nodes, nullptr)) return 0;
  if (n) std::memcpy(obj->nodes, text, n);
  static_cast<char*>(obj->nodes)[n] = '\0';
  obj->u.text.length = static_cast<int16_t>(n);
  return 1;
}

int32_t objtext_count_lines(const char* text) {
  int32_t feeds = 0;
  for (const char* p = text; p && *p; p = mb_char_step(p))
    if (*p == '\n') ++feeds;
  return feeds + 1;
}

int16_t objtext_copy_string(const MapObject* obj, char** out, int16_t* multi_line_out) {
  *out = nullptr;
  if (!obj->nodes) return 0;
  const char* text = static_cast<const char*>(obj->nodes);
  int32_t length = obj->u.text.length;
  if (multi_line_out) *multi_line_out = objtext_count_lines(text) > 1;
  if (length <= 0) return 1;
  if (!mem_alloc_zeroed(static_cast<int64_t>(length) + 1, out)) return 0;
  std::memcpy(*out, text, static_cast<size_t>(length));
  return 1;
}

// ---- curve resolution ------------------------------------------------------

int32_t mapobj_get_resolution() { return g_state.resolution; }

int16_t mapobj_set_resolution(int32_t n) {
  if (n < kMapResolutionMin || n > kMapResolutionMax) {
    char low[16], high[16];
    fmt_format(low, sizeof low, "%ld", static_cast<long>(kMapResolutionMin));
    fmt_format(high, sizeof high, "%ld", static_cast<long>(kMapResolutionMax));
    err_push(4, kErrMapResolution, low, high);
    return 0;
  }
  g_state.resolution = n;
  return 1;
}
