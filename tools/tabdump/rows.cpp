// tabdump's row commands (see rows.h). Rows are printed one a line, fields
// joined by "|": integers in decimal, Float and Decimal in their shortest
// round-trip fixed form, dates YYYY-MM-DD, times HH:MM:SS.mmm, logicals T
// or F, empty texts and null dates and times as nothing; "\", "|", CR and
// LF in texts as \\, \|, \r and \n; a row that cannot be read as "!". The
// create command reads rows in the same form.
#include "tools/tabdump/rows.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/index/fieldbuild.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabwrite.h"
#include "kernel/drivers/memtab.h"

namespace {

constexpr int32_t kTypes[] = {VALUE_CHAR,  VALUE_DECIMAL, VALUE_INTEGER, VALUE_SMALLINT, VALUE_DATE,    VALUE_LOGICAL,
                              VALUE_FLOAT, VALUE_MEMO,    VALUE_TIME,    VALUE_DATETIME, VALUE_LARGEINT};

// The type word of field_type_text ("Char" of "Char (10)").
std::string type_word(int32_t type) {
  char text[64] = {};
  if (!field_type_text(type, 1, 0, text, sizeof text)) return "?";
  std::string w = text;
  return w.substr(0, w.find(' '));
}

std::string number_text(double d) {
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
  return std::string(buf, r.ptr);
}

std::string two(int v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", digits, v);
  return buf;
}

std::string date_text(const Date& d) {
  if (date_is_empty(&d)) return "";
  std::string out = two(d.year, 4);
  out += '-';
  out += two(d.month, 2);
  out += '-';
  out += two(d.day, 2);
  return out;
}

std::string time_text(const Time& t) {
  if (time_is_null(&t)) return "";
  std::string out = two(t.hour, 2);
  out += ':';
  out += two(t.minute, 2);
  out += ':';
  out += two(t.second, 2);
  out += '.';
  out += two(t.ms, 3);
  return out;
}

std::string escaped(const char* text) {
  std::string out;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
    switch (*p) {
      case '\\': out += "\\\\"; break;
      case '|': out += "\\|"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += *p; break;
    }
  }
  return out;
}

std::string field_text(const FieldDef& f) {
  const Value& v = f.value;
  switch (v.type) {
    case VALUE_CHAR: case VALUE_MEMO: return escaped(value_text_ptr(&v, nullptr));
    case VALUE_DECIMAL: case VALUE_FLOAT: return number_text(v.u.d);
    case VALUE_INTEGER: return std::to_string(v.u.i);
    case VALUE_SMALLINT: return std::to_string(v.u.s);
    case VALUE_LARGEINT: return std::to_string(v.u.ll);
    case VALUE_LOGICAL: return v.u.b ? "T" : "F";
    case VALUE_DATE: return date_text(v.u.date);
    case VALUE_TIME: return time_text(v.u.time);
    case VALUE_DATETIME: {
      if (datetime_is_null(&v.u.dt)) return "";
      std::string out = date_text(v.u.dt.date);
      out += ' ';
      out += time_text(v.u.dt.time);
      return out;
    }
    default: return "?";
  }
}

std::string row_text(const FieldDef* fields, int count) {
  std::string line;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) line += '|';
    line += field_text(fields[i]);
  }
  return line;
}

// Rows 1 to N through an in-memory table: row i filed under id 2(N-i+1),
// then read back by walking the table's cursor.
void print_through_memory(TableDef* t) {
  const int32_t n = t->storage.row_count, count = t->field_count;
  StorageDesc mem;
  FieldDef* copy = fieldlist_new(count);
  bool ok = copy != nullptr;
  for (int32_t i = 0; ok && i < count; ++i) {
    copy[i] = t->fields[i];
    copy[i].index = nullptr;
    value_init(&copy[i].value, t->fields[i].value.type, nullptr);
  }
  ok = ok && tabtype_create(nullptr, nullptr, 0, 0, &mem, TABTYPE_MEMORY, count, copy, nullptr, 0);
  std::vector<bool> failed(static_cast<size_t>(n) + 1, false);
  for (int32_t r = 1; ok && r <= n; ++r) {
    int32_t id = 2 * (n - r + 1);
    if (!tabtype_read_row(&t->storage, t->fields, r)) {
      err_clear();
      failed[static_cast<size_t>(r)] = true;
      continue;
    }
    ok = tabtype_insert_row(&mem, t->fields, &id) != 0;
  }
  std::vector<std::string> lines(static_cast<size_t>(n) + 1);
  if (ok && n > 0 && memtab_cursor_first(&mem)) {
    int16_t end = 0;
    while (true) {
      int32_t id = 0;
      const int16_t more = memtab_cursor_next(&mem, &id, nullptr, &end);
      if (id > 0 && tabtype_read_row(&mem, copy, id)) lines[static_cast<size_t>(n - id / 2 + 1)] = row_text(copy, count);
      if (!more) break;
    }
  }
  for (int32_t r = 1; r <= n; ++r) std::printf("%s\n", ok && !failed[static_cast<size_t>(r)] ? lines[static_cast<size_t>(r)].c_str() : "!");
  if (copy != nullptr) tabtype_close(&mem, nullptr);
  fieldlist_free(copy, count);
}

}  // namespace

