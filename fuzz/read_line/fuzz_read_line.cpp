// Reads a file of random bytes line by line, with a random buffer size and
// file character set (first two bytes).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_kernel.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path = [] {
    fuzz_charsets_start();
    return "/tmp/fuzz_read_line_" + std::to_string(getpid()) + ".txt";
  }();
  if (size < 2) return 0;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 2, 1, size - 2, f);
  std::fclose(f);
  const int32_t h = file_register_nocheck(path.c_str(), 4);
  file_set_charset(h, data[1] % 57);
  if (file_open_text(h, 1, nullptr) != 0) {
    std::vector<char> buf(2 + data[0] % 100);
    size_t total = 0;
    while (char* line = file_read_line(buf.data(), static_cast<int32_t>(buf.size()), h)) {
      (void)line;
      if (++total > size + 1) __builtin_trap();  // every call reads at least one byte
    }
    file_release_text(h);
  }
  file_unregister(h);
  err_clear();
  return 0;
}
