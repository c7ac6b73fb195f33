// Shared base of the kernel tests that work on files: code pages 1252/850,
// the current set chosen from them, fresh shared flags, registry and paths,
// an empty error stack and a private temporary directory, removed after.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/path.h"
#include "platform/codepage.h"

class KernelFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cp_set_ansi_page(1252);
    cp_set_oem_page(850);
    kshared_reset();
    charset_reset();
    file_reset();
    path_reset();
    err_clear();
    ASSERT_EQ(charset_init_system(), 1);
    char tmpl[] = "/tmp/ql_kernel_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    file_reset();
    charset_reset();
    path_reset();
    err_clear();
    // Tests may leave read-only files behind.
    std::string cmd = "chmod -R u+w '" + dir_ + "' && rm -rf '" + dir_ + "'";
    if (!dir_.empty() && std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup";
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void put(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::string dir_;
};
