// The geometry model: record initialisers, typed lists, and the envelope
// pass that derives envelopes, reference points, polygon labels and the
// object's centroid; the completion step every producer runs.
#include "geometry/ktgeo_model.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "geometry/ktgeo_check.h"
#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_get.h"
#include "geometry/ktgeo_ogc.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_path.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_cogo.h"

// ------------------------------------------------------------ initialisers

GeoPoint* ktgeo_point_init(GeoPoint* point) {
    if (point) *point = GeoPoint{{0.0, 0.0, 0.0}, nullptr};
    return point;
}

GeoCurve* ktgeo_curve_init(GeoCurve* curve) {
    if (curve)
        *curve = GeoCurve{KTGEO_UNSET_COORD, 0, 0, KTGEO_DIR_NONE, KTGEO_POLYLINE, nullptr, 0,
                          KTGEO_UNSET_COORD, KTGEO_UNSET_COORD, nullptr};
    return curve;
}

GeoPath* ktgeo_path_init(GeoPath* path) {
    if (path) *path = GeoPath{KTGEO_UNSET_COORD, 0, 0, KTGEO_DIR_NONE, nullptr, nullptr};
    return path;
}

GeoPolygon* ktgeo_polygon_init(GeoPolygon* polygon) {
    if (polygon) {
        polygon->label = KTGEO_UNSET_COORD;
        polygon->valid = 0;
        ktgeo_path_init(&polygon->exterior);
        polygon->interiors = nullptr;
    }
    return polygon;
}

int ktgeo_util_primitive_init(int32_t type, GeometricPrimitive* primitive) {
    if (!primitive) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_util_primitive_init", "param%s", "item", nullptr);
        return 0;
    }
    // Copied from a blank record rather than memset: the copy is a few
    // vector stores, where memset of this size becomes a slow string store.
    static const GeometricPrimitive kBlank{};
    std::memcpy(primitive, &kBlank, sizeof *primitive);
    primitive->env_min = primitive->env_max = KTGEO_UNSET_COORD;
    switch (type) {
        case KTGEO_POINT: ktgeo_point_init(&primitive->geom.point); break;
        case KTGEO_CURVE: ktgeo_curve_init(&primitive->geom.curve); break;
        case KTGEO_PATH: ktgeo_path_init(&primitive->geom.path); break;
        case KTGEO_POLYGON: ktgeo_polygon_init(&primitive->geom.polygon); break;
        default:
            QD_FAIL("UKT_1", "function%s", "ktgeo_util_primitive_init", "param%s", "type",
                    nullptr);
            return 0;
    }
    primitive->type = type;
    return 1;
}

// ------------------------------------------------------------ typed lists

namespace {

nlst* typed_list(uint32_t size, uint32_t capacity, uint32_t inc, const void* first) {
    nlst* list = nlst_alloc(size, capacity, inc, nullptr);
    if (list && first && nlst_add(list, first) != 1) {
        nlst_free(list);
        return nullptr;
    }
    return list;
}

// Lists filled point by point reallocate rarely: the increment grows with
// them (quadrupled whenever the list outgrows four increments).
int add_growing(nlst* list, const void* element) {
    if (!list || !element) return nlst_add(list, element);
    if (uint64_t{list->tally} + 1 > uint64_t{list->inc} * 4 && list->inc <= UINT32_MAX / 4)
        list->inc *= 4;
    if (list->tally < list->capacity) {
        std::memcpy(static_cast<char*>(list->data) + size_t{list->tally} * list->size, element,
                    list->size);
        ++list->tally;
        return 1;
    }
    return nlst_add(list, element);
}

}  // namespace

nlst* ktgeo_primitive_list_new(const GeometricPrimitive* first) {
    return typed_list(sizeof(GeometricPrimitive), 4, 8, first);
}
nlst* ktgeo_path_list_new(const GeoPath* first) { return typed_list(sizeof(GeoPath), 4, 8, first); }
nlst* ktgeo_curve_list_new(const GeoCurve* first) {
    return typed_list(sizeof(GeoCurve), 4, 8, first);
}
nlst* ktgeo_point_list_new(const GeoPoint* first) {
    return typed_list(sizeof(GeoPoint), 4, 16, first);
}
nlst* ktgeo_coord_list_new(const GeoCoord* first) {
    return typed_list(sizeof(GeoCoord), 4, 64, first);
}
nlst* ktgeo_coord_list_alloc(uint32_t n) {
    return nlst_alloc(sizeof(GeoCoord), n ? n : 4, 64, nullptr);
}

