// Style resources of map files: the chain of style blocks, the four tables
// of the open handle, indexes for styles with use counts, reuse of free slots
// and the closest match when 255 resources of a kind are in use.
#include <algorithm>
#include <cstring>

#include "kernel/mapobjects/mapbytes.h"
#include "kernel/mapobjects/mapfile.h"
#include "kernel/mapobjects/mapstyle.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/util.h"

namespace {

// File kinds and record lengths by table kind (pen, brush, symbol, name).
const uint8_t kFileKind[4] = {1, 2, 4, 3};
const int kFormSize[4] = {6, 8, 8, 32};
int record_length(int kind) { return 5 + kFormSize[kind]; }
int table_kind(int file_kind) {
  for (int k = 0; k < 4; ++k)
    if (kFileKind[k] == file_kind) return k;
  return -1;
}

int16_t io_at(MapFile* mf, int32_t offset, void* buffer, int32_t count, bool write) {
  if (file_seek(mf->file, offset, SEEK_SET) != offset) return 0;
  const int32_t n = write ? file_write(mf->file, buffer, count) : file_read(mf->file, buffer, count);
  return n == count;
}

int32_t file_position(const MapFile* mf, int32_t resource) {
  const int32_t block = resource / mf->block_size;
  if (block < 0 || block >= mf->style_blocks || !mf->style_block_table) return 0;
  return mf->style_block_table[block] + resource % mf->block_size;
}

bool form_is_free(const MapStyleSlot& s, int kind) {
  for (int i = 0; i < kFormSize[kind]; ++i)
    if (s.form[i]) return false;
  return true;
}

int16_t alloc_tables(MapFile* mf) {
  for (int k = 0; k < 4; ++k) {
    if (mf->styles[k]) continue;
    void* p = nullptr;
    if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(MapStyleSlot)) * kMapStyleMax, &p, nullptr)) return 0;
    mf->styles[k] = static_cast<MapStyleSlot*>(p);
  }
  if (!mf->style_block_table) {
    void* p = nullptr;
    if (!mem_alloc_zeroed(4LL * kMapStyleMax, &p, nullptr)) return 0;
    mf->style_block_table = static_cast<int32_t*>(p);
  }
  return 1;
}

// Appends a resource record (kind, uses 1, form) to the last style block or
// a new one; the resource position goes to position.
int16_t append_record(MapFile* mf, int kind, const uint8_t* form, int32_t* position) {
  const int len = record_length(kind);
  uint8_t rec[40] = {};
  rec[0] = kFileKind[kind];
  le_put32(rec + 1, 1);
  std::memcpy(rec + 5, form, static_cast<size_t>(kFormSize[kind]));
  uint8_t head[8];
  int32_t used = mf->block_size;
  const int last = mf->style_blocks - 1;
  if (last >= 0) {
    if (!io_at(mf, mf->style_block_table[last], head, 8, false)) return 0;
    used = le_get16(head + 2);
  }
  int index = last;
  if (last < 0 || mf->block_size < 8 + used + len) {
    if (mf->style_blocks >= kMapStyleMax) return mapfile_damaged(mf, "style blocks");
    int32_t pos = 0;
    if (!mapblock_new_position(mf, &pos)) return 0;
    MapBlock* b = nullptr;
    if (!mapblock_alloc(mf, &b)) return 0;
    mapblock_init(mf, b, MAPBLOCK_STYLE);
    const int16_t ok = mapblock_write(mf, b, pos);
    mapblock_free(&b);
    if (!ok) return 0;
    if (last >= 0) {
      uint8_t link[4];
      le_put32(link, pos);
      if (!io_at(mf, mf->style_block_table[last] + 4, link, 4, true)) return 0;
    } else {
      mf->style_head = pos;
    }
    index = mf->style_blocks++;
    mf->style_block_table[index] = pos;
    used = 0;
  }
  const int32_t block_pos = mf->style_block_table[index];
  if (!io_at(mf, block_pos + 8 + used, rec, len, true)) return 0;
  uint8_t u[2];
  le_put16(u, used + len);
  if (!io_at(mf, block_pos + 2, u, 2, true)) return 0;
  ++mf->generation;
  *position = index * mf->block_size + 8 + used;
  return 1;
}

