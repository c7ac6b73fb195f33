// Point queries (on segments, lines, curves, paths, polygon boundaries;
// inside paths and polygons), the drawable line of a curve, and Z merging.
#pragma once

#include "geometry/ktgeo_types.h"

nlst* ktgeo_get_coord_list(GeoCurve* curve);
int ktgeo_get_same_point(const GeoCoord* a, const GeoCoord* b, int* same);
int ktgeo_point_on_segment(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b);
int ktgeo_point_on_coord_list(const GeoCoord* p, const nlst* list, int* on);
int ktgeo_point_on_curve(const GeoCoord* p, GeoCurve* curve, int* on);
int ktgeo_point_on_path(const GeoCoord* p, GeoPath* path, int* on);
int ktgeo_point_on_polygon(const GeoCoord* p, GeoPolygon* polygon, int* on);
// out 4: inside or on the ring; 0 outside.
int ktgeo_point_inside_path(const GeoCoord* p, GeoPath* path, int* out);
int ktgeo_point_inside_polygon(const GeoCoord* p, GeoPolygon* polygon, int* out);
void ktgeo_merge_z(GeoCoord* a, GeoCoord* b);
