// Circles and circular arcs: the arc and the circle through three points,
// point-on-arc tests, envelopes, arc length, projection onto a circle, the
// concentric offset of a three-point arc and its two middle points. Stored
// arcs run counter-clockwise from start to end, angles in degrees in
// [0, 360).
#include <cmath>

#include "geometry/qd_cogo.h"
#include "geometry/topology/qd_te_cogo.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kRadian = 57.29577951308232;
constexpr double kDegree = 0.017453292519943295;

double reduce_360(double t) { return t - std::trunc(t / 360.0) * 360.0; }

// [0, 360); a non-finite angle stays as it is.
double normalize_360(double t) {
    if (!std::isfinite(t)) return t;
    t = std::fmod(t, 360.0);
    if (t < 0.0) t += 360.0;
    return t >= 360.0 ? 0.0 : t;
}

// Twice the signed area of a, b, c: positive counter-clockwise.
double orientation(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c) {
    return (b->x - a->x) * (c->y - b->y) - (b->y - a->y) * (c->x - b->x);
}

// Steps 1 and 2 of the arc construction; false for collinear points.
bool circle_through(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c, TeCircle* circle,
                    const double* tol) {
    const double d = (b->y - a->y) * (c->x - a->x) - (b->x - a->x) * (c->y - a->y);
    if (!(std::fabs(d) >= qd_te_cogo_tolerance_squared(tol))) return false;
    const double f = (c->x - a->x) * (c->x - a->x) + (c->y - a->y) * (c->y - a->y);
    const double g = (b->x - a->x) * (b->x - a->x) + (b->y - a->y) * (b->y - a->y);
    const double h = 0.5 / d;
    circle->centre = {((b->y - a->y) * f - (c->y - a->y) * g) * h + a->x,
                      ((c->x - a->x) * g - (b->x - a->x) * f) * h + a->y, KTGEO_NO_Z};
    circle->radius = qd_te_cogo_distance_2d(a, &circle->centre);
    return true;
}

}  // namespace

double qd_te_cogo_point_angle(const GeoCoord* c, const GeoCoord* p) {
    return (std::atan2(c->y - p->y, c->x - p->x) + kPi) * kRadian;
}

int qd_te_cogo_arc_from_points(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                               TeArc* arc, const double* tol) {
    TeCircle circle;
    if (!circle_through(a, b, c, &circle, tol)) return 0;
    arc->centre = circle.centre;
    arc->radius = circle.radius;
    const double o = orientation(a, b, c);
    if (o > 1e-16) {
        arc->start = qd_te_cogo_point_angle(&arc->centre, a);
        arc->end = qd_te_cogo_point_angle(&arc->centre, c);
    } else if (o < -1e-16) {
        arc->start = qd_te_cogo_point_angle(&arc->centre, c);
        arc->end = qd_te_cogo_point_angle(&arc->centre, a);
    } else {
        return 0;
    }
    arc->start = reduce_360(arc->start);
    arc->end = reduce_360(arc->end);
    return -1;
}

int qd_te_cogo_circle_from_points(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                                  TeCircle* circle, const double* tol) {
    return circle_through(a, b, c, circle, tol) ? -1 : 0;
}

// On the circle within the tolerance, and within the sweep or within the
// tolerance of an end; an angle of 360 counts as 0.
int qd_te_cogo_point_on_arc(const TeArc* arc, const GeoCoord* p, const double* tol_ptr) {
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    const double d = qd_te_cogo_distance_2d(&arc->centre, p);
    if (!(std::fabs(d - arc->radius) <= tol)) return 0;
    GeoCoord end;
    qd_te_cogo_polar_point(&arc->centre, arc->radius, arc->start, &end, nullptr);
    if (qd_te_same_fuzzy_point(p, &end, tol)) return 1;
    qd_te_cogo_polar_point(&arc->centre, arc->radius, arc->end, &end, nullptr);
    if (qd_te_same_fuzzy_point(p, &end, tol)) return 1;
    double sweep = arc->end - arc->start;
    if (sweep < 0.0) sweep += 360.0;
    double q = reduce_360(qd_te_cogo_point_angle(&arc->centre, p)) - arc->start;
    if (q < 0.0) q += 360.0;
    return (q >= 0.0 && q <= sweep) ? 1 : 0;
}

int qd_te_cogo_point_on_arc3(const TeArc3* arc, const GeoCoord* p, const double* tol_ptr) {
    TeCircle circle;
    if (!circle_through(&arc->start, &arc->mid, &arc->end, &circle, tol_ptr)) return 0;
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    if (qd_te_same_fuzzy_point(p, &arc->start, tol) || qd_te_same_fuzzy_point(p, &arc->mid, tol) ||
        qd_te_same_fuzzy_point(p, &arc->end, tol))
        return 1;
    if (!(std::fabs(qd_te_cogo_distance_2d(p, &circle.centre) - circle.radius) < tol)) return 0;
    const GeoCoord &s = arc->start, &m = arc->mid, &e = arc->end;
    const int s1 = qd_te_cogo_sign((s.x - m.x) * (e.y - m.y) - (e.x - m.x) * (s.y - m.y));
    const int s2 = qd_te_cogo_sign((s.x - p->x) * (e.y - p->y) - (e.x - p->x) * (s.y - p->y));
    return (s2 == 0 || s2 == s1) ? 1 : 0;
}

