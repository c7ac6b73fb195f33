// Quad keys of rectangles and the cells covering windows.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "kernel/mapobjects/quadkey.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"

namespace {

std::string Key(DRect bounds, DRect r) {
  char out[kQuadKeyTextSize] = "x";
  quadkey_of_rect(&bounds, &r, out);
  return out;
}

// The cell a key names, decoded from the letters; an odd level is not
// told apart from the even level below here, so the level is given.
DRect CellOf(DRect b, const std::string& key, int level) {
  for (int n = 1; n <= level; ++n) {
    int letter = key[1 + (n - 1) / 2] - 'A';
    int code = (n % 2 == 1) ? letter >> 2 : letter & 3;
    double xm = (b.x1 + b.x2) / 2, ym = (b.y1 + b.y2) / 2;
    if (code == 0) b = {b.x1, b.y1, xm, ym};
    if (code == 1) b = {b.x1, ym, xm, b.y2};
    if (code == 3) b = {xm, ym, b.x2, b.y2};
    if (code == 2) b = {xm, b.y1, b.x2, ym};
  }
  return b;
}

bool Within(const DRect& a, const DRect& b) { return a.x1 >= b.x1 && a.y1 >= b.y1 && a.x2 <= b.x2 && a.y2 <= b.y2; }

struct Nodes {
  KernelList list{};
  Nodes() { list_init(&list); }
  ~Nodes() { list_free_all(&list); }
  std::vector<QuadKeyNode*> all() const {
    std::vector<QuadKeyNode*> v;
    for (void* n = list.head; n; n = list_next(n)) v.push_back(static_cast<QuadKeyNode*>(n));
    return v;
  }
};

const DRect kBounds{0, 0, 16, 16};

TEST(objgeo_quadkey, KeysOfRectangles) {
  struct Case {
    DRect r;
    const char* key;
  } cases[] = {
      {{1, 1, 2, 2}, "AAD"},       // codes 0, 0, 0, 3
      {{0, 0, 16, 16}, "A"},       // the bounds
      {{7, 1, 9, 2}, "A"},         // across the vertical centre line
      {{1, 7, 2, 9}, "A"},         // across the horizontal one
      {{9, 9, 11, 11}, "AM"},      // upper right, then lower left: 3 * 4 + 0
      // Codes 3, 0, 0, 3, 0 (cells (8,8,16,16), (8,8,12,12), (8,8,10,10),
      // (9,9,10,10), (9,9,9.5,9.5)): level 5 ends in a letter whose second
      // code is 0.
      {{9, 9, 9.5, 9.5}, "AMDA"},
      {{-1, 0, 4, 4}, ""},         // beyond the bounds
      {{0, 0, 16.0001, 1}, ""},
      // A point on both centre lines: lower left first, then always the
      // upper right corner of each cell, down to level 32.
      {{8, 8, 8, 8}, "ADPPPPPPPPPPPPPPP"},
  };
  for (const Case& c : cases) EXPECT_EQ(Key(kBounds, c.r), c.key) << c.r.x1 << "," << c.r.y1 << "," << c.r.x2;
  // The longest key: a point deep inside.
  std::string deep = Key({0, 0, 4294967296.0, 4294967296.0}, {0.25, 0.25, 0.25, 0.25});
  EXPECT_EQ(deep.size(), 17u);
}

TEST(objgeo_quadkey, DegenerateBoundsGiveA) {
  const DRect bounds[] = {{0, 0, 0, 0}, {5, 5, 5, 5}, {0, 0, 1e-5, 1e-5}, {0, 0, NAN, 1}, {10, 10, 0, 0}};
  for (const DRect& b : bounds) {
    QuadCell cell;
    int32_t depth = 99;
    double smallest = 0;
    quadkey_setup(&b, &cell, &depth, &smallest);
    EXPECT_LT(depth, 0) << b.x2;
    DRect inside{b.x1, b.y1, b.x1, b.y1};
    if (std::isnan(b.x2) || b.x2 < b.x1) continue;
    EXPECT_EQ(Key(b, inside), "A");
  }
}

TEST(objgeo_quadkey, KeyCellHoldsTheRectangleAndNoChildDoes) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 1000);
  const DRect b{0, 0, 1000, 1000};
  for (int i = 0; i < 500; ++i) {
    double x = u(rng), y = u(rng), w = u(rng) / (1 << (i % 12)), h = u(rng) / (1 << (i % 12));
    DRect r{x, y, std::min(1000.0, x + w), std::min(1000.0, y + h)};
    QuadCell root;
    int32_t depth;
    double smallest;
    quadkey_setup(&b, &root, &depth, &smallest);
    QuadCell* cell = quadkey_find_cell(&r, &root, smallest, depth);
    ASSERT_NE(cell, nullptr);
    std::string key = Key(b, r);
    DRect c = CellOf(b, key, cell->level);
    EXPECT_TRUE(Within(r, c)) << key;
    EXPECT_DOUBLE_EQ(c.x1, cell->x1);
    EXPECT_DOUBLE_EQ(c.y2, cell->y2);
    double xm = (c.x1 + c.x2) / 2, ym = (c.y1 + c.y2) / 2;
    const DRect kids[4] = {{c.x1, c.y1, xm, ym}, {c.x1, ym, xm, c.y2}, {xm, ym, c.x2, c.y2}, {xm, c.y1, c.x2, ym}};
    for (const DRect& k : kids) EXPECT_FALSE(Within(r, k)) << key;
    mem_free(&cell);
  }
}

