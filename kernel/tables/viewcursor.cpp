// The view cursor, row maps and the seek operations of the index search.
#include "kernel/tables/viewcursor.h"

#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/valcmp.h"
#include "kernel/tables/index/fieldbuild.h"
#include "kernel/tables/storage/le_bytes.h"
#include "kernel/tables/storage/tabtype_ops.h"

namespace {

int32_t g_occurrence = kOccurrenceUnset;

bool read_base(TableDef* t, int32_t row) { return tabtype_read_row(&t->storage, t->fields, row) != 0; }

int32_t designated(const OpenTable* v) {
  const int32_t n = static_cast<int32_t>(v->bases.size());
  return v->designated_base >= 1 && v->designated_base <= n ? v->designated_base - 1 : n - 1;
}

// Whether a base row of base table b lies in the kind-3 view.
bool in_view(OpenTable* v, int32_t b, int32_t base_row) {
  ViewRowMap* m = v->row_map;
  if (m == nullptr || b < 0 || b >= static_cast<int32_t>(m->fields.size())) return false;
  KeyBuf k;
  if (!keybuf_init(&k, VALUE_INTEGER, 4)) return false;
  k.value.u.i = base_row;
  const bool found = field_index_seek(m->index, &m->fields[static_cast<size_t>(b)], &k) != 0;
  keybuf_free(&k);
  return found;
}

bool matches(const FieldIndex* f, const KeyBuf* value) {
  if (value == nullptr) return true;
  int16_t r = 1;
  return valcmp_bytes(&value->value, &f->key.value, &r, 0) && r == 0;
}

void copy_out(const FieldIndex* f, KeyBuf* out) {
  if (out != nullptr) keybuf_assign(out, &f->key, nullptr);
}

JoinStep* join_step(OpenTable* v, size_t i) {
  if (v->joins == nullptr || i >= v->joins->steps.size()) return nullptr;
  return &v->joins->steps[i];
}

// Looks the value up in the search (seek operation 1): the row found, or 0.
int32_t join_lookup(IndexSearch* s, const FieldDef* from, const FieldDef* to) {
  if (s->file == nullptr || s->field == nullptr) return 0;
  KeyBuf k;
  int32_t row = 0;
  if (keybuf_init(&k, to->value.type, to->width) &&
      key_set_value(&from->value, &k, to->decimals, index_language_key(s->file)) &&
      index_seek_op(s->file, s->field, 1, &k, nullptr))
    row = s->field->key.row;
  keybuf_free(&k);
  return row;
}

// Reads the row of base table i that joins the current row of table i + 1.
bool join_step_back(OpenTable* v, size_t i) {
  JoinStep* j = join_step(v, i);
  if (j == nullptr) return false;
  TableDef* t = v->bases[i];
  const int32_t row = join_lookup(&j->left, &v->bases[i + 1]->fields[j->right_field], &t->fields[j->left_field]);
  return row != 0 && read_base(t, row);
}

// Reads a base row inside its own bracket of access.
bool read_base_bracketed(TableDef* t, int32_t row) {
  if (!tabtype_begin_access(t, &t->storage, 1)) return false;
  const bool ok = read_base(t, row);
  tabtype_end_access(&t->storage);
  return ok;
}

// Follows the join forward from a row of base table b to the last base
// table: the row there, 0 when a step finds nothing. Every bracket it
// begins (access, searches) it ends.
int32_t join_walk_forward(OpenTable* v, size_t b, int32_t row) {
  const size_t n = v->bases.size();
  for (size_t i = b; row != 0 && i + 1 < n; ++i) {
    JoinStep* j = join_step(v, i);
    if (j == nullptr || !read_base_bracketed(v->bases[i], row) || !query_search_open(&j->right)) return 0;
    row = join_lookup(&j->right, &v->bases[i]->fields[j->left_field], &v->bases[i + 1]->fields[j->right_field]);
    query_search_close(&j->right);
  }
  return row;
}

int32_t base_position(const OpenTable* v, const TableDef* base) {
  if (base == nullptr) return designated(v);
  for (size_t i = 0; i < v->bases.size(); ++i)
    if (v->bases[i] == base) return static_cast<int32_t>(i);
  return -1;
}

}  // namespace

