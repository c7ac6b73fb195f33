// The B+-tree: the shapes the algorithms give, the model test against a
// multimap, write faults and the cost of a descent.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "tests/kernel/tables/index/index_fixture.h"

namespace {

class index_btree : public IndexTest {
 protected:
  // After a failed change: the file is opened again (or refused), walked
  // from end to end in bounded steps and, when asked, emptied.
  void reopen_and_walk(bool erase_all);
};

std::string be32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
  return s;
}

int16_t insert(IndexFile* ix, int n, const std::string& key, int32_t row) {
  return btree_insert(ix, n, reinterpret_cast<const uint8_t*>(key.data()), row);
}
int16_t erase(IndexFile* ix, int n, const std::string& key, int32_t row) {
  return btree_delete(ix, n, reinterpret_cast<const uint8_t*>(key.data()), row);
}

void index_btree::reopen_and_walk(bool erase_all) {
  IndexFile* again = nullptr;
  if (index_file_open(path("t.IND").c_str(), 7, &again)) {
    ASSERT_EQ(index_file_begin(again, 2), 1);
    uint8_t key[4];
    int32_t row = 0;
    int steps = 0;
    btree_rewind(again, 1);
    while (btree_next_leaf(again, 1, key, &row) && steps < 1000) ++steps;
    EXPECT_LT(steps, 1000);
    for (uint32_t i = 1; erase_all && i <= 62; ++i) erase(again, 1, be32(i), static_cast<int32_t>(i));
    index_file_end(again);
    index_close(again);
  }
  err_clear();
}

TEST_F(index_btree, SixtyTwoAscendingKeysSplitThenMerge) {
  fresh({4});
  for (uint32_t i = 1; i <= 62; ++i) ASSERT_EQ(insert(ix_, 1, be32(i * 10), static_cast<int32_t>(i)), 1);
  std::string f = bytes();
  check_file(f);
  TreeShape s;
  std::set<int32_t> used;
  check_tree(f, 1, &s, &used);
  ASSERT_EQ(s.levels.size(), 2u);
  ASSERT_EQ(s.levels[1].size(), 2u);
  EXPECT_EQ(u32(f, static_cast<size_t>(s.levels[0][0])), 2u);  // root of 2
  EXPECT_EQ(u32(f, static_cast<size_t>(s.levels[1][0])), 31u);
  EXPECT_EQ(u32(f, static_cast<size_t>(s.levels[1][1])), 31u);
  EXPECT_EQ(ix_->entries[0].depth, 2);

  // Mode 0 for a key above every key of the first leaf (between 310 and
  // 320) gives the first key of the next leaf.
  std::string probe = be32(315);
  int32_t row = 0;
  EXPECT_EQ(btree_seek(ix_, 1, reinterpret_cast<uint8_t*>(probe.data()), &row), 0);
  EXPECT_EQ(row, 32);
  EXPECT_EQ(probe, be32(320));

  // 31 + 31: one deletion from the first leaf merges them into 61; the
  // root collapses.
  ASSERT_EQ(erase(ix_, 1, be32(10), 1), 1);
  f = bytes();
  check_file(f);
  TreeShape t;
  used.clear();
  check_tree(f, 1, &t, &used);
  ASSERT_EQ(t.levels.size(), 1u);
  EXPECT_EQ(u32(f, static_cast<size_t>(t.levels[0][0])), 61u);
  // The right leaf went to the free chain; the old root, the file's last
  // block, was cut off.
  EXPECT_EQ(f.size(), 3u * 512);
  EXPECT_EQ(u32(f, 8), 1024u);
}

TEST_F(index_btree, DuplicatesOverTwoLeavesAreFoundFromTheFirst) {
  fresh({4});
  for (int i = 1; i <= 40; ++i) ASSERT_EQ(insert(ix_, 1, be32(5), i), 1);
  for (int i = 41; i <= 62; ++i) ASSERT_EQ(insert(ix_, 1, be32(1), i), 1);
  check_file(bytes());
  ASSERT_EQ(ix_->entries[0].depth, 2);
  std::string probe = be32(5);
  int32_t row = 0;
  ASSERT_EQ(btree_seek(ix_, 1, reinterpret_cast<uint8_t*>(probe.data()), &row), 1);
  // The first equal key stands in the first leaf: stepping back finds a 1.
  uint8_t key[4];
  int32_t r = 0;
  ASSERT_EQ(btree_prev_leaf(ix_, 1, key, &r), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(key), 4), be32(1));
  // All 40 are reached by stepping forward from the first.
  ASSERT_EQ(btree_seek(ix_, 1, reinterpret_cast<uint8_t*>(probe.data()), &row), 1);
  int found = 1;
  while (btree_next_leaf(ix_, 1, key, &r) && std::string(reinterpret_cast<char*>(key), 4) == be32(5)) ++found;
  EXPECT_EQ(found, 40);
  // Mode 1 stands on the last equal key.
  ASSERT_EQ(btree_seek_last(ix_, 1, reinterpret_cast<uint8_t*>(probe.data()), &row), 1);
  EXPECT_EQ(btree_next_leaf(ix_, 1, key, &r), 0);
}

