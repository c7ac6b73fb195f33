// Statement execution, catalogue result sets and connection set-up of the
// test ODBC driver.
#pragma once

#include <optional>
#include <string>

#include "state.h"

namespace qltestodbc {

void AddDiag(Handle* h, const std::string& state, const std::string& message, SQLINTEGER native = 0);
// Writes a trace line for a call on `dbc` (nothing when it has no trace):
// adds "rc" and, on failure, the first diagnostic of `h`.
void TraceCall(Dbc* dbc, Handle* h, JsonLine& line, SQLRETURN rc);

// True when a FAIL= spec fires for this event and subject.
bool FailFires(Dbc* dbc, const std::string& event, const std::string& subject);

// Connects: parses the attributes, loads rules, opens the databases.
SQLRETURN ConnectDbc(Dbc* dbc, const std::string& connectString, JsonLine& line);
void CloseDbc(Dbc* dbc);
SQLRETURN EndTransaction(Dbc* dbc, bool commit);

// Runs a statement (rules first, then SQLite) and opens its result.
SQLRETURN RunStatement(Stmt* s, const std::string& sql, JsonLine& line);
void CloseCursor(Stmt* s);

SQLRETURN CatalogTables(Stmt* s, const std::optional<std::string>& cat,
                        const std::optional<std::string>& schema, const std::optional<std::string>& table,
                        const std::optional<std::string>& type);
SQLRETURN CatalogColumns(Stmt* s, const std::optional<std::string>& schema,
                         const std::optional<std::string>& table, const std::optional<std::string>& column);
SQLRETURN CatalogPrimaryKeys(Stmt* s, const std::optional<std::string>& schema,
                             const std::optional<std::string>& table);
SQLRETURN CatalogTypeInfo(Stmt* s, SQLSMALLINT type);

}  // namespace qltestodbc
