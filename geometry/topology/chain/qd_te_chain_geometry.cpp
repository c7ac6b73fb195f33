// Measures and rewrites of one chain: signed area and orientation, lengths,
// reversal, rotation of a ring to its leftmost vertex, curve tangents to
// and from the geometry model, and the stroke of a curve chain.
#include <cmath>
#include <cstring>

#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_option.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"

namespace {


bool alive_with_vertices(const TeChain* chain) {
    return chain->discard == CHAIN_OK && chain->coords && chain->coords->tally > 0;
}

const TeVertex* vertices(const TeChain* chain) {
    return static_cast<const TeVertex*>(chain->coords->data);
}

// The expanded points of a chain as an owned array; n 0 when none.
struct Expanded {
    GeoCoord* pts = nullptr;
    int32_t n = 0;
    ~Expanded() { qd_free(pts); }
};

}  // namespace

double qd_te_geo_chain_area(const TeChain* chain) {
    if (!chain) return qd_te_missing("qd_te_geo_chain_area");
    if (!alive_with_vertices(chain)) return 0;
    const TeVertex* v = vertices(chain);
    const uint32_t n = chain->coords->tally;
    const double y0 = v[0].y;
    double sum = 0;
    for (uint32_t i = 1; i < n; ++i) sum += (v[i].x - v[i - 1].x) * ((v[i].y - y0) + (v[i - 1].y - y0));
    return sum / 2;
}

int qd_te_geo_chain_clockwise(const TeChain* chain) {
    if (!chain) {
        qd_te_missing("qd_te_geo_chain_clockwise");
        return 1;
    }
    return qd_te_geo_chain_area(chain) < 0 ? 0 : 1;
}

int qd_te_geo_chain_length_stats(const TeChain* chain, double* total, double* shortest) {
    if (!chain || !total || !shortest) return qd_te_missing("qd_te_geo_chain_length");
    *total = *shortest = 0;
    if (chain->discard != CHAIN_OK) return 1;
    Expanded e;
    if (!qd_te_geo_get_coords(chain, &e.pts, &e.n, 1)) return 0;
    if (e.n < 2) return 1;
    double sum = 0, least = INFINITY;
    for (int32_t i = 1; i < e.n; ++i) {
        const double d = qd_te_cogo_distance_2d(&e.pts[i - 1], &e.pts[i]);
        sum += d;
        least = std::fmin(least, d);
    }
    *total = sum;
    *shortest = least;
    return 1;
}

int qd_te_geo_chain_length(const TeChain* chain, double* length) {
    if (!chain || !length) return qd_te_missing("qd_te_geo_chain_length");
    *length = 0;
    if (chain->discard != CHAIN_OK) return 1;
    Expanded e;
    if (!qd_te_geo_get_coords(chain, &e.pts, &e.n, 1)) return 0;
    if (e.n >= 2) *length = qd_te_cogo_polyline_length(e.pts, e.n);
    return 1;
}

int qd_te_geo_chain_reverse(TeChain* chain) {
    if (!chain) return qd_te_missing("qd_te_geo_chain_reverse");
    if (!alive_with_vertices(chain)) return 1;
    auto* v = static_cast<TeVertex*>(chain->coords->data);
    for (uint32_t i = 0, j = chain->coords->tally - 1; i < j; ++i, --j) {
        const TeVertex t = v[i];
        v[i] = v[j];
        v[j] = t;
    }
    return 1;
}

int qd_te_geo_chain_start_leftmost(TeChain* chain) {
    if (!chain) return qd_te_missing("qd_te_geo_chain_reverse");
    if (!alive_with_vertices(chain)) return 1;
    const uint32_t n = chain->coords->tally;
    const TeVertex* v = vertices(chain);
    const GeoCoord first = {v[0].x, v[0].y, v[0].z}, last = {v[n - 1].x, v[n - 1].y, v[n - 1].z};
    if (n < 2 || !qd_te_same_fuzzy_point(&first, &last, 1e-10)) return 1;
    uint32_t left = 0;
    for (uint32_t i = 1; i + 1 < n; ++i)
        if (v[i].x < v[left].x) left = i;
    if (left == 0) return 1;
    nlst* ring = nlst_alloc(sizeof(TeVertex), n, chain->coords->inc, nullptr);
    if (!ring) {
        return qd_te_no_memory();
    }
    bool ok = nlst_add_many(ring, &v[left], n - 1 - left) && nlst_add_many(ring, v, left) &&
              nlst_add(ring, &v[left]);
    if (!ok) {
        nlst_free(ring);
        return qd_te_no_memory();
    }
    nlst_free(chain->coords);
    chain->coords = ring;
    return 1;
}

