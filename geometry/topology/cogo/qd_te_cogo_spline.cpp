// Splines under tension through coordinate arrays: chord-length parameter,
// tension (n - 1) / total chord length, the open and the periodic solution
// of the curvature terms M, span bands, node tangents, strokes, the closest
// point and the three-point form of two-point curves.
//
// On span k, 0 <= s <= h: C(s) = (M(k) sinh(sigma (h - s)) + M(k+1)
// sinh(sigma s)) / sinh(sigma h) + ((h - s) Y(k) + s Y(k+1)) / h with
// Y = P - M. sinh and cosh are (e^x -+ e^-x) / 2 for 1e-3 <= sigma h <=
// 700; above, ratios of sinh and the solver's coefficients take forms that
// cannot overflow; below, the coefficients take their series, so a span
// far longer or shorter than the mean yields neither NaN nor a zero pivot.
#include <cmath>
#include <cstring>

#include "geometry/qd_alloc.h"
#include "geometry/topology/cogo/qd_te_cogo_internal.h"
#include "geometry/topology/qd_te_cogo.h"

namespace {

constexpr double kSmall = 1e-3;
constexpr double kLarge = 700.0;
constexpr double kPi = 3.141592653589793;

double sh(double x) { return (std::exp(x) - std::exp(-x)) / 2.0; }
double ch(double x) { return (std::exp(x) + std::exp(-x)) / 2.0; }

// sinh(a) / sinh(x) for 0 <= a <= x.
double sinh_ratio(double a, double x) {
    if (x > kLarge) return std::exp(a - x) * -std::expm1(-2.0 * a) / -std::expm1(-2.0 * x);
    if (x < kSmall) return std::sinh(a) / std::sinh(x);
    return sh(a) / sh(x);
}

// The solver's coefficients of one span.
void coefficients(double h, double sigma, double* alpha, double* beta) {
    const double x = sigma * h;
    if (x > kLarge) {
        *beta = sigma - 1.0 / h;
        *alpha = 1.0 / h - 2.0 * sigma * std::exp(-x);
    } else if (x < kSmall) {
        const double x2 = x * x;
        *alpha = (x2 / 6.0 - 7.0 * x2 * x2 / 360.0 + 31.0 * x2 * x2 * x2 / 15120.0) / h;
        *beta = (x2 / 3.0 - x2 * x2 / 45.0 + 2.0 * x2 * x2 * x2 / 945.0) / h;
    } else {
        const double s = sh(x);
        *beta = sigma * ch(x) / s - 1.0 / h;
        *alpha = 1.0 / h - sigma / s;
    }
}

// Tridiagonal solve of row j: sub[j] x(j-1) + diag[j] x(j) + sup[j] x(j+1)
// = r(j), x and y alike; work holds n doubles.
void thomas(const double* sub, const double* diag, const double* sup, GeoCoord* r, int32_t n,
            double* work) {
    work[0] = sup[0] / diag[0];
    r[0].x /= diag[0];
    r[0].y /= diag[0];
    for (int32_t i = 1; i < n; ++i) {
        const double den = diag[i] - sub[i] * work[i - 1];
        work[i] = i + 1 < n ? sup[i] / den : 0.0;
        r[i].x = (r[i].x - sub[i] * r[i - 1].x) / den;
        r[i].y = (r[i].y - sub[i] * r[i - 1].y) / den;
    }
    for (int32_t i = n - 2; i >= 0; --i) {
        r[i].x -= work[i] * r[i + 1].x;
        r[i].y -= work[i] * r[i + 1].y;
    }
}

// An owned block of doubles from qd_alloc.
struct Doubles {
    double* v = nullptr;
    explicit Doubles(size_t n) : v(static_cast<double*>(qd_alloc(sizeof(double) * (n ? n : 1)))) {}
    ~Doubles() { qd_free(v); }
    Doubles(const Doubles&) = delete;
    Doubles& operator=(const Doubles&) = delete;
};

bool curve_ok(const TeCoordArray* curve) {
    return curve && curve->pts && te_cogo::finite_points(curve->pts, curve->n) &&
           std::isfinite(curve->start_angle) && std::isfinite(curve->end_angle);
}

double total_length(const double* h, int32_t spans) {
    double sum = 0.0;
    for (int32_t k = 0; k < spans; ++k) sum += h[k];
    return sum;
}

// Every chord of positive finite length.
bool chords_ok(const double* h, int32_t spans) {
    for (int32_t k = 0; k < spans; ++k)
        if (!(h[k] > 0.0) || !std::isfinite(h[k])) return false;
    return std::isfinite(total_length(h, spans));
}

// End condition 0 with the first and last points equal (exactly, or the
// same fuzzy point at the tolerance) becomes 4.
void closed_if_ends_meet(TeCoordArray* curve, bool exact, const double* tol) {
    if (curve->end_condition != 0) return;
    const GeoCoord &a = curve->pts[0], &b = curve->pts[curve->n - 1];
    if (exact ? (a.x == b.x && a.y == b.y) : qd_te_same_fuzzy_point(&a, &b, qd_te_cogo_tolerance(tol)))
        curve->end_condition = 4;
}

// Prepared, solved arrays of one curve: M (n), h (n - 1), Y (n).
struct Solved {
    GeoCoord* m = nullptr;
    double* h = nullptr;
    GeoCoord* y = nullptr;
    double sigma = 0.0;
    double sum = 0.0;
    Solved() = default;
    Solved(const Solved&) = delete;
    Solved& operator=(const Solved&) = delete;
    ~Solved() {
        qd_free(m);
        qd_free(h);
        qd_free(y);
    }
    bool alloc(int32_t n) {
        m = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * size_t(n)));
        h = m ? static_cast<double*>(qd_alloc(sizeof(double) * size_t(n))) : nullptr;
        y = h ? static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * size_t(n))) : nullptr;
        return y != nullptr;
    }
    // -1, -2 degenerate chords, -3 out of memory. closed_tol: the test of
    // closure (null: exact equality).
    int solve(TeCoordArray* curve, const double* closed_tol, bool exact_closure) {
        const int32_t n = curve->n;
        if (!alloc(n)) return -3;
        closed_if_ends_meet(curve, exact_closure, closed_tol);
        qd_te_cogo_spline_prepare(curve, m, h, y);
        if (!chords_ok(h, n - 1)) return -2;
        sum = total_length(h, n - 1);
        sigma = double(n - 1) / sum;
        const int r = curve->end_condition == 4 ? qd_te_cogo_spline_solve_closed(m, h, sigma, n - 1)
                                                : qd_te_cogo_spline_solve_open(m, h, sigma, n);
        if (r != -1) return r;
        for (int32_t k = 0; k < n; ++k)
            y[k] = {curve->pts[k].x - m[k].x, curve->pts[k].y - m[k].y, KTGEO_NO_Z};
        return -1;
    }
};

}  // namespace

