// Rendering of dialect and catalogue operations for the golden runs.
#include "dialect_fixture.h"

#include <cstdlib>
#include <fstream>
#include <regex>

#include "app/ResourceLibrary.h"
#include "app/SqlDialect.h"
#include "app/SqlText.h"

namespace {

// Names and connect attributes of the profiles.
struct ProfileRow {
  const char* name;
  const char* dbms;
  const char* user;
  const char* schema;  // the user's own schema, where the tables go
  const char* version;
};

const ProfileRow kProfiles[] = {
    {"mssql", "Microsoft SQL Server", "u", "dbo", "09.00.1399"},
    {"sqlserver", "SQL Server", "dbo", "dbo", "11.00.0000"},
    {"informix", "Informix Dynamic Server", "inf", "inf", "11.50.0000"},
    {"db2", "DB2/LINUX", "U", "U", "09.07.0000"},
    {"oracle", "Oracle", "U", "U", "10.02.0000"},
    {"access", "ACCESS", "admin", "admin", "04.00.0000"},
};

// Statements that carry an owner password, and where it stands.
const std::regex kPasswordForms[] = {
    std::regex(R"(IDENTIFIED BY (\S+) DEFAULT TABLESPACE)"),
    std::regex(R"(WITH PASSWORD = '([^']*)')"),
    std::regex(R"(sp_addlogin '[^']*', '([^']*)')"),
};

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

}  // namespace

std::string DialectTest::Owner(const std::string& profile) {
  for (const ProfileRow& p : kProfiles)
    if (profile == p.name) return p.schema;
  return {};
}

Attrs DialectTest::Profile(const std::string& profile, const std::string& rules) {
  for (const ProfileRow& p : kProfiles) {
    if (profile != p.name) continue;
    return {{"DBMS", p.dbms},
            {"DBMSVER", p.version},
            {"UID", p.user},
            {"DEFSCHEMA", p.schema},
            {"PWD", "secret"},
            {"RULES", std::string(QL_DIALECT_DIR) + "/rules/" + (rules.empty() ? profile : rules) + ".txt"}};
  }
  ADD_FAILURE() << "no profile " << profile;
  return {};
}

std::string DialectTest::Join(const std::vector<std::string>& items, const char* sep) {
  std::string s;
  for (size_t i = 0; i < items.size(); ++i) s += (i ? sep : "") + items[i];
  return s;
}

void DialectTest::Step(const std::string& title, const std::function<std::string()>& op) {
  size_t traceMark = Trace().size();
  size_t logMark = log.str().size();
  std::string result = op();
  std::string body = Render(traceMark, logMark);
  for (const std::string& pw : passwords) result = ReplaceAll(result, pw, "<pw>");
  out += "# " + title + " -> " + result + "\n" + body;
}

std::string DialectTest::Render(size_t traceMark, size_t logMark) {
  std::vector<testodbc::TraceEntry> trace = Trace();
  std::set<std::string> own, freed;
  std::string text, plainLog;
  for (size_t i = traceMark; i < trace.size(); ++i) {
    const testodbc::TraceEntry& e = trace[i];
    std::string fn = e.Get("fn");
    if (fn == "SQLAllocHandle" && e.Get("type") == "stmt") {
      own.insert(e.Get("new"));
    } else if (fn == "SQLFreeHandle") {
      freed.insert(e.Get("h"));
    } else if (fn == "SQLExecDirect") {
      std::string sql = e.Get("sql");
      plainLog += sql + "\n\n";
      std::smatch m;
      for (const std::regex& form : kPasswordForms)
        if (std::regex_search(sql, m, form)) passwords.insert(m[1].str());
      for (const std::string& pw : passwords) sql = ReplaceAll(sql, pw, "<pw>");
      std::string rc = e.Get("rc");
      text += (own.count(e.Get("h")) ? "[own handle] " : "") + sql +
              (rc == "-1" ? "   [fails]" : rc == "100" ? "   [no data]" : "") + "\n";
    } else if (fn == "SQLTables" || fn == "SQLPrimaryKeys") {
      text += fn + " " + e.Get("args") + "\n";
    }
  }
  for (const std::string& h : own)
    if (!freed.count(h)) text += "[own handle not freed]\n";
  std::string logged = log.str().substr(logMark);
  if (logged != plainLog) {
    size_t start = 0;
    while (start < logged.size()) {
      size_t end = logged.find('\n', start);
      if (end == std::string::npos) end = logged.size();
      std::string line = logged.substr(start, end - start);
      text += line.empty() ? "[log]\n" : "[log] " + line + "\n";
      start = end + 1;
    }
  }
  return text;
}

