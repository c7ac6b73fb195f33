// Running dialect and catalogue operations of the ODBC connection against the
// test driver and rendering what each sent: one "# operation -> result" line,
// then the statements and catalogue calls of the driver's trace, with
// "[own handle]" for a statement on a handle allocated for the purpose,
// "[fails]" for a failed one, and "[log]" lines where the run log holds more
// or other text than each statement followed by two line ends. Passwords of
// created logins and users show as <pw>.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "../connection/connection_fixture.h"
#include "kernel/tables/api/UploadOptions.h"

using Attrs = std::vector<std::pair<std::string, std::string>>;

class DialectTest : public ConnectionTest {
 protected:
  // Connect attributes of a profile of the golden runs: "mssql", "sqlserver",
  // "informix", "db2", "oracle" or "access", with the rule file of that name
  // from this folder's rules/ unless `rules` names another.
  static Attrs Profile(const std::string& profile, const std::string& rules = "");
  // The owner of the profile's tables (the user's own schema).
  static std::string Owner(const std::string& profile);

  // Starts the rendering of a new part of the run.
  void Section(const std::string& title) { out += "## " + title + "\n"; }
  // Runs `op`, then renders its title, its result and what it sent.
  void Step(const std::string& title, const std::function<std::string()>& op);
  // Runs a statement that prepares the database (not rendered); it must succeed.
  void Prepare(COdbcConnection& c, const std::string& sql);
  // The golden file with resource strings put in for {S<id>}.
  static std::string Golden(const std::string& name);
  // Compares `out` with the golden file; on a difference the rendering is
  // written to $QL_GOLDEN_OUT/<name> when that variable is set.
  void ExpectGolden(const std::string& name);

  // Creates the ROADS table of the scenarios in the user's own schema.
  void CreateRoads(COdbcConnection& c, const std::string& table = "ROADS");
  // Inserts a catalogue row for `table` of `owner` with bounds 1 2 3 4.
  void InsertCatalogRow(COdbcConnection& c, const std::string& owner, const std::string& table,
                        bool renditionColumns = true);

  static std::string Bool(bool b) { return b ? "true" : "false"; }
  static std::string Join(const std::vector<std::string>& items, const char* sep = "|");

  std::string out;
  std::set<std::string> passwords;  // every owner password seen in the trace

 private:
  std::string Render(size_t traceMark, size_t logMark);
};
