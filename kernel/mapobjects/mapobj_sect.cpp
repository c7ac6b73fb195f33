// Sections and nodes of polylines, regions and multipoints. See mapobj_sect.h.
#include "kernel/mapobjects/mapobj_sect.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"

namespace {

struct SectionState {
  std::vector<IntPoint*> view;  // addresses of the open lock with pointers
  bool open = false;
};
SectionState g_sect;

bool is_poly(const MapObject* obj) { return obj->type == MAPOBJ_POLYLINE || obj->type == MAPOBJ_REGION; }
bool is_region(const MapObject* obj) { return obj->type == MAPOBJ_REGION; }

char* bytes(MapObject* obj) { return static_cast<char*>(obj->nodes); }
MapSection* heads(const MapObject* obj) { return static_cast<MapSection*>(obj->nodes); }

int64_t node_area_start(const MapObject* obj) { return 28LL * obj->u.poly.sections; }
int64_t total_nodes(const MapObject* obj) {
  if (obj->type == MAPOBJ_MULTIPOINT) return obj->u.multipoint.count;
  return (static_cast<int64_t>(obj->u.poly.size) - node_area_start(obj)) / 8;
}
// Index of a section's first value in the Z and M arrays.
int64_t zm_index(const MapObject* obj, const MapSection* h, int32_t s) {
  return (static_cast<int64_t>(h[s].node_offset) - node_area_start(obj)) / 8;
}

int16_t size_error(const MapObject* obj) {
  err_push(4, obj->type == MAPOBJ_POLYLINE ? kErrPolylineTooLarge : kErrRegionTooLarge, nullptr, nullptr);
  return 0;
}

// Grows a kernel block to at least size bytes: first with 80 bytes to spare,
// then exactly. Follows the work buffer when the block is it.
bool grow_block(void** block, int64_t size) {
  if (*block && static_cast<int64_t>(mem_size(*block)) >= size) return true;
  bool work = *block != nullptr && *block == mapobj_work_buffer;
  void* p = mem_raw_realloc(*block, size + 80);
  if (p) {
    *block = p;
  } else if (!mem_ensure(size, block, nullptr, 1)) {
    return false;
  }
  if (work) mapobj_work_buffer = *block;
  return true;
}

// The Z and M arrays the object carries.
template <class Fn>
void for_each_zm(MapObject* obj, Fn fn) {
  if (obj->has_z && obj->z) fn(obj->z);
  if (obj->has_m && obj->m) fn(obj->m);
}

bool grow_zm(MapObject* obj, int64_t values) {
  double** arrays[2] = {&obj->z, &obj->m};
  const int16_t carries[2] = {obj->has_z, obj->has_m};
  for (int i = 0; i < 2; ++i) {
    if (!carries[i]) continue;
    void* block = *arrays[i];
    if (!grow_block(&block, 8 * values)) return false;
    *arrays[i] = static_cast<double*>(block);
  }
  return true;
}

// Room for s new sections and n new nodes: 2 grown, 1 large enough, 0 failed.
int16_t reserve(MapObject* obj, int64_t s, int64_t n, MapSection** headers_ref) {
  if (is_region(obj) && n > 0) n += s ? s : 1;
  int64_t needed = 28 * s + 8 * n + obj->u.poly.size;
  if (needed >= kMapNodeBufferLimit) return size_error(obj);
  int16_t result = 1;
  if (!obj->nodes || static_cast<int64_t>(mem_size(obj->nodes)) < needed) {
    if (obj->nodes && (obj->flags & MAPOBJ_LOCKED)) return 0;
    if (!grow_block(&obj->nodes, needed)) return size_error(obj);
    result = 2;
  }
  if (!grow_zm(obj, total_nodes(obj) + n)) return size_error(obj);
  if (headers_ref) *headers_ref = heads(obj);
  return result;
}

void fill_values(double* array, int64_t at, const double* given, int64_t count) {
  for (int64_t i = 0; i < count; ++i) array[at + i] = given ? given[i] : mapobj_null_zm();
}

}  // namespace

void mapobj_sections_state_reset() {
  g_sect.view.clear();
  g_sect.open = false;
}

// ---- locking ---------------------------------------------------------------

