// Any bytes as a delimited-text file: the first byte picks the delimiter,
// the titles flag, the file charset and whether rows are read backwards as
// well; the rest is the file. The file is described, opened with what the
// describe gave and every row is read (and one row appended).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path = [] {
    cp_set_ansi_page(932);
    cp_set_oem_page(850);
    charset_init_system();
    return "/tmp/fuzz_delimited_" + std::to_string(getpid()) + ".csv";
  }();
  if (size < 1) return 0;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  const uint8_t flags = data[0];
  static const uint8_t kDelims[] = {9, ',', ';', '|'};
  static const int32_t kSets[] = {0, kCharsetWindowsLatin1, 19, kCharsetCodePage437};
  TableDef* t = tabdef_new();
  const int32_t type = (flags & 0x40) ? TABTYPE_CSV : TABTYPE_ASCII;
  t->storage.type = static_cast<uint8_t>(type);
  typeopts_init(&t->storage.options, type);
  auto& a = std::get<AsciiOptions>(t->storage.options);
  a.delimiter = kDelims[flags & 3];
  a.titles = (flags >> 2) & 1;
  if (kSets[(flags >> 3) & 3] != 0) a.charset = kSets[(flags >> 3) & 3];
  if (tabtype_read_fields(path.c_str(), t)) {
    tabtype_close(&t->storage, nullptr);
    t->storage.type = TABTYPE_ASCII;
    t->storage.field_count = t->field_count;
    if (tabtype_open(path.c_str(), 0, &t->storage, TABTYPE_ASCII, &t->field_count, &t->fields) &&
        tabtype_begin_access(t, &t->storage, (flags & 0x80) ? 2 : 1)) {
      const int32_t n = t->storage.row_count;
      for (int32_t r = 1; r <= n + 1; ++r) tabtype_read_row(&t->storage, t->fields, r);
      if (flags & 0x20) {
        for (int32_t r = n; r >= 1; --r) tabtype_read_row(&t->storage, t->fields, r);
      }
      if ((flags & 0x80) && n > 0 && tabtype_read_row(&t->storage, t->fields, 1)) {
        int32_t id = 0;
        tabtype_insert_row(&t->storage, t->fields, &id);
      }
      tabtype_end_access(&t->storage);
    }
  }
  tabdef_free(t);
  err_clear();
  return 0;
}
