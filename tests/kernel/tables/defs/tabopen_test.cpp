// Opening tables from their definitions over real data files: the
// open-table entry and its column references, read-only entries, the refresh
// of a dBASE definition older than its data, and its failures; the text
// forms of column values.
#include <gtest/gtest.h>

#include <algorithm>

#include "kernel/runtime/kshared.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/defs/defs_fixture.h"
#include "kernel/tables/lang/metadata.h"
#include "kernel/tables/lang/walker.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/storage/tabtype_ops.h"

class defs_open : public DefsTest {
 protected:
  TableDef* open(const std::string& name) {
    handle_ = file_register(path(name).c_str(), 1);
    EXPECT_GT(handle_, 0);
    TableDef* t = table_open_file(handle_);
    if (t == nullptr) file_unregister(handle_);
    return t;
  }
  std::vector<std::string> sorted_files() const {
    std::vector<std::string> f = files();
    std::sort(f.begin(), f.end());
    return f;
  }
  int32_t handle_ = 0;
};

TEST_F(defs_open, NativeTableEntryHasAColumnPerField) {
  std::vector<std::string> lines = {"!table", "!version 300", "Definition Table", "Type NATIVE", "Fields 12"};
  for (int i = 0; i < 12; ++i) {
    std::string line = "f";
    line.append(std::to_string(i)).append(" Integer ;");
    lines.push_back(line);
  }
  put("t.TAB", crlf(lines));
  put_dat_integers("t.DAT", 12);
  TableDef* t = open("t.TAB");
  ASSERT_NE(t, nullptr) << err_first_code();
  ASSERT_NE(t->entry, nullptr);
  OpenTable* e = t->entry;
  EXPECT_EQ(e->kind, 1);
  EXPECT_EQ(e->read_only, 0);
  EXPECT_EQ(e->object_table, 0);  // no map file
  ASSERT_EQ(e->columns.size(), 12u);
  for (size_t i = 0; i < 12; ++i) {
    const uint8_t* c = e->columns[i].expr;
    EXPECT_EQ(c[0], 241);
    EXPECT_EQ(c[1], 26);
    EXPECT_EQ(c[2] | (c[3] << 8), 5);
    EXPECT_EQ(c[4], 0);
    void* table = nullptr;
    std::memcpy(&table, c + 5, sizeof table);
    EXPECT_EQ(table, t);
    EXPECT_EQ(c[5 + sizeof table], i);
    EXPECT_EQ(e->columns[i].editable, 1);
  }
  int32_t index = -1;
  EXPECT_EQ(table_column_find(e, "col3", &index), 1);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(table_column_find(e, "OBJ", &index), 0);  // answered, but no objects
  EXPECT_EQ(index, 255);
  tabdef_free(t);
}

TEST_F(defs_open, ComponentFilesAndObjects) {
  put("t.TAB", crlf({"!table", "!version 300", "Definition Table", "Type NATIVE", "Fields 1", "a Integer Index 1 ;"}));
  put_dat_integers("t.DAT", 1);
  put_index("t.IND");
  put("t.MAP", "");
  TableDef* t = open("t.TAB");
  ASSERT_NE(t, nullptr) << err_first_code();
  EXPECT_EQ(t->entry->object_table, 1);
  ASSERT_NE(t->fields[0].index, nullptr);
  ComponentFile parts[5];
  ASSERT_EQ(tabdef_component_files(t, parts), 4);
  const struct {
    const char* name;
    int32_t ext;
  } kParts[] = {{"t.TAB", 1}, {"t.DAT", 17}, {"t.IND", 7}, {"t.MAP", 5}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(std::string(parts[i].path), path(kParts[i].name));
    EXPECT_EQ(parts[i].ext_id, kParts[i].ext);
  }
  int32_t index = -1;
  EXPECT_EQ(table_column_find(t->entry, "Object", &index), 1);
  EXPECT_EQ(index, 255);
  tabdef_free(t);
}

