// Excel workbooks through tabdump and the table-type dispatch: workbooks
// written by our BIFF writer (BIFF2 to BIFF8, raw and in a container),
// ranges, names, formats and dates, the range errors and bad files. The
// expected texts are worked out by hand from the source values and the
// workbook rules (dates: python's datetime as a second reckoning).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kernel/drivers/biff.h"
#include "kernel/drivers/xls.h"
#include "kernel/runtime/err.h"
#include "platform/cfb.h"
#include "sheet_fixture.h"

using namespace sheetgen;

namespace {

// XF indexes of the test workbooks.
constexpr uint16_t kPlain = 0, kFiveZero = 1, kIsoDate = 2, kBuiltinDate = 3, kTime = 4, kDateTime = 5;

void globals(Biff& b, bool date1904) {
  if (b.v == 8) b.u16rec(0x0042, 1200);
  else b.u16rec(0x0042, 1252);
  if (date1904) b.u16rec(0x0022, 1);
  b.format(164, "00000");
  b.format(165, "yyyy-mm-dd");
  for (uint16_t f : {0, 164, 165, 14, 20, 22}) b.xf(f);
}

void text(Biff& b, uint16_t row, uint16_t col, const std::string& s) {
  if (b.v == 8) b.label8(row, col, kPlain, std::u16string(s.begin(), s.end()));
  else b.label(row, col, kPlain, s);
}

// The name Data = Second!$B$2:$C$4 as a 3-D area.
Bytes data_formula(int v) {
  Bytes f;
  put8(f, 0x3B);
  if (v == 8) {
    put16(f, 1), put16(f, 1), put16(f, 3), put16(f, 1 | 0xC000), put16(f, 2 | 0xC000);
  } else {
    put16(f, 0xFFFF);
    f.resize(11, 0);
    put16(f, 1), put16(f, 1), put16(f, 1 | 0xC000), put16(f, 3 | 0xC000), put8(f, 1), put8(f, 2);
  }
  return f;
}

// A 3-D area on one sheet (BIFF8: REF entry = sheet index).
Bytes area3d(int v, uint16_t sheet_index, uint16_t r0, uint16_t r1, uint16_t c0, uint16_t c1) {
  Bytes f;
  put8(f, 0x3B);
  if (v == 8) {
    put16(f, sheet_index), put16(f, r0), put16(f, r1), put16(f, c0), put16(f, c1);
  } else {
    put16(f, 0xFFFF);
    f.resize(11, 0);
    put16(f, sheet_index), put16(f, sheet_index), put16(f, r0), put16(f, r1), put8(f, c0), put8(f, c1);
  }
  return f;
}

// Two sheets: First (titles, text, numbers, dates) and Second (a five-zero
// column, MULRK, MULBLANK, non-Latin text); names Data, Alias (= Data),
// Both (a union over the two sheets) and Head (a 2-D area).
Bytes two_sheet_book(int v, bool date1904 = false) {
  return workbook(
      v,
      [&](Biff& b) {
        globals(b, date1904);
        if (v == 8) {
          b.supbook_internal(2);
          b.externsheet({{0, 0, 0}, {0, 1, 1}});
          b.sst({u"plum", u"kiwi"});
        }
        b.name("Data", data_formula(v));
        Bytes alias;
        put8(alias, 0x23), put16(alias, 1), alias.resize(v == 8 ? 5 : 15, 0);
        b.name("Alias", alias);
        Bytes both = area3d(v, 0, 0, 1, 0, 1);
        const Bytes second = area3d(v, 1, 0, 1, 0, 1);
        both.insert(both.end(), second.begin(), second.end());
        put8(both, 0x10);
        b.name("Both", both);
        // Head = A1:C1 of the first sheet as a 2-D area (value class).
        Bytes head;
        put8(head, 0x45);
        if (v == 8) put16(head, 0), put16(head, 0), put16(head, 0), put16(head, 2);
        else put16(head, 0), put16(head, 0), put8(head, 0), put8(head, 2);
        b.name("Head", head);
      },
      {{"First",
        [&](Biff& b) {
          b.dimensions(0, 4, 0, 3);
          text(b, 0, 0, "Name"), text(b, 0, 1, "Qty"), text(b, 0, 2, "When");
          text(b, 1, 0, "apple"), b.number(1, 1, kPlain, 3), b.number(1, 2, kIsoDate, 45000);
          text(b, 2, 0, "pear"), b.rk(2, 1, kPlain, rk_int(150, true)), b.rk(2, 2, kIsoDate, rk_int(45001));
          if (v == 8) b.labelsst(3, 0, kPlain, 0);
          else text(b, 3, 0, "plum");
          b.formula_number(3, 1, kPlain, 7.25), b.blank(3, 2, kPlain);
        }},
       {"Second", [&](Biff& b) {
          b.dimensions(0, 5, 0, 4);
          text(b, 0, 1, "Code"), text(b, 0, 2, "Amount");
          b.mulrk(1, 1, {{kFiveZero, rk_int(123)}, {kPlain, rk_double(2.5)}});
          b.number(2, 1, kFiveZero, 12345), b.rk(2, 2, kPlain, rk_int(-7));
          b.rk(3, 1, kFiveZero, rk_int(0)), b.mulblank(3, 2, 2, kPlain);
          if (v == 8) b.label8(4, 0, kPlain, u"\u041f\u0440\u0438\u0432\u0435\u0442 \u00e9");
          else b.label(4, 0, kPlain, "Gr\xfc\xdf" "e");
          b.number(4, 1, kBuiltinDate, 0), b.number(4, 2, kDateTime, 61.25), b.number(4, 3, kTime, 0.5);
        }}});
}

class drivers_xls : public SheetTest {};

const char* kFirstTitled =
    "Name Char 5 0\nQty Float 10 0\nWhen Date 10 0\n--\n"
    "apple|3|2023-03-15\npear|1.5|2023-03-16\nplum|7.25|\n";
const char* kData = "B Char 5 0\nC Float 10 0\n--\n00123|2.5\n12345|-7\n0|0\n";

TEST_F(drivers_xls, RangesOfBiff5AndBiff8Workbooks) {
  for (int v : {5, 8}) {
    SCOPED_TRACE(v);
    write("book.xls", two_sheet_book(v));
    EXPECT_EQ(dump("xls", "book.xls", "First!A2:C4", true).out, kFirstTitled);
    EXPECT_EQ(dump("xls", "book.xls", "first!a2:c4", true).out, kFirstTitled);
    EXPECT_EQ(dump("xls", "book.xls", "A2..C4", true).out, kFirstTitled);
    // A sheet prefix needs the ":" form.
    EXPECT_EQ(dump("xls", "book.xls", "First!A2..C4").err.substr(0, 10), "error 528\n");
    // The name, the name through a name, the reference: the same rows.
    EXPECT_EQ(dump("xls", "book.xls", "Data").out, kData);
    EXPECT_EQ(dump("xls", "book.xls", "alias").out, kData);
    EXPECT_EQ(dump("xls", "book.xls", "Second!B2:C4").out, kData);
    EXPECT_EQ(dump("xls", "book.xls", "HEAD").out, "A Char 4 0\nB Char 3 0\nC Char 4 0\n--\nName|Qty|When\n");
    EXPECT_EQ(dump("xls", "book.xls", "Second!B2:C4", true).out,
              "Code Char 5 0\nAmount Float 10 0\n--\n00123|2.5\n12345|-7\n0|0\n");
    // "Entire Worksheet <sheet>" and the default range (the first sheet's
    // used area, A1:C4): text makes the columns Char, as wide as their
    // widest cell (a number or a date 10); dates read as their plain text.
    EXPECT_EQ(dump("xls", "book.xls", "Entire Worksheet Second").out.substr(0, 50),
              std::string(v == 8 ? "A Char 8 0" : "A Char 5 0") + "\nB Char 10 0\nC Char 22 0\nD Time 11 0\n--\n");
    const DumpRun d = dump("xls", "book.xls");
    EXPECT_EQ(d.out,
              "A Char 5 0\nB Char 10 0\nC Char 10 0\n--\nName|Qty|When\napple|3|20230315\npear|1.5|20230316\nplum|7.25|\n");
    // One cell.
    EXPECT_EQ(dump("xls", "book.xls", "B3").out, "B Float 10 0\n--\n1.5\n");
  }
}

TEST_F(drivers_xls, FiveZeroDatesAndTimes) {
  write("book.xls", two_sheet_book(8));
  EXPECT_EQ(dump("xls", "book.xls", "Second!B5:D5").out,
            "B Date 10 0\nC DateTime 22 0\nD Time 11 0\n--\n1899-12-30|1900-03-01 06:00:00.000|12:00:00.000\n");
  write("book1904.xls", two_sheet_book(8, true));
  EXPECT_EQ(dump("xls", "book1904.xls", "Second!B5:B5").out, "B Date 10 0\n--\n1904-01-01\n");
  EXPECT_EQ(dump("xls", "book1904.xls", "First!C2:C2").out, "C Date 10 0\n--\n2027-03-16\n");
}

TEST_F(drivers_xls, SerialDays) {
  struct Case {
    double serial;
    bool y1904;
    const char* date;
    int h, m, s, ms;
  } cases[] = {
      {61, false, "1900-03-01", 0, 0, 0, 0},   {1, false, "1899-12-31", 0, 0, 0, 0},
      {0, true, "1904-01-01", 0, 0, 0, 0},     {0.5, false, "1899-12-30", 12, 0, 0, 0},
      {13.0 / 1440, false, "1899-12-30", 0, 13, 0, 0}, {45000.999999999, false, "2023-03-16", 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    DateTime dt;
    serial_to_datetime(c.serial, c.y1904, &dt);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", dt.date.year, dt.date.month, dt.date.day);
    EXPECT_STREQ(text, c.date) << c.serial;
    EXPECT_EQ(dt.time.hour, c.h) << c.serial;
    EXPECT_EQ(dt.time.minute, c.m) << c.serial;
    EXPECT_EQ(dt.time.second, c.s) << c.serial;
    EXPECT_EQ(dt.time.ms, c.ms) << c.serial;
  }
  // Every second of a day reads back whole.
  for (int s = 0; s < 86400; ++s) {
    DateTime dt;
    serial_to_datetime(s / 86400.0, false, &dt);
    ASSERT_EQ(dt.time.hour * 3600 + dt.time.minute * 60 + dt.time.second, s) << s;
    ASSERT_EQ(dt.time.ms, 0) << s;
  }
}

TEST_F(drivers_xls, FormatKinds) {
  struct Case {
    const char* format;
    uint8_t kind;
  } cases[] = {{"00000", XLS_KIND_FIVE_ZERO}, {"0000", XLS_KIND_PLAIN},  {"000000", XLS_KIND_PLAIN},
               {"yyyy-mm-dd", XLS_KIND_DATE}, {"h:mm", XLS_KIND_TIME},   {"d/m/yy h:mm", XLS_KIND_DATETIME},
               {"\"day\"0", XLS_KIND_PLAIN},  {"[Red]0", XLS_KIND_PLAIN}, {"\\d0", XLS_KIND_PLAIN},
               {"mm", XLS_KIND_PLAIN},        {"General", XLS_KIND_PLAIN}};
  for (const Case& c : cases) {
    const std::string f = c.format;
    EXPECT_EQ(xls_format_kind(std::u32string(f.begin(), f.end())), c.kind) << c.format;
  }
}

TEST_F(drivers_xls, RangeAndFileErrors) {
  write("book.xls", two_sheet_book(8));
  struct Case {
    const char* range;
    const char* err;
  } cases[] = {{"Sheet9!A1:B2", "error 528\n"}, {"A1:IQ1", "error 529\n"}, {"B10:B2", "error 732\n"},
               {"Both", "error 528\n"},         {"nonsense", "error 528\n"}, {"A1:", "error 528\n"}};
  for (const Case& c : cases) {
    const DumpRun d = dump("xls", "book.xls", c.range);
    EXPECT_EQ(d.exit_code, 1) << c.range;
    EXPECT_EQ(d.err.substr(0, 10), c.err) << c.range;
  }
  EXPECT_EQ(dump("xls", "book.xls", "A1:IP1").exit_code, 0);
  // A three-field definition on a four-column range.
  EXPECT_EQ(open(TABTYPE_XLS, "book.xls", "Second!A2:D4", false, 3), nullptr);
  EXPECT_EQ(err_first_code(), 530);
  err_clear();
  // FILEPASS after WRITEPROT; a text file; a container without a workbook.
  Biff b(8);
  b.bof(0x0005), b.rec(0x0086, {}), b.rec(0x002F, Bytes(6, 0)), b.eof();
  write("locked.xls", b.s);
  write("text.xls", Bytes{'a', ',', 'b', '\n'});
  write("other.xls", container(b.s, "Other2"));
  for (const auto& [file, code] : {std::pair{"locked.xls", "error 876\n"}, std::pair{"text.xls", "error 521\n"},
                                   std::pair{"other.xls", "error 521\n"}}) {
    const DumpRun d = dump("xls", file);
    EXPECT_EQ(d.exit_code, 1) << file;
    EXPECT_EQ(d.err.substr(0, 10), code) << file;
  }
}

TEST_F(drivers_xls, ContainerReadsLikeTheRawStream) {
  for (int v : {5, 8}) {
    SCOPED_TRACE(v);
    const Bytes raw = two_sheet_book(v);
    write("raw.xls", raw);
    const std::string want = dump("xls", "raw.xls", "Data").out;
    ASSERT_EQ(want, kData);
    const char* stream = v == 8 ? "Workbook" : "Book";
    // Under the 4096-byte cutoff in the mini stream; padded past it (bytes
    // after the last sheet's EOF are never read) in regular sectors.
    Bytes padded = raw;
    padded.resize(5000, 0);
    for (int shift : {9, 12}) {
      write("cfb.xls", container(raw, stream, shift));
      EXPECT_EQ(dump("xls", "cfb.xls", "Data").out, want) << shift;
      write("cfb.xls", container(padded, stream, shift));
      EXPECT_EQ(dump("xls", "cfb.xls", "Data").out, want) << shift;
    }
  }
  // A large stream: regular sectors over several FAT sectors.
  const Bytes big = workbook(8, [](Biff& b) { globals(b, false); },
                             {{"S", [](Biff& b) {
                                 b.dimensions(0, 60000, 0, 1);
                                 for (uint16_t r = 0; r < 60000; ++r) b.number(r, 0, kPlain, r);
                               }}});
  write("big.xls", container(big, "Workbook"));
  const DumpRun d = dump("xls", "big.xls", "A59999:A60000");
  EXPECT_EQ(d.out, "A Float 10 0\n--\n59998\n59999\n");
}

TEST_F(drivers_xls, KeepWritesTheVersion) {
  struct Case {
    Bytes bytes;
    const char* version;
  } cases[] = {{two_sheet_book(8), "!version 450"},
               {two_sheet_book(5), "!version 300"},
               {worksheet(2, [](Biff& b) { b.dimensions(0, 1, 0, 1), b.number(0, 0, 0, 1); }), "!version 300"}};
  int k = 0;
  for (const Case& c : cases) {
    const std::string name = "k" + std::to_string(k++) + ".xls";
    write(name, c.bytes);
    const DumpRun d = tabdump("--type xls --keep '" + dir_ + "' '" + path(name) + "'");
    EXPECT_EQ(d.exit_code, 0) << d.err;
    const std::string tab = slurp(path(name.substr(0, name.size() - 4) + ".TAB"));
    EXPECT_NE(tab.find(c.version), std::string::npos) << tab;
  }
}

TEST_F(drivers_xls, OlderVersionsAndOddCells) {
  // BIFF2: formats by order, INTEGER, a string formula, BOOLERR; a cell
  // out of row order ends the cells (empty numbers read 0, logicals F).
  write("b2.xls", worksheet(2, [](Biff& b) {
          b.format(0, "General"), b.format(1, "00000"), b.format(2, "d-mmm-yy");
          b.dimensions(0, 3, 0, 4);
          b.integer(0, 0, 1, 42), b.integer(0, 1, 2, 61), b.number(0, 2, 0, 0.25), b.boolerr(0, 3, 0, 1, 0);
          b.formula_special(1, 0, 0, 0, 0), b.string_result("txt"), b.boolerr(1, 2, 0, 7, 1), b.boolerr(1, 3, 0, 0, 0);
          b.label(2, 0, 0, "late"), b.label(1, 1, 0, "early"), b.number(2, 2, 0, 5);
        }));
  EXPECT_EQ(dump("xls", "b2.xls").out,
            "A Char 5 0\nB Date 10 0\nC Float 10 0\nD Logical 1 0\n--\n00042|1900-03-01|0.25|T\ntxt||0|F\nlate||0|F\n");
  // BIFF3 and BIFF4: XF formats.
  for (int v : {3, 4}) {
    write("b34.xls", worksheet(v, [](Biff& b) {
            b.format(0, "General"), b.format(1, "yyyy");
            b.xf(0), b.xf(1);
            b.dimensions(0, 1, 0, 2);
            b.number(0, 0, 1, 366), b.formula_special(0, 1, 0, 1, 1);
          }));
    EXPECT_EQ(dump("xls", "b34.xls").out, "A Date 10 0\nB Logical 1 0\n--\n1900-12-31|T\n") << v;
  }
  // BIFF8: SST split by CONTINUE with width changes, a string formula,
  // BOOLERR error, an RSTRING, WRITEPROT.
  write("b8.xls", workbook(8,
                           [](Biff& b) {
                             b.rec(0x0086, {});
                             globals(b, false);
                             b.sst({u"abcdef", u"x\u0416yz", u"narrow"}, 1, 2, false);
                           },
                           {{"S", [](Biff& b) {
                               b.dimensions(0, 4, 0, 2);
                               b.labelsst(0, 0, 0, 0), b.labelsst(0, 1, 0, 1);
                               b.labelsst(1, 0, 0, 2), b.labelsst(1, 1, 0, 9);
                               b.formula_special(2, 0, 0, 0, 0), b.string_result("str"), b.boolerr(2, 1, 0, 0x07, 1);
                               b.label8(3, 0, 0, u"rich", true), b.formula_special(3, 1, 0, 2, 7);
                             }}}));
  EXPECT_EQ(dump("xls", "b8.xls").out, "A Char 6 0\nB Char 4 0\n--\nabcdef|x?yz\nnarrow|\nstr|\nrich|\n");
  // An 8-bit string continued in 16-bit characters.
  write("w.xls", workbook(8, [](Biff& b) { globals(b, false), b.sst({u"abcd\u00e9"}, 0, 2, true); },
                          {{"S", [](Biff& b) { b.dimensions(0, 1, 0, 1), b.labelsst(0, 0, 0, 0); }}}));
  EXPECT_EQ(dump("xls", "w.xls").out, "A Char 5 0\n--\nabcd\xe9\n");
}

TEST_F(drivers_xls, WorkbookCodePageAndUnicodeText) {
  cp_set_ansi_page(1251);
  charset_reset();
  ASSERT_EQ(charset_init_system(), 1);
  write("b8.xls", two_sheet_book(8));
  TableDef* t = open(TABTYPE_XLS, "b8.xls", "Second!A5:A5");
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 1));
  EXPECT_STREQ(value_text_ptr(&t->fields[0].value, nullptr), "\xcf\xf0\xe8\xe2\xe5\xf2 ?");
  // BIFF5 text in the workbook's code page 1251, current 1251: unchanged.
  write("b5.xls", workbook(5, [](Biff& b) { b.u16rec(0x0042, 1251), b.xf(0); },
                           {{"S", [](Biff& b) { b.dimensions(0, 1, 0, 1), b.label(0, 0, 0, "\xcf\xf0\xe8"); }}}));
  TableDef* u = open(TABTYPE_XLS, "b5.xls");
  ASSERT_NE(u, nullptr);
  ASSERT_TRUE(tabtype_read_row(&u->storage, u->fields, 1));
  EXPECT_STREQ(value_text_ptr(&u->fields[0].value, nullptr), "\xcf\xf0\xe8");
}

