// Any bytes as a compound-document container: the "Workbook", "Book" or
// "Other" stream is looked up and copied out.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/cfb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kNames[] = {"Workbook", "Book", "Other"};
  std::vector<uint8_t> out;
  if (cfb_read_stream(data, size, kNames, 3, &out) == CFB_OK && out.size() > size) __builtin_trap();
  return 0;
}
