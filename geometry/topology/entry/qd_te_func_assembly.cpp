// Entry points, output methods, the default error and event methods and
// the stage log.
#include <ctime>
#include <cstring>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_quick.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_geo_chain.h"

namespace {

int64_t system_now(void*) { return int64_t(std::time(nullptr)); }

int64_t now() { return qd_te_time_source.now(qd_te_time_source.user); }

// The default error method's own reports must not come back into it.
bool g_reporting = false;

struct CodeReport {
    int32_t code;
    const char* report;  // null: nothing
    int32_t answer;
};

const CodeReport kCodes[] = {
    {0, "01KTL", 1},   {-1, "01KTK", 1},  {-46, "01KTK", 1}, {-2, "01KTJ", 1},  {-3, "01KTI", 1},
    {-4, "01KTH", 1},  {-5, "01KTG", 1},  {-6, "01KTF", 1},  {-7, "01KTE", 1},  {-8, "01KTD", 1},
    {-9, "01KTC", 1},  {-10, "01KTB", 1}, {-11, "UKT1P", 0}, {-12, "UKT1Q", 0}, {-13, "UKT1R", 0},
    {-14, "UKT1O", 0}, {-15, "UKT1U", 0}, {-16, "01KTA", 1}, {-17, "UKT1T", 0}, {-23, nullptr, 1},
    {-24, nullptr, 1}, {-42, "01KTM", 1}, {-43, "UKT1S", 0}, {-44, "01KTN", 1}, {-45, "UKT1V", 1},
};

const char* kStageTexts[] = {
    "NONE",
    " ->>> Primary Clustering         ",
    " ->>> Final Clustering           ",
    " ->>> Primary Duplicates removal ",
    " ->>> Final Duplicates removal   ",
    " ->>> Intersection Detection     ",
    " ->>> Primitives Setup           ",
    " ->>> Primitives cleanup         ",
    " ->>> Overlapping                ",
    " Features formation              ",
    " ->>> Nodes     formation  ...   ",
    " ->>> Linears   formation  ...   ",
    " ->>> Surfaces  formation  ...   ",
    " ->>> Walking   polygons   ...   ",
    " ->>> Islands   detection  ...   ",
    " ->>> Slivers   removal    ...   ",
    " ->>> Dangles   processing ...   ",
    " Data Processing                 ",
};
const char* kBuffering = " ->>> Buffering                  ";

void function_field(const TeClock* clock, char* out, size_t size) {
    std::snprintf(out, size, "qd_te(%08x)", unsigned(reinterpret_cast<uintptr_t>(clock) & 0xffffffffu));
}

void split_hms(int64_t s, int* h, int* m, int* sec) {
    if (s < 0) s = 0;
    *h = int(s / 3600);
    *m = int(s / 60 % 60);
    *sec = int(s % 60);
}

void release_inputs(nlst** inputs) {
    if (!*inputs) return;
    nlst_free(*inputs);
    *inputs = nullptr;
}

int op(int32_t mode, nlst* inputs, nlst** output) {
    if (!inputs || inputs->tally == 0) return inputs ? 1 : qd_te_missing("qd_te_func_abstract");
    TeRules rules;
    qd_te_rules_init(&rules);
    TeOutputList out;
    qd_te_func_abstract_set_output_list(&out, output, nullptr);
    qd_te_func_abstract_set_rules(&rules, mode, &out, 1, 0);
    return qd_te_func_abstract(inputs, &rules);
}

}  // namespace

TeTimeSource qd_te_time_source = {system_now, nullptr};

FailHandler* qd_te_set_fail_handler(TeRules* rules) {
    FailHandler* previous = qd_fail_state.handler;
    qd_fail_set_handler(rules ? &rules->error_method : nullptr);
    return previous;
}

void qd_te_clear_fail_handler(FailHandler* previous) { qd_fail_set_handler(previous); }

int32_t qd_te_func_abstract_error_method(FailEvent* code_record, void*) {
    if (!code_record) return 1;
    if (g_reporting) return 1;
    const int32_t code = code_record->code;
    for (const CodeReport& c : kCodes) {
        if (c.code != code) continue;
        if (c.report) {
            g_reporting = true;
            qd_fail("qd_te_func_assembly", 0, c.report, "code%d", code, nullptr);
            g_reporting = false;
        }
        return c.answer;
    }
    if ((code <= -18 && code >= -22) || (code <= -25 && code >= -41)) return 0;
    return 1;
}

