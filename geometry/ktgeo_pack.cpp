// Release of the lists that geometry records own. Every freed pointer is
// cleared; the records themselves stay with their owners.
#include "geometry/ktgeo_pack.h"

#include "geometry/qd_alloc.h"

namespace {

void free_list(nlst*& list) {
    if (list) nlst_free(list);
    list = nullptr;
}

void release_path_lists(GeoPath* path) {
    if (path->curves) nlst_exec(path->curves, ktgeo_curve_release, nullptr);
    free_list(path->curves);
    free_list(path->expanded);
}

}  // namespace

int ktgeo_point_release(GeoPoint* point) {
    if (point) {
        qd_free(point->direction);
        point->direction = nullptr;
    }
    return 1;
}

int ktgeo_curve_release(void* element, void*) {
    GeoCurve* curve = static_cast<GeoCurve*>(element);
    if (curve) {
        free_list(curve->coords);
        free_list(curve->stroked);
    }
    return 1;
}

int ktgeo_path_release(void* element, void*) {
    if (element) release_path_lists(static_cast<GeoPath*>(element));
    return 1;
}

int ktgeo_polygon_release(GeoPolygon* polygon) {
    if (!polygon) return 1;
    release_path_lists(&polygon->exterior);
    if (polygon->interiors) nlst_exec(polygon->interiors, ktgeo_path_release, nullptr);
    free_list(polygon->interiors);
    return 1;
}

int ktgeo_primitive_release(void* element, void*) {
    GeometricPrimitive* primitive = static_cast<GeometricPrimitive*>(element);
    if (!primitive) return 1;
    switch (primitive->type) {
        case KTGEO_POINT: ktgeo_point_release(&primitive->geom.point); break;
        case KTGEO_CURVE: ktgeo_curve_release(&primitive->geom.curve, nullptr); break;
        case KTGEO_PATH: ktgeo_path_release(&primitive->geom.path, nullptr); break;
        case KTGEO_POLYGON: ktgeo_polygon_release(&primitive->geom.polygon); break;
        default: break;
    }
    return 1;
}

int ktgeo_so_release(SpatialObject* object) {
    if (!object) return 1;
    if (object->primitives) nlst_exec(object->primitives, ktgeo_primitive_release, nullptr);
    free_list(object->primitives);
    return 1;
}
