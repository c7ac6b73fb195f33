// Any bytes as the row map of an Access table on the in-memory engine: the
// first byte picks how many records the table holds (0-15), whether a
// record is added by another program before the access and whether rows
// are written (an insert and a delete); the rest is the ".aid" file. The
// table is opened over it and every row it names is read.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "kernel/drivers/access.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/dao/memengine.h"

namespace {

void add_row(const std::string& db, int32_t n) {
  Variant empty;
  VariantInit(&empty);
  VariantHolder name(var_bstr(("r" + std::to_string(n)).c_str()));
  mem_dao_add_row(db, "T", {empty, name.v, var_i4(n)});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = [] {
    charset_init_system();
    tables_runtime_start();
    mem_dao_install();
    const std::string d = "/tmp/fuzz_rowmap_" + std::to_string(getpid());
    mkdir(d.c_str(), 0700);
    return d;
  }();
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const std::string db = dir + "/d.mdb", def = dir + "/T.TAB", aid = dir + "/T.aid";
  mem_dao_reset();
  mem_dao_create(db, "4.0", "");
  mem_dao_add_table(db, "T", {{"ID", dbLong, 4, dbAutoIncrField}, {"NAME", dbText, 20, 0}, {"N", dbLong, 4, 0}});
  mem_dao_add_index(db, "T", "PK", {"ID"}, true, true);
  for (int32_t i = 1; i <= (flags & 15); ++i) add_row(db, i);
  FILE* f = std::fopen(aid.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  f = std::fopen(def.c_str(), "wb");
  if (f != nullptr) std::fclose(f);

  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_ACCESS;
  typeopts_init(&t->storage.options, TABTYPE_ACCESS);
  auto& a = std::get<AccessOptions>(t->storage.options);
  a.table = "T";
  a.row_map = file_register(def.c_str(), 1);
  t->field_count = 3;
  t->fields = fieldlist_new(3);
  value_init(&t->fields[0].value, VALUE_INTEGER, nullptr);
  t->fields[0].width = 11;
  value_init(&t->fields[1].value, VALUE_CHAR, nullptr);
  t->fields[1].width = 20;
  value_init(&t->fields[2].value, VALUE_INTEGER, nullptr);
  t->fields[2].width = 11;
  t->storage.field_count = 3;
  if (tabtype_open(db.c_str(), 0, &t->storage, TABTYPE_ACCESS, &t->field_count, &t->fields)) {
    if (flags & 0x10) add_row(db, 99);
    int16_t changed = 0;
    if (tabtype_begin_access(t, &t->storage, (flags & 0x20) ? 2 : 1, &changed)) {
      const int32_t n = t->storage.row_count;
      for (int32_t r = 0; r <= n + 1 && r < 4096; ++r) tabtype_read_row(&t->storage, t->fields, r);
      if (flags & 0x20) {
        int32_t id = 0;
        tabtype_insert_row(&t->storage, t->fields, &id);
        tabtype_delete_row(&t->storage, 1 + (flags >> 6));
      }
      tabtype_end_access(&t->storage);
    }
    tabtype_close(&t->storage, nullptr);
  }
  if (a.row_map > 0) file_unregister(a.row_map);
  tabdef_free(t);
  dao_engine_reset();
  err_clear();
  return 0;
}
