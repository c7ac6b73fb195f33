// The database engine of the Access driver on the in-memory engine: what is
// sent when a database is opened or created, the retries, the probes, the
// engine's errors as one kernel error, the shared engine and its start and
// stop.
#include <gtest/gtest.h>

#include <string>

#include "kernel/drivers/access_fixture.h"

namespace {

class drivers_access_engine : public AccessTest {
 protected:
  // Opens (version or -1) through the driver, with the engine held.
  HRESULT open_db(int32_t version, const char* password, int16_t read_only = 0) {
    EXPECT_TRUE(dao_engine_start());
    DaoDatabase* d = nullptr;
    const HRESULT h = dao_open_database(version, read_only, db_.c_str(), password, &d);
    dao_close_database(&d);
    dao_engine_release();
    return h;
  }
};

TEST_F(drivers_access_engine, PasswordIsSentOnlyBelowTwentyCharacters) {
  mem_dao_create(db_, "4.0", "secret");
  EXPECT_FALSE(hr_failed(open_db(-1, "secret")));
  const auto first = mem_dao_log_of("OpenDatabase");
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0], "OpenDatabase(\"" + db_ + "\", VT_BOOL 0, VT_BOOL 0, VT_BSTR \";pwd=secret\")");
  mem_dao_clear_log();
  // 20 characters are not sent: ";" alone, which the database refuses (3031,
  // no second try).
  const HRESULT h = open_db(-1, "abcdefghijklmnopqrst");
  EXPECT_EQ(dao_error_number(h), kDaoBadPassword);
  const auto second = mem_dao_log_of("OpenDatabase");
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0], "OpenDatabase(\"" + db_ + "\", VT_BOOL 0, VT_BOOL 0, VT_BSTR \";\")");
}

TEST_F(drivers_access_engine, MissingDatabaseIsCreatedInTheFormatOfTheVersionCode) {
  struct Case {
    int32_t version;
    bool older_engine;
    const char* option;
  } cases[] = {{4, false, "VT_I2 32"}, {5, false, "VT_I2 64"}, {0, false, "VT_I2 64"}, {5, true, "VT_I2 32"},
               {0, true, "VT_I2 32"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    dao_engine_reset();
    mem_dao_install();
    mem_dao_set_classes(!c.older_engine, true);
    std::remove(db_.c_str());
    EXPECT_FALSE(hr_failed(open_db(c.version, nullptr)));
    const auto made = mem_dao_log_of("CreateDatabase");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0], "CreateDatabase(\"" + db_ + "\", \";LANGID=0x0409;CP=1252;COUNTRY=0\", " + c.option + ")");
    EXPECT_EQ(dao_default_format(), c.older_engine ? 32 : 64);
  }
}

TEST_F(drivers_access_engine, OtherFailuresAreTriedOnceMoreExclusiveAndReadOnly) {
  // Missing with -1: the second open fails too, and its result stands.
  HRESULT h = open_db(-1, nullptr);
  EXPECT_EQ(dao_error_number(h), kDaoNotFound);
  auto opens = mem_dao_log_of("OpenDatabase");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[1], "OpenDatabase(\"" + db_ + "\", VT_BOOL -1, VT_BOOL -1, VT_BSTR \";\")");
  EXPECT_TRUE(mem_dao_log_of("CreateDatabase").empty());
  // Any other error: the second open succeeds, and that stands.
  mem_dao_create(db_, "4.0", "");
  mem_dao_clear_log();
  mem_dao_fail_call("OpenDatabase", 1, 3051, {"busy"});
  h = open_db(5, nullptr);
  EXPECT_FALSE(hr_failed(h));
  opens = mem_dao_log_of("OpenDatabase");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_NE(opens[1].find("VT_BOOL -1, VT_BOOL -1"), std::string::npos);
}

