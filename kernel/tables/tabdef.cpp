// Table records, type options, open-table entries, their columns, lookups
// and access brackets.
#include "kernel/tables/tabdef.h"

#include <cstring>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/lang/walker.h"
#include "kernel/tables/index/indexfile.h"
#include "kernel/tables/viewcursor.h"
#include "kernel/tables/tabtype.h"

namespace {

struct OpenTableState {
  OpenTable* lists[2] = {nullptr, nullptr};
  bool in_access = false;
};
OpenTableState g_ot;

constexpr const char* kAggregates[] = {"sum", "min", "max", "avg", "count", "wtavg", "driveunit", "drivevalue"};

void end_base_access(TableDef* t) {
  if (--t->access_uses == 0) {
    tabtype_end_access(&t->storage);
    if (t->index != nullptr) index_file_end(t->index);
  }
}

// The first bracket on a base table: its data storage, then its index file;
// a failing index ends the storage's bracket again.
bool begin_base_access(TableDef* t, int16_t write) {
  if (t->access_uses > 0) return true;
  if (!tabtype_begin_access(t, &t->storage, write ? 2 : 1)) return false;
  if (t->index != nullptr && !index_file_begin(t->index, 1)) {
    tabtype_end_access(&t->storage);
    return false;
  }
  return true;
}

}  // namespace

// ---- type options ----------------------------------------------------------------

void typeopts_init(TypeOptions* o, int type) {
  const int32_t cs = charset_current();
  switch (type) {
    case TABTYPE_DBF:
    case TABTYPE_NATIVE:
    case TABTYPE_FME: {
      NativeOptions n;
      n.charset = cs;
      *o = n;
      return;
    }
    case TABTYPE_MEMORY: *o = MemoryOptions{}; return;
    case TABTYPE_ASCII:
    case TABTYPE_CSV: {
      AsciiOptions a;
      a.delimiter = type == TABTYPE_CSV ? 44 : 9;
      a.charset = cs;
      *o = a;
      return;
    }
    case TABTYPE_WKS:
    case TABTYPE_XLS: *o = SheetOptions{}; return;
    case TABTYPE_ACCESS: {
      AccessOptions a;
      a.charset = cs;
      *o = a;
      return;
    }
    case TABTYPE_ODBC: *o = OdbcOptions{}; return;
    case TABTYPE_QUERY: *o = QueryOptions{}; return;
    default: *o = std::monostate{}; return;
  }
}

void typeopts_copy_settings(TypeOptions* dst, const TypeOptions& src) {
  *dst = src;
  std::visit(
      [](auto& o) {
        using T = std::decay_t<decltype(o)>;
        if constexpr (std::is_same_v<T, NativeOptions>) o.state = nullptr;
        if constexpr (std::is_same_v<T, AsciiOptions>) o.line = o.saved = nullptr, o.mode = 0, o.reader = nullptr;
        if constexpr (std::is_same_v<T, SheetOptions>) o.reader = nullptr;
        if constexpr (std::is_same_v<T, AccessOptions>) o.state = nullptr, o.row_map = 0, o.lock_state = 0;
        if constexpr (std::is_same_v<T, MemoryOptions>) o.rows = nullptr;
        if constexpr (std::is_same_v<T, OdbcOptions>) o.link = nullptr;
      },
      *dst);
}

int32_t typeopts_charset(const TypeOptions& o) {
  if (const auto* n = std::get_if<NativeOptions>(&o)) return n->charset;
  if (const auto* a = std::get_if<AsciiOptions>(&o)) return a->charset;
  if (const auto* a = std::get_if<AccessOptions>(&o)) return a->charset;
  return -1;
}

void typeopts_set_charset(TypeOptions* o, int32_t cs) {
  if (auto* n = std::get_if<NativeOptions>(o)) n->charset = cs;
  if (auto* a = std::get_if<AsciiOptions>(o)) a->charset = cs;
  if (auto* a = std::get_if<AccessOptions>(o)) a->charset = cs;
  if (std::holds_alternative<std::monostate>(*o)) {
    NativeOptions n;
    n.charset = cs;
    *o = n;
  }
}

// ---- field lists and definitions ------------------------------------------

FieldDef* fieldlist_new(int32_t n) {
  FieldDef* f = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(n > 0 ? n : 1) * static_cast<int64_t>(sizeof(FieldDef)), &f))
    return nullptr;
  return f;
}

