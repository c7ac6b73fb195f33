// The table-type dispatch: the driver table and the type x operation
// matrix of every storage operation (see tabtype_ops.h). Codes 386, 497,
// 881 and 882 are pushed only on an empty error stack so that a driver's
// more precise error stays the one reported.
#include <cstring>

#include "kernel/drivers/access.h"
#include "kernel/drivers/ascii_text.h"
#include "kernel/drivers/memtab.h"
#include "kernel/drivers/wks.h"
#include "kernel/drivers/xls.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/lang/names.h"
#include "kernel/mapobjects/tablecache.h"
#include "kernel/tables/storage/bdbf.h"
#include "kernel/tables/storage/dbf.h"
#include "kernel/tables/odbctype.h"
#include "kernel/tables/storage/tabtype_ops.h"

namespace {

int16_t dbf_read_entry(StorageDesc* s, int32_t n, FieldDef* f, int16_t*) { return dbf_read_row(s, n, f); }
int16_t bdbf_read_entry(StorageDesc* s, int32_t n, FieldDef* f, int16_t*) { return bdbf_read_row(s, n, f); }

constexpr TabTypeDriver kDbfDriver = {dbf_create,     dbf_open,       dbf_describe,   dbf_begin_access,
                                      dbf_end_access, dbf_close,      dbf_read_entry, dbf_insert_row,
                                      dbf_update_row, dbf_delete_row, nullptr,        nullptr};
constexpr TabTypeDriver kNativeDriver = {bdbf_create,     bdbf_open,       nullptr,         bdbf_begin_access,
                                         bdbf_end_access, bdbf_close,      bdbf_read_entry, bdbf_insert_row,
                                         bdbf_update_row, bdbf_delete_row, nullptr,         nullptr};
constexpr TabTypeDriver kEmptyDriver = {};

struct DispatchState {
  const TabTypeDriver* slots[kTabTypeCount] = {};
  DispatchState() {
    slots[TABTYPE_DBF] = &kDbfDriver;
    slots[TABTYPE_NATIVE] = &kNativeDriver;
    slots[TABTYPE_ODBC] = &kOdbcDriver;
    slots[TABTYPE_FME] = &kNativeDriver;  // the scratch type forwards to the native driver
    slots[TABTYPE_ASCII] = ascii_driver();
    slots[TABTYPE_MEMORY] = memtab_driver();
    slots[TABTYPE_XLS] = xls_driver();
    slots[TABTYPE_WKS] = wks_driver();
    slots[TABTYPE_ACCESS] = access_driver();
  }
};
DispatchState g_dispatch;

void push_once(int16_t code) {
  if (err_count() == 0) err_push(4, code, nullptr, nullptr);
}

bool no_data_file(int32_t type) {
  return type == TABTYPE_NONE || type == TABTYPE_ACCESS || type == TABTYPE_ODBC || type == TABTYPE_MEMORY;
}

void free_values(FieldDef* fields, int32_t count) {
  for (int32_t i = 0; fields != nullptr && i < count; ++i) value_free(&fields[i].value);
}

bool give_text_buffers(FieldDef* fields, int32_t count) {
  for (int32_t i = 0; fields != nullptr && i < count; ++i) {
    Value& v = fields[i].value;
    if (v.type != VALUE_CHAR && v.type != VALUE_MEMO) continue;
    value_free(&v);
    if (!value_alloc_text(fields[i].width, &v, nullptr)) return false;
  }
  return true;
}

// The storage's options, set to the type's defaults when they hold the
// settings of another kind.
void ensure_options(StorageDesc* s, int32_t type) {
  TypeOptions fresh;
  typeopts_init(&fresh, type);
  if (fresh.index() != s->options.index()) s->options = fresh;
}


}  // namespace

const TabTypeDriver* tabtype_driver(int32_t type) {
  if (type < 0 || type >= kTabTypeCount || g_dispatch.slots[type] == nullptr) return &kEmptyDriver;
  return g_dispatch.slots[type];
}

const TabTypeDriver* tabtype_set_driver(int32_t type, const TabTypeDriver* driver) {
  if (type < 0 || type >= kTabTypeCount) return nullptr;
  const TabTypeDriver* old = g_dispatch.slots[type];
  g_dispatch.slots[type] = driver;
  return old;
}

void tabtype_reset_drivers() { g_dispatch = DispatchState{}; }

