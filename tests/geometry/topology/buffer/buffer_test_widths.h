// A buffer width record and an encoder in BUFFER mode for the buffer tests.
#pragma once

#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/te_test_encoder.h"

inline TeBufferWidth Widths(double w, double l, double r, int32_t two_sided) {
    TeBufferWidth b{};
    b.width = w;
    b.width_left = l;
    b.width_right = r;
    b.two_sided = two_sided;
    return b;
}

// An encoder in BUFFER mode.
struct Enc : TeTestEncoder {
    Enc() : TeTestEncoder(TE_BUFFER) {}
};
