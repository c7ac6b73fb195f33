// Point, segment and object tests. See objgeom_test.h.
#include "kernel/mapobjects/objgeom_test.h"

int16_t mapobjx_point_in_region(const IntPoint* point, const MapObject* obj) {
  return point_in_rect(point, &obj->mbr);
}
