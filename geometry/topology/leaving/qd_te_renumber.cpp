// Renumbering of the chain list (compaction, the universal chain's frame,
// the threaded region lists) and the inheritance of parents from the
// regions a chain lies in and from the chains meeting it at nodes.
#include <algorithm>

#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_geo_overlay.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

int beat(TeRules* rules) { return qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method); }

bool is_region(const TeChain* c) { return c->chain_type == TE_REGION || c->chain_type == TE_ISLAND; }

void kill(TeChain* c) {
    c->discard = CHAIN_DELETE;
    qd_te_geo_chain_release(c);
}

int32_t inputs(const TeRules* rules) { return rules->statistics.tallies[3]; }

// Inside a region (13); a failed walk sets failed.
bool inside_region(TeChain* c, const nlst* chains, int32_t kind, int32_t flags, int* failed) {
    const int where = qd_te_leaving_overlay_chain(c, chains, kind, flags);
    if (where == 0) *failed = 1;
    return where == 13;
}

}  // namespace

int qd_te_leaving_overlay_chain(TeChain* chain, const nlst* chains, int32_t kind, int32_t same_parent) {
    int32_t region = 0;
    return qd_te_walk_overlay_point(kind, chain, nullptr, chains, same_parent, 0, 0, nullptr, nullptr, &region);
}

int qd_te_reassign_universal_polygon(TeChain* universal) {
    if (!universal || !universal->coords) return qd_te_missing("qd_te_reassign_universal_polygon");
    if (universal->coords->tally < 5) {
        const TeVertex zero{0, 0, 0, 0};
        while (universal->coords->tally < 5)
            if (!nlst_add(universal->coords, &zero)) return qd_te_no_memory();
    }
    TeVertex* v = static_cast<TeVertex*>(universal->coords->data);
    const GeoCoord* m = universal->chain_mer;
    const double xs[5] = {m[0].x, m[0].x, m[1].x, m[1].x, m[0].x};
    const double ys[5] = {m[0].y, m[1].y, m[1].y, m[0].y, m[0].y};
    for (int i = 0; i < 5; ++i) v[i].x = xs[i], v[i].y = ys[i], v[i].z = -1e6;
    return 1;
}

int qd_te_reassign_chain_id(nlst* chains, int32_t drop_operands, int32_t mark_regions, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_reassign_chain_id");
    if (chains->tally < 2) return 1;
    TeChain* u = qd_te_chain_at(chains, 0);
    u->chain_id = 0;
    u->link_fore = u->link_back = u->link_free = -1;
    GeoCoord rect[2] = {{1e300, 1e300, 0}, {-1e300, -1e300, 0}};
    bool any_region = false;
    int32_t k = 1;
    for (uint32_t i = 1; i < chains->tally;) {
        if (!beat(rules)) return 0;
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_OK || (drop_operands == 1 && c->chain_lookup >= 0)) {
            qd_te_geo_chain_release(c);
            const uint32_t last = chains->tally - 1;
            if (i != last) qd_te_geo_move_chain(qd_te_chain_at(chains, int32_t(last)), c);
            chains->tally = last;
            continue;
        }
        c->chain_id = k++;
        c->link_fore = c->link_back = c->link_free = -1;
        c->poly_left = c->poly_right = -1;
        c->left_link = c->right_link = 0;
        qd_te_mer_union(rect, c->chain_mer);
        if (is_region(c)) any_region = true;
        ++i;
    }
    if (k == 1) rect[0] = rect[1] = {0, 0, 0};
    u = qd_te_chain_at(chains, 0);
    u->chain_mer[0] = rect[0];
    u->chain_mer[1] = rect[1];
    qd_te_mer_expand(u->chain_mer, 1e-8);
    qd_te_mer_expand(u->chain_mer, 1e-8);
    if (!u->coords && !(u->coords = nlst_alloc(sizeof(TeVertex), 5, 5, nullptr))) return qd_te_no_memory();
    if (!qd_te_reassign_universal_polygon(u)) return 0;
    if (!any_region) return 1;
    int32_t& regions_target = rules->statistics.output_counters.count[1];
    int32_t& regions_operand = rules->statistics.output_counters.count[2];
    regions_target = regions_operand = 0;
    if (!qd_te_chain_list_sort(chains)) return 0;
    int32_t fore = -1, back = -1, free_head = -1;
    for (uint32_t j = 1; j < chains->tally; ++j) {
        TeChain* c = qd_te_chain_at(chains, int32_t(j));
        c->chain_id = int32_t(j);
        if (is_region(c)) {
            c->link_free = free_head;
            free_head = int32_t(j);
            if (c->chain_lookup < 0) {
                c->link_fore = fore;
                fore = int32_t(j);
                ++regions_target;
            } else {
                c->link_back = back;
                back = int32_t(j);
                ++regions_operand;
            }
            if (mark_regions == 1) c->discard = CHAIN_REGION;
        } else {
            c->link_fore = fore;
            c->link_back = back;
            c->link_free = free_head;
        }
    }
    u = qd_te_chain_at(chains, 0);
    u->link_fore = fore;
    u->link_back = back;
    u->link_free = free_head;
    return 1;
}

