// Access tables through the table-type dispatch on the in-memory engine:
// create, describe and open with the key column, the type mappings, the
// row map's edge cases, records added by others and structure changes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "kernel/drivers/access_fixture.h"
#include "kernel/drivers/rowmap.h"

namespace {

class drivers_access_table : public AccessTest {
 protected:
  std::string column_list(const std::string& table) const {
    std::string out;
    for (const auto& c : mem_dao_columns(db_, table)) {
      out += c.name + " " + std::to_string(c.type) + " " + std::to_string(c.size) + " " +
             std::to_string(c.attributes) + ";";
    }
    return out;
  }
  std::string index_list(const std::string& table) const {
    std::string out;
    for (const auto& i : mem_dao_indexes(db_, table)) {
      out += i.name + (i.unique ? " unique" : "") + (i.primary ? " primary" : "") + " (" + i.fields + ");";
    }
    return out;
  }
  // Creates table through the dispatch with the fields.
  TableDef* create(const std::string& table, std::vector<FieldDef> fields, int32_t version = 5) {
    TableDef* t = definition(table);
    auto& a = std::get<AccessOptions>(t->storage.options);
    a.version = version;
    const auto n = static_cast<int32_t>(fields.size());
    t->fields = fieldlist_new(n);
    for (int32_t i = 0; i < n; ++i) t->fields[i] = fields[static_cast<size_t>(i)];
    t->field_count = n;
    const TypeOptions o = t->storage.options;
    if (!tabtype_create(db_.c_str(), nullptr, 0, 0, &t->storage, TABTYPE_ACCESS, n, t->fields, &o, a.row_map))
      return nullptr;
    return t;
  }
};

TEST_F(drivers_access_table, CreateMapsTheFieldsAndAddsTheKey) {
  TableDef* t = create("T", {field("C", VALUE_CHAR, 30), field("CUR", VALUE_DECIMAL, 20, 4),
                             field("D", VALUE_DECIMAL, 12, 3), field("I", VALUE_INTEGER, 11),
                             field("DT", VALUE_DATE), field("L", VALUE_LOGICAL, 1)});
  ASSERT_NE(t, nullptr) << codes().size();
  EXPECT_EQ(column_list("T"),
            "CORVANE_ID 4 4 16;C 10 30 0;CUR 5 8 0;D 7 8 0;I 4 4 0;DT 8 8 0;L 1 1 0;");
  EXPECT_EQ(index_list("T"), "CV_INDEX_FIELD unique primary (CORVANE_ID);");
  EXPECT_EQ(t->fields[2].value.type, VALUE_FLOAT);  // Decimal (12, 3) comes back Float
  EXPECT_EQ(t->fields[1].value.type, VALUE_DECIMAL);
  EXPECT_EQ(rowmap_bytes("T"), "");
  EXPECT_TRUE(file_exists(path("T.aid").c_str(), 0));
  // The dispatcher's open followed: the table is attached.
  ASSERT_NE(dao_state(&t->storage), nullptr);
  EXPECT_EQ(dao_state(&t->storage)->own_key, 1);
  // Over an existing table of the name: replaced.
  tabtype_close(&t->storage, nullptr);
  ASSERT_NE(create("T", {field("Z", VALUE_SMALLINT, 6)}), nullptr);
  EXPECT_EQ(column_list("T"), "CORVANE_ID 4 4 16;Z 3 2 0;");
}

TEST_F(drivers_access_table, TildeNameAndUnmappedType) {
  ASSERT_NE(create("~ tmp", {field("A", VALUE_INTEGER, 11)}), nullptr);
  EXPECT_TRUE(mem_dao_has_table(db_, "tmp"));
  err_clear();
  EXPECT_EQ(create("M", {field("A", VALUE_MEMO, 10)}), nullptr);
  EXPECT_EQ(codes(), std::vector<int>{kErrStorageCreate});
  EXPECT_FALSE(mem_dao_has_table(db_, "M"));
}

TEST_F(drivers_access_table, DescribeMapping) {
  mem_dao_create(db_, "4.0", "");
  mem_dao_add_table(db_, "T",
                    {{"ID", dbLong, 4, dbAutoIncrField}, {"B", dbBoolean, 1, 0}, {"BY", dbByte, 1, 0},
                     {"SI", dbInteger, 2, 0}, {"L", dbLong, 4, 0}, {"CY", dbCurrency, 8, 0}, {"SG", dbSingle, 4, 0},
                     {"DB", dbDouble, 8, 0}, {"DT", dbDate, 8, 0}, {"MEMO", dbMemo, 0, 0}, {"TX", dbText, 40, 0},
                     {"T255", dbText, 255, 0}, {"BIG", dbBigInt, 8, 0}});
  mem_dao_add_index(db_, "T", "PK", {"ID"}, true, true);
  TableDef* t = describe("T");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(columns(t), "ID 3 11 0 ro;B 6 1 0;BY 4 6 0;SI 4 6 0;L 3 11 0;CY 2 20 4;SG 8 19 9;DB 8 19 9;DT 38 0 0;"
                        "TX 1 40 0;T255 1 254 0 ro;");
  const auto& a = std::get<AccessOptions>(t->storage.options);
  EXPECT_EQ(a.flags & kAccessInexact, kAccessInexact);  // Memo and BigInt left out
  EXPECT_EQ(a.database, db_);
  // Opening it again is accepted; the Byte and Single set the flag too.
  ASSERT_TRUE(open(t));
  EXPECT_EQ(std::get<AccessOptions>(t->storage.options).flags & kAccessInexact, kAccessInexact);
  EXPECT_TRUE(tabtype_can_hold_memo(&t->storage));
}

TEST_F(drivers_access_table, OpenChecksTheDefinitionAgainstTheColumns) {
  struct Case {
    int16_t type;
    int32_t size;
    FieldDef f;
    bool ok;
  } cases[] = {
      {dbByte, 1, field("X", VALUE_SMALLINT, 6), true},   {dbByte, 1, field("X", VALUE_INTEGER, 11), false},
      {dbBoolean, 1, field("X", VALUE_LOGICAL, 1), true},  {dbLong, 4, field("X", VALUE_INTEGER, 11), true},
      {dbCurrency, 8, field("X", VALUE_DECIMAL, 20, 4), true}, {dbCurrency, 8, field("X", VALUE_FLOAT, 19, 9), false},
      {dbSingle, 4, field("X", VALUE_FLOAT, 19, 9), true}, {dbDate, 8, field("X", VALUE_TIME), true},
      {dbDate, 8, field("X", VALUE_DATE), true},           {dbText, 10, field("X", VALUE_CHAR, 3), true},
      {dbText, 10, field("X", VALUE_INTEGER, 10), true},   {dbText, 10, field("X", VALUE_INTEGER, 11), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dao_check_field(c.type, c.size, &c.f) != 0, c.ok) << c.type << " " << int(c.f.value.type);
  }
  // 2 fields against a table that carries 3 columns: refused.
  keyed_table("T", 1);
  TableDef* t = describe("T");
  ASSERT_NE(t, nullptr);
  TableDef* u = definition("T");
  u->field_count = 2;
  u->fields = fieldlist_new(2);
  u->fields[0] = field("NAME", VALUE_CHAR, 20);
  u->fields[1] = field("N", VALUE_INTEGER, 11);
  EXPECT_FALSE(open(u));
  EXPECT_EQ(codes(), std::vector<int>{kErrStorageOpen});
}

TEST_F(drivers_access_table, KeySearch) {
  // An autoincrement Long with a unique one-field index is kept.
  keyed_table("A", 2);
  TableDef* a = describe("A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(columns(a), "ID 3 11 0 ro;NAME 1 20 0;N 3 11 0;");
  EXPECT_EQ(index_list("A"), "PK unique primary (ID);");
  ASSERT_TRUE(open(a));
  EXPECT_EQ(std::get<AccessOptions>(a->storage.options).flags & kAccessInexact, kAccessInexact);
  ASSERT_TRUE(tabtype_read_row(&a->storage, a->fields, 2));
  EXPECT_EQ(a->fields[0].value.u.i, 2);
  // Without the index: a unique, not primary, CV_INDEX_FIELD is made on it.
  keyed_table("B", 2, false);
  mem_dao_add_index(db_, "B", "TWO", {"ID", "N"}, true, false);
  ASSERT_NE(describe("B"), nullptr);
  EXPECT_EQ(index_list("B"), "TWO unique (ID,N);CV_INDEX_FIELD unique (ID);");
  // No autoincrement column: CORVANE_ID with its index, not a field.
  mem_dao_add_table(db_, "C", {{"NAME", dbText, 10, 0}});
  for (const char* n : {"x", "y", "z"}) {
    VariantHolder v(var_bstr(n));
    ASSERT_TRUE(mem_dao_add_row(db_, "C", {v.v}));
  }
  TableDef* c = describe("C");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(columns(c), "NAME 1 10 0;");
  EXPECT_EQ(column_list("C"), "NAME 10 10 0;CORVANE_ID 4 4 16;");
  EXPECT_EQ(index_list("C"), "CV_INDEX_FIELD unique (CORVANE_ID);");
  EXPECT_EQ(rowmap_keys("C"), (std::vector<int32_t>{1, 2, 3}));
  ASSERT_TRUE(open(c));
  EXPECT_EQ(c->storage.row_count, 3);
  for (int r = 1; r <= 3; ++r) {
    ASSERT_TRUE(tabtype_read_row(&c->storage, c->fields, r));
    EXPECT_EQ(text(c, 0), std::string(1, static_cast<char>('w' + r)));
  }
  EXPECT_EQ(std::get<AccessOptions>(c->storage.options).flags & kAccessInexact, 0);
}

TEST_F(drivers_access_table, RowMapEdgeCases) {
  // Entry 10 of an empty file: nine zero entries and the key.
  put("E.aid", "");
  const int32_t h = file_register(path("E.aid").c_str(), 62);
  ASSERT_GT(h, 0);
  ASSERT_GE(file_open_binary(h, 2, nullptr), 0);
  ASSERT_TRUE(rowmap_write(10, 77, h));
  int32_t key = -1;
  EXPECT_FALSE(rowmap_read(0, &key, h));
  EXPECT_FALSE(rowmap_read(11, &key, h));
  EXPECT_FALSE(rowmap_write(0, 1, h));
  // Beyond the 32-bit offsets of the file layer: refused, never wrapped.
  EXPECT_FALSE(rowmap_write(INT32_MAX, 1, h));
  EXPECT_FALSE(rowmap_read(INT32_MAX, &key, h));
  file_release(h);
  EXPECT_EQ(rowmap_bytes("E"), std::string(36, '\0') + std::string("\x4d\0\0\0", 4));

  // 17 bytes: 4 rows.
  keyed_table("T", 4);
  TableDef* t = describe("T");
  ASSERT_NE(t, nullptr);
  write_rowmap("T", {1, 2, 3, 4}, "x");
  ASSERT_TRUE(open(t));
  EXPECT_EQ(t->storage.row_count, 4);

  // 5 entries ending 0, 0: 5 rows, the highest key entry 3's.
  keyed_table("F", 5);
  TableDef* f = describe("F");
  ASSERT_NE(f, nullptr);
  mem_dao_delete_row(db_, "F", "ID", 4);
  mem_dao_delete_row(db_, "F", "ID", 5);
  write_rowmap("F", {1, 2, 3, 0, 0});
  ASSERT_TRUE(open(f));
  EXPECT_EQ(f->storage.row_count, 5);
  EXPECT_EQ(dao_state(&f->storage)->highest_key, 3);
  EXPECT_FALSE(tabtype_read_row(&f->storage, f->fields, 4));
  EXPECT_FALSE(tabtype_read_row(&f->storage, f->fields, 6));

  // An empty table and an all-deleted one open.
  keyed_table("Z", 0);
  TableDef* z = describe("Z");
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(rowmap_bytes("Z"), "");
  ASSERT_TRUE(open(z));
  EXPECT_EQ(z->storage.row_count, 0);
  keyed_table("D", 3);
  TableDef* d = describe("D");
  ASSERT_NE(d, nullptr);
  for (int k = 1; k <= 3; ++k) mem_dao_delete_row(db_, "D", "ID", k);
  write_rowmap("D", {0, 0, 0});
  ASSERT_TRUE(open(d));
  EXPECT_EQ(d->storage.row_count, 3);
  EXPECT_FALSE(tabtype_read_row(&d->storage, d->fields, 1));

  // A table whose row map was removed does not open.
  keyed_table("G", 1);
  TableDef* g = describe("G");
  ASSERT_NE(g, nullptr);
  std::remove(path("G.aid").c_str());
  EXPECT_FALSE(open(g));
}

TEST_F(drivers_access_table, RecordsAddedByOthers) {
  keyed_table("T", 3);
  TableDef* t = describe_open("T");
  ASSERT_NE(t, nullptr);
  tabtype_end_access(&t->storage);
  struct stat before;
  ASSERT_EQ(stat(db_.c_str(), &before), 0);
  add_row("T", "new", 40);  // the engine moves the file's time on by a second
  struct stat after;
  ASSERT_EQ(stat(db_.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtime, before.st_mtime + 1);
  int16_t changed = 0;
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1, &changed));
  EXPECT_EQ(changed & 1, 1);
  EXPECT_EQ(t->storage.row_count, 4);
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 4));
  EXPECT_EQ(text(t, 1), "new");
  // Nested begin access does not look again; no change: no flag.
  changed = 0;
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1, &changed));
  EXPECT_EQ(changed, 0);
  tabtype_end_access(&t->storage);
  tabtype_end_access(&t->storage);
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1, &changed));
  EXPECT_EQ(changed, 0);
  tabtype_end_access(&t->storage);

  // Keys handed out in descending order go in ascending, and a later sync
  // takes none of them twice.
  mem_dao_set_reversed(true);
  add_row("T", "a", 50);
  add_row("T", "b", 60);
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1, &changed));
  tabtype_end_access(&t->storage);
  add_row("T", "c", 70);
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1, &changed));
  tabtype_end_access(&t->storage);
  EXPECT_EQ(rowmap_keys("T"), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(t->storage.row_count, 7);
}

