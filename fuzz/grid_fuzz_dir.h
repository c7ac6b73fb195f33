// A private directory for fuzz targets that read files found along the
// search directories: made once, put in the first search slot (the working
// directory is left alone, so relative corpus paths keep working).
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"

inline const std::string& fuzz_private_dir() {
  static std::string dir;
  if (dir.empty()) {
    char tmpl[] = "/tmp/ql_fuzz_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) std::abort();
    dir = std::string(tmpl) + "/";
  }
  path_set_search_slot(0, path_dir_add(dir.c_str()));
  return dir;
}

inline void fuzz_enter_private_dir() { fuzz_private_dir(); }

inline void fuzz_write_file(const char* name, const uint8_t* data, size_t size) {
  FILE* f = std::fopen((fuzz_private_dir() + name).c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}
