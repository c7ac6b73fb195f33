// Any bytes as a Lotus worksheet. The first byte picks the road: the
// reader on the bytes in memory (active range, window settings, named and
// referenced ranges, the range sheet's cells, types and values), or the
// worksheet table type through a file (describe, open, every row).
#include <cstdint>

#include "fuzz/sheet_fuzz.h"
#include "kernel/drivers/wks.h"

namespace {

void read_in_memory(const uint8_t* data, size_t size) {
  WksReader r;
  if (!wks_reader_load(&r, data, size)) return;
  WksRange active;
  const bool has = wks_active_range(&r, &active);
  int32_t tc, tr, w;
  wks_window_settings(&r, &tc, &tr, &w);
  if (has && active.last_sheet - active.first_sheet < 300) wks_add_sheet_names(&r, active);
  WksRange range{0, 0, 20, 60, 0, 0};
  for (const char* t : {"Entire Worksheet", "DATA", "B:A1..B:C5", "A1..D20", "C3"}) wks_resolve_range(&r, t, &range);
  if (!wks_select_sheet(&r, range.first_sheet, 60)) return;
  const std::vector<WksCell> cells = r.cells;
  for (size_t i = 0; i < cells.size() && i < 3000; ++i) {
    wks_cell_value(&r, &cells[i]);
    int32_t type, width, dec;
    wks_cell_type_width(&r, &cells[i], &type, &width, &dec);
    wks_find_cell(&r, cells[i].column, cells[i].row);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz_sheet_input(TABTYPE_WKS, ".wk1", 1252, data, size, read_in_memory);
}
