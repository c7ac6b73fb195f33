// A buffer width record and an encoder in BUFFER mode for the buffer tests.
#pragma once

#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_util.h"

inline TeBufferWidth Widths(double w, double l, double r, int32_t two_sided) {
    TeBufferWidth b{};
    b.width = w;
    b.width_left = l;
    b.width_right = r;
    b.two_sided = two_sided;
    return b;
}

struct Enc {
    TeRules rules;
    TeKeys keys;
    TeEncoder e;
    Enc() {
        qd_te_rules_init(&rules);
        rules.mode = TE_BUFFER;
        qd_te_keys_init(&keys);
        keys.key = -1;
        keys.parent = {1, 1, 0};
        keys.tolerance.tolerance = 1e-8;
        qd_te_encode_init(&rules, &keys, &e);
    }
    ~Enc() { qd_te_encode_free(&e); }
    Enc(const Enc&) = delete;
    Enc& operator=(const Enc&) = delete;
};
