// The dBASE file engine (see dbfile.h): header checks at open, the record
// buffer and its flush rules, the tail move of inserted records and the
// header stamp at close.
#include "kernel/tables/storage/dbfile.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "kernel/runtime/date.h"
#include "kernel/runtime/file.h"
#include "kernel/tables/storage/le_bytes.h"

namespace {

constexpr int32_t kOpenReadSize = 8194;
constexpr int32_t kMinFileSize = 65;
constexpr uint8_t kFieldEnd = 0x0D;
constexpr uint8_t kEndMark = 0x1A;

bool read_at(int32_t h, int64_t offset, void* buffer, int32_t count, int32_t* got) {
  if (offset < 0 || offset > INT32_MAX || file_seek(h, static_cast<int32_t>(offset), 0) < 0) return false;
  *got = file_read(h, buffer, count);
  return *got >= 0;
}

// DBF_OK, DBF_FAIL when the seek fails, DBF_WRITE when the write is short.
int16_t write_at(int32_t h, int64_t offset, const void* buffer, int32_t count) {
  if (offset < 0 || offset > INT32_MAX || file_seek(h, static_cast<int32_t>(offset), 0) < 0) return DBF_FAIL;
  return file_write(h, buffer, count) == count ? DBF_OK : DBF_WRITE;
}

int64_t record_offset(const DbfFile* f, int32_t n) {
  return f->header_length + static_cast<int64_t>(f->record_length) * (n - 1);
}

bool version_ok(uint8_t v) { return (v & 0x03) == 0x03 || (v & 0x30) == 0x30 || v == 0xF5; }

int32_t buffer_size_for(int32_t widths) {
  if (widths <= 64) return 512;
  if (widths <= 128) return 1024;
  if (widths <= 256) return 2048;
  if (widths <= 512) return 4096;
  if (widths <= 1024) return 8192;
  return 16384;
}

bool written(const DbfFile* f) {
  return f->state == DBF_STATE_APPEND || f->state == DBF_STATE_INSERT || f->state == DBF_STATE_CHANGED;
}

int32_t records_now(const DbfFile* f) {
  return f->state == DBF_STATE_APPEND || f->state == DBF_STATE_INSERT ? f->count + f->in_buffer : f->count;
}

bool in_buffer(const DbfFile* f, int32_t n) { return f->in_buffer > 0 && n >= f->first && n < f->first + f->in_buffer; }

uint8_t* slot(DbfFile* f, int32_t n) { return f->buffer.data() + static_cast<size_t>(n - f->first) * f->record_length; }

void empty_buffer(DbfFile* f, int32_t first) {
  f->state = DBF_STATE_CLEAN;
  f->first = first;
  f->in_buffer = 0;
}

// Fills the buffer with the records on disk from n on; a record that
// cannot be read whole is out of range.
int16_t load(DbfFile* f, int32_t n) {
  empty_buffer(f, n);
  const int32_t want = std::min(f->per_buffer, f->count - n + 1);
  int32_t got = 0;
  if (want <= 0 || !read_at(f->file, record_offset(f, n), f->buffer.data(), want * f->record_length, &got))
    return DBF_RANGE;
  f->in_buffer = got / f->record_length;
  return f->in_buffer > 0 ? DBF_OK : DBF_RANGE;
}

// Moves records first .. count and the end mark towards the end of the file
// by shift bytes, the last chunk first.
int16_t move_tail(DbfFile* f, int32_t first, int64_t shift) {
  const int64_t start = record_offset(f, first);
  int64_t end = record_offset(f, f->count + 1);
  std::vector<uint8_t> chunk(static_cast<size_t>(kDbfMoveChunk));
  while (end > start) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(kDbfMoveChunk, end - start));
    int32_t got = 0;
    if (!read_at(f->file, end - n, chunk.data(), n, &got) || got != n) return DBF_FAIL;
    const int16_t r = write_at(f->file, end - n + shift, chunk.data(), n);
    if (r != DBF_OK) return r;
    end -= n;
  }
  return DBF_OK;
}

}  // namespace

