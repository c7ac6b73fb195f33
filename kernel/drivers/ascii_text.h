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
