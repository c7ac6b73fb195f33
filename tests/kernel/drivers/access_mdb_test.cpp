// Real Access files (Jet 4 fixtures of our own writer) read through the
// engine over libmdb: the fixtures regenerate byte for byte, tabdump prints
// what mdbtools alone reads from them (expected files written by
// tools/gen_mdb_expected.py), the row map holds the keys, the database file
// is never changed, refusals leave no row map, and a record added to the
// file is taken in at the next access.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "kernel/drivers/access.h"
#include "kernel/drivers/jet4/jet4gen.h"
#include "kernel/kernel_files_fixture.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/dao/mdbengine.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string data_file(const std::string& name) { return std::string(ACCESS_DATA_DIR) + "/" + name; }

class drivers_access_mdb : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    tables_runtime_start();
    dao_engine_reset();
  }
  void TearDown() override {
    dao_engine_reset();
    KernelFilesTest::TearDown();
  }
  struct Run {
    int exit_code;
    std::string out, err;
  };
  Run tabdump(const std::string& args) {
    const std::string cmd = std::string("'") + TABDUMP_PATH + "' " + args + " >'" + path("out.txt") + "' 2>'" +
                            path("err.txt") + "'";
    const int status = std::system(cmd.c_str());
    Run r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(path("out.txt")), slurp(path("err.txt"))};
    std::remove(path("out.txt").c_str());
    std::remove(path("err.txt").c_str());
    return r;
  }
  static std::string sha256(const std::string& file) {
    const std::string cmd = "sha256sum '" + file + "'";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[128] = {};
    if (p != nullptr) {
      if (std::fgets(buf, sizeof buf, p) == nullptr) buf[0] = '\0';
      pclose(p);
    }
    return std::string(buf).substr(0, 64);
  }
  static std::string le_keys(const std::string& keys_text) {
    std::istringstream in(keys_text);
    std::string out;
    for (int64_t k = 0; in >> k;) {
      for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<uint64_t>(k) >> (8 * i)) & 0xFF);
    }
    return out;
  }
};

TEST_F(drivers_access_mdb, FixturesRegenerateByteForByte) {
  for (const char* name : {"data.mdb", "secret.mdb", "newer.accdb"}) {
    const std::vector<uint8_t> made = jet4::build(jet4::fixture(name));
    EXPECT_EQ(std::string(made.begin(), made.end()), slurp(data_file(name))) << name;
  }
}

TEST_F(drivers_access_mdb, HeaderFormatAndPassword) {
  std::string format;
  std::u16string password;
  ASSERT_TRUE(mdb_dao_read_header(data_file("secret.mdb"), &format, &password));
  EXPECT_EQ(format, "4.0");
  EXPECT_EQ(password, u"secret");
  ASSERT_TRUE(mdb_dao_read_header(data_file("data.mdb"), &format, &password));
  EXPECT_EQ(password, u"");
  ASSERT_TRUE(mdb_dao_read_header(data_file("newer.accdb"), &format, &password));
  EXPECT_EQ(format, "ACE");
  int32_t version = -1;
  int16_t opened = -1;
  ASSERT_TRUE(dao_database_version(data_file("data.mdb").c_str(), nullptr, &version, &opened));
  EXPECT_EQ(version, 5);
  EXPECT_EQ(opened, 1);
  ASSERT_TRUE(dao_database_version(data_file("secret.mdb").c_str(), "wrong", &version, &opened));
  EXPECT_EQ(opened, 0);
  char* names = nullptr;
  int32_t count = 0;
  ASSERT_TRUE(dao_list_tables(data_file("data.mdb").c_str(), nullptr, &names, &count));
  EXPECT_EQ(count, 3);  // MSysObjects is no user table
  mem_free(&names);
}

