// Seeded soups of segments and polylines in general position run through
// the pipeline: the live pieces after the touch and intersection stages
// are GEOS's noding of the soup (tests/data/geos/noding.csv), meet only at
// shared ends, keep the soup's length, and come out the same twice. Runs
// once cutting chains is in the tree (skipped before).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/topology/fuzzy_int/te_int_util.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_form_chains.h"

using namespace tetest;

namespace {

struct Watch {
    std::vector<Seg> segments;
    std::string bytes;
    std::string fault;
    Watch() { qd_te_stage_observer = {&Watch::Event, this}; }
    ~Watch() { qd_te_stage_observer = {nullptr, nullptr}; }
    static void Event(int32_t event, const nlst* chains, const TeRules*, void* self) {
        if (!chains) return;
        auto* w = static_cast<Watch*>(self);
        char why[200];
        // After the leaving stage the list is renumbered: no link order.
        const bool left = event == TE_EVENT_FEATURES || event == TE_EVENT_NODES || event == TE_EVENT_LINEARS ||
                          event == TE_EVENT_SURFACES;
        const int32_t checks = left ? TE_INV_LEAVING : TE_INV_MER;
        if (w->fault.empty() && qd_te_chain_at(chains, 0)->link_back != 0 && !qd_te_check_invariants(chains, checks, why))
            w->fault = "event " + std::to_string(event) + ": " + why;
        if (event != 7) return;
        w->segments.clear();
        w->bytes.clear();
        for (uint32_t i = 1; i < chains->tally; ++i) {
            const TeChain* c = qd_te_chain_at(chains, int32_t(i));
            if (c->discard != CHAIN_OK || !c->coords) continue;
            const auto* v = static_cast<const TeVertex*>(c->coords->data);
            for (uint32_t k = 0; k + 1 < c->coords->tally; ++k)
                w->segments.push_back({Q(v[k].x, v[k].y), Q(v[k + 1].x, v[k + 1].y)});
            w->bytes.append(static_cast<const char*>(c->coords->data), c->coords->tally * sizeof(TeVertex));
        }
    }
};

int32_t Accept(SpatialObject*, nlst*, void*) { return 1; }

void RunSoup(const std::vector<std::vector<GeoCoord>>& lines, double tol) {
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = TE_ALL;
    r.output_method = {Accept, nullptr};
    r.tolerance.tolerance = tol;
    r.tolerance.snap_outer = tol;
    r.tolerance.snap_inner = tol;
    TeKeys keys;
    qd_te_keys_init(&keys);
    keys.tolerance = r.tolerance;
    nlst* chains = nullptr;
    ASSERT_EQ(qd_te_geo_chain_list_create(&chains, 64), 1);
    int32_t k = 0;
    for (const auto& pts : lines) {
        geotest::Object o;
        GeoCurve curve;
        ktgeo_curve_init(&curve);
        curve.curve_type = KTGEO_POLYLINE;
        curve.coords = ktgeo_coord_list_from_array(pts.data(), uint32_t(pts.size()));
        o.AddCurve(curve);
        ktgeo_so_complete(&o.so);
        keys.key = -1 - k;
        keys.parent = {1, k + 1, 0};
        int32_t status = 1;
        ASSERT_EQ(qd_te_encode_feature(&r, o.Primitive(0), &keys, chains, nullptr, &status), 1);
        ++k;
    }
    r.statistics.tallies[3] = k;
    qd_te_assemble_chains(chains, &r);
    qd_te_geo_chain_list_free(&chains);
}

// Signed area of (a, b, c) over |ab|: the distance of c from the line ab.
double Side(const GeoCoord& a, const GeoCoord& b, const GeoCoord& c) {
    return ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) / std::hypot(b.x - a.x, b.y - a.y);
}
// Do two segments cross at a point inside both (ends more than 1e-9 off
// the other's line on either side)?
bool ProperCross(const Seg& p, const Seg& q) {
    const double e = 1e-9;
    const double c1 = Side(p.first, p.second, q.first), c2 = Side(p.first, p.second, q.second);
    const double c3 = Side(q.first, q.second, p.first), c4 = Side(q.first, q.second, p.second);
    return ((c1 > e && c2 < -e) || (c1 < -e && c2 > e)) && ((c3 > e && c4 < -e) || (c3 < -e && c4 > e));
}
double Len(const Seg& s) { return std::hypot(s.second.x - s.first.x, s.second.y - s.first.y); }

}  // namespace

TEST(qd_te_int, NodingAgainstGeos) {
    if (!CuttingBuilt()) GTEST_SKIP() << "cutting chains at split nodes is not in the tree";
    std::ifstream in(std::string(QL_GEOS_DATA_DIR) + "/noding.csv");
    std::string row;
    int soups = 0;
    while (std::getline(in, row)) {
        if (row.empty() || row[0] == '#') continue;
        const size_t comma = row.find(',');
        const auto lines = Lines(row.substr(0, comma));
        std::vector<Seg> want;
        for (const auto& s : Lines(row.substr(comma + 1))) want.push_back({s[0], s[1]});
        Watch first;
        RunSoup(lines, 1e-9);
        const std::vector<Seg> got = first.segments;
        EXPECT_EQ(first.fault, "") << "soup " << soups;
        // The same multiset of segments.
        EXPECT_EQ(SegmentsDiffer(got, want), "") << "soup " << soups;
        // No crossing but at shared ends (brute force, by orientation signs
        // clear of 1e-9 of the segments' lengths).
        for (size_t i = 0; i < got.size(); ++i)
            for (size_t j = i + 1; j < got.size(); ++j)
                if (ProperCross(got[i], got[j]))
                    ADD_FAILURE() << "soup " << soups << ": pieces cross near " << got[i].first.x << " "
                                  << got[i].first.y;
        // Length kept within 2 x tolerance per vertex.
        double in_len = 0, out_len = 0;
        size_t vertices = 0;
        for (const auto& l : lines) {
            vertices += l.size();
            for (size_t i = 0; i + 1 < l.size(); ++i) in_len += Len({l[i], l[i + 1]});
        }
        for (const Seg& s : got) out_len += Len(s);
        EXPECT_NEAR(out_len, in_len, 2e-9 * double(vertices + 2 * got.size())) << "soup " << soups;
        // The same input twice gives the same chains.
        const std::string once = first.bytes;
        RunSoup(lines, 1e-9);
        EXPECT_EQ(first.bytes, once) << "soup " << soups;
        ++soups;
    }
    EXPECT_EQ(soups, 16);
}
