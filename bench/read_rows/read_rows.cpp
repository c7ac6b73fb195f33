// 1,000,000 rows (Integer, Char (30), Decimal (12, 2), Date, Float,
// Logical) read through the table reader's ReadRecord against read(2) of
// the same .DAT in 64 KiB pieces, in the same run. Prints both times, the
// ratio reader/plain and the peak resident size above the one after the
// open; exits 1 when the ratio is above 60 or the growth above 16 MB.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi_kernel.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "platform/codepage.h"

namespace {

constexpr int32_t kRows = 1000000;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

long peak_kb() {
  // VmHWM of this process.
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}


}  // namespace

int main() {
  cp_set_ansi_page(1252);
  cp_set_oem_page(850);
  if (!ReaderApiInit(TABAPI_VERSION)) return 1;
  const std::string dir = "/tmp/bench_read_rows_" + std::to_string(getpid());
  std::filesystem::create_directory(dir);
  const std::string path = dir + "/rows.TAB";
  const ColumnInfo cols[] = {tabapi_column("ID", COLTYPE_INTEGER, 4, 0),       tabapi_column("NAME", COLTYPE_CHAR, 30, 0),
                             tabapi_column("AMOUNT", COLTYPE_DECIMAL, 12, 2), tabapi_column("DAY", COLTYPE_DATE, 4, 0),
                             tabapi_column("F", COLTYPE_FLOAT, 8, 0),        tabapi_column("OK", COLTYPE_LOGICAL, 1, 0)};
  const int32_t slot = TabApiCreateTableFromColumns(path.c_str(), 2, cols, 6, nullptr);
  if (slot == 0) return 1;
  TableDef* t = api_slot(slot)->table;
  // Rows go straight into the storage: the benchmark measures reading.
  tabtype_batch_begin(&t->storage);
  for (int32_t n = 1; n <= kRows; ++n) {
    char line[128];
    std::snprintf(line, sizeof line, "%d\t\"name %d\"\t%d.25\t\"2024%02d%02d\"\t%d.5\t\"%s\"", n, n, n % 100000,
                  n % 12 + 1, n % 28 + 1, n % 1000, n % 2 ? "T" : "F");
    int32_t row = 0;
    if (!TabApiInsertRow(slot, line, nullptr, &row)) return 1;
  }
  tabtype_batch_end(&t->storage);
  if (!TabApiCloseTableCommit(slot)) return 1;

  std::unique_ptr<CTableReader> r(CreateTableReader());
  if (!r->Open(path, 0) || r->GetRowCount() != kRows) return 1;
  const long open_kb = peak_kb();
  char text[READER_TEXT_SIZE];
  CUploadOptions o;
  double t0 = now();
  for (int32_t n = 1; n <= kRows; ++n) {
    unsigned char* rec = nullptr;
    int size = 0;
    DRect b{};
    DPoint c{};
    std::string key;
    if (!r->ReadRecord(n, text, &rec, &size, &b, &o, &c, &key)) return 1;
  }
  const double reader = now() - t0;
  const long growth_kb = peak_kb() - open_kb;
  r->Close();

  t0 = now();
  const int fd = open((dir + "/rows.DAT").c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<char> piece(65536);
  long long sum = 0;
  ssize_t got = 0;
  while ((got = read(fd, piece.data(), piece.size())) > 0) sum += piece[0] + got;
  close(fd);
  const double plain = now() - t0;
  std::filesystem::remove_all(dir);
  const double ratio = reader / (plain > 1e-6 ? plain : 1e-6);
  std::printf("read_rows: reader %.3f s, read(2) %.3f s, ratio %.1f (limit 60); peak growth %ld KB (limit 16384)%s\n",
              reader, plain, ratio, growth_kb, sum == 0 ? " (empty file)" : "");
  return ratio <= 60.0 && growth_kb <= 16384 ? 0 : 1;
}