int16_t tabtype_create(const char* dir_or_path, const char* name, int32_t ext_id, int16_t temporary,
                       StorageDesc* s, int32_t type, int32_t field_count, FieldDef* fields,
                       const TypeOptions* options, int32_t data_file) {
  s->type = static_cast<uint8_t>(type);
  s->nesting = 0;
  s->held_open = 0;
  s->delete_at_close = temporary;
  s->field_count = field_count;
  s->row_count = 0;
  s->current_row = 0;
  if (options != nullptr) typeopts_copy_settings(&s->options, *options);
  ensure_options(s, type);
  if (ext_id == -1) ext_id = temporary ? 0 : tabtype_extension(type);
  bool made = false;
  s->data_file = 0;
  bool ok = true;
  if (!no_data_file(type)) {
    if (data_file > 0) {
      s->data_file = data_file;
    } else if (ext_id == 0 && temporary) {
      s->data_file = file_register_temp(dir_or_path);
      made = true;
    } else {
      char p[kPathSize];
      if (name != nullptr && name[0] != '\0') {
        std::snprintf(p, sizeof p, "%s/%s", dir_or_path, name);
      } else {
        str_copy_n(p, dir_or_path, sizeof p);
      }
      char with_ext[kPathSize];
      path_with_extension(with_ext, p, ext_id);
      s->data_file = file_register_nocheck(with_ext, ext_id);
      made = true;
    }
    if (s->data_file <= 0) s->data_file = 0, ok = false;
  }
  char* names = nullptr;
  for (int32_t i = 0; ok && i < field_count; ++i) {
    column_name_make_unique(fields[i].name, &names);
    Value& v = fields[i].value;
    if (v.type == VALUE_CHAR || v.type == VALUE_MEMO) {
      value_free(&v);
      ok = value_alloc_text(fields[i].width, &v, nullptr) != 0;
    }
  }
  mem_free(&names);
  if (ok) {
    const TabTypeDriver* d = tabtype_driver(type == TABTYPE_CSV ? TABTYPE_ASCII : type);
    switch (type) {
      case TABTYPE_NONE: case TABTYPE_ODBC: case TABTYPE_RASTER: case 7: case TABTYPE_QUERY: break;
      case TABTYPE_MEMORY: ok = d->create != nullptr && d->create(s, fields); break;
      default:
        if (type == TABTYPE_ACCESS) {
          // The database path; a handle given is the row-map base (the
          // table's definition file).
          if (auto* a = std::get_if<AccessOptions>(&s->options)) {
            a->database = dir_or_path != nullptr ? dir_or_path : "";
            if (data_file > 0) a->row_map = data_file;
          }
        }
        ok = d->create != nullptr && d->open != nullptr && d->create(s, fields) && d->open(s, fields);
        break;
    }
  }
  if (ok) {
    if (type == TABTYPE_ACCESS && s->data_file > 0) {
      file_unregister(s->data_file);
      s->data_file = 0;
    }
    return 1;
  }
  free_values(fields, field_count);
  if (tabtype_driver(type)->close != nullptr) tabtype_driver(type)->close(s);
  if (s->data_file > 0) {
    // Only a file this create made is removed; a handed-in one stays.
    if (made && type != TABTYPE_ACCESS && type != TABTYPE_ODBC) file_delete(s->data_file);
    if (made) file_unregister(s->data_file);
  }
  s->data_file = 0;
  push_once(kErrStorageCreate);
  return 0;
}

int16_t tabtype_open(const char* data_path, int32_t ext_id, StorageDesc* s, int32_t type, int32_t* field_count,
                     FieldDef** fields) {
  s->type = static_cast<uint8_t>(type);
  s->field_count = field_count != nullptr ? *field_count : 0;
  s->held_open = 0;
  ensure_options(s, type);
  if (ext_id == 0) ext_id = tabtype_extension(type);
  s->data_file = 0;
  FieldDef* list = fields != nullptr ? *fields : nullptr;
  bool ok = true;
  if (data_path != nullptr) {
    s->data_file = file_register(data_path, ext_id);
    if (s->data_file <= 0) s->data_file = 0, ok = false;
  }
  if (ok && ((type >= TABTYPE_DBF && type <= TABTYPE_NATIVE) || type == TABTYPE_ACCESS || type == TABTYPE_FME))
    ok = give_text_buffers(list, s->field_count);
  if (ok) {
    const TabTypeDriver* d = tabtype_driver(type);
    switch (type) {
      case TABTYPE_NONE: break;
      case TABTYPE_MEMORY: ok = d->create != nullptr && d->create(s, list); break;
      case TABTYPE_RASTER: case 7: case TABTYPE_QUERY: case TABTYPE_CSV: ok = false; break;
      default: ok = d->open != nullptr && d->open(s, list); break;
    }
  }
  if (!ok) {
    free_values(list, s->field_count);
    if (tabtype_driver(type)->close != nullptr) tabtype_driver(type)->close(s);
    if (s->data_file > 0) file_unregister(s->data_file);
    s->data_file = 0;
    push_once(kErrStorageOpen);
    return 0;
  }
  if (type == TABTYPE_ACCESS && s->data_file > 0) {
    file_unregister(s->data_file);
    s->data_file = 0;
  }
  return 1;
}

