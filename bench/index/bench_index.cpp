// An index over 1,000,000 Integer keys (random values, row numbers 1 up)
// built by field-index inserts, then 1,000,000 random seeks, against
// std::sort and std::lower_bound over the same keys in the same run.
// Prints both times and the ratios; exits 1 when the build is above 200
// times the sort or the seeks above 50 times the binary searches.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/index/indexfile.h"
#include "platform/codepage.h"

namespace {

constexpr int32_t kRows = 1000000;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main() {
  cp_set_ansi_page(1252);
  cp_set_oem_page(850);
  charset_init_system();
  std::mt19937 rng(7);
  std::vector<int32_t> values(kRows);
  for (auto& v : values) v = static_cast<int32_t>(rng());
  std::vector<int32_t> probes(kRows);
  for (auto& p : probes) p = values[rng() % kRows];

  const std::string path = "/tmp/bench_index_" + std::to_string(getpid()) + ".IND";
  IndexFile* ix = nullptr;
  if (!index_file_create(0, path.c_str(), 7, 1, &ix) || !index_file_begin(ix, 2)) return 1;
  FieldIndex fi;
  if (!field_index_create(ix, &fi, VALUE_INTEGER, 4, 0)) return 1;
  KeyBuf key;
  keybuf_init(&key, VALUE_INTEGER, 4);
  double t0 = now();
  for (int32_t i = 0; i < kRows; ++i) {
    key.value.u.i = values[static_cast<size_t>(i)];
    key.row = i + 1;
    if (!field_index_insert(ix, &fi, &key)) return 1;
  }
  const double build = now() - t0;
  t0 = now();
  int64_t found = 0;
  for (int32_t p : probes) {
    key.value.u.i = p;
    found += field_index_seek(ix, &fi, &key);
  }
  const double seek = now() - t0;

  std::vector<int32_t> sorted = values;
  t0 = now();
  std::sort(sorted.begin(), sorted.end());
  const double sort = now() - t0;
  t0 = now();
  int64_t hits = 0;
  for (int32_t p : probes) hits += *std::lower_bound(sorted.begin(), sorted.end(), p) == p;
  const double search = now() - t0;

  keybuf_free(&key);
  field_index_free(&fi);
  index_file_end(ix);
  index_close(ix);
  if (found != kRows || hits != kRows) return 1;
  const double r_build = build / sort, r_seek = seek / search;
  std::printf("build %.3f s, std::sort %.3f s, ratio %.1f (at most 200)\n", build, sort, r_build);
  std::printf("seeks %.3f s, std::lower_bound %.3f s, ratio %.1f (at most 50)\n", seek, search, r_seek);
  return r_build <= 200 && r_seek <= 50 ? 0 : 1;
}
