// Adding primitives to objects, deep copies of primitives and their parts,
// preparing paths and polygons for area tests, and object state records.
#include "geometry/ktgeo_utilities.h"

#include <cmath>
#include <cstring>

#include "geometry/ktgeo_check.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_path.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"

namespace {

int refuse(const char* function, const char* param) {
    QD_FAIL("UKT_1", "function%s", function, "param%s", param, nullptr);
    return 0;
}

int no_memory(const char* function) {
    QD_FAIL("UKT_0", "function%s", function, nullptr);
    return 0;
}

// The object's primitive list, created on first use.
nlst* primitives_of(SpatialObject* object, const char* function) {
    if (!object->primitives) {
        object->primitives = ktgeo_primitive_list_new(nullptr);
        if (!object->primitives) no_memory(function);
    }
    return object->primitives;
}

// Appends a primitive to the object, reporting a failed append.
int append_primitive(SpatialObject* object, const GeometricPrimitive* primitive,
                     const char* function) {
    nlst* list = primitives_of(object, function);
    if (!list) return 0;
    if (nlst_add(list, primitive) != 1) return no_memory(function);
    return 1;
}

}  // namespace

int ktgeo_util_add_new_primitive(const GeometricPrimitive* primitive, SpatialObject* object) {
    if (!primitive) return refuse("ktgeo_util_add_new_primitive", "item");
    if (!object) return refuse("ktgeo_util_add_new_primitive", "over_geom");
    return append_primitive(object, primitive, "ktgeo_util_add_new_primitive");
}

int ktgeo_util_add_new_point(SpatialObject* object, const GeoCoord* coord,
                             GeoPointDirection* direction) {
    if (!object) return refuse("ktgeo_util_add_new_point", "over_geom");
    if (!coord) return refuse("ktgeo_util_add_new_point", "crd");
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POINT, &p);
    p.geom.point.coord = *coord;
    p.geom.point.direction = direction;
    return append_primitive(object, &p, "ktgeo_util_add_new_point");
}

int ktgeo_util_add_new_curve(SpatialObject* object, int32_t curve_type, const GeoCoord* coords,
                             uint32_t count, int32_t tangent_mode, float start_angle,
                             float end_angle) {
    const char* function = "ktgeo_util_add_new_curve";
    if (!object) return refuse(function, "over_geom");
    if (!coords) return refuse(function, "crd");
    if (count < 2) return refuse(function, "ncrd");
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_CURVE, &p);
    GeoCurve& curve = p.geom.curve;
    curve.curve_type = curve_type;
    curve.coords = ktgeo_coord_list_from_array(coords, count);
    if (!curve.coords) return 0;
    if (curve_type == KTGEO_KT_CURVE) {
        curve.tangent_mode = tangent_mode;
        const GeoCoord& first = coords[0];
        const GeoCoord& last = coords[count - 1];
        if (tangent_mode == 1 || tangent_mode == 3)
            curve.start_tangent = {first.x + std::cos(double{start_angle}),
                                   first.y + std::sin(double{start_angle}), KTGEO_NO_Z};
        if (tangent_mode == 2 || tangent_mode == 3)
            curve.end_tangent = {last.x + std::cos(double{end_angle}),
                                 last.y + std::sin(double{end_angle}), KTGEO_NO_Z};
    }
    if (!append_primitive(object, &p, function)) {
        nlst_free(curve.coords);
        return 0;
    }
    return 1;
}

int ktgeo_util_add_new_polygon(SpatialObject* object, const GeoPolygon* polygon) {
    if (!object) return refuse("ktgeo_util_add_new_polygon", "over_geom");
    if (!polygon) return refuse("ktgeo_util_add_new_polygon", "poly");
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
    p.geom.polygon = *polygon;
    return append_primitive(object, &p, "ktgeo_util_add_new_polygon");
}

int ktgeo_util_append_primitive_to_list(const GeometricPrimitive* primitive,
                                        SpatialObject* object) {
    if (!primitive) return refuse("ktgeo_util_append_primitive_to_list", "item");
    if (!object) return refuse("ktgeo_util_append_primitive_to_list", "over_geom");
    if (!primitives_of(object, "ktgeo_util_append_primitive_to_list")) return 0;
    GeometricPrimitive copy;
    if (!ktgeo_util_copy_object(primitive, &copy)) {
        ktgeo_primitive_release(&copy, nullptr);
        return 0;
    }
    if (nlst_add(object->primitives, &copy) != 1) {
        ktgeo_primitive_release(&copy, nullptr);
        return 0;
    }
    return 1;
}

