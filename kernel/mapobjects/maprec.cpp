// Object records of map files: one layout walker per record code, run in
// either direction (decode into a map object, encode from one, or a dry run
// that only tests whether the compressed form holds every value), and the
// coordinate chain with its reader and writer, again one walker for both.
#include <algorithm>
#include <cmath>
#include <memory>
#include <cstring>
#include <limits>

#include "kernel/mapobjects/mapbytes.h"
#include "kernel/mapobjects/mapfile.h"
#include "kernel/mapobjects/mapfile_internal.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/mapstyle.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/rect.h"

namespace {

int variant(int code) { return (code - 1) % 3; }  // 0 compressed, 1 full, 2 inline

bool own_centre_code(int code) {
  switch (code) {
    case 7: case 13: case 37: case 46: case 49: case 52: case 55: case 61: case 64: case 67: case 70: return true;
    default: return false;
  }
}

enum SectionFormat { SEC_CLASSIC, SEC_LARGE, SEC_EXTENDED };
SectionFormat section_format(int code) {
  if ((code >= 13 && code <= 15) || (code >= 37 && code <= 39)) return SEC_CLASSIC;
  if ((code >= 46 && code <= 51) || (code >= 55 && code <= 57)) return SEC_LARGE;
  return SEC_EXTENDED;
}

bool fits16(int64_t v) { return v >= -32768 && v <= 32767; }

// ---- the record walker -------------------------------------------------------

struct RecIO {
  MapFile* mf;
  uint8_t* rec;
  bool write;
  bool dry;        // encode without styles, only to find overflows
  bool overflow;
  bool failed;
  bool compressed;
  bool inline_styles;
  IntPoint centre;
  int16_t release;     // decode: release the styles' uses
  int16_t count_uses;  // encode: count one more use
  int32_t coord;

  void u8(int off, uint8_t& v) {
    if (write) rec[off] = v; else v = rec[off];
  }
  void i16(int off, int32_t& v) {
    if (write) {
      if (!fits16(v)) overflow = true;
      le_put16(rec + off, v);
    } else {
      v = le_get16(rec + off);
    }
  }
  void i16s(int off, int16_t& v) {
    int32_t t = v;
    i16(off, t);
    v = static_cast<int16_t>(t);
  }
  void u16(int off, int32_t& v) {
    if (write) {
      if (v < 0 || v > 65535) overflow = true;
      le_put16(rec + off, v);
    } else {
      v = le_getu16(rec + off);
    }
  }
  void i32(int off, int32_t& v) {
    if (write) le_put32(rec + off, v); else v = le_get32(rec + off);
  }
  void f64(int off, double& v) {
    if (write) le_putf64(rec + off, v); else v = le_getf64(rec + off);
  }
  void off16(int off, int32_t& v, int32_t base) {
    int32_t d = 0;
    if (write) d = static_cast<int32_t>(static_cast<int64_t>(v) - base);
    if (write && !fits16(static_cast<int64_t>(v) - base)) overflow = true;
    i16(off, d);
    if (!write) {
      const int64_t r = static_cast<int64_t>(base) + d;
      if (r > INT32_MAX || r < INT32_MIN) failed = true;
      v = static_cast<int32_t>(r);
    }
  }
  // A point: two int16 offsets from the centre (compressed) or two int32.
  void pt(int off, IntPoint& p) {
    if (compressed) {
      off16(off, p.x, centre.x);
      off16(off + 2, p.y, centre.y);
    } else {
      i32(off, p.x);
      i32(off + 4, p.y);
    }
  }
  void rect(int off, IntRect& r) {
    IntPoint a{r.x1, r.y1}, b{r.x2, r.y2};
    pt(off, a);
    pt(off + (compressed ? 4 : 8), b);
    if (!write) r = IntRect{a.x, a.y, b.x, b.y};
  }
  // The record's own centre (compressed codes with chain data).
  void own_centre(int off) {
    i32(off, centre.x);
    i32(off + 4, centre.y);
  }
  int r_size() const { return compressed ? 8 : 16; }
  int p_size() const { return compressed ? 4 : 8; }

