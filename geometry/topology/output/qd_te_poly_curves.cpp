// Boundary curves of output polygons: one curve per boundary chain, of the
// chain kind's curve type, oriented along the walk, consecutive polylines
// merged on request; and the boundary walk every surface stage shares.
#include <cstring>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/output/qd_te_poly_internal.h"

int qd_te_poly_boundary(const TePolygon* p, const nlst* chains, nlst* steps, const char* function) {
    if (!p || !chains || chains->tally == 0 || !steps) return qd_te_missing(function);
    steps->tally = 0;
    const int32_t n = int32_t(chains->tally);
    int32_t row = p->start_chain;
    if (row < 0 || row >= n) return qd_te_missing(function);
    const TeChain* c = qd_te_chain_at(chains, row);
    int32_t side;
    if (c->poly_left == p->id) side = 1;
    else if (c->poly_right == p->id) side = 0;
    else return qd_te_missing(function);
    const int32_t start = side ? row : -row;
    // Every chain side is walked at most once: a longer walk is a broken cycle.
    for (int64_t guard = 0; guard <= 2 * int64_t(n); ++guard) {
        if (c->discard != CHAIN_OK) return qd_te_missing(function);
        const TePolyStep step{row, side};
        if (!nlst_add(steps, &step)) return qd_te_no_memory();
        const int32_t v = side ? c->left_link : c->right_link;
        if (v == start) return 1;
        if (v == 0 || v == INT32_MIN) return qd_te_missing(function);
        side = v > 0 ? 1 : 0;
        row = v > 0 ? v : -v;
        if (row >= n) return qd_te_missing(function);
        c = qd_te_chain_at(chains, row);
    }
    return qd_te_missing(function);
}

using te_poly::poly_side;
using te_poly::Steps;

int qd_te_build_open_linears_collect(const TePolygon* p, TeBitArray* bits, const nlst* chains, int32_t toggle) {
    if (!p || !bits || !chains) return qd_te_missing("qd_te_build_open_linears_collect");
    if (p->discard == 1) return 1;
    Steps steps;
    if (!steps.list) return qd_te_no_memory();
    if (!qd_te_poly_boundary(p, chains, steps.list, "qd_te_build_open_linears_collect")) return 0;
    for (uint32_t i = 0; i < steps.list->tally; ++i) {
        const uint32_t row = uint32_t(steps[i].row);
        if (row > bits->nbits || !bits->bits) return qd_te_missing("qd_te_build_open_linears_collect");
        uint8_t& byte = bits->bits[row / 8];
        const uint8_t mask = uint8_t(1u << (row % 8));
        if (!(byte & mask)) byte |= mask;
        else if (toggle) byte &= uint8_t(~mask);
    }
    return 1;
}

int qd_te_create_new_curve(TeRules* rules, const TeChain* chain, GeoCurve* curve, int32_t direction) {
    if (!rules || !chain || !curve) return qd_te_missing("qd_te_create_new_curve");
    GeoCoord* array = nullptr;
    int32_t n = 0;
    if (!qd_te_geo_get_coords(chain, &array, &n, 0)) return 0;
    if (!array || n == 0) {
        qd_free(array);
        return 1;
    }
    struct Free {
        GeoCoord* a;
        ~Free() { qd_free(a); }
    } release{array};
    if (direction == 0) qd_te_cogo_reverse_array(array, n);
    int32_t type = 0;
    int32_t* counter = nullptr;
    TeCounters& out = rules->statistics.output_counters;
    switch (chain->chain_type) {
    case TE_PATH: type = KTGEO_POLYLINE; counter = &out.count[TE_OUT_PATHS]; break;
    case TE_LINE: type = KTGEO_POLYLINE; counter = &out.count[TE_OUT_LINES]; break;
    case TE_ARC: type = KTGEO_CIRCULAR_ARC; counter = &out.count[TE_OUT_ARCS]; break;
    case TE_CIRCLE: type = KTGEO_CIRCULAR_ARC; counter = &out.count[TE_OUT_CIRCLES]; break;
    case TE_CURVE: type = KTGEO_KT_CURVE; counter = &out.count[TE_OUT_CURVES]; break;
    case TE_NODE: case TE_EAF: break;
    default:
        qd_te_error_method(-5, &rules->error_method);
        return 0;
    }
    out.count[TE_OUT_COORDS] += n;
    out.count[TE_OUT_SEGMENTS] += n - 1;
    if (counter) ++*counter;
    GeoCoord circle[3];
    const GeoCoord* points = array;
    int32_t count = n;
    if (chain->chain_type == TE_CIRCLE) {
        const GeoCoord centre = array[0];
        const GeoCoord start = {centre.x - chain->radius, centre.y, centre.z};
        circle[0] = start;
        circle[1] = centre;
        circle[2] = start;
        points = circle;
        count = 3;
    }
    curve->direction = KTGEO_DIR_FORWARD;
    curve->curve_type = type;
    nlst* list = nlst_alloc(sizeof(GeoCoord), uint32_t(count) + 2, 1, nullptr);
    if (!list) return qd_te_no_memory();
    if (!nlst_add_many(list, points, uint32_t(count))) {
        nlst_free(list);
        return qd_te_no_memory();
    }
    if (curve->coords) nlst_free(curve->coords);
    curve->coords = list;
    return qd_te_geo_decode_curve_tangent(curve, &chain->tangent) ? 1 : 0;
}

