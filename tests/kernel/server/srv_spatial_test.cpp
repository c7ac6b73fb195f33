// Spatial SQL per kind: insert and update texts, the acceptance tables of
// the spatial servers with their conversions, and the X/Y and code columns.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/quadkey.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/value.h"
#include "kernel/server/srv_spatial.h"

namespace {

class SrvSpatial : public ::testing::Test {
 protected:
  void SetUp() override {
    err_clear();
    ASSERT_EQ(mapobj_runtime_start(), 1);
    std::strcpy(conn.server_type, "Microsoft SQL Server");
    std::strcpy(conn.quote, "\"");
    std::strcpy(desc.column, "G");
    std::strcpy(desc.x_column, "X");
    std::strcpy(desc.y_column, "Y");
    xform_default_nonearth(&xf);
    xform_set_scale(&xf, 1000, 1000, 0, 0);  // a thousandth of a unit
    desc.coordsys = &xf;
    desc.geometry_class = 3;
    query.desc = &desc;
  }
  void TearDown() override {
    mapobj_runtime_end();
    value_set_object_ops(nullptr);
    err_clear();
  }
  MapObject* Object(int type) {
    MapObject* obj = nullptr;
    EXPECT_EQ(mapobj_new(nullptr, &obj, type, 0), 1);
    objects.push_back(obj);
    return obj;
  }
  MapObject* Point(double x, double y) {
    MapObject* p = Object(MAPOBJ_POINT);
    const DPoint at{x, y};
    xform_xy_to_int(&at, &p->u.point.location, &xf, 1);
    return p;
  }
  // "answer|column|value" of the insert parts and "answer|pair" of the update.
  std::string Insert(int kind, MapObject* obj) {
    desc.kind = kind;
    char *column = nullptr, *value = nullptr;
    const int16_t ok = srv_spatial_insert_parts(&conn, &query, obj, &column, &value);
    std::string out = std::to_string(ok) + "|" + (column ? column : "") + "|" + (value ? value : "");
    mem_free(&column);
    mem_free(&value);
    return out;
  }
  std::string Update(int kind, MapObject* obj) {
    desc.kind = kind;
    char* pair = nullptr;
    const int16_t ok = srv_spatial_update_pair(&conn, &query, obj, &pair);
    std::string out = std::to_string(ok) + "|" + (pair ? pair : "");
    mem_free(&pair);
    return out;
  }
  ~SrvSpatial() override {
    for (MapObject* o : objects) mapobj_destroy(&o);
  }
  SrvConnection conn{};
  SpatialColumnDesc desc{};
  SrvQuery query{};
  CoordXform xf{};
  std::vector<MapObject*> objects;
};

TEST_F(SrvSpatial, ParameterKinds) {
  MapObject* region = Object(MAPOBJ_REGION);
  MapObject* none = Object(MAPOBJ_NONE);
  desc.server_version = 500;
  for (int kind : {5, 7, 11, 13, 14}) {
    EXPECT_EQ(Insert(kind, region), "1|\"G\"|?") << kind;
    EXPECT_EQ(Update(kind, region), "1|\"G\"=?") << kind;
    EXPECT_EQ(Insert(kind, none), "1|\"G\"|NULL") << kind;
    EXPECT_EQ(Update(kind, none), "1|\"G\"=NULL") << kind;
  }
  EXPECT_EQ(Insert(12, region), "1|\"G\"|qd2_morph_in(CAST(? AS ST_SPATIAL_TYPE))");
  EXPECT_EQ(Update(12, region), "1|\"G\"=qd2_morph_in(CAST(? AS ST_SPATIAL_TYPE))");
  for (int kind : {3, 6, 0, 15}) {
    EXPECT_EQ(Insert(kind, region), "0||") << kind;
    EXPECT_EQ(Update(kind, region), "0|") << kind;
  }
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(Insert(8, region), "1||");
  EXPECT_EQ(Update(8, region), "1|");
  EXPECT_EQ(srv_count_char("insert (?, ?, 'a')", '?'), 2);
}

TEST_F(SrvSpatial, PointKinds) {
  MapObject* p = Point(12.5, -3.25);
  for (int kind : {4, 9, 10}) {
    EXPECT_EQ(Insert(kind, p), "1|\"X\", \"Y\"|12.50000000, -3.25000000") << kind;
    EXPECT_EQ(Update(kind, p), "1|\"X\"=12.50000000, \"Y\"=-3.25000000") << kind;
    EXPECT_EQ(Insert(kind, nullptr), "1|\"X\", \"Y\"|NULL, NULL") << kind;
  }
  DRect extent{};
  xform_bounds_in_units(&xf, &extent, xform_coord_units(&xf));
  const DRect at{12.5, -3.25, 12.5, -3.25};
  char key[kQuadKeyTextSize];
  quadkey_of_rect(&extent, &at, key);
  ASSERT_EQ(key[0], 'A');
  EXPECT_EQ(Insert(1, p), std::string("1|\"X\", \"Y\", \"G\"|12.50000000, -3.25000000, '") + key + "'");
  EXPECT_EQ(Update(1, p), std::string("1|\"X\"=12.50000000, \"Y\"=-3.25000000, \"G\"='") + key + "'");
  EXPECT_EQ(Update(1, nullptr), "1|\"X\"=NULL, \"Y\"=NULL, \"G\"=NULL");
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(Insert(4, Object(MAPOBJ_POLYLINE)), "0||");
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvObjectRefused);
  EXPECT_STREQ(g_err_stack->pool + g_err_stack->entries[0].arg1_offset, "Polyline");
}

