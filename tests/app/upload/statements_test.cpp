// Statement builders of the uploader: CREATE TABLE and INSERT per server
// family and storage kind, the parameter plan the row binder follows, the
// catalogue statements, the projection call and the small helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/UploadStatements.h"
#include "app/upload/families.h"

namespace upload {
namespace {

const std::vector<UploadColumn> kNamePop = {{"NAME", kValueChar, 20, 0}, {"POP", kValueInteger, 10, 0}};

StatementSettings Settings(const std::string& owner, int kind) {
  StatementSettings s{.owner = owner, .table = "T", .storageKind = kind, .objectKind = 0, .keySuffix = "_PK"};
  return s;
}

struct BuilderCase {
  const char* what;
  SqlFamily family;
  StatementSettings settings;
  std::vector<UploadColumn> columns;
  std::string create;
  std::string insert;
};

StatementSettings With(StatementSettings s, void (*edit)(StatementSettings&)) {
  edit(s);
  return s;
}

TEST(UploadStatements, CreateAndInsertPerFamilyAndStorageKind) {
  const BuilderCase cases[] = {
      {"MS SQL, spatial column, identity key", MsSql(), Settings("dbo", 1), kNamePop,
       "create table dbo.T( NAME varchar(20),POP int,CV_STYLE VARCHAR(254),QD_MEMBER INTEGER PRIMARY KEY "
       "IDENTITY,QD_GEOMETRY ST_SPATIAL)",
       "insert into dbo.T( NAME,POP,CV_STYLE,QD_GEOMETRY) values ( ?,?,?,?)"},
      {"MS SQL, spatial column, plain key", MsSql(),
       With(Settings("dbo", 1), [](StatementSettings& s) { s.identityKey = false; }), kNamePop,
       "create table dbo.T( NAME varchar(20),POP int,CV_STYLE VARCHAR(254),QD_MEMBER INTEGER PRIMARY "
       "KEY,QD_GEOMETRY ST_SPATIAL)",
       "insert into dbo.T( NAME,POP,CV_STYLE,QD_MEMBER,QD_GEOMETRY) values ( ?,?,?,?,?)"},
      {"empty owner: no owner part, never \".T\"", Db2(), Settings("", 3), kNamePop,
       "create table \"T\"( NAME VARCHAR(20),POP INTEGER,CV_STYLE VARCHAR(254),CV_SQL_REC_NUM INTEGER,CV_SQL_X "
       "FLOAT,CV_SQL_Y FLOAT)",
       "insert into \"T\"( NAME,POP,CV_STYLE,CV_SQL_REC_NUM,CV_SQL_X,CV_SQL_Y) values ( ?,?,?,?,?,?)"},
      {"MS SQL, X/Y columns, identity key", MsSql(), Settings("dbo", 3), kNamePop,
       "create table dbo.T( NAME varchar(20),POP int,CV_STYLE VARCHAR(254),CV_SQL_REC_NUM INTEGER PRIMARY KEY "
       "IDENTITY,CV_SQL_X FLOAT,CV_SQL_Y FLOAT)",
       "insert into dbo.T( NAME,POP,CV_STYLE,CV_SQL_X,CV_SQL_Y) values ( ?,?,?,?,?)"},
      {"MS SQL, code column, style off", MsSql(),
       With(Settings("dbo", 2), [](StatementSettings& s) { s.styleEnabled = false; }), kNamePop,
       "create table dbo.T( NAME varchar(20),POP int,CV_SQL_REC_NUM INTEGER PRIMARY KEY IDENTITY,CV_SQL_X "
       "FLOAT,CV_SQL_Y FLOAT,CV_SQL_CVCODE VARCHAR(18))",
       "insert into dbo.T( NAME,POP,CV_SQL_X,CV_SQL_Y,CV_SQL_CVCODE) values ( ?,?,?,?,?)"},
      {"Access X/Y: no owner, back quotes, DOUBLE", Access(), Settings("admin", 3),
       {{"NAME", kValueChar, 20, 0}, {"AREA", kValueDecimal, 9, 2}},
       "create table `T`( NAME VARCHAR(20),AREA DOUBLE,CV_STYLE VARCHAR(254),CV_SQL_REC_NUM INTEGER  PRIMARY "
       "KEY,CV_SQL_X DOUBLE,CV_SQL_Y DOUBLE)",
       "insert into `T`( NAME,AREA,CV_STYLE,CV_SQL_REC_NUM,CV_SQL_X,CV_SQL_Y) values ( ?,?,?,?,?,?)"},
      {"Access without key constraint", Access(),
       With(Settings("", 3), [](StatementSettings& s) { s.keyConstraint = false; }), {},
       "create table `T`( CV_STYLE VARCHAR(254),CV_SQL_REC_NUM INTEGER NOT NULL,CV_SQL_X DOUBLE,CV_SQL_Y DOUBLE)",
       "insert into `T`( CV_STYLE,CV_SQL_REC_NUM,CV_SQL_X,CV_SQL_Y) values ( ?,?,?,?)"},
      {"Oracle X/Y with key constraint", Oracle(), Settings("U", 3),
       {{"NAME", kValueChar, 20, 0}, {"POP", kValueInteger, 10, 0}, {"N", kValueSmallInt, 5, 0}},
       "create table U.\"T\"( NAME VARCHAR2(20),POP NUMBER(10),N NUMBER(5),CV_STYLE VARCHAR(254),CV_SQL_REC_NUM "
       "NUMBER(10) CONSTRAINT T_PK PRIMARY KEY NOT DEFERRABLE,CV_SQL_X FLOAT,CV_SQL_Y FLOAT)",
       "insert into U.\"T\"( NAME,POP,N,CV_STYLE,CV_SQL_REC_NUM,CV_SQL_X,CV_SQL_Y) values ( ?,?,?,?,?,?,?)"},
      {"Oracle code column without key constraint", Oracle(),
       With(Settings("U", 2), [](StatementSettings& s) { s.keyConstraint = false; }), kNamePop,
       "create table U.\"T\"( NAME VARCHAR2(20),POP NUMBER(10),CV_STYLE VARCHAR(254),CV_SQL_REC_NUM NUMBER(10) "
       "NOT NULL,CV_SQL_X FLOAT,CV_SQL_Y FLOAT,CV_SQL_CVCODE VARCHAR(18))",
       "insert into U.\"T\"( NAME,POP,CV_STYLE,CV_SQL_REC_NUM,CV_SQL_X,CV_SQL_Y,CV_SQL_CVCODE) values ( "
       "?,?,?,?,?,?,?)"},
      {"Oracle spatial column: nothing of its own", Oracle(), Settings("U", 1), kNamePop,
       "create table U.\"T\"( NAME VARCHAR2(20),POP NUMBER(10),CV_STYLE VARCHAR(254))",
       "insert into U.\"T\"( NAME,POP,CV_STYLE) values ( ?,?,?)"},
      {"DB2 spatial column", Db2(), Settings("U", 1), kNamePop,
       "create table U.\"T\"( NAME VARCHAR(20),POP INTEGER,CV_STYLE VARCHAR(254),QD_MEMBER INTEGER PRIMARY "
       "KEY,QD_GEOMETRY ST_SPATIAL_TYPE)",
       "insert into U.\"T\"( NAME,POP,CV_STYLE,QD_MEMBER,QD_GEOMETRY) values ( "
       "?,?,?,?,qd2_morph_in( CAST(? AS ST_SPATIAL_TYPE)))"},
      {"Informix spatial column with constraint", Informix(), Settings("inf", 1), kNamePop,
       "create table inf.T( NAME varchar(20),POP integer,CV_STYLE VARCHAR(254),qd_member serial not null primary "
       "key constraint T_PK,qd_geometry st_spatial)",
       "insert into inf.T( NAME,POP,CV_STYLE,qd_member,qd_geometry) values ( ?,?,?,0,?)"},
      {"Informix code column without constraint", Informix(),
       With(Settings("inf", 2), [](StatementSettings& s) { s.keyConstraint = false; }), kNamePop,
       "create table inf.T( NAME varchar(20),POP integer,CV_STYLE VARCHAR(254),cv_sql_rec_num serial ,cv_sql_x "
       "float,cv_sql_y float,cv_sql_cvcode varchar(18))",
       "insert into inf.T( NAME,POP,CV_STYLE,cv_sql_rec_num,cv_sql_x,cv_sql_y,cv_sql_cvcode) values ( "
       "?,?,?,0,?,?,?)"},
      {"other SQL Server, lines", Sqs(),
       With(Settings("dbo", 1), [](StatementSettings& s) { s.objectKind = 1; }), kNamePop,
       "create table dbo.T( NAME varchar(20),POP int,CV_STYLE VARCHAR(254),SQS_MEMBER integer primary "
       "key,SQS_GEOMETRY LINE_SET key to primary key index T_SQS_IDX)",
       "insert into dbo.T( NAME,POP,CV_STYLE,SQS_MEMBER,SQS_GEOMETRY) values ( ?,?,?,?,?)"},
      {"other SQL Server without a detected extension still fills its key and geometry",
       [] {
         SqlFamily f = Sqs();
         f.extension = false;
         return f;
       }(),
       With(Settings("dbo", 1), [](StatementSettings& s) { s.objectKind = 0; }), kNamePop,
       "create table dbo.T( NAME varchar(20),POP int,CV_STYLE VARCHAR(254),SQS_MEMBER integer primary "
       "key,SQS_GEOMETRY POINT key to primary key index T_SQS_IDX)",
       "insert into dbo.T( NAME,POP,CV_STYLE,SQS_MEMBER,SQS_GEOMETRY) values ( ?,?,?,?,?)"},
      {"other SQL Server, mixed objects: no CREATE", Sqs(),
       With(Settings("dbo", 1), [](StatementSettings& s) { s.objectKind = 3; }), kNamePop, "",
       "insert into dbo.T( NAME,POP,CV_STYLE,SQS_MEMBER,SQS_GEOMETRY) values ( ?,?,?,?,?)"},
      {"qd_member and qd_geometry source columns are neither created nor inserted", MsSql(), Settings("dbo", 1),
       {{"qd_member", kValueInteger, 10, 0}, {"NAME", kValueChar, 20, 0}, {" Qd_Geometry ", kValueChar, 8, 0}},
       "create table dbo.T( NAME varchar(20),CV_STYLE VARCHAR(254),QD_MEMBER INTEGER PRIMARY KEY "
       "IDENTITY,QD_GEOMETRY ST_SPATIAL)",
       "insert into dbo.T( NAME,CV_STYLE,QD_GEOMETRY) values ( ?,?,?)"},
      {"no objects: qd_geometry is an ordinary column, no style, no X/Y", MsSql(),
       With(Settings("dbo", 3), [](StatementSettings& s) { s.mappable = false; }),
       {{"QD_GEOMETRY", kValueChar, 8, 0}, {"D", kValueDate, 8, 0}, {"X", 99, 3, 0}},
       "create table dbo.T( QD_GEOMETRY varchar(8),D datetime,X ,CV_SQL_REC_NUM INTEGER PRIMARY KEY IDENTITY)",
       "insert into dbo.T( QD_GEOMETRY,D,X) values ( ?,?,?)"},
  };
  for (const BuilderCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(BuildCreateTable(c.family, c.columns, c.settings), c.create);
    EXPECT_EQ(BuildInsertStatement(c.family, c.columns, c.settings).text, c.insert);
  }
}

TEST(UploadStatements, ColumnTypeTextAndBuffers) {
  const SqlFamily ms = MsSql();
  EXPECT_EQ(ColumnTypeText(ms, kValueDecimal, 9, 2), "decimal(9,2)");
  EXPECT_EQ(ColumnTypeText(ms, kValueLogical, 1, 0), "smallint");
  EXPECT_EQ(ColumnTypeText(ms, 7, 1, 0), "");

  const std::vector<UploadColumn> cols = {{"D", kValueDate, 8, 0},   {"T", kValueTime, 9, 0},
                                          {"DT", kValueDateTime, 17, 0}, {"L", kValueLogical, 1, 0},
                                          {"C", kValueChar, 4, 0}};
  using B = BufferKind;
  const std::vector<B> timestampDate = {B::Timestamp, B::Timestamp, B::Timestamp, B::Logical, B::None};
  const std::vector<B> plainDate = {B::Date, B::Timestamp, B::Timestamp, B::Logical, B::None};
  EXPECT_EQ(BuildInsertStatement(ms, cols, Settings("dbo", 1)).buffers, timestampDate);
  EXPECT_EQ(BuildInsertStatement(Access(), cols, Settings("", 3)).buffers, timestampDate);
  EXPECT_EQ(BuildInsertStatement(Oracle(), cols, Settings("U", 3)).buffers, plainDate);
  EXPECT_EQ(BuildInsertStatement(Db2(), cols, Settings("U", 1)).buffers, plainDate);
}

// The row binder binds exactly as many parameters as the INSERT statement has
// markers, whatever the family, storage kind and switches.
TEST(UploadStatements, BinderPlanMatchesInsertMarkers) {
  const SqlFamily families[] = {MsSql(), Access(), Oracle(), Db2(), Informix(), Sqs()};
  const std::vector<UploadColumn> cols = {
      {"qd_member", kValueInteger, 10, 0}, {"NAME", kValueChar, 20, 0}, {"QD_GEOMETRY", kValueChar, 5, 0}};
  for (const SqlFamily& base : families) {
    for (bool extension : {false, true}) {
      SqlFamily f = base;
      f.extension = extension;
      for (int kind : {1, 2, 3}) {
        for (int bits = 0; bits < 8; ++bits) {
          StatementSettings s = Settings("o", kind);
          s.identityKey = bits & 1;
          s.mappable = bits & 2;
          s.styleEnabled = bits & 4;
          SCOPED_TRACE(BuildInsertStatement(f, cols, s).text);
          const std::string sql = BuildInsertStatement(f, cols, s).text;
          const ColumnPlan plan = PlanColumns(cols, s.mappable);
          const TrailingParams p = PlanTrailingParams(f, s);
          const int expected = static_cast<int>(std::count(plan.included.begin(), plan.included.end(), true)) +
                               (s.mappable && s.styleEnabled) + p.key + p.record + 2 * p.xy + p.code;
          EXPECT_EQ(static_cast<int>(std::count(sql.begin(), sql.end(), '?')), expected);
        }
      }
    }
  }
}

TEST(UploadStatements, ExistenceGrantAndQueryText) {
  EXPECT_EQ(BuildExistenceTest(MsSql(), "dbo", "RD"), "select 1 from dbo.RD");
  EXPECT_EQ(BuildExistenceTest(MsSql(), "", "RD"), "select 1 from RD");
  EXPECT_EQ(BuildExistenceTest(Informix(), "inf", "RD"), "select 1 from RD");
  EXPECT_EQ(BuildExistenceTest(Access(), "admin", "RD"), "select 1 from RD");
  EXPECT_EQ(BuildGrant(Oracle(), "U", "RD"), "grant all on \"U\".\"RD\" to public");
  EXPECT_EQ(BuildGrant(Access(), "admin", "RD"), "grant all on `RD` to public");
  EXPECT_EQ(BuildQueryText(MsSql(), "testdb", "dbo", "RD"), "select * from testdb.dbo.RD");
  EXPECT_EQ(BuildQueryText(Informix(), "stores", "inf", "RD"), "select * from stores:inf.RD");
  EXPECT_EQ(BuildQueryText(Oracle(), "", "U", "RD"), "select * from U.RD");
  EXPECT_EQ(BuildQueryText(Access(), "db", "admin", "RD"), "select * from RD");
}

CatalogRow PointRow() {
  CatalogRow row;
  SetCatalogStorage(row, MsSql(), 1, "14", ".0");
  row.bounds[0] = 151.2093;
  row.bounds[1] = -33.5;
  row.bounds[2] = 152;
  row.bounds[3] = -33;
  row.coordSys = "Earth Projection 1, 104";
  row.symbol = "Symbol (35,0,12)";
  row.renditionType = 1;
  row.renditionColumn = "CV_STYLE";
  return row;
}

TEST(UploadStatements, CatalogStorageColumns) {
  struct Case {
    SqlFamily f;
    int kind;
    const char *type, *column, *x;
  } cases[] = {{MsSql(), 1, "14.0", "QD_GEOMETRY", "NO_COLUMN"},
               {Sqs(), 1, "14.0", "SQS_GEOMETRY", "NO_COLUMN"},
               {MsSql(), 2, "1.0", "CV_SQL_CVCODE", "CV_SQL_X"},
               {MsSql(), 3, "4.0", "", "CV_SQL_X"}};
  for (const Case& c : cases) {
    CatalogRow row;
    SetCatalogStorage(row, c.f, c.kind, "14", ".0");
    EXPECT_EQ(row.spatialType, c.type);
    EXPECT_EQ(row.spatialColumn, c.column);
    EXPECT_EQ(row.xColumn, c.x);
  }
}

TEST(UploadStatements, CatalogInsertAndUpdate) {
  const CatalogRow row = PointRow();
  EXPECT_EQ(BuildCatalogInsert(MsSql(), row, "RD", "dbo", true, true),
            "insert into CORVANE.CORVANE_MAPCATALOG (SPATIALTYPE, TABLENAME, OWNERNAME, SPATIALCOLUMN, DB_X_LL, "
            "DB_Y_LL, DB_X_UR, DB_Y_UR, COORDINATESYSTEM, SYMBOL, XCOLUMNNAME, YCOLUMNNAME, RENDITIONTYPE, "
            "RENDITIONCOLUMN, RENDITIONTABLE) values ( 14.0, 'RD', 'dbo', 'QD_GEOMETRY', 151.209300, -33.500000, "
            "152.000000, -33.000000, 'Earth Projection 1, 104', 'Symbol (35,0,12)', 'NO_COLUMN', 'NO_COLUMN', 1, "
            "'CV_STYLE', '')");
  // Style off, or no rendition columns: none named in the insert.
  const std::string plain =
      "insert into CORVANE.CORVANE_MAPCATALOG (SPATIALTYPE, TABLENAME, OWNERNAME, SPATIALCOLUMN, DB_X_LL, "
      "DB_Y_LL, DB_X_UR, DB_Y_UR, COORDINATESYSTEM, SYMBOL, XCOLUMNNAME, YCOLUMNNAME) values ( 14.0, 'RD', "
      "'dbo', 'QD_GEOMETRY', 151.209300, -33.500000, 152.000000, -33.000000, 'Earth Projection 1, 104', "
      "'Symbol (35,0,12)', 'NO_COLUMN', 'NO_COLUMN')";
  EXPECT_EQ(BuildCatalogInsert(MsSql(), row, "RD", "dbo", true, false), plain);
  EXPECT_EQ(BuildCatalogInsert(MsSql(), row, "RD", "dbo", false, true), plain);

  const std::string head =
      "update CORVANE.CORVANE_MAPCATALOG SET  SPATIALTYPE  = 14.0, SPATIALCOLUMN = 'QD_GEOMETRY', DB_X_LL  = "
      "151.209300, DB_Y_LL = -33.500000, DB_X_UR = 152.000000, DB_Y_UR = -33.000000, COORDINATESYSTEM = 'Earth "
      "Projection 1, 104', SYMBOL = 'Symbol (35,0,12)', XCOLUMNNAME = 'NO_COLUMN', YCOLUMNNAME = 'NO_COLUMN";
  const std::string where = "' where  TABLENAME  =  'RD' and OWNERNAME =  'dbo'";
  EXPECT_EQ(BuildCatalogUpdate(MsSql(), row, "RD", "dbo", true, true),
            head + "', RENDITIONTYPE = 1, RENDITIONCOLUMN = 'CV_STYLE', RENDITIONTABLE = '" + where);
  EXPECT_EQ(BuildCatalogUpdate(MsSql(), row, "RD", "dbo", true, false),
            head + "', RENDITIONTYPE = 0, RENDITIONCOLUMN = '', RENDITIONTABLE = '" + where);
  EXPECT_EQ(BuildCatalogUpdate(MsSql(), row, "RD", "dbo", false, true), head + where);

  const double b[4] = {1, 2, 3.25, 4};
  EXPECT_EQ(BuildCatalogBoundsUpdate(Access(), b, "RD", "admin"),
            "update `CORVANE_MAPCATALOG` SET DB_X_LL  = 1.000000, DB_Y_LL = 2.000000, DB_X_UR = 3.250000, DB_Y_UR = "
            "4.000000 where  TABLENAME  =  'RD' and OWNERNAME =  'admin'");
  EXPECT_EQ(CatalogRef(Oracle()), "\"CORVANE\".\"CORVANE_MAPCATALOG\"");
}

TEST(UploadStatements, CatalogValuesDoubleTheirQuotes) {
  CatalogRow row = PointRow();
  row.symbol = "Font (\"Cartographic's\",0,12)";
  const std::string insert = BuildCatalogInsert(MsSql(), row, "O'T", "O'BRIEN", true, true);
  EXPECT_NE(insert.find("'O''T', 'O''BRIEN'"), std::string::npos) << insert;
  EXPECT_NE(insert.find("'Font (\"Cartographic''s\",0,12)'"), std::string::npos) << insert;
  const std::string update = BuildCatalogUpdate(MsSql(), row, "O'T", "O'BRIEN", true, true);
  EXPECT_NE(update.find("TABLENAME  =  'O''T' and OWNERNAME =  'O''BRIEN'"), std::string::npos) << update;
}

TEST(UploadStatements, SetProjectionPerFamily) {
  const std::string cs = "Earth Projection 8, 104, \"m\", 0";
  EXPECT_EQ(BuildSetProjection(Informix(), cs), "execute function KT_SetProjection('" + cs + "')");
  EXPECT_EQ(BuildSetProjection(Oracle(), cs), "Select KT_SetProjection('" + cs + "') from KT_PROJECT");
  EXPECT_EQ(BuildSetProjection(Db2(), cs), "values(kt_SetProjection('" + cs + "'))");
  EXPECT_EQ(BuildSetProjection(MsSql(), cs),
            "exec sp_spatial_query 'select KT_SetProjection(''" + cs + "'') from CORVANE.CORVANE_MAPCATALOG'");
  EXPECT_EQ(BuildSetProjection(Access(), cs), "");
  // A quote in the clause: doubled once in a literal, twice inside the
  // procedure's literal.
  EXPECT_EQ(BuildSetProjection(Db2(), "a'b"), "values(kt_SetProjection('a''b'))");
  EXPECT_EQ(BuildSetProjection(MsSql(), "a'b"),
            "exec sp_spatial_query 'select KT_SetProjection(''a''''b'') from CORVANE.CORVANE_MAPCATALOG'");
}

TEST(UploadStatements, BoundsAreFixedSixDecimals) {
  EXPECT_EQ(FormatBound(151.2093), "151.209300");
  EXPECT_EQ(FormatBound(-0.5), "-0.500000");
  EXPECT_EQ(FormatBound(1e9), "1000000000.000000");
  EXPECT_EQ(FormatBound(0.0000004), "0.000000");
}

}  // namespace
}  // namespace upload
