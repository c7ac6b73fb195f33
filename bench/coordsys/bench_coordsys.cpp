// The main road of every object encoder: integers to coordinates and back
// through a lat/long transform, against an inline scale-and-offset loop
// over the same points in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/rect.h"

namespace {

template <class Fn>
double best_seconds(Fn fn, int rounds = 7) {
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
  CoordSysDef def;
  coordsys_default_latlong(&def);
  CoordXform xf;
  const DRect bounds{-180, -90, 180, 90};
  xform_init_bounds(&xf, 1, &def, &bounds);

  const int n = 1 << 20;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> coord(-1000000000, 1000000000);
  std::vector<IntPoint> ints(n), back(n);
  std::vector<DPoint> xy(n);
  for (IntPoint& p : ints) p = IntPoint{coord(rng), coord(rng)};

  const double to_xy = best_seconds([&] { xform_int_to_xy(ints.data(), xy.data(), &xf, n); });
  const double to_int = best_seconds([&] { xform_xy_to_int(xy.data(), back.data(), &xf, n); });
  const double sx = xf.scale_x, sy = xf.scale_y, ox = xf.offset_x, oy = xf.offset_y;
  const double base_xy = best_seconds([&] {
    for (int i = 0; i < n; ++i) xy[i] = DPoint{(ints[i].x - ox) / sx, (ints[i].y - oy) / sy};
  });
  const double base_int = best_seconds([&] {
    for (int i = 0; i < n; ++i) {
      const double x = std::clamp(xy[i].x * sx + ox, -1e9, 1e9), y = std::clamp(xy[i].y * sy + oy, -1e9, 1e9);
      back[i] = IntPoint{static_cast<int32_t>(x < 0 ? x - 0.5 : x + 0.5), static_cast<int32_t>(y < 0 ? y - 0.5 : y + 0.5)};
    }
  });
  std::printf("xform_int_to_xy: %.3g points/s, inline scale/offset: %.3g points/s, ratio %.2f\n", n / to_xy,
              n / base_xy, to_xy / base_xy);
  std::printf("xform_xy_to_int: %.3g points/s, inline scale/offset: %.3g points/s, ratio %.2f\n", n / to_int,
              n / base_int, to_int / base_int);
  int32_t check = 0;
  for (int i = 0; i < n; i += 4096) check ^= back[i].x;
  std::printf("(check %d)\n", check);
  return 0;
}
