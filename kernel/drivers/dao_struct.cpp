// Access table structure: the three field-type mappings, the key column and
// its unique index, the making of a new table, and the structure changes
// (delete, rename, add and drop a column). A change to a table whose
// recordset is open closes the recordset first and opens it again after,
// also when the change fails.
#include <cctype>
#include <cstring>
#include <string>

#include "kernel/drivers/access.h"
#include "kernel/drivers/rowmap.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/tabdef.h"

namespace {

constexpr int kCharMax = 254;

bool failed_report(HRESULT h) {
  if (!hr_failed(h)) return false;
  dao_report_errors();
  return true;
}

std::string stored_name(const AccessOptions* o) {
  char name[kPathSize];
  str_copy_n(name, o->table.c_str(), sizeof name);
  name_strip_tilde(name);
  return name;
}

// Reopens the recordset after a change; both must hold for success.
int16_t reopen(StorageDesc* s, bool changed) {
  const int16_t again = dao_open_recordset(s);
  return changed && again ? 1 : 0;
}

}  // namespace

void name_strip_tilde(char* text) {
  if (text == nullptr || text[0] != '~') return;
  size_t i = 1;
  while (text[i] != '\0' && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  std::memmove(text, text + i, std::strlen(text + i) + 1);
}

int16_t dao_type_carried(int16_t type) { return (type >= dbBoolean && type <= dbDate) || type == dbText ? 1 : 0; }

int16_t dao_field_type(FieldDef* f, int16_t* type, int32_t* size) {
  *size = 0;
  switch (f->value.type) {
    case VALUE_CHAR: *type = dbText; *size = f->width; return 1;
    case VALUE_DECIMAL:
      if (f->width == 20 && f->decimals == 4) {
        *type = dbCurrency;
      } else {
        *type = dbDouble;
        f->value.type = VALUE_FLOAT;
      }
      return 1;
    case VALUE_INTEGER: *type = dbLong; f->read_only = 0; return 1;
    case VALUE_SMALLINT: *type = dbInteger; return 1;
    case VALUE_DATE: case VALUE_TIME: case VALUE_DATETIME: *type = dbDate; return 1;
    case VALUE_LOGICAL: *type = dbBoolean; return 1;
    case VALUE_FLOAT: *type = dbDouble; return 1;
    case VALUE_LARGEINT: *type = dbBigInt; return 1;
    default: return 0;
  }
}

void dao_describe_field(int16_t type, int32_t size, int16_t is_key, FieldDef* f) {
  int32_t vt = VALUE_NONE;
  f->width = 0;
  f->decimals = 0;
  f->read_only = 0;
  switch (type) {
    case dbBoolean: vt = VALUE_LOGICAL; f->width = static_cast<uint8_t>(size > 0 && size < 256 ? size : 1); break;
    case dbByte: case dbInteger: vt = VALUE_SMALLINT; f->width = 6; break;
    case dbLong: vt = VALUE_INTEGER; f->width = 11; f->read_only = is_key ? 1 : 0; break;
    case dbCurrency: vt = VALUE_DECIMAL; f->width = 20; f->decimals = 4; break;
    case dbSingle: case dbDouble: vt = VALUE_FLOAT; f->width = 19; f->decimals = 9; break;
    case dbDate: vt = VALUE_DATETIME; break;
    case dbText:
      vt = VALUE_CHAR;
      f->width = static_cast<uint8_t>(size > kCharMax ? kCharMax : size < 1 ? 1 : size);
      f->read_only = size > kCharMax ? 1 : 0;
      break;
    default: break;
  }
  value_init(&f->value, vt, nullptr);
}

int16_t dao_check_field(int16_t type, int32_t size, const FieldDef* f) {
  const int32_t t = f->value.type;
  switch (type) {
    case dbBoolean: return t == VALUE_LOGICAL;
    case dbByte: case dbInteger: return t == VALUE_SMALLINT;
    case dbLong: return t == VALUE_INTEGER;
    case dbCurrency: return t == VALUE_DECIMAL;
    case dbSingle: case dbDouble: return t == VALUE_FLOAT;
    case dbDate: return t == VALUE_DATE || t == VALUE_TIME || t == VALUE_DATETIME;
    case dbText: return t == VALUE_CHAR || f->width == size;
    default: return 0;
  }
}

int16_t dao_create_tabledef(char* name, DaoDatabase* db, DaoTableDef** out) {
  name_strip_tilde(name);
  VariantHolder n(var_bstr(name));
  return failed_report(db->CreateTableDef(n.v, var_missing(), var_missing(), var_missing(), out)) ? 0 : 1;
}

int16_t dao_add_key_field(DaoTableDef* t, const char* column, int16_t* ordinal) {
  ComRef<DaoField> f;
  ComRef<DaoFields> fields;
  VariantHolder n(var_bstr(column));
  int16_t count = 0;
  if (failed_report(t->CreateField(n.v, var_bool(dbLong), var_missing(), f.out())) ||
      failed_report(f->put_Required(-1)) || failed_report(f->put_Attributes(dbAutoIncrField)) ||
      failed_report(t->get_Fields(fields.out())) || failed_report(fields->Append(f.p)) ||
      failed_report(fields->Refresh()) || failed_report(fields->get_Count(&count)))
    return 0;
  *ordinal = static_cast<int16_t>(count - 1);
  return 1;
}

int16_t dao_add_key_column(DaoTable* st, DaoTableDef* t) {
  str_copy_n(st->key_name, kernel_string(7112), sizeof st->key_name);
  if (!dao_add_key_field(t, st->key_name, &st->key_ordinal)) return 0;
  st->own_key = 1;
  return 1;
}

int16_t dao_create_key_index(const char* index, const char* column, DaoTableDef* t, int16_t primary) {
  ComRef<DaoIndex> ix;
  ComRef<DaoField> f;
  ComRef<DaoIndexes> indexes;
  VariantHolder in(var_bstr(index)), cn(var_bstr(column)), ixfields;
  if (failed_report(t->CreateIndex(in.v, ix.out())) ||
      failed_report(ix->CreateField(cn.v, var_i2(dbLong), var_missing(), f.out())) ||
      failed_report(f->put_Required(-1)) || failed_report(f->put_Attributes(dbAutoIncrField)) ||
      failed_report(ix->get_Fields(ixfields.out())))
    return 0;
  auto* list = dynamic_cast<DaoFields*>(ixfields.v.vt == VT_DISPATCH ? ixfields.v.pdispVal : nullptr);
  if (list == nullptr || failed_report(list->Append(f.p)) || failed_report(list->Refresh()) ||
      failed_report(ix->put_Primary(primary ? -1 : 0)) || failed_report(ix->put_Required(-1)) ||
      failed_report(ix->put_Unique(-1)) || failed_report(ix->put_IgnoreNulls(0)) ||
      failed_report(t->get_Indexes(indexes.out())) || failed_report(indexes->Append(ix.p)) ||
      failed_report(indexes->Refresh()))
    return 0;
  return 1;
}

int16_t dao_add_fields(DaoTableDef* t, FieldDef* fields, int32_t count) {
  ComRef<DaoFields> list;
  if (failed_report(t->get_Fields(list.out()))) return 0;
  for (int32_t i = 0; i < count; ++i) {
    int16_t type = 0;
    int32_t size = 0;
    if (!dao_field_type(&fields[i], &type, &size)) return 0;
    ComRef<DaoField> f;
    VariantHolder n(var_bstr(fields[i].name));
    if (failed_report(t->CreateField(n.v, var_bool(type), size > 0 ? var_i4(size) : var_missing(), f.out())) ||
        failed_report(list->Append(f.p)) || failed_report(list->Refresh()))
      return 0;
  }
  return 1;
}

int16_t dao_append_tabledef(DaoDatabase* db, DaoTableDef* t) {
  ComRef<DaoTableDefs> defs;
  return failed_report(db->get_TableDefs(defs.out())) || failed_report(defs->Append(t)) ||
                 failed_report(defs->Refresh())
             ? 0
             : 1;
}

int16_t dao_delete_tabledef(StorageDesc* s) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  if (st == nullptr || st->database == nullptr) return 0;
  ComRef<DaoTableDefs> defs;
  if (failed_report(st->database->get_TableDefs(defs.out()))) return 0;
  o->table = stored_name(o);
  dao_close_recordset(&st->recordset);
  BstrHolder name(o->table.c_str());
  const HRESULT h = defs->Delete(name.b);
  if (hr_failed(h) && dao_error_number(h) != kDaoNoItem) {
    dao_report_errors();
    return 0;
  }
  if (st->rowmap_file > 0 && !rowmap_delete(st)) return 0;
  return 1;
}

