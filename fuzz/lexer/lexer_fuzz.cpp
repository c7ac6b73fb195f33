// Reads every token of random bytes, once as statement text and once as a
// statement file (comment lines, include, define), testing each token with
// the token tests.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_kernel.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/lang/lexer.h"
#include "platform/codepage.h"

namespace {

void read_all() {
  char text[64];
  int32_t n = 0;
  while (lex_read_token()) {
    token_text(lex_current(), text, sizeof text);
    lex_is(static_cast<int16_t>(1 + n % 3));
    keyword_value(lex_current());
    if (++n > 2000000) __builtin_trap();  // the reader must end
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path = [] {
    fuzz_charsets_start();
    return "/tmp/fuzz_lexer_" + std::to_string(getpid()) + ".vl";
  }();
  lex_reset();
  std::string text(reinterpret_cast<const char*>(data), size);
  lex_begin_text(text.c_str());
  read_all();

  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const int32_t h = file_register_nocheck(path.c_str(), 0);
  if (h > 0 && file_open_text(h, 1, nullptr) != 0) {
    LexerFile* lf = lex_file_new(h, 0);
    lex_begin_file(lf);
    read_all();
    lex_file_free(lf);
    file_release(h);
  }
  if (h > 0) file_unregister(h);
  lex_reset();
  err_clear();
  return 0;
}
