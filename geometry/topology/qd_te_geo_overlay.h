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
