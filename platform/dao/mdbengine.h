// The engine over real Access database files (Jet 3 and Jet 4 ".mdb"),
// read-only, behind the engine interfaces of dao.h; the default COM
// backend. Files are read through libmdb; this layer adds what the Access
// driver needs of an engine: table definitions with DAO's types, sizes and
// attributes, indexes, a table-type recordset with Seek "=" on a key index
// (a key -> record map built in one ascending scan), MoveFirst, MoveNext and
// EOF, and the one select of the row map ("select `K` from `T` where `K` >
// N", parsed strictly). Texts come out in the ANSI code page. A database is
// read again when its file's modification time or size changed.
//
// Refused: a missing file 3024, a wrong password 3031 (checked against the
// header's masked password field), newer (ACE) or unknown formats 3343,
// every write and schema call 3027 "Database or object is read-only
// (METHOD)".
#pragma once
#include <cstdint>
#include <string>

#include "platform/dao/com.h"

// The backend object (a process-wide instance).
ComBackend* mdb_dao_backend();

// Reads the masked header of a file: its format ("3.0", "4.0", "ACE" or ""
// for none) and the password field. False when the file cannot be read.
bool mdb_dao_read_header(const std::string& path, std::string* format, std::u16string* password);
