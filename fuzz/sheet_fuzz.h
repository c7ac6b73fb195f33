// The spreadsheet table road of the workbook and worksheet fuzz targets:
// the bytes as a file of the type, described (with titles or not), opened
// with the described fields and read row by row (at most 64 rows).
#pragma once
#include <unistd.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_bytes.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/codepage.h"

inline void fuzz_sheet_table(int32_t type, const char* suffix, const uint8_t* data, size_t size, bool titles) {
  const std::string path = "/tmp/fuzz_sheet_" + std::to_string(getpid()) + suffix;
  if (!fuzz_put_file(path.c_str(), data, size)) return;
  TableDef* t = tabdef_new();
  t->storage.type = static_cast<uint8_t>(type);
  typeopts_init(&t->storage.options, type);
  std::get<SheetOptions>(t->storage.options).titles = titles ? 1 : 0;
  if (tabtype_read_fields(path.c_str(), t)) {
    tabtype_close(&t->storage, nullptr);
    t->storage.field_count = t->field_count;
    if (tabtype_open(path.c_str(), 0, &t->storage, type, &t->field_count, &t->fields) &&
        tabtype_begin_access(t, &t->storage, 1)) {
      const int32_t n = t->storage.row_count < 64 ? t->storage.row_count : 64;
      for (int32_t row = 1; row <= n + 1; ++row) tabtype_read_row(&t->storage, t->fields, row);
      tabtype_end_access(&t->storage);
    }
  }
  tabdef_free(t);
}

// One input: the runtime is started once under the ANSI code page; the
// first byte's bit 0 picks the table road (bit 1: titles), else the reader
// on the rest of the bytes in memory.
template <class InMemory>
int fuzz_sheet_input(int32_t type, const char* suffix, int32_t ansi_page, const uint8_t* data, size_t size,
                     InMemory in_memory) {
  static const bool ready = [ansi_page] {
    cp_set_ansi_page(ansi_page);
    cp_set_oem_page(850);
    charset_init_system();
    tables_runtime_start();
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  if (flags & 1) fuzz_sheet_table(type, suffix, data + 1, size - 1, (flags & 2) != 0);
  else in_memory(data + 1, size - 1);
  err_clear();
  return 0;
}
