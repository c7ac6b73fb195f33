// Table records: the definition of an open table (TableDef) with its data
// storage descriptor and field list, the open-table entry through which the
// statement language sees a table or a view, its column descriptors and
// lookups, access brackets, the open of a table from its definition file,
// and the view builder of view definition files.
//
// Invariants: a TableDef owns its field array, description, metadata tree,
// index handle and open-table entry; a column's reference is a 14-byte
// compiled expression (241, 26, offset 5, end, table pointer, field index).
#pragma once
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "kernel/runtime/path.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/lang/expr.h"
#include "kernel/tables/lang/metadata.h"
#include "kernel/mapobjects/mapstore.h"

struct IndexFile;
struct FieldIndex;
struct OpenTable;
struct TableCache;

constexpr int kTableNameSize = 32;

constexpr int16_t kErrDataMissing = 505;
constexpr int16_t kErrCollectOnly = 1923;
constexpr int16_t kErrDataNewer = 1931;
constexpr int16_t kErrTimeUnknown = 1932;
constexpr int16_t kErrAccessBegin = 824;
constexpr int16_t kErrViewColumn = 414;
constexpr int16_t kErrViewJoins = 401;
constexpr int16_t kErrNameSelection = 3043;
constexpr int16_t kErrNameInUse = 362;
constexpr int16_t kErrNoSuchTable = 311;
constexpr int16_t kErrTableFlag = 891;
constexpr int16_t kErrTableKind5 = 683;

// Table type codes of a data storage.
enum TableType : uint8_t {
  TABTYPE_NONE = 0,
  TABTYPE_DBF = 1,
  TABTYPE_WKS = 2,
  TABTYPE_ASCII = 3,
  TABTYPE_XLS = 4,
  TABTYPE_NATIVE = 5,
  TABTYPE_RASTER = 6,
  TABTYPE_ACCESS = 8,
  TABTYPE_QUERY = 9,
  TABTYPE_ODBC = 10,
  TABTYPE_MEMORY = 11,
  TABTYPE_CSV = 12,
  TABTYPE_FME = 13,
};

// ---- type options: the settings and working state of each table type ----
// Settings are what a Type clause gives; working state belongs to the driver
// of an open storage and is never copied with a template.

// dBASE (1), native (5) and the FME-linked native file (13).
struct NativeOptions {
  void* state = nullptr;  // working state
  int32_t charset = 0;
  int16_t shapefile = 0;  // type 1 only: the table is a shapefile
};

// Delimited text (3) and comma-separated text (12).
struct AsciiOptions {
  char* line = nullptr;   // working state: the line buffers
  char* saved = nullptr;
  uint8_t delimiter = 9;
  uint8_t titles = 0;
  int32_t charset = 0;
  int32_t mode = 0;       // working state: mode of the current access
  void* reader = nullptr; // working state: the driver's buffered line reader
};

// Lotus worksheet (2) and Excel workbook (4).
struct SheetOptions {
  void* reader = nullptr;  // working state
  std::string range;       // empty: none
  int32_t first_column = 0;
  int32_t first_row = 0;
  int16_t titles = 0;
  int16_t interactive = 0;  // type 4 only
};

// Access table (8).
struct AccessOptions {
  std::string database;
  std::string table;
  std::string password;  // empty: none
  void* state = nullptr;   // working state
  int32_t row_map = 0;     // working state: the row-map base, the definition's file handle
  int32_t version = 0;     // 4 for "3.0", 5 for "4.0"
  int32_t charset = 0;
  uint8_t flags = 0;
  uint8_t lock_state = 0;  // working state
};

// Query table (9): its member tables, the paths as one text separated by
// "/" and the aliases as one text separated by ","; a second pair follows.
struct QueryOptions {
  std::string paths;
  std::string aliases;
  std::string paths2;
  std::string aliases2;
};

// In-memory table (11) and live ODBC link (10): working state only.
struct MemoryOptions {
  void* rows = nullptr;
};
struct OdbcOptions {
  void* link = nullptr;
};

using TypeOptions =
    std::variant<std::monostate, NativeOptions, AsciiOptions, SheetOptions, AccessOptions, QueryOptions, MemoryOptions,
                 OdbcOptions>;

// The defaults of a type (the current charset where the type has one; tab
// or comma delimiter for 3 and 12).
void typeopts_init(TypeOptions* options, int type);
// A template copy: the settings of src, the working state cleared.
void typeopts_copy_settings(TypeOptions* dst, const TypeOptions& src);
// The charset setting of the options, or -1 when the type has none.
int32_t typeopts_charset(const TypeOptions& options);
void typeopts_set_charset(TypeOptions* options, int32_t charset);

// ---- records -----------------------------------------------------------

