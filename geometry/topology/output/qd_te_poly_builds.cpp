// Surface builds by operation: which polygons form which output geometry.
// One per polygon, all in one, grouped by most frequent parent or by the
// cutter regions they lie in, the polygons every input covers or an odd
// number of inputs cover, the targets outside or inside cutters, and the
// pieces of BREAK with its unclosed polygons handed on as lines.
#include <algorithm>
#include <vector>

#include "geometry/topology/output/qd_te_poly_internal.h"
#include "geometry/topology/qd_te_ba.h"

using te_poly::Delivery;
using te_poly::heartbeat;
using te_poly::Parents;

namespace {

uint32_t cutter_length(const nlst* l) { return l ? l->tally : 0; }

// Full keys: the order of items never depends on the sort.
bool by_key(const TeOutputItem& x, const TeOutputItem& y) {
    if (x.id_a != y.id_a) return x.id_a < y.id_a;
    if (x.id_b != y.id_b) return x.id_b < y.id_b;
    return x.polygon < y.polygon;
}

bool add_item(nlst** items, int32_t a, int32_t b, int32_t polygon, nlst* cutter) {
    const TeOutputItem item{a, b, polygon, -1, cutter};
    return qd_te_append_item_to_list(items, &item, sizeof item) == 1;
}

struct Items {
    nlst* list = nullptr;
    ~Items() {
        if (list) nlst_free(list);
    }
};

TeOutputItem* items_of(nlst* l) { return static_cast<TeOutputItem*>(l->data); }

// The polygon's parents by collection type, most frequent first.
int collect_sorted(TePolygon* p, nlst* polygons, nlst* chains, TeRules* rules, int32_t type, Parents* out) {
    out->clear();
    if (!qd_te_surface_collect_parents(p, polygons, chains, &out->list, type, rules)) return 0;
    if (out->size() > 0 && !qd_te_parents_sort_frequency(out->list)) return 0;
    return 1;
}

}  // namespace

int qd_te_poly_eligible(const TePolygon* p) {
    if (!p || p->id < 1 || p->discard == 1) return 0;
    return p->area > 0 || (p->area == 0 && p->island_list == 0 && p->inside == 1);
}

int qd_te_group_output_items(nlst* items) {
    if (!items || items->tally == 0) return 1;
    TeOutputItem* it = items_of(items);
    const uint32_t n = items->tally;
    std::sort(it, it + n, [](const TeOutputItem& x, const TeOutputItem& y) {
        if (x.id_a != y.id_a) return x.id_a < y.id_a;
        if (x.id_b != y.id_b) return x.id_b < y.id_b;
        if (cutter_length(x.cutter) != cutter_length(y.cutter)) return cutter_length(x.cutter) < cutter_length(y.cutter);
        return x.polygon < y.polygon;
    });
    for (uint32_t i = 0; i < n; ++i) it[i].group = -1;
    int32_t group = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (it[i].group >= 0) continue;
        it[i].group = group;
        for (uint32_t j = i + 1; j < n && it[j].id_a == it[i].id_a && it[j].id_b == it[i].id_b; ++j)
            if (it[j].group < 0 && qd_te_poly_same_cutter_lists(it[i].cutter, it[j].cutter)) it[j].group = group;
        ++group;
    }
    std::sort(it, it + n, [](const TeOutputItem& x, const TeOutputItem& y) {
        if (x.id_a != y.id_a) return x.id_a < y.id_a;
        if (x.id_b != y.id_b) return x.id_b < y.id_b;
        if (x.group != y.group) return x.group < y.group;
        return x.polygon < y.polygon;
    });
    return 1;
}

