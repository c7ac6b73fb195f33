// Shared set-up of the runtime I/O tests: code pages 1252/850, the current
// set chosen from them, a fresh registry and a private working directory.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "kernel/kernel_files_fixture.h"
#include "kernel/runtime/cache.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/collate.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/path.h"
#include "platform/codepage.h"

class RuntimeIo : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    if (HasFatalFailure()) return;
    block_cache_release();
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    old_cwd_ = cwd;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    block_cache_release();
    normtab_free();
    if (!old_cwd_.empty() && chdir(old_cwd_.c_str()) != 0) ADD_FAILURE() << "chdir back";
    KernelFilesTest::TearDown();
  }
  std::string get(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool exists(const std::string& name) const {
    struct stat st;
    return stat(path(name).c_str(), &st) == 0;
  }
  std::string old_cwd_;
};
