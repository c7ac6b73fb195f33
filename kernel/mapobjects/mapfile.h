// Map files (".MAP"): the record-size table and header at the start of the
// file, the handle of an open file, blocks and the free chain, the spatial
// index (search, insert with splits, delete), object records and their
// coordinate chains, and the style resources.
//
// Every byte goes through the little-endian codecs of mapbytes.h; nothing
// is read by overlaying a struct. Every reader checks what it takes from the
// file (block size, positions, counts, lengths, chains) and pushes
// kErrMapDamaged naming the file instead of trusting it. docs/map-file-format.md
// is the layout these routines obey.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/mapobjects/mapobj.h"

constexpr uint32_t MAP_MAGIC = 42424242;
constexpr uint32_t MAP_MAGIC_ALT = 45454545;
constexpr int32_t MAP_DELETED = 0x40000000;
constexpr int32_t kMapRowLimit = 0x40000000;  // rows are 1 .. 0x3fffffff
constexpr int kMapHighestCode = 72;
constexpr int kMapHeaderMax = 360;
constexpr int32_t kMapNewFileSize = 1024;
constexpr int16_t kMapBlockSize = 512;
constexpr int kMapMaxDepth = 32;
constexpr int kMapStyleMax = 255;

constexpr int16_t kErrMapIndexDamaged = 480;
constexpr int16_t kErrMapDamaged = 895;
constexpr int16_t kErrMapNoNodes = 894;
constexpr int16_t kErrMapReadOnly = 896;

enum MapBlockType : int16_t {
  MAPBLOCK_INDEX = 1,
  MAPBLOCK_OBJECT = 2,
  MAPBLOCK_COORD = 3,
  MAPBLOCK_FREE = 4,
  MAPBLOCK_STYLE = 5,
};

// The storage header: what the map storage keeps of a map file's header.
struct MapStoreHeader {
  IntRect bounds;
  IntRect rect2;
  uint8_t zm_block[32];
  int32_t points, lines, regions, others;
  int32_t max_node;   // node data size of the largest object
  int32_t init_node;  // starting node buffer size of readers and writers
  CoordXform xform;
  int16_t changed;
};

// One style resource of the file: its resource position and its stored form
// (8 bytes for pens, brushes and symbols, 32 for names); all zero is a free
// slot.
struct MapStyleSlot {
  int32_t position;
  uint8_t form[32];
};

enum MapStyleKind : int { MAPSTYLE_PEN = 0, MAPSTYLE_BRUSH = 1, MAPSTYLE_SYMBOL = 2, MAPSTYLE_NAME = 3 };

struct MapFile {
  int32_t file;
  int16_t version;
  int16_t block_size;
  int32_t charset;
  uint8_t depth, precision, legacy_unit, highest_code;
  uint8_t style_counts[4];  // pens, brushes, symbols, names
  uint8_t style_blocks;
  MapStyleSlot* styles[4];    // kMapStyleMax slots each, owned
  int32_t* style_block_table; // kMapStyleMax positions, owned
  double units_factor;
  int32_t root, free_head, style_head;
  uint32_t magic;
  uint32_t generation;
  IntRect bounds;
  int16_t zm;
  int16_t read_only;     // the file's record sizes differ from ours: no writes
  uint8_t sizes[256];    // the record-size table this file is read with
};

// A block buffer: position, generation stamp, flags (bit 0 not read or
// invalid, bit 1 read from the file), then the block's bytes.
constexpr uint32_t MAPBLOCK_INVALID = 1;
constexpr uint32_t MAPBLOCK_READ = 2;
struct MapBlock {
  int32_t position;
  uint32_t stamp;
  uint32_t flags;
  uint8_t* data;
};

struct MapPathLevel {
  IntRect rect;
  int32_t position;
  int32_t index;  // entry index (index blocks) or record offset (object blocks)
};

struct MapSearch {
  MapBlock* block;
  MapBlock* coord;
  MapPathLevel path[kMapMaxDepth];
  int16_t level;
  int32_t flags;  // bit 0 the search serves a pack
  uint32_t visited;  // blocks entered, against cycles
};

using MapFilterFn = int16_t (*)(const IntRect* rect, int16_t level_flag, void* user);
using MapLocateFn = int16_t (*)(int32_t row, int32_t* position, void* user);
using MapStorePosFn = int16_t (*)(int32_t row, int32_t position, void* user);

struct MapWriter {
  MapSearch search;
  MapBlock* new_block;
  MapBlock* coord;
  void* nodes;
  int64_t node_size;
  double* z;
  double* m;
};

// ---- record sizes ------------------------------------------------------------
// The 256-byte table of the codes this system knows: bits 0-6 the record
// length, bit 7 chain data.
const uint8_t* maprec_size_table();
int maprec_length(const MapFile* mf, int code);
int16_t maprec_has_chain(const MapFile* mf, int code);
int16_t maprec_object_type(int code);

// ---- handle and header ------------------------------------------------------
int16_t mapfile_create(MapFile* mf, MapStoreHeader* hdr, int32_t table_file, const char* path, int ext_id,
                       const CoordXform* xform, int16_t no_extension, int16_t alt_magic);
int16_t mapfile_open(MapFile* mf, MapStoreHeader* hdr, int32_t table_file, const char* path, int ext_id,
                     int16_t alt_magic);
