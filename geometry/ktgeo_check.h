// Validity checks of geometry objects: recompute the derived flags (a
// curve's closed and invalid, a path's closed and connected, a polygon's
// valid) and report the first fault, or quietly answer the validity.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

struct CheckState {
    int32_t valid;
    int32_t ring;
    int32_t quiet;
    int32_t rings_ok;
};

int ktgeo_check_geometry(SpatialObject* object, int* valid);
int ktgeo_check_curve(GeoCurve* curve, int* valid);
int ktgeo_check_path(GeoPath* path, int* valid);
int ktgeo_check_polygon(GeoPolygon* polygon, int* valid);
int ktgeo_check_curve_step(GeoCurve* curve, CheckState* state);
int ktgeo_check_path_step(GeoPath* path, CheckState* state);
int ktgeo_check_path_links(GeoPath* path, CheckState* state);
int ktgeo_check_polygon_step(GeoPolygon* polygon, CheckState* state);
int ktgeo_check_primitive_step(GeometricPrimitive* primitive, CheckState* state);
int ktgeo_check_noop();
