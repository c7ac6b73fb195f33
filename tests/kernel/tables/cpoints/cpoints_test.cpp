// Compressed-points tables: bounds, cells, numbers, the files written and
// the refusals of bad headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "kernel/kernel_files_fixture.h"
#include "kernel/tables/cpoints.h"
#include "kernel/tables/tabread.h"

namespace {

class cpoints : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    tables_runtime_start();
  }
  std::string slurp(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  static CPointsDesc unit(int16_t cell, int32_t highest) {
    CPointsDesc d;
    d.cell_size = cell;
    d.highest = highest;
    d.prefix_size = 2;
    d.key_width = 6;
    return d;
  }
  std::vector<int> codes() const {
    std::vector<int> out;
    for (int i = 0; i < err_count(); ++i) out.push_back(g_err_stack->entries[i].code);
    return out;
  }
};

TEST_F(cpoints, CellOneOriginZeroScaleOne) {
  CPointsFile* f = nullptr;
  const CPointsDesc d = unit(1, 100);
  ASSERT_EQ(cpoints_create(path("p.TAB").c_str(), &d, &f), 1);
  EXPECT_EQ(f->bounds[0], -127);
  EXPECT_EQ(f->bounds[1], -127);
  EXPECT_EQ(f->bounds[2], 127);
  EXPECT_EQ(f->bounds[3], 127);
  // Size 64 + (p + 2c)(N + 1), and a fresh file holds no point.
  EXPECT_EQ(slurp("p.cpf").size(), 64u + 4u * 101u);
  CPointsPoint p{};
  for (const char* n : {"0", "1", "50", "100"}) EXPECT_EQ(cpoints_read_point(f, n, &p), 0) << n;
  // (0.5, 0.5) is stored as (-1, -1) and read as the origin.
  const CPointsPoint half{0.5, 0.5};
  ASSERT_EQ(cpoints_write_point(f, "7", &half), 1);
  const std::string bytes = slurp("p.cpf");
  EXPECT_EQ(bytes.substr(64 + 7 * 4, 4), std::string("\0\0\xff\xff", 4));
  ASSERT_EQ(cpoints_read_point(f, "7", &p), 1);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  // Cells truncate towards zero.
  const CPointsPoint q{-3.7, 126.9};
  ASSERT_EQ(cpoints_write_point(f, "100", &q), 1);
  ASSERT_EQ(cpoints_read_point(f, "100", &p), 1);
  EXPECT_EQ(p.x, -3);
  EXPECT_EQ(p.y, 126);
  char text[32];
  ASSERT_EQ(cpoints_read_point_by_number(f, 7, text, &p), 1);
  EXPECT_STREQ(text, "07");
  // Point N + 1: writing fails with 1905, reading answers 0.
  EXPECT_EQ(cpoints_write_point(f, "101", &half), 0);
  EXPECT_EQ(codes(), std::vector<int>{1905});
  err_clear();
  EXPECT_EQ(cpoints_read_point(f, "101", &p), 0);
  // Outside the bounds, or not finite: 1904.
  for (const CPointsPoint& bad : {CPointsPoint{128, 0}, CPointsPoint{NAN, 0}, CPointsPoint{0, INFINITY}}) {
    EXPECT_EQ(cpoints_write_point(f, "1", &bad), 0);
    EXPECT_EQ(codes(), std::vector<int>{1904});
    err_clear();
  }
  int32_t count = 0;
  ASSERT_EQ(cpoints_count(f, &count), 1);
  EXPECT_EQ(count, 101);
  ComponentFile parts[2];
  ASSERT_EQ(cpoints_component_files(f, parts), 2);
  EXPECT_EQ(parts[1].ext_id, 52);
  cpoints_table_free(f);

  // The .TAB marks the table (text lines end as the file set's do).
  std::string tab = slurp("p.TAB");
  tab.erase(std::remove(tab.begin(), tab.end(), '\r'), tab.end());
  EXPECT_EQ(tab.rfind("!table\n!version 300\n!charset WindowsLatin1\nCompressedPoints\n", 0), 0u) << tab;
  EXPECT_NE(tab.find("\"\\IsCompressedPoints\" = \"TRUE\""), std::string::npos) << tab;
  EXPECT_NE(tab.find("\"\\IsReadonly\" = \"TRUE\""), std::string::npos) << tab;
  // Open again: the header comes back.
  ASSERT_EQ(cpoints_open(path("p.TAB").c_str(), 1, &f), 1);
  CPointsDesc back;
  ASSERT_EQ(cpoints_get_header(f, &back), 1);
  EXPECT_EQ(back.highest, 100);
  EXPECT_EQ(back.prefix_size, 2);
  EXPECT_EQ(back.key_width, 6);
  ASSERT_EQ(cpoints_read_point(f, "100", &p), 1);
  EXPECT_EQ(p.x, -3);
  cpoints_table_free(f);
}

