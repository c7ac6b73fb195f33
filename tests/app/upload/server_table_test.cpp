// Registration table: path, exact text and the Windows Latin 1 writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/ServerTable.h"

namespace upload {
namespace {

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ServerTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("ql_srvtab_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST(ServerTablePathTest, FolderSeparator) {
  EXPECT_EQ(ServerTablePath("/reg", "ROADS"), "/reg/ROADS_srv.tab");
  EXPECT_EQ(ServerTablePath("/reg/", "ROADS"), "/reg/ROADS_srv.tab");
  EXPECT_EQ(ServerTablePath("C:\\reg\\", "ROADS"), "C:\\reg\\ROADS_srv.tab");
}

TEST(ServerTableTextTest, LinesInOrderWithoutFinalLineEnd) {
  ServerTableLink link{"select * from testdb.dbo.RD", "DRIVER=/x.so;DBMS=Microsoft SQL Server;UID=u;", false};
  EXPECT_EQ(ServerTableText(link),
            "!table\n!version 500\n!charset WindowsLatin1\n\nDefinition Table\n  Type ODBC\nbegin_metadata\n"
            "\"\\IsReadOnly\" = \"FALSE\"\n"
            "\"\\DATALINK\" = \"\"\n"
            "\"\\DATALINK\\Query\" = \"select * from testdb.dbo.RD\"\n"
            "\"\\DATALINK\\ConnectionString\" = \"DRIVER=/x.so;DBMS=Microsoft SQL Server;UID=u;\"\n"
            "\"\\CACHE\" = \"ON\"\n"
            "\"\\MBRSEARCH\" = \"ON\"\n"
            "end_metadata");
  link.ociToolkit = true;
  link.connectString = "a\"b";
  const std::string t = ServerTableText(link);
  EXPECT_NE(t.find("\"\\DATALINK\\ConnectionString\" = \"a\"\"b\"\n\"\\DATALINK\\ToolKit\" = \"ORAINET\"\n"
                   "\"\\CACHE\""),
            std::string::npos)
      << t;
}

TEST_F(ServerTableTest, WritesWindowsLatin1AndRefusesWhatItCannotHold) {
  const std::string path = (dir_ / "RD_srv.tab").string();
  EXPECT_EQ(WriteServerTableFile(path, "caf\xC3\xA9 \xE2\x82\xAC"), ServerTableWrite::Written);
  EXPECT_EQ(ReadFile(path), "caf\xE9 \x80");

  // A character outside the set, or broken UTF-8: nothing written, the old
  // file stays as it was.
  EXPECT_EQ(WriteServerTableFile(path, "\xE6\xBC\xA2"), ServerTableWrite::NotEncodable);
  EXPECT_EQ(WriteServerTableFile(path, "ab\xC3"), ServerTableWrite::NotEncodable);
  EXPECT_EQ(ReadFile(path), "caf\xE9 \x80");

  EXPECT_EQ(WriteServerTableFile((dir_ / "missing" / "RD_srv.tab").string(), "x"), ServerTableWrite::NotWritten);
}

}  // namespace
}  // namespace upload
