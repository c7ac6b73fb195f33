// geomconv end to end through map objects: records to blobs and back, SDO
// arrays, ring orientation under two coordinate systems.
#include <gtest/gtest.h>

#include <cmath>

#include "geomconv_run.h"
#include "geometry/blob_test_util.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/err.h"

using geomconv_test::Geomconv;
using geomconv_test::Output;
using geotest::ToHex;

namespace {

const char* const kLatLong = "\"CoordSys Earth Projection 1, 104\"";

struct XY {
    double x, y;
};

// Classic object records put together from the layout: the type, the
// rectangle, the type's fields and the final zero byte.
struct Record {
    geotest::Bytes b;
    explicit Record(int type, size_t length) : b(length, 0) { b[0] = static_cast<uint8_t>(type); }
    Record& f8(size_t at, double v) {
        byte_put_f8(b.data() + at, v);
        return *this;
    }
    Record& rect(double x1, double y1, double x2, double y2) {
        return f8(1, x1).f8(9, y1).f8(17, x2).f8(25, y2);
    }
};

Record LineRecord(XY a, XY b) {
    Record r(2, 70);
    r.rect(std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fmax(a.x, b.x), std::fmax(a.y, b.y));
    return r.f8(37, a.x).f8(45, a.y).f8(53, b.x).f8(61, b.y);
}

// A region of sections (holes-following count, nodes), centre (0, 0).
Record RegionRecord(const std::vector<std::pair<int, std::vector<XY>>>& sections) {
    size_t length = 72;
    double x1 = 1e300, y1 = 1e300, x2 = -1e300, y2 = -1e300;
    for (const auto& [holes, nodes] : sections) {
        length += 4 + 16 * nodes.size();
        for (const XY& p : nodes) {
            x1 = std::fmin(x1, p.x), y1 = std::fmin(y1, p.y);
            x2 = std::fmax(x2, p.x), y2 = std::fmax(y2, p.y);
        }
    }
    Record r(5, length);
    r.rect(x1, y1, x2, y2);
    byte_put_i2(r.b.data() + 69, static_cast<int16_t>(sections.size()));
    size_t at = 71;
    for (const auto& [holes, nodes] : sections) {
        byte_put_i2(r.b.data() + at, static_cast<int16_t>(nodes.size()));
        byte_put_i2(r.b.data() + at + 2, static_cast<int16_t>(holes));
        at += 4;
        for (const XY& p : nodes) {
            r.f8(at, p.x).f8(at + 8, p.y);
            at += 16;
        }
    }
    return r;
}

// The nodes of a classic polyline or region record, section by section.
std::vector<std::vector<XY>> RecordNodes(const geotest::Bytes& b) {
    std::vector<std::vector<XY>> out;
    if (b.size() < 72) return out;
    int16_t sections = 0;
    byte_get_i2(b.data() + 69, &sections);
    size_t at = 71;
    for (int s = 0; s < sections && at + 4 <= b.size(); ++s) {
        int16_t n = 0;
        byte_get_i2(b.data() + at, &n);
        at += 4;
        std::vector<XY> nodes;
        for (int i = 0; i < n && at + 16 <= b.size(); ++i, at += 16) {
            XY p;
            byte_get_f8(b.data() + at, &p.x);
            byte_get_f8(b.data() + at + 8, &p.y);
            nodes.push_back(p);
        }
        out.push_back(nodes);
    }
    return out;
}

// Ordinates of an "sdo" line, ring by ring as the triples say.
std::vector<std::vector<XY>> SdoRings(const std::string& line) {
    const size_t a = line.find(';'), b = line.find(';', a + 1);
    std::vector<double> elem, ords;
    std::istringstream es(line.substr(a + 1, b - a - 1)), os(line.substr(b + 1));
    std::string item;
    while (std::getline(es, item, ',')) elem.push_back(std::stod(item));
    while (std::getline(os, item, ',')) ords.push_back(std::stod(item));
    std::vector<std::vector<XY>> rings;
    for (size_t t = 0; t + 2 < elem.size(); t += 3) {
        const size_t from = static_cast<size_t>(elem[t]) - 1;
        const size_t to = t + 5 < elem.size() ? static_cast<size_t>(elem[t + 3]) - 1 : ords.size();
        std::vector<XY> ring;
        for (size_t k = from; k + 1 < ords.size() && k < to; k += 2)
            ring.push_back({ords[k], ords[k + 1]});
        rings.push_back(ring);
    }
    return rings;
}

// Twice the signed area: positive counterclockwise.
double Shoelace(const std::vector<XY>& ring) {
    double a = 0;
    for (size_t k = 0; k + 1 < ring.size(); ++k)
        a += ring[k].x * ring[k + 1].y - ring[k + 1].x * ring[k].y;
    return a;
}

// One integer step of the clause's integer space, in its coordinates.
XY IntegerStep(const char* clause) {
    CoordXform xf{};
    EXPECT_EQ(coordsys_parse_text(&xf, clause, 1), 1);
    err_clear();
    const IntPoint p[2] = {{0, 0}, {1, 1}};
    DPoint d[2];
    xform_int_to_xy(p, d, &xf, 2);
    return {std::fabs(d[1].x - d[0].x), std::fabs(d[1].y - d[0].y)};
}

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

TEST(geomconv, LatLongRecordsThereAndBackWithinOneIntegerStep) {
    // Records in degrees, through the upload's blob and back: the nodes come
    // back within one integer step (a line as a one-section polyline, a
    // rectangle as a region).
    const XY step = IntegerStep("CoordSys Earth Projection 1, 104");
    ASSERT_GT(step.x, 0);
    ASSERT_LT(step.x, 1e-5);
    const std::vector<XY> line = {{-3.123456789, 40.1}, {-1.5, 42.987654321}};
    const std::vector<XY> ring = {{-3.3, 40.2}, {-1.25, 40.2}, {-1.25, 42.7654321}, {-3.3, 40.2}};
    // The bridge's ring of a rectangle starts at the first corner of the
    // integer rectangle and runs through the integer space, whose x runs
    // west in this system: from the east corner westwards.
    const std::vector<XY> rect = {{-1.25, 40.2}, {-3.3, 40.2}, {-3.3, 42.7}, {-1.25, 42.7},
                                  {-1.25, 40.2}};
    Record rect_record(7, 34);
    rect_record.rect(-3.3, 40.2, -1.25, 42.7);
    const std::vector<std::string> records = {ToHex(LineRecord(line[0], line[1]).b),
                                              ToHex(RegionRecord({{0, ring}}).b),
                                              ToHex(rect_record.b)};
    const std::string ll = kLatLong;
    const Output blobs = Geomconv("record blob " + ll, records);
    ASSERT_EQ(blobs.status, 0);
    ASSERT_EQ(blobs.lines.size(), 3u);
    EXPECT_EQ(TagAndSize(blobs.lines[0]), "L2DL 60");
    EXPECT_EQ(TagAndSize(blobs.lines[1]), "KT02 189");
    EXPECT_EQ(TagAndSize(blobs.lines[2]), "KT02 206");
    const Output back = Geomconv("blob record " + ll, blobs.lines);
    ASSERT_EQ(back.status, 0);
    ASSERT_EQ(back.lines.size(), 3u);
    const std::vector<XY>* want[] = {&line, &ring, &rect};
    const int types[] = {4, 5, 5};
    for (size_t i = 0; i < 3; ++i) {
        const geotest::Bytes b = geotest::FromHex(back.lines[i]);
        ASSERT_FALSE(b.empty()) << i;
        EXPECT_EQ(b[0], types[i]) << i;
        const auto nodes = RecordNodes(b);
        ASSERT_EQ(nodes.size(), 1u) << i;
        ASSERT_EQ(nodes[0].size(), want[i]->size()) << i;
        for (size_t k = 0; k < nodes[0].size(); ++k) {
            EXPECT_LE(std::fabs(nodes[0][k].x - (*want[i])[k].x), step.x) << i << " node " << k;
            EXPECT_LE(std::fabs(nodes[0][k].y - (*want[i])[k].y), step.y) << i << " node " << k;
        }
    }
}

TEST(geomconv, RegionRecordsGoToTheServerOriented) {
    // One polygon with a hole, the outer ring stored clockwise and the hole
    // counterclockwise: 2007, the outer ring counterclockwise and the hole
    // clockwise, in a projected system and under longitude/latitude.
    const std::vector<XY> outer = {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}};
    const std::vector<XY> hole = {{2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}};
    const std::string record = ToHex(RegionRecord({{1, outer}, {0, hole}}).b);
    const Output ne = Geomconv("record sdo", {record});
    ASSERT_EQ(ne.lines.size(), 1u);
    const std::string& got = ne.lines[0];
    EXPECT_EQ(got.substr(0, 7), "2007,2,");
    EXPECT_EQ(got.substr(got.find(';')),
              ";1,1003,1,11,2003,1;0,0,10,0,10,10,0,10,0,0,2,2,2,4,4,4,4,2,2,2");
    const Output ll = Geomconv(std::string("record sdo ") + kLatLong, {record});
    ASSERT_EQ(ll.lines.size(), 1u);
    EXPECT_EQ(ll.lines[0].substr(0, 7), "2007,2,");
    const auto rings = SdoRings(ll.lines[0]);
    ASSERT_EQ(rings.size(), 2u);
    ASSERT_EQ(rings[0].size(), 5u);
    ASSERT_EQ(rings[1].size(), 5u);
    EXPECT_GT(Shoelace(rings[0]), 0) << "outer ring counterclockwise";
    EXPECT_LT(Shoelace(rings[1]), 0) << "hole clockwise";
}

TEST(geomconv, MeasuredOrThreeDimensionalLinesGiveTheirPlainRecords) {
    // The extra ordinates are skipped by the stride: the record of the
    // two-dimensional value.
    const Output run = Geomconv("sdo record", {"3002,3,0,0;1,2,1;0,0,7,5,5,8,9,9,9",
                                               "2002,2,0,0;1,2,1;0,0,5,5,9,9",
                                               "3306,3,0,0;1,2,1,7,2,1;0,0,1,5,5,2,1,1,3,2,2,4",
                                               "2006,2,0,0;1,2,1,5,2,1;0,0,5,5,1,1,2,2"});
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 4u);
    EXPECT_EQ(run.lines[0].substr(0, 2), "04") << "a polyline";
    EXPECT_EQ(run.lines[0], run.lines[1]);
    EXPECT_EQ(run.lines[2], run.lines[3]);
}
