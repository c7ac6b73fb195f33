// Validity checks: recompute the flags the library trusts (curve closed and
// invalid, path closed and connected, polygon valid) and report the first
// fault, or in quiet mode only answer whether everything is valid.
#include "geometry/ktgeo_check.h"

#include <utility>

#include "geometry/ktgeo_curve.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"

namespace {

const GeoCoord* coord(const nlst* list, uint32_t row) {
    return static_cast<const GeoCoord*>(list->data) + row;
}

uint32_t coincident_pairs(const nlst* list) {
    uint32_t pairs = 0;
    for (uint32_t i = 1; i < list->tally; ++i)
        pairs += qd_cogo_same_point(coord(list, i - 1), coord(list, i));
    return pairs;
}

// A fault of a path or polygon in a ring: clears validity and reports
// unless quiet. Returns the step result.
int ring_fault(CheckState* state, const char* code, const char* what) {
    if (!state->ring) return 1;
    state->valid = 0;
    if (state->quiet) return 1;
    QD_FAIL(code, "what%s", what, nullptr);
    return 0;
}

// Start and end of a curve as a path sees it (swapped when reversed).
bool curve_ends(const GeoCurve& curve, const GeoCoord** start, const GeoCoord** end) {
    if (!curve.coords || curve.coords->tally == 0) return false;
    *start = coord(curve.coords, 0);
    *end = coord(curve.coords, curve.coords->tally - 1);
    if (curve.direction == KTGEO_DIR_REVERSE) std::swap(*start, *end);
    return true;
}

int public_check(CheckState* state, int* valid, int walk) {
    if (valid) {
        *valid = state->valid;
        return walk;
    }
    return walk != 1 ? walk : state->valid;
}

CheckState start_state(const int* valid) { return CheckState{1, 0, valid ? 1 : 0, 0}; }

}  // namespace

int ktgeo_check_curve_step(GeoCurve* curve, CheckState* state) {
    curve->closed = 0;
    curve->invalid = 0;
    if (!curve->coords) {
        curve->invalid = 1;
        state->valid = 0;
        if (state->quiet) return 1;
        QD_FAIL("UKT_8", "what%s", "ST_Curve", nullptr);
        return 0;
    }
    const nlst* c = curve->coords;
    const uint32_t n = c->tally;
    const char* code = nullptr;
    const char* what = nullptr;
    bool stroke = false;
    uint32_t closure_minimum = 0;
    switch (curve->curve_type) {
        case KTGEO_POLYLINE: {
            const uint32_t pairs = coincident_pairs(c);
            what = "ST_Polyline";
            if (n - pairs < 2) code = "UKT_4";
            closure_minimum = pairs + 4;
            break;
        }
        case KTGEO_CIRCULAR_ARC:
            what = "ST_CircularArc";
            if (n < 3 || n % 2 == 0) code = "UKT_4";
            else if (coincident_pairs(c)) code = "UKT_3";
            else stroke = true;
            closure_minimum = 2;
            break;
        case KTGEO_BEZIER:
            what = "ST_PiecewiseBezier";
            if (n < 3 || (n - 1) % 3 != 0) code = "UKT_4";
            else if (coincident_pairs(c)) code = "UKT_3";
            closure_minimum = 4;
            break;
        case KTGEO_KT_CURVE:
            what = "KT_Curve";
            if (n < 2) code = "UKT_4";
            else if (coincident_pairs(c)) code = "UKT_3";
            else stroke = true;
            closure_minimum = 3;
            break;
        default:
            closure_minimum = UINT32_MAX;
            break;
    }
    int result = 1;
    if (code) {
        curve->invalid = 1;
        state->valid = 0;
        if (!state->quiet) {
            QD_FAIL(code, "what%s", what, nullptr);
            result = 0;
        }
    } else if (stroke && state->valid == 1 && !ktgeo_curve(curve)) {
        state->valid = 0;
        if (!state->quiet) result = 0;
    }
    if (!curve->invalid && n >= closure_minimum && n > 0)
        curve->closed = qd_cogo_same_point(coord(c, 0), coord(c, n - 1));
    return result;
}

