// Polygon formation from the face walk's steps: the walked sides assigned,
// the clockwise ring with its rectangle and area, the parents a face takes
// from its chains, the overlay flags, dangles and spikes reported, and the
// node rule of the walk.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_geo_overlay.h"
#include "geometry/topology/qd_te_parents.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

constexpr int32_t kDropSpikes = TE_INCURSION;   // 20
constexpr int32_t kDropDangles = TE_EXCURSION;  // 21

bool drops_spikes(const TeRules* r) { return r->secondary == kDropSpikes || r->secondary == kDropDangles; }

// Owns a list for a scope.
struct List {
    nlst* list = nullptr;
    ~List() {
        if (list) nlst_free(list);
    }
    void reset() {
        if (list) nlst_free(list);
        list = nullptr;
    }
};

int reverse(nlst* list) {
    if (!list || list->tally < 2) return 1;
    auto* c = static_cast<GeoCoord*>(list->data);
    std::reverse(c, c + list->tally);
    return 1;
}

// The ring gathered so far gives up its last point (the shared node) and
// takes the chain's points.
int append_chain(nlst** ring, nlst* chain_points) {
    if (!chain_points || chain_points->tally == 0) return 1;
    if (!*ring) {
        if (!(*ring = ktgeo_coord_list_new(nullptr))) return qd_te_no_memory();
    } else if ((*ring)->tally > 0) {
        nlst_trunc(*ring, (*ring)->tally - 1);
    }
    return nlst_append(*ring, chain_points) ? 1 : qd_te_no_memory();
}

bool overlay_check_mode(int32_t mode) {
    switch (mode) {
    case TE_CONTIGUOUS: case TE_DISSOLVE: case TE_BUFFER: case TE_SURFACE_22: case TE_ALL_PRESERVE:
    case TE_BUFFER_ALL: case TE_BUFFER_OVERLAP: return true;
    default: return false;
    }
}

void push_hole(TePolygon* p, nlst* polygons) {
    TePolygon* zero = qd_te_poly_at(polygons, 0);
    p->hole_list = zero->hole_list;
    zero->hole_list = p->id;
}

// The cutter test: every cutter region holding the ring into round_cut,
// sorted without repeats; 13 makes the polygon a cutter.
int cutter_test(TePolygon* p, TeChain* largest, const nlst* ring, const nlst* chains, int32_t kind) {
    const int code = qd_te_walk_overlay_point(kind, largest, ring, chains, 0, 1, 0, nullptr, &p->round_cut, nullptr);
    if (code == 0) return 0;
    if (kind == 2 && code == TE_LOC_INSIDE) p->cutter = 1;
    int32_t count = 0;
    return qd_te_poly_count_cutter(p->round_cut, &count, 1);
}

}  // namespace

int qd_te_output_eafs(const GeoCoord* first, TeRules* rules, const GeoCoord* last) {
    if (!rules) return qd_te_missing("qd_te_output_eafs");
    if (rules->output_dim == TE_DIM_LINEAR || rules->secondary == TE_DISCARD || rules->secondary == kDropDangles)
        return 1;
    if (!first || !last) return qd_te_missing("qd_te_output_eafs");
    const bool two = !qd_te_same_fuzzy_point(first, last, 1e-10);
    for (const GeoCoord* at : {first, last}) {
        SpatialObject point;
        qd_te_so_reset(&point, rules->output_csid);
        int ok = ktgeo_util_add_new_point(&point, at, nullptr);
        if (ok) {
            ++rules->statistics.tallies[2];
            ok = qd_te_eafs_method(&point, &rules->eafs_method) ? 1 : 0;
        }
        ktgeo_so_release(&point);
        if (!ok) return 0;
        if (!two) break;
    }
    return 1;
}

