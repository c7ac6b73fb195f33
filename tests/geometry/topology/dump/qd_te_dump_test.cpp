// Version stamp, chain dumps and the chain and polygon listings against
// golden files written from the listing formats.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "geometry/geo_test_util.h"
#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_dump.h"
#include "geometry/topology/qd_te_output.h"

using tetest::Chain;
using tetest::Chains;
using tetest::Q;

namespace {

std::string Golden(const char* name) {
    std::ifstream f(std::string(QL_TE_DUMP_GOLDEN_DIR) + "/" + name);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Two chains: a line with left parents, and a region-status circle.
void Build(Chains& chains) {
    TeChain line = Chain(TE_LINE, {Q(0, 0), Q(1, 2.5)}, 7);
    line.chain_id = 3;
    line.chain_mer[1] = Q(1, 2.5, 0);
    const TeParent ps[] = {{1, 2, 3 << 3 | TE_PARENT_L}, {4, 5, 1 << 3}};
    line.left_parent = nlst_alloc(sizeof(TeParent), 2, 1, nullptr);
    nlst_add_many(line.left_parent, ps, 2);
    chains.Add(line);
    TeChain circle = Chain(TE_CIRCLE, {Q(3, 4)});
    circle.chain_id = 4;
    circle.radius = 2;
    circle.adjuster = 1;
    circle.discard = CHAIN_REGION;
    chains.Add(circle);
    TeChain dead = Chain(TE_LINE, {Q(9, 9), Q(8, 8)});
    dead.discard = CHAIN_DELETE;
    chains.Add(dead);
}

}  // namespace

TEST(qd_te_dump, Version) {
    EXPECT_STREQ(qd_te_version(), "061.008 $Date: 2004/01/27 01:01:01 $");
    struct {
        const char* text;
        int want;
    } cases[] = {
        {"061.008 $Date: 2004/01/27 01:01:01 $", 1},
        {"061.008", 1},
        {"061.007 older", 1},
        {"061.009", -1},
        {"062.001", -1},
        {"060.008", -1},
        {"061", -1},
    };
    for (const auto& k : cases) EXPECT_EQ(qd_te_version_check(k.text), k.want) << k.text;
    EXPECT_EQ(qd_te_version_check(nullptr), -1);
}

TEST(qd_te_dump, ChainDumpFile) {
    char dir[] = "/tmp/te_dump_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    Chains chains;
    Build(chains);
    ASSERT_EQ(qd_te_dump_chain_list(chains.list, "golden", 0), 1);
    const std::string path = std::string(dir) + "/golden.sdas";
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    EXPECT_EQ(s.str(), Golden("chain_dump.sdas"));
    // The golden file is a lock; the fields that matter, written out by
    // hand from the fixture and the dump's format.
    for (const char* want : {"chain_id=3;chain_pid=7;", "left_parent='1:2:3L 4:5:1';right_parent='';",
                             "radius=2.000000;adjuster='TRUE';discard='CHAIN_REGION';chain_type='CIRCLE';",
                             "  ,ST_Point(1.00000000000,2.50000000000)\n"})
        EXPECT_NE(s.str().find(want), std::string::npos) << want;
    EXPECT_EQ(s.str().find("9.00000000000"), std::string::npos);  // the deleted chain is not dumped
    // Appending, and a numbered name.
    ASSERT_EQ(qd_te_dump_chain(chains.At(1), "golden"), 1);
    EXPECT_EQ(qd_te_dump_path("x", 7, ".sdas"), std::string(dir) + "/007x.sdas");
    EXPECT_EQ(qd_te_dump_path(nullptr, 0, ".sdas"), std::string(dir) + "/nolabel.sdas");
    std::ifstream again(path);
    std::stringstream t;
    t << again.rdbuf();
    EXPECT_GT(t.str().size(), s.str().size());
    // A dump file that is a link is not followed.
    const std::string link = std::string(dir) + "/linked.sdas";
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    ASSERT_EQ(qd_te_dump_chain(chains.At(1), "linked"), 1);
    std::ifstream unchanged(path);
    std::stringstream u;
    u << unchanged.rdbuf();
    EXPECT_EQ(u.str(), t.str());
    unlink(link.c_str());
    unlink(path.c_str());
    rmdir(dir);
    unsetenv("QD_TE_DUMP_DIR");
}

TEST(qd_te_dump, Listings) {
    Chains chains;
    Build(chains);
    geotest::StdoutCapture capture;
    qd_te_debug_list_chain(chains.At(1), 1);
    qd_te_debug_list_chain(chains.At(2), 0);
    EXPECT_EQ(capture.Text(), Golden("chain_listing.txt"));
    // The lines that carry the fixture's fields, written out by hand.
    for (const char* want : {"      CHAIN: id: 3 - pid:7 ...\n", "  <> #coords/nrpar/nlpar: 2 / 0 / 2  ...\n",
                             "  <> Left Parents: [1:2/25]  [4:5/8]  \n", "  <> type: CIRCLE ...\n  <> radius: 2.000000 ...\n",
                             "  <> status: REGION ...\n"})
        EXPECT_NE(capture.Text().find(want), std::string::npos) << want;

    TePolygon p = {};
    p.id = 5;
    p.count = 4;
    p.start_chain = 9;
    p.inside = 2;
    p.mer[1] = Q(3.5, 3.5);
    p.yxmax = 3.5;
    p.area = 12.25;
    p.status = 1;
    p.target = 1;
    p.lookup_max = -1;
    p.n_parents = 1;
    geotest::StdoutCapture poly;
    qd_te_debug_list_poly(&p);
    EXPECT_EQ(poly.Text(), Golden("polygon_listing.txt"));
    // The golden file is a lock; the lines that carry the fields, written
    // out by hand from the listing's format, for the other flag values.
    p.spike = 1;
    p.target = 0;
    p.cutter = 1;
    p.status = 0;
    p.discard = 1;
    p.count = 2;
    p.area = 0.5;
    geotest::StdoutCapture flags;
    qd_te_debug_list_poly(&p);
    const std::string listed = flags.Text();
    for (const char* want : {"      POLYGON: id: 5 ...\n", "  <> start_chain/island_list/inside: 9 - 0  - 2 ...\n",
                             "  <> count/yxmax/area: 2 - 3.500000 - 0.500000000000  ...\n",
                             "  <> Spike/inside_target/cutter: Yes - OUTSIDE - INSIDE ...\n",
                             "  <> mer: st_llb_point:0.000000 - 0.000000 - 3.500000 - 3.500000 ...\n",
                             "  <> status: UNCLOSED ...\n", "  <> discard: YES ...\n"})
        EXPECT_NE(listed.find(want), std::string::npos) << want;

    // Link order and list order listings name every chain once.
    qd_te_link_setup(chains.list);
    chains.At(1)->chain_id = 3;  // out of step with its row
    geotest::StdoutCapture order;
    qd_te_debug_list_chain_order(chains.list, 0);
    const std::string text = order.Text();
    EXPECT_NE(text.find("LIST LINKED CHAINS"), std::string::npos);
    EXPECT_NE(text.find("ID UNMATCHED chain_id:3 -- chain_pos:1"), std::string::npos);
    geotest::StdoutCapture seq;
    qd_te_debug_list_chain_list(chains.list, 0);
    const std::string s2 = seq.Text();
    EXPECT_EQ(s2.find("DELETED"), std::string::npos);
    EXPECT_NE(s2.find("SENTINAL"), std::string::npos);
}