void qd_te_cogo_spline_prepare(TeCoordArray* curve, GeoCoord* r, double* h, GeoCoord* u) {
    const GeoCoord* p = curve->pts;
    const int32_t n = curve->n;
    for (int32_t k = 0; k + 1 < n; ++k) {
        h[k] = qd_te_cogo_distance_2d(&p[k + 1], &p[k]);
        u[k] = {(p[k + 1].x - p[k].x) / h[k], (p[k + 1].y - p[k].y) / h[k], KTGEO_NO_Z};
    }
    const int ec = curve->end_condition;
    if (n >= 3 && (ec == 0 || ec == 2)) {
        const double a = h[0], b = h[1], d = a + b;
        const double c0 = -(d + a) / (d * a), c1 = d / (a * b), c2 = -a / (b * d);
        curve->start_angle = std::atan2(c0 * p[0].y + c1 * p[1].y + c2 * p[2].y,
                                        c0 * p[0].x + c1 * p[1].x + c2 * p[2].x);
    }
    if (n >= 3 && (ec == 0 || ec == 1)) {
        const double a = h[n - 2], b = h[n - 3], d = a + b;
        const double ca = (d + a) / (d * a), cb = -d / (a * b), cc = a / (b * d);
        curve->end_angle = std::atan2(ca * p[n - 1].y + cb * p[n - 2].y + cc * p[n - 3].y,
                                      ca * p[n - 1].x + cb * p[n - 2].x + cc * p[n - 3].x);
    }
    const bool closed = curve->end_condition == 4;
    if (n < 2) return;
    if (closed) {
        r[0] = {u[0].x - u[n - 2].x, u[0].y - u[n - 2].y, 0.0};
    } else {
        r[0] = {u[0].x - std::cos(curve->start_angle), u[0].y - std::sin(curve->start_angle), 0.0};
        r[n - 1] = {std::cos(curve->end_angle) - u[n - 2].x,
                    std::sin(curve->end_angle) - u[n - 2].y, 0.0};
    }
    for (int32_t k = 1; k + 1 < n; ++k) r[k] = {u[k].x - u[k - 1].x, u[k].y - u[k - 1].y, 0.0};
}

