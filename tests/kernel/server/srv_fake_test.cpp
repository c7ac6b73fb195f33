// The driver layer and statements over the scripted driver: numbering,
// checks, each wrapper's failure reported under the driver's code, fetching
// and the conversions of every column type, the end of the data, binary
// columns too long for their buffer, and unloading with work still open.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"
#include "kernel/server/fake_driver.h"
#include "geometry/encode/sdo.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/runtime/value.h"
#include "kernel/server/srv_spatial.h"

namespace {

std::string Arg(int i, int which = 1) {
  const ErrorEntry& e = g_err_stack->entries[i];
  const int16_t off = which == 1 ? e.arg1_offset : e.arg2_offset;
  const int16_t len = which == 1 ? e.arg1_length : e.arg2_length;
  return len > 0 ? std::string(g_err_stack->pool + off) : std::string();
}

std::string Text(const Value& v) {
  char buf[512];
  value_to_text_plain(&v, buf, sizeof buf, -1);
  return buf;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

class SrvFake : public ::testing::Test {
 protected:
  void SetUp() override {
    conn = fake::FreshConnection();
    ASSERT_NE(conn, nullptr);
  }
  void TearDown() override {
    srv_unload_all();
    kernel_string_reset();
    err_clear();
  }
  void Fail(const char* entry, int16_t code = 4711) { fake::Current().failures[entry] = {code, "driver says no", "S1000"}; }
  int Statements() { return list_count(&srv_env()->statements); }
  SrvConnection* conn = nullptr;
};

TEST_F(SrvFake, StatementsAreNumberedWithTheSmallestFreeNumber) {
  SrvStatement* s[3];
  for (auto& p : s) {
    p = srv_execute(conn, "select 1");
    ASSERT_NE(p, nullptr);
  }
  EXPECT_EQ(s[0]->number, 1);
  EXPECT_EQ(s[2]->number, 3);
  EXPECT_EQ(srv_close_statement(conn, s[1]), 1);
  SrvStatement* again = srv_execute(conn, "select 1");
  EXPECT_EQ(again->number, 2);
  EXPECT_EQ(srv_statement_get(srv_env(), conn, 3), s[2]);
  EXPECT_EQ(srv_statement_get(srv_env(), conn, 9), nullptr);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvStatement);
  EXPECT_EQ(srv_statement_get(srv_env(), nullptr, -1), nullptr);
}

TEST_F(SrvFake, ChecksOfConnectionsAndStatements) {
  SrvStatement* s = srv_execute(conn, "select 1");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(srv_check_statement(srv_env(), s), 1);
  list_unlink(&srv_env()->connections, conn);
  EXPECT_EQ(srv_check_statement(srv_env(), s), 0);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvConnection);
  list_add(&srv_env()->connections, conn, 1);
  err_clear();
  SrvStatement stray{};
  EXPECT_EQ(srv_check_statement(srv_env(), &stray), 0);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvStatement);
}

