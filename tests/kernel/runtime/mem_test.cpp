// Kernel memory blocks: zeroing, sizes, growth, failures.
#include <cstring>
#include <vector>

#include "runtime_reset.h"

namespace {

class MemTest : public RuntimeTest {};

bool AllZero(const char* p, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

TEST_F(MemTest, ZeroSizeGivesOneZeroedByte) {
  char* h = nullptr;
  char* p = nullptr;
  ASSERT_EQ(mem_alloc_zeroed(0, &h, &p), 1);
  EXPECT_EQ(h, p);
  EXPECT_EQ(mem_size(h), 1u);
  EXPECT_EQ(p[0], 0);
  mem_free(&h);
  EXPECT_EQ(h, nullptr);
  mem_free(&h);  // a null block is accepted
  EXPECT_EQ(mem_size(nullptr), 0u);
}

TEST_F(MemTest, GrowthZeroesNewBytesAndKeepsOld) {
  char* h = nullptr;
  char* p = nullptr;
  ASSERT_EQ(mem_alloc_zeroed(10, &h, &p), 1);
  std::memset(p, 0x5A, 10);
  ASSERT_EQ(mem_realloc(1000, &h, &p), 1);
  EXPECT_EQ(mem_size(h), 1000u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], 0x5A);
  EXPECT_TRUE(AllZero(p, 10, 1000));
  // Shrink then grow again: the regrown bytes are zero, not the old ones.
  std::memset(p, 0x33, 1000);
  ASSERT_EQ(mem_realloc(4, &h, &p), 1);
  ASSERT_EQ(mem_realloc(50, &h, &p), 1);
  EXPECT_EQ(p[3], 0x33);
  EXPECT_TRUE(AllZero(p, 4, 50));
  mem_free(&h);
}

TEST_F(MemTest, InjectedFailures) {
  char* h = reinterpret_cast<char*>(1);
  char* p = reinterpret_cast<char*>(1);
  mem_test_fail_nth(1);
  EXPECT_EQ(mem_alloc_zeroed(16, &h, &p), 0);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(err_first_code(), 632);

  err_clear();
  ASSERT_EQ(mem_alloc_zeroed(16, &h, &p), 1);
  std::memcpy(p, "intact", 7);
  char* old = h;
  p = nullptr;
  mem_test_fail_nth(1);
  EXPECT_EQ(mem_realloc(4096, &h, &p), 0);
  EXPECT_EQ(err_first_code(), 633);
  EXPECT_EQ(h, old);
  EXPECT_EQ(p, old);
  EXPECT_STREQ(h, "intact");
  EXPECT_EQ(mem_size(h), 16u);
  mem_free(&h);

  // The n-th allocation from now fails, not the ones before it.
  mem_test_fail_nth(2);
  char* a = nullptr;
  char* b = nullptr;
  EXPECT_EQ(mem_alloc_zeroed(8, &a), 1);
  EXPECT_EQ(mem_alloc_zeroed(8, &b), 0);
  mem_free(&a);
}

TEST_F(MemTest, BadSizesFailCleanly) {
  for (int64_t size : {int64_t{-1}, int64_t{-100000}, int64_t{1} << 40}) {
    err_clear();
    void* h = nullptr;
    void* p = nullptr;
    EXPECT_EQ(mem_alloc_zeroed(size, &h, &p), 0) << size;
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(err_first_code(), 632);
  }
  void* h = nullptr;
  ASSERT_EQ(mem_alloc_zeroed(8, &h, nullptr), 1);
  err_clear();
  EXPECT_EQ(mem_realloc(-5, &h, nullptr), 0);
  EXPECT_EQ(err_first_code(), 633);
  EXPECT_EQ(mem_size(h), 8u);
  mem_free(&h);
}

TEST_F(MemTest, EnsureKeepsLargeEnoughBlock) {
  char* h = nullptr;
  char* p = nullptr;
  ASSERT_EQ(mem_ensure(20, &h, &p, 1), 1);  // no block yet: allocates
  EXPECT_EQ(h, p);
  EXPECT_EQ(mem_size(h), 20u);
  char* stale = reinterpret_cast<char*>(0x10);
  char* q = stale;
  EXPECT_EQ(mem_ensure(10, &h, &q, 1), 1);
  EXPECT_EQ(q, stale);  // not even the pointer variable changes
  char* r = nullptr;
  EXPECT_EQ(mem_ensure(100, &h, &r, 1), 1);
  EXPECT_EQ(r, h);
  EXPECT_EQ(mem_size(h), 100u);
  EXPECT_EQ(mem_ensure(30, &h, &r, 0), 1);  // without keep: resized
  EXPECT_EQ(mem_size(h), 30u);
  mem_free(&h);
}

TEST_F(MemTest, DupCopiesWholeBlock) {
  char* h = nullptr;
  ASSERT_EQ(mem_alloc_zeroed(5, &h), 1);
  std::memcpy(h, "abcd", 5);
  auto* copy = static_cast<char*>(mem_dup(h));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, h);
  EXPECT_EQ(mem_size(copy), 5u);
  EXPECT_STREQ(copy, "abcd");
  EXPECT_EQ(mem_dup(nullptr), nullptr);
  mem_free(&copy);
  mem_free(&h);
}

}  // namespace
