// Blob buffer and byte codecs: the cursor through which every byte string of
// the geometry library is written and read, and the little-endian codecs
// that move one scalar between bytes and memory.
//
// Every string starts with its unsigned 32-bit total length (the four length
// bytes included). A writer owns its storage and grows it on demand; a reader
// walks a caller's string and refuses, silently, any read that would pass the
// length recorded in the string. Offsets are kept in 64 bits while checked,
// so no read or reservation wraps.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

struct BlobBuffer {
    uint8_t* base;      // writer: owned storage; reader: the caller's string
    uint8_t* cursor;    // next byte written or read
    uint32_t used;      // writer: high-water mark; reader: total length
    uint32_t capacity;  // writer: bytes at base; reader: equal to used
};

// Writer. Results 1 or 0; a failed allocation is reported ("UKT_0") and
// leaves the buffer as it was.
// The scalar writers are inline: a blob is written a few bytes at a time,
// and only growing the storage leaves the header.
int ktgeo_blob_init(BlobBuffer* buffer, uint32_t capacity);
// Grows the storage for n more bytes at the cursor (the slow half of reserve).
int ktgeo_blob_grow(BlobBuffer* buffer, uint32_t n);
inline int ktgeo_blob_reserve(BlobBuffer* buffer, uint32_t n) {
    const uint32_t at = static_cast<uint32_t>(buffer->cursor - buffer->base);
    return buffer->capacity - at >= n ? 1 : ktgeo_blob_grow(buffer, n);
}
inline int ktgeo_blob_write_uc1(BlobBuffer* buffer, const uint8_t* value);
inline int ktgeo_blob_write_c4(BlobBuffer* buffer, const char* tag);
inline int ktgeo_blob_write_i4(BlobBuffer* buffer, const int32_t* value);
inline int ktgeo_blob_write_ui4(BlobBuffer* buffer, const uint32_t* value);
inline int ktgeo_blob_write_f4(BlobBuffer* buffer, const float* value);
inline int ktgeo_blob_write_f8(BlobBuffer* buffer, const double* value);
int ktgeo_blob_write_bytes(BlobBuffer* buffer, const void* data, uint32_t n);
// Straight-line writing: the cursor with room for n bytes after it (null
// when the storage cannot grow), then, once bytes are put from it with the
// byte codecs below, the cursor moved to the byte after them (answers 1).
inline uint8_t* ktgeo_blob_room(BlobBuffer* buffer, uint32_t n);
inline int ktgeo_blob_written_to(BlobBuffer* buffer, uint8_t* end);
// Stores the length word and hands the storage (release with qd_free) to the caller.
uint8_t* ktgeo_blob_detach(BlobBuffer* buffer);
int ktgeo_blob_free(BlobBuffer* buffer);

// Reader. The string must hold at least its four length bytes.
int ktgeo_blob_open(BlobBuffer* buffer, const uint8_t* string);
int ktgeo_blob_read_uc1(BlobBuffer* buffer, uint8_t* value);
int ktgeo_blob_read_c4(BlobBuffer* buffer, char* tag);
int ktgeo_blob_read_i4(BlobBuffer* buffer, int32_t* value);
int ktgeo_blob_read_ui4(BlobBuffer* buffer, uint32_t* value);
int ktgeo_blob_read_f4(BlobBuffer* buffer, float* value);
int ktgeo_blob_read_f8(BlobBuffer* buffer, double* value);
// The bytes from the cursor to the end in a new qd_alloc block.
int ktgeo_blob_read_rest(BlobBuffer* buffer, uint8_t** block, uint32_t* length);
int ktgeo_blob_seek(BlobBuffer* buffer, uint32_t offset);
uint32_t ktgeo_blob_tell(const BlobBuffer* buffer);
int ktgeo_blob_at_end(const BlobBuffer* buffer);
// Bytes between the cursor and the recorded end (0 when the cursor is past it).
uint32_t ktgeo_blob_left(const BlobBuffer* buffer);

// The total length stored at the start of a finished string.
uint32_t blob_length(const void* string);

// Byte codecs: no bounds checks, the caller guarantees room. A get returns
// the source advanced by the width, a put the destination advanced by it.
// Little-endian words; on a little-endian host the bytes are the value's own
// and move as one block.
namespace ktgeo_blob_detail {
template <typename U>
inline U get_le(const uint8_t* src) {
    U v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, src, sizeof(U));
    } else {
        for (size_t i = 0; i < sizeof(U); ++i) v = static_cast<U>(v | (U{src[i]} << (8 * i)));
    }
    return v;
}
template <typename U>
inline uint8_t* put_le(uint8_t* dst, U v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(dst, &v, sizeof(U));
    } else {
        for (size_t i = 0; i < sizeof(U); ++i) dst[i] = static_cast<uint8_t>(v >> (8 * i));
    }
    return dst + sizeof(U);
}
}  // namespace ktgeo_blob_detail

