// Random text through the character-set routines. The first byte picks the
// routine: even, conversion between a random pair of sets (next two bytes)
// under a random current set; odd, LMBCS input in a random group.
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
  std::vector<char> text(data + 3, data + size);
  text.push_back('\0');
  const size_t before = std::strlen(text.data());
  if (data[0] % 2 == 1) {
    charset_set_current(10);
    charset_from_lmbcs(data[1] % 4, text.data());
  } else {
    const int from = data[1] % 60;
    const int to = data[2] % 60;
    charset_set_current(data[0] % 4 ? 10 : 19);
    charset_convert(text.data(), from, to);
    charset_convert_japanese(text.data(), 19, 52);
    charset_convert_japanese(text.data(), 52, 19);
    charset_to_ascii(text.data(), to, from);
  }
  if (std::strlen(text.data()) > before) __builtin_trap();  // never grows
  return 0;
}
