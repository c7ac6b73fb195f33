// Field indexes built over tables: tabdump --index and --find, unique
// builds, the unique-flag refusal and the build's time slices.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/time.h>

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
  OpenTable v;
  v.kind = 2;
  v.join_mode = 1;
  v.bases = {a, b};
  ASSERT_EQ(view_join_add(&v, 0, 0), 1);  // a.ID = b.AID
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
  view_joins_free(&v);
  v.bases.clear();
  tabdef_free(a);
  tabdef_free(b);
}

// ---- searches through the index search ------------------------------------------

class index_query : public index_search {
 protected:
  void TearDown() override {
    for (OpenTable* v : views_) {
      view_rowmap_free(v);
      view_joins_free(v);
      tempindex_cache_free(v);
      for (ColumnDesc& c : v->columns) column_free(&c);
      v->bases.clear();
      delete v;
    }
    for (TableDef* t : tables_) tabdef_free(t);
    index_search::TearDown();
  }
  TableDef* table(const std::string& name, const std::string& columns, const std::string& rows) {
    EXPECT_EQ(tabdump("--create " + q(name) + " --type native --columns \"" + columns + "\"", rows).exit_code, 0);
    TableDef* t = open(name);
    if (t != nullptr) tables_.push_back(t);
    return t;
  }
  OpenTable* view(int kind, std::vector<TableDef*> bases) {
    auto* v = new OpenTable;
    v->kind = static_cast<uint8_t>(kind);
    v->bases = std::move(bases);
    views_.push_back(v);
    return v;
  }
  // a (ID first) joined to b (AID: 30 10 20 10) on a.ID = b.AID.
  OpenTable* join_view(const std::string& a_columns, const std::string& a_rows) {
    TableDef* a = table("a.TAB", a_columns, a_rows);
    TableDef* b = table("b.TAB", "AID Integer 0 0", "30\n10\n20\n10\n");
    if (a == nullptr || b == nullptr) return nullptr;
    OpenTable* v = view(2, {a, b});
    v->join_mode = 1;
    return view_join_add(v, 0, 0) ? v : nullptr;
  }
  // A condition on one column: its reference as the open table's column.
  SearchCondition column(OpenTable* v, TableDef* t, int32_t field) {
    ColumnDesc c;
    EXPECT_EQ(column_from_field(&c, v, t, &t->fields[field], field), 1);
    v->columns.push_back(c);
    return SearchCondition{c.expr, t->fields[field].value.type, t->fields[field].width, t->fields[field].decimals};
  }
  // The view rows the search finds for a key, in index order.
  std::vector<int32_t> rows_of(IndexSearch* s, const Value& value) {
    std::vector<int32_t> rows;
    KeyBuf key, out;
    EXPECT_EQ(query_search_key_init(s, &key), 1);
    EXPECT_EQ(query_search_key_init(s, &out), 1);
    EXPECT_EQ(key_set_value(&value, &key, 0, 0), 1);
    EXPECT_EQ(query_search_open(s), 1);
    for (int16_t op = 1; query_search_seek(s, op, &key, &out); op = 4) rows.push_back(out.row);
    query_search_close(s);
    query_search_key_free(&key);
    query_search_key_free(&out);
    return rows;
  }
  static Value int_value(int32_t n) {
    Value v{};
    value_set_int(n, VALUE_INTEGER, &v);
    return v;
  }
  // Sets a file's modification time, seconds from now.
  void set_mtime(const std::string& name, int seconds) {
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct timeval t[2] = {{now.tv_sec + seconds, 0}, {now.tv_sec + seconds, 0}};
    ASSERT_EQ(utimes(path(name).c_str(), t), 0);
  }
  std::vector<TableDef*> tables_;
  std::vector<OpenTable*> views_;
};

