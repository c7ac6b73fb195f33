// Routines the foreign table drivers share: cell references of workbook
// and worksheet ranges, and the error that tells why a workbook or
// worksheet file cannot be used.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct StorageDesc;
struct Value;

// Error codes the foreign drivers push (severity 4).
constexpr int16_t kErrRangeNotFound = 528;
constexpr int16_t kErrRangeTooWide = 529;
constexpr int16_t kErrRangeColumns = 530;
constexpr int16_t kErrRangeSheets = 584;
constexpr int16_t kErrNumberFormats = 585;
constexpr int16_t kErrRangeReversed = 732;
constexpr int16_t kErrReaderMemory = 304;
constexpr int16_t kErrWorkbookFile = 521;
constexpr int16_t kErrWorksheetFile = 522;
constexpr int16_t kErrSheetFileFormat = 523;
constexpr int16_t kErrSheetFileLocked = 876;

// Parses a cell reference ("B3", "AA10", "R5C3", lower case accepted) at
// the start of text: the zero-based row and column, and the position after
// the reference; null when text does not start with one or a number is
// beyond 2147483647.
const char* cellref_parse(const char* text, int32_t* row, int32_t* column);

// The error a workbook or worksheet reader's last low-level error maps to.
int16_t xls_file_error_code(int32_t reader_error);
int16_t wks_file_error_code(int32_t reader_error);
// Push that error (severity 4) with the file's name, no directory, as its
// argument, when the error stack is still empty.
void xls_report_file_error(int32_t file, int32_t reader_error);
void wks_report_file_error(int32_t file, int32_t reader_error);

// Spreadsheet column letters of a zero-based column: A to Z, AA, AB, ...
std::string column_letters(int32_t column);

// A workbook or worksheet reader's file use: takes a read use of the file
// (any other mode is refused after the open) and, when bytes is given,
// reads the whole file into it. 0, or 38 when the file cannot be used.
int32_t sheet_file_use(int32_t file, int mode, std::vector<uint8_t>* bytes);
// The held-open read use of a spreadsheet table between accesses.
bool sheet_hold_open(StorageDesc* storage);
int16_t sheet_release_held(StorageDesc* storage);
// A cell's value into a column: an absent or empty cell clears the column;
// a conversion failing with 854 or 471 on an empty error stack leaves no
// error behind.
void sheet_store_cell(Value* column, const Value* cell);