void view_set_occurrence(int32_t n) { g_occurrence = n; }

void view_clear_values(OpenTable* v) {
  for (TableDef* t : v->bases)
    for (int32_t i = 0; i < t->field_count; ++i) value_clear(&t->fields[i].value);
}

int16_t cursor_move(OpenTable* v, int16_t mode, int32_t row, int32_t* base_row, int16_t* flag, int16_t* end) {
  if (base_row != nullptr) *base_row = 0;
  if (flag != nullptr) *flag = 0;
  if (end != nullptr) *end = 0;
  if (v == nullptr || v->bases.empty()) return 0;
  const int32_t count = open_table_row_count(v);
  int32_t r = 0;
  switch (mode) {
    case 1: r = v->current_row + 1; break;
    case 2: r = v->current_row - 1; break;
    case 3: r = 0; break;
    case 4: r = count + 1; break;
    case 5: r = row; break;
    default: return 0;
  }
  const bool memory = v->bases[0]->storage.type == TABTYPE_MEMORY;
  if (r <= 0 || (r > count && !memory)) {
    v->current_row = r <= 0 ? 0 : count + 1;
    if (end != nullptr) *end = 1;
    if (mode != 3 && mode != 4) view_clear_values(v);
    return 0;
  }
  v->current_row = r;
  const size_t n = v->bases.size();
  bool ok = true;
  if (v->join_mode == 1 && v->kind == 2) {
    // The view row is a row of the last base table; each earlier table is
    // found by its join column's value in the table read just before.
    ok = read_base(v->bases.back(), r);
    for (size_t i = n - 1; ok && i-- > 0;) ok = join_step_back(v, i);
  } else {
    for (size_t i = 0; ok && i < n; ++i) {
      int32_t br = r;
      if (v->kind == 3) {
        br = view_rowmap_base_row(v, r, static_cast<int32_t>(i));
        if (br == 0) {
          ok = false;
          break;
        }
      } else if (i > 0) {
        break;
      }
      ok = read_base(v->bases[i], br);
    }
  }
  if (!ok) {
    view_clear_values(v);
    if (mode == 5 && end != nullptr && v->bases[0]->storage.type == TABTYPE_ODBC) *end = 1;
    return 0;
  }
  if (base_row != nullptr) {
    if (v->kind == 2) *base_row = r;
    else if (v->kind == 3) *base_row = view_rowmap_base_row(v, r, designated(v));
    else *base_row = r;
  }
  return 1;
}

// ---- row map ---------------------------------------------------------------------

int16_t view_rowmap_create(OpenTable* v, int16_t with_file) {
  if (v == nullptr) return 0;
  view_rowmap_free(v);
  auto* m = new ViewRowMap{};
  bool ok = true;
  if (with_file) {
    m->file = file_register_temp(nullptr);
    ok = m->file > 0 && file_open_binary(m->file, 3, nullptr) >= 0;
  }
  ok = ok && index_file_create(0, nullptr, -1, 1, &m->index) && index_file_begin(m->index, 2);
  m->fields.resize(v->bases.size());
  for (size_t i = 0; ok && i < m->fields.size(); ++i)
    ok = field_index_create(m->index, &m->fields[i], VALUE_INTEGER, 4, 0) != 0;
  v->row_map = m;
  v->own_rows = 0;
  if (!ok) {
    view_rowmap_free(v);
    err_push(4, kErrRowMap, nullptr, nullptr);
    return 0;
  }
  return 1;
}

