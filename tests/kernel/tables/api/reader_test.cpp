// The table reader over tables without a map file, and joined views read
// through the reader table layer.
#include <cstring>
#include <fstream>
#include <memory>

#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi_fixture.h"

namespace tabapi_test {
namespace {

class Reader : public TabApiTest {
 protected:
  // a(id indexed, name) and b(id, amount); the view joins a.id = b.id.
  void Members(bool indexed) {
    Make("a.TAB", {Col("id", COLTYPE_INTEGER, 4), Col("name", COLTYPE_CHAR, 10)},
         {"1\t\"one\"", "2\t\"two\"", "3\t\"three\""}, 2, indexed ? 1 : 0);
    Make("b.TAB", {Col("id", COLTYPE_INTEGER, 4), Col("amount", COLTYPE_DECIMAL, 10, 2)},
         {"3\t1.50", "1\t2.25", "7\t0"});
  }
  std::string View(const std::string& name) {
    const std::string p = Path(name);
    std::ofstream(p) << "!table\r\n!version 300\r\nOpen Table \"a\"\r\nOpen Table \"b\"\r\n"
                        "Create View v As Select a.name, b.amount From a, b where a.id = b.id\r\n";
    return p;
  }
};

TEST_F(Reader, PlainTableWithoutObjects) {
  const std::string p = Make("t.TAB", {Col("ID", COLTYPE_INTEGER, 4), Col("AMOUNT", COLTYPE_DECIMAL, 10, 2),
                                       Col("WHOLE", COLTYPE_DECIMAL, 10, 0), Col("NAME", COLTYPE_CHAR, 20)},
                             {"1\t2.50\t3\t\"a\""});
  std::unique_ptr<CTableReader> r(CreateTableReader());
  EXPECT_FALSE(r->Open("", 0));
  ASSERT_TRUE(r->Open(p, 1));
  EXPECT_EQ(r->GetRowCount(), 1);
  EXPECT_EQ(r->GetColumnCount(), 4);
  EXPECT_EQ(r->GetColumnPrecision(1), 9);
  EXPECT_EQ(r->GetColumnPrecision(2), 10);
  EXPECT_EQ(r->GetColumnPrecision(3), 20);
  EXPECT_TRUE(r->HasColumnType(COLTYPE_DECIMAL));
  EXPECT_FALSE(r->HasColumnType(COLTYPE_DATE));
  EXPECT_FALSE(r->IsMappable());
  EXPECT_TRUE(r->HasNoObjects());
  EXPECT_EQ(*r->GetObjectKindText(), ".3");
  EXPECT_EQ(r->GetObjectKind(), 3);
  const CoordSysInfo zero{};
  EXPECT_EQ(std::memcmp(r->GetCoordSys(), &zero, sizeof zero), 0);
  std::string extra;
  EXPECT_EQ(r->GetExtraText(extra), "4");
  char text[4000];
  CUploadOptions o;
  unsigned char* rec = reinterpret_cast<unsigned char*>(1);
  int size = -1;
  DRect b{};
  DPoint c{1, 1};
  std::string key = "k";
  ASSERT_EQ(r->ReadRecord(1, text, &rec, &size, &b, &o, &c, &key), 1);
  EXPECT_STREQ(text, "1\t2.50\t3\t\"a\"");
  EXPECT_TRUE(o.NoObject);
  EXPECT_EQ(rec, nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(key, "");
  unsigned char* blob = nullptr;
  ASSERT_EQ(r->ReadGeometry(1, text, &blob, &size, &b, &o), 1);
  EXPECT_EQ(blob, nullptr);
  EXPECT_EQ(r->ReadRecord(2, text, &rec, &size, &b, &o, &c, &key), 0);
  EXPECT_EQ(r->LastError(), 1925);
  EXPECT_EQ(r->Close(), 1);
}

TEST_F(Reader, JoinedViewReadsTheDrivingMembersRows) {
  Members(true);
  std::unique_ptr<CTableReader> r(CreateTableReader());
  ASSERT_TRUE(r->Open(View("v.TAB"), 0)) << r->LastError();
  EXPECT_LT(r->GetTableHandle(), 0);
  EXPECT_EQ(r->GetRowCount(), 3);
  ASSERT_EQ(r->GetColumnCount(), 2);
  EXPECT_STREQ(r->GetColumn(0)->name, "name");
  EXPECT_STREQ(r->GetColumn(1)->name, "amount");
  EXPECT_EQ(r->GetColumnType(1), COLTYPE_DECIMAL);
  char text[4000];
  CUploadOptions o;
  unsigned char* rec = nullptr;
  int size = 0;
  DRect b{};
  DPoint c{};
  std::string key;
  ASSERT_EQ(r->ReadRecord(1, text, &rec, &size, &b, &o, &c, &key), 1);
  EXPECT_STREQ(text, "\"three\"\t1.50");
  ASSERT_EQ(r->ReadRecord(2, text, &rec, &size, &b, &o, &c, &key), 1);
  EXPECT_STREQ(text, "\"one\"\t2.25");
  // b's third row has no partner in a.
  EXPECT_EQ(r->ReadRecord(3, text, &rec, &size, &b, &o, &c, &key), 0);
  EXPECT_EQ(r->Close(), 1);
}

TEST_F(Reader, JoinWithoutAnIndexFailsItsFirstRead) {
  Members(false);
  std::unique_ptr<CTableReader> r(CreateTableReader());
  ASSERT_TRUE(r->Open(View("v.TAB"), 0));
  char text[4000];
  CUploadOptions o;
  unsigned char* rec = nullptr;
  int size = 0;
  DRect b{};
  DPoint c{};
  std::string key;
  EXPECT_EQ(r->ReadRecord(1, text, &rec, &size, &b, &o, &c, &key), 0);
  EXPECT_EQ(r->LastError(), 873);
  r->Close();
}

TEST_F(Reader, TenViewsAtOnceAndReadOnly) {
  Members(true);
  const std::string v = View("v.TAB");
  EXPECT_EQ(ReaderOpenTable(Path("missing.TAB").c_str(), 1), 0);
  EXPECT_EQ(ReaderOpenTable(v.c_str(), 2), 0);
  std::vector<int32_t> handles;
  for (int i = 0; i < 11; ++i) {
    // Each view opens its own copies of the members.
    const std::string d = Path("d" + std::to_string(i));
    std::filesystem::create_directory(d);
    for (const char* f : {"a.TAB", "a.DAT", "a.IND", "b.TAB", "b.DAT", "v.TAB"}) {
      std::filesystem::copy_file(Path(f), d + "/" + f);
    }
    handles.push_back(ReaderOpenTable((d + "/v.TAB").c_str(), 1));
  }
  for (int i = 0; i < 10; ++i) EXPECT_EQ(handles[static_cast<size_t>(i)], -(i + 1));
  EXPECT_EQ(handles[10], 0);
  EXPECT_EQ(ReaderCloseTable(-4), 1);
  EXPECT_EQ(ReaderCloseTable(-4), 0);
  EXPECT_EQ(ReaderOpenTable(Path("d10/v.TAB").c_str(), 1), -4);
}

TEST_F(Reader, TextFields) {
  EXPECT_STREQ(reader_text_field("a\tb\tc", 2), "b");
  EXPECT_STREQ(reader_text_field("a\tb\tc", 0), "a\tb\tc");
  EXPECT_STREQ(reader_text_field("a\tb\t", 3), "");
  EXPECT_EQ(reader_text_field("a\tb", 3), nullptr);
}

}  // namespace
}  // namespace tabapi_test
