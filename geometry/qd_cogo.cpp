// Coordinate geometry on GeoCoord values and coordinate lists.
#include "geometry/qd_cogo.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"

namespace {

constexpr double kSame = 1e-20;  // squared distance, cross products, parameters
constexpr double kNear = 1e-10;  // point in ring, tangent points

const GeoCoord* coords_of(const nlst* list) { return static_cast<const GeoCoord*>(list->data); }
GeoCoord* coords_of(nlst* list) { return static_cast<GeoCoord*>(list->data); }

nlst* new_coord_list(uint32_t capacity, uint32_t inc) {
    return nlst_alloc(sizeof(GeoCoord), capacity, inc, nullptr);
}

}  // namespace

int qd_cogo_compare(double a, double b) {
    const bool a_nan = std::isnan(a), b_nan = std::isnan(b);
    if (a_nan || b_nan) return int(a_nan) - int(b_nan);
    return a < b ? -1 : (a > b ? 1 : 0);
}

int qd_cogo_same_point(const GeoCoord* a, const GeoCoord* b) {
    const double dx = a->x - b->x, dy = a->y - b->y;
    double d2 = dx * dx + dy * dy;
    if (ktgeo_has_z(*a) && ktgeo_has_z(*b)) {
        const double dz = a->z - b->z;
        d2 += dz * dz;
    }
    return d2 < kSame ? 1 : 0;
}

int qd_cogo_same_point_2d(const GeoCoord* a, const GeoCoord* b) {
    const double dx = a->x - b->x, dy = a->y - b->y;
    return dx * dx + dy * dy < kSame ? 1 : 0;
}

double qd_cogo_distance_2d(const GeoCoord* a, const GeoCoord* b) {
    return std::hypot(a->x - b->x, a->y - b->y);
}

