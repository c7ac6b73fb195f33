// Node clustering and the common chain check after vertices change.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"

struct TeChain;
struct TeVertex;

// Re-checks a chain whose vertices changed: removes clustered duplicate
// points within tol; a degenerate chain is marked CHAIN_DELETE.
int qd_te_cluster_clean_points(TeChain* chain, int32_t mode, double tol);

// Clusters the chain at row index against the chains after it in link order.
int qd_te_cluster_chains(nlst* chains, int32_t index, int32_t cluster_option, double tolerance);

// One candidate vertex of clustering. chain and vertex point into the
// chain list and a vertex list; both stay put for one clustering call
// (nothing there grows the list or moves vertices until the final check).
struct TeClusterNode {
    TeChain* chain;
    TeVertex* vertex;
    GeoCoord box[2];
    int32_t position;  // 1 first, 2 last, 3 interior
    int32_t priority;  // lower holds its place
    int32_t touched;
    int32_t absorbed;
    nlst* merged;    // i32 indexes of the candidates absorbed into this one
    int32_t pinned;  // an adjuster's vertex, or one that absorbed it: never moves
};

struct TeClusterQuery {
    int32_t scanned;
    int32_t partner;  // -1 none
    double distance;
    int32_t merged;
};

int qd_te_cluster_node_mer_clip(int32_t* use_ends, TeChain* chain, GeoCoord start_box[2],
                                GeoCoord end_box[2]);
int qd_te_cluster_coords_clip(TeChain* chain, const GeoCoord box[2], const GeoCoord* second_box,
                              nlst* candidates, int32_t cluster_option);
int qd_te_cluster_nodes(double tolerance, nlst* candidates);
int qd_te_cluster_node_compare(const void* a, const void* b);
// Test hook: the number of scans the last qd_te_cluster_nodes ran.
extern int32_t qd_te_cluster_last_scans;

// How far the link order by minimum x may have gone stale: vertices moved
// by clustering shift their chains' rectangles by up to their tolerances.
// The walks of clustering and duplicate removal stop only beyond it. Set
// by the pipeline to twice the run's largest tolerance; 0 by default.
extern double qd_te_order_margin;
