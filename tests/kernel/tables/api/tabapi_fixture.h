// A started table API over a scratch folder, with native tables made
// through the API itself.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kernel/tables/api/tabapi_kernel.h"

namespace tabapi_test {

inline ColumnInfo Col(const char* name, uint8_t type, uint8_t width, uint8_t decimals = 0) {
  return tabapi_column(name, type, width, decimals);
}

class TabApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tabapi.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ASSERT_EQ(ReaderApiInit(6510), 1);
  }
  void TearDown() override {
    while (TabApiIsStarted()) TabApiTerminate();
    std::filesystem::remove_all(dir);
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  // A closed native (or dBASE, type 1) table with these columns and rows
  // (TAB-separated, text fields in double quotes); answers its path.
  std::string Make(const std::string& name, const std::vector<ColumnInfo>& cols, const std::vector<std::string>& rows,
                   int type = 2, int indexed_field = 0) {
    const std::string p = Path(name);
    const int32_t slot =
        TabApiCreateTableFromColumns(p.c_str(), type, cols.data(), static_cast<int32_t>(cols.size()), nullptr);
    EXPECT_NE(slot, 0) << TabApiLastError();
    for (const std::string& r : rows) {
      int32_t n = 0;
      EXPECT_EQ(TabApiInsertRow(slot, r.c_str(), nullptr, &n), 1) << r;
    }
    if (indexed_field) {
      EXPECT_EQ(TabApiBuildFieldIndex(slot, indexed_field), 1);
    }
    EXPECT_EQ(TabApiCloseTableCommit(slot), 1);
    return p;
  }
  std::string dir;
};

}  // namespace tabapi_test
