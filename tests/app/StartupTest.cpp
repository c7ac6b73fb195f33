// The program as a user starts it: copied into a directory of its own, with
// and without its resource library and the OCI module beside it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app/LoaderApp.h"
#include "app/ResourceLibrary.h"
#include "app/TestSupport.h"

namespace {

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qltest::LoadBuildResources();
    exe = dir / "quendalour";
    qltest::CopyFile(QL_EXE_PATH, exe);
    env = {{"TMPDIR", dir.path()}, {"QL_OCI_STUB_LOG", dir / "oci.log"}, {"QUENDALOUR_UI", "headless"}};
  }
  void AddResources() { qltest::CopyFile(QL_QLRES_PATH, dir / "qlres.so"); }
  void AddOciStub() { qltest::CopyFile(QL_OCI_STUB_DIR "/CVOraSp.so", dir / "CVOraSp.so"); }
  qltest::RunResult Run(const std::vector<std::string>& args) { return qltest::RunProgram(exe, args, env, dir.path()); }

  qltest::TempDir dir;
  std::string exe;
  std::map<std::string, std::string> env;
};

TEST_F(StartupTest, WithoutResourceLibraryOneMessageAndExit255) {
  qltest::RunResult r = Run({"/Q", "/F" + (dir / "run.log")});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find(kNoResourceLibraryText), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(kProductTitle), std::string::npos);
  EXPECT_FALSE(qltest::FileExists(dir / "run.log"));
  EXPECT_FALSE(qltest::FileExists(dir / "Quendalour.log"));
}

TEST_F(StartupTest, InvalidFlagAndStorageKindAreLoggedInOrder) {
  AddResources();
  qltest::RunResult r = Run({"/Z", "/Mfoo", "/F" + (dir / "run.log")});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(qltest::ReadFile(dir / "run.log"), "Invalid command line flag\n\n\n" + LoadResString(199) + "\n");
  // A person at a terminal learns which flag.
  EXPECT_EQ(r.err, "quendalour: invalid command line flag: /Z\n");
}

// Without flags and without a display the dialog would end unseen: the
// program says how to run unattended and fails.
TEST_F(StartupTest, NoFlagsAndNoDisplayTellHowToRunUnattended) {
  AddResources();
  env["DISPLAY"] = "";
  env["QUENDALOUR_UI"] = "";
  qltest::RunResult r = Run({});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, kUnattendedUsage);
  EXPECT_NE(r.err.find("/Q /S"), std::string::npos);
}

// The Oracle module reports nothing itself: its failed connect is shown
// with its last error (unless quiet) and logged.
TEST_F(StartupTest, FailedOracleModuleConnectShowsAndLogsItsLastError) {
  AddResources();
  AddOciStub();
  qltest::WriteFile(dir / "script.txt", "box ok\nclose\n");
  env["QUENDALOUR_UI_SCRIPT"] = dir / "script.txt";
  env["QUENDALOUR_UI_TRANSCRIPT"] = dir / "transcript.txt";
  qltest::RunResult r = Run({"/F" + (dir / "run.log"), "/Ouser/pw@svc"});
  EXPECT_NE(qltest::ReadFile(dir / "oci.log").find("Connect(user/pw@svc)\n"), std::string::npos)
      << qltest::ReadFile(dir / "oci.log");
  const std::string transcript = qltest::ReadFile(dir / "transcript.txt");
  EXPECT_NE(transcript.find("box caption=186 icon=error buttons=ok answer=ok text=the stub module does not connect"),
            std::string::npos)
      << transcript;
  EXPECT_NE(qltest::ReadFile(dir / "run.log").find("\n\nthe stub module does not connect\n"), std::string::npos);
  // Quiet: no box, the same line in the log.
  std::filesystem::remove(dir / "transcript.txt");
  std::filesystem::remove(dir / "run.log");
  r = Run({"/Q", "/F" + (dir / "run.log"), "/Ouser/pw@svc"});
  const std::string quiet = qltest::FileExists(dir / "transcript.txt") ? qltest::ReadFile(dir / "transcript.txt") : "";
  EXPECT_EQ(quiet.find("box"), std::string::npos) << quiet;
  EXPECT_NE(qltest::ReadFile(dir / "run.log").find("\n\nthe stub module does not connect\n"), std::string::npos);
}

TEST_F(StartupTest, OciCommandLineWithXyEndsBeforeConnecting) {
  AddResources();
  AddOciStub();
  qltest::RunResult r = Run({"/MXY", "/Ouser/pw@svc"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(qltest::ReadFile(dir / "oci.log"),
            "Create_CCVOCIConn resources=qlres\n"
            "SetConnectString(user/pw@svc)\n"
            "SetLogStream(stream)\n"
            "~CStubOciConnection Quiet=1\n");
  EXPECT_EQ(qltest::ReadFile(dir / "Quendalour.log"), "\n\n" + LoadResString(199) + "\n");
}

TEST_F(StartupTest, UnreadableListFileKeepsTheRunFailed) {
  AddResources();
  qltest::RunResult r = Run({"/L" + (dir / "none.txt"), "/Q"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(qltest::ReadFile(dir / "Quendalour.log"), LoadResString(300) + (dir / "none.txt") + "\n");
}

TEST_F(StartupTest, QuietRunWithoutTablesExitsZeroWithAPrivateLog) {
  AddResources();
  qltest::RunResult r = Run({"/Q"});
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat st {};
  ASSERT_EQ(stat((dir / "Quendalour.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// An unusable temporary directory: the run goes on without a log, and one
// stderr line names the log path with the system's reason.
TEST_F(StartupTest, UnusableTemporaryDirectoryIsNamedOnStderr) {
  AddResources();
  env["TMPDIR"] = dir / "none";
  qltest::RunResult r = Run({"/Q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "quendalour: the run log cannot be opened: " + (dir / "none") + "/Quendalour.log: No such file or directory\n");
}

TEST_F(StartupTest, LinkedDefaultLogLeavesItsTargetAlone) {
  AddResources();
  qltest::WriteFile(dir / "victim", "keep\n");
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "Quendalour.log").c_str()), 0);
  qltest::RunResult r = Run({"/Z", "/Q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(qltest::ReadFile(dir / "victim"), "keep\n");
}

}  // namespace
