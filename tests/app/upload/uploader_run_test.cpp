// The uploader's run over a recording upload database: target modes and
// their failures, the row loop's keys, commits and bounds, the closing steps
// and the catalogue row.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/OdbcUploader.h"
#include "app/ResourceLibrary.h"
#include "app/UploadUi.h"
#include "app/upload/fake_upload_db.h"
#include "app/upload/generated_reader.h"
#include "app/upload/families.h"
#include "app/upload/upload_fixture.h"
#include "kernel/tables/api/UploadOptions.h"

namespace upload {
namespace {

struct Box {
  int caption;
  std::string text;
};

class UploaderRun : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadTestResources();
    SetBoxHook([this](int caption, const std::string& text, BoxIcon, bool) {
      boxes.push_back({caption, text});
      return true;
    });
    options.Owner = "dbo";
  }
  void TearDown() override { SetBoxHook({}); }

  // Runs one table through an uploader over `family`.
  bool Run(const SqlFamily& family, const FixtureTable& table, const std::string& target = "t", int jobIndex = 0) {
    file = std::make_unique<FixtureFile>(table);
    reader = OpenReader(file->Path());
    options.ObjectKind = reader->GetObjectKind();
    options.IsMappable = reader->IsMappable();
    if (!conn) conn = std::make_unique<FakeConnection>(family);
    conn->tables = tables;
    auto owned = std::make_unique<FakeUploadDb>(*conn);
    owned->columns = columns;
    owned->failing = failing;
    owned->nextKey = nextKey;
    owned->onRow = onRow;
    db = owned.get();
    uploader = std::make_unique<COdbcUploader>(std::move(owned), reader.get());
    uploader->JobIndex = jobIndex;
    rows = -1;
    const bool ok = uploader->Run(target, &options, &rows);
    tables = db->tables;
    return ok;
  }
  std::vector<std::string> RowLines() const { return db->Lines("row "); }
  bool Traced(const std::string& needle) const { return !db->Lines(needle).empty(); }
  bool BoxWith(int caption, int stringId) const {
    return std::any_of(boxes.begin(), boxes.end(), [&](const Box& b) {
      return b.caption == caption && b.text.find(LoadResString(stringId)) != std::string::npos;
    });
  }

  CUploadOptions options;
  std::set<std::string> tables;
  std::map<std::string, std::vector<TargetColumn>> columns;
  std::vector<std::string> failing;
  std::function<int()> nextKey;
  std::function<void(int)> onRow;
  std::unique_ptr<FakeConnection> conn;
  std::unique_ptr<FixtureFile> file;
  std::unique_ptr<CTableReader> reader;
  std::unique_ptr<COdbcUploader> uploader;
  FakeUploadDb* db = nullptr;
  std::vector<Box> boxes;
  int rows = 0;
};

