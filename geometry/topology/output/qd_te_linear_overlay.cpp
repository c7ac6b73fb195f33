// Linear overlay builds: chains kept by their position against the cutter
// regions (SPLIT, ERASE_IN, ERASE_OUT, DIFFERENCE), by the count of their
// parents (INTERSECT, SYMMETRIC_DIFFERENCE, RELATE, SHARED), by adjacency
// of features (ADJACENT) and as the boundaries of features (BOUNDARY).
#include <algorithm>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_overlay.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_linear_output.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_poly_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/output/qd_te_linear_util.h"

namespace tel = qd_te_linear_detail;

namespace {

struct Items {
    nlst* list = nullptr;
    ~Items() { qd_te_line_items_free(&list); }
};

struct IntList {
    nlst* list = nullptr;
    ~IntList() {
        if (list) nlst_free(list);
    }
};

// An overlay walk of a kind from a chain over the points of another (or
// its own, when on is null): the location code, 0 on failure. collect
// (may be null) receives the chain_pid of every containing region, pairs
// (may be null) the region chains met.
int overlay_walk(nlst* chains, TeChain* from, const TeChain* on, int32_t kind, int32_t same_parent,
                 int32_t midpoint, int32_t strict, nlst** collect, nlst** pairs) {
    TeOverlayQuery q;
    qd_te_overlay_query_init(&q, kind, from);
    nlst* points = nullptr;
    if (on && !qd_te_geo_get_coords_list(on, &points, 0)) return 0;
    q.points = points;
    q.same_parent = same_parent;
    q.midpoint = midpoint;
    q.strict = strict;
    q.collect = collect ? 1 : 0;
    q.collect_list = collect;
    nlst* found = nullptr;
    q.pairs = pairs ? 1 : 0;
    q.pairs_list = pairs ? &found : nullptr;
    int ok = qd_te_walk_chain_overlay_reg(&q, chains);
    if (points) nlst_free(points);
    for (uint32_t i = 0; ok && found && i < found->tally; ++i)
        ok = qd_te_append_item_to_list(pairs, &static_cast<const TeOverlayPair*>(found->data)[i].chain,
                                       sizeof(int32_t));
    if (found) nlst_free(found);
    return ok ? q.answer : 0;
}

void mark(TeChain* c) { c->poly_left = c->poly_right = 1; }

int32_t parent_count(const TeChain* c, int32_t* local) {
    nlst* parents = nullptr;
    int32_t n = -1;
    if (qd_te_collect_parents(c, &parents, 2, 1)) {
        n = parents ? int32_t(parents->tally) : 0;
        *local = 0;
        for (int32_t i = 0; i < n; ++i)
            if (qd_te_parent_has_flag(static_cast<const TeParent*>(parents->data) + i, TE_PARENT_L)) ++*local;
    }
    if (parents) nlst_free(parents);
    return n;
}

}  // namespace

int qd_te_cutter_l_ff(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_cutter_l_ff");
    const int32_t mode = rules->mode;
    if (mode != TE_SPLIT && mode != TE_ERASE_IN && mode != TE_ERASE_OUT && mode != TE_DIFFERENCE)
        return tel::mode_error(rules, -12);
    Items items;
    const int ok = tel::each_next_chain(chains, rules, [&](TeChain* c, int32_t position) {
        if (c->chain_lookup >= 0) return 1;
        if ((mode == TE_ERASE_IN || mode == TE_DIFFERENCE) && c->chain_lookup_max >= 0) return 1;
        int32_t local = 0;
        const int32_t n = parent_count(c, &local);
        if (n <= 0) return n == 0 ? 1 : 0;
        IntList cutters;
        const int32_t flags = c->chain_lookup_max >= 0 ? 1 : 0;
        const int where = overlay_walk(chains, c, nullptr, 2, flags, 1, 0, &cutters.list, nullptr);
        if (where == 0) return 0;
        const bool select = mode == TE_SPLIT || ((mode == TE_ERASE_IN || mode == TE_DIFFERENCE) && where == 12) ||
                            (mode == TE_ERASE_OUT && where != 12);
        if (!select) return 1;
        if (cutters.list) {
            int32_t* v = static_cast<int32_t*>(cutters.list->data);
            std::sort(v, v + cutters.list->tally);
            cutters.list->tally = uint32_t(std::unique(v, v + cutters.list->tally) - v);
        }
        int32_t added = 0;
        if (!qd_te_line_item_add(&items.list, c, position, &cutters.list, &added)) return 0;
        return added ? qd_te_parents_overlay_transfer(c, 2, 2, chains) : 1;
    });
    if (!ok) return 0;
    return qd_te_line_build_preserve(chains, rules, items.list);
}

int qd_te_intersect_l_ff(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_intersect_l_ff");
    const int32_t mode = rules->mode;
    if (mode != TE_INTERSECT && mode != TE_RELATE && mode != TE_SYMMETRIC_DIFFERENCE && mode != TE_SHARED)
        return tel::mode_error(rules, -12);
    const int32_t inputs = rules->statistics.tallies[3];
    Items items;
    const int ok = tel::each_next_chain(chains, rules, [&](TeChain* c, int32_t position) {
        int32_t local = 0;
        const int32_t n = parent_count(c, &local);
        if (n <= 0) return n == 0 ? 1 : 0;
        bool select = false;
        switch (mode) {
        case TE_INTERSECT: case TE_RELATE: select = n == inputs; break;
        case TE_SYMMETRIC_DIFFERENCE: select = local % 2 == 1; break;
        default: select = n > 1; break;
        }
        int32_t added = 0;
        return select ? qd_te_line_item_add(&items.list, c, position, nullptr, &added) : 1;
    });
    if (!ok) return 0;
    return qd_te_line_build_preserve(chains, rules, items.list);
}

