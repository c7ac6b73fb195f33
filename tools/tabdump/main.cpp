// tabdump: a look at table definition files from the command line.
//
//   tabdump [--type dbf] FILE    prints a table's columns and rows (a .TAB
//                                opened as a table is, or a dBASE file).
//   tabdump --create FILE.TAB --type native|dbf --columns "NAME TYPE W D,..."
//                                creates a table from stdin's rows.
//
//   tabdump --index NAME FILE.TAB
//                                builds the index of a field (not unique)
//                                and rewrites the definition with it.
//   tabdump --find NAME KEY FILE.TAB
//                                the rows holding KEY (read as the field's
//                                type) by the field's index, one a line.
//
//   tabdump --rewrite FILE.TAB   reads the definition alone (no data file is
//                                opened) and writes it back.
//
// On failure the error codes of the kernel's error stack are printed to
// stderr, oldest first, one "error CODE" line each, and the exit code is 1;
// the file is then left as it was.
#include <cstdio>
#include <cstring>
#include <string>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabtype.h"
#include "kernel/tables/tabwrite.h"
#include "tools/tabdump/rows.h"

namespace {

int fail() { return tabdump_fail(); }

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
  const char* file = nullptr;
  const char* type = nullptr;
  const char* columns = nullptr;
  const char* index_field = nullptr;
  const char* find_key = nullptr;
  bool do_rewrite = false, create = false, bad = false;
  for (int i = 1; i < argc && !bad; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--rewrite") do_rewrite = true;
    else if (a == "--create") create = true;
    else if (a == "--type" && more) type = argv[++i];
    else if (a == "--index" && more) index_field = argv[++i];
    else if (a == "--find" && i + 2 < argc) index_field = argv[++i], find_key = argv[++i];
    else if (a == "--columns" && more) columns = argv[++i];
    else if (file == nullptr && a.rfind("--", 0) != 0) file = argv[i];
    else bad = true;
  }
  const bool dbf = type != nullptr && std::strcmp(type, "dbf") == 0;
  bad = bad || file == nullptr || (do_rewrite && (create || type != nullptr)) ||
        (type != nullptr && !dbf && std::strcmp(type, "native") != 0) || (create && (type == nullptr || columns == nullptr)) ||
        (!create && columns != nullptr) || (!create && type != nullptr && !dbf) ||
        (index_field != nullptr && (create || do_rewrite || type != nullptr));
  if (bad) {
    std::fprintf(stderr,
                 "usage: tabdump --rewrite FILE.TAB\n"
                 "       tabdump [--type dbf] FILE\n"
                 "       tabdump --index NAME FILE.TAB\n"
                 "       tabdump --find NAME KEY FILE.TAB\n"
                 "       tabdump --create FILE.TAB --type native|dbf --columns \"NAME TYPE WIDTH DECIMALS,...\"\n");
    return 2;
  }
  charset_init_system();
  tables_runtime_start();
  if (do_rewrite) return rewrite(file);
  if (find_key != nullptr) return tabdump_find(file, index_field, find_key);
  if (index_field != nullptr) return tabdump_index(file, index_field);
  if (create) return tabdump_create(file, dbf, columns);
  return tabdump_dump(file, dbf);
}
