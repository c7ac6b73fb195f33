// Iteration, node addressing and shape conversion. See mapobj_iter.h.
#include "kernel/mapobjects/mapobj_iter.h"

#include <vector>

#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/mem.h"
#include "kernel/tables/lang/lexer.h"

namespace {

bool is_poly(const MapObject* obj) { return obj->type == MAPOBJ_POLYLINE || obj->type == MAPOBJ_REGION; }
bool has_box(const MapObject* obj) {
  return obj->type == MAPOBJ_TEXT || obj->type == MAPOBJ_RECT || obj->type == MAPOBJ_ROUNDRECT;
}

// The corners (x1, y1), (x1, y2), (x2, y2), (x2, y1) and the first again.
void box_ring(const IntRect& r, IntPoint out[5]) {
  out[0] = {r.x1, r.y1};
  out[1] = {r.x1, r.y2};
  out[2] = {r.x2, r.y2};
  out[3] = {r.x2, r.y1};
  out[4] = out[0];
}

const IntPoint* multipoint_nodes(const MapObject* obj) { return static_cast<const IntPoint*>(obj->nodes); }

}  // namespace

// ---- iterators -------------------------------------------------------------

int16_t mapobj_for_each_point(MapObject* obj, MapPointFn fn, void* user) {
  if (mapobj_is_empty(obj)) return 0;
  int16_t r = 1;
  switch (obj->type) {
    case MAPOBJ_POINT: return fn(&obj->u.point.location, user);
    case MAPOBJ_LINE:
      r = fn(&obj->u.line.start, user);
      return r ? fn(&obj->u.line.end, user) : r;
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: {
      MapSection* h = mapobj_lock_sections(obj, 0);
      for (int32_t s = 0; h && r && s < obj->u.poly.sections; ++s) r = mapobj_section_for_each_node(h, s, fn, user);
      return r;
    }
    case MAPOBJ_TEXT:
    case MAPOBJ_RECT:
    case MAPOBJ_ROUNDRECT: {
      IntPoint ring[5];
      box_ring(obj->mbr, ring);
      for (int i = 0; i < 4 && r; ++i) r = fn(&ring[i], user);
      return r;
    }
    case MAPOBJ_MULTIPOINT:
      for (int32_t i = 0; i < obj->u.multipoint.count && r; ++i) r = fn(&multipoint_nodes(obj)[i], user);
      return r;
    default: return 1;
  }
}

int16_t mapobj_for_each_segment(MapObject* obj, MapPairFn fn, void* user) {
  if (mapobj_is_empty(obj)) return 0;
  int16_t r = 1;
  if (obj->type == MAPOBJ_LINE) return fn(&obj->u.line.start, &obj->u.line.end, user);
  if (has_box(obj)) {
    IntPoint ring[5];
    box_ring(obj->mbr, ring);
    for (int i = 0; i < 4 && r; ++i) r = fn(&ring[i], &ring[i + 1], user);
    return r;
  }
  if (!is_poly(obj)) return 1;
  MapSection* h = mapobj_lock_sections(obj, 0);
  for (int32_t s = 0; h && r && s < obj->u.poly.sections; ++s) {
    const IntPoint* p = mapobj_section_nodes(h, s);
    for (int32_t i = 1; i < h[s].node_count && r; ++i)
      if (!point_equal(&p[i - 1], &p[i])) r = fn(&p[i - 1], &p[i], user);
  }
  return r;
}

int16_t mapobj_for_each_section(MapObject* obj, MapSectionFn fn, void* user) {
  if (!is_poly(obj) || mapobj_is_empty(obj)) return 0;
  MapSection* h = mapobj_lock_sections(obj, 1);
  if (!h) return 0;
  int16_t r = 1;
  for (int32_t s = 0; r && s < obj->u.poly.sections; ++s) r = fn(&h[s], mapobj_section_pointer(s), user);
  mapobj_unlock_sections(obj, h, 1);
  return r;
}

