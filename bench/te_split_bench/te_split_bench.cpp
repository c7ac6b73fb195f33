// Cutting and matching against baselines measured in the same run: a
// 1,000,000-vertex path cut at 10,000 nodes against one copy of its
// vertices; matching two equal 100,000-point paths (references, match,
// sorts) against sorting the same references once by place. The heap
// keeps freed memory for both sides (no fresh pages each round): the
// ratios compare work, not the first touch of new pages.
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "../runtime/bench_util.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_views.h"

namespace {

TeChain path(int n) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_PATH;
    c.coords = nlst_alloc(sizeof(TeVertex), uint32_t(n), 1, nullptr);
    for (int i = 0; i < n; ++i) {
        const TeVertex v = {double(i), std::sin(i * 0.37) * 50, KTGEO_NO_Z, 1e-9};
        nlst_add(c.coords, &v);
    }
    c.chain_mer[0] = {0, -50, KTGEO_NO_Z};
    c.chain_mer[1] = {double(n), 50, KTGEO_NO_Z};
    return c;
}

nlst* nodes(const TeChain& c, int k) {
    std::mt19937 rng(7);
    const auto* v = static_cast<const TeVertex*>(c.coords->data);
    const int n = int(c.coords->tally);
    nlst* list = nlst_alloc(sizeof(TeSplitNode), uint32_t(k), 1, nullptr);
    for (int i = 0; i < k; ++i) {
        const int s = 1 + int(rng() % uint32_t(n - 3));
        TeSplitNode node{};
        node.point = {(v[s].x + v[s + 1].x) / 2, (v[s].y + v[s + 1].y) / 2, KTGEO_NO_Z};
        node.vertex = s;
        node.offset = std::hypot(v[s + 1].x - v[s].x, v[s + 1].y - v[s].y) / 2;
        nlst_add(list, &node);
    }
    return list;
}

bool by_place(const TeCoordRef& a, const TeCoordRef& b) {
    const GeoCoord p = qd_te_ref_point(&a), q = qd_te_ref_point(&b);
    if (p.x != q.x) return p.x < q.x;
    if (p.y != q.y) return p.y < q.y;
    if (a.tol != b.tol) return a.tol < b.tol;
    return a.tag < b.tag;
}

nlst* references(TeChain& a, TeChain& b) {
    nlst* refs = nullptr;
    qd_te_duplicates_path_clip(&a, &refs, 1, nullptr, nullptr, 1, nullptr);
    qd_te_duplicates_path_clip(&b, &refs, 2, nullptr, nullptr, 1, nullptr);
    return refs;
}

}  // namespace

int main() {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    const int n = 1000000, k = 10000;
    TeChain long_path = path(n);
    int32_t pieces_made = 0;
    const double cut = best_seconds(
        [&] {
            nlst* list = nodes(long_path, k);
            nlst* pieces = nullptr;
            qd_te_split_chains(&long_path, list, &pieces, 1e-9);
            pieces_made = pieces ? int32_t(pieces->tally) : 0;
            qd_te_geo_free_chain_list(pieces, 0);
            nlst_free(pieces);
            nlst_free(list);
        },
        7);
    const double made = best_seconds([&] { nlst_free(nodes(long_path, k)); }, 7);
    const double copy = best_seconds(
        [&] {
            nlst* c = nlst_alloc(sizeof(TeVertex), uint32_t(n), 1, nullptr);
            nlst_add_many(c, long_path.coords->data, uint32_t(n));
            nlst_free(c);
        },
        7);
    std::printf("cut a %d-vertex path at %d nodes (%d pieces): %.2f ms, one copy of its vertices: %.2f ms, "
                "ratio %.2f\n",
                n, k, pieces_made, (cut - made) * 1e3, copy * 1e3, (cut - made) / copy);
    qd_te_geo_chain_release(&long_path);

    const int m = 100000;
    TeChain a = path(m), b = path(m);
    int32_t identical = 0;
    const double match = best_seconds(
        [&] {
            nlst* refs = references(a, b);
            int32_t tag = 0;
            qd_te_duplicates_coord_match_list(refs, &tag, 0, &identical);
            nlst_free(refs);
        },
        5);
    const double sort = best_seconds(
        [&] {
            nlst* refs = references(a, b);
            auto* r = static_cast<TeCoordRef*>(refs->data);
            std::sort(r, r + refs->tally, by_place);
            nlst_free(refs);
        },
        5);
    std::printf("match two equal %d-point paths (identical %d): %.2f ms, sort their references: %.2f ms, "
                "ratio %.2f\n",
                m, identical, match * 1e3, sort * 1e3, match / sort);
    qd_te_geo_chain_release(&a);
    qd_te_geo_chain_release(&b);
    return 0;
}
