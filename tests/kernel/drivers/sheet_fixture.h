// Shared base of the workbook and worksheet tests: a private directory,
// files written from bytes, tabdump runs (exit code, stdout, stderr) and
// the tables opened in process through the table-type dispatch.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/kernel_files_fixture.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "sheet_writer.h"

struct DumpRun {
  int exit_code;
  std::string out;
  std::string err;
};

class SheetTest : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    tables_runtime_start();
  }
  void TearDown() override {
    for (TableDef* t : open_) tabdef_free(t);
    open_.clear();
    KernelFilesTest::TearDown();
  }
  void write(const std::string& name, const sheetgen::Bytes& bytes) const {
    std::ofstream(path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
  }
  std::string slurp(const std::string& full) const {
    std::ifstream in(full, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  DumpRun tabdump(const std::string& args) const {
    const std::string cmd = std::string("'") + TABDUMP_PATH + "' " + args + " >'" + path("out.txt") + "' 2>'" +
                            path("err.txt") + "' </dev/null";
    const int status = std::system(cmd.c_str());
    DumpRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(path("out.txt")), slurp(path("err.txt"))};
    std::remove(path("out.txt").c_str());
    std::remove(path("err.txt").c_str());
    return r;
  }
  // `tabdump --type T [--range R] [--titles] FILE`.
  DumpRun dump(const char* type, const std::string& name, const std::string& range = "", bool titles = false) const {
    std::string args = std::string("--type ") + type;
    if (!range.empty()) args += " --range '" + range + "'";
    if (titles) args += " --titles";
    return tabdump(args + " '" + path(name) + "'");
  }
  // Describes a file under its type and opens it with the described fields
  // (or field_count fields when given); null on failure.
  TableDef* open(int32_t type, const std::string& name, const std::string& range = "", bool titles = false,
                 int32_t field_count = -1) {
    TableDef* t = tabdef_new();
    open_.push_back(t);
    t->storage.type = static_cast<uint8_t>(type);
    typeopts_init(&t->storage.options, type);
    auto& s = std::get<SheetOptions>(t->storage.options);
    s.range = range;
    s.titles = titles ? 1 : 0;
    if (!tabtype_read_fields(path(name).c_str(), t)) return nullptr;
    tabtype_close(&t->storage, nullptr);
    if (field_count >= 0) t->field_count = field_count;
    t->storage.field_count = t->field_count;
    if (!tabtype_open(path(name).c_str(), 0, &t->storage, type, &t->field_count, &t->fields)) return nullptr;
    if (!tabtype_begin_access(t, &t->storage, 1)) return nullptr;
    return t;
  }
  std::vector<TableDef*> open_;
};
