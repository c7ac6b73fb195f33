// Error stack: storing, duplicates, separators, joining, overflow, and the
// fatal guard.
#include <cstring>
#include <string>

#include "runtime_reset.h"

namespace {

class ErrTest : public RuntimeTest {};

std::string Join(int16_t restart, int32_t size = 4096) {
  std::string buf(static_cast<size_t>(size), 'X');
  err_join(restart, buf.data(), size);
  return std::string(buf.c_str());
}

// A code the kernel string table does not hold: its message is empty.
constexpr int16_t kCodeWithoutText = 30999;

TEST_F(ErrTest, ThirtyOnePushesOverflowInCheckMode) {
  g_kshared.lexer_input_mode = 1;
  for (int i = 0; i < 31; ++i) err_push(4, kCodeWithoutText, nullptr, nullptr);
  EXPECT_EQ(err_count(), 30);
  EXPECT_EQ(g_err_stack->push_count, 31);
  EXPECT_EQ(g_err_stack->overflow, 1);
  EXPECT_EQ(Join(1), std::string(30, ' ') + "Too many errors.  Error information has been lost.");
}

TEST_F(ErrTest, ClearAfterASavedStackIsRestored) {
  // A caller saves a stack with an entry, something inside clears it, and
  // the caller copies the saved stack back: the next clear still clears.
  err_push(4, kCodeWithoutText, nullptr, nullptr);
  const ErrorStack saved = *g_err_stack;
  err_clear();
  *g_err_stack = saved;
  EXPECT_EQ(err_count(), 1);
  err_clear();
  EXPECT_EQ(err_count(), 0);
}

TEST_F(ErrTest, NormalModeMergesDuplicateCodes) {
  err_push(1, 854, nullptr, nullptr);
  err_push(4, 854, nullptr, nullptr);
  err_push(2, 854, nullptr, nullptr);
  EXPECT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->push_count, 1);
  EXPECT_EQ(g_err_stack->entries[0].severity, 4);
}

TEST_F(ErrTest, SeparatorSplitsJoins) {
  err_push(4, 479, nullptr, nullptr);
  err_mark();
  err_mark();  // nothing new since the last mark: no second separator
  err_push(4, kCodeWithoutText, nullptr, nullptr);
  EXPECT_EQ(err_count(), 3);
  EXPECT_EQ(Join(1), "Internal Error: %u ");
  EXPECT_EQ(Join(0), " ");
  EXPECT_EQ(Join(1), "Internal Error: %u ");
}

TEST_F(ErrTest, FirstCode) {
  EXPECT_EQ(err_first_code(), 0);
  struct Case {
    int16_t code;
    const char* text;
    uint16_t expected;
  } cases[] = {
      {848, "1234", 1234}, {848, "abc", 0}, {848, nullptr, 0}, {848, "99999", 0}, {311, "5", 311}, {-2, nullptr, 65534},
  };
  for (const Case& c : cases) {
    err_clear();
    err_push(4, c.code, c.text, nullptr);
    EXPECT_EQ(err_first_code(), c.expected) << c.code << " " << (c.text ? c.text : "null");
  }
}

TEST_F(ErrTest, HasCodeScansAllSlots) {
  err_push(4, 632, nullptr, nullptr);
  EXPECT_EQ(err_has_code(632), 1);
  EXPECT_EQ(err_has_code(633), 0);
  EXPECT_EQ(err_has_code(0), 1);  // free slots hold 0
}

TEST_F(ErrTest, ArgumentTextsFillThePoolAndCutTheLast) {
  g_kshared.lexer_input_mode = 1;
  std::string big(4000, 'a');
  err_push(4, 1, big.c_str(), nullptr);
  err_push(4, 2, big.c_str(), nullptr);
  EXPECT_EQ(g_err_stack->overflow, 0);
  err_push(4, 3, big.c_str(), big.c_str());  // 998 bytes left: cut, stored
  EXPECT_EQ(err_count(), 3);
  EXPECT_EQ(g_err_stack->overflow, 1);
  const ErrorEntry& e = g_err_stack->entries[2];
  EXPECT_EQ(e.arg1_offset, 8002);
  EXPECT_EQ(e.arg1_length, 998);
  EXPECT_EQ(e.arg2_length, 0);
  EXPECT_EQ(std::strlen(g_err_stack->pool + e.arg1_offset), 997u);
  err_push(4, 4, nullptr, nullptr);  // dropped
  EXPECT_EQ(err_count(), 3);
  EXPECT_EQ(g_err_stack->push_count, 4);
}

TEST_F(ErrTest, JoinIntoSmallBufferEndsWithOverflowMessage) {
  g_kshared.lexer_input_mode = 1;
  for (int i = 0; i < 5; ++i) err_push(4, 479, nullptr, nullptr);
  std::string out = Join(1, 30);
  EXPECT_EQ(out.size(), 29u);
  EXPECT_EQ(out, std::string("Too many errors.  Error information has been lost.").substr(21));
  EXPECT_EQ(g_err_stack->overflow, 1);
}

TEST_F(ErrTest, ModeWord) {
  EXPECT_EQ(err_get_mode(), 1);
  EXPECT_EQ(err_set_mode(2), 1);
  EXPECT_EQ(err_get_mode(), 2);
  err_set_mode(7);
  EXPECT_EQ(err_get_mode(), 1);
}

// ---- fatal guard ----

struct Counter {
  int* count;
  ~Counter() { ++*count; }
};