int16_t dbfile_create(int32_t file, int32_t field_count, const DbfFieldDesc* fields) {
  if (field_count <= 0 || field_count > kDbfMaxFields || fields == nullptr) return DBF_FAIL;
  const int32_t header_length = 32 * (field_count + 1) + 1;
  std::vector<uint8_t> b(static_cast<size_t>(header_length) + 1, 0);
  int32_t widths = 0;
  bool memo = false;
  for (int32_t i = 0; i < field_count; ++i) {
    const DbfFieldDesc& d = fields[i];
    const size_t name_length = strnlen(d.name, sizeof d.name);
    if (name_length > 10) return DBF_FAIL;
    const char type = static_cast<char>(d.type >= 'a' && d.type <= 'z' ? d.type - 32 : d.type);
    int32_t width = d.width;
    switch (type) {
      case 'L': width = 1; break;
      case 'D': width = 8; break;
      case 'M': width = 10; memo = true; break;
      case 'C': case 'N': break;
      default: return DBF_FAIL;
    }
    if (width == 0 || width == 255) return DBF_FAIL;
    widths += width;
    if (widths > kDbfCreateMaxWidths) return DBF_FAIL;
    uint8_t* r = &b[32 + 32 * static_cast<size_t>(i)];
    std::memcpy(r, d.name, name_length);
    r[11] = static_cast<uint8_t>(type);
    r[16] = static_cast<uint8_t>(width);
    r[17] = type == 'N' ? d.decimals : 0;
  }
  Date today;
  date_today(&today);
  b[0] = memo ? 0x83 : 0x03;
  b[1] = static_cast<uint8_t>(today.year - 1900);
  b[2] = today.month;
  b[3] = today.day;
  le_put_u16(&b[8], static_cast<uint16_t>(header_length));
  le_put_u16(&b[10], static_cast<uint16_t>(widths + 1));
  b[header_length - 1] = kFieldEnd;
  b[header_length] = kEndMark;
  if (file_open_binary(file, 3, nullptr) < 0) return DBF_FAIL;
  const bool ok = file_write(file, b.data(), static_cast<int32_t>(b.size())) == static_cast<int32_t>(b.size());
  file_release(file);
  return ok ? DBF_OK : DBF_WRITE;
}

int16_t dbfile_open(int32_t file, DbfFile** out, int16_t mode) {
  *out = nullptr;
  if (file_open_binary(file, mode == 2 ? 2 : 1, nullptr) < 0) return DBF_FAIL;
  auto refuse = [&](int16_t result) {
    file_release(file);
    return result;
  };
  const int64_t size = file_get_size(file);
  std::vector<uint8_t> h(static_cast<size_t>(kOpenReadSize));
  int32_t got = 0;
  if (!read_at(file, 0, h.data(), kOpenReadSize, &got)) return refuse(DBF_FAIL);
  if (got < kMinFileSize || !version_ok(h[0])) return refuse(DBF_NOT_DBASE);
  auto f = std::make_unique<DbfFile>();
  f->file = file;
  const uint32_t count = le_get_u32(&h[4]);
  if (count > INT32_MAX) return refuse(DBF_NOT_DBASE);
  f->count = static_cast<int32_t>(count);
  f->year = h[1];
  f->month = h[2];
  f->day = h[3];
  f->header_length = le_get_u16(&h[8]);
  f->record_length = le_get_u16(&h[10]);
  // Field records only within the bytes read.
  int32_t widths = 0;
  for (int32_t at = 32; at + 32 <= got && h[at] != kFieldEnd && f->fields.size() < kDbfMaxFields; at += 32) {
    DbfFieldDesc d = {};
    std::memcpy(d.name, &h[at], 10);
    d.type = static_cast<char>(h[at + 11]);
    d.width = h[at + 16];
    d.decimals = h[at + 17];
    widths += d.width;
    f->fields.push_back(d);
  }
  f->field_count = static_cast<uint8_t>(f->fields.size());
  const int64_t min_header = 32 * static_cast<int64_t>(f->fields.size()) + 33;
  if (f->header_length < min_header || f->header_length > size || f->record_length != widths + 1 ||
      size < f->header_length + static_cast<int64_t>(f->count) * f->record_length)
    return refuse(DBF_NOT_DBASE);
  f->buffer_size = buffer_size_for(widths);
  if ((f->buffer_size - 1) / f->record_length == 0) f->buffer_size = f->record_length + 1;
  f->per_buffer = (f->buffer_size - 1) / f->record_length;
  f->buffer.assign(static_cast<size_t>(f->buffer_size), 0);
  empty_buffer(f.get(), 1);
  *out = f.release();
  return DBF_OK;
}

int16_t dbfile_record_count(const DbfFile* f, int32_t* count) {
  *count = records_now(f);
  return DBF_OK;
}

