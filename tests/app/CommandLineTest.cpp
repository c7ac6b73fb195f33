// Command-line splitting, flags and job rows, as tables of cases.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/CommandLine.h"
#include "app/LoaderDlg.h"
#include "app/OciModule.h"
#include "app/ResourceLibrary.h"
#include "app/TestSupport.h"

namespace {

struct Job {
  std::string path, name, target;
  int first, last;
};

void ExpectJobs(const CLoaderDlg& dlg, const std::vector<Job>& want) {
  ASSERT_EQ(dlg.m_Jobs.size(), want.size());
  EXPECT_EQ(dlg.m_Options.JobCount, static_cast<int>(want.size()));
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE("job " + std::to_string(i));
    EXPECT_EQ(dlg.m_Jobs[i].SourcePath, want[i].path);
    EXPECT_EQ(dlg.m_Jobs[i].TableName, want[i].name);
    EXPECT_EQ(dlg.m_Jobs[i].TargetName, want[i].target);
    EXPECT_EQ(dlg.m_Jobs[i].FirstRow, want[i].first);
    EXPECT_EQ(dlg.m_Jobs[i].LastRow, want[i].last);
  }
}

// Runs argv through joining and flags on a fresh dialog whose log is written
// to `logPath`; returns the log text.
std::string Apply(CLoaderDlg& dlg, const std::vector<std::string>& args, const std::string& logPath) {
  std::vector<const char*> argv{"quendalour"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  ApplyCommandLine(dlg, JoinCommandLine(static_cast<int>(argv.size()), argv.data()));
  std::string parsedLogPath = dlg.m_LogPath;
  dlg.m_LogPath = logPath;
  dlg.OpenLog();
  dlg.m_Log.Close();
  dlg.m_LogPath = parsedLogPath;
  return qltest::ReadFile(logPath);
}

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qltest::LoadBuildResources();
    UnloadOciModule();
  }
  qltest::TempDir dir;
};