double qd_cogo_distance_3d(const GeoCoord* a, const GeoCoord* b) {
    const double dx = a->x - b->x, dy = a->y - b->y, dz = a->z - b->z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

namespace {

double point_segment_distance(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b, bool space) {
    const double dx = b->x - a->x, dy = b->y - a->y, dz = space ? b->z - a->z : 0.0;
    const double len2 = dx * dx + dy * dy + dz * dz;
    double t = 0.0;
    if (len2 >= kSame) {
        t = ((p->x - a->x) * dx + (p->y - a->y) * dy + (space ? (p->z - a->z) * dz : 0.0)) / len2;
        t = std::clamp(t, 0.0, 1.0);
    }
    const double ex = a->x + t * dx - p->x, ey = a->y + t * dy - p->y;
    const double ez = space ? a->z + t * dz - p->z : 0.0;
    return std::sqrt(ex * ex + ey * ey + ez * ez);
}

// The trapezoid sum over the edges of a coordinate array.
double trapezoid_sum(const GeoCoord* c, uint32_t n) {
    double sum = 0.0;
    for (uint32_t i = 1; i < n; ++i)
        sum += (c[i].x - c[i - 1].x) * ((c[i].y - c[0].y) + (c[i - 1].y - c[0].y));
    return sum;
}

}  // namespace

double qd_cogo_point_segment_distance_2d(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b) {
    return point_segment_distance(p, a, b, false);
}

double qd_cogo_point_segment_distance_3d(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b) {
    return point_segment_distance(p, a, b, true);
}

int qd_cogo_poly_area(const nlst* ring, double* area) {
    if (!ring || ring->tally <= 3) {
        QD_FAIL("UKT_1", "function%s", "qd_cogo_poly_area", "param%s", "lst", nullptr);
        return 0;
    }
    const GeoCoord* c = coords_of(ring);
    if (!qd_cogo_same_point(&c[0], &c[ring->tally - 1])) return 0;
    if (area) *area = std::fabs(trapezoid_sum(c, ring->tally)) / 2.0;
    return 1;
}

int qd_cogo_is_clockwise(const nlst* ring) {
    if (!ring || ring->tally == 0) return 1;
    return trapezoid_sum(coords_of(ring), ring->tally) >= 0.0 ? 1 : 0;
}

int qd_cogo_reverse(nlst* list) {
    if (!list || list->tally < 2) return 1;
    GeoCoord* c = coords_of(list);
    std::reverse(c, c + list->tally);
    return 1;
}

int qd_cogo_envelope(GeoCoord* min, GeoCoord* max, const GeoCoord* coords, uint32_t count) {
    if (count == 0 || !coords) return 1;
    *min = *max = coords[0];
    for (uint32_t i = 1; i < count; ++i) {
        const GeoCoord& c = coords[i];
        if (c.x < min->x) min->x = c.x; else if (c.x > max->x) max->x = c.x;
        if (c.y < min->y) min->y = c.y; else if (c.y > max->y) max->y = c.y;
        if (c.z < min->z) min->z = c.z; else if (c.z > max->z) max->z = c.z;
    }
    return 1;
}

int qd_cogo_envelope_intersect(const GeoCoord* min1, const GeoCoord* max1, const GeoCoord* min2,
                               const GeoCoord* max2, GeoCoord* out_min, GeoCoord* out_max) {
    if (min1->x > max2->x || min2->x > max1->x || min1->y > max2->y || min2->y > max1->y)
        return 0;
    out_min->x = std::max(min1->x, min2->x);
    out_min->y = std::max(min1->y, min2->y);
    out_max->x = std::min(max1->x, max2->x);
    out_max->y = std::min(max1->y, max2->y);
    if (ktgeo_has_z(*min1) && ktgeo_has_z(*max1) && ktgeo_has_z(*min2) && ktgeo_has_z(*max2)) {
        out_min->z = std::max(min1->z, min2->z);
        out_max->z = std::min(max1->z, max2->z);
    } else {
        out_min->z = out_max->z = KTGEO_NO_Z;
    }
    return 1;
}

int qd_cogo_outcode(const GeoCoord* p, const GeoCoord* min, const GeoCoord* max) {
    int code = 0;
    if (p->y > max->y) code |= 1;
    if (p->y < min->y) code |= 2;
    if (p->x > max->x) code |= 4;
    if (p->x < min->x) code |= 8;
    return code;
}

namespace {

// Steps 1 to 4 of the segment intersection; `at_end` tells whether the
// meeting point was replaced by one of the nearer end points.
int intersect(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c, const GeoCoord* d,
              GeoCoord* out, bool* at_end) {
    const double det = (d->x - c->x) * (b->y - a->y) - (d->y - c->y) * (b->x - a->x);
    if (!(std::fabs(det) >= kSame)) return 0;
    const double ex = c->x - a->x, ey = c->y - a->y;
    double t = ((d->x - c->x) * ey - (d->y - c->y) * ex) / det;
    double u = ((b->x - a->x) * ey - (b->y - a->y) * ex) / det;
    auto clamp_param = [](double& v) {
        if (v < 0.0 && v > -kSame) v = 0.0;
        if (v > 1.0 && v < 1.0 + kSame) v = 1.0;
        return v >= 0.0 && v <= 1.0;
    };
    if (!clamp_param(t) || !clamp_param(u)) return 0;
    GeoCoord p = {a->x + t * (b->x - a->x), a->y + t * (b->y - a->y), KTGEO_NO_Z};
    const GeoCoord* end_ab = t < 0.5 ? a : b;
    const GeoCoord* end_cd = u < 0.5 ? c : d;
    *at_end = true;
    if (qd_cogo_same_point(&p, end_ab))
        p = *end_ab;
    else if (qd_cogo_same_point(&p, end_cd))
        p = *end_cd;
    else
        *at_end = false;
    if (out) *out = p;
    return 1;
}

}  // namespace

int qd_cogo_segment_intersection(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                                 const GeoCoord* d, GeoCoord* out) {
    bool at_end = false;
    return intersect(a, b, c, d, out, &at_end);
}

int qd_cogo_segment_cross(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                          const GeoCoord* d, GeoCoord* out) {
    bool at_end = false;
    GeoCoord p;
    if (!intersect(a, b, c, d, &p, &at_end) || at_end) return 0;
    if (out) *out = p;
    return 1;
}

int qd_cogo_point_in_ring(const GeoCoord* p, const nlst* ring) {
    if (!p || !ring || ring->tally < 4) return 0;
    const GeoCoord* v = coords_of(ring);
    const uint32_t n = ring->tally;
    if (v[0].x != v[n - 1].x || v[0].y != v[n - 1].y) return 0;
    // One pass. A vertex within the tolerance of p lies in the band
    // |y| <= 1e-10, so the edge it starts is never skipped and its vertex
    // test runs there; every answer given inside the loop is "inside", so
    // testing vertices edge by edge answers as a separate first pass would.
    unsigned left = 0, right = 0;
    const double px = p->x, py = p->y;
    double yi = v[0].y - py;
    for (uint32_t i = 0; i + 1 < n; ++i) {
        const double yj = v[i + 1].y - py;
        if ((yi > kNear && yj > kNear) || (yi < -kNear && yj < -kNear)) {
            yi = yj;
            continue;
        }
        const double xi = v[i].x - px, xj = v[i + 1].x - px;
        if (std::fabs(xi) <= kNear && std::fabs(yi) <= kNear) return 1;
        const bool crossing = (yi > 0.0 && yj <= 0.0) || (yi <= 0.0 && yj > 0.0);
        if (xi <= -kNear && xj <= -kNear) {
            left += crossing;
        } else if (xi >= kNear && xj >= kNear) {
            right += crossing;
        } else if ((std::fabs(xi) <= kNear && std::fabs(xj) <= kNear) ||
                   (std::fabs(yi) <= kNear && std::fabs(yj) <= kNear)) {
            return 1;
        } else {
            if ((xi < 0.0 && xj > 0.0) || (xi > 0.0 && xj < 0.0)) {
                const double y0 = yi + (0.0 - xi) * (yj - yi) / (xj - xi);
                if (std::fabs(y0) <= kNear) return 1;
            }
            if (crossing) {
                const double x0 = xi + (0.0 - yi) * (xj - xi) / (yj - yi);
                if (x0 < -kNear) ++left;
                else if (x0 > kNear) ++right;
                else return 1;
            }
        }
        yi = yj;
    }
    return (left % 2 == 1 && right % 2 == 1) ? 1 : 0;
}

int qd_cogo_circle_centre(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                          GeoCoord* centre, double* radius) {
    if (qd_cogo_same_point(a, c)) {
        if (centre) *centre = *b;
        if (radius) *radius = qd_cogo_distance_2d(b, a);
        return 1;
    }
    const double d1x = b->x - a->x, d1y = b->y - a->y;
    const double d2x = c->x - a->x, d2y = c->y - a->y;
    const double cross = d1y * d2x - d1x * d2y;
    if (!(std::fabs(cross) >= kSame)) return 0;
    const double l1 = d1x * d1x + d1y * d1y, l2 = d2x * d2x + d2y * d2y;
    const GeoCoord m = {a->x + (d1y * l2 - d2y * l1) / (2.0 * cross),
                        a->y + (d2x * l1 - d1x * l2) / (2.0 * cross), KTGEO_NO_Z};
    if (centre) *centre = m;
    if (radius) *radius = qd_cogo_distance_2d(&m, a);
    return 1;
}

void qd_cogo_turn_point(const GeoCoord* base, const GeoCoord* other, double phi, GeoCoord* out) {
    const double theta = std::atan2(other->y - base->y, other->x - base->x);
    const double len = qd_cogo_distance_2d(base, other);
    const double dir = 2.0 * phi + M_PI - theta;
    out->x = base->x + len * std::cos(dir);
    out->y = base->y + len * std::sin(dir);
    out->z = (ktgeo_has_z(*base) && ktgeo_has_z(*other)) ? (base->z + other->z) / 2.0 : KTGEO_NO_Z;
}

// ------------------------------------------------------------------ arcs

namespace {

// Appends p, or replaces the last point when it is the same point as p.
bool add_or_replace_last(nlst* list, const GeoCoord& p) {
    if (list->tally > 0 && qd_cogo_same_point(&coords_of(list)[list->tally - 1], &p)) {
        coords_of(list)[list->tally - 1] = p;
        return true;
    }
    return nlst_add(list, &p) == 1;
}

double angle_in_0_2pi(const GeoCoord& p, const GeoCoord& centre) {
    double a = std::atan2(p.y - centre.y, p.x - centre.x);
    if (a <= 0.0) a += 2.0 * M_PI;
    return a;
}

double into_0_2pi(double a) {
    a = std::fmod(a, 2.0 * M_PI);
    if (a < 0.0) a += 2.0 * M_PI;
    if (a >= 2.0 * M_PI) a = 0.0;
    return a;
}

}  // namespace

nlst* qd_cogo_stroke_arc(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c, int n) {
    if (!a || !b || !c) return nullptr;
    if (n < 4) n = 4;
    const double base_step = M_PI / (n - 2);
    const bool full = qd_cogo_same_point(a, c) == 1;
    GeoCoord centre;
    double radius = 0.0, start_angle = 0.0, sweep = 0.0, step = 0.0, mid_angle = 0.0;
    double z = KTGEO_NO_Z, dz = 0.0;
    GeoCoord first;
    if (full) {
        centre = *b;
        radius = qd_cogo_distance_2d(b, a);
        sweep = -2.0 * M_PI;
        step = -base_step;
        z = b->z;
        first = {centre.x + radius, centre.y, b->z};
    } else {
        if (!qd_cogo_circle_centre(a, b, c, &centre, &radius)) {
            nlst* list = new_coord_list(3, 16);
            if (!list) return nullptr;
            if (!nlst_add(list, a) || !nlst_add(list, b) || !nlst_add(list, c)) {
                nlst_free(list);
                return nullptr;
            }
            return list;
        }
        start_angle = angle_in_0_2pi(*a, centre);
        const double angle_b = angle_in_0_2pi(*b, centre);
        const double angle_c = angle_in_0_2pi(*c, centre);
        const double turn = (c->y - b->y) * (b->x - a->x) - (c->x - b->x) * (b->y - a->y);
        const bool ccw = turn > 0.0;
        sweep = ccw ? into_0_2pi(angle_c - start_angle) : -into_0_2pi(start_angle - angle_c);
        double count;
        if (std::fabs(sweep) / base_step < 2.0) {
            step = std::fabs(sweep) / 2.0;
            count = 2.0;
        } else {
            step = base_step;
            count = std::fabs(sweep) / base_step;
        }
        if (sweep < 0.0) step = -step;
        if (ktgeo_has_z(*a) && ktgeo_has_z(*c)) {
            z = a->z;
            dz = (c->z - a->z) / count;
        }
        mid_angle = angle_b;
        if (ccw && mid_angle < start_angle) mid_angle += 2.0 * M_PI;
        if (!ccw && mid_angle > start_angle) mid_angle -= 2.0 * M_PI;
        first = *a;
    }
    nlst* list = new_coord_list(static_cast<uint32_t>(n), 16);
    if (!list) return nullptr;
    bool ok = nlst_add(list, &first) == 1;
    bool passed_mid = full;
    const double abs_step = std::fabs(step);
    for (int k = 1; ok && abs_step > 0.0 && k * abs_step <= std::fabs(sweep); ++k) {
        const double angle = start_angle + k * step;
        z += dz;
        if (!passed_mid && (step > 0.0 ? angle >= mid_angle : angle <= mid_angle)) {
            passed_mid = true;
            GeoCoord* last = &coords_of(list)[list->tally - 1];
            if (list->tally >= 2 && qd_cogo_same_point(last, b))
                *last = *b;
            else
                ok = nlst_add(list, b) == 1;
        }
        const GeoCoord p = {centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle),
                            z};
        if (ok && !qd_cogo_same_point(&coords_of(list)[list->tally - 1], &p))
            ok = nlst_add(list, &p) == 1;
    }
    if (ok) ok = add_or_replace_last(list, full ? first : *c);
    if (!ok) {
        nlst_free(list);
        return nullptr;
    }
    return list;
}

