// The table reader's style clauses: exact texts per record kind, the
// append rule, and the clause built once per object class.
#include <cstring>
#include <memory>

#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi_kernel.h"
#include "gtest/gtest.h"

namespace {

ObjPen Pen(int16_t w, int32_t p, int32_t third, uint32_t c) { return ObjPen{w, p, third, c}; }
ObjBrush Brush(int32_t p, uint32_t f, uint32_t b, uint8_t t) { return ObjBrush{p, f, b, t}; }

TEST(StyleClause, TextsPerRecordKind) {
  struct Case {
    const char* name;
    ObjRecord rec;
    const char* text;
  };
  std::vector<Case> cases;
  ObjRecord r{};
  r.code = 201;
  r.u.point.symbol.vector = ObjVectorSymbol{35, 0, 12};
  cases.push_back({"vector symbol", r, "Symbol (35, 0, 12) "});
  r = ObjRecord{};
  r.code = 211;
  r.u.point.symbol.font.code = 64;
  r.u.point.symbol.font.colour = 255;
  r.u.point.symbol.font.size = 10;
  std::strcpy(r.u.point.symbol.font.name, "Map Symbols");
  r.u.point.symbol.font.style = 1;
  r.u.point.symbol.font.rotation = 45.9;
  cases.push_back({"font symbol", r, "Symbol (64,255,10,\"Map Symbols\",1,45) "});
  r.u.point.symbol.font.rotation = -45.9;
  cases.push_back({"font symbol turned back", r, "Symbol (64,255,10,\"Map Symbols\",1,-45) "});
  r = ObjRecord{};
  r.code = 212;
  std::strcpy(r.u.point.symbol.bitmap.name, "PIN1-32.BMP");
  r.u.point.symbol.bitmap.colour = 16711680;
  r.u.point.symbol.bitmap.size = 18;
  r.u.point.symbol.bitmap.style = 2;
  cases.push_back({"bitmap symbol", r, "Symbol (\"PIN1-32.BMP\",16711680,18,2) "});
  r = ObjRecord{};
  r.code = 202;
  r.u.line.pen = Pen(2, 2, 0, 0);
  cases.push_back({"line", r, "Pen (2, 2, 0) "});
  r.u.line.pen = Pen(1, 3, 7, 255);
  cases.push_back({"line with a third value", r, "Pen (1, 3, 7, 255) "});
  r = ObjRecord{};
  r.code = 205;
  r.u.region.pen = Pen(1, 2, 0, 0);
  r.u.region.brush = Brush(2, 16777215, 16777215, 0);
  cases.push_back({"region", r, "Pen (1, 2, 0) Brush (2, 16777215, 16777215) "});
  r.u.region.brush.transparent = 1;
  cases.push_back({"region, transparent brush", r, "Pen (1, 2, 0) Brush (2, 16777215) "});
  r = ObjRecord{};
  r.code = 214;
  r.u.collection.polyline.sections = 1;
  r.u.collection.polyline.pen = Pen(1, 2, 0, 5);
  cases.push_back({"collection of a polyline", r, "Pen (1, 2, 5) "});
  r.u.collection.region.sections = 2;
  r.u.collection.region.pen = Pen(3, 2, 0, 6);
  r.u.collection.region.brush = Brush(1, 7, 8, 0);
  cases.push_back({"collection of a polyline and a region", r, "Pen (1, 2, 5) Pen (3, 2, 6) Brush (1, 7, 8) "});
  r = ObjRecord{};
  r.code = 200;
  cases.push_back({"no object", r, ""});

  std::unique_ptr<CTableReader> reader(CreateTableReader());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reader->BuildStyleClause(nullptr);
    reader->BuildStyleClause(&c.rec);
    EXPECT_EQ(*reader->GetStyleClause(), c.text);
  }
  // Appending: null empties; a code outside 201..214 leaves the clause.
  reader->BuildStyleClause(nullptr);
  reader->BuildStyleClause(&cases[0].rec);
  reader->BuildStyleClause(&cases[4].rec);
  reader->BuildStyleClause(&cases.back().rec);
  EXPECT_EQ(*reader->GetStyleClause(), "Symbol (35, 0, 12) Pen (2, 2, 0) ");
  reader->BuildStyleClause(nullptr);
  EXPECT_EQ(*reader->GetStyleClause(), "");
}

TEST(StyleClause, FromStylesByCode) {
  ObjStyles s{};
  s.flags = 2 | 4 | 8;
  s.symbol_code = 201;
  s.symbol.vector = ObjVectorSymbol{35, 0, 12};
  s.line_pen = Pen(1, 2, 0, 3);
  s.area_pen = Pen(4, 5, 0, 6);
  s.brush = Brush(2, 16777215, 16777215, 0);
  std::string out = "old";
  reader_style_from_styles(out, s, 201);
  EXPECT_EQ(out, "Symbol (35, 0, 12) ");
  reader_style_from_styles(out, s, 204);
  EXPECT_EQ(out, "Pen (1, 2, 3) ");
  reader_style_from_styles(out, s, 207);
  EXPECT_EQ(out, "Pen (4, 5, 6) Brush (2, 16777215, 16777215) ");
  reader_style_from_styles(out, s, 214);
  EXPECT_EQ(out, "Symbol (35, 0, 12) Pen (1, 2, 3) Pen (4, 5, 6) Brush (2, 16777215, 16777215) ");
}

}  // namespace
