// Table API entries for tables, rows and columns: open and close, the
// column descriptions, row counts, row texts and row objects, key
// searches, view definitions, and the writing entries (row inserts,
// field indexes, new tables from column lists).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/drivers/ascii_text.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/runtime/valcmp.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/api/tabapi_map.h"
#include "kernel/tables/register.h"
#include "kernel/tables/index/fieldbuild.h"
#include "kernel/tables/lang/metadata.h"
#include "kernel/tables/storage/tabtype_ops.h"
#include "kernel/tables/tabread.h"
#include "kernel/tables/tabtype.h"
#include "kernel/tables/tabwrite.h"

namespace {

void (*g_row_seam)() = nullptr;

bool copy_path(const char* path, char* out) {
  if (path == nullptr) return false;
  const size_t n = std::strlen(path);
  if (n == 0 || n >= static_cast<size_t>(kApiPathSize)) return false;
  std::memcpy(out, path, n + 1);
  return true;
}

bool is_numeric_type(int32_t type) {
  return type == VALUE_DECIMAL || type == VALUE_INTEGER || type == VALUE_SMALLINT || type == VALUE_FLOAT ||
         type == VALUE_LARGEINT;
}

// The length of a text in double quotes with its inner quotes doubled.
size_t quoted_length(const char* text) {
  size_t n = 2;
  for (const char* p = text; *p != '\0'; ++p) n += *p == '"' ? 2 : 1;
  return n;
}

void quote_into(const char* text, char* out) {
  *out++ = '"';
  for (const char* p = text; *p != '\0'; ++p) {
    *out++ = *p;
    if (*p == '"') *out++ = '"';
  }
  *out++ = '"';
  *out = '\0';
}

// Builds the row text of the table's current field values. False when the
// text would need 3,999 characters or more (nothing pushed); the buffer
// then holds the fields that fitted.
bool build_row_text(const TableDef* t, char* text) {
  static char scratch[kApiRowTextSize + 1];
  const bool raw = tabapi_state().raw_text != 0;
  size_t used = 0;
  text[0] = '\0';
  for (int32_t i = 0; i < t->field_count; ++i) {
    const FieldDef& f = t->fields[i];
    // A buffer sized by the field first (the text writers fill the whole
    // buffer behind the text); a text that fills it is made again in the
    // full buffer, so nothing is ever cut.
    const int32_t small = std::min<int32_t>(kApiRowTextSize, std::max<int32_t>(f.width, 32) + 32);
    value_to_text_full(&f.value, scratch, small, f.decimals, 0);
    if (std::strlen(scratch) + 1 >= static_cast<size_t>(small) && small < kApiRowTextSize) {
      value_to_text_full(&f.value, scratch, kApiRowTextSize, f.decimals, 0);
    }
    const bool quote = !raw && !is_numeric_type(f.value.type);
    const size_t len = quote ? quoted_length(scratch) : std::strlen(scratch);
    // What is written, quotes included, and the separator after it.
    if (used + len + 1 >= static_cast<size_t>(kApiRowTextSize - 1)) return false;
    if (quote) {
      quote_into(scratch, text + used);
    } else {
      std::memcpy(text + used, scratch, len + 1);
    }
    used += len;
    if (i + 1 < t->field_count) {
      text[used++] = '\t';
      text[used] = '\0';
    }
  }
  return true;
}

// Clears the key-search marks of fields 1 to 88.
void clear_marks(ApiSlot* s) { std::memset(s->marks, 0, 11); }

// Splits a row line at TABs into the table's fields: each piece unquoted
// and parsed into its field; missing pieces clear the field.
bool fields_from_line(TableDef* t, const char* line) {
  std::string copy = line != nullptr ? line : "";
  char* piece = ascii_tokenize(copy.data(), '\t');
  for (int32_t i = 0; i < t->field_count; ++i) {
    FieldDef& f = t->fields[i];
    const int32_t type = f.value.type;
    if (piece == nullptr) {
      value_free(&f.value);
      value_init(&f.value, type, nullptr);
      f.value.type = static_cast<uint8_t>(type);
      continue;
    }
    std::string text(piece);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
      std::string inner;
      for (size_t k = 1; k + 1 < text.size(); ++k) {
        inner += text[k];
        if (text[k] == '"' && k + 2 < text.size() && text[k + 1] == '"') ++k;
      }
      text = inner;
    }
    Value v{};
    value_parse(text.c_str(), type, f.width, f.decimals, 1, &v);
    value_free(&f.value);
    f.value = v;
    f.value.type = static_cast<uint8_t>(type);
    piece = ascii_tokenize(nullptr, '\t');
  }
  return true;
}

}  // namespace

