// Duplicate removal and chain merging: the removal passes over the link
// order, the dispatch from a pair of chains to its identity test, the
// tests of two nodes and of a node against a chain, and the merge of two
// chains and of their parents. Tolerance: a pointer to one value, or null
// for the vertices' own tolerances.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"

struct TeChain;
struct TeVertex;
struct TeCoordRef;

int qd_te_duplicates_removal(nlst* chains, int32_t index, double tolerance, int32_t per_point);
int qd_te_duplicates_node_removal(nlst* chains, int32_t index, double tolerance, int32_t per_point);

int qd_te_duplicates_prim(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical);
int qd_te_identical_nodes(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical);
int qd_te_identical_node_linear(TeChain* chain, TeChain* node, const double* tolerance,
                                int32_t* identical);
int qd_te_duplicates_merge_chains(TeChain* keep, TeChain* drop);
int qd_te_duplicates_merge_parents(TeChain* donor, TeChain* survivor);

// The identity tests of the pairs of linear chains; each answers 1 or 0
// and sets identical when the pair was found identical (and merged; arc
// against circle cuts the circle to the rest of it instead).
int qd_te_identical_vectors(const double* tolerance, const TeVertex* a0, const TeVertex* b0,
                            int32_t* identical, const TeVertex* a1, const TeVertex* b1,
                            int32_t keep_either, int32_t* which);
int qd_te_identical_lines(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical);
int qd_te_identical_arc_line(TeChain* arc, TeChain* line, const double* tolerance, int32_t* identical);
int qd_te_identical_curve_line(TeChain* curve, TeChain* line, const double* tolerance,
                               int32_t* identical);
int qd_te_identical_path_line(TeChain* path, TeChain* line, const double* tolerance, int32_t* identical);
int qd_te_identical_paths(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical);
int qd_te_identical_curves(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical);
int qd_te_identical_circles(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical);
int qd_te_identical_arcs(TeChain* b, TeChain* a, const double* tolerance, int32_t* identical);
int qd_te_identical_arc_merger(const double* tolerance, TeChain* b, int32_t* identical, TeChain* a);
int qd_te_identical_arc_circle(TeChain* arc, TeChain* circle, const double* tolerance,
                               int32_t* identical);

// Coordinate reference lists (nlst of TeCoordRef). Windows of the sorted
// sweeps reach max(T, 1e-10) + 1e-10 past a reference's x, T the largest
// tolerance of the list, as far as the fuzzy point test accepts.
// Path clip modes: 1 every point, 2 every point with a closed chain's
// closing point once, 3 the end points, 4 the places visited twice that
// cross (with spike tips). box: two corners, or null.
// Order of references by place: x, y, tolerance, tag, index (NaN last).
bool qd_te_ref_place_less(const TeCoordRef& a, const TeCoordRef& b);
int qd_te_duplicates_path_clip(TeChain* chain, nlst** list, int32_t tag, const double* tolerance,
                               const GeoCoord* box, int32_t mode, int32_t* all_inside);
// References to the points of TeSplitRecord items, tagged with their rows;
// a row off the chain list is refused ("UKT1M").
int qd_te_duplicates_intr_nodes_clip(const nlst* records, const nlst* chains, nlst** list,
                                     const GeoCoord* box, const double* tolerance);
int qd_te_duplicates_vertex_touch(const TeChain* chain, int32_t e, int32_t g, int32_t closed);
int qd_te_duplicates_spike_tip(int32_t a, int32_t b, int32_t n, int32_t closed, int32_t* tip);
int qd_te_duplicates_touch_count(nlst* list);
int qd_te_duplicates_coord_match_list(nlst* list, int32_t* unmatched_tag, int32_t mode,
                                      int32_t* identical);

// The identity test of a pair of linear chains (PATH, LINE, ARC, CIRCLE,
// CURVE in the dispatch table) is the table's own; a test may install
// its own answer instead.
typedef int (*TePairTest)(TeChain* first, TeChain* second, const double* tolerance,
                          int32_t* identical, void* user);
struct TePairTestHook {
    TePairTest test;
    void* user;
};
extern TePairTestHook qd_te_duplicates_pair_test;
