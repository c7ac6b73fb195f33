// A table reader whose rows are made on request: five columns (NAME char 20,
// POP integer, AREA decimal 10.2, RATE float, CLASS smallint) and one point
// per row, as a blob for SQL Server's spatial column and as a record
// otherwise. Large tables cost no memory, so row loops can be measured and
// watched at any size.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kernel/tables/api/TableReader.h"

namespace upload {

class GeneratedReader : public CTableReader {
 public:
  explicit GeneratedReader(int rows) : rows_(rows) {
    const char* names[] = {"NAME", "POP", "AREA", "RATE", "CLASS"};
    const uint8_t types[] = {1, 3, 2, 8, 4};
    const uint8_t widths[] = {20, 10, 10, 8, 5};
    const uint8_t decimals[] = {0, 0, 2, 0, 0};
    for (int i = 0; i < 5; ++i) {
      ColumnInfo c{};
      std::strncpy(c.name, names[i], sizeof c.name - 1);
      c.type = types[i];
      c.width = widths[i];
      c.decimals = decimals[i];
      columns_.push_back(c);
    }
    coordsys_ = CoordSysInfo{};
    coordsys_.x1 = -180, coordsys_.y1 = -90, coordsys_.x2 = 180, coordsys_.y2 = 90;
  }

  // Called before row r is read (tests: another session's work).
  std::function<void(int row)> beforeRead;

  int NewSdoArrays(SdoArrays** out) override {
    if (out) *out = nullptr;
    return 0;
  }
  int16_t Close() override { return 1; }
  void FreeRecord(void* record) override { std::free(record); }
  void FreeGeometry(unsigned char* blob) override { std::free(blob); }
  void FreeSdoArrays(SdoArrays*) override {}
  ColumnInfo* GetColumns() override { return columns_.data(); }
  uint8_t GetColumnDecimals(int n) override { return columns_[n].decimals; }
  uint8_t GetColumnType(int n) override { return columns_[n].type; }
  int GetColumnPrecision(int n) override {
    const ColumnInfo& c = columns_[n];
    return c.type == 2 && c.width > 0 && c.decimals > 0 ? c.width - 1 : c.width;
  }
  ColumnInfo* GetColumn(int n) override { return &columns_[n]; }
  bool IsColumnIndexed(int n) override { return columns_[n].indexed != 0; }
  void SetColumnIndexed(int n, bool flag) override { columns_[n].indexed = flag ? 1 : 0; }
  std::string& GetColumnTypeText(std::string& out, int) override { return out; }
  int GetTableHandle() override { return 1; }
  int GetRowCount() override { return rows_; }
  int GetColumnCount() override { return static_cast<int>(columns_.size()); }
  void ResetCoordSysBounds(CoordSysInfo*) override {}
  CoordSysInfo* GetCoordSys() override { return &coordsys_; }
  int LastError() override { return 0; }
  int GetPointCount() override { return rows_; }
  int GetLineCount() override { return 0; }
  int GetRegionCount() override { return 0; }
  bool HasNoObjects() override { return rows_ == 0; }
  const std::string* GetCoordSysText() override { return &coordsysText_; }
  bool HasNoSrid() override { return true; }
  int GetSrid() override { return 0; }
  std::string* GetStyleClause() override { return &style_; }
  std::string* GetDefaultStyle() override { return &defaultStyle_; }
  const std::string* GetObjectKindText() override { return &kindText_; }
  int GetObjectKind() override { return 0; }
  double GetResolutionX() override { return 0; }
  double GetResolutionY() override { return 0; }
  int16_t ComputeResolution(int) override { return 1; }
  const std::string* GetPath() override { return &path_; }
  int GetOption() override { return 0; }
  std::string GetExtraText(std::string& out) override { return out = "4"; }
  bool IsMappable() override { return true; }
  bool Open(const std::string&, uint8_t) override { return true; }
  int16_t ReadSdo(int, char*, SdoArrays*, DRect*, uint8_t, uint8_t) override { return 0; }
  int16_t ReadRecord(int row, char* text, unsigned char** record, int* size, DRect* bounds, CUploadOptions* o,
                     DPoint* centre, std::string* key) override {
    if (!Row(row, text, bounds)) return 0;
    if (o) o->NoObject = false;
    if (centre) *centre = DPoint{X(row), Y(row)};
    if (key) *key = "Q" + std::to_string(row);
    if (record) *record = Bytes(row, size);
    return 1;
  }
  int16_t ReadGeometry(int row, char* text, unsigned char** blob, int* size, DRect* bounds,
                       CUploadOptions*) override {
    if (!Row(row, text, bounds)) return 0;
    if (blob) *blob = Bytes(row, size);
    return 1;
  }
  void SetOption(int) override {}
  void SetRawText(int) override {}
  void SetHasNoSrid(uint8_t) override {}
  void SetSrid(int) override {}
  void BuildStyleClause(const ObjRecord*) override {}
  void SetDefaultStyle(const std::string& text) override { defaultStyle_ = text; }
  bool HasColumnType(uint8_t type) override {
    for (const ColumnInfo& c : columns_)
      if (c.type == type) return true;
    return false;
  }

  // The row text of row r, as the reader writes it.
  static std::string RowText(int r) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "place %d\t%d\t%d.%02d\t%d.5\t%d", r, r * 7, r % 1000, r % 100, r % 50, r % 9);
    return buf;
  }
  static double X(int r) { return (r % 3600) / 10.0 - 180; }
  static double Y(int r) { return (r % 1800) / 10.0 - 90; }

 private:
  bool Row(int row, char* text, DRect* bounds) {
    if (row < 1 || row > rows_) return false;
    if (beforeRead) beforeRead(row);
    const std::string t = RowText(row);
    std::memcpy(text, t.c_str(), t.size() + 1);
    if (bounds) {
      const double x = X(row), y = Y(row);
      if (bounds->x1 == 0 && bounds->y1 == 0 && bounds->x2 == 0 && bounds->y2 == 0) {
        *bounds = DRect{x, y, x, y};
      } else {
        bounds->x1 = std::min(bounds->x1, x);
        bounds->y1 = std::min(bounds->y1, y);
        bounds->x2 = std::max(bounds->x2, x);
        bounds->y2 = std::max(bounds->y2, y);
      }
    }
    style_ = "Symbol (35,0,12)";
    return true;
  }
  // A 24-byte object: length word, tag, x and y.
  static unsigned char* Bytes(int row, int* size) {
    auto* b = static_cast<unsigned char*>(std::malloc(24));
    const unsigned char head[8] = {24, 0, 0, 0, 'P', 'N', 'T', '0'};
    std::memcpy(b, head, 8);
    PutDouble(b + 8, X(row));
    PutDouble(b + 16, Y(row));
    if (size) *size = 24;
    return b;
  }

  static void PutDouble(unsigned char* p, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(bits >> (8 * i));
  }

  int rows_;
  std::vector<ColumnInfo> columns_;
  CoordSysInfo coordsys_;
  std::string coordsysText_ = "Earth Projection 1, 104";
  std::string style_;
  std::string defaultStyle_;
  std::string kindText_ = ".0";
  std::string path_ = "generated";
};

}  // namespace upload