MapSection* mapobj_lock_sections(MapObject* obj, int16_t with_pointers) {
  if (!is_poly(obj) || !obj->nodes) return nullptr;
  MapSection* h = heads(obj);
  if (with_pointers) {
    assert(!g_sect.open && "one lock with pointers at a time");
    g_sect.view.assign(static_cast<size_t>(obj->u.poly.sections), nullptr);
    for (int32_t i = 0; i < obj->u.poly.sections; ++i) g_sect.view[static_cast<size_t>(i)] = mapobj_section_nodes(h, i);
    g_sect.open = true;
  }
  return h;
}

void mapobj_unlock_sections(MapObject*, MapSection*, int16_t with_pointers) {
  if (with_pointers) mapobj_sections_state_reset();
}

IntPoint* mapobj_section_nodes(const MapSection* headers, int32_t index) {
  return reinterpret_cast<IntPoint*>(const_cast<char*>(reinterpret_cast<const char*>(headers)) +
                                     headers[index].node_offset);
}

IntPoint* mapobj_section_pointer(int32_t index) {
  if (!g_sect.open || index < 0 || static_cast<size_t>(index) >= g_sect.view.size()) return nullptr;
  return g_sect.view[static_cast<size_t>(index)];
}

int32_t mapobj_section_node_count(const MapObject* obj, int32_t index) {
  if (!is_poly(obj) || !obj->nodes || index < 0 || index >= obj->u.poly.sections) return 0;
  return heads(obj)[index].node_count;
}

IntPoint* mapobj_section_node_ptr(MapObject* obj, MapSection** headers, int16_t* lock_state, int32_t section,
                                  int32_t index) {
  if (*lock_state == 0) {
    *headers = mapobj_lock_sections(obj, 1);
    if (!*headers) return nullptr;
    *lock_state = 1;
  }
  if (section < 0 || section >= obj->u.poly.sections) return nullptr;
  if (index < 0 || index >= (*headers)[section].node_count) return nullptr;
  return mapobj_section_nodes(*headers, section) + index;
}

int16_t mapobj_section_for_each_node(const MapSection* headers, int32_t section, MapNodeFn fn, void* user) {
  const IntPoint* p = mapobj_section_nodes(headers, section);
  int16_t r = 1;
  for (int32_t i = 0; i < headers[section].node_count; ++i)
    if ((r = fn(p + i, user)) == 0) break;
  return r;
}

int16_t mapobj_section_for_each_segment(const MapSection* headers, int32_t section, MapSegmentFn fn, void* user) {
  const IntPoint* p = mapobj_section_nodes(headers, section);
  int16_t r = 1;
  for (int32_t i = 1; i < headers[section].node_count; ++i)
    if ((r = fn(p + i - 1, p + i, user)) == 0) break;
  return r;
}

int32_t mapobj_section_by_storage_order(int32_t n, const MapObject* obj) {
  if (!is_poly(obj) || !obj->nodes || n < 1 || n > obj->u.poly.sections) return -1;
  const MapSection* h = heads(obj);
  std::vector<int32_t> order(static_cast<size_t>(obj->u.poly.sections));
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
  std::stable_sort(order.begin(), order.end(),
                   [h](int32_t a, int32_t b) { return h[a].node_offset < h[b].node_offset; });
  return order[static_cast<size_t>(n - 1)];
}

// ---- sections --------------------------------------------------------------

int16_t mapobjx_append_sections(MapObject* obj, int64_t count, int32_t reserve_nodes, int16_t group,
                                int32_t* first_out) {
  if (!is_poly(obj) || count < 1) return 0;
  int32_t old = obj->u.poly.sections;
  if (old + count > kMapMaxSections) return size_error(obj);
  if (!reserve(obj, count, reserve_nodes, nullptr)) return 0;
  char* base = bytes(obj);
  MapSection* h = heads(obj);
  int64_t shift = 28 * count;
  int64_t node_bytes = obj->u.poly.size - 28LL * old;
  std::memmove(base + 28LL * old + shift, base + 28LL * old, static_cast<size_t>(node_bytes));
  for (int32_t i = 0; i < old; ++i) h[i].node_offset += static_cast<int32_t>(shift);
  int32_t end = static_cast<int32_t>(28LL * old + shift + node_bytes);
  for (int64_t j = 0; j < count; ++j) {
    MapSection& s = h[old + j];
    s.node_count = 0;
    s.holes = (group && j == 0) ? static_cast<int32_t>(count - 1) : 0;
    rect_set_empty(&s.mbr);
    s.node_offset = end;
  }
  obj->u.poly.sections = static_cast<int32_t>(old + count);
  obj->u.poly.size += static_cast<int32_t>(shift);
  if (first_out) *first_out = old;
  return 1;
}

