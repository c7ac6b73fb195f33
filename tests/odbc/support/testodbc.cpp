// Test helpers around the test ODBC driver.
#include "odbc/support/testodbc.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testodbc {

std::string DriverPath() { return QL_TESTODBC_PATH; }
std::string RulesDir() { return QL_TESTODBC_RULES_DIR; }

std::string ConnectString(const std::vector<std::pair<std::string, std::string>>& attrs) {
  std::string s = "DRIVER=" + DriverPath();
  for (const auto& [k, v] : attrs) {
    s += ";" + k + "=";
    if (v.find_first_of(";{} ") != std::string::npos) {
      s += "{";
      for (char c : v) s += c == '}' ? std::string("}}") : std::string(1, c);
      s += "}";
    } else {
      s += v;
    }
  }
  return s;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/qltest.XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  if (::mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  std::string p = File(name);
  std::ofstream f(p, std::ios::binary);
  f << content;
  return p;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

namespace {

void AppendUtf8(std::string* out, unsigned cp) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// A JSON parser for one trace line: enough for the driver's own output.
struct Parser {
  const std::string& s;
  size_t i = 0;
  bool ok = true;
  void Ws() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  }
  std::string String() {
    std::string out;
    ++i;  // opening quote
    while (i < s.size() && s[i] != '"') {
      if (s[i] == '\\' && i + 1 < s.size()) {
        char e = s[++i];
        switch (e) {
          case 'n': out += '\n'; break;
          case 'r': out += '\r'; break;
          case 't': out += '\t'; break;
          case 'u': {
            unsigned cp = static_cast<unsigned>(std::strtoul(s.substr(i + 1, 4).c_str(), nullptr, 16));
            AppendUtf8(&out, cp);
            i += 4;
            break;
          }
          default: out += e;
        }
        ++i;
      } else {
        out += s[i++];
      }
    }
    if (i >= s.size()) ok = false;
    ++i;
    return out;
  }
  // Skips any value and returns its raw text.
  std::string RawValue() {
    size_t start = i;
    if (i < s.size() && s[i] == '"') {
      String();
      return s.substr(start, i - start);
    }
    int depth = 0;
    while (i < s.size()) {
      char c = s[i];
      if (c == '"') {
        String();
        continue;
      }
      if (c == '[' || c == '{') ++depth;
      if (c == ']' || c == '}') {
        if (depth == 0) break;
        --depth;
      }
      if (c == ',' && depth == 0) break;
      ++i;
    }
    return s.substr(start, i - start);
  }
};

}  // namespace

std::vector<TraceEntry> ReadTrace(const std::string& path, std::string* error) {
  std::vector<TraceEntry> out;
  std::ifstream f(path, std::ios::binary);
  std::string line;
  int n = 0;
  while (std::getline(f, line)) {
    ++n;
    if (line.empty()) continue;
    TraceEntry e;
    e.line = line;
    Parser p{line};
    p.Ws();
    if (p.i >= line.size() || line[p.i] != '{') p.ok = false;
    ++p.i;
    while (p.ok) {
      p.Ws();
      if (p.i < line.size() && line[p.i] == '}') break;
      if (p.i >= line.size() || line[p.i] != '"') {
        p.ok = false;
        break;
      }
      std::string key = p.String();
      p.Ws();
      if (p.i >= line.size() || line[p.i] != ':') {
        p.ok = false;
        break;
      }
      ++p.i;
      p.Ws();
      if (p.i < line.size() && line[p.i] == '"')
        e.fields[key] = p.String();
      else
        e.fields[key] = p.RawValue();
      p.Ws();
      if (p.i < line.size() && line[p.i] == ',') ++p.i;
    }
    if (!p.ok) {
      if (error) *error = path + " line " + std::to_string(n) + " is not a JSON object: " + line;
      return out;
    }
    out.push_back(std::move(e));
  }
  if (error) error->clear();
  return out;
}

void NormalizeHandles(std::vector<TraceEntry>* trace) {
  std::map<std::string, std::string> dbcNames;
  std::map<std::string, int> stmtCount;
  std::map<std::string, std::string> stmtNames;
  auto mapDbc = [&](const std::string& d) {
    auto it = dbcNames.find(d);
    if (it != dbcNames.end()) return it->second;
    std::string n = "c";
    n += std::to_string(dbcNames.size() + 1);
    dbcNames[d] = n;
    return n;
  };
  auto mapHandle = [&](const std::string& h) {
    size_t dot = h.find('.');
    if (dot == std::string::npos) return mapDbc(h);
    auto it = stmtNames.find(h);
    if (it != stmtNames.end()) return it->second;
    std::string d = mapDbc(h.substr(0, dot));
    std::string n = d;
    n += ".s";
    n += std::to_string(++stmtCount[d]);
    stmtNames[h] = n;
    return n;
  };
  for (TraceEntry& e : *trace) {
    for (const char* key : {"h", "new"})
      if (e.Has(key)) e.fields[key] = mapHandle(e.fields[key]);
  }
}

std::vector<std::string> Statements(const std::vector<TraceEntry>& trace) {
  std::vector<std::string> out;
  for (const TraceEntry& e : trace) {
    std::string fn = e.Get("fn");
    if ((fn == "SQLExecDirect" || fn == "SQLPrepare") && e.Has("sql")) out.push_back(e.Get("sql"));
  }
  return out;
}

}  // namespace testodbc
