// Map file header and record codecs: the empty file byte by byte, header
// versions, decoding hand-made records and the choice of record codes.
#include "kernel/mapobjects/mapfile_fixture.h"

namespace {

class mapfile_header : public MapFileTest {};

TEST_F(mapfile_header, EmptyMapIsOneKilobyteWithTableAndHeader) {
  MapStore s;
  Create(&s);
  Finish(&s);
  const std::string b = Bytes(map_path());
  ASSERT_EQ(b.size(), 1024u);
  // Record-size table: code 1 is 10 bytes, code 7 34 bytes with chain data,
  // 70 is 66 with chain data; 0 and 73-255 zero.
  EXPECT_EQ(uint8_t(b[0]), 0);
  EXPECT_EQ(uint8_t(b[1]), 10);
  EXPECT_EQ(uint8_t(b[7]), 34 + 0x80);
  EXPECT_EQ(uint8_t(b[14]), 41 + 0x80);
  EXPECT_EQ(uint8_t(b[57]), 116 + 0x80);
  EXPECT_EQ(uint8_t(b[70]), 66 + 0x80);
  EXPECT_EQ(uint8_t(b[72]), 121 + 0x80);
  for (int c = 73; c < 256; ++c) EXPECT_EQ(uint8_t(b[c]), 0) << c;
  EXPECT_EQ(b.substr(256, 4), std::string("\xb2\x57\x87\x02", 4));
  EXPECT_EQ(Get16(b, 260), 500);
  EXPECT_EQ(Get16(b, 262), 512);
  EXPECT_EQ(uint8_t(b[355]), 72);
  EXPECT_EQ(uint8_t(b[256 + 95]), 0);   // depth
  EXPECT_EQ(Get32(b, 256 + 48), 0);     // root
  EXPECT_EQ(Get32(b, 256 + 52), 0);     // free chain
  EXPECT_EQ(Get32(b, 256 + 56), 0);     // style blocks
  EXPECT_EQ(uint8_t(b[256 + 104]), 0);  // style block count
  for (size_t i = 256 + 312; i < 1024; ++i) EXPECT_EQ(b[i], 0) << i;
}

TEST_F(mapfile_header, ZmTransformWritesVersion800) {
  MapStore s;
  Create(&s, true);
  Finish(&s);
  const std::string b = Bytes(map_path());
  EXPECT_EQ(Get16(b, 260), 800);
  EXPECT_EQ(uint8_t(b[256 + 312]), 1);
}

TEST_F(mapfile_header, Version200HeaderOf216BytesOpensAndCut400Fails) {
  MapStore s;
  Create(&s);
  Finish(&s);
  std::string b = Bytes(map_path());
  b.resize(256 + 216);
  Put16(b, 260, 200);
  PutBytes(map_path(), b);
  MapStore r;
  ASSERT_EQ(mapstore_open(&r, MAPSTORE_FILE, nullptr, 0, -1, tab().c_str()), 1) << Errors();
  EXPECT_EQ(r.file.version, 200);
  mapstore_close(&r);
  Put16(b, 260, 400);
  PutBytes(map_path(), b);
  err_clear();
  EXPECT_EQ(mapstore_open(&r, MAPSTORE_FILE, nullptr, 0, -1, tab().c_str()), 0);
  EXPECT_TRUE(err_has_code(kErrMapDamaged));
}

// Decoding without a handle: default styles, the given block centre.
struct Decoded {
  ObjPtr obj = MapObjTest::New(MAPOBJ_NONE);
  int16_t ok = 0;
};
Decoded decode(std::vector<uint8_t> rec, IntPoint centre) {
  Decoded d;
  rec.resize(128, 0);
  d.ok = maprec_decode(nullptr, rec.data(), 128, d.obj.get(), nullptr, &centre, 0);
  return d;
}

TEST_F(mapfile_header, DecodesCompressedPointFromBlockCentre) {
  std::vector<uint8_t> r = {1, 5, 0, 0, 0};
  r.resize(10);
  le_put16(&r[5], -32768);
  le_put16(&r[7], 32767);
  const Decoded d = decode(r, {1000, 1000});
  ASSERT_EQ(d.ok, 1);
  EXPECT_EQ(d.obj->type, MAPOBJ_POINT);
  EXPECT_EQ(d.obj->row_id, 5);
  EXPECT_EQ(d.obj->u.point.location, (IntPoint{-31768, 33767}));
}

TEST_F(mapfile_header, DecodesSizeWordsAndArcs) {
  std::vector<uint8_t> r(64, 0);
  r[0] = 7;
  le_put32(&r[9], 400);
  Decoded d = decode(r, {0, 0});
  ASSERT_EQ(d.ok, 1);
  EXPECT_EQ(d.obj->u.poly.sections, 1);
  EXPECT_EQ((d.obj->u.poly.size - 28) / 8, 100);
  EXPECT_EQ(d.obj->u.poly.line_flags, 0u);
  le_put32(&r[9], static_cast<int32_t>(0x80000000u | 400));
  d = decode(r, {0, 0});
  EXPECT_EQ(d.obj->u.poly.line_flags, 1u);

  std::fill(r.begin(), r.end(), 0);
  r[0] = 14;
  le_put32(&r[9], 1000);
  le_put16(&r[13], 3);
  d = decode(r, {0, 0});
  ASSERT_EQ(d.ok, 1);
  EXPECT_EQ(d.obj->u.poly.sections, 3);
  EXPECT_EQ(d.obj->u.poly.size, 1012);

  std::fill(r.begin(), r.end(), 0);
  r[0] = 10;
  le_put16(&r[5], 3000);
  le_put16(&r[7], 600);
  d = decode(r, {0, 0});
  ASSERT_EQ(d.ok, 1);
  EXPECT_EQ(d.obj->u.arc.start, 3000);
  EXPECT_EQ(d.obj->u.arc.end, 4200);
}

TEST_F(mapfile_header, TextAngleKeptUpTo255Characters) {
  for (int len : {255, 300}) {
    std::vector<uint8_t> r(64, 0);
    r[0] = 16;
    le_put16(&r[9], len);
    le_put16(&r[13], 450);
    const Decoded d = decode(r, {0, 0});
    ASSERT_EQ(d.ok, 1);
    EXPECT_EQ(d.obj->u.text.angle, len > 255 ? 0 : 450) << len;
  }
}

// Record codes chosen for a block centre (0,0) in a file with or without Z/M.
class mapfile_codes : public MapFileTest {
 protected:
  MapFile mf_{};
  void SetUp() override {
    MapFileTest::SetUp();
    std::memcpy(mf_.sizes, maprec_size_table(), 256);
  }
  int code(const MapObject* o, bool zm = false) {
    mf_.zm = zm;
    const IntPoint c{0, 0};
    return mapfile_pick_code(&mf_, o, &c);
  }
};

TEST_F(mapfile_codes, CompressionLimits) {
  ObjPtr r1 = Poly(MAPOBJ_REGION, {{{0, 0}, {65534, 0}, {65534, 10}, {0, 10}}});
  ObjPtr r2 = Poly(MAPOBJ_REGION, {{{0, 0}, {65535, 0}, {65535, 10}, {0, 10}}});
  EXPECT_EQ(code(r1.get()), 13);
  EXPECT_EQ(code(r2.get()), 14);
  EXPECT_EQ(code(Line(0, 0, 32767, 0).get()), 4);
  EXPECT_EQ(code(Line(0, 0, 32768, 0).get()), 5);
}

TEST_F(mapfile_codes, ZPointNeedsZmFile) {
  ObjPtr p = Point(1, 1);
  p->has_z = 1;
  p->u.point.z = 5;
  EXPECT_EQ(code(p.get(), false), 1);
  EXPECT_EQ(code(p.get(), true), 58);
  // Written into a Z/M file: code 58, flags 9 (Z and bit 3).
  MapStore st;
  Create(&st, true);
  ASSERT_EQ(Insert(&st, p.get(), 1), 1);
  Finish(&st);
  const std::string b = Bytes(map_path());
  EXPECT_EQ(uint8_t(b[1024 + 20]), 58);
  EXPECT_EQ(uint8_t(b[1024 + 20 + 5]), 9);
}

TEST_F(mapfile_codes, NoSilentTruncation) {
  ObjPtr t = MapObjTest::New(MAPOBJ_TEXT);
  t->u.text.height = 40000;
  t->u.text.length = 1;
  EXPECT_EQ(code(t.get()), 17);
  t->u.text.height = 300;
  EXPECT_EQ(code(t.get()), 16);
  ObjPtr rr = MapObjTest::New(MAPOBJ_ROUNDRECT);
  rr->mbr = {0, 0, 10, 10};
  rr->u.roundrect.corner_width = 70000;
  EXPECT_EQ(code(rr.get()), 23);
  rr->u.roundrect.corner_width = 65535;
  EXPECT_EQ(code(rr.get()), 22);
  // A label point 32768 from its own centre takes the full code.
  ObjPtr pl = Poly(MAPOBJ_POLYLINE, {{{0, 0}, {10, 10}}});
  EXPECT_EQ(code(pl.get()), 7);
  pl->u.poly.center = {5 + 32768, 5};
  EXPECT_EQ(code(pl.get()), 8);
}

}  // namespace
