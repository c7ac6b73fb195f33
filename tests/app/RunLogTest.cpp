// The run log: date and time forms, the header, the default path in the
// temporary directory and its safety, and lines written before it opens.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "app/LoaderDlg.h"
#include "app/ResourceLibrary.h"
#include "app/RunLog.h"
#include "app/TestSupport.h"

namespace {

platform::LocalTime At(int y, int mo, int d, int h, int mi, int s) {
  platform::LocalTime t;
  t.year = y, t.month = mo, t.day = d, t.hour = h, t.minute = mi, t.second = s;
  return t;
}

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qltest::LoadBuildResources();
    const char* t = std::getenv("TMPDIR");
    m_oldTmp = t != nullptr ? t : "";
    m_hadTmp = t != nullptr;
    setenv("TMPDIR", dir.path().c_str(), 1);
  }
  void TearDown() override {
    platform::SetClock(nullptr);
    if (m_hadTmp)
      setenv("TMPDIR", m_oldTmp.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  qltest::TempDir dir;

 private:
  std::string m_oldTmp;
  bool m_hadTmp = false;
};

TEST(RunLogFormat, DatesAndTimesHaveNoLeadingZeros) {
  struct Case {
    platform::LocalTime t;
    std::string date, time;
  } cases[] = {
      {At(2007, 3, 5, 9, 4, 5), "3/5/2007", "9:4:5"},
      {At(2026, 12, 31, 23, 59, 59), "12/31/2026", "23:59:59"},
      {At(2000, 1, 1, 0, 0, 0), "1/1/2000", "0:0:0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatLogDate(c.t), c.date);
    EXPECT_EQ(FormatLogTime(c.t), c.time);
  }
}

TEST(RunLogFormat, ElapsedTimeIsHoursMinutesSeconds) {
  struct Case {
    int64_t seconds;
    std::string text;
  } cases[] = {{0, "00:00:00"}, {5, "00:00:05"}, {3725, "01:02:05"}, {-4, "00:00:00"}, {360000, "100:00:00"}};
  for (const Case& c : cases) EXPECT_EQ(FormatElapsed(c.seconds), c.text) << c.seconds;
}

TEST_F(RunLogTest, HeaderMatchesTheGoldenCopy) {
  platform::SetClock([] { return At(2007, 3, 5, 9, 4, 5); });
  LogHeaderInfo info{"Corvane Quendalour", "1.0.0", "testdb", "u", false};
  CUploadOptions o;
  std::ostringstream log;
  WriteLogHeader(log, info, o);
  EXPECT_EQ(log.str(), qltest::ReadFile(QL_TEST_SOURCE_DIR "/golden/header.log"));
  // Line 2: four blanks, string 152, the date, string 153, the time.
  std::string line2 = log.str().substr(log.str().find('\n') + 1);
  line2 = line2.substr(0, line2.find('\n'));
  EXPECT_EQ(line2, "    " + LoadResString(152) + "3/5/2007" + LoadResString(153) + "9:4:5");
}

TEST_F(RunLogTest, HeaderFollowsModeStyleAndRenditionColumns) {
  LogHeaderInfo info{"P", "1", "db", "u", false};
  CUploadOptions o;
  o.Replace = true;
  o.Append = true;
  o.StyleColumn = "MYSTYLE";
  std::ostringstream a;
  WriteLogHeader(a, info, o);
  EXPECT_NE(a.str().find(LoadResString(160) + LoadResString(157) + "\n"), std::string::npos);
  EXPECT_NE(a.str().find(LoadResString(169) + "MYSTYLE\n"), std::string::npos);

  o.Replace = o.Create = false;
  o.StyleEnabled = false;
  std::ostringstream b;
  WriteLogHeader(b, info, o);
  EXPECT_NE(b.str().find(LoadResString(160) + LoadResString(158) + "\n"), std::string::npos);
  EXPECT_EQ(b.str().find(LoadResString(169)), std::string::npos);

  o.Append = false;
  info.NoRenditionColumns = true;
  std::ostringstream c;
  WriteLogHeader(c, info, o);
  EXPECT_NE(c.str().find(LoadResString(160) + "\n"), std::string::npos);
  EXPECT_NE(c.str().find("\n\n" + LoadResString(185) + "\n"), std::string::npos);
}

TEST_F(RunLogTest, DefaultLogIsPrivateAndHoldsEarlierLinesFirst) {
  CLoaderDlg dlg;
  dlg.m_Log << "first\n";
  dlg.m_Log << "second";
  ASSERT_TRUE(dlg.OpenLog());
  EXPECT_EQ(dlg.m_LogPath, dir / "Quendalour.log");
  dlg.m_Log << " line\n" << std::flush;
  struct stat st {};
  ASSERT_EQ(stat(dlg.m_LogPath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(qltest::ReadFile(dlg.m_LogPath), "first\nsecond line\n");
}

TEST_F(RunLogTest, DefaultLogReplacesAnOldFileButRefusesLinks) {
  qltest::WriteFile(dir / "Quendalour.log", "old run\n");
  chmod((dir / "Quendalour.log").c_str(), 0644);
  {
    CLoaderDlg dlg;
    ASSERT_TRUE(dlg.OpenLog());
    dlg.m_Log << "new\n";
  }
  EXPECT_EQ(qltest::ReadFile(dir / "Quendalour.log"), "new\n");
  struct stat st {};
  stat((dir / "Quendalour.log").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  unlink((dir / "Quendalour.log").c_str());
  qltest::WriteFile(dir / "victim", "keep me\n");
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "Quendalour.log").c_str()), 0);
  CLoaderDlg dlg;
  dlg.m_Log << "pending\n";
  EXPECT_FALSE(dlg.OpenLog());
  dlg.m_Log << "dropped\n" << std::flush;
  EXPECT_TRUE(dlg.m_Log.good());
  EXPECT_EQ(qltest::ReadFile(dir / "victim"), "keep me\n");
}

TEST_F(RunLogTest, OverlongTemporaryDirectoryIsLoggedAndReplaced) {
  std::string longDir = "/" + std::string(kMaxTempPath, 'd');
  setenv("TMPDIR", longDir.c_str(), 1);
  std::ostringstream log;
  EXPECT_EQ(CMTestLog::GetDir(log), "/tmp/");
  EXPECT_EQ(log.str(), LoadResString(124) + "\n");

  std::string fits = "/" + std::string(kMaxTempPath - 1, 'd');
  setenv("TMPDIR", fits.c_str(), 1);
  std::ostringstream quiet;
  EXPECT_EQ(CMTestLog::GetDir(quiet), fits + "/");
  EXPECT_EQ(quiet.str(), "");

  unsetenv("TMPDIR");
  EXPECT_EQ(CMTestLog::GetDir(quiet), "/tmp/");
}

TEST_F(RunLogTest, ExplicitPathIsReplacedOnEachRun) {
  std::string path = dir / "run.log";
  qltest::WriteFile(path, "previous run with a longer text\n");
  CLoaderDlg dlg;
  dlg.m_LogPath = path;
  ASSERT_TRUE(dlg.OpenLog());
  dlg.m_Log << "x\n";
  EXPECT_EQ(qltest::ReadFile(path), "x\n");
}

}  // namespace
