// The external object record: the fixed-size record through which the table
// API hands map objects out and takes them in (a code byte, then a body of
// user-coordinate doubles, flat styles and pointers to point arrays), its
// conversions to and from map objects, and the ObjStyles record that gathers
// an object's styles for style-clause text.
//
// The arrays a record points to live in two process-wide buffers that every
// object_to_objrec overwrites: a record stays valid until the next
// conversion. All sizes are checked in 64 bits before anything is allocated.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"

struct CoordXform;

enum ObjRecordCode : uint8_t {
  OBJREC_NONE = 200,
  OBJREC_POINT = 201,
  OBJREC_LINE = 202,
  OBJREC_ARC = 203,
  OBJREC_POLYLINE = 204,
  OBJREC_REGION = 205,
  OBJREC_TEXT = 206,
  OBJREC_RECT = 207,
  OBJREC_ROUNDRECT = 208,
  OBJREC_ELLIPSE = 209,
  OBJREC_MULTI_POLYLINE = 210,
  OBJREC_FONT_POINT = 211,
  OBJREC_BITMAP_POINT = 212,
  OBJREC_MULTIPOINT = 213,
  OBJREC_COLLECTION = 214,
};

constexpr int32_t kObjRecMaxSections = 24403223;
constexpr int32_t kObjRecMaxSectionNodes = 0x7fffffc;

struct ObjPen {
  int16_t width;
  int32_t pattern;
  int32_t third;
  uint32_t colour;
};
struct ObjBrush {
  int32_t pattern;
  uint32_t fore;
  uint32_t back;
  uint8_t transparent;
};
struct ObjFont {
  uint32_t style_bits;  // bits 0-7
  int16_t flags[3];     // style bits 8, 9, 10
  char name[32];
  int16_t unused;  // carried in neither direction
  uint32_t fore;
  uint32_t back;
  uint8_t back_flag;
};
struct ObjVectorSymbol {
  int16_t shape;
  uint32_t colour;
  int16_t size;
};
struct ObjFontSymbol {
  int16_t code;
  uint32_t colour;
  int16_t size;
  char name[32];
  int16_t style;
  double rotation;  // degrees
};
struct ObjBitmapSymbol {
  char name[32];
  uint32_t colour;
  int16_t size;
  int16_t style;
};
union ObjSymbol {
  ObjVectorSymbol vector;
  ObjFontSymbol font;
  ObjBitmapSymbol bitmap;
};

struct ObjSection {
  int32_t count;
  DPoint* points;  // a region section lists its closing node
};

struct ObjRegionBody {
  int32_t sections;
  ObjPen pen;
  ObjBrush brush;
  DPoint center;
  ObjSection* section;
};
struct ObjPolylineBody {
  int32_t sections;
  uint32_t flags;  // bit 0 smoothed
  ObjPen pen;
  DPoint center;
  ObjSection* section;
};
struct ObjMultiPointBody {
  uint8_t symbol_code;  // 201, 211 or 212
  ObjSymbol symbol;
  DPoint center;
  int32_t count;
  DPoint* points;
};

struct ObjRecord {
  uint8_t code;
  union {
    struct {
      DPoint at;
      ObjSymbol symbol;
    } point;  // 201, 211, 212
    struct {
      DPoint start;
      DPoint end;
      ObjPen pen;
    } line;  // 202
    struct {
      DRect rect;
      double start;
      double end;
      ObjPen pen;
    } arc;  // 203
    struct {
      int32_t count;
      uint32_t flags;
      ObjPen pen;
      DPoint* points;
    } polyline;  // 204
    ObjRegionBody region;      // 205
    struct {
      DRect box;
      DPoint label_end;
      ObjPen pen;
      double angle;
      uint32_t flags;  // bits 0-1 justification, 2-3 spacing, 4-6 label line
      ObjFont font;
      char* text;
    } text;  // 206
    struct {
      DRect rect;
      ObjPen pen;
      ObjBrush brush;
    } rect;  // 207, 209
    struct {
      DRect rect;
      double corner_width;
      double corner_height;
      ObjPen pen;
      ObjBrush brush;
    } roundrect;                // 208
    ObjPolylineBody multi;      // 210
    ObjMultiPointBody points;   // 213
    struct {
      ObjMultiPointBody multipoint;
      ObjPolylineBody polyline;
      ObjRegionBody region;
    } collection;  // 214
  } u;
};

struct ObjStyles {
  int32_t flags;  // bit 0 symbol, 1 line pen, 2 area pen, 3 brush
  int32_t symbol_code;
  ObjSymbol symbol;
  ObjPen line_pen;
  ObjPen area_pen;  // or a text's label-line pen
  ObjBrush brush;
  ObjFont font;
};

// ---- conversions -----------------------------------------------------------
int16_t object_to_objrec(const MapObject* obj, ObjRecord* record, const CoordXform* table, const CoordXform* target);
int16_t objrec_to_object(const ObjRecord* record, MapObject* obj, const CoordXform* source, const CoordXform* table);
int16_t object_get_styles(const MapObject* obj, ObjStyles* styles, int32_t* code_out);

// ---- coordinates -----------------------------------------------------------
void objrec_point_to_user(const IntPoint* p, DPoint* out, const CoordXform* table, const CoordXform* target);
void objrec_rect_to_user(const IntRect* r, DRect* out, const CoordXform* table, const CoordXform* target);
void objrec_point_from_user(const DPoint* p, IntPoint* out, const CoordXform* source, const CoordXform* table);
void objrec_rect_from_user(const DRect* r, IntRect* out, const CoordXform* source, const CoordXform* table);
void objrec_points_to_user(const IntPoint* p, DPoint* out, int32_t n, const CoordXform* table,
                           const CoordXform* target);
void objrec_points_from_user(const DPoint* p, IntPoint* out, int32_t n, const CoordXform* source,
                             const CoordXform* table);
void objrec_points_to_user_plain(const IntPoint* p, DPoint* out, int32_t n, const CoordXform* table);

// ---- styles ----------------------------------------------------------------
void objrec_copy_pen(const ObjPen* in, PenStyle* out);
void objrec_put_pen(const PenStyle* in, ObjPen* out);
void objrec_copy_brush(const ObjBrush* in, BrushStyle* out);
void objrec_put_brush(const BrushStyle* in, ObjBrush* out);
void objrec_copy_font(const ObjFont* in, FontStyle* out);
void objrec_put_font(const FontStyle* in, ObjFont* out);
void objrec_put_vector_symbol(const SymbolStyle* in, ObjSymbol* out);
void objrec_put_font_symbol(const SymbolStyle* in, ObjSymbol* out);
void objrec_put_bitmap_symbol(const SymbolStyle* in, ObjSymbol* out);
void objrec_symbol_from_vector(const ObjSymbol* in, SymbolStyle* out);
void objrec_symbol_from_font(const ObjSymbol* in, SymbolStyle* out);
void objrec_symbol_from_bitmap(const ObjSymbol* in, SymbolStyle* out);
int16_t objrec_symbol_from_record(int32_t code, const ObjSymbol* in, SymbolStyle* out);

// ---- buffers ---------------------------------------------------------------
int16_t objrec_alloc_buffers(int64_t nodes, ObjSection** sections_out, int64_t sections, DPoint** points_out);
int16_t objrec_alloc_text_buffer(int64_t length, char** text_out);
void objrec_free_buffers();
