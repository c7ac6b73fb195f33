#include <gtest/gtest.h>
#include <cmath>
#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_cogo.h"
using namespace tetest;
TEST(qd_te_self, Debug) {
    std::vector<GeoCoord> pts;
    for (int i = 0; i <= 72; ++i) pts.push_back(Q(5*std::cos(i*M_PI/36), 5*std::sin(i*M_PI/36)));
    pts.back() = pts.front();
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_PATH;
    qd_te_geo_form_location(&c, pts.data(), int32_t(pts.size()), 0, 0);
    TeIntersectionList list = {0, 0, nullptr};
    int s = qd_te_fuzzy_sweep_self(&c, &list, 0, nullptr);
    for (int i = 0; i < list.count; ++i) printf("%d %d %g %g\n", list.items[i].index_a, list.items[i].index_b, list.items[i].point.x, list.items[i].point.y);
    EXPECT_EQ(s, 0);
    qd_te_cogo_intersection_list_free(&list);
    qd_te_geo_chain_release(&c);
}
#include "geometry/ktgeo_curve.h"
#include "geometry/qd_nlst.h"
#include "geometry/geo_test_util.h"
TEST(qd_te_self, Debug2) {
    geotest::Object o;
    o.AddCurve(geotest::Curve({Q(0, 0), Q(3, 4), Q(0, 0)}, KTGEO_CIRCULAR_ARC));
    GeoCurve* cv = &o.Primitive(0)->geom.curve;
    ASSERT_TRUE(ktgeo_curve(cv));
    std::vector<GeoCoord> pts;
    for (uint32_t i = 0; i < cv->stroked->tally; ++i) pts.push_back(*static_cast<GeoCoord*>(nlst_index(cv->stroked, i)));
    printf("n=%zu first %g %g last %g %g\n", pts.size(), pts[0].x, pts[0].y, pts.back().x, pts.back().y);
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_PATH;
    qd_te_geo_form_location(&c, pts.data(), int32_t(pts.size()), 1e-10, 1e-10);
    TeIntersectionList list = {0, 0, nullptr};
    int s = qd_te_fuzzy_sweep_self(&c, &list, 0, nullptr);
    for (int i = 0; i < list.count; ++i) printf("%d %d %g %g %g %g\n", list.items[i].index_a, list.items[i].index_b, list.items[i].point.x, list.items[i].point.y, list.items[i].offset_a, list.items[i].offset_b);
    EXPECT_EQ(s, 0);
    qd_te_cogo_intersection_list_free(&list);
    qd_te_geo_chain_release(&c);
}
