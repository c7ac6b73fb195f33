// Shared driver state and brackets of the dBASE and native table types.
#include "kernel/tables/storage/dbdriver.h"

#include "kernel/runtime/charset.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/value.h"

NativeOptions* dbdriver_options(StorageDesc* s) {
  if (auto* o = std::get_if<NativeOptions>(&s->options)) return o;
  NativeOptions n;
  n.charset = charset_current();
  s->options = n;
  return std::get_if<NativeOptions>(&s->options);
}

DbDriverState* dbdriver_state(StorageDesc* s) {
  NativeOptions* o = dbdriver_options(s);
  if (o->state == nullptr) o->state = new DbDriverState{};
  return static_cast<DbDriverState*>(o->state);
}

DbfFile* dbdriver_file(StorageDesc* s) {
  const auto* o = std::get_if<NativeOptions>(&s->options);
  return o != nullptr && o->state != nullptr ? static_cast<DbDriverState*>(o->state)->file : nullptr;
}

int16_t dbdriver_begin_access(StorageDesc* s, int16_t mode, int16_t* flag) {
  if (flag != nullptr) *flag = 0;
  DbDriverState* st = dbdriver_state(s);
  if (st->file != nullptr) return 1;
  if (dbfile_open(s->data_file, &st->file, mode == 1 ? 1 : 2) != DBF_OK) return 0;
  s->row_count = st->file->count;
  return 1;
}

int16_t dbdriver_end_access(StorageDesc* s) {
  auto* o = std::get_if<NativeOptions>(&s->options);
  if (o == nullptr || o->state == nullptr) return 1;
  auto* st = static_cast<DbDriverState*>(o->state);
  if (st->file == nullptr) return 1;
  // The engine frees its handle even when the close fails: never keep it.
  const int16_t r = dbfile_close(st->file);
  st->file = nullptr;
  return r == DBF_OK;
}

int16_t dbdriver_close(StorageDesc* s) {
  auto* o = std::get_if<NativeOptions>(&s->options);
  if (o == nullptr || o->state == nullptr) return 1;
  const int16_t r = dbdriver_end_access(s);
  delete static_cast<DbDriverState*>(o->state);
  o->state = nullptr;
  return r;
}

int16_t dbdriver_delete_row(StorageDesc* s, int32_t n) {
  DbfFile* f = dbdriver_file(s);
  return f != nullptr && dbfile_delete(f, n) == DBF_OK;
}

bool dbdriver_read_record(StorageDesc* s, int32_t n) {
  DbfFile* f = dbdriver_file(s);
  DbDriverState* st = f != nullptr ? dbdriver_state(s) : nullptr;
  if (st == nullptr || st->record.size() < f->record_length) return false;
  uint8_t deleted = 0;
  return dbfile_read(f, n, st->record.data(), &deleted) == DBF_OK && !deleted;
}

int16_t dbdriver_write_row(StorageDesc* s, int32_t* n, bool insert,
                           const std::function<bool(const DbfFile* file, uint8_t* fields)>& fill) {
  DbfFile* f = dbdriver_file(s);
  if (f == nullptr) return 0;
  DbDriverState* st = dbdriver_state(s);
  if (st->record.size() < f->record_length || !fill(f, st->record.data())) return 0;
  if (!insert) return dbfile_update(f, *n, st->record.data()) == DBF_OK;
  int32_t count = 0;
  dbfile_record_count(f, &count);
  if (dbfile_append(f, count + 1, st->record.data()) != DBF_OK) return 0;
  *n = count + 1;
  return 1;
}

char* field_text_room(FieldDef* field, int32_t width) {
  Value* v = &field->value;
  char* p = value_text_ptr(v, nullptr);
  if (p != nullptr && v->u.text.offset < 0 && mem_size(p) >= static_cast<size_t>(width) + 1) return p;
  if (p != nullptr && v->u.text.offset >= 0) return nullptr;  // a caller's buffer of unknown size
  value_free(v);
  char* out = nullptr;
  if (!value_alloc_text(width, v, &out)) return nullptr;
  return out;
}
