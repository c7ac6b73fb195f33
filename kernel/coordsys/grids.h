// Datum-shift grids: NADCON (NAD 27 to NAD 83, one longitude and one
// latitude file per area), the Japan mesh table (Tokyo to JGD2000) and the
// French three-dimensional translation grid (NTF to a GRS 80 datum). Each
// opener fills a state record; the hooks have the datum shift's grid
// function form and answer 1 when they shifted the point. Nothing in the
// system opens a grid; a caller that wants one opens it and hands it to
// datum_set_grid (grid_install does both).
#pragma once
#include <cstdint>

#include "kernel/coordsys/datum.h"

// ---- NADCON
struct NadconArea {
  int32_t files[2];  // longitude shifts (".los"), latitude shifts (".las"); 0 when not registered
  int32_t cols, rows;
  double min_lon, min_lat, max_lon, max_lat;
  double step_lon, step_lat;  // absolute values
};

constexpr int kNadconAreaCount = 7;

struct NadconGrid {
  NadconArea* areas;
  int32_t area_count;
  int32_t current;  // area whose files are open, -1 none
  int32_t cell_area, cell_row, cell_col;  // cached cell, area -1 when none
  double coef[8];  // longitude A, latitude A, longitude B, latitude B, ... D
};

// The area names, searched as NAME.los and NAME.las along the search
// directories (names matched without regard to case).
extern const char* const kNadconAreaNames[kNadconAreaCount];

int16_t nadcon_grid_open(NadconGrid** out);
void nadcon_grid_close(NadconGrid* grid);
int16_t nadcon_shift_forward(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum);
int16_t nadcon_shift_inverse(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum);

// Reads both headers of an area (files registered) into its counts and
// rectangle; 0 when a file cannot be read, the headers differ or the grid
// they describe is not sound for the files' sizes.
int16_t nadcon_area_read_headers(NadconArea* area);
int16_t nadcon_area_contains(const NadconArea* area, const DPoint* p);

// ---- France
// The grid file and the rectangle and steps it is read with (the records
// before the first node are not read).
constexpr const char* kNtfGridFile = "gr3df97a.bin";
constexpr double kNtfMinLon = -5.5, kNtfMaxLon = 10.0, kNtfMinLat = 41.0, kNtfMaxLat = 52.0;
constexpr double kNtfStepLon = 0.1, kNtfStepLat = 0.1;
constexpr int32_t kNtfRecordSize = 64;

struct NtfGrid {
  int32_t file;
  double min_lon, min_lat, max_lon, max_lat;
  double step_lon, step_lat;
  int32_t cols, rows;  // trunc of extent / step: nodes 0..cols, 0..rows
};

int16_t ntf_grid_open(NtfGrid** out);
// The same with a given rectangle and steps (tests and other grids).
int16_t ntf_grid_open_with(NtfGrid** out, const char* name, const double rect[4], double step_lon, double step_lat);
void ntf_grid_close(NtfGrid* grid);
// datum: the NTF record (the target towards NTF, the source from it).
int16_t ntf_grid_shift_to_ntf(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum);
int16_t ntf_grid_shift_from_ntf(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum);
int32_t ntf_grid_node_index(const NtfGrid* grid, int32_t col, int32_t row);
int16_t ntf_grid_contains(const NtfGrid* grid, const DPoint* p);

// ---- Japan
struct JgdMesh {
  int32_t codes[4];  // south-west, south-east, north-east, north-west
  double lon_shift[4], lat_shift[4];
  double lat_frac, lon_frac;
};

struct JgdCacheEntry {
  int16_t valid;
  int32_t code;
  double lon_shift, lat_shift;
};
constexpr int kJgdCacheSize = 100;

// Where mesh shifts come from once the grid is loaded: answers 1 with the
// shifts (seconds) of a mesh code.
using JgdSourceFn = int16_t (*)(void* context, int32_t code, double* lon_shift, double* lat_shift);

struct TableDef;
struct OpenTable;
struct FieldIndex;
struct KeyBuf;

// The alias the mesh table is opened under (hidden, in the second list).
inline constexpr const char* kJgdTableAlias = "j_g_d_2_0_0_0";

struct JgdGrid {
  int16_t tried;  // loading was attempted and failed
  int16_t open;
  char path[520];
  JgdMesh mesh;
  JgdSourceFn source;
  void* source_context;
  JgdCacheEntry* cache;
  int32_t ring;
  // The loaded mesh table: the table, its open-table entry (locked while
  // loaded), the index of the mesh-code column and the key searched.
  TableDef* table;
  OpenTable* entry;
  FieldIndex* search;
  KeyBuf* key;
  int16_t locked;
};

int16_t jgd_grid_open(JgdGrid** out);
// Opens jgd2000.tab (hidden, under kJgdTableAlias), sets up the exact search
// over its mesh-code index and locks it; the hooks call it on first use. Any
// failure sets the tried flag.
int16_t jgd_grid_load(JgdGrid* grid);
// Loads the grid from a given source instead of the table.
int16_t jgd_grid_load_source(JgdGrid* grid, JgdSourceFn source, void* context);
void jgd_grid_close(JgdGrid* grid);
int16_t jgd_grid_from_tokyo(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum);
int16_t jgd_grid_to_tokyo(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum);
int16_t jgd_in_japan(const DPoint* p);
// The mesh code of the point's cell and the four corner codes.
void jgd_mesh_codes(JgdMesh* mesh, const DPoint* p);
int32_t jgd_mesh_code(int32_t p, int32_t q, int32_t r, int32_t u, int32_t v, int32_t w);

// ---- installing
enum GridKind { GRID_NADCON = 0, GRID_JAPAN = 1, GRID_FRANCE = 2 };
// Opens the grid of a kind and sets the datum shift's handle; 0 when the
// opener answered 0. grid_uninstall_all closes every installed grid.
int16_t grid_install(int kind);
void grid_uninstall_all();
