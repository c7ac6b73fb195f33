// Random text as a CoordSys clause, with and without bounds; a clause that
// reads is written back and read again, and its SRID, tolerance and
// normalised form are taken as csconv srid and the table reader take them.
#include <cstdint>
#include <string>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/err.h"
#include "kernel/server/ora_srid.h"
#include "kernel/tables/lang/lexer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  lex_reset();
  for (int16_t with_bounds = 0; with_bounds < 2; ++with_bounds) {
    CoordXform xf;
    if (!coordsys_from_text(&xf, text.c_str(), with_bounds)) continue;
    char out[300];
    coordsys_to_text(&xf, out, sizeof out, with_bounds);
    CoordXform again;
    coordsys_from_text(&again, out, with_bounds);
    int32_t srid = 0;
    coordsys_to_srid(&xf, &srid);
    ora_srid_matches_coordsys(&xf, srid != 0 ? srid : 8307);
    double tx = 0, ty = 0;
    coordsys_tolerance(&xf, 7, 1, &tx, &ty);
    coordsys_tolerance(&xf, -1, 0, &tx, &ty);
    if (ora_normalise_latlong(&xf)) coordsys_to_srid(&xf, &srid);
  }
  lex_reset();
  err_clear();
  return 0;
}