int qd_te_cogo_spline_solve_open(GeoCoord* r, const double* h, double sigma, int32_t n) {
    if (n < 2) return -2;
    Doubles work(size_t(n) * 4);
    if (!work.v) return -3;
    double *sub = work.v, *diag = sub + n, *sup = diag + n, *tmp = sup + n;
    for (int32_t j = 0; j < n; ++j) sub[j] = diag[j] = sup[j] = 0.0;
    for (int32_t k = 0; k + 1 < n; ++k) {
        double alpha, beta;
        coefficients(h[k], sigma, &alpha, &beta);
        diag[k] += beta;
        diag[k + 1] += beta;
        sup[k] = alpha;
        sub[k + 1] = alpha;
    }
    thomas(sub, diag, sup, r, n, tmp);
    return -1;
}

int qd_te_cogo_spline_solve_closed(GeoCoord* r, const double* h, double sigma, int32_t m) {
    if (m < 2) return -2;
    Doubles work(size_t(m) * 4);
    if (!work.v) return -3;
    double *sub = work.v, *diag = sub + m, *sup = diag + m, *tmp = sup + m;
    for (int32_t j = 0; j < m; ++j) sub[j] = diag[j] = sup[j] = 0.0;
    for (int32_t k = 0; k < m; ++k) {
        double alpha, beta;
        coefficients(h[k], sigma, &alpha, &beta);
        const int32_t next = (k + 1) % m;
        diag[k] += beta;
        diag[next] += beta;
        sup[k] = alpha;
        sub[next] = alpha;
    }
    if (m == 2) {
        // Both couplings join the same two unknowns.
        const double a = sub[0] + sup[0], b = sub[1] + sup[1];
        const double det = diag[0] * diag[1] - a * b;
        const GeoCoord r0 = r[0], r1 = r[1];
        r[0] = {(r0.x * diag[1] - a * r1.x) / det, (r0.y * diag[1] - a * r1.y) / det, 0.0};
        r[1] = {(diag[0] * r1.x - b * r0.x) / det, (diag[0] * r1.y - b * r0.y) / det, 0.0};
        r[2] = r[0];
        return -1;
    }
    // Cyclic system by Sherman-Morrison: corners sub[0] (row 0) and
    // sup[m - 1] (row m - 1).
    const double corner_top = sub[0], corner_bottom = sup[m - 1];
    const double gamma = -diag[0];
    diag[0] -= gamma;
    diag[m - 1] -= corner_bottom * corner_top / gamma;
    sub[0] = 0.0;
    sup[m - 1] = 0.0;
    thomas(sub, diag, sup, r, m, tmp);
    GeoCoord* u = reinterpret_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * size_t(m)));
    if (!u) return -3;
    for (int32_t j = 0; j < m; ++j) u[j] = {0.0, 0.0, 0.0};
    u[0] = {gamma, gamma, 0.0};
    u[m - 1] = {corner_bottom, corner_bottom, 0.0};
    thomas(sub, diag, sup, u, m, tmp);
    const double fx = (r[0].x + corner_top * r[m - 1].x / gamma) /
                      (1.0 + u[0].x + corner_top * u[m - 1].x / gamma);
    const double fy = (r[0].y + corner_top * r[m - 1].y / gamma) /
                      (1.0 + u[0].y + corner_top * u[m - 1].y / gamma);
    for (int32_t j = 0; j < m; ++j) {
        r[j].x -= fx * u[j].x;
        r[j].y -= fy * u[j].y;
    }
    qd_free(u);
    r[m] = r[0];
    return -1;
}

