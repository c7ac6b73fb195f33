// The table reader: the application's one view of a source table, on the
// reader table layer, and the style clauses it builds from the objects it
// reads (Symbol, Pen, second Pen and Brush parts in the reader's own
// layout).
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "geometry/encode/sdo.h"
#include "geometry/qd_alloc.h"
#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi_kernel.h"
#include "platform/resources.h"

namespace {

// Appends printf-formatted text.
void add(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void add(std::string& out, const char* format, ...) {
  char buf[160];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  out += buf;
}

void symbol_part(std::string& out, int code, const ObjSymbol& s) {
  switch (code) {
    case 201:
      add(out, "Symbol (%d, %u, %d) ", s.vector.shape, s.vector.colour, s.vector.size);
      break;
    case 211:
      add(out, "Symbol (%d,%u,%d,\"%.*s\",%d,%lld) ", s.font.code, s.font.colour, s.font.size,
          static_cast<int>(strnlen(s.font.name, sizeof s.font.name)), s.font.name, s.font.style,
          static_cast<long long>(std::trunc(s.font.rotation)));
      break;
    case 212:
      add(out, "Symbol (\"%.*s\",%u,%d,%d) ", static_cast<int>(strnlen(s.bitmap.name, sizeof s.bitmap.name)),
          s.bitmap.name, s.bitmap.colour, s.bitmap.size, s.bitmap.style);
      break;
    default: break;
  }
}

void pen_part(std::string& out, const ObjPen& p) {
  if (p.third != 0) {
    add(out, "Pen (%d, %d, %d, %u) ", p.width, p.pattern, p.third, p.colour);
  } else {
    add(out, "Pen (%d, %d, %u) ", p.width, p.pattern, p.colour);
  }
}

void brush_part(std::string& out, const ObjBrush& b) {
  if (b.transparent) {
    add(out, "Brush (%d, %u) ", b.pattern, b.fore);
  } else {
    add(out, "Brush (%d, %u, %u) ", b.pattern, b.fore, b.back);
  }
}

bool is_point_class(int code) { return code == 201 || code == 211 || code == 212; }
bool is_line_class(int code) { return code == 202 || code == 204 || code == 210; }
bool is_area_class(int code) { return code == 205 || code == 207; }

}  // namespace

// Appends the parts of a record's styles to a clause (codes 201..214).
void reader_style_from_record(std::string& out, const ObjRecord* r) {
  switch (r->code) {
    case 201: case 211: case 212: symbol_part(out, r->code, r->u.point.symbol); break;
    case 213: symbol_part(out, r->u.points.symbol_code, r->u.points.symbol); break;
    case 202: pen_part(out, r->u.line.pen); break;
    case 203: pen_part(out, r->u.arc.pen); break;
    case 204: pen_part(out, r->u.polyline.pen); break;
    case 210: pen_part(out, r->u.multi.pen); break;
    case 206: pen_part(out, r->u.text.pen); break;
    case 205:
      pen_part(out, r->u.region.pen);
      brush_part(out, r->u.region.brush);
      break;
    case 207: case 209:
      pen_part(out, r->u.rect.pen);
      brush_part(out, r->u.rect.brush);
      break;
    case 208:
      pen_part(out, r->u.roundrect.pen);
      brush_part(out, r->u.roundrect.brush);
      break;
    case 214: {
      const auto& c = r->u.collection;
      if (c.multipoint.count > 0) symbol_part(out, c.multipoint.symbol_code, c.multipoint.symbol);
      if (c.polyline.sections > 0) pen_part(out, c.polyline.pen);
      if (c.region.sections > 0) {
        pen_part(out, c.region.pen);
        brush_part(out, c.region.brush);
      }
      break;
    }
    default: break;
  }
}

// The clause of an ObjStyles record for a record code.
void reader_style_from_styles(std::string& out, const ObjStyles& s, int code) {
  out.clear();
  switch (code) {
    case 201: case 211: case 212: symbol_part(out, code, s.symbol); break;
    case 213: symbol_part(out, s.symbol_code, s.symbol); break;
    case 202: case 203: case 204: case 206: case 210: pen_part(out, s.line_pen); break;
    case 205: case 207: case 208: case 209:
      pen_part(out, s.area_pen);
      brush_part(out, s.brush);
      break;
    case 214:
      symbol_part(out, s.symbol_code, s.symbol);
      if (s.flags & 2) pen_part(out, s.line_pen);
      if (s.flags & 4) pen_part(out, s.area_pen);
      if (s.flags & 8) brush_part(out, s.brush);
      break;
    default: break;
  }
}

namespace {

class CTableReaderImpl : public CTableReader {
 public:
  ~CTableReaderImpl() override = default;