// --------------------------------------------------------------- splines
//
// Cline's parametric spline under tension, parametrised by cumulative chord
// length. On a span of length h with tension sigma, each of x and y is
//   f(t) = y1 (h - t)/h + y2 t/h + q1 [S(sigma (h - t)) - (h - t)/h]
//                                 + q2 [S(sigma t) - t/h],
// S(a) = sinh(a) / sinh(sigma h), where q = f'' / sigma^2 at the knots comes
// from the tridiagonal system that makes f' continuous.

namespace {

// sinh(a)/sinh(b) - a/b for 0 <= a <= b, without cancellation for small b
// and without overflow for large b.
double sinh_ratio_excess(double a, double b) {
    if (b <= 0.0) return 0.0;
    if (b < 0.01) {
        const double a2 = a * a, b2 = b * b;
        const double num = (a2 - b2) / 6.0 + (a2 * a2 - b2 * b2) / 120.0 +
                           (a2 * a2 * a2 - b2 * b2 * b2) / 5040.0;
        const double den = 1.0 + b2 / 6.0 + b2 * b2 / 120.0 + b2 * b2 * b2 / 5040.0;
        return (a / b) * num / den;
    }
    double ratio;
    if (b > 20.0)
        ratio = std::exp(a - b) * (1.0 - std::exp(-2.0 * a)) / (1.0 - std::exp(-2.0 * b));
    else
        ratio = std::sinh(a) / std::sinh(b);
    return ratio - a / b;
}

// Coefficients of one span (scaled by h): diag = x coth x - 1, off = 1 - x / sinh x.
void span_coefficients(double x, double h, double* diag, double* off) {
    if (x < 0.01) {
        const double x2 = x * x;
        *diag = x2 / 3.0 - x2 * x2 / 45.0 + 2.0 * x2 * x2 * x2 / 945.0;
        *off = x2 / 6.0 - 7.0 * x2 * x2 / 360.0 + 31.0 * x2 * x2 * x2 / 15120.0;
    } else {
        *diag = x / std::tanh(x) - 1.0;
        *off = x > 700.0 ? 1.0 : 1.0 - x / std::sinh(x);
    }
    *diag /= h;
    *off /= h;
}

// Solves a tridiagonal system in place (lower a, diagonal b, upper c, right
// side r; the result goes to r). The systems here are diagonally dominant.
void solve_tridiagonal(const double* a, double* b, const double* c, double* r, uint32_t m) {
    for (uint32_t i = 1; i < m; ++i) {
        const double w = a[i] / b[i - 1];
        b[i] -= w * c[i - 1];
        r[i] -= w * r[i - 1];
    }
    r[m - 1] /= b[m - 1];
    for (uint32_t i = m - 1; i-- > 0;) r[i] = (r[i] - c[i] * r[i + 1]) / b[i];
}

// Solves the periodic system (a[0] couples row 0 with row m - 1, c[m - 1]
// row m - 1 with row 0) for two right sides at once.
void solve_periodic(const double* a, const double* b, const double* c, double* rx, double* ry,
                    uint32_t m, double* work) {
    if (m == 2) {
        // Both neighbours of each knot are the other knot.
        const double off0 = a[0] + c[0], off1 = a[1] + c[1];
        const double det = b[0] * b[1] - off0 * off1;
        for (double* r : {rx, ry}) {
            const double r0 = r[0], r1 = r[1];
            r[0] = (r0 * b[1] - off0 * r1) / det;
            r[1] = (b[0] * r1 - off1 * r0) / det;
        }
        return;
    }
    // Sherman-Morrison: A = T + u v^T with u = (gamma, 0.., c[m-1]),
    // v = (1, 0.., a[0] / gamma).
    double* bb = work;
    double* u = work + m;
    double* lo = work + 2 * m;
    double* up = work + 3 * m;
    const double gamma = -b[0];
    for (uint32_t i = 0; i < m; ++i) {
        bb[i] = b[i];
        lo[i] = a[i];
        up[i] = c[i];
        u[i] = 0.0;
    }
    bb[0] -= gamma;
    bb[m - 1] -= a[0] * c[m - 1] / gamma;
    u[0] = gamma;
    u[m - 1] = c[m - 1];
    double* bz = work + 4 * m;
    std::memcpy(bz, bb, m * sizeof(double));
    solve_tridiagonal(lo, bz, up, u, m);
    const double vz = u[0] + a[0] / gamma * u[m - 1];
    for (double* r : {rx, ry}) {
        std::memcpy(bz, bb, m * sizeof(double));
        solve_tridiagonal(lo, bz, up, r, m);
        const double vy = r[0] + a[0] / gamma * r[m - 1];
        const double f = vy / (1.0 + vz);
        for (uint32_t i = 0; i < m; ++i) r[i] -= f * u[i];
    }
}

// The end slope (an angle) estimated from three points and their chords.
double three_point_slope(const GeoCoord& p1, const GeoCoord& p2, const GeoCoord& p3, double h1,
                         double h2) {
    const double w1 = -(2.0 * h1 + h2) / (h1 * (h1 + h2));
    const double w2 = (h1 + h2) / (h1 * h2);
    const double w3 = -h1 / (h2 * (h1 + h2));
    return std::atan2(w1 * p1.y + w2 * p2.y + w3 * p3.y, w1 * p1.x + w2 * p2.x + w3 * p3.x);
}

double tangent_angle(const GeoCoord& tangent, const GeoCoord& end) {
    const double dx = tangent.x - end.x, dy = tangent.y - end.y;
    if (ktgeo_coord_is_unset(tangent) || (std::fabs(dx) <= kNear && std::fabs(dy) <= kNear))
        return 0.0;
    return std::atan2(dy, dx);
}

// Frees a block of doubles from qd_alloc when the scope ends.
struct DoubleBlock {
    explicit DoubleBlock(size_t n) : p(static_cast<double*>(qd_alloc(n * sizeof(double)))) {}
    ~DoubleBlock() { qd_free(p); }
    DoubleBlock(const DoubleBlock&) = delete;
    DoubleBlock& operator=(const DoubleBlock&) = delete;
    double* p;
};

}  // namespace

