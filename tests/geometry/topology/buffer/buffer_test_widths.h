// A buffer width record for the buffer tests.
#pragma once

#include "geometry/topology/qd_te_util.h"

inline TeBufferWidth Widths(double w, double l, double r, int32_t two_sided) {
    TeBufferWidth b{};
    b.width = w;
    b.width_left = l;
    b.width_right = r;
    b.two_sided = two_sided;
    return b;
}
