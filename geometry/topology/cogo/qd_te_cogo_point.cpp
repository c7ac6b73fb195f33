// Point primitives of the engine's coordinate geometry: three-dimensional
// distance and equality, sign and collinearity, unit directions, points
// placed by offsets, angles or ellipse parameters, the turning angle at a
// vertex, Z carried onto points of segments and arcs, and a point order.
#include <cmath>

#include "geometry/qd_cogo.h"
#include "geometry/topology/qd_te_cogo.h"

namespace {

constexpr double kFine = 1e-10;
constexpr double kDegree = 0.017453292519943295;
constexpr double kRadian = 57.29577951308232;
constexpr double kTwoPi = 6.283185307179586;

bool no_z(const GeoCoord* p) { return p->z <= KTGEO_NO_Z; }

}  // namespace

double qd_te_cogo_distance_3d(const GeoCoord* a, const GeoCoord* b) {
    const double dx = a->x - b->x, dy = a->y - b->y, dz = a->z - b->z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

int qd_te_same_fuzzy_point_3d(const GeoCoord* a, const GeoCoord* b, double tol) {
    if (!a || !b || no_z(a) || no_z(b)) return qd_te_same_fuzzy_point(a, b, tol);
    const double far = 2 * (std::fmax(tol, kFine) + kFine);
    if (std::fabs(a->x - b->x) > far || std::fabs(a->y - b->y) > far || std::fabs(a->z - b->z) > far) return 0;
    const double d = qd_te_cogo_distance_3d(a, b);
    if (tol > kFine) return (d <= tol || std::fabs(d - tol) <= kFine) ? 1 : 0;
    return std::fabs(d - kFine) <= kFine ? 1 : 0;
}

int qd_te_cogo_sign(double value) { return value < 0.0 ? -1 : (value > 0.0 ? 1 : 0); }

double qd_te_cogo_tolerance_squared(const double* tol) {
    const double t = qd_te_cogo_tolerance(tol);
    return t * t;
}

int qd_te_cogo_collinear(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                         const double* tol) {
    const double cross = (b->y - a->y) * (c->x - a->x) - (b->x - a->x) * (c->y - a->y);
    return std::fabs(cross) < qd_te_cogo_tolerance_squared(tol) ? 1 : 0;
}

int qd_te_cogo_unit_direction(const GeoCoord* a, const GeoCoord* b, double* ux, double* uy,
                              const double* tol) {
    const double len = qd_te_cogo_distance_2d(a, b);
    if (!(qd_te_cogo_tolerance_squared(tol) <= len)) return 0;
    *ux = (b->x - a->x) / len;
    *uy = (b->y - a->y) / len;
    return -1;
}

int qd_te_cogo_offset_point(const GeoCoord* a, const GeoCoord* b, double along, double across,
                            GeoCoord* out, const double* tol) {
    if (std::fabs(along) + std::fabs(across) < qd_te_cogo_tolerance(tol)) {
        *out = *a;
        return -1;
    }
    double ux, uy;
    if (qd_te_cogo_unit_direction(a, b, &ux, &uy, tol) != -1) return 0;
    *out = {a->x + along * ux + across * uy, a->y + along * uy - across * ux, KTGEO_NO_Z};
    return -1;
}

void qd_te_cogo_polar_point(const GeoCoord* centre, double distance, double degrees,
                            GeoCoord* out, const double* tol) {
    if (std::fabs(distance) < qd_te_cogo_tolerance(tol)) {
        *out = *centre;
        return;
    }
    const double r = degrees * kDegree;
    *out = {centre->x + distance * std::cos(r), centre->y + distance * std::sin(r), KTGEO_NO_Z};
}

void qd_te_cogo_ellipse_point(const GeoCoord* centre, GeoCoord* out, double radians, double a,
                              double b) {
    const double angle = radians - std::trunc(radians / kTwoPi) * kTwoPi;
    const double m = std::fmax(a, b);
    const double h = m * std::cos(angle), v = m * std::sin(angle);
    if (a >= b) {
        const double r = (a * a * b * b - b * b * h * h) / (a * a);
        double s = r <= 0.0 ? 0.0 : std::sqrt(r);
        if (v < 0.0) s = -s;
        out->x = centre->x + h;
        out->y = centre->y + s;
    } else {
        const double r = (a * a * b * b - a * a * v * v) / (b * b);
        double s = r <= 0.0 ? 0.0 : std::sqrt(r);
        if (h < 0.0) s = -s;
        out->y = centre->y + v;
        out->x = centre->x + s;
    }
}

int qd_te_cogo_vertex_angle(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                            double* degrees, const double* tol) {
    const double t = qd_te_cogo_tolerance(tol);
    if (qd_te_same_fuzzy_point(a, b, t) || qd_te_same_fuzzy_point(c, b, t)) return -2;
    const double ux = b->x - a->x, uy = b->y - a->y;
    const double vx = c->x - b->x, vy = c->y - b->y;
    double out = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy) * kRadian + 180.0;
    if (out >= 360.0) out -= std::trunc(out / 360.0) * 360.0;
    *degrees = out;
    return -1;
}

