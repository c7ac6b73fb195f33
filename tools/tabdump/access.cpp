// tabdump's Access command (see access.h).
#include "tools/tabdump/access.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabtype.h"
#include "platform/tempdir.h"
#include "tools/tabdump/rows.h"

int tabdump_access(const char* path, const AccessDumpOptions& o) {
  std::string dir = o.keep;
  const bool temporary = dir.empty();
  if (temporary) {
    std::string tmpl = platform::TempDirectory() + "/tabdump_XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) {
      std::fprintf(stderr, "tabdump: no temporary directory\n");
      return 1;
    }
    dir = tmpl;
  }
  const std::string base = dir + "/" + o.table + ".TAB";
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_ACCESS;
  typeopts_init(&t->storage.options, TABTYPE_ACCESS);
  auto& a = std::get<AccessOptions>(t->storage.options);
  a.table = o.table;
  a.password = o.password;
  a.row_map = file_register_nocheck(base.c_str(), 1);
  bool ok = a.row_map > 0 && tabtype_read_fields(path, t);
  if (ok) {
    tabtype_close(&t->storage, nullptr);
    t->storage.field_count = t->field_count;
    ok = tabtype_open(path, 0, &t->storage, TABTYPE_ACCESS, &t->field_count, &t->fields) &&
         tabtype_begin_access(t, &t->storage, 1);
  }
  int rc = 0;
  if (ok) {
    tabdump_print_table(t, false);
    tabtype_end_access(&t->storage);
  } else {
    rc = tabdump_fail();
  }
  tabtype_close(&t->storage, nullptr);
  if (a.row_map > 0) file_unregister(a.row_map);
  a.row_map = 0;
  tabdef_free(t);
  if (temporary) {
    std::remove((dir + "/" + o.table + ".aid").c_str());
    rmdir(dir.c_str());
  }
  return rc;
}
