// Duplicate removal: the passes run chain by chain over the link order,
// the dispatch of a pair to its identity test, the node tests, and the
// merge of a chain and its parents into a survivor.
#include <cmath>

#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

TePairTestHook qd_te_duplicates_pair_test = {nullptr, nullptr};

namespace {

GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }

bool overlap(const GeoCoord a[2], const GeoCoord b[2]) {
    return a[0].x <= b[1].x && a[1].x >= b[0].x && a[0].y <= b[1].y && a[1].y >= b[0].y;
}

bool ring(const TeChain* c) { return c->chain_type == TE_REGION || c->chain_type == TE_ISLAND; }

// Whether a pair of these types has an identity test in the table.
bool listed(int32_t a, int32_t b) {
    switch (a) {
    case TE_PATH: return b == TE_PATH || b == TE_LINE;
    case TE_LINE: return b == TE_PATH || b == TE_LINE || b == TE_ARC || b == TE_CURVE;
    case TE_ARC: return b == TE_LINE || b == TE_ARC || b == TE_CIRCLE;
    case TE_CIRCLE: return b == TE_ARC || b == TE_CIRCLE;
    case TE_CURVE: return b == TE_LINE || b == TE_CURVE;
    case TE_NODE: return b == TE_NODE;
    default: return false;
    }
}

const char* second_level(int32_t type) {
    switch (type) {
    case TE_PATH: return "qd_te_duplicates_path_any";
    case TE_LINE: return "qd_te_duplicates_line_any";
    case TE_ARC: return "qd_te_duplicates_arc_any";
    case TE_CIRCLE: return "qd_te_duplicates_circle_any";
    case TE_CURVE: return "qd_te_duplicates_curve_any";
    default: return "qd_te_duplicates_node_any";
    }
}

// A removal pass; node_only restricts it to pairs with a node.
int removal(nlst* chains, int32_t index, double tolerance, int32_t per_point, bool node_only,
            const char* name) {
    if (!chains) return qd_te_missing(name);
    if (chains->tally < 2) return 1;
    if (index <= 0 || index >= int32_t(chains->tally)) return 0;
    TeChain* s = qd_te_chain_at(chains, index);
    if (ring(s)) return 1;
    if (!qd_te_cluster_clean_points(s, 0, tolerance)) return 0;
    const double* tol = per_point == 1 ? nullptr : &tolerance;
    int32_t at = index;
    while (s->discard == CHAIN_OK) {
        TeChain* c = nullptr;
        if (!qd_te_link_get_next_chain(chains, &at, &c)) return 0;
        if (!c || at == 0) return 1;
        if (c->discard != CHAIN_OK) continue;
        if (c->chain_mer[0].x > s->chain_mer[1].x + qd_te_order_margin) return 1;
        if (ring(c) || !overlap(s->chain_mer, c->chain_mer)) continue;
        int32_t identical = 0;
        if (!node_only) {
            if (!qd_te_duplicates_prim(s, c, tol, &identical)) return 0;
        } else if (s->chain_type == TE_NODE) {
            if (!qd_te_identical_node_linear(c, s, tol, &identical)) return 0;
        } else if (c->chain_type == TE_NODE) {
            if (!qd_te_identical_node_linear(s, c, tol, &identical)) return 0;
        }
    }
    return 1;
}

}  // namespace

int qd_te_duplicates_removal(nlst* chains, int32_t index, double tolerance, int32_t per_point) {
    return removal(chains, index, tolerance, per_point, false, "qd_te_duplicates_removal");
}

int qd_te_duplicates_node_removal(nlst* chains, int32_t index, double tolerance, int32_t per_point) {
    return removal(chains, index, tolerance, per_point, true, "qd_te_duplicates_node_removal");
}