int qd_cogo_spline_points(const GeoCoord* input, uint32_t n, const GeoTangents* tangents, int s,
                          nlst* list) {
    if (!input || !list || n < 3) return 0;
    if (s < 2) s = 2;
    const int mode = tangents ? tangents->tangent_mode : 0;
    const bool closed = mode == 0 && qd_cogo_same_point(&input[0], &input[n - 1]);
    const uint32_t spans = n - 1;
    // Working storage: points copy (3 per point), chords, system rows.
    DoubleBlock block(size_t{n} * 16 + 8);
    if (!block.p) return 0;
    double* px = block.p;
    double* py = px + n;
    double* h = py + n;
    double* a = h + n;
    double* b = a + n;
    double* c = b + n;
    double* rx = c + n;
    double* ry = rx + n;
    double* work = ry + n;  // 5 n for the periodic solver
    for (uint32_t i = 0; i < n; ++i) {
        px[i] = input[i].x;
        py[i] = input[i].y;
    }
    if (closed) {
        px[n - 1] = px[0];
        py[n - 1] = py[0];
    }
    double total = 0.0;
    for (uint32_t i = 0; i < spans; ++i) {
        h[i] = std::hypot(px[i + 1] - px[i], py[i + 1] - py[i]);
        total += h[i];
    }
    const double spacing = total / (static_cast<double>(n) * s - n);
    if (!std::isfinite(total) || !(total > 0.0) || !std::isfinite(spacing) || !(spacing > 0.0))
        return 0;
    for (uint32_t i = 0; i < spans; ++i)
        if (!(h[i] > 0.0)) return 0;
    const double sigma = static_cast<double>(n - 1) / total;

    // Span coefficients: diag in a temporary, off in c.
    double* diag = work;
    double* off = work + n;
    for (uint32_t i = 0; i < spans; ++i) span_coefficients(sigma * h[i], h[i], &diag[i], &off[i]);
    auto chord_x = [&](uint32_t i) { return (px[i + 1] - px[i]) / h[i]; };
    auto chord_y = [&](uint32_t i) { return (py[i + 1] - py[i]) / h[i]; };

    double* qx = rx;
    double* qy = ry;
    if (closed) {
        const uint32_t m = spans;  // knots 0 .. n - 2; knot n - 1 is knot 0
        DoubleBlock rows(size_t{m} * 8);
        if (!rows.p) return 0;
        double* la = rows.p;
        double* lb = rows.p + m;
        double* lc = rows.p + 2 * m;
        for (uint32_t i = 0; i < m; ++i) {
            const uint32_t prev = (i + m - 1) % m;
            la[i] = off[prev];
            lb[i] = diag[prev] + diag[i];
            lc[i] = off[i];
            rx[i] = chord_x(i) - chord_x(prev);
            ry[i] = chord_y(i) - chord_y(prev);
        }
        solve_periodic(la, lb, lc, rx, ry, m, rows.p + 3 * m);
        rx[n - 1] = rx[0];
        ry[n - 1] = ry[0];
    } else {
        double start = 0.0, end = 0.0;
        if (mode == 1 || mode == 3)
            start = tangent_angle(tangents->start_tangent, input[0]);
        else
            start = three_point_slope(input[0], input[1], input[2], h[0], h[1]);
        if (mode == 2 || mode == 3) {
            end = tangent_angle(tangents->end_tangent, input[n - 1]);
        } else {
            const double back =
                three_point_slope(input[n - 1], input[n - 2], input[n - 3], h[n - 2], h[n - 3]);
            end = back + M_PI;
        }
        for (uint32_t i = 0; i < n; ++i) {
            const double d_prev = i > 0 ? diag[i - 1] : 0.0;
            const double d_next = i < spans ? diag[i] : 0.0;
            a[i] = i > 0 ? off[i - 1] : 0.0;
            b[i] = d_prev + d_next;
            c[i] = i < spans ? off[i] : 0.0;
        }
        rx[0] = chord_x(0) - std::cos(start);
        ry[0] = chord_y(0) - std::sin(start);
        for (uint32_t i = 1; i < spans; ++i) {
            rx[i] = chord_x(i) - chord_x(i - 1);
            ry[i] = chord_y(i) - chord_y(i - 1);
        }
        rx[n - 1] = std::cos(end) - chord_x(spans - 1);
        ry[n - 1] = std::sin(end) - chord_y(spans - 1);
        double* bx = work + 2 * n;
        std::memcpy(bx, b, n * sizeof(double));
        solve_tridiagonal(a, bx, c, rx, n);
        std::memcpy(bx, b, n * sizeof(double));
        solve_tridiagonal(a, bx, c, ry, n);
    }

    GeoCoord first = input[0];
    if (nlst_add(list, &first) != 1) {
        nlst_trunc(list, 0);
        return 0;
    }
    for (uint32_t i = 0; i < spans; ++i) {
        const GeoCoord& p1 = input[i];
        const GeoCoord& p2 = (closed && i + 1 == spans) ? input[0] : input[i + 1];
        const double span = h[i];
        double count = std::trunc(span / spacing);
        if (span <= count * spacing) count -= 1.0;
        const bool with_z = ktgeo_has_z(p1) && ktgeo_has_z(p2);
        const double x_span = sigma * span;
        for (double k = 1.0; k <= count; k += 1.0) {
            const double t = k * spacing, rest = span - t;
            const double e1 = sinh_ratio_excess(sigma * rest, x_span);
            const double e2 = sinh_ratio_excess(sigma * t, x_span);
            GeoCoord p;
            p.x = px[i] * rest / span + px[i + 1] * t / span + qx[i] * e1 + qx[i + 1] * e2;
            p.y = py[i] * rest / span + py[i + 1] * t / span + qy[i] * e1 + qy[i + 1] * e2;
            p.z = with_z ? p1.z + (p2.z - p1.z) * t / span : KTGEO_NO_Z;
            if (nlst_add(list, &p) != 1) {
                nlst_trunc(list, 0);
                return 0;
            }
        }
        GeoCoord end = p2;
        if (nlst_add(list, &end) != 1) {
            nlst_trunc(list, 0);
            return 0;
        }
    }
    return 1;
}

