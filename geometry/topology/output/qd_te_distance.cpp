// DISTANCE output: the shortest (or with MAX the longest) distance between
// two input features, handed out as its two end points in one object.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

struct ListFree {
    void operator()(nlst* l) const { nlst_free(l); }
};
using List = std::unique_ptr<nlst, ListFree>;

bool measured(const TeChain* c) {
    return c->discard == CHAIN_OK && c->chain_type != TE_REGION && c->chain_type != TE_ISLAND && c->coords &&
           c->coords->tally > 0;
}

// How far apart the boxes of two segments lie (0 when they meet).
double gap(const TeSegment& a, const TeSegment& b) {
    const double dx = std::fmax(0.0, std::fmax(a.env_min.x - b.env_max.x, b.env_min.x - a.env_max.x));
    const double dy = std::fmax(0.0, std::fmax(a.env_min.y - b.env_max.y, b.env_min.y - a.env_max.y));
    return std::hypot(dx, dy);
}

int deliver(SpatialObject* object, nlst* parents, TeRules* rules) {
    const int ok = qd_te_assembly_method(object, parents, rules->output_split, &rules->output_method) == 1;
    if (ok) ++rules->statistics.output_counters.count[0];
    return ok;
}

int two_points(const GeoCoord& a, const GeoCoord& b, nlst* parents, TeRules* rules) {
    SpatialObject object;
    qd_te_so_reset(&object, rules->output_csid);
    int ok = ktgeo_util_add_new_point(&object, &a, nullptr) && ktgeo_util_add_new_point(&object, &b, nullptr);
    if (ok) {
        rules->statistics.output_counters.count[3] += 2;
        rules->statistics.output_counters.count[11] += 2;
        ok = deliver(&object, parents, rules);
    }
    ktgeo_so_release(&object);
    return ok;
}

TeDistanceFeature* feature_record(nlst* features, int32_t number) {
    auto* f = static_cast<TeDistanceFeature*>(features->data);
    auto* at = std::lower_bound(f, f + features->tally, number,
                                [](const TeDistanceFeature& r, int32_t n) { return r.feature < n; });
    return at != f + features->tally && at->feature == number ? at : nullptr;
}

}  // namespace

int qd_te_output_distance_compute(TeDistanceFeature* r, const TeSegment* p, const TeSegment* s, TeRules* rules) {
    if (!r || !p || !s || !rules || !p->start || !p->end || !s->start || !s->end)
        return qd_te_missing("qd_te_output_distance_compute");
    if (rules->secondary == TE_MAX) {
        const GeoCoord* ps[2] = {p->start, p->end};
        const GeoCoord* ss[2] = {s->start, s->end};
        for (const GeoCoord* a : ps)
            for (const GeoCoord* b : ss) {
                const double d = std::hypot(a->x - b->x, a->y - b->y);
                if (r->partner < 0 || d > r->distance) {
                    r->a = *a;
                    r->b = *b;
                    r->distance = d;
                    r->partner = s->tag;
                }
            }
        return 1;
    }
    GeoCoord a, b;
    const double t = 0;
    qd_te_cogo_segment_nearest_points(p->start, p->end, s->start, s->end, &a, &b, &t);
    const double d = std::hypot(a.x - b.x, a.y - b.y);
    if (r->partner < 0 || d < r->distance) {
        r->a = a;
        r->b = b;
        r->distance = d;
        r->partner = s->tag;
    }
    return 1;
}

int qd_te_output_distance_search(nlst* segments, nlst* features, TeRules* rules, int32_t* best) {
    if (!rules || !best) return qd_te_missing("qd_te_output_distance_search");
    *best = -1;
    if (!segments || !features || segments->tally == 0 || features->tally == 0) return 1;
    auto* seg = static_cast<TeSegment*>(segments->data);
    const uint32_t n = segments->tally;
    std::stable_sort(seg, seg + n, [](const TeSegment& a, const TeSegment& b) { return a.tag < b.tag; });
    auto* f = static_cast<TeDistanceFeature*>(features->data);
    std::stable_sort(f, f + features->tally,
                     [](const TeDistanceFeature& a, const TeDistanceFeature& b) { return a.feature < b.feature; });
    // Groups of equal tag: the first segment of a group holds the position
    // of the next group, the others their group's first position.
    for (uint32_t i = 0, first = 0; i < n; ++i) {
        if (i > 0 && seg[i].tag != seg[i - 1].tag) {
            seg[first].mark = int32_t(i);
            first = i;
        }
        seg[i].mark = int32_t(first);
        if (i + 1 == n) seg[first].mark = int32_t(n);
    }
    const bool max = rules->secondary == TE_MAX;
    bool touching = false;
    // The shortest search visits the later groups' segments by the left
    // edge of their boxes: from the first whose box can reach within the
    // best distance yet of p's, up to the first that starts beyond it.
    std::vector<uint32_t> later;
    auto left_less = [&](uint32_t a, uint32_t b) { return seg[a].env_min.x < seg[b].env_min.x; };
    for (uint32_t g = 0; uint32_t(seg[g].mark) < n && !touching; g = uint32_t(seg[g].mark)) {
        const uint32_t next = uint32_t(seg[g].mark);
        TeDistanceFeature* r = feature_record(features, seg[g].tag);
        if (!r) continue;
        if (max) {
            for (uint32_t i = g; i < next; ++i)
                for (uint32_t j = next; j < n; ++j)
                    if (!qd_te_output_distance_compute(r, &seg[i], &seg[j], rules)) return 0;
        } else {
            later.clear();
            double widest = 0;
            for (uint32_t j = next; j < n; ++j) {
                later.push_back(j);
                widest = std::fmax(widest, seg[j].env_max.x - seg[j].env_min.x);
            }
            std::sort(later.begin(), later.end(), left_less);
            for (uint32_t i = g; i < next && !touching; ++i) {
                auto from = later.begin();
                if (r->partner >= 0) {
                    const double left = seg[i].env_min.x - r->distance - widest;
                    from = std::lower_bound(later.begin(), later.end(), left,
                                            [&](uint32_t j, double x) { return seg[j].env_min.x < x; });
                }
                for (auto at = from; at != later.end(); ++at) {
                    const TeSegment& s = seg[*at];
                    if (r->partner >= 0 && s.env_min.x > seg[i].env_max.x + r->distance) break;
                    // Boxes farther apart than the best yet are skipped.
                    if (r->partner >= 0 && gap(seg[i], s) > r->distance) continue;
                    if (!qd_te_output_distance_compute(r, &seg[i], &s, rules)) return 0;
                    if (r->distance < 1e-10) {
                        touching = true;
                        break;
                    }
                }
            }
        }
        if (r->partner < 0) continue;
        // A touching pair wins before the search stops.
        const double so_far = rules->statistics.measures[2];
        if (*best < 0 || touching || (max ? so_far < r->distance : so_far > r->distance)) {
            *best = int32_t(r - f);
            rules->statistics.measures[2] = r->distance;
        }
    }
    return 1;
}