void tabapi_set_row_seam(void (*seam)()) { g_row_seam = seam; }

namespace {

// The trace file of a traced open: created as a text file in the current
// character set; 0 when it cannot be.
int32_t open_trace(const char* path) {
  const int32_t h = file_register(path, 3);
  if (h <= 0) return 0;
  if (file_open_text(h, 3, nullptr) == 0) {
    file_unregister(h);
    return 0;
  }
  file_set_charset(h, charset_current());
  return h;
}

void close_trace(int32_t trace) {
  if (trace == 0) return;
  file_release_text(trace);
  file_unregister(trace);
}

}  // namespace

int32_t TabApiOpenTable(const char* path, int32_t mode, const char* trace_path) {
  if (trace_path != nullptr && mode != 1) return 0;
  int32_t result = 0;
  tabapi_entry([&]() -> int16_t {
    char buf[kApiPathSize];
    if (!copy_path(path, buf)) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    if (file_find(buf, 1) > 0) {
      err_push(4, kApiErrOpenTwice, nullptr, nullptr);
      return 0;
    }
    const int32_t def = file_register(buf, 1);
    if (def <= 0) return 0;
    TableDef* t = table_open_file(def);
    if (t == nullptr) {
      file_unregister(def);
      return 0;
    }
    if (t->linked) mode = 1;
    bool entered = false;
    if (tabtype_begin_access(t, &t->storage, static_cast<int16_t>(mode))) {
      if (apimap_begin(t, mode)) {
        if (apiindex_begin(t, mode)) {
          entered = true;
        } else {
          apimap_end(t);
          tabtype_end_access(&t->storage);
        }
      } else {
        tabtype_end_access(&t->storage);
      }
    }
    int32_t trace = 0;
    if (entered && trace_path != nullptr) {
      // Every object read is written to the trace file as statement text.
      trace = open_trace(trace_path);
      if (trace == 0) {
        apiindex_end(t);
        apimap_end(t);
        tabtype_end_access(&t->storage);
        entered = false;
      }
    }
    if (!entered) {
      tabdef_free(t);
      return 0;
    }
    const int32_t slot = table_register(t->def_file, t, nullptr, mode, 1, trace);
    if (slot == 0) {
      const int16_t code = static_cast<int16_t>(err_first_code());
      close_trace(trace);
      apiindex_end(t);
      apimap_end(t);
      tabtype_end_access(&t->storage);
      tabdef_free(t);
      err_clear();
      err_push(4, code, buf, nullptr);
      return 0;
    }
    result = slot;
    return 1;
  });
  return result;
}

int32_t TabApiOpenTableFile(const char* path, int32_t mode) { return TabApiOpenTable(path, mode, nullptr); }

int32_t TabApiOpenTableTraced(const char* path, const char* trace_path) {
  return TabApiOpenTable(path, 1, trace_path);
}

int16_t TabApiCloseTable(int32_t slot, int16_t end_access) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0)) return 0;
    ApiSlot* s = api_slot(slot);
    TableDef* t = s->table;
    if (s->cursor_open) apimap_cursor_close(s);
    close_trace(s->trace);
    if (end_access) {
      if (t->storage.nesting > 0 && !tabtype_end_access(&t->storage)) return 0;
      apimap_end(t);
      apiindex_end(t);
    }
    tabdef_free(t);
    *s = ApiSlot{};
    return 1;
  });
}

int16_t TabApiCloseTableCommit(int32_t slot) { return TabApiCloseTable(slot, 1); }

int16_t TabApiGetRowCount(int32_t slot, int32_t* out) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0)) return 0;
    if (out != nullptr) *out = api_slot(slot)->table->storage.row_count;
    return 1;
  });
}

int16_t TabApiGetFieldCount(int32_t slot, int32_t* out) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0)) return 0;
    if (out != nullptr) *out = api_slot(slot)->table->field_count;
    return 1;
  });
}

