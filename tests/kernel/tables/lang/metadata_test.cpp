// The metadata tree, its block format and its enumeration.
#include <random>
#include <string>
#include <vector>

#include "kernel/runtime/mb.h"
#include "kernel/tables/lang/metadata.h"
#include "lang_fixture.h"

namespace {

class MetaTest : public LangTest {
 protected:
  void SetUp() override {
    LangTest::SetUp();
    root_ = metadata_new();
  }
  void TearDown() override {
    metadata_free(root_);
    LangTest::TearDown();
  }
  // The block written for the tree, line ends as "\n".
  std::string Written(MetadataNode* root, const char* prefix = nullptr) {
    const std::string name = "w" + std::to_string(++files_) + ".txt";
    const int32_t h = file_register(path(name).c_str(), 0);
    EXPECT_NE(file_open_text(h, 3, nullptr), 0);
    EXPECT_EQ(metadata_write(root, h, prefix), 1);
    file_release(h);
    file_unregister(h);
    std::ifstream in(path(name), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::string out;
    for (char c : text) {
      if (c != '\r') out += c;
    }
    return out;
  }
  // Reads a block from the bytes into the tree.
  int16_t Read(MetadataNode* root, const std::string& bytes, const char* prefix, int16_t skip) {
    const std::string name = "r" + std::to_string(++files_) + ".txt";
    put(name, bytes);
    const int32_t h = file_register(path(name).c_str(), 0);
    EXPECT_NE(file_open_text(h, 1, nullptr), 0);
    const int16_t r = metadata_read(root, h, prefix, skip);
    file_release(h);
    file_unregister(h);
    return r;
  }
  static std::string Get(MetadataNode* root, const char* key) {
    char buf[4096];
    if (metadata_get(root, key, buf, sizeof buf) < 0) return "<none>";
    return buf;
  }
  MetadataNode* root_ = nullptr;
  int files_ = 0;
};

using lang_metadata = MetaTest;

std::string Lines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

TEST_F(lang_metadata, SetAndWrite) {
  ASSERT_EQ(metadata_set(root_, "\\A\\B", "x"), 1);
  EXPECT_EQ(Written(root_), Lines({"begin_metadata", "\"\\A\" = \"\"", "\"\\A\\B\" = \"x\"", "end_metadata"}));
  EXPECT_EQ(Written(root_, "xx "),
            Lines({"begin_metadata", "xx \"\\A\" = \"\"", "xx \"\\A\\B\" = \"x\"", "xx end_metadata"}));
  EXPECT_EQ(Get(root_, "\\a\\b"), "x");
  EXPECT_EQ(metadata_get(root_, "\\A", nullptr, 0), 0);
  EXPECT_EQ(metadata_get(root_, "\\Z", nullptr, 0), -1);
  EXPECT_EQ(metadata_value_size(root_, "\\A\\B"), 2);
  EXPECT_EQ(metadata_value_size(root_, "\\A"), 1);
  EXPECT_EQ(metadata_value_size(root_, "\\Q"), 0);
  // Paths that are no paths.
  EXPECT_EQ(metadata_set(root_, "A", "x"), 0);
  EXPECT_EQ(metadata_set(root_, ("\\" + std::string(239, 'k')).c_str(), "x"), 0);
  EXPECT_EQ(metadata_set(root_, ("\\" + std::string(238, 'k')).c_str(), "x"), 1);
  EXPECT_EQ(metadata_find(root_, nullptr), nullptr);
}

TEST_F(lang_metadata, SelfTest) { EXPECT_EQ(metadata_selftest(), 1); }

TEST_F(lang_metadata, QuotesInKeysAreDoubled) {
  // A block may bring a key with a quote; written again it reads back.
  ASSERT_EQ(Read(root_, "\"\\Q\"\"x\" = \"1\"\nend_metadata\n", nullptr, 0), 1);
  const std::string text = Written(root_);
  EXPECT_EQ(text, Lines({"begin_metadata", "\"\\Q\"\"x\" = \"1\"", "end_metadata"}));
  MetadataNode* back = metadata_new();
  EXPECT_EQ(Read(back, text, nullptr, 1), 1);
  EXPECT_EQ(Get(back, "\\Q\"x"), "1");
  metadata_free(back);
}

TEST_F(lang_metadata, LongValuesArePieces) {
  const std::string plain(600, 'p');
  ASSERT_EQ(metadata_set_text(root_, "\\K", plain.c_str()), 1);
  const std::string text = Written(root_);
  EXPECT_EQ(text, Lines({"begin_metadata", "\"\\K\" = \"" + std::string(237, 'p') + "\"",
                         "\"\\K\\+1\" = \"" + std::string(237, 'p') + "\"",
                         "\"\\K\\+2\" = \"" + std::string(126, 'p') + "\"", "end_metadata"}));
  MetadataNode* back = metadata_new();
  EXPECT_EQ(Read(back, text, nullptr, 1), 1);
  char buf[700];
  EXPECT_EQ(metadata_get(back, "\\K", buf, sizeof buf), 602);
  EXPECT_EQ(std::string(buf), plain);
  EXPECT_EQ(metadata_get(back, "\\K", buf, 11), 602);
  EXPECT_EQ(std::string(buf), std::string(10, 'p'));
  metadata_free(back);

  const std::string quotes = std::string(100, '"') + std::string(200, 'a');
  ASSERT_EQ(metadata_set_text(root_, "\\Q", quotes.c_str()), 1);
  const MetadataNode* q = metadata_find(root_, "\\Q");
  ASSERT_NE(q, nullptr);
  const std::string stored(q->value, q->value_length);
  EXPECT_EQ(stored, quotes.substr(0, 137) + "\n" + quotes.substr(137));
  EXPECT_EQ(Get(root_, "\\Q"), quotes);
}

TEST_F(lang_metadata, ValueOnItsOwnLineAt256) {
  const std::string key = "\\" + std::string(10, 'k');
  ASSERT_EQ(metadata_set(root_, key.c_str(), std::string(238, 'v').c_str()), 1);
  EXPECT_EQ(Written(root_), Lines({"begin_metadata", "\"" + key + "\" =", "\"" + std::string(238, 'v') + "\"",
                                   "end_metadata"}));
  ASSERT_EQ(metadata_set(root_, key.c_str(), std::string(237, 'v').c_str()), 1);
  EXPECT_EQ(Written(root_, "xx "), Lines({"begin_metadata", "xx \"" + key + "\" = \"" + std::string(237, 'v') + "\"",
                                          "xx end_metadata"}));
  // A value is kept to 239 characters.
  ASSERT_EQ(metadata_set(root_, key.c_str(), std::string(300, 'v').c_str()), 1);
  EXPECT_EQ(Get(root_, key.c_str()).size(), 239u);
}

TEST_F(lang_metadata, ReadOnlyFlagsAndSuspension) {
  EXPECT_EQ(metadata_is_readonly(root_), 0);
  EXPECT_EQ(metadata_is_readonly(nullptr), 0);
  metadata_set(root_, "\\A", "1");
  EXPECT_EQ(metadata_is_readonly(root_), 1);
  metadata_set(root_, "\\isreadonly", "false");
  EXPECT_EQ(metadata_is_readonly(root_), 0);
  EXPECT_EQ(metadata_is_seamless(root_), 0);
  metadata_set(root_, "\\IsSeamless", "TRUE");
  metadata_set(root_, "\\IsDrilldown", "FALSE");
  EXPECT_EQ(metadata_is_seamless(root_), 1);
  EXPECT_EQ(metadata_is_drilldown(root_), 0);

  metadata_set(root_, "\\IsReadOnly", "SUSPEND_FALSE");
  const std::string text = Written(root_);
  EXPECT_NE(text.find("\"\\isreadonly\" = \"FALSE\""), std::string::npos) << text;  // the first spelling stays
  EXPECT_EQ(Get(root_, "\\IsReadOnly"), "SUSPEND_FALSE");
}

TEST_F(lang_metadata, SetTextRefusals) {
  const struct {
    const char* key;
    const char* value;
    int16_t answer;
    int16_t error;
  } kCases[] = {
      {"\\A\"", "v", 0, 1999},      {"\\A\r", "v", 0, 1999},   {"\\A\n", "v", 0, 1999},
      {"\\A", "v\r", 0, 1999},      {"\\A", "v\nw", 0, 1999},  {"\\A\\+1", "v", 0, 1999},
      {"\\+12\\B", "v", 0, 1999},   {"\\IsReadOnly", "v", 0, 0}, {"\\isreadonly", "v", 0, 0},
      {"\\A\\+x", "v", 1, 0},       {"\\A+1", "v", 1, 0},      {"\\A\\+", "v", 1, 0},
      {"\\A", "", 1, 0},
  };
  for (const auto& c : kCases) {
    err_clear();
    EXPECT_EQ(metadata_set_text(root_, c.key, c.value), c.answer) << c.key;
    if (c.error) {
      ASSERT_EQ(err_count(), 1) << c.key;
      EXPECT_EQ(g_err_stack->entries[0].code, c.error);
    } else {
      EXPECT_EQ(err_count(), 0) << c.key;
    }
  }
  EXPECT_EQ(metadata_find(root_, "\\IsReadOnly"), nullptr);
}

TEST_F(lang_metadata, ReadingBlocks) {
  const struct {
    std::string bytes;
    const char* prefix;
    int16_t skip;
    int16_t answer;
    int16_t error;
    const char* key;
    const char* value;
  } kCases[] = {
      {"xx begin_metadata\n  XX \"\\A\" = \"1\"\nXX end_metadata\n", "xx ", 1, 1, 0, "\\A", "1"},
      {"!table\n!version 300\nDefinition Table\nbegin_metadata\n\"\\A\" =\n\"x\"\"y\"\nend_metadata\n", nullptr, 1,
       1, 0, "\\A", "x\"y"},
      {"!table\nno block here\n", nullptr, 1, 1, 0, "\\A", "<none>"},
      {"\"\\A\" = \"1\" \"\\A\\+1\" = \"2\" \"\\B\" = \"3\" end_metadata", nullptr, 0, 1, 0, "\\A", "12"},
      {"\"\\A\" = \"1\"\n\"\\A\\+12345678901\" = \"2\"\nend_metadata\n", nullptr, 0, 0, 0, "\\A", "1"},
      {"\"\\A\" = \"1\"\n\"\\A\\+1234567890\" = \"2\"\nend_metadata\n", nullptr, 0, 1, 0, "\\A", "12"},
      {"\"\\A\" \"1\"\nend_metadata\n", nullptr, 0, 0, 615, "\\A", "<none>"},
      {"\"\\A\" = 5\nend_metadata\n", nullptr, 0, 0, 615, "\\A", "<none>"},
      {"\"\\A\" = \"1\"\n5\nend_metadata\n", nullptr, 0, 0, 615, "\\A", "1"},
      {"\"\\A\" = \"1\"\n", nullptr, 0, 0, 0, "\\A", "1"},
      {"\"\\A\" = \"1", nullptr, 0, 0, 0, "\\A", "1"},
      {"begin_metadata\n\x1A\nend_metadata\n", nullptr, 1, 0, 0, "\\A", "<none>"},
  };
  for (const auto& c : kCases) {
    err_clear();
    MetadataNode* root = metadata_new();
    EXPECT_EQ(Read(root, c.bytes, c.prefix, c.skip), c.answer) << c.bytes;
    if (c.error) {
      EXPECT_TRUE(err_has_code(c.error)) << c.bytes;
    }
    EXPECT_EQ(Get(root, c.key), c.value) << c.bytes;
    metadata_free(root);
  }
}

TEST_F(lang_metadata, EnumerationAndDetaching) {
  metadata_set(root_, "\\A", "1");
  metadata_set(root_, "\\A\\B", "2");
  metadata_set(root_, "\\A\\B\\C", "3");
  metadata_set(root_, "\\A\\E\\F", "");
  metadata_set(root_, "\\D", "4");
  auto walk = [&](const char* start, int16_t mode) {
    MetadataIter it;
    metadata_enum_begin(&it, root_, start, mode);
    std::string out;
    while (metadata_enum_next(&it)) {
      char path[300], value[64], key[64];
      metadata_enum_path(&it, path, sizeof path);
      EXPECT_EQ(metadata_take_entry(&it, value, sizeof value, key, sizeof key), 1);
      out += std::string(path) + "=" + value + " ";
    }
    return out;
  };
  EXPECT_EQ(walk("\\", 1), "\\A\\B\\C=3 \\A\\B=2 \\A=1 \\D=4 ");
  EXPECT_EQ(walk("\\A\\", 2), "\\A\\B=2 ");
  EXPECT_EQ(walk("\\A", 1), "\\A\\B\\C=3 \\A\\B=2 ");
  EXPECT_EQ(walk("\\Nothing", 1), "");
  MetadataNode* child = nullptr;
  EXPECT_EQ(metadata_first_child(root_, "\\A", &child), 1);
  EXPECT_STREQ(child->key, "B");
  MetadataNode* sub = metadata_detach(root_, "\\a\\b");
  ASSERT_NE(sub, nullptr);
  metadata_free(sub);
  EXPECT_EQ(walk("\\", 1), "\\A=1 \\D=4 ");
  EXPECT_EQ(metadata_delete(root_, "\\A"), 1);
  EXPECT_EQ(metadata_delete(root_, "\\A"), 0);
  EXPECT_EQ(walk("\\", 1), "\\D=4 ");

  // A chain deeper than the walk goes: it stops without overflow.
  MetadataNode* deep = metadata_new();
  std::string key;
  for (int i = 0; i < 30; ++i) {
    key += "\\k";
    metadata_set(deep, key.c_str(), std::to_string(i).c_str());
  }
  MetadataIter it;
  metadata_enum_begin(&it, deep, "\\", 1);
  std::string seen;
  while (metadata_enum_next(&it)) seen += std::string(it.current->value) + " ";
  EXPECT_EQ(seen, "9 8 7 6 5 4 3 2 1 0 ");
  metadata_free(deep);
}

// Random trees written and read back hold the same entries.
TEST_F(lang_metadata, RandomTreesRoundTrip) {
  std::mt19937 rng(12345);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::string letters = "abcXYZ_09 #'!\"";
  for (int round = 0; round < 40; ++round) {
    MetadataNode* tree = metadata_new();
    std::vector<std::pair<std::string, std::string>> entries;
    for (int e = 0; e < 12; ++e) {
      std::string key;
      const int depth = 1 + pick(8);
      for (int d = 0; d < depth; ++d) {
        std::string part;
        const int n = 1 + pick(25);
        for (int i = 0; i < n; ++i) part += "abcdXYZ_ 09!'"[pick(13)];
        key += "\\" + part;
      }
      // The reader keeps 239 characters of a continuation key.
      if (key.size() + 12 > 239) continue;
      std::string value;
      const int len = pick(4) == 0 ? 300 + pick(400) : pick(40);
      for (int i = 0; i < len; ++i) value += letters[pick(static_cast<int>(letters.size()))];
      if (value.empty() || value.find_first_not_of(' ') == std::string::npos) value = "v";
      ASSERT_EQ(metadata_set_text(tree, key.c_str(), value.c_str()), 1) << key;
      entries.emplace_back(key, value);
    }
    const std::string text = Written(tree, round % 2 ? "  pre " : nullptr);
    MetadataNode* back = metadata_new();
    ASSERT_EQ(Read(back, text, round % 2 ? "PRE " : nullptr, 1), 1) << text;
    for (const auto& [key, value] : entries) {
      // A later key of another case may have replaced the value.
      EXPECT_EQ(Get(back, key.c_str()), Get(tree, key.c_str())) << key;
    }
    EXPECT_EQ(Written(back), Written(tree));
    metadata_free(back);
    metadata_free(tree);
  }
}

}  // namespace

namespace {

using lang_metadata_dbcs = MetaTest;

// Under a double-byte set pieces never split a character and values round
// trip.
TEST_F(lang_metadata_dbcs, DoubleByteValuesRoundTrip) {
  cp_set_ansi_page(932);
  charset_reset();
  ASSERT_EQ(charset_init_system(), 1);
  ASSERT_EQ(g_kshared.charset_multibyte, 1);
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::string value;
    const int n = 100 + static_cast<int>(rng() % 500);
    for (int i = 0; i < n; ++i) {
      switch (rng() % 4) {
        case 0: value += '"'; break;
        case 1: value += 'a'; break;
        default:
          value += static_cast<char>(0x81 + rng() % 0x1F);
          value += static_cast<char>(0x40 + rng() % 0x3F);
          break;
      }
    }
    MetadataNode* tree = metadata_new();
    ASSERT_EQ(metadata_set_text(tree, "\\K\\\x82\xa0", value.c_str()), 1);
    const MetadataNode* node = metadata_find(tree, "\\K\\\x82\xa0");
    ASSERT_NE(node, nullptr);
    const std::string stored(node->value, node->value_length);
    size_t start = 0;
    while (start <= stored.size()) {
      size_t end = stored.find('\n', start);
      if (end == std::string::npos) end = stored.size();
      const std::string piece = stored.substr(start, end - start);
      int cost = 0;
      const char* p = piece.c_str();
      while (*p) {
        cost += *p == '"' ? 2 : (mb_is_lead_byte(p) ? 2 : 1);
        p = mb_char_step(p);
      }
      EXPECT_LE(cost, 237);
      EXPECT_EQ(p, piece.c_str() + piece.size());  // no lead byte left at the end
      start = end + 1;
    }
    const std::string text = Written(tree);
    MetadataNode* back = metadata_new();
    ASSERT_EQ(Read(back, text, nullptr, 1), 1);
    EXPECT_EQ(Get(back, "\\K\\\x82\xa0"), value);
    metadata_free(back);
    metadata_free(tree);
  }
}

}  // namespace