struct StorageDesc {
  uint8_t type = TABTYPE_NATIVE;
  uint8_t nesting = 0;  // 255: a storage that stays open
  int16_t delete_at_close = 0;
  int32_t data_file = 0;
  int32_t held_open = 0;
  int32_t field_count = 0;
  int32_t row_count = 0;
  int32_t current_row = 0;
  TypeOptions options;
  int32_t query = 0;
  TableCache* edit_overlay = nullptr;  // a linked table's local cache, read first
  uint32_t edit_stamp = 0;  // the process's edit stamp at the last row change
};

struct FieldDef {
  int32_t lead;
  char name[kTableNameSize];
  uint8_t width;
  uint8_t decimals;
  FieldIndex* index;  // or null
  Value value;       // its type code is the field's type
  int16_t read_only;
  int16_t autokey;
};

struct TableDef {
  int32_t def_file = 0;
  int32_t access_uses = 0;
  std::string description;  // empty: none
  char name[kTableNameSize] = {};
  StorageDesc storage;
  MapStore map;
  int32_t field_count = 0;
  FieldDef* fields = nullptr;  // kernel block of field_count records
  std::vector<void*> side;     // handed to kernel_hook_release_entry when freed
  OpenTable* entry = nullptr;
  IndexFile* index = nullptr;
  uint8_t read_only = 0;
  int32_t version = 0;
  int32_t read_entire = 0;
  int32_t edit = 0;
  MetadataNode* metadata = nullptr;
  int16_t linked = 0;
  int16_t wfs = 0;
};

struct ColumnDesc {
  int32_t lead = 0;
  char name[kTableNameSize] = {};
  CompiledExpr* expr = nullptr;  // owned
  uint8_t type = 0;
  uint8_t display_width = 0;
  uint8_t decimals = 0;
  uint8_t editable = 0;
  uint8_t shown_width = 0;
};

struct OpenTable {
  OpenTable* next = nullptr;
  char name[kTableNameSize] = {};
  int32_t nesting = 0;
  int32_t spare = 0;
  std::vector<TableDef*> bases;
  std::vector<ColumnDesc> columns;
  int32_t object_table = 0;  // 1-based base table index, 0 without objects
  struct ViewJoins* joins = nullptr;  // kind 2: one step per pair of base tables (owned)
  uint8_t marker = 2;
  uint8_t kind = 1;          // 1 table, 2 joined view, 3 own row list, 4
  int32_t own_rows = 0;
  uint8_t shown = 0;
  uint8_t read_only = 0;
  uint8_t flag_a = 0;
  uint8_t present = 0;
  uint8_t temporary = 0;
  uint8_t flag_b = 0;
  int16_t value_a = 0;
  int16_t value_b = 0;
  uint8_t hidden = 0;
  int16_t settings[6] = {};
  int32_t context_value = 0;
  // The view cursor and the row map of a kind-3 view.
  int32_t current_row = 0;
  int32_t designated_base = 0;  // 1-based, 0: the last
  int16_t join_mode = 0;
  struct ViewRowMap* row_map = nullptr;
  // The temporary indexes of the index search and their cache.
  IndexFile* temp_index = nullptr;
  struct TempIndexNode* temp_nodes = nullptr;
  int16_t refresh_mode = 0;
};

// The file components of a table.
struct ComponentFile {
  char path[kPathSize];
  int32_t ext_id;
};

// ---- field lists and definitions ------------------------------------------
// A zeroed field array of n records (a kernel block), or null.
FieldDef* fieldlist_new(int32_t n);
// Frees each field's value and index descriptor, then the array.
void fieldlist_free(FieldDef* fields, int32_t count);
// A fresh definition: storage type 5, everything else empty.
TableDef* tabdef_new();
// Frees a definition and everything it owns; null is accepted.
void tabdef_free(TableDef* table);

// ---- table open ---------------------------------------------------------------
// Opens the ".IND" file of the definition path into the table when there is
// one; a table whose index cannot be opened goes on without one.
void tabdef_open_index(TableDef* table, const char* def_path);
TableDef* table_open_file(int32_t def_file);
// 0 when the table may be opened, 1 when refused (1932 or 1931 pushed).
int16_t file_time_check(const char* def_path, const char* data_path, const TableDef* table);
int32_t tabdef_component_files(const TableDef* table, ComponentFile* out);

// ---- base-table entry and refresh -----------------------------------------------
int16_t tabtypes_reregister_if_stale(const char* data_path, const char* def_path, TableDef* table,
                                     const void* object_record, const void* fme_record, int16_t flag);
int16_t tabtypes_data_is_newer(const char* data_path, const char* def_path, int16_t* newer,
                               const void* object_record);