int16_t TabApiGetFieldInfo(int32_t slot, ColumnInfo* out) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0) || out == nullptr) return 0;
    const TableDef* t = api_slot(slot)->table;
    for (int32_t i = 0; i < t->field_count; ++i) {
      const FieldDef& f = t->fields[i];
      ColumnInfo& c = out[i];
      std::memset(c.name, 0, sizeof c.name);
      std::memcpy(c.name, f.name, strnlen(f.name, sizeof c.name - 1));
      c.type = f.value.type;
      c.width = f.width;
      c.decimals = f.decimals;
      c.indexed = f.index != nullptr ? 1 : 0;
    }
    return 1;
  });
}

int16_t TabApiRewindObjects(int32_t slot) {
  ApiSlot* s = api_slot(slot);
  if (s->cursor_open) return 1;
  s->cursor_open = apimap_cursor_open(s);
  return s->cursor_open;
}

int16_t TabApiCloseObjects(int32_t slot) {
  ApiSlot* s = api_slot(slot);
  if (s->cursor_open) apimap_cursor_close(s);
  s->cursor_open = 0;
  return 1;
}

int16_t TabApiRowToText(int32_t slot, int32_t row, char* text, MapObject* object) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0)) return 0;
    if (g_row_seam != nullptr) g_row_seam();
    ApiSlot* s = api_slot(slot);
    TableDef* t = s->table;
    if (!tabtype_read_row(&t->storage, t->fields, row)) {
      err_push(4, kApiErrRowRead, nullptr, nullptr);
      return 0;
    }
    if (text != nullptr && !build_row_text(t, text)) return 0;
    if (object != nullptr) {
      if (s->cursor_open) return apimap_fetch(s, row, 1, object);
      if (!apimap_cursor_open(s)) return 0;
      MapObject scratch;
      mapobj_init(&scratch, 0);
      const int16_t got = apimap_fetch(s, row, 1, &scratch);
      if (!got || scratch.type == 0 || !mapobj_copy(&scratch, object)) mapobj_set_type(object, 0);
      apimap_cursor_close(s);
    }
    return 1;
  });
}

int16_t TabApiReadRow(int32_t slot, int32_t row, char* text, ObjRecord* record, DRect* bounds, DPoint* centre) {
  return tabapi_entry([&]() -> int16_t {
    MapObject obj;
    mapobj_init(&obj, 0);
    if (!TabApiRowToText(slot, row, text, record != nullptr ? &obj : nullptr)) return 0;
    if (record == nullptr) return 1;
    std::memset(static_cast<void*>(record), 0, sizeof *record);
    ApiSlot* s = api_slot(slot);
    int16_t result = 1;
    if (obj.type != 0) {
      const CoordXform* table = apimap_xform(s->table);
      const CoordXform* target = s->output_set ? &s->output : nullptr;
      apimap_user_extent(&obj, table, target, bounds, centre);
      if (!object_to_objrec(&obj, record, table, target)) {
        std::memset(static_cast<void*>(record), 0, sizeof *record);
        result = 0;
      }
      if (s->trace != 0) {
        MapObject copy;
        mapobj_init(&copy, 0);
        if (objrec_to_object(record, &copy, target, table)) {
          TabApiTraceObject(&copy, table, s->trace);
        } else {
          err_push(4, kApiErrBadSlot, nullptr, nullptr);
          result = 0;
        }
        mapobj_free(&copy);
      }
    }
    if (!s->cursor_open) mapobj_free(&obj);
    return result;
  });
}

int16_t TabApiReadRowText(int32_t slot, int32_t row, char* text, ObjRecord* record) {
  return TabApiReadRow(slot, row, text, record, nullptr, nullptr);
}

