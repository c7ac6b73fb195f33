// Object properties by id, styles of objects and collection parts. See
// objprop.h.
#include "kernel/mapobjects/objprop.h"

#include <cstring>

#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objgeom_test.h"

namespace {

template <class T>
void put(void* out, const T& v) {
  std::memcpy(out, &v, sizeof v);
}
template <class T>
T take(const void* in) {
  T v;
  std::memcpy(&v, in, sizeof v);
  return v;
}

bool has_brush_type(int32_t type) { return type == 5 || (type >= 7 && type <= 10); }

int16_t get_bits(uint32_t flags, int shift, uint32_t mask) { return static_cast<int16_t>((flags >> shift) & mask); }
void set_bits(uint32_t* flags, int shift, uint32_t mask, int32_t value) {
  *flags = (*flags & ~(mask << shift)) | ((static_cast<uint32_t>(value) & mask) << shift);
}

// The text flag fields addressed by id: shift and mask.
bool text_bits(int32_t id, int* shift, uint32_t* mask) {
  switch (id) {
    case OBJPROP_TEXT_SPACING: *shift = 3, *mask = 3; return true;
    case OBJPROP_TEXT_JUSTIFY: *shift = 1, *mask = 3; return true;
    case OBJPROP_TEXT_LABEL_LINE: *shift = 5, *mask = 7; return true;
    case OBJPROP_TEXT_FLAG0: *shift = 0, *mask = 1; return true;
    case OBJPROP_TEXT_FLAG8: *shift = 8, *mask = 1; return true;
    case OBJPROP_TEXT_BITS9: *shift = 9, *mask = 0xF; return true;
    case OBJPROP_TEXT_FLAG13: *shift = 13, *mask = 1; return true;
    default: return false;
  }
}

MapObject* region_part(const MapObject* obj) { return obj->type == MAPOBJ_COLLECTION ? obj->u.collection.region : nullptr; }
MapObject* polyline_part(const MapObject* obj) {
  return obj->type == MAPOBJ_COLLECTION ? obj->u.collection.polyline : nullptr;
}
MapObject* multipoint_part(const MapObject* obj) {
  return obj->type == MAPOBJ_COLLECTION ? obj->u.collection.multipoint : nullptr;
}

int16_t put_pen(MapObject* target, const PenStyle* pen) {
  return target ? mapobjx_set_property(target, OBJPROP_PEN, pen) : 0;
}
int16_t put_brush(MapObject* target, const BrushStyle* brush) {
  return target ? mapobjx_set_property(target, OBJPROP_BRUSH, brush) : 0;
}
int16_t put_symbol(MapObject* target, const SymbolStyle* symbol) {
  return target ? mapobjx_set_property(target, OBJPROP_SYMBOL, symbol) : 0;
}

}  // namespace

// ---- properties ------------------------------------------------------------

int16_t mapobjx_polyline_get_property(MapObject* obj, int32_t id, void* out) {
  const MapPolyPart& p = obj->u.poly;
  int32_t nodes = static_cast<int32_t>((static_cast<int64_t>(p.size) - 28LL * p.sections) / 8);
  switch (id) {
    case OBJPROP_SMOOTH:
      if (obj->type != MAPOBJ_POLYLINE) return 0;
      put<int16_t>(out, static_cast<int16_t>(p.line_flags & 1));
      return 1;
    case OBJPROP_SECTION_COUNT: put<int32_t>(out, p.sections); return 1;
    case OBJPROP_OPEN_NODE_COUNT: put<int32_t>(out, nodes - p.sections); return 1;
    case OBJPROP_CENTER: put(out, p.center); return 1;
    case OBJPROP_NODE_COUNT: put<int32_t>(out, nodes); return 1;
    default: break;
  }
  int64_t n = static_cast<int64_t>(id) - OBJPROP_SECTION_NODES;
  if (n < 0 || n >= p.sections || !obj->nodes) return 0;
  int32_t c = mapobj_section_node_count(obj, static_cast<int32_t>(n));
  if (obj->type == MAPOBJ_REGION && c > 0) --c;
  put<int32_t>(out, c);
  return 1;
}

