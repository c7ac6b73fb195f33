// Opens a map file made of fuzz bytes (header, record sizes, style chain)
// and walks its whole index with every record's coordinates. Nothing is
// written: the file must keep its bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
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
    g_dir = fuzz_temp_dir("map_open");
    return true;
  }();
  (void)ready;
  const std::string map = g_dir + "/t.MAP";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(map, std::ios::binary | std::ios::trunc) << bytes;
  MapStore s;
  if (mapstore_open(&s, MAPSTORE_FILE2, nullptr, 0, 0, map.c_str())) {
    if (mapstore_begin_access(&s, 1)) {
      MapCursor c;
      MapObject obj;
      mapobj_init(&obj, MAPOBJ_NONE);
      if (mapstore_cursor_open(&c, &s)) {
        for (int n = 0; n < 100000 && mapstore_cursor_next(&c, &s, 1, &obj, nullptr); ++n) {
        }
        mapstore_cursor_close(&c, &s);
      }
      mapobj_free(&obj);
      IntRect r;
      mapstore_data_bounds(&s, &r);
      mapstore_end_access(&s);
    }
    mapstore_close(&s);
  }
  std::ifstream in(map, std::ios::binary);
  const std::string after((std::istreambuf_iterator<char>(in)), {});
  if (after != bytes) __builtin_trap();
  err_clear();
  file_reset();
  return 0;
}
