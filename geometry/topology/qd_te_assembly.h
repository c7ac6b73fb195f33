// The chain assembly pipeline (sort, link, region filter, cleaning and
// intersection stages, leaving, output by dimension) and the output
// assembly that cuts each result into output objects for the output method.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_util.h"

// Stage events.
enum : int32_t {
    TE_EVENT_PRIMARY_CLUSTERING = 1,
    TE_EVENT_FINAL_CLUSTERING = 2,
    TE_EVENT_PRIMARY_DUPLICATES = 3,
    TE_EVENT_FINAL_DUPLICATES = 4,
    TE_EVENT_INTERSECTION = 5,
    TE_EVENT_SETUP = 6,
    TE_EVENT_CLEANUP = 7,
    TE_EVENT_OVERLAPPING = 8,
    TE_EVENT_FEATURES = 9,
    TE_EVENT_NODES = 10,
    TE_EVENT_LINEARS = 11,
    TE_EVENT_SURFACES = 12,
    TE_EVENT_DATA_PROCESSING = 17,
    TE_EVENT_HEARTBEAT = 18,
    TE_EVENT_RUN_START = 19,
    TE_EVENT_RUN_END = 20,
    TE_EVENT_BUFFERING = 21,
};

// Test-only observer: called with the event number, the chain list (may
// be null) and the rules just before the engine sends each stage event.
struct TeStageObserver {
    void (*function)(int32_t event, const nlst* chains, const TeRules* rules, void* user);
    void* user;
};
extern TeStageObserver qd_te_stage_observer;

// Sends a stage event (observer first); the event method's answer.
int32_t qd_te_stage_event(TeRules* rules, const nlst* chains, int32_t event);

// One collected result of SPLIT, ERASE_IN and ERASE_OUT runs.
struct TeCollected {
    SpatialObject result;
    nlst* parents;  // TeParent
};

int qd_te_assemble_chains(nlst* chains, TeRules* rules);
int qd_te_process_chains(TeRules* rules, nlst* chains, int* done);
int qd_te_process_region_filter(TeRules* rules, nlst* chains);
int qd_te_process_chains_cluster(TeRules* rules, nlst* chains);
int qd_te_process_chains_duplicate(nlst* chains, TeRules* rules, int32_t snap);
int qd_te_process_chains_duplicate_nodes(TeRules* rules, nlst* chains);
int qd_te_process_chains_touch(nlst* chains, TeRules* rules);
int qd_te_process_chains_filter(TeRules* rules, nlst* chains);
int qd_te_process_chains_intersect(TeRules* rules, nlst* chains);
int qd_te_process_chains_intersect_nodes(TeRules* rules, nlst* chains);
int qd_te_process_chains_regions(nlst* chains, TeRules* rules);
int qd_te_process_chains_convex_hull(TeRules* rules, nlst* chains);
int qd_te_process_chains_verify(nlst* chains, int32_t* index);
int qd_te_process_chains_cleanup(nlst* chains, TeRules* rules);
int qd_te_chain_compare(const void* a, const void* b);
// Sorts the chain list with qd_te_chain_compare (the universal chain first).
int qd_te_chain_list_sort(nlst* chains);
int qd_te_chain_list_halve_increment(nlst* chains);
int32_t qd_te_collect_output(SpatialObject* result, nlst* parents, void* collected);
int qd_te_flush_collected(nlst* collected, TeRules* rules, TeOutputCallback* output);
void qd_te_free_collected(nlst** collected);

// Output assembly.
int qd_te_assembly_method(SpatialObject* geometry, nlst* parents, int32_t output_split,
                          TeOutputCallback* output_method);
int qd_te_assembly_check_mixture(int* refused, SpatialObject* geometry, int32_t output_split,
                                 nlst** pieces);
int qd_te_assembly_by_dissolve_method(SpatialObject* geometry, nlst* parents, TeRules* rules);