int16_t TabApiFindRow(int32_t slot, int32_t field, char* key, int32_t mode, int32_t* row) {
  int16_t answer = 0;
  tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0)) return 0;
    ApiSlot* s = api_slot(slot);
    if (field < 1 || field > 256 || key == nullptr) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    const uint8_t bit = static_cast<uint8_t>(1u << ((field - 1) % 8));
    uint8_t& mark = s->marks[(field - 1) / 8];
    if (mode == 2 && (mark & bit) == 0) {
      answer = 3;
      return 1;
    }
    if (mode == 1) mark |= bit;
    TableDef* t = s->table;
    if (field > t->field_count) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    const FieldDef& f = t->fields[field - 1];
    if (f.index == nullptr) {
      err_push(4, kApiErrNoIndex, nullptr, nullptr);
      return 0;
    }
    const size_t n = std::strlen(key);
    if (n >= 2 && key[0] == '"' && key[n - 1] == '"') {
      std::memmove(key, key + 1, n - 2);
      key[n - 2] = '\0';
    }
    Value v{};
    value_parse(key, f.value.type, f.width, f.decimals, 1, &v);
    const int32_t found = mode == 1 ? apiindex_find_first(s, field - 1, &v) : apiindex_find_next(s, field - 1, &v);
    value_free(&v);
    if (row != nullptr) *row = found;
    answer = found != 0 ? 1 : 2;
    return 1;
  });
  return answer;
}

int16_t TabApiInsertRow(int32_t slot, const char* line, const ObjRecord* record, int32_t* row) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 2)) return 0;
    ApiSlot* s = api_slot(slot);
    TableDef* t = s->table;
    clear_marks(s);
    MapObject obj;
    mapobj_init(&obj, 0);
    const bool has_object = record != nullptr && record->code != 0;
    if (has_object) {
      if (!apimap_is_file(t)) {
        err_push(4, kApiErrNoMap, nullptr, nullptr);
        return 0;
      }
      if (!objrec_to_object(record, &obj, nullptr, apimap_xform(t))) {
        mapobj_free(&obj);
        err_push(4, kApiErrBadSlot, nullptr, nullptr);
        return 0;
      }
    }
    fields_from_line(t, line);
    int32_t n = 0;
    int16_t ok = tabtype_insert_row(&t->storage, t->fields, &n);
    if (ok) ok = apiindex_add_row(t, n);
    if (ok && has_object) {
      // An object the table's versions cannot hold raises them, and the
      // definition file is written again.
      const VersionTriple current{t->version, t->read_entire, t->edit};
      VersionTriple need = current;
      if (tabfile_min_version(&current, &need, &obj, t)) {
        version_copy_into(t, &need);
        if (!tabfile_write(t, nullptr, nullptr, nullptr)) {
          err_push(4, kApiErrObjectWrite, nullptr, nullptr);
          ok = 0;
        }
      }
    }
    if (ok && has_object && !apimap_write(t, n, &obj, 1)) {
      if (!err_count()) err_push(4, kApiErrObjectWrite, nullptr, nullptr);
      ok = 0;
    }
    mapobj_free(&obj);
    if (ok && row != nullptr) *row = n;
    return ok;
  });
}

int16_t TabApiUpdateRow(int32_t slot, int32_t row, const char* line, const ObjRecord* record) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 2)) return 0;
    ApiSlot* s = api_slot(slot);
    TableDef* t = s->table;
    clear_marks(s);
    if (!apiindex_remove_row(t, row)) return 0;
    fields_from_line(t, line);
    if (!tabtype_update_row(&t->storage, t->fields, row) || !apiindex_add_row(t, row)) return 0;
    if (record == nullptr) return 1;
    if (!apimap_is_file(t)) {
      err_push(4, kApiErrNoMap, nullptr, nullptr);
      return 0;
    }
    if (record->code == 0 || record->code == 200) return apimap_write(t, row, nullptr, 0);
    MapObject obj;
    mapobj_init(&obj, 0);
    int16_t ok = objrec_to_object(record, &obj, nullptr, apimap_xform(t));
    if (!ok) err_push(4, kApiErrBadSlot, nullptr, nullptr);
    if (ok && !apimap_write(t, row, &obj, 0)) {
      if (!err_count()) err_push(4, kApiErrObjectWrite, nullptr, nullptr);
      ok = 0;
    }
    mapobj_free(&obj);
    return ok;
  });
}

int16_t TabApiBuildFieldIndex(int32_t slot, int32_t field) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0)) return 0;
    ApiSlot* s = api_slot(slot);
    TableDef* t = s->table;
    clear_marks(s);
    if (field < 1 || field > t->field_count) return 0;
    const bool had_index = t->index != nullptr;
    if (!index_get_for_field(t, field - 1, 0, nullptr, nullptr)) return 0;
    // A new index file is entered like the table's others, so that the
    // keys of later inserts reach it before the close.
    if (!had_index && t->index != nullptr && !apiindex_begin(t, s->mode)) return 0;
    if (!tabfile_write(t, nullptr, nullptr, nullptr)) return 0;
    return 1;
  });
}

