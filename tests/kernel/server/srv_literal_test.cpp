// SQL literals per server dialect, key conditions, aggregates and key
// columns added to a select list, on connection records that carry only a
// server type and a quote.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kernel/runtime/date.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"
#include "kernel/server/srv_query.h"
#include "kernel/tables/odbctype.h"
#include "kernel/tables/tabdef.h"

namespace {

SrvConnection Server(const char* type) {
  SrvConnection c{};
  std::strncpy(c.server_type, type, sizeof c.server_type - 1);
  std::strcpy(c.quote, "\"");
  return c;
}

std::string Literal(const SrvConnection& c, Value* v, int32_t size = 256) {
  std::string out(static_cast<size_t>(size), 'x');
  if (!srv_value_literal(&c, out.data(), v, size, -1)) return "<0:" + std::string(out.c_str()) + ">";
  return out.c_str();
}

TEST(SrvLiteral, TimeWithoutDateTakesTodayWhereTheServerNeedsADate) {
  Value v{};
  v.type = 38;
  date_set_empty(&v.u.dt.date);
  ASSERT_EQ(time_from_ms((13 * 60 + 5) * 60 * 1000, &v.u.dt.time), 1);
  Value copy = v;
  EXPECT_EQ(Literal(Server("Microsoft SQL Server"), &copy), "{t '13:05:00.000'}");
  EXPECT_EQ(Literal(Server("Oracle"), &copy), "TO_TIMESTAMP('13:05:00.000', 'HH24:MI:SS.FF')");
  Date today{};
  date_today(&today);
  char d[11];
  date_format_ordered_text(d, sizeof d, &today, 2, "-", "-");
  EXPECT_EQ(Literal(Server("Informix Dynamic Server"), &v), std::string("{ts '") + d + " 13:05:00.000'}");
  EXPECT_EQ(date_compare(&v.u.dt.date, &today), 0);
}

TEST(SrvLiteral, FailuresLeaveOutEmpty) {
  Value v{};
  v.type = 7;  // no literal form
  EXPECT_EQ(Literal(Server("Oracle"), &v), "<0:>");
  Value n{};
  n.type = 3;
  n.u.i = 123456;
  EXPECT_EQ(Literal(Server("Oracle"), &n, 4), "<0:>");  // does not fit: never cut
  EXPECT_EQ(Literal(Server("Oracle"), &n, 7), "123456");
  Value f{};
  f.type = 8;
  f.u.d = -1.2345678901234e-300;
  EXPECT_EQ(Literal(Server("Oracle"), &f), "-1.2345678901234e-300");
  Value t{};
  t.type = 37;
  time_set_null(&t.u.time);
  EXPECT_EQ(Literal(Server("IUS"), &t), "NULL");
  ASSERT_EQ(time_from_ms(((1 * 60 + 2) * 60 + 3) * 1000 + 4, &t.u.time), 1);
  EXPECT_EQ(Literal(Server("IUS"), &t), "{t '01:02:03'}");
  EXPECT_EQ(Literal(Server("Oracle"), &t), "TO_TIMESTAMP('01:02:03.004', 'HH24:MI:SS.FF')");
}

struct KeyQuery {
  SrvConnection conn = Server("Microsoft SQL Server");
  SrvTableRef ref{};
  char names[3][kSrvKeyNameSize] = {};
  SrvKeyList keys{};
  SpatialColumnDesc desc{};
  char* items[260] = {};
  SrvQuery query{};
  FieldDef* fields = nullptr;
  int16_t field_count = 0;
  KeyQuery(std::initializer_list<const char*> list, std::initializer_list<const char*> key_names, int16_t hidden) {
    int16_t n = 0;
    for (const char* item : list) items[n++] = const_cast<char*>(item);
    int16_t k = 0;
    for (const char* key : key_names) std::strcpy(names[k++], key);
    keys.count = k;
    keys.names = names;
    std::strcpy(ref.table, "T");
    std::strcpy(ref.text, "O.T");
    query.conn = &conn;
    query.table = &ref;
    query.items = items;
    query.item_count = n;
    query.hidden_items = hidden;
    query.keys = &keys;
    query.desc = &desc;
    field_count = n;
    fields = fieldlist_new(n);
  }
  ~KeyQuery() {
    fieldlist_free(fields, field_count);
    // The added key columns are kernel blocks: those holding a ".".
    for (int i = 0; query.added_keys > 0 && i < query.item_count; ++i) {
      if (std::strchr(items[i], '.') != nullptr) mem_free(&items[i]);
    }
  }
};

TEST(SrvKeys, ConditionFromTheRowValues) {
  KeyQuery q({"ID", "NAME", "V"}, {"id", "NAME"}, 0);
  q.fields[0].value.type = 3;
  q.fields[0].value.u.i = 12;
  value_from_text("", 1, 10, -1, 1, &q.fields[1].value, 0);
  q.fields[1].value.type = 1;
  char* text = nullptr;
  ASSERT_EQ(srv_key_condition(&q.conn, &q.query, q.fields, &text), 1);
  EXPECT_STREQ(text, "ID=12 AND NAME IS NULL");
  mem_free(&text);
  // A key value without a literal fails naming its column.
  err_clear();
  q.fields[0].value.type = 7;
  EXPECT_EQ(srv_key_condition(&q.conn, &q.query, q.fields, &text), 0);
  EXPECT_EQ(text, nullptr);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvColumnType);
  err_clear();
  q.fields[0].value.type = 3;
}