TEST_F(drivers_access_mdb, TabdumpPrintsWhatMdbtoolsReads) {
  struct Case {
    const char* file;
    const char* table;
    const char* password;
  } cases[] = {{"data.mdb", "People", ""}, {"data.mdb", "Empty", ""}, {"secret.mdb", "Items", "secret"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    const std::string db = data_file(c.file);
    const std::string before = sha256(db);
    ASSERT_EQ(before.size(), 64u);
    const std::string golden = std::string(ACCESS_GOLDEN_DIR) + "/" + std::string(c.file).substr(0, std::string(c.file).find('.')) +
                               "_" + c.table;
    const Run r = tabdump(std::string("--type mdb --table ") + c.table + (c.password[0] ? " --password " : "") +
                          c.password + " --keep '" + dir_ + "' '" + db + "'");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, slurp(golden + ".txt"));
    EXPECT_EQ(slurp(path(std::string(c.table) + ".aid")), le_keys(slurp(golden + ".keys")));
    EXPECT_EQ(sha256(db), before);
  }
}

TEST_F(drivers_access_mdb, RefusalsLeaveNoRowMap) {
  struct Case {
    const char* args;
    const char* table;
  } cases[] = {
      {"--table NoKey", "NoKey"},                                // no key, and none can be made in a read-only file
      {"--table People ACCDB", "People"},                         // a newer format
      {"--table Items --password wrong SECRET", "Items"},         // a wrong password
      {"--table Items SECRET", "Items"},                          // no password
      {"--table Nothing", "Nothing"},                             // no such table
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::string args = c.args;
    std::string file = data_file("data.mdb");
    if (args.find(" ACCDB") != std::string::npos) args.erase(args.find(" ACCDB")), file = data_file("newer.accdb");
    if (args.find(" SECRET") != std::string::npos) args.erase(args.find(" SECRET")), file = data_file("secret.mdb");
    const Run r = tabdump("--type mdb " + args + " --keep '" + dir_ + "' '" + file + "'");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("error 1342"), std::string::npos) << r.err;
    EXPECT_FALSE(file_exists(path(std::string(c.table) + ".aid").c_str(), 0));
  }
  // The text of the refusal: the engine's read-only error.
  const Run r = tabdump("--type mdb --table NoKey --keep '" + dir_ + "' '" + data_file("data.mdb") + "'");
  setenv("TABDUMP_ERROR_TEXT", "1", 1);
  const Run t = tabdump("--type mdb --table NoKey --keep '" + dir_ + "' '" + data_file("data.mdb") + "'");
  unsetenv("TABDUMP_ERROR_TEXT");
  EXPECT_NE(t.err.find("Database or object is read-only ("), std::string::npos) << t.err;
  EXPECT_EQ(r.err, "error 1342\n");
}

TEST_F(drivers_access_mdb, BrokenFilesAreRefusedBeforeLibmdbReadsThem) {
  // Pages of data.mdb: 0 header, 1 usage maps, 2 the catalogue's
  // definition, 3 People's, 4 and 5 its index leaves, 6 its data.
  struct Case {
    const char* what;
    size_t at;
    std::vector<uint8_t> bytes;
    bool opens;  // the database opens; the table does not
  } cases[] = {
      {"catalogue usage map names a missing row", 2 * 4096 + 0x37, {0x63, 0x01, 0, 0}, false},
      {"catalogue definition is no definition", 2 * 4096, {0x01}, false},
      {"People has no columns", 3 * 4096 + 0x2D, {0, 0}, true},
      {"People claims more indexes than it holds", 3 * 4096 + 0x2F, {0xFF, 0, 0, 0}, true},
      {"a row starts inside the row table", 6 * 4096 + 0x0E, {0x01, 0x00}, true},
      {"a row claims 300 columns", 6 * 4096 + 3995, {0x2C, 0x01}, true},
      {"People's usage map is cut", 3 * 4096 + 0x37, {0x07, 0x00, 0x00, 0x00}, true},
  };
  const std::vector<uint8_t> good = jet4::build(jet4::fixture("data.mdb"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bad = good;
    std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + static_cast<std::ptrdiff_t>(c.at));
    const std::string db = path("bad.mdb");
    FILE* f = std::fopen(db.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bad.data(), 1, bad.size(), f);
    std::fclose(f);
    err_clear();
    char* names = nullptr;
    int32_t count = 0;
    EXPECT_EQ(dao_list_tables(db.c_str(), nullptr, &names, &count) != 0, c.opens);
    mem_free(&names);
    const Run r = tabdump("--type mdb --table People --keep '" + dir_ + "' '" + db + "'");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "error 1342\n");
    EXPECT_FALSE(file_exists(path("People.aid").c_str(), 0));
  }
  // A file that is not of whole pages.
  put("short.mdb", std::string(reinterpret_cast<const char*>(good.data()), 3 * 4096 + 10));
  EXPECT_EQ(tabdump("--type mdb --table People '" + path("short.mdb") + "'").err, "error 1342\n");
}