TEST(CommandLineSplit, FlagsEndAtASlashAfterABlank) {
  struct Case {
    std::string line;
    std::vector<std::pair<char, std::string>> flags;
  } cases[] = {
      {"/Sdsn=x;uid=a /Q /T c:\\data\\roads.tab|RD",
       {{'S', "dsn=x;uid=a "}, {'Q', " "}, {'T', " c:\\data\\roads.tab|RD"}}},
      {"/Ouser/pw@svc", {{'O', "user/pw@svc"}}},
      {"/T/home/u/a.tab /Q", {{'T', "/home/u/a.tab "}, {'Q', ""}}},
      {"no flags here", {}},
      {"lead /A", {{'A', ""}}},
      {"/", {{'\0', ""}}},
      {"/1x /Q", {{'1', "x "}, {'Q', ""}}},
      {"/ /Q", {{' ', ""}, {'Q', ""}}},
      {"/Tc:\\a.tab\r\n", {{'T', "c:\\a.tab\r\n"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<CommandFlag> got = SplitCommandLine(c.line);
    ASSERT_EQ(got.size(), c.flags.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].letter, c.flags[i].first);
      EXPECT_EQ(got[i].text, c.flags[i].second);
    }
  }
}

TEST(CommandLineJoin, LonePathFlagsTakeUnixPathsOnly) {
  struct Case {
    std::vector<const char*> argv;
    std::string line;
  } cases[] = {
      {{"q", "/T", "/home/u/a.b.tab"}, "/T/home/u/a.b.tab"},
      {{"q", "/l", "/home/u/list.txt", "/Q"}, "/l/home/u/list.txt /Q"},
      {{"q", "/D", "/F/tmp/run.log"}, "/D /F/tmp/run.log"},
      {{"q", "/F", "/Sdsn=x"}, "/F /Sdsn=x"},
      {{"q", "/T", "c:\\x.tab"}, "/T c:\\x.tab"},
      {{"q", "/Q", "/home/u/a.tab"}, "/Q /home/u/a.tab"},
      {{"q", "/T", "/ab/"}, "/T/ab/"},
      {{"q", "/T", "/a/b"}, "/T /a/b"},
      {{"q"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(JoinCommandLine(static_cast<int>(c.argv.size()), c.argv.data()), c.line);
  }
}

TEST_F(CommandLineTest, FlagsFillTheDialogAndOptions) {
  struct Case {
    std::vector<std::string> args;
    std::vector<Job> jobs;
    std::function<void(const CLoaderDlg&)> check;
  } cases[] = {
      {{"/Sdsn=x;uid=a /Q /T c:\\data\\roads.tab|RD"},
       {{"c:\\data\\roads.tab", "roads", "RD", 1, 0}},
       [](const CLoaderDlg& d) {
         ASSERT_NE(d.m_Connection, nullptr);
         EXPECT_EQ(d.m_Connection->GetKind(), 1);
         EXPECT_TRUE(d.m_Connection->IsQuiet());
         EXPECT_EQ(d.m_Connection->GetConnectStringRef(), "dsn=x;uid=a");
         EXPECT_TRUE(d.m_Quiet);
         EXPECT_TRUE(d.m_Options.OdbcOnCommandLine);
       }},
      {{"/Sdsn=x;uid=a", "/Q", "/T", "c:\\data\\roads.tab|RD"}, {{"c:\\data\\roads.tab", "roads", "RD", 1, 0}}, nullptr},
      {{"/Tc:\\data.old\\roads.tab"}, {{"c:\\data.old\\roads.tab", "roads", "roads", 1, 0}}, nullptr},
      {{"/Tc:\\x\\a.b.tab"}, {{"c:\\x\\a.b.tab", "a", "a", 1, 0}}, nullptr},
      {{"/T", "/home/u/a.b.tab"}, {{"/home/u/a.b.tab", "a", "a", 1, 0}}, nullptr},
      {{"/Tc:\\x\\t.tab;T2;5,9"}, {{"c:\\x\\t.tab", "t", "T2", 5, 9}}, nullptr},
      {{"/Tc:\\x\\t.tab||3"}, {{"c:\\x\\t.tab", "t", "t", 3, 0}}, nullptr},
      {{"/Tc:\\x\\t.tab*T3*,7"}, {{"c:\\x\\t.tab", "t", "T3", 1, 7}}, nullptr},
      {{"/T c:\\u\\noext  | tgt |  4"}, {{"c:\\u\\noext", "noext", "tgt", 4, 0}}, nullptr},
      {{"/Tc:\\x\\a.tab\r\n"}, {{"c:\\x\\a.tab", "a", "a", 1, 0}}, nullptr},
      {{"/Tc:\\x\\t.tab|T2|5,9\r\n"}, {{"c:\\x\\t.tab", "t", "T2", 5, 9}}, nullptr},
      {{"/Q\r\n"}, {}, [](const CLoaderDlg& d) { EXPECT_TRUE(d.m_Quiet); }},
      {{"/T"}, {}, nullptr},
      {{"/T   /Q"}, {}, nullptr},
      {{"/D", "/F/tmp/run.log"},
       {},
       [](const CLoaderDlg& d) {
         EXPECT_EQ(d.m_Options.RegistrationFolder, "");
         EXPECT_EQ(d.m_LogPath, "/tmp/run.log");
       }},
      {{"/D", "/srv/reg"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.RegistrationFolder, "/srv/reg"); }},
      {{"/D  c:\\reg more"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.RegistrationFolder, "c:\\reg"); }},
      {{"/Pa /R"},
       {},
       [](const CLoaderDlg& d) {
         EXPECT_TRUE(d.m_Options.Replace);
         EXPECT_FALSE(d.m_Options.Append);
         EXPECT_FALSE(d.m_Options.Create);
       }},
      {{"/R /Pa"},
       {},
       [](const CLoaderDlg& d) {
         EXPECT_TRUE(d.m_Options.Replace);
         EXPECT_TRUE(d.m_Options.Append);
         EXPECT_FALSE(d.m_Options.Create);
       }},
      {{"/Pc"}, {}, [](const CLoaderDlg& d) { EXPECT_TRUE(d.m_Options.Create); }},
      {{"/Pappend"}, {}, [](const CLoaderDlg& d) { EXPECT_FALSE(d.m_Options.Append); }},
      {{"/Mxy"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.StorageKind, 3); }},
      {{"/M CVCODE "}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.StorageKind, 2); }},
      {{"/Mfoo"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.StorageKind, -1); }},
      {{"/Y"},
       {},
       [](const CLoaderDlg& d) {
         EXPECT_TRUE(d.m_Options.StyleEnabled);
         EXPECT_EQ(d.m_Options.StyleColumn, "CV_STYLE");
       }},
      {{"/Yno_style"},
       {},
       [](const CLoaderDlg& d) {
         EXPECT_FALSE(d.m_Options.StyleEnabled);
         EXPECT_EQ(d.m_Options.StyleColumn, "CV_STYLE");
       }},
      {{"/Y MYSTYLE "}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.StyleColumn, "MYSTYLE"); }},
      {{"/X 25rows"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.CommitInterval, 25); }},
      {{"/Xnone"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.CommitInterval, 0); }},
      {{"/X-3"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.CommitInterval, -3); }},
      {{"/X99999999999999"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.CommitInterval, 2147483647); }},
      {{"/X5 /x7"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_Options.CommitInterval, 5); }},
      {{"/B  sales  /Kno_identity"},
       {},
       [](const CLoaderDlg& d) {
         EXPECT_EQ(d.m_Options.Owner, "sales");
         EXPECT_FALSE(d.m_Options.IdentityKey);
       }},
      {{"/Kyes"}, {}, [](const CLoaderDlg& d) { EXPECT_TRUE(d.m_Options.IdentityKey); }},
      {{"/a /c /e /g /i /n /u /v"},
       {},
       [](const CLoaderDlg& d) {
         const CUploadOptions& o = d.m_Options;
         EXPECT_TRUE(o.Merge && o.IndexColumns && o.SkipKeyRefresh && o.GrantPublic && o.FlagV);
         EXPECT_FALSE(o.SpatialIndex || o.AllowTemporal || o.KeyConstraint);
       }},
      {{"/F", "/var/log/q.log"}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_LogPath, "/var/log/q.log"); }},
      {{"/F  c:\\q.log  "}, {}, [](const CLoaderDlg& d) { EXPECT_EQ(d.m_LogPath, "c:\\q.log"); }},
      {{"/Ouser/pw@svc /Sdsn=y"},
       {},
       [](const CLoaderDlg& d) {
         // Without the OCI module /O makes nothing; /S then makes the ODBC connection.
         ASSERT_NE(d.m_Connection, nullptr);
         EXPECT_EQ(d.m_Connection->GetKind(), 1);
         EXPECT_FALSE(d.m_Options.OciOnCommandLine);
       }},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& a : c.args) label += "[" + a + "]";
    SCOPED_TRACE(label);
    auto dlg = std::make_unique<CLoaderDlg>();
    std::string log = Apply(*dlg, c.args, dir / "run.log");
    ExpectJobs(*dlg, c.jobs);
    EXPECT_EQ(log, "");
    EXPECT_FALSE(dlg->m_CommandLineError);
    if (c.check) c.check(*dlg);
  }
}