int ktgeo_check_path_links(GeoPath* path, CheckState* state) {
    path->closed = 1;
    path->connected = 1;
    const uint32_t count = path->curves ? path->curves->tally : 0;
    if (count == 0) {
        path->closed = path->connected = 0;
        return 1;
    }
    const GeoCurve* curves = static_cast<const GeoCurve*>(path->curves->data);
    if (count == 1) {
        if (curves[0].closed) return 1;
        path->closed = 0;
        return ring_fault(state, "UKT_6", "ST_Curve");
    }
    const GeoCoord *chain_start = nullptr, *chain_end = nullptr;
    bool linked = curve_ends(curves[0], &chain_start, &chain_end);
    uint64_t segments = linked ? curves[0].coords->tally - 1 : 0;
    for (uint32_t i = 1; linked && i < count; ++i) {
        const GeoCoord *start, *end;
        linked = curve_ends(curves[i], &start, &end);
        if (!linked) break;
        segments += curves[i].coords->tally - 1;
        if (qd_cogo_same_point(chain_end, start)) chain_end = end;
        else if (qd_cogo_same_point(chain_end, end)) chain_end = start;
        else if (qd_cogo_same_point(chain_start, start)) chain_start = end;
        else if (qd_cogo_same_point(chain_start, end)) chain_start = start;
        else linked = false;
    }
    if (!linked) {
        path->closed = path->connected = 0;
        return ring_fault(state, "UKT_7", "ST_Path");
    }
    if (state->valid != 1) return 1;
    if (segments < 3 || !qd_cogo_same_point(chain_start, chain_end)) {
        path->closed = 0;
        return ring_fault(state, "UKT_6", "ST_Path");
    }
    return 1;
}

int ktgeo_check_path_step(GeoPath* path, CheckState* state) {
    if (!path->curves) return 1;
    CheckState local = {1, state->ring, state->quiet, 1};
    GeoCurve* curves = static_cast<GeoCurve*>(path->curves->data);
    int result = 1;
    bool faulty = false;
    for (uint32_t i = 0; i < path->curves->tally && result == 1; ++i) {
        result = ktgeo_check_curve_step(&curves[i], &local);
        if (curves[i].invalid) faulty = true;
    }
    if (result == 1 && !faulty) result = ktgeo_check_path_links(path, &local);
    if (result != 1 || faulty || !path->closed) state->rings_ok = 0;
    if (!local.valid) state->valid = 0;
    return result;
}

int ktgeo_check_polygon_step(GeoPolygon* polygon, CheckState* state) {
    CheckState local = {1, 1, state->quiet, 1};
    int result = ktgeo_check_path_step(&polygon->exterior, &local);
    if (result == 1 && polygon->interiors) {
        GeoPath* holes = static_cast<GeoPath*>(polygon->interiors->data);
        for (uint32_t i = 0; i < polygon->interiors->tally && result == 1; ++i)
            result = ktgeo_check_path_step(&holes[i], &local);
    }
    if (result == 1) {
        if (local.rings_ok) {
            polygon->valid = 1;
        } else {
            polygon->valid = 0;
            state->valid = 0;
            if (!state->quiet) {
                QD_FAIL("UKT_6", "what%s", "ST_Polygon", nullptr);
                result = 0;
            }
        }
    }
    if (!local.valid) state->valid = 0;
    return result;
}

int ktgeo_check_primitive_step(GeometricPrimitive* primitive, CheckState* state) {
    if (!primitive) return 1;
    switch (primitive->type) {
        case KTGEO_CURVE: return ktgeo_check_curve_step(&primitive->geom.curve, state);
        case KTGEO_PATH: {
            const int32_t ring = state->ring;
            state->ring = 0;
            const int result = ktgeo_check_path_step(&primitive->geom.path, state);
            state->ring = ring;
            return result;
        }
        case KTGEO_POLYGON: return ktgeo_check_polygon_step(&primitive->geom.polygon, state);
        default: return 1;
    }
}

int ktgeo_check_geometry(SpatialObject* object, int* valid) {
    CheckState state = start_state(valid);
    int walk = 1;
    if (!object) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_check_geometry", "param%s", "so", nullptr);
        return 0;
    }
    if (object->primitives && object->primitives->tally == 0) {
        nlst_free(object->primitives);
        object->primitives = nullptr;
    } else if (object->primitives) {
        GeometricPrimitive* p = static_cast<GeometricPrimitive*>(object->primitives->data);
        for (uint32_t i = 0; i < object->primitives->tally && walk == 1; ++i)
            walk = ktgeo_check_primitive_step(&p[i], &state);
    }
    return public_check(&state, valid, walk);
}

int ktgeo_check_curve(GeoCurve* curve, int* valid) {
    if (!curve) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_check_curve", "param%s", "curve", nullptr);
        return 0;
    }
    CheckState state = start_state(valid);
    return public_check(&state, valid, ktgeo_check_curve_step(curve, &state));
}

int ktgeo_check_path(GeoPath* path, int* valid) {
    if (!path) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_check_path", "param%s", "path", nullptr);
        return 0;
    }
    CheckState state = start_state(valid);
    return public_check(&state, valid, ktgeo_check_path_step(path, &state));
}

int ktgeo_check_polygon(GeoPolygon* polygon, int* valid) {
    if (!polygon) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_check_polygon", "param%s", "polygon", nullptr);
        return 0;
    }
    CheckState state = start_state(valid);
    return public_check(&state, valid, ktgeo_check_polygon_step(polygon, &state));
}

int ktgeo_check_noop() { return 1; }