int qd_te_stage_log(TeClock* clock, const char* text) {
    if (!clock) return qd_te_missing("qd_te_stage_log");
    if (!text) text = "-";
    char function[32];
    function_field(clock, function, sizeof function);
    const int64_t t = now();
    char line[256];
    if (clock->start_time == 0) {
        char stamp[32] = "Error   00 00:00:00 0000";
        const time_t tt = time_t(t);
        struct tm local;
        if (localtime_r(&tt, &local)) {
            char formatted[32];
            // The C library's 24-character time text, in the C locale.
            if (std::strftime(formatted, sizeof formatted, "%a %b %e %H:%M:%S %Y", &local) == 24)
                std::memcpy(stamp, formatted, 25);
        }
        std::snprintf(line, sizeof line, "## %s ## %s ##", text, stamp);
        clock->start_time = t;
    } else {
        int h1, m1, s1, h2, m2, s2;
        split_hms(t - clock->last_stage_time, &h1, &m1, &s1);
        split_hms(t - clock->start_time, &h2, &m2, &s2);
        std::snprintf(line, sizeof line, "## %s ## [%.2d:%02d:%02d] -- [%.2d:%02d:%02d] ##", text, h1, m1,
                      s1, h2, m2, s2);
    }
    clock->last_stage_time = t;
    qd_trace_printf(64, "qd_te_func_assembly", 0, function, "%s", line);
    return 1;
}

int qd_te_time_event_log(TeClock* clock, const char* name, int64_t limit) {
    if (!clock) return qd_te_missing("qd_te_time_event_log");
    const int64_t t = now();
    if (clock->last_time_event != 0 && t - clock->last_time_event > limit) {
        char function[32];
        function_field(clock, function, sizeof function);
        int h, m, s;
        split_hms(t - clock->last_time_event, &h, &m, &s);
        qd_trace_printf(64, "qd_te_func_assembly", 0, function, "## %s ## [%.2d:%02d:%02d] ##",
                        name ? name : "-", h, m, s);
    }
    clock->last_time_event = t;
    return 1;
}

int32_t qd_te_func_abstract_event_method(FailEvent* event_record, void* clock) {
    if (!event_record) {
        std::fputs("NULL", stdout);
        return 1;
    }
    auto* c = static_cast<TeClock*>(clock);
    const int32_t event = event_record->code;
    if (event >= 1 && event <= 17) return qd_te_stage_log(c, kStageTexts[event]);
    if (event == TE_EVENT_BUFFERING) return qd_te_stage_log(c, kBuffering);
    if (event == TE_EVENT_HEARTBEAT) return qd_te_time_event_log(c, "TimeEvent", 60);
    return 1;
}

int qd_te_func_abstract(nlst* inputs, TeRules* rules) {
    if (!rules || !inputs) return qd_te_missing("qd_te_func_abstract");
    if (inputs->tally == 0) return 1;
    FailHandler* previous = qd_te_set_fail_handler(rules);
    const TeOutputCallback output = rules->output_method;
    nlst* chains = nullptr;
    int ok = qd_te_rules_verify(rules) &&
             qd_te_stage_event(rules, nullptr, TE_EVENT_RUN_START) &&
             qd_te_geo_chain_list_create(&chains, rules->chain_increment);
    if (ok) {
        const int32_t m = rules->mode;
        const bool prune = m == TE_SPLIT || m == TE_ERASE_IN || m == TE_ERASE_OUT || m == TE_OVERLAY_NODES;
        ok = prune ? qd_te_chains_from_object_list_prune(inputs, rules, chains)
                   : qd_te_chains_from_object_list(inputs, rules, chains);
    }
    if (ok) ok = qd_te_assemble_chains(chains, rules) && qd_te_stage_event(rules, chains, TE_EVENT_RUN_END);
    qd_te_geo_chain_list_free(&chains);
    rules->output_method = output;
    qd_te_clear_fail_handler(previous);
    return ok ? 1 : 0;
}

