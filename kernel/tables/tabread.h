// Reading a table definition file: the header lines and their version
// rules, the statement runner and dispatcher, the "Definition Table"
// statement with its clauses and field list, the metadata hand-over and the
// keyword-colon form of files below version 300.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/style_rec.h"
#include "kernel/tables/lang/metadata.h"
#include "kernel/tables/tabdef.h"

constexpr int16_t kErrNoVersion = 329;
constexpr int16_t kErrVersionHigh = 503;
constexpr int16_t kErrNoFields = 321;
constexpr int16_t kErrNoDefinition = 301;
constexpr int16_t kErrBadStatement = 599;
constexpr int16_t kErrViewNotHere = 1922;
constexpr int16_t kErrQueryNotHere = 1937;
constexpr int16_t kErrNotOpenable = 1934;
constexpr int16_t kErrCompressedPoints = 1926;
constexpr int16_t kErrRasterTable = 1921;
constexpr int16_t kErrTypeMissing = 714;

// Style flags of the side records: which styles a registration gave.
constexpr uint8_t kStyleBrush = 1;
constexpr uint8_t kStyleRegionPen = 2;
constexpr uint8_t kStyleLinePen = 4;
constexpr uint8_t kStyleSymbol = 8;
constexpr uint8_t kStyleFont = 16;

// The object-system record of a shapefile: its coordinate system and the
// default styles written after its Type clause.
struct ObjectSystemRecord {
  CoordXform xform = {};
  int16_t has_transform = 0;
  uint8_t style_flags = 0;
  PenStyle line_pen = {};
  PenStyle region_pen = {};
  BrushStyle region_brush = {};
  SymbolStyle symbol = {};
};

struct WfsRecord {
  char name[260] = {};
  CoordXform xform = {};
  int16_t has_transform = 0;
};

struct FmeRecord {
  int32_t charset = 0;
  std::string data_file;
  CoordXform xform = {};
  int16_t has_transform = 0;
  int16_t use_colour = 0;
  int16_t database = 0;
  int16_t single_file = 0;
  uint8_t style_flags = 0;
  PenStyle line_pen = {};
  PenStyle region_pen = {};
  BrushStyle region_brush = {};
  FontStyle font = {};
  SymbolStyle symbol = {};
  std::string format;
  std::string schema;
  std::vector<std::string> settings;
};

// What the opener of a table and the statements exchange.
struct TabReadContext {
  int16_t definition_allowed = 0;
  uint8_t phase = 0;  // 1 table, 2 view, 3 raster or WMS
  TableDef* table = nullptr;
  std::string data_file;  // the File clause
  int16_t has_data_file = 0;
  int32_t file = 0;
  int16_t quiet_index = 0;
  MetadataNode* metadata = nullptr;  // owned until taken
  int16_t not_read_only = 0;
  int16_t seamless = 0;
  int16_t drilldown = 0;
  std::unique_ptr<ObjectSystemRecord> object_record;
  std::unique_ptr<WfsRecord> wfs_record;
  std::unique_ptr<FmeRecord> fme_record;
  int32_t entry_value = 0;  // handed on to the open-entry builder
  int16_t from_file = 0;    // set by the runner: the statements come from a file

  ~TabReadContext() { metadata_free(metadata); }
};

// Reads the definition whose handle the context holds into its table.
int16_t tabfile_read(TabReadContext* context);
// The field list of a definition alone (the index handle may be null).
FieldDef* tabfile_read_fields(int32_t file, int32_t* count, IndexFile* index);
// Runs statements from a text or a file until the input ends or one fails.
int16_t stmt_run(const char* text, int32_t file, int32_t first_line, TabReadContext* context);
int16_t stmt_dispatch();
int16_t stmt_definition_table();
// The context of the run in progress (never null inside a run).
TabReadContext* stmt_read_context();

// Reads the clause after the word CoordSys into a transform fitted to its
// bounds; answers the success flag.
int16_t stmt_read_coordsys(CoordXform* xform);
// Reads "linestyle" Pen, "regionstyle" Pen Brush and Symbol clauses into
// the style fields of a record, setting its style flags.
int16_t stmt_read_object_styles(uint8_t* flags, PenStyle* line_pen, PenStyle* region_pen, BrushStyle* brush,
                                SymbolStyle* symbol);

// The collect flag: set while a definition is read only for the member
// tables and views of a view definition.
void tabfile_set_collect(int16_t on);
int16_t tabfile_collect();

// Installs what the runtime asks of the table layer (the column name rule
// of derived table names). Tests and the table API call it at start.
void tables_runtime_start();
// Back to the start state (tests).
void tabread_reset();
