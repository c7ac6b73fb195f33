// Shared pieces of the linear output modules: an output geometry with its
// parent list, released on every path, and small checks.
#pragma once

#include <cstdint>
#include <functional>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"

struct TeChain;
struct TeRules;

namespace qd_te_linear_detail {

struct Geometry {
    SpatialObject object;
    nlst* parents = nullptr;
    TeRules* rules;
    explicit Geometry(TeRules* r);
    ~Geometry();
    Geometry(const Geometry&) = delete;
    Geometry& operator=(const Geometry&) = delete;
    bool empty() const;
    void clear();
    // Merges the parents, joins the curves when asked and the rules say so
    // (`reconnect` 1), hands the object to the output assembly, counts it
    // and starts afresh in the output coordinate system.
    int deliver(bool reconnect = false);
};

int heartbeat(TeRules* rules);
// Engine error code through the error method; 0.
int mode_error(TeRules* rules, int32_t code);
bool valid_row(const nlst* chains, int32_t row);
// The common loop of the builds: each next unmarked chain (no bit set) is
// marked, a heartbeat sent and the chain treated; 1 when none is left.
int each_next_chain(nlst* chains, TeRules* rules, const std::function<int(TeChain*, int32_t)>& treat);

}  // namespace qd_te_linear_detail
