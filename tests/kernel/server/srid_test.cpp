// Oracle SRIDs of coordinate systems: the table against a list transcribed
// apart from it, round trips of the known rows, matches and their error,
// lat/long normalisation and tolerances against great-circle lengths
// computed here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/server/ora_srid.h"

namespace {

// The known rows of the committed CSV (srid,"text" with doubled quotes).
std::map<int32_t, std::string> KnownRows() {
  std::map<int32_t, std::string> rows;
  std::ifstream in(QL_SRID_CSV);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    const size_t comma = line.find(',');
    std::string text = line.substr(comma + 2, line.size() - comma - 3);
    for (size_t at = text.find("\"\""); at != std::string::npos; at = text.find("\"\"", at + 1)) text.erase(at, 1);
    rows[std::stoi(line.substr(0, comma))] = text;
  }
  return rows;
}

// The rows csconv srid --dump prints ("SRID<TAB>text" a line).
std::vector<std::pair<int32_t, std::string>> DumpRows() {
  std::vector<std::pair<int32_t, std::string>> rows;
  FILE* p = popen((std::string("\"") + QL_CSCONV_PATH + "\" srid --dump").c_str(), "r");
  if (p == nullptr) return rows;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p) != nullptr) {
    std::string line(buf);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    const size_t tab = line.find('\t');
    rows.emplace_back(std::stoi(line.substr(0, tab)), line.substr(tab + 1));
  }
  pclose(p);
  return rows;
}

CoordXform Read(const char* text) {
  CoordXform xf;
  EXPECT_EQ(coordsys_from_text(&xf, text, 0), 1) << text;
  return xf;
}

class Srid : public ::testing::Test {
 protected:
  void SetUp() override { err_clear(); }
  void TearDown() override { err_clear(); }
};

TEST_F(Srid, TableBlocksAndKnownTexts) {
  // First SRID, last SRID, rows, projection type of the block's known texts
  // (-1: placeholders only, 0: non-earth).
  struct Block {
    int32_t first, last, rows, type;
  } blocks[] = {{1, 1, 1, -1},           {8192, 8310, 119, 1},     {32768, 32775, 8, 9},
                {40960, 41196, 237, 3},  {49152, 49155, 4, 10},    {81920, 82459, 540, 8},
                {90112, 90114, 3, 20},   {98304, 98305, 2, 4},     {106496, 106497, 2, 5},
                {139264, 139264, 1, 16}, {155648, 155648, 1, 11},  {172032, 172034, 3, 7},
                {180224, 180225, 2, 12}, {212992, 212992, 1, 13},  {262144, 262151, 8, 0},
                {270336, 270336, 1, 23}, {278528, 278528, 1, 21},  {286720, 286720, 1, 22},
                {294912, 294915, 4, 24}, {303104, 303105, 2, 14},  {311296, 311296, 1, 15},
                {319488, 319488, 1, 17}, {327680, 327680, 1, 19},  {335872, 335872, 1, 18},
                {344064, 344066, 3, 2},  {352256, 352257, 2, 25},  {524288, 524288, 1, 1},
                {557056, 557056, 1, -1}};
  const auto dump = DumpRows();
  ASSERT_EQ(dump.size(), static_cast<size_t>(kSridRowCount));
  // The dump is the table, row for row, ended by the terminating row.
  for (size_t i = 0; i < dump.size(); ++i) {
    EXPECT_EQ(dump[i].first, g_srid_table[i].srid);
    EXPECT_EQ(dump[i].second, g_srid_table[i].text);
  }
  EXPECT_EQ(g_srid_table[kSridRowCount].srid, -1);
  EXPECT_STREQ(g_srid_table[kSridRowCount].text, "");
  size_t at = 0;
  for (const Block& b : blocks) {
    ASSERT_EQ(dump[at].first, b.first);
    for (int32_t i = 0; i < b.rows; ++i, ++at) {
      ASSERT_LT(at, dump.size());
      ASSERT_EQ(dump[at].first, b.first + i);
      const std::string& t = dump[at].second;
      if (t.empty() || t.rfind("*******", 0) == 0) continue;
      if (b.type == 0) {
        EXPECT_EQ(t.rfind("CoordSys NonEarth Units \"", 0), 0u) << t;
      } else {
        EXPECT_EQ(t.rfind("CoordSys Earth Projection " + std::to_string(b.type) + ", ", 0), 0u) << t;
      }
    }
    EXPECT_EQ(dump[at - 1].first, b.last);
  }
  EXPECT_EQ(at, dump.size());

  const std::map<int32_t, std::string> known = KnownRows();
  ASSERT_EQ(known.size(), 136u);
  int empty = 0;
  std::map<std::string, std::vector<int32_t>> by_text;
  for (const auto& [srid, text] : dump) {
    EXPECT_LT(text.size(), 147u);
    const auto k = known.find(srid);
    if (k == known.end()) {
      EXPECT_EQ(text, "") << srid;
      ++empty;
    } else {
      EXPECT_EQ(text, k->second) << srid;
      by_text[text].push_back(srid);
    }
  }
  EXPECT_EQ(empty, 816);
  std::map<std::string, std::vector<int32_t>> repeated;
  for (const auto& [text, srids] : by_text) {
    if (srids.size() > 1) repeated[text] = srids;
  }
  const std::map<std::string, std::vector<int32_t>> expected = {
      {"CoordSys Earth Projection 1, 33", {8265, 524288}},
      {"CoordSys Earth Projection 1, 1000", {8220, 8281, 8289}},
      {"CoordSys Earth Projection 1, 114", {8219, 8250}},
      {"CoordSys Earth Projection 1, 113", {8221, 8244}},
      {"CoordSys Earth Projection 1, 36", {8231, 8283}},
      {"CoordSys Earth Projection 1, 69", {8259, 8263}}};
  EXPECT_EQ(repeated, expected);
}

