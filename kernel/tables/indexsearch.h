// The index search of an open table: a condition (a column or an
// expression) answered through the column's field index, through that
// index filtered by a kind-3 view's row map, or through a temporary index
// built by evaluating the condition over the view's rows. Temporary
// indexes are cached per open table and reused until a base table they
// read changes (its data file's modification time or its edit stamp).
#pragma once
#include <cstdint>

#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/lang/expr.h"

struct OpenTable;
struct TableDef;

constexpr int16_t kRefreshAlways = 6;  // refresh mode: temporary indexes are always stale

// What is searched: the compiled key (a column or an expression), the
// key's type, width and decimals.
struct SearchCondition {
  const CompiledExpr* code = nullptr;
  int32_t key_type = 0;
  int32_t key_width = 0;
  int32_t decimals = 0;
};

// One cached temporary index of an open table.
struct TempIndexNode {
  TempIndexNode* next = nullptr;
  CompiledExpr* code = nullptr;  // a copy of the condition's
  int32_t key_type = 0;
  int32_t key_width = 0;
  int16_t unique = 0;
  FieldIndex field;
  int32_t keys = 0;
  int64_t index_mtime = 0;  // of the index file, after the build
  uint32_t edit_stamp = 0;  // the process's edit stamp at the build
};

struct IndexSearch {
  int32_t kind = 0;  // 1 temporary index, 2 field index, 3 field index filtered by the row map
  uint8_t uses = 0;
  IndexFile* source_file = nullptr;
  FieldIndex* source_field = nullptr;
  IndexFile* file = nullptr;  // active while open
  FieldIndex* field = nullptr;
  OpenTable* table = nullptr;
  int32_t base = 0;  // 0-based base table of a field index
};

// Which search a condition on field f of base table b (0-based) takes: 1 a
// temporary index, 2 the field's index, 3 the field's index filtered by the
// row map. With require_index set, 0 when the field has no index yet.
int16_t query_search_kind(const OpenTable* view, int32_t base, int32_t field, int16_t unique, int16_t no_field_index,
                          int16_t require_index = 0);
// The base table (0-based) and field a condition names when it is a single
// column of a base table of the view; 0 otherwise.
int16_t query_condition_column(const OpenTable* view, const SearchCondition* cond, int32_t* base, int32_t* field);

int16_t query_search_init(OpenTable* view, const SearchCondition* cond, int16_t unique, int16_t no_field_index,
                          IndexSearch* search, int32_t* key_count);
int16_t query_search_open(IndexSearch* search);
void query_search_close(IndexSearch* search);
// The seek operations 1-12 (see index_seek_op). With out given, the key
// found is copied there with its row turned into a view row.
int16_t query_search_seek(IndexSearch* search, int16_t op, KeyBuf* value, KeyBuf* out);
int16_t query_search_key_init(const IndexSearch* search, KeyBuf* key);
void query_search_key_free(KeyBuf* key);
int32_t query_search_count(IndexSearch* search);
void query_search_clear(IndexSearch* search);

// ---- temporary indexes
int16_t tempindex_get(OpenTable* view, const SearchCondition* cond, int16_t unique, IndexFile** file,
                      FieldIndex** field, int32_t* keys);
TempIndexNode* tempindex_find(OpenTable* view, const SearchCondition* cond, int16_t unique);
int16_t tempindex_node_init(TempIndexNode* node, const SearchCondition* cond, int16_t unique);
int16_t tempindex_is_stale(const OpenTable* view, const TempIndexNode* node);
int16_t tempindex_build(OpenTable* view, const SearchCondition* cond, TempIndexNode* node);
void tempindex_cache_free(OpenTable* view);
// Temporary indexes built since the process started (a test figure).
int32_t tempindex_builds();

// Evaluates a compiled expression, reading a single column reference
// straight from its table's current row.
int16_t expr_eval_columns(const CompiledExpr* code, Value* out);
