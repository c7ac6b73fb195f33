// Conversions between map objects and object records, their styles and
// coordinates. See objrec.h.
#include "kernel/mapobjects/objrec.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/num.h"

namespace {

constexpr uint32_t kRgb = 0xFFFFFF;

// A 32-byte name field of a record, terminated within the field.
void name_from_field(const char* field, char* out32) {
  char tmp[33];
  std::memcpy(tmp, field, 32);
  tmp[32] = '\0';
  style_set_name(out32, tmp);
}

// Tenths of a degree from degrees: round-half-away(fmod(d, 360) x 10).
int16_t tenths(double degrees) {
  double t = std::fmod(degrees, 360.0) * 10;
  return std::isfinite(t) ? num_round_short(t) : 0;
}
int16_t tenths_positive(double degrees) {
  int16_t t = tenths(degrees);
  while (t < 0) t = static_cast<int16_t>(t + 3600);
  return t;
}

int32_t sat32(int64_t v) { return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v)); }

// Whether converting the two corners reverses either axis.
void mirror_test(const DPoint& u1, const DPoint& u2, const IntPoint& i1, const IntPoint& i2, int16_t* fx,
                 int16_t* fy) {
  *fx = (u1.x < u2.x) != (i1.x < i2.x);
  *fy = (u1.y < u2.y) != (i1.y < i2.y);
}

// ---- object to record ------------------------------------------------------

struct Writer {
  const CoordXform* table;
  const CoordXform* target;
  DPoint* points;        // next free point of the point buffer
  ObjSection* sections;  // next free descriptor

  void sections_of(const MapObject* obj, ObjSection** first, int32_t* count) {
    MapSection* h = mapobj_lock_sections(const_cast<MapObject*>(obj), 0);
    *count = obj->u.poly.sections;
    *first = nullptr;
    for (int32_t s = 0; h && s < obj->u.poly.sections; ++s) {
      ObjSection& d = *sections++;
      if (s == 0) *first = &d;
      d.count = h[s].node_count;
      d.points = points;
      objrec_points_to_user(mapobj_section_nodes(h, s), points, d.count, table, target);
      points += d.count;
    }
  }
  void polyline(const MapObject* obj, ObjPolylineBody* b) {
    b->flags = obj->u.poly.line_flags & 1;
    objrec_point_to_user(&obj->u.poly.center, &b->center, table, target);
    sections_of(obj, &b->section, &b->sections);
    objrec_put_pen(&obj->pen, &b->pen);
  }
  void region(const MapObject* obj, ObjRegionBody* b) {
    objrec_point_to_user(&obj->u.poly.center, &b->center, table, target);
    sections_of(obj, &b->section, &b->sections);
    objrec_put_pen(&obj->pen, &b->pen);
    objrec_put_brush(&obj->brush, &b->brush);
  }
  bool multipoint(const MapObject* obj, ObjMultiPointBody* b) {
    if (!symbol_of(&obj->u.multipoint.symbol, &b->symbol_code, &b->symbol)) return false;
    objrec_point_to_user(&obj->u.multipoint.center, &b->center, table, target);
    b->count = obj->u.multipoint.count;
    b->points = points;
    objrec_points_to_user(static_cast<const IntPoint*>(obj->nodes), points, b->count, table, target);
    points += b->count;
    return true;
  }
  template <class Code>
  static bool symbol_of(const SymbolStyle* s, Code* code, ObjSymbol* out) {
    switch (s->kind) {
      case 0: *code = OBJREC_POINT, objrec_put_vector_symbol(s, out); return true;
      case 1: *code = OBJREC_FONT_POINT, objrec_put_font_symbol(s, out); return true;
      case 2: *code = OBJREC_BITMAP_POINT, objrec_put_bitmap_symbol(s, out); return true;
      default: return false;
    }
  }
};

int64_t node_count(const MapObject* obj) {
  int32_t n = 0;
  mapobjx_get_property(const_cast<MapObject*>(obj), OBJPROP_NODE_COUNT, &n);
  return n;
}

