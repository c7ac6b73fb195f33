// Names of coordinate systems from the projection list file.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"

// The name (and the code after "\p") of the first list entry with the
// transform's coordinate system; 0 with an empty name and code -1 when none.
int16_t coordsys_find_name(const CoordXform* xform, char* name, int32_t size, int32_t* code);
