// Overlay walks: the location of a chain's points (or of a given point
// list) among the region chains linked from it, with boundary contacts,
// vertex coincidences and the holes of regions allowed for; the region
// link by kind, the island-list lookup, the distinct count of region
// lists, the parent clean-up of a buffer polygon and an optional
// rectangle index that spares the walk the regions far from the points.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_geo_overlay.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

struct TeOverlayIndex {
    int32_t kind = 0;
    const void* storage = nullptr;  // the chain list's storage when built
    uint32_t tally = 0;
    std::vector<int32_t> order;     // region chains in walk order from the head
    std::vector<int32_t> position;  // per chain number: place in order, -1
    double ox = 0, oy = 0, cw = 1, ch = 1;
    int64_t columns = 1, rows = 1;
    std::vector<uint32_t> start;  // per cell: first item (cells + 1 entries)
    std::vector<int32_t> items;   // places in order, ascending per cell
    bool plain = false;           // a rectangle without finite corners: walk plainly
};

namespace {

constexpr double kTwoPowMinus50 = 8.8817841970012523e-16;
constexpr double kClosedTolerance = 1e-10;
constexpr int64_t kIndexMaxSide = 1024;
constexpr int64_t kIndexMaxCells = 64;  // an envelope over more cells walks plainly

// A few units in the last place of the extent's largest coordinate.
double extent_floor(const nlst* chains) {
    if (!chains || chains->tally < 1) return 0;
    const TeChain* u = qd_te_chain_at(chains, 0);
    double x = 0;
    for (const GeoCoord& c : u->chain_mer) x = std::max({x, std::fabs(c.x), std::fabs(c.y)});
    return std::isfinite(x) ? x * kTwoPowMinus50 : 0;
}

bool region_type(const TeChain* c) { return c->chain_type == TE_REGION || c->chain_type == TE_ISLAND; }

int32_t link_of(int32_t kind, const TeChain* c) {
    return kind == 1 ? c->link_fore : kind == 2 ? c->link_back : c->link_free;
}

bool disjoint(const GeoCoord* a, const GeoCoord* b) {
    GeoCoord overlap[2];
    return qd_te_cogo_envelope_relation(a, b, overlap) == 8;
}

bool has_int(const nlst* list, int32_t key) {
    int32_t found = 0;
    qd_te_walk_chain_overlay_hole_isl(list, &found, key);
    return found == 1;
}

int add_int(nlst** list, int32_t value) {
    if (!qd_te_append_item_to_list(list, &value, sizeof value)) return qd_te_no_memory();
    return 1;
}

GeoCoord mid(const GeoCoord& a, const GeoCoord& b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2, -1e6}; }

// The points under test and what the walk knows of them.
struct Points {
    std::vector<GeoCoord> p;
    GeoCoord env[2] = {};
    bool closed = false;
    bool given = false;  // from the request's point list
};

// One region's code against the points, before recording.
struct RegionTest {
    const TeOverlayQuery* q;
    const Points* pts;
    double tol;       // of the point tests
    double coincide;  // of ring points on region vertices
    std::vector<uint8_t> bits;
};

int point_code(const GeoCoord& p, TeChain* region, double tol, int32_t* code) {
    return qd_te_geo_overlay_pt_inside_region(&p, region, &tol, code);
}

// The second closure pass: a midpoint of points i and i + 2 that lies
// inside the points' own ring speaks for the ring's interior.
int ring_pass(RegionTest& t, TeChain* region, int32_t* code) {
    const std::vector<GeoCoord>& p = t.pts->p;
    if (p.size() < 4) return 1;
    TeChain ring;
    qd_te_geo_chain_default(&ring);
    ring.chain_type = TE_REGION;
    ring.coords = nlst_alloc(sizeof(TeVertex), uint32_t(p.size()), 8, nullptr);
    if (!ring.coords) return qd_te_no_memory();
    for (const GeoCoord& c : p) {
        const TeVertex v{c.x, c.y, c.z, kClosedTolerance};
        if (!nlst_add(ring.coords, &v)) {
            qd_te_geo_chain_release(&ring);
            return qd_te_no_memory();
        }
    }
    int ok = 1;
    for (size_t i = 0; i + 2 < p.size() && ok; ++i) {
        const GeoCoord m = mid(p[i], p[i + 2]);
        int32_t own = 0;
        const double fine = kClosedTolerance;
        if (!(ok = qd_te_geo_overlay_pt_inside_region(&m, &ring, &fine, &own))) break;
        if (own != TE_LOC_INSIDE) continue;
        int32_t c = 0;
        if (!(ok = point_code(m, region, t.tol, &c))) break;
        if (c == TE_LOC_INSIDE) *code = TE_LOC_INSIDE;
        else if ((c == TE_LOC_OUTSIDE || c == TE_LOC_UNDECIDED) && t.q->strict == 0) *code = TE_LOC_OUTSIDE;
        break;
    }
    qd_te_geo_chain_release(&ring);
    return ok;
}

