// The leaving stage: by data dimension and operation it inherits parents,
// hands out the lines a surface run gives as lines (linear dissolve),
// renumbers the chain list and builds the walk links at every node.
#include <algorithm>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_poly_output.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

namespace {

bool multi_input_mode(int32_t mode) {
    return mode == TE_ADJACENT || mode == TE_INTERSECT || mode == TE_DIFFERENCE || mode == TE_RELATE ||
           mode == TE_SHARED;
}

// The parent filter with more than one input encoded; with one the result
// is empty.
int filter_or_reset(nlst* chains, TeRules* rules) {
    if (rules->statistics.tallies[3] > 1) return qd_te_leaving_chain_inherit_parents(chains, rules);
    return qd_te_geo_chain_list_reset(chains);
}

bool is_region(const TeChain* c) { return c->chain_type == TE_REGION || c->chain_type == TE_ISLAND; }

struct NodeEntry {
    const double* vertex;
    int32_t row;
};

bool node_less(const NodeEntry& a, const NodeEntry& b) {
    if (a.vertex[0] != b.vertex[0]) return qd_te_key_order(a.vertex[0], b.vertex[0]) < 0;
    if (a.vertex[1] != b.vertex[1]) return qd_te_key_order(a.vertex[1], b.vertex[1]) < 0;
    return a.row < b.row;
}

int32_t count_flag(const nlst* side, int32_t flag) {
    if (!side) return 0;
    const TeParent* p = static_cast<const TeParent*>(side->data);
    int32_t n = 0;
    for (uint32_t i = 0; i < side->tally; ++i) n += qd_te_parent_has_flag(&p[i], flag) ? 1 : 0;
    return n;
}

// The work list of the dissolve: deep copies, released with it.
struct WorkList {
    nlst* list = nullptr;
    ~WorkList() { qd_te_geo_chain_list_free(&list); }
    int add(const TeChain* c) {
        TeChain copy;
        if (!qd_te_geo_copy_chain(c, &copy, 1)) return 0;
        if (!nlst_add(list, &copy)) {
            qd_te_geo_chain_release(&copy);
            return qd_te_no_memory();
        }
        return 1;
    }
};

struct Bits {
    TeBitArray drop{}, keep{}, odd{};
    ~Bits() {
        qd_te_ba_free(&drop);
        qd_te_ba_free(&keep);
        qd_te_ba_free(&odd);
    }
};

}  // namespace

int qd_te_leaving_chain_linear_dissolve(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_leaving_chain_linear_dissolve");
    if (!qd_te_reassign_chain_id(chains, 0, 0, rules)) return 0;
    if (chains->tally < 2) return 1;
    const uint32_t n = chains->tally;
    Bits bits;
    for (TeBitArray* a : {&bits.drop, &bits.keep, &bits.odd}) {
        if (!qd_te_ba_alloc(a, n)) {
            QD_FAIL("UKT1N", "nbytes%d", -1, nullptr);
            return 0;
        }
    }
    WorkList work;
    if (!(work.list = nlst_alloc(sizeof(TeChain), 16, 16, nullptr)) || !work.add(qd_te_chain_at(chains, 0)))
        return qd_te_no_memory();
    std::vector<NodeEntry> nodes;
    const int32_t mode = rules->mode;
    const bool convex = rules->convex == 1;
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_OK) continue;
        if (!qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method)) return 0;
        if (is_region(c)) {
            if ((mode == TE_SPLIT || mode == TE_ERASE_IN || mode == TE_ERASE_OUT) && c->chain_lookup >= 0 &&
                !work.add(c))
                return 0;
            continue;
        }
        int32_t no_feature = 0, has_p = 0, has_s = 0;
        if (!qd_te_leaving_chain_flags(c, &no_feature, &has_p, &has_s)) return 0;
        const bool node = c->chain_type == TE_NODE;
        switch (mode) {
        case TE_SPLIT:
        case TE_ERASE_IN:
        case TE_ERASE_OUT:
            if (node) {
                if (!qd_te_walk_nodes(c, chains, rules)) return 0;
                c = qd_te_chain_at(chains, int32_t(i));
                c->discard = CHAIN_DELETE;
            } else if (no_feature) {
                if (has_p || has_s) {
                    qd_te_ba_set(&bits.keep, i);
                    if (!convex && !work.add(c)) return 0;
                } else {
                    const int where = qd_te_leaving_overlay_chain(c, chains, 1, 1);
                    if (where == 0) return 0;
                    qd_te_ba_set(&bits.drop, i);
                    if ((where == 12 || !convex) && !work.add(c)) return 0;
                }
            }
            break;
        case TE_DISSOLVE:
            if (node) break;
            if (!has_p) {
                if (has_s) {
                    if (rules->secondary == TE_DISCARD || rules->secondary == TE_EXCURSION) c->discard = CHAIN_DELETE;
                } else if (no_feature) {
                    const int where = qd_te_leaving_overlay_chain(c, chains, 0, 1);
                    if (where == 0) return 0;
                    if (where == 12) {
                        qd_te_ba_set(&bits.drop, i);
                        if (!work.add(c)) return 0;
                    } else {
                        c->discard = CHAIN_DELETE;
                    }
                }
            } else if (no_feature) {
                qd_te_ba_set(&bits.keep, i);
            }
            break;
        case TE_SYMMETRIC_DIFFERENCE: {
            if (!qd_te_parents_inherit_transfer(c, 0, 2, node ? 1 : 0, 1, chains)) return 0;
            const bool odd = count_flag(c->left_parent, TE_PARENT_P) % 2 == 1 ||
                             count_flag(c->right_parent, TE_PARENT_P) % 2 == 1;
            const bool l_odd = !odd && count_flag(c->left_parent, TE_PARENT_L) % 2 == 1;
            if (no_feature && l_odd && !work.add(c)) return 0;
            qd_te_ba_set(&bits.keep, i);
            if (node && has_p) nodes.push_back({&static_cast<TeVertex*>(c->coords->data)->x, int32_t(i)});
            else if (node && (odd || l_odd)) qd_te_ba_set(&bits.drop, i);
            if (!node && no_feature && !has_p && !has_s) qd_te_ba_set(&bits.drop, i);
            if (odd || l_odd) qd_te_ba_set(&bits.odd, i);
            break;
        }
        case TE_BREAK:
            if (convex || node || !no_feature) break;
            if (!work.add(c)) return 0;
            qd_te_ba_set(has_p || has_s ? &bits.keep : &bits.drop, i);
            break;
        default: break;
        }
    }
    if (mode == TE_SYMMETRIC_DIFFERENCE && !nodes.empty()) {
        std::sort(nodes.begin(), nodes.end(), node_less);
        for (uint32_t i = 1; i < chains->tally; ++i) {
            const TeChain* c = qd_te_chain_at(chains, int32_t(i));
            if (!qd_te_ba_test(&bits.odd, i) || c->discard != CHAIN_OK || !c->coords || c->coords->tally < 2)
                continue;
            const TeVertex* v = static_cast<const TeVertex*>(c->coords->data);
            for (const TeVertex* end : {&v[0], &v[c->coords->tally - 1]}) {
                const NodeEntry key{&end->x, -1};
                auto at = std::lower_bound(nodes.begin(), nodes.end(), key, node_less);
                for (; at != nodes.end() && at->vertex[0] == end->x && at->vertex[1] == end->y; ++at)
                    qd_te_ba_set(&bits.drop, uint32_t(at->row));
            }
        }
    }
    int ok = 1;
    if (work.list->tally > 1) {
        // A nested linear run on a copy of the rules: the outer rules keep
        // their dimensions; the statistics (objects written included) come
        // back.
        const int32_t data_dim = rules->statistics.data_dim;
        TeNestedRules nested;
        qd_te_nested_begin(&nested, rules);
        nested.copy.output_dim = nested.copy.statistics.data_dim = TE_DIM_LINEAR;
        ok = qd_te_chain_list_sort(work.list);
        if (ok && mode != TE_SYMMETRIC_DIFFERENCE) ok = qd_te_leaving(work.list, &nested.copy);
        if (ok) ok = qd_te_linear_ff(work.list, &nested.copy, 0);
        qd_te_nested_end(&nested);
        rules->statistics.data_dim = data_dim;
    }
    if (!ok) return 0;
    for (uint32_t i = 1; i < chains->tally && i < n; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (qd_te_ba_test(&bits.drop, i)) c->discard = CHAIN_DELETE;
        else if (qd_te_ba_test(&bits.keep, i) && !qd_te_leaving_clear_local_parents(c)) return 0;
    }
    return 1;
}

