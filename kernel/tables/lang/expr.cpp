// The expression compiler: a recursive-descent parser over the lexer's
// tokens that emits postfix byte code and a constant area.
#include "kernel/tables/lang/expr.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/lang/walker.h"

int16_t expr_name_mode = 0;

namespace {

struct CompileBuffer {
  uint8_t code[kExprCodeArea];  // code[0] is the result class
  int16_t code_length;
  uint8_t constants[kExprConstArea];
  int16_t const_length;
};

// Token ids the grammar tests.
constexpr int16_t kIdOpen = 1030;
constexpr int16_t kIdClose = 1031;
constexpr int16_t kIdComma = 1027;
constexpr int16_t kIdDot = 1037;
constexpr int16_t kIdSelect = 1086;
constexpr int16_t kIdEntirely = 1596;
constexpr int16_t kIdPartly = 1598;
constexpr int16_t kIdEntire = 1285;
constexpr int16_t kIdPart = 1597;
constexpr int16_t kIdEscape = 1659;

struct CompilerGlobals {
  CompileBuffer cached{};
  CompileBuffer* current = nullptr;
  int32_t nesting = 0;
  int32_t levels = 0;
  int16_t col_mode = 0;  // names are refused inside a column number
  bool failed = false;   // an area filled up: the parse goes on, the compile fails
};

CompilerGlobals g_cc;

void raise_class(uint8_t cls) {
  if (g_cc.current && g_cc.current->code[0] < cls) g_cc.current->code[0] = cls;
}

bool is_id(int16_t id) {
  const Value* t = lex_current();
  return t != nullptr && t->type == 20 && t->u.s == id;
}

bool full() {
  g_cc.failed = true;
  err_push(4, kErrExprFull, nullptr, nullptr);
  return false;
}

// Emitting fails only on a full area, which is recorded; the parse goes on.
bool emit_op(uint8_t op) {
  if (expr_emit_byte(op)) raise_class(2);
  return true;
}

bool push_text(uint8_t type, const char* text) {
  const int32_t n = static_cast<int32_t>(std::strlen(text)) + 1;
  if (type == 24 && n < kExprNameRoom) {
    char room[kExprNameRoom] = {};
    std::memcpy(room, text, static_cast<size_t>(n));
    expr_emit_constant(type, room, kExprNameRoom);
    return true;
  }
  expr_emit_constant(type, text, n);
  return true;
}

// A nesting level of brackets, signs, "not" and "^" operands.
struct Level {
  bool ok;
  Level() : ok(++g_cc.levels <= kExprMaxLevels) {
    if (!ok) full();
  }  // deeper input fails at once: the parser's recursion is bounded
  ~Level() { --g_cc.levels; }
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;
};

bool parse_or();
bool parse_additive();
bool parse_signed();

// "(" items ")" then the list opcode, the count and the operator.
bool parse_list(uint8_t list_op, uint8_t cmp_op) {
  Level level;
  if (!level.ok) return false;
  if (!lex_expect(kIdOpen)) return false;
  int32_t count = 0;
  if (is_id(kIdSelect)) {
    if (!lex_expect(kIdClose)) return false;
  } else {
    for (;;) {
      if (!parse_or()) return false;
      ++count;
      if (count == kExprMaxListItems + 1) {
        g_cc.failed = true;
        err_push(4, kErrExprList, nullptr, nullptr);
      }
      if (is_id(kIdComma)) {
        lex_next();
        continue;
      }
      if (!lex_expect(kIdClose)) return false;
      break;
    }
  }
  const uint8_t bytes[3] = {list_op, static_cast<uint8_t>(count), cmp_op};
  if (expr_emit_bytes(bytes, 3)) raise_class(2);
  return true;
}

bool parse_like() {
  if (!parse_additive()) return false;
  if (is_id(kIdEscape)) {
    lex_next();
    if (!parse_additive()) return false;
  } else if (!push_text(10, "")) {
    return false;
  }
  return emit_op(EXPR_LIKE);
}

bool parse_comparison() {
  if (!parse_additive()) return false;
  for (;;) {
    const Value* t = lex_current();
    if (t == nullptr || t->type != 20) return true;
    const int16_t id = t->u.s;
    uint8_t op = 0;
    if ((id >= EXPR_EQ && id <= EXPR_GT) || id == EXPR_WITHIN || id == EXPR_INTERSECTS) {
      op = static_cast<uint8_t>(id);
      lex_next();
    } else if (id == EXPR_CONTAINS) {
      op = EXPR_CONTAINS;
      lex_next();
      if (is_id(kIdEntire)) {
        op = EXPR_CONTAINS_ENTIRE;
        lex_next();
      } else if (is_id(kIdPart)) {
        op = EXPR_INTERSECTS;
        lex_next();
      }
    } else if (id == kIdEntirely || id == kIdPartly) {
      lex_next();
      if (!lex_expect(EXPR_WITHIN)) return false;
      op = id == kIdEntirely ? EXPR_ENTIRELY_WITHIN : EXPR_INTERSECTS;
    } else if (id == EXPR_BETWEEN) {
      lex_next();
      if (!parse_additive() || !lex_expect(EXPR_AND) || !parse_additive()) return false;
      if (!emit_op(EXPR_BETWEEN)) return false;
      continue;
    } else if (id == 29) {  // in
      lex_next();
      if (!parse_list(EXPR_ANY, EXPR_EQ)) return false;
      continue;
    } else if (id == EXPR_LIKE) {
      lex_next();
      if (!parse_like()) return false;
      continue;
    } else if (id == EXPR_NOT) {
      lex_next();
      if (is_id(29)) {
        lex_next();
        if (!parse_list(EXPR_ALL, EXPR_NE)) return false;
      } else if (is_id(EXPR_LIKE)) {
        lex_next();
        if (!parse_like() || !emit_op(EXPR_NOT)) return false;
      } else {
        lex_error_expected(29);
        return false;
      }
      continue;
    } else {
      return true;
    }
    if (is_id(EXPR_ANY) || is_id(EXPR_ALL)) {
      const uint8_t list_op = is_id(EXPR_ANY) ? EXPR_ANY : EXPR_ALL;
      lex_next();
      if (!parse_list(list_op, op)) return false;
      continue;
    }
    if (!parse_additive() || !emit_op(op)) return false;
  }
}

bool parse_not() {
  if (is_id(EXPR_NOT)) {
    Level level;
    if (!level.ok) return false;
    lex_next();
    return parse_not() && emit_op(EXPR_NOT);
  }
  return parse_comparison();
}

bool parse_and() {
  if (!parse_not()) return false;
  while (is_id(EXPR_AND)) {
    lex_next();
    if (!parse_not() || !emit_op(EXPR_AND)) return false;
  }
  return true;
}

bool parse_or() {
  if (!parse_and()) return false;
  while (is_id(EXPR_OR)) {
    lex_next();
    if (!parse_and() || !emit_op(EXPR_OR)) return false;
  }
  return true;
}

// The column number of "table.col(expression)".
bool column_number(int16_t* number) {
  if (!lex_expect(kIdOpen)) return false;
  CompiledExpr* code = nullptr;
  const int16_t saved_mode = g_cc.col_mode;
  const int16_t saved_name_mode = expr_name_mode;
  g_cc.col_mode = 1;
  expr_name_mode = 0;
  const int16_t ok = expr_compile(&code, nullptr);
  g_cc.col_mode = saved_mode;
  expr_name_mode = saved_name_mode;
  if (!ok) return false;
  if (!lex_expect(kIdClose)) {
    mem_free(&code);
    return false;
  }
  Value v{};
  const int16_t evaluated = expr_eval(code, &v);
  mem_free(&code);
  bool numeric = false;
  switch (v.type) {
    case 2: case 3: case 4: case 8: case 39: numeric = true; break;
    default: break;
  }
  const bool good = evaluated && numeric && value_get_short(&v, number);
  value_free(&v);
  if (!good) {
    err_push(4, kErrExprColNumber, nullptr, nullptr);
    return false;
  }
  return true;
}

bool parse_primary() {
  if (is_id(kIdOpen)) {
    Level level;
    if (!level.ok) return false;
    lex_next();
    if (!is_id(kIdSelect) && !parse_or()) return false;
    return lex_expect(kIdClose) != 0;
  }
  if (lex_is(kTokNumber)) {
    const Value* t = lex_current();
    if (t->type == VALUE_LARGEINT) {
      expr_emit_constant(39, &t->u.ll, 8);
    } else {
      double d = 0;
      value_get_double(t, &d);
      expr_emit_constant(2, &d, 8);
    }
    lex_next();
    return true;
  }
  if (lex_is(kTokIdentifier)) {
    if (g_cc.col_mode) {
      err_push(4, kErrExprColName, lex_token_text(), nullptr);
      return false;
    }
    std::string name = lex_token_text();
    lex_next();
    if (is_id(kIdDot)) {
      lex_next();
      if (!lex_require(kTokIdentifier)) return false;
      std::string second = lex_token_text();
      lex_next();
      if (mb_str_equal_nocase(second.c_str(), "col") && is_id(kIdOpen)) {
        int16_t number = 0;
        if (!column_number(&number)) return false;
        name += ".COL" + std::to_string(number);
      } else {
        name += "." + second;
      }
    }
    push_text(24, name.c_str());
    return true;
  }
  if (!lex_require(kTokString)) return false;
  std::string text = lex_token_text();
  lex_next();
  return push_text(10, text.c_str());
}

bool parse_power() {
  if (!parse_primary()) return false;
  while (is_id(EXPR_POW)) {
    Level level;
    if (!level.ok) return false;
    lex_next();
    if (!parse_signed() || !emit_op(EXPR_POW)) return false;
  }
  return true;
}

bool parse_signed() {
  if (is_id(EXPR_ADD) || is_id(EXPR_SUB)) {
    Level level;
    if (!level.ok) return false;
    const bool minus = is_id(EXPR_SUB);
    lex_next();
    if (!parse_signed()) return false;
    return !minus || emit_op(EXPR_NEG);
  }
  return parse_power();
}

bool parse_term() {
  if (!parse_signed()) return false;
  for (;;) {
    uint8_t op = 0;
    if (is_id(EXPR_IDIV)) op = EXPR_IDIV;
    else if (is_id(EXPR_MOD)) op = EXPR_MOD;
    else if (is_id(EXPR_MUL)) op = EXPR_MUL;
    else if (is_id(EXPR_DIV)) op = EXPR_DIV;
    else return true;
    lex_next();
    if (!parse_signed() || !emit_op(op)) return false;
  }
}

bool parse_additive() {
  if (!parse_term()) return false;
  for (;;) {
    uint8_t op = 0;
    if (is_id(EXPR_ADD)) op = EXPR_ADD;
    else if (is_id(EXPR_SUB)) op = EXPR_SUB;
    else if (is_id(EXPR_CONCAT)) op = EXPR_CONCAT;
    else return true;
    lex_next();
    if (!parse_term() || !emit_op(op)) return false;
  }
}

void write16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

}  // namespace