std::string tabdump_row_text(const FieldDef* fields, int count) { return row_text(fields, count); }

void tabdump_print_table(TableDef* t, bool memory) {
  for (int32_t i = 0; i < t->field_count; ++i) {
    const FieldDef& f = t->fields[i];
    std::printf("%s %s %d %d\n", f.name, type_word(f.value.type).c_str(), f.width, f.decimals);
  }
  std::printf("--\n");
  if (memory) {
    print_through_memory(t);
    return;
  }
  for (int32_t n = 1; n <= t->storage.row_count; ++n) {
    if (!tabtype_read_row(&t->storage, t->fields, n)) {
      err_clear();
      std::printf("!\n");
      continue;
    }
    std::printf("%s\n", row_text(t->fields, t->field_count).c_str());
  }
}

namespace {

// ---- reading rows ----------------------------------------------------------

// Splits a line at unescaped "|", undoing the escapes.
std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '|') {
      out.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char e = line[++i];
      out.back() += e == 'r' ? '\r' : e == 'n' ? '\n' : e;
    } else {
      out.back() += c;
    }
  }
  return out;
}

template <class T>
bool whole(const std::string& s, T* out) {
  const auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parse_date(const std::string& s, Date* d) {
  int y = 0, m = 0, day = 0;
  if (s.empty()) return date_set_empty(d), true;
  if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !whole(s.substr(0, 4), &y) || !whole(s.substr(5, 2), &m) ||
      !whole(s.substr(8, 2), &day))
    return false;
  *d = Date{static_cast<int16_t>(y), static_cast<uint8_t>(m), static_cast<uint8_t>(day)};
  return true;
}

bool parse_time(const std::string& s, Time* t) {
  int h = 0, m = 0, sec = 0, ms = 0;
  if (s.empty()) return time_set_null(t), true;
  if (s.size() != 12 || s[2] != ':' || s[5] != ':' || s[8] != '.' || !whole(s.substr(0, 2), &h) ||
      !whole(s.substr(3, 2), &m) || !whole(s.substr(6, 2), &sec) || !whole(s.substr(9, 3), &ms))
    return false;
  *t = Time{static_cast<int16_t>(ms), static_cast<uint8_t>(sec), static_cast<uint8_t>(m), static_cast<int8_t>(h)};
  return time_is_valid(t) != 0;
}

bool set_field(FieldDef* f, const std::string& s) {
  Value& v = f->value;
  switch (v.type) {
    case VALUE_CHAR: {
      char* p = value_text_ptr(&v, nullptr);
      if (p == nullptr) return false;
      str_copy_n(p, s.c_str(), static_cast<int64_t>(f->width) + 1);
      return true;
    }
    case VALUE_DECIMAL: case VALUE_FLOAT: return whole(s, &v.u.d);
    case VALUE_INTEGER: return whole(s, &v.u.i);
    case VALUE_SMALLINT: return whole(s, &v.u.s);
    case VALUE_LARGEINT: return whole(s, &v.u.ll);
    case VALUE_LOGICAL:
      v.u.b = s == "T" ? 1 : 0;
      return s == "T" || s == "F";
    case VALUE_DATE: return parse_date(s, &v.u.date);
    case VALUE_TIME: return parse_time(s, &v.u.time);
    case VALUE_DATETIME:
      if (s.empty()) return datetime_set_null(&v.u.dt), true;
      return s.size() == 23 && s[10] == ' ' && parse_date(s.substr(0, 10), &v.u.dt.date) &&
             parse_time(s.substr(11), &v.u.dt.time);
    default: return false;
  }
}

