// The ODBC-linked table type (type 10): a table whose rows live on a
// database server. Its driver entries, the Type clause and link metadata
// of its definition file, the link settings read back, and the key map that
// ties row numbers to key-column values. Without server access the open
// entry answers 0 (the dispatcher pushes 386) and every read answers 0.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/runtime/rect.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/lang/metadata.h"
#include "kernel/tables/tabdef.h"

struct SrvConnection;
struct CoordXform;
struct MapObject;

// The metadata keys of a link.
constexpr const char* kLinkKeyRoot = "\\DATALINK";
constexpr const char* kLinkKeyQuery = "\\DATALINK\\Query";
constexpr const char* kLinkKeyConnect = "\\DATALINK\\ConnectionString";
constexpr const char* kLinkKeyToolkit = "\\DATALINK\\ToolKit";
constexpr const char* kLinkKeyReadOnlyFlag = "\\DATALINK\\ReadOnly";
constexpr const char* kLinkKeyAutoKey = "\\DATALINK\\AutoKey";
constexpr const char* kLinkKeyExtra = "\\DATALINK\\Extra";
constexpr const char* kLinkKeyOption = "\\DATALINK\\Option";
constexpr const char* kLinkKeyVersioning = "\\DATALINK\\Versioning";
constexpr const char* kLinkKeyWorkspace = "\\DATALINK\\Workspace";
constexpr const char* kLinkKeyParentWorkspace = "\\DATALINK\\ParentWorkspace";
constexpr const char* kLinkToolkitOci = "ORAINET";

constexpr int32_t kKeyWindow = 10000;

constexpr int16_t kErrLinkNoName = 1579;
constexpr int16_t kErrLinkSpatialKind = 1585;

struct KeyMap {
  int32_t column = -1;  // the key column (0-based), -1: none
  std::string name;
  IndexFile* index = nullptr;
  FieldIndex field;
  KeyBuf key;
  int32_t key_file = 0;
  std::vector<uint8_t> window;  // kKeyWindow keys
  int32_t first_row = 1;
  int32_t key_width = 0;
  int32_t key_type = 0;
  int32_t count = 0;  // keys in the key file
  int32_t loads = 0;  // window loads (a test figure)
};

// The link cursor: the server statement of the current query, its flag
// words, its current record (attached or not) and the key parameters bound
// for a keyed fetch.
struct LinkCursor {
  int16_t open = 0;       // a statement is open on the server
  int32_t flags[2] = {0, 0};
  int16_t attached = 0;   // the current record is attached to the storage
  int32_t row = 0;        // the row of the current record
  std::vector<std::vector<uint8_t>> params;  // bound key parameters, from 1
};

// The server table a link reads: its names, spatial kind and bounds.
struct LinkServerTable {
  std::string owner;
  std::string name;
  std::string quote = "\"";  // the server's identifier quote
  int16_t spatial_kind = 0;  // 11, 13, 14: spatial columns of the server's kinds
  DRect bounds = {0, 0, 0, 0};
};

struct LinkInfo {
  std::string data_source;  // the query
  std::string connect;
  std::string driver;  // empty: none
  std::string extra;   // written once into the definition
  SrvConnection* connection = nullptr;
  int32_t rows_seen = 0;
  int16_t access_mode = 0;
  int16_t cache = 1;
  KeyMap keys;
  int16_t end_of_rows = 0;
  int32_t pending = 0;
  int16_t mbr_search = 1;
  std::string workspace;
  std::string parent_workspace;
  int16_t versioning = 0;
  int16_t option = 0;
  int16_t oracle = 0;
  int16_t spatial_version = 0;
  int32_t table_flags = 0;
  LinkCursor cursor;
  LinkServerTable server;
};

LinkInfo* linktab_new();
void linktab_free(LinkInfo* link);
// The link of a type-10 storage (null otherwise).
LinkInfo* linktab_of(const StorageDesc* storage);

// Link settings from a definition's metadata into the link record.
int16_t linktab_read_settings(LinkInfo* link, MetadataNode* metadata);
// Gives a type-10 table read from its definition a link record with the
// settings of its metadata (the storage owns it).
int16_t odbctype_attach_link(TableDef* table);
// The Type clause line and the link metadata of a definition file; the
// metadata go into the table's tree for the writer's block.
int16_t odbctype_write_tab(TableDef* table, std::string* type_line);
int32_t odbctype_set_version(TableDef* table);
int32_t odbctype_get_version(const TableDef* table);

