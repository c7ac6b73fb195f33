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

uint32_t blob_length(const void* string) {
    uint32_t n = 0;
    byte_get_ui4(static_cast<const uint8_t*>(string), &n);
    return n;
}

// ------------------------------------------------------------ writer

namespace {

uint32_t offset_of(const BlobBuffer* b) { return static_cast<uint32_t>(b->cursor - b->base); }

void clear(BlobBuffer* b) { *b = BlobBuffer{nullptr, nullptr, 0, 0}; }

}  // namespace

int ktgeo_blob_init(BlobBuffer* buffer, uint32_t capacity) {
    clear(buffer);
    uint8_t* block = static_cast<uint8_t*>(qd_alloc(capacity));
    if (!block) return 0;
    *buffer = BlobBuffer{block, block, 0, capacity};
    return 1;
}

int ktgeo_blob_grow(BlobBuffer* buffer, uint32_t n) {
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

int ktgeo_blob_write_bytes(BlobBuffer* buffer, const void* data, uint32_t n) {
    if (!ktgeo_blob_reserve(buffer, n)) return 0;
    byte_put_bytes(buffer->cursor, data, n);
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