int16_t mapobj_for_each_curve_step(MapObject* obj, MapCurveFn fn, void* user) {
  if (obj->type != MAPOBJ_POLYLINE || !(obj->u.poly.line_flags & 1)) return 1;
  if (mapobj_is_empty(obj)) return 0;
  MapSection* h = mapobj_lock_sections(obj, 0);
  int16_t r = 1;
  for (int32_t s = 0; h && r && s < obj->u.poly.sections; ++s) {
    const IntPoint* p = mapobj_section_nodes(h, s);
    int32_t n = h[s].node_count;
    if (n == 1) {
      r = fn(&p[0], &p[0], &p[0], user);
    } else if (n == 2) {
      IntPoint mid;
      point_midpoint(&p[0], &p[1], &mid);
      r = fn(&p[0], &mid, &p[1], user);
    } else {
      for (int32_t q = 1; q < n - 1 && r; ++q) {
        IntPoint a = p[0], c = p[n - 1];
        if (q > 1) point_midpoint(&p[q - 1], &p[q], &a);
        if (q < n - 2) point_midpoint(&p[q], &p[q + 1], &c);
        r = fn(&a, &p[q], &c, user);
      }
    }
  }
  return r;
}

// ---- node addressing -------------------------------------------------------

int32_t mapobj_part_count(const MapObject* obj) { return is_poly(obj) ? obj->u.poly.sections : 1; }

void mapobj_part_mbr(const MapObject* obj, const MapSection* sections, int32_t part, IntRect* out) {
  if (is_poly(obj) && sections && part >= 0 && part < obj->u.poly.sections)
    *out = sections[part].mbr;
  else
    *out = obj->mbr;
}

int32_t mapobj_part_node_count(const MapObject* obj, const MapSection* sections, int32_t part) {
  if (part < 0 || part >= mapobj_part_count(obj)) return 0;
  switch (obj->type) {
    case MAPOBJ_POINT: return 1;
    case MAPOBJ_LINE:
    case MAPOBJ_ARC: return 2;
    case MAPOBJ_POLYLINE: return sections ? sections[part].node_count : 0;
    case MAPOBJ_REGION: return sections && sections[part].node_count > 0 ? sections[part].node_count - 1 : 0;
    case MAPOBJ_RECT: return 4;
    case MAPOBJ_MULTIPOINT: return obj->u.multipoint.count;
    default: return 0;
  }
}

int32_t mapobj_wrap_node_index(const MapObject* obj, const MapSection* sections, int32_t part, int32_t index) {
  int32_t n = mapobj_part_node_count(obj, sections, part);
  if (n <= 0) return 0;
  if (obj->type >= 5 && obj->type <= 10) {
    int32_t i = index % n;
    return i < 0 ? i + n : i;
  }
  return index < 0 ? 0 : (index >= n ? n - 1 : index);
}

int16_t mapobj_get_node(const MapObject* obj, const MapSection* sections, IntPoint* out, int32_t part,
                        int32_t index) {
  if (mapobj_part_node_count(obj, sections, part) <= 0) return 0;
  int32_t i = mapobj_wrap_node_index(obj, sections, part, index);
  switch (obj->type) {
    case MAPOBJ_POINT: *out = obj->u.point.location; return 1;
    case MAPOBJ_LINE: *out = i == 0 ? obj->u.line.start : obj->u.line.end; return 1;
    case MAPOBJ_ARC: {
      IntPoint a, b;
      mapobjx_arc_end_points(&obj->u.arc.rect, obj->u.arc.start, obj->u.arc.end, &a, &b);
      *out = i == 0 ? a : b;
      return 1;
    }
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: *out = mapobj_section_nodes(sections, part)[i]; return 1;
    case MAPOBJ_RECT: {
      IntPoint ring[5];
      box_ring(obj->mbr, ring);
      *out = ring[i];
      return 1;
    }
    case MAPOBJ_MULTIPOINT: *out = multipoint_nodes(obj)[i]; return 1;
    default: return 0;
  }
}

int16_t mapobj_set_node(MapObject* obj, MapSection* sections, const IntPoint* point, int32_t part, int32_t index) {
  if (mapobj_part_node_count(obj, sections, part) <= 0) return 0;
  int32_t i = mapobj_wrap_node_index(obj, sections, part, index);
  switch (obj->type) {
    case MAPOBJ_POINT: return mapobjx_point_set(obj, point, nullptr);
    case MAPOBJ_LINE:
      (i == 0 ? obj->u.line.start : obj->u.line.end) = *point;
      rect_from_points(&obj->mbr, &obj->u.line.start, &obj->u.line.end);
      return 1;
    case MAPOBJ_ARC: {
      IntPoint a, b;
      mapobjx_arc_end_points(&obj->u.arc.rect, obj->u.arc.start, obj->u.arc.end, &a, &b);
      (i == 0 ? a : b) = *point;
      return mapobjx_arc_set_points(obj, &a, &b);
    }
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: {
      if (!mapobj_nodes_writable(obj)) return 0;
      IntPoint* p = mapobj_section_nodes(sections, part);
      p[i] = *point;
      if (obj->type == MAPOBJ_REGION && i == 0) p[sections[part].node_count - 1] = *point;
      return 1;
    }
    case MAPOBJ_RECT: {
      IntRect& r = obj->mbr;
      if (i == 0 || i == 1) r.x1 = point->x;
      else r.x2 = point->x;
      if (i == 0 || i == 3) r.y1 = point->y;
      else r.y2 = point->y;
      rect_normalise(&r);
      return 1;
    }
    case MAPOBJ_MULTIPOINT:
      return mapobjx_multipoint_replace_nodes(obj, i, point, 1);
    default: return 0;
  }
}

