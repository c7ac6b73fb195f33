// Timing helper of the topology benchmarks: best of three rounds of the
// work alone on a freshly made chain list (making and freeing the chains
// are not timed).
#pragma once
#include <algorithm>
#include <chrono>

#include "geometry/topology/qd_te_geo_chain.h"

template <class Make, class Work>
double timed(Make make, Work work) {
    double best = 1e30;
    for (int round = 0; round < 3; ++round) {
        nlst* chains = make();
        const auto start = std::chrono::steady_clock::now();
        work(chains);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        qd_te_geo_chain_list_free(&chains);
    }
    return best;
}
