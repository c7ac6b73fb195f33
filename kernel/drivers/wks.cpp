// The Lotus worksheet reader and driver (see wks.h and
// docs/foreign-tables.md).
#include "kernel/drivers/wks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "kernel/drivers/foreign.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/storage/le_bytes.h"
#include "kernel/tables/storage/tabtype_ops.h"

namespace {

constexpr int32_t kMaxColumns = 250;
constexpr size_t kMaxRuns = 31998;
constexpr const char* kEntireWorksheet = "Entire Worksheet";

uint16_t u16(const uint8_t* p) { return le_get_u16(p); }

struct Rec {
  uint16_t code = 0, len = 0;
  const uint8_t* d = nullptr;
  uint32_t pos = 0, next = 0;
};

bool rec_at(WksReader* r, uint32_t pos, Rec* out) {
  const size_t n = r->stream.size();
  if (static_cast<size_t>(pos) + 4 > n) {
    r->last_error = kWksBrokenStream;
    return false;
  }
  const uint8_t* h = r->stream.data() + pos;
  const uint16_t len = u16(h + 2);
  if (static_cast<size_t>(pos) + 4 + len > n) {
    r->last_error = kWksBrokenStream;
    return false;
  }
  *out = {u16(h), len, h + 4, pos, pos + 4 + len};
  return true;
}

bool is_cell(const WksReader* r, uint16_t code) {
  return r->wk3 ? code >= 0x0014 && code <= 0x001A : (code >= 0x000D && code <= 0x0010) || code == 0x0033;
}

// Sheet, row and column of a cell record (false when too short).
bool cell_place(const WksReader* r, const Rec& c, int32_t* sheet, int32_t* row, int32_t* col) {
  if (r->wk3) {
    if (c.len < 4) return false;
    *row = u16(c.d), *sheet = c.d[2], *col = c.d[3];
  } else {
    if (c.len < 5) return false;
    *sheet = 0, *col = u16(c.d + 1), *row = u16(c.d + 3);
  }
  return true;
}

// A zero-terminated text from offset at (the record's end ends it too).
std::string record_text(const Rec& c, size_t at, size_t max) {
  std::string s;
  for (size_t i = at; i < c.len && c.d[i] != 0 && s.size() < max; ++i) s += static_cast<char>(c.d[i]);
  return s;
}

void to_current(const WksReader* r, char* text) {
  if (r->wk3) charset_from_lmbcs(r->lmbcs_group, text);
}

bool date_code(uint8_t format) {
  const int cls = (format >> 4) & 7, code = format & 15;
  return cls == 7 && (code == 2 || code == 3 || code == 4 || code == 9 || code == 10);
}

// The format of a WK3 cell from its row's runs.
uint8_t wk3_format(const WksReader* r, int32_t row, int32_t col) {
  if (row < 0 || static_cast<size_t>(row) >= r->row_runs.size()) return r->default_format;
  int32_t at = 0;
  for (const auto& run : r->row_runs[static_cast<size_t>(row)]) {
    if (run.second == 0) break;
    at += run.second;
    if (col < at) return run.first;
    if (at > r->range.last_column) break;
  }
  return r->default_format;
}

// The kind of a format: Float, Date, Char or Decimal with its decimals.
int32_t format_kind(uint8_t format, int32_t* decimals) {
  const int cls = (format >> 4) & 7, code = format & 15;
  *decimals = 0;
  if (cls == 1) return VALUE_FLOAT;
  if (cls == 7) {
    if (date_code(format)) return VALUE_DATE;
    if (code == 5 || code == 13) return VALUE_CHAR;
    return VALUE_FLOAT;
  }
  *decimals = cls == 3 ? code + 2 : code;
  return VALUE_DECIMAL;
}

bool all_ones_exponent(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return ((bits >> 52) & 0x7FF) == 0x7FF;
}

double f64(const uint8_t* p) { return le_get_double(p); }

// The record after a formula when it is its string result.
bool string_after(WksReader* r, const Rec& c, Rec* out) {
  const bool ok = rec_at(r, c.next, out) && out->code == (r->wk3 ? 0x001A : 0x0033);
  if (!ok) r->last_error = 0;
  return ok;
}

void set_text(WksReader* r, const std::string& s) {
  str_copy_n(r->text, s.c_str(), sizeof r->text);
  to_current(r, r->text);
  r->value.type = VALUE_CHAR_REF;
  r->value.u.ref = r->text;
}

}  // namespace

