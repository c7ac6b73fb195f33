// The face walk from outside: topo_run ALL dim=SURFACE faces=1 over sets of
// overlapping rectangles; the bounded faces in faces.sdas have GEOS's
// polygonize areas (tests/data/geos/faces.csv, exterior rings), and each
// connected group has one negative polygon whose area is minus its outer
// ring's (GEOS's union of the group's rectangles).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/topology/entry/te_topo_run_util.h"

namespace {

std::vector<std::string> Split(const std::string& s, char c) {
    std::vector<std::string> out;
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, c)) out.push_back(part);
    return out;
}

struct Face {
    long pid;
    double area;
    long inside;
};

// The polygons 3 on of a faces.sdas dump.
std::vector<Face> ReadFaces(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    const std::string text = s.str();
    std::vector<Face> faces;
    for (size_t at = text.find("pid="); at != std::string::npos; at = text.find("pid=", at + 1)) {
        if (at > 0 && text[at - 1] != '\n' && text[at - 1] != ')') continue;  // parent dump lines use pid= too
        Face face{};
        const size_t area = text.find("area=", at), inside = text.find("inside=", at);
        face.pid = std::strtol(text.c_str() + at + 4, nullptr, 10);
        face.area = std::strtod(text.c_str() + area + 5, nullptr);
        face.inside = std::strtol(text.c_str() + inside + 7, nullptr, 10);
        if (face.pid >= 3) faces.push_back(face);
    }
    return faces;
}

}  // namespace

TEST(qd_te_walk_tool, RectanglesGiveGeosFaces) {
    std::ifstream csv(std::string(QL_GEOS_DATA_DIR) + "/faces.csv");
    ASSERT_TRUE(csv.good());
    char dir[] = "/tmp/te_faces_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    const std::string path = std::string(dir) + "/faces.sdas";
    std::string line;
    int sets = 0;
    while (std::getline(csv, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> cols = Split(line, ',');
        ASSERT_EQ(cols.size(), 3u) << line;
        std::string input;
        for (const std::string& r : Split(cols[0], '|')) {
            double x0, y0, x1, y1;
            ASSERT_EQ(std::sscanf(r.c_str(), "%lf %lf %lf %lf", &x0, &y0, &x1, &y1), 4);
            char poly[256];
            std::snprintf(poly, sizeof poly, "-1 POLYGON ((%g %g, %g %g, %g %g, %g %g, %g %g))\n", x0, y0, x0, y1,
                          x1, y1, x1, y0, x0, y0);
            input += poly;
        }
        std::remove(path.c_str());
        std::remove((std::string(dir) + "/facespar.sdas").c_str());
        tetest::RunTopoRun({"ALL", "dim=SURFACE", "faces=1"}, input);
        const std::vector<Face> faces = ReadFaces(path);
        std::vector<double> positive, negative;
        for (const Face& f : faces) {
            if (f.area > 0) positive.push_back(f.area);
            else negative.push_back(-f.area);
        }
        std::sort(positive.begin(), positive.end());
        std::sort(negative.begin(), negative.end());
        std::vector<double> want_faces, want_groups;
        for (const std::string& a : Split(cols[1], ';')) want_faces.push_back(std::stod(a));
        for (const std::string& a : Split(cols[2], ';')) want_groups.push_back(std::stod(a));
        ASSERT_EQ(positive.size(), want_faces.size()) << line;
        for (size_t i = 0; i < positive.size(); ++i) EXPECT_NEAR(positive[i], want_faces[i], 1e-6) << line;
        ASSERT_EQ(negative.size(), want_groups.size()) << line;
        for (size_t i = 0; i < negative.size(); ++i) EXPECT_NEAR(negative[i], want_groups[i], 1e-6) << line;
        // Every group's outer boundary has a container: the face of
        // everything or a bounded face.
        for (const Face& f : faces)
            if (f.area <= 0) {
                EXPECT_TRUE(f.inside == 1 || f.inside >= 3) << line;
            }
        ++sets;
    }
    EXPECT_GE(sets, 10);
    std::remove(path.c_str());
    std::remove((std::string(dir) + "/facespar.sdas").c_str());
    rmdir(dir);
}