TEST_F(drivers_access_engine, VersionProbe) {
  struct Case {
    const char* version;
    int32_t code;
  } cases[] = {{"4.0", 5}, {"3.5", 4}, {"3.0", 4}, {"2.0", 3}, {"1.1", 2}, {"1.0", 1}, {"7.0", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    mem_dao_create(db_, c.version, "");
    int32_t code = -1;
    int16_t opened = -1;
    EXPECT_TRUE(dao_database_version(db_.c_str(), nullptr, &code, &opened));
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(opened, 1);
  }
  // A database that wants a password: success, opened 0, nothing pushed.
  mem_dao_create(db_, "4.0", "pw");
  int32_t code = -1;
  int16_t opened = -1;
  EXPECT_TRUE(dao_database_version(db_.c_str(), "other", &code, &opened));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(mem_dao_log_of("OpenDatabase").size(), 8u);  // no retry after 3031
  // A missing database fails with the engine's text.
  std::remove(db_.c_str());
  EXPECT_FALSE(dao_database_version(path("none.mdb").c_str(), nullptr, &code, &opened));
  EXPECT_EQ(codes(), std::vector<int>{kErrAccessEngine});
}

TEST_F(drivers_access_engine, ListsTheUserTables) {
  keyed_table("B", 0);
  mem_dao_add_table(db_, "MSysObjects", {{"X", dbLong, 4, 0}});
  mem_dao_set_table_attributes(db_, "MSysObjects", static_cast<int32_t>(0x80000002u));
  mem_dao_add_table(db_, "A", {{"X", dbLong, 4, 0}});
  char* names = nullptr;
  int32_t count = 0;
  ASSERT_TRUE(dao_list_tables(db_.c_str(), nullptr, &names, &count));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(namelist_find(names, "A", nullptr, 0));
  EXPECT_TRUE(namelist_find(names, "B", nullptr, 0));
  EXPECT_FALSE(namelist_find(names, "MSysObjects", nullptr, 0));
  mem_free(&names);
}

TEST_F(drivers_access_engine, EngineErrorsBecomeOne1342) {
  keyed_table("T", 1);
  const std::string long_text(1948, 'y');
  struct Case {
    std::vector<std::string> descriptions;
    std::string joined;
  } cases[] = {
      {{"first. ", "second. ", "third."}, "first. second. third."},
      // 100 + 1948 reaches 2048: left out; the short one after joins.
      {{std::string(100, 'x'), long_text, "z"}, std::string(100, 'x') + "z"},
      {{std::string(2047, 'w')}, std::string(2047, 'w')},
      {{std::string(2048, 'v'), "short"}, "short"},
  };
  for (const auto& c : cases) {
    err_clear();
    mem_dao_fail_call("Database.OpenRecordset", 1, 3051, c.descriptions);
    EXPECT_EQ(describe("T"), nullptr);
    ASSERT_EQ(codes(), std::vector<int>{kErrAccessEngine});
    EXPECT_EQ(arg(0), c.joined);
    EXPECT_FALSE(file_exists(path("T.aid").c_str(), 0));
  }
  // An engine call failing while the errors are gathered: 1343.
  err_clear();
  mem_dao_fail_call("Database.OpenRecordset", 1, 3051, {"a"});
  mem_dao_fail_call("Error.get_Description", 1, 3051, {"b"});
  EXPECT_EQ(describe("T"), nullptr);
  EXPECT_EQ(codes(), std::vector<int>{kErrAccessNoEngine});
}

TEST_F(drivers_access_engine, NoEngine) {
  keyed_table("T", 1);
  mem_dao_set_classes(false, false);
  EXPECT_EQ(describe("T"), nullptr);
  EXPECT_EQ(codes(), std::vector<int>{kErrAccessNoEngine});
  err_clear();
  TableDef* t = definition("N");
  FieldDef f[] = {field("A", VALUE_INTEGER, 11)};
  const TypeOptions o = t->storage.options;
  EXPECT_FALSE(tabtype_create(db_.c_str(), nullptr, 0, 0, &t->storage, TABTYPE_ACCESS, 1, f, &o, std::get<AccessOptions>(o).row_map));
  EXPECT_EQ(codes(), std::vector<int>{kErrAccessNoEngine});
  err_clear();
  TableDef* u = definition("T");
  u->field_count = 1;
  u->fields = fieldlist_new(1);
  u->fields[0] = field("N", VALUE_INTEGER, 11);
  EXPECT_FALSE(open(u));
  EXPECT_EQ(codes(), std::vector<int>{kErrAccessNoEngine});
  EXPECT_EQ(CoInitCount(), 0);
}

TEST_F(drivers_access_engine, TwoTablesShareOneEngine) {
  keyed_table("T", 2);
  keyed_table("U", 2);
  TableDef* t = describe("T");
  TableDef* u = describe("U");
  ASSERT_NE(t, nullptr);
  ASSERT_NE(u, nullptr);
  mem_dao_clear_log();
  ASSERT_TRUE(open(t));
  ASSERT_TRUE(open(u));
  EXPECT_EQ(dao_engine_refs(), 2);
  EXPECT_EQ(CoInitCount(), 1);
  EXPECT_EQ(mem_dao_log_of("CreateInstance").size(), 1u);
  tabtype_end_access(&t->storage);
  tabtype_close(&t->storage, nullptr);
  EXPECT_EQ(dao_engine_refs(), 1);
  tabtype_end_access(&u->storage);
  tabtype_close(&u->storage, nullptr);
  EXPECT_EQ(dao_engine_refs(), 0);
  EXPECT_EQ(CoInitCount(), 0);
}

TEST_F(drivers_access_engine, LockedTableOpensReadOnly) {
  keyed_table("T", 2);
  TableDef* t = describe("T");
  ASSERT_NE(t, nullptr);
  mem_dao_set_locked(db_, "T", true);
  mem_dao_clear_log();
  ASSERT_TRUE(open(t, 1));
  const auto sets = mem_dao_log_of("Database.OpenRecordset");
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0], "Database.OpenRecordset(\"T\", VT_I4 1, VT_I4 0, VT_I4 3)");
  EXPECT_EQ(sets[1], "Database.OpenRecordset(\"T\", VT_I4 1, VT_I4 0, VT_I4 4)");
  EXPECT_EQ(std::get<AccessOptions>(t->storage.options).lock_state & 1, 1);
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 2));
  EXPECT_EQ(text(t, 1), "r2");
  // Writes then fail in the engine: 1342, and 1351 with the row.
  int32_t id = 0;
  tabtype_end_access(&t->storage);
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 2));
  EXPECT_FALSE(tabtype_insert_row(&t->storage, t->fields, &id));
  EXPECT_EQ(codes(), (std::vector<int>{kErrAccessEngine, kErrAccessRow}));
  EXPECT_EQ(arg(1), "3");
}

