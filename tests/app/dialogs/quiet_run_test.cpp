// Quiet command-line runs of the program never wait for a user: they end
// after the connect (and the upload) whatever happened.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ResourceLibrary.h"
#include "app/TestSupport.h"

namespace {

class QuietRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qltest::LoadBuildResources();
    exe = dir / "quendalour";
    qltest::CopyFile(QL_EXE_PATH, exe);
    qltest::CopyFile(QL_QLRES_PATH, dir / "qlres.so");
    qltest::WriteFile(dir / "a.fxt", "fxt 1\ncolumn NAME char 10 0 0\nrow\tx\n");
    qltest::WriteFile(dir / "odbc.ini", "");
    qltest::WriteFile(dir / "odbcinst.ini", "");
    env = {{"TMPDIR", dir.path()},
           {"ODBCSYSINI", dir.path()},
           {"ODBCINI", dir / "user.ini"},
           {"QUENDALOUR_UI_TRANSCRIPT", dir / "transcript.txt"}};
  }
  qltest::RunResult Run(const std::vector<std::string>& args) { return qltest::RunProgram(exe, args, env, dir.path()); }

  qltest::TempDir dir;
  std::string exe;
  std::map<std::string, std::string> env;
};

TEST_F(QuietRunTest, FailedConnectEndsTheRunWithItsFailure) {
  const std::string d = dir.path();
  qltest::RunResult r = Run({"/Q", "/SDRIVER=" + d + "/none.so", "/T" + d + "/a.fxt", "/F" + d + "/run.log"});
  EXPECT_EQ(r.status, 255) << r.err;
  EXPECT_NE(qltest::ReadFile(dir / "run.log").find(LoadResString(190)), std::string::npos);
  EXPECT_EQ(qltest::ReadFile(dir / "transcript.txt").find("box"), std::string::npos);
}

TEST_F(QuietRunTest, EmptyConnectStringIsNeverPrompted) {
  const std::string d = dir.path();
  qltest::RunResult r = Run({"/Q", "/S", "/T" + d + "/a.fxt"});
  EXPECT_EQ(r.status, 255) << r.err;
  std::string transcript = qltest::FileExists(dir / "transcript.txt") ? qltest::ReadFile(dir / "transcript.txt") : "";
  EXPECT_EQ(transcript.find("dialog 240"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("dialog 103 open"), std::string::npos) << transcript;
}

TEST_F(QuietRunTest, RunWithoutTablesEndsWithZero) {
  qltest::RunResult r = Run({"/Q", "/F" + (dir / "run.log")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(qltest::ReadFile(dir / "transcript.txt"), "dialog 103 open\ndialog 103 end 2\n");
}

// Interactive runs played by a script through the headless backend.
class ScriptedRunTest : public QuietRunTest {
 protected:
  qltest::RunResult Play(const std::string& script) {
    qltest::WriteFile(dir / "script.txt", script);
    env["QUENDALOUR_UI"] = "headless";
    env["QUENDALOUR_UI_SCRIPT"] = dir / "script.txt";
    return Run({"/F" + (dir / "run.log")});
  }
};

TEST_F(ScriptedRunTest, HelpOpensThePageBesideTheProgram) {
  std::filesystem::create_directories(dir / "help");
  qltest::CopyFile(std::filesystem::path(QL_EXE_PATH).parent_path() / "help/index.html", dir / "help/index.html");
  qltest::RunResult r = Play("click 1060\nclose\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(qltest::ReadFile(dir / "transcript.txt"), "dialog 103 open\nhelp 100\ndialog 103 end 2\n");
}

TEST_F(ScriptedRunTest, MissingHelpPageGivesAnErrorBox) {
  qltest::RunResult r = Play("click 1060\nclose\n");
  EXPECT_EQ(r.status, 0) << r.err;
  std::string transcript = qltest::ReadFile(dir / "transcript.txt");
  EXPECT_NE(transcript.find("box caption=186 icon=error"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find("help 100"), std::string::npos);
}

TEST_F(ScriptedRunTest, UnknownControlEndsTheRunWithItsIdLogged) {
  qltest::RunResult r = Play("click 4242\n");
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(qltest::ReadFile(dir / "run.log").find("has no control 4242"), std::string::npos);
}

}  // namespace
