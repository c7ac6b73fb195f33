// Any bytes as a workbook. The first byte picks the road: the reader on the
// bytes in memory (globals, names, every sheet's cells in a bounded window,
// the named ranges) under a double-byte or a single-byte current charset,
// or the Excel table type through a file (describe, open, every row).
#include <unistd.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_bytes.h"
#include "kernel/drivers/biff.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/codepage.h"

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

void read_through_file(const uint8_t* data, size_t size, bool titles) {
  static const std::string path = "/tmp/fuzz_biff_" + std::to_string(getpid()) + ".xls";
  if (!fuzz_put_file(path.c_str(), data, size)) return;
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_XLS;
  typeopts_init(&t->storage.options, TABTYPE_XLS);
  std::get<SheetOptions>(t->storage.options).titles = titles ? 1 : 0;
  if (tabtype_read_fields(path.c_str(), t)) {
    tabtype_close(&t->storage, nullptr);
    t->storage.field_count = t->field_count;
    if (tabtype_open(path.c_str(), 0, &t->storage, TABTYPE_XLS, &t->field_count, &t->fields) &&
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
    cp_set_ansi_page(932);
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
