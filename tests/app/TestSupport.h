// Helpers of the application tests: temporary directories, whole-file
// reads, the resource library of the build, and running the program.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qltest {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
void CopyFile(const std::string& from, const std::string& to);

// Loads the build's qlres.so once and installs its table.
void LoadBuildResources();

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit
  std::string err;  // stderr
};
// Runs `exe` with `args` (argv[1..]) and extra environment entries, stdin
// from /dev/null, in `cwd`.
RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, const std::string& cwd);

}  // namespace qltest
