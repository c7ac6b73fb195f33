// The B+-tree of an index file: block input and output, allocation, the
// descent, stepping along the path and along the leaves, insertion with
// splitting and deletion with borrowing, merging and root collapse.
#include <cstring>

#include "kernel/runtime/file.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/storage/le_bytes.h"

namespace {

constexpr int kHead = 12;

uint32_t rd32(const uint8_t* p) { return le_get_u32(p); }
void wr32(uint8_t* p, uint32_t v) { le_put_u32(p, v); }

struct Node {
  IndexFile* ix;
  int b;  // buffer
  int32_t k;
  uint8_t* data() const { return ix->buf[b].data(); }
  int32_t count() const { return static_cast<int32_t>(rd32(data())); }
  void set_count(int32_t n) const { wr32(data(), static_cast<uint32_t>(n)); }
  int32_t prev() const { return static_cast<int32_t>(rd32(data() + 4)); }
  int32_t next() const { return static_cast<int32_t>(rd32(data() + 8)); }
  void set_prev(int32_t v) const { wr32(data() + 4, static_cast<uint32_t>(v)); }
  void set_next(int32_t v) const { wr32(data() + 8, static_cast<uint32_t>(v)); }
  uint8_t* entry(int32_t i) const { return data() + kHead + (i - 1) * (k + 4); }
  uint8_t* key(int32_t i) const { return entry(i); }
  int32_t ptr(int32_t i) const { return static_cast<int32_t>(rd32(entry(i) + k)); }
  void set_ptr(int32_t i, int32_t v) const { wr32(entry(i) + k, static_cast<uint32_t>(v)); }
};

IndexEntry* entry_of(IndexFile* ix, int32_t n) {
  if (ix == nullptr || n < 1 || n > static_cast<int32_t>(ix->entries.size())) return nullptr;
  IndexEntry* e = &ix->entries[static_cast<size_t>(n - 1)];
  return e->root != 0 ? e : nullptr;
}

int cmp(const uint8_t* a, const uint8_t* b, int32_t k) { return std::memcmp(a, b, static_cast<size_t>(k)); }

// Reads a block of an index and checks its count and links.
bool read_node(IndexFile* ix, int b, int32_t block, const IndexEntry& e, bool inner, bool root) {
  if (!index_block_valid(ix, block)) return false;
  if (!btree_read_block(ix, b, block)) return false;
  Node nd{ix, b, e.key_length};
  const int32_t c = nd.count();
  if (c < 0 || c > e.max_entries) return false;
  if ((inner || !root) && c < 1) return false;
  const int32_t pv = nd.prev(), nx = nd.next();
  if ((pv != 0 && !index_block_valid(ix, pv)) || (nx != 0 && !index_block_valid(ix, nx))) return false;
  if (pv == block || nx == block) return false;
  return true;
}

void forget(IndexFile* ix, int32_t block) {
  for (int b = 0; b < 2; ++b)
    if (ix->held[b] == block) ix->held[b] = 0;
}

void grow_path(IndexFile* ix, int32_t depth) {
  if (static_cast<int32_t>(ix->path.size()) < depth) ix->path.resize(static_cast<size_t>(depth));
}

bool io_at(IndexFile* ix, int32_t offset) { return file_seek(ix->file, offset, 0) == offset; }

// The path stepping forward (dir 1) or back (dir -1) at a level.
bool path_step(IndexFile* ix, IndexEntry& e, int32_t level, int dir, uint8_t* key_out, int32_t* ptr_out) {
  IndexPathLevel& lv = ix->path[static_cast<size_t>(level - 1)];
  const bool leaf = level == e.depth;
  if (!read_node(ix, 0, lv.block, e, !leaf, level == 1)) return false;
  Node nd{ix, 0, e.key_length};
  lv.count = nd.count();
  bool moved = false;
  if (dir > 0 && lv.pos < lv.count) {
    ++lv.pos;
    moved = true;
  } else if (dir < 0 && lv.pos > 1 && lv.pos <= lv.count + 1) {
    --lv.pos;
    moved = true;
  }
  if (!moved && level > 1) {
    IndexPathLevel& up = ix->path[static_cast<size_t>(level - 2)];
    int32_t nb = 0;
    if (dir > 0 && up.pos < up.count) {
      ++up.pos;
      nb = nd.next();
    } else if (dir < 0 && up.pos > 1) {
      --up.pos;
      nb = nd.prev();
    } else {
      int32_t p = 0;
      if (path_step(ix, e, level - 1, dir, nullptr, &p)) nb = p;
    }
    if (nb != 0 && read_node(ix, 0, nb, e, !leaf, false)) {
      Node nn{ix, 0, e.key_length};
      lv.block = nb;
      lv.count = nn.count();
      lv.pos = dir > 0 ? 1 : lv.count;
      moved = true;
    }
  }
  if (!moved) {
    if (leaf) {
      if (read_node(ix, 0, lv.block, e, false, level == 1)) lv.count = Node{ix, 0, e.key_length}.count();
      lv.pos = dir > 0 ? lv.count + 1 : 0;
      e.cur_block = lv.block;
      e.cur_pos = lv.pos;
    }
    return false;
  }
  if (!read_node(ix, 0, lv.block, e, !leaf, level == 1)) return false;
  Node nd2{ix, 0, e.key_length};
  if (leaf) {
    e.cur_block = lv.block;
    e.cur_pos = lv.pos;
  }
  if (key_out != nullptr) std::memcpy(key_out, nd2.key(lv.pos), static_cast<size_t>(e.key_length));
  if (ptr_out != nullptr) *ptr_out = nd2.ptr(lv.pos);
  return true;
}

// The key and row at the leaf position of the path; false outside entries.
bool leaf_at(IndexFile* ix, IndexEntry& e, uint8_t* key, int32_t* row) {
  const IndexPathLevel& lv = ix->path[static_cast<size_t>(e.depth - 1)];
  if (!read_node(ix, 0, lv.block, e, false, e.depth == 1)) return false;
  Node nd{ix, 0, e.key_length};
  if (lv.pos < 1 || lv.pos > nd.count()) return false;
  if (key != nullptr) std::memcpy(key, nd.key(lv.pos), static_cast<size_t>(e.key_length));
  if (row != nullptr) *row = nd.ptr(lv.pos);
  return true;
}

// The descent: -1 a read failed, else whether an equal key was found.
int search(IndexFile* ix, int32_t n, const uint8_t* key, int16_t mode, int32_t* row) {
  IndexEntry* ep = entry_of(ix, n);
  if (ep == nullptr || key == nullptr) return -1;
  IndexEntry& e = *ep;
  const int32_t k = e.key_length;
  grow_path(ix, e.depth);
  e.cur_block = 0;
  e.cur_pos = 0;
  int32_t block = e.root;
  for (int32_t level = 1; level <= e.depth; ++level) {
    const bool leaf = level == e.depth;
    if (!read_node(ix, 0, block, e, !leaf, level == 1)) return -1;
    Node nd{ix, 0, k};
    const int32_t c = nd.count();
    int32_t i = leaf ? 1 : 2;
    int32_t last_equal = 0;
    bool stop_equal = false;
    for (; i <= c; ++i) {
      const int r = cmp(nd.key(i), key, k);
      if (r > 0) break;
      if (r == 0) {
        if (mode != 1) {
          stop_equal = true;
          break;
        }
        last_equal = i;
      }
    }
    int32_t pos = 0;
    if (mode == 1 && last_equal != 0) pos = last_equal;
    else if (!leaf) pos = stop_equal ? i : i - 1;
    else pos = i;
    ix->path[static_cast<size_t>(level - 1)] = {block, pos, c};
    e.cur_block = block;
    e.cur_pos = pos;
    if (!leaf) {
      block = nd.ptr(pos);
      if (block == 0) return -1;
    }
  }
  IndexPathLevel& lv = ix->path[static_cast<size_t>(e.depth - 1)];
  uint8_t found[kKeyMaxStored];
  int32_t found_row = 0;
  bool have = false;
  if (lv.pos > lv.count) {
    if (mode == 0) have = path_step(ix, e, e.depth, 1, found, &found_row);
  } else {
    have = leaf_at(ix, e, found, &found_row);
  }
  bool equal = have && cmp(found, key, k) == 0;
  if (equal && mode != 1 && ix->path[static_cast<size_t>(e.depth - 1)].pos == 1) {
    // The first equal key may lie in an earlier leaf.
    // Each step back that fails leaves the position before its leaf's
    // first entry; one step forward then stands on the first equal key.
    uint8_t before[kKeyMaxStored];
    for (int32_t guard = index_file_blocks(ix) * e.max_entries + 1; guard > 0; --guard) {
      if (!path_step(ix, e, e.depth, -1, before, nullptr)) break;
      if (cmp(before, key, k) != 0) break;
    }
    path_step(ix, e, e.depth, 1, found, &found_row);
    if (!leaf_at(ix, e, found, &found_row)) return -1;
  }
  if (mode == 2) {
    if (!equal) return 0;
    for (int32_t guard = index_file_blocks(ix) * e.max_entries + 1; guard > 0; --guard) {
      if (found_row == *row) return 1;
      if (!path_step(ix, e, e.depth, 1, found, &found_row)) return 0;
      if (cmp(found, key, k) != 0) return 0;
    }
    return 0;
  }
  if (row != nullptr) *row = have ? found_row : 0;
  if (mode == 0 && have && !equal) std::memcpy(const_cast<uint8_t*>(key), found, static_cast<size_t>(k));
  return equal ? 1 : 0;
}

// A fresh descent to the leftmost (dir -1) or rightmost (dir 1) leaf.
int16_t wind(IndexFile* ix, int32_t n, int dir) {
  IndexEntry* ep = entry_of(ix, n);
  if (ep == nullptr) return 0;
  IndexEntry& e = *ep;
  grow_path(ix, e.depth);
  e.cur_block = 0;
  e.cur_pos = 0;
  int32_t block = e.root;
  for (int32_t level = 1; level <= e.depth; ++level) {
    const bool leaf = level == e.depth;
    if (!read_node(ix, 0, block, e, !leaf, level == 1)) return 0;
    Node nd{ix, 0, e.key_length};
    const int32_t c = nd.count();
    const int32_t pos = leaf ? (dir < 0 ? 0 : c + 1) : (dir < 0 ? 1 : c);
    ix->path[static_cast<size_t>(level - 1)] = {block, pos, c};
    if (!leaf) block = nd.ptr(pos);
  }
  e.cur_block = block;
  e.cur_pos = ix->path[static_cast<size_t>(e.depth - 1)].pos;
  e.walk = 0;
  return 1;
}

void copy_entries(Node& to, int32_t at, const Node& from, int32_t first, int32_t count) {
  std::memmove(to.entry(at), from.entry(first), static_cast<size_t>(count) * static_cast<size_t>(to.k + 4));
}

}  // namespace

