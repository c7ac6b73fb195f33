// Surface parents: a polygon's input features gathered from the parents of
// its boundary chains by collection type, overlay parents moved onto a
// cutter polygon's boundary, the DIFFERENCE topology rule and the removal
// of island holes that separate nothing (symmetric difference).
#include <vector>

#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/output/qd_te_poly_internal.h"

using te_poly::poly_side;
using te_poly::Steps;

namespace {

nlst*& side_list(TeChain* c, int32_t side) { return side ? c->left_parent : c->right_parent; }

}  // namespace

int qd_te_build_collect_parents(TePolygon* p, nlst* polygons, nlst* chains, nlst** parents, int32_t type) {
    const char* function = "qd_te_build_collect_parents";
    if (!p || !parents || !chains || chains->tally == 0) return qd_te_missing(function);
    (void)polygons;
    if (p->discard == 1) return 1;
    Steps steps;
    if (!steps.list) return qd_te_no_memory();
    if (!qd_te_poly_boundary(p, chains, steps.list, function)) return 0;
    te_poly::Parents owned;
    nlst*& work = owned.list;
    bool lookup_met = false, lookup_parents = false, regular_met = false;
    for (uint32_t i = 0; i < steps.size(); ++i) {
        TeChain* c = qd_te_chain_at(chains, steps[i].row);
        const int32_t side = poly_side(c, p);
        bool take = false;
        int32_t take_side = side;
        switch (type) {
        case 0: case 1:
            if (c->chain_lookup < 0) take = true;
            else {
                lookup_met = true;
                if (qd_te_parents_count(c, side) > 0) lookup_parents = true;
            }
            break;
        case 2: take = c->chain_lookup < 0; break;
        case 3: take = true; take_side = 2; break;
        case 4:
            if (c->poly_left != c->poly_right) {
                if (!regular_met && work) work->tally = 0;  // dangles give way to the first regular chain
                regular_met = true;
                take = true;
            } else take = !regular_met;
            break;
        default: return qd_te_missing(function);
        }
        if (take && !qd_te_collect_parents(c, &work, take_side, 0)) return 0;
    }
    if (work && work->tally) {
        if (!qd_te_parents_append(parents, work) || !qd_te_parents_merge_duplicates(*parents)) return 0;
    }
    if (*parents && ((type == 0 && lookup_met && lookup_parents) || (type == 1 && lookup_met && !lookup_parents)))
        (*parents)->tally = 0;
    return 1;
}

int qd_te_surface_collect_parents(TePolygon* p, nlst* polygons, nlst* chains, nlst** parents, int32_t type,
                                  TeRules* rules) {
    if (!p || !polygons || !chains || !parents || !rules) return qd_te_missing("qd_te_surface_collect_parents");
    if (p->discard == 1) return 1;
    if (!qd_te_build_collect_parents(p, polygons, chains, parents, type)) return 0;
    const int32_t n = int32_t(polygons->tally);
    int32_t guard = n;
    for (int32_t i = p->island_list; i > 0 && i < n && guard-- > 0; i = qd_te_poly_at(polygons, i)->island_list)
        if (!qd_te_build_collect_parents(qd_te_poly_at(polygons, i), polygons, chains, parents, type)) return 0;
    return 1;
}

int qd_te_surface_collect_cutter_edge(TePolygon* p, nlst* chains, int32_t type, int32_t transfer) {
    if (!p || !chains || chains->tally == 0) return qd_te_missing("qd_te_surface_collect_cutter_edge");
    if (p->discard == 1) return 1;
    if (type != 0 && type != 2 && type != 4) return 1;
    if (p->start_chain < 0 || uint32_t(p->start_chain) >= chains->tally)
        return qd_te_missing("qd_te_surface_collect_cutter_edge");
    TeChain* c = qd_te_chain_at(chains, p->start_chain);
    return qd_te_parents_overlay_transfer(c, transfer, poly_side(c, p), chains);
}

int qd_te_surface_clear_cutter_parents(TePolygon* p, nlst* chains) {
    if (!p || !chains) return qd_te_missing("qd_te_surface_clear_cutter_parents");
    if (p->discard == 1) return 1;
    Steps steps;
    if (!steps.list) return qd_te_no_memory();
    if (!qd_te_poly_boundary(p, chains, steps.list, "qd_te_surface_clear_cutter_parents")) return 0;
    bool kept = false;
    for (uint32_t i = 0; i < steps.size(); ++i) {
        TeChain* c = qd_te_chain_at(chains, steps[i].row);
        nlst*& list = side_list(c, poly_side(c, p));
        if (!list) continue;
        if (!kept) {
            kept = true;
            continue;
        }
        nlst_free(list);
        list = nullptr;
    }
    return 1;
}

