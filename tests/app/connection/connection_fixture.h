// Shared set-up of the ODBC connection tests: the resource library, a
// scratch directory with a trace file, box capture, and connecting a
// COdbcConnection to the test driver.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/OdbcConnection.h"
#include "odbc/support/testodbc.h"

struct CapturedBox {
  int captionId;
  std::string text;
};

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A connect string for the test driver with the trace of this test.
  std::string Cs(std::vector<std::pair<std::string, std::string>> attrs) const;
  // A new connection with the log and the given connect attributes; true
  // when Connect succeeded.
  bool Open(COdbcConnection& c, std::vector<std::pair<std::string, std::string>> attrs);
  // A rule file in the scratch directory.
  std::string Rules(const std::string& text) const { return dir.Write("rules" + std::to_string(++ruleFiles) + ".txt", text); }
  std::vector<testodbc::TraceEntry> Trace() const;
  // Runs "select 1" on the standing statement and closes the cursor.
  static bool SelectOne(COdbcConnection& c);

  testodbc::TempDir dir;
  std::string tracePath;
  std::ostringstream log;
  std::vector<CapturedBox> boxes;
  mutable int ruleFiles = 0;
};
