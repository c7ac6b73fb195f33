// Map storage: the handle through which a table's map objects are created,
// read, replaced and deleted, whatever holds them (kind 1 and 5 a map file,
// 2 an in-memory object list, 3 a header only, 4 a server link: stubs), the
// .ID file that joins rows to object positions, and the read cursor.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapfile.h"

struct TableDef;
struct TableCache;
struct CoordConv;

constexpr int16_t MAPSTORE_FILE = 1;
constexpr int16_t MAPSTORE_MEMORY = 2;
constexpr int16_t MAPSTORE_HEADER = 3;
constexpr int16_t MAPSTORE_SERVER = 4;
constexpr int16_t MAPSTORE_FILE2 = 5;

constexpr uint32_t MAPSTORE_TEMPORARY = 1;
constexpr uint32_t MAPSTORE_USES_ID = 2;

// A node of the in-memory object list; the in-memory table keeps its row
// values in the same nodes. A node is freed when its last user lets go.
struct MemRowNode {
  MemRowNode* next;
  int32_t word;
  MapObject object;  // row field: the row number
  void* values;      // the row's field values, or null
  int32_t row;       // row number of the in-memory table row
  int32_t users;
};

struct MemRowList {
  MemRowNode* head;
  MemRowNode* tail;
  int32_t count;
  int32_t users;
  int32_t words[2];
};

void memlist_release(MemRowList** list);
void memnode_release(MemRowList* list, MemRowNode* node);
// Places a node by a position hint: 0 at the head, -1 or -2 at the tail, a
// positive hint (or one below -3) before the node of that index.
void memlist_place(MemRowList* list, MemRowNode* node, int32_t hint);
void mapobjx_list_unlink(MemRowList* list, MemRowNode* node);

struct MapStore {
  int16_t kind = 0;
  MapStoreHeader header = {};
  MapFile file = {};          // kinds 1 and 5
  MemRowList* list = nullptr; // kind 2
  int32_t id_file = 0;
  MapLocateFn locate = nullptr;
  MapStorePosFn store_pos = nullptr;
  void* callback_data = nullptr;
  TableDef* owner = nullptr;
  TableCache* cache = nullptr;  // a linked table's local cache
  uint32_t changes = 0;
  uint32_t flags = 0;
  int16_t attached_only = 0;  // kind 1 registered by the table road, not read
  int16_t id_mode = 0;        // mode the .ID is open in (0 closed)
};

// ---- life cycle ----------------------------------------------------------------
int16_t mapstore_create(MapStore* s, int16_t kind, TableDef* owner, int ext_id, const CoordXform* xform,
                        int16_t temporary, int32_t flags, const char* path);
int16_t mapstore_open(MapStore* s, int16_t kind, TableDef* owner, int32_t flags, int ext_id, const char* path);
// Records the table's map file without reading it (the table road).
int16_t mapstore_attach(MapStore* s, const char* path);
void mapstore_close(MapStore* s);
int16_t mapstore_commit_close(MapStore* s);
int16_t mapstore_begin_access(MapStore* s, int mode);
int16_t mapstore_end_access(MapStore* s);
int16_t mapstore_rename(MapStore* s, const char* new_path, int ext_id, char* old_path);
int16_t mapstore_copy(MapStore* s, const char* path, int ext_id);
int16_t mapstore_pack(MapStore* s);

// ---- writes --------------------------------------------------------------------
int16_t mapstore_begin_write(MapWriter* w, MapStore* s);
void mapstore_end_write(MapWriter* w, MapStore* s);
int16_t mapstore_insert_object(MapWriter* w, MapStore* s, const MapObject* obj, int32_t row, int32_t hint);
int16_t mapstore_update_object(MapWriter* w, MapStore* s, const MapObject* obj, int32_t row, int32_t hint);
int16_t mapstore_delete_object(MapWriter* w, MapStore* s, int32_t row);
void mapstore_count_object(MapStore* s, const MapObject* obj);
void mapstore_adjust_class_count(MapStore* s, int32_t type, int32_t part_mask, int32_t delta);

