// Index files: create, open, close, brackets of use, adding and removing
// indexes, and the field-index cursor operations.
#include "kernel/tables/index/indexfile.h"

#include <cstring>
#include <new>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/collate.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/storage/le_bytes.h"

namespace {

constexpr int kHeaderSize = 48;
constexpr int kEntrySize = 16;
constexpr int kDefaultIndexExt = 7;

IndexEntry* in_use(IndexFile* ix, int32_t n) {
  if (ix == nullptr || n < 1 || n > static_cast<int32_t>(ix->entries.size())) return nullptr;
  IndexEntry* e = &ix->entries[static_cast<size_t>(n - 1)];
  return e->root != 0 ? e : nullptr;
}

int32_t stored_length(const IndexFile* ix, const FieldIndex* f) {
  if (ix == nullptr || f == nullptr) return 0;
  if (f->number < 1 || f->number > static_cast<int32_t>(ix->entries.size())) return 0;
  return ix->entries[static_cast<size_t>(f->number - 1)].key_length;
}

// The key bytes of a buffer as the index stores them (cut or zero-filled).
void stored_key(const KeyBuf* key, uint8_t* out, int32_t length) {
  std::memset(out, 0, static_cast<size_t>(length));
  std::memcpy(out, key->bytes, static_cast<size_t>(key->width < length ? key->width : length));
}

// Puts the key bytes found into the descriptor's buffer and decodes them.
void take_found(FieldIndex* f, const uint8_t* bytes, int32_t length, int32_t row) {
  std::memset(f->key.bytes, 0, f->key.width);
  std::memcpy(f->key.bytes, bytes, static_cast<size_t>(f->key.width < length ? f->key.width : length));
  key_decode(&f->key);
  f->key.row = row;
}

bool valid_header_entry(const IndexFile* ix, const IndexEntry& e) {
  if (e.root == 0) return true;
  if (e.key_length < 1 || e.key_length > kKeyMaxStored) return false;
  if (e.max_entries < 3 || e.max_entries % 2 == 0 || e.max_entries > 500 / (e.key_length + 4)) return false;
  if (e.depth < 1 || e.depth > kIndexMaxDepth) return false;
  return index_block_valid(ix, e.root);
}

bool language_accepted(const IndexFile* ix) {
  const auto a = static_cast<uint16_t>(ix->language_a);
  const auto b = static_cast<uint16_t>(ix->language_b);
  const auto cur_a = static_cast<uint16_t>(collate_table_key(0));
  const auto cur_b = static_cast<uint16_t>(collate_table_key2(0));
  if (a == 0 && cur_b == 0x611D) return true;
  if (a == cur_a) return true;
  if (ix->charset != charset_current() && b == cur_b) return true;
  const int cs = charset_current();
  return (cs == 1 || cs == kCharsetWindowsLatin1) && collate_key_known(ix->language_a);
}

// Steps a field index once forward (dir 1) or back (dir -1).
int16_t step(IndexFile* ix, FieldIndex* f, KeyBuf* key, int dir) {
  const int32_t k = stored_length(ix, f);
  if (k == 0) return 0;
  uint8_t found[kKeyMaxStored];
  int32_t row = 0;
  const int16_t ok = dir > 0 ? btree_next_leaf(ix, f->number, found, &row) : btree_prev_leaf(ix, f->number, found, &row);
  if (!ok) {
    f->key.row = 0;
    return 0;
  }
  take_found(f, found, k, row);
  if (key != nullptr) keybuf_assign(key, &f->key, nullptr);
  return 1;
}

int16_t step_distinct(IndexFile* ix, FieldIndex* f, KeyBuf* key, int dir) {
  const int32_t k = stored_length(ix, f);
  if (k == 0) return 0;
  if (f->key.row == 0) return step(ix, f, key, dir);
  uint8_t start[kKeyMaxStored], found[kKeyMaxStored];
  int32_t row = 0;
  if (!btree_current(ix, f->number, start, &row)) return step(ix, f, key, dir);
  for (;;) {
    const int16_t ok = dir > 0 ? btree_next_leaf(ix, f->number, found, &row) : btree_prev_leaf(ix, f->number, found, &row);
    if (!ok) {
      f->key.row = 0;
      return 0;
    }
    if (std::memcmp(found, start, static_cast<size_t>(k)) != 0) break;
  }
  take_found(f, found, k, row);
  if (key != nullptr) keybuf_assign(key, &f->key, nullptr);
  return 1;
}

void release_file(IndexFile* ix) {
  if (ix->file > 0) {
    while (file_entry(ix->file) != nullptr && (file_entry(ix->file)->flags & kFileUseMask) != 0 && ix->uses > 0) {
      file_release(ix->file);
      --ix->uses;
    }
  }
}

}  // namespace

