// Normalising regions of 1e2, 1e3 and 1e4 rings (a grid of squares, and
// squares nested in one another) against mapobj_update_mbr of the same
// regions; point-in-region on a 1e5-node ring against a plain even-odd loop
// over the same nodes. Also how normalising grows from 1e3 to 1e4 rings (at
// most 100).
#include <cmath>
#include <vector>

#include "../runtime/bench_util.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objgeom_test.h"

namespace {

MapObject* region_of(int rings, bool nested) {
  MapObject* r = nullptr;
  mapobj_new(nullptr, &r, MAPOBJ_REGION, 0);
  int side = static_cast<int>(std::ceil(std::sqrt(rings)));
  for (int i = 0; i < rings; ++i) {
    int x, y, s;
    if (nested) {
      x = y = i * 10;
      s = (rings - i) * 20;
    } else {
      x = (i % side) * 100;
      y = (i / side) * 100;
      s = 50 + i % 37;  // distinct enough areas
    }
    IntPoint sq[4] = {{x, y}, {x, y + s}, {x + s, y + s}, {x + s, y}};
    mapobjx_add_section(r, 0, nullptr);
    mapobjx_insert_nodes(r, i, 0, sq, 4, nullptr, nullptr);
  }
  return r;
}

bool even_odd(const std::vector<IntPoint>& ring, IntPoint p) {
  bool in = false;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    const IntPoint &a = ring[i], &b = ring[j];
    if ((a.y > p.y) != (b.y > p.y) &&
        p.x < (static_cast<double>(b.x) - a.x) * (static_cast<double>(p.y) - a.y) / (static_cast<double>(b.y) - a.y) + a.x)
      in = !in;
  }
  return in;
}

}  // namespace

int main() {
  if (!mapobj_runtime_start()) return 1;
  volatile int64_t sink = 0;
  double per_ring[2][3] = {};
  const int sizes[3] = {100, 1000, 10000};
  for (int nested = 0; nested < 2; ++nested) {
    for (int k = 0; k < 3; ++k) {
      int n = sizes[k];
      int rounds = k == 2 ? 1 : 3;
      // Fresh copies for every round, made before the clock starts.
      MapObject* model = region_of(n, nested != 0);
      std::vector<MapObject*> copies;
      for (int c = 0; c < 2 * rounds; ++c) copies.push_back(mapobj_dup(model));
      size_t next = 0;
      double ours = best_seconds([&] { sink = sink + mapobjx_normalize(copies[next++], 1); }, rounds);
      double base = best_seconds([&] {
        mapobj_update_mbr(copies[next++]);
        sink = sink + model->mbr.x2;
      }, rounds);
      for (MapObject*& c : copies) mapobj_destroy(&c);
      mapobj_destroy(&model);
      per_ring[nested][k] = ours;
      char what[80];
      std::snprintf(what, sizeof what, "normalise %d rings (%s)", n, nested ? "nested" : "grid");
      report(what, ours * 1e9, base * 1e9, "mapobj_update_mbr");
    }
    std::printf("normalise 1e4 / 1e3 rings (%s): ratio %.1f (at most 100)\n", nested ? "nested" : "grid",
                per_ring[nested][2] / per_ring[nested][1]);
  }
  // A star ring of 1e5 nodes.
  const int n = 100000;
  std::vector<IntPoint> ring(n);
  for (int i = 0; i < n; ++i) {
    double a = 2 * 3.141592653589793 * i / n, r = i % 2 ? 1000000 : 600000;
    ring[i] = {static_cast<int32_t>(r * std::cos(a)), static_cast<int32_t>(r * std::sin(a))};
  }
  MapObject* star = nullptr;
  mapobj_new(nullptr, &star, MAPOBJ_REGION, 0);
  mapobjx_add_section(star, 0, nullptr);
  mapobjx_insert_nodes(star, 0, 0, ring.data(), n, nullptr, nullptr);
  mapobj_update_mbr(star);
  const int queries = 200;
  std::vector<IntPoint> pts(queries);
  for (int i = 0; i < queries; ++i) pts[i] = {(i * 7919) % 1600000 - 800000, (i * 104729) % 1600000 - 800000};
  double ours = best_seconds([&] {
    for (const IntPoint& p : pts) sink = sink + mapobjx_point_in_region(&p, star);
  });
  double base = best_seconds([&] {
    for (const IntPoint& p : pts) sink = sink + even_odd(ring, p);
  });
  report("point in a 1e5-node region", ours / queries * 1e9, base / queries * 1e9, "plain even-odd loop");
  mapobj_destroy(&star);
  mapobj_runtime_end();
  return 0;
}