int16_t mapobjx_polyline_set_property(MapObject* obj, int32_t id, const void* in) {
  switch (id) {
    case OBJPROP_SMOOTH:
      if (obj->type != MAPOBJ_POLYLINE) return 0;
      set_bits(&obj->u.poly.line_flags, 0, 1, take<int16_t>(in));
      return 1;
    case OBJPROP_CENTER: obj->u.poly.center = take<IntPoint>(in); return 1;
    default: return 0;
  }
}

int16_t mapobjx_text_get_property(MapObject* obj, int32_t id, void* out) {
  MapTextPart& t = obj->u.text;
  int shift = 0;
  uint32_t mask = 0;
  if (text_bits(id, &shift, &mask)) {
    put<int16_t>(out, get_bits(t.flags, shift, mask));
    return 1;
  }
  switch (id) {
    case OBJPROP_TEXT_FONT: put(out, t.font); return 1;
    case OBJPROP_TEXT_HEIGHT: put(out, t.height); return 1;
    case OBJPROP_TEXT_ANGLE: put(out, t.angle); return 1;
    case OBJPROP_TEXT_STRING:
      if (!obj->nodes) return 0;
      std::memcpy(out, obj->nodes, static_cast<size_t>(t.length > 0 ? t.length : 0));
      static_cast<char*>(out)[t.length > 0 ? t.length : 0] = '\0';
      return 1;
    case OBJPROP_TEXT_BOX: put(out, t.box); return 1;
    case OBJPROP_TEXT_LABEL_POINT: put(out, t.label_end); return 1;
    case OBJPROP_TEXT_VALUE274: put(out, t.value274); return 1;
    case OBJPROP_TEXT_CORNERS: std::memcpy(out, t.corners, sizeof t.corners); return 1;
    case OBJPROP_TEXT_ORIGIN: put(out, IntPoint{t.box.x1, t.box.y1}); return 1;
    case OBJPROP_TEXT_CORNERS_BOUNDS: {
      IntRect r;
      rect_from_points(&r, &t.corners[0], &t.corners[0]);
      for (int i = 1; i < 4; ++i) rect_add_point(&r, &t.corners[i]);
      put(out, r);
      return 1;
    }
    case OBJPROP_TEXT_VALUE278: put(out, t.value278); return 1;
    case OBJPROP_TEXT_ALL: put(out, t); return 1;
    default: return 0;
  }
}

int16_t mapobjx_text_set_property(MapObject* obj, int32_t id, const void* in) {
  MapTextPart& t = obj->u.text;
  int shift = 0;
  uint32_t mask = 0;
  if (text_bits(id, &shift, &mask)) {
    int16_t v = take<int16_t>(in);
    if (id == OBJPROP_TEXT_JUSTIFY && (v < 0 || v > 3)) return 1;
    set_bits(&t.flags, shift, mask, v);
    return 1;
  }
  switch (id) {
    case OBJPROP_TEXT_FONT: t.font = take<FontStyle>(in); return 1;
    case OBJPROP_TEXT_HEIGHT: t.height = take<int32_t>(in); return 1;
    case OBJPROP_TEXT_ANGLE: t.angle = take<int16_t>(in); return 1;
    case OBJPROP_TEXT_STRING: return objtext_set_string(obj, static_cast<const char*>(in));
    case OBJPROP_TEXT_BOX: t.box = take<IntRect>(in); return 1;
    case OBJPROP_TEXT_LABEL_POINT: t.label_end = take<IntPoint>(in); return 1;
    case OBJPROP_TEXT_VALUE274: t.value274 = take<int16_t>(in); return 1;
    case OBJPROP_TEXT_CORNERS: std::memcpy(t.corners, in, sizeof t.corners); return 1;
    case OBJPROP_TEXT_ORIGIN: {
      IntPoint p = take<IntPoint>(in);
      rect_from_points(&t.box, &p, &p);
      return 1;
    }
    case OBJPROP_TEXT_VALUE278: t.value278 = take<int16_t>(in); return 1;
    case OBJPROP_TEXT_ALL: {
      int16_t length = t.length;  // the string's length stays with its buffer
      t = take<MapTextPart>(in);
      t.length = length;
      return 1;
    }
    default: return 0;
  }
}

