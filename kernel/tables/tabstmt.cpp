// Create Table, Insert Into, Commit Table and Set Table over native tables
// made by the statement runner.
#include "kernel/tables/tabstmt.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/lang/keywords.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/stmt_readers.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabtype.h"
#include "kernel/tables/tabwrite.h"

namespace {

constexpr int16_t kErrTableNotOpen = 311;
constexpr int16_t kErrUnexpected = 851;
constexpr int16_t kKwTable = 1089;
constexpr int16_t kKwFile = 1064;
constexpr int16_t kKwInto = 1074;
constexpr int16_t kKwValues = 1129;
constexpr int16_t kKwFastEdit = 1626;
constexpr int16_t kKwUndo = 1662;
constexpr int16_t kKwOn = 1079;
constexpr int16_t kKwOff = 1108;
constexpr int16_t kTokMinus = 13;

struct MadeTable {
  std::string name;
  TableDef* table;
};

std::vector<MadeTable>& made() {
  static std::vector<MadeTable> tables;
  return tables;
}

MadeTable* find_made(const std::string& name) {
  for (MadeTable& m : made()) {
    if (mb_str_equal_nocase(m.name.c_str(), name.c_str())) return &m;
  }
  return nullptr;
}

bool unexpected(const char* after) {
  err_push(4, kErrUnexpected, lex_has_token() ? lex_token_text() : "", after);
  return false;
}

// A table or column name: a quoted string or any word (keywords too).
bool read_name(std::string* out, const char* after) {
  if (!lex_has_token() || !(lex_is(kTokIdentifier) || lex_is(kTokString))) return unexpected(after);
  *out = lex_token_text();
  lex_next();
  return !out->empty() || unexpected(after);
}

bool read_count(int32_t* out) {
  if (!lex_is(kTokNumber)) return unexpected("(");
  const long v = std::strtol(lex_token_text(), nullptr, 10);
  if (v < 0 || v > 255) return unexpected("(");
  *out = static_cast<int32_t>(v);
  lex_next();
  return true;
}

struct ColumnType {
  const char* word;
  uint8_t type;
  int16_t sizes;  // numbers in brackets after the word
};
constexpr ColumnType kTypes[] = {{"CHAR", 1, 1},     {"DECIMAL", 2, 2}, {"INTEGER", 3, 0},  {"SMALLINT", 4, 0},
                                 {"DATE", 5, 0},     {"LOGICAL", 6, 0}, {"FLOAT", 8, 0},    {"TIME", 37, 0},
                                 {"DATETIME", 38, 0}};

bool read_column(FieldDef* f) {
  std::string name;
  if (!read_name(&name, "(")) return false;
  str_copy_n(f->name, name.c_str(), sizeof f->name);
  std::string word;
  if (!read_name(&word, f->name)) return false;
  const ColumnType* type = nullptr;
  for (const ColumnType& t : kTypes) {
    if (mb_str_equal_nocase(word.c_str(), t.word)) type = &t;
  }
  if (type == nullptr) {
    err_push(4, kErrUnexpected, word.c_str(), f->name);
    return false;
  }
  int32_t width = type->type == 2 ? 20 : 0, decimals = 0;
  if (type->sizes > 0) {
    if (!stmt_require(kTokOpen) || !read_count(&width)) return false;
    if (type->sizes > 1 && stmt_accept(kTokComma) && !read_count(&decimals)) return false;
    if (!stmt_require(kTokClose)) return false;
  }
  if (type->type == 1 && (width < 1 || width > 254)) return unexpected(word.c_str());
  value_init(&f->value, type->type, nullptr);
  f->value.type = type->type;
  f->width = static_cast<uint8_t>(width);
  f->decimals = static_cast<uint8_t>(decimals);
  return true;
}

bool make_table(const std::string& name, std::vector<FieldDef>& columns, const std::string& file) {
  char path[kPathSize];
  str_copy_n(path, file.empty() ? (name + ".TAB").c_str() : file.c_str(), sizeof path);
  TableDef* t = tabdef_new();
  if (t == nullptr) return false;
  t->storage.type = TABTYPE_NATIVE;
  typeopts_init(&t->storage.options, TABTYPE_NATIVE);
  t->version = t->read_entire = t->edit = 300;
  path_to_table_name(path, t->name);
  const int32_t count = static_cast<int32_t>(columns.size());
  t->fields = fieldlist_new(count);
  bool ok = t->fields != nullptr;
  if (ok) {
    t->field_count = count;
    for (int32_t i = 0; i < count; ++i) {
      FieldDef& f = t->fields[i];
      std::memcpy(f.name, columns[static_cast<size_t>(i)].name, sizeof f.name);
      f.width = columns[static_cast<size_t>(i)].width;
      f.decimals = columns[static_cast<size_t>(i)].decimals;
      value_init(&f.value, columns[static_cast<size_t>(i)].value.type, nullptr);
      f.value.type = columns[static_cast<size_t>(i)].value.type;
    }
    ok = tabtype_create(path, nullptr, -1, 0, &t->storage, TABTYPE_NATIVE, count, t->fields, nullptr, 0) != 0;
    t->def_file = ok ? file_register_nocheck(path, 1) : 0;
    ok = ok && t->def_file > 0 && tabfile_write(t, nullptr, nullptr, nullptr);
  }
  tabdef_free(t);
  if (!ok) return false;
  const int32_t def = file_register(path, 1);
  if (def <= 0) return false;
  TableDef* open = table_open_file(def);
  if (open == nullptr) {
    file_unregister(def);
    return false;
  }
  if (!tabtype_begin_access(open, &open->storage, 2)) {
    tabdef_free(open);
    return false;
  }
  made().push_back({name, open});
  return true;
}

// One value of the Values list as text: a string, or a number with its sign.
bool read_value(std::string* out) {
  const bool negative = stmt_accept(kTokMinus);
  if (lex_is(kTokNumber)) {
    char text[kLexBufSize + 2];
    std::snprintf(text, sizeof text, "%s%s", negative ? "-" : "", lex_token_text());
    *out = text;
  } else if (!negative && lex_is(kTokString)) {
    *out = lex_token_text();
  } else {
    return unexpected("Values");
  }
  lex_next();
  return true;
}

}  // namespace

