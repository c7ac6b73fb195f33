// Little-endian codecs of the storage files: integers and doubles read from
// and written to byte positions, never through struct casts.
#pragma once
#include <cstdint>
#include <cstring>

inline uint16_t le_get_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le_get_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t le_get_u64(const uint8_t* p) {
  return static_cast<uint64_t>(le_get_u32(p)) | (static_cast<uint64_t>(le_get_u32(p + 4)) << 32);
}
inline void le_put_u16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void le_put_u32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void le_put_u64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline double le_get_double(const uint8_t* p) {
  const uint64_t bits = le_get_u64(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
inline void le_put_double(uint8_t* p, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  le_put_u64(p, bits);
}