  void index_byte(int off, int& index) {
    uint8_t b = static_cast<uint8_t>(index);
    u8(off, b);
    index = b;
  }
  void pen(int off, PenStyle& pen) {
    if (inline_styles) {
      if (write) {
        if (!pen_pack(&pen, rec + off)) failed = true;
      } else {
        pen_unpack(rec + off, &pen);
      }
      return;
    }
    int index = 0;
    if (write && dry) {
      uint8_t scratch[8];
      if (!pen_pack(&pen, scratch)) failed = true;
    } else if (write) {
      if (!mapstyle_pen_index(mf, &pen, &index, count_uses)) failed = true;
    }
    index_byte(off, index);
    if (!write && !mapstyle_read_pen(mf, index, &pen, release)) failed = true;
  }
  void brush(int off, BrushStyle& brush) {
    if (inline_styles) {
      if (write) brush_pack(&brush, rec + off); else brush_unpack(rec + off, &brush);
      return;
    }
    int index = 0;
    if (write && !dry && !mapstyle_brush_index(mf, &brush, &index, count_uses)) failed = true;
    index_byte(off, index);
    if (!write && !mapstyle_read_brush(mf, index, &brush, release)) failed = true;
  }
  void symbol(int off, SymbolStyle& sym) {
    if (inline_styles) {
      if (write) symbol_pack(&sym, rec + off); else symbol_unpack(rec + off, &sym);
      return;
    }
    int index = 0;
    if (write && !dry && !mapstyle_symbol_index(mf, &sym, &index, count_uses)) failed = true;
    index_byte(off, index);
    if (!write && !mapstyle_read_symbol(mf, index, &sym, release)) failed = true;
  }
  // A font or bitmap name through the name resources (or 32 bytes inline).
  void name(int off, char* name, bool bitmap) {
    if (inline_styles) {
      if (write) {
        std::memset(rec + off, 0, 32);
        std::strncpy(reinterpret_cast<char*>(rec + off), name, 31);
      } else {
        std::memcpy(name, rec + off, 31);
        name[31] = '\0';
      }
      return;
    }
    int index = 0;
    if (write && !dry) {
      const int16_t ok = bitmap ? mapstyle_bitmap_index(mf, name, &index, count_uses)
                                : mapstyle_font_index(mf, name, &index, count_uses);
      if (!ok) failed = true;
    }
    index_byte(off, index);
    if (!write) {
      const int16_t ok = bitmap ? mapstyle_read_bitmap(mf, index, name, release)
                                : mapstyle_read_font(mf, index, name, release);
      if (!ok) failed = true;
    }
  }
  // The 15-byte symbol descriptor.
  void descriptor(int off, SymbolStyle& sym) {
    uint8_t kind = sym.kind;
    u8(off, kind);
    if (!write) sym.kind = kind > 2 ? 0 : kind;
    if (sym.kind == 1) font_symbol_fields(off + 1, off + 2, off + 3, off + 11, sym);
    if (sym.kind == 2) bitmap_flags(off + 14, sym);
  }
  void font_symbol_fields(int code_off, int size_off, int font_off, int rot_off, SymbolStyle& sym) {
    uint8_t ch = static_cast<uint8_t>(sym.shape), size = static_cast<uint8_t>(sym.size);
    if (write && (sym.size < 0 || sym.size > 255)) overflow = failed = true;
    u8(code_off, ch);
    u8(size_off, size);
    if (write) {
      FontStyle f = sym.font;
      f.fore = sym.colour;
      font_pack(&f, rec + font_off);
    } else {
      sym.shape = ch;
      sym.size = size;
      font_unpack(rec + font_off, &sym.font);
      sym.colour = sym.font.fore;
    }
    i16s(rot_off, sym.rotation);
  }
  void bitmap_flags(int off, SymbolStyle& sym) {
    uint8_t b = static_cast<uint8_t>(symbol_get_bitmap_style(&sym) & 7);
    u8(off, b);
    if (!write) symbol_set_bitmap_style(&sym, b & 7);
  }
  // Descriptor, then the symbol index (vector and bitmap kinds) and the font
  // or bitmap name index.
  void symbol_set(int desc_off, int sym_off, int name_off, SymbolStyle& sym) {
    descriptor(desc_off, sym);
    if (sym.kind == 1) {
      name(name_off, sym.font.name, false);
    } else {
      symbol(sym_off, sym);
      if (sym.kind == 2) name(name_off, sym.bitmap.name, true);
    }
  }
  void coord_field(int off) { i32(off, coord); }
  void zm_flags(int off, MapObject* obj, uint8_t extra) {
    uint8_t f = 0;
    if (write && mf && mf->zm) f = static_cast<uint8_t>((obj->has_z ? 1 : 0) | (obj->has_m ? 2 : 0) | extra);
    u8(off, f);
    if (!write) {
      obj->has_z = f & 1;
      obj->has_m = (f >> 1) & 1;
    }
  }
};

void zm_range(const MapObject* obj, int32_t n, int which, double* lo, double* hi) {
  const double* v = which ? obj->m : obj->z;
  const int16_t has = which ? obj->has_m : obj->has_z;
  *lo = *hi = 0;
  if (!has || !v || n <= 0) return;
  *lo = std::numeric_limits<double>::infinity();
  *hi = -*lo;
  for (int32_t i = 0; i < n; ++i) {
    if (v[i] != v[i]) continue;
    *lo = std::fmin(*lo, v[i]);
    *hi = std::fmax(*hi, v[i]);
  }
  if (*lo > *hi) *lo = *hi = 0;
}

void zm_ranges(RecIO& io, int off, const MapObject* obj, int32_t n) {
  double r[4] = {};
  if (io.write) {
    zm_range(obj, n, 0, &r[0], &r[1]);
    zm_range(obj, n, 1, &r[2], &r[3]);
  }
  for (int i = 0; i < 4; ++i) io.f64(off + 8 * i, r[i]);
}

int32_t poly_nodes(const MapObject* obj) {
  const int64_t n = (static_cast<int64_t>(obj->u.poly.size) - 28LL * obj->u.poly.sections) / 8;
  return n < 0 ? 0 : static_cast<int32_t>(n);
}

// Size word: smoothing at bit 31, bytes in bits 0-29.
void size_word(RecIO& io, int off, MapObject* obj, int code) {
  int32_t w = 0;
  const int32_t s = obj->u.poly.sections;
  if (io.write) {
    int64_t bytes = obj->u.poly.size;
    if (code >= 7 && code <= 9) bytes = (bytes - 28) / (code == 7 ? 2 : 1);
    else if (section_format(code) == SEC_CLASSIC) bytes -= 4LL * s;
    w = static_cast<int32_t>(bytes & 0x3fffffff) | ((obj->u.poly.line_flags & 1) ? INT32_MIN : 0);
  }
  io.i32(off, w);
  if (!io.write) {
    obj->u.poly.line_flags = (w < 0) ? 1 : 0;
    int64_t bytes = w & 0x3fffffff;
    if (code >= 7 && code <= 9) {
      const int64_t pts = bytes / (code == 7 ? 4 : 8);
      bytes = 28 + 8 * pts;
      obj->u.poly.sections = 1;
    }
    obj->u.poly.size = static_cast<int32_t>(std::min<int64_t>(bytes, INT32_MAX));
  }
}

void sections_field(RecIO& io, int off, MapObject* obj, bool wide, int code) {
  int32_t s = obj->u.poly.sections;
  if (wide) io.i32(off, s); else io.i16(off, s);
  if (!io.write) {
    obj->u.poly.sections = s;
    if (section_format(code) == SEC_CLASSIC) obj->u.poly.size += 4 * std::max(s, 0);
  }
}

// Collection header: part sizes and section counts.
MapObject* part(MapObject* obj, int i) {
  MapObject* const p[3] = {obj->u.collection.region, obj->u.collection.polyline, obj->u.collection.multipoint};
  return p[i];
}

int16_t ensure_part(MapObject* obj, int i) {
  MapObject** slots[3] = {&obj->u.collection.region, &obj->u.collection.polyline, &obj->u.collection.multipoint};
  MapHandle* handles[3] = {&obj->region_handle, &obj->polyline_handle, &obj->multipoint_handle};
  static const int kTypes[3] = {MAPOBJ_REGION, MAPOBJ_POLYLINE, MAPOBJ_MULTIPOINT};
  if (*slots[i]) {
    MapObject* p = *slots[i];
    const void* nodes = p->nodes;
    double* z = p->z;
    double* m = p->m;
    const uint32_t flags = p->flags;
    std::memset(&p->u, 0, sizeof p->u);
    p->type = static_cast<uint8_t>(kTypes[i]);
    p->nodes = const_cast<void*>(nodes);
    p->z = z;
    p->m = m;
    p->flags = flags;
    p->has_z = p->has_m = 0;
    return 1;
  }
  MapObject* p = nullptr;
  if (!mapobj_new(nullptr, &p, kTypes[i], 0)) return 0;
  *slots[i] = p;
  *handles[i] = p;
  return 1;
}

bool part_present(const MapObject* obj, int i) {
  const MapObject* p = part(const_cast<MapObject*>(obj), i);
  if (!p) return false;
  return i == 2 ? p->u.multipoint.count > 0 : p->u.poly.sections > 0;
}

void collection_header(RecIO& io, MapObject* obj, int code) {
  const bool ext = code >= 70;
  int32_t mp = 0, rsize = 0, psize = 0, rsec = 0, psec = 0;
  if (io.write) {
    if (part_present(obj, 2)) mp = part(obj, 2)->u.multipoint.count;
    if (part_present(obj, 0)) { rsize = part(obj, 0)->u.poly.size; rsec = part(obj, 0)->u.poly.sections; }
    if (part_present(obj, 1)) { psize = part(obj, 1)->u.poly.size; psec = part(obj, 1)->u.poly.sections; }
  }
  io.i32(9, mp);
  io.i32(13, rsize);
  io.i32(17, psize);
  if (ext) {
    io.i32(21, rsec);
    io.i32(25, psec);
  } else {
    io.i16(21, rsec);
    io.i16(23, psec);
  }
  if (!io.write) {
    const bool present[3] = {rsec > 0, psec > 0, mp > 0};
    for (int i = 0; i < 3; ++i) {
      if (!present[i]) continue;
      if (!ensure_part(obj, i)) { io.failed = true; return; }
    }
    if (present[0]) { part(obj, 0)->u.poly.size = rsize; part(obj, 0)->u.poly.sections = rsec; }
    if (present[1]) { part(obj, 1)->u.poly.size = psize; part(obj, 1)->u.poly.sections = psec; }
    if (present[2]) part(obj, 2)->u.multipoint.count = mp;
    for (int i = 0; i < 3; ++i)
      if (!present[i] && part(obj, i)) (i == 2 ? part(obj, i)->u.multipoint.count : part(obj, i)->u.poly.sections) = 0;
  }
}

void collection_styles(RecIO& io, MapObject* obj, int desc, int sym, int nm, int rpen, int ppen, int rbrush) {
  MapObject* r = part_present(obj, 0) ? part(obj, 0) : nullptr;
  MapObject* p = part_present(obj, 1) ? part(obj, 1) : nullptr;
  MapObject* m = part_present(obj, 2) ? part(obj, 2) : nullptr;
  // Absent parts write zero indexes.
  if (m) io.symbol_set(desc, sym, nm, m->u.multipoint.symbol);
  else if (io.write) std::memset(io.rec + desc, 0, 17);
  if (p) io.pen(ppen, p->pen);
  else if (io.write) io.rec[ppen] = 0;
  if (r) {
    io.pen(rpen, r->pen);
    io.brush(rbrush, r->brush);
  } else if (io.write) {
    io.rec[rpen] = 0;
    io.rec[rbrush] = 0;
  }
}

void collection_inline_styles(RecIO& io, MapObject* obj, int desc, int sym, int nm, int rpen, int ppen, int rbrush) {
  MapObject* r = part_present(obj, 0) ? part(obj, 0) : nullptr;
  MapObject* p = part_present(obj, 1) ? part(obj, 1) : nullptr;
  MapObject* m = part_present(obj, 2) ? part(obj, 2) : nullptr;
  if (m) {
    io.descriptor(desc, m->u.multipoint.symbol);
    io.symbol(sym, m->u.multipoint.symbol);
    io.name(nm, m->u.multipoint.symbol.kind == 1 ? m->u.multipoint.symbol.font.name
                                                 : m->u.multipoint.symbol.bitmap.name,
            m->u.multipoint.symbol.kind == 2);
  }
  if (p) io.pen(ppen, p->pen);
  if (r) {
    io.pen(rpen, r->pen);
    io.brush(rbrush, r->brush);
  }
}

// The text's bounding rectangle from its box and label line.
void text_bounds(MapObject* obj) {
  obj->mbr = obj->u.text.box;
  if (obj->u.text.flags & 0xE0) rect_add_point(&obj->mbr, &obj->u.text.label_end);
}

// The walker proper: the layouts of every record code.
void walk(RecIO& io, MapObject* obj, int code) {
  const int v = variant(code);
  io.compressed = v == 0;
  io.inline_styles = v == 2;
  const int base = code - v;
  if (own_centre_code(base) && v == 0) {
    // The centre field's offset by base code.
    int off = 0;
    switch (base) {
      case 7: off = 17; break;
      case 13: case 46: off = 19; break;
      case 37: case 49: off = 19; break;
      case 52: off = 34; break;
      case 55: off = 45; break;
      case 61: case 64: off = 54; break;
      case 67: off = 67; break;
      case 70: off = 50; break;
    }
    if (io.write) rect_center(&obj->mbr, &io.centre);
    io.own_centre(off);
  }
  const bool c = v == 0;
  switch (base) {
    case 1: case 43: case 40: {  // points
      IntPoint& p = obj->u.point.location;
      SymbolStyle& s = obj->u.point.symbol;
      if (base == 1) {
        io.pt(5, p);
        if (!io.write) s.kind = 0;
        io.symbol(c ? 9 : 13, s);
      } else if (base == 40) {
        if (!io.write) s.kind = 1;
        io.font_symbol_fields(5, 6, 7, 15, s);
        io.pt(17, p);
        io.name(c ? 21 : 25, s.font.name, false);
      } else {
        if (!io.write) s.kind = 2;
        io.bitmap_flags(6, s);
        io.pt(7, p);
        io.symbol(c ? 11 : 15, s);
        io.name(c ? 12 : (v == 1 ? 16 : 23), s.bitmap.name, true);
      }
      if (!io.write) obj->mbr = IntRect{p.x, p.y, p.x, p.y};
      break;
    }
    case 58: {
      IntPoint& p = obj->u.point.location;
      io.zm_flags(5, obj, 8);
      io.f64(6, obj->u.point.z);
      io.f64(14, obj->u.point.m);
      if (v == 2) {
        // The inline variant: flags, values, descriptor and point only.
        io.inline_styles = false;
        io.descriptor(22, obj->u.point.symbol);
        io.compressed = false;
        io.pt(39, p);
      } else {
        io.symbol_set(22, 37, 38, obj->u.point.symbol);
        io.pt(39, p);
      }
      if (!io.write) obj->mbr = IntRect{p.x, p.y, p.x, p.y};
      break;
    }
    case 4: {
      io.pt(5, obj->u.line.start);
      io.pt(c ? 9 : 13, obj->u.line.end);
      io.pen(c ? 13 : 21, obj->pen);
      if (!io.write) rect_from_points(&obj->mbr, &obj->u.line.start, &obj->u.line.end);
      break;
    }
    case 10: {
      int32_t s = obj->u.arc.start, e = obj->u.arc.end;
      io.i16(5, s);
      io.i16(7, e);
      io.rect(9, obj->u.arc.rect);
      io.rect(c ? 17 : 25, obj->mbr);
      io.pen(c ? 25 : 41, obj->pen);
      if (!io.write) {
        for (int guard = 0; s >= e && guard < 40; ++guard) e += 3600;
        obj->u.arc.start = static_cast<int16_t>(s);
        obj->u.arc.end = static_cast<int16_t>(std::clamp(e, -32768, 32767));
      }
      break;
    }
    case 7: case 13: case 46: case 37: case 49: case 61: case 64: {
      const bool region = base == 13 || base == 46 || base == 61;
      const bool zm = base >= 61;
      io.coord_field(5);
      size_word(io, 9, obj, code);
      int label = 13;
      if (base != 7) {
        sections_field(io, 13, obj, zm, code);
        label = 15;
      }
      if (zm) {
        io.zm_flags(17, obj, 0x1c);
        zm_ranges(io, 18, obj, poly_nodes(obj));
        label = 50;
      }
      io.pt(label, obj->u.poly.center);
      int r = label + io.p_size() + (c ? 8 : 0);
      io.rect(r, obj->mbr);
      io.pen(r + io.r_size(), obj->pen);
      if (region) io.brush(r + io.r_size() + (v == 2 ? 6 : 1), obj->brush);
      break;
    }
    case 16: {
      MapTextPart& t = obj->u.text;
      io.coord_field(5);
      int32_t len = t.length;
      io.i16(9, len);
      uint8_t hb = (t.flags & 0x100) ? 0x80 : 0, fl = static_cast<uint8_t>(t.flags);
      io.u8(11, hb);
      io.u8(12, fl);
      int32_t angle = t.angle;
      io.i16(13, angle);
      if (io.write) font_pack(&t.font, io.rec + 15);
      else font_unpack(io.rec + 15, &t.font);
      io.pt(23, t.label_end);
      int32_t height = (t.flags & 0x100) ? t.font.size : t.height;
      int box;
      if (c) {
        io.i16(27, height);
        io.name(29, t.font.name, false);
        box = 30;
      } else {
        io.i32(31, height);
        io.name(35, t.font.name, false);
        box = v == 1 ? 36 : 67;
      }
      io.rect(box, t.box);
      io.pen(box + io.r_size(), obj->pen);
      if (!io.write) {
        if (len < 0) io.failed = true;
        t.length = static_cast<int16_t>(len);
        t.flags = fl | (hb & 0x80 ? 0x100u : 0u);
        t.angle = static_cast<int16_t>(len > 255 ? 0 : angle);
        if (t.flags & 0x100) {
          t.font.size = static_cast<int16_t>(std::clamp(height, -32768, 32767));
          t.height = 0;
        } else {
          t.height = height;
        }
        text_bounds(obj);
      }
      break;
    }
    case 19: case 25: {
      io.rect(5, obj->mbr);
      const int p = c ? 13 : 21;
      io.pen(p, obj->pen);
      io.brush(p + (v == 2 ? 6 : 1), obj->brush);
      break;
    }
    case 22: {
      int r;
      if (c) {
        io.u16(5, obj->u.roundrect.corner_width);
        io.u16(7, obj->u.roundrect.corner_height);
        r = 9;
      } else {
        io.i32(5, obj->u.roundrect.corner_width);
        io.i32(9, obj->u.roundrect.corner_height);
        r = 13;
      }
      io.rect(r, obj->mbr);
      const int p = r + io.r_size();
      io.pen(p, obj->pen);
      io.brush(p + (v == 2 ? 6 : 1), obj->brush);
      break;
    }
    case 28: {
      int32_t flags = static_cast<int32_t>(obj->u.frame.frame_flags & 1);
      io.i32(5, flags);
      char name[64] = {};
      if (io.write) {
        if (!io.dry) {
          kernel_bitmap_name(obj->u.frame.value512, obj->u.frame.value513, name);
          name[59] = '\0';
          if (io.mf) charset_convert(name, charset_current(), io.mf->charset);
        }
        std::memset(io.rec + 9, 0, 60);
        std::memcpy(io.rec + 9, name, std::strlen(name));
      } else {
        std::memcpy(name, io.rec + 9, 60);
        if (io.mf) charset_convert(name, io.mf->charset, charset_current());
        int16_t a = 0, b = 0;
        kernel_bitmap_ids(name, &a, &b);
        obj->u.frame.value512 = a;
        obj->u.frame.value513 = b;
        obj->u.frame.frame_flags = flags & 1;
      }
      io.rect(69, obj->mbr);
      const int p = c ? 77 : 85;
      io.pen(p, obj->pen);
      io.brush(p + (v == 2 ? 6 : 1), obj->brush);
      break;
    }
    case 31: case 34: {
      MapItemPart& it = obj->u.items;
      io.coord_field(5);
      const int o = base == 31 ? 0 : 4;
      if (base == 34) io.i32(9, it.values[0]);
      io.u8(9 + o, it.flag);
      io.u8(10 + o, it.count);
      if (!io.write) it.flag &= 1;
      io.i32(11 + o, it.values[base == 31 ? 0 : 1]);
      io.i32(15 + o, it.values[base == 31 ? 1 : 2]);
      io.rect(19 + o, obj->mbr);
      io.pen(19 + o + (c ? 8 : 16), obj->pen);
      break;
    }
    case 52: case 67: {
      MapMultiPointPart& mp = obj->u.multipoint;
      const bool zm = base == 67;
      io.coord_field(5);
      io.i32(9, mp.count);
      int desc = 13;
      if (zm) {
        io.zm_flags(13, obj, 8);
        zm_ranges(io, 14, obj, mp.count);
        desc = 46;
      }
      int label;
      if (v == 2) {
        io.descriptor(desc, mp.symbol);
        io.symbol(desc + 15, mp.symbol);
        io.name(desc + 23, mp.symbol.kind == 1 ? mp.symbol.font.name : mp.symbol.bitmap.name, mp.symbol.kind == 2);
        label = desc + 55;
      } else {
        io.symbol_set(desc, desc + 15, desc + 16, mp.symbol);
        label = desc + 17;
      }
      io.pt(label, mp.center);
      io.rect(label + io.p_size() + (c ? 8 : 0), obj->mbr);
      if (!io.write && mp.count < 0) io.failed = true;
      break;
    }
    case 55: case 70: {
      io.coord_field(5);
      collection_header(io, obj, code);
      if (io.failed) break;
      const int d = base == 55 ? 25 : 30;
      if (base == 70) {
        uint8_t f = 0;
        if (io.write && io.mf) {
          f = 4;
          if (io.mf->zm) {
            for (int i = 0; i < 3; ++i) {
              if (!part_present(obj, i)) continue;
              const MapObject* p = part(obj, i);
              f |= static_cast<uint8_t>((p->has_z ? 1 : 0) | (p->has_m ? 2 : 0) | (i == 2 ? 8 : 0x1c));
            }
          }
        }
        io.u8(29, f);
      }
      if (v == 2) {
        collection_inline_styles(io, obj, d, d + 15, d + 23, d + 55, d + 61, d + 67);
        io.rect(d + 75, obj->mbr);
      } else {
        collection_styles(io, obj, d, d + 15, d + 16, d + 17, d + 18, d + 19);
        io.rect(d + 20 + (c ? 8 : 0), obj->mbr);
      }
      break;
    }
    default: io.failed = true; break;
  }
}

// ---- coordinate chain ------------------------------------------------------

struct ChainReader {
  MapFile* mf;
  MapBlock* blk;
  int32_t off;  // within the data area
  int32_t used;
  int32_t hops;
  bool ok;

