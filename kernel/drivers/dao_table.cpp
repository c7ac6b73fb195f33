// The Access table verbs the dispatcher calls for type 8: describe, create,
// open, begin and end access, close; the recordset, the search for the key
// column and the refresh of the field list.
#include <sys/stat.h>

#include <cstring>
#include <new>
#include <string>

#include "kernel/drivers/access.h"
#include "kernel/drivers/rowmap.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"

namespace {

int32_t stamp_of(const char* path) {
  struct stat st;
  if (path == nullptr || file_stat(path, &st) != 0) return 0;
  return static_cast<int32_t>(st.st_mtime);
}

std::string table_name(const AccessOptions* o) {
  char name[kPathSize];
  str_copy_n(name, o->table.c_str(), sizeof name);
  name_strip_tilde(name);
  return name;
}

// A zeroed working state in the options.
DaoTable* attach_state(AccessOptions* o) {
  auto* st = new (std::nothrow) DaoTable{};
  if (st == nullptr) {
    err_push(4, 632, nullptr, nullptr);
    return nullptr;
  }
  o->state = st;
  return st;
}

void free_state(AccessOptions* o) {
  delete static_cast<DaoTable*>(o->state);
  o->state = nullptr;
}

// Closes recordset and database, frees the state and lets go of the engine.
void detach(AccessOptions* o) {
  DaoTable* st = static_cast<DaoTable*>(o->state);
  if (st != nullptr) {
    dao_close_recordset(&st->recordset);
    dao_close_database(&st->database);
  }
  free_state(o);
  dao_engine_release();
}

bool start_engine() {
  if (dao_engine_start()) return true;
  err_push(4, kErrAccessNoEngine, nullptr, nullptr);
  return false;
}

// A verb's start: a zeroed working state and one reference on the engine
// (1343 when it cannot be started); null on failure, nothing left held.
DaoTable* begin_verb(AccessOptions* o) {
  if (o == nullptr) return nullptr;
  DaoTable* st = attach_state(o);
  if (st == nullptr) return nullptr;
  if (!start_engine()) {
    free_state(o);
    return nullptr;
  }
  return st;
}

struct Column {
  int16_t type = 0;
  int16_t ordinal = 0;
  int32_t size = 0;
  std::string name;
  bool null_name = false;
};

// Type, ordinal, size and name of column i of the recordset.
bool read_column(DaoFields* fields, int16_t i, Column* c) {
  ComRef<DaoField> f;
  BstrHolder n;
  if (hr_failed(fields->get_Item(var_i2(i), f.out())) || hr_failed(f->get_Type(&c->type)) ||
      hr_failed(f->get_CollectionIndex(&c->ordinal)) || hr_failed(f->get_Size(&c->size)) ||
      hr_failed(f->get_Name(n.out()))) {
    dao_report_errors();
    return false;
  }
  c->null_name = n.b == nullptr;
  c->name = n.text();
  return true;
}

bool read_columns(DaoTable* st, std::vector<Column>* out) {
  ComRef<DaoFields> fields;
  int16_t count = 0;
  if (st->recordset == nullptr || hr_failed(st->recordset->get_Fields(fields.out())) ||
      hr_failed(fields->get_Count(&count))) {
    dao_report_errors();
    return false;
  }
  st->column_count = count;
  out->assign(static_cast<size_t>(count < 0 ? 0 : count), Column{});
  for (int16_t i = 0; i < count; ++i) {
    if (!read_column(fields.p, i, &(*out)[static_cast<size_t>(i)])) return false;
  }
  return true;
}

bool is_own_key(const DaoTable* st, const Column& c) { return st->own_key && c.ordinal == st->key_ordinal; }

// The fields the columns give (all but the own key and the columns not
// carried); the inexact flag is cleared, then set for a column not carried.
int32_t count_fields(const DaoTable* st, const std::vector<Column>& columns, AccessOptions* o) {
  o->flags &= static_cast<uint8_t>(~kAccessInexact);
  int32_t n = st->column_count;
  for (const auto& c : columns) {
    if (is_own_key(st, c)) {
      --n;
    } else if (!dao_type_carried(c.type)) {
      --n;
      o->flags |= kAccessInexact;
    }
  }
  return n;
}

}  // namespace

