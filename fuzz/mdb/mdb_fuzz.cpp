// Any bytes as an Access database file read through the engine over real
// files: its tables are listed, and each of the first three is described,
// opened and read row by row (rows beyond the end too), as the Access
// driver does it. The row maps lie in a private directory.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/drivers/access.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/list.h"
#include "kernel/runtime/mem.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = [] {
    charset_init_system();
    tables_runtime_start();
    const std::string d = "/tmp/fuzz_mdb_" + std::to_string(getpid());
    mkdir(d.c_str(), 0700);
    return d;
  }();
  const std::string db = dir + "/d.mdb";
  FILE* f = std::fopen(db.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  char* names = nullptr;
  int32_t count = 0;
  std::vector<std::string> tables;
  if (dao_list_tables(db.c_str(), nullptr, &names, &count)) {
    char name[256];
    for (int32_t i = 0; i < count && i < 3; ++i) {
      if (namelist_get_nth(names, i, name, sizeof name, nullptr, 0)) tables.push_back(name);
    }
    mem_free(&names);
  }
  err_clear();
  for (const auto& table : tables) {
    const std::string def = dir + "/T.TAB";
    FILE* d = std::fopen(def.c_str(), "wb");
    if (d != nullptr) std::fclose(d);
    TableDef* t = tabdef_new();
    t->storage.type = TABTYPE_ACCESS;
    typeopts_init(&t->storage.options, TABTYPE_ACCESS);
    auto& a = std::get<AccessOptions>(t->storage.options);
    a.table = table;
    a.row_map = file_register(def.c_str(), 1);
    if (tabtype_read_fields(db.c_str(), t)) {
      tabtype_close(&t->storage, nullptr);
      t->storage.field_count = t->field_count;
      if (tabtype_open(db.c_str(), 0, &t->storage, TABTYPE_ACCESS, &t->field_count, &t->fields)) {
        if (tabtype_begin_access(t, &t->storage, 1)) {
          const int32_t n = t->storage.row_count;
          for (int32_t r = 1; r <= n + 1 && r <= 2000; ++r) tabtype_read_row(&t->storage, t->fields, r);
          tabtype_end_access(&t->storage);
        }
        tabtype_close(&t->storage, nullptr);
      }
    }
    if (a.row_map > 0) file_unregister(a.row_map);
    a.row_map = 0;
    tabdef_free(t);
    std::remove((dir + "/T.aid").c_str());
    err_clear();
  }
  dao_engine_reset();
  return 0;
}