// Code of one region (12 when decided outside).
int region_code(RegionTest& t, TeChain* region, const nlst* islands, int32_t* code) {
    const TeOverlayQuery& q = *t.q;
    const Points& pts = *t.pts;
    const int32_t n = int32_t(pts.p.size());
    *code = TE_LOC_OUTSIDE;
    if (disjoint(pts.env, region->chain_mer)) return 1;
    if (region->chain_type == TE_REGION && has_int(islands, region->chain_pid)) return 1;
    const bool single = n == 1;
    const bool island = region->chain_type == TE_ISLAND;
    t.bits.assign(size_t(n), 0);
    int32_t all = 0;
    if (!qd_te_walk_chain_overlay_identical(region, pts.p.data(), n, t.bits.data(), pts.env, t.coincide, &all))
        return 0;
    if (all == 1) {
        const uint32_t vertices = region->coords ? region->coords->tally : 0;
        *code = uint32_t(n) >= vertices ? TE_LOC_VERTEX : TE_LOC_EDGE;
        if (q.same_parent == 1 && island) *code = TE_LOC_OUTSIDE;
        else if (q.same_parent == 1 && single) *code = TE_LOC_INSIDE;
        return 1;
    }
    int32_t result = TE_LOC_OUTSIDE;
    bool edge = false;
    for (int32_t i = 0; i < n; ++i) {
        int32_t c = 0;
        if (t.bits[size_t(i)]) c = q.strict == 0 ? TE_LOC_VERTEX : TE_LOC_EDGE;
        else if (!point_code(pts.p[size_t(i)], region, t.tol, &c)) return 0;
        if (c == TE_LOC_INSIDE) {
            *code = TE_LOC_INSIDE;
            return 1;
        }
        if (c == TE_LOC_OUTSIDE || c == TE_LOC_UNDECIDED) {
            if (q.strict == 0) return 1;
            continue;
        }
        if (c == TE_LOC_EDGE) edge = true;
        result = edge ? TE_LOC_EDGE : c;
        if (q.same_parent == 1 && island) result = TE_LOC_OUTSIDE;
        else if (q.same_parent == 1 && single) result = TE_LOC_INSIDE;
    }
    *code = result;
    if (*code != TE_LOC_EDGE || !pts.closed) return 1;
    // Closed points along the boundary: the midpoints of the ring's own
    // edges, then of its diagonals, tell in from out.
    for (int32_t i = 0; i + 1 < n; ++i) {
        const GeoCoord m = mid(pts.p[size_t(i)], pts.p[size_t(i) + 1]);
        int32_t c = 0;
        if (!point_code(m, region, t.tol, &c)) return 0;
        if (c == TE_LOC_INSIDE) {
            *code = TE_LOC_INSIDE;
            return 1;
        }
        if ((c == TE_LOC_OUTSIDE || c == TE_LOC_UNDECIDED) && q.strict == 0) {
            *code = TE_LOC_OUTSIDE;
            return 1;
        }
    }
    return ring_pass(t, region, code);
}