GeoCoord qd_te_cogo_spline_point(const GeoCoord* p0, const GeoCoord* p1, const GeoCoord* m,
                                 double h, double sigma, double s) {
    const double x = sigma * h;
    const double r0 = sinh_ratio(sigma * (h - s), x), r1 = sinh_ratio(sigma * s, x);
    const double y0x = p0->x - m[0].x, y0y = p0->y - m[0].y;
    const double y1x = p1->x - m[1].x, y1y = p1->y - m[1].y;
    return {m[0].x * r0 + m[1].x * r1 + ((h - s) * y0x + s * y1x) / h,
            m[0].y * r0 + m[1].y * r1 + ((h - s) * y0y + s * y1y) / h, KTGEO_NO_Z};
}

void qd_te_cogo_spline_bands(TeSplineWork* work, const GeoCoord* y, double ds) {
    (void)y;  // Y enters through the curve points
    const TeCoordArray* curve = work->curve;
    const GeoCoord* p = curve->pts;
    for (int32_t k = 0; k + 1 < curve->n; ++k) {
        TeSplineBand& b = work->bands[k];
        const double h = work->h[k];
        b = {0.0, 0.0, h, 0.0, 0.0};
        const double cx = p[k + 1].x - p[k].x, cy = p[k + 1].y - p[k].y;
        for (double j = 1.0; ds > 0.0 && j * ds < h; j += 1.0) {
            const GeoCoord c = qd_te_cogo_spline_point(&p[k], &p[k + 1], &work->m[k], h,
                                                       work->sigma, j * ds);
            const double wx = c.x - p[k].x, wy = c.y - p[k].y;
            const double cross = cx * wy - cy * wx;
            if (cross > b.left) b.left = cross;
            else if (cross < b.right) b.right = cross;
            const double along = (cx * wx + cy * wy) / h;
            if (along < b.near) b.near = along;
            if (along > b.far) b.far = along;
        }
        b.left *= 1.1;
        b.right *= 1.1;
    }
}

int qd_te_cogo_spline_setup(TeCoordArray* curve, TeSplineWork* work, const double* tol) {
    work->curve = curve;
    work->m = nullptr;
    work->h = nullptr;
    work->bands = nullptr;
    if (!curve || curve->n <= 2) return -2;
    if (!curve_ok(curve)) return -2;
    const int32_t n = curve->n;
    Solved solved;
    const int r = solved.solve(curve, tol, false);
    if (r != -1) return r;
    work->bands = static_cast<TeSplineBand*>(qd_alloc(sizeof(TeSplineBand) * size_t(n - 1)));
    if (!work->bands) return -3;
    work->m = solved.m;
    work->h = solved.h;
    solved.m = nullptr;
    solved.h = nullptr;
    work->sigma = solved.sigma;
    qd_te_cogo_spline_bands(work, solved.y, solved.sum / (7.0 * n));
    for (int32_t k = 0; k + 1 < n; ++k) {
        TeSplineBand& b = work->bands[k];
        b.radius = std::sqrt(std::fmax(b.left, -b.right));
    }
    return -1;
}

