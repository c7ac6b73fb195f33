// Helpers of the coordinate geometry tests: points, bounded arrays, and an
// expectation on a point.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"

namespace tetest {

inline GeoCoord P(double x, double y, double z = KTGEO_NO_Z) { return {x, y, z}; }

// A bounded array over pts (kept alive by the caller), its envelope filled.
inline TeBoundedArray Bounded(std::vector<GeoCoord>& pts) {
    TeBoundedArray a = {pts.data(), int32_t(pts.size()), {}, {}};
    if (!pts.empty()) qd_te_cogo_envelope(&a.env_min, pts.data(), a.n);
    return a;
}

// Runs `run` once to count its allocations, then once with each of them
// failing; `run` answers whether that failure was handled as documented
// (its own expectations check what was freed and left untouched).
template <class Run>
void ForEachAllocFailure(Run run) {
    geotest::FailRecorder rec;
    qd_alloc_fail_nth(0);
    run(uint64_t{0});
    const uint64_t total = qd_alloc_state.calls;
    ASSERT_GT(total, 0u);
    for (uint64_t nth = 1; nth <= total; ++nth) {
        qd_alloc_fail_nth(nth);
        run(nth);
        qd_alloc_fail_nth(0);
    }
}

#define EXPECT_POINT(p, ex, ey, eps)        \
    do {                                    \
        EXPECT_NEAR((p).x, (ex), (eps));    \
        EXPECT_NEAR((p).y, (ey), (eps));    \
    } while (0)

}  // namespace tetest
