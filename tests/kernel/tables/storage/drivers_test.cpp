// The native and dBASE drivers: the bytes of a ten-field table against the
// files of tools/gen_dbase_fixtures.py, values read back, field-name
// repair, pairing of definitions with files, text forms read from foreign
// files, the shapefile mode and the Register Table road.
#include <gtest/gtest.h>

#include <climits>

#include "kernel/runtime/date.h"
#include "kernel/tables/storage/dbf.h"
#include "kernel/tables/storage/dbdriver.h"
#include "kernel/tables/storage/storage_fixture.h"

namespace {

struct TenRow {
  const char* text;
  double decimal;
  int32_t integer;
  int16_t small;
  Date date;
  int32_t time_ms;  // -1: null
  Date dt_date;
  int32_t dt_ms;
  double real;
  int64_t large;
  uint8_t logical;
  const char* text_read;  // as read back
};

const TenRow kRows[] = {
    {"ab  ", 123.45, 7, -3, {2007, 3, 5}, 43200000, {2007, 3, 5}, 43200000, 1.5, 9000000000LL, 1, "ab"},
    {"x", -0.5, INT_MIN, 32767, {0, 0, 0}, -1, {1999, 12, 31}, 1, -2.25, -9000000000LL, 0, "x"},
    {"abcdefghij", 99999.99, 0, 0, {1999, 12, 31}, 86399999, {2000, 1, 1}, 3723004, 0.1, 0, 1, "abcdefghij"},
};

class drivers : public StorageTest {
 protected:
  void put_row(FieldDef* f, const TenRow& r) {
    set_text(&f[0], r.text);
    f[1].value.u.d = r.decimal;
    f[2].value.u.i = r.integer;
    f[3].value.u.s = r.small;
    f[4].value.u.date = r.date;
    if (r.time_ms < 0) time_set_null(&f[5].value.u.time);
    else time_from_ms(r.time_ms, &f[5].value.u.time);
    datetime_from_pair(&r.dt_date, r.dt_ms, &f[6].value.u.dt);
    f[7].value.u.d = r.real;
    f[8].value.u.ll = r.large;
    f[9].value.u.b = r.logical;
  }
  void expect_row(const FieldDef* f, const TenRow& r) {
    EXPECT_EQ(text_of(f[0]), r.text_read);
    EXPECT_DOUBLE_EQ(f[1].value.u.d, r.decimal);
    EXPECT_EQ(f[2].value.u.i, r.integer);
    EXPECT_EQ(f[3].value.u.s, r.small);
    EXPECT_EQ(date_to_int(&f[4].value.u.date), date_to_int(&r.date));
    if (r.time_ms < 0) { EXPECT_TRUE(time_is_null(&f[5].value.u.time)); } else { EXPECT_EQ(time_to_ms(&f[5].value.u.time), r.time_ms); }
    Date d;
    int32_t ms = 0;
    datetime_to_pair(&f[6].value.u.dt, &d, &ms);
    EXPECT_EQ(date_to_int(&d), date_to_int(&r.dt_date));
    EXPECT_EQ(ms, r.dt_ms);
    EXPECT_EQ(f[7].value.u.d, r.real);
    EXPECT_EQ(f[8].value.u.ll, r.large);
    EXPECT_EQ(f[9].value.u.b != 0, r.logical != 0);
  }
  static std::string golden(const char* name) {
    std::ifstream in(std::string(GOLDEN_DIR) + "/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
};

TEST_F(drivers, TenFieldTablesEqualTheLayoutFilesAndReadBack) {
  const struct {
    int32_t type;
    const char* file;
    const char* golden;
  } kCases[] = {{TABTYPE_NATIVE, "ten.DAT", "ten_fields.dat"}, {TABTYPE_DBF, "ten.DBF", "ten_fields.dbf"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    Table t;
    ASSERT_TRUE(create(&t, "ten", c.type, kTenFields)) << err_first_code();
    ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 2));
    for (const TenRow& r : kRows) {
      put_row(t.fields, r);
      int32_t n = 0;
      ASSERT_TRUE(tabtype_insert_row(&t.storage, t.fields, &n));
    }
    EXPECT_EQ(t.storage.row_count, 3);
    ASSERT_TRUE(tabtype_end_access(&t.storage));
    close(&t);
    const std::string bytes = read(c.file);
    EXPECT_EQ(bytes, golden(c.golden));
    // What matters in the fixture, by hand.
    ASSERT_GT(bytes.size(), 400u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x03\x6B\x03\x05", 4));
    EXPECT_EQ(u32(bytes, 4), 3u);
    EXPECT_EQ(u16(bytes, 8), 353);
    EXPECT_EQ(bytes[352], '\x0D');
    EXPECT_EQ(bytes.back(), '\x1A');
    if (c.type == TABTYPE_NATIVE) {
      EXPECT_EQ(bytes.substr(354, 10), std::string("ab\0\0\0\0\0\0\0\0", 10));
      const size_t time = 354 + 10 + 8 + 4 + 2 + 4;
      EXPECT_EQ(bytes.substr(time, 4), std::string("\x00\x2E\x93\x02", 4));
      const size_t record = u16(bytes, 10);
      EXPECT_EQ(bytes.substr(time + record, 4), std::string("\xFF\xFF\xFF\xFF", 4));
    } else {
      const size_t at = 354 + 10 + 8;
      EXPECT_EQ(bytes.substr(at, 11 + 6 + 8 + 9 + 17), "          7    -32007030512000000020070305120000000");
      EXPECT_EQ(bytes.substr(at + 11 + 6 + 8 + 9 + 17 + 19 + 20, 1), "T");
    }

    Table r;
    ASSERT_TRUE(open(&r, c.file, c.type, kTenFields)) << err_first_code();
    EXPECT_EQ(r.storage.row_count, 3);
    ASSERT_TRUE(tabtype_begin_access(nullptr, &r.storage, 1));
    for (int32_t n = 1; n <= 3; ++n) {
      ASSERT_TRUE(tabtype_read_row(&r.storage, r.fields, n)) << n;
      expect_row(r.fields, kRows[n - 1]);
    }
    EXPECT_FALSE(tabtype_read_row(&r.storage, r.fields, 4));
    EXPECT_TRUE(tabtype_end_access(&r.storage));
    close(&r);
  }
}

TEST_F(drivers, DbaseFieldNamesAreRepaired) {
  const struct {
    const char* name;
    const char* expected;
  } kCases[] = {{"2nd code", "AND_CODE"}, {"crs-id", "CRS_ID"}, {"abcdefghijkl", "ABCDEFGHIJ"}, {"Name", "NAME"},
                {"_x", "AX"}};
  for (const auto& c : kCases) {
    char out[11];
    dbf_make_field_name(out, c.name, charset_current());
    EXPECT_STREQ(out, c.expected) << c.name;
  }
  dbf_set_keep_field_names(1);
  char out[11];
  dbf_make_field_name(out, "crs-id", charset_current());
  EXPECT_STREQ(out, "crs-id");
  dbf_set_keep_field_names(0);

  // Through the dispatcher, the column-name repair comes first.
  Table t;
  ASSERT_TRUE(create(&t, "n", TABTYPE_DBF, {{"2nd code", VALUE_CHAR, 5, 0}, {"crs-id", VALUE_INTEGER, 0, 0}}));
  close(&t);
  const std::string b = read("n.DBF");
  EXPECT_EQ(b.substr(32, 11), std::string("A2ND_CODE\0\0", 11));
  EXPECT_EQ(b.substr(64, 11), std::string("CRS_ID\0\0\0\0\0", 11));
}

TEST_F(drivers, CreateRefusesMemoAndTooManyFields) {
  for (int32_t type : {TABTYPE_DBF, TABTYPE_NATIVE}) {
    Table t;
    err_clear();
    EXPECT_FALSE(create(&t, "m", type, {{"a", VALUE_CHAR, 5, 0}, {"memo", VALUE_MEMO, 10, 0}}));
    EXPECT_EQ(codes(), std::vector<int>{497});
    fieldlist_free(t.fields, t.count);
    std::vector<std::string> names(251);
    std::vector<FieldSpec> many;
    for (size_t i = 0; i < names.size(); ++i) {
      names[i] = std::to_string(i);
      names[i].insert(0, 1, 'f');
      many.push_back({names[i].c_str(), VALUE_INTEGER, 0, 0});
    }
    err_clear();
    EXPECT_FALSE(create(&t, "m", type, many));
    EXPECT_EQ(codes(), std::vector<int>{877});
    fieldlist_free(t.fields, t.count);
    EXPECT_EQ(read("m.DBF") + read("m.DAT"), "");
    EXPECT_FALSE(file_exists(path("m.DBF").c_str(), 18));
    EXPECT_FALSE(file_exists(path("m.DAT").c_str(), 17));
  }
}

TEST_F(drivers, DbaseUpdateKeepsMemoBytes) {
  put("m.DBF", dbf_file({{"A", 'C', 3, 0}, {"NOTE", 'M', 10, 0}, {"B", 'N', 4, 0}},
                        {"abc0000000012  12", "def0000000099   7"}));
  Table t;
  ASSERT_TRUE(open(&t, "m.DBF", TABTYPE_DBF, {{"A", VALUE_CHAR, 3, 0}, {"B", VALUE_DECIMAL, 4, 0}}));
  EXPECT_EQ(tabtype_can_hold_memo(&t.storage), 1);
  ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 2));
  ASSERT_TRUE(tabtype_read_row(&t.storage, t.fields, 2));
  EXPECT_EQ(text_of(t.fields[0]), "def");
  EXPECT_EQ(t.fields[1].value.u.d, 7);
  set_text(&t.fields[0], "xyz");
  t.fields[1].value.u.d = 31;
  ASSERT_TRUE(tabtype_update_row(&t.storage, t.fields, 1));
  int32_t n = 0;
  ASSERT_TRUE(tabtype_insert_row(&t.storage, t.fields, &n));
  EXPECT_EQ(n, 3);
  ASSERT_TRUE(tabtype_end_access(&t.storage));
  close(&t);
  const std::string b = read("m.DBF");
  const size_t header = 32 * 3 + 33;
  EXPECT_EQ(b.substr(header), " xyz0000000012  31 def0000000099   7 xyz            31\x1A");
  EXPECT_EQ(u32(b, 4), 3u);
}

TEST_F(drivers, DbaseTextFormsRead) {
  // Logical: T and Y (either case) are true, anything else false; a date of
  // blanks or of a part that is no number is null; numbers may be blank.
  put("f.DBF", dbf_file({{"L", 'L', 1, 0}, {"D", 'D', 8, 0}, {"N", 'N', 5, 1}, {"T", 'C', 9, 0}},
                        {"y20070305  1.5120000000", "?         -2.5 10000000", "T2007x305     235959999",
                         "n00000000  0.0         "}));
  Table t;
  ASSERT_TRUE(open(&t, "f.DBF", TABTYPE_DBF,
                   {{"L", VALUE_LOGICAL, 1, 0}, {"D", VALUE_DATE, 8, 0}, {"N", VALUE_DECIMAL, 5, 1},
                    {"T", VALUE_TIME, 9, 0}}));
  ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 1));
  const struct {
    uint8_t logical;
    int32_t date;  // yyyymmdd, 0 for null
    double number;
    int32_t time;  // hhmmssfff, -1 for null
  } kExpected[] = {{1, 20070305, 1.5, 120000000}, {0, 0, -2.5, 10000000}, {1, 0, 0, 235959999}, {0, 0, 0, -1}};
  for (int32_t n = 1; n <= 4; ++n) {
    SCOPED_TRACE(n);
    const auto& e = kExpected[n - 1];
    ASSERT_TRUE(tabtype_read_row(&t.storage, t.fields, n));
    EXPECT_EQ(t.fields[0].value.u.b, e.logical);
    if (e.date == 0) { EXPECT_TRUE(date_is_empty(&t.fields[1].value.u.date)); } else { EXPECT_EQ(date_to_int(&t.fields[1].value.u.date), e.date); }
    EXPECT_EQ(t.fields[2].value.u.d, e.number);
    if (e.time < 0) { EXPECT_TRUE(time_is_null(&t.fields[3].value.u.time)); } else { EXPECT_EQ(time_to_int(&t.fields[3].value.u.time), e.time); }
  }
  tabtype_end_access(&t.storage);
  close(&t);
}

