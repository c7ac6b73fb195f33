// tabdump: a look at table definition files from the command line.
//
//   tabdump --rewrite FILE.TAB   reads the definition alone (no data file is
//                                opened) and writes it back.
//
// On failure the error codes of the kernel's error stack are printed to
// stderr, oldest first, one "error CODE" line each, and the exit code is 1;
// the file is then left as it was.
#include <cstdio>
#include <cstring>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabtype.h"
#include "kernel/tables/tabwrite.h"

namespace {

int fail() {
  const int n = err_count() < kErrMaxEntries ? err_count() : kErrMaxEntries;
  for (int i = 0; i < n; ++i) {
    if (g_err_stack->entries[i].code > 0) std::fprintf(stderr, "error %d\n", g_err_stack->entries[i].code);
  }
  return 1;
}

int rewrite(const char* path) {
  const int32_t h = file_register(path, 1);
  if (h <= 0) return fail();
  TableDef* t = tabdef_new();
  t->def_file = h;
  char def_path[kPathSize];
  file_get_path(h, def_path);
  tabdef_open_index(t, def_path);
  TabReadContext ctx;
  ctx.definition_allowed = 1;
  ctx.table = t;
  ctx.file = h;
  int rc = 0;
  if (!tabfile_read(&ctx) || ctx.phase != 1) {
    rc = fail();
  } else {
    t->metadata = ctx.metadata;
    ctx.metadata = nullptr;
    // The data path as the table's open gives it; registered, not opened.
    char data[kPathSize];
    bool ok = true;
    if (ctx.has_data_file && ctx.wfs_record == nullptr) {
      ok = ctx.data_file.size() < sizeof data;
      if (ok) {
        std::memcpy(data, ctx.data_file.c_str(), ctx.data_file.size() + 1);
        ok = path_make_absolute(data, h) != 0;
      }
    } else {
      path_with_extension(data, def_path, tabtype_extension(t->storage.type));
    }
    if (ok && tabtype_extension(t->storage.type) != 0) t->storage.data_file = file_register_nocheck(data, 0);
    if (!ok || !tabfile_write(t, ctx.object_record.get(), ctx.wfs_record.get(), ctx.fme_record.get())) rc = fail();
    if (t->storage.data_file > 0) file_unregister(t->storage.data_file);
    t->storage.data_file = 0;
  }
  tabdef_free(t);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "--rewrite") != 0) {
    std::fprintf(stderr, "usage: tabdump --rewrite FILE.TAB\n");
    return 2;
  }
  charset_init_system();
  tables_runtime_start();
  return rewrite(argv[2]);
}
