// The Excel workbook driver (type 4): a range of one worksheet read as a
// read-only table through the workbook reader (biff.h). See
// docs/foreign-tables.md.
#include "kernel/drivers/xls.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "kernel/drivers/biff.h"
#include "kernel/drivers/foreign.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/storage/tabtype_ops.h"

namespace {

constexpr int32_t kMaxColumns = 250;
constexpr const char* kEntireWorksheet = "Entire Worksheet";

SheetOptions* opts(StorageDesc* s) { return std::get_if<SheetOptions>(&s->options); }
XlsReader* reader_of(StorageDesc* s) {
  SheetOptions* o = opts(s);
  return o != nullptr ? static_cast<XlsReader*>(o->reader) : nullptr;
}

XlsReader* ensure_reader(StorageDesc* s) {
  SheetOptions* o = opts(s);
  if (o == nullptr) return nullptr;
  if (o->reader == nullptr) {
    try {
      o->reader = new XlsReader;
    } catch (const std::bad_alloc&) {
      err_push(4, kErrReaderMemory, nullptr, nullptr);
      return nullptr;
    }
  }
  return static_cast<XlsReader*>(o->reader);
}

void drop_reader(StorageDesc* s) {
  if (SheetOptions* o = opts(s)) {
    delete static_cast<XlsReader*>(o->reader);
    o->reader = nullptr;
  }
}

const char* range_label(const SheetOptions* o) { return o->range.empty() ? kEntireWorksheet : o->range.c_str(); }

// 732 for an inverted range, 529 for one over 250 columns.
bool range_sound(const XlsRect& rect, const SheetOptions* o) {
  const int64_t columns = static_cast<int64_t>(rect.last_column) - rect.first_column + 1;
  if (columns > kMaxColumns) {
    err_push(4, kErrRangeTooWide, range_label(o), nullptr);
    return false;
  }
  if (rect.last_column < rect.first_column || rect.last_row < rect.first_row) {
    err_push(4, kErrRangeReversed, range_label(o), nullptr);
    return false;
  }
  return true;
}

// Opens the reader, reads the globals and resolves the range; the reader
// keeps its file use (the caller releases it).
bool load_range(StorageDesc* s, XlsReader* r, XlsRect* rect) {
  SheetOptions* o = opts(s);
  if (!xls_reader_open(r, s->data_file, 1)) return false;
  const bool used = xls_read_globals(r, rect);
  if (r->last_error != 0) return false;
  xls_names_resolve(r);
  if (!o->range.empty()) {
    if (!xls_resolve_range(r, o->range.c_str(), rect)) {
      err_push(4, kErrRangeNotFound, o->range.c_str(), nullptr);
      return false;
    }
  } else if (!used) {
    return false;
  }
  if (!xls_select_sheet(r, rect->sheet)) return false;
  r->last_error = 0;
  return true;
}

void store_range(StorageDesc* s, const XlsRect& rect) {
  SheetOptions* o = opts(s);
  o->first_column = rect.first_column;
  o->first_row = rect.first_row;
  s->row_count = rect.last_row - rect.first_row + 1;
}

void report(StorageDesc* s, const XlsReader* r) {
  if (err_count() == 0) xls_report_file_error(s->data_file, r != nullptr ? r->last_error : 0);
}

// The merge of a cell's type into its column's.
int32_t merge_type(int32_t column, int32_t cell) {
  switch (cell) {
    case 0: return column;
    case VALUE_INTEGER:
      if (column == 0 || column == VALUE_SMALLINT || column == VALUE_INTEGER) return VALUE_INTEGER;
      if (column == VALUE_DATE || column == VALUE_TIME || column == VALUE_DATETIME) return VALUE_CHAR;
      return column;
    case VALUE_FLOAT: return column == VALUE_CHAR ? column : VALUE_FLOAT;
    case VALUE_DATE:
      if (column == 0 || column == VALUE_DATE) return VALUE_DATE;
      return column == VALUE_TIME || column == VALUE_DATETIME ? VALUE_DATETIME : VALUE_CHAR;
    case VALUE_TIME:
      if (column == 0 || column == VALUE_TIME) return VALUE_TIME;
      return column == VALUE_DATE || column == VALUE_DATETIME ? VALUE_DATETIME : VALUE_CHAR;
    case VALUE_DATETIME:
      return column == 0 || column == VALUE_DATE || column == VALUE_TIME || column == VALUE_DATETIME ? VALUE_DATETIME
                                                                                                    : VALUE_CHAR;
    case VALUE_LOGICAL: return column == 0 || column == VALUE_LOGICAL ? VALUE_LOGICAL : VALUE_CHAR;
    default: return VALUE_CHAR;
  }
}

}  // namespace

int32_t xls_merge_column_type(int32_t column, int32_t cell) { return merge_type(column, cell); }

