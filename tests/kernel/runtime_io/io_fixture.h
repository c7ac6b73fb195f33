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

#include "kernel/runtime/cache.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/collate.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/path.h"
#include "platform/codepage.h"

class RuntimeIo : public ::testing::Test {
 protected:
  void SetUp() override {
    cp_set_ansi_page(1252);
    cp_set_oem_page(850);
    kshared_reset();
    charset_reset();
    file_reset();
    block_cache_release();
    path_reset();
    err_clear();
    ASSERT_EQ(charset_init_system(), 1);
    char tmpl[] = "/tmp/ql_io_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    old_cwd_ = cwd;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    block_cache_release();
    file_reset();
    normtab_free();
    charset_reset();
    path_reset();
    err_clear();
    if (chdir(old_cwd_.c_str()) != 0) ADD_FAILURE() << "chdir back";
    std::string cmd = "chmod -R u+w '" + dir_ + "' && rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup";
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void put(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::string get(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool exists(const std::string& name) const {
    struct stat st;
    return stat(path(name).c_str(), &st) == 0;
  }
  std::string dir_;
  std::string old_cwd_;
};
