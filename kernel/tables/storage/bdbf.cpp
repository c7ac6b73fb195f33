// The native table type (see bdbf.h): the field descriptors of a ".DAT"
// file and how each field is packed into and unpacked from a record.
#include "kernel/tables/storage/bdbf.h"

#include <cstring>
#include <vector>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/date.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valcmp.h"
#include "kernel/tables/storage/dbdriver.h"
#include "kernel/tables/storage/le_bytes.h"

namespace {

constexpr int32_t kLastMs = 86399999;

// The stored width of a field type, 0 for Char, Decimal and Logical (their
// own width) and -1 for a type without a stored form.
int32_t binary_width(int32_t type) {
  switch (type) {
    case VALUE_SMALLINT: return 2;
    case VALUE_INTEGER: case VALUE_DATE: case VALUE_TIME: return 4;
    case VALUE_FLOAT: case VALUE_DATETIME: case VALUE_LARGEINT: return 8;
    case VALUE_CHAR: case VALUE_DECIMAL: case VALUE_LOGICAL: return 0;
    default: return -1;
  }
}

// The bytes a field's binary form takes at least (a Logical its one byte).
int32_t stored_bytes(int32_t type) { return type == VALUE_LOGICAL ? 1 : binary_width(type); }

void put_date(uint8_t* p, const Date& d) {
  le_put_u16(p, static_cast<uint16_t>(d.year));
  p[2] = d.month;
  p[3] = d.day;
}

Date get_date(const uint8_t* p) {
  Date d;
  d.year = static_cast<int16_t>(le_get_u16(p));
  d.month = p[2];
  d.day = p[3];
  return d;
}

// Whether field i is stored as fixed-point text: a Decimal, or a Float
// that a foreign file keeps in a numeric field of its own width.
bool stored_as_text(const DbfFile* file, int32_t i, int32_t type) {
  if (type == VALUE_DECIMAL) return true;
  return type == VALUE_FLOAT && static_cast<size_t>(i) < file->fields.size() && file->fields[static_cast<size_t>(i)].type == 'N';
}

// Packs the fields into the record's field bytes; false for a type without
// a stored form.
bool pack(StorageDesc* s, const DbfFile* file, FieldDef* fields, uint8_t* out, int32_t size) {
  const int32_t charset = dbdriver_options(s)->charset;
  std::memset(out, 0, static_cast<size_t>(size));
  int32_t at = 0;
  for (int32_t i = 0; i < s->field_count; ++i) {
    FieldDef& f = fields[i];
    const Value& v = f.value;
    const int32_t w = f.width;
    if (at + w > size) return false;
    uint8_t* p = out + at;
    if (stored_as_text(file, i, v.type)) {
      std::vector<char> text(static_cast<size_t>(w) + 32, '\0');
      // A Float keeps the decimals of the file's field.
      const int32_t d = v.type == VALUE_DECIMAL ? f.decimals : file->fields[static_cast<size_t>(i)].decimals;
      number_format_fixed(text.data(), w, d, v.u.d);
      std::memcpy(p, text.data(), static_cast<size_t>(w));
      at += w;
      continue;
    }
    if (stored_bytes(v.type) > w) return false;
    switch (v.type) {
      case VALUE_CHAR: {
        std::vector<char> text(static_cast<size_t>(w) + 1, '\0');
        const char* src = value_text_ptr(&v, nullptr);
        if (src != nullptr) std::strncpy(text.data(), src, static_cast<size_t>(w));
        str_trim_right(text.data());
        storage_text_convert(text.data(), charset_current(), charset);
        std::memcpy(p, text.data(), std::strlen(text.data()));
        break;
      }
      case VALUE_INTEGER: le_put_u32(p, static_cast<uint32_t>(v.u.i)); break;
      case VALUE_SMALLINT: le_put_u16(p, static_cast<uint16_t>(v.u.s)); break;
      case VALUE_DATE: put_date(p, v.u.date); break;
      case VALUE_FLOAT: le_put_double(p, v.u.d); break;
      case VALUE_LARGEINT: le_put_u64(p, static_cast<uint64_t>(v.u.ll)); break;
      case VALUE_LOGICAL: p[0] = v.u.b ? 1 : 0; break;
      case VALUE_TIME:
        le_put_u32(p, static_cast<uint32_t>(time_is_null(&v.u.time) ? -1 : time_to_ms(&v.u.time)));
        break;
      case VALUE_DATETIME: {
        Date d;
        int32_t ms = 0;
        datetime_to_pair(&v.u.dt, &d, &ms);
        put_date(p, d);
        le_put_u32(p + 4, static_cast<uint32_t>(ms));
        break;
      }
      default: return false;
    }
    at += w;
  }
  return true;
}

}  // namespace

