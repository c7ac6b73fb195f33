// Packed forms, clause texts and equality of styles. See mapstyle.h.
#include "kernel/mapobjects/mapstyle.h"

#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/num.h"
#include "kernel/runtime/value.h"

namespace {

constexpr uint32_t kRgb = 0xFFFFFF;

void put_rgb(uint8_t* out, uint32_t colour) {
  out[0] = static_cast<uint8_t>(colour >> 16);
  out[1] = static_cast<uint8_t>(colour >> 8);
  out[2] = static_cast<uint8_t>(colour);
}
uint32_t get_rgb(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) << 16 | static_cast<uint32_t>(in[1]) << 8 | in[2];
}
void put16(uint8_t* out, int32_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
}
int16_t get16(const uint8_t* in) { return static_cast<int16_t>(in[0] | in[1] << 8); }

void put_name(uint8_t* out, const char* name) {
  char field[32];
  style_set_name(field, name);
  std::memcpy(out, field, 32);
}
void get_name(const uint8_t* in, char* field) {
  char tmp[33];
  std::memcpy(tmp, in, 32);
  tmp[32] = '\0';
  style_set_name(field, tmp);
}

// The name as a terminated text of at most 31 characters.
struct NameText {
  char text[32];
  explicit NameText(const char* field) { style_get_name(field, text, sizeof text); }
};

}  // namespace

// ---- pen widths ------------------------------------------------------------

int16_t pen_width_is_pixel(int16_t width) { return width < 10; }
int16_t pen_width_from_points(double points) { return num_round_short(points * 10 + 10); }
double pen_width_to_points(int16_t width) { return (width - 10) / 10.0; }

int16_t pen_width_pack(int16_t width, uint8_t* packed) {
  if (width < 0 || width == 8 || width == 9 || width > kPenWidthMaxStored) {
    char text[16];
    fmt_format(text, sizeof text, "%d", static_cast<int>(width));
    err_push(4, kErrStyleRange, text, nullptr);
    return 0;
  }
  if (width < 10) {
    packed[0] = static_cast<uint8_t>(width & 7);
    packed[2] = 0;
  } else if (width <= 265) {
    packed[0] = 1;
    packed[2] = static_cast<uint8_t>(width - 10);
  } else {
    packed[0] = static_cast<uint8_t>(8 | (((width - 10) >> 8) & 7));
    packed[2] = static_cast<uint8_t>((width - 10) & 0xFF);
  }
  return 1;
}

int16_t pen_width_packed_extended(const uint8_t* packed) {
  return static_cast<int16_t>(((packed[0] & 7) << 8 | packed[2]) + 10);
}
int16_t pen_width_packed_is_pixel(const uint8_t* packed) { return packed[2] == 0 && !(packed[0] & 8); }
int16_t pen_width_packed_pixels(const uint8_t* packed) { return packed[0] & 7; }

int16_t pen_width_unpack(const uint8_t* packed) {
  if (packed[0] & 8) return pen_width_packed_extended(packed);
  if (packed[2]) return static_cast<int16_t>(packed[2] + 10);
  return pen_width_packed_pixels(packed);
}

// ---- packed forms ----------------------------------------------------------

int16_t pen_pack(const PenStyle* pen, uint8_t* out) {
  uint8_t tmp[kPenPackedSize];
  if (!pen_width_pack(pen->width, tmp)) return 0;
  tmp[1] = static_cast<uint8_t>(pen->pattern);
  put_rgb(tmp + 3, pen->colour);
  std::memcpy(out, tmp, sizeof tmp);
  return 1;
}

void pen_unpack(const uint8_t* in, PenStyle* pen) {
  pen->width = pen_width_unpack(in);
  pen->pattern = in[1];
  pen->third = 0;
  pen->colour = get_rgb(in + 3);
}

void brush_pack(const BrushStyle* brush, uint8_t* out) {
  out[0] = static_cast<uint8_t>(brush->pattern);
  out[1] = brush->transparent;
  put_rgb(out + 2, brush->fore);
  put_rgb(out + 5, brush->back);
}

void brush_unpack(const uint8_t* in, BrushStyle* brush) {
  brush->pattern = in[0];
  brush->transparent = in[1];
  brush->fore = get_rgb(in + 2);
  brush->back = get_rgb(in + 5);
}

void symbol_pack(const SymbolStyle* symbol, uint8_t* out) {
  put16(out, symbol->shape);
  put16(out + 2, symbol->size);
  out[4] = 0;
  put_rgb(out + 5, symbol->colour);
}

void symbol_unpack(const uint8_t* in, SymbolStyle* symbol) {
  symbol->shape = get16(in);
  symbol->size = get16(in + 2);
  symbol->colour = get_rgb(in + 5);
}

