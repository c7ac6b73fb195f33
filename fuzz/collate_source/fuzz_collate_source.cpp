// Parses random collation source text and uses the table it gives.
#include <cstdint>
#include <string>

#include "kernel/runtime/collate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  uint8_t table[256];
  normtab_parse(text.c_str(), table);
  if (table[0] != 0) __builtin_trap();
  std::string copy = text;
  collate_apply_table(copy.data(), table);
  return 0;
}
