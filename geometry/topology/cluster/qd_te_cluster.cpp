// Node clustering: vertices of a chain and of the chains overlapping it
// that lie within their snapping tolerances are paired by priority and
// distance and moved onto one point; each merge shrinks the tolerance so
// that no point wanders further than its tolerances allow.
#include <algorithm>
#include <cmath>

#include "geometry/ktgeo_get.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

int32_t qd_te_cluster_last_scans = 0;
double qd_te_order_margin = 0;

namespace {

GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }

bool overlap(const GeoCoord a[2], const GeoCoord b[2]) {
    return a[0].x <= b[1].x && a[1].x >= b[0].x && a[0].y <= b[1].y && a[1].y >= b[0].y;
}

TeClusterNode* node_at(nlst* list, int32_t i) { return static_cast<TeClusterNode*>(list->data) + i; }

uint32_t merged_count(const TeClusterNode& c) { return c.merged ? c.merged->tally : 0; }

void free_merged(nlst* candidates) {
    for (uint32_t i = 0; i < candidates->tally; ++i) {
        TeClusterNode* c = node_at(candidates, int32_t(i));
        if (c->merged) nlst_free(c->merged);
        c->merged = nullptr;
    }
}

// Target takes the source's point after both got a common Z.
void coord_adjust(TeVertex* target, TeVertex* source) {
    GeoCoord a = coord_of(*target), b = coord_of(*source);
    ktgeo_merge_z(&a, &b);
    target->x = b.x;
    target->y = b.y;
    target->z = b.z;
    source->z = b.z;
}

int32_t type_priority(const TeChain* chain, bool end, int32_t option) {
    switch (chain->chain_type) {
    case TE_NODE:
    case TE_ARC: return 1;
    case TE_PATH: return option == 1 && !end ? 4 : 2;
    case TE_LINE:
    case TE_CURVE: return 3;
    default: return -1;
    }
}

// c absorbed into p.
int candidates_update(nlst* candidates, int32_t c_index, int32_t p_index) {
    TeClusterNode* c = node_at(candidates, c_index);
    TeClusterNode* p = node_at(candidates, p_index);
    p->vertex->tol = std::fmax(0.0, std::fmin(p->vertex->tol, c->vertex->tol));
    p->priority = std::min(p->priority, c->priority);
    p->touched = c->touched = 1;
    p->pinned |= c->pinned;
    c->absorbed = 1;
    if (!p->merged && !(p->merged = nlst_alloc(sizeof(int32_t), 4, 4, nullptr))) return qd_te_no_memory();
    if (!nlst_add(p->merged, &c_index)) return qd_te_no_memory();
    if (c->merged) {
        if (c->merged->tally && !nlst_append(p->merged, c->merged)) return qd_te_no_memory();
        nlst_free(c->merged);
        c->merged = nullptr;
    }
    return 1;
}

int select_candidate(nlst* candidates, int32_t c_index, double tol, TeClusterQuery* q) {
    TeClusterNode* p = node_at(candidates, q->scanned);
    TeClusterNode* c = node_at(candidates, c_index);
    if (p->absorbed || c->absorbed) return 1;
    if (p->vertex == c->vertex) {
        c->absorbed = 1;
        return 1;
    }
    if (p->pinned && c->pinned) return 1;
    const GeoCoord pp = coord_of(*p->vertex), cp = coord_of(*c->vertex);
    if (qd_te_same_fuzzy_point(&pp, &cp, tol)) {
        if (c->pinned) coord_adjust(p->vertex, c->vertex);
        coord_adjust(c->vertex, p->vertex);
        q->merged = 1;
        return candidates_update(candidates, c_index, q->scanned);
    }
    if (p->pinned) return 1;
    double reach = std::fmax(p->vertex->tol, c->vertex->tol);
    if (reach < 0) reach = 0;
    const double d = qd_te_cogo_distance_2d(&pp, &cp);
    if (d > reach) return 1;
    if (q->partner < 0) {
        q->partner = c_index;
        q->distance = d;
        return 1;
    }
    const TeClusterNode* b = node_at(candidates, q->partner);
    bool replace;
    if (b->chain == p->chain && c->chain != p->chain) {
        replace = true;
    } else if (b->priority < c->priority) {
        replace = false;
    } else if (c->priority < b->priority) {
        replace = true;
    } else if (p->chain->chain_type == TE_ARC && b->chain->chain_type == TE_ARC && c->chain->chain_type != TE_ARC) {
        replace = true;
    } else {
        replace = d < q->distance || (d == q->distance && merged_count(*c) > 0 && merged_count(*c) > merged_count(*b));
    }
    if (replace) {
        q->partner = c_index;
        q->distance = d;
    }
    return 1;
}

