// The BIFF workbook reader (see biff.h and docs/foreign-tables.md).
#include "kernel/drivers/biff.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "kernel/drivers/foreign.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/storage/le_bytes.h"
#include "platform/cfb.h"
#include "platform/codepage.h"

namespace {

constexpr int32_t kMaxText = 254;

uint16_t u16(const uint8_t* p) { return le_get_u16(p); }
uint32_t u32(const uint8_t* p) { return le_get_u32(p); }
double f64(const uint8_t* p) { return le_get_double(p); }

struct Rec {
  uint16_t code = 0;
  uint16_t len = 0;
  const uint8_t* d = nullptr;
  uint32_t pos = 0;   // offset of the header
  uint32_t next = 0;  // offset of the following header
};

// The record at pos; false at the stream's end or on a framing fault
// (error 27: a header or data beyond the stream, data over 8224 bytes).
bool rec_at(XlsReader* r, uint32_t pos, Rec* out) {
  const size_t n = r->stream.size();
  if (static_cast<size_t>(pos) + 4 > n) {
    r->last_error = kXlsBrokenStream;
    return false;
  }
  const uint8_t* h = r->stream.data() + pos;
  const uint16_t len = u16(h + 2);
  if (len > kXlsMaxRecord || static_cast<size_t>(pos) + 4 + len > n) {
    r->last_error = kXlsBrokenStream;
    return false;
  }
  out->code = u16(h);
  out->len = len;
  out->d = h + 4;
  out->pos = pos;
  out->next = pos + 4 + len;
  return true;
}

bool is_bof(uint16_t code) { return code == 0x0009 || code == 0x0209 || code == 0x0409 || code == 0x0809; }

bool is_cell(uint16_t code) {
  switch (code) {
    case 0x0001: case 0x0201: case 0x0002: case 0x0003: case 0x0203: case 0x0004: case 0x0204: case 0x0005:
    case 0x0205: case 0x0006: case 0x0206: case 0x0406: case 0x027E: case 0x00BD: case 0x00BE: case 0x00FD:
    case 0x00D6:
      return true;
    default: return false;
  }
}

// ---- text --------------------------------------------------------------

int32_t current_page() {
  const int32_t page = charset_code_page(charset_current());
  if (page == 1) return cp_oem_page();
  return page > 1 ? page : cp_ansi_page();
}

// At most max bytes, never ending on a lead byte.
size_t cut_length(const std::string& s, int32_t page, size_t max) {
  size_t i = 0;
  while (i < s.size()) {
    const size_t step = cp_is_lead_byte_of(page, static_cast<uint8_t>(s[i])) ? 2 : 1;
    if (i + step > max || i + step > s.size()) break;
    i += step;
  }
  return i;
}

// Code points in the current charset's code page ('?' for what it lacks).
void unicode_to_current(const std::u32string& text, char* out, size_t max) {
  const int32_t page = current_page();
  std::string bytes;
  cp_encode(page, text, bytes);
  const size_t n = cut_length(bytes, page, max);
  std::memcpy(out, bytes.data(), n);
  out[n] = '\0';
}

// 8-bit text of the workbook charset in the current charset.
void bytes_to_current(const XlsReader* r, const uint8_t* p, size_t n, char* out, size_t max) {
  n = std::min(n, max);
  std::memcpy(out, p, n);
  out[n] = '\0';
  for (size_t i = 0; i < n; ++i) {
    if (out[i] == '\0') out[i] = ' ';
  }
  if (r->charset > 0 && r->charset != charset_current()) charset_convert(out, r->charset, charset_current());
  const int32_t page = current_page();
  const std::string s(out);
  out[cut_length(s, page, max)] = '\0';
}

// UTF-16 or its 8-bit form (the low bytes) as code points; false when the
// characters run past the end.
bool read_unicode(const uint8_t* p, const uint8_t* end, size_t chars, bool wide, std::u32string* out) {
  out->clear();
  const size_t bytes = wide ? 2 * chars : chars;
  if (p > end || static_cast<size_t>(end - p) < bytes) return false;
  for (size_t i = 0; i < chars; ++i) {
    if (!wide) {
      out->push_back(p[i]);
      continue;
    }
    char32_t c = u16(p + 2 * i);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < chars) {
      const char32_t lo = u16(p + 2 * i + 2);
      if (lo >= 0xDC00 && lo < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    out->push_back(c);
  }
  return true;
}

// ---- globals -----------------------------------------------------------

bool check_bof(XlsReader* r) {
  Rec b;
  if (!rec_at(r, 0, &b)) {
    r->last_error = kXlsNotBiff;
    return false;
  }
  const uint16_t version = b.len >= 2 ? u16(b.d) : 0, type = b.len >= 4 ? u16(b.d + 2) : 0;
  if (b.code == 0x0009 && b.len == 4 && version >= 2 && type == 0x0010) {
    r->biff = 2;
  } else if (b.code == 0x0209 && b.len == 6 && version == 0 && type == 0x0010) {
    r->biff = 3;
  } else if (b.code == 0x0409 && b.len == 6 && version == 0 && type == 0x0010) {
    r->biff = 4;
  } else if (b.code == 0x0809 && b.len == 8 && version == 0x0500 && type == 0x0005) {
    r->biff = 5;
  } else if (b.code == 0x0809 && b.len == 16 && version == 0x0600 && type == 0x0005) {
    r->biff = 8;
  } else {
    r->last_error = kXlsNotBiff;
    return false;
  }
  r->workbook = r->biff >= 5;
  Rec n;
  if (!rec_at(r, b.next, &n)) return true;  // the stream's end shows later
  if (n.code == 0x0086 && !rec_at(r, n.next, &n)) return true;
  if (n.code == 0x002F) {
    r->last_error = kXlsProtected;
    return false;
  }
  r->last_error = 0;
  return true;
}

uint8_t kind_at(const std::vector<uint8_t>& table, size_t i) { return i < table.size() ? table[i] : 0; }

void set_kind(std::vector<uint8_t>* table, size_t i, uint8_t kind) {
  if (i >= 65536) return;
  if (i >= table->size()) table->resize((i / 64 + 1) * 64, 0);
  (*table)[i] = kind;
}

void read_format(XlsReader* r, const Rec& rec, int32_t* ordinal) {
  std::u32string text;
  size_t index = 0;
  const uint8_t* end = rec.d + rec.len;
  if (r->biff <= 4) {
    index = static_cast<size_t>((*ordinal)++);
    const size_t at = rec.code == 0x041E ? 2 : 0;
    if (rec.len < at + 1 || !read_unicode(rec.d + at + 1, end, rec.d[at], false, &text)) return;
  } else if (r->biff == 5) {
    if (rec.len < 3) return;
    index = u16(rec.d);
    if (!read_unicode(rec.d + 3, end, rec.d[2], false, &text)) return;
  } else {
    if (rec.len < 5) return;
    index = u16(rec.d);
    if (!read_unicode(rec.d + 5, end, u16(rec.d + 2), (rec.d[4] & 1) != 0, &text)) return;
  }
  set_kind(&r->format_kinds, index, xls_format_kind(text));
}

// The SST and the CONTINUE records after it as pieces of one string run.
struct SstCursor {
  std::vector<std::pair<const uint8_t*, size_t>> pieces;
  size_t piece = 0, at = 0;
  bool more() {
    while (piece < pieces.size() && at >= pieces[piece].second) ++piece, at = 0;
    return piece < pieces.size();
  }
  bool byte(uint8_t* out) {
    if (!more()) return false;
    *out = pieces[piece].first[at++];
    return true;
  }
  bool skip(uint64_t n) {
    while (n > 0) {
      if (!more()) return false;
      const size_t take = static_cast<size_t>(std::min<uint64_t>(n, pieces[piece].second - at));
      at += take;
      n -= take;
    }
    return true;
  }
  bool word(uint16_t* out) {
    uint8_t a, b;
    if (!byte(&a) || !byte(&b)) return false;
    *out = static_cast<uint16_t>(a | (b << 8));
    return true;
  }
  bool dword(uint32_t* out) {
    uint16_t a, b;
    if (!word(&a) || !word(&b)) return false;
    *out = a | (static_cast<uint32_t>(b) << 16);
    return true;
  }
};

void read_sst(XlsReader* r, const Rec& first) {
  SstCursor c;
  if (first.len < 8) return;
  c.pieces.emplace_back(first.d + 8, first.len - 8u);
  Rec n;
  for (uint32_t pos = first.next; rec_at(r, pos, &n) && n.code == 0x003C; pos = n.next) c.pieces.emplace_back(n.d, n.len);
  r->last_error = 0;
  const uint32_t unique = u32(first.d + 4);
  while (r->sst.size() < unique && c.more()) {
    uint16_t count;
    uint8_t option;
    if (!c.word(&count) || !c.byte(&option)) break;
    uint16_t runs = 0;
    uint32_t ext = 0;
    if ((option & 8) && !c.word(&runs)) break;
    if ((option & 4) && !c.dword(&ext)) break;
    bool wide = (option & 1) != 0;
    std::u32string s;
    bool ok = true;
    for (uint16_t i = 0; i < count; ++i) {
      if (c.piece < c.pieces.size() && c.at >= c.pieces[c.piece].second && c.piece + 1 < c.pieces.size()) {
        // A CONTINUE inside the characters starts with their option byte.
        ++c.piece;
        c.at = 0;
        uint8_t o;
        if (!c.byte(&o)) { ok = false; break; }
        wide = (o & 1) != 0;
      }
      char32_t ch;
      if (wide) {
        uint16_t w;
        if (!c.word(&w)) { ok = false; break; }
        ch = w;
      } else {
        uint8_t b;
        if (!c.byte(&b)) { ok = false; break; }
        ch = b;
      }
      if (s.size() < 512) s.push_back(ch);
    }
    if (!ok) break;
    r->sst.push_back(std::move(s));
    if (!c.skip(4ull * runs + ext)) break;
  }
}

// A BIFF5 or BIFF8 short text (length byte; BIFF8 an option byte) at p.
bool short_text(XlsReader* r, const uint8_t* p, const uint8_t* end, char* out, size_t max) {
  if (p >= end) return false;
  const size_t len = *p;
  if (r->biff == 8) {
    if (end - p < 2) return false;
    std::u32string u;
    if (!read_unicode(p + 2, end, len, (p[1] & 1) != 0, &u)) return false;
    unicode_to_current(u, out, max);
    return true;
  }
  if (static_cast<size_t>(end - p - 1) < len) return false;
  bytes_to_current(r, p + 1, len, out, max);
  return true;
}

XlsName* find_name(XlsReader* r, const std::string& text) {
  for (XlsName& n : r->names) {
    if (cp_compare_nocase(n.text.c_str(), text.c_str()) == 0) return &n;
  }
  return nullptr;
}

void read_name(XlsReader* r, const Rec& rec, uint16_t number) {
  const uint8_t* d = rec.d;
  const uint8_t* end = d + rec.len;
  if (rec.len < 5 || u16(d) != 0) return;
  const size_t name_len = d[3];
  const size_t formula_len = r->biff == 2 ? d[4] : (rec.len >= 6 ? u16(d + 4) : 256);
  if (formula_len > 255) return;
  size_t at = r->biff == 2 ? 5 : rec.code == 0x0218 ? 6 : 14;
  char text[512];
  if (r->biff == 8) {
    if (rec.len < at + 1) return;
    const bool wide = (d[at] & 1) != 0;
    std::u32string u;
    if (!read_unicode(d + at + 1, end, name_len, wide, &u)) return;
    unicode_to_current(u, text, 255);
    at += 1 + (wide ? 2 : 1) * name_len;
  } else {
    if (rec.len < at + name_len) return;
    bytes_to_current(r, d + at, name_len, text, 255);
    at += name_len;
  }
  if (rec.len < at + formula_len || text[0] == '\0') return;
  if (find_name(r, text) != nullptr) return;
  XlsName n;
  n.number = number;
  n.text = text;
  n.formula.assign(d + at, d + at + formula_len);
  r->names.push_back(std::move(n));
}

void read_boundsheet(XlsReader* r, const Rec& rec, int32_t number) {
  if (rec.len < 7 || (rec.d[5] & 0x0F) != 0) return;
  char name[512];
  if (!short_text(r, rec.d + 6, rec.d + rec.len, name, kMaxText) || name[0] == '\0') return;
  XlsSheet s;
  s.name = name;
  s.number = number;
  s.bof = u32(rec.d);
  r->sheets.push_back(s);
  const std::string whole = std::string("Entire Worksheet ") + name;
  XlsName* n = find_name(r, whole);
  if (n == nullptr) {
    r->names.emplace_back();
    n = &r->names.back();
  }
  *n = XlsName{};
  n->text = whole;
  n->kind = -1;  // until DIMENSIONS gives it a rectangle
  n->sheet = number;
}

void read_externsheet(XlsReader* r, const Rec& rec) {
  if (r->biff != 8 || rec.len < 2) return;
  const size_t count = u16(rec.d);
  for (size_t i = 0; i < count && 2 + 6 * i + 6 <= rec.len; ++i) {
    const uint8_t* e = rec.d + 2 + 6 * i;
    r->refs.push_back({u16(e), static_cast<int16_t>(u16(e + 2)), static_cast<int16_t>(u16(e + 4))});
  }
}

int32_t codepage_charset(uint16_t page) {
  static const uint16_t kPages[] = {437,  850,  874,  932,  936,  949,  950,  1250,  1251,
                                    1252, 1253, 1254, 1255, 1256, 1257, 1258, 32768, 32769};
  static const int32_t kSets[] = {34, 35, 54, 19, 18, 20, 17, 11, 13, 10, 14, 16, 15, 12, 55, 56, 21, 10};
  for (size_t i = 0; i < sizeof kPages / sizeof kPages[0]; ++i) {
    if (kPages[i] == page) return kSets[i];
  }
  return -1;
}

// A DIMENSIONS record as a rectangle; false when it shows no cells.
bool read_dimensions(XlsReader* r, const Rec& rec, XlsRect* out) {
  int64_t fr, lr, fc, lc;
  if (r->biff == 8) {
    if (rec.len < 12) return false;
    fr = u32(rec.d), lr = static_cast<int64_t>(u32(rec.d + 4)) - 1, fc = u16(rec.d + 8), lc = u16(rec.d + 10) - 1;
  } else {
    if (rec.len < 8) return false;
    fr = u16(rec.d), lr = u16(rec.d + 2) - 1, fc = u16(rec.d + 4), lc = u16(rec.d + 6) - 1;
  }
  if (lr < fr || lc < fc || fr > INT32_MAX || lr > INT32_MAX) return false;
  out->first_row = static_cast<int32_t>(fr);
  out->last_row = static_cast<int32_t>(lr);
  out->first_column = static_cast<int32_t>(fc);
  out->last_column = static_cast<int32_t>(lc);
  return true;
}

// The records of one sheet from its BOF until DIMENSIONS: its rectangle.
bool scan_sheet(XlsReader* r, const XlsSheet& sheet, XlsRect* out) {
  Rec b;
  if (!rec_at(r, sheet.bof, &b) || !is_bof(b.code)) {
    r->last_error = 0;
    return false;
  }
  Rec rec;
  for (uint32_t pos = b.next; rec_at(r, pos, &rec) && rec.code != 0x000A; pos = rec.next) {
    if (rec.code != 0x0000 && rec.code != 0x0200) continue;
    const bool has = read_dimensions(r, rec, out);
    // The empty-sheet form: row 0 to 0, columns 0 to 255, then ROW and DBCELL.
    Rec a, c;
    if (has && out->first_row == 0 && out->last_row == 0 && out->first_column == 0 && out->last_column == 255 &&
        rec_at(r, rec.next, &a) && a.code == 0x0208 && rec_at(r, a.next, &c) && c.code == 0x00D7) {
      r->last_error = 0;
      return false;
    }
    out->sheet = sheet.number;
    return has;
  }
  r->last_error = 0;
  return false;
}

// ---- defined names --------------------------------------------------------

struct Operand {
  int16_t kind;
  int32_t sheet, fr, fc, lr, lc;
};

bool evaluate(XlsReader* r, XlsName* n, int depth);

XlsName* name_by_number(XlsReader* r, uint16_t number) {
  for (XlsName& n : r->names) {
    if (n.number == number && number != 0) return &n;
  }
  return nullptr;
}

// The sheet number of a BIFF8 REF table entry (-1 when not this workbook's
// one sheet).
int32_t ref_sheet(const XlsReader* r, uint16_t ixti) {
  if (ixti >= r->refs.size()) return -1;
  const XlsReader::Ref& ref = r->refs[ixti];
  if (ref.supbook >= r->supbook_internal.size() || !r->supbook_internal[ref.supbook]) return -1;
  if (ref.first != ref.last || ref.first < 0) return -1;
  return ref.first + 1;
}

bool evaluate(XlsReader* r, XlsName* n, int depth) {
  if (n->kind == 1 || n->kind == 2) return true;
  if (n->kind != 0 || depth > 64) return false;
  n->kind = -2;
  std::vector<Operand> stack;
  const std::vector<uint8_t> f = n->formula;
  const bool b8 = r->biff == 8;
  size_t i = 0;
  bool ok = true;
  while (ok && i < f.size() && f[i] != 0) {
    uint8_t t = f[i];
    if (t >= 0x20) t = static_cast<uint8_t>((t & 0x1F) | 0x20);  // the reference class only
    size_t size = 1;
    Operand op{};
    bool push = false;
    switch (t) {
      case 0x0F: case 0x10: case 0x11: {
        if (stack.size() < 2) { ok = false; break; }
        Operand b = stack.back();
        stack.pop_back();
        Operand a = stack.back();
        stack.pop_back();
        if (a.sheet != b.sheet || (t == 0x11 && (a.kind != 1 || b.kind != 1))) { ok = false; break; }
        op = a;
        op.kind = 2;
        if (t == 0x0F) {
          op.fr = std::max(a.fr, b.fr), op.fc = std::max(a.fc, b.fc), op.lr = std::min(a.lr, b.lr),
          op.lc = std::min(a.lc, b.lc);
        } else {
          op.fr = std::min(a.fr, b.fr), op.fc = std::min(a.fc, b.fc), op.lr = std::max(a.lr, b.lr),
          op.lc = std::max(a.lc, b.lc);
        }
        push = true;
        break;
      }
      case 0x15: break;
      case 0x29: size = 3; break;
      case 0x23: {
        size = b8 ? 5 : r->biff == 2 ? 8 : r->biff <= 4 ? 11 : 15;
        if (i + 3 > f.size()) { ok = false; break; }
        XlsName* other = name_by_number(r, u16(&f[i + 1]));
        if (other == nullptr || !evaluate(r, other, depth + 1)) { ok = false; break; }
        op = {other->kind, other->sheet, other->first_row, other->first_column, other->last_row, other->last_column};
        push = true;
        break;
      }
      case 0x24: case 0x2C:
        size = b8 ? 5 : 4;
        if (i + size > f.size()) { ok = false; break; }
        op.kind = 1;
        op.fr = op.lr = b8 ? u16(&f[i + 1]) : (u16(&f[i + 1]) & 0x3FFF);
        op.fc = op.lc = b8 ? (u16(&f[i + 3]) & 0x3FFF) : f[i + 3];
        push = true;
        break;
      case 0x25: case 0x2D:
        size = b8 ? 9 : 7;
        if (i + size > f.size()) { ok = false; break; }
        op.kind = 2;
        if (b8) {
          op.fr = u16(&f[i + 1]), op.lr = u16(&f[i + 3]), op.fc = u16(&f[i + 5]) & 0x3FFF, op.lc = u16(&f[i + 7]) & 0x3FFF;
        } else {
          op.fr = u16(&f[i + 1]) & 0x3FFF, op.lr = u16(&f[i + 3]) & 0x3FFF, op.fc = f[i + 5], op.lc = f[i + 6];
        }
        push = true;
        break;
      case 0x3A: case 0x3B: {
        const bool area = t == 0x3B;
        size = b8 ? (area ? 11 : 7) : (area ? 21 : 18);
        if (i + size > f.size() || r->biff < 5) { ok = false; break; }
        const uint8_t* p = &f[i];
        size_t at;
        if (b8) {
          op.sheet = ref_sheet(r, u16(p + 1));
          at = 3;
        } else {
          const int16_t first = static_cast<int16_t>(u16(p + 11)), last = static_cast<int16_t>(u16(p + 13));
          op.sheet = static_cast<int16_t>(u16(p + 1)) < 0 && first == last && first >= 0 ? first + 1 : -1;
          at = 15;
        }
        if (op.sheet < 0) { ok = false; break; }
        op.kind = area ? 2 : 1;
        if (b8) {
          if (area) {
            op.fr = u16(p + at), op.lr = u16(p + at + 2), op.fc = u16(p + at + 4) & 0x3FFF, op.lc = u16(p + at + 6) & 0x3FFF;
          } else {
            op.fr = op.lr = u16(p + at), op.fc = op.lc = u16(p + at + 2) & 0x3FFF;
          }
        } else if (area) {
          op.fr = u16(p + at) & 0x3FFF, op.lr = u16(p + at + 2) & 0x3FFF, op.fc = p[at + 4], op.lc = p[at + 5];
        } else {
          op.fr = op.lr = u16(p + at) & 0x3FFF, op.fc = op.lc = p[at + 2];
        }
        push = true;
        break;
      }
      default: ok = false; break;
    }
    if (push) {
      if (stack.size() >= 20) ok = false;
      else stack.push_back(op);
    }
    i += size;
  }
  if (ok && stack.size() == 1 && (stack[0].kind == 1 || stack[0].kind == 2)) {
    const Operand& o = stack[0];
    n->kind = o.kind, n->sheet = o.sheet, n->first_row = o.fr, n->first_column = o.fc, n->last_row = o.lr,
    n->last_column = o.lc;
    return true;
  }
  n->kind = -1;
  return false;
}

// ---- cells ------------------------------------------------------------------

// The five-zero form: at most 10 significant digits, plain notation, values
// from 1 to 9999 padded with zeros to five digits before the point.
void five_zero_text(double x, char* out, size_t size) {
  char plain[400];
  std::snprintf(plain, sizeof plain, "%.10g", x);
  if (std::strchr(plain, 'e') != nullptr) {
    // Plain notation of the value rounded to 10 significant digits.
    char sci[64];
    std::snprintf(sci, sizeof sci, "%.9e", x);
    const double rounded = std::strtod(sci, nullptr);
    const int exp10 = static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
    const int decimals = exp10 < 0 ? std::min(9 - exp10, 340) : 0;
    std::snprintf(plain, sizeof plain, "%.*f", decimals, rounded);
    if (std::strchr(plain, '.') != nullptr) {
      size_t n = std::strlen(plain);
      while (n > 0 && plain[n - 1] == '0') plain[--n] = '\0';
      if (n > 0 && plain[n - 1] == '.') plain[--n] = '\0';
    }
  }
  const char* pad = "";
  if (x >= 1 && x <= 9999) pad = x >= 1000 ? "0" : x >= 100 ? "00" : x >= 10 ? "000" : "0000";
  std::snprintf(out, size, "%s%s", pad, plain);
}

double rk_value(uint32_t rk) {
  double d;
  if (rk & 2) {
    d = static_cast<double>(static_cast<int32_t>(rk) >> 2);
  } else {
    const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&d, &bits, sizeof d);
  }
  return (rk & 1) ? d / 100 : d;
}

void set_text(XlsReader* r) {
  r->value.type = VALUE_CHAR_REF;
  r->value.u.ref = r->text;
}

// The text of a BIFF8 unicode string with a 16-bit length at p.
bool text_biff8(XlsReader* r, const uint8_t* p, const uint8_t* end) {
  if (end - p < 3) return false;
  std::u32string u;
  if (!read_unicode(p + 3, end, u16(p), (p[2] & 1) != 0, &u)) return false;
  unicode_to_current(u, r->text, kMaxText);
  return true;
}

// The string result of a formula: the STRING record after it.
bool formula_string(XlsReader* r, const Rec& formula) {
  Rec n;
  uint32_t pos = formula.next;
  while (rec_at(r, pos, &n) && (n.code == 0x04BC || n.code == 0x0221 || n.code == 0x0236)) pos = n.next;
  if (!rec_at(r, pos, &n)) {
    r->last_error = 0;
    return false;
  }
  const uint8_t* end = n.d + n.len;
  if (formula.code == 0x0006 && r->biff <= 4) {
    if (n.code != 0x0007 || n.len < 1 || static_cast<size_t>(n.len - 1) < n.d[0]) return false;
    bytes_to_current(r, n.d + 1, n.d[0], r->text, kMaxText);
    return true;
  }
  if (n.code != 0x0207) return false;
  if (r->biff == 8) return text_biff8(r, n.d, end);
  if (n.len < 2 || static_cast<size_t>(n.len - 2) < u16(n.d)) return false;
  bytes_to_current(r, n.d + 2, u16(n.d), r->text, kMaxText);
  return true;
}

}  // namespace