int qd_te_output_distance_chain(TeChain* chain, TeRules* rules, int32_t* degenerate) {
    if (!chain || !rules || !degenerate) return qd_te_missing("qd_te_output_distance_chain");
    TeVertex *first = nullptr, *last = nullptr;
    int32_t skip = 0;
    if (!qd_te_form_start_end(chain, &first, &last, &skip)) return 0;
    *degenerate = skip || !first ? 1 : 0;
    if (*degenerate) return 1;
    nlst* parents = nullptr;
    int ok = qd_te_collect_parents(chain, &parents, 2, 1);
    const GeoCoord at{first->x, first->y, first->z};
    if (ok) ok = two_points(at, at, parents, rules);
    if (parents) nlst_free(parents);
    return ok;
}

int qd_te_output_distance_nodes(nlst* features, const TeDistanceFeature* best, TeRules* rules, nlst* chains) {
    if (!best || !rules) return qd_te_missing("qd_te_output_distance_nodes");
    if (!chains || !features || best->partner < 0) return 1;
    const TeDistanceFeature* f = static_cast<const TeDistanceFeature*>(features->data);
    const TeDistanceFeature* partner = nullptr;
    for (uint32_t i = 0; i < features->tally; ++i)
        if (f[i].feature == best->partner) partner = &f[i];
    nlst* parents = nullptr;
    int ok = qd_te_collect_parents(best->chain, &parents, 2, 0);
    if (ok && partner) ok = qd_te_collect_parents(partner->chain, &parents, 2, 1);
    if (ok) ok = two_points(best->a, best->b, parents, rules);
    if (parents) nlst_free(parents);
    return ok;
}

int qd_te_output_distance(nlst* chains, TeRules* rules) {
    if (!rules) return qd_te_missing("qd_te_output_distance");
    if (!chains || chains->tally < 2 || rules->statistics.tallies[1] < 2) return 1;
    const bool max = rules->secondary == TE_MAX;
    std::vector<int32_t> rows;
    uint32_t vertices = 0;
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (!measured(c)) continue;
        c->chain_pid = std::abs(c->chain_pid);
        rules->statistics.tallies[1] = std::max(rules->statistics.tallies[1], c->chain_pid);
        rows.push_back(int32_t(i));
        vertices += c->coords->tally;
        // A chain of two features: their distance is 0.
        if (!max && qd_te_parents_count(c, 2) > 1) {
            int32_t degenerate = 0;
            if (!qd_te_output_distance_chain(c, rules, &degenerate)) return 0;
            if (!degenerate) {
                rules->statistics.measures[2] = 0;
                return 1;
            }
        }
    }
    if (rows.empty()) return 1;
    const uint32_t keys = uint32_t(rules->statistics.tallies[1]);
    List segments(nlst_alloc(sizeof(TeSegment), vertices, vertices, nullptr));
    List features(nlst_alloc(sizeof(TeDistanceFeature), keys, keys, nullptr));
    if (!segments || !features) return qd_te_no_memory();
    for (int32_t row : rows) {
        TeChain* c = qd_te_chain_at(chains, row);
        nlst* holder = segments.get();
        if (!qd_te_fuzzy_load_segments(c->coords, nullptr, &holder, c->chain_pid)) return 0;
        if (feature_record(features.get(), c->chain_pid)) continue;
        const TeDistanceFeature record{c, c->chain_pid, -1, {0, 0, 0}, {0, 0, 0}, 0};
        if (!nlst_add(features.get(), &record)) return qd_te_no_memory();
        // Kept in order of number for the look-up above.
        auto* f = static_cast<TeDistanceFeature*>(features->data);
        std::stable_sort(f, f + features->tally,
                         [](const TeDistanceFeature& a, const TeDistanceFeature& b) { return a.feature < b.feature; });
    }
    int32_t best = -1;
    if (!qd_te_output_distance_search(segments.get(), features.get(), rules, &best)) return 0;
    if (best < 0) return 1;
    const TeDistanceFeature chosen = static_cast<const TeDistanceFeature*>(features->data)[best];
    return qd_te_output_distance_nodes(features.get(), &chosen, rules, chains);
}