// Driver entries.
int16_t odbctype_open(StorageDesc* storage, FieldDef* fields);
int16_t odbctype_describe(StorageDesc* storage, FieldDef** fields, int32_t* count);
int16_t odbctype_begin_access(StorageDesc* storage, int16_t mode, int16_t* flag);
int16_t odbctype_end_access(StorageDesc* storage);
int16_t odbctype_close(StorageDesc* storage);
int16_t odbctype_read_row(StorageDesc* storage, int32_t n, FieldDef* fields, int16_t* flag);
// Counts the row (storage, link and pending) and adds its key to the key
// map; the row also goes into the local cache's in-memory table when the
// table has one.
int16_t odbctype_insert_row(StorageDesc* storage, int32_t* n, FieldDef* fields);
// Replaces the row's key in the key map when the key column's value changed.
int16_t odbctype_update_row(StorageDesc* storage, int32_t n, FieldDef* fields);
int16_t odbctype_delete_true(StorageDesc* storage, int32_t n);
int16_t odbctype_begin_transaction(LinkInfo* link);
int16_t odbctype_commit(LinkInfo* link);
// Rows added since the last commit are taken off the counts and the local
// cache is freed.
int16_t odbctype_rollback(StorageDesc* storage);
// Frees the local cache and the key map.
void odbctype_drop_cache(StorageDesc* storage);
// Repeats an insert or update on the local cache: the row's values in its
// in-memory table (updated when it holds the row, else inserted) and, when
// given, the object in the row's node, inside a write session of the
// cache's map storage. A delete takes the row (or, without one, the cached
// object) away. Without a cache both answer 1.
int16_t odbctype_cache_change(StorageDesc* storage, int32_t row, FieldDef* fields, const MapObject* object);
int16_t odbctype_cache_delete(StorageDesc* storage, int32_t row);
// Whether the server table's spatial column takes the object: spatial kinds
// 11, 13 and 14 ask the server (no server here: 0); other tables take any.
int16_t odbctype_accepts_object(const LinkInfo* link, const MapObject* object);
// Checks the linked table on the server and stores its bounds: 0 without a
// connection (this system has none).
int16_t odbctype_check_server(TableDef* table, const CoordXform* xform);
// The bounds of the coordinate system, as coordinates, into the server
// table record.
int16_t dbmslink_set_bounds(LinkInfo* link, const CoordXform* xform);

// ---- the link cursor
int16_t linktab_cursor_new(LinkInfo* link);
// Releases the cursor's record and closes its statement.
void linktab_cursor_release(LinkInfo* link);
// Detaches the current record from the storage (it stays with the cursor).
void linktab_cursor_detach(LinkCursor* cursor);
void linktab_detach(LinkInfo* link);
// Fetches until a row is accepted or the statement ends: the row, or -1 at
// the end (the end of rows is marked, the storage's row count becomes the
// rows seen and the cursor closes).
int32_t linktab_fetch_loop(LinkInfo* link, StorageDesc* storage);
int16_t odbctype_refilter(LinkInfo* link);
int32_t odbctype_find_row(StorageDesc* storage);
// The dispatcher's wrappers; other types answer 0.
int32_t tabtype_link_flag(const StorageDesc* storage, int32_t which);
int16_t tabtype_link_refilter(StorageDesc* storage);
int32_t tabtype_link_find_row(StorageDesc* storage);

// The key map: a key file of fixed records, a window of keys in memory and
// an index from key values to rows.
int16_t linktab_keymap_init(KeyMap* map, int32_t type, int32_t width);
// Names the key column (0-based) of the fields and starts its key map.
int16_t linktab_set_key_column(LinkInfo* link, const FieldDef* fields, int32_t field_count, int32_t column);
void linktab_keymap_free(KeyMap* map);
// Makes the window cover the row: moving forward it starts 5000 rows
// before the row (at row 1 below that), moving back at the row.
int16_t linktab_key_window(KeyMap* map, int32_t row);
// Appends a key for the next row (count + 1) and indexes it.
int16_t linktab_key_add(KeyMap* map, KeyBuf* key);
int16_t linktab_key_replace(KeyMap* map, int32_t row, KeyBuf* old_key, KeyBuf* new_key);
// The key bytes of a row (key width bytes into out).
int16_t linktab_key_of_row(KeyMap* map, int32_t row, uint8_t* out);
// Adds the key of a fetched row: the key column's value among the fields
// (count of them).
int16_t linktab_key_add_count(KeyMap* map, const FieldDef* fields, int32_t count);
// The statement that asks the server for the key column's largest value,
// and the value it answers (0 without an answer).
std::string linktab_key_max_statement(const LinkInfo* link);
int16_t linktab_key_max(LinkInfo* link, Value* out);
// Binds the key of the cursor's row as parameter 1 of a keyed fetch; the
// window is made to cover the row first.
int16_t linktab_bind_keys(LinkInfo* link);
// The fetch and filter steps: no server, no row.
int16_t linktab_fetch_stub(LinkInfo* link);
int16_t linktab_filter_stub(LinkInfo* link);
// The driver of type 10 for the dispatch.
extern const struct TabTypeDriver kOdbcDriver;
