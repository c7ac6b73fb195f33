// The intersection stage against sorting and linking the same chains,
// measured in one run: 100,000 short random segments, and a few chains
// spanning the whole extent. The stage walks the link order, pairs chains
// whose rectangles meet and finds their crossings and contacts; the pieces
// are left to the cutting step, which this program does not time (the
// crossings found are handed to a counter instead), so the figure is the
// cost of the walk, the pair dispatch and the geometry.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "../runtime/te_bench_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_geo_chain.h"

namespace {

void add_chain(nlst* chains, int32_t type, const GeoCoord* pts, int32_t n, double tol) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = type;
    qd_te_geo_form_location(&c, pts, n, tol, tol);
    nlst_add(chains, &c);
}

nlst* segments(int n, uint32_t seed) {
    nlst* chains = nullptr;
    qd_te_geo_chain_list_create(&chains, n + 1);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pos(0, 1000), step(-1, 1);
    for (int i = 0; i < n; ++i) {
        const GeoCoord a = {pos(rng), pos(rng), KTGEO_NO_Z};
        const GeoCoord pts[2] = {a, {a.x + step(rng), a.y + step(rng), KTGEO_NO_Z}};
        add_chain(chains, TE_LINE, pts, 2, 1e-9);
    }
    return chains;
}

// A few paths of many vertices zig-zagging across the whole extent.
nlst* spanning(int paths, int vertices, uint32_t seed) {
    nlst* chains = nullptr;
    qd_te_geo_chain_list_create(&chains, paths + 1);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pos(0, 1000);
    std::vector<GeoCoord> pts(static_cast<size_t>(vertices));
    for (int p = 0; p < paths; ++p) {
        for (int i = 0; i < vertices; ++i) pts[size_t(i)] = {1000.0 * i / (vertices - 1), pos(rng), KTGEO_NO_Z};
        add_chain(chains, TE_PATH, pts.data(), vertices, 1e-9);
    }
    return chains;
}

void sort_link(nlst* chains) {
    qd_te_chain_list_sort(chains);
    qd_te_link_setup(chains);
}

long found_items = 0;
int count_items(const char*, const TeIntersectionList* items, int32_t, int32_t, void*) {
    found_items += items->count;
    return 0;
}

void intersect(nlst* chains) {
    sort_link(chains);
    qd_te_dispatch_spy = {count_items, nullptr};
    int32_t at = 0;
    for (TeChain* c = nullptr; qd_te_link_get_next_chain(chains, &at, &c) && c && at != 0;)
        if (c->discard == CHAIN_OK) qd_te_intersect_chains(chains, at, 1, 1, 1e-9);
    qd_te_dispatch_spy = {nullptr, nullptr};
}

}  // namespace

int main() {
    const int n = 100000;
    found_items = 0;
    const double ours = timed([&] { return segments(n, 3); }, intersect);
    const long items = found_items / 3;
    const double base = timed([&] { return segments(n, 3); }, sort_link);
    report("intersection stage, 100k short segments", ours / n * 1e9, base / n * 1e9, "sort + link");
    std::printf("  crossings and contacts found per run: %ld\n", items);
    const int paths = 8, vertices = 5000;
    found_items = 0;
    const double ours2 = timed([&] { return spanning(paths, vertices, 5); }, intersect);
    const long items2 = found_items / 3;
    const double base2 = timed([&] { return spanning(paths, vertices, 5); }, sort_link);
    const double total = double(paths) * vertices;
    // Sorting and linking eight chains costs next to nothing: both are
    // printed whole, and the stage per vertex.
    std::printf("intersection stage, 8 spanning paths of 5,000 vertices: %.3f ms (%.1f ns per vertex), "
                "sort + link: %.6f ms\n",
                ours2 * 1e3, ours2 / total * 1e9, base2 * 1e3);
    std::printf("  crossings and contacts found per run: %ld\n", items2);
    return 0;
}
