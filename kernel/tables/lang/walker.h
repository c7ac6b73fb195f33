// Walking compiled expressions instruction by instruction, and the
// reference constants through which an expression names a column of an open
// table.
#pragma once
#include <cstdint>

#include "kernel/tables/lang/expr.h"

// Moves past one instruction (skipping 0xFF fill bytes first) and answers
// its opcode, 0 at the end. For 241: the constant's type and offset; for 27
// and 28: the item count and the comparison operator; for 229, 232 and 245:
// the 16-bit value and the byte after it; for references: the type byte of
// the referenced value. Operators have no outputs.
uint8_t expr_step_over(const uint8_t** position, uint8_t* type, int32_t* offset);

// 1 when the code is exactly one push of a type-24 or type-26 constant and
// the end; gives the constant's pointer and the byte after it.
int16_t expr_is_column_ref(const CompiledExpr* code, void** pointer, uint8_t* index);
// A new compiled column reference: 241, 25, offset 5, end, pointer, index.
int16_t expr_make_column_ref(CompiledExpr** out, const void* table, uint8_t index);
// A reference of type 25 or 36: with exact set, 1 when the code is exactly
// one push of it and the end; otherwise the last such push in the code.
int16_t expr_single_ref(const CompiledExpr* code, uint8_t type, int16_t exact, void** pointer, uint8_t* index);
// The twin of expr_make_column_ref for type 36.
int16_t expr_make_ref36(CompiledExpr** out, const void* table, uint8_t index);
// Whether any type-26 push names the table and column index.
int16_t expr_refers_to_column(const CompiledExpr* code, const void* table, uint8_t index);
// Whether any type-26 push refers to the object.
int16_t expr_refers_to(const CompiledExpr* code, const void* object);
// Byte-wise equality over the shorter of the two block sizes.
int16_t expr_code_equal(const CompiledExpr* a, const CompiledExpr* b);
// Whether the first instruction is the end.
int16_t expr_is_empty(const CompiledExpr* code);