// ------------------------------------------------------------ deep copies

int ktgeo_util_copy_object(const GeometricPrimitive* source, GeometricPrimitive* target) {
    if (!source) return refuse("ktgeo_util_copy_object", "obj");
    if (!target) return refuse("ktgeo_util_copy_object", "obj_copy");
    if (!ktgeo_util_primitive_init(source->type, target)) return 0;
    switch (source->type) {
        case KTGEO_POINT:
            return ktgeo_util_copy_object_point(&source->geom.point, &target->geom.point);
        case KTGEO_CURVE:
            return ktgeo_util_copy_object_curve(&source->geom.curve, &target->geom.curve);
        case KTGEO_PATH:
            return ktgeo_util_copy_object_path(&source->geom.path, &target->geom.path);
        default:
            return ktgeo_util_copy_object_polygon(&source->geom.polygon, &target->geom.polygon);
    }
}

int ktgeo_util_copy_object_point(const GeoPoint* source, GeoPoint* target) {
    if (!source) return refuse("ktgeo_util_copy_object_point", "point");
    if (!target) return refuse("ktgeo_util_copy_object_point", "point_copy");
    target->coord = source->coord;
    target->direction = nullptr;
    if (source->direction) {
        target->direction = static_cast<GeoPointDirection*>(qd_alloc(sizeof(GeoPointDirection)));
        if (!target->direction) return no_memory("ktgeo_util_copy_object_point");
        *target->direction = *source->direction;
    }
    return 1;
}

nlst* ktgeo_util_copy_object_coord_list(const nlst* list) {
    if (!list) return nullptr;
    nlst* copy = nlst_alloc(sizeof(GeoCoord), list->tally, 64, nullptr);
    if (!copy) return no_memory("ktgeo_util_copy_object_coord_list"), nullptr;
    if (list->tally > 0 && nlst_add_many(copy, list->data, list->tally) != 1) {
        nlst_free(copy);
        return no_memory("ktgeo_util_copy_object_coord_list"), nullptr;
    }
    return copy;
}

namespace {

// Copies a list field: null stays null; a failed copy answers false.
bool copy_list(const nlst* from, nlst** to) {
    *to = nullptr;
    if (!from) return true;
    *to = ktgeo_util_copy_object_coord_list(from);
    return *to != nullptr;
}

}  // namespace

int ktgeo_util_copy_object_curve(const GeoCurve* source, GeoCurve* target) {
    if (!source) return refuse("ktgeo_util_copy_object_curve", "curve");
    if (!target) return refuse("ktgeo_util_copy_object_curve", "curve_copy");
    *target = *source;
    target->coords = nullptr;
    if (!copy_list(source->stroked, &target->stroked)) return 0;
    return copy_list(source->coords, &target->coords) ? 1 : 0;
}

int ktgeo_util_append_curve_to_list(void* curve, void* list_address) {
    if (!curve) return refuse("ktgeo_util_append_curve_to_list", "curve");
    nlst** list = static_cast<nlst**>(list_address);
    if (!*list && !(*list = ktgeo_curve_list_new(nullptr)))
        return no_memory("ktgeo_util_append_curve_to_list");
    GeoCurve copy;
    ktgeo_curve_init(&copy);
    if (!ktgeo_util_copy_object_curve(static_cast<const GeoCurve*>(curve), &copy) ||
        nlst_add(*list, &copy) != 1) {
        ktgeo_curve_release(&copy, nullptr);
        return 0;
    }
    return 1;
}

int ktgeo_util_copy_object_path(const GeoPath* source, GeoPath* target) {
    if (!source || !target) return refuse("ktgeo_util_copy_object_path", "path");
    target->ref = source->ref;
    target->closed = source->closed;
    target->connected = source->connected;
    target->direction = source->direction;
    target->curves = nullptr;
    target->expanded = nullptr;
    if (source->curves &&
        nlst_exec(source->curves, ktgeo_util_append_curve_to_list, &target->curves) != 1)
        return 0;
    if (source->expanded && source->expanded->tally > 0 &&
        !copy_list(source->expanded, &target->expanded))
        return 0;
    return 1;
}

int ktgeo_util_append_path_to_list(void* path, void* list_address) {
    if (!path) return refuse("ktgeo_util_append_path_to_list", "path");
    nlst** list = static_cast<nlst**>(list_address);
    if (!*list && !(*list = ktgeo_path_list_new(nullptr)))
        return no_memory("ktgeo_util_append_path_to_list");
    GeoPath copy;
    ktgeo_path_init(&copy);
    if (!ktgeo_util_copy_object_path(static_cast<const GeoPath*>(path), &copy) ||
        nlst_add(*list, &copy) != 1) {
        ktgeo_path_release(&copy, nullptr);
        return 0;
    }
    return 1;
}