int gather_points(TeOverlayQuery* q, Points* pts, bool* none) {
    *none = false;
    if (q->points && q->points->tally > 0) {
        const GeoCoord* c = static_cast<const GeoCoord*>(q->points->data);
        pts->p.assign(c, c + q->points->tally);
        pts->given = true;
    } else {
        TePathView view{};
        int32_t skip = 0;
        if (!qd_te_form_polyline(q->chain, &view, 1, &skip)) return 0;
        if (skip || view.array.n < 1) {
            qd_free(view.array.pts);
            *none = true;
            return 1;
        }
        const GeoCoord* c = view.array.pts;
        if (view.array.n == 2) pts->p = {c[0], mid(c[0], c[1]), c[1]};
        else pts->p.assign(c, c + view.array.n);
        qd_free(view.array.pts);
    }
    pts->closed = qd_te_same_fuzzy_point(&pts->p.front(), &pts->p.back(), kClosedTolerance) == 1;
    if (q->no_closure == 1) pts->closed = false;
    qd_te_cogo_envelope(pts->env, pts->p.data(), int32_t(pts->p.size()));
    return 1;
}

// Records one region's code; answers true when the walk ends.
int record(TeOverlayQuery* q, const TeChain* region, int32_t number, int32_t code, bool closed, nlst** islands,
           bool* end) {
    *end = false;
    if (region->chain_type == TE_ISLAND) {
        if (code == TE_LOC_INSIDE || code == TE_LOC_EDGE || code == TE_LOC_VERTEX)
            return add_int(islands, region->chain_pid);
        return 1;
    }
    int32_t answer = 0;
    if (code == TE_LOC_INSIDE) answer = TE_LOC_INSIDE;
    else if ((code == TE_LOC_EDGE || code == TE_LOC_VERTEX) && (closed || q->midpoint == 1))
        answer = q->strict == 0 ? TE_LOC_INSIDE : TE_LOC_EDGE;
    if (answer == 0) return 1;
    q->answer = answer;
    q->answer_pid = region->chain_pid;
    q->answer_chain = number;
    const bool go_on = q->collect == 1 || q->pairs == 1;
    if (q->collect == 1 && q->collect_list && !add_int(q->collect_list, region->chain_pid)) return 0;
    if (q->pairs == 1 && q->pairs_list) {
        const TeOverlayPair pair{number, answer};
        if (!qd_te_append_item_to_list(q->pairs_list, &pair, sizeof pair)) return qd_te_no_memory();
    }
    *end = !go_on && (answer == TE_LOC_INSIDE || q->strict == 0);
    return 1;
}

// Candidate places in the index's order, ascending, for an envelope; false
// when the envelope covers too many cells (walk plainly then).
bool index_candidates(const TeOverlayIndex& ix, const GeoCoord env[2], std::vector<int32_t>* out) {
    auto col = [&](double x) {
        const double f = std::floor((x - ix.ox) / ix.cw);
        return int64_t(std::clamp(f, 0.0, double(ix.columns - 1)));
    };
    auto row = [&](double y) {
        const double f = std::floor((y - ix.oy) / ix.ch);
        return int64_t(std::clamp(f, 0.0, double(ix.rows - 1)));
    };
    if (!std::isfinite(env[0].x) || !std::isfinite(env[0].y) || !std::isfinite(env[1].x) || !std::isfinite(env[1].y))
        return false;
    const int64_t c0 = col(env[0].x), c1 = col(env[1].x), r0 = row(env[0].y), r1 = row(env[1].y);
    if ((c1 - c0 + 1) * (r1 - r0 + 1) > kIndexMaxCells) return false;
    out->clear();
    for (int64_t r = r0; r <= r1; ++r)
        for (int64_t c = c0; c <= c1; ++c) {
            const size_t cell = size_t(r * ix.columns + c);
            out->insert(out->end(), ix.items.begin() + ix.start[cell], ix.items.begin() + ix.start[cell + 1]);
        }
    std::sort(out->begin(), out->end());
    out->erase(std::unique(out->begin(), out->end()), out->end());
    return true;
}

}  // namespace

double qd_te_overlay_tolerance(const nlst* chains) {
    return std::max(1.05 * qd_te_cogo_tolerance(nullptr), extent_floor(chains));
}

void qd_te_overlay_query_init(TeOverlayQuery* q, int32_t kind, TeChain* chain) {
    std::memset(q, 0, sizeof *q);
    q->kind = kind;
    q->chain = chain;
    q->answer = TE_LOC_OUTSIDE;
    q->answer_pid = -1;
    q->answer_chain = -1;
}

