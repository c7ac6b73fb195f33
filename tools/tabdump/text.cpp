// tabdump's delimited-text commands (see text.h). The file is described
// through the table-type dispatch as a Type clause's options set it (a .csv
// under the comma-separated type), then opened as a delimited-text table
// with the same delimiter and its rows printed.
#include "tools/tabdump/text.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabtype.h"
#include "tools/tabdump/rows.h"

namespace {

bool set_options(TableDef* t, const TextOptions& o, int32_t type) {
  t->storage.type = static_cast<uint8_t>(type);
  typeopts_init(&t->storage.options, type);
  auto* a = std::get_if<AsciiOptions>(&t->storage.options);
  if (o.delimiter >= 0) a->delimiter = static_cast<uint8_t>(o.delimiter);
  a->titles = o.titles ? 1 : 0;
  if (!o.charset.empty()) {
    const int16_t cs = charset_from_name(o.charset.c_str());
    if (cs < 0) {
      std::fprintf(stderr, "tabdump: unknown charset %s\n", o.charset.c_str());
      return false;
    }
    a->charset = cs;
  }
  return true;
}

// The Type clause of a Register Table statement for these options.
std::string type_clause(const TableDef* t) {
  const auto* a = std::get_if<AsciiOptions>(&t->storage.options);
  std::string c = " Type ASCII Delimiter " + std::to_string(a->delimiter);
  if (a->titles) c += " Titles";
  c += " Charset \"";
  c += charset_name(a->charset);
  c += "\"";
  return c;
}

}  // namespace

int tabdump_text(const char* path, const TextOptions& o) {
  TableDef* t = tabdef_new();
  const int32_t type = o.csv ? TABTYPE_CSV : TABTYPE_ASCII;
  if (!set_options(t, o, type)) {
    tabdef_free(t);
    return 2;
  }
  bool ok = tabtype_read_fields(path, t) != 0;
  if (ok) tabtype_close(&t->storage, nullptr);
  if (ok && !o.keep.empty()) {
    const int rc = tabdump_registered(path, type_clause(t), o.keep, o.memory);
    tabdef_free(t);
    return rc;
  }
  // A table is read as delimited text, whatever type described it.
  t->storage.type = TABTYPE_ASCII;
  t->storage.field_count = t->field_count;
  ok = ok && tabtype_open(path, 0, &t->storage, TABTYPE_ASCII, &t->field_count, &t->fields) &&
       tabtype_begin_access(t, &t->storage, 1);
  if (!ok) {
    tabdef_free(t);
    return tabdump_fail();
  }
  tabdump_print_table(t, o.memory);
  tabtype_end_access(&t->storage);
  tabtype_close(&t->storage, nullptr);
  tabdef_free(t);
  return 0;
}

int tabdump_text_create(const char* path, const TextOptions& o, const char* columns) {
  std::vector<FieldDef> cols;
  if (!tabdump_parse_columns(columns, &cols)) {
    std::fprintf(stderr, "tabdump: bad --columns\n");
    return 2;
  }
  TableDef* t = tabdef_new();
  const int32_t type = o.csv ? TABTYPE_CSV : TABTYPE_ASCII;
  if (!set_options(t, o, type)) {
    tabdef_free(t);
    return 2;
  }
  const auto n = static_cast<int32_t>(cols.size());
  t->fields = fieldlist_new(n);
  if (t->fields == nullptr) {
    tabdef_free(t);
    return tabdump_fail();
  }
  std::memcpy(static_cast<void*>(t->fields), cols.data(), cols.size() * sizeof(FieldDef));
  t->field_count = n;
  const TypeOptions options = t->storage.options;
  bool ok = tabtype_create(path, nullptr, 0, 0, &t->storage, type, n, t->fields, &options, 0) != 0;
  if (ok) {
    // Rows go in under the delimited-text type (the comma-separated one
    // only creates and describes).
    tabtype_close(&t->storage, t->fields);
    for (int32_t i = 0; i < n; ++i) value_init(&t->fields[i].value, cols[static_cast<size_t>(i)].value.type, nullptr);
    t->storage.type = TABTYPE_ASCII;
    t->storage.field_count = n;
    ok = tabtype_open(path, 0, &t->storage, TABTYPE_ASCII, &t->field_count, &t->fields) &&
         tabtype_begin_access(t, &t->storage, 2);
  }
  ok = ok && tabdump_insert_stdin(t);
  if (t->storage.nesting > 0 && !tabtype_end_access(&t->storage)) ok = false;
  if (t->storage.data_file > 0) tabtype_close(&t->storage, nullptr);
  tabdef_free(t);
  return ok ? 0 : tabdump_fail();
}
