// Geometry library against plain baselines measured in the same run:
// filling a coordinate list point by point against std::vector push_back,
// point in ring against a bare crossing-number loop, and line
// generalisation against a plain recursive Douglas-Peucker.
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/qd_cogo.h"

namespace {

volatile double sink = 0;

// The even-odd crossing test over a closed ring, nothing else.
bool crossing_inside(const GeoCoord& p, const GeoCoord* ring, size_t n) {
    bool inside = false;
    for (size_t i = 0, j = n - 2; i + 1 < n; j = i++) {
        const GeoCoord& a = ring[i];
        const GeoCoord& b = ring[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

double segment_distance(const GeoCoord& p, const GeoCoord& a, const GeoCoord& b) {
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y);
}

void plain_dp(const std::vector<GeoCoord>& pts, std::vector<char>& keep, size_t f, size_t l,
              double tol) {
    if (l <= f + 1) return;
    size_t far = f;
    double far_d = -1;
    for (size_t i = f + 1; i < l; ++i) {
        const double d = segment_distance(pts[i], pts[f], pts[l]);
        if (d > far_d) far_d = d, far = i;
    }
    if (far_d < tol) return;
    keep[far] = 1;
    plain_dp(pts, keep, f, far, tol);
    plain_dp(pts, keep, far, l, tol);
}

}  // namespace

int main() {
    std::mt19937_64 rng(7);

    // 1. 1e7 coordinates added one by one.
    const int adds = 10000000;
    const double ours_add = best_seconds(
        [&] {
            nlst* list = ktgeo_coord_list_new(nullptr);
            for (int i = 0; i < adds; ++i) {
                const GeoCoord c = {double(i), double(-i), KTGEO_NO_Z};
                ktgeo_coord_list_add(list, &c);
            }
            sink = sink + static_cast<GeoCoord*>(list->data)[adds - 1].x;
            nlst_free(list);
        },
        3);
    const double base_add = best_seconds(
        [&] {
            std::vector<GeoCoord> v;
            for (int i = 0; i < adds; ++i) v.push_back(GeoCoord{double(i), double(-i), KTGEO_NO_Z});
            sink = sink + v.back().x;
        },
        3);
    report("ktgeo_coord_list_add x 1e7", ours_add / adds * 1e9, base_add / adds * 1e9,
           "vector push_back");

    // 2. Point in a star-shaped ring of 100 000 nodes.
    const int nodes = 100000;
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<GeoCoord> ring;
    for (int k = 0; k < nodes; ++k) {
        const double angle = 2 * M_PI * (k + 0.5 * unit(rng)) / nodes;
        const double r = 50 + 50 * unit(rng);
        ring.push_back(GeoCoord{r * std::cos(angle), r * std::sin(angle), KTGEO_NO_Z});
    }
    ring.push_back(ring.front());
    nlst* ring_list = ktgeo_coord_list_from_array(ring.data(), uint32_t(ring.size()));
    std::vector<GeoCoord> queries;
    for (int q = 0; q < 200; ++q)
        queries.push_back(GeoCoord{-100 + 200 * unit(rng), -100 + 200 * unit(rng), KTGEO_NO_Z});
    const double ours_ring = best_seconds([&] {
        int in = 0;
        for (const GeoCoord& q : queries) in += qd_cogo_point_in_ring(&q, ring_list);
        sink = sink + in;
    });
    const double base_ring = best_seconds([&] {
        int in = 0;
        for (const GeoCoord& q : queries) in += crossing_inside(q, ring.data(), ring.size());
        sink = sink + in;
    });
    report("qd_cogo_point_in_ring, 100k nodes", ours_ring / queries.size() * 1e9,
           base_ring / queries.size() * 1e9, "crossing-number loop");
    nlst_free(ring_list);

    // 3. Generalising a random walk of 1e6 points.
    const uint32_t walk_n = 1000000;
    std::normal_distribution<double> step(0, 1);
    std::vector<GeoCoord> walk{GeoCoord{0, 0, KTGEO_NO_Z}};
    for (uint32_t i = 1; i < walk_n; ++i)
        walk.push_back(GeoCoord{double(i), walk.back().y + step(rng), KTGEO_NO_Z});
    nlst* walk_list = ktgeo_coord_list_from_array(walk.data(), walk_n);
    const double tol = 5.0;
    size_t kept_ours = 0, kept_base = 0;
    const double ours_gen = best_seconds(
        [&] {
            nlst* out = qd_cogo_generalize_2d(walk_list, tol);
            kept_ours = out->tally;
            nlst_free(out);
        },
        3);
    const double base_gen = best_seconds(
        [&] {
            std::vector<char> keep(walk_n, 0);
            keep.front() = keep.back() = 1;
            plain_dp(walk, keep, 0, walk_n - 1, tol);
            std::vector<GeoCoord> out;
            for (uint32_t i = 0; i < walk_n; ++i)
                if (keep[i]) out.push_back(walk[i]);
            kept_base = out.size();
        },
        3);
    report("qd_cogo_generalize_2d, 1e6 points", ours_gen / walk_n * 1e9, base_gen / walk_n * 1e9,
           "recursive Douglas-Peucker");
    std::printf("points kept: %zu (baseline %zu)\n", kept_ours, kept_base);
    nlst_free(walk_list);
    return 0;
}
