// Cutting chains: split nodes and the records made from them, the cut of
// paths, lines and curves at their nodes, the cut of arcs and circles into
// three-point arcs, the insertion of nodes as vertices, the recording of
// where nodes land, the return of pieces to the chain list in link order,
// and the cut of self-crossing rings into simple rings.
//
// Pieces lists are nlst of TeChain by value; each piece has one owner: a
// piece moved to another list leaves a reset record behind.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"

// Where a chain is to be cut.
struct TeSplitNode {
    GeoCoord point;
    double tol;      // tolerance carried to the cut vertex
    int32_t vertex;  // vertex at which the node's segment starts, or the vertex it lies on; -1 no cut
    double offset;   // planar distance from that vertex to the point; 0 on the vertex
    int32_t first;   // work field: where the piece ending at this node begins
    double param;    // work field: curve tangent angle (radians) at the node
};

// Where a node lands once inserted: the chain's row in its chain list, the
// vertex index the node's point takes, and the node.
struct TeSplitRecord {
    int32_t row;
    int32_t index;
    TeSplitNode node;
};

// One vertex of a ring being cut into simple rings.
struct TeCrossPoint {
    TeVertex vertex;   // copy of the ring's vertex
    int32_t position;  // index of the vertex in the ring
    int32_t link;      // -1, or the position of the previous visit of the same place
    int32_t used;      // 1 once the point went into a cut ring
    int32_t spare;
};

// ---- Paths, lines and curves -------------------------------------------------
int qd_te_split_chains(TeChain* chain, nlst* nodes, nlst** pieces, double tolerance);
int qd_te_split_chain_line(TeChain* chain, nlst* nodes, nlst** pieces, double tolerance);
int qd_te_split_chain_poly(TeChain* chain, nlst* nodes, nlst** pieces, double tolerance);
int qd_te_split_chain_curve(TeChain* chain, nlst* nodes, nlst** pieces, double tolerance);
int qd_te_split_linear(TeChain* chain, nlst* nodes, nlst** pieces, double tolerance);
// Removes repeated nodes and sorts the rest into chain order. Nodes whose
// vertex lies off the chain or whose point is not finite are refused by
// the callers that know the chain (qd_te_split_check_nodes).
int qd_te_split_sort_nodes(nlst* nodes, double tolerance);
// "UKT1M" and 0 when a node's vertex lies outside 0..count-1 or its point
// or offset is not finite.
int qd_te_split_check_nodes(const nlst* nodes, int32_t count, const char* function);
int qd_te_split_linear_intr_components(TeChain* chain, nlst* nodes, double tolerance);
int qd_te_split_intr_insert(nlst** vertices, nlst* nodes, double tolerance);
int qd_te_split_chain_cross(TeChain* chain, nlst* nodes, double tolerance);
int qd_te_split_linear_cross(nlst* nodes, double tolerance, TeChain* chain);
// Appends TeSplitRecord (row given by the caller) to *records without
// changing the chain's vertices.
int qd_te_split_linear_record_intr(TeChain* chain, int32_t row, nlst* nodes, nlst** records,
                                   int32_t mode, double tolerance);
int qd_te_split_move_pieces(nlst* pieces, nlst** target, double tolerance);
int qd_te_split_remove_duplicate_chains(nlst* chains, double tolerance);
int qd_te_split_find_position(const double* min_x, int32_t start, const nlst* chains,
                              int32_t* position);
int qd_te_split_chain_by_list(int32_t start, nlst* pieces, nlst* chains, double tolerance,
                              int32_t* inserted);

// ---- Arcs and circles --------------------------------------------------------
int qd_te_split_chain_arc(TeChain* chain, nlst* nodes, nlst** pieces, double tolerance);
int qd_te_split_chain_circle(TeChain* chain, nlst* nodes, nlst** pieces, double tolerance);
int qd_te_split_group_of_arcs(const TeSplitNode* node, nlst* arcs, double tolerance);
int qd_te_split_arc(TeChain* chain, const TeSplitNode* node, nlst** pieces, double tolerance,
                    int32_t* cut);
int qd_te_split_arc_get_middle_points(GeoCoord* m1, GeoCoord* m2, int32_t* cut, double tolerance,
                                      const TeArc3* arc, GeoCoord* point);
int qd_te_split_circle(const GeoCoord* p1, const GeoCoord* p2, TeChain* chain, nlst** arcs);
int qd_te_split_make_circle_arc(TeChain* chain, int32_t* not_made, const GeoCoord* points,
                                int32_t count);

// ---- Self-crossing rings -------------------------------------------------------
int qd_te_split_form_poly_cross(TeChain* ring, nlst** rings, int32_t orientation, int32_t nesting,
                                double tolerance);
int qd_te_split_load_cross_points(const TeChain* ring, nlst** points);
int qd_te_split_set_poly_cross(nlst* points, TeChain* ring, nlst** rings, int32_t orientation,
                               double tolerance);
int qd_te_split_load_poly_cross_chain(nlst** rings, int32_t orientation, double tolerance,
                                      TeChain* ring);
int qd_te_split_poly_cross_rings(nlst* rings, int32_t orientation, int32_t nesting,
                                 double tolerance);
int qd_te_split_set_poly_spikes(TeChain* ring, nlst** rings, double tolerance);
int qd_te_split_chain_flip_parents(TeChain* ring, int32_t* status);

// Location of a point against a region chain (12 outside, 13 inside, 14 on
// an edge, 15 on a vertex, -2 not decidable); the nesting of cut rings
// asks it.
int qd_te_geo_overlay_pt_inside_region(const GeoCoord* point, TeChain* region,
                                       const double* tolerance, int32_t* location);
