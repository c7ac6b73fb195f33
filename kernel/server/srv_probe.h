// Small helpers of the per-server spatial SQL: probes that ask the server
// whether a statement yields a row, SQL string literals and statements
// taken from kernel strings.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "kernel/server/srv.h"

// 'text' with every quote inside doubled.
std::string srv_sql_string(const char* text);
// Runs sql and fetches one row: 1 when a row came. With first set, the
// row's first column as text (NULL: empty); with executed set, whether the
// statement ran. The statement is closed; errors stay on the stack for the
// caller to keep or clear.
int16_t srv_probe_row(SrvConnection* conn, const std::string& sql, std::string* first = nullptr,
                      bool* executed = nullptr);
// Column n of the current row as plain text (NULL: empty).
std::string srv_column_text(SrvConnection* conn, SrvStatement* stmt, int16_t n);
// Kernel string id with "^0", "^1", ... replaced by the arguments in turn.
std::string srv_kernel_statement(int32_t id, std::initializer_list<std::string> args);
// Whether text begins with prefix, case ignored.
bool srv_begins_nocase(const char* text, const char* prefix);
// A number written as text ("%.8f").
std::string srv_fixed8(double v);
