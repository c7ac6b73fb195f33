// The delimited-text driver through the table-type dispatch: describe,
// reads, create and insert, bad input; cell references; the foreign
// drivers' message texts.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/drivers/ascii_text.h"
#include "kernel/drivers/foreign.h"
#include "kernel/kernel_files_fixture.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"

namespace {

class drivers_delimited : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    tables_runtime_start();
  }
  void TearDown() override {
    close_all();
    KernelFilesTest::TearDown();
  }
  void close_all() {
    for (TableDef* t : open_) tabdef_free(t);
    open_.clear();
  }
  // Describes the file (type 12 for a .csv) and opens it as type 3.
  TableDef* describe(const std::string& name, int delimiter = -1, bool titles = false, bool csv = true) {
    TableDef* t = tabdef_new();
    open_.push_back(t);
    const int32_t type = csv ? TABTYPE_CSV : TABTYPE_ASCII;
    t->storage.type = static_cast<uint8_t>(type);
    typeopts_init(&t->storage.options, type);
    auto& a = std::get<AsciiOptions>(t->storage.options);
    if (delimiter >= 0) a.delimiter = static_cast<uint8_t>(delimiter);
    a.titles = titles ? 1 : 0;
    if (!tabtype_read_fields(path(name).c_str(), t)) return nullptr;
    tabtype_close(&t->storage, nullptr);
    return t;
  }
  TableDef* open(const std::string& name, int delimiter = -1, bool titles = false, bool csv = true) {
    TableDef* t = describe(name, delimiter, titles, csv);
    if (t == nullptr) return nullptr;
    t->storage.type = TABTYPE_ASCII;
    t->storage.field_count = t->field_count;
    if (!tabtype_open(path(name).c_str(), 0, &t->storage, TABTYPE_ASCII, &t->field_count, &t->fields)) return nullptr;
    if (!tabtype_begin_access(t, &t->storage, 1)) return nullptr;
    return t;
  }
  static std::string columns(const TableDef* t) {
    std::string out;
    for (int32_t i = 0; i < t->field_count; ++i) {
      const FieldDef& f = t->fields[i];
      out += std::string(f.name) + " " + std::to_string(f.value.type) + " " + std::to_string(f.width) + ";";
    }
    return out;
  }
  static std::string text(const TableDef* t, int i) {
    const char* p = value_text_ptr(&t->fields[i].value, nullptr);
    return p != nullptr ? p : "(null)";
  }
  std::string slurp(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<TableDef*> open_;
};

TEST_F(drivers_delimited, DescribeTypesAndWidths) {
  const struct {
    const char* file;
    bool titles;
    const char* columns;  // name type width; types: 1 Char, 3 Integer, 4 SmallInt, 8 Float
    int32_t rows;
  } kCases[] = {
      {"1,007,\"12\",x\n40000,,2.5,\n", false, "_COL1 3 5;_COL2 1 3;_COL3 1 3;_COL4 1 1;", 2},
      {"1\n40000\n2.5\n", false, "_COL1 8 5;", 3},          // widening to Float
      {"1\n-2\n", false, "_COL1 4 2;", 2},                  // SmallInt
      {"1\n40000\n", false, "_COL1 3 5;", 2},               // Integer
      {"a,,c\n,,\n", false, "_COL1 1 1;_COL2 1 1;_COL3 1 1;", 2},  // an empty-only column: Char 1
      {"a\nb,c,d\n", false, "_COL1 1 1;_COL2 1 1;_COL3 1 1;", 2},  // a later row adds columns
      {"\"Name\",\"\",\"Z\"\"9\",COUNT\nx,y,z,1\n", true, "Name 1 1;_COL2 1 1;Z_9 1 1;COUNT 4 1;", 1},
      {"", false, "_COL1 1 1;", 0},
  };
  for (const auto& c : kCases) {
    put("d.csv", c.file);
    TableDef* t = describe("d.csv", -1, c.titles);
    ASSERT_NE(t, nullptr) << c.file;
    EXPECT_EQ(columns(t), c.columns) << c.file;
    EXPECT_EQ(t->storage.row_count, c.rows) << c.file;
  }
}