int16_t expr_emit_bytes(const void* bytes, int32_t count) {
  CompileBuffer* b = g_cc.current;
  if (b == nullptr || count < 0) return 0;
  if (b->code_length + count > kExprCodeArea) return full() ? 1 : 0;
  std::memcpy(b->code + b->code_length, bytes, static_cast<size_t>(count));
  b->code_length = static_cast<int16_t>(b->code_length + count);
  return 1;
}

int16_t expr_emit_byte(uint8_t op) { return expr_emit_bytes(&op, 1); }

int16_t expr_emit_constant(uint8_t type, const void* data, int32_t size) {
  CompileBuffer* b = g_cc.current;
  if (b == nullptr || size < 0) return 0;
  if (b->code_length + 4 > kExprCodeArea || b->const_length + size > kExprConstArea) return full() ? 1 : 0;
  uint8_t ins[4] = {EXPR_CONST, type, 0, 0};
  write16(ins + 2, static_cast<uint32_t>(b->const_length));
  std::memcpy(b->constants + b->const_length, data, static_cast<size_t>(size));
  b->const_length = static_cast<int16_t>(b->const_length + size);
  std::memcpy(b->code + b->code_length, ins, 4);
  b->code_length = static_cast<int16_t>(b->code_length + 4);
  if (type == 22 || type == 24) raise_class(5);
  if (type == 31) raise_class(6);
  return 1;
}

