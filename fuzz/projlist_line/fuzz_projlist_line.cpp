// Bytes as the projection list file: every entry's name, code and
// definition, and the name lookup of a lat/long and a UTM system.
#include <cstdint>

#include "fuzz/grid_fuzz_dir.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/projlist.h"
#include "kernel/runtime/err.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_enter_private_dir();
  fuzz_write_file("VEVIRORU.PRJ", data, size);
  ProjList list;
  if (projlist_open(&list)) {
    const int32_t n = projlist_count(&list);
    for (int32_t i = 0; i < n && i < 64; ++i) {
      char name[32];
      int32_t code = 0;
      projlist_read_name(&list, i, name, sizeof name, &code, 1);
      projlist_read_code(&list, i, &code);
      int16_t type = 0, has_bounds = 0;
      CoordSysDef def;
      DRect bounds;
      projlist_read_coordsys(&list, i, &type, &def, &bounds, &has_bounds);
      err_clear();
    }
    projlist_close(&list);
  }
  const char* clauses[] = {"CoordSys Earth Projection 1, 104",
                           "CoordSys Earth Projection 8, 104, \"m\", 15, 0, 0.9996, 500000, 0"};
  for (const char* c : clauses) {
    CoordXform xf;
    if (!coordsys_from_text(&xf, c, 1)) continue;
    char name[64];
    int32_t code = 0;
    coordsys_find_name(&xf, name, sizeof name, &code);
  }
  err_clear();
  projlist_close_file();
  file_reset();
  return 0;
}