TEST_F(defs_open, MissingIndexFileUnderTheFatalTrap) {
  put("t.TAB", crlf({"!table", "!version 300", "Definition Table", "Type NATIVE", "Fields 1", "a Integer Index 1 ;"}));
  put_dat_integers("t.DAT", 1);
  g_kshared.fatal_trap_flag = 1;
  TableDef* t = nullptr;
  EXPECT_EQ(kernel_guard([&] { t = open("t.TAB"); }), 1);
  g_kshared.fatal_trap_flag = 0;
  ASSERT_NE(t, nullptr) << err_first_code();
  EXPECT_EQ(t->fields[0].index, nullptr);
  tabdef_free(t);
}

TEST_F(defs_open, AsciiEntryIsReadOnly) {
  // The delimited-text driver stands in as one whose open succeeds.
  static const TabTypeDriver kOpens = {.open = [](StorageDesc*, FieldDef*) -> int16_t { return 1; }};
  const TabTypeDriver* before = tabtype_set_driver(TABTYPE_ASCII, &kOpens);
  put("t.TAB", crlf({"!table", "!version 300", "Definition Table", "Type ASCII Delimiter 44", "Fields 1",
                     "a Char (10) ;"}));
  put("t.TXT", "x\n");
  set_mtime("t.TXT", 1000000000);
  set_mtime("t.TAB", 1000000000);
  TableDef* t = open("t.TAB");
  tabtype_set_driver(TABTYPE_ASCII, before);
  ASSERT_NE(t, nullptr) << err_first_code();
  EXPECT_EQ(t->read_only, 1);
  EXPECT_EQ(t->entry->read_only, 1);
  EXPECT_EQ(t->entry->columns[0].editable, 0);
  tabdef_free(t);
}

TEST_F(defs_open, MissingDataAndViewsOutsideCollecting) {
  put("t.TAB", crlf({"!table", "!version 300", "Definition Table", "Type NATIVE", "Fields 1", "a Integer ;"}));
  EXPECT_EQ(open("t.TAB"), nullptr);
  EXPECT_EQ(codes(), std::vector<int>{505});
  err_clear();
  tabfile_set_collect(1);
  put("t.DAT", "");
  EXPECT_EQ(open("t.TAB"), nullptr);
  EXPECT_EQ(codes(), std::vector<int>{1923});
  tabfile_set_collect(0);
}

TEST_F(defs_open, LongDataPathsAreRefused) {
  const std::string deep(240, 'd');
  const struct {
    std::string file;
    int code;
  } kCases[] = {
      {std::string(300, 'x') + ".DAT", 1299},  // the name alone is too long
      {deep + ".DAT", 370},                    // the name made absolute is
  };
  for (const auto& c : kCases) {
    err_clear();
    put("t.TAB", crlf({"!table", "!version 300", "Definition Table", "File \"" + c.file + "\"", "Type NATIVE",
                       "Fields 1", "a Integer ;"}));
    EXPECT_EQ(open("t.TAB"), nullptr);
    EXPECT_EQ(err_first_code(), c.code);
    if (c.code == 1299) {
      EXPECT_EQ(arg(0, 1), "260");
    }
    file_reset();
  }
}

class defs_refresh : public defs_open {
 protected:
  void SetUp() override {
    defs_open::SetUp();
    put_dbf("t.DBF", {{"ID", 'N', 10, 0}, {"NAME", 'C', 20, 0}});
    old_tab_ = crlf({"!table", "!version 300", "!charset WindowsLatin1", "", "Definition Table",
                     "  Type DBF Charset \"WindowsLatin1\"", "  Fields 1", "    OLD Char (5) ;"});
    put("t.TAB", old_tab_);
    set_mtime("t.TAB", 1000000000);
    set_mtime("t.DBF", 1000000001);
  }
  std::string old_tab_;
};

