// Whole engine runs against baselines measured in the same run: an ALL run
// over 10,000 squares (one output object with every square and the merged
// parents) against a SINGLE run over the same squares (one object each),
// target at most 1.5 times; reconnecting 10,000 shuffled unit polylines
// (pieces of one walk, some reversed) into one against sorting their 20,000
// end points by place (building the object is measured alone and taken
// off), target at most 5 times.
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "../runtime/te_bench_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_linear_output.h"

namespace {

volatile double sink = 0;

int32_t count_output(SpatialObject* g, nlst* parents, void*) {
    sink = sink + g->env_min.x + (parents ? parents->tally : 0);
    return 1;
}


// One run of the mode over n x n unit squares two units apart, each its
// own input feature.
int run_squares(int32_t mode, int n) {
    std::vector<SpatialObject> objects(size_t(n) * size_t(n));
    nlst* packs = nlst_alloc(sizeof(TePack), uint32_t(objects.size()), 1, nullptr);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k) {
            SpatialObject& o = objects[size_t(i) * size_t(n) + size_t(k)];
            ktgeo_so_init_empty(&o);
            add_square(&o, 2.0 * i, 2.0 * k);
            TePack pack;
            qd_te_pack_init(&pack);
            pack.keys.parent = {1, i * n + k + 1, 0};
            pack.keys.key = -1;
            pack.use_input = 1;
            pack.input = &o;
            nlst_add(packs, &pack);
        }
    TeRules rules;
    qd_te_rules_init(&rules);
    qd_te_func_abstract_set_rules(&rules, mode, nullptr, 1, 0);
    rules.output_dim = 3;
    rules.output_method = {count_output, nullptr};
    const int answer = qd_te_func_abstract(packs, &rules);
    nlst_free(packs);
    for (SpatialObject& o : objects) ktgeo_so_release(&o);
    return answer;
}

void bench_all_single(int n) {  // n x n squares
    int answers = 1;
    // Rounds alternate so that both runs meet the same machine load.
    double all = 1e30, single = 1e30;
    for (int round = 0; round < 3; ++round) {
        all = std::min(all, best_seconds([&] { answers &= run_squares(2, n); }, 1));
        single = std::min(single, best_seconds([&] { answers &= run_squares(0, n); }, 1));
    }
    std::printf("ALL over %d squares: %.3f s, SINGLE: %.3f s, ratio %.2f (target <= 1.5)%s\n", n * n, all, single,
                all / single, answers == 1 ? "" : " [a run failed]");
}


struct Piece {
    GeoCoord a, b;
};

std::vector<Piece> shuffled_pieces(int n) {
    std::mt19937 rng(41);
    std::uniform_real_distribution<double> turn(-1.0, 1.0);
    std::vector<Piece> pieces;
    GeoCoord at = {0, 0, KTGEO_NO_Z};
    for (int i = 0; i < n; ++i) {
        const double angle = turn(rng);
        const GeoCoord next = {at.x + std::cos(angle), at.y + std::sin(angle), KTGEO_NO_Z};
        pieces.push_back(rng() % 2 ? Piece{at, next} : Piece{next, at});
        at = next;
    }
    std::shuffle(pieces.begin(), pieces.end(), rng);
    return pieces;
}

void build(SpatialObject* o, const std::vector<Piece>& pieces) {
    ktgeo_so_init_empty(o);
    for (const Piece& p : pieces) {
        const GeoCoord pts[2] = {p.a, p.b};
        ktgeo_util_add_new_curve(o, KTGEO_POLYLINE, pts, 2, 0, 0, 0);
    }
}

void bench_reconnect() {
    const int n = 10000;
    const std::vector<Piece> pieces = shuffled_pieces(n);
    uint32_t left = 0;
    const double joined = best_seconds(
        [&] {
            SpatialObject o;
            build(&o, pieces);
            qd_te_linear_path_reconnect(&o, 0);
            left = o.primitives ? o.primitives->tally : 0;
            ktgeo_so_release(&o);
        },
        7);
    const double made = best_seconds(
        [&] {
            SpatialObject o;
            build(&o, pieces);
            ktgeo_so_release(&o);
        },
        7);
    const double sorted = best_seconds(
        [&] {
            std::vector<GeoCoord> ends;
            ends.reserve(2 * pieces.size());
            for (const Piece& p : pieces) ends.push_back(p.a), ends.push_back(p.b);
            std::sort(ends.begin(), ends.end(),
                      [](const GeoCoord& a, const GeoCoord& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
        },
        7);
    std::printf("reconnect %d shuffled unit polylines (%u left): %.2f ms, sort their %d end points: %.2f ms, "
                "ratio %.2f (target <= 5)\n",
                n, left, (joined - made) * 1e3, 2 * n, sorted * 1e3, (joined - made) / sorted);
}

}  // namespace

int main(int argc, char** argv) {
    bench_all_single(argc > 1 ? std::atoi(argv[1]) : 100);  // 10,000 squares
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    bench_reconnect();
    return 0;
}
