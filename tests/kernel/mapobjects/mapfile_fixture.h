// Shared set-up of the map-file tests: a private directory, the map-object
// runtime, a plain non-earth transform, storages with an .ID file, object
// builders and raw file access.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/xform.h"
#include "kernel/kernel_files_fixture.h"
#include "kernel/mapobjects/mapbytes.h"
#include "kernel/mapobjects/mapfile.h"
#include "kernel/mapobjects/mapfile_internal.h"
#include "kernel/mapobjects/mapobj_fixture.h"
#include "kernel/mapobjects/mapstore.h"
#include "kernel/mapobjects/mapstyle.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objtrace.h"
#include "kernel/runtime/mem.h"

class MapFileTest : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    MapObjTest::Reset();
    ASSERT_EQ(mapobj_runtime_start(), 1);
    CoordSysDef def;
    coordsys_clear(&def);
    def.ne.ne_units = 7;
    def.ne.ne_int_orientation = 1;
    xform_init_scaled(&plain_, 0, &def, 1, 1, 0, 0);
    zm_ = plain_;
    zm_.def.support_mz = 1;
    g_split_tie_toggle = 0;
  }
  void TearDown() override {
    file_test_fail_write_nth(0);
    file_test_fail_extend_nth(0);
    mapobj_runtime_end();
    value_set_object_ops(nullptr);
    MapObjTest::Reset();
    KernelFilesTest::TearDown();
  }

  // The codes on the error stack, oldest first.
  static std::string Errors() {
    std::string out;
    for (int i = 0; i < err_count(); ++i) out += std::to_string(g_err_stack->entries[i].code) + " ";
    return out;
  }
  std::string tab() const { return path("t.TAB"); }
  std::string map_path() const { return path("t.MAP"); }
  std::string id_path() const { return path("t.ID"); }

  // A new kind-1 storage with an .ID, open for writing with a session.
  void Create(MapStore* s, bool zm = false) {
    ASSERT_EQ(mapstore_create(s, MAPSTORE_FILE, nullptr, -1, zm ? &zm_ : &plain_, 0, 1, tab().c_str()), 1) << Errors();
    ASSERT_EQ(mapstore_begin_access(s, 2), 1);
    ASSERT_EQ(mapstore_begin_write(&w_, s), 1);
  }
  void Open(MapStore* s, int mode = 2) {
    ASSERT_EQ(mapstore_open(s, MAPSTORE_FILE, nullptr, 1, -1, tab().c_str()), 1);
    ASSERT_EQ(mapstore_begin_access(s, mode), 1);
    if (mode == 2) {
      ASSERT_EQ(mapstore_begin_write(&w_, s), 1);
    }
  }
  void Finish(MapStore* s, bool writing = true) {
    if (writing) mapstore_end_write(&w_, s);
    EXPECT_EQ(mapstore_end_access(s), 1);
    mapstore_close(s);
  }
  int16_t Insert(MapStore* s, MapObject* obj, int32_t row) { return mapstore_insert_object(&w_, s, obj, row, -1); }

  static ObjPtr Point(int32_t x, int32_t y) {
    ObjPtr p = MapObjTest::New(MAPOBJ_POINT);
    p->u.point.location = {x, y};
    p->u.point.symbol = g_default_style_set.symbol;
    p->mbr = {x, y, x, y};
    return p;
  }
  static ObjPtr Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    ObjPtr l = MapObjTest::New(MAPOBJ_LINE);
    l->u.line.start = {x1, y1};
    l->u.line.end = {x2, y2};
    l->mbr = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    return l;
  }
  static ObjPtr Rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    ObjPtr r = MapObjTest::New(MAPOBJ_RECT);
    r->mbr = {x1, y1, x2, y2};
    return r;
  }
  // A normalised region or polyline from rings.
  static ObjPtr Poly(int type, const std::vector<Ring>& rings) {
    ObjPtr o = MapObjTest::Poly(type, rings);
    mapobjx_normalize(o.get(), 1);
    return o;
  }

  // The object's trace text in the plain transform, LF line ends.
  std::string Trace(MapObject* obj) {
    const int32_t h = file_register(path("trace.txt").c_str(), 0);
    EXPECT_NE(file_open_text(h, 3, nullptr), 0);
    object_write_text(h, obj, &plain_, 0, nullptr);
    file_release_text(h);
    file_unregister(h);
    std::string s = Bytes(path("trace.txt"));
    std::string out;
    for (char c : s)
      if (c != '\r') out += c;
    return out;
  }

  std::string Bytes(const std::string& p) const {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void PutBytes(const std::string& p, const std::string& b) const {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << b;
  }
  static int16_t Get16(const std::string& b, size_t off) {
    return le_get16(reinterpret_cast<const uint8_t*>(b.data() + off));
  }
  static int32_t Get32(const std::string& b, size_t off) {
    return le_get32(reinterpret_cast<const uint8_t*>(b.data() + off));
  }
  static void Put16(std::string& b, size_t off, int32_t v) { le_put16(reinterpret_cast<uint8_t*>(&b[off]), v); }
  static void Put32(std::string& b, size_t off, int32_t v) { le_put32(reinterpret_cast<uint8_t*>(&b[off]), v); }

  CoordXform plain_;
  CoordXform zm_;
  MapWriter w_;
};
