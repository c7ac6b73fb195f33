// Map file handle and header: the record-size table, the header by version,
// create, open, acquire, release, close, rename and copy; block buffers and
// the free chain.
#include "kernel/mapobjects/mapfile.h"

#include <cmath>
#include <cstring>

#include "kernel/coordsys/conv.h"
#include "kernel/coordsys/datum.h"
#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapbytes.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"

int16_t g_map_alt_magic_switch = 0;

namespace {

// Record lengths of codes 1..72 (bit 7: chain data).
constexpr uint8_t C = 0x80;
const uint8_t kSizes[73] = {
    0,
    10, 14, 21,                          // 1-3 point
    14, 22, 27,                          // 4-6 line
    34 | C, 38 | C, 43 | C,              // 7-9 one-section polyline
    26, 42, 47,                          // 10-12 arc
    37 | C, 41 | C, 53 | C,              // 13-15 region
    39 | C, 53 | C, 89 | C,              // 16-18 text
    15, 23, 35,                          // 19-21 rectangle
    19, 31, 43,                          // 22-24 rounded rectangle
    15, 23, 35,                          // 25-27 ellipse
    79, 87, 99,                          // 28-30 frame
    28 | C, 36 | C, 41 | C,              // 31-33 type 11
    32 | C, 40 | C, 45 | C,              // 34-36 type 12
    36 | C, 40 | C, 45 | C,              // 37-39 polyline
    22, 26, 57,                          // 40-42 font point
    13, 17, 55,                          // 43-45 bitmap point
    37 | C, 41 | C, 53 | C,              // 46-48 large region
    36 | C, 40 | C, 45 | C,              // 49-51 large polyline
    50 | C, 54 | C, 92 | C,              // 52-54 multipoint
    61 | C, 61 | C, 116 | C,             // 55-57 collection
    43, 47, 85,                          // 58-60 point Z/M
    72 | C, 76 | C, 88 | C,              // 61-63 region Z/M
    71 | C, 75 | C, 80 | C,              // 64-66 polyline Z/M
    83 | C, 87 | C, 125 | C,             // 67-69 multipoint Z/M
    66 | C, 66 | C, 121 | C,             // 70-72 collection Z/M
};

uint8_t g_size_table[256];
bool g_size_table_ready = false;

const int kVersionBytes[5][2] = {{800, 360}, {500, 312}, {400, 256}, {200, 216}, {0, 105}};

int header_bytes(int version) {
  for (const auto& v : kVersionBytes)
    if (version >= v[0]) return v[1];
  return 105;
}

int16_t io_at(MapFile* mf, int32_t offset, void* buffer, int32_t count, bool write) {
  if (file_seek(mf->file, offset, SEEK_SET) != offset) return 0;
  const int32_t n = write ? file_write(mf->file, buffer, count) : file_read(mf->file, buffer, count);
  return n == count;
}

int legacy_unit(int units) {
  if (units >= 0 && units <= 7) return units;
  return units == 8 ? 3 : 0;
}

int precision_digits(double sx, double sy) {
  const double s = std::fmin(std::fabs(sx), std::fabs(sy));
  if (!(s > 0)) return 0;
  const double d = std::trunc(std::log10(s));
  return d < 0 ? 0 : (d > 255 ? 255 : static_cast<int>(d));
}

void free_tables(MapFile* mf) { mapfile_free_styles(mf); }

void clear_handle(MapFile* mf) {
  std::memset(mf, 0, sizeof *mf);
  std::memcpy(mf->sizes, maprec_size_table(), 256);
}

uint32_t choose_magic(int16_t request) { return (g_map_alt_magic_switch && request) ? MAP_MAGIC_ALT : MAP_MAGIC; }

}  // namespace

const uint8_t* maprec_size_table() {
  if (!g_size_table_ready) {
    std::memset(g_size_table, 0, sizeof g_size_table);
    std::memcpy(g_size_table, kSizes, sizeof kSizes);
    g_size_table_ready = true;
  }
  return g_size_table;
}

int maprec_length(const MapFile* mf, int code) {
  const uint8_t* t = mf ? mf->sizes : maprec_size_table();
  return code < 0 || code > 255 ? 0 : (t[code] & 0x7f);
}

