// Helpers of the server tests: error arguments and running srvq.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "kernel/runtime/err.h"
#include "platform/module.h"

namespace srvtest {

// The first (or second) argument of error entry i.
inline std::string Arg(int i, int which = 1) {
  const ErrorEntry& e = g_err_stack->entries[i];
  const int16_t off = which == 1 ? e.arg1_offset : e.arg2_offset;
  const int16_t len = which == 1 ? e.arg1_length : e.arg2_length;
  return len > 0 ? std::string(g_err_stack->pool + off) : std::string();
}

// Output and exit status of srvq with these arguments.
inline std::pair<std::string, int> Srvq(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return {"", -1};
  const std::string exe = platform::ExecutableDirectory() + "srvq";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

}  // namespace srvtest