bool multi_to_record(const MapObject* obj, ObjRecord* rec, Writer& w) {
  int64_t sections = obj->type == MAPOBJ_MULTIPOINT ? 0 : obj->u.poly.sections;
  DPoint* points = nullptr;
  ObjSection* descriptors = nullptr;
  if (!objrec_alloc_buffers(node_count(obj), &descriptors, sections, &points)) return false;
  w.points = points;
  w.sections = descriptors;
  switch (obj->type) {
    case MAPOBJ_POLYLINE:
      if (obj->u.poly.sections == 1) {
        MapSection* h = mapobj_lock_sections(const_cast<MapObject*>(obj), 0);
        rec->code = OBJREC_POLYLINE;
        rec->u.polyline.flags = obj->u.poly.line_flags & 1;
        rec->u.polyline.count = h[0].node_count;
        rec->u.polyline.points = points;
        objrec_points_to_user(mapobj_section_nodes(h, 0), points, h[0].node_count, w.table, w.target);
        objrec_put_pen(&obj->pen, &rec->u.polyline.pen);
        return true;
      }
      rec->code = OBJREC_MULTI_POLYLINE;
      w.polyline(obj, &rec->u.multi);
      return true;
    case MAPOBJ_REGION:
      rec->code = OBJREC_REGION;
      w.region(obj, &rec->u.region);
      return true;
    default:
      rec->code = OBJREC_MULTIPOINT;
      return w.multipoint(obj, &rec->u.points);
  }
}

bool collection_to_record(const MapObject* obj, ObjRecord* rec, Writer& w) {
  const MapObject* parts[3] = {obj->u.collection.region, obj->u.collection.polyline, obj->u.collection.multipoint};
  int64_t nodes = 0, sections = 0;
  for (int i = 0; i < 3; ++i) {
    const MapObject* part = parts[i];
    if (!part || mapobj_is_empty(part)) {
      parts[i] = nullptr;
      continue;
    }
    nodes += node_count(part);
    if (i < 2) sections += part->u.poly.sections;
  }
  DPoint* points = nullptr;
  ObjSection* descriptors = nullptr;
  if (!objrec_alloc_buffers(nodes, &descriptors, sections, &points)) return false;
  rec->code = OBJREC_COLLECTION;
  std::memset(&rec->u.collection, 0, sizeof rec->u.collection);
  w.points = points;
  w.sections = descriptors;
  if (parts[0]) w.region(parts[0], &rec->u.collection.region);
  if (parts[1]) w.polyline(parts[1], &rec->u.collection.polyline);
  if (parts[2] && !w.multipoint(parts[2], &rec->u.collection.multipoint)) return false;
  return true;
}

bool text_to_record(const MapObject* obj, ObjRecord* rec, Writer& w) {
  const MapTextPart& t = obj->u.text;
  int32_t length = t.length > 0 ? t.length : 0;
  char* text = nullptr;
  if (!obj->nodes || !objrec_alloc_text_buffer(length, &text)) return false;
  std::memcpy(text, obj->nodes, static_cast<size_t>(length));
  text[length] = '\0';
  rec->code = OBJREC_TEXT;
  rec->u.text.text = text;
  IntRect box;
  objtext_unrotated_box(obj, w.table, &box);
  objrec_rect_to_user(&box, &rec->u.text.box, w.table, w.target);
  uint32_t moved = ((t.flags >> 1) & 3) | ((t.flags >> 3) & 3) << 2 | ((t.flags >> 5) & 7) << 4;
  rec->u.text.flags = (rec->u.text.flags & ~0x7Fu) | moved;
  objrec_point_to_user(&t.label_end, &rec->u.text.label_end, w.table, w.target);
  rec->u.text.angle = t.angle / 10.0;
  objrec_put_font(&t.font, &rec->u.text.font);
  if (objtext_has_label_line(obj)) objrec_put_pen(&obj->pen, &rec->u.text.pen);
  return true;
}

// ---- record to object ------------------------------------------------------

int16_t too_large(int32_t code) {
  err_push(4, code == OBJREC_REGION ? kErrRegionTooLarge
              : code == OBJREC_MULTIPOINT ? kErrRegionTooLarge
                                          : kErrPolylineTooLarge,
           nullptr, nullptr);
  return 0;
}

// 465 with the number as text: a code the record may not carry.
int16_t bad_code(int32_t code) {
  char number[16];
  fmt_format(number, sizeof number, "%d", static_cast<int>(code));
  err_push(4, kErrStyleRange, number, nullptr);
  return 0;
}

