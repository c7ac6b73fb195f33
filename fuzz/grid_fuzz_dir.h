// A private working directory for fuzz targets that read files found along
// the search directories (the current directory comes first).
#pragma once
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel/runtime/file.h"

inline void fuzz_enter_private_dir() {
  static bool done = false;
  if (done) return;
  char tmpl[] = "/tmp/ql_fuzz_XXXXXX";
  if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) std::abort();
  done = true;
}

inline void fuzz_write_file(const char* name, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(name, "wb");
  if (f == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}