void fieldlist_free(FieldDef* fields, int32_t count) {
  if (fields == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    value_free(&fields[i].value);
    if (fields[i].index != nullptr) field_index_release(fields[i].index);
    fields[i].index = nullptr;
  }
  mem_free(&fields);
}

TableDef* tabdef_new() {
  TableDef* t = new TableDef{};
  typeopts_init(&t->storage.options, TABTYPE_NATIVE);
  return t;
}

void tabdef_free(TableDef* t) {
  if (t == nullptr) return;
  metadata_free(t->metadata);
  t->metadata = nullptr;
  tabtype_close(&t->storage, nullptr);
  mapstore_close(&t->map);
  fieldlist_free(t->fields, t->field_count);
  for (void* s : t->side) kernel_hook_release_entry(s);
  t->side.clear();
  if (t->index != nullptr) {
    index_close(t->index);
  }
  if (t->entry != nullptr) open_table_free(t->entry);
  if (t->def_file > 0) file_unregister(t->def_file);
  delete t;
}

// ---- open-table entries -----------------------------------------------------------

void open_table_list_add(OpenTable* e, int which) {
  OpenTable** head = &g_ot.lists[which != 0 ? 1 : 0];
  e->next = nullptr;
  while (*head != nullptr) head = &(*head)->next;
  *head = e;
}

void open_table_list_remove(OpenTable* e) {
  for (OpenTable*& head : g_ot.lists) {
    for (OpenTable** p = &head; *p != nullptr; p = &(*p)->next) {
      if (*p == e) {
        *p = e->next;
        e->next = nullptr;
        return;
      }
    }
  }
}

void open_table_lists_reset() { g_ot = OpenTableState{}; }

int16_t table_find(const char* name, OpenTable** cursor, OpenTable** found, int16_t include_hidden) {
  OpenTable* start = cursor != nullptr ? *cursor : nullptr;
  bool passed = start == nullptr;
  for (OpenTable* head : g_ot.lists) {
    for (OpenTable* e = head; e != nullptr; e = e->next) {
      if (!passed) {
        passed = e == start;
        continue;
      }
      if ((include_hidden || !e->hidden) && mb_str_equal_nocase(e->name, name)) {
        if (found) *found = e;
        if (cursor) *cursor = e;
        return 1;
      }
    }
  }
  if (found) *found = nullptr;
  return 0;
}

OpenTable* open_table_find(const char* name) {
  OpenTable* f = nullptr;
  table_find(name, nullptr, &f, 0);
  return f;
}

int16_t table_column_find(const OpenTable* e, const char* name, int32_t* index) {
  if (e == nullptr || name == nullptr) return 0;
  for (size_t i = 0; i < e->columns.size(); ++i) {
    if (mb_str_equal_nocase(e->columns[i].name, name)) {
      if (index) *index = static_cast<int32_t>(i);
      return 1;
    }
  }
  if (mb_strn_equal_nocase(name, "COL", 3)) {
    int32_t n = 0;
    const char* end = str_to_int(name + 3, &n);
    if (end != nullptr && *end == '\0' && n >= 1 && n <= static_cast<int32_t>(e->columns.size())) {
      if (index) *index = n - 1;
      return 1;
    }
  }
  if (mb_str_equal_nocase(name, "Object") || mb_str_equal_nocase(name, "Obj")) {
    if (index) *index = 255;
    return e->object_table != 0 ? 1 : 0;
  }
  if (mb_str_equal_nocase(name, "RowID")) {
    if (index) *index = 254;
    return 1;
  }
  return 0;
}

int16_t open_table_find_column(const char* name, OpenTable* const* entries, int32_t count, OpenTable** found,
                               int32_t* index) {
  const char* dot = std::strchr(name, '.');
  std::string table = dot != nullptr ? std::string(name, static_cast<size_t>(dot - name)) : "";
  const char* column = dot != nullptr ? dot + 1 : name;
  auto try_entry = [&](OpenTable* e) {
    if (!table.empty() && !mb_str_equal_nocase(e->name, table.c_str())) return false;
    if (!table_column_find(e, column, index)) return false;
    if (found) *found = e;
    return true;
  };
  if (count > 0) {
    for (int32_t i = 0; i < count; ++i) {
      if (try_entry(entries[i])) return 1;
    }
    return 0;
  }
  for (OpenTable* head : g_ot.lists) {
    for (OpenTable* e = head; e != nullptr; e = e->next) {
      if (try_entry(e)) return 1;
    }
  }
  return 0;
}

