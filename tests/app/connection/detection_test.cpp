// Detection of the six DBMS families: flags, quote, spatial type code,
// extension version, server information and type names per profile, and the
// order of the detection calls per family (golden traces).
#include <algorithm>
#include <fstream>
#include <sstream>

#include "connection_fixture.h"

namespace {

struct DetectCase {
  const char* label;
  std::vector<std::pair<std::string, std::string>> attrs;
  std::string rules;  // extra rule text ("" for none)
  const char* flags;  // I informix, D DB2, X extension, O Oracle, A Access, M Microsoft SQL Server, S other
  const char* quote;
  const char* spatialCode;
  int extensionVersion;
  double dbmsVersion;
  const char* defaultSchema;
  const char* dbmsName;
  const char* userName;
  const char* typeNames;  // field type=name, "|" separated, for 1 2 3 4 5 6 8 37 38
};

const char* const kProcQuery =
    "is select count(*) from sysobjects where id = object_id(N'[dbo].[sp_spatial_query]') and "
    "OBJECTPROPERTY(id, N'IsProcedure') = 1\nrows\ncols count\nrow ";

// Rules of a Microsoft SQL Server with the extension's procedure; `restricted`
// answers kt_restricted_server() with 1; `version` is what KT_Version gives.
std::string MsSqlRules(bool restricted, const std::string& version) {
  std::string r = std::string(kProcQuery) + "1\n";
  r += "is exec sp_spatial_query 'kt_restricted_server()'\nrows\ncols r\nrow " + std::string(restricted ? "1" : "0") + "\n";
  r += restricted ? "is select dbo.KT_version()\n" : "is exec sp_spatial_query 'select KT_Version() from Master.dbo.KT_OneRow'\n";
  r += "rows\ncols v\nrow " + version + "\n";
  return r;
}

const std::string kInformixSpatial =
    "is select name from sysxtdtypes where name = 'st_spatial'\nrows\ncols name\nrow st_spatial\n"
    "is execute function kt_spatial_id()\nrows\ncols id\nrow Helvoristan.4.5.1\n";

const char* const kMsTypes =
    "1=varchar|2=decimal|3=int|4=smallint|5=datetime|6=smallint|8=float|37=datetime|38=datetime";

std::string Flags(COdbcConnection& c) {
  std::string f;
  if (c.IsInformix()) f += 'I';
  if (c.IsDb2()) f += 'D';
  if (c.HasSpatialExtension()) f += 'X';
  if (c.IsOracle()) f += 'O';
  if (c.IsAccess()) f += 'A';
  if (c.IsSqlServer()) f += 'M';
  if (c.IsSqlServerOther()) f += 'S';
  return f;
}

std::string TypeNames(COdbcConnection& c) {
  std::string s;
  for (int t : {1, 2, 3, 4, 5, 6, 8, 37, 38}) s += (s.empty() ? "" : "|") + std::to_string(t) + "=" + c.TypeNameFor(t);
  return s;
}

using DetectionTest = ConnectionTest;

TEST_F(DetectionTest, EachProfileGivesItsFlagsQuoteCodesVersionsAndTypeNames) {
  const std::vector<DetectCase> cases = {
      {"mssql 4.5.5", {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "08.00.2039"}, {"UID", "u"}},
       MsSqlRules(false, "4.5.5"), "XM", "", "14", 455, 8.0, "", "Microsoft SQL Server", "u", kMsTypes},
      {"mssql 4.5.3", {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "08.00.2039"}, {"UID", "u"}},
       MsSqlRules(false, "4.5.3"), "XM", "", "14", 451, 8.0, "", "Microsoft SQL Server", "u", kMsTypes},
      {"mssql 4.5.0", {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "08.00.2039"}, {"UID", "u"}},
       MsSqlRules(false, "4.5.0"), "XM", "", "14", 0, 8.0, "", "Microsoft SQL Server", "u", kMsTypes},
      {"mssql restricted", {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "08.00.2039"}, {"UID", "u"}},
       MsSqlRules(true, "4.5.5"), "XM", "", "14", 455, 8.0, "", "Microsoft SQL Server", "u", kMsTypes},
      {"mssql without procedure", {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "08.00.2039"}, {"UID", "u"}},
       "", "M", "", "14", 0, 8.0, "", "Microsoft SQL Server", "u", kMsTypes},
      {"mssql 2005", {{"DBMS", "Microsoft SQL Server 2005"}, {"DBMSVER", "09.00.1399"}, {"UID", "u"}},
       "", "M", "", "14", 0, 9.0, "dbo", "Microsoft SQL Server 2005", "u", kMsTypes},
      {"other sql server", {{"DBMS", "SQL Server"}, {"UID", "u"}}, "", "S", "", "7", 400, 1.0, "", "SQL Server", "u",
       "1=varchar|2=decimal|3=integer|4=smallint|5=datetime|6=smallint|8=float|37=datetime|38=datetime"},
      {"informix", {{"DBMS", "Informix"}, {"UID", "u"}}, "", "I", "", "4", 400, 1.0, "", "Informix", "u",
       "1=varchar|2=decimal|3=integer|4=smallint|5=date|6=smallint|8=float|"
       "37=datetime year to fraction(3)|38=datetime year to fraction(3)"},
      {"informix st_spatial", {{"DBMS", "Informix"}, {"DRIVERVER", "03.00.0000"}, {"UID", "u"}}, kInformixSpatial,
       "IX", "", "11", 451, 1.0, "", "Informix", "u",
       "1=varchar|2=decimal|3=integer|4=smallint|5=date|6=smallint|8=float|"
       "37=datetime year to fraction(3)|38=datetime year to fraction(3)"},
      {"informix st_spatial, driver 02.70", {{"DBMS", "Informix"}, {"DRIVERVER", "02.70"}, {"UID", "u"}},
       kInformixSpatial, "I", "", "11", 451, 1.0, "", "Informix", "u",
       "1=varchar|2=decimal|3=integer|4=smallint|5=date|6=smallint|8=float|"
       "37=datetime year to fraction(3)|38=datetime year to fraction(3)"},
      {"db2 with r-tree", {{"DBMS", "DB2/LINUX"}, {"UID", "u"}},
       "is SELECT 1 FROM \"QD2SCH\".\"QD2_RTREE\"\nrows\ncols 1\nrow 1\n", "DX", "\"", "12", 451, 1.0, "",
       "DB2/LINUX", "u",
       "1=VARCHAR|2=DECIMAL|3=INTEGER|4=SMALLINT|5=DATE|6=SMALLINT|8=DOUBLE|37=TIMESTAMP|38=TIMESTAMP"},
      {"db2 without r-tree", {{"DBMS", "DB2/LINUX"}, {"UID", "u"}}, "", "D", "\"", "12", 451, 1.0, "", "DB2/LINUX",
       "u", "1=VARCHAR|2=DECIMAL|3=INTEGER|4=SMALLINT|5=DATE|6=SMALLINT|8=DOUBLE|37=TIMESTAMP|38=TIMESTAMP"},
      {"oracle", {{"DBMS", "Oracle"}, {"DBMSVER", "10.02.0000"}, {"UID", "scott"}}, "", "O", "\"", "4", 400, 10.02,
       "", "Oracle", "SCOTT",
       "1=VARCHAR2|2=DECIMAL|3=INTEGER|4=SMALLINT|5=DATE|6=SMALLINT|8=FLOAT|37=TIMESTAMP(3)|38=TIMESTAMP(3)"},
      {"access", {{"DBMS", "ACCESS"}, {"UID", "admin"}}, "", "A", "`", "4", 400, 1.0, "", "ACCESS", "admin",
       "1=VARCHAR|2=DOUBLE|3=INTEGER|4=SMALLINT|5=DATETIME|6=SMALLINT|8=DOUBLE|37=DATETIME|38=DATETIME"},
  };
  for (const DetectCase& k : cases) {
    SCOPED_TRACE(k.label);
    auto attrs = k.attrs;
    if (!k.rules.empty()) attrs.emplace_back("RULES", Rules(k.rules));
    COdbcConnection c;
    ASSERT_TRUE(Open(c, attrs)) << c.GetLastErrorRef() << "\nlog: " << log.str();
    EXPECT_EQ(k.flags, Flags(c));
    EXPECT_EQ(k.quote, c.IdentifierQuote);
    EXPECT_EQ(k.spatialCode, c.GetSpatialTypeRef());
    EXPECT_EQ(k.extensionVersion, c.GetExtensionVersion());
    EXPECT_DOUBLE_EQ(k.dbmsVersion, c.GetDbmsVersion());
    EXPECT_EQ(k.defaultSchema, c.GetDefaultSchema());
    EXPECT_EQ(k.dbmsName, c.GetDbmsName());
    EXPECT_EQ(k.userName, c.GetUserName());
    EXPECT_EQ(k.typeNames, TypeNames(c));
    EXPECT_EQ("", c.TypeNameFor(7));
    EXPECT_EQ("testdb", c.GetDatabaseName());
    EXPECT_TRUE(boxes.empty());
  }
}