void qd_te_cogo_spline_release(TeSplineWork* work) {
    if (!work) return;
    qd_free(work->m);
    qd_free(work->h);
    qd_free(work->bands);
    work->m = nullptr;
    work->h = nullptr;
    work->bands = nullptr;
}

double qd_te_cogo_spline_node_tangent(const GeoCoord* p, double sigma, int32_t k, const double* h,
                                      const double* tol, const GeoCoord* m, const GeoCoord* y) {
    (void)y;
    double e = (k > 0 ? std::fmin(h[-1], h[0]) : h[0]) / 30.0;
    const double t = qd_te_cogo_tolerance(tol);
    if (e < t) e = 5.0 * t;
    const GeoCoord c = qd_te_cogo_spline_point(&p[0], &p[1], &m[0], h[0], sigma, e);
    double vx = c.x - p[0].x, vy = c.y - p[0].y;
    if (k > 0) {
        const GeoCoord b = qd_te_cogo_spline_point(&p[-1], &p[0], &m[-1], h[-1], sigma, h[-1] - e);
        vx = (vx + p[0].x - b.x) / 2.0;
        vy = (vy + p[0].y - b.y) / 2.0;
    }
    return std::atan2(vy, vx);
}

int qd_te_cogo_spline_tangent_at(TeCoordArray* curve, int32_t k, double* angle,
                                 const double* tol) {
    if (!curve || !angle || curve->n < 3 || k < 0 || k > curve->n - 1) return -2;
    if (!curve_ok(curve)) return -2;
    const int32_t n = curve->n;
    Solved solved;
    const int r = solved.solve(curve, tol, true);
    if (r != -1) return r;
    const bool closed = curve->end_condition == 4;
    if (!closed && (k == 0 || k == n - 1)) {
        *angle = k == 0 ? curve->start_angle : curve->end_angle;
        return -1;
    }
    if (k == n - 1) k = 0;
    *angle = qd_te_cogo_spline_node_tangent(&curve->pts[k], solved.sigma, k, &solved.h[k], tol,
                                            &solved.m[k], &solved.y[k]);
    return -1;
}

