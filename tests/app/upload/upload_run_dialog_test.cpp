// The upload run of the main dialog, driven through a harness that holds
// the dialog's members, answers its boxes and records its window calls; the
// uploaders run over recording databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/OdbcUploader.h"
#include "app/ResourceLibrary.h"
#include "app/UploadRun.h"
#include "app/UploadUi.h"
#include "app/upload/fake_upload_db.h"
#include "app/upload/families.h"
#include "app/upload/upload_fixture.h"
#include "platform/clock.h"

namespace upload {
namespace {

class HarnessView : public CUploadRunView {
 public:
  void SaveTargetName() override { calls.push_back("save target"); }
  void ApplyMode() override { calls.push_back("apply mode"); }
  bool MergeChecked() override { return merge; }
  std::string FolderText() override { return folder; }
  void FocusFolder() override { calls.push_back("focus folder"); }
  std::string TargetText() override { return target; }
  void EnableUpload(bool on) override { calls.push_back(on ? "enable" : "disable"); }
  void BeginWait() override {}
  void EndWait() override {}
  CProgressCtrl* ProgressBar() override { return nullptr; }
  void SetStatus(const std::string& text) override { status = text; }
  void ColumnDialog(CTableReader*) override { calls.push_back("columns"); }
  void UpdateCatalogButton() override {}

  bool merge = false;
  std::string folder;
  std::string target = "MERGED";
  std::string status;
  std::vector<std::string> calls;
};

struct Box {
  int caption;
  std::string text;
  bool yesNo;
};

class UploadRunDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadTestResources();
    SetBoxHook([this](int caption, const std::string& text, BoxIcon, bool yesNo) {
      boxes.push_back({caption, text, yesNo});
      if (!yesNo || answers.empty()) return true;
      const bool a = answers.front();
      answers.pop_front();
      return a;
    });
    platform::SetClock([] {
      platform::LocalTime t{2007, 3, 5, 9, 4, 5, 1173085445};
      return t;
    });
    conn = std::make_unique<FakeConnection>(MsSql());
    conn->DbmsVersion = 9.0;
    conn->UserName = "u";
    conn->DefaultSchema = "dbo";
    conn->QueryText.clear();
    SetUploadDbFactory([this](CDbConnection*) {
      auto db = std::make_unique<FakeUploadDb>(*conn);
      db->nextKey = [] { return 0; };
      db->columns = columns;
      traces.emplace_back();
      db->onRow = nullptr;
      lastDb = db.get();
      return std::unique_ptr<CUploadDb>(std::move(db));
    });
    dir = std::filesystem::temp_directory_path() /
          ("ql_run_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    SetBoxHook({});
    SetUploadDbFactory({});
    platform::SetClock({});
    std::filesystem::remove_all(dir);
  }

  // A job row for a fixture table written into the scratch folder.
  void AddJob(const std::string& name, const FixtureTable* table) {
    const std::string path = (dir / (name + ".fxt")).string();
    if (table != nullptr) std::ofstream(path, std::ios::binary) << FixtureFormat(*table);
    jobs.push_back({path, name, name, 1, 0});
  }

  int Run() {
    UploadRunState s;
    s.connection = conn.get();
    s.options = &options;
    s.jobs = &jobs;
    s.log = &log;
    s.quiet = quiet;
    s.header.ProductName = "Quendalour";
    s.header.ProductVersion = "1.0";
    RunUpload(view, s);
    return s.result;
  }
  bool Logged(const std::string& needle) const { return log.str().find(needle) != std::string::npos; }
  bool BoxWith(int caption, const std::string& needle) const {
    return std::any_of(boxes.begin(), boxes.end(),
                       [&](const Box& b) { return b.caption == caption && b.text.find(needle) != std::string::npos; });
  }