int16_t build_multi(const ObjRecord* rec, MapObject* obj, const CoordXform* source, const CoordXform* table,
                    int32_t code) {
  if (code == OBJREC_MULTIPOINT && (rec->u.points.symbol_code != OBJREC_POINT &&
                                    rec->u.points.symbol_code != OBJREC_FONT_POINT &&
                                    rec->u.points.symbol_code != OBJREC_BITMAP_POINT))
    return bad_code(rec->u.points.symbol_code);
  ObjSection single = {0, nullptr};
  const ObjSection* list = &single;
  int64_t count = 1;
  int32_t type = MAPOBJ_POLYLINE;
  switch (code) {
    case OBJREC_POLYLINE: single = {rec->u.polyline.count, rec->u.polyline.points}; break;
    case OBJREC_MULTI_POLYLINE: list = rec->u.multi.section, count = rec->u.multi.sections; break;
    case OBJREC_REGION:
      list = rec->u.region.section, count = rec->u.region.sections, type = MAPOBJ_REGION;
      break;
    default:
      single = {rec->u.points.count, rec->u.points.points};
      type = MAPOBJ_MULTIPOINT;
      break;
  }
  bool multipoint = type == MAPOBJ_MULTIPOINT;
  // Every count is checked, and the whole size worked out, before anything
  // is allocated.
  if (count < 1 || count > kObjRecMaxSections || !list) return too_large(code);
  int64_t nodes = 0;
  for (int64_t s = 0; s < count; ++s) {
    int64_t n = list[s].count;
    if (n < (multipoint ? 0 : 1) || n > kObjRecMaxSectionNodes || (n > 0 && !list[s].points)) return too_large(code);
    nodes += n;
  }
  int64_t bytes = multipoint ? 8 * nodes : 28 * count + 8 * (nodes + (type == MAPOBJ_REGION ? count : 0));
  if (bytes >= kMapNodeBufferLimit) return too_large(code);

  mapobj_init(obj, MAPOBJ_NONE);
  if (!mapobj_reset_type(obj, type, 1)) return 0;
  IntPoint* ints = nullptr;
  int64_t longest = 0;
  for (int64_t s = 0; s < count; ++s) longest = list[s].count > longest ? list[s].count : longest;
  if (!mem_alloc_zeroed(8 * (longest > 0 ? longest : 1), &ints)) return 0;
  int16_t ok = 1;
  if (multipoint) {
    objrec_points_from_user(list[0].points, ints, list[0].count, source, table);
    ok = mapobjx_multipoint_add_nodes(obj, list[0].count, ints, nullptr, nullptr);
  } else {
    ok = mapobjx_append_sections(obj, count, static_cast<int32_t>(nodes), 0, nullptr);
    for (int64_t s = 0; ok && s < count; ++s) {
      int32_t n = list[s].count;
      objrec_points_from_user(list[s].points, ints, n, source, table);
      if (type == MAPOBJ_REGION && n > 1 && point_equal(&ints[0], &ints[n - 1])) --n;
      ok = mapobjx_insert_nodes(obj, static_cast<int32_t>(s), 0, ints, n, nullptr, nullptr);
    }
  }
  mem_free(&ints);
  if (!ok) return 0;
  mapobjx_normalize(obj, 0);
  switch (code) {
    case OBJREC_POLYLINE:
    case OBJREC_MULTI_POLYLINE: {
      bool single_body = code == OBJREC_POLYLINE;
      int16_t smooth = static_cast<int16_t>((single_body ? rec->u.polyline.flags : rec->u.multi.flags) & 1);
      mapobjx_set_property(obj, OBJPROP_SMOOTH, &smooth);
      objrec_copy_pen(single_body ? &rec->u.polyline.pen : &rec->u.multi.pen, &obj->pen);
      return 1;
    }
    case OBJREC_REGION:
      objrec_copy_pen(&rec->u.region.pen, &obj->pen);
      objrec_copy_brush(&rec->u.region.brush, &obj->brush);
      return 1;
    default:
      return objrec_symbol_from_record(rec->u.points.symbol_code, &rec->u.points.symbol, &obj->u.multipoint.symbol);
  }
}