int qd_te_operator(int32_t mode, nlst* inputs, const TeCallbacks* callbacks, const int32_t* output_dim) {
    if (!callbacks) return qd_te_missing("qd_te_operator");
    if (!inputs || inputs->tally == 0) return 1;
    TeRules rules;
    qd_te_rules_init(&rules);
    rules.mode = mode;
    if (output_dim) rules.output_dim = *output_dim;
    rules.output_method = callbacks->output_method;
    rules.eafs_method = callbacks->eafs_method;
    rules.event_method = callbacks->event_method;
    rules.error_method = callbacks->error_method;
    return qd_te_func_abstract(inputs, &rules);
}

int qd_te_func_abstract_set_rules(TeRules* rules, int32_t mode, void* user_data, int32_t output_kind,
                                  int32_t logging) {
    if (!rules) return qd_te_missing("qd_te_func_abstract_set_rules");
    rules->mode = mode;
    rules->error_method = {qd_te_func_abstract_error_method, nullptr};
    rules->event_method = {logging == 1 ? qd_te_func_abstract_event_method : nullptr, &rules->clock};
    rules->eafs_method = {nullptr, nullptr};
    rules->output_method = {output_kind == 1 ? qd_te_func_abstract_output_list_method
                                             : qd_te_func_abstract_output_geom_method,
                            user_data};
    rules->dissolve_islands = 1;
    rules->clip_output = 1;
    return 1;
}

int qd_te_func_abstract_set_output_list(TeOutputList* out, nlst** holder, const TeFilter* filter) {
    if (!out) return qd_te_missing("qd_te_func_abstract_set_output_list");
    out->target = holder;
    if (filter) out->filter = *filter;
    else qd_te_filter_geom_init(&out->filter, 0);
    return 1;
}

int qd_te_func_abstract_set_output_geom(TeOutputGeom* out, SpatialObject* geometry,
                                        const TeFilter* filter) {
    if (!out || !geometry) return qd_te_missing("qd_te_func_abstract_set_output_geom");
    out->target = geometry;
    if (filter) out->filter = *filter;
    else qd_te_filter_geom_init(&out->filter, 0);
    return 1;
}

int32_t qd_te_func_abstract_output_list_method(SpatialObject* result, nlst* parents, void* user) {
    auto* out = static_cast<TeOutputList*>(user);
    if (!result || !out || !out->target) return qd_te_missing("qd_te_func_abstract_output_list_method");
    if (!qd_te_filter_geom(result, &out->filter)) return 0;
    if (!result->primitives || result->primitives->tally == 0) return 1;
    TePack pack;
    qd_te_pack_init(&pack);
    pack.work = *result;
    qd_te_so_reset(result, result->csid);  // the pack owns the primitives now
    if (parents && parents->tally > 0) pack.keys.parent = *static_cast<TeParent*>(nlst_index(parents, 0));
    if (!*out->target && !(*out->target = nlst_alloc(sizeof(TePack), 4, 4, nullptr))) {
        ktgeo_so_release(&pack.work);
        return qd_te_no_memory();
    }
    if (!nlst_add(*out->target, &pack)) {
        ktgeo_so_release(&pack.work);
        return qd_te_no_memory();
    }
    return 1;
}

int32_t qd_te_func_abstract_output_geom_method(SpatialObject* result, nlst*, void* user) {
    auto* out = static_cast<TeOutputGeom*>(user);
    if (!result || !out || !out->target) return qd_te_missing("qd_te_func_abstract_output_geom_method");
    if (!qd_te_filter_geom(result, &out->filter)) return 0;
    if (!result->primitives) return 1;
    // The target takes the primitives by value; the result's list goes.
    int ok = 1;
    for (uint32_t i = 0; ok && i < result->primitives->tally; ++i) {
        auto* p = static_cast<GeometricPrimitive*>(nlst_index(result->primitives, i));
        if (!out->target->primitives && !(out->target->primitives = ktgeo_primitive_list_new(nullptr)))
            ok = 0;
        else ok = nlst_add(out->target->primitives, p) ? 1 : 0;
        if (!ok) {
            // What did not move stays with the result.
            nlst_remove_many(result->primitives, 0, i);
            return qd_te_no_memory();
        }
    }
    nlst_free(result->primitives);
    result->primitives = nullptr;
    ktgeo_so_complete(out->target);
    return 1;
}

