// tabdump: a look at table definition files from the command line.
//
//   tabdump [--type dbf] FILE    prints a table's columns and rows (a .TAB
//                                opened as a table is, or a dBASE file).
//   tabdump --create FILE.TAB --type native|dbf --columns "NAME TYPE W D,..."
//                                creates a table from stdin's rows.
//
//   tabdump [--type txt|csv] [--delimiter N] [--titles] [--charset NAME]
//           [--memory] [--keep DIR] FILE
//                                describes a delimited-text file (a .csv
//                                as comma-separated text) and prints its
//                                columns and rows; --memory passes the rows
//                                through an in-memory table, --keep DIR
//                                registers the file as DIR/NAME.TAB and
//                                reads that table.
//   tabdump --type xls|wks [--range TEXT] [--titles] [--keep DIR] FILE
//                                describes a range of an Excel workbook or
//                                a Lotus worksheet (the default range
//                                without --range) and prints its columns
//                                and rows; --keep DIR registers it first.
//   tabdump --type txt|csv --create FILE --columns "..." [same options]
//                                creates a text file from stdin's rows.
//   tabdump --index NAME FILE.TAB
//                                builds the index of a field (not unique)
//                                and rewrites the definition with it.
//   tabdump --find NAME KEY FILE.TAB
//                                the rows holding KEY (read as the field's
//                                type) by the field's index, one a line.
//
//   tabdump --type mdb --table NAME [--password P] [--keep DIR] FILE
//                                describes a table of an Access database
//                                and prints its columns and rows; the row
//                                map is written as DIR/NAME.aid (else in a
//                                temporary directory).
//
//   tabdump --rewrite FILE.TAB   reads the definition alone (no data file is
//                                opened) and writes it back.
//
// On failure the error codes of the kernel's error stack are printed to
// stderr, oldest first, one "error CODE" line each, and the exit code is 1;
// the file is then left as it was.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
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
#include "tools/tabdump/access.h"
#include "tools/tabdump/rows.h"
#include "tools/tabdump/sheet.h"
#include "tools/tabdump/text.h"

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
  bool do_rewrite = false, create = false, bad = false, text_options = false;
  TextOptions text;
  const char* range = nullptr;
  AccessDumpOptions access;
  bool access_options = false;
  for (int i = 1; i < argc && !bad; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--rewrite") do_rewrite = true;
    else if (a == "--create") create = true;
    else if (a == "--type" && more) type = argv[++i];
    else if (a == "--index" && more) index_field = argv[++i];
    else if (a == "--find" && i + 2 < argc) index_field = argv[++i], find_key = argv[++i];
    else if (a == "--columns" && more) columns = argv[++i];
    else if (a == "--range" && more) range = argv[++i];
    else if (a == "--delimiter" && more) text.delimiter = std::atoi(argv[++i]), text_options = true;
    else if (a == "--titles") text.titles = text_options = true;
    else if (a == "--charset" && more) text.charset = argv[++i], text_options = true;
    else if (a == "--memory") text.memory = text_options = true;
    else if (a == "--keep" && more) text.keep = argv[++i], text_options = true;
    else if (a == "--table" && more) access.table = argv[++i], access_options = true;
    else if (a == "--password" && more) access.password = argv[++i], access_options = true;
    else if (file == nullptr && a.rfind("--", 0) != 0) file = argv[i];
    else bad = true;
  }
  const bool dbf = type != nullptr && std::strcmp(type, "dbf") == 0;
  const bool sheet = type != nullptr && (std::strcmp(type, "xls") == 0 || std::strcmp(type, "wks") == 0);
  if (sheet) {
    // Only --range, --titles and --keep go with a workbook or worksheet.
    if (bad || file == nullptr || do_rewrite || create || columns != nullptr || index_field != nullptr ||
        text.delimiter != -1 || !text.charset.empty() || text.memory || access_options) {
      std::fprintf(stderr, "usage: tabdump --type xls|wks [--range TEXT] [--titles] [--keep DIR] FILE\n");
      return 2;
    }
    SheetDumpOptions so;
    so.lotus = std::strcmp(type, "wks") == 0;
    if (range != nullptr) so.range = range;
    so.titles = text.titles;
    so.keep = text.keep;
    charset_init_system();
    tables_runtime_start();
    return tabdump_sheet(file, so);
  }
  bad = bad || range != nullptr;
  if (type != nullptr && std::strcmp(type, "mdb") == 0) {
    access.keep = text.keep;
    if (bad || file == nullptr || access.table.empty() || create || do_rewrite || columns != nullptr ||
        index_field != nullptr || text.memory || text.titles || text.delimiter != -1 || !text.charset.empty()) {
      std::fprintf(stderr, "usage: tabdump --type mdb --table NAME [--password P] [--keep DIR] FILE\n");
      return 2;
    }
    charset_init_system();
    tables_runtime_start();
    return tabdump_access(file, access);
  }
  bad = bad || access_options;
  // Delimited text: --type txt or csv, or a FILE ending in .csv or .txt.
  const char* ext = file != nullptr ? std::strrchr(file, '.') : nullptr;
  const bool is_text = type != nullptr ? std::strcmp(type, "txt") == 0 || std::strcmp(type, "csv") == 0
                                       : ext != nullptr && (strcasecmp(ext, ".csv") == 0 || strcasecmp(ext, ".txt") == 0);
  text.csv = type != nullptr ? std::strcmp(type, "csv") == 0 : ext != nullptr && strcasecmp(ext, ".csv") == 0;
  const bool text_road = is_text && !do_rewrite && index_field == nullptr && file != nullptr;
  if (text_road && (text.delimiter < -1 || text.delimiter > 255 || (create && columns == nullptr) ||
                    (!create && columns != nullptr))) {
    bad = true;
  } else if (text_road && !bad) {
    charset_init_system();
    tables_runtime_start();
    return create ? tabdump_text_create(file, text, columns) : tabdump_text(file, text);
  }
  bad = bad || text_options;
  bad = bad || file == nullptr || (do_rewrite && (create || type != nullptr)) ||
        (type != nullptr && !dbf && std::strcmp(type, "native") != 0) || (create && (type == nullptr || columns == nullptr)) ||
        (!create && columns != nullptr) || (!create && type != nullptr && !dbf) ||
        (index_field != nullptr && (create || do_rewrite || type != nullptr));
  if (bad) {
    std::fprintf(stderr,
                 "usage: tabdump --rewrite FILE.TAB\n"
                 "       tabdump [--type dbf] FILE\n"
                 "       tabdump [--type txt|csv] [--delimiter N] [--titles] [--charset NAME] [--memory] [--keep DIR] FILE\n"
                 "       tabdump --type xls|wks [--range TEXT] [--titles] [--keep DIR] FILE\n"
                 "       tabdump --type txt|csv --create FILE --columns \"NAME TYPE WIDTH DECIMALS,...\" [text options]\n"
                 "       tabdump --type mdb --table NAME [--password P] [--keep DIR] FILE\n"
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