int16_t name_is_selection(const char* name) { return mb_str_equal_nocase(name, "Selection") ? 1 : 0; }

int16_t name_is_aggregate(const char* name) {
  for (const char* a : kAggregates) {
    if (mb_str_equal_nocase(name, a)) return 1;
  }
  return 0;
}

int16_t table_name_in_use(const char* name, int16_t report) {
  if (name_is_selection(name)) {
    if (report) err_push(4, kErrNameSelection, nullptr, nullptr);
    return 1;
  }
  if (open_table_find(name) != nullptr) {
    if (report) err_push(4, kErrNameInUse, name, nullptr);
    return 1;
  }
  return 0;
}

int32_t open_table_label_column(const OpenTable* e) {
  if (e == nullptr || e->bases.empty() || e->bases[0]->metadata == nullptr) return -1;
  char name[kMetaKeySize];
  if (metadata_get(e->bases[0]->metadata, "\\ActiveLabelField", name, sizeof name) < 0) return -1;
  int32_t i = -1;
  if (!table_column_find(e, name, &i) || i >= static_cast<int32_t>(e->columns.size())) return -1;
  return e->columns[static_cast<size_t>(i)].type == VALUE_CHAR ? i : -1;
}

int32_t open_table_row_count(const OpenTable* e) {
  if (e == nullptr) return 0;
  switch (e->kind) {
    case 1:
    case 4: return e->bases.empty() ? 0 : e->bases[0]->storage.row_count;
    case 2: return e->bases.empty() ? 0 : e->bases.back()->storage.row_count;
    case 3: return e->own_rows;
    default: return 0;
  }
}

namespace {

// The entry's own brackets at its first access: a kind-3 entry's row map,
// the join searches of a kind-2 entry.
bool begin_entry_parts(OpenTable* e) {
  if (e->kind == 3 && e->row_map != nullptr) return view_rowmap_begin(e) != 0;
  if (e->kind == 2) return view_joins_open(e) != 0;
  return true;
}

void end_entry_parts(OpenTable* e) {
  if (e->kind == 3 && e->row_map != nullptr) view_rowmap_end(e);
  if (e->kind == 2) view_joins_close(e);
}

}  // namespace

int16_t open_table_begin_access(OpenTable* e, int16_t write) {
  if (g_ot.in_access) return 0;
  g_ot.in_access = true;
  bool ok = e->nesting != 0 || begin_entry_parts(e);
  if (ok) {
    const bool first = e->nesting == 0;
    ++e->nesting;
    size_t begun = 0;
    for (; begun < e->bases.size(); ++begun) {
      TableDef* t = e->bases[begun];
      if (!begin_base_access(t, write)) {
        ok = false;
        break;
      }
      ++t->access_uses;
    }
    if (!ok) {
      if (err_count() == 0) err_push(4, kErrAccessBegin, e->name[0] ? e->name : "Selection", nullptr);
      for (size_t i = 0; i < begun; ++i) end_base_access(e->bases[i]);
      --e->nesting;
      if (first) end_entry_parts(e);
    }
  }
  g_ot.in_access = false;
  return ok ? 1 : 0;
}

int16_t open_table_lock(OpenTable* e, int16_t write) { return open_table_begin_access(e, write); }

int32_t open_table_unlock(OpenTable* e) {
  for (TableDef* t : e->bases) end_base_access(t);
  if (e->nesting > 0 && --e->nesting == 0) end_entry_parts(e);
  return e->nesting;
}

void open_table_free(OpenTable* e) {
  if (e == nullptr) return;
  open_table_list_remove(e);
  for (ColumnDesc& c : e->columns) column_free(&c);
  view_rowmap_free(e);
  view_joins_free(e);
  tempindex_cache_free(e);
  for (TableDef* t : e->bases) {
    if (t->entry == e) t->entry = nullptr;
  }
  delete e;
}

// ---- columns ----------------------------------------------------------------------