TEST(objgeo_quadkey, WindowEqualToTheBoundsIsOneCell) {
  Nodes n;
  int32_t count = -1;
  ASSERT_EQ(quadkey_window_ranges(&n.list, &count, &kBounds, &kBounds), 1);
  ASSERT_EQ(count, 1);
  auto all = n.all();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_STREQ(all[0]->key, "A");
  EXPECT_EQ(all[0]->level, 0);
  Nodes outside;
  DRect beyond{10, 10, 20, 20};
  ASSERT_EQ(quadkey_window_ranges(&outside.list, &count, &kBounds, &beyond), 1);
  EXPECT_EQ(count, 0);
}

TEST(objgeo_quadkey, WindowCellsMeetAndCoverTheWindow) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(0, 16);
  for (int i = 0; i < 200; ++i) {
    double x = u(rng), y = u(rng);
    DRect w{x, y, std::min(16.0, x + u(rng) / 3), std::min(16.0, y + u(rng) / 3)};
    Nodes n;
    int32_t count = 0;
    ASSERT_EQ(quadkey_window_ranges(&n.list, &count, &kBounds, &w), 1);
    auto all = n.all();
    ASSERT_EQ(static_cast<int32_t>(all.size()), count);
    std::vector<DRect> cells;
    for (QuadKeyNode* node : all) {
      DRect c = CellOf(kBounds, node->key, node->level);
      EXPECT_TRUE(c.x1 < w.x2 && c.x2 >= w.x1 && c.y1 < w.y2 && c.y2 >= w.y1) << node->key;
      cells.push_back(c);
    }
    for (int k = 0; k < 50; ++k) {
      DPoint p{w.x1 + (w.x2 - w.x1) * (k % 7) / 6.0, w.y1 + (w.y2 - w.y1) * (k / 7) / 7.0};
      bool covered = false;
      for (const DRect& c : cells) covered = covered || (p.x >= c.x1 && p.x <= c.x2 && p.y >= c.y1 && p.y <= c.y2);
      EXPECT_TRUE(covered) << p.x << "," << p.y;
    }
  }
}

TEST(objgeo_quadkey, NodeFailureEndsTheCollection) {
  err_clear();
  Nodes n;
  int32_t count = 0;
  DRect w{1, 1, 9, 9};
  mem_test_fail_nth(2);  // the found cell's copy, then the first node
  EXPECT_EQ(quadkey_window_ranges(&n.list, &count, &kBounds, &w), 0);
  mem_test_fail_nth(0);
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(list_is_empty(&n.list));
  EXPECT_GT(err_count(), 0);
  err_clear();
}

}  // namespace
