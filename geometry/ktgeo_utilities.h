// Adding primitives to objects, deep copies of primitives and their parts,
// preparing paths and polygons for area tests, and per-object state records.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

int ktgeo_util_add_new_primitive(const GeometricPrimitive* primitive, SpatialObject* object);
int ktgeo_util_add_new_point(SpatialObject* object, const GeoCoord* coord,
                             GeoPointDirection* direction);
int ktgeo_util_add_new_curve(SpatialObject* object, int32_t curve_type, const GeoCoord* coords,
                             uint32_t count, int32_t tangent_mode, float start_angle,
                             float end_angle);
int ktgeo_util_add_new_polygon(SpatialObject* object, const GeoPolygon* polygon);
int ktgeo_util_append_primitive_to_list(const GeometricPrimitive* primitive,
                                        SpatialObject* object);

int ktgeo_util_copy_object(const GeometricPrimitive* source, GeometricPrimitive* target);
int ktgeo_util_copy_object_point(const GeoPoint* source, GeoPoint* target);
nlst* ktgeo_util_copy_object_coord_list(const nlst* list);
int ktgeo_util_copy_object_curve(const GeoCurve* source, GeoCurve* target);
int ktgeo_util_copy_object_path(const GeoPath* source, GeoPath* target);
int ktgeo_util_copy_object_polygon_exterior(const GeoPolygon* source, GeoPolygon* target);
int ktgeo_util_copy_object_polygon_interior(const GeoPolygon* source, GeoPolygon* target);
int ktgeo_util_copy_object_polygon(const GeoPolygon* source, GeoPolygon* target);
// nlst_exec callbacks: element, address of the target list (nlst**).
int ktgeo_util_append_curve_to_list(void* curve, void* list_address);
int ktgeo_util_append_path_to_list(void* path, void* list_address);

int ktgeo_util_check_expanded_path(GeoPath* path);
int ktgeo_util_check_expanded_polygon(GeoPolygon* polygon);

// A state record made for one object (nothing in the system fills entries).
inline constexpr int32_t KTGEO_SO_STATE_MAGIC = 20030923;
struct SpatialObjectStateEntry {
    int32_t kind;  // kind 4: block holds a coordinate list among its fields
    void* block;
};
// The block of a kind-4 entry starts with its coordinate list.
struct SpatialObjectStateBlock {
    nlst* coords;
};
struct SpatialObjectState {
    int32_t magic;
    int32_t count;
    SpatialObjectStateEntry* entries;
};
SpatialObjectState* ktgeo_so_state_new(nlst** primitives);
int ktgeo_so_state_check(const SpatialObjectState* state, nlst** primitives);
void ktgeo_so_state_release(SpatialObjectState* state);
int ktgeo_so_state_noop();
