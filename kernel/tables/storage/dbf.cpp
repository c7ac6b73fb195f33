// The dBASE table type (see dbf.h): field descriptors from table fields and
// back, the text forms of each field type, and the name repair.
#include "kernel/tables/storage/dbf.h"

#include <cstring>
#include <vector>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/date.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valcmp.h"
#include "kernel/tables/storage/bdbf.h"
#include "kernel/tables/storage/dbdriver.h"
#include "kernel/tables/tabtype.h"

namespace {

int16_t g_keep_names = 0;

bool is_memo_letter(char c) { return c == 'M' || c == 'P'; }

int32_t non_memo_count(const DbfFile* f) {
  int32_t n = 0;
  for (const DbfFieldDesc& d : f->fields) n += is_memo_letter(d.type) ? 0 : 1;
  return n;
}

bool shapefile(StorageDesc* s) { return dbdriver_options(s)->shapefile != 0; }

// Whether the definition field fits the file's field record; fixes its
// width and decimals to the file's when it does.
bool pair(FieldDef* f, const DbfFieldDesc& d, bool shp) {
  const int32_t type = f->value.type;
  const int32_t shp_width = d.decimals > 0 ? d.width + d.decimals + 1 : d.width;
  bool ok = false;
  switch (d.type) {
    case 'C':
      ok = type == VALUE_CHAR ? f->width == d.width
           : type == VALUE_TIME ? d.width == 9
           : type == VALUE_DATETIME ? d.width == 17
           : true;
      break;
    case 'D': ok = type == VALUE_DATE; break;
    case 'L': ok = type == VALUE_LOGICAL; break;
    case 'F':
    case 'N':
      switch (type) {
        case VALUE_DECIMAL:
          ok = shp ? f->width == shp_width : f->width == d.width && f->decimals == d.decimals;
          break;
        case VALUE_INTEGER: ok = d.width == 11 && d.decimals == 0; break;
        case VALUE_SMALLINT: ok = d.width == 6 && d.decimals == 0; break;
        case VALUE_FLOAT: ok = shp || (d.width == 19 && d.decimals == 9); break;
        case VALUE_LARGEINT: ok = d.width == 20 && d.decimals == 0; break;
        default: break;
      }
      break;
    default: break;
  }
  if (!ok) return false;
  f->width = shp && type == VALUE_DECIMAL ? static_cast<uint8_t>(shp_width) : d.width;
  f->decimals = d.decimals;
  return true;
}

// Writes text into the field's bytes: cut at the width, blank-padded.
void put_text(uint8_t* p, int32_t w, const char* text) {
  const size_t len = strnlen(text, static_cast<size_t>(w));
  std::memset(p, ' ', static_cast<size_t>(w));
  std::memcpy(p, text, len);
}

// Formats the definition's fields into a record's field bytes, the fields
// of the file's memo records kept from old (or blanks when old is null).
bool format(StorageDesc* s, FieldDef* fields, const DbfFile* file, uint8_t* out, const uint8_t* old) {
  const int32_t charset = dbdriver_options(s)->charset;
  int32_t at = 0;
  int32_t i = 0;
  std::vector<char> text;
  for (const DbfFieldDesc& d : file->fields) {
    const int32_t w = d.width;
    uint8_t* p = out + at;
    at += w;
    if (is_memo_letter(d.type)) {
      if (old != nullptr) std::memcpy(p, old + (p - out), static_cast<size_t>(w));
      else std::memset(p, ' ', static_cast<size_t>(w));
      continue;
    }
    if (i >= s->field_count) return false;
    const FieldDef& f = fields[i++];
    const Value& v = f.value;
    text.assign(static_cast<size_t>(w) + 64, '\0');
    char* t = text.data();
    const int32_t size = static_cast<int32_t>(text.size());
    switch (v.type) {
      case VALUE_CHAR: {
        const char* src = value_text_ptr(&v, nullptr);
        fmt_format(t, size, "%-*.*s", w, w, src != nullptr ? src : "");
        storage_text_convert(t, charset_current(), charset);
        break;
      }
      case VALUE_DECIMAL:
      case VALUE_FLOAT: number_format_fixed(t, w, d.decimals, v.u.d); break;
      case VALUE_INTEGER: fmt_format(t, size, "%*ld", w, v.u.i); break;
      case VALUE_SMALLINT: fmt_format(t, size, "%*hd", w, v.u.s); break;
      case VALUE_LARGEINT: fmt_format(t, size, "%*I64d", w, v.u.ll); break;
      case VALUE_DATE:
        fmt_format(t, size, "%04d%02d%02d", v.u.date.year, v.u.date.month, v.u.date.day);
        break;
      case VALUE_LOGICAL: t[0] = v.u.b ? 'T' : 'F'; break;
      case VALUE_TIME:
        if (!time_is_null(&v.u.time)) fmt_format(t, size, "%*ld", w, time_to_int(&v.u.time));
        break;
      case VALUE_DATETIME:
        if (v.u.dt.date.month != 0 && v.u.dt.date.day != 0 && !time_is_null(&v.u.dt.time))
          fmt_format(t, size, "%*I64d", w, datetime_to_int64(&v.u.dt));
        break;
      default: return false;
    }
    put_text(p, w, t);
  }
  return true;
}

// Parses a blank-trimmed field text as a whole number; false when empty or
// not all digits.
bool plain_number(const char* text, int64_t* out) {
  while (*text == ' ') ++text;
  if (*text < '0' || *text > '9') return false;
  uint64_t n = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (n > 99999999999999999ULL) return false;
    n = n * 10 + static_cast<uint64_t>(*text - '0');
  }
  while (*text == ' ') ++text;
  if (*text != '\0') return false;
  *out = static_cast<int64_t>(n);
  return true;
}

