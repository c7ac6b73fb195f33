// Per-server spatial SQL over the scripted driver and as plain texts:
// relational SDO layers (query rewriting, feature assembly, windows,
// encoded points), the extension on Oracle (versions, function names and
// their class effects, window predicates), Informix (type names, column
// kinds, predicates) and SQS (versions, shapes, window predicates).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/value.h"
#include "kernel/server/fake_driver.h"
#include "kernel/server/srv_ifx.h"
#include "kernel/server/srv_sdorel.h"
#include "kernel/server/srv_query.h"
#include "kernel/server/srv_spatial.h"
#include "kernel/server/srv_spx.h"
#include "kernel/server/srv_sqs.h"

namespace {

std::string Arg(int i) {
  const ErrorEntry& e = g_err_stack->entries[i];
  return e.arg1_length > 0 ? std::string(g_err_stack->pool + e.arg1_offset) : std::string();
}

// Rows of a kind-8 result: GID, SDO_ETYPE, SDO_ESEQ, SDO_SEQ, X1, Y1, X2, Y2.
struct SdoRow {
  double gid, etype, eseq, seq;
  std::vector<double> xy;  // NaN: NULL
};

class SrvServerSql : public ::testing::Test {
 protected:
  void SetUp() override {
    srv_unload_all();
    fake::Reset();
    err_clear();
    ASSERT_EQ(mapobj_runtime_start(), 1);
    ASSERT_EQ(srv_register_driver_for_test(nullptr, &fake::Table()), 1);
    conn = srv_connect_driver("fake", "DSN=x");
    ASSERT_NE(conn, nullptr);
    std::strcpy(conn->quote, "\"");
    xform_default_nonearth(&xf);
    xform_set_scale(&xf, 1000, 1000, 0, 0);
    std::strcpy(desc.column, "GID");
    desc.has_spatial_column = 1;
    desc.coordsys = &xf;
    query.desc = &desc;
    query.search = &search;
    mapobj_init(&obj, 0);
  }
  void TearDown() override {
    mapobj_free(&obj);
    srv_search_release(&search);
    for (MapObject*& o : objects) mapobj_destroy(&o);
    srv_unload_all();
    mapobj_runtime_end();
    value_set_object_ops(nullptr);
    kernel_string_reset();
    err_clear();
  }
  void Script(const std::vector<SdoRow>& rows, int pairs = 2) {
    fake::Script& s = fake::Current();
    s.columns.clear();
    for (const char* n : {"GID", "SDO_ETYPE", "SDO_ESEQ", "SDO_SEQ"}) s.columns.push_back({n, 8});
    for (int i = 1; i <= pairs; ++i) {
      s.columns.push_back({"SDO_X" + std::to_string(i), 8});
      s.columns.push_back({"SDO_Y" + std::to_string(i), 8});
    }
    s.rows.clear();
    for (const SdoRow& r : rows) {
      std::vector<fake::Cell> cells{fake::Number(r.gid), fake::Number(r.etype), fake::Number(r.eseq),
                                    fake::Number(r.seq)};
      for (double v : r.xy) cells.push_back(v != v ? fake::Null() : fake::Number(v));
      s.rows.push_back(cells);
    }
    query.pairs_per_row = static_cast<int16_t>(pairs);
  }
  // Every feature of the statement: "type:nodes,nodes,..." per object.
  std::vector<std::string> Features(int16_t filter = 0) {
    std::vector<std::string> out;
    SrvStatement* stmt = srv_execute(conn, "select");
    EXPECT_NE(stmt, nullptr);
    while (sdorel_fetch_next(conn, &query, stmt) && !srv_statement_at_end(conn, stmt)) {
      if (!sdorel_rows_to_object(conn, &query, stmt, &obj, sdorel_first_column(&query, stmt->column_count),
                                 filter)) {
        out.push_back("fail");
        break;
      }
      std::string f = std::to_string(obj.type) + ":";
      if (obj.type == MAPOBJ_POLYLINE || obj.type == MAPOBJ_REGION) {
        MapSection* h = mapobj_lock_sections(&obj, 1);
        for (int32_t s = 0; s < obj.u.poly.sections; ++s) f += (s ? "," : "") + std::to_string(h[s].node_count);
        mapobj_unlock_sections(&obj, h, 1);
      }
      out.push_back(f);
    }
    srv_close_statement(conn, stmt);
    return out;
  }
  // A one-ring region of these points; the ring stores its closing point
  // as one more.
  MapObject* Region(const std::vector<DPoint>& ring) {
    std::vector<IntPoint> ints(ring.size());
    xform_xy_to_int(ring.data(), ints.data(), &xf, static_cast<int32_t>(ring.size()));
    MapObject* o = nullptr;
    EXPECT_EQ(mapobj_new(nullptr, &o, MAPOBJ_REGION, 0), 1);
    EXPECT_EQ(mapobjx_insert_nodes(o, 0, 0, ints.data(), static_cast<int32_t>(ints.size()), nullptr, nullptr), 1);
    objects.push_back(o);
    return o;
  }
  MapObject* Object(int type) {
    MapObject* o = nullptr;
    EXPECT_EQ(mapobj_new(nullptr, &o, type, 0), 1);
    objects.push_back(o);
    return o;
  }
  SrvConnection* conn = nullptr;
  CoordXform xf{};
  SpatialColumnDesc desc;
  SrvQuery query;
  SrvSearch search;
  MapObject obj{};
  std::vector<MapObject*> objects;
};

const double N = 0.0 / 0.0;  // NULL ordinate

// ---- relational SDO layers ------------------------------------------------------------------

TEST_F(SrvServerSql, OrderRewritingKeepsForUpdateLastAndRefusesGroup) {
  query.conn = conn;
  struct Case {
    const char* tail;
    int16_t ok;
    const char* want;
  } cases[] = {
      {"ORDER BY NAME FOR UPDATE", 1,
       "ORDER BY NAME  ,\"ROADS\".GID,\"ROADS_SDOGEOM\".SDO_ESEQ,\"ROADS_SDOGEOM\".SDO_SEQ FOR UPDATE "},
      {"", 1, " ORDER BY \"ROADS\".GID,\"ROADS_SDOGEOM\".SDO_ESEQ,\"ROADS_SDOGEOM\".SDO_SEQ"},
      {"FOR  UPDATE", 1, " ORDER BY \"ROADS\".GID,\"ROADS_SDOGEOM\".SDO_ESEQ,\"ROADS_SDOGEOM\".SDO_SEQ FOR UPDATE "},
      {"group by NAME", 0, "group by NAME"},
      {"ORDER BY f('a b')", 1,
       "ORDER BY f('a b')  ,\"ROADS\".GID,\"ROADS_SDOGEOM\".SDO_ESEQ,\"ROADS_SDOGEOM\".SDO_SEQ "},
  };
  for (const Case& c : cases) {
    char* tail = srv_text_block(c.tail);
    EXPECT_EQ(sdorel_add_order(conn, &query, &tail, "\"ROADS\""), c.ok) << c.tail;
    EXPECT_STREQ(tail, c.want) << c.tail;
    mem_free(&tail);
  }
  char *before = nullptr, *after = nullptr;
  int16_t group = 0, order = 0;
  EXPECT_EQ(sdorel_split_tail("where x GROUP BY y", &before, &after, &group, &order), 0);
  EXPECT_EQ(group, 1);
  EXPECT_EQ(before, nullptr);
}

TEST_F(SrvServerSql, FromAndWhereJoinTheGeometryTable) {
  char* from = srv_text_block("\"ROADS\"");
  char* where = srv_text_block("NAME = 'A'   ");
  char* empty = nullptr;
  ASSERT_EQ(sdorel_add_geom_table(conn, &from, "\"ROADS\""), 1);
  ASSERT_EQ(sdorel_add_join(conn, &query, &where, "\"ROADS\""), 1);
  ASSERT_EQ(sdorel_add_join(conn, &query, &empty, "\"ROADS\""), 1);
  EXPECT_STREQ(from, "\"ROADS\",\"ROADS_SDOGEOM\"");
  EXPECT_STREQ(where, "NAME = 'A' AND  \"ROADS\".\"GID\" = \"ROADS_SDOGEOM\".\"SDO_GID\"");
  EXPECT_STREQ(empty, " \"ROADS\".\"GID\" = \"ROADS_SDOGEOM\".\"SDO_GID\"");
  mem_free(&from);
  mem_free(&where);
  mem_free(&empty);
}

TEST_F(SrvServerSql, FeaturesAssembleFromConsecutiveRowsReadingOneAhead) {
  Script({
      // a line of two elements: 3 points (one pair NULL) and 2 points
      {1, 2, 1, 1, {0, 0, 1, 1}},
      {1, 2, 1, 2, {2, 2, N, 5}},
      {1, 2, 2, 1, {5, 5, 6, 6}},
      // a polygon repeating its first point: 3 points, the ring closed once
      {2, 3, 1, 1, {0, 0, 4, 0}},
      {2, 3, 1, 2, {4, 4, 0, 0}},
      // a point, then a one-row line at the end of the data
      {3, 1, 1, 1, {7, 8, N, N}},
      {4, 2, 1, 1, {100, 100, 101, 101}},
  });
  EXPECT_EQ(Features(), (std::vector<std::string>{"4:3,2", "5:4", "1:", "4:2"}));
  // One fetch per row, one where the assembly meets the end and the
  // caller's last: no row is read twice.
  int fetches = 0;
  for (const std::string& c : fake::Current().calls) fetches += c == "SrvFetch";
  EXPECT_EQ(fetches, 9);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(SrvServerSql, RowToObjectAssemblesOnARelationalLayer) {
  Script({{1, 3, 1, 1, {0, 0, 4, 0}}, {1, 3, 1, 2, {4, 4, N, N}}});
  SrvStatement* stmt = srv_execute(conn, "select");
  ASSERT_NE(stmt, nullptr);
  ASSERT_EQ(srv_fetch(conn, stmt, kSrvFetchNext), 1);
  desc.kind = 8;
  EXPECT_EQ(srv_row_to_object(conn, &query, stmt, &obj, 0, 0), 1);
  EXPECT_EQ(obj.type, MAPOBJ_REGION);
  EXPECT_EQ(srv_statement_at_end(conn, stmt), 0);
  EXPECT_EQ(query.row_ahead, 0);
  srv_close_statement(conn, stmt);
}

TEST_F(SrvServerSql, WindowFilterTurnsAFeatureOutsideIntoNoObject) {
  Script({{1, 2, 1, 1, {0, 0, 1, 1}}, {2, 2, 1, 1, {100, 100, 101, 101}}, {3, 3, 1, 1, {5, 5, 30, 5}},
          {3, 3, 1, 2, {30, 30, N, N}}});
  char* text = nullptr;
  ASSERT_EQ(sdorel_window_clause(&desc, &search, "-1", "-1", "20", "20", &text), 1);
  EXPECT_STREQ(text, "1=1");
  ASSERT_EQ(search.flag, 1);
  ASSERT_NE(search.object, nullptr);
  EXPECT_EQ(search.object->type, MAPOBJ_RECT);
  EXPECT_EQ(search.object->mbr.x2, 20000);
  // The flag set, a second window keeps the first.
  ASSERT_EQ(sdorel_window_clause(&desc, &search, "50", "50", "200", "200", &text), 1);
  EXPECT_EQ(search.object->mbr.x2, 20000);
  mem_free(&text);
  EXPECT_EQ(Features(1), (std::vector<std::string>{"4:2", "0:", "5:4"}));
  EXPECT_EQ(Features(0), (std::vector<std::string>{"4:2", "4:2", "5:4"}));
  SrvSearch bad;
  EXPECT_EQ(sdorel_window_clause(&desc, &bad, "1", "x", "2", "2", &text), 0);
  EXPECT_EQ(bad.flag, 0);
  mem_free(&text);
}

TEST_F(SrvServerSql, UnreadableElementTypeOrPointIsAnError) {
  struct Case {
    SdoRow row;
    const char* column;
  } cases[] = {{{1, 7, 1, 1, {0, 0, 1, 1}}, "SDO_ETYPE"}, {{1, N, 1, 1, {0, 0, 1, 1}}, "SDO_ETYPE"},
               {{1, 1, 1, 1, {N, 0, 1, 1}}, "SDO_X1"}};
  for (const Case& c : cases) {
    err_clear();
    Script({c.row});
    EXPECT_EQ(Features(), (std::vector<std::string>{"fail"}));
    ASSERT_EQ(err_count(), 1);
    EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvColumnType);
    EXPECT_EQ(Arg(0), c.column);
  }
}

TEST_F(SrvServerSql, EncodedPointValuesAndWindow) {
  desc.bounds[0] = -10;
  desc.bounds[1] = -20;
  desc.bounds[2] = 10;
  desc.bounds[3] = 20;
  std::strcpy(desc.column, "LOC");
  MapObject* point = Object(MAPOBJ_POINT);
  const DPoint at{1.5, -2.25};
  xform_xy_to_int(&at, &point->u.point.location, &xf, 1);
  MapObject* text = Object(MAPOBJ_TEXT);
  char *column = nullptr, *value = nullptr, *pair = nullptr;
  // No encoding function chosen: nothing is written.
  EXPECT_EQ(sdorel_point_insert_parts(&desc, "\"", point, &column, &value), 0);
  ASSERT_EQ(kernel_string_override(6087, "ENC("), 1);
  ASSERT_EQ(sdorel_point_insert_parts(&desc, "\"", point, &column, &value), 1);
  EXPECT_STREQ(column, "\"LOC\"");
  EXPECT_STREQ(value, "ENC( 1.50000000, -10.00000000, 10.00000000, 7, -2.25000000, -20.00000000, 20.00000000, 7)");
  mem_free(&column);
  mem_free(&value);
  ASSERT_EQ(sdorel_point_update_pair(&desc, "\"", nullptr, &pair), 1);
  EXPECT_STREQ(pair, "\"LOC\"=NULL");
  mem_free(&pair);
  EXPECT_EQ(sdorel_point_update_pair(&desc, "\"", text, &pair), 0);
  EXPECT_EQ(sdorel_point_insert_parts(&desc, "\"", text, &column, &value), 0);
  EXPECT_EQ(err_count(), 0);
  // Through the dispatch of kind 2.
  desc.kind = 2;
  query.desc = &desc;
  ASSERT_EQ(srv_spatial_insert_parts(conn, &query, nullptr, &column, &value), 1);
  EXPECT_STREQ(value, "NULL");
  mem_free(&column);
  mem_free(&value);

  char room_test[512] = "W AND ";
  EXPECT_EQ(sdorel_point_window_clause(&desc, "T", "0", "1", "2", "3", room_test, sizeof room_test), 0);
  EXPECT_STREQ(room_test, "W AND ");  // no window function chosen
  ASSERT_EQ(kernel_string_override(6082, "WIN("), 1);
  ASSERT_EQ(kernel_string_override(6083, ") = 1"), 1);
  const std::string want =
      "W AND WIN(T.LOC, -10.00000000, 10.00000000, -20.00000000, 20.00000000, 0, 2, 1, 3) = 1";
  const int32_t need = sdorel_point_window_clause(&desc, "T", "0", "1", "2", "3", room_test,
                                                  static_cast<int32_t>(want.size()));
  EXPECT_EQ(need, static_cast<int32_t>(want.size()) + 1);
  EXPECT_STREQ(room_test, "W AND ");
  EXPECT_EQ(sdorel_point_window_clause(&desc, "T", "0", "1", "2", "3", room_test, need), 0);
  EXPECT_EQ(room_test, want);
}

// ---- the extension on Oracle ------------------------------------------------------------------

TEST_F(SrvServerSql, ExtensionVersionsCompareAsNumbers) {
  struct Case {
    const char* type;
    const char* version;
    int16_t answer;
    int32_t number;
  } cases[] = {{"Helvoristan/ORACLE", "04.05.1", 1, 451}, {"HELVORISTAN/oracle", "04.05.5", 1, 451},
               {"Helvoristan/ORACLE", "04.05.0", 1, 7},   {"Helvoristan/ORACLE", "04.10.0", 1, 451},
               {"Helvoristan/ORACLE", "10.2", 1, 451},    {"Oracle", "04.05.1", 0, 7}};
  for (const Case& c : cases) {
    std::strcpy(conn->server_type, c.type);
    std::strcpy(conn->version, c.version);
    conn->version_number = 7;
    EXPECT_EQ(spx_is_oracle_extension(conn), c.answer) << c.version;
    EXPECT_EQ(conn->version_number, c.number) << c.version;
  }
}

TEST_F(SrvServerSql, ExtensionFunctionNamesAndClassEffects) {
  struct Case {
    const char* item;
    int32_t geometry_class;
    int16_t spatial;
    int32_t new_class;
  } cases[] = {
      {"KT_POINTDYN(g)", 0, 0, 0},  {"KT_POINTN(g, 1)", 0, 1, 0}, {"CENTROID(g)", 0, 0, 0},
      {"KT_CENTROID(g)", 0, 1, 0},  {"CENTROID", 0, 1, 0},        {"BUFFER", 0, 1, 3},
      {"KT_BUFFER(g, 10)", 2, 1, 2}, {"kt_buffer(g, 10)", 2, 1, 2}, {"\"MER\"", 1, 1, 3},
      {"ST_TRANSFORM3D(g)", 2, 1, 2}, {"KT_LL_CIRCLE(1, 2, 3)", 1, 1, 1}, {"KT_AS_PATHS(g)", 2, 1, 3},
      {"KT_CONNECT(g)", 1, 1, 1},   {"BUFFER", 3, 1, 3},          {"NAME", 0, 0, 0},
      {"QD_GEOMETRY", 0, 1, 0},     {"ST_SPATIAL(x)", 0, 1, 0},   {"ST_SOMETHING(x)", 0, 0, 0},
  };
  std::strcpy(conn->quote, "\"");
  for (const Case& c : cases) {
    desc.kind = 5;
    desc.geometry_class = c.geometry_class;
    desc.derived_kind = 0;
    EXPECT_EQ(spx_name_is_spatial(conn, &query, c.item), c.spatial) << c.item;
    EXPECT_EQ(desc.geometry_class, c.new_class) << c.item;
    const double derived = c.new_class != c.geometry_class ? 5.3 : 0.0;
    EXPECT_DOUBLE_EQ(desc.derived_kind, derived) << c.item;
  }
}

TEST_F(SrvServerSql, WindowPredicatesOfTheExtension) {
  std::strcpy(desc.column, "G");
  struct Case {
    int which;  // 0 Oracle extension, 1 Informix
    int16_t bind, param, relation;
    const char* want;
  } cases[] = {
      {0, 1, 1, 1, "T.QD_GEOMETRY OVERLAPS ?"},
      {0, 1, 1, 2, "ST_CONTAINED_BY(T.G, ?)"},
      {0, 1, 1, 3, "ST_OUTSIDE(T.G, ?)"},
      {0, 1, 1, 4, ""},
      {0, 1, 0, 1,
       "T.QD_GEOMETRY overlaps MER(ST_SpatialObject(ST_POLYGON(ST_POLYLINE(LIST{ST_POINT(1,2),ST_POINT(3,2),"
       "ST_POINT(3,4),ST_POINT(1,4),ST_POINT(1,2)} ))))"},
      {1, 1, 1, 1, "ST_OVERLAPS(T.G, ?::ST_SPATIAL)"},
      {1, 1, 1, 2, "ST_CONTAINED_BY(T.G, ?::ST_SPATIAL)"},
      {1, 1, 1, 3, "ST_OUTSIDE(T.G, ?::ST_SPATIAL)"},
      {1, 0, 1, 1, "ST_OVERLAPS(T.G, KT_BOX(ST_POINT(1,2),ST_POINT(3,4)))"},
  };
  for (const Case& c : cases) {
    auto run = [&](char* text, int32_t room) {
      return c.which == 0 ? spx_window_clause(&desc, "T", c.bind, "1", "2", "3", "4", text, room, c.param, c.relation)
                          : ifx_window_clause(&desc, "T", c.bind, "1", "2", "3", "4", text, room, c.param, c.relation);
    };
    const std::string want = std::string("A AND ") + c.want;
    // The room answered is the real length: one byte short appends nothing.
    std::vector<char> text(want.size() + 1, '\0');
    std::strcpy(text.data(), "A AND ");
    if (std::strlen(c.want) > 0) {
      EXPECT_EQ(run(text.data(), static_cast<int32_t>(want.size())), static_cast<int32_t>(want.size()) + 1);
      EXPECT_STREQ(text.data(), "A AND ");
    }
    EXPECT_EQ(run(text.data(), static_cast<int32_t>(text.size())), 0);
    EXPECT_EQ(std::string(text.data()), want);
  }
}

TEST_F(SrvServerSql, LongNamesInEveryWindowWriter) {
  const std::string alias(128, 'A');
  const std::string column(128, 'C');
  std::strcpy(desc.column, column.c_str());
  const std::string big(128, '9');
  std::vector<char> text(1, '\0');
  const int32_t need = spx_window_clause(&desc, alias.c_str(), 0, big.c_str(), big.c_str(), big.c_str(), big.c_str(),
                                         text.data(), 1, 0, 1);
  text.assign(static_cast<size_t>(need), '\0');
  EXPECT_EQ(spx_window_clause(&desc, alias.c_str(), 0, big.c_str(), big.c_str(), big.c_str(), big.c_str(), text.data(),
                              need, 0, 1),
            0);
  EXPECT_EQ(std::strlen(text.data()) + 1, static_cast<size_t>(need));
  text.assign(1, '\0');
  const int32_t need2 = ifx_window_clause(&desc, alias.c_str(), 1, nullptr, nullptr, nullptr, nullptr, text.data(),
                                          1, 1, 1);
  text.assign(static_cast<size_t>(need2), '\0');
  EXPECT_EQ(ifx_window_clause(&desc, alias.c_str(), 1, nullptr, nullptr, nullptr, nullptr, text.data(), need2, 1, 1),
            0);
  EXPECT_EQ(std::string(text.data()), "ST_OVERLAPS(" + alias + "." + column + ", ?::ST_SPATIAL)");
  text.assign(1, '\0');
  const int32_t need3 = sqs_window_clause(&desc, alias.c_str(), nullptr, big.c_str(), big.c_str(), big.c_str(),
                                          big.c_str(), text.data(), 1, 0);
  text.assign(static_cast<size_t>(need3), '\0');
  EXPECT_EQ(sqs_window_clause(&desc, alias.c_str(), nullptr, big.c_str(), big.c_str(), big.c_str(), big.c_str(),
                              text.data(), need3, 0),
            0);
  EXPECT_EQ(std::strlen(text.data()) + 1, static_cast<size_t>(need3));
}

// ---- Informix ---------------------------------------------------------------------------------

TEST_F(SrvServerSql, InformixTypeNamesAndColumnKinds) {
  ASSERT_EQ(kernel_string_override(3958, "pt3d_0123456789"), 1);  // 15 characters
  ASSERT_EQ(kernel_string_override(3956, "point_0123456"), 1);    // 13
  ASSERT_EQ(kernel_string_override(3959, "st_spatial"), 1);       // 10
  struct Case {
    const char* name;
    int16_t kind;
  } cases[] = {{"pt3d_0123456789", 10}, {"pt3d_0123456789x", 10}, {"point_0123456", 9}, {"point_0123456_b", 9},
               {"st_spatial", 11},      {"st_spatial_type", 11},  {"ST_SPATIAL", 0},    {"st_spatia", 0},
               {"", 0}};
  for (const Case& c : cases) EXPECT_EQ(ifx_type_kind(c.name), c.kind) << c.name;
  fake::Script& s = fake::Current();
  s.columns = {{"name", 1}};
  for (int i = 0; i < 20; ++i) s.rows.push_back({fake::Text(i % 2 ? "st_spatial" : "point_0123456")});
  int16_t kinds[16];
  std::strcpy(conn->server_type, "IUS");
  conn->owners_used = 1;
  EXPECT_EQ(ifx_column_kinds("o.t", conn, 14, kinds), 20);
  EXPECT_EQ(kinds[0], 9);
  EXPECT_EQ(kinds[13], 11);
  EXPECT_EQ(ifx_has_kind11(conn, "o.t"), 1);
  EXPECT_EQ(ifx_has_kind9(conn, "o.t"), 1);
  EXPECT_EQ(ifx_has_kind10(conn, "o.t"), 0);
  EXPECT_EQ(ifx_column_kinds("", conn, 14, kinds), 0);
  fake::Current().failures["SrvExecute"] = {55, "no", "S1"};
  EXPECT_EQ(ifx_column_kinds("o.t", conn, 14, kinds), 0);
  EXPECT_EQ(err_count(), 0);
  std::strcpy(conn->server_type, "Informix Dynamic Server");
  EXPECT_EQ(ifx_is_informix(conn), 1);
  EXPECT_EQ(ifx_is_ius_server(conn), 0);
  std::strcpy(conn->server_type, "ius");
  EXPECT_EQ(ifx_is_ius_server(conn), 1);
  EXPECT_EQ(ifx_is_informix(conn), 0);
}

// ---- SQS ----------------------------------------------------------------------------------------

TEST_F(SrvServerSql, SqsVersionSetsTheUpdateFlagFromTheNumberAfterTheSlash) {
  struct Case {
    const char* version;
    int16_t update;
  } cases[] = {{"2.1/3", 1}, {"3.0/2", 0}, {"3.0", 0}, {"1/10", 1}, {"1/2.9", 0}};
  for (const Case& c : cases) {
    fake::Current().columns = {{"v", 1}};
    fake::Current().rows = {{fake::Text(c.version)}};
    std::strcpy(conn->server_type, "SQL Server");
    conn->update = 5;
    EXPECT_EQ(sqs_detect(conn), 1) << c.version;
    EXPECT_STREQ(conn->server_type, kSqsServerType);
    EXPECT_EQ(conn->update, c.update) << c.version;
  }
  // Refused probe: not SQS, nothing left on the stack.
  std::strcpy(conn->server_type, "SQL Server");
  fake::Current().failures["SrvExecute"] = {55, "no", "S1"};
  EXPECT_EQ(sqs_detect(conn), 0);
  EXPECT_STREQ(conn->server_type, "SQL Server");
  EXPECT_EQ(err_count(), 0);
}

TEST_F(SrvServerSql, SqsShapesAndWindows) {
  std::strcpy(desc.column, "G");
  // A triangle stored as four points, the last repeating the first.
  MapObject* triangle = Region({{10, 50}, {11, 51.5}, {12, 50}});
  char text[16384] = "";
  ASSERT_EQ(sqs_window_shape(triangle, text, sizeof text, &xf), 1);
  EXPECT_STREQ(text, "polygon((50.000000, 10.000000),(51.500000, 11.000000),(50.000000, 12.000000))");
  MapObject* rect = Object(MAPOBJ_RECT);
  const DRect r{1, 2, 3, 4};
  xform_xy_rect_to_int(&r, &rect->mbr, &xf);
  text[0] = '\0';
  ASSERT_EQ(sqs_window_shape(rect, text, sizeof text, &xf), 1);
  EXPECT_STREQ(text, "rectangle(2.00000000,1.00000000,4.00000000,3.00000000)");
  // The window: a one-ring region as a polygon, one of 651 points as the rectangle.
  text[0] = '\0';
  EXPECT_EQ(sqs_window_clause(&desc, "T", triangle, "1", "2", "3", "4", text, sizeof text, 0), 0);
  EXPECT_STREQ(text, "T.G intersect polygon((50.000000, 10.000000),(51.500000, 11.000000),(50.000000, 12.000000))");
  std::vector<DPoint> ring;
  for (int i = 0; i < 650; ++i) ring.push_back({i * 0.01, (i % 2) * 0.5});  // 651 stored
  text[0] = '\0';
  EXPECT_EQ(sqs_window_clause(&desc, "T", Region(ring), "1", "2", "3", "4", text, sizeof text, 0), 0);
  EXPECT_STREQ(text, "T.G intersect rectangle(2,1,4,3)");
  text[0] = '\0';
  EXPECT_EQ(sqs_window_clause(&desc, "T", triangle, "1", "2", "3", "4", text, sizeof text, 1), 0);
  EXPECT_STREQ(text, "T.G intersect ?");
}

TEST_F(SrvServerSql, SqsPolygonOf650PointsAtTheCornerFitsOnlyWhenThereIsRoom) {
  std::strcpy(desc.column, "G");
  // 649 points at (-90, -180) and the closing one: 650 stored.
  std::vector<DPoint> ring(649, DPoint{-180, -90});
  MapObject* corner = Region(ring);
  ASSERT_EQ(corner->u.poly.sections, 1);
  const std::string point = "(-90.000000, -180.000000)";
  std::string polygon = "polygon(" + point;
  for (int i = 1; i < 649; ++i) polygon += "," + point;
  polygon += ")";
  const std::string want = "T.G intersect " + polygon;
  ASSERT_GT(want.size(), 16384u);
  std::vector<char> text(16384, '\0');
  EXPECT_EQ(sqs_window_clause(&desc, "T", corner, "-180", "-90", "-180", "-90", text.data(), 16384, 0), 0);
  EXPECT_STREQ(text.data(), "T.G intersect rectangle(-90,-180,-90,-180)");
  text.assign(want.size() + 1, '\0');
  EXPECT_EQ(sqs_window_clause(&desc, "T", corner, "-180", "-90", "-180", "-90", text.data(),
                              static_cast<int32_t>(text.size()), 0),
            0);
  EXPECT_TRUE(std::string(text.data()) == want);  // 17,000 characters: not printed
}

TEST_F(SrvServerSql, SqsUpdatePairAndSpatialItem) {
  desc.geometry_class = 2;
  std::strcpy(desc.column, "QD_GEOMETRY");
  char* pair = nullptr;
  ASSERT_EQ(sqs_update_pair(&desc, "\"", Region({{0, 0}, {1, 0}, {1, 1}}), &pair), 1);
  EXPECT_STREQ(pair, "\"QD_GEOMETRY\"=?");
  mem_free(&pair);
  ASSERT_EQ(sqs_update_pair(&desc, "\"", nullptr, &pair), 1);
  EXPECT_STREQ(pair, "\"QD_GEOMETRY\"=NULL");
  mem_free(&pair);
  EXPECT_EQ(sqs_update_pair(&desc, "\"", Object(MAPOBJ_RECT), &pair), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvObjectRefused);
  EXPECT_EQ(sqs_name_is_spatial(conn, &query, "T.\"qd_geometry\""), 1);
  EXPECT_EQ(sqs_name_is_spatial(conn, &query, "QD_GEOMETRY2"), 0);
  query.desc = nullptr;
  EXPECT_EQ(sqs_name_is_spatial(conn, &query, "QD_GEOMETRY"), 0);
}

}  // namespace
