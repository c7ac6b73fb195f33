// Runs srvq from the test program's directory and collects its output.
#include "srvq_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include "platform/module.h"

std::pair<std::string, int> Srvq(const std::vector<std::string>& args) {
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
