// tabdump's row commands: the dump of a table's columns and rows, and the
// creation of a table from column texts and rows read from stdin.
#pragma once

// tabdump [--type dbf] FILE
int tabdump_dump(const char* path, bool dbf);
// tabdump --create FILE.TAB --type native|dbf --columns "NAME TYPE WIDTH DECIMALS,..."
int tabdump_create(const char* path, bool dbf, const char* columns);
// The error lines of the kernel's error stack on stderr; answers 1.
int tabdump_fail();
// tabdump --index NAME FILE.TAB: builds the field's index (not unique).
int tabdump_index(const char* path, const char* name);
// tabdump --find NAME KEY FILE.TAB: the rows whose field holds KEY, one a
// line, in index order; a field without an index fails.
int tabdump_find(const char* path, const char* name, const char* key);
