// Index files: the format against a generated file, adding and dropping
// indexes, old versions, the language check, bad headers and blocks.
#include <gtest/gtest.h>

#include "kernel/runtime/collate.h"
#include "tests/kernel/tables/index/index_fixture.h"

namespace {

class index_file : public IndexTest {};

std::string golden(const std::string& name) {
  std::ifstream in(std::string(GOLDEN_DIR) + "/" + name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST_F(index_file, OneLeafFileEqualsTheGeneratedOne) {
  fresh({});
  FieldIndex fi;
  ASSERT_EQ(field_index_create(ix_, &fi, VALUE_INTEGER, 4, 0), 1);
  EXPECT_EQ(fi.number, 1);
  const int32_t values[][2] = {{7, 2}, {-1, 3}, {0, 1}};
  KeyBuf k;
  keybuf_init(&k, VALUE_INTEGER, 4);
  for (auto& v : values) {
    k.value.u.i = v[0];
    k.row = v[1];
    ASSERT_EQ(field_index_insert(ix_, &fi, &k), 1);
  }
  keybuf_free(&k);
  field_index_free(&fi);
  std::string f = bytes();
  const std::string want = golden("one_leaf.IND");
  ASSERT_EQ(f.size(), want.size());
  // The language keys and charset: those of the collation in force.
  EXPECT_EQ(u16(f, 14), static_cast<uint16_t>(collate_table_key(0)));
  EXPECT_EQ(u16(f, 16), static_cast<uint16_t>(charset_current()));
  EXPECT_EQ(u16(f, 18), static_cast<uint16_t>(collate_table_key2(0)));
  f.replace(14, 6, std::string(6, '\0'));
  EXPECT_EQ(f, want);
}

TEST_F(index_file, ThirtiethIndexFailsAndDroppingTheOnlyCutsTheFile) {
  fresh(std::vector<int>(29, 4));
  int32_t n = 0;
  EXPECT_EQ(index_add(ix_, 4, &n), 0);
  for (int i = 2; i <= 29; ++i) ASSERT_EQ(index_drop(ix_, i), 1);
  check_file(bytes());
  // A free slot is reused.
  ASSERT_EQ(index_add(ix_, 8, &n), 1);
  EXPECT_EQ(n, 2);
  ASSERT_EQ(index_drop(ix_, 2), 1);
  for (int i = 1; i <= 200; ++i) {
    KeyBuf k;
    keybuf_init(&k, VALUE_INTEGER, 4);
    FieldIndex fi;
    fi.number = 1;
    keybuf_init(&fi.key, VALUE_INTEGER, 4);
    k.value.u.i = i;
    k.row = i;
    ASSERT_EQ(field_index_insert(ix_, &fi, &k), 1);
    keybuf_free(&k);
    field_index_free(&fi);
  }
  ASSERT_EQ(index_drop(ix_, 1), 1);
  EXPECT_EQ(bytes().size(), 512u);
  EXPECT_EQ(u32(bytes(), 8), 0u);
}

TEST_F(index_file, DropGivesTheTreeToTheFreeChain) {
  fresh({4, 4});
  for (int i = 1; i <= 500; ++i) {
    const std::string key = {'\0', '\0', static_cast<char>(i >> 8), static_cast<char>(i)};
    ASSERT_EQ(btree_insert(ix_, 1, reinterpret_cast<const uint8_t*>(key.data()), i), 1);
  }
  const size_t size = bytes().size();
  ASSERT_EQ(index_drop(ix_, 1), 1);
  check_file(bytes());
  // The second index reuses the freed blocks: the file does not grow.
  for (int i = 1; i <= 500; ++i) {
    const std::string key = {'\0', '\0', static_cast<char>(i >> 8), static_cast<char>(i)};
    ASSERT_EQ(btree_insert(ix_, 2, reinterpret_cast<const uint8_t*>(key.data()), i), 1);
  }
  check_file(bytes());
  EXPECT_EQ(bytes().size(), size);
}

TEST_F(index_file, VersionTwoHundredIsSearchedNotChanged) {
  fresh({4});
  const std::string key = {'\x80', '\0', '\0', '\x05'};
  ASSERT_EQ(btree_insert(ix_, 1, reinterpret_cast<const uint8_t*>(key.data()), 9), 1);
  index_file_end(ix_);
  index_close(ix_);
  ix_ = nullptr;
  std::string f = bytes();
  f[4] = static_cast<char>(200);
  put("t.IND", f);
  ASSERT_EQ(index_file_open(path("t.IND").c_str(), 7, &ix_), 1);
  ASSERT_EQ(index_file_begin(ix_, 2), 1);
  FieldIndex fi;
  ASSERT_EQ(field_index_attach("1", ix_, &fi, VALUE_INTEGER, 4, 0), 1);
  KeyBuf k;
  keybuf_init(&k, VALUE_INTEGER, 4);
  k.value.u.i = 5;
  EXPECT_EQ(field_index_seek(ix_, &fi, &k), 1);
  EXPECT_EQ(k.row, 9);
  int32_t n = 0;
  EXPECT_EQ(index_add(ix_, 4, &n), 0);
  EXPECT_EQ(index_drop(ix_, 1), 0);
  keybuf_free(&k);
  field_index_free(&fi);
}

TEST_F(index_file, LanguageMismatchFailsWithAnEmptyStack) {
  fresh({4});
  index_file_end(ix_);
  index_close(ix_);
  ix_ = nullptr;
  std::string f = bytes();
  f[14] = static_cast<char>(f[14] ^ 0x5A);
  f[18] = static_cast<char>(f[18] ^ 0x5A);  // and key B, charset as now
  put("t.IND", f);
  EXPECT_EQ(index_file_open(path("t.IND").c_str(), 7, &ix_), 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(index_file, CharSeekLongerThanTheWidthFindsNothing) {
  fresh({});
  FieldIndex fi;
  ASSERT_EQ(field_index_create(ix_, &fi, VALUE_CHAR, 10, 0), 1);
  KeyBuf k;
  keybuf_init(&k, VALUE_CHAR, 20);
  std::strcpy(k.value.u.text.ptr, "abcdefghij");
  k.row = 4;
  KeyBuf ten;
  keybuf_init(&ten, VALUE_CHAR, 10);
  keybuf_assign(&ten, &k, nullptr);
  ten.row = 4;
  ASSERT_EQ(field_index_insert(ix_, &fi, &ten), 1);
  EXPECT_EQ(field_index_seek(ix_, &fi, &k), 1);
  std::strcpy(k.value.u.text.ptr, "abcdefghijk");
  k.row = 0;
  EXPECT_EQ(field_index_seek(ix_, &fi, &k), 0);
  EXPECT_EQ(k.row, 0);
  // A Char (200) field's index keeps 128 key bytes.
  FieldIndex wide;
  ASSERT_EQ(field_index_create(ix_, &wide, VALUE_CHAR, 200, 0), 1);
  EXPECT_EQ(ix_->entries[static_cast<size_t>(wide.number - 1)].key_length, 128);
  EXPECT_EQ(ix_->entries[static_cast<size_t>(wide.number - 1)].max_entries, 3);
  keybuf_free(&k);
  keybuf_free(&ten);
  field_index_free(&fi);
  field_index_free(&wide);
}

// Bad headers are refused with 972; bad blocks make operations answer 0.
TEST_F(index_file, BadHeadersAndBlocks) {
  fresh({4});
  for (uint32_t i = 1; i <= 100; ++i) {
    const std::string key = {'\0', '\0', '\0', static_cast<char>(i)};
    ASSERT_EQ(btree_insert(ix_, 1, reinterpret_cast<const uint8_t*>(key.data()), static_cast<int32_t>(i)), 1);
  }
  index_file_end(ix_);
  index_close(ix_);
  ix_ = nullptr;
  const std::string good = bytes();
  struct Patch {
    const char* what;
    size_t at;
    std::string bytes;
    bool header;
  } patches[] = {
      {"magic", 0, "\x01", true},
      {"version", 4, std::string("\x65\x00", 2), true},
      {"block size", 6, std::string("\x00\x04", 2), true},
      {"30 indexes", 12, std::string("\x1e\x00", 2), true},
      {"root not a block", 48, std::string("\x10\x02\x00\x00", 4), true},
      {"root past the end", 48, std::string("\x00\x00\x01\x00", 4), true},
      {"even most entries", 52, std::string("\x3c\x00", 2), true},
      {"key length 0", 55, std::string("\x00", 1), true},
      {"depth 33", 54, std::string("\x21", 1), true},
      {"free chain bad", 8, std::string("\x01\x00\x00\x00", 4), true},
      {"leaf count huge", 1024, std::string("\xff\xff\x00\x00", 4), false},
      {"next link to itself", 1024 + 8, std::string("\x00\x04\x00\x00", 4), false},
      {"child pointer bad", 512 + 12 + 4, std::string("\x07\x00\x00\x00", 4), false},
  };
  for (const Patch& p : patches) {
    SCOPED_TRACE(p.what);
    std::string f = good;
    f.replace(p.at, p.bytes.size(), p.bytes);
    put("t.IND", f);
    err_clear();
    IndexFile* ix = nullptr;
    const int16_t opened = index_file_open(path("t.IND").c_str(), 7, &ix);
    if (p.header) {
      EXPECT_EQ(opened, 0);
      ASSERT_EQ(err_count(), 1);
      EXPECT_EQ(g_err_stack->entries[0].code, 972);
      continue;
    }
    ASSERT_EQ(opened, 1);
    ASSERT_EQ(index_file_begin(ix, 2), 1);
    uint8_t key[4] = {0, 0, 0, 0};
    int32_t row = 0;
    int steps = 0;
    btree_rewind(ix, 1);
    while (btree_next_leaf(ix, 1, key, &row) && steps < 10000) ++steps;
    EXPECT_LE(steps, 100);
    for (uint32_t i = 1; i <= 100; ++i) {
      const std::string k = {'\0', '\0', '\0', static_cast<char>(i)};
      btree_search(ix, 1, reinterpret_cast<uint8_t*>(const_cast<char*>(k.data())), 0, &row);
      btree_delete(ix, 1, reinterpret_cast<const uint8_t*>(k.data()), static_cast<int32_t>(i));
      btree_insert(ix, 1, reinterpret_cast<const uint8_t*>(k.data()), static_cast<int32_t>(i));
    }
    index_file_end(ix);
    index_close(ix);
  }
  // An Index clause naming a free slot, or longer keys than the field's,
  // fails the attach.
  put("t.IND", good);
  IndexFile* ix = nullptr;
  ASSERT_EQ(index_file_open(path("t.IND").c_str(), 7, &ix), 1);
  FieldIndex fi;
  EXPECT_EQ(field_index_attach("1", ix, &fi, VALUE_SMALLINT, 2, 0), 0);
  EXPECT_EQ(field_index_attach("2", ix, &fi, VALUE_INTEGER, 4, 0), 0);
  EXPECT_EQ(field_index_attach("1", ix, &fi, VALUE_INTEGER, 4, 0), 1);
  field_index_free(&fi);
  index_close(ix);
}

}  // namespace