TEST_F(drivers_xls, EmptySheetsAndLargeSheets) {
  // The first sheet is empty: the default range is the second's area.
  write("e.xls", workbook(8, [](Biff& b) { globals(b, false); },
                          {{"Empty",
                            [](Biff& b) {
                              b.dimensions(0, 1, 0, 256);
                              Bytes row(16, 0);
                              b.rec(0x0208, row), b.rec(0x00D7, Bytes(4, 0));
                            }},
                           {"Full", [](Biff& b) { b.dimensions(2, 3, 1, 2), b.number(2, 1, 0, 9); }}}));
  EXPECT_EQ(dump("xls", "e.xls").out, "B Float 10 0\n--\n9\n");
  EXPECT_EQ(dump("xls", "e.xls", "Entire Worksheet Empty").err.substr(0, 10), "error 528\n");
  // 3,000 rows, read in order through tabdump.
  write("l.xls", workbook(8, [](Biff& b) { globals(b, false); },
                          {{"L", [](Biff& b) {
                              b.dimensions(0, 3000, 0, 2);
                              for (uint16_t r = 0; r < 3000; ++r) {
                                b.number(r, 0, 0, r * 0.5);
                                b.label8(r, 1, 0, u"r" + std::u16string(1, static_cast<char16_t>('a' + r % 26)));
                              }
                            }}}));
  std::string want = "A Float 10 0\nB Char 2 0\n--\n";
  for (int r = 0; r < 3000; ++r) {
    char line[64];
    std::snprintf(line, sizeof line, r % 2 ? "%d.5|r%c\n" : "%d|r%c\n", r / 2, 'a' + r % 26);
    want += line;
  }
  EXPECT_EQ(dump("xls", "l.xls").out, want);
}