int16_t expr_emit_variable(const void* settings, const Value* variables, int16_t index) {
  uint8_t ins[kExprRefSize] = {EXPR_VARIABLE, 33};
  std::memcpy(ins + 2, &settings, 8);
  std::memcpy(ins + 10, &variables, 8);
  write16(ins + 18, static_cast<uint16_t>(index));
  if (!expr_emit_bytes(ins, kExprRefSize)) return 0;
  raise_class(3);
  return 1;
}

int16_t expr_compile(CompiledExpr** out, uint8_t* result_class) {
  if (out) *out = nullptr;
  if (g_kshared.lexer_input_mode == 1) return 1;
  ++g_cc.nesting;
  const int32_t errors = err_count();
  std::unique_ptr<CompileBuffer> own;
  CompileBuffer* saved = g_cc.current;
  CompileBuffer* b = nullptr;
  if (g_cc.nesting == 1) {
    b = &g_cc.cached;
  } else {
    own = std::make_unique<CompileBuffer>();
    b = own.get();
  }
  b->code[0] = 0;
  b->code_length = 1;
  b->const_length = 0;
  g_cc.current = b;
  const bool failed_before = g_cc.failed;
  g_cc.failed = false;
  bool ok = expr_name_mode && g_cc.nesting == 1 ? parse_additive() : parse_or();
  ok = ok && !g_cc.failed && err_count() == errors && expr_emit_byte(EXPR_END);
  g_cc.failed = failed_before;
  CompiledExpr* block = nullptr;
  if (ok) {
    const int32_t code = b->code_length - 1;
    int32_t size = code + b->const_length;
    if (size < kExprMinBlock) size = kExprMinBlock;
    ok = mem_alloc_zeroed(size, &block) != 0;
    if (ok) {
      std::memcpy(block, b->code + 1, static_cast<size_t>(code));
      std::memcpy(block + code, b->constants, static_cast<size_t>(b->const_length));
      // Constant offsets now count from the start of the block.
      const uint8_t* p = block;
      for (;;) {
        const uint8_t* at = p;
        while (*at == 0xFF) ++at;
        const uint8_t op = expr_step_over(&p, nullptr, nullptr);
        if (op == EXPR_END) break;
        if (op == EXPR_CONST || op == EXPR_FUNC_229 || op == EXPR_FUNC_232) {
          uint8_t* field = const_cast<uint8_t*>(at) + (op == EXPR_CONST ? 2 : 1);
          write16(field, static_cast<uint32_t>(field[0] | (field[1] << 8)) + static_cast<uint32_t>(code));
        }
      }
      if (result_class) *result_class = b->code[0];
    }
  }
  g_cc.current = saved;
  --g_cc.nesting;
  if (out) {
    *out = block;
  } else {
    mem_free(&block);
  }
  return ok ? 1 : 0;
}

