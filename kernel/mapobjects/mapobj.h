// Map objects: the record every geometric object of a table lives in, its
// fourteen types, who owns which buffer, life cycle (init, new, copy, retype,
// free, destroy), buffer sizes and storage classes, type predicates, centres,
// text strings, the process-wide curve resolution and the shared work buffer.
//
// Invariants: a polyline's or region's node-data size is 28 x sections + 8 x
// nodes; Z and M arrays hold one double per node; an object whose node
// pointer is the work buffer never frees it; a borrowed object (flag bit 0)
// frees nothing but the record it lives in.
#pragma once
#include <cstdint>

#include "kernel/runtime/rect.h"
#include "kernel/runtime/style_rec.h"

enum MapObjectType : uint8_t {
  MAPOBJ_NONE = 0,
  MAPOBJ_POINT = 1,
  MAPOBJ_LINE = 2,
  MAPOBJ_ARC = 3,
  MAPOBJ_POLYLINE = 4,
  MAPOBJ_REGION = 5,
  MAPOBJ_TEXT = 6,
  MAPOBJ_RECT = 7,
  MAPOBJ_ROUNDRECT = 8,
  MAPOBJ_ELLIPSE = 9,
  MAPOBJ_FRAME = 10,
  MAPOBJ_TYPE11 = 11,
  MAPOBJ_TYPE12 = 12,
  MAPOBJ_MULTIPOINT = 13,
  MAPOBJ_COLLECTION = 14,
};

constexpr uint32_t MAPOBJ_BORROWED = 1;  // buffers belong to a lender
constexpr uint32_t MAPOBJ_LOCKED = 2;    // node buffer read-only

enum MapStorageClass : int16_t {
  MAPOBJ_CLASS_CLASSIC = 1,
  MAPOBJ_CLASS_LARGE = 2,
  MAPOBJ_CLASS_EXTENDED = 3,
};

constexpr int32_t kMapWorkBufferSize = 65000;
constexpr int32_t kMapResolutionMin = 2;
constexpr int32_t kMapResolutionMax = 134217722;
constexpr int16_t kErrMapResolution = 869;
constexpr int16_t kErrPolylineTooLarge = 899;
constexpr int16_t kErrRegionTooLarge = 900;
constexpr int32_t kMapTextMax = 32767;

// The missing Z or M value: the quiet NaN 0x7FFFFFFFFFFFFFFF.
double mapobj_null_zm();
int16_t mapobj_zm_is_null(double v);

struct MapObject;
using MapHandle = MapObject*;

struct MapPointPart {
  IntPoint location;
  SymbolStyle symbol;
  double z;
  double m;
};
struct MapLinePart {
  IntPoint start;
  IntPoint end;
};
struct MapArcPart {
  IntRect rect;  // of the full ellipse
  int16_t start; // tenths of a degree
  int16_t end;
};
struct MapPolyPart {
  IntPoint center;
  int32_t sections;
  int32_t size;         // node-data bytes: 28 x sections + 8 x nodes
  uint32_t line_flags;  // bit 0 smoothed (polylines)
};
struct MapTextPart {
  int16_t length;  // without the terminator
  FontStyle font;
  int32_t height;
  IntRect box;
  IntPoint label_end;
  int16_t angle;  // tenths of a degree
  uint32_t flags;
  IntPoint corners[4];
  int16_t value274;
  int16_t value278;
};
struct MapRoundRectPart {
  int32_t corner_width;
  int32_t corner_height;
};
struct MapFramePart {
  int32_t value512;
  int32_t value513;
  uint32_t frame_flags;  // bit 0 fill frame
};
struct MapItemPart {  // types 11 and 12
  uint8_t count;
  uint8_t flag;
  int32_t values[3];  // type 11 uses two, type 12 three
};
struct MapMultiPointPart {
  SymbolStyle symbol;
  IntPoint center;
  int32_t count;
};
struct MapCollectionPart {
  MapObject* region;  // locked pointers of the part handles
  MapObject* polyline;
  MapObject* multipoint;
};

struct MapObject {
  uint8_t type;
  PenStyle pen;
  BrushStyle brush;
  IntRect mbr;
  int32_t row_id;
  void* nodes;
  uint32_t flags;
  MapHandle region_handle;
  MapHandle polyline_handle;
  MapHandle multipoint_handle;
  double* z;
  double* m;
  int16_t has_z;
  int16_t has_m;
  union {
    MapPointPart point;
    MapLinePart line;
    MapArcPart arc;
    MapPolyPart poly;
    MapTextPart text;
    MapRoundRectPart roundrect;
    MapFramePart frame;
    MapItemPart items;
    MapMultiPointPart multipoint;
    MapCollectionPart collection;
  } u;
};

