// Converts random text between a random pair of character sets (first two
// bytes), under a random current set and OEM page.
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
  if (size < 3) return 0;
  const int from = data[0] % 60;
  const int to = data[1] % 60;
  charset_set_current(data[2] % 2 ? 10 : 19);
  std::vector<char> text(data + 3, data + size);
  text.push_back('\0');
  const size_t before = std::strlen(text.data());
  charset_convert(text.data(), from, to);
  if (std::strlen(text.data()) > before) __builtin_trap();  // never grows
  charset_convert_japanese(text.data(), 19, 52);
  charset_convert_japanese(text.data(), 52, 19);
  charset_to_ascii(text.data(), to, from);
  return 0;
}
