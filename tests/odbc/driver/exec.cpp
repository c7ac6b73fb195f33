// Statement execution, catalogue result sets and connection set-up of the
// test ODBC driver. Tables live in SQLite: one database file per owner in the
// DB directory (in memory without one), the user's own schema being SQLite's
// main database and every other owner ATTACHed under its name when named.
#include "exec.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "sqltext.h"
#include "values.h"

#ifndef QL_TESTODBC_RULES_DIR
#define QL_TESTODBC_RULES_DIR "."
#endif

namespace qltestodbc {

namespace {

// Rows one result may hold: a runaway query fails instead of filling memory.
constexpr size_t kMaxResultRows = 1000000;

const char* const kKnownEvents[] = {"alloc:stmt", "connect", "execdirect", "execute",
                                    "bind",       "commit",  "getinfo"};

std::vector<std::pair<std::string, std::string>> ParseConnectString(const std::string& s,
                                                                    std::string* error) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t i = 0, n = s.size();
  while (i < n) {
    while (i < n && (s[i] == ';' || std::isspace(static_cast<unsigned char>(s[i])))) ++i;
    if (i >= n) break;
    size_t eq = s.find('=', i);
    if (eq == std::string::npos) {
      *error = "attribute without '=' in connect string: " + s.substr(i);
      return out;
    }
    std::string key = Upper(Trim(s.substr(i, eq - i)));
    i = eq + 1;
    std::string value;
    if (i < n && s[i] == '{') {
      ++i;
      bool closed = false;
      while (i < n) {
        if (s[i] == '}') {
          if (i + 1 < n && s[i + 1] == '}') {
            value += '}';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += s[i++];
      }
      if (!closed) {
        *error = "unterminated braced value of " + key;
        return out;
      }
      while (i < n && s[i] != ';') ++i;
    } else {
      size_t semi = s.find(';', i);
      value = s.substr(i, semi == std::string::npos ? std::string::npos : semi - i);
      i = semi == std::string::npos ? n : semi;
    }
    out.emplace_back(key, value);
  }
  return out;
}

bool ParseFail(const std::string& text, FailSpec* spec, std::string* error) {
  std::string t = text;
  for (const char* ev : kKnownEvents) {
    std::string e(ev);
    if (t.compare(0, e.size(), e) == 0 && (t.size() == e.size() || t[e.size()] == ':' || t[e.size()] == '@')) {
      spec->event = e;
      std::string rest = t.substr(e.size());
      size_t at = rest.rfind('@');
      if (at != std::string::npos) {
        std::string num = rest.substr(at + 1);
        long v = 0;
        auto r = std::from_chars(num.data(), num.data() + num.size(), v);
        if (r.ec == std::errc() && r.ptr == num.data() + num.size() && v > 0 && !num.empty()) {
          spec->nth = v;
          rest = rest.substr(0, at);
        }
      }
      if (!rest.empty()) {
        if (rest[0] != ':') {
          *error = "bad FAIL value: " + text;
          return false;
        }
        spec->pattern = rest.substr(1);
        try {
          spec->re = std::regex(spec->pattern, std::regex::ECMAScript | std::regex::icase);
        } catch (const std::regex_error& ex) {
          *error = "bad FAIL pattern '" + spec->pattern + "': " + ex.what();
          return false;
        }
      }
      return true;
    }
  }
  *error = "unknown FAIL event: " + text;
  return false;
}

std::string ProfileFor(const std::string& dbms) {
  struct P { const char* prefix; const char* profile; };
  static const P table[] = {{"Informix", "informix"},           {"DB2", "db2"},
                            {"Oracle", "oracle"},               {"Helvoristan/ORACLE", "oracle"},
                            {"ACCESS", "access"},               {"Microsoft SQL Server", "mssql"},
                            {"SQL Server", "sqlserver"}};
  for (const P& p : table)
    if (dbms.rfind(p.prefix, 0) == 0) return p.profile;
  return "generic";
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Owner databases in the DB directory: file stems of "*.sqlite".
std::vector<std::string> SchemaFiles(const Dbc* dbc) {
  std::vector<std::string> out;
  if (dbc->dbDir.empty()) return out;
  DIR* d = ::opendir(dbc->dbDir.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    const std::string ext = ".sqlite";
    if (n.size() > ext.size() && n.compare(n.size() - ext.size(), ext.size(), ext) == 0)
      out.push_back(n.substr(0, n.size() - ext.size()));
  }
  ::closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

bool ExecPlain(sqlite3* db, const std::string& sql, std::string* error) {
  char* msg = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    *error = msg ? msg : "SQLite error";
    sqlite3_free(msg);
    return false;
  }
  return true;
}

std::string QuoteId(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

bool Attach(Dbc* dbc, const std::string& name, std::string* error) {
  std::string key = Lower(name);
  if (dbc->attached.count(key) || EqualsNoCase(name, dbc->userSchema) || key == "main" || key == "temp")
    return true;
  if (dbc->inTxn) {
    *error = "cannot open the database of owner " + name + " inside a transaction";
    return false;
  }
  std::string path = dbc->dbDir.empty() ? ":memory:" : dbc->dbDir + "/" + name + ".sqlite";
  sqlite3_stmt* st = nullptr;
  std::string sql = "ATTACH DATABASE ? AS " + QuoteId(name);
  if (sqlite3_prepare_v2(dbc->db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(dbc->db);
    return false;
  }
  sqlite3_bind_text(st, 1, path.c_str(), -1, SQLITE_TRANSIENT);
  int rc = sqlite3_step(st);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    *error = sqlite3_errmsg(dbc->db);
    return false;
  }
  dbc->attached[key] = name;
  return true;
}

// Attaches the owners a statement names: those with a database file, and
// the owner of an object being created.
bool EnsureSchemas(Dbc* dbc, const Rewritten& rw, std::string* error) {
  std::vector<std::string> files = SchemaFiles(dbc);
  for (const std::string& q : rw.qualifiers) {
    if (dbc->attached.count(Lower(q))) continue;
    for (const std::string& f : files)
      if (EqualsNoCase(f, q) && !Attach(dbc, f, error)) return false;
  }
  if (rw.isCreate && !rw.createSchema.empty()) {
    std::string name = rw.createSchema;
    for (const std::string& f : files)
      if (EqualsNoCase(f, name)) name = f;
    if (!Attach(dbc, name, error)) return false;
  }
  return true;
}

// Case-insensitive LIKE with % and _ and a backslash escape.
bool Like(const std::string& pat, const std::string& text, size_t p = 0, size_t t = 0) {
  while (p < pat.size()) {
    char c = pat[p];
    if (c == '%') {
      for (size_t k = t; k <= text.size(); ++k)
        if (Like(pat, text, p + 1, k)) return true;
      return false;
    }
    if (t >= text.size()) return false;
    if (c == '\\' && p + 1 < pat.size()) c = pat[++p];
    else if (c == '_') {
      ++p;
      ++t;
      continue;
    }
    if (std::tolower(static_cast<unsigned char>(c)) != std::tolower(static_cast<unsigned char>(text[t])))
      return false;
    ++p;
    ++t;
  }
  return t == text.size();
}

bool Matches(const std::optional<std::string>& pat, const std::string& text) {
  return !pat || pat->empty() || Like(*pat, text);
}

Value Txt(const std::string& s) {
  Value v;
  v.type = Value::Text;
  v.s = s;
  return v;
}
Value Int(long long i) {
  Value v;
  v.type = Value::Int;
  v.i = i;
  return v;
}
Value Nul() { return Value{}; }
Value OptTxt(const std::optional<std::string>& s) { return s ? Txt(*s) : Nul(); }

void OpenResult(Stmt* s, std::vector<std::string> names, std::vector<SQLSMALLINT> types,
                std::vector<std::vector<Value>> rows) {
  CloseCursor(s);
  s->rs.names = std::move(names);
  s->rs.types = std::move(types);
  s->rs.rows = std::move(rows);
  s->open = true;
  s->cursor = -1;
  s->rowCount = -1;
}

// (schema name as reported, SQLite database name) of every open database,
// after attaching the owner files not yet open.
std::vector<std::pair<std::string, std::string>> Databases(Dbc* dbc) {
  std::string ignored;
  if (!dbc->inTxn)
    for (const std::string& f : SchemaFiles(dbc)) Attach(dbc, f, &ignored);
  std::vector<std::pair<std::string, std::string>> out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(dbc->db, "PRAGMA database_list", -1, &st, nullptr) != SQLITE_OK) return out;
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    if (name == "temp") continue;
    out.emplace_back(name == "main" ? dbc->userSchema : dbc->attached.count(Lower(name)) ? dbc->attached[Lower(name)] : name, name);
  }
  sqlite3_finalize(st);
  return out;
}

struct TableRef {
  std::string schema, db, name, type;
};

std::vector<TableRef> FindTables(Dbc* dbc, const std::optional<std::string>& schema,
                                 const std::optional<std::string>& table) {
  std::vector<TableRef> out;
  for (auto& [schemaName, dbName] : Databases(dbc)) {
    if (!Matches(schema, schemaName)) continue;
    std::string sql = "SELECT name, type FROM " + QuoteId(dbName) +
                      ".sqlite_master WHERE type IN ('table','view') AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(dbc->db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) continue;
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      std::string type = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
      if (Matches(table, name)) out.push_back(TableRef{schemaName, dbName, name, Upper(type)});
    }
    sqlite3_finalize(st);
  }
  return out;
}

struct ColumnInfo {
  std::string name, decl, dflt;
  bool hasDefault = false, notNull = false;
  int pk = 0, ordinal = 0;
};

std::vector<ColumnInfo> TableColumns(Dbc* dbc, const TableRef& t) {
  std::vector<ColumnInfo> out;
  std::string sql = "PRAGMA " + QuoteId(t.db) + ".table_info(" + QuoteId(t.name) + ")";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(dbc->db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return out;
  while (sqlite3_step(st) == SQLITE_ROW) {
    ColumnInfo c;
    c.ordinal = sqlite3_column_int(st, 0) + 1;
    c.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    const unsigned char* decl = sqlite3_column_text(st, 2);
    c.decl = decl ? reinterpret_cast<const char*>(decl) : "";
    c.notNull = sqlite3_column_int(st, 3) != 0;
    if (sqlite3_column_type(st, 4) != SQLITE_NULL) {
      c.hasDefault = true;
      c.dflt = reinterpret_cast<const char*>(sqlite3_column_text(st, 4));
    }
    c.pk = sqlite3_column_int(st, 5);
    out.push_back(c);
  }
  sqlite3_finalize(st);
  // SQLite upper-cases the type names it knows (INTEGER, REAL, TEXT, ...);
  // the CREATE text keeps them as the statement wrote them.
  std::string master = "SELECT sql FROM " + QuoteId(t.db) + ".sqlite_master WHERE type = 'table' AND name = ?";
  if (sqlite3_prepare_v2(dbc->db, master.c_str(), -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) != nullptr) {
      std::map<std::string, std::string> words =
          DeclaredTypeWords(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
      for (ColumnInfo& c : out) {
        auto it = words.find(Lower(c.name));
        if (it == words.end()) continue;
        const std::string& w = it->second;
        if (c.decl.size() >= w.size() && EqualsNoCase(c.decl.substr(0, w.size()), w))
          c.decl.replace(0, w.size(), w);
      }
    }
    sqlite3_finalize(st);
  }
  return out;
}

bool BeginIfNeeded(Dbc* dbc, std::string* error) {
  if (dbc->autocommit || dbc->inTxn) return true;
  if (!ExecPlain(dbc->db, "BEGIN", error)) return false;
  dbc->inTxn = true;
  return true;
}

std::string FirstWord(const std::string& sql) {
  std::vector<Token> toks = Tokenize(sql);
  for (const Token& t : toks)
    if (t.kind != TokKind::Space) return Lower(t.text);
  return "";
}

SQLRETURN RunSqlite(Stmt* s, const std::string& sql, const std::vector<Value>& params, JsonLine& line) {
  Dbc* dbc = s->dbc;
  Rewritten rw = RewriteSql(sql, dbc->userSchema);
  if (rw.sql != Trim(sql)) line.Str("sqlite", rw.sql);
  std::string error;
  if (!EnsureSchemas(dbc, rw, &error) || !BeginIfNeeded(dbc, &error)) {
    AddDiag(s, "HY000", error);
    return SQL_ERROR;
  }
  sqlite3_stmt* st = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(dbc->db, rw.sql.c_str(), static_cast<int>(rw.sql.size()), &st, &tail) != SQLITE_OK) {
    AddDiag(s, "HY000", sqlite3_errmsg(dbc->db), sqlite3_errcode(dbc->db));
    return SQL_ERROR;
  }
  if (!st) {
    s->rowCount = 0;
    return SQL_SUCCESS;
  }
  if (tail && !Trim(tail).empty() && Trim(tail) != ";") {
    sqlite3_finalize(st);
    AddDiag(s, "HY000", "only one statement can run at a time");
    return SQL_ERROR;
  }
  int np = sqlite3_bind_parameter_count(st);
  for (int i = 1; i <= np; ++i) {
    if (static_cast<size_t>(i) > params.size()) {
      sqlite3_finalize(st);
      AddDiag(s, "07002", "parameter " + std::to_string(i) + " is not bound");
      return SQL_ERROR;
    }
    const Value& v = params[static_cast<size_t>(i - 1)];
    switch (v.type) {
      case Value::Null: sqlite3_bind_null(st, i); break;
      case Value::Int: sqlite3_bind_int64(st, i, v.i); break;
      case Value::Real: sqlite3_bind_double(st, i, v.d); break;
      case Value::Text: sqlite3_bind_text(st, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT); break;
      case Value::Blob: sqlite3_bind_blob(st, i, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT); break;
    }
  }
  int ncol = sqlite3_column_count(st);
  std::vector<std::vector<Value>> rows;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    if (rows.size() >= kMaxResultRows) {
      sqlite3_finalize(st);
      AddDiag(s, "HY000", "result has more than " + std::to_string(kMaxResultRows) + " rows");
      return SQL_ERROR;
    }
    std::vector<Value> row;
    for (int c = 0; c < ncol; ++c) {
      Value v;
      switch (sqlite3_column_type(st, c)) {
        case SQLITE_INTEGER: v.type = Value::Int; v.i = sqlite3_column_int64(st, c); break;
        case SQLITE_FLOAT:
          v.type = Value::Real;
          v.d = sqlite3_column_double(st, c);
          v.s = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
          break;
        case SQLITE_TEXT:
          v.type = Value::Text;
          v.s.assign(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                     static_cast<size_t>(sqlite3_column_bytes(st, c)));
          break;
        case SQLITE_BLOB:
          v.type = Value::Blob;
          v.s.assign(static_cast<const char*>(sqlite3_column_blob(st, c)),
                     static_cast<size_t>(sqlite3_column_bytes(st, c)));
          break;
        default: break;
      }
      row.push_back(std::move(v));
    }
    rows.push_back(std::move(row));
  }
  std::vector<std::string> names;
  std::vector<SQLSMALLINT> types;
  std::vector<long> sizes, scales;
  for (int c = 0; c < ncol; ++c) {
    names.push_back(sqlite3_column_name(st, c) ? sqlite3_column_name(st, c) : "");
    const char* decl = sqlite3_column_decltype(st, c);
    SQLSMALLINT t = SQL_VARCHAR;
    const DeclType declared = decl ? ParseDeclType(decl) : DeclType{};
    sizes.push_back(declared.size);
    scales.push_back(declared.decimals);
    if (decl)
      t = static_cast<SQLSMALLINT>(SqlTypeForName(declared.name));
    else if (!rows.empty() && rows[0][static_cast<size_t>(c)].type == Value::Int)
      t = SQL_INTEGER;
    else if (!rows.empty() && rows[0][static_cast<size_t>(c)].type == Value::Real)
      t = SQL_DOUBLE;
    types.push_back(t);
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    AddDiag(s, "HY000", sqlite3_errmsg(dbc->db), sqlite3_errcode(dbc->db));
    return SQL_ERROR;
  }
  if (rw.createTable) {
    std::string schema = rw.createSchema.empty() ? "main" : rw.createSchema;
    for (const AutoColumn& a : rw.autoColumns) {
      std::string t = QuoteId(rw.createTable_), c = QuoteId(a.column);
      std::string trig = "CREATE TRIGGER " + QuoteId(schema) + "." +
                         QuoteId("ql_auto_" + rw.createTable_ + "_" + a.column) + " AFTER INSERT ON " + t +
                         " FOR EACH ROW WHEN NEW." + c + " IS NULL" + (a.zeroTakesNext ? " OR NEW." + c + " = 0" : "") +
                         " BEGIN UPDATE " + t + " SET " + c + " = (SELECT COALESCE(MAX(" + c + "),0)+1 FROM " + t +
                         ") WHERE rowid = NEW.rowid; END";
      if (!ExecPlain(dbc->db, trig, &error)) {
        AddDiag(s, "HY000", error);
        return SQL_ERROR;
      }
    }
  }
  if (ncol > 0) {
    OpenResult(s, std::move(names), std::move(types), std::move(rows));
    s->rs.sizes = std::move(sizes);
    s->rs.scales = std::move(scales);
    line.Num("rows", static_cast<long long>(s->rs.rows.size()));
    return SQL_SUCCESS;
  }
  std::string verb = FirstWord(rw.sql);
  if (verb == "insert" || verb == "update" || verb == "delete") {
    s->rowCount = sqlite3_changes(dbc->db);
    line.Num("count", s->rowCount);
    if (verb != "insert" && s->rowCount == 0) return SQL_NO_DATA;
  } else {
    s->rowCount = 0;
  }
  return SQL_SUCCESS;
}

}  // namespace

