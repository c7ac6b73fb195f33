// Stages and encoders whose work is not built yet. Each reports "UKT1M"
// with its name and answers 0, so a run that needs one fails rather than
// succeeding with an empty result; the chain check keeps chains as they
// are.
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

