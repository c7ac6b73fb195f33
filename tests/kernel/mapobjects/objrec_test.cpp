// Object records: codes by shape, closing nodes, symbols, font angles, text
// escapes, refused records, buffer reuse, and the round trip record ->
// object -> record -> object -> record of random records of every code.
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_fixture.h"
#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/mapobjects/objrec.h"

namespace {

class mapobj_objrec : public MapObjTest {
 public:
  void SetUp() override {
    MapObjTest::SetUp();
    CoordSysDef def;
    coordsys_clear(&def);
    xform_init_scaled(&plain_, 0, &def, 1, 1, 0, 0);
    xform_init_scaled(&scaled_, 0, &def, 1000, -1000, 0, 0);
  }
  static ObjRecord Blank(uint8_t code) {
    ObjRecord r;
    std::memset(&r, 0, sizeof r);
    r.code = code;
    return r;
  }
  // The object a record gives, off the work buffer.
  ObjPtr FromRecord(const ObjRecord& rec, const CoordXform* table) {
    MapObject obj;
    mapobj_init(&obj, MAPOBJ_NONE);
    int16_t ok = objrec_to_object(&rec, &obj, nullptr, table);
    MapObject* dup = ok ? mapobj_dup(&obj) : nullptr;
    mapobj_free(&obj);
    return ObjPtr(dup);
  }
  CoordXform plain_, scaled_;
};

TEST_F(mapobj_objrec, PolylinesTakeTheirCodeBySectionsAndPlace) {
  ObjPtr one = Poly(MAPOBJ_POLYLINE, {{{1, 2}, {3, 4}}});
  ObjRecord rec = Blank(0);
  ASSERT_EQ(object_to_objrec(one.get(), &rec, &plain_, nullptr), 1);
  EXPECT_EQ(rec.code, OBJREC_POLYLINE);
  EXPECT_EQ(rec.u.polyline.count, 2);
  EXPECT_EQ(rec.u.polyline.points[1].x, 3);

  ObjPtr two = Poly(MAPOBJ_POLYLINE, {{{1, 2}, {3, 4}}, {{5, 5}, {6, 6}}});
  ASSERT_EQ(object_to_objrec(two.get(), &rec, &plain_, nullptr), 1);
  EXPECT_EQ(rec.code, OBJREC_MULTI_POLYLINE);

  ObjPtr coll = New(MAPOBJ_COLLECTION);
  ASSERT_EQ(mapobjx_collection_set_part(coll.get(), one.get(), 0), 1);
  ASSERT_EQ(object_to_objrec(coll.get(), &rec, &plain_, nullptr), 1);
  EXPECT_EQ(rec.code, OBJREC_COLLECTION);
  EXPECT_EQ(rec.u.collection.polyline.sections, 1);
  ASSERT_NE(rec.u.collection.polyline.section, nullptr);
  EXPECT_EQ(rec.u.collection.polyline.section[0].count, 2);
  EXPECT_EQ(rec.u.collection.region.section, nullptr);
  EXPECT_EQ(rec.u.collection.multipoint.count, 0);

  ObjPtr empty = New(MAPOBJ_COLLECTION);
  ASSERT_EQ(object_to_objrec(empty.get(), &rec, &plain_, nullptr), 1);
  EXPECT_EQ(rec.code, OBJREC_COLLECTION);
  EXPECT_EQ(rec.u.collection.polyline.section, nullptr);
}

TEST_F(mapobj_objrec, RingsAreClosedOnceAndListedClosed) {
  DPoint open[3] = {{0, 0}, {0, 10}, {10, 10}};
  DPoint closed[4] = {{0, 0}, {0, 10}, {10, 10}, {0, 0}};
  for (auto [points, n] : {std::pair<DPoint*, int32_t>{open, 3}, {closed, 4}}) {
    ObjSection section = {n, points};
    ObjRecord rec = Blank(OBJREC_REGION);
    rec.u.region.sections = 1;
    rec.u.region.section = &section;
    ObjPtr obj = FromRecord(rec, &plain_);
    ASSERT_TRUE(obj) << n;
    EXPECT_EQ(Nodes(obj.get(), 0), (Ring{{0, 0}, {0, 10}, {10, 10}, {0, 0}})) << n;
    ObjRecord back = Blank(0);
    ASSERT_EQ(object_to_objrec(obj.get(), &back, &plain_, nullptr), 1);
    ASSERT_EQ(back.u.region.section[0].count, 4);
    EXPECT_EQ(back.u.region.section[0].points[3].y, 0);
  }
}

TEST_F(mapobj_objrec, SymbolsAndFontAngles) {
  const struct {
    int16_t size, want;
  } sizes[] = {{0, 1}, {-3, 1}, {1, 1}, {240, 240}, {500, 240}};
  for (const auto& c : sizes) {
    ObjRecord rec = Blank(OBJREC_POINT);
    rec.u.point.symbol.vector.size = c.size;
    ObjPtr obj = FromRecord(rec, &plain_);
    ASSERT_TRUE(obj);
    EXPECT_EQ(obj->u.point.symbol.size, c.want) << c.size;
  }
  const struct {
    double degrees;
    int16_t tenths;
  } angles[] = {{-0.05, 3599}, {45, 450}, {360, 0}, {-90, 2700}, {719.94, 3599}};
  for (const auto& c : angles) {
    ObjRecord rec = Blank(OBJREC_FONT_POINT);
    rec.u.point.symbol.font.rotation = c.degrees;
    std::memset(rec.u.point.symbol.font.name, 'W', 32);  // no terminator
    ObjPtr obj = FromRecord(rec, &plain_);
    ASSERT_TRUE(obj);
    EXPECT_EQ(obj->u.point.symbol.rotation, c.tenths) << c.degrees;
    EXPECT_EQ(std::strlen(obj->u.point.symbol.font.name), 31u);
  }
}

TEST_F(mapobj_objrec, TextEscapesBecomeLineFeeds) {
  ObjRecord rec = Blank(OBJREC_TEXT);
  char text[] = "a\\nb";
  rec.u.text.text = text;
  rec.u.text.box = {0, 0, 10, 2};
  ObjPtr obj = FromRecord(rec, &plain_);
  ASSERT_TRUE(obj);
  char* copy = nullptr;
  int16_t multi = 0;
  ASSERT_EQ(objtext_copy_string(obj.get(), &copy, &multi), 1);
  EXPECT_STREQ(copy, "a\nb");
  EXPECT_EQ(multi, 1);
  mem_free(&copy);
  EXPECT_EQ(obj->u.text.height, 2);
  ObjRecord back = Blank(0);
  ASSERT_EQ(object_to_objrec(obj.get(), &back, &plain_, nullptr), 1);
  EXPECT_STREQ(back.u.text.text, "a\nb");

  char crlf[] = "x\r\ny\rz";
  rec.u.text.text = crlf;
  obj = FromRecord(rec, &plain_);
  ASSERT_TRUE(obj);
  EXPECT_STREQ(static_cast<const char*>(obj->nodes), "x\ny\nz");
}

TEST_F(mapobj_objrec, RefusedRecordsPushTheirErrorBeforeAllocating) {
  DPoint pts[2] = {{0, 0}, {1, 1}};
  ObjSection empty_section = {0, pts};
  ObjSection negative = {-1, pts};
  ObjSection good = {2, pts};
  std::string long_text(32768, 'x');
  struct Case {
    const char* name;
    ObjRecord rec;
    int16_t error;  // 0: fails without an error
  };
  std::vector<Case> cases;
  auto region = [&](ObjSection* s, int32_t n) {
    ObjRecord r = Blank(OBJREC_REGION);
    r.u.region.section = s;
    r.u.region.sections = n;
    return r;
  };
  cases.push_back({"0-node section", region(&empty_section, 1), kErrRegionTooLarge});
  cases.push_back({"negative nodes", region(&negative, 1), kErrRegionTooLarge});
  cases.push_back({"0 sections", region(&good, 0), kErrRegionTooLarge});
  cases.push_back({"too many sections", region(&good, 24403224), kErrRegionTooLarge});
  ObjRecord line = Blank(OBJREC_POLYLINE);
  line.u.polyline.count = 0x7fffffd;
  line.u.polyline.points = pts;
  cases.push_back({"too many nodes", line, kErrPolylineTooLarge});
  ObjRecord multi = Blank(OBJREC_MULTI_POLYLINE);
  multi.u.multi.section = nullptr;
  multi.u.multi.sections = 1;
  cases.push_back({"no descriptors", multi, kErrPolylineTooLarge});
  ObjRecord text = Blank(OBJREC_TEXT);
  text.u.text.text = long_text.data();
  cases.push_back({"long text", text, kErrStyleRange});
  ObjRecord points = Blank(OBJREC_MULTIPOINT);
  points.u.points.symbol_code = 199;
  points.u.points.count = 2;
  points.u.points.points = pts;
  cases.push_back({"bad symbol code", points, kErrStyleRange});
  cases.push_back({"code 215", Blank(215), kErrStyleRange});
  cases.push_back({"code 255", Blank(255), kErrStyleRange});
  for (const Case& c : cases) {
    err_clear();
    MapObject obj;
    mapobj_init(&obj, MAPOBJ_NONE);
    mem_test_fail_nth(1);  // an allocation before the refusal would show as 632
    EXPECT_EQ(objrec_to_object(&c.rec, &obj, nullptr, &plain_), 0) << c.name;
    mem_test_fail_nth(0);
    EXPECT_EQ(err_first_code(), c.error) << c.name;
    EXPECT_EQ(err_count(), 1) << c.name;
    mapobj_free(&obj);
  }
  ObjPtr frame = New(MAPOBJ_FRAME);
  ObjRecord rec = Blank(77);
  EXPECT_EQ(object_to_objrec(frame.get(), &rec, &plain_, nullptr), 0);
  EXPECT_EQ(rec.code, 77);
  ObjPtr point = New(MAPOBJ_POINT);
  point->u.point.symbol.kind = 3;
  EXPECT_EQ(object_to_objrec(point.get(), &rec, &plain_, nullptr), 0);
}

TEST_F(mapobj_objrec, EachConversionReusesTheRecordBuffers) {
  ObjPtr a = Poly(MAPOBJ_POLYLINE, {{{1, 1}, {2, 2}}});
  ObjPtr b = Poly(MAPOBJ_POLYLINE, {{{8, 8}, {9, 9}}});
  ObjRecord ra = Blank(0), rb = Blank(0);
  ASSERT_EQ(object_to_objrec(a.get(), &ra, &plain_, nullptr), 1);
  ASSERT_EQ(object_to_objrec(b.get(), &rb, &plain_, nullptr), 1);
  EXPECT_EQ(ra.u.polyline.points, rb.u.polyline.points);
  EXPECT_EQ(ra.u.polyline.points[0].x, 8);
}

TEST_F(mapobj_objrec, ScaledCoordinatesAndStyles) {
  ObjRecord rec = Blank(OBJREC_RECT);
  rec.u.rect.rect = {1.5, -2, 3, 4};
  rec.u.rect.brush = {0, 0xAB123456u, 0xFF000001u, 1};
  rec.u.rect.pen = {3, 2, 7, 0x01FF0000u};
  ObjPtr obj = FromRecord(rec, &scaled_);
  ASSERT_TRUE(obj);
  EXPECT_EQ(obj->mbr.x1, 1500);
  EXPECT_EQ(obj->mbr.x2, 3000);
  EXPECT_EQ(obj->mbr.y1, -4000);
  EXPECT_EQ(obj->mbr.y2, 2000);
  EXPECT_EQ(obj->brush.pattern, 1);
  EXPECT_EQ(obj->brush.fore, 0x123456u);
  EXPECT_EQ(obj->pen.colour, 0xFF0000u);
  EXPECT_EQ(obj->pen.third, 7);
  ObjStyles styles;
  std::memset(&styles, 0, sizeof styles);
  int32_t code = 0;
  ASSERT_EQ(object_get_styles(obj.get(), &styles, &code), 1);
  EXPECT_EQ(code, OBJREC_RECT);
  EXPECT_EQ(styles.flags, 12);
  EXPECT_EQ(styles.area_pen.width, 3);
}

// ---- round trip of random records ------------------------------------------

// A record's contents as bytes (pointers replaced by what they point at) and
// a text's box apart.
struct Flat {
  std::string bytes;
  DRect box{};
  DPoint label_end{};  // of a text: the rotated box's centre without a label line
};

void add(std::string& out, const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }

void flat_sections(std::string& out, const ObjSection* s, int32_t n) {
  for (int32_t i = 0; s && i < n; ++i) {
    add(out, &s[i].count, sizeof s[i].count);
    add(out, s[i].points, sizeof(DPoint) * static_cast<size_t>(s[i].count));
  }
}

Flat Flatten(const ObjRecord& r) {
  ObjRecord copy = r;
  Flat f;
  switch (r.code) {
    case OBJREC_POLYLINE:
      copy.u.polyline.points = nullptr;
      add(f.bytes, r.u.polyline.points, sizeof(DPoint) * static_cast<size_t>(r.u.polyline.count));
      break;
    case OBJREC_REGION:
      copy.u.region.section = nullptr;
      flat_sections(f.bytes, r.u.region.section, r.u.region.sections);
      break;
    case OBJREC_MULTI_POLYLINE:
      copy.u.multi.section = nullptr;
      flat_sections(f.bytes, r.u.multi.section, r.u.multi.sections);
      break;
    case OBJREC_MULTIPOINT:
      copy.u.points.points = nullptr;
      add(f.bytes, r.u.points.points, sizeof(DPoint) * static_cast<size_t>(r.u.points.count));
      break;
    case OBJREC_TEXT:
      copy.u.text.text = nullptr;
      f.box = r.u.text.box;
      copy.u.text.box = {};
      f.label_end = r.u.text.label_end;
      copy.u.text.label_end = {};
      f.bytes += r.u.text.text;
      break;
    case OBJREC_COLLECTION: {
      auto& c = copy.u.collection;
      c.region.section = nullptr, c.polyline.section = nullptr, c.multipoint.points = nullptr;
      flat_sections(f.bytes, r.u.collection.region.section, r.u.collection.region.sections);
      flat_sections(f.bytes, r.u.collection.polyline.section, r.u.collection.polyline.sections);
      add(f.bytes, r.u.collection.multipoint.points, sizeof(DPoint) * static_cast<size_t>(c.multipoint.count));
      break;
    }
    default: break;
  }
  add(f.bytes, &copy, sizeof copy);
  return f;
}

struct RandomRecord {
  ObjRecord rec;
  std::vector<std::vector<DPoint>> runs;
  std::vector<ObjSection> sections;
  std::string text;
};

void Randomise(std::mt19937& rng, uint8_t code, double span, RandomRecord& out) {
  auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  auto coord = [&] { return std::round(real(-span, span) * 8) / 8; };
  auto run = [&](int n, bool close) {
    out.runs.emplace_back();
    for (int i = 0; i < n; ++i) out.runs.back().push_back({coord(), coord()});
    if (close) out.runs.back().push_back(out.runs.back().front());
    return out.runs.back().data();
  };
  auto sections = [&](int n, bool region) {
    size_t first = out.sections.size();
    for (int i = 0; i < n; ++i) {
      int count = 1 + static_cast<int>(rng() % 6) + (region ? 2 : 0);
      bool close = region && rng() % 2;
      DPoint* p = run(count, close);
      out.sections.push_back({count + (close ? 1 : 0), p});
    }
    return first;
  };
  ObjRecord& r = out.rec;
  std::memset(&r, 0, sizeof r);
  // Styles and numbers first, from random bytes; names terminated or not.
  for (size_t i = 0; i < sizeof r.u; ++i) reinterpret_cast<uint8_t*>(&r.u)[i] = static_cast<uint8_t>(rng());
  r.code = code;
  out.sections.reserve(64);
  auto tidy_pen = [](ObjPen& p) { p.width = static_cast<int16_t>(p.width & 0x7FF); };
  auto tidy_brush = [](ObjBrush& b) { b.pattern &= 0xFF; };
  switch (code) {
    case OBJREC_POINT:
    case OBJREC_FONT_POINT:
    case OBJREC_BITMAP_POINT:
      r.u.point.at = {coord(), coord()};
      r.u.point.symbol.font.rotation = real(-720, 720);
      break;
    case OBJREC_LINE:
      r.u.line.start = {coord(), coord()};
      r.u.line.end = {coord(), coord()};
      tidy_pen(r.u.line.pen);
      break;
    case OBJREC_ARC:
      r.u.arc.rect = {coord(), coord(), coord(), coord()};
      r.u.arc.start = real(-400, 400);
      r.u.arc.end = real(-400, 400);
      tidy_pen(r.u.arc.pen);
      break;
    case OBJREC_POLYLINE:
      r.u.polyline.count = 1 + static_cast<int32_t>(rng() % 9);
      r.u.polyline.points = run(r.u.polyline.count, false);
      tidy_pen(r.u.polyline.pen);
      break;
    case OBJREC_REGION: {
      r.u.region.sections = 1 + static_cast<int32_t>(rng() % 3);
      r.u.region.section = &out.sections[sections(r.u.region.sections, true)];
      r.u.region.center = {coord(), coord()};
      tidy_pen(r.u.region.pen);
      tidy_brush(r.u.region.brush);
      break;
    }
    case OBJREC_MULTI_POLYLINE:
      r.u.multi.sections = 1 + static_cast<int32_t>(rng() % 3);
      r.u.multi.section = &out.sections[sections(r.u.multi.sections, false)];
      tidy_pen(r.u.multi.pen);
      break;
    case OBJREC_TEXT: {
      const char alphabet[] = "ab \\n\r\nxyz";
      out.text.clear();
      int n = static_cast<int>(rng() % 30);
      for (int i = 0; i < n; ++i) out.text += alphabet[rng() % (sizeof alphabet - 1)];
      r.u.text.text = out.text.data();
      r.u.text.box = {coord(), coord(), coord(), coord()};
      r.u.text.label_end = {coord(), coord()};
      r.u.text.angle = rng() % 3 ? 0 : real(-360, 360);
      tidy_pen(r.u.text.pen);
      break;
    }
    case OBJREC_RECT:
    case OBJREC_ELLIPSE:
      r.u.rect.rect = {coord(), coord(), coord(), coord()};
      tidy_pen(r.u.rect.pen);
      tidy_brush(r.u.rect.brush);
      break;
    case OBJREC_ROUNDRECT:
      r.u.roundrect.rect = {coord(), coord(), coord(), coord()};
      r.u.roundrect.corner_width = std::fabs(coord()) / 10;
      r.u.roundrect.corner_height = std::fabs(coord()) / 10;
      tidy_pen(r.u.roundrect.pen);
      tidy_brush(r.u.roundrect.brush);
      break;
    case OBJREC_MULTIPOINT:
      r.u.points.symbol_code = static_cast<uint8_t>(rng() % 3 == 0 ? 201 : rng() % 2 ? 211 : 212);
      r.u.points.count = 1 + static_cast<int32_t>(rng() % 7);
      r.u.points.points = run(r.u.points.count, false);
      break;
    case OBJREC_COLLECTION: {
      auto& c = r.u.collection;
      c.region.section = nullptr, c.polyline.section = nullptr, c.multipoint.count = 0;
      if (rng() % 2) {
        c.region.sections = 1 + static_cast<int32_t>(rng() % 2);
        c.region.section = &out.sections[sections(c.region.sections, true)];
        tidy_pen(c.region.pen);
        tidy_brush(c.region.brush);
      }
      if (rng() % 2) {
        c.polyline.sections = 1 + static_cast<int32_t>(rng() % 2);
        c.polyline.section = &out.sections[sections(c.polyline.sections, false)];
        tidy_pen(c.polyline.pen);
      }
      if (rng() % 2) {
        c.multipoint.symbol_code = 201;
        c.multipoint.count = 1 + static_cast<int32_t>(rng() % 4);
        c.multipoint.points = run(c.multipoint.count, false);
      }
      break;
    }
    default: break;
  }
}

TEST_F(mapobj_objrec, RandomRecordsSettleAfterOneRoundTrip) {
  std::mt19937 rng(20261210);
  const CoordXform* tables[2] = {&plain_, &scaled_};
  const double spans[2] = {1e8, 5e5};
  for (int t = 0; t < 2; ++t) {
    for (uint8_t code = OBJREC_NONE; code <= OBJREC_COLLECTION; ++code) {
      for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(testing::Message() << "table " << t << " code " << int(code) << " round " << round);
        RandomRecord r;
        Randomise(rng, code, spans[t], r);
        ObjPtr o = FromRecord(r.rec, tables[t]);
        ASSERT_TRUE(o);
        ObjRecord r1 = Blank(0);
        ASSERT_EQ(object_to_objrec(o.get(), &r1, tables[t], nullptr), 1);
        Flat f1 = Flatten(r1);
        ObjPtr o1 = FromRecord(r1, tables[t]);
        ASSERT_TRUE(o1);
        ObjRecord r2 = Blank(0);
        ASSERT_EQ(object_to_objrec(o1.get(), &r2, tables[t], nullptr), 1);
        Flat f2 = Flatten(r2);
        EXPECT_TRUE(f1.bytes == f2.bytes);
        double tol = 2.0 / 1000 * std::max(std::fabs(f1.box.x2 - f1.box.x1), std::fabs(f1.box.y2 - f1.box.y1));
        EXPECT_NEAR(f1.box.x1, f2.box.x1, tol);
        EXPECT_NEAR(f1.box.y2, f2.box.y2, tol);
        // Rotating a text box and taking it back rounds twice.
        EXPECT_NEAR(f1.label_end.x, f2.label_end.x, tol);
        EXPECT_NEAR(f1.label_end.y, f2.label_end.y, tol);
      }
    }
  }
}

}  // namespace

namespace {

TEST_F(mapobj_objrec, RotatedTextBoxesHoldTheirText) {
  ObjRecord rec = Blank(OBJREC_TEXT);
  char text[] = "abc";
  rec.u.text.text = text;
  rec.u.text.box = {0, 0, 100, 10};
  rec.u.text.angle = 90;
  ObjPtr obj = FromRecord(rec, &plain_);
  ASSERT_TRUE(obj);
  // Turned a quarter round, the stored box is about 10 wide and 100 high.
  EXPECT_NEAR(obj->u.text.box.x2 - obj->u.text.box.x1, 10, 2);
  EXPECT_NEAR(obj->u.text.box.y2 - obj->u.text.box.y1, 100, 2);
  ObjRecord back = Blank(0);
  ASSERT_EQ(object_to_objrec(obj.get(), &back, &plain_, nullptr), 1);
  EXPECT_NEAR(back.u.text.box.x2 - back.u.text.box.x1, 100, 0.2);
}

}  // namespace
