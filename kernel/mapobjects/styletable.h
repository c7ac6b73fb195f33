// Session style tables: the distinct styles of a map file (or of objects)
// gathered with their use counts, by kind (area, line, symbol, mixed), for
// style lists; their entries, equality and sample objects.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/list.h"

struct MapFile;
struct MapStore;
#include "kernel/tables/lang/expr.h"

constexpr int32_t STYLE_NONE = 0;
constexpr int32_t STYLE_AREA = 1;
constexpr int32_t STYLE_LINE = 2;
constexpr int32_t STYLE_SYMBOL = 3;
constexpr int32_t STYLE_MIXED = 5;

struct StyleEntry {
  StyleEntry* next;
  int32_t kind;
  int32_t uses;  // -1 until set
  int16_t mark;  // set by searches that take each entry once
  PenStyle line_pen;
  PenStyle border_pen;
  BrushStyle brush;
  SymbolStyle symbol;
  int16_t part_mask;  // mixed: 1 region, 2 polyline, 4 multipoint
};

struct StyleSource {
  int16_t kind;  // 1 or 2
  char name[32];
  CompiledExpr* expr;  // owned
  int32_t number;
  int16_t value;
  char text[240];
  uint8_t mode;  // 1 for kind 1, else 2
};

struct StyleTable {
  StyleSource* source;  // owned copy, or null
  int16_t value;
  char name[32];
  KernelList entries;
  KernelList by_kind[4];  // area, line, symbol, mixed
};

int16_t style_table_init(StyleTable* table, const StyleSource* source, const char* name);
// Frees the entries and the source.
void style_table_free(StyleTable* table);
int16_t style_table_set_name(StyleTable* table, const char* name);
int16_t style_entry_init(StyleEntry* entry, int32_t kind);
int16_t style_entry_copy(StyleEntry* dst, const StyleEntry* src);
int16_t style_entry_add_uses(StyleEntry* entry, int32_t count);
// Appends a copy of the entry with the use count to the main list.
int16_t style_table_add(StyleTable* table, const StyleEntry* entry, int32_t count);
// Appends a copy of the entry to the list of its kind (1, 2, 3, 5).
int16_t style_table_add_by_kind(StyleTable* table, const StyleEntry* entry);
// Moves the area, line, symbol and mixed lists, in that order, to the end
// of the main list.
int16_t style_table_merge_kinds(StyleTable* table);
int16_t style_table_find(StyleTable* table, const StyleEntry* entry, StyleEntry** out);
int16_t style_table_find_unmarked(StyleTable* table, const StyleEntry* entry, StyleEntry** out);
void style_table_clear_marks(StyleTable* table);
int32_t style_table_count(const StyleTable* table);
int32_t style_table_kind_uses(const StyleTable* table, int32_t kind);
int16_t style_entry_equal(const StyleEntry* a, const StyleEntry* b);
int16_t style_entry_from_object(const MapObject* obj, StyleEntry* entry);
int16_t style_entry_from_pen(StyleEntry* entry, MapFile* mf, int index);
int16_t style_entry_from_brush(StyleEntry* entry, MapFile* mf, int index);
int16_t style_entry_from_symbol(StyleEntry* entry, MapFile* mf, int index);
// The file's used resources of a kind, one entry per distinct style with
// the sum of the use counts.
int16_t style_table_load_pens(MapFile* mf, StyleTable* table);
int16_t style_table_load_brushes(MapFile* mf, StyleTable* table);
int16_t style_table_load_symbols(MapFile* mf, StyleTable* table);
int16_t style_table_add_default_line(MapFile* mf, StyleTable* table, int32_t count);
int16_t style_table_add_default_area(MapFile* mf, StyleTable* table, int32_t count);
int16_t style_table_add_default_symbol(MapFile* mf, StyleTable* table, int32_t count);
int16_t style_entry_is_hollow(const StyleEntry* entry);
int16_t style_pen_is_invisible(const PenStyle* pen);
// A sample object of the entry's styles placed in the object's current
// rectangle: area a rectangle, line a line, symbol a point, mixed a
// collection of such parts by the part mask, normalised.
int16_t style_entry_sample_object(const StyleEntry* entry, MapObject* obj);
// The sample of a kind from styles; a mixed sample has the point always,
// the line when the pen is visible and the rectangle when the brush is not
// hollow or the border pen is visible.
int16_t style_sample_from_styles(int32_t kind, const PenStyle* line_pen, const PenStyle* border_pen,
                                 const BrushStyle* brush, const SymbolStyle* symbol, MapObject* obj);
// Same kind and mode; kind 2 names equal ignoring case; expressions both
// absent, or equal code with equal numbers and texts (ignoring case).
int16_t style_source_equal(const StyleSource* a, const StyleSource* b);
// Gathers a map file storage's styles: symbols, pens and brushes in use by
// its point, line and region objects, with default entries for objects of
// the class that use no resource.
int16_t mapfile_load_style_table(MapStore* s, StyleTable* table);
