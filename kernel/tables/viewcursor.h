// The view cursor, the row map of a kind-3 view, the join steps of a
// kind-2 view and the seek operations of the index search.
//
// The row map is a temporary binary file of fixed records, one per view
// row, holding the base row of each base table as 32-bit little-endian
// numbers, and a temporary index file with one Integer index per base
// table from base rows to view rows.
//
// A kind-2 view joins its base tables in order: step i ties base table i
// to base table i + 1 (0-based) by a column of each, both searched through
// their field indexes. Its view rows are the rows of the last base table.
#pragma once
#include <cstdint>
#include <vector>

#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/indexsearch.h"
#include "kernel/tables/tabdef.h"

constexpr int16_t kErrRowMap = 487;
constexpr int32_t kOccurrenceUnset = INT32_MIN;

struct ViewRowMap {
  int32_t file = 0;
  IndexFile* index = nullptr;
  std::vector<FieldIndex> fields;  // one per base table
};

struct JoinStep {
  int32_t left_field = 0;   // of base table i
  int32_t right_field = 0;  // of base table i + 1
  IndexSearch left;         // over the left field: the cursor's way back
  IndexSearch right;        // over the right field: the walk forward
};

struct ViewJoins {
  std::vector<JoinStep> steps;
};

// Modes: 1 next, 2 previous, 3 before the first row, 4 after the last, 5
// the given row. Answers whether the row was read.
int16_t cursor_move(OpenTable* view, int16_t mode, int32_t row, int32_t* base_row, int16_t* flag, int16_t* end);
void view_clear_values(OpenTable* view);

int16_t view_rowmap_create(OpenTable* view, int16_t with_file);
// Appends a view row of the given base rows (one per base table) to the
// row map, indexing each when asked; the view's own row count grows.
int16_t view_rowmap_add_keys(OpenTable* view, const int32_t* base_rows, int16_t index);
// The base row of base table b (0-based) in view row r; 0 when none.
int32_t view_rowmap_base_row(OpenTable* view, int32_t view_row, int32_t base);
void view_rowmap_free(OpenTable* view);
// The row map's bracket of use (the begin of access of a kind-3 view).
int16_t view_rowmap_begin(OpenTable* view);
void view_rowmap_end(OpenTable* view);

// Adds the next join step of a kind-2 view (between base tables i and
// i + 1, i the steps already made), building the field indexes of both
// columns when they have none.
int16_t view_join_add(OpenTable* view, int32_t left_field, int32_t right_field);
// Opens both searches of every step (closing what it opened on a failure);
// closes them.
int16_t view_joins_open(OpenTable* view);
void view_joins_close(OpenTable* view);
void view_joins_free(OpenTable* view);

// The view row of a base row (0: not in the view); base null means the
// designated base table.
int32_t view_row_of_base_row(OpenTable* view, int32_t base_row, TableDef* base);
void view_set_occurrence(int32_t n);
int16_t view_goto_base_row(OpenTable* view, int32_t base_row);

// The seek operations 1-12 on a field index, and filtered through the row
// map of a kind-3 view for base table base (0-based).
int16_t index_seek_op(IndexFile* index, FieldIndex* field, int16_t op, KeyBuf* value, KeyBuf* out);
int16_t index_seek_op_filtered(OpenTable* view, int32_t base, IndexFile* index, FieldIndex* field, int16_t op,
                               KeyBuf* value, KeyBuf* out);