int16_t column_from_field(ColumnDesc* c, const OpenTable* e, TableDef* t, const FieldDef* f, int32_t index) {
  *c = ColumnDesc{};
  str_copy_n(c->name, f->name, sizeof c->name);
  c->type = f->value.type;
  c->decimals = f->decimals;
  c->editable = (e->read_only & 1) || f->read_only ? 0 : 1;
  c->display_width = static_cast<uint8_t>(column_display_width(f->value.type, f->width, 0));
  c->shown_width =
      static_cast<uint8_t>(column_shown_width(c->display_width, static_cast<int32_t>(std::strlen(c->name))));
  uint8_t* code = nullptr;
  if (!mem_alloc_zeroed(5 + kExprPtrRefSize, &code)) return 0;
  code[0] = EXPR_CONST;
  code[1] = 26;
  code[2] = 5;
  code[3] = 0;
  code[4] = EXPR_END;
  std::memcpy(code + 5, &t, sizeof t);
  code[5 + sizeof t] = static_cast<uint8_t>(index);
  c->expr = code;
  return 1;
}

void column_free(ColumnDesc* c) {
  if (c != nullptr) mem_free(&c->expr);
}

int16_t column_copy(ColumnDesc* dst, const ColumnDesc* src) {
  *dst = *src;
  dst->expr = nullptr;
  if (src->expr == nullptr) return 1;
  dst->expr = static_cast<CompiledExpr*>(mem_dup(src->expr));
  return dst->expr != nullptr ? 1 : 0;
}

int16_t column_eval(const ColumnDesc* c, Value* out) {
  void* table = nullptr;
  uint8_t index = 0;
  if (expr_is_column_ref(c->expr, &table, &index)) {
    auto* t = static_cast<TableDef*>(table);
    if (index < t->field_count) return value_copy(out, &t->fields[index].value);
    return 0;
  }
  return expr_eval(c->expr, out);
}

namespace {

using TextForm = char* (*)(const Value*, char*, int32_t, int16_t, int16_t);

int16_t column_text(const ColumnDesc* c, char* out, int32_t size, int16_t locale, TextForm form) {
  if (out == nullptr || size <= 0) return 0;
  out[0] = '\0';
  Value v{};
  if (!column_eval(c, &v)) {
    value_free(&v);
    return 0;
  }
  form(&v, out, size, c->decimals, locale);
  value_free(&v);
  return 1;
}

}  // namespace

int16_t column_format_text(const ColumnDesc* c, char* out, int32_t size, int16_t locale) {
  return column_text(c, out, size, locale, value_to_text);
}

int16_t column_format_text_full(const ColumnDesc* c, char* out, int32_t size, int16_t locale) {
  return column_text(c, out, size, locale, value_to_text_full);
}

void column_display_name(char* out, const ColumnDesc* c, int32_t index) {
  if (ident_is_valid(c->name) && !name_is_aggregate(c->name)) {
    str_copy_n(out, c->name, kTableNameSize);
  } else {
    std::snprintf(out, kTableNameSize, "COL%d", index + 1);
  }
}

int16_t open_table_remove_column(OpenTable* e, int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(e->columns.size())) return 0;
  column_free(&e->columns[static_cast<size_t>(index)]);
  e->columns.erase(e->columns.begin() + index);
  return 1;
}

int16_t open_table_column_name_of_expr(const OpenTable* e, const CompiledExpr* code, char* out) {
  for (size_t i = 0; i < e->columns.size(); ++i) {
    if (expr_code_equal(e->columns[i].expr, code)) {
      column_display_name(out, &e->columns[i], static_cast<int32_t>(i));
      return 1;
    }
  }
  return 0;
}

int16_t open_table_base_name(const OpenTable* e, char* out) {
  if (e == nullptr || e->kind != 1 || e->temporary || e->bases.empty()) return 0;
  str_copy_n(out, e->bases[0]->name, kTableNameSize);
  return 1;
}

void open_tables_update_object_table() {
  for (OpenTable* head : g_ot.lists) {
    for (OpenTable* e = head; e != nullptr; e = e->next) {
      e->object_table = 0;
      for (size_t i = 0; i < e->bases.size(); ++i) {
        if (mapstore_get_type(&e->bases[i]->map) != 0) {
          e->object_table = static_cast<int32_t>(i) + 1;
          break;
        }
      }
    }
  }
}

int16_t tabdef_is_shapefile(const TableDef* t) {
  if (t == nullptr || t->storage.type != TABTYPE_DBF) return 0;
  const auto* o = std::get_if<NativeOptions>(&t->storage.options);
  return o != nullptr && o->shapefile ? 1 : 0;
}
