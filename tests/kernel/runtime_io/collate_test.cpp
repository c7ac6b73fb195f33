// Collation tables: the built-in sources and their keys, the slots under
// each current set, comparison, and the reports of broken sources.
#include <cstring>
#include <string>

#include "io_fixture.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/util.h"

namespace {

using CollateTest = RuntimeIo;

TEST_F(CollateTest, BuiltInTablesHaveTheirKeys) {
  const struct {
    int32_t base;
    uint16_t key;
    uint16_t key2;
  } tables[] = {{10000, 0xFFD8, 0x611D}, {10100, 0x15E7, 0x611D}, {11000, 0xAD7E, 0x611D},
                {11100, 0xC9E3, 0x611D}, {12100, 0x4A26, 0x611D}, {14100, 0x1B2C, 0x611D},
                {15000, 0xA3B5, 0x611D}, {16100, 0x1745, 0x7E2A}, {17000, 0xDCA5, 0xAE14}};
  for (const auto& t : tables) {
    void* handle = nullptr;
    uint8_t* table = normtab_load(t.base, &handle);
    ASSERT_NE(table, nullptr) << t.base;
    EXPECT_EQ(util_crc16(table, 256), t.key) << t.base;
    EXPECT_EQ(util_crc16(table + 32, 95), t.key2) << t.base;
    mem_free(&handle);
  }
  EXPECT_EQ(normtab_load(13000, nullptr), nullptr);
}

TEST_F(CollateTest, SourceRowsFillTheirIdRuns) {
  const int32_t runs[][2] = {{10000, 10016}, {10100, 10117}, {11000, 11017},
                             {11100, 11117}, {12100, 12120}, {14100, 14117},
                             {15000, 15017}, {16100, 16117}, {17000, 17017}};
  for (const auto& r : runs) {
    for (int32_t id = r[0]; id < r[1]; ++id) {
      ASSERT_TRUE(kernel_string_exists(id)) << id;
      const std::string row = kernel_string(id);
      EXPECT_FALSE(row.empty()) << id;
      EXPECT_NE(row[0], ' ') << id;
      EXPECT_LE(row.size(), 254u) << id;
    }
    EXPECT_STREQ(kernel_string(r[1]), " ") << r[1];
    EXPECT_FALSE(kernel_string_exists(r[1] + 1)) << r[1];
  }
}

TEST_F(CollateTest, SlotsUnderWindowsLatin1) {
  EXPECT_EQ(static_cast<uint16_t>(collate_table_key(0)), 0x15E7);  // 0xAD7E taken as ISO8859_1's
  EXPECT_EQ(static_cast<uint16_t>(collate_table_key(1)), 0xA3B5);
  EXPECT_EQ(static_cast<uint16_t>(collate_table_key(3)), 0xDCA5);
  for (int slot : {2, 4, 5}) {
    EXPECT_EQ(collate_table_get(slot), nullptr);
    EXPECT_EQ(collate_table_key(slot), 0);
  }
  EXPECT_EQ(collate_table_get(6), nullptr);
  EXPECT_EQ(static_cast<uint16_t>(collate_table_key2(3)), 0xAE14);
  EXPECT_TRUE(collate_key_known(static_cast<int16_t>(0xA3B5)));
  EXPECT_FALSE(collate_key_known(static_cast<int16_t>(0xAD7E)));
  // Normalising with a key uses the slots with that key.
  char text[] = "\xC5";  // A-ring: its own weight in the Nordic table
  collate_normalise(text, static_cast<int16_t>(0xA3B5));
  EXPECT_STREQ(text, "]");
  char plain[] = "\xC5";
  collate_normalise(plain, 0);
  EXPECT_STREQ(plain, "A");
}

TEST_F(CollateTest, SetsWithoutATableGetTheNeutralOne) {
  normtab_init(13);
  EXPECT_EQ(static_cast<uint16_t>(collate_table_key(0)), 0xFFD8);
  EXPECT_EQ(collate_table_get(1), nullptr);
  const uint8_t* t = collate_table_get(0);
  for (int b = 0; b < 256; ++b) {
    const int want = (b >= 'a' && b <= 'z') ? b - 32 : b;
    EXPECT_EQ(t[b], want) << b;
  }
}

TEST_F(CollateTest, CompareUnderIso8859_1) {
  charset_set_current(1);
  ASSERT_EQ(normtab_init(1), 1);
  const struct {
    const char* a;
    const char* b;
    int16_t r;
  } cases[] = {{"f\xFCr", "fur", 0}, {"ab", "ABC", -1}, {"ABC", "ab", 1},
               {"", "", 0},          {"b", "\xE1", 1},  {"\xFF", "z", -1}};
  for (const auto& c : cases) EXPECT_EQ(collate_compare(c.a, c.b), c.r) << c.a << " " << c.b;
}

TEST_F(CollateTest, BrokenSourcesKeepWhatWasSet) {
  const struct {
    std::string source;
    int32_t errors;
    int byte;
    int weight;
  } cases[] = {
      {"0x41;0x41;", 255, 0x41, 1},                // set twice: first kept; 254 never set
      {"(0x41;0x61);0x42;", 252, 0x61, 1},         // a group shares a weight
      {"(0x41;0x61);0x42;", 252, 0x42, 2},
      {"@0x50;0x41;B;", 253, 0x42, 0x51},          // @ sets the weight; 'B' is its own byte
      {"zz;0x41;", 255, 0x41, 1},                  // a bad token assigns nothing
      {"0x100;0x41", 255, 0x41, 1},                // out of range; a last token without ';'
      {"0x00;", 256, 0x01, 0},
  };
  for (const auto& c : cases) {
    uint8_t table[256];
    EXPECT_EQ(normtab_parse(c.source.c_str(), table), c.errors) << c.source;
    EXPECT_EQ(table[c.byte], c.weight) << c.source;
  }
  // Reports go through kernel_error_message: under the trap flag the first
  // one ends the guard with 479.
  g_kshared.fatal_trap_flag = 1;
  uint8_t table[256];
  EXPECT_EQ(kernel_guard([&] { return normtab_parse("0x41;0x41;", table) == 0; }), 0);
  EXPECT_TRUE(err_has_code(479));
  EXPECT_NE(std::strstr(kernel_fatal_message(), "0x41 set twice"), nullptr)
      << kernel_fatal_message();
  g_kshared.fatal_trap_flag = 0;
}

}  // namespace
