// Whole runs of the topology engine over up to six small polygons or lines
// on a 16 x 16 grid, with an operation and an output dimension from the
// bytes: every run must answer 1 or 0, never crash or hang.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_bytes.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_util.h"

namespace {

const int32_t kModes[] = {TE_SINGLE, TE_SPLIT, TE_ALL, TE_BRANCH, TE_CONTIGUOUS, TE_DISSOLVE, TE_ERASE_IN,
                          TE_ERASE_OUT, TE_ADJACENT, TE_JOIN, TE_PRESERVE, TE_UNCLOSED, TE_INTERSECT,
                          TE_SYMMETRIC_DIFFERENCE, TE_ALL_PRESERVE, TE_BREAK, TE_CONVEX_HULL, TE_DIFFERENCE,
                          TE_DISTANCE, TE_RELATE, TE_BOUNDARY, TE_SHARED, TE_OVERLAY_NODES};
const int32_t kSecondary[] = {45, TE_DISCARD, TE_NONE, TE_INCURSION, TE_EXCURSION};

int32_t Accept(SpatialObject*, nlst*, void*) { return 1; }
int32_t Refuse(FailEvent*, void*) { return 0; }

// One polygon (a ring closed on its first point) or line of 2 to 9 points.
bool add_item(FuzzBytes& in, SpatialObject* object) {
    const uint8_t head = in.take<uint8_t>();
    const bool polygon = head & 1;
    const uint32_t n = 2 + (head >> 1) % 8;
    std::vector<GeoCoord> pts;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t b = in.take<uint8_t>();
        const uint8_t fine = (head & 0x80) ? in.take<uint8_t>() % 4 : 0;
        pts.push_back({double(b & 15) + fine * 0.25, double(b >> 4), KTGEO_NO_Z});
    }
    if (!polygon) return ktgeo_util_add_new_curve(object, KTGEO_POLYLINE, pts.data(), n, 0, 0, 0) == 1;
    pts.push_back(pts.front());
    GeoCurve curve;
    ktgeo_curve_init(&curve);
    curve.curve_type = KTGEO_POLYLINE;
    curve.coords = ktgeo_coord_list_from_array(pts.data(), uint32_t(pts.size()));
    GeoPolygon poly;
    ktgeo_polygon_init(&poly);
    poly.exterior.curves = ktgeo_curve_list_new(&curve);
    if (!poly.exterior.curves) {
        ktgeo_curve_release(&curve, nullptr);
        return false;
    }
    if (ktgeo_util_add_new_polygon(object, &poly) != 1) {
        ktgeo_polygon_release(&poly);
        return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzBytes in{data, size};
    const uint8_t setup = in.take<uint8_t>();
    TeRules rules;
    qd_te_rules_init(&rules);
    qd_te_func_abstract_set_rules(&rules, kModes[in.take<uint8_t>() % (sizeof kModes / sizeof kModes[0])], nullptr,
                                  1, 0);
    rules.output_dim = setup % 4;
    rules.secondary = kSecondary[(setup >> 2) % 5];
    rules.reconnect = (setup >> 5) & 1;
    rules.islands = (setup >> 6) & 1;
    rules.output_method = {Accept, nullptr};
    rules.error_method = {Refuse, nullptr};
    const uint32_t items = 1 + in.take<uint8_t>() % 6;
    std::vector<SpatialObject> objects(items);
    nlst* packs = nlst_alloc(sizeof(TePack), items, 1, nullptr);
    for (uint32_t i = 0; i < items; ++i) {
        ktgeo_so_init_empty(&objects[i]);
        const uint8_t key = in.take<uint8_t>();
        if (!add_item(in, &objects[i])) continue;
        TePack pack;
        qd_te_pack_init(&pack);
        pack.keys.parent = {1, int32_t(i + 1), 0};
        pack.keys.key = (key & 1) ? 0 : -1;
        pack.use_input = 1;
        pack.input = &objects[i];
        nlst_add(packs, &pack);
    }
    const int answer = qd_te_func_abstract(packs, &rules);
    if (answer != 0 && answer != 1) std::abort();
    nlst_free(packs);
    for (SpatialObject& o : objects) ktgeo_so_release(&o);
    return 0;
}
