// The statements that do more than fill one definition: "Register Table"
// writes a new definition for a foreign data file; "Open Table" and
// "Create View" collect the member tables and the joined view of a view
// definition file into the process-wide TableCollection, and the view
// builder checks and resolves it.
#pragma once
#include <cstdint>
#include <vector>

#include "kernel/tables/tabdef.h"

constexpr int16_t kErrRegistered = 420;
constexpr int16_t kErrUnexpectedWord = 851;

struct MemberTable {
  char path[kPathSize];
  char alias[kTableNameSize];
  int32_t order;  // position in the view's From list, 0 when not named
  int32_t field_count;
  FieldDef* fields;
};

struct ViewColumn {
  char name[64];
  char alias[kTableNameSize];
  int32_t member;  // set by the view builder
};

struct ViewJoin {
  int32_t first_member;
  char first[64];
  int32_t second_member;
  char second[64];
};

struct TableCollection {
  std::vector<MemberTable> members;
  std::vector<ViewColumn> columns;
  std::vector<ViewJoin> joins;
  int16_t star = 0;
  char view_name[kTableNameSize] = {};
};

TableCollection* table_collection();
// Frees the member field lists and empties the collection.
void table_collection_clear();

// The statements, at the token after their first keyword ("Register Table"
// after "Table").
int16_t stmt_register_table();
int16_t stmt_open_table();
int16_t stmt_create_view();

// The view builder.
void view_drop_unnamed_members(TableCollection* c);
int16_t view_expand_star(TableCollection* c);
int16_t view_resolve_columns(TableCollection* c);
int16_t view_check_join_chain(TableCollection* c);
int32_t view_find_member(const TableCollection* c, const char* name);
void view_free_member_fields(TableCollection* c, int16_t named);
// The part after the first full stop (the whole name without one).
const char* name_after_dot(const char* name);