// ---- facts ---------------------------------------------------------------------
int16_t mapstore_get_type(const MapStore* s);
int32_t mapstore_file_handle(const MapStore* s);
// The transform of the stored objects; null when none is known.
const CoordXform* mapstore_get_xform(const MapStore* s);
int16_t mapstore_set_xform(MapStore* s, const CoordXform* xform);
int32_t mapstore_point_count(const MapStore* s);
int32_t mapstore_line_count(const MapStore* s);
int32_t mapstore_region_count(const MapStore* s);
int32_t mapstore_other_count(const MapStore* s);
int32_t mapstore_object_count(const MapStore* s);
void mapstore_get_bounds(const MapStore* s, IntRect* out);
int16_t mapstore_set_bounds(MapStore* s, const IntRect* r);
int16_t mapstore_data_bounds(MapStore* s, IntRect* out);
int16_t mapfile_sample_bounds(MapFile* mf, IntRect* out);
void mapstore_set_callbacks(MapStore* s, MapLocateFn locate, MapStorePosFn store, void* data);

// ---- the .ID file ----------------------------------------------------------------
int16_t mapid_read(int32_t row, int32_t* position, void* id_file);
int16_t mapid_write(int32_t row, int32_t position, void* id_file);

// Kind 1 and 5 answer the file's styles gathered into the table (kind 4
// the server's); whether the table then has entries. Under read access.
struct StyleTable;
int16_t mapstore_list_styles(MapStore* s, StyleTable* table);
// Whether the storage's objects need style lists of their own.
int16_t mapstore_needs_styles(const MapStore* s);
// Opens a read cursor under read access and runs the driver's rebuild
// step (nothing to do for map files and object lists).
int16_t mapstore_rebuild_index(MapStore* s, int32_t a, int32_t b);

// The kernel's symbol-size setting (0 when unset): the base of the pixel
// tolerance of an area cursor.
extern int32_t g_kernel_symbol_size;

// ---- read cursor ---------------------------------------------------------------
struct MapCursor {
  MapSearch search;
  MemRowNode* node;
  int32_t node_index;
  void* nodes;
  int64_t capacity;
  MapObject* parts[3];
  double* z;
  double* m;
  MapFilterFn filter;
  void* filter_data;
  uint32_t changes;
  uint32_t flags;  // bit 0 the storage bounds are still to be offered
  int16_t read_through;
  int16_t open;
  struct MapAreaFilter* area;  // the area filter's context, owned
};

// The area filter's context: the clip handle (0: none), the area, the
// conversion of the pixel tolerances and the tolerances in pixels.
struct MapAreaFilter {
  const void* clip;
  IntRect area;
  const CoordConv* conv;
  int32_t tol_x;
  int32_t tol_y;
};

int16_t mapstore_cursor_open(MapCursor* c, MapStore* s);
// A cursor on the objects whose rectangle meets the area; with the
// tolerance flag and a conversion the area widens by a pixel tolerance.
// Reads through the storage's cache when it holds the area, else the cache
// fills for the area when no cursor reads it.
int16_t mapcursor_open_area(MapCursor* c, MapStore* s, const IntRect* area, const void* clip, int16_t tolerance,
                            const CoordConv* conv);
int16_t mapcursor_open_area_fill(MapCursor* c, MapStore* s, const IntRect* area, const void* clip,
                                 int16_t tolerance, const CoordConv* conv);
// Flag 1 an object's rectangle, 0 the storage bounds.
int16_t mapcursor_area_filter(const IntRect* rect, int16_t flag, void* context);
int16_t mapstore_cursor_next(MapCursor* c, MapStore* s, int16_t lend, MapObject* obj, int32_t* position);
int16_t mapstore_cursor_fetch(MapCursor* c, MapStore* s, int32_t row, int16_t lend, MapObject* obj,
                              int32_t* position);
void mapstore_cursor_close(MapCursor* c, MapStore* s);
void mapcursor_set_filter(MapCursor* c, MapFilterFn filter, void* data);