AccessOptions* dao_options(StorageDesc* s) { return s != nullptr ? std::get_if<AccessOptions>(&s->options) : nullptr; }

DaoTable* dao_state(StorageDesc* s) {
  AccessOptions* o = dao_options(s);
  return o != nullptr ? static_cast<DaoTable*>(o->state) : nullptr;
}

int16_t dao_open_recordset(StorageDesc* s) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  if (st == nullptr || st->database == nullptr) return 0;
  dao_close_recordset(&st->recordset);
  const std::string name = table_name(o);
  BstrHolder n(name.c_str());
  const bool deny = (o->flags & kAccessDenyWrite) != 0;
  HRESULT h = st->database->OpenRecordset(n.b, var_i4(dbOpenTable), var_i4(deny ? dbDenyWrite : 0),
                                          var_i4((o->lock_state & 1) ? dbReadOnly : dbOptimistic), &st->recordset);
  if (hr_failed(h) && !deny && dao_error_number(h) == kDaoLocked) {
    h = st->database->OpenRecordset(n.b, var_i4(dbOpenTable), var_i4(0), var_i4(dbReadOnly), &st->recordset);
    o->lock_state |= 1;
  }
  if (hr_failed(h)) {
    dao_report_errors();
    return 0;
  }
  return 1;
}

int16_t dao_check_key_column(DaoTable* st, const char* name) {
  ComRef<DaoFields> fields;
  ComRef<DaoField> f;
  VariantHolder n(var_bstr(name));
  int16_t type = 0, ordinal = 0;
  int32_t attributes = 0;
  if (st->recordset == nullptr || hr_failed(st->recordset->get_Fields(fields.out())) ||
      hr_failed(fields->get_Item(n.v, f.out())) || hr_failed(f->get_Type(&type)) ||
      hr_failed(f->get_Attributes(&attributes)) || type != dbLong || (attributes & dbAutoIncrField) == 0 ||
      hr_failed(f->get_CollectionIndex(&ordinal)))
    return 0;
  st->key_ordinal = ordinal;
  if (std::strcmp(name, kernel_string(7112)) == 0) st->own_key = 1;
  return 1;
}

int16_t dao_find_key(StorageDesc* s) {
  DaoTable* st = dao_state(s);
  if (st == nullptr || st->recordset == nullptr) return 0;
  ComRef<DaoFields> fields;
  int16_t count = 0;
  if (hr_failed(st->recordset->get_Fields(fields.out())) || hr_failed(fields->get_Count(&count))) {
    dao_report_errors();
    return 0;
  }
  bool autoincrement = false;
  for (int16_t i = 0; i < count && !autoincrement; ++i) {
    ComRef<DaoField> f;
    int16_t type = 0;
    int32_t attributes = 0;
    if (hr_failed(fields->get_Item(var_i2(i), f.out())) || hr_failed(f->get_Type(&type)) ||
        hr_failed(f->get_Attributes(&attributes))) {
      dao_report_errors();
      return 0;
    }
    if (type != dbLong || (attributes & dbAutoIncrField) == 0) continue;
    BstrHolder n;
    if (hr_failed(f->get_CollectionIndex(&st->key_ordinal)) || hr_failed(f->get_Name(n.out()))) {
      dao_report_errors();
      return 0;
    }
    str_copy_n(st->key_name, n.text(), sizeof st->key_name);
    autoincrement = true;
  }
  ComRef<DaoIndexes> indexes;
  int16_t n_indexes = 0;
  if (hr_failed(st->recordset->get_Indexes(indexes.out())) || hr_failed(indexes->get_Count(&n_indexes))) {
    dao_report_errors();
    return 0;
  }
  for (int16_t i = 0; i < n_indexes; ++i) {
    ComRef<DaoIndex> ix;
    VariantHolder fv;
    int16_t unique = 0, n = 0;
    if (hr_failed(indexes->get_Item(var_i2(i), ix.out())) || hr_failed(ix->get_Unique(&unique)) ||
        hr_failed(ix->get_Fields(fv.out()))) {
      dao_report_errors();
      return 0;
    }
    auto* list = dynamic_cast<DaoFields*>(fv.v.vt == VT_DISPATCH ? fv.v.pdispVal : nullptr);
    if (!unique || list == nullptr || hr_failed(list->get_Count(&n)) || n != 1) continue;
    ComRef<DaoField> f;
    BstrHolder fname, ixname;
    if (hr_failed(list->get_Item(var_i2(0), f.out())) || hr_failed(f->get_Name(fname.out())) ||
        hr_failed(ix->get_Name(ixname.out()))) {
      dao_report_errors();
      return 0;
    }
    if (!dao_check_key_column(st, fname.text())) continue;
    str_copy_n(st->key_name, fname.text(), sizeof st->key_name);
    str_copy_n(st->index_name, ixname.text(), sizeof st->index_name);
    return 1;
  }
  return autoincrement ? dao_index_existing_key(s) : dao_add_own_key(s);
}