int32_t index_max_entries(int32_t key_length) {
  int32_t m = (kIndexBlock - 12) / (key_length + 4);
  if (m % 2 == 0) --m;
  return m;
}

int16_t index_write_header(IndexFile* ix) {
  if (ix == nullptr) return 0;
  std::vector<uint8_t> h(static_cast<size_t>(kHeaderSize + kEntrySize * ix->entries.size()), 0);
  le_put_u32(h.data(), kIndexMagic);
  le_put_u16(h.data() + 4, ix->version);
  le_put_u16(h.data() + 6, ix->block_size);
  le_put_u32(h.data() + 8, static_cast<uint32_t>(ix->free_chain));
  le_put_u16(h.data() + 12, static_cast<uint16_t>(ix->entries.size()));
  le_put_u16(h.data() + 14, static_cast<uint16_t>(ix->language_a));
  le_put_u16(h.data() + 16, static_cast<uint16_t>(ix->charset));
  le_put_u16(h.data() + 18, static_cast<uint16_t>(ix->language_b));
  for (size_t i = 0; i < ix->entries.size(); ++i) {
    uint8_t* p = h.data() + kHeaderSize + kEntrySize * i;
    const IndexEntry& e = ix->entries[i];
    le_put_u32(p, static_cast<uint32_t>(e.root));
    le_put_u16(p + 4, static_cast<uint16_t>(e.max_entries));
    p[6] = e.depth;
    p[7] = e.key_length;
  }
  if (file_seek(ix->file, 0, 0) != 0) return 0;
  return file_write(ix->file, h.data(), static_cast<int32_t>(h.size())) == static_cast<int32_t>(h.size()) ? 1 : 0;
}

int16_t index_create(int32_t file, int16_t temporary, IndexFile** out) {
  *out = nullptr;
  if (file_open_binary(file, 3, nullptr) < 0) return 0;
  uint8_t h[kHeaderSize] = {};
  le_put_u32(h, kIndexMagic);
  le_put_u16(h + 4, 100);
  le_put_u16(h + 6, kIndexBlock);
  le_put_u16(h + 14, static_cast<uint16_t>(collate_table_key(0)));
  le_put_u16(h + 16, static_cast<uint16_t>(charset_current()));
  le_put_u16(h + 18, static_cast<uint16_t>(collate_table_key2(0)));
  const bool ok = file_seek(file, 0, 0) == 0 && file_write(file, h, kHeaderSize) == kHeaderSize &&
                  file_set_size(file, kIndexBlock) == 0;
  file_release(file);
  if (!ok) return 0;
  return index_open(file, temporary, out);
}

int16_t index_file_create(int32_t tab_file, const char* path, int32_t ext_id, int16_t temporary, IndexFile** out) {
  *out = nullptr;
  const int32_t ext = ext_id >= 0 ? ext_id : (temporary && path == nullptr && tab_file == 0 ? 0 : kDefaultIndexExt);
  const int32_t h = file_register_companion(tab_file, path, ext);
  if (h <= 0) return 0;
  if (!index_create(h, temporary, out)) {
    if (temporary) file_delete(h);
    file_unregister(h);
    return 0;
  }
  return 1;
}

int16_t index_file_open(const char* path, int32_t ext_id, IndexFile** out) {
  *out = nullptr;
  const int32_t h = file_register(path, ext_id != 0 ? ext_id : kDefaultIndexExt);
  if (h <= 0) return 0;
  if (!index_open(h, 0, out)) {
    file_unregister(h);
    return 0;
  }
  return 1;
}