TEST(SrvKeys, AggregatesAndAddedKeyColumns) {
  KeyQuery q({"NAME", "count(ID)", "G"}, {"ID"}, 1);
  q.desc.style_column = 1;
  q.query.style_index = 2;
  int16_t count = q.query.item_count;
  EXPECT_EQ(srv_query_has_aggregate(&q.conn, &q.query, &count, q.items), 1);
  EXPECT_EQ(q.query.aggregate, 1);
  ASSERT_EQ(srv_add_key_columns(&q.conn, &q.query, &count, q.items), 1);
  ASSERT_EQ(count, 4);
  EXPECT_STREQ(q.items[2], "O.T.\"ID\"");
  EXPECT_STREQ(q.items[3], "G");
  EXPECT_EQ(q.query.added_keys, 1);
  EXPECT_EQ(q.query.style_index, 3);
  q.query.item_count = count;
  // "*" satisfies every key; an alias names the table.
  KeyQuery star({"*", "G"}, {"ID", "K"}, 1);
  int16_t n = 2;
  ASSERT_EQ(srv_add_key_columns(&star.conn, &star.query, &n, star.items), 1);
  EXPECT_EQ(n, 2);
  KeyQuery aliased({"A"}, {"K"}, 0);
  std::strcpy(aliased.ref.alias, "X");
  int16_t m = 1;
  ASSERT_EQ(srv_add_key_columns(&aliased.conn, &aliased.query, &m, aliased.items), 1);
  EXPECT_STREQ(aliased.items[1], "\"X\".\"K\"");
  aliased.query.item_count = m;
  // No key list: 1573.
  err_clear();
  int16_t found = 7;
  SrvQuery none{};
  EXPECT_EQ(srv_select_row_by_key(nullptr, &none, 0, nullptr, nullptr, nullptr, &found), 0);
  EXPECT_EQ(found, 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, kErrSrvNoKeyList);
  err_clear();
}

TEST(SrvKeys, ExtensionStatementQuotesTheWholeText) {
  KeyQuery q({"ID", "NAME"}, {"NAME"}, 0);
  std::strcpy(q.conn.server_type, "SQL Server QD");
  q.query.extension = 1;
  std::strcpy(q.ref.text, "T");
  value_from_text("O'Neil", 1, 10, -1, 1, &q.fields[1].value, 0);
  char* cond = nullptr;
  ASSERT_EQ(srv_key_condition(&q.conn, &q.query, q.fields, &cond), 1);
  const std::string select = std::string("SELECT ID, NAME FROM T WHERE ") + cond;
  mem_free(&cond);
  char* sql = srv_query_statement_text(&q.conn, &q.query, select.c_str());
  EXPECT_STREQ(sql, "exec sp_spatial_query 'SELECT ID, NAME FROM T WHERE NAME=''O''''Neil'''");
  mem_free(&sql);
}

TEST(SrvConnect, StrippingAndLabels) {
  EXPECT_EQ(srv_strip_connect_options("FOO"), "FOO=");
  EXPECT_EQ(srv_strip_connect_options("DSN=x;PWD=secret;scroll=NO;UID = u "), "DSN=x;UID=u");
  SrvConnection c = Server("SQLite");
  std::strcpy(c.source, "src");
  c.number = 1;
  char label[64];
  srv_connection_label(&c, label, sizeof label);
  EXPECT_STREQ(label, "src:1");
}

TEST(SrvConnect, InUseWhileAnOpenLinkedTableNamesIt) {
  SrvConnection a = Server("SQLite"), b = Server("SQLite");
  LinkInfo link;
  link.connection = &a;
  TableDef def;
  def.storage.type = TABTYPE_ODBC;
  typeopts_init(&def.storage.options, TABTYPE_ODBC);
  std::get<OdbcOptions>(def.storage.options).link = &link;
  OpenTable entry;
  std::strcpy(entry.name, "LINKED");
  entry.bases.push_back(&def);
  EXPECT_EQ(srv_connection_in_use(&a), 0);
  open_table_list_add(&entry, 1);
  EXPECT_EQ(srv_connection_in_use(&a), 1);
  EXPECT_EQ(srv_connection_in_use(&b), 0);
  def.storage.type = TABTYPE_NATIVE;  // another type never counts
  EXPECT_EQ(srv_connection_in_use(&a), 0);
  def.storage.type = TABTYPE_ODBC;
  open_table_list_remove(&entry);
  EXPECT_EQ(srv_connection_in_use(&a), 0);
  std::get<OdbcOptions>(def.storage.options).link = nullptr;
}

}  // namespace
