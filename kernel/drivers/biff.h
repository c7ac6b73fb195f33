// The workbook reader under the Excel table type: BIFF2 to BIFF8 record
// streams, raw or inside a compound-document container ("Workbook", else
// "Book"), the workbook globals (code page, date system, reference style,
// number and cell formats, defined names, sheets, shared strings), defined
// names evaluated to ranges, a current worksheet with a row index of its
// cells, and cells converted to typed values.
//
// The stream is held in memory (it is never larger than its file); every
// length, count, index and offset taken from it is checked. A framing fault
// is error 27; a fault inside one record's content gives an empty cell or a
// dropped name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/runtime/date.h"
#include "kernel/runtime/value.h"

// The reader's own error codes (last_error).
constexpr int32_t kXlsBrokenStream = 27;
constexpr int32_t kXlsNoSheetBof = 35;
constexpr int32_t kXlsOutOfOrder = 36;
constexpr int32_t kXlsCannotOpen = 38;
constexpr int32_t kXlsNotBiff = 39;
constexpr int32_t kXlsProtected = 42;

constexpr size_t kXlsMaxRecord = 8224;

// Cell format kinds.
enum XlsFormatKind : uint8_t {
  XLS_KIND_PLAIN = 0,
  XLS_KIND_DATE = 1,
  XLS_KIND_FIVE_ZERO = 2,
  XLS_KIND_TIME = 3,
  XLS_KIND_DATETIME = 4,
};

struct XlsName {
  uint16_t number = 0;  // 1-based position of its NAME record; 0 for a sheet's name
  std::string text;
  std::vector<uint8_t> formula;
  int16_t kind = 0;  // 0 not evaluated, 1 cell, 2 area, -1 failed, -2 being evaluated
  int32_t sheet = 0;
  int32_t first_row = 0, first_column = 0, last_row = 0, last_column = 0;
};

struct XlsSheet {
  std::string name;
  int32_t number = 0;  // 1-based BOUNDSHEET position
  uint32_t bof = 0;    // stream offset of its BOF
};

// One cell record of the current sheet, in stream order.
struct XlsCellEntry {
  int32_t row;
  int32_t first_column;
  int32_t last_column;  // MULRK and MULBLANK span several
  uint32_t pos;         // stream offset of the record's header
};

struct XlsRect {
  int32_t sheet = 0;
  int32_t first_column = 0, first_row = 0, last_column = 0, last_row = 0;
};

struct XlsReader {
  int32_t file = 0;  // kernel file handle while a use is held
  int32_t last_error = 0;
  std::vector<uint8_t> stream;
  bool loaded = false;
  int biff = 0;  // 2, 3, 4, 5 or 8
  bool workbook = false;
  int32_t charset = 0;  // the workbook's (CODEPAGE)
  bool date1904 = false;
  bool r1c1 = false;
  std::vector<uint8_t> format_kinds;  // by number format index
  std::vector<uint8_t> xf_kinds;      // by XF index (BIFF3 and later)
  std::vector<XlsName> names;
  std::vector<XlsSheet> sheets;
  std::vector<std::u32string> sst;
  std::vector<uint16_t> supbook_internal;  // per SUPBOOK: 1 when it is this workbook
  struct Ref { uint16_t supbook; int16_t first, last; };
  std::vector<Ref> refs;  // BIFF8 EXTERNSHEET
  // The current sheet.
  int32_t sheet = -1;  // index into sheets, or 0 for BIFF2-4
  uint32_t sheet_bof = 0;
  std::vector<XlsCellEntry> cells;
  int32_t column = 0;  // the column being looked for (MULRK entries)
  // The result of the last cell conversion.
  Value value{};
  char text[1024] = {};
};

// Loads the bytes: a container's "Workbook" (else "Book") stream or the
// bytes themselves, and checks the BOF (39), WRITEPROT and FILEPASS (42).
// A container with neither stream is 39.
bool xls_reader_load(XlsReader* r, const uint8_t* data, size_t size);
// Opens the file (38 when it cannot be), loads it once per reader (later
// opens reuse the bytes) and keeps the file use until xls_reader_close.
bool xls_reader_open(XlsReader* r, int32_t file, int mode);
void xls_reader_close(XlsReader* r);
// Everything collected; the reader stays usable for xls_reader_load.
void xls_reader_free(XlsReader* r);

// Scans the globals and the sheets' DIMENSIONS; the used area (the first
// sheet that has one) when found.
bool xls_read_globals(XlsReader* r, XlsRect* used);
// Evaluates every defined name; the ones that fail are removed.
void xls_names_resolve(XlsReader* r);
// The range a text names (a name, "Entire Worksheet <sheet>", Sheet!A1:B2,
// A1..B2, A1:B2 or one cell); false otherwise.
bool xls_resolve_range(XlsReader* r, const char* text, XlsRect* out);
// 1-based sheet number of a name (case-insensitive), -1 when not listed.
int32_t xls_sheet_number(const XlsReader* r, const char* name);
// Makes a worksheet current (0 or an unknown number: the first) and indexes
// its cells; false when its BOF is not there (35).
bool xls_select_sheet(XlsReader* r, int32_t number);
// The cell entry covering a cell of the current sheet, or null.
const XlsCellEntry* xls_find_cell(XlsReader* r, int32_t column, int32_t row);
// The cell's value (valid until the next conversion): type 0 empty, 3
// Integer, 8 Float, 6 Logical, 10 text, 5 Date, 37 Time, 38 DateTime.
const Value* xls_cell_value(XlsReader* r, const XlsCellEntry* cell);
// The type a cell gives a column and its display width.
void xls_cell_type_width(const Value* v, int32_t* type, int32_t* width);

// Number format kind of a format string (code points).
uint8_t xls_format_kind(const std::u32string& format);
// A day serial as a date and time; the fraction is rounded to whole
// milliseconds first (carrying into the date).
void serial_to_datetime(double serial, bool date1904, DateTime* out);
// Default column name: letters, or "C%u" in R1C1 mode.
std::string xls_column_name(const XlsReader* r, int32_t column);