TEST_F(drivers_delimited, TooManyColumnsFailsWith877) {
  std::string wide;
  for (int i = 0; i < 251; ++i) wide += i ? ",1" : "1";
  for (const std::string& file : {wide + "\n", "a\n" + wide + "\n"}) {
    put("w.csv", file);
    err_clear();
    EXPECT_EQ(describe("w.csv"), nullptr);
    EXPECT_TRUE(err_has_code(kErrTooManyColumns));
  }
}

TEST_F(drivers_delimited, ReadsRowsAgainBackwardsAndPastTheEnd) {
  put("r.txt", "\"N\"\t\"V\"\nab\t1\ncd\t2\nef\t3\n");
  TableDef* t = open("r.txt", -1, true, false);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->storage.row_count, 3);
  ASSERT_EQ(tabtype_read_row(&t->storage, t->fields, 2), 1);
  ASSERT_EQ(tabtype_read_row(&t->storage, t->fields, 2), 1);  // the current row again
  EXPECT_EQ(text(t, 0), "cd");
  EXPECT_EQ(t->fields[1].value.u.s, 2);
  ASSERT_EQ(tabtype_read_row(&t->storage, t->fields, 1), 1);  // backwards: never the title line
  EXPECT_EQ(text(t, 0), "ab");
  ASSERT_EQ(tabtype_read_row(&t->storage, t->fields, 3), 1);
  EXPECT_EQ(text(t, 0), "ef");
  EXPECT_EQ(tabtype_read_row(&t->storage, t->fields, 4), 0);
  EXPECT_EQ(err_count(), 0);
  EXPECT_EQ(t->storage.current_row, 0);
}

TEST_F(drivers_delimited, NestedBeginAccessOpensOnce) {
  put("n.csv", "a\n");
  TableDef* t = open("n.csv");
  ASSERT_NE(t, nullptr);
  const uint32_t uses = file_entry(t->storage.data_file)->flags & kFileUseMask;
  ASSERT_EQ(tabtype_begin_access(t, &t->storage, 1), 1);
  EXPECT_EQ(t->storage.nesting, 2);
  EXPECT_EQ(file_entry(t->storage.data_file)->flags & kFileUseMask, uses);
  ASSERT_EQ(tabtype_end_access(&t->storage), 1);
  EXPECT_EQ(t->storage.nesting, 1);
}

TEST_F(drivers_delimited, OddBytesGiveRowsOrAClearFailure) {
  const struct {
    std::string file;
    int32_t rows;
    const char* first;
  } kCases[] = {
      {std::string("a\0b,c\n", 6), 1, "a b"},         // a NUL reads as a space
      {"x,y", 1, "x"},                                // no final line end
      {"x\r\ny\rz\n", 3, "x"},                        // CR LF, CR and LF
      {"\x1A", 0, nullptr},                           // a lone end mark
      {"p\n\x1Aq\n", 1, "p"},                         // the end mark ends the file
      {"\x82\n", 1, "\x82"},                          // a lead byte without its trail
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    put("o.csv", c.file);
    TableDef* t = open("o.csv");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->storage.row_count, c.rows);
    if (c.first != nullptr) {
      ASSERT_EQ(tabtype_read_row(&t->storage, t->fields, 1), 1);
      EXPECT_EQ(text(t, 0), c.first);
    }
    close_all();
  }
}

TEST_F(drivers_delimited, LongLines) {
  // A 10,000-byte line of 250 fields between two short ones.
  std::string mid;
  for (int i = 0; i < 250; ++i) mid += (i ? "," : "") + std::string(39, static_cast<char>('a' + i % 26));
  mid += "Z";
  put("l.csv", "a,b\n" + mid + "\np,q\n");
  TableDef* t = open("l.csv");
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->field_count, 250);
  ASSERT_EQ(t->storage.row_count, 3);
  ASSERT_EQ(tabtype_read_row(&t->storage, t->fields, 2), 1);
  EXPECT_EQ(text(t, 249), std::string(39, static_cast<char>('a' + 249 % 26)) + "Z");
  ASSERT_EQ(tabtype_read_row(&t->storage, t->fields, 3), 1);
  EXPECT_EQ(text(t, 0), "p");
  EXPECT_EQ(text(t, 1), "q");
  // Beyond 1 MiB the rest of a line is skipped; the next line is a row.
  put("h.csv", std::string(2 << 20, 'x') + "\nlast\n");
  TableDef* h = open("h.csv");
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(h->storage.row_count, 2);
  ASSERT_EQ(tabtype_read_row(&h->storage, h->fields, 1), 1);
  EXPECT_EQ(text(h, 0).size(), static_cast<size_t>(kAsciiMaxLine));
  ASSERT_EQ(tabtype_read_row(&h->storage, h->fields, 2), 1);
  EXPECT_EQ(text(h, 0), "last");
}