int16_t dao_get_tabledef(DaoTable* st, const char* table, DaoTableDef** out) {
  *out = nullptr;
  if (st->database == nullptr) return 0;
  ComRef<DaoTableDefs> defs;
  char name[kPathSize];
  str_copy_n(name, table, sizeof name);
  name_strip_tilde(name);
  VariantHolder n(var_bstr(name));
  return failed_report(st->database->get_TableDefs(defs.out())) || failed_report(defs->get_Item(n.v, out)) ? 0 : 1;
}

int16_t dao_index_existing_key(StorageDesc* s) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  ComRef<DaoTableDef> t;
  if (!dao_get_tabledef(st, o->table.c_str(), t.out()) || !dao_check_key_column(st, st->key_name)) return 0;
  str_copy_n(st->index_name, kernel_string(7114), sizeof st->index_name);
  dao_close_recordset(&st->recordset);
  const bool made = dao_create_key_index(st->index_name, st->key_name, t.p, 0) != 0;
  return reopen(s, made);
}

int16_t dao_add_own_key(StorageDesc* s) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  ComRef<DaoTableDef> t;
  if (!dao_get_tabledef(st, o->table.c_str(), t.out())) return 0;
  dao_close_recordset(&st->recordset);
  bool made = dao_add_key_column(st, t.p) != 0;
  str_copy_n(st->index_name, kernel_string(7114), sizeof st->index_name);
  made = made && dao_create_key_index(st->index_name, st->key_name, t.p, 0);
  return reopen(s, made);
}

