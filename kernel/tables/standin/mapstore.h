// Stand-in of the map storage of a table until the map files land: it only
// records that a table has a map file (its type and handle) and the
// transform a caller gave it.
#pragma once
#include <cstdint>

struct CoordXform;

struct MapStore {
  int16_t type = 0;  // 0 none, 1 map file
  int32_t file = 0;  // the registered ".MAP" file
  const CoordXform* xform = nullptr;  // the objects' coordinate system, when known
};

// Opens the map storage of a type (1 map file) over the path.
int16_t mapstore_open(MapStore* store, int16_t type, const char* path);
int16_t mapstore_get_type(const MapStore* store);
// The coordinate transform of the stored objects (null when none is known).
const CoordXform* mapstore_get_xform(const MapStore* store);
void mapstore_close(MapStore* store);
