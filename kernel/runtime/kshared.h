// Process-wide flags that several kernel modules read. Each flag belongs to
// the module named beside it, which is the only one that sets it; they sit
// together here so that low modules can read them without depending upward.
#pragma once
#include <cstdint>

struct KernelShared {
  uint8_t lexer_input_mode;   // statement lexer: 0 normal, 1 check only, 2 external tokens
  int16_t fatal_trap_flag;    // table API: kernel_error_message unwinds while non-zero
  int16_t charset_multibyte;  // current character set is a double-byte set
  int16_t charset_number;     // number of the current character set
};

extern KernelShared g_kshared;

// Back to the start values (all 0).
void kshared_reset();
