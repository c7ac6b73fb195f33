// Any bytes as a workbook. The first byte picks the road: the reader on the
// bytes in memory (globals, names, every sheet's cells in a bounded window,
// the named ranges) under a double-byte or a single-byte current charset,
// or the Excel table type through a file (describe, open, every row).
#include <cstdint>

#include "fuzz/sheet_fuzz.h"
#include "kernel/drivers/biff.h"

namespace {

void read_in_memory(const uint8_t* data, size_t size) {
  XlsReader r;
  if (!xls_reader_load(&r, data, size)) return;
  XlsRect used;
  xls_read_globals(&r, &used);
  xls_names_resolve(&r);
  std::vector<std::string> names;
  for (const XlsName& n : r.names) names.push_back(n.text);
  for (const std::string& n : names) {
    XlsRect rect;
    xls_resolve_range(&r, n.c_str(), &rect);
  }
  for (const char* t : {"Sheet1!A1:C3", "B2..D4", "A1", "x!A1:B2"}) {
    XlsRect rect;
    xls_resolve_range(&r, t, &rect);
  }
  const size_t sheets = r.sheets.size();
  for (size_t k = 0; k <= sheets; ++k) {
    if (!xls_select_sheet(&r, k == 0 ? 0 : r.sheets[k - 1].number)) continue;
    for (int32_t row = 0; row < 40; ++row) {
      for (int32_t col = 0; col < 12; ++col) {
        const XlsCellEntry* e = xls_find_cell(&r, col, row);
        int32_t type, width;
        xls_cell_type_width(xls_cell_value(&r, e), &type, &width);
      }
    }
    const std::vector<XlsCellEntry> cells = r.cells;
    for (size_t i = 0; i < cells.size() && i < 2000; ++i) {
      for (int32_t c = cells[i].first_column; c <= cells[i].last_column && c < cells[i].first_column + 300; ++c) {
        r.column = c;
        xls_cell_value(&r, &cells[i]);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz_sheet_input(TABTYPE_XLS, ".xls", 932, data, size, read_in_memory);
}