int qd_te_output_merge_curves(GeoCurve* earlier, const GeoCurve* later, int32_t* merged) {
    if (!earlier || !later || !merged) return qd_te_missing("qd_te_output_merge_curves");
    *merged = 0;
    if (earlier->curve_type != KTGEO_POLYLINE || later->curve_type != KTGEO_POLYLINE) return 1;
    if (!earlier->coords || !later->coords || earlier->coords->tally < 2 || later->coords->tally < 2) return 1;
    const auto* a = static_cast<const GeoCoord*>(earlier->coords->data);
    const auto* b = static_cast<const GeoCoord*>(later->coords->data);
    if (!qd_te_same_fuzzy_point(&a[earlier->coords->tally - 1], &b[0], 1e-10)) return 1;
    if (!nlst_add_many(earlier->coords, b + 1, later->coords->tally - 1)) return qd_te_no_memory();
    *merged = 1;
    return 1;
}

int qd_te_add_new_curve_to_list(TeChain* chain, nlst** curves, int32_t direction, TeRules* rules, int32_t merge) {
    if (!chain || !curves || !rules) return qd_te_missing("qd_te_add_new_curve_to_list");
    GeoCurve curve;
    ktgeo_curve_init(&curve);
    if (!qd_te_create_new_curve(rules, chain, &curve, direction)) {
        ktgeo_curve_release(&curve, nullptr);
        return 0;
    }
    if (merge == 1 && *curves && (*curves)->tally > 0) {
        auto* last = static_cast<GeoCurve*>((*curves)->data) + ((*curves)->tally - 1);
        int32_t merged = 0;
        if (!qd_te_output_merge_curves(last, &curve, &merged)) {
            ktgeo_curve_release(&curve, nullptr);
            return 0;
        }
        if (merged) {
            ktgeo_curve_release(&curve, nullptr);
            return 1;
        }
    }
    if (!*curves && !(*curves = nlst_alloc(sizeof(GeoCurve), 4, 4, nullptr))) {
        ktgeo_curve_release(&curve, nullptr);
        return qd_te_no_memory();
    }
    if (!nlst_add(*curves, &curve)) {
        ktgeo_curve_release(&curve, nullptr);
        return qd_te_no_memory();
    }
    return 1;
}

int qd_te_output_walk_curves(TePolygon* p, nlst** curves, nlst* chains, TeRules* rules, int32_t merge) {
    if (!p || !curves || !chains || chains->tally == 0 || !rules) return qd_te_missing("qd_te_output_walk_curves");
    if (p->discard == 1) return 1;
    te_poly::Bits set;
    TeBitArray& bits = set.a;
    if (!qd_te_ba_alloc(&bits, chains->tally)) return qd_te_no_memory();
    Steps steps;
    if (!steps.list) return qd_te_no_memory();
    if (!qd_te_poly_boundary(p, chains, steps.list, "qd_te_output_walk_curves")) return 0;
    const int32_t sec = rules->secondary;
    const bool surface = rules->output_dim == TE_DIM_SURFACE;
    const bool opening = p->status == 1 && p->spike == 1 && surface && (sec == TE_INCURSION || sec == TE_EXCURSION) &&
                         rules->dissolve_drop == 1;
    if (opening) {
        if (!qd_te_build_open_linears_collect(p, &bits, chains, 1)) return 0;
    }
    const int32_t mode = rules->mode;
    const bool cutter_mode = mode == TE_SPLIT || mode == TE_ERASE_IN || mode == TE_ERASE_OUT || mode == TE_DIFFERENCE;
    auto delivered = [&](TeChain* c) -> bool {
        const uint32_t row = uint32_t(c - qd_te_chain_at(chains, 0));
        if (opening) return qd_te_ba_test(&bits, row) != 0;
        if (p->status == 1 && surface) return true;
        if (cutter_mode && c->chain_lookup >= 0) return false;
        if (mode == TE_SYMMETRIC_DIFFERENCE && qd_te_parents_count(c, poly_side(c, p)) % 2 == 0) return false;
        if (c->chain_id == -1 || qd_te_ba_test(&bits, row)) return false;
        qd_te_ba_set(&bits, row);
        if ((cutter_mode || mode == TE_SYMMETRIC_DIFFERENCE) && !surface) c->chain_lookup = 0;
        return true;
    };
    // The first delivered chain comes last, so that the list ends where the
    // walk began and merging can join the last curve with the first.
    int64_t held = -1;
    for (uint32_t i = 0; i < steps.list->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, steps[i].row);
        if (!delivered(c)) continue;
        if (held < 0) {
            held = i;
            continue;
        }
        // Walked on its right side the chain runs as stored; on its left, reversed.
        if (!qd_te_add_new_curve_to_list(c, curves, steps[i].side == 0 ? 1 : 0, rules, merge)) return 0;
    }
    if (held >= 0) {
        const TePolyStep& s = steps[uint32_t(held)];
        if (!qd_te_add_new_curve_to_list(qd_te_chain_at(chains, s.row), curves, s.side == 0 ? 1 : 0, rules, merge))
            return 0;
    }
    return 1;
}

int qd_te_output_add_new_curve_to_geom(const GeoCurve* curve, SpatialObject* object) {
    if (!curve || !object) return qd_te_missing("qd_te_output_add_new_curve_to_geom");
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_CURVE, &p);
    if (!ktgeo_util_copy_object_curve(curve, &p.geom.curve) || !ktgeo_util_add_new_primitive(&p, object)) {
        ktgeo_primitive_release(&p, nullptr);
        return 0;
    }
    return 1;
}
