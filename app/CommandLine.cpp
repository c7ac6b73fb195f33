// Command-line flags of an unattended run.
#include "app/CommandLine.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <fstream>

#include "app/LoaderDlg.h"
#include "app/ResourceLibrary.h"
#include "app/SqlText.h"
#include "app/Text.h"

namespace {

constexpr int kStrBadName = 320;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// "/x/..." with a first component of two or more characters.
bool IsUnixPathWord(const std::string& w) {
  if (w.size() < 2 || w[0] != '/') return false;
  size_t second = w.find('/', 1);
  return second != std::string::npos && second >= 3;
}

bool IsLonePathFlag(const std::string& w) {
  if (w.size() != 2 || w[0] != '/') return false;
  char l = Upper(w[1]);
  return l == 'T' || l == 'L' || l == 'F' || l == 'D';
}

// The decimal number at the start of `s` (blanks skipped, optional sign),
// 0 when there is none; clamped to the int range.
int LeadingInt(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (neg) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<int>(v);
}

// One field of a row description: ends at the first "|", else ";", else "*".
std::string TakeField(std::string& rest) {
  size_t end = rest.find('|');
  if (end == std::string::npos) end = rest.find(';');
  if (end == std::string::npos) end = rest.find('*');
  std::string field = rest.substr(0, end);
  rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
  return field;
}

UploadJob JobFromDescription(const std::string& description) {
  std::string rest = description;
  UploadJob job;
  job.SourcePath = TrimWhite(TakeField(rest));
  std::string target = TakeField(rest);
  std::string range = rest;
  size_t slash = job.SourcePath.find_last_of("\\/");
  std::string file = slash == std::string::npos ? job.SourcePath : job.SourcePath.substr(slash + 1);
  job.TableName = file.substr(0, file.find('.'));
  job.TargetName = TrimWhite(target);
  if (job.TargetName.empty()) job.TargetName = job.TableName;
  size_t comma = range.find(',');
  std::string first = range.substr(0, comma);
  if (!first.empty()) job.FirstRow = LeadingInt(first);
  if (comma != std::string::npos) job.LastRow = LeadingInt(range.substr(comma + 1));
  return job;
}

// A flag the run cannot take: one line on stderr naming it, for a person at
// a terminal (the log, which may not be open yet, keeps its own line).
void TellTerminal(const std::string& what, const CommandFlag& f) {
  std::string flag = "/";
  if (f.letter != '\0') flag += f.letter;
  flag += TrimWhite(f.text);
  std::fprintf(stderr, "quendalour: %s: %s\n", what.c_str(), flag.c_str());
}

void LogJobListError(CLoaderDlg& dlg, int id, const std::string& subject) {
  dlg.m_Log << LoadResString(id) << subject << "\n";
  dlg.m_CommandLineError = true;
}

// Reads one line of at most `limit` characters after a trailing CR is
// dropped; false at the end of the file. `tooLong` tells a longer line, of
// which no more than limit + 2 characters are read.
bool ReadBoundedLine(std::istream& in, std::string& line, size_t limit, bool& tooLong) {
  line.clear();
  tooLong = false;
  int c;
  while ((c = in.get()) != EOF && c != '\n') {
    line += static_cast<char>(c);
    if (line.size() > limit + 1) break;
  }
  if (c == EOF && line.empty()) return false;
  if (!line.empty() && line.back() == '\r' && c == '\n') line.pop_back();
  tooLong = line.size() > limit;
  return true;
}

void ReadListFile(CLoaderDlg& dlg, const std::string& path, int& appended) {
  struct stat st {};
  std::ifstream in;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) in.open(path, std::ios::binary);
  if (!in.is_open()) {
    LogJobListError(dlg, IDS_LIST_UNREADABLE, path);
    return;
  }
  std::string line;
  bool tooLong = false;
  while (ReadBoundedLine(in, line, kMaxListLine, tooLong)) {
    if (tooLong) {
      LogJobListError(dlg, IDS_LIST_LINE_TOO_LONG, path);
      return;
    }
    dlg.m_Jobs.push_back(JobFromDescription(line));
    ++appended;
  }
  if (in.bad()) LogJobListError(dlg, IDS_LIST_UNREADABLE, path);
}

}  // namespace

std::string JoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i] != nullptr ? argv[i] : "";
    if (i > 1) {
      std::string prev = argv[i - 1] != nullptr ? argv[i - 1] : "";
      if (!(IsLonePathFlag(prev) && IsUnixPathWord(word))) line += ' ';
    }
    line += word;
  }
  return line;
}

std::vector<CommandFlag> SplitCommandLine(const std::string& line) {
  std::vector<CommandFlag> flags;
  size_t pos = line.find('/');
  while (pos != std::string::npos) {
    CommandFlag f;
    f.letter = pos + 1 < line.size() ? line[pos + 1] : '\0';
    size_t start = std::min(pos + 2, line.size());
    size_t next = std::string::npos;
    for (size_t i = start; i < line.size(); ++i) {
      if (line[i] == '/' && line[i - 1] == ' ') {
        next = i;
        break;
      }
    }
    f.text = line.substr(start, next == std::string::npos ? std::string::npos : next - start);
    flags.push_back(std::move(f));
    pos = next;
  }
  return flags;
}

