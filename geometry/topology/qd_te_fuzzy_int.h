// Fuzzy intersection of chains: the intersection walk, path and line
// crossings without cutting, touching paths, and the vertex filters.
#pragma once

#include <cstdint>

#include "geometry/qd_nlst.h"

struct TeChain;
struct TeRules;

int qd_te_intersect_chains(nlst* chains, int32_t index, int32_t projection, int32_t intersection,
                           double tolerance);
int qd_te_intersect_pathline(nlst* chains, int32_t index, int32_t self, double tolerance);
int qd_te_intersect_pathline_record(nlst* chains, int32_t index, nlst** crossings, int32_t self,
                                    int32_t all, double tolerance);
// The pair step of paths and lines: crossings inserted (cross mode 1) or
// recorded (0) with the chains' rows (-1 when not known).
int qd_te_intersect_polylines(TeChain* c1, int32_t row1, TeChain* c2, int32_t row2, nlst** records,
                              double tolerance, int32_t cross_mode, int32_t record_mode);
int qd_te_fuzzy_int_path_touch(nlst* chains, nlst* touch_list, int32_t* changed, TeRules* rules);
int qd_te_geo_filter_chain(TeChain* chain, double distance, double bend, double tolerance);

// ---- Pairwise intersection of two primitives -------------------------------
// Each takes its two chains in the order of its name (slot A of every item
// belongs to the first, slot B to the second), an empty list and a status:
// 1 items found, 0 nothing (also on a view's skip), -3 out of memory, -2
// bad arguments (sweep). 1 on success, 0 on failure ("UKT1M").
struct TeIntersection;
struct TeIntersectionList;
struct TeSegment;
struct TeVertex;
struct TeArc3;
struct TeCircle;
struct TeCurveView;

int qd_te_fuzzy_int_path_path(TeChain* first, TeChain* second, TeIntersectionList* list,
                              int32_t* status);
int qd_te_fuzzy_int_vect_path(TeChain* first, TeChain* second, TeIntersectionList* list,
                              int32_t* status);
int qd_te_fuzzy_int_reg_reg(TeChain* first, TeChain* second, TeIntersectionList* list,
                            int32_t* status);
int qd_te_fuzzy_int_vect_vect(TeChain* first, TeChain* second, TeIntersectionList* list,
                              int32_t* status);
int qd_te_fuzzy_int_vect_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                int32_t* status);
int qd_te_fuzzy_int_vect_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                             int32_t* status);
int qd_te_fuzzy_int_cir_cir(TeChain* first, TeChain* second, TeIntersectionList* list,
                            int32_t* status);
int qd_te_fuzzy_int_cir_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                            int32_t* status);
int qd_te_fuzzy_int_arc_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                            int32_t* status);
int qd_te_fuzzy_int_path_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                int32_t* status);
int qd_te_fuzzy_int_path_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                             int32_t* status);
int qd_te_fuzzy_int_curve_vect(TeChain* first, TeChain* second, TeIntersectionList* list,
                               int32_t* status);
int qd_te_fuzzy_int_curve_path(TeChain* first, TeChain* second, TeIntersectionList* list,
                               int32_t* status);
int qd_te_fuzzy_int_curve_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                 int32_t* status);
int qd_te_fuzzy_int_curve_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                              int32_t* status);
int qd_te_fuzzy_int_curve_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                int32_t* status);
// The two-chain sweep: slot A belongs to chain_a. Answers the status.
int qd_te_fuzzy_sweep_two_paths(TeChain* chain_b, TeChain* chain_a, TeIntersectionList* list,
                                int32_t stop_at_first, const double* tolerance);
// Appends a TeSegment per segment of a TeVertex list meeting the envelope
// (all when null); segment pointers point into the vertex list.
int qd_te_fuzzy_load_segments(const nlst* vertices, const GeoCoord* envelope, nlst** holder,
                              int32_t tag);
int qd_te_fuzzy_load_segments_unmarked(const nlst* vertices, const GeoCoord* envelope,
                                       nlst** holder, int32_t tag);

