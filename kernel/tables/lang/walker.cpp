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

namespace {

int16_t make_ref(CompiledExpr** out, uint8_t type, const void* table, uint8_t index) {
  *out = nullptr;
  uint8_t* block = nullptr;
  if (!mem_alloc_zeroed(5 + kExprPtrRefSize, &block)) return 0;
  block[0] = EXPR_CONST;
  block[1] = type;
  block[2] = 5;
  block[3] = 0;
  block[4] = EXPR_END;
  std::memcpy(block + 5, &table, sizeof table);
  block[5 + sizeof table] = index;
  *out = block;
  return 1;
}

// Calls fn(pointer, index) for each push of a reference constant of the
// type; stops when fn answers true.
template <class Fn>
bool each_ref(const CompiledExpr* code, uint8_t wanted, Fn fn) {
  if (code == nullptr) return false;
  const uint8_t* p = code;
  uint8_t type = 0;
  int32_t offset = 0;
  for (;;) {
    const uint8_t op = expr_step_over(&p, &type, &offset);
    if (op == EXPR_END) return false;
    if (op == EXPR_CONST && type == wanted) {
      void* ptr = nullptr;
      std::memcpy(&ptr, code + offset, sizeof ptr);
      if (fn(ptr, code[offset + sizeof ptr])) return true;
    }
  }
}

}  // namespace

int16_t expr_make_column_ref(CompiledExpr** out, const void* table, uint8_t index) {
  return make_ref(out, 25, table, index);
}

int16_t expr_make_ref36(CompiledExpr** out, const void* table, uint8_t index) { return make_ref(out, 36, table, index); }

int16_t expr_single_ref(const CompiledExpr* code, uint8_t type, int16_t exact, void** pointer, uint8_t* index) {
  if (code == nullptr) return 0;
  if (exact) {
    const uint8_t* p = code;
    uint8_t t = 0;
    int32_t offset = 0;
    if (expr_step_over(&p, &t, &offset) != EXPR_CONST || t != type) return 0;
    if (expr_step_over(&p, nullptr, nullptr) != EXPR_END) return 0;
  }
  bool found = false;
  each_ref(code, type, [&](void* ptr, uint8_t i) {
    found = true;
    if (pointer) *pointer = ptr;
    if (index) *index = i;
    return false;  // the last one counts
  });
  return found ? 1 : 0;
}

int16_t expr_refers_to_column(const CompiledExpr* code, const void* table, uint8_t index) {
  return each_ref(code, 26, [&](void* ptr, uint8_t i) { return ptr == table && i == index; }) ? 1 : 0;
}

int16_t expr_refers_to(const CompiledExpr* code, const void* object) {
  return each_ref(code, 26, [&](void* ptr, uint8_t) { return ptr == object; }) ? 1 : 0;
}

int16_t expr_code_equal(const CompiledExpr* a, const CompiledExpr* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  const size_t na = mem_size(a);
  const size_t nb = mem_size(b);
  return std::memcmp(a, b, na < nb ? na : nb) == 0 ? 1 : 0;
}

int16_t expr_is_empty(const CompiledExpr* code) { return code == nullptr || code[0] == EXPR_END ? 1 : 0; }
