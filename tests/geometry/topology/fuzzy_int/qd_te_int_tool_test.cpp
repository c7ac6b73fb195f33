// The intersection stage from outside: topo_run ALL read at the stage-7
// dump (runs once cutting is in the tree).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/topology/fuzzy_int/te_int_util.h"
#include "tools/topo_run/topo_run.h"

using namespace tetest;

namespace {

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(qd_te_int, CrossingLinesThroughTopoRun) {
    if (!CuttingBuilt()) GTEST_SKIP() << "cutting chains at split nodes is not in the tree";
    char dir[] = "/tmp/te_int_dump_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    const std::string path = std::string(dir) + "/stage7.sdas";
    std::string input = "-1 LINESTRING (0 0, 2 2)\n-2 LINESTRING (0 2, 2 0)\n";
    std::vector<std::string> args = {"topo_run", "ALL", "dump=7"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    auto run = [&] {
        std::remove(path.c_str());  // the dump is appended to
        std::FILE* in = std::tmpfile();
        std::fwrite(input.data(), 1, input.size(), in);
        std::rewind(in);
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        topo_run(int(argv.size()), argv.data(), in, out, err);
        for (std::FILE* f : {in, out, err}) std::fclose(f);
        std::ifstream f(path);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    };
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