// ---- Projection of vertices and nodes onto primitives ----------------------
// Side 1 fills slot A, side 2 slot B; the other slot gets index -1. Growable
// lists (holder) are nlst of TeIntersection.
int qd_te_fuzzy_proj_set_indexes(double offset, int32_t side, TeIntersectionList* list,
                                 const GeoCoord* point, int32_t vertex);
int qd_te_fuzzy_proj_path_node_load(int32_t vertex, const TeVertex* p, nlst** holder, int32_t side);
int qd_te_fuzzy_proj_ptn_on_vect(const TeVertex* p, const TeVertex* a, const TeVertex* b,
                                 TeIntersectionList* list, int32_t side);
int qd_te_fuzzy_proj_ptn_on_arc(const TeArc3* arc, const TeVertex* p, const TeVertex* s,
                                const TeVertex* e, TeIntersectionList* list, int32_t side);
int qd_te_fuzzy_proj_ptn_on_circle(TeIntersectionList* list, const TeCircle* circle,
                                   const TeVertex* p, int32_t side);
int qd_te_fuzzy_proj_ptn_on_curve(const TeVertex* p, TeCurveView* view, TeIntersectionList* list,
                                  int32_t side);
int qd_te_fuzzy_proj_ptn_on_path(const TeVertex* p, int32_t own_vertex, TeChain* path,
                                 nlst** holder, int32_t side);
int qd_te_fuzzy_proj_ptn_on_polyline(const TeVertex* p, int32_t own_vertex, TeChain* path,
                                     const nlst* segments, nlst** holder, int32_t side);
int qd_te_fuzzy_proj_polyline_on_circle(TeChain* chain, const TeCircle* circle, nlst** holder,
                                        int32_t side);
int qd_te_fuzzy_proj_polyline_on_arc(TeChain* chain, const TeArc3* arc, const TeVertex* s,
                                     const TeVertex* e, nlst** holder, int32_t side);
int qd_te_fuzzy_proj_polyline_on_curve(TeChain* chain, TeCurveView* view, nlst** holder,
                                       int32_t side);
int qd_te_fuzzy_proj_path_on_vect(TeChain* path, const TeVertex* a, const TeVertex* b,
                                  nlst** holder, int32_t side, int32_t ends_only);
int qd_te_fuzzy_proj_path_on_polyline(TeChain* path, TeChain* other, nlst** holder, int32_t side);
int qd_te_fuzzy_proj_line_on_vect(const TeVertex* p1, const TeVertex* p2, const TeVertex* q1,
                                  const TeVertex* q2, TeIntersectionList* list, int32_t side);

// Node routines: (node, other, list, status); node on node merges.
int qd_te_fuzzy_proj_node_on_line(TeChain* node, TeChain* line, TeIntersectionList* list,
                                  int32_t* status);
int qd_te_fuzzy_proj_node_on_arc(TeChain* node, TeChain* arc, TeIntersectionList* list,
                                 int32_t* status);
int qd_te_fuzzy_proj_node_on_circle(TeChain* node, TeChain* circle, TeIntersectionList* list,
                                    int32_t* status);
int qd_te_fuzzy_proj_node_on_curve(TeChain* node, TeChain* curve, TeIntersectionList* list,
                                   int32_t* status);
int qd_te_fuzzy_proj_node_on_path(TeChain* node, TeChain* path, TeIntersectionList* list,
                                  int32_t* status);
int qd_te_fuzzy_proj_node_on_node(TeChain* first, int32_t* status, TeChain* second);

// Chain pairs: (first, second, list, status) in the order of the name.
int qd_te_fuzzy_proj_line_on_line(TeChain* first, TeChain* second, TeIntersectionList* list,
                                  int32_t* status);
int qd_te_fuzzy_proj_line_on_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                                 int32_t* status);
int qd_te_fuzzy_proj_line_on_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                    int32_t* status);
int qd_te_fuzzy_proj_line_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                   int32_t* status);
int qd_te_fuzzy_proj_arc_on_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                                int32_t* status);
int qd_te_fuzzy_proj_arc_on_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                   int32_t* status);
int qd_te_fuzzy_proj_arc_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                  int32_t* status);
int qd_te_fuzzy_proj_circle_on_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                      int32_t* status);
int qd_te_fuzzy_proj_circle_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                     int32_t* status);
int qd_te_fuzzy_proj_curve_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                    int32_t* status);
int qd_te_fuzzy_proj_path_on_line(TeChain* first, TeChain* second, TeIntersectionList* list,
                                  int32_t* status);
