// Native tables for runs of the real program: tools/mktab makes a .TAB (with
// its map file when the fixture has objects) beside a fixture table.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "fixture.h"
#include "app/TestSupport.h"

namespace upload {

// The native table made from the fixture at path (".fxt" becomes ".TAB"),
// its objects with it. Empty on failure.
inline std::string NativeTable(const std::string& path) {
  const std::string out = path.substr(0, path.size() - 4) + ".TAB";
  const pid_t pid = fork();
  if (pid == 0) {
    execl(QL_MKTAB_PATH, QL_MKTAB_PATH, path.c_str(), out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : std::string();
}

}  // namespace upload
