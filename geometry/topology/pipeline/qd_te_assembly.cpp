// The chain assembly pipeline: sorting and linking, the region filter, the
// cleaning and intersection stages by operation and data dimension, the
// verify step that unlinks chains found dead, cleanup, leaving and the
// output stage by dimension; collected output of SPLIT and the erases.
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_output.h"

TeStageObserver qd_te_stage_observer = {nullptr, nullptr};

namespace {

bool alive(const TeChain& c) { return c.discard == CHAIN_OK; }
bool ring(const TeChain& c) { return c.chain_type == TE_REGION || c.chain_type == TE_ISLAND; }
bool collects_output(int32_t mode) {
    return mode == TE_SPLIT || mode == TE_ERASE_IN || mode == TE_ERASE_OUT;
}

int heartbeat(TeRules* rules) { return qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method); }

// Walks the link order: for each chain `wants` accepts, `work(index)`;
// then the verify step unless the chain was passed over and `verify_skipped`
// is false. 1 at the end of the order, 0 on any failure.
template <class Wants, class Work>
int stage_loop(TeRules* rules, nlst* chains, Wants wants, Work work, bool verify_worked,
               bool verify_skipped) {
    int32_t index = 0;
    TeChain* next = nullptr;
    for (;;) {
        if (!heartbeat(rules)) return 0;
        if (!qd_te_link_get_next_chain(chains, &index, &next)) return 0;
        if (!next) return 1;
        const bool take = wants(*next);
        if (take && !work(index)) return 0;
        if ((take ? verify_worked : verify_skipped) && !qd_te_process_chains_verify(chains, &index))
            return 0;
    }
}

bool mers_meet(const TeChain& a, const TeChain& b) {
    return a.chain_mer[0].x <= b.chain_mer[1].x && b.chain_mer[0].x <= a.chain_mer[1].x &&
           a.chain_mer[0].y <= b.chain_mer[1].y && b.chain_mer[0].y <= a.chain_mer[1].y;
}

int32_t inputs_encoded(const TeRules* rules) { return rules->statistics.tallies[3]; }

int standard_stages(TeRules* rules, nlst* chains) {
    TeStatistics& s = rules->statistics;
    switch (s.data_dim) {
    case 1:
        return qd_te_stage_event(rules, chains, TE_EVENT_PRIMARY_DUPLICATES) &&
               qd_te_process_chains_duplicate(chains, rules, 1) &&
               qd_te_stage_event(rules, chains, TE_EVENT_FINAL_CLUSTERING) &&
               qd_te_process_chains_cluster(rules, chains);
    case 2:
    case 3:
        if (!(qd_te_stage_event(rules, chains, TE_EVENT_PRIMARY_CLUSTERING) &&
              qd_te_process_chains_cluster(rules, chains) &&
              qd_te_stage_event(rules, chains, TE_EVENT_PRIMARY_DUPLICATES) &&
              qd_te_process_chains_duplicate(chains, rules, 1) &&
              qd_te_stage_event(rules, chains, TE_EVENT_OVERLAPPING) &&
              qd_te_process_chains_touch(chains, rules) && qd_te_process_chains_filter(rules, chains) &&
              qd_te_stage_event(rules, chains, TE_EVENT_INTERSECTION) &&
              qd_te_process_chains_intersect(rules, chains)))
            return 0;
        if (rules->no_intersect == 1) return 1;
        return qd_te_stage_event(rules, chains, TE_EVENT_FINAL_CLUSTERING) &&
               qd_te_process_chains_cluster(rules, chains) &&
               qd_te_stage_event(rules, chains, TE_EVENT_FINAL_DUPLICATES) &&
               qd_te_process_chains_duplicate(chains, rules, 1) &&
               qd_te_process_chains_duplicate_nodes(rules, chains);
    default:
        qd_te_error_method(-15, &rules->error_method);
        return 0;
    }
}

}  // namespace

