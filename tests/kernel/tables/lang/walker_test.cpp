// The walker over compiled code and the column reference constants.
#include <cstring>

#include "kernel/runtime/mem.h"
#include "kernel/tables/lang/walker.h"
#include "lang_fixture.h"

using lang_walker = LangTest;

TEST_F(lang_walker, ColumnReferences) {
  int table_a = 0, table_b = 0;
  CompiledExpr* a = nullptr;
  CompiledExpr* b = nullptr;
  ASSERT_EQ(expr_make_column_ref(&a, &table_a, 7), 1);
  ASSERT_EQ(expr_make_column_ref(&b, &table_b, 7), 1);
  EXPECT_EQ(mem_size(a), 14u);
  EXPECT_EQ(a[0], 241);
  EXPECT_EQ(a[1], 25);
  EXPECT_EQ(a[2], 5);
  EXPECT_EQ(a[4], 0);
  EXPECT_EQ(expr_is_column_ref(a, nullptr, nullptr), 0);  // type 25 is not the form asked for
  EXPECT_EQ(expr_code_equal(a, a), 1);
  EXPECT_EQ(expr_code_equal(a, b), 0);
  // The same layout as type 26: the form the index search asks for.
  a[1] = 26;
  void* ptr = nullptr;
  uint8_t index = 0;
  EXPECT_EQ(expr_is_column_ref(a, &ptr, &index), 1);
  EXPECT_EQ(ptr, &table_a);
  EXPECT_EQ(index, 7);
  EXPECT_EQ(expr_refers_to(a, &table_a), 1);
  EXPECT_EQ(expr_refers_to(a, &table_b), 0);
  EXPECT_EQ(expr_refers_to_column(a, &table_a, 7), 1);
  EXPECT_EQ(expr_refers_to_column(a, &table_a, 6), 0);
  EXPECT_EQ(expr_is_empty(a), 0);
  mem_free(&a);
  mem_free(&b);
}

TEST_F(lang_walker, SingleReferencesOfTypes25And36) {
  int t1 = 0, t2 = 0;
  CompiledExpr* r36 = nullptr;
  ASSERT_EQ(expr_make_ref36(&r36, &t1, 3), 1);
  void* ptr = nullptr;
  uint8_t index = 0;
  EXPECT_EQ(expr_single_ref(r36, 36, 1, &ptr, &index), 1);
  EXPECT_EQ(ptr, &t1);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(expr_single_ref(r36, 25, 1, nullptr, nullptr), 0);
  // Two pushes of type 25 then an operator: only the scan finds the last.
  uint8_t code[40] = {241, 25, 13, 0, 241, 25, 22, 0, 12, 0};
  void* p1 = &t1;
  void* p2 = &t2;
  std::memcpy(code + 13, &p1, 8);
  code[21] = 1;
  std::memcpy(code + 22, &p2, 8);
  code[30] = 2;
  EXPECT_EQ(expr_single_ref(code, 25, 1, nullptr, nullptr), 0);
  EXPECT_EQ(expr_single_ref(code, 25, 0, &ptr, &index), 1);
  EXPECT_EQ(ptr, &t2);
  EXPECT_EQ(index, 2);
  mem_free(&r36);
}

TEST_F(lang_walker, StepsOverEveryInstructionSize) {
  // 0xFF fill, a push, a list, a function block, an operator, a reference.
  uint8_t code[64] = {0xFF, 0xFF, 241, 39, 40, 0, 27, 2, 20, 229, 44, 0, 3, 12};
  Value vars[2] = {};
  vars[1].type = VALUE_CHAR;
  const void* settings = nullptr;
  const Value* values = vars;
  uint8_t* ref = code + 14;
  ref[0] = 240;
  ref[1] = 33;
  std::memcpy(ref + 2, &settings, 8);
  std::memcpy(ref + 10, &values, 8);
  ref[18] = 1;
  ref[19] = 0;
  code[14 + kExprRefSize] = 0;
  const struct {
    uint8_t op, type;
    int32_t offset;
  } kSteps[] = {{241, 39, 40}, {27, 20, 2}, {229, 3, 44}, {12, 0, -1}, {240, VALUE_CHAR, -1}, {0, 0, -1}};
  const uint8_t* p = code;
  for (const auto& s : kSteps) {
    uint8_t type = 0;
    int32_t offset = -1;
    EXPECT_EQ(expr_step_over(&p, &type, &offset), s.op);
    EXPECT_EQ(type, s.type);
    EXPECT_EQ(offset, s.offset);
  }
  EXPECT_EQ(p, code + 14 + kExprRefSize);
}