int16_t rewrite_record(MapFile* mf, int kind, int32_t resource, const uint8_t* form) {
  uint8_t rec[40] = {};
  rec[0] = kFileKind[kind];
  le_put32(rec + 1, 1);
  std::memcpy(rec + 5, form, static_cast<size_t>(kFormSize[kind]));
  const int32_t pos = file_position(mf, resource);
  if (pos == 0) return mapfile_damaged(mf, "style resource");
  ++mf->generation;
  return io_at(mf, pos, rec, record_length(kind), true);
}

using ScoreFn = int32_t (*)(const uint8_t* form, const void* style);

int32_t pen_form_score(const uint8_t* form, const void* style) {
  PenStyle p{};
  pen_unpack(form, &p);
  return mapstyle_pen_score(&p, static_cast<const PenStyle*>(style));
}
int32_t brush_form_score(const uint8_t* form, const void* style) {
  BrushStyle b{};
  brush_unpack(form, &b);
  return mapstyle_brush_score(&b, static_cast<const BrushStyle*>(style));
}
int32_t symbol_form_score(const uint8_t* form, const void* style) {
  SymbolStyle s{};
  symbol_unpack(form, &s);
  return mapstyle_symbol_score(&s, static_cast<const SymbolStyle*>(style));
}

// The index of a packed form: equal entry, new resource, free slot, or the
// closest entry that beats the default.
int16_t index_for(MapFile* mf, int kind, const uint8_t* form, int* index, int16_t count_uses, ScoreFn score,
                  const void* style, int32_t default_score) {
  *index = 0;
  if (!mf) return 1;
  if (!alloc_tables(mf)) return 0;
  MapStyleSlot* t = mf->styles[kind];
  const int n = mf->style_counts[kind];
  const size_t fs = static_cast<size_t>(kFormSize[kind]);
  for (int i = 0; i < n; ++i) {
    if (form_is_free(t[i], kind) || std::memcmp(t[i].form, form, fs) != 0) continue;
    *index = i + 1;
    int32_t c = 0;
    return count_uses ? mapstyle_add_uses(t[i].position, &c, mf, 1) : 1;
  }
  if (n < kMapStyleMax) {
    int32_t pos = 0;
    if (!append_record(mf, kind, form, &pos)) return 0;
    t[n].position = pos;
    std::memset(t[n].form, 0, sizeof t[n].form);
    std::memcpy(t[n].form, form, fs);
    mf->style_counts[kind] = static_cast<uint8_t>(n + 1);
    *index = n + 1;
    return 1;
  }
  for (int i = 0; i < n; ++i) {
    if (!form_is_free(t[i], kind)) continue;
    if (!rewrite_record(mf, kind, t[i].position, form)) return 0;
    std::memcpy(t[i].form, form, fs);
    *index = i + 1;
    return 1;
  }
  if (!score) return 1;
  int best = -1;
  int32_t best_score = default_score;
  for (int i = 0; i < n; ++i) {
    const int32_t s = score(t[i].form, style);
    if (s > best_score) {
      best_score = s;
      best = i;
    }
  }
  if (best < 0 || !count_uses) return 1;
  int32_t c = 0;
  *index = best + 1;
  return mapstyle_add_uses(t[best].position, &c, mf, 1);
}

// The slot of an index, or null for the default (0 or out of range).
MapStyleSlot* slot_of(MapFile* mf, int kind, int index) {
  if (!mf || !mf->styles[kind] || index < 1 || index > mf->style_counts[kind]) return nullptr;
  return &mf->styles[kind][index - 1];
}

int16_t release_slot(MapFile* mf, int kind, MapStyleSlot* s) {
  int32_t c = 0;
  if (!mapstyle_add_uses(s->position, &c, mf, -1)) return 0;
  if (c == 0) std::memset(s->form, 0, sizeof s->form);
  (void)kind;
  return 1;
}

}  // namespace

void mapfile_free_styles(MapFile* mf) {
  for (auto& t : mf->styles) {
    void* p = t;
    mem_free(&p);
    t = nullptr;
  }
  void* p = mf->style_block_table;
  mem_free(&p);
  mf->style_block_table = nullptr;
}