int32_t index_file_blocks(const IndexFile* ix) {
  const int32_t size = file_get_size(ix->file);
  return size < 0 ? 0 : size / kIndexBlock;
}

bool index_block_valid(const IndexFile* ix, int32_t block) {
  if (block <= 0 || block % kIndexBlock != 0) return false;
  const int32_t size = file_get_size(ix->file);
  return size >= 0 && block <= size - kIndexBlock;
}

int16_t btree_read_block(IndexFile* ix, int b, int32_t block) {
  if (ix == nullptr || b < 0 || b > 1) return 0;
  if (ix->held[b] == block && block != 0) return 1;
  ix->held[b] = 0;
  if (!io_at(ix, block)) return 0;
  if (file_read(ix->file, ix->buf[b].data(), kIndexBlock) != kIndexBlock) return 0;
  ++ix->block_reads;
  ix->held[b] = block;
  return 1;
}

int16_t btree_write_block(IndexFile* ix, int b, int32_t block) {
  if (ix == nullptr || b < 0 || b > 1) return 0;
  if (ix->held[1 - b] == block) ix->held[1 - b] = 0;
  ix->held[b] = 0;
  if (!io_at(ix, block)) return 0;
  if (file_write(ix->file, ix->buf[b].data(), kIndexBlock) != kIndexBlock) return 0;
  ix->held[b] = block;
  return 1;
}

