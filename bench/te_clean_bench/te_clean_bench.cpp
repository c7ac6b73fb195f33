// Cleaning stages against baselines measured in the same run: primary
// clustering and duplicate removal over 100,000 short random segments
// against sorting and linking the same chains; a 1,000-spoke hub against a
// 500-spoke hub (clustering one hub is quadratic in its spokes at worst:
// the ratio shows how far from linear), with the scans each hub took.
#include <cmath>
#include <cstdio>
#include <random>

#include "../runtime/bench_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_geo_chain.h"

namespace {

void add_line(nlst* chains, GeoCoord a, GeoCoord b, double tol) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_LINE;
    const GeoCoord pts[2] = {a, b};
    qd_te_geo_form_location(&c, pts, 2, tol, tol);
    nlst_add(chains, &c);
}

nlst* segments(int n, uint32_t seed) {
    nlst* chains = nullptr;
    qd_te_geo_chain_list_create(&chains, n + 1);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pos(0, 1000), step(-1, 1);
    for (int i = 0; i < n; ++i) {
        const GeoCoord a = {pos(rng), pos(rng), KTGEO_NO_Z};
        add_line(chains, a, {a.x + step(rng), a.y + step(rng), KTGEO_NO_Z}, 0.01);
    }
    return chains;
}

nlst* hub(int spokes) {
    nlst* chains = nullptr;
    qd_te_geo_chain_list_create(&chains, spokes + 1);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> jitter(-0.004, 0.004);
    for (int k = 0; k < spokes; ++k) {
        const double a = 2 * M_PI * k / spokes;
        add_line(chains, {jitter(rng), jitter(rng), KTGEO_NO_Z}, {10 * std::cos(a), 10 * std::sin(a), KTGEO_NO_Z},
                 0.05);
    }
    return chains;
}

void sort_link(nlst* chains) {
    qd_te_chain_list_sort(chains);
    qd_te_link_setup(chains);
}

template <class Stage>
void each_live(nlst* chains, Stage stage) {
    int32_t at = 0;
    for (TeChain* c = nullptr; qd_te_link_get_next_chain(chains, &at, &c) && c && at != 0;)
        if (c->discard == CHAIN_OK) stage(at);
}

int32_t max_scans = 0;

void clean(nlst* chains) {
    sort_link(chains);
    max_scans = 0;
    each_live(chains, [&](int32_t i) {
        qd_te_cluster_chains(chains, i, 0, 1e-10);
        max_scans = std::max(max_scans, qd_te_cluster_last_scans);
    });
    each_live(chains, [&](int32_t i) { qd_te_duplicates_removal(chains, i, 1e-10, 0); });
}

template <class Make, class Work>
double timed(Make make, Work work) {
    return best_seconds(
        [&] {
            nlst* chains = make();
            work(chains);
            qd_te_geo_chain_list_free(&chains);
        },
        3);
}

}  // namespace

int main() {
    const int n = 100000;
    const double made = timed([&] { return segments(n, 3); }, [](nlst*) {});
    const double ours = timed([&] { return segments(n, 3); }, clean) - made;
    const double base = timed([&] { return segments(n, 3); }, sort_link) - made;
    report("cluster + duplicates, 100k segments", ours / n * 1e9, base / n * 1e9, "sort + link");
    const double h1000 = timed([] { return hub(1000); }, clean);
    const int32_t scans1000 = max_scans;
    const double h500 = timed([] { return hub(500); }, clean);
    const int32_t scans500 = max_scans;
    std::printf("hub of 1000 spokes: %.3f ms (largest scan count %d); 500 spokes: %.3f ms (%d); ratio %.2f\n",
                h1000 * 1e3, scans1000, h500 * 1e3, scans500, h1000 / h500);
    return 0;
}
