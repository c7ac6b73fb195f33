// An encoder on rules of one mode for the topology tests: key -1, parents
// {1, 1, 0}, tolerance 1e-8; a test changes what else it needs through
// `adjust` before the encoder starts, and the encoder is freed with it.
#pragma once

#include <functional>

#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_util.h"

struct TeTestEncoder {
    TeRules rules;
    TeKeys keys;
    TeEncoder e;
    explicit TeTestEncoder(int32_t mode, const std::function<void(TeRules&, TeKeys&)>& adjust = {}) {
        qd_te_rules_init(&rules);
        rules.mode = mode;
        qd_te_keys_init(&keys);
        keys.key = -1;
        keys.parent = {1, 1, 0};
        keys.tolerance.tolerance = 1e-8;
        if (adjust) adjust(rules, keys);
        qd_te_encode_init(&rules, &keys, &e);
    }
    ~TeTestEncoder() { qd_te_encode_free(&e); }
    TeTestEncoder(const TeTestEncoder&) = delete;
    TeTestEncoder& operator=(const TeTestEncoder&) = delete;
};