int qd_te_get_poly(TePolygon* p, nlst* polygons, nlst* chains, TeRules* rules) {
    if (!p || !rules || !polygons || polygons->tally == 0 || !chains || chains->tally == 0)
        return qd_te_missing("qd_te_get_poly");
    TeWalkStep step{};
    int32_t start_value = 0;
    if (!qd_te_poly_start_step(p, chains, &step, &start_value)) return qd_te_missing("qd_te_get_poly");
    const int32_t mode = rules->mode;
    const bool outside_test = overlay_check_mode(mode);
    p->area = 0;
    List ring, first, points, parents;
    int32_t largest = 0, candidate = -1, outside_code = 0;
    const int32_t start_side = step.side;
    bool started = false;
    // Links that never come back fail once every side could have been met.
    for (uint32_t guard = 0;; ++guard) {
        if (guard > 2 * chains->tally) return qd_te_missing("qd_te_get_poly");
        TeChain* c = step.chain;
        largest = std::max(largest, c->chain_id);
        const int32_t parent_side = p->id != c->poly_right ? 1 : 0;
        points.reset();
        if (!qd_te_geo_get_coords_list(c, &points.list, 1)) return 0;
        if (!started) {
            first.list = points.list;
            points.list = nullptr;
            started = true;
        } else {
            if (step.side == 1) reverse(points.list);
            if (!append_chain(&ring.list, points.list)) return 0;
        }
        if ((mode == TE_JOIN || mode == TE_INTERSECT || mode == TE_DIFFERENCE) && c->chain_pid == 0 &&
            c->chain_lookup < 0)
            p->target = 1;
        p->lookup_min = std::min(p->lookup_min, c->chain_lookup);
        if (!(p->spike && c->poly_left == c->poly_right)) {
            if (qd_te_parents_count(c, parent_side) == 0) {
                if (outside_test && outside_code != TE_LOC_INSIDE) {
                    TeOverlayQuery q;
                    qd_te_overlay_query_init(&q, 0, c);
                    q.no_closure = p->count > 1 ? 1 : 0;
                    if (!qd_te_walk_chain_overlay_reg(&q, chains)) return 0;
                    outside_code = q.answer;
                }
            } else {
                if (!qd_te_collect_parents(c, &parents.list, parent_side, 1)) return 0;
                if (c->chain_lookup >= 0 && c->chain_lookup >= candidate) candidate = c->chain_lookup;
            }
        }
        TeWalkStep next{};
        int32_t closed = 0;
        if (!qd_te_walk_chain(chains, &step, start_value, &next, &closed)) return 0;
        if (closed) break;
        step = next;
    }
    if (start_side == 1) reverse(first.list);
    if (!append_chain(&ring.list, first.list)) return 0;
    if (ring.list && ring.list->tally > 0) {
        qd_te_adjust_coord_info(p, ring.list);
        p->n_coords = int32_t(ring.list->tally);
        qd_te_poly_ring_area(ring.list, &p->area);
    }
    if (parents.list && p->area > 1e-10 && !qd_te_parents_keep_flagged(parents.list, TE_PARENT_P)) return 0;
    p->n_parents = parents.list ? int32_t(parents.list->tally) : 0;
    TeChain* big = qd_te_chain_at(chains, largest);
    if (mode == TE_BUFFER_SPLIT && p->area > 0) {
        const double tolerance = std::max(rules->tolerance.bend_filter, rules->tolerance.distance_filter);
        const int code = qd_te_walk_overlay_point(0, big, ring.list, chains, 0, 0, 0, &tolerance, nullptr, nullptr);
        if (code == 0) return 0;
        if (code != TE_LOC_OUTSIDE || (p->n_parents == 0 && rules->statistics.input_counters.count[2] > 0)) {
            push_hole(p, polygons);
            if (!qd_te_walk_overlay_cutter_buffer(p, chains)) return 0;
        }
    } else if (p->area > 0 && p->n_parents == 0 && outside_code == TE_LOC_OUTSIDE && outside_test) {
        push_hole(p, polygons);
    }
    if (p->discard == 1) return 1;
    if (candidate >= 0 && p->n_parents > 0) p->lookup_max = std::max(candidate, p->lookup_min);
    if (p->area <= 0 && p->status != 0) return 1;
    switch (mode) {
    case TE_SPLIT: case TE_ERASE_IN: case TE_ERASE_OUT: case TE_DIFFERENCE:
        if (p->target != 1) {
            const int code = qd_te_walk_overlay_point(1, big, ring.list, chains, 0, 0, 0, nullptr, nullptr, nullptr);
            if (code == 0) return 0;
            if (code == TE_LOC_INSIDE) p->target = 1;
        }
        if (p->target != 1) return 1;
        return cutter_test(p, big, ring.list, chains, 2);
    case TE_JOIN: return cutter_test(p, big, ring.list, chains, 2);
    case TE_BREAK: return cutter_test(p, big, ring.list, chains, 0);
    default: return 1;
    }
}

