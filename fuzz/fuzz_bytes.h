// Reading typed values off a fuzz input: each take copies as many bytes as
// are left (zeros after the end) and moves on.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

struct FuzzBytes {
  const uint8_t* p;
  size_t n;
  template <class T>
  T take() {
    T v{};
    size_t k = n < sizeof v ? n : sizeof v;
    std::memcpy(&v, p, k);
    p += k, n -= k;
    return v;
  }
};

#include <cstdio>

// Writes the bytes as a whole file; false when it cannot be made.
inline bool fuzz_put_file(const char* path, const void* data, size_t size) {
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}