  bool start(int32_t pos) {
    const int32_t b = mf->block_size;
    const int32_t bp = pos - pos % b;
    off = pos % b - 8;
    if (pos <= 0 || off < 0) return fail("coordinate position");
    if (!mapblock_read(mf, blk, bp)) return ok = false;
    return enter();
  }
  bool enter() {
    if (le_get16(blk->data) != MAPBLOCK_COORD) return fail("coordinate block");
    used = le_get16(blk->data + 2);
    if (used < 0 || used > mf->block_size - 8 || off > used) return fail("coordinate block");
    return true;
  }
  bool fail(const char* why) {
    if (ok) mapfile_damaged(mf, why);
    return ok = false;
  }
  const uint8_t* take(int32_t n) {
    if (!ok) return nullptr;
    if (off + n > used) {
      const int32_t next = le_get32(blk->data + 4);
      const int32_t limit = file_get_size(mf->file) / mf->block_size + 1;
      if (next == 0 || ++hops > limit) { fail("coordinate chain"); return nullptr; }
      if (!mapblock_read(mf, blk, next)) { ok = false; return nullptr; }
      off = 0;
      if (!enter()) return nullptr;
      if (n > used) { fail("coordinate chain"); return nullptr; }
    }
    const uint8_t* p = blk->data + 8 + off;
    off += n;
    return p;
  }
};

struct ChainWriter {
  MapFile* mf;
  MapBlock* blk;
  int32_t used;
  bool ok;