int16_t view_rowmap_add_keys(OpenTable* v, const int32_t* base_rows, int16_t index) {
  ViewRowMap* m = v != nullptr ? v->row_map : nullptr;
  if (m == nullptr || m->file <= 0 || base_rows == nullptr) return 0;
  const int32_t n = static_cast<int32_t>(m->fields.size());
  std::vector<uint8_t> rec(static_cast<size_t>(n) * 4);
  for (int32_t i = 0; i < n; ++i) le_put_u32(rec.data() + 4 * i, static_cast<uint32_t>(base_rows[i]));
  const int64_t at = static_cast<int64_t>(v->own_rows) * n * 4;
  if (at > INT32_MAX - n * 4 || file_seek(m->file, static_cast<int32_t>(at), 0) != at ||
      file_write(m->file, rec.data(), n * 4) != n * 4)
    return 0;
  ++v->own_rows;
  for (int32_t i = 0; index && i < n; ++i) {
    KeyBuf k;
    if (!keybuf_init(&k, VALUE_INTEGER, 4)) return 0;
    k.value.u.i = base_rows[i];
    k.row = v->own_rows;
    const int16_t ok = field_index_insert(m->index, &m->fields[static_cast<size_t>(i)], &k);
    keybuf_free(&k);
    if (!ok) return 0;
  }
  return 1;
}

int32_t view_rowmap_base_row(OpenTable* v, int32_t view_row, int32_t base) {
  ViewRowMap* m = v != nullptr ? v->row_map : nullptr;
  if (m == nullptr || m->file <= 0 || view_row < 1 || view_row > v->own_rows) return 0;
  const int32_t n = static_cast<int32_t>(m->fields.size());
  if (base < 0 || base >= n) return 0;
  const int64_t at = (static_cast<int64_t>(view_row - 1) * n + base) * 4;
  uint8_t b[4];
  if (at > INT32_MAX - 4 || file_seek(m->file, static_cast<int32_t>(at), 0) != at || file_read(m->file, b, 4) != 4)
    return 0;
  return static_cast<int32_t>(le_get_u32(b));
}

void view_rowmap_free(OpenTable* v) {
  if (v == nullptr || v->row_map == nullptr) return;
  ViewRowMap* m = v->row_map;
  for (FieldIndex& f : m->fields) field_index_free(&f);
  if (m->index != nullptr) {
    while (m->index->uses > 0) index_file_end(m->index);
    index_close(m->index);
  }
  if (m->file > 0) {
    file_close_if_open(m->file);
    file_delete(m->file);
    file_unregister(m->file);
  }
  delete m;
  v->row_map = nullptr;
}

int32_t view_row_of_base_row(OpenTable* v, int32_t base_row, TableDef* base) {
  if (v == nullptr) return 0;
  const int32_t occurrence = g_occurrence;
  g_occurrence = kOccurrenceUnset;
  if (v->kind == 1 || v->kind == 4) return base_row;
  const int32_t b = base_position(v, base);
  if (b < 0) return 0;
  if (v->kind == 2) return join_walk_forward(v, static_cast<size_t>(b), base_row);
  if (v->kind != 3 || v->row_map == nullptr || !view_rowmap_begin(v)) return 0;
  ViewRowMap* m = v->row_map;
  FieldIndex* f = &m->fields[static_cast<size_t>(b)];
  KeyBuf k;
  int32_t answer = 0;
  if (keybuf_init(&k, VALUE_INTEGER, 4)) {
    k.value.u.i = base_row;
    if (occurrence == 0) {
      if (field_index_seek_after(m->index, f, &k)) answer = k.row;
    } else if (field_index_seek(m->index, f, &k)) {
      answer = k.row;
      for (int32_t i = 1; occurrence != kOccurrenceUnset && i < occurrence && answer != 0; ++i) {
        answer = field_index_next(m->index, f, nullptr) && f->key.value.u.i == base_row ? f->key.row : 0;
      }
    }
  }
  keybuf_free(&k);
  view_rowmap_end(v);
  return answer;
}

