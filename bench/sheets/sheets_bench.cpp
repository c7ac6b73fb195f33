// Every row of a 65,536 x 20 workbook sheet (written by the test writer,
// MULRK rows), with and without INDEX and DBCELL records, read through the
// Excel table type in order and in a shuffled order, against a baseline in
// the same run that walks the stream's records once and decodes every RK.
// Prints the times and the ratios driver/baseline, and the per-row cost of
// the shuffled read at 65,536 rows against 8,192 rows (exits 1 above 2:
// the shuffled read must not grow with the sheet).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "kernel/runtime/charset.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/codepage.h"
#include "sheet_writer.h"

using namespace sheetgen;

namespace {

constexpr int kColumns = 20;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Bytes sheet(int rows, bool index) {
  return workbook(8, [](Biff& b) { b.xf(0); },
                  {{"S", [rows, index](Biff& b) {
                      b.dimensions(0, static_cast<uint32_t>(rows), 0, kColumns);
                      const size_t index_at = b.s.size();
                      if (index) b.rec(0x020B, Bytes(16 + 4 * ((rows + 31) / 32), 0));
                      for (int r = 0; r < rows; r += 32) {
                        const size_t block = b.s.size();
                        std::vector<size_t> starts;
                        for (int k = r; k < r + 32 && k < rows; ++k) {
                          std::vector<std::pair<uint16_t, uint32_t>> e;
                          for (int c = 0; c < kColumns; ++c) e.emplace_back(0, rk_int(k * kColumns + c));
                          starts.push_back(b.s.size());
                          b.mulrk(static_cast<uint16_t>(k), 0, e);
                        }
                        if (index) {
                          Bytes d;
                          put32(d, static_cast<uint32_t>(b.s.size() - block));
                          for (size_t i = 0; i < starts.size(); ++i) put16(d, i == 0 ? 0 : static_cast<unsigned>(starts[i] - starts[i - 1]));
                          patch32(b.s, index_at + 4 + 16 + 4 * static_cast<size_t>(r / 32), static_cast<uint32_t>(b.s.size()));
                          b.rec(0x00D7, d);
                        }
                      }
                    }}});
}

// The baseline: one walk over the records, every RK decoded.
double walk(const Bytes& s) {
  double sum = 0;
  for (size_t p = 0; p + 4 <= s.size();) {
    const unsigned code = s[p] | (s[p + 1] << 8), len = s[p + 2] | (s[p + 3] << 8);
    if (code == 0x00BD) {
      for (size_t at = p + 8; at + 6 <= p + 4 + len - 2; at += 6) {
        const uint32_t rk = s[at + 2] | (s[at + 3] << 8) | (s[at + 4] << 16) | (static_cast<uint32_t>(s[at + 5]) << 24);
        sum += static_cast<int32_t>(rk) >> 2;
      }
    }
    p += 4 + len;
  }
  return sum;
}

struct Timing {
  double in_order, shuffled;
};

// Open (not timed) and read every row in order, then in a shuffled order.
bool read_rows(const std::string& path, int rows, Timing* t) {
  TableDef* def = tabdef_new();
  def->storage.type = TABTYPE_XLS;
  typeopts_init(&def->storage.options, TABTYPE_XLS);
  bool ok = tabtype_read_fields(path.c_str(), def) != 0;
  if (ok) tabtype_close(&def->storage, nullptr);
  def->storage.field_count = def->field_count;
  ok = ok && tabtype_open(path.c_str(), 0, &def->storage, TABTYPE_XLS, &def->field_count, &def->fields) &&
       tabtype_begin_access(def, &def->storage, 1) && def->storage.row_count == rows;
  double check = 0;
  const double a = now();
  for (int r = 1; ok && r <= rows; ++r) {
    ok = tabtype_read_row(&def->storage, def->fields, r) != 0;
    check += def->fields[kColumns - 1].value.u.d;
  }
  const double b = now();
  std::vector<int> order(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) order[static_cast<size_t>(r)] = r + 1;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  const double c = now();
  for (int r : order) {
    if (!ok) break;
    ok = tabtype_read_row(&def->storage, def->fields, r) != 0;
    check -= def->fields[kColumns - 1].value.u.d;
  }
  const double d = now();
  if (ok && def->storage.nesting > 0) tabtype_end_access(&def->storage);
  if (def->storage.data_file > 0) tabtype_close(&def->storage, nullptr);
  tabdef_free(def);
  *t = {b - a, d - c};
  return ok && check == 0;
}

}  // namespace

int main() {
  cp_set_ansi_page(1252);
  charset_init_system();
  tables_runtime_start();
  const std::string dir = "/tmp/bench_sheets_" + std::to_string(getpid());
  const std::string small = dir + "_s.xls", big = dir + "_b.xls", big_index = dir + "_i.xls";
  const Bytes b = sheet(65536, false), bi = sheet(65536, true), s = sheet(8192, false);
  for (const auto& [p, bytes] : {std::pair{big, &b}, std::pair{big_index, &bi}, std::pair{small, &s}}) {
    FILE* f = std::fopen(p.c_str(), "wb");
    if (f == nullptr) return 1;
    std::fwrite(bytes->data(), 1, bytes->size(), f);
    std::fclose(f);
  }
  const double w0 = now();
  const double sum = walk(b);
  const double base = now() - w0;
  Timing plain{}, indexed{}, few{};
  const bool ok = read_rows(big, 65536, &plain) && read_rows(big_index, 65536, &indexed) && read_rows(small, 8192, &few);
  for (const std::string& p : {small, big, big_index}) std::remove(p.c_str());
  if (!ok || sum == 0) {
    std::printf("bench_sheets: a read failed\n");
    return 1;
  }
  std::printf("baseline walk of the records: %.3f s\n", base);
  std::printf("without INDEX: in order %.3f s (ratio %.1f), shuffled %.3f s (ratio %.1f)\n", plain.in_order,
              plain.in_order / base, plain.shuffled, plain.shuffled / base);
  std::printf("with INDEX:    in order %.3f s (ratio %.1f), shuffled %.3f s (ratio %.1f)\n", indexed.in_order,
              indexed.in_order / base, indexed.shuffled, indexed.shuffled / base);
  const double growth = (plain.shuffled / 65536) / (few.shuffled / 8192);
  std::printf("shuffled per-row cost, 65,536 against 8,192 rows: %.2f (limit 2)\n", growth);
  return growth <= 2 ? 0 : 1;
}
