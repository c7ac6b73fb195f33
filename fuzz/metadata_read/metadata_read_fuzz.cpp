// Reads a metadata block from random bytes (the first byte picks the prefix
// and the skip flag), writes the tree read and reads that back: the block
// written must read again. A key component "+digits" cannot be written so
// that it reads back (it reads as a piece of its parent), so trees holding
// one are only written.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/fuzz_kernel.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/lang/metadata.h"
#include "platform/codepage.h"

namespace {

std::string g_in, g_out;

bool has_plus_digits(const MetadataNode* node) {
  for (; node; node = node->next) {
    const char* k = node->key;
    if (k[0] == '+' && k[1] != '\0') {
      bool digits = true;
      for (const char* p = k + 1; *p; ++p) digits = digits && *p >= '0' && *p <= '9';
      if (digits) return true;
    }
    if (has_plus_digits(node->child)) return true;
  }
  return false;
}

int16_t read_file(const std::string& path, MetadataNode* root, const char* prefix, int16_t skip) {
  const int32_t h = file_register_nocheck(path.c_str(), 0);
  int16_t r = 0;
  if (h > 0 && file_open_text(h, 1, nullptr) != 0) {
    r = metadata_read(root, h, prefix, skip);
    file_release(h);
  }
  if (h > 0) file_unregister(h);
  return r;
}

std::string write_file(MetadataNode* root) {
  const int32_t h = file_register_nocheck(g_out.c_str(), 0);
  if (h > 0 && file_open_text(h, 3, nullptr) != 0) {
    metadata_write(root, h, nullptr);
    file_release(h);
  }
  if (h > 0) file_unregister(h);
  std::ifstream in(g_out, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    fuzz_charsets_start();
    g_in = "/tmp/fuzz_meta_in_" + std::to_string(getpid()) + ".txt";
    g_out = "/tmp/fuzz_meta_out_" + std::to_string(getpid()) + ".txt";
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  FILE* f = std::fopen(g_in.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  const char* prefix = (data[0] & 1) ? "xx " : nullptr;
  MetadataNode* root = metadata_new();
  read_file(g_in, root, prefix, static_cast<int16_t>((data[0] >> 1) & 1));
  metadata_is_readonly(root);
  MetadataIter it;
  metadata_enum_begin(&it, root, "\\", 1);
  int32_t n = 0;
  while (metadata_enum_next(&it)) ++n;
  write_file(root);
  if (!has_plus_digits(root->child)) {
    MetadataNode* back = metadata_new();
    if (read_file(g_out, back, nullptr, 1) != 1) __builtin_trap();
    metadata_free(back);
  }
  metadata_free(root);
  lex_reset();
  err_clear();
  return 0;
}