TEST_F(SrvSpatial, AcceptanceTable) {
  struct Case {
    int kind, cls, version, type, mode;
    int accepted, new_type, state;
  };
  // state: the conversion byte of the column's class afterwards.
  const Case cases[] = {
      {13, 2, 0, MAPOBJ_RECT, 1, 1, MAPOBJ_REGION, 2},
      {13, 2, 0, MAPOBJ_RECT, 0, 0, MAPOBJ_RECT, 2},
      {13, 2, 0, MAPOBJ_RECT, 2, 0, MAPOBJ_RECT, 2},
      {13, 1, 0, MAPOBJ_ARC, 1, 1, MAPOBJ_POLYLINE, 2},
      {13, 0, 0, MAPOBJ_MULTIPOINT, 1, 1, MAPOBJ_MULTIPOINT, 0},
      {13, 0, 0, MAPOBJ_REGION, 1, 0, MAPOBJ_REGION, 0},
      {13, 3, 0, MAPOBJ_FRAME, 1, 0, MAPOBJ_FRAME, 0},
      {14, 0, 455, MAPOBJ_TEXT, 0, 1, MAPOBJ_TEXT, 0},
      {14, 0, 451, MAPOBJ_TEXT, 0, 0, MAPOBJ_TEXT, 0},
      {11, 0, 0, MAPOBJ_TEXT, 0, 1, MAPOBJ_TEXT, 0},
      {11, 2, 0, MAPOBJ_TEXT, 0, 1, MAPOBJ_TEXT, 0},
      {5, 0, 451, MAPOBJ_MULTIPOINT, 0, 1, MAPOBJ_MULTIPOINT, 0},
      {5, 0, 450, MAPOBJ_MULTIPOINT, 0, 0, MAPOBJ_MULTIPOINT, 0},
      {5, 2, 0, MAPOBJ_RECT, 0, 1, MAPOBJ_RECT, 0},
      {5, 2, 0, MAPOBJ_ELLIPSE, 1, 1, MAPOBJ_REGION, 2},
      {5, 3, 450, MAPOBJ_COLLECTION, 0, 0, MAPOBJ_COLLECTION, 0},
      {7, 2, 0, MAPOBJ_ELLIPSE, 1, 1, MAPOBJ_ELLIPSE, 0},
      {7, 2, 0, MAPOBJ_RECT, 1, 0, MAPOBJ_RECT, 0},
      {7, 3, 0, MAPOBJ_TEXT, 1, 0, MAPOBJ_TEXT, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << "/" << c.cls << "/" << c.version << "/" << c.type << "/" << c.mode);
    err_clear();
    conn.version_number = c.version;
    desc.geometry_class = c.cls;
    desc.conversion_mode = static_cast<uint8_t>(c.mode);
    std::memset(desc.conversion_state, 0, sizeof desc.conversion_state);
    MapObject* obj = Object(c.type);
    if (c.type == MAPOBJ_RECT || c.type == MAPOBJ_ELLIPSE) rect_set(&obj->mbr, 0, 0, 1000, 500);
    if (c.type == MAPOBJ_ARC) {
      rect_set(&obj->mbr, 0, 0, 1000, 500);
      rect_set(&obj->u.arc.rect, 0, 0, 1000, 500);
      obj->u.arc.end = 900;
    }
    const std::string got = Insert(c.kind, obj);
    EXPECT_EQ(got[0] == '1', c.accepted == 1) << got;
    EXPECT_EQ(obj->type, c.new_type);
    const int index = c.cls == 3 ? 0 : c.cls == 2 ? 1 : c.cls == 1 ? 2 : -1;
    EXPECT_EQ(index < 0 ? 0 : desc.conversion_state[index], c.state);
    EXPECT_EQ(err_count(), c.accepted ? 0 : 1);
    if (!c.accepted) {
      EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvObjectRefused);
    }
  }
}

}  // namespace
