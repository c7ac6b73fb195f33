// The chains-in stages end to end: seeded inputs are encoded, then run
// through the pipeline with the list's invariants checked at every stage
// event; the same input twice gives the same chains.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "geometry/geo_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_geo_chain.h"

using geotest::C;

namespace {

struct Watch {
    std::string fault;
    std::string at7;  // the live chains at event 7, as bytes
    int events = 0;
    int32_t checks;
    explicit Watch(int32_t c) : checks(c) { qd_te_stage_observer = {&Watch::Event, this}; }
    ~Watch() { qd_te_stage_observer = {nullptr, nullptr}; }
    static void Event(int32_t event, const nlst* chains, const TeRules* rules, void* self) {
        auto* w = static_cast<Watch*>(self);
        if (!chains || qd_te_chain_at(chains, 0)->link_back == 0) return;
        ++w->events;
        char why[200];
        // After the leaving stage the list is renumbered and the link fields
        // thread the region lists: the link order no longer exists.
        // A surface run of ALL also builds the walk links.
        // Events 9 to 16 (features, then node, linear and surface output)
        // all come after it.
        if (event >= TE_EVENT_FEATURES && event <= 16) {
            // (Dangle pruning before event 12 relinks dangles into rings.)
            const bool walk = event == TE_EVENT_FEATURES && rules && rules->statistics.data_dim == TE_DIM_SURFACE;
            const int32_t checks = TE_INV_LEAVING | (walk ? TE_INV_WALK_LINKS : 0);
            if (w->fault.empty() && !qd_te_check_invariants(chains, checks, why))
                w->fault = "event " + std::to_string(event) + ": " + why;
            return;
        }
        if (w->fault.empty() && !qd_te_check_invariants(chains, w->checks, why))
            w->fault = "event " + std::to_string(event) + ": " + why;
        // The link order by minimum x holds within the walks' margin.
        double last = -INFINITY;
        int32_t at = 0;
        for (TeChain* c = nullptr; qd_te_link_get_next_chain(chains, &at, &c) && c && at != 0;) {
            if (c->discard != CHAIN_OK) continue;
            if (w->fault.empty() && c->chain_mer[0].x < last - qd_te_order_margin)
                w->fault = "event " + std::to_string(event) + ": order beyond the margin at row " + std::to_string(at);
            last = std::fmax(last, c->chain_mer[0].x);
        }
        if (event != 7) return;
        // No two live nodes on one point (brute force).
        for (uint32_t i = 1; i < chains->tally; ++i)
            for (uint32_t j = i + 1; j < chains->tally; ++j) {
                const TeChain *a = qd_te_chain_at(chains, int32_t(i)), *b = qd_te_chain_at(chains, int32_t(j));
                if (a->discard || b->discard || a->chain_type != TE_NODE || b->chain_type != TE_NODE) continue;
                const auto *p = static_cast<const TeVertex*>(a->coords->data), *q = static_cast<const TeVertex*>(b->coords->data);
                if (w->fault.empty() && p->x == q->x && p->y == q->y) w->fault = "two live nodes on one point";
            }
        w->at7.clear();
        for (uint32_t i = 1; i < chains->tally; ++i) {
            const TeChain* c = qd_te_chain_at(chains, int32_t(i));
            if (c->discard != CHAIN_OK) continue;
            w->at7.append(reinterpret_cast<const char*>(&c->chain_type), sizeof c->chain_type);
            if (c->coords) w->at7.append(static_cast<const char*>(c->coords->data), c->coords->tally * sizeof(TeVertex));
            for (const nlst* p : {c->right_parent, c->left_parent})
                if (p) w->at7.append(static_cast<const char*>(p->data), p->tally * sizeof(TeParent));
        }
    }
};

int32_t Accept(SpatialObject*, nlst*, void*) { return 1; }

// Encodes a seeded soup and runs the pipeline; the watch records.
void RunSoup(uint32_t seed, double scale, double tol, Watch* watch) {
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = TE_ALL;
    r.no_intersect = 1;
    r.output_method = {Accept, nullptr};
    r.tolerance.snap_outer = tol;
    r.tolerance.snap_inner = tol / 2;
    TeKeys keys;
    qd_te_keys_init(&keys);
    keys.tolerance = r.tolerance;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pos(0, scale), off(-2 * tol, 2 * tol);
    nlst* chains = nullptr;
    ASSERT_EQ(qd_te_geo_chain_list_create(&chains, 64), 1);
    std::vector<GeoCoord> anchors;
    for (int k = 0; k < 30; ++k) anchors.push_back(C(pos(rng), pos(rng)));
    std::uniform_int_distribution<int> pick(0, 29);
    auto near = [&] {
        const GeoCoord& a = anchors[size_t(pick(rng))];
        return C(a.x + off(rng), a.y + off(rng));
    };
    for (int k = 0; k < 60; ++k) {
        geotest::Object o;
        if (k % 5 == 0) {
            o.AddPoint(near());
        } else if (k % 5 == 4) {
            const GeoCoord a = near();
            const double s = scale * 0.01;
            GeoPolygon* p = o.AddPolygon(geotest::Polygon(geotest::Path({geotest::Square(a.x, a.y, s)}, 1, 1)));
            p->valid = 1;
        } else {
            o.AddCurve(geotest::Curve({near(), near(), near()}));
        }
        ktgeo_so_complete(&o.so);
        keys.key = -1 - k;
        keys.parent = {1, k + 1, 0};
        int32_t status = 1;
        ASSERT_EQ(qd_te_encode_feature(&r, o.Primitive(0), &keys, chains, nullptr, &status), 1);
    }
    r.statistics.tallies[3] = 60;
    const uint32_t encoded = chains->tally;
    const int answer = qd_te_assemble_chains(chains, &r);
    EXPECT_EQ(answer, 1);
    EXPECT_GT(encoded, 60u);
    qd_te_geo_chain_list_free(&chains);
    (void)watch;
}

}  // namespace

TEST(qd_te_cluster_stages, InvariantsAfterEveryStageAndRepeatable) {
    for (uint32_t seed : {11u, 12u}) {
        for (double scale : {1.0, 1e6}) {
            for (double tol : {1e-9, 1e-3}) {
                Watch first(TE_INV_MER);
                RunSoup(seed, scale, tol, &first);
                EXPECT_EQ(first.fault, "") << seed << " " << scale << " " << tol;
                EXPECT_GT(first.events, 3);
                EXPECT_FALSE(first.at7.empty());
                const std::string once = first.at7;
                first.at7.clear();
                RunSoup(seed, scale, tol, &first);
                EXPECT_EQ(first.at7, once) << seed << " " << scale << " " << tol;
            }
        }
    }
}
