// The intersection walk of the pipeline and its dispatch from a pair of
// chain kinds to the pairwise intersection and projection routines; the
// step that turns their items into split nodes, has each chain cut and
// puts the pieces into the chain list in place of the two chains.
#include <algorithm>

#include "geometry/topology/fuzzy_int/qd_te_fuzzy_internal.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_duplicates.h"

using namespace te_fuzzy;

TeDispatchSpy qd_te_dispatch_spy = {nullptr, nullptr};

namespace {

using PairRoutine = int (*)(TeChain*, TeChain*, TeIntersectionList*, int32_t*);

int node_on_node(TeChain* first, TeChain* second, TeIntersectionList*, int32_t* status) {
    return qd_te_fuzzy_proj_node_on_node(first, status, second);
}

// One cell of a dispatch table: the routine, its name, the swap flag (1
// when the walking chain is the routine's second operand) and whether a
// chain paired with itself is passed over.
struct Cell {
    PairRoutine routine;  // null: nothing to do
    const char* name;
    int32_t swap;
    bool same;
};

#define TE_CELL(fn, swap) {fn, #fn, swap, false}
#define TE_SAME(fn) {fn, #fn, 0, true}
constexpr Cell kNone = {nullptr, nullptr, 0, false};

// Rows by the walking chain's kind, columns by the other's: PATH, LINE,
// ARC, CIRCLE, CURVE, NODE.
const Cell kIntersect[5][6] = {
    {TE_SAME(qd_te_fuzzy_int_path_path), TE_CELL(qd_te_fuzzy_int_vect_path, 1),
     TE_CELL(qd_te_fuzzy_int_path_arc, 0), TE_CELL(qd_te_fuzzy_int_path_circle, 0),
     TE_CELL(qd_te_fuzzy_int_curve_path, 1), kNone},
    {TE_CELL(qd_te_fuzzy_int_vect_path, 0), TE_SAME(qd_te_fuzzy_int_vect_vect),
     TE_CELL(qd_te_fuzzy_int_vect_arc, 0), TE_CELL(qd_te_fuzzy_int_vect_circle, 0),
     TE_CELL(qd_te_fuzzy_int_curve_vect, 1), kNone},
    {TE_CELL(qd_te_fuzzy_int_path_arc, 1), TE_CELL(qd_te_fuzzy_int_vect_arc, 1),
     TE_SAME(qd_te_fuzzy_int_arc_arc), TE_CELL(qd_te_fuzzy_int_cir_arc, 1),
     TE_CELL(qd_te_fuzzy_int_curve_arc, 1), kNone},
    {TE_CELL(qd_te_fuzzy_int_path_circle, 1), TE_CELL(qd_te_fuzzy_int_vect_circle, 1),
     TE_CELL(qd_te_fuzzy_int_cir_arc, 0), TE_SAME(qd_te_fuzzy_int_cir_cir),
     TE_CELL(qd_te_fuzzy_int_curve_circle, 1), kNone},
    {TE_CELL(qd_te_fuzzy_int_curve_path, 0), TE_CELL(qd_te_fuzzy_int_curve_vect, 0),
     TE_CELL(qd_te_fuzzy_int_curve_arc, 0), TE_CELL(qd_te_fuzzy_int_curve_circle, 0),
     TE_SAME(qd_te_fuzzy_int_curve_curve), kNone},
};

const Cell kProject[6][6] = {
    {TE_SAME(qd_te_fuzzy_proj_path_on_path), TE_CELL(qd_te_fuzzy_proj_path_on_line, 0),
     TE_CELL(qd_te_fuzzy_proj_path_on_arc, 0), TE_CELL(qd_te_fuzzy_proj_path_on_circle, 0),
     TE_CELL(qd_te_fuzzy_proj_path_on_curve, 0), TE_CELL(qd_te_fuzzy_proj_node_on_path, 1)},
    {TE_CELL(qd_te_fuzzy_proj_path_on_line, 1), TE_SAME(qd_te_fuzzy_proj_line_on_line),
     TE_CELL(qd_te_fuzzy_proj_line_on_arc, 0), TE_CELL(qd_te_fuzzy_proj_line_on_circle, 0),
     TE_CELL(qd_te_fuzzy_proj_line_on_curve, 0), TE_CELL(qd_te_fuzzy_proj_node_on_line, 1)},
    {TE_CELL(qd_te_fuzzy_proj_path_on_arc, 1), TE_CELL(qd_te_fuzzy_proj_line_on_arc, 1),
     TE_SAME(qd_te_fuzzy_proj_arc_on_arc), TE_CELL(qd_te_fuzzy_proj_arc_on_circle, 0),
     TE_CELL(qd_te_fuzzy_proj_arc_on_curve, 0), TE_CELL(qd_te_fuzzy_proj_node_on_arc, 1)},
    {TE_CELL(qd_te_fuzzy_proj_path_on_circle, 1), TE_CELL(qd_te_fuzzy_proj_line_on_circle, 1),
     TE_CELL(qd_te_fuzzy_proj_arc_on_circle, 1), TE_SAME(qd_te_fuzzy_proj_circle_on_circle),
     TE_CELL(qd_te_fuzzy_proj_circle_on_curve, 0), TE_CELL(qd_te_fuzzy_proj_node_on_circle, 1)},
    {TE_CELL(qd_te_fuzzy_proj_path_on_curve, 1), TE_CELL(qd_te_fuzzy_proj_line_on_curve, 1),
     TE_CELL(qd_te_fuzzy_proj_arc_on_curve, 1), TE_CELL(qd_te_fuzzy_proj_circle_on_curve, 1),
     TE_SAME(qd_te_fuzzy_proj_curve_on_curve), TE_CELL(qd_te_fuzzy_proj_node_on_curve, 1)},
    {TE_CELL(qd_te_fuzzy_proj_node_on_path, 0), TE_CELL(qd_te_fuzzy_proj_node_on_line, 0),
     TE_CELL(qd_te_fuzzy_proj_node_on_arc, 0), TE_CELL(qd_te_fuzzy_proj_node_on_circle, 0),
     TE_CELL(qd_te_fuzzy_proj_node_on_curve, 0), {node_on_node, "qd_te_fuzzy_proj_node_on_node", 0, true}},
};

#undef TE_CELL
#undef TE_SAME

// A per-kind dispatcher: the cell for r's kind, the routine with the
// operands in its own order, then the split step on status 1.
int dispatch(const char* name, const Cell* row, TeChain* c, TeChain* r, nlst* chains, double tolerance,
             int32_t mode, int32_t* found) {
    if (!c || !r || !chains || !found || r->chain_type < TE_PATH || r->chain_type > TE_NODE)
        return qd_te_missing(name);
    *found = 0;
    const Cell& cell = row[r->chain_type - TE_PATH];
    if (!cell.routine || (cell.same && c == r)) return 1;
    TeChain* first = cell.swap ? r : c;
    TeChain* second = cell.swap ? c : r;
    TeIntersectionList items = {0, 0, nullptr};
    int32_t status = 0;
    int ok = cell.routine(first, second, &items, &status);
    if (ok && status == -3) ok = 0;
    if (ok && status == 1) {
        const bool go = !qd_te_dispatch_spy.function ||
                        qd_te_dispatch_spy.function(cell.name, &items, cell.swap, mode, qd_te_dispatch_spy.user);
        if (go) ok = qd_te_intersect_process(c, r, chains, &items, tolerance, cell.swap, mode, found);
    }
    list_clear(&items);
    return ok;
}

bool rects_overlap(const TeChain& a, const TeChain& b) {
    return a.chain_mer[0].x <= b.chain_mer[1].x && a.chain_mer[1].x >= b.chain_mer[0].x &&
           a.chain_mer[0].y <= b.chain_mer[1].y && a.chain_mer[1].y >= b.chain_mer[0].y;
}

int32_t row_of(const nlst* chains, const TeChain* c) {
    const TeChain* base = qd_te_chain_at(chains, 0);
    if (c < base || c >= base + chains->tally) return -1;
    return int32_t(c - base);
}

}  // namespace