int qd_te_linear_nested_regions(nlst* chains, nlst** nested) {
    if (!chains || !nested) return qd_te_missing("qd_te_linear_nested_regions");
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->chain_type != TE_REGION && c->chain_type != TE_ISLAND) continue;
        const int32_t status = c->discard;
        c->discard = CHAIN_OK;
        IntList pairs;
        const int where = overlay_walk(chains, c, nullptr, 0, 0, 0, 1, nullptr, &pairs.list);
        c->discard = status;
        if (where == 0) return 0;
        if (where != 13) continue;
        const int32_t row = int32_t(i);
        if (!qd_te_append_item_to_list(nested, &row, sizeof row)) return 0;
        for (uint32_t k = 0; pairs.list && k < pairs.list->tally; ++k)
            if (!qd_te_append_item_to_list(nested, static_cast<int32_t*>(pairs.list->data) + k, sizeof(int32_t)))
                return 0;
    }
    if (*nested) {
        int32_t* v = static_cast<int32_t*>((*nested)->data);
        std::sort(v, v + (*nested)->tally);
    }
    return 1;
}

int qd_te_adjacent_overlay_reg(nlst* chains, TeChain* chain, const nlst* nested, int32_t* adjacent) {
    if (!chain || !adjacent) return qd_te_missing("qd_te_adjacent_overlay_reg");
    *adjacent = 0;
    if (!chains || chains->tally < 2) return 1;
    *adjacent = 1;
    if (!nested || nested->tally == 0) return 1;
    IntList pairs;
    const int where = overlay_walk(chains, qd_te_chain_at(chains, 0), chain, 0, 1, 1, 1, nullptr, &pairs.list);
    if (where == 0) return 0;
    if (where != 12 && pairs.list && pairs.list->tally >= 2) {
        const int32_t* v = static_cast<const int32_t*>(nested->data);
        for (uint32_t k = 0; k < pairs.list->tally; ++k)
            if (std::binary_search(v, v + nested->tally, static_cast<const int32_t*>(pairs.list->data)[k])) {
                *adjacent = 0;
                break;
            }
    }
    return 1;
}

int qd_te_adjacent_l_ff(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_adjacent_l_ff");
    if (rules->mode != TE_ADJACENT) return tel::mode_error(rules, -12);
    IntList nested;
    if (!qd_te_linear_nested_regions(chains, &nested.list)) return 0;
    Items items;
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_OK || c->chain_type == TE_REGION || c->chain_type == TE_ISLAND) continue;
        mark(c);
        if (!tel::heartbeat(rules)) return 0;
        int32_t local = 0;
        const int32_t n = parent_count(c, &local);
        if (n < 0) return 0;
        if (n <= 1) continue;
        int32_t adjacent = 0;
        if (!qd_te_adjacent_overlay_reg(chains, c, nested.list, &adjacent)) return 0;
        if (!adjacent) continue;
        int32_t added = 0;
        if (c->chain_type == TE_NODE) {
            if (!qd_te_output_chain_node(c, rules)) return 0;
        } else if (!qd_te_line_item_add(&items.list, c, int32_t(i), nullptr, &added)) {
            return 0;
        }
    }
    return qd_te_line_build_preserve(chains, rules, items.list);
}

int qd_te_boundary_l_ff(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_boundary_l_ff");
    if (rules->mode != TE_BOUNDARY) return tel::mode_error(rules, -12);
    if (chains->tally < 2) return 1;
    // Positions 1..n only: the universal chain stays at 0. A stable sort on
    // (chain_pid, chain_type) keeps the input order within equal keys.
    TeChain* first = qd_te_chain_at(chains, 1);
    std::stable_sort(first, first + (chains->tally - 1), [](const TeChain& a, const TeChain& b) {
        if (a.chain_pid != b.chain_pid) return a.chain_pid < b.chain_pid;
        return a.chain_type < b.chain_type;
    });
    Items items;
    const uint32_t n = chains->tally;
    for (uint32_t i = 1; i < n; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_OK || c->chain_type == TE_REGION || c->chain_type == TE_ISLAND) continue;
        if (!tel::heartbeat(rules)) return 0;
        int32_t local = 0;
        const int32_t parents = parent_count(c, &local);
        if (parents < 0) return 0;
        if (parents != 1) continue;
        if (c->chain_type == TE_NODE) {
            if (!c->coords || c->coords->tally == 0) continue;
            const TeVertex* v = static_cast<const TeVertex*>(c->coords->data);
            const GeoCoord p{v->x, v->y, v->z};
            bool selected = true;
            for (uint32_t k = i + 1; k < n; ++k) {
                TeChain* o = qd_te_chain_at(chains, int32_t(k));
                if (o->chain_pid != c->chain_pid) break;
                if (o->discard != CHAIN_OK || !o->coords || o->coords->tally == 0) continue;
                const TeVertex* w = static_cast<const TeVertex*>(o->coords->data);
                const GeoCoord q{w->x, w->y, w->z};
                if (qd_te_same_fuzzy_point(&p, &q, 1e-10) == 1) {
                    o->discard = CHAIN_DELETE;
                    selected = !selected;
                }
            }
            if (!selected) continue;
        }
        int32_t added = 0;
        if (!qd_te_line_item_add(&items.list, c, int32_t(i), nullptr, &added)) return 0;
    }
    return qd_te_line_build_preserve(chains, rules, items.list);
}