namespace {

// Strokes a three-point line with its own tangent record (the helper lines
// of the two-point case).
bool stroke_three(const GeoCoord pts[3], const GeoTangents& t, int s, nlst** out) {
    nlst* list = new_coord_list(64, 64);
    if (!list) return false;
    if (!qd_cogo_spline_points(pts, 3, &t, s, list) || list->tally < 2) {
        nlst_free(list);
        return false;
    }
    *out = list;
    return true;
}

// The middle point constructed for a two-point curve with a tangent: the
// second stroked point of the helper line base, other, turned point.
bool helper_middle(const GeoCoord& base, const GeoCoord& other, double phi, int helper_mode,
                   double helper_start, GeoCoord* middle) {
    GeoCoord pts[3] = {base, other, {}};
    qd_cogo_turn_point(&base, &other, phi, &pts[2]);
    GeoTangents t = {helper_mode, KTGEO_UNSET_COORD, KTGEO_UNSET_COORD};
    if (helper_mode == 1)
        t.start_tangent = {base.x + std::cos(helper_start), base.y + std::sin(helper_start),
                           KTGEO_NO_Z};
    nlst* stroked = nullptr;
    if (!stroke_three(pts, t, 7, &stroked)) return false;
    *middle = coords_of(stroked)[1];
    nlst_free(stroked);
    return true;
}

}  // namespace

