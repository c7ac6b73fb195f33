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
#include "kernel/tables/viewcursor.h"
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

// ---- the index search and the view cursor -------------------------------------

namespace {

class index_search : public index_build {
 protected:
  TableDef* open(const std::string& name) {
    TableDef* t = table_open_file(file_register(path(name).c_str(), 1));
    EXPECT_NE(t, nullptr);
    return t;
  }
};

TEST_F(index_search, KindOfSearchByRatio) {
  TableDef* t = tabdef_new();
  t->fields = fieldlist_new(1);
  t->field_count = 1;
  OpenTable v;
  v.kind = 3;
  v.bases.push_back(t);
  v.own_rows = 10;
  t->storage.row_count = 100;
  EXPECT_EQ(query_search_kind(&v, 0, 0, 0, 0), 1);  // ratio 10: a temporary index
  t->storage.row_count = 90;
  EXPECT_EQ(query_search_kind(&v, 0, 0, 0, 0), 3);  // ratio 9: the filtered field index
  EXPECT_EQ(query_search_kind(&v, 0, 0, 1, 0), 1);  // unique asked
  v.own_rows = 0;
  t->storage.row_count = 9;
  EXPECT_EQ(query_search_kind(&v, 0, 0, 0, 0), 3);
  v.kind = 1;
  EXPECT_EQ(query_search_kind(&v, 0, 0, 0, 0), 2);
  v.bases.clear();
  tabdef_free(t);
}

TEST_F(index_search, TwelveSeekOperations) {
  ASSERT_EQ(tabdump("--create " + q("t.TAB") + " --type native --columns \"V Integer 0 0\"", "5\n3\n5\n7\n3\n5\n")
                .exit_code,
            0);
  TableDef* t = open("t.TAB");
  ASSERT_NE(t, nullptr);
  IndexFile* ix = nullptr;
  FieldIndex* f = nullptr;
  ASSERT_EQ(index_get_for_field(t, 0, 0, &ix, &f), 1);
  ASSERT_EQ(index_file_begin(ix, 1), 1);
  // Keys in order: 3 (rows 2, 5), 5 (1, 3, 6), 7 (4).
  KeyBuf value, out;
  keybuf_init(&value, VALUE_INTEGER, 4);
  keybuf_init(&out, VALUE_INTEGER, 4);
  struct Step {
    int op;
    int value;  // 0: none
    int answer;
    int row;    // the row at the position after it, when answered
  } plain[] = {
      {1, 5, 1, 1},  {2, 0, 1, 3},  {3, 0, 1, 4},  {6, 0, 1, 6}, {7, 5, 1, 3}, {4, 5, 1, 6},  {4, 5, 0, 4},
      {5, 0, 1, 6},  {1, 3, 1, 2},  {5, 0, 0, 0},  {8, 0, 1, 2}, {9, 0, 1, 4}, {12, 5, 1, 6}, {12, 4, 0, 0},
      {10, 0, 1, 0}, {2, 0, 1, 2},  {11, 0, 1, 0}, {5, 0, 1, 4}, {1, 6, 0, 0}, {13, 0, 0, 0},
  };
  for (const Step& s : plain) {
    SCOPED_TRACE(::testing::Message() << "op " << s.op << " value " << s.value);
    value.value.u.i = s.value;
    EXPECT_EQ(index_seek_op(ix, f, static_cast<int16_t>(s.op), s.value ? &value : nullptr, &out), s.answer);
    if (s.answer && s.op != 10 && s.op != 11) { EXPECT_EQ(f->key.row, s.row); }
  }
  // Filtered through a view of base rows 3, 6 and 4.
  OpenTable v;
  v.kind = 3;
  v.bases.push_back(t);
  ASSERT_EQ(view_rowmap_create(&v, 1), 1);
  for (int32_t r : {3, 6, 4}) ASSERT_EQ(view_rowmap_add_keys(&v, &r, 1), 1);
  Step filtered[] = {
      {1, 5, 1, 3}, {2, 0, 1, 6}, {2, 0, 1, 4}, {2, 0, 0, 0}, {8, 0, 1, 3}, {9, 0, 1, 4},
      {12, 5, 1, 6}, {5, 0, 1, 3}, {5, 0, 0, 0}, {1, 3, 0, 0}, {6, 0, 0, 0}, {3, 0, 1, 3},
  };
  for (const Step& s : filtered) {
    SCOPED_TRACE(::testing::Message() << "filtered op " << s.op << " value " << s.value);
    value.value.u.i = s.value;
    EXPECT_EQ(index_seek_op_filtered(&v, 0, ix, f, static_cast<int16_t>(s.op), s.value ? &value : nullptr, &out),
              s.answer);
    if (s.answer) { EXPECT_EQ(f->key.row, s.row); }
  }
  // View rows of base rows; the cursor reads through the row map.
  EXPECT_EQ(view_row_of_base_row(&v, 6, nullptr), 2);
  EXPECT_EQ(view_row_of_base_row(&v, 2, nullptr), 0);
  ASSERT_EQ(open_table_lock(&v, 0), 1);
  int32_t base_row = 0;
  int16_t end = 0;
  ASSERT_EQ(cursor_move(&v, 3, 0, &base_row, nullptr, &end), 0);
  ASSERT_EQ(cursor_move(&v, 1, 0, &base_row, nullptr, &end), 1);
  EXPECT_EQ(base_row, 3);
  EXPECT_EQ(t->fields[0].value.u.i, 5);
  ASSERT_EQ(cursor_move(&v, 4, 0, &base_row, nullptr, &end), 0);
  EXPECT_EQ(end, 1);
  ASSERT_EQ(cursor_move(&v, 2, 0, &base_row, nullptr, &end), 1);
  EXPECT_EQ(base_row, 4);
  EXPECT_EQ(t->fields[0].value.u.i, 7);
  EXPECT_EQ(cursor_move(&v, 5, 4, &base_row, nullptr, &end), 0);
  EXPECT_EQ(end, 1);
  open_table_unlock(&v);
  view_rowmap_free(&v);
  v.bases.clear();
  index_file_end(ix);
  keybuf_free(&value);
  keybuf_free(&out);
  tabdef_free(t);
}

TEST_F(index_search, OccurrenceOfABaseRow) {
  ASSERT_EQ(tabdump("--create " + q("t.TAB") + " --type native --columns \"V Integer 0 0\"", "1\n2\n3\n4\n").exit_code,
            0);
  TableDef* t = open("t.TAB");
  ASSERT_NE(t, nullptr);
  OpenTable v;
  v.kind = 3;
  v.bases.push_back(t);
  ASSERT_EQ(view_rowmap_create(&v, 1), 1);
  for (int32_t r : {2, 1, 2, 4, 2}) ASSERT_EQ(view_rowmap_add_keys(&v, &r, 1), 1);
  EXPECT_EQ(view_row_of_base_row(&v, 2, nullptr), 1);
  view_set_occurrence(2);
  EXPECT_EQ(view_row_of_base_row(&v, 2, nullptr), 3);
  view_set_occurrence(0);
  EXPECT_EQ(view_row_of_base_row(&v, 2, nullptr), 5);
  EXPECT_EQ(view_row_of_base_row(&v, 2, nullptr), 1);  // unset again
  EXPECT_EQ(view_row_of_base_row(&v, 4, t), 4);
  view_rowmap_free(&v);
  v.bases.clear();
  tabdef_free(t);
}

TEST_F(index_search, JoinCursor) {
  ASSERT_EQ(tabdump("--create " + q("a.TAB") + " --type native --columns \"ID Integer 0 0,NAME Char 5 0\"",
                    "10|ten\n20|twen\n30|thir\n")
                .exit_code,
            0);
  ASSERT_EQ(
      tabdump("--create " + q("b.TAB") + " --type native --columns \"AID Integer 0 0\"", "30\n10\n20\n10\n").exit_code,
      0);
  TableDef* a = open("a.TAB");
  TableDef* b = open("b.TAB");
  ASSERT_TRUE(a != nullptr && b != nullptr);
  ASSERT_EQ(index_get_for_field(a, 0, 0, nullptr, nullptr), 1);
  OpenTable v;
  v.kind = 2;
  v.join_mode = 1;
  v.bases = {a, b};
  std::vector<std::pair<int32_t, int32_t>> joins = {{0, 0}, {0, 0}};  // b.AID into a.ID
  v.join_searches = &joins;
  ASSERT_EQ(open_table_lock(&v, 0), 1);
  int32_t base_row = 0;
  cursor_move(&v, 3, 0, nullptr, nullptr, nullptr);
  ASSERT_EQ(cursor_move(&v, 1, 0, &base_row, nullptr, nullptr), 1);
  EXPECT_EQ(base_row, 1);
  EXPECT_EQ(b->fields[0].value.u.i, 30);
  EXPECT_STREQ(value_text_ptr(&a->fields[1].value, nullptr), "thir");
  cursor_move(&v, 4, 0, nullptr, nullptr, nullptr);
  ASSERT_EQ(cursor_move(&v, 2, 0, &base_row, nullptr, nullptr), 1);
  EXPECT_EQ(base_row, 4);
  EXPECT_STREQ(value_text_ptr(&a->fields[1].value, nullptr), "ten");
  open_table_unlock(&v);
  v.join_searches = nullptr;
  v.bases.clear();
  tabdef_free(a);
  tabdef_free(b);
}

}  // namespace