TEST_F(defs_refresh, StaleDbaseDefinitionIsRegisteredAgain) {
  TableDef* t = open("t.TAB");
  ASSERT_NE(t, nullptr) << err_first_code();
  EXPECT_EQ(std::string(tabtypes_last_refresh_statement()),
            "Register Table \"" + path("t.DBF") + "\"  TYPE DBF Charset \"WindowsLatin1\" into  \"" + path("t.TAB") +
                "\"");
  ASSERT_EQ(t->field_count, 2);
  // Described names: lower case, the first letter upper case.
  EXPECT_STREQ(t->fields[0].name, "Id");
  EXPECT_EQ(t->fields[0].value.type, VALUE_DECIMAL);
  EXPECT_STREQ(t->fields[1].name, "Name");
  EXPECT_EQ(read("t.TAB"), crlf({"!table", "!version 300", "!charset WindowsLatin1", "", "Definition Table",
                                 "  Type DBF Charset \"WindowsLatin1\"", "  Fields 2", "    Id Decimal (10, 0) ;",
                                 "    Name Char (20) ;"}));
  tabdef_free(t);
  EXPECT_EQ(sorted_files(), (std::vector<std::string>{"t.DBF", "t.TAB"}));
}

TEST_F(defs_refresh, QuotesInPathsAreDoubledInTheStatement) {
  put_dbf("q\"t.DBF", {{"ID", 'N', 10, 0}});
  put("q\"t.TAB", old_tab_);
  set_mtime("q\"t.TAB", 1000000000);
  set_mtime("q\"t.DBF", 1000000001);
  TableDef* t = open("q\"t.TAB");
  ASSERT_NE(t, nullptr) << err_first_code();
  std::string base = path("q");
  base.pop_back();
  base.append("q\"\"t");
  std::string want = "Register Table \"";
  want.append(base).append(".DBF\"  TYPE DBF Charset \"WindowsLatin1\" into  \"").append(base).append(".TAB\"");
  EXPECT_EQ(std::string(tabtypes_last_refresh_statement()), want);
  ASSERT_EQ(t->field_count, 1);
  EXPECT_STREQ(t->fields[0].name, "Id");
  tabdef_free(t);
}

TEST_F(defs_refresh, FieldIndexesAreBuiltAgain) {
  put("t.TAB", crlf({"!table", "!version 300", "Definition Table", "Type DBF", "Fields 1", "id Char (5) Index 1 ;"}));
  put_index("t.IND");
  set_mtime("t.TAB", 1000000000);
  TableDef* t = open("t.TAB");
  ASSERT_NE(t, nullptr) << err_first_code();
  ASSERT_EQ(t->field_count, 2);
  EXPECT_NE(t->fields[0].index, nullptr);  // ID had an index before
  EXPECT_EQ(t->fields[1].index, nullptr);
  tabdef_free(t);
}

TEST_F(defs_refresh, NewerDefinitionIsKept) {
  put_dbf("t.DBF", {{"OLD", 'C', 5, 0}});
  set_mtime("t.DBF", 1000000001);
  set_mtime("t.TAB", 1000000002);
  TableDef* t = open("t.TAB");
  ASSERT_NE(t, nullptr) << err_first_code();
  EXPECT_STREQ(t->fields[0].name, "OLD");
  tabdef_free(t);
  EXPECT_EQ(read("t.TAB"), old_tab_);
}

TEST_F(defs_refresh, FailedRewriteLeavesTheDefinition) {
  const struct {
    const char* what;
    void (*arm)();
  } kCases[] = {
      {"rename", [] { file_test_fail_rename_nth(1); }},
      {"second write", [] { file_test_fail_write_nth(2); }},
  };
  for (const auto& c : kCases) {
    err_clear();
    c.arm();
    EXPECT_EQ(open("t.TAB"), nullptr) << c.what;
    EXPECT_EQ(codes(), (std::vector<int>{754, 1931})) << c.what;
    EXPECT_EQ(read("t.TAB"), old_tab_) << c.what;
    EXPECT_EQ(sorted_files(), (std::vector<std::string>{"t.DBF", "t.TAB"})) << c.what;
    file_test_fail_rename_nth(0);
    file_test_fail_write_nth(0);
  }
}

