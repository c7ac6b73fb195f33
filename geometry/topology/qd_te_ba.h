// Bit arrays of the engine: a counted, zero-filled set of bits indexed
// from 0 to nbits (inclusive), and an uncounted set for callers that index
// it themselves. Bit i lives in byte i / 8, least significant bit first.
#pragma once

#include <cstdint>

struct TeBitArray {
    uint32_t nbits;  // highest index that may be used
    uint8_t* bits;   // nbits / 8 + 1 bytes
};

int qd_te_ba_alloc(TeBitArray* array, uint32_t nbits);
int qd_te_ba_free(TeBitArray* array);
void qd_te_ba_init(TeBitArray* array);
int qd_te_ba_set(TeBitArray* array, uint32_t bit);
int qd_te_ba_test(const TeBitArray* array, uint32_t bit);
void qd_te_ba_clear_all(TeBitArray* array);
int qd_te_ba_test_and_set(TeBitArray* array, uint32_t bit, int* was_set);
// (n + 8) / 8 zero-filled bytes, or null for n <= 0; released with qd_free.
uint8_t* qd_te_bits_alloc(int32_t n);