TEST_F(SrvFake, EachWrapperReportsTheDriversFailure) {
  SrvStatement* s = srv_prepare(conn, "insert into t values (?)");
  ASSERT_NE(s, nullptr);
  SrvColumn parm{};
  struct Case {
    const char* entry;
    std::function<bool()> call;  // true: the answer says failure
  } cases[] = {
      {"SrvBeginTransaction", [&] { return srv_begin_transaction(conn) == 0; }},
      {"SrvCommit", [&] { return srv_commit(conn) == 0; }},
      {"SrvRollback", [&] { return srv_rollback(conn) == 0; }},
      {"SrvGetConnectOption", [&] { return srv_get_connect_option(conn, 1) == 0; }},
      {"SrvSetConnectOption", [&] { return srv_set_connect_option(conn, 1) == 0; }},
      {"SrvIterate", [&] { return srv_iterate_owners(conn, nullptr, nullptr, nullptr) == 0; }},
      {"SrvIterateTables", [&] { return srv_iterate_tables(conn, nullptr, nullptr, nullptr, nullptr) == 0; }},
      {"SrvBindParm", [&] { return srv_bind_parm(conn, s, &parm, 1) == 0; }},
      {"SrvExecutePrep", [&] { return srv_execute_prepared(conn, s) == 0; }},
      {"SrvNumColumns", [&] { return srv_num_columns(conn, s) < 0; }},
      {"SrvColumnName", [&] { return true; }},
  };
  for (const Case& c : cases) {
    err_clear();
    fake::Current().failures.clear();
    Fail(c.entry);
    if (std::string(c.entry) == "SrvColumnName") {
      fake::Current().columns = {{"A", 1}};
      SrvStatement* r = srv_execute(conn, "select a");
      ASSERT_NE(r, nullptr);
      err_clear();
      srv_column_name(conn, r, 1);
    } else {
      EXPECT_TRUE(c.call()) << c.entry;
    }
    ASSERT_EQ(err_count(), 1) << c.entry;
    EXPECT_EQ(g_err_stack->entries[0].code, 4711) << c.entry;
    EXPECT_EQ(Arg(0, 1), "driver says no") << c.entry;
    EXPECT_EQ(Arg(0, 2), "S1000") << c.entry;
  }
}

TEST_F(SrvFake, FailedExecuteFreesTheNewStatement) {
  const int before = Statements();
  Fail("SrvExecute");
  EXPECT_EQ(srv_execute(conn, "select nothing"), nullptr);
  EXPECT_EQ(Statements(), before);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, 4711);
  EXPECT_EQ(Arg(0), "driver says no");
  err_clear();
  Fail("SrvPrepare");
  EXPECT_EQ(srv_prepare(conn, "select ?"), nullptr);
  EXPECT_EQ(Statements(), before);
}

TEST_F(SrvFake, FetchConvertsEveryColumnType) {
  Date day{2004, 1, 27};
  Time at{250, 5, 4, 13};
  DateTime when{day, at};
  fake::Current().columns = {{"C", 1, 10, 0, 16},  {"D", 2, 19, 2, 8},  {"I", 3, 10, 0, 8},  {"S", 4, 5, 0, 8},
                             {"F", 8, 15, 0, 8},   {"L", 6, 1, 0, 8},   {"DAY", 5, 0, 0, 8}, {"T", 37, 0, 0, 8},
                             {"TS", 38, 0, 0, 16}, {"B", 17, 20, 0, 31}};
  fake::Current().rows = {{fake::Text("ab  \x01"), fake::Number(12.345), fake::Number(2.5), fake::Number(-7),
                           fake::Number(0.25), fake::Number(-0.5), fake::Text(std::string(reinterpret_cast<char*>(&day), 4)),
                           fake::Text(std::string(reinterpret_cast<char*>(&at), 6)),
                           fake::Text(std::string(reinterpret_cast<char*>(&when), 10)), fake::Text(std::string(20, '\xab'))}};
  SrvStatement* s = srv_execute(conn, "select *");
  ASSERT_NE(s, nullptr);
  // Targets: the decimal into a Float, the integer column into an Integer.
  Value targets[10] = {};
  Value indicators[10] = {};
  targets[1].type = VALUE_FLOAT;
  targets[2].type = VALUE_INTEGER;
  for (int16_t n = 1; n <= 10; ++n) {
    if (targets[n - 1].type == 0) targets[n - 1].type = VALUE_CHAR;
    ASSERT_EQ(srv_bind_column(conn, s, n, targets, static_cast<int16_t>(n - 1), indicators, static_cast<int16_t>(n - 1)), 1);
  }
  ASSERT_EQ(srv_fetch(conn, s, kSrvFetchNext), 1);
  EXPECT_FALSE(srv_statement_at_end(conn, s));
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(Text(targets[0]), "ab");
  EXPECT_EQ(targets[1].type, VALUE_FLOAT);
  EXPECT_DOUBLE_EQ(targets[1].u.d, 12.345);
  EXPECT_EQ(targets[2].type, VALUE_INTEGER);
  EXPECT_EQ(targets[2].u.i, 3);  // 2.5 rounds half away from zero
  EXPECT_EQ(targets[5].type, VALUE_LOGICAL);
  EXPECT_EQ(targets[5].u.b, 0);  // -0.5 truncates to 0: false
  EXPECT_EQ(targets[6].type, VALUE_DATE);
  EXPECT_EQ(targets[6].u.date.day, 27);
  EXPECT_EQ(targets[7].u.time.hour, 13);
  EXPECT_EQ(targets[8].u.dt.time.ms, 250);
  EXPECT_EQ(Text(targets[9]), Repeat("AB", 15));
  EXPECT_EQ(indicators[9].u.i, -2);
  // Past the last row: 1, the end flag, nothing pushed.
  EXPECT_EQ(srv_fetch(conn, s, kSrvFetchNext), 1);
  EXPECT_TRUE(srv_statement_at_end(conn, s));
  EXPECT_EQ(err_count(), 0);
  for (Value& v : targets) value_free(&v);
}

