// Download of a statement's result into a native table through the kernel's
// statement runner (Create Table, Insert Into, Commit Table, Set Table).
#pragma once
#include <cstdint>

#include "kernel/server/srv_query.h"

// The runner of the download's statements (stmt_exec_text unless a test
// or benchmark puts another in; null puts stmt_exec_text back).
using SrvStatementRunner = int16_t (*)(const char* text, int16_t flag);
void srv_set_statement_runner(SrvStatementRunner runner);

// The table name (and file path, may be null) the next srv_fetch of the
// statement downloads into; kept by the statement and freed with it.
int16_t srv_set_download(SrvStatement* stmt, const char* table, const char* path);
// Creates the native table for the statement's result columns and sets it
// to fast-edit mode; 0 (960 with the column's name) for a column type
// without a clause.
int16_t srv_create_download_table(SrvConnection* conn, SrvStatement* stmt);
// Copies every remaining row into the new table; 1 when every row was
// copied and the end of the data reached. The table is committed and set
// back to undo mode whatever happened after it was made.
int16_t srv_download(SrvConnection* conn, SrvStatement* stmt);