int16_t mapobjx_multipoint_get_property(MapObject* obj, int32_t id, void* out) {
  switch (id) {
    case OBJPROP_SYMBOL: put(out, obj->u.multipoint.symbol); return 1;
    case OBJPROP_CENTER: put(out, obj->u.multipoint.center); return 1;
    case OBJPROP_NODE_COUNT: put(out, obj->u.multipoint.count); return 1;
    default: return 0;
  }
}

int16_t mapobjx_multipoint_set_property(MapObject* obj, int32_t id, const void* in) {
  switch (id) {
    case OBJPROP_SYMBOL: obj->u.multipoint.symbol = take<SymbolStyle>(in); return 1;
    case OBJPROP_CENTER: obj->u.multipoint.center = take<IntPoint>(in); return 1;
    default: return 0;
  }
}

int16_t mapobjx_collection_get_property(MapObject* obj, int32_t id, void* out) {
  if (id != OBJPROP_CENTER) return 0;
  MapObject* parts[3] = {obj->u.collection.region, obj->u.collection.polyline, obj->u.collection.multipoint};
  for (MapObject* part : parts)
    if (part && !mapobj_is_empty(part)) return mapobjx_get_property(part, OBJPROP_CENTER, out);
  return 1;
}

int16_t mapobjx_collection_set_property(MapObject* obj, int32_t id, const void* in) {
  if (id != OBJPROP_CENTER) return 0;
  MapObject* parts[3] = {obj->u.collection.region, obj->u.collection.polyline, obj->u.collection.multipoint};
  for (MapObject* part : parts)
    if (part) return mapobjx_set_property(part, OBJPROP_CENTER, in);
  return 1;
}

int16_t mapobjx_get_property(MapObject* obj, int32_t id, void* out) {
  switch (id) {
    case OBJPROP_TYPE: put<uint8_t>(out, obj->type); return 1;
    case OBJPROP_PEN:
      if (obj->type == MAPOBJ_POINT) return 0;
      put(out, obj->pen);
      return 1;
    case OBJPROP_BRUSH:
      if (!has_brush_type(obj->type)) return 0;
      put(out, obj->brush);
      return 1;
    case OBJPROP_ROWID: put(out, obj->row_id); return 1;
    case OBJPROP_BOUNDS: put(out, obj->mbr); return 1;
    case OBJPROP_NOT_EMPTY:
      put<int16_t>(out, mapobj_is_empty(obj) ? 0 : 1);
      return 1;
    case OBJPROP_HAS_Z: put<int16_t>(out, mapobj_has_z(obj)); return 1;
    case OBJPROP_HAS_M: put<int16_t>(out, mapobj_has_m(obj)); return 1;
    default: break;
  }
  switch (obj->type) {
    case MAPOBJ_POINT:
      if (id == OBJPROP_SYMBOL) return put(out, obj->u.point.symbol), 1;
      if (id == OBJPROP_POINT) return put(out, obj->u.point.location), 1;
      return 0;
    case MAPOBJ_LINE:
      if (id != OBJPROP_LINE) return 0;
      put(out, obj->u.line);
      return 1;
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: return mapobjx_polyline_get_property(obj, id, out);
    case MAPOBJ_TEXT: return mapobjx_text_get_property(obj, id, out);
    case MAPOBJ_FRAME:
      if (id == OBJPROP_FRAME_VALUE512) return put(out, obj->u.frame.value512), 1;
      if (id == OBJPROP_FRAME_VALUE513) return put(out, obj->u.frame.value513), 1;
      if (id == OBJPROP_FRAME_FILL) return put<int16_t>(out, static_cast<int16_t>(obj->u.frame.frame_flags & 1)), 1;
      return 0;
    case MAPOBJ_MULTIPOINT: return mapobjx_multipoint_get_property(obj, id, out);
    case MAPOBJ_COLLECTION: return mapobjx_collection_get_property(obj, id, out);
    default: return 0;
  }
}

int16_t mapobjx_get_property_sized(MapObject* obj, int32_t id, void* out, int64_t size) {
  if (id == OBJPROP_TEXT_STRING && obj->type == MAPOBJ_TEXT) {
    int64_t length = obj->u.text.length > 0 ? obj->u.text.length : 0;
    if (!obj->nodes || size < length + 1) return 0;
  }
  return mapobjx_get_property(obj, id, out);
}