int16_t tabtype_read_fields(const char* data_path, TableDef* t) {
  StorageDesc* s = &t->storage;
  const int32_t type = s->type;
  ensure_options(s, type);
  s->data_file = file_register(data_path, tabtype_extension(type));
  if (s->data_file <= 0) {
    s->data_file = 0;
    return 0;
  }
  int16_t ok = 0;
  if (type == TABTYPE_NATIVE || type == TABTYPE_MEMORY) {
    ok = 1;
  } else if (type != TABTYPE_NONE && type != TABTYPE_RASTER && type != TABTYPE_QUERY && type != TABTYPE_FME) {
    const TabTypeDriver* d = tabtype_driver(type == TABTYPE_CSV ? TABTYPE_ASCII : type);
    FieldDef* fields = nullptr;
    int32_t count = 0;
    ok = d->describe != nullptr && d->describe(s, &fields, &count);
    if (ok) {
      fieldlist_free(t->fields, t->field_count);
      t->fields = fields;
      t->field_count = count;
      s->field_count = count;
      if (type == TABTYPE_XLS) t->version = t->read_entire = t->edit = xls_table_version(s);
    }
  }
  if (!ok) {
    if (tabtype_driver(type)->close != nullptr) tabtype_driver(type)->close(s);
    file_unregister(s->data_file);
    s->data_file = 0;
    return 0;
  }
  char* names = nullptr;
  for (int32_t i = 0; i < t->field_count; ++i) column_name_make_unique(t->fields[i].name, &names);
  mem_free(&names);
  return 1;
}

int16_t tabtype_begin_access(TableDef*, StorageDesc* s, int16_t mode, int16_t* flag) {
  if (flag != nullptr) *flag = 0;
  if (s->nesting == 255) return 0;
  if (s->nesting > 0) {
    ++s->nesting;
    return 1;
  }
  const int32_t type = s->type;
  if (type == TABTYPE_NONE || type == TABTYPE_RASTER || type == TABTYPE_MEMORY) {
    s->nesting = 1;
    return 1;
  }
  const TabTypeDriver* d = tabtype_driver(type);
  int16_t unused = 0;
  const bool gets_flag = type == TABTYPE_DBF || type == TABTYPE_NATIVE || type == TABTYPE_ACCESS || type == TABTYPE_FME;
  if (type != 7 && type != TABTYPE_QUERY && type != TABTYPE_CSV && d->begin_access != nullptr &&
      d->begin_access(s, mode, gets_flag && flag != nullptr ? flag : &unused)) {
    s->nesting = 1;
    return 1;
  }
  push_once(kErrStorageOpen);
  return 0;
}

int16_t tabtype_end_access(StorageDesc* s) {
  if (s->nesting == 255 || s->nesting == 0) return 1;
  if (s->nesting > 1) {
    --s->nesting;
    return 1;
  }
  const int32_t type = s->type;
  if (type == TABTYPE_NONE || type == TABTYPE_RASTER || type == TABTYPE_MEMORY) {
    s->nesting = 0;
    return 1;
  }
  const TabTypeDriver* d = tabtype_driver(type);
  if (type == 7 || type == TABTYPE_QUERY || type == TABTYPE_CSV || d->end_access == nullptr || !d->end_access(s))
    return 0;
  s->nesting = 0;
  return 1;
}

int16_t tabtype_close(StorageDesc* s, FieldDef* fields) {
  const int32_t type = s->type;
  const TabTypeDriver* d = tabtype_driver(type);
  if (type != TABTYPE_NONE && type != TABTYPE_RASTER && type != TABTYPE_QUERY && type != TABTYPE_CSV &&
      d->close != nullptr)
    d->close(s);
  free_values(fields, s->field_count);
  if (s->data_file > 0) {
    if (s->delete_at_close || type == TABTYPE_FME) file_delete(s->data_file);
    file_unregister(s->data_file);
  }
  s->data_file = 0;
  return 1;
}

int16_t tabtype_read_row(StorageDesc* s, FieldDef* fields, int32_t n) { return tabtype_read_row_ex(s, fields, n, nullptr); }

int16_t tabtype_read_row_ex(StorageDesc* s, FieldDef* fields, int32_t n, int16_t* flag) {
  if (flag != nullptr) *flag = 0;
  if (s->edit_overlay != nullptr && storage_overlay_read_row(s, fields, n)) {
    s->current_row = n;
    return 1;
  }
  const int32_t type = s->type;
  if (type == TABTYPE_NONE || type == TABTYPE_RASTER || type == TABTYPE_QUERY || type == TABTYPE_CSV) return 0;
  const TabTypeDriver* d = tabtype_driver(type);
  return d->read_row != nullptr && d->read_row(s, n, fields, flag);
}

