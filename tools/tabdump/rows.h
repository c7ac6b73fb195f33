// tabdump's row commands: the dump of a table's columns and rows, and the
// creation of a table from column texts and rows read from stdin.
#pragma once

// tabdump [--type dbf] FILE
int tabdump_dump(const char* path, bool dbf);
// tabdump --create FILE.TAB --type native|dbf --columns "NAME TYPE WIDTH DECIMALS,..."
int tabdump_create(const char* path, bool dbf, const char* columns);
struct TableDef;
struct FieldDef;
#include <string>
#include <vector>
// The rows of an open table under its column lines; with memory the rows
// pass through an in-memory table first.
void tabdump_print_table(TableDef* t, bool memory);
// One row in the output form, and stdin's rows into the fields.
std::string tabdump_row_text(const FieldDef* fields, int count);
bool tabdump_parse_columns(const char* text, std::vector<FieldDef>* out);
bool tabdump_set_row(FieldDef* fields, int count, const std::string& line);
// Inserts stdin's rows (output form) into the open table.
bool tabdump_insert_stdin(TableDef* t);
// Registers the file as DIR/NAME.TAB with the Type clause, opens the table
// from that definition and prints it; answers the exit code.
int tabdump_registered(const char* path, const std::string& type_clause, const std::string& dir, bool memory);
// The error lines of the kernel's error stack on stderr; answers 1.
int tabdump_fail();
// tabdump --index NAME FILE.TAB: builds the field's index (not unique).
int tabdump_index(const char* path, const char* name);
// tabdump --find NAME KEY FILE.TAB: the rows whose field holds KEY, one a
// line, in index order; a field without an index fails.
int tabdump_find(const char* path, const char* name, const char* key);