  bool room(int32_t n) {
    if (mf->block_size >= 8 + used + n) return true;
    int32_t pos = 0;
    if (!mapblock_new_position(mf, &pos)) return ok = false;
    le_put32(blk->data + 4, pos);
    if (!mapblock_write(mf, blk, blk->position)) return ok = false;
    mapblock_init(mf, blk, MAPBLOCK_COORD);
    blk->position = pos;
    used = 0;
    return true;
  }
  uint8_t* put(int32_t n) {
    if (!ok || !room(n)) return nullptr;
    uint8_t* p = blk->data + 8 + used;
    used += n;
    le_put16(blk->data + 2, used);
    return p;
  }
};

// The chain walker: IO is either direction. Sizes of every buffer are
// settled (and checked against the file) before any point moves.
struct ChainIO {
  bool write;
  bool compressed;
  IntPoint centre;
  ChainReader* r;
  ChainWriter* w;
  bool ok = true;

  void i16(int32_t& v) {
    if (write) { if (uint8_t* p = w->put(2)) le_put16(p, v); else ok = false; }
    else if (const uint8_t* p = r->take(2)) v = le_get16(p); else ok = false;
  }
  void i32(int32_t& v) {
    if (write) { if (uint8_t* p = w->put(4)) le_put32(p, v); else ok = false; }
    else if (const uint8_t* p = r->take(4)) v = le_get32(p); else ok = false;
  }
  void f64(double& v) {
    if (write) { if (uint8_t* p = w->put(8)) le_putf64(p, v); else ok = false; }
    else if (const uint8_t* p = r->take(8)) v = le_getf64(p); else ok = false;
  }
  void byte(uint8_t& v) {
    if (write) { if (uint8_t* p = w->put(1)) *p = v; else ok = false; }
    else if (const uint8_t* p = r->take(1)) v = *p; else ok = false;
  }
  void coord(int32_t& v, int32_t base) {
    if (!compressed) return i32(v);
    int32_t d = static_cast<int32_t>(static_cast<int64_t>(v) - base);
    i16(d);
    if (!write) {
      const int64_t x = static_cast<int64_t>(base) + d;
      if (x > INT32_MAX || x < INT32_MIN) ok = false;
      v = static_cast<int32_t>(x);
    }
  }
  void pt(IntPoint& p) {
    coord(p.x, centre.x);
    coord(p.y, centre.y);
  }
  void rect(IntRect& rc) {
    IntPoint a{rc.x1, rc.y1}, b{rc.x2, rc.y2};
    pt(a);
    pt(b);
    if (!write) rc = IntRect{a.x, a.y, b.x, b.y};
  }
  int32_t bytes_per_point() const { return compressed ? 4 : 8; }
};

int16_t grow(void** buf, int64_t size) {
  if (size > kMapNodeBufferLimit - 1) return 0;
  return mapobj_grow_buffer(size, buf, nullptr, 0);
}

// The chain cannot hold more bytes than the file: anything larger is damage,
// refused before any buffer grows.
bool plausible(MapFile* mf, ChainIO& io, int64_t chain_bytes) {
  if (io.write) return true;
  const int64_t size = file_get_size(mf->file);
  if (chain_bytes < 0 || chain_bytes > size) {
    mapfile_damaged(mf, "coordinate data size");
    return false;
  }
  return true;
}

bool zm_values(MapFile* mf, ChainIO& io, MapObject* obj, int32_t n, bool enabled) {
  if (!enabled) return true;
  double** arrays[2] = {&obj->z, &obj->m};
  const int16_t has[2] = {obj->has_z, obj->has_m};
  for (int i = 0; i < 2; ++i) {
    if (!has[i]) continue;
    if (!io.write) {
      if (!plausible(mf, io, 8LL * n)) return false;
      void* b = *arrays[i];
      if (!grow(&b, 8LL * std::max(n, 1))) return false;
      *arrays[i] = static_cast<double*>(b);
    }
    for (int32_t k = 0; k < n && io.ok; ++k) io.f64((*arrays[i])[k]);
  }
  return io.ok;
}

// Section headers and points of a polyline or region (or a collection part).
bool sections_and_points(MapFile* mf, ChainIO& io, MapObject* obj, SectionFormat fmt, int32_t count_hint) {
  const int32_t s = obj->u.poly.sections;
  if (s < 0 || s > kMapMaxSections) return mapfile_damaged(mf, "section count"), false;
  const int64_t head = 28LL * s;
  if (!io.write) {
    const int64_t per_head = (fmt == SEC_CLASSIC ? 4 : (fmt == SEC_LARGE ? 6 : 8)) + (io.compressed ? 8 : 16) + 4;
    if (!plausible(mf, io, per_head * s)) return false;
    if (!grow(&obj->nodes, std::max<int64_t>(head, 1))) return false;
  }
  auto* sec = static_cast<uint8_t*>(obj->nodes);
  const int32_t adjust = fmt == SEC_CLASSIC ? 4 * s : 0;
  int64_t total = 0;
  for (int32_t i = 0; i < s && io.ok; ++i) {
    MapSection h{};
    if (io.write) std::memcpy(&h, sec + 28LL * i, 28);
    int32_t cnt = h.node_count, holes = h.holes;
    if (fmt == SEC_CLASSIC) io.i16(cnt); else io.i32(cnt);
    if (fmt == SEC_EXTENDED) io.i32(holes); else io.i16(holes);
    io.rect(h.mbr);
    int32_t offset = h.node_offset - adjust;
    io.i32(offset);
    if (!io.write) {
      if (cnt < 0) return mapfile_damaged(mf, "section"), false;
      h.node_count = cnt;
      h.holes = holes;
      h.node_offset = offset + adjust;
      std::memcpy(sec + 28LL * i, &h, 28);
      total += cnt;
    }
  }
  if (!io.ok) return false;
  int64_t nodes = (static_cast<int64_t>(obj->u.poly.size) - head) / 8;
  if (!io.write) {
    (void)count_hint;
    if (total > kMapMaxNodesAdded) return mapfile_damaged(mf, "node count"), false;
    nodes = total;
    if (!plausible(mf, io, nodes * io.bytes_per_point())) return false;
    const int64_t size = head + 8 * nodes;
    if (!grow(&obj->nodes, std::max<int64_t>(size, 1))) return false;
    obj->u.poly.size = static_cast<int32_t>(size);
    // Every section's run must lie inside the node data.
    for (int32_t i = 0; i < s; ++i) {
      MapSection h;
      std::memcpy(&h, static_cast<uint8_t*>(obj->nodes) + 28LL * i, 28);
      if (h.node_offset < head || (h.node_offset - head) % 8 || h.node_offset + 8LL * h.node_count > size)
        return mapfile_damaged(mf, "section offset"), false;
    }
  }
  auto* pts = reinterpret_cast<uint8_t*>(obj->nodes) + head;
  for (int64_t k = 0; k < nodes && io.ok; ++k) {
    IntPoint p{};
    if (io.write) std::memcpy(&p, pts + 8 * k, 8);
    io.pt(p);
    if (!io.write) std::memcpy(pts + 8 * k, &p, 8);
  }
  return io.ok;
}

bool multipoint_points(MapFile* mf, ChainIO& io, MapObject* obj) {
  const int32_t n = obj->u.multipoint.count;
  if (n < 0 || n > kMapMaxNodesAdded) return mapfile_damaged(mf, "point count"), false;
  if (!io.write) {
    if (!plausible(mf, io, static_cast<int64_t>(n) * io.bytes_per_point())) return false;
    if (!grow(&obj->nodes, std::max<int64_t>(8LL * n, 1))) return false;
  }
  auto* pts = static_cast<uint8_t*>(obj->nodes);
  for (int32_t k = 0; k < n && io.ok; ++k) {
    IntPoint p{};
    if (io.write) std::memcpy(&p, pts + 8LL * k, 8);
    io.pt(p);
    if (!io.write) std::memcpy(pts + 8LL * k, &p, 8);
  }
  return io.ok;
}

bool walk_chain(MapFile* mf, ChainIO& io, MapObject* obj, int code) {
  const int base = code - variant(code);
  io.compressed = variant(code) == 0;
  rect_center(&obj->mbr, &io.centre);
  switch (base) {
    case 7: {
      int64_t n = (static_cast<int64_t>(obj->u.poly.size) - 28) / 8;
      if (!io.write) {
        if (!plausible(mf, io, n * io.bytes_per_point())) return false;
        if (!grow(&obj->nodes, 28 + 8 * std::max<int64_t>(n, 0))) return false;
        MapSection h{static_cast<int32_t>(n), 0, obj->mbr, 28};
        std::memcpy(obj->nodes, &h, 28);
      }
      auto* pts = static_cast<uint8_t*>(obj->nodes) + 28;
      for (int64_t k = 0; k < n && io.ok; ++k) {
        IntPoint p{};
        if (io.write) std::memcpy(&p, pts + 8 * k, 8);
        io.pt(p);
        if (!io.write) std::memcpy(pts + 8 * k, &p, 8);
      }
      return io.ok;
    }
    case 13: case 46: case 37: case 49: case 61: case 64: {
      if (!sections_and_points(mf, io, obj, section_format(code), 0)) return false;
      return zm_values(mf, io, obj, poly_nodes(obj), base >= 61 && (io.write ? mf->zm != 0 : true));
    }
    case 16: {
      const int32_t n = obj->u.text.length;
      if (!io.write && !grow(&obj->nodes, n + 1LL)) return false;
      char* t = static_cast<char*>(obj->nodes);
      for (int32_t k = 0; k < n && io.ok; ++k) {
        uint8_t ch = static_cast<uint8_t>(t[k]);
        io.byte(ch);
        t[k] = static_cast<char>(ch);
      }
      if (!io.write && io.ok) {
        t[n] = '\0';
        charset_convert(t, mf->charset, charset_current());
      }
      return io.ok;
    }
    case 31: case 34: {
      const int32_t n = obj->u.items.count;
      const int32_t each = base == 31 ? 12 : 24;
      if (!io.write && !grow(&obj->nodes, std::max(each * n, 1))) return false;
      auto* it = static_cast<uint8_t*>(obj->nodes);
      for (int32_t k = 0; k < n && io.ok; ++k) {
        uint8_t* item = it + each * k;
        if (base == 31) {
          for (int j = 0; j < 6; ++j) {
            int16_t x;
            std::memcpy(&x, item + 2 * j, 2);
            int32_t v = x;
            io.i16(v);
            x = static_cast<int16_t>(v);
            std::memcpy(item + 2 * j, &x, 2);
          }
        } else {
          int32_t a;
          double d;
          int16_t e;
          std::memcpy(&a, item, 4);
          std::memcpy(&d, item + 8, 8);
          std::memcpy(&e, item + 16, 2);
          int32_t ev = e;
          io.i32(a);
          io.f64(d);
          io.i16(ev);
          e = static_cast<int16_t>(ev);
          std::memcpy(item, &a, 4);
          std::memcpy(item + 8, &d, 8);
          std::memcpy(item + 16, &e, 2);
        }
      }
      return io.ok;
    }
    case 52: case 67:
      if (!multipoint_points(mf, io, obj)) return false;
      return zm_values(mf, io, obj, obj->u.multipoint.count, base == 67 && (io.write ? mf->zm != 0 : true));
    case 55: case 70: {
      for (int i = 0; i < 3 && io.ok; ++i) {
        if (!part_present(obj, i)) continue;
        MapObject* p = part(obj, i);
        if (base == 70 && i < 2) {
          int32_t s = p->u.poly.sections;
          io.i32(s);
        }
        if (i < 2) {
          io.pt(p->u.poly.center);
          io.rect(p->mbr);
          if (!sections_and_points(mf, io, p, base == 55 ? SEC_LARGE : SEC_EXTENDED, 0)) return false;
        } else {
          io.pt(p->u.multipoint.center);
          io.rect(p->mbr);
          if (!multipoint_points(mf, io, p)) return false;
        }
      }
      return io.ok;
    }
    default: return true;
  }
}

}  // namespace