int qd_te_geo_encode_curve_tangent(const GeoCurve* curve, TeTangent* tangent) {
    if (!curve || !tangent) return qd_te_missing("qd_te_geo_encode_curve_tangent");
    *tangent = {0, 0, 0};
    float start = 0, end = 0;
    switch (curve->tangent_mode) {
    case 1:
        ktgeo_curve_start_tangent(curve, &start);
        *tangent = {start, 0, 1};
        break;
    case 2:
        ktgeo_curve_end_tangent(curve, &end);
        *tangent = {0, end, 2};
        break;
    case 3:
        ktgeo_curve_start_tangent(curve, &start);
        ktgeo_curve_end_tangent(curve, &end);
        *tangent = {start, end, 3};
        break;
    default:
        break;
    }
    return 1;
}

int qd_te_geo_decode_curve_tangent(GeoCurve* curve, const TeTangent* tangent) {
    if (!curve || !tangent) return qd_te_missing("qd_te_geo_decode_curve_tangent");
    switch (tangent->type) {
    case 1:
        curve->tangent_mode = 1;
        return ktgeo_curve_start_tangent_orientation(curve, tangent->start_angle) ? 1 : 0;
    case 2:
        curve->tangent_mode = 2;
        return ktgeo_curve_end_tangent_orientation(curve, tangent->end_angle) ? 1 : 0;
    case 3:
        curve->tangent_mode = 3;
        return ktgeo_curve_start_tangent_orientation(curve, tangent->start_angle) &&
                       ktgeo_curve_end_tangent_orientation(curve, tangent->end_angle)
                   ? 1
                   : 0;
    default:
        curve->tangent_mode = 0;
        return 1;
    }
}

int qd_te_geo_set_curve_orientation(const nlst* points, TeTangentPoints* tangent_points,
                                    const TeTangent* tangent) {
    if (!tangent_points || !tangent) return qd_te_missing("qd_te_geo_set_curve_orientation");
    tangent_points->mode = 0;
    if (!points || points->tally < 2) return 1;
    const auto* p = static_cast<const GeoCoord*>(points->data);
    const GeoCoord& first = p[0];
    const GeoCoord& last = p[points->tally - 1];
    const int32_t type = tangent->type;
    if (type == 1 || type == 3)
        tangent_points->start = {first.x + std::cos(double(tangent->start_angle)),
                                 first.y + std::sin(double(tangent->start_angle)), -1e6};
    if (type == 2 || type == 3)
        tangent_points->end = {last.x + std::cos(double(tangent->end_angle)),
                               last.y + std::sin(double(tangent->end_angle)), -1e6};
    if (type >= 1 && type <= 3) tangent_points->mode = type;
    return 1;
}

int qd_te_geo_chain_expand_spline(const TeChain* chain, nlst** list) {
    if (!chain || !list) return qd_te_missing("qd_te_geo_chain_expand_spline");
    if (!*list && !(*list = ktgeo_coord_list_new(nullptr))) return 0;
    if (chain->coords) {
        const uint32_t n = chain->coords->tally;
        const TeVertex* v = vertices(chain);
        for (uint32_t i = 0; i < n; ++i) {
            const GeoCoord c = {v[i].x, v[i].y, v[i].z};
            if (!nlst_add(*list, &c)) return 0;
        }
    }
    if ((*list)->tally <= 1) return 1;
    TeTangentPoints tp = {};
    qd_te_geo_set_curve_orientation(*list, &tp, &chain->tangent);
    const GeoTangents tangents = {tp.mode, tp.start, tp.end};
    nlst* stroke = qd_cogo_stroke_spline(*list, &tangents, ktgeo_option_curve_segments());
    if (!stroke) return 0;
    int ok = 1;
    if (stroke->tally > 0) {
        (*list)->tally = 0;
        ok = nlst_append(*list, stroke) ? 1 : 0;
    }
    nlst_free(stroke);
    return ok;
}