void AddDiag(Handle* h, const std::string& state, const std::string& message, SQLINTEGER native) {
  h->diags.push_back(DiagRec{state, native, message});
}

void TraceCall(Dbc* dbc, Handle* h, JsonLine& line, SQLRETURN rc) {
  if (!dbc || dbc->trace.empty()) return;
  line.Num("rc", rc);
  if ((rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) && h && !h->diags.empty()) {
    line.Str("state", h->diags[0].state);
    line.Str("msg", h->diags[0].message);
  }
  AppendTrace(dbc->trace, line.Close());
}

bool FailFires(Dbc* dbc, const std::string& event, const std::string& subject) {
  bool fire = false;
  for (FailSpec& f : dbc->fails) {
    if (f.event != event) continue;
    if (f.re && !std::regex_search(subject, *f.re)) continue;
    ++f.seen;
    if (f.nth == 0 || f.seen == f.nth) fire = true;
  }
  return fire;
}

SQLRETURN ConnectDbc(Dbc* dbc, const std::string& connectString, JsonLine& line) {
  std::string error;
  auto attrs = ParseConnectString(connectString, &error);
  for (auto& [k, v] : attrs) {
    if (k == "FAIL") continue;
    dbc->attrs[k] = v;
  }
  dbc->trace = dbc->Attr("TRACE");
  line.Str("in", connectString);
  if (!error.empty()) {
    AddDiag(dbc, "HY000", error);
    return SQL_ERROR;
  }
  for (auto& [k, v] : attrs) {
    if (k != "FAIL") continue;
    FailSpec spec;
    if (!ParseFail(v, &spec, &error)) {
      AddDiag(dbc, "HY000", error);
      return SQL_ERROR;
    }
    dbc->fails.push_back(std::move(spec));
  }
  if (EqualsNoCase(dbc->Attr("PROMPT"), "cancel")) return SQL_NO_DATA;
  if (FailFires(dbc, "connect", connectString)) {
    AddDiag(dbc, "08001", "injected failure: connect");
    return SQL_ERROR;
  }
  std::string dbms = dbc->Attr("DBMS", "SQLite");
  dbc->profile = dbc->Attr("PROFILE", ProfileFor(dbms));
  std::string defSchema = dbc->Attr("DEFSCHEMA");
  dbc->userSchema = !defSchema.empty() ? defSchema : !dbc->Attr("UID").empty() ? dbc->Attr("UID") : "dbo";
  const char* envDir = std::getenv("QL_TESTODBC_RULES_DIR");
  std::string rulesDir = envDir && *envDir ? envDir : QL_TESTODBC_RULES_DIR;
  std::string rulesFile = dbc->Attr("RULES");
  if (!rulesFile.empty() && !LoadRuleFile(rulesFile, &dbc->rules, &error)) {
    AddDiag(dbc, "HY000", error);
    return SQL_ERROR;
  }
  for (const std::string& f : {rulesDir + "/" + dbc->profile + ".txt", rulesDir + "/common.txt"}) {
    if (!FileExists(f)) continue;
    if (!LoadRuleFile(f, &dbc->rules, &error)) {
      AddDiag(dbc, "HY000", error);
      return SQL_ERROR;
    }
  }
  dbc->dbDir = dbc->Attr("DB");
  std::string mainPath = ":memory:";
  if (!dbc->dbDir.empty()) {
    struct stat st;
    if (::stat(dbc->dbDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      AddDiag(dbc, "08001", "DB directory does not exist: " + dbc->dbDir);
      return SQL_ERROR;
    }
    mainPath = dbc->dbDir + "/" + dbc->userSchema + ".sqlite";
    for (const std::string& f : SchemaFiles(dbc))
      if (EqualsNoCase(f, dbc->userSchema)) mainPath = dbc->dbDir + "/" + f + ".sqlite";
  }
  if (sqlite3_open_v2(mainPath.c_str(), &dbc->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    AddDiag(dbc, "08001", std::string("cannot open database: ") + sqlite3_errmsg(dbc->db));
    sqlite3_close(dbc->db);
    dbc->db = nullptr;
    return SQL_ERROR;
  }
  // Another connection's write lock is waited for, with a guard long enough
  // for a loaded machine; no test relies on the wait running out.
  sqlite3_busy_timeout(dbc->db, 60000);
  dbc->connected = true;
  return SQL_SUCCESS;
}

void CloseDbc(Dbc* dbc) {
  if (dbc->db) {
    if (dbc->inTxn) {
      std::string ignored;
      ExecPlain(dbc->db, "ROLLBACK", &ignored);
    }
    sqlite3_close_v2(dbc->db);
  }
  dbc->db = nullptr;
  dbc->inTxn = false;
  dbc->connected = false;
  dbc->attached.clear();
  dbc->fails.clear();
  dbc->rules = RuleSet{};
}

SQLRETURN EndTransaction(Dbc* dbc, bool commit) {
  if (commit && FailFires(dbc, "commit", "commit")) {
    AddDiag(dbc, "HY000", "injected failure: commit");
    return SQL_ERROR;
  }
  if (!dbc->inTxn) return SQL_SUCCESS;
  std::string error;
  if (!ExecPlain(dbc->db, commit ? "COMMIT" : "ROLLBACK", &error)) {
    AddDiag(dbc, "HY000", error);
    return SQL_ERROR;
  }
  dbc->inTxn = false;
  return SQL_SUCCESS;
}

void CloseCursor(Stmt* s) {
  s->open = false;
  s->rs = Result{};
  s->cursor = -1;
  s->getDataCol = 0;
  s->getDataOffset = 0;
  s->getDataDone = false;
}

SQLRETURN RunStatement(Stmt* s, const std::string& sql, JsonLine& line) {
  Dbc* dbc = s->dbc;
  CloseCursor(s);
  s->rowCount = -1;
  line.Str("sql", sql);
  // Parameter values, read now so that the trace shows them whatever answers.
  std::vector<Value> values;
  std::string params;
  int maxParam = s->params.empty() ? 0 : s->params.rbegin()->first;
  for (int i = 1; i <= maxParam; ++i) {
    auto it = s->params.find(i);
    Value v;
    if (it != s->params.end()) {
      std::string state, error;
      if (!ReadParam(it->second, &v, &state, &error)) {
        AddDiag(s, state, "parameter " + std::to_string(i) + ": " + error);
        return SQL_ERROR;
      }
      const Param& p = it->second;
      JsonLine pj;
      pj.Num("n", i).Num("c", p.ctype).Num("t", p.sqltype).Num("size", static_cast<long long>(p.size))
          .Num("dec", p.decimals).Raw("v", ValueJson(v));
      if (!params.empty()) params += ",";
      params += pj.Close();
    }
    values.push_back(std::move(v));
  }
  if (!params.empty()) line.Raw("params", "[" + params + "]");
  if (FailFires(dbc, s->isPrepared ? "execute" : "execdirect", sql)) {
    AddDiag(s, "HY000", std::string("injected failure: ") + (s->isPrepared ? "execute" : "execdirect"));
    return SQL_ERROR;
  }
  std::string trimmed = Trim(sql);
  std::string toRun = sql;
  if (const Rule* r = FindRule(dbc->rules, trimmed)) {
    line.Str("rule", r->where);
    switch (r->action) {
      case RuleAction::Ok:
        s->rowCount = r->rowCount;
        return SQL_SUCCESS;
      case RuleAction::NoData:
        s->rowCount = 0;
        return SQL_NO_DATA;
      case RuleAction::Error:
        AddDiag(s, r->state, ExpandRuleText(*r, r->message, trimmed));
        return SQL_ERROR;
      case RuleAction::Rows: {
        std::vector<std::vector<Value>> rows;
        for (auto& row : r->rows) {
          std::vector<Value> vr;
          for (auto& cell : row) vr.push_back(OptTxt(cell));
          rows.push_back(std::move(vr));
        }
        OpenResult(s, r->columns, std::vector<SQLSMALLINT>(r->columns.size(), SQL_VARCHAR), std::move(rows));
        line.Num("rows", static_cast<long long>(s->rs.rows.size()));
        return SQL_SUCCESS;
      }
      case RuleAction::Sql:
        toRun = ExpandRuleSql(*r, trimmed);
        break;
    }
  }
  return RunSqlite(s, toRun, values, line);
}

SQLRETURN CatalogTables(Stmt* s, const std::optional<std::string>& cat, const std::optional<std::string>& schema,
                        const std::optional<std::string>& table, const std::optional<std::string>& type) {
  Dbc* dbc = s->dbc;
  std::vector<std::string> names = {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"};
  std::vector<SQLSMALLINT> types(5, SQL_VARCHAR);
  std::vector<std::vector<Value>> rows;
  bool emptyCat = !cat || cat->empty();
  bool emptyTable = !table || table->empty();
  if (schema && *schema == "%" && emptyCat && emptyTable) {
    // Enumerates the schemas: the user's own and every owner database.
    std::vector<std::string> all;
    for (auto& [schemaName, db] : Databases(dbc)) all.push_back(schemaName);
    for (const std::string& f : SchemaFiles(dbc)) all.push_back(f);
    std::sort(all.begin(), all.end(), [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    std::vector<std::string> unique;
    for (const std::string& n : all)
      if (unique.empty() || !EqualsNoCase(unique.back(), n)) unique.push_back(n);
    for (const std::string& n : unique) rows.push_back({Nul(), Txt(n), Nul(), Nul(), Nul()});
  } else {
    std::string cat0 = dbc->Attr("DATABASE", "testdb");
    // CATPAD=n: schema and table names padded with n blanks, as fixed-width
    // catalogue columns (Informix) report them.
    std::string pad(static_cast<size_t>(std::clamp(std::atoi(dbc->Attr("CATPAD").c_str()), 0, 64)), ' ');
    for (const TableRef& t : FindTables(dbc, schema, table)) {
      if (type && !type->empty() && Upper(*type).find(t.type) == std::string::npos) continue;
      rows.push_back({Txt(cat0), Txt(t.schema + pad), Txt(t.name + pad), Txt(t.type), Nul()});
    }
  }
  OpenResult(s, names, types, std::move(rows));
  return SQL_SUCCESS;
}

SQLRETURN CatalogColumns(Stmt* s, const std::optional<std::string>& schema, const std::optional<std::string>& table,
                         const std::optional<std::string>& column) {
  Dbc* dbc = s->dbc;
  std::vector<std::string> names = {"TABLE_CAT",        "TABLE_SCHEM",     "TABLE_NAME",    "COLUMN_NAME",
                                    "DATA_TYPE",        "TYPE_NAME",       "COLUMN_SIZE",   "BUFFER_LENGTH",
                                    "DECIMAL_DIGITS",   "NUM_PREC_RADIX",  "NULLABLE",      "REMARKS",
                                    "COLUMN_DEF",       "SQL_DATA_TYPE",   "SQL_DATETIME_SUB",
                                    "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"};
  std::vector<SQLSMALLINT> types = {SQL_VARCHAR, SQL_VARCHAR, SQL_VARCHAR, SQL_VARCHAR, SQL_SMALLINT, SQL_VARCHAR,
                                    SQL_INTEGER, SQL_INTEGER, SQL_SMALLINT, SQL_SMALLINT, SQL_SMALLINT, SQL_VARCHAR,
                                    SQL_VARCHAR, SQL_SMALLINT, SQL_SMALLINT, SQL_INTEGER, SQL_INTEGER, SQL_VARCHAR};
  std::vector<std::vector<Value>> rows;
  std::string cat0 = dbc->Attr("DATABASE", "testdb");
  for (const TableRef& t : FindTables(dbc, schema, table)) {
    for (const ColumnInfo& c : TableColumns(dbc, t)) {
      if (!Matches(column, c.name)) continue;
      DeclType d = ParseDeclType(c.decl);
      int sqlType = SqlTypeForName(d.name);
      bool numeric = sqlType >= 2 && sqlType <= 8;
      bool character = sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_LONGVARCHAR;
      rows.push_back({Txt(cat0), Txt(t.schema), Txt(t.name), Txt(c.name), Int(sqlType), Txt(d.name),
                      d.size >= 0 ? Int(d.size) : Nul(), d.size >= 0 ? Int(d.size) : Nul(),
                      d.decimals >= 0 ? Int(d.decimals) : Nul(), numeric ? Int(10) : Nul(),
                      Int(c.notNull || c.pk ? 0 : 1), Nul(), c.hasDefault ? Txt(c.dflt) : Nul(), Int(sqlType), Nul(),
                      character && d.size >= 0 ? Int(d.size) : Nul(), Int(c.ordinal),
                      Txt(c.notNull || c.pk ? "NO" : "YES")});
    }
  }
  OpenResult(s, names, types, std::move(rows));
  return SQL_SUCCESS;
}

SQLRETURN CatalogPrimaryKeys(Stmt* s, const std::optional<std::string>& schema,
                             const std::optional<std::string>& table) {
  Dbc* dbc = s->dbc;
  std::vector<std::vector<Value>> rows;
  std::string cat0 = dbc->Attr("DATABASE", "testdb");
  std::optional<std::string> exactSchema = schema;
  for (const TableRef& t : FindTables(dbc, exactSchema, table)) {
    std::vector<ColumnInfo> cols = TableColumns(dbc, t);
    std::sort(cols.begin(), cols.end(), [](const ColumnInfo& a, const ColumnInfo& b) { return a.pk < b.pk; });
    for (const ColumnInfo& c : cols)
      if (c.pk > 0) rows.push_back({Txt(cat0), Txt(t.schema), Txt(t.name), Txt(c.name), Int(c.pk), Nul()});
  }
  OpenResult(s, {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"},
             {SQL_VARCHAR, SQL_VARCHAR, SQL_VARCHAR, SQL_VARCHAR, SQL_SMALLINT, SQL_VARCHAR}, std::move(rows));
  return SQL_SUCCESS;
}

SQLRETURN CatalogTypeInfo(Stmt* s, SQLSMALLINT type) {
  Dbc* dbc = s->dbc;
  std::map<int, std::string> names = {{SQL_CHAR, "CHAR"},       {SQL_VARCHAR, "VARCHAR"},
                                      {SQL_DECIMAL, "DECIMAL"}, {SQL_NUMERIC, "NUMERIC"},
                                      {SQL_INTEGER, "INTEGER"}, {SQL_SMALLINT, "SMALLINT"},
                                      {SQL_FLOAT, "FLOAT"},     {SQL_REAL, "REAL"},
                                      {SQL_DOUBLE, "DOUBLE"},   {SQL_TYPE_DATE, "DATE"},
                                      {SQL_TYPE_TIME, "TIME"},  {SQL_TYPE_TIMESTAMP, "TIMESTAMP"},
                                      {SQL_LONGVARBINARY, "LONGVARBINARY"}, {SQL_LONGVARCHAR, "LONGVARCHAR"}};
  for (auto& [t, n] : dbc->rules.typeNames) names[t] = n;
  // TYPES=<sqltype>:<name>|…  (an empty name: the type has no row)
  std::string spec = dbc->Attr("TYPES");
  size_t i = 0;
  while (i < spec.size()) {
    size_t bar = spec.find('|', i);
    std::string item = spec.substr(i, bar == std::string::npos ? std::string::npos : bar - i);
    size_t colon = item.find(':');
    long t = 0;
    std::string num = Trim(item.substr(0, colon));
    auto r = std::from_chars(num.data(), num.data() + num.size(), t);
    if (colon != std::string::npos && r.ec == std::errc()) names[static_cast<int>(t)] = item.substr(colon + 1);
    i = bar == std::string::npos ? spec.size() : bar + 1;
  }
  std::vector<std::vector<Value>> rows;
  for (auto& [t, n] : names) {
    if (n.empty() || (type != SQL_ALL_TYPES && t != type)) continue;
    std::vector<Value> row = {Txt(n), Int(t)};
    while (row.size() < 19) row.push_back(Nul());
    row[6] = Int(SQL_NULLABLE);
    row[15] = Int(t);
    rows.push_back(std::move(row));
  }
  std::vector<std::string> cols = {"TYPE_NAME",         "DATA_TYPE",          "COLUMN_SIZE",   "LITERAL_PREFIX",
                                   "LITERAL_SUFFIX",    "CREATE_PARAMS",      "NULLABLE",      "CASE_SENSITIVE",
                                   "SEARCHABLE",        "UNSIGNED_ATTRIBUTE", "FIXED_PREC_SCALE",
                                   "AUTO_UNIQUE_VALUE", "LOCAL_TYPE_NAME",    "MINIMUM_SCALE", "MAXIMUM_SCALE",
                                   "SQL_DATA_TYPE",     "SQL_DATETIME_SUB",   "NUM_PREC_RADIX", "INTERVAL_PRECISION"};
  std::vector<SQLSMALLINT> types(cols.size(), SQL_SMALLINT);
  types[0] = SQL_VARCHAR;
  OpenResult(s, cols, types, std::move(rows));
  return SQL_SUCCESS;
}

}  // namespace qltestodbc