int16_t mapobjx_add_section(MapObject* obj, int32_t reserve_nodes, int32_t* first_out) {
  return mapobjx_append_sections(obj, 1, reserve_nodes, 0, first_out);
}

int16_t mapobjx_add_sections(MapObject* obj, int32_t count, int32_t reserve_nodes, int32_t* first_out) {
  if (obj->type == MAPOBJ_POLYLINE && count != 1) return 0;
  return mapobjx_append_sections(obj, count, reserve_nodes, 1, first_out);
}

MapSection* mapobjx_add_section_locked(MapObject* obj, int32_t reserve_nodes) {
  if (!mapobjx_add_section(obj, reserve_nodes, nullptr)) return nullptr;
  return mapobj_lock_sections(obj, 1);
}

int16_t mapobjx_delete_section(MapObject* obj, int32_t s) {
  if (!is_poly(obj)) return 0;
  if (!obj->nodes) return 1;
  int32_t S = obj->u.poly.sections;
  if (s < 0 || s >= S) return 0;
  if (obj->flags & MAPOBJ_LOCKED) return 0;
  MapSection* h = heads(obj);
  char* base = bytes(obj);
  for (int32_t i = 0; i < s; ++i)
    if (h[i].holes > 0 && static_cast<int64_t>(i) + h[i].holes >= s) --h[i].holes;
  int64_t c = h[s].node_count;
  int64_t off = h[s].node_offset;
  int64_t size = obj->u.poly.size;
  int64_t zi = zm_index(obj, h, s);
  int64_t values = total_nodes(obj);
  std::memmove(base + off, base + off + 8 * c, static_cast<size_t>(size - off - 8 * c));
  for (int32_t i = 0; i < S; ++i)
    if (i != s && h[i].node_offset > off) h[i].node_offset -= static_cast<int32_t>(8 * c);
  for_each_zm(obj, [&](double* a) { std::memmove(a + zi, a + zi + c, static_cast<size_t>(values - zi - c) * 8); });
  std::memmove(h + s, h + s + 1, static_cast<size_t>(S - s - 1) * sizeof(MapSection));
  --S;
  for (int32_t i = 0; i < S; ++i) h[i].node_offset -= 28;
  int64_t node_bytes = size - 8 * c - 28LL * (S + 1);
  std::memmove(base + 28LL * S, base + 28LL * (S + 1), static_cast<size_t>(node_bytes));
  obj->u.poly.sections = S;
  obj->u.poly.size = static_cast<int32_t>(size - 8 * c - 28);
  return 1;
}

// ---- nodes of polylines and regions ---------------------------------------

int16_t mapobjx_insert_nodes_at(MapObject* obj, MapSection** headers_ref, int32_t s, int32_t index,
                                const IntPoint* points, int32_t count, const double* z, const double* m) {
  if (!headers_ref) return -3;
  if (!is_poly(obj)) return -1;
  int16_t result = 1;
  if (!*headers_ref) {
    if (!mapobjx_add_section(obj, count, nullptr)) return 0;
    s = obj->u.poly.sections - 1;
    index = 0;
    result = 2;
    *headers_ref = heads(obj);
  }
  if (s < 0 || s >= obj->u.poly.sections) return -1;
  MapSection* h = heads(obj);
  int64_t c = h[s].node_count;
  if (index < 0 || index > c || count < 0 || count > kMapMaxNodesAdded) return -1;
  if (count == 0) return result;
  if (!points) return -1;
  int16_t r = reserve(obj, 0, count, headers_ref);
  if (!r) return 0;
  if (r == 2) result = 2;
  h = heads(obj);
  char* base = bytes(obj);
  bool region = is_region(obj);
  int64_t at = index;
  int64_t added = count;
  if (region && c > 0 && at == c) at = c - 1;
  if (region && c == 0) added = count + 1;
  int64_t off = h[s].node_offset;
  int64_t size = obj->u.poly.size;
  int64_t values = total_nodes(obj);
  int64_t zi = zm_index(obj, h, s);
  for (int32_t i = 0; i < obj->u.poly.sections; ++i)
    if (i != s && (h[i].node_offset > off || (h[i].node_offset == off && h[i].node_count > 0)))
      h[i].node_offset += static_cast<int32_t>(8 * added);
  int64_t pos = off + 8 * at;
  std::memmove(base + pos + 8 * added, base + pos, static_cast<size_t>(size - pos));
  std::memcpy(base + pos, points, static_cast<size_t>(count) * 8);
  IntPoint* run = reinterpret_cast<IntPoint*>(base + off);
  int64_t n = c + added;
  if (region) run[n - 1] = run[0];
  h[s].node_count = static_cast<int32_t>(n);
  obj->u.poly.size = static_cast<int32_t>(size + 8 * added);
  const double* given[2] = {z, m};
  int k = 0;
  double* arrays[2] = {obj->has_z ? obj->z : nullptr, obj->has_m ? obj->m : nullptr};
  for (double* a : arrays) {
    const double* g = given[k++];
    if (!a) continue;
    std::memmove(a + zi + at + added, a + zi + at, static_cast<size_t>(values - zi - at) * 8);
    fill_values(a, zi + at, g, count);
    if (region) a[zi + n - 1] = a[zi];
  }
  return result;
}

