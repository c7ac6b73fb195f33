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
#include "kernel/runtime/list.h"
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

// The list as "a|b|c"; every item a kernel block.
struct List {
  char* items[kSrvMaxSelectItems] = {};
  int16_t count = 0;
  explicit List(const std::vector<const char*>& texts) {
    for (const char* t : texts) items[count++] = srv_text_block(t);
  }
  ~List() {
    for (int16_t i = 0; i < count; ++i) mem_free(&items[i]);
  }
  std::string Text() const {
    std::string out;
    for (int16_t i = 0; i < count; ++i) out += (i ? "|" : "") + std::string(items[i]);
    return out;
  }
};

TEST_F(SrvSpatial, SelectColumnsPerServer) {
  using Member = int16_t (*)(SrvConnection*, SrvQuery*, char**, int16_t*, const char*, int16_t, int16_t);
  struct Case {
    Member member;
    int kind;
    int16_t expand;
    const char* want;
  };
  desc.bounds[0] = 1;
  desc.bounds[1] = 2;
  desc.bounds[2] = 3;
  desc.bounds[3] = 4;
  query.pairs_per_row = 3;
  const Case cases[] = {
      {ora_select_columns, 13, 1, "A|B|T.\"G\""},
      {spx_select_columns, 5, 1, "A|B|T.\"QD_GEOMETRY\""},
      {ifx_select_columns, 11, 1, "A|B|T.\"G\""},
      {sqs_select_columns, 7, 1, "A|B|T.G"},
      {xy_select_columns, 4, 1, "A|\"X\"|\"Y\""},  // P and B are the X/Y pair
      {xy_select_columns, 1, 1, "\"X\"|\"Y\"|\"G\""},
      {xy_select_columns, 1, 0, "P|A|B"},
      {xy_select_columns, 4, 0, "A|P|B"},
      {ora_select_columns, 13, 0, "A|B|P"},
      {sdorel_select_columns, 8, 0,
       "A|B|T.\"G\"|\"SDO_ETYPE\"|\"SDO_ESEQ\"|\"SDO_SEQ\"|\"SDO_X1\"|\"SDO_Y1\"|\"SDO_X2\"|\"SDO_Y2\"|"
       "\"SDO_X3\"|\"SDO_Y3\""},
      {sdorel_point_select_columns, 2, 1,
       "A|B| T.G ,1, 1.00000000, 3.00000000) | T.G ,2, 2.00000000, 4.00000000) "},
  };
  for (const Case& c : cases) {
    desc.kind = c.kind;
    // The code kind's placeholder P and its two companions lead the list.
    const bool code = c.member == xy_select_columns && c.kind == 1;
    List list(code ? std::vector<const char*>{"P", "A", "B"} : std::vector<const char*>{"A", "P", "B"});
    const int16_t position = code ? 0 : 1;
    EXPECT_EQ(c.member(&conn, &query, list.items, &list.count, "T", c.expand, position), 1) << c.want;
    EXPECT_EQ(list.Text(), c.want);
  }
  // Oracle without a descriptor: an empty item and 0.
  query.desc = nullptr;
  List list(std::vector<const char*>{"A", "P"});
  EXPECT_EQ(ora_select_columns(&conn, &query, list.items, &list.count, "T", 1, 1), 0);
  EXPECT_EQ(list.Text(), "A|");
}

TEST_F(SrvSpatial, ColumnRecognition) {
  using Member = void (*)(uint8_t, const char*, int16_t*, int16_t*);
  struct Case {
    Member member;
    uint8_t type;
    const char* name;
    int16_t candidate, spatial;
  };
  const Case cases[] = {
      {ora_column_type_is_spatial, 90, "A", 1, 1},       {ora_column_type_is_spatial, 108, "A", 1, 1},
      {ora_column_type_is_spatial, 17, "A", 0, 0},       {spx_column_is_geometry, 17, "qd_geometry", 1, 1},
      {spx_column_is_geometry, 17, "GEOM", 1, 0},         {spx_column_is_geometry, 1, "QD_GEOMETRY", 0, 0},
      {ifx_column_is_geometry, 17, "QD_Geometry", 1, 1}, {sqs_column_is_geometry, 17, "ANY", 1, 1},
      {ifx_column_is_blob, 17, "ANY", 1, 1},              {ifx_column_is_blob2, 3, "ANY", 0, 0},
      {sdorel_column_is_gid, 3, "sdo_gid", 1, 1},         {sdorel_column_is_gid, 8, "GID", 1, 0},
      {sdorel_column_is_gid, 1, "SDO_GID", 0, 0},         {xy_column_is_code, 1, "a_cv_sql_cvcode", 1, 1},
      {xy_column_is_code, 16, "CODE", 1, 0},              {xy_column_is_code, 3, "CV_SQL_CVCODE", 0, 0},
  };
  for (const Case& c : cases) {
    int16_t candidate = 9, spatial = 9;
    c.member(c.type, c.name, &candidate, &spatial);
    EXPECT_EQ(candidate, c.candidate) << c.name << " " << int(c.type);
    EXPECT_EQ(spatial, c.spatial) << c.name << " " << int(c.type);
  }
  struct Axis {
    bool x;
    uint8_t type;
    const char* name;
    int16_t float_only, candidate, spatial;
  };
  const Axis axes[] = {
      {true, 8, "ROAD_X", 0, 1, 1},      {true, 3, "X", 1, 0, 0},       {true, 3, "x", 0, 1, 1},
      {true, 2, "longitude", 0, 1, 1},   {true, 4, "A_CV_SQL_X1", 0, 1, 1}, {true, 4, "XX", 0, 1, 0},
      {false, 8, "ROAD_Y", 1, 1, 1},     {false, 8, "northing", 0, 1, 1}, {false, 1, "Y", 0, 0, 0},
      {false, 3, "ROAD_X", 0, 1, 0},
  };
  for (const Axis& a : axes) {
    int16_t candidate = 9, spatial = 9;
    (a.x ? xy_column_is_x : xy_column_is_y)(a.type, a.name, &candidate, &spatial, a.float_only);
    EXPECT_EQ(candidate, a.candidate) << a.name;
    EXPECT_EQ(spatial, a.spatial) << a.name;
  }
}

TEST_F(SrvSpatial, KeyRangesRaiseOddLevels) {
  QuadKeyNode even{}, odd{}, ab{};
  even.next = &odd;
  odd.next = &ab;
  even.level = 2;
  odd.level = 3;
  ab.level = 3;
  std::strcpy(even.key, "AA");
  std::strcpy(odd.key, "AA");
  std::strcpy(ab.key, "AB");
  KernelList list{&even, &ab};
  char text[512] = "";
  ASSERT_EQ(xy_code_ranges_clause(&desc, &list, 3, "\"", text, sizeof text), 0);
  const std::string p15(15, 'P');
  EXPECT_EQ(std::string(text), "(\"G\" between 'AA' and 'AA" + p15 + "') OR (\"G\" between 'AA' and 'AD" + p15 +
                                   "') OR (\"G\" between 'AB' and 'AB" + p15 + "')");
  text[0] = '\0';
  EXPECT_EQ(xy_code_ranges_clause(&desc, &list, 0, "\"", text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  ASSERT_EQ(xy_window_clause(&desc, "T", 1, 2, 3, 4, "\"", text, sizeof text, 0), 0);
  EXPECT_STREQ(text, "\"X\" > 1 AND \"X\" < 3 AND \"Y\" > 2 AND \"Y\" < 4");
}

}  // namespace
