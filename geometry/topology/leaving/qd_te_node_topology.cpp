// Node topology: the chain ends of a list snapped onto exact node points,
// ordered counter-clockwise around each node and linked into the chains'
// walk links (left_link at the start, right_link at the end).
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_util.h"

namespace {

GeoCoord at(const double* p) { return {p[0], p[1], p[2]}; }

// Direction of the step from a to b.
void direction(const GeoCoord& a, const GeoCoord& b, TeNodeEnd* e) {
    qd_te_leaving_calc_cyclic_order(&a, &b, &e->quadrant, &e->slope);
}

// The sort key of an end, copied out of the chain so that the sort reads
// contiguous records.
struct EndKey {
    double x, y, slope;
    int32_t quadrant, chain_id, end;
    uint32_t at;
};

bool key_less(const EndKey& a, const EndKey& b) {
    if (a.x != b.x) return qd_te_key_order(a.x, b.x) < 0;
    if (a.y != b.y) return qd_te_key_order(a.y, b.y) < 0;
    if (a.quadrant != b.quadrant) return a.quadrant < b.quadrant;
    if (a.slope != b.slope) return qd_te_key_order(a.slope, b.slope) < 0;
    // Same direction: chain id and end decide, so links never depend on
    // the sort's handling of ties.
    if (a.chain_id != b.chain_id) return a.chain_id < b.chain_id;
    return a.end < b.end;
}

void sort_entries(nlst* entries) {
    TeNodeEnd* e = static_cast<TeNodeEnd*>(entries->data);
    const uint32_t n = entries->tally;
    std::vector<EndKey> keys(n);
    for (uint32_t i = 0; i < n; ++i)
        keys[i] = {e[i].point[0], e[i].point[1], e[i].slope, e[i].quadrant, e[i].chain->chain_id, e[i].end, i};
    std::sort(keys.begin(), keys.end(), key_less);
    std::vector<TeNodeEnd> sorted(n);
    for (uint32_t i = 0; i < n; ++i) sorted[i] = e[keys[i].at];
    std::copy(sorted.begin(), sorted.end(), e);
}

int32_t link_value(const TeNodeEnd& e) { return e.end == 1 ? -e.chain->chain_id : e.chain->chain_id; }

void set_link(const TeNodeEnd& from, int32_t value) {
    if (from.end == 1) from.chain->left_link = value;
    else from.chain->right_link = value;
}

}  // namespace

int qd_te_leaving_form_node_list(TeChain* chain, nlst** entries) {
    if (!chain || !entries) return qd_te_missing("qd_te_leaving_form_node_list");
    if (!chain->coords) return qd_te_missing("qd_te_leaving_form_node_list");
    if (chain->discard != CHAIN_OK) return 1;
    const int32_t n = int32_t(chain->coords->tally);
    if (n == 0) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    TeVertex* v = static_cast<TeVertex*>(chain->coords->data);
    TeNodeEnd start{chain, &v[0].x, 1, 5, 0}, end{chain, &v[n - 1].x, 2, 5, 0};
    switch (chain->chain_type) {
    case TE_PATH:
    case TE_LINE:
        if (n < 2) {
            chain->discard = CHAIN_INVALID;
            return 1;
        }
        if (chain->chain_type == TE_PATH) {
            direction(at(&v[0].x), at(&v[1].x), &start);
            direction(at(&v[n - 1].x), at(&v[n - 2].x), &end);
        } else {
            direction(at(&v[0].x), at(&v[n - 1].x), &start);
            direction(at(&v[n - 1].x), at(&v[0].x), &end);
        }
        break;
    case TE_CURVE:
    case TE_ARC: {
        if (n < 2) {
            chain->discard = CHAIN_INVALID;
            return 1;
        }
        GeoCoord* s = nullptr;
        int32_t m = 0;
        if (!qd_te_geo_get_coords(chain, &s, &m, 1)) return 0;
        // An arc whose stroke is its chord takes the chord's direction.
        if (m < 2) {
            qd_free(s);
            chain->discard = CHAIN_INVALID;
            return 1;
        }
        direction(s[0], s[1], &start);
        direction(s[m - 1], s[m - 2], &end);
        qd_free(s);
        break;
    }
    case TE_CIRCLE:
    case TE_NODE:
        chain->left_link = chain->chain_id;
        chain->right_link = -chain->chain_id;
        return 1;
    default:
        return qd_te_missing("qd_te_leaving_form_node_list");
    }
    if (!*entries && !(*entries = nlst_alloc(sizeof(TeNodeEnd), 64, 64, nullptr))) return qd_te_no_memory();
    if (!nlst_add(*entries, &start) || !nlst_add(*entries, &end)) return qd_te_no_memory();
    return 1;
}