TEST_F(Srid, KnownRowsReadBackToTheirSrid) {
  std::map<std::string, int32_t> smallest;
  for (const auto& [srid, text] : KnownRows()) {
    if (text.rfind("*******", 0) == 0) continue;
    smallest.emplace(text, srid);
    const CoordXform xf = Read(text.c_str());
    int32_t got = -7;
    EXPECT_EQ(coordsys_to_srid(&xf, &got), 1) << text;
    EXPECT_EQ(got, smallest[text]) << text;
    EXPECT_EQ(err_count(), 0);
  }
}

TEST_F(Srid, SystemsWithoutRow) {
  const char* texts[] = {
      "CoordSys Earth Projection 1, 999, 0, 1, 2, 3",
      "CoordSys Earth Projection 1, 9999, 0, 1, 2, 3, 4, 5, 6, 7, 0",
      "CoordSys Earth Projection 1, 104 Affine Units \"m\", 1, 2, 0, 3, 4, 0",
      "CoordSys Earth Projection 3, 74, \"m\", -100, 40, 30, 50, 0, 0",
      "CoordSys Earth Projection 3, 33, \"survey ft\", -122, 39.3333333333, 40, 41.6666666667, 6561666.6, 1640416.667",
  };
  for (const char* t : texts) {
    const CoordXform xf = Read(t);
    int32_t srid = -7;
    EXPECT_EQ(coordsys_to_srid(&xf, &srid), 0) << t;
    EXPECT_EQ(srid, 0);
  }
  // A Layout system, which the clause reader does not read.
  CoordXform layout;
  xform_default_nonearth(&layout);
  layout.def.ne.ne_coord_orientation = 4;
  layout.def.ne.ne_units = 7;
  char text[256];
  coordsys_to_text(&layout, text, sizeof text, 0);
  EXPECT_EQ(std::string(text).rfind("CoordSys Layout Units", 0), 0u) << text;
  int32_t srid = -7;
  EXPECT_EQ(coordsys_to_srid(&layout, &srid), 0);
  EXPECT_EQ(srid, 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(Srid, MatchesCoordSys) {
  const CoordXform wgs84 = Read("CoordSys Earth Projection 1, 104");
  struct Case {
    int32_t srid;
    int16_t answer;
    int errors;
  } cases[] = {{8307, 1, 0}, {1, 0, 1}, {5, 0, 0}, {8192, 0, 1}, {40960, 0, 1}, {82459, 0, 1}, {-1, 0, 0}, {0, 0, 0}};
  for (const Case& c : cases) {
    err_clear();
    EXPECT_EQ(ora_srid_matches_coordsys(&wgs84, c.srid), c.answer) << c.srid;
    ASSERT_EQ(err_count(), c.errors) << c.srid;
    if (c.errors) {
      EXPECT_EQ(g_err_stack->entries[0].code, kErrSridMismatch);
    }
  }
  EXPECT_NE(std::string(kernel_string(kErrSridMismatch)), "");
}

TEST_F(Srid, NormaliseLatLong) {
  struct Case {
    const char* text;
    int16_t answer;
    int32_t srid_after;
  } cases[] = {
      {"CoordSys Earth Projection 1, 0", 1, 8307},
      {"CoordSys Earth Projection 1, 999, 29, 0, 0, 0.5", 0, 0},
      {"CoordSys Earth Projection 8, 0, \"m\", 99, 0, 0.9996, 500000, 10000000", 0, 0},
      {"CoordSys Earth Projection 1, 104", 0, 8307},
      {"CoordSys NonEarth Units \"m\"", 0, 262148},
  };
  for (const Case& c : cases) {
    CoordXform xf = Read(c.text);
    const CoordXform before = xf;
    EXPECT_EQ(ora_normalise_latlong(&xf), c.answer) << c.text;
    if (c.answer) {
      EXPECT_EQ(before.def.datum.ellipsoid, 29);
      EXPECT_EQ(xf.def.datum.ellipsoid, 28);
      CoordXform back = xf;
      back.def.datum.ellipsoid = 29;
      EXPECT_EQ(std::memcmp(&back, &before, sizeof back), 0);
    } else {
      EXPECT_EQ(std::memcmp(&xf, &before, sizeof xf), 0) << c.text;
    }
    int32_t srid = -7;
    coordsys_to_srid(&xf, &srid);
    EXPECT_EQ(srid, c.srid_after) << c.text;
  }
  EXPECT_EQ(ora_normalise_latlong(nullptr), 0);
}

// Lengths of units in metres, by their definitions.
constexpr double kFoot = 0.3048, kSurveyFoot = 1200.0 / 3937.0;

TEST_F(Srid, ToleranceOfProjectedSystems) {
  struct Case {
    const char* unit;
    double metres;  // one unit in metres
    int32_t units;
    int16_t flag;
    double expected_in_unit_of_metres;  // metres of the answer's unit (0: own unit)
  } cases[] = {
      {"m", 1, 99, 0, 0},         {"m", 1, 7, 1, 1},           {"m", 1, 6, 1, 0.01},
      {"m", 1, 3, 1, kFoot},      {"ft", kFoot, 0, 0, 0},      {"ft", kFoot, 7, 1, 1},
      {"ft", kFoot, 3, 1, kFoot}, {"survey ft", kSurveyFoot, -1, 0, 0}, {"survey ft", kSurveyFoot, 7, 1, 1},
      {"survey ft", kSurveyFoot, 3, 1, kFoot}, {"km", 1000, 7, 0, 0},  {"km", 1000, 7, 1, 1},
      {"km", 1000, 3, 1, kFoot},
  };
  for (const Case& c : cases) {
    const std::string text =
        std::string("CoordSys Earth Projection 8, 104, \"") + c.unit + "\", 0, 0, 0.9996, 500000, 0";
    CoordXform xf = Read(text.c_str());
    xform_set_scale(&xf, 100, 100, 0, 0);
    double x = 0, y = 0;
    EXPECT_EQ(coordsys_tolerance(&xf, c.units, c.flag, &x, &y), 1);
    // One tenth of a step of 1/100 unit.
    double want = 0.001;
    if (c.expected_in_unit_of_metres != 0) want = 0.001 * c.metres / c.expected_in_unit_of_metres;
    EXPECT_NEAR(x, want, want * 1e-12) << c.unit << " " << c.units << " " << c.flag;
    EXPECT_NEAR(y, want, want * 1e-12) << c.unit << " " << c.units << " " << c.flag;
  }
  const CoordXform nonearth = Read("CoordSys NonEarth Units \"m\"");
  EXPECT_EQ(coordsys_tolerance(&nonearth, 7, 1, nullptr, nullptr), 1);
}

// Great-circle length in radians of two (longitude, latitude) points in
// degrees (haversine).
double Arc(double lon1, double lat1, double lon2, double lat2) {
  const double r = M_PI / 180;
  const double a = std::sin((lat2 - lat1) * r / 2), b = std::sin((lon2 - lon1) * r / 2);
  return 2 * std::asin(std::sqrt(a * a + std::cos(lat1 * r) * std::cos(lat2 * r) * b * b));
}

TEST_F(Srid, ToleranceOfLatLongFollowsTheSphere) {
  // The distance routine's sphere: 6370997 m.
  constexpr double kRadius = 6370997.0;
  // 10^6 integers per degree, integer (0, 0) at (lon0, lat0). Away from
  // (0, 0) the routine takes each point to radians before the difference,
  // which costs up to ulp(3 rad) / 1.7e-8 rad of the result: about 3e-8.
  struct Case {
    double lon0, lat0, relative;
  } cases[] = {{0, 0, 1e-9}, {10, 45, 1e-7}, {-120, -60, 1e-7}, {179, 80, 1e-7}};
  for (const Case& c : cases) {
    CoordXform xf = Read("CoordSys Earth Projection 1, 104");
    xform_set_scale(&xf, 1e6, 1e6, -c.lon0 * 1e6, -c.lat0 * 1e6);
    // The three points in degrees as the transform gives them (a step of
    // 1e-6 degrees near 80 degrees is not exact in doubles).
    const IntPoint ints[3] = {{0, 0}, {1, 0}, {0, 1}};
    DPoint p[3];
    xform_int_to_xy(ints, p, &xf, 3);
    EXPECT_NEAR(std::fabs(p[1].x - p[0].x), 1e-6, 1e-12);
    EXPECT_NEAR(std::fabs(p[0].x), std::fabs(c.lon0), 1e-9);
    EXPECT_NEAR(p[0].y, c.lat0, 1e-9);
    const double ax = Arc(p[0].x, p[0].y, p[1].x, p[1].y), ay = Arc(p[0].x, p[0].y, p[2].x, p[2].y);
    struct Unit {
      int32_t units;
      int16_t flag;
      double per_radian;
    } units[] = {{0, 0, 180 / M_PI}, {7, 0, 180 / M_PI}, {7, 1, kRadius}, {1, 1, kRadius / 1000}};
    for (const Unit& u : units) {
      double x = 0, y = 0;
      EXPECT_EQ(coordsys_tolerance(&xf, u.units, u.flag, &x, &y), 1);
      EXPECT_NEAR(x, 0.1 * ax * u.per_radian, c.relative * 0.1 * ax * u.per_radian) << c.lat0 << " " << u.units;
      EXPECT_NEAR(y, 0.1 * ay * u.per_radian, c.relative * 0.1 * ay * u.per_radian) << c.lat0 << " " << u.units;
    }
  }
}

// The unknown rows are those docs/server.md lists.
TEST_F(Srid, UnknownRowsAreThoseTheDocumentLists) {
  std::ifstream in(QL_SERVER_DOC);
  std::string line, list;
  while (std::getline(in, line)) {
    if (line == "<!-- unknown-srids -->") std::getline(in, list);
  }
  std::set<int32_t> listed;
  std::istringstream items(list);
  std::string item;
  while (std::getline(items, item, ',')) {
    const size_t dash = item.find('-');
    const int32_t first = std::stoi(item.substr(0, dash));
    const int32_t last = dash == std::string::npos ? first : std::stoi(item.substr(dash + 1));
    for (int32_t s = first; s <= last; ++s) listed.insert(s);
  }
  std::set<int32_t> empty;
  for (const auto& [srid, text] : DumpRows()) {
    if (text.empty()) empty.insert(srid);
  }
  EXPECT_EQ(listed.size(), 816u);
  EXPECT_EQ(listed, empty);
}

}  // namespace
