// Helpers of the encoder tests: map objects built by hand (owned), the two
// transforms the tests use, records encoded into byte vectors.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/blob_test_util.h"
#include "geometry/encode/cvrecord.h"
#include "geometry/encode/geobridge.h"
#include "geometry/encode/sdo.h"
#include "geometry/ktgeo_blob.h"
#include "geometry/qd_alloc.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/err.h"

namespace enctest {

using geotest::Bytes;

// Integers equal coordinates.
inline const char* const kNonEarth =
    "CoordSys NonEarth Units \"m\" Bounds (-1000000000, -1000000000) (1000000000, 1000000000)";
inline const char* const kLatLong = "CoordSys Earth Projection 1, 104";

inline CoordXform Xform(const char* clause) {
    CoordXform xf{};
    EXPECT_EQ(coordsys_parse_text(&xf, clause, 1), 1) << clause;
    err_clear();
    return xf;
}

// Fixture of the encoder tests: the map-object runtime and a clean error
// stack around each test, and the non-earth transform.
struct Runtime : ::testing::Test {
    void SetUp() override {
        mapobj_runtime_start();
        err_clear();
    }
    void TearDown() override {
        err_clear();
        mapobj_runtime_end();
    }
    CoordXform ne = Xform(kNonEarth);
};

// A map object destroyed when the holder goes.
struct Obj {
    MapHandle handle = nullptr;
    MapObject* p = nullptr;
    explicit Obj(int type = 0) { mapobj_new(&handle, &p, type, 0); }
    ~Obj() { mapobj_destroy(&handle); }
    Obj(const Obj&) = delete;
    Obj& operator=(const Obj&) = delete;
    MapObject* operator->() { return p; }
};

inline void Point(Obj& o, int32_t x, int32_t y) {
    mapobj_set_type(o.p, MAPOBJ_POINT);
    const IntPoint p{x, y};
    mapobjx_point_set(o.p, &p, nullptr);
}

inline void Line(Obj& o, IntPoint a, IntPoint b) {
    mapobj_set_type(o.p, MAPOBJ_LINE);
    o->u.line.start = a;
    o->u.line.end = b;
    rect_from_points(&o->mbr, &a, &b);
}

inline void Rect(Obj& o, int type, IntRect r) {
    mapobj_set_type(o.p, type);
    o->mbr = r;
}

struct Section {
    int32_t holes;
    std::vector<IntPoint> nodes;  // a region ring without its closing node
};

// A polyline or region of the sections; the centre set when given.
inline void Poly(Obj& o, int type, std::initializer_list<Section> sections,
                 const IntPoint* centre = nullptr) {
    mapobj_set_type(o.p, type);
    for (const Section& s : sections) {
        int32_t first = 0;
        ASSERT_EQ(mapobjx_add_section(o.p, static_cast<int32_t>(s.nodes.size()), &first), 1);
        ASSERT_EQ(mapobjx_insert_nodes(o.p, first, 0, s.nodes.data(),
                                       static_cast<int32_t>(s.nodes.size()), nullptr, nullptr),
                  1);
    }
    MapSection* h = mapobj_lock_sections(o.p, 0);
    int32_t i = 0;
    for (const Section& s : sections) h[i++].holes = s.holes;
    mapobj_unlock_sections(o.p, h, 0);
    mapobj_update_mbr(o.p);
    if (centre) mapobjx_set_center(o.p, centre, 0);
}

inline void Multipoint(Obj& o, std::vector<IntPoint> pts) {
    mapobj_set_type(o.p, MAPOBJ_MULTIPOINT);
    mapobjx_multipoint_add_nodes(o.p, static_cast<int32_t>(pts.size()), pts.data(), nullptr,
                                 nullptr);
    mapobj_update_mbr(o.p);
}

// The nodes of every section, closing nodes included.
inline std::vector<std::vector<IntPoint>> Sections(MapObject* o) {
    std::vector<std::vector<IntPoint>> out;
    MapSection* h = mapobj_lock_sections(o, 0);
    for (int32_t i = 0; h && i < o->u.poly.sections; ++i) {
        const IntPoint* n = mapobj_section_nodes(h, i);
        out.emplace_back(n, n + h[i].node_count);
    }
    if (h) mapobj_unlock_sections(o, h, 0);
    return out;
}

inline std::string Text(const std::vector<std::vector<IntPoint>>& sections) {
    std::ostringstream s;
    for (const auto& sec : sections) {
        s << "[";
        for (const IntPoint& p : sec) s << p.x << " " << p.y << ",";
        s << "]";
    }
    return s.str();
}

struct Encoded {
    int16_t result = 0;
    Bytes bytes;
    int32_t bound = 0;
};

inline Encoded Record(MapObject* o, const CoordXform& xf) {
    Encoded e;
    EXPECT_EQ(blob_object_size(o, &e.bound), 1);
    std::vector<uint8_t> buffer(static_cast<size_t>(e.bound));
    int32_t length = 0;
    e.result = object_to_blob(o, &xf, buffer.data(), &length, nullptr);
    e.bytes.assign(buffer.begin(), buffer.begin() + length);
    return e;
}

// The blob the upload writes for an object (empty when the bridge refuses).
inline Bytes Blob(MapObject* o, const CoordXform& xf) {
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    Bytes b;
    if (geobridge_object_to_geometry(o, &xf, &so) == 1) b = geotest::Pack(&so);
    ktgeo_so_release(&so);
    return b;
}

// The blob of the upload's road (geobridge_object_to_blob), with its answer.
inline Bytes RoadBlob(MapObject* o, const CoordXform& xf, int16_t* answer = nullptr) {
    uint8_t* blob = nullptr;
    const int16_t r = geobridge_object_to_blob(o, &xf, &blob);
    if (answer) *answer = r;
    Bytes b;
    if (blob) b.assign(blob, blob + blob_length(blob));
    qd_free(blob);
    return b;
}

}  // namespace enctest