int qd_te_surf_build_preserve(nlst* polygons, nlst* chains, TeRules* rules, nlst* items) {
    if (!items || items->tally == 0) return 1;
    if (!chains || chains->tally == 0 || !polygons || !rules) return qd_te_missing("qd_te_surf_build_preserve");
    const int32_t mode = rules->mode;
    const bool grouped = mode == TE_SPLIT || mode == TE_ERASE_IN || mode == TE_ERASE_OUT || mode == TE_BREAK ||
                         (mode == TE_JOIN && rules->output_option_3 == 0);
    TeOutputItem* it = items_of(items);
    const uint32_t n = items->tally;
    if (grouped) {
        if (!qd_te_group_output_items(items)) return 0;
    } else {
        std::sort(it, it + n, by_key);
    }
    const bool dissolve = mode == TE_JOIN && rules->output_option_1 == 1;
    Delivery d(rules);
    for (uint32_t i = 0; i < n;) {
        uint32_t j = i;
        for (; j < n && it[j].id_a == it[i].id_a && it[j].id_b == it[i].id_b && (!grouped || it[j].group == it[i].group);
             ++j) {
            const int32_t row = it[j].polygon;
            if (row < 0 || uint32_t(row) >= polygons->tally) return qd_te_missing("qd_te_surf_build_preserve");
            if (!d.add(qd_te_poly_at(polygons, row), polygons, chains)) return 0;
        }
        if (!d.deliver(dissolve)) return 0;
        i = j;
    }
    return 1;
}

int qd_te_build_single(nlst* chains, nlst* polygons, TeRules* rules) {
    if (!chains || !polygons || !rules) return qd_te_missing("qd_te_build_single");
    const int32_t mode = rules->mode;
    switch (mode) {
    case TE_SINGLE: case TE_ALL: case TE_JOIN: case TE_PRESERVE: case TE_UNCLOSED: case TE_OVERLAY_NODES:
    case TE_ALL_PRESERVE: break;
    default:
        qd_te_error_method(-12, &rules->error_method);
        return 0;
    }
    Delivery common(rules), join(rules);
    Items items;
    Parents parents;
    bool joined = false;
    const int32_t n = int32_t(polygons->tally);
    for (int32_t i = 1; i < n; ++i) {
        TePolygon* p = qd_te_poly_at(polygons, i);
        if (!qd_te_poly_eligible(p)) continue;
        if (!heartbeat(rules)) return 0;
        switch (mode) {
        case TE_SINGLE: {
            Delivery d(rules);
            if (!d.add(p, polygons, chains) || !d.deliver()) return 0;
            break;
        }
        case TE_ALL:
            if (!common.add(p, polygons, chains)) return 0;
            break;
        case TE_ALL_PRESERVE:
            if (p->n_parents > 0 && !common.add(p, polygons, chains)) return 0;
            break;
        case TE_UNCLOSED:
            if (p->status == 0) {
                Delivery d(rules);
                if (!d.add(p, polygons, chains) || !d.deliver()) return 0;
            }
            break;
        case TE_JOIN:
            if (p->round_cut && p->round_cut->tally > 0) {
                if (rules->output_option_3 == 1) {
                    const auto* r = static_cast<const int32_t*>(p->round_cut->data);
                    for (uint32_t k = 0; k < p->round_cut->tally; ++k)
                        if (!add_item(&items.list, TE_JOIN, r[k], i, p->round_cut)) return qd_te_no_memory();
                } else if (!add_item(&items.list, TE_JOIN, 0, i, p->round_cut)) {
                    return qd_te_no_memory();
                }
            } else if (rules->output_option_2 != 1) {
                if (!collect_sorted(p, polygons, chains, rules, 4, &parents)) return 0;
                if (parents.size() > 0) {
                    if (!join.add(p, polygons, chains)) return 0;
                    joined = true;
                }
            }
            break;
        default:  // PRESERVE, OVERLAY_NODES
            if (!collect_sorted(p, polygons, chains, rules, 4, &parents)) return 0;
            if (parents.size() > 0 && !add_item(&items.list, parents.first().id_a, parents.first().id_b, i, p->round_cut))
                return qd_te_no_memory();
            break;
        }
    }
    if (mode == TE_ALL || mode == TE_ALL_PRESERVE) return common.deliver();
    if (!qd_te_surf_build_preserve(polygons, chains, rules, items.list)) return 0;
    if (mode == TE_JOIN && joined) return join.deliver(rules->output_option_1 == 1);
    return 1;
}

