// Points and rectangles of the integer coordinate space.
#pragma once
#include <cstdint>

struct IntPoint {
  int32_t x;
  int32_t y;
};

struct IntRect {
  int32_t x1;
  int32_t y1;
  int32_t x2;
  int32_t y2;
};