// ---- decoding --------------------------------------------------------------

int16_t maprec_decode(MapFile* mf, const uint8_t* record, int available, MapObject* obj, int32_t* coord_pos,
                      const IntPoint* centre, int16_t release) {
  const int code = record[0];
  const int len = maprec_length(mf, code);
  if (code == 0 || code > kMapHighestCode || len == 0 || len > available) return mapfile_damaged(mf, "record");
  // Zero the object but keep its buffers and parts.
  void* nodes = obj->nodes;
  double* z = obj->z;
  double* m = obj->m;
  const uint32_t flags = obj->flags;
  MapHandle handles[3] = {obj->region_handle, obj->polyline_handle, obj->multipoint_handle};
  const int type = maprec_object_type(code);
  if (type != MAPOBJ_COLLECTION && !(flags & MAPOBJ_BORROWED)) {
    // Parts of an earlier collection go with it.
    for (auto& h : handles) {
      if (!h) continue;
      mapobj_destroy(&h);
    }
  }
  std::memset(obj, 0, sizeof *obj);
  obj->nodes = nodes;
  obj->z = z;
  obj->m = m;
  obj->flags = flags;
  obj->type = static_cast<uint8_t>(type);
  obj->region_handle = handles[0];
  obj->polyline_handle = handles[1];
  obj->multipoint_handle = handles[2];
  obj->pen = g_default_style_set.line_pen;
  obj->brush = g_default_style_set.brush;
  if (type == MAPOBJ_POINT || type == MAPOBJ_MULTIPOINT) {
    SymbolStyle& s = type == MAPOBJ_POINT ? obj->u.point.symbol : obj->u.multipoint.symbol;
    s = g_default_style_set.symbol;
  }
  if (type == MAPOBJ_TEXT) obj->u.text.font = g_default_style_set.font;
  if (type == MAPOBJ_COLLECTION) {
    obj->u.collection.region = handles[0];
    obj->u.collection.polyline = handles[1];
    obj->u.collection.multipoint = handles[2];
  }
  obj->row_id = le_get32(record + 1);
  RecIO io{};
  io.mf = mf;
  io.rec = const_cast<uint8_t*>(record);
  io.write = false;
  io.release = release;
  if (centre) io.centre = *centre;
  walk(io, obj, code);
  if (io.failed) return mapfile_damaged(mf, "record fields");
  if (type == MAPOBJ_POINT) obj->mbr = IntRect{obj->u.point.location.x, obj->u.point.location.y,
                                              obj->u.point.location.x, obj->u.point.location.y};
  if (coord_pos) *coord_pos = io.coord;
  return 1;
}