int pair(nlst* candidates, int32_t* merged, double tol, TeClusterQuery* q) {
    *merged = 0;
    TeClusterNode* p = node_at(candidates, q->scanned);
    if (p->absorbed || q->partner < 0) return 1;
    TeClusterNode* s = node_at(candidates, q->partner);
    if (s->absorbed) return 1;
    if (p->vertex == s->vertex) {
        s->absorbed = 1;
        return 1;
    }
    if (p->pinned && s->pinned) return 1;
    if (p->chain == s->chain && (p->chain->chain_type == TE_ARC || p->chain->chain_type == TE_PATH)) return 1;
    if (s->pinned || s->priority < p->priority) {
        coord_adjust(p->vertex, s->vertex);
    } else if (p->pinned || p->priority < s->priority) {
        coord_adjust(s->vertex, p->vertex);
    } else {
        const GeoCoord pp = coord_of(*p->vertex), sp = coord_of(*s->vertex);
        if (qd_te_same_fuzzy_point(&pp, &sp, tol)) {
            coord_adjust(s->vertex, p->vertex);
        } else {
            double step = std::fmax(0.0, std::fmin(p->vertex->tol, s->vertex->tol));
            step = std::fmin(step, q->distance / 4);
            if (p->chain->chain_type == TE_ARC && s->chain->chain_type == TE_ARC) step = 0;
            TeVertex* mover = s->vertex->tol < p->vertex->tol ? s->vertex : p->vertex;
            TeVertex* other = mover == p->vertex ? s->vertex : p->vertex;
            const GeoCoord from = coord_of(*mover), to = coord_of(*other);
            if (step < 1e-8) {
                const double t = std::fmin(p->vertex->tol, s->vertex->tol);
                p->vertex->x = from.x;
                p->vertex->y = from.y;
                p->vertex->z = from.z;
                p->vertex->tol = t;
            } else {
                GeoCoord point;
                if (qd_te_cogo_point_series(&from, &to, step, 1, &point, nullptr) != -1) return 1;
                const double t = std::fmax(0.0, mover->tol - step);
                p->vertex->x = point.x;
                p->vertex->y = point.y;
                p->vertex->z = from.z;
                p->vertex->tol = t;
            }
        }
    }
    *merged = 1;
    q->merged = 1;
    return candidates_update(candidates, q->partner, q->scanned);
}

// Every candidate absorbed into i takes i's point and tolerance; two
// node chains on one point become one.
int propagate(nlst* candidates, int32_t i) {
    TeClusterNode* p = node_at(candidates, i);
    p->touched = 1;
    if (!p->merged) return 1;
    for (uint32_t k = 0; k < p->merged->tally; ++k) {
        const int32_t j = static_cast<const int32_t*>(p->merged->data)[k];
        TeClusterNode* q = node_at(candidates, j);
        p->vertex->tol = std::fmax(0.0, p->vertex->tol);
        *q->vertex = *p->vertex;
        if (p->chain != q->chain && p->chain->chain_type == TE_NODE && q->chain->chain_type == TE_NODE &&
            q->chain->discard == CHAIN_OK && !qd_te_duplicates_merge_chains(p->chain, q->chain))
            return 0;
    }
    return 1;
}

