// Native tables for runs of the real program: tools/mktab makes a .TAB
// beside a fixture table. Object rows need a map file, which mktab makes
// only where the table kernel writes map files; plain copies leave the
// objects out.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "fixture.h"
#include "app/TestSupport.h"

namespace upload {

// The native table made from the fixture at path (".fxt" becomes ".TAB");
// with plain set, of the fixture without its objects. Empty on failure.
inline std::string NativeTable(const std::string& path, bool plain) {
  std::string source = path;
  if (plain) {
    FixtureTable t;
    std::string error;
    if (!FixtureParse(qltest::ReadFile(path), t, error)) return std::string();
    t.mappable = false;
    t.has_counts = false;
    for (FixtureRow& r : t.rows) {
      r.code = 200;
      r.record.clear();
      r.blob.clear();
    }
    source = path.substr(0, path.size() - 4) + "_plain.fxt";
    FILE* f = std::fopen(source.c_str(), "wb");
    if (f == nullptr) return std::string();
    const std::string text = FixtureFormat(t);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  const std::string out = path.substr(0, path.size() - 4) + ".TAB";
  const pid_t pid = fork();
  if (pid == 0) {
    execl(QL_MKTAB_PATH, QL_MKTAB_PATH, source.c_str(), out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : std::string();
}

}  // namespace upload
