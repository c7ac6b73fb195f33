// Stand-ins for the cutting stage: each reports "UKT1M" with its name (or
// answers through the test spy) so that a run needing one fails. The cut
// of a self-crossing ring keeps the encoders' behaviour until it lands:
// nothing is inserted and the ring is handed over whole as its one piece.
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_util.h"

namespace {
int pending(const char* name) {
    if (qd_te_pending_spy.function) return qd_te_pending_spy.function(name, qd_te_pending_spy.user);
    return qd_te_missing(name);
}
}  // namespace

int qd_te_split_chains(TeChain*, nlst*, nlst**, double) { return pending("qd_te_split_chains"); }
int qd_te_split_chain_by_list(int32_t, nlst*, nlst*, double, int32_t* inserted) {
    if (inserted) *inserted = 0;
    return pending("qd_te_split_chain_by_list");
}
int qd_te_split_chain_cross(TeChain*, nlst*, double) {
    if (qd_te_pending_spy.function) return pending("qd_te_split_chain_cross");
    return 1;
}
int qd_te_split_linear_record_intr(TeChain*, int32_t, nlst*, nlst**, int32_t, double) {
    return pending("qd_te_split_linear_record_intr");
}
int qd_te_split_form_poly_cross(TeChain* ring, nlst** rings, int32_t, int32_t, double) {
    if (qd_te_pending_spy.function) return pending("qd_te_split_form_poly_cross");
    if (!ring || !rings) return qd_te_missing("qd_te_split_form_poly_cross");
    if (!*rings && !(*rings = nlst_alloc(sizeof(TeChain), 2, 2, nullptr))) return qd_te_no_memory();
    if (!nlst_add(*rings, ring)) return qd_te_no_memory();
    qd_te_geo_chain_default(ring);
    return 1;
}
int qd_te_split_remove_duplicate_chains(nlst*, double) {
    if (qd_te_pending_spy.function) return pending("qd_te_split_remove_duplicate_chains");
    return 1;
}
int qd_te_duplicates_path_clip(TeChain*, nlst**, int32_t, const double*, const GeoCoord*, int32_t,
                               int32_t*) {
    return pending("qd_te_duplicates_path_clip");
}
int qd_te_duplicates_touch_count(nlst*) { return pending("qd_te_duplicates_touch_count"); }