int16_t TabApiDropFieldIndex(int32_t slot, int32_t field) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 2)) return 0;
    ApiSlot* s = api_slot(slot);
    TableDef* t = s->table;
    clear_marks(s);
    if (field < 1 || field > t->field_count || t->fields[field - 1].index == nullptr || t->index == nullptr) {
      err_push(4, kApiErrNoIndex, nullptr, nullptr);
      return 0;
    }
    FieldDef& f = t->fields[field - 1];
    const int16_t dropped = field_index_drop(t->index, f.index);
    field_index_release(f.index);
    f.index = nullptr;
    bool any = false;
    for (int32_t i = 0; i < t->field_count; ++i) any = any || t->fields[i].index != nullptr;
    if (!any) {
      // No field is indexed any more: the index file goes.
      t->index->delete_at_close = 1;
      index_close(t->index);
      t->index = nullptr;
    }
    return dropped && tabfile_write(t, nullptr, nullptr, nullptr) ? 1 : 0;
  });
}

int16_t TabApiGetFieldIndexNumber(int32_t slot, int32_t field) {
  int16_t number = 0;
  tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0)) return 0;
    const TableDef* t = api_slot(slot)->table;
    if (field < 1 || field > t->field_count || t->fields[field - 1].index == nullptr) return 0;
    number = static_cast<int16_t>(t->fields[field - 1].index->number);
    return 1;
  });
  return number;
}

int16_t TabApiGetIndexedFields(int32_t slot, char* out) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0) || out == nullptr) return 0;
    const TableDef* t = api_slot(slot)->table;
    std::string text;
    for (int32_t i = 0; i < t->field_count; ++i) {
      const FieldDef& f = t->fields[i];
      if (f.index == nullptr) continue;
      text += f.name;
      text += '\t';
      text += std::to_string(f.index->number);
      text += '\t';
    }
    if (!text.empty()) text.pop_back();
    std::memcpy(out, text.c_str(), text.size() + 1);
    return 1;
  });
}

int16_t TabApiGetTablePath(int32_t slot, char* out) {
  if (out != nullptr) out[0] = '\0';
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 0, 0) || out == nullptr) return 0;
    const ApiSlot* s = api_slot(slot);
    const auto* points = static_cast<const CPointsFile*>(s->point_store);
    const int32_t file = s->kind == 2 ? (points != nullptr ? points->point_file : 0)
                                      : (s->table != nullptr ? s->table->def_file : 0);
    if (file <= 0) return 0;
    file_get_path(file, out);
    return out[0] != '\0' ? 1 : 0;
  });
}

int16_t TabApiGetTableVersion(int32_t slot, int32_t* edit_version, int32_t* storage_type) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 1, 0)) return 0;
    const TableDef* t = api_slot(slot)->table;
    if (edit_version != nullptr) *edit_version = t->edit;
    if (storage_type != nullptr) *storage_type = t->storage.type;
    return 1;
  });
}

int16_t TabApiCanHoldMemo(int32_t slot) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_table_check(slot, 2)) return 0;
    return tabtype_can_hold_memo(&api_slot(slot)->table->storage);
  });
}

namespace {

// Where the slot's table keeps its metadata tree.
MetadataNode** metadata_home(ApiSlot* s) {
  if (s->kind == 2) return s->point_store != nullptr ? &static_cast<CPointsFile*>(s->point_store)->metadata : nullptr;
  return s->table != nullptr ? &s->table->metadata : nullptr;
}

// The table's metadata tree; 1927 pushed when it has none.
MetadataNode* slot_metadata(ApiSlot* s) {
  MetadataNode** home = metadata_home(s);
  MetadataNode* tree = home != nullptr ? *home : nullptr;
  if (tree == nullptr) err_push(4, kApiErrNoMetadata, nullptr, nullptr);
  return tree;
}

}  // namespace