void DialectTest::Prepare(COdbcConnection& c, const std::string& sql) {
  bool ok = c.ExecSql(sql, c.GetStmtHandle());
  SQLFreeStmt(c.GetStmtHandle(), SQL_CLOSE);
  SQLFreeStmt(c.GetStmtHandle(), SQL_UNBIND);
  EXPECT_TRUE(ok) << sql << ": " << c.GetLastErrorRef();
}

void DialectTest::CreateRoads(COdbcConnection& c, const std::string& table) {
  Prepare(c, "create table " + table + " (" + c.Dialect().memberColumn +
               " integer primary key, NAME varchar(20), CV_SQL_REC_NUM integer, CV_SQL_CVCODE integer, "
               "CV_SQL_X float, CV_SQL_Y float, QD_GEOMETRY blob)");
}

void DialectTest::InsertCatalogRow(COdbcConnection& c, const std::string& owner, const std::string& table,
                                   bool renditionColumns) {
  std::string cat = SqlCatalogRef(c.Dialect(), c.IdentifierQuote);
  if (renditionColumns)
    Prepare(c, "insert into " + cat +
                 " (SPATIALTYPE, TABLENAME, OWNERNAME, SPATIALCOLUMN, DB_X_LL, DB_Y_LL, DB_X_UR, DB_Y_UR, "
                 "RENDITIONTYPE, RENDITIONCOLUMN) values (14, " +
                 SqlLiteral(table) + ", " + SqlLiteral(owner) + ", 'QD_GEOMETRY', 1, 2, 3, 4, 2, ' CV_STYLE ')");
  else
    Prepare(c, "insert into " + cat +
                 " (SPATIALTYPE, TABLENAME, OWNERNAME, SPATIALCOLUMN, DB_X_LL, DB_Y_LL, DB_X_UR, DB_Y_UR) "
                 "values (14, " +
                 SqlLiteral(table) + ", " + SqlLiteral(owner) + ", 'QD_GEOMETRY', 1, 2, 3, 4)");
}

std::string DialectTest::Golden(const std::string& name) {
  std::string text = testodbc::ReadFile(std::string(QL_DIALECT_DIR) + "/golden/" + name);
  for (int id : {107, 211, 224}) text = ReplaceAll(text, "{S" + std::to_string(id) + "}", LoadResString(id));
  return text;
}

void DialectTest::ExpectGolden(const std::string& name) {
  // Every login or user made got a password of its own, of the owner
  // password's shape, that the log never shows.
  size_t made = 0;
  for (size_t at = out.find("<pw>"); at != std::string::npos; at = out.find("<pw>", at + 1)) ++made;
  EXPECT_EQ(passwords.size(), made) << "a password was used twice";
  for (const std::string& pw : passwords) {
    EXPECT_TRUE(SqlIsOwnerPassword(pw)) << pw;
    EXPECT_EQ(log.str().find(pw), std::string::npos) << "the log shows a password";
  }
  std::string expected = Golden(name);
  EXPECT_EQ(expected, out) << "golden " << name;
  const char* dir = std::getenv("QL_GOLDEN_OUT");
  if (expected == out || dir == nullptr) return;
  std::string shown = out;
  for (int id : {224, 107, 211}) shown = ReplaceAll(shown, LoadResString(id), "{S" + std::to_string(id) + "}");
  std::ofstream(std::string(dir) + "/" + name) << shown;
}
