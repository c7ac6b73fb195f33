// Kernel memory blocks: zero-filled allocation, zero-filled growth, numbered
// errors on exhaustion (632 allocation, 633 resize) and nulled variables on
// release. A block is named by a handle and a pointer variable, which both
// hold its address.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int16_t kErrMemAlloc = 632;
constexpr int16_t kErrMemRealloc = 633;

// Sizes are taken as 64-bit so that a negative size from a caller's
// arithmetic fails cleanly instead of turning into a huge request. Size 0 is
// taken as 1; sizes above 4 GiB - 1 fail.
int16_t mem_alloc_zeroed(int64_t size, void** handle, void** pointer);
int16_t mem_alloc_block(int64_t size, void** handle, void** pointer);
int16_t mem_alloc_tagged(int64_t size, void** handle, void** pointer, const char* tag, int32_t number);
int16_t mem_realloc(int64_t size, void** handle, void** pointer);
int16_t mem_realloc_tagged(int64_t size, void** handle, void** pointer, const char* tag, int32_t number);
int16_t mem_ensure(int64_t size, void** handle, void** pointer, int16_t keep);
void mem_free(void** handle);
// The size asked for the block (at least 1), 0 for a null block.
size_t mem_size(const void* block);
size_t mem_handle_size(const void* block);
void* mem_dup(const void* block);
void* mem_lock(void* block);
int16_t mem_unlock(void* block);

// Back end: size 0 taken as 1; no error is pushed.
void* mem_raw_alloc(int64_t size);
void* mem_raw_realloc(void* block, int64_t size);
void mem_raw_free(void* block);

// Test seam: the n-th allocation or resize from now (1 = the next) fails;
// 0 switches failures off.
void mem_test_fail_nth(int32_t n);

// Typed forms for callers' own pointer types.
template <class T>
int16_t mem_alloc_zeroed(int64_t size, T** handle, T** pointer) {
  void* h = nullptr;
  void* p = nullptr;
  int16_t r = mem_alloc_zeroed(size, &h, &p);
  if (handle) *handle = static_cast<T*>(h);
  if (pointer) *pointer = static_cast<T*>(p);
  return r;
}
template <class T>
int16_t mem_alloc_zeroed(int64_t size, T** handle) {
  return mem_alloc_zeroed<T>(size, handle, static_cast<T**>(nullptr));
}
template <class T>
int16_t mem_realloc(int64_t size, T** handle, T** pointer) {
  void* h = handle ? *handle : nullptr;
  void* p = pointer ? *pointer : nullptr;
  int16_t r = mem_realloc(size, &h, pointer ? &p : nullptr);
  if (handle) *handle = static_cast<T*>(h);
  if (pointer) *pointer = static_cast<T*>(p);
  return r;
}
template <class T>
int16_t mem_ensure(int64_t size, T** handle, T** pointer, int16_t keep) {
  void* h = handle ? *handle : nullptr;
  void* p = pointer ? *pointer : nullptr;
  int16_t r = mem_ensure(size, &h, pointer ? &p : nullptr, keep);
  if (handle) *handle = static_cast<T*>(h);
  if (pointer) *pointer = static_cast<T*>(p);
  return r;
}
template <class T>
void mem_free(T** handle) {
  if (handle == nullptr) return;
  void* h = *handle;
  mem_free(&h);
  *handle = nullptr;
}

// The name other modules use for the zero-filling allocator.
template <class T>
int16_t mem_alloc(int64_t size, T** handle, T** pointer) {
  return mem_alloc_zeroed(size, handle, pointer);
}
inline int16_t mem_alloc(int64_t size, void** handle, void** pointer) {
  return mem_alloc_zeroed(size, handle, pointer);
}
