// The in-memory table: inserts, reads by id in random order and reads by
// position in order, at 10,000 and at 100,000 rows. Prints the cost per row
// of each at both sizes and the ratio large/small (exits 1 when a ratio is
// above 2; the 10,000-row run is the baseline).
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <random>
#include <vector>

#include "kernel/drivers/memtab.h"
#include "kernel/mapobjects/mapstore.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/codepage.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Costs {
  double insert, by_id, by_position;
};

Costs run(int32_t rows) {
  FieldDef f[2] = {};
  f[0].width = 10;
  value_init(&f[0].value, VALUE_CHAR, nullptr);
  value_init(&f[1].value, VALUE_INTEGER, nullptr);
  StorageDesc s;
  tabtype_create(nullptr, nullptr, 0, 0, &s, TABTYPE_MEMORY, 2, f, nullptr, 0);
  std::snprintf(value_text_ptr(&f[0].value, nullptr), 11, "row");
  double t0 = now();
  for (int32_t i = 1; i <= rows; ++i) {
    f[1].value.u.i = i;
    int32_t id = i;
    tabtype_insert_row(&s, f, &id);
  }
  Costs c{};
  c.insert = (now() - t0) / rows;
  std::vector<int32_t> ids(static_cast<size_t>(rows));
  for (int32_t i = 0; i < rows; ++i) ids[static_cast<size_t>(i)] = i + 1;
  std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
  t0 = now();
  long sum = 0;
  for (int32_t id : ids) {
    tabtype_read_row(&s, f, id);
    sum += f[1].value.u.i;
  }
  c.by_id = (now() - t0) / rows;
  t0 = now();
  MemRowList* list = memtab_rows(&s)->list;
  for (int32_t n = 1; n <= rows; ++n) {
    MemRowNode* node = nullptr;
    memtab_nth_row(list, n, &node);
    sum += node != nullptr ? node->row : 0;
  }
  c.by_position = (now() - t0) / rows;
  if (sum == 0) std::printf("?\n");
  tabtype_close(&s, f);
  return c;
}

}  // namespace

int main() {
  cp_set_ansi_page(1252);
  cp_set_oem_page(850);
  charset_init_system();
  tables_runtime_start();
  const Costs small = run(10000);
  const Costs big = run(100000);
  const double r[3] = {big.insert / small.insert, big.by_id / small.by_id, big.by_position / small.by_position};
  std::printf("memtab per row: insert %.3g s / %.3g s ratio %.2f; read by id %.3g s / %.3g s ratio %.2f; "
              "by position %.3g s / %.3g s ratio %.2f\n",
              big.insert, small.insert, r[0], big.by_id, small.by_id, r[1], big.by_position, small.by_position, r[2]);
  return r[0] > 2 || r[1] > 2 || r[2] > 2 ? 1 : 0;
}
