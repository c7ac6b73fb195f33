// Cutting arcs and circles at split nodes into three-point arcs, each piece
// with a middle point on the circle halfway in angle between its ends. A
// geometric failure (no circle, no halfway point, a point off the arc) is
// no cut, not an error.
#include <algorithm>
#include <cmath>

#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"
#include "geometry/topology/split/qd_te_split_work.h"

namespace {

TeVertex* vertices(const TeChain* c) { return static_cast<TeVertex*>(c->coords->data); }
uint32_t count_of(const TeChain* c) { return c->coords ? c->coords->tally : 0; }
GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }

bool on_arc(const TeArc3& arc, const GeoCoord& p, double t) {
    const double tol = std::fmax(t, 1e-8);
    return qd_te_cogo_point_on_arc3(&arc, &p, &tol) == 1;
}

bool arc_through(const GeoCoord& a, const GeoCoord& b, const GeoCoord& c, TeArc* out = nullptr) {
    TeArc arc;
    if (qd_te_cogo_arc_from_points(&a, &b, &c, &arc, nullptr) != -1) return false;
    if (out) *out = arc;
    return true;
}

// Of the two halfway candidates of one part (a, ?, b), the one on the
// uncut arc whose own arc does not reach the uncut arc's other end.
GeoCoord choose(const GeoCoord c[2], const TeArc3& uncut, const GeoCoord& a, const GeoCoord& b,
                const GeoCoord& other_end, double t) {
    TeArc part;
    const bool first_on = on_arc(uncut, c[0], t), second_on = on_arc(uncut, c[1], t);
    bool take_second = !first_on;
    if (!take_second && second_on) {
        const bool made = arc_through(a, c[0], b, &part);
        take_second = !made || qd_te_cogo_point_on_arc(&part, &other_end, nullptr) == 1;
    }
    return take_second ? c[1] : c[0];
}

// Turns a copy of the chain into the arc through the three points, or a
// line when they are straight.
void form_piece(TeChain* piece) {
    TeArc arc;
    int32_t skip = 0;
    if (qd_te_form_arc(piece, &arc, 0, &skip) && !skip) {
        piece->radius = arc.radius;
        return;
    }
    piece->discard = CHAIN_OK;
    piece->chain_type = TE_LINE;
    piece->radius = 0;
    nlst_remove(piece->coords, 1);
}

// The common start of cutting an ARC (3 vertices) or a CIRCLE (1 vertex):
// checks, then the nodes ordered. *go tells whether to cut.
int prepare(TeChain* chain, int32_t type, uint32_t vertices_wanted, nlst* nodes, nlst** pieces, double t,
            const char* name, bool* go) {
    *go = false;
    if (!chain || !pieces || chain->chain_type != type) return qd_te_missing(name);
    if (chain->discard != CHAIN_OK) return 1;
    if (count_of(chain) != vertices_wanted) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    if (!nodes || nodes->tally == 0) return 1;
    if (!qd_te_split_check_nodes(nodes, int32_t(vertices_wanted), name) || !qd_te_split_sort_nodes(nodes, t)) return 0;
    *go = true;
    return 1;
}

}  // namespace

int qd_te_split_arc_get_middle_points(GeoCoord* m1, GeoCoord* m2, int32_t* cut, double t, const TeArc3* arc,
                                      GeoCoord* p) {
    if (!m1 || !m2 || !cut || !arc || !p) return qd_te_missing("qd_te_split_arc_get_middle_points");
    *cut = 0;
    if (qd_te_same_fuzzy_point(&arc->start, &arc->end, 1e-10) || qd_te_same_fuzzy_point(p, &arc->start, t) ||
        qd_te_same_fuzzy_point(p, &arc->end, t) || !on_arc(*arc, *p, t))
        return 1;
    TeCircle circle;
    if (qd_te_cogo_circle_from_points(&arc->start, &arc->mid, &arc->end, &circle, nullptr) != -1) return 1;
    *m1 = arc->start;
    *m2 = arc->end;
    GeoCoord c1[2], c2[2];
    int32_t degenerate = 0;
    if (!qd_te_split_cir_midptn(&arc->start, p, &circle, c1, &degenerate)) return 0;
    if (degenerate) return 1;
    if (!qd_te_split_cir_midptn(p, &arc->end, &circle, c2, &degenerate)) return 0;
    if (degenerate) return 1;
    const GeoCoord a = choose(c1, *arc, arc->start, *p, arc->end, t);
    const GeoCoord b = choose(c2, *arc, *p, arc->end, arc->start, t);
    if (!on_arc(*arc, a, t) || !on_arc(*arc, b, t) || !arc_through(arc->start, a, *p) || !arc_through(*p, b, arc->end))
        return 1;
    *m1 = a;
    *m2 = b;
    qd_te_cogo_interpolate_z_arc3(arc, m1);
    qd_te_cogo_interpolate_z_arc3(arc, m2);
    qd_te_cogo_interpolate_z_arc3(arc, p);
    *cut = 1;
    return 1;
}

