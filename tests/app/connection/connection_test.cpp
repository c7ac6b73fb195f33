// Connecting, refusing, failing and cancelling; the connect string and its
// password; the last-error text.
#include <random>

#include "app/OdbcStmt.h"
#include "app/ResourceLibrary.h"
#include "connection_fixture.h"
#include "platform/odbc_prompt.h"

namespace {

// "\n\n<string>.\n\n<message>\n": how every connect failure is logged.
std::string FailureLog(int stringId, const std::string& message) {
  return "\n\n" + LoadResString(stringId) + ".\n\n" + message + "\n";
}

TEST_F(ConnectionTest, ServersOfNoKnownFamilyAreRefusedAndTheirHandlesFreed) {
  struct Row {
    const char* label;
    std::string connect;
    bool traced;
  };
  const std::vector<Row> rows = {
      {"Helvoristan/ORACLE", Cs({{"DBMS", "Helvoristan/ORACLE"}, {"UID", "u"}}), true},
      {"real SQLite driver",
       "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=" + dir.File("real.db"), false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    log.str("");
    boxes.clear();
    std::remove(tracePath.c_str());
    COdbcConnection c;
    c.SetLogStream(&log);
    c.SetConnectString(r.connect);
    EXPECT_FALSE(c.Connect(""));
    EXPECT_EQ(FailureLog(171, c.GetLastErrorRef()), log.str());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(186, boxes[0].captionId);
    EXPECT_EQ(LoadResString(171) + ".\n\n" + c.GetLastErrorRef(), boxes[0].text);
    EXPECT_EQ(SQL_NULL_HDBC, c.GetDbcHandle());
    EXPECT_EQ(SQL_NULL_HSTMT, c.GetStmtHandle());
    EXPECT_EQ("", c.GetConnectStringRef());
    if (!r.traced) continue;
    auto t = Trace();
    ASSERT_GE(t.size(), 3u);
    EXPECT_EQ("SQLFreeHandle c1.s1", t[t.size() - 3].Get("fn") + " " + t[t.size() - 3].Get("h"));
    EXPECT_EQ("SQLDisconnect c1", t[t.size() - 2].Get("fn") + " " + t[t.size() - 2].Get("h"));
    EXPECT_EQ("SQLFreeHandle c1", t[t.size() - 1].Get("fn") + " " + t[t.size() - 1].Get("h"));
  }
}

TEST_F(ConnectionTest, ARefusedServerLeavesTheDb2SessionAndAnAcceptedOneEndsIt) {
  COdbcConnection c;
  ASSERT_TRUE(Open(c, {{"DBMS", "DB2/LINUX"}, {"UID", "u"}}));
  SQLHSTMT db2Stmt = c.GetStmtHandle();
  c.SetQuiet(true);

  c.SetConnectString(Cs({{"DBMS", "Helvoristan/ORACLE"}, {"UID", "u"}}));
  EXPECT_FALSE(c.Connect(""));
  EXPECT_TRUE(boxes.empty());  // quiet
  EXPECT_TRUE(c.IsDb2());
  EXPECT_EQ("\"", c.IdentifierQuote);
  EXPECT_EQ("DB2/LINUX", c.GetDbmsName());
  EXPECT_EQ(db2Stmt, c.GetStmtHandle());
  EXPECT_TRUE(SelectOne(c)) << c.GetLastErrorRef();
  for (const std::string& s : testodbc::Statements(Trace())) EXPECT_NE("values(qd2_close_session())", s);

  c.SetConnectString(Cs({{"DBMS", "Oracle"}, {"UID", "u"}}));
  ASSERT_TRUE(c.Connect(""));
  EXPECT_FALSE(c.IsDb2());
  EXPECT_TRUE(c.IsOracle());
  // On the DB2 connection's statement: the session ends, then the handle goes.
  auto t = Trace();
  size_t close = 0;
  while (close < t.size() && t[close].Get("sql") != "values(qd2_close_session())") ++close;
  ASSERT_LT(close + 1, t.size());
  EXPECT_EQ("c1.s1", t[close].Get("h"));
  size_t next = close + 1;
  while (next < t.size() && t[next].Get("fn") == "SQLFreeStmt") ++next;
  ASSERT_LT(next, t.size());
  EXPECT_EQ("SQLFreeHandle c1.s1", t[next].Get("fn") + " " + t[next].Get("h"));
}

TEST_F(ConnectionTest, AFailedDb2FunctionPathIsLoggedAndTheConnectionGoesOn) {
  COdbcConnection c;
  std::string rules = Rules("is set current function path sysibm, syscat, QD2SCH\nerror 42704 No such schema QD2SCH.\n");
  ASSERT_TRUE(Open(c, {{"DBMS", "DB2/LINUX"}, {"UID", "u"}, {"RULES", rules}})) << c.GetLastErrorRef();
  EXPECT_NE(std::string::npos,
            log.str().find("set current function path sysibm, syscat, QD2SCH\n\nNo such schema QD2SCH.\n"))
      << log.str();
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(c.IsDb2());
  EXPECT_TRUE(SelectOne(c));
}

TEST_F(ConnectionTest, EachFailingStepIsReportedWithItsStringAndTheDriversMessage) {
  struct Row {
    const char* label;
    int stringId;
    SQLSMALLINT failAlloc;  // handle type the seam refuses, 0 for none
    std::vector<std::pair<std::string, std::string>> attrs;
  };
  const std::vector<Row> rows = {
      {"environment", 193, SQL_HANDLE_ENV, {{"DBMS", "Oracle"}}},
      {"connection handle", 189, SQL_HANDLE_DBC, {{"DBMS", "Oracle"}}},
      {"driver connect", 190, 0, {{"DBMS", "Oracle"}, {"FAIL", "connect"}}},
      {"statement handle", 191, 0, {{"DBMS", "Oracle"}, {"FAIL", "alloc:stmt"}}},
      {"bad rule file", 190, 0, {{"DBMS", "Oracle"}, {"RULES", "/nonexistent/rules.txt"}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    log.str("");
    boxes.clear();
    COdbcConnection::SetAllocHandleHook([&](SQLSMALLINT type, SQLHANDLE in, SQLHANDLE* out) -> SQLRETURN {
      if (type == r.failAlloc) {
        *out = SQL_NULL_HANDLE;
        return SQL_ERROR;
      }
      return SQLAllocHandle(type, in, out);
    });
    COdbcConnection c;
    EXPECT_FALSE(Open(c, r.attrs));
    EXPECT_EQ(FailureLog(r.stringId, c.GetLastErrorRef()), log.str());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(186, boxes[0].captionId);
    EXPECT_EQ("", c.GetConnectStringRef());
    EXPECT_EQ(SQL_NULL_HDBC, c.GetDbcHandle());
    COdbcConnection::SetAllocHandleHook(nullptr);
  }
}

TEST_F(ConnectionTest, DriverMessagesNameTheCause) {
  COdbcConnection c;
  EXPECT_FALSE(Open(c, {{"DBMS", "Oracle"}, {"FAIL", "connect"}}));
  EXPECT_EQ("injected failure: connect", c.GetLastErrorRef());
  EXPECT_FALSE(Open(c, {{"DBMS", "Oracle"}, {"RULES", "/nonexistent/rules.txt"}}));
  EXPECT_EQ("cannot read rules file /nonexistent/rules.txt", c.GetLastErrorRef());
}

TEST_F(ConnectionTest, ResetStatementReportsAFailedAllocation) {
  COdbcConnection c;
  ASSERT_TRUE(Open(c, {{"DBMS", "Oracle"}, {"FAIL", "alloc:stmt@2"}}));
  EXPECT_FALSE(c.ResetStatement());
  EXPECT_EQ(LoadResString(191), c.GetLastErrorRef());
  EXPECT_EQ(SQL_NULL_HSTMT, c.GetStmtHandle());
  EXPECT_TRUE(c.ResetStatement());
  EXPECT_TRUE(SelectOne(c));
}

TEST_F(ConnectionTest, ACancelledPromptLeavesNoTraceAndTheEarlierConnection) {
  COdbcConnection c;
  ASSERT_TRUE(Open(c, {{"DBMS", "Oracle"}, {"UID", "u"}}));
  SQLHDBC dbc = c.GetDbcHandle();
  log.str("");

  // The driver's prompt cancelled.
  c.SetConnectString(Cs({{"DBMS", "DB2"}, {"PROMPT", "cancel"}}));
  EXPECT_FALSE(c.Connect(""));
  // The data-source prompt cancelled (empty connect string).
  int prompted = 0;
  platform::SetDataSourcePrompt([&](void*) -> std::optional<std::string> {
    ++prompted;
    return std::nullopt;
  });
  c.SetConnectString("");
  EXPECT_FALSE(c.Connect(""));
  EXPECT_EQ(1, prompted);

  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ("", log.str());
  EXPECT_TRUE(c.IsOracle());
  EXPECT_EQ(dbc, c.GetDbcHandle());
  EXPECT_TRUE(SelectOne(c));
}

TEST_F(ConnectionTest, ThePromptsConnectStringIsUsed) {
  std::string chosen = Cs({{"DBMS", "ACCESS"}, {"UID", "u"}});
  platform::SetDataSourcePrompt([&](void*) -> std::optional<std::string> { return chosen; });
  COdbcConnection c;
  c.SetConnectString("  ");
  ASSERT_TRUE(c.Connect(""));
  EXPECT_TRUE(c.IsAccess());
  EXPECT_EQ(chosen, c.GetSafeConnectString());
}

TEST_F(ConnectionTest, TheLastErrorKeepsAtMost199BytesOfTheFirstMessage) {
  std::string longMessage(300, 'm');
  // A two-byte character across the cut goes whole.
  std::string cutInside = std::string(198, 'a') + "\xC3\xA9" + "tail";
  std::string rules = "is fail long\nerror 42000 " + longMessage + "\nis fail utf8\nerror 42000 " + cutInside + "\n";
  COdbcConnection c;
  ASSERT_TRUE(Open(c, {{"DBMS", "Oracle"}, {"RULES", Rules(rules)}}));
  EXPECT_FALSE(c.ExecSql("fail long", c.GetStmtHandle()));
  EXPECT_EQ(std::string(199, 'm'), c.GetLastErrorRef());
  EXPECT_FALSE(c.ExecSql("fail utf8", c.GetStmtHandle()));
  EXPECT_EQ(std::string(198, 'a'), c.GetLastErrorRef());
  EXPECT_FALSE(c.ExecSql("select * from missing_table", c.GetStmtHandle()));
  EXPECT_EQ("no such table: missing_table", c.GetLastErrorRef());
  EXPECT_TRUE(c.ExecSql("select 1", c.GetStmtHandle()));
  EXPECT_EQ("", c.GetLastErrorRef());
  EXPECT_EQ("fail long\n\nfail utf8\n\nselect * from missing_table\n\nselect 1\n\n",
            log.str().substr(log.str().find("fail long")));
}

TEST_F(ConnectionTest, ALongConnectStringGoesToTheDriverWhole) {
  std::string tail = "END-OF-THE-LONG-STRING";
  std::string filler(1000, 'x');
  COdbcConnection c;
  // A password longer than the random part of the scratch directory's name.
  ASSERT_TRUE(Open(c, {{"DBMS", "Oracle"}, {"UID", "u"}, {"PWD", "secret77"}, {"FILLER", filler + tail}}));
  auto t = Trace();
  ASSERT_FALSE(t.empty());
  std::string in = t[0].Get("in");
  EXPECT_GT(in.size(), 1000u);
  EXPECT_NE(std::string::npos, in.find("FILLER=" + filler + tail + ";TRACE="));
  EXPECT_NE(std::string::npos, c.GetSafeConnectString().find(filler + tail));
  EXPECT_EQ(std::string::npos, c.GetSafeConnectString().find("secret77"));
}

TEST_F(ConnectionTest, InformixTakesTheUserOfTheConnectStringUnlessOnlyItsCaseDiffers) {
  struct Row {
    const char* dbuser;
    const char* expected;
  };
  for (const Row& r : {Row{"informix", "bob"}, Row{"BOB", "BOB"}}) {
    SCOPED_TRACE(r.dbuser);
    COdbcConnection c;
    ASSERT_TRUE(Open(c, {{"DBMS", "Informix"}, {"UID", "bob"}, {"DBUSER", r.dbuser}}));
    EXPECT_EQ(r.expected, c.GetUserName());
  }
}

TEST_F(ConnectionTest, ASuccessForgetsTheConnectStringAndKeepsTheCompletedOneWithoutPassword) {
  COdbcConnection c;
  std::string cs = Cs({{"DBMS", "Oracle"}, {"UID", "u"}, {"PWD", "secret"}});
  c.SetConnectString("  " + cs + "\t");
  EXPECT_EQ(cs, c.GetConnectStringRef());
  ASSERT_TRUE(c.Connect(""));
  EXPECT_EQ("", c.GetConnectStringRef());
  EXPECT_EQ(COdbcConnection::StripPassword(cs), c.GetSafeConnectString());
  EXPECT_EQ(std::string::npos, c.GetSafeConnectString().find("secret"));
  EXPECT_NE(std::string::npos, c.GetSafeConnectString().find("UID=u"));
}

TEST(StripPassword, RemovesEveryPasswordPairWithItsSeparator) {
  struct Row {
    const char* in;
    const char* out;
  };
  for (const Row& r : {
           Row{"DSN=x;PWD=s;UID=a", "DSN=x;UID=a"},
           Row{"DSN=x;UID=a;PWD=s", "DSN=x;UID=a;"},
           Row{"pwd=s;DSN=x", "DSN=x"},
           Row{"DSN=x;PWD={a;b};UID=u", "DSN=x;UID=u"},
           Row{"DSN=x;UPWD=s;UID=a", "DSN=x;UID=a"},
           Row{"DSN=x;Pwd=1;upwd={}}x;y};UID=a;PWD=2", "DSN=x;UID=a;"},
           Row{"DRIVER={a;PWD=b};UID=u", "DRIVER={a;PWD=b};UID=u"},
           Row{"DSN=x; PWD =s;UID=a", "DSN=x;UID=a"},
           Row{"DSN=x;PWDX=s;XPWD=t", "DSN=x;PWDX=s;XPWD=t"},
           Row{"UID=u;Password=s3cret", "UID=u;"},
           Row{"UID=u;{PWD}={s3;cret}", "UID=u;"},
           Row{"UID=u; { password } ={a}}b;c};DSN=y", "UID=u;DSN=y"},
           Row{"PASSWD=x;UID=u;passWord=y", "UID=u;"},
           Row{"DSN=x;PASSWORDS=s;{PWD", "DSN=x;PASSWORDS=s;{PWD"},
           Row{"DSN=x", "DSN=x"},
           Row{"", ""},
       }) {
    EXPECT_EQ(r.out, COdbcConnection::StripPassword(r.in)) << r.in;
  }
}

TEST(StripPassword, NoPasswordOfRandomStringsSurvives) {
  std::mt19937 rng(20261210);
  const std::vector<std::string> keys = {"DSN", "UID",      "PWD",      "pwd",    "UPWD",    "upwd",
                                         "Pwd", "DATABASE", "DRIVER",   "Password", "PASSWD", "{PWD}"};
  const std::string alphabet = "ab;={} PWD=x";
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    std::vector<std::string> secrets, kept;
    int pairs = 1 + static_cast<int>(rng() % 5);
    for (int p = 0; p < pairs; ++p) {
      const std::string& key = keys[rng() % keys.size()];
      bool password = key == "PWD" || key == "pwd" || key == "Pwd" || key == "UPWD" || key == "upwd" ||
                      key == "Password" || key == "PASSWD" || key == "{PWD}";
      std::string body;
      for (int k = static_cast<int>(rng() % 6); k > 0; --k) body += alphabet[rng() % alphabet.size()];
      std::string value;
      if (rng() % 2) {
        // Braced: any text, "}" doubled.
        std::string escaped;
        for (char ch : body) escaped += ch == '}' ? std::string("}}") : std::string(1, ch);
        value = "{" + escaped + "}";
      } else {
        for (char ch : body)
          if (ch != ';' && ch != '{' && ch != '}') value += ch;
      }
      std::string marker = "S" + std::to_string(round) + "_" + std::to_string(p) + "Q";
      value = value.empty() || value[0] != '{' ? marker + value : "{" + marker + value.substr(1);
      if (password)
        secrets.push_back(marker);
      else
        kept.push_back(key + "=" + value);
      text += (text.empty() ? "" : ";") + key + "=" + value;
    }
    std::string safe = COdbcConnection::StripPassword(text);
    for (const std::string& marker : secrets) EXPECT_EQ(std::string::npos, safe.find(marker)) << text << " -> " << safe;
    for (const std::string& k : kept) EXPECT_NE(std::string::npos, safe.find(k)) << text << " -> " << safe;
  }
}

TEST(ParseUid, TakesTheValueAfterTheFirstUid) {
  EXPECT_EQ("bob", COdbcConnection::ParseUid("DSN=x;UID=bob;PWD=s"));
  EXPECT_EQ("bob", COdbcConnection::ParseUid("UID=bob"));
  EXPECT_EQ("", COdbcConnection::ParseUid("DSN=x;uid=bob"));
  EXPECT_EQ("", COdbcConnection::ParseUid(""));
}

TEST(AddToLastError, AppendsOrPrefixes) {
  COdbcConnection c;
  c.GetLastErrorRef() = "driver";
  c.AddToLastError("more", true);
  EXPECT_EQ("driver more", c.GetLastErrorRef());
  c.AddToLastError("Owner", false);
  EXPECT_EQ("Owner. driver more", c.GetLastErrorRef());
}

}  // namespace

namespace {

// A text longer than the reader's limit is refused whole, never cut; one
// that fits comes back whole however many pieces the driver sends it in.
TEST_F(ConnectionTest, TextsPastTheReadLimitFailInsteadOfComingBackCut) {
  COdbcConnection c;
  ASSERT_TRUE(Open(c, {{"DBMS", "Microsoft SQL Server"}, {"UID", "u"}})) << log.str();
  struct Case {
    size_t length, limit;
    bool read;
  } cases[] = {
      {10, 10, true}, {11, 10, false}, {256, 256, true}, {257, 256, false},
      {300, 300, true}, {301, 300, false}, {1000, 2000, true}, {0, 0, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.length) + " / " + std::to_string(k.limit));
    const std::string text(k.length, 'x');
    const std::string sql = "select '" + text + "'";
    SQLHSTMT h = c.GetStmtHandle();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(h)));
    std::string out = "old";
    EXPECT_EQ(OdbcGetText(h, 1, &out, k.limit), k.read);
    EXPECT_EQ(out, k.read ? text : std::string());
    OdbcCloseCursor(h);
  }
}

// A null byte would end the text early: the value is refused, in the first
// piece the driver sends or in a later one.
TEST_F(ConnectionTest, TextsHoldingANullByteFailInsteadOfComingBackCut) {
  COdbcConnection c;
  ASSERT_TRUE(Open(c, {{"DBMS", "Microsoft SQL Server"}, {"UID", "u"}})) << log.str();
  const std::string x300(300, 'x');
  for (const std::string& expr : {std::string("'ab' || char(0) || 'cd'"), "'" + x300 + "' || char(0) || 'cd'",
                                  std::string("'ab' || char(0)")}) {
    SCOPED_TRACE(expr);
    const std::string sql = "select " + expr;
    SQLHSTMT h = c.GetStmtHandle();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(h)));
    std::string out = "old";
    EXPECT_FALSE(OdbcGetText(h, 1, &out));
    EXPECT_EQ(out, "");
    OdbcCloseCursor(h);
  }
}

}  // namespace