TEST_F(CommandLineTest, BadFlagsAreLoggedAndOtherwiseIgnored) {
  struct Case {
    std::vector<std::string> args;
    std::string log;
  } cases[] = {
      {{"/Z"}, "Invalid command line flag\n"},
      {{"/"}, "Invalid command line flag\n"},
      {{"/Q /"}, "Invalid command line flag\n"},
      {{"/1 /Q"}, "Invalid command line flag\n"},
      {{"/z /Z /G"}, "Invalid command line flag\nInvalid command line flag\n"},
      {{"c:\\no\\flag.tab"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    CLoaderDlg dlg;
    EXPECT_EQ(Apply(dlg, c.args, dir / "run.log"), c.log);
    EXPECT_TRUE(dlg.m_Jobs.empty());
    EXPECT_FALSE(dlg.m_CommandLineError);
  }
}

TEST_F(CommandLineTest, ListFilesGiveOneRowPerLine) {
  std::string list = dir / "list.txt";
  qltest::WriteFile(list, "c:\\x\\t.tab;T2;5,9\r\n/home/u/roads.tab\r\n\n/data/b.tab|B|\n");
  std::vector<std::vector<std::string>> forms = {
      {"/L" + list}, {"/L", list}, {"/L", list, "/Tc:\\ignored.tab"}, {"/l" + list, "/Q"}, {"/l" + list + "  /Q"}};
  for (const std::vector<std::string>& args : forms) {
    SCOPED_TRACE(args.size());
    CLoaderDlg dlg;
    EXPECT_EQ(Apply(dlg, args, dir / "run.log"), "");
    ExpectJobs(dlg, {{"c:\\x\\t.tab", "t", "T2", 5, 9},
                     {"/home/u/roads.tab", "roads", "roads", 1, 0},
                     {"", "", "", 1, 0},
                     {"/data/b.tab", "b", "B", 1, 0}});
    EXPECT_FALSE(dlg.m_CommandLineError);
  }
  // /T takes the turn of /L: a list after a table is ignored.
  CLoaderDlg dlg;
  Apply(dlg, {"/Tc:\\a.tab /L" + list}, dir / "run.log");
  ExpectJobs(dlg, {{"c:\\a.tab", "a", "a", 1, 0}});
}

TEST_F(CommandLineTest, JobListErrorsAreLoggedAndMarkTheRun) {
  std::string dirAsList = dir.path();
  std::string missing = dir / "none.txt";
  std::string longLine = dir / "long.txt";
  std::string okLine = dir / "ok.txt";
  std::string line259 = "/d/" + std::string(252, 'x') + ".tab";  // 259 characters
  ASSERT_EQ(line259.size(), 259u);
  qltest::WriteFile(okLine, "/a/first.tab\n" + line259 + "\r\n");
  qltest::WriteFile(longLine, "/a/first.tab\n" + line259 + "y\n/a/after.tab\n");
  std::string text260 = "T/" + std::string(254, 'x') + ".tab";  // letter included
  ASSERT_EQ(text260.size(), 260u);

  struct Case {
    std::string arg;
    size_t rows;
    int errorId;  // 0: none
    std::string subject;
  } cases[] = {
      {"/L" + missing, 0, IDS_LIST_UNREADABLE, missing},
      {"/L" + dirAsList, 0, IDS_LIST_UNREADABLE, dirAsList},
      {"/L" + okLine, 2, 0, ""},
      {"/L" + longLine, 1, IDS_LIST_LINE_TOO_LONG, longLine},
      {"/" + text260, 1, 0, ""},
      {"/" + text260 + " /Q", 1, 0, ""},
      {"/" + text260 + "x", 0, IDS_TABLE_TEXT_TOO_LONG, ""},
      {"/L" + std::string(260, 'l'), 0, IDS_TABLE_TEXT_TOO_LONG, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arg.substr(0, 60));
    CLoaderDlg dlg;
    std::string log = Apply(dlg, {c.arg}, dir / "run.log");
    EXPECT_EQ(dlg.m_Jobs.size(), c.rows);
    EXPECT_EQ(dlg.m_Options.JobCount, static_cast<int>(c.rows));
    EXPECT_EQ(dlg.m_CommandLineError, c.errorId != 0);
    if (c.errorId != 0) {
      EXPECT_FALSE(LoadResString(c.errorId).empty());
      EXPECT_EQ(log, LoadResString(c.errorId) + c.subject + "\n");
    } else {
      EXPECT_EQ(log, "");
    }
  }
}

}  // namespace
