// The Type, Charset and style clause parsers, and the system colours.
#include <gtest/gtest.h>

#include "kernel/tables/clauses.h"
#include "kernel/tables/codemap.h"
#include "kernel/tables/defs/defs_fixture.h"

using defs_clauses = DefsTest;

TEST_F(defs_clauses, TypeClauseOptions) {
  const int16_t latin1 = charset_from_name("WindowsLatin1");
  ASSERT_GE(latin1, 0);
  at("ASCII Delimiter 44 Titles Charset \"WindowsLatin1\" Fields");
  StorageDesc s;
  int16_t linked = 5, wfs = 5;
  ASSERT_EQ(clause_parse_type(&s, 0, &linked, &wfs), 1);
  EXPECT_EQ(s.type, 3);
  const auto& a = std::get<AsciiOptions>(s.options);
  EXPECT_EQ(a.delimiter, 44);
  EXPECT_EQ(a.titles, 1);
  EXPECT_EQ(a.charset, latin1);
  EXPECT_EQ(a.charset, 10);  // WindowsLatin1's number in the charset table
  EXPECT_EQ(linked, 0);
  EXPECT_EQ(wfs, 0);
  EXPECT_STREQ(lex_token_text(), "Fields");  // reading stops at a word that is no option

  at("ASCII Delimiter \"\"");
  ASSERT_EQ(clause_parse_type(&s, 0, nullptr, nullptr), 1);
  EXPECT_EQ(std::get<AsciiOptions>(s.options).delimiter, 9);

  at("SHAPEFILE Charset \"WindowsLatin1\"");
  ASSERT_EQ(clause_parse_type(&s, 0, nullptr, nullptr), 1);
  EXPECT_EQ(s.type, 1);
  EXPECT_EQ(std::get<NativeOptions>(s.options).shapefile, 1);

  at("XLS Titles Range \"A1:C9\" Interactive");
  ASSERT_EQ(clause_parse_type(&s, 0, nullptr, nullptr), 1);
  EXPECT_EQ(s.type, 4);
  EXPECT_EQ(std::get<SheetOptions>(s.options).range, "A1:C9");
  EXPECT_EQ(std::get<SheetOptions>(s.options).interactive, 1);

  at("LINKED");
  ASSERT_EQ(clause_parse_type(&s, 0, &linked, &wfs), 1);
  EXPECT_EQ(s.type, 5);
  EXPECT_EQ(linked, 1);
}

TEST_F(defs_clauses, TypeClauseRefusals) {
  const struct {
    const char* text;
    int16_t mode;
    int code;
  } kCases[] = {
      {"LINKED", 1, 610},          // registration mode
      {"PARQUET", 0, 610},         // no such type
      {"NATIVE Charset \"Klingon\"", 0, 1283},
      {"ACCESS Password \"x\"", 0, 615},  // Table is required
  };
  for (const auto& c : kCases) {
    err_clear();
    at(c.text);
    StorageDesc s;
    EXPECT_EQ(clause_parse_type(&s, c.mode, nullptr, nullptr), 0) << c.text;
    EXPECT_EQ(err_first_code(), c.code) << c.text;
  }
}

TEST_F(defs_clauses, RegisterTableRefusesLinked) {
  put("x.DBF", "");
  EXPECT_EQ(stmt_exec_text(("Register Table \"" + path("x.DBF") + "\" Type LINKED").c_str(), 0), 0);
  EXPECT_EQ(codes(), std::vector<int>{610});
  EXPECT_EQ(files(), std::vector<std::string>{"x.DBF"});
}

TEST_F(defs_clauses, PenAndBrush) {
  const struct {
    const char* text;
    int width, pattern;
    uint32_t colour;
  } kPens[] = {
      {"Pen (0, 2, 255)", 1, 2, 255},   // width 0 with a pattern other than 1
      {"Pen (0, 1, 255)", 0, 1, 255},
      {"Pen (10, 5, 7)", 1, 2, 7},
      {"Pen (3, 5, 1, 9)", 3, 5, 9},    // four numbers: the fourth is the colour
  };
  for (const auto& c : kPens) {
    at(c.text);
    PenStyle p{};
    ASSERT_EQ(clause_parse_pen(&p), 1) << c.text;
    EXPECT_EQ(p.width, c.width) << c.text;
    EXPECT_EQ(p.pattern, c.pattern) << c.text;
    EXPECT_EQ(p.colour, c.colour) << c.text;
  }
  at("Pen (1, 256, 0)");
  PenStyle p{};
  EXPECT_EQ(clause_parse_pen(&p), 0);
  EXPECT_EQ(err_first_code(), 465);

  at("Brush (2, 16711680)");
  BrushStyle b{};
  ASSERT_EQ(clause_parse_brush(&b), 1);
  EXPECT_EQ(b.pattern, 2);
  EXPECT_EQ(b.fore, 0xFF0000u);
  EXPECT_EQ(b.back, 0xFFFFFFu);
  EXPECT_EQ(b.transparent, 1);
  at("Brush (2, 1, 2)");
  ASSERT_EQ(clause_parse_brush(&b), 1);
  EXPECT_EQ(b.back, 2u);
  EXPECT_EQ(b.transparent, 0);
}

