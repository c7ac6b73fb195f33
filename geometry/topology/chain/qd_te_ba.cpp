// Counted and uncounted bit arrays.
#include <cstring>

#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_ba.h"

int qd_te_ba_alloc(TeBitArray* array, uint32_t nbits) {
    if (!array || nbits == 0) return qd_te_missing("qd_te_ba_alloc");
    const size_t bytes = size_t(nbits) / 8 + 1;
    auto* bits = static_cast<uint8_t*>(qd_alloc(bytes));
    if (!bits) return 0;
    std::memset(bits, 0, bytes);
    array->bits = bits;
    array->nbits = nbits;
    return 1;
}

int qd_te_ba_free(TeBitArray* array) {
    if (!array) return 0;
    qd_free(array->bits);
    array->bits = nullptr;
    array->nbits = 0;
    return 1;
}

void qd_te_ba_init(TeBitArray* array) {
    if (!array) return;
    array->bits = nullptr;
    array->nbits = 0;
}

int qd_te_ba_set(TeBitArray* array, uint32_t bit) {
    if (!array || !array->bits || bit > array->nbits) return qd_te_missing("qd_te_ba_set");
    array->bits[bit / 8] = uint8_t(array->bits[bit / 8] | (1u << (bit % 8)));
    return 1;
}

int qd_te_ba_test(const TeBitArray* array, uint32_t bit) {
    if (!array || !array->bits || bit > array->nbits) return 0;
    return (array->bits[bit / 8] >> (bit % 8)) & 1;
}

void qd_te_ba_clear_all(TeBitArray* array) {
    if (!array || !array->bits) return;
    std::memset(array->bits, 0, size_t(array->nbits) / 8 + 1);
}

int qd_te_ba_test_and_set(TeBitArray* array, uint32_t bit, int* was_set) {
    if (!array || !array->bits || bit > array->nbits || !was_set)
        return qd_te_missing("qd_te_ba_test_and_set");
    *was_set = qd_te_ba_test(array, bit);
    return qd_te_ba_set(array, bit);
}

uint8_t* qd_te_bits_alloc(int32_t n) {
    if (n <= 0) return nullptr;
    const size_t bytes = (size_t(n) + 8) / 8;
    auto* bits = static_cast<uint8_t*>(qd_alloc(bytes));
    if (bits) std::memset(bits, 0, bytes);
    return bits;
}