// ---- public ---------------------------------------------------------------------

bool xls_reader_load(XlsReader* r, const uint8_t* data, size_t size) {
  r->last_error = 0;
  r->loaded = false;
  r->stream.clear();
  if (cfb_is_container(data, size)) {
    static const char* const kNames[] = {"Workbook", "Book"};
    const CfbResult got = cfb_read_stream(data, size, kNames, 2, &r->stream);
    if (got != CFB_OK) {
      r->last_error = got == CFB_NO_STREAM ? kXlsNotBiff : kXlsBrokenStream;
      r->stream.clear();
      return false;
    }
  } else {
    r->stream.assign(data, data + size);
  }
  if (!check_bof(r)) {
    r->stream.clear();
    return false;
  }
  r->loaded = true;
  return true;
}

bool xls_reader_open(XlsReader* r, int32_t file, int mode) {
  std::vector<uint8_t> bytes;
  r->last_error = sheet_file_use(file, mode, r->loaded ? nullptr : &bytes);
  if (r->last_error != 0) return false;
  r->file = file;
  if (r->loaded || xls_reader_load(r, bytes.data(), bytes.size())) return true;
  xls_reader_close(r);
  return false;
}

void xls_reader_close(XlsReader* r) {
  if (r->file > 0) file_release(r->file);
  r->file = 0;
}