int16_t btree_alloc_block(IndexFile* ix, int32_t* block) {
  *block = 0;
  const uint8_t zero[kHead] = {};
  if (ix->free_chain != 0) {
    const int32_t b = ix->free_chain;
    uint8_t head[kHead];
    if (!index_block_valid(ix, b) || !io_at(ix, b) || file_read(ix->file, head, kHead) != kHead) return 0;
    const auto next = static_cast<int32_t>(rd32(head + 8));
    if (next != 0 && (next == b || !index_block_valid(ix, next))) return 0;
    ix->free_chain = next;
    if (!index_write_header(ix)) return 0;
    forget(ix, b);
    if (!io_at(ix, b) || file_write(ix->file, zero, kHead) != kHead) return 0;
    *block = b;
    return 1;
  }
  const int32_t size = file_get_size(ix->file);
  if (size < kIndexBlock || size > INT32_MAX - 2 * kIndexBlock) return 0;
  const int32_t b = (size + kIndexBlock - 1) / kIndexBlock * kIndexBlock;
  if (file_set_size(ix->file, b + kIndexBlock) != 0) return 0;
  forget(ix, b);
  if (!io_at(ix, b) || file_write(ix->file, zero, kHead) != kHead) return 0;
  *block = b;
  return 1;
}

int16_t btree_free_block(IndexFile* ix, int32_t block) {
  forget(ix, block);
  const int32_t size = file_get_size(ix->file);
  if (block + kIndexBlock >= size) return file_set_size(ix->file, block) == 0 ? 1 : 0;
  uint8_t head[kHead] = {};
  wr32(head + 8, static_cast<uint32_t>(ix->free_chain));
  if (!io_at(ix, block) || file_write(ix->file, head, kHead) != kHead) return 0;
  ix->free_chain = block;
  return index_write_header(ix);
}

