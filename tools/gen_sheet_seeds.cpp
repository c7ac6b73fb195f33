// Writes the seed corpora of fuzz/biff, fuzz/container and fuzz/wks from
// the test writers (tests/kernel/drivers/sheet_writer.h). Run from the
// source root:
//   c++ -std=c++20 -I tests/kernel/drivers tools/gen_sheet_seeds.cpp -o /tmp/seeds && /tmp/seeds
#include <cstdio>
#include <string>

#include "sheet_writer.h"

using namespace sheetgen;

namespace {

void save(const std::string& path, uint8_t flag, const Bytes& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  if (flag != 0xFF) std::fputc(flag, f);
  std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

Bytes book(int v) {
  return workbook(
      v,
      [v](Biff& b) {
        b.u16rec(0x0042, v == 8 ? 1200 : 1252);
        b.u16rec(0x0022, 1);
        b.format(164, "00000"), b.format(165, "yyyy-mm-dd h:mm");
        for (uint16_t f : {0, 164, 165}) b.xf(f);
        if (v == 8) {
          b.supbook_internal(2), b.externsheet({{0, 0, 0}, {0, 1, 1}});
          b.sst({u"one", u"tw\u0416o"}, 1, 2, false);
        }
        Bytes f;
        put8(f, 0x3B);
        if (v == 8) put16(f, 1), put16(f, 0), put16(f, 2), put16(f, 0), put16(f, 1);
        else put16(f, 0xFFFF), f.resize(11, 0), put16(f, 1), put16(f, 1), put16(f, 0), put16(f, 2), put8(f, 0), put8(f, 1);
        b.name("Data", f);
        Bytes g;
        put8(g, 0x23), put16(g, 1), g.resize(v == 8 ? 5 : 15, 0);
        b.name("Alias", g);
      },
      {{"Sheet1",
        [v](Biff& b) {
          b.dimensions(0, 3, 0, 3);
          b.number(0, 0, 1, 123), b.rk(0, 1, 2, rk_int(45000)), b.rk(0, 2, 0, rk_int(150, true));
          b.mulrk(1, 0, {{0, rk_double(2.5)}, {1, rk_int(7)}}), b.mulblank(1, 2, 1, 0);
          if (v == 8) b.labelsst(2, 0, 0, 1), b.label8(2, 1, 0, u"\u00e9t\u00e9");
          else b.label(2, 0, 0, "txt");
          b.formula_special(2, 2, 0, 0, 0), b.string_result("s");
        }},
       {"Sheet2", [](Biff& b) {
          b.dimensions(0, 3, 0, 2);
          b.boolerr(0, 0, 0, 1, 0), b.formula_number(1, 1, 0, 0.5), b.formula_special(2, 0, 0, 1, 1);
        }}});
}

Bytes old_sheet(int v) {
  return worksheet(v, [v](Biff& b) {
    b.format(0, "General"), b.format(1, "00000");
    if (v >= 3) b.xf(0), b.xf(1);
    b.dimensions(0, 2, 0, 2);
    if (v == 2) b.integer(0, 0, 1, 42);
    else b.number(0, 0, 1, 42);
    b.label(0, 1, 0, "abc"), b.number(1, 0, 0, 1.5), b.formula_special(1, 1, 0, 0, 0), b.string_result("x");
  });
}

Bytes wk1() {
  Lotus l;
  l.bof1();
  l.range1(0, 0, 3, 5), l.window1(9, 0, 1), l.colw1(1, 12), l.name1("DATA", 0, 1, 2, 4);
  l.label1(0xFF, 0, 0, "Name"), l.label1(0xFF, 1, 0, "Qty");
  l.integer1(0x7F, 0, 1, 5), l.number1(0x02, 1, 1, 2.25), l.integer1(0x72, 2, 1, 61);
  const std::string s = "str";
  l.formula1(0x7F, 0, 2, 0, &s), l.number1(0x7F, 1, 2, 3.5);
  l.eof();
  return l.s;
}

Bytes wk3() {
  Lotus l;
  l.bof3(0, 0, 0, 4, 1, 2);
  l.window3(0, 1, 10), l.colwidths3(1, {{0, 8}, {1, 20}});
  l.name3("DATA", 1, 1, 0, 3, 1, 2);
  l.default_format3(1, 0x7F), l.row_format3(1, 2, {{0x72, 1}, {0x12, 2}});
  l.label3(0, 1, 0, "Title"), l.number3(1, 1, 0, ext80(1e10)), l.smallnum3(1, 1, 1, 246), l.smallnum3(1, 1, 2, 49);
  l.number3(2, 1, 0, ext80(61)), l.number3(2, 1, 1, ext80(-2.75));
  const std::string s = "fs";
  l.formula3(3, 1, 0, ext80(0), &s), l.number3(3, 1, 1, ext80_raw(0xC000000000000000ull, 0x7FFF));
  l.eof();
  return l.s;
}

}  // namespace

int main() {
  int k = 0;
  for (int v : {5, 8}) {
    const Bytes b = book(v);
    save("fuzz/biff/corpus/book" + std::to_string(v), 0, b);
    save("fuzz/biff/corpus/book" + std::to_string(v) + "f", 3, b);
    save("fuzz/biff/corpus/cfb" + std::to_string(v), 0, container(b, v == 8 ? "Workbook" : "Book"));
    save("fuzz/container/corpus/mini" + std::to_string(v), 0xFF, container(b, "Workbook"));
    Bytes padded = b;
    padded.resize(5000, 0);
    save("fuzz/container/corpus/regular" + std::to_string(v), 0xFF, container(padded, "Book", v == 8 ? 12 : 9));
    ++k;
  }
  for (int v : {2, 3, 4}) save("fuzz/biff/corpus/sheet" + std::to_string(v), 1, old_sheet(v));
  save("fuzz/wks/corpus/wk1", 0, wk1());
  save("fuzz/wks/corpus/wk1f", 3, wk1());
  save("fuzz/wks/corpus/wk3", 0, wk3());
  save("fuzz/wks/corpus/wk3f", 1, wk3());
  return k == 2 ? 0 : 1;
}
