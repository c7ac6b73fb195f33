// Loading driver modules: complete, missing an entry point, failing its
// SrvInit, not a library at all, and absent; the one attempt of
// srv_ensure_init. Module file names are pointed at the fixtures through
// kernel string overrides.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/server/srv.h"
#include "platform/module.h"

namespace {

std::string ErrArg(const ErrorEntry& e) {
  return e.arg1_length > 0 ? std::string(g_err_stack->pool + e.arg1_offset) : std::string();
}
std::string ErrArg2(const ErrorEntry& e) {
  return e.arg2_length > 0 ? std::string(g_err_stack->pool + e.arg2_offset) : std::string();
}

std::vector<int> Codes() {
  std::vector<int> out;
  for (int i = 0; i < g_err_stack->stored_count; ++i) out.push_back(g_err_stack->entries[i].code);
  return out;
}

bool Mapped(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream s;
  s << maps.rdbuf();
  return s.str().find(path) != std::string::npos;
}

class SrvModules : public ::testing::Test {
 protected:
  void SetUp() override {
    srv_unload_all();
    srv_reset_ensure_init();
    srv_set_report_load_failures(0);
    err_clear();
    kernel_string_override(kStrSrvModule2, "");
  }
  void TearDown() override {
    srv_unload_all();
    srv_set_report_load_failures(0);
    kernel_string_reset();
    err_clear();
  }
  void Module(const char* name) { kernel_string_override(kStrSrvModule1, name); }
};

TEST_F(SrvModules, CompleteModuleLoads) {
  Module("fixtures/srvfix_complete.so");
  EXPECT_EQ(srv_init(), 1);
  EXPECT_NE(srv_env(), nullptr);
  EXPECT_EQ(err_count(), 0);
  ASSERT_EQ(srv_driver_count(), 1);
  char name[36];
  EXPECT_EQ(srv_driver_name(0, name, sizeof name), 1);
  EXPECT_STREQ(name, "FIXTURE");
  EXPECT_EQ(srv_driver_name(1, name, sizeof name), 0);
  EXPECT_EQ(srv_driver_loaded("fixture"), 1);
  EXPECT_TRUE(Mapped(platform::ExecutableDirectory() + "fixtures/srvfix_complete.so"));
  srv_unload_all();
  EXPECT_EQ(srv_env(), nullptr);
  EXPECT_EQ(srv_driver_count(), 0);
}

TEST_F(SrvModules, MissingEntryPointNamesThePathAndUnmaps) {
  Module("fixtures/srvfix_missing.so");
  const std::string path = platform::ExecutableDirectory() + "fixtures/srvfix_missing.so";
  EXPECT_EQ(srv_init(), 0);
  EXPECT_EQ(srv_env(), nullptr);
  ASSERT_EQ(Codes(), (std::vector<int>{kErrSrvMissingEntry, kErrSrvInitFailed}));
  EXPECT_EQ(ErrArg(g_err_stack->entries[0]), path);
  EXPECT_EQ(path[0], '/');
  EXPECT_FALSE(Mapped(path));
}

TEST_F(SrvModules, FailingInitReportsItsCodeAndTexts) {
  Module("fixtures/srvfix_initfail.so");
  EXPECT_EQ(srv_init(), 0);
  ASSERT_EQ(Codes(), (std::vector<int>{4321, kErrSrvInitFailed}));
  EXPECT_EQ(ErrArg(g_err_stack->entries[0]), "the fixture refuses to start");
  EXPECT_EQ(ErrArg2(g_err_stack->entries[0]), "second text");
  EXPECT_FALSE(Mapped(platform::ExecutableDirectory() + "fixtures/srvfix_initfail.so"));
}

TEST_F(SrvModules, NonLibraryIsSilentUnlessReported) {
  const std::string path = platform::ExecutableDirectory() + "fixtures/not_a_library.so";
  std::ofstream(path) << "plain text, no library\n";
  Module("fixtures/not_a_library.so");
  EXPECT_EQ(srv_init(), 0);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(srv_env(), nullptr);
  srv_set_report_load_failures(1);
  EXPECT_EQ(srv_init(), 0);
  ASSERT_EQ(Codes(), (std::vector<int>{1555, 1556, 1557, 1558, kErrSrvInitFailed}));
  EXPECT_EQ(ErrArg(g_err_stack->entries[0]), "fixtures/not_a_library.so");
  std::remove(path.c_str());
}

TEST_F(SrvModules, NoModuleIsNoError) {
  Module("fixtures/nothing_here.so");
  EXPECT_EQ(srv_init(), 0);
  EXPECT_EQ(srv_env(), nullptr);
  EXPECT_EQ(err_count(), 0);
  // Empty file names give the directory itself, which is no module.
  Module("");
  EXPECT_EQ(srv_init(), 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(SrvModules, EnsureInitTriesOnce) {
  Module("fixtures/nothing_here.so");
  EXPECT_EQ(srv_ensure_init(), 0);
  Module("fixtures/srvfix_complete.so");
  EXPECT_EQ(srv_ensure_init(), 0);
  EXPECT_EQ(srv_env(), nullptr);
  srv_reset_ensure_init();
  EXPECT_EQ(srv_ensure_init(), 1);
  EXPECT_EQ(srv_ensure_init(), 1);
}

}  // namespace
