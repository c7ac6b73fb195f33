// Helpers of the intersection-stage tests: chains of every kind with a
// vertex tolerance, and a spy on the pair dispatch.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/geo_test_util.h"

namespace tetest {

// A chain of a kind with every vertex tolerance `tol`; a CIRCLE is its
// centre and radius.
inline TeChain Ch(int32_t type, std::vector<GeoCoord> pts, double tol = 0.0, double radius = 0.0) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = type;
    c.radius = radius;
    qd_te_geo_form_location(&c, pts.data(), int32_t(pts.size()), tol, tol);
    if (type == TE_CIRCLE) {
        c.chain_mer[0] = {pts[0].x - radius - tol, pts[0].y - radius - tol, KTGEO_NO_Z};
        c.chain_mer[1] = {pts[0].x + radius + tol, pts[0].y + radius + tol, KTGEO_NO_Z};
    }
    return c;
}

// A chain released when it goes.
struct Owned {
    TeChain c;
    explicit Owned(TeChain chain) : c(chain) {}
    ~Owned() { qd_te_geo_chain_release(&c); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    TeChain* operator->() { return &c; }
    TeChain* get() { return &c; }
};

inline const TeVertex& Vx(const TeChain* c, int i) { return static_cast<const TeVertex*>(c->coords->data)[i]; }

// The last pair the dispatch handed on: routine, swap, mode and items.
struct DispatchSpy {
    std::string routine;
    int32_t swap = -1, mode = -1, calls = 0;
    std::vector<TeIntersection> items;
    DispatchSpy() { qd_te_dispatch_spy = {&DispatchSpy::Hear, this}; }
    ~DispatchSpy() { qd_te_dispatch_spy = {nullptr, nullptr}; }
    DispatchSpy(const DispatchSpy&) = delete;
    DispatchSpy& operator=(const DispatchSpy&) = delete;
    static int Hear(const char* routine, const TeIntersectionList* list, int32_t swap, int32_t mode, void* user) {
        auto* s = static_cast<DispatchSpy*>(user);
        s->routine = routine;
        s->swap = swap;
        s->mode = mode;
        ++s->calls;
        s->items.assign(list->items, list->items + list->count);
        return 0;  // leave the pair unprocessed
    }
};

// Is cutting chains in the tree (a line cut at a middle node gives two
// pieces)? Until it is, stand-ins answer for it and the tests that need
// real pieces check the stage's calls instead.
inline bool CuttingBuilt() {
    Owned line(Ch(TE_LINE, {Q(0, 0), Q(2, 0)}));
    nlst* nodes = nlst_alloc(sizeof(TeSplitNode), 1, 1, nullptr);
    TeSplitNode node{};
    node.point = Q(1, 0);
    node.vertex = 0;
    node.offset = 1;
    nlst_add(nodes, &node);
    nlst* pieces = nullptr;
    geotest::FailRecorder quiet;
    const bool built = qd_te_split_chains(line.get(), nodes, &pieces, 1e-9) == 1 && pieces && pieces->tally == 2;
    if (pieces) {
        qd_te_geo_free_chain_list(pieces, 0);
        nlst_free(pieces);
    }
    nlst_free(nodes);
    return built;
}

}  // namespace tetest