TEST_F(drivers_access_table, StructureChanges) {
  keyed_table("T", 2);
  mem_dao_add_table(db_, "T2", {{"X", dbLong, 4, 0}});
  mem_dao_add_index(db_, "T", "BYN", {"N"}, false, false);
  mem_dao_add_index(db_, "T", "BOTH", {"NAME", "N"}, true, false);
  TableDef* t = describe_open("T");
  ASSERT_NE(t, nullptr);
  tabtype_end_access(&t->storage);
  // Add a column, then drop "N" with every index on it.
  FieldDef extra = field("EXTRA", VALUE_DECIMAL, 20, 4);
  ASSERT_TRUE(dao_add_column(&t->storage, &extra));
  EXPECT_EQ(column_list("T"), "ID 4 4 16;NAME 10 20 0;N 4 4 0;EXTRA 5 8 0;");
  FieldDef n = field("n", VALUE_INTEGER, 11);
  ASSERT_TRUE(dao_drop_column(&n, &t->storage));
  EXPECT_EQ(column_list("T"), "ID 4 4 16;NAME 10 20 0;EXTRA 5 8 0;");
  EXPECT_EQ(index_list("T"), "PK unique primary (ID);");
  // The field list follows the columns; a column the old list lacks gets
  // an empty slot.
  ASSERT_TRUE(dao_refresh_fields(t));
  EXPECT_EQ(columns(t), "ID 3 11 0 ro;NAME 1 20 0; 0 0 0;");
  // Rename: the table and its row map.
  ASSERT_TRUE(dao_rename_table(&t->storage, "~R", path("R.TAB").c_str()));
  EXPECT_TRUE(mem_dao_has_table(db_, "R"));
  EXPECT_TRUE(file_exists(path("R.aid").c_str(), 0));
  EXPECT_FALSE(file_exists(path("T.aid").c_str(), 0));
  // A failed rename of the row map leaves the table under its old name.
  put("Q.aid", "taken");
  EXPECT_FALSE(dao_rename_table(&t->storage, "Q", path("Q.TAB").c_str()));
  EXPECT_TRUE(mem_dao_has_table(db_, "R"));
  EXPECT_FALSE(mem_dao_has_table(db_, "Q"));
  EXPECT_EQ(std::get<AccessOptions>(t->storage.options).table, "R");
  err_clear();
  ASSERT_TRUE(tabtype_begin_access(t, &t->storage, 1));
  ASSERT_TRUE(tabtype_read_row(&t->storage, t->fields, 2));
  EXPECT_EQ(text(t, 1), "r2");
  // Deleting the table deletes its row map.
  ASSERT_TRUE(dao_delete_tabledef(&t->storage));
  EXPECT_FALSE(mem_dao_has_table(db_, "R"));
  EXPECT_FALSE(file_exists(path("R.aid").c_str(), 0));
}

TEST_F(drivers_access_table, TakeRowMap) {
  keyed_table("T", 1);
  keyed_table("U", 1);
  TableDef* a = describe_open("T");
  TableDef* b = describe_open("U");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  StorageDesc plain;
  EXPECT_FALSE(dao_take_row_map(&plain, &a->storage));
  const int32_t h = dao_state(&a->storage)->rowmap_file;
  tabtype_end_access(&a->storage);
  tabtype_end_access(&b->storage);
  rowmap_close(dao_state(&b->storage));
  ASSERT_TRUE(dao_take_row_map(&b->storage, &a->storage));
  EXPECT_EQ(dao_state(&b->storage)->rowmap_file, h);
  EXPECT_EQ(dao_state(&a->storage)->rowmap_file, 0);
  EXPECT_FALSE(dao_take_row_map(&b->storage, &a->storage));
}

}  // namespace