TEST_F(defs_open, RegisterTableRunsWithoutAnInstalledRunner) {
  put_dbf("r.DBF", {{"A", 'C', 4, 0}});
  ASSERT_EQ(stmt_exec_text(("Register Table \"" + path("r.DBF") + "\" Type DBF").c_str(), 0), 1)
      << err_first_code();
  EXPECT_EQ(read("r.TAB"), crlf({"!table", "!version 300", "!charset WindowsLatin1", "", "Definition Table",
                                 "  Type DBF Charset \"WindowsLatin1\"", "  Fields 1", "    A Char (4) ;"}));
  // A second registration while the new definition is open is refused.
  const int32_t h = file_register(path("r.TAB").c_str(), 1);
  EXPECT_EQ(stmt_exec_text(("Register Table \"" + path("r.DBF") + "\" Type DBF").c_str(), 0), 0);
  EXPECT_EQ(err_first_code(), 420);
  file_unregister(h);
}

TEST_F(defs_open, TableNamesRepairedOnceTheTableLayerStarted) {
  // A section sign is no letter of Windows Latin 1: the column name rule
  // replaces it, the runtime's plain rule does not know it.
  char name[64];
  path_set_sanitize_hook(nullptr);
  path_to_table_name("/d/1a\xA7" "b.TAB", name);
  EXPECT_STREQ(name, "_1a\xA7" "b");
  tables_runtime_start();
  path_to_table_name("/d/1a\xA7" "b.TAB", name);
  EXPECT_STREQ(name, "_1a_b");
}

TEST_F(defs_open, ColumnsGiveTheirValuesAsText) {
  TableDef* t = tabdef_new();
  t->fields = fieldlist_new(3);
  t->field_count = 3;
  const struct {
    const char* name;
    uint8_t width, decimals;
    int type;
    double value;
    const char* text;       // value_to_text with the column's decimals
    const char* full_text;  // 14 significant digits for floats
  } kCases[] = {
      {"d", 8, 2, VALUE_DECIMAL, 2.5, "2.50", "2.50"},
      {"f", 0, 0, VALUE_FLOAT, 1.0 / 3.0, "0.333333", "0.33333333333333"},
      {"i", 0, 0, VALUE_INTEGER, 42, "42", "42"},
  };
  for (int i = 0; i < 3; ++i) {
    FieldDef& f = t->fields[i];
    str_copy_n(f.name, kCases[i].name, sizeof f.name);
    f.width = kCases[i].width;
    f.decimals = kCases[i].decimals;
    if (kCases[i].type == VALUE_INTEGER) {
      ASSERT_EQ(value_set_int(static_cast<int32_t>(kCases[i].value), kCases[i].type, &f.value), 1);
    } else {
      ASSERT_EQ(value_set_double(kCases[i].value, kCases[i].type, &f.value), 1);
    }
  }
  OpenTable entry;
  for (int i = 0; i < 3; ++i) {
    ColumnDesc c;
    ASSERT_EQ(column_from_field(&c, &entry, t, &t->fields[i], i), 1);
    char text[32];
    EXPECT_EQ(column_format_text(&c, text, sizeof text, 0), 1);
    EXPECT_STREQ(text, kCases[i].text);
    EXPECT_EQ(column_format_text_full(&c, text, sizeof text, 0), 1);
    EXPECT_STREQ(text, kCases[i].full_text);
    // Cut to the room given, never past it.
    char small[3] = {'x', 'x', 'x'};
    EXPECT_EQ(column_format_text_full(&c, small, 2, 0), 1);
    EXPECT_EQ(std::strlen(small), 1u);
    EXPECT_EQ(small[2], 'x');
    column_free(&c);
  }
  tabdef_free(t);
}