int qd_te_func_abstract_bygeomlist(const nlst* geometries, SpatialObject* result, TeRules* rules,
                                   int32_t* status) {
    if (!status || !rules || !result) return qd_te_missing("qd_te_func_abstract_bygeomlist");
    if (!geometries || geometries->tally == 0) {
        qd_te_so_reset(result, 0);
        *status = 0;
        return 1;
    }
    const auto* first = static_cast<const SpatialObject*>(nlst_index(geometries, 0));
    qd_te_so_reset(result, first->csid);
    TeOutputGeom out;
    qd_te_func_abstract_set_output_geom(&out, result, nullptr);
    rules->output_method = {qd_te_func_abstract_output_geom_method, &out};
    for (uint32_t i = 0; i < geometries->tally; ++i) {
        const auto* g = static_cast<const SpatialObject*>(nlst_index(geometries, i));
        if (!g->primitives || g->primitives->tally == 0 || !ktgeo_quick_check(g)) {
            *status = -1;
            return 1;
        }
        if (g->csid != first->csid) {
            qd_te_missing("qd_te_func_abstract_bygeomlist");
            *status = -1;
            return 1;
        }
    }
    qd_te_so_reset(result, first->csid);
    rules->output_csid = first->csid;
    nlst* inputs = nlst_alloc(sizeof(TePack), geometries->tally, 1, nullptr);
    if (!inputs) return qd_te_no_memory();
    for (uint32_t i = 0; i < geometries->tally; ++i) {
        TePack pack;
        qd_te_pack_init(&pack);
        pack.keys.parent = {1, int32_t(i) + 1, 0};
        pack.use_input = 1;
        pack.input = static_cast<SpatialObject*>(nlst_index(geometries, i));
        if (!nlst_add(inputs, &pack)) {
            release_inputs(&inputs);
            return qd_te_no_memory();
        }
    }
    const int ok = qd_te_func_abstract(inputs, rules);
    if (ok) {
        *status = result->primitives && result->primitives->tally > 0 ? 1 : 0;
        result->csid = first->csid;
    } else {
        *status = -1;
        ktgeo_so_release(result);
    }
    release_inputs(&inputs);
    return ok;
}

void qd_te_pack_list_free(nlst** packs) {
    if (!packs || !*packs) return;
    for (uint32_t i = 0; i < (*packs)->tally; ++i)
        qd_te_pack_free(static_cast<TePack*>(nlst_index(*packs, i)));
    nlst_free(*packs);
    *packs = nullptr;
}

int qd_te_op_single(nlst* i, nlst** o) { return op(TE_SINGLE, i, o); }
int qd_te_op_split(nlst* i, nlst** o) { return op(TE_SPLIT, i, o); }
int qd_te_op_all(nlst* i, nlst** o) { return op(TE_ALL, i, o); }
int qd_te_op_branch(nlst* i, nlst** o) { return op(TE_BRANCH, i, o); }
int qd_te_op_contiguous(nlst* i, nlst** o) { return op(TE_CONTIGUOUS, i, o); }
int qd_te_op_dissolve(nlst* i, nlst** o) { return op(TE_DISSOLVE, i, o); }
int qd_te_op_erase_in(nlst* i, nlst** o) { return op(TE_ERASE_IN, i, o); }
int qd_te_op_erase_out(nlst* i, nlst** o) { return op(TE_ERASE_OUT, i, o); }
int qd_te_op_buffer(nlst* i, nlst** o) { return op(TE_BUFFER, i, o); }
int qd_te_op_adjacent(nlst* i, nlst** o) { return op(TE_ADJACENT, i, o); }
int qd_te_op_join(nlst* i, nlst** o) { return op(TE_JOIN, i, o); }
int qd_te_op_preserve(nlst* i, nlst** o) { return op(TE_PRESERVE, i, o); }
int qd_te_op_unclosed(nlst* i, nlst** o) { return op(TE_UNCLOSED, i, o); }
int qd_te_op_intersect(nlst* i, nlst** o) { return op(TE_INTERSECT, i, o); }
int qd_te_op_intersect_twin(nlst* i, nlst** o) { return op(TE_INTERSECT, i, o); }
int qd_te_op_intersect_nodes(nlst* i, nlst** o) { return op(TE_INTERSECT_NODES, i, o); }
int qd_te_op_overlay_nodes(nlst* i, nlst** o) { return op(TE_OVERLAY_NODES, i, o); }
int qd_te_op_buffer_all(nlst* i, nlst** o) { return op(TE_BUFFER_ALL, i, o); }
int qd_te_op_buffer_split(nlst* i, nlst** o) { return op(TE_BUFFER_SPLIT, i, o); }
