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

namespace {

// The kind of chain each view is formed from, and the one way the pair
// routines form it.
template <class View> constexpr int32_t kind_of = 0;
template <> constexpr int32_t kind_of<Vect> = TE_LINE;
template <> constexpr int32_t kind_of<TeCircle> = TE_CIRCLE;
template <> constexpr int32_t kind_of<TeArc> = TE_ARC;
template <> constexpr int32_t kind_of<PathCopy> = TE_PATH;
template <> constexpr int32_t kind_of<CurveCopy> = TE_CURVE;
int form_view(TeChain* c, Vect* v, int32_t* skip) { return take_vect(c, v, skip); }
int form_view(TeChain* c, TeCircle* v, int32_t* skip) { return qd_te_form_circle(c, v, skip); }
int form_view(TeChain* c, TeArc* v, int32_t* skip) { return qd_te_form_arc(c, v, 0, skip); }
int form_view(TeChain* c, PathCopy* v, int32_t* skip) { return qd_te_form_polyline(c, &v->view, 0, skip); }
int form_view(TeChain* c, CurveCopy* v, int32_t* skip) { return qd_te_form_curve(c, &v->view, 0, skip); }

// Where the offsets of a one- or two-point answer are measured from: a
// LINE's first end; arcs and circles give none.
const GeoCoord* offset_origin(const Vect& v) { return &v.a; }
const GeoCoord* offset_origin(const TeCircle&) { return nullptr; }
const GeoCoord* offset_origin(const TeArc&) { return nullptr; }

// A pair of views A and B: the frame, both views formed (first, then
// second), then meet(a, b).
template <class A, class B, class Meet>
int formed(const char* name, TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status,
           Meet meet) {
    if (!frame(name, first, kind_of<A>, second, kind_of<B>, list, status)) return 0;
    A a;
    B b;
    TE_FORM(form_view, first, &a);
    TE_FORM(form_view, second, &b);
    return meet(a, b);
}

// A pair whose geometry answers at most two points: n = meet(a, b, pts).
template <class A, class B, class Meet>
int point_pair(const char* name, TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status,
               Meet meet) {
    return formed<A, B>(name, first, second, list, status, [&](A& a, B& b) {
        GeoCoord pts[2];
        const int n = meet(a, b, pts);
        return points_to_items(n, pts, offset_origin(a), offset_origin(b), list, status);
    });
}

// A pair whose geometry fills the list: meet(a, b) answers as the list
// routines do.
template <class A, class B, class Meet>
int list_pair(const char* name, TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status,
              Meet meet) {
    return formed<A, B>(name, first, second, list, status,
                        [&](A& a, B& b) { return list_answer(meet(a, b), list, status); });
}

}  // namespace

int qd_te_fuzzy_int_vect_vect(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [](Vect& a, Vect& b, GeoCoord* pts) {
        return qd_te_cogo_segment_intersection(&a.a, &a.b, &b.a, &b.b, pts, 0, nullptr, nullptr) == 1 ? 1 : 0;
    };
    return point_pair<Vect, Vect>("qd_te_fuzzy_int_vect_vect", first, second, list, status, meet);
}

int qd_te_fuzzy_int_vect_circle(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [](Vect& a, TeCircle& b, GeoCoord* pts) {
        return qd_te_cogo_segment_circle_intersection(&a.a, &a.b, &b, pts, nullptr);
    };
    return point_pair<Vect, TeCircle>("qd_te_fuzzy_int_vect_circle", first, second, list, status, meet);
}

int qd_te_fuzzy_int_vect_arc(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [](Vect& a, TeArc& b, GeoCoord* pts) {
        return qd_te_cogo_segment_arc_intersection(&a.a, &a.b, &b, pts, nullptr);
    };
    return point_pair<Vect, TeArc>("qd_te_fuzzy_int_vect_arc", first, second, list, status, meet);
}

int qd_te_fuzzy_int_cir_cir(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [](TeCircle& a, TeCircle& b, GeoCoord* pts) {
        return qd_te_cogo_circle_intersection(&a, &b, pts, nullptr);
    };
    return point_pair<TeCircle, TeCircle>("qd_te_fuzzy_int_cir_cir", first, second, list, status, meet);
}

int qd_te_fuzzy_int_cir_arc(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [](TeCircle& a, TeArc& b, GeoCoord* pts) {
        return qd_te_cogo_circle_arc_intersection(&a, &b, pts, nullptr);
    };
    return point_pair<TeCircle, TeArc>("qd_te_fuzzy_int_cir_arc", first, second, list, status, meet);
}

int qd_te_fuzzy_int_arc_arc(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [](TeArc& a, TeArc& b, GeoCoord* pts) { return qd_te_cogo_arc_intersection(&a, &b, pts, nullptr); };
    return point_pair<TeArc, TeArc>("qd_te_fuzzy_int_arc_arc", first, second, list, status, meet);
}

int qd_te_fuzzy_int_path_circle(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [&](PathCopy& a, TeCircle& b) {
        const TeBoundedArray array = bounded(a.view);
        return qd_te_cogo_polyline_circle_intersections(&array, &b, list, 0, nullptr);
    };
    return list_pair<PathCopy, TeCircle>("qd_te_fuzzy_int_path_circle", first, second, list, status, meet);
}

int qd_te_fuzzy_int_path_arc(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [&](PathCopy& a, TeArc& b) {
        const TeBoundedArray array = bounded(a.view);
        return qd_te_cogo_polyline_arc_intersections(&array, &b, list, 0, nullptr);
    };
    return list_pair<PathCopy, TeArc>("qd_te_fuzzy_int_path_arc", first, second, list, status, meet);
}

int qd_te_fuzzy_int_curve_vect(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [&](CurveCopy& a, Vect& b) {
        return qd_te_cogo_segment_curve_intersections(&a.view.array, &b.a, &b.b, list, nullptr);
    };
    return list_pair<CurveCopy, Vect>("qd_te_fuzzy_int_curve_vect", first, second, list, status, meet);
}

int qd_te_fuzzy_int_curve_path(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [&](CurveCopy& a, PathCopy& b) {
        const TeBoundedArray array = bounded(b.view);
        return qd_te_cogo_curve_polyline_intersections(&a.view.array, &array, list, nullptr);
    };
    return list_pair<CurveCopy, PathCopy>("qd_te_fuzzy_int_curve_path", first, second, list, status, meet);
}

int qd_te_fuzzy_int_curve_circle(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [&](CurveCopy& a, TeCircle& b) {
        return qd_te_cogo_circle_curve_intersections(&a.view.array, &b, list, nullptr);
    };
    return list_pair<CurveCopy, TeCircle>("qd_te_fuzzy_int_curve_circle", first, second, list, status, meet);
}

int qd_te_fuzzy_int_curve_arc(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [&](CurveCopy& a, TeArc& b) {
        return qd_te_cogo_arc_curve_intersections(&a.view.array, &b, list, nullptr);
    };
    return list_pair<CurveCopy, TeArc>("qd_te_fuzzy_int_curve_arc", first, second, list, status, meet);
}

int qd_te_fuzzy_int_curve_curve(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    auto meet = [&](CurveCopy& a, CurveCopy& b) {
        return qd_te_cogo_curve_intersections(&a.view.array, &b.view.array, list, nullptr);
    };
    return list_pair<CurveCopy, CurveCopy>("qd_te_fuzzy_int_curve_curve", first, second, list, status, meet);
}
