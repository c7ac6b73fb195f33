// The in-memory table driver through the table-type dispatch and its own
// look-ups and cursor.
#include <gtest/gtest.h>

#include <string>

#include "kernel/drivers/memtab.h"
#include "kernel/kernel_files_fixture.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapstore.h"
#include "kernel/runtime/value.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"

namespace {

class drivers_memtab : public KernelFilesTest {
 protected:
  void SetUp() override {
    KernelFilesTest::SetUp();
    tables_runtime_start();
    t_ = tabdef_new();
    t_->fields = fieldlist_new(2);
    t_->field_count = 2;
    std::snprintf(t_->fields[0].name, kTableNameSize, "A");
    t_->fields[0].width = 10;
    value_init(&t_->fields[0].value, VALUE_CHAR, nullptr);
    std::snprintf(t_->fields[1].name, kTableNameSize, "B");
    value_init(&t_->fields[1].value, VALUE_INTEGER, nullptr);
    ASSERT_EQ(tabtype_create(nullptr, nullptr, 0, 0, &t_->storage, TABTYPE_MEMORY, 2, t_->fields, nullptr, 0), 1);
  }
  void TearDown() override {
    tabdef_free(t_);
    KernelFilesTest::TearDown();
  }
  void insert(int32_t id, const char* a, int32_t b) {
    std::snprintf(value_text_ptr(&t_->fields[0].value, nullptr), 11, "%s", a);
    t_->fields[1].value.u.i = b;
    ASSERT_EQ(tabtype_insert_row(&t_->storage, t_->fields, &id), 1);
  }
  MemRowList* list() { return memtab_rows(&t_->storage)->list; }
  TableDef* t_ = nullptr;
};

TEST_F(drivers_memtab, IdsKeepInsertionOrderAndTheCounterFollowsTheLargest) {
  insert(5, "five", 50);
  insert(3, "three", 30);
  MemRowNode* n = nullptr;
  ASSERT_EQ(memtab_nth_row(list(), 1, &n), 1);
  EXPECT_EQ(n->row, 5);
  ASSERT_EQ(memtab_nth_row(list(), 2, &n), 1);
  EXPECT_EQ(n->row, 3);
  EXPECT_EQ(memtab_nth_row(list(), 3, &n), 0);
  ASSERT_EQ(memtab_find_row(list(), 3, &n), 1);
  EXPECT_EQ(memtab_find_row(list(), 4, &n), 0);
  // Each insert makes the counter the larger of itself and the id, plus one.
  EXPECT_EQ(memtab_rows(&t_->storage)->counter, 7);
  int32_t next = 0;
  ASSERT_EQ(memtab_next_row_id(&t_->storage, &next), 1);
  EXPECT_EQ(next, 8);
  ASSERT_EQ(tabtype_read_row(&t_->storage, t_->fields, 3), 1);
  EXPECT_STREQ(value_text_ptr(&t_->fields[0].value, nullptr), "three");
  EXPECT_EQ(t_->fields[1].value.u.i, 30);
  EXPECT_EQ(tabtype_read_row(&t_->storage, t_->fields, 4), 0);
  EXPECT_EQ(err_count(), 0);
}

TEST_F(drivers_memtab, ReadConvertsToTheFieldsType) {
  insert(1, "x", 40000);
  FieldDef f[2] = {};
  f[0].width = 10;
  value_init(&f[0].value, VALUE_CHAR, nullptr);
  f[1].width = 10;
  value_init(&f[1].value, VALUE_CHAR, nullptr);
  ASSERT_EQ(value_alloc_text(10, &f[0].value, nullptr), 1);
  ASSERT_EQ(value_alloc_text(10, &f[1].value, nullptr), 1);
  ASSERT_EQ(memtab_read_row(&t_->storage, 1, f), 1);
  EXPECT_STREQ(value_text_ptr(&f[1].value, nullptr), "40000");
  value_free(&f[0].value);
  value_free(&f[1].value);
}

TEST_F(drivers_memtab, UpdateAndDelete) {
  insert(1, "one", 1);
  insert(2, "two", 2);
  t_->fields[1].value.u.i = 22;
  ASSERT_EQ(tabtype_update_row(&t_->storage, t_->fields, 2), 1);
  EXPECT_EQ(tabtype_update_row(&t_->storage, t_->fields, 9), 0);
  err_clear();
  ASSERT_EQ(tabtype_read_row(&t_->storage, t_->fields, 2), 1);
  EXPECT_EQ(t_->fields[1].value.u.i, 22);
  // A node that holds a map object stays, without its values.
  MemRowNode* n = nullptr;
  ASSERT_EQ(memtab_find_row(list(), 2, &n), 1);
  mapobj_init(&n->object, MAPOBJ_POINT);
  ASSERT_EQ(tabtype_delete_row(&t_->storage, 2), 1);
  ASSERT_EQ(memtab_find_row(list(), 2, &n), 1);
  EXPECT_EQ(n->values, nullptr);
  EXPECT_EQ(tabtype_read_row(&t_->storage, t_->fields, 2), 0);
  // A node without one goes; an absent id deletes fine.
  ASSERT_EQ(tabtype_delete_row(&t_->storage, 1), 1);
  EXPECT_EQ(memtab_find_row(list(), 1, &n), 0);
  EXPECT_EQ(tabtype_delete_row(&t_->storage, 77), 1);
  EXPECT_EQ(list()->count, 1);
}

TEST_F(drivers_memtab, FindByText) {
  insert(4, "Paris", 1);
  insert(6, "paris", 2);
  insert(8, "Rome", 2);
  const struct {
    const char* a;
    const char* b;
    int16_t found;
    int32_t id, position;
  } kCases[] = {
      {"PARIS", "", 1, 4, 0},    // an empty second text: column a only
      {"PARIS", nullptr, 1, 4, 0},
      {"paris", "2", 1, 6, 1},  // both must match
      {"rome", "1", 0, 0, 0},
      {"Oslo", "", 0, 0, 0},
  };
  for (const auto& c : kCases) {
    int32_t id = 0, pos = -1;
    EXPECT_EQ(memtab_find_by_text(t_, c.a, 0, c.b, 1, &id), c.found) << c.a;
    EXPECT_EQ(memtab_position_by_text(t_, c.a, 0, c.b, 1, &pos), c.found) << c.a;
    if (c.found) {
      EXPECT_EQ(id, c.id) << c.a;
      EXPECT_EQ(pos, c.position) << c.a;
    }
  }
}

TEST_F(drivers_memtab, Cursor) {
  int32_t id = 0;
  EXPECT_EQ(memtab_cursor_last(&t_->storage, &id), 0);  // empty
  insert(10, "a", 1);
  insert(20, "b", 2);
  ASSERT_EQ(memtab_cursor_first(&t_->storage), 1);
  int16_t end = 0;
  EXPECT_EQ(memtab_cursor_next(&t_->storage, &id, nullptr, &end), 1);
  EXPECT_EQ(id, 10);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(memtab_cursor_next(&t_->storage, &id, nullptr, &end), 0);  // the last node
  EXPECT_EQ(id, 20);
  EXPECT_EQ(end, 1);
  EXPECT_EQ(memtab_cursor_prev(&t_->storage, &id), 1);
  EXPECT_EQ(id, 20);
  EXPECT_EQ(memtab_cursor_prev(&t_->storage, &id), 1);
  EXPECT_EQ(id, 10);
  ASSERT_EQ(memtab_cursor_last(&t_->storage, &id), 1);
  EXPECT_EQ(id, 20);
}

TEST_F(drivers_memtab, FillAndCloseFreesEverything) {
  for (int32_t i = 1; i <= 1000; ++i) insert(i, "row", i);
  MemRowNode* n = nullptr;
  ASSERT_EQ(memtab_find_row(list(), 500, &n), 1);
  mapobj_init(&n->object, MAPOBJ_POINT);
  tabtype_delete_row(&t_->storage, 500);
  tabtype_close(&t_->storage, nullptr);
  EXPECT_EQ(memtab_rows(&t_->storage), nullptr);
  // LeakSanitizer (asan preset) checks that nothing stays.
}

}  // namespace

namespace {

TEST_F(drivers_memtab, ARepeatedIdReadsTheFirstNodeUntilItIsDeleted) {
  insert(2, "first", 1);
  insert(2, "second", 2);
  ASSERT_EQ(tabtype_read_row(&t_->storage, t_->fields, 2), 1);
  EXPECT_EQ(t_->fields[1].value.u.i, 1);
  ASSERT_EQ(tabtype_delete_row(&t_->storage, 2), 1);
  ASSERT_EQ(tabtype_read_row(&t_->storage, t_->fields, 2), 1);
  EXPECT_EQ(t_->fields[1].value.u.i, 2);
  // Positions after the list changed are walked afresh.
  MemRowNode* n = nullptr;
  ASSERT_EQ(memtab_nth_row(list(), 1, &n), 1);
  insert(9, "x", 9);
  ASSERT_EQ(memtab_nth_row(list(), 2, &n), 1);
  EXPECT_EQ(n->row, 9);
}

}  // namespace
