// Workbooks of our BIFF writer shared by the workbook tests and
// tools/gen_writer_books.cpp, which writes writer_books() into
// tests/kernel/drivers/xlrd_fixtures for the xlrd listing.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "sheet_writer.h"

namespace sheetgen {

// XF indexes of the test workbooks.
constexpr uint16_t kPlain = 0, kFiveZero = 1, kIsoDate = 2, kBuiltinDate = 3, kTime = 4, kDateTime = 5;

inline void globals(Biff& b, bool date1904) {
  if (b.v == 8) b.u16rec(0x0042, 1200);
  else b.u16rec(0x0042, 1252);
  if (date1904) b.u16rec(0x0022, 1);
  b.format(164, "00000");
  b.format(165, "yyyy-mm-dd");
  for (uint16_t f : {0, 164, 165, 14, 20, 22}) b.xf(f);
}

inline void text(Biff& b, uint16_t row, uint16_t col, const std::string& s) {
  if (b.v == 8) b.label8(row, col, kPlain, std::u16string(s.begin(), s.end()));
  else b.label(row, col, kPlain, s);
}

// The name Data = Second!$B$2:$C$4 as a 3-D area.
inline Bytes data_formula(int v) {
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
inline Bytes area3d(int v, uint16_t sheet_index, uint16_t r0, uint16_t r1, uint16_t c0, uint16_t c1) {
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
inline Bytes two_sheet_book(int v, bool date1904 = false) {
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

// The workbooks listed by xlrd: name and bytes.
inline std::vector<std::pair<std::string, Bytes>> writer_books() {
  std::vector<std::pair<std::string, Bytes>> books;
  books.emplace_back("two5.xls", two_sheet_book(5));
  books.emplace_back("two8.xls", container(two_sheet_book(8), "Workbook"));
  books.emplace_back("two8_1904.xls", container(two_sheet_book(8, true), "Workbook"));
  // SST split by CONTINUE with a width change, RK /100, MULRK, MULBLANK,
  // a string formula, BOOLERR values and an error, an RSTRING, WRITEPROT.
  books.emplace_back("cells8.xls",
                     workbook(8,
                              [](Biff& b) {
                                b.rec(0x0086, {});
                                globals(b, false);
                                b.sst({u"abcdef", u"x\u0416yz", u"narrow", u"abcd\u00e9"}, 1, 2, false);
                              },
                              {{"Cells", [](Biff& b) {
                                  b.dimensions(0, 5, 0, 4);
                                  b.labelsst(0, 0, 0, 0), b.labelsst(0, 1, 0, 1), b.labelsst(0, 2, 0, 3);
                                  b.labelsst(1, 0, 0, 2), b.rk(1, 1, kPlain, rk_int(1234, true));
                                  b.rk(1, 2, kPlain, rk_double(-2.5)), b.rk(1, 3, kIsoDate, rk_int(45000));
                                  b.formula_special(2, 0, 0, 0, 0), b.string_result("str"), b.boolerr(2, 1, 0, 1, 0);
                                  b.boolerr(2, 2, 0, 0, 0), b.formula_number(2, 3, kTime, 0.75);
                                  b.label8(3, 0, 0, u"rich", true), b.mulblank(3, 1, 2, kPlain);
                                  b.mulrk(4, 0, {{kFiveZero, rk_int(42)}, {kDateTime, rk_double(45000.5)},
                                                 {kPlain, rk_int(-3, true)}});
                                }}}));
  // BIFF2: formats by order and INTEGER cells.
  books.emplace_back("sheet2.xls", worksheet(2, [](Biff& b) {
                       b.format(0, "General"), b.format(1, "00000"), b.format(2, "d-mmm-yy");
                       b.dimensions(0, 2, 0, 3);
                       b.integer(0, 0, 1, 42), b.integer(0, 1, 2, 61), b.number(0, 2, 0, 0.25);
                       b.label(1, 0, 0, "two"), b.number(1, 1, 0, 1e10), b.integer(1, 2, 0, 65535);
                     }));
  // BIFF5 text in the workbook's code page 1251.
  books.emplace_back("cp1251_5.xls", workbook(5, [](Biff& b) { b.u16rec(0x0042, 1251), b.xf(0); },
                                              {{"S", [](Biff& b) {
                                                  b.dimensions(0, 1, 0, 2);
                                                  b.label(0, 0, 0, "\xcf\xf0\xe8"), b.label(0, 1, 0, "abc");
                                                }}}));
  return books;
}

}  // namespace sheetgen