TEST_F(SrvFake, ColumnValuesAndTypes) {
  fake::Current().columns = {{"C", 1, 10, 0, 16}, {"D18", 2, 18, 2, 8}, {"D19", 2, 19, 2, 8},
                             {"B", 17, 20, 0, 31}, {"NB", 17, 4, 0, 9},  {"Z", 90, 0, 0, 8}};
  fake::Current().rows = {{fake::Text("x y  "), fake::Number(1.5), fake::Number(2.5), fake::Text(std::string(20, '\x0f')),
                           fake::Null(), fake::Number(0)}};
  SrvStatement* s = srv_execute(conn, "select *");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(srv_column_type(conn, s, 2), VALUE_DECIMAL);
  EXPECT_EQ(srv_column_type(conn, s, 3), VALUE_FLOAT);
  ASSERT_EQ(srv_fetch(conn, s, kSrvFetchNext), 1);
  Value v{};
  ASSERT_EQ(srv_column_value(conn, s, &v, 1), 1);
  EXPECT_EQ(Text(v), "x y");
  value_free(&v);
  v.type = VALUE_FLOAT;
  ASSERT_EQ(srv_column_value(conn, s, &v, 3), 1);
  EXPECT_EQ(v.type, VALUE_FLOAT);
  v.type = VALUE_FLOAT;
  ASSERT_EQ(srv_column_value(conn, s, &v, 2), 1);
  EXPECT_EQ(v.type, VALUE_DECIMAL);
  // 20 bytes in a 31-byte buffer: 15 bytes as 30 digits, indicator -2.
  ASSERT_EQ(srv_column_value(conn, s, &v, 4), 1);
  EXPECT_EQ(Text(v), Repeat("0F", 15));
  EXPECT_EQ(srv_column_indicator(conn, s, 4), -2);
  // A NULL binary column is not encoded.
  EXPECT_EQ(srv_column_indicator(conn, s, 5), -1);
  // A type the layer does not read: 960 with the column's name.
  err_clear();
  EXPECT_EQ(srv_column_value(conn, s, &v, 6), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvColumnType);
  EXPECT_EQ(Arg(0), "Z");
  value_free(&v);
}

TEST_F(SrvFake, UnknownColumnTypeInFetchStillConvertsTheRest) {
  fake::Current().columns = {{"Z", 90, 0, 0, 8}, {"C", 1, 10, 0, 16}};
  fake::Current().rows = {{fake::Number(1), fake::Text("after")}};
  SrvStatement* s = srv_execute(conn, "select *");
  Value targets[2] = {};
  targets[0].type = targets[1].type = VALUE_CHAR;
  ASSERT_EQ(srv_bind_column(conn, s, 1, targets, 0, nullptr, 0), 1);
  ASSERT_EQ(srv_bind_column(conn, s, 2, targets, 1, nullptr, 0), 1);
  EXPECT_EQ(srv_fetch(conn, s, kSrvFetchNext), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvColumnType);
  EXPECT_EQ(Text(targets[1]), "after");
  for (Value& v : targets) value_free(&v);
}

