// The table API, kernel side: every entry of the flat API (the five the
// application calls are declared in tabapi.h), the slot array behind the
// slot numbers, the entry protocol with its fatal guard, and the reader
// table layer with its joined views. Entries answer 16-bit success flags
// (1 success, 0 failure with the reason on the kernel's error stack).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/err.h"
#include "kernel/mapobjects/objrec.h"
#include "kernel/tables/api/tabapi.h"
#include "kernel/tables/tabdef.h"

struct MapObject;
struct SpatialObject;

// Error codes of the API.
constexpr int16_t kApiErrBadSlot = 644;
constexpr int16_t kApiErrSlotKind = 683;
constexpr int16_t kApiErrNotWritable = 891;
constexpr int16_t kApiErrKeyRegistered = 432;
constexpr int16_t kApiErrOpenTwice = 362;
constexpr int16_t kApiErrRowRead = 1925;
constexpr int16_t kApiErrNoIndex = 873;
constexpr int16_t kApiErrNoMap = 1920;
constexpr int16_t kApiErrObjectWrite = 428;
constexpr int16_t kApiErrCharsetRefused = 1283;
constexpr int16_t kApiErrCharsetTableOpen = 1924;
constexpr int16_t kApiErrNotStarted = 1929;
constexpr int16_t kApiErrVersion = 1930;
constexpr int16_t kApiErrNoMetadata = 1927;
constexpr int16_t kApiErrMetadata = 1928;
constexpr int16_t kApiErrDelete = 864;
constexpr int16_t kApiErrRename = 859;

constexpr int kApiPathSize = 260;
constexpr int kApiTableInfoPathSize = 256;
constexpr int kApiRowTextSize = 4000;
constexpr int kApiSlotGrowth = 10;

// One open table.
struct ApiSlot {
  int32_t key = 0;  // definition file handle; 0 marks a free slot
  TableDef* table = nullptr;
  void* point_store = nullptr;
  int32_t mode = 0;  // 1 read, 2 read/write
  uint8_t marks[32] = {};  // key-search marks, bit n-1 for field n
  int32_t kind = 0;        // 1 table, 2 compressed points, 3 table as point table
  CoordXform output = {};
  int16_t output_set = 0;
  int16_t cursor_open = 0;
  MapCursor cursor = {};
  int32_t trace = 0;
};

// Process-wide API state; tabapi_reset puts it back (tests).
struct TabApiState {
  int32_t refs = 0;
  int16_t version_refused = 0;
  int32_t version = 0;
  int16_t raw_text = 0;
  int32_t charsets_ready = 0;
  std::unique_ptr<ApiSlot[]> slots;
  int32_t slot_count = 0;
  int32_t program_dir = 0;
  int32_t table_dir = 0;
};
TabApiState& tabapi_state();
void tabapi_reset();

// ---- lifecycle, slots, settings -------------------------------------------
int16_t TabApiInit(int32_t version);
int16_t TabApiIsStarted();
int16_t TabApiFatalTrapFlag(int16_t toggle);
int32_t TabApiGetCharsetName(int32_t number, char* out);
int16_t TabApiSetCharset(int32_t number);
int16_t TabApiGetLimits(int32_t* a, int32_t* b, int32_t* c);
int32_t table_register(int32_t key, TableDef* table, void* point_store, int32_t mode, int32_t kind, int32_t trace);
int16_t api_slot_check(int32_t slot, int32_t kind, int32_t mode);
// The slot record of a slot number that api_slot_check accepted.
ApiSlot* api_slot(int32_t slot);

// Runs fn under the entry protocol: nothing when the API is not started
// (answers 0), else the error stack cleared and the fatal guard armed.
template <class Fn>
int16_t tabapi_entry(Fn&& fn) {
  if (tabapi_state().refs == 0) return 0;
  err_clear();
  return kernel_guard(fn);
}
// Test seam: called at the start of every row read's work (null: none).
void tabapi_set_row_seam(void (*seam)());