int qd_te_split_arc(TeChain* chain, const TeSplitNode* node, nlst** pieces, double t, int32_t* cut) {
    if (!chain || !node || !pieces || !cut) return qd_te_missing("qd_te_split_arc");
    *cut = 0;
    if (chain->discard != CHAIN_OK || chain->chain_type != TE_ARC) return 1;
    if (count_of(chain) != 3) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    const TeVertex* v = vertices(chain);
    const GeoCoord first = coord_of(v[0]), last = coord_of(v[2]);
    if (qd_te_same_fuzzy_point(&node->point, &first, t) || qd_te_same_fuzzy_point(&node->point, &last, t)) return 1;
    TeArc3 a3;
    int32_t skip = 0;
    if (!qd_te_form_arc3(chain, &a3, 0, &skip)) return 0;
    if (skip) return 1;
    GeoCoord m1, m2, p = node->point;
    int32_t made = 0;
    if (!qd_te_split_arc_get_middle_points(&m1, &m2, &made, t, &a3, &p)) return 0;
    if (!made) return 1;
    const double mid_tol = vertices(chain)[1].tol;
    const TeVertex at = {p.x, p.y, p.z, node->tol};
    const TeVertex parts[2][3] = {{vertices(chain)[0], {m1.x, m1.y, m1.z, mid_tol}, at},
                                  {at, {m2.x, m2.y, m2.z, mid_tol}, vertices(chain)[2]}};
    for (const auto& part : parts) {
        TeChain piece;
        if (!qd_te_geo_copy_chain(chain, &piece, 1)) return 0;
        nlst_replace_many(piece.coords, part, 0, 3);
        form_piece(&piece);
        if (!qd_te_append_item_to_list(pieces, &piece, sizeof piece)) {
            qd_te_geo_chain_release(&piece);
            return 0;
        }
    }
    *cut = 1;
    return 1;
}

int qd_te_split_group_of_arcs(const TeSplitNode* node, nlst* arcs, double t) {
    if (!node || !arcs || arcs->tally == 0) return qd_te_missing("qd_te_split_group_of_arcs");
    uint32_t i = 0;
    while (i < arcs->tally) {
        TeChainsHolder pieces;
        int32_t cut = 0;
        if (!qd_te_split_arc(qd_te_chain_at(arcs, int32_t(i)), node, &pieces.list, t, &cut)) return 0;
        if (!cut) {
            ++i;
            continue;
        }
        qd_te_geo_chain_release(qd_te_chain_at(arcs, int32_t(i)));
        nlst_remove(arcs, i);
        // The pieces move into the group (their records reset here).
        for (uint32_t k = 0; k < pieces.list->tally; ++k) {
            TeChain* p = qd_te_chain_at(pieces.list, int32_t(k));
            if (!nlst_add(arcs, p)) return qd_te_no_memory();
            qd_te_geo_chain_default(p);
        }
    }
    return 1;
}

int qd_te_split_chain_arc(TeChain* chain, nlst* nodes, nlst** pieces, double t) {
    bool go = false;
    if (!prepare(chain, TE_ARC, 3, nodes, pieces, t, "qd_te_split_chain_arc", &go)) return 0;
    if (!go) return 1;
    TeChainsHolder work;
    TeChain copy;
    if (!qd_te_geo_copy_chain(chain, &copy, 1)) return 0;
    if (!qd_te_append_item_to_list(&work.list, &copy, sizeof copy)) {
        qd_te_geo_chain_release(&copy);
        return 0;
    }
    for (uint32_t i = 0; i < nodes->tally; ++i)
        if (!qd_te_split_group_of_arcs(static_cast<const TeSplitNode*>(nodes->data) + i, work.list, t)) return 0;
    if (work.list->tally < 2) return 1;
    return qd_te_split_move_pieces(work.list, pieces, t);
}