int16_t index_open(int32_t file, int16_t temporary, IndexFile** out) {
  *out = nullptr;
  if (file_open_binary(file, 1, nullptr) < 0) return 0;
  uint8_t h[kIndexBlock] = {};
  const int32_t size = file_get_size(file);
  const bool read = file_seek(file, 0, 0) == 0 && file_read(file, h, kHeaderSize) == kHeaderSize;
  if (!read) {
    file_release(file);
    return 0;
  }
  auto* ix = new (std::nothrow) IndexFile{};
  if (ix == nullptr) {
    file_release(file);
    return 0;
  }
  ix->file = file;
  ix->delete_at_close = temporary;
  ix->version = le_get_u16(h + 4);
  ix->block_size = le_get_u16(h + 6);
  ix->free_chain = static_cast<int32_t>(le_get_u32(h + 8));
  const int32_t count = le_get_u16(h + 12);
  ix->language_a = static_cast<int16_t>(le_get_u16(h + 14));
  ix->charset = static_cast<int16_t>(le_get_u16(h + 16));
  ix->language_b = static_cast<int16_t>(le_get_u16(h + 18));
  if (ix->language_a != 0 && ix->charset == 0 && ix->language_b == 0) {
    // A header of an older writer.
    ix->charset = static_cast<uint16_t>(ix->language_a) == 0xFFD8 ? 19 : 10;
    ix->language_b = static_cast<int16_t>(0x611D);
  }
  bool ok = le_get_u32(h) == kIndexMagic && (ix->version == 100 || ix->version == 200) &&
            ix->block_size == kIndexBlock && count <= kIndexMaxCount && size >= kIndexBlock;
  if (ok && count > 0) {
    ok = file_read(file, h + kHeaderSize, kEntrySize * count) == kEntrySize * count;
  }
  if (ok) {
    ix->entries.resize(static_cast<size_t>(count));
    uint8_t deepest = 10;
    for (int32_t i = 0; ok && i < count; ++i) {
      const uint8_t* p = h + kHeaderSize + kEntrySize * i;
      IndexEntry& e = ix->entries[static_cast<size_t>(i)];
      e.root = static_cast<int32_t>(le_get_u32(p));
      e.max_entries = static_cast<int16_t>(le_get_u16(p + 4));
      e.depth = p[6];
      e.key_length = p[7];
      ok = valid_header_entry(ix, e);
      if (e.depth > deepest) deepest = e.depth;
    }
    ok = ok && (ix->free_chain == 0 || index_block_valid(ix, ix->free_chain));
    if (ok) ix->path.resize(deepest);
  }
  if (!ok) {
    err_push(4, kErrNotIndexFile, nullptr, nullptr);
    file_release(file);
    delete ix;
    return 0;
  }
  if (!language_accepted(ix)) {
    char path[kPathSize];
    file_get_path(file, path);
    kernel_error_message(kernel_string(3706), path);
    file_release(file);
    delete ix;
    return 0;
  }
  ix->buf[0].assign(kIndexBlock + 128, 0);
  ix->buf[1].assign(kIndexBlock, 0);
  file_release(file);
  *out = ix;
  return 1;
}

void index_close(IndexFile* ix) {
  if (ix == nullptr) return;
  release_file(ix);
  if (ix->file > 0) {
    if (ix->delete_at_close) file_delete(ix->file);
    file_unregister(ix->file);
  }
  delete ix;
}

int16_t index_file_begin(IndexFile* ix, int16_t mode) {
  if (ix == nullptr || ix->file <= 0) return 0;
  if (file_open_binary(ix->file, mode == 2 ? 2 : 1, nullptr) < 0) return 0;
  if (ix->uses == 0) {
    ix->held[0] = ix->held[1] = 0;  // another process may have changed it
  }
  ++ix->uses;
  ix->mode = mode;
  return 1;
}

int16_t index_file_end(IndexFile* ix) {
  if (ix == nullptr || ix->uses <= 0) return 0;
  --ix->uses;
  file_release(ix->file);
  return 1;
}

int16_t index_in_use(const IndexFile* ix, int32_t n) {
  return ix != nullptr && n >= 1 && n <= static_cast<int32_t>(ix->entries.size()) &&
         ix->entries[static_cast<size_t>(n - 1)].root != 0;
}

int16_t index_add(IndexFile* ix, int32_t key_length, int32_t* number) {
  if (number != nullptr) *number = 0;
  if (ix == nullptr || ix->version != 100 || key_length < 1) return 0;
  if (key_length > kKeyMaxStored) key_length = kKeyMaxStored;
  size_t slot = 0;
  while (slot < ix->entries.size() && ix->entries[slot].root != 0) ++slot;
  if (slot == ix->entries.size()) {
    if (kHeaderSize + kEntrySize * (ix->entries.size() + 1) > static_cast<size_t>(kIndexBlock) ||
        ix->entries.size() >= static_cast<size_t>(kIndexMaxCount))
      return 0;
    ix->entries.emplace_back();
  }
  int32_t root = 0;
  if (!btree_alloc_block(ix, &root)) {
    if (slot + 1 == ix->entries.size() && ix->entries[slot].root == 0) ix->entries.pop_back();
    return 0;
  }
  IndexEntry& e = ix->entries[slot];
  e.root = root;
  e.max_entries = static_cast<int16_t>(index_max_entries(key_length));
  e.depth = 1;
  e.key_length = static_cast<uint8_t>(key_length);
  e.cur_block = root;
  e.cur_pos = 0;
  if (!index_write_header(ix)) {
    e.root = 0;
    return 0;
  }
  if (number != nullptr) *number = static_cast<int32_t>(slot + 1);
  return 1;
}