int qd_te_walk_overlay_get_next_region(int32_t kind, const TeChain* chain, int32_t* link) {
    if (!chain || !link) return qd_te_missing("qd_te_walk_overlay_get_next_region");
    *link = link_of(kind, chain);
    return 1;
}

int qd_te_walk_chain_overlay_hole_isl(const nlst* list, int32_t* found, int32_t key) {
    if (!found) return qd_te_missing("qd_te_walk_chain_overlay_hole_isl");
    *found = 0;
    if (!list) return 1;
    const int32_t* v = static_cast<const int32_t*>(list->data);
    for (uint32_t i = 0; i < list->tally; ++i)
        if (v[i] == key) {
            *found = 1;
            break;
        }
    return 1;
}

int qd_te_walk_chain_overlay_identical(const TeChain* region, const GeoCoord* points, int32_t n, uint8_t* bits,
                                       const GeoCoord* envelope, double tolerance, int32_t* all_found) {
    if (!region || !bits || !all_found || (n > 0 && !points))
        return qd_te_missing("qd_te_walk_chain_overlay_identical");
    const double tol = std::max(tolerance, qd_te_cogo_tolerance(nullptr));
    const double match = tol + 1e-10;
    *all_found = 1;
    std::vector<GeoCoord> v;
    if (region->coords) {
        const TeVertex* rv = static_cast<const TeVertex*>(region->coords->data);
        for (uint32_t i = 0; i < region->coords->tally; ++i) {
            const GeoCoord c{rv[i].x, rv[i].y, rv[i].z};
            if (envelope && (c.x < envelope[0].x - match || c.x > envelope[1].x + match ||
                             c.y < envelope[0].y - match || c.y > envelope[1].y + match))
                continue;
            v.push_back(c);
        }
    }
    if (v.empty()) {
        *all_found = 0;
        return 1;
    }
    auto before = [](const GeoCoord& a, const GeoCoord& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); };
    std::sort(v.begin(), v.end(), before);
    for (int32_t i = 0; i < n; ++i) {
        const GeoCoord& p = points[i];
        if (envelope && (p.x < envelope[0].x || p.x > envelope[1].x || p.y < envelope[0].y || p.y > envelope[1].y)) {
            *all_found = 0;
            continue;
        }
        size_t k = size_t(std::lower_bound(v.begin(), v.end(), p, before) - v.begin());
        if (k == v.size()) k = v.size() - 1;
        while (k > 0 && v[k - 1].x >= p.x - match) --k;
        bool hit = false;
        for (; k < v.size() && v[k].x <= p.x + match; ++k)
            if (qd_te_same_fuzzy_point(&p, &v[k], tol) == 1) {
                hit = true;
                break;
            }
        if (hit) bits[i] = 1;
        else *all_found = 0;
    }
    return 1;
}

int qd_te_walk_chain_overlay_reg(TeOverlayQuery* q, const nlst* chains) {
    if (!q || !chains || !q->chain) return qd_te_missing("qd_te_walk_chain_overlay_reg");
    double tol = qd_te_overlay_tolerance(chains);
    if (q->tolerance && *q->tolerance >= tol) tol = *q->tolerance;
    int32_t link = link_of(q->kind, q->chain);
    if (link < 0) {
        q->answer = TE_LOC_OUTSIDE;
        return 1;
    }
    if (uint32_t(link) >= chains->tally) return qd_te_missing("qd_te_walk_chain_overlay_reg");
    q->answer = TE_LOC_OUTSIDE;
    Points pts;
    bool none = false;
    if (!gather_points(q, &pts, &none)) return 0;
    if (none) return 1;
    RegionTest test{q, &pts, tol, std::max(qd_te_cogo_tolerance(nullptr), extent_floor(chains)), {}};
    nlst* islands = nullptr;
    int ok = 1;
    const TeChain* query = q->chain;
    auto visit = [&](int32_t number, bool* end) {
        TeChain* r = qd_te_chain_at(chains, number);
        *end = false;
        if (!region_type(r)) return 1;
        if (!pts.given && q->same_parent == 0 && r->chain_pid == query->chain_pid) return 1;
        int32_t code = 0;
        if (!region_code(test, r, islands, &code)) return 0;
        return record(q, r, number, code, pts.closed, &islands, end);
    };
    const TeOverlayIndex* ix = q->index;
    std::vector<int32_t> candidates;
    const bool indexed = ix && !ix->plain && ix->kind == q->kind && ix->storage == chains->data && ix->tally == chains->tally &&
                         ix->position[size_t(link)] >= 0 && index_candidates(*ix, pts.env, &candidates);
    if (indexed) {
        const int32_t from = ix->position[size_t(link)];
        for (auto it = std::lower_bound(candidates.begin(), candidates.end(), from); it != candidates.end() && ok;
             ++it) {
            bool end = false;
            ok = visit(ix->order[size_t(*it)], &end);
            if (end) break;
        }
    } else {
        // Links run toward earlier chains; the count bounds a broken list.
        for (uint32_t steps = 0; ok && link > 0; ++steps) {
            if (uint32_t(link) >= chains->tally || steps >= chains->tally) {
                ok = qd_te_missing("qd_te_walk_chain_overlay_reg");
                break;
            }
            bool end = false;
            ok = visit(link, &end);
            if (end) break;
            link = link_of(q->kind, qd_te_chain_at(chains, link));
        }
    }
    if (islands) nlst_free(islands);
    return ok;
}