int16_t mapobj_find_node(const MapObject* obj, const MapSection* sections, const IntPoint* point,
                         int32_t* part_out, int32_t* index_out) {
  for (int32_t part = 0; part < mapobj_part_count(obj); ++part) {
    int32_t n = mapobj_part_node_count(obj, sections, part);
    for (int32_t i = 0; i < n; ++i) {
      IntPoint p;
      if (mapobj_get_node(obj, sections, &p, part, i) && point_equal(&p, point)) {
        if (part_out) *part_out = part;
        if (index_out) *index_out = i;
        return 1;
      }
    }
  }
  return 0;
}

int16_t mapobj_middle_segment(MapObject* obj, IntPoint out[2]) {
  if (obj->type == MAPOBJ_LINE) {
    out[0] = obj->u.line.start;
    out[1] = obj->u.line.end;
    return 1;
  }
  if (obj->type != MAPOBJ_POLYLINE) return 0;
  MapSection* h = mapobj_lock_sections(obj, 0);
  for (int32_t s = 0; h && s < obj->u.poly.sections; ++s) {
    int32_t n = h[s].node_count;
    if (n <= 1) continue;
    int32_t k = n / 2 - 1;
    const IntPoint* p = mapobj_section_nodes(h, s);
    out[0] = p[k];
    out[1] = p[k + 1];
    return 1;
  }
  return 0;
}

int16_t mapobj_label_point(MapObject* obj, IntPoint* out) {
  IntPoint seg[2];
  if (mapobj_middle_segment(obj, seg)) {
    point_midpoint(&seg[0], &seg[1], out);
    return 1;
  }
  mapobj_get_centroid(obj, out);
  return 0;
}

void mapobj_point_or_midpoint(const IntPoint* a, IntPoint* out, int16_t flag, const IntPoint* b) {
  if (flag) *out = *a;
  else point_midpoint(a, b, out);
}

// ---- range checks ----------------------------------------------------------

int16_t mapobj_check_range(const MapObject* obj, int32_t section, int32_t start, int32_t end, int32_t options,
                           MapRange* out, int16_t* past_last_out) {
  if (past_last_out) *past_last_out = 0;
  if (!is_poly(obj)) return 2;
  int32_t S = obj->u.poly.sections;
  if (obj->type == MAPOBJ_POLYLINE && stmt_language_version < 300) section = 1;
  if ((options & kMapRangePastLast) && section == S + 1) {
    if (past_last_out) *past_last_out = 1;
    *out = {S, 0, 0};
    return 0;
  }
  int32_t s = mapobj_section_by_storage_order(section, obj);
  if (s < 0) return 2;
  const MapSection* h = static_cast<const MapSection*>(obj->nodes);
  int32_t n = mapobj_part_node_count(obj, h, s);
  if (start < 1 || start > n) return 3;
  if (end == 0) {
    if (options & kMapRangeNeedEnd) return 4;
    end = start;
  }
  if (end < 1 || end > n || (obj->type == MAPOBJ_POLYLINE && end < start)) return 4;
  *out = {s, start - 1, end - 1};
  return 0;
}

int16_t mapobj_check_range_any(const MapObject* obj, int32_t start, MapRange* out) {
  if (obj->type != MAPOBJ_MULTIPOINT || start < 1 || start > obj->u.multipoint.count) return 3;
  *out = {0, start - 1, start - 1};
  return 0;
}

int32_t mapobj_range_end(int32_t start, int32_t count, int32_t n, int16_t ring) {
  int64_t end = static_cast<int64_t>(start) + count - 1;
  if (ring && n > 0) end %= n;
  return static_cast<int32_t>(end);
}

int32_t mapobj_range_split(int32_t start, int32_t end, int32_t n, MapRange runs[2]) {
  if (end >= start) {
    runs[0] = {0, start, end};
    return 1;
  }
  runs[0] = {0, start, n - 1};
  runs[1] = {0, 0, end};
  return 2;
}

