// The stages after intersection: leaving (node topology, renumbering,
// inheritance), node output with convex hull and DISTANCE, linear output,
// surface output, islands dissolve, overlay walks, and the primitive count
// of the face walk.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"

struct TeChain;
struct TeRules;
struct TeSegment;

int qd_te_leaving(nlst* chains, TeRules* rules);
int qd_te_node_ff(nlst* chains, TeRules* rules, int32_t quiet);
int qd_te_output_intersect_nodes(nlst* nodes, nlst* chains, TeRules* rules);
int qd_te_output_convex_hull(nlst* chains, TeRules* rules);
int qd_te_linear_ff(nlst* chains, TeRules* rules, int32_t quiet);
// Node output by operation; one node's point and parents into an object;
// one NODE chain delivered as its own object; DISTANCE output.
int qd_te_output_node_chains(nlst* chains, TeRules* rules);
int qd_te_output_nodes(TeChain* node, SpatialObject* object, nlst** parents, TeRules* rules);
int qd_te_output_chain_node(TeChain* chain, TeRules* rules);
int qd_te_output_distance(nlst* chains, TeRules* rules);

// A feature of DISTANCE: its first chain, number, partner feature (-1
// while none), the nearest (or farthest) points A on it and B on the
// partner, and their distance.
struct TeDistanceFeature {
    TeChain* chain;
    int32_t feature;
    int32_t partner;
    GeoCoord a;
    GeoCoord b;
    double distance;
};
// The pairwise search over segments tagged by feature number (loaded by
// qd_te_fuzzy_load_segments); *best is the position of the best feature
// record, -1 when none found a partner. One segment pair for record r.
int qd_te_output_distance_search(nlst* segments, nlst* features, TeRules* rules, int32_t* best);
int qd_te_output_distance_compute(TeDistanceFeature* r, const TeSegment* p, const TeSegment* s, TeRules* rules);
int qd_te_output_distance_chain(TeChain* chain, TeRules* rules, int32_t* degenerate);
int qd_te_output_distance_nodes(nlst* features, const TeDistanceFeature* best, TeRules* rules, nlst* chains);

// A vertex of the convex hull stage.
struct TeHullPoint {
    TeChain* chain;
    double* vertex;    // x, y, z of a TeVertex of the chain
    int32_t interior;  // 1 when not on the hull
    int32_t rank;      // position along the hull
    int32_t next;
    int32_t previous;
};
// Marks the interior points and orders the hull points clockwise from the
// lowest leftmost one, interior points after them. Collinear points stay
// on the upper chain and leave the lower one; a repeated point is interior.
int qd_te_convex_hull_order(nlst* points);
// Builds the hull chain from the ordered points and runs the pipeline on it.
int qd_te_encode_chain_convex_hull(nlst* chains, nlst* points, TeRules* rules);
int qd_te_poly_ff(nlst* chains, TeRules* rules, int32_t quiet);
// The face walk's node rule: outputs or drops a node chain by operation.
int qd_te_walk_nodes(TeChain* node, nlst* chains, TeRules* rules);
// Dissolves the holes of a polygon: with a null result in place (the holes
// are replaced only when the nested run succeeds), else the polygon goes and
// the result receives its exterior less the dissolved holes. Status 1, or -1
// (reported) with the polygon as it came. A hole without area is reported
// (-1 through the error method) and, in place, kept as it came after the
// dissolved holes; the method's refusal gives status -1.
int qd_te_islands_dissolve(GeoPolygon* polygon, TeRules* rules, int32_t* status,
                           SpatialObject* result);
// The nested runs' output methods: result paths and polygon exteriors
// become holes of the polygon; every result primitive moves to the geometry.
int32_t qd_te_islands_dissolve_method(SpatialObject* result, nlst* parents, void* polygon);
int32_t qd_te_islands_dissolve_geom_method(SpatialObject* result, nlst* parents, void* geometry);
// The result form over every polygon present in the list at the start.
int qd_te_islands_dissolve_list(nlst* primitives, TeRules* rules, int32_t* status);
// In place, only the holes that meet another hole (cross or touch it, or lie
// inside it) are dissolved; the others stay as they came, after them.
int qd_te_islands_dissolve_meeting(GeoPolygon* polygon, TeRules* rules, int32_t* status);

struct TePrimitiveCounts {
    int32_t polygons;
    int32_t paths;
    int32_t curves;
    int32_t points;
    int32_t total;
};
int qd_te_count_primitive_types(const SpatialObject* object, TePrimitiveCounts* counts);

// One face of surface output (the polygon list's element).
struct TePolygon {
    int32_t id;
    int32_t count;
    int32_t start_chain;
    int32_t island_list;
    int32_t hole_list;
    GeoCoord mer[2];
    double yxmax;
    int32_t inside;
    double area;
    int32_t status;  // 1 closed, 0 unclosed
    int32_t discard;
    int32_t spike;
    int32_t target;
    int32_t cutter;
    int32_t lookup_max;
    int32_t lookup_min;
    int32_t n_parents;
    int32_t n_coords;
    nlst* round_cut;  // int32, owned
};