  int NewSdoArrays(SdoArrays** out) override {
    if (out == nullptr) return 0;
    auto* a = new SdoArrays{};
    a->geometry = new SdoGeometry{};
    *out = a;
    return 0;
  }

  int16_t Close() override {
    m_columns.clear();
    reader_close_objects(m_handle);
    const int16_t r = ReaderCloseTable(m_handle);
    m_handle = 0;
    return r;
  }

  void FreeRecord(void* record) override { TabApiFreeRecord(record); }
  void FreeGeometry(unsigned char* blob) override { qd_free(blob); }
  void FreeSdoArrays(SdoArrays* arrays) override { TabApiFreeSdoArrays(arrays); }
  ColumnInfo* GetColumns() override { return m_columns.empty() ? nullptr : m_columns.data(); }
  uint8_t GetColumnDecimals(int n) override { return m_columns[static_cast<size_t>(n)].decimals; }
  uint8_t GetColumnType(int n) override { return m_columns[static_cast<size_t>(n)].type; }
  int GetColumnPrecision(int n) override {
    const ColumnInfo& c = m_columns[static_cast<size_t>(n)];
    int w = c.width;
    if (c.type == COLTYPE_DECIMAL && c.width > 0 && c.decimals > 0) --w;
    return w;
  }
  ColumnInfo* GetColumn(int n) override { return &m_columns[static_cast<size_t>(n)]; }
  bool IsColumnIndexed(int n) override { return m_columns[static_cast<size_t>(n)].indexed != 0; }
  void SetColumnIndexed(int n, bool flag) override { m_columns[static_cast<size_t>(n)].indexed = flag ? 1 : 0; }

  std::string& GetColumnTypeText(std::string& out, int n) override {
    const ColumnInfo& c = m_columns[static_cast<size_t>(n)];
    out = ReaderColumnTypeText(c.type, GetColumnPrecision(n), c.decimals);
    return out;
  }

  int GetTableHandle() override { return m_handle; }
  int GetRowCount() override { return m_rows; }
  int GetColumnCount() override { return m_column_count; }
  void ResetCoordSysBounds(CoordSysInfo* info) override { TabApiCoordSysDefaultBounds(info); }
  CoordSysInfo* GetCoordSys() override { return &m_coordsys; }
  int LastError() override { return TabApiLastError(); }
  int GetPointCount() override { return m_points; }
  int GetLineCount() override { return m_lines; }
  int GetRegionCount() override { return m_regions; }
  bool HasNoObjects() override { return m_points + m_lines + m_regions <= 0; }
  const std::string* GetCoordSysText() override { return &m_coordsys_text; }
  bool HasNoSrid() override { return m_no_srid != 0; }
  int GetSrid() override { return m_srid; }
  std::string* GetStyleClause() override { return &m_style; }
  std::string* GetDefaultStyle() override { return &m_default_style; }
  const std::string* GetObjectKindText() override { return &m_kind; }
  int GetObjectKind() override { return ObjectKindFromText(m_kind.c_str()); }
  double GetResolutionX() override { return m_res_x; }
  double GetResolutionY() override { return m_res_y; }

  int16_t ComputeResolution(int unit) override {
    const int16_t r = TabApiCoordSysResolution(&m_coordsys, unit, 1, &m_res_x, &m_res_y);
    m_res_x *= 0.1;
    m_res_y *= 0.1;
    return r;
  }

  const std::string* GetPath() override { return &m_path; }
  int GetOption() override { return m_option; }
  std::string GetExtraText(std::string& out) override {
    m_extra.assign(1, '4');
    out.assign(1, '4');
    return m_extra;
  }
  bool IsMappable() override { return m_mappable != 0; }

