// Blob buffer and byte codecs. Writers grow geometrically (at least doubling,
// with 128 bytes of room after the value that caused the growth), so a blob
// of n bytes costs O(log n) reallocations; the bytes written are the same
// whatever the growth. Storage past the high-water mark is never read, so it
// is not cleared. Readers check every read against the recorded length.
#include "geometry/ktgeo_blob.h"

#include <bit>
#include <cstring>
#include <limits>

#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"

// ------------------------------------------------------------ codecs

namespace {

template <typename U>
U get_le(const uint8_t* src) {
    U v = 0;
    for (size_t i = 0; i < sizeof(U); ++i) v = static_cast<U>(v | (U{src[i]} << (8 * i)));
    return v;
}

template <typename U>
uint8_t* put_le(uint8_t* dst, U v) {
    for (size_t i = 0; i < sizeof(U); ++i) dst[i] = static_cast<uint8_t>(v >> (8 * i));
    return dst + sizeof(U);
}

}  // namespace

const uint8_t* byte_get_uc1(const uint8_t* src, uint8_t* value) {
    *value = src[0];
    return src + 1;
}
const uint8_t* byte_get_i2(const uint8_t* src, int16_t* value) {
    *value = static_cast<int16_t>(get_le<uint16_t>(src));
    return src + 2;
}
const uint8_t* byte_get_ui2(const uint8_t* src, uint16_t* value) {
    *value = get_le<uint16_t>(src);
    return src + 2;
}
const uint8_t* byte_get_i4(const uint8_t* src, int32_t* value) {
    *value = static_cast<int32_t>(get_le<uint32_t>(src));
    return src + 4;
}
const uint8_t* byte_get_ui4(const uint8_t* src, uint32_t* value) {
    *value = get_le<uint32_t>(src);
    return src + 4;
}
const uint8_t* byte_get_f4(const uint8_t* src, float* value) {
    *value = std::bit_cast<float>(get_le<uint32_t>(src));
    return src + 4;
}
const uint8_t* byte_get_f8(const uint8_t* src, double* value) {
    *value = std::bit_cast<double>(get_le<uint64_t>(src));
    return src + 8;
}
const uint8_t* byte_get_c4(const uint8_t* src, char* tag) {
    for (int i = 0; i < 4; ++i) tag[i] = static_cast<char>(src[i]);
    return src + 4;
}
const uint8_t* byte_get_bytes(const uint8_t* src, void* data, size_t n) {
    if (n) std::memcpy(data, src, n);
    return src + n;
}

uint8_t* byte_put_uc1(uint8_t* dst, uint8_t value) {
    dst[0] = value;
    return dst + 1;
}
uint8_t* byte_put_i2(uint8_t* dst, int16_t value) {
    return put_le(dst, static_cast<uint16_t>(value));
}
uint8_t* byte_put_ui2(uint8_t* dst, uint16_t value) { return put_le(dst, value); }
uint8_t* byte_put_i4(uint8_t* dst, int32_t value) {
    return put_le(dst, static_cast<uint32_t>(value));
}
uint8_t* byte_put_ui4(uint8_t* dst, uint32_t value) { return put_le(dst, value); }
uint8_t* byte_put_f4(uint8_t* dst, float value) {
    return put_le(dst, std::bit_cast<uint32_t>(value));
}
uint8_t* byte_put_f8(uint8_t* dst, double value) {
    return put_le(dst, std::bit_cast<uint64_t>(value));
}
uint8_t* byte_put_c4(uint8_t* dst, const char* tag) {
    for (int i = 0; i < 4; ++i) dst[i] = static_cast<uint8_t>(tag[i]);
    return dst + 4;
}
uint8_t* byte_put_bytes(uint8_t* dst, const void* data, size_t n) {
    if (n) std::memcpy(dst, data, n);
    return dst + n;
}

uint32_t blob_length(const void* string) {
    return get_le<uint32_t>(static_cast<const uint8_t*>(string));
}

// ------------------------------------------------------------ writer

namespace {

uint32_t offset_of(const BlobBuffer* b) { return static_cast<uint32_t>(b->cursor - b->base); }

void clear(BlobBuffer* b) { *b = BlobBuffer{nullptr, nullptr, 0, 0}; }

// Advances a writer over n bytes just written.
int advance(BlobBuffer* b, uint32_t n) {
    b->cursor += n;
    if (offset_of(b) > b->used) b->used = offset_of(b);
    return 1;
}

// Reserves room for `width` bytes and returns where they go, or null.
uint8_t* room(BlobBuffer* b, uint32_t width) {
    return ktgeo_blob_reserve(b, width) ? b->cursor : nullptr;
}

}  // namespace

int ktgeo_blob_init(BlobBuffer* buffer, uint32_t capacity) {
    clear(buffer);
    uint8_t* block = static_cast<uint8_t*>(qd_alloc(capacity));
    if (!block) return 0;
    *buffer = BlobBuffer{block, block, 0, capacity};
    return 1;
}

int ktgeo_blob_reserve(BlobBuffer* buffer, uint32_t n) {
    const uint64_t at = offset_of(buffer);
    if (buffer->capacity - at >= n) return 1;
    constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
    const uint64_t needed = at + n;
    if (needed > kMax) {
        QD_FAIL("UKT_0", "function%s", "ktgeo_blob_reserve", nullptr);
        return 0;
    }
    uint64_t grown = uint64_t{buffer->capacity} * 2;
    if (grown < needed + 128) grown = needed + 128;
    if (grown > kMax) grown = kMax;
    uint8_t* block = static_cast<uint8_t*>(qd_alloc(static_cast<size_t>(grown)));
    if (!block) return 0;
    if (buffer->used) std::memcpy(block, buffer->base, buffer->used);
    qd_free(buffer->base);
    buffer->base = block;
    buffer->cursor = block + at;
    buffer->capacity = static_cast<uint32_t>(grown);
    return 1;
}

