// Construction of complete one-primitive geometry objects: points,
// polylines, circular arcs and circles, polygons from a curve, a ring or
// lists of rings and islands. Each function resets its output object (an
// existing primitive list is not released: pass a fresh or released
// object) and completes it.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

int ktgeo_make_point(const GeoCoord* coord, SpatialObject* object);
// Initialises a curve record (ST_Polyline, direction none) with a copy of
// the coordinates.
int ktgeo_make_curve(const GeoCoord* coords, uint32_t count, GeoCurve* curve);
int ktgeo_make_polyline(const GeoCoord* coords, uint32_t count, SpatialObject* object);
int ktgeo_make_circulararc(SpatialObject* object, SpatialObject* start, SpatialObject* middle,
                           SpatialObject* end);
int ktgeo_make_circle(SpatialObject* object, SpatialObject* centre, double radius);
// The curve record moves into the polygon's exterior (its coordinate list
// now belongs to the object).
int ktgeo_make_polygon(const GeoCurve* curve, SpatialObject* object);
int ktgeo_make_polygon_noisland(SpatialObject* out, const SpatialObject* in);
// A list (nlst) of SpatialObject records.
int ktgeo_make_polygon_bylist(SpatialObject* out, const nlst* objects);
int ktgeo_make_polygon_island_bylist(SpatialObject* out, SpatialObject* ring,
                                     const nlst* islands);
// A, (B.x, A.y, A.z), B, (A.x, B.y, B.z), A.
void ktgeo_box_ring(const GeoCoord* a, const GeoCoord* b, GeoCoord* ring);
