// A map file and its .ID from fuzz bytes (the first two bytes give the
// .ID's length): every row fetched through the .ID, the index searched by
// an area, and, when the file opens for writing, one object inserted and
// one row deleted.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "fuzz/fuzz_kernel.h"
#include "kernel/mapobjects/mapstore.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "platform/codepage.h"

namespace {
std::string g_dir;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    fuzz_charsets_start();
    mapobj_runtime_start();
    g_dir = fuzz_temp_dir("map_read");
    return true;
  }();
  (void)ready;
  if (size < 2) return 0;
  const size_t id_len = std::min<size_t>(size - 2, data[0] | (data[1] << 8));
  const std::string tab = g_dir + "/t.TAB";
  std::ofstream(g_dir + "/t.ID", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data + 2), static_cast<std::streamsize>(id_len));
  std::ofstream(g_dir + "/t.MAP", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data + 2 + id_len), static_cast<std::streamsize>(size - 2 - id_len));
  MapStore s;
  if (mapstore_open(&s, MAPSTORE_FILE, nullptr, 1, -1, tab.c_str())) {
    const bool write = mapstore_begin_access(&s, 2);
    if (write || mapstore_begin_access(&s, 1)) {
      MapCursor c;
      MapObject obj;
      mapobj_init(&obj, MAPOBJ_NONE);
      const IntRect area{-100000, -100000, 100000, 100000};
      if (mapcursor_open_area(&c, &s, &area, nullptr, 0, nullptr)) {
        for (int n = 0; n < 100000 && mapstore_cursor_next(&c, &s, 1, &obj, nullptr); ++n) {
        }
        for (int32_t row = 1; row <= static_cast<int32_t>(id_len / 4) + 1; ++row)
          mapstore_cursor_fetch(&c, &s, row, 1, &obj, nullptr);
        mapstore_cursor_close(&c, &s);
      }
      if (write) {
        MapWriter w;
        if (mapstore_begin_write(&w, &s)) {
          MapObject* p = nullptr;
          if (mapobj_new(nullptr, &p, MAPOBJ_POINT, 0)) {
            p->u.point.location = {static_cast<int32_t>(size), 7};
            p->mbr = {p->u.point.location.x, 7, p->u.point.location.x, 7};
            mapstore_insert_object(&w, &s, p, static_cast<int32_t>(id_len / 4) + 1, -1);
            mapobj_destroy(&p);
          }
          mapstore_delete_object(&w, &s, 1);
          mapstore_end_write(&w, &s);
        }
      }
      mapobj_free(&obj);
      mapstore_end_access(&s);
    }
    mapstore_close(&s);
  }
  err_clear();
  file_reset();
  return 0;
}
