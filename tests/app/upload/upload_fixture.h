// Small source tables for the uploader's tests, written as fixture files and
// opened through the table reader contract.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/ResourceLibrary.h"
#include "fixture.h"
#include "kernel/tables/api/TableReader.h"

namespace upload {

// The resource library built beside the program (its path comes from the
// test's environment), so that messages carry their texts.
inline void LoadTestResources() {
  static bool loaded = false;
  if (loaded) return;
  const char* path = std::getenv("QL_RES");
  ASSERT_NE(path, nullptr) << "QL_RES names the resource library";
  ASSERT_TRUE(AppResources().Load(path)) << path;
  loaded = true;
}

inline std::vector<unsigned char> Blob(const std::string& body) {
  const uint32_t n = static_cast<uint32_t>(body.size() + 4);
  std::vector<unsigned char> b = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                  static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// `n` rows "name<i>\t<i>" with one object each of the given code (201 point,
// 202 line, 200 none) at (i, -i).
inline FixtureTable NamePopTable(int n, int code = 201) {
  FixtureTable t;
  t.columns = {FixtureColumn("NAME", 1, 20, 0), FixtureColumn("POP", 3, 10, 0)};
  t.coordsys = "Earth Projection 1, 104";
  t.x1 = -180, t.y1 = -90, t.x2 = 180, t.y2 = 90;
  for (int i = 1; i <= n; ++i) {
    FixtureRow r;
    r.text = "name" + std::to_string(i) + "\t" + std::to_string(i);
    r.code = code;
    if (code != 200) {
      r.record = {0x10, static_cast<unsigned char>(i)};
      r.blob = Blob("PT" + std::to_string(i));
      r.has_centre = true;
      r.cx = i, r.cy = -i;
      r.has_bounds = true;
      r.bx1 = i, r.by1 = -i, r.bx2 = i, r.by2 = -i;
      r.key = "K" + std::to_string(i);
      r.style = "Symbol (35,0,12)";
    }
    t.rows.push_back(r);
  }
  return t;
}

// A table written to a fixture file in a scratch folder, and a reader on it.
class FixtureFile {
 public:
  explicit FixtureFile(const FixtureTable& t, const std::string& name = "src") {
    static int serial = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("ql_upload_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / (name + ".fxt")).string();
    std::ofstream(path_, std::ios::binary) << FixtureFormat(t);
  }
  ~FixtureFile() { std::filesystem::remove_all(dir_); }
  const std::string& Path() const { return path_; }
  std::filesystem::path Dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

inline std::unique_ptr<CTableReader> OpenReader(const std::string& path) {
  ReaderApiInit(TABAPI_VERSION);
  std::unique_ptr<CTableReader> reader(CreateTableReader());
  EXPECT_TRUE(reader->Open(path, 0)) << path;
  return reader;
}

}  // namespace upload
