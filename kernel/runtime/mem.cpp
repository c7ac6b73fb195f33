// Kernel memory blocks on top of the C heap. Every block carries a 16-byte
// header in front holding the size asked for; that size is what mem_size
// reports and up to where growth is zero-filled.
#include "kernel/runtime/mem.h"

#include <cstdlib>
#include <cstring>

#include "kernel/runtime/err.h"

namespace {

constexpr size_t kHeader = 16;
constexpr int64_t kMaxSize = 0xFFFFFFFFLL;

struct MemState {
  int32_t fail_countdown = 0;  // 0: never fail
};
MemState g_mem;

bool injected_failure() {
  if (g_mem.fail_countdown <= 0) return false;
  return --g_mem.fail_countdown == 0;
}

size_t normalise(int64_t size) { return size == 0 ? 1 : static_cast<size_t>(size); }

unsigned char* raw_of(const void* block) {
  return static_cast<unsigned char*>(const_cast<void*>(block)) - kHeader;
}

size_t stored_size(const void* block) {
  size_t n;
  std::memcpy(&n, raw_of(block), sizeof n);
  return n;
}

void* finish(unsigned char* raw, size_t size) {
  std::memcpy(raw, &size, sizeof size);
  return raw + kHeader;
}

}  // namespace

void mem_test_fail_nth(int32_t n) { g_mem.fail_countdown = n > 0 ? n : 0; }

void* mem_raw_alloc(int64_t size) {
  if (size < 0 || size > kMaxSize || injected_failure()) return nullptr;
  size_t n = normalise(size);
  auto* raw = static_cast<unsigned char*>(std::calloc(1, n + kHeader));
  return raw ? finish(raw, n) : nullptr;
}

void* mem_raw_realloc(void* block, int64_t size) {
  if (block == nullptr) return mem_raw_alloc(size);
  if (size < 0 || size > kMaxSize || injected_failure()) return nullptr;
  size_t n = normalise(size);
  size_t old = stored_size(block);
  auto* raw = static_cast<unsigned char*>(std::realloc(raw_of(block), n + kHeader));
  if (raw == nullptr) return nullptr;
  if (n > old) std::memset(raw + kHeader + old, 0, n - old);
  return finish(raw, n);
}

void mem_raw_free(void* block) {
  if (block != nullptr) std::free(raw_of(block));
}

int16_t mem_alloc_zeroed(int64_t size, void** handle, void** pointer) {
  void* block = mem_raw_alloc(size);
  if (handle) *handle = block;
  if (pointer) *pointer = block;
  if (block == nullptr) {
    err_push(4, kErrMemAlloc, nullptr, nullptr);
    return 0;
  }
  return 1;
}

int16_t mem_alloc_block(int64_t size, void** handle, void** pointer) {
  return mem_alloc_zeroed(size, handle, pointer);
}

int16_t mem_alloc_tagged(int64_t size, void** handle, void** pointer, const char*, int32_t) {
  return mem_alloc_zeroed(size, handle, pointer);
}

int16_t mem_realloc(int64_t size, void** handle, void** pointer) {
  if (handle == nullptr) return 0;
  void* block = mem_raw_realloc(*handle, size);
  if (block == nullptr) {
    if (pointer) *pointer = *handle;
    err_push(4, kErrMemRealloc, nullptr, nullptr);
    return 0;
  }
  *handle = block;
  if (pointer) *pointer = block;
  return 1;
}

int16_t mem_realloc_tagged(int64_t size, void** handle, void** pointer, const char*, int32_t) {
  return mem_realloc(size, handle, pointer);
}

int16_t mem_ensure(int64_t size, void** handle, void** pointer, int16_t keep) {
  if (handle == nullptr) return 0;
  if (*handle == nullptr) return mem_alloc_zeroed(size, handle, pointer);
  if (keep && size >= 0 && mem_size(*handle) >= static_cast<size_t>(size)) return 1;
  if (pointer && *pointer == nullptr) *pointer = *handle;
  return mem_realloc(size, handle, pointer);
}

void mem_free(void** handle) {
  if (handle == nullptr) return;
  mem_raw_free(*handle);
  *handle = nullptr;
}

size_t mem_size(const void* block) { return block ? stored_size(block) : 0; }

size_t mem_handle_size(const void* block) { return mem_size(block); }

void* mem_dup(const void* block) {
  if (block == nullptr) return nullptr;
  size_t n = stored_size(block);
  void* copy = mem_raw_alloc(static_cast<int64_t>(n));
  if (copy) std::memcpy(copy, block, n);
  return copy;
}

void* mem_lock(void* block) { return block; }

int16_t mem_unlock(void*) { return 1; }
