// The cutting stage as the intersection stage calls it: the split-node
// record and the entry points that cut chains, insert split nodes as
// vertices, record crossings, cut self-crossing rings and compare vertex
// references. Stand-ins (pending/qd_te_split_pending.cpp) answer for them
// until the cutting module is in the tree; its header then replaces this
// one.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"

struct TeChain;

// Where a chain is to be cut, built zeroed.
struct TeSplitNode {
    GeoCoord point;
    double tol;      // tolerance carried to the cut vertex
    int32_t vertex;  // vertex index on the chain (segment start or the vertex); -1 no cut
    double offset;   // planar distance from that vertex to the point
    int32_t first;   // work field of the cutting stage
    double param;    // work field of the cutting stage
};

int qd_te_split_chains(TeChain* chain, nlst* nodes, nlst** pieces, double tolerance);
int qd_te_split_chain_by_list(int32_t start, nlst* pieces, nlst* chains, double tolerance,
                              int32_t* inserted);
int qd_te_split_chain_cross(TeChain* chain, nlst* nodes, double tolerance);
int qd_te_split_linear_record_intr(TeChain* chain, nlst* nodes, nlst** records, int32_t mode,
                                   double tolerance);
int qd_te_split_form_poly_cross(TeChain* ring, nlst** rings, int32_t orientation, int32_t nesting,
                                double tolerance);
int qd_te_split_remove_duplicate_chains(nlst* chains, double tolerance);
int qd_te_duplicates_path_clip(TeChain* chain, nlst** list, int32_t tag, const double* tolerance,
                               const GeoCoord* clip_box, int32_t mode, int32_t* all_inside);
int qd_te_duplicates_touch_count(nlst* list);