// Test seam: the registration statement of the last refresh ("" before any).
const char* tabtypes_last_refresh_statement();
int16_t tabtypes_build_open_entry(int16_t kind, TableDef* table, int16_t shown, int16_t a, int16_t b,
                                  int16_t refuse, int16_t c, int16_t d, int16_t e);

// ---- open-table entries ---------------------------------------------------------
// The two process-wide lists of entries built by the statement language.
void open_table_list_add(OpenTable* entry, int which);
void open_table_list_remove(OpenTable* entry);
void open_table_lists_reset();
// Searches the first list, then the second (names without regard to case).
int16_t table_find(const char* name, OpenTable** cursor, OpenTable** found, int16_t include_hidden);
OpenTable* open_table_find(const char* name);
// Whether the name is a column of the entry: 0-based index, 255 for the
// object column (answer: whether the entry has objects), 254 for the row id.
int16_t table_column_find(const OpenTable* entry, const char* name, int32_t* index);
// Resolves "column" or "table.column" among the entries given (or the open
// ones when count is 0).
int16_t open_table_find_column(const char* name, OpenTable* const* entries, int32_t count, OpenTable** found,
                               int32_t* index);
int16_t table_name_in_use(const char* name, int16_t report);
int32_t open_table_label_column(const OpenTable* entry);
int32_t open_table_row_count(const OpenTable* entry);
int16_t open_table_begin_access(OpenTable* entry, int16_t write);
int16_t open_table_lock(OpenTable* entry, int16_t write);
int32_t open_table_unlock(OpenTable* entry);
void open_table_free(OpenTable* entry);

int16_t column_from_field(ColumnDesc* column, const OpenTable* entry, TableDef* table, const FieldDef* field,
                          int32_t index);
void column_free(ColumnDesc* column);
int16_t column_copy(ColumnDesc* dst, const ColumnDesc* src);
int16_t column_eval(const ColumnDesc* column, Value* out);
// The column's value as text (cut to size - 1 characters): the plain text
// form with the column's decimals, or the full form (14 significant digits,
// times with milliseconds). 0 when the value cannot be evaluated.
int16_t column_format_text(const ColumnDesc* column, char* out, int32_t size, int16_t locale);
int16_t column_format_text_full(const ColumnDesc* column, char* out, int32_t size, int16_t locale);
void column_display_name(char* out, const ColumnDesc* column, int32_t index);
int16_t open_table_remove_column(OpenTable* entry, int32_t index);
int16_t open_table_column_name_of_expr(const OpenTable* entry, const CompiledExpr* code, char* out);
int16_t open_table_base_name(const OpenTable* entry, char* out);
void open_tables_update_object_table();
int16_t name_is_selection(const char* name);
int16_t name_is_aggregate(const char* name);
int16_t tabdef_is_shapefile(const TableDef* table);

// ---- references of expressions to open tables ---------------------------------
// Binds every type-24 name of the code to the open tables: 414 with the name
// when one names nothing. Columns become their references in place.
int16_t expr_bind_columns(CompiledExpr* code);
// Marks each type-7, 25 or 26 reference whose table is a base table of the
// view (the mark: the constant type's high bit); answers how many.
int32_t expr_mark_base_tables(CompiledExpr* code, const OpenTable* view);
// Always 0: pushes 311 (no such open table), 891 (flag bit 2) or 683 (kind 5).
int16_t table_name_reason(const char* name);
// Type tests of a definition's fields, an entry's columns and a field list.
int16_t tabdef_has_field_type(const TableDef* table, int32_t type);
int16_t open_table_has_column_type(const OpenTable* entry, int32_t type);
int16_t fieldlist_has_type(const FieldDef* fields, int32_t count, int32_t type);
// The width a value is shown in: the stored width of text types, else the
// value's display width.
int32_t value_shown_width(const Value* value, int32_t stored_width);

// ---- table-level metadata --------------------------------------------------------
MetadataNode* table_metadata(OpenTable* entry, int16_t report);
int16_t table_metadata_set(OpenTable* entry, const char* key, const char* value);
int16_t table_metadata_clear(OpenTable* entry, const char* key);
int16_t table_metadata_delete(OpenTable* entry, const char* path);
int16_t table_metadata_writable(OpenTable* entry);
int32_t table_metadata_value_size(OpenTable* entry, const char* key);
int32_t table_metadata_get(OpenTable* entry, const char* key, char* out, int32_t size);
// For moved columns: old_numbers[i] is the 1-based old number of new column
// i + 1 (0 for a new column); old columns not named lose their metadata.
int16_t table_metadata_renumber_columns(OpenTable* entry, const int32_t* old_numbers, int32_t new_count,
                                        int32_t old_count);