int16_t mapobjx_insert_nodes(MapObject* obj, int32_t s, int32_t index, const IntPoint* points, int32_t count,
                             const double* z, const double* m) {
  if (count == 0) return 1;
  if (obj->type == MAPOBJ_MULTIPOINT) return mapobjx_multipoint_add_nodes(obj, count, points, z, m);
  if (!is_poly(obj)) return 0;
  if (s == obj->u.poly.sections && !mapobjx_add_section(obj, count, nullptr)) return 0;
  MapSection* h = mapobj_lock_sections(obj, 0);
  if (!h) return 0;
  int16_t r = mapobjx_insert_nodes_at(obj, &h, s, index, points, count, z, m);
  mapobj_unlock_sections(obj, h, 0);
  return r > 0 ? 1 : 0;
}

namespace {

// The ring's or section's range rule shared by reading and replacing: the
// first run and the wrapped run (read and written from node 1 on).
bool split_range(const MapObject* obj, int64_t c, int64_t index, int64_t count, int64_t* first, int64_t* wrapped) {
  if (count < 0 || index < 0) return false;
  if (!is_region(obj)) {
    if (index >= c || index + count > c) return count == 0 && index <= c ? (*first = 0, *wrapped = 0, true) : false;
    *first = count;
    *wrapped = 0;
    return true;
  }
  int64_t ring = c - 1;
  if (ring < 1 || index >= ring || count > ring) return false;
  *first = std::min(count, ring - index);
  *wrapped = count - *first;
  return true;
}

}  // namespace

int16_t mapobjx_get_nodes(const MapObject* obj, const MapSection* h, int32_t s, int32_t index, IntPoint* out,
                          int32_t count, double* z_out, double* m_out) {
  if (!h) return -3;
  if (!is_poly(obj) || s < 0 || s >= obj->u.poly.sections) return -1;
  int64_t first = 0, wrapped = 0;
  if (!split_range(obj, h[s].node_count, index, count, &first, &wrapped)) return -1;
  const IntPoint* run = mapobj_section_nodes(h, s);
  int64_t zi = zm_index(obj, h, s);
  auto copy = [&](const IntPoint* nodes, const double* z, const double* mm) {
    for (int64_t i = 0; i < first; ++i) {
      if (out) out[i] = nodes[index + i];
      if (z_out) z_out[i] = z ? z[zi + index + i] : mapobj_null_zm();
      if (m_out) m_out[i] = mm ? mm[zi + index + i] : mapobj_null_zm();
    }
    for (int64_t i = 0; i < wrapped; ++i) {
      if (out) out[first + i] = nodes[1 + i];
      if (z_out) z_out[first + i] = z ? z[zi + 1 + i] : mapobj_null_zm();
      if (m_out) m_out[first + i] = mm ? mm[zi + 1 + i] : mapobj_null_zm();
    }
  };
  copy(run, obj->has_z ? obj->z : nullptr, obj->has_m ? obj->m : nullptr);
  return 1;
}