int16_t mapobjx_set_property(MapObject* obj, int32_t id, const void* in) {
  switch (id) {
    case OBJPROP_TYPE: return mapobj_reset_type(obj, take<uint8_t>(in), 1);
    case OBJPROP_PEN:
      if (obj->type == MAPOBJ_POINT) return 0;
      obj->pen = take<PenStyle>(in);
      return 1;
    case OBJPROP_BRUSH:
      if (!has_brush_type(obj->type)) return 0;
      obj->brush = take<BrushStyle>(in);
      return 1;
    case OBJPROP_ROWID: obj->row_id = take<int32_t>(in); return 1;
    case OBJPROP_BOUNDS: obj->mbr = take<IntRect>(in); return 1;
    case OBJPROP_NOT_EMPTY:
    case OBJPROP_HAS_Z:
    case OBJPROP_HAS_M: return 0;
    default: break;
  }
  switch (obj->type) {
    case MAPOBJ_POINT:
      if (id == OBJPROP_SYMBOL) return obj->u.point.symbol = take<SymbolStyle>(in), 1;
      if (id == OBJPROP_POINT) return obj->u.point.location = take<IntPoint>(in), 1;
      return 0;
    case MAPOBJ_LINE:
      if (id != OBJPROP_LINE) return 0;
      obj->u.line = take<MapLinePart>(in);
      return 1;
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION: return mapobjx_polyline_set_property(obj, id, in);
    case MAPOBJ_TEXT: return mapobjx_text_set_property(obj, id, in);
    case MAPOBJ_FRAME:
      if (id == OBJPROP_FRAME_VALUE512) return obj->u.frame.value512 = take<int32_t>(in), 1;
      if (id == OBJPROP_FRAME_VALUE513) return obj->u.frame.value513 = take<int32_t>(in), 1;
      if (id == OBJPROP_FRAME_FILL) return set_bits(&obj->u.frame.frame_flags, 0, 1, take<int16_t>(in)), 1;
      return 0;
    case MAPOBJ_MULTIPOINT: return mapobjx_multipoint_set_property(obj, id, in);
    case MAPOBJ_COLLECTION: return mapobjx_collection_set_property(obj, id, in);
    default: return 0;
  }
}

int16_t mapobjx_set_center(MapObject* obj, const IntPoint* point, int16_t check) {
  if (!point) return 0;
  if (check && obj->type == MAPOBJ_REGION && !mapobjx_point_in_region(point, obj)) return 0;
  return mapobjx_set_property(obj, OBJPROP_CENTER, point);
}

int16_t mapobjx_point_set(MapObject* obj, const IntPoint* location, const SymbolStyle* symbol) {
  if (obj->type != MAPOBJ_POINT) return 0;
  if (location) {
    obj->u.point.location = *location;
    rect_from_points(&obj->mbr, location, location);
  }
  if (symbol) obj->u.point.symbol = *symbol;
  return 1;
}

int16_t mapobjx_point_set_m(MapObject* obj, const IntPoint* location, const SymbolStyle* symbol, double m) {
  if (!mapobjx_point_set(obj, location, symbol)) return 0;
  obj->u.point.m = m;
  obj->has_m = 1;
  return 1;
}

int16_t mapobjx_point_set_zm(MapObject* obj, const IntPoint* location, const SymbolStyle* symbol, double z,
                             double m) {
  if (!mapobjx_point_set_m(obj, location, symbol, m)) return 0;
  obj->u.point.z = z;
  obj->has_z = 1;
  return 1;
}

// ---- styles of objects -----------------------------------------------------

int16_t mapobj_get_line_pen(const MapObject* obj, PenStyle* out) {
  const MapObject* src = nullptr;
  switch (obj->type) {
    case 2: case 3: case 4: case 6: src = obj; break;
    case MAPOBJ_COLLECTION: src = polyline_part(obj); break;
    default: break;
  }
  if (!src) return 0;
  if (out) *out = src->pen;
  return 1;
}