namespace {

// The points strictly inside each span at the step (0: none); false when
// a span would need 2^31 points or more.
bool span_counts(const double* h, int32_t spans, double step, int32_t* counts) {
    for (int32_t k = 0; k < spans; ++k) {
        const double c = step > 0.0 ? std::trunc(h[k] / step) : 0.0;
        if (!(c < 2147483647.0)) return false;
        counts[k] = int32_t(c);
        if (counts[k] > 0 && double(counts[k]) * step >= h[k]) --counts[k];
    }
    return true;
}

// Strokes nodes first .. first + count - 1 with the given step (0: from
// total). -1, -2, -3; alloc_fail is answered when out's storage fails.
int stroke(TeCoordArray* in, int32_t first, int32_t count, int32_t total, bool fine,
           TeCoordArray* out, const double* tol, int alloc_fail) {
    if (!in || !out || !in->pts || in->n < 0) return -2;
    if (!curve_ok(in)) return -2;
    te_cogo::Reduced reduced;
    if (const int made = reduced.make(in, tol); made != -1) return made;
    TeCoordArray* curve = reduced.curve;
    int32_t n = curve->n;
    if (count < 1 || first < 0) return -2;
    const int32_t last = reduced.carry(first + count - 1);
    first = reduced.carry(first);
    count = last - first + 1;
    if (n < 2 || first >= n || last >= n || n < first + count) return -2;
    if (!fine && total < n) return -2;
    TeCoordArray three = {nullptr, 0};
    struct Free {
        GeoCoord* p;
        ~Free() { qd_free(p); }
    } three_storage{nullptr};
    if (n == 2) {
        if (curve->end_condition == 0) {
            out->pts = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * 2));
            if (!out->pts) return alloc_fail;
            out->pts[0] = curve->pts[0];
            out->pts[1] = curve->pts[1];
            out->n = 2;
            return -1;
        }
        const int r = qd_te_cogo_curve_two_to_three(curve, &three, nullptr);
        if (r == -3) return -3;
        if (r != -1) return -2;
        three_storage.p = three.pts;
        curve = &three;
        n = 3;
        ++count;
    }
    Solved solved;
    const int r = solved.solve(curve, nullptr, true);
    if (r != -1) return r;
    const GeoCoord* p = curve->pts;
    double step;
    if (fine) {
        double lo_x = p[first].x, hi_x = lo_x, lo_y = p[first].y, hi_y = lo_y;
        for (int32_t k = first; k < first + count; ++k) {
            lo_x = std::fmin(lo_x, p[k].x), hi_x = std::fmax(hi_x, p[k].x);
            lo_y = std::fmin(lo_y, p[k].y), hi_y = std::fmax(hi_y, p[k].y);
        }
        step = 0.005 * std::fmax(hi_x - lo_x, hi_y - lo_y);
    } else {
        step = total == n ? 0.0 : solved.sum / double(total - n);
    }
    Doubles counts_block{size_t(n)};
    if (!counts_block.v) return -3;
    int32_t* counts = reinterpret_cast<int32_t*>(counts_block.v);
    if (!span_counts(solved.h, n - 1, step, counts)) return alloc_fail;
    double points = count;
    for (int32_t k = first; k < first + count - 1; ++k) points += counts[k];
    if (!(points < 2147483647.0)) return alloc_fail;
    GeoCoord* pts = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * size_t(points)));
    if (!pts) return alloc_fail;
    std::memset(pts, 0, sizeof(GeoCoord) * size_t(points));
    qd_te_cogo_spline_stroke_spans(&p[first], count, pts, &solved.m[first], &solved.h[first],
                                   &solved.y[first], &counts[first], solved.sigma, step);
    out->pts = pts;
    out->n = int32_t(points);
    return -1;
}

}  // namespace

int qd_te_cogo_curve_tangent_at(TeCoordArray* in, int32_t k, double* angle, const double* tol) {
    if (!in || !angle || !in->pts || in->n < 0) return -2;
    te_cogo::Reduced reduced;
    if (const int made = reduced.make(in, tol); made != -1) return made;
    TeCoordArray* curve = reduced.curve;
    k = reduced.carry(k);
    if (curve->n < 2) return 0;
    if (k < 0 || k > curve->n - 1) return -2;
    if (curve->n == 2) {
        *angle = k == 0 ? curve->start_angle : curve->end_angle;
        return -1;
    }
    return qd_te_cogo_spline_tangent_at(curve, k, angle, tol);
}

void qd_te_cogo_spline_stroke_span(const GeoCoord* p0, const GeoCoord* p1, const GeoCoord* m,
                                   double h, double sigma, GeoCoord* out) {
    out[0] = *p0;
    for (int j = 1; j <= 28; ++j)
        out[j] = qd_te_cogo_spline_point(p0, p1, m, h, sigma, double(j) * h / 30.0);
    out[29] = *p1;
}

