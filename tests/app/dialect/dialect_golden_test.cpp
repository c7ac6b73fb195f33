// Golden runs of the dialect and catalogue operations, one file per DBMS
// family: the same scenario on every family (catalogue creation, keys,
// catalogue rows, indexes, spatial registration, drops), then the cases that
// only one family shows.
#include <cstdio>

#include "app/SqlDialect.h"
#include "app/SqlText.h"
#include "dialect_fixture.h"

namespace {

std::string Bounds(COdbcConnection& c) {
  double b[4];
  c.GetBounds(b[0], b[1], b[2], b[3]);
  char buf[128];
  std::snprintf(buf, sizeof buf, "%g %g %g %g", b[0], b[1], b[2], b[3]);
  return buf;
}

class DialectGolden : public DialectTest {
 protected:
  // The scenario every family runs.
  void Main(const std::string& profile);
  // A new section on a new connection.
  bool OpenSection(COdbcConnection& c, const std::string& title, Attrs attrs) {
    Section(title);
    bool ok = Open(c, std::move(attrs));
    EXPECT_TRUE(ok) << log.str();
    return ok;
  }
  std::string WithError(COdbcConnection& c, bool ok) { return Bool(ok) + " {" + c.GetLastErrorRef() + "}"; }
};

void DialectGolden::Main(const std::string& profile) {
  COdbcConnection c;
  if (!OpenSection(c, profile, Profile(profile))) return;
  const std::string owner = Owner(profile);
  CUploadOptions o;
  o.Owner = owner;
  o.Append = true;
  o.StyleColumn = "none";
  Step("CatalogExists", [&] { return Bool(c.CatalogExists()); });
  Step("CreateCatalog", [&] { return Bool(c.CreateCatalog()); });
  Step("CatalogExists", [&] { return Bool(c.CatalogExists()); });
  Step("ListSchemas", [&] {
    std::vector<std::string> s;
    bool ok = c.ListSchemas(s);
    return Bool(ok) + " [" + Join(s) + "]";
  });
  Step("CheckCatalog", [&] {
    c.CheckCatalog();
    return "NoRenditionColumns " + Bool(c.NoRenditionColumns);
  });
  Step("CountCatalogRows", [&] { return std::to_string(c.CountCatalogRows()); });
  CreateRoads(c);
  Step("NextKey(ROADS, kind 1)", [&] {
    o.StorageKind = 1;
    return std::to_string(c.NextKey("ROADS", &o));
  });
  for (int k = 1; k <= 7; ++k)
    Prepare(c, std::string("insert into ROADS (") + c.Dialect().memberColumn + ", CV_SQL_REC_NUM) values (" + std::to_string(k) + ", " +
                 std::to_string(k) + ")");
  Step("NextKey(ROADS, kind 1)", [&] { return std::to_string(c.NextKey("ROADS", &o)); });
  Step("NextKey(ROADS, kind 3)", [&] {
    o.StorageKind = 3;
    return std::to_string(c.NextKey("ROADS", &o));
  });
  InsertCatalogRow(c, owner, "ROADS");
  Step("ReadCatalogEntry(ROADS)", [&] {
    bool ok = c.ReadCatalogEntry("ROADS", &o);
    return Bool(ok) + " bounds " + Bounds(c) + " rendition " + std::to_string(o.RenditionType) + " [" +
           o.StyleColumn + "]";
  });
  Step("CountCatalogRows", [&] { return std::to_string(c.CountCatalogRows()); });
  Step("ListOwners", [&] {
    std::vector<std::string> v;
    bool ok = c.ListOwners(v);
    return Bool(ok) + " " + Join(v);
  });
  Step("ListTables(" + owner + ")", [&] {
    std::vector<std::string> v;
    bool ok = c.ListTables(owner, v);
    return Bool(ok) + " " + Join(v);
  });
  // Index operations trim the names they are given and give them back.
  auto indexStep = [&](const std::string& title, const std::function<bool(std::string&, std::string&, std::string&)>& op,
                       std::string t, std::string col) {
    Step(title, [&] {
      std::string ow = " " + owner + " ";
      bool ok = op(ow, t, col);
      return Bool(ok) + " [" + ow + "|" + t + "|" + col + "]";
    });
  };
  indexStep("CreateIndex( " + owner + " , ROADS, NAME , C1)",
            [&](std::string& a, std::string& b, std::string& col) { return c.CreateIndex(a, b, col, "C1"); },
            "ROADS", "NAME ");
  indexStep("CreateUniqueIndex(ROADS, cv_sql_rec_num)",
            [&](std::string& a, std::string& b, std::string& col) { return c.CreateUniqueIndex(a, b, col); },
            "ROADS", "cv_sql_rec_num");
  indexStep("CreateKeyIndex(ROADS, CV_SQL_CVCODE)",
            [&](std::string& a, std::string& b, std::string& col) { return c.CreateKeyIndex(a, b, col); },
            "ROADS", "CV_SQL_CVCODE");
  CreateRoads(c, "ABCDEFGHIJKLMNOPQRST");
  indexStep("CreateIndex(ABCDEFGHIJKLMNOPQRST, NAME, C1)",
            [&](std::string& a, std::string& b, std::string& col) { return c.CreateIndex(a, b, col, "C1"); },
            " ABCDEFGHIJKLMNOPQRST", "NAME");
  Step("CreateXYIndexes(ABCDEFGHIJKLMNOPQRST, cv_sql_x, cv_sql_y)", [&] {
    std::string ow = owner, t = "ABCDEFGHIJKLMNOPQRST", x = "cv_sql_x", y = "cv_sql_y";
    return Bool(c.CreateXYIndexes(ow, t, x, y));
  });
  Step("SpatializeColumn(ROADS)", [&] { return Bool(c.SpatializeColumn(owner, "ROADS")); });
  indexStep("CreateSpatialIndex(ROADS, QD_GEOMETRY)",
            [&](std::string& a, std::string& b, std::string& col) { return c.CreateSpatialIndex(a, b, col); },
            "ROADS", "QD_GEOMETRY");
  Step("UpdateStatistics(ROADS)", [&] {
    std::string ow = owner, t = "ROADS";
    return Bool(c.UpdateStatistics(ow, t));
  });
  Step("LockTable(ROADS)", [&] {
    c.LockTable(owner, "ROADS");
    return std::string("done");
  });
  Step("ResolveTableOwner(ROADS)", [&] {
    std::string t = "ROADS";
    c.ResolveTableOwner(t);
    return c.GetUserName() + " " + t;
  });
  Step("GetPrimaryKeyColumn(ROADS)", [&] {
    std::string col;
    bool ok = c.GetPrimaryKeyColumn("ROADS", col);
    return Bool(ok) + " [" + col + "]";
  });
  Step("DespatializeColumn(ROADS)", [&] { return Bool(c.DespatializeColumn(owner, "ROADS")); });
  Step("DeleteCatalogEntry(" + owner + ", ROADS)", [&] { return Bool(c.DeleteCatalogEntry(owner, "ROADS")); });
  Step("CountCatalogRows", [&] { return std::to_string(c.CountCatalogRows()); });
  Step("DropTable(" + owner + ", ROADS)", [&] { return Bool(c.DropTable(owner, "ROADS")); });
  Step("DropTable(" + owner + ", ABCDEFGHIJKLMNOPQRST)",
       [&] { return Bool(c.DropTable(owner, "ABCDEFGHIJKLMNOPQRST")); });
  Step("DropTable(" + owner + ", ROADS) again", [&] { return Bool(c.DropTable(owner, "ROADS")); });
}

TEST_F(DialectGolden, MicrosoftSqlServer) {
  Main("mssql");
  {
    COdbcConnection c;
    if (OpenSection(c, "owner login, user and schema absent, version 9.0", Profile("mssql", "mssql-absent"))) {
      Step("CreateCatalog", [&] { return Bool(c.CreateCatalog()); });
      InsertCatalogRow(c, "dbo", "ROADS");
      // The catalogue's unique index refuses a second row of the same table.
      Step("second catalogue row of dbo.ROADS", [&] {
        bool ok = c.ExecSql("insert into CORVANE.CORVANE_MAPCATALOG (TABLENAME, OWNERNAME) values ('ROADS', 'dbo')",
                            c.GetStmtHandle());
        SQLFreeStmt(c.GetStmtHandle(), SQL_CLOSE);
        return Bool(ok);
      });
      Step("CreateCatalog again", [&] { return WithError(c, c.CreateCatalog()); });
    }
  }
  {
    COdbcConnection c;
    Attrs a = Profile("mssql", "mssql-absent");
    a.emplace_back("DBMSVER", "08.00.2039");
    if (OpenSection(c, "owner absent, version 8.0", a)) Step("CreateCatalog", [&] { return Bool(c.CreateCatalog()); });
  }
  {
    COdbcConnection c;
    if (OpenSection(c, "owner's rights refused", Profile("mssql", "mssql-grant-fails")))
      Step("CreateCatalog", [&] { return WithError(c, c.CreateCatalog()); });
  }
  {
    COdbcConnection c;
    if (OpenSection(c, "login refused with a message that repeats the statement", Profile("mssql", "mssql-login-fails")))
      Step("CreateCatalog", [&] { return WithError(c, c.CreateCatalog()); });
  }
  {
    COdbcConnection c;
    Attrs a = Profile("mssql", "mssql-absent");
    a.emplace_back("DATABASE", "test db");
    if (OpenSection(c, "database name with a blank", a))
      Step("CreateCatalog", [&] { return WithError(c, c.CreateCatalog()); });
  }
  {
    COdbcConnection c;
    if (OpenSection(c, "owner O'BRIEN", Profile("mssql"))) {
      Prepare(c, SqlCreateCatalogTable(c.Dialect()));
      InsertCatalogRow(c, "O'BRIEN", "ROADS");
      InsertCatalogRow(c, "ZED ", "B ");
      InsertCatalogRow(c, "ZED ", "A");
      InsertCatalogRow(c, "ABEL", "ROADS");
      Step("ListOwners", [&] {
        std::vector<std::string> v;
        bool ok = c.ListOwners(v);
        return Bool(ok) + " " + Join(v);
      });
      Step("ListTables(ZED )", [&] {
        std::vector<std::string> v;
        bool ok = c.ListTables("ZED ", v);
        return Bool(ok) + " " + Join(v);
      });
      CUploadOptions o;
      o.Owner = "O'BRIEN";
      o.StyleColumn = "none";
      Step("ReadCatalogEntry(ROADS) not appending", [&] {
        bool ok = c.ReadCatalogEntry("ROADS", &o);
        return Bool(ok) + " bounds " + Bounds(c) + " rendition " + std::to_string(o.RenditionType) + " [" +
               o.StyleColumn + "]";
      });
      Step("DeleteCatalogEntry(O'BRIEN, ROADS)", [&] { return Bool(c.DeleteCatalogEntry("O'BRIEN", "ROADS")); });
      Step("ListTables(O'BRIEN)", [&] {
        std::vector<std::string> v;
        bool ok = c.ListTables("O'BRIEN", v);
        return Bool(ok) + " [" + Join(v) + "]";
      });
    }
  }
  {
    COdbcConnection c;
    if (OpenSection(c, "catalogue without rendition columns", Profile("mssql"))) {
      Prepare(c,
            "CREATE TABLE CORVANE.CORVANE_MAPCATALOG(SPATIALTYPE FLOAT,TABLENAME VARCHAR(32),OWNERNAME VARCHAR(32),"
            "SPATIALCOLUMN VARCHAR(32),DB_X_LL FLOAT,DB_Y_LL FLOAT,DB_X_UR FLOAT,DB_Y_UR FLOAT,"
            "COORDINATESYSTEM VARCHAR(254),SYMBOL VARCHAR(254),XCOLUMNNAME VARCHAR(32),YCOLUMNNAME VARCHAR(32))");
      InsertCatalogRow(c, "dbo", "ROADS", false);
      CUploadOptions o;
      o.Owner = "dbo";
      o.Append = true;
      o.StyleColumn = "none";
      Step("CheckCatalog", [&] {
        c.CheckCatalog();
        return "NoRenditionColumns " + Bool(c.NoRenditionColumns);
      });
      Step("ReadCatalogEntry(ROADS)", [&] {
        bool ok = c.ReadCatalogEntry("ROADS", &o);
        return Bool(ok) + " bounds " + Bounds(c) + " rendition " + std::to_string(o.RenditionType) + " [" +
               o.StyleColumn + "]";
      });
      c.SetBounds(9, 8, 7, 6);
      Step("ReadCatalogEntry(NOSUCH)", [&] { return Bool(c.ReadCatalogEntry("NOSUCH", &o)) + " bounds " + Bounds(c); });
    }
  }
  {
    COdbcConnection c;
    Attrs a = Profile("mssql");
    a.emplace_back("FAIL", "execdirect:.*_SIX.*");
    if (OpenSection(c, "first coordinate index refused", a)) {
      CreateRoads(c);
      Step("CreateXYIndexes(dbo, ROADS, CV_SQL_X, CV_SQL_Y)", [&] {
        std::string ow = "dbo", t = "ROADS", x = "CV_SQL_X", y = "CV_SQL_Y";
        return WithError(c, c.CreateXYIndexes(ow, t, x, y));
      });
    }
  }
  ExpectGolden("mssql.txt");
}

TEST_F(DialectGolden, OtherSqlServer) {
  Main("sqlserver");
  ExpectGolden("sqlserver.txt");
}

TEST_F(DialectGolden, Informix) {
  Main("informix");
  COdbcConnection c;
  Attrs a = Profile("informix");
  a.emplace_back("CATPAD", "1");
  if (OpenSection(c, "owner lookup with padded catalogue names", a)) {
    CreateRoads(c);
    c.SetUserName("someone");
    Step("ResolveTableOwner(roads)", [&] {
      std::string t = "roads";
      c.ResolveTableOwner(t);
      return "[" + c.GetUserName() + "] [" + t + "]";
    });
    c.SetUserName("someone");
    Step("ResolveTableOwner(nosuch)", [&] {
      std::string t = "nosuch";
      c.ResolveTableOwner(t);
      return "[" + c.GetUserName() + "] [" + t + "]";
    });
  }
  ExpectGolden("informix.txt");
}

TEST_F(DialectGolden, Db2) {
  Main("db2");
  COdbcConnection c;
  if (OpenSection(c, "owner holding the identifier quote", Profile("db2"))) {
    Step("DropTable(A\"B, ROADS)", [&] { return WithError(c, c.DropTable("A\"B", "ROADS")); });
    Step("LockTable(A\"B, ROADS)", [&] {
      c.LockTable("A\"B", "ROADS");
      return std::string("done");
    });
  }
  ExpectGolden("db2.txt");
}

TEST_F(DialectGolden, Oracle) {
  Main("oracle");
  ExpectGolden("oracle.txt");
}

TEST_F(DialectGolden, Access) {
  Main("access");
  ExpectGolden("access.txt");
}

}  // namespace
