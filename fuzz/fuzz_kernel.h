// Start-up shared by the fuzz targets that read text or tables: the Windows
// code pages a desktop in Western Europe has (1252 and 850) and the system
// character set built from them, so every run reads bytes the same way.
#pragma once
#include <cstdlib>
#include <string>

#include "kernel/runtime/charset.h"
#include "platform/codepage.h"

inline void fuzz_charsets_start() {
  cp_set_ansi_page(1252);
  cp_set_oem_page(850);
  charset_init_system();
}

// A fresh private directory named after the target ("/tmp" when none can be
// made), without a trailing slash.
inline std::string fuzz_temp_dir(const char* target) {
  std::string tmpl = std::string("/tmp/fuzz_") + target + "_XXXXXX";
  return mkdtemp(tmpl.data()) != nullptr ? tmpl : std::string("/tmp");
}
