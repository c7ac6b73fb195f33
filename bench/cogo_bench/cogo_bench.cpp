// The engine's coordinate geometry against baselines measured in the same
// run: the self-intersection search of a 100,000-vertex simple ring and of
// a comb of 10,000 long horizontal segments against std::sort of their
// segment records (target: the ring at most 3 times the sort), and the
// stroke of a 10,000-node curve against copying its nodes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"

namespace {

volatile double sink = 0;

// The baseline: segment records built and sorted by envelope minimum.
double sort_records(const std::vector<GeoCoord>& pts) {
    const int32_t count = int32_t(pts.size()) - 1;
    return best_seconds([&] {
        std::vector<TeSegment> segs(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) {
            TeSegment& s = segs[size_t(i)];
            s.start = &pts[size_t(i)];
            s.end = &pts[size_t(i) + 1];
            s.index = i;
            s.tag = 1;
            s.mark = -1;
            qd_te_cogo_segment_envelope(s.start, s.end, &s.env_min);
        }
        std::sort(segs.begin(), segs.end(), [](const TeSegment& a, const TeSegment& b) {
            return qd_te_cogo_segment_order(&a, &b) < 0;
        });
        sink = sink + segs[0].env_min.x;
    }, 3);
}

double search(std::vector<GeoCoord>& pts, int* answer) {
    TeCoordArray array = {pts.data(), int32_t(pts.size())};
    return best_seconds([&] {
        TeIntersectionList list = {0, 0, nullptr};
        *answer = qd_te_cogo_self_intersections(&array, &list, 0, nullptr);
        qd_te_cogo_intersection_list_free(&list);
    }, 3);
}

}  // namespace

int main() {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(0, 1);

    // 1. A near-circular simple ring of 100,000 vertices (radii within 1e-3).
    const int nodes = 100000;
    std::vector<GeoCoord> ring;
    for (int k = 0; k < nodes; ++k) {
        const double angle = 2 * M_PI * (k + 0.5 * unit(rng)) / nodes;
        const double r = 500 + 1e-3 * unit(rng);
        ring.push_back({r * std::cos(angle), r * std::sin(angle), KTGEO_NO_Z});
    }
    ring.push_back(ring.front());
    int answer = -9;
    const double ours_ring = search(ring, &answer);
    const double base_ring = sort_records(ring);
    report("self-intersections, 100k-vertex simple ring", ours_ring / nodes * 1e9,
           base_ring / nodes * 1e9, "std::sort of segment records");
    std::printf("answer %d (0: simple)\n", answer);

    // 2. A comb: 10,000 long horizontal teeth joined by short steps.
    const int teeth = 10000;
    std::vector<GeoCoord> comb;
    for (int k = 0; k < teeth; ++k) {
        const double y = k * 1.0;
        if (k % 2 == 0) comb.push_back({0, y, KTGEO_NO_Z}), comb.push_back({1000, y, KTGEO_NO_Z});
        else comb.push_back({1000, y, KTGEO_NO_Z}), comb.push_back({0, y, KTGEO_NO_Z});
    }
    const double ours_comb = search(comb, &answer);
    const double base_comb = sort_records(comb);
    report("self-intersections, comb of 10k long segments", ours_comb / comb.size() * 1e9,
           base_comb / comb.size() * 1e9, "std::sort of segment records");
    std::printf("answer %d (0: simple)\n", answer);

    // 3. Stroking a 10,000-node curve to 10 points per span.
    const int curve_n = 10000;
    std::vector<GeoCoord> nodes_v;
    double x = 0, y = 0, dir = 0;
    for (int k = 0; k < curve_n; ++k) {
        nodes_v.push_back({x, y, KTGEO_NO_Z});
        dir += unit(rng) - 0.5;
        const double len = 1 + unit(rng);
        x += len * std::cos(dir);
        y += len * std::sin(dir);
    }
    TeCoordArray curve = {nodes_v.data(), curve_n};
    int32_t stroked = 0;
    const double ours_stroke = best_seconds([&] {
        TeCoordArray out = {nullptr, 0};
        qd_te_cogo_curve_stroke(&curve, 0, curve_n, curve_n * 10, &out, nullptr);
        stroked = out.n;
        sink = sink + out.pts[out.n - 1].x;
        qd_free(out.pts);
    });
    const double base_copy = best_seconds([&] {
        GeoCoord* copy = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * curve_n));
        std::memcpy(copy, nodes_v.data(), sizeof(GeoCoord) * curve_n);
        sink = sink + copy[curve_n - 1].x;
        qd_free(copy);
    });
    report("curve stroke, 10k nodes", ours_stroke / curve_n * 1e9, base_copy / curve_n * 1e9,
           "copying the nodes");
    std::printf("points stroked: %d\n", stroked);
    return 0;
}
