// Numbers of every kind through the engine's coordinate geometry: the
// bytes choose an operation, counts up to 10^4 and coordinates that are
// small grid values (so duplicates are frequent), NaN, infinities, 1e300,
// tiny values or raw doubles. Every answer must be one of the documented
// codes; sanitizers catch the rest.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_cogo.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    uint32_t count(uint32_t max) {
        const uint32_t v = uint32_t(byte()) << 8 | byte();
        return v % (max + 1);
    }
    double number() {
        static const double special[] = {NAN, INFINITY, -INFINITY, 1e300, -1e300, 1e-300, 0.0,
                                         5e-9, 1e6, 4e6, 1.7976931348623157e308, -0.0, 1e-8, 2e-10};
        const uint8_t b = byte();
        if (b < 200) return (double(b) - 100.0) * 0.5;
        if (b < 200 + sizeof special / sizeof special[0]) return special[b - 200];
        double v = 0;
        uint8_t raw[8];
        for (uint8_t& r : raw) r = byte();
        std::memcpy(&v, raw, 8);
        return v;
    }
    GeoCoord point() {
        const double x = number(), y = number();
        return {x, y, KTGEO_NO_Z};
    }
    // As many points as the bytes left can give (two bytes at least each).
    std::vector<GeoCoord> points(uint32_t max) {
        std::vector<GeoCoord> v(std::min<size_t>(count(max), n / 2));
        for (GeoCoord& c : v) c = point();
        return v;
    }
};

void check(bool ok) {
    if (!ok) std::abort();
}

void check_list(int r, TeIntersectionList* list) {
    check(r == 1 || r == 0 || r == -2 || r == -3);
    if (r == 1) check(list->count > 0 && list->items);
    qd_te_cogo_intersection_list_free(list);
}

TeBoundedArray bounded(std::vector<GeoCoord>& pts) {
    TeBoundedArray a = {pts.data(), int32_t(pts.size()), {0, 0, KTGEO_NO_Z}, {0, 0, KTGEO_NO_Z}};
    if (!pts.empty()) qd_te_cogo_envelope(&a.env_min, pts.data(), a.n);
    return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    Reader in{data, size};
    const uint8_t op = in.byte();
    // Sweeps take up to 1,500 points (as many as the bytes give): a run of
    // coincident points crosses itself pair by pair, so the answer grows with
    // the square of the count. Splines up to 300.
    auto pts = in.points(op % 12 <= 2 ? 1500 : (op & 0x80 ? 300 : 60));
    TeCoordArray curve = {pts.data(), int32_t(pts.size()), in.number(), in.number(),
                          int32_t(in.byte() % 6)};
    TeIntersectionList list = {0, 0, nullptr};
    switch (op % 12) {
        case 0:
            check_list(qd_te_cogo_self_intersections(&curve, &list, 0, nullptr), &list);
            break;
        case 1: {
            auto other = in.points(1500);
            TeBoundedArray a = bounded(pts), b = bounded(other);
            check_list(qd_te_cogo_sweep_two_arrays(&a, &b, &list, in.byte() & 1, 0, nullptr), &list);
            const GeoCoord p = in.point(), q = in.point();
            check_list(qd_te_cogo_line_polyline_intersections(&p, &q, &b, &list, 0, nullptr), &list);
            break;
        }
        case 2: {
            TeBoundedArray a = bounded(pts);
            const TeCircle c = {in.point(), in.number()};
            const TeArc arc = {in.point(), in.number(), in.number(), in.number()};
            check_list(qd_te_cogo_polyline_circle_intersections(&a, &c, &list, 0, nullptr), &list);
            check_list(qd_te_cogo_polyline_arc_intersections(&a, &arc, &list, 0, nullptr), &list);
            break;
        }
        case 3: {
            TeCoordArray out = {nullptr, 0};
            const int32_t total = int32_t(pts.size()) + int32_t(in.count(10000)) - 5;
            const int r = qd_te_cogo_curve_stroke(&curve, 0, curve.n, total, &out, nullptr);
            check(r == -1 || r == -2 || r == -3);
            if (r == -1) check(out.n >= 2 && out.pts);
            qd_free(out.pts);
            break;
        }
        case 4: {
            TeCoordArray out = {nullptr, 0};
            const int r = qd_te_cogo_curve_stroke_fine(&curve, 0, curve.n, &out, nullptr);
            check(r == -1 || r == -2 || r == -3);
            qd_free(out.pts);
            break;
        }
        case 5:
            check_list(qd_te_cogo_curve_self_intersections(&curve, &list, nullptr), &list);
            break;
        case 6: {
            auto other = in.points(60);
            TeCoordArray b = {other.data(), int32_t(other.size()), in.number(), in.number(),
                              int32_t(in.byte() % 6)};
            check_list(qd_te_cogo_curve_intersections(&curve, &b, &list, nullptr), &list);
            TeBoundedArray poly = bounded(other);
            check_list(qd_te_cogo_curve_polyline_intersections(&curve, &poly, &list, nullptr), &list);
            break;
        }
        case 7: {
            const TeCircle c = {in.point(), in.number()};
            const TeArc arc = {in.point(), in.number(), in.number(), in.number()};
            check_list(qd_te_cogo_circle_curve_intersections(&curve, &c, &list, nullptr), &list);
            check_list(qd_te_cogo_arc_curve_intersections(&curve, &arc, &list, nullptr), &list);
            const GeoCoord a = in.point(), b = in.point();
            check_list(qd_te_cogo_segment_curve_intersections(&curve, &a, &b, &list, nullptr), &list);
            break;
        }
        case 8: {
            const GeoCoord c = in.point(), s = in.point(), e = in.point(), m = in.point();
            nlst* l = qd_te_cogo_stroke_ellipse_arc(&c, &s, &e, &m, in.number(), in.number(),
                                                    in.count(10000), in.byte() % 4, nullptr);
            if (l) nlst_free(l);
            break;
        }
        case 9: {
            auto dst = in.points(300);
            const int32_t n = int32_t(std::min(pts.size(), dst.size()));
            double sx = in.number(), sy = 0;
            TeAffine t;
            const int r = qd_te_cogo_fit_transform(3 + in.byte() % 4, in.byte() & 1, n, pts.data(),
                                                   dst.data(), &sx, &sy, &t);
            check(r == 1 || r == -1 || r == 0);
            break;
        }
        case 10: {
            double angle;
            TeNearestPoint near;
            const GeoCoord p = in.point();
            const int32_t k = int32_t(in.count(300)) - 2;
            int r = qd_te_cogo_curve_tangent_at(&curve, k, &angle, nullptr);
            check(r == -1 || r == 0 || r == -2 || r == -3);
            r = qd_te_cogo_curve_closest_point(&p, &curve, &near, nullptr);
            check(r == -1 || r == 0 || r == -2 || r == -3);
            break;
        }
        default: {
            TeCoordArray out = {nullptr, 0};
            int32_t* map = nullptr;
            if (qd_te_cogo_remove_duplicates(&curve, &out, &map, nullptr) == 1) {
                qd_free(out.pts);
                qd_free(map);
            }
            const TeCircle c1 = {in.point(), in.number()}, c2 = {in.point(), in.number()};
            GeoCoord two[2];
            const int r = qd_te_cogo_circle_intersection(&c1, &c2, two, nullptr);
            check(r == 0 || r == 1 || r == 2 || r == 5 || r == 6 || r == -2);
            TeArc arc;
            if (pts.size() >= 3) qd_te_cogo_arc_from_points(&pts[0], &pts[1], &pts[2], &arc, nullptr);
            break;
        }
    }
    return 0;
}