TEST_F(drivers, DefinitionsPairWithFiles) {
  put("p.DBF", dbf_file({{"C", 'C', 9, 0}, {"I", 'N', 11, 0}, {"F", 'N', 19, 9}}, {}));
  const struct {
    std::vector<FieldSpec> fields;
    bool opens;
  } kCases[] = {
      {{{"C", VALUE_CHAR, 9, 0}, {"I", VALUE_INTEGER, 0, 0}, {"F", VALUE_FLOAT, 0, 0}}, true},
      {{{"C", VALUE_TIME, 0, 0}, {"I", VALUE_DECIMAL, 11, 0}, {"F", VALUE_DECIMAL, 19, 9}}, true},
      {{{"C", VALUE_CHAR, 8, 0}, {"I", VALUE_INTEGER, 0, 0}, {"F", VALUE_FLOAT, 0, 0}}, false},
      {{{"C", VALUE_CHAR, 9, 0}, {"I", VALUE_SMALLINT, 0, 0}, {"F", VALUE_FLOAT, 0, 0}}, false},
      {{{"C", VALUE_CHAR, 9, 0}, {"I", VALUE_DECIMAL, 10, 0}, {"F", VALUE_FLOAT, 0, 0}}, false},
      {{{"C", VALUE_CHAR, 9, 0}, {"I", VALUE_INTEGER, 0, 0}}, false},
  };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    Table t;
    err_clear();
    const bool ok = open(&t, "p.DBF", TABTYPE_DBF, kCases[i].fields);
    EXPECT_EQ(ok, kCases[i].opens) << i;
    if (!ok) { EXPECT_EQ(codes(), std::vector<int>{386}) << i; }
    close(&t);
  }
}

