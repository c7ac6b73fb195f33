// The dBASE file engine: the header and field records of a dBASE III file
// and a buffer of whole records, shared by the dBASE and the native table
// types. It knows nothing of field contents.
//
// Results: 0 success, 1 failure, 2 not a dBASE file or an inconsistent
// header, 3 record number out of range (or a record that cannot be read
// whole), 4 write failure.
//
// Invariants: an open file's header agrees with itself and with the file's
// size (record length = 1 + the widths; header length covers the field
// records; every counted record lies inside the file). The buffer holds
// records first .. first + in_buffer - 1 in one of four states: clean (as
// read, or empty), append (new records after the last on disk), insert (new
// records to go in before record first) or changed (records read, then
// changed). A flush empties it; the end mark 0x1A follows the last record
// after every flush that wrote records.
#pragma once
#include <cstdint>
#include <vector>

enum DbfResult : int16_t {
  DBF_OK = 0,
  DBF_FAIL = 1,
  DBF_NOT_DBASE = 2,
  DBF_RANGE = 3,
  DBF_WRITE = 4,
};

enum DbfBufferState : uint8_t {
  DBF_STATE_CLOSED = 0,
  DBF_STATE_CLEAN = 1,
  DBF_STATE_APPEND = 2,
  DBF_STATE_INSERT = 4,
  DBF_STATE_CHANGED = 8,
};

constexpr int kDbfMaxFields = 255;
constexpr int kDbfCreateMaxWidths = 4000;
constexpr int32_t kDbfMoveChunk = 8192;

struct DbfFieldDesc {
  char name[11];
  char type;
  uint8_t width;
  uint8_t decimals;
};

struct DbfFile {
  int32_t file = 0;
  uint8_t state = DBF_STATE_CLOSED;
  int32_t count = 0;  // records on disk
  int16_t header_changed = 0;
  uint16_t record_length = 0;
  int32_t buffer_size = 0;
  std::vector<uint8_t> buffer;
  int32_t per_buffer = 0;
  int32_t first = 0;
  int32_t in_buffer = 0;
  uint8_t month = 0, day = 0, year = 0;
  uint8_t field_count = 0;
  std::vector<DbfFieldDesc> fields;
  uint16_t header_length = 0;
};

int16_t dbfile_create(int32_t file, int32_t field_count, const DbfFieldDesc* fields);
// mode 1 read, 2 read and write. On success *out is the engine's handle,
// owned by the caller until dbfile_close.
int16_t dbfile_open(int32_t file, DbfFile** out, int16_t mode);
// Flushes, stamps the header when records changed, frees the handle and
// releases the file in every case.
int16_t dbfile_close(DbfFile* f);
int16_t dbfile_record_count(const DbfFile* f, int32_t* count);
// Copies the record's field bytes (record length - 1) and its deleted mark.
int16_t dbfile_read(DbfFile* f, int32_t n, uint8_t* fields, uint8_t* deleted);
// n from 1 to the record count + 1; count + 1 appends, less inserts.
int16_t dbfile_append(DbfFile* f, int32_t n, const uint8_t* fields);
int16_t dbfile_update(DbfFile* f, int32_t n, const uint8_t* fields);
int16_t dbfile_delete(DbfFile* f, int32_t n);
int16_t dbfile_undelete(DbfFile* f, int32_t n);
int16_t dbfile_flush(DbfFile* f);
