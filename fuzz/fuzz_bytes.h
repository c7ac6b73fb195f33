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