// ---- conversion ------------------------------------------------------------

int32_t mapobj_line_points(IntPoint* out, const MapObject* obj) {
  out[0] = obj->u.line.start;
  out[1] = obj->u.line.end;
  return 2;
}

int32_t mapobj_rect_ring(IntPoint* out, const MapObject* obj) {
  box_ring(obj->mbr, out);
  return 5;
}

int32_t mapobj_shape_points(IntPoint** out_ref, const MapObject* obj, void** aux, int16_t region,
                            int32_t resolution) {
  *out_ref = nullptr;
  if (aux) *aux = nullptr;
  int32_t n = 0;
  IntPoint tmp[5];
  switch (obj->type) {
    case MAPOBJ_LINE: n = mapobj_line_points(tmp, obj); break;
    case MAPOBJ_RECT:
    case MAPOBJ_ROUNDRECT: n = mapobj_rect_ring(tmp, obj); break;
    case MAPOBJ_ARC:
    case MAPOBJ_ELLIPSE:
      n = mapobj_arc_points(obj, resolution, out_ref, aux);
      if (n > 0 && region && obj->type == MAPOBJ_ELLIPSE) --n;
      return n;
    default: return 0;
  }
  if (region && obj->type >= 5 && obj->type <= 9) --n;
  if (!mem_alloc_zeroed(8LL * n, out_ref)) return 0;
  for (int32_t i = 0; i < n; ++i) (*out_ref)[i] = tmp[i];
  return n;
}

MapObject* mapobj_finish_converted(int16_t success, MapObject* made, MapObject* headers_owner, MapSection* headers,
                                   const MapObject* model) {
  if (headers) mapobj_unlock_sections(headers_owner, headers, 0);
  if (!success) {
    mapobj_destroy(&made);
    return nullptr;
  }
  bool centre_taken = false;
  if (model) {
    if (model->type == made->type) {
      IntPoint c;
      mapobj_get_centroid(model, &c);
      centre_taken = mapobjx_set_center(made, &c, 0) != 0;
    }
    mapobj_take_styles(made, model);
  }
  mapobjx_normalize(made, centre_taken ? 0 : 1);
  return made;
}

MapObject* mapobj_from_points(const IntPoint* points, int32_t n, const MapObject* model, int16_t region) {
  MapObject* obj = nullptr;
  if (!mapobj_new(nullptr, &obj, region ? MAPOBJ_REGION : MAPOBJ_POLYLINE, 0)) return nullptr;
  int16_t ok = mapobjx_insert_nodes(obj, 0, 0, points, n, nullptr, nullptr);
  return mapobj_finish_converted(ok, obj, nullptr, nullptr, model);
}

MapObject* mapobj_from_points_plain(const IntPoint* points, int32_t n, int16_t region) {
  return mapobj_from_points(points, n, nullptr, region);
}

MapObject* mapobj_poly_convert(int16_t region, const MapObject* obj) {
  MapObject* copy = mapobj_dup(obj);
  if (!copy) return nullptr;
  uint8_t want = region ? MAPOBJ_REGION : MAPOBJ_POLYLINE;
  if (copy->type == want) return copy;
  int16_t ok = 1;
  if (region) {
    for (int32_t s = 0; ok && s < copy->u.poly.sections; ++s) {
      MapSection* h = mapobj_lock_sections(copy, 0);
      int32_t n = h[s].node_count;
      if (n == 0) continue;
      const IntPoint* p = mapobj_section_nodes(h, s);
      IntPoint first = p[0];
      if (point_equal(&first, &p[n - 1])) continue;
      double z = 0, m = 0;
      mapobjx_get_nodes(copy, h, s, 0, nullptr, 1, &z, &m);
      ok = mapobjx_insert_nodes(copy, s, n, &first, 1, &z, &m);
    }
  }
  copy->type = want;
  copy->u.poly.line_flags &= ~1u;
  return mapobj_finish_converted(ok, copy, nullptr, nullptr, obj);
}

MapObject* mapobj_to_poly(const MapObject* obj, int16_t region, int32_t resolution) {
  if (obj->type < 2 || obj->type > 9 || obj->type == MAPOBJ_TEXT) return nullptr;
  if (is_poly(obj)) return mapobj_poly_convert(region, obj);
  IntPoint* points = nullptr;
  int32_t n = mapobj_shape_points(&points, obj, nullptr, region, resolution);
  if (n <= 0) return nullptr;
  MapObject* made = mapobj_from_points(points, n, obj, region);
  mem_free(&points);
  return made;
}

