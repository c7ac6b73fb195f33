// Bytes as both files of a NADCON area (the second file's header differs
// when the input's last byte is odd): the opener, and when it accepts the
// area, forward and inverse shifts of points inside, on and beyond it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/grid_fuzz_dir.h"
#include "kernel/coordsys/grids.h"
#include "kernel/runtime/err.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_enter_private_dir();
  fuzz_write_file("conus.los", data, size);
  std::vector<uint8_t> second(data, data + size);
  if (size > 80 && (data[size - 1] & 1)) second[80] ^= 0x40;
  fuzz_write_file("conus.las", second.data(), second.size());
  NadconGrid* g = nullptr;
  if (nadcon_grid_open(&g)) {
    const NadconArea& a = g->areas[0];
    const double fx[] = {0.5, 0.01, 0.99, 1.0, 0.0, 1.5};
    for (double f : fx) {
      const DPoint p{a.min_lon + f * (a.max_lon - a.min_lon), a.min_lat + (1 - f) * (a.max_lat - a.min_lat)};
      DPoint out{}, back{};
      if (nadcon_shift_forward(g, &p, &out, nullptr)) nadcon_shift_inverse(g, &out, &back, nullptr);
    }
    nadcon_grid_close(g);
  }
  err_clear();
  file_reset();
  return 0;
}