bool ext80_to_double(const uint8_t* b, double* out) {
  uint64_t mantissa = 0;
  for (int i = 7; i >= 0; --i) mantissa = (mantissa << 8) | b[i];
  const uint16_t se = u16(b + 8);
  const int exp = se & 0x7FFF;
  const bool negative = (se & 0x8000) != 0;
  if (exp == 0x7FFF) return false;
  double d = 0;
  if (mantissa != 0) {
    // Round the 64-bit mantissa to 53 bits by hand, then scale.
    int shift = 0;
    while (mantissa >> 53) {
      const bool half = (mantissa & 1) != 0;
      mantissa >>= 1;
      ++shift;
      if (half && (mantissa >> 53) == 0 && (mantissa & 1)) ++mantissa;
    }
    d = std::ldexp(static_cast<double>(mantissa), exp - 16383 - 63 + shift);
    if (!std::isfinite(d)) return false;
  }
  *out = negative ? -d : d;
  return true;
}

Date lotus_serial_to_date(int32_t serial) {
  int32_t days = serial - 1;
  if (serial > 59) --days;
  return date_add_days(days, Date{1900, 1, 1});
}

std::string wks_column_letters(int32_t column) { return column_letters(column); }

bool wks_reader_load(WksReader* r, const uint8_t* data, size_t size) {
  r->last_error = 0;
  r->loaded = false;
  r->stream.assign(data, data + size);
  Rec b;
  bool ok = rec_at(r, 0, &b) && b.code == 0x0000;
  const uint16_t version = ok && b.len >= 2 ? u16(b.d) : 0;
  if (ok && b.len == 2 && (version == 0x0404 || version == 0x0406)) {
    r->wk3 = false;
  } else if (ok && b.len == 26 && (version == 0x1000 || version == 0x1002)) {
    r->wk3 = true;
    r->lmbcs_group = b.d[16];
  } else {
    r->last_error = kWksNotLotus;
    r->stream.clear();
    return false;
  }
  Rec n;
  if (rec_at(r, b.next, &n) && (n.code == (r->wk3 ? 0x0002 : 0x004B))) {
    r->last_error = kWksProtected;
    r->stream.clear();
    return false;
  }
  r->last_error = 0;
  r->loaded = true;
  return true;
}

bool wks_reader_open(WksReader* r, int32_t file, int mode) {
  std::vector<uint8_t> bytes;
  r->last_error = sheet_file_use(file, mode, r->loaded ? nullptr : &bytes);
  if (r->last_error != 0) return false;
  r->file = file;
  if (r->loaded || wks_reader_load(r, bytes.data(), bytes.size())) return true;
  wks_reader_close(r);
  return false;
}

void wks_reader_close(WksReader* r) {
  if (r->file > 0) file_release(r->file);
  r->file = 0;
}

bool wks_active_range(WksReader* r, WksRange* out) {
  Rec rec;
  if (r->wk3) {
    if (!rec_at(r, 0, &rec)) return false;
    const uint8_t* d = rec.d;
    *out = {d[7], u16(d + 4), d[11], u16(d + 8), d[6], d[10]};
    return true;
  }
  for (uint32_t pos = 0; rec_at(r, pos, &rec) && rec.code != 0x0001; pos = rec.next) {
    if (rec.code == 0x0006 && rec.len >= 8) {
      *out = {u16(rec.d), u16(rec.d + 2), u16(rec.d + 4), u16(rec.d + 6), 0, 0};
      r->last_error = 0;
      return true;
    }
  }
  r->last_error = 0;
  return false;
}

void wks_window_settings(WksReader* r, int32_t* title_columns, int32_t* title_rows, int32_t* width) {
  *title_columns = *title_rows = *width = 0;
  Rec rec;
  for (uint32_t pos = 0; rec_at(r, pos, &rec) && rec.code != 0x0001; pos = rec.next) {
    if (r->wk3) {
      if (rec.code == 0x0005 && rec.len >= 16) *title_columns = rec.d[13], *title_rows = u16(rec.d + 14);
      if (rec.code == 0x0006 && rec.len >= 5) *width = rec.d[4];
    } else if (rec.code == 0x0007 && rec.len >= 20) {
      *width = u16(rec.d + 6), *title_columns = u16(rec.d + 16), *title_rows = u16(rec.d + 18);
    }
  }
  r->last_error = 0;
}

