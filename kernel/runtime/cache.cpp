// The block cache: 401 headers (the last one only a search key), their data
// slots, an index of header numbers sorted by (file handle, block number)
// with the free headers first, and a ring of the 400 usable headers from the
// most to the least recently used.
#include "kernel/runtime/cache.h"

#include <algorithm>
#include <cstring>

#include "kernel/runtime/file.h"
#include "kernel/runtime/mem.h"

namespace {

struct BlockCache {
  CacheBlock* headers = nullptr;
  void* headers_handle = nullptr;
  uint8_t* data = nullptr;
  void* data_handle = nullptr;
  int16_t index[kCacheHeaders] = {};
  int16_t head = 0;  // most recently used; its prev is the tail
};
BlockCache g_cache;

uint8_t* slot_of(const CacheBlock& h) {
  return g_cache.data + static_cast<size_t>(h.slot) * kCacheBlockSize;
}

bool less_key(const CacheBlock& h, int32_t handle, int32_t block) {
  return h.handle < handle || (h.handle == handle && h.block < block);
}

// Position of (handle, block) among the first count index entries, or the
// position it would be inserted at; found tells which.
int lookup(int32_t handle, int32_t block, int count, bool* found) {
  int lo = 0;
  int hi = count;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (less_key(g_cache.headers[g_cache.index[mid]], handle, block)) lo = mid + 1;
    else hi = mid;
  }
  const CacheBlock* at = lo < count ? &g_cache.headers[g_cache.index[lo]] : nullptr;
  *found = at != nullptr && at->handle == handle && at->block == block;
  return lo;
}

// Index position of header h.
int position_of(int16_t h) {
  const CacheBlock& hdr = g_cache.headers[h];
  if (hdr.handle != 0) {
    bool found = false;
    int pos = lookup(hdr.handle, hdr.block, kCacheUsable, &found);
    // Equal keys cannot occur for used headers; the search lands on h.
    if (found && g_cache.index[pos] == h) return pos;
  }
  for (int i = 0; i < kCacheUsable; ++i) {
    if (g_cache.index[i] == h) return i;
  }
  return -1;
}

void unlink(int16_t h) {
  CacheBlock* hs = g_cache.headers;
  hs[hs[h].prev].next = hs[h].next;
  hs[hs[h].next].prev = hs[h].prev;
}

void link_before_head(int16_t h) {
  CacheBlock* hs = g_cache.headers;
  const int16_t head = g_cache.head;
  const int16_t tail = hs[head].prev;
  hs[h].next = head;
  hs[h].prev = tail;
  hs[tail].next = h;
  hs[head].prev = h;
}

void touch(int16_t h) {
  if (h == g_cache.head) return;
  unlink(h);
  link_before_head(h);
  g_cache.head = h;
}

void to_tail(int16_t h) {
  if (h == g_cache.head) {
    g_cache.head = g_cache.headers[h].next;  // the ring is circular: h is now the tail
    return;
  }
  unlink(h);
  link_before_head(h);
}

void free_at(int pos) {
  const int16_t h = g_cache.index[pos];
  CacheBlock& hdr = g_cache.headers[h];
  hdr.handle = 0;
  hdr.block = 0;
  hdr.valid = 0;
  hdr.flags &= ~kCacheDirty;
  to_tail(h);
  std::memmove(&g_cache.index[1], &g_cache.index[0], sizeof(int16_t) * pos);
  g_cache.index[0] = h;
}

bool write_block(CacheBlock& hdr) {
  const FileEntry* e = file_entry(hdr.handle);
  if (e == nullptr || e->descriptor < 0) return false;
  const int64_t n = file_io_pwrite(e->descriptor, slot_of(hdr), hdr.valid,
                                   static_cast<int64_t>(hdr.block) * kCacheBlockSize);
  if (n != hdr.valid) return false;
  hdr.flags &= ~kCacheDirty;
  return true;
}

}  // namespace