int qd_te_build_overlay(nlst* chains, nlst* polygons, TeRules* rules) {
    if (!rules) return qd_te_missing("qd_te_build_overlay");
    if (!chains || chains->tally == 0 || !polygons || polygons->tally == 0) return 1;
    const int32_t mode = rules->mode;
    if (mode != TE_INTERSECT && mode != TE_RELATE && mode != TE_SYMMETRIC_DIFFERENCE) {
        qd_te_error_method(-12, &rules->error_method);
        return 0;
    }
    if (!qd_te_surface_filter_islands(polygons, chains, rules)) return 0;
    const uint32_t inputs = uint32_t(std::max(rules->statistics.tallies[3], 0));
    Delivery common(rules);
    Items items;
    Parents parents;
    const int32_t n = int32_t(polygons->tally);
    for (int32_t i = 1; i < n; ++i) {
        TePolygon* p = qd_te_poly_at(polygons, i);
        if (p->discard == 1 || p->area < 0) continue;
        const bool unclosed = p->status == 0;
        if (!unclosed && !qd_te_poly_eligible(p)) continue;
        if (!heartbeat(rules)) return 0;
        if (!collect_sorted(p, polygons, chains, rules, unclosed ? 3 : 4, &parents)) return 0;
        const uint32_t c = parents.size();
        if (mode == TE_SYMMETRIC_DIFFERENCE) {
            if (c % 2 == 1 || unclosed) {
                if (!unclosed && !qd_te_surface_check_cutter_topology(p, chains, rules)) return 0;
                const TeParent key = c ? parents.first() : TeParent{0, 0, 0};
                if (!add_item(&items.list, key.id_a, key.id_b, i, p->round_cut)) return qd_te_no_memory();
            }
        } else if (c == inputs && !common.add(p, polygons, chains)) {
            return 0;
        }
    }
    if ((mode == TE_INTERSECT || mode == TE_RELATE) && !common.empty()) return common.deliver();
    return qd_te_surf_build_preserve(polygons, chains, rules, items.list);
}

int qd_te_build_break(nlst* chains, nlst* polygons, TeRules* rules) {
    if (!chains || chains->tally == 0 || !polygons || !rules) return qd_te_missing("qd_te_build_break");
    te_poly::Bits set;
    TeBitArray& bits = set.a;
    if (!qd_te_ba_alloc(&bits, chains->tally)) return qd_te_no_memory();
    qd_te_ba_set(&bits, 0);
    Items items;
    bool lines = false;
    const int32_t n = int32_t(polygons->tally);
    for (int32_t i = 1; i < n; ++i) {
        TePolygon* p = qd_te_poly_at(polygons, i);
        if (!qd_te_poly_eligible(p)) continue;
        if (!heartbeat(rules)) return 0;
        if (!qd_te_output_form_surf_check(p, rules, polygons, 0)) return 0;
        if (rules->mode != TE_BREAK) {
            qd_te_error_method(-12, &rules->error_method);
            return 0;
        }
        if (!(rules->convex || p->n_parents > 0) || p->discard == 1) continue;
        if (p->status == 1) {
            const bool by_cutter = rules->output_split != 3 && p->round_cut && p->round_cut->tally > 0;
            if (!add_item(&items.list, TE_BREAK, by_cutter ? 0 : p->id, i, by_cutter ? p->round_cut : nullptr))
                return qd_te_no_memory();
            continue;
        }
        switch (rules->secondary) {
        case TE_DISCARD: case TE_INCURSION: case TE_LINEAR:
            if (!qd_te_build_open_linears_collect(p, &bits, chains, 0)) return 0;
            lines = true;
            break;
        case TE_NONE: case TE_EXCURSION: break;
        default:
            qd_te_error_method(-13, &rules->error_method);
            return 0;
        }
    }
    if (!qd_te_surf_build_preserve(polygons, chains, rules, items.list)) return 0;
    if (!lines) return 1;
    for (uint32_t i = 1; i < chains->tally; ++i) {
        if (qd_te_ba_test(&bits, i)) continue;
        qd_te_chain_at(chains, int32_t(i))->discard = CHAIN_DELETE;
        if (!heartbeat(rules)) return 0;
    }
    qd_te_poly_release_cutter_lists(polygons);
    polygons->tally = 0;
    // The unclosed polygons' boundaries come out as lines of a nested run.
    TeNestedRules nested;
    qd_te_nested_begin(&nested, rules);
    nested.copy.output_dim = TE_DIM_LINEAR;
    nested.copy.statistics.data_dim = TE_DIM_LINEAR;
    if (nested.copy.secondary == TE_LINEAR) nested.copy.mode = TE_ALL;
    const int ok = qd_te_leaving(chains, &nested.copy) && qd_te_linear_ff(chains, &nested.copy, 0);
    qd_te_nested_end(&nested);
    return ok ? 1 : 0;
}

