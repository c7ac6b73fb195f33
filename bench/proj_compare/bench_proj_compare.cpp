// Transverse Mercator, Lambert conformal conic and double stereographic:
// 1e6 seeded points in each projection's valid area, forward and inverse,
// through the engine and through PROJ's proj_trans_generic on the same
// arrays in the same run. Prints points per second of both and the ratio
// ours/PROJ (targets: at least 1.0 for types 8 and 3, 0.5 for 31).
#include <proj.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"

namespace {

struct Case {
  const char* name;
  const char* clause;
  const char* proj;
  double lon1, lat1, lon2, lat2;
};

const Case kCases[] = {
    {"8 transverse Mercator", "CoordSys Earth Projection 8, 999, 28, 0, 0, 0, \"m\", 9, 0, 0.9996, 500000, 0",
     "+proj=tmerc +approx +lon_0=9 +k_0=0.9996 +x_0=500000 +a=6378137 +rf=298.257223563", 6, -80, 12, 80},
    {"3 Lambert conformal conic", "CoordSys Earth Projection 3, 999, 28, 0, 0, 0, \"m\", 9, 40, 45, 55, 500000, 100000",
     "+proj=lcc +lon_0=9 +lat_0=40 +lat_1=45 +lat_2=55 +x_0=500000 +y_0=100000 +a=6378137 +rf=298.257223563", -21,
     20, 39, 80},
    {"31 double stereographic",
     "CoordSys Earth Projection 31, 999, 10, 0, 0, 0, \"m\", 19.1666666667, 52.1666666667, 0.999714, 500000, 500000",
     "+proj=sterea +lon_0=19.1666666667 +lat_0=52.1666666667 +k_0=0.999714 +x_0=500000 +y_0=500000 "
     "+a=6377397.155 +rf=299.1528128",
     10, 45, 28, 60},
};

}  // namespace

int main() {
  constexpr int n = 1000000;
  PJ_CONTEXT* ctx = proj_context_create();
  std::printf("%-28s %-8s %14s %14s %8s\n", "type", "way", "ours pt/s", "PROJ pt/s", "ratio");
  for (const Case& c : kCases) {
    CoordXform xf;
    if (coordsys_from_text(&xf, c.clause, 0) == 0) return 1;
    PJ* pj = proj_create(ctx, c.proj);
    if (pj == nullptr) return 1;
    std::mt19937_64 rng(20261211);
    std::uniform_real_distribution<double> lon(c.lon1, c.lon2), lat(c.lat1, c.lat2);
    std::vector<DPoint> src(n), ours(n);
    for (DPoint& p : src) p = DPoint{lon(rng), lat(rng)};
    std::vector<double> x(n), y(n);
    auto load_radians = [&] {
      for (int i = 0; i < n; ++i) {
        x[i] = src[i].x * (M_PI / 180);
        y[i] = src[i].y * (M_PI / 180);
      }
    };
    // Forward.
    const double our_fwd = best_seconds([&] { xform_forward_points(src.data(), ours.data(), &xf, n); });
    const double proj_fwd = best_seconds([&] {
      load_radians();
      proj_trans_generic(pj, PJ_FWD, x.data(), sizeof(double), n, y.data(), sizeof(double), n, nullptr, 0, 0, nullptr,
                         0, 0);
    });
    // Inverse of our forward.
    std::vector<DPoint> back(n);
    const double our_inv = best_seconds([&] { xform_inverse_points(ours.data(), back.data(), &xf, n); });
    const double proj_inv = best_seconds([&] {
      for (int i = 0; i < n; ++i) {
        x[i] = ours[i].x;
        y[i] = ours[i].y;
      }
      proj_trans_generic(pj, PJ_INV, x.data(), sizeof(double), n, y.data(), sizeof(double), n, nullptr, 0, 0, nullptr,
                         0, 0);
    });
    std::printf("%-28s %-8s %14.0f %14.0f %8.2f\n", c.name, "forward", n / our_fwd, n / proj_fwd, proj_fwd / our_fwd);
    std::printf("%-28s %-8s %14.0f %14.0f %8.2f\n", c.name, "inverse", n / our_inv, n / proj_inv, proj_inv / our_inv);
    proj_destroy(pj);
  }
  proj_context_destroy(ctx);
  return 0;
}
