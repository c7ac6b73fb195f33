// geomconv end to end, blob to blob: lines in, lines out, the exit status,
// over the golden blobs and refused inputs.
#include <gtest/gtest.h>

#include "geomconv_run.h"
#include "geometry/blob_test_util.h"

using geomconv_test::Geomconv;
using geomconv_test::Output;

TEST(geomconv, BlobBlobRepacksGoldenBlobsByteForByte) {
    std::vector<std::string> in;
    for (const char* name :
         {"kt02_mixed", "kt02_two_points", "r3dl_line_id9_flag", "p2dp_point_id5_flag",
          "a3da_area_id4", "a2dc_circle_id2_flag", "f3dl_line", "l2dp_path", "kt02_region_abca"})
        in.push_back(geotest::ToHex(geotest::Golden(name)));
    const Output run = Geomconv("blob blob", in);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.lines, in);
}

TEST(geomconv, BlobBlobRefusals) {
    struct Case {
        const char* what;
        std::string in, out;
    };
    const Case cases[] = {
        {"7 bytes", "070000004b5430", "!"},
        {"length word beyond the bytes", "0d0000005032445000000000", "!"},
        {"KT02 count 0xFFFFFFFF",
         "1c0000004b54303200000000646662626c626646664cffffffff6430", "!"},
        {"unknown tag", "080000004b543033", "! UKT_I KT03"},
        {"not hex", "zz", "! not hex"},
    };
    for (const Case& c : cases) {
        const Output run = Geomconv("blob blob", {c.in});
        EXPECT_EQ(run.status, 1) << c.what;
        ASSERT_EQ(run.lines.size(), 1u) << c.what;
        EXPECT_EQ(run.lines[0], c.out) << c.what;
    }
    // One bad line among good ones: every line answered, status 1.
    const std::string good = geotest::ToHex(geotest::Golden("p2dp_point"));
    const Output run = Geomconv("blob blob", {good, "0700000000", good});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.lines, (std::vector<std::string>{good, "!", good}));
}

