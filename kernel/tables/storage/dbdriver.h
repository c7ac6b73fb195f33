// What the dBASE and the native table types share: the driver state kept in
// a storage's options (the open engine handle during access, the record
// buffer between open and close), the access brackets, delete and close,
// and the text buffers of Char fields.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "kernel/tables/storage/dbfile.h"
#include "kernel/tables/tabdef.h"

struct DbDriverState {
  DbfFile* file = nullptr;      // while access is open
  std::vector<uint8_t> record;  // record length + 1 bytes after open
};

// The options of the storage as the two types keep them (set to the
// type's defaults when they hold another kind).
NativeOptions* dbdriver_options(StorageDesc* storage);
// The driver state, made on first use; null when it cannot be made.
DbDriverState* dbdriver_state(StorageDesc* storage);
// The engine handle of an open access, else null.
DbfFile* dbdriver_file(StorageDesc* storage);

// mode 1 read; 2 and 3 read and write.
int16_t dbdriver_begin_access(StorageDesc* storage, int16_t mode, int16_t* flag);
// The handle is released in every case; the answer is the close's success.
int16_t dbdriver_end_access(StorageDesc* storage);
// Frees the state; an access still open is ended first.
int16_t dbdriver_close(StorageDesc* storage);
int16_t dbdriver_delete_row(StorageDesc* storage, int32_t n);
// Reads record n into the state's record buffer: false when it cannot be
// read or is deleted.
bool dbdriver_read_record(StorageDesc* storage, int32_t n);

// Fills the state's record buffer (the field bytes) by fill, then appends
// it as record count + 1 (insert: *n receives the number) or rewrites
// record *n with it.
int16_t dbdriver_write_row(StorageDesc* storage, int32_t* n, bool insert,
                           const std::function<bool(const DbfFile* file, uint8_t* fields)>& fill);

// The text buffer of a Char field, at least width + 1 bytes (replaced by a
// fresh one when smaller); null when it cannot be had.
char* field_text_room(FieldDef* field, int32_t width);