void wks_add_sheet_names(WksReader* r, const WksRange& a) {
  for (int32_t s = a.first_sheet; s <= a.last_sheet; ++s) {
    WksName n;
    n.name = kEntireWorksheet;
    if (a.last_sheet > a.first_sheet) {
      n.name += ' ';
      n.name += wks_column_letters(s);
    }
    n.first_row = a.first_row, n.first_column = a.first_column, n.last_row = a.last_row, n.last_column = a.last_column;
    n.first_sheet = n.last_sheet = s;
    n.synthetic = true;
    r->names.push_back(n);
  }
}

namespace {

// The named ranges of the file before its first cell (the last of a name
// wins); a name without its terminating zero is dropped.
bool scan_name(WksReader* r, const std::string& text, WksName* out) {
  bool found = false;
  Rec rec;
  for (uint32_t pos = 0; rec_at(r, pos, &rec) && rec.code != 0x0001 && !is_cell(r, rec.code); pos = rec.next) {
    const uint8_t* d = rec.d;
    WksName n;
    if (!r->wk3 && (rec.code == 0x000B || rec.code == 0x0047) && rec.len >= 24) {
      if (std::memchr(d, 0, 16) == nullptr) continue;
      n.name = reinterpret_cast<const char*>(d);
      n.first_column = u16(d + 16), n.first_row = u16(d + 18), n.last_column = u16(d + 20), n.last_row = u16(d + 22);
    } else if (r->wk3 && rec.code == 0x0009 && rec.len >= 26) {
      if (std::memchr(d + 2, 0, 16) == nullptr) continue;
      n.name = reinterpret_cast<const char*>(d + 2);
      n.first_row = u16(d + 18), n.first_sheet = d[20], n.first_column = d[21];
      n.last_row = u16(d + 22), n.last_sheet = d[24], n.last_column = d[25];
    } else {
      continue;
    }
    if (n.name == text) *out = n, found = true;
  }
  r->last_error = 0;
  return found;
}

// An optional WK3 sheet prefix: one letter and ":".
const char* sheet_prefix(const WksReader* r, const char* p, int32_t* sheet) {
  if (!r->wk3) return p;
  const char c = static_cast<char>(p[0] >= 'a' && p[0] <= 'z' ? p[0] - 32 : p[0]);
  if (c >= 'A' && c <= 'Z' && p[1] == ':') {
    *sheet = c - 'A';
    return p + 2;
  }
  return p;
}

}  // namespace

int16_t wks_resolve_range(WksReader* r, const char* text, WksRange* out) {
  WksName n;
  bool found = false;
  for (const WksName& s : r->names) {
    if (s.synthetic && s.name == text) n = s, found = true;
  }
  if (!found) found = scan_name(r, text, &n);
  if (found) {
    *out = {n.first_column, n.first_row, n.last_column, n.last_row, n.first_sheet, n.last_sheet};
  } else {
    int32_t s1 = r->sheet, s2 = -1;
    const char* p = sheet_prefix(r, text, &s1);
    int32_t r1, c1, r2, c2;
    p = cellref_parse(p, &r1, &c1);
    if (p == nullptr) return kErrRangeNotFound;
    if (*p == '\0') {
      r2 = r1, c2 = c1, s2 = s1;
    } else {
      if (*p == ':') ++p;
      else if (p[0] == '.' && p[1] == '.') p += 2;
      else return kErrRangeNotFound;
      s2 = s1;
      p = sheet_prefix(r, p, &s2);
      if (cellref_parse(p, &r2, &c2) == nullptr) return kErrRangeNotFound;
    }
    *out = {c1, r1, c2, r2, s1, s2};
  }
  return out->first_sheet != out->last_sheet ? kErrRangeSheets : 0;
}

