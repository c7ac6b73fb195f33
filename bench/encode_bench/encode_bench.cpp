// Object encoders against copying the same coordinates through the table's
// transform (xform_int_to_xy), measured in the same run: 1,000,000 seeded
// mixed objects (a pool of 10,000 distinct points, lines, polylines,
// regions and multipoints, encoded 100 times over) on the upload's blob road
// (geobridge_object_to_blob: the bridge and the blob writer), through the
// object record and into SDO arrays; then one region of 1,000,000 nodes on
// both blob paths, per node, against the mixed set's cost per node.
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "geometry/encode/cvrecord.h"
#include "geometry/encode/geobridge.h"
#include "geometry/encode/sdo.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objprop.h"

namespace {

volatile double sink = 0;

struct Pool {
    std::vector<MapHandle> objects;
    int64_t nodes = 0;
    ~Pool() {
        for (MapHandle& h : objects) mapobj_destroy(&h);
    }
};

void add_section(MapObject* o, const std::vector<IntPoint>& pts) {
    int32_t first = 0;
    mapobjx_add_section(o, static_cast<int32_t>(pts.size()), &first);
    mapobjx_insert_nodes(o, first, 0, pts.data(), static_cast<int32_t>(pts.size()), nullptr, nullptr);
}

std::vector<IntPoint> star(std::mt19937& rng, int n, double cx, double cy, double radius) {
    std::uniform_real_distribution<double> u(0.2, 1.0);
    std::vector<IntPoint> r;
    for (int k = 0; k < n; ++k) {
        const double a = 2 * M_PI * (k + 0.5) / n, rr = radius * u(rng);
        r.push_back(IntPoint{static_cast<int32_t>(cx + rr * std::cos(a)),
                             static_cast<int32_t>(cy + rr * std::sin(a))});
    }
    return r;
}

MapHandle make(std::mt19937& rng, int kind, int64_t* nodes) {
    std::uniform_int_distribution<int32_t> coord(-1000000, 1000000);
    MapHandle h = nullptr;
    MapObject* o = nullptr;
    mapobj_new(&h, &o, 0, 0);
    switch (kind) {
        case 0: {
            mapobj_set_type(o, MAPOBJ_POINT);
            const IntPoint p{coord(rng), coord(rng)};
            mapobjx_point_set(o, &p, nullptr);
            *nodes += 1;
            break;
        }
        case 1:
            mapobj_set_type(o, MAPOBJ_LINE);
            o->u.line.start = IntPoint{coord(rng), coord(rng)};
            o->u.line.end = IntPoint{coord(rng), coord(rng)};
            rect_from_points(&o->mbr, &o->u.line.start, &o->u.line.end);
            *nodes += 2;
            break;
        case 2: {
            mapobj_set_type(o, MAPOBJ_POLYLINE);
            std::vector<IntPoint> pts;
            for (int i = 0; i < 20; ++i) pts.push_back(IntPoint{coord(rng), coord(rng)});
            add_section(o, pts);
            *nodes += 20;
            break;
        }
        case 3:
            mapobj_set_type(o, MAPOBJ_REGION);
            add_section(o, star(rng, 30, coord(rng) / 2, coord(rng) / 2, 100000));
            *nodes += 31;
            break;
        default: {
            mapobj_set_type(o, MAPOBJ_MULTIPOINT);
            std::vector<IntPoint> pts;
            for (int i = 0; i < 5; ++i) pts.push_back(IntPoint{coord(rng), coord(rng)});
            mapobjx_multipoint_add_nodes(o, 5, pts.data(), nullptr, nullptr);
            *nodes += 5;
        }
    }
    mapobj_update_mbr(o);
    return h;
}

// Every node of an object through the transform into a scratch array.
struct CopyWalk {
    const CoordXform* xf;
    std::vector<DPoint>* out;
};

int16_t copy_section(const MapSection* s, const IntPoint* nodes, void* user) {
    CopyWalk* w = static_cast<CopyWalk*>(user);
    w->out->resize(static_cast<size_t>(s->node_count));
    xform_int_to_xy(nodes, w->out->data(), w->xf, s->node_count);
    sink = sink + (*w->out)[0].x;
    return 1;
}

void copy_coords(MapObject* o, const CoordXform* xf, std::vector<DPoint>* out) {
    switch (o->type) {
        case MAPOBJ_POINT:
            out->resize(1);
            xform_int_to_xy(&o->u.point.location, out->data(), xf, 1);
            break;
        case MAPOBJ_LINE: {
            const IntPoint e[2] = {o->u.line.start, o->u.line.end};
            out->resize(2);
            xform_int_to_xy(e, out->data(), xf, 2);
            break;
        }
        case MAPOBJ_MULTIPOINT:
            out->resize(static_cast<size_t>(o->u.multipoint.count));
            xform_int_to_xy(static_cast<const IntPoint*>(o->nodes), out->data(), xf,
                            o->u.multipoint.count);
            break;
        default: {
            CopyWalk w{xf, out};
            mapobj_for_each_section(o, copy_section, &w);
        }
    }
    sink = sink + (*out)[0].y;
}

void blob_path(MapObject* o, const CoordXform* xf) {
    uint8_t* blob = nullptr;
    if (geobridge_object_to_blob(o, xf, &blob) == 1 && blob) sink = sink + blob[5];
    qd_free(blob);
}

void record_path(MapObject* o, const CoordXform* xf, std::vector<uint8_t>* buffer) {
    int32_t size = 0, length = 0;
    blob_object_size(o, &size);
    if (buffer->size() < static_cast<size_t>(size)) buffer->resize(static_cast<size_t>(size));
    object_to_blob(o, xf, buffer->data(), &length, nullptr);
    sink = sink + (*buffer)[0];
}

void sdo_path(MapObject* o, const CoordXform* xf) {
    SdoGeometry g;
    sdo_reset(&g);
    SdoArrays a{nullptr, nullptr, nullptr, &g};
    object_to_sdo(o, xf, &a, 0, 1, 0);
    sink = sink + g.gtype;
    sdo_free_arrays(&a);
}

}  // namespace