void qd_te_cogo_interpolate_z(const GeoCoord* a, const GeoCoord* b, GeoCoord* p) {
    if (!a || !b || !p) return;
    if (no_z(a) || no_z(b)) {
        p->z = KTGEO_NO_Z;
    } else if (a->z == b->z || qd_te_same_fuzzy_point(p, a, kFine)) {
        p->z = a->z;
    } else if (qd_te_same_fuzzy_point(p, b, kFine)) {
        p->z = b->z;
    } else {
        const double da = qd_te_cogo_distance_2d(p, a), db = qd_te_cogo_distance_2d(p, b);
        p->z = a->z + (b->z - a->z) * da / (db + da);
    }
}

void qd_te_cogo_interpolate_z_pair(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                                   const GeoCoord* d, GeoCoord* p) {
    if (!a || !b || !c || !d || !p) return;
    GeoCoord q = *p;
    qd_te_cogo_interpolate_z(a, b, &q);
    const double z1 = q.z;
    qd_te_cogo_interpolate_z(c, d, &q);
    const double z2 = q.z;
    if (z1 == z2) p->z = z1;
    else if (z1 <= KTGEO_NO_Z && z2 != KTGEO_NO_Z) p->z = z2;
    else if (z1 != KTGEO_NO_Z && z2 <= KTGEO_NO_Z) p->z = z1;
    else p->z = (z1 + z2) / 2.0;
}

void qd_te_cogo_interpolate_z_arc3(const TeArc3* arc, GeoCoord* p) {
    if (!arc || !p) return;
    if (arc->start.z == arc->mid.z && arc->mid.z == arc->end.z) {
        p->z = arc->start.z;
    } else if (no_z(&arc->start) || no_z(&arc->end)) {
        p->z = KTGEO_NO_Z;
    } else if (no_z(&arc->mid)) {
        qd_te_cogo_interpolate_z(&arc->start, &arc->end, p);
    } else if (qd_te_cogo_distance_2d(p, &arc->end) < qd_te_cogo_distance_2d(p, &arc->start)) {
        qd_te_cogo_interpolate_z(&arc->mid, &arc->end, p);
    } else {
        qd_te_cogo_interpolate_z(&arc->start, &arc->mid, p);
    }
}

int qd_te_cogo_point_ref_order(const void* a, const void* b) {
    const GeoCoord* p = static_cast<const TePointRef*>(a)->point;
    const GeoCoord* q = static_cast<const TePointRef*>(b)->point;
    if (qd_te_same_fuzzy_point(p, q, QD_TE_DEFAULT_TOLERANCE)) return 0;
    if (const int c = qd_cogo_compare(p->x, q->x)) return c;
    return qd_cogo_compare(p->y, q->y);
}
