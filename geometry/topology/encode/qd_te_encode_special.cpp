// Whole-line and boundary encodings of a primitive: for the modes that
// want each line kept whole (intersection nodes, convex hull, distance)
// and for the topological boundary (BOUNDARY and the operand of RELATE).
#include <memory>

#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_path.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_encode.h"

namespace {

struct FreeBlock {
    void operator()(GeoCoord* p) const { qd_free(p); }
};
using Coords = std::unique_ptr<GeoCoord, FreeBlock>;

int set_status(int32_t* status, int32_t code) {
    *status = code;
    return 1;
}

// The coordinates of a curve: a polyline's own (reversed for direction
// R), the strokes of an arc or KT curve; a Bezier curve is not stroked by
// the library and gives none. 0 on a failure, else *n (0 for none;
// *stroke_failed when stroking failed).
bool curve_coords(GeoCurve* curve, Coords* out, int32_t* n, bool* stroke_failed) {
    GeoCoord* raw = nullptr;
    int32_t failed = 0;
    *n = 0;
    *stroke_failed = false;
    if (curve->curve_type == KTGEO_POLYLINE) {
        *n = qd_te_copy_coords(curve->coords, curve->direction, &raw, &failed);
    } else if (curve->curve_type == KTGEO_BEZIER) {
        return true;
    } else {
        if (!ktgeo_curve(curve) || !curve->stroked) {
            *stroke_failed = true;
            return true;
        }
        *n = qd_te_copy_coords(curve->stroked, KTGEO_DIR_FORWARD, &raw, &failed);
    }
    out->reset(raw);
    return failed == 0;
}

// The expanded points of a path; *bad when it cannot be expanded or is
// not connected.
bool path_coords(GeoPath* path, Coords* out, int32_t* n, bool* bad) {
    *n = 0;
    *bad = false;
    if (!ktgeo_path_expand(path) || !path->connected || !path->expanded) {
        *bad = true;
        return true;
    }
    GeoCoord* raw = nullptr;
    int32_t failed = 0;
    *n = qd_te_copy_coords(path->expanded, KTGEO_DIR_FORWARD, &raw, &failed);
    out->reset(raw);
    return failed == 0;
}

bool curve_type_ok(const GeoCurve* curve) {
    return curve->curve_type >= KTGEO_POLYLINE && curve->curve_type <= KTGEO_KT_CURVE;
}

// Each line or point its own feature, except in DISTANCE, where the
// geometry raised the counter once and all its primitives share that id.
void next_feature_id(TeEncoder* e) {
    if (e->rules->mode != TE_DISTANCE) ++e->rules->statistics.tallies[1];
    e->feature_id = e->rules->statistics.tallies[1];
}

void line_dimension(TeEncoder* e) {
    qd_te_parent_set_flag(&e->keys.parent, TE_PARENT_L);
    TeStatistics& s = e->rules->statistics;
    if (s.data_dim <= 1) s.data_dim = 2;
}

// The boundary of a coordinate array: one point a NODE, closed nothing,
// open its two ends; a ring (kind 0 or 1) that is closed one PATH.
int boundary_of(GeoCoord* c, int32_t n, TeEncoder* e, bool ring, int32_t* status) {
    if (n == 0) return set_status(status, -2);
    *status = 1;
    if (n == 1) return qd_te_encode_chain_as_nodes(c, 1, e, status);
    if (qd_te_same_fuzzy_point(&c[0], &c[n - 1], 1e-10)) {
        return ring ? qd_te_encode_chain_ring(n, e, c, status) : 1;
    }
    GeoCoord ends[2] = {c[0], c[n - 1]};
    return qd_te_encode_chain_as_nodes(ends, 2, e, status);
}

}  // namespace

int qd_te_expended_chains_from_node(const GeoPoint* point, TeEncoder* e, int32_t* status) {
    if (!point || !e || !status) return qd_te_missing("qd_te_expended_chains_from_node");
    TeStatistics& s = e->rules->statistics;
    if (s.data_dim == 0) s.data_dim = 1;
    next_feature_id(e);
    return qd_te_chains_from_node(point, status, e);
}

int qd_te_expended_chains_from_linear(GeoCurve* curve, TeEncoder* e, int32_t* status) {
    if (!curve || !e || !status) return qd_te_missing("qd_te_expended_chains_from_linear");
    line_dimension(e);
    if (!curve_type_ok(curve)) return set_status(status, -2);
    next_feature_id(e);
    Coords c;
    int32_t n = 0;
    bool stroke_failed = false;
    if (!curve_coords(curve, &c, &n, &stroke_failed)) return qd_te_no_memory();
    if (stroke_failed || n == 0) return set_status(status, -2);
    return qd_te_encode_chain_ring(n, e, c.get(), status);
}

