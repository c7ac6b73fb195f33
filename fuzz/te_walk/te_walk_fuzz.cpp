// Small chain lists with arbitrary walk links, statuses, types and polygon
// fields through the face walk, polygon formation, the face invariants,
// the island containers, levels and dangle pruning: every answer is 0 or
// 1, no walk loops for ever, nothing crashes.
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_bytes.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_islands.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_util.h"

namespace {

void check(int answer) {
    if (answer != 0 && answer != 1) std::abort();
}

int32_t sink_output(SpatialObject*, nlst*, void*) { return 1; }
int32_t sink_eaf(SpatialObject*, void*) { return 1; }

TeChain chain_from(FuzzBytes& in) {
    static const int32_t types[] = {TE_PATH, TE_PATH, TE_PATH, TE_LINE, TE_NODE, TE_CIRCLE, TE_REGION, TE_ISLAND};
    static const int32_t statuses[] = {CHAIN_OK, CHAIN_OK, CHAIN_OK, CHAIN_OK, CHAIN_DELETE, CHAIN_INVALID};
    TeChain c;
    qd_te_geo_chain_default(&c);
    const uint8_t k = in.take<uint8_t>();
    c.chain_type = types[k % 8];
    c.discard = statuses[(k / 8) % 6];
    c.chain_pid = in.take<uint8_t>() % 4;
    c.chain_lookup = int32_t(in.take<int8_t>()) % 3;
    const uint32_t n = c.chain_type == TE_NODE ? 1 : 2 + in.take<uint8_t>() % 4;
    c.coords = nlst_alloc(sizeof(TeVertex), n + 1, 2, nullptr);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t xy = in.take<uint8_t>();
        const TeVertex v = {double(xy % 8), double(xy / 8 % 8), KTGEO_NO_Z, 0};
        nlst_add(c.coords, &v);
    }
    if (in.take<uint8_t>() & 1) nlst_add(c.coords, nlst_index(c.coords, 0));  // closed
    const auto* v = static_cast<const TeVertex*>(c.coords->data);
    c.chain_mer[0] = c.chain_mer[1] = {v[0].x, v[0].y, 0};
    for (uint32_t i = 0; i < c.coords->tally; ++i) {
        const GeoCoord p{v[i].x, v[i].y, 0};
        const GeoCoord box[2] = {p, p};
        qd_te_mer_union(c.chain_mer, box);
    }
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzBytes in{data, size};
    TeRules rules;
    qd_te_rules_init(&rules);
    static const int32_t modes[] = {TE_ALL, TE_SPLIT, TE_JOIN, TE_DISSOLVE, TE_BREAK, TE_BUFFER_SPLIT, TE_DIFFERENCE};
    static const int32_t secondaries[] = {TE_NONE, TE_DISCARD, TE_INCURSION, TE_EXCURSION};
    const uint8_t setup = in.take<uint8_t>();
    rules.mode = modes[setup % 7];
    rules.secondary = secondaries[setup / 7 % 4];
    rules.output_dim = setup & 128 ? TE_DIM_LINEAR : TE_DIM_SURFACE;
    rules.islands = (setup >> 6) & 1;
    rules.output_method = {sink_output, nullptr};
    rules.eafs_method = {sink_eaf, nullptr};
    nlst* chains = nullptr;
    if (!qd_te_geo_chain_list_create(&chains, 16)) return 0;
    const uint32_t n = 1 + in.take<uint8_t>() % 12;
    for (uint32_t i = 0; i < n; ++i) {
        TeChain c = chain_from(in);
        c.chain_id = int32_t(chains->tally);
        nlst_add(chains, &c);
    }
    TeChain* u = qd_te_chain_at(chains, 0);
    u->chain_mer[0] = {-1, -1, 0};
    u->chain_mer[1] = {9, 9, 0};
    u->coords = nlst_alloc(sizeof(TeVertex), 5, 1, nullptr);
    qd_te_reassign_universal_polygon(u);
    // Links as the leaving stage makes them, then some overwritten.
    qd_te_leaving_chain_set_ql_lr(&rules, 1e-10, chains);
    const uint32_t edits = in.take<uint8_t>() % 6;
    for (uint32_t e = 0; e < edits; ++e) {
        TeChain* c = qd_te_chain_at(chains, 1 + in.take<uint8_t>() % int32_t(n));
        const int32_t v = int32_t(in.take<int8_t>()) % int32_t(n + 3);
        switch (in.take<uint8_t>() % 4) {
        case 0: c->left_link = v; break;
        case 1: c->right_link = v; break;
        case 2: c->poly_left = v % 4 - 1; break;
        default: c->discard = v & 1 ? CHAIN_OK : CHAIN_DELETE; break;
        }
    }
    nlst* polygons = nullptr;
    nlst* negatives = nullptr;
    const int walked = qd_te_walk_form(&polygons, &negatives, chains, &rules);
    check(walked);
    if (walked && polygons) {
        char why[160];
        check(qd_te_check_invariants(chains, TE_INV_FACES, why, polygons));
        // Polygon fields as a caller might spoil them.
        if (polygons->tally > 3 && (in.take<uint8_t>() & 1)) {
            TePolygon* p = qd_te_poly_at(polygons, 3 + in.take<uint8_t>() % int32_t(polygons->tally - 3));
            p->start_chain = int32_t(in.take<int8_t>()) % int32_t(chains->tally + 2);
            p->island_list = int32_t(in.take<int8_t>()) % int32_t(polygons->tally + 2);
            p->inside = int32_t(in.take<int8_t>()) % int32_t(polygons->tally + 2);
            p->status = in.take<uint8_t>() & 1;
            p->spike = in.take<uint8_t>() & 1;
            p->count = int32_t(in.take<uint8_t>() % 8);
            TePolygon copy = *p;
            copy.round_cut = nullptr;
            check(qd_te_get_poly(&copy, polygons, chains, &rules));
            if (copy.round_cut) nlst_free(copy.round_cut);
        }
        if (in.take<uint8_t>() & 1) {
            check(qd_te_neg_in_pos(polygons, negatives, chains, &rules));
            check(qd_te_island_levels(polygons, chains));
            check(qd_te_prune_dangles(polygons, chains, &rules));
        }
    }
    qd_te_poly_list_free(&polygons);
    if (negatives) nlst_free(negatives);
    qd_te_geo_chain_list_free(&chains);
    return 0;
}