int qd_te_walk_overlay_point(int32_t kind, TeChain* chain, const nlst* points, const nlst* chains,
                             int32_t same_parent, int32_t collect, int32_t strict, const double* tolerance,
                             nlst** collect_list, int32_t* region) {
    TeOverlayQuery q;
    qd_te_overlay_query_init(&q, kind, chain);
    q.points = points;
    q.same_parent = same_parent;
    q.collect = collect;
    q.strict = strict;
    q.tolerance = tolerance;
    q.collect_list = collect == 1 ? collect_list : nullptr;
    if (!qd_te_walk_chain_overlay_reg(&q, chains)) return 0;
    if (region) *region = q.answer_chain;
    return q.answer;
}

int qd_te_poly_count_cutter(nlst* list, int32_t* count, int32_t remove) {
    if (!count) return qd_te_missing("qd_te_poly_count_cutter");
    *count = 0;
    if (!list || list->tally == 0) return 1;
    int32_t* v = static_cast<int32_t*>(list->data);
    std::sort(v, v + list->tally);
    for (uint32_t i = 0; i < list->tally; ++i)
        if (i == 0 || v[i] != v[i - 1]) ++*count;
    if (remove == 1) {
        std::unique(v, v + list->tally);
        nlst_trunc(list, uint32_t(*count));
    }
    return 1;
}

int qd_te_walk_overlay_cutter_buffer(const TePolygon* polygon, nlst* chains) {
    if (!polygon || !chains) return qd_te_missing("qd_te_walk_overlay_cutter_buffer");
    if (polygon->discard == 1) return 1;
    const int32_t start = polygon->start_chain;
    if (start < 0 || uint32_t(start) >= chains->tally) return qd_te_missing("qd_te_walk_overlay_cutter_buffer");
    const TeChain* s = qd_te_chain_at(chains, start);
    int32_t value = 0;
    if (s->poly_left == polygon->id) value = start;
    else if (s->poly_right == polygon->id) value = -start;
    else return qd_te_missing("qd_te_walk_overlay_cutter_buffer");
    const int32_t first = value;
    // Each chain side at most once: twice the chain count bounds the walk.
    for (uint32_t steps = 0; steps <= 2 * chains->tally && value != INT32_MIN; ++steps) {
        const int32_t number = value > 0 ? value : -value;
        if (number <= 0 || uint32_t(number) >= chains->tally) break;
        TeChain* c = qd_te_chain_at(chains, number);
        nlst*& side = c->poly_right == polygon->id ? c->right_parent : c->left_parent;
        if (side) nlst_free(side);
        side = nullptr;
        value = value > 0 ? c->left_link : c->right_link;
        if (value == first) return 1;
    }
    return qd_te_missing("qd_te_walk_overlay_cutter_buffer");
}

