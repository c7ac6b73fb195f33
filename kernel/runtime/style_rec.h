// The four style records (pen, brush, symbol, font) as values and map
// objects hold them, and the field access the value layer needs: names,
// style numbers, bitmap fields and the font clause text. Packing, the other
// clause texts and equality belong to the map-object layer.
#pragma once
#include <cstdint>

struct PenStyle {
  int16_t width;    // 1-7 pixels; 10 + 10 x points from 10 up
  int32_t pattern;  // 1 draws nothing
  int32_t third;    // 0 when unpacked
  uint32_t colour;  // 0x00RRGGBB
};

struct BrushStyle {
  int32_t pattern;  // 1 none, 2 solid
  uint32_t fore;
  uint32_t back;
  uint8_t transparent;  // non-zero: the back colour is not drawn
};

struct FontStyle {
  uint32_t style_bits;  // bits 0-7 used
  int16_t flags[3];     // style bits 8, 9, 10
  char name[32];
  int16_t size;
  uint32_t fore;
  uint32_t back;
  uint8_t back_flag;
  double extra;  // zeroed when unpacked; part of equality
};

struct SymbolBitmap {
  char name[32];
  uint32_t style_bits;
};

struct SymbolStyle {
  int16_t shape;  // vector symbol, font character, 0 for bitmaps
  uint32_t colour;
  int16_t size;  // points
  uint8_t kind;  // 0 vector, 1 font, 2 bitmap
  union {
    FontStyle font;       // kind 1
    SymbolBitmap bitmap;  // kind 2
  };
  int16_t rotation;  // tenths of a degree (font symbols)
};

static_assert(sizeof(PenStyle) == 16 && sizeof(BrushStyle) == 16);
static_assert(sizeof(FontStyle) == 64 && sizeof(SymbolStyle) == 88);

// Names: at most 31 characters, the 32-byte field zero-filled behind them.
void style_get_name(const char* field, char* out, int32_t size);
void style_set_name(char* field, const char* name);
// Style number: bits 0-7 from the style bits, bits 8-10 from the flags.
int32_t font_get_style(const FontStyle* font);
void font_set_style(FontStyle* font, int32_t style);
// Font symbols keep style bits 0, 4, 5 and bit 8 (in the first flag).
int32_t symbol_get_font_style(const SymbolStyle* symbol);
void symbol_set_font_style(SymbolStyle* symbol, int32_t style);
// Bitmap symbols: style number bits 0, 1, 2 are word bits 0, 1, 3.
int32_t symbol_get_bitmap_style(const SymbolStyle* symbol);
void symbol_set_bitmap_style(SymbolStyle* symbol, int32_t style);
void symbol_set_bitmap_name(SymbolStyle* symbol, const char* name);
// "Font (\"name\",style,size,fore[,back])", no trailing blank.
char* font_to_clause(const FontStyle* font, char* out, int32_t size);
