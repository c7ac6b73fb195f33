// Buffer and boundary sub-runs: the chains one input primitive left in its
// private list are assembled by a nested pipeline run on a copy of the rules,
// whose output method feeds every result back into the main run's chain list
// as a fresh input. The main rules are changed only for one output call and
// restored on every path; the outer error method stays installed.
#include <cstring>

#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_parents.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_util.h"

namespace {

struct SubRunContext {
    int32_t found;
    int32_t* status;
    TeRules* rules;
    TeKeys* keys;
    nlst* target;
};

// The nested rules: the main run's record with its own mode and an unbounded
// work extent; the event method is cleared, the eafs method too unless kept.
TeRules nested_rules(const TeRules* rules, int32_t mode, bool buffer, bool keep_eafs) {
    TeRules r = *rules;
    r.mode = mode;
    if (buffer) {
        r.secondary = TE_EXCURSION;
        r.islands = 0;
        r.drop_unclosed = 1;
    }
    qd_te_work_extent_init(&r);
    qd_te_callback_init(&r.event_method);
    if (!keep_eafs) r.eafs_method = TeEafsCallback{nullptr, nullptr};
    return r;
}

// What a re-encoding borrows from the main rules, put back on every path.
struct Borrowed {
    TeRules* rules;
    int32_t mode, input_option_1;
    TeCounters input_counters, output_counters;
    explicit Borrowed(TeRules* r)
        : rules(r), mode(r->mode), input_option_1(r->input_option_1),
          input_counters(r->statistics.input_counters), output_counters(r->statistics.output_counters) {
        std::memset(&r->statistics.input_counters, 0, sizeof(TeCounters));
        std::memset(&r->statistics.output_counters, 0, sizeof(TeCounters));
    }
    ~Borrowed() {
        rules->mode = mode;
        rules->input_option_1 = input_option_1;
        rules->statistics.input_counters = input_counters;
        rules->statistics.output_counters = output_counters;
    }
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;
};

bool has_primitives(const SpatialObject* g) { return g && g->primitives && g->primitives->tally > 0; }

bool overlaps_live_chain(const nlst* target, const SpatialObject* g) {
    if (!target) return false;
    for (uint32_t i = 0; i < target->tally; ++i) {
        auto* c = static_cast<TeChain*>(nlst_index(const_cast<nlst*>(target), i));
        if (!c || c->discard != CHAIN_OK) continue;
        if (c->chain_mer[0].x <= g->env_max.x && g->env_min.x <= c->chain_mer[1].x &&
            c->chain_mer[0].y <= g->env_max.y && g->env_min.y <= c->chain_mer[1].y)
            return true;
    }
    return false;
}

}  // namespace

int32_t qd_te_buffer_output_geom_method(SpatialObject* geometry, nlst* parents, void* user) {
    auto* ctx = static_cast<SubRunContext*>(user);
    if (!geometry || !ctx) return qd_te_missing("qd_te_buffer_output_geom_method");
    if (!has_primitives(geometry)) return 1;
    if (!ctx->found && overlaps_live_chain(ctx->target, geometry)) ctx->found = 1;
    Borrowed saved(ctx->rules);
    ctx->rules->mode = TE_SINGLE;
    ctx->rules->input_option_1 = 1;
    TeKeys keys;
    if (ctx->keys) {
        keys = *ctx->keys;
    } else {
        qd_te_keys_init(&keys);
        keys.tolerance = ctx->rules->tolerance;
        keys.key = -1;
    }
    if (parents && parents->tally > 0) {
        if (!qd_te_parents_sort_frequency(parents)) return 0;
        keys.parent = *static_cast<TeParent*>(nlst_index(parents, 0));
    }
    int32_t status = TE_STATUS_ACCEPTED;
    const uint32_t before = ctx->target ? ctx->target->tally : 0;
    const int ok = qd_te_chains_from_geometry(geometry, ctx->rules, &keys, ctx->target, nullptr, nullptr, &status);
    if (ok && status != TE_STATUS_ACCEPTED && ctx->status) *ctx->status = status;
    // A buffer polygon that its own re-encoding refuses (its check answers
    // with a warning and passes it over) would vanish from the result with
    // the run answering success: the run fails instead. One that lies
    // outside the run's work extent is left out, as any input there is.
    const double* e = ctx->rules->work_extent;
    const bool inside = !(geometry->env_min.x > e[3] || geometry->env_max.x < e[0] || geometry->env_min.y > e[4] ||
                          geometry->env_max.y < e[1]);
    if (ok && inside && ctx->target && ctx->target->tally == before) {
        QD_FAIL("UKT_1", "function%s", "qd_te_buffer_output_geom_method", "param%s", "geometry", nullptr);
        return 0;
    }
    return ok;
}