nlst* ktgeo_coord_list_from_array(const GeoCoord* array, uint32_t n) {
    nlst* list = nlst_alloc(sizeof(GeoCoord), n, 64, nullptr);
    if (list && array && n > 0 && nlst_add_many(list, array, n) != 1) {
        nlst_free(list);
        return nullptr;
    }
    return list;
}

int ktgeo_primitive_list_add(nlst* list, const GeometricPrimitive* primitive) {
    return nlst_add(list, primitive);
}
int ktgeo_path_list_add(nlst* list, const GeoPath* path) { return nlst_add(list, path); }
int ktgeo_curve_list_add(nlst* list, const GeoCurve* curve) { return nlst_add(list, curve); }
int ktgeo_point_list_add(nlst* list, const GeoPoint* point) { return add_growing(list, point); }
int ktgeo_coord_list_add(nlst* list, const GeoCoord* coord) { return add_growing(list, coord); }

int ktgeo_path_list_free(nlst* list) {
    if (!list) return 1;
    nlst_exec(list, ktgeo_path_release, nullptr);
    return nlst_free(list);
}

int ktgeo_curve_list_free(nlst* list) {
    if (!list) return 1;
    nlst_exec(list, ktgeo_curve_release, nullptr);
    return nlst_free(list);
}

int ktgeo_point_list_free(nlst* list) {
    if (!list) return 1;
    nlst_exec(
        list, [](void* p, void*) { return ktgeo_point_release(static_cast<GeoPoint*>(p)); },
        nullptr);
    return nlst_free(list);
}

int ktgeo_coord_list_free(nlst* list) { return nlst_free(list); }

int ktgeo_primitive_list_free(nlst* list) {
    SpatialObject holder;
    ktgeo_so_init_empty(&holder);
    holder.primitives = list;
    return ktgeo_so_release(&holder);
}

// ------------------------------------------------------------ accumulator

void ktgeo_acc_init(EnvelopeAccumulator* acc) {
    *acc = EnvelopeAccumulator{KTGEO_UNSET_COORD, KTGEO_UNSET_COORD, KTGEO_UNSET_COORD,
                               KTGEO_UNSET_COORD, KTGEO_UNSET_COORD, 0.0, 0.0, 0.0, 0, 0};
}

void ktgeo_acc_add(EnvelopeAccumulator* acc, const GeoCoord* c) {
    if (acc->count++ == 0) {
        acc->min = acc->max = *c;
        acc->sum_x = c->x;
        acc->sum_y = c->y;
    } else {
        if (c->x < acc->min.x) acc->min.x = c->x; else if (c->x > acc->max.x) acc->max.x = c->x;
        if (c->y < acc->min.y) acc->min.y = c->y; else if (c->y > acc->max.y) acc->max.y = c->y;
        acc->sum_x += c->x;
        acc->sum_y += c->y;
    }
    if (!ktgeo_has_z(*c)) return;
    if (acc->z_count++ == 0) {
        acc->min.z = acc->max.z = acc->sum_z = c->z;
    } else {
        if (c->z < acc->min.z) acc->min.z = c->z; else if (c->z > acc->max.z) acc->max.z = c->z;
        acc->sum_z += c->z;
    }
}

void ktgeo_acc_merge(EnvelopeAccumulator* into, const EnvelopeAccumulator* from) {
    if (from->count == 0) return;
    if (into->count == 0) {
        // Envelope, sums and counts; the centroid candidates stay.
        const GeoCoord kept[] = {into->polygon_label, into->line_ref, into->point_ref};
        *into = *from;
        into->polygon_label = kept[0];
        into->line_ref = kept[1];
        into->point_ref = kept[2];
        return;
    }
    into->min.x = std::fmin(into->min.x, from->min.x);
    into->min.y = std::fmin(into->min.y, from->min.y);
    into->max.x = std::fmax(into->max.x, from->max.x);
    into->max.y = std::fmax(into->max.y, from->max.y);
    into->sum_x += from->sum_x;
    into->sum_y += from->sum_y;
    into->count += from->count;
    if (from->z_count == 0) return;
    if (into->z_count == 0) {
        into->min.z = from->min.z;
        into->max.z = from->max.z;
        into->sum_z = from->sum_z;
    } else {
        into->min.z = std::fmin(into->min.z, from->min.z);
        into->max.z = std::fmax(into->max.z, from->max.z);
        into->sum_z += from->sum_z;
    }
    into->z_count += from->z_count;
}