void qd_te_cogo_spline_stroke_spans(const GeoCoord* nodes, int32_t count, GeoCoord* out,
                                    const GeoCoord* m, const double* h, const GeoCoord* y,
                                    const int32_t* counts, double sigma, double step) {
    (void)y;
    int32_t at = 0;
    for (int32_t k = 0; k < count; ++k) {
        out[at++] = nodes[k];
        if (k == count - 1) break;
        const bool no_z = nodes[k].z == KTGEO_NO_Z || nodes[k + 1].z == KTGEO_NO_Z;
        for (int32_t j = 1; j <= counts[k]; ++j) {
            const double s = double(j) * step;
            GeoCoord c = qd_te_cogo_spline_point(&nodes[k], &nodes[k + 1], &m[k], h[k], sigma, s);
            c.z = no_z ? KTGEO_NO_Z : nodes[k].z + (s / h[k]) * (nodes[k + 1].z - nodes[k].z);
            out[at++] = c;
        }
    }
}

int qd_te_cogo_curve_stroke(TeCoordArray* curve, int32_t first, int32_t count, int32_t total,
                            TeCoordArray* out, const double* tol) {
    return stroke(curve, first, count, total, false, out, tol, -3);
}

int qd_te_cogo_curve_stroke_fine(TeCoordArray* curve, int32_t first, int32_t count,
                                 TeCoordArray* out, const double* tol) {
    return stroke(curve, first, count, 0, true, out, tol, -2);
}

int qd_te_cogo_spline_closest_point(const GeoCoord* p, TeCoordArray* curve, TeNearestPoint* out,
                                    const double* tol) {
    if (!p || !curve || !out || !curve->pts || curve->n < 1) return 0;
    if (!curve_ok(curve) || !te_cogo::finite_points(p, 1)) return -2;
    const int32_t n = curve->n;
    if (n < 3) {
        const TeCoordArray line = {curve->pts, n};
        return qd_te_cogo_closest_point_on_polyline(p, &line, out, tol);
    }
    Solved solved;
    const int r = solved.solve(curve, nullptr, true);
    if (r != -1) return r;
    const GeoCoord* pts = curve->pts;
    GeoCoord env[2];
    qd_te_cogo_envelope(env, pts, n);
    const double step = 0.005 * std::fmax(env[1].x - env[0].x, env[1].y - env[0].y);
    Doubles counts_block{size_t(n)};
    if (!counts_block.v) return -3;
    int32_t* counts = reinterpret_cast<int32_t*>(counts_block.v);
    if (!span_counts(solved.h, n - 1, step, counts)) return -3;
    double points = n;
    for (int32_t k = 0; k + 1 < n; ++k) points += counts[k];
    if (!(points < 2147483647.0)) return -3;
    GeoCoord* stroked = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * size_t(points)));
    if (!stroked) return -3;
    qd_te_cogo_spline_stroke_spans(pts, n, stroked, solved.m, solved.h, solved.y, counts,
                                   solved.sigma, step);
    const TeCoordArray line = {stroked, int32_t(points)};
    TeNearestPoint near;
    qd_te_cogo_closest_point_on_polyline(p, &line, &near, tol);
    qd_free(stroked);
    int32_t rest = near.segment_index, k = 0;
    while (k < n - 1 && rest >= counts[k] + 1) rest -= counts[k] + 1, ++k;
    out->point = near.point;
    out->segment_index = out->vertex_index = k;
    return -1;
}

int qd_te_cogo_curve_closest_point(const GeoCoord* p, TeCoordArray* in, TeNearestPoint* out,
                                   const double* tol) {
    if (!p || !in || !out || !in->pts || in->n < 0) return -2;
    out->point.z = KTGEO_NO_Z;
    if (!curve_ok(in)) return -2;
    te_cogo::Reduced reduced;
    if (const int made = reduced.make(in, tol); made != -1) return made;
    TeCoordArray* curve = reduced.curve;
    if (curve->n == 0) return 0;
    if (curve->n == 1) {
        out->point = curve->pts[0];
        out->segment_index = out->vertex_index = 0;
        return -1;
    }
    TeCoordArray three = {nullptr, 0};
    const bool two = curve->n == 2;
    if (two) {
        const int r = qd_te_cogo_curve_two_to_three(curve, &three, nullptr);
        if (r == -3) return -3;
        if (r != -1) return -2;
        curve = &three;
    }
    const int r = qd_te_cogo_spline_closest_point(p, curve, out, tol);
    qd_free(three.pts);
    if (r != -1) return r;
    if (two && out->segment_index > 0) --out->segment_index;
    out->segment_index = reduced.back(out->segment_index);
    out->vertex_index = out->segment_index;
    return -1;
}