bool field_type7_to_char(FieldDef* f) {
  if (f->value.type != VALUE_TYPE7) return true;
  value_free(&f->value);
  f->width = 25;
  return value_init_text(&f->value, VALUE_CHAR, 25) != 0;
}

void storage_text_convert(char* text, int32_t from, int32_t to) {
  if (from != to) charset_convert(text, from, to);
}

int16_t bdbf_create(StorageDesc* s, FieldDef* fields) {
  if (s->field_count > kStorageMaxFields) {
    err_push(4, kErrTooManyFields, nullptr, nullptr);
    return 0;
  }
  std::vector<DbfFieldDesc> descs(static_cast<size_t>(s->field_count));
  for (int32_t i = 0; i < s->field_count; ++i) {
    FieldDef& f = fields[i];
    if (!field_type7_to_char(&f)) return 0;
    DbfFieldDesc& d = descs[static_cast<size_t>(i)];
    std::memset(&d, 0, sizeof d);
    std::memcpy(d.name, f.name, strnlen(f.name, 10));
    const int32_t bw = binary_width(f.value.type);
    if (bw < 0) return 0;
    d.type = f.value.type == VALUE_LOGICAL ? 'L' : f.value.type == VALUE_DECIMAL ? 'N' : 'C';
    d.width = bw > 0 ? static_cast<uint8_t>(bw) : f.width;
    if (f.value.type == VALUE_LOGICAL) d.width = 1;
    d.decimals = f.value.type == VALUE_DECIMAL ? f.decimals : 0;
    f.width = d.width;
  }
  return dbfile_create(s->data_file, s->field_count, descs.data()) == DBF_OK;
}

int16_t bdbf_open(StorageDesc* s, FieldDef* fields) {
  DbfFile* file = nullptr;
  if (dbfile_open(s->data_file, &file, 1) != DBF_OK) return 0;
  s->row_count = file->count;
  bool ok = file->field_count == s->field_count;
  for (int32_t i = 0; ok && i < s->field_count; ++i) {
    const DbfFieldDesc& d = file->fields[static_cast<size_t>(i)];
    FieldDef& f = fields[i];
    const int32_t type = f.value.type;
    switch (d.type) {
      case 'C':
        if (type == VALUE_CHAR) {
          ok = f.width >= d.width || field_text_room(&f, d.width) != nullptr;
        } else {
          const int32_t bw = binary_width(type);
          ok = bw > 0 && bw == d.width;
        }
        break;
      case 'L': ok = type == VALUE_LOGICAL; break;
      case 'M': ok = type == VALUE_MEMO; break;
      case 'N': ok = type == VALUE_DECIMAL || type == VALUE_FLOAT; break;
      default: ok = false; break;
    }
    if (ok) f.width = d.width;
  }
  if (ok) dbdriver_state(s)->record.assign(static_cast<size_t>(file->record_length) + 1, 0);
  dbfile_close(file);
  return ok;
}

