// The topo_run tool: LOADER over mixed input prints it back in order with
// its parents; bad settings and bad text exit 2; no input prints nothing;
// a stage dump lands in the dump directory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "te_topo_run_util.h"
#include "tools/topo_run/topo_run.h"

using Result = tetest::ToolResult;

namespace {

Result RunTool(std::vector<std::string> args, const std::string& input) {
    return tetest::RunTopoRun(std::move(args), input);
}

}  // namespace

TEST(qd_te_entry_tool, LoaderPrintsInputsBack) {
    const std::string input =
        "-1 POLYGON ((0 0, 0 10, 10 10, 10 0, 0 0), (2 2, 4 2, 4 4, 2 4, 2 2))\n"
        "-1 LINESTRING (0 0, 5 5, 7.25 1)\n"
        "-1 MULTIPOINT ((1 1), (2 3))\n";
    const Result r = RunTool({"LOADER"}, input);
    EXPECT_EQ(r.status, 0) << r.err;
    // The hole passes through the islands dissolve, which writes it as the
    // engine writes rings: the same square, turned as the exterior.
    EXPECT_EQ(r.out,
              "1:1 POLYGON ((0 0, 0 10, 10 10, 10 0, 0 0), (2 2, 2 4, 4 4, 4 2, 2 2))\n"
              "1:2 LINESTRING (0 0, 5 5, 7.25 1)\n"
              "1:3 MULTIPOINT ((1 1), (2 3))\n");
    // Split 3: every primitive alone.
    const Result s = RunTool({"loader", "split=3"}, "-1 MULTIPOINT ((1 1), (2 3))\n");
    EXPECT_EQ(s.out, "1:1 POINT (1 1)\n1:1 POINT (2 3)\n");
}

