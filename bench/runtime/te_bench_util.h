// Helpers of the topology benchmarks: timing (best of three rounds of the
// work alone on a freshly made chain list; making and freeing the chains
// are not timed) and unit-square inputs.
#pragma once
#include <algorithm>
#include <chrono>

#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_utilities.h"
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

// Adds the unit square with its lower-left corner at (x, y) to o, as a
// polygon of one closed polyline ring.
inline void add_square(SpatialObject* o, double x, double y) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
    GeoPath& ring = p.geom.polygon.exterior;
    ring.curves = ktgeo_curve_list_new(nullptr);
    GeoCurve c;
    ktgeo_curve_init(&c);
    c.curve_type = KTGEO_POLYLINE;
    const GeoCoord sq[] = {{x, y, KTGEO_NO_Z}, {x, y + 1, KTGEO_NO_Z}, {x + 1, y + 1, KTGEO_NO_Z},
                           {x + 1, y, KTGEO_NO_Z}, {x, y, KTGEO_NO_Z}};
    c.coords = ktgeo_coord_list_from_array(sq, 5);
    nlst_add(ring.curves, &c);
    ring.closed = ring.connected = 1;
    p.geom.polygon.valid = 1;
    if (!o->primitives) o->primitives = ktgeo_primitive_list_new(nullptr);
    nlst_add(o->primitives, &p);
}
