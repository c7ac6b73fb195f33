// Location of a point, or of a polygon, against a region chain (a closed
// ring) within a tolerance: 12 outside, 13 inside, 14 on an edge, 15 on a
// vertex, -2 not decidable (the chain is no usable region).
#pragma once

#include <cstdint>

#include "geometry/topology/qd_te_cogo.h"

struct TeChain;

enum : int32_t {
    TE_LOC_OUTSIDE = 12,
    TE_LOC_INSIDE = 13,
    TE_LOC_EDGE = 14,
    TE_LOC_VERTEX = 15,
    TE_LOC_UNDECIDED = -2,
};

// tolerance may be null (1e-8). 1, or 0 for a null point, region or
// location ("UKT1M").
int qd_te_geo_overlay_pt_inside_region(const GeoCoord* point, TeChain* region,
                                       const double* tolerance, int32_t* location);
// The polygon is its points with their rectangle; spare is not read.
int qd_te_geo_overlay_poly_inside_region(const TeBoundedArray* polygon, TeChain* region,
                                         const void* spare, int32_t* location);

// ---- Overlay walks ----------------------------------------------------------
// Where points lie among the region chains of a run: the walk follows the
// query chain's region link of a kind (1 link_fore: targets, 2 link_back:
// cutters, other: link_free, all regions) from region chain to region
// chain and tests the points against every REGION or ISLAND chain met.

struct TePolygon;
struct nlst;

struct TeOverlayQuery {
    int32_t kind;
    TeChain* chain;       // its link of the kind names the first region
    const nlst* points;   // GeoCoord; null or empty: the chain's own points
    int32_t no_closure;   // 1: the points count as not closed
    int32_t same_parent;  // 0 skips the chain's own feature (no point list)
    int32_t midpoint;     // 1: a boundary answer counts without closure
    const double* tolerance;
    int32_t collect;      // 1: every containing region's pid into *collect_list
    int32_t strict;       // 0: boundary counts as inside, outside decides
    nlst** collect_list;  // int32
    int32_t pairs;        // 1: (region chain, code) pairs into *pairs_list
    nlst** pairs_list;    // TeOverlayPair
    int32_t answer;       // 12 until a region decides
    int32_t answer_pid;
    int32_t answer_chain;
    // Optional rectangle index of the regions (null: the plain walk); the
    // answers are the plain walk's.
    const struct TeOverlayIndex* index;
};

struct TeOverlayPair {
    int32_t chain;
    int32_t code;
};

// A request for the chain with every flag 0, no lists, answer 12, -1, -1.
void qd_te_overlay_query_init(TeOverlayQuery* query, int32_t kind, TeChain* chain);
// Runs the walk; 1, or 0 for missing arguments or memory (the request
// keeps the last answer written).
int qd_te_walk_chain_overlay_reg(TeOverlayQuery* query, const nlst* chains);
// The walk for a chain (and optional point list) with the given flags;
// answers the location code, 0 on failure. region, when given, receives
// the deciding region chain's number (-1 none).
int qd_te_walk_overlay_point(int32_t kind, TeChain* chain, const nlst* points, const nlst* chains,
                             int32_t same_parent, int32_t collect, int32_t strict, const double* tolerance,
                             nlst** collect_list, int32_t* region);
// The chain's region link of the kind.
int qd_te_walk_overlay_get_next_region(int32_t kind, const TeChain* chain, int32_t* link);
// found = 1 when key is in the int32 list.
int qd_te_walk_chain_overlay_hole_isl(const nlst* list, int32_t* found, int32_t key);
// Marks (bits, one byte per point) the test points that coincide with a
// vertex of the region; all_found = 0 when one inside the envelope (or
// any, without one) has no match. tolerance is the coincidence tolerance
// (at least 1e-8), the matching distance it plus 1e-10.
int qd_te_walk_chain_overlay_identical(const TeChain* region, const GeoCoord* points, int32_t n,
                                       uint8_t* bits, const GeoCoord* envelope, double tolerance,
                                       int32_t* all_found);
// Sorts the int32 list ascending and counts its distinct values; remove 1
// drops the repeats.
int qd_te_poly_count_cutter(nlst* list, int32_t* count, int32_t remove);
// Frees the parents on the polygon's side of each of its boundary chains.
int qd_te_walk_overlay_cutter_buffer(const TePolygon* polygon, nlst* chains);
// A rectangle index of the regions of one kind's list; built for a chain
// list whose region links no longer change, freed with the list's owner.
struct TeOverlayIndex;
int qd_te_overlay_index_build(TeOverlayIndex** index, const nlst* chains, int32_t kind);
void qd_te_overlay_index_free(TeOverlayIndex** index);
// The walk's least tolerance for an extent: 1.05e-8, or |x| 2^-50 for the
// largest coordinate magnitude x of the universal chain's rectangle when
// that is larger.
double qd_te_overlay_tolerance(const nlst* chains);