TEST(qd_te_entry_tool, BadInputAndNoInput) {
    struct {
        std::vector<std::string> args;
        std::string input;
        int status;
    } cases[] = {
        {{"NOSUCH"}, "", 2},
        {{"LOADER", "secondary=WRONG"}, "", 2},
        {{"LOADER", "tolerance=abc"}, "", 2},
        {{"LOADER", "colour=red"}, "", 2},
        {{"LOADER", "faces=2"}, "", 2},
        {{"LOADER"}, "-1 POINT (1 2\n", 2},
        {{"LOADER"}, "-1 POLYGON ((0 0, 1 0, 1 1))\n", 2},
        {{"LOADER"}, "x POINT (1 2)\n", 2},
        {{"LOADER"}, "-1 CIRCLE (1 2)\n", 2},
        {{"LOADER"}, "", 0},
        {{}, "", 2},
    };
    for (const auto& k : cases) {
        const Result r = RunTool(k.args, k.input);
        EXPECT_EQ(r.status, k.status) << k.input;
        EXPECT_EQ(r.out, "");
        if (k.status == 2) { EXPECT_NE(r.err, ""); }
    }
    // A line buffers into one polygon.
    const Result r = RunTool({"BUFFER", "width=1"}, "-1 LINESTRING (0 0, 1 1)\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("1:1 POLYGON ((", 0), 0u) << r.out;
}

TEST(qd_te_node_ff_tool, PointsByMode) {
    const std::string three = "-1 POINT (1 2)\n-2 POINT (3 4)\n-3 POINT (5 6)\n";
    Result r = RunTool({"ALL", "dim=NODE"}, three);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1:1 MULTIPOINT ((1 2), (3 4), (5 6))\n");
    r = RunTool({"SINGLE", "dim=NODE"}, three);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1:1 POINT (1 2)\n1:2 POINT (3 4)\n1:3 POINT (5 6)\n");
}

TEST(qd_te_entry_tool, StageDump) {
    char dir[] = "/tmp/te_dump_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    const Result r = RunTool({"LOADER", "dump=17"}, "-1 POINT (1 2)\n");
    EXPECT_EQ(r.status, 0);
    // LOADER makes no chains: the dump holds the universal chain's list,
    // which has no chain of status 0 or 5, so the file is made but empty.
    const std::string path = std::string(dir) + "/stage17.sdas";
    std::ifstream f(path);
    EXPECT_TRUE(f.good());
    unlink(path.c_str());
    rmdir(dir);
    unsetenv("QD_TE_DUMP_DIR");
}

// ALL runs from outside, read at the stage-7 dump (the stages after it are
// not all in place yet, so the run's answer is not checked here).
TEST(qd_te_entry_tool, ChainsInAtStageSeven) {
    char dir[] = "/tmp/te_dump_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    const std::string path = std::string(dir) + "/stage7.sdas";
    auto run = [&](const std::vector<std::string>& args, const std::string& input) {
        std::remove(path.c_str());
        RunTool(args, input);
        std::ifstream f(path);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    };
    // A square given counter-clockwise: one REGION and one PATH, both
    // clockwise, the parent on the PATH's right only.
    std::string d = run({"ALL", "no_intersect=1", "dump=7"}, "-1 POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))\n");
    EXPECT_NE(d.find("chain_type='REGION';left_parent='';right_parent='1:1:0P'"), std::string::npos) << d;
    EXPECT_NE(d.find("chain_type='PATH';left_parent='';right_parent='1:1:0P'"), std::string::npos) << d;
    const std::string cw =
        "   ST_Point(0.00000000000,0.00000000000)\n  ,ST_Point(0.00000000000,10.00000000000)\n"
        "  ,ST_Point(10.00000000000,10.00000000000)\n  ,ST_Point(10.00000000000,0.00000000000)\n"
        "  ,ST_Point(0.00000000000,0.00000000000)\n";
    size_t first = d.find(cw);
    ASSERT_NE(first, std::string::npos) << d;
    EXPECT_NE(d.find(cw, first + 1), std::string::npos) << d;
    EXPECT_EQ(d.find("ST_Spatial(", d.find("ST_Spatial(", d.find("ST_Spatial(") + 1) + 1), std::string::npos);
    // Two inputs on one point: one NODE carrying both parents.
    d = run({"ALL", "no_intersect=1", "dump=7"}, "-1 POINT (1 1)\n-2 POINT (1 1)\n");
    EXPECT_NE(d.find("chain_type='NODE';left_parent='1:1:0 1:2:0';right_parent='1:1:0 1:2:0'"), std::string::npos) << d;
    EXPECT_EQ(d.find("ST_Spatial(", d.find("ST_Spatial(") + 1), std::string::npos) << d;
    // snap=0.5: a line ending 0.3 from a point has that end exactly on it.
    d = run({"ALL", "no_intersect=1", "snap=0.5", "dump=7"}, "-1 POINT (0 0)\n-2 LINESTRING (0.3 0, 5 5)\n");
    EXPECT_NE(d.find("chain_type='LINE'"), std::string::npos) << d;
    EXPECT_NE(d.find("LIST{\n   ST_Point(0.00000000000,0.00000000000)\n  ,ST_Point(5.00000000000,5.00000000000)"),
              std::string::npos) << d;
    std::remove(path.c_str());
    rmdir(dir);
    unsetenv("QD_TE_DUMP_DIR");
}

// Identical chains merged by duplicate removal, read at the stage-7 dump.
TEST(qd_te_ident_tool, DuplicatesMergedAtStageSeven) {
    char dir[] = "/tmp/te_dump_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    const std::string path = std::string(dir) + "/stage7.sdas";
    auto chains = [&](const std::string& input) {
        std::remove(path.c_str());
        RunTool({"ALL", "no_intersect=1", "dump=7"}, input);
        std::ifstream f(path);
        std::vector<std::string> found;
        for (std::string line; std::getline(f, line);) {
            const size_t at = line.find("chain_type='");
            if (at != std::string::npos) found.push_back(line.substr(at, line.find(";chain_mer") - at));
        }
        return found;
    };
    using Lines = std::vector<std::string>;
    // A line and its reverse: one chain, both parents on each side.
    EXPECT_EQ(chains("-1 LINESTRING (0 0, 10 0)\n-2 LINESTRING (10 0, 0 0)\n"),
              Lines{"chain_type='LINE';left_parent='1:1:0L 1:2:0L';right_parent='1:1:0L 1:2:0L'"});
    // A path and the path with an extra vertex on its second segment: the
    // latter, with both parents.
    EXPECT_EQ(chains("-1 LINESTRING (0 0, 5 0, 10 5)\n-2 LINESTRING (0 0, 5 0, 7.5 2.5, 10 5)\n"),
              Lines{"chain_type='PATH';left_parent='1:1:0L 1:2:0L';right_parent='1:1:0L 1:2:0L'"});
    std::ifstream kept(path);
    const std::string dump((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_NE(dump.find("ST_Point(7.50000000000,2.50000000000)"), std::string::npos) << dump;
    // That vertex 1e-6 off the segment: two paths.
    EXPECT_EQ(chains("-1 LINESTRING (0 0, 5 0, 10 5)\n-2 LINESTRING (0 0, 5 0, 7.5 2.500001, 10 5)\n"),
              (Lines{"chain_type='PATH';left_parent='1:1:0L';right_parent='1:1:0L'",
                     "chain_type='PATH';left_parent='1:2:0L';right_parent='1:2:0L'"}));
    std::remove(path.c_str());
    rmdir(dir);
    unsetenv("QD_TE_DUMP_DIR");
}