int16_t TabApiGetMetadata(int32_t slot, const char* key, char* out, int32_t size) {
  return tabapi_entry([&]() -> int16_t {
    if (out != nullptr && size > 0) out[0] = '\0';
    if (!api_slot_check(slot, 0, 0) || key == nullptr) return 0;
    MetadataNode* tree = slot_metadata(api_slot(slot));
    if (tree == nullptr) return 0;
    if (metadata_get(tree, key, out, size) <= 0) {
      if (out != nullptr && size > 0) out[0] = '\0';
      return 0;
    }
    return 1;
  });
}

int16_t TabApiSetMetadata(int32_t slot, const char* key, const char* value) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 0, 2) || key == nullptr) return 0;
    MetadataNode** home = metadata_home(api_slot(slot));
    if (home == nullptr) return 0;
    if (*home == nullptr) *home = metadata_new();
    MetadataNode* tree = *home;
    if (tree == nullptr) return 0;
    // A table its metadata marks read-only keeps its metadata.
    if (metadata_is_readonly(tree)) return 0;
    const bool was_empty = metadata_is_empty(tree) != 0;
    if (!metadata_set_text(tree, key, value != nullptr ? value : "")) return 0;
    if (was_empty) metadata_set(tree, "\\IsReadOnly", "FALSE");
    return 1;
  });
}

int16_t TabApiEnumMetadata(int32_t slot, const char* path, void (*callback)(const char* key, const char* value)) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 0, 0) || callback == nullptr) return 0;
    MetadataNode* tree = slot_metadata(api_slot(slot));
    if (tree == nullptr) return 0;
    MetadataIter it{};
    if (!metadata_enum_begin(&it, tree, path != nullptr ? path : "\\", 1)) {
      err_push(4, kApiErrMetadata, path, nullptr);
      return 0;
    }
    char key[kMetaKeySize], value[kMetaKeySize];
    while (metadata_enum_next(&it) && metadata_take_entry(&it, value, sizeof value, nullptr, 0)) {
      metadata_enum_path(&it, key, sizeof key);
      callback(key, value);
    }
    return 1;
  });
}

int16_t TabApiSaveMetadata(int32_t slot) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 0, 2)) return 0;
    ApiSlot* s = api_slot(slot);
    if (slot_metadata(s) == nullptr) return 0;
    if (s->kind == 2) return cpoints_save_metadata(static_cast<CPointsFile*>(s->point_store));
    return tabfile_write(s->table, nullptr, nullptr, nullptr);
  });
}

int16_t TabApiLoadMetadata(int32_t slot, const char* text) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_slot_check(slot, 0, 2)) return 0;
    ApiSlot* s = api_slot(slot);
    MetadataNode* tree = slot_metadata(s);
    if (tree == nullptr) return 0;
    if (text == nullptr || !metadata_merge_text(tree, text)) {
      // The parser's own complaint gives way to the entry's code.
      err_clear();
      err_push(4, kApiErrMetadata, nullptr, nullptr);
      return 0;
    }
    // A table of the metadata-era version with no metadata after all goes
    // back to the plain version.
    TableDef* t = s->table;
    if (s->kind != 2 && t != nullptr && metadata_is_empty(tree) && t->edit == 290) {
      t->version = t->read_entire = t->edit = 100;
    }
    return 1;
  });
}

namespace {

// The table's component files (definition first), with the map file's .ID
// file when there is one.
int32_t table_files(const TableDef* t, ComponentFile* files) {
  int32_t n = tabdef_component_files(t, files);
  if (mapstore_file_handle(&t->map) > 0) {
    path_with_extension(files[n].path, files[0].path, 6);
    files[n].ext_id = 6;
    if (file_exists(files[n].path, 6)) ++n;
  }
  return n;
}

}  // namespace

int16_t TabApiDeleteTable(int32_t slot) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_table_check(slot, 2)) return 0;
    ApiSlot* s = api_slot(slot);
    ComponentFile files[8] = {};
    const int32_t n = table_files(s->table, files);
    const int32_t mode = s->mode;
    if (!TabApiCloseTable(slot, 1)) return 0;
    std::vector<int32_t> handles;
    for (int32_t i = 0; i < n; ++i) {
      const int32_t h = file_register(files[i].path, files[i].ext_id);
      if (h > 0) handles.push_back(h);
    }
    const bool deleted = handles.size() == static_cast<size_t>(n) &&
                         file_delete_set(handles.data(), static_cast<int32_t>(handles.size()));
    for (const int32_t h : handles) file_unregister(h);
    if (deleted) return 1;
    // Nothing was deleted: the table comes back.
    TabApiOpenTable(files[0].path, mode, nullptr);
    err_clear();
    err_push(4, kApiErrDelete, files[0].path, nullptr);
    return 0;
  });
}