int16_t mapobjx_replace_nodes(MapObject* obj, MapSection** headers_ref, int32_t s, int32_t index,
                              const IntPoint* points, int32_t count) {
  if (!headers_ref || !*headers_ref) return -3;
  if (!is_poly(obj) || s < 0 || s >= obj->u.poly.sections) return -1;
  if (obj->flags & MAPOBJ_LOCKED) return -1;
  MapSection* h = *headers_ref;
  int64_t first = 0, wrapped = 0;
  if (!split_range(obj, h[s].node_count, index, count, &first, &wrapped)) return -1;
  IntPoint* run = mapobj_section_nodes(h, s);
  for (int64_t i = 0; i < first; ++i) run[index + i] = points[i];
  for (int64_t i = 0; i < wrapped; ++i) run[1 + i] = points[first + i];
  if (is_region(obj)) run[h[s].node_count - 1] = run[0];
  return 1;
}

int16_t mapobjx_delete_nodes(MapObject* obj, MapSection** headers_ref, int32_t s, int32_t index, int32_t count,
                             int16_t drop_small) {
  if (!is_poly(obj)) return -2;
  if (!headers_ref || !*headers_ref) return -3;
  if (s < 0 || s >= obj->u.poly.sections || count < 0) return -1;
  if (obj->flags & MAPOBJ_LOCKED) return -1;
  MapSection* h = *headers_ref;
  int64_t c = h[s].node_count;
  if (index < 0 || index >= c) return -1;
  bool region = is_region(obj);
  int64_t ring = region ? c - 1 : c;
  if (region ? (ring < 1 || count > c) : (static_cast<int64_t>(index) + count > c)) return -1;
  if (count == 0) return 1;
  std::vector<char> removed(static_cast<size_t>(ring), 0);
  for (int64_t k = 0; k < count; ++k) removed[static_cast<size_t>(region ? (index + k) % ring : index + k)] = 1;
  int64_t kept = 0;
  for (char r : removed) kept += r ? 0 : 1;
  if (drop_small && kept < (region ? 3 : 2)) {
    if (!mapobjx_delete_section(obj, s)) return -1;
    *headers_ref = heads(obj);
    return 1;
  }
  char* base = bytes(obj);
  int64_t off = h[s].node_offset;
  int64_t size = obj->u.poly.size;
  int64_t values = total_nodes(obj);
  int64_t zi = zm_index(obj, h, s);
  IntPoint* run = reinterpret_cast<IntPoint*>(base + off);
  auto compact = [&](auto* items) {
    int64_t w = 0;
    for (int64_t i = 0; i < ring; ++i)
      if (!removed[static_cast<size_t>(i)]) items[w++] = items[i];
    if (region && w > 0) items[w] = items[0];
  };
  compact(run);
  for_each_zm(obj, [&](double* a) { compact(a + zi); });
  int64_t newc = region ? (kept > 0 ? kept + 1 : 0) : kept;
  int64_t gone = c - newc;
  std::memmove(base + off + 8 * newc, base + off + 8 * c, static_cast<size_t>(size - off - 8 * c));
  for_each_zm(obj, [&](double* a) {
    std::memmove(a + zi + newc, a + zi + c, static_cast<size_t>(values - zi - c) * 8);
  });
  for (int32_t i = 0; i < obj->u.poly.sections; ++i)
    if (i != s && h[i].node_offset > off) h[i].node_offset -= static_cast<int32_t>(8 * gone);
  h[s].node_count = static_cast<int32_t>(newc);
  obj->u.poly.size = static_cast<int32_t>(size - 8 * gone);
  return 1;
}

int16_t mapobjx_delete_nodes_any(MapObject* obj, int32_t s, int32_t index, int32_t count, int16_t drop_small) {
  if (obj->type == MAPOBJ_MULTIPOINT) return mapobjx_multipoint_delete_nodes(obj, index, count);
  MapSection* h = mapobj_lock_sections(obj, 0);
  int16_t r = mapobjx_delete_nodes(obj, &h, s, index, count, drop_small);
  return r == 1 ? 1 : 0;
}

