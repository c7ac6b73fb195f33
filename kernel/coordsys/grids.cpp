// Datum-shift grids: NADCON areas, the Japan mesh table and the French
// translation grid, with the iterations that invert them.
#include "kernel/coordsys/grids.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/index/fieldbuild.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"

namespace {

constexpr double kInverseTolerance = 1e-9;
constexpr int kInverseIterations = 10;

uint32_t le32(const unsigned char* b) {
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
}
int32_t le_i32(const unsigned char* b) { return static_cast<int32_t>(le32(b)); }
float le_f32(const unsigned char* b) {
  const uint32_t u = le32(b);
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}
double le_f64(const unsigned char* b) {
  const uint64_t u = static_cast<uint64_t>(le32(b)) | static_cast<uint64_t>(le32(b + 4)) << 32;
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

// Reads count bytes at offset of a file opened by the caller.
bool read_at(int32_t file, int64_t offset, void* buffer, int32_t count) {
  if (offset < 0 || offset > INT32_MAX) return false;
  if (file_seek(file, static_cast<int32_t>(offset), SEEK_SET) < 0) return false;
  return file_read(file, buffer, count) == count;
}

// Finds a file along the search directories and registers it; 0 when absent.
int32_t find_and_register(const char* name) {
  char path[kPathSize];
  std::strncpy(path, name, sizeof path - 1);
  path[sizeof path - 1] = '\0';
  if (!path_search_dirs(path, 0)) return 0;
  const int32_t h = file_register(path, 0);
  return h > 0 ? h : 0;
}

void unregister(int32_t* file) {
  if (*file > 0) file_unregister(*file);
  *file = 0;
}

// The inverse of a forward shift by fixed-point iteration: the estimate is
// corrected per axis by the difference between the target and its forward
// image while that difference exceeds the tolerance. Answers 1 with the
// estimate in out when an iteration needed no correction; 0 otherwise (out
// untouched).
template <class Forward>
int16_t invert(const DPoint& target, DPoint start, DPoint* out, Forward forward) {
  DPoint est = start;
  for (int i = 0; i < kInverseIterations; ++i) {
    DPoint img;
    if (!forward(est, &img)) return 0;
    const double dx = target.x - img.x;
    const double dy = target.y - img.y;
    bool corrected = false;
    if (std::fabs(dx) > kInverseTolerance) {
      est.x += dx;
      corrected = true;
    }
    if (std::fabs(dy) > kInverseTolerance) {
      est.y += dy;
      corrected = true;
    }
    if (!corrected) {
      *out = est;
      return 1;
    }
  }
  return 0;
}

// ---- NADCON

constexpr int32_t kNadconHeader = 96;

void nadcon_area_release(NadconArea* a) {
  for (int32_t f : a->files) {
    if (f > 0) file_close_if_open(f);
  }
}

bool nadcon_read_header(int32_t file, unsigned char* part, int64_t* size) {
  unsigned char head[kNadconHeader];
  int16_t changed = 0;
  if (file_open_binary(file, 1, &changed) < 0) return false;
  const bool ok = read_at(file, 0, head, kNadconHeader);
  *size = file_get_size(file);
  file_release(file);
  if (ok) std::memcpy(part, head + 64, 32);
  return ok;
}

// Opens both files of an area for reading.
bool nadcon_area_open(NadconArea* a) {
  int16_t changed = 0;
  if (file_open_binary(a->files[0], 1, &changed) < 0) return false;
  if (file_open_binary(a->files[1], 1, &changed) < 0) {
    file_release(a->files[0]);
    return false;
  }
  return true;
}

int32_t nadcon_locate(NadconGrid* g, const DPoint* p, double* gx, double* gy) {
  DPoint q = *p;
  if (q.x > 0) q.x -= 360;
  int32_t found = -1;
  for (int32_t i = 0; i < g->area_count; ++i) {
    if (g->areas[i].files[0] > 0 && nadcon_area_contains(&g->areas[i], &q)) {
      found = i;
      break;
    }
  }
  if (found < 0) return -1;
  if (found != g->current) {
    NadconArea* a = &g->areas[found];
    NadconArea check = *a;
    if (!nadcon_area_read_headers(&check) || check.cols != a->cols || check.rows != a->rows ||
        check.min_lon != a->min_lon || check.min_lat != a->min_lat || check.step_lon != a->step_lon ||
        check.step_lat != a->step_lat)
      return -1;
    if (g->current >= 0) nadcon_area_release(&g->areas[g->current]);
    g->current = -1;
    if (!nadcon_area_open(a)) return -1;
    g->current = found;
  }
  const NadconArea& a = g->areas[found];
  *gx = (q.x - a.min_lon) / a.step_lon + 1;
  *gy = (q.y - a.min_lat) / a.step_lat + 1;
  return found;
}

int64_t nadcon_offset(const NadconArea& a, int64_t col, int64_t row) {
  return ((static_cast<int64_t>(a.cols) + 1) * row + col) * 4;
}

bool nadcon_load_cell(NadconGrid* g, int32_t area, int32_t row, int32_t col) {
  const NadconArea& a = g->areas[area];
  for (int f = 0; f < 2; ++f) {
    unsigned char lo[8], hi[8];
    if (!read_at(a.files[f], nadcon_offset(a, col, row), lo, 8) ||
        !read_at(a.files[f], nadcon_offset(a, col, row + 1), hi, 8)) {
      g->cell_area = -1;
      return false;
    }
    const double z00 = le_f32(lo), z10 = le_f32(lo + 4), z01 = le_f32(hi), z11 = le_f32(hi + 4);
    g->coef[f] = z00;
    g->coef[2 + f] = z10 - z00;
    g->coef[4 + f] = z01 - z00;
    g->coef[6 + f] = z11 - z10 - z01 + z00;
  }
  g->cell_area = area;
  g->cell_row = row;
  g->cell_col = col;
  return true;
}

// ---- France

constexpr int32_t kNtfLeadingRecords = 3;

bool ntf_grid_read_node(const NtfGrid* g, int32_t col, int32_t row, double t[3]) {
  const int32_t k = ntf_grid_node_index(g, col, row);
  if (k < 0) return false;
  unsigned char rec[kNtfRecordSize];
  if (!read_at(g->file, (static_cast<int64_t>(k) + kNtfLeadingRecords) * kNtfRecordSize, rec, kNtfRecordSize))
    return false;
  t[0] = le_f64(rec + 24);
  t[1] = le_f64(rec + 32);
  t[2] = le_f64(rec + 40);
  return true;
}

// Grid counts of an extent: trunc of extent / step, a quotient within 1e-9
// of a whole number taken as that number (0.1 is not exact in binary).
int32_t ntf_count(double extent, double step) {
  const double q = extent / step;
  if (!(q >= 0 && q < 1e6)) return -1;  // refused by the opener
  const double r = std::round(q);
  return static_cast<int32_t>(std::fabs(q - r) < 1e-9 ? r : std::trunc(q));
}

void molodensky_to(const DatumDef* src, const DatumDef* dst, const DPoint* in, DPoint* out) {
  EllipsoidParams se, de;
  ellipsoid_params(src->ellipsoid, &se);
  ellipsoid_params(dst->ellipsoid, &de);
  datum_molodensky(in, src, &se, out, dst, &de, 1);
}

// ---- Japan

void jgd_mesh_clear(JgdMesh* m) { std::memset(m, 0, sizeof *m); }

// A third-level digit of 10 carries into the second level, a second-level
// digit of 8 into the first.
void jgd_mesh_carry(int32_t* first, int32_t* second, int32_t* third) {
  if (*third >= 10) {
    *third -= 10;
    ++*second;
  }
  if (*second >= 8) {
    *second -= 8;
    ++*first;
  }
}

int16_t jgd_cache_get(JgdGrid* g, int32_t code, double* lon, double* lat) {
  for (int i = 0; i < kJgdCacheSize; ++i) {
    const JgdCacheEntry& e = g->cache[i];
    if (e.valid && e.code == code) {
      *lon = e.lon_shift;
      *lat = e.lat_shift;
      return 1;
    }
  }
  return 0;
}

void jgd_cache_put(JgdGrid* g, int32_t code, double lon, double lat) {
  g->cache[g->ring] = JgdCacheEntry{1, code, lon, lat};
  g->ring = (g->ring + 1) % kJgdCacheSize;
}

int16_t jgd_lookup_mesh(JgdGrid* g, int32_t code, double* lon, double* lat) {
  if (jgd_cache_get(g, code, lon, lat)) return 1;
  if (g->source == nullptr || !g->source(g->source_context, code, lon, lat)) return 0;
  jgd_cache_put(g, code, *lon, *lat);
  return 1;
}

bool jgd_ready(JgdGrid* g) {
  if (!g->open && !g->tried) jgd_grid_load(g);
  return g->open != 0;
}

int16_t jgd_mesh_from_tokyo(JgdGrid* g, const DPoint* in, DPoint* out) {
  JgdMesh* m = &g->mesh;
  jgd_mesh_clear(m);
  if (!jgd_in_japan(in)) return 0;
  jgd_mesh_codes(m, in);
  for (int i = 0; i < 4; ++i) {
    if (!jgd_lookup_mesh(g, m->codes[i], &m->lon_shift[i], &m->lat_shift[i])) return 0;
  }
  const double fx = m->lon_frac, fy = m->lat_frac;
  auto interp = [&](const double* s) {
    return (1 - fy) * (fx * s[1] + (1 - fx) * s[0]) + fy * (fx * s[2] + (1 - fx) * s[3]);
  };
  out->x = in->x + interp(m->lon_shift) / 3600;
  out->y = in->y + interp(m->lat_shift) / 3600;
  return 1;
}

struct Installed {
  NadconGrid* nadcon = nullptr;
  JgdGrid* japan = nullptr;
  NtfGrid* france = nullptr;
};
Installed g_installed;

}  // namespace

// ---- NADCON

const char* const kNadconAreaNames[kNadconAreaCount] = {"conus", "alaska", "hawaii", "prvi",
                                                        "stgeorge", "stlrnc", "stpaul"};

int16_t nadcon_area_read_headers(NadconArea* a) {
  unsigned char h0[32], h1[32];
  int64_t size0 = 0, size1 = 0;
  if (!nadcon_read_header(a->files[0], h0, &size0) || !nadcon_read_header(a->files[1], h1, &size1)) return 0;
  if (std::memcmp(h0, h1, 32) != 0) return 0;
  const int32_t cols = le_i32(h0), rows = le_i32(h0 + 4);
  const double min_lon = le_f32(h0 + 12), step_lon = std::fabs(le_f32(h0 + 16));
  const double min_lat = le_f32(h0 + 20), step_lat = std::fabs(le_f32(h0 + 24));
  if (cols < 2 || rows < 2) return 0;
  if (!std::isfinite(min_lon) || !std::isfinite(min_lat)) return 0;
  if (!std::isfinite(step_lon) || !std::isfinite(step_lat) || step_lon == 0 || step_lat == 0) return 0;
  // The last node (cols, rows) must lie inside both files (at most 2 GiB).
  if ((static_cast<int64_t>(cols) + 1) * (static_cast<int64_t>(rows) + 1) > INT32_MAX / 4) return 0;
  a->cols = cols;
  a->rows = rows;
  const int64_t end = nadcon_offset(*a, cols, rows) + 4;
  if (end > size0 || end > size1 || end > INT32_MAX) return 0;
  a->min_lon = min_lon;
  a->min_lat = min_lat;
  a->step_lon = step_lon;
  a->step_lat = step_lat;
  a->max_lon = (cols - 1) * step_lon + min_lon;
  a->max_lat = (rows - 1) * step_lat + min_lat;
  return 1;
}

int16_t nadcon_area_contains(const NadconArea* a, const DPoint* p) {
  return a->min_lon < p->x && p->x < a->max_lon && a->min_lat < p->y && p->y < a->max_lat ? 1 : 0;
}

int16_t nadcon_grid_open(NadconGrid** out) {
  auto* g = new (std::nothrow) NadconGrid{};
  if (g == nullptr) return 0;
  g->areas = new (std::nothrow) NadconArea[kNadconAreaCount]{};
  if (g->areas == nullptr) {
    delete g;
    return 0;
  }
  g->area_count = kNadconAreaCount;
  g->current = -1;
  g->cell_area = -1;
  int32_t usable = 0;
  for (int i = 0; i < kNadconAreaCount; ++i) {
    NadconArea* a = &g->areas[i];
    char name[64];
    std::strcpy(name, kNadconAreaNames[i]);
    std::strcat(name, ".los");
    a->files[0] = find_and_register(name);
    std::strcpy(name + std::strlen(name) - 4, ".las");
    a->files[1] = a->files[0] > 0 ? find_and_register(name) : 0;
    if (a->files[0] > 0 && a->files[1] > 0 && nadcon_area_read_headers(a)) {
      ++usable;
    } else {
      unregister(&a->files[0]);
      unregister(&a->files[1]);
    }
  }
  if (usable == 0) {
    nadcon_grid_close(g);
    return 0;
  }
  *out = g;
  return 1;
}

void nadcon_grid_close(NadconGrid* g) {
  if (g == nullptr) return;
  if (g->current >= 0) nadcon_area_release(&g->areas[g->current]);
  for (int32_t i = 0; i < g->area_count; ++i) {
    unregister(&g->areas[i].files[0]);
    unregister(&g->areas[i].files[1]);
  }
  delete[] g->areas;
  delete g;
}

int16_t nadcon_shift_forward(void* grid, const DPoint* in, DPoint* out, const DatumDef*) {
  auto* g = static_cast<NadconGrid*>(grid);
  double gx = 0, gy = 0;
  const int32_t area = nadcon_locate(g, in, &gx, &gy);
  if (area < 0) return 0;
  const auto c = static_cast<int32_t>(gx);
  const auto r = static_cast<int32_t>(gy);
  if ((area != g->cell_area || r != g->cell_row || c != g->cell_col) && !nadcon_load_cell(g, area, r, c)) return 0;
  const double fx = gx - c, fy = gy - r;
  const double* k = g->coef;
  const double lon_shift = k[0] + k[2] * fx + k[4] * fy + k[6] * fx * fy;
  const double lat_shift = k[1] + k[3] * fx + k[5] * fy + k[7] * fx * fy;
  out->x = in->x - lon_shift / 3600;
  out->y = in->y + lat_shift / 3600;
  return 1;
}

int16_t nadcon_shift_inverse(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum) {
  return invert(*in, *in, out,
                [&](const DPoint& p, DPoint* r) { return nadcon_shift_forward(grid, &p, r, datum) != 0; });
}

// ---- France

int16_t ntf_grid_open_with(NtfGrid** out, const char* name, const double rect[4], double step_lon,
                           double step_lat) {
  if (!(std::isfinite(step_lon) && std::isfinite(step_lat) && step_lon > 0 && step_lat > 0)) return 0;
  for (int i = 0; i < 4; ++i) {
    if (!std::isfinite(rect[i])) return 0;
  }
  if (!(rect[0] < rect[2] && rect[1] < rect[3])) return 0;
  auto* g = new (std::nothrow) NtfGrid{};
  if (g == nullptr) return 0;
  g->min_lon = rect[0];
  g->min_lat = rect[1];
  g->max_lon = rect[2];
  g->max_lat = rect[3];
  g->step_lon = step_lon;
  g->step_lat = step_lat;
  g->cols = ntf_count(g->max_lon - g->min_lon, step_lon);
  g->rows = ntf_count(g->max_lat - g->min_lat, step_lat);
  g->file = find_and_register(name);
  bool ok = g->file > 0 && g->cols >= 1 && g->rows >= 1 && g->cols < 1000000 && g->rows < 1000000;
  if (ok) {
    int16_t changed = 0;
    ok = file_open_binary(g->file, 1, &changed) >= 0;
    const int64_t nodes = (static_cast<int64_t>(g->cols) + 1) * (g->rows + 1);
    const int64_t need = (nodes + kNtfLeadingRecords) * kNtfRecordSize;
    if (ok && (need > file_get_size(g->file) || need > INT32_MAX)) {
      file_release(g->file);
      ok = false;
    }
  }
  if (!ok) {
    unregister(&g->file);
    delete g;
    return 0;
  }
  *out = g;
  return 1;
}

int16_t ntf_grid_open(NtfGrid** out) {
  const double rect[4] = {kNtfMinLon, kNtfMinLat, kNtfMaxLon, kNtfMaxLat};
  return ntf_grid_open_with(out, kNtfGridFile, rect, kNtfStepLon, kNtfStepLat);
}

void ntf_grid_close(NtfGrid* g) {
  if (g == nullptr) return;
  file_close_if_open(g->file);
  unregister(&g->file);
  delete g;
}

int32_t ntf_grid_node_index(const NtfGrid* g, int32_t col, int32_t row) {
  if (col < 0 || col > g->cols || row < 0 || row > g->rows) return -1;
  return col * (g->rows + 1) + row;
}

int16_t ntf_grid_contains(const NtfGrid* g, const DPoint* p) {
  return g->min_lon <= p->x && p->x <= g->max_lon && g->min_lat <= p->y && p->y <= g->max_lat ? 1 : 0;
}

int16_t ntf_grid_shift_to_ntf(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum) {
  const auto* g = static_cast<const NtfGrid*>(grid);
  if (!ntf_grid_contains(g, in)) return 0;
  const auto i = static_cast<int32_t>((in->x - g->min_lon) / g->step_lon);
  const auto j = static_cast<int32_t>((in->y - g->min_lat) / g->step_lat);
  const int32_t i1 = in->x == g->min_lon || in->x == g->max_lon ? i : i + 1;
  const int32_t j1 = in->y == g->min_lat || in->y == g->max_lat ? j : j + 1;
  double t00[3], t01[3], t10[3], t11[3];
  if (!ntf_grid_read_node(g, i, j, t00) || !ntf_grid_read_node(g, i, j1, t01) || !ntf_grid_read_node(g, i1, j, t10) ||
      !ntf_grid_read_node(g, i1, j1, t11))
    return 0;
  const double fx = (in->x - (i * g->step_lon + g->min_lon)) / g->step_lon;
  const double fy = (in->y - (j * g->step_lat + g->min_lat)) / g->step_lat;
  double t[3];
  for (int k = 0; k < 3; ++k)
    t[k] = (1 - fx) * ((1 - fy) * t00[k] + fy * t01[k]) + fx * ((1 - fy) * t10[k] + fy * t11[k]);
  DatumDef from, to = *datum;
  datum_get(74, &from);
  to.dx = t[0];
  to.dy = t[1];
  to.dz = t[2];
  molodensky_to(&from, &to, in, out);
  return 1;
}

int16_t ntf_grid_shift_from_ntf(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum) {
  DatumDef d74;
  datum_get(74, &d74);
  DPoint start;
  molodensky_to(datum, &d74, in, &start);
  return invert(*in, start, out,
                [&](const DPoint& p, DPoint* r) { return ntf_grid_shift_to_ntf(grid, &p, r, datum) != 0; });
}

// ---- Japan

int32_t jgd_mesh_code(int32_t p, int32_t q, int32_t r, int32_t u, int32_t v, int32_t w) {
  return p * 1000000 + u * 10000 + q * 1000 + v * 100 + r * 10 + w;
}

int16_t jgd_in_japan(const DPoint* p) {
  return p->x >= 120 && p->x <= 154 && p->y >= 20 && p->y <= 46 ? 1 : 0;
}

void jgd_mesh_codes(JgdMesh* m, const DPoint* pt) {
  const double lat = pt->y, lon = pt->x;
  auto p = static_cast<int32_t>(lat * 1.5);
  auto q = static_cast<int32_t>((lat * 1.5 - p) * 8);
  auto r = static_cast<int32_t>((lat * 12 - 8 * p - q) * 10);
  auto u = static_cast<int32_t>(lon - 100);
  auto v = static_cast<int32_t>((lon - (u + 100)) * 8);
  auto w = static_cast<int32_t>(((lon - (u + 100)) * 8 - v) * 10);
  jgd_mesh_carry(&p, &q, &r);
  jgd_mesh_carry(&u, &v, &w);
  m->lat_frac = lat * 120 - 80 * p - 10 * q - r;
  m->lon_frac = (lon - (u + 100)) * 80 - 10 * v - w;
  int32_t ep = p, eq = q, er = r, nu = u, nv = v, nw = w;  // north and east neighbours
  if (m->lat_frac != 0) {
    ++er;
    jgd_mesh_carry(&ep, &eq, &er);
  }
  if (m->lon_frac != 0) {
    ++nw;
    jgd_mesh_carry(&nu, &nv, &nw);
  }
  m->codes[0] = jgd_mesh_code(p, q, r, u, v, w);
  m->codes[1] = jgd_mesh_code(p, q, r, nu, nv, nw);
  m->codes[2] = jgd_mesh_code(ep, eq, er, nu, nv, nw);
  m->codes[3] = jgd_mesh_code(ep, eq, er, u, v, w);
}

int16_t jgd_grid_open(JgdGrid** out) {
  char path[kPathSize] = "jgd2000.tab";
  if (!path_search_dirs(path, 1)) return 0;
  auto* g = new (std::nothrow) JgdGrid{};
  if (g == nullptr) return 0;
  std::strncpy(g->path, path, sizeof g->path - 1);
  *out = g;
  return 1;
}

namespace {

// The grid pushes no error: whatever the table kernel pushes while the grid
// loads or searches is taken off again, leaving the stack as it was.
class QuietErrors {
 public:
  QuietErrors() : before_(err_count()) {
    if (before_ > 0) saved_.reset(new (std::nothrow) ErrorStack(*g_err_stack));
  }
  ~QuietErrors() {
    if (err_count() == before_) return;
    if (before_ == 0) {
      err_clear();
    } else if (saved_) {
      *g_err_stack = *saved_;
    }
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  int16_t before_;
  std::unique_ptr<ErrorStack> saved_;
};

bool numeric_value(uint8_t type) {
  return type == VALUE_INTEGER || type == VALUE_SMALLINT || type == VALUE_LARGEINT || type == VALUE_FLOAT ||
         type == VALUE_DECIMAL;
}

// Exact search of a mesh code on the table's index; the found row's
// columns 1 and 2 are the latitude and longitude shifts.
int16_t jgd_table_lookup(void* context, int32_t code, double* lon, double* lat) {
  auto* g = static_cast<JgdGrid*>(context);
  QuietErrors quiet;
  TableDef* t = g->table;
  Value v{};
  v.type = VALUE_INTEGER;
  v.u.i = code;
  if (!key_set_value(&v, g->key, -1, index_language_key(t->index))) return 0;
  if (!field_index_seek(t->index, g->search, g->key) || g->key->row <= 0) return 0;
  if (!tabtype_read_row(&t->storage, t->fields, g->key->row)) return 0;
  double la = 0, lo = 0;
  if (!value_get_double(&t->fields[1].value, &la) || !value_get_double(&t->fields[2].value, &lo)) return 0;
  if (!std::isfinite(la) || !std::isfinite(lo)) return 0;
  *lat = la;
  *lon = lo;
  return 1;
}

// Undoes whatever part of the table load was done.
void jgd_table_release(JgdGrid* g) {
  if (g->locked) open_table_unlock(g->entry);
  g->locked = 0;
  if (g->key != nullptr) {
    keybuf_free(g->key);
    delete g->key;
    g->key = nullptr;
  }
  g->search = nullptr;
  g->entry = nullptr;
  if (g->table != nullptr) tabdef_free(g->table);  // frees its entry and definition file
  g->table = nullptr;
}

bool jgd_table_open(JgdGrid* g) {
  const int32_t def = file_register(g->path, 1);
  if (def <= 0) return false;
  g->table = table_open_file(def);
  if (g->table == nullptr) {
    file_unregister(def);
    return false;
  }
  TableDef* t = g->table;
  // Opened hidden under the alias: found by it, flagged and moved to the
  // second list.
  OpenTable* entry = t->entry;
  if (entry == nullptr) return false;
  std::snprintf(entry->name, sizeof entry->name, "%s", kJgdTableAlias);
  entry->hidden = 1;
  open_table_list_add(entry, 0);
  OpenTable* found = nullptr;
  if (!table_find(kJgdTableAlias, nullptr, &found, 1) || found != entry) return false;
  g->entry = entry;
  entry->flag_a = 1;
  open_table_list_remove(entry);
  open_table_list_add(entry, 1);
  // Mesh code, then the two shifts.
  if (t->field_count < 3 || t->fields[0].value.type != VALUE_INTEGER || !numeric_value(t->fields[1].value.type) ||
      !numeric_value(t->fields[2].value.type))
    return false;
  IndexFile* file = nullptr;
  FieldIndex* index = nullptr;
  if (!index_get_for_field(t, 0, 0, &file, &index) || file == nullptr || index == nullptr) return false;
  g->search = index;
  g->key = new (std::nothrow) KeyBuf{};
  if (g->key == nullptr || !keybuf_init(g->key, VALUE_INTEGER, t->fields[0].width)) return false;
  if (!open_table_lock(entry, 0)) return false;
  g->locked = 1;
  return true;
}

}  // namespace

int16_t jgd_grid_load(JgdGrid* g) {
  if (g->open) return 1;
  if (g->tried) return 0;
  QuietErrors quiet;
  if (!jgd_table_open(g) || !jgd_grid_load_source(g, jgd_table_lookup, g)) {
    jgd_table_release(g);
    g->tried = 1;
    return 0;
  }
  return 1;
}

int16_t jgd_grid_load_source(JgdGrid* g, JgdSourceFn source, void* context) {
  if (source == nullptr) {
    g->tried = 1;
    return 0;
  }
  g->cache = new (std::nothrow) JgdCacheEntry[kJgdCacheSize]{};
  if (g->cache == nullptr) {
    g->tried = 1;
    return 0;
  }
  g->source = source;
  g->source_context = context;
  g->ring = 0;
  jgd_mesh_clear(&g->mesh);
  g->open = 1;
  return 1;
}

void jgd_grid_close(JgdGrid* g) {
  if (g == nullptr) return;
  jgd_table_release(g);
  delete[] g->cache;
  delete g;
}

int16_t jgd_grid_from_tokyo(void* grid, const DPoint* in, DPoint* out, const DatumDef*) {
  auto* g = static_cast<JgdGrid*>(grid);
  if (!jgd_ready(g)) return 0;
  return jgd_mesh_from_tokyo(g, in, out);
}

int16_t jgd_grid_to_tokyo(void* grid, const DPoint* in, DPoint* out, const DatumDef*) {
  auto* g = static_cast<JgdGrid*>(grid);
  if (!jgd_ready(g)) return 0;
  DatumDef d152, d1015;
  datum_get(152, &d152);
  datum_get(1015, &d1015);
  EllipsoidParams e152, e1015;
  ellipsoid_params(d152.ellipsoid, &e152);
  ellipsoid_params(d1015.ellipsoid, &e1015);
  DPoint start;
  datum_shift_7param(in, &d152, &e152, &start, &d1015, &e1015, 1);
  return invert(*in, start, out, [&](const DPoint& p, DPoint* r) { return jgd_mesh_from_tokyo(g, &p, r) != 0; });
}

// ---- installing

int16_t grid_install(int kind) {
  DatumGrid handle{};
  switch (kind) {
    case GRID_NADCON:
      if (g_installed.nadcon == nullptr && !nadcon_grid_open(&g_installed.nadcon)) return 0;
      handle = DatumGrid{g_installed.nadcon, nadcon_shift_forward, nadcon_shift_inverse};
      datum_set_grid(DATUM_GRID_NADCON, &handle);
      return 1;
    case GRID_JAPAN:
      if (g_installed.japan == nullptr && !jgd_grid_open(&g_installed.japan)) return 0;
      handle = DatumGrid{g_installed.japan, jgd_grid_to_tokyo, jgd_grid_from_tokyo};
      datum_set_grid(DATUM_GRID_JAPAN, &handle);
      return 1;
    case GRID_FRANCE:
      if (g_installed.france == nullptr && !ntf_grid_open(&g_installed.france)) return 0;
      handle = DatumGrid{g_installed.france, ntf_grid_shift_to_ntf, ntf_grid_shift_from_ntf};
      datum_set_grid(DATUM_GRID_FRANCE, &handle);
      return 1;
    default:
      return 0;
  }
}

void grid_uninstall_all() {
  for (int k = 0; k < 3; ++k) datum_set_grid(k, nullptr);
  nadcon_grid_close(g_installed.nadcon);
  jgd_grid_close(g_installed.japan);
  ntf_grid_close(g_installed.france);
  g_installed = Installed{};
}