int16_t dao_describe(StorageDesc* s, FieldDef** out, int32_t* count) {
  AccessOptions* o = dao_options(s);
  if (out == nullptr) return 0;
  *out = nullptr;
  DaoTable* st = begin_verb(o);
  if (st == nullptr) return 0;
  char path[kPathSize] = {};
  if (s->data_file > 0) file_get_path(s->data_file, path);
  o->database = path;
  st->db_stamp = stamp_of(path);
  FieldDef* fields = nullptr;
  int32_t n_fields = 0;
  bool ok = true;
  if (hr_failed(dao_open_database(-1, 0, path, o->password.empty() ? nullptr : o->password.c_str(), &st->database))) {
    dao_report_errors();
    ok = false;
  }
  if (ok) {
    const std::string name = table_name(o);
    BstrHolder n(name.c_str());
    if (hr_failed(st->database->OpenRecordset(n.b, var_i4(dbOpenTable), var_i4(0), var_i4(dbReadOnly),
                                              &st->recordset))) {
      dao_report_errors();
      ok = false;
    }
  }
  ok = ok && dao_find_key(s);
  bool made_map = false;
  if (ok) {
    made_map = ok = rowmap_create(st, o->row_map, nullptr, -1) != 0;
    int32_t rows = 0;
    ok = ok && rowmap_build(st, &rows);
    if (ok) s->row_count = st->row_count = rows;
  }
  std::vector<Column> columns;
  ok = ok && read_columns(st, &columns);
  if (ok) {
    n_fields = count_fields(st, columns, o);
    s->field_count = n_fields;
    fields = fieldlist_new(n_fields);
    ok = fields != nullptr;
  }
  int32_t next = 0;
  for (size_t i = 0; ok && i < columns.size(); ++i) {
    const Column& c = columns[i];
    if (is_own_key(st, c) || !dao_type_carried(c.type)) continue;
    if (c.null_name || next >= n_fields) {
      ok = false;
      break;
    }
    FieldDef& f = fields[next++];
    str_copy_n(f.name, c.name.c_str(), sizeof f.name);
    dao_describe_field(c.type, c.size, c.ordinal == st->key_ordinal ? 1 : 0, &f);
  }
  dao_close_recordset(&st->recordset);
  dao_close_database(&st->database);
  if (ok) {
    rowmap_close(st);
    *out = fields;
    if (count != nullptr) *count = n_fields;
  } else {
    if (made_map) rowmap_delete(st);
    fieldlist_free(fields, n_fields);
  }
  free_state(o);
  dao_engine_release();
  return ok ? 1 : 0;
}

int16_t dao_create(StorageDesc* s, FieldDef* fields) {
  AccessOptions* o = dao_options(s);
  DaoTable* st = begin_verb(o);
  if (st == nullptr) return 0;
  bool ok = dao_attach_database(s, st, 1) && dao_delete_tabledef(s);
  ComRef<DaoTableDef> t;
  if (ok) {
    char name[kPathSize];
    str_copy_n(name, o->table.c_str(), sizeof name);
    ok = dao_create_tabledef(name, st->database, t.out()) && dao_add_key_column(st, t.p);
  }
  if (ok) {
    str_copy_n(st->index_name, kernel_string(7114), sizeof st->index_name);
    ok = dao_create_key_index(st->index_name, st->key_name, t.p, 1) && dao_add_fields(t.p, fields, s->field_count) &&
         dao_append_tabledef(st->database, t.p);
  }
  bool made_map = false;
  if (ok) made_map = ok = rowmap_create(st, o->row_map, nullptr, -1) != 0;
  if (ok) rowmap_close(st);
  else if (made_map) rowmap_delete(st);
  detach(o);
  return ok ? 1 : 0;
}