int16_t maprec_has_chain(const MapFile* mf, int code) {
  const uint8_t* t = mf ? mf->sizes : maprec_size_table();
  return code >= 0 && code <= 255 && (t[code] & 0x80) != 0;
}

int16_t maprec_object_type(int code) {
  static const uint8_t kTypes[25] = {1, 2, 4, 3, 5, 6, 7, 8, 9, 10, 11, 12, 4, 1, 1, 5, 4, 13, 14, 1, 5, 4, 13, 14};
  if (code < 1 || code > kMapHighestCode) return 0;
  return kTypes[(code - 1) / 3];
}

int16_t mapfile_damaged(const MapFile* mf, const char* reason) {
  char path[kPathSize] = "";
  if (mf && mf->file) file_get_path(mf->file, path);
  err_push(4, kErrMapDamaged, path, reason);
  return 0;
}

// ---- header ----------------------------------------------------------------

// Takes the file's own record-size table when it describes more codes than
// ours. Codes 1-72 must be at least as long as our layouts (else the file is
// refused); longer ones are skipped by their lengths, but the file is then
// not written.
static int16_t load_record_sizes(MapFile* mf) {
  std::memcpy(mf->sizes, maprec_size_table(), 256);
  if (mf->highest_code <= kMapHighestCode) return 1;
  uint8_t table[256];
  if (!io_at(mf, 0, table, 256, false)) return 0;
  for (int c = 1; c <= kMapHighestCode; ++c) {
    const int ours = kSizes[c] & 0x7f, theirs = table[c] & 0x7f;
    if (theirs < ours || (table[c] & 0x80) != (kSizes[c] & 0x80)) return mapfile_damaged(mf, "record-size table");
    if (theirs != ours) mf->read_only = 1;
  }
  for (int c = kMapHighestCode + 1; c <= mf->highest_code; ++c) mf->sizes[c] = table[c];
  return 1;
}

