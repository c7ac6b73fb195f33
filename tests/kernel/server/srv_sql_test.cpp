// Server kinds, version comparison, reserved names and lat/long
// normalisation per kind; SQL tokens, select items, table references,
// qualified names, identifier comparison, select lists; connect options,
// reuse and pairing of connections.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/server/fake_driver.h"
#include "kernel/server/ora_srid.h"

namespace {

std::unique_ptr<SrvConnection> Conn(const char* type, const char* version = "") {
  auto c = std::make_unique<SrvConnection>();
  std::memset(c.get(), 0, sizeof *c);
  std::snprintf(c->server_type, sizeof c->server_type, "%s", type);
  std::snprintf(c->version, sizeof c->version, "%s", version);
  std::strcpy(c->quote, "\"");
  std::strcpy(c->qualifier_separator, ".");
  c->owners_used = 1;
  std::strcpy(c->user, "u");
  std::strcpy(c->default_schema, "dbo");
  return c;
}

TEST(SrvKinds, Recognition) {
  struct Case {
    const char* type;
    SrvKind kind;
    int16_t is;
  } cases[] = {{"SQL Server QD", SRV_KIND_SQLSERVER_QD, 1},  {"SQL Server QD ", SRV_KIND_SQLSERVER_QD, 0},
               {"Microsoft SQL Server", SRV_KIND_SQLSERVER, 1}, {"IUS", SRV_KIND_IUS, 1},
               {"ius", SRV_KIND_IUS, 0},                     {"Informix Dynamic Server", SRV_KIND_INFORMIX, 1},
               {"informix", SRV_KIND_INFORMIX, 0},           {"Oracle8", SRV_KIND_ORACLE, 1},
               {"Oracle8", SRV_KIND_ORA_SPATIAL, 0},         {"Oracle_Spatial", SRV_KIND_ORACLE, 1},
               {"Oracle SDO Server", SRV_KIND_ORA_SDO, 1},   {"HELVORISTAN/oracle", SRV_KIND_HELVORISTAN, 1},
               {"Autometric SQS Server", SRV_KIND_SQS, 1},   {"ACCESS 2000", SRV_KIND_ACCESS, 1},
               {"Access", SRV_KIND_ACCESS, 0}};
  for (const Case& c : cases) EXPECT_EQ(srv_is_kind(Conn(c.type).get(), c.kind), c.is) << c.type << " " << c.kind;
  EXPECT_EQ(srv_server_is_known(Conn("Oracle8").get()), 1);
  EXPECT_EQ(srv_server_is_known(Conn("informix").get()), 0);
  EXPECT_EQ(srv_server_is_known(Conn("Autometric SQS Server").get()), 0);
}

TEST(SrvKinds, VersionsCompareAsNumbers) {
  struct Case {
    const char* text;
    const char* literal;
    int sign;
  } cases[] = {{"8.1.5", "8.1.5", 0},        {"8.1.6", "8.1.5", 1},   {"10.2.0.1.0", "8.1.5", 1},
               {"10.2.0.1.0", "9.0.0", 1},   {"09.00.1399", "9.0.0", 1}, {"09.00.1399", "9", 0},
               {"8.1.7", "9.0.0", -1},       {"8.1.15", "8.1.5", 1},  {"", "9.0.0", -1},
               {"9", "9.0.0", 0}};
  for (const Case& c : cases) {
    const int r = srv_version_compare(c.text, c.literal);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.text << " vs " << c.literal;
  }
}

TEST(SrvKinds, SpatialServersAndReservedNames) {
  struct Case {
    const char* type;
    const char* version;
    int16_t spatial;
    const char* row_id;
    const char* geometry;
  } cases[] = {{"Oracle_Spatial", "8.1.5", 0, "CV_SQL_REC_NUM", "GEOLOC"},
               {"Oracle_Spatial", "8.1.6", 1, "CV_PRINX", "GEOLOC"},
               {"Oracle_Spatial", "10.2.0.1.0", 1, "CV_PRINX", "GEOLOC"},
               {"SQL Server QD", "", 1, "QD_MEMBER", "QD_GEOMETRY"},
               {"IUS", "", 1, "QD_MEMBER", "QD_GEOMETRY"},
               {"Microsoft SQL Server", "09.00.1399", 0, "CV_SQL_REC_NUM", "QD_GEOMETRY"}};
  for (const Case& c : cases) {
    auto conn = Conn(c.type, c.version);
    EXPECT_EQ(srv_server_is_spatial(conn.get()), c.spatial) << c.type << c.version;
    EXPECT_STREQ(srv_row_id_column(conn.get()), c.row_id) << c.type << c.version;
    EXPECT_STREQ(srv_geometry_column(conn.get()), c.geometry) << c.type;
  }
  EXPECT_STREQ(srv_style_column(), "CV_STYLE");
  EXPECT_STREQ(srv_code_column(), "CV_SQL_CVCODE");
  EXPECT_STREQ(srv_x_column(), "CV_SQL_X");
  EXPECT_STREQ(srv_y_column(), "CV_SQL_Y");
}

TEST(SrvKinds, NormaliseLatLongPerServer) {
  struct Case {
    const char* type;
    const char* version;
    bool answer_nonzero;
    int32_t srid;
  } cases[] = {{"Oracle_Spatial", "9.0.0", true, 8307},
               {"Oracle_Spatial", "10.2.0.1.0", true, 8307},
               {"Oracle_Spatial", "8.1.7", true, 8192},
               {"IUS", "9.0.0", false, 8192}};
  for (const Case& c : cases) {
    CoordXform xf;
    ASSERT_EQ(coordsys_from_text(&xf, "CoordSys Earth Projection 1, 0", 0), 1);
    const int16_t r = srv_normalise_coordsys(Conn(c.type, c.version).get(), &xf);
    EXPECT_EQ(r != 0, c.answer_nonzero) << c.type << c.version;
    int32_t srid = 0;
    coordsys_to_srid(&xf, &srid);
    EXPECT_EQ(srid, c.srid) << c.type << c.version;
  }
}

std::vector<std::string> Tokens(const char* text, const char* delimiters, int16_t brackets) {
  std::vector<char> buf(text, text + std::strlen(text) + 1);
  std::vector<std::string> out;
  char* rest = buf.data();
  while (char* t = srv_next_token(&rest, rest, delimiters, brackets)) out.emplace_back(t);
  return out;
}

TEST(SrvSqlText, Tokens) {
  struct Case {
    const char* text;
    int16_t brackets;
    std::vector<std::string> tokens;
  } cases[] = {
      {"a(1,2),'x,y','it''s'", 1, {"a(1,2)", "'x,y'", "'it''s'"}},
      {"a(1,2),b", 0, {"a(1", "2)", "b"}},
      {"':-(',b", 1, {"':-('", "b"}},
      {"\"a,(b\",c", 1, {"\"a,(b\"", "c"}},
      {"f(x)),y", 1, {"f(x))", "y"}},
      {"   ", 1, {}},
      {"", 1, {}},
      {"  one  ", 1, {"one"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Tokens(c.text, ",", c.brackets), c.tokens) << c.text;
}

TEST(SrvSqlText, SelectItems) {
  struct Case {
    const char* text;
    const char* owner;
    const char* name;
    const char* alias;
  } cases[] = {{"t.c AS n", "t", "c", "n"}, {"s.t.c", "t", "c", ""}, {"c", "", "c", ""},
               {"count(a.b) total", "", "count(a.b)", "total"}, {"t.c as", "t", "c", ""},
               {"\"x.y\".c", "\"x.y\"", "c", ""}};
  auto conn = Conn("Microsoft SQL Server");
  for (const Case& c : cases) {
    SrvSelectItem item;
    EXPECT_EQ(srv_parse_select_item(conn.get(), &item, c.text), 1);
    EXPECT_STREQ(item.owner, c.owner) << c.text;
    EXPECT_STREQ(item.name, c.name) << c.text;
    EXPECT_STREQ(item.alias, c.alias) << c.text;
  }
}

TEST(SrvSqlText, TableReferences) {
  struct Case {
    const char* type;
    const char* version;
    const char* text;
    const char* owner;
    const char* table;
    const char* alias;
  } cases[] = {{"Microsoft SQL Server", "09.00.1399", "dbo.roads r", "dbo", "roads", "r"},
               {"Microsoft SQL Server", "09.00.1399", "roads", "dbo", "roads", ""},
               {"Microsoft SQL Server", "08.00.2039", "roads", "u", "roads", ""},
               {"SQL Server QD", "09.00.1399", "roads", "dbo", "roads", ""},
               {"IUS", "9.0", "roads", "", "roads", ""},
               {"Oracle_Spatial", "10.2.0.1.0", "roads", "u", "roads", ""}};
  for (const Case& c : cases) {
    auto conn = Conn(c.type, c.version);
    conn->major_version = std::atof(c.version);
    SrvTableRef ref;
    EXPECT_EQ(srv_parse_table_ref(conn.get(), &ref, c.text), 1);
    EXPECT_STREQ(ref.owner, c.owner) << c.type << " " << c.text;
    EXPECT_STREQ(ref.table, c.table) << c.text;
    EXPECT_STREQ(ref.alias, c.alias) << c.text;
  }
  // A part longer than its field is refused.
  auto conn = Conn("Microsoft SQL Server");
  SrvTableRef ref;
  EXPECT_EQ(srv_parse_table_ref(conn.get(), &ref, (std::string(129, 'o') + ".t").c_str()), 0);
  // Qualifiers first: the catalogue before the owner.
  conn->qualifiers_used = 1;
  conn->qualifier_first = 1;
  EXPECT_EQ(srv_parse_table_ref(conn.get(), &ref, "db.own.tab x"), 1);
  EXPECT_STREQ(ref.qualifier, "db");
  EXPECT_STREQ(ref.owner, "own");
  EXPECT_STREQ(ref.table, "tab");
  // Without the double quote as quote, the default form unquotes.
  auto access = Conn("Microsoft SQL Server", "09.00.1399");
  access->major_version = 9;
  std::strcpy(access->quote, "`");
  EXPECT_EQ(srv_parse_table_ref_default(access.get(), &ref, "\"dbo\".\"t\""), 1);
  EXPECT_STREQ(ref.text, "dbo.t");
}

TEST(SrvSqlText, QualifiedNames) {
  auto conn = Conn("Microsoft SQL Server");
  char out[64];
  EXPECT_EQ(srv_qualified_name(conn.get(), out, sizeof out, nullptr, "dbo", "t"), 1);
  EXPECT_STREQ(out, "\"dbo\".\"t\"");
  EXPECT_EQ(srv_qualified_name(conn.get(), out, sizeof out, nullptr, "", "t"), 1);
  EXPECT_STREQ(out, "\"t\"");
  EXPECT_EQ(srv_qualified_name(conn.get(), out, sizeof out, nullptr, nullptr, "a\"b"), 1);
  EXPECT_STREQ(out, "\"a\"\"b\"");
  conn->qualifiers_used = 1;
  conn->qualifier_first = 0;
  std::strcpy(conn->qualifier_separator, "@");
  EXPECT_EQ(srv_qualified_name(conn.get(), out, sizeof out, "db", "o", "t"), 1);
  EXPECT_STREQ(out, "\"o\".\"t\"@\"db\"");
  // Too long for the room: refused, nothing written past it.
  char small[8];
  EXPECT_EQ(srv_qualified_name(conn.get(), small, sizeof small, nullptr, "owner", "table"), 0);
  EXPECT_STREQ(small, "");
}

TEST(SrvSqlText, IdentifiersAndOwners) {
  auto conn = Conn("Microsoft SQL Server");
  EXPECT_EQ(srv_identifiers_equal(conn.get(), "ROADS", "roads"), 1);
  conn->identifier_case = 3;
  EXPECT_EQ(srv_identifiers_equal(conn.get(), "ROADS", "roads"), 0);
  EXPECT_EQ(srv_identifiers_equal(conn.get(), "\"Roads\"", "Roads"), 1);
  conn->quoted_identifier_case = 3;
  EXPECT_EQ(srv_identifiers_equal(conn.get(), "\"Roads\"", "roads"), 0);
  EXPECT_EQ(srv_identifiers_equal(conn.get(), nullptr, "roads"), 0);
  char owner[32];
  srv_owner_or_default(owner, "", sizeof owner);
  EXPECT_STREQ(owner, kernel_string(kStrSrvDefaultName));
  srv_owner_or_default(owner, "default", sizeof owner);
  EXPECT_STREQ(owner, kernel_string(kStrSrvDefaultName));
  EXPECT_EQ(srv_same_owner("", kernel_string(kStrSrvDefaultName)), 1);
  EXPECT_EQ(srv_same_owner("Dbo", "dbo"), 1);
  EXPECT_EQ(srv_same_owner("dbo", "u"), 0);
}

TEST(SrvSqlText, SelectLists) {
  err_clear();
  const char* two[] = {"a", "b"};
  char* out = nullptr;
  ASSERT_EQ(srv_join_select_list(const_cast<char* const*>(two), 2, &out), 1);
  EXPECT_STREQ(out, "a, b");
  mem_free(&out);
  std::vector<char*> many(251, const_cast<char*>("x"));
  EXPECT_EQ(srv_join_select_list(many.data(), 251, &out), 0);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvListTooLong);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(srv_join_select_list(many.data(), 250, &out), 1);
  mem_free(&out);
  err_clear();
  EXPECT_EQ(srv_join_select_list(many.data(), 0, &out), 0);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvListEmpty);
  err_clear();
}

TEST(SrvConnect, StrippingOptions) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"DSN=a;UID=u;PWD=secret", "DSN=a;UID=u"},
               {"DSN=a; pwd = x ;SCROLL=NO;DLG=1;UPWD=y;FOO", "DSN=a;FOO="},
               {"DRIVER='a;b';UID= u ", "DRIVER='a;b';UID=u"},
               {"", ""}};
  for (const Case& c : cases) EXPECT_EQ(srv_strip_connect_options(c.in), c.out) << c.in;
  // In place, options without "=" grow: the text stays within its size.
  char small[8] = "A;B;C";
  srv_strip_connect_options(small, sizeof small);
  EXPECT_STREQ(small, "A=;B=;C");
}

