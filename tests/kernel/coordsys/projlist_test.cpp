// The projection list file: the name lookup on small lists written here,
// csconv name in the list's directory and from an empty one (the shipped
// list beside the program), and the shipped list itself.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/projlist.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "tests/kernel/coordsys/run_tool.h"

namespace {

namespace fs = std::filesystem;

class projlist_ : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("ql_projlist_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    projlist_close_file();
    file_reset();
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static void write_list(const std::string& text) {
    std::ofstream("VEVIRORU.PRJ", std::ios::binary) << text;
  }
  fs::path old_, dir_;
};

struct ListCase {
  const char* what;
  const char* list;  // null: no file
  const char* clause;
  int found;
  const char* name;
  int code;
};

const ListCase kCases[] = {
    {"code after \\p", "\"Longitude / Latitude (WGS 84)\\p4326\",1,104\n", "CoordSys Earth Projection 1, 104", 1,
     "Longitude / Latitude (WGS 84)", 4326},
    {"first of two equal entries", "First,1,104\nSecond\\p7,1,104\n", "CoordSys Earth Projection 1, 104", 1, "First",
     -1},
    {"heading never returned", "--- heading,1,104\nReal\\p12,1,104\n", "CoordSys Earth Projection 1, 104", 1, "Real",
     12},
    {"heading only", "-,1,104\n", "CoordSys Earth Projection 1, 104", 0, "", -1},
    {"empty name never returned", ",1,104\n", "CoordSys Earth Projection 1, 104", 0, "", -1},
    {"near match on datum number", "Near\\p74,1,74\n", "CoordSys Earth Projection 1, 152", 1, "Near", 74},
    {"exact match after a near one", "Near\\p74,1,74\nExact\\p152,1,152\n", "CoordSys Earth Projection 1, 152", 1,
     "Exact", 152},
    {"unbuildable lines skipped", "Big,1e9,104\nText,1,abc\nWide,1,70000\nMore,1,104,5\nOK,1,104\n",
     "CoordSys Earth Projection 1, 104", 1, "OK", -1},
    {"quoted name with comma and quote",
     "\"UTM Zone 33, \"\"north\"\"\\p32633\",8,104,7,15,0,0.9996,500000,0\r\n",
     "CoordSys Earth Projection 8, 104, \"m\", 15, 0, 0.9996, 500000, 0", 1, "UTM Zone 33, \"north\"", 32633},
    {"different system", "Other,8,104,7,15,0,0.9996,500000,0\n", "CoordSys Earth Projection 1, 104", 0, "", -1},
    {"non-earth with bounds", "Plane\\p1,2000,7,0,0,100,100\n",
     "CoordSys NonEarth Units \"m\" Bounds (0, 0) (100, 100)", 1, "Plane", 1},
    {"no file", nullptr, "CoordSys Earth Projection 1, 104", 0, "", -1},
};

TEST_F(projlist_, FindName) {
  for (const ListCase& c : kCases) {
    SCOPED_TRACE(c.what);
    projlist_close_file();
    file_reset();
    fs::remove("VEVIRORU.PRJ");
    if (c.list != nullptr) write_list(c.list);
    CoordXform xf;
    ASSERT_EQ(coordsys_from_text(&xf, c.clause, 1), 1);
    char name[128] = "junk";
    int32_t code = 99;
    EXPECT_EQ(coordsys_find_name(&xf, name, sizeof name, &code), c.found);
    EXPECT_STREQ(name, c.name);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(g_err_stack->stored_count, 0);
  }
}

TEST_F(projlist_, ReadersAndShortNames) {
  write_list("Alpha\\p4326,1,104\n\nBeta,1,62\n");
  ProjList list;
  ASSERT_EQ(projlist_open(&list), 1);
  EXPECT_EQ(projlist_count(&list), 2);
  char name[4];
  int32_t code = 0;
  EXPECT_EQ(projlist_read_name(&list, 0, name, sizeof name, &code, 1), 1);
  EXPECT_STREQ(name, "Alp");
  EXPECT_EQ(code, 4326);
  EXPECT_EQ(projlist_read_code(&list, 1, &code), 0);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(projlist_read_name(&list, 2, name, sizeof name, &code, 0), 0);
  EXPECT_STREQ(name, "");
  int16_t type = -1;
  CoordSysDef def;
  EXPECT_EQ(projlist_read_coordsys(&list, 1, &type, &def, nullptr, nullptr), 1);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(def.datum.number, 62);
  projlist_close(&list);
}

TEST_F(projlist_, ShippedListBuildsEveryEntry) {
  fs::copy_file(fs::path(QL_SOURCE_DIR) / "resources" / "VEVIRORU.PRJ", "VEVIRORU.PRJ");
  ProjList list;
  ASSERT_EQ(projlist_open(&list), 1);
  const int32_t n = projlist_count(&list);
  EXPECT_GT(n, 120);
  int headings = 0;
  for (int32_t i = 0; i < n; ++i) {
    char name[256];
    int32_t code = -1;
    ASSERT_EQ(projlist_read_name(&list, i, name, sizeof name, &code, 0), 1);
    if (name[0] == '-') {
      ++headings;
      continue;
    }
    int16_t type = -1;
    CoordSysDef def;
    EXPECT_EQ(projlist_read_coordsys(&list, i, &type, &def, nullptr, nullptr), 1) << name;
  }
  EXPECT_GE(headings, 3);
  projlist_close(&list);
}

TEST_F(projlist_, CsconvName) {
  const std::string csconv = CSCONV_PATH;
  // The shipped list beside the program, from an empty directory.
  int rc = 0;
  std::string out = run_tool(csconv + " name 'CoordSys Earth Projection 8, 104, \"m\", 15, 0, 0.9996, 500000, 0'", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "UTM Zone 33, northern hemisphere (WGS 84)\t32633\n");
  // A list in the current directory comes first.
  write_list("Near\\p74,1,74\nHeading-less\\p4326,1,104\nMine,1,104\n-,1,152\n");
  out = run_tool(csconv + " name 'CoordSys Earth Projection 1, 104'", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "Heading-less\t4326\n");
  out = run_tool(csconv + " name 'CoordSys Earth Projection 1, 152'", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "Near\t74\n");
  out = run_tool(csconv + " name 'CoordSys Earth Projection 1, 62'", &rc);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(out, "");
}

}  // namespace