// The text with each backslash-n pair turned into a line feed, each carriage
// return before a line feed dropped and any other carriage return turned into
// a line feed; the length of the result (out may be null to count).
int64_t unescape_text(const char* in, char* out) {
  int64_t n = 0;
  for (const char* p = in; *p; ++p) {
    char c = *p;
    if (c == '\\' && p[1] == 'n') {
      c = '\n';
      ++p;
    } else if (c == '\r') {
      if (p[1] == '\n') continue;
      c = '\n';
    }
    if (out) out[n] = c;
    ++n;
  }
  return n;
}

int16_t text_from_record(const ObjRecord* rec, MapObject* obj, const CoordXform* source, const CoordXform* table) {
  const char* text = rec->u.text.text;
  if (!text) return 0;
  int64_t length = unescape_text(text, nullptr);
  if (length > kMapTextMax) {
    char number[24];
    fmt_format(number, sizeof number, "%I64d", static_cast<long long>(length));
    err_push(4, kErrStyleRange, number, nullptr);
    return 0;
  }
  mapobj_init(obj, MAPOBJ_NONE);
  if (!mapobj_reset_type(obj, MAPOBJ_TEXT, 1)) return 0;
  if (!mapobj_ensure_buffer(length + 1, &obj->nodes, nullptr)) return 0;
  char* out = static_cast<char*>(obj->nodes);
  unescape_text(text, out);
  out[length] = '\0';
  MapTextPart& t = obj->u.text;
  t.length = static_cast<int16_t>(length);
  IntRect box;
  objrec_rect_from_user(&rec->u.text.box, &box, source, table);
  uint32_t f = rec->u.text.flags;
  t.flags = (f & 3) << 1 | ((f >> 2) & 3) << 3 | ((f >> 4) & 7) << 5;
  t.height = sat32(static_cast<int64_t>(box.y2) - box.y1);
  t.angle = tenths_positive(rec->u.text.angle);
  if (t.angle != 0) objtext_rotate_box(&box, t.angle, table);
  t.box = box;
  obj->mbr = box;
  if (objtext_has_label_line(obj)) {
    objrec_point_from_user(&rec->u.text.label_end, &t.label_end, source, table);
    rect_add_point(&obj->mbr, &t.label_end);
    objrec_copy_pen(&rec->u.text.pen, &obj->pen);
  } else {
    rect_center(&box, &t.label_end);
  }
  objrec_copy_font(&rec->u.text.font, &t.font);
  return 1;
}

int16_t collection_from_record(const ObjRecord* rec, MapObject* obj, const CoordXform* source,
                               const CoordXform* table) {
  mapobj_init(obj, MAPOBJ_COLLECTION);
  const auto& c = rec->u.collection;
  const bool present[3] = {c.region.section != nullptr, c.polyline.section != nullptr, c.multipoint.count != 0};
  for (int i = 0; i < 3; ++i) {
    if (!present[i]) continue;
    ObjRecord scratch;
    std::memset(&scratch, 0, sizeof scratch);
    if (i == 0) scratch.code = OBJREC_REGION, scratch.u.region = c.region;
    if (i == 1) scratch.code = OBJREC_MULTI_POLYLINE, scratch.u.multi = c.polyline;
    if (i == 2) scratch.code = OBJREC_MULTIPOINT, scratch.u.points = c.multipoint;
    MapObject part;
    mapobj_init(&part, MAPOBJ_NONE);
    int16_t ok = objrec_to_object(&scratch, &part, source, table);
    if (ok) ok = mapobjx_collection_set_part(obj, &part, 0);
    mapobj_free(&part);
    if (!ok) return 0;
  }
  mapobj_update_mbr(obj);
  return 1;
}

}  // namespace

// ---- coordinates -----------------------------------------------------------

void objrec_point_to_user(const IntPoint* p, DPoint* out, const CoordXform* table, const CoordXform* target) {
  objrec_points_to_user(p, out, 1, table, target);
}

void objrec_points_to_user(const IntPoint* p, DPoint* out, int32_t n, const CoordXform* table,
                           const CoordXform* target) {
  if (n <= 0) return;
  if (!target) {
    xform_int_to_xy(p, out, table, n);
    return;
  }
  DatumDef datum;
  xform_int_to_lonlat_datum(p, out, table, n, &datum);
  xform_lonlat_to_xy(out, out, target, n, &datum);
}

