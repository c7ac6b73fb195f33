// Row values of the INSERT statement: field types, NULLs, dates and times,
// style and object parameters, and rows whose text does not fit the columns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/RowValues.h"
#include "app/upload/families.h"

namespace upload {
namespace {

struct Row {
  SqlFamily family;
  std::vector<UploadColumn> columns;
  ColumnPlan plan;
  StatementSettings settings;
  RowContext ctx;

  Row(SqlFamily f, std::vector<UploadColumn> cols, int kind, bool styleEnabled = false)
      : family(std::move(f)), columns(std::move(cols)) {
    settings.owner = "o";
    settings.table = "T";
    settings.storageKind = kind;
    settings.styleEnabled = styleEnabled;
    plan = PlanColumns(columns, settings.mappable);
    ctx.family = &family;
    ctx.columns = &columns;
    ctx.plan = &plan;
    ctx.trailing = PlanTrailingParams(family, settings);
    ctx.storageKind = kind;
    ctx.styleEnabled = styleEnabled;
    ctx.today = {2026, 12, 10};
  }
  std::vector<BoundValue> Values(const std::string& text, const RowObject& object = {}) {
    std::vector<BoundValue> out;
    std::string error;
    EXPECT_TRUE(BuildRowValues(ctx, text, object, out, &error)) << error;
    return out;
  }
  std::string Error(const std::string& text) {
    std::vector<BoundValue> out;
    std::string error;
    EXPECT_FALSE(BuildRowValues(ctx, text, {}, out, &error));
    return error;
  }
};

void ExpectTimestamp(const BoundValue& v, int y, int mo, int d, int h, int mi, int s, unsigned fraction) {
  ASSERT_EQ(v.cType, SQL_C_TYPE_TIMESTAMP);
  EXPECT_EQ(v.sqlType, SQL_TYPE_TIMESTAMP);
  EXPECT_FALSE(v.null);
  EXPECT_EQ(v.timestamp.year, y);
  EXPECT_EQ(v.timestamp.month, mo);
  EXPECT_EQ(v.timestamp.day, d);
  EXPECT_EQ(v.timestamp.hour, h);
  EXPECT_EQ(v.timestamp.minute, mi);
  EXPECT_EQ(v.timestamp.second, s);
  EXPECT_EQ(v.timestamp.fraction, fraction);
}

TEST(RowValues, TextTypesAndLogicals) {
  Row row(MsSql(),
          {{"NAME", kValueChar, 20, 0}, {"AREA", kValueDecimal, 9, 2}, {"POP", kValueInteger, 10, 0},
           {"N", kValueSmallInt, 5, 0}, {"F", kValueFloat, 8, 0}, {"OK", kValueLogical, 1, 0},
           {"NO", kValueLogical, 1, 0}},
          3);
  row.settings.mappable = row.ctx.mappable = false;
  row.ctx.trailing = PlanTrailingParams(row.family, row.settings);
  const auto v = row.Values("Main St\t12.50\t42\t7\t1.5\tT\tF");
  ASSERT_EQ(v.size(), 7u);
  const SQLSMALLINT sqlTypes[] = {SQL_CHAR, SQL_DECIMAL, SQL_INTEGER, SQL_SMALLINT, SQL_DOUBLE};
  const char* texts[] = {"Main St", "12.50", "42", "7", "1.5"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(v[i].cType, SQL_C_CHAR);
    EXPECT_EQ(v[i].sqlType, sqlTypes[i]);
    EXPECT_EQ(v[i].text, texts[i]);
    EXPECT_EQ(v[i].columnSize, std::string(texts[i]).size() + 1);
  }
  EXPECT_EQ(v[1].decimals, 2);
  EXPECT_EQ(v[5].cType, SQL_C_SSHORT);
  EXPECT_EQ(v[5].small, 1);
  EXPECT_EQ(v[6].small, 0);

  Row access(Access(), {{"AREA", kValueDecimal, 9, 2}}, 3);
  EXPECT_EQ(access.Values("1.25")[0].sqlType, SQL_DOUBLE);
}

TEST(RowValues, DatesAndTimesPerFamily) {
  const std::vector<UploadColumn> cols = {
      {"D", kValueDate, 8, 0}, {"T", kValueTime, 9, 0}, {"DT", kValueDateTime, 17, 0}};
  Row ms(MsSql(), cols, 3);
  auto v = ms.Values("20070305\t093015123\t20070305093015007");
  ExpectTimestamp(v[0], 2007, 3, 5, 0, 0, 0, 0);
  EXPECT_EQ(v[0].columnSize, 19u);
  ExpectTimestamp(v[1], 2026, 12, 10, 9, 30, 15, 123000000u);
  EXPECT_EQ(v[1].columnSize, 23u);
  EXPECT_EQ(v[1].decimals, 3);
  ExpectTimestamp(v[2], 2007, 3, 5, 9, 30, 15, 7000000u);

  Row oracle(Oracle(), cols, 3);
  v = oracle.Values("20070305\t093015123\t20070305093015007");
  ASSERT_EQ(v[0].cType, SQL_C_TYPE_DATE);
  EXPECT_EQ(v[0].sqlType, SQL_TYPE_DATE);
  EXPECT_EQ(v[0].date.year, 2007);
  EXPECT_EQ(v[0].date.month, 3);
  EXPECT_EQ(v[0].date.day, 5);
  ExpectTimestamp(v[1], 2026, 12, 1, 9, 30, 15, 123000000u);  // day 1 on Oracle

  // Empty fields are NULL.
  v = ms.Values("\t\t");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(v[i].null) << i;
}

TEST(RowValues, RowsThatDoNotFitAreRefused) {
  Row row(MsSql(), {{"NAME", kValueChar, 20, 0}, {"D", kValueDate, 8, 0}}, 3);
  EXPECT_NE(row.Error("a\t20070305\tx").find("more fields"), std::string::npos);
  EXPECT_NE(row.Error("a").find("fewer fields"), std::string::npos);
  for (const char* bad : {"2007035", "2007-3-5", "20070305x"})
    EXPECT_NE(row.Error(std::string("a\t") + bad).find("not a valid date"), std::string::npos) << bad;
}

TEST(RowValues, SkippedSourceColumnsTakeTheirFieldOnly) {
  Row row(MsSql(), {{"QD_MEMBER", kValueInteger, 10, 0}, {"NAME", kValueChar, 20, 0}, {"qd_geometry", 99, 1, 0}},
          1);
  RowObject object;
  static const unsigned char blob[] = {1, 2, 3};
  object.bytes = blob;
  object.size = 3;
  const auto v = row.Values("17\tx\tjunk", object);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].text, "x");
  EXPECT_EQ(v[1].cType, SQL_C_BINARY);
  EXPECT_EQ(v[1].sqlType, SQL_LONGVARBINARY);
  EXPECT_EQ(v[1].byteCount, 3);
}

