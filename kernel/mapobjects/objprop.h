// Object properties by numeric id, the styles of objects (getters, copying,
// style sets) and the parts of collections.
//
// Property values travel through an untyped buffer whose layout the id
// fixes: an int16, an int32, an IntPoint, an IntRect or a whole record.
// Ids a type does not have answer 0 without an error.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"

enum ObjPropId : int32_t {
  OBJPROP_TYPE = 1,
  OBJPROP_PEN = 2,
  OBJPROP_BRUSH = 3,
  OBJPROP_SYMBOL = 4,
  OBJPROP_ROWID = 5,
  OBJPROP_BOUNDS = 6,
  OBJPROP_NOT_EMPTY = 7,
  OBJPROP_HAS_Z = 8,
  OBJPROP_HAS_M = 9,
  OBJPROP_POINT = 80,
  OBJPROP_LINE = 96,
  OBJPROP_TEXT_SPACING = 256,
  OBJPROP_TEXT_JUSTIFY = 257,
  OBJPROP_TEXT_LABEL_LINE = 258,
  OBJPROP_TEXT_FONT = 259,
  OBJPROP_TEXT_HEIGHT = 260,
  OBJPROP_TEXT_ANGLE = 261,
  OBJPROP_TEXT_STRING = 262,
  OBJPROP_TEXT_BOX = 263,
  OBJPROP_TEXT_LABEL_POINT = 264,
  OBJPROP_TEXT_FLAG0 = 265,
  OBJPROP_TEXT_FLAG8 = 272,
  OBJPROP_TEXT_BITS9 = 273,
  OBJPROP_TEXT_VALUE274 = 274,
  OBJPROP_TEXT_CORNERS = 275,
  OBJPROP_TEXT_ORIGIN = 276,
  OBJPROP_TEXT_CORNERS_BOUNDS = 277,
  OBJPROP_TEXT_VALUE278 = 278,
  OBJPROP_TEXT_FLAG13 = 279,
  OBJPROP_TEXT_ALL = 288,
  OBJPROP_FRAME_VALUE512 = 512,
  OBJPROP_FRAME_VALUE513 = 513,
  OBJPROP_FRAME_FILL = 514,
  OBJPROP_SMOOTH = 768,
  OBJPROP_SECTION_COUNT = 769,
  OBJPROP_OPEN_NODE_COUNT = 770,
  OBJPROP_CENTER = 771,
  OBJPROP_NODE_COUNT = 772,
  OBJPROP_SECTION_NODES = 1024,  // + section index
};

int16_t mapobjx_get_property(MapObject* obj, int32_t id, void* out);
int16_t mapobjx_set_property(MapObject* obj, int32_t id, const void* in);
// Property 262 into a buffer of size bytes: refuses a buffer shorter than
// the string and its terminator, writing nothing.
int16_t mapobjx_get_property_sized(MapObject* obj, int32_t id, void* out, int64_t size);
int16_t mapobjx_polyline_get_property(MapObject* obj, int32_t id, void* out);
int16_t mapobjx_polyline_set_property(MapObject* obj, int32_t id, const void* in);
int16_t mapobjx_text_get_property(MapObject* obj, int32_t id, void* out);
int16_t mapobjx_text_set_property(MapObject* obj, int32_t id, const void* in);
int16_t mapobjx_multipoint_get_property(MapObject* obj, int32_t id, void* out);
int16_t mapobjx_multipoint_set_property(MapObject* obj, int32_t id, const void* in);
int16_t mapobjx_collection_get_property(MapObject* obj, int32_t id, void* out);
int16_t mapobjx_collection_set_property(MapObject* obj, int32_t id, const void* in);

int16_t mapobjx_set_center(MapObject* obj, const IntPoint* point, int16_t check);
int16_t mapobjx_point_set(MapObject* obj, const IntPoint* location, const SymbolStyle* symbol);
int16_t mapobjx_point_set_m(MapObject* obj, const IntPoint* location, const SymbolStyle* symbol, double m);
int16_t mapobjx_point_set_zm(MapObject* obj, const IntPoint* location, const SymbolStyle* symbol, double z,
                             double m);

// ---- styles of objects -----------------------------------------------------
int16_t mapobj_get_line_pen(const MapObject* obj, PenStyle* out);
int16_t mapobj_get_area_pen(const MapObject* obj, PenStyle* out);
int16_t mapobj_get_brush(const MapObject* obj, BrushStyle* out);
int16_t mapobj_get_symbol(const MapObject* obj, SymbolStyle* out);
int16_t mapobj_get_font(const MapObject* obj, FontStyle* out);
int16_t objtext_has_label_line(const MapObject* obj);
int16_t objtext_flag0(const MapObject* obj);
int16_t mapobj_copy_styles(MapObject* target, const MapObject* source);
int16_t mapobj_apply_style_set(MapObject* obj, const StyleSet* set);
int16_t mapobj_take_styles(MapObject* target, const MapObject* source);

// ---- collections -----------------------------------------------------------
int16_t mapobjx_collection_has_region(const MapObject* obj);
int16_t mapobjx_collection_has_polyline(const MapObject* obj);
int16_t mapobjx_collection_has_multipoint(const MapObject* obj);
int16_t mapobjx_collection_part_mask(const MapObject* obj, int16_t* mask_out);
int16_t mapobjx_collection_set_part(MapObject* collection, const MapObject* obj, int16_t replace);
int16_t mapobjx_collection_get_part(const MapObject* collection, MapObject* out, int32_t type);
MapObject* mapobjx_collection_new_part_object(const MapObject* collection, int32_t type);
