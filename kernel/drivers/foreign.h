// Routines the foreign table drivers share: cell references of workbook
// and worksheet ranges, and the error that tells why a workbook or
// worksheet file cannot be used.
#pragma once
#include <cstdint>

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
