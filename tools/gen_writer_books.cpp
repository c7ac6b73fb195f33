// Writes the workbooks of our BIFF writer that xlrd lists
// (tests/kernel/drivers/writer_books.h) into a directory; see
// tools/sheet_oracles.sh.
#include <cstdio>
#include <string>

#include "writer_books.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  for (const auto& [name, bytes] : sheetgen::writer_books()) {
    FILE* f = std::fopen((std::string(argv[1]) + "/" + name).c_str(), "wb");
    if (f == nullptr) return 1;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return 0;
}