TEST_F(drivers_xls, ColumnMerge) {
  struct Case {
    int32_t column, cell, result;
  } cases[] = {
      {0, 0, 0},
      {0, VALUE_INTEGER, VALUE_INTEGER},       {VALUE_SMALLINT, VALUE_INTEGER, VALUE_INTEGER},
      {VALUE_DATE, VALUE_INTEGER, VALUE_CHAR}, {VALUE_FLOAT, VALUE_INTEGER, VALUE_FLOAT},
      {VALUE_LOGICAL, VALUE_INTEGER, VALUE_LOGICAL}, {VALUE_INTEGER, VALUE_FLOAT, VALUE_FLOAT},
      {VALUE_CHAR, VALUE_FLOAT, VALUE_CHAR},   {0, VALUE_DATE, VALUE_DATE},
      {VALUE_TIME, VALUE_DATE, VALUE_DATETIME}, {VALUE_INTEGER, VALUE_DATE, VALUE_CHAR},
      {VALUE_DATE, VALUE_TIME, VALUE_DATETIME}, {VALUE_FLOAT, VALUE_TIME, VALUE_CHAR},
      {VALUE_TIME, VALUE_DATETIME, VALUE_DATETIME}, {VALUE_LOGICAL, VALUE_DATETIME, VALUE_CHAR},
      {0, VALUE_LOGICAL, VALUE_LOGICAL},       {VALUE_FLOAT, VALUE_LOGICAL, VALUE_CHAR},
      {VALUE_FLOAT, VALUE_CHAR_REF, VALUE_CHAR},
  };
  for (const Case& c : cases) EXPECT_EQ(xls_merge_column_type(c.column, c.cell), c.result) << c.column << " " << c.cell;
}

