// The server-driver layer as the linked table type needs it: connections,
// statements, fetches. This build has no server access: a connection is
// never made and no statement yields a row.
#pragma once
#include <cstdint>
#include <string>

struct SrvConnection;

// Opens a connection with a driver name and connect string: null here.
SrvConnection* srv_open_connection(const char* driver, const char* connect);
void srv_close_connection(SrvConnection* connection);
// The connect string without the options this system adds to it.
std::string srv_strip_connect_options(const char* connect);
// Executes a statement on a connection: 0, nothing runs.
int16_t srv_execute(SrvConnection* connection, const char* statement);
// Fetches the next row of the current statement: 0, no row.
int16_t srv_fetch(SrvConnection* connection);
// Whether the connection reaches an Oracle server.
int16_t ora_is_oracle_server(const SrvConnection* connection);