  bool Open(const std::string& path, uint8_t normalise) override {
    m_path = path;
    m_default_style.clear();
    m_style.clear();
    m_point_done = m_line_done = m_area_done = 0;
    m_mappable = 0;
    if (path.empty()) return false;
    m_reason.clear();
    m_handle = ReaderOpenTable(path.c_str(), 1);
    (void)TabApiLastError();
    if (m_handle == 0) {
      // Why, for a person: the system's reason when the path is no file,
      // else the kernel's message.
      struct stat st {};
      if (stat(path.c_str(), &st) != 0) {
        m_reason = std::strerror(errno);
      } else if (S_ISDIR(st.st_mode)) {
        m_reason = std::strerror(EISDIR);
      } else if (err_count() > 0) {
        err_format_entry(&g_err_stack->entries[0]);
        m_reason = g_err_stack->line;
      }
      return false;
    }
    reader_open_objects(m_handle);
    reader_get_row_count(m_handle, &m_rows);
    reader_get_field_count(m_handle, &m_column_count);
    if (m_column_count <= 0) return false;
    m_columns.assign(static_cast<size_t>(m_column_count), ColumnInfo{});
    reader_get_field_info(m_handle, m_columns.data());
    std::memset(static_cast<void*>(&m_coordsys), 0, sizeof m_coordsys);
    int32_t srid = 0;
    reader_get_coordsys(m_handle, &m_coordsys, &srid, normalise);
    m_srid = srid;
    m_no_srid = srid == 0 ? 1 : 0;
    m_mappable = TabApiLastError() != kApiErrNoMap ? 1 : 0;
    char text[256] = {};
    TabApiCoordSysText(&m_coordsys, text);
    m_coordsys_text = std::strlen(text) > 9 ? std::string(text + 9) : std::string();
    if (TabApiCoordSysResolution(&m_coordsys, -1, 0, &m_res_x, &m_res_y)) {
      m_res_x *= 0.1;
      m_res_y *= 0.1;
    }
    reader_get_object_counts(m_handle, &m_points, &m_lines, &m_regions);
    if (m_points > 0 && m_lines == 0 && m_regions == 0) m_kind = kObjectKindPoints;
    else if (m_lines > 0 && m_points == 0 && m_regions == 0) m_kind = kObjectKindLines;
    else if (m_regions > 0 && m_points == 0 && m_lines == 0) m_kind = kObjectKindRegions;
    else m_kind = kObjectKindMixed;
    return true;
  }

  int16_t ReadSdo(int row, char* text, SdoArrays* holder, DRect* bounds, uint8_t perRow, uint8_t shortGtype) override {
    if (holder != nullptr && holder->geometry != nullptr) sdo_reset(holder->geometry);
    ObjRecord rec;
    const int16_t read = ReaderReadRow(m_handle, row, text, &rec, bounds, nullptr);
    if (perRow) m_style.clear();
    if (!read) return 0;
    const int code = rec.code;
    if (is_point_class(code) || code == 213) Styled(&rec, m_point_done, !perRow);
    else if (is_line_class(code)) Styled(&rec, m_line_done, !perRow);
    else if (is_area_class(code)) Styled(&rec, m_area_done, !perRow);
    else if (code == 214) {
      BuildStyleClause(&rec);
      m_kind = kObjectKindMixed;
    } else {
      return read;
    }
    return TabApiObjectToSdo(&rec, &m_coordsys, holder, shortGtype, m_no_srid, m_srid);
  }

  int16_t ReadRecord(int row, char* text, unsigned char** record, int* size, DRect* bounds, CUploadOptions* options,
                     DPoint* centre, std::string* key) override {
    if (record != nullptr) *record = nullptr;
    if (size != nullptr) *size = 0;
    if (key != nullptr) key->clear();
    DPoint c{0, 0};
    if (options != nullptr) options->NoObject = false;
    ObjRecord rec;
    const int16_t read = ReaderReadRow(m_handle, row, text, &rec, bounds, &c);
    if (centre != nullptr) *centre = c;
    const bool perRow = options != nullptr && options->PerRowStyles;
    const bool noStyles = options != nullptr && !options->StyleEnabled;
    if (perRow) m_style.clear();
    if (!read) return 0;
    const int code = rec.code;
    bool encode = false;
    if (code == 0 || code == 200) {
      if (options != nullptr) options->NoObject = true;
    } else if (is_point_class(code) || (code == 213 && options != nullptr && options->TakeCollections)) {
      encode = Class(&rec, m_point_done, noStyles, perRow);
    } else if (is_line_class(code)) {
      encode = Class(&rec, m_line_done, noStyles, perRow);
    } else if (is_area_class(code)) {
      encode = Class(&rec, m_area_done, noStyles, perRow);
    } else if (code == 206 && options != nullptr && options->TakeTexts) {
      m_kind = kObjectKindMixed;
      encode = true;
    } else if (code == 214 && options != nullptr && options->TakeCollections) {
      if (!noStyles && (!m_point_done || !m_line_done || !m_area_done)) BuildStyleClause(&rec);
      if (!perRow) m_point_done = m_line_done = m_area_done = 1;
      m_kind = kObjectKindMixed;
      encode = true;
    }
    const int storage = options != nullptr ? options->StorageKind : 1;
    if (encode && storage == 1) {
      int32_t n = 0;
      const int16_t r = TabApiObjectToCvRecord(&rec, &m_coordsys, record, &n);
      if (size != nullptr) *size = n;
      return r;
    }
    if (!(options != nullptr && options->NoObject) && storage == 2 && key != nullptr) {
      const DRect b{m_coordsys.x1, m_coordsys.y1, m_coordsys.x2, m_coordsys.y2};
      const DRect r{c.x, c.y, c.x, c.y};
      char buf[64] = {};
      TabApiSpatialKey(&b, &r, buf);
      *key = buf;
    }
    return read;
  }

