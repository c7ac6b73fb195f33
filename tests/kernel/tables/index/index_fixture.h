// Shared set-up of the index tests: a fresh index file in the test
// directory, and a checker that reads the file's bytes on its own and
// verifies a tree: key order, links, counts, leaf depth, separators, the
// free chain and the file length.
#pragma once
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "kernel/kernel_files_fixture.h"
#include "kernel/tables/index/indexfile.h"

class IndexTest : public KernelFilesTest {
 protected:
  void TearDown() override {
    file_test_fail_write_nth(0);
    index_close(ix_);
    ix_ = nullptr;
    KernelFilesTest::TearDown();
  }
  // A new file open for read/write with indexes of the given key lengths.
  void fresh(const std::vector<int>& key_lengths, const std::string& name = "t.IND") {
    ASSERT_EQ(index_file_create(0, path(name).c_str(), 7, 0, &ix_), 1);
    ASSERT_EQ(index_file_begin(ix_, 2), 1);
    for (int k : key_lengths) {
      int32_t n = 0;
      ASSERT_EQ(index_add(ix_, k, &n), 1);
    }
  }
  std::string bytes(const std::string& name = "t.IND") const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  static uint32_t u32(const std::string& f, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(f[at + static_cast<size_t>(i)]);
    return v;
  }
  static uint16_t u16(const std::string& f, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(f[at]) | (static_cast<uint8_t>(f[at + 1]) << 8));
  }

  struct TreeShape {
    std::vector<std::vector<int32_t>> levels;  // blocks of each level, left to right
    std::vector<std::pair<std::string, int32_t>> leaf_entries;
  };
  // Checks index n (from 1) of the file's bytes; the blocks of the tree go
  // into used.
  static void check_tree(const std::string& f, int n, TreeShape* shape, std::set<int32_t>* used) {
    const size_t e = 48 + 16 * static_cast<size_t>(n - 1);
    const int32_t root = static_cast<int32_t>(u32(f, e));
    const int m = u16(f, e + 4);
    const int depth = static_cast<uint8_t>(f[e + 6]);
    const int k = static_cast<uint8_t>(f[e + 7]);
    ASSERT_NE(root, 0);
    auto count = [&](int32_t b) { return static_cast<int32_t>(u32(f, static_cast<size_t>(b))); };
    auto key = [&](int32_t b, int i) { return f.substr(static_cast<size_t>(b) + 12 + static_cast<size_t>((i - 1) * (k + 4)), static_cast<size_t>(k)); };
    auto ptr = [&](int32_t b, int i) { return static_cast<int32_t>(u32(f, static_cast<size_t>(b) + 12 + static_cast<size_t>((i - 1) * (k + 4) + k))); };
    std::vector<int32_t> level{root};
    // Bounds of each block's keys: [low, high) from the separators.
    std::vector<std::pair<std::string, std::string>> bounds{{"", "\xff"}};
    for (int d = 1; d <= depth; ++d) {
      shape->levels.push_back(level);
      const bool leaf = d == depth;
      std::vector<int32_t> below;
      std::vector<std::pair<std::string, std::string>> below_bounds;
      for (size_t j = 0; j < level.size(); ++j) {
        const int32_t b = level[j];
        ASSERT_TRUE(b > 0 && b % 512 == 0 && static_cast<size_t>(b) + 512 <= f.size()) << b;
        ASSERT_TRUE(used->insert(b).second) << "block used twice " << b;
        const int32_t c = count(b);
        ASSERT_LE(c, m);
        if (d > 1) { ASSERT_GE(c, m / 2 + 1) << "level " << d; }
        if (!leaf) { ASSERT_GE(c, 2); }
        ASSERT_EQ(static_cast<int32_t>(u32(f, static_cast<size_t>(b) + 4)), j == 0 ? 0 : level[j - 1]);
        ASSERT_EQ(static_cast<int32_t>(u32(f, static_cast<size_t>(b) + 8)), j + 1 == level.size() ? 0 : level[j + 1]);
        for (int i = 1; i <= c; ++i) {
          if (leaf) {
            const std::string kk = key(b, i);
            ASSERT_GE(kk, bounds[j].first);
            if (bounds[j].second != "\xff") { ASSERT_LE(kk, bounds[j].second); }
            if (!shape->leaf_entries.empty()) { ASSERT_LE(shape->leaf_entries.back().first, kk); }
            shape->leaf_entries.emplace_back(kk, ptr(b, i));
          } else {
            below.push_back(ptr(b, i));
            const std::string lo = i == 1 ? bounds[j].first : key(b, i);
            const std::string hi = i == c ? bounds[j].second : key(b, i + 1);
            if (i > 1) { ASSERT_GE(key(b, i), bounds[j].first); }
            below_bounds.emplace_back(lo, hi);
          }
        }
      }
      level = below;
      bounds = below_bounds;
    }
  }
  // Checks the whole file: every index in use, the free chain, the length.
  static void check_file(const std::string& f) {
    ASSERT_GE(f.size(), 512u);
    ASSERT_EQ(f.size() % 512, 0u);
    std::set<int32_t> used;
    const int count = u16(f, 12);
    for (int n = 1; n <= count; ++n) {
      if (u32(f, 48 + 16 * static_cast<size_t>(n - 1)) == 0) continue;
      TreeShape s;
      check_tree(f, n, &s, &used);
      if (::testing::Test::HasFatalFailure()) return;
    }
    int32_t free_block = static_cast<int32_t>(u32(f, 8));
    while (free_block != 0) {
      ASSERT_TRUE(free_block % 512 == 0 && static_cast<size_t>(free_block) < f.size());
      ASSERT_TRUE(used.insert(free_block).second) << "free block twice or in use";
      free_block = static_cast<int32_t>(u32(f, static_cast<size_t>(free_block) + 8));
    }
    ASSERT_EQ(used.size() + 1, f.size() / 512);
  }

  IndexFile* ix_ = nullptr;
};