int16_t expr_bind(Value* out, void* /*unused*/) {
  std::memset(out, 0, sizeof *out);
  CompiledExpr* code = nullptr;
  if (!expr_compile(&code, nullptr)) return 0;
  if (g_kshared.lexer_input_mode == 1) return 1;
  const int16_t ok = expr_eval(code, out);
  mem_free(&code);
  return ok;
}

void expr_value_negate(Value* v) {
  switch (v->type) {
    case VALUE_DECIMAL:
    case VALUE_FLOAT:
      v->type = VALUE_FLOAT;
      v->u.d = -v->u.d;
      break;
    case VALUE_INTEGER: {
      const int64_t x = v->u.i;
      v->type = VALUE_LARGEINT;
      v->u.ll = -x;
      break;
    }
    case VALUE_SMALLINT: {
      const int64_t x = v->u.s;
      v->type = VALUE_LARGEINT;
      v->u.ll = -x;
      break;
    }
    case VALUE_LARGEINT:
      // Unsigned arithmetic: the smallest integer stays itself.
      v->u.ll = static_cast<int64_t>(0u - static_cast<uint64_t>(v->u.ll));
      break;
    default:
      err_push(4, kErrExprNegate, nullptr, nullptr);
      value_free(v);
      *v = Value{};
      v->type = VALUE_LARGEINT;
      v->u.ll = 0;
      break;
  }
}
