// Shared set-up of the table-type tests: the kernel file state with the
// table layer started and the clock at 2007-03-05, field lists built from
// (name, type, width, decimals) rows, values set by type, and storages
// created, filled and read through the dispatcher.
#pragma once
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kernel/kernel_files_fixture.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/register.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "platform/clock.h"

struct FieldSpec {
  const char* name;
  uint8_t type;
  uint8_t width;
  uint8_t decimals;
};

class StorageTest : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    lex_reset();
    tabread_reset();
    open_table_lists_reset();
    table_collection_clear();
    tables_runtime_start();
    tabtype_reset_drivers();
    platform::SetClock([] {
      platform::LocalTime t;
      t.year = 2007;
      t.month = 3;
      t.day = 5;
      t.hour = 12;
      return t;
    });
  }
  void TearDown() override {
    platform::SetClock({});
    tabtype_reset_drivers();
    file_test_fail_write_nth(0);
    table_collection_clear();
    open_table_lists_reset();
    lex_reset();
    KernelFilesTest::TearDown();
  }

  static FieldDef* fields_of(const std::vector<FieldSpec>& specs) {
    FieldDef* f = fieldlist_new(static_cast<int32_t>(specs.size()));
    for (size_t i = 0; i < specs.size(); ++i) {
      std::snprintf(f[i].name, sizeof f[i].name, "%s", specs[i].name);
      f[i].value.type = specs[i].type;
      f[i].width = specs[i].width;
      f[i].decimals = specs[i].decimals;
    }
    return f;
  }
  static void set_text(FieldDef* f, const char* text) {
    char* p = value_text_ptr(&f->value, nullptr);
    ASSERT_NE(p, nullptr);
    std::snprintf(p, static_cast<size_t>(f->width) + 1, "%s", text);
  }
  static std::string text_of(const FieldDef& f) {
    const char* p = value_text_ptr(&f.value, nullptr);
    return p != nullptr ? p : "";
  }

  // A storage created through the dispatcher at dir/name (the type's
  // extension), its field list owned by the test.
  struct Table {
    StorageDesc storage;
    FieldDef* fields = nullptr;
    int32_t count = 0;
  };
  bool create(Table* t, const std::string& name, int32_t type, const std::vector<FieldSpec>& specs) const {
    t->fields = fields_of(specs);
    t->count = static_cast<int32_t>(specs.size());
    return tabtype_create(dir_.c_str(), name.c_str(), -1, 0, &t->storage, type, t->count, t->fields, nullptr, 0) != 0;
  }
  // Opens an existing data file with the given definition fields.
  bool open(Table* t, const std::string& name, int32_t type, const std::vector<FieldSpec>& specs) const {
    t->fields = fields_of(specs);
    t->count = static_cast<int32_t>(specs.size());
    return tabtype_open(path(name).c_str(), 0, &t->storage, type, &t->count, &t->fields) != 0;
  }
  static void close(Table* t) {
    tabtype_close(&t->storage, nullptr);
    fieldlist_free(t->fields, t->count);
    t->fields = nullptr;
  }

  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  // A dBASE file from its layout: the field records given, then each
  // record (its bytes after the deleted mark, a live record) and 0x1A.
  struct DbfCol {
    const char* name;
    char type;
    uint8_t width;
    uint8_t decimals;
  };
  static std::string dbf_file(const std::vector<DbfCol>& cols, const std::vector<std::string>& records) {
    std::string b(32, '\0');
    b[0] = 3;
    const size_t header = 32 * cols.size() + 33;
    size_t record = 1;
    for (const DbfCol& c : cols) record += c.width;
    const size_t n = records.size();
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<char>(n >> (8 * i));
    b[8] = static_cast<char>(header & 0xFF);
    b[9] = static_cast<char>(header >> 8);
    b[10] = static_cast<char>(record & 0xFF);
    b[11] = static_cast<char>(record >> 8);
    for (const DbfCol& c : cols) {
      std::string d(32, '\0');
      d.replace(0, std::strlen(c.name), c.name);
      d[11] = c.type;
      d[16] = static_cast<char>(c.width);
      d[17] = static_cast<char>(c.decimals);
      b += d;
    }
    b += '\x0D';
    for (const std::string& r : records) b += " " + r;
    b += '\x1A';
    return b;
  }
  static std::vector<int> codes() {
    std::vector<int> out;
    for (int i = 0; i < err_count() && i < kErrMaxEntries; ++i) out.push_back(g_err_stack->entries[i].code);
    return out;
  }
  static uint32_t u32(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 | static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
  }
  static uint16_t u16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
  }
};

// The ten fields of the byte fixtures.
inline const std::vector<FieldSpec> kTenFields = {
    {"a", VALUE_CHAR, 10, 0}, {"b", VALUE_DECIMAL, 8, 2}, {"c", VALUE_INTEGER, 0, 0},  {"d", VALUE_SMALLINT, 0, 0},
    {"e", VALUE_DATE, 0, 0},  {"f", VALUE_TIME, 0, 0},    {"g", VALUE_DATETIME, 0, 0}, {"h", VALUE_FLOAT, 0, 0},
    {"i", VALUE_LARGEINT, 0, 0}, {"j", VALUE_LOGICAL, 0, 0}};
