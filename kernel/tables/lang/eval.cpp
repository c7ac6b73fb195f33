// The expression evaluator: a stack machine over Values that knows two
// instructions, push a constant and negate the top value.
#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/lang/expr.h"

namespace {

struct EvalGlobals {
  Value stack[kEvalStackSize];
  int32_t top = 0;      // first free place above every evaluation in progress
  int32_t nesting = 0;
};

EvalGlobals g_ev{};

void free_range(int32_t from, int32_t to) {
  for (int32_t i = from; i < to; ++i) {
    value_free(&g_ev.stack[i]);
    g_ev.stack[i] = Value{};
  }
}

// One instruction at pc; sp is the next free place, base the bottom.
bool step(const uint8_t* code, int32_t size, int32_t& pc, int32_t base, int32_t& sp) {
  const uint8_t op = code[pc];
  if (op == EXPR_NEG) {
    ++pc;
    const int32_t at = sp > base ? sp - 1 : base;
    Value& v = g_ev.stack[at];
    switch (v.type) {
      case VALUE_DECIMAL: case VALUE_FLOAT: case VALUE_INTEGER: case VALUE_SMALLINT: case VALUE_LARGEINT:
        expr_value_negate(&v);
        return true;
      default:
        err_push(4, kErrExprNegate, nullptr, nullptr);
        return false;
    }
  }
  if (op != EXPR_CONST || pc + 4 > size) return false;
  const uint8_t type = code[pc + 1];
  const int32_t offset = code[pc + 2] | (code[pc + 3] << 8);
  pc += 4;
  if (sp >= kEvalStackSize) return false;
  Value v{};
  switch (type) {
    case VALUE_DECIMAL:
    case VALUE_LARGEINT:
      if (offset + 8 > size) return false;
      v.type = type;
      std::memcpy(type == VALUE_DECIMAL ? static_cast<void*>(&v.u.d) : static_cast<void*>(&v.u.ll), code + offset,
                  8);
      break;
    case VALUE_CHAR_REF:
    case VALUE_TEXT_REF: {
      if (offset >= size || std::memchr(code + offset, 0, static_cast<size_t>(size - offset)) == nullptr)
        return false;
      if (!value_from_text(reinterpret_cast<const char*>(code + offset), type, -1, 0, 1, &v, 0)) return false;
      break;
    }
    default:
      // Takes a place without a value; the bottom keeps its Logical true.
      if (sp == base) {
        ++sp;
        return true;
      }
      break;
  }
  g_ev.stack[sp++] = v;
  return true;
}

}  // namespace

int16_t expr_stack_enter() {
  ++g_ev.nesting;
  return 1;
}

int16_t expr_stack_leave() {
  if (g_ev.nesting > 0) --g_ev.nesting;
  return 1;
}

int32_t expr_stack_depth() { return g_ev.nesting; }

int16_t char_is_blank_or_control(uint8_t byte) { return byte < 128 && byte <= 32 ? 1 : 0; }

int16_t expr_eval_n(const CompiledExpr* code, int32_t size, Value* out) {
  expr_stack_enter();
  // A nested evaluation starts above the places of the one that runs.
  const int32_t base = g_ev.top;
  if (base >= kEvalStackSize) {
    expr_stack_leave();
    std::memset(out, 0, sizeof *out);
    out->type = VALUE_LOGICAL;
    return 0;
  }
  g_ev.stack[base] = Value{};
  g_ev.stack[base].type = VALUE_LOGICAL;
  g_ev.stack[base].u.b = 1;
  int32_t sp = base;
  bool ok = true;
  int32_t pc = 0;
  if (code != nullptr) {
    while (ok && pc < size && code[pc] != EXPR_END) {
      g_ev.top = sp + 1;
      ok = step(code, size, pc, base, sp);
    }
  }
  if (ok) {
    *out = g_ev.stack[base];
    g_ev.stack[base] = Value{};
    free_range(base + 1, sp);
  } else {
    free_range(base, sp > base ? sp : base + 1);
    std::memset(out, 0, sizeof *out);
    out->type = VALUE_LOGICAL;
    out->u.b = 0;
  }
  g_ev.top = base;
  expr_stack_leave();
  return ok ? 1 : 0;
}

int16_t expr_eval(const CompiledExpr* code, Value* out) {
  const int32_t size = code != nullptr ? static_cast<int32_t>(mem_size(code)) : 0;
  return expr_eval_n(code, size, out);
}