// "NAME TYPE WIDTH DECIMALS" items, comma-separated.
bool parse_columns(const char* text, std::vector<FieldDef>* out) {
  std::string all = text;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(',', start);
    if (end == std::string::npos) end = all.size();
    char name[64] = {}, type[64] = {};
    int width = 0, decimals = 0;
    const std::string item = all.substr(start, end - start);
    if (std::sscanf(item.c_str(), "%63s %63s %d %d", name, type, &width, &decimals) != 4) return false;
    FieldDef f = {};
    str_copy_n(f.name, name, kTableNameSize);
    f.width = static_cast<uint8_t>(width);
    f.decimals = static_cast<uint8_t>(decimals);
    for (int32_t t : kTypes) {
      if (strcasecmp(type_word(t).c_str(), type) == 0) f.value.type = static_cast<uint8_t>(t);
    }
    if (f.value.type == VALUE_NONE || width < 0 || width > 255 || decimals < 0 || decimals > 255) return false;
    out->push_back(f);
    start = end + 1;
  }
  return !out->empty();
}

}  // namespace

bool tabdump_parse_columns(const char* text, std::vector<FieldDef>* out) { return parse_columns(text, out); }

bool tabdump_set_row(FieldDef* fields, int count, const std::string& line) {
  const std::vector<std::string> parts = split(line);
  if (static_cast<int>(parts.size()) != count) return false;
  for (int i = 0; i < count; ++i) {
    if (!set_field(&fields[i], parts[static_cast<size_t>(i)])) return false;
  }
  return true;
}

bool tabdump_insert_stdin(TableDef* t) {
  std::string line;
  int32_t row = 0;
  bool ok = true;
  while (ok && std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ok = tabdump_set_row(t->fields, t->field_count, line);
    if (!ok) std::fprintf(stderr, "tabdump: bad row %d\n", row + 1);
    ok = ok && tabtype_insert_row(&t->storage, t->fields, &row);
  }
  return ok;
}

int tabdump_fail() {
  const int n = err_count() < kErrMaxEntries ? err_count() : kErrMaxEntries;
  for (int i = 0; i < n; ++i) {
    const ErrorEntry& e = g_err_stack->entries[i];
    if (e.code <= 0) continue;
    std::fprintf(stderr, "error %d\n", e.code);
    // With TABDUMP_ERROR_TEXT set, the error's argument follows its line.
    if (std::getenv("TABDUMP_ERROR_TEXT") != nullptr && e.arg1_length > 0)
      std::fprintf(stderr, "  %s\n", g_err_stack->pool + e.arg1_offset);
  }
  return 1;
}

namespace {

// The table of a definition file, or null.
TableDef* open_definition(const char* path) {
  const int32_t def = file_register(path, 1);
  if (def <= 0) return nullptr;
  TableDef* t = table_open_file(def);
  if (t == nullptr) file_unregister(def);
  return t;
}

// Prints the table within one access and frees it; the exit code.
int print_and_free(TableDef* t, bool memory) {
  if (!tabtype_begin_access(t, &t->storage, 1)) {
    tabdef_free(t);
    return tabdump_fail();
  }
  tabdump_print_table(t, memory);
  tabtype_end_access(&t->storage);
  tabdef_free(t);
  return 0;
}

}  // namespace

int tabdump_dump(const char* path, bool dbf) {
  TableDef* t = nullptr;
  if (dbf) {
    t = tabdef_new();
    t->storage.type = TABTYPE_DBF;
    typeopts_init(&t->storage.options, TABTYPE_DBF);
    bool ok = tabtype_read_fields(path, t) != 0;
    tabtype_close(&t->storage, nullptr);
    t->storage.field_count = t->field_count;
    ok = ok && tabtype_open(path, 0, &t->storage, TABTYPE_DBF, &t->field_count, &t->fields);
    if (!ok) {
      tabdef_free(t);
      return tabdump_fail();
    }
  } else {
    t = open_definition(path);
    if (t == nullptr) return tabdump_fail();
  }
  return print_and_free(t, false);
}