int16_t mapobjx_replace_nodes_any(MapObject* obj, int32_t s, int32_t index, const IntPoint* points, int32_t count) {
  if (obj->type == MAPOBJ_MULTIPOINT) return mapobjx_multipoint_replace_nodes(obj, index, points, count);
  MapSection* h = mapobj_lock_sections(obj, 0);
  return mapobjx_replace_nodes(obj, &h, s, index, points, count) == 1 ? 1 : 0;
}

int16_t mapobjx_get_nodes_any(MapObject* obj, int32_t s, int32_t index, IntPoint* out, int32_t count,
                              double* z_out, double* m_out) {
  if (obj->type == MAPOBJ_MULTIPOINT) return mapobjx_multipoint_get_nodes(obj, index, out, count, z_out, m_out);
  MapSection* h = mapobj_lock_sections(obj, 0);
  return mapobjx_get_nodes(obj, h, s, index, out, count, z_out, m_out) == 1 ? 1 : 0;
}

// ---- multipoints -----------------------------------------------------------

int16_t mapobjx_multipoint_add_nodes(MapObject* obj, int32_t count, const IntPoint* points, const double* z,
                                     const double* m) {
  if (obj->type != MAPOBJ_MULTIPOINT || count < 0 || (count > 0 && !points)) return 0;
  if (count == 0) return 1;
  int64_t n = obj->u.multipoint.count;
  int64_t needed = 8 * (n + count);
  if (needed >= kMapNodeBufferLimit) return size_error(obj);
  if (obj->nodes && (obj->flags & MAPOBJ_LOCKED)) return 0;
  if (!grow_block(&obj->nodes, needed) || !grow_zm(obj, n + count)) return size_error(obj);
  std::memcpy(static_cast<IntPoint*>(obj->nodes) + n, points, static_cast<size_t>(count) * 8);
  if (obj->has_z) fill_values(obj->z, n, z, count);
  if (obj->has_m) fill_values(obj->m, n, m, count);
  obj->u.multipoint.count = static_cast<int32_t>(n + count);
  return 1;
}

int16_t mapobjx_multipoint_get_nodes(const MapObject* obj, int32_t index, IntPoint* out, int32_t count,
                                     double* z_out, double* m_out) {
  if (obj->type != MAPOBJ_MULTIPOINT || !mapobjx_range_valid(index, count, obj->u.multipoint.count, 0)) return 0;
  const IntPoint* nodes = static_cast<const IntPoint*>(obj->nodes);
  for (int32_t i = 0; i < count; ++i) {
    if (out) out[i] = nodes[index + i];
    if (z_out) z_out[i] = obj->has_z && obj->z ? obj->z[index + i] : mapobj_null_zm();
    if (m_out) m_out[i] = obj->has_m && obj->m ? obj->m[index + i] : mapobj_null_zm();
  }
  return 1;
}

int16_t mapobjx_multipoint_replace_nodes(MapObject* obj, int32_t index, const IntPoint* points, int32_t count) {
  if (obj->type != MAPOBJ_MULTIPOINT || !mapobjx_range_valid(index, count, obj->u.multipoint.count, 0)) return 0;
  if (obj->flags & MAPOBJ_LOCKED) return 0;
  std::memcpy(static_cast<IntPoint*>(obj->nodes) + index, points, static_cast<size_t>(count) * 8);
  return 1;
}

int16_t mapobjx_multipoint_delete_nodes(MapObject* obj, int32_t index, int32_t count) {
  if (obj->type != MAPOBJ_MULTIPOINT || !mapobjx_range_valid(index, count, obj->u.multipoint.count, 0)) return 0;
  if (obj->flags & MAPOBJ_LOCKED) return 0;
  int64_t rest = static_cast<int64_t>(obj->u.multipoint.count) - index - count;
  IntPoint* nodes = static_cast<IntPoint*>(obj->nodes);
  std::memmove(nodes + index, nodes + index + count, static_cast<size_t>(rest) * 8);
  for_each_zm(obj, [&](double* a) { std::memmove(a + index, a + index + count, static_cast<size_t>(rest) * 8); });
  obj->u.multipoint.count -= count;
  return 1;
}

// ---- Z and M ---------------------------------------------------------------

