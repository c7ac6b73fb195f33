// Chain lists for stage tests: chains built with given end and inner
// tolerances, sorted and linked, and a walk of the live chains.
#pragma once

#include <functional>
#include <initializer_list>

#include "geometry/topology/qd_te_assembly.h"
#include "te_chain_util.h"

namespace tetest {

// A chain stored with end and inner tolerances (the store-time check runs).
inline TeChain Tol(int32_t type, std::initializer_list<GeoCoord> pts, double end_tol,
                   double inner_tol = -1, int32_t adjuster = 0) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = type;
    c.adjuster = adjuster;
    qd_te_geo_form_location(&c, pts.begin(), int32_t(pts.size()), end_tol,
                            inner_tol < 0 ? end_tol : inner_tol);
    return c;
}

// Sorts and links the list; chain ids become rows.
inline void Link(Chains& chains) {
    qd_te_chain_list_sort(chains.list);
    qd_te_link_setup(chains.list);
    for (int32_t i = 1; i < chains.Count(); ++i) chains.At(i)->chain_id = i;
}

// Runs a per-chain stage over every live chain in link order.
inline bool EachLive(Chains& chains, const std::function<int(int32_t)>& stage) {
    int32_t at = 0;
    for (;;) {
        TeChain* next = nullptr;
        if (!qd_te_link_get_next_chain(chains.list, &at, &next)) return false;
        if (!next || at == 0) return true;
        if (next->discard == CHAIN_OK && !stage(at)) return false;
    }
}

inline TeVertex* Vx(TeChain* c, uint32_t i) { return static_cast<TeVertex*>(c->coords->data) + i; }

}  // namespace tetest
