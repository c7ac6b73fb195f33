// Datum-shift grids and the projection list: coordsys_find_name per call on
// a generated 3,000-line list against a plain line-by-line read of the same
// file, and NADCON points per second on a dense batch against the
// 7-parameter shift of the same points, each as a ratio from one run.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/grids.h"
#include "kernel/coordsys/projlist.h"
#include "kernel/runtime/file.h"
#include "tests/kernel/coordsys/datum_side.h"
#include "tests/kernel/coordsys/grid_writers.h"

namespace {

template <class Fn>
double best_seconds(Fn fn, int rounds = 5) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("ql_bench_grid_" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::current_path(dir);

  // 3,000 UTM-like entries; the one looked up is the last.
  {
    std::ofstream f("VEVIRORU.PRJ");
    for (int i = 0; i < 3000; ++i)
      f << "\"Zone " << i << ", test\\p" << 100000 + i << "\",8,104,7," << (i % 360) - 180 << "," << i / 360
        << ",0.9996,500000,0\n";
  }
  CoordXform xf;
  if (!coordsys_from_text(&xf, "CoordSys Earth Projection 8, 104, \"m\", -61, 8, 0.9996, 500000, 0", 1)) return 1;
  char name[128];
  int32_t code = 0;
  const double find = best_seconds([&] { coordsys_find_name(&xf, name, sizeof name, &code); });
  size_t bytes = 0;
  const double plain = best_seconds([&] {
    std::ifstream f("VEVIRORU.PRJ");
    for (std::string line; std::getline(f, line);) bytes += line.size();
  });
  std::printf("coordsys_find_name on 3000 lines: %.3f ms per call (found %s, %d); plain read %.3f ms; ratio %.1f\n",
              find * 1e3, name, code, plain * 1e3, find / plain);

  const NadconFixture fx = nadcon_linear_fixture();
  write_nadcon_area("conus", fx);
  NadconGrid* g = nullptr;
  if (!nadcon_grid_open(&g)) return 1;
  const int n = 1 << 18;
  std::vector<DPoint> in(n), out(n);
  for (int i = 0; i < n; ++i) in[i] = DPoint{-99.9 + 9.7 * (i % 512) / 512.0, 30.1 + 5.7 * (i / 512) / 512.0};
  const DatumGrid handle{g, nadcon_shift_forward, nadcon_shift_inverse};
  const Side sa = side(62), sb = side(74);
  const DatumDef &a = sa.datum, &b = sb.datum;
  const EllipsoidParams &ea = sa.ell, &eb = sb.ell;
  datum_set_grid(DATUM_GRID_NADCON, &handle);
  const double grid = best_seconds([&] { datum_shift_points(in.data(), &a, &ea, out.data(), &b, &eb, n); });
  datum_set_grid(DATUM_GRID_NADCON, nullptr);
  const double formula = best_seconds([&] { datum_shift_7param(in.data(), &a, &ea, out.data(), &b, &eb, n); });
  std::printf("NADCON: %.0f points/s; datum_shift_7param: %.0f points/s; ratio %.2f\n", n / grid, n / formula,
              grid / formula);
  nadcon_grid_close(g);
  projlist_close_file();
  file_reset();
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  return bytes == 0 ? 1 : 0;
}
