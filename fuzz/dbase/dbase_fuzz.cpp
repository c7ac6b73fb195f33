// Any bytes as a dBASE file and as a native data file: the dBASE file is
// described from its field records and opened with what the describe
// gave; the native file is opened with a definition made from its field
// records (the first byte picks the types of 4- and 8-byte fields, the
// table charset and whether rows are also written). Every row is read.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_kernel.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/storage/dbfile.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "platform/codepage.h"

namespace {

std::string g_dbf, g_dat;

void read_and_write_rows(TableDef* t, bool write) {
  if (!tabtype_begin_access(t, &t->storage, write ? 2 : 1)) return;
  for (int32_t n = 1; n <= t->storage.row_count + 1; ++n) tabtype_read_row(&t->storage, t->fields, n);
  if (write && t->storage.row_count > 0) {
    int32_t n = 0;
    tabtype_update_row(&t->storage, t->fields, 1);
    tabtype_insert_row(&t->storage, t->fields, &n);
    tabtype_delete_row(&t->storage, 1);
    for (int32_t k = 1; k <= t->storage.row_count; ++k) tabtype_read_row(&t->storage, t->fields, k);
  }
  tabtype_end_access(&t->storage);
}

void set_charset(TableDef* t, uint8_t pick) {
  static const int32_t kSets[] = {kCharsetWindowsLatin1, kCharsetCodePage437, 17, 19};
  typeopts_set_charset(&t->storage.options, kSets[pick & 3]);
}

void fuzz_dbf(uint8_t flags) {
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_DBF;
  typeopts_init(&t->storage.options, TABTYPE_DBF);
  std::get<NativeOptions>(t->storage.options).shapefile = (flags >> 4) & 1;
  set_charset(t, flags >> 2);
  if (tabtype_read_fields(g_dbf.c_str(), t)) {
    tabtype_close(&t->storage, nullptr);
    t->storage.field_count = t->field_count;
    if (tabtype_open(g_dbf.c_str(), 0, &t->storage, TABTYPE_DBF, &t->field_count, &t->fields))
      read_and_write_rows(t, flags & 0x80);
  }
  tabdef_free(t);
}

// A definition from the native file's field records.
void fuzz_dat(uint8_t flags) {
  const int32_t h = file_register_nocheck(g_dat.c_str(), 17);
  DbfFile* f = nullptr;
  if (h <= 0 || dbfile_open(h, &f, 1) != DBF_OK) {
    if (h > 0) file_unregister(h);
    return;
  }
  TableDef* t = tabdef_new();
  t->field_count = f->field_count;
  t->fields = fieldlist_new(f->field_count > 0 ? f->field_count : 1);
  for (int32_t i = 0; i < f->field_count; ++i) {
    const DbfFieldDesc& d = f->fields[static_cast<size_t>(i)];
    FieldDef& fd = t->fields[i];
    std::snprintf(fd.name, sizeof fd.name, "f%d", i);
    fd.width = d.width;
    fd.decimals = d.decimals;
    uint8_t type = VALUE_CHAR;
    switch (d.type) {
      case 'C':
        if (d.width == 2) type = VALUE_SMALLINT;
        if (d.width == 4) type = (flags & 1) ? VALUE_TIME : (flags & 2) ? VALUE_DATE : VALUE_INTEGER;
        if (d.width == 8) type = (flags & 1) ? VALUE_DATETIME : (flags & 2) ? VALUE_LARGEINT : VALUE_FLOAT;
        break;
      case 'L': type = VALUE_LOGICAL; break;
      case 'M': type = VALUE_MEMO; break;
      case 'N': type = (flags & 2) ? VALUE_FLOAT : VALUE_DECIMAL; break;
      default: break;
    }
    fd.value.type = type;
  }
  dbfile_close(f);
  file_unregister(h);
  t->storage.type = TABTYPE_NATIVE;
  typeopts_init(&t->storage.options, TABTYPE_NATIVE);
  set_charset(t, flags >> 2);
  if (tabtype_open(g_dat.c_str(), 0, &t->storage, TABTYPE_NATIVE, &t->field_count, &t->fields))
    read_and_write_rows(t, flags & 0x80);
  tabdef_free(t);
}

bool put(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    fuzz_charsets_start();
    g_dbf = "/tmp/fuzz_dbase_" + std::to_string(getpid()) + ".DBF";
    g_dat = "/tmp/fuzz_dbase_" + std::to_string(getpid()) + ".DAT";
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  if (put(g_dbf, data + 1, size - 1)) fuzz_dbf(data[0]);
  if (put(g_dat, data + 1, size - 1)) fuzz_dat(data[0]);
  err_clear();
  return 0;
}
