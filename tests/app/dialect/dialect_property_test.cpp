// Random owner and table texts either round-trip through a catalogue row,
// ListTables and DeleteCatalogEntry, or are refused with nothing run; a name
// that cannot stand between the family's identifier quotes makes DropTable
// refuse before any statement.
#include <fstream>
#include <random>

#include "app/SqlDialect.h"
#include "app/SqlText.h"
#include "dialect_fixture.h"

namespace {

class DialectProperty : public DialectTest {
 protected:
  // Statements run so far; reads only what the trace gained since the last call.
  size_t Executed() {
    std::ifstream in(tracePath, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(traceRead_));
    std::string line;
    while (std::getline(in, line)) {
      traceRead_ += line.size() + 1;
      if (line.rfind("{\"fn\":\"SQLExecDirect\"", 0) == 0) ++executed_;
    }
    return executed_;
  }
  size_t traceRead_ = 0, executed_ = 0;

  // Inserts a catalogue row with bound parameters, independent of the
  // literal maker under test.
  void InsertBound(COdbcConnection& c, const std::string& owner, const std::string& table) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, c.GetDbcHandle(), &h)));
    std::string sql = "insert into " + SqlCatalogRef(c.Dialect(), c.IdentifierQuote) + " (TABLENAME, OWNERNAME) values (?, ?)";
    SQLLEN lens[2] = {static_cast<SQLLEN>(table.size()), static_cast<SQLLEN>(owner.size())};
    const std::string* values[2] = {&table, &owner};
    EXPECT_TRUE(SQL_SUCCEEDED(SQLPrepare(h, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)));
    for (SQLUSMALLINT i = 0; i < 2; ++i)
      SQLBindParameter(h, i + 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 32, 0,
                       const_cast<char*>(values[i]->data()), lens[i], &lens[i]);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << sql;
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
};

// Whether a name must be refused as an identifier, from the rule itself: no
// name holds a null byte; a quoted one may hold anything but its quote; a
// bare one only letters, digits, "_", "$", "#", "@" and non-ASCII bytes.
bool CannotStand(const std::string& name, const std::string& quote) {
  if (name.find('\0') != std::string::npos) return true;
  if (!quote.empty()) return name.find(quote) != std::string::npos;
  static const std::string allowed =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_$#@";
  for (unsigned char ch : name)
    if (ch < 0x80 && allowed.find(static_cast<char>(ch)) == std::string::npos) return true;
  return false;
}

std::string RandomText(std::mt19937& rng) {
  static const std::string pieces[] = {"A", "b", "Z", "7", "_", " ", "'", "''", "\"", "`", ";", "-", "%",
                                       "\t", "\x01", std::string(1, '\0'), "\xC3\xA9", "ROADS", "O'BRIEN"};
  std::uniform_int_distribution<size_t> len(1, 6), pick(0, std::size(pieces) - 1);
  std::string s;
  for (size_t n = len(rng); n > 0; --n) s += pieces[pick(rng)];
  return s;
}

TEST_F(DialectProperty, NamesRoundTripOrAreRefusedWithNothingRun) {
  for (const char* profile : {"mssql", "db2", "access"}) {
    SCOPED_TRACE(profile);
    COdbcConnection c;
    ASSERT_TRUE(Open(c, Profile(profile))) << log.str();
    Prepare(c, SqlCreateCatalogTable(c.Dialect()));
    std::mt19937 rng(20261210);
    for (int i = 0; i < 150; ++i) {
      std::string owner = RandomText(rng), table = RandomText(rng);
      SCOPED_TRACE("owner [" + owner + "] table [" + table + "]");
      bool held = owner.find('\0') != std::string::npos || table.find('\0') != std::string::npos;
      size_t before = Executed();
      if (held) {
        std::vector<std::string> tables;
        bool listed = owner.find('\0') == std::string::npos && c.ListTables(owner, tables);
        EXPECT_FALSE(c.DeleteCatalogEntry(owner, table));
        EXPECT_NE(c.GetLastErrorRef().find("null character"), std::string::npos) << c.GetLastErrorRef();
        EXPECT_EQ(Executed(), before + (listed ? 1 : 0));
      } else {
        InsertBound(c, owner, table);
        std::vector<std::string> tables;
        ASSERT_TRUE(c.ListTables(owner, tables)) << c.GetLastErrorRef();
        EXPECT_EQ(tables, std::vector<std::string>{SqlTrim(table)});
        EXPECT_TRUE(c.DeleteCatalogEntry(owner, table)) << c.GetLastErrorRef();
        EXPECT_EQ(c.CountCatalogRows(), 0);
      }
      // Identifiers: refused exactly when a name cannot stand between the quotes.
      const SqlDialect& d = c.Dialect();
      bool refused = CannotStand(table, c.IdentifierQuote) || (d.ownerInDrop && CannotStand(owner, c.IdentifierQuote));
      before = Executed();
      EXPECT_FALSE(c.DropTable(owner, table));
      if (refused) {
        EXPECT_EQ(Executed(), before);
        EXPECT_NE(c.GetLastErrorRef().find("cannot be used"), std::string::npos) << c.GetLastErrorRef();
      } else {
        EXPECT_GT(Executed(), before);
      }
    }
  }
}

}  // namespace
