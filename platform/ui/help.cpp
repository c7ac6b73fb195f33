// Help pages: the page must exist; the backend then opens it (the display
// backend through the desktop's viewer, the headless one records it).
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/ui/ui.h"

extern char** environ;

namespace ui {

bool ShowHelp(const std::string& page, int context, std::string* error) {
  struct stat st;
  if (::stat(page.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    if (error) *error = "help page " + page + " is missing";
    return false;
  }
  return CurrentBackend().OpenHelp(page, context, error);
}

// Starts "xdg-open page" without a shell; children that have ended are
// reaped on the next call so none lingers as a zombie for long.
bool LaunchViewer(const std::string& page, std::string* error) {
  static std::vector<pid_t> children;
  for (size_t i = 0; i < children.size();) {
    if (::waitpid(children[i], nullptr, WNOHANG) != 0) children.erase(children.begin() + i);
    else ++i;
  }
  std::string prog = "xdg-open";
  std::vector<char*> argv = {prog.data(), const_cast<char*>(page.c_str()), nullptr};
  pid_t pid;
  int rc = ::posix_spawnp(&pid, prog.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    if (error) *error = "cannot start xdg-open: " + std::string(std::strerror(rc));
    return false;
  }
  children.push_back(pid);
  return true;
}

}  // namespace ui