int qd_te_leaving_chain_inherit_regions(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_leaving_chain_inherit_regions");
    if (chains->tally < 2) return 1;
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_OK || is_region(c)) continue;
        if (!beat(rules)) return 0;
        const int32_t node = c->chain_type == TE_NODE ? 1 : 0;
        int failed = 0;
        switch (rules->mode) {
        case TE_ADJACENT:
        case TE_SHARED:
            if (inside_region(c, chains, 0, 0, &failed)) kill(c);
            if (failed) return 0;
            break;
        case TE_INTERSECT:
            if (!qd_te_parents_inherit_transfer(c, 0, 2, node, 0, chains)) return 0;
            break;
        case TE_DIFFERENCE:
            if (!node) break;
            if (c->chain_lookup >= 0 ||
                (c->chain_lookup_max >= 0 && qd_te_parents_count(c, 2) > 1) ||
                inside_region(c, chains, 0, 0, &failed))
                kill(c);
            if (failed) return 0;
            break;
        case TE_RELATE:
            if (node) {
                if (!qd_te_parents_inherit_transfer(c, 0, 2, 1, 1, chains)) return 0;
                break;
            }
            {
                const int32_t left = qd_te_parents_count(c, 1), right = qd_te_parents_count(c, 0);
                const bool feature = c->chain_pid != 0;
                bool drop = (feature && c->chain_lookup_max < 0 && left == right) || (!feature && left != right);
                if (!drop && rules->statistics.tallies[6] > 0 && !feature) {
                    const int where = qd_te_leaving_overlay_chain(c, chains, 0, 1);
                    if (where == 0) return 0;
                    drop = where == 12;
                }
                if (drop) {
                    qd_te_parents_list_init(c, 2);
                } else if (!qd_te_parents_inherit_transfer(c, 0, 2, 0, 1, chains)) {
                    return 0;
                }
            }
            break;
        default:
            if (!qd_te_parents_inherit_transfer(c, 0, 2, node, 1, chains)) return 0;
        }
    }
    return 1;
}

int qd_te_leaving_chain_inherit_nodes_list(nlst* chains, nlst** entries) {
    if (!chains || !entries) return qd_te_missing("qd_te_leaving_chain_inherit_nodes_list");
    if (!*entries && !(*entries = nlst_alloc(sizeof(TeEndPoint), 64, 64, nullptr))) return qd_te_no_memory();
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_OK || is_region(c) || c->chain_type == TE_CIRCLE) continue;
        TeVertex *first = nullptr, *last = nullptr;
        int32_t skip = 0;
        if (!qd_te_form_start_end(c, &first, &last, &skip)) return 0;
        if (skip || !first || !last) {
            c->discard = CHAIN_INVALID;
            continue;
        }
        const int32_t linear = c->chain_type == TE_NODE ? 0 : 1;
        const int32_t parents = qd_te_parents_count(c, 2);
        TeEndPoint a{int32_t(i), c, &first->x, -1, linear, parents};
        if (!nlst_add(*entries, &a)) return qd_te_no_memory();
        if (!linear) continue;
        if (c->chain_type == TE_PATH || c->chain_type == TE_CURVE) {
            int32_t closed = 0;
            if (!qd_te_fuzzy_chain_closed(c, 1e-10, &closed)) return 0;
            if (closed) continue;
        }
        TeEndPoint b{int32_t(i), c, &last->x, -1, linear, parents};
        if (!nlst_add(*entries, &b)) return qd_te_no_memory();
    }
    return 1;
}

