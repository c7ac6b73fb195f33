// The index search of an open table and its cache of temporary indexes.
#include "kernel/tables/indexsearch.h"

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/mem.h"
#include "kernel/tables/index/fieldbuild.h"
#include "kernel/tables/lang/walker.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/viewcursor.h"

namespace {

int32_t g_builds = 0;

bool over_linked(const OpenTable* v) {
  return v->kind != 3 && !v->bases.empty() && v->bases[0]->storage.type == TABTYPE_ODBC;
}

void node_free(TempIndexNode* node) {
  if (node == nullptr) return;
  field_index_free(&node->field);
  mem_free(&node->code);
  delete node;
}

}  // namespace

int32_t tempindex_builds() { return g_builds; }

int16_t expr_eval_columns(const CompiledExpr* code, Value* out) {
  void* table = nullptr;
  uint8_t index = 0;
  if (expr_is_column_ref(code, &table, &index)) {
    auto* t = static_cast<TableDef*>(table);
    return index < t->field_count ? value_copy(out, &t->fields[index].value) : 0;
  }
  return expr_eval(code, out);
}

int16_t query_search_kind(const OpenTable* v, int32_t b, int32_t field, int16_t unique, int16_t no_field_index,
                          int16_t require_index) {
  if (v == nullptr || b < 0 || b >= static_cast<int32_t>(v->bases.size())) return 1;
  const TableDef* t = v->bases[static_cast<size_t>(b)];
  if (unique || no_field_index || field < 0 || field >= t->field_count || over_linked(v)) return 1;
  int16_t kind = 1;
  switch (v->kind) {
    case 1:
    case 4: kind = 2; break;
    case 2: kind = b + 1 == static_cast<int32_t>(v->bases.size()) ? 2 : 1; break;
    case 3: {
      const int32_t rows = t->storage.row_count;
      if (v->own_rows == 0) kind = rows < 10 ? 3 : 1;
      else kind = rows / v->own_rows <= 9 ? 3 : 1;
      break;
    }
    default: break;
  }
  if (require_index && kind != 1 && t->fields[field].index == nullptr) return 0;
  return kind;
}

int16_t query_condition_column(const OpenTable* v, const SearchCondition* cond, int32_t* base, int32_t* field) {
  void* table = nullptr;
  uint8_t index = 0;
  if (v == nullptr || cond == nullptr || !expr_is_column_ref(cond->code, &table, &index)) return 0;
  for (size_t i = 0; i < v->bases.size(); ++i) {
    if (v->bases[i] == table && index < v->bases[i]->field_count) {
      *base = static_cast<int32_t>(i);
      *field = index;
      return 1;
    }
  }
  return 0;
}

int16_t query_search_init(OpenTable* v, const SearchCondition* cond, int16_t unique, int16_t no_field_index,
                          IndexSearch* s, int32_t* key_count) {
  if (key_count != nullptr) *key_count = 0;
  if (s == nullptr) return 0;
  query_search_clear(s);
  s->table = v;
  if (v == nullptr || cond == nullptr) return 0;
  int32_t b = 0;
  int32_t field = 0;
  if (query_condition_column(v, cond, &b, &field)) {
    const int16_t kind = query_search_kind(v, b, field, unique, no_field_index);
    if (kind != 1) {
      if (index_get_for_field(v->bases[static_cast<size_t>(b)], field, 0, &s->source_file, &s->source_field)) {
        s->kind = kind;
        s->base = b;
        if (key_count != nullptr) *key_count = query_search_count(s);
        return 1;
      }
      err_clear();
    }
  }
  int32_t keys = 0;
  if (!tempindex_get(v, cond, unique, &s->source_file, &s->source_field, &keys)) return 0;
  s->kind = 1;
  if (key_count != nullptr) *key_count = keys;
  return 1;
}

int16_t query_search_open(IndexSearch* s) {
  if (s == nullptr || s->source_file == nullptr || s->source_field == nullptr) return 0;
  if (s->uses == 0) {
    if (!index_file_begin(s->source_file, 1)) return 0;
    s->file = s->source_file;
    s->field = s->source_field;
  }
  ++s->uses;
  return 1;
}

void query_search_close(IndexSearch* s) {
  if (s == nullptr || s->uses == 0) return;
  if (--s->uses == 0) {
    index_file_end(s->file);
    s->file = nullptr;
    s->field = nullptr;
  }
}

int16_t query_search_seek(IndexSearch* s, int16_t op, KeyBuf* value, KeyBuf* out) {
  if (s == nullptr || s->file == nullptr) return 0;
  int16_t ok = 0;
  switch (s->kind) {
    case 1:
    case 2: ok = index_seek_op(s->file, s->field, op, value, out); break;
    case 3: ok = index_seek_op_filtered(s->table, s->base, s->file, s->field, op, value, out); break;
    default: return 0;
  }
  if (ok && out != nullptr && s->kind != 1 && s->table != nullptr)
    out->row = view_row_of_base_row(s->table, out->row, s->table->bases[static_cast<size_t>(s->base)]);
  return ok;
}

int16_t query_search_key_init(const IndexSearch* s, KeyBuf* key) {
  if (s == nullptr || key == nullptr || s->source_field == nullptr) return 0;
  return keybuf_init(key, s->source_field->key.value.type, s->source_field->key.width);
}

void query_search_key_free(KeyBuf* key) { keybuf_free(key); }

int32_t query_search_count(IndexSearch* s) {
  if (!query_search_open(s)) return 0;
  int32_t n = 0;
  if (query_search_seek(s, 8, nullptr, nullptr)) {
    n = 1;
    while (query_search_seek(s, 2, nullptr, nullptr)) ++n;
  }
  query_search_close(s);
  return n;
}

