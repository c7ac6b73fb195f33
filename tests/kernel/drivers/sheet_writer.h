// Writers of spreadsheet files for tests, benchmarks and fuzz seeds: BIFF2
// to BIFF8 record streams (raw, or wrapped in a compound-document container
// with 512- or 4096-byte sectors) and Lotus WKS, WK1 and WK3 files. Every
// byte is written from the record layouts; nothing here reads.
#pragma once
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sheetgen {

using Bytes = std::vector<uint8_t>;

inline void put8(Bytes& b, unsigned v) { b.push_back(static_cast<uint8_t>(v)); }
inline void put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
inline void put64(Bytes& b, uint64_t v) {
  put32(b, static_cast<uint32_t>(v));
  put32(b, static_cast<uint32_t>(v >> 32));
}
inline void putf64(Bytes& b, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  put64(b, bits);
}
inline void putstr(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
inline void put_u16s(Bytes& b, const std::u16string& s) {
  for (char16_t c : s) put16(b, c);
}
inline void patch32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// RK words.
inline uint32_t rk_int(int32_t v, bool div100 = false) { return (static_cast<uint32_t>(v) << 2) | 2u | (div100 ? 1u : 0u); }
inline uint32_t rk_double(double d, bool div100 = false) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return (static_cast<uint32_t>(bits >> 32) & 0xFFFFFFFCu) | (div100 ? 1u : 0u);
}

// A BIFF record stream of one version (2, 3, 4, 5 or 8).
struct Biff {
  int v;
  Bytes s;
  explicit Biff(int version) : v(version) {}

  size_t rec(uint16_t code, const Bytes& d) {
    const size_t at = s.size();
    put16(s, code);
    put16(s, static_cast<unsigned>(d.size()));
    s.insert(s.end(), d.begin(), d.end());
    return at;
  }
  // BOF: globals (0x0005) for BIFF5 and BIFF8 workbooks, else a worksheet.
  size_t bof(uint16_t type) {
    Bytes d;
    switch (v) {
      case 2: put16(d, 2), put16(d, 0x0010); return rec(0x0009, d);
      case 3: put16(d, 0), put16(d, 0x0010), put16(d, 0); return rec(0x0209, d);
      case 4: put16(d, 0), put16(d, 0x0010), put16(d, 0); return rec(0x0409, d);
      case 5: put16(d, 0x0500), put16(d, type), put16(d, 0), put16(d, 1993); return rec(0x0809, d);
      default:
        put16(d, 0x0600), put16(d, type), put16(d, 0x0DBB), put16(d, 0x07CC), put32(d, 0), put32(d, 6);
        return rec(0x0809, d);
    }
  }
  void eof() { rec(0x000A, {}); }
  void dimensions(uint32_t r0, uint32_t r1x, uint16_t c0, uint16_t c1x) {
    Bytes d;
    if (v == 8) put32(d, r0), put32(d, r1x);
    else put16(d, r0), put16(d, r1x);
    put16(d, c0), put16(d, c1x);
    if (v >= 3) put16(d, 0);
    rec(v == 2 ? 0x0000 : 0x0200, d);
  }
  // Cell head: row, column and the format (BIFF2: three attribute bytes,
  // the format index in the second's low six bits; later: the XF index).
  Bytes head(uint16_t row, uint16_t col, uint16_t xf) const {
    Bytes d;
    put16(d, row), put16(d, col);
    if (v == 2) put8(d, 0), put8(d, xf & 0x3F), put8(d, 0);
    else put16(d, xf);
    return d;
  }
  void number(uint16_t row, uint16_t col, uint16_t xf, double x) {
    Bytes d = head(row, col, xf);
    putf64(d, x);
    rec(v == 2 ? 0x0003 : 0x0203, d);
  }
  void integer(uint16_t row, uint16_t col, uint16_t xf, uint16_t x) {  // BIFF2
    Bytes d = head(row, col, xf);
    put16(d, x);
    rec(0x0002, d);
  }
  void rk(uint16_t row, uint16_t col, uint16_t xf, uint32_t word) {
    Bytes d = head(row, col, xf);
    put32(d, word);
    rec(0x027E, d);
  }
  void blank(uint16_t row, uint16_t col, uint16_t xf) { rec(v == 2 ? 0x0001 : 0x0201, head(row, col, xf)); }
  void boolerr(uint16_t row, uint16_t col, uint16_t xf, uint8_t value, uint8_t error) {
    Bytes d = head(row, col, xf);
    put8(d, value), put8(d, error);
    rec(v == 2 ? 0x0005 : 0x0205, d);
  }
  // LABEL: bytes for BIFF2-5, UTF-16 for BIFF8 (8-bit form when all fit).
  void label(uint16_t row, uint16_t col, uint16_t xf, const std::string& bytes) {
    Bytes d = head(row, col, xf);
    if (v == 2) put8(d, static_cast<unsigned>(bytes.size()));
    else put16(d, static_cast<unsigned>(bytes.size()));
    putstr(d, bytes);
    rec(v == 2 ? 0x0004 : 0x0204, d);
  }
  void label8(uint16_t row, uint16_t col, uint16_t xf, const std::u16string& text, bool rstring = false) {
    Bytes d = head(row, col, xf);
    xlstring16(d, text);
    if (rstring) put16(d, 0);
    rec(rstring ? 0x00D6 : 0x0204, d);
  }
  static void xlstring16(Bytes& d, const std::u16string& text) {
    bool narrow = true;
    for (char16_t c : text) narrow = narrow && c < 256;
    put16(d, static_cast<unsigned>(text.size()));
    put8(d, narrow ? 0 : 1);
    for (char16_t c : text) narrow ? put8(d, c) : put16(d, c);
  }
  void labelsst(uint16_t row, uint16_t col, uint16_t xf, uint32_t index) {
    Bytes d = head(row, col, xf);
    put32(d, index);
    rec(0x00FD, d);
  }
  void mulrk(uint16_t row, uint16_t col, const std::vector<std::pair<uint16_t, uint32_t>>& entries) {
    Bytes d;
    put16(d, row), put16(d, col);
    for (const auto& e : entries) put16(d, e.first), put32(d, e.second);
    put16(d, static_cast<unsigned>(col + entries.size() - 1));
    rec(0x00BD, d);
  }
  void mulblank(uint16_t row, uint16_t col, uint16_t count, uint16_t xf) {
    Bytes d;
    put16(d, row), put16(d, col);
    for (uint16_t i = 0; i < count; ++i) put16(d, xf);
    put16(d, static_cast<unsigned>(col + count - 1));
    rec(0x00BE, d);
  }
  // FORMULA with a result: a number, or the special forms (type byte, value).
  uint16_t formula_code() const { return v == 2 ? 0x0006 : v == 3 ? 0x0206 : v == 4 ? 0x0406 : 0x0006; }
  void formula_number(uint16_t row, uint16_t col, uint16_t xf, double x) {
    Bytes d = head(row, col, xf);
    putf64(d, x);
    formula_tail(d);
  }
  void formula_special(uint16_t row, uint16_t col, uint16_t xf, uint8_t type, uint8_t value) {
    Bytes d = head(row, col, xf);
    put8(d, type), put8(d, 0), put8(d, value), put8(d, 0), put8(d, 0), put8(d, 0), put8(d, 0xFF), put8(d, 0xFF);
    formula_tail(d);
  }
  void formula_tail(Bytes& d) {
    if (v == 2) put8(d, 0), put8(d, 1), put8(d, 0x1E);      // flags, size, an integer token
    else put16(d, 0), (v >= 5 ? put32(d, 0) : void()), put16(d, 3), put8(d, 0x1E), put16(d, 0);
    rec(formula_code(), d);
  }
  void string_result(const std::string& bytes) {
    Bytes d;
    if (v == 2) {
      put8(d, static_cast<unsigned>(bytes.size()));
      putstr(d, bytes);
      rec(0x0007, d);
      return;
    }
    put16(d, static_cast<unsigned>(bytes.size()));
    if (v == 8) put8(d, 0);
    putstr(d, bytes);
    rec(0x0207, d);
  }
  void format(uint16_t index, const std::string& text) {
    Bytes d;
    if (v <= 3) {
      put8(d, static_cast<unsigned>(text.size()));
      putstr(d, text);
      rec(0x001E, d);
    } else if (v == 4) {
      put16(d, 0), put8(d, static_cast<unsigned>(text.size()));
      putstr(d, text);
      rec(0x041E, d);
    } else if (v == 5) {
      put16(d, index), put8(d, static_cast<unsigned>(text.size()));
      putstr(d, text);
      rec(0x041E, d);
    } else {
      put16(d, index), put16(d, static_cast<unsigned>(text.size())), put8(d, 0);
      putstr(d, text);
      rec(0x041E, d);
    }
  }
  void xf(uint16_t format_index) {
    Bytes d(v <= 4 ? 12 : v == 5 ? 16 : 20, 0);
    if (v <= 4) {
      d[1] = static_cast<uint8_t>(format_index);
    } else {
      d[2] = static_cast<uint8_t>(format_index), d[3] = static_cast<uint8_t>(format_index >> 8);
    }
    rec(v == 3 ? 0x0243 : v == 4 ? 0x0443 : 0x00E0, d);
  }
  void u16rec(uint16_t code, uint16_t value) {
    Bytes d;
    put16(d, value);
    rec(code, d);
  }
  // NAME with option flags 0: text (8-bit) and formula bytes.
  void name(const std::string& text, const Bytes& formula, uint16_t flags = 0) {
    Bytes d;
    put16(d, flags);
    put8(d, 0);
    put8(d, static_cast<unsigned>(text.size()));
    if (v == 2) {
      put8(d, static_cast<unsigned>(formula.size()));
      putstr(d, text);
    } else {
      put16(d, static_cast<unsigned>(formula.size()));
      if (v >= 5) {
        d.resize(14, 0);
        if (v == 8) put8(d, 0);
      }
      putstr(d, text);
    }
    d.insert(d.end(), formula.begin(), formula.end());
    rec(v == 2 ? 0x0018 : v <= 4 ? 0x0218 : 0x0018, d);
  }
  // BOUNDSHEET of a worksheet; answers where its BOF position goes.
  size_t boundsheet(const std::string& sheet_name, uint8_t kind = 0) {
    Bytes d;
    put32(d, 0), put8(d, 0), put8(d, kind), put8(d, static_cast<unsigned>(sheet_name.size()));
    if (v == 8) put8(d, 0);
    putstr(d, sheet_name);
    return rec(0x0085, d) + 4;
  }
  size_t boundsheet16(const std::u16string& sheet_name) {
    Bytes d;
    put32(d, 0), put8(d, 0), put8(d, 0), put8(d, static_cast<unsigned>(sheet_name.size())), put8(d, 1);
    put_u16s(d, sheet_name);
    return rec(0x0085, d) + 4;
  }
  // BIFF8: the internal SUPBOOK and an EXTERNSHEET of (supbook, first, last).
  void supbook_internal(uint16_t sheets) {
    Bytes d;
    put16(d, sheets), put16(d, 0x0401);
    rec(0x01AE, d);
  }
  void externsheet(const std::vector<std::array<uint16_t, 3>>& refs);
  // SST: the strings, split into CONTINUE records after the given numbers
  // of character of the string at index split_string (8224-byte limit kept).
  void sst(const std::vector<std::u16string>& strings, int split_string = -1, size_t split_at = 0, bool wide_tail = false);
};

inline void Biff::externsheet(const std::vector<std::array<uint16_t, 3>>& refs) {
  Bytes d;
  put16(d, static_cast<unsigned>(refs.size()));
  for (const auto& r : refs) put16(d, r[0]), put16(d, r[1]), put16(d, r[2]);
  rec(0x0017, d);
}

inline void Biff::sst(const std::vector<std::u16string>& strings, int split_string, size_t split_at, bool wide_tail) {
  Bytes d;
  put32(d, static_cast<uint32_t>(strings.size())), put32(d, static_cast<uint32_t>(strings.size()));
  std::vector<Bytes> continues;
  Bytes* cur = &d;
  for (size_t i = 0; i < strings.size(); ++i) {
    const std::u16string& t = strings[i];
    bool narrow = true;
    for (char16_t c : t) narrow = narrow && c < 256;
    put16(*cur, static_cast<unsigned>(t.size()));
    put8(*cur, narrow ? 0 : 1);
    for (size_t k = 0; k < t.size(); ++k) {
      if (static_cast<int>(i) == split_string && k == split_at) {
        continues.emplace_back();
        cur = &continues.back();
        narrow = !wide_tail;
        put8(*cur, narrow ? 0 : 1);
      }
      narrow ? put8(*cur, t[k]) : put16(*cur, t[k]);
    }
  }
  rec(0x00FC, d);
  for (const Bytes& c : continues) rec(0x003C, c);
}

// A workbook (BIFF5 or BIFF8): globals written by the first callback, one
// BOUNDSHEET per sheet, then each sheet's BOF, records and EOF.
struct SheetBody {
  std::string name;
  std::function<void(Biff&)> write;
};
inline Bytes workbook(int version, const std::function<void(Biff&)>& globals, const std::vector<SheetBody>& sheets,
                      const std::function<void(Biff&)>& after_sheets = nullptr) {
  Biff b(version);
  b.bof(0x0005);
  if (globals) globals(b);
  std::vector<size_t> slots;
  for (const SheetBody& s : sheets) slots.push_back(b.boundsheet(s.name));
  if (after_sheets) after_sheets(b);
  b.eof();
  for (size_t i = 0; i < sheets.size(); ++i) {
    patch32(b.s, slots[i], static_cast<uint32_t>(b.s.size()));
    b.bof(0x0010);
    sheets[i].write(b);
    b.eof();
  }
  return b.s;
}

// A one-sheet BIFF2, 3 or 4 file.
inline Bytes worksheet(int version, const std::function<void(Biff&)>& body) {
  Biff b(version);
  b.bof(0x0010);
  body(b);
  b.eof();
  return b.s;
}

// ---- compound-document container ----------------------------------------

// The stream under the root as `name`, beside an empty stream "Other";
// shift 9 or 12. A stream under the 4096-byte cutoff goes to the mini
// stream, a longer one to regular sectors.
inline Bytes container(const Bytes& stream, const std::string& name, int shift = 9) {
  const uint32_t ss = 1u << shift;
  const uint32_t kEnd = 0xFFFFFFFEu, kFree = 0xFFFFFFFFu, kFatSect = 0xFFFFFFFDu, kDifSect = 0xFFFFFFFCu;
  const bool mini = stream.size() < 4096;
  auto ceil_div = [](uint64_t a, uint64_t b) { return static_cast<uint32_t>((a + b - 1) / b); };
  const uint32_t data_secs = mini ? ceil_div(ceil_div(stream.size(), 64) * 64ull, ss) : ceil_div(stream.size(), ss);
  const uint32_t minifat_secs = mini ? ceil_div(ceil_div(stream.size(), 64) * 4ull, ss) : 0;
  const uint32_t dir_secs = 1;
  uint32_t fat_secs = 1, difat_secs = 0;
  for (;;) {
    const uint32_t total = fat_secs + difat_secs + dir_secs + minifat_secs + data_secs;
    const uint32_t need_fat = ceil_div(total * 4ull, ss);
    const uint32_t need_difat = need_fat > 109 ? ceil_div(need_fat - 109, ss / 4 - 1) : 0;
    if (need_fat == fat_secs && need_difat == difat_secs) break;
    fat_secs = need_fat, difat_secs = need_difat;
  }
  // Sector order: FAT, DIFAT, directory, mini FAT, data.
  const uint32_t difat0 = fat_secs, dir0 = difat0 + difat_secs, minifat0 = dir0 + dir_secs, data0 = minifat0 + minifat_secs;
  const uint32_t total = data0 + data_secs;
  std::vector<uint32_t> fat(static_cast<size_t>(fat_secs) * (ss / 4), kFree);
  for (uint32_t i = 0; i < fat_secs; ++i) fat[i] = kFatSect;
  for (uint32_t i = 0; i < difat_secs; ++i) fat[difat0 + i] = kDifSect;
  auto chain = [&](uint32_t first, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) fat[first + i] = i + 1 < n ? first + i + 1 : kEnd;
  };
  chain(dir0, dir_secs);
  chain(minifat0, minifat_secs);
  chain(data0, data_secs);
  Bytes out;
  // Header.
  const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  out.insert(out.end(), sig, sig + 8);
  out.resize(24, 0);
  put16(out, 0x3E), put16(out, shift == 12 ? 4 : 3), put16(out, 0xFFFE), put16(out, static_cast<unsigned>(shift)), put16(out, 6);
  out.resize(40, 0);
  put32(out, shift == 12 ? dir_secs : 0), put32(out, fat_secs), put32(out, dir0), put32(out, 0), put32(out, 4096);
  put32(out, mini ? minifat0 : kEnd), put32(out, minifat_secs), put32(out, difat_secs ? difat0 : kEnd), put32(out, difat_secs);
  for (uint32_t i = 0; i < 109; ++i) put32(out, i < fat_secs ? i : kFree);
  out.resize(ss, 0);
  // FAT sectors.
  for (uint32_t e : fat) put32(out, e);
  // DIFAT sectors.
  uint32_t next_fat = 109;
  for (uint32_t k = 0; k < difat_secs; ++k) {
    for (uint32_t i = 0; i < ss / 4 - 1; ++i) put32(out, next_fat < fat_secs ? next_fat++ : kFree);
    put32(out, k + 1 < difat_secs ? difat0 + k + 1 : kEnd);
  }
  // Directory: root, the stream, an empty stream as its left sibling.
  auto entry = [&](const std::string& n, uint8_t type, uint32_t left, uint32_t right, uint32_t child, uint32_t start,
                   uint64_t size) {
    Bytes e;
    for (char c : n) put16(e, static_cast<uint8_t>(c));
    e.resize(64, 0);
    put16(e, static_cast<unsigned>(2 * n.size() + 2)), put8(e, type), put8(e, 1), put32(e, left), put32(e, right),
        put32(e, child);
    e.resize(116, 0);
    put32(e, start), put64(e, size);
    out.insert(out.end(), e.begin(), e.end());
  };
  const uint64_t mini_bytes = mini ? ceil_div(stream.size(), 64) * 64ull : 0;
  entry("Root Entry", 5, kFree, kFree, 1, mini ? data0 : kEnd, mini_bytes);
  entry(name, 2, 2, kFree, kFree, mini ? (stream.empty() ? kEnd : 0) : data0, stream.size());
  entry("Other", 2, kFree, kFree, kFree, kEnd, 0);
  out.resize(out.size() + 128, 0);
  for (size_t i = out.size() % ss; i != 0 && i < ss; ++i) out.push_back(0);
  // Mini FAT.
  if (mini) {
    const uint32_t n = ceil_div(stream.size(), 64);
    Bytes mf;
    for (uint32_t i = 0; i < n; ++i) put32(mf, i + 1 < n ? i + 1 : kEnd);
    mf.resize(static_cast<size_t>(minifat_secs) * ss, 0xFF);
    out.insert(out.end(), mf.begin(), mf.end());
  }
  Bytes data = stream;
  data.resize(static_cast<size_t>(data_secs) * ss, 0);
  out.insert(out.end(), data.begin(), data.end());
  (void)total;
  return out;
}

