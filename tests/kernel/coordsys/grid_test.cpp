// Datum-shift grids on grids written here from their file layouts: linear
// NADCON areas and French grids (bilinear interpolation of a linear field is
// exact), broken headers, the Japan mesh codes and interpolation, and csconv
// with --grid.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/grids.h"
#include "tests/kernel/coordsys/datum_side.h"
#include "kernel/runtime/file.h"
#include "tests/kernel/coordsys/run_tool.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/path.h"
#include "kernel/tables/tabdef.h"
#include "tests/kernel/coordsys/grid_writers.h"

namespace {

namespace fs = std::filesystem;

class GridDir : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("ql_grid_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    grid_uninstall_all();
    file_reset();
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  fs::path old_, dir_;
};


// ---- NADCON

using grid_nadcon = GridDir;

TEST_F(grid_nadcon, ForwardInverseAndBorder) {
  const NadconFixture f = nadcon_linear_fixture();
  write_nadcon_area("CONUS", f);
  NadconGrid* g = nullptr;
  ASSERT_EQ(nadcon_grid_open(&g), 1);
  const DPoint pts[] = {{-97.3, 33.1}, {-99.9, 30.05}, {-93.26, 34.74}, {262.7, 33.1}};
  for (const DPoint& p : pts) {
    DPoint out{};
    ASSERT_EQ(nadcon_shift_forward(g, &p, &out, nullptr), 1);
    const DPoint want = nadcon_expected(f, p);
    EXPECT_NEAR(out.x, want.x, 1e-12);
    EXPECT_NEAR(out.y, want.y, 1e-12);
    DPoint back{};
    ASSERT_EQ(nadcon_shift_inverse(g, &out, &back, nullptr), 1);
    EXPECT_NEAR(back.x, p.x, 1e-9);
    EXPECT_NEAR(back.y, p.y, 1e-9);
  }
  // On the border (strictly outside): the hook declines, the datum shift
  // falls back to the 7-parameter method.
  const DPoint border{f.min_lon, 33.1};
  DPoint out{};
  EXPECT_EQ(nadcon_shift_forward(g, &border, &out, nullptr), 0);
  const DatumGrid handle{g, nadcon_shift_forward, nadcon_shift_inverse};
  datum_set_grid(DATUM_GRID_NADCON, &handle);
  const Side a = side(62), b = side(74);
  DPoint via_grid{}, formula{};
  datum_shift_points(&border, &a.datum, &a.ell, &via_grid, &b.datum, &b.ell, 1);
  datum_shift_7param(&border, &a.datum, &a.ell, &formula, &b.datum, &b.ell, 1);
  EXPECT_EQ(via_grid.x, formula.x);
  EXPECT_EQ(via_grid.y, formula.y);
  DPoint inside{};
  datum_shift_points(&pts[0], &a.datum, &a.ell, &inside, &b.datum, &b.ell, 1);
  EXPECT_NEAR(inside.x, nadcon_expected(f, pts[0]).x, 1e-12);
  datum_set_grid(DATUM_GRID_NADCON, nullptr);
  nadcon_grid_close(g);
}

TEST_F(grid_nadcon, CellCacheReadsOnlyOnCellChange) {
  const NadconFixture f = nadcon_linear_fixture();
  write_nadcon_area("conus", f);
  NadconGrid* g = nullptr;
  ASSERT_EQ(nadcon_grid_open(&g), 1);
  DPoint out{};
  const DPoint p1{-97.3, 33.1}, p2{-97.35, 33.05}, p3{-96.1, 33.1};
  ASSERT_EQ(nadcon_shift_forward(g, &p1, &out, nullptr), 1);
  file_io_counters_reset();
  ASSERT_EQ(nadcon_shift_forward(g, &p2, &out, nullptr), 1);  // same cell
  EXPECT_EQ(file_io_counters().reads, 0);
  ASSERT_EQ(nadcon_shift_forward(g, &p3, &out, nullptr), 1);  // next cell: two reads per file
  EXPECT_EQ(file_io_counters().reads, 4);
  nadcon_grid_close(g);
}

TEST_F(grid_nadcon, SecondAreaWhenFirstMissing) {
  NadconFixture f = nadcon_linear_fixture();
  f.min_lon = -160;
  f.min_lat = 55;
  write_nadcon_area("Alaska", f);
  NadconGrid* g = nullptr;
  ASSERT_EQ(nadcon_grid_open(&g), 1);
  const DPoint p{-157.3, 57.1};
  DPoint out{};
  ASSERT_EQ(nadcon_shift_forward(g, &p, &out, nullptr), 1);
  EXPECT_NEAR(out.x, nadcon_expected(f, p).x, 1e-12);
  nadcon_grid_close(g);
}

struct BrokenCase {
  const char* name;
  NadconBreak fault;
};

TEST_F(grid_nadcon, BrokenAreasRefused) {
  const BrokenCase cases[] = {{"step 0", NadconBreak::StepZero},
                              {"NaN minimum", NadconBreak::NanMinimum},
                              {"column count 2^31-1", NadconBreak::HugeColumns},
                              {"both counts 2^31-1", NadconBreak::HugeBoth},
                              {"file shorter than its grid", NadconBreak::Short},
                              {"differing headers", NadconBreak::Differing},
                              {"latitude file missing", NadconBreak::MissingLatitude},
                              {"one row", NadconBreak::OneRow}};
  for (const BrokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    write_nadcon_area("conus", nadcon_linear_fixture(), c.fault);
    NadconGrid* g = nullptr;
    EXPECT_EQ(nadcon_grid_open(&g), 0);
    file_reset();
  }
}

// ---- France

using grid_ntf = GridDir;

TEST_F(grid_ntf, ConstantGridIsMolodenskyWithItsTranslation) {
  const double t[3] = {-165.5, -58.25, 318.75};
  write_ntf_grid(kNtfGridFile, kNtfMinLon, kNtfMinLat, kNtfMaxLon, kNtfMaxLat, 0.1, 0.1,
                 [&](int, int, double* out) { std::memcpy(out, t, sizeof t); });
  NtfGrid* g = nullptr;
  ASSERT_EQ(ntf_grid_open(&g), 1);
  const Side ntf = side(107), d74 = side(74);
  DatumDef target = ntf.datum;
  target.dx = t[0];
  target.dy = t[1];
  target.dz = t[2];
  const DPoint pts[] = {{2.35, 48.85}, {kNtfMaxLon, 45.0}, {kNtfMinLon, kNtfMinLat}, {-1.25, 51.95}};
  for (const DPoint& p : pts) {
    DPoint out{}, want{};
    ASSERT_EQ(ntf_grid_shift_to_ntf(g, &p, &out, &ntf.datum), 1);
    datum_molodensky(&p, &d74.datum, &d74.ell, &want, &target, &ntf.ell, 1);
    EXPECT_NEAR(out.x, want.x, 1e-12);
    EXPECT_NEAR(out.y, want.y, 1e-12);
    if (p.x == kNtfMaxLon || p.x == kNtfMinLon) continue;  // the inverse may step outside
    DPoint back{};
    ASSERT_EQ(ntf_grid_shift_from_ntf(g, &out, &back, &ntf.datum), 1);
    EXPECT_NEAR(back.x, p.x, 1e-9);
    EXPECT_NEAR(back.y, p.y, 1e-9);
  }
  // The same grid against PROJ's +proj=molodensky from datum 74 to the NTF
  // ellipsoid with the grid's translation (tests/data/proj, written by
  // tools/oracle/gen_proj_vectors.py).
  std::ifstream vectors(std::string(QL_SOURCE_DIR) + "/tests/data/proj/molodensky_74_ntfgrid.txt");
  int checked = 0;
  for (std::string line; std::getline(vectors, line);) {
    if (line.empty() || line[0] == '#') continue;
    DPoint in{}, proj{}, out{};
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf %lf %lf %lf", &in.x, &in.y, &proj.x, &proj.y), 4) << line;
    ASSERT_EQ(ntf_grid_shift_to_ntf(g, &in, &out, &ntf.datum), 1) << line;
    EXPECT_NEAR(out.x, proj.x, 1e-10) << line;
    EXPECT_NEAR(out.y, proj.y, 1e-10) << line;
    ++checked;
  }
  EXPECT_EQ(checked, 104);
  const DPoint outside{10.01, 45};
  DPoint out{7, 7};
  EXPECT_EQ(ntf_grid_shift_to_ntf(g, &outside, &out, &ntf.datum), 0);
  EXPECT_EQ(ntf_grid_shift_from_ntf(g, &outside, &out, &ntf.datum), 0);
  EXPECT_EQ(out.x, 7);
  ntf_grid_close(g);
}

TEST_F(grid_ntf, MaximumLongitudeUsesOneColumn) {
  // TX linear in the column: at the maximum longitude the shift is the last
  // column's value, and no column past it exists to be read.
  write_ntf_grid("lin.bin", 0, 0, 1, 1, 0.25, 0.25, [](int i, int j, double* out) {
    out[0] = 10.0 * i;
    out[1] = 2.0 * j;
    out[2] = 0;
  });
  NtfGrid* g = nullptr;
  const double rect[4] = {0, 0, 1, 1};
  ASSERT_EQ(ntf_grid_open_with(&g, "lin.bin", rect, 0.25, 0.25), 1);
  EXPECT_EQ(ntf_grid_node_index(g, 4, 4), 24);
  EXPECT_EQ(ntf_grid_node_index(g, 5, 0), -1);
  const Side ntf = side(107), d74 = side(74);
  for (const DPoint& p : {DPoint{1, 0.6}, DPoint{0.3, 0.6}}) {
    DatumDef target = ntf.datum;
    target.dx = 40.0 * p.x;
    target.dy = 8.0 * p.y;
    target.dz = 0;
    DPoint out{}, want{};
    ASSERT_EQ(ntf_grid_shift_to_ntf(g, &p, &out, &ntf.datum), 1);
    datum_molodensky(&p, &d74.datum, &d74.ell, &want, &target, &ntf.ell, 1);
    EXPECT_NEAR(out.x, want.x, 1e-12);
    EXPECT_NEAR(out.y, want.y, 1e-12);
  }
  ntf_grid_close(g);
}

TEST_F(grid_ntf, ShortOrUnsoundGridRefused) {
  write_ntf_grid(kNtfGridFile, 0, 0, 1, 1, 0.25, 0.25, [](int, int, double* out) { out[0] = out[1] = out[2] = 1; });
  NtfGrid* g = nullptr;
  EXPECT_EQ(ntf_grid_open(&g), 0);  // far too short for the French rectangle
  const double rect[4] = {0, 0, 1, 1};
  EXPECT_EQ(ntf_grid_open_with(&g, kNtfGridFile, rect, 0, 0.25), 0);
  const double nan_rect[4] = {std::numeric_limits<double>::quiet_NaN(), 0, 1, 1};
  EXPECT_EQ(ntf_grid_open_with(&g, kNtfGridFile, nan_rect, 0.25, 0.25), 0);
  EXPECT_EQ(ntf_grid_open_with(&g, "absent.bin", rect, 0.25, 0.25), 0);
}

// ---- Japan

using grid_jgd = GridDir;

TEST(grid_jgd_codes, MeshCodes) {
  JgdMesh m{};
  const DPoint p{135, 35};
  jgd_mesh_codes(&m, &p);
  EXPECT_EQ(m.codes[0], 52354000);
  EXPECT_EQ(m.lat_frac, 0);
  EXPECT_EQ(m.lon_frac, 0);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(m.codes[i], 52354000);  // fractions 0: the cell itself
  // Carries: the east neighbour of w = 9, v = 7 is the next degree.
  const DPoint q{135.99, 35.01};
  jgd_mesh_codes(&m, &q);
  EXPECT_EQ(m.codes[0], jgd_mesh_code(52, 4, 1, 35, 7, 9));
  EXPECT_EQ(m.codes[1], jgd_mesh_code(52, 4, 1, 36, 0, 0));
  EXPECT_EQ(m.codes[2], jgd_mesh_code(52, 4, 2, 36, 0, 0));
  EXPECT_EQ(m.codes[3], jgd_mesh_code(52, 4, 2, 35, 7, 9));
  // and the north neighbour of r = 9, q = 7 is the next first-level row.
  const DPoint n{135.01, 35.3292};
  jgd_mesh_codes(&m, &n);
  EXPECT_EQ(m.codes[0], jgd_mesh_code(52, 7, 9, 35, 0, 0));
  EXPECT_EQ(m.codes[3], jgd_mesh_code(53, 0, 0, 35, 0, 0));
}

struct LinearSource {
  int calls = 0;
};

// Shifts linear in the south-west corner's position of the mesh.
int16_t linear_source(void* context, int32_t code, double* lon, double* lat) {
  static_cast<LinearSource*>(context)->calls++;
  const int p = code / 1000000, u = code / 10000 % 100, q = code / 1000 % 10, v = code / 100 % 10,
            r = code / 10 % 10, w = code % 10;
  const double y = (p + q / 8.0 + r / 80.0) / 1.5, x = 100 + u + v / 8.0 + w / 80.0;
  *lon = 12.0 + 0.5 * (x - 135) - 0.25 * (y - 35);
  *lat = -11.0 + 0.125 * (x - 135) + 0.75 * (y - 35);
  return 1;
}

TEST_F(grid_jgd, LinearSourceInterpolatesAndCaches) {
  { std::ofstream("jgd2000.tab") << "!table\n"; }
  JgdGrid* g = nullptr;
  ASSERT_EQ(jgd_grid_open(&g), 1);
  LinearSource src;
  ASSERT_EQ(jgd_grid_load_source(g, linear_source, &src), 1);
  const DPoint p{135.0371, 35.0123};
  DPoint out{};
  ASSERT_EQ(jgd_grid_from_tokyo(g, &p, &out, nullptr), 1);
  EXPECT_NEAR(out.x, p.x + (12.0 + 0.5 * (p.x - 135) - 0.25 * (p.y - 35)) / 3600, 1e-12);
  EXPECT_NEAR(out.y, p.y + (-11.0 + 0.125 * (p.x - 135) + 0.75 * (p.y - 35)) / 3600, 1e-12);
  EXPECT_EQ(src.calls, 4);
  ASSERT_EQ(jgd_grid_from_tokyo(g, &p, &out, nullptr), 1);
  EXPECT_EQ(src.calls, 4);  // answered from the ring
  DPoint back{};
  ASSERT_EQ(jgd_grid_to_tokyo(g, &out, &back, nullptr), 1);
  EXPECT_NEAR(back.x, p.x, 1e-9);
  EXPECT_NEAR(back.y, p.y, 1e-9);
  // An inverse whose first forward fails (outside Japan) answers 0 and
  // leaves the output as it was.
  const DPoint far{10, 10};
  DPoint keep{1, 2};
  EXPECT_EQ(jgd_grid_to_tokyo(g, &far, &keep, nullptr), 0);
  EXPECT_EQ(keep.x, 1);
  EXPECT_EQ(keep.y, 2);
  jgd_grid_close(g);
}

// The shifts of the mesh fixture at a point (seconds), as
// tools/gen_jgd_fixture.py defines them: linear, so exact after bilinear
// interpolation between the cells.
DPoint fixture_shift(const DPoint& p) {
  return DPoint{12 + 0.5 * (p.x - 135) - 0.25 * (p.y - 35), -11 + 0.125 * (p.x - 135) + 0.75 * (p.y - 35)};
}

TEST_F(grid_jgd, TableLoadedOnFirstUse) {
  int rc = 0;
  const std::string made = run_tool(std::string("'") + MKTAB_PATH + "' '" + JGD_FIXTURE + "' jgd2000.tab", &rc);
  ASSERT_EQ(rc, 0) << made;
  JgdGrid* g = nullptr;
  ASSERT_EQ(jgd_grid_open(&g), 1);
  EXPECT_EQ(g->open, 0);  // loaded on first use
  const DPoint p{135.0371, 35.0123};
  DPoint out{};
  ASSERT_EQ(jgd_grid_from_tokyo(g, &p, &out, nullptr), 1);
  ASSERT_EQ(g->open, 1);
  EXPECT_NEAR(out.x, p.x + fixture_shift(p).x / 3600, 1e-12);
  EXPECT_NEAR(out.y, p.y + fixture_shift(p).y / 3600, 1e-12);
  // Opened hidden under its alias, in the second list of open tables.
  OpenTable* found = nullptr;
  EXPECT_EQ(table_find(kJgdTableAlias, nullptr, &found, 0), 0);
  ASSERT_EQ(table_find(kJgdTableAlias, nullptr, &found, 1), 1);
  EXPECT_EQ(found, g->entry);
  EXPECT_EQ(found->hidden, 1);
  EXPECT_EQ(err_count(), 0);
  // The ring answers a repeat without reading; a new cell reads the table.
  file_io_counters_reset();
  ASSERT_EQ(jgd_grid_from_tokyo(g, &p, &out, nullptr), 1);
  EXPECT_EQ(file_io_counters().reads, 0);
  const DPoint east{135.0571, 35.0123};
  ASSERT_EQ(jgd_grid_from_tokyo(g, &east, &out, nullptr), 1);
  EXPECT_GT(file_io_counters().reads, 0);
  EXPECT_NEAR(out.x, east.x + fixture_shift(east).x / 3600, 1e-12);
  // The inverse converges back to the point.
  DPoint forward{}, back{};
  ASSERT_EQ(jgd_grid_from_tokyo(g, &p, &forward, nullptr), 1);
  ASSERT_EQ(jgd_grid_to_tokyo(g, &forward, &back, nullptr), 1);
  EXPECT_NEAR(back.x, p.x, 1e-9);
  EXPECT_NEAR(back.y, p.y, 1e-9);
  // A point whose corners are not in the table: 0.
  const DPoint outside{136.5, 36.5};
  EXPECT_EQ(jgd_grid_from_tokyo(g, &outside, &out, nullptr), 0);
  EXPECT_EQ(err_count(), 0);
  jgd_grid_close(g);
  EXPECT_EQ(table_find(kJgdTableAlias, nullptr, &found, 1), 0);
}

TEST_F(grid_jgd, FailedLoadSetsTriedFlag) {
  JgdGrid* g = nullptr;
  EXPECT_EQ(jgd_grid_open(&g), 0);  // no table
  { std::ofstream("JGD2000.TAB") << "!table\n"; }
  ASSERT_EQ(jgd_grid_open(&g), 1);
  const DPoint p{135, 35};
  DPoint out{5, 6};
  EXPECT_EQ(jgd_grid_from_tokyo(g, &p, &out, nullptr), 0);
  EXPECT_EQ(g->tried, 1);
  EXPECT_EQ(g->open, 0);
  EXPECT_EQ(jgd_grid_to_tokyo(g, &p, &out, nullptr), 0);
  EXPECT_EQ(out.x, 5);
  jgd_grid_close(g);
}

// ---- csconv --grid

using grid_csconv = GridDir;

TEST_F(grid_csconv, ConvWithGrid) {
  const NadconFixture f = nadcon_linear_fixture();
  write_nadcon_area("CONUS", f);
  const std::string csconv = CSCONV_PATH;
  int rc = 0;
  std::string out = run_tool("echo '-97.3 33.1' | " + csconv +
                            " conv --grid nadcon 'CoordSys Earth Projection 1, 62' 'CoordSys Earth Projection 1, 74'",
                        &rc);
  EXPECT_EQ(rc, 0);
  double x = 0, y = 0;
  ASSERT_EQ(std::sscanf(out.c_str(), "%lf %lf", &x, &y), 2) << out;
  const DPoint want = nadcon_expected(f, DPoint{-97.3, 33.1});
  EXPECT_NEAR(x, want.x, 1e-12);
  EXPECT_NEAR(y, want.y, 1e-12);

  const double t[3] = {-165.5, -58.25, 318.75};
  write_ntf_grid(kNtfGridFile, kNtfMinLon, kNtfMinLat, kNtfMaxLon, kNtfMaxLat, 0.1, 0.1,
                 [&](int, int, double* o) { std::memcpy(o, t, sizeof t); });
  out = run_tool("echo '2.35 48.85' | " + csconv +
                " conv --grid ntf 'CoordSys Earth Projection 1, 104' 'CoordSys Earth Projection 1, 107'",
            &rc);
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(std::sscanf(out.c_str(), "%lf %lf", &x, &y), 2) << out;
  const Side ntf = side(107), d74 = side(74);
  DatumDef target = ntf.datum;
  target.dx = t[0];
  target.dy = t[1];
  target.dz = t[2];
  const DPoint p{2.35, 48.85};
  DPoint want2{};
  datum_molodensky(&p, &d74.datum, &d74.ell, &want2, &target, &ntf.ell, 1);
  EXPECT_NEAR(x, want2.x, 1e-12);
  EXPECT_NEAR(y, want2.y, 1e-12);

  write_nadcon_area("CONUS", f, NadconBreak::StepZero);
  out = run_tool("echo '-97.3 33.1' | " + csconv +
                " conv --grid nadcon 'CoordSys Earth Projection 1, 62' 'CoordSys Earth Projection 1, 74'",
            &rc);
  EXPECT_EQ(rc, 3);
  EXPECT_EQ(out, "grid not opened\n");
  out = run_tool(csconv + " conv --grid jgd 'CoordSys Earth Projection 1, 62' 'CoordSys Earth Projection 1, 74'", &rc);
  EXPECT_EQ(rc, 3);
}

}  // namespace