TEST_F(ErrTest, FatalEndsOutermostGuardWith479) {
  int destroyed = 0;
  bool after_fatal = false;
  int16_t r = kernel_guard([&]() -> int16_t {
    Counter c{&destroyed};
    kernel_fatal("bad %d", 7);
    after_fatal = true;
    return 1;
  });
  EXPECT_EQ(r, 0);
  EXPECT_FALSE(after_fatal);
  EXPECT_EQ(destroyed, 1);
  EXPECT_STREQ(kernel_fatal_message(), "bad 7");
  EXPECT_EQ(err_first_code(), 479);
  EXPECT_EQ(kernel_guard_depth(), 0);
}

TEST_F(ErrTest, FatalRoutinesMessages) {
  struct Case {
    void (*raise)();
    const char* message;
  } cases[] = {
      {[] { kernel_assert(nullptr, "x.cpp", 12); }, "Assertion failed: file x.cpp, line 12"},
      {[] { kernel_fatal_code(5); }, "Internal Error code 5"},
      {[] { kernel_fatal_local("local %s", "text"); }, ""},
      {[] { kernel_abort(); }, ""},
  };
  for (const Case& c : cases) {
    err_clear();
    EXPECT_EQ(kernel_guard(c.raise), 0);
    EXPECT_STREQ(kernel_fatal_message(), c.message);
    EXPECT_EQ(err_first_code(), 479);
  }
  int x = 1;
  EXPECT_EQ(kernel_assert(&x, "y.cpp", 1), &x);
}

TEST_F(ErrTest, InnerGuardsDoNotCatch) {
  bool inner_returned = false;
  int16_t outer = kernel_guard([&]() -> int16_t {
    int16_t inner = kernel_guard([]() -> int16_t { kernel_fatal("deep"); });
    inner_returned = true;
    return inner;
  });
  EXPECT_EQ(outer, 0);
  EXPECT_FALSE(inner_returned);
  EXPECT_EQ(err_count(), 1);
  EXPECT_EQ(kernel_guard_depth(), 0);
  // A guard that succeeds answers its function's flag.
  EXPECT_EQ(kernel_guard([] { return int16_t{5}; }), 5);
  EXPECT_EQ(kernel_guard([] {}), 1);
}

TEST_F(ErrTest, ErrorMessageUnwindsOnlyWithTrapFlag) {
  EXPECT_EQ(kernel_guard([] { kernel_error_message("quiet %d", 1); }), 1);
  EXPECT_EQ(err_count(), 0);
  g_kshared.fatal_trap_flag = 1;
  EXPECT_EQ(kernel_guard([] { kernel_error_message("loud %d", 2); }), 0);
  EXPECT_STREQ(kernel_fatal_message(), "loud 2");
}

TEST_F(ErrTest, FatalMessageIsCutAtItsBuffer) {
  std::string big(2000, 'z');
  EXPECT_EQ(kernel_guard([&] { kernel_fatal("%s", big.c_str()); }), 0);
  EXPECT_EQ(std::strlen(kernel_fatal_message()), static_cast<size_t>(kErrFatalBufSize - 1));
}

TEST_F(ErrTest, ReportJoinsAndClears) {
  err_push(4, 479, nullptr, nullptr);
  EXPECT_EQ(err_report(), 0);
  EXPECT_EQ(err_count(), 0);
  // With the trap flag set the report ends the guard with its text.
  err_push(4, 479, nullptr, nullptr);
  g_kshared.fatal_trap_flag = 1;
  EXPECT_EQ(kernel_guard([] { err_report(); }), 0);
  EXPECT_STREQ(kernel_fatal_message(), "Internal Error: %u ");
}

TEST(ErrDeathTest, FatalOutsideGuardAborts) {
  EXPECT_DEATH(kernel_fatal("lost %d", 3), "lost 3");
}

}  // namespace

namespace {

class ErrFormatTest : public RuntimeTest {};

TEST_F(ErrFormatTest, TemplateExpansion) {
  err_push(4, 311, "alpha", "beta");
  err_push(4, 312, nullptr, nullptr);
  struct Case {
    int entry;
    const char* templ;
    const char* line;
  } cases[] = {
      {0, "File ^0 column ^1.", "File alpha column beta."},
      {0, "a^^b", "a^b"},
      {0, "end^", "end^"},
      {0, "^x^0", "^xalpha"},
      {1, "[^0][^1]", "[][]"},
      {0, "", ""},
  };
  for (const Case& c : cases) {
    err_format_template(&g_err_stack->entries[c.entry], c.templ);
    EXPECT_STREQ(g_err_stack->line, c.line) << c.templ;
  }
}

TEST_F(ErrFormatTest, DoubleByteTemplateStopsAtCutCharacter) {
  cp_set_ansi_page(932);
  g_kshared.charset_multibyte = 1;
  err_push(4, kCodeWithoutText, nullptr, nullptr);
  err_format_template(&g_err_stack->entries[0], "a\x82\xA0" "b\x82");
  EXPECT_STREQ(g_err_stack->line, "a\x82\xA0" "b");
}

TEST_F(ErrFormatTest, LongArgumentIsCutAtTheLine) {
  std::string big(3000, 'q');
  err_push(4, 311, big.c_str(), nullptr);
  err_format_template(&g_err_stack->entries[0], "x^0y");
  EXPECT_EQ(std::strlen(g_err_stack->line), static_cast<size_t>(kErrLineSize - 1));
}

}  // namespace
