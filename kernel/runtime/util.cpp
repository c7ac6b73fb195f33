// Binary search, CRC-16, colour closeness, ticks and random numbers.
#include "kernel/runtime/util.h"

#include <time.h>

#include <array>
#include <clocale>
#include <cstring>
#include <random>

namespace {

struct UtilState {
  bool seeded = false;
  std::minstd_rand random;
};
UtilState g_util;

const std::array<uint16_t, 256>& crc_table() {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint16_t c = static_cast<uint16_t>(i);
      for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
      t[i] = c;
    }
    return t;
  }();
  return table;
}

}  // namespace

const void* util_bsearch(const void* key, const void* base, int32_t count, int32_t size, UtilCompare compare,
                         int16_t* found) {
  if (found) *found = 0;
  if (base == nullptr || compare == nullptr || count <= 0 || size <= 0) return base;
  auto* bytes = static_cast<const unsigned char*>(base);
  int32_t lo = 0;
  int32_t hi = count;
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    const void* element = bytes + static_cast<size_t>(mid) * size;
    int c = compare(key, element);
    if (c == 0) {
      if (found) *found = 1;
      return element;
    }
    if (c < 0) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return bytes + static_cast<size_t>(lo) * size;
}

uint16_t util_crc16(const void* bytes, int64_t count) {
  if (bytes == nullptr || count <= 0) return 0;
  const auto& table = crc_table();
  auto* p = static_cast<const unsigned char*>(bytes);
  uint16_t crc = 0;
  for (int64_t i = 0; i < count; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ p[i]) & 0xFF]);
  return crc;
}

int32_t util_color_closeness(uint32_t a, uint32_t b) {
  int32_t dr = static_cast<int32_t>(a & 0xFF) - static_cast<int32_t>(b & 0xFF);
  int32_t dg = static_cast<int32_t>((a >> 8) & 0xFF) - static_cast<int32_t>((b >> 8) & 0xFF);
  int32_t db = static_cast<int32_t>((a >> 16) & 0xFF) - static_cast<int32_t>((b >> 16) & 0xFF);
  return 1000 - (dr * dr + dg * dg + db * db) * 1000 / 195075;
}

namespace {
UtilTickSource g_tick_source = nullptr;
}  // namespace

void util_test_set_ticks(UtilTickSource source) { g_tick_source = source; }

uint32_t util_ticks() {
  if (g_tick_source != nullptr) return g_tick_source();
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t hundredths = static_cast<uint64_t>(ts.tv_sec) * 100 + static_cast<uint64_t>(ts.tv_nsec) / 10000000;
  return static_cast<uint32_t>(hundredths);
}

uint32_t util_double_click_time() { return 50; }

void util_wait(uint32_t hundredths) {
  uint32_t start = util_ticks();
  while (util_ticks() - start < hundredths) {
  }
}

int32_t util_random(int32_t n) {
  if (n <= 0) return 0;
  if (!g_util.seeded) {
    g_util.random.seed(util_ticks() + 1);
    g_util.seeded = true;
  }
  return static_cast<int32_t>(g_util.random() % static_cast<uint32_t>(n));
}

void util_c_numeric_locale() {
  const char* current = std::setlocale(LC_NUMERIC, nullptr);
  if (current == nullptr || std::strcmp(current, "C") != 0) std::setlocale(LC_NUMERIC, "C");
}

IntRect* util_rect_set(IntRect* rect, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (rect) *rect = IntRect{x1, y1, x2, y2};
  return rect;
}