void xls_reader_free(XlsReader* r) {
  const int biff = r->biff;
  const int32_t file = r->file;
  const int32_t error = r->last_error;
  r->~XlsReader();
  new (r) XlsReader;
  r->biff = biff;
  r->file = file;
  r->last_error = error;
}

bool xls_read_globals(XlsReader* r, XlsRect* used) {
  if (!r->loaded) return false;
  r->charset = charset_current();
  r->format_kinds.assign(256, 0);
  r->xf_kinds.clear();
  r->names.clear();
  r->sheets.clear();
  r->sst.clear();
  r->refs.clear();
  r->supbook_internal.clear();
  r->date1904 = r->r1c1 = false;
  if (r->biff >= 5) {
    for (int i = 14; i <= 17; ++i) r->format_kinds[static_cast<size_t>(i)] = XLS_KIND_DATE;
    for (int i = 18; i <= 21; ++i) r->format_kinds[static_cast<size_t>(i)] = XLS_KIND_TIME;
    r->format_kinds[22] = XLS_KIND_DATETIME;
  }
  std::vector<uint16_t> xf_formats;
  int32_t format_ordinal = 0;
  uint16_t name_number = 0;
  int32_t sheet_number = 0;
  bool found = false;
  Rec b, rec;
  rec_at(r, 0, &b);
  uint32_t pos = b.next;
  for (; rec_at(r, pos, &rec) && rec.code != 0x000A; pos = rec.next) {
    const uint8_t* d = rec.d;
    switch (rec.code) {
      case 0x0000: case 0x0200:
        if (r->biff <= 4) {
          found = read_dimensions(r, rec, used);
          used->sheet = 0;
          goto done;
        }
        break;
      case 0x000F:
        if (rec.len >= 2) r->r1c1 = u16(d) == 0;
        break;
      case 0x0017:
        read_externsheet(r, rec);
        break;
      case 0x01AE:
        r->supbook_internal.push_back(rec.len >= 4 && u16(d + 2) == 0x0401 ? 1 : 0);
        break;
      case 0x0018: case 0x0218:
        read_name(r, rec, ++name_number);
        break;
      case 0x001E: case 0x041E:
        read_format(r, rec, &format_ordinal);
        break;
      case 0x0022:
        if (rec.len >= 2) r->date1904 = u16(d) == 1;
        break;
      case 0x0042:
        if (rec.len >= 2) {
          const int32_t cs = codepage_charset(u16(d));
          if (cs >= 0) r->charset = cs;
        }
        break;
      case 0x0085:
        if (r->workbook) read_boundsheet(r, rec, ++sheet_number);
        break;
      case 0x0243: case 0x0443:
        xf_formats.push_back(rec.len >= 2 ? d[1] : 0);
        break;
      case 0x00E0:
        xf_formats.push_back(rec.len >= 4 ? u16(d + 2) : 0);
        break;
      case 0x00FC:
        read_sst(r, rec);
        break;
      default: break;
    }
  }
  if (r->last_error != 0) return false;
  if (r->workbook) {
    for (const XlsSheet& s : r->sheets) {
      XlsRect rect;
      const bool has = scan_sheet(r, s, &rect);
      XlsName* n = find_name(r, "Entire Worksheet " + s.name);
      if (n != nullptr) {
        n->kind = has ? 2 : -1;
        n->first_row = rect.first_row, n->first_column = rect.first_column, n->last_row = rect.last_row,
        n->last_column = rect.last_column;
      }
      if (has && !found) {
        *used = rect;
        found = true;
      }
    }
  }
done:
  if (r->last_error != 0) return false;
  if (r->biff >= 3) {
    std::vector<uint8_t> kinds;
    for (size_t i = 0; i < xf_formats.size(); ++i) set_kind(&kinds, i, kind_at(r->format_kinds, xf_formats[i]));
    r->xf_kinds = std::move(kinds);
  }
  return found;
}