TEST_F(drivers_access_engine, TransactionsCommitAndRollBack) {
  keyed_table("T", 2);
  TableDef* t = describe_open("T", 2);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(dao_begin_transaction(&t->storage));
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 1));
  int32_t id = 0;
  ASSERT_TRUE(tabtype_insert_row(&t->storage, t->fields, &id));
  EXPECT_EQ(mem_dao_row_count(db_, "T"), 3);
  ASSERT_TRUE(dao_rollback_transaction(&t->storage));
  EXPECT_EQ(mem_dao_row_count(db_, "T"), 2);
  ASSERT_TRUE(dao_begin_transaction(&t->storage));
  ASSERT_TRUE(tabtype_delete_row(&t->storage, 1));
  ASSERT_TRUE(dao_commit_transaction(&t->storage));
  EXPECT_EQ(mem_dao_row_count(db_, "T"), 1);
  EXPECT_EQ(mem_dao_log_of("Database.CommitTrans").front(), "Database.CommitTrans(1)");
  EXPECT_FALSE(dao_commit_transaction(&t->storage));
}

}  // namespace

namespace {

TEST(drivers_access_select, OnlyTheRowMapSelectIsRun) {
  struct Case {
    const char* sql;
    bool ok;
    const char* key;
    const char* table;
    int64_t above;
  } cases[] = {
      {"select `ID` from `T` where `ID` > 5", true, "ID", "T", 5},
      {"SELECT `id` FROM `My Table` WHERE `ID` > -1", true, "id", "My Table", -1},
      {"select `ID` from `T` where `ID` > 0", true, "ID", "T", 0},
      {"select `ID` from `T` where `N` > 5", false, "", "", 0},
      {"select `ID` from `T` where `ID` >= 5", false, "", "", 0},
      {"select `ID` from `T` where `ID` > 5 ", false, "", "", 0},
      {"select `ID` from `T` where `ID` > 5; drop", false, "", "", 0},
      {"select `ID`, `N` from `T` where `ID` > 5", false, "", "", 0},
      {"select `` from `T` where `` > 5", false, "", "", 0},
      {"select `ID` from `T` where `ID` > -", false, "", "", 0},
      {"select `ID` from `T` where `ID` > 123456789012", false, "", "", 0},
      {"select ID from T where ID > 5", false, "", "", 0},
  };
  for (const auto& c : cases) {
    std::string key, table;
    int64_t above = 0;
    EXPECT_EQ(dao_parse_select(c.sql, &key, &table, &above), c.ok) << c.sql;
    if (c.ok) {
      EXPECT_EQ(key, c.key);
      EXPECT_EQ(table, c.table);
      EXPECT_EQ(above, c.above);
    }
  }
}

}  // namespace