int qd_te_cogo_circle_envelope(const TeCircle* circle, GeoCoord* out, const double* tol) {
    if (!(circle->radius >= qd_te_cogo_tolerance(tol))) return -2;
    const GeoCoord& c = circle->centre;
    out[0] = {c.x - circle->radius, c.y - circle->radius, KTGEO_NO_Z};
    out[1] = {c.x + circle->radius, c.y + circle->radius, KTGEO_NO_Z};
    return -1;
}

int qd_te_cogo_arc_envelope(const TeArc* arc, GeoCoord* out, const double* tol) {
    const double s = normalize_360(arc->start), e = normalize_360(arc->end);
    if (!(arc->radius >= qd_te_cogo_tolerance(tol)) || !std::isfinite(s) || !std::isfinite(e))
        return -2;
    auto quadrant = [](double t) { return t <= 90.0 ? 1 : t <= 180.0 ? 2 : t <= 270.0 ? 3 : 4; };
    const int qs = quadrant(s), qe = quadrant(e);
    const TeCircle circle = {arc->centre, arc->radius};
    if (qs == qe && s >= e) return qd_te_cogo_circle_envelope(&circle, out, tol);
    GeoCoord a, b;
    qd_te_cogo_polar_point(&arc->centre, arc->radius, s, &a, tol);
    qd_te_cogo_polar_point(&arc->centre, arc->radius, e, &b, tol);
    qd_te_cogo_segment_envelope(&a, &b, out);
    const GeoCoord& c = arc->centre;
    for (int q = qs; q != qe; q = q % 4 + 1) {
        switch (q) {
            case 1: out[1].y = c.y + arc->radius; break;
            case 2: out[0].x = c.x - arc->radius; break;
            case 3: out[0].y = c.y - arc->radius; break;
            default: out[1].x = c.x + arc->radius; break;
        }
    }
    return -1;
}

int qd_te_cogo_arc3_envelope(const TeArc3* arc3, GeoCoord* out, const double* tol) {
    TeArc arc;
    const int made = qd_te_cogo_arc_from_points(&arc3->start, &arc3->mid, &arc3->end, &arc, tol);
    if (made != -1) return made;
    return qd_te_cogo_arc_envelope(&arc, out, tol);
}

int qd_te_cogo_arc_length(const TeArc* arc, double* out, const double* tol) {
    if (!(arc->radius >= qd_te_cogo_tolerance(tol))) return -2;
    double d = reduce_360(arc->end - arc->start);
    if (d < 0.0) d += 360.0;
    *out = arc->radius * d * kDegree;
    return -1;
}

int qd_te_cogo_project_to_circle(const TeCircle* circle, const GeoCoord* p, GeoCoord* out,
                                 const double* tol) {
    if (!(circle->radius >= qd_te_cogo_tolerance(tol))) return -2;
    double ux, uy;
    if (qd_te_cogo_unit_direction(&circle->centre, p, &ux, &uy, tol) != -1) return 0;
    *out = {circle->centre.x + circle->radius * ux, circle->centre.y + circle->radius * uy,
            KTGEO_NO_Z};
    if (qd_te_same_fuzzy_point(out, p, qd_te_cogo_tolerance(tol))) *out = *p;
    return -1;
}

int qd_te_cogo_offset_arc3(const GeoCoord* pts, double distance, GeoCoord* out,
                           const double* tol) {
    if (!pts || !out) return -2;
    const double t = qd_te_cogo_tolerance(tol);
    if (!(std::fabs(distance) >= t) || qd_te_same_fuzzy_point(&pts[0], &pts[2], t)) return -2;
    GeoCoord c;
    double r;
    if (!qd_cogo_circle_centre(&pts[0], &pts[1], &pts[2], &c, &r)) return 0;
    int result = -1;
    for (int i = 0; i < 3; ++i) {
        const GeoCoord& p = pts[i];
        double ux, uy;
        if (qd_te_cogo_unit_direction(&p, &c, &ux, &uy, tol) != -1) {
            result = 0;
            continue;
        }
        const double k = distance + r;
        GeoCoord q = {c.x + k * ux, c.y + k * uy, p.z};
        if (!(qd_te_cogo_distance_2d(&q, &p) <= r)) q = {c.x - k * ux, c.y - k * uy, p.z};
        out[i] = q;
    }
    return result;
}

int qd_te_cogo_arc3_middle_points(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                                  GeoCoord* out1, GeoCoord* out2, const double* tol) {
    TeArc arc;
    if (qd_te_cogo_arc_from_points(a, b, c, &arc, tol) != -1) return 0;
    const double beta = std::atan2(arc.centre.y - b->y, arc.centre.x - b->x) + kPi;
    const double sigma = arc.start * kDegree, eps = arc.end * kDegree;
    double d1 = beta - sigma;
    if (d1 < 0.0) d1 += 2.0 * kPi;
    double d2 = eps - beta;
    if (d2 < 0.0) d2 += 2.0 * kPi;
    const double m1 = beta - d1 / 2.0, m2 = beta + d2 / 2.0;
    const bool ccw = orientation(a, b, c) > 0.0;
    auto place = [&](double angle, GeoCoord* out) {
        *out = {arc.centre.x + arc.radius * std::cos(angle),
                arc.centre.y + arc.radius * std::sin(angle), KTGEO_NO_Z};
    };
    place(ccw ? m1 : m2, out1);
    place(ccw ? m2 : m1, out2);
    return -1;
}
