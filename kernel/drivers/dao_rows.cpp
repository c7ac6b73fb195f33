// The row verbs of the Access driver: row n is the record whose key is
// entry n of the row map; it is made current by a seek on the key index and
// its values move between the engine's VARIANTs and the fields' Values.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kernel/drivers/access.h"
#include "kernel/drivers/oledate.h"
#include "kernel/drivers/rowmap.h"
#include "kernel/runtime/date.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/tabdef.h"

namespace {

constexpr double kCurrencyLimit = 922337203685477.5807;  // the largest Currency amount
constexpr double kFloatLimit = 3.4028234663852886e38;

enum class Put { Ok, Engine, Value };

struct ColumnInfo {
  int16_t type = 0;
  int16_t ordinal = 0;
};

bool column_info(DaoFields* fields, int16_t i, ComRef<DaoField>* f, ColumnInfo* c) {
  return !hr_failed(fields->get_Item(var_i2(i), f->out())) && !hr_failed((*f)->get_Type(&c->type)) &&
         !hr_failed((*f)->get_CollectionIndex(&c->ordinal));
}

// The text of a field as a Char value: at most width bytes, never half a
// double-byte character, trailing blanks and control characters cut.
void set_text(FieldDef* f, const char* text, uint32_t length) {
  Value& v = f->value;
  char* p = value_text_ptr(&v, nullptr);
  if (p == nullptr) {
    if (!value_alloc_text(f->width, &v, &p) || p == nullptr) return;
  }
  const char* end = text + length;
  const char* at = text;
  while (at < end && *at != '\0') {
    const char* next = mb_char_step(at);
    if (next - text > f->width || next > end) break;
    at = next;
  }
  const auto n = static_cast<size_t>(at - text);
  std::memcpy(p, text, n);
  p[n] = '\0';
  for (;;) {
    const char* last = mb_last_char(p);
    if (last == nullptr || *last == '\0' || mb_is_lead_byte(last) || static_cast<unsigned char>(*last) > ' ') break;
    p[last - p] = '\0';
  }
}

void set_date_parts(FieldDef* f, const Date& d, const Time& t) {
  Value& v = f->value;
  switch (v.type) {
    case VALUE_DATE: v.u.date = d; break;
    case VALUE_TIME: v.u.time = t; break;
    case VALUE_DATETIME: v.u.dt.date = d; v.u.dt.time = t; break;
    default: break;
  }
}

// One column's value into the field (the read table).
void read_value(int16_t type, const Variant& v, FieldDef* f) {
  Value& out = f->value;
  switch (type) {
    case dbBoolean: out.u.b = v.vt == VT_BOOL && v.boolVal != 0 ? 1 : 0; return;
    case dbByte: case dbInteger:
      if (v.vt == VT_I2) value_set_double(v.iVal, out.type, &out);
      else if (v.vt == VT_UI1) value_set_double(v.bVal, out.type, &out);
      else out.u.s = 0;
      return;
    case dbLong:
      if (v.vt == VT_I4) value_set_double(v.lVal, out.type, &out);
      else out.u.i = 0;
      return;
    case dbCurrency: case dbSingle: case dbDouble:
      if (type == dbCurrency && v.vt == VT_CY) value_set_double(static_cast<double>(v.cyVal) / 10000.0, out.type, &out);
      else if (type != dbCurrency && v.vt == VT_R4) value_set_double(v.fltVal, out.type, &out);
      else if (type != dbCurrency && v.vt == VT_R8) value_set_double(v.dblVal, out.type, &out);
      else out.u.d = 0.0;
      return;
    case dbDate: {
      Date d{};
      Time t{};
      time_set_null(&t);
      OleDateParts p{};
      if (v.vt == VT_DATE && ole_date_to_parts(v.date, &p)) {
        d = Date{static_cast<int16_t>(p.year), static_cast<uint8_t>(p.month), static_cast<uint8_t>(p.day)};
        t = Time{0, static_cast<uint8_t>(p.second), static_cast<uint8_t>(p.minute), static_cast<int8_t>(p.hour)};
      }
      set_date_parts(f, d, t);
      return;
    }
    case dbText:
      if (v.vt == VT_BSTR && v.bstrVal != nullptr) set_text(f, v.bstrVal, SysStringByteLen(v.bstrVal));
      else set_text(f, "", 0);
      return;
    default: return;
  }
}

// The VARIANT of one field for a column of the type (the write table).
Put field_variant(int16_t type, const FieldDef* f, Variant* v) {
  const Value& in = f->value;
  VariantInit(v);
  switch (type) {
    case dbBoolean: v->vt = VT_BOOL; v->boolVal = static_cast<int16_t>(static_cast<int8_t>(in.u.b)); return Put::Ok;
    case dbByte: v->vt = VT_UI1; v->bVal = in.u.raw[0]; return Put::Ok;
    case dbInteger: v->vt = VT_I2; v->iVal = in.u.s; return Put::Ok;
    case dbLong: v->vt = VT_I4; v->lVal = in.u.i; return Put::Ok;
    case dbCurrency: {
      // Rounded half away from zero: -1.23456 is -12346 ten-thousandths.
      if (!(std::fabs(in.u.d) <= kCurrencyLimit)) return Put::Value;
      v->vt = VT_CY;
      v->cyVal = std::llround(in.u.d * 10000.0);
      return Put::Ok;
    }
    case dbSingle:
      if (!(std::fabs(in.u.d) <= kFloatLimit)) return Put::Value;
      v->vt = VT_R4;
      v->fltVal = static_cast<float>(in.u.d);
      return Put::Ok;
    case dbDouble: v->vt = VT_R8; v->dblVal = in.u.d; return Put::Ok;
    case dbDate: value_to_ole_date(f, v); return Put::Ok;
    case dbText: {
      const char* text = value_text_ptr(&in, nullptr);
      if (text == nullptr || text[0] == '\0') {
        v->vt = VT_NULL;
        return Put::Ok;
      }
      *v = var_bstr(text);
      return v->bstrVal != nullptr ? Put::Ok : Put::Engine;
    }
    default: return Put::Value;
  }
}

// Writes the fields into the pending record (insert and update).
Put write_fields(DaoTable* st, DaoFields* list, FieldDef* fields) {
  int16_t count = 0;
  if (hr_failed(list->get_Count(&count))) return Put::Engine;
  int32_t next = 0;
  for (int16_t i = 0; i < count; ++i) {
    ComRef<DaoField> f;
    ColumnInfo c;
    if (!column_info(list, i, &f, &c)) return Put::Engine;
    if (c.ordinal == st->key_ordinal) {
      if (!st->own_key) ++next;  // the table's own key: its field, never written
      continue;
    }
    if (!dao_type_carried(c.type)) continue;
    VariantHolder v;
    const Put p = field_variant(c.type, &fields[next++], v.out());
    if (p != Put::Ok) return p;
    if (hr_failed(f->put_Value(v.v))) return Put::Engine;
  }
  return Put::Ok;
}

void push_row_error(int32_t n) {
  char text[24];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(n));
  err_push(4, kErrAccessRow, text, nullptr);
}

}  // namespace

