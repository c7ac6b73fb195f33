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

}  // namespace
}  // namespace upload
