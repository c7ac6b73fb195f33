// Random doubles as a CoordSys number list: the list reader, and, when it
// builds a definition, the transform, its default bounds, the clause writer
// and a round of point conversions through every level.
#include <cstdint>
#include <cstring>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/err.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Value values[kCoordSysMaxNumbers] = {};
  const size_t n = size / sizeof(double) < kCoordSysMaxNumbers ? size / sizeof(double) : kCoordSysMaxNumbers;
  for (size_t i = 0; i < n; ++i) {
    values[i].type = VALUE_FLOAT;
    std::memcpy(&values[i].u.d, data + i * sizeof(double), sizeof(double));
  }
  int16_t type = 0, has_bounds = 0;
  int32_t used = 0;
  CoordSysDef def;
  DRect bounds{};
  if (coordsys_from_numbers(values, &type, &def, &bounds, &has_bounds, &used)) {
    if (!has_bounds) coordsys_default_bounds(type, &def, &bounds);
    CoordXform xf;
    xform_init_bounds(&xf, type, &def, &bounds);
    char text[300];
    coordsys_to_text(&xf, text, sizeof text, 1);
    DPoint p[3] = {{bounds.x1, bounds.y1}, {bounds.x2, bounds.y2}, {0, 0}};
    IntPoint q[3];
    xform_xy_to_int(p, q, &xf, 3);
    DatumDef datum;
    xform_int_to_lonlat_datum(q, p, &xf, 3, &datum);
    xform_lonlat_to_int(p, q, &xf, 3, &datum);
  }
  err_clear();
  return 0;
}
