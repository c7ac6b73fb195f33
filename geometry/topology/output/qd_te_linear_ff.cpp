// Linear output driver and the chain-wise builds: one chain into a curve or
// point primitive, the search for the next chain, and the builds per
// chain, all in one, by parents, by connected groups and by branches.
#include <deque>
#include <functional>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_linear_output.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_poly_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/output/qd_te_linear_util.h"

namespace tel = qd_te_linear_detail;

namespace qd_te_linear_detail {

Geometry::Geometry(TeRules* r) : rules(r) { qd_te_so_reset(&object, r->output_csid); }
Geometry::~Geometry() {
    ktgeo_so_release(&object);
    if (parents) nlst_free(parents);
}
bool Geometry::empty() const { return !object.primitives || object.primitives->tally == 0; }
void Geometry::clear() {
    ktgeo_so_release(&object);
    qd_te_so_reset(&object, rules->output_csid);
    if (parents) parents->tally = 0;
}
int Geometry::deliver(bool reconnect) {
    if (parents && !qd_te_parents_merge_duplicates(parents)) return 0;
    if (reconnect && rules->reconnect == 1 && !qd_te_linear_path_reconnect(&object, rules->reconnect_option)) return 0;
    const int ok = qd_te_assembly_method(&object, parents, rules->output_split, &rules->output_method) == 1;
    if (ok) ++rules->statistics.output_counters.count[0];
    clear();
    return ok;
}

int heartbeat(TeRules* rules) { return qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method) ? 1 : 0; }

int mode_error(TeRules* rules, int32_t code) {
    qd_te_error_method(code, &rules->error_method);
    return 0;
}

bool valid_row(const nlst* chains, int32_t row) { return row > 0 && uint32_t(row) < chains->tally; }

int each_next_chain(nlst* chains, TeRules* rules, const std::function<int(TeChain*, int32_t)>& treat) {
    int32_t position = 1;
    for (;;) {
        const int found = qd_te_linear_next_chain(&position, chains, nullptr, rules);
        if (found <= 0) return found == 0 ? 1 : 0;
        TeChain* c = qd_te_chain_at(chains, position);
        c->poly_left = c->poly_right = 1;
        if (!heartbeat(rules) || !treat(c, position)) return 0;
    }
}

}  // namespace qd_te_linear_detail

namespace {

void mark(TeChain* c) { c->poly_left = c->poly_right = 1; }

}  // namespace

int32_t qd_te_linear_link_by_sign(const TeChain* chain, int32_t value) {
    return value <= 0 ? chain->left_link : chain->right_link;
}

int qd_te_linear_add_new_curve(SpatialObject* object, const TeTangent* tangent, int32_t n, int32_t curve_type,
                               const GeoCoord* coords) {
    if (!object || !coords || n < 2) return qd_te_missing("qd_te_linear_add_new_curve");
    if (!tangent || tangent->type == 0)
        return ktgeo_util_add_new_curve(object, curve_type, coords, uint32_t(n), 0, 0, 0);
    return ktgeo_util_add_new_curve(object, curve_type, coords, uint32_t(n), tangent->type, tangent->start_angle,
                                    tangent->end_angle);
}

int qd_te_linear_chain_output(TeRules* rules, TeChain* chain, SpatialObject* object, nlst** parents) {
    if (!rules || !chain || !object || !parents) return qd_te_missing("qd_te_linear_chain_output");
    if (chain->discard != CHAIN_OK || !chain->coords || chain->coords->tally == 0) return 1;
    // A node is a point with its direction record (the object takes it).
    if (chain->chain_type == TE_NODE) return qd_te_output_nodes(chain, object, parents, rules);
    if (!qd_te_collect_parents(chain, parents, 2, 0)) return 0;
    GeoCurve curve;
    ktgeo_curve_init(&curve);
    if (!qd_te_create_new_curve(rules, chain, &curve, 1)) {
        ktgeo_curve_release(&curve, nullptr);
        return 0;
    }
    if (!curve.coords) return 1;
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_CURVE, &p);
    p.geom.curve = curve;
    if (!ktgeo_util_add_new_primitive(&p, object)) {
        ktgeo_curve_release(&curve, nullptr);
        return 0;
    }
    return 1;
}