bool wks_select_sheet(WksReader* r, int32_t sheet, int32_t last_row) {
  r->sheet = sheet;
  r->cells.clear();
  r->row_runs.clear();
  r->default_format = 0x7F;
  Rec rec;
  int32_t prev_sheet = -1, prev_row = -1, prev_col = -1;
  size_t runs = 0;
  for (uint32_t pos = 0; rec_at(r, pos, &rec) && rec.code != 0x0001; pos = rec.next) {
    if (r->wk3 && rec.code == 0x0013 && rec.len >= 4 && rec.d[0] == sheet) {
      const uint8_t* d = rec.d;
      const int32_t row = u16(d + 2);
      if (d[1] == 1 && rec.len >= 5) {
        r->default_format = d[4];
      } else if ((d[1] == 0 || d[1] == 2) && row <= last_row) {
        if (static_cast<size_t>(row) >= r->row_runs.size()) r->row_runs.resize(static_cast<size_t>(row) + 1);
        auto& mine = r->row_runs[static_cast<size_t>(row)];
        mine.clear();
        if (d[1] == 2) {
          if (rec.len >= 8 && u16(d + 4) == sheet && u16(d + 6) < r->row_runs.size())
            mine = r->row_runs[u16(d + 6)];
        } else {
          for (size_t at = 4; at + 4 <= rec.len;) {
            const uint8_t format = d[at] & 0x7F;
            int32_t count = 1;
            if (d[at + 3] & 0x80) {
              if (at + 5 > rec.len) break;
              count = d[at + 4] + 1;
              at += 5;
            } else {
              at += 4;
            }
            mine.emplace_back(format, count);
          }
        }
        runs += mine.size() + 1;
        if (runs > kMaxRuns) {
          r->last_error = 0;
          return false;
        }
      }
      continue;
    }
    if (!is_cell(r, rec.code)) continue;
    int32_t s, row, col;
    if (!cell_place(r, rec, &s, &row, &col)) continue;
    if (r->wk3 && s < prev_sheet) {
      r->last_error = kWksOutOfOrder;
      break;
    }
    if (s == sheet && s == prev_sheet && (row < prev_row || (row == prev_row && col < prev_col))) {
      r->last_error = kWksOutOfOrder;
      break;
    }
    prev_sheet = s, prev_row = row, prev_col = col;
    if (s == sheet) r->cells.push_back({row, col, rec.pos});
  }
  r->last_error = 0;
  return true;
}

const WksCell* wks_find_cell(const WksReader* r, int32_t column, int32_t row) {
  const auto& c = r->cells;
  auto it = std::lower_bound(c.begin(), c.end(), std::make_pair(row, column), [](const WksCell& e, const auto& key) {
    return e.row < key.first || (e.row == key.first && e.column < key.second);
  });
  if (it == c.end() || it->row != row || it->column != column) return nullptr;
  return &*it;
}

const Value* wks_cell_value(WksReader* r, const WksCell* cell) {
  Value& v = r->value;
  std::memset(&v, 0, sizeof v);
  r->text[0] = '\0';
  Rec c;
  if (cell == nullptr || !rec_at(r, cell->pos, &c)) {
    r->last_error = 0;
    return &v;
  }
  const uint8_t* d = c.d;
  Rec str;
  double x = 0;
  bool number = false, integer = false, is_date = false;
  if (!r->wk3) {
    is_date = date_code(d[0]);
    switch (c.code) {
      case 0x000D:
        if (c.len >= 7) x = static_cast<int16_t>(u16(d + 5)), number = integer = true;
        break;
      case 0x000E:
        if (c.len >= 13) x = f64(d + 5), number = true;
        break;
      case 0x000F: set_text(r, record_text(c, 6, 511)); break;
      case 0x0010:
        if (string_after(r, c, &str)) set_text(r, record_text(str, 5, 511));
        else if (c.len >= 13) x = f64(d + 5), number = true;
        break;
      case 0x0033: set_text(r, record_text(c, 5, 511)); break;
      default: break;
    }
  } else {
    const uint8_t format = wk3_format(r, cell->row, cell->column);
    is_date = date_code(format);
    switch (c.code) {
      case 0x0016: set_text(r, record_text(c, 5, 511)); break;
      case 0x0017:
        if (c.len >= 14 && ext80_to_double(d + 4, &x)) number = true;
        break;
      case 0x0018:
        if (c.len >= 6) {
          const int16_t w = static_cast<int16_t>(u16(d + 4));
          static const double kFactor[] = {5000, 500, 0.05, 0.005, 0.0005, 0.00005, 0.0625, 0.015625};
          if (w & 1) x = (w >> 4) * kFactor[(w >> 1) & 7];
          else x = w >> 1, integer = true;
          number = true;
        }
        break;
      case 0x0019:
        if (!is_date && string_after(r, c, &str)) set_text(r, record_text(str, 4, 511));
        else if (c.len >= 14 && ext80_to_double(d + 4, &x)) number = true;
        break;
      case 0x001A: set_text(r, record_text(c, 4, 511)); break;
      default: break;
    }
  }
  if (!number || all_ones_exponent(x)) return &v;
  if (is_date) {
    const double day = std::trunc(x);
    if (std::fabs(day) > 2958465) return &v;
    v.type = VALUE_DATE;
    v.u.date = lotus_serial_to_date(static_cast<int32_t>(day));
  } else if (integer) {
    v.type = VALUE_SMALLINT;
    v.u.s = static_cast<int16_t>(x);
  } else {
    v.type = VALUE_FLOAT;
    v.u.d = x;
  }
  return &v;
}