int16_t btree_search(IndexFile* ix, int32_t n, uint8_t* key, int16_t mode, int32_t* row) {
  IndexEntry* e = entry_of(ix, n);
  if (e != nullptr) e->walk = 0;
  const int r = search(ix, n, key, mode, row);
  return r > 0 ? 1 : 0;
}
int16_t btree_seek(IndexFile* ix, int32_t n, uint8_t* key, int32_t* row) { return btree_search(ix, n, key, 0, row); }
int16_t btree_seek_last(IndexFile* ix, int32_t n, uint8_t* key, int32_t* row) {
  return btree_search(ix, n, key, 1, row);
}

int16_t btree_rewind(IndexFile* ix, int32_t n) { return wind(ix, n, -1); }
int16_t btree_wind_end(IndexFile* ix, int32_t n) { return wind(ix, n, 1); }

int16_t btree_next_leaf(IndexFile* ix, int32_t n, uint8_t* key, int32_t* row) {
  IndexEntry* ep = entry_of(ix, n);
  if (ep == nullptr || ep->cur_block == 0) return 0;
  IndexEntry& e = *ep;
  if (!read_node(ix, 0, e.cur_block, e, false, e.depth == 1 && e.cur_block == e.root)) return 0;
  Node nd{ix, 0, e.key_length};
  const int32_t c = nd.count();
  if (e.cur_pos < c && e.cur_pos >= 0) {
    ++e.cur_pos;
  } else if (e.cur_pos == c) {
    const int32_t nb = nd.next();
    if (nb == 0 || ++e.walk > index_file_blocks(ix) || !read_node(ix, 0, nb, e, false, false)) {
      e.cur_pos = c + 1;
      return 0;
    }
    e.cur_block = nb;
    e.cur_pos = 1;
  } else {
    e.cur_pos = c + 1;
    return 0;
  }
  Node cur{ix, 0, e.key_length};
  if (key != nullptr) std::memcpy(key, cur.key(e.cur_pos), static_cast<size_t>(e.key_length));
  if (row != nullptr) *row = cur.ptr(e.cur_pos);
  return 1;
}

int16_t btree_prev_leaf(IndexFile* ix, int32_t n, uint8_t* key, int32_t* row) {
  IndexEntry* ep = entry_of(ix, n);
  if (ep == nullptr || ep->cur_block == 0) return 0;
  IndexEntry& e = *ep;
  if (!read_node(ix, 0, e.cur_block, e, false, e.depth == 1 && e.cur_block == e.root)) return 0;
  Node nd{ix, 0, e.key_length};
  const int32_t c = nd.count();
  if (e.cur_pos > c + 1) e.cur_pos = c + 1;
  if (e.cur_pos >= 2) {
    --e.cur_pos;
  } else if (e.cur_pos == 1) {
    const int32_t pb = nd.prev();
    if (pb == 0 || ++e.walk > index_file_blocks(ix) || !read_node(ix, 0, pb, e, false, false)) {
      e.cur_pos = 0;
      return 0;
    }
    e.cur_block = pb;
    e.cur_pos = Node{ix, 0, e.key_length}.count();
  } else {
    e.cur_pos = 0;
    return 0;
  }
  Node cur{ix, 0, e.key_length};
  if (key != nullptr) std::memcpy(key, cur.key(e.cur_pos), static_cast<size_t>(e.key_length));
  if (row != nullptr) *row = cur.ptr(e.cur_pos);
  return 1;
}

