// Any bytes as a Lotus worksheet. The first byte picks the road: the
// reader on the bytes in memory (active range, window settings, named and
// referenced ranges, the range sheet's cells, types and values), or the
// worksheet table type through a file (describe, open, every row).
#include <unistd.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_bytes.h"
#include "kernel/drivers/wks.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/codepage.h"

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

void read_through_file(const uint8_t* data, size_t size, bool titles) {
  static const std::string path = "/tmp/fuzz_wks_" + std::to_string(getpid()) + ".wk1";
  if (!fuzz_put_file(path.c_str(), data, size)) return;
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_WKS;
  typeopts_init(&t->storage.options, TABTYPE_WKS);
  std::get<SheetOptions>(t->storage.options).titles = titles ? 1 : 0;
  if (tabtype_read_fields(path.c_str(), t)) {
    tabtype_close(&t->storage, nullptr);
    t->storage.field_count = t->field_count;
    if (tabtype_open(path.c_str(), 0, &t->storage, TABTYPE_WKS, &t->field_count, &t->fields) &&
        tabtype_begin_access(t, &t->storage, 1)) {
      const int32_t n = t->storage.row_count < 64 ? t->storage.row_count : 64;
      for (int32_t row = 1; row <= n + 1; ++row) tabtype_read_row(&t->storage, t->fields, row);
      tabtype_end_access(&t->storage);
    }
  }
  tabdef_free(t);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    cp_set_ansi_page(1252);
    cp_set_oem_page(850);
    charset_init_system();
    tables_runtime_start();
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  if (flags & 1) read_through_file(data + 1, size - 1, (flags & 2) != 0);
  else read_in_memory(data + 1, size - 1);
  err_clear();
  return 0;
}
