// Whole-engine figures against baselines measured in the same run:
// reconnecting 10,000 shuffled unit polylines (pieces of one walk, some
// reversed) into one against sorting their 20,000 end points by place.
// Building the object is measured alone and taken off.
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/qd_te_linear_output.h"

namespace {

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

}  // namespace

int main() {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
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
                "ratio %.2f\n",
                n, left, (joined - made) * 1e3, 2 * n, sorted * 1e3, (joined - made) / sorted);
    return 0;
}