#define TE_DISPATCHER(name, table, row, mode)                                                       \
    int name(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found) {             \
        return dispatch(#name, table[row], c, r, chains, tolerance, mode, found);                   \
    }
TE_DISPATCHER(qd_te_fuzzy_int_path_any, kIntersect, 0, 1)
TE_DISPATCHER(qd_te_fuzzy_int_line_any, kIntersect, 1, 1)
TE_DISPATCHER(qd_te_fuzzy_int_arc_any, kIntersect, 2, 1)
TE_DISPATCHER(qd_te_fuzzy_int_circle_any, kIntersect, 3, 1)
TE_DISPATCHER(qd_te_fuzzy_int_curve_any, kIntersect, 4, 1)
TE_DISPATCHER(qd_te_fuzzy_proj_path_any, kProject, 0, 0)
TE_DISPATCHER(qd_te_fuzzy_proj_line_any, kProject, 1, 0)
TE_DISPATCHER(qd_te_fuzzy_proj_arc_any, kProject, 2, 0)
TE_DISPATCHER(qd_te_fuzzy_proj_circle_any, kProject, 3, 0)
TE_DISPATCHER(qd_te_fuzzy_proj_curve_any, kProject, 4, 0)
TE_DISPATCHER(qd_te_fuzzy_proj_node_any, kProject, 5, 0)
#undef TE_DISPATCHER

int qd_te_fuzzy_int_prim(int32_t* found, nlst* chains, TeChain* r, TeChain* c, double tolerance) {
    if (!found || !chains || !r || !c || c->chain_type > TE_NODE) return qd_te_missing("qd_te_fuzzy_int_prim");
    *found = 0;
    switch (c->chain_type) {
    case TE_PATH: return qd_te_fuzzy_int_path_any(c, r, chains, tolerance, found);
    case TE_LINE: return qd_te_fuzzy_int_line_any(c, r, chains, tolerance, found);
    case TE_ARC: return qd_te_fuzzy_int_arc_any(c, r, chains, tolerance, found);
    case TE_CIRCLE: return qd_te_fuzzy_int_circle_any(c, r, chains, tolerance, found);
    case TE_CURVE: return qd_te_fuzzy_int_curve_any(c, r, chains, tolerance, found);
    default: return 1;
    }
}

int qd_te_fuzzy_proj_prim(TeChain* c, TeChain* r, int32_t* found, nlst* chains, double tolerance) {
    if (!found || !chains || !r || !c || c->chain_type > TE_NODE) return qd_te_missing("qd_te_fuzzy_proj_prim");
    *found = 0;
    switch (c->chain_type) {
    case TE_PATH: return qd_te_fuzzy_proj_path_any(c, r, chains, tolerance, found);
    case TE_LINE: return qd_te_fuzzy_proj_line_any(c, r, chains, tolerance, found);
    case TE_ARC: return qd_te_fuzzy_proj_arc_any(c, r, chains, tolerance, found);
    case TE_CIRCLE: return qd_te_fuzzy_proj_circle_any(c, r, chains, tolerance, found);
    case TE_CURVE: return qd_te_fuzzy_proj_curve_any(c, r, chains, tolerance, found);
    case TE_NODE: return qd_te_fuzzy_proj_node_any(c, r, chains, tolerance, found);
    default: return 1;
    }
}

int qd_te_intersect_chains(nlst* chains, int32_t row, int32_t projection, int32_t intersection,
                           double tolerance) {
    if (!chains) return qd_te_missing("qd_te_intersect_chains");
    if (chains->tally <= 1) return 1;
    if (row < 0 || uint32_t(row) >= chains->tally) return 0;
    TeChain* c = qd_te_chain_at(chains, row);
    if (is_ring(c->chain_type)) return 1;
    if (!qd_te_cluster_clean_points(c, 0, tolerance)) return 0;
    int32_t cursor = row;
    for (;;) {
        TeChain* r = nullptr;
        if (!qd_te_link_get_next_chain(chains, &cursor, &r)) return 0;
        c = qd_te_chain_at(chains, row);
        if (c->discard != CHAIN_OK || !r) return 1;
        if (r->discard != CHAIN_OK) continue;
        // The order by minimum x may have gone stale by the moves of
        // clustering: stop only beyond that margin.
        if (r->chain_mer[0].x > c->chain_mer[1].x + qd_te_order_margin) return 1;
        if (is_ring(r->chain_type) || !rects_overlap(*c, *r)) continue;
        bool failed = false;
        int32_t duplicate = 0;
        if (!qd_te_duplicates_prim(c, r, nullptr, &duplicate)) failed = true;
        if (!failed && duplicate != 1) {
            int32_t found = 0;
            if (intersection == 1 && !qd_te_fuzzy_int_prim(&found, chains, r, c, tolerance)) failed = true;
            if (!failed && found != 1 && projection == 1) {
                // Fetch both again: the intersection may have moved the list.
                c = qd_te_chain_at(chains, row);
                r = qd_te_chain_at(chains, cursor);
                if (!qd_te_fuzzy_proj_prim(c, r, &found, chains, tolerance)) failed = true;
            }
        }
        if (uint32_t(row) >= chains->tally) return 0;
        if (failed) return 0;
    }
}

// ---- Split nodes and replacement --------------------------------------------

int qd_te_intersect_check_tol(TeChain* chain, int32_t side, double tolerance, int32_t mode,
                              const TeIntersection* item, TeSplitNode* node) {
    if (!chain || !item || !node) return qd_te_missing("qd_te_intersect_check_tol");
    *node = TeSplitNode{};
    if (side == 1) {
        node->vertex = item->index_a;
        node->offset = item->offset_a;
    } else if (side == 2) {
        node->vertex = item->index_b;
        node->offset = item->offset_b;
    } else {
        return qd_te_missing("qd_te_intersect_check_tol");
    }
    if (node->vertex < 0) {
        node->vertex = -1;
        return 1;
    }
    const uint32_t n = vertex_count(chain);
    if (uint32_t(node->vertex) >= n) return 0;
    const double t = std::max(tolerance, 1e-8);
    const int32_t type = chain->chain_type;
    if (type == TE_NODE) return 1;
    if (type == TE_CIRCLE) {
        if (n != 1) {
            chain->discard = CHAIN_INVALID;
            node->vertex = -1;
        }
        node->offset = 0.0;
        node->tol = std::max(vertices(chain)[0].tol, 0.0);
        node->point = item->point;
        return 1;
    }
    TeVertex *first, *last;
    int32_t skip = 0;
    if (!qd_te_form_start_end(chain, &first, &last, &skip)) return 0;
    if (skip) {
        node->vertex = -1;
        return 1;
    }
    const bool end_chain = type == TE_LINE || type == TE_ARC;
    const int32_t k = node->vertex;
    const bool test_first = end_chain || k == 0;
    const bool test_last = end_chain || uint32_t(k) == n - 1;
    const double first_tol = mode == 1 ? t : first->tol;
    const double last_tol = mode == 1 ? t : last->tol;
    if ((test_first && qd_te_same_fuzzy_point(&item->point, as_coord(first), first_tol)) ||
        (test_last && qd_te_same_fuzzy_point(&item->point, as_coord(last), last_tol))) {
        node->vertex = -1;
        return 1;
    }
    TeVertex& v = vertices(chain)[k];
    // An item exactly at a vertex moves the vertex onto it (keeping the
    // vertex's tolerance); an arc's vertices are never moved here: its
    // first vertex is no place of the cut.
    if (type != TE_ARC && node->offset == 0.0) {
        v.x = item->point.x;
        v.y = item->point.y;
        v.z = item->point.z;
    }
    node->offset = qd_te_cogo_distance_2d(&item->point, as_coord(&v));
    if (end_chain) node->tol = mode == 1 ? std::max({first->tol, last->tol, 0.0}) : 0.0;
    else node->tol = mode == 1 ? 0.0 : std::max(v.tol, 0.0);
    node->point = item->point;
    return 1;
}

int qd_te_intersect_check_intr(TeChain* chain, const TeIntersectionList* items, int32_t side,
                               nlst** nodes, double tolerance, int32_t mode) {
    if (!chain || !nodes) return qd_te_missing("qd_te_intersect_check_intr");
    *nodes = nullptr;
    if (vertex_count(chain) == 0) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    if (!items || items->count <= 0 || !items->items) return 1;
    const uint32_t room = uint32_t(items->count) * (side == 0 ? 2u : 1u);
    nlst* list = nlst_alloc(sizeof(TeSplitNode), room, 2, nullptr);
    if (!list) return qd_te_no_memory();
    for (int32_t i = 0; i < items->count; ++i) {
        for (int32_t s : {side == 0 ? 1 : side, side == 0 ? 2 : 0}) {
            if (s == 0) continue;
            TeSplitNode node;
            if (!qd_te_intersect_check_tol(chain, s, tolerance, mode, &items->items[i], &node)) {
                nlst_free(list);
                return 0;
            }
            if (node.vertex >= 0 && !nlst_add(list, &node)) {
                nlst_free(list);
                return qd_te_no_memory();
            }
        }
    }
    *nodes = list;
    return 1;
}

int qd_te_intersect_chains_at_points(TeIntersectionList* items, nlst** pieces, double tolerance,
                                     int32_t mode, int32_t side, TeChain* chain) {
    if (!chain) return qd_te_missing("qd_te_intersect_chains_at_points");
    if (vertex_count(chain) == 0) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    nlst* nodes = nullptr;
    if (!qd_te_intersect_check_intr(chain, items, side, &nodes, tolerance, mode)) return 0;
    if (!nodes) return 1;
    int ok = 1;
    if (nodes->tally >= 1 && side != 0) ok = qd_te_split_chains(chain, nodes, pieces, tolerance);
    nlst_free(nodes);
    return ok;
}

int qd_te_intersect_identify_split_chain(TeChain* chain, const nlst* pieces) {
    if (!chain) return qd_te_missing("qd_te_intersect_identify_split_chain");
    if (chain->discard != CHAIN_OK) {
        qd_te_geo_chain_release(chain);
        return 1;
    }
    if (!pieces) return 1;
    for (uint32_t i = 0; i < pieces->tally; ++i) {
        const TeChain* p = qd_te_chain_at(pieces, int32_t(i));
        if (p->discard == CHAIN_OK && p->chain_id == chain->chain_id) {
            chain->discard = CHAIN_DELETE;
            break;
        }
    }
    return 1;
}

int qd_te_intersect_replace_chains(TeChain* c1, TeChain* c2, nlst* pieces, nlst* chains,
                                   double tolerance, int32_t* found) {
    if (found) *found = 0;
    if (!c1 || !c2 || !chains || !found) return qd_te_missing("qd_te_intersect_replace_chains");
    if (!pieces || pieces->tally == 0) return 1;
    const int32_t row1 = row_of(chains, c1), row2 = row_of(chains, c2);
    if (row1 < 0 || row2 < 0) return 0;
    if (!qd_te_intersect_identify_split_chain(c1, pieces) ||
        !qd_te_intersect_identify_split_chain(c2, pieces))
        return 0;
    return qd_te_split_chain_by_list(row1, pieces, chains, tolerance, found);
}

int qd_te_intersect_process(TeChain* c1, TeChain* c2, nlst* chains, TeIntersectionList* items,
                            double tolerance, int32_t swap, int32_t mode, int32_t* found) {
    if (!c1 || !c2 || !chains || !items || !found || c1 == c2)
        return qd_te_missing("qd_te_intersect_process");
    *found = 0;
    nlst* pieces = nullptr;
    int ok = qd_te_intersect_chains_at_points(items, &pieces, tolerance, mode, swap == 1 ? 2 : 1, c1) &&
             qd_te_intersect_chains_at_points(items, &pieces, tolerance, mode, swap == 1 ? 1 : 2, c2) &&
             qd_te_intersect_replace_chains(c1, c2, pieces, chains, tolerance, found);
    if (pieces) {
        qd_te_geo_free_chain_list(pieces, 0);
        nlst_free(pieces);
    }
    return ok;
}
