// Styles: packed pen widths, clause texts and equality.
#include <cstring>
#include <string>

#include "kernel/mapobjects/mapstyle.h"
#include "kernel/mapobjects/mapobj_fixture.h"

namespace {

using mapobj_styles = MapObjTest;

TEST_F(mapobj_styles, PenWidthsRoundTripOrAreRefused) {
  const struct {
    int16_t width;
    int16_t packed;  // 0: refused with 465
    int16_t back;
    uint8_t byte0, byte2;
  } cases[] = {
      {1, 1, 1, 1, 0},        {7, 1, 7, 7, 0},          {10, 1, 1, 1, 0},        {11, 1, 11, 1, 1},
      {265, 1, 265, 1, 255},  {266, 1, 266, 9, 0},      {501, 1, 501, 9, 235},   {512, 1, 512, 9, 246},
      {2057, 1, 2057, 15, 255}, {0, 1, 0, 0, 0},        {8, 0, 0, 0, 0},         {9, 0, 0, 0, 0},
      {2058, 0, 0, 0, 0},     {2110, 0, 0, 0, 0},       {-1, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    err_clear();
    PenStyle pen = {c.width, 2, 77, 0x123456};
    uint8_t packed[kPenPackedSize];
    std::memset(packed, 0xEE, sizeof packed);
    ASSERT_EQ(pen_pack(&pen, packed), c.packed) << c.width;
    if (!c.packed) {
      EXPECT_EQ(err_first_code(), kErrStyleRange);
      EXPECT_EQ(Arg(0, 1), std::to_string(c.width));
      for (uint8_t b : packed) EXPECT_EQ(b, 0xEE) << c.width;
      continue;
    }
    EXPECT_EQ(packed[0], c.byte0) << c.width;
    EXPECT_EQ(packed[2], c.byte2) << c.width;
    EXPECT_EQ(packed[3], 0x12);
    EXPECT_EQ(packed[5], 0x56);
    PenStyle back;
    pen_unpack(packed, &back);
    EXPECT_EQ(back.width, c.back) << c.width;
    EXPECT_EQ(back.pattern, 2);
    EXPECT_EQ(back.third, 0);
    EXPECT_EQ(back.colour, 0x123456u);
  }
}

TEST_F(mapobj_styles, ClauseTexts) {
  char out[128];
  EXPECT_STREQ(brush_to_clause(2, 0xFF0000, 0x00FF00, 1, out, sizeof out), "Brush (2,16711680) ");
  EXPECT_STREQ(brush_to_clause(2, 0xFF0000, 0x00FF00, 0, out, sizeof out), "Brush (2,16711680,65280) ");
  EXPECT_STREQ(pen_to_clause(1, 2, 5, 0x01000000, out, sizeof out), "Pen (1,2,0) ");
  EXPECT_STREQ(line_to_clause(1, 2, 0, 255, out, sizeof out), "Line (1,2,255) ");
  EXPECT_STREQ(line_to_clause(1, 2, 4, 255, out, sizeof out), "Line (1,2,4,255) ");
  EXPECT_STREQ(label_position_clause(3, out, sizeof out), " Position Above Right");
  EXPECT_STREQ(label_position_clause(9, out, sizeof out), " Position ");

  SymbolStyle sym;
  std::memset(&sym, 0, sizeof sym);
  sym.kind = 1;
  sym.shape = 65;
  sym.colour = 0xFF000000u | 255;
  sym.size = 12;
  style_set_name(sym.font.name, "Wingdings");
  sym.rotation = 450;
  std::string text = symbol_to_clause(&sym, out, sizeof out);
  EXPECT_EQ(text, "Symbol (65,255,12,\"Wingdings\",0,45) ");
  EXPECT_EQ(text.substr(text.size() - 4), "45) ");

  sym.kind = 0;
  EXPECT_STREQ(symbol_to_clause(&sym, out, sizeof out), "Symbol (65,255,12) ");
  sym.kind = 7;
  EXPECT_STREQ(symbol_to_clause(&sym, out, sizeof out), "");
}

TEST_F(mapobj_styles, Equality) {
  BrushStyle none1 = {1, 0xFF, 0x00, 0}, none2 = {1, 0x00, 0xFF, 1};
  EXPECT_EQ(brush_equal(&none1, &none2), 1);
  BrushStyle solid1 = {2, 0xFF, 0x01, 0}, solid2 = {2, 0xFF, 0x02, 0};
  EXPECT_EQ(brush_equal(&solid1, &solid2), 1);
  BrushStyle hatch1 = {5, 0xFF, 0x01, 0}, hatch2 = {5, 0xFF, 0x02, 0}, hatch3 = {5, 0xFF, 0x02, 1},
             hatch4 = {5, 0xFF, 0x09, 1};
  EXPECT_EQ(brush_equal(&hatch1, &hatch2), 0);
  EXPECT_EQ(brush_equal(&hatch3, &hatch4), 1);

  PenStyle a = {1, 1, 0, 0xFF}, b = {7, 1, 3, 0};
  EXPECT_EQ(pen_equal(&a, &b), 1);
  PenStyle c = {1, 2, 0, 0x01000005}, d = {1, 2, 0, 0x00000005}, e = {1, 2, 1, 5};
  EXPECT_EQ(pen_equal(&c, &d), 1);
  EXPECT_EQ(pen_equal(&c, &e), 0);
  PenStyle f = {1, 0x82, 0, 5}, g = {1, 0x02, 0, 5};
  EXPECT_EQ(pen_equal(&f, &g), 0);
  EXPECT_EQ(pen_equal_pattern7(&f, &g), 1);

  FontStyle f1, f2;
  std::memset(&f1, 0, sizeof f1);
  std::memset(&f2, 0, sizeof f2);
  f1.back = 1;
  f2.back = 2;
  EXPECT_EQ(font_equal(&f1, &f2), 1);
  f1.flags[0] = f2.flags[0] = 1;
  EXPECT_EQ(font_equal(&f1, &f2), 0);
}

TEST_F(mapobj_styles, PackedFontAndSymbolForms) {
  FontStyle font;
  std::memset(&font, 0, sizeof font);
  font.style_bits = 0x1A5;
  font.flags[1] = 1;
  font.back_flag = 1;
  font.fore = 0x010203;
  font.back = 0x0A0B0C;
  font.size = 9;
  style_set_name(font.name, "Courier New");
  uint8_t packed[kFontPackedFullSize];
  font_pack_full(&font, packed);
  EXPECT_EQ(packed[0], 0xA5);
  EXPECT_EQ(packed[1], 1 | 4);
  EXPECT_EQ(packed[2], 1);
  EXPECT_EQ(packed[7], 0x0C);
  FontStyle back;
  std::memset(&back, 0, sizeof back);
  back.style_bits = 0x300;
  font_unpack_full(packed, &back);
  EXPECT_EQ(back.style_bits, 0x3A5u);
  EXPECT_EQ(back.flags[1], 1);
  EXPECT_EQ(back.size, 9);
  EXPECT_STREQ(back.name, "Courier New");

  StyleSet set = g_default_style_set;
  set.line_pen.width = 30;
  uint8_t all[kStyleSetPackedSize];
  ASSERT_EQ(style_set_pack(&set, all), 1);
  EXPECT_EQ(all[108], 31);
  StyleSet out;
  std::memset(&out, 0, sizeof out);
  style_set_unpack(all, &out);
  EXPECT_EQ(out.line_pen.width, 30);
  EXPECT_EQ(out.brush.fore, 0xFFFFFFu);
  EXPECT_EQ(out.symbol.shape, 32);
  EXPECT_EQ(out.symbol.size, 9);
}

}  // namespace