int32_t qd_te_stage_event(TeRules* rules, const nlst* chains, int32_t event) {
    if (!rules) return qd_te_missing("qd_te_stage_event");
    if (qd_te_stage_observer.function && event != TE_EVENT_HEARTBEAT)
        qd_te_stage_observer.function(event, chains, rules, qd_te_stage_observer.user);
    return qd_te_event_method(event, &rules->event_method);
}

int qd_te_chain_compare(const void* a, const void* b) {
    const TeChain& p = *static_cast<const TeChain*>(a);
    const TeChain& q = *static_cast<const TeChain*>(b);
    const bool pu = p.discard == CHAIN_SENTINAL, qu = q.discard == CHAIN_SENTINAL;
    if (pu != qu) return pu ? -1 : 1;
    auto up = [](double x, double y) { return x < y ? -1 : x > y ? 1 : 0; };
    if (int c = up(p.chain_mer[0].x, q.chain_mer[0].x)) return c;
    if (int c = up(p.chain_mer[0].y, q.chain_mer[0].y)) return c;
    if (p.chain_type != q.chain_type) return p.chain_type < q.chain_type ? -1 : 1;
    if (int c = up(q.chain_mer[1].x, p.chain_mer[1].x)) return c;
    return up(q.chain_mer[1].y, p.chain_mer[1].y);
}

int qd_te_chain_list_sort(nlst* chains) {
    if (!chains) return qd_te_missing("qd_te_chain_list_sort");
    if (chains->tally < 2) return 1;
    // The order of qd_te_chain_compare with ties kept in row order. Chains
    // of the sentinel kind lead; each group is sorted as small keys (minimum
    // x and row) whose equal x fall back to the records' other keys. Then
    // each record moves once, along the permutation's cycles.
    struct Key {
        double min_x;
        uint32_t row;
    };
    const uint32_t n = chains->tally;
    TeChain* first = qd_te_chain_at(chains, 0);
    std::unique_ptr<uint32_t[]> order(new (std::nothrow) uint32_t[n]);
    std::unique_ptr<Key[]> keys(new (std::nothrow) Key[n]);
    if (!order || !keys) {
        QD_FAIL("UKT_0", "function%s", "qd_te_chain_list_sort", nullptr);
        return 0;
    }
    // Sentinel chains' keys fill the array from the front, the others' from
    // the back (the row breaks every tie, so their order here does not matter).
    uint32_t heads = 0, rest = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const Key k{first[i].chain_mer[0].x, i};
        if (first[i].discard == CHAIN_SENTINAL) keys[heads++] = k;
        else keys[n - 1 - rest++] = k;
    }
    auto up = [](double x, double y) { return x < y ? -1 : x > y ? 1 : 0; };
    const auto before = [&](const Key& a, const Key& b) {
        if (a.min_x < b.min_x) return true;
        if (a.min_x > b.min_x) return false;
        const TeChain& p = first[a.row];
        const TeChain& q = first[b.row];
        if (int c = up(p.chain_mer[0].y, q.chain_mer[0].y)) return c < 0;
        if (p.chain_type != q.chain_type) return p.chain_type < q.chain_type;
        if (int c = up(q.chain_mer[1].x, p.chain_mer[1].x)) return c < 0;
        if (int c = up(q.chain_mer[1].y, p.chain_mer[1].y)) return c < 0;
        return a.row < b.row;
    };
    std::sort(keys.get(), keys.get() + heads, before);
    std::sort(keys.get() + heads, keys.get() + n, before);
    for (uint32_t i = 0; i < n; ++i) order[i] = keys[i].row;
    keys.reset();
    // Position i takes the record of row order[i]; a placed position gets
    // its own row.
    for (uint32_t start = 0; start < n; ++start) {
        if (order[start] == start) continue;
        const TeChain saved = first[start];
        uint32_t i = start;
        for (;;) {
            const uint32_t from = order[i];
            order[i] = i;
            if (from == start) {
                first[i] = saved;
                break;
            }
            first[i] = first[from];
            i = from;
        }
    }
    return 1;
}