static const MapObject* area_source(const MapObject* obj) {
  if (has_brush_type(obj->type)) return obj;
  return region_part(obj);
}

int16_t mapobj_get_area_pen(const MapObject* obj, PenStyle* out) {
  const MapObject* src = area_source(obj);
  if (!src) return 0;
  if (out) *out = src->pen;
  return 1;
}

int16_t mapobj_get_brush(const MapObject* obj, BrushStyle* out) {
  const MapObject* src = area_source(obj);
  if (!src) return 0;
  if (out) *out = src->brush;
  return 1;
}

int16_t mapobj_get_symbol(const MapObject* obj, SymbolStyle* out) {
  const SymbolStyle* s = nullptr;
  if (obj->type == MAPOBJ_POINT) s = &obj->u.point.symbol;
  if (obj->type == MAPOBJ_MULTIPOINT) s = &obj->u.multipoint.symbol;
  if (const MapObject* part = multipoint_part(obj)) s = &part->u.multipoint.symbol;
  if (!s) return 0;
  if (out) *out = *s;
  return 1;
}

int16_t mapobj_get_font(const MapObject* obj, FontStyle* out) {
  if (obj->type != MAPOBJ_TEXT) return 0;
  if (out) *out = obj->u.text.font;
  return 1;
}

int16_t objtext_has_label_line(const MapObject* obj) {
  return obj->type == MAPOBJ_TEXT && ((obj->u.text.flags >> 5) & 7) != 0;
}

int16_t objtext_flag0(const MapObject* obj) { return obj->type == MAPOBJ_TEXT && (obj->u.text.flags & 1); }

int16_t mapobj_copy_styles(MapObject* target, const MapObject* source) {
  int16_t result = 0;
  BrushStyle brush;
  PenStyle pen;
  SymbolStyle symbol;
  if (mapobj_get_brush(source, &brush)) {
    MapObject* t = target->type == MAPOBJ_COLLECTION ? region_part(target) : target;
    result = put_brush(t, &brush);
    if (result && mapobj_get_area_pen(source, &pen)) result = put_pen(t, &pen);
  }
  if (source->type == MAPOBJ_TEXT) {
    result = mapobjx_set_property(target, OBJPROP_TEXT_FONT, &source->u.text.font);
    if (target->type != MAPOBJ_TEXT) result = 0;
    if (result) result = put_pen(target, &source->pen);
  }
  if (mapobj_get_line_pen(source, &pen)) {
    if (target->type == MAPOBJ_COLLECTION) {
      if (MapObject* part = polyline_part(target)) result = put_pen(part, &pen);
    } else if (!has_brush_type(target->type)) {
      result = put_pen(target, &pen);
    }
  }
  if (mapobj_get_symbol(source, &symbol)) {
    MapObject* t = target->type == MAPOBJ_COLLECTION ? multipoint_part(target) : target;
    if (!t) return result;
    result = put_symbol(t, &symbol);
  }
  return result;
}

int16_t mapobj_apply_style_set(MapObject* obj, const StyleSet* set) {
  int32_t type = obj->type;
  MapObject* area = has_brush_type(type) ? obj : region_part(obj);
  if (area) {
    if (!put_brush(area, &set->brush)) return 0;
    put_pen(area, &set->area_pen);
  }
  if (type >= 2 && type <= 4) put_pen(obj, &set->line_pen);
  if (MapObject* part = polyline_part(obj)) put_pen(part, &set->line_pen);
  if (type == MAPOBJ_TEXT && mapobjx_set_property(obj, OBJPROP_TEXT_FONT, &set->font)) put_pen(obj, &set->area_pen);
  MapObject* point = (type == MAPOBJ_POINT || type == MAPOBJ_MULTIPOINT) ? obj : multipoint_part(obj);
  if (point) put_symbol(point, &set->symbol);
  return 1;
}

int16_t mapobj_take_styles(MapObject* target, const MapObject* source) {
  int16_t r = mapobj_copy_styles(target, source);
  if (!r) r = mapobj_apply_style_set(target, &g_default_style_set);
  if (target->type == MAPOBJ_POLYLINE && source->type == MAPOBJ_POLYLINE)
    target->u.poly.line_flags = (target->u.poly.line_flags & ~1u) | (source->u.poly.line_flags & 1);
  return r;
}