TEST(RowValues, StyleColumnIsNullForTheDefaultStyle) {
  Row row(MsSql(), {{"NAME", kValueChar, 20, 0}}, 3, true);
  row.ctx.defaultStyle = "Symbol (35,0,12)";
  RowObject object;
  object.styleClause = "SYMBOL (35,0,12)";
  EXPECT_TRUE(row.Values("a", object)[1].null);
  object.styleClause = "Symbol (36,0,12)";
  const auto v = row.Values("a", object);
  EXPECT_FALSE(v[1].null);
  EXPECT_EQ(v[1].text, "Symbol (36,0,12)");
  object.styleClause.clear();
  EXPECT_TRUE(row.Values("a", object)[1].null);
}

TEST(RowValues, ObjectParametersPerFamilyAndKind) {
  RowObject none;
  none.key = 7;
  none.noObject = true;
  RowObject point;
  point.key = 8;
  point.x = 151.5;
  point.y = -33.25;
  point.codeKey = "Q123";

  // X/Y: a row without an object binds NULL coordinates, except on Oracle
  // and Access, which get 0.
  struct Case {
    SqlFamily f;
    bool identity;
    bool nullXY;
    size_t count;  // key? + x + y + code
  } cases[] = {{MsSql(), true, true, 3}, {MsSql(), false, true, 4}, {Oracle(), true, false, 4},
               {Access(), true, false, 4}, {Informix(), true, true, 3}, {Db2(), true, true, 4}};
  for (const Case& c : cases) {
    Row row(c.f, {}, 2);
    row.settings.identityKey = c.identity;
    row.ctx.trailing = PlanTrailingParams(row.family, row.settings);
    auto v = row.Values("", none);
    ASSERT_EQ(v.size(), c.count);
    const size_t x = c.count - 3;
    if (x == 1) {
      EXPECT_EQ(v[0].cType, SQL_C_SLONG);
      EXPECT_EQ(v[0].integer, 7);
    }
    EXPECT_EQ(v[x].null, c.nullXY);
    EXPECT_EQ(v[x].real, 0);
    EXPECT_EQ(v[x + 2].text, "");
    v = row.Values("", point);
    EXPECT_FALSE(v[x].null);
    EXPECT_EQ(v[x].real, 151.5);
    EXPECT_EQ(v[x + 1].real, -33.25);
    EXPECT_EQ(v[x + 2].text, "Q123");
  }

  // Spatial column: the record's SQL type per family; no object binds NULL.
  struct Kind1 {
    SqlFamily f;
    SQLSMALLINT type;
    bool key;
  } kind1[] = {{Informix(), kSqlInformixUdt, false}, {Db2(), kSqlDb2Blob, true}, {MsSql(), SQL_LONGVARBINARY, false}};
  for (const Kind1& c : kind1) {
    Row row(c.f, {}, 1);
    const auto v = row.Values("", none);
    ASSERT_EQ(v.size(), c.key ? 2u : 1u);
    EXPECT_EQ(v.back().sqlType, c.type);
    EXPECT_TRUE(v.back().null);
  }
}

}  // namespace
}  // namespace upload
