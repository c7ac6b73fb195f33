// The CoordSys clause: writer, reader and number list.
#include "kernel/coordsys/coordsys_text.h"

#include "kernel/runtime/err.h"

int16_t coordsys_to_text(const CoordXform*, char* buffer, int32_t size, int16_t, int16_t* cut) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  if (cut) *cut = 0;
  return 1;
}

int16_t coordsys_from_text(CoordXform*, const char*, int16_t) { return 0; }

int16_t coordsys_from_numbers(const Value*, int16_t*, CoordSysDef*, DRect*, int16_t*, int32_t*) {
  err_push(4, kErrCsType, nullptr, nullptr);
  return 0;
}