namespace {

// Renames the Access table; the stored name follows. Reopens the recordset.
int16_t rename_access_table(StorageDesc* s, const char* new_name) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  ComRef<DaoTableDef> t;
  if (!dao_get_tabledef(st, o->table.c_str(), t.out())) return 0;
  char name[kPathSize];
  str_copy_n(name, new_name, sizeof name);
  name_strip_tilde(name);
  dao_close_recordset(&st->recordset);
  BstrHolder n(name);
  const bool renamed = !failed_report(t->put_Name(n.b));
  if (renamed) {
    char kept[kTableNameSize + 1];
    str_copy_n(kept, name, sizeof kept);
    o->table = kept;
  }
  return reopen(s, renamed);
}

}  // namespace

int16_t dao_rename_table(StorageDesc* s, const char* new_name, const char* new_base_path) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  if (st == nullptr || o == nullptr) return 0;
  char kept[65];
  str_copy_n(kept, o->table.c_str(), sizeof kept);
  if (!rename_access_table(s, new_name)) return 0;
  if (!rowmap_rename(st, new_base_path, -1, nullptr)) {
    rename_access_table(s, kept);
    return 0;
  }
  return 1;
}

int16_t dao_add_column(StorageDesc* s, FieldDef* field) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  if (st == nullptr || o == nullptr) return 0;
  ComRef<DaoTableDef> t;
  ComRef<DaoFields> fields;
  ComRef<DaoField> f;
  int16_t type = 0;
  int32_t size = 0;
  if (!dao_get_tabledef(st, o->table.c_str(), t.out()) || failed_report(t->get_Fields(fields.out())) ||
      !dao_field_type(field, &type, &size))
    return 0;
  VariantHolder n(var_bstr(field->name));
  if (failed_report(t->CreateField(n.v, var_bool(type), size > 0 ? var_i4(size) : var_missing(), f.out()))) return 0;
  dao_close_recordset(&st->recordset);
  const bool added = !failed_report(fields->Append(f.p)) && !failed_report(fields->Refresh());
  return reopen(s, added);
}

