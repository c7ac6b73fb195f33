// Faces of surface output: the ring list (a circular doubly linked list
// closed by a sentinel), the face walk that follows the chains' walk links
// round every face, and the forming of one polygon record per walk (ring,
// rectangle, area, parents, overlay flags, dangles and spikes).
//
// Engine convention: 1 success, 0 failure; refusals and inconsistencies
// are reported as "UKT1M" naming the function, exhausted memory by
// qd_alloc ("UKT_0").
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_output.h"

struct TeChain;
struct TeRules;

// ---- Ring list --------------------------------------------------------------
// A ring is a pointer to its sentinel; an empty ring is a sentinel linked
// to itself. The ring owns its nodes (qd_alloc), never what a payload
// points to. Payload: a small integer or a pointer the caller owns.
struct TeRingNode {
    TeRingNode* prev;
    TeRingNode* next;
    intptr_t payload;
};
typedef TeRingNode* TeRing;

// Makes the sentinel: 1, or 0 with the holder null (memory).
int qd_te_ring_create(TeRing* holder);
// Frees every member and the sentinel and nulls the holder; nothing for a
// null holder or an absent ring.
void qd_te_ring_destroy(TeRing* holder);
// The node taken out (its own links untouched); null for the sentinel.
TeRingNode* qd_te_ring_unlink(TeRing ring, TeRingNode* node);
// Links node after position (the sentinel: at the front); answers node.
TeRingNode* qd_te_ring_insert_after(TeRingNode* node, TeRingNode* position);
// The first member unlinked, or null when the ring is empty.
TeRingNode* qd_te_ring_pop_first(TeRing ring);
// The first member, or null when the ring is empty.
TeRingNode* qd_te_ring_first(TeRing ring);
// The first member from the front for which the predicate answers 0;
// null when none (an empty ring calls no predicate).
typedef int (*TeRingMatch)(const TeRingNode* member, const void* key);
typedef int (*TeRingMatchWith)(const TeRingNode* member, const void* key, void* argument);
TeRingNode* qd_te_ring_find(TeRing ring, const void* key, TeRingMatch match);
TeRingNode* qd_te_ring_find(TeRing ring, const void* key, TeRingMatchWith match, void* argument);
// A new unlinked node (null links), or null (memory).
TeRingNode* qd_te_ring_node_new(intptr_t payload);
// A new unlinked node whose payload points to a new copy of the two
// integers; the node comes with a null payload when that block fails.
TeRingNode* qd_te_ring_node_new_pair(const int32_t pair[2]);
// The pair a node made by qd_te_ring_node_new_pair carries (may be null).
inline int32_t* qd_te_ring_pair(const TeRingNode* node) {
    return reinterpret_cast<int32_t*>(node->payload);
}
// Frees a node taken out of its ring, and its payload block when asked.
void qd_te_ring_node_free(TeRingNode* node, int free_payload);

// Owns a ring for a scope: created on construction (ring null when memory
// ran out), destroyed with its nodes on leaving.
class TeRingHolder {
public:
    TeRingHolder() { qd_te_ring_create(&ring); }
    ~TeRingHolder() { qd_te_ring_destroy(&ring); }
    TeRingHolder(const TeRingHolder&) = delete;
    TeRingHolder& operator=(const TeRingHolder&) = delete;
    TeRing ring = nullptr;
};

// ---- Polygon records and the face walk ------------------------------------
// The polygon list is an nlst of TePolygon (qd_te_output.h); a record's
// id is its row. Polygons 0, 1 (the face of everything) and 2 (outside
// the universal chain) are made by qd_te_init_walk_form.

// One step of a walk: side 1 the face lies on the chain's left (its
// poly_left, its left_link followed), 0 on its right. A walk's start value
// is +chain for side 1, -chain for side 0; link values name steps so.
struct TeWalkStep {
    int32_t side;
    TeChain* chain;
};