int qd_te_fuzzy_proj_path_on_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                                 int32_t* status);
int qd_te_fuzzy_proj_path_on_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                    int32_t* status);
int qd_te_fuzzy_proj_path_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                   int32_t* status);
int qd_te_fuzzy_proj_path_on_path(TeChain* first, TeChain* second, TeIntersectionList* list,
                                  int32_t* status);

// ---- The intersection walk and its dispatch ---------------------------------
int qd_te_fuzzy_int_prim(int32_t* found, nlst* chains, TeChain* r, TeChain* c, double tolerance);
int qd_te_fuzzy_proj_prim(TeChain* c, TeChain* r, int32_t* found, nlst* chains, double tolerance);
int qd_te_fuzzy_int_path_any(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found);
int qd_te_fuzzy_int_line_any(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found);
int qd_te_fuzzy_int_arc_any(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found);
int qd_te_fuzzy_int_circle_any(TeChain* c, TeChain* r, nlst* chains, double tolerance,
                               int32_t* found);
int qd_te_fuzzy_int_curve_any(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found);
int qd_te_fuzzy_proj_path_any(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found);
int qd_te_fuzzy_proj_line_any(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found);
int qd_te_fuzzy_proj_arc_any(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found);
int qd_te_fuzzy_proj_circle_any(TeChain* c, TeChain* r, nlst* chains, double tolerance,
                                int32_t* found);
int qd_te_fuzzy_proj_curve_any(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found);
int qd_te_fuzzy_proj_node_any(TeChain* c, TeChain* r, nlst* chains, double tolerance, int32_t* found);

// Test-only spy on the dispatch: called with the routine's name, its
// items, the swap flag and the mode before the items are processed; a
// spy answering 0 leaves the pair unprocessed (success).
struct TeDispatchSpy {
    int (*function)(const char* routine, const TeIntersectionList* items, int32_t swap,
                    int32_t mode, void* user);
    void* user;
};
extern TeDispatchSpy qd_te_dispatch_spy;

// ---- Split nodes and replacement -------------------------------------------
// Split-node lists are nlst of TeSplitNode (qd_te_split.h).
int qd_te_intersect_process(TeChain* c1, TeChain* c2, nlst* chains, TeIntersectionList* items,
                            double tolerance, int32_t swap, int32_t mode, int32_t* found);
int qd_te_intersect_chains_at_points(TeIntersectionList* items, nlst** pieces, double tolerance,
                                     int32_t mode, int32_t side, TeChain* chain);
int qd_te_intersect_check_intr(TeChain* chain, const TeIntersectionList* items, int32_t side,
                               nlst** nodes, double tolerance, int32_t mode);
struct TeSplitNode;
int qd_te_intersect_check_tol(TeChain* chain, int32_t side, double tolerance, int32_t mode,
                              const TeIntersection* item, TeSplitNode* node);
int qd_te_intersect_identify_split_chain(TeChain* chain, const nlst* pieces);
int qd_te_intersect_replace_chains(TeChain* c1, TeChain* c2, nlst* pieces, nlst* chains,
                                   double tolerance, int32_t* found);

// ---- Self-crossing and polylines -------------------------------------------
int qd_te_intersect_process_cross(TeIntersectionList* items, TeChain* chain, nlst** output,
                                  int32_t switch_1, int32_t switch_2, double tolerance,
                                  int32_t* cut);
int qd_te_fuzzy_sweep_self(TeChain* chain, TeIntersectionList* list, int32_t stop_at_first,
                           const double* tolerance);
int qd_te_intersect_form_split_nodes(nlst** records, double tolerance, int32_t side,
                                     int32_t record_mode, int32_t cross_mode,
                                     TeIntersectionList* items, TeChain* chain, int32_t row);

// ---- Touching paths ---------------------------------------------------------
int qd_te_fuzzy_int_path_touch_split(TeChain* chain, int32_t* cursor, const nlst* references,
                                     nlst** pieces, double tolerance);