class SrvConnectFake : public ::testing::Test {
 protected:
  void SetUp() override {
    srv_unload_all();
    fake::Reset();
    err_clear();
    fake::Current().name = "ODBC";
    ASSERT_EQ(srv_register_driver_for_test(nullptr, &fake::Table()), 1);
  }
  void TearDown() override {
    srv_unload_all();
    err_clear();
  }
};

TEST_F(SrvConnectFake, ReuseAndPairing) {
  SrvConnection* a = srv_open_connection("ODBC", "DSN=a;UID=u;PWD=1;", 0);
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->connect, "DSN=a;UID=u;PWD=1;SCROLL=NO");
  EXPECT_EQ(srv_open_connection("odbc", "DSN=a;UID=u;PWD=2;SCROLL=YES", 0), a);
  EXPECT_EQ(srv_open_connection(nullptr, "DSN=a;UID=u", 0), a);
  EXPECT_NE(srv_open_connection("ODBC", "DSN=a;UID=v", 0), a);
  EXPECT_NE(srv_open_connection("ODBC", "DSN=a;UID=u", 1), a);
  EXPECT_EQ(a->paired, nullptr);
  fake::Current().server_type = "SQL Server QD";
  SrvConnection* qd = srv_open_connection("ODBC", "DSN=qd", 0);
  ASSERT_NE(qd, nullptr);
  ASSERT_NE(qd->paired, nullptr);
  EXPECT_EQ(qd->paired->paired_flag, 1);
  EXPECT_EQ(srv_paired_secondary(qd->paired), qd->paired);
  EXPECT_EQ(srv_paired_secondary(qd), nullptr);
  EXPECT_STREQ(qd->paired->connect, qd->connect);
  // A connect string too long for the connection's block is refused.
  EXPECT_EQ(srv_open_connection("ODBC", std::string(1020, 'x').c_str(), 1), nullptr);
}

TEST_F(SrvConnectFake, FailedConnectIsReportedAndReleased) {
  fake::Current().failures["SrvConnect"] = {28000, "login failed", "28000"};
  EXPECT_EQ(srv_connect_driver("ODBC", "DSN=a"), nullptr);
  ASSERT_GE(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, 28000);
  EXPECT_EQ(list_count(&srv_env()->connections), 0);
  err_clear();
  EXPECT_EQ(srv_connect_driver("NOSUCH", "DSN=a"), nullptr);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvNoDriver);
}

}  // namespace