// ---- collections -----------------------------------------------------------

static int16_t has_part(const MapObject* obj, MapHandle handle) {
  return obj->type == MAPOBJ_COLLECTION && handle && !mapobj_is_empty(handle);
}

int16_t mapobjx_collection_has_region(const MapObject* obj) { return has_part(obj, obj->region_handle); }
int16_t mapobjx_collection_has_polyline(const MapObject* obj) { return has_part(obj, obj->polyline_handle); }
int16_t mapobjx_collection_has_multipoint(const MapObject* obj) { return has_part(obj, obj->multipoint_handle); }

int16_t mapobjx_collection_part_mask(const MapObject* obj, int16_t* mask_out) {
  int16_t mask = 0;
  if (mapobjx_collection_has_region(obj)) mask |= 1;
  if (mapobjx_collection_has_polyline(obj)) mask |= 2;
  if (mapobjx_collection_has_multipoint(obj)) mask |= 4;
  if (mask_out) *mask_out = mask;
  return 1;
}

int16_t mapobjx_collection_set_part(MapObject* collection, const MapObject* obj, int16_t replace) {
  if (collection->type != MAPOBJ_COLLECTION) return 0;
  if (obj->type == MAPOBJ_TEXT) {
    mapobj_update_mbr(collection);
    return 1;
  }
  if (!mapobj_is_collectable(obj)) return 0;
  MapHandle* handle = nullptr;
  MapObject** pointer = nullptr;
  switch (obj->type) {
    case MAPOBJ_POINT:
    case MAPOBJ_MULTIPOINT:
      handle = &collection->multipoint_handle, pointer = &collection->u.collection.multipoint;
      break;
    case MAPOBJ_LINE:
    case MAPOBJ_ARC:
    case MAPOBJ_POLYLINE:
      handle = &collection->polyline_handle, pointer = &collection->u.collection.polyline;
      break;
    default: handle = &collection->region_handle, pointer = &collection->u.collection.region; break;
  }
  if (*handle) {
    if (!replace) return 0;
    mapobj_unlock(*handle);
    mapobj_destroy(handle);
    *pointer = nullptr;
  }
  MapObject* part = nullptr;
  switch (obj->type) {
    case MAPOBJ_POINT:
      if (mapobj_new(nullptr, &part, MAPOBJ_MULTIPOINT, 0) &&
          mapobjx_multipoint_add_nodes(part, 1, &obj->u.point.location, nullptr, nullptr)) {
        mapobj_copy_styles(part, obj);
        mapobjx_normalize(part, 0);
      } else {
        mapobj_destroy(&part);
      }
      break;
    case MAPOBJ_MULTIPOINT: part = mapobj_dup(obj); break;
    case MAPOBJ_LINE:
    case MAPOBJ_ARC:
    case MAPOBJ_POLYLINE: part = mapobj_to_polyline_or_region(obj, 0); break;
    default: part = mapobj_to_polyline_or_region(obj, 1); break;
  }
  *handle = part;
  *pointer = mapobj_lock(part);
  mapobj_update_mbr(collection);
  return part ? 1 : 0;
}

int16_t mapobjx_collection_get_part(const MapObject* collection, MapObject* out, int32_t type) {
  if (collection->type != MAPOBJ_COLLECTION) return 0;
  const MapObject* part = nullptr;
  if (type == MAPOBJ_REGION) part = collection->u.collection.region;
  if (type == MAPOBJ_POLYLINE) part = collection->u.collection.polyline;
  if (type == MAPOBJ_MULTIPOINT) part = collection->u.collection.multipoint;
  if (!part || mapobj_is_empty(part)) return 0;
  mapobj_set_type(out, type);
  return mapobj_copy(part, out);
}

MapObject* mapobjx_collection_new_part_object(const MapObject* collection, int32_t type) {
  MapObject* obj = nullptr;
  if (!mapobj_new(nullptr, &obj, MAPOBJ_NONE, 0)) return nullptr;
  mapobj_free(obj);
  if (!mapobjx_collection_get_part(collection, obj, type)) {
    mapobj_destroy(&obj);
    return nullptr;
  }
  return obj;
}