int main() {
    mapobj_runtime_start();
    CoordXform xf{};
    coordsys_parse_text(&xf,
                        "CoordSys NonEarth Units \"m\" Bounds (-1000000000, -1000000000) "
                        "(1000000000, 1000000000)",
                        1);
    std::mt19937 rng(20261210);
    Pool pool;
    for (int i = 0; i < 10000; ++i) pool.objects.push_back(make(rng, i % 5, &pool.nodes));
    const int rounds = 100;
    const double objects = 1e6;
    const double mixed_nodes = static_cast<double>(pool.nodes) * rounds;
    std::vector<DPoint> scratch;
    std::vector<uint8_t> buffer;
    auto over_pool = [&](auto fn) {
        return best_seconds(
            [&] {
                for (int r = 0; r < rounds; ++r)
                    for (MapHandle h : pool.objects) fn(mapobj_lock(h));
            },
            3);
    };
    const double base = over_pool([&](MapObject* o) { copy_coords(o, &xf, &scratch); });
    const double blob = over_pool([&](MapObject* o) { blob_path(o, &xf); });
    const double record = over_pool([&](MapObject* o) { record_path(o, &xf, &buffer); });
    const double sdo = over_pool([&](MapObject* o) { sdo_path(o, &xf); });
    std::printf("1,000,000 mixed objects (%.0f nodes), baseline: coordinates through the transform\n",
                mixed_nodes);
    report("blob path (bridge + blob writer), target <= 4", blob / objects * 1e9, base / objects * 1e9,
           "copy");
    report("object record (object_to_blob)", record / objects * 1e9, base / objects * 1e9, "copy");
    report("SDO arrays (object_to_sdo)", sdo / objects * 1e9, base / objects * 1e9, "copy");

    // The same per kind (every fifth object of the pool is of one kind).
    static const char* const kKinds[] = {"point", "line", "polyline (20 nodes)", "region (31 nodes)",
                                         "multipoint (5 points)"};
    for (int kind = 0; kind < 5; ++kind) {
        auto over_kind = [&](auto fn) {
            return best_seconds(
                [&] {
                    for (int r = 0; r < rounds; ++r)
                        for (size_t i = static_cast<size_t>(kind); i < pool.objects.size(); i += 5)
                            fn(mapobj_lock(pool.objects[i]));
                },
                3);
        };
        const double kind_base = over_kind([&](MapObject* o) { copy_coords(o, &xf, &scratch); });
        const double kind_blob = over_kind([&](MapObject* o) { blob_path(o, &xf); });
        char label[80];
        std::snprintf(label, sizeof label, "  blob path, %s", kKinds[kind]);
        report(label, kind_blob / (objects / 5) * 1e9, kind_base / (objects / 5) * 1e9, "copy");
    }

    // One region of 1,000,000 nodes, per node against the mixed set.
    MapHandle big = nullptr;
    MapObject* region = nullptr;
    mapobj_new(&big, &region, MAPOBJ_REGION, 0);
    add_section(region, star(rng, 1000000, 0, 0, 500000000));
    mapobj_update_mbr(region);
    const double n = 1000001;
    const double big_blob = best_seconds([&] { blob_path(region, &xf); }, 3);
    const double big_record = best_seconds([&] { record_path(region, &xf, &buffer); }, 3);
    std::printf("one region of 1,000,000 nodes, per node, baseline: the mixed set per node\n");
    report("blob path, target <= 2", big_blob / n * 1e9, blob / mixed_nodes * 1e9, "mixed blob path");
    report("object record, target <= 2", big_record / n * 1e9, record / mixed_nodes * 1e9,
           "mixed object record");
    mapobj_destroy(&big);
    mapobj_runtime_end();
    return 0;
}
