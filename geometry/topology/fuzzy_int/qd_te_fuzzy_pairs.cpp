// Fuzzy intersection of two primitives: one routine per pair of chain
// kinds, the two-chain sweep over vertex chains and the segment loader.
// Geometry runs at its default tolerance; the stage tolerance acts when
// the items become split nodes.
#include <algorithm>

#include "geometry/topology/fuzzy_int/qd_te_fuzzy_internal.h"

using namespace te_fuzzy;

namespace {

bool kind_ok(const TeChain* c, int32_t kind) {
    return kind == TE_REGION ? is_ring(c->chain_type) : c->chain_type == kind;
}

// Common frame: null and kind checks, emptied list, status 0.
bool frame(const char* name, TeChain* a, int32_t kind_a, TeChain* b, int32_t kind_b,
           TeIntersectionList* list, int32_t* status) {
    if (!a || !b || !list || !status || !kind_ok(a, kind_a) || !kind_ok(b, kind_b)) {
        qd_te_missing(name);
        return false;
    }
    *status = 0;
    list_clear(list);
    return true;
}

// Items of a one- or two-point geometry: -3 fails (status 0), 1 or 2 give
// items, anything else nothing.
int points_to_items(int answer, const GeoCoord* pts, const GeoCoord* from_a, const GeoCoord* from_b,
                    TeIntersectionList* list, int32_t* status) {
    if (answer == -3) {
        *status = 0;
        return qd_te_no_memory();
    }
    if (answer != 1 && answer != 2) return 1;
    TeIntersection* items = nullptr;
    if (!qd_te_fuzzy_alloc_intersections(answer, &items) || !items) return 0;
    for (int k = 0; k < answer; ++k) {
        items[k].point = pts[k];
        items[k].offset_a = from_a ? qd_te_cogo_distance_2d(&pts[k], from_a) : 0.0;
        items[k].offset_b = from_b ? qd_te_cogo_distance_2d(&pts[k], from_b) : 0.0;
    }
    *list = {answer, answer, items};
    *status = 1;
    return 1;
}

// A list answer of the geometry: 1 items in the list, -3 failure, else none.
int list_answer(int answer, TeIntersectionList* list, int32_t* status) {
    if (answer == -3) {
        list_clear(list);
        return qd_te_no_memory();
    }
    if (answer == 1 && list->count > 0) {
        *status = 1;
        return 1;
    }
    list_clear(list);
    return 1;
}

struct Vect {
    GeoCoord a, b;
};
// The end points of a LINE, a form routine for TE_FORM (0 on failure).
int take_vect(TeChain* c, Vect* v, int32_t* skip) {
    TeVertex *first, *last;
    if (!qd_te_form_vect(c, &first, &last, skip)) return 0;
    if (*skip == 0) v->a = coord(*first), v->b = coord(*last);
    return 1;
}

TeBoundedArray bounded(const TePathView& v) {
    return {v.array.pts, v.array.n, v.envelope[0], v.envelope[1]};
}

struct PathCopy {
    TePathView view{};
    ~PathCopy() { qd_free(view.array.pts); }
};
struct CurveCopy {
    TeCurveView view{};
    ~CurveCopy() { qd_free(view.array.pts); }
};

bool segment_meets(const TeSegment& s, const GeoCoord* env) {
    return !env || (s.env_min.x <= env[1].x && s.env_max.x >= env[0].x && s.env_min.y <= env[1].y &&
                    s.env_max.y >= env[0].y);
}

int load_segments(const nlst* vertices, const GeoCoord* env, nlst** holder, int32_t tag,
                  int32_t mark) {
    if (!holder) return qd_te_missing("qd_te_fuzzy_load_segments");
    if (!vertices || vertices->tally == 0) return 1;
    const auto* v = static_cast<const TeVertex*>(vertices->data);
    const int32_t n = int32_t(vertices->tally);
    if (!*holder && !(*holder = nlst_alloc(sizeof(TeSegment), uint32_t(n), uint32_t(n), nullptr)))
        return qd_te_no_memory();
    const int32_t count = n == 1 ? 1 : n - 1;
    for (int32_t i = 0; i < count; ++i) {
        const TeVertex& p = v[i];
        const TeVertex& q = v[n == 1 ? 0 : i + 1];
        TeSegment s = {as_coord(&q), as_coord(&p), i, tag, {}, {}, mark};
        s.env_min = {std::min(p.x, q.x), std::min(p.y, q.y), KTGEO_NO_Z};
        s.env_max = {std::max(p.x, q.x), std::max(p.y, q.y), KTGEO_NO_Z};
        if (segment_meets(s, env) && !nlst_add(*holder, &s)) return qd_te_no_memory();
    }
    return 1;
}

}  // namespace

