// Compound-document reader (see cfb.h). The container is held in memory by
// the caller; this reads its tables and copies one stream out.
#include "platform/cfb.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr uint32_t kNoStream = 0xFFFFFFFFu;
constexpr uint32_t kMaxRegular = 0xFFFFFFFAu;  // above: special values

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

struct Container {
  const uint8_t* data = nullptr;
  size_t size = 0;
  uint32_t sector_size = 512;
  uint32_t mini_size = 64;
  uint32_t cutoff = 4096;
  std::vector<uint32_t> fat;
  std::vector<uint32_t> minifat;
  std::vector<uint8_t> directory;
  std::vector<uint8_t> ministream;

  size_t sector_count() const { return size / sector_size > 0 ? size / sector_size - 1 : 0; }
  const uint8_t* sector(uint32_t n) const {
    if (n > kMaxRegular || n >= sector_count()) return nullptr;
    const size_t at = (static_cast<size_t>(n) + 1) * sector_size;
    return at + sector_size <= size ? data + at : nullptr;
  }
  // The sectors of a chain in order; false on a bad number or a cycle.
  bool chain(uint32_t first, std::vector<uint32_t>* out) const {
    out->clear();
    std::vector<bool> seen(fat.size(), false);
    for (uint32_t s = first; s != kEndOfChain;) {
      if (s >= fat.size() || seen[s] || sector(s) == nullptr) return false;
      seen[s] = true;
      out->push_back(s);
      s = fat[s];
    }
    return true;
  }
  // The bytes of a regular chain, at most limit bytes.
  bool read_chain(uint32_t first, uint64_t limit, std::vector<uint8_t>* out) const {
    std::vector<uint32_t> secs;
    if (!chain(first, &secs)) return false;
    if (static_cast<uint64_t>(secs.size()) * sector_size < limit) return false;
    out->clear();
    out->reserve(static_cast<size_t>(limit));
    for (uint32_t s : secs) {
      const size_t take = static_cast<size_t>(std::min<uint64_t>(sector_size, limit - out->size()));
      if (take == 0) break;
      out->insert(out->end(), sector(s), sector(s) + take);
    }
    return true;
  }
  bool read_mini(uint32_t first, uint64_t limit, std::vector<uint8_t>* out) const {
    out->clear();
    std::vector<bool> seen(minifat.size(), false);
    for (uint32_t s = first; out->size() < limit;) {
      if (s == kEndOfChain || s >= minifat.size() || seen[s]) return false;
      seen[s] = true;
      const size_t at = static_cast<size_t>(s) * mini_size;
      if (at + mini_size > ministream.size()) return false;
      const size_t take = static_cast<size_t>(std::min<uint64_t>(mini_size, limit - out->size()));
      out->insert(out->end(), ministream.data() + at, ministream.data() + at + take);
      s = minifat[s];
    }
    return true;
  }
};

bool read_header(Container* c) {
  const uint8_t* h = c->data;
  if (c->size < 512 || u16(h + 28) != 0xFFFE) return false;
  const uint16_t shift = u16(h + 30), mini_shift = u16(h + 32);
  if (shift != 9 && shift != 12) return false;
  if (mini_shift != 6) return false;
  c->sector_size = 1u << shift;
  c->mini_size = 1u << mini_shift;
  c->cutoff = u32(h + 56);
  const uint32_t fat_sectors = u32(h + 44);
  if (fat_sectors > c->sector_count()) return false;
  // The FAT's sector numbers: 109 in the header, then the DIFAT chain.
  std::vector<uint32_t> fat_list;
  for (uint32_t i = 0; i < 109 && fat_list.size() < fat_sectors; ++i) fat_list.push_back(u32(h + 76 + 4 * i));
  uint32_t difat = u32(h + 68);
  const uint32_t per = c->sector_size / 4 - 1;
  std::vector<bool> seen(c->sector_count(), false);
  while (fat_list.size() < fat_sectors) {
    const uint8_t* d = c->sector(difat);
    if (d == nullptr || seen[difat]) return false;
    seen[difat] = true;
    for (uint32_t i = 0; i < per && fat_list.size() < fat_sectors; ++i) fat_list.push_back(u32(d + 4 * i));
    difat = u32(d + 4 * per);
  }
  for (uint32_t s : fat_list) {
    const uint8_t* d = c->sector(s);
    if (d == nullptr) return false;
    for (uint32_t i = 0; i < c->sector_size / 4; ++i) c->fat.push_back(u32(d + 4 * i));
  }
  // Directory: a regular chain of whole sectors.
  std::vector<uint32_t> dir;
  if (!c->chain(u32(h + 48), &dir) || dir.empty()) return false;
  for (uint32_t s : dir) c->directory.insert(c->directory.end(), c->sector(s), c->sector(s) + c->sector_size);
  // Mini FAT.
  std::vector<uint32_t> mf;
  const uint32_t first_minifat = u32(h + 60);
  if (first_minifat != kEndOfChain && first_minifat != kNoStream) {
    if (!c->chain(first_minifat, &mf)) return false;
    for (uint32_t s : mf) {
      for (uint32_t i = 0; i < c->sector_size / 4; ++i) c->minifat.push_back(u32(c->sector(s) + 4 * i));
    }
  }
  return true;
}

