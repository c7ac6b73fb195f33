// Quad keys. See quadkey.h.
#include "kernel/mapobjects/quadkey.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernel/runtime/mem.h"

namespace {

constexpr int32_t kChildOrder[4] = {0, 1, 3, 2};

DRect rect_of(const QuadCell& c) { return DRect{c.x1, c.y1, c.x2, c.y2}; }

bool contains(const QuadCell& c, const DRect* r) {
  DRect cell = rect_of(c);
  return drect_within(r, &cell) != 0;
}

QuadCell child(const QuadCell& parent, int32_t code) {
  QuadCell c = parent;
  quadkey_set_quadrant(code, &c);
  return c;
}

}  // namespace

void quadkey_set_quadrant(int32_t code, QuadCell* cell) {
  double xm = (cell->x1 + cell->x2) / 2, ym = (cell->y1 + cell->y2) / 2;
  switch (code) {
    case 0: cell->x2 = xm, cell->y2 = ym; break;
    case 1: cell->x2 = xm, cell->y1 = ym; break;
    case 3: cell->x1 = xm, cell->y1 = ym; break;
    default: cell->x1 = xm, cell->y2 = ym; break;
  }
  int32_t level = ++cell->level;
  if (level < 1 || level > kQuadKeyLevels) return;
  int32_t byte = (level - 1) / 4, shift = 6 - 2 * ((level - 1) % 4);
  cell->key[byte] = static_cast<uint8_t>((cell->key[byte] & ~(3 << shift)) | ((code & 3) << shift));
}

void quadkey_to_text(char* out, const uint8_t key[8], int32_t level) {
  level = std::clamp(level, 0, kQuadKeyLevels);
  int32_t o = 0;
  out[o++] = 'A';
  for (int32_t j = 0; j < (level + 1) / 2; ++j) {
    uint8_t b = key[j / 2];
    out[o++] = static_cast<char>('A' + (j % 2 == 0 ? b >> 4 : b & 15));
  }
  out[o] = '\0';
}

void quadkey_setup(const DRect* bounds, QuadCell* cell, int32_t* depth_limit, double* smallest) {
  std::memset(cell, 0, sizeof *cell);
  cell->x1 = bounds->x1;
  cell->y1 = bounds->y1;
  cell->x2 = bounds->x2;
  cell->y2 = bounds->y2;
  double m = std::max(bounds->x2 - bounds->x1, bounds->y2 - bounds->y1) / 4294967296.0;
  *smallest = m;
  if (!(m > 0)) {
    *depth_limit = -1;  // no descent, and no logarithm of it
  } else if (m < 2.220446049250313e-13) {
    *depth_limit = static_cast<int32_t>(std::trunc(std::log2(8589934592.0 * m))) + 1;
  } else {
    *depth_limit = kQuadKeyLevels;
  }
}

QuadCell* quadkey_find_cell(const DRect* rect, const QuadCell* cell, double smallest, int32_t depth_limit) {
  if (!contains(*cell, rect)) return nullptr;
  QuadCell at = *cell;
  for (;;) {
    if (!(at.x2 - at.x1 > smallest) || at.level >= depth_limit) break;
    bool descended = false;
    for (int32_t code : kChildOrder) {
      QuadCell c = child(at, code);
      if (contains(c, rect)) {
        at = c;
        descended = true;
        break;
      }
    }
    if (!descended) break;
  }
  QuadCell* copy = nullptr;
  if (!mem_alloc_zeroed(sizeof(QuadCell), &copy)) return nullptr;
  *copy = at;
  return copy;
}

void quadkey_of_rect(const DRect* bounds, const DRect* rect, char* out) {
  out[0] = '\0';
  if (!drect_within(rect, bounds)) return;
  QuadCell root;
  int32_t depth = 0;
  double smallest = 0;
  quadkey_setup(bounds, &root, &depth, &smallest);
  QuadCell* found = quadkey_find_cell(rect, &root, smallest, depth);
  if (!found) return;
  quadkey_to_text(out, found->key, found->level);
  mem_free(&found);
}

int16_t quadkey_collect(KernelList* list, int32_t* count, const DRect* window, const QuadCell* cell, double smallest,
                        int32_t depth) {
  DRect r = rect_of(*cell);
  if (!drect_meets_cell(window, &r)) return 1;
  if (!drect_within(&r, window) && r.x2 - r.x1 > smallest && cell->level < depth) {
    for (int32_t code : kChildOrder) {
      QuadCell c = child(*cell, code);
      if (!quadkey_collect(list, count, window, &c, smallest, depth)) return 0;
    }
    return 1;
  }
  ++*count;
  QuadKeyNode* node = nullptr;
  if (!mem_alloc_zeroed(sizeof(QuadKeyNode), &node)) return 0;
  node->level = cell->level;
  quadkey_to_text(node->key, cell->key, cell->level);
  list_add(list, node, 1);
  return 1;
}

int16_t quadkey_window_ranges(KernelList* list, int32_t* count, const DRect* bounds, const DRect* window) {
  QuadCell root;
  int32_t limit = 0;
  double smallest = 0;
  quadkey_setup(bounds, &root, &limit, &smallest);
  *count = 0;
  QuadCell* found = quadkey_find_cell(window, &root, smallest, limit);
  if (!found) return 1;
  int32_t depth = std::min(limit, found->level + 2);
  int16_t ok = quadkey_collect(list, count, window, found, smallest, depth);
  mem_free(&found);
  return ok;
}