inline TePolygon* qd_te_poly_at(const nlst* polygons, int32_t row) {
    return static_cast<TePolygon*>(polygons->data) + row;
}

// Initial record, id = the list's tally (0 for no list).
int qd_te_poly_init(const nlst* polygons, TePolygon* polygon);
// Signed area of a closed GeoCoord ring, clockwise positive; answers 0
// (area 0) for 3 coordinates or fewer or a ring not closed within 1e-10.
int qd_te_poly_ring_area(const nlst* coords, double* area);
// Grows the polygon's mer by the GeoCoord list; yxmax follows the first
// point of greatest x.
int qd_te_adjust_coord_info(TePolygon* polygon, const nlst* coords);
// The step of the polygon's start chain on the polygon's side, its start
// value (+chain or -chain); 0 when the polygon is neither side of it.
int qd_te_poly_start_step(const TePolygon* polygon, const nlst* chains, TeWalkStep* step,
                          int32_t* start_value);
// One walk step from current; closed 1 when the link comes back to start.
int qd_te_walk_chain(const nlst* chains, const TeWalkStep* current, int32_t start, TeWalkStep* next,
                     int32_t* closed);
// Chain-side bits: 2 x chains bits, bit c the left side, c + chains the
// right side of chain c.
int qd_te_chain_bit_alloc(int32_t chains, TeBitArray* bits);
int qd_te_chain_bit_check(TeBitArray* bits, int32_t chain, int32_t side, int32_t* was_set);
void qd_te_chain_bit_free(TeBitArray* bits);
// Walks one face from start, appending TeWalkStep records to *steps
// (made on first use); with use_bits each side is test-and-set and a side
// met twice fails.
int qd_te_walk_all_faces(const TeWalkStep* start, const nlst* chains, nlst** steps, TeBitArray* bits,
                         int32_t use_bits);
// Appends the closing chain (a copy of chain 0, poly_left 2, poly_right 1,
// each side a walk by itself) and polygons 0, 1 and 2.
int qd_te_init_walk_form(nlst* chains, nlst** polygons);
// The driver: one polygon per walked face; *negatives receives (int32)
// the polygons not discarded with an area of 0 or below.
int qd_te_walk_form(nlst** polygons, nlst** negatives, nlst* chains, TeRules* rules);
// Frees every record's round_cut and the list; the holder is nulled.
int qd_te_poly_list_free(nlst** polygons);

// ---- Polygon formation -----------------------------------------------------
int qd_te_generate_poly(TeRules* rules, nlst** negatives, nlst* steps, nlst* chains, nlst** polygons);
int qd_te_remove_spikes(nlst* chains, nlst** polygons, nlst** negatives, nlst* steps, TeRules* rules);
int qd_te_form_poly(nlst* chains, nlst** polygons, nlst** negatives, nlst* steps, TeRules* rules,
                    int32_t spike);
// Fills the record from its walk (ring, mer, area, parents, flags).
int qd_te_get_poly(TePolygon* polygon, nlst* polygons, nlst* chains, TeRules* rules);
// The free ends of an unclosed boundary as point geometries to the rules'
// EAF method (one point when the ends meet within 1e-10).
int qd_te_output_eafs(const GeoCoord* first, TeRules* rules, const GeoCoord* last);
// (The node rule of the face walk, qd_te_walk_nodes, is in qd_te_output.h.)

// ---- Invariants after the face walk ---------------------------------------
// With TE_INV_FACES (and the polygon list of the walk): every side of a
// CHAIN_OK chain that is not a NODE, REGION or ISLAND lies in exactly one
// polygon's walk and names it; per connected group of chains the positive
// areas sum to |the group's negative polygons|; the positive polygons
// number E - V + C (chains, nodes, groups). The other bits are those of
// qd_te_check_invariants(chains, checks, why), checked when given.
enum : int32_t { TE_INV_FACES = 32 };
int qd_te_check_invariants(const nlst* chains, int32_t checks, char* why, const nlst* polygons);
