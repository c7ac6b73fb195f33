// Name rules and column widths.
#include <cstring>
#include <string>

#include "kernel/runtime/list.h"
#include "kernel/runtime/mem.h"
#include "kernel/tables/lang/names.h"
#include "lang_fixture.h"

using lang_names = LangTest;

TEST_F(lang_names, ValidityAndSanitising) {
  const struct {
    const char* name;
    bool valid;
    const char* sanitised;
  } kCases[] = {
      {"1abc", false, "_1abc"},
      {"ab$c", false, "ab_c"},
      {"abc$", true, "abc$"},
      {"#x", false, "_#x"},
      {"$x", false, "_x"},
      {"$", true, "_$"},
      {"a b-c", false, "a_b_c"},
      {"_~#9", true, "_~#9"},
      {"caf\xe9", true, "caf\xe9"},
      {"", false, ""},
      {"1234567890123456789012345678901", false, "_123456789012345678901234567890"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ident_is_valid(c.name), c.valid ? 1 : 0) << c.name;
    char buf[32];
    str_copy_n(buf, c.name, sizeof buf);
    column_name_sanitize(buf);
    EXPECT_STREQ(buf, c.sanitised) << c.name;
  }
  EXPECT_EQ(ident_char_ok('$', 1), 1);
  EXPECT_EQ(ident_char_ok('$', 0), 0);
  EXPECT_EQ(ident_char_ok(0, 1), 0);
}

TEST_F(lang_names, ReservedFieldNames) {
  const struct {
    const char* name;
    int16_t error;
  } kCases[] = {
      {"col12", 675}, {"COL1", 675}, {"Col007", 675}, {"object", 675}, {"OBJ", 675}, {"rowid", 675},
      {"col", 0},     {"col1x", 0},  {"colour", 0},  {"objects", 0},  {"1x", 348},  {"a.b", 348},
  };
  for (const auto& c : kCases) {
    err_clear();
    EXPECT_EQ(field_name_check(c.name), c.error == 0 ? 1 : 0) << c.name;
    if (c.error) {
      ASSERT_EQ(err_count(), 1) << c.name;
      EXPECT_EQ(g_err_stack->entries[0].code, c.error) << c.name;
      EXPECT_EQ(Arg(0, 1), c.name);
    }
  }
}

TEST_F(lang_names, MakingNamesUnique) {
  char* list = nullptr;
  const struct {
    const char* name;
    const char* result;
  } kCases[] = {
      {"NAME", "NAME"},
      {"Name_2", "Name_2"},
      {"Name", "Name_3"},
      {"col12", "_col12"},
      {"1abc", "_1abc"},
      {"_1abc", "_1abc_2"},
      {"abcdefghijklmnopqrstuvwxyz01234", "abcdefghijklmnopqrstuvwxyz01234"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "ABCDEFGHIJKLMNOPQRSTUVWXY_2"},
  };
  for (const auto& c : kCases) {
    char buf[32];
    str_copy_n(buf, c.name, sizeof buf);
    EXPECT_EQ(column_name_make_unique(buf, &list), 1);
    EXPECT_STREQ(buf, c.result) << c.name;
    EXPECT_EQ(err_count(), 0);
  }
  mem_free(&list);
}

TEST_F(lang_names, ColumnWidths) {
  const struct {
    int32_t type, width, name_length, display, shown;
  } kCases[] = {
      {9, 254, 20, 0, 16},  {1, 10, 4, 10, 10}, {1, 40, 4, 40, 26}, {3, 0, 2, 11, 11},
      {4, 0, 2, 6, 6},      {5, 0, 2, 10, 10},  {6, 0, 2, 1, 2},    {37, 0, 2, 12, 12},
      {38, 0, 2, 22, 17},   {39, 0, 2, 20, 16}, {8, 0, 13, 11, 13}, {42, 7, 1, 7, 7},
  };
  for (const auto& c : kCases) {
    const int32_t d = column_display_width(c.type, c.width, c.width);
    EXPECT_EQ(d, c.display) << c.type;
    EXPECT_EQ(column_shown_width(d, c.name_length), c.shown) << c.type;
  }
}