// A kind-3 view of 10 rows: over 100 base rows the search takes a temporary
// index, over 90 the field index filtered through the row map; both answer
// the same view rows.
TEST_F(index_query, KindThreeViewTakesTemporaryOrFilteredIndex) {
  for (int base_rows : {100, 90}) {
    SCOPED_TRACE(base_rows);
    std::string rows;
    for (int r = 1; r <= base_rows; ++r) rows += std::to_string(r % 7) + "\n";
    const std::string name = "t" + std::to_string(base_rows) + ".TAB";
    TableDef* t = table(name, "V Integer 0 0", rows);
    ASSERT_NE(t, nullptr);
    OpenTable* v = view(3, {t});
    ASSERT_EQ(view_rowmap_create(v, 1), 1);
    // View rows 1..10 hold base rows 5, 10, ..., 50: values 5 3 1 6 4 2 0 5 3 1.
    for (int32_t r = 5; r <= 50; r += 5) ASSERT_EQ(view_rowmap_add_keys(v, &r, 1), 1);
    const SearchCondition cond = column(v, t, 0);
    IndexSearch s;
    int32_t keys = -1;
    const int32_t builds = tempindex_builds();
    ASSERT_EQ(query_search_init(v, &cond, 0, 0, &s, &keys), 1);
    EXPECT_EQ(s.kind, base_rows == 100 ? 1 : 3);
    EXPECT_EQ(tempindex_builds() - builds, base_rows == 100 ? 1 : 0);
    EXPECT_EQ(keys, 10);
    EXPECT_EQ(rows_of(&s, int_value(5)), (std::vector<int32_t>{1, 8}));
    EXPECT_EQ(rows_of(&s, int_value(3)), (std::vector<int32_t>{2, 9}));
    EXPECT_EQ(rows_of(&s, int_value(0)), (std::vector<int32_t>{7}));
    query_search_clear(&s);
  }
}

// In a two-table join the view rows are the last table's rows: a condition
// on its column uses its field index; a condition on the other table's
// column takes a temporary index, reused until that table changes.
TEST_F(index_query, JoinConditionTakesATemporaryIndexReusedTillTheDataChanges) {
  OpenTable* v = join_view("ID Integer 0 0,NAME Char 5 0", "10|ten\n20|twen\n30|thir\n");
  ASSERT_NE(v, nullptr);
  TableDef* a = v->bases[0];
  TableDef* b = v->bases[1];
  const SearchCondition on_b = column(v, b, 0);
  const SearchCondition on_a = column(v, a, 1);
  IndexSearch s;
  int32_t keys = 0;
  const int32_t builds = tempindex_builds();
  ASSERT_EQ(query_search_init(v, &on_b, 0, 0, &s, &keys), 1);
  EXPECT_EQ(s.kind, 2);
  EXPECT_EQ(rows_of(&s, int_value(10)), (std::vector<int32_t>{2, 4}));
  EXPECT_EQ(tempindex_builds(), builds);

  set_mtime("a.DAT", -3600);
  set_mtime("b.DAT", -3600);
  ASSERT_EQ(query_search_init(v, &on_a, 0, 0, &s, &keys), 1);
  EXPECT_EQ(s.kind, 1);
  EXPECT_EQ(keys, 4);
  EXPECT_EQ(tempindex_builds(), builds + 1);
  Value ten{};
  ASSERT_EQ(value_init_text(&ten, VALUE_CHAR, 5), 1);
  std::strcpy(ten.u.text.ptr, "ten");
  EXPECT_EQ(rows_of(&s, ten), (std::vector<int32_t>{2, 4}));
  // The same condition again: the index is reused.
  ASSERT_EQ(query_search_init(v, &on_a, 0, 0, &s, &keys), 1);
  EXPECT_EQ(tempindex_builds(), builds + 1);
  EXPECT_EQ(keys, 4);
  // The other table's data changing does not touch it.
  set_mtime("b.DAT", 3600);
  ASSERT_EQ(query_search_init(v, &on_a, 0, 0, &s, &keys), 1);
  EXPECT_EQ(tempindex_builds(), builds + 1);
  // Its own table's data file passing the recorded time does.
  set_mtime("a.DAT", 3600);
  ASSERT_EQ(query_search_init(v, &on_a, 0, 0, &s, &keys), 1);
  EXPECT_EQ(tempindex_builds(), builds + 2);
  EXPECT_EQ(rows_of(&s, ten), (std::vector<int32_t>{2, 4}));
  set_mtime("a.DAT", -3600);
  ASSERT_EQ(query_search_init(v, &on_a, 0, 0, &s, &keys), 1);
  EXPECT_EQ(tempindex_builds(), builds + 2);
  // A row changed through the kernel (its edit stamp), and refresh mode 6.
  ASSERT_EQ(tabtype_begin_access(a, &a->storage, 2), 1);
  ASSERT_EQ(tabtype_read_row(&a->storage, a->fields, 2), 1);
  ASSERT_EQ(tabtype_update_row(&a->storage, a->fields, 2), 1);
  tabtype_end_access(&a->storage);
  set_mtime("a.DAT", -3600);
  ASSERT_EQ(query_search_init(v, &on_a, 0, 0, &s, &keys), 1);
  EXPECT_EQ(tempindex_builds(), builds + 3);
  v->refresh_mode = kRefreshAlways;
  ASSERT_EQ(query_search_init(v, &on_a, 0, 0, &s, &keys), 1);
  EXPECT_EQ(tempindex_builds(), builds + 4);
  // A unique index of the same condition is another node.
  v->refresh_mode = 0;
  EXPECT_NE(tempindex_find(v, &on_a, 0), nullptr);
  EXPECT_EQ(tempindex_find(v, &on_a, 1), nullptr);
  value_free(&ten);
  query_search_clear(&s);
}

