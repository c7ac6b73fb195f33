// Axis-parallel ellipses (semi-axis a along x, b along y): the radius in a
// direction, the point-in-ellipse test, points toward a point, elliptical
// offsets of points and segments, and the stroking of a circular or
// elliptical arc, or a whole ellipse, into a coordinate list.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_cogo.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
// The first block of a stroke holds at most this many points; the list
// grows from there.
constexpr double kFirstBlock = 65536.0;

double angle_of(const GeoCoord* c, const GeoCoord* p) {
    return std::atan2(c->y - p->y, c->x - p->x) + kPi;
}

// [0, 2 pi).
double wrap(double t) {
    t = std::fmod(t, kTwoPi);
    if (t < 0.0) t += kTwoPi;
    return t >= kTwoPi ? 0.0 : t;
}

}  // namespace

double qd_te_cogo_ellipse_radius(const GeoCoord* centre, const GeoCoord* toward, double a,
                                 double b, const double* tol) {
    a = std::fabs(a);
    b = std::fabs(b);
    double ux, uy;
    if (qd_te_cogo_unit_direction(centre, toward, &ux, &uy, tol) != -1) return 0.0;
    return std::sqrt(a * a * b * b / (b * b * ux * ux + a * a * uy * uy));
}

int qd_te_cogo_point_in_ellipse(const GeoCoord* p, const GeoCoord* centre, double a, double b,
                                const double* tol_ptr) {
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    const double d = qd_te_cogo_distance_2d(p, centre);
    const double e = qd_te_cogo_ellipse_radius(centre, p, a, b, nullptr);
    return (d + tol > e && std::fabs(d + tol - e) > tol) ? 0 : 1;
}

GeoCoord* qd_te_cogo_ellipse_point_toward(const GeoCoord* p, const GeoCoord* centre,
                                          GeoCoord* out, double a, double b, const double* tol) {
    double ux, uy;
    if (qd_te_cogo_unit_direction(centre, p, &ux, &uy, tol) != -1) {
        *out = *p;
        return out;
    }
    *out = {centre->x + std::fabs(a) * ux, centre->y + std::fabs(b) * uy, p->z};
    return out;
}

int qd_te_cogo_ellipse_offset_point(const GeoCoord* p, const GeoCoord* q, double along_x,
                                    double along_y, double across_x, double across_y,
                                    GeoCoord* out, const double* tol) {
    const double t = qd_te_cogo_tolerance(tol);
    if (std::fabs(along_x) + std::fabs(across_x) < t ||
        std::fabs(along_y) + std::fabs(across_y) < t) {
        *out = *p;
        return -1;
    }
    double ux, uy;
    if (qd_te_cogo_unit_direction(p, q, &ux, &uy, tol) != -1) return 0;
    GeoCoord o = {p->x + along_x * ux + across_x * uy, p->y + along_y * uy - across_y * ux,
                  KTGEO_NO_Z};
    qd_te_cogo_ellipse_point_toward(&o, p, out, std::fabs(across_x), std::fabs(across_y),
                                    nullptr);
    return -1;
}

int qd_te_cogo_ellipse_offset_segment(const GeoCoord* seg, double across_x, double across_y,
                                      double along_x, double along_y, GeoCoord* out,
                                      const double* tol) {
    if (!seg || !out) return -2;
    const double t = qd_te_cogo_tolerance(tol);
    if (std::fabs(across_x) < t || std::fabs(across_y) < t) {
        out[0] = seg[0];
        out[1] = seg[1];
        return -1;
    }
    if (qd_te_same_fuzzy_point(&seg[0], &seg[1], t)) return -2;
    GeoCoord s, e;
    if (qd_te_cogo_ellipse_offset_point(&seg[0], &seg[1], -along_x, -along_y, across_x, across_y,
                                        &s, nullptr) != -1 ||
        qd_te_cogo_ellipse_offset_point(&seg[1], &seg[0], -along_x, -along_y, -across_x,
                                        -across_y, &e, nullptr) != -1)
        return -2;
    out[0] = s;
    out[1] = e;
    return -1;
}

