// The view cursor, row maps and the seek operations of the index search.
#include "kernel/tables/viewcursor.h"

#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/valcmp.h"
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
    auto* joins = static_cast<std::vector<std::pair<int32_t, int32_t>>*>(v->join_searches);
    for (size_t i = n - 1; ok && i-- > 0;) {
      TableDef* later = v->bases[i + 1];
      TableDef* t = v->bases[i];
      if (joins == nullptr || joins->size() < n) {
        ok = false;
        break;
      }
      const auto [from_field, to_field] = (*joins)[i];
      FieldDef* to = &t->fields[to_field];
      if (to->index == nullptr || t->index == nullptr) {
        ok = false;
        break;
      }
      KeyBuf k;
      ok = keybuf_init(&k, to->value.type, to->width) &&
           key_set_value(&later->fields[from_field].value, &k, to->decimals, index_language_key(t->index)) &&
           index_seek_op(t->index, to->index, 1, &k, nullptr) && read_base(t, to->index->key.row);
      keybuf_free(&k);
    }
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
  if (v->kind != 3 || v->row_map == nullptr) return 0;
  int32_t b = designated(v);
  if (base != nullptr) {
    b = -1;
    for (size_t i = 0; i < v->bases.size(); ++i)
      if (v->bases[i] == base) b = static_cast<int32_t>(i);
    if (b < 0) return 0;
  }
  ViewRowMap* m = v->row_map;
  FieldIndex* f = &m->fields[static_cast<size_t>(b)];
  KeyBuf k;
  if (!keybuf_init(&k, VALUE_INTEGER, 4)) return 0;
  k.value.u.i = base_row;
  int32_t answer = 0;
  if (occurrence == 0) {
    if (field_index_seek_after(m->index, f, &k)) answer = k.row;
  } else if (field_index_seek(m->index, f, &k)) {
    answer = k.row;
    for (int32_t i = 1; occurrence != kOccurrenceUnset && i < occurrence && answer != 0; ++i) {
      answer = field_index_next(m->index, f, nullptr) && f->key.value.u.i == base_row ? f->key.row : 0;
    }
  }
  keybuf_free(&k);
  return answer;
}

int16_t view_goto_base_row(OpenTable* v, int32_t base_row) {
  const int32_t r = view_row_of_base_row(v, base_row, nullptr);
  return r != 0 ? cursor_move(v, 5, r, nullptr, nullptr, nullptr) : 0;
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

int16_t query_search_kind(const OpenTable* v, int32_t b, int32_t field, int16_t unique, int16_t no_field_index) {
  if (v == nullptr || b < 0 || b >= static_cast<int32_t>(v->bases.size())) return 1;
  const TableDef* t = v->bases[static_cast<size_t>(b)];
  if (unique || no_field_index || field < 0 || field >= t->field_count) return 1;
  const bool over_linked = v->kind != 3 && !v->bases.empty() && v->bases[0]->storage.type == TABTYPE_ODBC;
  if (over_linked) return 1;
  switch (v->kind) {
    case 1:
    case 4: return 2;
    case 2: return b + 1 == static_cast<int32_t>(v->bases.size()) ? 2 : 1;
    case 3: {
      const int32_t rows = t->storage.row_count;
      if (v->own_rows == 0) return rows < 10 ? 3 : 1;
      return rows / v->own_rows <= 9 ? 3 : 1;
    }
    default: return 1;
  }
}
