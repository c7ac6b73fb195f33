// Test helpers around the test ODBC driver libqltestodbc.so: where it is,
// connect strings for it, scratch directories, and reading its trace.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testodbc {

// Absolute path of libqltestodbc.so and of its rule files.
std::string DriverPath();
std::string RulesDir();

// "DRIVER=<path>;K1=V1;K2=V2" (values with ';' '{' '}' or blanks are braced).
std::string ConnectString(const std::vector<std::pair<std::string, std::string>>& attrs);

// A fresh directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file in the directory and returns its path.
  std::string Write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

// One trace line: top-level fields; strings are unescaped, numbers, null,
// arrays and objects keep their JSON text.
struct TraceEntry {
  std::map<std::string, std::string> fields;
  std::string line;
  bool Has(const std::string& key) const { return fields.count(key) != 0; }
  std::string Get(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
  }
};

// Reads a trace file; a line that is not a JSON object makes the test fail
// through the returned `error` (empty on success).
std::vector<TraceEntry> ReadTrace(const std::string& path, std::string* error = nullptr);

// Renames handles in order of first appearance ("c1", "c1.s1", ...), so
// that traces compare whatever else ran in the process before.
void NormalizeHandles(std::vector<TraceEntry>* trace);

// The statements of a trace: "sql" of every SQLExecDirect and SQLPrepare.
std::vector<std::string> Statements(const std::vector<TraceEntry>& trace);

// Reads a whole file ("" when missing).
std::string ReadFile(const std::string& path);

}  // namespace testodbc