int16_t mapfile_acquire(MapFile* mf, MapStoreHeader* hdr, int mode, int16_t* changed);
int16_t mapfile_release(MapFile* mf, MapStoreHeader* hdr);
void mapfile_close(MapFile* mf);
int16_t mapfile_close_delete(MapFile* mf);
int16_t mapfile_rename(MapFile* mf, const char* new_path, int ext_id, char* old_path);
int16_t mapfile_copy_to(MapFile* mf, const char* path, int ext_id);
int16_t maphdr_read(MapFile* mf, MapStoreHeader* hdr);
int16_t maphdr_write(MapFile* mf, MapStoreHeader* hdr);
int16_t maphdr_create(MapFile* mf, MapStoreHeader* hdr, const CoordXform* xform);
// Marks the index damaged in the header (open then reports 480).
void maphdr_mark_damaged(MapFile* mf, MapStoreHeader* hdr);
// Process-wide switch for the alternate magic (off; nothing turns it on).
extern int16_t g_map_alt_magic_switch;
// Pushes kErrMapDamaged for the file with a reason; answers 0.
int16_t mapfile_damaged(const MapFile* mf, const char* reason);

// ---- blocks ----------------------------------------------------------------
int16_t mapblock_alloc(const MapFile* mf, MapBlock** out);
void mapblock_free(MapBlock** block);
void mapblock_init(const MapFile* mf, MapBlock* block, int16_t type);
int16_t mapblock_read(MapFile* mf, MapBlock* block, int32_t position);
int16_t mapblock_write(MapFile* mf, MapBlock* block, int32_t position);
int16_t mapblock_new_position(MapFile* mf, int32_t* position);
int16_t mapblock_release_position(MapFile* mf, int32_t position);
// A position a block may lie at: a multiple of B, past the header, in the file.
int16_t mapblock_position_ok(const MapFile* mf, int32_t position);

// ---- records ---------------------------------------------------------------
// Decodes a record (len bytes available) into obj; the coordinate position
// goes to coord_pos. centre is the block centre (null: none).
int16_t maprec_decode(MapFile* mf, const uint8_t* record, int available, MapObject* obj, int32_t* coord_pos,
                      const IntPoint* centre, int16_t release);
int16_t mapfile_read_coords(MapFile* mf, MapBlock* coord, int32_t coord_pos, MapObject* obj, int code);
int16_t maprec_base_code(const MapObject* obj, int16_t no_zm);
// The compressed (base) or full code for the centre (null: none); 0 when the
// object cannot be stored.
int mapfile_pick_code(const MapFile* mf, const MapObject* obj, const IntPoint* centre);

// ---- index -----------------------------------------------------------------
int16_t mapfile_search_begin(MapSearch* s, MapFile* mf);
int16_t mapfile_search_next(MapSearch* s, MapFile* mf, int16_t read_coords, MapFilterFn filter, void* user,
                            MapObject* obj, int32_t* position);
int16_t mapfile_read_object(MapSearch* s, MapFile* mf, int32_t row, int16_t read_coords, MapLocateFn locate,
                            void* locate_user, MapFilterFn filter, void* user, MapObject* obj, int* code_out);
void mapfile_search_end(MapSearch* s, MapFile* mf);

int16_t mapfile_write_begin(MapWriter* w, MapFile* mf, int64_t node_size);
// Inserts obj for row; the header record receives bounds and, when the
// index had to be left inconsistent by a failed write, the damaged mark.
int16_t mapfile_insert_object(MapWriter* w, MapFile* mf, MapStoreHeader* hdr, const MapObject* obj, int32_t row,
                              MapStorePosFn store, void* user);
int16_t mapfile_delete_object(MapWriter* w, MapFile* mf, int32_t row, MapLocateFn locate, void* user,
                              int16_t* found, int32_t* type, int32_t* part_mask);
void mapfile_write_end(MapWriter* w, MapFile* mf);
// Index split sides on a tie alternate through this toggle (0 at start).
extern int32_t g_split_tie_toggle;

// ---- styles ----------------------------------------------------------------
int16_t mapfile_load_styles(MapFile* mf);
void mapfile_free_styles(MapFile* mf);
int16_t mapstyle_read_pen(MapFile* mf, int index, PenStyle* out, int16_t release);
int16_t mapstyle_read_brush(MapFile* mf, int index, BrushStyle* out, int16_t release);
int16_t mapstyle_read_symbol(MapFile* mf, int index, SymbolStyle* out, int16_t release);
int16_t mapstyle_read_font(MapFile* mf, int index, char* name, int16_t release);
int16_t mapstyle_read_bitmap(MapFile* mf, int index, char* name, int16_t release);
int16_t mapstyle_pen_index(MapFile* mf, const PenStyle* pen, int* index, int16_t count_uses);
int16_t mapstyle_brush_index(MapFile* mf, const BrushStyle* brush, int* index, int16_t count_uses);
int16_t mapstyle_symbol_index(MapFile* mf, const SymbolStyle* symbol, int* index, int16_t count_uses);
int16_t mapstyle_font_index(MapFile* mf, const char* name, int* index, int16_t count_uses);
int16_t mapstyle_bitmap_index(MapFile* mf, const char* name, int* index, int16_t count_uses);
int16_t mapstyle_read_uses(MapFile* mf, int32_t position, int32_t* count);
int16_t mapstyle_add_uses(int32_t position, int32_t* count, MapFile* mf, int32_t delta);
int32_t mapstyle_pen_score(const PenStyle* a, const PenStyle* b);
int32_t mapstyle_brush_score(const BrushStyle* a, const BrushStyle* b);
int32_t mapstyle_symbol_score(const SymbolStyle* a, const SymbolStyle* b);
int32_t mapstyle_width_score(int16_t a, int16_t b);
