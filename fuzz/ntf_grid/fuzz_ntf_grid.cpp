// A French translation grid: the rectangle and steps from the first six
// doubles of the input, the rest the grid file; the opener, and when it
// accepts the grid, both shifts at its corners, centre and beyond.
#include <cstdint>

#include "fuzz/fuzz_bytes.h"
#include "fuzz/grid_fuzz_dir.h"
#include "kernel/coordsys/grids.h"
#include "kernel/runtime/err.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_enter_private_dir();
  FuzzBytes in{data, size};
  double rect[4];
  for (double& r : rect) r = in.take<double>();
  const double step_lon = in.take<double>(), step_lat = in.take<double>();
  fuzz_write_file("grid.bin", in.p, in.n);
  NtfGrid* g = nullptr;
  if (ntf_grid_open_with(&g, "grid.bin", rect, step_lon, step_lat)) {
    DatumDef ntf;
    datum_get(107, &ntf);
    const DPoint pts[] = {{rect[0], rect[1]}, {rect[2], rect[3]}, {(rect[0] + rect[2]) / 2, (rect[1] + rect[3]) / 2},
                          {rect[2] + step_lon, rect[1]}};
    for (const DPoint& p : pts) {
      DPoint out{}, back{};
      ntf_grid_shift_to_ntf(g, &p, &out, &ntf);
      ntf_grid_shift_from_ntf(g, &p, &back, &ntf);
    }
    ntf_grid_close(g);
  }
  err_clear();
  file_reset();
  return 0;
}
