// Helpers of the chain tests: chains built from literals and a chain list
// holder released when it goes.
#pragma once

#include <initializer_list>

#include "geometry/ktgeo_types.h"
#include "geometry/topology/qd_te_geo_chain.h"

namespace tetest {

// A chain of a type with the given points (tolerance 0).
inline TeChain Chain(int32_t type, std::initializer_list<GeoCoord> pts, int32_t pid = 0) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = type;
    c.chain_pid = pid;
    if (pts.size()) qd_te_geo_form_location(&c, pts.begin(), int32_t(pts.size()), 0, 0);
    return c;
}

// A chain list released (chains and list) when the holder goes.
struct Chains {
    nlst* list = nullptr;
    explicit Chains(int32_t increment = 100) { qd_te_geo_chain_list_create(&list, increment); }
    ~Chains() { qd_te_geo_chain_list_free(&list); }
    Chains(const Chains&) = delete;
    Chains& operator=(const Chains&) = delete;
    // Appends a chain (moved in) and answers its row.
    int32_t Add(TeChain c) {
        nlst_add(list, &c);
        return int32_t(list->tally) - 1;
    }
    TeChain* At(int32_t row) const { return qd_te_chain_at(list, row); }
    int32_t Count() const { return int32_t(list->tally); }
};

inline GeoCoord Q(double x, double y, double z = KTGEO_NO_Z) { return {x, y, z}; }

}  // namespace tetest