int16_t btree_insert(IndexFile* ix, int32_t n, const uint8_t* key, int32_t row) {
  IndexEntry* ep = entry_of(ix, n);
  if (ep == nullptr) return 0;
  IndexEntry& e = *ep;
  const int32_t k = e.key_length, m = e.max_entries;
  uint8_t* sep = ix->scratch[0];
  std::memcpy(sep, key, static_cast<size_t>(k));
  int32_t dummy = 0;
  if (search(ix, n, sep, 1, &dummy) < 0) return 0;
  std::memcpy(sep, key, static_cast<size_t>(k));
  int32_t ptr = row;
  for (int32_t level = e.depth; level >= 1; --level) {
    const bool leaf = level == e.depth;
    IndexPathLevel lv = ix->path[static_cast<size_t>(level - 1)];
    if (!read_node(ix, 0, lv.block, e, !leaf, level == 1)) return 0;
    Node nd{ix, 0, k};
    int32_t c = nd.count();
    int32_t at = leaf ? lv.pos : lv.pos + 1;
    // A new duplicate goes after the last equal key: equal keys keep the
    // order they came in.
    if (leaf && at >= 1 && at <= c && cmp(nd.key(at), sep, k) == 0) ++at;
    if (at < 1) at = 1;
    if (at > c + 1) at = c + 1;
    std::memmove(nd.entry(at + 1), nd.entry(at), static_cast<size_t>(c - at + 1) * static_cast<size_t>(k + 4));
    std::memcpy(nd.key(at), sep, static_cast<size_t>(k));
    nd.set_ptr(at, ptr);
    nd.set_count(++c);
    if (c <= m) return btree_write_block(ix, 0, lv.block);
    // Split: the old block keeps m / 2 + 1 entries, the new one the rest.
    ix->held[0] = 0;  // buffer 1 is changed, not yet written
    int32_t nb = 0;
    if (!btree_alloc_block(ix, &nb)) return 0;
    const int32_t keep = m / 2 + 1, moved = c - keep;
    const int32_t old_next = nd.next();
    Node nw{ix, 1, k};
    std::memset(nw.data(), 0, kIndexBlock);
    nw.set_count(moved);
    nw.set_prev(lv.block);
    nw.set_next(old_next);
    copy_entries(nw, 1, nd, keep + 1, moved);
    std::memcpy(sep, nw.key(1), static_cast<size_t>(k));
    if (!leaf) std::memset(nw.key(1), 0, static_cast<size_t>(k));
    nd.set_count(keep);
    nd.set_next(nb);
    std::memset(nd.entry(keep + 1), 0, static_cast<size_t>(kIndexBlock + 128 - kHead - keep * (k + 4)));
    if (!btree_write_block(ix, 0, lv.block) || !btree_write_block(ix, 1, nb)) return 0;
    if (old_next != 0) {
      if (!read_node(ix, 1, old_next, e, !leaf, false)) return 0;
      Node on{ix, 1, k};
      on.set_prev(nb);
      if (!btree_write_block(ix, 1, old_next)) return 0;
    }
    ptr = nb;
    if (level == 1) {
      if (e.depth >= kIndexMaxDepth) return 0;
      int32_t root = 0;
      if (!btree_alloc_block(ix, &root)) return 0;
      Node r{ix, 0, k};
      std::memset(r.data(), 0, kIndexBlock + 128);
      r.set_count(2);
      r.set_ptr(1, e.root);
      std::memcpy(r.key(2), sep, static_cast<size_t>(k));
      r.set_ptr(2, nb);
      if (!btree_write_block(ix, 0, root)) return 0;
      e.root = root;
      ++e.depth;
      grow_path(ix, e.depth);
      e.cur_block = 0;
      e.cur_pos = 0;
      return index_write_header(ix);
    }
  }
  return 1;
}

namespace {

// One level's pending changes from the level below.
struct Pending {
  int32_t remove = 0;        // entry to take out, 0 none
  int32_t set_at[4] = {0, 0, 0, 0};  // entries whose key changes, 0 none
  uint8_t key[4][kKeyMaxStored] = {};
};

}  // namespace