int qd_te_leaving(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_leaving");
    if (chains->tally <= 1) return 1;
    const int32_t mode = rules->mode;
    int32_t drop = 0;
    bool links = true;
    int ok = 1;
    switch (rules->statistics.data_dim) {
    case TE_DIM_NODE:
    case TE_DIM_LINEAR: {
        const bool linear = rules->statistics.data_dim == TE_DIM_LINEAR;
        links = false;
        if (multi_input_mode(mode)) {
            ok = filter_or_reset(chains, rules);
            links = linear && mode == TE_DIFFERENCE;
        } else if (mode == TE_OVERLAY_NODES) {
            drop = 1;
        } else if (mode == TE_SYMMETRIC_DIFFERENCE) {
            ok = qd_te_leaving_chain_inherit_parents(chains, rules);
        } else if (linear) {
            switch (mode) {
            case TE_SPLIT: case TE_BRANCH: case TE_CONTIGUOUS: case TE_ERASE_IN: case TE_ERASE_OUT:
            case TE_BUFFER: case TE_SURFACE_22: case TE_BUFFER_ALL: case TE_BUFFER_SPLIT: case TE_BUFFER_OVERLAP:
                links = true;
                break;
            default: break;
            }
        }
        break;
    }
    case TE_DIM_SURFACE:
        switch (mode) {
        case TE_BRANCH:
        case TE_OVERLAY_NODES: drop = 1; break;
        case TE_SYMMETRIC_DIFFERENCE:
            ok = qd_te_leaving_chain_inherit_nodes(chains, rules) && qd_te_leaving_chain_linear_dissolve(chains, rules);
            break;
        case TE_SPLIT:
        case TE_DISSOLVE:
        case TE_ERASE_IN:
        case TE_ERASE_OUT: ok = qd_te_leaving_chain_linear_dissolve(chains, rules); break;
        case TE_BREAK:
            ok = qd_te_leaving_chain_linear_dissolve(chains, rules) &&
                 qd_te_leaving_chain_inherit_parents(chains, rules);
            break;
        case TE_DISTANCE: links = false; break;
        default:
            if (multi_input_mode(mode)) ok = filter_or_reset(chains, rules);
        }
        break;
    default:
        qd_te_error_method(-15, &rules->error_method);
        return 0;
    }
    if (!ok) return 0;
    if (!qd_te_reassign_chain_id(chains, drop, 1, rules)) return 0;
    return links ? qd_te_leaving_chain_set_ql_lr(rules, 1e-10, chains) : 1;
}