TEST_F(drivers, NativeOpenGrowsCharBuffersAndReadsLogicalAsStored) {
  Table t;
  ASSERT_TRUE(create(&t, "g", TABTYPE_NATIVE, {{"s", VALUE_CHAR, 12, 0}, {"l", VALUE_LOGICAL, 1, 0}}));
  ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 2));
  set_text(&t.fields[0], "twelve chars");
  int32_t n = 0;
  ASSERT_TRUE(tabtype_insert_row(&t.storage, t.fields, &n));
  ASSERT_TRUE(tabtype_end_access(&t.storage));
  close(&t);
  std::string b = read("g.DAT");
  b[b.size() - 2] = 2;  // the Logical byte of the one record
  put("g.DAT", b);
  // A definition narrower than the file takes the file's width.
  Table r;
  ASSERT_TRUE(open(&r, "g.DAT", TABTYPE_NATIVE, {{"s", VALUE_CHAR, 4, 0}, {"l", VALUE_LOGICAL, 1, 0}}));
  EXPECT_EQ(r.fields[0].width, 12);
  ASSERT_TRUE(tabtype_begin_access(nullptr, &r.storage, 1));
  ASSERT_TRUE(tabtype_read_row(&r.storage, r.fields, 1));
  EXPECT_EQ(text_of(r.fields[0]), "twelve chars");
  EXPECT_EQ(r.fields[1].value.u.b, 2);
  tabtype_end_access(&r.storage);
  close(&r);
}

