// Chains: the record every stage of the engine reads and rewrites, the
// chain list whose element 0 is the universal chain, the link order and
// free list over it, and the measures and rewrites of one chain.
//
// Chains live by value in the list (an nlst of TeChain): a pointer to a
// chain is good only until the list grows, so code keeps rows. Handing a
// chain over moves it (the source is reset); a duplicate is made with
// qd_te_geo_copy_chain.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_parents.h"

// Chain statuses (`discard`).
enum : int32_t {
    CHAIN_OK = 0,
    CHAIN_FREE = 1,
    CHAIN_DELETE = 2,
    CHAIN_INVALID = 3,
    CHAIN_SENTINAL = 4,
    CHAIN_REGION = 5,
};
// Chain types.
enum : int32_t {
    TE_REGION = 0,
    TE_ISLAND = 1,
    TE_PATH = 2,
    TE_LINE = 3,
    TE_ARC = 4,
    TE_CIRCLE = 5,
    TE_CURVE = 6,
    TE_NODE = 7,
    TE_EAF = 8,
};

struct TeVertex {
    double x;
    double y;
    double z;    // no Z at or below -1e6
    double tol;  // how far the vertex may move or snap
};

struct TeTangent {
    float start_angle;  // radians
    float end_angle;
    int32_t type;  // 0 none, 1 start, 2 end, 3 both
};

struct TeNodeDynamic {
    float a;
    float b;
    GeoCoord point;
};

struct TeRules;

struct TeChain {
    int32_t chain_id;
    int32_t chain_pid;
    int32_t chain_type;
    GeoCoord chain_mer[2];
    nlst* coords;        // TeVertex, owned
    nlst* right_parent;  // TeParent, owned
    nlst* left_parent;   // TeParent, owned
    TeNodeDynamic* node_dynamic;
    TeTangent tangent;
    double radius;
    int32_t chain_lookup;
    int32_t chain_lookup_max;
    int32_t poly_left;
    int32_t poly_right;
    int32_t left_link;
    int32_t right_link;
    int32_t adjuster;
    int32_t discard;
    int32_t link_fore;
    int32_t link_back;
    int32_t link_free;
};

struct TeTangentPoints {
    int32_t mode;  // 0 none, 1 start, 2 end, 3 both
    GeoCoord start;
    GeoCoord end;
};

// The chain at a row of a chain list (no check).
inline TeChain* qd_te_chain_at(const nlst* chains, int32_t row) {
    return static_cast<TeChain*>(chains->data) + row;
}

// Records and the chain list.
void qd_te_geo_chain_default(TeChain* chain);
void qd_te_geo_chain_release(TeChain* chain);
void qd_te_geo_chain_universal_init(TeChain* chain);
int qd_te_geo_free_chain_list(nlst* list, int32_t start);
int qd_te_geo_copy_chain(const TeChain* source, TeChain* target, int with_coords);
// Moves a chain's record and lists into target; the source is reset to
// the defaults (owning nothing).
void qd_te_geo_move_chain(TeChain* source, TeChain* target);
int qd_te_geo_point_dynamic(TeChain* chain, const TeNodeDynamic* source);
int qd_te_geo_chain_list_create(nlst** list, int32_t increment);
int qd_te_geo_chain_list_reset(nlst* list);
// Releases every chain and frees the list; the holder is nulled.
int qd_te_geo_chain_list_free(nlst** list);
int qd_te_geo_form_location(TeChain* chain, const GeoCoord* coords, int32_t n,
                            double end_tolerance, double inner_tolerance);
int qd_te_geo_get_coords_list(const TeChain* chain, nlst** list, int expand);
int qd_te_geo_get_coords(const TeChain* chain, GeoCoord** array, int32_t* n, int expand);
int qd_te_geo_dimension_accepts(int32_t input_dim, int32_t output_dim);
void qd_te_mer_expand(GeoCoord mer[2], double margin);
void qd_te_mer_grow(GeoCoord mer[2], double dx, double dy);
void qd_te_mer_union(GeoCoord mer[2], const GeoCoord other[2]);
int qd_te_coord_append(void* vertex, void* list_address);
int qd_te_chain_list_to_array(nlst** list, const nlst* chains);

// Link order and free list.
int qd_te_link_setup(nlst* chains);
int qd_te_link_fore_chain(const nlst* chains, TeChain** next, int32_t index);
int qd_te_link_back_chain(const nlst* chains, TeChain** previous, int32_t index);
int qd_te_link_get_next_chain(const nlst* chains, int32_t* index, TeChain** next);
int qd_te_link_remove_chain(nlst* chains, int32_t* index);
// The chain is moved into its slot (the caller's record is reset).
int qd_te_link_insert_chain(nlst* chains, int32_t before, TeChain* chain);
int qd_te_link_largest_mer(nlst* chains, const double extent[6], double margin);
int qd_te_link_topology(TeRules* rules);

// Chain geometry.
double qd_te_geo_chain_area(const TeChain* chain);
int qd_te_geo_chain_clockwise(const TeChain* chain);
int qd_te_geo_chain_length(const TeChain* chain, double* length);
int qd_te_geo_chain_length_stats(const TeChain* chain, double* total, double* shortest);
int qd_te_geo_chain_reverse(TeChain* chain);
int qd_te_geo_chain_start_leftmost(TeChain* chain);
int qd_te_geo_encode_curve_tangent(const GeoCurve* curve, TeTangent* tangent);
int qd_te_geo_decode_curve_tangent(GeoCurve* curve, const TeTangent* tangent);
int qd_te_geo_set_curve_orientation(const nlst* points, TeTangentPoints* tangent_points,
                                    const TeTangent* tangent);
int qd_te_geo_chain_expand_spline(const TeChain* chain, nlst** list);

// Invariants of a chain list, for tests and diagnostics. Always: the
// universal chain at row 0 with status CHAIN_SENTINAL; links agree both
// ways; every chain that is not free is reached exactly once in link
// order; free slots are CHAIN_FREE with back link -1, reached once from
// the free list. With TE_INV_IDS every linked chain's chain_id is its row;
// with TE_INV_MER every live chain's rectangle holds its vertices grown by
// their tolerances; with TE_INV_SORTED the link order runs by ascending
// minimum x. 1 when all hold, else 0 with the first fault described in
// why (at least 160 bytes, may be null).
// After the leaving stage the link fields thread the region lists, so
// TE_INV_LEAVING checks instead: every chain's chain_id is its row, no
// chain is free, the universal chain's frame is its rectangle's five
// corners clockwise. TE_INV_WALK_LINKS adds the walk links: every live
// chain but a REGION or ISLAND has two non-zero links naming live chains,
// and the links round each node visit each end there exactly once.
enum : int32_t { TE_INV_IDS = 1, TE_INV_MER = 2, TE_INV_SORTED = 4, TE_INV_LEAVING = 8, TE_INV_WALK_LINKS = 16 };
int qd_te_check_invariants(const nlst* chains, int32_t checks, char* why);