int16_t maphdr_read(MapFile* mf, MapStoreHeader* hdr) {
  uint8_t h[kMapHeaderMax] = {};
  if (file_seek(mf->file, 256, SEEK_SET) != 256) return 0;
  const int32_t got = file_read(mf->file, h, kMapHeaderMax);
  if (got < 105 || static_cast<uint32_t>(le_get32(h)) != mf->magic) return mapfile_damaged(mf, "header");
  const int16_t version = le_get16(h + 4);
  if (got < header_bytes(version)) return mapfile_damaged(mf, "header");
  mf->version = version;
  mf->block_size = le_get16(h + 6);
  if (mf->block_size < 512 || mf->block_size % 512 != 0 || mf->block_size > 16384)
    return mapfile_damaged(mf, "block size");
  mf->units_factor = le_getf64(h + 8);
  for (int i = 0; i < 4; ++i) (&mf->bounds.x1)[i] = le_get32(h + 16 + 4 * i);
  hdr->bounds = mf->bounds;
  for (int i = 0; i < 4; ++i) (&hdr->rect2.x1)[i] = le_get32(h + 32 + 4 * i);
  mf->root = le_get32(h + 48);
  mf->free_head = le_get32(h + 52);
  mf->style_head = le_get32(h + 56);
  hdr->points = le_get32(h + 60);
  hdr->lines = le_get32(h + 64);
  hdr->regions = le_get32(h + 68);
  hdr->others = le_get32(h + 72);
  hdr->max_node = le_get32(h + 76);
  hdr->init_node = 4;
  mf->legacy_unit = h[94];
  mf->depth = h[95];
  mf->precision = h[96];
  mf->highest_code = h[99];
  for (int i = 0; i < 4; ++i) mf->style_counts[i] = h[100 + i];
  mf->style_blocks = h[104];
  if (mf->depth > kMapMaxDepth) return mapfile_damaged(mf, "index depth");
  if ((mf->depth == 0) != (mf->root == 0)) return mapfile_damaged(mf, "index root");

  CoordSysDef def;
  coordsys_clear(&def);
  int16_t type = 0;
  double sx, sy, ox = 0, oy = 0;
  if (version < 200) {
    sx = std::pow(10.0, mf->precision);
    if (h[98]) {
      type = PROJ_LATLONG;
      datum_get(0, &def.datum);
      def.int_orientation = h[97];
      def.params[0] = 0;
    } else {
      def.ne.ne_units = h[94];
      def.ne.ne_int_orientation = h[97];
      if (mf->units_factor != 0) sx /= mf->units_factor;
    }
    sy = sx;
  } else {
    type = h[109];
    if (!coordsys_type_valid(type)) type = 0;
    int ellipsoid = h[110];
    if (!ellipsoid_valid(ellipsoid)) ellipsoid = 28;
    int units = h[111];
    if (!unit_valid(units)) units = 7;
    if (type == 0) {
      def.ne.ne_units = static_cast<int16_t>(units);
      def.ne.ne_int_orientation = h[97];
    } else {
      DatumDef d;
      datum_clear(&d);
      d.ellipsoid = static_cast<uint8_t>(ellipsoid);
      d.dx = le_getf64(h + 192);
      d.dy = le_getf64(h + 200);
      d.dz = le_getf64(h + 208);
      if (version >= 400) {
        d.rx = le_getf64(h + 216);
        d.ry = le_getf64(h + 224);
        d.rz = le_getf64(h + 232);
        d.scale_ppm = le_getf64(h + 240);
        d.prime_meridian = le_getf64(h + 248);
      }
      const int16_t number = le_get16(h + 106);
      if (datum_matches(number, &d)) d.number = number;
      def.datum = d;
      if (type == PROJ_LATLONG) {
        def.int_orientation = h[97];
        def.params[0] = 0;
      } else {
        def.units = static_cast<int16_t>(units);
        const int n = coordsys_param_count(type);
        if (n > 6) return mapfile_damaged(mf, "projection parameters");
        for (int i = 0; i < n; ++i) def.params[i] = le_getf64(h + 144 + 8 * i);
      }
    }
    if (version >= 500 && (h[256] & 1)) {
      def.flags |= COORDSYS_AFFINE;
      def.affine_units = unit_valid(h[257]) ? h[257] : 7;
      double rec[12] = {};
      for (int i = 0; i < 6; ++i) rec[i] = def.affine[i] = le_getf64(h + 264 + 8 * i);
      if (!util_affine_invert(rec)) return mapfile_damaged(mf, "affine transform");
      for (int i = 0; i < 6; ++i) def.affine_inverse[i] = rec[6 + i];
    }
    if (version >= 800 && h[312] != 0) {
      def.mz_code1 = h[313];
      def.mz_code2 = h[314];
      def.support_mz = 1;
      std::memcpy(hdr->zm_block, h + 320, 32);
      mf->zm = 1;
    }
    sx = le_getf64(h + 112);
    sy = le_getf64(h + 120);
    ox = le_getf64(h + 128);
    oy = le_getf64(h + 136);
  }
  xform_init_scaled(&hdr->xform, type, &def, sx, sy, ox, oy);
  if (!load_record_sizes(mf)) return 0;
  return mapfile_load_styles(mf);
}

