// The CoordSys clause: the writer against a golden file of expected texts,
// the reader back to the same text, the reader's errors, and the number list.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/conv.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/err.h"
#include "kernel/tables/clause_coordsys.h"
#include "kernel/tables/lang/lexer.h"

namespace {

struct Clause {
  int16_t type;
  CoordSysDef def;
  bool with_bounds;
  DRect bounds;
};

CoordSysDef earth(int datum, int16_t units, std::vector<double> params) {
  CoordSysDef d;
  coordsys_clear(&d);
  datum_get(datum, &d.datum);
  d.units = units;
  for (size_t i = 0; i < params.size(); ++i) d.params[i] = params[i];
  return d;
}

CoordSysDef latlong(int datum) {
  CoordSysDef d;
  coordsys_default_latlong(&d);
  datum_get(datum, &d.datum);
  return d;
}

CoordSysDef custom(uint8_t ellipsoid, double dx, double dy, double dz, double rx = 0) {
  CoordSysDef d;
  coordsys_default_latlong(&d);
  datum_clear(&d.datum);
  d.datum.ellipsoid = ellipsoid;
  d.datum.dx = dx;
  d.datum.dy = dy;
  d.datum.dz = dz;
  d.datum.rx = rx;
  return d;
}

CoordSysDef nonearth(int16_t units, uint8_t coord_orientation = 1) {
  CoordSysDef d;
  coordsys_clear(&d);
  d.ne.ne_fixed_aspect = 1;
  d.ne.ne_int_orientation = 1;
  d.ne.ne_coord_orientation = coord_orientation;
  d.ne.ne_units = units;
  return d;
}

CoordSysDef with_affine(CoordSysDef d, int16_t units, std::vector<double> a) {
  d.flags |= COORDSYS_AFFINE;
  d.affine_units = units;
  for (int i = 0; i < 6; ++i) d.affine[i] = a[i];
  util_affine_invert(d.affine_inverse);
  return d;
}

// The definitions behind golden/clauses.txt, line by line.
std::vector<Clause> golden_definitions() {
  const DRect none{-1000, -1000, 1000, 1000};
  return {
      {1, latlong(104), false, none},
      {9, earth(62, 7, {-96, 23, 20, 60, 0, 0}), false, none},
      {3, earth(33, 8, {-122, 39.3333333333, 40, 41.6666666667, 6561666.667, 1640416.667}), false, none},
      {1, custom(0, 1, 2, 3), false, none},
      {1, custom(4, -87, -98, -121), false, none},
      {10, earth(104, 7, {-0.0}), false, none},
      {1, custom(4, 1, 2, 3, 0.5), false, none},
      {1, latlong(0), false, none},
      {8, earth(104, 7, {-75, 0, 0.9996, 500000, 0}), false, none},
      {0, nonearth(3), false, none},
      {0, nonearth(7, 4), true, DRect{0, 0, 10, 10}},
      {0, with_affine(nonearth(7), 3, {2, 0, 1, 0, 2, 3}), false, none},
      {0, nonearth(7), true, DRect{0, 0, 10, 10}},
      {1, latlong(104), true, DRect{-360, -90, 360, 90}},
      {1, latlong(104), true, DRect{-180, -90, 180, 90}},
      {1, custom(4, 1, 2, 3), true, DRect{-100, -50, 100, 50}},
  };
}

std::string write_clause(const Clause& c) {
  CoordXform xf;
  xform_init_bounds(&xf, c.type, &c.def, &c.bounds);
  char out[512];
  EXPECT_EQ(coordsys_to_text(&xf, out, sizeof out, c.with_bounds ? 1 : 0), 1);
  return out;
}

std::vector<std::string> golden_lines() {
  std::ifstream in(std::string(QL_SOURCE_DIR) + "/tests/kernel/coordsys/golden/clauses.txt");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Codes on the error stack, oldest first.
std::vector<int> error_codes() {
  std::vector<int> codes;
  for (int i = 0; i < g_err_stack->stored_count && i < kErrMaxEntries; ++i)
    if (g_err_stack->entries[i].code > 0) codes.push_back(g_err_stack->entries[i].code);
  return codes;
}

class coordsys_text : public ::testing::Test {
 protected:
  void SetUp() override {
    lex_reset();
    err_clear();
  }
  void TearDown() override {
    err_clear();
    lex_reset();
  }
};

}  // namespace

TEST_F(coordsys_text, coordsys_writer_matches_golden_file) {
  const std::vector<std::string> expected = golden_lines();
  const std::vector<Clause> defs = golden_definitions();
  ASSERT_EQ(expected.size(), defs.size());
  for (size_t i = 0; i < defs.size(); ++i) EXPECT_EQ(write_clause(defs[i]), expected[i]) << "line " << i + 1;
}

TEST_F(coordsys_text, coordsys_golden_clauses_read_back) {
  std::vector<std::string> lines = golden_lines();
  lines.push_back("CoordSys Earth Projection 1, 104 Affine Units \"m\", 1, 2, 3, 4, 5, 6");
  lines.push_back("CoordSys Earth Projection 8, 104, \"m\", 9, 0, 0.9996, 500000, 0 Bounds (0, 0) (1000000, 9000000)");
  for (const std::string& line : lines) {
    if (line.find("Layout") != std::string::npos || line.find("-0") == line.size() - 2) continue;
    const bool bounds = line.find("Bounds") != std::string::npos;
    CoordXform xf;
    ASSERT_EQ(coordsys_from_text(&xf, line.c_str(), bounds ? 1 : 0), 1) << line;
    char out[512];
    coordsys_to_text(&xf, out, sizeof out, bounds ? 1 : 0);
    EXPECT_EQ(std::string(out), line);
  }
}

TEST_F(coordsys_text, coordsys_latlong_default_bounds_write_no_bounds) {
  CoordXform xf;
  ASSERT_EQ(coordsys_from_text(&xf, "CoordSys Earth Projection 1, 104", 1), 1);
  EXPECT_EQ(xf.type, 1);
  EXPECT_EQ(xf.def.int_orientation, 2);
  EXPECT_EQ(xf.def.datum.number, 104);
  char out[256];
  coordsys_to_text(&xf, out, sizeof out, 1);
  EXPECT_STREQ(out, "CoordSys Earth Projection 1, 104");
}

TEST_F(coordsys_text, coordsys_writer_cuts_and_blanks) {
  CoordSysDef d = earth(104, 40, {0, 0, 1, 0, 0});
  CoordXform xf;
  const DRect b{-1, -1, 1, 1};
  xform_init_bounds(&xf, 8, &d, &b);
  char out[64];
  coordsys_to_text(&xf, out, sizeof out, 0);
  EXPECT_STREQ(out, "CoordSys Earth Projection 8, 104, \" \", 0, 0, 1, 0, 0");
  char small[12];
  std::memset(small, 'x', sizeof small);
  int16_t cut = 0;
  EXPECT_EQ(coordsys_to_text(&xf, small, sizeof small, 0, &cut), 1);
  EXPECT_STREQ(small, "CoordSys Ea");
  EXPECT_EQ(cut, 1);
  EXPECT_EQ(coordsys_to_text(&xf, small, 0, 0), 0);
}

TEST_F(coordsys_text, coordsys_reader_errors) {
  const struct {
    const char* text;
    bool with_bounds;
    std::vector<int> codes;
  } cases[] = {
      {"CoordSys Earth Projection 1, 104, 7", false, {635}},
      {"CoordSys Earth Projection 1, 104 Affine Units \"m\", 1, 2, 3, 2, 4, 6", false, {1357}},
      {"CoordSys Earth Projection 1, 999, 54, 1, 2, 3", false, {890}},
      {"CoordSys Earth Projection 1, 999, 1e9, 1, 2, 3", false, {890}},
      {"CoordSys Earth Projection 1, 9999, -1, 1, 2, 3, 0, 0, 0, 0, 0", false, {890}},
      {"CoordSys Earth Projection 1e9, 104", false, {888}},
      {"CoordSys Earth Projection 33, 104", false, {888}},
      {"CoordSys Earth Projection 1, 155", false, {889}},
      {"CoordSys Earth Projection 1, 1e9", false, {889}},
      {"CoordSys Earth Projection 8, 104, \"meter\", 0, 0, 1, 0, 0", false, {606}},
      {"CoordSys Earth Projection 8, 104, \"sq m\", 0, 0, 1, 0, 0", false, {646}},
      {"CoordSys Earth Projection 8, 104, 1e9, 0, 0, 1, 0, 0", false, {646}},
      {"CoordSys Earth Projection 8, 104, \"m\", 0, 0", false, {}},
      {"CoordSys NonEarth Units \"sq mi\"", false, {646}},
      {"CoordSys NonEarth Units \"mi\"", true, {615}},
      // An affine list may stop early; its first missing value still counts.
      {"CoordSys Earth Projection 1001, 104, \"m\", 1, 0, 0, 0, 1", false, {636}},
      {"CoordSys Earth Projection 1001, 104, \"m\", 1, 0", false, {1357}},
  };
  for (const auto& c : cases) {
    err_clear();
    CoordXform xf;
    EXPECT_EQ(coordsys_parse_text(&xf, c.text, c.with_bounds ? 1 : 0), 0) << c.text;
    EXPECT_EQ(error_codes(), c.codes) << c.text;
    err_clear();
  }
}

TEST_F(coordsys_text, coordsys_type_3008_is_type_8_with_affine_and_bounds) {
  CoordXform xf;
  ASSERT_EQ(coordsys_parse_text(&xf, "CoordSys Earth Projection 3008, 104, \"m\", 1, 0, 0.9996, 0, 0, \"ft\", "
                                     "1, 0, 0, 0, 1, 0, 4, 3, 2, 1",
                                1),
            1);
  EXPECT_EQ(xf.type, 8);
  EXPECT_TRUE(xf.def.flags & COORDSYS_AFFINE);
  EXPECT_EQ(xf.def.affine_units, 3);
  const IntRect whole{-1000000000, -1000000000, 1000000000, 1000000000};
  DRect b;
  xform_int_rect_to_xy(&whole, &b, &xf);
  EXPECT_DOUBLE_EQ(b.x1, 2);  // the list's bounds, normalised
  EXPECT_DOUBLE_EQ(b.y1, 1);
  EXPECT_DOUBLE_EQ(b.x2, 4);
  EXPECT_DOUBLE_EQ(b.y2, 3);
}

TEST_F(coordsys_text, coordsys_layout_does_not_read_and_parser_leaves_outputs) {
  CoordXform xf;
  EXPECT_EQ(coordsys_from_text(&xf, "CoordSys Layout Units \"m\"", 0), 0);
  EXPECT_EQ(coordsys_from_text(&xf, nullptr, 0), 0);

  lex_begin_text("Layout Units \"m\"");
  lex_next();
  int16_t type = 77;
  CoordSysDef def;
  std::memset(&def, 0xAB, sizeof def);
  CoordSysDef before = def;
  DRect bounds{1, 2, 3, 4};
  EXPECT_EQ(clause_parse_coordsys(&type, &def, &bounds), 1);
  EXPECT_EQ(type, 77);
  EXPECT_EQ(std::memcmp(&def, &before, sizeof def), 0);
  EXPECT_EQ(bounds.x1, 1);
  lex_begin_text(nullptr);
}

TEST_F(coordsys_text, coordsys_from_text_keeps_the_callers_lexer) {
  lex_begin_text("Earth Projection");
  lex_next();
  CoordXform xf;
  EXPECT_EQ(coordsys_from_text(&xf, "NonEarth Units \"m\" Bounds (0, 0) (1, 1)", 1), 1);
  EXPECT_TRUE(lex_is(kKwEarth));
  lex_next();
  EXPECT_TRUE(lex_is(kKwProjection));
  lex_begin_text(nullptr);
}

TEST_F(coordsys_text, coordsys_number_list) {
  Value v[kCoordSysMaxNumbers] = {};
  auto num = [](double d) {
    Value x{};
    x.type = VALUE_FLOAT;
    x.u.d = d;
    return x;
  };
  // Type 0 with a unit code, then an affine stopping at the first non-number.
  v[0] = num(1000);
  v[1] = num(7);
  v[2] = num(7);
  v[3] = num(2);
  v[4] = num(0);
  v[5] = num(0);
  v[6] = num(0);
  v[7] = num(2);
  int16_t type = -1, has = -1;
  CoordSysDef def;
  int32_t used = 0;
  EXPECT_EQ(coordsys_from_numbers(v, &type, &def, nullptr, &has, &used), 1);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(def.ne.ne_units, 7);
  EXPECT_EQ(def.affine[4], 2);
  EXPECT_EQ(def.affine[5], 0);
  EXPECT_EQ(used, 10);  // the first missing value counts as used
  EXPECT_EQ(has, 0);

  // Codes that do not fit 16 bits, NaN included, are refused by their own
  // error, never cast.
  const struct {
    double type, datum;
    int code;
  } unfit[] = {{NAN, 104, 888}, {-1e300, 104, 888}, {1, NAN, 889}, {1, 70000, 889}};
  for (const auto& u : unfit) {
    err_clear();
    Value x[kCoordSysMaxNumbers] = {};
    x[0] = num(u.type);
    x[1] = num(u.datum);
    EXPECT_EQ(coordsys_from_numbers(x, &type, &def, nullptr, nullptr, nullptr), 0) << u.type << " " << u.datum;
    EXPECT_EQ(error_codes(), std::vector<int>{u.code}) << u.type << " " << u.datum;
  }
  err_clear();

  // An invalid type leaves used alone.
  v[0] = num(40);
  used = 123;
  EXPECT_EQ(coordsys_from_numbers(v, &type, &def, nullptr, nullptr, &used), 0);
  EXPECT_EQ(used, 123);
  err_clear();

  // Trailing bounds come out normalised.
  Value w[kCoordSysMaxNumbers] = {};
  w[0] = num(2001);
  w[1] = num(104);
  w[2] = num(10);
  w[3] = num(5);
  w[4] = num(-10);
  w[5] = num(-5);
  DRect b{};
  EXPECT_EQ(coordsys_from_numbers(w, &type, &def, &b, &has, &used), 1);
  EXPECT_EQ(has, 1);
  EXPECT_EQ(b.x1, -10);
  EXPECT_EQ(b.y2, 5);
  EXPECT_EQ(used, 7);
}

TEST_F(coordsys_text, coordsys_units_reader) {
  const struct {
    const char* text;
    int16_t kind, optional, ok, unit;
    std::vector<int> codes;
  } cases[] = {
      {"Units \"km\"", 1, 0, 1, 1, {}},
      {"Units \"sq km\"", 2, 0, 1, 15, {}},
      {"Units \"sq km\"", 0, 0, 0, -1, {645}},
      {"Units \"sq km\"", 1, 0, 0, -1, {646}},
      {"Units \"km\"", 2, 0, 0, -1, {647}},
      {"Units \"km\"", 3, 0, 0, -1, {660}},
      {"Units \"furlong\"", 1, 0, 0, -1, {606}},
      {"Units 7", 1, 0, 0, -1, {606}},
      {"Bounds", 2, 1, 1, 14, {}},  // optional and absent: the current area unit
      {"Bounds", 1, 0, 0, -1, {615}},
  };
  for (const auto& c : cases) {
    err_clear();
    lex_begin_text(c.text);
    lex_next();
    int16_t unit = -1;
    EXPECT_EQ(clause_read_units(c.kind, &unit, c.optional), c.ok) << c.text << " kind " << c.kind;
    EXPECT_EQ(unit, c.unit) << c.text;
    EXPECT_EQ(error_codes(), c.codes) << c.text << " kind " << c.kind;
    lex_begin_text(nullptr);
  }
}
