// Least-squares fitting of a planar transform that carries source points
// onto target points (rotation with a given scale, similarity, or general
// affine), with the detection of a reflection, and its application.
#include <cmath>
#include <initializer_list>

#include "geometry/topology/qd_te_cogo.h"

int qd_te_cogo_fit_transform(int type, int no_reflection, int32_t n, const GeoCoord* src,
                             const GeoCoord* dst, double* sx, double* sy, TeAffine* out) {
    if (!src || !dst || !sx || !sy || !out) return 0;
    if (type == 3) {
        if (n < 3) return 0;
    } else if (type == 4 || type == 6) {
        if (n <= 1) return 0;
        if (n == 2) type = 4;
        *sx = 1.0;
    } else {
        return 0;
    }
    *sy = *sx;
    double f = 0.0, e = 0.0, g = 0.0, d = 0.0;
    int32_t lo = 0, hi = 0;
    for (int32_t i = 0; i < n; ++i) {
        f += src[i].x;
        e += src[i].y;
        g += dst[i].x;
        d += dst[i].y;
        if (src[i].x < src[lo].x) lo = i;
        if (src[i].x > src[hi].x) hi = i;
    }
    f /= n;
    e /= n;
    g /= n;
    d /= n;
    double sxx = 0, syy = 0, sxy = 0, sx_x = 0, sy_x = 0, sx_y = 0, sy_y = 0;
    const GeoCoord &h = src[lo], &ip = src[hi];
    int32_t kk = 0;
    double ck = 0.0;
    for (int32_t j = 0; j < n; ++j) {
        const double x = src[j].x - f, y = src[j].y - e;
        const double tx = dst[j].x - g, ty = dst[j].y - d;
        sxx += x * x;
        syy += y * y;
        sxy += x * y;
        sx_x += x * tx;
        sy_x += y * tx;
        sx_y += x * ty;
        sy_y += y * ty;
        const double c = (ip.x - src[j].x) * (h.y - src[j].y) + (src[j].x - h.x) * (ip.y - src[j].y);
        if (std::fabs(c) > std::fabs(ck)) ck = c, kk = j;
    }
    double q = 1.0;
    if (n > 2 && std::fabs(ck) > 1e-8) {
        const GeoCoord &ti = dst[hi], &tk = dst[kk], &th = dst[lo];
        const double r = (ti.y - tk.y) * (tk.x - th.x) + (th.y - tk.y) * (ti.x - tk.x);
        if ((r < 0.0 && ck > 0.0) || (r > 0.0 && ck < 0.0)) q = -1.0;
    }
    TeAffine t = {};
    if (n != 2) {
        const double det = sxx * syy - sxy * sxy;
        // Relative: data of any extent fits unless its points are collinear.
        if (!(std::fabs(det) > 1e-12 * sxx * syy)) return 0;
        t.a00 = (sx_x * syy - sxy * sy_x) / det;
        t.a01 = (sxx * sy_x - sx_x * sxy) / det;
        t.a10 = (sx_y * syy - sxy * sy_y) / det;
        t.a11 = (sxx * sy_y - sx_y * sxy) / det;
    }
    if (type == 3 || type == 4) {
        if (no_reflection == 1) q = 1.0;
        const double a = sx_x + q * sy_y, b = q * sy_x - sx_y;
        const double u = type == 3 ? std::sqrt(a * a + b * b) : (sxx + syy) * *sx * *sx;
        if (!(u > 0.0)) return 0;
        t.a00 = (a / u) * *sx;
        t.a01 = q * (b / u) * *sy;
        t.a10 = -q * t.a01;
        t.a11 = q * t.a00;
    }
    t.tx = g - t.a00 * f - t.a01 * e;
    t.ty = d - t.a10 * f - t.a11 * e;
    for (double v : {t.a00, t.a01, t.a10, t.a11, t.tx, t.ty})
        if (!std::isfinite(v)) return 0;
    *out = t;
    *sx = std::sqrt(t.a00 * t.a00 + t.a01 * t.a01);
    *sy = std::sqrt(t.a11 * t.a11 + t.a10 * t.a10);
    return q < 0.0 ? -1 : 1;
}

void qd_te_cogo_apply_transform(const TeAffine* t, const GeoCoord* p, GeoCoord* out) {
    *out = {t->a01 * p->y + t->a00 * p->x + t->tx, t->a11 * p->y + t->a10 * p->x + t->ty, p->z};
}