int16_t bdbf_begin_access(StorageDesc* s, int16_t mode, int16_t* flag) { return dbdriver_begin_access(s, mode, flag); }
int16_t bdbf_end_access(StorageDesc* s) { return dbdriver_end_access(s); }
int16_t bdbf_close(StorageDesc* s) {
  dbdriver_close(s);
  return 1;
}

int16_t bdbf_read_row(StorageDesc* s, int32_t n, FieldDef* fields) {
  if (!dbdriver_read_record(s, n)) return 0;
  const DbDriverState* st = dbdriver_state(s);
  const uint8_t* rec = st->record.data();
  const int32_t size = dbdriver_file(s)->record_length - 1;
  const int32_t charset = dbdriver_options(s)->charset;
  int32_t at = 0;
  for (int32_t i = 0; i < s->field_count; ++i) {
    FieldDef& f = fields[i];
    Value& v = f.value;
    const int32_t w = f.width;
    if (at + w > size) return 0;
    const uint8_t* p = rec + at;
    if (stored_as_text(dbdriver_file(s), i, v.type)) {
      // The field's bytes as a text (on the stack for any width a
      // descriptor can give).
      char small[256];
      std::vector<char> large;
      char* text = small;
      if (w >= static_cast<int32_t>(sizeof small)) {
        large.resize(static_cast<size_t>(w) + 1);
        text = large.data();
      }
      std::memcpy(text, p, static_cast<size_t>(w));
      text[w] = '\0';
      str_to_double(text, &v.u.d);
      at += w;
      continue;
    }
    if (stored_bytes(v.type) > w) return 0;
    switch (v.type) {
      case VALUE_CHAR: {
        char* out = field_text_room(&f, w);
        if (out == nullptr) return 0;
        const size_t len = strnlen(reinterpret_cast<const char*>(p), static_cast<size_t>(w));
        std::memcpy(out, p, len);
        out[len] = '\0';
        str_trim_right(out);
        storage_text_convert(out, charset, charset_current());
        break;
      }
      case VALUE_INTEGER: v.u.i = static_cast<int32_t>(le_get_u32(p)); break;
      case VALUE_SMALLINT: v.u.s = static_cast<int16_t>(le_get_u16(p)); break;
      case VALUE_DATE: v.u.date = get_date(p); break;
      case VALUE_LOGICAL: v.u.b = p[0]; break;
      case VALUE_FLOAT: v.u.d = le_get_double(p); break;
      case VALUE_LARGEINT: v.u.ll = static_cast<int64_t>(le_get_u64(p)); break;
      case VALUE_TIME: {
        const int32_t ms = static_cast<int32_t>(le_get_u32(p));
        if (ms < 0) {
          time_set_null(&v.u.time);
        } else if (ms > kLastMs) {
          err_push(4, kErrBadDateTime, nullptr, nullptr);
          return 0;
        } else {
          time_from_ms(ms, &v.u.time);
        }
        break;
      }
      case VALUE_DATETIME: {
        const Date d = get_date(p);
        if (!datetime_from_pair(&d, static_cast<int32_t>(le_get_u32(p + 4)), &v.u.dt)) datetime_set_null(&v.u.dt);
        break;
      }
      default: return 0;
    }
    at += w;
  }
  s->current_row = n;
  return 1;
}

int16_t bdbf_insert_row(StorageDesc* s, int32_t* n, FieldDef* fields) {
  return dbdriver_write_row(s, n, true, [&](const DbfFile* f, uint8_t* out) {
    return pack(s, f, fields, out, f->record_length - 1);
  });
}

int16_t bdbf_update_row(StorageDesc* s, int32_t n, FieldDef* fields) {
  return dbdriver_write_row(s, &n, false, [&](const DbfFile* f, uint8_t* out) {
    return pack(s, f, fields, out, f->record_length - 1);
  });
}

int16_t bdbf_delete_row(StorageDesc* s, int32_t n) { return dbdriver_delete_row(s, n); }