void xls_names_resolve(XlsReader* r) {
  for (XlsName& n : r->names) {
    if (n.kind == 0) evaluate(r, &n, 0);
  }
  std::erase_if(r->names, [](const XlsName& n) { return n.kind != 1 && n.kind != 2; });
}

int32_t xls_sheet_number(const XlsReader* r, const char* name) {
  for (const XlsSheet& s : r->sheets) {
    if (cp_compare_nocase(s.name.c_str(), name) == 0) return s.number;
  }
  return -1;
}

bool xls_select_sheet(XlsReader* r, int32_t number) {
  r->cells.clear();
  r->sheet = -1;
  uint32_t bof = 0;
  if (r->workbook) {
    if (r->sheets.empty()) {
      r->last_error = kXlsNoSheetBof;
      return false;
    }
    size_t k = 0;
    for (size_t i = 0; i < r->sheets.size(); ++i) {
      if (r->sheets[i].number == number) k = i;
    }
    bof = r->sheets[k].bof;
    r->sheet = static_cast<int32_t>(k);
  } else {
    r->sheet = 0;
  }
  Rec b;
  if (!rec_at(r, bof, &b) || !is_bof(b.code)) {
    r->last_error = kXlsNoSheetBof;
    return false;
  }
  r->sheet_bof = bof;
  // The cells in stream order, up to the sheet's EOF; a cell out of row
  // order ends the list (error 36), as a broken stream does (27).
  int depth = 0;
  Rec rec;
  int32_t prev_row = -1, prev_col = -1;
  for (uint32_t pos = b.next; rec_at(r, pos, &rec); pos = rec.next) {
    if (is_bof(rec.code)) {
      ++depth;
      continue;
    }
    if (rec.code == 0x000A) {
      if (depth-- == 0) break;
      continue;
    }
    if (depth > 0 || !is_cell(rec.code) || rec.len < 4) continue;
    const int32_t row = u16(rec.d), col = u16(rec.d + 2);
    int32_t last = col;
    if (rec.code == 0x00BD || rec.code == 0x00BE) {
      const int32_t each = rec.code == 0x00BD ? 6 : 2;
      if (rec.len < 6 + each) continue;
      last = col + (rec.len - 6) / each - 1;
    }
    if (row < prev_row || (row == prev_row && col < prev_col)) {
      r->last_error = kXlsOutOfOrder;
      break;
    }
    prev_row = row, prev_col = col;
    r->cells.push_back({row, col, last, rec.pos});
  }
  return true;
}