TEST_F(SrvFake, StatementWithoutResultSet) {
  kernel_string_override(kStrSrvNoResult, "no result set here");
  SrvStatement* s = srv_execute(conn, "delete from t");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(srv_fetch(conn, s, kSrvFetchNext), 1);
  EXPECT_TRUE(srv_statement_at_end(conn, s));
  Value v{};
  EXPECT_EQ(srv_column_value(conn, s, &v, 1), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvDriverText);
  EXPECT_EQ(Arg(0), "no result set here");
  err_clear();
  EXPECT_EQ(srv_column_indicator(conn, s, 1), 0);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvDriverText);
}

TEST_F(SrvFake, FailedFetchOnHelvoristanNamesTheDirection) {
  fake::Current().columns = {{"C", 1, 10, 0, 16}};
  std::snprintf(conn->server_type, sizeof conn->server_type, "Helvoristan/Oracle");
  SrvStatement* s = srv_execute(conn, "select c");
  Fail("SrvFetch", 61);
  kernel_string_override(kStrSrvFetchNote, "[note]");
  EXPECT_EQ(srv_fetch(conn, s, kSrvFetchFirst), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, 61);
  EXPECT_EQ(Arg(0), "driver says no:Fetch First. [note]");
  // Direction -1 adds nothing.
  err_clear();
  EXPECT_EQ(srv_fetch(conn, s, kSrvFetchNext), 0);
  EXPECT_EQ(Arg(0), "driver says no");
}

TEST_F(SrvFake, PrepareCountsParametersOutsideLiterals) {
  struct Case {
    const char* sql;
    int16_t count;
  } cases[] = {{"insert into t values (?, ?)", 2},
               {"select * from t where n = 'a?'", 0},
               {"select * from t where n = 'it''s?' and m = ?", 1},
               {"select \"odd?name\" from t where x = ?", 1}};
  for (const Case& c : cases) {
    SrvStatement* s = srv_prepare(conn, c.sql);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->param_count, c.count) << c.sql;
  }
}

TEST_F(SrvFake, SourcesAndDriverNames) {
  char buffer[kSrvTextSize];
  EXPECT_EQ(srv_sources("FaKe", buffer), 1);
  EXPECT_STREQ(buffer, "one;two");
  EXPECT_EQ(srv_sources("other", buffer), 0);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvNoDriver);
  EXPECT_EQ(Arg(0), "other");
  err_clear();
  Fail("SrvSources");
  EXPECT_EQ(srv_sources("fake", buffer), 0);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvDriverText);
  EXPECT_EQ(Arg(0), "no sources today");
  char name[36];
  EXPECT_EQ(srv_driver_name(srv_driver_count(), name, sizeof name), 0);
}

TEST_F(SrvFake, UnloadClosesStatementsAndDisconnectsFirst) {
  fake::Current().columns = {{"C", 1, 10, 0, 16}};
  ASSERT_NE(srv_execute(conn, "select c"), nullptr);
  EXPECT_EQ(fake::Current().open_statements, 1);
  EXPECT_EQ(fake::Current().open_connections, 1);
  fake::Current().calls.clear();
  srv_unload_all();
  EXPECT_EQ(fake::Current().calls, (std::vector<std::string>{"SrvClose", "SrvDisconnect", "SrvUnloadDriver"}));
  EXPECT_EQ(fake::Current().open_statements, 0);
  EXPECT_EQ(fake::Current().open_connections, 0);
  EXPECT_EQ(srv_env(), nullptr);
}

