// The ODBC-linked table type.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "kernel/kernel_files_fixture.h"
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

}  // namespace