int qd_te_fuzzy_load_segments(const nlst* vertices, const GeoCoord* envelope, nlst** holder,
                              int32_t tag) {
    return load_segments(vertices, envelope, holder, tag, -1);
}

int qd_te_fuzzy_load_segments_unmarked(const nlst* vertices, const GeoCoord* envelope,
                                       nlst** holder, int32_t tag) {
    return load_segments(vertices, envelope, holder, tag, 0);
}

int qd_te_fuzzy_sweep_two_paths(TeChain* chain_b, TeChain* chain_a, TeIntersectionList* list,
                                int32_t stop_at_first, const double* tolerance) {
    if (!chain_a || !chain_b || (!list && !stop_at_first)) return -2;
    if (chain_a->discard != CHAIN_OK) return 0;
    if (vertex_count(chain_a) < 2 || vertex_count(chain_b) < 2 || chain_b->discard != CHAIN_OK)
        return 0;
    GeoCoord overlap[2];
    if (qd_te_cogo_envelope_relation(chain_a->chain_mer, chain_b->chain_mer, overlap) == 8) return 0;
    nlst* segments = nlst_alloc(sizeof(TeSegment), vertex_count(chain_a) + vertex_count(chain_b) + 1,
                                1, nullptr);
    if (!segments) return -3;
    struct Free {
        nlst* s;
        ~Free() { nlst_free(s); }
    } free_segments{segments};
    if (!qd_te_fuzzy_load_segments(chain_a->coords, overlap, &segments, 1)) return -3;
    const uint32_t from_a = segments->tally;
    if (from_a == 0) return 0;
    if (!qd_te_fuzzy_load_segments(chain_b->coords, overlap, &segments, 2)) return -3;
    if (segments->tally == from_a) return 0;
    auto* s = static_cast<TeSegment*>(segments->data);
    const uint32_t n = segments->tally;
    std::stable_sort(s, s + n, [](const TeSegment& a, const TeSegment& b) {
        return qd_te_cogo_segment_order(&a, &b) < 0;
    });
    std::vector<TeIntersection> found;
    int32_t status = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const TeSegment& g = s[i];
        for (uint32_t j = i + 1; j < n && !(s[j].env_min.x > g.env_max.x); ++j) {
            const TeSegment& h = s[j];
            if (g.tag == h.tag || h.env_min.y > g.env_max.y || h.env_max.y < g.env_min.y) continue;
            TeIntersection item = {};
            if (qd_te_cogo_segment_intersection(g.start, g.end, h.start, h.end, &item.point, 1,
                                                tolerance, nullptr) != 1)
                continue;
            qd_te_cogo_intersection_positions(&g, &h, &item, tolerance);
            status = 1;
            if (stop_at_first) return 1;
            found.push_back(item);
        }
    }
    if (stop_at_first || status != 1) return status;
    return hand_over(found, list);
}

namespace {

// A pair of vertex chains through the two-chain sweep.
int swept(const char* name, TeChain* first, int32_t kind_a, TeChain* second, int32_t kind_b,
          TeIntersectionList* list, int32_t* status) {
    if (!frame(name, first, kind_a, second, kind_b, list, status)) return 0;
    *status = qd_te_fuzzy_sweep_two_paths(second, first, list, 0, nullptr);
    return *status == -3 ? qd_te_no_memory() : 1;
}

}  // namespace

int qd_te_fuzzy_int_path_path(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    return swept("qd_te_fuzzy_int_path_path", first, TE_PATH, second, TE_PATH, list, status);
}

