// Text routines of the delimited-text driver that other kernel modules share:
// quoting a text in double quotes and splitting a delimited line.
#pragma once
#include <cstdint>

// Writes the text in double quotes, every inner double quote doubled, into
// out (at most size bytes with the NUL). out may be the text's own buffer.
// A text too long is cut so that both quotes fit, never inside a doubled
// quote or a double-byte character. Answers out.
char* ascii_quote_string(const char* text, char* out, int32_t size);

// Splits a delimited line in place, strtok-fashion: a line starts a new
// split, null continues the one in progress. Answers the next field (a
// quoted field keeps its opening quote and its closing one) or null when the
// line has no more fields; a line that ends on a delimiter gives one last
// empty field. One line is split at a time process-wide.
char* ascii_tokenize(char* line, int32_t delimiter);

// ---- the delimited-text driver (table types 3 and 12) ----------------------
//
// One line per row, fields split by the storage's delimiter (tab for type 3,
// comma for type 12). Lines are read through a buffered reader: line ends CR
// LF, CR or LF; a 0x1A byte at the start of a line ends the file; a NUL byte
// reads as a space. A line is read up to 1 MiB (the rest of a longer line is
// skipped); a written line stays below 4095 bytes. At most 250 columns.

struct StorageDesc;
struct FieldDef;
struct TabTypeDriver;

constexpr int32_t kAsciiMaxColumns = 250;
constexpr int32_t kAsciiMaxLine = 1 << 20;
constexpr int32_t kAsciiWriteLine = 4095;
constexpr int16_t kErrTooManyColumns = 877;

int16_t ascii_create(StorageDesc* storage, FieldDef* fields);
int16_t ascii_open(StorageDesc* storage, FieldDef* fields);
int16_t ascii_describe(StorageDesc* storage, FieldDef** fields, int32_t* count);
int16_t ascii_begin_access(StorageDesc* storage, int16_t mode, int16_t* flag);
int16_t ascii_end_access(StorageDesc* storage);
int16_t ascii_close(StorageDesc* storage);
int16_t ascii_read_row(StorageDesc* storage, int32_t n, FieldDef* fields, int16_t* flag);
int16_t ascii_insert_row(StorageDesc* storage, int32_t* n, FieldDef* fields);
int16_t ascii_batch_begin(StorageDesc* storage);
int16_t ascii_batch_end(StorageDesc* storage);

// The driver's entries for the dispatcher's slot of type 3 (type 12 uses
// its create and describe).
const TabTypeDriver* ascii_driver();
