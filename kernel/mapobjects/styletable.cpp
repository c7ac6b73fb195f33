// Session style tables: entries in kernel lists, equality by kind, entries
// from objects and from a map file's style resources, defaults and samples.
#include "kernel/mapobjects/styletable.h"

#include <strings.h>

#include <cstring>

#include "kernel/mapobjects/mapfile.h"
#include "kernel/mapobjects/mapstore.h"
#include "kernel/mapobjects/mapstyle.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/mem.h"
#include "kernel/tables/lang/walker.h"

namespace {

KernelList* kind_list(StyleTable* t, int32_t kind) {
  switch (kind) {
    case STYLE_AREA: return &t->by_kind[0];
    case STYLE_LINE: return &t->by_kind[1];
    case STYLE_SYMBOL: return &t->by_kind[2];
    case STYLE_MIXED: return &t->by_kind[3];
    default: return nullptr;
  }
}

StyleEntry* new_copy(const StyleEntry* src) {
  StyleEntry* e = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(StyleEntry)), &e)) return nullptr;
  style_entry_copy(e, src);
  e->next = nullptr;
  return e;
}

void copy_source(StyleSource* dst, const StyleSource* src) {
  *dst = *src;
  dst->expr = nullptr;
  if (!src->expr) return;
  const int64_t size = static_cast<int64_t>(mem_size(src->expr));
  void* block = nullptr;
  if (size > 0 && mem_alloc_zeroed(size, &block, nullptr)) {
    std::memcpy(block, src->expr, static_cast<size_t>(size));
    dst->expr = static_cast<CompiledExpr*>(block);
  }
}

// Adds the count to an equal entry of the main list, or appends a new one.
int16_t gather(StyleTable* t, const StyleEntry* e, int32_t count) {
  StyleEntry* found = nullptr;
  if (style_table_find(t, e, &found)) return style_entry_add_uses(found, count);
  return style_table_add(t, e, count);
}

int32_t uses_of(MapFile* mf, int32_t position) {
  int32_t count = 0;
  return mapstyle_read_uses(mf, position, &count) ? count : -1;
}

}  // namespace

int16_t style_table_init(StyleTable* t, const StyleSource* source, const char* name) {
  std::memset(t, 0, sizeof *t);
  if (source) {
    if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(StyleSource)), &t->source)) return 0;
    copy_source(t->source, source);
  }
  list_init(&t->entries);
  for (auto& l : t->by_kind) list_init(&l);
  return style_table_set_name(t, name ? name : "");
}

void style_table_free(StyleTable* t) {
  list_free_all(&t->entries);
  for (auto& l : t->by_kind) list_free_all(&l);
  if (t->source) {
    void* expr = t->source->expr;
    mem_free(&expr);
    void* src = t->source;
    mem_free(&src);
    t->source = nullptr;
  }
}

int16_t style_table_set_name(StyleTable* t, const char* name) {
  std::memset(t->name, 0, sizeof t->name);
  std::strncpy(t->name, name, sizeof t->name - 1);
  return 1;
}

int16_t style_entry_init(StyleEntry* e, int32_t kind) {
  std::memset(e, 0, sizeof *e);
  e->kind = kind;
  e->uses = -1;
  return 1;
}

int16_t style_entry_copy(StyleEntry* dst, const StyleEntry* src) {
  StyleEntry* next = dst->next;
  *dst = *src;
  dst->next = next;
  return 1;
}

int16_t style_entry_add_uses(StyleEntry* e, int32_t count) {
  e->uses += count;
  return 1;
}

int16_t style_table_add(StyleTable* t, const StyleEntry* entry, int32_t count) {
  StyleEntry* e = new_copy(entry);
  if (!e) return 0;
  e->uses = count;
  list_add(&t->entries, e, 1);
  return 1;
}

int16_t style_table_add_by_kind(StyleTable* t, const StyleEntry* entry) {
  KernelList* l = kind_list(t, entry->kind);
  if (!l) return 0;
  StyleEntry* e = new_copy(entry);
  if (!e) return 0;
  list_add(l, e, 1);
  return 1;
}

int16_t style_table_merge_kinds(StyleTable* t) {
  for (auto& l : t->by_kind) {
    if (list_is_empty(&l)) continue;
    list_append_list(&t->entries, &l, 1);
    list_init(&l);
  }
  return 1;
}

