// The index of a field, built on demand over the rows of its table in time
// slices of two seconds under a progress record.
#include <cstring>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/progress.h"
#include "kernel/runtime/util.h"
#include "kernel/tables/index/fieldbuild.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabwrite.h"

namespace {

constexpr uint32_t kSliceTicks = 200;

struct BuildState {
  TableDef* table;
  int32_t field;
  IndexFile* index;
  FieldIndex* desc;
  KeyBuf key;
  int32_t next_row;
  int32_t rows;
  bool failed;
  int32_t slices;
};

int16_t build_step(ProgressRecord* record) {
  auto* st = static_cast<BuildState*>(progress_context(record));
  ++st->slices;
  const uint32_t start = util_ticks();
  FieldDef* f = &st->table->fields[st->field];
  for (;;) {
    if (st->next_row > st->rows) return 0;
    const int32_t row = st->next_row;
    if (tabtype_read_row(&st->table->storage, st->table->fields, row)) {
      if (!key_set_value(&f->value, &st->key, f->decimals, index_language_key(st->index))) {
        st->failed = true;
        progress_set_aborted(record, 1);
        return 0;
      }
      st->key.row = row;
      if (!field_index_insert(st->index, st->desc, &st->key)) {
        st->failed = true;
        progress_set_aborted(record, 1);
        return 0;
      }
    }
    ++st->next_row;
    record->done = row * 100;
    if (util_ticks() - start >= kSliceTicks) return st->next_row <= st->rows ? 1 : 0;
  }
}

int32_t g_last_slices = 0;

}  // namespace

int32_t field_index_last_build_slices() { return g_last_slices; }

int16_t field_index_build(TableDef* t, int32_t field, int16_t unique, IndexFile* ix, FieldIndex* desc) {
  g_last_slices = 0;
  const int16_t saved_switch = g_file_open_switch;
  g_file_open_switch = 0;
  const int16_t opened = index_file_begin(ix, 2);
  g_file_open_switch = saved_switch;
  if (!opened) {
    err_push(4, kErrIndexFileOpen, nullptr, nullptr);
    return 0;
  }
  FieldDef* f = &t->fields[field];
  if (!field_index_create(ix, desc, f->value.type, f->width, unique)) {
    index_file_end(ix);
    err_push(4, kErrIndexAdd, nullptr, nullptr);
    return 0;
  }
  if (!tabtype_begin_access(t, &t->storage, 1)) {
    field_index_drop(ix, desc);
    index_file_end(ix);
    if (err_count() == 0) err_push(4, kErrIndexTableAccess, nullptr, nullptr);
    return 0;
  }
  bool ok = true;
  if (t->storage.row_count > 0) {
    BuildState st{t, field, ix, desc, {}, 1, t->storage.row_count, false, 0};
    ok = keybuf_init(&st.key, f->value.type, f->width) != 0;
    if (ok) {
      char message[256];
      if (t->entry != nullptr)
        fmt_format(message, sizeof message, kernel_string(3046), f->name, t->name);
      else
        fmt_format(message, sizeof message, kernel_string(3047), f->name);
      ProgressRecord rec;
      progress_init(&rec, &st, message, 1, st.rows);
      ok = progress_start(&rec, build_step) != 0 && !st.failed;
      g_last_slices = st.slices;
    }
    keybuf_free(&st.key);
  }
  tabtype_end_access(&t->storage);
  if (!ok) {
    const int32_t n = desc->number;
    index_drop(ix, n);
  }
  index_file_end(ix);
  return ok ? 1 : 0;
}

int16_t field_index_make(TableDef* t, int32_t field, int16_t unique) {
  int32_t held = 0;
  if (t->index != nullptr) {
    // Access of a table holding its files open is released for the build.
    while (t->index->uses > 0) {
      index_file_end(t->index);
      ++held;
    }
  } else {
    IndexFile* ix = nullptr;
    if (!index_file_create(t->def_file, nullptr, 7, 0, &ix)) return 0;
    t->index = ix;
  }
  FieldIndex* desc = field_index_new();
  if (desc == nullptr) {
    err_push(4, kErrIndexMemory, nullptr, nullptr);
    return 0;
  }
  FieldDef* f = &t->fields[field];
  f->index = desc;
  const int16_t ok = field_index_build(t, field, unique, t->index, desc);
  if (!ok) {
    f->index = nullptr;
    field_index_release(desc);
  }
  for (int32_t i = 0; i < held; ++i) {
    if (!index_file_begin(t->index, 1)) {
      index_close(t->index);
      t->index = nullptr;
      break;
    }
  }
  if (ok && t->def_file > 0) {
    tabfile_write_plain(t);
    kernel_hook_refresh();
  }
  return ok;
}

int16_t index_get_for_field(TableDef* t, int32_t field, int16_t unique, IndexFile** out_file, FieldIndex** out_index) {
  if (out_file != nullptr) *out_file = nullptr;
  if (out_index != nullptr) *out_index = nullptr;
  if (t == nullptr || field < 0 || field >= t->field_count) {
    err_push(4, kErrIndexGet, nullptr, nullptr);
    return 0;
  }
  FieldDef* f = &t->fields[field];
  if (f->index != nullptr) {
    if ((f->index->unique != 0) != (unique != 0)) {
      err_push(4, kErrIndexUniqueFlag, f->name, nullptr);
      err_push(4, kErrIndexGet, nullptr, nullptr);
      return 0;
    }
  } else if (t->linked) {
    err_push(4, kErrIndexLinked, nullptr, nullptr);
    err_push(4, kErrIndexGet, nullptr, nullptr);
    return 0;
  } else if (!field_index_make(t, field, unique)) {
    err_push(4, kErrIndexGet, nullptr, nullptr);
    return 0;
  }
  if (out_file != nullptr) *out_file = t->index;
  if (out_index != nullptr) *out_index = f->index;
  return 1;
}