TEST_F(drivers_xls, BrokenContainersFail) {
  Bytes raw = two_sheet_book(8);
  raw.resize(5000, 0);
  const Bytes c = container(raw, "Workbook");
  // The stream's first sector pointing at itself: a cyclic chain.
  const size_t dir = 512 * (1 + (c[48] | (c[49] << 8)));
  Bytes cyclic = c;
  const uint32_t first = cyclic[dir + 128 + 116] | (cyclic[dir + 128 + 117] << 8);
  patch32(cyclic, 512 + 4 * first, first);
  std::vector<uint8_t> out;
  const char* names[] = {"Workbook"};
  EXPECT_EQ(cfb_read_stream(cyclic.data(), cyclic.size(), names, 1, &out), CFB_BROKEN);
  // A stream size beyond the file.
  Bytes huge = c;
  patch32(huge, dir + 128 + 120, 0x7FFFFFFF);
  EXPECT_EQ(cfb_read_stream(huge.data(), huge.size(), names, 1, &out), CFB_BROKEN);
  // Cut short.
  Bytes cut(c.begin(), c.begin() + 600);
  EXPECT_EQ(cfb_read_stream(cut.data(), cut.size(), names, 1, &out), CFB_BROKEN);
  EXPECT_EQ(cfb_read_stream(c.data(), c.size(), names, 1, &out), CFB_OK);
  EXPECT_EQ(out, raw);
}

}  // namespace