void query_search_clear(IndexSearch* s) {
  if (s == nullptr) return;
  while (s->uses > 0) query_search_close(s);
  *s = IndexSearch{};
}

// ---- temporary indexes ------------------------------------------------------------

TempIndexNode* tempindex_find(OpenTable* v, const SearchCondition* cond, int16_t unique) {
  if (v == nullptr || cond == nullptr) return nullptr;
  for (TempIndexNode* n = v->temp_nodes; n != nullptr; n = n->next) {
    if (n->key_type == cond->key_type && n->key_width == cond->key_width && (n->unique != 0) == (unique != 0) &&
        expr_code_equal(n->code, cond->code))
      return n;
  }
  return nullptr;
}

int16_t tempindex_node_init(TempIndexNode* node, const SearchCondition* cond, int16_t unique) {
  if (node == nullptr || cond == nullptr || cond->code == nullptr) return 0;
  node->code = static_cast<CompiledExpr*>(mem_dup(cond->code));
  if (node->code == nullptr) return 0;
  node->key_type = cond->key_type;
  node->key_width = cond->key_width;
  node->unique = unique;
  return 1;
}

int16_t tempindex_is_stale(const OpenTable* v, const TempIndexNode* node) {
  for (TableDef* t : v->bases) {
    if (!expr_refers_to(node->code, t)) continue;
    if (v->refresh_mode == kRefreshAlways || t->storage.type == TABTYPE_ODBC) return 1;
    if (t->storage.data_file > 0 && file_get_mtime(t->storage.data_file) >= node->index_mtime) return 1;
    if (t->storage.edit_stamp > node->edit_stamp) return 1;
  }
  return 0;
}

int16_t tempindex_build(OpenTable* v, const SearchCondition* cond, TempIndexNode* node) {
  kernel_hook_long_operation();
  if (!open_table_lock(v, 0)) return 0;
  KeyBuf key;
  bool ok = keybuf_init(&key, cond->key_type, cond->key_width) != 0;
  node->keys = 0;
  cursor_move(v, 3, 0, nullptr, nullptr, nullptr);
  while (ok && cursor_move(v, 1, 0, nullptr, nullptr, nullptr)) {
    Value value{};
    if (!expr_eval_columns(cond->code, &value)) value_clear(&value);
    if (!key_set_value(&value, &key, cond->decimals, 0)) {
      err_push(4, kErrIndexGet, nullptr, nullptr);
      ok = false;
    } else {
      key.row = v->current_row;
      if (field_index_insert(v->temp_index, &node->field, &key)) ++node->keys;
    }
    value_free(&value);
  }
  keybuf_free(&key);
  open_table_unlock(v);
  return ok ? 1 : 0;
}

int16_t tempindex_get(OpenTable* v, const SearchCondition* cond, int16_t unique, IndexFile** file,
                      FieldIndex** field, int32_t* keys) {
  if (file != nullptr) *file = nullptr;
  if (field != nullptr) *field = nullptr;
  if (keys != nullptr) *keys = 0;
  if (v == nullptr || cond == nullptr || cond->code == nullptr) return 0;
  bool made_file = false;
  TempIndexNode* node = nullptr;
  if (v->temp_index == nullptr) {
    tempindex_cache_free(v);
    if (!index_file_create(0, nullptr, -1, 1, &v->temp_index)) {
      v->temp_index = nullptr;
      return 0;
    }
    made_file = true;
  } else {
    node = tempindex_find(v, cond, unique);
  }
  if (node == nullptr || tempindex_is_stale(v, node)) {
    const bool fresh = node == nullptr;
    if (fresh) {
      node = new TempIndexNode{};
      if (!tempindex_node_init(node, cond, unique)) {
        node_free(node);
        node = nullptr;
      }
    }
    bool ok = node != nullptr && index_file_begin(v->temp_index, 2);
    if (ok) {
      if (!fresh) field_index_drop(v->temp_index, &node->field);
      ok = field_index_create(v->temp_index, &node->field, cond->key_type, cond->key_width, unique) != 0;
      if (ok) {
        ++g_builds;
        ok = tempindex_build(v, cond, node) != 0;
        if (!ok) field_index_drop(v->temp_index, &node->field);
      }
      index_file_end(v->temp_index);
    }
    if (ok) {
      node->index_mtime = file_get_mtime(v->temp_index->file);
      node->edit_stamp = tabtype_edit_stamp();
      if (fresh) {
        TempIndexNode** tail = &v->temp_nodes;
        while (*tail != nullptr) tail = &(*tail)->next;
        *tail = node;
      }
    } else {
      if (!fresh) {
        // A stale node that could not be rebuilt leaves the list.
        for (TempIndexNode** p = &v->temp_nodes; *p != nullptr; p = &(*p)->next) {
          if (*p == node) {
            *p = node->next;
            break;
          }
        }
      }
      node_free(node);
      if (made_file) {
        index_close(v->temp_index);
        v->temp_index = nullptr;
      }
      return 0;
    }
  }
  if (file != nullptr) *file = v->temp_index;
  if (field != nullptr) *field = &node->field;
  if (keys != nullptr) *keys = node->keys;
  return 1;
}

void tempindex_cache_free(OpenTable* v) {
  if (v == nullptr) return;
  while (v->temp_nodes != nullptr) {
    TempIndexNode* n = v->temp_nodes;
    v->temp_nodes = n->next;
    node_free(n);
  }
  if (v->temp_index != nullptr) {
    while (v->temp_index->uses > 0) index_file_end(v->temp_index);
    index_close(v->temp_index);
    v->temp_index = nullptr;
  }
}
