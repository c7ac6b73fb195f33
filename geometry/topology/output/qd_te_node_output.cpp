// Node output: the NODE chains left after the pipeline delivered as point
// objects grouped by operation, single nodes, and the touch and crossing
// places of the INTERSECT_NODES family.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

// An object and its parent list, released on every path.
struct Delivery {
    SpatialObject object;
    nlst* parents = nullptr;
    TeRules* rules;
    explicit Delivery(TeRules* r) : rules(r) { qd_te_so_reset(&object, r->output_csid); }
    ~Delivery() {
        ktgeo_so_release(&object);
        if (parents) nlst_free(parents);
    }
    void clear() {
        ktgeo_so_release(&object);
        qd_te_so_reset(&object, rules->output_csid);
        if (parents) parents->tally = 0;
    }
    bool empty() const { return !object.primitives || object.primitives->tally == 0; }
    int deliver() {
        const int ok = qd_te_assembly_method(&object, parents, rules->output_split, &rules->output_method) == 1;
        if (ok) ++rules->statistics.output_counters.count[0];
        clear();
        return ok;
    }
};

struct Key {
    int32_t a, b, row;
};

int32_t distinct_parents(const TeChain* c) { return qd_te_parents_count(c, 2); }

// The two ids of the node's most frequent parent.
bool frequent_parent(const TeChain* c, Key* key) {
    nlst* list = nullptr;
    bool ok = qd_te_collect_parents(c, &list, 2, 1) && list && list->tally && qd_te_parents_sort_frequency(list);
    if (ok) {
        const TeParent* p = static_cast<const TeParent*>(list->data);
        key->a = p->id_a;
        key->b = p->id_b;
    }
    if (list) nlst_free(list);
    return ok;
}

}  // namespace

int qd_te_output_nodes(TeChain* node, SpatialObject* object, nlst** parents, TeRules* rules) {
    if (!node || !object || !rules || !parents) return qd_te_missing("qd_te_output_nodes");
    if (node->discard != CHAIN_OK || !node->coords || node->coords->tally == 0) return 1;
    const int32_t mode = rules->mode;
    if ((mode == TE_SPLIT || mode == TE_ERASE_IN || mode == TE_ERASE_OUT || mode == TE_OVERLAY_NODES) &&
        node->chain_lookup >= 0)
        return 1;
    if (!qd_te_collect_parents(node, parents, 2, 1)) return 0;
    const TeVertex* v = static_cast<const TeVertex*>(node->coords->data);
    const GeoCoord at{v->x, v->y, v->z};
    GeoPointDirection* direction = nullptr;
    if (node->node_dynamic) {
        // One owner: the object takes the direction, the chain lets go.
        direction = static_cast<GeoPointDirection*>(qd_alloc(sizeof(GeoPointDirection)));
        if (!direction) return qd_te_no_memory();
        *direction = {int32_t(node->node_dynamic->a), int32_t(node->node_dynamic->b), node->node_dynamic->point};
    }
    if (!ktgeo_util_add_new_point(object, &at, direction)) {
        qd_free(direction);
        return 0;
    }
    if (direction) {
        qd_free(node->node_dynamic);
        node->node_dynamic = nullptr;
    }
    ++rules->statistics.output_counters.count[3];
    ++rules->statistics.output_counters.count[11];
    return 1;
}

int qd_te_output_chain_node(TeChain* chain, TeRules* rules) {
    if (!chain || !rules) return qd_te_missing("qd_te_output_chain_node");
    if (chain->discard != CHAIN_OK || chain->chain_type != TE_NODE) return 1;
    Delivery d(rules);
    if (!qd_te_output_nodes(chain, &d.object, &d.parents, rules)) return 0;
    return d.empty() ? 1 : d.deliver();
}

int qd_te_output_node_chains(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_output_node_chains");
    const int32_t mode = rules->mode;
    const int32_t inputs = rules->statistics.tallies[3];
    Delivery d(rules);
    std::vector<Key> keys;
    bool all_in_one = false;
    switch (mode) {
    case TE_ALL: case TE_DISSOLVE: case TE_ALL_PRESERVE: all_in_one = true; break;
    case TE_SINGLE: case TE_BREAK: case TE_SPLIT: case TE_ERASE_IN: case TE_ERASE_OUT: case TE_ADJACENT:
    case TE_SHARED: case TE_JOIN: case TE_PRESERVE: case TE_INTERSECT: case TE_RELATE:
    case TE_SYMMETRIC_DIFFERENCE: case TE_DIFFERENCE: break;
    default:
        qd_te_error_method(-12, &rules->error_method);
        return 0;
    }
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_OK || c->chain_type != TE_NODE) continue;
        if (!qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method)) return 0;
        Key key{0, 0, int32_t(i)};
        bool keyed = false, alone = false;
        const int32_t n = distinct_parents(c);
        switch (mode) {
        case TE_SINGLE: case TE_BREAK: alone = true; break;
        case TE_SPLIT: case TE_ERASE_IN: case TE_ERASE_OUT:
            if (!qd_te_walk_nodes(c, chains, rules)) return 0;
            continue;
        case TE_ALL: case TE_DISSOLVE: case TE_ALL_PRESERVE:
            if (!qd_te_output_nodes(c, &d.object, &d.parents, rules)) return 0;
            continue;
        case TE_ADJACENT: case TE_SHARED: keyed = n > 1 && frequent_parent(c, &key); break;
        case TE_JOIN:
            if (c->chain_lookup_max < 0 && rules->output_option_2 == 1) break;
            key.a = 11;
            key.b = c->chain_lookup_max < 0 && rules->output_option_3 == 0 ? -1 : c->chain_lookup_max;
            keyed = true;
            break;
        case TE_PRESERVE:
            if (n > 0) keyed = frequent_parent(c, &key);
            else alone = true;
            break;
        case TE_INTERSECT: case TE_RELATE: keyed = n == inputs; break;
        case TE_SYMMETRIC_DIFFERENCE: keyed = n % 2 == 1; break;
        case TE_DIFFERENCE: keyed = c->chain_lookup < 0 && n == 1; break;
        default: break;
        }
        if (keyed) keys.push_back(key);
        if (alone) {
            if (!qd_te_output_nodes(c, &d.object, &d.parents, rules)) return 0;
            if (!d.empty() && !d.deliver()) return 0;
        }
    }
    if (all_in_one) return d.empty() ? 1 : d.deliver();
    std::stable_sort(keys.begin(), keys.end(),
                     [](const Key& x, const Key& y) { return x.a != y.a ? x.a < y.a : x.b < y.b; });
    for (size_t i = 0; i < keys.size();) {
        size_t j = i;
        for (; j < keys.size() && keys[j].a == keys[i].a && keys[j].b == keys[i].b; ++j)
            if (!qd_te_output_nodes(qd_te_chain_at(chains, keys[j].row), &d.object, &d.parents, rules)) return 0;
        if (!d.empty() && !d.deliver()) return 0;
        i = j;
    }
    return 1;
}

