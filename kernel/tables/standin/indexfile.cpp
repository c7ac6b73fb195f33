// Stand-in of the index file: registration and per-field descriptors.
#include "kernel/tables/standin/indexfile.h"

#include "kernel/runtime/file.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/tabdef.h"

IndexFile* index_file_new() { return new IndexFile{}; }

int16_t index_file_open(IndexFile* index, const char* path) {
  if (index == nullptr || file_exists(path, 7) == 0) return 0;
  const int32_t h = file_register(path, 7);
  if (h <= 0) return 0;
  index->file = h;
  return 1;
}

int16_t index_file_begin(IndexFile* index, int16_t) {
  if (index == nullptr || index->file <= 0) return 0;
  char path[kPathSize] = {};
  file_get_path(index->file, path);
  if (file_exists(path, 7) == 0) return 0;
  ++index->uses;
  return 1;
}

int16_t index_file_end(IndexFile* index) {
  if (index == nullptr || index->uses <= 0) return 0;
  --index->uses;
  return 1;
}

void index_file_close_free(IndexFile* index) {
  if (index == nullptr) return;
  if (index->file > 0) {
    if (index->delete_at_close) file_delete(index->file);
    file_unregister(index->file);
  }
  delete index;
}

int16_t field_index_attach(IndexFile* index, const char* number_text, int16_t unique, IndexDesc* desc) {
  if (index == nullptr || index->file <= 0 || desc == nullptr) return 0;
  int32_t n = 0;
  if (str_to_int(number_text, &n) == nullptr || n < 1) return 0;
  desc->number = n;
  desc->unique = unique;
  return 1;
}

int16_t index_get_for_field(IndexFile* index, FieldDef* field, int32_t field_index) {
  if (index == nullptr || field == nullptr) return 0;
  if (field->index != nullptr) return 1;
  IndexDesc* d = nullptr;
  if (!mem_alloc_zeroed(sizeof(IndexDesc), &d)) return 0;
  d->number = field_index + 1;
  field->index = d;
  return 1;
}

void index_desc_free(IndexDesc* desc) {
  IndexDesc* d = desc;
  mem_free(&d);
}