int16_t block_cache_init() {
  if (g_cache.headers != nullptr) return 0;
  void* hh = nullptr;
  void* hp = nullptr;
  void* dh = nullptr;
  void* dp = nullptr;
  if (!mem_alloc_block(static_cast<int64_t>(sizeof(CacheBlock)) * kCacheHeaders, &hh, &hp)) {
    return 0;
  }
  if (!mem_alloc_block(static_cast<int64_t>(kCacheBlockSize) * kCacheHeaders, &dh, &dp)) {
    mem_free(&hh);
    return 0;
  }
  g_cache.headers = static_cast<CacheBlock*>(hp);
  g_cache.headers_handle = hh;
  g_cache.data = static_cast<uint8_t*>(dp);
  g_cache.data_handle = dh;
  std::memset(g_cache.data, 0, static_cast<size_t>(kCacheBlockSize) * kCacheHeaders);
  for (int n = 0; n < kCacheHeaders; ++n) {
    CacheBlock& h = g_cache.headers[n];
    h = CacheBlock{};
    h.slot = n;
    h.next = static_cast<int16_t>((n + 1) % kCacheUsable);
    h.prev = static_cast<int16_t>((n + kCacheUsable - 1) % kCacheUsable);
    g_cache.index[n] = static_cast<int16_t>(n);
  }
  g_cache.head = 0;
  return 0;
}

void block_cache_release() {
  if (g_cache.headers_handle != nullptr) mem_free(&g_cache.headers_handle);
  if (g_cache.data_handle != nullptr) mem_free(&g_cache.data_handle);
  g_cache = BlockCache{};
}

void block_cache_free() {
  if (g_cache.headers == nullptr) return;
  // Dirty blocks of files still open reach their files before the cache
  // goes away.
  cache_flush(-1);
  file_close_idle();
  block_cache_release();
}

int16_t block_cache_active() { return g_cache.headers != nullptr ? 1 : 0; }

int16_t cache_flush(int32_t handle) {
  if (g_cache.headers == nullptr) return 1;
  for (int i = 0; i < kCacheUsable; ++i) {
    CacheBlock& h = g_cache.headers[g_cache.index[i]];
    if (h.handle == 0 || (handle != -1 && h.handle != handle)) continue;
    if ((h.flags & kCacheDirty) && !write_block(h)) return 0;
  }
  return 1;
}

int16_t cache_flush_drop(int32_t handle) {
  if (g_cache.headers == nullptr) return 1;
  bool ok = true;
  for (int i = 0; i < kCacheUsable; ++i) {
    CacheBlock& h = g_cache.headers[g_cache.index[i]];
    if (h.handle != handle || handle == 0) continue;
    if ((h.flags & kCacheDirty) && !write_block(h)) ok = false;
    free_at(i);
  }
  return ok ? 1 : 0;
}

CacheBlock* cache_get_block(int32_t handle, int32_t block, int mode) {
  if (g_cache.headers == nullptr || handle == 0 || block < 0) return nullptr;
  bool found = false;
  int pos = lookup(handle, block, kCacheUsable, &found);
  if (found) {
    const int16_t h = g_cache.index[pos];
    touch(h);
    return &g_cache.headers[h];
  }
  if (mode == 0) return nullptr;
  const int16_t victim = g_cache.headers[g_cache.head].prev;
  CacheBlock& v = g_cache.headers[victim];
  if ((v.flags & kCacheDirty) && !cache_flush(v.handle)) return nullptr;
  const int vpos = position_of(victim);
  std::memmove(&g_cache.index[vpos], &g_cache.index[vpos + 1],
               sizeof(int16_t) * (kCacheUsable - 1 - vpos));
  v.handle = handle;
  v.block = block;
  v.valid = 0;
  v.flags &= ~kCacheDirty;
  pos = lookup(handle, block, kCacheUsable - 1, &found);
  std::memmove(&g_cache.index[pos + 1], &g_cache.index[pos],
               sizeof(int16_t) * (kCacheUsable - 1 - pos));
  g_cache.index[pos] = victim;
  touch(victim);
  if (mode == 2) {
    const FileEntry* e = file_entry(handle);
    uint8_t* slot = slot_of(v);
    const int64_t n = e == nullptr || e->descriptor < 0
                          ? -1
                          : file_io_pread(e->descriptor, slot, kCacheBlockSize,
                                          static_cast<int64_t>(block) * kCacheBlockSize);
    if (n < 0) {
      free_at(pos);
      return nullptr;
    }
    v.valid = static_cast<int32_t>(n);
    std::memset(slot + n, 0, static_cast<size_t>(kCacheBlockSize - n));
  }
  return &v;
}

const uint8_t* cache_block_data(const CacheBlock* block) {
  return block != nullptr ? slot_of(*block) : nullptr;
}