nlst* qd_cogo_stroke_spline(const nlst* coords, const GeoTangents* tangents, int s) {
    if (!coords) return nullptr;
    if (s < 2) s = 2;
    const GeoTangents none = {0, KTGEO_UNSET_COORD, KTGEO_UNSET_COORD};
    const GeoTangents& t = tangents ? *tangents : none;
    const uint64_t hint = std::min<uint64_t>(uint64_t{coords->tally} * (s + 1) + 1, 1u << 20);
    nlst* list = new_coord_list(static_cast<uint32_t>(hint), static_cast<uint32_t>(hint));
    if (!list) return nullptr;
    const GeoCoord* in = coords_of(coords);
    for (uint32_t i = 0; i < coords->tally; ++i) {
        if (list->tally > 0 && qd_cogo_same_point_2d(&coords_of(list)[list->tally - 1], &in[i]))
            continue;
        if (nlst_add(list, &in[i]) != 1) {
            nlst_free(list);
            return nullptr;
        }
    }
    const uint32_t distinct = list->tally;
    if (distinct < 2 || (distinct == 2 && t.tangent_mode == 0)) return list;

    nlst* result = new_coord_list(static_cast<uint32_t>(hint), static_cast<uint32_t>(hint));
    if (!result) {
        nlst_free(list);
        return nullptr;
    }
    bool ok;
    if (distinct == 2) {
        // Work relative to the first point, as the helper construction does.
        const GeoCoord p0 = coords_of(list)[0], p1 = coords_of(list)[1];
        const GeoCoord origin = {p0.x, p0.y, 0.0};
        auto rel = [&](GeoCoord c) { return GeoCoord{c.x - origin.x, c.y - origin.y, c.z}; };
        const GeoCoord r0 = rel(p0), r1 = rel(p1);
        const double start = (t.tangent_mode & 1) ? tangent_angle(t.start_tangent, p0) : 0.0;
        const double end = (t.tangent_mode & 2) ? tangent_angle(t.end_tangent, p1) : 0.0;
        GeoCoord middle{};
        if (t.tangent_mode == 1) {
            ok = helper_middle(r1, r0, start, 0, 0.0, &middle);
        } else {
            ok = helper_middle(r0, r1, end, t.tangent_mode == 3 ? 1 : 0, start, &middle);
            if (ok && t.tangent_mode == 3) {
                GeoCoord other{};
                ok = helper_middle(r1, r0, start + M_PI, 1, end + M_PI, &other);
                middle.x = (middle.x + other.x) / 2.0;
                middle.y = (middle.y + other.y) / 2.0;
            }
        }
        if (ok) {
            const GeoCoord three[3] = {
                p0, {middle.x + origin.x, middle.y + origin.y, middle.z}, p1};
            ok = qd_cogo_spline_points(three, 3, &t, s, result) == 1;
        }
    } else {
        ok = qd_cogo_spline_points(coords_of(list), distinct, &t, s, result) == 1;
    }
    nlst_free(list);
    if (!ok) {
        nlst_free(result);
        return nullptr;
    }
    return result;
}