const XlsCellEntry* xls_find_cell(XlsReader* r, int32_t column, int32_t row) {
  r->column = column;
  const auto& c = r->cells;
  auto it = std::upper_bound(c.begin(), c.end(), std::make_pair(row, column), [](const auto& key, const XlsCellEntry& e) {
    return key.first < e.row || (key.first == e.row && key.second < e.first_column);
  });
  if (it == c.begin()) return nullptr;
  --it;
  // The first record in stream order that covers the cell.
  while (it != c.begin() && (it - 1)->row == row && (it - 1)->first_column == it->first_column) --it;
  if (it->row != row || column < it->first_column || column > it->last_column) return nullptr;
  return &*it;
}

const Value* xls_cell_value(XlsReader* r, const XlsCellEntry* cell) {
  Value& v = r->value;
  std::memset(&v, 0, sizeof v);
  r->text[0] = '\0';
  Rec rec;
  if (cell == nullptr || !rec_at(r, cell->pos, &rec)) {
    r->last_error = 0;
    return &v;
  }
  const uint8_t* d = rec.d;
  const uint8_t* end = d + rec.len;
  const size_t len = rec.len;
  // BIFF2 records keep the value at 7, later ones at 6.
  const bool b2 = rec.code <= 0x0005 || (rec.code == 0x0006 && r->biff <= 4);
  uint32_t key = 0;
  if (r->biff >= 3) key = len >= 6 ? u16(d + 4) : 0;
  else key = len >= 6 ? (d[5] & 0x3F) : 0;
  bool numeric = false;
  switch (rec.code) {
    case 0x0002:
      if (len >= 9) v.type = VALUE_INTEGER, v.u.i = u16(d + 7), numeric = true;
      break;
    case 0x0003: case 0x0203: {
      const size_t at = b2 ? 7 : 6;
      if (len >= at + 8) v.type = VALUE_FLOAT, v.u.d = f64(d + at), numeric = true;
      break;
    }
    case 0x027E:
      if (len >= 10) v.type = VALUE_FLOAT, v.u.d = rk_value(u32(d + 6)), numeric = true;
      break;
    case 0x00BD: {
      const size_t k = static_cast<size_t>(r->column - cell->first_column);
      const size_t at = 4 + 6 * k;
      if (r->column >= cell->first_column && at + 6 <= len) {
        key = u16(d + at);
        v.type = VALUE_FLOAT, v.u.d = rk_value(u32(d + at + 2)), numeric = true;
      }
      break;
    }
    case 0x0004:
      if (len >= 8 && len - 8 >= d[7]) bytes_to_current(r, d + 8, d[7], r->text, 255), set_text(r);
      break;
    case 0x0204: case 0x00D6:
      if (r->biff == 8) {
        if (len >= 6 && text_biff8(r, d + 6, end)) set_text(r);
      } else if (len >= 8 && len - 8 >= u16(d + 6)) {
        bytes_to_current(r, d + 8, u16(d + 6), r->text, rec.code == 0x0204 ? 255 : kMaxText), set_text(r);
      }
      break;
    case 0x00FD:
      if (len >= 10 && u32(d + 6) < r->sst.size()) unicode_to_current(r->sst[u32(d + 6)], r->text, kMaxText), set_text(r);
      break;
    case 0x0005: case 0x0205: {
      const size_t at = b2 ? 7 : 6;
      if (len >= at + 2 && d[at + 1] == 0) v.type = VALUE_LOGICAL, v.u.b = d[at] != 0;
      break;
    }
    case 0x0006: case 0x0206: case 0x0406: {
      const size_t at = b2 ? 7 : 6;
      if (len < at + 8) break;
      const uint8_t* res = d + at;
      if (res[6] == 0xFF && res[7] == 0xFF) {
        if (res[0] == 1) v.type = VALUE_LOGICAL, v.u.b = res[2] != 0;
        else if (res[0] == 0 && formula_string(r, rec)) set_text(r);
      } else {
        v.type = VALUE_FLOAT, v.u.d = f64(res), numeric = true;
      }
      break;
    }
    default: break;  // BLANK, MULBLANK: empty
  }
  if (numeric) {
    const double x = v.type == VALUE_INTEGER ? v.u.i : v.u.d;
    if (!std::isfinite(x)) {
      std::memset(&v, 0, sizeof v);
      return &v;
    }
    const uint8_t kind = r->biff >= 3 ? kind_at(r->xf_kinds, key) : kind_at(r->format_kinds, key);
    if (kind == XLS_KIND_FIVE_ZERO) {
      five_zero_text(x, r->text, sizeof r->text);
      set_text(r);
    } else if (kind == XLS_KIND_DATE || kind == XLS_KIND_TIME || kind == XLS_KIND_DATETIME) {
      if (std::fabs(x) > 2958466.0) {  // beyond 9999-12-31
        std::memset(&v, 0, sizeof v);
        return &v;
      }
      DateTime dt;
      serial_to_datetime(x, r->date1904, &dt);
      std::memset(&v, 0, sizeof v);
      if (kind == XLS_KIND_DATE) v.type = VALUE_DATE, v.u.date = dt.date;
      else if (kind == XLS_KIND_TIME) v.type = VALUE_TIME, v.u.time = dt.time;
      else v.type = VALUE_DATETIME, v.u.dt = dt;
    }
  }
  return &v;
}