TEST_F(drivers_access_mdb, RegisteredTableOpensFromItsDefinition) {
  const std::string db = path("data.mdb");
  ASSERT_TRUE(jet4::write_file(db, jet4::fixture("data.mdb")));
  const std::string stmt = "Register Table \"" + db + "\" Type ACCESS Table \"People\" Into \"" + path("P.TAB") + "\"";
  ASSERT_TRUE(stmt_exec_text(stmt.c_str(), 0)) << err_first_code();
  EXPECT_EQ(slurp(path("P.aid")), le_keys("1 2 5 9"));
  const int32_t def = file_register(path("P.TAB").c_str(), 1);
  ASSERT_GT(def, 0);
  TableDef* t = table_open_file(def);
  ASSERT_NE(t, nullptr) << err_first_code();
  EXPECT_EQ(t->storage.type, TABTYPE_ACCESS);
  EXPECT_EQ(t->field_count, 11);
  EXPECT_EQ(t->storage.row_count, 4);
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1));
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 3));
  EXPECT_EQ(t->fields[0].value.u.i, 5);
  EXPECT_EQ(t->fields[3].value.u.s, 0);
  tabtype_end_access(&t->storage);
  tabdef_free(t);
  EXPECT_EQ(dao_engine_refs(), 0);
}

TEST_F(drivers_access_mdb, RecordAddedToTheFileIsTakenInAtTheNextAccess) {
  const std::string db = path("data.mdb");
  ASSERT_TRUE(jet4::write_file(db, jet4::fixture("data.mdb")));
  put("People.TAB", "");
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_ACCESS;
  typeopts_init(&t->storage.options, TABTYPE_ACCESS);
  auto& a = std::get<AccessOptions>(t->storage.options);
  a.table = "People";
  a.row_map = file_register(path("People.TAB").c_str(), 1);
  ASSERT_TRUE(tabtype_read_fields(db.c_str(), t));
  tabtype_close(&t->storage, nullptr);
  t->storage.field_count = t->field_count;
  ASSERT_TRUE(tabtype_open(db.c_str(), 0, &t->storage, TABTYPE_ACCESS, &t->field_count, &t->fields));
  EXPECT_EQ(t->storage.row_count, 4);
  int16_t changed = 0;
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1, &changed));
  EXPECT_EQ(changed, 0);
  ASSERT_TRUE(tabtype_end_access(&t->storage));
  // The file written again with one more record, its time a second later.
  struct stat st;
  ASSERT_EQ(stat(db.c_str(), &st), 0);
  ASSERT_TRUE(jet4::write_file(db, jet4::fixture("data.mdb", 1)));
  struct timespec times[2] = {{st.st_mtim.tv_sec + 1, 0}, {st.st_mtim.tv_sec + 1, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, db.c_str(), times, 0), 0);
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1, &changed));
  EXPECT_EQ(changed & 1, 1);
  EXPECT_EQ(t->storage.row_count, 5);
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 5));
  EXPECT_EQ(t->fields[0].value.u.i, 10);
  EXPECT_STREQ(value_text_ptr(&t->fields[1].value, nullptr), "extra 1");
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 3));
  EXPECT_EQ(t->fields[0].value.u.i, 5);
  tabtype_end_access(&t->storage);
  tabtype_close(&t->storage, nullptr);
  file_unregister(a.row_map);
  tabdef_free(t);
  EXPECT_EQ(dao_engine_refs(), 0);
}

}  // namespace