nlst* qd_te_cogo_stroke_ellipse_arc(const GeoCoord* c, const GeoCoord* s, const GeoCoord* e,
                                    const GeoCoord* m, double a, double b, uint32_t count,
                                    int mode, const double* tol_ptr) {
    if (!c || !s || !e || !m) return nullptr;
    a = std::fabs(a);
    b = std::fabs(b);
    for (const GeoCoord* p : {c, s, e, m})
        if (!std::isfinite(p->x) || !std::isfinite(p->y)) return nullptr;
    if (!std::isfinite(a) || !std::isfinite(b)) return nullptr;
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    const double n = count < 3 ? 3.0 : double(count);
    const bool whole = qd_te_same_fuzzy_point(s, e, 1e-10) != 0;
    double start, step, sweep, k, steps;
    GeoCoord first;
    double z = KTGEO_NO_Z, dz = 0.0;
    const bool has_z = s->z != KTGEO_NO_Z && e->z != KTGEO_NO_Z;
    if (whole) {
        start = 0.0;
        step = -kTwoPi / n;
        sweep = kTwoPi;
        k = n;
        if (s->z > KTGEO_NO_Z && e->z > KTGEO_NO_Z) z = (s->z + e->z) / 2.0;
        first = {c->x + a, c->y, z};
    } else {
        const double ts = angle_of(c, s), te = angle_of(c, e);
        const double orient = (m->x - s->x) * (e->y - m->y) - (e->x - m->x) * (m->y - s->y);
        sweep = orient > 0.0 ? wrap(te - ts) : -wrap(ts - te);
        start = ts;
        const double r = std::max(a, b), span = std::fabs(sweep);
        if (mode == 0) {
            k = 2.0 * n;
            step = span / k;
            if (r * step > r / 8.0) {
                k = std::trunc(8.0 * span) + 1.0;
                step = span / k;
            }
        } else if (mode == 2) {
            k = std::trunc(n * span) + 1.0;
            step = kTwoPi / k;
            if (r * step > r / 12.0) {
                k = std::trunc(12.0 * k * step) + 1.0;
                step = kTwoPi / k;
            }
        } else {
            k = n;
            step = kTwoPi / n;
            if (r * step > r / 12.0) {
                k = std::trunc(12.0 * n * step) + 1.0;
                step = kTwoPi / k;
            }
        }
        if (span / step < 3.0) {
            step = span / 3.0;
            k = 3.0;
            steps = 3.0;
        } else {
            steps = span / step;
        }
        if (sweep < 0.0) step = -step;
        if (has_z) {
            z = s->z;
            dz = (e->z - s->z) / steps;
        }
        first = *s;
    }
    nlst* list = nlst_alloc(sizeof(GeoCoord), uint32_t(std::min(k + 2.0, kFirstBlock)), 1, nullptr);
    if (!list) return nullptr;
    nlst_set_inc(list, 1024);
    GeoCoord last = first;
    bool ok = nlst_add(list, &first) == 1;
    const double chord_x = e->x - s->x, chord_y = e->y - s->y;
    const int m_side = qd_te_cogo_sign(chord_x * (m->y - s->y) - chord_y * (m->x - s->x));
    const double span = std::fabs(sweep), abs_step = std::fabs(step);
    for (double i = 1.0; ok && abs_step > 0.0 && i * abs_step < span; i += 1.0) {
        const double angle = start + i * step;
        GeoCoord p;
        if (whole) {
            p = {c->x + a * std::cos(angle), c->y + b * std::sin(angle), z};
        } else {
            p.z = has_z ? z + i * dz : KTGEO_NO_Z;
            qd_te_cogo_ellipse_point(c, &p, angle, a, b);
            const int side = qd_te_cogo_sign(chord_x * (p.y - s->y) - chord_y * (p.x - s->x));
            if (side != 0 && side != m_side) continue;
        }
        if (qd_te_same_fuzzy_point(&p, &last, tol)) continue;
        ok = nlst_add(list, &p) == 1;
        last = p;
    }
    if (ok) {
        const GeoCoord end = whole ? first : *e;
        ok = qd_te_same_fuzzy_point(&end, &last, tol)
                 ? nlst_replace(list, &end, nlst_tally(list) - 1) == 1
                 : nlst_add(list, &end) == 1;
    }
    if (!ok) {
        nlst_free(list);
        return nullptr;
    }
    return list;
}