void wks_cell_type_width(WksReader* r, const WksCell* cell, int32_t* type, int32_t* width, int32_t* decimals) {
  *type = 0, *width = 0, *decimals = 0;
  Rec c, str;
  if (!rec_at(r, cell->pos, &c)) {
    r->last_error = 0;
    return;
  }
  if (!r->wk3) {
    const uint8_t f = c.d[0];
    if (c.code == 0x000D) {
      if (date_code(f)) *type = VALUE_DATE, *width = 10;
      else *type = VALUE_SMALLINT, *width = 6;
    } else if (c.code == 0x000E || c.code == 0x0010) {
      if (c.code == 0x0010 && string_after(r, c, &str)) {
        *type = VALUE_CHAR, *width = static_cast<int32_t>(record_text(str, 5, 254).size());
      } else if (f == 0x7F) {
        *type = VALUE_FLOAT, *width = 10;
      } else if (((f >> 4) & 7) == 7) {
        *type = date_code(f) ? VALUE_DATE : VALUE_FLOAT, *width = 10;
      } else {
        *type = VALUE_DECIMAL, *width = 10, *decimals = f & 15;
      }
    } else {
      *type = VALUE_CHAR, *width = static_cast<int32_t>(record_text(c, 6, 254).size());
    }
    return;
  }
  const uint8_t f = wk3_format(r, cell->row, cell->column);
  switch (c.code) {
    case 0x0016: *type = VALUE_CHAR, *width = static_cast<int32_t>(record_text(c, 5, 254).size()); break;
    case 0x0018:
      *type = format_kind(f, decimals);
      *width = *type == VALUE_DATE ? 10 : 6;
      break;
    case 0x0017: case 0x0019:
      if (c.code == 0x0019 && string_after(r, c, &str)) {
        *type = VALUE_CHAR, *width = static_cast<int32_t>(record_text(str, 4, 254).size());
      } else {
        *type = format_kind(f, decimals);
        *width = 10;
      }
      break;
    default: break;
  }
}

int32_t wks_merge_column_type(int32_t column, int32_t cell) {
  switch (cell) {
    case 0: return column;
    case VALUE_DECIMAL: return column == VALUE_CHAR || column == VALUE_FLOAT ? column : VALUE_DECIMAL;
    case VALUE_SMALLINT:
      if (column == 0 || column == VALUE_SMALLINT) return VALUE_SMALLINT;
      return column == VALUE_DATE ? VALUE_CHAR : column;
    case VALUE_DATE: return column == 0 || column == VALUE_DATE ? VALUE_DATE : VALUE_CHAR;
    case VALUE_FLOAT: return column == VALUE_CHAR ? column : VALUE_FLOAT;
    default: return VALUE_CHAR;
  }
}

// ---- driver ------------------------------------------------------------------

