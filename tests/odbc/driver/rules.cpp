// Rule files of the test ODBC driver (format in tests/odbc/README.md).
#include "rules.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "sqltext.h"

namespace qltestodbc {

namespace {

// libstdc++'s regex engine recurses per character; longer statements are
// left to SQLite rather than risk the stack.
constexpr size_t kMaxRuleMatchLength = 20000;

bool SplitValues(const std::string& text, std::vector<std::optional<std::string>>* out,
                 std::string* error) {
  size_t i = 0, n = text.size();
  while (true) {
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= n) return true;
    if (text[i] == '"') {
      std::string v;
      ++i;
      bool closed = false;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            v += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        v += text[i++];
      }
      if (!closed) {
        *error = "unterminated quoted value";
        return false;
      }
      out->push_back(v);
    } else {
      size_t j = i;
      while (j < n && !std::isspace(static_cast<unsigned char>(text[j]))) ++j;
      std::string v = text.substr(i, j - i);
      if (v == "NULL")
        out->push_back(std::nullopt);
      else
        out->push_back(v);
      i = j;
    }
  }
}

// A literal statement as a pattern: specials escaped.
std::string EscapeRegex(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != 0 && std::strchr("\\^$.|?*+()[]{}", c)) out += '\\';
    out += c;
  }
  return out;
}

bool ParseLong(const std::string& s, long* v) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), *v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

}  // namespace

bool ParseRules(const std::string& text, const std::string& fileName, RuleSet* out,
                std::string* error) {
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  std::vector<Rule> pending;     // "on" lines waiting for their action
  std::vector<size_t> current;   // rules that "cols"/"row" lines extend
  auto fail = [&](const std::string& why) {
    *error = fileName + " line " + std::to_string(lineNo) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    size_t sp = t.find_first_of(" \t");
    std::string verb = t.substr(0, sp);
    std::string rest = sp == std::string::npos ? "" : Trim(t.substr(sp + 1));
    if (verb == "on" || verb == "is") {
      if (rest.empty()) return fail("'" + verb + "' needs a pattern");
      Rule r;
      r.pattern = verb == "on" ? rest : EscapeRegex(rest);
      r.where = fileName.substr(fileName.find_last_of('/') + 1) + ":" + std::to_string(lineNo);
      try {
        r.re = std::regex(r.pattern, std::regex::ECMAScript | std::regex::icase);
      } catch (const std::regex_error& e) {
        return fail(std::string("bad pattern: ") + e.what());
      }
      pending.push_back(std::move(r));
      current.clear();
      continue;
    }
    if (verb == "type") {
      size_t sp2 = rest.find_first_of(" \t");
      long type;
      if (!ParseLong(rest.substr(0, sp2), &type)) return fail("'type' needs an SQL type number");
      std::string name = sp2 == std::string::npos ? "" : Trim(rest.substr(sp2 + 1));
      out->typeNames.emplace(static_cast<int>(type), name);
      continue;
    }
    if (verb == "cols" || verb == "row") {
      if (current.empty()) return fail("'" + verb + "' outside a rows rule");
      std::vector<std::optional<std::string>> values;
      std::string why;
      if (!SplitValues(rest, &values, &why)) return fail(why);
      for (size_t idx : current) {
        Rule& r = out->rules[idx];
        if (verb == "cols") {
          if (!r.rows.empty()) return fail("'cols' after 'row'");
          r.columns.clear();
          for (auto& v : values) r.columns.push_back(v.value_or("NULL"));
        } else {
          if (r.columns.empty())
            for (size_t k = 0; k < values.size(); ++k) r.columns.push_back("C" + std::to_string(k + 1));
          if (values.size() != r.columns.size())
            return fail("row has " + std::to_string(values.size()) + " values for " +
                        std::to_string(r.columns.size()) + " columns");
          r.rows.push_back(values);
        }
      }
      continue;
    }
    // Actions.
    if (pending.empty()) return fail("'" + verb + "' without a preceding 'on'");
    RuleAction action;
    Rule proto;
    if (verb == "ok") {
      action = RuleAction::Ok;
      if (!rest.empty() && !ParseLong(rest, &proto.rowCount)) return fail("'ok' takes a row count");
    } else if (verb == "nodata") {
      action = RuleAction::NoData;
    } else if (verb == "error") {
      action = RuleAction::Error;
      size_t sp2 = rest.find_first_of(" \t");
      proto.state = rest.substr(0, sp2);
      if (proto.state.size() != 5) return fail("'error' needs a five-character SQLSTATE");
      proto.message = sp2 == std::string::npos ? "" : Trim(rest.substr(sp2 + 1));
    } else if (verb == "rows") {
      action = RuleAction::Rows;
    } else if (verb == "sql") {
      action = RuleAction::Sql;
      if (rest.empty()) return fail("'sql' needs a statement");
      proto.sql = rest;
    } else {
      return fail("unknown directive '" + verb + "'");
    }
    current.clear();
    for (Rule& r : pending) {
      r.action = action;
      r.rowCount = proto.rowCount;
      r.state = proto.state;
      r.message = proto.message;
      r.sql = proto.sql;
      out->rules.push_back(std::move(r));
      if (action == RuleAction::Rows) current.push_back(out->rules.size() - 1);
    }
    pending.clear();
  }
  if (!pending.empty()) {
    lineNo = 0;
    return fail("pattern '" + pending.back().pattern + "' (" + pending.back().where + ") has no action");
  }
  return true;
}

bool LoadRuleFile(const std::string& path, RuleSet* out, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    *error = "cannot read rules file " + path;
    return false;
  }
  std::stringstream ss;
  ss << f.rdbuf();
  // Compiling the patterns is the slow part of a connect: a file read before
  // with the same text is not parsed again.
  struct Parsed {
    bool ok;
    RuleSet rules;
    std::string error;
  };
  static std::mutex mutex;
  static std::map<std::pair<std::string, std::string>, Parsed> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto key = std::make_pair(path, ss.str());
  auto it = cache.find(key);
  if (it == cache.end()) {
    Parsed p;
    p.ok = ParseRules(key.second, path, &p.rules, &p.error);
    if (cache.size() > 256) cache.clear();
    it = cache.emplace(std::move(key), std::move(p)).first;
  }
  if (!it->second.ok) {
    *error = it->second.error;
    return false;
  }
  out->rules.insert(out->rules.end(), it->second.rules.rules.begin(), it->second.rules.rules.end());
  for (const auto& [type, name] : it->second.rules.typeNames) out->typeNames.emplace(type, name);
  return true;
}

const Rule* FindRule(const RuleSet& rules, const std::string& sql) {
  if (sql.size() > kMaxRuleMatchLength) return nullptr;
  for (const Rule& r : rules.rules)
    if (std::regex_match(sql, r.re)) return &r;
  return nullptr;
}

std::string ExpandRuleSql(const Rule& rule, const std::string& sql) { return ExpandRuleText(rule, rule.sql, sql); }

std::string ExpandRuleText(const Rule& rule, const std::string& text, const std::string& sql) {
  std::smatch m;
  if (!std::regex_match(sql, m, rule.re)) return text;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '$' && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
      size_t g = static_cast<size_t>(text[i + 1] - '0');
      if (g < m.size()) out += m[g].str();
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace qltestodbc