int qd_te_expended_chains_from_path(GeoPath* path, TeEncoder* e, int32_t kind, int32_t* status) {
    if (!path || !e || !status) return qd_te_missing("qd_te_expended_chains_from_path");
    if (kind == 2) {
        line_dimension(e);
        next_feature_id(e);
    }
    Coords c;
    int32_t n = 0;
    bool bad = false;
    if (!path_coords(path, &c, &n, &bad)) return qd_te_no_memory();
    if (bad || n == 0) return set_status(status, -2);
    return qd_te_encode_chain_ring(n, e, c.get(), status);
}

int qd_te_expended_chains_from_surface(TeEncoder* e, int32_t* status, GeoPolygon* polygon) {
    if (!polygon || !e || !status) return qd_te_missing("qd_te_expended_chains_from_surface");
    qd_te_parent_set_flag(&e->keys.parent, TE_PARENT_P);
    TeStatistics& s = e->rules->statistics;
    if (s.data_dim <= 2) s.data_dim = 3;
    e->feature_id = s.tallies[1];
    e->parent_side = 0;
    if (!qd_te_expended_chains_from_path(&polygon->exterior, e, 0, status)) return 0;
    for (uint32_t i = 0; polygon->interiors && i < polygon->interiors->tally && *status == 1; ++i) {
        e->parent_side = 1;
        if (!qd_te_expended_chains_from_path(static_cast<GeoPath*>(nlst_index(polygon->interiors, i)), e, 1,
                                             status))
            return 0;
    }
    return 1;
}

int qd_te_encode_feature_expended(int32_t* status, TeEncoder* e, GeometricPrimitive* primitive) {
    if (!status || !e || !primitive) return qd_te_missing("qd_te_encode_feature_expended");
    switch (primitive->type) {
    case KTGEO_POINT: return qd_te_expended_chains_from_node(&primitive->geom.point, e, status);
    case KTGEO_CURVE: return qd_te_expended_chains_from_linear(&primitive->geom.curve, e, status);
    case KTGEO_PATH: return qd_te_expended_chains_from_path(&primitive->geom.path, e, 2, status);
    case KTGEO_POLYGON: return qd_te_expended_chains_from_surface(e, status, &primitive->geom.polygon);
    default: return set_status(status, -5);
    }
}

int qd_te_boundary_chains_from_linear(int32_t* status, GeoCurve* curve, TeEncoder* e) {
    if (!status || !curve || !e) return qd_te_missing("qd_te_boundary_chains_from_linear");
    TeStatistics& s = e->rules->statistics;
    if (s.data_dim == 0) s.data_dim = 1;
    if (!curve_type_ok(curve)) return set_status(status, 1);
    Coords c;
    int32_t n = 0;
    bool stroke_failed = false;
    if (!curve_coords(curve, &c, &n, &stroke_failed)) return qd_te_no_memory();
    if (stroke_failed) return set_status(status, -2);
    return boundary_of(c.get(), n, e, false, status);
}

int qd_te_boundary_chains_from_path(GeoPath* path, TeEncoder* e, int32_t kind, int32_t* status) {
    if (!path || !e || !status) return qd_te_missing("qd_te_boundary_chains_from_path");
    if (kind == 2) {
        TeStatistics& s = e->rules->statistics;
        if (s.data_dim == 0) s.data_dim = 1;
    }
    Coords c;
    int32_t n = 0;
    bool bad = false;
    if (!path_coords(path, &c, &n, &bad)) return qd_te_no_memory();
    if (bad) return set_status(status, -2);
    return boundary_of(c.get(), n, e, kind != 2, status);
}

int qd_te_boundary_chains_from_surface(int32_t* status, TeEncoder* e, GeoPolygon* polygon) {
    if (!status || !e || !polygon) return qd_te_missing("qd_te_boundary_chains_from_surface");
    qd_te_parent_set_flag(&e->keys.parent, TE_PARENT_L);
    TeStatistics& s = e->rules->statistics;
    if (s.data_dim <= 1) s.data_dim = 2;
    e->parent_side = 0;
    if (!qd_te_boundary_chains_from_path(&polygon->exterior, e, 0, status)) return 0;
    for (uint32_t i = 0; polygon->interiors && i < polygon->interiors->tally && *status == 1; ++i) {
        e->parent_side = 1;
        if (!qd_te_boundary_chains_from_path(static_cast<GeoPath*>(nlst_index(polygon->interiors, i)), e, 1,
                                             status))
            return 0;
    }
    return 1;
}

int qd_te_encode_feature_boundary(int32_t* status, TeEncoder* e, GeometricPrimitive* primitive) {
    if (!status || !e || !primitive) return qd_te_missing("qd_te_encode_feature_boundary");
    switch (primitive->type) {
    case KTGEO_POINT: return set_status(status, 1);
    case KTGEO_CURVE: return qd_te_boundary_chains_from_linear(status, &primitive->geom.curve, e);
    case KTGEO_PATH: return qd_te_boundary_chains_from_path(&primitive->geom.path, e, 2, status);
    case KTGEO_POLYGON: return qd_te_boundary_chains_from_surface(status, e, &primitive->geom.polygon);
    default: return set_status(status, -5);
    }
}
