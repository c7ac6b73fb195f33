// OGC forms against GEOS: the committed vectors of tests/data/geos/ogc.csv
// (GEOS's binary and text of each case, written by
// tools/oracle/gen_geos_vectors.py; the file's header gives the flags and
// the known differences), and refusal of the Z, M and SRID binary forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "blob_test_util.h"
#include "geometry/ktgeo_ogc.h"

using geotest::Bytes;
using geotest::FailRecorder;
using geotest::FromHex;
using geotest::Object;
using geotest::ToHex;
using geotest::Wkt;

namespace {

struct Row {
    std::string flags, text, wkb, wkt;
};

std::vector<Row> Rows() {
    std::ifstream in(std::string(QL_TEST_DATA_DIR) + "/geos/ogc.csv");
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> parts;
        std::stringstream ss(line);
        std::string part;
        while (std::getline(ss, part, ';')) parts.push_back(part);
        if (parts.size() == 4) rows.push_back({parts[0], parts[1], parts[2], parts[3]});
    }
    return rows;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// GEOS's text with ", " and " (" made "," and "(".
std::string Compact(std::string s) {
    for (const auto& [from, to] : {std::pair<std::string, std::string>{", ", ","}, {" (", "("}})
        for (size_t at; (at = s.find(from)) != std::string::npos;) s.replace(at, from.size(), to);
    return s;
}

void AddList(std::string* out, const nlst* list) {
    char buf[64];
    const GeoCoord* c = list ? static_cast<const GeoCoord*>(list->data) : nullptr;
    for (uint32_t i = 0; list && i < list->tally; ++i) {
        std::snprintf(buf, sizeof buf, " %a %a", c[i].x, c[i].y);
        *out += buf;
    }
}

void AddPath(std::string* out, const GeoPath& path) {
    *out += " R";
    for (uint32_t k = 0; path.curves && k < path.curves->tally; ++k)
        AddList(out, static_cast<const GeoCurve*>(nlst_index(path.curves, k))->coords);
}

// The object's primitives and coordinates as text, for equality.
std::string Shape(const SpatialObject& so) {
    std::string out;
    for (uint32_t i = 0; so.primitives && i < so.primitives->tally; ++i) {
        const GeometricPrimitive* p = static_cast<const GeometricPrimitive*>(nlst_index(so.primitives, i));
        switch (p->type) {
            case KTGEO_POINT: {
                char buf[64];
                std::snprintf(buf, sizeof buf, "P %a %a;", p->geom.point.coord.x, p->geom.point.coord.y);
                out += buf;
                break;
            }
            case KTGEO_CURVE:
                out += "L";
                AddList(&out, p->geom.curve.coords);
                out += ";";
                break;
            case KTGEO_POLYGON: {
                out += "A";
                AddPath(&out, p->geom.polygon.exterior);
                const nlst* holes = p->geom.polygon.interiors;
                for (uint32_t k = 0; holes && k < holes->tally; ++k)
                    AddPath(&out, *static_cast<const GeoPath*>(nlst_index(holes, k)));
                out += ";";
                break;
            }
            default: out += "?;";
        }
    }
    return out;
}

TEST(ogc_oracle, GeosVectors) {
    const std::vector<Row> rows = Rows();
    ASSERT_GE(rows.size(), 30u);
    int a = 0, b = 0, c = 0, t = 0;
    for (const Row& row : rows) {
        Object ours;
        ASSERT_EQ(ktgeo_ogc_input_wkt_v1(row.text.c_str(), &ours.so), 1) << row.text;
        if (row.flags.find('a') != std::string::npos) {
            uint8_t* wkb = nullptr;
            uint32_t n = 0, csid = 0;
            ASSERT_EQ(ktgeo_ogc_cast_from_geometry(&ours.so, &wkb, &n, &csid), 1) << row.text;
            EXPECT_EQ(ToHex(wkb, n), Lower(row.wkb)) << row.text;
            qd_free(wkb);
            ++a;
        }
        if (row.flags.find('b') != std::string::npos) {
            Object from_binary;
            const Bytes bytes = FromHex(row.wkb);
            ASSERT_EQ(ktgeo_ogc_cast_to_geometry(&from_binary.so, bytes.data(),
                                                 static_cast<uint32_t>(bytes.size()), 0),
                      1)
                << row.text;
            Object again;
            ASSERT_EQ(ktgeo_ogc_input_wkt_v1(row.text.c_str(), &again.so), 1);
            EXPECT_EQ(Shape(from_binary.so), Shape(again.so)) << row.text;
            ++b;
        }
        if (row.flags.find('t') != std::string::npos) {
            Object from_text;
            const std::string geos_text = Compact(row.wkt);
            ASSERT_EQ(ktgeo_ogc_input_wkt_v1(geos_text.c_str(), &from_text.so), 1) << geos_text;
            EXPECT_EQ(Shape(from_text.so), Shape(ours.so)) << row.text;
            ++t;
        }
        if (row.flags.find('c') != std::string::npos) {
            Object again;
            ASSERT_EQ(ktgeo_ogc_input_wkt_v1(row.text.c_str(), &again.so), 1);
            EXPECT_EQ(Wkt(&again.so), Compact(row.wkt)) << row.text;
            ++c;
        }
    }
    EXPECT_GE(a, 15);
    EXPECT_GE(b, 30);
    EXPECT_GE(t, 30);
    EXPECT_GE(c, 20);
}

// ISO Z, M and ZM codes (1001 to 3007) and the extended-WKB flags are refused.
TEST(ogc_oracle, ZMAndSridBinaryRefused) {
    std::vector<uint32_t> codes;
    for (uint32_t base : {1000u, 2000u, 3000u})
        for (uint32_t k = 1; k <= 7; ++k) codes.push_back(base + k);
    for (uint32_t flag : {0x80000000u, 0x40000000u, 0x20000000u, 0xE0000000u})
        codes.push_back(flag | 1u);
    for (uint32_t code : codes) {
        Bytes wkb(5 + 32, 0);
        wkb[0] = 1;
        byte_put_ui4(wkb.data() + 1, code);
        FailRecorder rec;
        Object o;
        EXPECT_EQ(ktgeo_ogc_cast_to_geometry(&o.so, wkb.data(), static_cast<uint32_t>(wkb.size()), 0), 0)
            << code;
        ASSERT_FALSE(rec.Codes().empty()) << code;
        EXPECT_EQ(rec.Last().code, "UKT_1");
        EXPECT_EQ(rec.Last().Get("param"), "data") << code;
        EXPECT_EQ(o.so.primitives, nullptr);
    }
}

}  // namespace