// The join walk maps a row of an earlier table to the view row it joins,
// ending every bracket it begins; the entry's access opens and closes the
// join searches and a kind-3 entry's row map.
TEST_F(index_query, JoinWalkAndAccessBrackets) {
  OpenTable* v = join_view("ID Integer 0 0", "10\n20\n30\n40\n");
  ASSERT_NE(v, nullptr);
  TableDef* a = v->bases[0];
  TableDef* b = v->bases[1];
  EXPECT_EQ(view_join_add(v, 0, 0), 0);  // two tables take one step
  EXPECT_EQ(view_row_of_base_row(v, 1, a), 2);
  EXPECT_EQ(view_row_of_base_row(v, 3, a), 1);
  EXPECT_EQ(view_row_of_base_row(v, 4, a), 0);  // 40 joins no row
  EXPECT_EQ(view_row_of_base_row(v, 3, b), 3);  // the last table's rows are view rows
  EXPECT_EQ(a->storage.nesting, 0);
  JoinStep& step = v->joins->steps[0];
  EXPECT_EQ(step.left.uses + step.right.uses, 0);
  ASSERT_EQ(open_table_lock(v, 0), 1);
  EXPECT_EQ(step.left.uses, 1);
  EXPECT_EQ(step.right.uses, 1);
  ASSERT_EQ(open_table_lock(v, 0), 1);
  EXPECT_EQ(step.left.uses, 1);
  ASSERT_EQ(view_goto_base_row(v, 3), 1);  // b's row 3 (20) joins a's row 2
  EXPECT_EQ(v->current_row, 3);
  EXPECT_EQ(a->fields[0].value.u.i, 20);
  open_table_unlock(v);
  open_table_unlock(v);
  EXPECT_EQ(step.left.uses + step.right.uses, 0);
  EXPECT_EQ(a->storage.nesting, 0);

  OpenTable* k = view(3, {a});
  ASSERT_EQ(view_rowmap_create(k, 1), 1);
  const int32_t uses = k->row_map->index->uses;
  ASSERT_EQ(open_table_lock(k, 0), 1);
  EXPECT_EQ(k->row_map->index->uses, uses + 1);
  open_table_unlock(k);
  EXPECT_EQ(k->row_map->index->uses, uses);
}

// A kind-3 view over a single kind-3 view goes to a base row of the inner
// view's table through the inner view.
TEST_F(index_query, GotoBaseRowThroughAnInnerView) {
  TableDef* t = table("t.TAB", "V Integer 0 0", "1\n2\n3\n4\n5\n6\n");
  // w stands for the inner view's rows: its row r is the inner view row r.
  TableDef* w = table("w.TAB", "V Integer 0 0", "4\n2\n6\n");
  ASSERT_TRUE(t != nullptr && w != nullptr);
  OpenTable* inner = view(3, {t});
  ASSERT_EQ(view_rowmap_create(inner, 1), 1);
  for (int32_t r : {4, 2, 6}) ASSERT_EQ(view_rowmap_add_keys(inner, &r, 1), 1);
  OpenTable* outer = view(3, {w});
  ASSERT_EQ(view_rowmap_create(outer, 1), 1);
  for (int32_t r : {3, 1}) ASSERT_EQ(view_rowmap_add_keys(outer, &r, 1), 1);
  OpenTable* saved = w->entry;
  w->entry = inner;
  ASSERT_EQ(open_table_lock(outer, 0), 1);
  ASSERT_EQ(view_goto_base_row(outer, 6), 1);  // inner row 3, outer row 1
  EXPECT_EQ(outer->current_row, 1);
  EXPECT_EQ(w->fields[0].value.u.i, 6);
  ASSERT_EQ(view_goto_base_row(outer, 4), 1);  // inner row 1, outer row 2
  EXPECT_EQ(outer->current_row, 2);
  EXPECT_EQ(view_goto_base_row(outer, 2), 0);  // inner row 2 is not in the outer view
  EXPECT_EQ(view_goto_base_row(outer, 5), 0);  // not in the inner view
  open_table_unlock(outer);
  w->entry = saved;
}

}  // namespace