namespace {

bool end_less(const TeEndPoint& a, const TeEndPoint& b) {
    if (a.vertex[0] != b.vertex[0]) return qd_te_key_order(a.vertex[0], b.vertex[0]) < 0;
    if (a.vertex[1] != b.vertex[1]) return qd_te_key_order(a.vertex[1], b.vertex[1]) < 0;
    if (a.linear != b.linear) return a.linear < b.linear;
    return a.row < b.row;
}

bool same(const double* a, const double* b) {
    const GeoCoord p{a[0], a[1], a[2]}, q{b[0], b[1], b[2]};
    return qd_te_same_fuzzy_point(&p, &q, 1e-10) == 1;
}

// Collecting state of one group headed by a linear end.
struct Collect {
    nlst* parents = nullptr;
    bool on = false;
    int parity = 1;
    ~Collect() {
        if (parents) nlst_free(parents);
    }
};

// Whether an end's parent count lets it add to a new node: -1 ends the
// collecting, 1 adds its parents, 0 neither.
int rule_for(int32_t mode, int32_t count, int32_t n_inputs) {
    switch (mode) {
    case TE_ADJACENT:
    case TE_SHARED: return count > 1 ? -1 : 1;
    case TE_INTERSECT: return count == n_inputs ? -1 : 1;
    case TE_RELATE: return count == n_inputs ? -1 : 1;
    default: return 0;
    }
}

int make_node(const TeEndPoint& b, nlst* collected, nlst** nodes) {
    TeChain node;
    if (!qd_te_geo_copy_chain(b.chain, &node, 0)) return 0;
    qd_te_parents_list_init(&node, 2);
    node.chain_type = TE_NODE;
    node.discard = CHAIN_OK;
    qd_free(node.node_dynamic);
    node.node_dynamic = nullptr;
    const TeVertex* v = reinterpret_cast<const TeVertex*>(b.vertex);
    TeVertex only{v->x, v->y, v->z, v->tol};
    bool ok = (node.coords = nlst_alloc(sizeof(TeVertex), 1, 1, nullptr)) && nlst_add(node.coords, &only);
    ok = ok && qd_te_insert_parents(&node, collected, 2, 1) && qd_te_cluster_clean_points(&node, 1, 1e-10);
    if (ok && !*nodes) ok = (*nodes = nlst_alloc(sizeof(TeChain), 8, 8, nullptr)) != nullptr;
    if (ok) ok = nlst_add(*nodes, &node);
    if (!ok) {
        qd_te_geo_chain_release(&node);
        return qd_te_no_memory();
    }
    return 1;
}

}  // namespace

int qd_te_leaving_chain_inherit_nodes(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_leaving_chain_inherit_nodes");
    const int32_t n_inputs = inputs(rules);
    if (n_inputs < 2) return 1;
    nlst* list = nullptr;
    nlst* nodes = nullptr;
    auto done = [&](int answer) {
        if (list) nlst_free(list);
        if (nodes) {
            for (uint32_t i = 0; i < nodes->tally; ++i)
                qd_te_geo_chain_release(static_cast<TeChain*>(nodes->data) + i);
            nlst_free(nodes);
        }
        return answer;
    };
    if (!qd_te_leaving_chain_inherit_nodes_list(chains, &list)) return done(0);
    TeEndPoint* e = static_cast<TeEndPoint*>(list->data);
    const uint32_t n = list->tally;
    std::sort(e, e + n, end_less);
    // Ends within 1e-10 of an earlier one take its exact point; the window
    // reaches as far as the fuzzy test accepts.
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t j = i + 1; j < n && e[j].vertex[0] <= e[i].vertex[0] + 2e-10; ++j)
            if (same(e[i].vertex, e[j].vertex))
                for (int k = 0; k < 3; ++k) e[j].vertex[k] = e[i].vertex[k];
    std::sort(e, e + n, end_less);
    const int32_t mode = rules->mode;
    for (uint32_t i = 0; i < n; ++i) {
        TeEndPoint& b = e[i];
        if (b.group != -1) continue;
        b.group = int32_t(i);
        Collect col;
        if (b.linear) {
            const int r = rule_for(mode, b.parents, n_inputs);
            if (mode == TE_RELATE) col.on = true;
            else if (r == 1) col.on = qd_te_collect_parents(b.chain, &col.parents, 2, 1) == 1;
        }
        for (uint32_t j = i + 1; j < n && same(b.vertex, e[j].vertex); ++j) {
            TeEndPoint& p = e[j];
            if (p.group != -1) continue;
            p.group = int32_t(i);
            TeChain* node = b.chain;
            if (!b.linear) {
                if (node->discard != CHAIN_OK) continue;
                int ok = 1;
                switch (mode) {
                case TE_SYMMETRIC_DIFFERENCE: ok = qd_te_parents_collect_transfer(node, p.row, 2, chains); break;
                case TE_DIFFERENCE:
                    ok = qd_te_parents_collect_transfer(p.chain, b.row, 2, chains);
                    node->discard = CHAIN_DELETE;
                    break;
                case TE_RELATE:
                    if (p.chain->chain_type == TE_NODE || p.chain->chain_lookup_max >= 0) {
                        ok = qd_te_parents_collect_transfer(node, p.row, 2, chains);
                        p.chain->discard = CHAIN_DELETE;
                    } else {
                        node->discard = CHAIN_DELETE;
                    }
                    break;
                default:
                    ok = qd_te_parents_collect_transfer(node, p.row, 2, chains);
                    p.chain->discard = CHAIN_DELETE;
                }
                if (!ok) return done(0);
                continue;
            }
            if (!p.linear || !col.on) continue;
            if (mode == TE_RELATE) col.parity ^= 1;
            const int r = rule_for(mode, p.parents, n_inputs);
            if (r == -1) col.on = false;
            else if (r == 1 && !qd_te_collect_parents(p.chain, &col.parents, 2, 1)) return done(0);
        }
        if (!b.linear || !col.on) continue;
        const int32_t got = col.parents ? int32_t(col.parents->tally) : 0;
        bool make = false;
        if (got > 1) {
            if (mode == TE_ADJACENT || mode == TE_SHARED) make = true;
            else if (mode == TE_INTERSECT) make = got == n_inputs;
            else if (mode == TE_RELATE) make = got == n_inputs && col.parity == 0;
        }
        if (make && !make_node(b, col.parents, &nodes)) return done(0);
    }
    if (nodes && nodes->tally) {
        nlst_set_inc(chains, nodes->tally / 2 + 1);
        if (!nlst_add_many(chains, nodes->data, nodes->tally)) return done(qd_te_no_memory());
        nodes->tally = 0;  // the chain list owns them now
    }
    return done(1);
}

