// Field indexes built over tables: tabdump --index and --find, unique
// builds, the unique-flag refusal and the build's time slices.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "kernel/runtime/util.h"
#include "kernel/tables/index/fieldbuild.h"
#include "kernel/tables/storage/storage_fixture.h"
#include "kernel/tables/storage/tabtype_ops.h"

namespace {

struct DumpRun {
  int exit_code;
  std::string out;
  std::string err;
};

uint32_t g_now = 0;
uint32_t g_step = 0;
uint32_t fake_ticks() {
  const uint32_t t = g_now;
  g_now += g_step;
  return t;
}

class index_build : public StorageTest {
 protected:
  void TearDown() override {
    util_test_set_ticks(nullptr);
    StorageTest::TearDown();
  }
  std::string slurp(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  DumpRun tabdump(const std::string& args, const std::string& input = "") {
    put("stdin.txt", input);
    const std::string cmd = std::string("'") + TABDUMP_PATH + "' " + args + " <'" + path("stdin.txt") + "' >'" +
                            path("stdout.txt") + "' 2>'" + path("stderr.txt") + "'";
    const int status = std::system(cmd.c_str());
    DumpRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp("stdout.txt"), slurp("stderr.txt")};
    for (const char* f : {"stdin.txt", "stdout.txt", "stderr.txt"}) std::remove(path(f).c_str());
    return r;
  }
  std::string q(const std::string& name) const { return "'" + path(name) + "'"; }
  // Deletes rows of a native table through the kernel.
  void delete_rows(const std::string& name, std::initializer_list<int> rows) {
    const int32_t def = file_register(path(name).c_str(), 1);
    TableDef* t = table_open_file(def);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(tabtype_begin_access(t, &t->storage, 2), 1);
    for (int r : rows) ASSERT_EQ(tabtype_delete_row(&t->storage, r), 1);
    tabtype_end_access(&t->storage);
    tabdef_free(t);
  }
  static uint32_t u32(const std::string& f, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(f[at + static_cast<size_t>(i)]);
    return v;
  }
};

TEST_F(index_build, TabdumpIndexAndFind) {
  ASSERT_EQ(tabdump("--create " + q("t.TAB") + " --type native --columns \"ID Integer 0 0,N Char 5 0\"",
                    "30|c\n10|a\n20|x\n40|d\n10|b\n")
                .exit_code,
            0);
  delete_rows("t.TAB", {3});
  // No index yet: --find fails with 389.
  DumpRun none = tabdump("--find ID 10 " + q("t.TAB"));
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.err, "error 389\n");
  const DumpRun r = tabdump("--index ID " + q("t.TAB"));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(slurp("t.TAB").find("    ID Integer Index 1 ;"), std::string::npos) << slurp("t.TAB");
  const std::string ind = slurp("t.IND");
  ASSERT_EQ(ind.size(), 1024u);
  ASSERT_EQ(u32(ind, 512), 4u);
  // The four live rows in key order: 10 (rows 2, 5), 30 (1), 40 (4).
  const uint32_t want[4][2] = {{10, 2}, {10, 5}, {30, 1}, {40, 4}};
  std::vector<std::pair<uint32_t, uint32_t>> got;
  for (int i = 0; i < 4; ++i) {
    const size_t at = 512 + 12 + 8 * static_cast<size_t>(i);
    uint32_t be = 0;
    for (int j = 0; j < 4; ++j) be = (be << 8) | static_cast<uint8_t>(ind[at + static_cast<size_t>(j)]);
    got.emplace_back(be ^ 0x80000000u, u32(ind, at + 4));
  }
  std::sort(got.begin(), got.end());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(got[static_cast<size_t>(i)], std::make_pair(want[i][0], want[i][1]));
  EXPECT_EQ(tabdump("--find ID 10 " + q("t.TAB")).out, "2\n5\n");
  EXPECT_EQ(tabdump("--find ID 40 " + q("t.TAB")).out, "4\n");
  EXPECT_EQ(tabdump("--find ID 20 " + q("t.TAB")).out, "");  // the deleted row's value
  // A Char index finds its values whatever their case.
  ASSERT_EQ(tabdump("--index N " + q("t.TAB")).exit_code, 0);
  EXPECT_NE(slurp("t.TAB").find("    N Char (5) Index 2 ;"), std::string::npos);
  EXPECT_EQ(tabdump("--find N b " + q("t.TAB")).out, "5\n");
}