// The operations on an open-table entry: access brackets over the data
// storage and the index file, the label column, row counts, column lookups,
// copies and removal, and the object table after map storages change.
TEST_F(defs_open, EntryOperations) {
  put("t.TAB", crlf({"!table", "!version 300", "Definition Table", "Type NATIVE", "Fields 3", "a Integer Index 1 ;",
                     "name Char (10) ;", "count Integer ;"}));
  put_dbf("t.DAT", {{"a", 'C', 4, 0}, {"name", 'C', 10, 0}, {"count", 'C', 4, 0}});
  put_index("t.IND");
  TableDef* t = open("t.TAB");
  ASSERT_NE(t, nullptr) << err_first_code();
  OpenTable* e = t->entry;
  open_table_list_add(e, 0);

  // Brackets nest; the first begins the storage and the index, the last ends
  // them.
  const uint8_t storage_nesting = t->storage.nesting;
  ASSERT_EQ(open_table_lock(e, 0), 1) << err_first_code();
  ASSERT_EQ(open_table_begin_access(e, 1), 1);
  EXPECT_EQ(e->nesting, 2);
  EXPECT_EQ(t->access_uses, 2);
  EXPECT_EQ(t->index->uses, 1);
  EXPECT_EQ(open_table_unlock(e), 1);
  EXPECT_EQ(t->index->uses, 1);
  EXPECT_EQ(open_table_unlock(e), 0);
  EXPECT_EQ(t->access_uses, 0);
  EXPECT_EQ(t->index->uses, 0);
  EXPECT_EQ(t->storage.nesting, storage_nesting);
  // An index file that cannot be used undoes the storage's bracket; the
  // file layer names the missing file.
  std::remove(path("t.IND").c_str());
  EXPECT_EQ(open_table_lock(e, 0), 0);
  EXPECT_EQ(codes(), std::vector<int>{kErrPathNotFound});
  EXPECT_EQ(arg(0, 1), "t.IND");
  EXPECT_EQ(e->nesting, 0);
  EXPECT_EQ(t->access_uses, 0);
  EXPECT_EQ(t->storage.nesting, storage_nesting);
  err_clear();

  // The label column must be a Char column.
  EXPECT_EQ(open_table_label_column(e), -1);
  ASSERT_EQ(metadata_set(t->metadata, "\\ActiveLabelField", "NAME"), 1);
  EXPECT_EQ(open_table_label_column(e), 1);
  ASSERT_EQ(metadata_set(t->metadata, "\\ActiveLabelField", "a"), 1);
  EXPECT_EQ(open_table_label_column(e), -1);

  EXPECT_EQ(open_table_row_count(e), 0);
  e->kind = 3;
  e->own_rows = 7;
  EXPECT_EQ(open_table_row_count(e), 7);
  e->kind = 1;

  OpenTable* found = nullptr;
  int32_t index = -1;
  EXPECT_EQ(open_table_find_column("T.Name", nullptr, 0, &found, &index), 1);
  EXPECT_EQ(found, e);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(open_table_find_column("u.name", nullptr, 0, &found, &index), 0);
  EXPECT_EQ(open_table_find_column("col3", &e, 1, &found, &index), 1);
  EXPECT_EQ(index, 2);

  char name[kTableNameSize];
  ASSERT_EQ(open_table_column_name_of_expr(e, e->columns[2].expr, name), 1);
  EXPECT_STREQ(name, "COL3");  // an aggregate keyword is no column name
  ColumnDesc copy;
  ASSERT_EQ(column_copy(&copy, &e->columns[1]), 1);
  EXPECT_NE(copy.expr, e->columns[1].expr);
  ASSERT_EQ(open_table_column_name_of_expr(e, copy.expr, name), 1);
  EXPECT_STREQ(name, "name");
  column_free(&copy);

  ASSERT_EQ(open_table_base_name(e, name), 1);
  EXPECT_STREQ(name, "t");
  e->temporary = 1;
  EXPECT_EQ(open_table_base_name(e, name), 0);
  e->temporary = 0;

  EXPECT_EQ(e->object_table, 0);
  t->map.kind = MAPSTORE_FILE;
  open_tables_update_object_table();
  EXPECT_EQ(e->object_table, 1);
  t->map.kind = 0;
  open_tables_update_object_table();
  EXPECT_EQ(e->object_table, 0);

  EXPECT_EQ(open_table_remove_column(e, 3), 0);
  ASSERT_EQ(open_table_remove_column(e, 0), 1);
  ASSERT_EQ(e->columns.size(), 2u);
  EXPECT_STREQ(e->columns[0].name, "name");

  EXPECT_EQ(tabdef_is_shapefile(t), 0);
  EXPECT_EQ(name_is_selection("SELECTION"), 1);
  EXPECT_EQ(name_is_aggregate("WtAvg"), 1);
  EXPECT_EQ(name_is_aggregate("total"), 0);
  open_table_list_remove(e);
  tabdef_free(t);
}

