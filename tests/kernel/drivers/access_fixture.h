// Shared base of the Access driver tests: the in-memory database engine
// installed as the engine backend, a private directory with the database's
// placeholder file and the table's definition file (the row-map base), and
// helpers to build, open and read tables through the table-type dispatch.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/drivers/access.h"
#include "kernel/kernel_files_fixture.h"
#include "kernel/runtime/list.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/dao/memengine.h"

class AccessTest : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    tables_runtime_start();
    dao_engine_reset();
    mem_dao_install();
    db_ = path("data.mdb");
  }
  void TearDown() override {
    for (TableDef* t : tables_) {
      if (t->storage.nesting > 0) tabtype_end_access(&t->storage);
      tabtype_close(&t->storage, nullptr);
      tabdef_free(t);
    }
    tables_.clear();
    EXPECT_EQ(dao_engine_refs(), 0);
    EXPECT_EQ(CoInitCount(), 0);
    EXPECT_EQ(mem_dao_open_recordsets(), 0);
    dao_engine_reset();
    mem_dao_uninstall();
    KernelFilesTest::TearDown();
  }

  static Variant i4(int32_t n) { return var_i4(n); }

  // The error codes on the stack, oldest first.
  static std::vector<int> codes() {
    std::vector<int> out;
    for (int i = 0; i < err_count() && i < kErrMaxEntries; ++i) out.push_back(g_err_stack->entries[i].code);
    return out;
  }
  static std::string arg(int i) {
    const ErrorEntry& e = g_err_stack->entries[i];
    return e.arg1_length > 0 ? std::string(g_err_stack->pool + e.arg1_offset) : std::string();
  }

  // A definition file beside which the row map of table lives.
  int32_t base(const std::string& table) {
    const std::string p = path(table + ".TAB");
    if (const int32_t h = file_find(p.c_str(), 1)) return h;
    put(table + ".TAB", "!table\n");
    return file_register(p.c_str(), 1);
  }
  std::string rowmap_bytes(const std::string& table) const {
    std::ifstream in(path(table + ".aid"), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<int32_t> rowmap_keys(const std::string& table) const {
    const std::string b = rowmap_bytes(table);
    std::vector<int32_t> keys;
    for (size_t i = 0; i + 4 <= b.size(); i += 4) {
      const auto* p = reinterpret_cast<const unsigned char*>(b.data() + i);
      keys.push_back(static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24)));
    }
    return keys;
  }
  void write_rowmap(const std::string& table, const std::vector<int32_t>& keys, const std::string& tail = "") const {
    std::string b;
    for (int32_t k : keys) {
      for (int i = 0; i < 4; ++i) b += static_cast<char>((static_cast<uint32_t>(k) >> (8 * i)) & 0xFF);
    }
    put(table + ".aid", b + tail);
  }

  // A new definition for the table with the options set.
  TableDef* definition(const std::string& table, const std::string& password = "") {
    TableDef* t = tabdef_new();
    tables_.push_back(t);
    t->storage.type = TABTYPE_ACCESS;
    typeopts_init(&t->storage.options, TABTYPE_ACCESS);
    auto& a = std::get<AccessOptions>(t->storage.options);
    a.table = table;
    a.password = password;
    a.row_map = base(table);
    return t;
  }
  // Describes the table (its row map built beside table.TAB).
  TableDef* describe(const std::string& table, const std::string& password = "") {
    TableDef* t = definition(table, password);
    if (!tabtype_read_fields(db_.c_str(), t)) return nullptr;
    tabtype_close(&t->storage, nullptr);
    return t;
  }
  // Opens a described table and begins a read (or read/write) access.
  bool open(TableDef* t, int16_t mode = 1) {
    t->storage.field_count = t->field_count;
    return tabtype_open(db_.c_str(), 0, &t->storage, TABTYPE_ACCESS, &t->field_count, &t->fields) &&
           tabtype_begin_access(t, &t->storage, mode);
  }
  TableDef* describe_open(const std::string& table, int16_t mode = 1) {
    TableDef* t = describe(table);
    return t != nullptr && open(t, mode) ? t : nullptr;
  }
  static std::string text(const TableDef* t, int i) {
    const char* p = value_text_ptr(&t->fields[i].value, nullptr);
    return p != nullptr ? p : "(null)";
  }
  static std::string columns(const TableDef* t) {
    std::string out;
    for (int32_t i = 0; i < t->field_count; ++i) {
      const FieldDef& f = t->fields[i];
      out += std::string(f.name) + " " + std::to_string(f.value.type) + " " + std::to_string(f.width) + " " +
             std::to_string(f.decimals) + (f.read_only ? " ro" : "") + ";";
    }
    return out;
  }
  static FieldDef field(const char* name, int32_t type, int width = 0, int decimals = 0) {
    FieldDef f{};
    std::snprintf(f.name, sizeof f.name, "%s", name);
    f.width = static_cast<uint8_t>(width);
    f.decimals = static_cast<uint8_t>(decimals);
    value_init(&f.value, type, nullptr);
    return f;
  }
  // A table "T" of a Long autoincrement key "ID" with a unique index, a
  // Text(20) "NAME" and a Long "N", with records (name, n) keyed 1, 2, ...
  void keyed_table(const std::string& table, int rows, bool index = true) {
    if (!made_db_) mem_dao_create(db_, "4.0", "");
    made_db_ = true;
    mem_dao_add_table(db_, table,
                      {{"ID", dbLong, 4, dbAutoIncrField}, {"NAME", dbText, 20, 0}, {"N", dbLong, 4, 0}});
    if (index) mem_dao_add_index(db_, table, "PK", {"ID"}, true, true);
    for (int i = 1; i <= rows; ++i) add_row(table, "r" + std::to_string(i), i * 10);
  }
  void add_row(const std::string& table, const std::string& name, int32_t n) {
    Variant empty;
    VariantInit(&empty);
    VariantHolder text(var_bstr(name.c_str()));
    ASSERT_TRUE(mem_dao_add_row(db_, table, {empty, text.v, var_i4(n)}));
  }
  int32_t key_count(const std::string& table) const { return static_cast<int32_t>(rowmap_keys(table).size()); }

  std::string db_;
  bool made_db_ = false;
  std::vector<TableDef*> tables_;
};
