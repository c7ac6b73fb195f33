// Object-record round trips (object to record and back) of one-ring regions
// of 1e3, 1e4 and 1e5 nodes against mapobj_copy of the same regions, and
// how the round trip grows from 1e4 to 1e5 nodes (at most 12).
#include <cstring>
#include <vector>

#include "../runtime/bench_util.h"
#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objrec.h"

int main() {
  if (!mapobj_runtime_start()) return 1;
  CoordSysDef def;
  coordsys_clear(&def);
  CoordXform xform;
  xform_init_scaled(&xform, 0, &def, 1000, 1000, 0, 0);
  double per_node[3] = {0, 0, 0};
  const int sizes[3] = {1000, 10000, 100000};
  volatile int64_t sink = 0;
  for (int k = 0; k < 3; ++k) {
    int n = sizes[k];
    MapObject* region = nullptr;
    mapobj_new(nullptr, &region, MAPOBJ_REGION, 0);
    std::vector<IntPoint> ring(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) ring[static_cast<size_t>(i)] = {i * 3, (i * 7919) % 100000};
    mapobjx_insert_nodes(region, 0, 0, ring.data(), n, nullptr, nullptr);
    int rounds = 2000000 / n;
    double ours = best_seconds([&] {
      for (int r = 0; r < rounds; ++r) {
        ObjRecord rec;
        object_to_objrec(region, &rec, &xform, nullptr);
        MapObject back;
        mapobj_init(&back, MAPOBJ_NONE);
        objrec_to_object(&rec, &back, nullptr, &xform);
        sink = sink + back.u.poly.size;
        mapobj_free(&back);
      }
    });
    double base = best_seconds([&] {
      for (int r = 0; r < rounds; ++r) {
        MapObject copy;
        mapobj_copy(region, &copy);
        sink = sink + copy.u.poly.size;
        mapobj_free(&copy);
      }
    });
    per_node[k] = ours / rounds;
    char what[64];
    std::snprintf(what, sizeof what, "record round trip, %d-node ring", n);
    report(what, ours / rounds * 1e9, base / rounds * 1e9, "mapobj_copy");
    mapobj_destroy(&region);
  }
  std::printf("round trip 1e5 / 1e4 nodes: ratio %.2f (at most 12)\n", per_node[2] / per_node[1]);
  mapobj_runtime_end();
  return 0;
}
