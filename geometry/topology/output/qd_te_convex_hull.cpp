// Convex hull output: the hull of every vertex of the live chains, handed
// out as points or run through the pipeline once more as a new chain.
#include <algorithm>
#include <vector>

#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

namespace {

// Twice the signed area of (a, b, c): above 0 for a counter-clockwise turn.
double turn(const double* a, const double* b, const double* c) {
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

bool live_vertices(const TeChain* c) {
    return c->discard == CHAIN_OK && c->chain_type != TE_REGION && c->chain_type != TE_ISLAND && c->coords;
}

}  // namespace

int qd_te_convex_hull_order(nlst* points) {
    if (!points) return qd_te_missing("qd_te_convex_hull_order");
    const uint32_t n = points->tally;
    if (n <= 3) return 1;
    TeHullPoint* p = static_cast<TeHullPoint*>(points->data);
    std::stable_sort(p, p + n, [](const TeHullPoint& a, const TeHullPoint& b) {
        if (int c = qd_te_key_order(a.vertex[0], b.vertex[0])) return c < 0;
        return qd_te_key_order(a.vertex[1], b.vertex[1]) < 0;
    });
    // A point on an already kept point (within 1e-10) is interior.
    std::vector<uint32_t> distinct;
    for (uint32_t i = 0; i < n; ++i) {
        p[i].interior = 0;
        p[i].rank = -1;
        p[i].next = p[i].previous = -1;
        if (!distinct.empty()) {
            const double* q = p[distinct.back()].vertex;
            const GeoCoord a{q[0], q[1], 0}, b{p[i].vertex[0], p[i].vertex[1], 0};
            if (qd_te_same_fuzzy_point(&a, &b, 1e-10) == 1) {
                p[i].interior = 1;
                continue;
            }
        }
        distinct.push_back(i);
    }
    // Upper chain left to right: counter-clockwise turns leave, straight
    // runs stay. Lower chain right to left: straight runs leave too.
    std::vector<uint32_t> upper, lower;
    for (uint32_t i : distinct) {
        while (upper.size() >= 2 && turn(p[upper[upper.size() - 2]].vertex, p[upper.back()].vertex, p[i].vertex) > 0)
            upper.pop_back();
        upper.push_back(i);
    }
    for (auto it = distinct.rbegin(); it != distinct.rend(); ++it) {
        while (lower.size() >= 2 && turn(p[lower[lower.size() - 2]].vertex, p[lower.back()].vertex, p[*it].vertex) >= 0)
            lower.pop_back();
        lower.push_back(*it);
    }
    int32_t rank = 0;
    for (uint32_t i : upper) p[i].rank = rank++;
    for (size_t k = 1; k + 1 < lower.size(); ++k)
        if (p[lower[k]].rank < 0) p[lower[k]].rank = rank++;
    for (uint32_t i = 0; i < n; ++i)
        if (p[i].rank < 0) {
            p[i].interior = 1;
            p[i].rank = int32_t(n) + int32_t(i);
        }
    std::stable_sort(p, p + n, [](const TeHullPoint& a, const TeHullPoint& b) { return a.rank < b.rank; });
    return 1;
}

int qd_te_encode_chain_convex_hull(nlst* chains, nlst* points, TeRules* rules) {
    if (!chains || chains->tally == 0 || !rules) return qd_te_missing("qd_te_encode_chain_convex_hull");
    if (!points || points->tally == 0) return 1;
    TeBitArray marked{};
    if (!qd_te_ba_alloc(&marked, chains->tally)) {
        QD_FAIL("UKT1N", "nbytes%d", -1, nullptr);
        return 0;
    }
    TeRules copy = *rules;
    copy.mode = TE_SINGLE;
    copy.secondary = 45;
    copy.islands = 0;
    copy.drop_unclosed = 0;
    copy.event_method = {nullptr, nullptr};
    TeChain hull;
    qd_te_geo_chain_default(&hull);
    hull.chain_id = int32_t(chains->tally);
    nlst* parents = nullptr;
    auto done = [&](int answer) {
        qd_te_ba_free(&marked);
        qd_te_geo_chain_release(&hull);
        if (parents) nlst_free(parents);
        return answer;
    };
    const TeChain* first = qd_te_chain_at(chains, 0);
    std::vector<TeVertex> vertices;
    const TeHullPoint* p = static_cast<const TeHullPoint*>(points->data);
    for (uint32_t i = 0; i < points->tally; ++i) {
        if (p[i].interior) continue;
        vertices.push_back(*reinterpret_cast<const TeVertex*>(p[i].vertex));
        const uint32_t row = uint32_t(p[i].chain - first);
        int was = 0;
        if (!qd_te_ba_test_and_set(&marked, row, &was)) return done(0);
        if (!was && !qd_te_collect_parents(p[i].chain, &parents, 2, 1)) return done(0);
    }
    if (vertices.empty()) return done(1);
    qd_te_geo_free_chain_list(chains, 1);
    {
        // The universal chain alone: an empty link order until the run links.
        TeChain* u = qd_te_chain_at(chains, 0);
        u->link_fore = -1;
        u->link_back = 0;
        u->link_free = -1;
    }
    if (vertices.size() == 1) {
        hull.chain_type = TE_NODE;
        copy.output_dim = TE_DIM_NODE;
    } else if (vertices.size() == 2) {
        hull.chain_type = TE_LINE;
        copy.output_dim = TE_DIM_LINEAR;
    } else {
        hull.chain_type = TE_PATH;
        vertices.push_back(vertices.front());
    }
    if (!(hull.coords = nlst_alloc(sizeof(TeVertex), uint32_t(vertices.size()), 4, nullptr)) ||
        !nlst_add_many(hull.coords, vertices.data(), uint32_t(vertices.size())))
        return done(qd_te_no_memory());
    hull.chain_mer[0] = hull.chain_mer[1] = {vertices[0].x, vertices[0].y, 0};
    for (const TeVertex& v : vertices) {
        const GeoCoord box[2] = {{v.x - v.tol, v.y - v.tol, 0}, {v.x + v.tol, v.y + v.tol, 0}};
        qd_te_mer_union(hull.chain_mer, box);
    }
    if (!qd_te_cluster_clean_points(&hull, 1, 1e-10)) return done(0);
    if (hull.discard != CHAIN_OK) return done(1);
    if (!qd_te_insert_parents(&hull, parents, 2, 1)) return done(0);
    if (copy.output_dim == TE_DIM_LINEAR || copy.output_dim == TE_DIM_SURFACE) {
        int32_t crossed = 0;
        if (!qd_te_intersect_chain_self_cross(&hull, &chains, copy.tolerance.tolerance, 2, 4, &crossed))
            return done(0);
    }
    if (hull.coords) {
        if (!nlst_add(chains, &hull)) return done(qd_te_no_memory());
        qd_te_geo_chain_default(&hull);
    }
    const int ok = qd_te_assemble_chains(chains, &copy);
    rules->statistics = copy.statistics;
    return done(ok);
}

int qd_te_output_convex_hull(nlst* chains, TeRules* rules) {
    if (!chains || !rules) return qd_te_missing("qd_te_output_convex_hull");
    if (chains->tally < 2) return 1;
    nlst* points = nlst_alloc(sizeof(TeHullPoint), 64, 64, nullptr);
    if (!points) {
        QD_FAIL("UKT1N", "nbytes%d", -1, nullptr);
        return 0;
    }
    int ok = 1;
    for (uint32_t i = 1; ok && i < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (!live_vertices(c)) continue;
        TeVertex* v = static_cast<TeVertex*>(c->coords->data);
        for (uint32_t k = 0; ok && k < c->coords->tally; ++k) {
            const TeHullPoint h{c, &v[k].x, 0, -1, -1, -1};
            ok = nlst_add(points, &h) ? 1 : qd_te_no_memory();
        }
    }
    if (ok && points->tally) ok = qd_te_convex_hull_order(points);
    if (ok && points->tally) {
        if (rules->output_dim != TE_DIM_NODE) {
            ok = qd_te_encode_chain_convex_hull(chains, points, rules);
        } else {
            SpatialObject object;
            qd_te_so_reset(&object, rules->output_csid);
            nlst* parents = nullptr;
            const TeHullPoint* p = static_cast<const TeHullPoint*>(points->data);
            for (uint32_t i = 0; ok && i < points->tally; ++i) {
                if (p[i].interior) continue;
                const GeoCoord at{p[i].vertex[0], p[i].vertex[1], p[i].vertex[2]};
                ok = qd_te_collect_parents(p[i].chain, &parents, 2, 1) && ktgeo_util_add_new_point(&object, &at, nullptr);
                if (ok) {
                    ++rules->statistics.output_counters.count[3];
                    ++rules->statistics.output_counters.count[11];
                }
            }
            if (ok) ok = qd_te_assembly_method(&object, parents, rules->output_split, &rules->output_method) == 1;
            if (ok) ++rules->statistics.output_counters.count[0];
            ktgeo_so_release(&object);
            if (parents) nlst_free(parents);
        }
    }
    nlst_free(points);
    return ok;
}