int qd_te_build_cutter(nlst* chains, nlst* polygons, TeRules* rules) {
    if (!chains || chains->tally == 0 || !polygons || !rules) return qd_te_missing("qd_te_build_cutter");
    Items items;
    Parents parents;
    const int32_t mode = rules->mode;
    const int32_t n = int32_t(polygons->tally);
    for (int32_t i = 1; i < n; ++i) {
        TePolygon* p = qd_te_poly_at(polygons, i);
        if (!qd_te_poly_eligible(p)) continue;
        if (!heartbeat(rules)) return 0;
        if (p->target != 1) {
            p->discard = 1;
            continue;
        }
        int32_t edge = 0;
        bool second = false;
        switch (mode) {
        case TE_SPLIT: edge = 2; second = true; break;
        case TE_ERASE_IN:
            if (p->cutter == 1) p->discard = 1;
            break;
        case TE_ERASE_OUT:
            edge = 1;
            second = true;
            if (p->cutter != 1) p->discard = 1;
            break;
        case TE_DIFFERENCE:
            if (p->cutter == 1) p->discard = 1;
            else if (!qd_te_surface_check_cutter_topology(p, chains, rules)) return 0;
            break;
        default:
            qd_te_error_method(-12, &rules->error_method);
            return 0;
        }
        if (p->discard == 1) continue;
        int32_t type = 2;
        const bool lookups = p->lookup_min >= 0 && p->lookup_max >= 0;
        if (p->n_parents > 0 && lookups) {
            if (!qd_te_surface_clear_cutter_parents(p, chains) || !qd_te_surface_collect_cutter_edge(p, chains, 4, 1))
                return 0;
            type = 4;
        } else if (p->n_parents <= 0) {
            if (!qd_te_surface_collect_cutter_edge(p, chains, edge, 1)) return 0;
            type = 4;
        }
        if (!collect_sorted(p, polygons, chains, rules, type, &parents)) return 0;
        if (parents.size() == 0) {
            if (p->round_cut) nlst_free(p->round_cut);
            p->round_cut = nullptr;
            continue;
        }
        if (!add_item(&items.list, parents.first().id_a, parents.first().id_b, i, p->round_cut))
            return qd_te_no_memory();
        if (second && !qd_te_surface_collect_cutter_edge(p, chains, 4, 2)) return 0;
        if (parents.size() == 1 && lookups && !qd_te_surface_collect_cutter_edge(p, chains, 4, 1)) return 0;
    }
    return qd_te_surf_build_preserve(polygons, chains, rules, items.list);
}
