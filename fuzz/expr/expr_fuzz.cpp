// Compiles and evaluates the expression at every token position of random
// text, in the normal and in the name mode.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_kernel.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/lang/expr.h"
#include "kernel/tables/lang/lexer.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    fuzz_charsets_start();
    return true;
  }();
  (void)ready;
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  lex_reset();
  for (int32_t start = 0;; ++start) {
    lex_begin_text(text.c_str());
    lex_read_token();
    int32_t skipped = 0;
    while (skipped < start && lex_has_token()) {
      lex_next();
      ++skipped;
    }
    if (!lex_has_token()) break;
    expr_name_mode = static_cast<int16_t>(start % 2);
    Value v{};
    const int16_t ok = expr_bind(&v, nullptr);
    if (!ok && v.type != 0 && v.type != VALUE_LOGICAL) __builtin_trap();
    value_free(&v);
    err_clear();
  }
  expr_name_mode = 0;
  lex_reset();
  return 0;
}
