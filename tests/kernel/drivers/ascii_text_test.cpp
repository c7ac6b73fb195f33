// Quoting texts and splitting delimited lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/drivers/ascii_text.h"
#include "kernel/kernel_files_fixture.h"

using drivers_ascii = KernelFilesTest;

TEST_F(drivers_ascii, QuoteString) {
  const struct {
    const char* text;
    int size;
    const char* out;
  } kCases[] = {
      {"abc", 10, "\"abc\""},
      {"a\"b", 10, "\"a\"\"b\""},
      {"", 3, "\"\""},
      {"abcdef", 6, "\"abc\""},     // cut so that both quotes fit
      {"ab\"cd", 6, "\"ab\""},      // never inside a doubled quote
      {"ab\"cd", 7, "\"ab\"\"\""},
      {"abc", 2, ""},
  };
  for (const auto& c : kCases) {
    char out[32];
    EXPECT_STREQ(ascii_quote_string(c.text, out, c.size), c.out) << c.text << " " << c.size;
  }
  char in_place[32] = "x\"y";
  EXPECT_STREQ(ascii_quote_string(in_place, in_place, sizeof in_place), "\"x\"\"y\"");
}

TEST_F(drivers_ascii, QuoteNeverSplitsADoubleByteCharacter) {
  cp_set_ansi_page(932);
  charset_reset();
  ASSERT_EQ(charset_init_system(), 1);
  char out[16];
  // 0x82 0xA0 is one character: with room for one byte only it goes whole.
  EXPECT_STREQ(ascii_quote_string("a\x82\xA0", out, 5), "\"a\"");
  EXPECT_STREQ(ascii_quote_string("a\x82\xA0", out, 6), "\"a\x82\xA0\"");
  // A trail byte equal to the delimiter never ends a field.
  char line[] = "\x83\x7C|b";
  char* f = ascii_tokenize(line, '|');
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(f, "\x83\x7C");
  f = ascii_tokenize(nullptr, '|');
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(f, "b");
  EXPECT_EQ(ascii_tokenize(nullptr, '|'), nullptr);
}

TEST_F(drivers_ascii, Tokenize) {
  const struct {
    const char* line;
    char delimiter;
    std::vector<std::string> fields;
  } kCases[] = {
      {"a,,b", ',', {"a", "", "b"}},
      {"a,b,", ',', {"a", "b", ""}},
      {"", ',', {}},
      {"  a , b", ',', {"a ", "b"}},
      {"\"x\"\"y\",z", ',', {"\"x\"\"y\"", "z"}},
      {"\"q\" tail,z", ',', {"\"q\"", "z"}},     // after the closing quote up to the delimiter goes
      {"\"open,end", ',', {"\"open,end"}},
      {"a\tb,c", ',', {"a b", "c"}},            // a tab inside a field reads as a space
      {"a\tb", '\t', {"a", "b"}},
  };
  for (const auto& c : kCases) {
    std::string buf = c.line;
    std::vector<std::string> got;
    for (char* f = ascii_tokenize(buf.data(), c.delimiter); f != nullptr; f = ascii_tokenize(nullptr, c.delimiter))
      got.emplace_back(f);
    EXPECT_EQ(got, c.fields) << c.line;
  }
}
