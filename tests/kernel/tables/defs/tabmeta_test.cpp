// Metadata of open tables written back to their definitions, column
// metadata renumbered after columns moved, and the name and type rules of
// open tables.
#include <gtest/gtest.h>

#include "kernel/tables/codemap.h"
#include "kernel/tables/defs/defs_fixture.h"

class defs_tabmeta : public DefsTest {
 protected:
  void SetUp() override {
    DefsTest::SetUp();
    put("t.TAB", crlf({"!table", "!version 300", "!charset WindowsLatin1", "", "Definition Table",
                       "  Type NATIVE Charset \"WindowsLatin1\"", "  Fields 2", "    a Integer ;",
                       "    b Char (5) ;"}));
    put_dbf("t.DAT", {{"a", 'C', 4, 0}, {"b", 'C', 5, 0}});
    handle_ = file_register(path("t.TAB").c_str(), 1);
    table_ = table_open_file(handle_);
    ASSERT_NE(table_, nullptr) << err_first_code();
    open_table_list_add(table_->entry, 0);
  }
  void TearDown() override {
    tabdef_free(table_);
    DefsTest::TearDown();
  }
  int32_t handle_ = 0;
  TableDef* table_ = nullptr;
};

TEST_F(defs_tabmeta, SettingAKeyRewritesTheDefinition) {
  OpenTable* e = table_->entry;
  EXPECT_EQ(table_metadata_writable(e), 1);  // an empty tree
  ASSERT_EQ(table_metadata_set(e, "\\Owner", "me"), 1);
  const std::string text = read("t.TAB");
  // The key first, then the read-only key that a first key brings.
  EXPECT_NE(text.find("ReadOnly\r\nbegin_metadata\r\n\"\\Owner\" = \"me\"\r\n\"\\IsReadOnly\" = \"FALSE\"\r\nend_metadata\r\n"),
            std::string::npos)
      << text;
  char value[16];
  EXPECT_EQ(table_metadata_get(e, "\\owner", value, sizeof value), 2);
  EXPECT_STREQ(value, "me");
  ASSERT_EQ(table_metadata_delete(e, "\\"), 1);
  EXPECT_EQ(table_metadata_get(e, "\\Owner", value, sizeof value), -1);
  EXPECT_EQ(read("t.TAB").find("Owner"), std::string::npos);
}

TEST_F(defs_tabmeta, ColumnMetadataFollowsMovedColumns) {
  OpenTable* e = table_->entry;
  ASSERT_EQ(table_metadata_set(e, "\\FIELDS\\COL1\\Label", "first"), 1);
  ASSERT_EQ(table_metadata_set(e, "\\FIELDS\\COL2", "second"), 1);
  // Column 2 moves to 1, column 1 is gone, a new column 2 comes.
  const int32_t old_numbers[] = {2, 0};
  ASSERT_EQ(table_metadata_renumber_columns(e, old_numbers, 2, 2), 1);
  char value[16];
  EXPECT_GT(table_metadata_get(e, "\\Fields\\Col1", value, sizeof value), 0);
  EXPECT_STREQ(value, "second");
  EXPECT_EQ(table_metadata_get(e, "\\Fields\\Col1\\Label", value, sizeof value), -1);
  EXPECT_EQ(table_metadata_get(e, "\\Fields\\Col2", value, sizeof value), -1);
}

TEST_F(defs_tabmeta, NamesAndTypesOfOpenTables) {
  EXPECT_EQ(table_name_in_use("selection", 1), 1);
  EXPECT_EQ(table_name_in_use("T", 1), 1);
  EXPECT_EQ(codes(), (std::vector<int>{3043, 362}));
  err_clear();
  EXPECT_EQ(table_name_in_use("other", 1), 0);
  EXPECT_EQ(table_name_reason("other"), 0);
  EXPECT_EQ(codes(), std::vector<int>{311});
  err_clear();
  table_->entry->flag_a = 2;
  EXPECT_EQ(table_name_reason("t"), 0);
  EXPECT_EQ(codes(), std::vector<int>{891});
  err_clear();
  table_->entry->flag_a = 0;
  table_->entry->kind = 5;
  EXPECT_EQ(table_name_reason("t"), 0);
  EXPECT_EQ(codes(), std::vector<int>{683});
  table_->entry->kind = 1;
  err_clear();
  EXPECT_EQ(table_name_reason("t"), 0);  // always fails, here without a reason
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(tabdef_has_field_type(table_, VALUE_CHAR), 1);
  EXPECT_EQ(open_table_has_column_type(table_->entry, VALUE_DATE), 0);
  ColumnDesc c = table_->entry->columns[1];
  std::strcpy(c.name, "count");
  char name[32];
  column_display_name(name, &c, 1);
  EXPECT_STREQ(name, "COL2");
  Value v{};
  value_set_int(7, VALUE_INTEGER, &v);
  EXPECT_EQ(value_shown_width(&v, 99), value_display_width(&v));
  v.type = VALUE_CHAR_REF;
  EXPECT_EQ(value_shown_width(&v, 99), 99);
}

TEST_F(defs_tabmeta, TargetPathCheck) {
  const struct {
    std::string path;
    int32_t flags;
    int16_t result;
  } kCases[] = {
      {path("t.TAB"), 0, 0},       // registered with the kernel
      {path("T.tab"), 0, 0},       // names compare without regard to case
      {path("new.TAB"), 0, 1},
      {path("other/t.TAB"), 0x20, 0},  // the table name t is open
      {path("other/u.TAB"), 0x20, 1},
  };
  for (const auto& c : kCases) {
    char p[kPathSize];
    std::snprintf(p, sizeof p, "%s", c.path.c_str());
    EXPECT_EQ(codemap_check_target(p, c.flags, 1), c.result) << c.path;
  }
  char p[kPathSize];
  std::snprintf(p, sizeof p, "%s", path("n.TAB").c_str());
  EXPECT_EQ(codemap_check_target(p, 0x40, 2), 1);
  EXPECT_EQ(std::string(p), path("n.DAT"));  // ids 1 and 2 become the native data extension
}
