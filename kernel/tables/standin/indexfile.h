// Stand-in of a table's index file until the index files land: it registers
// the ".IND" file and records, per field, the index number and the unique
// flag the definition gives; builds always succeed and change nothing.
#pragma once
#include <cstdint>

struct IndexFile {
  int32_t file = 0;
  int16_t discard = 0;     // changes are discarded at close
  int16_t delete_at_close = 0;
  int32_t uses = 0;  // open brackets of use
};

struct IndexDesc {
  int32_t number;
  int16_t unique;
};

constexpr int16_t kErrIndexOpen = 501;

IndexFile* index_file_new();
int16_t index_file_open(IndexFile* index, const char* path);
// A bracket of use (mode 1 read, 2 read/write): the stand-in only needs
// the file to be there still.
int16_t index_file_begin(IndexFile* index, int16_t mode);
int16_t index_file_end(IndexFile* index);
// Closes the file (deleting it when marked) and frees the record.
void index_file_close_free(IndexFile* index);
// Attaches a field's index from the file under the number's decimal text.
int16_t field_index_attach(IndexFile* index, const char* number_text, int16_t unique, IndexDesc* desc);
// Builds the index of a field (the stand-in gives it the next number).
int16_t index_get_for_field(IndexFile* index, struct FieldDef* field, int32_t field_index);
void index_desc_free(IndexDesc* desc);
