// Helpers of the application tests.
#include "app/TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/ResourceLibrary.h"

extern char** environ;

namespace qltest {

TempDir::TempDir() {
  const char* t = std::getenv("TMPDIR");
  std::string base = (t != nullptr && t[0] != '\0') ? t : "/tmp";
  std::string templ = base + "/qltest.XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream o;
  o << in.rdbuf();
  return o.str();
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

void CopyFile(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(to, std::filesystem::status(from).permissions());
}

void LoadBuildResources() {
  if (!AppResources().IsLoaded() && !AppResources().Load(QL_QLRES_PATH))
    throw std::runtime_error("cannot load " QL_QLRES_PATH);
}

RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, const std::string& cwd) {
  TempDir scratch;
  std::string errPath = scratch / "stderr";
  std::vector<std::string> argStore{exe};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::map<std::string, std::string> merged;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string kv = *e;
    size_t eq = kv.find('=');
    if (eq != std::string::npos) merged[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (const auto& [k, v] : env) merged[k] = v;
  std::vector<std::string> envStore;
  for (const auto& [k, v] : merged) envStore.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  RunResult r;
  std::string oldCwd = std::filesystem::current_path();
  std::filesystem::current_path(cwd);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), envp.data());
  std::filesystem::current_path(oldCwd);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) throw std::runtime_error("cannot start " + exe);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
  r.err = ReadFile(errPath);
  return r;
}

}  // namespace qltest