int16_t maphdr_write(MapFile* mf, MapStoreHeader* hdr) {
  if (mf->highest_code < kMapHighestCode) {
    mf->highest_code = kMapHighestCode;
    if (!io_at(mf, 0, const_cast<uint8_t*>(maprec_size_table()), 256, true)) return 0;
  }
  uint8_t h[kMapHeaderMax] = {};
  le_put32(h, static_cast<int32_t>(mf->magic));
  le_put16(h + 4, mf->version);
  le_put16(h + 6, mf->block_size);
  le_putf64(h + 8, mf->units_factor);
  for (int i = 0; i < 4; ++i) le_put32(h + 16 + 4 * i, (&hdr->bounds.x1)[i]);
  for (int i = 0; i < 4; ++i) le_put32(h + 32 + 4 * i, (&hdr->rect2.x1)[i]);
  le_put32(h + 48, mf->root);
  le_put32(h + 52, mf->free_head);
  le_put32(h + 56, mf->style_head);
  le_put32(h + 60, hdr->points);
  le_put32(h + 64, hdr->lines);
  le_put32(h + 68, hdr->regions);
  le_put32(h + 72, hdr->others);
  le_put32(h + 76, hdr->max_node);
  h[94] = mf->legacy_unit;
  h[95] = mf->depth;
  h[96] = mf->precision;
  h[99] = mf->highest_code;
  for (int i = 0; i < 4; ++i) h[100 + i] = mf->style_counts[i];
  h[104] = mf->style_blocks;

  int16_t type = 0;
  CoordSysDef def;
  double sx, sy, ox, oy;
  xform_get_params(&hdr->xform, &type, &def, &sx, &sy, &ox, &oy);
  h[97] = static_cast<uint8_t>(xform_int_orientation(&hdr->xform));
  h[98] = type == PROJ_LATLONG ? 1 : 0;
  h[109] = static_cast<uint8_t>(type);
  h[111] = static_cast<uint8_t>(xform_projection_units(&hdr->xform));
  if (type == PROJ_LATLONG) h[111] = 0;
  le_putf64(h + 112, sx);
  le_putf64(h + 120, sy);
  le_putf64(h + 128, ox);
  le_putf64(h + 136, oy);
  if (type != 0) {
    h[110] = def.datum.ellipsoid;
    le_put16(h + 106, def.datum.number);
    le_putf64(h + 192, def.datum.dx);
    le_putf64(h + 200, def.datum.dy);
    le_putf64(h + 208, def.datum.dz);
    const int n = type == PROJ_LATLONG ? 0 : coordsys_param_count(type);
    if (n > 6) return mapfile_damaged(mf, "projection parameters");
    for (int i = 0; i < n; ++i) le_putf64(h + 144 + 8 * i, def.params[i]);
    if (mf->version >= 400) {
      le_putf64(h + 216, def.datum.rx);
      le_putf64(h + 224, def.datum.ry);
      le_putf64(h + 232, def.datum.rz);
      le_putf64(h + 240, def.datum.scale_ppm);
      le_putf64(h + 248, def.datum.prime_meridian);
    }
  }
  if (mf->version >= 500 && (def.flags & COORDSYS_AFFINE)) {
    h[256] = 1;
    h[257] = static_cast<uint8_t>(def.affine_units);
    for (int i = 0; i < 6; ++i) le_putf64(h + 264 + 8 * i, def.affine[i]);
  }
  if (mf->version >= 800 && def.support_mz) {
    h[312] = 1;
    h[313] = static_cast<uint8_t>(def.mz_code1);
    h[314] = static_cast<uint8_t>(def.mz_code2);
    std::memcpy(h + 320, hdr->zm_block, 32);
  }
  if (!io_at(mf, 256, h, header_bytes(mf->version), true)) return 0;
  hdr->changed = 0;
  return 1;
}

int16_t maphdr_create(MapFile* mf, MapStoreHeader* hdr, const CoordXform* xform) {
  hdr->xform = *xform;
  mf->zm = xform_get_mz_flag(xform) ? 1 : 0;
  mf->version = mf->zm ? 800 : 500;
  mf->block_size = kMapBlockSize;
  mf->highest_code = kMapHighestCode;
  int16_t type = 0;
  CoordSysDef def;
  double sx, sy, ox, oy;
  xform_get_params(xform, &type, &def, &sx, &sy, &ox, &oy);
  mf->precision = static_cast<uint8_t>(precision_digits(sx, sy));
  const int units = xform_projection_units(xform);
  mf->legacy_unit = static_cast<uint8_t>(legacy_unit(units));
  mf->units_factor = 1.0;
  if (unit_valid(units) && unit_kind(units) == unit_kind(mf->legacy_unit)) {
    double out = 1.0;
    unit_convert(&out, mf->legacy_unit, 1.0, units);
    mf->units_factor = out;
  }
  if (!io_at(mf, 0, const_cast<uint8_t*>(maprec_size_table()), 256, true)) return 0;
  if (!maphdr_write(mf, hdr)) return 0;
  int32_t size = mf->block_size;
  while (size < 616) size += mf->block_size;
  return file_set_size(mf->file, size) == 0;
}

