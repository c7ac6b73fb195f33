// The bridge between map objects and geometry objects: a map object's
// geometry as primitives in user coordinates (through the table's
// transform), a geometry object back as a map object, and the in-place
// conversion of a map object's coordinates between two systems.
//
// Geometry built here carries no Z and no M; csid, flag, OGC state and the
// second point of a geometry object are never touched.
#pragma once

#include <cstdint>

#include "geometry/encode/cvrecord.h"
#include "geometry/ktgeo_types.h"
#include "kernel/mapobjects/mapobj.h"

struct CoordXform;
struct CoordConv;

// Kernel error pushed (severity 1) for a hole that is not closed or connected.
inline constexpr int16_t GEOBRIDGE_ERR_OPEN_HOLE = 1448;

int16_t geobridge_object_to_geometry(MapObject* object, const CoordXform* xform,
                                     SpatialObject* geometry);
// The object's geometry packed as a blob (qd_free it), as packing what
// geobridge_object_to_geometry builds would give. Answers the bridge's
// answer; *blob is null when the bridge answered 0 or packing failed.
// Simple objects are built over per-thread storage instead of new lists.
int16_t geobridge_object_to_blob(MapObject* object, const CoordXform* xform, uint8_t** blob);
int16_t geobridge_geometry_to_object(SpatialObject* geometry, const CoordXform* xform,
                                     MapObject* object, int16_t spikes);
int16_t geobridge_convert_object_forward(MapObject* object, const CoordConv* conv);
int16_t geobridge_convert_object_inverse(MapObject* object, const CoordConv* conv);
int16_t geobridge_convert_object_device(MapObject* object, const CoordConv* conv);
int16_t geobridge_convert_object_device2(MapObject* object, const CoordConv* conv);
int16_t geobridge_get_style_set(const MapObject* object, ObjStyleSet* styles);
int16_t geobridge_set_style_set(MapObject* object, const ObjStyleSet* styles);
void geobridge_envelope_to_rect(const GeoCoord* min, const GeoCoord* max, IntRect* out,
                                const CoordXform* xform);
int16_t geobridge_so_copy(const SpatialObject* source, SpatialObject* copy);
