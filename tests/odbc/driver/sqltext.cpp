// SQL tokenizer and statement rewrites of the test ODBC driver.
#include "sqltext.h"

#include <cctype>
#include <charconv>

namespace qltestodbc {

namespace {

bool IsIdentStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsIdentPart(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80;
}

// Index of the next token at or after i that is not a space, or toks.size().
size_t NextSig(const std::vector<Token>& toks, size_t i) {
  while (i < toks.size() && toks[i].kind == TokKind::Space) ++i;
  return i;
}

bool IsWord(const std::vector<Token>& toks, size_t i, const char* word) {
  return i < toks.size() && toks[i].kind == TokKind::Ident && EqualsNoCase(toks[i].text, word);
}
bool IsPunct(const std::vector<Token>& toks, size_t i, char c) {
  return i < toks.size() && toks[i].kind == TokKind::Punct && toks[i].text.size() == 1 &&
         toks[i].text[0] == c;
}

// Matches a pattern of words and punctuation ("(" ")" "," "?" "." or a word;
// "*" matches any one token) starting at the significant token i; on success
// returns the index after the last matched token.
bool MatchSeq(const std::vector<Token>& toks, size_t i, std::initializer_list<const char*> pat,
              size_t* end) {
  for (const char* p : pat) {
    i = NextSig(toks, i);
    if (i >= toks.size()) return false;
    std::string ps(p);
    if (ps == "*") {
    } else if (ps == "?") {
      if (toks[i].kind != TokKind::Param) return false;
    } else if (ps.size() == 1 && !IsIdentStart(static_cast<unsigned char>(ps[0]))) {
      if (!IsPunct(toks, i, ps[0])) return false;
    } else if (!IsWord(toks, i, p)) {
      return false;
    }
    ++i;
  }
  *end = i;
  return true;
}

void Erase(std::vector<Token>& toks, size_t from, size_t to) {
  for (size_t k = from; k < to && k < toks.size(); ++k) toks[k] = Token{TokKind::Space, ""};
}

// The significant token before i, or npos.
size_t PrevSig(const std::vector<Token>& toks, size_t i) {
  while (i > 0) {
    --i;
    if (toks[i].kind != TokKind::Space) return i;
  }
  return std::string::npos;
}

std::string QuoteIdent(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Reads "[schema .] name" at the significant token i. Returns index after it.
size_t ReadQualified(const std::vector<Token>& toks, size_t i, size_t* schemaTok, size_t* nameTok) {
  *schemaTok = std::string::npos;
  *nameTok = std::string::npos;
  i = NextSig(toks, i);
  if (i >= toks.size() || !IsName(toks[i])) return i;
  size_t dot = NextSig(toks, i + 1);
  if (IsPunct(toks, dot, '.')) {
    size_t n = NextSig(toks, dot + 1);
    if (n < toks.size() && IsName(toks[n])) {
      *schemaTok = i;
      *nameTok = n;
      return n + 1;
    }
  }
  *nameTok = i;
  return i + 1;
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool IsName(const Token& t) { return t.kind == TokKind::Ident || t.kind == TokKind::QuotedIdent; }

std::string IdentName(const Token& t) {
  if (t.kind != TokKind::QuotedIdent || t.text.size() < 2) return t.text;
  char open = t.text[0];
  char close = open == '[' ? ']' : open;
  std::string body = t.text.substr(1, t.text.back() == close ? t.text.size() - 2 : t.text.size() - 1);
  std::string out;
  for (size_t i = 0; i < body.size(); ++i) {
    out += body[i];
    if (body[i] == close && i + 1 < body.size() && body[i + 1] == close) ++i;
  }
  return out;
}

std::vector<Token> Tokenize(const std::string& sql) {
  std::vector<Token> toks;
  size_t i = 0, n = sql.size();
  auto quoted = [&](char close) {
    size_t j = i + 1;
    while (j < n) {
      if (sql[j] == close) {
        if (j + 1 < n && sql[j + 1] == close && close != ']') {
          j += 2;
          continue;
        }
        ++j;
        return j;
      }
      ++j;
    }
    return n;
  };
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(sql[i]);
    size_t j = i + 1;
    TokKind kind = TokKind::Punct;
    if (std::isspace(c)) {
      while (j < n && std::isspace(static_cast<unsigned char>(sql[j]))) ++j;
      kind = TokKind::Space;
    } else if (c == '-' && j < n && sql[j] == '-') {
      while (j < n && sql[j] != '\n') ++j;
      kind = TokKind::Space;
    } else if (c == '/' && j < n && sql[j] == '*') {
      size_t e = sql.find("*/", j + 1);
      j = e == std::string::npos ? n : e + 2;
      kind = TokKind::Space;
    } else if (c == '\'') {
      j = quoted('\'');
      kind = TokKind::String;
    } else if (c == '"' || c == '`') {
      j = quoted(static_cast<char>(c));
      kind = TokKind::QuotedIdent;
    } else if (c == '[') {
      j = quoted(']');
      kind = TokKind::QuotedIdent;
    } else if (c == '?') {
      kind = TokKind::Param;
    } else if (std::isdigit(c) || (c == '.' && j < n && std::isdigit(static_cast<unsigned char>(sql[j])))) {
      while (j < n && (std::isalnum(static_cast<unsigned char>(sql[j])) || sql[j] == '.')) ++j;
      kind = TokKind::Number;
    } else if (IsIdentStart(c)) {
      while (j < n && IsIdentPart(static_cast<unsigned char>(sql[j]))) ++j;
      kind = TokKind::Ident;
    }
    if (kind == TokKind::Space && !toks.empty() && toks.back().kind == TokKind::Space)
      toks.back().text += sql.substr(i, j - i);
    else
      toks.push_back(Token{kind, sql.substr(i, j - i)});
    i = j;
  }
  return toks;
}

std::string Join(const std::vector<Token>& toks) {
  std::string out;
  for (const Token& t : toks) out += t.text;
  return out;
}

Rewritten RewriteSql(const std::string& sql, const std::string& userSchema) {
  Rewritten r;
  std::vector<Token> toks = Tokenize(sql);
  size_t first = NextSig(toks, 0);
  r.isCreate = IsWord(toks, first, "create");
  size_t objTok = NextSig(toks, first + 1);
  bool unique = IsWord(toks, objTok, "unique");
  if (unique) objTok = NextSig(toks, objTok + 1);
  r.createTable = r.isCreate && IsWord(toks, objTok, "table");
  bool createIndex = r.isCreate && IsWord(toks, objTok, "index");

  // Spatial wrappers of bound parameters: the value goes in as it is.
  for (size_t i = 0; i < toks.size(); ++i) {
    size_t end;
    if (IsWord(toks, i, "qd2_morph_in") &&
        MatchSeq(toks, i, {"qd2_morph_in", "(", "cast", "(", "?", "as", "*", ")", ")"}, &end)) {
      Erase(toks, i, end);
      toks[i] = Token{TokKind::Param, "?"};
    }
  }
  // ODBC date, time and timestamp escapes: {d '...'}, {t '...'}, {ts '...'}
  // become the plain literal.
  for (size_t i = 0; i < toks.size(); ++i) {
    if (!IsPunct(toks, i, '{')) continue;
    const size_t kind = NextSig(toks, i + 1);
    if (!(IsWord(toks, kind, "d") || IsWord(toks, kind, "t") || IsWord(toks, kind, "ts"))) continue;
    const size_t literal = NextSig(toks, kind + 1);
    const size_t close = NextSig(toks, literal + 1);
    if (literal >= toks.size() || toks[literal].kind != TokKind::String || !IsPunct(toks, close, '}')) continue;
    const Token keep = toks[literal];
    Erase(toks, i + 1, close + 1);
    toks[i] = keep;
  }
  // Constraint forms SQLite does not know.
  for (size_t i = 0; i < toks.size(); ++i) {
    size_t end;
    if (IsWord(toks, i, "not") && MatchSeq(toks, i, {"not", "deferrable"}, &end)) Erase(toks, i, end);
    if (IsWord(toks, i, "key") && MatchSeq(toks, i, {"key", "to", "primary", "key", "index", "*"}, &end))
      Erase(toks, i, end);
    if (IsWord(toks, i, "primary") && MatchSeq(toks, i, {"primary", "key", "constraint", "*"}, &end)) {
      size_t k = NextSig(toks, NextSig(toks, i + 1) + 1);
      Erase(toks, k, end);
    }
  }
  // Identity and serial columns of CREATE TABLE.
  if (r.createTable) {
    int depth = 0;
    std::string column;
    bool expectColumn = false;
    size_t sinceColumn = 0;
    for (size_t i = 0; i < toks.size(); ++i) {
      if (toks[i].kind == TokKind::Space) continue;
      if (IsPunct(toks, i, '(')) {
        ++depth;
        if (depth == 1) expectColumn = true;
        continue;
      }
      if (IsPunct(toks, i, ')')) {
        --depth;
        continue;
      }
      if (depth == 1 && IsPunct(toks, i, ',')) {
        expectColumn = true;
        continue;
      }
      if (depth != 1) continue;
      if (expectColumn && IsName(toks[i])) {
        column = IdentName(toks[i]);
        expectColumn = false;
        sinceColumn = 0;
        continue;
      }
      ++sinceColumn;
      if (IsWord(toks, i, "serial") && sinceColumn == 1) {
        r.autoColumns.push_back(AutoColumn{column, true});
      } else if (IsWord(toks, i, "identity")) {
        size_t end = i + 1;
        size_t e2;
        if (MatchSeq(toks, i, {"identity", "(", "*", ",", "*", ")"}, &e2)) end = e2;
        Erase(toks, i, end);
        r.autoColumns.push_back(AutoColumn{column, false});
      }
    }
  }
  // Qualifiers: the user's own schema is SQLite's main database.
  for (size_t i = 0; i < toks.size(); ++i) {
    if (!IsName(toks[i])) continue;
    size_t dot = NextSig(toks, i + 1);
    if (!IsPunct(toks, dot, '.')) continue;
    size_t n = NextSig(toks, dot + 1);
    if (n >= toks.size() || !IsName(toks[n])) continue;
    size_t before = PrevSig(toks, i);
    if (before != std::string::npos && IsPunct(toks, before, '.')) continue;  // middle of a.b.c
    std::string q = IdentName(toks[i]);
    if (!userSchema.empty() && EqualsNoCase(q, userSchema)) {
      Erase(toks, i, dot + 1);
    } else if (!EqualsNoCase(q, "main") && !EqualsNoCase(q, "temp")) {
      r.qualifiers.push_back(q);
    }
    i = n;
  }
  if (r.isCreate) {
    size_t obj = objTok;
    if (IsWord(toks, obj, "table") || IsWord(toks, obj, "index") || IsWord(toks, obj, "view") ||
        IsWord(toks, obj, "trigger")) {
      size_t s, nm;
      size_t after = NextSig(toks, obj + 1);
      size_t e;
      if (MatchSeq(toks, after, {"if", "not", "exists"}, &e)) after = e;
      ReadQualified(toks, after, &s, &nm);
      if (s != std::string::npos) r.createSchema = IdentName(toks[s]);
      if (nm != std::string::npos && r.createTable) r.createTable_ = IdentName(toks[nm]);
      // create index I on S.T(c): SQLite wants the schema on the index name.
      if (createIndex && nm != std::string::npos) {
        size_t on = NextSig(toks, nm + 1);
        if (IsWord(toks, on, "on")) {
          size_t ts, tn;
          ReadQualified(toks, on + 1, &ts, &tn);
          if (ts != std::string::npos) {
            std::string tableSchema = IdentName(toks[ts]);
            if (s == std::string::npos) {
              toks[nm].text = QuoteIdent(tableSchema) + "." + toks[nm].text;
              r.createSchema = tableSchema;
            }
            Erase(toks, ts, NextSig(toks, ts + 1) + 1);
          }
        }
      }
    }
  }
  // A trailing statement terminator.
  size_t last = toks.size();
  while (last > 0 && toks[last - 1].kind == TokKind::Space) --last;
  if (last > 0 && IsPunct(toks, last - 1, ';')) toks[last - 1].text.clear();
  r.sql = Trim(Join(toks));
  return r;
}

std::map<std::string, std::string> DeclaredTypeWords(const std::string& createSql) {
  std::map<std::string, std::string> out;
  std::vector<Token> toks = Tokenize(createSql);
  int depth = 0;
  bool expectColumn = false;
  std::string column;
  for (size_t i = 0; i < toks.size(); ++i) {
    if (toks[i].kind == TokKind::Space) continue;
    if (IsPunct(toks, i, '(')) {
      if (++depth == 1) expectColumn = true;
      continue;
    }
    if (IsPunct(toks, i, ')')) {
      --depth;
      continue;
    }
    if (depth != 1) continue;
    if (IsPunct(toks, i, ',')) {
      expectColumn = true;
      column.clear();
      continue;
    }
    if (expectColumn && IsName(toks[i])) {
      column = Lower(IdentName(toks[i]));
      expectColumn = false;
      continue;
    }
    if (!column.empty() && toks[i].kind == TokKind::Ident) out.emplace(column, toks[i].text);
    column.clear();
  }
  return out;
}

DeclType ParseDeclType(const std::string& decl) {
  DeclType d;
  size_t open = decl.find('(');
  d.name = Trim(decl.substr(0, open));
  if (open == std::string::npos) return d;
  size_t close = decl.find(')', open);
  std::string inner = decl.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
  size_t comma = inner.find(',');
  auto num = [](const std::string& s, long* out) {
    std::string t = Trim(s);
    long v = 0;
    auto res = std::from_chars(t.data(), t.data() + t.size(), v);
    if (res.ec == std::errc() && res.ptr == t.data() + t.size()) *out = v;
  };
  num(inner.substr(0, comma), &d.size);
  if (comma != std::string::npos) num(inner.substr(comma + 1), &d.decimals);
  return d;
}

int SqlTypeForName(const std::string& name) {
  std::string n = Upper(name);
  size_t sp = n.find(' ');
  std::string w = n.substr(0, sp);
  struct Row { const char* name; int type; };
  static const Row rows[] = {
      {"CHAR", 1},       {"CHARACTER", 1}, {"NCHAR", -8},      {"VARCHAR", 12},    {"VARCHAR2", 12},
      {"NVARCHAR", -9},  {"NVARCHAR2", -9}, {"TEXT", -1},      {"DECIMAL", 3},     {"NUMERIC", 3},
      {"NUMBER", 3},     {"INTEGER", 4},   {"INT", 4},         {"SERIAL", 4},      {"SMALLINT", 5},
      {"FLOAT", 6},      {"REAL", 7},      {"DOUBLE", 8},      {"DATE", 91},       {"TIME", 92},
      {"TIMESTAMP", 93}, {"DATETIME", 93}, {"BLOB", -4},       {"IMAGE", -4},      {"BYTE", -4},
      {"LONGVARBINARY", -4}, {"VARBINARY", -3}, {"BINARY", -2}, {"BIGINT", -5},     {"BIT", -7},
  };
  for (const Row& r : rows)
    if (w == r.name) return r.type;
  if (w.rfind("ST_", 0) == 0) return -4;
  return 12;
}

}  // namespace qltestodbc