void maphdr_mark_damaged(MapFile* mf, MapStoreHeader* hdr) {
  const IntRect all{-2147483647, -2147483647, 2147483647, 2147483647};
  mf->bounds = all;
  hdr->bounds = all;
  hdr->changed = 1;
}

// ---- handle ----------------------------------------------------------------

static int16_t create_or_open(MapFile* mf, MapStoreHeader* hdr, int32_t table_file, const char* path, int ext_id,
                              const CoordXform* xform, int16_t alt_magic) {
  std::memset(hdr, 0, sizeof *hdr);
  clear_handle(mf);
  const bool create = xform != nullptr;
  mf->file = file_register_companion(table_file, path, ext_id);
  if (mf->file <= 0) {
    mf->file = 0;
    return 0;
  }
  mf->charset = table_file ? file_get_charset(table_file) : charset_current();
  mf->magic = choose_magic(alt_magic);
  bool ok = file_open_binary(mf->file, create ? 3 : 1, nullptr) > 0;
  if (ok) {
    ok = create ? maphdr_create(mf, hdr, xform) : maphdr_read(mf, hdr);
    if (file_release(mf->file) != 0) ok = false;
  }
  if (!ok) {
    if (create) file_delete(mf->file);
    free_tables(mf);
    file_unregister(mf->file);
    clear_handle(mf);
    return 0;
  }
  return 1;
}

int16_t mapfile_create(MapFile* mf, MapStoreHeader* hdr, int32_t table_file, const char* path, int ext_id,
                       const CoordXform* xform, int16_t no_extension, int16_t alt_magic) {
  if (ext_id == -1) ext_id = no_extension ? 0 : 5;
  return create_or_open(mf, hdr, table_file, path, ext_id, xform, alt_magic);
}

int16_t mapfile_open(MapFile* mf, MapStoreHeader* hdr, int32_t table_file, const char* path, int ext_id,
                     int16_t alt_magic) {
  if (ext_id == -1) ext_id = 5;
  if (!create_or_open(mf, hdr, table_file, path, ext_id, nullptr, alt_magic)) return 0;
  const IntRect& b = hdr->bounds;
  if (b.x1 == -2147483647 && b.y1 == -2147483647 && b.x2 == 2147483647 && b.y2 == 2147483647) {
    err_push(2, kErrMapIndexDamaged, "", nullptr);
    kernel_error_message(kernel_string(kErrMapIndexDamaged), "");
  }
  return 1;
}

int16_t mapfile_acquire(MapFile* mf, MapStoreHeader* hdr, int mode, int16_t* changed) {
  int16_t disk_changed = 0;
  if (changed) *changed = 0;
  if (mode == 2 && mf->read_only) {
    char path[kPathSize] = "";
    file_get_path(mf->file, path);
    err_push(4, kErrMapReadOnly, path, nullptr);
    return 0;
  }
  if (file_open_binary(mf->file, mode, &disk_changed) <= 0) return 0;
  if (disk_changed & 1) {
    mapfile_free_styles(mf);
    const CoordXform keep = hdr->xform;
    if (!maphdr_read(mf, hdr)) {
      hdr->xform = keep;
      file_release(mf->file);
      return 0;
    }
    ++mf->generation;
    if (changed) *changed = 1;
  }
  return 1;
}

int16_t mapfile_release(MapFile* mf, MapStoreHeader* hdr) {
  int16_t ok = 1;
  if (hdr->changed) ok = maphdr_write(mf, hdr);
  if (file_release(mf->file) != 0) ok = 0;
  return ok;
}

void mapfile_close(MapFile* mf) {
  mapfile_free_styles(mf);
  if (mf->file) file_unregister(mf->file);
  mf->file = 0;
}

int16_t mapfile_close_delete(MapFile* mf) {
  const int16_t ok = mf->file ? file_delete(mf->file) : 1;
  mapfile_close(mf);
  return ok;
}

int16_t mapfile_rename(MapFile* mf, const char* new_path, int ext_id, char* old_path) {
  if (old_path) file_get_path(mf->file, old_path);
  return file_rename(&mf->file, new_path, ext_id == -1 ? 5 : ext_id);
}