int16_t dao_find_field(DaoTable* st, const char* name, DaoField** out) {
  *out = nullptr;
  if (st->recordset == nullptr) return 0;
  ComRef<DaoFields> fields;
  int16_t count = 0;
  if (failed_report(st->recordset->get_Fields(fields.out())) || failed_report(fields->get_Count(&count))) return 0;
  for (int16_t i = 0; i < count; ++i) {
    ComRef<DaoField> f;
    BstrHolder n;
    if (failed_report(fields->get_Item(var_i2(i), f.out())) || failed_report(f->get_Name(n.out()))) return 0;
    char repaired[kTableNameSize + 1];
    str_copy_n(repaired, n.text(), kTableNameSize);
    column_name_make_unique(repaired, nullptr);
    if (mb_str_equal_nocase(repaired, name)) {
      *out = f.p;
      f.p = nullptr;
      return 1;
    }
  }
  return 0;
}

int16_t dao_drop_column_indexes(DaoTableDef* t, const char* column) {
  ComRef<DaoIndexes> indexes;
  int16_t count = 0;
  if (failed_report(t->get_Indexes(indexes.out())) || failed_report(indexes->get_Count(&count))) return 0;
  for (int16_t i = 0; i < count;) {
    ComRef<DaoIndex> ix;
    VariantHolder fv;
    int16_t n = 0;
    if (failed_report(indexes->get_Item(var_i2(i), ix.out())) || failed_report(ix->get_Fields(fv.out()))) return 0;
    auto* list = dynamic_cast<DaoFields*>(fv.v.vt == VT_DISPATCH ? fv.v.pdispVal : nullptr);
    if (list == nullptr || failed_report(list->get_Count(&n))) return 0;
    bool found = false;
    for (int16_t k = 0; k < n && !found; ++k) {
      ComRef<DaoField> f;
      BstrHolder fname;
      if (failed_report(list->get_Item(var_i2(k), f.out())) || failed_report(f->get_Name(fname.out()))) return 0;
      found = mb_str_equal_nocase(fname.text(), column) != 0;
    }
    if (!found) {
      ++i;
      continue;
    }
    BstrHolder ixname;
    if (failed_report(ix->get_Name(ixname.out())) || failed_report(indexes->Delete(ixname.b))) return 0;
    --count;
  }
  return failed_report(indexes->Refresh()) ? 0 : 1;
}

int16_t dao_drop_column(const FieldDef* field, StorageDesc* s) {
  DaoTable* st = dao_state(s);
  AccessOptions* o = dao_options(s);
  if (st == nullptr || o == nullptr) return 0;
  ComRef<DaoField> f;
  BstrHolder name;
  if (!dao_find_field(st, field->name, f.out()) || failed_report(f->get_Name(name.out()))) return 0;
  ComRef<DaoTableDef> t;
  ComRef<DaoFields> fields;
  if (!dao_get_tabledef(st, o->table.c_str(), t.out()) || failed_report(t->get_Fields(fields.out()))) return 0;
  dao_close_recordset(&st->recordset);
  const bool dropped = dao_drop_column_indexes(t.p, name.text()) && !failed_report(fields->Delete(name.b)) &&
                       !failed_report(fields->Refresh());
  return reopen(s, dropped);
}