// --------------------------------------------------------- generalisation

int32_t qd_cogo_generalize_range(const GeoCoord* points, int32_t* marks, double tolerance,
                                 uint32_t first, uint32_t last, int mode) {
    if (!points || !marks || last <= first + 1) return 1;
    struct Range {
        uint32_t f, l;
    };
    // Each pending range lies strictly inside [first, last]; fewer than
    // last - first of them are pending at once.
    Range* stack = static_cast<Range*>(qd_alloc(sizeof(Range) * (size_t{last} - first)));
    if (!stack) return 0;
    size_t top = 0;
    stack[top++] = {first, last};
    while (top > 0) {
        Range r = stack[--top];
        for (;;) {
            uint32_t far = r.f;
            double far_d = -1.0;
            for (uint32_t i = r.f + 1; i < r.l; ++i) {
                if (marks[i]) continue;
                const double d = mode == 1
                                     ? qd_cogo_point_segment_distance_3d(&points[i], &points[r.f],
                                                                         &points[r.l])
                                     : qd_cogo_point_segment_distance_2d(&points[i], &points[r.f],
                                                                         &points[r.l]);
                if (d > far_d) {
                    far_d = d;
                    far = i;
                }
            }
            if (!(far_d >= tolerance)) {
                for (uint32_t i = r.f + 1; i < r.l; ++i) marks[i] = 1;
                break;
            }
            // The left part first, then the right one: push the right part
            // and go on with the left one.
            if (far + 1 < r.l) stack[top++] = {far, r.l};
            if (far > r.f + 1) {
                r.l = far;
                continue;
            }
            break;
        }
    }
    qd_free(stack);
    return 1;
}

