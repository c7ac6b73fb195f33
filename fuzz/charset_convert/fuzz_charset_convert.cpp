// Random text converted between a random pair of sets (next two bytes)
// under a random current set (first byte), then the Japanese conversions
// and the ASCII folding of the result.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/charset_convert/fuzz_charset_setup.h"
#include "kernel/runtime/charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_charset_setup();
  if (size < 3) return 0;
  std::vector<char> text(data + 3, data + size);
  text.push_back('\0');
  const size_t before = std::strlen(text.data());
  const int from = data[1] % 60;
  const int to = data[2] % 60;
  charset_set_current(data[0] % 4 ? 10 : 19);
  charset_convert(text.data(), from, to);
  if (std::strlen(text.data()) > before) __builtin_trap();  // never grows
  if (data[0] & 0x10) {
    charset_convert_japanese(text.data(), 19, 52);
    charset_convert_japanese(text.data(), 52, 19);
  }
  charset_to_ascii(text.data(), to, from);
  if (std::strlen(text.data()) > before) __builtin_trap();
  return 0;
}
