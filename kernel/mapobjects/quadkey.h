// Quad keys: the text name of the deepest cell of a quad-tree over a fixed
// bounds rectangle that wholly contains a rectangle, and the cells that cover
// a search window.
//
// A key is "A" followed by one letter "A".."P" per two levels: the letter's
// index is the first level's quadrant code times 4 plus the second's. Codes:
// 0 lower left, 1 upper left, 3 upper right, 2 lower right, tried in that
// order. A cell carries its level; odd levels end in a letter whose second
// code is 0. Bounds whose smallest cell would be below the double's epsilon
// (or whose extent is not positive) allow no descent: every key is "A".
#pragma once
#include <cstdint>

#include "kernel/runtime/list.h"
#include "kernel/runtime/rect.h"

constexpr int32_t kQuadKeyLevels = 32;
constexpr int32_t kQuadKeyTextSize = 18;

struct QuadCell {
  double x1, y1, x2, y2;
  int16_t level;
  uint8_t key[8];
};

struct QuadKeyNode {
  QuadKeyNode* next;
  int16_t level;
  char key[kQuadKeyTextSize];
};

void quadkey_of_rect(const DRect* bounds, const DRect* rect, char* out);
// Appends one node per covering cell; 0 only when a node could not be had.
int16_t quadkey_window_ranges(KernelList* list, int32_t* count, const DRect* bounds, const DRect* window);
void quadkey_setup(const DRect* bounds, QuadCell* cell, int32_t* depth_limit, double* smallest);
// A new kernel block the caller frees, or null.
QuadCell* quadkey_find_cell(const DRect* rect, const QuadCell* cell, double smallest, int32_t depth_limit);
int16_t quadkey_collect(KernelList* list, int32_t* count, const DRect* window, const QuadCell* cell, double smallest,
                        int32_t depth);
void quadkey_set_quadrant(int32_t code, QuadCell* cell);
void quadkey_to_text(char* out, const uint8_t key[8], int32_t level);
