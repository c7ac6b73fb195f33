// Styles of map objects: the packed stored forms of pens, brushes, symbols
// and fonts (colours as three bytes red, green, blue), the full symbol, font
// and style-set forms, clause texts and equality. The records themselves and
// their field access live in kernel/runtime/style_rec.h.
//
// Packed forms are byte arrays written and read byte by byte; a pen width
// the 6-byte form cannot hold is refused, never wrapped.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/style_rec.h"

constexpr int32_t kPenPackedSize = 6;
constexpr int32_t kBrushPackedSize = 8;
constexpr int32_t kSymbolPackedSize = 8;
constexpr int32_t kFontPackedSize = 8;
constexpr int32_t kFontPackedFullSize = 42;
constexpr int32_t kSymbolPackedFullSize = 46;
constexpr int32_t kStyleSetPackedSize = 109;
constexpr int16_t kPenWidthMaxStored = 2057;

// ---- pen widths ------------------------------------------------------------
int16_t pen_width_is_pixel(int16_t width);
int16_t pen_width_from_points(double points);
double pen_width_to_points(int16_t width);
// Packs a width into bytes 0 and 2 of a packed pen; widths below 0, 8, 9 and
// above 2057 push 465 with the width and write nothing.
int16_t pen_width_pack(int16_t width, uint8_t* packed);
int16_t pen_width_unpack(const uint8_t* packed);
int16_t pen_width_packed_is_pixel(const uint8_t* packed);
int16_t pen_width_packed_pixels(const uint8_t* packed);
int16_t pen_width_packed_extended(const uint8_t* packed);

// ---- packed forms ----------------------------------------------------------
int16_t pen_pack(const PenStyle* pen, uint8_t* out);
void pen_unpack(const uint8_t* in, PenStyle* pen);
void brush_pack(const BrushStyle* brush, uint8_t* out);
void brush_unpack(const uint8_t* in, BrushStyle* brush);
void symbol_pack(const SymbolStyle* symbol, uint8_t* out);
void symbol_unpack(const uint8_t* in, SymbolStyle* symbol);
void font_pack(const FontStyle* font, uint8_t* out);
void font_unpack(const uint8_t* in, FontStyle* font);
void font_pack_full(const FontStyle* font, uint8_t* out);
void font_unpack_full(const uint8_t* in, FontStyle* font);
void symbol_pack_full(const SymbolStyle* symbol, uint8_t* out);
void symbol_unpack_full(const uint8_t* in, SymbolStyle* symbol);
int16_t style_set_pack(const StyleSet* set, uint8_t* out);
void style_set_unpack(const uint8_t* in, StyleSet* set);

// ---- clause texts (into out, size bytes) ----------------------------------
char* pen_to_clause(int16_t width, int32_t pattern, int32_t third, uint32_t colour, char* out, int32_t size);
char* brush_to_clause(int32_t pattern, uint32_t fore, uint32_t back, uint8_t transparent, char* out, int32_t size);
char* line_to_clause(int16_t width, int32_t pattern, int32_t third, uint32_t colour, char* out, int32_t size);
char* symbol_to_clause(const SymbolStyle* symbol, char* out, int32_t size);
char* label_position_clause(int32_t code, char* out, int32_t size);

// ---- equality --------------------------------------------------------------
int16_t pen_equal(const PenStyle* a, const PenStyle* b);
int16_t pen_equal_pattern7(const PenStyle* a, const PenStyle* b);
int16_t brush_equal(const BrushStyle* a, const BrushStyle* b);
int16_t symbol_equal(const SymbolStyle* a, const SymbolStyle* b);
int16_t font_equal(const FontStyle* a, const FontStyle* b);
