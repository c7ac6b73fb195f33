// SQL literals, identifier refusal, owner passwords and the dialect table.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "app/SqlDialect.h"
#include "app/SqlText.h"

namespace {

TEST(SqlLiteral, DoublesEverySingleQuote) {
  struct Case { std::string in, out; } cases[] = {
      {"", "''"},
      {"ROADS", "'ROADS'"},
      {"O'BRIEN", "'O''BRIEN'"},
      {"''", "''''''"},
      {"x'; drop table t; --", "'x''; drop table t; --'"},
      {"a\"b`c", "'a\"b`c'"},
  };
  for (const auto& c : cases) EXPECT_EQ(SqlLiteral(c.in), c.out) << c.in;
}

TEST(SqlIdentifier, QuotedNamesRefuseOnlyTheQuote) {
  struct Case { std::string name, quote; bool ok; } cases[] = {
      {"ROADS", "\"", true},
      {"MY ROADS;x'", "\"", true},
      {"A\"B", "\"", false},
      {"A`B", "`", false},
      {"A\"B", "`", true},
      {std::string("A\0B", 3), "\"", false},
      {"ROADS", "", true},
      {"dbo", "", true},
      {"MY ROADS", "", false},
      {"R;", "", false},
      {"O'BRIEN", "", false},
      {"A\"B", "", false},
      {"A\tB", "", false},
      {"A\x7f", "", false},
      {"A\nB", "", false},
      {"Straße", "", true},
      {"R_1$#@", "", true},
      {"A,B", "", false},
      {"S,EXTRA", "", false},
      {"A(B", "", false},
      {"A)", "", false},
      {"A--", "", false},
      {"A/*", "", false},
      {"A.B", "", false},
      {"", "", true},
  };
  for (const auto& c : cases) {
    std::string fault = SqlIdentifierFault(c.name, c.quote);
    EXPECT_EQ(fault.empty(), c.ok) << c.name << " quote " << c.quote;
    if (!c.ok) {
      EXPECT_EQ(fault.find('\n'), std::string::npos) << "control bytes are escaped";
    }
  }
  EXPECT_NE(SqlIdentifierFault("A\"B", "\"").find("[A\"B]"), std::string::npos)
      << "the refusal names the identifier";
}

TEST(SqlDialect, BuildersRefuseNamesTheyWouldPlaceAsIdentifiers) {
  const SqlDialect& db2 = SqlDialectOf(DbmsFamily::Db2);
  const SqlDialect& ms = SqlDialectOf(DbmsFamily::MsSql);
  const SqlDialect& access = SqlDialectOf(DbmsFamily::Access);
  EXPECT_FALSE(SqlDropTable(db2, "\"", "A\"B", "ROADS").Ok());
  EXPECT_FALSE(SqlDropTable(ms, "", "O'BRIEN", "ROADS").Ok());
  // Access never names the owner, so its owner is not checked.
  EXPECT_TRUE(SqlDropTable(access, "`", "A`B", "ROADS").Ok());
  // Column names stand bare in every dialect.
  EXPECT_FALSE(SqlCreateIndex(db2, "\"", "U", "ROADS", "X) ; drop table t", "C1", "_I").Ok());
  // Values placed as literals are doubled instead of refused.
  SqlStatement s = SqlExtensionDropRtree("O'BRIEN", "ROADS");
  EXPECT_TRUE(s.Ok());
  EXPECT_EQ(s.text, "sp_qd_drop_rtree 'O''BRIEN', 'ROADS', 'qd_geometry', 'qd_member'");
  EXPECT_FALSE(SqlCreateLogin(true, "CORVANE", "pw", "test db").Ok());
  EXPECT_TRUE(SqlCreateLogin(false, "CORVANE", "pw", "test db").Ok());
}

TEST(SqlDialect, TableHasOneRowPerFamilyInOrder) {
  std::size_t n = 0;
  const SqlDialect* rows = SqlDialectRows(&n);
  ASSERT_EQ(n, static_cast<std::size_t>(DbmsFamily::OtherSqlServer) + 1);
  std::set<std::string> names;
  for (std::size_t i = 0; i < n; ++i) {
    EXPECT_EQ(static_cast<std::size_t>(rows[i].family), i);
    EXPECT_EQ(&SqlDialectOf(rows[i].family), &rows[i]);
    EXPECT_TRUE(names.insert(rows[i].name).second) << rows[i].name;
    EXPECT_NE(rows[i].memberColumn, nullptr);
  }
}

TEST(SqlMaskSecret, ReplacesEveryOccurrence) {
  EXPECT_EQ(SqlMaskSecret("a PW b 'PW'", "PW"), "a ******** b '********'");
  EXPECT_EQ(SqlMaskSecret("nothing", "PW"), "nothing");
  EXPECT_EQ(SqlMaskSecret("keep", ""), "keep");
  EXPECT_EQ(SqlMaskSecret("PWPW", "PW"), "****************");
  // A message cut inside the secret loses the part it shows.
  EXPECT_EQ(SqlMaskSecret("PASSWORD = 'Abc1", "Abc123xyz"), "PASSWORD = '********");
  EXPECT_EQ(SqlMaskSecret("id Ab", "Abc123xyz"), "id Ab");
}

TEST(SqlOwnerPassword, FreshPasswordsHaveTheShapeAndDiffer) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    std::string pw = SqlNewOwnerPassword();
    ASSERT_TRUE(SqlIsOwnerPassword(pw)) << pw;
    EXPECT_GE(pw.size(), 20u);
    EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(pw[0])));
    for (char c : pw) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << pw;
    seen.insert(pw);
  }
  EXPECT_EQ(seen.size(), 50u);
}

TEST(SqlOwnerPassword, FromBytesRejectsBiasAndIncompleteDraws) {
  // All bytes 0: the letter 'A' first, then 'A' only: no lower case, no digit.
  EXPECT_EQ(SqlOwnerPasswordFromBytes(std::string(64, '\0')), "");
  // Too few usable bytes (255 is above every rejection limit).
  EXPECT_EQ(SqlOwnerPasswordFromBytes(std::string(64, '\xff')), "");
  std::string bytes;
  for (int i = 0; i < 200; ++i) bytes += static_cast<char>((i * 37 + 11) % 256);
  std::string pw = SqlOwnerPasswordFromBytes(bytes);
  EXPECT_TRUE(SqlIsOwnerPassword(pw)) << pw;
  for (std::string bad : {"", "abc", "1bcdefghijklmnopqrstuvwxY", "abcdefghijklmnopqrstuvwxyz",
                          "Abcdefghijklmnopqrst-1", "ABCDEFGHIJKLMNOPQRSTU1"})
    EXPECT_FALSE(SqlIsOwnerPassword(bad)) << bad;
}

}  // namespace
