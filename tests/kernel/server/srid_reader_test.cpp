// The SRIDs a table reader hands out for tables that mktab makes: the
// table's coordinate system with and without lat/long normalisation, SDO
// geometries carrying the SRID, and the source files left untouched.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "geometry/encode/sdo.h"
#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi.h"
#include "kernel/tables/api/tabapi_fixture.h"
#include "kernel/tables/api/tabapi_kernel.h"

namespace {

class SridReader : public tabapi_test::TabApiTest {
 protected:
  // A table of one column and one point at (x, y), made by mktab from a
  // fixture in the coordinate system (the text after "CoordSys ").
  std::string MakeTable(const std::string& name, const std::string& coordsys, double x, double y) {
    CoordSysInfo cs{};
    EXPECT_EQ(TabApiCoordSysFromText(("CoordSys " + coordsys).c_str(), &cs), 1) << coordsys;
    ObjRecord point{};
    point.code = 201;
    point.u.point.at = DPoint{x, y};
    point.u.point.symbol.vector = ObjVectorSymbol{35, 0, 12};
    unsigned char* record = nullptr;
    int32_t size = 0;
    EXPECT_EQ(TabApiObjectToCvRecord(&point, &cs, &record, &size), 1);
    std::string hex;
    for (int32_t i = 0; i < size; ++i) {
      char b[3];
      std::snprintf(b, sizeof b, "%02x", record[i]);
      hex += b;
    }
    TabApiFreeRecord(record);
    const std::string fxt = dir + "/" + name + ".fxt", tab = dir + "/" + name + ".TAB";
    std::ofstream(fxt) << "fxt 1\ncolumn ID integer 4 0 0\ncoordsys " << coordsys << "\nrow\t1\ncode 201\nrecord " << hex
                       << "\n";
    const pid_t pid = fork();
    if (pid == 0) {
      execl(QL_MKTAB_PATH, QL_MKTAB_PATH, fxt.c_str(), tab.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << coordsys;
    std::filesystem::remove(fxt);
    return tab;
  }
  // Every file of the folder with its bytes and modification time.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      std::ifstream in(e.path(), std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      struct stat st {};
      stat(e.path().c_str(), &st);
      out[e.path().filename().string()] =
          s.str() + "@" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }
    return out;
  }
};

TEST_F(SridReader, LatLongOnDatumZeroNormalisedOnRequest) {
  const std::string tab = MakeTable("T", "Earth Projection 1, 0", 151.2, -33.8);
  const auto before = Snapshot();
  ASSERT_FALSE(before.empty());
  {
    std::unique_ptr<CTableReader> r(CreateTableReader());
    ASSERT_TRUE(r->Open(tab, false)) << r->LastError();
    EXPECT_EQ(r->GetSrid(), 8192);
    EXPECT_FALSE(r->HasNoSrid());
    EXPECT_EQ(*r->GetCoordSysText(), "Earth Projection 1, 0");
  }
  while (TabApiIsStarted()) TabApiTerminate();
  ASSERT_EQ(ReaderApiInit(6510), 1);
  {
    std::unique_ptr<CTableReader> r(CreateTableReader());
    ASSERT_TRUE(r->Open(tab, true)) << r->LastError();
    EXPECT_EQ(r->GetSrid(), 8307);
    EXPECT_FALSE(r->HasNoSrid());
    SdoGeometry geometry{};
    geometry.dimensions = 2;
    SdoArrays holder{};
    holder.geometry = &geometry;
    char text[256];
    DRect bounds{};
    ASSERT_EQ(r->ReadSdo(1, text, &holder, &bounds, 0, 0), 1) << r->LastError();
    EXPECT_EQ(holder.geometry->srid, 8307);
    EXPECT_NEAR(holder.geometry->point_x, 151.2, 1e-6);
    r->FreeSdoArrays(&holder);
  }
  while (TabApiIsStarted()) TabApiTerminate();
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(SridReader, NonEarthAndUnknownRows) {
  struct Case {
    const char* coordsys;
    int srid;
  } cases[] = {{"NonEarth Units \"m\" Bounds (0, 0) (100, 100)", 262148},
               {"Earth Projection 3, 74, \"m\", -100, 40, 30, 50, 0, 0", 0}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string tab = MakeTable("T" + std::to_string(n++), c.coordsys, 10, 20);
    std::unique_ptr<CTableReader> r(CreateTableReader());
    ASSERT_TRUE(r->Open(tab, true)) << c.coordsys;
    EXPECT_EQ(r->GetSrid(), c.srid) << c.coordsys;
    EXPECT_EQ(r->HasNoSrid(), c.srid == 0) << c.coordsys;
  }
}

}  // namespace
