// Double-byte-aware text routines, case tables and comparisons.
#include <cstring>
#include <string>

#include "kernel/runtime/str.h"
#include "runtime_reset.h"

namespace {

class MbTest : public RuntimeTest {
 protected:
  static void Japanese() {
    cp_set_ansi_page(932);
    g_kshared.charset_multibyte = 1;
    g_kshared.charset_number = 19;
  }
};

TEST_F(MbTest, DoubleByteSearchesRespectCharacters) {
  Japanese();
  // 0x95 0x5C is one character whose trail byte is a backslash.
  EXPECT_EQ(mb_strchr("\x95\x5C", '\\'), nullptr);
  EXPECT_EQ(mb_strrpbrk("a\\\x95\x5C" "b", "\\/"), 1);
  EXPECT_EQ(mb_char_count("\x82\xA0" "a"), 2);
  EXPECT_EQ(mb_is_alpha(0xB1), 1);
  EXPECT_EQ(mb_is_kana(0xB1), 1);
  const char* t = "\x95\x5C" "x\\";
  EXPECT_EQ(mb_strpbrk(t, "\\"), t + 3);
  EXPECT_EQ(mb_strrchr(t, '\\'), t + 3);
  EXPECT_EQ(mb_strchr(t, 0x955C), t);  // a double-byte character by value
  EXPECT_EQ(mb_strcspn(t, "\\"), 3u);
  EXPECT_EQ(mb_strspn("\x95\x5C\x95\x5C" "a", "\x95\x5C"), 4u);
  const char* s = "\x95\x5C\\";
  EXPECT_EQ(mb_strstr(s, "\\"), s + 2);  // not at the trail byte
  EXPECT_EQ(mb_last_char(s), s + 2);
  const char* k = "a\x82\xA0";
  EXPECT_EQ(mb_last_char(k), k + 1);
  EXPECT_EQ(mb_char_prev(k, k + 3), k + 1);
  EXPECT_EQ(mb_char_next(k + 1), k + 3);
  EXPECT_EQ(mb_is_lead_byte("\x82"), 1);
  // A lead byte before the end is a character of its own.
  EXPECT_EQ(mb_char_count("a\x82"), 2);
}

TEST_F(MbTest, ReverseKeepsDoubleByteOrderAndTokensSplit) {
  Japanese();
  char r[] = "ab\x82\xA0" "c";
  EXPECT_STREQ(mb_strrev(r), "c\x82\xA0" "ba");
  char text[] = "a\x95\x5C\\b\\\\c";
  std::string tokens;
  for (char* tok = mb_strtok(text, "\\"); tok != nullptr; tok = mb_strtok(nullptr, "\\")) tokens += std::string(tok) + "|";
  EXPECT_EQ(tokens, "a\x95\x5C|b|c|");
  char replace[] = "\x95\x5C\\";
  EXPECT_STREQ(str_replace_chars(replace, "\\", '_'), "\x95\x5C_");
  char blanks[] = "\x95\x5C" "a\x01";
  EXPECT_STREQ(str_blank_unprintable(blanks), "\x95\x5C" "a ");
}

TEST_F(MbTest, SingleByteModeBehavesLikeC) {
  EXPECT_EQ(mb_strrpbrk("a\\b/c", "\\/"), 3);
  EXPECT_EQ(mb_strrpbrk("", "\\/"), -1);
  EXPECT_EQ(mb_strrpbrk("abc", "\\/"), -1);
  const char* t = "\x95\x5C";
  EXPECT_EQ(mb_strchr(t, '\\'), t + 1);  // no double-byte set current
  EXPECT_EQ(mb_char_count("\x82\xA0" "a"), 3);
  EXPECT_EQ(mb_is_lead_byte("\x82"), 0);
  char r[] = "abc";
  EXPECT_STREQ(mb_strrev(r), "cba");
  EXPECT_EQ(mb_strchr(nullptr, 'a'), nullptr);
  EXPECT_EQ(mb_char_count(nullptr), 0);
}

TEST_F(MbTest, CaseAndLetterTablesFollowTheAnsiPage) {
  // Windows-1252: 0xE9 is e-acute, 0xC9 its capital; 0xD7 (multiplication
  // sign) is no letter.
  struct Case {
    int32_t ch, upper, lower;
    int16_t alpha, alnum, is_upper;
  } cases[] = {
      {'a', 'A', 'a', 1, 1, 0}, {'Z', 'Z', 'z', 1, 1, 1}, {'5', '5', '5', 0, 1, 0},
      {0xE9, 0xC9, 0xE9, 1, 1, 0}, {0xC9, 0xC9, 0xE9, 1, 1, 1}, {0xD7, 0xD7, 0xD7, 0, 0, 0},
      {'_', '_', '_', 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mb_char_upper(c.ch), c.upper) << c.ch;
    EXPECT_EQ(mb_char_lower(c.ch), c.lower) << c.ch;
    EXPECT_EQ(mb_is_alpha(c.ch), c.alpha) << c.ch;
    EXPECT_EQ(mb_is_alnum(c.ch), c.alnum) << c.ch;
    EXPECT_EQ(mb_is_upper(c.ch), c.is_upper) << c.ch;
  }
  EXPECT_EQ(mb_is_kana(0xB1), 0);  // only while set 19 is current
  char word[] = "caf\xE9";
  EXPECT_STREQ(mb_str_upper(word), "CAF\xC9");
  EXPECT_STREQ(mb_str_lower(word), "caf\xE9");
  // Page 1251: 0xE0 is Cyrillic a, capital 0xC0.
  cp_set_ansi_page(1251);
  EXPECT_EQ(mb_char_upper(0xE0), 0xC0);
}

TEST_F(MbTest, Comparisons) {
  EXPECT_LT(mb_str_compare("abc", "abd"), 0);
  EXPECT_GT(mb_str_compare("b", "a"), 0);
  EXPECT_NE(mb_str_compare("a", "A"), 0);
  EXPECT_EQ(mb_str_compare_nocase("caf\xE9", "CAF\xC9"), 0);
  // Code points, not bytes: in 1252 0x80 is the euro sign (U+20AC), above
  // 0xE9 (U+00E9).
  EXPECT_GT(mb_str_compare("\x80", "\xE9"), 0);
  EXPECT_EQ(mb_strn_compare_nocase("HELLOx", "helloy", 5), 0);
  EXPECT_LT(mb_strn_compare_nocase("HELLOx", "helloy", 6), 0);
  std::string long_a(300, 'A'), long_b(300, 'a');
  EXPECT_EQ(mb_strn_compare_nocase(long_a.c_str(), long_b.c_str(), 300), 0);
  EXPECT_EQ(mb_str_equal("a", "a"), 1);
  EXPECT_EQ(mb_str_equal("a", "A"), 0);
  EXPECT_EQ(mb_str_equal_nocase("Name", "NAME"), 1);
  EXPECT_EQ(mb_strn_equal("abcX", "abcY", 3), 1);
  EXPECT_EQ(mb_strn_equal_nocase("ABCx", "abcy", 3), 1);
  EXPECT_EQ(mb_str_contains_nocase("Hello World", "WORLD"), 1);
  EXPECT_EQ(mb_str_contains_nocase("Hello", "xyz"), 0);
  EXPECT_EQ(str_equal_prefix_nocase("ABC", "abcdef", 3), 1);
  EXPECT_EQ(str_equal_prefix_nocase("ABCD", "abcdef", 3), 0);
  EXPECT_EQ(mb_str_compare(nullptr, ""), 0);
  EXPECT_EQ(mb_strn_compare_nocase("a", "b", 0), 0);
  EXPECT_EQ(mb_str_contains_nocase(nullptr, "x"), 0);
}

}  // namespace
