// The table-type dispatch: the type x operation matrix with drivers that
// always succeed and with empty slots, access nesting, row counting of
// type 0, the data file's fate at a refused create and at close, and the
// field-list compatibility rule.
#include <gtest/gtest.h>

#include <map>

#include "kernel/mapobjects/tablecache.h"
#include "kernel/tables/storage/storage_fixture.h"

namespace {

// Calls of the fake driver by operation name.
std::map<std::string, int> g_calls;

int16_t count(const char* what) {
  ++g_calls[what];
  return 1;
}

const TabTypeDriver kFake = {
    .create = [](StorageDesc*, FieldDef*) { return count("create"); },
    .open = [](StorageDesc*, FieldDef*) { return count("open"); },
    .describe = [](StorageDesc*, FieldDef** f, int32_t* n) -> int16_t {
      *f = nullptr;
      *n = 0;
      return count("describe");
    },
    .begin_access = [](StorageDesc*, int16_t, int16_t*) { return count("begin"); },
    .end_access = [](StorageDesc*) { return count("end"); },
    .close = [](StorageDesc*) { return count("close"); },
    .read_row = [](StorageDesc*, int32_t, FieldDef*, int16_t*) { return count("read"); },
    .insert_row = [](StorageDesc*, int32_t* n, FieldDef*) -> int16_t {
      *n = 7;
      return count("insert");
    },
    .update_row = [](StorageDesc*, int32_t, FieldDef*) { return count("update"); },
    .delete_row = [](StorageDesc*, int32_t) { return count("delete"); },
    .batch_begin = [](StorageDesc*) { return count("batch_begin"); },
    .batch_end = [](StorageDesc*) { return count("batch_end"); },
};

class dispatch : public StorageTest {
 protected:
  // Result and pushed code of each operation on a fresh storage of the
  // type: "create open describe begin end read insert update delete", each
  // as 1, or 0 followed by the code (0 for none).
  std::string run(int32_t type) {
    std::string out;
    auto note = [&](int16_t r) {
      if (!out.empty()) out += " ";
      if (r) {
        out += '1';
      } else {
        out += "0/";
        out += std::to_string(err_count() > 0 ? err_first_code() : 0);
      }
      err_clear();
    };
    StorageDesc s;
    err_clear();
    note(tabtype_create(dir_.c_str(), "x", -1, 0, &s, type, 0, nullptr, nullptr, 0));
    tabtype_close(&s, nullptr);
    err_clear();
    StorageDesc o;
    note(tabtype_open(nullptr, 0, &o, type, nullptr, nullptr));
    TableDef* t = tabdef_new();
    t->storage.type = static_cast<uint8_t>(type);
    put("d.any", "");
    note(tabtype_read_fields(path("d.any").c_str(), t));
    tabdef_free(t);
    StorageDesc a;
    a.type = static_cast<uint8_t>(type);
    note(tabtype_begin_access(nullptr, &a, 1));
    a.nesting = 1;
    note(tabtype_end_access(&a));
    note(tabtype_read_row(&a, nullptr, 1));
    int32_t n = 0;
    note(tabtype_insert_row(&a, nullptr, &n));
    note(tabtype_update_row(&a, nullptr, 1));
    note(tabtype_delete_row(&a, 1));
    return out;
  }
  void fill_slots(const TabTypeDriver* d) {
    for (int32_t type = 1; type < kTabTypeCount; ++type) tabtype_set_driver(type, d);
  }
};

TEST_F(dispatch, MatrixWithDriversThatSucceed) {
  fill_slots(&kFake);
  const std::map<int32_t, std::string> kExpected = {
      {0, "1 1 0/0 1 1 0/0 1 1 1"},
      {1, "1 1 1 1 1 1 1 1 1"},
      {2, "1 1 1 1 1 1 0/881 0/881 0/882"},
      {3, "1 1 1 1 1 1 1 0/881 0/882"},
      {4, "1 1 1 1 1 1 0/881 0/881 0/882"},
      {5, "1 1 1 1 1 1 1 1 1"},
      {6, "1 0/386 0/0 1 1 0/0 0/881 0/881 0/882"},
      {8, "1 1 1 1 1 1 1 1 1"},
      {9, "1 0/386 0/0 0/386 0/0 0/0 0/881 0/881 0/882"},
      {10, "1 1 1 1 1 1 1 1 1"},
      {11, "1 1 1 1 1 1 1 1 1"},
      {12, "1 0/386 1 0/386 0/0 0/0 0/881 0/881 0/882"},
      {13, "1 1 0/0 1 1 1 1 1 1"},
  };
  for (const auto& [type, expected] : kExpected) EXPECT_EQ(run(type), expected) << "type " << type;
}

TEST_F(dispatch, EmptySlotsActAsTypesWithoutTheOperation) {
  fill_slots(nullptr);
  const std::map<int32_t, std::string> kExpected = {
      {2, "0/497 0/386 0/0 0/386 0/0 0/0 0/881 0/881 0/882"},
      {3, "0/497 0/386 0/0 0/386 0/0 0/0 0/881 0/881 0/882"},
      {10, "1 0/386 0/0 0/386 0/0 0/0 0/881 0/881 0/882"},
      {11, "0/497 0/386 1 1 1 0/0 0/881 0/881 0/882"},
  };
  for (const auto& [type, expected] : kExpected) EXPECT_EQ(run(type), expected) << "type " << type;
}

TEST_F(dispatch, AccessNestsAndOnlyTheOutermostBracketReachesTheDriver) {
  tabtype_set_driver(TABTYPE_DBF, &kFake);
  g_calls.clear();
  StorageDesc s;
  s.type = TABTYPE_DBF;
  EXPECT_TRUE(tabtype_begin_access(nullptr, &s, 1));
  EXPECT_TRUE(tabtype_begin_access(nullptr, &s, 1));
  EXPECT_EQ(s.nesting, 2);
  EXPECT_TRUE(tabtype_end_access(&s));
  EXPECT_TRUE(tabtype_end_access(&s));
  EXPECT_TRUE(tabtype_end_access(&s));  // nesting 0: nothing to end
  EXPECT_EQ(s.nesting, 0);
  EXPECT_EQ(g_calls["begin"], 1);
  EXPECT_EQ(g_calls["end"], 1);
  s.nesting = 255;
  EXPECT_FALSE(tabtype_begin_access(nullptr, &s, 1));
  EXPECT_TRUE(tabtype_end_access(&s));
  EXPECT_EQ(s.nesting, 255);
  EXPECT_EQ(g_calls["begin"], 1);
  // The in-memory type needs no driver to end its access.
  StorageDesc m;
  m.type = TABTYPE_MEMORY;
  m.nesting = 1;
  EXPECT_TRUE(tabtype_end_access(&m));
  EXPECT_EQ(m.nesting, 0);
  EXPECT_EQ(err_count(), 0);
  // A driver's own error is the one reported.
  static const TabTypeDriver kRefuses = {
      .begin_access = [](StorageDesc*, int16_t, int16_t*) -> int16_t { return err_push(4, 1234, nullptr, nullptr), 0; }};
  tabtype_set_driver(TABTYPE_DBF, &kRefuses);
  s.nesting = 0;
  EXPECT_FALSE(tabtype_begin_access(nullptr, &s, 1));
  EXPECT_EQ(codes(), std::vector<int>{1234});
}

TEST_F(dispatch, BeginAccessHandsOnTheModeAndTheOutFlag) {
  // The fake notes the mode and sets the flag it is given to 5.
  static int16_t s_mode = 0;
  static const TabTypeDriver kNotes = {
      .begin_access = [](StorageDesc*, int16_t mode, int16_t* flag) -> int16_t {
        s_mode = mode;
        *flag = 5;
        return 1;
      },
      .end_access = [](StorageDesc*) -> int16_t { return 1; }};
  fill_slots(&kNotes);
  const struct {
    int32_t type;
    int16_t flag;  // as the caller sees it
  } kCases[] = {{TABTYPE_DBF, 5}, {TABTYPE_NATIVE, 5}, {TABTYPE_ACCESS, 5}, {TABTYPE_FME, 5},
                {TABTYPE_ASCII, 0}, {TABTYPE_XLS, 0}, {TABTYPE_ODBC, 0}};
  for (const auto& c : kCases) {
    StorageDesc s;
    s.type = static_cast<uint8_t>(c.type);
    int16_t flag = 9;
    s_mode = 0;
    ASSERT_TRUE(tabtype_begin_access(nullptr, &s, 3, &flag)) << c.type;
    EXPECT_EQ(s_mode, 3) << c.type;
    EXPECT_EQ(flag, c.flag) << c.type;
    // An inner bracket clears the flag and does not reach the driver.
    flag = 9;
    ASSERT_TRUE(tabtype_begin_access(nullptr, &s, 1, &flag));
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(s_mode, 3);
  }
  // A native table opened for creation is written to.
  tabtype_reset_drivers();
  Table t;
  ASSERT_TRUE(create(&t, "c", TABTYPE_NATIVE, {{"i", VALUE_INTEGER, 0, 0}}));
  int16_t flag = 9;
  ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 3, &flag));
  EXPECT_EQ(flag, 0);
  int32_t n = 0;
  t.fields[0].value.u.i = 42;
  ASSERT_TRUE(tabtype_insert_row(&t.storage, t.fields, &n));
  ASSERT_TRUE(tabtype_end_access(&t.storage));
  close(&t);
  EXPECT_EQ(u32(read("c.DAT"), 4), 1u);
}