void objrec_rect_to_user(const IntRect* r, DRect* out, const CoordXform* table, const CoordXform* target) {
  if (!target) {
    xform_int_rect_to_xy(r, out, table);
    return;
  }
  DatumDef datum;
  DRect lonlat;
  xform_int_rect_to_lonlat_datum(r, &lonlat, table, &datum);
  xform_lonlat_rect_to_xy(&lonlat, out, target, &datum);
}

void objrec_points_from_user(const DPoint* p, IntPoint* out, int32_t n, const CoordXform* source,
                             const CoordXform* table) {
  if (n <= 0) return;
  if (!source) {
    xform_xy_to_int(p, out, table, n);
    return;
  }
  for (int32_t i = 0; i < n; ++i) {
    DatumDef datum;
    DPoint lonlat;
    xform_xy_to_lonlat_datum(&p[i], &lonlat, source, 1, &datum);
    xform_lonlat_to_int(&lonlat, &out[i], table, 1, &datum);
  }
}

void objrec_point_from_user(const DPoint* p, IntPoint* out, const CoordXform* source, const CoordXform* table) {
  objrec_points_from_user(p, out, 1, source, table);
}

void objrec_rect_from_user(const DRect* r, IntRect* out, const CoordXform* source, const CoordXform* table) {
  if (!source) {
    xform_xy_rect_to_int(r, out, table);
    return;
  }
  DatumDef datum;
  DRect lonlat;
  xform_xy_rect_to_lonlat_datum(r, &lonlat, source, &datum);
  xform_lonlat_rect_to_int(&lonlat, out, table, &datum);
}

void objrec_points_to_user_plain(const IntPoint* p, DPoint* out, int32_t n, const CoordXform* table) {
  double sx = 1, sy = 1, ox = 0, oy = 0;
  xform_get_params(table, nullptr, nullptr, &sx, &sy, &ox, &oy);
  for (int32_t i = 0; i < n; ++i) {
    out[i].x = (p[i].x - ox) / sx;
    out[i].y = (p[i].y - oy) / sy;
  }
}

// ---- styles ----------------------------------------------------------------

namespace {

// Pens, brushes and fonts carry the same fields in records and in objects;
// colours are masked to 24 bits both ways.
template <class In, class Out>
void move_pen(const In* in, Out* out) {
  out->width = in->width;
  out->pattern = in->pattern;
  out->third = in->third;
  out->colour = in->colour & kRgb;
}
template <class In, class Out>
void move_brush(const In* in, Out* out) {
  out->fore = in->fore & kRgb;
  out->back = in->back & kRgb;
  out->transparent = in->transparent;
}
// Name up to its terminator, style bits 0-7 (the target's higher bits
// kept), the three flags, colours and the back-colour flag.
template <class In, class Out>
void move_font(const In* in, Out* out) {
  name_from_field(in->name, out->name);
  out->style_bits = (out->style_bits & ~0xFFu) | (in->style_bits & 0xFF);
  std::memcpy(out->flags, in->flags, sizeof out->flags);
  out->fore = in->fore & kRgb;
  out->back = in->back & kRgb;
  out->back_flag = in->back_flag;
}

}  // namespace

void objrec_copy_pen(const ObjPen* in, PenStyle* out) { move_pen(in, out); }
void objrec_put_pen(const PenStyle* in, ObjPen* out) { move_pen(in, out); }

void objrec_copy_brush(const ObjBrush* in, BrushStyle* out) {
  out->pattern = in->pattern == 0 ? 1 : in->pattern;
  move_brush(in, out);
}

void objrec_put_brush(const BrushStyle* in, ObjBrush* out) {
  out->pattern = in->pattern;
  move_brush(in, out);
}

void objrec_copy_font(const ObjFont* in, FontStyle* out) { move_font(in, out); }
void objrec_put_font(const FontStyle* in, ObjFont* out) { move_font(in, out); }

void objrec_put_vector_symbol(const SymbolStyle* in, ObjSymbol* out) {
  out->vector.shape = in->shape;
  out->vector.colour = in->colour & kRgb;
  out->vector.size = in->size;
}