int32_t cache_read(int32_t handle, void* buffer, int32_t count) {
  FileEntry* e = file_entry(handle);
  if (e == nullptr || count < 0) return -1;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t pos = e->position;
  int32_t copied = 0;
  while (copied < count) {
    const auto block = static_cast<int32_t>(pos / kCacheBlockSize);
    const auto off = static_cast<int32_t>(pos % kCacheBlockSize);
    CacheBlock* h = cache_get_block(handle, block, 2);
    if (h == nullptr || off >= h->valid) break;
    const int32_t n = std::min(h->valid - off, count - copied);
    std::memcpy(out + copied, slot_of(*h) + off, static_cast<size_t>(n));
    copied += n;
    pos += n;
    if (pos % kCacheBlockSize != 0) break;  // the block's data ended: end of file
  }
  e->position = static_cast<int32_t>(pos);
  return copied;
}

int32_t cache_write(int32_t handle, const void* buffer, int32_t count) {
  FileEntry* e = file_entry(handle);
  if (e == nullptr || count < 0) return -1;
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t pos = e->position;
  int32_t written = 0;
  while (written < count) {
    const auto block = static_cast<int32_t>(pos / kCacheBlockSize);
    const auto off = static_cast<int32_t>(pos % kCacheBlockSize);
    const int32_t chunk = std::min(kCacheBlockSize - off, count - written);
    const int64_t end = pos + chunk;
    CacheBlock* h = cache_get_block(handle, block, chunk == kCacheBlockSize ? 1 : 2);
    if (h != nullptr) {
      uint8_t* slot = slot_of(*h);
      const int32_t old_valid = h->valid;
      const uint32_t old_flags = h->flags;
      uint8_t old_bytes[kCacheBlockSize];
      std::memcpy(old_bytes, slot, kCacheBlockSize);
      std::memcpy(slot + off, in + written, static_cast<size_t>(chunk));
      h->flags |= kCacheDirty;
      h->valid = std::max(h->valid, off + chunk);
      if (end > e->size) {
        const int64_t old_last = e->size == 0 ? -1 : (e->size - 1) / kCacheBlockSize;
        if ((end - 1) / kCacheBlockSize > old_last) {
          if (file_extend_disk(e->descriptor, end) != 0) {
            // Nothing of this chunk stays in the cache past the logical size.
            std::memcpy(slot, old_bytes, kCacheBlockSize);
            h->valid = old_valid;
            h->flags = old_flags;
            e->position = static_cast<int32_t>(pos);
            return -1;
          }
          // The old last block now runs on to its end (zeros on disk).
          if (old_last >= 0 && old_last != block) {
            CacheBlock* last = cache_get_block(handle, static_cast<int32_t>(old_last), 0);
            if (last != nullptr) last->valid = kCacheBlockSize;
            touch(static_cast<int16_t>(h - g_cache.headers));
          }
        }
        e->size = static_cast<int32_t>(end);
      }
    } else {
      if (e->descriptor < 0 || file_io_pwrite(e->descriptor, in + written, chunk, pos) != chunk) {
        e->position = static_cast<int32_t>(pos);
        return -1;
      }
      e->size = static_cast<int32_t>(std::max<int64_t>(e->size, end));
    }
    pos = end;
    written += chunk;
  }
  e->position = static_cast<int32_t>(pos);
  return written;
}

void cache_set_size(int32_t handle, int32_t new_size, int32_t old_size) {
  if (g_cache.headers == nullptr) return;
  const int32_t last = new_size <= 0 ? 0 : (new_size - 1) / kCacheBlockSize;
  const int32_t last_valid = new_size <= 0 ? 0 : (new_size - 1) % kCacheBlockSize + 1;
  const int32_t old_last = old_size <= 0 ? 0 : (old_size - 1) / kCacheBlockSize;
  for (int i = 0; i < kCacheUsable; ++i) {
    CacheBlock& h = g_cache.headers[g_cache.index[i]];
    if (h.handle != handle || handle == 0) continue;
    uint8_t* slot = slot_of(h);
    if (h.block > last) {
      free_at(i);
    } else if (h.block == last) {
      if (h.valid != last_valid) h.flags |= kCacheDirty;
      if (last_valid > h.valid) std::memset(slot + h.valid, 0, static_cast<size_t>(last_valid - h.valid));
      h.valid = last_valid;
      std::memset(slot + h.valid, 0, static_cast<size_t>(kCacheBlockSize - h.valid));
    } else if (new_size > old_size && h.block == old_last) {
      std::memset(slot + h.valid, 0, static_cast<size_t>(kCacheBlockSize - h.valid));
      h.valid = kCacheBlockSize;
      h.flags |= kCacheDirty;
    }
  }
}