namespace {

bool writes_rows(int32_t type, bool insert) {
  switch (type) {
    case TABTYPE_DBF: case TABTYPE_NATIVE: case TABTYPE_ACCESS: case TABTYPE_ODBC: case TABTYPE_MEMORY:
    case TABTYPE_FME:
      return true;
    case TABTYPE_ASCII: return insert;
    default: return false;
  }
}

// The in-memory table of the storage's edit overlay, when it has one.
uint32_t g_edit_stamp = 0;

// Marks a storage changed now.
void stamp_edit(StorageDesc* s) { s->edit_stamp = ++g_edit_stamp; }

StorageDesc* overlay_table(StorageDesc* s) {
  if (s->edit_overlay == nullptr || s->edit_overlay->table.type != TABTYPE_MEMORY) return nullptr;
  return &s->edit_overlay->table;
}

}  // namespace

int16_t tabtype_insert_row(StorageDesc* s, FieldDef* fields, int32_t* n) {
  if (s->type == TABTYPE_NONE) {
    *n = s->row_count + 1;
  } else {
    const TabTypeDriver* d = tabtype_driver(s->type);
    if (!writes_rows(s->type, true) || d->insert_row == nullptr || !d->insert_row(s, n, fields)) {
      push_once(kErrRowWrite);
      return 0;
    }
  }
  s->row_count = *n;
  s->current_row = *n;
  stamp_edit(s);
  return 1;
}

uint32_t tabtype_edit_stamp() { return g_edit_stamp; }

int16_t tabtype_update_row(StorageDesc* s, FieldDef* fields, int32_t n) {
  if (s->type != TABTYPE_NONE) {
    const TabTypeDriver* d = tabtype_driver(s->type);
    if (!writes_rows(s->type, false) || d->update_row == nullptr || !d->update_row(s, n, fields)) {
      push_once(kErrRowWrite);
      return 0;
    }
    if (StorageDesc* o = overlay_table(s)) tabtype_update_row(o, fields, n);
    stamp_edit(s);
    return 1;
  }
  s->current_row = n;
  return 1;
}

int16_t tabtype_delete_row(StorageDesc* s, int32_t n) {
  if (s->type != TABTYPE_NONE) {
    const TabTypeDriver* d = tabtype_driver(s->type);
    if (!writes_rows(s->type, false) || d->delete_row == nullptr || !d->delete_row(s, n)) {
      push_once(kErrRowDelete);
      return 0;
    }
    if (StorageDesc* o = overlay_table(s)) tabtype_delete_row(o, n);
    stamp_edit(s);
    return 1;
  }
  s->current_row = n;
  return 1;
}

int16_t tabtype_batch_begin(StorageDesc* s) {
  const TabTypeDriver* d = tabtype_driver(s->type);
  switch (s->type) {
    case TABTYPE_WKS: case TABTYPE_XLS: case TABTYPE_ASCII: return d->batch_begin != nullptr && d->batch_begin(s);
    default: return 1;
  }
}

int16_t tabtype_batch_end(StorageDesc* s) {
  const TabTypeDriver* d = tabtype_driver(s->type);
  switch (s->type) {
    case TABTYPE_WKS: case TABTYPE_XLS: case TABTYPE_ASCII: return d->batch_end != nullptr && d->batch_end(s);
    default: return 1;
  }
}

int16_t tabtype_can_hold_memo(StorageDesc* s) {
  if (s->type == TABTYPE_DBF) return dbf_has_memo_fields(s);
  if (s->type == TABTYPE_ACCESS) {
    const auto* a = std::get_if<AccessOptions>(&s->options);
    return a != nullptr && (a->flags & 1) != 0;
  }
  return 0;
}

int16_t tabtype_fields_compatible(const TableDef* t, const FieldDef* other, int32_t count) {
  if (t->field_count != count) return 0;
  for (int32_t i = 0; i < count; ++i) {
    const FieldDef& a = t->fields[i];
    const FieldDef& b = other[i];
    const int32_t ta = a.value.type, tb = b.value.type;
    bool ok;
    if (ta == tb) {
      ok = ta == VALUE_CHAR ? a.width == b.width
           : ta == VALUE_DECIMAL ? a.width == b.width && a.decimals == b.decimals
           : true;
    } else {
      auto dec = [&](int w, int d) { return tb == VALUE_DECIMAL && b.width == w && b.decimals == d; };
      ok = (ta == VALUE_INTEGER && dec(11, 0)) || (ta == VALUE_SMALLINT && dec(6, 0)) ||
           (ta == VALUE_FLOAT && dec(19, 9));
    }
    if (!ok) return 0;
  }
  return 1;
}

int16_t tabdef_has_indexed_field(const TableDef* t) {
  for (int32_t i = 0; t != nullptr && i < t->field_count; ++i) {
    if (t->fields[i].index != nullptr) return 1;
  }
  return 0;
}

int32_t tabtype_max_fields() { return kStorageMaxFields; }
