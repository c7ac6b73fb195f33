// Chain checks and vertex filters: the path check and spike check run on
// each chain by the clean-points check, and the distance and bend filters
// of coordinate arrays and chains.
#include <cmath>
#include <cstring>
#include <memory>

#include "geometry/qd_alloc.h"
#include "geometry/qd_cogo.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

TeVertex* vertices(TeChain* chain) { return static_cast<TeVertex*>(chain->coords->data); }
GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }

bool same3(const GeoCoord& a, const GeoCoord& b, double t) { return qd_te_same_fuzzy_point_3d(&a, &b, t) != 0; }

double distance(const GeoCoord& a, const GeoCoord& b, int32_t mode) {
    return mode == 1 ? qd_te_cogo_distance_3d(&a, &b) : qd_te_cogo_distance_2d(&a, &b);
}

struct FreeBlock {
    void operator()(void* p) const { qd_free(p); }
};

// P turned to S on every parent of both sides.
void polygon_parents_to_sides(TeChain* chain) {
    for (nlst* list : {chain->right_parent, chain->left_parent}) {
        if (!list) continue;
        auto* p = static_cast<TeParent*>(list->data);
        for (uint32_t i = 0; i < list->tally; ++i) {
            if (!qd_te_parent_has_flag(&p[i], TE_PARENT_P)) continue;
            qd_te_parent_clear_flag(&p[i], TE_PARENT_P);
            qd_te_parent_set_flag(&p[i], TE_PARENT_S);
        }
    }
}

}  // namespace

int qd_te_geo_chain_spike_check(TeChain* chain, int32_t* is_spike, int32_t mode, double tolerance) {
    if (!chain) return qd_te_missing("qd_te_geo_chain_spike_check");
    if (is_spike) *is_spike = 0;
    TeVertex *first, *last;
    int32_t skip = 0;
    if (!qd_te_form_start_end(chain, &first, &last, &skip)) return 0;
    if (skip) {
        if (chain->discard == CHAIN_INVALID) chain->discard = CHAIN_DELETE;
        return 1;
    }
    const uint32_t n = chain->coords->tally;
    if (n <= 2) return 1;
    const double t = std::fmax(tolerance, 1e-10);
    const TeVertex* v = vertices(chain);
    for (uint32_t k = 0; k < n / 2; ++k)
        if (!same3(coord_of(v[k]), coord_of(v[n - 1 - k]), t)) return 1;
    if (is_spike) *is_spike = 1;
    const uint32_t way_out = n / 2 + n % 2;
    bool cut = false;
    if (way_out == 2) {
        chain->chain_type = TE_LINE;
        nlst_trunc(chain->coords, 2);
        cut = true;
    } else if (mode == 1) {
        nlst_trunc(chain->coords, way_out);
        cut = true;
    }
    if (cut) {
        polygon_parents_to_sides(chain);
        if (!qd_te_parents_list_transfer(chain, 2, 2)) return 0;
    }
    return 1;
}

int qd_te_geo_chain_path_check(TeChain* chain, int32_t mode, double tolerance) {
    if (!chain) return qd_te_missing("qd_te_geo_chain_path_check");
    if (chain->discard != CHAIN_OK) return 1;
    TeVertex *first, *last;
    int32_t skip = 0;
    if (!qd_te_form_start_end(chain, &first, &last, &skip)) return 0;
    if (skip) {
        chain->discard = CHAIN_DELETE;
        return 1;
    }
    const double t = std::fmax(tolerance, 1e-10);
    const GeoCoord a = coord_of(*first), b = coord_of(*last);
    GeoCoord rect[2];
    qd_te_cogo_segment_envelope(&a, &b, rect);
    const bool closed = same3(a, b, tolerance);
    double largest = t;
    double area = 0;
    uint32_t i = 0;
    // fmax and fmin (a NaN argument loses) without a call per vertex.
    const auto most = [](double a, double b) { return a > b || b != b ? a : b; };
    const auto least = [](double a, double b) { return a < b || b != b ? a : b; };
    while (i < chain->coords->tally) {
        TeVertex* v = vertices(chain);
        const uint32_t n = chain->coords->tally;
        if (mode == 1 && i + 1 < n &&
            same3(coord_of(v[i]), coord_of(v[i + 1]), most(most(v[i].tol, v[i + 1].tol), t))) {
            // The earlier goes when the next is the last: the end stays.
            nlst_remove(chain->coords, i + 1 == n - 1 && i > 0 ? i : i + 1);
            continue;
        }
        rect[0].x = least(rect[0].x, v[i].x);
        rect[0].y = least(rect[0].y, v[i].y);
        rect[1].x = most(rect[1].x, v[i].x);
        rect[1].y = most(rect[1].y, v[i].y);
        largest = most(largest, v[i].tol);
        if (closed && i > 0) area += (v[i].x - v[i - 1].x) * ((v[i].y - v[0].y) + (v[i - 1].y - v[0].y));
        ++i;
    }
    if (chain->coords->tally < 2) {
        chain->discard = CHAIN_DELETE;
        return 1;
    }
    rect[0].z = rect[1].z = KTGEO_NO_Z;
    qd_te_mer_expand(rect, largest);
    chain->chain_mer[0] = rect[0];
    chain->chain_mer[1] = rect[1];
    if (chain->coords->tally == 2) {
        chain->chain_type = TE_LINE;
        return 1;
    }
    if (closed && std::fabs(area / 2) <= 1e-12) return qd_te_geo_chain_spike_check(chain, nullptr, 1, tolerance);
    return 1;
}

