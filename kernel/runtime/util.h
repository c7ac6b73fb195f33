// Kernel utilities: binary search, CRC-16, colour closeness, ticks and the
// random number source.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernel/runtime/intrect.h"

using UtilCompare = int (*)(const void* key, const void* element);

// Binary search over count sorted elements: the match with *found 1, or the
// element at the insertion position with *found 0.
const void* util_bsearch(const void* key, const void* base, int32_t count, int32_t size, UtilCompare compare,
                         int16_t* found);
// CRC-16/ARC (reflected 0xA001, initial 0, no final XOR).
uint16_t util_crc16(const void* bytes, int64_t count);
// 1000 for equal 0xBBGGRR colours down to 0 for black against white.
int32_t util_color_closeness(uint32_t a, uint32_t b);
// Monotonic ticks in hundredths of a second.
uint32_t util_ticks();
// Test seam: a function that gives the ticks instead of the clock; null
// restores the clock.
using UtilTickSource = uint32_t (*)();
void util_test_set_ticks(UtilTickSource source);
uint32_t util_double_click_time();
void util_wait(uint32_t hundredths);
// 0 to n-1; 0 for n <= 0.
int32_t util_random(int32_t n);
// Makes the C library's numeric conventions those of the "C" locale. The
// kernel's own number texts never depend on them; other code may.
void util_c_numeric_locale();
IntRect* util_rect_set(IntRect* rect, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