bool parse_part(const char* text, int32_t from, int32_t len, int32_t* out) {
  char part[5] = {};
  std::memcpy(part, text + from, static_cast<size_t>(len));
  return str_to_int(part, out) != nullptr;
}

// Unpacks one field's text (NUL-terminated copy of its bytes).
bool unpack(FieldDef* f, char* t, int32_t charset) {
  Value& v = f->value;
  switch (v.type) {
    case VALUE_CHAR: {
      char* out = field_text_room(f, static_cast<int32_t>(std::strlen(t)));
      if (out == nullptr) return false;
      std::strcpy(out, t);
      storage_text_convert(out, charset, charset_current());
      str_trim_right(out);
      return true;
    }
    case VALUE_DECIMAL:
    case VALUE_FLOAT: str_to_double(t, &v.u.d); return true;
    case VALUE_INTEGER: str_to_int(t, &v.u.i); return true;
    case VALUE_SMALLINT: str_to_short(t, &v.u.s); return true;
    case VALUE_LARGEINT: str_to_int64(t, &v.u.ll); return true;
    case VALUE_DATE: {
      int32_t y = 0, m = 0, d = 0;
      Date date = {0, 0, 0};
      if (std::strlen(t) >= 8 && parse_part(t, 0, 4, &y) && parse_part(t, 4, 2, &m) && parse_part(t, 6, 2, &d) &&
          m >= 0 && m <= 255 && d >= 0 && d <= 255) {
        date.year = static_cast<int16_t>(y);
        date.month = static_cast<uint8_t>(m);
        date.day = static_cast<uint8_t>(d);
      }
      v.u.date = date;
      return true;
    }
    case VALUE_LOGICAL: {
      const char c = static_cast<char>(t[0] >= 'a' && t[0] <= 'z' ? t[0] - 32 : t[0]);
      v.u.b = c == 'T' || c == 'Y' ? 1 : 0;
      return true;
    }
    case VALUE_TIME: {
      int64_t n = 0;
      if (!plain_number(t, &n) || n > INT32_MAX || !time_from_int(static_cast<int32_t>(n), &v.u.time))
        time_set_null(&v.u.time);
      return true;
    }
    case VALUE_DATETIME: {
      int64_t n = 0;
      if (!plain_number(t, &n) || !datetime_from_int64(n, &v.u.dt)) datetime_set_null(&v.u.dt);
      return true;
    }
    default: return false;
  }
}

}  // namespace

