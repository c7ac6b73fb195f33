// The leaving stage and DISTANCE, each against a baseline run beside it:
// - the leaving stage of a linear SPLIT (renumbering, then the links at
//   every node) on a noded 300 x 300 lattice of LINE chains, against
//   gathering and sorting the chains' end records (x, y, chain, end);
// - DISTANCE between two wandering lines of 10,000 segments each side by
//   side,
//   against the double loop that takes the nearest points of every pair
//   of segments.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "../runtime/bench_util.h"
#include "../runtime/te_bench_util.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_parents.h"
#include "geometry/topology/qd_te_util.h"

namespace {

void add_chain(nlst* chains, int32_t type, const GeoCoord* pts, int32_t n, int32_t feature) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = type;
    c.chain_pid = feature;
    qd_te_geo_form_location(&c, pts, n, 1e-9, 1e-9);
    if (feature > 0) {
        c.right_parent = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
        const TeParent p = {feature, 1, 1 << 3};
        nlst_add(c.right_parent, &p);
    }
    nlst_add(chains, &c);
}

// Every edge of an n x n lattice of unit spacing as a LINE chain.
nlst* lattice(int n) {
    nlst* chains = nullptr;
    qd_te_geo_chain_list_create(&chains, 2 * n * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const GeoCoord a = {double(i), double(j), KTGEO_NO_Z};
            if (i + 1 < n) {
                const GeoCoord e[2] = {a, {double(i + 1), double(j), KTGEO_NO_Z}};
                add_chain(chains, TE_LINE, e, 2, 0);
            }
            if (j + 1 < n) {
                const GeoCoord e[2] = {a, {double(i), double(j + 1), KTGEO_NO_Z}};
                add_chain(chains, TE_LINE, e, 2, 0);
            }
        }
    return chains;
}

int leave(nlst* chains) {
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = TE_SPLIT;
    r.statistics.data_dim = TE_DIM_LINEAR;
    r.statistics.tallies[3] = 1;
    const int ok = qd_te_leaving(chains, &r);
    if (!ok) std::printf("  (the leaving stage failed)\n");
    return ok;
}

struct EndRecord {
    double x, y;
    int32_t chain, end;
};

int sort_ends(nlst* chains) {
    std::vector<EndRecord> ends;
    ends.reserve(2 * chains->tally);
    for (uint32_t i = 1; i < chains->tally; ++i) {
        const TeChain* c = qd_te_chain_at(chains, int32_t(i));
        const TeVertex* v = static_cast<const TeVertex*>(c->coords->data);
        const TeVertex& last = v[c->coords->tally - 1];
        ends.push_back({v[0].x, v[0].y, int32_t(i), 0});
        ends.push_back({last.x, last.y, int32_t(i), 1});
    }
    std::sort(ends.begin(), ends.end(), [](const EndRecord& a, const EndRecord& b) {
        if (a.x != b.x) return a.x < b.x;
        if (a.y != b.y) return a.y < b.y;
        return a.chain != b.chain ? a.chain < b.chain : a.end < b.end;
    });
    return ends.size() > 1;
}

// A wandering line of the given segments running along x inside the band
// lo <= y <= hi (two of them side by side: a river and a road).
std::vector<GeoCoord> wander(double lo, double hi, int segments, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dx(0.05, 0.15), dy(-0.5, 0.5);
    std::vector<GeoCoord> pts = {{0, (lo + hi) / 2, KTGEO_NO_Z}};
    while (int(pts.size()) <= segments) {
        const GeoCoord& p = pts.back();
        double y = p.y + dy(rng);
        if (y < lo) y = 2 * lo - y;
        if (y > hi) y = 2 * hi - y;
        pts.push_back({p.x + dx(rng), y, KTGEO_NO_Z});
    }
    return pts;
}

int32_t sink(SpatialObject*, nlst*, void*) { return 1; }

double distance_stage(const std::vector<GeoCoord>& a, const std::vector<GeoCoord>& b) {
    nlst* chains = nullptr;
    qd_te_geo_chain_list_create(&chains, 4);
    add_chain(chains, TE_PATH, a.data(), int32_t(a.size()), 1);
    add_chain(chains, TE_PATH, b.data(), int32_t(b.size()), 2);
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = TE_DISTANCE;
    r.output_method = {&sink, nullptr};
    r.statistics.tallies[1] = 2;
    qd_te_output_distance(chains, &r);
    qd_te_geo_chain_list_free(&chains);
    return r.statistics.measures[2];
}

double double_loop(const std::vector<GeoCoord>& a, const std::vector<GeoCoord>& b) {
    double best = INFINITY;
    const double t = 0;
    for (size_t i = 0; i + 1 < a.size(); ++i)
        for (size_t j = 0; j + 1 < b.size(); ++j) {
            GeoCoord p, q;
            qd_te_cogo_segment_nearest_points(&a[i], &a[i + 1], &b[j], &b[j + 1], &p, &q, &t);
            best = std::fmin(best, std::hypot(p.x - q.x, p.y - q.y));
        }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    // "leaving" or "distance" runs one part alone.
    const std::string only = argc > 1 ? argv[1] : "";
    if (only != "distance") {
    const int n = 300;
    const double chains = 2.0 * n * (n - 1);
    const double ours = timed([&] { return lattice(n); }, leave);
    const double base = timed([&] { return lattice(n); }, sort_ends);
    report("leaving stage, 300 x 300 lattice (per chain)", ours / chains * 1e9, base / chains * 1e9,
           "sorting the end records");
    std::printf("  target: ratio at most 4\n");
    }
    if (only == "leaving") return 0;

    const int segments = 10000;
    const std::vector<GeoCoord> a = wander(0, 10, segments, 7), b = wander(11, 21, segments, 11);
    double found = 0, want = 0;
    const double d_ours = best_seconds([&] { found = distance_stage(a, b); }, 3);
    const double d_base = best_seconds([&] { want = double_loop(a, b); }, 1);
    const double pairs = double(segments) * segments;
    report("DISTANCE, two lines of 10,000 segments (per segment pair)", d_ours / pairs * 1e9, d_base / pairs * 1e9,
           "double loop over the pairs");
    std::printf("  ratio %.5f (target: at most 0.1); distance %.12g, double loop %.12g\n", d_ours / d_base, found,
                want);
    return 0;
}
