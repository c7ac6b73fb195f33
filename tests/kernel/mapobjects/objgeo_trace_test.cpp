// Object trace text written through the file layer.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/xform.h"
#include "kernel/kernel_files_fixture.h"
#include "kernel/mapobjects/mapobj_fixture.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/mapobjects/objtrace.h"

namespace {

class objgeo_trace : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    MapObjTest::Reset();
    ASSERT_EQ(mapobj_runtime_start(), 1);
    CoordSysDef def;
    coordsys_clear(&def);
    xform_init_scaled(&plain_, 0, &def, 1, 1, 0, 0);
  }
  void TearDown() override {
    mapobj_runtime_end();
    value_set_object_ops(nullptr);
    MapObjTest::Reset();
    KernelFilesTest::TearDown();
  }
  // The trace of one object in a file of the given character set, and the
  // success flag.
  std::string Trace(MapObject* obj, int16_t brackets = 0, const char* variable = nullptr, int set = 1,
                    int16_t* ok = nullptr) {
    const int32_t h = file_register(path("t.txt").c_str(), 4);
    file_set_charset(h, set);
    EXPECT_NE(file_open_text(h, 3, nullptr), 0);
    int16_t r = object_write_text(h, obj, &plain_, brackets, variable);
    if (ok) *ok = r;
    file_release_text(h);
    file_unregister(h);
    std::ifstream in(path("t.txt"), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  CoordXform plain_;
};

TEST_F(objgeo_trace, RegionWithDefaultStyles) {
  ObjPtr r = MapObjTest::Poly(MAPOBJ_REGION, {{{0, 0}, {0, 10}, {10, 10}, {10, 0}}});
  mapobj_apply_style_set(r.get(), &g_default_style_set);
  mapobjx_normalize(r.get(), 1);
  int16_t ok = 0;
  EXPECT_EQ(Trace(r.get(), 0, nullptr, 1, &ok),
            "Region  1\n"
            "  5\n"
            "0 0\n"
            "0 10\n"
            "10 10\n"
            "10 0\n"
            "0 0\n"
            "    Pen (1,2,0) \n"
            "    Brush (2,16777215,16777215)\n"
            "    Center 5 5\n");
  EXPECT_EQ(ok, 1);
  // Windows sets end lines with CR LF; brackets and a variable name.
  std::string crlf = Trace(r.get(), 1, "v", 10);
  EXPECT_EQ(crlf.substr(0, 39), "Region Into Variable v  1\r\n  5\r\n(0,0)\r\n");
}

TEST_F(objgeo_trace, TextPolylineAndOthers) {
  ObjPtr t = MapObjTest::New(MAPOBJ_TEXT);
  ASSERT_EQ(objtext_set_string(t.get(), "a\"b\\c\nd"), 1);
  rect_set(&t->u.text.box, 0, 0, 10, 2);
  t->mbr = t->u.text.box;
  t->u.text.height = 2;
  std::strcpy(t->u.text.font.name, "Arial");
  t->u.text.font.size = 10;
  int16_t spacing = 1;
  ASSERT_EQ(mapobjx_set_property(t.get(), OBJPROP_TEXT_SPACING, &spacing), 1);
  EXPECT_EQ(Trace(t.get()),
            "Text\n"
            "    \"a\"\"b\\\\c\\nd\"\n"
            "    0 0 10 2\n"
            "    Font (\"Arial\",0,10,0)\n"
            "    Spacing 1.5\n");
  spacing = 0;
  mapobjx_set_property(t.get(), OBJPROP_TEXT_SPACING, &spacing);
  std::string plain = Trace(t.get());
  EXPECT_EQ(plain.substr(plain.size() - 3), ")\n\n");  // neither spacing nor label line: an empty line
  // 600 characters: three pieces, one quoted string without brackets.
  std::string long_text(600, 'x');
  ASSERT_EQ(objtext_set_string(t.get(), long_text.c_str()), 1);
  std::string one = Trace(t.get());
  EXPECT_NE(one.find("    \"" + long_text + "\"\n"), std::string::npos);
  std::string three = Trace(t.get(), 1);
  EXPECT_NE(three.find("    \"" + std::string(254, 'x') + "\"+\n    \"" + std::string(254, 'x') + "\"+\n    \"" +
                       std::string(92, 'x') + "\"\n"),
            std::string::npos);

  ObjPtr pl = MapObjTest::Poly(MAPOBJ_POLYLINE, {{{0, 0}, {1, 1}, {2, 0}, {3, 1}}});
  mapobjx_normalize(pl.get(), 0);
  std::string p = Trace(pl.get());
  EXPECT_EQ(p.substr(0, 8), "Pline 4\n");
  ObjPtr two = MapObjTest::Poly(MAPOBJ_POLYLINE, {{{0, 0}, {1, 1}}, {{5, 5}, {6, 6}, {7, 7}}});
  EXPECT_EQ(Trace(two.get()).substr(0, 23), "Pline Multiple 2\n  2\n0 ");

  ObjPtr rect = MapObjTest::New(MAPOBJ_RECT);
  rect_set(&rect->mbr, 1, 2, 3, 4);
  rect->brush = BrushStyle{2, 0xFF0000, 0, 1};
  rect->pen = PenStyle{1, 2, 0, 0};
  EXPECT_EQ(Trace(rect.get()), "Rect 1 2 3 4\n    Pen (1,2,0) \n    Brush (2,16711680)\n");
  ObjPtr frame = MapObjTest::New(MAPOBJ_FRAME);
  rect_set(&frame->mbr, 0, 0, 5, 5);
  std::string fr = Trace(frame.get());
  EXPECT_NE(fr.find("    Title \"\"\n    FillFrame Off\n"), std::string::npos);
  ObjPtr none = MapObjTest::New(MAPOBJ_TYPE11);
  int16_t ok = 1;
  EXPECT_EQ(Trace(none.get(), 0, nullptr, 1, &ok), "");
  EXPECT_EQ(ok, 0);
}

TEST_F(objgeo_trace, FailedWriteStops) {
  ObjPtr r = MapObjTest::Poly(MAPOBJ_REGION, {{{0, 0}, {0, 10}, {10, 10}, {10, 0}}});
  EXPECT_EQ(object_write_text(99999, r.get(), &plain_, 0, nullptr), 0);
}

}  // namespace