int qd_te_linear_next_chain(int32_t* position, nlst* chains, uint8_t* bits, TeRules* rules) {
    if (!position || !chains || !rules) {
        qd_te_missing("qd_te_linear_next_chain");
        return -1;
    }
    const int32_t count = int32_t(chains->tally) - 1;
    if (count < 1) return 0;
    int32_t p = *position < 1 || *position > count ? 1 : *position;
    auto is_set = [&](int32_t i) { return (bits[i / 8] >> (i % 8)) & 1; };
    auto set = [&](int32_t i) { bits[i / 8] = uint8_t(bits[i / 8] | (1 << (i % 8))); };
    for (int32_t step = 0; step < count; ++step, p = p == count ? 1 : p + 1) {
        TeChain* c = qd_te_chain_at(chains, p);
        const bool marked = bits ? is_set(p) : !(c->poly_left == -1 || c->poly_right == -1);
        if (marked) continue;
        if (c->discard == CHAIN_OK && c->chain_type == TE_NODE) {
            // The node rule outputs or drops it; it is treated either way.
            if (bits) set(p);
            else mark(c);
            if (!qd_te_walk_nodes(c, chains, rules)) return -1;
            continue;
        }
        if (c->discard != CHAIN_OK) {
            if (bits) set(p);
            continue;
        }
        *position = p;
        return 1;
    }
    return 0;
}

int qd_te_line_items_free(nlst** items) {
    if (!items) return qd_te_missing("qd_te_line_items_free");
    if (!*items) return 1;
    for (uint32_t i = 0; i < (*items)->tally; ++i) {
        TeOutputItem* item = static_cast<TeOutputItem*>((*items)->data) + i;
        if (item->cutter) nlst_free(item->cutter);
        item->cutter = nullptr;
    }
    nlst_free(*items);
    *items = nullptr;
    return 1;
}

int qd_te_line_item_add(nlst** items, TeChain* chain, int32_t chain_number, nlst** cutters, int32_t* added) {
    if (!items || !chain || !added) return qd_te_missing("qd_te_line_item_add");
    *added = 0;
    nlst* parents = nullptr;
    int ok = qd_te_collect_parents(chain, &parents, 2, 1);
    if (ok && parents && parents->tally > 0) {
        ok = qd_te_parents_sort_local(parents);
        const TeParent* first = static_cast<const TeParent*>(parents->data);
        TeOutputItem item{first->id_a, first->id_b, chain_number, -1, cutters ? *cutters : nullptr};
        if (ok) ok = qd_te_append_item_to_list(items, &item, sizeof item);
        if (ok) {
            if (cutters) *cutters = nullptr;
            *added = 1;
        }
    }
    if (parents) nlst_free(parents);
    return ok;
}

namespace {

// An item keyed by the chain's most frequent parent; false when it has no
// parents (keyed stays false).
int frequent_item(nlst** items, TeChain* c, int32_t row, bool* keyed) {
    *keyed = false;
    nlst* parents = nullptr;
    int ok = qd_te_collect_parents(c, &parents, 2, 1);
    if (ok && parents && parents->tally > 0) {
        ok = qd_te_parents_sort_frequency(parents);
        const TeParent* first = static_cast<const TeParent*>(parents->data);
        const TeOutputItem item{first->id_a, first->id_b, row, -1, nullptr};
        if (ok) ok = qd_te_append_item_to_list(items, &item, sizeof item);
        *keyed = ok != 0;
    }
    if (parents) nlst_free(parents);
    return ok;
}

struct Items {
    nlst* list = nullptr;
    ~Items() { qd_te_line_items_free(&list); }
};

}  // namespace