TEST_F(dispatch, RowsAreReadFromAHoldingOverlayFirst) {
  // The overlay's in-memory table answers row n with n x 100; the base
  // driver with n. Updates and deletes note their row in the overlay.
  static std::vector<std::string> s_overlay;
  static const TabTypeDriver kMemory = {
      .read_row = [](StorageDesc*, int32_t n, FieldDef* f, int16_t*) -> int16_t {
        f[0].value.u.i = n * 100;
        return n != 4;
      },
      .update_row = [](StorageDesc*, int32_t n, FieldDef*) -> int16_t {
        s_overlay.push_back("update " + std::to_string(n));
        return 1;
      },
      .delete_row = [](StorageDesc*, int32_t n) -> int16_t {
        s_overlay.push_back("delete " + std::to_string(n));
        return 1;
      }};
  static const TabTypeDriver kBase = {
      .read_row = [](StorageDesc*, int32_t n, FieldDef* f, int16_t*) -> int16_t {
        f[0].value.u.i = n;
        return 1;
      },
      .update_row = [](StorageDesc*, int32_t, FieldDef*) -> int16_t { return 1; },
      .delete_row = [](StorageDesc*, int32_t) -> int16_t { return 1; }};
  tabtype_set_driver(TABTYPE_MEMORY, &kMemory);
  tabtype_set_driver(TABTYPE_DBF, &kBase);
  FieldDef* f = fields_of({{"i", VALUE_INTEGER, 0, 0}});
  TableCache cache;
  cache.table.type = TABTYPE_MEMORY;
  StorageDesc s;
  s.type = TABTYPE_DBF;
  s.edit_overlay = &cache;
  auto read = [&](int32_t n) {
    s.current_row = 0;
    if (!tabtype_read_row(&s, f, n)) return -1;
    return f[0].value.u.i;
  };
  EXPECT_EQ(read(2), 2);  // the overlay holds nothing
  cache.held = {0, 0, 10, 10};
  EXPECT_EQ(read(2), 200);
  EXPECT_EQ(s.current_row, 2);  // a row from the overlay is the current one
  EXPECT_EQ(read(4), 4);  // a row the overlay lacks
  cache.filling = 1;
  EXPECT_EQ(read(2), 2);
  cache.filling = 0;
  EXPECT_TRUE(tabtype_update_row(&s, f, 3));
  EXPECT_TRUE(tabtype_delete_row(&s, 5));
  EXPECT_EQ(s_overlay, (std::vector<std::string>{"update 3", "delete 5"}));
  // An overlay whose table is not in memory is only read.
  cache.table.type = TABTYPE_NATIVE;
  EXPECT_TRUE(tabtype_update_row(&s, f, 6));
  EXPECT_EQ(s_overlay.size(), 2u);
  s.edit_overlay = nullptr;
  EXPECT_EQ(read(2), 2);
  EXPECT_EQ(err_count(), 0);
  fieldlist_free(f, 1);
}

