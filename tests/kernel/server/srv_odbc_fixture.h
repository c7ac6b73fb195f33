// The fixture of the server tests over the test ODBC driver: the layer
// unloaded and errors cleared around each test, a temporary folder for
// databases and rule files, and the driver's trace file in it.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/server/srv.h"
#include "kernel/server/srv_test_util.h"
#include "odbc/support/testodbc.h"

namespace srvtest {

class OdbcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    srv_unload_all();
    err_clear();
    trace = dir.File("trace.jsonl");
  }
  void TearDown() override {
    srv_unload_all();
    err_clear();
  }
  // A rule file for the driver with these rules, numbered in turn.
  std::string RuleFile(const std::string& rules) {
    return dir.Write("rules" + std::to_string(++files) + ".txt", rules);
  }
  // The statements sent, without the connection's catalogue probes.
  std::vector<std::string> Sent() {
    return WithoutCatalogueProbes(testodbc::Statements(testodbc::ReadTrace(trace)));
  }
  testodbc::TempDir dir;
  std::string trace;
  int files = 0;
};

}  // namespace srvtest