int qd_te_line_build_single(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_line_build_single");
    const int32_t mode = rules->mode;
    switch (mode) {
    case TE_SINGLE: case TE_ALL: case TE_ALL_PRESERVE: case TE_DISSOLVE: case TE_PRESERVE:
    case TE_OVERLAY_NODES: case TE_BREAK: case TE_JOIN: break;
    default: return tel::mode_error(rules, -12);
    }
    const bool common = mode == TE_ALL || mode == TE_ALL_PRESERVE;
    tel::Geometry one(rules), all(rules);
    Items items;
    const int ok = tel::each_next_chain(chains, rules, [&](TeChain* c, int32_t position) {
        if (common) return qd_te_linear_chain_output(rules, c, &all.object, &all.parents);
        bool alone = mode == TE_SINGLE;
        if (mode == TE_JOIN) {
            if (c->chain_lookup_max < 0 && rules->output_option_2 == 1) return 1;
            const int32_t b = c->chain_lookup_max < 0 && rules->output_option_3 == 0 ? -1 : c->chain_lookup_max;
            const TeOutputItem item{11, b, position, -1, nullptr};
            if (!qd_te_append_item_to_list(&items.list, &item, sizeof item)) return 0;
        } else if (!alone) {
            bool keyed = false;
            if (!frequent_item(&items.list, c, position, &keyed)) return 0;
            alone = !keyed;
        }
        if (!alone) return 1;
        if (!qd_te_linear_chain_output(rules, c, &one.object, &one.parents)) return 0;
        const int delivered = one.empty() ? 1 : one.deliver();
        one.clear();
        return delivered;
    });
    if (!ok) return 0;
    if (common) return all.empty() ? 1 : all.deliver();
    return qd_te_line_build_preserve(chains, rules, items.list);
}

int qd_te_line_build_contiguous(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_line_build_contiguous");
    const int32_t count = int32_t(chains->tally);
    if (count < 2) return 1;
    uint8_t* bits = qd_te_bits_alloc(count);
    if (!bits) return qd_te_no_memory();
    auto visited = [&](int32_t i) { return (bits[i / 8] >> (i % 8)) & 1; };
    auto visit = [&](int32_t i) { bits[i / 8] = uint8_t(bits[i / 8] | (1 << (i % 8))); };
    tel::Geometry group(rules);
    std::deque<int32_t> queue;
    int32_t position = 1;
    int ok = 1;
    while (ok) {
        const int found = qd_te_linear_next_chain(&position, chains, bits, rules);
        if (found <= 0) {
            ok = found == 0;
            break;
        }
        if (!tel::heartbeat(rules)) {
            ok = 0;
            break;
        }
        queue.assign(1, position);
        while (ok && !queue.empty()) {
            const int32_t row = queue.front();
            queue.pop_front();
            if (visited(row)) continue;
            visit(row);
            TeChain* c = qd_te_chain_at(chains, row);
            // Both walk links, whichever end they leave from.
            for (int32_t link : {c->left_link, c->right_link}) {
                const int32_t next = link < 0 ? -link : link;
                if (next != 0 && next != row && tel::valid_row(chains, next) && !visited(next))
                    queue.push_back(next);
            }
            if (c->discard == CHAIN_OK && c->chain_type != TE_REGION && c->chain_type != TE_ISLAND)
                ok = qd_te_linear_chain_output(rules, c, &group.object, &group.parents);
        }
        if (ok && !group.empty()) ok = group.deliver();
        group.clear();
    }
    qd_free(bits);
    return ok;
}

namespace {

struct BranchBuild {
    nlst* chains;
    TeRules* rules;
    std::vector<uint8_t> in_branch, queued;
    std::deque<int32_t> pending;
    std::vector<int32_t> branch;

    TeChain* at(int32_t row) const { return qd_te_chain_at(chains, row); }
    bool ok_chain(int32_t row) const { return at(row)->discard == CHAIN_OK; }

    void reach(int32_t row) {
        if (!in_branch[size_t(row)] && ok_chain(row)) branch.push_back(row);
        in_branch[size_t(row)] = 1;
    }

    // Queues the chains round the node that the link value v reaches.
    void queue_node_chains(int32_t v) {
        const int32_t first = v;
        const int32_t limit = 2 * int32_t(chains->tally);
        for (int32_t step = 0; step < limit; ++step) {
            const int32_t c = v < 0 ? -v : v;
            if (!tel::valid_row(chains, c)) return;
            if (!in_branch[size_t(c)] && !queued[size_t(c)]) {
                if (ok_chain(c)) {
                    queued[size_t(c)] = 1;
                    pending.push_back(c);
                } else {
                    in_branch[size_t(c)] = 1;
                }
            }
            v = qd_te_linear_link_by_sign(at(c), v);
            if (v == first || v == 0) return;
        }
    }

