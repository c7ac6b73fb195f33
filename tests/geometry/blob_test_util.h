// Helpers of the blob tests: the golden blobs written by
// tools/gen_blob_golden.py, hex texts, owned blobs, and a seeded generator of
// random geometry objects for the round-trip properties.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "geo_test_util.h"
#include "geometry/ktgeo_blob.h"
#include "geometry/ktgeo_pack.h"

namespace geotest {

using Bytes = std::vector<uint8_t>;

inline Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string ToHex(const uint8_t* p, size_t n) {
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kHex[p[i] >> 4];
        s += kHex[p[i] & 15];
    }
    return s;
}
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

// The golden blob of that name (tests/geometry/golden/blobs.txt).
inline Bytes Golden(const std::string& name) {
    static const std::map<std::string, Bytes> golden = [] {
        std::map<std::string, Bytes> m;
        std::ifstream in(std::string(QL_GEOMETRY_GOLDEN_DIR) + "/blobs.txt");
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            std::string key, hex;
            fields >> key >> hex;
            m[key] = FromHex(hex);
        }
        return m;
    }();
    const auto it = golden.find(name);
    if (it == golden.end()) throw std::runtime_error("no golden blob " + name);
    return it->second;
}

struct QdFreeDeleter {
    void operator()(uint8_t* p) const { qd_free(p); }
};
using BlobPtr = std::unique_ptr<uint8_t, QdFreeDeleter>;

// The bytes of a blob returned by a writer (empty for null); frees it.
inline Bytes Take(uint8_t* blob) {
    BlobPtr owned(blob);
    if (!blob) return {};
    return Bytes(blob, blob + blob_length(blob));
}

inline Bytes Pack(SpatialObject* so) { return Take(ktgeo_pack_geometry(so)); }

// Seeded random objects: coordinates within +-1e6, tangent and direction
// offsets 0 or at least 1e-2, circles on integers, KT_Curves of 2 or more
// coordinates, any mix of Z.
class RandomObjects {
public:
    explicit RandomObjects(uint32_t seed) : rng_(seed) {}

    void Fill(SpatialObject* so) {
        ktgeo_so_init_empty(so);
        const int n = Int(0, 3) == 0 ? 1 : Int(0, 5);
        if (n > 0 || Int(0, 1)) so->primitives = ktgeo_primitive_list_new(nullptr);
        for (int i = 0; i < n; ++i) {
            GeometricPrimitive p = Primitive();
            nlst_add(so->primitives, &p);
        }
        so->csid = Int(0, 2) ? 0 : Int(1, 100000);
        so->flag = Int(0, 1);
        so->centroid = Maybe(Coord());
        so->second_point = Int(0, 2) ? KTGEO_UNSET_COORD : Coord();
        if (Int(0, 1)) {
            so->env_min = Coord();
            so->env_max = Coord();
        }
        // One primitive and a centroid on its point: the compact forms.
        if (n == 1 && Int(0, 1)) {
            const GeometricPrimitive* p = static_cast<GeometricPrimitive*>(so->primitives->data);
            so->second_point = KTGEO_UNSET_COORD;
            so->centroid = p->type == KTGEO_POINT ? p->geom.point.coord : Coord();
        }
    }

    GeoCoord Coord() {
        GeoCoord c{Real(), Real(), KTGEO_NO_Z};
        if (Int(0, 3) == 0) c.z = Real();
        return c;
    }

private:
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    double Real() { return std::uniform_real_distribution<double>(-1e6, 1e6)(rng_); }
    double Offset() {
        if (Int(0, 3) == 0) return 0.0;
        const double v = std::uniform_real_distribution<double>(1e-2, 1e3)(rng_);
        return Int(0, 1) ? v : -v;
    }
    GeoCoord Maybe(GeoCoord c) { return Int(0, 3) == 0 ? KTGEO_UNSET_COORD : c; }

    nlst* Coords(int n) {
        nlst* list = ktgeo_coord_list_alloc(static_cast<uint32_t>(n));
        for (int i = 0; i < n; ++i) {
            const GeoCoord c = Coord();
            nlst_add(list, &c);
        }
        return list;
    }

    GeoCurve CurveOf() {
        GeoCurve c;
        ktgeo_curve_init(&c);
        c.curve_type = Int(1, 4);
        c.direction = Int(0, 2);
        c.closed = Int(0, 1);
        c.invalid = Int(0, 1);
        c.ref = Maybe(Coord());
        if (c.curve_type == KTGEO_CIRCULAR_ARC && Int(0, 1)) {
            // A circle on integers: first and last on it, the middle its centre.
            const double cx = Int(-1000, 1000), cy = Int(-1000, 1000), r = Int(1, 500);
            const GeoCoord ring[3] = {{cx + r, cy, KTGEO_NO_Z}, {cx, cy, KTGEO_NO_Z},
                                      {cx + r, cy, KTGEO_NO_Z}};
            c.coords = ktgeo_coord_list_from_array(ring, 3);
            c.direction = KTGEO_DIR_NONE;
            return c;
        }
        c.coords = Coords(Int(2, 6));
        if (c.curve_type == KTGEO_KT_CURVE) {
            c.tangent_mode = Int(0, 3);
            const GeoCoord* k = static_cast<const GeoCoord*>(c.coords->data);
            const GeoCoord& last = k[c.coords->tally - 1];
            if (c.tangent_mode & 1) c.start_tangent = {k[0].x + Offset(), k[0].y + Offset(), KTGEO_NO_Z};
            if (c.tangent_mode & 2) c.end_tangent = {last.x + Offset(), last.y + Offset(), KTGEO_NO_Z};
        }
        return c;
    }

    GeoPath PathOf() {
        GeoPath p;
        ktgeo_path_init(&p);
        p.direction = Int(0, 2);
        p.closed = Int(0, 1);
        p.connected = Int(0, 1);
        p.ref = Maybe(Coord());
        p.curves = ktgeo_curve_list_new(nullptr);
        for (int i = Int(1, 3); i > 0; --i) {
            GeoCurve c = CurveOf();
            nlst_add(p.curves, &c);
        }
        return p;
    }

    GeometricPrimitive Primitive() {
        GeometricPrimitive p;
        ktgeo_util_primitive_init(Int(1, 4), &p);
        switch (p.type) {
            case KTGEO_POINT:
                p.geom.point.coord = Coord();
                if (Int(0, 2) == 0) {
                    auto* d = static_cast<GeoPointDirection*>(qd_alloc(sizeof(GeoPointDirection)));
                    *d = {Int(-5, 5), Int(-5, 5),
                          {p.geom.point.coord.x + Offset(), p.geom.point.coord.y + Offset(),
                           KTGEO_NO_Z}};
                    p.geom.point.direction = d;
                }
                return p;
            case KTGEO_CURVE: p.geom.curve = CurveOf(); break;
            case KTGEO_PATH: p.geom.path = PathOf(); break;
            default: {
                GeoPolygon& g = p.geom.polygon;
                g.label = Maybe(Coord());
                g.valid = Int(0, 1);
                g.exterior = PathOf();
                if (Int(0, 1)) {
                    g.interiors = ktgeo_path_list_new(nullptr);
                    for (int i = Int(0, 2); i > 0; --i) {
                        GeoPath h = PathOf();
                        nlst_add(g.interiors, &h);
                    }
                }
            }
        }
        if (Int(0, 1)) {
            p.env_min = Coord();
            p.env_max = Coord();
        }
        return p;
    }

    std::mt19937 rng_;
};

}  // namespace geotest
