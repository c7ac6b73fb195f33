// The common chain check after a chain's vertices changed: collapsed
// chains are marked CHAIN_DELETE, two-point paths and arcs on their chord
// become lines, and the rectangle is rebuilt and grown by the snapping
// tolerance. Closed three-point arcs become circles.
#include <cmath>

#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_views.h"

namespace {

GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }

void set_mer(TeChain* chain, const GeoCoord env[2], double g) {
    chain->chain_mer[0] = {env[0].x, env[0].y, KTGEO_NO_Z};
    chain->chain_mer[1] = {env[1].x, env[1].y, KTGEO_NO_Z};
    qd_te_mer_expand(chain->chain_mer, g);
}

void set_mer_ends(TeChain* chain, const TeVertex& a, const TeVertex& b, double tolerance) {
    const GeoCoord p = coord_of(a), q = coord_of(b);
    GeoCoord env[2];
    qd_te_cogo_segment_envelope(&p, &q, env);
    set_mer(chain, env, std::fmax(tolerance, std::fmax(a.tol, b.tol)));
}

// A closed arc's circle: start and end on it, the middle point across.
TeCircle closed_arc_circle(const TeArc3& a) {
    const GeoCoord c = {(a.start.x + a.mid.x) / 2, (a.start.y + a.mid.y) / 2, KTGEO_NO_Z};
    return {c, qd_te_cogo_distance_2d(&a.start, &c)};
}

int check_arc(TeChain* chain, double tolerance, int32_t* degenerate, const TeVertex& first,
              const TeVertex& last) {
    TeArc3 a3;
    int32_t skip = 0;
    if (!qd_te_form_arc3(chain, &a3, 0, &skip)) return 0;
    if (skip) return *degenerate = 1, 1;
    const double g = std::fmax(tolerance, std::fmax(first.tol, last.tol));
    GeoCoord env[2];
    if (qd_te_same_fuzzy_point_3d(&a3.start, &a3.end, tolerance)) {
        // Closed: sound while the middle point stands apart.
        if (qd_te_same_fuzzy_point_3d(&a3.start, &a3.mid, tolerance)) return *degenerate = 1, 1;
        const TeCircle circle = closed_arc_circle(a3);
        if (qd_te_cogo_circle_envelope(&circle, env, nullptr) != -1) return *degenerate = 1, 1;
        set_mer(chain, env, g);
        return 1;
    }
    TeArc arc;
    if (qd_te_cogo_arc_from_points(&a3.start, &a3.mid, &a3.end, &arc, nullptr) == -1) {
        if (qd_te_cogo_arc_envelope(&arc, env, nullptr) != -1) return *degenerate = 1, 1;
        set_mer(chain, env, g);
        return 1;
    }
    // On its chord: a line of its ends.
    nlst_remove(chain->coords, 1);
    chain->radius = 0;
    chain->chain_type = TE_LINE;
    const auto* v = static_cast<const TeVertex*>(chain->coords->data);
    set_mer_ends(chain, v[0], v[1], tolerance);
    return 1;
}

}  // namespace