    // Traces from the start chain along one of its walk links.
    void trace(int32_t start, int32_t link) {
        int32_t current = start;
        const int32_t limit = int32_t(chains->tally);
        for (int32_t step = 0; step < limit && link != 0; ++step) {
            const int32_t next = link < 0 ? -link : link;
            if (next == start || next == current || !tel::valid_row(chains, next)) return;
            const int32_t entering = qd_te_linear_link_by_sign(at(next), link);
            const int32_t back = qd_te_linear_link_by_sign(at(current), entering);
            const bool two = (entering < 0 ? -entering : entering) == current && (back < 0 ? -back : back) == next;
            if (!ok_chain(next) || two) {
                if (in_branch[size_t(next)] && ok_chain(next)) return;  // met by another route
                reach(next);
                link = link < 0 ? at(next)->right_link : at(next)->left_link;
                current = next;
                continue;
            }
            queue_node_chains(link);
            return;
        }
    }
};

}  // namespace

int qd_te_line_build_branch(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_line_build_branch");
    if (chains->tally < 2) return 1;
    BranchBuild b{chains, rules, {}, {}, {}, {}};
    b.in_branch.assign(chains->tally, 0);
    b.queued.assign(chains->tally, 0);
    tel::Geometry out(rules);
    // The bit set of the chain search mirrors in_branch.
    uint8_t* bits = qd_te_bits_alloc(int32_t(chains->tally));
    if (!bits) return qd_te_no_memory();
    int32_t position = 1;
    int ok = 1;
    for (;;) {
        int32_t start = -1;
        while (!b.pending.empty() && start < 0) {
            const int32_t s = b.pending.front();
            b.pending.pop_front();
            if (!b.in_branch[size_t(s)]) start = s;
        }
        if (start < 0) {
            for (uint32_t i = 0; i < chains->tally; ++i)
                if (b.in_branch[i]) bits[i / 8] = uint8_t(bits[i / 8] | (1 << (i % 8)));
            const int found = qd_te_linear_next_chain(&position, chains, bits, rules);
            if (found <= 0) {
                ok = found == 0;
                break;
            }
            start = position;
        }
        if (!tel::heartbeat(rules)) {
            ok = 0;
            break;
        }
        b.branch.clear();
        b.reach(start);
        b.trace(start, b.at(start)->left_link);
        b.trace(start, b.at(start)->right_link);
        for (int32_t row : b.branch)
            if (!(ok = qd_te_linear_chain_output(rules, b.at(row), &out.object, &out.parents))) break;
        if (ok && !out.empty()) ok = out.deliver(true);
        out.clear();
        if (!ok) break;
    }
    qd_free(bits);
    return ok;
}

int qd_te_linear_ff(nlst* chains, TeRules* rules, int32_t quiet) {
    if (!rules) return qd_te_missing("qd_te_linear_ff");
    if (!quiet) {
        const int32_t answer = qd_te_stage_event(rules, chains, TE_EVENT_LINEARS);
        if (answer != 1) return answer;
    }
    if (!chains) return qd_te_missing("qd_te_linear_ff");
    switch (rules->mode) {
    case TE_SINGLE: case TE_ALL: case TE_DISSOLVE: case TE_JOIN: case TE_PRESERVE: case TE_OVERLAY_NODES:
    case TE_ALL_PRESERVE: case TE_BREAK:
        return qd_te_line_build_single(chains, rules);
    case TE_SPLIT: case TE_ERASE_IN: case TE_ERASE_OUT: case TE_DIFFERENCE:
        return qd_te_cutter_l_ff(chains, rules);
    case TE_BRANCH: return qd_te_line_build_branch(chains, rules);
    case TE_CONTIGUOUS: return qd_te_line_build_contiguous(chains, rules);
    case TE_ADJACENT: return qd_te_adjacent_l_ff(chains, rules);
    case TE_INTERSECT: case TE_SYMMETRIC_DIFFERENCE: case TE_RELATE: case TE_SHARED:
        return qd_te_intersect_l_ff(chains, rules);
    case TE_BOUNDARY: return qd_te_boundary_l_ff(chains, rules);
    default: return tel::mode_error(rules, -12);
    }
}
