// Shared helpers of the geometry tests: one stdout capture, a recorder of
// failure reports, and small builders of coordinate lists, curves, paths,
// polygons and objects.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_ogc.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_types.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"
#include "geometry/qd_nlst.h"

namespace geotest {

// Captures what is written to stdout while alive.
class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        file_ = std::tmpfile();
        saved_ = dup(fileno(stdout));
        dup2(fileno(file_), fileno(stdout));
    }
    ~StdoutCapture() { Restore(); if (file_) std::fclose(file_); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Everything written so far (restores stdout).
    std::string Text() {
        Restore();
        std::string text;
        std::rewind(file_);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) text.append(buf, n);
        return text;
    }

private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        dup2(saved_, fileno(stdout));
        close(saved_);
        saved_ = -1;
    }
    std::FILE* file_ = nullptr;
    int saved_ = -1;
};

struct Report {
    std::string code;
    std::vector<std::pair<std::string, std::string>> pairs;  // key, value as text

    // The value of a key given without its conversion ("param" for "param%s").
    std::string Get(const std::string& name) const {
        for (const auto& [k, v] : pairs)
            if (k.rfind(name + "%", 0) == 0) return v;
        return "";
    }
};

// Records every report (warnings included) while alive; resets the
// module state of qd_fail before and after.
class FailRecorder {
public:
    FailRecorder() {
        qd_fail_reset_state();
        qd_fail_state.recorder = &FailRecorder::Record;
        qd_fail_state.recorder_context = this;
    }
    ~FailRecorder() { qd_fail_reset_state(); }
    FailRecorder(const FailRecorder&) = delete;
    FailRecorder& operator=(const FailRecorder&) = delete;

    const std::vector<Report>& reports() const { return reports_; }
    // Codes of the reports that print (warnings left out).
    std::vector<std::string> Codes() const {
        std::vector<std::string> codes;
        for (const Report& r : reports_)
            if (r.code.rfind("01", 0) != 0) codes.push_back(r.code);
        return codes;
    }
    const Report& Last() const { return reports_.back(); }
    void Clear() { reports_.clear(); }

private:
    static void Record(const char* code, const QdFailPair* pairs, int count, void* context) {
        Report r{code, {}};
        for (int i = 0; i < count; ++i) {
            const std::string key = pairs[i].key;
            const size_t pct = key.find('%');
            const char letter = pct == std::string::npos ? '\0' : key[pct + 1];
            std::string value;
            if (letter == 's') value = pairs[i].value.s ? pairs[i].value.s : "(null)";
            else if (letter == 'd') value = std::to_string(pairs[i].value.i);
            r.pairs.emplace_back(key, value);
        }
        static_cast<FailRecorder*>(context)->reports_.push_back(r);
    }
    std::vector<Report> reports_;
};

struct ListDeleter {
    void operator()(nlst* l) const { nlst_free(l); }
};
// A list freed (storage and header) when it goes.
using List = std::unique_ptr<nlst, ListDeleter>;

inline GeoCoord C(double x, double y) { return GeoCoord{x, y, KTGEO_NO_Z}; }
inline GeoCoord C(double x, double y, double z) { return GeoCoord{x, y, z}; }

inline nlst* Coords(std::initializer_list<GeoCoord> coords) {
    std::vector<GeoCoord> v(coords);
    return ktgeo_coord_list_from_array(v.data(), static_cast<uint32_t>(v.size()));
}

inline std::vector<GeoCoord> Points(const nlst* list) {
    const GeoCoord* c = static_cast<const GeoCoord*>(list->data);
    return std::vector<GeoCoord>(c, c + list->tally);
}

inline GeoCurve Curve(std::initializer_list<GeoCoord> coords, int32_t type = KTGEO_POLYLINE) {
    GeoCurve c;
    ktgeo_curve_init(&c);
    c.curve_type = type;
    c.coords = Coords(coords);
    return c;
}

// A path owning the given curves (flags as the producer sets them).
inline GeoPath Path(std::initializer_list<GeoCurve> curves, int connected = 1, int closed = 0) {
    GeoPath p;
    ktgeo_path_init(&p);
    p.curves = ktgeo_curve_list_new(nullptr);
    for (const GeoCurve& c : curves) nlst_add(p.curves, &c);
    p.connected = connected;
    p.closed = closed;
    return p;
}

inline GeoPolygon Polygon(const GeoPath& exterior, std::initializer_list<GeoPath> holes = {}) {
    GeoPolygon poly;
    ktgeo_polygon_init(&poly);
    poly.exterior = exterior;
    if (holes.size()) {
        poly.interiors = ktgeo_path_list_new(nullptr);
        for (const GeoPath& h : holes) nlst_add(poly.interiors, &h);
    }
    return poly;
}

// A SpatialObject released when the holder goes.
struct Object {
    Object() { ktgeo_so_init_empty(&so); }
    ~Object() { ktgeo_so_release(&so); }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    void AddPoint(GeoCoord c) {
        GeometricPrimitive p;
        ktgeo_util_primitive_init(KTGEO_POINT, &p);
        p.geom.point.coord = c;
        Add(p);
    }
    void AddCurve(const GeoCurve& curve) {
        GeometricPrimitive p;
        ktgeo_util_primitive_init(KTGEO_CURVE, &p);
        p.geom.curve = curve;
        Add(p);
    }
    void AddPath(const GeoPath& path) {
        GeometricPrimitive p;
        ktgeo_util_primitive_init(KTGEO_PATH, &p);
        p.geom.path = path;
        Add(p);
    }
    GeoPolygon* AddPolygon(const GeoPolygon& polygon) {
        GeometricPrimitive p;
        ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
        p.geom.polygon = polygon;
        Add(p);
        return &Primitive(so.primitives->tally - 1)->geom.polygon;
    }
    GeometricPrimitive* Primitive(uint32_t row) {
        return static_cast<GeometricPrimitive*>(nlst_index(so.primitives, row));
    }
    void Add(const GeometricPrimitive& p) {
        if (!so.primitives) so.primitives = ktgeo_primitive_list_new(nullptr);
        nlst_add(so.primitives, &p);
    }

    SpatialObject so;
};

// A closed square ring of side `side` from (x, y), counterclockwise.
inline GeoCurve Square(double x, double y, double side) {
    return Curve({C(x, y), C(x + side, y), C(x + side, y + side), C(x, y + side), C(x, y)});
}

// The object's well-known text, or "<null>" when it cannot be written.
inline std::string Wkt(SpatialObject* so) {
    char* text = ktgeo_ogc_output_wkt_v1(so);
    std::string s = text ? text : "<null>";
    qd_free(text);
    return s;
}

}  // namespace geotest
