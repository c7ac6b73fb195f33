// Geometry blobs: the writer and reader entries and the release functions
// that free what readers and builders attach to a SpatialObject. The
// release functions return 1; the ignored second argument lets them serve
// as nlst_exec callbacks.
#pragma once

#include "geometry/ktgeo_types.h"

int ktgeo_so_release(SpatialObject* object);
int ktgeo_primitive_release(void* primitive, void* ignored);
int ktgeo_curve_release(void* curve, void* ignored);
int ktgeo_path_release(void* path, void* ignored);
int ktgeo_polygon_release(GeoPolygon* polygon);
int ktgeo_point_release(GeoPoint* point);
