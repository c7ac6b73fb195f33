// Lotus worksheets through tabdump and the table-type dispatch: WKS, WK1
// and WK3 files from our writer, ranges and title rows, number formats,
// SMALLNUM and 80-bit numbers, Lotus dates, refused files; and the scratch
// table type. Expected texts are worked out from the source values.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>

#include "kernel/drivers/wks.h"
#include "kernel/runtime/err.h"
#include "sheet_fixture.h"

using namespace sheetgen;

namespace {

constexpr uint8_t kDefault = 0x7F, kFixed2 = 0x02, kDate = 0x72;

// Active range A1..D20, two title rows, default width 9.
Bytes wk1(bool wide_b = false, uint16_t version = 0x0406) {
  Lotus l;
  l.bof1(version);
  l.range1(0, 0, 3, 19);
  l.window1(9, 0, 2);
  if (wide_b) l.colw1(1, 20);
  l.name1("DATA", 0, 2, 1, 4);
  l.name1("NOEND", 0, 2, 1, 4, false);
  l.label1(kDefault, 0, 0, "Title");
  l.label1(kDefault, 0, 1, "Name"), l.number1(kDefault, 1, 1, 2.5), l.label1(kDefault, 2, 1, "Day"),
      l.label1(kDefault, 3, 1, "Note");
  l.integer1(kDefault, 0, 2, 5), l.number1(kFixed2, 1, 2, 2.25), l.integer1(kDate, 2, 2, 61), l.label1(kDefault, 3, 2, "x");
  const std::string fs = "fs";
  l.integer1(kDefault, 0, 3, -3), l.number1(kFixed2, 1, 3, 1.5), l.number1(kDate, 2, 3, 59.9),
      l.formula1(kDefault, 3, 3, 0, &fs);
  Bytes err;
  put64(err, 0xFFF0000000000001ull);  // the ERR value: an all-ones exponent
  Bytes rec = l.head1(kFixed2, 1, 4);
  rec.insert(rec.end(), err.begin(), err.end());
  l.integer1(kDefault, 0, 4, 7), l.rec(0x000E, rec), l.number1(kDate, 2, 4, 60), l.label1(kDefault, 3, 4, "y");
  l.eof();
  return l.s;
}

std::string empty_rows(int n, const char* row) {
  std::string s;
  for (int i = 0; i < n; ++i) s += row;
  return s;
}

// Sheets A and B (active range A:A1..B:D5); sheet B: dates by row format,
// SMALLNUM, 80-bit numbers (NaN, beyond range, denormal), texts.
Bytes wk3(bool password = false) {
  Lotus l;
  l.bof3(0, 0, 0, 4, 1, 3);
  if (password) l.password3();
  l.window3(0, 0, 10);
  l.colwidths3(1, {{2, 12}});
  l.name3("DATA", 0, 1, 1, 1, 1, 2);
  l.name3("BOTH", 0, 0, 0, 1, 1, 1);
  l.default_format3(1, kDefault);
  l.row_format3(1, 0, {{kDate, 1}, {kDefault, 3}});
  for (uint16_t r = 1; r <= 3; ++r) {
    Bytes d;
    put8(d, 1), put8(d, 2), put16(d, r), put16(d, 1), put16(d, 0);  // row r reuses row 0's runs
    l.rec(0x0013, d);
  }
  l.label3(0, 0, 0, "onA");
  const std::string fs = "fs";
  l.number3(0, 1, 0, ext80(61)), l.smallnum3(0, 1, 1, 49), l.smallnum3(0, 1, 2, 246), l.label3(0, 1, 3, "T1");
  l.number3(1, 1, 0, ext80(59)), l.number3(1, 1, 1, ext80(-2.75)), l.number3(1, 1, 2, ext80_raw(0xC000000000000000ull, 0x7FFF)),
      l.formula3(1, 1, 3, ext80(0), &fs);
  l.number3(2, 1, 0, ext80(60)), l.number3(2, 1, 1, ext80(1e10)), l.number3(2, 1, 2, ext80_raw(1ull << 63, 16383 + 2000)),
      l.label3(2, 1, 3, "lab");
  l.smallnum3(3, 1, 0, 246), l.number3(3, 1, 1, ext80_raw(1, 0));
  l.eof();
  return l.s;
}

class drivers_wks : public SheetTest {};

TEST_F(drivers_wks, Wk1RangesTitleRowsAndFormats) {
  write("t.wk1", wk1());
  // No range: the active range from the third row (two title rows).
  const std::string head = "A Smallint 9 0\nB Decimal 10 2\nC Date 10 0\nD Char 9 0\n--\n";
  const std::string rows = "5|2.25|1900-03-01|x\n-3|1.5|1900-02-28|fs\n7|0|1900-02-28|y\n";
  EXPECT_EQ(dump("wks", "t.wk1").out, head + rows + empty_rows(15, "0|0||\n"));
  // Titles from the row above the range; a number title reads "%g".
  EXPECT_EQ(dump("wks", "t.wk1", "", true).out,
            "Name Smallint 9 0\n_2_5 Decimal 10 2\nDay Date 10 0\nNote Char 9 0\n--\n" + rows + empty_rows(15, "0|0||\n"));
  // References in both forms, a named range; an unterminated name is no name.
  const std::string c3 = dump("wks", "t.wk1", "C3..D5").out;
  EXPECT_EQ(c3, "C Date 10 0\nD Char 9 0\n--\n1900-03-01|x\n1900-02-28|fs\n1900-02-28|y\n");
  EXPECT_EQ(dump("wks", "t.wk1", "C3:D5").out, c3);
  EXPECT_EQ(dump("wks", "t.wk1", "DATA").out, "A Smallint 9 0\nB Decimal 10 2\n--\n5|2.25\n-3|1.5\n7|0\n");
  EXPECT_EQ(dump("wks", "t.wk1", "NOEND").err.substr(0, 10), "error 528\n");
  EXPECT_EQ(dump("wks", "t.wk1", "D5:C3").err.substr(0, 10), "error 529\n");
  EXPECT_EQ(dump("wks", "t.wk1", "A1:IQ1").err.substr(0, 10), "error 529\n");
  // A Decimal column as wide as 20 becomes Float.
  write("w.wk1", wk1(true));
  EXPECT_EQ(dump("wks", "w.wk1", "B3:B4").out, "B Float 1 0\n--\n2.25\n1.5\n");
  // WKS reads as WK1 does.
  write("t.wks", wk1(false, 0x0404));
  EXPECT_EQ(dump("wks", "t.wks", "C3:D5").out, c3);
}

TEST_F(drivers_wks, Wk3SheetsNumbersAndDates) {
  write("t.wk3", wk3());
  const std::string want =
      "A Date 10 0\nB Float 10 0\nC Float 12 0\nD Char 10 0\n--\n"
      "1900-03-01|15000|123|T1\n1900-02-28|-2.75|0|fs\n1900-02-28|10000000000|0|lab\n1900-05-02|0|0|\n|0|0|\n";
  EXPECT_EQ(dump("wks", "t.wk3", "B:A1..B:D5").out, want);
  EXPECT_EQ(dump("wks", "t.wk3", "b:A1:D5").out, want);
  EXPECT_EQ(dump("wks", "t.wk3", "Entire Worksheet B").out, want);
  EXPECT_EQ(dump("wks", "t.wk3", "DATA").out, "B Float 10 0\nC Float 12 0\n--\n15000|123\n-2.75|0\n");
  for (const char* r : {"A:A1..B:C5", "BOTH"}) EXPECT_EQ(dump("wks", "t.wk3", r).err.substr(0, 10), "error 584\n") << r;
  // The default range: the active range's first sheet, A.
  EXPECT_EQ(dump("wks", "t.wk3").out.substr(0, 12), "A Char 10 0\n");
}

TEST_F(drivers_wks, RefusedFiles) {
  write("p.wk3", wk3(true));
  write("t.wk1", Bytes{'h', 'i', '\n'});
  Bytes cut = wk1();
  cut.resize(cut.size() / 2);
  write("cut.wk1", cut);
  for (const auto& [file, code] : {std::pair{"p.wk3", "error 876\n"}, std::pair{"t.wk1", "error 522\n"}}) {
    const DumpRun d = dump("wks", file);
    EXPECT_EQ(d.exit_code, 1) << file;
    EXPECT_EQ(d.err.substr(0, 10), code) << file;
  }
  // A stream cut short still reads what it holds.
  EXPECT_EQ(dump("wks", "cut.wk1", "A3:A3").exit_code, 0);
  // A definition of three fields on a four-column range.
  write("t4.wk1", wk1());
  EXPECT_EQ(open(TABTYPE_WKS, "t4.wk1", "A3:D5", false, 3), nullptr);
  EXPECT_EQ(err_first_code(), 530);
}

TEST_F(drivers_wks, Ext80AndSerials) {
  struct Case {
    Bytes bytes;
    bool ok;
    double value;
  } cases[] = {
      {ext80(1), true, 1},
      {ext80(-2.75), true, -2.75},
      {ext80(1e10), true, 1e10},
      {ext80(0), true, 0},
      {ext80_raw(1, 0), true, 0},                           // denormal: below the double range, 0
      {ext80_raw(0x8000000000000001ull, 16383), true, 1},   // rounds to 53 bits
      {ext80_raw(0xC000000000000000ull, 0x7FFF), false, 0}, // NaN
      {ext80_raw(0x8000000000000000ull, 0x7FFF), false, 0}, // infinity
      {ext80_raw(1ull << 63, 16383 + 1024), false, 0},      // beyond the double range
      {ext80_raw(1ull << 63, 16383 - 1074), true, 4.9406564584124654e-324},
  };
  for (const Case& c : cases) {
    double d = -1;
    EXPECT_EQ(ext80_to_double(c.bytes.data(), &d), c.ok) << c.value;
    if (c.ok) {
      EXPECT_EQ(d, c.value);
    }
  }
  struct Serial {
    int32_t serial;
    int y, m, d;
  } serials[] = {{1, 1900, 1, 1}, {59, 1900, 2, 28}, {60, 1900, 2, 28}, {61, 1900, 3, 1}, {36525, 1999, 12, 31}, {36526, 2000, 1, 1}};
  for (const Serial& s : serials) {
    const Date d = lotus_serial_to_date(s.serial);
    EXPECT_EQ(d.year, s.y) << s.serial;
    EXPECT_EQ(d.month, s.m) << s.serial;
    EXPECT_EQ(d.day, s.d) << s.serial;
  }
}

TEST_F(drivers_wks, ColumnMerge) {
  struct Case {
    int32_t column, cell, result;
  } cases[] = {
      {0, 0, 0},
      {0, VALUE_DECIMAL, VALUE_DECIMAL},        {VALUE_SMALLINT, VALUE_DECIMAL, VALUE_DECIMAL},
      {VALUE_CHAR, VALUE_DECIMAL, VALUE_CHAR},  {VALUE_FLOAT, VALUE_DECIMAL, VALUE_FLOAT},
      {0, VALUE_SMALLINT, VALUE_SMALLINT},      {VALUE_DATE, VALUE_SMALLINT, VALUE_CHAR},
      {VALUE_FLOAT, VALUE_SMALLINT, VALUE_FLOAT}, {VALUE_DECIMAL, VALUE_SMALLINT, VALUE_DECIMAL},
      {0, VALUE_DATE, VALUE_DATE},              {VALUE_FLOAT, VALUE_DATE, VALUE_CHAR},
      {VALUE_DECIMAL, VALUE_FLOAT, VALUE_FLOAT}, {VALUE_CHAR, VALUE_FLOAT, VALUE_CHAR},
      {VALUE_DATE, VALUE_CHAR, VALUE_CHAR},
  };
  for (const Case& c : cases) EXPECT_EQ(wks_merge_column_type(c.column, c.cell), c.result) << c.column << " " << c.cell;
}

// The scratch type: a native data file that describe refuses and close
// deletes.
TEST_F(drivers_wks, ScratchTables) {
  FieldDef* fields = fieldlist_new(2);
  ASSERT_NE(fields, nullptr);
  std::strcpy(fields[0].name, "n"), value_init(&fields[0].value, VALUE_INTEGER, nullptr);
  std::strcpy(fields[1].name, "s"), fields[1].width = 8, value_init(&fields[1].value, VALUE_CHAR, nullptr);
  StorageDesc s;
  ASSERT_TRUE(tabtype_create(dir_.c_str(), "scratch", -1, 0, &s, TABTYPE_FME, 2, fields, nullptr, 0));
  char data[kPathSize];
  file_get_path(s.data_file, data);
  struct stat st;
  ASSERT_EQ(stat(data, &st), 0) << data;
  ASSERT_TRUE(tabtype_begin_access(nullptr, &s, 2));
  for (int32_t i = 1; i <= 3; ++i) {
    fields[0].value.u.i = 10 * i;
    char text[8];
    std::snprintf(text, sizeof text, "r%d", i);
    std::strcpy(value_text_ptr(&fields[1].value, nullptr), text);
    int32_t id = 0;
    ASSERT_TRUE(tabtype_insert_row(&s, fields, &id));
    EXPECT_EQ(id, i);
  }
  for (int32_t i = 3; i >= 1; --i) {
    ASSERT_TRUE(tabtype_read_row(&s, fields, i));
    EXPECT_EQ(fields[0].value.u.i, 10 * i);
    EXPECT_EQ(std::string(value_text_ptr(&fields[1].value, nullptr)), "r" + std::to_string(i));
  }
  ASSERT_TRUE(tabtype_end_access(&s));
  tabtype_close(&s, fields);
  EXPECT_NE(stat(data, &st), 0) << "the scratch data file stays";
  fieldlist_free(fields, 2);
  // Describe is refused.
  put("other.DAT", "x");
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_FME;
  EXPECT_EQ(tabtype_read_fields(path("other.DAT").c_str(), t), 0);
  tabdef_free(t);
}

}  // namespace