int qd_te_buffer_dissolve_geom(nlst* target, TeRules* rules) {
    if (!rules) return qd_te_missing("qd_te_buffer_dissolve_geom");
    if (!target || target->tally < 2) return 1;
    // Move the chain records into a work list and reset the target to a
    // fresh universal chain without releasing them: the work list owns them.
    nlst* work = nullptr;
    if (!qd_te_geo_chain_list_create(&work, static_cast<int32_t>(target->tally))) return 0;
    qd_te_geo_free_chain_list(work, 0);
    if (!nlst_add_many(work, target->data, target->tally)) {
        qd_te_geo_chain_list_free(&work);
        return qd_te_no_memory();
    }
    nlst_trunc(target, 0);
    TeChain universal;
    qd_te_geo_chain_universal_init(&universal);
    int ok = nlst_add(target, &universal) ? 1 : qd_te_no_memory();
    int32_t status = TE_STATUS_ACCEPTED;
    SubRunContext ctx{1, &status, rules, nullptr, target};
    TeRules nested = nested_rules(rules, TE_DISSOLVE, true, false);
    nested.output_method = TeOutputCallback{qd_te_buffer_output_geom_method, &ctx};
    if (ok) ok = qd_te_assemble_chains(work, &nested);
    qd_te_geo_chain_list_free(&work);
    return ok;
}

int qd_te_buffer_output_geom(int32_t* status, TeRules* rules, TeKeys* keys, nlst* chains, nlst* target,
                             int32_t all_points) {
    if (!status || !rules || !keys) return qd_te_missing("qd_te_buffer_output_geom");
    if (!chains || chains->tally < 2) return 1;
    SubRunContext ctx{0, status, rules, keys, target};
    TeRules nested = nested_rules(rules, TE_BUFFER_SPLIT, true, false);
    nested.output_method = TeOutputCallback{qd_te_buffer_output_geom_method, &ctx};
    if (!qd_te_assemble_chains(chains, &nested)) return 0;
    if (all_points && ctx.found) {
        if (!qd_te_geo_chain_list_reset(chains)) return 0;
        return qd_te_buffer_dissolve_geom(target, rules);
    }
    return 1;
}

int qd_te_buffer_output(TeRules* rules, nlst* chains) {
    if (!rules) return qd_te_missing("qd_te_buffer_output");
    if (!chains || chains->tally < 2) return 1;
    TeRules nested = nested_rules(rules, TE_DISSOLVE, true, true);
    const int ok = qd_te_assemble_chains(chains, &nested);
    const int reset = qd_te_geo_chain_list_reset(chains);
    // A failed dissolve fails the geometry: its buffers never reached the caller.
    return ok && reset;
}

namespace {
int32_t boundary_method(SpatialObject* geometry, nlst*, void* user) {
    auto* ctx = static_cast<SubRunContext*>(user);
    if (!geometry || !ctx) return qd_te_missing("qd_te_boundary_output_geom_method");
    if (!has_primitives(geometry)) return 1;
    int ok;
    {
        Borrowed saved(ctx->rules);
        ctx->rules->mode = TE_INTERSECT;
        int32_t status = TE_STATUS_ACCEPTED;
        ok = qd_te_chains_from_geometry(geometry, ctx->rules, ctx->keys, ctx->target, nullptr, nullptr, &status);
        if (ok && status != TE_STATUS_ACCEPTED && ctx->status) *ctx->status = status;
    }
    --ctx->rules->statistics.tallies[3];
    return ok;
}
}  // namespace

int32_t qd_te_boundary_output_geom_method(SpatialObject* geometry, nlst* parents, void* user) {
    return boundary_method(geometry, parents, user);
}

int qd_te_boundary_output_geom(TeRules* rules, nlst* chains, TeKeys* keys, nlst* target, int32_t* status) {
    if (!rules || !keys || !status) return qd_te_missing("qd_te_boundary_output_geom");
    if (!chains || chains->tally < 2) return 1;
    SubRunContext ctx{0, status, rules, keys, target};
    TeRules nested = nested_rules(rules, TE_BOUNDARY, false, false);
    nested.output_method = TeOutputCallback{qd_te_boundary_output_geom_method, &ctx};
    return qd_te_assemble_chains(chains, &nested);
}