// The walk of one query: every overlapping neighbour in both directions,
// one step each way per turn, offered to select_candidate.
int query_neighbours(nlst* candidates, int32_t i, double tol, TeClusterQuery* q) {
    const int32_t n = int32_t(candidates->tally);
    const GeoCoord* box = node_at(candidates, i)->box;
    int32_t j = i + 1, k = i - 1;
    bool up = j < n, down = k >= 0;
    while (up || down) {
        if (up) {
            const TeClusterNode* c = node_at(candidates, j);
            if (c->box[0].x > box[1].x) {
                up = false;
            } else {
                if (overlap(c->box, box) && !select_candidate(candidates, j, tol, q)) return 0;
                up = ++j < n;
            }
        }
        if (down) {
            const TeClusterNode* c = node_at(candidates, k);
            if (c->box[1].x < box[0].x) {
                down = false;
            } else {
                if (overlap(c->box, box) && !select_candidate(candidates, k, tol, q)) return 0;
                down = --k >= 0;
            }
        }
    }
    return 1;
}

// One scan. A candidate that pairs is queried again at once, by the same
// rules, until it pairs no more: a hub's spokes gather on one candidate in
// one scan instead of halving their number scan by scan.
int process_scan(nlst* candidates, int32_t* changed, double tol) {
    *changed = 0;
    const int32_t n = int32_t(candidates->tally);
    for (int32_t i = 0; i < n; ++i) {
        if (node_at(candidates, i)->absorbed) continue;
        bool moved = false;
        for (;;) {
            TeClusterQuery q = {i, -1, 0.0, 0};
            if (!query_neighbours(candidates, i, tol, &q)) return 0;
            int32_t merged = 0;
            if (q.partner >= 0 && !pair(candidates, &merged, tol, &q)) return 0;
            moved = moved || q.merged;
            if (!merged) break;
            *changed = 1;
            if (node_at(candidates, i)->absorbed) break;
        }
        if (moved && !propagate(candidates, i)) return 0;
    }
    return 1;
}

}  // namespace

int qd_te_cluster_node_compare(const void* a, const void* b) {
    const auto* p = static_cast<const TeClusterNode*>(a);
    const auto* q = static_cast<const TeClusterNode*>(b);
    if (p->box[0].x != q->box[0].x) return p->box[0].x < q->box[0].x ? -1 : 1;
    if (p->box[0].y != q->box[0].y) return p->box[0].y < q->box[0].y ? -1 : 1;
    if (p->priority != q->priority) return p->priority < q->priority ? -1 : 1;
    if (p->vertex->tol != q->vertex->tol) return p->vertex->tol < q->vertex->tol ? -1 : 1;
    return 0;
}

int qd_te_cluster_node_mer_clip(int32_t* use_ends, TeChain* chain, GeoCoord start_box[2],
                                GeoCoord end_box[2]) {
    if (!use_ends || !chain || !start_box || !end_box) return qd_te_missing("qd_te_cluster_node_mer_clip");
    *use_ends = 0;
    const int32_t type = chain->chain_type;
    if (type != TE_LINE && type != TE_ARC && type != TE_CURVE) return 1;
    TeVertex *first, *last;
    int32_t skip = 0;
    if (!qd_te_form_start_end(chain, &first, &last, &skip)) return 0;
    if (skip) return 1;
    start_box[0] = start_box[1] = coord_of(*first);
    end_box[0] = end_box[1] = coord_of(*last);
    qd_te_mer_expand(start_box, first->tol);
    qd_te_mer_expand(end_box, last->tol);
    *use_ends = 1;
    return 1;
}

int qd_te_cluster_coords_clip(TeChain* chain, const GeoCoord box[2], const GeoCoord* second_box,
                              nlst* candidates, int32_t cluster_option) {
    if (!chain || !box || !candidates) return qd_te_missing("qd_te_cluster_coords_clip");
    if (chain->discard != CHAIN_OK) return 1;
    if (!chain->coords) return qd_te_missing("qd_te_cluster_coords_clip");
    const int32_t type = chain->chain_type;
    if (type == TE_REGION || type == TE_ISLAND || type == TE_CIRCLE) return 1;
    if (type < TE_REGION || type > TE_NODE) return qd_te_missing("qd_te_cluster_coords_clip");
    const uint32_t n = chain->coords->tally;
    auto* v = static_cast<TeVertex*>(chain->coords->data);
    for (uint32_t i = 0; i < n; ++i) {
        const bool first = i == 0, last = i + 1 == n;
        const bool end = first || last;
        if (!end && type != TE_PATH) continue;
        TeClusterNode c{};
        c.chain = chain;
        c.vertex = &v[i];
        c.box[0] = c.box[1] = coord_of(v[i]);
        qd_te_mer_expand(c.box, v[i].tol);
        if (!overlap(c.box, box) && !(second_box && overlap(c.box, second_box))) continue;
        c.position = first ? 1 : last ? 2 : 3;
        c.pinned = chain->adjuster == 1 ? 1 : 0;
        c.priority = chain->adjuster == 1 || v[i].tol < 1e-10 ? 0 : type_priority(chain, end, cluster_option);
        if (!nlst_add(candidates, &c)) return qd_te_no_memory();
    }
    return 1;
}