int16_t index_drop(IndexFile* ix, int32_t n) {
  IndexEntry* ep = in_use(ix, n);
  if (ep == nullptr || ix->version != 100) return 0;
  bool others = false;
  for (const IndexEntry& e : ix->entries) others = others || (&e != ep && e.root != 0);
  ix->held[0] = ix->held[1] = 0;
  if (!others) {
    if (file_set_size(ix->file, kIndexBlock) != 0) return 0;
    ix->free_chain = 0;
  } else {
    // The whole tree goes to the free chain in one pass: each level's last
    // block links to the first block of the level below.
    std::vector<int32_t> firsts, lasts;
    int32_t block = ep->root;
    for (int32_t level = 1; level <= ep->depth; ++level) {
      uint8_t head[12];
      if (!index_block_valid(ix, block) || file_seek(ix->file, block, 0) != block ||
          file_read(ix->file, head, 12) != 12)
        return 0;
      firsts.push_back(block);
      int32_t last = block;
      int32_t next = static_cast<int32_t>(le_get_u32(head + 8));
      for (int32_t guard = index_file_blocks(ix); next != 0 && guard > 0; --guard) {
        if (!index_block_valid(ix, next) || file_seek(ix->file, next, 0) != next || file_read(ix->file, head, 12) != 12)
          return 0;
        last = next;
        next = static_cast<int32_t>(le_get_u32(head + 8));
      }
      lasts.push_back(last);
      if (level < ep->depth) {
        uint8_t first_ptr[4];
        const int32_t at = firsts.back() + 12 + ep->key_length;
        if (file_seek(ix->file, at, 0) != at || file_read(ix->file, first_ptr, 4) != 4) return 0;
        block = static_cast<int32_t>(le_get_u32(first_ptr));
      }
    }
    for (size_t i = 0; i < lasts.size(); ++i) {
      uint8_t link[4];
      le_put_u32(link, static_cast<uint32_t>(i + 1 < firsts.size() ? firsts[i + 1] : ix->free_chain));
      if (file_seek(ix->file, lasts[i] + 8, 0) != lasts[i] + 8 || file_write(ix->file, link, 4) != 4) return 0;
    }
    ix->free_chain = ep->root;
  }
  *ep = IndexEntry{};
  return index_write_header(ix);
}

int16_t index_language_key(const IndexFile* ix) { return ix != nullptr ? ix->language_a : 0; }

int16_t index_number_parse(const char* text, const IndexFile* ix, FieldIndex* out) {
  int32_t n = 0;
  if (text == nullptr || ix == nullptr || str_to_int(text, &n) == nullptr) return 0;
  if (n < 1 || n > static_cast<int32_t>(ix->entries.size())) return 0;
  if (out != nullptr) out->number = n;
  return 1;
}

// ---- field indexes -------------------------------------------------------------

int16_t field_index_attach(const char* number_text, IndexFile* ix, FieldIndex* f, int32_t type, int32_t width,
                           int32_t unique) {
  if (f == nullptr || !index_number_parse(number_text, ix, f)) return 0;
  const IndexEntry& e = ix->entries[static_cast<size_t>(f->number - 1)];
  if (e.root == 0) return 0;
  f->unique = unique;
  if (!keybuf_init(&f->key, type, width)) return 0;
  const int32_t want = f->key.width < kKeyMaxStored ? f->key.width : kKeyMaxStored;
  if (e.key_length > want) {  // longer keys than the field has
    keybuf_free(&f->key);
    return 0;
  }
  return 1;
}

int16_t field_index_create(IndexFile* ix, FieldIndex* f, int32_t type, int32_t width, int32_t unique) {
  if (ix == nullptr || f == nullptr) return 0;
  if (!keybuf_init(&f->key, type, width)) return 0;
  f->unique = unique;
  int32_t n = 0;
  if (!index_add(ix, f->key.width, &n)) {
    keybuf_free(&f->key);
    return 0;
  }
  f->number = n;
  return 1;
}

int16_t field_index_drop(IndexFile* ix, FieldIndex* f) {
  if (f == nullptr) return 0;
  const int16_t ok = index_drop(ix, f->number);
  field_index_free(f);
  return ok;
}

void field_index_free(FieldIndex* f) {
  if (f != nullptr) keybuf_free(&f->key);
}

