// Shared pieces of the OGC text and binary sides: the line a member
// contributes (null when it has none) and the builders of read polygons.
#pragma once

#include <vector>

#include "geometry/ktgeo_types.h"

// A curve's coordinates (stroked for arcs and spline curves).
const nlst* ktgeo_ogc_curve_line(GeoCurve* curve);
// A connected path's expanded coordinates (expanded on demand).
const nlst* ktgeo_ogc_path_line(GeoPath* path);
// A polygon ring's expanded coordinates (expanded on demand).
const nlst* ktgeo_ogc_ring_line(GeoPath* path);
int ktgeo_ogc_ring_path(const GeoCoord* coords, uint32_t n, GeoPath* path);
int ktgeo_ogc_add_polygon(SpatialObject* object, const std::vector<std::vector<GeoCoord>>& rings);