int16_t mapfile_read_coords(MapFile* mf, MapBlock* coord, int32_t coord_pos, MapObject* obj, int code) {
  if (!maprec_has_chain(mf, code)) return 1;
  ChainReader r{mf, coord, 0, 0, 0, true};
  if (!r.start(coord_pos)) return 0;
  ChainIO io{false, false, {}, &r, nullptr};
  const bool ok = walk_chain(mf, io, obj, code) && r.ok;
  if (!ok && r.ok && io.ok && err_count() == 0) return mapfile_damaged(mf, "coordinate data");
  return ok ? 1 : 0;
}

// ---- encoding --------------------------------------------------------------

int16_t maprec_base_code(const MapObject* obj, int16_t no_zm) {
  switch (obj->type) {
    case MAPOBJ_POINT:
      if (!no_zm && (obj->has_z || obj->has_m)) return 58;
      switch (obj->u.point.symbol.kind) {
        case 0: return 1;
        case 1: return 40;
        case 2: return 43;
        default: return 0;
      }
    case MAPOBJ_LINE: return 4;
    case MAPOBJ_ARC: return 10;
    case MAPOBJ_POLYLINE:
      if (mapobj_is_small_format(obj, no_zm)) return obj->u.poly.sections == 1 ? 7 : 37;
      return mapobj_is_large_format(obj, no_zm) ? 49 : 64;
    case MAPOBJ_REGION:
      if (mapobj_is_small_format(obj, no_zm)) return 13;
      return mapobj_is_large_format(obj, no_zm) ? 46 : 61;
    case MAPOBJ_TEXT: return 16;
    case MAPOBJ_RECT: return 19;
    case MAPOBJ_ROUNDRECT: return 22;
    case MAPOBJ_ELLIPSE: return 25;
    case MAPOBJ_FRAME: return 28;
    case MAPOBJ_TYPE11: return 31;
    case MAPOBJ_TYPE12: return 34;
    case MAPOBJ_MULTIPOINT: return mapobj_is_large_format(obj, no_zm) ? 52 : 67;
    case MAPOBJ_COLLECTION: return mapobj_is_large_format(obj, no_zm) ? 55 : 70;
    default: return 0;
  }
}

