// Joining a path's curves into one line (its expanded list), orienting
// closed rings, and ordering a path's curves into end-to-end chains.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

// One end of a chain curve during the ordering.
struct CurveEndNode {
    GeoCoord point;
    int32_t end;    // 1 the curve's first coordinate, 2 its last
    int32_t curve;  // row in the path's curve list
    int32_t used;
};

int ktgeo_path_expand(GeoPath* path);
int ktgeo_path_expand_oriented(GeoPath* path, int clockwise);
nlst* ktgeo_path_generalize(GeoPath* path, double tolerance);
int ktgeo_curve_sort(GeoPath* path);

// Steps of the ordering. The non-curve walk appends non-curves to `result`
// and counts chain curves; the node list holds 2 x count nodes.
int ktgeo_find_non_curve(const nlst* curves, nlst* result, uint32_t* chain_count);
CurveEndNode* ktgeo_setup_node_lst(const nlst* curves, uint32_t chain_count);
int ktgeo_node_add_curve_ends(CurveEndNode* nodes, uint32_t* used, const GeoCurve* curve,
                              int32_t row);
int ktgeo_node_compare(const void* a, const void* b);
int32_t ktgeo_node_find_start(const CurveEndNode* nodes, uint32_t count, uint32_t* used_count);
int32_t ktgeo_node_first_unused(const CurveEndNode* nodes, uint32_t count);
int32_t ktgeo_node_partner(const CurveEndNode* nodes, uint32_t count, int32_t row);
int32_t ktgeo_node_next(const CurveEndNode* nodes, uint32_t count, int32_t row);
int ktgeo_node_take_curve(const nlst* curves, const CurveEndNode* node, nlst* result);
int ktgeo_node_walk(CurveEndNode* nodes, uint32_t count, int32_t start, const nlst* curves,
                    nlst* result);