int qd_te_cogo_curve_two_to_three(const TeCoordArray* curve, TeCoordArray* out,
                                  const double* tol) {
    if (!curve || !out || curve->n != 2 || !curve->pts) return -2;
    GeoCoord* pts = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * 3));
    if (!pts) return -3;
    std::memset(pts, 0, sizeof(GeoCoord) * 3);
    if (qd_te_cogo_curve_middle_point(curve->pts, curve->start_angle, curve->end_angle,
                                      curve->end_condition, pts, tol) != 1) {
        qd_free(pts);
        return -2;
    }
    *out = *curve;
    out->pts = pts;
    out->n = 3;
    return -1;
}

namespace {

// The second point of the seven-point stroke of the local curve l0, l1,
// mirror(l1, l0, theta).
bool local_second_point(GeoCoord l0, GeoCoord l1, double theta, int ec, double start,
                        GeoCoord* second, const double* tol) {
    GeoCoord local[3] = {l0, l1, {}};
    qd_te_cogo_mirror_point(&local[1], &local[0], theta, &local[2]);
    TeCoordArray curve = {local, 3, start, 0.0, ec};
    TeCoordArray out = {nullptr, 0};
    if (qd_te_cogo_curve_stroke(&curve, 0, 3, 7, &out, tol) != -1) return false;
    const bool ok = out.n >= 2;
    if (ok) *second = out.pts[1];
    qd_free(out.pts);
    return ok;
}

}  // namespace

int qd_te_cogo_curve_middle_point(const GeoCoord* pts, double a, double b, int mode,
                                  GeoCoord* out, const double* tol) {
    out[0] = pts[0];
    out[2] = pts[1];
    if (qd_te_same_fuzzy_point(&pts[0], &pts[1], qd_te_cogo_tolerance(tol))) return -1;
    if (mode == 0) {
        out[1] = {(pts[0].x + pts[1].x) / 2.0, (pts[0].y + pts[1].y) / 2.0, KTGEO_NO_Z};
        return 1;
    }
    const GeoCoord o = {0.0, 0.0, KTGEO_NO_Z}, d = {pts[1].x - pts[0].x, pts[1].y - pts[0].y,
                                                    KTGEO_NO_Z};
    GeoCoord second;
    const bool ok = mode == 1 ? local_second_point(d, o, a, 0, 0.0, &second, tol)
                              : local_second_point(o, d, b, mode == 3 ? 1 : 0, a, &second, tol);
    if (!ok) return -1;
    int result = 1;
    if (mode == 3) {
        GeoCoord other;
        if (local_second_point(d, o, a + kPi, 1, b + kPi, &other, tol)) {
            second.x = (second.x + other.x) / 2.0;
            second.y = (second.y + other.y) / 2.0;
        } else {
            result = -1;
        }
    }
    out[1] = {second.x + pts[0].x, second.y + pts[0].y, KTGEO_NO_Z};
    return result;
}

void qd_te_cogo_mirror_point(const GeoCoord* a, const GeoCoord* b, double theta, GeoCoord* out) {
    const double len = qd_te_cogo_distance_2d(a, b);
    const double phi = std::atan2(b->y - a->y, b->x - a->x);
    const double psi = (theta + kPi) - (phi - theta);
    out->x = a->x + len * std::cos(psi);
    out->y = a->y + len * std::sin(psi);
    out->z = (a->z == KTGEO_NO_Z || b->z == KTGEO_NO_Z) ? KTGEO_NO_Z : (a->z + b->z) / 2.0;
}
