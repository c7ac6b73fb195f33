// The ODBC-linked table type.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "kernel/coordsys/xform.h"
#include "kernel/drivers/memtab.h"
#include "kernel/kernel_files_fixture.h"
#include "kernel/mapobjects/mapobj_fixture.h"
#include "kernel/mapobjects/tablecache.h"
#include "kernel/tables/odbctype.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabwrite.h"

namespace {

class linked : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    tables_runtime_start();
    tabtype_reset_drivers();
  }
  std::string slurp(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), {});
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
  }
  // The metadata block of a definition file.
  MetadataNode* read_block(const std::string& name) const {
    MetadataNode* m = metadata_new();
    const int32_t h = file_register(path(name).c_str(), 1);
    EXPECT_GT(h, 0);
    EXPECT_NE(file_open_text(h, 1, nullptr), 0);
    EXPECT_EQ(metadata_read(m, h, nullptr, 1), 1);
    file_release_text(h);
    file_unregister(h);
    return m;
  }
};

// The registration table's lines, as the upload writes them.
const char* kServerTable =
    "!table\n!version 500\n!charset WindowsLatin1\n\nDefinition Table\n  Type ODBC\nbegin_metadata\n"
    "\"\\IsReadOnly\" = \"FALSE\"\n\"\\DATALINK\" = \"\"\n"
    "\"\\DATALINK\\Query\" = \"select * from db.owner.ROADS\"\n"
    "\"\\DATALINK\\ConnectionString\" = \"DSN=pg;UID=me\"\n"
    "\"\\CACHE\" = \"ON\"\n\"\\MBRSEARCH\" = \"ON\"\nend_metadata";

TEST_F(linked, SettingsTheDefinitionAndTheEntries) {
  put("ROADS_srv.tab", kServerTable);
  MetadataNode* m = read_block("ROADS_srv.tab");
  LinkInfo* link = linktab_new();
  link->cache = 0;
  link->mbr_search = 0;
  ASSERT_EQ(linktab_read_settings(link, m), 1);
  EXPECT_EQ(link->data_source, "select * from db.owner.ROADS");
  EXPECT_EQ(link->connect, "DSN=pg;UID=me");
  EXPECT_EQ(link->cache, 1);
  EXPECT_EQ(link->mbr_search, 1);
  EXPECT_EQ(link->driver, "");
  metadata_free(m);

  // The writer gives the Type clause and the same keys and values.
  TableDef* t = tabdef_new();
  t->storage.type = TABTYPE_ODBC;
  typeopts_init(&t->storage.options, TABTYPE_ODBC);
  std::get<OdbcOptions>(t->storage.options).link = link;
  t->version = t->read_entire = t->edit = 500;
  t->def_file = file_register_nocheck(path("out.TAB").c_str(), 1);
  ASSERT_EQ(tabfile_write(t, nullptr, nullptr, nullptr), 1);
  const std::string text = slurp("out.TAB");
  EXPECT_NE(text.find("\n  Type ODBC\n"), std::string::npos) << text;
  file_unregister(t->def_file);
  t->def_file = 0;
  MetadataNode* back = read_block("out.TAB");
  put("srv_only.TAB", kServerTable);
  MetadataNode* want = read_block("srv_only.TAB");
  for (const char* key : {"\\IsReadOnly", "\\DATALINK", "\\DATALINK\\Query", "\\DATALINK\\ConnectionString", "\\CACHE",
                          "\\MBRSEARCH"}) {
    char a[256] = {}, b[256] = {};
    EXPECT_GE(metadata_get(back, key, a, sizeof a), 0) << key;
    EXPECT_GE(metadata_get(want, key, b, sizeof b), 0) << key;
    EXPECT_STREQ(a, b) << key;
  }
  metadata_free(back);
  metadata_free(want);

  // The open entry answers 0, the dispatcher pushes 386; reads answer 0.
  int32_t count = 0;
  FieldDef* fields = nullptr;
  err_clear();
  EXPECT_EQ(tabtype_open("", 0, &t->storage, TABTYPE_ODBC, &count, &fields), 0);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->entries[0].code, 386);
  err_clear();
  EXPECT_EQ(tabtype_read_row(&t->storage, nullptr, 1), 0);
  EXPECT_EQ(err_count(), 0);
  tabdef_free(t);  // closing the storage frees the link
}