int tabdump_create(const char* path, bool dbf, const char* columns) {
  std::vector<FieldDef> cols;
  if (!parse_columns(columns, &cols)) {
    std::fprintf(stderr, "tabdump: bad --columns\n");
    return 2;
  }
  TableDef* t = tabdef_new();
  const int32_t type = dbf ? TABTYPE_DBF : TABTYPE_NATIVE;
  t->storage.type = static_cast<uint8_t>(type);
  typeopts_init(&t->storage.options, type);
  t->version = t->read_entire = t->edit = 300;
  path_to_table_name(path, t->name);
  const int32_t n = static_cast<int32_t>(cols.size());
  t->fields = fieldlist_new(n);
  if (t->fields == nullptr) {
    tabdef_free(t);
    return tabdump_fail();
  }
  std::memcpy(static_cast<void*>(t->fields), cols.data(), cols.size() * sizeof(FieldDef));
  t->field_count = n;
  if (!tabtype_create(path, nullptr, -1, 0, &t->storage, type, n, t->fields, nullptr, 0)) {
    tabdef_free(t);
    return tabdump_fail();
  }
  t->def_file = file_register_nocheck(path, 1);
  bool ok = t->def_file > 0 && tabfile_write(t, nullptr, nullptr, nullptr) &&
            tabtype_begin_access(t, &t->storage, 2);
  ok = ok && tabdump_insert_stdin(t);
  if (t->storage.nesting > 0 && !tabtype_end_access(&t->storage)) ok = false;
  tabdef_free(t);
  return ok ? 0 : tabdump_fail();
}

namespace {

// Opens a .TAB as a table; null with the error lines printed.
TableDef* open_tab(const char* path) {
  const int32_t def = file_register(path, 1);
  if (def <= 0) return nullptr;
  TableDef* t = table_open_file(def);
  if (t == nullptr) file_unregister(def);
  return t;
}

int32_t field_named(const TableDef* t, const char* name) {
  for (int32_t i = 0; i < t->field_count; ++i)
    if (strcasecmp(t->fields[i].name, name) == 0) return i;
  return -1;
}

}  // namespace

int tabdump_index(const char* path, const char* name) {
  TableDef* t = open_tab(path);
  if (t == nullptr) return tabdump_fail();
  const int32_t f = field_named(t, name);
  const bool ok = f >= 0 && index_get_for_field(t, f, 0, nullptr, nullptr);
  if (f < 0) std::fprintf(stderr, "tabdump: no field %s\n", name);
  tabdef_free(t);
  return ok ? 0 : tabdump_fail();
}

int tabdump_find(const char* path, const char* name, const char* key_text) {
  TableDef* t = open_tab(path);
  if (t == nullptr) return tabdump_fail();
  const int32_t f = field_named(t, name);
  if (f < 0 || t->fields[f].index == nullptr || t->index == nullptr) {
    if (f < 0) std::fprintf(stderr, "tabdump: no field %s\n", name);
    else err_push(4, kErrIndexGet, nullptr, nullptr);
    tabdef_free(t);
    return tabdump_fail();
  }
  FieldDef& fd = t->fields[f];
  FieldIndex* fi = fd.index;
  KeyBuf key;
  Value parsed{};
  int rc = 0;
  const int16_t decimals = static_cast<int16_t>(fd.decimals);
  if (!keybuf_init(&key, fd.value.type, fd.value.type == VALUE_CHAR ? 255 : fd.width) ||
      !value_parse(key_text, fd.value.type, 255, decimals, 1, &parsed) ||
      !key_set_value(&parsed, &key, fd.value.type == VALUE_DECIMAL ? decimals : -1, index_language_key(t->index))) {
    rc = tabdump_fail();
  } else if (!index_file_begin(t->index, 1)) {
    rc = tabdump_fail();
  } else {
    if (field_index_seek(t->index, fi, &key)) {
      std::printf("%d\n", key.row);
      const std::vector<uint8_t> found(fi->key.bytes, fi->key.bytes + fi->key.width);
      while (field_index_next(t->index, fi, nullptr) &&
             std::memcmp(fi->key.bytes, found.data(), found.size()) == 0)
        std::printf("%d\n", fi->key.row);
    }
    index_file_end(t->index);
  }
  value_free(&parsed);
  keybuf_free(&key);
  tabdef_free(t);
  return rc;
}

int tabdump_registered(const char* path, const std::string& type_clause, const std::string& dir, bool memory) {
  char name[kTableNameSize];
  path_to_table_name(path, name);
  const std::string target = dir + "/" + name + ".TAB";
  char full[kPathSize];
  if (realpath(path, full) == nullptr) str_copy_n(full, path, sizeof full);
  const std::string stmt = "Register Table \"" + std::string(full) + "\"" + type_clause + " Into \"" + target + "\"";
  if (!stmt_exec_text(stmt.c_str(), 0)) return tabdump_fail();
  TableDef* t = open_definition(target.c_str());
  return t != nullptr ? print_and_free(t, memory) : tabdump_fail();
}
