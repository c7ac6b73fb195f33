// mapcheck: opens the map file read-only, walks the whole index with every
// record's coordinates, the free chain and, with an .ID, every row's entry.
#include "tools/mapcheck/check.h"

#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/mapobjects/mapbytes.h"
#include "kernel/mapobjects/mapfile.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapstore.h"
#include "kernel/mapobjects/objtrace.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"

namespace {

std::string first_error() {
  if (err_count() == 0) return "unreadable";
  char text[512] = "";
  err_join(1, text, sizeof text);
  return text[0] ? text : "error " + std::to_string(err_first_code());
}

struct Dump {
  int32_t file = 0;
  std::string path;
};

bool trace(Dump& d, MapObject* obj, const CoordXform* xform, int32_t row, std::string& out) {
  if (file_open_text(d.file, 3, nullptr) == 0) return false;
  file_printf(d.file, "row %d\n", row);
  object_write_text(d.file, obj, xform, 0, nullptr);
  file_release_text(d.file);
  std::ifstream in(d.path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] != '\r' || i + 1 >= s.size() || s[i + 1] != '\n') out += s[i];
  return true;
}

int check(const char* map_path, const char* id_path, bool dump, FILE* out, FILE* err) {
  auto fail = [&](const std::string& why) {
    std::fprintf(err, "mapcheck: %s\n", why.c_str());
    return 1;
  };
  MapStore s;
  if (!mapstore_open(&s, MAPSTORE_FILE2, nullptr, 0, 0, map_path)) return fail(first_error());
  int rc = 0;
  std::string text;
  Dump d;
  if (dump) {
    char tmp[] = "/tmp/mapcheck_XXXXXX";
    const int fd = mkstemp(tmp);
    if (fd >= 0) close(fd);
    d.path = tmp;
    d.file = file_register(tmp, 0);
  }
  int32_t id = 0;
  if (id_path) {
    id = file_register(id_path, 0);
    if (id <= 0 || file_open_binary(id, 1, nullptr) <= 0) rc = fail(first_error());
    else mapstore_set_callbacks(&s, mapid_read, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(id)));
  }
  if (rc == 0 && !mapstore_begin_access(&s, 1)) rc = fail(first_error());
  if (rc == 0) {
    MapFile* mf = &s.file;
    // The free chain: sound positions of free blocks, no cycle.
    int32_t p = mf->free_head;
    const int32_t blocks = file_get_size(mf->file) / mf->block_size;
    for (int32_t hops = 0; p != 0 && rc == 0; ++hops) {
      uint8_t head[6];
      if (hops > blocks || !mapblock_position_ok(mf, p) || file_seek(mf->file, p, SEEK_SET) != p ||
          file_read(mf->file, head, 6) != 6 || le_get16(head) != MAPBLOCK_FREE) {
        rc = fail("free chain");
        break;
      }
      p = le_get32(head + 2);
    }
    MapCursor c;
    MapObject obj;
    mapobj_init(&obj, MAPOBJ_NONE);
    if (rc == 0 && mapstore_cursor_open(&c, &s)) {
      err_clear();
      int32_t pos = 0;
      int64_t live = 0;
      while (mapstore_cursor_next(&c, &s, 1, &obj, &pos)) {
        ++live;
        if (dump && !id && !trace(d, &obj, &s.header.xform, obj.row_id, text)) rc = fail("dump");
      }
      if (rc == 0 && err_count() > 0) rc = fail(first_error());
      if (rc == 0 && id) {
        const int32_t rows = file_get_size(id) / 4;
        for (int32_t row = 1; row <= rows && rc == 0; ++row) {
          int32_t at = 0;
          if (!mapid_read(row, &at, reinterpret_cast<void*>(static_cast<intptr_t>(id)))) continue;
          err_clear();
          if (!mapstore_cursor_fetch(&c, &s, row, 1, &obj, nullptr)) {
            rc = fail(err_count() ? first_error() : "row " + std::to_string(row) + " names no record of its own");
            break;
          }
          if (dump && !trace(d, &obj, &s.header.xform, row, text)) rc = fail("dump");
        }
      }
      mapstore_cursor_close(&c, &s);
    } else if (rc == 0) {
      rc = fail(first_error());
    }
    mapobj_free(&obj);
    mapstore_end_access(&s);
  }
  if (id > 0) {
    file_release(id);
    file_unregister(id);
  }
  mapstore_close(&s);
  if (d.file > 0) {
    file_unregister(d.file);
    std::remove(d.path.c_str());
  }
  if (rc == 0 && dump) std::fwrite(text.data(), 1, text.size(), out);
  return rc;
}

}  // namespace

int mapcheck_main(int argc, char** argv, FILE* out, FILE* err) {
  bool dump = false;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--dump") == 0) dump = true;
    else files.push_back(argv[i]);
  }
  if (files.empty() || files.size() > 2) {
    std::fprintf(err, "mapcheck: usage: mapcheck [--dump] FILE.MAP [FILE.ID]\n");
    return 1;
  }
  if (!charset_ready()) charset_init_system();
  mapobj_runtime_start();
  err_clear();
  const int rc = check(files[0], files.size() > 1 ? files[1] : nullptr, dump, out, err);
  err_clear();
  mapobj_runtime_end();
  return rc;
}
