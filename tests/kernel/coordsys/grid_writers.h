// Writers of small datum-shift grids from the grid file layouts, for tests,
// fuzz seeds and benchmarks: NADCON area pairs (linear fields, exact in
// float32, and broken variants) and French translation grids.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "kernel/runtime/rect.h"

struct NadconFixture {
  int32_t cols = 40, rows = 24;
  float min_lon = -100, min_lat = 30, step = 0.25f;
  // shift(c, r) = a + b c + d r seconds (node numbers from 1), per file
  double lon_a = 1.5, lon_b = 0.25, lon_d = -0.125;
  double lat_a = -0.75, lat_b = 0.0625, lat_d = 0.5;
};

inline NadconFixture nadcon_linear_fixture() { return NadconFixture{}; }

enum class NadconBreak { None, StepZero, NanMinimum, HugeColumns, HugeBoth, Short, Differing, MissingLatitude, OneRow };

inline void put32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void putf(std::vector<unsigned char>& b, size_t at, float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  put32(b, at, u);
}
inline void put64d(std::vector<unsigned char>& b, size_t at, double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  put32(b, at, static_cast<uint32_t>(u));
  put32(b, at + 4, static_cast<uint32_t>(u >> 32));
}

// One NADCON file: records of cols + 1 float32, the header in record 0.
inline std::vector<unsigned char> nadcon_file_bytes(const NadconFixture& f, bool latitude, NadconBreak fault) {
  const size_t rec = static_cast<size_t>(f.cols) + 1;
  std::vector<unsigned char> b(rec * (static_cast<size_t>(f.rows) + 1) * 4);
  int32_t cols = f.cols, rows = f.rows;
  float min_lon = f.min_lon, step = f.step;
  if (fault == NadconBreak::StepZero) step = 0;
  if (fault == NadconBreak::NanMinimum) min_lon = std::numeric_limits<float>::quiet_NaN();
  if (fault == NadconBreak::HugeColumns || fault == NadconBreak::HugeBoth) cols = 0x7fffffff;
  if (fault == NadconBreak::HugeBoth) rows = 0x7fffffff;
  if (fault == NadconBreak::OneRow) rows = 1;
  if (fault == NadconBreak::Differing && latitude) step = f.step * 2;
  put32(b, 64, static_cast<uint32_t>(cols));
  put32(b, 68, static_cast<uint32_t>(rows));
  put32(b, 72, 1);
  putf(b, 76, min_lon);
  putf(b, 80, step);
  putf(b, 84, f.min_lat);
  putf(b, 88, step);
  putf(b, 92, 0);
  const double a = latitude ? f.lat_a : f.lon_a, bb = latitude ? f.lat_b : f.lon_b, d = latitude ? f.lat_d : f.lon_d;
  for (int32_t r = 1; r <= f.rows; ++r)
    for (int32_t c = 1; c <= f.cols; ++c) putf(b, (rec * r + c) * 4, static_cast<float>(a + bb * c + d * r));
  if (fault == NadconBreak::Short) b.resize(b.size() - 4);
  return b;
}

inline void write_bytes(const std::string& path, const std::vector<unsigned char>& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// NAME.LOS and NAME.LAS (the extension's case follows the name's first letter).
inline void write_nadcon_area(const std::string& name, const NadconFixture& f, NadconBreak fault = NadconBreak::None) {
  const bool upper = !name.empty() && name[0] >= 'A' && name[0] <= 'Z';
  write_bytes(name + (upper ? ".LOS" : ".los"), nadcon_file_bytes(f, false, fault));
  if (fault == NadconBreak::MissingLatitude) {
    std::remove((name + (upper ? ".LAS" : ".las")).c_str());
    return;
  }
  write_bytes(name + (upper ? ".LAS" : ".las"), nadcon_file_bytes(f, true, fault));
}

// The analytic NADCON shift of a point of the fixture (longitude west
// positive in the file: subtracted).
inline DPoint nadcon_expected(const NadconFixture& f, DPoint p) {
  const double lon = p.x > 0 ? p.x - 360 : p.x;
  const double gx = (lon - f.min_lon) / f.step + 1, gy = (p.y - f.min_lat) / f.step + 1;
  const double s_lon = f.lon_a + f.lon_b * gx + f.lon_d * gy;
  const double s_lat = f.lat_a + f.lat_b * gx + f.lat_d * gy;
  return DPoint{p.x - s_lon / 3600, p.y + s_lat / 3600};
}

// A French grid over a rectangle: node (i, j) at record (i (rows + 1) + j + 3)
// of 64 bytes, TX, TY, TZ at 24, 32, 40.
inline void write_ntf_grid(const std::string& path, double min_lon, double min_lat, double max_lon, double max_lat,
                           double step_lon, double step_lat, const std::function<void(int, int, double*)>& node) {
  const int cols = static_cast<int>(std::lround((max_lon - min_lon) / step_lon));
  const int rows = static_cast<int>(std::lround((max_lat - min_lat) / step_lat));
  std::vector<unsigned char> b((static_cast<size_t>(cols + 1) * (rows + 1) + 3) * 64);
  for (int i = 0; i <= cols; ++i)
    for (int j = 0; j <= rows; ++j) {
      double t[3] = {0, 0, 0};
      node(i, j, t);
      const size_t at = (static_cast<size_t>(i) * (rows + 1) + j + 3) * 64;
      for (int k = 0; k < 3; ++k) put64d(b, at + 24 + 8 * k, t[k]);
    }
  write_bytes(path, b);
}