MapObject* mapobj_to_polyline_or_region(const MapObject* obj, int16_t region) {
  return mapobj_to_poly(obj, region, mapobj_get_resolution());
}

MapObject* mapobj_extract_range(const MapObject* obj, int32_t section, int32_t start, int32_t end, int16_t region) {
  if (!is_poly(obj) || !obj->nodes || section < 0 || section >= obj->u.poly.sections) return nullptr;
  const MapSection* h = static_cast<const MapSection*>(obj->nodes);
  int32_t n = mapobj_part_node_count(obj, h, section);
  if (start < 0 || end < 0 || start >= n || end >= n) return nullptr;
  const IntPoint* p = mapobj_section_nodes(h, section);
  std::vector<IntPoint> run;
  if (end > start) {
    run.assign(p + start, p + end + 1);
  } else {
    run.assign(p + start, p + n);
    run.insert(run.end(), p, p + end + 1);
  }
  return mapobj_from_points(run.data(), static_cast<int32_t>(run.size()), obj, region);
}

namespace {

// One region of the given rings (each without its closing node), grouped as
// one polygon, styled after the model.
MapObject* region_of_rings(const MapObject* model, const MapSection* h, int32_t first, int32_t count) {
  MapObject* piece = nullptr;
  if (!mapobj_new(nullptr, &piece, MAPOBJ_REGION, 0)) return nullptr;
  int16_t ok = mapobjx_add_sections(piece, count, 0, nullptr);
  for (int32_t k = 0; ok && k < count; ++k) {
    int32_t n = h[first + k].node_count;
    if (n > 0) --n;
    ok = mapobjx_insert_nodes(piece, k, 0, mapobj_section_nodes(h, first + k), n, nullptr, nullptr);
  }
  if (!ok) {
    mapobj_destroy(&piece);
    return nullptr;
  }
  mapobj_take_styles(piece, model);
  mapobjx_normalize_keep_groups(piece, 1);
  return piece;
}

int16_t hand_over(MapObject* piece, MapPieceFn fn, void* user) { return piece ? fn(piece, user) : 0; }

}  // namespace

int16_t mapobj_explode(const MapObject* obj, int16_t no_holes, MapPieceFn fn, void* user) {
  int16_t r = 1;
  switch (obj->type) {
    case MAPOBJ_POINT:
    case MAPOBJ_LINE:
    case MAPOBJ_ARC:
    case MAPOBJ_RECT:
    case MAPOBJ_ROUNDRECT:
    case MAPOBJ_ELLIPSE: return hand_over(mapobj_dup(obj), fn, user);
    case MAPOBJ_POLYLINE: {
      const MapSection* h = static_cast<const MapSection*>(obj->nodes);
      for (int32_t s = 0; h && r && s < obj->u.poly.sections; ++s)
        r = hand_over(mapobj_from_points(mapobj_section_nodes(h, s), h[s].node_count, obj, 0), fn, user);
      return r;
    }
    case MAPOBJ_REGION: {
      const MapSection* h = static_cast<const MapSection*>(obj->nodes);
      int32_t S = obj->u.poly.sections;
      for (int32_t s = 0; h && r && s < S;) {
        int32_t count = no_holes ? 1 : 1 + h[s].holes;
        if (count > S - s) count = S - s;
        r = hand_over(region_of_rings(obj, h, s, count), fn, user);
        s += count;
      }
      return r;
    }
    case MAPOBJ_MULTIPOINT:
      for (int32_t i = 0; r && i < obj->u.multipoint.count; ++i) {
        MapObject* piece = nullptr;
        if (!mapobj_new(nullptr, &piece, MAPOBJ_POINT, 0)) return 0;
        mapobjx_point_set(piece, &multipoint_nodes(obj)[i], &obj->u.multipoint.symbol);
        r = fn(piece, user);
      }
      return r;
    case MAPOBJ_COLLECTION: {
      const MapObject* parts[3] = {obj->u.collection.region, obj->u.collection.polyline,
                                   obj->u.collection.multipoint};
      for (const MapObject* part : parts)
        if (part && r) r = mapobj_explode(part, no_holes, fn, user);
      return r;
    }
    default: return 0;
  }
}

MapObject* mapobj_dup_if(int16_t, const MapObject* obj) { return obj ? mapobj_dup_ex(obj, 0) : nullptr; }
