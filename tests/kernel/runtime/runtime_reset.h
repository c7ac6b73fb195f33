// Puts the process-wide state of the kernel foundation back to its start.
#pragma once
#include <gtest/gtest.h>

#include "kernel/runtime/err.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "platform/codepage.h"

class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    mem_test_fail_nth(0);
    kshared_reset();
    err_clear();
    err_set_mode(1);
    kernel_string_reset();
    mb_reset();
    cp_reset();
  }
};