nlst* qd_cogo_generalize(const nlst* list, double tolerance, int mode) {
    if (!list || list->tally == 0) return nullptr;
    if (tolerance <= 0.0) tolerance = kSame;
    const uint32_t n = list->tally;
    const GeoCoord* in = coords_of(list);
    nlst* result = new_coord_list(n, 1);
    if (!result) return nullptr;
    if (n <= 2) {
        if (nlst_add_many(result, in, n) != 1) {
            nlst_free(result);
            return nullptr;
        }
        return result;
    }
    int32_t* marks = static_cast<int32_t*>(qd_alloc(sizeof(int32_t) * n));
    if (!marks) {
        nlst_free(result);
        return nullptr;
    }
    std::memset(marks, 0, sizeof(int32_t) * n);
    bool ok = qd_cogo_generalize_range(in, marks, tolerance, 0, n - 1, mode) == 1;
    for (uint32_t i = 0; ok && i < n; ++i)
        if (!marks[i]) ok = nlst_add(result, &in[i]) == 1;
    qd_free(marks);
    if (!ok) {
        nlst_free(result);
        return nullptr;
    }
    return result;
}

nlst* qd_cogo_generalize_2d(const nlst* list, double tolerance) {
    return qd_cogo_generalize(list, tolerance, 0);
}

nlst* qd_cogo_generalize_3d(const nlst* list, double tolerance) {
    return qd_cogo_generalize(list, tolerance, 1);
}

// ------------------------------------------------------ line self-crossing

int qd_cogo_line_self_crossing(const nlst* list, int* crosses) {
    if (crosses) *crosses = 0;
    if (!list || list->tally <= 2) return 1;
    const GeoCoord* c = coords_of(list);
    const uint32_t segments = list->tally - 1;
    // Segments sorted by their smallest x; pairs are tested while their x
    // ranges can still overlap. Consecutive segments share their joint.
    uint32_t* order = static_cast<uint32_t*>(qd_alloc(sizeof(uint32_t) * segments));
    if (!order) return 0;
    for (uint32_t i = 0; i < segments; ++i) order[i] = i;
    auto min_x = [&](uint32_t i) { return std::min(c[i].x, c[i + 1].x); };
    auto max_x = [&](uint32_t i) { return std::max(c[i].x, c[i + 1].x); };
    std::sort(order, order + segments,
              [&](uint32_t a, uint32_t b) { return qd_cogo_compare(min_x(a), min_x(b)) < 0; });
    for (uint32_t i = 0; i < segments; ++i) {
        const uint32_t s = order[i];
        for (uint32_t j = i + 1; j < segments && min_x(order[j]) <= max_x(s) + kSame; ++j) {
            const uint32_t r = order[j];
            if (std::min(c[r].y, c[r + 1].y) > std::max(c[s].y, c[s + 1].y) + kSame ||
                std::min(c[s].y, c[s + 1].y) > std::max(c[r].y, c[r + 1].y) + kSame)
                continue;
            GeoCoord p;
            if (!qd_cogo_segment_intersection(&c[s], &c[s + 1], &c[r], &c[r + 1], &p)) continue;
            const uint32_t lo = std::min(s, r), hi = std::max(s, r);
            if (hi == lo + 1 && qd_cogo_same_point(&p, &c[hi])) continue;
            if (crosses) *crosses = 1;
            qd_free(order);
            return 1;
        }
    }
    qd_free(order);
    return 1;
}