int qd_te_geo_dist_filter_crd(GeoCoord* points, int32_t* n, double distance_limit, int32_t mode) {
    if (!points || !n || *n <= 1 || !(distance_limit > 0)) return 1;
    const double t = std::fmax(distance_limit, 1e-16);
    if (*n == 2) return 1;
    int32_t i = 0;
    while (i + 1 < *n && *n > 2) {
        if (distance(points[i], points[i + 1], mode) < t) {
            const int32_t drop = (i + 1 == *n - 1 && i > 0) ? i : i + 1;
            std::memmove(points + drop, points + drop + 1, sizeof(GeoCoord) * size_t(*n - drop - 1));
            --*n;
            continue;
        }
        ++i;
    }
    return 1;
}

int qd_te_geo_dist_filter_chain(TeChain* chain, double distance_limit, int32_t mode) {
    if (!chain || chain->discard != CHAIN_OK || !chain->coords || chain->coords->tally <= 2 ||
        !(distance_limit > 0))
        return 1;
    const double t = std::fmax(distance_limit, 1e-16);
    uint32_t i = 0;
    while (i + 1 < chain->coords->tally && chain->coords->tally > 2) {
        const TeVertex* v = vertices(chain);
        const uint32_t n = chain->coords->tally;
        if (distance(coord_of(v[i]), coord_of(v[i + 1]), mode) < t) {
            const uint32_t drop = (i + 1 == n - 1 && i > 0) ? i : i + 1;
            nlst_remove(chain->coords, drop);
            continue;
        }
        ++i;
    }
    return 1;
}

int qd_te_geo_bend_filter_crd(GeoCoord* points, int32_t* n, double tolerance, int32_t mode) {
    if (!points || !n || *n <= 2 || !(tolerance > 0)) return 1;
    if (mode != 0 && mode != 1) return 0;
    nlst* in = nlst_alloc(sizeof(GeoCoord), uint32_t(*n), 1, nullptr);
    if (!in || nlst_add_many(in, points, uint32_t(*n)) != 1) {
        if (in) nlst_free(in);
        return qd_te_no_memory();
    }
    nlst* out = mode == 0 ? qd_cogo_generalize_2d(in, tolerance) : qd_cogo_generalize_3d(in, tolerance);
    nlst_free(in);
    if (!out) return qd_te_no_memory();
    if (out->tally > uint32_t(*n)) {
        nlst_free(out);
        return qd_te_missing("qd_te_geo_bend_filter_crd");
    }
    std::memcpy(points, out->data, sizeof(GeoCoord) * out->tally);
    *n = int32_t(out->tally);
    nlst_free(out);
    return 1;
}

int qd_te_geo_bend_filter_chain(TeChain* chain, double tolerance, int32_t mode) {
    if (!chain || chain->discard != CHAIN_OK || !chain->coords || chain->coords->tally <= 2 ||
        !(tolerance > 0))
        return 1;
    const uint32_t n = chain->coords->tally;
    std::unique_ptr<GeoCoord, FreeBlock> pts(static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * n)));
    std::unique_ptr<int32_t, FreeBlock> marks(static_cast<int32_t*>(qd_alloc(sizeof(int32_t) * n)));
    if (!pts || !marks) return qd_te_no_memory();
    const TeVertex* v = vertices(chain);
    for (uint32_t i = 0; i < n; ++i) {
        pts.get()[i] = coord_of(v[i]);
        marks.get()[i] = 0;
    }
    if (!qd_cogo_generalize_range(pts.get(), marks.get(), tolerance, 0, n - 1, mode)) return qd_te_no_memory();
    for (uint32_t i = n; i-- > 0;)
        if (marks.get()[i]) nlst_remove(chain->coords, i);
    return 1;
}

int qd_te_geo_filter_seg(TeChain* chain, GeoCoord* points, int32_t* n, double distance_limit, double bend) {
    if (!chain || !n) return qd_te_missing("qd_te_geo_filter_seg");
    if (!points) return qd_te_missing("qd_te_geo_filter_seg");
    switch (chain->chain_type) {
    case TE_ARC: {
        if (*n != 3) break;
        TeArc arc;
        if (qd_te_cogo_arc_from_points(&points[0], &points[1], &points[2], &arc, nullptr) == -1) {
            chain->radius = arc.radius;
        } else {
            chain->chain_type = TE_LINE;
            chain->radius = 0;
            points[1] = points[2];
            *n = 2;
        }
        return 1;
    }
    case TE_CIRCLE:
        if (*n != 1) break;
        return 1;
    case TE_NODE: return 1;
    case TE_REGION:
    case TE_ISLAND:
    case TE_PATH:
    case TE_LINE:
    case TE_CURVE:
        if (!qd_te_geo_dist_filter_crd(points, n, distance_limit, 1)) return 0;
        return qd_te_geo_bend_filter_crd(points, n, bend, 1);
    default: break;
    }
    chain->discard = CHAIN_INVALID;
    return 1;
}

int qd_te_geo_filter_chain(TeChain* chain, double distance_limit, double bend, double tolerance) {
    if (!chain) return qd_te_missing("qd_te_geo_filter_chain");
    if (chain->discard != CHAIN_OK || !chain->coords || chain->coords->tally == 0) return 1;
    if (chain->chain_type < 0 || chain->chain_type > TE_NODE) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    if (chain->chain_type != TE_PATH && chain->chain_type != TE_CURVE) return 1;
    const uint32_t before = chain->coords->tally;
    if (!qd_te_geo_dist_filter_chain(chain, distance_limit, 1)) return 0;
    if (!qd_te_geo_bend_filter_chain(chain, bend, 1)) return 0;
    if (chain->discard == CHAIN_OK && chain->coords->tally < before)
        return qd_te_cluster_clean_points(chain, 1, tolerance);
    return 1;
}