void dbf_set_keep_field_names(int16_t on) { g_keep_names = on; }

void dbf_make_field_name(char* out, const char* name, int32_t table_charset) {
  char buf[64] = {};
  str_copy_n(buf, name, 11);
  if (g_keep_names) {
    storage_text_convert(buf, charset_current(), table_charset);
    str_copy_n(out, buf, 11);
    return;
  }
  mb_str_upper(buf);
  for (char* p = buf; *p != '\0'; ++p) {
    if (mb_is_lead_byte(p) && p[1] != '\0') {
      p[0] = p[1] = '_';
      ++p;
      continue;
    }
    if (!((*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9'))) *p = '_';
  }
  if (buf[0] != '\0' && !(buf[0] >= 'A' && buf[0] <= 'Z')) buf[0] = 'A';
  str_copy_n(out, buf, 11);
}

int16_t dbf_create(StorageDesc* s, FieldDef* fields) {
  if (s->field_count > kStorageMaxFields) {
    err_push(4, kErrTooManyFields, nullptr, nullptr);
    return 0;
  }
  const int32_t charset = dbdriver_options(s)->charset;
  std::vector<DbfFieldDesc> descs(static_cast<size_t>(s->field_count));
  for (int32_t i = 0; i < s->field_count; ++i) {
    FieldDef& f = fields[i];
    if (!field_type7_to_char(&f)) return 0;
    DbfFieldDesc& d = descs[static_cast<size_t>(i)];
    std::memset(&d, 0, sizeof d);
    dbf_make_field_name(d.name, f.name, charset);
    d.type = 'N';
    switch (f.value.type) {
      case VALUE_CHAR: d.type = 'C'; d.width = f.width; break;
      case VALUE_DECIMAL: d.width = f.width; d.decimals = f.decimals; break;
      case VALUE_INTEGER: d.width = 11; break;
      case VALUE_SMALLINT: d.width = 6; break;
      case VALUE_DATE: d.type = 'D'; d.width = 8; break;
      case VALUE_LOGICAL: d.type = 'L'; d.width = 1; break;
      case VALUE_FLOAT: d.width = 19; d.decimals = 9; break;
      case VALUE_TIME: d.type = 'C'; d.width = 9; break;
      case VALUE_DATETIME: d.type = 'C'; d.width = 17; break;
      case VALUE_LARGEINT: d.width = 20; break;
      default: return 0;
    }
  }
  return dbfile_create(s->data_file, s->field_count, descs.data()) == DBF_OK;
}

int16_t dbf_open(StorageDesc* s, FieldDef* fields) {
  DbfFile* file = nullptr;
  if (dbfile_open(s->data_file, &file, 1) != DBF_OK) return 0;
  s->row_count = file->count;
  const bool shp = shapefile(s);
  bool ok = non_memo_count(file) == s->field_count;
  int32_t i = 0;
  for (size_t k = 0; ok && k < file->fields.size(); ++k) {
    if (is_memo_letter(file->fields[k].type)) continue;
    ok = pair(&fields[i++], file->fields[k], shp);
  }
  if (ok) dbdriver_state(s)->record.assign(static_cast<size_t>(file->record_length) + 1, 0);
  dbfile_close(file);
  return ok;
}

int16_t dbf_describe(StorageDesc* s, FieldDef** out, int32_t* count) {
  *out = nullptr;
  *count = 0;
  if (!tabtype_begin_access(nullptr, s, 1)) return 0;
  const DbfFile* file = dbdriver_file(s);
  const int32_t n = file != nullptr ? non_memo_count(file) : 0;
  FieldDef* fields = file != nullptr ? fieldlist_new(n > 0 ? n : 1) : nullptr;
  if (fields == nullptr) {
    if (file != nullptr) err_push(4, kErrNoMemory, nullptr, nullptr);
    tabtype_end_access(s);
    return 0;
  }
  const bool shp = shapefile(s);
  bool ok = true;
  int32_t i = 0;
  for (const DbfFieldDesc& d : file->fields) {
    if (is_memo_letter(d.type)) continue;
    FieldDef& f = fields[i++];
    switch (d.type) {
      case 'C': f.value.type = VALUE_CHAR; break;
      case 'D': f.value.type = VALUE_DATE; break;
      case 'F': case 'N': f.value.type = VALUE_DECIMAL; break;
      case 'L': f.value.type = VALUE_LOGICAL; break;
      default: ok = false; break;
    }
    if (!ok) {
      err_push(4, kErrFieldLetter, nullptr, nullptr);
      break;
    }
    char name[11] = {};
    std::memcpy(name, d.name, 10);
    mb_str_lower(name);
    name[0] = static_cast<char>(mb_char_upper(static_cast<uint8_t>(name[0])));
    str_copy_n(f.name, name, kTableNameSize);
    f.width = d.width;
    f.decimals = d.decimals;
    if (shp && f.value.type == VALUE_DECIMAL) {
      const int32_t width = d.decimals > 0 ? d.width + d.decimals + 1 : d.width;
      f.width = static_cast<uint8_t>(width > 255 ? 255 : width);
      if (width > 20) {
        f.value.type = VALUE_FLOAT;
        f.width = d.width;
      }
    }
  }
  tabtype_end_access(s);
  if (!ok) {
    fieldlist_free(fields, n);
    return 0;
  }
  *out = fields;
  *count = n;
  return 1;
}

int16_t dbf_begin_access(StorageDesc* s, int16_t mode, int16_t* flag) { return dbdriver_begin_access(s, mode, flag); }
int16_t dbf_end_access(StorageDesc* s) { return dbdriver_end_access(s); }
int16_t dbf_close(StorageDesc* s) {
  dbdriver_close(s);
  return 1;
}

int16_t dbf_read_row(StorageDesc* s, int32_t n, FieldDef* fields) {
  if (!dbdriver_read_record(s, n)) return 0;
  const DbfFile* file = dbdriver_file(s);
  const uint8_t* rec = dbdriver_state(s)->record.data();
  const int32_t charset = dbdriver_options(s)->charset;
  std::vector<char> text;
  int32_t at = 0;
  int32_t i = 0;
  for (const DbfFieldDesc& d : file->fields) {
    const uint8_t* p = rec + at;
    at += d.width;
    if (is_memo_letter(d.type)) continue;
    if (i >= s->field_count) break;
    text.assign(reinterpret_cast<const char*>(p), reinterpret_cast<const char*>(p) + d.width);
    text.push_back('\0');
    if (!unpack(&fields[i++], text.data(), charset)) break;
  }
  s->current_row = n;
  return 1;
}

int16_t dbf_insert_row(StorageDesc* s, int32_t* n, FieldDef* fields) {
  return dbdriver_write_row(s, n, true,
                            [&](const DbfFile* f, uint8_t* out) { return format(s, fields, f, out, nullptr); });
}

int16_t dbf_update_row(StorageDesc* s, int32_t n, FieldDef* fields) {
  DbfFile* f = dbdriver_file(s);
  if (f == nullptr) return 0;
  std::vector<uint8_t> old(static_cast<size_t>(f->record_length) + 1);
  uint8_t deleted = 0;
  if (dbfile_read(f, n, old.data(), &deleted) != DBF_OK || deleted) return 0;
  return dbdriver_write_row(s, &n, false,
                            [&](const DbfFile* file, uint8_t* out) { return format(s, fields, file, out, old.data()); });
}

int16_t dbf_delete_row(StorageDesc* s, int32_t n) { return dbdriver_delete_row(s, n); }

int16_t dbf_has_memo_fields(StorageDesc* s) {
  if (!tabtype_begin_access(nullptr, s, 1)) return 0;
  int16_t memo = 0;
  if (const DbfFile* f = dbdriver_file(s)) {
    for (const DbfFieldDesc& d : f->fields) memo = memo || is_memo_letter(d.type);
  }
  tabtype_end_access(s);
  return memo;
}
