// Cell references, the file errors and the file uses of the spreadsheet
// drivers.
#include "kernel/drivers/foreign.h"

#include <cstdint>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/path.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/tabdef.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Accumulates digits into *out; false when there is none or the number
// passes 2147483647.
bool digits(const char** p, int64_t* out) {
  if (!is_digit(**p)) return false;
  int64_t v = 0;
  for (; is_digit(**p); ++*p) {
    v = v * 10 + (**p - '0');
    if (v > INT32_MAX) return false;
  }
  *out = v;
  return true;
}

void report(int32_t file, int16_t code) {
  if (err_count() != 0) return;
  char name[kPathSize] = {};
  if (file > 0) file_get_name(file, name);
  err_push(4, code, name, nullptr);
}

}  // namespace

const char* cellref_parse(const char* text, int32_t* row, int32_t* column) {
  if (text == nullptr) return nullptr;
  const char* p = text;
  int64_t col = 0;
  int letters = 0;
  for (; upper(*p) >= 'A' && upper(*p) <= 'Z'; ++p, ++letters) {
    col = col * 26 + (upper(*p) - 'A' + 1);
    if (col > INT32_MAX) return nullptr;
  }
  int64_t r = 0;
  if (letters == 0 || !digits(&p, &r)) return nullptr;
  col -= 1;
  if (letters == 1 && upper(text[0]) == 'R' && upper(*p) == 'C') {
    ++p;
    if (!digits(&p, &col)) return nullptr;
    col -= 1;
  }
  *row = static_cast<int32_t>(r - 1);
  *column = static_cast<int32_t>(col);
  return p;
}

int16_t xls_file_error_code(int32_t e) {
  if (e == 25 || e == 38 || e == 40) return kErrSheetFileFormat;
  return e == 42 ? kErrSheetFileLocked : kErrWorkbookFile;
}

int16_t wks_file_error_code(int32_t e) {
  if (e == 38 || e == 40) return kErrSheetFileFormat;
  return e == 42 ? kErrSheetFileLocked : kErrWorksheetFile;
}

void xls_report_file_error(int32_t file, int32_t e) { report(file, xls_file_error_code(e)); }
void wks_report_file_error(int32_t file, int32_t e) { report(file, wks_file_error_code(e)); }

std::string column_letters(int32_t column) {
  char buf[16];
  int n = 0;
  for (int64_t c = static_cast<int64_t>(column) + 1; c > 0 && n < 15; c = (c - 1) / 26) buf[n++] = static_cast<char>('A' + (c - 1) % 26);
  std::string out;
  while (n > 0) out += buf[--n];
  return out;
}

int32_t sheet_file_use(int32_t file, int mode, std::vector<uint8_t>* bytes) {
  if (file <= 0 || file_open_binary(file, mode, nullptr) < 0) return 38;
  if (mode != 1) {
    file_release(file);
    return 38;
  }
  if (bytes == nullptr) return 0;
  const int32_t size = file_seek(file, 0, SEEK_END);
  bool ok = size >= 0 && file_seek(file, 0, SEEK_SET) == 0;
  if (ok) bytes->assign(static_cast<size_t>(size), 0);
  if (ok && size > 0) ok = file_read(file, bytes->data(), size) == size;
  if (ok) return 0;
  file_release(file);
  bytes->clear();
  return 38;
}

bool sheet_hold_open(StorageDesc* s) {
  if (s->held_open) return true;
  if (file_open_binary(s->data_file, 1, nullptr) < 0) return false;
  s->held_open = 1;
  return true;
}

int16_t sheet_release_held(StorageDesc* s) {
  if (s->held_open) {
    file_release(s->data_file);
    s->held_open = 0;
  }
  return 1;
}

void sheet_store_cell(Value* column, const Value* cell) {
  if (cell == nullptr || cell->type == VALUE_NONE) {
    value_clear(column);
    return;
  }
  const bool was_empty = err_count() == 0;
  if (!value_convert_plain(column, cell) && was_empty && (err_has_code(854) || err_has_code(kErrNumberRange))) err_clear();
}