TEST_F(index_build, ThreeHundredRowsOfSevenValuesAcrossLeaves) {
  std::string rows;
  for (int i = 1; i <= 300; ++i) rows += std::to_string((i * 5) % 7) + "\n";
  ASSERT_EQ(tabdump("--create " + q("t.TAB") + " --type native --columns \"V Integer 0 0\"", rows).exit_code, 0);
  ASSERT_EQ(tabdump("--index V " + q("t.TAB")).exit_code, 0);
  EXPECT_GT(slurp("t.IND").size(), 3u * 512);  // more than one leaf
  for (int v = 0; v < 7; ++v) {
    std::string want;
    for (int i = 1; i <= 300; ++i)
      if ((i * 5) % 7 == v) want += std::to_string(i) + "\n";
    EXPECT_EQ(tabdump("--find V " + std::to_string(v) + " " + q("t.TAB")).out, want) << v;
  }
}

TEST_F(index_build, UniqueBuildsAndTheUniqueFlag) {
  ASSERT_EQ(tabdump("--create " + q("t.TAB") + " --type native --columns \"ID Integer 0 0\"", "1\n2\n2\n").exit_code,
            0);
  const int32_t def = file_register(path("t.TAB").c_str(), 1);
  TableDef* t = table_open_file(def);
  ASSERT_NE(t, nullptr);
  // A unique build over equal values fails and leaves no index.
  EXPECT_EQ(index_get_for_field(t, 0, 1, nullptr, nullptr), 0);
  EXPECT_EQ(t->fields[0].index, nullptr);
  ASSERT_NE(t->index, nullptr);
  EXPECT_EQ(index_in_use(t->index, 1), 0);
  err_clear();
  ASSERT_EQ(index_get_for_field(t, 0, 0, nullptr, nullptr), 1);
  // Non-unique asked as unique: 390 with the field name, then 389.
  EXPECT_EQ(index_get_for_field(t, 0, 1, nullptr, nullptr), 0);
  ASSERT_EQ(err_count(), 2);
  EXPECT_EQ(g_err_stack->entries[0].code, 390);
  EXPECT_STREQ(g_err_stack->pool + g_err_stack->entries[0].arg1_offset, "ID");
  EXPECT_EQ(g_err_stack->entries[1].code, 389);
  err_clear();
  tabdef_free(t);
}

// A frozen clock builds 10 rows in one slice; a clock passing 2 seconds per
// row, in 10.
TEST_F(index_build, BuildSlicesFollowTheClock) {
  std::string rows;
  for (int i = 1; i <= 10; ++i) rows += std::to_string(i) + "\n";
  ASSERT_EQ(tabdump("--create " + q("t.TAB") + " --type native --columns \"A Integer 0 0,B Integer 0 0\"",
                    [&] {
                      std::string r;
                      for (int i = 1; i <= 10; ++i) r += std::to_string(i) + "|" + std::to_string(i) + "\n";
                      return r;
                    }())
                .exit_code,
            0);
  const int32_t def = file_register(path("t.TAB").c_str(), 1);
  TableDef* t = table_open_file(def);
  ASSERT_NE(t, nullptr);
  g_now = 1000;
  g_step = 0;
  util_test_set_ticks(fake_ticks);
  ASSERT_EQ(index_get_for_field(t, 0, 0, nullptr, nullptr), 1);
  EXPECT_EQ(field_index_last_build_slices(), 1);
  g_step = 200;  // the clock passes two seconds per row read
  ASSERT_EQ(index_get_for_field(t, 1, 0, nullptr, nullptr), 1);
  EXPECT_EQ(field_index_last_build_slices(), 10);
  util_test_set_ticks(nullptr);
  tabdef_free(t);
}

}  // namespace