int qd_te_chain_list_halve_increment(nlst* chains) {
    if (!chains) return qd_te_missing("qd_te_chain_list_halve_increment");
    const uint32_t half = chains->tally / 2;
    nlst_set_inc(chains, chains->tally == 1 ? 2 : std::max<uint32_t>(half, 1));
    return 1;
}

int qd_te_process_chains_verify(nlst* chains, int32_t* index) {
    if (!chains || !index || *index < 0 || uint32_t(*index) >= chains->tally)
        return qd_te_missing("qd_te_process_chains_verify");
    if (qd_te_chain_at(chains, *index)->discard == CHAIN_OK) return 1;
    return qd_te_link_remove_chain(chains, index);
}

int qd_te_process_chains_cleanup(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_process_chains_cleanup");
    for (uint32_t i = 1; i < chains->tally;) {
        if (!heartbeat(rules)) return 0;
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->discard == CHAIN_OK) {
            ++i;
            continue;
        }
        qd_te_geo_chain_release(c);
        const uint32_t last = chains->tally - 1;
        if (i != last) *c = *qd_te_chain_at(chains, int32_t(last));
        chains->tally = last;
    }
    if (!qd_te_chain_list_sort(chains)) return 0;
    qd_te_chain_at(chains, 0)->link_free = -1;
    return qd_te_link_setup(chains);
}

int qd_te_process_chains_cluster(TeRules* rules, nlst* chains) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_chains_cluster");
    if (rules->no_cluster == 1 || !(rules->statistics.max_tolerance > 1e-10)) return 1;
    return stage_loop(rules, chains, alive, [&](int32_t index) {
        return qd_te_cluster_chains(chains, index, rules->cluster_option, rules->tolerance.tolerance);
    }, true, true);
}

int qd_te_process_chains_duplicate(nlst* chains, TeRules* rules, int32_t snap) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_chains_duplicate");
    if (rules->no_cluster == 1) snap = 0;
    return stage_loop(rules, chains, alive, [&](int32_t index) {
        return qd_te_duplicates_removal(chains, index, rules->tolerance.tolerance, snap);
    }, true, true);
}

int qd_te_process_chains_duplicate_nodes(TeRules* rules, nlst* chains) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_chains_duplicate_nodes");
    if (rules->mode != TE_DISSOLVE || rules->statistics.input_counters.count[3] <= 0) return 1;
    return stage_loop(rules, chains, alive, [&](int32_t index) {
        return qd_te_duplicates_node_removal(chains, index, rules->tolerance.tolerance, 0);
    }, true, true);
}

int qd_te_process_chains_filter(TeRules* rules, nlst* chains) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_chains_filter");
    const TeTolerance& t = rules->tolerance;
    if (!(t.distance_filter > 0 || t.bend_filter > 0)) return 1;
    return stage_loop(rules, chains, alive, [&](int32_t index) {
        return qd_te_geo_filter_chain(qd_te_chain_at(chains, index), t.distance_filter, t.bend_filter,
                                      t.tolerance);
    }, true, true);
}

int qd_te_process_chains_intersect(TeRules* rules, nlst* chains) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_chains_intersect");
    if (rules->no_intersect == 1) return 1;
    return stage_loop(rules, chains, [](const TeChain& c) { return alive(c) && !ring(c); },
                      [&](int32_t index) {
                          return qd_te_intersect_chains(chains, index, 1, rules->mode != TE_ADJACENT,
                                                        rules->tolerance.tolerance);
                      },
                      true, false);
}

int qd_te_process_chains_regions(nlst* chains, TeRules* rules) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_chains_regions");
    return stage_loop(rules, chains, [](const TeChain& c) { return alive(c) && ring(c); },
                      [&](int32_t index) {
                          return qd_te_intersect_pathline(chains, index, 1, rules->tolerance.tolerance);
                      },
                      false, false);
}

