// geomconv end to end through map objects: records to blobs and back, SDO
// arrays, ring orientation under two coordinate systems.
#include <gtest/gtest.h>

#include "geomconv_run.h"
#include "geometry/blob_test_util.h"

using geomconv_test::Geomconv;
using geomconv_test::Output;

namespace {

const char* const kLatLong = "\"CoordSys Earth Projection 1, 104\"";

std::string Hex(const char* name) { return geotest::ToHex(geotest::Golden(name)); }

std::string TagAndSize(const std::string& hex) {
    const geotest::Bytes b = geotest::FromHex(hex);
    if (b.size() < 8) return hex;
    return std::string(b.begin() + 4, b.begin() + 8) + " " + std::to_string(b.size());
}

}  // namespace

TEST(geomconv, RecordsBecomeBlobsAsTheUploadWritesThem) {
    struct Case {
        const char* record;
        const char* want;  // tag and size
    };
    const Case cases[] = {
        {"cvrec_point", "P2DP 24"},          {"cvrec_line", "L2DL 60"},
        {"cvrec_rect", "KT02 206"},          {"cvrec_region_abca", "KT02 189"},
        {"cvrec_text5", "CV00 168"},         {"cvrec_collection_region", "KT02 189"},
    };
    std::vector<std::string> in;
    for (const Case& c : cases) in.push_back(Hex(c.record));
    const Output run = Geomconv("record blob", in);
    ASSERT_EQ(run.lines.size(), in.size());
    for (size_t i = 0; i < in.size(); ++i)
        EXPECT_EQ(TagAndSize(run.lines[i]), cases[i].want) << cases[i].record;
    // The line's centroid is its rectangle's centre; the rectangle's its
    // centre; the text goes wrapped as it is.
    EXPECT_EQ(run.lines[1], Hex("l2dl_line"));
    EXPECT_EQ(run.lines[2], Hex("kt02_rect"));
    EXPECT_EQ(run.lines[4], Hex("cv00_text5"));
    EXPECT_EQ(run.status, 0);
}

TEST(geomconv, BlobsComeBackAsRecords) {
    const Output run = Geomconv("blob record", {Hex("l2dl_line"), Hex("kt02_rect"),
                                                Hex("cv00_text5"), Hex("p2dp_point")});
    ASSERT_EQ(run.lines.size(), 4u);
    EXPECT_EQ(run.lines[0], Hex("cvrec_polyline_of_line")) << "a line as a one-section polyline";
    EXPECT_EQ(run.lines[1], Hex("cvrec_region_of_rect")) << "a rectangle as a region";
    EXPECT_EQ(run.lines[2], Hex("cvrec_text5"));
    EXPECT_EQ(run.status, 0);
}

TEST(geomconv, SdoArrays) {
    struct Case {
        const char* what;
        const char* args;
        std::string in, out;
    };
    const Case cases[] = {
        {"rectangle", "record sdo", Hex("cvrec_rect"), "2003,2,2,1;1,1003,1;0,0,4,0,4,2,0,2,0,0"},
        {"rectangle, short codes", "record sdo --short", Hex("cvrec_rect"),
         "3,2,2,1;1,3,1;0,0,4,0,4,2,0,2,0,0"},
        {"point", "record sdo", Hex("cvrec_point"), "2001,2,3,4;;"},
        {"line", "record sdo", Hex("cvrec_line"), "2002,2,0,0;1,2,1;0,0,4,2"},
        {"measured line", "sdo record", "3302,3,0,0;1,2,1;0,0,9,5,5,9", Hex("cvrec_line_55")},
        {"one dimension", "sdo record", "1001,1,0,0;1,1,1;5", "!"},
        {"no dimension", "sdo record", "1,0,0,0;;5,5", "!"},
        {"point from SDO_POINT", "sdo sdo", "2001,2,10,20;;", "2001,2,10,20;;"},
        {"rectangle ring interpretation", "sdo sdo", "2003,2,0,0;1,1003,3;0,0,4,2",
         "2003,2,2,1;1,1003,1;0,0,4,0,4,2,0,2,0,0"},
        {"multipoint without triple", "sdo sdo", "2005,2,0,0;;1,2,3,4",
         "2005,2,0,0;1,1,2;1,2,3,4"},
        {"compound header last", "sdo sdo", "2002,2,0,0;1,2,1,1,4,2;0,0,1,1,2,0", "!"},
        {"unknown type as text", "sdo record", "2000,2,0,0;1,0,1;7,9", ""},
        {"unknown type without elements", "sdo record", "2000,2,0,0;;", "00"},
    };
    for (const Case& c : cases) {
        const Output run = Geomconv(c.args, {c.in});
        ASSERT_EQ(run.lines.size(), 1u) << c.what;
        if (c.out.empty()) {
            EXPECT_EQ(run.lines[0].substr(0, 2), "00") << c.what << ": an extended text record";
            continue;
        }
        EXPECT_EQ(run.lines[0], c.out) << c.what;
    }
}

TEST(geomconv, RegionRingsAreOrientedForTheServer) {
    // One polygon with a hole, the outer ring stored clockwise and the hole
    // counterclockwise: the outer ring goes out counterclockwise and the
    // hole clockwise.
    const std::string region =
        "2003,2,0,0;1,1003,1,11,2003,1;0,0,0,10,10,10,10,0,0,0,2,2,4,2,4,4,2,4,2,2";
    // (SDO_POINT holds the region's centre, left out here.)
    const auto arrays = [](const std::string& line) {
        return line.substr(0, 7) + line.substr(line.find(';'));
    };
    const Output ne = Geomconv("sdo sdo", {region});
    ASSERT_EQ(ne.lines.size(), 1u);
    EXPECT_EQ(arrays(ne.lines[0]),
              "2007,2,;1,1003,1,11,2003,1;0,0,10,0,10,10,0,10,0,0,2,2,2,4,4,4,4,2,2,2");
    // Under longitude/latitude the integer space runs the other way in x:
    // the coordinates come out oriented the same.
    const Output ll = Geomconv(std::string("sdo sdo ") + kLatLong, {region});
    ASSERT_EQ(ll.lines.size(), 1u);
    EXPECT_EQ(arrays(ll.lines[0]), arrays(ne.lines[0]));
}