void value_to_ole_date(const FieldDef* f, Variant* out) {
  VariantInit(out);
  out->vt = VT_NULL;
  Date d{};
  Time t{};
  time_set_null(&t);
  const Value& v = f->value;
  if (v.type == VALUE_DATE) {
    d = v.u.date;
  } else if (v.type == VALUE_TIME) {
    t = v.u.time;
  } else if (v.type == VALUE_DATETIME) {
    if (v.u.dt.date.month != 0 && v.u.dt.date.day != 0 && v.u.dt.time.hour >= 0) {
      d = v.u.dt.date;
      t = v.u.dt.time;
    }
  }
  const bool has_date = d.month != 0 && d.day != 0;
  const bool has_time = t.hour >= 0;
  if (!has_date && !has_time) return;
  if (!has_date) date_today(&d);
  if (!has_time) t = Time{0, 0, 0, 0};
  double date = 0;
  if (ole_date_from_parts(d.day, d.year, d.month, t.hour, t.minute, t.second, &date)) {
    out->vt = VT_DATE;
    out->date = date;
  }
}

int16_t dao_seek_row(DaoTable* st, int32_t n, int16_t* no_match) {
  if (no_match != nullptr) *no_match = 0;
  if (st == nullptr || st->recordset == nullptr) return 0;
  BstrHolder index(st->index_name);
  if (hr_failed(st->recordset->put_Index(index.b))) {
    dao_report_errors();
    return 0;
  }
  int32_t key = 0;
  if (!rowmap_read(n, &key, st->rowmap_file) || key == 0) return 0;
  Variant keys[13];
  keys[0] = var_i4(key);
  for (int i = 1; i < 13; ++i) keys[i] = var_missing();
  BstrHolder cmp(kernel_string(7116));
  if (hr_failed(st->recordset->Seek(cmp.b, keys))) {
    dao_report_errors();
    return 0;
  }
  int16_t missing = 0;
  if (hr_failed(st->recordset->get_NoMatch(&missing)) || missing) {
    if (no_match != nullptr) *no_match = 1;
    return 0;
  }
  return 1;
}

