// Parsers of the clauses that several statements share: the Type clause of
// a table's storage with its options, Charset, and the style clauses Pen,
// Brush, Symbol and Font. Each reads from the current token, consumes what
// it recognises and answers the 16-bit success flag. In check mode (lexer
// input mode 1) they read but store nothing.
#pragma once
#include <cstdint>

#include "kernel/runtime/style_rec.h"
#include "kernel/tables/tabdef.h"

constexpr int16_t kErrTypeName = 610;
constexpr int16_t kErrAccessVersion = 1309;
constexpr int16_t kErrNoCharset = 1283;
constexpr int16_t kErrPenValue = 804;
constexpr int16_t kErrBrushValue = 805;
constexpr int16_t kErrSymbolValue = 806;
constexpr int16_t kErrFontValue = 807;

// Mode 0: the "Definition Table" statement; 1: "Register Table" (LINKED is
// refused); 2 and 3 accept Database and Version before an Access Table.
int16_t clause_parse_type(StorageDesc* storage, int16_t mode, int16_t* linked, int16_t* wfs);
int16_t clause_parse_charset(int32_t* charset);
int16_t clause_parse_pen(PenStyle* pen);
int16_t clause_parse_brush(BrushStyle* brush);
int16_t clause_parse_symbol(SymbolStyle* symbol);
int16_t clause_parse_font(FontStyle* font);

struct StyleClauses {
  PenStyle line;
  PenStyle pen;
  BrushStyle brush;
  FontStyle font;
  SymbolStyle symbol;
};
// Any sequence of "Line" pen, "Pen", "Brush", "Symbol" and "Font" clauses:
// 1 when at least one was read and none failed.
int16_t clause_parse_styles(StyleClauses* styles);

// The type named by a Type clause word (cut to 9 characters): 0 for none;
// the flag output says SHAPEFILE (1), LINKED (2), WFS (3) or QUERY (4).
int32_t clause_type_of_name(const char* name, int16_t* flag);
