// Writes worksheets of our Lotus writer (tests/kernel/drivers/sheet_writer.h)
// into a directory: grid.wks, grid.wk1, grid.wk3, the same grid of labels
// and numbers in each. See tools/sheet_oracles.sh.
#include <cstdio>
#include <string>

#include "sheet_writer.h"

using namespace sheetgen;

namespace {

// General number format (special format 1).
constexpr uint8_t kGeneral = 0x71;

Bytes grid1(uint16_t version) {
  Lotus l;
  l.bof1(version);
  l.range1(0, 0, 3, 4);
  l.label1(kGeneral, 0, 0, "Name"), l.label1(kGeneral, 1, 0, "Count"), l.label1(kGeneral, 2, 0, "Price");
  l.label1(kGeneral, 3, 0, "Note");
  l.label1(kGeneral, 0, 1, "apple"), l.integer1(kGeneral, 1, 1, 5), l.number1(kGeneral, 2, 1, 2.25);
  l.label1(kGeneral, 3, 1, "fresh");
  l.label1(kGeneral, 0, 2, "pear"), l.integer1(kGeneral, 1, 2, -12), l.number1(kGeneral, 2, 2, 1234.5);
  l.label1(kGeneral, 0, 3, "plum"), l.integer1(kGeneral, 1, 3, 32767), l.number1(kGeneral, 2, 3, -0.125);
  l.label1(kGeneral, 3, 3, "ripe");
  l.label1(kGeneral, 0, 4, "kiwi"), l.number1(kGeneral, 2, 4, 1e6);
  l.label1(kGeneral, 3, 4, "last");
  l.eof();
  return l.s;
}

Bytes grid3() {
  Lotus l;
  l.bof3(0, 0, 0, 4, 0, 3);
  l.label3(0, 0, 0, "Name"), l.label3(0, 0, 1, "Count"), l.label3(0, 0, 2, "Price"), l.label3(0, 0, 3, "Note");
  l.label3(1, 0, 0, "apple"), l.smallnum3(1, 0, 1, 10), l.number3(1, 0, 2, ext80(2.25)), l.label3(1, 0, 3, "fresh");
  l.label3(2, 0, 0, "pear"), l.number3(2, 0, 1, ext80(-12)), l.number3(2, 0, 2, ext80(1234.5));
  l.label3(3, 0, 0, "plum"), l.smallnum3(3, 0, 1, 49), l.number3(3, 0, 2, ext80(-0.125));
  l.label3(3, 0, 3, "ripe");
  l.label3(4, 0, 0, "kiwi"), l.number3(4, 0, 2, ext80(1e6)), l.label3(4, 0, 3, "last");
  l.eof();
  return l.s;
}

bool save(const std::string& path, const Bytes& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fwrite(b.data(), 1, b.size(), f);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  return save(dir + "/grid.wks", grid1(0x0404)) && save(dir + "/grid.wk1", grid1(0x0406)) &&
                 save(dir + "/grid.wk3", grid3())
             ? 0
             : 1;
}