int16_t mapfile_load_styles(MapFile* mf) {
  if (!alloc_tables(mf)) return 0;
  for (auto* t : mf->styles) std::memset(t, 0, sizeof(MapStyleSlot) * kMapStyleMax);
  int filled[4] = {};
  int32_t pos = mf->style_head;
  int blocks = 0;
  MapBlock* b = nullptr;
  if (pos != 0 && !mapblock_alloc(mf, &b)) return 0;
  int16_t ok = 1;
  while (pos != 0) {
    if (blocks >= mf->style_blocks) { ok = mapfile_damaged(mf, "style chain"); break; }
    for (int i = 0; i < blocks; ++i)
      if (mf->style_block_table[i] == pos) { ok = mapfile_damaged(mf, "style chain"); break; }
    if (!ok || !mapblock_read(mf, b, pos)) { ok = 0; break; }
    if (le_get16(b->data) != MAPBLOCK_STYLE) { ok = mapfile_damaged(mf, "style block"); break; }
    const int used = le_get16(b->data + 2);
    if (used < 0 || used > mf->block_size - 8) { ok = mapfile_damaged(mf, "style block"); break; }
    mf->style_block_table[blocks] = pos;
    int off = 0;
    while (off < used) {
      const int kind = table_kind(b->data[8 + off]);
      if (kind < 0 || off + record_length(kind) > used) { ok = mapfile_damaged(mf, "style record"); break; }
      if (filled[kind] < mf->style_counts[kind]) {
        MapStyleSlot& s = mf->styles[kind][filled[kind]++];
        s.position = blocks * mf->block_size + 8 + off;
        if (le_get32(b->data + 8 + off + 1) != 0)
          std::memcpy(s.form, b->data + 8 + off + 5, static_cast<size_t>(kFormSize[kind]));
      }
      off += record_length(kind);
    }
    if (!ok) break;
    ++blocks;
    pos = le_get32(b->data + 4);
  }
  mapblock_free(&b);
  if (ok && blocks != mf->style_blocks) ok = mapfile_damaged(mf, "style chain");
  for (int k = 0; ok && k < 4; ++k)
    if (filled[k] != mf->style_counts[k]) ok = mapfile_damaged(mf, "style counts");
  return ok;
}

int16_t mapstyle_read_uses(MapFile* mf, int32_t position, int32_t* count) {
  const int32_t pos = file_position(mf, position);
  uint8_t b[4];
  if (pos == 0) return mapfile_damaged(mf, "style resource");
  if (!io_at(mf, pos + 1, b, 4, false)) return 0;
  *count = le_get32(b);
  return 1;
}

int16_t mapstyle_add_uses(int32_t position, int32_t* count, MapFile* mf, int32_t delta) {
  int32_t c = 0;
  if (!mapstyle_read_uses(mf, position, &c)) return 0;
  int64_t n = static_cast<int64_t>(c) + delta;
  n = std::clamp<int64_t>(n, 0, INT32_MAX);
  uint8_t b[4];
  le_put32(b, static_cast<int32_t>(n));
  if (!io_at(mf, file_position(mf, position) + 1, b, 4, true)) return 0;
  ++mf->generation;
  *count = static_cast<int32_t>(n);
  return 1;
}

int16_t mapstyle_read_pen(MapFile* mf, int index, PenStyle* out, int16_t release) {
  MapStyleSlot* s = slot_of(mf, MAPSTYLE_PEN, index);
  if (!s) {
    *out = g_default_style_set.line_pen;
    return 1;
  }
  pen_unpack(s->form, out);
  return release ? release_slot(mf, MAPSTYLE_PEN, s) : 1;
}

int16_t mapstyle_read_brush(MapFile* mf, int index, BrushStyle* out, int16_t release) {
  MapStyleSlot* s = slot_of(mf, MAPSTYLE_BRUSH, index);
  if (!s) {
    *out = g_default_style_set.brush;
    return 1;
  }
  brush_unpack(s->form, out);
  return release ? release_slot(mf, MAPSTYLE_BRUSH, s) : 1;
}

int16_t mapstyle_read_symbol(MapFile* mf, int index, SymbolStyle* out, int16_t release) {
  MapStyleSlot* s = slot_of(mf, MAPSTYLE_SYMBOL, index);
  const uint8_t kind = out->kind;
  if (!s) {
    if (kind == 0) *out = g_default_style_set.symbol;
    return 1;
  }
  symbol_unpack(s->form, out);
  out->kind = kind;
  return release ? release_slot(mf, MAPSTYLE_SYMBOL, s) : 1;
}

