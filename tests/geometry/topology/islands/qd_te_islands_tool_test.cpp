// Islands from outside: topo_run ALL dim=SURFACE faces=1 over a square with
// a square inside; the polygon list in faces.sdas has the inner ring's outer
// boundary inside the outer ring's face and in its island list, and with
// islands=1 the inner face (one island boundary deep) discarded.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "geometry/topology/entry/te_topo_run_util.h"

namespace {

struct Row {
    long island_list, inside;
    double area;
    bool discard;
};

// The polygon records of a faces.sdas dump by number.
std::map<long, Row> ReadRows(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    const std::string text = s.str();
    const std::regex record(
        R"((?:^|[\n)])pid=(\d+);count=-?\d+;island_list=(-?\d+);hole_list=-?\d+;inside=(-?\d+);[^\n]*?discard='(TRUE|FALSE)'[^\n]*?;area=([-0-9.e+]+);)");
    std::map<long, Row> rows;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), record); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        rows[std::stol(m[1])] = {std::stol(m[2]), std::stol(m[3]), std::stod(m[5]), m[4] == "TRUE"};
    }
    return rows;
}

}  // namespace

TEST(qd_te_islands_tool, RingInRingInTheFacesDump) {
    char dir[] = "/tmp/te_islands_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    const std::string path = std::string(dir) + "/faces.sdas";
    const std::string input =
        "-1 POLYGON ((0 0, 0 10, 10 10, 10 0, 0 0))\n"
        "-1 POLYGON ((3 3, 3 7, 7 7, 7 3, 3 3))\n";
    for (const char* islands : {"islands=0", "islands=1"}) {
        std::remove(path.c_str());
        std::remove((std::string(dir) + "/facespar.sdas").c_str());
        tetest::RunTopoRun({"ALL", "dim=SURFACE", "faces=1", islands}, input);
        const std::map<long, Row> rows = ReadRows(path);
        // The two faces (areas 100 and 16) and the two outer boundaries.
        long outer_face = -1, inner_face = -1, outer_ring = -1, inner_ring = -1;
        for (const auto& [pid, row] : rows) {
            if (row.area == 100) outer_face = pid;
            if (row.area == 16) inner_face = pid;
            if (row.area == -100) outer_ring = pid;
            if (row.area == -16) inner_ring = pid;
        }
        ASSERT_TRUE(outer_face > 2 && inner_face > 2 && outer_ring > 2 && inner_ring > 2) << islands;
        EXPECT_EQ(rows.at(outer_ring).inside, 1) << islands;
        EXPECT_EQ(rows.at(1).island_list, outer_ring) << islands;
        EXPECT_EQ(rows.at(inner_ring).inside, outer_face) << islands;
        EXPECT_EQ(rows.at(outer_face).island_list, inner_ring) << islands;
        EXPECT_EQ(rows.at(inner_ring).island_list, 0) << islands;
        EXPECT_FALSE(rows.at(outer_face).discard) << islands;
        EXPECT_EQ(rows.at(inner_face).discard, std::string(islands) == "islands=1") << islands;
    }
    std::remove(path.c_str());
    std::remove((std::string(dir) + "/facespar.sdas").c_str());
    rmdir(dir);
}