void objrec_put_font_symbol(const SymbolStyle* in, ObjSymbol* out) {
  out->font.code = in->shape;
  out->font.colour = in->colour & kRgb;
  out->font.size = in->size;
  name_from_field(in->font.name, out->font.name);
  out->font.style = static_cast<int16_t>(symbol_get_font_style(in));
  out->font.rotation = in->rotation / 10.0;
}

void objrec_put_bitmap_symbol(const SymbolStyle* in, ObjSymbol* out) {
  name_from_field(in->bitmap.name, out->bitmap.name);
  out->bitmap.colour = in->colour & kRgb;
  out->bitmap.size = in->size;
  out->bitmap.style = static_cast<int16_t>(symbol_get_bitmap_style(in));
}

void objrec_symbol_from_vector(const ObjSymbol* in, SymbolStyle* out) {
  std::memset(out, 0, sizeof *out);
  out->kind = 0;
  out->shape = in->vector.shape;
  out->colour = in->vector.colour & kRgb;
  out->size = in->vector.size < 1 ? 1 : (in->vector.size > 240 ? 240 : in->vector.size);
}

void objrec_symbol_from_font(const ObjSymbol* in, SymbolStyle* out) {
  std::memset(out, 0, sizeof *out);
  out->kind = 1;
  out->shape = in->font.code;
  out->colour = in->font.colour & kRgb;
  out->size = in->font.size;
  name_from_field(in->font.name, out->font.name);
  symbol_set_font_style(out, in->font.style);
  out->rotation = tenths_positive(in->font.rotation);
}

void objrec_symbol_from_bitmap(const ObjSymbol* in, SymbolStyle* out) {
  std::memset(out, 0, sizeof *out);
  out->kind = 2;
  out->colour = in->bitmap.colour & kRgb;
  out->size = in->bitmap.size;
  name_from_field(in->bitmap.name, out->bitmap.name);
  symbol_set_bitmap_style(out, in->bitmap.style);
  out->shape = 0;
}

int16_t objrec_symbol_from_record(int32_t code, const ObjSymbol* in, SymbolStyle* out) {
  switch (code) {
    case OBJREC_POINT: objrec_symbol_from_vector(in, out); return 1;
    case OBJREC_FONT_POINT: objrec_symbol_from_font(in, out); return 1;
    case OBJREC_BITMAP_POINT: objrec_symbol_from_bitmap(in, out); return 1;
    default: return 0;
  }
}

// ---- conversions -----------------------------------------------------------

int16_t object_to_objrec(const MapObject* obj, ObjRecord* rec, const CoordXform* table, const CoordXform* target) {
  Writer w = {table, target, nullptr, nullptr};
  switch (obj->type) {
    case MAPOBJ_NONE: rec->code = OBJREC_NONE; return 1;
    case MAPOBJ_POINT: {
      uint8_t code = 0;
      ObjSymbol symbol;
      std::memset(&symbol, 0, sizeof symbol);
      if (!Writer::symbol_of(&obj->u.point.symbol, &code, &symbol)) return 0;
      rec->code = code;
      rec->u.point.symbol = symbol;
      objrec_point_to_user(&obj->u.point.location, &rec->u.point.at, table, target);
      return 1;
    }
    case MAPOBJ_LINE:
      rec->code = OBJREC_LINE;
      objrec_point_to_user(&obj->u.line.start, &rec->u.line.start, table, target);
      objrec_point_to_user(&obj->u.line.end, &rec->u.line.end, table, target);
      objrec_put_pen(&obj->pen, &rec->u.line.pen);
      return 1;
    case MAPOBJ_ARC: {
      const IntRect& r = obj->u.arc.rect;
      IntPoint i1 = {r.x1, r.y1}, i2 = {r.x2, r.y2};
      DPoint u1, u2;
      objrec_point_to_user(&i1, &u1, table, target);
      objrec_point_to_user(&i2, &u2, table, target);
      int16_t fx = 0, fy = 0, start = obj->u.arc.start, end = obj->u.arc.end;
      mirror_test(u1, u2, i1, i2, &fx, &fy);
      mapobjx_arc_mirror_angles(&start, &end, fx, fy);
      rec->code = OBJREC_ARC;
      objrec_rect_to_user(&r, &rec->u.arc.rect, table, target);
      rec->u.arc.start = start / 10.0;
      rec->u.arc.end = end / 10.0;
      objrec_put_pen(&obj->pen, &rec->u.arc.pen);
      return 1;
    }
    case MAPOBJ_POLYLINE:
    case MAPOBJ_REGION:
    case MAPOBJ_MULTIPOINT: return multi_to_record(obj, rec, w) ? 1 : 0;
    case MAPOBJ_TEXT: return text_to_record(obj, rec, w) ? 1 : 0;
    case MAPOBJ_RECT:
    case MAPOBJ_ELLIPSE:
      rec->code = obj->type == MAPOBJ_RECT ? OBJREC_RECT : OBJREC_ELLIPSE;
      objrec_rect_to_user(&obj->mbr, &rec->u.rect.rect, table, target);
      objrec_put_pen(&obj->pen, &rec->u.rect.pen);
      objrec_put_brush(&obj->brush, &rec->u.rect.brush);
      return 1;
    case MAPOBJ_ROUNDRECT: {
      rec->code = OBJREC_ROUNDRECT;
      objrec_rect_to_user(&obj->mbr, &rec->u.roundrect.rect, table, target);
      IntPoint origin = {0, 0}, across = {obj->u.roundrect.corner_width, 0}, up = {0, obj->u.roundrect.corner_height};
      DPoint o, a, u;
      objrec_point_to_user(&origin, &o, table, target);
      objrec_point_to_user(&across, &a, table, target);
      objrec_point_to_user(&up, &u, table, target);
      rec->u.roundrect.corner_width = std::fabs(a.x) - std::fabs(o.x);
      rec->u.roundrect.corner_height = std::fabs(u.y) - std::fabs(o.y);
      objrec_put_pen(&obj->pen, &rec->u.roundrect.pen);
      objrec_put_brush(&obj->brush, &rec->u.roundrect.brush);
      return 1;
    }
    case MAPOBJ_COLLECTION: return collection_to_record(obj, rec, w) ? 1 : 0;
    default: return 0;
  }
}

