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