void font_pack(const FontStyle* font, uint8_t* out) {
  out[0] = static_cast<uint8_t>(font->style_bits);
  out[1] = static_cast<uint8_t>((font->back_flag ? 1 : 0) | (font->flags[0] ? 2 : 0) | (font->flags[1] ? 4 : 0) |
                                (font->flags[2] ? 8 : 0));
  put_rgb(out + 2, font->fore);
  put_rgb(out + 5, font->back);
}

void font_unpack(const uint8_t* in, FontStyle* font) {
  font->style_bits = (font->style_bits & ~0xFFu) | in[0];
  font->back_flag = in[1] & 1;
  for (int i = 0; i < 3; ++i) font->flags[i] = (in[1] >> (i + 1)) & 1;
  font->fore = get_rgb(in + 2);
  font->back = get_rgb(in + 5);
  font->size = 0;
  font->extra = 0;
}

void font_pack_full(const FontStyle* font, uint8_t* out) {
  font_pack(font, out);
  put16(out + 8, font->size);
  put_name(out + 10, font->name);
}

void font_unpack_full(const uint8_t* in, FontStyle* font) {
  font_unpack(in, font);
  font->size = get16(in + 8);
  get_name(in + 10, font->name);
}

void symbol_pack_full(const SymbolStyle* symbol, uint8_t* out) {
  std::memset(out, 0, kSymbolPackedFullSize);
  symbol_pack(symbol, out);
  out[8] = symbol->kind;
  if (symbol->kind == 1) {
    put16(out + 10, symbol->rotation);
    put_name(out + 12, symbol->font.name);
    put16(out + 44, font_get_style(&symbol->font));
  } else if (symbol->kind == 2) {
    put_name(out + 10, symbol->bitmap.name);
    put16(out + 42, symbol_get_bitmap_style(symbol));
  }
}

void symbol_unpack_full(const uint8_t* in, SymbolStyle* symbol) {
  std::memset(symbol, 0, sizeof *symbol);
  symbol_unpack(in, symbol);
  symbol->kind = in[8];
  if (symbol->kind == 1) {
    symbol->rotation = get16(in + 10);
    get_name(in + 12, symbol->font.name);
    font_set_style(&symbol->font, get16(in + 44));
  } else if (symbol->kind == 2) {
    get_name(in + 10, symbol->bitmap.name);
    symbol_set_bitmap_style(symbol, get16(in + 42));
  }
}

int16_t style_set_pack(const StyleSet* set, uint8_t* out) {
  uint8_t tmp[kStyleSetPackedSize] = {};
  symbol_pack_full(&set->symbol, tmp);
  tmp[46] = static_cast<uint8_t>(set->brush.pattern);
  tmp[47] = set->brush.transparent;
  put_rgb(tmp + 48, set->brush.fore);
  put_rgb(tmp + 51, set->brush.back);
  if (!pen_pack(&set->area_pen, tmp + 54) || !pen_pack(&set->line_pen, tmp + 60)) return 0;
  font_pack(&set->font, tmp + 66);
  put16(tmp + 74, set->font.size);
  put_name(tmp + 76, set->font.name);
  tmp[108] = 31;
  std::memcpy(out, tmp, sizeof tmp);
  return 1;
}

void style_set_unpack(const uint8_t* in, StyleSet* set) {
  uint8_t flags = in[108];
  if (flags & 8) symbol_unpack_full(in, &set->symbol);
  if (flags & 1) {
    set->brush.pattern = in[46];
    set->brush.transparent = in[47];
    set->brush.fore = get_rgb(in + 48);
    set->brush.back = get_rgb(in + 51);
  }
  if (flags & 2) pen_unpack(in + 54, &set->area_pen);
  if (flags & 4) pen_unpack(in + 60, &set->line_pen);
  if (flags & 16) {
    font_unpack(in + 66, &set->font);
    set->font.size = get16(in + 74);
    get_name(in + 76, set->font.name);
  }
}

// ---- clause texts ----------------------------------------------------------

char* pen_to_clause(int16_t width, int32_t pattern, int32_t, uint32_t colour, char* out, int32_t size) {
  fmt_format(out, size, "Pen (%u,%u,%lu) ", static_cast<unsigned>(width), static_cast<unsigned>(pattern),
             static_cast<unsigned long>(colour & kRgb));
  return out;
}

char* brush_to_clause(int32_t pattern, uint32_t fore, uint32_t back, uint8_t transparent, char* out, int32_t size) {
  if (transparent)
    fmt_format(out, size, "Brush (%u,%lu) ", static_cast<unsigned>(pattern), static_cast<unsigned long>(fore & kRgb));
  else
    fmt_format(out, size, "Brush (%u,%lu,%lu) ", static_cast<unsigned>(pattern),
               static_cast<unsigned long>(fore & kRgb), static_cast<unsigned long>(back & kRgb));
  return out;
}