int16_t view_goto_base_row(OpenTable* v, int32_t base_row) {
  if (v == nullptr) return 0;
  int32_t row = base_row;
  // A kind-3 view over a single kind-3 view: the inner view first maps the
  // base row to its own row, which is a base row of the outer one.
  if (v->kind == 3 && v->bases.size() == 1) {
    OpenTable* inner = v->bases[0]->entry;
    if (inner != nullptr && inner != v && inner->kind == 3) row = view_row_of_base_row(inner, row, nullptr);
  }
  const int32_t r = row != 0 ? view_row_of_base_row(v, row, nullptr) : 0;
  return r != 0 ? cursor_move(v, 5, r, nullptr, nullptr, nullptr) : 0;
}

int16_t view_rowmap_begin(OpenTable* v) {
  ViewRowMap* m = v != nullptr ? v->row_map : nullptr;
  return m != nullptr && m->index != nullptr && index_file_begin(m->index, 2) ? 1 : 0;
}

void view_rowmap_end(OpenTable* v) {
  ViewRowMap* m = v != nullptr ? v->row_map : nullptr;
  if (m != nullptr && m->index != nullptr && m->index->uses > 0) index_file_end(m->index);
}

// ---- join steps -----------------------------------------------------------------

namespace {

// A search over the field index of a base table's column (kind 2, rows
// are base rows).
bool join_search(IndexSearch* s, TableDef* t, int32_t field) {
  query_search_clear(s);
  IndexFile* file = nullptr;
  FieldIndex* index = nullptr;
  if (!index_get_for_field(t, field, 0, &file, &index)) return false;
  s->kind = 2;
  s->source_file = file;
  s->source_field = index;
  return true;
}

}  // namespace

int16_t view_join_add(OpenTable* v, int32_t left_field, int32_t right_field) {
  if (v == nullptr) return 0;
  if (v->joins == nullptr) v->joins = new ViewJoins{};
  const size_t i = v->joins->steps.size();
  if (i + 1 >= v->bases.size()) return 0;
  TableDef* left = v->bases[i];
  TableDef* right = v->bases[i + 1];
  if (left_field < 0 || left_field >= left->field_count || right_field < 0 || right_field >= right->field_count)
    return 0;
  JoinStep j;
  j.left_field = left_field;
  j.right_field = right_field;
  if (!join_search(&j.left, left, left_field) || !join_search(&j.right, right, right_field)) return 0;
  j.left.base = static_cast<int32_t>(i);
  j.right.base = static_cast<int32_t>(i + 1);
  v->joins->steps.push_back(j);
  return 1;
}

int16_t view_joins_open(OpenTable* v) {
  if (v == nullptr || v->joins == nullptr) return 1;
  auto& steps = v->joins->steps;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (query_search_open(&steps[i].left)) {
      if (query_search_open(&steps[i].right)) continue;
      query_search_close(&steps[i].left);
    }
    while (i-- > 0) {
      query_search_close(&steps[i].right);
      query_search_close(&steps[i].left);
    }
    return 0;
  }
  return 1;
}

void view_joins_close(OpenTable* v) {
  if (v == nullptr || v->joins == nullptr) return;
  for (JoinStep& j : v->joins->steps) {
    query_search_close(&j.left);
    query_search_close(&j.right);
  }
}

void view_joins_free(OpenTable* v) {
  if (v == nullptr || v->joins == nullptr) return;
  for (JoinStep& j : v->joins->steps) {
    while (j.left.uses > 0) query_search_close(&j.left);
    while (j.right.uses > 0) query_search_close(&j.right);
  }
  delete v->joins;
  v->joins = nullptr;
}

// ---- seek operations ------------------------------------------------------------------