// ---- tables, rows and columns -----------------------------------------------
int32_t TabApiOpenTable(const char* path, int32_t mode, const char* trace_path);
int32_t TabApiOpenTableFile(const char* path, int32_t mode);
int32_t TabApiOpenTableTraced(const char* path, const char* trace_path);
int16_t TabApiCloseTable(int32_t slot, int16_t end_access);
int16_t TabApiCloseTableCommit(int32_t slot);
int16_t TabApiGetRowCount(int32_t slot, int32_t* out);
int16_t TabApiGetFieldCount(int32_t slot, int32_t* out);
int16_t TabApiGetFieldInfo(int32_t slot, ColumnInfo* out);
int16_t TabApiRewindObjects(int32_t slot);
int16_t TabApiCloseObjects(int32_t slot);
int16_t TabApiRowToText(int32_t slot, int32_t row, char* text, MapObject* object);
int16_t TabApiReadRow(int32_t slot, int32_t row, char* text, ObjRecord* record, DRect* bounds, DPoint* centre);
int16_t TabApiReadRowText(int32_t slot, int32_t row, char* text, ObjRecord* record);
int16_t TabApiFindRow(int32_t slot, int32_t field, char* key, int32_t mode, int32_t* row);
int16_t TabApiInsertRow(int32_t slot, const char* line, const ObjRecord* record, int32_t* row);
int16_t TabApiUpdateRow(int32_t slot, int32_t row, const char* line, const ObjRecord* record);
int16_t TabApiBuildFieldIndex(int32_t slot, int32_t field);
int16_t TabApiGetFieldIndexNumber(int32_t slot, int32_t field);
// Removes the field's index (mode 2; 873 when it has none); the index file
// is deleted when no field keeps an index; the definition is written again.
int16_t TabApiDropFieldIndex(int32_t slot, int32_t field);
int16_t TabApiGetIndexedFields(int32_t slot, char* out);
// Writes a definition for an existing data file of the table type (the
// definition path defaults to the data path with .TAB) and opens it in mode
// 2; 362 when either file is registered already.
int32_t TabApiCreateTable(const char* def_path, const char* data_path, int32_t type);
int32_t TabApiCreateTableFromColumns(const char* path, int32_t type, const ColumnInfo* columns, int32_t count,
                                     const CoordSysInfo* coordsys);
int16_t TabApiGetTablePath(int32_t slot, char* out);
int16_t TabApiGetTableVersion(int32_t slot, int32_t* edit_version, int32_t* storage_type);
// Whether the data storage holds memo columns (mode 2).
int16_t TabApiCanHoldMemo(int32_t slot);
// Metadata: a value (1 when the key has one), a value set (mode 2; 0 with
// nothing pushed when the metadata marks the table read-only), each key and
// value under a path, the definition file rewritten with it (mode 2).
int16_t TabApiGetMetadata(int32_t slot, const char* key, char* out, int32_t size);
int16_t TabApiSetMetadata(int32_t slot, const char* key, const char* value);
int16_t TabApiEnumMetadata(int32_t slot, const char* path, void (*callback)(const char* key, const char* value));
int16_t TabApiSaveMetadata(int32_t slot);
// Closes the table and deletes its files, all or none (mode 2); when none
// could be deleted the table is opened again and 864 pushed.
int16_t TabApiDeleteTable(int32_t slot);
// Moves the table's files to the new name, each with its own extension
// (mode 2; 362 when the new path is registered; on a failure the moved files
// go back and 859 is pushed); the table is opened again under the name it
// then has.
int16_t TabApiRenameTable(int32_t slot, const char* new_path);

// The member tables, columns and joins of a view definition file.
struct TableInfoMember {
  char path[kApiTableInfoPathSize];
  char alias[36];
};
struct TableInfoColumn {
  char alias[32];
  int32_t member;
  char name[32];
};
struct TableInfoJoin {
  int32_t first_member;
  char first[32];
  int32_t second_member;
  char second[32];
};
struct TableInfo {
  int32_t member_count = 0;
  TableInfoMember* members = nullptr;
  int32_t column_count = 0;
  TableInfoColumn* columns = nullptr;
  TableInfoJoin* joins = nullptr;
  int32_t join_count = 0;
};
int16_t TabApiReadTableInfo(const char* path, TableInfo** holder);
void TabApiFreeTableInfo(TableInfo** holder);

// ---- objects, coordinate systems, encodings --------------------------------------
int16_t TabApiGetCoordSys(int32_t slot, CoordSysInfo* info, int32_t* srid, int16_t normalise);
int16_t TabApiGetCoordSysInfo(int32_t slot, CoordSysInfo* info);
int16_t TabApiCoordSysText(const CoordSysInfo* info, char* out);
int16_t TabApiCoordSysInfoText(const CoordSysInfo* info, char* out);
int16_t TabApiCoordSysResolution(const CoordSysInfo* info, int32_t unit, int16_t flag, double* x, double* y);
void TabApiCoordSysDefaultBounds(CoordSysInfo* info);
int16_t TabApiCoordSysFromText(const char* text, CoordSysInfo* info);
int16_t coordsysinfo_to_xform(const CoordSysInfo* info, CoordXform* xform);
int16_t TabApiMakeMappable(int32_t slot, const CoordSysInfo* info);
int16_t TabApiGetObjectCounts(int32_t slot, int32_t* points, int32_t* lines, int32_t* regions);
int16_t TabApiSpatialKey(const DRect* bounds, const DRect* rect, char* out);
int16_t TabApiReadRowGeometry(int32_t slot, int32_t row, char* text, unsigned char** blob, int32_t* code,
                              ObjStyles* styles, DRect* bounds, DPoint* centre);
int16_t TabApiObjectToCvRecord(const ObjRecord* record, const CoordSysInfo* info, unsigned char** out,
                               int32_t* size);