int16_t style_table_find(StyleTable* t, const StyleEntry* entry, StyleEntry** out) {
  *out = nullptr;
  for (auto* e = static_cast<StyleEntry*>(t->entries.head); e; e = e->next) {
    if (style_entry_equal(e, entry)) {
      *out = e;
      return 1;
    }
  }
  return 0;
}

int16_t style_table_find_unmarked(StyleTable* t, const StyleEntry* entry, StyleEntry** out) {
  *out = nullptr;
  for (auto* e = static_cast<StyleEntry*>(t->entries.head); e; e = e->next) {
    if (!e->mark && style_entry_equal(e, entry)) {
      e->mark = 1;
      *out = e;
      return 1;
    }
  }
  return 0;
}

void style_table_clear_marks(StyleTable* t) {
  for (auto* e = static_cast<StyleEntry*>(t->entries.head); e; e = e->next) e->mark = 0;
}

int32_t style_table_count(const StyleTable* t) { return list_count(&t->entries); }

int32_t style_table_kind_uses(const StyleTable* t, int32_t kind) {
  int32_t sum = 0;
  for (auto* e = static_cast<const StyleEntry*>(t->entries.head); e; e = e->next)
    if (e->kind == kind && e->uses > 0) sum += e->uses;
  return sum;
}

int16_t style_entry_equal(const StyleEntry* a, const StyleEntry* b) {
  if (a->kind != b->kind) return 0;
  const bool area = brush_equal(&a->brush, &b->brush) && pen_equal_pattern7(&a->border_pen, &b->border_pen);
  const bool line = pen_equal_pattern7(&a->line_pen, &b->line_pen);
  const bool symbol = symbol_equal(&a->symbol, &b->symbol);
  switch (a->kind) {
    case STYLE_AREA: return area;
    case STYLE_LINE: return line;
    case STYLE_SYMBOL: return symbol;
    case STYLE_MIXED: return area && line && symbol && a->part_mask == b->part_mask;
    default: return 1;
  }
}

int16_t style_entry_from_object(const MapObject* obj, StyleEntry* e) {
  style_entry_init(e, STYLE_NONE);
  if (obj->type == MAPOBJ_COLLECTION) {
    const MapObject* parts[3] = {obj->u.collection.region, obj->u.collection.polyline, obj->u.collection.multipoint};
    if (parts[0]) e->part_mask |= 1, mapobj_get_brush(parts[0], &e->brush), mapobj_get_area_pen(parts[0], &e->border_pen);
    if (parts[1]) e->part_mask |= 2, mapobj_get_line_pen(parts[1], &e->line_pen);
    if (parts[2]) e->part_mask |= 4, mapobj_get_symbol(parts[2], &e->symbol);
    if (!e->part_mask) return 0;
    e->kind = STYLE_MIXED;
    return 1;
  }
  if (mapobj_get_symbol(obj, &e->symbol)) e->kind = STYLE_SYMBOL;
  else if (obj->type != MAPOBJ_TEXT && mapobj_get_line_pen(obj, &e->line_pen)) e->kind = STYLE_LINE;
  else if (mapobj_get_brush(obj, &e->brush) && mapobj_get_area_pen(obj, &e->border_pen)) e->kind = STYLE_AREA;
  return e->kind != STYLE_NONE;
}

int16_t style_entry_from_pen(StyleEntry* e, MapFile* mf, int index) {
  style_entry_init(e, STYLE_LINE);
  return mapstyle_read_pen(mf, index, &e->line_pen, 0);
}

int16_t style_entry_from_brush(StyleEntry* e, MapFile* mf, int index) {
  style_entry_init(e, STYLE_AREA);
  e->border_pen = g_default_style_set.area_pen;
  return mapstyle_read_brush(mf, index, &e->brush, 0);
}

int16_t style_entry_from_symbol(StyleEntry* e, MapFile* mf, int index) {
  style_entry_init(e, STYLE_SYMBOL);
  return mapstyle_read_symbol(mf, index, &e->symbol, 0);
}

namespace {

using FromIndex = int16_t (*)(StyleEntry*, MapFile*, int);

// Each used resource of the kind (use count above 0, or unreadable, then
// counted 0) joins an equal entry or makes a new one.
int16_t load_kind(MapFile* mf, StyleTable* t, int kind, FromIndex from) {
  for (int i = 0; i < mf->style_counts[kind]; ++i) {
    const int32_t uses = uses_of(mf, mf->styles[kind][i].position);
    if (uses == 0) continue;
    StyleEntry e;
    if (!from(&e, mf, i + 1) || !gather(t, &e, uses < 0 ? 0 : uses)) return 0;
  }
  return 1;
}

}  // namespace

