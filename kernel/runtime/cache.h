// The block cache: one write-back cache of 400 blocks of 512 bytes shared by
// all binary file input and output of the kernel. Reads are served from
// cached blocks; writes change cached blocks and mark them dirty; dirty
// blocks reach the disk when their file is closed, flushed or dropped, or
// when the least recently used block is taken for a new one (all dirty
// blocks of that file are then written together, in block order).
#pragma once
#include <cstdint>

constexpr int kCacheBlockSize = 512;
constexpr int kCacheHeaders = 401;
constexpr int kCacheUsable = 400;
constexpr uint32_t kCacheDirty = 1;

struct CacheBlock {
  int32_t block;   // file offset / 512
  int32_t spare;
  int16_t next;    // LRU ring
  int16_t prev;
  int32_t handle;  // 0 for a free header
  int32_t valid;   // bytes of the slot that hold file data
  int32_t slot;
  uint32_t flags;
};

// Sets the cache up (answers 0); while it is not set up, file_read and
// file_write go straight to the descriptor.
int16_t block_cache_init();
// Writes the dirty blocks of every file, closes the idle files and releases
// the cache.
void block_cache_free();
// Releases the cache without closing or writing anything.
void block_cache_release();
int16_t block_cache_active();

// Writes every dirty block of a file (-1: of all files) in index order,
// stopping at the first failure; 1 when all were written.
int16_t cache_flush(int32_t handle);
// Writes each dirty block of a file and frees all its blocks; 1 when every
// write worked.
int16_t cache_flush_drop(int32_t handle);
// Mode 0 finds, 1 claims without reading, 2 claims and reads.
CacheBlock* cache_get_block(int32_t handle, int32_t block, int mode);
const uint8_t* cache_block_data(const CacheBlock* block);
// From and to the handle's position; answer the bytes moved (-1 when a
// write failed).
int32_t cache_read(int32_t handle, void* buffer, int32_t count);
int32_t cache_write(int32_t handle, const void* buffer, int32_t count);
// Fixes the cached blocks of a file whose size changed.
void cache_set_size(int32_t handle, int32_t new_size, int32_t old_size);
