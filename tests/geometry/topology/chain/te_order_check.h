// Checks a three-way comparator for a strict weak order on given records:
// irreflexive, asymmetric and transitive over every triple.
#pragma once

#include <string>
#include <vector>

namespace tetest {

template <class T, class Compare>
std::string OrderFault(const std::vector<T>& v, Compare cmp) {
    const size_t n = v.size();
    for (size_t i = 0; i < n; ++i) {
        if (cmp(&v[i], &v[i]) != 0) return "not irreflexive at " + std::to_string(i);
        for (size_t j = 0; j < n; ++j) {
            const int ij = cmp(&v[i], &v[j]), ji = cmp(&v[j], &v[i]);
            if ((ij < 0) != (ji > 0) || (ij == 0) != (ji == 0)) return "not asymmetric at " + std::to_string(i) + "," + std::to_string(j);
            for (size_t k = 0; k < n; ++k) {
                const int jk = cmp(&v[j], &v[k]), ik = cmp(&v[i], &v[k]);
                if (ij < 0 && jk < 0 && !(ik < 0)) return "not transitive at " + std::to_string(i);
                if (ij == 0 && jk == 0 && ik != 0) return "equivalence not transitive at " + std::to_string(i);
            }
        }
    }
    return "";
}

}  // namespace tetest