  std::unique_ptr<FakeConnection> conn;
  CUploadOptions options;
  std::vector<UploadJob> jobs;
  std::ostringstream log;
  bool quiet = true;
  HarnessView view;
  std::vector<Box> boxes;
  std::deque<bool> answers;
  std::vector<std::vector<std::string>> traces;
  FakeUploadDb* lastDb = nullptr;
  std::map<std::string, std::vector<TargetColumn>> columns;
  std::filesystem::path dir;
};

TEST_F(UploadRunDialog, QuietRunOfThreeTablesWithTheSecondMissing) {
  const FixtureTable t = NamePopTable(2);
  AddJob("ONE", &t);
  AddJob("TWO", nullptr);
  AddJob("THREE", &t);
  EXPECT_EQ(Run(), -1);
  EXPECT_TRUE(boxes.empty());
  // The reader's reason follows the path.
  EXPECT_TRUE(Logged("\n\n" + LoadResString(kStrOpenFailed) + " - " + jobs[1].SourcePath +
                     ": No such file or directory\n"));
  EXPECT_TRUE(Logged("\n\n2" + LoadResString(kStrTablesUploaded) + " 00:00:00\n" + LoadResString(152) +
                     "3/5/2007" + LoadResString(153) + "9:4:5\n"));
  EXPECT_TRUE(Logged("\n" + LoadResString(kStrUploaded) + " THREE\n2" + LoadResString(kStrRowsUploaded) + "\n" +
                     LoadResString(kStrElapsed) + "00:00:00\n"));
  EXPECT_EQ(view.calls.front(), "save target");
  EXPECT_EQ(view.calls.back(), "enable");
}

TEST_F(UploadRunDialog, AnsweringNoStopsTheRun) {
  quiet = false;
  const FixtureTable t = NamePopTable(1);
  AddJob("ONE", &t);
  AddJob("TWO", nullptr);
  AddJob("THREE", &t);
  answers = {false};
  EXPECT_EQ(Run(), -1);
  EXPECT_TRUE(BoxWith(186, LoadResString(kStrContinue)));
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().caption, kStrRunCaption);
  EXPECT_EQ(boxes.back().text, "1" + LoadResString(kStrTablesUploaded) + " 00:00:00");
  EXPECT_FALSE(Logged(LoadResString(kStrUploaded) + " THREE"));
}

TEST_F(UploadRunDialog, EveryTableUploadedGivesZero) {
  const FixtureTable t = NamePopTable(1);
  AddJob("ONE", &t);
  AddJob("TWO", &t);
  EXPECT_EQ(Run(), 0);
}

TEST_F(UploadRunDialog, LinesStoredAsXYAskFirst) {
  quiet = false;
  options.StorageKind = 3;
  const FixtureTable lines = NamePopTable(1, 202);
  AddJob("ROADS", &lines);
  answers = {false};
  EXPECT_EQ(Run(), -1);
  EXPECT_TRUE(BoxWith(195, "ROADS" + LoadResString(kStrNotPoints)));
  EXPECT_TRUE(Logged("\n\nROADS" + LoadResString(kStrNotPoints) + "\n"));
  EXPECT_EQ(lastDb, nullptr) << "no uploader was made";
}

TEST_F(UploadRunDialog, OwnerPerServer) {
  struct Case {
    SqlFamily f;
    double version;
    std::string given, expected;
  } cases[] = {{Informix(), 9.0, "other", "u"}, {Db2(), 9.0, "other", "u"}, {MsSql(), 9.0, "other", "other"},
               {MsSql(), 9.0, "", "dbo"}, {MsSql(), 8.0, "other", "u"}};
  const FixtureTable t = NamePopTable(1);
  AddJob("ONE", &t);
  for (const Case& c : cases) {
    conn = std::make_unique<FakeConnection>(c.f);
    conn->DbmsVersion = c.version;
    conn->UserName = "u";
    conn->DefaultSchema = "dbo";
    options.Owner = c.given;
    Run();
    EXPECT_EQ(options.Owner, c.expected) << c.given;
  }
}

TEST_F(UploadRunDialog, TemporalColumnsSkipTheTable) {
  quiet = false;
  options.AllowTemporal = false;
  FixtureTable t = NamePopTable(1);
  t.columns.push_back(FixtureColumn("AT", 37, 9, 0));
  t.rows[0].text += "\t093000000";
  AddJob("TIMES", &t);
  EXPECT_EQ(Run(), -1);
  const std::string text = LoadResString(kStrTemporal);
  const std::string filled = text.substr(0, text.find("%s")) + "TIMES" + text.substr(text.find("%s") + 2);
  EXPECT_TRUE(BoxWith(kStrRunCaption, filled));
  EXPECT_TRUE(Logged("\n\n" + filled + "\n"));
  EXPECT_EQ(lastDb, nullptr);

  options.AllowTemporal = true;
  boxes.clear();
  EXPECT_EQ(Run(), 0);
}

