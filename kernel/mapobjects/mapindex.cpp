// The spatial index of map files: depth-first search through the path,
// reading one object by its position, insertion with object and index block
// splits, and deletion by the deleted mark.
//
// A split is planned in memory; then every new block is written (new
// object block, fresh coordinate chains, new index blocks, a new root), then
// the changed existing index blocks, and the split object block last. A
// failure before an existing block changed loses nothing; one after it
// marks the header's index damaged.
#include <algorithm>
#include <cstring>
#include <vector>

#include "kernel/mapobjects/mapbytes.h"
#include "kernel/mapobjects/mapfile.h"
#include "kernel/mapobjects/mapfile_internal.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/rect.h"

int32_t g_split_tie_toggle = 0;

namespace {

int max_entries(const MapFile* mf) { return (mf->block_size - 4) / 20; }

struct Entry {
  IntRect rect;
  int32_t child;
};

Entry get_entry(const uint8_t* block, int i) {
  const uint8_t* p = block + 4 + 20 * i;
  return Entry{{le_get32(p), le_get32(p + 4), le_get32(p + 8), le_get32(p + 12)}, le_get32(p + 16)};
}

void put_entry(uint8_t* block, int i, const Entry& e) {
  uint8_t* p = block + 4 + 20 * i;
  le_put32(p, e.rect.x1);
  le_put32(p + 4, e.rect.y1);
  le_put32(p + 8, e.rect.x2);
  le_put32(p + 12, e.rect.y2);
  le_put32(p + 16, e.child);
}

int32_t centre_x(const IntRect& r) {
  IntPoint c;
  rect_center(&r, &c);
  return c.x;
}

bool toggle() {
  g_split_tie_toggle = g_split_tie_toggle == 0 ? 1 : 0;
  return g_split_tie_toggle == 1;
}

IntRect unite(IntRect a, const IntRect& b) {
  rect_union(&a, &b);
  return a;
}

bool same_rect(const IntRect& a, const IntRect& b) {
  return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

// Blocks in a tree cannot be entered more often than the file has blocks.
bool visit_ok(MapSearch* s, MapFile* mf) {
  const int64_t limit = file_get_size(mf->file) / mf->block_size + 1;
  return ++s->visited <= static_cast<uint64_t>(limit);
}

int16_t check_index_block(MapFile* mf, const uint8_t* data) {
  const int n = le_get16(data + 2);
  if (n < 0 || n > max_entries(mf)) return mapfile_damaged(mf, "index entries");
  return 1;
}

int16_t check_object_block(MapFile* mf, const uint8_t* data) {
  const int used = le_get16(data + 2);
  if (used < 0 || used > mf->block_size - 20) return mapfile_damaged(mf, "object block");
  return 1;
}

}  // namespace

// ---- searching -------------------------------------------------------------

int16_t mapfile_search_begin(MapSearch* s, MapFile* mf) {
  std::memset(s, 0, sizeof *s);
  if (!mapblock_alloc(mf, &s->block) || !mapblock_alloc(mf, &s->coord)) {
    mapfile_search_end(s, mf);
    return 0;
  }
  s->path[0] = MapPathLevel{mf->bounds, mf->root, 0};
  s->level = mf->depth == 0 ? -1 : 0;
  return 1;
}

void mapfile_search_end(MapSearch* s, MapFile*) {
  mapblock_free(&s->block);
  mapblock_free(&s->coord);
}

int16_t mapfile_search_next(MapSearch* s, MapFile* mf, int16_t read_coords, MapFilterFn filter, void* user,
                            MapObject* obj, int32_t* position) {
  const int depth = mf->depth;
  while (s->level >= 0 && s->level < depth) {
    MapPathLevel& lv = s->path[s->level];
    const bool fresh = s->block->position != lv.position || (s->block->flags & MAPBLOCK_INVALID) ||
                       s->block->stamp != mf->generation;
    if (fresh && lv.index == 0 && !visit_ok(s, mf)) return mapfile_damaged(mf, "index cycle");
    if (!mapblock_read(mf, s->block, lv.position)) return 0;
    const uint8_t* d = s->block->data;
    const int16_t type = le_get16(d);
    const bool leaf_level = s->level == depth - 1;
    if (type == MAPBLOCK_INDEX && !leaf_level) {
      if (!check_index_block(mf, d)) return 0;
      const int n = le_get16(d + 2);
      bool down = false;
      for (int i = lv.index; i < n; ++i) {
        const Entry e = get_entry(d, i);
        if (filter && !filter(&e.rect, 0, user)) continue;
        lv.index = i;
        s->path[s->level + 1] = MapPathLevel{e.rect, e.child, 0};
        ++s->level;
        down = true;
        break;
      }
      if (down) continue;
    } else if (type == MAPBLOCK_OBJECT && leaf_level) {
      if (!check_object_block(mf, d)) return 0;
      const int used = le_get16(d + 2);
      const IntPoint centre{le_get32(d + 4), le_get32(d + 8)};
      int off = lv.index;
      while (off < used) {
        const uint8_t* rec = d + 20 + off;
        const int code = rec[0];
        const int len = maprec_length(mf, code);
        if (len == 0 || off + len > used) return mapfile_damaged(mf, "record length");
        const int32_t row = le_get32(rec + 1);
        const int32_t at = off;
        off += len;
        if (code > kMapHighestCode || (row & MAP_DELETED)) continue;
        int32_t coord = 0;
        if (!maprec_decode(mf, rec, used - at, obj, &coord, &centre, 0)) return 0;
        if (filter && !filter(&obj->mbr, 1, user)) continue;
        if (read_coords && !mapfile_read_coords(mf, s->coord, coord, obj, code)) continue;
        lv.index = off;
        if (position) *position = lv.position + 20 + at;
        return 1;
      }
    } else {
      return mapfile_damaged(mf, "block type");
    }
    // The block is exhausted: back to the parent's next entry.
    --s->level;
    if (s->level >= 0) ++s->path[s->level].index;
  }
  return 0;
}

// The record at a position: the block, the offset in its record area.
static int16_t locate_record(MapFile* mf, MapBlock* b, int32_t pos, int* off) {
  const int32_t bs = mf->block_size;
  if (pos <= 0 || pos % bs < 20) return mapfile_damaged(mf, "record position");
  if (!mapblock_read(mf, b, pos - pos % bs)) return 0;
  if (le_get16(b->data) != MAPBLOCK_OBJECT || !check_object_block(mf, b->data))
    return mapfile_damaged(mf, "record position");
  *off = pos % bs - 20;
  const int used = le_get16(b->data + 2);
  const int len = maprec_length(mf, b->data[20 + *off]);
  if (*off >= used || len == 0 || *off + len > used) return mapfile_damaged(mf, "record position");
  return 1;
}

int16_t mapfile_read_object(MapSearch* s, MapFile* mf, int32_t row, int16_t read_coords, MapLocateFn locate,
                            void* locate_user, MapFilterFn filter, void* user, MapObject* obj, int* code_out) {
  if (!locate) return 0;
  int32_t pos = 0;
  if (!locate(row, &pos, locate_user) || pos == 0) return 0;
  int off = 0;
  if (!locate_record(mf, s->block, pos, &off)) return 0;
  const uint8_t* d = s->block->data;
  const uint8_t* rec = d + 20 + off;
  const int code = rec[0];
  if (code > kMapHighestCode || le_get32(rec + 1) != row) return 0;
  const IntPoint centre{le_get32(d + 4), le_get32(d + 8)};
  int32_t coord = 0;
  if (!maprec_decode(mf, rec, le_get16(d + 2) - off, obj, &coord, &centre, 0)) return 0;
  if (filter && !filter(&obj->mbr, 1, user)) return 0;
  if (read_coords && !mapfile_read_coords(mf, s->coord, coord, obj, code)) return 0;
  if (code_out) *code_out = code;
  return 1;
}

// ---- writing ---------------------------------------------------------------

int16_t mapfile_write_begin(MapWriter* w, MapFile* mf, int64_t node_size) {
  std::memset(w, 0, sizeof *w);
  w->node_size = node_size;
  if (!mapfile_search_begin(&w->search, mf) || !mapblock_alloc(mf, &w->new_block) ||
      !mapblock_alloc(mf, &w->coord)) {
    mapfile_write_end(w, mf);
    return 0;
  }
  return 1;
}

void mapfile_write_end(MapWriter* w, MapFile* mf) {
  mapfile_search_end(&w->search, mf);
  mapblock_free(&w->new_block);
  mapblock_free(&w->coord);
}

namespace {

struct Staged {
  int32_t position;
  std::vector<uint8_t> image;
  bool is_new;
};

struct Plan {
  MapFile* mf;
  MapWriter* w;
  std::vector<Staged> blocks;
  std::vector<int32_t> fresh;  // every position allocated, for release on failure

