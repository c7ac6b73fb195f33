// Compressed-points tables: create, open, points read and written by number.
#include "kernel/tables/cpoints.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/storage/le_bytes.h"

namespace {

constexpr int64_t kFileLimit = INT32_MAX;

int64_t record_size(const CPointsDesc& d) { return d.prefix_size + 2 * static_cast<int64_t>(d.cell_size); }

int64_t record_offset(const CPointsDesc& d, int64_t n) { return kCpfHeaderSize + n * record_size(d); }

// Whether the grid numbers can be used at all.
bool grid_sound(const CPointsDesc& d) {
  const bool cell = d.cell_size == 1 || d.cell_size == 2 || d.cell_size == 4;
  const bool finite = std::isfinite(d.origin_x) && std::isfinite(d.origin_y) && std::isfinite(d.scale_x) &&
                      std::isfinite(d.scale_y);
  return cell && finite && d.scale_x != 0 && d.scale_y != 0 && d.prefix_size >= 0 &&
         record_offset(d, static_cast<int64_t>(d.highest < 0 ? 0 : d.highest) + 1) <= kFileLimit;
}

void compute_bounds(CPointsFile* f) {
  const CPointsDesc& d = f->desc;
  const double h = std::ldexp(1.0, 8 * d.cell_size - 1) - 1;
  double x1 = d.origin_x - h * d.scale_x, x2 = d.origin_x + h * d.scale_x;
  double y1 = d.origin_y - h * d.scale_y, y2 = d.origin_y + h * d.scale_y;
  f->bounds[0] = std::fmin(x1, x2);
  f->bounds[2] = std::fmax(x1, x2);
  f->bounds[1] = std::fmin(y1, y2);
  f->bounds[3] = std::fmax(y1, y2);
}

void encode_header(CPointsFile* f) {
  uint8_t* h = f->header;
  const CPointsDesc& d = f->desc;
  std::memset(h, 0, kCpfHeaderSize);
  le_put_u32(h, kCpfMagic);
  le_put_u16(h + 4, 100);
  le_put_u32(h + 12, kCpfHeaderSize);
  const double nums[4] = {d.origin_x, d.origin_y, d.scale_x, d.scale_y};
  for (int i = 0; i < 4; ++i) {
    uint64_t bits = 0;
    std::memcpy(&bits, &nums[i], 8);
    le_put_u64(h + 16 + 8 * i, bits);
  }
  le_put_u16(h + 48, static_cast<uint16_t>(d.cell_size));
  le_put_u16(h + 50, static_cast<uint16_t>(d.key_width));
  le_put_u16(h + 52, static_cast<uint16_t>(d.prefix_size));
  le_put_u32(h + 56, static_cast<uint32_t>(d.highest));
}

void decode_header(CPointsFile* f) {
  const uint8_t* h = f->header;
  CPointsDesc& d = f->desc;
  d.origin_x = le_get_double(h + 16);
  d.origin_y = le_get_double(h + 24);
  d.scale_x = le_get_double(h + 32);
  d.scale_y = le_get_double(h + 40);
  d.cell_size = static_cast<int16_t>(le_get_u16(h + 48));
  d.key_width = static_cast<int16_t>(le_get_u16(h + 50));
  d.prefix_size = static_cast<int16_t>(le_get_u16(h + 52));
  d.highest = static_cast<int32_t>(le_get_u32(h + 56));
  if (d.highest < 0) d.highest = 0;
  d.key_name[0] = '\0';
}

int64_t get_cell(const uint8_t* p, int c) {
  switch (c) {
    case 1: return static_cast<int8_t>(p[0]);
    case 2: return static_cast<int16_t>(le_get_u16(p));
    default: return static_cast<int32_t>(le_get_u32(p));
  }
}

void put_cell(uint8_t* p, int c, int64_t v) {
  for (int i = 0; i < c; ++i) p[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}

bool parse_number(const char* text, int32_t* n) { return text != nullptr && str_to_int(text, n) != nullptr; }

// Writes the marking .TAB: header lines, the type line and the metadata.
bool write_tab(CPointsFile* f) {
  if (file_open_text(f->tab_file, 3, nullptr) == 0) return false;
  char head[128];
  std::snprintf(head, sizeof head, "!table\n!version 300\n!charset %s\n", charset_name(charset_current()));
  bool ok = file_puts(head, f->tab_file) >= 0 && file_puts("CompressedPoints\n", f->tab_file) >= 0 &&
            metadata_write(f->metadata, f->tab_file, nullptr) != 0;
  if (file_release_text(f->tab_file) < 0) ok = false;
  return ok;
}

bool point_io(CPointsFile* f, int64_t offset, uint8_t* bytes, int32_t count, bool write) {
  if (offset + count > kFileLimit) return false;
  if (file_seek(f->point_file, static_cast<int32_t>(offset), 0) != offset) return false;
  const int32_t done = write ? file_write(f->point_file, bytes, count) : file_read(f->point_file, bytes, count);
  return done == count;
}

}  // namespace

int16_t cpoints_create(const char* tab_path, const CPointsDesc* desc, CPointsFile** out) {
  *out = nullptr;
  if (desc == nullptr || tab_path == nullptr) return 0;
  if (desc->highest <= 0) {
    err_push(4, kErrCpfHighest, nullptr, nullptr);
    return 0;
  }
  char cpf[kPathSize];
  path_with_extension(cpf, tab_path, kCpfExtension);
  if (!grid_sound(*desc)) {
    err_push(4, kErrCpfWrite, cpf, nullptr);
    return 0;
  }
  auto* f = new (std::nothrow) CPointsFile{};
  if (f == nullptr) return 0;
  f->desc = *desc;
  f->metadata = metadata_new();
  metadata_set(f->metadata, "\\IsCompressedPoints", "TRUE");
  metadata_set(f->metadata, "\\IsReadonly", "TRUE");
  f->tab_file = file_register_nocheck(tab_path, 1);
  bool ok = f->tab_file > 0 && write_tab(f);
  if (ok) {
    std::remove(cpf);
    f->point_file = file_register_nocheck(cpf, kCpfExtension);
    encode_header(f);
    const int64_t size = record_offset(f->desc, static_cast<int64_t>(f->desc.highest) + 1);
    ok = f->point_file > 0 && file_open_binary(f->point_file, 3, nullptr) >= 0;
    if (ok) {
      ok = file_seek(f->point_file, 0, 0) == 0 && file_write(f->point_file, f->header, kCpfHeaderSize) == kCpfHeaderSize &&
           file_set_size(f->point_file, static_cast<int32_t>(size)) == 0;
      // The file stays open for the points written next.
    }
    if (!ok) err_push(4, kErrCpfWrite, cpf, nullptr);
  }
  if (!ok) {
    cpoints_table_free(f);
    return 0;
  }
  compute_bounds(f);
  *out = f;
  return 1;
}

int16_t cpoints_open(const char* tab_path, int16_t mode, CPointsFile** out) {
  *out = nullptr;
  if (tab_path == nullptr) return 0;
  auto* f = new (std::nothrow) CPointsFile{};
  if (f == nullptr) return 0;
  f->metadata = metadata_new();
  f->tab_file = file_register(tab_path, 1);
  bool ok = f->tab_file > 0 && file_open_text(f->tab_file, 1, nullptr) != 0;
  if (ok) {
    metadata_read(f->metadata, f->tab_file, nullptr, 1);
    file_release_text(f->tab_file);
    err_clear();
    char value[16] = {};
    metadata_get(f->metadata, "\\IsCompressedPoints", value, sizeof value);
    if (strcasecmp(value, "TRUE") != 0) {
      err_push(4, kErrDataMissing, tab_path, nullptr);
      ok = false;
    }
  }
  char cpf[kPathSize];
  path_with_extension(cpf, tab_path, kCpfExtension);
  if (ok) {
    f->point_file = file_register(cpf, kCpfExtension);
    ok = f->point_file > 0 && file_open_binary(f->point_file, mode == 2 ? 2 : 1, nullptr) >= 0;
  }
  if (ok) {
    const bool whole = file_seek(f->point_file, 0, 0) == 0 &&
                       file_read(f->point_file, f->header, kCpfHeaderSize) == kCpfHeaderSize;
    if (!whole) {
      err_push(4, kErrCpfShort, cpf, nullptr);
      ok = false;
    } else if (le_get_u32(f->header) != kCpfMagic) {
      err_push(4, kErrCpfMagic, cpf, nullptr);
      ok = false;
    } else if (le_get_u16(f->header + 4) > 100) {
      err_push(4, kErrCpfVersion, cpf, nullptr);
      ok = false;
    } else {
      decode_header(f);
      if (f->desc.highest == 0) {
        err_push(4, kErrCpfHighest, nullptr, nullptr);
        ok = false;
      } else if (!grid_sound(f->desc)) {
        err_push(4, kErrCpfMagic, cpf, nullptr);
        ok = false;
      }
    }
    if (!ok) file_release(f->point_file);
  }
  if (!ok) {
    cpoints_table_free(f);
    return 0;
  }
  compute_bounds(f);
  *out = f;
  return 1;
}

int16_t cpoints_read_point(CPointsFile* f, const char* number, CPointsPoint* out) {
  int32_t n = 0;
  if (f == nullptr || !parse_number(number, &n) || n < 0 || n > f->desc.highest) return 0;
  const CPointsDesc& d = f->desc;
  uint8_t rec[4 + 8 + 65535] = {};
  const int32_t size = static_cast<int32_t>(record_size(d));
  if (!point_io(f, record_offset(d, n), rec, size, false)) return 0;
  const int64_t cx = get_cell(rec + d.prefix_size, d.cell_size);
  const int64_t cy = get_cell(rec + d.prefix_size + d.cell_size, d.cell_size);
  if (cx == 0 && cy == 0) return 0;
  if (out != nullptr) {
    if (cx == -1 && cy == -1) {
      *out = {d.origin_x, d.origin_y};
    } else {
      *out = {static_cast<double>(cx) * d.scale_x + d.origin_x, static_cast<double>(cy) * d.scale_y + d.origin_y};
    }
  }
  return 1;
}

int16_t cpoints_read_point_by_number(CPointsFile* f, int32_t number, char* text, CPointsPoint* out) {
  if (f == nullptr || text == nullptr) return 0;
  const int width = f->desc.highest > 1 ? static_cast<int>(std::ceil(std::log10(static_cast<double>(f->desc.highest)))) : 0;
  std::snprintf(text, 32, "%0*ld", width, static_cast<long>(number));
  return cpoints_read_point(f, text, out);
}

int16_t cpoints_write_point(CPointsFile* f, const char* number, const CPointsPoint* p) {
  if (f == nullptr || p == nullptr) return 0;
  const CPointsDesc& d = f->desc;
  if (d.highest == 0) {
    err_push(4, kErrCpfHighest, nullptr, nullptr);
    return 0;
  }
  if (!(p->x >= f->bounds[0] && p->x <= f->bounds[2] && p->y >= f->bounds[1] && p->y <= f->bounds[3])) {
    err_push(4, kErrCpfBounds, nullptr, nullptr);
    return 0;
  }
  int32_t n = 0;
  if (!parse_number(number, &n) || n < 0 || n > d.highest) {
    err_push(4, kErrCpfNumber, number, nullptr);
    return 0;
  }
  int64_t cx = static_cast<int64_t>(std::trunc((p->x - d.origin_x) / d.scale_x));
  int64_t cy = static_cast<int64_t>(std::trunc((p->y - d.origin_y) / d.scale_y));
  if (cx == 0 && cy == 0) cx = cy = -1;
  uint8_t rec[4 + 8 + 65535] = {};
  put_cell(rec + d.prefix_size, d.cell_size, cx);
  put_cell(rec + d.prefix_size + d.cell_size, d.cell_size, cy);
  if (!point_io(f, record_offset(d, n), rec, static_cast<int32_t>(record_size(d)), true)) {
    err_push(4, kErrCpfWrite, "", nullptr);
    return 0;
  }
  return 1;
}

int16_t cpoints_save_metadata(CPointsFile* f) { return f != nullptr && write_tab(f) ? 1 : 0; }

int16_t cpoints_count(const CPointsFile* f, int32_t* count) {
  if (f == nullptr || count == nullptr) return 0;
  *count = f->desc.highest + 1;
  return 1;
}

int16_t cpoints_get_header(const CPointsFile* f, CPointsDesc* out) {
  if (f == nullptr || out == nullptr) return 0;
  *out = f->desc;
  out->key_name[0] = '\0';
  return 1;
}

int32_t cpoints_component_files(const CPointsFile* f, ComponentFile* out) {
  int32_t n = 0;
  if (f == nullptr) return 0;
  for (const int32_t h : {f->tab_file, f->point_file}) {
    if (h <= 0) continue;
    if (out != nullptr) {
      file_get_path(h, out[n].path);
      out[n].ext_id = h == f->tab_file ? 1 : kCpfExtension;
    }
    ++n;
  }
  return n;
}

void cpoints_table_free(CPointsFile* f) {
  if (f == nullptr) return;
  for (const int32_t h : {f->point_file, f->tab_file}) {
    if (h > 0) {
      file_close_if_open(h);
      file_unregister(h);
    }
  }
  metadata_free(f->metadata);
  delete f;
}