int qd_te_duplicates_prim(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical) {
    if (!first || !second || !identical) return qd_te_missing("qd_te_duplicates_prim");
    *identical = 0;
    if (first->chain_id == second->chain_id || ring(first)) return 1;
    if (first->chain_type > TE_NODE || first->chain_type < TE_REGION)
        return qd_te_missing("qd_te_duplicates_prim");
    if (second->chain_type < TE_PATH || second->chain_type > TE_NODE)
        return qd_te_missing(second_level(first->chain_type));
    if (first == second || !listed(first->chain_type, second->chain_type)) return 1;
    if (first->chain_type == TE_NODE) return qd_te_identical_nodes(first, second, tolerance, identical);
    if (qd_te_duplicates_pair_test.test)
        return qd_te_duplicates_pair_test.test(first, second, tolerance, identical,
                                               qd_te_duplicates_pair_test.user);
    TeChain* const a = first;
    TeChain* const b = second;
    switch (a->chain_type * 8 + b->chain_type) {
    case TE_PATH * 8 + TE_PATH: return qd_te_identical_paths(a, b, tolerance, identical);
    case TE_PATH * 8 + TE_LINE: return qd_te_identical_path_line(a, b, tolerance, identical);
    case TE_LINE * 8 + TE_PATH: return qd_te_identical_path_line(b, a, tolerance, identical);
    case TE_LINE * 8 + TE_LINE: return qd_te_identical_lines(a, b, tolerance, identical);
    case TE_LINE * 8 + TE_ARC: return qd_te_identical_arc_line(b, a, tolerance, identical);
    case TE_LINE * 8 + TE_CURVE: return qd_te_identical_curve_line(b, a, tolerance, identical);
    case TE_ARC * 8 + TE_LINE: return qd_te_identical_arc_line(a, b, tolerance, identical);
    case TE_ARC * 8 + TE_ARC: return qd_te_identical_arcs(b, a, tolerance, identical);
    case TE_ARC * 8 + TE_CIRCLE: return qd_te_identical_arc_circle(a, b, tolerance, identical);
    case TE_CIRCLE * 8 + TE_ARC: return qd_te_identical_arc_circle(b, a, tolerance, identical);
    case TE_CIRCLE * 8 + TE_CIRCLE: return qd_te_identical_circles(a, b, tolerance, identical);
    case TE_CURVE * 8 + TE_LINE: return qd_te_identical_curve_line(a, b, tolerance, identical);
    case TE_CURVE * 8 + TE_CURVE: return qd_te_identical_curves(a, b, tolerance, identical);
    default: return 1;
    }
}

int qd_te_identical_nodes(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical) {
    if (!first || !second || !identical || first->chain_type != TE_NODE || second->chain_type != TE_NODE)
        return qd_te_missing("qd_te_identical_nodes");
    *identical = 0;
    if (!first->coords || !first->coords->tally || !second->coords || !second->coords->tally) return 1;
    const TeVertex& a = *static_cast<const TeVertex*>(first->coords->data);
    const TeVertex& b = *static_cast<const TeVertex*>(second->coords->data);
    const double t = tolerance ? *tolerance : std::fmax(a.tol, b.tol);
    const GeoCoord pa = coord_of(a), pb = coord_of(b);
    if (!qd_te_same_fuzzy_point(&pa, &pb, t)) return 1;
    *identical = 1;
    return a.tol < b.tol ? qd_te_duplicates_merge_chains(first, second)
                         : qd_te_duplicates_merge_chains(second, first);
}