int qd_te_leaving_chain_inherit_parents(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_leaving_chain_inherit_parents");
    const int32_t n_inputs = inputs(rules);
    if (n_inputs <= 1) return 1;
    if (!qd_te_reassign_chain_id(chains, 0, 0, rules) || !qd_te_leaving_chain_inherit_regions(chains, rules) ||
        !qd_te_leaving_chain_inherit_nodes(chains, rules))
        return 0;
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard != CHAIN_OK || is_region(c)) continue;
        if (!beat(rules)) return 0;
        const int32_t count = qd_te_parents_count(c, 2);
        bool keep = count > 0;
        if (keep) switch (rules->mode) {
            case TE_ADJACENT:
            case TE_SHARED: keep = count > 1; break;
            case TE_INTERSECT:
            case TE_RELATE: keep = count == n_inputs; break;
            case TE_DIFFERENCE: keep = c->chain_pid != 0 || c->chain_lookup < 0; break;
            default: break;
            }
        if (!keep) kill(c);
    }
    return 1;
}

int qd_te_leaving_chain_flags(const TeChain* chain, int32_t* no_feature, int32_t* has_p, int32_t* has_s) {
    if (!chain || !no_feature || !has_p || !has_s) return qd_te_missing("qd_te_leaving_chain_flags");
    *no_feature = *has_p = *has_s = 0;
    if (chain->discard != CHAIN_OK || is_region(chain)) return 1;
    for (const nlst* side : {chain->left_parent, chain->right_parent}) {
        if (!side || (*has_p && *has_s)) continue;
        const TeParent* p = static_cast<const TeParent*>(side->data);
        for (uint32_t i = 0; i < side->tally; ++i) {
            if (qd_te_parent_has_flag(&p[i], TE_PARENT_P)) *has_p = 1;
            if (qd_te_parent_has_flag(&p[i], TE_PARENT_S)) *has_s = 1;
        }
    }
    *no_feature = chain->chain_pid == 0 ? 1 : 0;
    if (!*no_feature && !*has_s && chain->chain_type != TE_NODE) *has_p = 1;
    return 1;
}

int qd_te_leaving_clear_local_parents(TeChain* chain) {
    if (!chain) return qd_te_missing("qd_te_leaving_clear_local_parents");
    if (chain->discard != CHAIN_OK || is_region(chain) || chain->chain_pid != 0) return 1;
    for (nlst* side : {chain->left_parent, chain->right_parent}) {
        if (!side) continue;
        TeParent* p = static_cast<TeParent*>(side->data);
        uint32_t kept = 0;
        for (uint32_t i = 0; i < side->tally; ++i) {
            if (qd_te_parent_has_flag(&p[i], TE_PARENT_L)) {
                if (!qd_te_parent_has_flag(&p[i], TE_PARENT_S) && !qd_te_parent_has_flag(&p[i], TE_PARENT_P)) continue;
                qd_te_parent_clear_flag(&p[i], TE_PARENT_L);
            }
            p[kept++] = p[i];
        }
        side->tally = kept;
    }
    return 1;
}