char* line_to_clause(int16_t width, int32_t pattern, int32_t third, uint32_t colour, char* out, int32_t size) {
  if (third == 0)
    fmt_format(out, size, "Line (%u,%u,%lu) ", static_cast<unsigned>(width), static_cast<unsigned>(pattern),
               static_cast<unsigned long>(colour & kRgb));
  else
    fmt_format(out, size, "Line (%u,%u,%u,%lu) ", static_cast<unsigned>(width), static_cast<unsigned>(pattern),
               static_cast<unsigned>(third), static_cast<unsigned long>(colour & kRgb));
  return out;
}

char* symbol_to_clause(const SymbolStyle* symbol, char* out, int32_t size) {
  unsigned long colour = symbol->colour & kRgb;
  switch (symbol->kind) {
    case 0:
      fmt_format(out, size, "Symbol (%u,%lu,%u) ", static_cast<unsigned>(symbol->shape), colour,
                 static_cast<unsigned>(symbol->size));
      break;
    case 1:
      fmt_format(out, size, "Symbol (%u,%lu,%u,\"%s\",%u,%g) ", static_cast<unsigned>(symbol->shape), colour,
                 static_cast<unsigned>(symbol->size), NameText(symbol->font.name).text,
                 static_cast<unsigned>(symbol_get_font_style(symbol)), symbol->rotation / 10.0);
      break;
    case 2:
      fmt_format(out, size, "Symbol (\"%s\",%lu,%u,%u) ", NameText(symbol->bitmap.name).text, colour,
                 static_cast<unsigned>(symbol->size), static_cast<unsigned>(symbol_get_bitmap_style(symbol)));
      break;
    default:
      if (size > 0) out[0] = '\0';
      break;
  }
  return out;
}

char* label_position_clause(int32_t code, char* out, int32_t size) {
  static const char* const kNames[9] = {"Center", "Above Left", "Above",      "Above Right", "Left",
                                        "Right",  "Below Left", "Below",      "Below Right"};
  fmt_format(out, size, " Position %s", code >= 0 && code < 9 ? kNames[code] : "");
  return out;
}

// ---- equality --------------------------------------------------------------

static int16_t pen_equal_rest(const PenStyle* a, const PenStyle* b) {
  return a->third == b->third && a->width == b->width && (a->colour & kRgb) == (b->colour & kRgb);
}

int16_t pen_equal(const PenStyle* a, const PenStyle* b) {
  if (a->pattern != b->pattern) return 0;
  return a->pattern == 1 ? 1 : pen_equal_rest(a, b);
}

int16_t pen_equal_pattern7(const PenStyle* a, const PenStyle* b) {
  if ((a->pattern & 0x7F) != (b->pattern & 0x7F)) return 0;
  return (a->pattern & 0x7F) == 1 ? 1 : pen_equal_rest(a, b);
}

int16_t brush_equal(const BrushStyle* a, const BrushStyle* b) {
  if (a->pattern != b->pattern) return 0;
  if (a->pattern == 1) return 1;
  if (a->fore != b->fore) return 0;
  if (a->pattern == 2) return 1;
  if ((a->transparent != 0) != (b->transparent != 0)) return 0;
  return a->transparent ? 1 : a->back == b->back;
}

static int16_t font_fields_equal(const FontStyle* a, const FontStyle* b) {
  return a->style_bits == b->style_bits && std::memcmp(a->flags, b->flags, sizeof a->flags) == 0 &&
         std::memcmp(a->name, b->name, sizeof a->name) == 0;
}

int16_t symbol_equal(const SymbolStyle* a, const SymbolStyle* b) {
  if (a->kind != b->kind) return 0;
  switch (a->kind) {
    case 0: return a->shape == b->shape && a->size == b->size && (a->colour & kRgb) == (b->colour & kRgb);
    case 1:
      return a->shape == b->shape && a->size == b->size && a->colour == b->colour &&
             font_fields_equal(&a->font, &b->font) && a->rotation == b->rotation;
    case 2:
      return a->size == b->size && a->colour == b->colour &&
             mb_str_equal_nocase(NameText(a->bitmap.name).text, NameText(b->bitmap.name).text) &&
             (a->bitmap.style_bits & 0xB) == (b->bitmap.style_bits & 0xB);
    default: return 1;
  }
}

int16_t font_equal(const FontStyle* a, const FontStyle* b) {
  if (!font_fields_equal(a, b) || a->size != b->size || std::memcmp(&a->extra, &b->extra, sizeof a->extra) != 0 ||
      a->back_flag != b->back_flag || (a->fore & kRgb) != (b->fore & kRgb))
    return 0;
  if (a->back_flag || a->flags[0]) return (a->back & kRgb) == (b->back & kRgb);
  return 1;
}