void ktgeo_acc_add_list(const nlst* list, EnvelopeAccumulator* acc, int closed) {
    if (!list || list->tally == 0) return;
    const GeoCoord* c = static_cast<const GeoCoord*>(list->data);
    const uint32_t n = closed == 1 ? list->tally - 1 : list->tally;
    for (uint32_t i = 0; i < n; ++i) ktgeo_acc_add(acc, &c[i]);
}

// ---------------------------------------------------- reference points

namespace {

// The mean of the accumulated coordinates; z the mean Z or no Z.
GeoCoord mean_of(const EnvelopeAccumulator* acc) {
    return GeoCoord{acc->sum_x / acc->count, acc->sum_y / acc->count,
                    acc->z_count ? acc->sum_z / acc->z_count : KTGEO_NO_Z};
}

// The line a curve is drawn with, without stroking or reports.
const nlst* drawn_line(const GeoCurve* curve) {
    if ((curve->curve_type == KTGEO_CIRCULAR_ARC || curve->curve_type == KTGEO_KT_CURVE) &&
        curve->stroked)
        return curve->stroked;
    return curve->coords;
}

int inside_polygon(const GeoCoord* p, GeoPolygon* polygon) {
    int out = 0;
    ktgeo_point_inside_polygon(p, polygon, &out);
    return out == 4;
}

}  // namespace

void ktgeo_snap_to_line(const EnvelopeAccumulator* acc, const nlst* line, GeoCoord* point) {
    if (!line || line->tally == 0) return;
    int on = 0;
    ktgeo_point_on_coord_list(point, line, &on);
    if (on) return;
    const GeoCoord* c = static_cast<const GeoCoord*>(line->data);
    const GeoCoord from = {acc->min.x - 1e-9, point->y, KTGEO_NO_Z};
    const GeoCoord to = {acc->max.x + 1e-9, point->y, KTGEO_NO_Z};
    bool found = false;
    double best = 0.0;
    GeoCoord best_point{};
    for (uint32_t i = 0; i + 1 < line->tally; ++i) {
        GeoCoord x;
        if (!qd_cogo_segment_intersection(&from, &to, &c[i], &c[i + 1], &x)) continue;
        const double dx = x.x - point->x, dy = x.y - point->y;
        const double d2 = dx * dx + dy * dy;
        if (!found || d2 < best) {
            found = true;
            best = d2;
            best_point = x;
        }
    }
    if (found) {
        point->x = best_point.x;
        point->y = best_point.y;
    } else {
        *point = c[0];
    }
}

void ktgeo_curve_ref_point(GeoCurve* curve, const EnvelopeAccumulator* acc) {
    if (!ktgeo_coord_is_unset(curve->ref) || acc->count == 0) return;
    curve->ref = mean_of(acc);
    ktgeo_snap_to_line(acc, drawn_line(curve), &curve->ref);
}

void ktgeo_path_ref_point(GeoPath* path, const EnvelopeAccumulator* acc) {
    if (!ktgeo_coord_is_unset(path->ref) || acc->count == 0) return;
    path->ref = mean_of(acc);
    if (!path->expanded && path->connected) ktgeo_path_expand(path);
    if (path->expanded) ktgeo_snap_to_line(acc, path->expanded, &path->ref);
}

