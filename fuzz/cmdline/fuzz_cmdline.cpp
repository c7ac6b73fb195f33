// Fuzz target: the command line. The input is argv words separated by NUL
// bytes; they are joined, split into flags, applied to a main dialog (without
// the flags that open files or make connections), and every /T text and the
// whole input as a list file go through ParseTableList.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/LoaderDlg.h"

namespace {

const std::string& ListPath() {
  static const std::string path = [] {
    char templ[] = "/tmp/fuzz_cmdline.XXXXXX";
    int fd = mkstemp(templ);
    if (fd >= 0) close(fd);
    return std::string(templ);
  }();
  return path;
}

bool OpensOrConnects(char letter) {
  switch (letter) {
    case 'L': case 'l': case 'S': case 's': case 'O': case 'o': case 'F': case 'f': return true;
    default: return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> words{"quendalour"};
  size_t start = 0;
  for (size_t i = 0; i <= input.size(); ++i) {
    if (i == input.size() || input[i] == '\0') {
      words.push_back(input.substr(start, i - start));
      start = i + 1;
    }
  }
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  std::string line = JoinCommandLine(static_cast<int>(argv.size()), argv.data());

  std::vector<CommandFlag> flags = SplitCommandLine(line);
  bool safe = true;
  for (const CommandFlag& f : flags) {
    if (OpensOrConnects(f.letter)) safe = false;
    if (f.letter == 'T' || f.letter == 't') {
      CLoaderDlg dlg;
      ParseTableList(dlg, std::string(1, f.letter) + f.text);
      if (dlg.m_Jobs.size() > 1) __builtin_trap();
    }
  }
  if (safe) {
    CLoaderDlg dlg;
    ApplyCommandLine(dlg, line);
  }

  if (FILE* f = std::fopen(ListPath().c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    CLoaderDlg dlg;
    ParseTableList(dlg, "L" + ListPath());
    if (static_cast<size_t>(dlg.m_Options.JobCount) != dlg.m_Jobs.size()) __builtin_trap();
  }
  return 0;
}