int16_t mapfile_copy_to(MapFile* mf, const char* path, int ext_id) {
  const int32_t target = file_register(path, ext_id == -1 ? 5 : ext_id);
  if (target <= 0) return 0;
  const int16_t ok = file_copy(mf->file, target, 0);
  file_unregister(target);
  return ok;
}

// ---- blocks ----------------------------------------------------------------

int16_t mapblock_alloc(const MapFile* mf, MapBlock** out) {
  *out = nullptr;
  void* mem = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(MapBlock)) + mf->block_size, &mem, nullptr)) return 0;
  auto* b = static_cast<MapBlock*>(mem);
  b->data = reinterpret_cast<uint8_t*>(b + 1);
  b->flags = MAPBLOCK_INVALID;
  *out = b;
  return 1;
}

void mapblock_free(MapBlock** block) {
  if (!*block) return;
  void* mem = *block;
  mem_free(&mem);
  *block = nullptr;
}

void mapblock_init(const MapFile* mf, MapBlock* block, int16_t type) {
  std::memset(block->data, 0, static_cast<size_t>(mf->block_size));
  le_put16(block->data, type);
  block->flags = MAPBLOCK_INVALID;
}

int16_t mapblock_position_ok(const MapFile* mf, int32_t position) {
  if (position < kMapNewFileSize || position % mf->block_size != 0) return 0;
  if (position > INT32_MAX - mf->block_size) return 0;
  const int32_t size = file_get_size(mf->file);
  return size < 0 || position + mf->block_size <= size;
}

int16_t mapblock_read(MapFile* mf, MapBlock* block, int32_t position) {
  if (!(block->flags & MAPBLOCK_INVALID) && block->position == position && block->stamp == mf->generation) return 1;
  block->position = position;
  block->flags = MAPBLOCK_INVALID | MAPBLOCK_READ;
  if (!mapblock_position_ok(mf, position)) return mapfile_damaged(mf, "block position");
  if (!io_at(mf, position, block->data, mf->block_size, false)) return 0;
  block->stamp = mf->generation;
  block->flags = MAPBLOCK_READ;
  return 1;
}

int16_t mapblock_write(MapFile* mf, MapBlock* block, int32_t position) {
  block->position = position;
  if (!io_at(mf, position, block->data, mf->block_size, true)) {
    block->flags |= MAPBLOCK_INVALID;
    return 0;
  }
  block->stamp = ++mf->generation;
  block->flags &= ~MAPBLOCK_INVALID;
  return 1;
}

int16_t mapblock_new_position(MapFile* mf, int32_t* position) {
  ++mf->generation;
  if (mf->free_head != 0) {
    uint8_t head[6];
    const int32_t pos = mf->free_head;
    if (mapblock_position_ok(mf, pos) && io_at(mf, pos, head, 6, false) && le_get16(head) == MAPBLOCK_FREE) {
      const int32_t next = le_get32(head + 2);
      mf->free_head = (next == 0 || mapblock_position_ok(mf, next)) ? next : 0;
      *position = pos;
      return 1;
    }
    err_clear();
    mf->free_head = 0;  // an unsound chain is dropped
  }
  const int32_t size = file_get_size(mf->file);
  if (size < 0) return 0;
  int32_t pos = size;
  if (pos % mf->block_size) pos += mf->block_size - pos % mf->block_size;
  if (pos > INT32_MAX - 2 * mf->block_size) return mapfile_damaged(mf, "file size");
  if (file_set_size(mf->file, pos + mf->block_size) != 0) return 0;
  *position = pos;
  return 1;
}

int16_t mapblock_release_position(MapFile* mf, int32_t position) {
  ++mf->generation;
  const int32_t size = file_get_size(mf->file);
  if (position + mf->block_size == size) return file_set_size(mf->file, position) == 0;
  uint8_t head[6];
  le_put16(head, MAPBLOCK_FREE);
  le_put32(head + 2, mf->free_head);
  if (!io_at(mf, position, head, 6, true)) return 0;
  mf->free_head = position;
  return 1;
}