TEST_F(dispatch, DescribedWorkbooksTakeTheirVersions) {
  static const TabTypeDriver kSheet = {.describe = [](StorageDesc*, FieldDef** f, int32_t* n) -> int16_t {
    *f = fieldlist_new(1);
    std::snprintf((*f)[0].name, sizeof (*f)[0].name, "A");
    (*f)[0].value.type = VALUE_CHAR;
    (*f)[0].width = 5;
    *n = 1;
    return 1;
  }};
  tabtype_set_driver(TABTYPE_XLS, &kSheet);
  put("w.XLS", "");
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_XLS;
  t->version = t->read_entire = t->edit = 100;
  ASSERT_TRUE(tabtype_read_fields(path("w.XLS").c_str(), t));
  EXPECT_EQ(t->field_count, 1);
  // The stand-in of the workbook driver knows no BIFF8 workbook.
  EXPECT_EQ(t->version, 300);
  EXPECT_EQ(t->read_entire, 300);
  EXPECT_EQ(t->edit, 300);
  tabtype_close(&t->storage, nullptr);
  tabdef_free(t);
}

TEST_F(dispatch, TypeNoneCountsRows) {
  StorageDesc s;
  ASSERT_TRUE(tabtype_create(dir_.c_str(), "none", -1, 0, &s, TABTYPE_NONE, 0, nullptr, nullptr, 0));
  EXPECT_EQ(s.data_file, 0);
  for (int32_t expected = 1; expected <= 3; ++expected) {
    int32_t n = 0;
    ASSERT_TRUE(tabtype_insert_row(&s, nullptr, &n));
    EXPECT_EQ(n, expected);
    EXPECT_EQ(s.row_count, expected);
    EXPECT_EQ(s.current_row, expected);
  }
  EXPECT_FALSE(tabtype_read_row(&s, nullptr, 2));
  EXPECT_TRUE(tabtype_update_row(&s, nullptr, 2));
  EXPECT_EQ(s.current_row, 2);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(dispatch, RefusedCreateDeletesOnlyTheFileItMade) {
  // The native driver refuses a Memo field after the file is registered.
  const std::vector<FieldSpec> memo = {{"m", VALUE_MEMO, 10, 0}};
  Table t;
  EXPECT_FALSE(create(&t, "half", TABTYPE_NATIVE, memo));
  EXPECT_EQ(codes(), std::vector<int>{497});
  EXPECT_FALSE(file_exists(path("half.DAT").c_str(), 17));
  fieldlist_free(t.fields, t.count);
  // A refused create that had written its file removes it too.
  static const TabTypeDriver kWritesThenRefuses = {
      .create = [](StorageDesc* s, FieldDef*) -> int16_t {
        file_open_binary(s->data_file, 3, nullptr);
        file_write(s->data_file, "half", 4);
        file_release(s->data_file);
        return 1;
      },
      .open = [](StorageDesc*, FieldDef*) -> int16_t { return 0; }};
  tabtype_set_driver(TABTYPE_DBF, &kWritesThenRefuses);
  err_clear();
  StorageDesc s;
  EXPECT_FALSE(tabtype_create(dir_.c_str(), "w", -1, 0, &s, TABTYPE_DBF, 0, nullptr, nullptr, 0));
  EXPECT_FALSE(file_exists(path("w.DBF").c_str(), 18));
  EXPECT_EQ(s.data_file, 0);
  // A handed-in data file stays, registered, with its bytes.
  put("given.DAT", "mine");
  const int32_t h = file_register(path("given.DAT").c_str(), 17);
  ASSERT_GT(h, 0);
  FieldDef* f = fields_of(memo);
  err_clear();
  EXPECT_FALSE(tabtype_create(dir_.c_str(), "x", -1, 0, &s, TABTYPE_NATIVE, 1, f, nullptr, h));
  EXPECT_EQ(read("given.DAT"), "mine");
  EXPECT_NE(file_entry(h), nullptr);
  fieldlist_free(f, 1);
}

TEST_F(dispatch, TemporaryAndScratchStoragesLoseTheirDataFileAtClose) {
  const std::vector<FieldSpec> one = {{"i", VALUE_INTEGER, 0, 0}};
  const struct {
    int32_t type;
    int16_t temporary;
    const char* name;  // "" for a temporary name
    bool kept;
  } kCases[] = {{TABTYPE_NATIVE, 0, "keep", true}, {TABTYPE_FME, 0, "scratch.DAT", false}, {TABTYPE_NATIVE, 1, "", false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.type);
    FieldDef* f = fields_of(one);
    StorageDesc s;
    ASSERT_TRUE(tabtype_create(dir_.c_str(), c.name, -1, c.temporary, &s, c.type, 1, f, nullptr, 0))
        << err_first_code();
    char made[kPathSize];
    file_get_path(s.data_file, made);
    ASSERT_NE(read(std::string(made).substr(dir_.size() + 1)), "");
    tabtype_close(&s, f);
    EXPECT_EQ(s.data_file, 0);
    struct stat st;
    EXPECT_EQ(stat(made, &st) == 0, c.kept) << made;
    fieldlist_free(f, 1);
  }
}

TEST_F(dispatch, FieldListsCompatible) {
  const struct {
    FieldSpec def;
    FieldSpec other;
    bool compatible;
  } kCases[] = {
      {{"a", VALUE_INTEGER, 0, 0}, {"a", VALUE_DECIMAL, 11, 0}, true},
      {{"a", VALUE_INTEGER, 0, 0}, {"a", VALUE_DECIMAL, 10, 0}, false},
      {{"a", VALUE_SMALLINT, 0, 0}, {"a", VALUE_DECIMAL, 6, 0}, true},
      {{"a", VALUE_FLOAT, 0, 0}, {"a", VALUE_DECIMAL, 19, 9}, true},
      {{"a", VALUE_FLOAT, 0, 0}, {"a", VALUE_DECIMAL, 19, 8}, false},
      {{"a", VALUE_DECIMAL, 11, 0}, {"a", VALUE_INTEGER, 0, 0}, false},
      {{"a", VALUE_CHAR, 10, 0}, {"b", VALUE_CHAR, 10, 0}, true},
      {{"a", VALUE_CHAR, 10, 0}, {"a", VALUE_CHAR, 11, 0}, false},
      {{"a", VALUE_DECIMAL, 8, 2}, {"a", VALUE_DECIMAL, 8, 3}, false},
      {{"a", VALUE_DATE, 0, 0}, {"a", VALUE_DATE, 4, 0}, true},
  };
  for (const auto& c : kCases) {
    TableDef* t = tabdef_new();
    t->fields = fields_of({c.def});
    t->field_count = 1;
    FieldDef* other = fields_of({c.other});
    EXPECT_EQ(tabtype_fields_compatible(t, other, 1) != 0, c.compatible) << c.def.type << " " << c.other.type;
    EXPECT_FALSE(tabtype_fields_compatible(t, other, 2));
    fieldlist_free(other, 1);
    tabdef_free(t);
  }
}

}  // namespace
