// Character sets: choice of the current and OEM set, names, conversion
// through Unicode, LMBCS input, code tables and line ends.
#include <cstring>
#include <string>

#include "io_fixture.h"
#include "kernel/runtime/mem.h"

namespace {

using CharsetTest = RuntimeIo;

std::string convert(const std::string& in, int from, int to, int16_t* answer = nullptr) {
  char buf[64] = {};
  std::memcpy(buf, in.data(), in.size());
  const int16_t r = charset_convert(buf, from, to);
  if (answer) *answer = r;
  return buf;
}

TEST_F(CharsetTest, CurrentAndOemSetsComeFromTheConfiguredPages) {
  EXPECT_EQ(charset_current(), 10);
  EXPECT_EQ(charset_oem(), 35);
  EXPECT_EQ(g_kshared.charset_number, 10);
  EXPECT_EQ(g_kshared.charset_multibyte, 0);
  cp_set_ansi_page(932);
  cp_set_oem_page(437);
  charset_init_system();
  EXPECT_EQ(charset_current(), 19);
  EXPECT_EQ(charset_oem(), 34);
  EXPECT_EQ(g_kshared.charset_multibyte, 1);
  cp_set_ansi_page(1234);
  charset_init_system();
  EXPECT_EQ(charset_current(), 0);
}

TEST_F(CharsetTest, NamesAndAliases) {
  const struct {
    const char* name;
    int set;
  } cases[] = {{"windowslatin1", 10}, {"ANSI", 10},  {"ansi", 10}, {"MAC", 21},
               {"xascii", 34},        {"LICS", 45},  {"nope", -1}, {"?PackedEUCKorean", 53},
               {"WindowsVietnamese", 56}, {"", -1}};
  for (const auto& c : cases) EXPECT_EQ(charset_from_name(c.name), c.set) << c.name;
  EXPECT_STREQ(charset_name(50), "?PackedEUCTradChinese");
  EXPECT_STREQ(charset_name(57), "");
  EXPECT_STREQ(charset_name(-1), "");
  EXPECT_EQ(charset_code_page(34), 1);
  EXPECT_EQ(charset_code_page(99), -1);
  EXPECT_STREQ(charset_alias_name(21), "MAC");
  EXPECT_STREQ(charset_alias_name(10), "ANSI");
  // Every row's name finds its own row (names are unique).
  for (int n = 0; n < kCharsetCount; ++n) {
    if (n == 45) continue;  // "LICS" is also the alias of 45
    EXPECT_EQ(charset_from_name(charset_name(n)), n) << n;
    EXPECT_EQ(g_charset_table[n].replacement, '_');
  }
}

TEST_F(CharsetTest, ConvertsThroughTheTargetPage) {
  // Expected bytes taken from the iconv command-line tool
  // (tools/iconv_expectations.sh prints them).
  const struct {
    const char* in;
    int from, to;
    const char* out;
    int16_t answer;
  } cases[] = {
      {"caf\xE9", 10, 35, "caf\x82", 1},       // current -> OEM
      {"caf\x82", 35, 10, "caf\xE9", 1},       // OEM -> current
      {"caf\xE9", 10, 34, "caf\x82", 1},       // code page 1 = the OEM page 850
      {"caf\xE9", 10, 13, "caf_", 1},          // 1251 lacks e-acute
      {"caf\xE9", 10, 22, "caf\x8E", 1},       // MacArabic (generated table)
      {"caf\xE9", 10, 21, "caf\x8E", 1},       // MacRoman through iconv
      {"caf\xE9", 10, 0, "caf\xE9", 0},        // Neutral: nothing
      {"caf\xE9", 0, 10, "caf\xE9", 0},
      {"caf\xE9", 10, 10, "caf\xE9", 0},
      {"caf\xE9", 10, 57, "caf\xE9", 0},
      {"caf\xE9", 10, 47, "caf\xE9", 0},       // no code page
      {"\x81\x93", 10, 1, "\x81_", 1},         // 1252's undefined 0x81 is U+0081
      {"\x82\xA0", 19, 10, "_", 1},            // one double-byte character, one '_'
      {"a\x82", 19, 10, "a_", 1},              // a cut lead byte
      {"\xC6\xC6", 13, 19, "\x84\x47", 0},     // grows: cut at a character boundary
      {"\x84\x47", 19, 13, "\xC6", 1},
      {"\x8E", 32, 19, "_", 1},                // MacJapanese lead byte alone
      {"\x82\xA0", 19, 32, "\x82\xA0", 1},     // hiragana a: MacJapanese pairs
      {"a\xE0\xE9", 56, 10, "a\xE0\xE9", 1},     // 1258 holds base letters back
      {"a\xE0\xE9", 10, 56, "a\xE0\xE9", 1},
      {"Ab1 ", 10, 15, "Ab1 ", 1},
      {"09 (x)", 10, 24, "09 (x)", 1},         // MacHebrew keeps ASCII (generated)
      {"1 + 2", 10, 22, "1 + 2", 1},           // MacArabic keeps ASCII (generated)
  };
  for (const auto& c : cases) {
    int16_t answer = -2;
    EXPECT_EQ(convert(c.in, c.from, c.to, &answer), c.out) << c.in << " " << c.from << "->" << c.to;
    EXPECT_EQ(answer, c.answer) << c.in << " " << c.from << "->" << c.to;
  }
  char empty[1] = {0};
  EXPECT_EQ(charset_convert(empty, 10, 35), 0);
  EXPECT_EQ(charset_convert(nullptr, 10, 35), 0);
}

TEST_F(CharsetTest, EverySetWithAPageKeepsPrintableAscii) {
  std::string ascii;
  for (int c = 0x20; c < 0x7F; ++c) ascii.push_back(static_cast<char>(c));
  for (int n = 1; n < kCharsetCount; ++n) {
    if (charset_code_page(n) < 0) continue;
    char buf[128] = {};
    std::memcpy(buf, ascii.data(), ascii.size());
    const int16_t forth = charset_convert(buf, 10, n);
    std::string there = buf;
    const int16_t back = charset_convert(buf, n, 10);
    EXPECT_EQ(forth, n == 10 ? 0 : 1) << "set " << n;  // every page is available
    EXPECT_EQ(back, n == 10 ? 0 : 1) << "set " << n;
    std::string expect = ascii;
    if (n == 43) expect[0x25 - 0x20] = '_';  // 864 has the Arabic percent sign there
    EXPECT_EQ(std::string(buf), expect) << "set " << n;
    std::string expect_there = ascii;
    if (n == 43) expect_there[0x25 - 0x20] = '_';
    if (n == 32) expect_there[0x5C - 0x20] = '\x80';  // MacJapanese: the yen sign sits at 0x5C
    EXPECT_EQ(there, expect_there) << "set " << n;
  }
}

TEST_F(CharsetTest, OemPairUsesQuestionMarkAndPageOne) {
  // The current/OEM pair goes through the configured pages with '?'.
  EXPECT_EQ(convert("\x80", 10, 35), "?");  // euro sign: not in 850
  EXPECT_EQ(convert("\x80", 10, 36), "_");  // any other pair: '_'
  cp_set_oem_page(437);
  charset_init_system();
  EXPECT_EQ(charset_oem(), 34);
  EXPECT_EQ(convert("\xE9", 10, 34), "\x82");
  EXPECT_EQ(convert("\xF0", 10, 34), "?");  // eth is missing from 437
}

TEST_F(CharsetTest, LmbcsInput) {
  const struct {
    int group;
    const char* in;
    const char* out;
  } cases[] = {
      {1, "\x01\x26", "\x93"},      // left double quote
      {1, "\x01\x21", "\x98"},      // small tilde U+02DC
      {1, "x\x82y", "x\xE9y"},      // group 1 high byte: page 850
      {2, "\xA4", "_"},             // Greek capital alpha: not in 1252
      {2, "\x02\x40", "_"},         // angle sign
      {3, "\x82", "_"},             // no such group
      {1, "ab\x01", "ab"},          // group byte at the end: stops at the NUL
      {1, "ab\x02", "ab"},
      {1, "ab\x10", "ab_"},         // 0x10 and what follows up to the NUL
      {1, "a\x10" "bcd", "a_d"},
      {1, "a\x05" "bc", "a_c"},     // other control byte and the next
      {1, "a\x05", "a_"},
  };
  for (const auto& c : cases) {
    char buf[32] = {};
    std::strcpy(buf, c.in);
    EXPECT_EQ(charset_from_lmbcs(c.group, buf), 1) << c.in;
    EXPECT_STREQ(buf, c.out) << c.in;
  }
  // Before the sets are chosen: nothing, answer 1.
  charset_reset();
  char raw[] = "\x01\x26";
  EXPECT_EQ(charset_from_lmbcs(1, raw), 1);
  EXPECT_STREQ(raw, "\x01\x26");
  // A current set without a page has no translation table.
  charset_set_current(0);
  EXPECT_EQ(charset_from_lmbcs(1, raw), 0);
  EXPECT_STREQ(raw, "\x01\x26");
}

TEST_F(CharsetTest, CodeTablesOfTheLmbcsGroups) {
  const uint16_t* t47 = charset_code_table(47);
  const uint16_t* t48 = charset_code_table(48);
  ASSERT_NE(t47, nullptr);
  ASSERT_NE(t48, nullptr);
  EXPECT_EQ(charset_code_table(10), nullptr);
  const struct {
    const uint16_t* table;
    int byte;
    uint16_t code;
  } samples[] = {{t47, 0x00, 0},      {t47, 0x07, 0x2022}, {t47, 0x09, 0x09},   {t47, 0x1B, 0xF000},
                 {t47, 0x20, 0x00A8}, {t47, 0x21, 0x02DC}, {t47, 0x26, 0x201C}, {t47, 0x28, 0x2026},
                 {t47, 0x40, 0x0152}, {t47, 0x41, 0x0153}, {t47, 0x70, 0x2020}, {t47, 0x82, 0x00E9},
                 {t47, 0xB4, 0x251C}, {t47, 0xDD, 0x254E}, {t47, 0xEE, 0x203E}, {t47, 0xF0, 0x00AF},
                 {t47, 0xFF, 0xF001}, {t48, 0x07, 0xF000}, {t48, 0x0D, 0x0D},   {t48, 0x86, 0x0386},
                 {t48, 0xA4, 0x0391}, {t48, 0xD6, 0x03B1}, {t48, 0x40, 0x2220}, {t48, 0x6B, 0x221E}};
  for (const auto& s : samples) EXPECT_EQ(s.table[s.byte], s.code) << std::hex << s.byte;
  for (int b = 0x20; b <= 0x3F; ++b) EXPECT_EQ(t48[b], 0xF001) << b;
  for (int b = 1; b < 0x20; ++b) {
    const bool own = b == 0x09 || b == 0x0A || b == 0x0D;
    if (own) {
      EXPECT_EQ(t47[b], b);
      EXPECT_EQ(t48[b], b);
    } else if (b != 0x07) {
      EXPECT_EQ(t47[b], 0xF000) << b;
      EXPECT_EQ(t48[b], 0xF000) << b;
    }
  }
}

TEST_F(CharsetTest, TranslationTables) {
  uint8_t t[256];
  ASSERT_EQ(charset_xlat_get(47, 10, t), 1);
  EXPECT_EQ(t[0], '_');
  EXPECT_EQ(t[0x26], 0x93);
  EXPECT_EQ(t[0x1B], '_');  // no character
  ASSERT_EQ(charset_xlat_get(47, 48, t), 1);
  EXPECT_EQ(t[0x82], 0x82);  // e-acute stands at 0x82 in both
  EXPECT_EQ(t[0x40], '_');   // OE ligature: not in group 2
  EXPECT_EQ(charset_xlat_get(10, 47, t), -1);  // the source needs a code table
  EXPECT_EQ(charset_xlat_get(47, 47, t), -1);
  EXPECT_EQ(charset_xlat_get(47, 0, t), -1);
  // The cache answers the same table again after more than ten pairs.
  uint8_t first[256];
  ASSERT_EQ(charset_xlat_get(47, 10, first), 1);
  for (int to = 11; to < 24; ++to) charset_xlat_get(48, to, t);
  ASSERT_EQ(charset_xlat_get(47, 10, t), 1);
  EXPECT_EQ(std::memcmp(first, t, 256), 0);
}

TEST_F(CharsetTest, LeadBytesFollowTheSetsOwnRanges) {
  const struct {
    int set;
    uint8_t byte;
    int16_t lead;
  } cases[] = {{17, 0xA1, 1}, {17, 0xC7, 0}, {17, 0xC9, 1}, {18, 0x81, 1}, {18, 0xFF, 0},
               {19, 0x85, 0}, {19, 0x87, 1}, {19, 0xED, 1}, {19, 0xEB, 0}, {19, 0xFC, 1},
               {20, 0xC9, 0}, {20, 0xCA, 1}, {31, 0x90, 1}, {33, 0xB0, 0}, {32, 0xE0, 1},
               {52, 0xF0, 0}, {52, 0xEF, 1}, {10, 0x81, 0}, {0, 0x81, 0}};
  for (const auto& c : cases) EXPECT_EQ(charset_is_lead_byte(c.byte, c.set), c.lead) << c.set << " " << int(c.byte);
}

TEST_F(CharsetTest, LineEndsAndAsciiFolding) {
  char* native = charset_newlines_native("a\nb\rc\r\nd");
  ASSERT_NE(native, nullptr);
  EXPECT_STREQ(native, "a\r\nb\r\nc\r\nd");
  mem_free(&native);
  EXPECT_EQ(charset_newlines_native("abc"), nullptr);
  char* lf = charset_newlines_lf("a\r\nb\rc\nd");
  ASSERT_NE(lf, nullptr);
  EXPECT_STREQ(lf, "a\nb\nc\nd");
  mem_free(&lf);
  EXPECT_EQ(charset_newlines_lf("a\nb"), nullptr);
  EXPECT_STREQ(charset_line_end(21), "\r");
  EXPECT_STREQ(charset_line_end(1), "\n");

  char text[] = "a\x82\xA0" "b\xE9";
  charset_to_ascii(text, 19, 10);
  EXPECT_STREQ(text, "a_b_");
  char high[] = "a\x82\xA0" "b";
  charset_strip_high(high, 0, 10);
  EXPECT_STREQ(high, "a__b");
}

TEST_F(CharsetTest, JapaneseConversionsRoundTrip) {
  char text[32] = "a\x82\xA0\xB1";  // a, hiragana a, half-width katakana a
  EXPECT_EQ(charset_convert_japanese(text, 19, 52), 0);  // grows by one byte: cut
  char room[32] = "a\x82\xA0\xB1xx";
  charset_convert_japanese(room, 19, 52);
  EXPECT_EQ(std::string(room, 6), "a\xA4\xA2\x8E\xB1x");
  EXPECT_EQ(charset_convert_japanese(room, 10, 52), 0);
  setenv("QD_MFAL_TRANSLATE", "1", 1);
  char arith[32] = "\x82\xA0\x88\x9F";
  charset_convert_japanese(arith, 19, 52);
  EXPECT_STREQ(arith, "\xA4\xA2\xB0\xA1");
  charset_convert_japanese(arith, 52, 19);
  EXPECT_STREQ(arith, "\x82\xA0\x88\x9F");
  unsetenv("QD_MFAL_TRANSLATE");
}

}  // namespace