int qd_te_surface_check_cutter_topology(TePolygon* p, nlst* chains, TeRules* rules) {
    if (!p || !chains || !rules) return qd_te_missing("qd_te_surface_check_cutter_topology");
    if (rules->mode != TE_DIFFERENCE) return 1;
    if (p->lookup_min >= 0) {
        p->discard = 1;
        return 1;
    }
    if (p->cutter == 1) return 1;
    Steps steps;
    if (!steps.list) return qd_te_no_memory();
    if (!qd_te_poly_boundary(p, chains, steps.list, "qd_te_surface_check_cutter_topology")) return 0;
    for (uint32_t i = 0; i < steps.size(); ++i) {
        const TeChain* c = qd_te_chain_at(chains, steps[i].row);
        if (c->chain_pid == 0 && c->chain_lookup < 0 && c->chain_lookup_max < 0) {
            p->status = 0;
            break;
        }
    }
    return 1;
}

int qd_te_poly_same_cutter_lists(const nlst* a, const nlst* b) {
    const bool ea = !a, eb = !b;
    if (ea && eb) return 1;
    if (ea || eb) return 0;
    if (a->tally != b->tally) return 0;
    const auto* x = static_cast<const int32_t*>(a->data);
    const auto* y = static_cast<const int32_t*>(b->data);
    for (uint32_t i = 0; i < a->tally; ++i)
        if (x[i] != y[i]) return 0;
    return 1;
}

int qd_te_surface_drop_island_hole(TePolygon* q, nlst* polygons, nlst* chains) {
    if (!q || !polygons || !chains || chains->tally == 0) return qd_te_missing("qd_te_surface_drop_island_hole");
    if (q->discard == 1) return 1;
    if (q->start_chain < 0 || uint32_t(q->start_chain) >= chains->tally)
        return qd_te_missing("qd_te_surface_drop_island_hole");
    const TeChain* s = qd_te_chain_at(chains, q->start_chain);
    const int32_t other = s->poly_right == q->id ? s->poly_left : s->poly_right;
    if (other < 0 || uint32_t(other) >= polygons->tally) return 1;
    Steps steps;
    if (!steps.list) return qd_te_no_memory();
    if (!qd_te_poly_boundary(q, chains, steps.list, "qd_te_surface_drop_island_hole")) return 0;
    for (uint32_t i = 0; i < steps.size(); ++i) {
        const TeChain* c = qd_te_chain_at(chains, steps[i].row);
        const int32_t far = c->poly_right == q->id ? c->poly_left : c->poly_right;
        if (far != other || qd_te_parents_count(c, 1) != qd_te_parents_count(c, 0)) return 1;
    }
    TePolygon* n = qd_te_poly_at(polygons, other);
    if (n->status == 1 && n->island_list == 0) {
        n->discard = 1;
        q->discard = 1;
    }
    return 1;
}

int qd_te_surface_filter_islands(nlst* polygons, nlst* chains, TeRules* rules) {
    if (!rules) return qd_te_missing("qd_te_surface_filter_islands");
    if (rules->mode != TE_SYMMETRIC_DIFFERENCE || !polygons || polygons->tally < 2 || !chains || chains->tally == 0)
        return 1;
    te_poly::Parents owned;
    nlst*& work = owned.list;
    const int32_t n = int32_t(polygons->tally);
    for (int32_t i = 1; i < n; ++i) {
        if (!qd_te_event_method(18, &rules->event_method)) return 0;
        TePolygon* p = qd_te_poly_at(polygons, i);
        if (p->discard == 1 || p->status != 1 || !(p->area > 0) || p->island_list == 0) continue;
        int32_t guard = n;
        for (int32_t k = p->island_list; k > 0 && k < n && guard-- > 0; k = qd_te_poly_at(polygons, k)->island_list) {
            TePolygon* island = qd_te_poly_at(polygons, k);
            if (!qd_te_build_collect_parents(island, polygons, chains, &work, 4)) return 0;
            if (work && work->tally > 0 && !qd_te_parents_sort_frequency(work)) return 0;
            if (work && work->tally == 1 && !qd_te_surface_drop_island_hole(island, polygons, chains)) return 0;
            if (work) work->tally = 0;
        }
    }
    return 1;
}
