// The intersection stage from outside: topo_run ALL read at the stage-7
// dump (runs once cutting is in the tree).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "geometry/topology/entry/te_topo_run_util.h"
#include "geometry/topology/fuzzy_int/te_int_util.h"

using namespace tetest;

namespace {

// Runs topo_run with the given input and answers the stage-7 dump.
std::string RunDump(std::vector<std::string> args, const std::string& input, const std::string& path) {
    std::remove(path.c_str());  // the dump is appended to
    args.erase(args.begin());      // the program name
    RunTopoRun(std::move(args), input);
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The segments of the live chains of a chain dump: consecutive points of
// each ST_Spatial block.
std::vector<Seg> DumpSegments(const std::string& dump) {
    std::vector<Seg> segs;
    std::istringstream in(dump);
    std::string line;
    bool have = false;
    GeoCoord last{};
    while (std::getline(in, line)) {
        if (line.rfind("ST_Spatial(", 0) == 0) have = false;
        const size_t at = line.find("ST_Point(");
        double x, y;
        if (at == std::string::npos || std::sscanf(line.c_str() + at, "ST_Point(%lf,%lf)", &x, &y) != 2) continue;
        if (have) segs.push_back({last, Q(x, y)});
        last = Q(x, y);
        have = true;
    }
    return segs;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(qd_te_int, CrossingLinesThroughTopoRun) {
    char dir[] = "/tmp/te_int_dump_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    const std::string path = std::string(dir) + "/stage7.sdas";
    const std::string input = "-1 LINESTRING (0 0, 2 2)\n-2 LINESTRING (0 2, 2 0)\n";
    auto run = [&] { return RunDump({"topo_run", "ALL", "dump=7"}, input, path); };
    // Two lines crossing at (1, 1): four LINE pieces, each ending there,
    // each with its own line's parent on both sides.
    const std::string dump = run();
    EXPECT_EQ(Count(dump, "chain_type='LINE'"), 4) << dump;
    EXPECT_EQ(Count(dump, "ST_Point(1.00000000000,1.00000000000)"), 4) << dump;
    EXPECT_EQ(Count(dump, "left_parent='1:1:0L';right_parent='1:1:0L'"), 2);
    EXPECT_EQ(Count(dump, "left_parent='1:2:0L';right_parent='1:2:0L'"), 2);
    // The same input twice gives the same dump.
    EXPECT_EQ(run(), dump);
    std::remove(path.c_str());
    rmdir(dir);
    unsetenv("QD_TE_DUMP_DIR");
}

TEST(qd_te_int, NodingSoupsThroughTopoRun) {
    // The GEOS noding soups as WKT lines: the stage-7 dump holds GEOS's
    // noding (the dump prints points to 1e-11, within the 1e-9 compared).
    char dir[] = "/tmp/te_int_dump_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    const std::string path = std::string(dir) + "/stage7.sdas";
    std::ifstream rows(std::string(QL_GEOS_DATA_DIR) + "/noding.csv");
    std::string row;
    int soups = 0;
    while (std::getline(rows, row)) {
        if (row.empty() || row[0] == '#') continue;
        const size_t comma = row.find(',');
        std::string input;
        int k = 0;
        for (const auto& line : Lines(row.substr(0, comma))) {
            char buf[64];
            input += std::to_string(-1 - k++) + " LINESTRING (";
            for (size_t i = 0; i < line.size(); ++i) {
                std::snprintf(buf, sizeof buf, "%s%.3f %.3f", i ? ", " : "", line[i].x, line[i].y);
                input += buf;
            }
            input += ")\n";
        }
        std::vector<Seg> want;
        for (const auto& seg : Lines(row.substr(comma + 1))) want.push_back({seg[0], seg[1]});
        const std::string dump = RunDump({"topo_run", "ALL", "dump=7"}, input, path);
        EXPECT_EQ(SegmentsDiffer(DumpSegments(dump), want), "") << "soup " << soups;
        ++soups;
    }
    EXPECT_EQ(soups, 16);
    std::remove(path.c_str());
    rmdir(dir);
    unsetenv("QD_TE_DUMP_DIR");
}