namespace {

// Compressed chain data of an own-centre code must hold every node.
bool nodes_fit16(const MapObject* obj, const IntPoint& c) {
  auto fits = [&](const IntPoint& p) { return fits16(static_cast<int64_t>(p.x) - c.x) && fits16(static_cast<int64_t>(p.y) - c.y); };
  auto poly = [&](const MapObject* o) {
    if (!o || !o->nodes) return true;
    const int64_t s = o->u.poly.sections;
    const auto* base = static_cast<const uint8_t*>(o->nodes);
    for (int64_t i = 0; i < s; ++i) {
      MapSection h;
      std::memcpy(&h, base + 28 * i, 28);
      if (!fits({h.mbr.x1, h.mbr.y1}) || !fits({h.mbr.x2, h.mbr.y2})) return false;
    }
    const int64_t n = (o->u.poly.size - 28 * s) / 8;
    for (int64_t k = 0; k < n; ++k) {
      IntPoint p{};
      std::memcpy(&p, base + 28 * s + 8 * k, 8);
      if (!fits(p)) return false;
    }
    return fits(o->u.poly.center);
  };
  auto multi = [&](const MapObject* o) {
    if (!o || !o->nodes) return true;
    const auto* base = static_cast<const uint8_t*>(o->nodes);
    for (int32_t k = 0; k < o->u.multipoint.count; ++k) {
      IntPoint p{};
      std::memcpy(&p, base + 8LL * k, 8);
      if (!fits(p)) return false;
    }
    return fits(o->u.multipoint.center);
  };
  switch (obj->type) {
    case MAPOBJ_POLYLINE: case MAPOBJ_REGION: return poly(obj);
    case MAPOBJ_MULTIPOINT: return multi(obj);
    case MAPOBJ_COLLECTION: {
      MapObject* o = const_cast<MapObject*>(obj);
      for (int i = 0; i < 3; ++i) {
        if (!part_present(obj, i)) continue;
        const MapObject* p = part(o, i);
        if (!fits({p->mbr.x1, p->mbr.y1}) || !fits({p->mbr.x2, p->mbr.y2})) return false;
        if (!(i == 2 ? multi(p) : poly(p))) return false;
      }
      return true;
    }
    default: return true;
  }
}

// A dry run of the encoder: does every field of the code hold its value?
bool code_holds(const MapFile* mf, const MapObject* obj, int code, const IntPoint* centre) {
  uint8_t scratch[128] = {};
  RecIO io{};
  io.mf = const_cast<MapFile*>(mf);
  io.rec = scratch;
  io.write = true;
  io.dry = true;
  if (centre) io.centre = *centre;
  MapObject copy = *obj;
  walk(io, &copy, code);
  if (io.overflow) return false;
  if (own_centre_code(code)) {
    IntPoint c;
    rect_center(&obj->mbr, &c);
    return nodes_fit16(obj, c);
  }
  return true;
}

}  // namespace