int16_t dao_open(StorageDesc* s, FieldDef* fields) {
  AccessOptions* o = dao_options(s);
  DaoTable* st = begin_verb(o);
  if (st == nullptr) return 0;
  bool ok = dao_attach_database(s, st, 0);
  if (ok) st->db_stamp = stamp_of(o->database.c_str());
  ok = ok && dao_open_recordset(s) && rowmap_open_existing(st, o->row_map) && dao_find_key(s) && rowmap_sync(s);
  std::vector<Column> columns;
  ok = ok && read_columns(st, &columns);
  if (ok) {
    // Open adds to the flag: a key of the table's own is inexact too.
    const uint8_t before = o->flags;
    const int32_t n = count_fields(st, columns, o);
    o->flags |= before;
    if (!st->own_key) o->flags |= kAccessInexact;
    ok = n == s->field_count && n != 0;
  }
  int32_t next = 0;
  for (size_t i = 0; ok && i < columns.size(); ++i) {
    const Column& c = columns[i];
    if (!dao_type_carried(c.type) || is_own_key(st, c)) continue;
    ok = fields != nullptr && next < s->field_count && dao_check_field(c.type, c.size, &fields[next]);
    if (c.type == dbByte || c.type == dbSingle) o->flags |= kAccessInexact;
    ++next;
  }
  if (!ok) {
    rowmap_close(st);
    detach(o);
    return 0;
  }
  return 1;
}

int16_t dao_begin_access(StorageDesc* s, int16_t mode, int16_t* changed) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  if (st == nullptr) return 0;
  const int32_t now = stamp_of(o->database.c_str());
  if (now > st->db_stamp) {
    st->db_stamp = now;
    if (!rowmap_sync(s)) return 0;
    if (changed != nullptr) *changed |= 1;
  }
  return rowmap_open(st, mode);
}

int16_t dao_end_access(StorageDesc* s) {
  DaoTable* st = dao_state(s);
  return st != nullptr && rowmap_flush(st) ? 1 : 0;
}

int16_t dao_close(StorageDesc* s) {
  AccessOptions* o = dao_options(s);
  if (o == nullptr) return 1;
  if (DaoTable* st = static_cast<DaoTable*>(o->state)) {
    rowmap_close(st);
    detach(o);
  }
  return 1;
}

int16_t dao_refresh_fields(TableDef* t) {
  StorageDesc* s = &t->storage;
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  if (st == nullptr || st->recordset == nullptr || !dao_find_key(s)) return 0;
  std::vector<Column> columns;
  if (!read_columns(st, &columns)) return 0;
  const int32_t n = count_fields(st, columns, o);
  FieldDef* fresh = fieldlist_new(n);
  if (fresh == nullptr) return 0;
  char* names = nullptr;
  int32_t next = 0;
  for (const auto& c : columns) {
    if (is_own_key(st, c) || !dao_type_carried(c.type)) continue;
    char name[kTableNameSize];
    str_copy_n(name, c.name.c_str(), sizeof name);
    column_name_make_unique(name, &names);
    for (int32_t k = 0; k < t->field_count; ++k) {
      if (mb_str_equal_nocase(t->fields[k].name, name)) {
        fresh[next] = t->fields[k];
        t->fields[k] = FieldDef{};  // moved: the old array no longer owns it
        break;
      }
    }
    ++next;
  }
  mem_free(&names);
  fieldlist_free(t->fields, t->field_count);
  t->fields = fresh;
  t->field_count = n;
  s->field_count = n;
  return 1;
}

int16_t dao_take_row_map(StorageDesc* target, StorageDesc* source) {
  DaoTable* t = dao_state(target);
  DaoTable* f = dao_state(source);
  if (t == nullptr || f == nullptr || f->rowmap_file <= 0) return 0;
  t->rowmap_file = f->rowmap_file;
  f->rowmap_file = 0;
  return 1;
}

namespace {

constexpr TabTypeDriver kAccessDriver = {dao_create,     dao_open,        dao_describe,    dao_begin_access,
                                         dao_end_access, dao_close,       dao_read_row,    dao_insert_row,
                                         dao_update_row, dao_delete_row,  nullptr,         nullptr};

}  // namespace

const TabTypeDriver* access_driver() { return &kAccessDriver; }