bool xls_infer_columns(FieldDef** out, StorageDesc* s, XlsReader* r, const XlsRect& rect) {
  SheetOptions* o = opts(s);
  const int32_t n = rect.last_column - rect.first_column + 1;
  if (n <= 0 || n > kMaxColumns) return false;
  FieldDef* fields = fieldlist_new(n);
  if (fields == nullptr) return false;
  std::vector<int32_t> types(static_cast<size_t>(n), 0), widths(static_cast<size_t>(n), 0);
  for (int32_t i = 0; i < n; ++i) str_copy_n(fields[i].name, xls_column_name(r, rect.first_column + i).c_str(), kTableNameSize);
  const std::vector<XlsCellEntry> cells = r->cells;
  for (const XlsCellEntry& e : cells) {
    const bool title = o->titles && e.row == static_cast<int64_t>(rect.first_row) - 1;
    if (!title && (e.row < rect.first_row || e.row > rect.last_row)) continue;
    for (int32_t c = std::max(e.first_column, rect.first_column); c <= e.last_column && c <= rect.last_column; ++c) {
      r->column = c;
      const Value* v = xls_cell_value(r, &e);
      const auto k = static_cast<size_t>(c - rect.first_column);
      if (title) {
        char text[256] = {};
        value_to_text_plain(v, text, sizeof text, 0);
        text[30] = '\0';
        column_name_sanitize(text);
        if (text[0] != '\0') str_copy_n(fields[k].name, text, kTableNameSize);
        continue;
      }
      int32_t type = 0, width = 0;
      xls_cell_type_width(v, &type, &width);
      types[k] = merge_type(types[k], type);
      if (width > widths[k]) widths[k] = width;
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    const auto k = static_cast<size_t>(i);
    int32_t type = types[k], width = widths[k];
    if (type == 0) type = VALUE_CHAR, width = 1;
    if (width < 1) width = 1;
    if (width > 254) width = 254;
    value_init(&fields[i].value, type, nullptr);
    fields[i].width = static_cast<uint8_t>(width);
    fields[i].decimals = 0;
  }
  *out = fields;
  return true;
}

int16_t xls_create(StorageDesc*, FieldDef*) { return 0; }

int16_t xls_open(StorageDesc* s, FieldDef*) {
  SheetOptions* o = opts(s);
  XlsReader* r = ensure_reader(s);
  if (o == nullptr || r == nullptr) return 0;
  XlsRect rect;
  bool ok = load_range(s, r, &rect);
  if (!ok) report(s, r);
  ok = ok && range_sound(rect, o);
  if (ok && s->field_count != rect.last_column - rect.first_column + 1) {
    err_push(4, kErrRangeColumns, range_label(o), nullptr);
    ok = false;
  }
  if (ok) {
    store_range(s, rect);
    ok = sheet_hold_open(s);
  }
  xls_reader_close(r);
  return ok ? 1 : 0;
}

int16_t xls_describe(StorageDesc* s, FieldDef** out, int32_t* count) {
  *out = nullptr;
  *count = 0;
  SheetOptions* o = opts(s);
  XlsReader* r = ensure_reader(s);
  if (o == nullptr || r == nullptr) return 0;
  XlsRect rect;
  bool ok = load_range(s, r, &rect);
  xls_reader_close(r);
  if (!ok) {
    report(s, r);
    return 0;
  }
  if (!range_sound(rect, o)) return 0;
  FieldDef* fields = nullptr;
  if (!xls_infer_columns(&fields, s, r, rect)) {
    report(s, r);
    return 0;
  }
  store_range(s, rect);
  s->field_count = rect.last_column - rect.first_column + 1;
  *out = fields;
  *count = s->field_count;
  xls_reader_free(r);
  return 1;
}

int16_t xls_begin_access(StorageDesc* s, int16_t mode, int16_t*) {
  XlsReader* r = reader_of(s);
  if (r == nullptr) return 0;
  if (!xls_reader_open(r, s->data_file, mode)) {
    report(s, r);
    return 0;
  }
  if (r->sheet < 0) {
    r->last_error = kXlsNoSheetBof;
    xls_reader_close(r);
    report(s, r);
    return 0;
  }
  return 1;
}

int16_t xls_end_access(StorageDesc* s) {
  if (XlsReader* r = reader_of(s)) xls_reader_close(r);
  return 1;
}

int16_t xls_read_row(StorageDesc* s, int32_t n, FieldDef* fields, int16_t*) {
  SheetOptions* o = opts(s);
  XlsReader* r = reader_of(s);
  if (o == nullptr || r == nullptr) return 0;
  const int64_t row = static_cast<int64_t>(o->first_row) + n - 1;
  for (int32_t i = 0; i < s->field_count; ++i) {
    const XlsCellEntry* e = nullptr;
    if (n >= 1 && row <= INT32_MAX) e = xls_find_cell(r, o->first_column + i, static_cast<int32_t>(row));
    sheet_store_cell(&fields[i].value, e != nullptr ? xls_cell_value(r, e) : nullptr);
  }
  s->current_row = n;
  return 1;
}

int16_t xls_batch_begin(StorageDesc* s) { return sheet_hold_open(s) ? 1 : 0; }

int16_t xls_batch_end(StorageDesc* s) { return sheet_release_held(s); }

int16_t xls_close(StorageDesc* s) {
  xls_batch_end(s);
  if (XlsReader* r = reader_of(s)) xls_reader_close(r);
  drop_reader(s);
  return 1;
}

int32_t xls_table_version(const StorageDesc* storage) {
  const auto* o = std::get_if<SheetOptions>(&storage->options);
  const auto* r = o != nullptr ? static_cast<const XlsReader*>(o->reader) : nullptr;
  return r != nullptr && r->biff == 8 ? 450 : 300;
}

const TabTypeDriver* xls_driver() {
  static constexpr TabTypeDriver kDriver = {xls_create,     xls_open,  xls_describe,  xls_begin_access,
                                            xls_end_access, xls_close, xls_read_row,  nullptr,
                                            nullptr,        nullptr,   xls_batch_begin, xls_batch_end};
  return &kDriver;
}