int16_t objrec_to_object(const ObjRecord* rec, MapObject* obj, const CoordXform* source, const CoordXform* table) {
  switch (rec->code) {
    case OBJREC_NONE: mapobj_init(obj, MAPOBJ_NONE); return 1;
    case OBJREC_POINT:
    case OBJREC_FONT_POINT:
    case OBJREC_BITMAP_POINT: {
      mapobj_init(obj, MAPOBJ_POINT);
      IntPoint at;
      objrec_point_from_user(&rec->u.point.at, &at, source, table);
      mapobjx_point_set(obj, &at, nullptr);
      return objrec_symbol_from_record(rec->code, &rec->u.point.symbol, &obj->u.point.symbol);
    }
    case OBJREC_LINE:
      mapobj_init(obj, MAPOBJ_LINE);
      objrec_point_from_user(&rec->u.line.start, &obj->u.line.start, source, table);
      objrec_point_from_user(&rec->u.line.end, &obj->u.line.end, source, table);
      rect_from_points(&obj->mbr, &obj->u.line.start, &obj->u.line.end);
      objrec_copy_pen(&rec->u.line.pen, &obj->pen);
      return 1;
    case OBJREC_ARC: {
      mapobj_init(obj, MAPOBJ_ARC);
      int16_t start = tenths(rec->u.arc.start), end = tenths(rec->u.arc.end);
      const DRect& r = rec->u.arc.rect;
      objrec_rect_from_user(&r, &obj->u.arc.rect, source, table);
      DPoint u1 = {r.x1, r.y1}, u2 = {r.x2, r.y2};
      IntPoint i1, i2;
      objrec_point_from_user(&u1, &i1, source, table);
      objrec_point_from_user(&u2, &i2, source, table);
      int16_t fx = 0, fy = 0;
      mirror_test(u1, u2, i1, i2, &fx, &fy);
      mapobjx_arc_mirror_angles(&start, &end, fx, fy);
      obj->u.arc.start = start;
      obj->u.arc.end = end;
      mapobjx_arc_compute_mbr(obj);
      objrec_copy_pen(&rec->u.arc.pen, &obj->pen);
      return 1;
    }
    case OBJREC_POLYLINE:
    case OBJREC_REGION:
    case OBJREC_MULTI_POLYLINE:
    case OBJREC_MULTIPOINT: return build_multi(rec, obj, source, table, rec->code);
    case OBJREC_TEXT: return text_from_record(rec, obj, source, table);
    case OBJREC_RECT:
    case OBJREC_ELLIPSE:
      mapobj_init(obj, rec->code == OBJREC_RECT ? MAPOBJ_RECT : MAPOBJ_ELLIPSE);
      objrec_rect_from_user(&rec->u.rect.rect, &obj->mbr, source, table);
      objrec_copy_pen(&rec->u.rect.pen, &obj->pen);
      objrec_copy_brush(&rec->u.rect.brush, &obj->brush);
      return 1;
    case OBJREC_ROUNDRECT: {
      mapobj_init(obj, MAPOBJ_ROUNDRECT);
      objrec_rect_from_user(&rec->u.roundrect.rect, &obj->mbr, source, table);
      DPoint o = {0, 0}, a = {rec->u.roundrect.corner_width, 0}, u = {0, rec->u.roundrect.corner_height};
      IntPoint io, ia, iu;
      objrec_point_from_user(&o, &io, source, table);
      objrec_point_from_user(&a, &ia, source, table);
      objrec_point_from_user(&u, &iu, source, table);
      obj->u.roundrect.corner_width = sat32(std::llabs(static_cast<int64_t>(ia.x) - io.x));
      obj->u.roundrect.corner_height = sat32(std::llabs(static_cast<int64_t>(iu.y) - io.y));
      objrec_copy_pen(&rec->u.roundrect.pen, &obj->pen);
      objrec_copy_brush(&rec->u.roundrect.brush, &obj->brush);
      return 1;
    }
    case OBJREC_COLLECTION: return collection_from_record(rec, obj, source, table);
    default: return bad_code(rec->code);
  }
}

