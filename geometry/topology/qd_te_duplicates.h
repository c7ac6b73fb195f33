// Duplicate removal and chain merging: the removal passes over the link
// order, the dispatch from a pair of chains to its identity test, the
// tests of two nodes and of a node against a chain, and the merge of two
// chains and of their parents. Tolerance: a pointer to one value, or null
// for the vertices' own tolerances.
#pragma once

#include <cstdint>

#include "geometry/qd_nlst.h"

struct TeChain;

int qd_te_duplicates_removal(nlst* chains, int32_t index, double tolerance, int32_t per_point);
int qd_te_duplicates_node_removal(nlst* chains, int32_t index, double tolerance, int32_t per_point);

int qd_te_duplicates_prim(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical);
int qd_te_identical_nodes(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical);
int qd_te_identical_node_linear(TeChain* chain, TeChain* node, const double* tolerance,
                                int32_t* identical);
int qd_te_duplicates_merge_chains(TeChain* keep, TeChain* drop);
int qd_te_duplicates_merge_parents(TeChain* donor, TeChain* survivor);

// The identity test of a pair of linear chains (PATH, LINE, ARC, CIRCLE,
// CURVE in the dispatch table). Until those tests are in place such pairs
// answer "not identical", quietly; a test may install its own answer.
typedef int (*TePairTest)(TeChain* first, TeChain* second, const double* tolerance,
                          int32_t* identical, void* user);
struct TePairTestHook {
    TePairTest test;
    void* user;
};
extern TePairTestHook qd_te_duplicates_pair_test;

struct GeoCoord;
// Coordinate reference lists (nlst of TeCoordRef): references to a chain's
// points (path clip modes 1 to 4), and the count of coincidences between
// references of different tags.
int qd_te_duplicates_path_clip(TeChain* chain, nlst** list, int32_t tag, const double* tolerance,
                               const GeoCoord* box, int32_t mode, int32_t* all_inside);
int qd_te_duplicates_touch_count(nlst* list);
