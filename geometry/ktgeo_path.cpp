// Paths: joining the curves of a connected path into one line, orienting
// closed rings, and ordering curves into end-to-end chains.
#include "geometry/ktgeo_path.h"

#include <algorithm>
#include <cstring>

#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_get.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"

namespace {

int not_connected(GeoPath* path) {
    path->closed = 0;
    path->connected = 0;
    QD_FAIL("UKT_7", "what%s", "ST_Path", nullptr);
    return 0;
}

const GeoCoord* at(const nlst* list, uint32_t row) {
    return static_cast<const GeoCoord*>(list->data) + row;
}

// Joins line L onto R by whichever ends coincide; false when none does.
bool join(nlst* r, const nlst* l, bool* ok) {
    const uint32_t n = l->tally;
    const GeoCoord* first = at(l, 0);
    const GeoCoord* last = at(l, n - 1);
    *ok = true;
    if (qd_cogo_same_point(first, at(r, r->tally - 1))) {
        if (n > 1) *ok = nlst_add_many(r, at(l, 1), n - 1) == 1;
    } else if (qd_cogo_same_point(last, at(r, r->tally - 1))) {
        for (uint32_t i = n - 1; *ok && i-- > 0;) *ok = nlst_add(r, at(l, i)) == 1;
    } else if (qd_cogo_same_point(first, at(r, 0))) {
        for (uint32_t i = 1; *ok && i < n; ++i) *ok = nlst_insert(r, at(l, i), 0) == 1;
    } else if (qd_cogo_same_point(last, at(r, 0))) {
        if (n > 1) *ok = nlst_insert_many(r, at(l, 0), 0, n - 1) == 1;
    } else {
        return false;
    }
    return true;
}

}  // namespace

int ktgeo_path_expand(GeoPath* path) {
    if (!path) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_path_expand", "param%s", "path", nullptr);
        return 0;
    }
    if (!path->connected) {
        QD_FAIL("UKT_7", "what%s", "ST_Path", nullptr);
        return 0;
    }
    const uint32_t count = path->curves ? path->curves->tally : 0;
    GeoCurve* curves = count ? static_cast<GeoCurve*>(path->curves->data) : nullptr;
    // Sized by the path's points (at most the usual 65 to start): an object
    // of many small rings keeps one expanded line per ring.
    uint64_t points = 1;
    for (uint32_t i = 0; i < count; ++i)
        if (curves[i].coords) points += curves[i].coords->tally;
    nlst* r = nlst_alloc(sizeof(GeoCoord), uint32_t(std::min<uint64_t>(points, 65)), 64, nullptr);
    if (!r) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        const nlst* l = ktgeo_get_coord_list(&curves[i]);
        if (!l) {
            // Reported where the line was missing.
            path->closed = path->connected = 0;
            nlst_free(r);
            return 0;
        }
        bool ok = true;
        if (r->tally == 0) {
            if (curves[0].direction == KTGEO_DIR_REVERSE) {
                for (uint32_t k = l->tally; ok && k-- > 0;) ok = nlst_add(r, at(l, k)) == 1;
            } else if (l->tally > 0) {
                ok = nlst_add_many(r, l->data, l->tally) == 1;
            }
        } else if (l->tally == 0 || !join(r, l, &ok)) {
            nlst_free(r);
            return not_connected(path);
        }
        if (!ok) {
            nlst_free(r);
            return 0;
        }
    }
    if (path->expanded) nlst_free(path->expanded);
    path->expanded = r;
    return 1;
}

int ktgeo_path_expand_oriented(GeoPath* path, int clockwise) {
    if (!path) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_path_expand_oriented", "param%s", "path", nullptr);
        return 0;
    }
    if (!path->expanded) {
        const int r = ktgeo_path_expand(path);
        if (r != 1) return r;
    }
    if (path->closed && qd_cogo_is_clockwise(path->expanded) != (clockwise ? 1 : 0))
        qd_cogo_reverse(path->expanded);
    return 1;
}

