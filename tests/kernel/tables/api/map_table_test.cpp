// Tables with a map file made and read through the table API: object
// counts and kinds, the union of row bounds, records back out, style
// clauses once per class, and geometry reads.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"

#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi_fixture.h"

namespace tabapi_test {
namespace {

class MapTable : public TabApiTest {
 protected:
  CoordSysInfo LatLong() {
    CoordSysInfo cs{};
    EXPECT_EQ(TabApiCoordSysFromText("CoordSys Earth Projection 1, 104", &cs), 1) << TabApiLastError();
    return cs;
  }
  // A table of one column whose rows carry these records.
  std::string Make(const std::vector<ObjRecord>& records) {
    const std::string p = Path("m.TAB");
    const ColumnInfo c = Col("ID", COLTYPE_INTEGER, 4);
    const CoordSysInfo cs = LatLong();
    const int32_t slot = TabApiCreateTableFromColumns(p.c_str(), 2, &c, 1, &cs);
    EXPECT_NE(slot, 0) << TabApiLastError();
    for (size_t i = 0; i < records.size(); ++i) {
      int32_t n = 0;
      EXPECT_EQ(TabApiInsertRow(slot, std::to_string(i + 1).c_str(), &records[i], &n), 1) << TabApiLastError();
    }
    EXPECT_EQ(TabApiCloseTableCommit(slot), 1);
    return p;
  }
  static ObjRecord Point(double x, double y) {
    ObjRecord r{};
    r.code = 201;
    r.u.point.at = DPoint{x, y};
    r.u.point.symbol.vector = ObjVectorSymbol{35, 0, 12};
    return r;
  }
  static ObjRecord Rect(double x1, double y1, double x2, double y2) {
    ObjRecord r{};
    r.code = 207;
    r.u.rect.rect = DRect{x1, y1, x2, y2};
    r.u.rect.pen = ObjPen{1, 2, 0, 0};
    r.u.rect.brush = ObjBrush{2, 16777215, 16777215, 0};
    return r;
  }
};

TEST_F(MapTable, PointsOnly) {
  const std::string p = Make({Point(151.2, -33.8), Point(150.5, -34.25)});
  std::unique_ptr<CTableReader> r(CreateTableReader());
  ASSERT_TRUE(r->Open(p, 1)) << r->LastError();
  EXPECT_TRUE(r->IsMappable());
  EXPECT_EQ(r->GetPointCount(), 2);
  EXPECT_EQ(*r->GetObjectKindText(), ".0");
  EXPECT_EQ(*r->GetCoordSysText(), "Earth Projection 1, 104");
  char text[4000];
  CUploadOptions o;
  DRect b{};
  for (int n = 1; n <= 2; ++n) {
    unsigned char* rec = nullptr;
    int size = 0;
    DPoint c{};
    std::string key;
    ASSERT_EQ(r->ReadRecord(n, text, &rec, &size, &b, &o, &c, &key), 1) << r->LastError();
    EXPECT_FALSE(o.NoObject);
    ASSERT_NE(rec, nullptr);
    EXPECT_GT(size, 0);
    // The record decodes to the point it was made from.
    ObjRecord back{};
    ASSERT_EQ(TabApiCvRecordToObject(rec, size, r->GetCoordSys(), nullptr, &back), 1);
    EXPECT_EQ(back.code, 201);
    EXPECT_NEAR(back.u.point.at.x, n == 1 ? 151.2 : 150.5, 1e-6);
    EXPECT_NEAR(back.u.point.at.y, n == 1 ? -33.8 : -34.25, 1e-6);
    r->FreeRecord(rec);
  }
  EXPECT_EQ(*r->GetStyleClause(), "Symbol (35, 0, 12) ");
  EXPECT_NEAR(b.x1, 150.5, 1e-6);
  EXPECT_NEAR(b.y1, -34.25, 1e-6);
  EXPECT_NEAR(b.x2, 151.2, 1e-6);
  EXPECT_NEAR(b.y2, -33.8, 1e-6);
  r->Close();
}

TEST_F(MapTable, BoundsAreTheUnionOfTheRows) {
  const std::string p = Make({Rect(1, 1, 2, 2), Rect(5, 0, 6, 3)});
  const int32_t slot = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_NE(slot, 0);
  DRect b{};
  ObjRecord rec;
  ASSERT_EQ(TabApiReadRow(slot, 1, nullptr, &rec, &b, nullptr), 1);
  ASSERT_EQ(TabApiReadRow(slot, 2, nullptr, &rec, &b, nullptr), 1);
  EXPECT_NEAR(b.x1, 1, 1e-6);
  EXPECT_NEAR(b.y1, 0, 1e-6);
  EXPECT_NEAR(b.x2, 6, 1e-6);
  EXPECT_NEAR(b.y2, 3, 1e-6);
  int32_t points = -1, lines = -1, regions = -1;
  EXPECT_EQ(TabApiGetObjectCounts(slot, &points, &lines, &regions), 1);
  EXPECT_EQ(regions, 2);
  // The area style clause is built from the first rectangle only.
  std::unique_ptr<CTableReader> r(CreateTableReader());
  TabApiCloseTableCommit(slot);
  ASSERT_TRUE(r->Open(p, 1));
  char text[4000];
  CUploadOptions o;
  unsigned char* blob = nullptr;
  int size = 0;
  DRect gb{};
  for (int n = 1; n <= 2; ++n) {
    ASSERT_EQ(r->ReadGeometry(n, text, &blob, &size, &gb, &o), 1);
    ASSERT_NE(blob, nullptr);
    EXPECT_GT(size, 0);
    r->FreeGeometry(blob);
  }
  EXPECT_EQ(*r->GetStyleClause(), "Pen (1, 2, 0) Brush (2, 16777215, 16777215) ");
  r->Close();
}

TEST_F(MapTable, ObjectsNeedAMapFile) {
  const ColumnInfo c = Col("ID", COLTYPE_INTEGER, 4);
  const int32_t slot = TabApiCreateTableFromColumns(Path("n.TAB").c_str(), 2, &c, 1, nullptr);
  ASSERT_NE(slot, 0);
  const ObjRecord pt = Point(1, 1);
  int32_t n = 0;
  EXPECT_EQ(TabApiInsertRow(slot, "1", &pt, &n), 0);
  EXPECT_EQ(TabApiLastError(), 1920);
}

// A text has no geometry of its own: its geometry blob is its object record
// wrapped as "CV00" (length, tag, record), which decodes back to the text.
TEST_F(MapTable, TextObjectGivesItsRecordWrappedAsCV00) {
  ObjRecord t{};
  t.code = 206;
  t.u.text.box = DRect{151.0, -34.0, 151.2, -33.9};
  t.u.text.label_end = DPoint{151.1, -33.95};
  t.u.text.pen = ObjPen{1, 2, 0, 0};
  std::strcpy(t.u.text.font.name, "Arial");
  t.u.text.font.fore = 0xff;
  char words[] = "Harbour";
  t.u.text.text = words;
  const std::string p = Make({t});
  const int32_t slot = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_NE(slot, 0);
  char text[4000];
  unsigned char* blob = nullptr;
  int32_t code = 0;
  ObjStyles styles{};
  DRect b{};
  ASSERT_EQ(TabApiReadRowGeometry(slot, 1, text, &blob, &code, &styles, &b, nullptr), 1) << TabApiLastError();
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(code, 206);
  const uint32_t length = blob[0] | (blob[1] << 8) | (blob[2] << 16) | (uint32_t(blob[3]) << 24);
  ASSERT_GT(length, 8u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(blob) + 4, 4), "CV00");
  CoordSysInfo cs{};
  ASSERT_EQ(TabApiGetCoordSys(slot, &cs, nullptr, 0), 1);
  ObjRecord back{};
  ASSERT_EQ(TabApiCvRecordToObject(blob + 8, static_cast<int32_t>(length - 8), &cs, nullptr, &back), 1);
  EXPECT_EQ(back.code, 206);
  ASSERT_NE(back.u.text.text, nullptr);
  EXPECT_STREQ(back.u.text.text, "Harbour");
  EXPECT_NEAR(back.u.text.box.x1, 151.0, 1e-6);
  EXPECT_NEAR(back.u.text.box.y2, -33.9, 1e-6);
  std::unique_ptr<CTableReader> r(CreateTableReader());
  r->FreeGeometry(blob);
}

// A traced open writes every object read as statement text; the trace
// file stays when the table closes. A traced open for writing gives 0 at
// once.
TEST_F(MapTable, TracedOpenWritesEachObjectRead) {
  const std::string p = Make({Point(151.25, -33.75), Point(150.5, -34.25)});
  const std::string trace = Path("trace.WOR");
  EXPECT_EQ(TabApiOpenTable(p.c_str(), 2, trace.c_str()), 0);
  EXPECT_EQ(TabApiLastError(), 0);
  const int32_t slot = TabApiOpenTableTraced(p.c_str(), trace.c_str());
  ASSERT_NE(slot, 0) << TabApiLastError();
  char text[4000];
  for (int32_t row = 1; row <= 2; ++row) {
    ObjRecord r{};
    ASSERT_EQ(TabApiReadRowText(slot, row, text, &r), 1) << TabApiLastError();
  }
  // A geometry read writes its object too.
  unsigned char* blob = nullptr;
  int32_t code = 0;
  ASSERT_EQ(TabApiReadRowGeometry(slot, 1, text, &blob, &code, nullptr, nullptr, nullptr), 1) << TabApiLastError();
  qd_free(blob);
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  std::ifstream in(trace, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string t = ss.str();
  const size_t first = t.find("Point 151.25 -33.75");
  EXPECT_NE(first, std::string::npos) << t;
  // Coordinates to the precision one integer step shows at the object.
  const size_t second = t.find("Point 150.5", first);
  ASSERT_NE(second, std::string::npos) << t;
  EXPECT_NE(t.find(" -34.25", second), std::string::npos) << t;
  const size_t third = t.find("Point 151.25", second);
  EXPECT_NE(third, std::string::npos) << t;
  EXPECT_EQ(t.find("Point", third + 1), std::string::npos) << t;
}

// An output coordinate system: what the slot hands out is converted into
// it, as TabApiConvertObject converts a record; the same system as the
// table's changes nothing. Only a slot open for writing takes one (891).
TEST_F(MapTable, OutputCoordSysConvertsWhatTheSlotHandsOut) {
  const std::string p = Make({Point(151.25, -33.75)});
  CoordSysInfo utm{};
  ASSERT_EQ(TabApiCoordSysFromText("CoordSys Earth Projection 8, 104, \"m\", 153, 0, 0.9996, 500000, 10000000",
                                   &utm), 1);
  const CoordSysInfo ll = LatLong();
  const ObjRecord source = Point(151.25, -33.75);
  ObjRecord converted{};
  ASSERT_EQ(TabApiConvertObject(&source, &ll, &converted, &utm), 1) << TabApiLastError();
  ASSERT_EQ(converted.code, 201);
  // Transverse Mercator about 153 E, south of the equator: 1.75 degrees
  // west of the central meridian at 33.75 S is some 162 km (1.75 x 111.32 km
  // x cos 33.75), the meridian arc to 33.75 S some 3,735 km.
  EXPECT_NEAR(converted.u.point.at.x, 500000 - 162000, 1500);
  EXPECT_NEAR(converted.u.point.at.y, 10000000 - 3735000, 3000);
  ObjRecord back{};
  ASSERT_EQ(TabApiConvertObject(&converted, &utm, &back, &ll), 1);
  EXPECT_NEAR(back.u.point.at.x, 151.25, 1e-6);
  EXPECT_NEAR(back.u.point.at.y, -33.75, 1e-6);

  int32_t slot = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_NE(slot, 0);
  EXPECT_EQ(TabApiSetCoordSys(slot, &utm), 0);
  EXPECT_EQ(TabApiLastError(), 891);
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_NE(slot, 0);
  char text[4000];
  ObjRecord r{};
  ASSERT_EQ(TabApiSetCoordSys(slot, &ll), 1);
  ASSERT_EQ(TabApiReadRowText(slot, 1, text, &r), 1);
  EXPECT_NEAR(r.u.point.at.x, 151.25, 1e-6);
  ASSERT_EQ(TabApiSetCoordSys(slot, &utm), 1);
  ASSERT_EQ(TabApiReadRowText(slot, 1, text, &r), 1);
  EXPECT_NEAR(r.u.point.at.x, converted.u.point.at.x, 0.01);
  EXPECT_NEAR(r.u.point.at.y, converted.u.point.at.y, 0.01);
  CoordSysInfo bad = utm;
  bad.proj_type = 99;
  EXPECT_EQ(TabApiConvertObject(&source, &ll, &converted, &bad), 0);
  EXPECT_EQ(TabApiLastError(), 644);
}

// Distances of point records (3-4-5 in a plane in metres), 644 for a line;
// intersection of rectangles; a record through a geometry object and back;
// a row's geometry object.
TEST_F(MapTable, DistancesIntersectionsAndGeometryObjects) {
  CoordSysInfo plane{};
  ASSERT_EQ(TabApiCoordSysFromText("CoordSys NonEarth Units \"m\" Bounds (-1000, -1000) (1000, 1000)", &plane), 1);
  const ObjRecord a = Point(0, 0), b = Point(3, 4);
  double d = 0;
  ASSERT_EQ(TabApiDistance(&d, &a, &b, &plane, 7, 0), 1) << TabApiLastError();
  EXPECT_NEAR(d, 5.0, 1e-6);
  ObjRecord line{};
  line.code = 202;
  line.u.line.end = DPoint{1, 1};
  EXPECT_EQ(TabApiDistance(&d, &line, &b, &plane, 7, 0), 0);
  EXPECT_EQ(TabApiLastError(), 644);

  const ObjRecord r1 = Rect(0, 0, 10, 10), r2 = Rect(5, 5, 20, 20), r3 = Rect(50, 50, 60, 60);
  EXPECT_EQ(TabApiIntersects(&r1, &r2, &plane), 1);
  EXPECT_EQ(TabApiIntersects(&r1, &r3, &plane), 0);

  SpatialObject g;
  ASSERT_EQ(TabApiObjectToGeometry(&b, &plane, &g), 1);
  EXPECT_NE(g.primitives, nullptr);
  ObjRecord back{};
  ASSERT_EQ(TabApiGeometryToObject(&g, &plane, &back), 1);
  ktgeo_so_release(&g);
  EXPECT_EQ(back.code, 201);
  EXPECT_NEAR(back.u.point.at.x, 3, 1e-6);
  EXPECT_NEAR(back.u.point.at.y, 4, 1e-6);

  const std::string p = Make({Point(151.25, -33.75)});
  const int32_t slot = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_NE(slot, 0);
  char text[4000];
  ASSERT_EQ(TabApiReadRowGeometryObject(slot, 1, text, &g), 1);
  EXPECT_NE(g.primitives, nullptr);
  EXPECT_NEAR(g.centroid.x, 151.25, 1e-6);
  ktgeo_so_release(&g);
  EXPECT_EQ(TabApiReadRowGeometryObject(slot, 2, text, &g), 0);
}

// An object the table's versions cannot hold (a multipoint in a table of
// edit version 300) raises them, and the definition file is written at once:
// opened again, the table has the raised edit version.
TEST_F(MapTable, ObjectsNeedingAHigherVersionRaiseTheDefinition) {
  const std::string p = Make({Point(151.25, -33.75)});
  int32_t slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_NE(slot, 0);
  int32_t edit = 0, type = 0;
  ASSERT_EQ(TabApiGetTableVersion(slot, &edit, &type), 1);
  EXPECT_EQ(edit, 300);
  DPoint points[] = {{151.0, -34.0}, {151.5, -33.5}};
  ObjRecord mp{};
  mp.code = 213;
  mp.u.points.symbol_code = 201;
  mp.u.points.symbol.vector = ObjVectorSymbol{35, 0, 12};
  mp.u.points.count = 2;
  mp.u.points.points = points;
  auto definition = [&]() {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  };
  const std::string before = definition();
  int32_t row = 0;
  ASSERT_EQ(TabApiInsertRow(slot, "2", &mp, &row), 1) << TabApiLastError();
  ASSERT_EQ(TabApiGetTableVersion(slot, &edit, &type), 1);
  EXPECT_GE(edit, 650);
  EXPECT_NE(before, definition());
  ASSERT_EQ(TabApiCloseTableCommit(slot), 1);
  slot = TabApiOpenTableFile(p.c_str(), 1);
  ASSERT_NE(slot, 0) << TabApiLastError();
  ASSERT_EQ(TabApiGetTableVersion(slot, &edit, &type), 1);
  EXPECT_GE(edit, 650);
  int32_t rows = 0;
  ASSERT_EQ(TabApiGetRowCount(slot, &rows), 1);
  EXPECT_EQ(rows, 2);
}

// Discarding a table's objects deletes its map file and .ID file; the
// table then has no coordinate system (1920).
TEST_F(MapTable, DiscardedObjectsTakeTheMapFileWithThem) {
  const std::string p = Make({Point(151.25, -33.75)});
  ASSERT_TRUE(std::filesystem::exists(Path("m.MAP")));
  const int32_t slot = TabApiOpenTableFile(p.c_str(), 2);
  ASSERT_NE(slot, 0);
  ASSERT_EQ(TabApiDiscardObjects(slot), 1) << TabApiLastError();
  EXPECT_FALSE(std::filesystem::exists(Path("m.MAP")));
  EXPECT_FALSE(std::filesystem::exists(Path("m.ID")));
  CoordSysInfo cs{};
  EXPECT_EQ(TabApiGetCoordSys(slot, &cs, nullptr, 0), 0);
  EXPECT_EQ(TabApiLastError(), 1920);
}

// Datum and ellipsoid pass-throughs: zero-filled before the start; WGS 84
// (datum 104) on ellipsoid 28, a = 6378137 m, 1/f = 298.257223563.
TEST(TabApiDatums, PassThroughs) {
  while (TabApiIsStarted()) TabApiTerminate();
  DatumDef d;
  std::memset(static_cast<void*>(&d), 0x55, sizeof d);
  TabApiGetDatum(104, &d);
  EXPECT_EQ(d.ellipsoid, 0);
  double e[3] = {1, 1, 1};
  TabApiGetEllipsoid(28, e);
  EXPECT_EQ(e[0], 0.0);
  ASSERT_EQ(TabApiInit(6510), 1);
  TabApiGetDatum(104, &d);
  EXPECT_EQ(d.ellipsoid, 28);
  int16_t n = 0;
  EXPECT_EQ(TabApiFindDatumNumber(&d, &n), 1);
  EXPECT_EQ(n, 104);
  TabApiGetEllipsoid(28, e);
  EXPECT_EQ(e[0], 6378137.0);
  EXPECT_NEAR(1 / e[2], 298.257223563, 1e-6);
  const int16_t method = TabApiGetDatumShiftMethod();
  TabApiSetDatumShiftMethod(method ? 0 : 1);
  EXPECT_EQ(TabApiGetDatumShiftMethod(), method ? 0 : 1);
  TabApiSetDatumShiftMethod(method);
  TabApiTerminate();
}

}  // namespace
}  // namespace tabapi_test
