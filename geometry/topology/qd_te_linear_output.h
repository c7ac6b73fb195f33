// Linear output: the chains left after the leaving stage delivered as point
// and curve primitives, grouped into output geometries by operation. The
// chain-wise builds (one by one, all in one, by parents, connected groups,
// branches), the overlay builds (cutters, parent counts, adjacency,
// boundaries) and the grouped output that traces chains into paths.
//
// Visited marks: the builds mark a chain as treated by setting both its
// poly_left and poly_right to 1 (their surface meaning does not apply
// here), or by a bit per chain number.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"

struct TeChain;
struct TeRules;
struct TeTangent;

// The output items of the linear builds are TeOutputItem records
// (qd_te_poly_output.h) whose third field is a chain number and whose
// cutter list (sorted int32 chain_pid values, may be null) belongs to the
// item list: qd_te_line_items_free releases it.

// A path item. A link names the path item whose end meets this end, as its
// position plus one, negative when the two ends are of the same kind
// (start with start, end with end: the neighbour runs the other way); an
// end that meets nothing links to the item itself (its own position plus
// one). Positions count from 0, so plus one keeps the sign of the first.
struct TeLinearPathItem {
    int32_t chain;
    int32_t used;
    int32_t start_link;
    int32_t end_link;
    int32_t id_a;
    int32_t id_b;
};

// One chain end while linking: the path item's position, the end point
// (x, y, z of the chain's first or last TeVertex), 1 start or 2 end, keys.
struct TePathEnd {
    int32_t item;
    const double* point;
    int32_t end;
    int32_t id_a;
    int32_t id_b;
};

// Driver: 1 or 0. Without quiet, stage event 11 first; an answer other
// than 1 is returned as it stands.
int qd_te_linear_ff(nlst* chains, TeRules* rules, int32_t quiet);

// One chain into the object (a live chain without vertices adds nothing);
// its parents from both sides are appended to *parents.
int qd_te_linear_chain_output(TeRules* rules, TeChain* chain, SpatialObject* object, nlst** parents);
// A curve primitive of n points (n >= 2) with the tangents of the record
// (may be null).
int qd_te_linear_add_new_curve(SpatialObject* object, const TeTangent* tangent, int32_t n, int32_t curve_type,
                               const GeoCoord* coords);
// The next chain to treat after *position (wrapping to 1); 0 when none.
// bits (one per chain number, may be null) marks visited chains; without
// it a live chain with poly_left or poly_right -1 is the answer. Node
// chains met on the way go to the face walk's node rule.
int qd_te_linear_next_chain(int32_t* position, nlst* chains, uint8_t* bits, TeRules* rules);
// left_link for a value of 0 or below, right_link otherwise.
int32_t qd_te_linear_link_by_sign(const TeChain* chain, int32_t value);

int qd_te_line_build_single(nlst* chains, TeRules* rules);
int qd_te_line_build_contiguous(nlst* chains, TeRules* rules);
int qd_te_line_build_branch(nlst* chains, TeRules* rules);
int qd_te_line_items_free(nlst** items);
// Appends an item keyed by the chain's parents (L-flagged first); a chain
// without parents adds none. cutters passes to the item (null after).
int qd_te_line_item_add(nlst** items, TeChain* chain, int32_t chain_number, nlst** cutters, int32_t* added);

// Overlay builds.
int qd_te_cutter_l_ff(nlst* chains, TeRules* rules);
int qd_te_intersect_l_ff(nlst* chains, TeRules* rules);
int qd_te_adjacent_l_ff(nlst* chains, TeRules* rules);
int qd_te_boundary_l_ff(nlst* chains, TeRules* rules);
int qd_te_linear_nested_regions(nlst* chains, nlst** nested);
int qd_te_adjacent_overlay_reg(nlst* chains, TeChain* chain, const nlst* nested, int32_t* adjacent);

// Grouped output and paths.
int qd_te_line_build_preserve(nlst* chains, TeRules* rules, nlst* items);
int qd_te_linear_path_item_add(int32_t chain, nlst** paths, int32_t id_a, int32_t id_b);
int qd_te_linear_path_links(nlst* paths, nlst* chains);
int qd_te_linear_path_assembly(nlst* paths, nlst* chains, TeRules* rules, nlst** parents, int32_t connect,
                               SpatialObject* object);
int qd_te_linear_curve_form(nlst* chains, TeRules* rules, int32_t chain, int32_t direction, nlst** parents,
                            nlst** curves, int32_t merge);
int qd_te_linear_reverse_merge(nlst* curves);
int qd_te_linear_path_connect(nlst* curves, SpatialObject* object, int32_t no_reverse);
int qd_te_linear_path_reconnect(SpatialObject* object, int32_t no_reverse);