int qd_te_process_chains_touch(nlst* chains, TeRules* rules) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_chains_touch");
    if (rules->no_intersect == 1) return 1;
    nlst* touch = nullptr;
    auto is_line = [](const TeChain& c) {
        return alive(c) && (c.chain_type == TE_PATH || c.chain_type == TE_LINE);
    };
    const int walked = stage_loop(rules, chains, alive, [&](int32_t index) {
        if (!is_line(*qd_te_chain_at(chains, index))) return 1;
        bool collected = false;
        const TeChain& self = *qd_te_chain_at(chains, index);
        for (int32_t at = self.link_fore; at > 0; at = qd_te_chain_at(chains, at)->link_fore) {
            TeChain& other = *qd_te_chain_at(chains, at);
            if (other.chain_mer[0].x > self.chain_mer[1].x) break;
            if (!is_line(other) || other.poly_right != -1) continue;
            GeoCoord meet[2];
            if (qd_te_cogo_envelope_relation(self.chain_mer, other.chain_mer, meet) == 8) continue;
            if (!qd_te_append_item_to_list(&touch, &at, sizeof at)) return 0;
            other.poly_right = 0;
            collected = true;
        }
        TeChain& me = *qd_te_chain_at(chains, index);
        if (collected && me.poly_right == -1) {
            me.poly_right = 0;
            if (!qd_te_append_item_to_list(&touch, &index, sizeof index)) return 0;
        }
        return 1;
    }, true, true);
    int ok = walked;
    if (ok && touch && touch->tally > 0) {
        int32_t changed = 0;
        ok = qd_te_fuzzy_int_path_touch(chains, touch, &changed, rules);
        if (ok && changed == 1) ok = qd_te_process_chains_cleanup(chains, rules);
    }
    if (touch) nlst_free(touch);
    return ok;
}

int qd_te_process_chains_intersect_nodes(TeRules* rules, nlst* chains) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_chains_intersect_nodes");
    if (!qd_te_stage_event(rules, chains, TE_EVENT_INTERSECTION)) return 0;
    nlst* crossings = nullptr;
    nlst* nodes = nullptr;
    const double tol = rules->tolerance.tolerance;
    int ok = stage_loop(rules, chains, [](const TeChain& c) { return alive(c) && !ring(c); },
                        [&](int32_t index) -> int {
                            TeChain* c = qd_te_chain_at(chains, index);
                            switch (rules->secondary) {
                            case TE_COMMON_CROSS: return qd_te_intersect_polylines(c, index, c, index, &crossings, tol, 0, 0);
                            case TE_COMMON_TOUCH: return qd_te_duplicates_path_clip(c, &nodes, index, nullptr, nullptr, 4, nullptr);
                            case TE_COMMON_ENDS: return qd_te_duplicates_path_clip(c, &nodes, index, nullptr, nullptr, 3, nullptr);
                            case TE_COMMON_ALL:
                                return qd_te_intersect_pathline(chains, index, 0, tol) &&
                                       qd_te_duplicates_path_clip(qd_te_chain_at(chains, index), &nodes, index, nullptr, nullptr, 2, nullptr);
                            case TE_CROSSING:
                            case TE_ALL_CROSSING:
                                return qd_te_intersect_pathline_record(chains, index, &crossings, 0,
                                                                       rules->secondary == TE_ALL_CROSSING, tol);
                            case TE_ALL_POINTS:
                                return qd_te_intersect_pathline(chains, index, 1, tol) &&
                                       qd_te_duplicates_path_clip(qd_te_chain_at(chains, index), &nodes, index, nullptr, nullptr, 1, nullptr);
                            default: return qd_te_duplicates_path_clip(c, &nodes, index, nullptr, nullptr, 2, nullptr);
                            }
                        },
                        false, false);
    if (ok) ok = qd_te_duplicates_intr_nodes_clip(crossings, chains, &nodes, nullptr, nullptr) && qd_te_output_intersect_nodes(nodes, chains, rules);
    if (crossings) nlst_free(crossings);
    if (nodes) nlst_free(nodes);
    return ok;
}

