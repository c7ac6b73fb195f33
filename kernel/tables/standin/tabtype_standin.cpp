// Stand-in of the table-type drivers until the table types land: open and
// close register and release the data file; a dBASE file is described from
// its field descriptors, a delimited text file from its first line (every
// column Char); access brackets only count.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/drivers/ascii_text.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/lang/names.h"
#include "kernel/tables/standin/indexfile.h"
#include "kernel/tables/tabtype.h"

namespace {

void push_once(int16_t code) {
  if (err_count() == 0) err_push(4, code, nullptr, nullptr);
}

bool read_file_bytes(int32_t h, std::vector<uint8_t>* out) {
  if (file_open_binary(h, 1, nullptr) < 0) return false;
  const int32_t size = file_get_size(h);
  out->resize(size > 0 ? static_cast<size_t>(size) : 0);
  const bool ok = size >= 0 && file_read(h, out->data(), size) == size;
  file_release(h);
  return ok;
}

// dBASE: 32-byte descriptors from byte 32 up to the byte 0x0D.
bool describe_dbf(int32_t h, TableDef* t) {
  std::vector<uint8_t> b;
  if (!read_file_bytes(h, &b) || b.size() < 33) return false;
  std::vector<FieldDef> fields;
  size_t at = 32;
  for (; at + 32 <= b.size() && b[at] != 0x0D; at += 32) {
    FieldDef f = {};
    str_copy_n(f.name, reinterpret_cast<const char*>(&b[at]), 12);
    const uint8_t len = b[at + 16];
    const uint8_t dec = b[at + 17];
    switch (b[at + 11]) {
      case 'C': f.value.type = VALUE_CHAR; f.width = len; break;
      case 'N': f.value.type = VALUE_DECIMAL; f.width = len; f.decimals = dec; break;
      case 'F': f.value.type = VALUE_FLOAT; break;
      case 'D': f.value.type = VALUE_DATE; break;
      case 'L': f.value.type = VALUE_LOGICAL; break;
      default: return false;
    }
    fields.push_back(f);
  }
  if (at >= b.size() || fields.empty() || fields.size() > 250) return false;
  t->fields = fieldlist_new(static_cast<int32_t>(fields.size()));
  if (t->fields == nullptr) return false;
  std::memcpy(static_cast<void*>(t->fields), fields.data(), fields.size() * sizeof(FieldDef));
  t->field_count = static_cast<int32_t>(fields.size());
  return true;
}

bool describe_text(int32_t h, TableDef* t) {
  std::vector<uint8_t> b;
  if (!read_file_bytes(h, &b)) return false;
  std::string line(b.begin(), b.end());
  line = line.substr(0, line.find_first_of("\r\n"));
  if (line.size() > 4095) return false;
  const auto* opt = std::get_if<AsciiOptions>(&t->storage.options);
  const int32_t delim = opt != nullptr ? opt->delimiter : 9;
  int32_t n = 0;
  for (char* f = ascii_tokenize(line.data(), delim); f != nullptr; f = ascii_tokenize(nullptr, delim)) ++n;
  if (n == 0) n = 1;
  if (n > 250) return false;
  t->fields = fieldlist_new(n);
  if (t->fields == nullptr) return false;
  for (int32_t i = 0; i < n; ++i) {
    std::snprintf(t->fields[i].name, kTableNameSize, "COL%d", i + 1);
    t->fields[i].value.type = VALUE_CHAR;
    t->fields[i].width = 254;
  }
  t->field_count = n;
  return true;
}

}  // namespace

int16_t tabtype_open(const char* data_path, int32_t ext_id, StorageDesc* s, int32_t type, int32_t* field_count,
                     FieldDef** fields) {
  s->type = static_cast<uint8_t>(type);
  s->field_count = field_count != nullptr ? *field_count : 0;
  s->held_open = 0;
  if (ext_id == 0) ext_id = tabtype_extension(type);
  s->data_file = 0;
  if (data_path != nullptr) {
    s->data_file = file_register(data_path, ext_id);
    if (s->data_file <= 0 || file_exists(data_path, ext_id) == 0) {
      if (s->data_file > 0) file_unregister(s->data_file);
      s->data_file = 0;
      if (fields != nullptr && field_count != nullptr) {
        for (int32_t i = 0; i < *field_count; ++i) value_free(&(*fields)[i].value);
      }
      push_once(kErrStorageOpen);
      return 0;
    }
  }
  return 1;
}

int16_t tabtype_read_fields(const char* data_path, TableDef* t) {
  const int32_t type = t->storage.type;
  const int32_t h = file_register(data_path, tabtype_extension(type));
  if (h <= 0) return 0;
  const bool ok = type == TABTYPE_DBF ? describe_dbf(h, t)
                  : type == TABTYPE_ASCII ? describe_text(h, t)
                  : type == TABTYPE_NATIVE || type == TABTYPE_MEMORY;
  if (!ok) {
    fieldlist_free(t->fields, t->field_count);
    t->fields = nullptr;
    t->field_count = 0;
    file_unregister(h);
    return 0;
  }
  t->storage.data_file = h;
  char* names = nullptr;
  for (int32_t i = 0; i < t->field_count; ++i) column_name_make_unique(t->fields[i].name, &names);
  mem_free(&names);
  return 1;
}

int16_t tabtype_begin_access(TableDef*, StorageDesc* s, int16_t) {
  if (s->nesting == 255) return 0;
  if (s->nesting > 0) {
    ++s->nesting;
    return 1;
  }
  if (s->type == 7 || s->type == TABTYPE_QUERY || s->type == TABTYPE_CSV) {
    push_once(kErrStorageOpen);
    return 0;
  }
  s->nesting = 1;
  return 1;
}

int16_t tabtype_end_access(StorageDesc* s) {
  if (s->nesting == 255 || s->nesting == 0) return 1;
  --s->nesting;
  return 1;
}

int16_t tabtype_close(StorageDesc* s, FieldDef* fields) {
  if (fields != nullptr) {
    for (int32_t i = 0; i < s->field_count; ++i) value_free(&fields[i].value);
  }
  if (s->data_file > 0) {
    if (s->delete_at_close || s->type == TABTYPE_FME) file_delete(s->data_file);
    file_unregister(s->data_file);
  }
  s->data_file = 0;
  return 1;
}

int16_t tabdef_has_indexed_field(const TableDef* t) {
  for (int32_t i = 0; t != nullptr && i < t->field_count; ++i) {
    if (t->fields[i].index != nullptr) return 1;
  }
  return 0;
}

int32_t tabtype_max_fields() { return 250; }
