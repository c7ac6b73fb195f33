// Path routines on random text: both normalisers, extensions, splitting,
// parsing into a name entry and the table name of a path.
#include <cstdint>
#include <cstring>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/path.h"

namespace {

void load(char* buf, const std::string& text) {
  std::memset(buf, 0, kPathSize);
  std::memcpy(buf, text.data(), std::min<size_t>(text.size(), kPathSize - 1));
  buf[kPathSize - 1] = '\0';
}

void check_length(const char* buf) {
  if (std::strlen(buf) > static_cast<size_t>(kPathMaxLen)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int ext = data[0] % 92 - 1;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  char buf[kPathSize];
  load(buf, text);
  if (path_normalise(buf) != nullptr) check_length(buf);
  load(buf, text);
  if (path_normalise_windows(buf, 'C', "C:\\work\\dir") != nullptr) check_length(buf);
  load(buf, text);
  path_set_extension(buf, path_extension(ext));
  check_length(buf);
  load(buf, text);
  char name[256];
  path_split(buf, name);
  load(buf, text);
  path_trim_name(buf);
  char out[kPathSize];
  path_with_extension(out, buf, ext);
  path_tab_name(out, buf);
  char table[64];
  path_to_table_name(buf, table);
  if (std::strlen(table) > 31) __builtin_trap();
  load(buf, text);
  if (path_make_absolute(buf, 0)) check_length(buf);
  FileNameEntry entry;
  if (path_parse(text.c_str(), ext, &entry)) {
    path_of_entry(&entry, out);
    check_length(out);
  }
  err_clear();
  if (size % 64 == 0) path_reset();  // keep the directory pool small
  return 0;
}
