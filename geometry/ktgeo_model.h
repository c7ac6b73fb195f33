// The geometry model: initial values of the records, typed lists, the
// envelope pass (envelopes, reference points, polygon labels, centroid),
// the completion step and the single-primitive accessors.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

// Working record of the envelope pass.
struct EnvelopeAccumulator {
    GeoCoord min;
    GeoCoord max;
    GeoCoord polygon_label;
    GeoCoord line_ref;
    GeoCoord point_ref;
    double sum_x;
    double sum_y;
    double sum_z;
    uint32_t count;
    uint32_t z_count;
};

GeoPoint* ktgeo_point_init(GeoPoint* point);
GeoCurve* ktgeo_curve_init(GeoCurve* curve);
GeoPath* ktgeo_path_init(GeoPath* path);
GeoPolygon* ktgeo_polygon_init(GeoPolygon* polygon);
int ktgeo_util_primitive_init(int32_t type, GeometricPrimitive* primitive);

nlst* ktgeo_primitive_list_new(const GeometricPrimitive* first);
nlst* ktgeo_path_list_new(const GeoPath* first);
nlst* ktgeo_curve_list_new(const GeoCurve* first);
nlst* ktgeo_point_list_new(const GeoPoint* first);
nlst* ktgeo_coord_list_new(const GeoCoord* first);
nlst* ktgeo_coord_list_alloc(uint32_t n);
nlst* ktgeo_coord_list_from_array(const GeoCoord* array, uint32_t n);
int ktgeo_primitive_list_add(nlst* list, const GeometricPrimitive* primitive);
int ktgeo_path_list_add(nlst* list, const GeoPath* path);
int ktgeo_curve_list_add(nlst* list, const GeoCurve* curve);
int ktgeo_point_list_add(nlst* list, const GeoPoint* point);
int ktgeo_coord_list_add(nlst* list, const GeoCoord* coord);
int ktgeo_path_list_free(nlst* list);
int ktgeo_curve_list_free(nlst* list);
int ktgeo_point_list_free(nlst* list);
int ktgeo_coord_list_free(nlst* list);
int ktgeo_primitive_list_free(nlst* list);

void ktgeo_acc_init(EnvelopeAccumulator* acc);
void ktgeo_acc_add(EnvelopeAccumulator* acc, const GeoCoord* coord);
void ktgeo_acc_merge(EnvelopeAccumulator* into, const EnvelopeAccumulator* from);
void ktgeo_acc_add_list(const nlst* list, EnvelopeAccumulator* acc, int closed);
void ktgeo_snap_to_line(const EnvelopeAccumulator* acc, const nlst* line, GeoCoord* point);
void ktgeo_curve_ref_point(GeoCurve* curve, const EnvelopeAccumulator* acc);
void ktgeo_path_ref_point(GeoPath* path, const EnvelopeAccumulator* acc);
void ktgeo_polygon_label_point(GeoPolygon* polygon, const EnvelopeAccumulator* acc);
void ktgeo_acc_curve(GeoCurve* curve, EnvelopeAccumulator* acc);
void ktgeo_acc_path(GeoPath* path, EnvelopeAccumulator* acc);
void ktgeo_acc_polygon(GeoPolygon* polygon, EnvelopeAccumulator* acc);
int ktgeo_acc_primitive(GeometricPrimitive* primitive, EnvelopeAccumulator* object_acc);
void ktgeo_acc_finish(SpatialObject* object, const EnvelopeAccumulator* acc);

int ktgeo_so_compute_envelope(SpatialObject* object);
void ktgeo_so_complete(SpatialObject* object);
// Copies through a geometry blob (defined with the blob module).
int ktgeo_copy_geometry(const SpatialObject* source, SpatialObject* target);

GeoPoint* ktgeo_single_point(SpatialObject* object);
GeoCurve* ktgeo_single_curve(SpatialObject* object);
GeoPath* ktgeo_single_path(SpatialObject* object);
GeoPolygon* ktgeo_single_polygon(SpatialObject* object);
GeoPolygon* ktgeo_single_simple_polygon(SpatialObject* object);