int qd_te_node_ff(nlst* chains, TeRules* rules, int32_t quiet) {
    if (!rules) return qd_te_missing("qd_te_node_ff");
    if (!quiet) {
        const int32_t answer = qd_te_stage_event(rules, chains, TE_EVENT_NODES);
        if (answer != 1) return answer;
    }
    if (!chains || chains->tally < 2) return 1;
    if (rules->mode == TE_DISTANCE) return qd_te_output_distance(chains, rules);
    return qd_te_output_node_chains(chains, rules);
}

int qd_te_output_intersect_nodes(nlst* references, nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_output_intersect_nodes");
    if (!references || references->tally < 2) return 1;
    TeCoordRef* r = static_cast<TeCoordRef*>(references->data);
    const uint32_t n = references->tally;
    auto point = [&](uint32_t i) { return qd_te_ref_point(&r[i]); };
    std::sort(r, r + n, qd_te_ref_place_less);
    // The sweep reaches as far as the fuzzy test accepts.
    double largest = 0;
    for (uint32_t i = 0; i < n; ++i) largest = std::fmax(largest, r[i].tol);
    const double reach = std::fmax(largest, 1e-10) + 1e-10;
    const int32_t sec = rules->secondary;
    Delivery d(rules);
    auto add_parents = [&](int32_t row) {
        if (row <= 0 || uint32_t(row) >= chains->tally) return 1;
        return qd_te_collect_parents(qd_te_chain_at(chains, row), &d.parents, 2, 1);
    };
    for (uint32_t i = 0; i < n; ++i) {
        if (r[i].group >= 0) continue;
        bool matched = false, same_chain = false, other_chain = false, at_intersection = false;
        const GeoCoord p = point(i);
        for (uint32_t j = i + 1; j < n && point(j).x <= p.x + reach; ++j) {
            if (r[j].group >= 0) continue;
            const GeoCoord q = point(j);
            if (qd_te_same_fuzzy_point(&p, &q, std::fmax(r[i].tol, r[j].tol)) != 1) continue;
            r[j].group += 1;
            matched = true;
            if (r[j].tag == r[i].tag) same_chain = true;
            else {
                other_chain = true;
                if (!add_parents(r[j].tag)) return 0;
            }
            if (r[i].index == -1 || r[j].index == -1) at_intersection = true;
        }
        bool write = false;
        switch (sec) {
        case TE_COMMON_EDGE: write = matched && other_chain && !at_intersection; break;
        case TE_COMMON_CROSS: case TE_COMMON_TOUCH: write = matched && same_chain; break;
        case TE_COMMON_ENDS: case TE_COMMON_ALL: write = matched && other_chain; break;
        case TE_CROSSING: write = (matched && other_chain && at_intersection) || !matched; break;
        case TE_LINEAR: write = (matched && !other_chain) || !matched; break;
        case TE_ALL_CROSSING: case TE_ALL_POINTS: write = true; break;
        default: break;
        }
        if (write) {
            if (!add_parents(r[i].tag)) return 0;
            if (d.parents && !qd_te_parents_sort_frequency(d.parents)) return 0;
            const int32_t count = d.parents ? int32_t(d.parents->tally) : 0;
            if ((sec == TE_COMMON_EDGE || sec == TE_COMMON_ALL) && count == 1) write = false;
            if ((sec == TE_COMMON_CROSS || sec == TE_COMMON_TOUCH) && count == 0) write = false;
            if (sec == TE_CROSSING && count == 1 && other_chain) write = false;
        }
        if (write) {
            if (!ktgeo_util_add_new_point(&d.object, &p, nullptr)) return 0;
            ++rules->statistics.output_counters.count[3];
            ++rules->statistics.output_counters.count[11];
            if (!d.deliver()) return 0;
        }
        d.clear();
    }
    return 1;
}
