// The expression compiler of the statement language and the two-instruction
// evaluator that runs its byte code.
//
// A compiled expression is one kernel block: the code (postfix order, ended
// by a zero byte) followed at once by its constants; offsets in instructions
// count from the start of the block. Pointers inside references and
// constants are full 64-bit pointers.
#pragma once
#include <cstdint>

#include "kernel/runtime/value.h"

using CompiledExpr = uint8_t;

constexpr int kExprBufferSize = 2704;
constexpr int kExprCodeArea = 500;    // with the class byte
constexpr int kExprConstArea = 2200;
constexpr int kExprMaxLevels = 256;   // brackets, signs, "not" and "^" operands
constexpr int kExprMaxListItems = 254;
constexpr int kExprMinBlock = 10;
constexpr int kEvalStackSize = 2200;

constexpr int16_t kErrExprFull = 965;
constexpr int16_t kErrExprList = 575;
constexpr int16_t kErrExprColName = 676;
constexpr int16_t kErrExprColNumber = 677;
constexpr int16_t kErrExprNegate = 306;

// Opcodes (operators are the token ids of their keywords).
enum ExprOp : uint8_t {
  EXPR_END = 0,
  EXPR_IDIV = 10,
  EXPR_MOD = 11,
  EXPR_ADD = 12,
  EXPR_SUB = 13,
  EXPR_MUL = 14,
  EXPR_DIV = 15,
  EXPR_NEG = 16,
  EXPR_OR = 17,
  EXPR_AND = 18,
  EXPR_NOT = 19,
  EXPR_EQ = 20,
  EXPR_NE = 21,
  EXPR_LE = 22,
  EXPR_GE = 23,
  EXPR_LT = 24,
  EXPR_GT = 25,
  EXPR_BETWEEN = 26,
  EXPR_ANY = 27,
  EXPR_ALL = 28,
  EXPR_POW = 30,
  EXPR_WITHIN = 31,
  EXPR_CONTAINS = 32,
  EXPR_INTERSECTS = 33,
  EXPR_CONTAINS_ENTIRE = 34,
  EXPR_ENTIRELY_WITHIN = 35,
  EXPR_LIKE = 36,
  EXPR_CONCAT = 37,
  EXPR_REF_225 = 225,
  EXPR_FUNC_229 = 229,
  EXPR_FUNC_232 = 232,
  EXPR_VARIABLE = 240,
  EXPR_CONST = 241,
  EXPR_REF_242 = 242,
  EXPR_REF_243 = 243,
  EXPR_245 = 245,
};

// Instruction sizes: references carry a type byte, two pointers and a
// 16-bit index.
constexpr int kExprRefSize = 1 + 1 + 8 + 8 + 2;
constexpr int kExprPtrRefSize = 8 + 1;  // constant of a column reference
constexpr int kExprNameRoom = 9;        // a type-24 name can become one

// Set by the name readers around expr_bind: the top level reads an additive
// expression only.
extern int16_t expr_name_mode;

// Compiles the expression at the current token into a new block (freed with
// mem_free). Answers the success flag; in check mode answers 1 at once.
int16_t expr_compile(CompiledExpr** out, uint8_t* result_class);
// Compiles and evaluates the expression at the current token into out
// (zeroed first). The second argument is not used.
int16_t expr_bind(Value* out, void* unused);
// The negation of the evaluator: Decimal and Float give Float, Integer,
// SmallInt and LargeInt give LargeInt; any other type pushes 306 and
// becomes LargeInt 0.
void expr_value_negate(Value* value);

// Emitters into the compile buffer in use; 965 when an area is full.
int16_t expr_emit_byte(uint8_t op);
int16_t expr_emit_constant(uint8_t type, const void* data, int32_t size);
int16_t expr_emit_variable(const void* settings, const Value* variables, int16_t index);
int16_t expr_emit_bytes(const void* bytes, int32_t count);

// ---- evaluation --------------------------------------------------------
// Evaluates a compiled block (a kernel block: its size bounds the reads).
int16_t expr_eval(const CompiledExpr* code, Value* out);
// The same over a code of a given size.
int16_t expr_eval_n(const CompiledExpr* code, int32_t size, Value* out);
int16_t expr_stack_enter();
int16_t expr_stack_leave();
int32_t expr_stack_depth();
int16_t char_is_blank_or_control(uint8_t byte);
