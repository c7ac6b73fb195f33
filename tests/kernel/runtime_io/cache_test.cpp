// The block cache: reads and writes through cached blocks, eviction of the
// least recently used block, size changes and the release of the cache.
#include <cstring>
#include <string>
#include <vector>

#include "io_fixture.h"

namespace {

class CacheTest : public RuntimeIo {
 protected:
  void SetUp() override {
    RuntimeIo::SetUp();
    block_cache_init();
    ASSERT_TRUE(block_cache_active());
  }
  int32_t open_new(const char* name) {
    const int32_t h = file_register(name, 0);
    EXPECT_GE(file_open(h, 3, 0, nullptr), 0);
    return h;
  }
};

TEST_F(CacheTest, AlignedWholeBlockWritesReadNothing) {
  const int32_t h = open_new("a.dat");
  std::vector<char> block(512, 'x');
  file_io_counters_reset();
  EXPECT_EQ(file_write(h, block.data(), 512), 512);
  EXPECT_EQ(file_write(h, block.data(), 512), 512);
  EXPECT_EQ(file_io_counters().reads, 0);
  // A partial block is read first.
  file_seek(h, 10, 0);
  EXPECT_EQ(file_write(h, "yy", 2), 2);
  EXPECT_EQ(file_io_counters().reads, 0);  // block 0 is cached
  file_seek(h, 5000, 0);
  EXPECT_EQ(file_write(h, "z", 1), 1);
  EXPECT_EQ(file_io_counters().reads, 1);
  file_release(h);
  const std::string bytes = get("a.dat");
  ASSERT_EQ(bytes.size(), 5001u);
  EXPECT_EQ(bytes.substr(8, 4), "xxyy");
}

TEST_F(CacheTest, WritesPastTheEndReadBackZeros) {
  const int32_t h = open_new("z.dat");
  EXPECT_EQ(file_write(h, "ab", 2), 2);
  file_seek(h, 3000, 0);
  EXPECT_EQ(file_write(h, "cd", 2), 2);
  EXPECT_EQ(file_get_size(h), 3002);
  std::vector<char> back(4000, 'q');
  file_seek(h, 0, 0);
  EXPECT_EQ(file_read(h, back.data(), 4000), 3002);
  EXPECT_EQ(back[0], 'a');
  for (int i = 2; i < 3000; ++i) ASSERT_EQ(back[i], 0) << i;
  EXPECT_EQ(back[3001], 'd');
  file_release(h);
  EXPECT_EQ(get("z.dat").size(), 3002u);
}

TEST_F(CacheTest, ReadsAcrossBlocksAndAtTheEnd) {
  std::string content(612, 0);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 26);
  put("r.dat", content);
  const int32_t h = file_register("r.dat", 0);
  ASSERT_GE(file_open(h, 1, 0, nullptr), 0);
  char buf[700];
  file_seek(h, 500, 0);
  EXPECT_EQ(file_read(h, buf, 50), 50);
  EXPECT_EQ(std::string(buf, 50), content.substr(500, 50));
  EXPECT_EQ(file_get_pos(h), 550);
  EXPECT_EQ(file_read(h, buf, 500), 62);  // the last block holds 100 bytes
  EXPECT_EQ(file_read(h, buf, 10), 0);
  file_release(h);
}

TEST_F(CacheTest, TheLeastRecentlyUsedBlockIsEvictedWithItsFilesDirtyBlocks) {
  const int32_t a = open_new("a.dat");
  const int32_t b = open_new("b.dat");
  std::vector<char> block(512, 'A');
  // a: three dirty blocks, used first; b: 397 blocks after them.
  for (int i = 0; i < 3; ++i) ASSERT_EQ(file_write(a, block.data(), 512), 512);
  std::fill(block.begin(), block.end(), 'B');
  for (int i = 0; i < 397; ++i) ASSERT_EQ(file_write(b, block.data(), 512), 512);
  EXPECT_EQ(get("a.dat"), std::string(1536, '\0'));  // grown on disk, bytes still cached
  file_io_counters_reset();
  ASSERT_NE(cache_get_block(b, 397, 1), nullptr);  // the 401st block
  EXPECT_EQ(file_io_counters().writes, 3);         // a's three blocks together
  EXPECT_EQ(get("a.dat"), std::string(1536, 'A'));
  EXPECT_EQ(cache_get_block(a, 0, 0), nullptr);    // the victim
  EXPECT_NE(cache_get_block(a, 1, 0), nullptr);    // written, still cached
  EXPECT_NE(cache_get_block(b, 0, 0), nullptr);
  file_release(a);
  file_release(b);
}

TEST_F(CacheTest, FreeingTheCacheKeepsOpenFilesDirtyBytes) {
  const int32_t h = open_new("k.dat");
  ASSERT_EQ(file_write(h, "kept", 4), 4);
  block_cache_free();
  EXPECT_FALSE(block_cache_active());
  EXPECT_EQ(get("k.dat"), "kept");
  // Without the cache the file is read and written at the descriptor.
  file_seek(h, 4, 0);
  EXPECT_EQ(file_write(h, "!", 1), 1);
  EXPECT_EQ(get("k.dat"), "kept!");
  file_release(h);
}

TEST_F(CacheTest, AFailedExtensionKeepsNothingPastTheSize) {
  const int32_t h = open_new("e.dat");
  ASSERT_EQ(file_write(h, "abc", 3), 3);
  file_test_fail_extend_nth(1);
  file_seek(h, 1000, 0);
  EXPECT_EQ(file_write(h, "xyz", 3), -1);
  EXPECT_EQ(file_get_size(h), 3);
  CacheBlock* blk = cache_get_block(h, 1, 0);
  if (blk != nullptr) {
    EXPECT_EQ(blk->valid, 0);
  }
  file_seek(h, 0, 0);
  char buf[2000];
  EXPECT_EQ(file_read(h, buf, sizeof buf), 3);
  file_release(h);
  EXPECT_EQ(get("e.dat"), "abc");
}

TEST_F(CacheTest, SizeChangesFixTheCachedBlocks) {
  const int32_t h = open_new("s.dat");
  std::vector<char> data(1500, 'd');
  ASSERT_EQ(file_write(h, data.data(), 1500), 1500);
  EXPECT_EQ(file_set_size(h, 600), 0);
  EXPECT_EQ(cache_get_block(h, 2, 0), nullptr);  // past the new end: freed
  CacheBlock* last = cache_get_block(h, 1, 0);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->valid, 88);
  EXPECT_EQ(file_set_size(h, 1100), 0);
  file_seek(h, 0, 0);
  std::vector<char> back(2000, 'q');
  EXPECT_EQ(file_read(h, back.data(), 2000), 1100);
  EXPECT_EQ(back[599], 'd');
  for (int i = 600; i < 1100; ++i) ASSERT_EQ(back[i], 0) << i;
  file_release(h);
  EXPECT_EQ(get("s.dat"), std::string(600, 'd') + std::string(500, '\0'));
}

TEST_F(CacheTest, UnregisteringDropsTheBlocksAfterWritingThem) {
  const int32_t h = open_new("u.dat");
  ASSERT_EQ(file_write(h, "unreg", 5), 5);
  EXPECT_EQ(file_unregister(h), 1);
  EXPECT_EQ(get("u.dat"), "unreg");
  EXPECT_EQ(cache_get_block(h, 0, 0), nullptr);
}

}  // namespace