TEST_F(DetectionTest, DatesBecomeTimestampsAndNumbersFollowTheFamily) {
  struct Row {
    const char* dbms;
    int date, time, decimal, flt;
  };
  for (const Row& r : {Row{"ACCESS", SQL_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, SQL_DOUBLE, SQL_DOUBLE},
                       Row{"Microsoft SQL Server", SQL_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, SQL_DECIMAL, SQL_FLOAT},
                       Row{"SQL Server", SQL_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, SQL_DECIMAL, SQL_FLOAT},
                       Row{"Oracle", SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP, SQL_DECIMAL, SQL_DOUBLE}}) {
    SCOPED_TRACE(r.dbms);
    COdbcConnection c;
    ASSERT_TRUE(Open(c, {{"DBMS", r.dbms}, {"UID", "u"}}));
    EXPECT_EQ(r.date, c.SqlTypeFor(5));
    EXPECT_EQ(r.time, c.SqlTypeFor(37));
    EXPECT_EQ(r.decimal, c.SqlTypeFor(2));
    EXPECT_EQ(r.flt, c.SqlTypeFor(8));
  }
}

TEST_F(DetectionTest, SetProjectionFollowsTheFamilyAndTheExtensionsAnswer) {
  const std::string informixSpatial = "is select name from sysxtdtypes where name = 'st_spatial'\nrows\ncols name\nrow st_spatial\n";
  auto spatialId = [](const std::string& answer) { return "is execute function kt_spatial_id()\n" + answer; };
  struct Row {
    const char* label;
    std::vector<std::pair<std::string, std::string>> attrs;
    std::string rules;
    bool expected;
  };
  const std::vector<Row> rows = {
      {"informix 3.5", {{"DBMS", "Informix"}}, informixSpatial + spatialId("rows\ncols id\nrow Helvoristan.3.5\n"), true},
      {"informix 3.0", {{"DBMS", "Informix"}}, informixSpatial + spatialId("rows\ncols id\nrow Helvoristan.3.0\n"), false},
      {"informix, other answer", {{"DBMS", "Informix"}}, informixSpatial + spatialId("rows\ncols id\nrow Helvoristan.4.5.1\n"),
       true},
      {"informix, no row", {{"DBMS", "Informix"}}, informixSpatial + spatialId("rows\ncols id\n"), true},
      {"informix, failing function", {{"DBMS", "Informix"}}, informixSpatial + spatialId("error IX000 no routine\n"), false},
      {"informix without the extension", {{"DBMS", "Informix"}}, "", false},
      {"db2 with r-tree", {{"DBMS", "DB2/LINUX"}}, "is SELECT 1 FROM \"QD2SCH\".\"QD2_RTREE\"\nrows\ncols 1\nrow 1\n", true},
      {"db2 without r-tree", {{"DBMS", "DB2/LINUX"}}, "", false},
      {"sql server with the procedure", {{"DBMS", "Microsoft SQL Server"}}, MsSqlRules(false, "4.5.5"), true},
      {"sql server without", {{"DBMS", "Microsoft SQL Server"}}, "", false},
      {"oracle", {{"DBMS", "Oracle"}}, "", false},
      {"access", {{"DBMS", "ACCESS"}}, "", false},
      {"other sql server", {{"DBMS", "SQL Server"}}, "", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    auto attrs = r.attrs;
    attrs.emplace_back("UID", "u");
    if (!r.rules.empty()) attrs.emplace_back("RULES", Rules(r.rules));
    COdbcConnection c;
    ASSERT_TRUE(Open(c, attrs)) << c.GetLastErrorRef();
    EXPECT_EQ(r.expected, c.SupportsSetProjection());
    EXPECT_TRUE(SelectOne(c)) << "the cursor is left closed";
  }
}

TEST_F(DetectionTest, TheUserNameIsALiteralInTheDefaultSchemaQuery) {
  struct Row {
    const char* user;
    const char* literal;
  };
  for (const Row& r : {Row{"o'neil", "'o''neil'"}, Row{"x' or '1'='1", "'x'' or ''1''=''1'"}, Row{"u", "'u'"}}) {
    SCOPED_TRACE(r.user);
    std::remove(tracePath.c_str());
    COdbcConnection c;
    ASSERT_TRUE(Open(c, {{"DBMS", "Microsoft SQL Server 2005"}, {"DBMSVER", "09.00.1399"}, {"UID", r.user}}));
    EXPECT_EQ(r.user, c.GetUserName());
    EXPECT_EQ("dbo", c.GetDefaultSchema());
    std::vector<std::string> sql = testodbc::Statements(Trace());
    std::string query = std::string("select default_schema_name from sys.database_principals where name =") + r.literal;
    EXPECT_NE(sql.end(), std::find(sql.begin(), sql.end(), query));
  }
}

// The detection calls of a trace, one line each: statements, information and
// type-information requests, statement attributes, handles.
std::string DetectionCalls(const std::vector<testodbc::TraceEntry>& trace) {
  std::string out;
  for (const auto& e : trace) {
    std::string fn = e.Get("fn"), h = e.Get("h");
    if (fn == "SQLDriverConnect") out += "connect " + h;
    else if (fn == "SQLAllocHandle") out += "alloc " + e.Get("new");
    else if (fn == "SQLFreeHandle") out += "free " + h;
    else if (fn == "SQLDisconnect") out += "disconnect " + h;
    else if (fn == "SQLExecDirect") out += "exec " + h + " " + e.Get("sql");
    else if (fn == "SQLGetInfo") out += "info " + e.Get("info");
    else if (fn == "SQLGetTypeInfo") out += "typeinfo " + h + " " + e.Get("type");
    else if (fn == "SQLSetStmtAttr") out += "stmtattr " + h + " " + e.Get("attr") + "=" + e.Get("value");
    else if (fn == "SQLSetConnectAttr" && e.Get("attr").rfind("SQL_", 0) == 0)
      out += "connattr " + h + " " + e.Get("attr") + "=" + e.Get("value");
    else continue;
    out += "\n";
  }
  return out;
}

TEST_F(DetectionTest, CallsOfEachFamilyFollowTheGoldenOrder) {
  struct Row {
    const char* golden;
    std::vector<std::pair<std::string, std::string>> attrs;
  };
  const std::vector<Row> rows = {
      {"mssql.txt", {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "09.00.1399"}, {"UID", "u"}}},
      {"db2.txt", {{"DBMS", "DB2/LINUX"}, {"UID", "u"}}},
      {"informix.txt", {{"DBMS", "Informix"}, {"UID", "u"}}},
      {"sqlserver.txt", {{"DBMS", "SQL Server"}, {"UID", "u"}}},
      {"oracle.txt", {{"DBMS", "Oracle"}, {"UID", "u"}}},
      {"access.txt", {{"DBMS", "ACCESS"}, {"UID", "u"}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.golden);
    std::remove(tracePath.c_str());
    {
      COdbcConnection c;
      ASSERT_TRUE(Open(c, r.attrs)) << c.GetLastErrorRef();
    }
    EXPECT_EQ(testodbc::ReadFile(std::string(QL_GOLDEN_DIR) + "/" + r.golden), DetectionCalls(Trace()));
  }
}

}  // namespace