uint64_t entry_size(const Container& c, const uint8_t* e) {
  uint64_t n = u32(e + 120);
  if (c.sector_size == 4096) n |= static_cast<uint64_t>(u32(e + 124)) << 32;
  return n;
}

// The entry's name as ASCII upper case ("" when it holds other characters).
std::string entry_name(const uint8_t* e) {
  const uint16_t bytes = u16(e + 64);
  std::string out;
  if (bytes < 2 || bytes > 64 || bytes % 2 != 0) return out;
  for (uint16_t i = 0; i + 2 < bytes; i += 2) {
    const uint16_t ch = u16(e + i);
    if (ch == 0 || ch > 0x7E) return std::string();
    out += static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  }
  return out;
}

std::string upper(const char* s) {
  std::string out;
  for (; *s != '\0'; ++s) out += static_cast<char>(*s >= 'a' && *s <= 'z' ? *s - 32 : *s);
  return out;
}

}  // namespace

bool cfb_is_container(const uint8_t* data, size_t size) {
  static const uint8_t kSig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  return size >= 8 && std::memcmp(data, kSig, 8) == 0;
}

CfbResult cfb_read_stream(const uint8_t* data, size_t size, const char* const* names, size_t name_count,
                          std::vector<uint8_t>* out) {
  out->clear();
  if (!cfb_is_container(data, size)) return CFB_BROKEN;
  Container c;
  c.data = data;
  c.size = size;
  if (!read_header(&c)) return CFB_BROKEN;
  const size_t entries = c.directory.size() / 128;
  const uint8_t* root = c.directory.data();
  if (entries == 0 || root[66] != 5) return CFB_BROKEN;
  // The root's children: a tree through the left, right sibling links.
  std::vector<uint32_t> children;
  std::vector<bool> seen(entries, false);
  std::vector<uint32_t> todo{u32(root + 76)};
  seen[0] = true;
  while (!todo.empty()) {
    const uint32_t n = todo.back();
    todo.pop_back();
    if (n == kNoStream) continue;
    if (n >= entries || seen[n]) return CFB_BROKEN;
    seen[n] = true;
    children.push_back(n);
    const uint8_t* e = root + 128 * static_cast<size_t>(n);
    todo.push_back(u32(e + 68));
    todo.push_back(u32(e + 72));
  }
  for (size_t k = 0; k < name_count; ++k) {
    const std::string want = upper(names[k]);
    for (uint32_t n : children) {
      const uint8_t* e = root + 128 * static_cast<size_t>(n);
      if (e[66] != 2 || entry_name(e) != want) continue;
      const uint64_t len = entry_size(c, e);
      if (len > size) return CFB_BROKEN;  // a stream never outgrows its file
      if (len < c.cutoff) {
        const uint64_t mini_len = entry_size(c, root);
        if (mini_len > size || !c.read_chain(u32(root + 116), mini_len, &c.ministream)) return CFB_BROKEN;
        return c.read_mini(u32(e + 116), len, out) ? CFB_OK : CFB_BROKEN;
      }
      return c.read_chain(u32(e + 116), len, out) ? CFB_OK : CFB_BROKEN;
    }
  }
  return CFB_NO_STREAM;
}