int16_t style_table_load_pens(MapFile* mf, StyleTable* t) { return load_kind(mf, t, MAPSTYLE_PEN, style_entry_from_pen); }
int16_t style_table_load_brushes(MapFile* mf, StyleTable* t) {
  return load_kind(mf, t, MAPSTYLE_BRUSH, style_entry_from_brush);
}
int16_t style_table_load_symbols(MapFile* mf, StyleTable* t) {
  return load_kind(mf, t, MAPSTYLE_SYMBOL, style_entry_from_symbol);
}

int16_t style_table_add_default_line(MapFile* mf, StyleTable* t, int32_t count) {
  StyleEntry e;
  style_entry_from_pen(&e, mf, 0);
  return gather(t, &e, count);
}
int16_t style_table_add_default_area(MapFile* mf, StyleTable* t, int32_t count) {
  StyleEntry e;
  style_entry_from_brush(&e, mf, 0);
  return gather(t, &e, count);
}
int16_t style_table_add_default_symbol(MapFile* mf, StyleTable* t, int32_t count) {
  StyleEntry e;
  style_entry_from_symbol(&e, mf, 0);
  return gather(t, &e, count);
}

int16_t style_pen_is_invisible(const PenStyle* pen) { return pen->pattern == 0 || pen->pattern == 1 || pen->width <= 0; }

int16_t style_entry_is_hollow(const StyleEntry* e) {
  switch (e->kind) {
    case STYLE_AREA: return (e->brush.pattern == 0 || e->brush.pattern == 1) && style_pen_is_invisible(&e->border_pen);
    case STYLE_LINE: return style_pen_is_invisible(&e->line_pen);
    default: return 0;
  }
}

namespace {

// A part of a mixed sample: a region on the rectangle's ring, a polyline on
// its diagonal, or a multipoint at its centre.
bool sample_part(MapObject* coll, int32_t type, const IntRect& r, const StyleEntry* e) {
  MapObject part;
  mapobj_init(&part, type);
  bool ok = true;
  const IntPoint centre{static_cast<int32_t>((static_cast<int64_t>(r.x1) + r.x2) / 2),
                        static_cast<int32_t>((static_cast<int64_t>(r.y1) + r.y2) / 2)};
  if (type == MAPOBJ_MULTIPOINT) {
    ok = mapobj_grow_buffer(8, &part.nodes, nullptr, 0);
    if (ok) std::memcpy(part.nodes, &centre, sizeof centre);
    part.u.multipoint.count = 1;
    part.u.multipoint.symbol = e->symbol;
    part.u.multipoint.center = centre;
  } else {
    const IntPoint ring[4] = {{r.x1, r.y1}, {r.x1, r.y2}, {r.x2, r.y2}, {r.x2, r.y1}};
    const IntPoint diagonal[2] = {{r.x1, r.y1}, {r.x2, r.y2}};
    const bool region = type == MAPOBJ_REGION;
    ok = mapobjx_add_section(&part, 0, nullptr) &&
         mapobjx_insert_nodes(&part, 0, 0, region ? ring : diagonal, region ? 4 : 2, nullptr, nullptr);
    part.pen = region ? e->border_pen : e->line_pen;
    if (region) part.brush = e->brush;
  }
  part.mbr = type == MAPOBJ_MULTIPOINT ? IntRect{centre.x, centre.y, centre.x, centre.y} : r;
  if (ok) mapobjx_normalize(&part, 1);  // answers whether it moved anything
  ok = ok && mapobjx_collection_set_part(coll, &part, 0);
  mapobj_free(&part);
  return ok;
}

}  // namespace