nlst* ktgeo_path_generalize(GeoPath* path, double tolerance) {
    if (!path) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_path_generalize", "param%s", "path", nullptr);
        return nullptr;
    }
    if (!path->connected) {
        QD_FAIL("UKT_7", "what%s", "ST_Path", nullptr);
        return nullptr;
    }
    if (!path->expanded && !ktgeo_path_expand(path)) return nullptr;
    return ktgeo_coord_list_generalize(path->expanded, tolerance);
}

// ------------------------------------------------------------ curve order

namespace {

int sort_refused(const char* function, const char* param) {
    QD_FAIL("UKT_1", "functions%s", function, "parm%s", param, nullptr);
    return 0;
}

bool is_full_circle(const GeoCurve& c) {
    return c.curve_type == KTGEO_CIRCULAR_ARC && c.coords->tally == 3 &&
           qd_cogo_same_point(at(c.coords, 0), at(c.coords, 2));
}

enum class Role { Dropped, NonCurve, Chain };

Role role_of(const GeoCurve& c) {
    if (c.curve_type < KTGEO_POLYLINE || c.curve_type > KTGEO_KT_CURVE) return Role::Dropped;
    if (!c.coords || c.coords->tally < 2) return Role::NonCurve;
    if (c.curve_type == KTGEO_CIRCULAR_ARC) {
        if (c.coords->tally > 3) return Role::Dropped;
        if (is_full_circle(c)) return Role::NonCurve;
    }
    return Role::Chain;
}

bool nodes_meet(const CurveEndNode& a, const CurveEndNode& b) {
    int same = 0;
    ktgeo_get_same_point(&a.point, &b.point, &same);
    return same == 1;
}

}  // namespace

int ktgeo_find_non_curve(const nlst* curves, nlst* result, uint32_t* chain_count) {
    if (!curves) return sort_refused("ktgeo_find_non_curve", "clist");
    uint32_t chains = 0;
    const GeoCurve* c = static_cast<const GeoCurve*>(curves->data);
    for (uint32_t i = 0; i < curves->tally; ++i) {
        const Role role = role_of(c[i]);
        if (role == Role::Chain) ++chains;
        if (role == Role::NonCurve && nlst_add(result, &c[i]) != 1) return 0;
    }
    if (chain_count) *chain_count = chains;
    return 1;
}

int ktgeo_node_add_curve_ends(CurveEndNode* nodes, uint32_t* used, const GeoCurve* curve,
                              int32_t row) {
    const nlst* c = curve->coords;
    nodes[(*used)++] = CurveEndNode{*at(c, 0), 1, row, 0};
    nodes[(*used)++] = CurveEndNode{*at(c, c->tally - 1), 2, row, 0};
    return 1;
}

CurveEndNode* ktgeo_setup_node_lst(const nlst* curves, uint32_t chain_count) {
    if (!curves) return sort_refused("ktgeo_setup_node_lst", "clist"), nullptr;
    const size_t bytes = sizeof(CurveEndNode) * 2 * size_t{chain_count};
    CurveEndNode* nodes = static_cast<CurveEndNode*>(qd_alloc(bytes ? bytes : 1));
    if (!nodes) {
        QD_FAIL("NOMEM", nullptr);
        return nullptr;
    }
    std::memset(nodes, 0, bytes);
    uint32_t used = 0;
    const GeoCurve* c = static_cast<const GeoCurve*>(curves->data);
    for (uint32_t i = 0; i < curves->tally; ++i)
        if (role_of(c[i]) == Role::Chain)
            ktgeo_node_add_curve_ends(nodes, &used, &c[i], static_cast<int32_t>(i));
    return nodes;
}

int ktgeo_node_compare(const void* pa, const void* pb) {
    const CurveEndNode& a = *static_cast<const CurveEndNode*>(pa);
    const CurveEndNode& b = *static_cast<const CurveEndNode*>(pb);
    const double ka[] = {a.point.x, a.point.y, a.point.z};
    const double kb[] = {b.point.x, b.point.y, b.point.z};
    for (int i = 0; i < 3; ++i)
        if (const int c = qd_cogo_compare(ka[i], kb[i])) return c;
    // Ties in (curve row, end) keep the order reproducible.
    if (a.curve != b.curve) return a.curve < b.curve ? -1 : 1;
    if (a.end != b.end) return a.end < b.end ? -1 : 1;
    return 0;
}

