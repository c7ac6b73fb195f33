// SQL text handling of the test ODBC driver: a small tokenizer and the
// rewrites that turn the statements of the emulated server families into
// statements SQLite runs.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qltestodbc {

enum class TokKind { Space, Ident, QuotedIdent, String, Number, Param, Punct };

struct Token {
  TokKind kind;
  std::string text;  // as written
};

// Splits SQL text into tokens; never fails (unterminated quotes run to the end).
std::vector<Token> Tokenize(const std::string& sql);
std::string Join(const std::vector<Token>& toks);

// The identifier a name token stands for: quotes removed, doubled quotes undone.
std::string IdentName(const Token& t);
bool IsName(const Token& t);  // Ident or QuotedIdent
bool EqualsNoCase(const std::string& a, const std::string& b);
std::string Upper(std::string s);
std::string Lower(std::string s);
std::string Trim(const std::string& s);

// What the rewrite found out about a CREATE TABLE statement.
struct AutoColumn {
  std::string column;
  bool zeroTakesNext;  // serial: an inserted 0 takes the next number too
};

struct Rewritten {
  std::string sql;                    // statement for SQLite
  bool createTable = false;
  std::string createSchema;           // schema of the created table ("" = main)
  std::string createTable_;           // created table name
  std::vector<AutoColumn> autoColumns;
  std::vector<std::string> qualifiers;  // schema qualifiers named by the statement
  bool isCreate = false;              // statement starts with CREATE
};

// Applies the rewrites; `userSchema` qualifiers are dropped (that schema is
// SQLite's main database).
Rewritten RewriteSql(const std::string& sql, const std::string& userSchema);

// The first word of each column's type as a CREATE TABLE text writes it,
// by lower-case column name (SQLite reports some type names upper-cased).
std::map<std::string, std::string> DeclaredTypeWords(const std::string& createSql);

// "VARCHAR(32)" -> name VARCHAR, size 32, decimals -1 (absent).
struct DeclType {
  std::string name;
  long size = -1;
  long decimals = -1;
};
DeclType ParseDeclType(const std::string& decl);
// ODBC SQL data type for a declared type name (SQL_VARCHAR for unknown names).
int SqlTypeForName(const std::string& name);

}  // namespace qltestodbc
