// Statements on native tables that the statement runner takes from text:
//   Create Table name (column type, ...) [File "path"]
//   Insert Into name Values(value, ...)
//   Commit Table name
//   Set Table name FastEdit On|Off Undo On|Off
// A table made by Create Table stays open for Insert Into until Commit
// Table writes and closes it. Column types: Char(n), Decimal(w,d),
// Integer, SmallInt, Date, Logical, Float, Time, DateTime. Values are
// strings (doubled quotes for a quote) or numbers; a value is read as its
// column's type.
#pragma once
#include <cstdint>

// Each reads from the current token (the statement's first keyword).
int16_t stmt_create_table();  // at "Table", after "Create"
int16_t stmt_insert_into();
int16_t stmt_commit_table();
int16_t stmt_set_table();
// Tables made and not committed yet.
int32_t stmt_open_made_tables();
// Closes every table still open without writing (tests, shutdown).
void stmt_made_tables_reset();
