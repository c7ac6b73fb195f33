// Shared set-up of the table-definition tests: the kernel state at its
// start with the table layer started, helpers that write definition files
// with chosen modification times, read files back, list the test directory
// and run statement text at the lexer.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kernel/kernel_files_fixture.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/register.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"

class DefsTest : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    lex_reset();
    tabread_reset();
    open_table_lists_reset();
    table_collection_clear();
    tables_runtime_start();
  }
  void TearDown() override {
    file_test_fail_rename_nth(0);
    file_test_fail_write_nth(0);
    table_collection_clear();
    open_table_lists_reset();
    lex_reset();
    KernelFilesTest::TearDown();
  }

  // A real index file holding indexes of the given key lengths (by default
  // nine of one byte, which any field may name).
  void put_index(const std::string& name, const std::vector<int>& key_lengths = std::vector<int>(9, 1)) const {
    std::remove(path(name).c_str());
    IndexFile* ix = nullptr;
    ASSERT_EQ(index_file_create(0, path(name).c_str(), 7, 0, &ix), 1);
    ASSERT_EQ(index_file_begin(ix, 2), 1);
    for (int k : key_lengths) {
      int32_t n = 0;
      EXPECT_EQ(index_add(ix, k, &n), 1);
    }
    index_file_end(ix);
    index_close(ix);
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  // Sets a file's modification time to the given whole second.
  void set_mtime(const std::string& name, time_t seconds) const {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path(name).c_str(), times, 0), 0);
  }
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    DIR* d = opendir(dir_.c_str());
    if (d == nullptr) return out;
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    closedir(d);
    return out;
  }
  // The codes on the error stack, oldest first.
  static std::vector<int> codes() {
    std::vector<int> out;
    for (int i = 0; i < err_count() && i < kErrMaxEntries; ++i) out.push_back(g_err_stack->entries[i].code);
    return out;
  }
  static std::string arg(int entry, int which) {
    const ErrorEntry& e = g_err_stack->entries[entry];
    const int16_t off = which == 1 ? e.arg1_offset : e.arg2_offset;
    const int16_t len = which == 1 ? e.arg1_length : e.arg2_length;
    return len > 0 ? std::string(g_err_stack->pool + off) : "";
  }
  // Puts the lexer at the first token of the text (kept alive here).
  void at(const std::string& text) {
    text_ = text;
    lex_begin_text(text_.c_str());
    lex_next();
  }
  // A dBASE file with the fields given as {name, type letter, length,
  // decimals}, no rows.
  struct DbfField {
    const char* name;
    char type;
    uint8_t length;
    uint8_t decimals;
  };
  void put_dbf(const std::string& name, const std::vector<DbfField>& fields) const {
    std::string b(32, '\0');
    b[0] = 3;
    const size_t header = 32 + 32 * fields.size() + 1;
    size_t record = 1;
    for (const DbfField& f : fields) record += f.length;
    b[8] = static_cast<char>(header & 0xFF);
    b[9] = static_cast<char>(header >> 8);
    b[10] = static_cast<char>(record & 0xFF);
    b[11] = static_cast<char>(record >> 8);
    for (const DbfField& f : fields) {
      std::string d(32, '\0');
      d.replace(0, std::strlen(f.name), f.name);
      d[11] = f.type;
      d[16] = static_cast<char>(f.length);
      d[17] = static_cast<char>(f.decimals);
      b += d;
    }
    b += '\x0D';
    b += '\x1A';
    put(name, b);
  }
  // A native data file of n Integer fields (4-byte binary), no rows.
  void put_dat_integers(const std::string& name, size_t n) const {
    std::vector<DbfField> fields(n, DbfField{"f", 'C', 4, 0});
    put_dbf(name, fields);
  }

  std::string text_;
};

// A definition's lines joined by CR LF, each line ended.
inline std::string crlf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}