TEST_F(linked, KeyMapWindow) {
  KeyMap map;
  ASSERT_EQ(linktab_keymap_init(&map, VALUE_INTEGER, 4), 1);
  KeyBuf k;
  keybuf_init(&k, VALUE_INTEGER, 4);
  for (int i = 1; i <= 20000; ++i) {
    k.value.u.i = i * 3;
    ASSERT_EQ(linktab_key_add(&map, &k), 1);
    ASSERT_EQ(k.row, i);
  }
  uint8_t key[4];
  ASSERT_EQ(linktab_key_of_row(&map, 11000, key), 1);
  EXPECT_EQ(map.first_row, 6000);
  KeyBuf got;
  keybuf_init(&got, VALUE_INTEGER, 4);
  std::memcpy(got.bytes, key, 4);
  key_decode(&got);
  EXPECT_EQ(got.value.u.i, 33000);
  ASSERT_EQ(linktab_key_of_row(&map, 5999, key), 1);
  EXPECT_EQ(map.first_row, 5999);
  std::memcpy(got.bytes, key, 4);
  key_decode(&got);
  EXPECT_EQ(got.value.u.i, 5999 * 3);
  // The key index finds a row by its key; a replaced key moves.
  k.value.u.i = 300;
  EXPECT_EQ(field_index_seek(map.index, &map.field, &k), 1);
  EXPECT_EQ(k.row, 100);
  KeyBuf old_key, new_key;
  keybuf_init(&old_key, VALUE_INTEGER, 4);
  keybuf_init(&new_key, VALUE_INTEGER, 4);
  old_key.value.u.i = 300;
  new_key.value.u.i = 1;
  ASSERT_EQ(linktab_key_replace(&map, 100, &old_key, &new_key), 1);
  k.value.u.i = 1;
  EXPECT_EQ(field_index_seek(map.index, &map.field, &k), 1);
  EXPECT_EQ(k.row, 100);
  k.value.u.i = 300;
  EXPECT_EQ(field_index_seek(map.index, &map.field, &k), 0);
  keybuf_free(&k);
  keybuf_free(&got);
  keybuf_free(&old_key);
  keybuf_free(&new_key);
  linktab_keymap_free(&map);
}


// A type-10 storage with a link, over the fields ID and V (Integer).
class linked_rows : public linked {
 protected:
  void SetUp() override {
    linked::SetUp();
    fields_ = fieldlist_new(2);
    std::strcpy(fields_[0].name, "ID");
    std::strcpy(fields_[1].name, "V");
    for (int i = 0; i < 2; ++i) {
      value_set_int(0, VALUE_INTEGER, &fields_[i].value);
      fields_[i].width = 4;
    }
    s_.type = TABTYPE_ODBC;
    typeopts_init(&s_.options, TABTYPE_ODBC);
    link_ = linktab_new();
    std::get<OdbcOptions>(s_.options).link = link_;
    s_.field_count = 2;
  }
  void TearDown() override {
    tabtype_close(&s_, nullptr);
    fieldlist_free(fields_, 2);
    linked::TearDown();
  }
  int32_t insert(int32_t id) {
    fields_[0].value.u.i = id;
    int32_t n = 0;
    return tabtype_insert_row(&s_, fields_, &n) ? n : 0;
  }
  // The row of a key in the key map's index, 0 when absent.
  int32_t row_of(int32_t id) {
    KeyBuf k;
    keybuf_init(&k, VALUE_INTEGER, 4);
    k.value.u.i = id;
    const int32_t row = field_index_seek(link_->keys.index, &link_->keys.field, &k) ? k.row : 0;
    keybuf_free(&k);
    return row;
  }
  StorageDesc s_;
  FieldDef* fields_ = nullptr;
  LinkInfo* link_ = nullptr;
};