TEST_F(defs_refresh, RefreshAndEntryRefusals) {
  TableDef* t = tabdef_new();
  const std::string data = path("t.DBF"), def = path("t.TAB");
  t->storage.type = TABTYPE_WKS;
  EXPECT_EQ(tabtypes_reregister_if_stale(data.c_str(), def.c_str(), t, nullptr, nullptr, 0), 0);
  EXPECT_EQ(codes(), std::vector<int>{1934});
  err_clear();
  t->storage.type = TABTYPE_XLS;  // never rewritten, whatever the times
  EXPECT_EQ(tabtypes_reregister_if_stale(data.c_str(), def.c_str(), t, nullptr, nullptr, 0), 1);
  EXPECT_EQ(read("t.TAB"), old_tab_);
  int16_t newer = 0;
  const std::string missing = path("none.DBF");
  EXPECT_EQ(tabtypes_data_is_newer(missing.c_str(), def.c_str(), &newer, nullptr), 0);
  EXPECT_EQ(codes(), std::vector<int>{923});
  EXPECT_EQ(arg(0, 1), missing);
  err_clear();
  // A shapefile's .shp and .shx count as well; a missing one cannot be examined.
  ObjectSystemRecord object;
  put_dbf("s.DBF", {{"A", 'C', 4, 0}});
  put("s.shp", "");
  put("s.TAB", "");
  set_mtime("s.DBF", 1000000000);
  set_mtime("s.shp", 1000000000);
  set_mtime("s.TAB", 1000000001);
  const std::string sdata = path("s.DBF"), sdef = path("s.TAB");
  EXPECT_EQ(tabtypes_data_is_newer(sdata.c_str(), sdef.c_str(), &newer, &object), 0);
  EXPECT_EQ(codes(), std::vector<int>{923});
  EXPECT_EQ(arg(0, 1), path("s.shx"));
  err_clear();
  put("s.shx", "");
  set_mtime("s.shx", 1000000002);
  ASSERT_EQ(tabtypes_data_is_newer(sdata.c_str(), sdef.c_str(), &newer, &object), 1);
  EXPECT_EQ(newer, 1);
  set_mtime("s.shx", 1000000001);
  ASSERT_EQ(tabtypes_data_is_newer(sdata.c_str(), sdef.c_str(), &newer, &object), 1);
  EXPECT_EQ(newer, 0);

  const struct {
    int16_t kind, refuse;
    int code;
  } kEntries[] = {{5, 0, 1933}, {0, 1, 1933}, {2, 0, 1934}};
  for (const auto& c : kEntries) {
    err_clear();
    EXPECT_EQ(tabtypes_build_open_entry(c.kind, t, 1, 0, 0, c.refuse, 0, 0, 0), 0);
    EXPECT_EQ(codes(), std::vector<int>{c.code});
    EXPECT_EQ(t->entry, nullptr);
  }
  tabdef_free(t);
}

TEST_F(defs_open, RegisterTableTargetsAndRequiredClauses) {
  put_dbf("r.DBF", {{"A", 'C', 4, 0}});
  std::string text = "Register Table \"";
  text.append(path("r.DBF")).append("\" Type DBF Into \"").append(path("other.txt")).append("\"");
  ASSERT_EQ(stmt_exec_text(text.c_str(), 0), 1) << err_first_code();
  EXPECT_EQ(sorted_files(), (std::vector<std::string>{"other.TAB", "r.DBF"}));  // ".TAB" is forced
  // A shapefile needs its CoordSys clause; without it nothing is written.
  text = "Register Table \"";
  text.append(path("r.DBF")).append("\" Type SHAPEFILE Charset \"WindowsLatin1\" Into \"").append(path("s.TAB")).append("\"");
  EXPECT_EQ(stmt_exec_text(text.c_str(), 0), 0);
  EXPECT_EQ(err_first_code(), 615);
  EXPECT_EQ(sorted_files(), (std::vector<std::string>{"other.TAB", "r.DBF"}));
}