int16_t TabApiRenameTable(int32_t slot, const char* new_path) {
  return tabapi_entry([&]() -> int16_t {
    if (!api_table_check(slot, 2)) return 0;
    char target[kApiPathSize];
    if (new_path == nullptr || !copy_path(new_path, target)) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    if (file_find(target, 1) > 0) {
      err_push(4, kApiErrOpenTwice, target, nullptr);
      return 0;
    }
    ApiSlot* s = api_slot(slot);
    ComponentFile files[8] = {};
    const int32_t n = table_files(s->table, files);
    const int32_t mode = s->mode;
    if (!TabApiCloseTable(slot, 1)) return 0;
    // Each file moves to the new name with its own extension; on a failure
    // the moved ones go back.
    std::vector<std::pair<std::string, std::string>> moved;
    bool ok = true;
    for (int32_t i = 0; i < n && ok; ++i) {
      char to[kPathSize];
      path_with_extension(to, target, files[i].ext_id);
      std::remove(to);
      if (std::rename(files[i].path, to) == 0) moved.emplace_back(files[i].path, to);
      else ok = false;
    }
    if (!ok) {
      for (auto it = moved.rbegin(); it != moved.rend(); ++it) std::rename(it->second.c_str(), it->first.c_str());
    }
    const int32_t again = TabApiOpenTable(ok ? target : files[0].path, mode, nullptr);
    if (!ok) {
      err_clear();
      err_push(4, kApiErrRename, target, nullptr);
      return 0;
    }
    return again != 0 ? 1 : 0;
  });
}

int32_t TabApiCreateTable(const char* def_path, const char* data_path, int32_t type) {
  int32_t result = 0;
  tabapi_entry([&]() -> int16_t {
    char data[kApiPathSize], def[kApiPathSize];
    if (data_path == nullptr || !copy_path(data_path, data) ||
        (def_path != nullptr ? !copy_path(def_path, def) : path_with_extension(def, data, 1) == nullptr)) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    const bool def_known = file_find(def, 1) > 0;
    if (def_known || file_find(data, tabtype_extension(type)) > 0) {
      err_push(4, kApiErrOpenTwice, def_known ? def : data, nullptr);
      return 0;
    }
    StorageDesc storage;
    storage.type = static_cast<uint8_t>(type);
    if (!tabdef_register_file(def, data, &storage, nullptr, nullptr, nullptr)) return 0;
    result = TabApiOpenTable(def, 2, nullptr);
    return result != 0 ? 1 : 0;
  });
  return result;
}

int32_t TabApiCreateTableFromColumns(const char* path, int32_t type, const ColumnInfo* columns, int32_t count,
                                     const CoordSysInfo* coordsys) {
  int32_t result = 0;
  tabapi_entry([&]() -> int16_t {
    char buf[kApiPathSize];
    if (!copy_path(path, buf) || columns == nullptr || count < 1) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    if (file_find(buf, 1) > 0) {
      err_push(4, kApiErrOpenTwice, nullptr, nullptr);
      return 0;
    }
    const int32_t table_type = type == 1 ? TABTYPE_DBF : TABTYPE_NATIVE;
    TableDef* t = tabdef_new();
    if (t == nullptr) return 0;
    t->storage.type = static_cast<uint8_t>(table_type);
    typeopts_init(&t->storage.options, table_type);
    t->version = t->read_entire = t->edit = 300;
    path_to_table_name(buf, t->name);
    t->fields = fieldlist_new(count);
    if (t->fields == nullptr) {
      tabdef_free(t);
      return 0;
    }
    t->field_count = count;
    for (int32_t i = 0; i < count; ++i) {
      FieldDef& f = t->fields[i];
      std::memcpy(f.name, columns[i].name, sizeof f.name);
      f.name[sizeof f.name - 1] = '\0';
      f.width = columns[i].width;
      f.decimals = columns[i].decimals;
      value_init(&f.value, columns[i].type, nullptr);
      f.value.type = columns[i].type;
    }
    // Old companions of the name go.
    for (int ext : {5, 6, 7}) {
      char other[kPathSize];
      path_with_extension(other, buf, ext);
      std::remove(other);
    }
    bool ok = tabtype_create(buf, nullptr, -1, 0, &t->storage, table_type, count, t->fields, nullptr, 0) != 0;
    t->def_file = ok ? file_register_nocheck(buf, 1) : 0;
    ok = ok && t->def_file > 0 && tabfile_write(t, nullptr, nullptr, nullptr);
    tabdef_free(t);
    if (!ok) return 0;
    const int32_t slot = TabApiOpenTable(buf, 2, nullptr);
    if (slot == 0) return 0;
    if (coordsys != nullptr && !TabApiMakeMappable(slot, coordsys)) {
      TabApiCloseTable(slot, 1);
      return 0;
    }
    result = slot;
    return 1;
  });
  return result;
}

