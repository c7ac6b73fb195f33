// Overlay point queries with the region rectangle index against the plain
// walk along the region links: 10,000 square regions in a 100 x 100
// layout, 100,000 random points located with the index, a sample of them
// without it (the plain walk tests every region's rectangle per query);
// the ratio compares the time per query. The answers of the sample agree.
#include <cstdio>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_geo_overlay.h"
#include "te_faces_bench.h"

namespace {

void add_square(nlst* chains, double x, double y, double s, int32_t pid) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_REGION;
    c.chain_pid = pid;
    const GeoCoord ring[5] = {{x, y, -1e6}, {x, y + s, -1e6}, {x + s, y + s, -1e6}, {x + s, y, -1e6}, {x, y, -1e6}};
    qd_te_geo_form_location(&c, ring, 5, 0, 0);
    nlst_add(chains, &c);
}

}  // namespace

void te_faces_bench_overlay() {
    const int side = 100, queries = 100000, sample = 2000;
    nlst* chains = nullptr;
    qd_te_geo_chain_list_create(&chains, 1024);
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) add_square(chains, i * 10.0, j * 10.0, 8.0, j * side + i + 1);
    TeChain query;
    qd_te_geo_chain_default(&query);
    query.chain_type = TE_NODE;
    const GeoCoord at = {-5, -5, -1e6};
    qd_te_geo_form_location(&query, &at, 1, 0, 0);
    nlst_add(chains, &query);
    // Each chain links the region before it; the universal chain frames all.
    for (uint32_t i = 1; i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        c->chain_id = int32_t(i);
        c->link_free = int32_t(i) - 1 > 0 ? int32_t(i) - 1 : -1;
    }
    TeChain* u = qd_te_chain_at(chains, 0);
    u->chain_mer[0] = {-1, -1, 0};
    u->chain_mer[1] = {side * 10.0 + 1, side * 10.0 + 1, 0};
    u->link_free = int32_t(chains->tally) - 2;
    TeChain* q = qd_te_chain_at(chains, int32_t(chains->tally) - 1);

    std::mt19937 rng(11);
    std::uniform_real_distribution<double> coord(0, side * 10.0);
    std::vector<GeoCoord> points(static_cast<size_t>(queries));
    for (GeoCoord& p : points) p = {coord(rng), coord(rng), -1e6};
    nlst* one = nlst_alloc(sizeof(GeoCoord), 1, 1, nullptr);
    nlst_add(one, &points[0]);
    GeoCoord* slot = static_cast<GeoCoord*>(one->data);

    TeOverlayIndex* index = nullptr;
    qd_te_overlay_index_build(&index, chains, 0);
    std::vector<int32_t> with(static_cast<size_t>(queries)), without(static_cast<size_t>(sample));
    auto run = [&](const TeOverlayIndex* ix, int n, std::vector<int32_t>& out) {
        for (int k = 0; k < n; ++k) {
            *slot = points[static_cast<size_t>(k)];
            TeOverlayQuery r;
            qd_te_overlay_query_init(&r, 0, q);
            r.points = one;
            r.index = ix;
            qd_te_walk_chain_overlay_reg(&r, chains);
            out[static_cast<size_t>(k)] = r.answer_chain;
        }
    };
    const double build = best_seconds(
        [&] {
            TeOverlayIndex* fresh = nullptr;
            qd_te_overlay_index_build(&fresh, chains, 0);
            qd_te_overlay_index_free(&fresh);
        },
        3);
    const double indexed = best_seconds([&] { run(index, queries, with); }, 3);
    const double plain = best_seconds([&] { run(nullptr, sample, without); }, 3);
    int agree = 0, inside = 0;
    for (int k = 0; k < sample; ++k) agree += with[static_cast<size_t>(k)] == without[static_cast<size_t>(k)];
    for (int k = 0; k < queries; ++k) inside += with[static_cast<size_t>(k)] > 0;
    const double per_indexed = (indexed + build) / queries, per_plain = plain / sample;
    std::printf("overlay walk, %d square regions: %d point queries with the rectangle index (build %.2f ms "
                "included, %d inside) %.2f us/query, plain walk over %d of them %.2f us/query, %d of %d answers "
                "alike, ratio %.3f (target <= 0.1)\n",
                side * side, queries, build * 1e3, inside, per_indexed * 1e6, sample, per_plain * 1e6, agree,
                sample, per_indexed / per_plain);
    qd_te_overlay_index_free(&index);
    nlst_free(one);
    qd_te_geo_chain_list_free(&chains);
}