int qd_te_process_chains_convex_hull(TeRules* rules, nlst* chains) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_chains_convex_hull");
    if (!qd_te_stage_event(rules, chains, TE_EVENT_NODES)) return 0;
    return qd_te_output_convex_hull(chains, rules);
}

int qd_te_process_region_filter(TeRules* rules, nlst* chains) {
    if (!rules || !chains) return qd_te_missing("qd_te_process_region_filter");
    const int32_t mode = rules->mode;
    if (!(collects_output(mode) || mode == TE_OVERLAY_NODES)) return 1;
    int32_t& counter = rules->statistics.tallies[1];
    if (counter <= 0) return 1;
    const int32_t last_key = counter;
    std::vector<int32_t> rows;
    int ok = stage_loop(rules, chains, [](const TeChain& c) { return alive(c) && !ring(c); },
                        [&](int32_t index) {
                            TeChain* c = qd_te_chain_at(chains, index);
                            if (c->chain_pid == 0) c->chain_pid = ++counter;
                            rows.push_back(index);
                            return 1;
                        },
                        false, false);
    if (!ok) return 0;
    TeBitArray keys;
    qd_te_ba_init(&keys);
    if (!qd_te_ba_alloc(&keys, uint32_t(counter) + 1)) return qd_te_no_memory();
    std::vector<char> marked(rows.size(), 0);
    bool may_go = false;
    for (size_t i = 0; i < rows.size(); ++i) {
        const TeChain& a = *qd_te_chain_at(chains, rows[i]);
        for (size_t j = i + 1; j < rows.size(); ++j) {
            const TeChain& b = *qd_te_chain_at(chains, rows[j]);
            if (b.chain_mer[0].x > a.chain_mer[1].x) break;
            if (!mers_meet(a, b)) continue;
            if (mode == TE_ERASE_OUT && !(a.chain_pid < 0 || b.chain_pid < 0)) continue;
            marked[i] = marked[j] = 1;
        }
        const uint32_t key = uint32_t(std::abs(a.chain_pid));
        if (marked[i] || (mode != TE_ERASE_OUT && a.chain_pid >= 0)) qd_te_ba_set(&keys, key);
        else may_go = true;
    }
    if (may_go || counter > last_key) {
        ok = stage_loop(rules, chains, alive, [&](int32_t index) {
            TeChain* c = qd_te_chain_at(chains, index);
            const uint32_t key = uint32_t(std::abs(c->chain_pid));
            if (!qd_te_ba_test(&keys, key)) c->discard = CHAIN_DELETE;
            else if (c->chain_pid > last_key) c->chain_pid = 0;
            return 1;
        }, true, true);
    }
    qd_te_ba_free(&keys);
    return ok;
}

int qd_te_process_chains(TeRules* rules, nlst* chains, int* done) {
    if (!rules || !done || !chains) return qd_te_missing("qd_te_process_chains");
    *done = 0;
    if (chains->tally <= 1) {
        *done = 1;
        return 1;
    }
    auto reset = [&] {
        *done = 1;
        return qd_te_geo_chain_list_reset(chains);
    };
    int ok = 1;
    switch (rules->mode) {
    case TE_ADJACENT:
        if (inputs_encoded(rules) <= 1) return reset();
        ok = qd_te_process_chains_regions(chains, rules) && standard_stages(rules, chains);
        break;
    case TE_LOADER:
        return reset();
    case TE_INTERSECT:
    case TE_DIFFERENCE:
    case TE_DISTANCE:
    case TE_RELATE:
    case TE_SHARED:
        if (inputs_encoded(rules) <= 1) return reset();
        ok = standard_stages(rules, chains);
        break;
    case TE_INTERSECT_NODES:
        *done = 1;
        if (rules->secondary == TE_ALL_CROSSING &&
            !(qd_te_stage_event(rules, chains, TE_EVENT_PRIMARY_DUPLICATES) &&
              qd_te_process_chains_duplicate(chains, rules, 1)))
            return 0;
        return qd_te_process_chains_intersect_nodes(rules, chains);
    case TE_CONVEX_HULL:
        *done = 1;
        return qd_te_process_chains_convex_hull(rules, chains);
    case TE_BOUNDARY:
        *done = 1;
        return qd_te_linear_ff(chains, rules, 0);
    default:
        ok = standard_stages(rules, chains);
        break;
    }
    if (!ok) return 0;
    if (chains->tally <= 1 || qd_te_chain_at(chains, 0)->link_fore == -1) *done = 1;
    return 1;
}