int ktgeo_util_copy_object_polygon_exterior(const GeoPolygon* source, GeoPolygon* target) {
    if (!source) return refuse("ktgeo_util_copy_object_polygon_exterior", "poly");
    if (!target) return refuse("ktgeo_util_copy_object_polygon_exterior", "poly_copy");
    target->interiors = nullptr;
    if (!ktgeo_util_copy_object_path(&source->exterior, &target->exterior)) return 0;
    target->label = source->label;
    target->valid = source->valid;
    return 1;
}

int ktgeo_util_copy_object_polygon_interior(const GeoPolygon* source, GeoPolygon* target) {
    if (!source) return refuse("ktgeo_util_copy_object_polygon_interior", "poly");
    if (!target) return refuse("ktgeo_util_copy_object_polygon_interior", "poly_copy");
    target->interiors = nullptr;
    if (!source->interiors) return 1;
    return nlst_exec(source->interiors, ktgeo_util_append_path_to_list, &target->interiors) == 1
               ? 1
               : 0;
}

int ktgeo_util_copy_object_polygon(const GeoPolygon* source, GeoPolygon* target) {
    if (!ktgeo_util_copy_object_polygon_exterior(source, target)) return 0;
    return ktgeo_util_copy_object_polygon_interior(source, target);
}

// ---------------------------------------------------------- area tests

int ktgeo_util_check_expanded_path(GeoPath* path) {
    if (!path) return refuse("ktgeo_util_check_expanded_path", "path");
    if (!path->closed || !path->connected || !path->expanded) {
        const int r = ktgeo_check_path(path, nullptr);
        if (r != 1) return r;
        if (!path->expanded) {
            const int e = ktgeo_path_expand(path);
            if (e != 1) return e;
        }
    }
    if (path->expanded && !qd_cogo_is_clockwise(path->expanded)) qd_cogo_reverse(path->expanded);
    return 1;
}

int ktgeo_util_check_expanded_polygon(GeoPolygon* polygon) {
    if (!polygon) return refuse("ktgeo_util_check_expanded_polygon", "polygon");
    if (!polygon->valid) {
        const int r = ktgeo_check_polygon(polygon, nullptr);
        if (r != 1) return r;
    }
    return ktgeo_util_check_expanded_path(&polygon->exterior);
}

// ---------------------------------------------------------- state records

SpatialObjectState* ktgeo_so_state_new(nlst** primitives) {
    if (!primitives || !*primitives || (*primitives)->tally == 0) return nullptr;
    const uint32_t count = (*primitives)->tally;
    SpatialObjectState* state = static_cast<SpatialObjectState*>(qd_alloc(sizeof *state));
    if (!state) return nullptr;
    const size_t bytes = sizeof(SpatialObjectStateEntry) * count;
    state->entries = static_cast<SpatialObjectStateEntry*>(qd_alloc(bytes));
    if (!state->entries) {
        qd_free(state);
        return nullptr;
    }
    std::memset(state->entries, 0, bytes);
    state->magic = KTGEO_SO_STATE_MAGIC;
    state->count = static_cast<int32_t>(count);
    return state;
}

int ktgeo_so_state_check(const SpatialObjectState* state, nlst** primitives) {
    if (!state) return 1;
    if (state->magic != KTGEO_SO_STATE_MAGIC) return 0;
    if (!primitives) return state->count == 0 ? 1 : 0;
    const uint32_t tally = *primitives ? (*primitives)->tally : 0;
    if (state->count == 0) return 1;
    return (static_cast<uint32_t>(state->count) == tally && state->entries) ? 1 : 0;
}

void ktgeo_so_state_release(SpatialObjectState* state) {
    if (!state) return;
    if (state->magic != KTGEO_SO_STATE_MAGIC) {
        refuse("ktgeo_so_state_release", "state");
        return;
    }
    for (int32_t i = 0; state->entries && i < state->count; ++i) {
        SpatialObjectStateEntry& e = state->entries[i];
        if (e.kind == 4 && e.block) {
            SpatialObjectStateBlock* block = static_cast<SpatialObjectStateBlock*>(e.block);
            if (block->coords) nlst_free(block->coords);
            qd_free(block);
        }
    }
    qd_free(state->entries);
    qd_free(state);
}

int ktgeo_so_state_noop() { return 1; }