int16_t index_seek_op(IndexFile* ix, FieldIndex* f, int16_t op, KeyBuf* value, KeyBuf* out) {
  if (ix == nullptr || f == nullptr) return 0;
  int16_t ok = 0;
  switch (op) {
    case 1:
    case 12: {
      if (value == nullptr) return 0;
      KeyBuf probe;
      if (!keybuf_init(&probe, value->value.type, value->width)) return 0;
      keybuf_assign(&probe, value, nullptr);
      ok = op == 1 ? field_index_seek(ix, f, &probe) : field_index_seek_after(ix, f, &probe);
      keybuf_free(&probe);
      if (ok) copy_out(f, out);
      return ok;
    }
    case 2: ok = field_index_next(ix, f, nullptr); break;
    case 3: ok = field_index_next_distinct(ix, f, nullptr); break;
    case 4: ok = field_index_next(ix, f, nullptr) && matches(f, value); break;
    case 5: ok = field_index_prev(ix, f, nullptr); break;
    case 6: ok = field_index_prev_distinct(ix, f, nullptr); break;
    case 7: ok = field_index_prev(ix, f, nullptr) && matches(f, value); break;
    case 8: ok = field_index_first(ix, f, nullptr); break;
    case 9: ok = field_index_last(ix, f, nullptr); break;
    case 10: return field_index_rewind(ix, f);
    case 11: return field_index_wind_end(ix, f);
    default: return 0;
  }
  if (ok) copy_out(f, out);
  return ok;
}

int16_t index_seek_op_filtered(OpenTable* v, int32_t b, IndexFile* ix, FieldIndex* f, int16_t op, KeyBuf* value,
                               KeyBuf* out) {
  if (v == nullptr || ix == nullptr || f == nullptr) return 0;
  const int32_t guard_steps = index_file_blocks(ix) * kKeyMaxStored + 1;
  auto forward = [&]() {
    for (int32_t g = 0; g < guard_steps; ++g) {
      if (f->key.row != 0 && in_view(v, b, f->key.row)) return true;
      if (!field_index_next(ix, f, nullptr)) return false;
    }
    return false;
  };
  auto back = [&]() {
    for (int32_t g = 0; g < guard_steps; ++g) {
      if (f->key.row != 0 && in_view(v, b, f->key.row)) return true;
      if (!field_index_prev(ix, f, nullptr)) return false;
    }
    return false;
  };
  bool ok = false;
  switch (op) {
    case 1: {
      if (value == nullptr) return 0;
      KeyBuf probe;
      if (!keybuf_init(&probe, value->value.type, value->width)) return 0;
      keybuf_assign(&probe, value, nullptr);
      const bool equal = field_index_seek(ix, f, &probe) != 0;
      keybuf_free(&probe);
      ok = equal && forward() && matches(f, value);
      break;
    }
    case 12: {
      if (value == nullptr) return 0;
      KeyBuf probe;
      if (!keybuf_init(&probe, value->value.type, value->width)) return 0;
      keybuf_assign(&probe, value, nullptr);
      const bool equal = field_index_seek_after(ix, f, &probe) != 0;
      keybuf_free(&probe);
      if (equal) {
        ok = back() && matches(f, value);
        if (!ok) {
          field_index_seek_after(ix, f, value);
          forward();
        }
      } else {
        forward();
        ok = false;
      }
      break;
    }
    case 2: ok = field_index_next(ix, f, nullptr) && forward(); break;
    case 3: ok = field_index_next_distinct(ix, f, nullptr) && forward(); break;
    case 4: ok = field_index_next(ix, f, nullptr) && forward() && matches(f, value); break;
    case 5: ok = field_index_prev(ix, f, nullptr) && back(); break;
    case 6: ok = field_index_prev_distinct(ix, f, nullptr) && back(); break;
    case 7: ok = field_index_prev(ix, f, nullptr) && back() && matches(f, value); break;
    case 8: ok = field_index_first(ix, f, nullptr) && forward(); break;
    case 9: ok = field_index_last(ix, f, nullptr) && back(); break;
    case 10: return field_index_rewind(ix, f);
    case 11: return field_index_wind_end(ix, f);
    default: return 0;
  }
  if (ok) copy_out(f, out);
  return ok ? 1 : 0;
}
