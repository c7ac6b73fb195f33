// Runs a command line through the shell; its output (stderr folded in) and
// exit status.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

inline std::string run_tool(const std::string& command, int* status) {
  std::string out;
  FILE* f = popen((command + " 2>&1").c_str(), "r");
  char buf[512];
  while (f != nullptr && std::fgets(buf, sizeof buf, f)) out += buf;
  const int rc = f != nullptr ? pclose(f) : -1;
  *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}
