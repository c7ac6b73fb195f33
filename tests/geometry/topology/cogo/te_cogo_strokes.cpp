// Helper of tools/oracle/gen_geos_cogo_vectors.py (not a test): reads curves,
// one per line as "x0 y0 x1 y1 ...", and prints each one's fine stroke on
// one line in the same form (%.17g), so that the oracle sees exactly the
// points this engine strokes.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::vector<GeoCoord> pts;
        double x, y;
        while (in >> x >> y) pts.push_back({x, y, KTGEO_NO_Z});
        TeCoordArray curve = {pts.data(), int32_t(pts.size())};
        TeCoordArray out = {nullptr, 0};
        if (qd_te_cogo_curve_stroke_fine(&curve, 0, curve.n, &out, nullptr) != -1) {
            std::fprintf(stderr, "no stroke: %s\n", line.c_str());
            return 1;
        }
        for (int32_t i = 0; i < out.n; ++i)
            std::printf("%s%.17g %.17g", i ? " " : "", out.pts[i].x, out.pts[i].y);
        std::printf("\n");
        qd_free(out.pts);
    }
    return 0;
}
