// Node topology: the direction code that orders chain ends
// counter-clockwise around a node without trigonometry.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

// Direction of point seen from centre: quadrant 1 (from +x, included,
// towards +y), 2 (from +y), 3 (from -x), 4 (from -y), 5 when the points
// are equal; the pseudo-slope grows counter-clockwise within a quadrant.
// Comparisons of (quadrant, slope) are exact.
int qd_te_leaving_calc_cyclic_order(const GeoCoord* centre, const GeoCoord* point,
                                    int32_t* quadrant, double* slope);

struct TeChain;
struct TeRules;
struct nlst;

// One chain end at a node: the chain, its first or last vertex (x, y, z of
// a TeVertex inside the chain's coords), 1 start or 2 end, and the
// direction of the chain's first step away from that end.
struct TeNodeEnd {
    TeChain* chain;
    double* point;
    int32_t end;
    int32_t quadrant;  // 5 until set
    double slope;
};

// Appends the chain's two ends (nlst of TeNodeEnd, made when null). CIRCLE
// and NODE chains add none and link to themselves; a chain too short to
// give a direction becomes CHAIN_INVALID.
int qd_te_leaving_form_node_list(TeChain* chain, nlst** entries);
// Snaps ends within t onto one point, orders the ends at each node
// counter-clockwise and writes the chains' walk links.
int qd_te_leaving_set_ql_lr(nlst* entries, TeRules* rules, double t);
// Both, for every live chain of a list.
int qd_te_leaving_chain_set_ql_lr(TeRules* rules, double t, nlst* chains);

// Renumbering, the universal chain's frame and the inheritance of parents
// from regions and nodes.
int qd_te_reassign_chain_id(nlst* chains, int32_t drop_operands, int32_t mark_regions, TeRules* rules);
int qd_te_reassign_universal_polygon(TeChain* universal);
int qd_te_leaving_chain_inherit_parents(nlst* chains, TeRules* rules);
int qd_te_leaving_chain_inherit_regions(nlst* chains, TeRules* rules);
int qd_te_leaving_chain_inherit_nodes(nlst* chains, TeRules* rules);

// One chain end of node inheritance.
struct TeEndPoint {
    int32_t row;
    TeChain* chain;
    double* vertex;  // x, y, z of a TeVertex of the chain
    int32_t group;   // -1 until grouped
    int32_t linear;  // 1 PATH, LINE, ARC, CURVE; 0 NODE
    int32_t parents;
};
int qd_te_leaving_chain_inherit_nodes_list(nlst* chains, nlst** entries);
int qd_te_leaving_chain_flags(const TeChain* chain, int32_t* no_feature, int32_t* has_p, int32_t* has_s);
int qd_te_leaving_clear_local_parents(TeChain* chain);
// The overlay walk's answer for a chain's points (12 outside, 13 inside,
// ...) with the given same-parent flag; 0 when the walk fails.
int qd_te_leaving_overlay_chain(TeChain* chain, const nlst* chains, int32_t kind, int32_t same_parent);

// The leaving stage's linear dissolve: hands out the lines a surface run
// gives as lines and marks what leaves the surface data.
int qd_te_leaving_chain_linear_dissolve(nlst* chains, TeRules* rules);