int qd_te_assemble_chains(nlst* chains, TeRules* rules) {
    if (!rules || !chains) return qd_te_missing("qd_te_assemble_chains");
    if (!qd_te_stage_event(rules, chains, TE_EVENT_DATA_PROCESSING)) return 0;
    TeStatistics& s = rules->statistics;
    qd_te_order_margin = 2 * std::fmax(s.max_tolerance, rules->tolerance.tolerance);
    if (chains->tally <= 1) {
        for (double& e : s.data_extent) e = 0;
        return 1;
    }
    const TeOutputCallback saved = rules->output_method;
    nlst* collected = nullptr;
    if (collects_output(rules->mode)) {
        collected = nlst_alloc(sizeof(TeCollected), 4, 4, nullptr);
        if (!collected) return qd_te_no_memory();
        rules->output_method = {qd_te_collect_output, collected};
    }
    auto run = [&]() -> int {
        if (!qd_te_stage_event(rules, chains, TE_EVENT_SETUP)) return 0;
        qd_te_chain_list_halve_increment(chains);
        if (!qd_te_chain_list_sort(chains)) return 0;
        const double margin = std::fmax(s.max_tolerance, rules->tolerance.tolerance);
        if (!qd_te_link_largest_mer(chains, s.data_extent, margin) || !qd_te_link_setup(chains) ||
            !qd_te_link_topology(rules) || !qd_te_rules_verify(rules))
            return 0;
        if (!qd_te_mode_check(s.data_dim, rules->mode, rules->secondary)) {
            qd_te_error_method(-12, &rules->error_method);
            return 0;
        }
        int done = 0;
        if (!qd_te_process_region_filter(rules, chains) || !qd_te_process_chains(rules, chains, &done))
            return 0;
        if (done) return 1;
        if (!qd_te_stage_event(rules, chains, TE_EVENT_CLEANUP) || !qd_te_leaving(chains, rules) ||
            !qd_te_stage_event(rules, chains, TE_EVENT_FEATURES))
            return 0;
        const int32_t mode = rules->mode;
        const bool buffer = mode == TE_BUFFER || mode == TE_BUFFER_ALL || mode == TE_BUFFER_SPLIT ||
                            mode == TE_BUFFER_OVERLAP;
        switch (rules->output_dim) {
        case 1:
            return buffer ? qd_te_poly_ff(chains, rules, 0) : qd_te_node_ff(chains, rules, 0);
        case 2:
            if (buffer) return qd_te_poly_ff(chains, rules, 0);
            if (mode == TE_DISTANCE) return qd_te_node_ff(chains, rules, 0);
            return qd_te_linear_ff(chains, rules, 0);
        case 3:
            if (mode == TE_BRANCH || mode == TE_ADJACENT || mode == TE_SHARED)
                return qd_te_linear_ff(chains, rules, 0);
            if (mode == TE_DISTANCE) return qd_te_node_ff(chains, rules, 0);
            return qd_te_poly_ff(chains, rules, 0);
        default:
            qd_te_error_method(-15, &rules->error_method);
            return 0;
        }
    };
    int ok = run();
    rules->output_method = saved;
    if (collected) {
        if (ok) ok = qd_te_flush_collected(collected, rules, &rules->output_method);
        qd_te_free_collected(&collected);
    }
    return ok;
}