int32_t ktgeo_node_find_start(const CurveEndNode* nodes, uint32_t count, uint32_t* used_count) {
    uint32_t used = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (nodes[i].used) {
            ++used;
            continue;
        }
        const bool with_prev = i > 0 && nodes_meet(nodes[i], nodes[i - 1]);
        const bool with_next = i + 1 < count && nodes_meet(nodes[i], nodes[i + 1]);
        if (!with_prev && !with_next) return static_cast<int32_t>(i);
    }
    if (used_count) *used_count = used;
    return -1;
}

int32_t ktgeo_node_first_unused(const CurveEndNode* nodes, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (!nodes[i].used) return static_cast<int32_t>(i);
    return -1;
}

int32_t ktgeo_node_partner(const CurveEndNode* nodes, uint32_t count, int32_t row) {
    for (uint32_t i = 0; i < count; ++i)
        if (static_cast<int32_t>(i) != row && nodes[i].curve == nodes[row].curve) return int32_t(i);
    return -1;
}

int32_t ktgeo_node_next(const CurveEndNode* nodes, uint32_t count, int32_t row) {
    for (int32_t i : {row - 1, row + 1})
        if (i >= 0 && i < static_cast<int32_t>(count) && !nodes[i].used &&
            nodes_meet(nodes[i], nodes[row]))
            return i;
    return -1;
}

int ktgeo_node_take_curve(const nlst* curves, const CurveEndNode* node, nlst* result) {
    GeoCurve* curve = static_cast<GeoCurve*>(curves->data) + node->curve;
    curve->direction = node->end == 1 ? KTGEO_DIR_FORWARD : KTGEO_DIR_REVERSE;
    return nlst_add(result, curve);
}

int ktgeo_node_walk(CurveEndNode* nodes, uint32_t count, int32_t start, const nlst* curves,
                    nlst* result) {
    int32_t n = start;
    while (n >= 0) {
        nodes[n].used = 1;
        const int32_t m = ktgeo_node_partner(nodes, count, n);
        if (m < 0 || ktgeo_node_take_curve(curves, &nodes[n], result) != 1) return 0;
        nodes[m].used = 1;
        n = ktgeo_node_next(nodes, count, m);
    }
    return 1;
}

int ktgeo_curve_sort(GeoPath* path) {
    if (!path) return sort_refused("ktgeo_curve_sort", "path");
    if (!path->curves || path->curves->tally <= 1) return 1;
    nlst* curves = path->curves;
    nlst* q = nlst_alloc(sizeof(GeoCurve), curves->tally, 1, nullptr);
    if (!q) return 0;
    uint32_t chains = 0;
    CurveEndNode* nodes = nullptr;
    bool ok = ktgeo_find_non_curve(curves, q, &chains) == 1;
    if (ok && chains > 0) ok = (nodes = ktgeo_setup_node_lst(curves, chains)) != nullptr;
    const uint32_t count = 2 * chains;
    if (ok && chains > 0) {
        std::sort(nodes, nodes + count, [](const CurveEndNode& a, const CurveEndNode& b) {
            return ktgeo_node_compare(&a, &b) < 0;
        });
        for (;;) {
            uint32_t used = 0;
            int32_t start = ktgeo_node_find_start(nodes, count, &used);
            if (start < 0) {
                if (used == count) break;
                start = ktgeo_node_first_unused(nodes, count);
            }
            if (!ktgeo_node_walk(nodes, count, start, curves, q)) {
                ok = false;
                break;
            }
        }
    }
    qd_free(nodes);
    if (!ok) {
        nlst_free(q);
        return 0;
    }
    // Curves left out of the result are released here; the others now
    // belong to their copies in the result.
    GeoCurve* c = static_cast<GeoCurve*>(curves->data);
    for (uint32_t i = 0; i < curves->tally; ++i)
        if (role_of(c[i]) == Role::Dropped) ktgeo_curve_release(&c[i], nullptr);
    nlst_free(curves);
    path->curves = q;
    return 1;
}