void ParseTableList(CLoaderDlg& dlg, const std::string& flagText) {
  int appended = 0;
  std::string body = flagText.size() > 1 ? flagText.substr(1) : std::string();
  // The blank before the next flag is not part of the text.
  std::string measured = flagText.substr(0, flagText.find_last_not_of(" \t") + 1);
  if (measured.size() > kMaxTableFlagText) {
    LogJobListError(dlg, IDS_TABLE_TEXT_TOO_LONG, "");
  } else if (!flagText.empty() && Upper(flagText[0]) == 'L') {
    std::string path = body;
    if (!path.empty() && path[0] == ' ') path.erase(0, 1);
    path.erase(path.find_last_not_of(" \t") + 1);
    ReadListFile(dlg, path, appended);
  } else if (!flagText.empty() && Upper(flagText[0]) == 'T' && !TrimWhite(body).empty()) {
    dlg.m_Jobs.push_back(JobFromDescription(body));
    appended = 1;
  }
  dlg.m_Options.JobCount = appended;
}

void ApplyCommandLine(CLoaderDlg& dlg, const std::string& line) {
  bool used[26] = {};
  CUploadOptions& o = dlg.m_Options;
  for (const CommandFlag& f : SplitCommandLine(line)) {
    char l = Upper(f.letter);
    if (l < 'A' || l > 'Y') {
      dlg.m_Log << "Invalid command line flag\n";
      TellTerminal("invalid command line flag", f);
      continue;
    }
    int turn = (l == 'L') ? 'T' - 'A' : l - 'A';
    if (used[turn]) continue;
    used[turn] = true;
    std::string trimmed = TrimWhite(f.text);
    switch (l) {
      case 'A': o.Merge = true; break;
      case 'B': o.Owner = trimmed; break;
      case 'C': o.IndexColumns = true; break;
      case 'D': o.SetFolderFromFlag(f.text); break;
      case 'E': o.SkipKeyRefresh = true; break;
      case 'F': dlg.m_LogPath = trimmed; break;
      case 'G': o.GrantPublic = true; break;
      case 'I': o.SpatialIndex = false; break;
      case 'K':
        if (EqualsNoCase(trimmed, "NO_IDENTITY")) o.IdentityKey = false;
        break;
      case 'L':
      case 'T': ParseTableList(dlg, std::string(1, f.letter) + f.text); break;
      case 'M':
        o.StorageKind = EqualsNoCase(trimmed, "XY") ? 3 : trimmed == "CVCODE" ? 2 : -1;
        break;
      case 'N': o.AllowTemporal = false; break;
      case 'O': {
        CDbConnection* c = CreateConnection(2);
        if (c == nullptr) {
          used[turn] = false;
          break;
        }
        delete dlg.m_Connection;
        dlg.m_Connection = c;
        c->SetConnectText(f.text);
        c->SetQuiet(true);
        o.OciOnCommandLine = true;
        break;
      }
      case 'P':
        if (trimmed == "a" || trimmed == "A") {
          o.Append = true;
          o.Create = false;
        } else if (trimmed == "c" || trimmed == "C") {
          o.Create = true;
        } else if (trimmed == "r" || trimmed == "R") {
          o.Replace = true;
          o.Create = false;
        }
        break;
      case 'Q': dlg.m_Quiet = true; break;
      case 'R':
        o.Replace = true;
        o.Append = false;
        o.Create = false;
        break;
      case 'S':
        if (dlg.m_Connection != nullptr) {
          dlg.m_Connection->SetConnectText(f.text);
        } else {
          o.OdbcOnCommandLine = true;
          dlg.m_Connection = CreateConnection(1);
          if (dlg.m_Connection != nullptr) {
            dlg.m_Connection->SetConnectText(f.text);
            dlg.m_Connection->SetQuiet(true);
          }
        }
        if (dlg.m_Connection == nullptr) used[turn] = false;
        break;
      case 'U': o.KeyConstraint = false; break;
      case 'V': o.FlagV = true; break;
      case 'X': o.CommitInterval = LeadingInt(f.text); break;
      case 'Y':
        if (EqualsNoCase(trimmed, "NO_STYLE")) {
          o.StyleEnabled = false;
          o.StyleColumn = "CV_STYLE";
        } else {
          o.StyleEnabled = true;
          o.StyleColumn = trimmed.empty() ? "CV_STYLE" : trimmed;
          // The column stands bare in CREATE TABLE and INSERT: a name that
          // cannot is refused here, and kept, so that no table goes into
          // a column other than the one named (the uploader refuses it too).
          const std::string fault = SqlIdentifierFault(o.StyleColumn, "");
          if (!fault.empty()) {
            dlg.m_Log << LoadResString(kStrBadName) << " - /Y" << trimmed << "\n" << fault << "\n";
            dlg.m_CommandLineError = true;
            TellTerminal(fault, f);
          }
        }
        break;
      default: break;
    }
  }
}