int qd_te_cluster_nodes(double tolerance, nlst* candidates) {
    if (!candidates) return qd_te_missing("qd_te_cluster_nodes");
    qd_te_cluster_last_scans = 0;
    if (candidates->tally < 2) return 1;
    auto* first = node_at(candidates, 0);
    std::stable_sort(first, first + candidates->tally, [](const TeClusterNode& a, const TeClusterNode& b) {
        return qd_te_cluster_node_compare(&a, &b) < 0;
    });
    int ok = 1;
    // Each pairing absorbs a candidate, so more scans than candidates
    // would mean a fault.
    for (int32_t changed = 1; changed && ok;) {
        if (++qd_te_cluster_last_scans > int32_t(candidates->tally)) {
            ok = qd_te_missing("qd_te_cluster_node_process_scan");
            break;
        }
        ok = process_scan(candidates, &changed, tolerance);
    }
    for (uint32_t i = 0; ok && i < candidates->tally; ++i) {
        TeClusterNode* c = node_at(candidates, int32_t(i));
        if (c->touched == 1 && !qd_te_cluster_clean_points(c->chain, 1, tolerance)) ok = 0;
    }
    free_merged(candidates);
    return ok;
}

int qd_te_cluster_chains(nlst* chains, int32_t index, int32_t cluster_option, double tolerance) {
    if (!chains) return qd_te_missing("qd_te_cluster_chains");
    if (chains->tally < 2) return 1;
    if (index <= 0 || index >= int32_t(chains->tally)) return qd_te_missing("qd_te_cluster_chains");
    TeChain* s = qd_te_chain_at(chains, index);
    const int32_t type = s->chain_type;
    if (type == TE_REGION || type == TE_ISLAND || type == TE_CIRCLE) return 1;
    if (!qd_te_cluster_clean_points(s, 0, tolerance)) return 0;
    if (s->discard != CHAIN_OK) return 1;
    nlst* candidates = nlst_alloc(sizeof(TeClusterNode), 16, 16, nullptr);
    if (!candidates) return qd_te_no_memory();
    struct Release {
        nlst* list;
        ~Release() {
            free_merged(list);
            nlst_free(list);
        }
    } release{candidates};
    if (!qd_te_cluster_coords_clip(s, s->chain_mer, nullptr, candidates, cluster_option)) return 0;
    if (candidates->tally == 0) return 1;
    int32_t use_ends = 0;
    GeoCoord start_box[2], end_box[2];
    if (!qd_te_cluster_node_mer_clip(&use_ends, s, start_box, end_box)) return 0;
    int32_t at = index;
    while (s->discard == CHAIN_OK) {
        TeChain* c = nullptr;
        if (!qd_te_link_get_next_chain(chains, &at, &c)) return 0;
        if (!c || at == 0) break;
        if (c->chain_mer[0].x > s->chain_mer[1].x + qd_te_order_margin) break;
        if (c->discard != CHAIN_OK || c->chain_type == TE_REGION || c->chain_type == TE_ISLAND) continue;
        if (!overlap(c->chain_mer, s->chain_mer)) continue;
        const bool ok = use_ends ? qd_te_cluster_coords_clip(c, start_box, end_box, candidates, cluster_option)
                                 : qd_te_cluster_coords_clip(c, s->chain_mer, nullptr, candidates, cluster_option);
        if (!ok) return 0;
    }
    return qd_te_cluster_nodes(tolerance, candidates);
}
