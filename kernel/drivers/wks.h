// The Lotus worksheet table type (type 2): WKS, WK1 and WK3 files read as
// read-only tables (a named range, the active area, an "Entire Worksheet"
// name of a WK3 sheet, or cell references), Lotus dates and 80-bit numbers.
//
// The file is read whole into memory once per open table; every length and
// offset taken from it is checked (a framing fault is error 27).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/runtime/value.h"
#include "kernel/tables/tabdef.h"

struct TabTypeDriver;

constexpr int32_t kWksBrokenStream = 27;
constexpr int32_t kWksOutOfOrder = 36;
constexpr int32_t kWksCannotOpen = 38;
constexpr int32_t kWksNotLotus = 39;
constexpr int32_t kWksProtected = 42;

struct WksName {
  std::string name;
  int32_t first_row = 0, first_column = 0, last_row = 0, last_column = 0;
  int32_t first_sheet = 0, last_sheet = 0;
  bool synthetic = false;
};

struct WksRange {
  int32_t first_column = 0, first_row = 0, last_column = 0, last_row = 0;
  int32_t first_sheet = 0, last_sheet = 0;
};

struct WksCell {
  int32_t row, column;
  uint32_t pos;
};

struct WksReader {
  int32_t file = 0;
  int32_t last_error = 0;
  std::vector<uint8_t> stream;
  bool loaded = false;
  bool wk3 = false;
  int lmbcs_group = 1;
  std::vector<WksName> names;  // synthetic and collected named ranges
  int32_t sheet = 0;           // the range's sheet
  WksRange range;
  std::vector<WksCell> cells;  // the range sheet's cells in order
  // WK3 row formats: per sheet row its runs (format, column count).
  std::vector<std::vector<std::pair<uint8_t, int32_t>>> row_runs;
  uint8_t default_format = 0x7F;
  Value value{};
  char text[512] = {};
};

// The bytes as a worksheet: BOF (39), WK3 PASSWORD (42).
bool wks_reader_load(WksReader* r, const uint8_t* data, size_t size);
bool wks_reader_open(WksReader* r, int32_t file, int mode);
void wks_reader_close(WksReader* r);
bool wks_active_range(WksReader* r, WksRange* out);
// Title columns, title rows and the default column width (0 when none).
void wks_window_settings(WksReader* r, int32_t* title_columns, int32_t* title_rows, int32_t* width);
void wks_add_sheet_names(WksReader* r, const WksRange& active);
// 0 success; 528 not a range; 584 over several sheets.
int16_t wks_resolve_range(WksReader* r, const char* text, WksRange* out);
// Indexes the cells of the sheet; builds the WK3 row formats (false: 585).
bool wks_select_sheet(WksReader* r, int32_t sheet, int32_t last_row);
const WksCell* wks_find_cell(const WksReader* r, int32_t column, int32_t row);
// The cell's value: empty, Float, SmallInt, text (type 10) or Date.
const Value* wks_cell_value(WksReader* r, const WksCell* cell);
// The type the cell gives its column, its display width and decimals.
void wks_cell_type_width(WksReader* r, const WksCell* cell, int32_t* type, int32_t* width, int32_t* decimals);
int32_t wks_merge_column_type(int32_t column, int32_t cell);

// A 10-byte extended number as a double; false for NaN, infinities and
// values beyond the double range.
bool ext80_to_double(const uint8_t* bytes, double* out);
// A Lotus day serial as a date (serials above 59 are one day fewer).
Date lotus_serial_to_date(int32_t serial);
std::string wks_column_letters(int32_t column);

int16_t wks_create(StorageDesc* storage, FieldDef* fields);  // always fails
int16_t wks_open(StorageDesc* storage, FieldDef* fields);
int16_t wks_describe(StorageDesc* storage, FieldDef** fields, int32_t* count);
int16_t wks_begin_access(StorageDesc* storage, int16_t mode, int16_t* flag);
int16_t wks_end_access(StorageDesc* storage);
int16_t wks_close(StorageDesc* storage);
int16_t wks_read_row(StorageDesc* storage, int32_t n, FieldDef* fields, int16_t* flag);
int16_t wks_batch_begin(StorageDesc* storage);
int16_t wks_batch_end(StorageDesc* storage);
const TabTypeDriver* wks_driver();