int16_t style_entry_sample_object(const StyleEntry* e, MapObject* obj) {
  const IntRect r = obj->mbr;
  const IntPoint centre{static_cast<int32_t>((static_cast<int64_t>(r.x1) + r.x2) / 2),
                        static_cast<int32_t>((static_cast<int64_t>(r.y1) + r.y2) / 2)};
  static const int32_t kTypes[4] = {0, MAPOBJ_RECT, MAPOBJ_LINE, MAPOBJ_POINT};
  const int32_t type = e->kind == STYLE_MIXED ? MAPOBJ_COLLECTION
                       : (e->kind >= STYLE_AREA && e->kind <= STYLE_SYMBOL) ? kTypes[e->kind] : 0;
  if (!type) return 0;
  mapobj_free(obj);
  mapobj_init(obj, type);
  obj->mbr = r;
  switch (e->kind) {
    case STYLE_AREA:
      obj->pen = e->border_pen;
      obj->brush = e->brush;
      break;
    case STYLE_LINE:
      obj->pen = e->line_pen;
      obj->u.line.start = {r.x1, r.y1};
      obj->u.line.end = {r.x2, r.y2};
      break;
    case STYLE_SYMBOL:
      obj->u.point.symbol = e->symbol;
      obj->u.point.location = centre;
      obj->mbr = {centre.x, centre.y, centre.x, centre.y};
      break;
    default: {
      static const int32_t kParts[3] = {MAPOBJ_REGION, MAPOBJ_POLYLINE, MAPOBJ_MULTIPOINT};
      for (int i = 0; i < 3; ++i) {
        if ((e->part_mask & (1 << i)) && !sample_part(obj, kParts[i], r, e)) return 0;
      }
      break;
    }
  }
  mapobjx_normalize(obj, 1);
  return 1;
}

int16_t style_sample_from_styles(int32_t kind, const PenStyle* line_pen, const PenStyle* border_pen,
                                 const BrushStyle* brush, const SymbolStyle* symbol, MapObject* obj) {
  StyleEntry e;
  style_entry_init(&e, kind);
  if (line_pen) e.line_pen = *line_pen;
  if (border_pen) e.border_pen = *border_pen;
  if (brush) e.brush = *brush;
  if (symbol) e.symbol = *symbol;
  if (kind == STYLE_MIXED) {
    // The point always; the line when its pen shows; the rectangle when
    // its brush or border shows.
    e.part_mask = 4;
    if (line_pen && !style_pen_is_invisible(line_pen)) e.part_mask |= 2;
    const bool fills = brush && brush->pattern != 0 && brush->pattern != 1;
    if (fills || (border_pen && !style_pen_is_invisible(border_pen))) e.part_mask |= 1;
  }
  return style_entry_sample_object(&e, obj);
}

int16_t style_source_equal(const StyleSource* a, const StyleSource* b) {
  if (a->kind != b->kind || a->mode != b->mode) return 0;
  if (a->kind == 2 && strcasecmp(a->name, b->name) != 0) return 0;
  if (!a->expr && !b->expr) return 1;
  if (!a->expr || !b->expr) return 0;
  return expr_code_equal(a->expr, b->expr) && a->number == b->number && strcasecmp(a->text, b->text) == 0;
}

// ---- a storage's styles -----------------------------------------------------------

int16_t mapfile_load_style_table(MapStore* s, StyleTable* t) {
  MapFile* mf = &s->file;
  struct Part {
    int32_t objects;
    int16_t (*load)(MapFile*, StyleTable*);
    int16_t (*add_default)(MapFile*, StyleTable*, int32_t);
    int32_t kind;
  } parts[3] = {{s->header.points, style_table_load_symbols, style_table_add_default_symbol, STYLE_SYMBOL},
                {s->header.lines, style_table_load_pens, style_table_add_default_line, STYLE_LINE},
                {s->header.regions, style_table_load_brushes, style_table_add_default_area, STYLE_AREA}};
  for (const Part& p : parts) {
    if (p.objects <= 0) continue;
    if (!p.load(mf, t)) return 0;
    // Objects of the class that name no resource use the default style.
    const int32_t missing = p.objects - style_table_kind_uses(t, p.kind);
    if (missing > 0 && !p.add_default(mf, t, missing)) return 0;
  }
  return 1;
}

int16_t mapstore_list_styles(MapStore* s, StyleTable* t) {
  if ((s->kind == MAPSTORE_FILE || s->kind == MAPSTORE_FILE2) && !s->attached_only) {
    if (!mapfile_load_style_table(s, t)) return 0;
  }
  // A linked storage has no server styles to offer here.
  return style_table_count(t) > 0;
}

int16_t mapstore_needs_styles(const MapStore* s) {
  if (!s || s->kind == 0 || s->kind == MAPSTORE_SERVER) return 0;
  const bool file = (s->kind == MAPSTORE_FILE || s->kind == MAPSTORE_FILE2) && !s->attached_only;
  if (s->header.regions > 0) {
    if (s->header.lines > 0) return 1;
    return file && s->file.style_counts[MAPSTYLE_BRUSH] > 0;
  }
  if (s->header.points > 0) {
    if (!file) return 1;
    return s->file.style_counts[MAPSTYLE_SYMBOL] == 0 || s->file.style_counts[MAPSTYLE_NAME] > 0;
  }
  return 0;
}
