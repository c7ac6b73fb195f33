// A generated CSV of 1,000,000 rows (an integer, a text, a float) read
// through the delimited-text driver (open, then read rows 1..N; the
// describe before is not timed) against a
// baseline in the same run that only reads the file's lines and splits
// them at the commas. Prints both times and the ratio driver/baseline
// (exits 1 above 4), and the peak resident size after 100,000 and after
// 1,000,000 rows (exits 1 when it grows by more than 16 MiB).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/codepage.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long peak_kib() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

bool generate(const std::string& path, int32_t rows) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  for (int32_t i = 1; i <= rows; ++i) std::fprintf(f, "%d,\"name %d\",%d.25\n", i, i % 977, i % 1000);
  return std::fclose(f) == 0;
}

// Described first (not timed), then open plus every row through the
// driver; answers the number of rows read and the time taken.
int32_t driver_read(const std::string& path, double* seconds) {
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_CSV;
  typeopts_init(&t->storage.options, TABTYPE_CSV);
  int32_t read = 0;
  if (tabtype_read_fields(path.c_str(), t)) {
    tabtype_close(&t->storage, nullptr);
    const double t0 = now();
    t->storage.type = TABTYPE_ASCII;
    t->storage.field_count = t->field_count;
    if (tabtype_open(path.c_str(), 0, &t->storage, TABTYPE_ASCII, &t->field_count, &t->fields) &&
        tabtype_begin_access(t, &t->storage, 1)) {
      for (int32_t n = 1; n <= t->storage.row_count; ++n) read += tabtype_read_row(&t->storage, t->fields, n);
      tabtype_end_access(&t->storage);
    }
    *seconds = now() - t0;
  }
  tabdef_free(t);
  return read;
}

int32_t baseline_read(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  char line[4096];
  int32_t rows = 0;
  size_t fields = 0;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    for (char* p = std::strtok(line, ",\n"); p != nullptr; p = std::strtok(nullptr, ",\n")) ++fields;
    ++rows;
  }
  std::fclose(f);
  return fields > 0 ? rows : 0;
}

}  // namespace

int main() {
  cp_set_ansi_page(1252);
  cp_set_oem_page(850);
  charset_init_system();
  tables_runtime_start();
  const std::string small = "/tmp/bench_delimited_s_" + std::to_string(getpid()) + ".csv";
  const std::string big = "/tmp/bench_delimited_b_" + std::to_string(getpid()) + ".csv";
  if (!generate(small, 100000) || !generate(big, 1000000)) return 1;
  double driver = 0;
  if (driver_read(small, &driver) != 100000) return 1;
  const long peak_small = peak_kib();
  const int32_t rows = driver_read(big, &driver);
  const long peak_big = peak_kib();
  const double t0 = now();
  const int32_t base_rows = baseline_read(big);
  const double baseline = now() - t0;
  std::remove(small.c_str());
  std::remove(big.c_str());
  if (rows != 1000000 || base_rows != 1000000) return 1;
  const double ratio = driver / baseline;
  std::printf("delimited read 1000000 rows: driver %.3f s, baseline %.3f s, ratio %.2f\n", driver, baseline, ratio);
  std::printf("peak memory: %ld KiB after 100000 rows, %ld KiB after 1000000 rows\n", peak_small, peak_big);
  return ratio > 4.0 || peak_big - peak_small > 16 * 1024 ? 1 : 0;
}