int16_t mapobjx_set_zm(MapObject* obj, int16_t has_z, int16_t has_m) {
  if (!is_poly(obj) && obj->type != MAPOBJ_MULTIPOINT) return 0;
  int64_t n = total_nodes(obj);
  double** arrays[2] = {&obj->z, &obj->m};
  int16_t* flags[2] = {&obj->has_z, &obj->has_m};
  const int16_t want[2] = {has_z, has_m};
  for (int i = 0; i < 2; ++i) {
    if (!want[i]) {
      if (!(obj->flags & MAPOBJ_BORROWED)) mem_free(arrays[i]);
      *arrays[i] = nullptr;
      *flags[i] = 0;
      continue;
    }
    if (*flags[i] && *arrays[i]) continue;
    double* a = nullptr;
    if (!mem_alloc_zeroed(8 * std::max<int64_t>(n, 1), &a)) return 0;
    fill_values(a, 0, nullptr, n);
    *arrays[i] = a;
    *flags[i] = 1;
  }
  return 1;
}

// ---- tests and reordering --------------------------------------------------

int16_t mapobjx_can_grow(const MapObject* obj, int64_t nodes, int64_t sections) {
  if (!is_poly(obj) || nodes > kMapMaxNodesAdded || nodes < 0 || sections < 0) return 0;
  int64_t extra = (is_region(obj) && nodes > 0 && sections > 0) ? 1 : 0;
  return obj->u.poly.size + 28 * sections + 8 * (nodes + extra) < kMapNodeBufferLimit;
}

int16_t mapobjx_sections_contiguous(const MapSection* h, int32_t count) {
  for (int32_t i = 1; i < count; ++i)
    if (static_cast<int64_t>(h[i].node_offset) != h[i - 1].node_offset + 8LL * h[i - 1].node_count) return 0;
  return 1;
}

int16_t mapobjx_sections_in_order(MapObject* obj) {
  if (!is_poly(obj) || !obj->nodes || obj->u.poly.sections < 2) return 1;
  return mapobjx_sections_contiguous(heads(obj), obj->u.poly.sections) &&
         heads(obj)[0].node_offset == 28 * obj->u.poly.sections;
}

int16_t mapobjx_reorder_section_nodes(MapObject* obj, MapSection* h) {
  if (!is_poly(obj) || !h) return 0;
  int32_t S = obj->u.poly.sections;
  int64_t values = total_nodes(obj);
  char* base = bytes(obj);
  IntPoint* nodes = nullptr;
  double* zm[2] = {nullptr, nullptr};
  const double* sources[2] = {obj->has_z ? obj->z : nullptr, obj->has_m ? obj->m : nullptr};
  auto release = [&] {
    mem_free(&nodes);
    mem_free(&zm[0]);
    mem_free(&zm[1]);
  };
  if (!mem_alloc_zeroed(8 * values, &nodes)) return 0;
  for (int i = 0; i < 2; ++i)
    if (sources[i] && !mem_alloc_zeroed(8 * values, &zm[i])) {
      release();
      return 0;
    }
  int64_t w = 0;
  for (int32_t s = 0; s < S; ++s) {
    int64_t c = h[s].node_count;
    int64_t zi = zm_index(obj, h, s);
    std::memcpy(nodes + w, base + h[s].node_offset, static_cast<size_t>(c) * 8);
    for (int i = 0; i < 2; ++i)
      if (sources[i]) std::memcpy(zm[i] + w, sources[i] + zi, static_cast<size_t>(c) * 8);
    h[s].node_offset = static_cast<int32_t>(28LL * S + 8 * w);
    w += c;
  }
  std::memcpy(base + 28LL * S, nodes, static_cast<size_t>(values) * 8);
  double* targets[2] = {obj->has_z ? obj->z : nullptr, obj->has_m ? obj->m : nullptr};
  for (int i = 0; i < 2; ++i)
    if (targets[i]) std::memcpy(targets[i], zm[i], static_cast<size_t>(values) * 8);
  release();
  if (g_sect.open)
    for (int32_t s = 0; s < S && static_cast<size_t>(s) < g_sect.view.size(); ++s)
      g_sect.view[static_cast<size_t>(s)] = mapobj_section_nodes(h, s);
  return 1;
}

int16_t mapobjx_range_valid(int32_t start, int32_t length, int32_t count, int16_t absolute) {
  if (start < 0 || start >= count) return length == 0 && start == count && !absolute ? 1 : 0;
  int64_t end = absolute ? length : static_cast<int64_t>(start) + length;
  return end >= start && end <= count;
}