int qd_te_form_poly(nlst* chains, nlst** polygons, nlst** negatives, nlst* steps, TeRules* rules, int32_t spike) {
    if (!rules || !polygons || !*polygons || !negatives || !steps || steps->tally == 0 || !chains)
        return qd_te_missing("qd_te_form_poly");
    TePolygon p;
    qd_te_poly_init(*polygons, &p);
    p.spike = spike;
    p.count = int32_t(steps->tally);
    const auto* s = static_cast<const TeWalkStep*>(steps->data);
    const bool remember = steps->tally >= 2 && spike == 0;
    std::vector<int32_t> met;
    p.start_chain = INT32_MAX;
    for (uint32_t i = 0; i < steps->tally; ++i) {
        TeChain* c = s[i].chain;
        if (!c || c->discard != CHAIN_OK) return qd_te_missing("qd_te_form_poly");
        if (remember) met.push_back(c->chain_id);
        p.start_chain = std::min(p.start_chain, c->chain_id);
        (s[i].side == 1 ? c->poly_left : c->poly_right) = p.id;
    }
    if (steps->tally == 1) {
        TeChain* c = s[0].chain;
        const uint32_t n = c->coords ? c->coords->tally : 0;
        const auto* v = n ? static_cast<const TeVertex*>(c->coords->data) : nullptr;
        const GeoCoord a = v ? GeoCoord{v[0].x, v[0].y, v[0].z} : GeoCoord{};
        const GeoCoord b = v ? GeoCoord{v[n - 1].x, v[n - 1].y, v[n - 1].z} : GeoCoord{};
        if (!v || !qd_te_same_fuzzy_point(&a, &b, 1e-10)) {
            p.status = 0;
            if (!drops_spikes(rules) && !qd_te_output_eafs(v ? &a : nullptr, rules, v ? &b : nullptr)) return 0;
        }
    } else if (remember) {
        std::sort(met.begin(), met.end());
        for (size_t i = 1; i < met.size(); ++i) {
            if (met[i] != met[i - 1]) continue;
            if (!drops_spikes(rules)) {
                TeVertex *first = nullptr, *last = nullptr;
                int32_t skip = 0;
                if (!qd_te_form_start_end(qd_te_chain_at(chains, met[i]), &first, &last, &skip)) return 0;
                if (!skip && first && last) {
                    const GeoCoord a{first->x, first->y, first->z}, b{last->x, last->y, last->z};
                    if (!qd_te_output_eafs(&a, rules, &b)) return 0;
                }
            }
            p.status = 0;
            --p.count;
        }
    }
    if (!qd_te_get_poly(&p, *polygons, chains, rules)) {
        if (p.round_cut) nlst_free(p.round_cut);
        return 0;
    }
    if (p.status != 1 && rules->secondary == kDropDangles) p.discard = rules->output_dim == TE_DIM_LINEAR ? 0 : 1;
    if (!qd_te_append_item_to_list(polygons, &p, sizeof p)) {
        if (p.round_cut) nlst_free(p.round_cut);
        return qd_te_no_memory();
    }
    if (p.discard != 1 && p.area <= 0 && !qd_te_append_item_to_list(negatives, &p.id, sizeof p.id))
        return qd_te_no_memory();
    return 1;
}