TEST_F(cpoints, Refusals) {
  CPointsFile* f = nullptr;
  CPointsDesc d = unit(2, 0);
  EXPECT_EQ(cpoints_create(path("p.TAB").c_str(), &d, &f), 0);
  EXPECT_EQ(codes(), std::vector<int>{674});
  err_clear();
  for (auto spoil : {+[](CPointsDesc* x) { x->cell_size = 3; }, +[](CPointsDesc* x) { x->scale_x = 0; },
                     +[](CPointsDesc* x) { x->origin_y = NAN; }, +[](CPointsDesc* x) { x->scale_y = INFINITY; }}) {
    d = unit(2, 10);
    spoil(&d);
    EXPECT_EQ(cpoints_create(path("p.TAB").c_str(), &d, &f), 0);
    EXPECT_EQ(codes(), std::vector<int>{1903});
    err_clear();
  }
  d = unit(2, 10);
  ASSERT_EQ(cpoints_create(path("p.TAB").c_str(), &d, &f), 1);
  cpoints_table_free(f);
  const std::string good = slurp("p.cpf");
  struct Case {
    const char* what;
    size_t at;
    std::string bytes;
    int code;
  } cases[] = {
      {"magic", 0, "X", 1900},
      {"version 101", 4, std::string("\x65\x00", 2), 1901},
      {"cell size 3", 48, std::string("\x03\x00", 2), 1900},
      {"scale 0", 32, std::string(8, '\0'), 1900},
      {"origin not finite", 16, std::string("\0\0\0\0\0\0\xf0\x7f", 8), 1900},
      {"highest 0", 56, std::string(4, '\0'), 674},
      {"highest negative", 56, std::string("\xff\xff\xff\xff", 4), 674},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string b = good;
    b.replace(c.at, c.bytes.size(), c.bytes);
    std::ofstream(path("p.cpf"), std::ios::binary) << b;
    EXPECT_EQ(cpoints_open(path("p.TAB").c_str(), 1, &f), 0);
    EXPECT_EQ(codes(), std::vector<int>{c.code});
    err_clear();
  }
  std::ofstream(path("p.cpf"), std::ios::binary) << good.substr(0, 40);
  EXPECT_EQ(cpoints_open(path("p.TAB").c_str(), 1, &f), 0);
  EXPECT_EQ(codes(), std::vector<int>{1902});
  err_clear();
  // A file cut short: records past its end are no points.
  std::ofstream(path("p.cpf"), std::ios::binary) << good.substr(0, 64 + 8 * 3);
  ASSERT_EQ(cpoints_open(path("p.TAB").c_str(), 1, &f), 1);
  CPointsPoint p{};
  EXPECT_EQ(cpoints_read_point(f, "9", &p), 0);
  cpoints_table_free(f);
  // Without "\IsCompressedPoints" = "TRUE": 505 with the path.
  std::ofstream(path("p.TAB"), std::ios::binary) << "!table\n!version 300\nCompressedPoints\n";
  EXPECT_EQ(cpoints_open(path("p.TAB").c_str(), 1, &f), 0);
  EXPECT_EQ(codes(), std::vector<int>{505});
}

}  // namespace
