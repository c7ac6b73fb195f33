// geomconv end to end over the geometry-object forms: well-known text and
// binary, blobs, and deep nesting refused without a crash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geomconv_run.h"

using geomconv_test::Geomconv;
using geomconv_test::Output;

namespace {

// The first word of each output line ("!" and the code for failures).
std::vector<std::string> Heads(const Output& run) {
    std::vector<std::string> heads;
    for (const std::string& l : run.lines) {
        if (l[0] != '!') {
            heads.push_back(l);
            continue;
        }
        const size_t second = l.find(' ', 2);
        heads.push_back(l.substr(0, second));
    }
    return heads;
}

TEST(geomconv_ogc, WktToWkt) {
    const std::vector<std::string> seven = {
        "POINT(1 2)",
        "LINESTRING(0 0,10 5.5)",
        "POLYGON((0 0,10 0,10 10,0 0),(2 2,3 2,3 3,2 2))",
        "MULTIPOINT(1 2,3 4)",
        "MULTIPOLYGON(((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5)))",
        "GEOMETRYCOLLECTION(POINT(1 2),LINESTRING(0 0,1 1))",
        "MULTILINESTRING EMPTY",
    };
    Output run = Geomconv("wkt wkt", seven);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.lines, seven);

    run = Geomconv("wkt wkt",
                   {"POINT(1e-11 -3)",
                    "GEOMETRYCOLLECTION (POINT (1 2), GEOMETRYCOLLECTION (LINESTRING (0 0, 1 1)))",
                    "", "POINT (1 2 3)", "POINT Z (1 2 3)", "MULTIPOINT ((1 2), (3 4))"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Heads(run), (std::vector<std::string>{
                              "POINT(0 -3)", "GEOMETRYCOLLECTION(POINT(1 2),LINESTRING(0 0,1 1))",
                              "GEOMETRYCOLLECTION EMPTY", "! UKT2B", "! UKT2H", "! UKT2A"}));
}

TEST(geomconv_ogc, WktWkbAndBlobs) {
    Output run = Geomconv("wkt wkb", {"POINT(1 2)", "LINESTRING EMPTY",
                                      "POLYGON((0 0,0 10,10 10,0 0))"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             "0101000000000000000000f03f0000000000000040", "0102000000",
                             "01030000000100000004000000"
                             "0000000000000000000000000000000000000000000024400000000000002440"
                             "0000000000000000000000000000244000000000000000000000000000000000"}));

    run = Geomconv("wkb wkt", {"00000000013ff00000000000004000000000000000",
                               "07000000013ff00000000000004000000000000000", "0100000000",
                               "0108000000", "0101000000000000000000f03f00000000000000",
                               "0101000000000000000000f03f000000000000004000"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Heads(run), (std::vector<std::string>{"POINT(1 2)", "POINT(1 2)", "! UKT_1",
                                                    "! UKT_1", "! UKT_1", "! UKT_1"}));

    run = Geomconv("wkt blob", {"POINT(1 2)"});
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_EQ(run.lines[0], "1d0000004f4743300101000000000000000000f03f0000000000000040");
    const std::string ogc1 = "210000004f474331070000000101000000000000000000f03f0000000000000040";
    run = Geomconv("blob blob", {ogc1});
    EXPECT_EQ(run.lines, std::vector<std::string>{ogc1});
    run = Geomconv("blob wkt", {ogc1});
    EXPECT_EQ(run.lines, std::vector<std::string>{"POINT(1 2)"});
}

TEST(geomconv_cvtran, RecordForms) {
    Output run = Geomconv("wkt cv", {"POINT(1 2)", "LINESTRING(0 0,3 4)",
                                     "POLYGON((0 0,4 0,4 4,0 4,0 0),(1 1,2 1,2 2,1 1))"});
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 3u);
    EXPECT_EQ(run.lines[0].size(), 2u * 53);
    EXPECT_EQ(run.lines[1].size(), 2u * 69);
    // Region: 2 sections, the first within 1 (bytes 69 to 74).
    EXPECT_EQ(run.lines[2].substr(0, 2), "05");
    EXPECT_EQ(run.lines[2].substr(2 * 69, 12), "020005000100");
    const Output back = Geomconv("cv wkt", {run.lines[2]});
    EXPECT_EQ(back.lines, std::vector<std::string>{
                              "GEOMETRYCOLLECTION(POLYGON((0 0,4 0,4 4,0 4,0 0),(1 1,2 1,2 2,1 1)))"});

    const std::string rect = "07" "0000000000000000" "0000000000000000" "0000000000001040"
                             "0000000000000840";
    // A classic polyline with one section whose within is 1.
    const std::string pline = "04" + std::string(64, '0') + "00000000" + std::string(64, '0') +
                              "0100" "0100" "0100" "00000000000000000000000000000000";
    run = Geomconv("cv wkt", {"00", rect, "0500000000", pline});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             "GEOMETRYCOLLECTION EMPTY",
                             "GEOMETRYCOLLECTION(POLYGON((0 0,4 0,4 3,0 3,0 0)))",
                             "! UKT_1 cvtran_decode_f8 TOO BIG",
                             "! UKT_1 cvtran_cast_to_geometry p: pline: within"}));
    run = Geomconv("cv wkt", {"01" + std::string(64, '0') + "00"});
    EXPECT_EQ(Heads(run), std::vector<std::string>{"! UKT_1"});
}

TEST(geomconv_ogc, DeepNestingIsRefused) {
    std::string text;
    std::string hex;
    for (int i = 0; i < 100000; ++i) {
        text += "GEOMETRYCOLLECTION(";
        hex += "010700000001000000";
    }
    hex += "0101000000000000000000f03f0000000000000040";
    Output run = Geomconv("wkt wkt", {text});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_EQ(run.lines[0].substr(0, 1), "!");
    run = Geomconv("wkb wkt", {hex});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_EQ(run.lines[0].substr(0, 1), "!");
}

}  // namespace
