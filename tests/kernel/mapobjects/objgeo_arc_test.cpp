// Arc and ellipse nodes, arc bounds and mirrored angles, angles of points,
// text escapes and rotated text boxes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "kernel/coordsys/conv.h"
#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_fixture.h"
#include "kernel/mapobjects/objgeom_arc.h"

namespace {

ObjPtr Arc(IntRect r, int16_t s, int16_t e) {
  ObjPtr a = MapObjTest::New(MAPOBJ_ARC);
  a->u.arc.rect = r;
  a->u.arc.start = s;
  a->u.arc.end = e;
  mapobjx_arc_compute_mbr(a.get());
  return a;
}

struct Block {
  IntPoint* p = nullptr;
  ~Block() { mem_free(&p); }
};

TEST_F(MapObjTest, objgeo_arc_NodeCounts) {
  ObjPtr e = New(MAPOBJ_ELLIPSE);
  rect_set(&e->mbr, -1000, -500, 1000, 500);
  Block b;
  ASSERT_EQ(mapobj_arc_points(e.get(), 100, &b.p, nullptr), 102);
  EXPECT_EQ(b.p[0], (IntPoint{1000, 0}));
  EXPECT_LE(std::abs(b.p[101].x - 1000), 1);  // a full turn: on or next to the first
  EXPECT_LE(std::abs(b.p[101].y), 1);
  struct Case {
    int16_t s, e;
    int32_t count;
  } cases[] = {{0, 900, 27},
               {3500, 100, 2 + 200 * 100 / 3600},
               {900, 900, 2},
               // Angles from a file outside 0..3600: 30000 is 1200 and -30000
               // is 2400 after whole turns, 1200 apart.
               {30000, -30000, 2 + 1200 * 100 / 3600}};
  for (const Case& c : cases) {
    ObjPtr a = Arc({-1000, -500, 1000, 500}, c.s, c.e);
    Block p;
    EXPECT_EQ(mapobj_arc_points(a.get(), 100, &p.p, nullptr), c.count) << c.s << ".." << c.e;
  }
  // Below the smallest resolution, or another type: nothing.
  Block none;
  EXPECT_EQ(mapobj_arc_points(e.get(), 1, &none.p, nullptr), 0);
  EXPECT_EQ(none.p, nullptr);
  ObjPtr r = New(MAPOBJ_RECT);
  EXPECT_EQ(mapobj_arc_points(r.get(), 100, &none.p, nullptr), 0);
  // The largest resolution over a tenth of a degree: 2 + 134217722 / 3600.
  ObjPtr tiny = Arc({-1000, -500, 1000, 500}, 0, 1);
  Block t;
  EXPECT_EQ(mapobj_arc_points(tiny.get(), 2000000000, &t.p, nullptr), 2 + 134217722 / 3600);
}

TEST_F(MapObjTest, objgeo_arc_PointsStayInTheBounds) {
  const int16_t spans[][2] = {{0, 900}, {450, 1350}, {3500, 100}, {100, 50}, {2000, 2900}, {1, 3599}};
  for (auto& s : spans) {
    ObjPtr a = Arc({-700, -300, 900, 500}, s[0], s[1]);
    Block b;
    int32_t n = mapobj_arc_points(a.get(), 360, &b.p, nullptr);
    ASSERT_GT(n, 2);
    IntRect m = a->mbr;
    rect_inflate(&m, 1, 1);
    for (int32_t i = 0; i < n; ++i) EXPECT_TRUE(point_in_rect(&b.p[i], &m)) << s[0] << ".." << s[1] << " " << b.p[i];
  }
}

TEST_F(MapObjTest, objgeo_arc_Bounds) {
  // 45..135 degrees crosses the top (90) only.
  ObjPtr a = Arc({-100, -100, 100, 100}, 450, 1350);
  EXPECT_EQ(a->mbr.y2, 100);
  EXPECT_EQ(a->mbr.x1, -71);
  EXPECT_EQ(a->mbr.x2, 71);
  EXPECT_EQ(a->mbr.y1, 71);
  // 10..5 degrees goes almost all the way round: the whole rectangle.
  ObjPtr b = Arc({-100, -100, 100, 100}, 100, 50);
  EXPECT_EQ(b->mbr.x1, -100);
  EXPECT_EQ(b->mbr.y1, -100);
  EXPECT_EQ(b->mbr.x2, 100);
  EXPECT_EQ(b->mbr.y2, 100);
  // 350..10 degrees crosses the right side.
  ObjPtr c = Arc({-100, -100, 100, 100}, 3500, 100);
  EXPECT_EQ(c->mbr.x2, 100);
  EXPECT_EQ(c->mbr.y1, -17);
  EXPECT_EQ(c->mbr.y2, 17);
}

TEST(objgeo_arc, MirrorAndPointAngles) {
  struct Case {
    int16_t fx, fy, s, e;
  } cases[] = {{1, 0, 1200, 1500}, {0, 1, 3000, 3300}, {1, 1, 2100, 2400}, {0, 0, 300, 600}};
  for (const Case& c : cases) {
    int16_t s = 300, e = 600;
    mapobjx_arc_mirror_angles(&s, &e, c.fx, c.fy);
    EXPECT_EQ(s, c.s) << c.fx << c.fy;
    EXPECT_EQ(e, c.e) << c.fx << c.fy;
  }
  EXPECT_EQ(mapobjx_point_angle(0, 0), 2700);
  EXPECT_EQ(mapobjx_point_angle(1, 0), 900);
  EXPECT_EQ(mapobjx_point_angle(0, -1), 1800);
  EXPECT_EQ(mapobjx_point_angle(0, 1), 0);
  EXPECT_EQ(mapobjx_point_angle(-1, -1), 2250);
  // Angles from points on an ellipse twice as wide as high.
  IntRect r{-200, -100, 200, 100};
  IntPoint p{200, 0}, q{0, 100};
  int16_t s = 0, e = 0;
  mapobjx_arc_angles_from_points(&r, &p, &q, &s, &e, 0);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(e, 900);
  mapobjx_arc_angles_from_points(&r, &p, &q, &s, &e, 1);
  EXPECT_EQ(s, 900);
  EXPECT_EQ(e, 3600);
  IntRect out;
  IntPoint a{0, 0}, b{10, 5};
  mapobjx_ellipse_rect_from_quadrant(&out, &a, &b);
  EXPECT_EQ(out.x1, 0);
  EXPECT_EQ(out.y1, -5);
  EXPECT_EQ(out.x2, 20);
  EXPECT_EQ(out.y2, 5);
}

// A display whose device y grows downward (the usual one) and a device that
// keeps the map's y: 1000 x 1000 device units over the map square 0..1000.
TEST(objgeo_arc, DeviceVariantsFollowTheDeviceAxes) {
  IntRect map{0, 0, 1000, 1000}, down{0, 1000, 1000, 0};
  CoordConv screen, same;
  conv_setup_rects(&screen, &down, &map);
  conv_setup_rects(&same, &map, &map);
  IntRect r{0, 0, 10, 10};
  EXPECT_EQ(mapobjx_rect_device_flipped(&r, &screen), 0);
  EXPECT_EQ(mapobjx_rect_device_flipped(&r, &same), 1);

  // Quadrant (0,0)..(10,5). Without a flip it is the plain quadrant rule:
  // x from 0 (p.y < q.y) over twice the width, y from 2*0 - 5 (p.x < q.x).
  IntPoint p{0, 0}, q{10, 5};
  IntRect out;
  mapobjx_arc_rect_from_device_points(&out, &p, &q, &same);
  EXPECT_EQ(out.x1, 0);
  EXPECT_EQ(out.y1, -5);
  EXPECT_EQ(out.x2, 20);
  EXPECT_EQ(out.y2, 5);
  // On the screen p is at device (0,1000), q at (10,995): the device
  // quadrant is x -10..10 (p.y > q.y there), y 990..1000, which is map
  // x -10..10, y 0..10: q keeps its x, p its y.
  mapobjx_arc_rect_from_device_points(&out, &p, &q, &screen);
  EXPECT_EQ(out.x1, -10);
  EXPECT_EQ(out.y1, 0);
  EXPECT_EQ(out.x2, 10);
  EXPECT_EQ(out.y2, 10);

  ObjPtr arc = MapObjTest::New(MAPOBJ_ARC);
  arc->u.arc.rect = {0, 0, 20, 20};
  arc->u.arc.start = 300;
  arc->u.arc.end = 600;
  int16_t s = 0, e = 0;
  mapobjx_arc_angles_for_device(arc.get(), &screen, &s, &e);
  EXPECT_EQ(s, 300);
  EXPECT_EQ(e, 600);
  mapobjx_arc_angles_for_device(arc.get(), &same, &s, &e);  // mirrored in y
  EXPECT_EQ(s, 3000);
  EXPECT_EQ(e, 3300);
  IntPoint a, b;
  mapobjx_arc_device_end_points(arc.get(), &screen, &a, &b);
  EXPECT_EQ(a, (IntPoint{19, 15}));  // 30 degrees: (10 + round(8.66), 10 + round(5))
  EXPECT_EQ(b, (IntPoint{15, 19}));
  mapobjx_arc_device_end_points(arc.get(), &same, &a, &b);  // swapped
  EXPECT_EQ(a, (IntPoint{15, 19}));
}

TEST(objgeo_arc, Escapes) {
  char out[16];
  EXPECT_EQ(objtext_convert_escapes(out, "a\\nb", 4, 1), 4);
  EXPECT_STREQ(out, "a\r\nb");
  char back[16];
  EXPECT_EQ(objtext_convert_escapes(back, out, 4, 0), 4);
  EXPECT_STREQ(back, "a\\nb");
  // A trailing backslash at the end of the given length: nothing read past
  // it (the buffer has no terminator).
  std::unique_ptr<char[]> exact(new char[3]{'a', 'b', '\\'});
  EXPECT_EQ(objtext_convert_escapes(out, exact.get(), 3, 1), 3);
  EXPECT_STREQ(out, "ab\\");
  char* crlf = nullptr;
  EXPECT_EQ(objtext_add_cr(&crlf, "x\ny\n", 4), 6);
  EXPECT_STREQ(crlf, "x\r\ny\r\n");
  EXPECT_EQ(objtext_drop_cr(crlf), 4);
  EXPECT_STREQ(crlf, "x\ny\n");
  mem_free(&crlf);
  char t[] = "a-b-c";
  objtext_replace_char(t, '-', '+');
  EXPECT_STREQ(t, "a+b+c");
  EXPECT_EQ(objtext_find_char(t, 'c', 4), nullptr);
  EXPECT_EQ(objtext_find_char(t, 'c', 5), t + 4);
}

TEST_F(MapObjTest, objgeo_arc_TextBoxes) {
  CoordSysDef def;
  coordsys_clear(&def);
  CoordXform plain;
  xform_init_scaled(&plain, 0, &def, 1, 1, 0, 0);
  // A text 100 wide and 10 high turned a quarter about its top-left corner
  // (0, 10) runs upward: x 0..10, y 10..110.
  IntRect box{0, 0, 100, 10};
  objtext_rotate_box(&box, 900, &plain);
  EXPECT_EQ(box.x1, 0);
  EXPECT_EQ(box.y1, 10);
  EXPECT_EQ(box.x2, 10);
  EXPECT_EQ(box.y2, 110);
  ObjPtr text = New(MAPOBJ_TEXT);
  text->u.text.box = box;
  text->u.text.height = 10;
  // Angles from files outside 0..3599 come back to the same box.
  for (int16_t angle : {int16_t{900}, int16_t{4500}, int16_t{-2700}}) {
    text->u.text.angle = angle;
    IntRect out;
    objtext_unrotated_box(text.get(), &plain, &out);
    EXPECT_EQ(out.x1, 0) << angle;
    EXPECT_EQ(out.y1, 0) << angle;
    EXPECT_EQ(out.x2, 100) << angle;
    EXPECT_EQ(out.y2, 10) << angle;
  }
  // -900 is a three-quarter turn: unreduced it would divide by the sine of
  // -3600 tenths, about 0.
  IntRect down{0, 0, 100, 10};
  objtext_rotate_box(&down, 2700, &plain);
  text->u.text.box = down;
  for (int16_t angle : {int16_t{2700}, int16_t{-900}}) {
    text->u.text.angle = angle;
    IntRect out;
    objtext_unrotated_box(text.get(), &plain, &out);
    EXPECT_EQ(out.x1, 0) << angle;
    EXPECT_EQ(out.y1, 0) << angle;
    EXPECT_EQ(out.x2, 100) << angle;
    EXPECT_EQ(out.y2, 10) << angle;
  }
  IntRect same{0, 0, 100, 10};
  objtext_rotate_box(&same, 0, &plain);
  EXPECT_EQ(same.x2, 100);
  // Half a turn: the box lies below and left of its first corner.
  IntRect half{0, 0, 100, 10};
  objtext_rotate_box(&half, 1800, &plain);
  EXPECT_EQ(half.x1, -100);
  EXPECT_EQ(half.y1, 10);
  EXPECT_EQ(half.x2, 0);
  EXPECT_EQ(half.y2, 20);
}

}  // namespace
