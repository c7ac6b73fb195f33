// Statement rules of the test ODBC driver: what a statement that SQLite
// cannot run answers (rows, ok, an error, no data, or other SQL to run).
#pragma once

#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace qltestodbc {

enum class RuleAction { Ok, Error, Rows, Sql, NoData };

struct Rule {
  std::string pattern;
  std::regex re;
  RuleAction action = RuleAction::Ok;
  long rowCount = 0;                 // ok N
  std::string state, message;        // error
  std::vector<std::string> columns;  // rows
  std::vector<std::vector<std::optional<std::string>>> rows;
  std::string sql;                   // sql: $1..$9 take the pattern's groups
  std::string where;                 // file:line, for the trace
};

struct RuleSet {
  std::vector<Rule> rules;              // first match wins
  std::map<int, std::string> typeNames;  // SQLGetTypeInfo names by SQL type
};

// Parses rule text into `out` (appending rules; type names already present
// are kept). Returns false with a message naming the line on bad text.
bool ParseRules(const std::string& text, const std::string& fileName, RuleSet* out,
                std::string* error);
bool LoadRuleFile(const std::string& path, RuleSet* out, std::string* error);

// The first rule whose pattern matches the whole statement, or null.
const Rule* FindRule(const RuleSet& rules, const std::string& sql);
// The SQL of a `sql` rule with the groups of the statement put in.
std::string ExpandRuleSql(const Rule& rule, const std::string& sql);
// `text` with $0 (the whole statement) and $1..$9 put in: the message of an
// `error` rule.
std::string ExpandRuleText(const Rule& rule, const std::string& text, const std::string& sql);

}  // namespace qltestodbc