TEST_F(linked_rows, InsertAndUpdateKeepTheKeyMap) {
  ASSERT_EQ(linktab_set_key_column(link_, fields_, 2, 0), 1);
  EXPECT_EQ(link_->keys.name, "ID");
  EXPECT_EQ(insert(7), 1);
  EXPECT_EQ(insert(9), 2);
  EXPECT_EQ(insert(11), 3);
  EXPECT_EQ(s_.row_count, 3);
  EXPECT_EQ(link_->rows_seen, 3);
  EXPECT_EQ(link_->pending, 3);
  EXPECT_EQ(row_of(9), 2);
  // A changed key replaces the old one; an unchanged key stays.
  fields_[0].value.u.i = 90;
  ASSERT_EQ(tabtype_update_row(&s_, fields_, 2), 1);
  EXPECT_EQ(row_of(9), 0);
  EXPECT_EQ(row_of(90), 2);
  fields_[0].value.u.i = 11;
  fields_[1].value.u.i = 5;
  ASSERT_EQ(tabtype_update_row(&s_, fields_, 3), 1);
  EXPECT_EQ(row_of(11), 3);
  EXPECT_EQ(tabtype_update_row(&s_, fields_, 4), 0);  // no such row
  err_clear();
  // The keyed fetch binds the key of the cursor's row.
  link_->cursor.row = 2;
  ASSERT_EQ(linktab_bind_keys(link_), 1);
  ASSERT_EQ(link_->cursor.params.size(), 1u);
  KeyBuf k;
  keybuf_init(&k, VALUE_INTEGER, 4);
  std::memcpy(k.bytes, link_->cursor.params[0].data(), 4);
  key_decode(&k);
  EXPECT_EQ(k.value.u.i, 90);
  keybuf_free(&k);
  // A rollback takes the rows added since the last commit off the counts.
  ASSERT_EQ(odbctype_commit(link_), 1);
  EXPECT_EQ(insert(13), 4);
  ASSERT_EQ(odbctype_rollback(&s_), 1);
  EXPECT_EQ(s_.row_count, 3);
  EXPECT_EQ(link_->rows_seen, 3);
  EXPECT_EQ(link_->pending, 0);
  odbctype_drop_cache(&s_);
  EXPECT_EQ(link_->keys.key_file, 0);
}

TEST_F(linked_rows, WithoutAServerCursorsEndAtOnce) {
  // No key column: rows are counted, nothing is keyed.
  EXPECT_EQ(insert(1), 1);
  EXPECT_EQ(linktab_bind_keys(link_), 0);
  EXPECT_EQ(linktab_cursor_new(link_), 0);  // no connection
  EXPECT_EQ(tabtype_link_find_row(&s_), -1);
  EXPECT_EQ(link_->end_of_rows, 1);
  EXPECT_EQ(s_.row_count, 1);  // the rows seen
  EXPECT_EQ(tabtype_link_flag(&s_, 0), 0);
  EXPECT_EQ(tabtype_link_refilter(&s_), 0);
  EXPECT_EQ(odbctype_begin_transaction(link_), 0);
  EXPECT_EQ(odbctype_check_server(nullptr, nullptr), 0);
  Value max{};
  link_->keys.column = 0;
  EXPECT_EQ(linktab_key_max(link_, &max), 0);
  link_->keys.column = -1;
  // Other types answer 0 to the link wrappers.
  StorageDesc native;
  EXPECT_EQ(tabtype_link_find_row(&native), 0);
  EXPECT_EQ(tabtype_link_refilter(&native), 0);
  // The object test: tables with a server spatial column ask the server.
  EXPECT_EQ(odbctype_accepts_object(link_, nullptr), 1);
  for (int16_t kind : {11, 13, 14}) {
    link_->server.spatial_kind = kind;
    EXPECT_EQ(odbctype_accepts_object(link_, nullptr), 0) << kind;
  }
}

TEST_F(linked_rows, KeyMaxStatementAndBounds) {
  ASSERT_EQ(linktab_set_key_column(link_, fields_, 2, 0), 1);
  link_->server.owner = "GIS";
  link_->server.name = "ROADS";
  EXPECT_EQ(linktab_key_max_statement(link_), "SELECT max(\"ID\") from \"GIS\".\"ROADS\" ");
  CoordXform xf;
  const DRect b{0, 0, 10, 10};
  xform_default_nonearth(&xf);
  xform_set_bounds(&xf, &b);
  ASSERT_EQ(dbmslink_set_bounds(link_, &xf), 1);
  EXPECT_NEAR(link_->server.bounds.x1, 0, 1e-9);
  EXPECT_NEAR(link_->server.bounds.y1, 0, 1e-9);
  EXPECT_NEAR(link_->server.bounds.x2, 10, 1e-9);
  EXPECT_NEAR(link_->server.bounds.y2, 10, 1e-9);
}