int16_t object_get_styles(const MapObject* obj, ObjStyles* styles, int32_t* code_out) {
  if (!styles) return 0;
  int32_t code = 0;
  switch (obj->type) {
    case MAPOBJ_NONE: code = OBJREC_NONE; break;
    case MAPOBJ_POINT:
    case MAPOBJ_MULTIPOINT: {
      uint8_t symbol_code = 0;
      if (!Writer::symbol_of(obj->type == MAPOBJ_POINT ? &obj->u.point.symbol : &obj->u.multipoint.symbol,
                             &symbol_code, &styles->symbol))
        return 0;
      styles->flags |= 1;
      styles->symbol_code = symbol_code;
      code = obj->type == MAPOBJ_POINT ? static_cast<int32_t>(symbol_code) : static_cast<int32_t>(OBJREC_MULTIPOINT);
      break;
    }
    case MAPOBJ_LINE:
    case MAPOBJ_ARC:
    case MAPOBJ_POLYLINE:
      styles->flags |= 2;
      objrec_put_pen(&obj->pen, &styles->line_pen);
      code = obj->type == MAPOBJ_LINE ? OBJREC_LINE : obj->type == MAPOBJ_ARC ? OBJREC_ARC : OBJREC_POLYLINE;
      break;
    case MAPOBJ_REGION:
    case MAPOBJ_RECT:
    case MAPOBJ_ROUNDRECT:
    case MAPOBJ_ELLIPSE: {
      static const int32_t kCodes[] = {OBJREC_REGION, 0, OBJREC_RECT, OBJREC_ROUNDRECT, OBJREC_ELLIPSE};
      styles->flags |= 4 | 8;
      objrec_put_pen(&obj->pen, &styles->area_pen);
      objrec_put_brush(&obj->brush, &styles->brush);
      code = kCodes[obj->type - MAPOBJ_REGION];
      break;
    }
    case MAPOBJ_TEXT:
      code = OBJREC_TEXT;
      objrec_put_font(&obj->u.text.font, &styles->font);
      if (objtext_has_label_line(obj)) objrec_put_pen(&obj->pen, &styles->area_pen);
      break;
    case MAPOBJ_COLLECTION: {
      code = OBJREC_COLLECTION;
      const MapObject* parts[3] = {obj->u.collection.region, obj->u.collection.polyline,
                                   obj->u.collection.multipoint};
      for (const MapObject* part : parts)
        if (part && !object_get_styles(part, styles, nullptr)) return 0;
      break;
    }
    default: return 0;
  }
  if (code_out) *code_out = code;
  return 1;
}
