// The uploader's whole sequence of ODBC calls against the test driver, per
// server profile and mode, compared with golden JSON-line traces: every
// statement, bind (C and SQL types, values, NULLs), execution and commit.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/upload/trace_harness.h"

namespace upload {
namespace {

enum class Scenario { Create, Replace, Append, Merge };

struct TraceCase {
  const char* profile;
  Scenario scenario;
};

std::string ScenarioName(Scenario s) {
  switch (s) {
    case Scenario::Create: return "create";
    case Scenario::Replace: return "replace";
    case Scenario::Append: return "append";
    case Scenario::Merge: return "merge";
  }
  return "";
}

ServerProfile ProfileNamed(const std::string& name) {
  for (const ServerProfile& p : TraceProfiles())
    if (p.name == name) return p;
  ADD_FAILURE() << "no profile " << name;
  return {};
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

class UploadTrace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(UploadTrace, MatchesTheGoldenTrace) {
  const TraceCase& c = GetParam();
  TraceHarness h(ProfileNamed(c.profile));
  ASSERT_TRUE(h.MakeCatalog());
  ASSERT_TRUE(h.Connect()) << h.log.str();

  std::vector<bool> results;
  switch (c.scenario) {
    case Scenario::Create:
      h.ResetOptions("create");
      results = h.Upload({TracePoints()}, "Roads");
      break;
    case Scenario::Replace:
    case Scenario::Append: {
      // An earlier upload made the target; only the second run is traced.
      h.ResetOptions("create");
      ASSERT_EQ(std::vector<bool>{true}, h.Upload({TracePoints()}, "Roads")) << h.log.str();
      h.ClearTrace();
      h.ResetOptions(c.scenario == Scenario::Append ? "append" : "replace");
      results = h.Upload({TracePoints("New")}, "Roads");
      break;
    }
    case Scenario::Merge:
      h.ResetOptions("create");
      h.options.Merge = true;
      results = h.Upload({TracePoints("A"), TracePoints("B"), TracePoints("C")}, "Roads");
      break;
  }
  for (size_t i = 0; i < results.size(); ++i) EXPECT_TRUE(results[i]) << "job " << i << "\n" << h.log.str();

  const std::string name = std::string(c.profile) + "_" + ScenarioName(c.scenario) + ".jsonl";
  const std::vector<std::string> actual = h.TraceLines();
  const std::vector<std::string> golden = ReadLines(std::string(QL_UPLOAD_GOLDEN_DIR) + "/" + name);
  if (actual != golden) {
    // The actual trace beside the build, for review; never copied back by
    // the test.
    std::ofstream out(name + ".actual");
    for (const std::string& l : actual) out << l << "\n";
  }
  ASSERT_EQ(golden.size(), actual.size()) << name;
  for (size_t i = 0; i < golden.size(); ++i) EXPECT_EQ(golden[i], actual[i]) << name << " line " << i + 1;
}

std::vector<TraceCase> AllCases() {
  std::vector<TraceCase> cases;
  for (const char* p : {"mssql", "informix", "db2", "sqs", "oracle", "access", "mssql_code", "mssql_xy"})
    for (Scenario s : {Scenario::Create, Scenario::Replace, Scenario::Append, Scenario::Merge}) cases.push_back({p, s});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Profiles, UploadTrace, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<TraceCase>& info) {
                           return std::string(info.param.profile) + "_" + ScenarioName(info.param.scenario);
                         });

bool Contains(const std::vector<std::string>& list, const std::string& needle) {
  for (const std::string& s : list)
    if (s.find(needle) != std::string::npos) return true;
  return false;
}

// Target checks and catalogue outcomes with the real dialect behind them.
TEST(UploadAgainstDriver, CreateOverAnExistingTargetDropsNothing) {
  TraceHarness h(ProfileNamed("mssql"));
  ASSERT_TRUE(h.MakeCatalog());
  ASSERT_TRUE(h.Connect(false));
  h.ResetOptions("create");
  ASSERT_EQ(std::vector<bool>{true}, h.Upload({TracePoints()}, "T"));
  h.ClearTrace();
  h.boxes.clear();
  EXPECT_EQ(std::vector<bool>{false}, h.Upload({TracePoints()}, "T"));
  ASSERT_EQ(1u, h.boxes.size());
  EXPECT_EQ("186: " + Res(kStrTargetExists) + " - T\n\n", h.boxes[0]);
  EXPECT_FALSE(Contains(h.TracedStatements(), "drop"));
  EXPECT_EQ(2u, h.Query("select NAME from T").size());
}

TEST(UploadAgainstDriver, RefusedNamesRunNoStatementNamingThem) {
  for (const auto& [owner, target] : {std::pair<std::string, std::string>{"A\"B", "T"}, {"U", "T\"X"}}) {
    TraceHarness h(ProfileNamed("db2"));
    ASSERT_TRUE(h.MakeCatalog());
    ASSERT_TRUE(h.Connect(false));
    h.ResetOptions("replace");
    h.options.Owner = owner;
    EXPECT_EQ(std::vector<bool>{false}, h.Upload({TracePoints()}, target));
    ASSERT_EQ(1u, h.boxes.size());
    EXPECT_EQ(0u, h.boxes[0].find("186: " + Res(kStrBadTargetName) + " - " + target)) << h.boxes[0];
    EXPECT_FALSE(Contains(h.TracedStatements(), "\"B")) << owner;
    EXPECT_FALSE(Contains(h.TracedStatements(), "T\"X")) << target;
  }
}

// A source column whose name cannot stand bare in CREATE TABLE and INSERT
// (a native table never has one: the kernel writes "A;B" as A_B; a reader's
// columns may): string 320 naming it, and no statement names it.
TEST(UploadAgainstDriver, SourceColumnThatCannotStandInAStatementRunsNoStatement) {
  TraceHarness h(ProfileNamed("mssql"));
  ASSERT_TRUE(h.MakeCatalog());
  ASSERT_TRUE(h.Connect(false));
  h.ResetOptions("create");
  FixtureTable t = TracePoints();
  t.columns[1] = FixtureColumn("A;B", 3, 10, 0);
  EXPECT_EQ(std::vector<bool>{false}, h.Upload({t}, "T"));
  ASSERT_EQ(1u, h.boxes.size());
  EXPECT_EQ(0u, h.boxes[0].find("186: " + Res(kStrBadTargetName) + " - T")) << h.boxes[0];
  EXPECT_TRUE(Contains({h.boxes[0]}, "[A;B]")) << h.boxes[0];
  EXPECT_FALSE(Contains(h.TracedStatements(), "A;B"));
  EXPECT_FALSE(Contains(h.TracedStatements(), "create table"));
}

TEST(UploadAgainstDriver, ReplacingATableWithoutObjectsDeletesItsCatalogueRow) {
  TraceHarness h(ProfileNamed("mssql"));
  ASSERT_TRUE(h.MakeCatalog());
  ASSERT_TRUE(h.Connect());
  h.ResetOptions("create");
  ASSERT_EQ(std::vector<bool>{true}, h.Upload({TracePoints()}, "T"));
  FixtureTable plain = TracePoints();
  plain.mappable = false;
  for (FixtureRow& r : plain.rows) {
    FixtureRow bare;
    bare.text = r.text;
    r = bare;
  }
  h.ClearTrace();
  h.ResetOptions("replace");
  EXPECT_EQ(std::vector<bool>{true}, h.Upload({plain}, "T"));
  EXPECT_TRUE(Contains(h.TracedStatements(),
                       "delete from CORVANE.CORVANE_MAPCATALOG where TABLENAME = 'T' and OWNERNAME = 'dbo'"));
  EXPECT_TRUE(h.Query("select TABLENAME from CORVANE.CORVANE_MAPCATALOG").empty());
}

TEST(UploadAgainstDriver, AppendingToAnUncataloguedTableWarnsAndSucceeds) {
  TraceHarness h(ProfileNamed("mssql"));
  ASSERT_TRUE(h.MakeCatalog());
  ASSERT_TRUE(h.Connect(false));
  h.ResetOptions("create");
  h.options.RegisterInCatalog = false;
  ASSERT_EQ(std::vector<bool>{true}, h.Upload({TracePoints()}, "T"));
  h.boxes.clear();
  h.ClearTrace();
  h.ResetOptions("append");
  EXPECT_EQ(std::vector<bool>{true}, h.Upload({TracePoints("New")}, "T"));
  // The update names exactly the appended rows' extent and matches no row.
  EXPECT_TRUE(Contains(h.TracedStatements(),
                       "update CORVANE.CORVANE_MAPCATALOG SET DB_X_LL  = 151.500000, DB_Y_LL = -35.250000, DB_X_UR = "
                       "152.500000, DB_Y_UR = -34.250000 where  TABLENAME  =  'T' and OWNERNAME =  'dbo'"));
  bool warned = false;
  for (const std::string& b : h.boxes) warned = warned || b.find("195: " + Res(kStrCatalogFailed) + " - T") == 0;
  EXPECT_TRUE(warned);
  EXPECT_EQ(4u, h.Query("select NAME from T").size());
}

// One table per object shape: the catalogue's spatial type carries the
// shape; a table without objects gets no catalogue row.
TEST(UploadAgainstDriver, SpatialTypePerShape) {
  struct Case {
    const char* what;
    std::vector<int> codes;  // record code of each row
    bool mappable;
    const char* spatialType;  // "" when no catalogue row
  } cases[] = {
      {"points", {201, 201}, true, "14.0"},
      {"lines", {202, 204}, true, "14.1"},
      {"regions", {205, 205}, true, "14.2"},
      {"mixed", {201, 205}, true, "14.3"},
      {"no objects", {200, 200}, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TraceHarness h(ProfileNamed("mssql"));
    ASSERT_TRUE(h.MakeCatalog());
    ASSERT_TRUE(h.Connect());
    FixtureTable t = TracePoints();
    t.mappable = c.mappable;
    for (size_t i = 0; i < t.rows.size(); ++i) {
      t.rows[i].code = c.codes[i];
      if (c.codes[i] == 200) {
        FixtureRow bare;
        bare.text = t.rows[i].text;
        t.rows[i] = bare;
      }
    }
    h.ResetOptions("create");
    ASSERT_EQ(std::vector<bool>{true}, h.Upload({t}, "T")) << h.log.str();
    const std::vector<std::string> rows = h.Query("select SPATIALTYPE from CORVANE.CORVANE_MAPCATALOG");
    EXPECT_EQ(*c.spatialType ? std::vector<std::string>{c.spatialType} : std::vector<std::string>{}, rows);
    EXPECT_EQ(2u, h.Query("select NAME from T").size());
  }
}

}  // namespace
}  // namespace upload