TEST_F(defs_clauses, SymbolAndFont) {
  const struct {
    const char* text;
    int kind;
    int rotation;
  } kSymbols[] = {
      {"Symbol (35, 0, 12)", 0, 0},
      {"Symbol (65, 255, 10, \"Arial\", 0, -90)", 1, 2700},
      {"Symbol (65, 255, 10, \"Arial\", 0, 450.05)", 1, 901},
      {"Symbol (\"pin.bmp\", 255, 10, 1)", 2, 0},
  };
  for (const auto& c : kSymbols) {
    at(c.text);
    SymbolStyle s{};
    ASSERT_EQ(clause_parse_symbol(&s), 1) << c.text;
    EXPECT_EQ(s.kind, c.kind) << c.text;
    EXPECT_EQ(s.rotation, c.rotation) << c.text;
  }
  at("Font (\"Arial\", 1, 9, 255)");
  FontStyle f{};
  ASSERT_EQ(clause_parse_font(&f), 1);
  EXPECT_STREQ(f.name, "Arial");
  EXPECT_EQ(f.size, 9);
  EXPECT_EQ(f.back, 0xFFFFFFu);
  EXPECT_EQ(f.back_flag, 0);
  at("Font (\"Arial\", 256, 9, 255, 0)");  // halo: no background flag
  ASSERT_EQ(clause_parse_font(&f), 1);
  EXPECT_EQ(f.back_flag, 0);
  at("Font (\"Arial\", 1, 9, 255, 0)");
  ASSERT_EQ(clause_parse_font(&f), 1);
  EXPECT_EQ(f.back_flag, 1);

  StyleClauses st{};
  at("Line Pen (2, 2, 0) Brush (2, 1) Done");
  EXPECT_EQ(clause_parse_styles(&st), 1);
  EXPECT_EQ(st.line.width, 2);
  at("Done");
  EXPECT_EQ(clause_parse_styles(&st), 0);
}

TEST_F(defs_clauses, SystemColoursAndMappings) {
  EXPECT_EQ(syscolour_get(18), 0xFFFFFFu);
  EXPECT_EQ(syscolour_get(8), 0xFF0000u);
  EXPECT_EQ(syscolour_get(24), 0u);
  EXPECT_EQ(syscolour_get(-1), 0u);
  EXPECT_EQ(syscolour_resolve(-3), 0xC0C0C0);
  EXPECT_EQ(syscolour_resolve(7), 7);
  const struct {
    CodeMap map;
    int code, ext;
  } kPairs[] = {{CODEMAP_DIALOG, 5, 76}, {CODEMAP_IMAGE2, 6, 89}, {CODEMAP_IMPORT, 7, 27}, {CODEMAP_EXPORT, 4, 85}};
  for (const auto& p : kPairs) {
    EXPECT_EQ(codemap_to_ext(p.map, p.code), p.ext);
    EXPECT_EQ(codemap_from_ext(p.map, p.ext), p.code);
  }
  // Not every pair goes both ways.
  EXPECT_EQ(codemap_to_ext(CODEMAP_SOURCE, 1), 42);
  EXPECT_EQ(codemap_from_ext(CODEMAP_SOURCE, 42), 2);
  EXPECT_EQ(codemap_to_ext(CODEMAP_OPEN, 3), 2);
  EXPECT_EQ(codemap_from_ext(CODEMAP_OPEN, 2), 1);
  EXPECT_EQ(codemap_to_ext(CODEMAP_DIALOG, 99), 1);
  EXPECT_EQ(codemap_from_ext(CODEMAP_EXPORT, 99), 0);
  EXPECT_EQ(codemap_from_ext(CODEMAP_LIBRARY, 99), 2);
  EXPECT_EQ(codemap_to_ext(CODEMAP_KIND_STRING, 0), 515);
  EXPECT_EQ(codemap_to_ext(CODEMAP_KIND_STRING, 9), 0);
}