void ktgeo_polygon_label_point(GeoPolygon* polygon, const EnvelopeAccumulator* acc) {
    if (!ktgeo_coord_is_unset(polygon->label) || acc->count == 0) return;
    GeoCoord& label = polygon->label;
    label.x = acc->sum_x / acc->count;
    label.y = acc->sum_y / acc->count;
    bool inside = false;
    GeoPath& exterior = polygon->exterior;
    if (!exterior.expanded && exterior.connected) ktgeo_path_expand(&exterior);
    if (polygon->valid && exterior.expanded) {
        GeoCoord* ring = static_cast<GeoCoord*>(exterior.expanded->data);
        const TeCoordArray array = {ring, static_cast<int32_t>(exterior.expanded->tally)};
        bool try_scan = false;
        if (qd_te_cogo_self_intersections(&array, nullptr, 1, nullptr) != 1 &&
            qd_te_cogo_ring_centroid(&array, &label, nullptr) == -1) {
            inside = inside_polygon(&label, polygon);
            try_scan = !inside;
        }
        if (try_scan) {
            if (label.y < acc->min.y || label.y > acc->max.y)
                label.y = (acc->min.y + acc->max.y) / 2.0;
            const double lo = std::fmin(acc->min.x, acc->max.x) - 1e-9;
            const double hi = std::fmax(acc->min.x, acc->max.x) + 1e-9;
            const double w = hi - lo;
            // Positions are counted, so a step too small to move x still ends.
            for (int pass = 0; pass < 4 && !inside; ++pass) {
                const int parts = 8 << pass;
                const double step = w / parts;
                for (int k = 1; k < parts && !inside; ++k) {
                    const double x = lo + k * step;
                    if (!(x < hi)) break;
                    GeoCoord probe = {x, label.y, KTGEO_NO_Z};
                    label.x = x;
                    inside = inside_polygon(&probe, polygon);
                }
            }
        }
    }
    if (!inside && exterior.expanded) ktgeo_snap_to_line(acc, exterior.expanded, &label);
    label.z = acc->z_count ? acc->sum_z / acc->z_count : KTGEO_NO_Z;
}

// ------------------------------------------------------------ the pass

void ktgeo_acc_curve(GeoCurve* curve, EnvelopeAccumulator* acc) {
    EnvelopeAccumulator own;
    ktgeo_acc_init(&own);
    const nlst* line = curve->coords;
    if (curve->curve_type == KTGEO_CIRCULAR_ARC || curve->curve_type == KTGEO_KT_CURVE)
        line = curve->stroked ? curve->stroked : ktgeo_get_coord_list(curve);
    ktgeo_acc_add_list(line, &own, curve->closed);
    curve->ref = KTGEO_UNSET_COORD;
    ktgeo_curve_ref_point(curve, &own);
    ktgeo_acc_merge(acc, &own);
}

void ktgeo_acc_path(GeoPath* path, EnvelopeAccumulator* acc) {
    EnvelopeAccumulator own;
    ktgeo_acc_init(&own);
    if (path->curves) {
        GeoCurve* curves = static_cast<GeoCurve*>(path->curves->data);
        for (uint32_t i = 0; i < path->curves->tally; ++i) ktgeo_acc_curve(&curves[i], &own);
    }
    path->ref = KTGEO_UNSET_COORD;
    ktgeo_path_ref_point(path, &own);
    ktgeo_acc_merge(acc, &own);
}

void ktgeo_acc_polygon(GeoPolygon* polygon, EnvelopeAccumulator* acc) {
    ktgeo_acc_path(&polygon->exterior, acc);
    if (polygon->interiors) {
        GeoPath* holes = static_cast<GeoPath*>(polygon->interiors->data);
        for (uint32_t i = 0; i < polygon->interiors->tally; ++i) ktgeo_acc_path(&holes[i], acc);
    }
    if (!polygon->valid || ktgeo_coord_is_unset(polygon->label) ||
        !inside_polygon(&polygon->label, polygon))
        polygon->label = KTGEO_UNSET_COORD;
    ktgeo_polygon_label_point(polygon, acc);
}

int ktgeo_acc_primitive(GeometricPrimitive* primitive, EnvelopeAccumulator* object_acc) {
    EnvelopeAccumulator acc;
    ktgeo_acc_init(&acc);
    GeoCoord* slot = nullptr;
    GeoCoord candidate = KTGEO_UNSET_COORD;
    switch (primitive->type) {
        case KTGEO_POINT:
            ktgeo_acc_add(&acc, &primitive->geom.point.coord);
            slot = &object_acc->point_ref;
            candidate = primitive->geom.point.coord;
            break;
        case KTGEO_CURVE:
            ktgeo_acc_curve(&primitive->geom.curve, &acc);
            slot = &object_acc->line_ref;
            candidate = primitive->geom.curve.ref;
            break;
        case KTGEO_PATH:
            ktgeo_acc_path(&primitive->geom.path, &acc);
            slot = &object_acc->line_ref;
            candidate = primitive->geom.path.ref;
            break;
        case KTGEO_POLYGON:
            ktgeo_acc_polygon(&primitive->geom.polygon, &acc);
            slot = &object_acc->polygon_label;
            candidate = primitive->geom.polygon.label;
            break;
        default: break;
    }
    if (slot && ktgeo_coord_is_unset(*slot)) *slot = candidate;
    if (acc.count) {
        primitive->env_min = acc.min;
        primitive->env_max = acc.max;
    } else {
        primitive->env_min = primitive->env_max = KTGEO_UNSET_COORD;
    }
    ktgeo_acc_merge(object_acc, &acc);
    return 1;
}

