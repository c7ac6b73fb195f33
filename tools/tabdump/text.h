// tabdump's delimited-text commands: describe and dump a text or CSV file,
// optionally through an in-memory table or a registered definition, and
// create one from rows read from stdin.
#pragma once
#include <string>

struct TextOptions {
  bool csv = false;
  int delimiter = -1;  // -1: the type's default
  bool titles = false;
  std::string charset;
  bool memory = false;
  std::string keep;
};

// tabdump [--type txt|csv] [options] FILE
int tabdump_text(const char* path, const TextOptions& o);
// tabdump --type txt|csv --create FILE --columns "..." [options]
int tabdump_text_create(const char* path, const TextOptions& o, const char* columns);
