// Reading a map file of seeded objects (points, lines and small regions;
// 1,000,000 unless a count is given) by cursor in search order and by row
// through the .ID, against reading every block of the file in order through
// the block cache. Prints each time, the ratios to the baseline and the peak
// RSS over what the writing left.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/mapstore.h"
#include "kernel/runtime/cache.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/file.h"
#include "platform/codepage.h"

namespace {

long peak_kb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void fail(const char* what) {
  std::fprintf(stderr, "bench_mapfile: %s failed\n", what);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t count = argc > 1 ? std::atoi(argv[1]) : 1000000;
  cp_set_ansi_page(1252);
  cp_set_oem_page(850);
  charset_init_system();
  mapobj_runtime_start();
  block_cache_init();
  char tmpl[] = "/tmp/bench_mapfile_XXXXXX";
  if (!mkdtemp(tmpl)) fail("mkdtemp");
  const std::string tab = std::string(tmpl) + "/b.TAB";
  CoordSysDef def;
  coordsys_clear(&def);
  def.ne.ne_units = 7;
  def.ne.ne_int_orientation = 1;
  CoordXform xf;
  xform_init_scaled(&xf, 0, &def, 1, 1, 0, 0);

  MapStore s;
  if (!mapstore_create(&s, MAPSTORE_FILE, nullptr, -1, &xf, 0, 1, tab.c_str())) fail("create");
  if (!mapstore_begin_access(&s, 2)) fail("access");
  MapWriter w;
  if (!mapstore_begin_write(&w, &s)) fail("write session");
  std::mt19937 rng(2024);
  std::uniform_int_distribution<int32_t> coord(-4000000, 4000000);
  MapObject* pt = nullptr;
  MapObject* ln = nullptr;
  MapObject* rg = nullptr;
  mapobj_new(nullptr, &pt, MAPOBJ_POINT, 0);
  mapobj_new(nullptr, &ln, MAPOBJ_LINE, 0);
  mapobj_new(nullptr, &rg, MAPOBJ_REGION, 0);
  mapobjx_add_section(rg, 0, nullptr);
  IntPoint ring[5] = {{0, 0}, {50, 0}, {50, 50}, {0, 50}, {0, 0}};
  mapobjx_insert_nodes(rg, 0, 0, ring, 5, nullptr, nullptr);
  const auto tw = std::chrono::steady_clock::now();
  for (int32_t row = 1; row <= count; ++row) {
    const int32_t x = coord(rng), y = coord(rng);
    MapObject* o = nullptr;
    switch (row % 3) {
      case 0:
        pt->u.point.location = {x, y};
        pt->mbr = {x, y, x, y};
        o = pt;
        break;
      case 1:
        ln->u.line.start = {x, y};
        ln->u.line.end = {x + 40, y + 30};
        ln->mbr = {x, y, x + 40, y + 30};
        o = ln;
        break;
      default: {
        MapSection* h = mapobj_lock_sections(rg, 0);
        IntPoint* p = mapobj_section_nodes(h, 0);
        for (int i = 0; i < 5; ++i) p[i] = {ring[i].x + x, ring[i].y + y};
        h[0].mbr = {x, y, x + 50, y + 50};
        rg->mbr = h[0].mbr;
        rg->u.poly.center = {x + 25, y + 25};
        o = rg;
      }
    }
    if (!mapstore_insert_object(&w, &s, o, row, -1)) fail("insert");
  }
  const double write_s = since(tw);
  mapstore_end_write(&w, &s);
  if (!mapstore_end_access(&s)) fail("end access");
  mapstore_close(&s);
  const long rss_written = peak_kb();

  // Baseline: every block of the file in order through the block cache.
  const int32_t h = file_register((std::string(tmpl) + "/b.MAP").c_str(), 5);
  if (h <= 0 || file_open_binary(h, 1, nullptr) <= 0) fail("open");
  const int32_t size = file_get_size(h);
  uint8_t block[512];
  uint64_t sum = 0;
  auto t0 = std::chrono::steady_clock::now();
  for (int32_t pos = 0; pos + 512 <= size; pos += 512) {
    file_seek(h, pos, SEEK_SET);
    if (file_read(h, block, 512) != 512) fail("block read");
    sum += block[pos % 512];
  }
  const double base_s = since(t0);
  file_release(h);
  file_unregister(h);

  if (!mapstore_open(&s, MAPSTORE_FILE, nullptr, 1, -1, tab.c_str())) fail("open map");
  if (!mapstore_begin_access(&s, 1)) fail("read access");
  MapCursor c;
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_NONE);
  if (!mapstore_cursor_open(&c, &s)) fail("cursor");
  t0 = std::chrono::steady_clock::now();
  int32_t n = 0;
  while (mapstore_cursor_next(&c, &s, 1, &obj, nullptr)) ++n;
  const double cursor_s = since(t0);
  if (n != count) fail("cursor count");
  t0 = std::chrono::steady_clock::now();
  for (int32_t row = 1; row <= count; ++row)
    if (!mapstore_cursor_fetch(&c, &s, row, 1, &obj, nullptr)) fail("fetch");
  const double row_s = since(t0);
  mapstore_cursor_close(&c, &s);
  mapstore_end_access(&s);
  mapstore_close(&s);
  const long rss_read = peak_kb();

  std::printf("bench_mapfile: %d objects, %d bytes, written in %.2f s (checksum %llu)\n", count, size, write_s,
              static_cast<unsigned long long>(sum));
  std::printf("  baseline (every block in order): %.3f s\n", base_s);
  std::printf("  cursor (search order):           %.3f s  ratio %.2f (limit 4)\n", cursor_s, cursor_s / base_s);
  std::printf("  by row through the .ID:          %.3f s  ratio %.2f\n", row_s, row_s / base_s);
  std::printf("  peak RSS: %ld kB after writing, %ld kB after reading (+%ld kB, limit 32768)\n", rss_written,
              rss_read, rss_read - rss_written);
  std::string cmd = std::string("rm -rf '") + tmpl + "'";
  if (std::system(cmd.c_str()) != 0) return 1;
  mapobj_destroy(&pt);
  mapobj_destroy(&ln);
  mapobj_destroy(&rg);
  return 0;
}