TEST_F(drivers, NativeFloatInANumericFieldIsItsText) {
  // A foreign native file may keep a Float in a numeric field narrower
  // than a double: it is read and written as fixed-point text.
  put("n.DAT", dbf_file({{"I", 'C', 4, 0}, {"F", 'N', 5, 1}}, {std::string("\x07\0\0\0  1.5", 9)}));
  Table t;
  ASSERT_TRUE(open(&t, "n.DAT", TABTYPE_NATIVE, {{"I", VALUE_INTEGER, 0, 0}, {"F", VALUE_FLOAT, 0, 0}}));
  ASSERT_TRUE(tabtype_begin_access(nullptr, &t.storage, 2));
  ASSERT_TRUE(tabtype_read_row(&t.storage, t.fields, 1));
  EXPECT_EQ(t.fields[0].value.u.i, 7);
  EXPECT_EQ(t.fields[1].value.u.d, 1.5);
  t.fields[1].value.u.d = -2.5;
  ASSERT_TRUE(tabtype_update_row(&t.storage, t.fields, 1));
  ASSERT_TRUE(tabtype_end_access(&t.storage));
  close(&t);
  EXPECT_EQ(read("n.DAT").substr(32 * 2 + 33), std::string(" \x07\0\0\0 -2.5\x1A", 11));
}