int ktgeo_blob_write_uc1(BlobBuffer* buffer, const uint8_t* value) {
    uint8_t* p = room(buffer, 1);
    return p ? (byte_put_uc1(p, *value), advance(buffer, 1)) : 0;
}
int ktgeo_blob_write_c4(BlobBuffer* buffer, const char* tag) {
    uint8_t* p = room(buffer, 4);
    return p ? (byte_put_c4(p, tag), advance(buffer, 4)) : 0;
}
int ktgeo_blob_write_i4(BlobBuffer* buffer, const int32_t* value) {
    uint8_t* p = room(buffer, 4);
    return p ? (byte_put_i4(p, *value), advance(buffer, 4)) : 0;
}
int ktgeo_blob_write_ui4(BlobBuffer* buffer, const uint32_t* value) {
    uint8_t* p = room(buffer, 4);
    return p ? (byte_put_ui4(p, *value), advance(buffer, 4)) : 0;
}
int ktgeo_blob_write_f4(BlobBuffer* buffer, const float* value) {
    uint8_t* p = room(buffer, 4);
    return p ? (byte_put_f4(p, *value), advance(buffer, 4)) : 0;
}
int ktgeo_blob_write_f8(BlobBuffer* buffer, const double* value) {
    uint8_t* p = room(buffer, 8);
    return p ? (byte_put_f8(p, *value), advance(buffer, 8)) : 0;
}

int ktgeo_blob_write_bytes(BlobBuffer* buffer, const void* data, uint32_t n) {
    uint8_t* p = room(buffer, n);
    if (!p) return 0;
    byte_put_bytes(p, data, n);
    buffer->cursor += n;
    buffer->used = offset_of(buffer);
    if (buffer->capacity >= 4) byte_put_ui4(buffer->base, buffer->used);
    return 1;
}

uint8_t* ktgeo_blob_detach(BlobBuffer* buffer) {
    uint8_t* block = buffer->base;
    if (block && buffer->capacity >= 4) byte_put_ui4(block, buffer->used);
    clear(buffer);
    return block;
}

int ktgeo_blob_free(BlobBuffer* buffer) {
    qd_free(buffer->base);
    clear(buffer);
    return 1;
}

// ------------------------------------------------------------ reader

namespace {

// Where a read of `width` bytes starts, or null when it would pass the end.
const uint8_t* take(BlobBuffer* b, uint32_t width) {
    if (uint64_t{offset_of(b)} + width > b->used) return nullptr;
    const uint8_t* p = b->cursor;
    b->cursor += width;
    return p;
}

}  // namespace

int ktgeo_blob_open(BlobBuffer* buffer, const uint8_t* string) {
    uint8_t* s = const_cast<uint8_t*>(string);
    const uint32_t length = blob_length(string);
    *buffer = BlobBuffer{s, s + 4, length, length};
    return 1;
}

int ktgeo_blob_read_uc1(BlobBuffer* buffer, uint8_t* value) {
    const uint8_t* p = take(buffer, 1);
    return p ? (byte_get_uc1(p, value), 1) : 0;
}
int ktgeo_blob_read_c4(BlobBuffer* buffer, char* tag) {
    const uint8_t* p = take(buffer, 4);
    return p ? (byte_get_c4(p, tag), 1) : 0;
}
int ktgeo_blob_read_i4(BlobBuffer* buffer, int32_t* value) {
    const uint8_t* p = take(buffer, 4);
    return p ? (byte_get_i4(p, value), 1) : 0;
}
int ktgeo_blob_read_ui4(BlobBuffer* buffer, uint32_t* value) {
    const uint8_t* p = take(buffer, 4);
    return p ? (byte_get_ui4(p, value), 1) : 0;
}
int ktgeo_blob_read_f4(BlobBuffer* buffer, float* value) {
    const uint8_t* p = take(buffer, 4);
    return p ? (byte_get_f4(p, value), 1) : 0;
}
int ktgeo_blob_read_f8(BlobBuffer* buffer, double* value) {
    const uint8_t* p = take(buffer, 8);
    return p ? (byte_get_f8(p, value), 1) : 0;
}

uint32_t ktgeo_blob_left(const BlobBuffer* buffer) {
    const uint32_t at = offset_of(buffer);
    return at < buffer->used ? buffer->used - at : 0;
}

int ktgeo_blob_read_rest(BlobBuffer* buffer, uint8_t** block, uint32_t* length) {
    const uint32_t n = ktgeo_blob_left(buffer);
    uint8_t* out = static_cast<uint8_t*>(qd_alloc(n));
    if (!out) return 0;
    if (n) std::memcpy(out, buffer->cursor, n);
    buffer->cursor = buffer->base + buffer->used;
    *block = out;
    *length = n;
    return 1;
}

int ktgeo_blob_seek(BlobBuffer* buffer, uint32_t offset) {
    if (offset > buffer->used) return 0;
    buffer->cursor = buffer->base + offset;
    return 1;
}

uint32_t ktgeo_blob_tell(const BlobBuffer* buffer) { return offset_of(buffer); }

int ktgeo_blob_at_end(const BlobBuffer* buffer) { return offset_of(buffer) == buffer->used; }
