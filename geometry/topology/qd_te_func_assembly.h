// The engine's entry points: one run of an operation over a list of input
// packs, the one-call entry per operation, the run over a plain list of
// geometries merged into one, the ready-made list and geometry output
// methods, the default error method (codes to reports) and the default
// event method (the stage log).
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_util.h"

// User data of the list output method: the caller's holder of an nlst of
// TePack (created on first use) and a filter for every result.
struct TeOutputList {
    nlst** target;
    TeFilter filter;
};

// User data of the geometry output method.
struct TeOutputGeom {
    SpatialObject* target;
    TeFilter filter;
};

int qd_te_func_abstract(nlst* inputs, TeRules* rules);
int qd_te_operator(int32_t mode, nlst* inputs, const TeCallbacks* callbacks, const int32_t* output_dim);
int qd_te_func_abstract_bygeomlist(const nlst* geometries, SpatialObject* result, TeRules* rules,
                                   int32_t* status);
int qd_te_func_abstract_set_rules(TeRules* rules, int32_t mode, void* user_data, int32_t output_kind,
                                  int32_t logging);
int qd_te_func_abstract_set_output_list(TeOutputList* out, nlst** holder, const TeFilter* filter);
int qd_te_func_abstract_set_output_geom(TeOutputGeom* out, SpatialObject* geometry,
                                        const TeFilter* filter);
int32_t qd_te_func_abstract_output_list_method(SpatialObject* result, nlst* parents, void* out);
int32_t qd_te_func_abstract_output_geom_method(SpatialObject* result, nlst* parents, void* out);
int32_t qd_te_func_abstract_error_method(FailEvent* code_record, void* user_data);
int32_t qd_te_func_abstract_event_method(FailEvent* event_record, void* clock);

// Installs the record's error method as the geometry library's fail
// handler and answers the handler it replaces; clear puts that one back.
FailHandler* qd_te_set_fail_handler(TeRules* rules);
void qd_te_clear_fail_handler(FailHandler* previous);

// The stage log. The clock reads seconds from the time source, which
// tests may replace.
struct TeTimeSource {
    int64_t (*now)(void* user);
    void* user;
};
extern TeTimeSource qd_te_time_source;
int qd_te_stage_log(TeClock* clock, const char* text);
int qd_te_time_event_log(TeClock* clock, const char* name, int64_t limit);

// One-call entry points: (inputs, &holder of the output pack list).
int qd_te_op_single(nlst* inputs, nlst** output);
int qd_te_op_split(nlst* inputs, nlst** output);
int qd_te_op_all(nlst* inputs, nlst** output);
int qd_te_op_branch(nlst* inputs, nlst** output);
int qd_te_op_contiguous(nlst* inputs, nlst** output);
int qd_te_op_dissolve(nlst* inputs, nlst** output);
int qd_te_op_erase_in(nlst* inputs, nlst** output);
int qd_te_op_erase_out(nlst* inputs, nlst** output);
int qd_te_op_buffer(nlst* inputs, nlst** output);
int qd_te_op_adjacent(nlst* inputs, nlst** output);
int qd_te_op_join(nlst* inputs, nlst** output);
int qd_te_op_preserve(nlst* inputs, nlst** output);
int qd_te_op_unclosed(nlst* inputs, nlst** output);
int qd_te_op_intersect(nlst* inputs, nlst** output);
int qd_te_op_intersect_twin(nlst* inputs, nlst** output);
int qd_te_op_intersect_nodes(nlst* inputs, nlst** output);
int qd_te_op_overlay_nodes(nlst* inputs, nlst** output);
int qd_te_op_buffer_all(nlst* inputs, nlst** output);
int qd_te_op_buffer_split(nlst* inputs, nlst** output);

// Frees a list of packs made by the list output method (or the caller):
// each pack's work geometry is released, then the list.
void qd_te_pack_list_free(nlst** packs);