TEST_F(SrvFake, BadArgumentsAnswerZeroWithoutCalls) {
  fake::Current().columns = {{"C", 1, 10, 0, 16}};
  SrvStatement* s = srv_execute(conn, "select c");
  ASSERT_NE(s, nullptr);
  Value v{};
  EXPECT_EQ(srv_fetch(nullptr, s, kSrvFetchNext), 0);
  EXPECT_EQ(srv_column_value(nullptr, s, &v, 1), 0);
  EXPECT_EQ(srv_execute(nullptr, "select 1"), nullptr);
  EXPECT_EQ(srv_close_statement(conn, nullptr), 0);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(srv_column_value(conn, s, &v, 2), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvColumnType);
  EXPECT_EQ(Arg(0), "2");
  err_clear();
  EXPECT_EQ(srv_bind_column(conn, s, 0, &v, 0, nullptr, 0), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvColumnType);
}

TEST(SrvHex, EncodeAndDecodeInPlace) {
  char buf[8] = {'\x00', '\xab'};
  srv_hex_encode(buf, buf, 2);
  EXPECT_STREQ(buf, "00AB");
  unsigned char out[4] = {};
  EXPECT_EQ(srv_hex_decode(out, "00ab"), 2);
  EXPECT_EQ(out[1], 0xab);
  EXPECT_EQ(srv_hex_decode(out, "00AB"), 2);
  EXPECT_EQ(out[1], 0xab);
  EXPECT_EQ(srv_hex_decode(out, "7F0"), 1);
  EXPECT_EQ(out[0], 0x7f);
  char text[] = "C0FFEE";
  EXPECT_EQ(srv_hex_decode(text, text), 3);
  EXPECT_EQ(static_cast<unsigned char>(text[2]), 0xee);
}

TEST_F(SrvFake, SdoGeometryAboveTheConnectionLimitIsNotBound) {
  ASSERT_EQ(mapobj_runtime_start(), 1);
  MapObject* region = nullptr;
  ASSERT_EQ(mapobj_new(nullptr, &region, MAPOBJ_REGION, 0), 1);
  std::vector<IntPoint> ring;
  for (int i = 0; i < 40; ++i) ring.push_back({i * 10, (i % 2) * 10 + i});
  ASSERT_EQ(mapobjx_add_section(region, 0, nullptr), 1);
  ASSERT_EQ(mapobjx_insert_nodes(region, 0, 0, ring.data(), 40, nullptr, nullptr), 1);
  CoordXform xf{};
  xform_default_nonearth(&xf);
  SpatialColumnDesc desc{};
  desc.kind = 13;
  desc.geometry_class = 2;
  desc.dimensions = 2;
  desc.coordsys = &xf;
  SrvQuery q{};
  q.desc = &desc;
  SrvStatement* stmt = srv_prepare(conn, "insert into T (G) values (?)");
  ASSERT_NE(stmt, nullptr);
  void* blob = nullptr;
  void* holder = nullptr;
  SrvColumn* param = nullptr;
  conn->geometry_limit = 20;  // ordinates: ten points of two dimensions
  fake::Current().calls.clear();
  EXPECT_EQ(srv_spatial_bind_value(&q, conn, stmt, region, &blob, &holder, &param, 0), 0);
  ASSERT_NE(holder, nullptr);
  const SdoGeometry* g = static_cast<SdoArrays*>(holder)->geometry;
  ASSERT_GE(g->ord_count / 2, 40);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvGeometryTooLarge);
  EXPECT_EQ(Arg(0), std::to_string(g->ord_count / 2));
  EXPECT_EQ(Arg(0, 2), "10");
  for (const std::string& call : fake::Current().calls) EXPECT_NE(call, "SrvBindParm");
  err_clear();
  conn->geometry_limit = 1000;
  EXPECT_EQ(srv_spatial_bind_value(&q, conn, stmt, region, &blob, &holder, &param, 0), 1);
  EXPECT_EQ(param->type, 90);
  EXPECT_EQ(param->buffer_length, static_cast<int32_t>(sizeof(SdoGeometry)));
  srv_spatial_bind_release(&blob, &holder, &param);
  mapobj_destroy(&region);
  mapobj_runtime_end();
  value_set_object_ops(nullptr);
}

}  // namespace
