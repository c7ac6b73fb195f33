// Random LMBCS text into the current set. The first byte picks the group
// (0-3) and the current set (WindowsLatin1, a double-byte set, Neutral or a
// Mac set); the rest is the text.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/charset_convert/fuzz_charset_setup.h"
#include "kernel/runtime/charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_charset_setup();
  if (size < 1) return 0;
  static const int kCurrent[] = {10, 19, 0, 21};
  charset_set_current(kCurrent[(data[0] >> 2) % 4]);
  // No terminator of its own: a text that ends in a group or control byte
  // must stop at the NUL added here.
  std::vector<char> text(data + 1, data + size);
  text.push_back('\0');
  const size_t before = std::strlen(text.data());
  charset_from_lmbcs(data[0] % 4, text.data());
  if (std::strlen(text.data()) > before) __builtin_trap();  // never grows
  return 0;
}