int16_t dao_read_row(StorageDesc* s, int32_t n, FieldDef* fields, int16_t* no_match) {
  DaoTable* st = dao_state(s);
  if (!dao_seek_row(st, n, no_match)) return 0;
  ComRef<DaoFields> list;
  int16_t count = 0;
  if (hr_failed(st->recordset->get_Fields(list.out())) || hr_failed(list->get_Count(&count))) {
    dao_report_errors();
    return 0;
  }
  int32_t next = 0;
  for (int16_t i = 0; i < count; ++i) {
    ComRef<DaoField> f;
    ColumnInfo c;
    if (!column_info(list.p, i, &f, &c)) {
      dao_report_errors();
      return 0;
    }
    if (!dao_type_carried(c.type) || (st->own_key && c.ordinal == st->key_ordinal)) continue;
    if (next >= s->field_count) break;
    VariantHolder v;
    if (hr_failed(f->get_Value(v.out()))) {
      dao_report_errors();
      return 0;
    }
    read_value(c.type, v.v, &fields[next++]);
  }
  s->current_row = n;
  return 1;
}

int16_t dao_insert_row(StorageDesc* s, int32_t* n, FieldDef* fields) {
  DaoTable* st = dao_state(s);
  if (st == nullptr || st->recordset == nullptr) return 0;
  ComRef<DaoFields> list;
  Put p = Put::Engine;
  if (!hr_failed(st->recordset->AddNew())) {
    p = hr_failed(st->recordset->get_Fields(list.out())) ? Put::Engine : write_fields(st, list.p, fields);
  }
  VariantHolder key;
  if (p == Put::Ok) {
    ComRef<DaoField> kf;
    if (hr_failed(list->get_Item(var_i2(st->key_ordinal), kf.out())) || hr_failed(kf->get_Value(key.out())))
      p = Put::Engine;
  }
  if (p == Put::Ok && key.v.vt != VT_I4) {
    st->recordset->CancelUpdate(dbUpdateRegular);
    return 0;
  }
  if (p == Put::Ok) {
    ++st->row_count;
    bool stored = false;
    if (rowmap_write(st->row_count, key.v.lVal, st->rowmap_file)) {
      st->highest_key = key.v.lVal;
      *n = st->row_count;
      stored = !hr_failed(st->recordset->Update(dbUpdateRegular, 0));
      if (stored) return 1;
      p = Put::Engine;
    }
    rowmap_write(st->row_count, 0, st->rowmap_file);
    --st->row_count;
    *n = st->row_count;
    if (!stored && p == Put::Ok) {
      st->recordset->CancelUpdate(dbUpdateRegular);
      return 0;
    }
  }
  if (p == Put::Engine) dao_report_errors();
  st->recordset->CancelUpdate(dbUpdateRegular);
  push_row_error(st->row_count + 1);
  return 0;
}

int16_t dao_update_row(StorageDesc* s, int32_t n, FieldDef* fields) {
  DaoTable* st = dao_state(s);
  if (!dao_seek_row(st, n, nullptr)) return 0;
  ComRef<DaoFields> list;
  Put p = Put::Engine;
  if (!hr_failed(st->recordset->Edit())) {
    p = hr_failed(st->recordset->get_Fields(list.out())) ? Put::Engine : write_fields(st, list.p, fields);
  }
  if (p != Put::Ok) {
    if (p == Put::Engine) dao_report_errors();
    push_row_error(n);
    return 0;
  }
  if (!hr_failed(st->recordset->Update(dbUpdateRegular, 0))) return 1;
  dao_report_errors();
  if (!hr_failed(st->recordset->CancelUpdate(dbUpdateRegular))) return 0;
  dao_report_errors();
  push_row_error(n);
  return 0;
}

int16_t dao_delete_row(StorageDesc* s, int32_t n) {
  DaoTable* st = dao_state(s);
  if (!dao_seek_row(st, n, nullptr)) return 1;
  if (hr_failed(st->recordset->Delete())) {
    dao_report_errors();
    return 0;
  }
  return rowmap_write(n, 0, st->rowmap_file);
}
