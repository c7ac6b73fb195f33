// Value conversions of the test ODBC driver.
#pragma once

#include <string>

#include "state.h"

namespace qltestodbc {

// Text form of a cell as SQL_C_CHAR returns it (blobs as hex digits).
std::string ValueText(const Value& v);
// JSON form for the trace.
std::string ValueJson(const Value& v);

// Reads a bound parameter's current value. False with SQLSTATE and message
// for a buffer the driver cannot read.
bool ReadParam(const Param& p, Value* out, std::string* state, std::string* error);

// Writes a cell to an application buffer. `offset` (may be null) is the
// SQLGetData position for character and binary data.
SQLRETURN WriteValue(const Value& v, SQLSMALLINT ctype, SQLPOINTER target, SQLLEN buflen,
                     SQLLEN* ind, size_t* offset, std::string* state, std::string* error);

}  // namespace qltestodbc
