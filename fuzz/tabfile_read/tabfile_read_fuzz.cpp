// Reads a table definition from random bytes (the first byte chooses
// whether member tables and views are collected and whether an index file
// stands beside it). Nothing is written: the definition file must keep its
// bytes, and no file may appear beside it.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/fuzz_kernel.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/odbctype.h"
#include "kernel/tables/register.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/codepage.h"

namespace {

std::string g_dir;

int count_files() {
  int n = 0;
  DIR* d = opendir(g_dir.c_str());
  if (d == nullptr) return -1;
  while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
  closedir(d);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    fuzz_charsets_start();
    tables_runtime_start();
    g_dir = fuzz_temp_dir("tabfile");
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  const std::string tab = g_dir + "/t.TAB";
  const std::string ind = g_dir + "/t.IND";
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  {
    std::ofstream out(tab, std::ios::binary);
    out << bytes;
  }
  if (data[0] & 2) std::ofstream(ind, std::ios::binary).flush();
  const int before = count_files();
  tabfile_set_collect(static_cast<int16_t>(data[0] & 1));
  table_collection_clear();
  const int32_t h = file_register(tab.c_str(), 1);
  if (h > 0) {
    TableDef* t = tabdef_new();
    t->def_file = h;
    tabdef_open_index(t, tab.c_str());
    TabReadContext ctx;
    ctx.definition_allowed = 1;
    ctx.table = t;
    ctx.file = h;
    if (tabfile_read(&ctx) && ctx.phase == 1 && t->storage.type == TABTYPE_ODBC) {
      // A linked definition's link settings come from its metadata.
      t->metadata = ctx.metadata;
      ctx.metadata = nullptr;
      odbctype_attach_link(t);
    }
    tabdef_free(t);
  }
  tabfile_set_collect(0);
  table_collection_clear();
  std::ifstream in(tab, std::ios::binary);
  const std::string after((std::istreambuf_iterator<char>(in)), {});
  if (after != bytes || count_files() != before) __builtin_trap();
  std::remove(ind.c_str());
  file_reset();
  lex_reset();
  err_clear();
  return 0;
}