int16_t dbfile_flush(DbfFile* f) {
  if (f->in_buffer == 0 || !written(f)) return DBF_OK;
  const int32_t b = f->in_buffer;
  const int32_t bytes = b * f->record_length;
  int16_t r = DBF_OK;
  switch (f->state) {
    case DBF_STATE_APPEND:
      f->buffer[static_cast<size_t>(bytes)] = kEndMark;
      r = write_at(f->file, record_offset(f, f->count + 1), f->buffer.data(), bytes + 1);
      if (r == DBF_OK) f->count += b;
      break;
    case DBF_STATE_INSERT: {
      const uint8_t mark = kEndMark;
      r = move_tail(f, f->first, bytes);
      if (r == DBF_OK) r = write_at(f->file, record_offset(f, f->count + 1 + b), &mark, 1);
      if (r == DBF_OK) r = write_at(f->file, record_offset(f, f->first), f->buffer.data(), bytes);
      if (r == DBF_OK) f->count += b;
      break;
    }
    default:
      r = write_at(f->file, record_offset(f, f->first), f->buffer.data(), bytes);
      break;
  }
  // A failed flush drops the buffered records; they are not on disk.
  empty_buffer(f, f->first);
  if (r != DBF_OK) return r;
  f->header_changed = 1;
  return DBF_OK;
}

int16_t dbfile_close(DbfFile* f) {
  if (f == nullptr) return DBF_FAIL;
  int16_t r = dbfile_flush(f);
  if (f->header_changed) {
    Date today;
    date_today(&today);
    uint8_t h[7];
    h[0] = static_cast<uint8_t>(today.year - 1900);
    h[1] = today.month;
    h[2] = today.day;
    le_put_u32(&h[3], static_cast<uint32_t>(f->count));
    const int16_t w = write_at(f->file, 1, h, 7);
    if (r == DBF_OK) r = w;
  }
  file_release(f->file);
  delete f;
  return r;
}

int16_t dbfile_read(DbfFile* f, int32_t n, uint8_t* fields, uint8_t* deleted) {
  if (n < 1 || n > records_now(f)) return DBF_RANGE;
  if (!in_buffer(f, n)) {
    const int16_t r = dbfile_flush(f);
    if (r != DBF_OK) return r;
    const int16_t l = load(f, n);
    if (l != DBF_OK) return l;
  }
  const uint8_t* rec = slot(f, n);
  std::memcpy(fields, rec + 1, static_cast<size_t>(f->record_length) - 1);
  *deleted = rec[0] == '*' ? 1 : 0;
  return DBF_OK;
}

int16_t dbfile_append(DbfFile* f, int32_t n, const uint8_t* fields) {
  if (n < 1 || n > records_now(f) + 1) return DBF_RANGE;
  const bool adding = f->state == DBF_STATE_APPEND || f->state == DBF_STATE_INSERT;
  if (f->state == DBF_STATE_CLEAN) {
    empty_buffer(f, n);
  } else if (!adding || n != f->first + f->in_buffer) {
    const int16_t r = dbfile_flush(f);
    if (r != DBF_OK) return r;
    empty_buffer(f, n);
  }
  uint8_t* rec = f->buffer.data() + static_cast<size_t>(f->in_buffer) * f->record_length;
  rec[0] = ' ';
  std::memcpy(rec + 1, fields, static_cast<size_t>(f->record_length) - 1);
  ++f->in_buffer;
  f->state = f->first == f->count + 1 ? DBF_STATE_APPEND : DBF_STATE_INSERT;
  if (f->in_buffer == f->per_buffer) return dbfile_flush(f);
  return DBF_OK;
}

namespace {

// The record n in the buffer, ready to be changed in place.
int16_t record_for_write(DbfFile* f, int32_t n, uint8_t** rec) {
  if (n < 1 || n > records_now(f)) return DBF_RANGE;
  if (in_buffer(f, n)) {
    if (f->state != DBF_STATE_APPEND && f->state != DBF_STATE_INSERT) f->state = DBF_STATE_CHANGED;
  } else {
    const int16_t r = dbfile_flush(f);
    if (r != DBF_OK) return r;
    const int16_t l = load(f, n);
    if (l != DBF_OK) return l;
    f->state = DBF_STATE_CHANGED;
  }
  *rec = slot(f, n);
  return DBF_OK;
}

}  // namespace

int16_t dbfile_update(DbfFile* f, int32_t n, const uint8_t* fields) {
  uint8_t* rec = nullptr;
  const int16_t r = record_for_write(f, n, &rec);
  if (r != DBF_OK) return r;
  rec[0] = ' ';
  std::memcpy(rec + 1, fields, static_cast<size_t>(f->record_length) - 1);
  return DBF_OK;
}

int16_t dbfile_delete(DbfFile* f, int32_t n) {
  uint8_t* rec = nullptr;
  const int16_t r = record_for_write(f, n, &rec);
  if (r == DBF_OK) rec[0] = '*';
  return r;
}

int16_t dbfile_undelete(DbfFile* f, int32_t n) {
  uint8_t* rec = nullptr;
  const int16_t r = record_for_write(f, n, &rec);
  if (r == DBF_OK) rec[0] = ' ';
  return r;
}
