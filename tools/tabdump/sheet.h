// tabdump's workbook and worksheet commands: describe a range of an Excel
// workbook or a Lotus worksheet and print its columns and rows, optionally
// through a registered definition.
#pragma once
#include <string>

struct SheetDumpOptions {
  bool lotus = false;
  std::string range;  // empty: the default range
  bool titles = false;
  std::string keep;
};

// tabdump --type xls|wks [--range TEXT] [--titles] [--keep DIR] FILE
int tabdump_sheet(const char* path, const SheetDumpOptions& o);
