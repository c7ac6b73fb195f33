// A generated Access file of 100,000 rows (a key, a text, a Long, a Double
// and a Date) described and read row by row through the Access driver
// (describe, open, every row), against a baseline in the same run that
// fetches the same rows through libmdb alone (open, catalogue, columns,
// every row with every column bound). The kernel's block cache is set up
// as the table API sets it up. Prints both times and the ratio
// driver/baseline; exits 1 above 4.
#include <glib.h>  // before mdbtools.h, which includes it inside extern "C"
#include <mdbtools.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "kernel/drivers/access.h"
#include "kernel/drivers/jet4/jet4gen.h"
#include "kernel/runtime/cache.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"

namespace {

constexpr int32_t kRows = 100000;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int32_t driver_read(const std::string& db, const std::string& def, double* seconds) {
  const double start = now();
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_ACCESS;
  typeopts_init(&t->storage.options, TABTYPE_ACCESS);
  auto& a = std::get<AccessOptions>(t->storage.options);
  a.table = "Bench";
  a.row_map = file_register(def.c_str(), 1);
  int32_t read = 0;
  if (tabtype_read_fields(db.c_str(), t)) {
    tabtype_close(&t->storage, nullptr);
    t->storage.field_count = t->field_count;
    if (tabtype_open(db.c_str(), 0, &t->storage, TABTYPE_ACCESS, &t->field_count, &t->fields) &&
        tabtype_begin_access(t, &t->storage, 1)) {
      for (int32_t r = 1; r <= t->storage.row_count; ++r) read += tabtype_read_row(&t->storage, t->fields, r);
      tabtype_end_access(&t->storage);
    }
    tabtype_close(&t->storage, nullptr);
  }
  file_unregister(a.row_map);
  a.row_map = 0;
  tabdef_free(t);
  *seconds = now() - start;
  return read;
}

int32_t libmdb_read(const std::string& db, double* seconds) {
  const double start = now();
  int32_t read = 0;
  MdbHandle* mdb = mdb_open(db.c_str(), MDB_NOFLAGS);
  if (mdb != nullptr && mdb_read_catalog(mdb, MDB_TABLE) != nullptr) {
    MdbTableDef* t = mdb_read_table_by_name(mdb, const_cast<char*>("Bench"), MDB_TABLE);
    if (t != nullptr && mdb_read_columns(t) != nullptr) {
      std::vector<std::vector<char>> bound(t->num_cols, std::vector<char>(MDB_BIND_SIZE));
      for (unsigned i = 0; i < t->num_cols; ++i) mdb_bind_column(t, static_cast<int>(i) + 1, bound[i].data(), nullptr);
      mdb_rewind_table(t);
      while (mdb_fetch_row(t)) ++read;
      mdb_free_tabledef(t);
    }
  }
  if (mdb != nullptr) mdb_close(mdb);
  *seconds = now() - start;
  return read;
}

}  // namespace

int main() {
  charset_init_system();
  tables_runtime_start();
  block_cache_init();  // as the table API sets it up
  const std::string dir = "/tmp/bench_access_" + std::to_string(getpid());
  const std::string db = dir + ".mdb", def = dir + ".TAB";
  if (!jet4::write_file(db, jet4::bench_database(kRows))) return 1;
  if (FILE* f = std::fopen(def.c_str(), "wb")) std::fclose(f);
  double base = 0, ours = 0;
  const int32_t n_base = libmdb_read(db, &base);
  const int32_t n_ours = driver_read(db, def, &ours);
  std::remove(db.c_str());
  std::remove(def.c_str());
  std::remove((dir + ".aid").c_str());
  const double ratio = base > 0 ? ours / base : 0;
  std::printf("access: driver %.3f s (%d rows), libmdb alone %.3f s (%d rows), ratio %.2f\n", ours, n_ours, base,
              n_base, ratio);
  return n_ours == kRows && n_base == kRows && ratio <= 4 ? 0 : 1;
}