  int16_t ReadGeometry(int row, char* text, unsigned char** blob, int* size, DRect* bounds,
                       CUploadOptions* options) override {
    if (blob != nullptr) *blob = nullptr;
    if (size != nullptr) *size = 0;
    if (!m_styles) m_styles = std::make_unique<ObjStyles>();
    m_styles->flags &= ~0x1f;
    if (!m_mappable) return ReaderReadRowGeometry(m_handle, row, text, nullptr, nullptr, nullptr, nullptr, nullptr);
    int32_t code = 200;
    unsigned char* b = nullptr;
    const int16_t read = ReaderReadRowGeometry(m_handle, row, text, &b, &code, m_styles.get(), bounds, nullptr);
    const bool perRow = options != nullptr && options->PerRowStyles;
    const bool noStyles = options != nullptr && !options->StyleEnabled;
    if (perRow) m_style.clear();
    if (!read) {
      if (b != nullptr) FreeGeometry(b);
      return 0;
    }
    bool accept = false;
    auto cls = [&](uint8_t& done) {
      if (!done && !noStyles) reader_style_from_styles(m_style, *m_styles, code);
      if (!perRow) done = 1;
      accept = true;
    };
    if (is_point_class(code) || (code == 213 && options != nullptr && options->TakeCollections)) cls(m_point_done);
    else if (is_line_class(code)) cls(m_line_done);
    else if (is_area_class(code)) cls(m_area_done);
    else if (code == 206 && options != nullptr && options->TakeTexts) {
      m_kind = kObjectKindMixed;
      accept = true;
    } else if (code == 214 && options != nullptr && options->TakeCollections) {
      if (!noStyles && (!m_point_done || !m_line_done || !m_area_done)) reader_style_from_styles(m_style, *m_styles, code);
      if (!perRow) m_point_done = m_line_done = m_area_done = 1;
      m_kind = kObjectKindMixed;
      accept = true;
    }
    if (accept && b != nullptr) {
      if (blob != nullptr) *blob = b;
      if (size != nullptr) *size = static_cast<int>(b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24));
    } else if (b != nullptr) {
      FreeGeometry(b);
    }
    return read;
  }

  void SetOption(int option) override { m_option = option; }
  void SetRawText(int flag) override { TabApiSetRawText(flag); }
  void SetHasNoSrid(uint8_t flag) override { m_no_srid = flag; }
  void SetSrid(int srid) override { m_srid = srid; }

  void BuildStyleClause(const ObjRecord* record) override {
    if (record == nullptr) {
      m_style.clear();
      return;
    }
    if (record->code >= 201 && record->code <= 214) reader_style_from_record(m_style, record);
  }

  void SetDefaultStyle(const std::string& text) override { m_default_style = text; }
  std::string LastErrorText() override { return m_reason; }
  bool HasColumnType(uint8_t type) override {
    for (const ColumnInfo& c : m_columns) {
      if (c.type == type) return true;
    }
    return false;
  }

 private:
  // A class's style clause, built from the first object of the class
  // unless per row; answers that the object is encoded.
  bool Class(const ObjRecord* rec, uint8_t& done, bool noStyles, bool perRow) {
    if (!done && !noStyles) BuildStyleClause(rec);
    if (!perRow) done = 1;
    return true;
  }
  void Styled(const ObjRecord* rec, uint8_t& done, bool setFlag) {
    if (!done) BuildStyleClause(rec);
    if (setFlag) done = 1;
  }

  uint8_t m_point_done = 0, m_line_done = 0, m_area_done = 0;
  uint8_t m_mappable = 0;
  CoordSysInfo m_coordsys{};
  int32_t m_rows = 0, m_column_count = 0, m_handle = 0, m_lines = 0, m_points = 0, m_regions = 0;
  int m_option = 0;
  std::string m_extra;
  uint8_t m_no_srid = 0;
  int32_t m_srid = 0;
  std::vector<ColumnInfo> m_columns;
  std::string m_path, m_coordsys_text, m_kind, m_style, m_default_style;
  double m_res_x = 0, m_res_y = 0;
  std::unique_ptr<ObjStyles> m_styles;
  std::string m_reason;
};

}  // namespace

CTableReader* CreateTableReader() { return new (std::nothrow) CTableReaderImpl(); }