namespace {

bool same_parent_ids(const nlst* a, const nlst* b) {
    const uint32_t na = a ? a->tally : 0, nb = b ? b->tally : 0;
    if (na != nb) return false;
    for (uint32_t i = 0; i < na; ++i) {
        const auto* p = static_cast<const TeParent*>(nlst_index(a, i));
        const auto* q = static_cast<const TeParent*>(nlst_index(b, i));
        if (p->id_a != q->id_a || p->id_b != q->id_b) return false;
    }
    return true;
}

int append_copies(const SpatialObject* from, SpatialObject* to) {
    const uint32_t n = from->primitives ? from->primitives->tally : 0;
    for (uint32_t i = 0; i < n; ++i)
        if (!ktgeo_util_append_primitive_to_list(
                static_cast<const GeometricPrimitive*>(nlst_index(from->primitives, i)), to))
            return 0;
    return 1;
}

}  // namespace

int32_t qd_te_collect_output(SpatialObject* result, nlst* parents, void* user) {
    auto* collected = static_cast<nlst*>(user);
    if (!result || !collected) return qd_te_missing("qd_te_collect_output");
    nlst* merged = nullptr;
    if (!qd_te_parents_append(&merged, parents) || !qd_te_parents_merge_duplicates(merged)) {
        if (merged) nlst_free(merged);
        return 0;
    }
    int32_t found = -1;
    for (int32_t i = int32_t(collected->tally) - 1; i >= 0 && found < 0; --i)
        if (same_parent_ids(static_cast<TeCollected*>(nlst_index(collected, uint32_t(i)))->parents, merged))
            found = i;
    int ok = 1;
    TeCollected record;
    if (found >= 0) {
        nlst_get(collected, &record, uint32_t(found));
        ok = append_copies(result, &record.result);
        for (uint32_t k = 0; ok && record.parents && k < record.parents->tally; ++k)
            qd_te_parent_merge(static_cast<TeParent*>(nlst_index(record.parents, k)),
                               static_cast<const TeParent*>(nlst_index(merged, k)));
        nlst_free(merged);
        // Moved to the end, so the next search meets it first.
        if (ok) ok = nlst_remove(collected, uint32_t(found)) && nlst_add(collected, &record);
        return ok;
    }
    record.result = *result;
    record.result.primitives = nullptr;
    record.parents = merged;
    ok = append_copies(result, &record.result) && nlst_add(collected, &record);
    if (!ok) {
        ktgeo_so_release(&record.result);
        if (merged) nlst_free(merged);
    }
    return ok;
}

int qd_te_flush_collected(nlst* collected, TeRules* rules, TeOutputCallback* output) {
    if (!collected || !rules || !output) return qd_te_missing("qd_te_flush_collected");
    rules->statistics.output_counters.count[0] = 0;
    int ok = 1;
    for (uint32_t i = 0; ok && i < collected->tally; ++i) {
        auto* r = static_cast<TeCollected*>(nlst_index(collected, i));
        ktgeo_so_complete(&r->result);
        ok = qd_te_assembly_method(&r->result, r->parents, rules->output_split, output) == 1;
        if (ok) ++rules->statistics.output_counters.count[0];
    }
    return ok;
}

void qd_te_free_collected(nlst** collected) {
    if (!collected || !*collected) return;
    for (uint32_t i = 0; i < (*collected)->tally; ++i) {
        auto* r = static_cast<TeCollected*>(nlst_index(*collected, i));
        ktgeo_so_release(&r->result);
        if (r->parents) nlst_free(r->parents);
    }
    nlst_free(*collected);
    *collected = nullptr;
}
