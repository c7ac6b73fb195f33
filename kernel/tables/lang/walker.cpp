// The instruction walker over compiled expressions and the column
// reference constants.
#include "kernel/tables/lang/walker.h"

#include <cstring>

#include "kernel/runtime/mem.h"

namespace {

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

uint8_t expr_step_over(const uint8_t** position, uint8_t* type, int32_t* offset) {
  const uint8_t* p = *position;
  while (*p == 0xFF) ++p;
  const uint8_t op = *p;
  switch (op) {
    case EXPR_END:
      *position = p;
      return 0;
    case EXPR_CONST:
      if (type) *type = p[1];
      if (offset) *offset = read16(p + 2);
      p += 4;
      break;
    case EXPR_FUNC_229:
    case EXPR_FUNC_232:
    case EXPR_245:
      if (offset) *offset = read16(p + 1);
      if (type) *type = p[3];
      p += 4;
      break;
    case EXPR_ANY:
    case EXPR_ALL:
      if (offset) *offset = p[1];
      if (type) *type = p[2];
      p += 3;
      break;
    case EXPR_REF_225:
    case EXPR_VARIABLE:
    case EXPR_REF_242:
    case EXPR_REF_243: {
      const Value* values = nullptr;
      std::memcpy(&values, p + 10, sizeof values);
      const uint16_t index = read16(p + 18);
      if (type) *type = values != nullptr ? values[index].type : p[1];
      p += kExprRefSize;
      break;
    }
    default:
      p += 1;
      break;
  }
  *position = p;
  return op;
}

int16_t expr_is_column_ref(const CompiledExpr* code, void** pointer, uint8_t* index) {
  if (code == nullptr) return 0;
  const uint8_t* p = code;
  uint8_t type = 0;
  int32_t offset = 0;
  if (expr_step_over(&p, &type, &offset) != EXPR_CONST || (type != 24 && type != 26)) return 0;
  if (expr_step_over(&p, nullptr, nullptr) != EXPR_END) return 0;
  if (pointer) std::memcpy(pointer, code + offset, sizeof(void*));
  if (index) *index = code[offset + sizeof(void*)];
  return 1;
}

int16_t expr_make_column_ref(CompiledExpr** out, const void* table, uint8_t index) {
  *out = nullptr;
  uint8_t* block = nullptr;
  if (!mem_alloc_zeroed(5 + kExprPtrRefSize, &block)) return 0;
  block[0] = EXPR_CONST;
  block[1] = 25;
  block[2] = 5;
  block[3] = 0;
  block[4] = EXPR_END;
  std::memcpy(block + 5, &table, sizeof table);
  block[5 + sizeof table] = index;
  *out = block;
  return 1;
}

int16_t expr_refers_to(const CompiledExpr* code, const void* object) {
  if (code == nullptr) return 0;
  const uint8_t* p = code;
  uint8_t type = 0;
  int32_t offset = 0;
  for (;;) {
    const uint8_t op = expr_step_over(&p, &type, &offset);
    if (op == EXPR_END) return 0;
    if (op == EXPR_CONST && type == 26) {
      const void* ptr = nullptr;
      std::memcpy(&ptr, code + offset, sizeof ptr);
      if (ptr == object) return 1;
    }
  }
}

int16_t expr_code_equal(const CompiledExpr* a, const CompiledExpr* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  const size_t na = mem_size(a);
  const size_t nb = mem_size(b);
  return std::memcmp(a, b, na < nb ? na : nb) == 0 ? 1 : 0;
}

int16_t expr_is_empty(const CompiledExpr* code) { return code == nullptr || code[0] == EXPR_END ? 1 : 0; }
