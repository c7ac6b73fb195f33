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

#include <cstddef>
#include <cstdint>

struct BlobBuffer {
    uint8_t* base;      // writer: owned storage; reader: the caller's string
    uint8_t* cursor;    // next byte written or read
    uint32_t used;      // writer: high-water mark; reader: total length
    uint32_t capacity;  // writer: bytes at base; reader: equal to used
};

// Writer. Results 1 or 0; a failed allocation is reported ("UKT_0") and
// leaves the buffer as it was.
int ktgeo_blob_init(BlobBuffer* buffer, uint32_t capacity);
int ktgeo_blob_reserve(BlobBuffer* buffer, uint32_t n);
int ktgeo_blob_write_uc1(BlobBuffer* buffer, const uint8_t* value);
int ktgeo_blob_write_c4(BlobBuffer* buffer, const char* tag);
int ktgeo_blob_write_i4(BlobBuffer* buffer, const int32_t* value);
int ktgeo_blob_write_ui4(BlobBuffer* buffer, const uint32_t* value);
int ktgeo_blob_write_f4(BlobBuffer* buffer, const float* value);
int ktgeo_blob_write_f8(BlobBuffer* buffer, const double* value);
int ktgeo_blob_write_bytes(BlobBuffer* buffer, const void* data, uint32_t n);
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
const uint8_t* byte_get_uc1(const uint8_t* src, uint8_t* value);
const uint8_t* byte_get_i2(const uint8_t* src, int16_t* value);
const uint8_t* byte_get_ui2(const uint8_t* src, uint16_t* value);
const uint8_t* byte_get_i4(const uint8_t* src, int32_t* value);
const uint8_t* byte_get_ui4(const uint8_t* src, uint32_t* value);
const uint8_t* byte_get_f4(const uint8_t* src, float* value);
const uint8_t* byte_get_f8(const uint8_t* src, double* value);
const uint8_t* byte_get_c4(const uint8_t* src, char* tag);
const uint8_t* byte_get_bytes(const uint8_t* src, void* data, size_t n);
uint8_t* byte_put_uc1(uint8_t* dst, uint8_t value);
uint8_t* byte_put_i2(uint8_t* dst, int16_t value);
uint8_t* byte_put_ui2(uint8_t* dst, uint16_t value);
uint8_t* byte_put_i4(uint8_t* dst, int32_t value);
uint8_t* byte_put_ui4(uint8_t* dst, uint32_t value);
uint8_t* byte_put_f4(uint8_t* dst, float value);
uint8_t* byte_put_f8(uint8_t* dst, double value);
uint8_t* byte_put_c4(uint8_t* dst, const char* tag);
uint8_t* byte_put_bytes(uint8_t* dst, const void* data, size_t n);