int16_t TabApiObjectToSdo(const ObjRecord* record, const CoordSysInfo* info, SdoArrays* arrays, int16_t short_gtype,
                          int16_t no_srid, int32_t srid);
int16_t TabApiCvRecordToObject(const unsigned char* record, int32_t size, const CoordSysInfo* info,
                               const ObjStyles* styles, ObjRecord* out);
int16_t TabApiPutRecordStyles(ObjRecord* record, const ObjStyles* styles);
int16_t TabApiGetRecordStyles(const ObjRecord* record, ObjStyles* styles);
void TabApiFreeRecord(void* pointer);
void TabApiFreeSdoArrays(SdoArrays* arrays);
// The projection list's name of the coordinate system (1 when one matches).
int16_t TabApiCoordSysName(const CoordSysInfo* info, char* out);
// The slot's output coordinate system: coordinates handed out are converted
// into it when it differs from the table's.
int16_t TabApiSetCoordSys(int32_t slot, const CoordSysInfo* info);
// Deletes the table's map file and .ID file and closes its map storage.
int16_t TabApiDiscardObjects(int32_t slot);
void TabApiGetDatum(int32_t number, DatumDef* datum);
// Semi-major axis, eccentricity squared and flattening.
void TabApiGetEllipsoid(int32_t number, double* out);
int16_t TabApiFindDatumNumber(const DatumDef* datum, int16_t* number);
int16_t TabApiGetDatumShiftMethod();
void TabApiSetDatumShiftMethod(int16_t value);
// Writes the object as statement text to a trace file; 0 without one.
int16_t TabApiTraceObject(MapObject* object, const CoordXform* xform, int32_t trace);
int16_t TabApiReadRowGeometryObject(int32_t slot, int32_t row, char* text, SpatialObject* geometry);
int16_t TabApiObjectToGeometry(const ObjRecord* record, const CoordSysInfo* info, SpatialObject* geometry);
int16_t TabApiGeometryToObject(SpatialObject* geometry, const CoordSysInfo* info, ObjRecord* record);
// The record made an object in the source system and written out in the
// target system; 644 on any failure.
int16_t TabApiConvertObject(const ObjRecord* record, const CoordSysInfo* source, ObjRecord* out,
                            const CoordSysInfo* target);
// The distance of two point records in the unit (644 when the first is no
// point); mode 1 of the distance when the flag is 0, else mode 0.
int16_t TabApiDistance(double* distance, const ObjRecord* a, const ObjRecord* b, const CoordSysInfo* info,
                       int32_t unit, int16_t flag);
// 1 when the two objects intersect, 0 otherwise or on failure.
int16_t TabApiIntersects(const ObjRecord* a, const ObjRecord* b, const CoordSysInfo* info);

// ---- the reader table layer -------------------------------------------------------
constexpr int kReaderViewCount = 10;
int32_t ReaderOpenTable(const char* path, int32_t mode);
int16_t ReaderCloseTable(int32_t handle);
int16_t ReaderTerminate();
int16_t ReaderReadRow(int32_t handle, int32_t row, char* text, ObjRecord* record, DRect* bounds, DPoint* centre);
int16_t ReaderReadRowText(int32_t handle, int32_t row, char* text, ObjRecord* record);
int16_t ReaderReadRowGeometry(int32_t handle, int32_t row, char* text, unsigned char** blob, int32_t* code,
                              ObjStyles* styles, DRect* bounds, DPoint* centre);
int16_t reader_open_objects(int32_t handle);
int16_t reader_close_objects(int32_t handle);
int16_t reader_get_row_count(int32_t handle, int32_t* out);
int16_t reader_get_field_count(int32_t handle, int32_t* out);
int16_t reader_get_field_info(int32_t handle, ColumnInfo* out);
int16_t reader_get_coordsys(int32_t handle, CoordSysInfo* info, int32_t* srid, int16_t normalise);
int16_t reader_get_object_counts(int32_t handle, int32_t* points, int32_t* lines, int32_t* regions);
// The n-th field (from 1) of a TAB-separated row text in the shared
// buffer; the whole text for n <= 0; null when the text has fewer fields.
const char* reader_text_field(const char* text, int32_t n);

// The table reader's style clauses: the parts of a record appended to a
// clause, and the clause of a styles record for a record code.
void reader_style_from_record(std::string& out, const ObjRecord* record);
void reader_style_from_styles(std::string& out, const ObjStyles& styles, int code);

// A column description from its parts (the name cut to 31 bytes).
inline ColumnInfo tabapi_column(const char* name, uint8_t type, uint8_t width, uint8_t decimals) {
  ColumnInfo c{};
  for (size_t i = 0; i + 1 < sizeof c.name && name[i] != '\0'; ++i) c.name[i] = name[i];
  c.type = type;
  c.width = width;
  c.decimals = decimals;
  return c;
}