namespace {

SheetOptions* opts(StorageDesc* s) { return std::get_if<SheetOptions>(&s->options); }
WksReader* reader_of(StorageDesc* s) {
  SheetOptions* o = opts(s);
  return o != nullptr ? static_cast<WksReader*>(o->reader) : nullptr;
}

const char* range_label(const SheetOptions* o) { return o->range.empty() ? kEntireWorksheet : o->range.c_str(); }

void report(StorageDesc* s, const WksReader* r) {
  if (err_count() == 0) wks_report_file_error(s->data_file, r != nullptr ? r->last_error : 0);
}

// Opens the reader and finds the range (with title rows for the default
// one); false with an error pushed or the reader's error kept.
bool load_range(StorageDesc* s, WksReader* r, WksRange* range, int32_t* width) {
  SheetOptions* o = opts(s);
  if (!wks_reader_open(r, s->data_file, 1)) return false;
  WksRange active;
  const bool has_active = wks_active_range(r, &active);
  int32_t title_columns = 0, title_rows = 0;
  wks_window_settings(r, &title_columns, &title_rows, width);
  r->names.clear();
  if (!o->range.empty()) {
    if (r->wk3 && has_active) wks_add_sheet_names(r, active);
    const int16_t e = wks_resolve_range(r, o->range.c_str(), range);
    if (e != 0) {
      err_push(4, e, o->range.c_str(), nullptr);
      return false;
    }
  } else {
    if (!has_active) {
      r->last_error = kWksNotLotus;
      return false;
    }
    *range = active;
    range->last_sheet = range->first_sheet;
    range->first_row = title_rows;
  }
  const int64_t columns = static_cast<int64_t>(range->last_column) - range->first_column + 1;
  if (range->last_column < range->first_column || columns > kMaxColumns || range->last_row < range->first_row) {
    err_push(4, kErrRangeTooWide, range_label(o), nullptr);
    return false;
  }
  r->range = *range;
  if (!wks_select_sheet(r, range->first_sheet, range->last_row)) {
    err_push(4, kErrNumberFormats, nullptr, nullptr);
    return false;
  }
  return true;
}

void store_range(StorageDesc* s, const WksRange& range) {
  SheetOptions* o = opts(s);
  o->first_column = range.first_column;
  o->first_row = range.first_row;
  s->row_count = range.last_row - range.first_row + 1;
}

WksReader* ensure_reader(StorageDesc* s) {
  SheetOptions* o = opts(s);
  if (o == nullptr) return nullptr;
  if (o->reader == nullptr) {
    try {
      o->reader = new WksReader;
    } catch (const std::bad_alloc&) {
      err_push(4, kErrReaderMemory, nullptr, nullptr);
      return nullptr;
    }
  }
  return static_cast<WksReader*>(o->reader);
}

void infer_columns(StorageDesc* s, WksReader* r, const WksRange& range, int32_t default_width, FieldDef* fields) {
  SheetOptions* o = opts(s);
  const int32_t n = range.last_column - range.first_column + 1;
  std::vector<int32_t> types(static_cast<size_t>(n), 0), widths(static_cast<size_t>(n), default_width > 0 ? default_width : 1),
      decimals(static_cast<size_t>(n), 0);
  // Column widths: WK3's width record of the sheet, WKS/WK1 COLW1.
  Rec rec;
  for (uint32_t pos = 0; rec_at(r, pos, &rec) && rec.code != 0x0001; pos = rec.next) {
    if (r->wk3 && rec.code == 0x0007 && rec.len >= 1 && rec.d[0] == range.first_sheet) {
      for (size_t at = 12; at + 4 <= rec.len; at += 4) {
        const int32_t col = rec.d[at];
        if (col >= range.first_column && col <= range.last_column) widths[static_cast<size_t>(col - range.first_column)] = rec.d[at + 1];
      }
    } else if (!r->wk3 && rec.code == 0x0008 && rec.len >= 3) {
      const int32_t col = u16(rec.d);
      if (col >= range.first_column && col <= range.last_column) widths[static_cast<size_t>(col - range.first_column)] = rec.d[2];
    }
  }
  r->last_error = 0;
  for (int32_t i = 0; i < n; ++i) str_copy_n(fields[i].name, wks_column_letters(range.first_column + i).c_str(), kTableNameSize);
  const std::vector<WksCell> cells = r->cells;
  for (const WksCell& c : cells) {
    if (c.column < range.first_column || c.column > range.last_column) continue;
    const auto k = static_cast<size_t>(c.column - range.first_column);
    if (o->titles && c.row == static_cast<int64_t>(range.first_row) - 1) {
      const Value* v = wks_cell_value(r, &c);
      char name[64] = {};
      if (v->type == VALUE_FLOAT) std::snprintf(name, sizeof name, "%g", v->u.d);
      else if (v->type == VALUE_SMALLINT) std::snprintf(name, sizeof name, "%d", v->u.s);
      else if (v->type == VALUE_CHAR_REF) str_copy_n(name, v->u.ref, 32);
      column_name_sanitize(name);
      if (name[0] != '\0') str_copy_n(fields[k].name, name, kTableNameSize);
      continue;
    }
    if (c.row < range.first_row || c.row > range.last_row) continue;
    int32_t type, width, dec;
    wks_cell_type_width(r, &c, &type, &width, &dec);
    types[k] = wks_merge_column_type(types[k], type);
    if (type == VALUE_DECIMAL && dec > decimals[k]) decimals[k] = dec;
    if (width > widths[k]) widths[k] = width;
  }
  for (int32_t i = 0; i < n; ++i) {
    const auto k = static_cast<size_t>(i);
    int32_t type = types[k], width = std::min(widths[k], 254), dec = type == VALUE_DECIMAL ? decimals[k] : 0;
    if (type == 0) type = VALUE_CHAR, width = 1;
    if (type == VALUE_DECIMAL && width > 19) type = VALUE_FLOAT, width = 1, dec = 0;
    if (width < 1) width = 1;
    value_init(&fields[i].value, type, nullptr);
    fields[i].width = static_cast<uint8_t>(width);
    fields[i].decimals = static_cast<uint8_t>(dec);
  }
}

}  // namespace

