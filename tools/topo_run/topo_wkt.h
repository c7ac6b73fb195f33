// The well-known text the topo_run tool reads and writes: POINT,
// LINESTRING, POLYGON, their MULTI forms and GEOMETRYCOLLECTION, in two
// dimensions. Reading fills an empty SpatialObject (polygons checked);
// writing gives one text per object (17 significant digits).
#pragma once

#include <string>

#include "geometry/ktgeo_types.h"

// 1, or 0 with a message in error (the object may hold what was read).
int topo_wkt_read(const char* text, SpatialObject* object, std::string* error);
std::string topo_wkt_write(const SpatialObject* object);
