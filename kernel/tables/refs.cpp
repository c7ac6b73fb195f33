// References of compiled expressions to open tables: binding names to
// columns, marking base-table references, the reasons a table name cannot
// be used, type tests over fields and columns, and shown widths of values.
#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/tables/lang/walker.h"
#include "kernel/tables/tabdef.h"

namespace {

// Calls fn(instruction, type, offset) for each constant push of the code
// until fn answers false; answers whether the walk reached the end.
template <class Fn>
bool each_constant(CompiledExpr* code, Fn fn) {
  const uint8_t* p = code;
  uint8_t type = 0;
  int32_t offset = 0;
  for (;;) {
    uint8_t* at = code + (p - code);
    const uint8_t op = expr_step_over(&p, &type, &offset);
    if (op == EXPR_END) return true;
    if (op == EXPR_CONST && !fn(at, type, offset)) return false;
  }
}

}  // namespace

int16_t expr_bind_columns(CompiledExpr* code) {
  if (code == nullptr) return 1;
  return each_constant(code, [&](uint8_t* at, uint8_t type, int32_t offset) {
    if (type != 24) return true;
    uint8_t* name_at = code + offset;
    const char* name = reinterpret_cast<const char*>(name_at);
    OpenTable* found = nullptr;
    int32_t index = 0;
    uint8_t new_type = 0;
    void* pointer = nullptr;
    if ((found = open_table_find(name)) != nullptr) {
      new_type = 7;
      pointer = found;
      index = 255;
    } else if (open_table_find_column(name, nullptr, 0, &found, &index)) {
      if (index == 255) {
        new_type = 7;
        pointer = found;
      } else if (index == 254) {
        new_type = 35;
        pointer = found;
      } else {
        const ColumnDesc& c = found->columns[static_cast<size_t>(index)];
        void* ref = nullptr;
        uint8_t ref_index = 0;
        uint8_t ref_type = 0;
        for (uint8_t t : {26, 25, 36}) {
          if (expr_single_ref(c.expr, t, 1, &ref, &ref_index)) {
            ref_type = t;
            break;
          }
        }
        if (ref_type == 0) {
          // Only columns that are single references can stand in for a name.
          err_push(4, kErrViewColumn, name, nullptr);
          return false;
        }
        new_type = ref_type;
        pointer = ref;
        index = ref_index;
      }
    } else {
      err_push(4, kErrViewColumn, name, nullptr);
      return false;
    }
    const size_t room = std::strlen(name) + 1;
    std::memset(name_at, 0, room > kExprPtrRefSize ? room : kExprPtrRefSize);
    std::memcpy(name_at, &pointer, sizeof pointer);
    name_at[sizeof pointer] = static_cast<uint8_t>(index);
    at[1] = new_type;
    return true;
  }) ? 1 : 0;
}

int32_t expr_mark_base_tables(CompiledExpr* code, const OpenTable* view) {
  if (code == nullptr || view == nullptr) return 0;
  int32_t marked = 0;
  each_constant(code, [&](uint8_t* at, uint8_t type, int32_t offset) {
    if (type != 7 && type != 25 && type != 26) return true;
    void* ptr = nullptr;
    std::memcpy(&ptr, code + offset, sizeof ptr);
    for (const TableDef* t : view->bases) {
      if (ptr == t) {
        at[1] = static_cast<uint8_t>(type | 0x80);
        ++marked;
        break;
      }
    }
    return true;
  });
  return marked;
}

int16_t table_name_reason(const char* name) {
  OpenTable* e = open_table_find(name);
  if (e == nullptr) {
    err_push(4, kErrNoSuchTable, name, nullptr);
  } else if (e->flag_a & 2) {
    err_push(4, kErrTableFlag, e->name, nullptr);
  } else if (e->kind == 5) {
    err_push(4, kErrTableKind5, nullptr, nullptr);
  }
  return 0;
}

int16_t fieldlist_has_type(const FieldDef* fields, int32_t count, int32_t type) {
  for (int32_t i = 0; fields != nullptr && i < count; ++i) {
    if (fields[i].value.type == type) return 1;
  }
  return 0;
}

int16_t tabdef_has_field_type(const TableDef* t, int32_t type) {
  return t != nullptr ? fieldlist_has_type(t->fields, t->field_count, type) : 0;
}

int16_t open_table_has_column_type(const OpenTable* e, int32_t type) {
  if (e == nullptr) return 0;
  for (const ColumnDesc& c : e->columns) {
    if (c.type == type) return 1;
  }
  return 0;
}

int32_t value_shown_width(const Value* v, int32_t stored_width) {
  switch (v->type) {
    case 1: case 10: case 16: case 21: case 24: return stored_width;
    default: return value_display_width(v);
  }
}
