// Stages and encoders whose work is not built yet. Each reports "UKT1M"
// with its name and answers 0, so a run that needs one fails rather than
// succeeding with an empty result; the chain check keeps chains as they
// are and islands dissolve leaves each polygon as it is.
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_split.h"

int qd_te_islands_dissolve(GeoPolygon*, TeRules*, int32_t* status, SpatialObject*) {
    if (status) *status = 1;
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

TE_PENDING(qd_te_encode_feature_buffer, int32_t*, TeEncoder*, GeometricPrimitive*)
TE_PENDING(qd_te_encode_clipping, TeRules*, SpatialObject*, const TeClip*)
TE_PENDING(qd_te_buffer_output_geom, int32_t*, TeRules*, TeKeys*, nlst*, nlst*, int32_t)
TE_PENDING(qd_te_boundary_output_geom, TeRules*, nlst*, TeKeys*, nlst*, int32_t*)
TE_PENDING(qd_te_buffer_output, TeRules*, nlst*)