int16_t field_index_insert(IndexFile* ix, FieldIndex* f, KeyBuf* key) {
  const int32_t k = stored_length(ix, f);
  if (k == 0 || key == nullptr || !in_use(ix, f->number)) return 0;
  if (!key_encode(key, nullptr)) return 0;
  uint8_t bytes[kKeyMaxStored];
  stored_key(key, bytes, k);
  if (f->unique) {
    uint8_t probe[kKeyMaxStored];
    std::memcpy(probe, bytes, static_cast<size_t>(k));
    int32_t row = 0;
    if (btree_seek(ix, f->number, probe, &row)) {
      f->key.row = 0;
      return 0;
    }
  }
  const int16_t ok = btree_insert(ix, f->number, bytes, key->row);
  f->key.row = 0;
  return ok;
}

int16_t field_index_delete(IndexFile* ix, FieldIndex* f, KeyBuf* key) {
  const int32_t k = stored_length(ix, f);
  if (k == 0 || key == nullptr || !in_use(ix, f->number)) return 0;
  if (!key_encode(key, nullptr)) return 0;
  uint8_t bytes[kKeyMaxStored];
  stored_key(key, bytes, k);
  const int16_t ok = btree_delete(ix, f->number, bytes, key->row);
  if (f->key.row == key->row) f->key.row = 0;
  return ok;
}

namespace {

int16_t seek_with(IndexFile* ix, FieldIndex* f, KeyBuf* key, int16_t mode) {
  const int32_t k = stored_length(ix, f);
  if (k == 0 || key == nullptr || !in_use(ix, f->number)) return 0;
  int16_t too_long = 0;
  f->key.row = 0;
  if (!keybuf_assign(&f->key, key, &too_long) || too_long) return 0;
  if (!key_encode(&f->key, nullptr)) return 0;
  uint8_t wanted[kKeyMaxStored], probe[kKeyMaxStored];
  stored_key(&f->key, wanted, k);
  std::memcpy(probe, wanted, static_cast<size_t>(k));
  int32_t row = 0;
  btree_search(ix, f->number, probe, mode, &row);
  uint8_t found[kKeyMaxStored];
  int32_t found_row = 0;
  bool at_entry = btree_current(ix, f->number, found, &found_row) != 0;
  if (!at_entry && mode == 1) at_entry = btree_settle_forward(ix, f->number, found, &found_row) != 0;
  if (!at_entry) {
    f->key.row = 0;
    return 0;
  }
  take_found(f, found, k, found_row);
  if (std::memcmp(found, wanted, static_cast<size_t>(k)) != 0) return 0;
  key->row = found_row;
  return 1;
}

}  // namespace

int16_t field_index_seek(IndexFile* ix, FieldIndex* f, KeyBuf* key) { return seek_with(ix, f, key, 0); }
int16_t field_index_seek_after(IndexFile* ix, FieldIndex* f, KeyBuf* key) { return seek_with(ix, f, key, 1); }

int16_t field_index_rewind(IndexFile* ix, FieldIndex* f) {
  if (f == nullptr) return 0;
  f->key.row = 0;
  return btree_rewind(ix, f->number);
}

int16_t field_index_wind_end(IndexFile* ix, FieldIndex* f) {
  if (f == nullptr) return 0;
  f->key.row = 0;
  return btree_wind_end(ix, f->number);
}

int16_t field_index_first(IndexFile* ix, FieldIndex* f, KeyBuf* key) {
  return field_index_rewind(ix, f) ? step(ix, f, key, 1) : 0;
}
int16_t field_index_last(IndexFile* ix, FieldIndex* f, KeyBuf* key) {
  return field_index_wind_end(ix, f) ? step(ix, f, key, -1) : 0;
}
int16_t field_index_next(IndexFile* ix, FieldIndex* f, KeyBuf* key) { return step(ix, f, key, 1); }
int16_t field_index_prev(IndexFile* ix, FieldIndex* f, KeyBuf* key) { return step(ix, f, key, -1); }
int16_t field_index_next_distinct(IndexFile* ix, FieldIndex* f, KeyBuf* key) { return step_distinct(ix, f, key, 1); }
int16_t field_index_prev_distinct(IndexFile* ix, FieldIndex* f, KeyBuf* key) { return step_distinct(ix, f, key, -1); }

int16_t field_index_current(const FieldIndex* f, KeyBuf* key) {
  if (f == nullptr || f->key.row == 0 || key == nullptr) return 0;
  return keybuf_assign(key, &f->key, nullptr);
}

FieldIndex* field_index_new() { return new (std::nothrow) FieldIndex{}; }

void field_index_release(FieldIndex* f) {
  if (f == nullptr) return;
  field_index_free(f);
  delete f;
}
