// Object geometry over fuzz bytes: text escapes over buffers of exactly the
// given length; regions and polylines of any coordinates (extremes,
// repeated and flat rings) normalised, measured, traced by points and
// segments; arcs with any angles and resolutions; quad keys of any
// rectangles and windows.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objgeom_test.h"
#include "kernel/mapobjects/quadkey.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "fuzz/fuzz_bytes.h"

namespace {

struct Bytes : FuzzBytes {
  int32_t coord() {
    int32_t v = take<int32_t>();
    return (v & 1) ? v % 1000000001 : (v >> 1) % 1000;
  }
};

void texts(const uint8_t* data, size_t size) {
  int32_t len = static_cast<int32_t>(size < 4096 ? size : 4096);
  std::unique_ptr<char[]> exact(new char[len > 0 ? len : 1]);
  std::memcpy(exact.get(), data, static_cast<size_t>(len));
  std::vector<char> out(static_cast<size_t>(len) * 2 + 1);
  objtext_convert_escapes(out.data(), exact.get(), len, 1);
  objtext_convert_escapes(out.data(), exact.get(), len, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = mapobj_runtime_start() != 0;
  if (!started) return 0;
  texts(data, size);
  Bytes b{data, size};
  MapObject* r = nullptr;
  uint8_t kind = b.take<uint8_t>();
  if (!mapobj_new(nullptr, &r, kind & 1 ? MAPOBJ_REGION : MAPOBJ_POLYLINE, 0)) return 0;
  int rings = 1 + b.take<uint8_t>() % 4;
  for (int s = 0; s < rings && b.n > 0; ++s) {
    std::vector<IntPoint> pts(1 + b.take<uint8_t>() % 12);
    for (IntPoint& p : pts) p = {b.coord(), b.coord()};
    if (mapobjx_add_section(r, 0, nullptr))
      mapobjx_insert_nodes(r, s, 0, pts.data(), static_cast<int32_t>(pts.size()), nullptr, nullptr);
  }
  mapobjx_normalize(r, static_cast<int16_t>(kind & 2));
  IntPoint q{b.coord(), b.coord()};
  mapobjx_point_in_region(&q, r);
  point_object_distance(r, &q, nullptr);
  mapobj_region_area(r, mapobj_plain_xform(), -1, 1, nullptr);
  mapobj_length(r, mapobj_plain_xform(), -1, 1);
  MapObject* arc = nullptr;
  if (mapobj_new(nullptr, &arc, MAPOBJ_ARC, 0)) {
    arc->u.arc.rect = {b.coord(), b.coord(), b.coord(), b.coord()};
    arc->u.arc.start = b.take<int16_t>();
    arc->u.arc.end = b.take<int16_t>();
    mapobjx_arc_compute_mbr(arc);
    IntPoint* pts = nullptr;
    int32_t res = b.take<uint8_t>() * 7;
    if (mapobj_arc_points(arc, res, &pts, nullptr) > 0) mem_free(&pts);
    point_object_distance(arc, &q, nullptr);
    objops_intersects(arc, r);
    mapobj_destroy(&arc);
  }
  DRect bounds{b.take<double>(), b.take<double>(), b.take<double>(), b.take<double>()};
  DRect rect{b.take<double>(), b.take<double>(), b.take<double>(), b.take<double>()};
  char key[kQuadKeyTextSize];
  quadkey_of_rect(&bounds, &rect, key);
  KernelList list;
  list_init(&list);
  int32_t count = 0;
  quadkey_window_ranges(&list, &count, &bounds, &rect);
  list_free_all(&list);
  mapobj_destroy(&r);
  err_clear();
  return 0;
}