int qd_te_split_make_circle_arc(TeChain* chain, int32_t* not_made, const GeoCoord* points, int32_t count) {
    if (!chain || !not_made || !points) return qd_te_missing("qd_te_split_make_circle_arc");
    *not_made = 1;
    if (chain->discard != CHAIN_OK || count_of(chain) != 1 || count != 3) return 1;
    TeArc arc;
    if (!arc_through(points[0], points[1], points[2], &arc)) return 1;
    const double tol = vertices(chain)->tol;
    nlst* list = nlst_alloc(sizeof(TeVertex), 3, 1, nullptr);
    if (!list) return qd_te_no_memory();
    for (int32_t i = 0; i < 3; ++i) {
        const TeVertex v = {points[i].x, points[i].y, points[i].z, tol};
        nlst_add(list, &v);
    }
    nlst_free(chain->coords);
    chain->coords = list;
    chain->chain_type = TE_ARC;
    chain->radius = arc.radius;
    *not_made = 0;
    return 1;
}

int qd_te_split_circle(const GeoCoord* p1, const GeoCoord* p2, TeChain* chain, nlst** arcs) {
    if (!chain || !p2 || !arcs || chain->chain_type != TE_CIRCLE) return qd_te_missing("qd_te_split_circle");
    if (chain->discard != CHAIN_OK) return 1;
    if (count_of(chain) != 1) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    TeCircle circle;
    int32_t skip = 0;
    if (!qd_te_form_circle(chain, &circle, &skip)) return 0;
    if (skip) {
        chain->discard = CHAIN_OK;  // a circle the view refuses is left as it is
        return 1;
    }
    GeoCoord q[2];
    if (p1 && !qd_te_same_fuzzy_point(p1, p2, 1e-10)) {
        q[0] = *p2;
        q[1] = *p1;
    } else {
        double ux, uy;
        if (qd_te_cogo_unit_direction(&circle.centre, p2, &ux, &uy, nullptr) != -1) return 1;
        q[0] = {circle.centre.x + circle.radius * ux, circle.centre.y + circle.radius * uy, p2->z};
        q[1] = {circle.centre.x - circle.radius * ux, circle.centre.y - circle.radius * uy, p2->z};
    }
    GeoCoord c[2];
    int32_t degenerate = 0;
    if (!qd_te_split_cir_midptn(&q[0], &q[1], &circle, c, &degenerate)) return 0;
    if (degenerate) return 1;
    TeChain made[2];
    for (int k = 0; k < 2; ++k) {
        int32_t not_made = 1;
        const GeoCoord pts[3] = {q[0], c[k], q[1]};
        bool ok = qd_te_geo_copy_chain(chain, &made[k], 1) == 1;
        if (ok) ok = qd_te_split_make_circle_arc(&made[k], &not_made, pts, 3) == 1;
        if (!ok || not_made) {
            for (int j = 0; j <= k; ++j) qd_te_geo_chain_release(&made[j]);
            return ok ? 1 : 0;
        }
    }
    for (int k = 0; k < 2; ++k)
        if (!qd_te_append_item_to_list(arcs, &made[k], sizeof made[k])) {
            for (int j = k; j < 2; ++j) qd_te_geo_chain_release(&made[j]);
            return 0;
        }
    return 1;
}

int qd_te_split_chain_circle(TeChain* chain, nlst* nodes, nlst** pieces, double t) {
    bool go = false;
    if (!prepare(chain, TE_CIRCLE, 1, nodes, pieces, t, "qd_te_split_chain_circle", &go)) return 0;
    if (!go) return 1;
    const auto* n = static_cast<const TeSplitNode*>(nodes->data);
    TeChainsHolder work;
    if (!qd_te_split_circle(nodes->tally >= 2 ? &n[1].point : nullptr, &n[0].point, chain, &work.list)) return 0;
    if (!work.list || work.list->tally < 2) return 1;
    for (uint32_t i = 0; i < nodes->tally; ++i)
        if (!qd_te_split_group_of_arcs(n + i, work.list, t)) return 0;
    return qd_te_split_move_pieces(work.list, pieces, t);
}