int qd_te_remove_spikes(nlst* chains, nlst** polygons, nlst** negatives, nlst* steps, TeRules* rules) {
    if (!rules || !polygons || !steps || steps->tally == 0 || !chains || chains->tally == 0)
        return qd_te_missing("qd_te_remove_spikes");
    if (rules->output_dim == TE_DIM_LINEAR || steps->tally < 2)
        return qd_te_form_poly(chains, polygons, negatives, steps, rules, 0);
    const auto* s = static_cast<const TeWalkStep*>(steps->data);
    const size_t n = chains->tally;
    std::vector<char> single(n, 0), twice(n, 0);
    int32_t spike = 0, singles = 0, doubles = 0;
    for (uint32_t i = 0; i < steps->tally; ++i) {
        const TeChain* c = s[i].chain;
        if (!c || c->discard != CHAIN_OK || c->chain_id < 0 || size_t(c->chain_id) >= n)
            return qd_te_missing("qd_te_remove_spikes");
        const size_t k = size_t(c->chain_id);
        if (!single[k]) {
            single[k] = 1;
            ++singles;
        } else if (!twice[k]) {
            twice[k] = 1;
            ++doubles;
            spike = 1;
        }
    }
    if (spike) {
        std::vector<int32_t> run;
        for (uint32_t i = 0; i < steps->tally; ++i) {
            const int32_t id = s[i].chain->chain_id;
            if (!twice[size_t(id)]) continue;
            if (!run.empty() && run.back() == id) run.pop_back();
            else run.push_back(id);
        }
        if (!run.empty() && !qd_te_error_method(-45, &rules->error_method)) return 0;
        if (doubles == singles) spike = 0;
    }
    return qd_te_form_poly(chains, polygons, negatives, steps, rules, spike);
}

int qd_te_generate_poly(TeRules* rules, nlst** negatives, nlst* steps, nlst* chains, nlst** polygons) {
    if (!rules || !steps || steps->tally == 0) return qd_te_missing("qd_te_generate_poly");
    if (drops_spikes(rules)) return qd_te_remove_spikes(chains, polygons, negatives, steps, rules);
    return qd_te_form_poly(chains, polygons, negatives, steps, rules, 0);
}

int qd_te_walk_nodes(TeChain* node, nlst* chains, TeRules* rules) {
    if (!node || !chains || !rules) return qd_te_missing("qd_te_walk_nodes");
    if (node->chain_type != TE_NODE || node->discard != CHAIN_OK) return 1;
    bool out = false;
    switch (rules->mode) {
    case TE_SPLIT:
    case TE_ERASE_OUT:
        if (node->chain_lookup < 0) {
            List pairs;
            TeOverlayQuery q;
            qd_te_overlay_query_init(&q, 2, node);
            q.same_parent = 1;
            q.pairs = 1;
            q.pairs_list = &pairs.list;
            if (!qd_te_walk_chain_overlay_reg(&q, chains)) return 0;
            const uint32_t found = pairs.list ? pairs.list->tally : 0;
            for (uint32_t i = 0; i < found; ++i) {
                const auto* pair = static_cast<const TeOverlayPair*>(nlst_index(pairs.list, i));
                if (!qd_te_parents_collect_transfer(node, pair->chain, 2, chains)) return 0;
            }
            out = found > 0 || rules->mode == TE_SPLIT;
        }
        break;
    case TE_DISSOLVE: {
        const int code = qd_te_walk_overlay_point(0, node, nullptr, chains, 0, 0, 0, nullptr, nullptr, nullptr);
        if (code == 0) return 0;
        out = code == TE_LOC_OUTSIDE;
        break;
    }
    case TE_ERASE_IN:
    case TE_DIFFERENCE:
        if (node->chain_lookup_max < 0) {
            const int code = qd_te_walk_overlay_point(2, node, nullptr, chains, 0, 0, 0, nullptr, nullptr, nullptr);
            if (code == 0) return 0;
            out = code == TE_LOC_OUTSIDE;
        }
        break;
    case TE_SYMMETRIC_DIFFERENCE: out = qd_te_parents_count(node, 2) % 2 == 1; break;
    case TE_SURFACE_22:
    case TE_BUFFER_ALL: return 1;
    default: out = true; break;
    }
    if (out && !qd_te_output_chain_node(node, rules)) return 0;
    node->discard = CHAIN_DELETE;
    return 1;
}