void xls_cell_type_width(const Value* v, int32_t* type, int32_t* width) {
  *type = v->type;
  switch (v->type) {
    case VALUE_INTEGER: case VALUE_TIME: *width = 11; break;
    case VALUE_SMALLINT: *width = 5; break;
    case VALUE_DATE: case VALUE_FLOAT: *width = 10; break;
    case VALUE_LOGICAL: *width = 1; break;
    case VALUE_DATETIME: *width = 22; break;
    case VALUE_CHAR_REF:
      *type = VALUE_CHAR;
      *width = static_cast<int32_t>(std::strlen(v->u.ref));
      break;
    default: *type = 0, *width = 0; break;
  }
}

uint8_t xls_format_kind(const std::u32string& format) {
  bool date = false, time = false;
  int zeros = 0;
  for (size_t i = 0; i <= format.size(); ++i) {
    const char32_t c = i < format.size() ? format[i] : 0;
    if (c == '0') {
      ++zeros;
      continue;
    }
    if (zeros == 5) return XLS_KIND_FIVE_ZERO;
    zeros = 0;
    if (i == format.size()) break;
    const char32_t l = c >= 'A' && c <= 'Z' ? c + 32 : c;
    if (l == '"') {
      while (i + 1 < format.size() && format[i + 1] != '"') ++i;
      ++i;
    } else if (l == '[') {
      while (i + 1 < format.size() && format[i + 1] != ']') ++i;
      ++i;
    } else if (l == '\\') {
      ++i;
    } else if (l == 'd' || l == 'y') {
      date = true;
    } else if (l == 'h' || l == 's') {
      time = true;
    }
  }
  if (date && time) return XLS_KIND_DATETIME;
  if (date) return XLS_KIND_DATE;
  if (time) return XLS_KIND_TIME;
  return XLS_KIND_PLAIN;
}

