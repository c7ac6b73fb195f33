// tabdump's Access command: describe a table of an Access database, open
// it and print its columns and rows. The row map lies beside the
// definition's place: DIR/NAME.TAB with --keep DIR, else in a temporary
// directory removed afterwards.
#pragma once
#include <string>

struct AccessDumpOptions {
  std::string table;
  std::string password;
  std::string keep;
};

// tabdump --type mdb --table NAME [--password P] [--keep DIR] FILE
int tabdump_access(const char* path, const AccessDumpOptions& o);