TEST_F(drivers_delimited, CreateWritesTitlesAndQuotedRows) {
  TableDef* t = tabdef_new();
  open_.push_back(t);
  t->fields = fieldlist_new(2);
  t->field_count = 2;
  std::snprintf(t->fields[0].name, kTableNameSize, "NAME");
  t->fields[0].width = 20;
  value_init(&t->fields[0].value, VALUE_CHAR, nullptr);
  std::snprintf(t->fields[1].name, kTableNameSize, "COUNT");
  t->fields[1].width = 11;
  value_init(&t->fields[1].value, VALUE_INTEGER, nullptr);
  TypeOptions o;
  typeopts_init(&o, TABTYPE_CSV);
  std::get<AsciiOptions>(o).titles = 1;
  const std::string p = path("c.csv");
  ASSERT_EQ(tabtype_create(p.c_str(), nullptr, 0, 0, &t->storage, TABTYPE_CSV, 2, t->fields, &o, 0), 1);
  // As type 12 the table neither opens, begins access nor takes rows.
  int32_t id = 0;
  EXPECT_EQ(tabtype_begin_access(t, &t->storage, 2), 0);
  EXPECT_EQ(err_first_code(), kErrStorageOpen);
  err_clear();
  EXPECT_EQ(tabtype_insert_row(&t->storage, t->fields, &id), 0);
  EXPECT_EQ(err_first_code(), kErrRowWrite);
  err_clear();
  tabtype_close(&t->storage, nullptr);
  int32_t count = 2;
  FieldDef* f = t->fields;
  EXPECT_EQ(tabtype_open(p.c_str(), 0, &t->storage, TABTYPE_CSV, &count, &f), 0);
  EXPECT_EQ(err_first_code(), kErrStorageOpen);
  err_clear();
  // As type 3 with the comma it takes rows.
  for (int i = 0; i < 2; ++i) value_init(&t->fields[i].value, i ? VALUE_INTEGER : VALUE_CHAR, nullptr);
  ASSERT_EQ(tabtype_open(p.c_str(), 0, &t->storage, TABTYPE_ASCII, &count, &f), 1);
  ASSERT_EQ(tabtype_begin_access(t, &t->storage, 2), 1);
  const struct {
    const char* name;
    int32_t n;
  } kRows[] = {{"He said \"hi\"", 3}, {"a\r\nb", 4}};
  for (const auto& r : kRows) {
    std::snprintf(value_text_ptr(&t->fields[0].value, nullptr), 21, "%s", r.name);
    t->fields[1].value.u.i = r.n;
    ASSERT_EQ(tabtype_insert_row(&t->storage, t->fields, &id), 1);
  }
  EXPECT_EQ(id, 2);
  // A row that does not fit in a line is refused, nothing written.
  std::get<AsciiOptions>(t->storage.options).delimiter = ',';
  ASSERT_EQ(tabtype_end_access(&t->storage), 1);
  EXPECT_EQ(slurp("c.csv"), "\"NAME\",\"COUNT\"\n\"He said \"\"hi\"\"\",3\n\"a  b\",4\n");
  ASSERT_EQ(tabtype_begin_access(t, &t->storage, 1), 1);
  ASSERT_EQ(tabtype_read_row(&t->storage, t->fields, 1), 1);
  EXPECT_EQ(text(t, 0), "He said \"hi\"");
}

