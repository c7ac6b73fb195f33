// DISTANCE output: the shortest (or with MAX the longest) distance between
// two input features, handed out as its two end points in one object.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

// A segment of a feature's stroked chain (a point gives one of length 0).
struct Seg {
    GeoCoord s, e;
    GeoCoord lo, hi;
    int32_t feature;
};

bool measured(const TeChain* c) {
    return c->discard == CHAIN_OK && c->chain_type != TE_REGION && c->chain_type != TE_ISLAND && c->coords &&
           c->coords->tally > 0;
}

double gap(const Seg& a, const Seg& b) {
    const double dx = std::fmax(0.0, std::fmax(a.lo.x - b.hi.x, b.lo.x - a.hi.x));
    const double dy = std::fmax(0.0, std::fmax(a.lo.y - b.hi.y, b.lo.y - a.hi.y));
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

// One segment pair for the feature record r.
void compute(TeDistanceFeature* r, const Seg& p, const Seg& s, bool max) {
    if (max) {
        const GeoCoord* ps[2] = {&p.s, &p.e};
        const GeoCoord* ss[2] = {&s.s, &s.e};
        for (const GeoCoord* a : ps)
            for (const GeoCoord* b : ss) {
                const double d = std::hypot(a->x - b->x, a->y - b->y);
                if (r->partner < 0 || d > r->distance) {
                    r->a = *a;
                    r->b = *b;
                    r->distance = d;
                    r->partner = s.feature;
                }
            }
        return;
    }
    GeoCoord a, b;
    const double t = 0;
    qd_te_cogo_segment_nearest_points(&p.s, &p.e, &s.s, &s.e, &a, &b, &t);
    const double d = std::hypot(a.x - b.x, a.y - b.y);
    if (r->partner < 0 || d < r->distance) {
        r->a = a;
        r->b = b;
        r->distance = d;
        r->partner = s.feature;
    }
}

}  // namespace

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
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (!measured(c)) continue;
        c->chain_pid = std::abs(c->chain_pid);
        rules->statistics.tallies[1] = std::max(rules->statistics.tallies[1], c->chain_pid);
        rows.push_back(int32_t(i));
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
    std::vector<Seg> segs;
    std::vector<TeDistanceFeature> features;
    for (int32_t row : rows) {
        TeChain* c = qd_te_chain_at(chains, row);
        GeoCoord* pts = nullptr;
        int32_t n = 0;
        if (!qd_te_geo_get_coords(c, &pts, &n, 1)) return 0;
        for (int32_t k = 0; k < std::max(n - 1, n > 0 ? 1 : 0); ++k) {
            const GeoCoord& a = pts[k];
            const GeoCoord& b = pts[n > 1 ? k + 1 : k];
            segs.push_back({a, b, {std::fmin(a.x, b.x), std::fmin(a.y, b.y), 0}, {std::fmax(a.x, b.x), std::fmax(a.y, b.y), 0},
                            c->chain_pid});
        }
        qd_free(pts);
        if (std::none_of(features.begin(), features.end(), [&](const TeDistanceFeature& f) { return f.feature == c->chain_pid; }))
            features.push_back({c, c->chain_pid, -1, {0, 0, 0}, {0, 0, 0}, 0});
    }
    std::stable_sort(segs.begin(), segs.end(), [](const Seg& a, const Seg& b) { return a.feature < b.feature; });
    std::sort(features.begin(), features.end(),
              [](const TeDistanceFeature& a, const TeDistanceFeature& b) { return a.feature < b.feature; });
    // Groups of one feature each; every segment meets those of later groups.
    std::vector<size_t> starts;
    for (size_t i = 0; i < segs.size(); ++i)
        if (i == 0 || segs[i].feature != segs[i - 1].feature) starts.push_back(i);
    starts.push_back(segs.size());
    int32_t best = -1;
    bool touching = false;
    for (size_t g = 0; g + 2 < starts.size() && !touching; ++g) {
        TeDistanceFeature* r = &*std::find_if(features.begin(), features.end(),
                                              [&](const TeDistanceFeature& f) { return f.feature == segs[starts[g]].feature; });
        for (size_t i = starts[g]; i < starts[g + 1] && !touching; ++i)
            for (size_t j = starts[g + 1]; j < segs.size(); ++j) {
                // The shortest search skips boxes farther apart than the best yet.
                if (!max && r->partner >= 0 && gap(segs[i], segs[j]) > r->distance) continue;
                compute(r, segs[i], segs[j], max);
                if (!max && r->partner >= 0 && r->distance < 1e-10) {
                    touching = true;
                    break;
                }
            }
        if (r->partner < 0) continue;
        // A touching pair wins before the search stops.
        const double so_far = rules->statistics.measures[2];
        const int32_t at = int32_t(r - features.data());
        if (best < 0 || touching || (max ? so_far < r->distance : so_far > r->distance)) {
            best = at;
            rules->statistics.measures[2] = r->distance;
        }
    }
    if (best < 0) return 1;
    nlst* list = nlst_alloc(sizeof(TeDistanceFeature), uint32_t(features.size()), 1, nullptr);
    if (!list || !nlst_add_many(list, features.data(), uint32_t(features.size()))) {
        if (list) nlst_free(list);
        return qd_te_no_memory();
    }
    const TeDistanceFeature chosen = features[size_t(best)];
    const int ok = qd_te_output_distance_nodes(list, &chosen, rules, chains);
    nlst_free(list);
    return ok;
}