void ktgeo_acc_finish(SpatialObject* object, const EnvelopeAccumulator* acc) {
    if (acc->count) {
        object->env_min = acc->min;
        object->env_max = acc->max;
    } else {
        object->env_min = object->env_max = KTGEO_UNSET_COORD;
    }
    if (!ktgeo_coord_is_unset(object->centroid)) return;
    object->centroid.z = acc->z_count ? acc->sum_z / acc->z_count : KTGEO_NO_Z;
    for (const GeoCoord* c : {&acc->polygon_label, &acc->line_ref, &acc->point_ref}) {
        if (!ktgeo_coord_is_unset(*c)) {
            object->centroid.x = c->x;
            object->centroid.y = c->y;
            return;
        }
    }
    if (acc->count) {
        object->centroid.x = acc->sum_x / acc->count;
        object->centroid.y = acc->sum_y / acc->count;
    }
}

int ktgeo_so_compute_envelope(SpatialObject* object) {
    if (!object) return 1;
    EnvelopeAccumulator acc;
    ktgeo_acc_init(&acc);
    if (object->primitives)
        nlst_exec(
            object->primitives,
            [](void* p, void* a) {
                return ktgeo_acc_primitive(static_cast<GeometricPrimitive*>(p),
                                           static_cast<EnvelopeAccumulator*>(a));
            },
            &acc);
    ktgeo_acc_finish(object, &acc);
    return 1;
}

void ktgeo_so_complete(SpatialObject* object) {
    if (!object) return;
    int valid = 0;
    ktgeo_check_geometry(object, &valid);
    ktgeo_so_compute_envelope(object);
    const int32_t state = object->ogc_state;
    if (state == 0 || state == KTGEO_OGC_COLLECTION || !object->primitives ||
        object->primitives->tally == 0)
        return;
    if (state >= 1 && state <= 5) {
        object->ogc_state = 0;
        ktgeo_ogc_derive_type(object, 0);
    } else if (state >= 7 && state <= 11) {
        object->ogc_state = 0;
        ktgeo_ogc_derive_type(object, 1);
    }
}

// ------------------------------------------------ single-primitive access

namespace {

GeometricPrimitive* single(SpatialObject* object, int32_t type) {
    if (!object || !object->primitives || object->primitives->tally != 1) return nullptr;
    GeometricPrimitive* p = static_cast<GeometricPrimitive*>(object->primitives->data);
    return p->type == type ? p : nullptr;
}

}  // namespace

GeoPoint* ktgeo_single_point(SpatialObject* object) {
    GeometricPrimitive* p = single(object, KTGEO_POINT);
    return p ? &p->geom.point : nullptr;
}

GeoCurve* ktgeo_single_curve(SpatialObject* object) {
    GeometricPrimitive* p = single(object, KTGEO_CURVE);
    return p ? &p->geom.curve : nullptr;
}

GeoPath* ktgeo_single_path(SpatialObject* object) {
    GeometricPrimitive* p = single(object, KTGEO_PATH);
    return p ? &p->geom.path : nullptr;
}

GeoPolygon* ktgeo_single_polygon(SpatialObject* object) {
    GeometricPrimitive* p = single(object, KTGEO_POLYGON);
    return p ? &p->geom.polygon : nullptr;
}

GeoPolygon* ktgeo_single_simple_polygon(SpatialObject* object) {
    GeoPolygon* polygon = ktgeo_single_polygon(object);
    if (polygon && polygon->interiors && polygon->interiors->tally > 0) return nullptr;
    return polygon;
}