int16_t stmt_create_table() {
  lex_next();  // "Table"
  std::string name;
  if (!read_name(&name, "Table")) return 0;
  if (find_made(name) != nullptr) {
    err_push(4, kErrUnexpected, name.c_str(), "Table");
    return 0;
  }
  if (!stmt_require(kTokOpen)) return 0;
  std::vector<FieldDef> columns;
  bool ok = true;
  do {
    columns.push_back(FieldDef{});
    ok = read_column(&columns.back());
  } while (ok && stmt_accept(kTokComma));
  ok = ok && stmt_require(kTokClose);
  std::string file;
  if (ok && stmt_accept(kKwFile)) {
    if (!lex_is(kTokString)) ok = unexpected("File");
    else file = lex_token_text(), lex_next();
  }
  if (ok && lex_has_token() && !stmt_at(kTokSemicolon)) ok = unexpected(")");
  if (ok) ok = make_table(name, columns, file);
  for (FieldDef& f : columns) value_free(&f.value);
  return ok ? 1 : 0;
}

int16_t stmt_insert_into() {
  lex_next();  // "Insert"
  if (!stmt_require(kKwInto)) return 0;
  std::string name;
  if (!read_name(&name, "Into")) return 0;
  MadeTable* m = find_made(name);
  if (m == nullptr) {
    err_push(4, kErrTableNotOpen, name.c_str(), nullptr);
    return 0;
  }
  if (!stmt_require(kKwValues) || !stmt_require(kTokOpen)) return 0;
  TableDef* t = m->table;
  for (int32_t i = 0; i < t->field_count; ++i) {
    if (i > 0 && !stmt_require(kTokComma)) return 0;
    std::string text;
    if (!read_value(&text)) return 0;
    FieldDef& f = t->fields[i];
    const uint8_t type = f.value.type;
    Value v{};
    if (!value_parse(text.c_str(), type, f.width, f.decimals, 1, &v)) return 0;
    value_free(&f.value);
    f.value = v;
    f.value.type = type;
  }
  if (!stmt_require(kTokClose)) return 0;
  int32_t row = 0;
  return tabtype_insert_row(&t->storage, t->fields, &row);
}

int16_t stmt_commit_table() {
  lex_next();  // "Commit"
  if (!stmt_require(kKwTable)) return 0;
  std::string name;
  if (!read_name(&name, "Table")) return 0;
  MadeTable* m = find_made(name);
  if (m == nullptr) {
    err_push(4, kErrTableNotOpen, name.c_str(), nullptr);
    return 0;
  }
  TableDef* t = m->table;
  made().erase(made().begin() + (m - made().data()));
  const int16_t ok = tabtype_end_access(&t->storage);
  tabdef_free(t);
  return ok;
}

int16_t stmt_set_table() {
  lex_next();  // "Set"
  if (!stmt_require(kKwTable)) return 0;
  std::string name;
  if (!read_name(&name, "Table")) return 0;
  // Fast edit and undo change nothing here: rows go straight into the
  // storage and a table is written once, at Commit Table.
  while (lex_has_token() && !stmt_at(kTokSemicolon)) {
    if (stmt_accept(kKwFastEdit) || stmt_accept(kKwUndo)) {
      if (!stmt_accept(kKwOn) && !stmt_accept(kKwOff)) return unexpected("FastEdit") ? 1 : 0;
    } else {
      return unexpected(name.c_str()) ? 1 : 0;
    }
  }
  return 1;
}

int32_t stmt_open_made_tables() { return static_cast<int32_t>(made().size()); }

void stmt_made_tables_reset() {
  for (MadeTable& m : made()) {
    tabtype_end_access(&m.table->storage);
    tabdef_free(m.table);
  }
  made().clear();
}