TEST_F(UploaderRun, CreatesFillsIndexesAndCataloguesANewTable) {
  ASSERT_TRUE(Run(MsSql(), NamePopTable(3)));
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(uploader->Message(), "T");
  const std::vector<std::string> expected = {
      "resetstatement",
      "exec sp_spatial_query 'select KT_SetGeoFormat(''Helvoristan'') from CORVANE.CORVANE_MAPCATALOG'",
      "select 1 from dbo.T",
      "create table dbo.T( NAME varchar(20),POP int,CV_STYLE VARCHAR(254),QD_MEMBER INTEGER PRIMARY KEY "
      "IDENTITY,QD_GEOMETRY ST_SPATIAL)",
      "exec sp_spatial_query 'select KT_SetProjection(''Earth Projection 1, 104'') from "
      "CORVANE.CORVANE_MAPCATALOG' [fetch ignored]",
      "prepare insert into dbo.T( NAME,POP,CV_STYLE,QD_GEOMETRY) values ( ?,?,?,?)",
      "autocommit off",
      "row 'name1' '1' NULL bytes:7",
      "row 'name2' '2' NULL bytes:7",
      "row 'name3' '3' NULL bytes:7",
      "autocommit on",
      "spatialize dbo.T",
      "spatialindex dbo.T(QD_GEOMETRY)",
      "insert into CORVANE.CORVANE_MAPCATALOG (SPATIALTYPE, TABLENAME, OWNERNAME, SPATIALCOLUMN, DB_X_LL, "
      "DB_Y_LL, DB_X_UR, DB_Y_UR, COORDINATESYSTEM, SYMBOL, XCOLUMNNAME, YCOLUMNNAME, RENDITIONTYPE, "
      "RENDITIONCOLUMN, RENDITIONTABLE) values ( 14.0, 'T', 'dbo', 'QD_GEOMETRY', 1.000000, -3.000000, "
      "3.000000, -1.000000, 'Earth Projection 1, 104', 'Symbol (35,0,12)', 'NO_COLUMN', 'NO_COLUMN', 1, "
      "'CV_STYLE', '')",
  };
  // The type map of the fake family gives these names; with the interval of
  // 1000 the first and the last row are committed.
  std::vector<std::string> trace = db->trace;
  trace.erase(std::remove_if(trace.begin(), trace.end(),
                             [](const std::string& l) { return l == "commit" || l.rfind("lock", 0) == 0 ||
                                                               l.rfind("nextkey", 0) == 0; }),
              trace.end());
  EXPECT_EQ(trace, expected);
  EXPECT_EQ(std::count(db->trace.begin(), db->trace.end(), "commit"), 2);
  EXPECT_EQ(conn->QueryText, "select * from dbo.T");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(UploaderRun, TargetModeFailures) {
  struct Case {
    const char* what;
    bool append, create, replace;
    std::set<std::string> existing;
    std::map<std::string, std::vector<TargetColumn>> cols;
    int message;  // string id in the error box, 0 for success
  };
  const std::vector<TargetColumn> wide = {{"NAME", "varchar", 20, 0}, {"POP", "int", 10, 0}};
  const std::vector<TargetColumn> narrow = {{"NAME", "varchar", 12, 0}, {"POP", "int", 10, 0}};
  const Case cases[] = {
      {"create over an existing target", false, true, false, {"T"}, {}, kStrTargetExists},
      {"append to a missing table", true, false, false, {}, {}, kStrNoAppendTarget},
      {"append to a narrower text column", true, false, false, {"T"}, {{"T", narrow}}, kStrColumnsDiffer},
      {"append to a matching table", true, false, false, {"T"}, {{"T", wide}}, 0},
      {"replace over an existing target", false, false, true, {"T"}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.clear();
    conn.reset();
    options.Append = c.append, options.Create = c.create, options.Replace = c.replace;
    tables = c.existing;
    columns = c.cols;
    const bool ok = Run(MsSql(), NamePopTable(2));
    EXPECT_EQ(ok, c.message == 0);
    if (c.message != 0) {
      EXPECT_TRUE(BoxWith(kStrErrorCaption, c.message));
      EXPECT_FALSE(Traced("drop ")) << "nothing is dropped";
      EXPECT_FALSE(Traced("create table"));
      EXPECT_TRUE(RowLines().empty());
    }
  }
  EXPECT_TRUE(Traced("drop dbo.T"));
}

// The column comparison of an append, source NAME char(20), POP integer and
// FLAG logical against the listed target columns (the test family's names:
// varchar, int, smallint). The style column is passed over wherever it
// stands and every source column is still compared; names are compared as
// CREATE TABLE writes them (trimmed); another type name passes for the
// integer column only.
TEST_F(UploaderRun, AppendComparesEverySourceColumn) {
  FixtureTable t = NamePopTable(1);
  t.columns.push_back(FixtureColumn("FLAG", 6, 1, 0));
  t.rows[0].text += "\tT";
  const TargetColumn name{"NAME", "varchar", 20, 0}, pop{"POP", "int", 10, 0}, flag{"FLAG", "smallint", 5, 0},
      style{"CV_STYLE", "varchar", 254, 0};
  struct Case {
    const char* what;
    std::vector<TargetColumn> cols;
    bool ok;
  } cases[] = {
      {"same columns", {name, pop, flag, style}, true},
      {"style column between them", {name, style, pop, flag}, true},
      {"column after the style column too narrow", {name, style, {"POP", "int", 2, 0}, flag}, false},
      {"column after the style column missing", {name, style, flag}, false},
      {"integer into another type name", {name, {"POP", "bigint", 19, 0}, flag}, true},
      {"logical into another type name", {name, pop, {"FLAG", "bit", 1, 0}}, false},
      {"target name with blanks", {{" NAME ", "varchar", 20, 0}, pop, flag}, true},
      {"other name", {{"NAMES", "varchar", 20, 0}, pop, flag}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.clear();
    conn.reset();
    options.Append = true;
    tables = {"T"};
    columns = {{"T", c.cols}};
    EXPECT_EQ(Run(MsSql(), t), c.ok);
    EXPECT_EQ(BoxWith(kStrErrorCaption, kStrColumnsDiffer), !c.ok);
  }
}

TEST_F(UploaderRun, AppendingAQdMemberTableComparesAndBindsWithoutIt) {
  FixtureTable t = NamePopTable(2);
  t.columns.insert(t.columns.begin(), FixtureColumn("QD_MEMBER", 3, 10, 0));
  for (FixtureRow& r : t.rows) r.text = "99\t" + r.text;
  options.Append = true;
  tables = {"T"};
  columns["T"] = {{"NAME", "varchar", 20, 0}, {"POP", "int", 10, 0}, {"CV_STYLE", "varchar", 254, 0}};
  nextKey = [] { return 7; };
  ASSERT_TRUE(Run(MsSql(), t));
  EXPECT_EQ(RowLines(), (std::vector<std::string>{"row 'name1' '1' NULL bytes:7", "row 'name2' '2' NULL bytes:7"}));
  EXPECT_EQ(uploader->KeyBase(), 7);
}

TEST_F(UploaderRun, NothingRunsWithoutACatalogue) {
  conn = std::make_unique<FakeConnection>(MsSql());
  conn->catalogExists = false;
  EXPECT_FALSE(Run(MsSql(), NamePopTable(1)));
  EXPECT_TRUE(BoxWith(kStrErrorCaption, kStrNoCatalog));
  EXPECT_EQ(db->trace, std::vector<std::string>{"resetstatement"});
}

TEST_F(UploaderRun, NoStatementHandleFailsTheRun) {
  failing = {"^resetstatement$"};
  EXPECT_FALSE(Run(MsSql(), NamePopTable(1)));
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(kStrErrorCaption, boxes[0].caption);
  EXPECT_EQ(LoadResString(kStrNoStatement) + " - t\n\nrefused: resetstatement", boxes[0].text);
  EXPECT_EQ(db->trace, std::vector<std::string>{"resetstatement"});
}

TEST_F(UploaderRun, UnusableNamesStopBeforeAnyStatement) {
  for (const auto& [owner, target] : {std::pair<std::string, std::string>{"A\"B", "t"}, {"dbo", "x;drop"}}) {
    boxes.clear();
    options.Owner = owner;
    EXPECT_FALSE(Run(Db2(), NamePopTable(1), target));
    EXPECT_TRUE(BoxWith(kStrErrorCaption, kStrBadTargetName));
    for (const std::string& line : db->trace) EXPECT_EQ(line, "resetstatement");
  }
}

TEST_F(UploaderRun, LateFailuresLeaveTheRunTrue) {
  failing = {"^spatialindex", "^insert into CORVANE", "^update CORVANE", "^index "};
  options.IndexColumns = true;
  FixtureTable t = NamePopTable(2);
  t.columns[1].indexed = 1;
  EXPECT_TRUE(Run(MsSql(), t));
  EXPECT_TRUE(BoxWith(kStrWarningCaption, kStrBadSpatialIndex));
  EXPECT_TRUE(BoxWith(kStrWarningCaption, kStrCatalogFailed));
  EXPECT_TRUE(BoxWith(kStrWarningCaption, kStrIndexFailed));
  EXPECT_TRUE(Traced("index dbo.T(POP) C2"));
}

TEST_F(UploaderRun, ReplacingATableWithoutObjectsDropsItsCatalogueRow) {
  options.Create = false;
  options.Replace = true;
  tables = {"T"};
  FixtureTable t = NamePopTable(2, 200);
  t.mappable = false;
  ASSERT_TRUE(Run(MsSql(), t));
  EXPECT_TRUE(Traced("deletecatalog dbo.T"));
  EXPECT_FALSE(Traced("CORVANE_MAPCATALOG ("));
}

TEST_F(UploaderRun, RowRangeKeysAndCommits) {
  options.StorageKind = 3;
  options.FirstRow = 5;
  options.LastRow = 9;
  options.CommitInterval = 2;
  options.IdentityKey = false;
  ASSERT_TRUE(Run(MsSql(), NamePopTable(12)));
  const std::vector<std::string> lines = RowLines();
  ASSERT_EQ(lines.size(), 5u);
  for (int k = 0; k < 5; ++k) EXPECT_NE(lines[k].find("'name" + std::to_string(k + 5) + "' '" +
                                                      std::to_string(k + 5) + "' NULL " + std::to_string(k + 1)),
                                        std::string::npos)
      << lines[k];
  // Commits after the first, third and fifth rows of the job.
  std::vector<std::string> order;
  for (const std::string& l : db->trace)
    if (l.rfind("row", 0) == 0 || l == "commit") order.push_back(l.substr(0, 3));
  EXPECT_EQ(order, (std::vector<std::string>{"row", "com", "row", "row", "com", "row", "row", "com"}));

  options.CommitInterval = 0;
  tables.clear();
  ASSERT_TRUE(Run(MsSql(), NamePopTable(3)));
  EXPECT_EQ(std::count(db->trace.begin(), db->trace.end(), "commit"), 0);
}

TEST_F(UploaderRun, KeysFollowRowsOthersAddBetweenCommits) {
  // Oracle, X/Y, appending over keys 1 to 3; another session adds key 10
  // while row 2 is read.
  for (bool skipRefresh : {false, true}) {
    SCOPED_TRACE(skipRefresh);
    conn.reset();
    options.StorageKind = 3;
    options.Append = true;
    options.CommitInterval = 2;
    options.SkipKeyRefresh = skipRefresh;
    options.Owner = "U";
    tables = {"T"};
    columns["T"] = {{"NAME", "VARCHAR2", 20, 0}, {"POP", "NUMBER", 10, 0}};
    int maxKey = 3;
    nextKey = [&] { return maxKey; };
    onRow = [&](int n) {
      if (n == 2) maxKey = 10;
    };
    ASSERT_TRUE(Run(Oracle(), NamePopTable(5)));
    std::vector<int> keys;
    for (const std::string& l : RowLines()) {
      // row 'name' 'pop' NULL key x y
      std::istringstream in(l);
      std::string w[4];
      int key;
      in >> w[0] >> w[1] >> w[2] >> w[3] >> key;
      keys.push_back(key);
    }
    EXPECT_EQ(keys, skipRefresh ? (std::vector<int>{4, 5, 6, 7, 8}) : (std::vector<int>{4, 5, 6, 11, 12}));
  }
}

TEST_F(UploaderRun, UnreadableRows) {
  FixtureTable t = NamePopTable(4);
  t.rows[1].error = 1925;  // the storage cannot read it: skipped silently
  ASSERT_TRUE(Run(MsSql(), t));
  EXPECT_EQ(rows, 3);
  EXPECT_TRUE(boxes.empty());

  t.rows[2].error = 77;  // any other error stops the table
  tables.clear();
  EXPECT_FALSE(Run(MsSql(), t));
  EXPECT_EQ(rows, 1);
  EXPECT_TRUE(BoxWith(kStrErrorCaption, kStrReadFailed));
  EXPECT_EQ(db->trace.back().rfind("insert into CORVANE", 0), 0u) << "the closing steps still run";
  // After the first row, and once more for the rows before the failure.
  EXPECT_EQ(std::count(db->trace.begin(), db->trace.end(), "commit"), 2);
}

TEST_F(UploaderRun, RowsThatDoNotFitFailWithTheirText) {
  FixtureTable t = NamePopTable(2);
  t.rows[1].text = "name\twith a tab\t2";
  EXPECT_FALSE(Run(MsSql(), t));
  EXPECT_EQ(rows, 1);
  ASSERT_TRUE(BoxWith(kStrErrorCaption, kStrRowFailed));
  EXPECT_NE(boxes.back().text.find("more fields"), std::string::npos) << boxes.back().text;
  EXPECT_NE(boxes.back().text.find("name\twith a tab\t2"), std::string::npos);
}

TEST_F(UploaderRun, LinesAsXYGetTheDefaultSymbol) {
  options.StorageKind = 3;
  ASSERT_TRUE(Run(MsSql(), NamePopTable(2, 202)));
  EXPECT_EQ(*reader->GetDefaultStyle(), kDefaultPointSymbol);
  for (const std::string& l : RowLines()) EXPECT_NE(l.find("' NULL "), std::string::npos) << l;
  EXPECT_TRUE(Traced("'Symbol (60,255,10,\"Corvane Cartographic\",0,0)'"));
  EXPECT_TRUE(Traced("values ( 4.0, 'T'"));
}

TEST_F(UploaderRun, CatalogueRowsOfReplacedAndAppendedTables) {
  // A catalogued table replaced: the insert fails, the update rewrites it.
  options.Create = false;
  options.Replace = true;
  tables = {"T"};
  failing = {"^insert into CORVANE"};
  ASSERT_TRUE(Run(MsSql(), NamePopTable(2)));
  EXPECT_TRUE(Traced("update CORVANE.CORVANE_MAPCATALOG SET  SPATIALTYPE  = 14.0"));

  // Appended: the catalogue's extent grows by the new rows.
  failing.clear();
  options.Replace = false;
  options.Append = true;
  columns["T"] = {{"NAME", "varchar", 20, 0}, {"POP", "int", 10, 0}};
  conn = std::make_unique<FakeConnection>(MsSql());
  conn->catalog["T"] = {-5, -1.5, 0.5, 4};
  ASSERT_TRUE(Run(MsSql(), NamePopTable(2)));
  EXPECT_TRUE(Traced("SET DB_X_LL  = -5.000000, DB_Y_LL = -2.000000, DB_X_UR = 2.000000, DB_Y_UR = 4.000000 "
                     "where  TABLENAME  =  'T' and OWNERNAME =  'dbo'"));

  // Appended without a catalogue row: exactly the appended rows' extent.
  conn = std::make_unique<FakeConnection>(MsSql());
  ASSERT_TRUE(Run(MsSql(), NamePopTable(3)));
  EXPECT_TRUE(Traced("SET DB_X_LL  = 1.000000, DB_Y_LL = -3.000000, DB_X_UR = 3.000000, DB_Y_UR = -1.000000 "));
}

TEST_F(UploaderRun, MergeOfThreeTablesFinishesOnlyWithTheLast) {
  options.Merge = true;
  options.GrantPublic = true;
  options.IndexColumns = true;
  columns["T"] = {{"NAME", "varchar", 20, 0}, {"POP", "int", 10, 0}, {"CV_STYLE", "varchar", 254, 0}};
  std::vector<std::vector<std::string>> traces;
  for (int job = 0; job < 3; ++job) {
    FixtureTable t = NamePopTable(job + 1);
    t.columns[0].indexed = 1;
    options.FinishTable = job == 2;
    ASSERT_TRUE(Run(MsSql(), t, "t", job)) << job;
    traces.push_back(db->trace);
  }
  auto has = [&](int job, const std::string& needle) {
    return std::any_of(traces[job].begin(), traces[job].end(),
                       [&](const std::string& l) { return l.find(needle) != std::string::npos; });
  };
  EXPECT_TRUE(has(0, "create table"));
  for (int job = 1; job < 3; ++job) {
    EXPECT_FALSE(has(job, "create table")) << job;
    EXPECT_TRUE(has(job, "columns dbo.T")) << job;
  }
  for (int job = 0; job < 3; ++job) {
    EXPECT_EQ(has(job, "grant all on dbo.T to public"), job == 2) << job;
    EXPECT_EQ(has(job, "spatialindex"), job == 2) << job;
    EXPECT_EQ(has(job, "index dbo.T(NAME) C1"), job == 2) << job;
    EXPECT_EQ(has(job, "CORVANE_MAPCATALOG (SPATIALTYPE"), job == 2) << job;
  }
  // The catalogue row's extent covers the rows of all three tables.
  EXPECT_TRUE(has(2, "1.000000, -3.000000, 3.000000, -1.000000"));
}

// Mixed objects on the other SQL Server have no CREATE TABLE statement: the
// table fails with string 113 and the reason; nothing is sent or logged
// for the statement.
TEST_F(UploaderRun, TableWithoutACreateStatementFailsWithNothingSent) {
  std::ostringstream log;
  conn = std::make_unique<FakeConnection>(Sqs());
  conn->LogStream = &log;
  options.Create = true;
  FixtureTable t = NamePopTable(2);
  t.rows[1].code = 205;
  EXPECT_FALSE(Run(Sqs(), t));
  EXPECT_TRUE(BoxWith(kStrErrorCaption, kStrDropFailed));
  EXPECT_FALSE(Traced("create table"));
  EXPECT_FALSE(Traced("insert into"));
  // The failure alone, with no (empty) statement line before it.
  EXPECT_EQ(log.str(), LoadResString(kStrDropFailed) + " - t\n\nno CREATE TABLE statement can be made for this table on this server\n");
  EXPECT_NE(boxes.back().text.find("no CREATE TABLE statement"), std::string::npos) << boxes.back().text;
}

TEST_F(UploaderRun, ProjectionStatementAndItsLogLine) {
  std::ostringstream log;
  conn = std::make_unique<FakeConnection>(Db2());
  conn->LogStream = &log;
  options.Owner = "U";
  ASSERT_TRUE(Run(Db2(), NamePopTable(1)));
  EXPECT_TRUE(Traced("values(kt_SetProjection('Earth Projection 1, 104')) [fetch counts]"));
  EXPECT_NE(log.str().find(LoadResString(kStrProjectionSet) + " Earth Projection 1, 104\n"), std::string::npos);

  failing = {"kt_SetProjection"};
  conn.reset();
  tables.clear();
  EXPECT_FALSE(Run(Db2(), NamePopTable(1)));
  EXPECT_TRUE(BoxWith(kStrErrorCaption, kStrProjectionFailed));
  EXPECT_FALSE(Traced("prepare"));
}

TEST(UploaderProgress, AtMost65000StepsPerTable) {
  for (const auto& [rowCount, steps] : {std::pair{130000, 65000}, std::pair{65000, 65000}, std::pair{7, 7}}) {
    FakeConnection conn(MsSql());
    auto owned = std::make_unique<FakeUploadDb>(conn);
    owned->nextKey = [] { return 0; };
    FakeUploadDb* db = owned.get();
    GeneratedReader reader(rowCount);
    COdbcUploader uploader(std::move(owned), &reader);
    int marker = 0;
    uploader.SetProgressControl(reinterpret_cast<CProgressCtrl*>(&marker));
    int stepped = 0, range = 0;
    SetProgressHook({[&](CProgressCtrl*, int, int hi) { range = hi; }, {}, {}, [&](CProgressCtrl*) { ++stepped; }});
    CUploadOptions options;
    options.Owner = "dbo";
    options.CommitInterval = 0;
    int rows = 0;
    ASSERT_TRUE(uploader.Run("big", &options, &rows));
    SetProgressHook({});
    EXPECT_EQ(rows, rowCount);
    EXPECT_EQ(db->rowsExecuted, rowCount);
    EXPECT_EQ(stepped, steps) << rowCount;
    EXPECT_EQ(range, std::min(rowCount, 65000));
  }
}

}  // namespace
}  // namespace upload