// A registration table's definition reads with its Type clause, and the
// table gets a link with the settings of its metadata; the open itself
// fails with an error (no data file, no server).
TEST_F(linked, RegistrationTableDefinitionReads) {
  put("ROADS_srv.tab", kServerTable);
  const int32_t def = file_register(path("ROADS_srv.tab").c_str(), 1);
  TableDef* t = tabdef_new();
  {
    TabReadContext ctx;
    ctx.definition_allowed = 1;
    ctx.table = t;
    ctx.file = def;
    ASSERT_EQ(tabfile_read(&ctx), 1);
    EXPECT_EQ(ctx.phase, 1);
    t->metadata = ctx.metadata;
    ctx.metadata = nullptr;
  }
  EXPECT_EQ(t->storage.type, TABTYPE_ODBC);
  ASSERT_EQ(odbctype_attach_link(t), 1);
  const LinkInfo* link = linktab_of(&t->storage);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->data_source, "select * from db.owner.ROADS");
  EXPECT_EQ(link->connect, "DSN=pg;UID=me");
  tabdef_free(t);

  err_clear();
  EXPECT_EQ(table_open_file(def), nullptr);
  EXPECT_GE(err_count(), 1);
  err_clear();
  file_unregister(def);
}


// Inserts and updates reach the table's local cache: the row's values in
// its in-memory table, an object in the row's node; a delete takes the row.
TEST_F(linked, ChangesAreMirroredIntoTheLocalCache) {
  TableDef* t = tabdef_new();
  t->fields = fieldlist_new(1);
  t->field_count = 1;
  std::strcpy(t->fields[0].name, "ID");
  value_set_int(0, VALUE_INTEGER, &t->fields[0].value);
  t->storage.type = TABTYPE_ODBC;
  typeopts_init(&t->storage.options, TABTYPE_ODBC);
  std::get<OdbcOptions>(t->storage.options).link = linktab_new();
  t->storage.field_count = 1;
  CoordXform xf;
  xform_default_nonearth(&xf);
  ASSERT_EQ(mapstore_create(&t->map, MAPSTORE_SERVER, t, 0, &xf, 0, 0, nullptr), 1);
  ASSERT_EQ(storage_cache_create(&t->map), 1);
  TableCache* c = t->storage.edit_overlay;
  ASSERT_NE(c, nullptr);
  t->fields[0].value.u.i = 41;
  int32_t n = 0;
  ASSERT_EQ(tabtype_insert_row(&t->storage, t->fields, &n), 1);
  EXPECT_EQ(n, 1);
  t->fields[0].value.u.i = 0;
  ASSERT_EQ(memtab_read_row(&c->table, 1, t->fields), 1);
  EXPECT_EQ(t->fields[0].value.u.i, 41);
  // An update with an object: the values change, the object joins the row.
  t->fields[0].value.u.i = 42;
  ObjPtr point = MapObjTest::New(MAPOBJ_POINT);
  point->u.point.location = {5, 5};
  point->mbr = {5, 5, 5, 5};
  ASSERT_EQ(odbctype_cache_change(&t->storage, 1, t->fields, point.get()), 1);
  t->fields[0].value.u.i = 0;
  ASSERT_EQ(memtab_read_row(&c->table, 1, t->fields), 1);
  EXPECT_EQ(t->fields[0].value.u.i, 42);
  MemRowNode* node = nullptr;
  ASSERT_EQ(memtab_find_row(c->store.list, 1, &node), 1);
  EXPECT_EQ(node->object.type, MAPOBJ_POINT);
  ASSERT_EQ(odbctype_cache_delete(&t->storage, 1), 1);
  EXPECT_EQ(memtab_read_row(&c->table, 1, t->fields), 0);
  tabdef_free(t);
}

}  // namespace