int qd_te_leaving_set_ql_lr(nlst* entries, TeRules* rules, double t) {
    if (!rules) return qd_te_missing("qd_te_leaving_set_ql_lr");
    if (!entries || entries->tally == 0) return 1;
    sort_entries(entries);
    TeNodeEnd* e = static_cast<TeNodeEnd*>(entries->data);
    const uint32_t n = entries->tally;
    // Ends within t of an earlier end take its exact point. A run of ends
    // of one x is sorted by y until one of them moves: while none has, the
    // visit leaves the run at the first end of a's x lying farther above a
    // than the fuzzy test reaches (the rest of the run lies farther still).
    std::vector<uint32_t> run_start(n), run_end(n);
    std::vector<char> moved(n, 0);
    for (uint32_t i = 0, first = 0; i < n; ++i) {
        if (e[i].point[0] != e[first].point[0]) first = i;
        run_start[i] = first;
    }
    for (uint32_t i = n; i-- > 0;) run_end[i] = i + 1 < n && run_start[i + 1] == run_start[i] ? run_end[i + 1] : i + 1;
    const double reach = 2 * (std::fmax(t, 1e-10) + 1e-10);
    bool any_moved = false;
    for (uint32_t i = 0; i < n; ++i) {
        const GeoCoord a = at(e[i].point);
        for (uint32_t j = i + 1; j < n && e[j].point[0] <= a.x + t + 1e-10; ++j) {
            if (e[j].point[0] == a.x && e[j].point[1] - a.y > reach && !moved[run_start[j]]) {
                j = run_end[j] - 1;
                continue;
            }
            const GeoCoord b = at(e[j].point);
            if ((b.x != a.x || b.y != a.y || b.z != a.z) && qd_te_same_fuzzy_point(&a, &b, t) == 1) {
                e[j].point[0] = a.x;
                e[j].point[1] = a.y;
                e[j].point[2] = a.z;
                moved[run_start[j]] = 1;
                any_moved = true;
            }
        }
    }
    // Unmoved ends keep their order: the entry order is total.
    if (any_moved) sort_entries(entries);
    for (uint32_t i = 0; i < n;) {
        if (!qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method)) return 0;
        uint32_t j = i + 1;
        while (j < n && e[j].point[0] == e[i].point[0] && e[j].point[1] == e[i].point[1]) ++j;
        if (j == i + 1) set_link(e[i], e[i].end == 1 ? -e[i].chain->chain_id : e[i].chain->chain_id);
        else
            for (uint32_t k = i; k < j; ++k) set_link(e[k], link_value(e[k + 1 < j ? k + 1 : i]));
        i = j;
    }
    return 1;
}

int qd_te_leaving_chain_set_ql_lr(TeRules* rules, double t, nlst* chains) {
    if (!rules || !chains) return qd_te_missing("qd_te_leaving_chain_set_ql_lr");
    if (chains->tally < 2) return 1;
    // Room for both ends of every chain at once.
    nlst* entries = nlst_alloc(sizeof(TeNodeEnd), 2 * chains->tally, 64, nullptr);
    if (!entries) return qd_te_no_memory();
    int ok = 1;
    for (uint32_t i = 1; ok && i < chains->tally; ++i) {
        if (!qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method)) {
            ok = 0;
            break;
        }
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_OK || c->chain_type == TE_REGION || c->chain_type == TE_ISLAND) continue;
        if (c->chain_type == TE_CIRCLE || c->chain_type == TE_NODE) {
            c->left_link = c->chain_id;
            c->right_link = -c->chain_id;
        } else if (c->chain_type > TE_NODE || c->chain_type < TE_REGION) {
            QD_FAIL("UKT1M", "function%s", "qd_te_leaving_chain_set_ql_lr - Unknown primitive type", nullptr);
            ok = 0;
        } else {
            ok = qd_te_leaving_form_node_list(c, &entries);
        }
    }
    if (ok) ok = qd_te_leaving_set_ql_lr(entries, rules, t);
    nlst_free(entries);
    return ok;
}