// Random inserts and deletes on keys of 4, 8 and 128 bytes (with many
// duplicates) against a multimap, checked every 1,000 operations.
TEST_F(index_btree, ModelOfTwoHundredThousandOperations) {
  fresh({4, 8, 128});
  const int widths[3] = {4, 8, 128};
  std::multimap<std::string, int32_t> model[3];
  std::mt19937 rng(1955);
  int32_t next_row = 1;
  for (int op = 1; op <= 200000; ++op) {
    const int n = static_cast<int>(rng() % 3);
    const int k = widths[n];
    auto& mm = model[n];
    const bool grow = rng() % 100 < (mm.size() < 700 ? 60 : 45);
    if (grow || mm.empty()) {
      std::string key(static_cast<size_t>(k), '\0');
      const uint32_t v = rng() % 1500;
      const std::string b = be32(v);
      std::memcpy(key.data(), b.data(), 4);
      if (k > 4) key[static_cast<size_t>(k - 1)] = static_cast<char>(v % 3);
      const int32_t row = next_row++;
      ASSERT_EQ(insert(ix_, n + 1, key, row), 1) << op;
      mm.emplace(key, row);
    } else if (rng() % 20 == 0) {
      // An absent (key, row) is not deleted.
      auto it = mm.begin();
      std::advance(it, static_cast<long>(rng() % mm.size()));
      EXPECT_EQ(erase(ix_, n + 1, it->first, -5), 0);
    } else {
      auto it = mm.begin();
      std::advance(it, static_cast<long>(rng() % mm.size()));
      ASSERT_EQ(erase(ix_, n + 1, it->first, it->second), 1) << op;
      mm.erase(it);
    }
    if (op % 1000 == 0) {
      SCOPED_TRACE(op);
      const std::string f = bytes();
      check_file(f);
      if (HasFatalFailure()) return;
      std::set<int32_t> used;
      for (int i = 0; i < 3; ++i) {
        TreeShape s;
        check_tree(f, i + 1, &s, &used);
        std::multiset<std::pair<std::string, int32_t>> got(s.leaf_entries.begin(), s.leaf_entries.end());
        std::multiset<std::pair<std::string, int32_t>> want(model[i].begin(), model[i].end());
        ASSERT_EQ(got.size(), want.size());
        ASSERT_TRUE(got == want);
      }
    }
  }
}

TEST_F(index_btree, DescentReadsOneBlockPerLevel) {
  fresh({4});
  for (uint32_t i = 1; i <= 5000; ++i) ASSERT_EQ(insert(ix_, 1, be32(i), static_cast<int32_t>(i)), 1);
  const int depth = ix_->entries[0].depth;
  ASSERT_GE(depth, 3);
  ix_->held[0] = ix_->held[1] = 0;
  const int64_t before = ix_->block_reads;
  std::string probe = be32(2500);
  int32_t row = 0;
  ASSERT_EQ(btree_seek(ix_, 1, reinterpret_cast<uint8_t*>(probe.data()), &row), 1);
  EXPECT_EQ(row, 2500);
  EXPECT_EQ(ix_->block_reads - before, depth);
}

// A write fault in a split or a merge fails it; the next open neither
// crashes nor loops, and its searches end.
TEST_F(index_btree, WriteFaultInSplitAndMerge) {
  for (int nth = 1; nth <= 6; ++nth) {
    SCOPED_TRACE(nth);
    std::remove(path("t.IND").c_str());
    index_close(ix_);
    ix_ = nullptr;
    fresh({4});
    for (uint32_t i = 1; i <= 61; ++i) ASSERT_EQ(insert(ix_, 1, be32(i), static_cast<int32_t>(i)), 1);
    file_test_fail_write_nth(nth);
    EXPECT_EQ(insert(ix_, 1, be32(62), 62), 0);  // the split
    file_test_fail_write_nth(0);
    index_file_end(ix_);
    index_close(ix_);
    ix_ = nullptr;
    reopen_and_walk(true);
  }
  // A merge under a write fault.
  for (int nth = 1; nth <= 4; ++nth) {
    std::remove(path("t.IND").c_str());
    fresh({4});
    for (uint32_t i = 1; i <= 62; ++i) ASSERT_EQ(insert(ix_, 1, be32(i), static_cast<int32_t>(i)), 1);
    file_test_fail_write_nth(nth);
    EXPECT_EQ(erase(ix_, 1, be32(1), 1), 0);
    file_test_fail_write_nth(0);
    index_file_end(ix_);
    index_close(ix_);
    ix_ = nullptr;
    reopen_and_walk(false);
  }
}

}  // namespace
