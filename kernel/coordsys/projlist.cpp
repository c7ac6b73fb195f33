// Names of coordinate systems. The projection list file is not read yet:
// every lookup finds nothing, as when the file is missing.
#include "kernel/coordsys/projlist.h"

int16_t coordsys_find_name(const CoordXform*, char* name, int32_t size, int32_t* code) {
  if (name != nullptr && size > 0) name[0] = '\0';
  if (code != nullptr) *code = -1;
  return 0;
}
