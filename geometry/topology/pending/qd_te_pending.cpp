// Stand-ins for stages and encoders whose work is not built yet: each
// reports "UKT1M" with its name and answers 0 (or what the test spy answers),
// so a run that needs one fails rather than succeeding with an empty result.
// Every stage of the engine is built now, so no stand-in is defined here;
// the spy is still set by older tests, where it hears nothing.
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_split.h"

TePendingSpy qd_te_pending_spy = {nullptr, nullptr};

namespace {
[[maybe_unused]] int pending(const char* name) {
    if (qd_te_pending_spy.function) return qd_te_pending_spy.function(name, qd_te_pending_spy.user);
    return qd_te_missing(name);
}
}  // namespace

#define TE_PENDING(name, ...) \
    int name(__VA_ARGS__) { return pending(#name); }

