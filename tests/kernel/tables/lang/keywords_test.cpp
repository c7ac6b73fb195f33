// The keyword table's invariants and the keyword lookup.
#include <cctype>
#include <cstring>
#include <set>
#include <string>

#include "lang_fixture.h"

using lang_keywords = LangTest;

TEST_F(lang_keywords, TableIsSortedUniqueAndEndsWithThePunctuationRows) {
  std::set<std::string> texts;
  std::set<int> ids;
  for (int r = 0; r < kKeywordRows; ++r) {
    EXPECT_TRUE(texts.insert(g_keyword_table[r].text).second) << g_keyword_table[r].text;
    EXPECT_TRUE(ids.insert(g_keyword_table[r].id).second) << g_keyword_table[r].id;
    if (r > 0 && r < kKeywordWords) {
      EXPECT_LT(std::strcmp(g_keyword_table[r - 1].text, g_keyword_table[r].text), 0) << r;
    }
  }
  static const struct {
    const char* text;
    int16_t id;
  } kPunct[] = {{"#", 1038},  {",", 1027}, {":", 1028}, {";", 1029}, {"(", 1030}, {")", 1031}, {"{", 1032},
                {"}", 1033},  {"[", 1034}, {"]", 1035}, {"=", 20},   {"<>", 21},  {"<=", 22},  {">=", 23},
                {"<", 24},    {">", 25},   {"+", 12},   {"-", 13},   {"*", 14},   {"/", 15},   {".", 1037},
                {"^", 30},    {"\\", 10},  {"?", 1382}, {"&", 37},   {"'", 1379}};
  ASSERT_EQ(sizeof kPunct / sizeof kPunct[0], static_cast<size_t>(kKeywordRows - kKeywordWords));
  for (int i = 0; i < kKeywordRows - kKeywordWords; ++i) {
    EXPECT_STREQ(g_keyword_table[kKeywordWords + i].text, kPunct[i].text);
    EXPECT_EQ(g_keyword_table[kKeywordWords + i].id, kPunct[i].id);
    EXPECT_EQ(g_keyword_table[kKeywordWords + i].starts_statement, 0);
  }
}

TEST_F(lang_keywords, EveryKeywordInAnyCaseGivesItsId) {
  for (int r = 0; r < kKeywordWords; ++r) {
    std::string lower = g_keyword_table[r].text;
    std::string upper = lower, mixed = lower;
    for (size_t i = 0; i < lower.size(); ++i) {
      upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(lower[i])));
      if (i % 2 == 0) mixed[i] = upper[i];
    }
    for (const std::string& w : {lower, upper, mixed}) {
      int32_t len = 0;
      EXPECT_EQ(lex_keyword_lookup((w + " rest").c_str(), &len), g_keyword_table[r].id) << w;
      EXPECT_EQ(len, static_cast<int32_t>(w.size())) << w;
      EXPECT_EQ(lex_keyword_index(), r);
    }
  }
  int32_t len = 0;
  EXPECT_EQ(lex_keyword_lookup("cvw", &len), 2141);
  EXPECT_STREQ(keyword_text(2141), "cvw");
  EXPECT_STREQ(keyword_text(1379), "'");
  EXPECT_STREQ(keyword_text(4242), "");
}

TEST_F(lang_keywords, WordsThatAreNoKeywords) {
  const struct {
    const char* text;
    int32_t length;
  } kCases[] = {
      {"abcdefghijklmnopqrstuvwxyzabcdefghijklmn", 40},  // 40 letters, one word
      {"selectx", 7},
      {"tables$ x", 7},  // suffix character taken as the last one
      {"ab$c", 3},
      {"a#b~c_d(", 7},
  };
  for (const auto& c : kCases) {
    int32_t len = 0;
    EXPECT_EQ(lex_keyword_lookup(c.text, &len), kTokIdentifier) << c.text;
    EXPECT_EQ(len, c.length) << c.text;
    EXPECT_EQ(lex_keyword_index(), -1);
  }
  // A 40-letter word is one identifier token.
  EXPECT_EQ(TextTokens("abcdefghijklmnopqrstuvwxyzabcdefghijklmn"), "id:abcdefghijklmnopqrstuvwxyzabcdefghijklmn");
}