int qd_te_fuzzy_int_vect_path(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    return swept("qd_te_fuzzy_int_vect_path", first, TE_LINE, second, TE_PATH, list, status);
}

int qd_te_fuzzy_int_reg_reg(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    return swept("qd_te_fuzzy_int_reg_reg", first, TE_REGION, second, TE_REGION, list, status);
}

int qd_te_fuzzy_int_vect_vect(TeChain* first, TeChain* second, TeIntersectionList* list,
                              int32_t* status) {
    if (!frame("qd_te_fuzzy_int_vect_vect", first, TE_LINE, second, TE_LINE, list, status)) return 0;
    Vect a, b;
    TE_FORM(take_vect, first, &a);
    TE_FORM(take_vect, second, &b);
    GeoCoord point;
    const int hit = qd_te_cogo_segment_intersection(&a.a, &a.b, &b.a, &b.b, &point, 0, nullptr, nullptr);
    return points_to_items(hit == 1 ? 1 : 0, &point, &a.a, &b.a, list, status);
}

int qd_te_fuzzy_int_vect_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                int32_t* status) {
    if (!frame("qd_te_fuzzy_int_vect_circle", first, TE_LINE, second, TE_CIRCLE, list, status)) return 0;
    Vect a;
    TeCircle circle;
    TE_FORM(take_vect, first, &a);
    TE_FORM(qd_te_form_circle, second, &circle);
    GeoCoord pts[2];
    const int n = qd_te_cogo_segment_circle_intersection(&a.a, &a.b, &circle, pts, nullptr);
    return points_to_items(n, pts, &a.a, nullptr, list, status);
}

int qd_te_fuzzy_int_vect_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                             int32_t* status) {
    if (!frame("qd_te_fuzzy_int_vect_arc", first, TE_LINE, second, TE_ARC, list, status)) return 0;
    Vect a;
    TeArc arc;
    TE_FORM(take_vect, first, &a);
    TE_FORM(qd_te_form_arc, second, &arc, 0);
    GeoCoord pts[2];
    const int n = qd_te_cogo_segment_arc_intersection(&a.a, &a.b, &arc, pts, nullptr);
    return points_to_items(n, pts, &a.a, nullptr, list, status);
}

int qd_te_fuzzy_int_cir_cir(TeChain* first, TeChain* second, TeIntersectionList* list,
                            int32_t* status) {
    if (!frame("qd_te_fuzzy_int_cir_cir", first, TE_CIRCLE, second, TE_CIRCLE, list, status)) return 0;
    TeCircle a, b;
    TE_FORM(qd_te_form_circle, first, &a);
    TE_FORM(qd_te_form_circle, second, &b);
    GeoCoord pts[2];
    const int n = qd_te_cogo_circle_intersection(&a, &b, pts, nullptr);
    return points_to_items(n, pts, nullptr, nullptr, list, status);
}

int qd_te_fuzzy_int_cir_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                            int32_t* status) {
    if (!frame("qd_te_fuzzy_int_cir_arc", first, TE_CIRCLE, second, TE_ARC, list, status)) return 0;
    TeCircle a;
    TeArc b;
    TE_FORM(qd_te_form_circle, first, &a);
    TE_FORM(qd_te_form_arc, second, &b, 0);
    GeoCoord pts[2];
    const int n = qd_te_cogo_circle_arc_intersection(&a, &b, pts, nullptr);
    return points_to_items(n, pts, nullptr, nullptr, list, status);
}

int qd_te_fuzzy_int_arc_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                            int32_t* status) {
    if (!frame("qd_te_fuzzy_int_arc_arc", first, TE_ARC, second, TE_ARC, list, status)) return 0;
    TeArc a, b;
    TE_FORM(qd_te_form_arc, first, &a, 0);
    TE_FORM(qd_te_form_arc, second, &b, 0);
    GeoCoord pts[2];
    const int n = qd_te_cogo_arc_intersection(&a, &b, pts, nullptr);
    return points_to_items(n, pts, nullptr, nullptr, list, status);
}