int16_t wks_create(StorageDesc*, FieldDef*) { return 0; }

int16_t wks_open(StorageDesc* s, FieldDef*) {
  SheetOptions* o = opts(s);
  WksReader* r = ensure_reader(s);
  if (o == nullptr || r == nullptr) return 0;
  WksRange range;
  int32_t width = 0;
  bool ok = load_range(s, r, &range, &width);
  if (!ok) report(s, r);
  if (ok && s->field_count != range.last_column - range.first_column + 1) {
    err_push(4, kErrRangeColumns, range_label(o), nullptr);
    ok = false;
  }
  if (ok) {
    store_range(s, range);
    ok = sheet_hold_open(s);
  }
  wks_reader_close(r);
  return ok ? 1 : 0;
}

int16_t wks_describe(StorageDesc* s, FieldDef** out, int32_t* count) {
  *out = nullptr;
  *count = 0;
  WksReader* r = ensure_reader(s);
  if (r == nullptr) return 0;
  WksRange range;
  int32_t width = 0;
  const bool ok = load_range(s, r, &range, &width);
  wks_reader_close(r);
  if (!ok) {
    report(s, r);
    return 0;
  }
  const int32_t n = range.last_column - range.first_column + 1;
  FieldDef* fields = fieldlist_new(n);
  if (fields == nullptr) return 0;
  infer_columns(s, r, range, width, fields);
  store_range(s, range);
  s->field_count = n;
  *out = fields;
  *count = n;
  return 1;
}

int16_t wks_begin_access(StorageDesc* s, int16_t mode, int16_t*) {
  WksReader* r = reader_of(s);
  if (r == nullptr) return 0;
  if (!wks_reader_open(r, s->data_file, mode)) {
    report(s, r);
    return 0;
  }
  return 1;
}

int16_t wks_end_access(StorageDesc* s) {
  if (WksReader* r = reader_of(s)) wks_reader_close(r);
  return 1;
}

int16_t wks_read_row(StorageDesc* s, int32_t n, FieldDef* fields, int16_t*) {
  SheetOptions* o = opts(s);
  WksReader* r = reader_of(s);
  if (o == nullptr || r == nullptr) return 0;
  const int64_t row = static_cast<int64_t>(o->first_row) + n - 1;
  for (int32_t i = 0; i < s->field_count; ++i) {
    const WksCell* c = n >= 1 && row <= INT32_MAX ? wks_find_cell(r, o->first_column + i, static_cast<int32_t>(row)) : nullptr;
    sheet_store_cell(&fields[i].value, c != nullptr ? wks_cell_value(r, c) : nullptr);
  }
  s->current_row = n;
  return 1;
}

int16_t wks_batch_begin(StorageDesc* s) { return sheet_hold_open(s) ? 1 : 0; }

int16_t wks_batch_end(StorageDesc* s) { return sheet_release_held(s); }

int16_t wks_close(StorageDesc* s) {
  wks_batch_end(s);
  if (SheetOptions* o = opts(s)) {
    auto* r = static_cast<WksReader*>(o->reader);
    if (r != nullptr) wks_reader_close(r);
    delete r;
    o->reader = nullptr;
  }
  return 1;
}

const TabTypeDriver* wks_driver() {
  static constexpr TabTypeDriver kDriver = {wks_create,     wks_open,  wks_describe,  wks_begin_access,
                                            wks_end_access, wks_close, wks_read_row,  nullptr,
                                            nullptr,        nullptr,   wks_batch_begin, wks_batch_end};
  return &kDriver;
}