  int16_t alloc(int32_t* pos) {
    if (!mapblock_new_position(mf, pos)) return 0;
    fresh.push_back(*pos);
    return 1;
  }
};

// Writes the record of obj into a leaf image at its used bytes, with its
// coordinate data appended to the leaf's current coordinate chain.
int16_t place_record(Plan& plan, uint8_t* leaf, int32_t leaf_pos, const MapObject* obj, int code,
                     int16_t count_uses, int32_t* rec_pos) {
  MapFile* mf = plan.mf;
  MapBlock* coord = plan.w->coord;
  int32_t data_pos = 0;
  if (maprec_has_chain(mf, code)) {
    int32_t cur = le_get32(leaf + 16);
    int32_t used = 0;
    if (cur == 0) {
      if (!plan.alloc(&cur)) return 0;
      mapblock_init(mf, coord, MAPBLOCK_COORD);
      coord->position = cur;
      le_put32(leaf + 12, cur);
    } else {
      if (!mapblock_read(mf, coord, cur)) return 0;
      if (le_get16(coord->data) != MAPBLOCK_COORD) return mapfile_damaged(mf, "coordinate block");
      used = le_get16(coord->data + 2);
      if (used < 0 || used > mf->block_size - 8) return mapfile_damaged(mf, "coordinate block");
    }
    const size_t before = plan.fresh.size();
    const uint32_t gen = mf->generation;
    (void)gen;
    if (!mapcoord_write(mf, obj, code, coord, &used, &data_pos)) return 0;
    (void)before;
    if (!mapblock_write(mf, coord, coord->position)) return 0;
    le_put32(leaf + 16, coord->position);
  }
  const int used = le_get16(leaf + 2);
  const IntPoint centre{le_get32(leaf + 4), le_get32(leaf + 8)};
  if (!maprec_encode(mf, obj, code, leaf + 20 + used, data_pos, &centre, count_uses)) return 0;
  le_put16(leaf + 2, used + maprec_length(mf, code));
  *rec_pos = leaf_pos + 20 + used;
  return 1;
}

void init_leaf(const MapFile* mf, std::vector<uint8_t>& img, const IntPoint& centre) {
  img.assign(static_cast<size_t>(mf->block_size), 0);
  le_put16(img.data(), MAPBLOCK_OBJECT);
  le_put32(img.data() + 4, centre.x);
  le_put32(img.data() + 8, centre.y);
}

// Inserts an entry into an index image in decreasing order of centre x.
void insert_sorted(uint8_t* img, const Entry& e) {
  const int n = le_get16(img + 2);
  int at = n;
  const int32_t cx = centre_x(e.rect);
  for (int i = 0; i < n; ++i) {
    if (centre_x(get_entry(img, i).rect) < cx) {
      at = i;
      break;
    }
  }
  for (int i = n; i > at; --i) put_entry(img, i, get_entry(img, i - 1));
  put_entry(img, at, e);
  le_put16(img + 2, n + 1);
}

void remove_entry(uint8_t* img, int index) {
  const int n = le_get16(img + 2);
  for (int i = index; i < n - 1; ++i) put_entry(img, i, get_entry(img, i + 1));
  le_put16(img + 2, n - 1);
}

IntRect union_of(const uint8_t* img) {
  const int n = le_get16(img + 2);
  IntRect r = get_entry(img, 0).rect;
  for (int i = 1; i < n; ++i) {
    const IntRect x = get_entry(img, i).rect;
    rect_union(&r, &x);
  }
  return r;
}

// Split axis and value of a rectangle: x when it is wider than high.
void split_line(const IntRect& r, bool* on_x, int32_t* s) {
  const int64_t w = static_cast<int64_t>(r.x2) - r.x1, h = static_cast<int64_t>(r.y2) - r.y1;
  *on_x = h < w;
  *s = *on_x ? static_cast<int32_t>((static_cast<int64_t>(r.x1) + r.x2) / 2)
             : static_cast<int32_t>((static_cast<int64_t>(r.y1) + r.y2) / 2);
}

int side_of(const IntRect& r, bool on_x, int32_t s) {  // -1 below, 1 above, 0 on the line
  IntPoint c;
  rect_center(&r, &c);
  const int32_t v = on_x ? c.x : c.y;
  return v < s ? -1 : (v > s ? 1 : 0);
}

// The path update from the level above the leaf to the root, staging the
// index blocks it changes or makes.
int16_t update_path(Plan& plan, MapSearch* s, int leaf_level, Entry e, bool split, Entry e2) {
  MapFile* mf = plan.mf;
  for (int level = leaf_level - 1; level >= 0; --level) {
    MapPathLevel& lv = s->path[level];
    const MapPathLevel& child = s->path[level + 1];
    if (!split && same_rect(e.rect, child.rect) && e.child == child.position) return 1;
    if (!mapblock_read(mf, s->block, lv.position)) return 0;
    if (le_get16(s->block->data) != MAPBLOCK_INDEX || !check_index_block(mf, s->block->data))
      return mapfile_damaged(mf, "index block");
    std::vector<uint8_t> img(s->block->data, s->block->data + mf->block_size);
    if (lv.index >= le_get16(img.data() + 2)) return mapfile_damaged(mf, "index path");
    remove_entry(img.data(), lv.index);
    insert_sorted(img.data(), e);
    if (!split) {
      e = Entry{unite(e.rect, lv.rect), lv.position};
      plan.blocks.push_back(Staged{lv.position, std::move(img), false});
      continue;
    }
    if (le_get16(img.data() + 2) < max_entries(mf)) {
      insert_sorted(img.data(), e2);
      e = Entry{unite(unite(lv.rect, e.rect), e2.rect), lv.position};
      plan.blocks.push_back(Staged{lv.position, std::move(img), false});
      split = false;
      continue;
    }
    // Index block split.
    bool on_x;
    int32_t sv;
    split_line(unite(lv.rect, e2.rect), &on_x, &sv);
    const int n = le_get16(img.data() + 2);
    std::vector<uint8_t> stay(img.size(), 0), move(img.size(), 0);
    le_put16(stay.data(), MAPBLOCK_INDEX);
    le_put16(move.data(), MAPBLOCK_INDEX);
    int ns = 0, nm = 0;
    for (int i = 0; i < n; ++i) {
      const Entry x = get_entry(img.data(), i);
      const int left = n - i;
      bool stays;
      if (left <= std::max(0, 2 - ns)) stays = true;
      else if (left <= std::max(0, 2 - nm)) stays = false;
      else {
        const int sd = side_of(x.rect, on_x, sv);
        stays = sd < 0 || (sd == 0 && toggle());
      }
      if (stays) { put_entry(stay.data(), ns++, x); le_put16(stay.data() + 2, ns); }
      else { put_entry(move.data(), nm++, x); le_put16(move.data() + 2, nm); }
    }
    if (side_of(e2.rect, on_x, sv) < 0) insert_sorted(stay.data(), e2);
    else insert_sorted(move.data(), e2);
    int32_t newpos = 0;
    if (!plan.alloc(&newpos)) return 0;
    const Entry a{union_of(move.data()), newpos}, b{union_of(stay.data()), lv.position};
    plan.blocks.push_back(Staged{newpos, std::move(move), true});
    plan.blocks.push_back(Staged{lv.position, std::move(stay), false});
    e = a;
    e2 = b;
  }
  if (split) {
    if (mf->depth >= kMapMaxDepth) return mapfile_damaged(mf, "index depth");
    int32_t rootpos = 0;
    if (!plan.alloc(&rootpos)) return 0;
    std::vector<uint8_t> root(static_cast<size_t>(mf->block_size), 0);
    le_put16(root.data(), MAPBLOCK_INDEX);
    insert_sorted(root.data(), e);
    insert_sorted(root.data(), e2);
    plan.blocks.push_back(Staged{rootpos, std::move(root), true});
    mf->root = rootpos;
    mf->bounds = unite(e.rect, e2.rect);
    ++mf->depth;
  } else {
    mf->root = e.child;
    mf->bounds = e.rect;
  }
  return 1;
}

int16_t write_image(MapFile* mf, MapBlock* b, const Staged& st) {
  std::memcpy(b->data, st.image.data(), st.image.size());
  return mapblock_write(mf, b, st.position);
}

struct Rec {
  MapObject obj;
  int code;
  int32_t new_pos;
};

void free_recs(std::vector<Rec>& recs) {
  for (auto& r : recs) mapobj_free(&r.obj);
  recs.clear();
}

}  // namespace

int16_t mapfile_insert_object(MapWriter* w, MapFile* mf, MapStoreHeader* hdr, const MapObject* obj, int32_t row,
                              MapStorePosFn store, void* user) {
  if (row <= 0 || row >= kMapRowLimit) {
    err_push(4, kErrMapDamaged, "", "row number");
    return 0;
  }
  if (mf->read_only) {
    char path[kPathSize] = "";
    file_get_path(mf->file, path);
    err_push(4, kErrMapReadOnly, path, nullptr);
    return 0;
  }
  MapObject o = *obj;
  o.row_id = row;
  const int base = maprec_base_code(&o, mf->zm ? 0 : 1);
  if (base == 0 || !maprec_check(mf, &o, base + 1, nullptr)) {
    if (err_count() == 0) err_push(4, kErrMapDamaged, "", "object");
    return 0;
  }
  Plan plan{mf, w, {}, {}};
  MapSearch* s = &w->search;
  s->path[0] = MapPathLevel{mf->bounds, mf->root, 0};
  int32_t rec_pos = 0;

  if (mf->depth == 0) {
    int32_t pos = 0;
    if (!plan.alloc(&pos)) return 0;
    IntPoint c;
    rect_center(&o.mbr, &c);
    std::vector<uint8_t> leaf;
    init_leaf(mf, leaf, c);
    const int code = mapfile_pick_code(mf, &o, &c);
    if (!place_record(plan, leaf.data(), pos, &o, code, 1, &rec_pos)) return 0;
    if (!write_image(mf, s->block, Staged{pos, leaf, true})) return 0;
    mf->root = pos;
    mf->depth = 1;
    mf->bounds = o.mbr;
    hdr->bounds = mf->bounds;
    hdr->changed = 1;
    return store ? store(row, rec_pos, user) : 1;
  }

  // Choose the leaf.
  const int leaf_level = mf->depth - 1;
  for (int level = 0; level < leaf_level; ++level) {
    MapPathLevel& lv = s->path[level];
    if (!mapblock_read(mf, s->block, lv.position)) return 0;
    const uint8_t* d = s->block->data;
    if (le_get16(d) != MAPBLOCK_INDEX || !check_index_block(mf, d) || le_get16(d + 2) == 0)
      return mapfile_damaged(mf, "index block");
    const int n = le_get16(d + 2);
    int best = 0;
    double best_growth = 0, best_area = 0;
    for (int i = 0; i < n; ++i) {
      const IntRect r = get_entry(d, i).rect;
      const IntRect u = unite(r, o.mbr);
      const double area = (static_cast<double>(r.x2) - r.x1) * (static_cast<double>(r.y2) - r.y1);
      const double grown = (static_cast<double>(u.x2) - u.x1) * (static_cast<double>(u.y2) - u.y1) - area;
      if (i == 0 || grown < best_growth || (grown == best_growth && area > best_area)) {
        best = i;
        best_growth = grown;
        best_area = area;
      }
    }
    const Entry e = get_entry(d, best);
    lv.index = best;
    s->path[level + 1] = MapPathLevel{e.rect, e.child, 0};
  }
  const MapPathLevel leaf_lv = s->path[leaf_level];
  if (!mapblock_read(mf, s->block, leaf_lv.position)) return 0;
  if (le_get16(s->block->data) != MAPBLOCK_OBJECT || !check_object_block(mf, s->block->data))
    return mapfile_damaged(mf, "object block");
  std::vector<uint8_t> leaf(s->block->data, s->block->data + mf->block_size);
  const IntPoint leaf_centre{le_get32(leaf.data() + 4), le_get32(leaf.data() + 8)};
  const int code = mapfile_pick_code(mf, &o, &leaf_centre);
  const int len = maprec_length(mf, code);
  const int used = le_get16(leaf.data() + 2);

  if (mf->block_size >= 20 + used + len) {
    if (!place_record(plan, leaf.data(), leaf_lv.position, &o, code, 1, &rec_pos)) return 0;
    if (!update_path(plan, s, leaf_level, Entry{unite(leaf_lv.rect, o.mbr), leaf_lv.position}, false, Entry{}))
      return 0;
    // The leaf first (the record lives there), then the parents.
    if (!write_image(mf, s->block, Staged{leaf_lv.position, leaf, false})) return 0;
    for (const auto& st : plan.blocks) {
      if (!write_image(mf, s->block, st)) {
        maphdr_mark_damaged(mf, hdr);
        return 0;
      }
    }
    hdr->bounds = mf->bounds;
    hdr->changed = 1;
    return store ? store(row, rec_pos, user) : 1;
  }

  // ---- object block split: plan in memory.
  bool on_x;
  int32_t sv;
  const IntRect united = unite(leaf_lv.rect, o.mbr);
  split_line(united, &on_x, &sv);
  const int32_t mid = on_x ? static_cast<int32_t>((static_cast<int64_t>(united.y1) + united.y2) / 2)
                           : static_cast<int32_t>((static_cast<int64_t>(united.x1) + united.x2) / 2);
  const IntPoint low = on_x ? IntPoint{static_cast<int32_t>((static_cast<int64_t>(united.x1) + sv) / 2), mid}
                            : IntPoint{mid, static_cast<int32_t>((static_cast<int64_t>(united.y1) + sv) / 2)};
  const IntPoint high = on_x ? IntPoint{static_cast<int32_t>((static_cast<int64_t>(united.x2) + sv) / 2), mid}
                             : IntPoint{mid, static_cast<int32_t>((static_cast<int64_t>(united.y2) + sv) / 2)};
  const int sd = side_of(o.mbr, on_x, sv);
  const bool new_low = sd < 0 || (sd == 0 && toggle());
  const IntPoint new_centre = new_low ? low : high, old_centre = new_low ? high : low;

  std::vector<Rec> recs;
  struct Guard {
    std::vector<Rec>& r;
    ~Guard() { free_recs(r); }
  } guard{recs};
  int32_t old_first_coord = le_get32(leaf.data() + 12);
  {
    int off = 0;
    while (off < used) {
      const uint8_t* rec = leaf.data() + 20 + off;
      const int c = rec[0];
      const int l = maprec_length(mf, c);
      if (l == 0 || off + l > used) return mapfile_damaged(mf, "record length");
      const int32_t r = le_get32(rec + 1);
      if (c <= kMapHighestCode && !(r & MAP_DELETED)) {
        recs.push_back(Rec{});
        Rec& x = recs.back();
        mapobj_init(&x.obj, MAPOBJ_NONE);
        int32_t coord = 0;
        if (!maprec_decode(mf, rec, used - off, &x.obj, &coord, &leaf_centre, 0) ||
            !mapfile_read_coords(mf, w->coord, coord, &x.obj, c))
          return 0;
      }
      off += l;
    }
  }
  // Sides: 1 the new object's block, 0 the old block.
  std::vector<int> side(recs.size());
  int32_t room[2] = {mf->block_size - 20, mf->block_size - 20};
  const int new_code = mapfile_pick_code(mf, &o, &new_centre);
  room[1] -= maprec_length(mf, new_code);
  for (size_t i = 0; i < recs.size(); ++i) {
    const int d = side_of(recs[i].obj.mbr, on_x, sv);
    bool with_new;
    if (d == 0) with_new = !toggle();
    else with_new = (d < 0) == new_low;
    const int first = with_new ? 1 : 0;
    const IntPoint cs[2] = {old_centre, new_centre};
    int chosen = -1;
    for (int k = 0; k < 2 && chosen < 0; ++k) {
      const int sdx = k == 0 ? first : 1 - first;
      const int c = mapfile_pick_code(mf, &recs[i].obj, &cs[sdx]);
      const int l = maprec_length(mf, c);
      if (room[sdx] >= l) {
        room[sdx] -= l;
        recs[i].code = c;
        chosen = sdx;
      }
    }
    if (chosen < 0) return mapfile_damaged(mf, "split");
    side[i] = chosen;
  }

  // New blocks: the new object's block and its chain.
  int32_t new_pos = 0;
  if (!plan.alloc(&new_pos)) return 0;
  std::vector<uint8_t> nb;
  init_leaf(mf, nb, new_centre);
  if (!place_record(plan, nb.data(), new_pos, &o, new_code, 1, &rec_pos)) return 0;
  IntRect new_rect = o.mbr;
  for (size_t i = 0; i < recs.size(); ++i) {
    if (side[i] != 1) continue;
    if (!place_record(plan, nb.data(), new_pos, &recs[i].obj, recs[i].code, 0, &recs[i].new_pos)) return 0;
    rect_union(&new_rect, &recs[i].obj.mbr);
  }
  if (!write_image(mf, s->block, Staged{new_pos, nb, true})) return 0;
  // A moved record's .ID entry that cannot follow it leaves the index for a
  // pack to mend.
  for (size_t i = 0; i < recs.size(); ++i) {
    if (side[i] == 1 && store && !store(recs[i].obj.row_id, recs[i].new_pos, user)) {
      maphdr_mark_damaged(mf, hdr);
      return 0;
    }
  }

  // The old block, rebuilt in memory with a fresh chain.
  std::vector<uint8_t> ob;
  init_leaf(mf, ob, old_centre);
  bool kept = false;
  IntRect old_rect{};
  for (size_t i = 0; i < recs.size(); ++i) {
    if (side[i] != 0) continue;
    if (!place_record(plan, ob.data(), leaf_lv.position, &recs[i].obj, recs[i].code, 0, &recs[i].new_pos))
      return 0;
    if (!kept) old_rect = recs[i].obj.mbr; else rect_union(&old_rect, &recs[i].obj.mbr);
    kept = true;
  }
  const Entry e1{new_rect, new_pos};
  const Entry e2{old_rect, leaf_lv.position};
  const int depth_before = mf->depth;
  const int32_t root_before = mf->root;
  const IntRect bounds_before = mf->bounds;
  int16_t ok = kept ? update_path(plan, s, leaf_level, e1, true, e2) : update_path(plan, s, leaf_level, e1, false, {});
  if (!ok) {
    mf->depth = static_cast<uint8_t>(depth_before);
    mf->root = root_before;
    mf->bounds = bounds_before;
    return 0;
  }
  // New index blocks, then existing ones, then the old object block.
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& st : plan.blocks) {
      if (st.is_new != (pass == 0)) continue;
      if (!write_image(mf, s->block, st)) {
        if (pass == 1) {
          maphdr_mark_damaged(mf, hdr);
        } else {
          mf->depth = static_cast<uint8_t>(depth_before);
          mf->root = root_before;
          mf->bounds = bounds_before;
        }
        return 0;
      }
    }
  }
  if (depth_before == 1 && !kept) {
    // A split root leaf that kept nothing: the new block is the root.
  }
  if (kept) {
    if (!write_image(mf, s->block, Staged{leaf_lv.position, ob, false})) {
      maphdr_mark_damaged(mf, hdr);
      return 0;
    }
    for (size_t i = 0; i < recs.size(); ++i) {
      if (side[i] == 0 && store && !store(recs[i].obj.row_id, recs[i].new_pos, user)) {
        maphdr_mark_damaged(mf, hdr);
        return 0;
      }
    }
  } else if (!mapblock_release_position(mf, leaf_lv.position)) {
    return 0;
  }
  // The old chain goes back to the free blocks.
  for (int32_t p = old_first_coord, hops = 0; p != 0 && hops < 1 << 20; ++hops) {
    if (!mapblock_read(mf, w->coord, p) || le_get16(w->coord->data) != MAPBLOCK_COORD) break;
    const int32_t next = le_get32(w->coord->data + 4);
    if (!mapblock_release_position(mf, p)) break;
    p = next;
  }
  err_clear();
  hdr->bounds = mf->bounds;
  hdr->changed = 1;
  return store ? store(row, rec_pos, user) : 1;
}

