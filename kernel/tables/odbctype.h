// The ODBC-linked table type (type 10): a table whose rows live on a
// database server. Its driver entries, the Type clause and link metadata
// of its definition file, the link settings read back, and the key map that
// ties row numbers to key-column values. Without server access the open
// entry answers 0 (the dispatcher pushes 386) and every read answers 0.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/lang/metadata.h"
#include "kernel/tables/tabdef.h"

struct SrvConnection;

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

struct KeyMap {
  int32_t column = 0;
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
};

LinkInfo* linktab_new();
void linktab_free(LinkInfo* link);
// The link of a type-10 storage (null otherwise).
LinkInfo* linktab_of(const StorageDesc* storage);

// Link settings from a definition's metadata into the link record.
int16_t linktab_read_settings(LinkInfo* link, MetadataNode* metadata);
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
int16_t odbctype_delete_true(StorageDesc* storage, int32_t n);
int16_t odbctype_commit(LinkInfo* link);
int16_t odbctype_rollback(StorageDesc* storage);

// The key map: a key file of fixed records, a window of keys in memory and
// an index from key values to rows.
int16_t linktab_keymap_init(KeyMap* map, int32_t type, int32_t width);
void linktab_keymap_free(KeyMap* map);
// Makes the window cover the row: moving forward it starts 5000 rows
// before the row (at row 1 below that), moving back at the row.
int16_t linktab_key_window(KeyMap* map, int32_t row);
// Appends a key for the next row (count + 1) and indexes it.
int16_t linktab_key_add(KeyMap* map, KeyBuf* key);
int16_t linktab_key_replace(KeyMap* map, int32_t row, KeyBuf* old_key, KeyBuf* new_key);
// The key bytes of a row (key width bytes into out).
int16_t linktab_key_of_row(KeyMap* map, int32_t row, uint8_t* out);
// The fetch and filter steps: no server, no row.
int16_t linktab_fetch_stub(LinkInfo* link);
int16_t linktab_filter_stub(LinkInfo* link);
// The driver of type 10 for the dispatch.
extern const struct TabTypeDriver kOdbcDriver;