TEST_F(drivers_delimited, InsertRefusesALineOf4095Bytes) {
  put("x.txt", "");
  TableDef* t = tabdef_new();
  open_.push_back(t);
  const int n = 20;
  t->fields = fieldlist_new(n);
  t->field_count = n;
  for (int i = 0; i < n; ++i) {
    std::snprintf(t->fields[i].name, kTableNameSize, "F%d", i);
    t->fields[i].width = 254;
    value_init(&t->fields[i].value, VALUE_CHAR, nullptr);
  }
  t->storage.type = TABTYPE_ASCII;
  t->storage.field_count = n;
  const std::string p = path("x.txt");
  ASSERT_EQ(tabtype_open(p.c_str(), 0, &t->storage, TABTYPE_ASCII, &t->field_count, &t->fields), 1);
  ASSERT_EQ(tabtype_begin_access(t, &t->storage, 2), 1);
  for (int i = 0; i < n; ++i) std::memset(value_text_ptr(&t->fields[i].value, nullptr), 'w', 250);
  int32_t id = 0;
  EXPECT_EQ(tabtype_insert_row(&t->storage, t->fields, &id), 0);  // 20 x 253 bytes
  ASSERT_EQ(tabtype_end_access(&t->storage), 1);
  EXPECT_EQ(slurp("x.txt"), "");
}

TEST(drivers_cellref, Parse) {
  const struct {
    const char* text;
    int32_t row, column;
    int consumed;  // -1: fails
  } kCases[] = {
      {"A1", 0, 0, 2},     {"B3", 2, 1, 2},   {"AA10", 9, 26, 4}, {"r2c2", 1, 1, 4},
      {"R5C3", 4, 2, 4},   {"R10", 9, 17, 3}, {"A0", -1, 0, 2},   {"C7:D9", 6, 2, 2},
      {"5A", 0, 0, -1},    {"A", 0, 0, -1},   {"RC", 0, 0, -1},   {"R1C", 0, 0, -1},
      {"A99999999999", 0, 0, -1}, {"A2147483647", 2147483646, 0, 11}, {"R1C2147483648", 0, 0, -1},
      {"", 0, 0, -1},
  };
  for (const auto& c : kCases) {
    int32_t row = 0, column = 0;
    const char* end = cellref_parse(c.text, &row, &column);
    if (c.consumed < 0) {
      EXPECT_EQ(end, nullptr) << c.text;
      continue;
    }
    ASSERT_NE(end, nullptr) << c.text;
    EXPECT_EQ(end - c.text, c.consumed) << c.text;
    EXPECT_EQ(row, c.row) << c.text;
    EXPECT_EQ(column, c.column) << c.text;
  }
}

TEST(drivers_file_errors, Mapping) {
  const struct {
    int32_t reader;
    int16_t xls, wks;
  } kCases[] = {{25, 523, 522}, {38, 523, 523}, {40, 523, 523}, {42, 876, 876}, {7, 521, 522}, {0, 521, 522}};
  for (const auto& c : kCases) {
    EXPECT_EQ(xls_file_error_code(c.reader), c.xls) << c.reader;
    EXPECT_EQ(wks_file_error_code(c.reader), c.wks) << c.reader;
  }
}

TEST_F(drivers_delimited, FileErrorCarriesTheNameAndOnlyOnAnEmptyStack) {
  const int32_t h = file_register_nocheck(path("book.xls").c_str(), 0);
  xls_report_file_error(h, 42);
  ASSERT_EQ(err_count(), 1);
  EXPECT_EQ(err_first_code(), kErrSheetFileLocked);
  wks_report_file_error(h, 25);
  EXPECT_EQ(err_count(), 1);
  err_format_entry(&g_err_stack->entries[0]);
  const std::string text = g_err_stack->line;
  EXPECT_NE(text.find("book.xls"), std::string::npos) << text;
  EXPECT_EQ(text.find(dir_), std::string::npos) << text;
}

TEST_F(drivers_delimited, EveryDriverCodeFormatsUnderTheFatalTrap) {
  const int16_t kCodes[] = {877, 528, 529, 530, 584, 585, 732, 304, 521, 522, 523,
                            876, 1342, 1343, 1351, 386, 497, 881, 882};
  g_kshared.fatal_trap_flag = 1;
  for (int16_t code : kCodes) {
    err_clear();
    err_push(4, code, "x", "y");
    EXPECT_EQ(kernel_guard([] { err_format_entry(&g_err_stack->entries[0]); }), 1) << code;
    EXPECT_NE(std::string(g_err_stack->line), "") << code;
  }
  g_kshared.fatal_trap_flag = 0;
}

}  // namespace