// ---- view definitions -------------------------------------------------------------

int16_t TabApiReadTableInfo(const char* path, TableInfo** holder) {
  return tabapi_entry([&]() -> int16_t {
    if (holder == nullptr) return 0;
    *holder = nullptr;
    char buf[kApiPathSize];
    if (!copy_path(path, buf)) {
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      return 0;
    }
    if (file_find(buf, 1) > 0) {
      err_push(4, kApiErrOpenTwice, nullptr, nullptr);
      return 0;
    }
    const int32_t def = file_register(buf, 1);
    if (def <= 0) return 0;
    table_collection_clear();
    tabfile_set_collect(1);
    TableDef* t = table_open_file(def);
    tabfile_set_collect(0);
    if (t == nullptr) {
      file_unregister(def);
      table_collection_clear();
      return 0;
    }
    t->def_file = 0;
    tabdef_free(t);
    file_unregister(def);
    TableCollection* c = table_collection();
    bool fits = true;
    for (const MemberTable& m : c->members) fits = fits && std::strlen(m.path) < kApiTableInfoPathSize;
    for (const ViewColumn& v : c->columns) fits = fits && std::strlen(name_after_dot(v.name)) < 32;
    for (const ViewJoin& j : c->joins) {
      fits = fits && std::strlen(name_after_dot(j.first)) < 32 && std::strlen(name_after_dot(j.second)) < 32;
    }
    if (!fits || c->members.empty()) {
      // A path or name that does not fit the holder's records is refused.
      err_push(4, kApiErrBadSlot, nullptr, nullptr);
      table_collection_clear();
      return 0;
    }
    auto* info = new TableInfo;
    info->member_count = static_cast<int32_t>(c->members.size());
    info->members = new TableInfoMember[c->members.size()]();
    for (size_t i = 0; i < c->members.size(); ++i) {
      std::strcpy(info->members[i].path, c->members[i].path);
      std::memcpy(info->members[i].alias, c->members[i].alias, strnlen(c->members[i].alias, sizeof c->members[i].alias - 1));
    }
    info->column_count = static_cast<int32_t>(c->columns.size());
    info->columns = new TableInfoColumn[c->columns.size() + 1]();
    for (size_t i = 0; i < c->columns.size(); ++i) {
      std::memcpy(info->columns[i].alias, c->columns[i].alias, strnlen(c->columns[i].alias, sizeof info->columns[i].alias - 1));
      info->columns[i].member = c->columns[i].member;
      std::strcpy(info->columns[i].name, name_after_dot(c->columns[i].name));
    }
    info->join_count = static_cast<int32_t>(c->joins.size());
    info->joins = new TableInfoJoin[c->joins.size() + 1]();
    for (size_t i = 0; i < c->joins.size(); ++i) {
      info->joins[i].first_member = c->joins[i].first_member;
      std::strcpy(info->joins[i].first, name_after_dot(c->joins[i].first));
      info->joins[i].second_member = c->joins[i].second_member;
      std::strcpy(info->joins[i].second, name_after_dot(c->joins[i].second));
    }
    table_collection_clear();
    *holder = info;
    return 1;
  });
}

void TabApiFreeTableInfo(TableInfo** holder) {
  if (holder == nullptr || *holder == nullptr) return;
  delete[] (*holder)->members;
  delete[] (*holder)->columns;
  delete[] (*holder)->joins;
  delete *holder;
  *holder = nullptr;
}