int16_t mapfile_delete_object(MapWriter* w, MapFile* mf, int32_t row, MapLocateFn locate, void* user,
                              int16_t* found, int32_t* type, int32_t* part_mask) {
  *found = 0;
  if (type) *type = 0;
  if (part_mask) *part_mask = 0;
  if (!locate) return 0;
  int32_t pos = 0;
  if (!locate(row, &pos, user) || pos == 0) return 1;
  MapBlock* b = w->search.block;
  int off = 0;
  if (!locate_record(mf, b, pos, &off)) return 0;
  uint8_t* rec = b->data + 20 + off;
  if (rec[0] > kMapHighestCode || le_get32(rec + 1) != row) return 0;
  const IntPoint centre{le_get32(b->data + 4), le_get32(b->data + 8)};
  MapObject obj;
  mapobj_init(&obj, MAPOBJ_NONE);
  const int16_t ok = maprec_decode(mf, rec, le_get16(b->data + 2) - off, &obj, nullptr, &centre, 1);
  const int t = obj.type;
  int32_t mask = 0;
  if (t == MAPOBJ_COLLECTION) {
    if (obj.u.collection.region && obj.u.collection.region->u.poly.sections) mask |= 1;
    if (obj.u.collection.polyline && obj.u.collection.polyline->u.poly.sections) mask |= 2;
    if (obj.u.collection.multipoint && obj.u.collection.multipoint->u.multipoint.count) mask |= 4;
  }
  mapobj_free(&obj);
  if (!ok) return 0;
  // The block may have been re-read by the style updates.
  if (!locate_record(mf, b, pos, &off)) return 0;
  rec = b->data + 20 + off;
  le_put32(rec + 1, (row & 0x3fffffff) | MAP_DELETED);
  if (!mapblock_write(mf, b, b->position)) return 0;
  *found = 1;
  if (type) *type = t;
  if (part_mask) *part_mask = mask;
  return 1;
}