void serial_to_datetime(double serial, bool date1904, DateTime* out) {
  double days = std::trunc(serial);
  double frac = serial - days;
  if (frac < 0) frac += 1, days -= 1;
  int64_t ms = std::llround(frac * 86400000.0);
  if (ms >= 86400000) ms -= 86400000, days += 1;
  const Date base = date1904 ? Date{1904, 1, 1} : Date{1899, 12, 30};
  out->date = date_add_days(static_cast<int32_t>(days), base);
  const int32_t m = static_cast<int32_t>(ms);
  out->time.hour = static_cast<uint8_t>(m / 3600000);
  out->time.minute = static_cast<uint8_t>(m / 60000 % 60);
  out->time.second = static_cast<uint8_t>(m / 1000 % 60);
  out->time.ms = static_cast<uint16_t>(m % 1000);
}

std::string xls_column_name(const XlsReader* r, int32_t column) {
  char text[32];
  if (r->r1c1) {
    std::snprintf(text, sizeof text, "C%u", static_cast<unsigned>(column + 1));
    return text;
  }
  return column_letters(column);
}

bool xls_resolve_range(XlsReader* r, const char* text, XlsRect* out) {
  const std::string t = text;
  for (const XlsName& n : r->names) {
    if (cp_compare_nocase(n.text.c_str(), text) == 0 ||
        (r->workbook && cp_compare_nocase(n.text.c_str(), ("Entire Worksheet " + t).c_str()) == 0)) {
      *out = {n.sheet, n.first_column, n.first_row, n.last_column, n.last_row};
      return true;
    }
  }
  int32_t sheet = 0;
  const char* ref = text;
  const size_t colon = t.find(':');
  if (colon != std::string::npos) {
    const size_t bang = t.rfind('!', colon);
    if (bang != std::string::npos) {
      sheet = xls_sheet_number(r, t.substr(0, bang).c_str());
      if (sheet < 0) return false;
      ref = text + bang + 1;
    }
  }
  int32_t r1, c1, r2, c2;
  const char* p = cellref_parse(ref, &r1, &c1);
  if (p == nullptr) return false;
  if (*p == '\0') {
    r2 = r1, c2 = c1;
  } else {
    if (*p == ':') ++p;
    else if (p[0] == '.' && p[1] == '.') p += 2;
    else return false;
    if (cellref_parse(p, &r2, &c2) == nullptr) return false;
  }
  *out = {sheet, c1, r1, c2, r2};
  return true;
}