int16_t btree_delete(IndexFile* ix, int32_t n, const uint8_t* key, int32_t row) {
  IndexEntry* ep = entry_of(ix, n);
  if (ep == nullptr) return 0;
  IndexEntry& e = *ep;
  const int32_t k = e.key_length, m = e.max_entries;
  const size_t ks = static_cast<size_t>(k), es = static_cast<size_t>(k + 4);
  uint8_t search_key[kKeyMaxStored];
  std::memcpy(search_key, key, ks);
  int32_t want = row;
  if (search(ix, n, search_key, 2, &want) != 1) return 0;
  Pending here;
  here.remove = ix->path[static_cast<size_t>(e.depth - 1)].pos;
  std::vector<uint8_t> parent(kIndexBlock + 128);
  for (int32_t level = e.depth; level >= 1; --level) {
    const bool leaf = level == e.depth;
    const bool is_root = level == 1;
    const IndexPathLevel lv = ix->path[static_cast<size_t>(level - 1)];
    Pending up;
    int32_t up_slot = 0;
    const int32_t ppos = is_root ? 0 : ix->path[static_cast<size_t>(level - 2)].pos;
    auto pass_up = [&](int32_t at, const uint8_t* kb) {
      if (up_slot < 4) {
        up.set_at[up_slot] = at;
        std::memcpy(up.key[up_slot], kb, ks);
        ++up_slot;
      }
    };
    if (!read_node(ix, 0, lv.block, e, !leaf, is_root)) return 0;
    Node nd{ix, 0, k};
    int32_t c = nd.count();
    for (int s = 0; s < 4; ++s) {
      const int32_t at = here.set_at[s];
      if (at < 1 || at > c) continue;
      if (at == 1 && !leaf) {
        if (!is_root) pass_up(ppos, here.key[s]);
        continue;
      }
      std::memcpy(nd.key(at), here.key[s], ks);
      if (at == 1 && !is_root) pass_up(ppos, here.key[s]);
    }
    if (here.remove >= 1 && here.remove <= c) {
      const int32_t r = here.remove;
      std::memmove(nd.entry(r), nd.entry(r + 1), static_cast<size_t>(c - r) * es);
      nd.set_count(--c);
      if (r == 1 && c >= 1 && !is_root) {
        pass_up(ppos, nd.key(1));
        if (!leaf) std::memset(nd.key(1), 0, ks);
      } else if (r == 1 && c >= 1 && !leaf) {
        std::memset(nd.key(1), 0, ks);
      }
    }
    if (is_root || c > m / 2) {
      ix->held[0] = 0;
      if (!btree_write_block(ix, 0, lv.block)) return 0;
      here = up;
      continue;
    }
    // Underflow: borrow from or merge with a neighbour under the same parent.
    const IndexPathLevel pl = ix->path[static_cast<size_t>(level - 2)];
    if (!read_node(ix, 1, pl.block, e, true, level == 2)) return 0;
    std::memcpy(parent.data(), ix->buf[1].data(), kIndexBlock);
    Node pn{ix, 1, k};
    const int32_t pcount = pn.count();
    auto parent_key = [&](int32_t i) { return parent.data() + kHead + (i - 1) * (k + 4); };
    // An inner block's first key is not stored: its separator in the parent
    // (or the change pending for it) stands for it.
    const uint8_t* self_first = parent_key(ppos);
    for (int s = 0; s < up_slot; ++s)
      if (up.set_at[s] == ppos) self_first = up.key[s];
    uint8_t self_copy[kKeyMaxStored];
    std::memcpy(self_copy, self_first, ks);
    ix->held[0] = 0;
    if (ppos < pcount) {
      const int32_t rb = nd.next();
      if (rb == 0 || !read_node(ix, 1, rb, e, !leaf, false)) return 0;
      Node rn{ix, 1, k};
      const int32_t rc = rn.count();
      if (!leaf) std::memcpy(rn.key(1), parent_key(ppos + 1), ks);
      if (rc == m / 2 + 1) {
        copy_entries(nd, c + 1, rn, 1, rc);
        nd.set_count(c + rc);
        const int32_t after = rn.next();
        nd.set_next(after);
        if (!btree_write_block(ix, 0, lv.block)) return 0;
        if (after != 0) {
          if (!read_node(ix, 1, after, e, !leaf, false)) return 0;
          Node an{ix, 1, k};
          an.set_prev(lv.block);
          if (!btree_write_block(ix, 1, after)) return 0;
        }
        if (!btree_free_block(ix, rb)) return 0;
        up.remove = ppos + 1;
      } else {
        const int32_t target = (c + rc) / 2, take = target - c;
        copy_entries(nd, c + 1, rn, 1, take);
        nd.set_count(target);
        std::memmove(rn.entry(1), rn.entry(take + 1), static_cast<size_t>(rc - take) * es);
        rn.set_count(rc - take);
        pass_up(ppos + 1, rn.key(1));
        if (!leaf) std::memset(rn.key(1), 0, ks);
        if (!btree_write_block(ix, 0, lv.block) || !btree_write_block(ix, 1, rb)) return 0;
      }
    } else if (ppos > 1) {
      const int32_t lb = nd.prev();
      if (lb == 0 || !read_node(ix, 1, lb, e, !leaf, false)) return 0;
      Node ln{ix, 1, k};
      const int32_t lc = ln.count();
      if (!leaf && c >= 1) std::memcpy(nd.key(1), self_copy, ks);
      if (lc == m / 2 + 1) {
        copy_entries(ln, lc + 1, nd, 1, c);
        ln.set_count(lc + c);
        const int32_t after = nd.next();
        ln.set_next(after);
        if (!btree_write_block(ix, 1, lb)) return 0;
        if (after != 0) {
          if (!read_node(ix, 0, after, e, !leaf, false)) return 0;
          Node an{ix, 0, k};
          an.set_prev(lb);
          if (!btree_write_block(ix, 0, after)) return 0;
        }
        if (!btree_free_block(ix, lv.block)) return 0;
        up.remove = ppos;
      } else {
        const int32_t target = (c + lc) / 2, take = target - c;
        std::memmove(nd.entry(take + 1), nd.entry(1), static_cast<size_t>(c) * es);
        copy_entries(nd, 1, ln, lc - take + 1, take);
        nd.set_count(target);
        ln.set_count(lc - take);
        pass_up(ppos, nd.key(1));
        if (!leaf) std::memset(nd.key(1), 0, ks);
        if (!btree_write_block(ix, 1, lb) || !btree_write_block(ix, 0, lv.block)) return 0;
      }
    } else if (!btree_write_block(ix, 0, lv.block)) {
      return 0;
    }
    // A key change for an entry the removal shifts follows it.
    for (int s = 0; s < up_slot; ++s)
      if (up.remove != 0 && up.set_at[s] == up.remove) up.set_at[s] = 0;
    here = up;
  }
  if (e.depth > 1) {
    if (!read_node(ix, 0, e.root, e, true, true)) return 0;
    Node r{ix, 0, k};
    if (r.count() == 1) {
      const int32_t old = e.root;
      e.root = r.ptr(1);
      --e.depth;
      e.cur_block = 0;
      e.cur_pos = 0;
      if (!btree_free_block(ix, old)) return 0;
      return index_write_header(ix);
    }
  }
  e.cur_block = 0;
  e.cur_pos = 0;
  return 1;
}

int16_t btree_current(IndexFile* ix, int32_t n, uint8_t* key, int32_t* row) {
  IndexEntry* ep = entry_of(ix, n);
  if (ep == nullptr || ep->cur_block == 0) return 0;
  if (!read_node(ix, 0, ep->cur_block, *ep, false, ep->cur_block == ep->root)) return 0;
  Node nd{ix, 0, ep->key_length};
  if (ep->cur_pos < 1 || ep->cur_pos > nd.count()) return 0;
  if (key != nullptr) std::memcpy(key, nd.key(ep->cur_pos), ep->key_length);
  if (row != nullptr) *row = nd.ptr(ep->cur_pos);
  return 1;
}

int16_t btree_settle_forward(IndexFile* ix, int32_t n, uint8_t* key, int32_t* row) {
  IndexEntry* ep = entry_of(ix, n);
  if (ep == nullptr || ep->cur_block == 0) return 0;
  if (!read_node(ix, 0, ep->cur_block, *ep, false, ep->cur_block == ep->root)) return 0;
  const int32_t c = Node{ix, 0, ep->key_length}.count();
  if (ep->cur_pos <= c) return btree_current(ix, n, key, row);
  ep->cur_pos = c;
  return btree_next_leaf(ix, n, key, row);
}
