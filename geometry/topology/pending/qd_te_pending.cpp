// Stages and encoders whose work is not built yet. Each reports "UKT1M"
// with its name and answers 0, so a run that needs one fails rather than
// succeeding with an empty result; the chain check keeps chains as they
// are, the overlay walk finds every point outside (12) and islands
// dissolve leaves each polygon as it is.
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_split.h"

int qd_te_walk_overlay_point(const nlst*, int32_t, const GeoCoord*, int32_t, int32_t, const double*,
                             int32_t*) {
    return 12;
}
int qd_te_islands_dissolve(GeoPolygon*, TeRules*, int32_t* status, SpatialObject*) {
    if (status) *status = 1;
    return 1;
}

// Region parents: exact while the list holds no live REGION or ISLAND
// chain (every point is outside); with one the overlay walk is needed.
int qd_te_parents_inherit_transfer(TeChain* chain, int32_t, int32_t, int32_t, int32_t, const nlst* chains) {
    if (!chain || !chains) return qd_te_missing("qd_te_parents_inherit_transfer");
    for (uint32_t i = 1; i < chains->tally; ++i) {
        const TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if ((c->discard == CHAIN_OK || c->discard == CHAIN_REGION) &&
            (c->chain_type == TE_REGION || c->chain_type == TE_ISLAND))
            return qd_te_missing("qd_te_parents_inherit_transfer");
    }
    return 1;
}

TePendingSpy qd_te_pending_spy = {nullptr, nullptr};

namespace {
int pending(const char* name) {
    if (qd_te_pending_spy.function) return qd_te_pending_spy.function(name, qd_te_pending_spy.user);
    return qd_te_missing(name);
}
}  // namespace

#define TE_PENDING(name, ...) \
    int name(__VA_ARGS__) { return pending(#name); }

int qd_te_walk_nodes(TeChain* node, nlst* chains, TeRules*) {
    if (qd_te_pending_spy.chains) qd_te_pending_spy.chains("qd_te_walk_nodes", chains, node, qd_te_pending_spy.user);
    return pending("qd_te_walk_nodes");
}
int qd_te_linear_ff(nlst* chains, TeRules*, int32_t) {
    if (qd_te_pending_spy.chains) qd_te_pending_spy.chains("qd_te_linear_ff", chains, nullptr, qd_te_pending_spy.user);
    return pending("qd_te_linear_ff");
}
TE_PENDING(qd_te_poly_ff, nlst*, TeRules*)
TE_PENDING(qd_te_encode_feature_buffer, int32_t*, TeEncoder*, GeometricPrimitive*)
TE_PENDING(qd_te_encode_clipping, TeRules*, SpatialObject*, const TeClip*)
TE_PENDING(qd_te_buffer_output_geom, int32_t*, TeRules*, TeKeys*, nlst*, nlst*, int32_t)
TE_PENDING(qd_te_boundary_output_geom, TeRules*, nlst*, TeKeys*, nlst*, int32_t*)
TE_PENDING(qd_te_buffer_output, TeRules*, nlst*)
