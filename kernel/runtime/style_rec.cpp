// Field access of the style records. See style_rec.h.
#include "kernel/runtime/style_rec.h"

#include <cstring>

#include "kernel/runtime/fmt.h"
#include "kernel/runtime/str.h"

void style_get_name(const char* field, char* out, int32_t size) {
  if (!out || size <= 0) return;
  char tmp[32];
  std::memcpy(tmp, field, 31);
  tmp[31] = '\0';
  str_copy_n(out, tmp, size);
}

void style_set_name(char* field, const char* name) {
  std::memset(field, 0, 32);
  if (name) str_copy_n(field, name, 32);
}

int32_t font_get_style(const FontStyle* font) {
  int32_t style = static_cast<int32_t>(font->style_bits & 0xFF);
  for (int i = 0; i < 3; ++i)
    if (font->flags[i]) style |= 0x100 << i;
  return style;
}

void font_set_style(FontStyle* font, int32_t style) {
  font->style_bits = (font->style_bits & ~0xFFu) | (static_cast<uint32_t>(style) & 0xFF);
  for (int i = 0; i < 3; ++i) font->flags[i] = (style & (0x100 << i)) ? 1 : 0;
}

int32_t symbol_get_font_style(const SymbolStyle* symbol) {
  int32_t style = static_cast<int32_t>(symbol->font.style_bits & 0x31);
  if (symbol->font.flags[0]) style |= 0x100;
  return style;
}

void symbol_set_font_style(SymbolStyle* symbol, int32_t style) {
  symbol->font.style_bits = static_cast<uint32_t>(style) & 0x31;
  symbol->font.flags[0] = (style & 0x100) ? 1 : 0;
  symbol->font.flags[1] = 0;
  symbol->font.flags[2] = 0;
}

int32_t symbol_get_bitmap_style(const SymbolStyle* symbol) {
  uint32_t bits = symbol->bitmap.style_bits;
  return static_cast<int32_t>((bits & 1) | (bits & 2) | ((bits & 8) ? 4 : 0));
}

void symbol_set_bitmap_style(SymbolStyle* symbol, int32_t style) {
  uint32_t bits = symbol->bitmap.style_bits & ~0xBu;
  if (style & 1) bits |= 1;
  if (style & 2) bits |= 2;
  if (style & 4) bits |= 8;
  symbol->bitmap.style_bits = bits;
}

void symbol_set_bitmap_name(SymbolStyle* symbol, const char* name) {
  style_set_name(symbol->bitmap.name, name);
  symbol->shape = 0;
}

char* font_to_clause(const FontStyle* font, char* out, int32_t size) {
  if (!out || size <= 0) return out;
  char name[32];
  style_get_name(font->name, name, sizeof name);
  int32_t n = fmt_format(out, size, "Font (\"%s\",%u,%u,%lu", name, static_cast<unsigned>(font_get_style(font)),
                         static_cast<unsigned>(font->size), static_cast<unsigned>(font->fore & 0xFFFFFF));
  if (n < 0 || n >= size) n = static_cast<int32_t>(std::strlen(out));
  if (font->back_flag || font->flags[0])
    n += fmt_format(out + n, size - n, ",%lu", static_cast<unsigned>(font->back & 0xFFFFFF));
  if (n < size - 1) fmt_format(out + n, size - n, ")");
  return out;
}
