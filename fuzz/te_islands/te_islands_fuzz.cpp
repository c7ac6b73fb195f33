// Small chain and polygon lists with arbitrary links, sides, statuses,
// island lists, areas and rectangles through the container search, the
// island levels, dangle pruning, the overlay walk (plain and indexed) and
// the buffer clean-up: every call answers 0 or 1 (the pruning a chain
// number or -1) without a crash, a hang or undefined behaviour.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "fuzz/fuzz_bytes.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_geo_overlay.h"
#include "geometry/topology/qd_te_islands.h"
#include "geometry/topology/qd_te_util.h"

namespace {

double coordinate(FuzzBytes& in) {
    const uint8_t k = in.take<uint8_t>();
    switch (k) {
    case 250: return std::numeric_limits<double>::quiet_NaN();
    case 251: return INFINITY;
    case 252: return 1e300;
    case 253: return -1e300;
    case 254: return in.take<double>();
    default: return double(k % 16) + (k / 16) * 0.25;
    }
}

// A link or polygon number: mostly small and in range, sometimes not.
int32_t number(FuzzBytes& in, int32_t n) {
    const uint8_t k = in.take<uint8_t>();
    if (k == 255) return in.take<int32_t>();
    const int32_t v = int32_t(k % (2 * n + 1)) - n;
    return v;
}

void check(int answer) {
    if (answer != 0 && answer != 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzBytes in{data, size};
    nlst* chains = nullptr;
    qd_te_geo_chain_list_create(&chains, 16);
    const int32_t n_chains = 1 + in.take<uint8_t>() % 10;
    TeChain* u = qd_te_chain_at(chains, 0);
    u->chain_mer[0] = {coordinate(in) - 1, coordinate(in) - 1, 0};
    u->chain_mer[1] = {coordinate(in) + 17, coordinate(in) + 17, 0};
    for (int32_t i = 1; i <= n_chains; ++i) {
        TeChain c;
        qd_te_geo_chain_default(&c);
        c.chain_type = in.take<uint8_t>() % 9;
        c.chain_pid = in.take<uint8_t>() % 4;
        c.discard = in.take<uint8_t>() % 6 == 0 ? CHAIN_DELETE : CHAIN_OK;
        const uint32_t nv = in.take<uint8_t>() % 6;
        c.coords = nlst_alloc(sizeof(TeVertex), nv + 1, 4, nullptr);
        for (uint32_t k = 0; k < nv; ++k) {
            const TeVertex v = {coordinate(in), coordinate(in), KTGEO_NO_Z, 0};
            nlst_add(c.coords, &v);
        }
        if (in.take<uint8_t>() & 1 && nv > 2) {
            const TeVertex first = *static_cast<TeVertex*>(c.coords->data);
            nlst_add(c.coords, &first);
        }
        c.chain_mer[0] = {coordinate(in), coordinate(in), 0};
        c.chain_mer[1] = {coordinate(in), coordinate(in), 0};
        c.chain_id = i;
        c.poly_left = number(in, 8);
        c.poly_right = number(in, 8);
        c.left_link = number(in, n_chains + 1);
        c.right_link = number(in, n_chains + 1);
        c.link_fore = number(in, n_chains + 1);
        c.link_back = number(in, n_chains + 1);
        c.link_free = number(in, n_chains + 1);
        nlst_add(chains, &c);
    }
    nlst* polygons = nullptr;
    const int32_t n_polys = 3 + in.take<uint8_t>() % 6;
    for (int32_t i = 0; i < n_polys; ++i) {
        TePolygon p;
        qd_te_poly_init(polygons, &p);
        p.count = number(in, 8);
        p.start_chain = number(in, n_chains + 1);
        p.island_list = number(in, n_polys);
        p.inside = number(in, n_polys);
        p.area = coordinate(in) - 8;
        p.status = in.take<uint8_t>() & 1;
        p.discard = in.take<uint8_t>() % 4 == 0;
        p.spike = in.take<uint8_t>() % 4 == 0;
        p.mer[0] = {coordinate(in), coordinate(in), 0};
        p.mer[1] = {coordinate(in), coordinate(in), 0};
        p.yxmax = coordinate(in);
        qd_te_append_item_to_list(&polygons, &p, sizeof p);
    }
    nlst* negatives = nullptr;
    const int32_t n_neg = in.take<uint8_t>() % 5;
    for (int32_t i = 0; i < n_neg; ++i) {
        const int32_t v = number(in, n_polys);
        qd_te_append_item_to_list(&negatives, &v, sizeof v);
    }
    TeRules rules;
    qd_te_rules_init(&rules);
    rules.statistics.measures[0] = coordinate(in);
    rules.statistics.measures[1] = coordinate(in);
    const uint8_t what = in.take<uint8_t>();
    if (what & 1) check(qd_te_neg_in_pos(polygons, negatives, chains, &rules));
    if (what & 2) check(qd_te_island_levels(polygons, chains));
    if (what & 4) check(qd_te_prune_dangles(polygons, chains, &rules));
    if (what & 8) {
        const int32_t r = qd_te_prune_poly(qd_te_poly_at(polygons, in.take<uint8_t>() % n_polys), chains);
        if (r < -1 || r >= int32_t(chains->tally)) std::abort();
    }
    if (what & 16) check(qd_te_walk_overlay_cutter_buffer(qd_te_poly_at(polygons, in.take<uint8_t>() % n_polys), chains));
    if (what & 32) {
        const int32_t kind = in.take<uint8_t>() % 3;
        TeOverlayIndex* index = nullptr;
        const int built = qd_te_overlay_index_build(&index, chains, kind);
        check(built);
        TeOverlayQuery q;
        qd_te_overlay_query_init(&q, kind, qd_te_chain_at(chains, 1 + in.take<uint8_t>() % n_chains));
        q.same_parent = in.take<uint8_t>() & 1;
        q.strict = in.take<uint8_t>() & 1;
        q.midpoint = in.take<uint8_t>() & 1;
        q.no_closure = in.take<uint8_t>() & 1;
        q.collect = in.take<uint8_t>() & 1;
        q.pairs = in.take<uint8_t>() & 1;
        nlst* collected = nullptr;
        nlst* pairs = nullptr;
        q.collect_list = &collected;
        q.pairs_list = &pairs;
        TeOverlayQuery r = q;
        r.index = index;
        const int a = qd_te_walk_chain_overlay_reg(&q, chains);
        const int b = qd_te_walk_chain_overlay_reg(&r, chains);
        check(a);
        check(b);
        // The index changes no answer.
        if (index && a == 1 && b == 1 && (q.answer != r.answer || q.answer_chain != r.answer_chain)) std::abort();
        qd_te_overlay_index_free(&index);
        if (collected) nlst_free(collected);
        if (pairs) nlst_free(pairs);
    }
    if (negatives) nlst_free(negatives);
    qd_te_poly_list_free(&polygons);
    qd_te_geo_chain_list_free(&chains);
    return 0;
}