int mapfile_pick_code(const MapFile* mf, const MapObject* obj, const IntPoint* centre) {
  const int base = maprec_base_code(obj, mf && mf->zm ? 0 : 1);
  if (base == 0) return 0;
  if ((own_centre_code(base) || centre) && code_holds(mf, obj, base, centre)) return base;
  return base + 1;
}

// Validates what the encoder would refuse (styles that cannot be packed, a
// code whose fields overflow) without writing anything.
int16_t maprec_check(const MapFile* mf, const MapObject* obj, int code, const IntPoint* centre) {
  uint8_t scratch[128] = {};
  RecIO io{};
  io.mf = const_cast<MapFile*>(mf);
  io.rec = scratch;
  io.write = true;
  io.dry = true;
  if (centre) io.centre = *centre;
  MapObject copy = *obj;
  walk(io, &copy, code);
  return !io.failed && !io.overflow;
}

int16_t maprec_encode(MapFile* mf, const MapObject* obj, int code, uint8_t* record, int32_t data_pos,
                      const IntPoint* centre, int16_t count_uses) {
  const int len = maprec_length(mf, code);
  std::memset(record, 0, static_cast<size_t>(len));
  record[0] = static_cast<uint8_t>(code);
  le_put32(record + 1, obj->row_id);
  if (code < 1 || code > kMapHighestCode) return 1;
  RecIO io{};
  io.mf = mf;
  io.rec = record;
  io.write = true;
  io.count_uses = count_uses;
  io.coord = data_pos;
  if (centre) io.centre = *centre;
  MapObject copy = *obj;
  walk(io, &copy, code);
  if (io.overflow && !io.failed) return mapfile_damaged(mf, "record overflow");
  return !io.failed;
}

int16_t mapcoord_write(MapFile* mf, const MapObject* obj, int code, MapBlock* coord, int32_t* used,
                       int32_t* data_pos) {
  *data_pos = 0;
  if (!maprec_has_chain(mf, code)) return 1;
  ChainWriter w{mf, coord, *used, true};
  if (!w.room(4)) return 0;
  *data_pos = coord->position + 8 + w.used;
  ChainIO io{true, false, {}, nullptr, &w};
  MapObject copy = *obj;
  std::unique_ptr<char[]> text;
  if (obj->type == MAPOBJ_TEXT && obj->nodes) {
    // The characters go out in the file's character set.
    text.reset(new char[static_cast<size_t>(obj->u.text.length) + 1]);
    std::memcpy(text.get(), obj->nodes, static_cast<size_t>(obj->u.text.length));
    text[static_cast<size_t>(obj->u.text.length)] = '\0';
    charset_convert(text.get(), charset_current(), mf->charset);
    copy.nodes = text.get();
  }
  const bool ok = walk_chain(mf, io, &copy, code) && w.ok && io.ok;
  *used = w.used;
  return ok ? 1 : 0;
}
