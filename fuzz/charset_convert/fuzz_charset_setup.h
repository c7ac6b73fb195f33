// Start state of the character-set fuzz targets: code pages 1252 and 850,
// the current and OEM sets chosen from them (once per process).
#pragma once
#include "kernel/runtime/charset.h"
#include "platform/codepage.h"

inline void fuzz_charset_setup() {
  static const bool ready = [] {
    cp_set_ansi_page(1252);
    cp_set_oem_page(850);
    charset_init_system();
    return true;
  }();
  (void)ready;
}
