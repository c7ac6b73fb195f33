// Random chains and split nodes through the cutting, insertion, recording,
// ring cutting, identity and reference-list routines: bad vertex indexes,
// NaN and huge coordinates must give a clear refusal, never a crash.
#include <cmath>
#include <cstdint>
#include <limits>

#include "fuzz/fuzz_bytes.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_views.h"

namespace {

double coordinate(FuzzBytes& in) {
    const uint8_t k = in.take<uint8_t>();
    switch (k) {
    case 250: return std::numeric_limits<double>::quiet_NaN();
    case 251: return INFINITY;
    case 252: return 1e300;
    case 253: return -1e300;
    case 254: return in.take<double>();
    case 255: return 1e-11 * in.take<int8_t>();
    default: return double(k % 16) + (k / 16) * 0.25;
    }
}

TeChain chain_from(FuzzBytes& in) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_PATH + in.take<uint8_t>() % 5;  // PATH, LINE, ARC, CIRCLE, CURVE
    c.radius = std::fabs(coordinate(in));
    c.adjuster = in.take<uint8_t>() & 1;
    c.tangent.type = in.take<uint8_t>() % 4;
    const uint32_t n = in.take<uint8_t>() % 24;
    c.coords = nlst_alloc(sizeof(TeVertex), n + 1, 4, nullptr);
    const double tol = (in.take<uint8_t>() % 4) * 1e-4;
    for (uint32_t i = 0; i < n; ++i) {
        const TeVertex v = {coordinate(in), coordinate(in), KTGEO_NO_Z, tol};
        nlst_add(c.coords, &v);
    }
    const TeParent p = {1, 1, 8};
    c.right_parent = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
    nlst_add(c.right_parent, &p);
    return c;
}

nlst* nodes_from(FuzzBytes& in) {
    const uint32_t n = in.take<uint8_t>() % 9;
    nlst* nodes = nlst_alloc(sizeof(TeSplitNode), n + 1, 2, nullptr);
    for (uint32_t i = 0; i < n; ++i) {
        TeSplitNode node{};
        node.point = {coordinate(in), coordinate(in), KTGEO_NO_Z};
        node.vertex = in.take<int8_t>();
        node.offset = coordinate(in);
        node.tol = (in.take<uint8_t>() % 4) * 1e-5;
        nlst_add(nodes, &node);
    }
    return nodes;
}

void release_list(nlst* list) {
    if (!list) return;
    qd_te_geo_free_chain_list(list, 0);
    nlst_free(list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzBytes in{data, size};
    const double t = (in.take<uint8_t>() % 4) * 1e-6;
    TeChain a = chain_from(in), b = chain_from(in);
    a.chain_id = 1;
    b.chain_id = 2;
    nlst* nodes = nodes_from(in);
    const uint8_t what = in.take<uint8_t>();
    nlst* pieces = nullptr;
    nlst* records = nullptr;
    nlst* refs = nullptr;
    int32_t identical = 0, tag = 0;
    switch (what % 6) {
    case 0: qd_te_split_chains(&a, nodes, &pieces, t); break;
    case 1: qd_te_split_chain_cross(&a, nodes, t); break;
    case 2: qd_te_split_linear_record_intr(&a, 3, nodes, &records, what & 8 ? 1 : 0, t); break;
    case 3: qd_te_split_form_poly_cross(&a, &pieces, what / 6 % 3, 1, t); break;
    case 4: qd_te_duplicates_prim(&a, &b, what & 8 ? &t : nullptr, &identical); break;
    case 5:
        qd_te_duplicates_path_clip(&a, &refs, 1, nullptr, nullptr, 1 + what / 6 % 4, nullptr);
        qd_te_duplicates_path_clip(&b, &refs, 2, nullptr, nullptr, 1 + what / 6 % 4, nullptr);
        if (what & 64) qd_te_duplicates_touch_count(refs);
        else qd_te_duplicates_coord_match_list(refs, &tag, 0, &identical);
        break;
    }
    if (pieces && pieces->tally) {
        // The pieces go back into a chain list in link order.
        nlst* chains = nullptr;
        TeChain copy;
        if (qd_te_geo_chain_list_create(&chains, 4) && qd_te_geo_copy_chain(&b, &copy, 1)) {
            nlst_add(chains, &copy);
            qd_te_link_setup(chains);
            qd_te_split_chain_by_list(1, pieces, chains, t, &tag);
        }
        qd_te_geo_chain_list_free(&chains);
    }
    release_list(pieces);
    if (records) nlst_free(records);
    if (refs) nlst_free(refs);
    nlst_free(nodes);
    qd_te_geo_chain_release(&a);
    qd_te_geo_chain_release(&b);
    return 0;
}