static int16_t read_name(MapFile* mf, int index, char* name, int16_t release, const char* fallback) {
  MapStyleSlot* s = slot_of(mf, MAPSTYLE_NAME, index);
  if (!s) {
    if (fallback) std::strcpy(name, fallback);
    return 1;
  }
  std::memcpy(name, s->form, 31);
  name[31] = '\0';
  return release ? release_slot(mf, MAPSTYLE_NAME, s) : 1;
}

int16_t mapstyle_read_font(MapFile* mf, int index, char* name, int16_t release) {
  return read_name(mf, index, name, release, "Helvetica");
}

int16_t mapstyle_read_bitmap(MapFile* mf, int index, char* name, int16_t release) {
  return read_name(mf, index, name, release, nullptr);
}

int16_t mapstyle_pen_index(MapFile* mf, const PenStyle* pen, int* index, int16_t count_uses) {
  *index = 0;
  uint8_t form[8] = {};
  if (!pen_pack(pen, form)) return 0;
  if (pen_equal(pen, &g_default_style_set.line_pen)) return 1;
  return index_for(mf, MAPSTYLE_PEN, form, index, count_uses, pen_form_score, pen,
                   mapstyle_pen_score(&g_default_style_set.line_pen, pen));
}

int16_t mapstyle_brush_index(MapFile* mf, const BrushStyle* brush, int* index, int16_t count_uses) {
  *index = 0;
  if (brush_equal(brush, &g_default_style_set.brush)) return 1;
  uint8_t form[8] = {};
  brush_pack(brush, form);
  return index_for(mf, MAPSTYLE_BRUSH, form, index, count_uses, brush_form_score, brush,
                   mapstyle_brush_score(&g_default_style_set.brush, brush));
}

int16_t mapstyle_symbol_index(MapFile* mf, const SymbolStyle* symbol, int* index, int16_t count_uses) {
  uint8_t form[8] = {};
  symbol_pack(symbol, form);
  return index_for(mf, MAPSTYLE_SYMBOL, form, index, count_uses, symbol_form_score, symbol,
                   mapstyle_symbol_score(&g_default_style_set.symbol, symbol));
}

static int16_t name_index(MapFile* mf, const char* name, int* index, int16_t count_uses) {
  uint8_t form[32] = {};
  std::strncpy(reinterpret_cast<char*>(form), name, 31);
  return index_for(mf, MAPSTYLE_NAME, form, index, count_uses, nullptr, nullptr, 0);
}

int16_t mapstyle_font_index(MapFile* mf, const char* name, int* index, int16_t count_uses) {
  return name_index(mf, name, index, count_uses);
}

int16_t mapstyle_bitmap_index(MapFile* mf, const char* name, int* index, int16_t count_uses) {
  return name_index(mf, name, index, count_uses);
}

int32_t mapstyle_width_score(int16_t a, int16_t b) {
  if (pen_width_is_pixel(a) != pen_width_is_pixel(b)) return 0;
  const int32_t lo = std::min(std::abs(a), std::abs(b)), hi = std::max(std::abs(a), std::abs(b));
  return hi == 0 ? 1000 : 1000 * lo / hi;
}

int32_t mapstyle_pen_score(const PenStyle* a, const PenStyle* b) {
  if (a->pattern == 1 && b->pattern == 1) return 3000;
  return util_color_closeness(a->colour, b->colour) + mapstyle_width_score(a->width, b->width) +
         (a->pattern == b->pattern ? 1000 : 0);
}

int32_t mapstyle_brush_score(const BrushStyle* a, const BrushStyle* b) {
  if (a->pattern == 1 && b->pattern == 1) return 3000;
  const int32_t back = (a->pattern == 2 && b->pattern == 2) ? 1000 : util_color_closeness(a->back, b->back);
  return util_color_closeness(a->fore, b->fore) + back + (a->pattern == b->pattern ? 1000 : 0);
}

int32_t mapstyle_symbol_score(const SymbolStyle* a, const SymbolStyle* b) {
  const int32_t lo = std::min(std::abs(a->size), std::abs(b->size)), hi = std::max(std::abs(a->size), std::abs(b->size));
  return util_color_closeness(a->colour, b->colour) + (hi == 0 ? 1000 : 1000 * lo / hi) +
         (a->shape == b->shape ? 1000 : 0);
}