int qd_te_fuzzy_int_path_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                int32_t* status) {
    if (!frame("qd_te_fuzzy_int_path_circle", first, TE_PATH, second, TE_CIRCLE, list, status)) return 0;
    PathCopy path;
    TeCircle circle;
    TE_FORM(qd_te_form_polyline, first, &path.view, 0);
    TE_FORM(qd_te_form_circle, second, &circle);
    const TeBoundedArray array = bounded(path.view);
    return list_answer(qd_te_cogo_polyline_circle_intersections(&array, &circle, list, 0, nullptr),
                       list, status);
}

int qd_te_fuzzy_int_path_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                             int32_t* status) {
    if (!frame("qd_te_fuzzy_int_path_arc", first, TE_PATH, second, TE_ARC, list, status)) return 0;
    PathCopy path;
    TeArc arc;
    TE_FORM(qd_te_form_polyline, first, &path.view, 0);
    TE_FORM(qd_te_form_arc, second, &arc, 0);
    const TeBoundedArray array = bounded(path.view);
    return list_answer(qd_te_cogo_polyline_arc_intersections(&array, &arc, list, 0, nullptr), list,
                       status);
}

int qd_te_fuzzy_int_curve_vect(TeChain* first, TeChain* second, TeIntersectionList* list,
                               int32_t* status) {
    if (!frame("qd_te_fuzzy_int_curve_vect", first, TE_CURVE, second, TE_LINE, list, status)) return 0;
    CurveCopy curve;
    Vect b;
    TE_FORM(qd_te_form_curve, first, &curve.view, 0);
    TE_FORM(take_vect, second, &b);
    return list_answer(qd_te_cogo_segment_curve_intersections(&curve.view.array, &b.a, &b.b, list, nullptr),
                       list, status);
}

int qd_te_fuzzy_int_curve_path(TeChain* first, TeChain* second, TeIntersectionList* list,
                               int32_t* status) {
    if (!frame("qd_te_fuzzy_int_curve_path", first, TE_CURVE, second, TE_PATH, list, status)) return 0;
    CurveCopy curve;
    PathCopy path;
    TE_FORM(qd_te_form_curve, first, &curve.view, 0);
    TE_FORM(qd_te_form_polyline, second, &path.view, 0);
    const TeBoundedArray array = bounded(path.view);
    return list_answer(qd_te_cogo_curve_polyline_intersections(&curve.view.array, &array, list, nullptr),
                       list, status);
}

int qd_te_fuzzy_int_curve_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                 int32_t* status) {
    if (!frame("qd_te_fuzzy_int_curve_circle", first, TE_CURVE, second, TE_CIRCLE, list, status)) return 0;
    CurveCopy curve;
    TeCircle circle;
    TE_FORM(qd_te_form_curve, first, &curve.view, 0);
    TE_FORM(qd_te_form_circle, second, &circle);
    return list_answer(qd_te_cogo_circle_curve_intersections(&curve.view.array, &circle, list, nullptr),
                       list, status);
}

int qd_te_fuzzy_int_curve_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                              int32_t* status) {
    if (!frame("qd_te_fuzzy_int_curve_arc", first, TE_CURVE, second, TE_ARC, list, status)) return 0;
    CurveCopy curve;
    TeArc arc;
    TE_FORM(qd_te_form_curve, first, &curve.view, 0);
    TE_FORM(qd_te_form_arc, second, &arc, 0);
    return list_answer(qd_te_cogo_arc_curve_intersections(&curve.view.array, &arc, list, nullptr),
                       list, status);
}

int qd_te_fuzzy_int_curve_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                int32_t* status) {
    if (!frame("qd_te_fuzzy_int_curve_curve", first, TE_CURVE, second, TE_CURVE, list, status)) return 0;
    CurveCopy a, b;
    TE_FORM(qd_te_form_curve, first, &a.view, 0);
    TE_FORM(qd_te_form_curve, second, &b.view, 0);
    return list_answer(qd_te_cogo_curve_intersections(&a.view.array, &b.view.array, list, nullptr),
                       list, status);
}