inline const uint8_t* byte_get_uc1(const uint8_t* src, uint8_t* value) {
    *value = src[0];
    return src + 1;
}
inline const uint8_t* byte_get_i2(const uint8_t* src, int16_t* value) {
    *value = static_cast<int16_t>(ktgeo_blob_detail::get_le<uint16_t>(src));
    return src + 2;
}
inline const uint8_t* byte_get_ui2(const uint8_t* src, uint16_t* value) {
    *value = ktgeo_blob_detail::get_le<uint16_t>(src);
    return src + 2;
}
inline const uint8_t* byte_get_i4(const uint8_t* src, int32_t* value) {
    *value = static_cast<int32_t>(ktgeo_blob_detail::get_le<uint32_t>(src));
    return src + 4;
}
inline const uint8_t* byte_get_ui4(const uint8_t* src, uint32_t* value) {
    *value = ktgeo_blob_detail::get_le<uint32_t>(src);
    return src + 4;
}
inline const uint8_t* byte_get_f4(const uint8_t* src, float* value) {
    *value = std::bit_cast<float>(ktgeo_blob_detail::get_le<uint32_t>(src));
    return src + 4;
}
inline const uint8_t* byte_get_f8(const uint8_t* src, double* value) {
    *value = std::bit_cast<double>(ktgeo_blob_detail::get_le<uint64_t>(src));
    return src + 8;
}
inline const uint8_t* byte_get_c4(const uint8_t* src, char* tag) {
    for (int i = 0; i < 4; ++i) tag[i] = static_cast<char>(src[i]);
    return src + 4;
}
inline const uint8_t* byte_get_bytes(const uint8_t* src, void* data, size_t n) {
    if (n) std::memcpy(data, src, n);
    return src + n;
}
inline uint8_t* byte_put_uc1(uint8_t* dst, uint8_t value) {
    dst[0] = value;
    return dst + 1;
}
inline uint8_t* byte_put_i2(uint8_t* dst, int16_t value) {
    return ktgeo_blob_detail::put_le(dst, static_cast<uint16_t>(value));
}
inline uint8_t* byte_put_ui2(uint8_t* dst, uint16_t value) {
    return ktgeo_blob_detail::put_le(dst, value);
}
inline uint8_t* byte_put_i4(uint8_t* dst, int32_t value) {
    return ktgeo_blob_detail::put_le(dst, static_cast<uint32_t>(value));
}
inline uint8_t* byte_put_ui4(uint8_t* dst, uint32_t value) {
    return ktgeo_blob_detail::put_le(dst, value);
}
inline uint8_t* byte_put_f4(uint8_t* dst, float value) {
    return ktgeo_blob_detail::put_le(dst, std::bit_cast<uint32_t>(value));
}
inline uint8_t* byte_put_f8(uint8_t* dst, double value) {
    return ktgeo_blob_detail::put_le(dst, std::bit_cast<uint64_t>(value));
}
inline uint8_t* byte_put_c4(uint8_t* dst, const char* tag) {
    for (int i = 0; i < 4; ++i) dst[i] = static_cast<uint8_t>(tag[i]);
    return dst + 4;
}
inline uint8_t* byte_put_bytes(uint8_t* dst, const void* data, size_t n) {
    if (n) std::memcpy(dst, data, n);
    return dst + n;
}

// ------------------------------------------------------------ inline writers

inline uint8_t* ktgeo_blob_room(BlobBuffer* buffer, uint32_t n) {
    return ktgeo_blob_reserve(buffer, n) ? buffer->cursor : nullptr;
}
inline int ktgeo_blob_written_to(BlobBuffer* buffer, uint8_t* end) {
    buffer->cursor = end;
    const uint32_t at = static_cast<uint32_t>(end - buffer->base);
    if (at > buffer->used) buffer->used = at;
    return 1;
}

namespace ktgeo_blob_detail {
// Advances a writer over n bytes just written.
inline int advance(BlobBuffer* b, uint32_t n) { return ktgeo_blob_written_to(b, b->cursor + n); }
}  // namespace ktgeo_blob_detail

inline int ktgeo_blob_write_uc1(BlobBuffer* buffer, const uint8_t* value) {
    if (!ktgeo_blob_reserve(buffer, 1)) return 0;
    byte_put_uc1(buffer->cursor, *value);
    return ktgeo_blob_detail::advance(buffer, 1);
}
inline int ktgeo_blob_write_c4(BlobBuffer* buffer, const char* tag) {
    if (!ktgeo_blob_reserve(buffer, 4)) return 0;
    byte_put_c4(buffer->cursor, tag);
    return ktgeo_blob_detail::advance(buffer, 4);
}
inline int ktgeo_blob_write_i4(BlobBuffer* buffer, const int32_t* value) {
    if (!ktgeo_blob_reserve(buffer, 4)) return 0;
    byte_put_i4(buffer->cursor, *value);
    return ktgeo_blob_detail::advance(buffer, 4);
}
inline int ktgeo_blob_write_ui4(BlobBuffer* buffer, const uint32_t* value) {
    if (!ktgeo_blob_reserve(buffer, 4)) return 0;
    byte_put_ui4(buffer->cursor, *value);
    return ktgeo_blob_detail::advance(buffer, 4);
}
inline int ktgeo_blob_write_f4(BlobBuffer* buffer, const float* value) {
    if (!ktgeo_blob_reserve(buffer, 4)) return 0;
    byte_put_f4(buffer->cursor, *value);
    return ktgeo_blob_detail::advance(buffer, 4);
}
inline int ktgeo_blob_write_f8(BlobBuffer* buffer, const double* value) {
    if (!ktgeo_blob_reserve(buffer, 8)) return 0;
    byte_put_f8(buffer->cursor, *value);
    return ktgeo_blob_detail::advance(buffer, 8);
}