int qd_te_overlay_index_build(TeOverlayIndex** holder, const nlst* chains, int32_t kind) {
    if (!holder || !chains || chains->tally < 1) return qd_te_missing("qd_te_overlay_index_build");
    auto* ix = new (std::nothrow) TeOverlayIndex;
    if (!ix) return qd_te_no_memory();
    ix->kind = kind;
    ix->storage = chains->data;
    ix->tally = chains->tally;
    ix->position.assign(chains->tally, -1);
    GeoCoord box[2] = {{1e300, 1e300, 0}, {-1e300, -1e300, 0}};
    int32_t link = link_of(kind, qd_te_chain_at(chains, 0));
    for (uint32_t steps = 0; link > 0; ++steps) {
        if (uint32_t(link) >= chains->tally || steps >= chains->tally || ix->position[size_t(link)] >= 0) {
            delete ix;
            return qd_te_missing("qd_te_overlay_index_build");
        }
        ix->position[size_t(link)] = int32_t(ix->order.size());
        ix->order.push_back(link);
        const TeChain* r = qd_te_chain_at(chains, link);
        for (const GeoCoord& c : r->chain_mer)
            if (!std::isfinite(c.x) || !std::isfinite(c.y)) ix->plain = true;
        if (r->chain_mer[0].x > r->chain_mer[1].x || r->chain_mer[0].y > r->chain_mer[1].y) ix->plain = true;
        qd_te_mer_union(box, r->chain_mer);
        link = link_of(kind, r);
    }
    const size_t n = ix->plain ? 0 : ix->order.size();
    if (n > 0 && box[0].x <= box[1].x && box[0].y <= box[1].y) {
        const int64_t side = std::clamp<int64_t>(int64_t(std::ceil(std::sqrt(double(n)))), 1, kIndexMaxSide);
        const double w = box[1].x - box[0].x, h = box[1].y - box[0].y;
        if (!std::isfinite(w) || !std::isfinite(h)) {
            ix->plain = true;
            *holder = ix;
            return 1;
        }
        ix->ox = box[0].x;
        ix->oy = box[0].y;
        ix->cw = w > 0 ? w / double(side) * (1 + 1e-12) : 1;
        ix->ch = h > 0 ? h / double(side) * (1 + 1e-12) : 1;
        ix->columns = w > 0 ? side : 1;
        ix->rows = h > 0 ? side : 1;
    }
    auto col = [&](double x) {
        return int64_t(std::clamp(std::floor((x - ix->ox) / ix->cw), 0.0, double(ix->columns - 1)));
    };
    auto row = [&](double y) {
        return int64_t(std::clamp(std::floor((y - ix->oy) / ix->ch), 0.0, double(ix->rows - 1)));
    };
    // Rectangles over many cells each: an index would outgrow the list.
    int64_t total = 0;
    for (size_t i = 0; i < n; ++i) {
        const TeChain* r = qd_te_chain_at(chains, ix->order[i]);
        total += (col(r->chain_mer[1].x) - col(r->chain_mer[0].x) + 1) * (row(r->chain_mer[1].y) - row(r->chain_mer[0].y) + 1);
    }
    if (total > 16 * int64_t(n) + (int64_t(1) << 20)) {
        ix->plain = true;
        *holder = ix;
        return 1;
    }
    const size_t cells = size_t(ix->columns * ix->rows);
    std::vector<std::pair<int64_t, int32_t>> entries;
    entries.reserve(size_t(total));
    GeoCoord env[2];
    for (size_t i = 0; i < n; ++i) {
        const TeChain* r = qd_te_chain_at(chains, ix->order[i]);
        env[0] = r->chain_mer[0];
        env[1] = r->chain_mer[1];
        const int64_t c0 = col(env[0].x), c1 = col(env[1].x), r0 = row(env[0].y), r1 = row(env[1].y);
        for (int64_t y = r0; y <= r1; ++y)
            for (int64_t x = c0; x <= c1; ++x) entries.push_back({y * ix->columns + x, int32_t(i)});
    }
    std::sort(entries.begin(), entries.end());
    ix->start.assign(cells + 1, 0);
    ix->items.reserve(entries.size());
    for (const auto& e : entries) {
        ++ix->start[size_t(e.first) + 1];
        ix->items.push_back(e.second);
    }
    for (size_t c = 0; c < cells; ++c) ix->start[c + 1] += ix->start[c];
    *holder = ix;
    return 1;
}

void qd_te_overlay_index_free(TeOverlayIndex** holder) {
    if (!holder) return;
    delete *holder;
    *holder = nullptr;
}