int qd_te_identical_node_linear(TeChain* chain, TeChain* node, const double* tolerance,
                                int32_t* identical) {
    if (!chain || !node || !identical || node->chain_type != TE_NODE)
        return qd_te_missing("qd_te_identical_node_linear");
    *identical = 0;
    TeVertex* point = nullptr;
    int32_t skip = 0;
    if (!qd_te_form_node(node, &point, &skip)) return 0;
    if (skip || chain->discard != CHAIN_OK) return 1;
    switch (chain->chain_type) {
    case TE_CIRCLE: return 1;
    case TE_NODE: return chain == node ? 1 : qd_te_identical_nodes(node, chain, tolerance, identical);
    case TE_PATH:
    case TE_LINE:
    case TE_ARC:
    case TE_CURVE: break;
    default: return qd_te_missing("qd_te_identical_node_linear");
    }
    const double t = tolerance ? *tolerance : point->tol;
    if (!overlap(node->chain_mer, chain->chain_mer)) return 1;
    TeVertex *first, *last;
    if (!qd_te_form_start_end(chain, &first, &last, &skip)) return 0;
    if (skip) return 1;
    const GeoCoord p = coord_of(*point);
    for (const TeVertex* v = first; v <= last; ++v) {
        const GeoCoord q = coord_of(*v);
        if (qd_te_same_fuzzy_point(&q, &p, t)) {
            *identical = 1;
            return qd_te_duplicates_merge_chains(chain, node);
        }
    }
    return 1;
}

int qd_te_duplicates_merge_chains(TeChain* keep, TeChain* drop) {
    if (!keep || !drop) return qd_te_missing("qd_te_duplicates_merge_chains");
    if (keep->discard != CHAIN_OK || drop->discard != CHAIN_OK || keep == drop) return 1;
    if (drop->adjuster == 1 && keep->adjuster == 0) std::swap(keep, drop);
    if (!qd_te_duplicates_merge_parents(drop, keep)) return 0;
    keep->chain_lookup = std::min(keep->chain_lookup, drop->chain_lookup);
    keep->chain_lookup_max = std::max(keep->chain_lookup_max, drop->chain_lookup_max);
    keep->chain_pid = keep->chain_pid != 0 && drop->chain_pid != 0 ? std::max(keep->chain_pid, drop->chain_pid) : 0;
    drop->discard = CHAIN_DELETE;
    return 1;
}

int qd_te_duplicates_merge_parents(TeChain* donor, TeChain* survivor) {
    if (!donor || !survivor) return qd_te_missing("qd_te_duplicates_merge_parents");
    if (donor->discard != CHAIN_OK || survivor->discard != CHAIN_OK) return 1;
    if (!donor->right_parent && !donor->left_parent) return 1;
    bool opposite = false;
    const auto pointlike = [](const TeChain* c) { return c->chain_type == TE_NODE || c->chain_type == TE_CIRCLE; };
    if (!pointlike(donor) && !pointlike(survivor)) {
        TeVertex *ds, *de, *ss, *se;
        int32_t skip1 = 0, skip2 = 0;
        if (!qd_te_form_start_end(donor, &ds, &de, &skip1)) return 0;
        if (!skip1 && !qd_te_form_start_end(survivor, &ss, &se, &skip2)) return 0;
        if (skip1 || skip2) return 1;
        const GeoCoord a = coord_of(*ds), b = coord_of(*de), s = coord_of(*ss), e = coord_of(*se);
        opposite = qd_te_cogo_distance_2d(&s, &b) < qd_te_cogo_distance_2d(&s, &a);
        if (!opposite && qd_te_same_fuzzy_point(&a, &b, 1e-10) && qd_te_same_fuzzy_point(&s, &e, 1e-10))
            opposite = qd_te_geo_chain_clockwise(donor) != qd_te_geo_chain_clockwise(survivor);
    }
    nlst* to_right = opposite ? donor->left_parent : donor->right_parent;
    nlst* to_left = opposite ? donor->right_parent : donor->left_parent;
    if (to_right && to_right->tally && !qd_te_parents_append(&survivor->right_parent, to_right)) return 0;
    if (to_left && to_left->tally && !qd_te_parents_append(&survivor->left_parent, to_left)) return 0;
    return qd_te_parents_merge_duplicates(survivor->right_parent) &&
           qd_te_parents_merge_duplicates(survivor->left_parent);
}
