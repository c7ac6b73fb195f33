// Kernel string table: exact texts, absent ids, rotation, and the table's
// invariants.
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "runtime_reset.h"

namespace {

class KstrTest : public RuntimeTest {};

TEST_F(KstrTest, ExactTexts) {
  struct Case {
    int32_t id;
    const char* text;
  } cases[] = {
      {588, "Too many errors.  Error information has been lost."},
      {6035, "into "},
      {7108, "DROP TABLE `%s` "},
      {7120, " "},
      {7123, ""},
      {6272, "CoordSys NonEarth Units \"%s\""},
      {6400, "mi"},
      {6437, "rood"},
      {3707, "Unable to access index for field %s of table %s."},
      {479, "Internal Error: %u"},
      {973, "Program cannot run because required resource was not found.  Executable file may be damaged."},
  };
  for (const Case& c : cases) EXPECT_STREQ(kernel_string(c.id), c.text) << c.id;
  EXPECT_EQ(kernel_string_exists(7123), 1);
  EXPECT_EQ(kernel_string_exists(3199), 0);
  EXPECT_EQ(kernel_string_exists(479), 0);
}

TEST_F(KstrTest, AbsentIdIsEmptyAndQuietUnlessTrapped) {
  err_push(4, 311, nullptr, nullptr);
  EXPECT_STREQ(kernel_string(3199), "");
  EXPECT_EQ(err_count(), 1);
  EXPECT_EQ(g_err_stack->push_count, 1);
  err_clear();
  g_kshared.fatal_trap_flag = 1;
  EXPECT_EQ(kernel_guard([] { kernel_string(3199); }), 0);
  EXPECT_STREQ(kernel_fatal_message(), "Unable to access string resource (3199)");
  EXPECT_EQ(err_first_code(), 479);
}

TEST_F(KstrTest, EleventhLookupReusesTheFirstBuffer) {
  const char* first = kernel_string(6020);
  const char* seen[10] = {first};
  for (int i = 1; i < 10; ++i) seen[i] = kernel_string(6020 + i);
  EXPECT_STREQ(first, "Point");
  for (int i = 1; i < 10; ++i) EXPECT_NE(seen[i], first);
  const char* eleventh = kernel_string(6600);
  EXPECT_EQ(eleventh, first);
  EXPECT_STREQ(first, "ASCII");
}

TEST_F(KstrTest, FailedBufferAllocationAnswersEmptyText) {
  mem_test_fail_nth(1);
  const char* t = kernel_string(588);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t, "");
  EXPECT_EQ(err_first_code(), 632);
  // The next lookup allocates and works.
  EXPECT_STREQ(kernel_string(6108), "TABLE");
  // With the trap flag set the failure ends the guard.
  kernel_string_reset();
  g_kshared.fatal_trap_flag = 1;
  mem_test_fail_nth(1);
  EXPECT_EQ(kernel_guard([] { kernel_string(588); }), 0);
  EXPECT_STREQ(kernel_fatal_message(), "Unable to allocate string resource buffer.");
}

TEST(KstrTable, Invariants) {
  std::map<int32_t, std::string> first;
  std::set<int32_t> duplicates;
  const KernelString* row = g_kernel_string_table;
  for (; row->id != 0; ++row) {
    ASSERT_GT(row->id, 0);
    ASSERT_NE(row->text, nullptr) << row->id;
    EXPECT_LE(std::strlen(row->text), 254u) << row->id;
    auto [it, inserted] = first.emplace(row->id, row->text);
    if (!inserted) {
      duplicates.insert(row->id);
      EXPECT_EQ(it->second, row->text) << "id " << row->id << " stands twice with different texts";
    }
  }
  EXPECT_EQ(row->text, nullptr);
  EXPECT_EQ(duplicates, std::set<int32_t>{3707});
  // Complete runs: unit names, object type names, Access pieces.
  for (int32_t id = 6400; id <= 6437; ++id) EXPECT_TRUE(first.count(id)) << id;
  for (int32_t id = 6020; id <= 6029; ++id) EXPECT_TRUE(first.count(id)) << id;
  for (int32_t id = 7100; id <= 7126; ++id) {
    if (id != 7109) {
      EXPECT_TRUE(first.count(id)) << id;
    }
  }
  // Ids other parts ask for and that read as empty.
  for (int32_t id : {3199, 6057, 6058, 7301, 7302, 479}) EXPECT_FALSE(first.count(id)) << id;
}

TEST_F(KstrTest, LongTextIsCut) {
  // No row of the table is longer than the buffer: a row of 300 characters
  // stands in. It comes back as its first 254 characters, NUL-terminated,
  // with the buffer's last byte zero; shorter rows come back whole.
  std::string long_text;
  for (int i = 0; i < 300; ++i) long_text += static_cast<char>('a' + i % 26);
  const std::string exact(254, 'e');
  const KernelString rows[] = {{7001, long_text.c_str()}, {7002, exact.c_str()}, {7003, "short"}, {0, nullptr}};
  kernel_string_use_rows(rows);
  const char* t = kernel_string(7001);
  EXPECT_EQ(std::string(t), long_text.substr(0, 254));
  EXPECT_EQ(t[255], '\0');
  EXPECT_EQ(std::string(kernel_string(7002)), exact);
  EXPECT_STREQ(kernel_string(7003), "short");
  kernel_string_use_rows(nullptr);
  EXPECT_EQ(kernel_string_exists(7001), 0);
}

}  // namespace