// ---- Lotus ----------------------------------------------------------------

struct Lotus {
  Bytes s;
  void rec(uint16_t code, const Bytes& d) {
    put16(s, code);
    put16(s, static_cast<unsigned>(d.size()));
    s.insert(s.end(), d.begin(), d.end());
  }
  void eof() { rec(0x0001, {}); }
  // WKS/WK1.
  void bof1(uint16_t version = 0x0406) {
    Bytes d;
    put16(d, version);
    rec(0x0000, d);
  }
  void range1(uint16_t c0, uint16_t r0, uint16_t c1, uint16_t r1) {
    Bytes d;
    put16(d, c0), put16(d, r0), put16(d, c1), put16(d, r1);
    rec(0x0006, d);
  }
  void window1(uint16_t width, uint16_t title_cols, uint16_t title_rows) {
    Bytes d(32, 0);
    d[6] = static_cast<uint8_t>(width), d[7] = static_cast<uint8_t>(width >> 8);
    d[16] = static_cast<uint8_t>(title_cols), d[18] = static_cast<uint8_t>(title_rows);
    rec(0x0007, d);
  }
  void colw1(uint16_t col, uint8_t width) {
    Bytes d;
    put16(d, col), put8(d, width);
    rec(0x0008, d);
  }
  void name1(const std::string& n, uint16_t c0, uint16_t r0, uint16_t c1, uint16_t r1, bool terminated = true) {
    Bytes d;
    putstr(d, n);
    d.resize(16, terminated ? 0 : 'X');
    put16(d, c0), put16(d, r0), put16(d, c1), put16(d, r1);
    rec(0x000B, d);
  }
  Bytes head1(uint8_t format, uint16_t col, uint16_t row) {
    Bytes d;
    put8(d, format), put16(d, col), put16(d, row);
    return d;
  }
  void integer1(uint8_t f, uint16_t col, uint16_t row, int16_t v) {
    Bytes d = head1(f, col, row);
    put16(d, static_cast<uint16_t>(v));
    rec(0x000D, d);
  }
  void number1(uint8_t f, uint16_t col, uint16_t row, double v) {
    Bytes d = head1(f, col, row);
    putf64(d, v);
    rec(0x000E, d);
  }
  void label1(uint8_t f, uint16_t col, uint16_t row, const std::string& text) {
    Bytes d = head1(f, col, row);
    put8(d, '\'');
    putstr(d, text);
    put8(d, 0);
    rec(0x000F, d);
  }
  void formula1(uint8_t f, uint16_t col, uint16_t row, double v, const std::string* str = nullptr) {
    Bytes d = head1(f, col, row);
    putf64(d, str ? 0.0 : v);
    put16(d, 1), put8(d, 3);  // size, the end token
    rec(0x0010, d);
    if (str != nullptr) {
      Bytes t = head1(f, col, row);
      putstr(t, *str);
      put8(t, 0);
      rec(0x0033, t);
    }
  }
  // WK3.
  void bof3(uint16_t r0, uint8_t s0, uint8_t c0, uint16_t r1, uint8_t s1, uint8_t c1, uint8_t group = 1) {
    Bytes d;
    put16(d, 0x1000), put16(d, 0), put16(d, r0), put8(d, s0), put8(d, c0), put16(d, r1), put8(d, s1), put8(d, c1);
    d.resize(16, 0);
    put8(d, group);
    d.resize(26, 0);
    rec(0x0000, d);
  }
  void password3() { rec(0x0002, Bytes(4, 0x55)); }
  void window3(uint8_t title_cols, uint16_t title_rows, uint8_t default_width) {
    Bytes a(16, 0);
    a[13] = title_cols, a[14] = static_cast<uint8_t>(title_rows), a[15] = static_cast<uint8_t>(title_rows >> 8);
    rec(0x0005, a);
    Bytes b(8, 0);
    b[4] = default_width;
    rec(0x0006, b);
  }
  void colwidths3(uint8_t sheet, const std::vector<std::pair<uint8_t, uint8_t>>& widths) {
    Bytes d(12, 0);
    d[0] = sheet;
    for (const auto& w : widths) put8(d, w.first), put8(d, w.second), put16(d, 0);
    rec(0x0007, d);
  }
  void name3(const std::string& n, uint16_t r0, uint8_t s0, uint8_t c0, uint16_t r1, uint8_t s1, uint8_t c1) {
    Bytes d(2, 0);
    putstr(d, n);
    d.resize(18, 0);
    put16(d, r0), put8(d, s0), put8(d, c0), put16(d, r1), put8(d, s1), put8(d, c1);
    rec(0x0009, d);
  }
  // Row formats: the sheet's default, or one row's runs (format, count).
  void default_format3(uint8_t sheet, uint8_t format) {
    Bytes d;
    put8(d, sheet), put8(d, 1), put16(d, 0), put8(d, format);
    rec(0x0013, d);
  }
  void row_format3(uint8_t sheet, uint16_t row, const std::vector<std::pair<uint8_t, uint8_t>>& runs) {
    Bytes d;
    put8(d, sheet), put8(d, 0), put16(d, row);
    for (const auto& r : runs) {
      put8(d, r.first), put8(d, 0), put8(d, 0);
      if (r.second == 1) {
        put8(d, 0);
      } else {
        put8(d, 0x80), put8(d, r.second - 1);
      }
    }
    rec(0x0013, d);
  }
  Bytes head3(uint16_t row, uint8_t sheet, uint8_t col) {
    Bytes d;
    put16(d, row), put8(d, sheet), put8(d, col);
    return d;
  }
  void label3(uint16_t row, uint8_t sheet, uint8_t col, const std::string& text) {
    Bytes d = head3(row, sheet, col);
    put8(d, '\'');
    putstr(d, text);
    put8(d, 0);
    rec(0x0016, d);
  }
  void number3(uint16_t row, uint8_t sheet, uint8_t col, const Bytes& ext80) {
    Bytes d = head3(row, sheet, col);
    d.insert(d.end(), ext80.begin(), ext80.end());
    rec(0x0017, d);
  }
  void smallnum3(uint16_t row, uint8_t sheet, uint8_t col, uint16_t word) {
    Bytes d = head3(row, sheet, col);
    put16(d, word);
    rec(0x0018, d);
  }
  void formula3(uint16_t row, uint8_t sheet, uint8_t col, const Bytes& ext80, const std::string* str = nullptr) {
    Bytes d = head3(row, sheet, col);
    d.insert(d.end(), ext80.begin(), ext80.end());
    put8(d, 3);
    rec(0x0019, d);
    if (str != nullptr) {
      Bytes t = head3(row, sheet, col);
      putstr(t, *str);
      put8(t, 0);
      rec(0x001A, t);
    }
  }
};

// A double as a 10-byte extended number (normal doubles and 0).
inline Bytes ext80(double x) {
  Bytes b;
  if (x == 0) {
    b.assign(10, 0);
    if (std::signbit(x)) b[9] = 0x80;
    return b;
  }
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  const int e = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t mant = ((bits & ((1ull << 52) - 1)) | (1ull << 52)) << 11;
  put64(b, mant);
  put16(b, static_cast<unsigned>((e - 1023 + 16383) | (x < 0 ? 0x8000 : 0)));
  return b;
}
inline Bytes ext80_raw(uint64_t mantissa, uint16_t sign_exponent) {
  Bytes b;
  put64(b, mantissa);
  put16(b, sign_exponent);
  return b;
}

}  // namespace sheetgen