struct StyleSet {
  PenStyle line_pen;
  PenStyle area_pen;
  BrushStyle brush;
  FontStyle font;
  SymbolStyle symbol;
};
extern const StyleSet g_default_style_set;

struct BufferState {
  void* nodes;
  uint32_t flags;
  MapHandle region;
  MapHandle polyline;
  MapHandle multipoint;
  double* z;
  double* m;
};

// The process-wide work buffer (65,000 bytes while the table API runs).
extern void* mapobj_work_buffer;

// ---- runtime -------------------------------------------------------------
// Allocates the work buffer and installs the value layer's object operations.
int16_t mapobj_runtime_start();
// Frees the work buffer and the object-record buffers.
void mapobj_runtime_end();

// ---- life cycle ----------------------------------------------------------
void mapobj_init(MapObject* obj, int32_t type);
int16_t mapobj_new(MapHandle* handle_out, MapObject** pointer_out, int32_t type, int16_t use_work_buffer);
int16_t mapobj_reset_type(MapObject* obj, int32_t type, int16_t use_work_buffer);
void mapobj_set_type(MapObject* obj, int32_t type);
void mapobj_retype_keep_nodes(MapObject* obj);
int16_t mapobj_copy(const MapObject* src, MapObject* dst);
MapObject* mapobj_dup(const MapObject* src);
MapObject* mapobj_dup_ex(const MapObject* src, int16_t use_work_buffer);
MapObject* mapobj_clone_shallow(const MapObject* src);
void mapobj_free(MapObject* obj);
int16_t mapobj_destroy(MapHandle* handle);
// Destroys *handle after clearing the node pointer of sharer, which shares
// its node buffer.
int16_t mapobj_destroy_shared(MapHandle* handle, MapObject* sharer);
MapObject* mapobj_lock(MapHandle handle);
int16_t mapobj_unlock(MapHandle handle);
void mapobj_save_buffers(const MapObject* obj, BufferState* state);
void mapobj_restore_buffers(MapObject* obj, const BufferState* state);

// ---- buffers -------------------------------------------------------------
int16_t mapobj_grow_buffer(int64_t size, void** buffer_ref, void* aux, int16_t keep_if_large);
int16_t mapobj_ensure_buffer(int64_t size, void** buffer_ref, void* aux);
int16_t mapobj_owns_nodes(const MapObject* obj);
int16_t mapobj_owns_buffers(const MapObject* obj);
int16_t mapobj_nodes_writable(const MapObject* obj);
void* mapobj_node_data(const MapObject* obj);
int16_t mapobj_has_node_data(const MapObject* obj);
int32_t mapobj_buffer_sizes(const MapObject* obj, int32_t* node_bytes, int32_t* z_bytes, int32_t* m_bytes);
// The stored node-data size; the class in class_out.
int64_t mapobj_storage_class(const MapObject* obj, int16_t* class_out, int16_t ignore_zm);
int16_t mapobj_is_small_format(const MapObject* obj, int16_t ignore_zm);
int16_t mapobj_is_large_format(const MapObject* obj, int16_t ignore_zm);

// ---- type predicates -----------------------------------------------------
int16_t mapobj_is_multi(const MapObject* obj);
int16_t mapobj_is_area_kind(const MapObject* obj);
int16_t mapobj_is_linear_kind(const MapObject* obj);
int16_t mapobj_is_point_kind(const MapObject* obj);
int16_t mapobj_is_closed_kind(const MapObject* obj);
int16_t mapobj_has_coords_kind(const MapObject* obj);
int16_t mapobj_has_own_styles_kind(const MapObject* obj);
int16_t mapobj_is_collectable(const MapObject* obj);
int16_t mapobj_is_empty(const MapObject* obj);
int16_t mapobj_has_z(const MapObject* obj);
int16_t mapobj_has_m(const MapObject* obj);
int16_t mapobj_has_point_pen(const MapObject* obj);

// ---- points of reference -------------------------------------------------
void mapobj_get_centroid(const MapObject* obj, IntPoint* out);
void mapobj_get_centroid_mbr(const MapObject* obj, IntPoint* out);

// ---- text strings --------------------------------------------------------
int16_t objtext_set_string(MapObject* obj, const char* text);
// A new kernel block holding the string (null for an empty one).
int16_t objtext_copy_string(const MapObject* obj, char** out, int16_t* multi_line_out);
int32_t objtext_count_lines(const char* text);

// ---- curve resolution ----------------------------------------------------
int32_t mapobj_get_resolution();
int16_t mapobj_set_resolution(int32_t n);

// Puts the module's process-wide state back at its start (tests).
void mapobj_state_reset();