int qd_te_cluster_chain_check(int32_t mode, double tolerance, int32_t* degenerate, TeChain* chain) {
    if (!chain || !degenerate) return qd_te_missing("qd_te_cluster_chain_check");
    *degenerate = 0;
    if (!chain->coords || chain->coords->tally == 0) return *degenerate = 1, 1;
    const int32_t type = chain->chain_type;
    if (type < TE_REGION || type > TE_NODE) {
        *degenerate = 1;
        return qd_te_missing("qd_te_cluster_chain_check");
    }
    if (type == TE_CIRCLE) {
        TeCircle circle;
        int32_t skip = 0;
        if (!qd_te_form_circle(chain, &circle, &skip)) return 0;
        GeoCoord env[2];
        if (skip || qd_te_cogo_circle_envelope(&circle, env, nullptr) != -1) return *degenerate = 1, 1;
        const auto* c = static_cast<const TeVertex*>(chain->coords->data);
        set_mer(chain, env, std::fmax(tolerance, c->tol));
        return 1;
    }
    TeVertex *first, *last;
    int32_t skip = 0;
    if (!qd_te_form_start_end(chain, &first, &last, &skip)) return 0;
    if (skip) return *degenerate = 1, 1;
    const GeoCoord a = coord_of(*first), b = coord_of(*last);
    const uint32_t n = chain->coords->tally;
    switch (type) {
    case TE_PATH:
        if (n > 2) return qd_te_geo_chain_path_check(chain, mode, tolerance);
        if (qd_te_same_fuzzy_point_3d(&a, &b, tolerance)) return *degenerate = 1, 1;
        chain->chain_type = TE_LINE;
        set_mer_ends(chain, *first, *last, tolerance);
        return 1;
    case TE_LINE:
        if (qd_te_same_fuzzy_point_3d(&a, &b, tolerance)) return *degenerate = 1, 1;
        set_mer_ends(chain, *first, *last, tolerance);
        return 1;
    case TE_ARC: return check_arc(chain, tolerance, degenerate, *first, *last);
    case TE_NODE: {
        const GeoCoord env[2] = {a, a};
        set_mer(chain, env, std::fmax(tolerance, first->tol));
        return 1;
    }
    default: break;
    }
    // CURVE, REGION, ISLAND: the polyline view's envelope.
    const bool ring = type == TE_REGION || type == TE_ISLAND;
    const bool ends_meet = ring ? qd_te_same_fuzzy_point(&a, &b, tolerance) : qd_te_same_fuzzy_point_3d(&a, &b, tolerance);
    if (ring && (n < 3 || !ends_meet)) return *degenerate = 1, 1;
    if (type == TE_CURVE && n == 2 && ends_meet) return *degenerate = 1, 1;
    const TeVertex f = *first, l = *last;
    TePathView view;
    if (!qd_te_form_polyline(chain, &view, 0, &skip)) return 0;
    if (skip) return *degenerate = 1, 1;
    set_mer(chain, view.envelope, std::fmax(tolerance, std::fmax(f.tol, l.tol)));
    qd_free(view.array.pts);
    return 1;
}

int qd_te_cluster_clean_points(TeChain* chain, int32_t mode, double tolerance) {
    if (!chain) return qd_te_missing("qd_te_cluster_clean_points");
    if (chain->discard != CHAIN_OK) return 1;
    if (!chain->coords || chain->coords->tally == 0) {
        chain->discard = CHAIN_DELETE;
        return 1;
    }
    int32_t degenerate = 0;
    if (!qd_te_cluster_chain_check(mode, std::fmax(tolerance, 1e-10), &degenerate, chain)) return 0;
    if (degenerate == 1 && chain->discard != CHAIN_FREE) chain->discard = CHAIN_DELETE;
    return 1;
}

int qd_te_cluster_convert_arc_to_circle(TeChain* chain) {
    if (!chain) return qd_te_missing("qd_te_cluster_convert_arc_to_circle");
    if (chain->discard != CHAIN_OK || chain->chain_type != TE_ARC) return 1;
    TeArc3 a3;
    int32_t skip = 0;
    if (!qd_te_form_arc3(chain, &a3, 0, &skip)) return 0;
    TeVertex *first, *last;
    int32_t ends_skip = 0;
    if (!skip && !qd_te_form_start_end(chain, &first, &last, &ends_skip)) return 0;
    if (skip || ends_skip) {
        chain->discard = CHAIN_DELETE;
        return 1;
    }
    const double t = std::fmax(first->tol, last->tol);
    const bool closed = qd_te_same_fuzzy_point(&a3.start, &a3.end, t);
    TeCircle circle;
    if (closed) {
        circle = closed_arc_circle(a3);
    } else if (qd_te_cogo_circle_from_points(&a3.start, &a3.mid, &a3.end, &circle, nullptr) != -1) {
        chain->discard = CHAIN_DELETE;
        return 1;
    }
    if (!closed || qd_te_same_fuzzy_point(&a3.mid, &a3.start, t) || !(circle.radius > t)) return 1;
    const double tol = first->tol;
    nlst_trunc(chain->coords, 1);
    auto* c = static_cast<TeVertex*>(chain->coords->data);
    *c = {circle.centre.x, circle.centre.y, a3.start.z, tol};
    chain->radius = circle.radius;
    chain->chain_type = TE_CIRCLE;
    return 1;
}