TEST_F(UploadRunDialog, RegistrationFolder) {
  const FixtureTable t = NamePopTable(1);
  AddJob("ONE", &t);

  // Interactive: a folder that does not exist stops before the log header.
  quiet = false;
  view.folder = (dir / "none").string();
  Run();
  EXPECT_TRUE(log.str().empty());
  EXPECT_TRUE(BoxWith(kStrRunCaption, view.folder + LoadResString(kStrNotAFolder)));
  EXPECT_EQ(view.calls.back(), "focus folder");

  // Quiet: logged, and the table is uploaded; its registration table cannot
  // be written there, which is said with the system's reason and fails the
  // run; nothing claims it was written.
  quiet = true;
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(log.str().rfind("\n" + view.folder + LoadResString(kStrNotAFolder) + "\n", 0), 0u);
  EXPECT_TRUE(Logged("\n" + LoadResString(kStrNotRegistered) + view.folder + "/ONE_srv.tab: No such file or directory\n"))
      << log.str();
  EXPECT_FALSE(Logged(LoadResString(kStrRegistered)));
  EXPECT_TRUE(conn->tables.count("ONE"));

  // A folder: the registration table is written and logged.
  log.str("");
  conn->tables.clear();
  view.folder = dir.string();
  conn->connect = "DRIVER=x;UID=u;";
  EXPECT_EQ(Run(), 0);
  const std::filesystem::path srv = dir / "ONE_srv.tab";
  ASSERT_TRUE(std::filesystem::exists(srv));
  std::ifstream in(srv, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_NE(bytes.str().find("\"\\DATALINK\\Query\" = \"select * from dbo.ONE\"\n"), std::string::npos);
  EXPECT_NE(bytes.str().find("\"\\DATALINK\\ConnectionString\" = \"DRIVER=x;UID=u;\"\n"), std::string::npos);
  EXPECT_TRUE(Logged("\n" + LoadResString(kStrRegistered) + srv.string() + "\n"));

  // An existing file answered No stays as it was; nothing is logged for it.
  quiet = false;
  log.str("");
  std::ofstream(srv, std::ios::binary) << "old";
  answers = {false};
  conn->tables.clear();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(BoxWith(kStrRunCaption, srv.string() + "\n" + LoadResString(kStrOverwrite)));
  std::ifstream again(srv, std::ios::binary);
  std::stringstream old;
  old << again.rdbuf();
  EXPECT_EQ(old.str(), "old");
  EXPECT_FALSE(Logged(LoadResString(kStrRegistered)));
}

TEST_F(UploadRunDialog, MergeTargetsTheEditAndFinishesWithTheLastRow) {
  view.merge = true;
  options.IndexColumns = true;
  quiet = false;
  const FixtureTable t = NamePopTable(1);
  AddJob("A", &t);
  AddJob("B", &t);
  columns["MERGED"] = {{"NAME", "varchar", 20, 0}, {"POP", "int", 10, 0}, {"CV_STYLE", "varchar", 254, 0}};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "columns"), 1);
  EXPECT_TRUE(options.Merge);
  EXPECT_TRUE(conn->tables.count("MERGED"));
}

}  // namespace
}  // namespace upload

namespace upload {
namespace {

// A registration table whose values Windows Latin 1 cannot hold: nothing is
// written, the refusal is logged, the usual line follows, the answer is true.
TEST(RegistrationTable, UnencodableValuesWriteNothingAndAreLogged) {
  LoadTestResources();
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("ql_unencodable_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  FakeConnection conn(MsSql());
  conn.QueryText = "select * from testdb.dbo.\xE6\xBC\xA2";
  std::ostringstream log;
  EXPECT_FALSE(WriteServerTable(dir.string(), "T", conn, &log, true));
  const std::string path = (dir / "T_srv.tab").string();
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ("\n" + Res(kStrNotEncodable) + path + "\n", log.str());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace upload
