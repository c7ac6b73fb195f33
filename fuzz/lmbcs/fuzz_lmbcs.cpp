// LMBCS input of random bytes in a random group (first byte).
#include <cstdint>
#include <cstring>
#include <vector>

#include "kernel/runtime/charset.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    cp_set_ansi_page(1252);
    cp_set_oem_page(850);
    charset_init_system();
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  std::vector<char> text(data + 1, data + size);
  text.push_back('\0');
  const size_t before = std::strlen(text.data());
  charset_from_lmbcs(data[0] % 4, text.data());
  if (std::strlen(text.data()) > before) __builtin_trap();
  return 0;
}