TEST_F(drivers, ShapefileModeWidensDecimals) {
  put("s.dbf", dbf_file({{"AREA", 'N', 10, 3}, {"LEN", 'N', 19, 11}, {"ID", 'N', 6, 0}},
                        {"   123.456      1.00000000000     7"}));
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_DBF;
  typeopts_init(&t->storage.options, TABTYPE_DBF);
  std::get<NativeOptions>(t->storage.options).shapefile = 1;
  ASSERT_TRUE(tabtype_read_fields(path("s.dbf").c_str(), t));
  ASSERT_EQ(t->field_count, 3);
  const struct {
    const char* name;
    uint8_t type, width, decimals;
  } kExpected[] = {{"Area", VALUE_DECIMAL, 14, 3}, {"Len", VALUE_FLOAT, 19, 11}, {"Id", VALUE_DECIMAL, 6, 0}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(t->fields[i].name, kExpected[i].name);
    EXPECT_EQ(t->fields[i].value.type, kExpected[i].type) << i;
    EXPECT_EQ(t->fields[i].width, kExpected[i].width) << i;
    EXPECT_EQ(t->fields[i].decimals, kExpected[i].decimals) << i;
  }
  tabtype_close(&t->storage, nullptr);
  // The described fields open the file in shapefile mode and read it.
  ASSERT_TRUE(tabtype_open(path("s.dbf").c_str(), 0, &t->storage, TABTYPE_DBF, &t->field_count, &t->fields));
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1));
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 1));
  EXPECT_DOUBLE_EQ(t->fields[0].value.u.d, 123.456);
  EXPECT_DOUBLE_EQ(t->fields[1].value.u.d, 1.0);
  EXPECT_DOUBLE_EQ(t->fields[2].value.u.d, 7);
  tabtype_end_access(&t->storage);
  tabdef_free(t);
}

TEST_F(drivers, DescribeRefusesUnknownLetters) {
  put("u.DBF", dbf_file({{"A", 'C', 3, 0}, {"B", 'X', 2, 0}}, {}));
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_DBF;
  EXPECT_FALSE(tabtype_read_fields(path("u.DBF").c_str(), t));
  EXPECT_EQ(codes(), std::vector<int>{721});
  EXPECT_EQ(t->field_count, 0);
  EXPECT_EQ(t->storage.data_file, 0);
  tabdef_free(t);
}

TEST_F(drivers, RegisterTableWritesDescribedNames) {
  put("t.dbf", dbf_file({{"CODE", 'C', 4, 0}, {"code", 'N', 5, 0}, {"WHEN", 'D', 8, 0}},
                        {"ab     1220070305", "cd    -3        "}));
  const std::string stmt = "Register Table \"" + path("t.dbf") + "\" Type DBF Charset \"WindowsLatin1\"";
  ASSERT_TRUE(stmt_exec_command(stmt.c_str(), 0)) << err_first_code();
  const std::string tab = read("t.TAB");
  EXPECT_NE(tab.find("  Type DBF Charset \"WindowsLatin1\"\r\n"), std::string::npos) << tab;
  EXPECT_NE(tab.find("    Code Char (4) ;\r\n    Code_2 Decimal (5, 0) ;\r\n    When Date ;\r\n"), std::string::npos)
      << tab;
}

TEST_F(drivers, RegisteredShapefileWidensDecimals) {
  put("s.dbf", dbf_file({{"AREA", 'N', 10, 3}, {"LEN", 'N', 19, 11}}, {"   123.456      1.00000000000"}));
  const std::string stmt = "Register Table \"" + path("s.dbf") +
                           "\" Type SHAPEFILE Charset \"WindowsLatin1\" CoordSys Earth Projection 1, 104";
  ASSERT_TRUE(stmt_exec_command(stmt.c_str(), 0)) << err_first_code();
  const std::string tab = read("s.TAB");
  EXPECT_NE(tab.find("    Area Decimal (14, 3) ;\r\n    Len Float ;\r\n"), std::string::npos) << tab;
  EXPECT_NE(tab.find("Type SHAPEFILE"), std::string::npos) << tab;
}

}  // namespace
