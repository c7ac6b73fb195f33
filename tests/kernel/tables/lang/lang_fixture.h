// Shared set-up of the statement-language tests: code page 1252, the kernel
// state at its start, a private working directory and helpers that read
// every token of a text or a file.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "kernel/kernel_files_fixture.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/lang/lexer.h"
#include "platform/codepage.h"

class LangTest : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    lex_reset();
  }
  void TearDown() override {
    FreeFile();
    lex_reset();
    KernelFilesTest::TearDown();
  }

  // One token as text: "id:X", "str:x", "39:12", "2:1.5", "kw:20".
  static std::string Describe(const Value* v) {
    if (v == nullptr) return "<none>";
    switch (v->type) {
      case 24: return std::string("id:") + v->u.ref;
      case 10: return std::string("str:") + v->u.ref;
      case 39: return "39:" + std::to_string(v->u.ll);
      case 2: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "2:%.17g", v->u.d);
        return buf;
      }
      case 20: return "kw:" + std::to_string(v->u.s);
      default: return "type" + std::to_string(v->type);
    }
  }
  static std::string ReadAll() {
    std::string out;
    while (lex_read_token()) {
      if (!out.empty()) out += ' ';
      out += Describe(lex_current());
    }
    return out;
  }
  static std::string TextTokens(const std::string& text) {
    lex_begin_text(text.c_str());
    return ReadAll();
  }
  // Reads a file written under the test directory; the LexerFile stays
  // available until the end of the test through file_.
  std::string FileTokens(const std::string& name) {
    const int32_t h = file_register(path(name).c_str(), 0);
    EXPECT_GT(h, 0);
    EXPECT_NE(file_open_text(h, 1, nullptr), 0);
    lexfile_ = lex_file_new(h, 0);
    lex_begin_file(lexfile_);
    std::string out = ReadAll();
    return out;
  }
  void FreeFile() {
    if (lexfile_) {
      const int32_t h = lexfile_->handle;
      lex_file_free(lexfile_);
      lexfile_ = nullptr;
      file_release(h);
      file_unregister(h);
    }
  }
  static std::string Arg(int entry, int which) {
    const ErrorEntry& e = g_err_stack->entries[entry];
    const int16_t off = which == 1 ? e.arg1_offset : e.arg2_offset;
    const int16_t len = which == 1 ? e.arg1_length : e.arg2_length;
    if (len <= 0) return "";
    return std::string(g_err_stack->pool + off);
  }

  LexerFile* lexfile_ = nullptr;
};
